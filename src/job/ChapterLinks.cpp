#include "job/ChapterLinks.h"

#include "web/Url.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace velmora {

std::vector<std::size_t> positionsWithoutRepeats(const std::vector<std::string>& addresses)
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

ListRows rowsFromListPages(std::vector<ListPageLinks> pages, std::string prefix, const RuleOptions& options)
{
    // A link as found, and the address a browser opens for it (empty when
    // the link leads to no http(s) address).
    struct FoundLink {
        ChapterLink link;
        std::string resolved;
    };
    std::vector<FoundLink> links;
    for (ListPageLinks& page : pages) {
        for (ChapterLink& link : page.links) {
            std::string resolved = resolveAddress(page.finalAddress, link.address);
            links.push_back({std::move(link), std::move(resolved)});
        }
    }
    if (options.reverseList) {
        std::reverse(links.begin(), links.end());
    }
    ListRows result;
    result.baseAddress = std::move(prefix);
    // Today's form (prefix + address as captured) wherever it is right.
    const std::string& base = result.baseAddress;
    result.resolved = !std::all_of(links.begin(), links.end(), [&](const FoundLink& found) {
        return found.resolved.empty() || found.resolved == base + found.link.address;
    });
    if (result.resolved) {
        result.baseAddress.clear();
        for (FoundLink& found : links) {
            if (!found.resolved.empty()) {
                found.link.address = found.resolved;
            }
        }
    }
    std::vector<std::string> keys;
    keys.reserve(links.size());
    std::unordered_set<std::string_view> seen;
    for (const FoundLink& found : links) {
        keys.push_back(found.resolved.empty() ? result.baseAddress + found.link.address : found.resolved);
    }
    for (const std::string& key : keys) {
        result.repeated += seen.insert(key).second ? 0 : 1;
    }
    std::vector<std::size_t> kept;
    if (options.removeRepeatedLinks) {
        kept = positionsWithoutRepeats(keys);
    } else {
        for (std::size_t i = 0; i < links.size(); ++i) {
            kept.push_back(i);
        }
    }
    result.rows.reserve(kept.size());
    for (const std::size_t i : kept) {
        result.rows.push_back(std::move(links[i].link));
    }
    result.dropped = links.size() - kept.size();
    if (result.dropped > 0) {
        result.note = "去掉重复章节 " + std::to_string(result.dropped) + " 个";
    }
    if (result.resolved) {
        result.note += result.note.empty() ? "" : "；";
        result.note += "章节网址按目录页最终地址解析";
    }
    return result;
}

}  // namespace velmora
