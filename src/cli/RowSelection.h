#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The rows a user asked for on the command line ("1-50,60", "100-"), by the
// numbers the chapter list shows (from 1).
namespace velmora::cli {

class RowSelection {
public:
    // Every row.
    RowSelection() = default;

    // Nothing when `text` is not a comma-separated list of N, N-M (N <= M)
    // or N- (from N to the end), numbers from 1.
    static std::optional<RowSelection> parse(std::string_view text);

    bool all() const { return ranges_.empty(); }
    bool contains(int number) const;
    // The highest number named (an open range counts its first); 0 for every row.
    int highestNamed() const;

    // The shortest text naming exactly `numbers` (ascending), e.g. "3,7-9".
    static std::string format(const std::vector<int>& numbers);

private:
    struct Range {
        int first;
        int last;  // INT_MAX for an open end
    };
    std::vector<Range> ranges_;
};

}  // namespace velmora::cli
