#pragma once

#include <chrono>
#include <thread>

namespace velmora::test {

// Polls `done` until it holds or `limit` passes; whether it came to hold.
template <typename Condition>
bool eventually(Condition done, std::chrono::milliseconds limit = std::chrono::milliseconds(5000))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace velmora::test
