// Proposes a rule from arbitrary pages and runs the proposal over them as the
// test bench does. Whatever the page, every proposed pattern compiles, and
// proposed markers stand in the page they were taken from.
#include "core/RegexObject.h"
#include "job/RuleSuggest.h"
#include "job/RuleTest.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    velmora::RuleSuggestion suggestion;
    velmora::suggestListPatterns("http://127.0.0.1/b/1/", page, suggestion);
    velmora::suggestMarkers(page, suggestion);
    const velmora::ListPatterns& patterns = suggestion.rule.patterns;
    velmora::RegexObject regex;
    for (const std::string* pattern : {&patterns.novelName, &patterns.author, &patterns.chapterList}) {
        if (!pattern->empty() && !regex.run(*pattern, page) && regex.errorOffset() >= 0) {
            std::abort();  // a proposal that does not compile
        }
    }
    const velmora::ContentMarkers& markers = suggestion.rule.markers;
    if (!markers.left.empty()
        && (page.find(markers.left) == std::string_view::npos || page.find(markers.right) == std::string_view::npos)) {
        std::abort();
    }
    velmora::RuleTestReport report;
    report.listPage.address = "http://127.0.0.1/b/1/";
    report.listPage.text = std::string(page);
    velmora::checkListPage(report, suggestion.rule);
    if (!report.list.rowViews.empty()) {
        velmora::checkChapterPage(report, suggestion.rule, report.list.rowViews.front(),
                                  velmora::capturedTestedPage("http://127.0.0.1/b/1/1.html", std::string(page)));
    }
    return 0;
}
