#include "support/NovelSite.h"
#include "support/Gbk.h"
#include "support/Gzip.h"

#include "core/Encoding.h"
#include "core/Text.h"

#include <algorithm>

namespace velmora::test {
namespace {

struct Paragraph {
    std::string served;  // as the page sends it, entities and all
    std::string stored;  // as the chapter file keeps it
};

// The paragraphs of chapter n, in GBK.
std::vector<Paragraph> paragraphs(int n)
{
    const std::string peak = gbk("山风吹过第") + text::decimal(n) + gbk("座峰，少年抬头望去。");
    return {{peak, peak},
            {gbk("他笑了笑，说道&ldquo;到此为止&hellip;&rdquo;"), gbk("他笑了笑，说道“到此为止…”")},
            {gbk("远处&nbsp;传来钟声&mdash;&mdash;"), gbk("远处 传来钟声——")}};
}

Reply htmlReply(std::string body, bool utf8)
{
    Reply reply;
    reply.headers.push_back(utf8 ? "Content-Type: text/html; charset=utf-8" : "Content-Type: text/html; charset=gbk");
    if (utf8) {
        reply.headers.push_back("Content-Encoding: gzip");
        reply.body = gzipBytes(encoding::gbkToUtf8(body));
    } else {
        reply.body = std::move(body);
    }
    return reply;
}

// The options with the default name and author filled in; settled before the
// server's threads start, which read them unguarded.
NovelSiteOptions withDefaults(NovelSiteOptions options)
{
    if (options.novelName.empty()) {
        options.novelName = gbk("青云旧事");
    }
    if (options.author.empty()) {
        options.author = gbk("林小舟");
    }
    return options;
}

// Chapters inserted in the middle are numbered from here on.
constexpr int kFirstInserted = 1001;

std::vector<int> listedUpTo(int chapters)
{
    std::vector<int> listed;
    for (int n = 1; n <= chapters; ++n) {
        listed.push_back(n);
    }
    return listed;
}

}  // namespace

NovelSite::NovelSite(NovelSiteOptions options, int port)
    : options_(withDefaults(std::move(options))), listed_(listedUpTo(options_.chapters)),
      server_([this](const RecordedRequest& request) { return answer(request); }, port)
{
}

int NovelSite::chapterCount() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(listed_.size());
}

void NovelSite::growTo(int chapters)
{
    std::lock_guard lock(mutex_);
    int next = 1;
    for (int n : listed_) {
        next = n < kFirstInserted ? std::max(next, n + 1) : next;
    }
    while (static_cast<int>(listed_.size()) < chapters) {
        listed_.push_back(next++);
    }
}

int NovelSite::insertChapter(int position)
{
    std::lock_guard lock(mutex_);
    const int n = kFirstInserted + inserted_++;
    listed_.insert(listed_.begin() + std::clamp(position - 1, 0, static_cast<int>(listed_.size())), n);
    return n;
}

std::vector<int> NovelSite::chapterNumbers() const
{
    std::lock_guard lock(mutex_);
    return listed_;
}

void NovelSite::clearRequests()
{
    std::lock_guard lock(mutex_);
    requests_.clear();
}

std::string NovelSite::title(int n) const
{
    if (n >= kFirstInserted) {
        return gbk("番外") + text::decimal(n - kFirstInserted + 1) + gbk(" 夜雨");
    }
    return gbk("第") + text::decimal(n) + gbk("章 山门");
}

std::string NovelSite::expectedChapterFile(int n) const
{
    std::string file = title(n) + "\r\n";
    for (const Paragraph& p : paragraphs(n)) {
        file += "  " + p.stored + "\r\n";
    }
    return file;
}

std::string NovelSite::expectedMergedNovel() const
{
    std::string merged;
    for (int n : chapterNumbers()) {
        merged += (merged.empty() ? "" : "\r\n\r\n") + expectedChapterFile(n);
    }
    return merged;
}

int NovelSite::requestsFor(int n) const
{
    std::lock_guard lock(mutex_);
    const auto it = requests_.find(n);
    return it == requests_.end() ? 0 : it->second;
}

std::string NovelSite::scriptText(int n) const
{
    if (options_.shortText.contains(n)) {
        return gbk("稍候 片刻 ……");  // 18 bytes without its spaces
    }
    return gbk("山风吹过第") + text::decimal(n) + gbk("座峰，少年抬头望去，远处传来钟声。");
}

std::string NovelSite::expectedScriptChapterFile(int n) const
{
    return title(n) + "\r\n" + scriptText(n);
}

