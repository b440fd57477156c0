#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace velmora::bench {

// Runs `work` `rounds` times and gives the fastest and the median time in
// milliseconds.
template <typename Work>
std::pair<double, double> timeRounds(int rounds, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        times.push_back(took.count());
    }
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

}  // namespace velmora::bench
