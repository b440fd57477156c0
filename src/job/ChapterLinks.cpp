#include "job/ChapterLinks.h"

#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace velmora {

std::vector<std::size_t> PositionsWithoutRepeats(const std::vector<std::string>& addresses)
{
    const std::size_t n = addresses.size();
    std::unordered_map<std::string_view, std::size_t> last;
    for (std::size_t i = 0; i < n; ++i) {
        last[addresses[i]] = i;
    }
    // The run at the top whose every address comes again further down.
    std::size_t head = 0;
    while (head < n && last[addresses[head]] > head) {
        ++head;
    }
    std::size_t start = 0;
    if (head > 0 && 2 * head < n) {
        // A block of newest chapters: the same addresses end the list.
        const std::unordered_set<std::string_view> block(addresses.begin(), addresses.begin() + head);
        const std::unordered_set<std::string_view> tail(addresses.end() - head, addresses.end());
        if (block == tail) {
            start = head;
        }
    }
    std::vector<std::size_t> kept;
    kept.reserve(n - start);
    std::unordered_set<std::string_view> seen;
    for (std::size_t i = start; i < n; ++i) {
        if (seen.insert(addresses[i]).second) {
            kept.push_back(i);
        }
    }
    return kept;
}

} // namespace velmora
