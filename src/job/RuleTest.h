#pragma once

#include "rules/RuleOptions.h"

#include "job/NovelEngine.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The rule test bench, without a window: what a rule's patterns and markers
// make of a site's pages, part by part, so that a failing part can be seen
// and fixed. It reads pages and never writes a file.
//
// Texts from pages and rules are GBK, as everywhere in the engine; texts for
// people (`why`, `failure`, `error`) are UTF-8. Offsets are byte offsets into
// the page text they belong to.
namespace velmora {

// The fields of a rule, as the rule settings window holds them.
struct RuleUnderTest {
    ListPatterns patterns;
    ContentMarkers markers;
    bool pageCapture = false;  // chapters are read through the embedded browser
    RuleOptions options{};     // the rule's optional settings (encoding, texts to remove, ...)
};

// A page as the test read it.
struct TestedPage {
    std::string address;
    std::string finalAddress;  // where the page came from after redirects; empty means `address`
    std::string text;          // GBK, exactly as retrieval or download would use it
    bool fetched = false;      // a page arrived (whatever its status)
    bool captured = false;     // the text came from the browser, not over HTTP
    long status = 0;           // HTTP status; 0 when none arrived or for a capture
    std::size_t bytes = 0;     // body bytes received (before decompression)
    bool gzip = false;
    std::string encoding;  // the encoding read, e.g. "GBK", "UTF-8"
    std::string why;       // UTF-8: why that encoding
    double seconds = 0;
    std::string failure;  // UTF-8: why the page is not usable; empty when it is
};

// One pattern run over the list page.
struct PatternCheck {
    bool compiles = true;
    std::string error;     // UTF-8: the regex engine's message when it failed
    int errorOffset = -1;  // characters into the pattern where compiling stopped; -1 otherwise
    bool matched = false;
    std::string text;       // group 1 as the window uses it (trimmed like retrieval)
    std::size_t begin = 0;  // range of group 1 (or of the match) in the list page, when matched
    std::size_t end = 0;
};

struct ListRowView {
    int number = 0;
    std::string title;
    std::string address;      // as the row holds it: as captured, or whole when resolved
    std::string fullAddress;  // base address + address, as the download asks for it
};

struct ListCheck {
    PatternCheck pattern;  // `text` unused; `matched` when at least one match
    int matches = 0;
    int groupsPerMatch = 0;
    int rows = 0;                       // rows the window would list
    std::string baseAddress;            // put in front of each row's address; empty when rows hold whole ones
    std::vector<ListRowView> rowViews;  // every row, in list order
    int repeatedAddresses = 0;          // captured links whose full address an earlier link already has
    int droppedRows = 0;                // repeated links the download leaves out (not among the rows)
    bool resolved = false;              // rows hold addresses resolved against the list page's final address
    std::string note;                   // UTF-8: what retrieval would note, and that only page 1 was read
    // Byte ranges [begin, end) of each match in the list page, for highlighting.
    std::vector<std::pair<std::size_t, std::size_t>> matchRanges;
};

// A marker looked for in the chapter page.
struct MarkerCheck {
    bool found = false;
    std::size_t begin = 0;  // range in the chapter page, when found
    std::size_t end = 0;
};

struct ChapterCheck {
    bool tested = false;  // a row was there to test
    int row = 0;          // the row tested, from 1
    ListRowView chapter;
    TestedPage page;
    MarkerCheck left;             // the first left marker
    MarkerCheck right;            // the first right marker after the left one
    std::string savedText;        // GBK: the chapter file's bytes, exactly as they would be saved
    std::size_t savedLength = 0;  // bytes
    int savedCharacters = 0;      // characters (a double-byte character counts once)
    // Markup or entities left in the saved text after cleanup, e.g. "<div", "&nbsp;",
    // each once (GBK), with how often it occurs.
    std::vector<std::pair<std::string, int>> leftovers;
};

struct RuleTestReport {
    TestedPage listPage;
    PatternCheck novelName;
    PatternCheck author;
    ListCheck list;
    ChapterCheck chapter;
    bool cancelled = false;

    // No part failed: the name was found, the list gave rows and the tested
    // chapter's text is not empty.
    bool passed() const;
    // UTF-8 lines naming each failing part; empty when passed.
    std::vector<std::string> problems() const;
};

// Rows shown from the top and from the bottom of the list in the report.
inline constexpr int kShownRows = 5;

// Reads a page over HTTP as retrieval and download do (same decoding, same
// text), noting how it came. `cancel` ends the transfer early.
TestedPage fetchTestedPage(std::string_view address, const std::atomic<bool>* cancel = nullptr,
                           const RuleOptions& options = {});

// A page handed in from elsewhere (the browser's capture): GBK text.
TestedPage capturedTestedPage(std::string_view address, std::string text);

// The name, author and list sections of the report for a list page already read. The rows are
// made as retrieval makes them (rowsFromListPages with the rule's options),
// from this one page: a rule with a next-list-page pattern gets a note that
// only the first list page was read.
void checkListPage(RuleTestReport& report, const RuleUnderTest& rule);

// The chapter section for the chapter page of `row` (one of report.list.rowViews) already read.
void checkChapterPage(RuleTestReport& report, const RuleUnderTest& rule, const ListRowView& row, TestedPage page);

// Supplies the chapter page of a row when the rule reads chapters through the
// browser; called on the test's thread, it must not wait for a window that
// waits for the test.
using ChapterPageSource = std::function<TestedPage(const std::string& address)>;

// The whole test: the list page over HTTP, the patterns, and the chapter page
// of row `row` (from 1; out of range means the first), over HTTP or from
// `chapterSource` when given. Blocks; safe on any thread. Once `*cancel`
// turns true the test ends promptly with `cancelled` set.
RuleTestReport testRule(std::string_view listAddress, const RuleUnderTest& rule, int row = 1,
                        const std::atomic<bool>* cancel = nullptr, const ChapterPageSource& chapterSource = {});

// The report as UTF-8 text for a terminal, or as a JSON object.
std::string reportText(const RuleTestReport& report);
std::string reportJson(const RuleTestReport& report);

// GBK text to UTF-8 as a JSON string literal, quotes included.
std::string gbkJsonString(std::string_view gbk);

}  // namespace velmora
