#include "cli/RowSelection.h"

#include <algorithm>
#include <charconv>
#include <climits>

namespace velmora::cli {

namespace {

// A row number: decimal digits only, from 1, within int.
std::optional<int> rowNumber(std::string_view digits)
{
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || value < 1) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<RowSelection> RowSelection::parse(std::string_view text)
{
    RowSelection selection;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const std::size_t dash = item.find('-');
        const std::optional<int> first = rowNumber(item.substr(0, dash));
        if (!first) {
            return std::nullopt;
        }
        int last = *first;
        if (dash != std::string_view::npos) {
            const std::string_view rest = item.substr(dash + 1);
            const std::optional<int> end = rest.empty() ? std::optional<int>(INT_MAX) : rowNumber(rest);
            if (!end || *end < *first) {
                return std::nullopt;
            }
            last = *end;
        }
        selection.ranges_.push_back({*first, last});
        if (comma == std::string_view::npos) {
            return selection;
        }
        text.remove_prefix(comma + 1);
    }
}

bool RowSelection::contains(int number) const
{
    if (ranges_.empty()) {
        return true;
    }
    for (const Range& range : ranges_) {
        if (number >= range.first && number <= range.last) {
            return true;
        }
    }
    return false;
}

int RowSelection::highestNamed() const
{
    int highest = 0;
    for (const Range& range : ranges_) {
        highest = std::max(highest, range.last == INT_MAX ? range.first : range.last);
    }
    return highest;
}

std::string RowSelection::format(const std::vector<int>& numbers)
{
    std::string text;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) {
            ++j;
        }
        if (!text.empty()) {
            text += ',';
        }
        text += std::to_string(numbers[i]);
        if (j > i) {
            text += '-' + std::to_string(numbers[j]);
        }
        i = j + 1;
    }
    return text;
}

}  // namespace velmora::cli
