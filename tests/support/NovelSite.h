#pragma once

#include "support/LoopbackServer.h"

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// A small novel site on 127.0.0.1 in the markup of the first default rule,
// for the end-to-end tests and for people trying the program without a
// network. Two copies of the novel are served:
//   /book/1/           list page in GBK, chapter links relative ("3.html")
//   /utf8/1/index.html list page in UTF-8, gzip-compressed, links absolute
//                      ("/utf8/1/3.html"), chapter pages likewise
//   /js/1/             list page in the markup of the page-capture rule; its
//                      chapter pages write their text by script, between
//                      visible markers, for the embedded browser; any
//                      other path is answered 404 and recorded
namespace velmora::test {

struct NovelSiteOptions {
    int chapters = 5;
    std::string novelName{};                 // GBK; a default name when empty
    std::string author{};                    // GBK; a default author when empty
    std::set<int> missingMarker{};           // chapters served as a notice without the content marker
    std::map<int, int> failFirst{};          // chapter -> requests answered with an empty page first
    std::set<int> alwaysFail{};              // chapters always answered with an empty page
    std::set<int> shortText{};               // script-built chapters whose text is too short to count
    std::set<int> neverLoad{};               // script-built chapters that never finish loading
    std::vector<std::string> scriptLinks{};  // the script-built list's links in place of "1.html" etc.
    std::string scriptPageExtra{};           // markup every script-built chapter page holds before its text
    std::string scriptTextTail{};        // script source (e.g. a \u escape) the script adds after each chapter's text
    bool scriptPagesUndeclared = false;  // script-built chapter pages name no charset (header or <meta>)
    std::chrono::milliseconds delay{0};  // added to every answer
};

class NovelSite {
public:
    explicit NovelSite(NovelSiteOptions options = {}, int port = 0);

    std::string listUrl() const { return server_.url("/book/1/"); }
    std::string utf8ListUrl() const { return server_.url("/utf8/1/index.html"); }
    std::string scriptListUrl() const { return server_.url("/js/1/"); }
    int port() const { return server_.port(); }
    // Chapters listed now.
    int chapterCount() const;

    // The site as a serial grows: chapters up to `chapters` are appended to
    // the list (numbered on from the highest so far); a chapter inserted at
    // `position` (from 1) gets a number of its own from 1001 on, returned,
    // and the chapters from that position on move down one row.
    void growTo(int chapters);
    int insertChapter(int position);
    // The chapter numbers in list order.
    std::vector<int> chapterNumbers() const;
    // Forgets the requests counted so far.
    void clearRequests();

    const std::string& novelName() const { return options_.novelName; }
    const std::string& author() const { return options_.author; }
    // GBK title of chapter n (from 1; an inserted chapter has a title of its own).
    std::string title(int n) const;
    // The bytes the program should store for chapter n.
    std::string expectedChapterFile(int n) const;
    // The merged novel of every chapter listed now, in list order.
    std::string expectedMergedNovel() const;
    // The bytes the program should store for script-built chapter n.
    std::string expectedScriptChapterFile(int n) const;
    // Requests that reached chapter n so far.
    int requestsFor(int n) const;

    const LoopbackServer& server() const { return server_; }

private:
    Reply answer(const RecordedRequest& request);
    std::string listPage(bool utf8) const;
    std::string scriptListPage() const;
    std::string chapterPage(int n, bool utf8) const;
    std::string scriptChapterPage(int n) const;
    std::string scriptText(int n) const;

    NovelSiteOptions options_;
    mutable std::mutex mutex_;
    std::map<int, int> requests_;
    std::vector<int> listed_;  // chapter numbers in list order
    int inserted_ = 0;
    LoopbackServer server_;
};

}  // namespace velmora::test
