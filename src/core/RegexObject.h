#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Runs a regular expression over GBK text and hands out the matches and their
// capture groups, numbered from 1. Every text in and out is GBK; matching is
// per character, so a class such as [：:] takes one full-width colon.
//
// Dialect: the ECMAScript-like syntax the site rules are written in. Lazy
// quantifiers, back-references, \d \s \w with their ASCII meaning, \uHHHH.
// The dot matches neither a line feed nor a carriage return; a pattern that
// spells out CR or LF characters matches them literally. With `multiline`,
// ^ and $ also match at CR, LF and CR LF line ends.
//
// The object holds no engine handle between calls, so copies are independent
// values. One object is used by one thread at a time.
class RegexObject {
public:
    // Compiles `pattern` and collects every non-overlapping match from left
    // to right (only the first unless `global`); after an empty match the
    // search goes on one character further. With `quotePlaceholder`, each
    // "#引号" in the pattern stands for a double quote. False when the
    // pattern is invalid or the engine gives up (too much backtracking);
    // counts are then 0 and texts empty. No match at all is still true.
    bool run(std::string_view pattern, std::string_view subject, bool caseSensitive = false, bool multiline = true,
             bool global = true, bool quotePlaceholder = false);

    int matchCount() const;

    // Capture groups in the pattern, read from the first match; 0 without one.
    int groupCount() const;

    // Group g of match m; empty when out of range or when the group took no
    // part in the match.
    std::string groupText(int m, int g) const;

    std::string matchText(int m) const;

    // The last run's subject with its matches replaced. In the replacement,
    // $1..$99 (two digits preferred when that group exists) insert a group,
    // $& the match, $` and $' the text before and after it, $$ a dollar;
    // any other $ is literal. Empty when the last run failed or none ran.
    std::string replaceAll(std::string_view replacement) const;

    // The pattern of the last run after placeholder replacement; empty before
    // any run.
    std::string currentPattern() const;

    // Why the last run failed, for people writing a pattern: the engine's
    // message (UTF-8, as PCRE2 words it) and, for a pattern that does not
    // compile, the position where the engine stopped, in characters of the
    // pattern from 0 (-1 when the failure came while matching). Empty and -1
    // after a run that succeeded or before any run.
    const std::string& errorMessage() const { return errorMessage_; }
    int errorOffset() const { return errorOffset_; }

    // Byte range [begin, end) of group g (0: the whole match) of match m in
    // the last run's subject; false when out of range or when the group took
    // no part in the match.
    bool groupRange(int m, int g, std::size_t& begin, std::size_t& end) const;

private:
    std::string slice(std::size_t begin, std::size_t end) const;
    std::size_t offset(int m, int g, int side) const;
    void noteError(int code);

    std::string pattern_;
    std::string subject_;
    bool succeeded_ = false;
    int groups_ = 0;
    std::string errorMessage_;
    int errorOffset_ = -1;
    // Per match, (groups_ + 1) pairs of begin and end byte offsets into
    // subject_; npos marks a group that took no part.
    std::vector<std::size_t> offsets_;
};

}  // namespace velmora