std::string NovelSite::listPage(bool utf8) const
{
    std::string page = std::string("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=")
                       + (utf8 ? "utf-8" : "gbk") + "\" />\r\n<meta property=\"og:novel:book_name\" content=\""
                       + options_.novelName + "\"/>\r\n<meta property=\"og:novel:author\" content=\"" + options_.author
                       + "\"/>\r\n</head><body><ul class=\"chapters\">\r\n";
    for (int n : chapterNumbers()) {
        const std::string href = utf8 ? "/utf8/1/" + text::decimal(n) + ".html" : text::decimal(n) + ".html";
        page +=
            "<li class=\"chapter\"><a href=\"" + href + "\" title=\"" + title(n) + "\">" + title(n) + "</a></li>\r\n";
    }
    return page + "</ul></body></html>";
}

std::string NovelSite::scriptListPage() const
{
    std::string page = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\" /></head>"
                       "<body>\r\n<div class=\"crumbs\"><a href=\"/\">"
                       + gbk("首页") + "</a> &gt; <a href=\"/js/1/\" class=\"cur\">" + options_.novelName
                       + "</a></div>\r\n<p>" + gbk("作者：") + "<a href=\"/author/1/\" target=\"_blank\">"
                       + options_.author + "</a></p>\r\n<ul>\r\n";
    const int links = options_.scriptLinks.empty() ? options_.chapters : int(options_.scriptLinks.size());
    for (int n = 1; n <= links; ++n) {
        const std::string href =
            options_.scriptLinks.empty() ? text::decimal(n) + ".html" : options_.scriptLinks[std::size_t(n - 1)];
        page += "<li class=\"c\"><a href=\"" + href + "\" target=\"_blank\">" + title(n) + "</a></li>\r\n";
    }
    return page + "</ul></body></html>";
}

std::string NovelSite::chapterPage(int n, bool utf8) const
{
    std::string page = std::string("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=")
                       + (utf8 ? "utf-8" : "gbk") + "\" /><title>" + title(n) + "</title></head><body><h1>" + title(n)
                       + "</h1>";
    if (options_.missingMarker.contains(n)) {
        page += gbk("<p>访问过于频繁，请稍后再试</p>");
    } else {
        page += "<div id=\"content\" class=\"content\">";
        for (const Paragraph& p : paragraphs(n)) {
            page += "<p>" + p.served + "</p>";
        }
        page += "</div>";
    }
    return page + "<div class=\"footer\">" + gbk("上一章") + "</div></body></html>";
}

std::string NovelSite::scriptChapterPage(int n) const
{
    // The text arrives only through the script, so a plain request never
    // sees it; the markers are visible text around the place it fills.
    const std::string head =
        options_.scriptPagesUndeclared
            ? "<html><head></head>"
            : "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\" /></head>";
    return head + "<body>" + options_.scriptPageExtra + "<span>" + gbk("正在玩命为您加载中，请稍后！")
           + "</span><span id=\"t\"></span><span>" + gbk("上一章")
           + "</span><script>document.getElementById(\"t\").textContent = \"" + scriptText(n) + options_.scriptTextTail
           + "\";</script></body></html>";
}

Reply NovelSite::answer(const RecordedRequest& request)
{
    const std::string line = request.requestLine;
    const std::string path = line.substr(line.find(' ') + 1, line.rfind(' ') - line.find(' ') - 1);
    const bool utf8 = path.starts_with("/utf8/1/");
    const bool script = path.starts_with("/js/1/");
    Reply reply;

    if (path == "/book/1/" || path == "/utf8/1/index.html") {
        reply = htmlReply(listPage(utf8), utf8);
    } else if (path == "/js/1/") {
        reply = htmlReply(scriptListPage(), false);
    } else if (const std::size_t slash = path.rfind('/'); path.ends_with(".html") && slash != std::string::npos) {
        const int n = text::leadingInt(std::string_view(path).substr(slash + 1));
        int seen = 0;
        bool listed = false;
        {
            std::lock_guard lock(mutex_);
            seen = ++requests_[n];
            listed = std::find(listed_.begin(), listed_.end(), n) != listed_.end();
        }
        const auto failFirst = options_.failFirst.find(n);
        const bool fail = options_.alwaysFail.contains(n)
                          || (failFirst != options_.failFirst.end() && seen <= failFirst->second)
                          || (script ? n < 1 || n > options_.chapters : !listed);
        if (fail) {
            reply = Reply::text("");
        } else if (script) {
            reply = htmlReply(scriptChapterPage(n), false);
            if (options_.scriptPagesUndeclared) {
                reply.headers = {"Content-Type: text/html"};
            }
            reply.neverAnswer = options_.neverLoad.contains(n);
        } else {
            reply = htmlReply(chapterPage(n, utf8), utf8);
        }
    } else {
        reply = Reply::text("not found");
        reply.status = 404;
    }
    reply.delay = options_.delay;
    return reply;
}

}  // namespace velmora::test
