#include "rules/DefaultRules.h"

#include "core/Encoding.h"

namespace velmora {
namespace {

// Values as they stand in the file, entities included. A value that ends in
// a line break keeps it: the patterns were written against pages whose
// markup breaks the line right there.
struct DefaultRule {
    const char* name;
    const char* siteAddress;
    const char* chapterListPattern;
    const char* novelNamePattern;
    const char* authorPattern;
    const char* contentLeftMarker;
    const char* contentRightMarker;
    bool pageCapture;
};

// clang-format off
constexpr DefaultRule kDefaultRules[] = {
    {"58看书", "http://www.kanshu58.example/",
     R"(&lt;li class=&quot;chapter&quot;&gt;&lt;a href=&quot;(.*?)&quot; title=&quot;.*?&quot;&gt;(.*?)&lt;/a&gt;&lt;/li&gt;)",
     R"(&lt;meta property=&quot;og:novel:book_name&quot; content=&quot;(.*?)&quot;/&gt;)",
     R"(&lt;meta property=&quot;og:novel:author&quot; content=&quot;(.*?)&quot;/&gt;)",
     R"(&lt;div id=&quot;content&quot; class=&quot;content&quot;&gt;)",
     R"(&lt;/div&gt;)",
     false},
    {"青豆小说", "http://www.qingdou.example/",
     R"(&lt;li&gt;&lt;a href=&quot;/(.*?)&quot;&gt;(.*?)&lt;/a&gt;&lt;/li&gt;)",
     R"(var b_tit=&apos;(.*?)&apos;,b_id)",
     R"(作者：&lt;span&gt;&lt;a href=&quot;/search.php\?q=(.*?)( |&quot;))",
     R"(&lt;div class=&quot;chapter_content&quot; id=&quot;chapter_content&quot; style=&quot;font-size: 24px;&quot;&gt;)",
     R"(&lt;/div&gt;)",
     false},
    {"Freexs免费小说网", "http://www.freexs.example/",
     R"(&lt;td&gt;&lt;a href=\W(.*?)\W&gt;(.*?)&lt;/a&gt;&lt;/td&gt;)",
     R"(&lt;meta name=&quot;keywords&quot; content=&quot;(.*?)&quot;&gt;)",
     R"(author=(.*?)&quot;&gt;)",
     R"(&lt;div class=&quot;shuneirong&quot;&gt;)",
     R"(&lt;/div&gt;)",
     false},
    {"悠读文学", "http://www.youdu.example/",
     R"(&lt;li&gt;&lt;a href=&quot;.*?/(\d+?\..*?)&quot; title=&quot;(.*?)&quot; target=&quot;_blank&quot;&gt;\2&lt;/a&gt;&lt;/li&gt;)",
     R"(&lt;meta property=&quot;og:novel:book_name&quot; content=&quot;(.*?)&quot;/&gt;)",
     R"(&lt;meta property=&quot;og:novel:author&quot; content=&quot;(.*?)&quot;/&gt;)",
     R"(&lt;script&gt;chap_1();&lt;/script&gt;&lt;/center&gt;)",
     R"(&lt;center class=&quot;bad&quot;)",
     false},
    {"零点看书", "http://www.lingdian.example/",
     R"(&lt;dd&gt;&lt;a href=&quot;(.*?)&quot;&gt;(.*?)&lt;/a&gt;&lt;/dd&gt;)",
     R"(&lt;h1&gt;(.*?)&lt;/h1&gt;)",
     R"(&lt;p&gt;作\S*?者[：:](.*?)&lt;/p&gt;)",
     R"(&lt;div id=&quot;content&quot;&gt;)",
     R"(&lt;/div&gt;)",
     false},
    {"蕃茄小说", "http://www.fanqie.example/",
     R"(&lt;dd&gt;&lt;a href=&quot;(.*?)&quot;&gt;(.*?)&lt;/a&gt;&lt;/dd&gt;)",
     R"(&lt;h1&gt;(.*?)&lt;/h1&gt;)",
     R"(&lt;p&gt;作\S*?者[：:](.*?)&lt;/p&gt;)",
     R"(&lt;div id=&quot;content&quot;&gt;)",
     R"(&lt;/div&gt;)",
     false},
    {"吾读小说网", "http://www.wudu.example/",
     R"(&lt;li.*?&gt;&lt;a href=&quot;(.*?)&quot;&gt;([^&lt;&gt;]*?)&lt;/a&gt;&lt;/li&gt;)",
     R"(&lt;h1&gt;(.*?)&lt;/h1&gt;)" "\r\n",
     R"(&lt;p&gt;作\S*?者[：:](.*?)&lt;/p&gt;)",
     R"(&lt;div id=&quot;content&quot;&gt;)",
     R"(&lt;/div&gt;)",
     false},
    {"2345小说（仅测试）", "http://book.xs2345.example/",
     R"(&lt;li .*?&gt;&lt;a href=&quot;(.*?)&quot;.*?&gt;(.*?)&lt;/a&gt;&lt;/li&gt;)" "\r\n",
     R"(class=&quot;cur&quot;&gt;(.*?)&lt;/a&gt;&lt;/div&gt;)" "\r\n",
     R"(作者：&lt;a href=&quot;/author/.*?&quot; target=&quot;_blank&quot;&gt;(.*?)&lt;/a&gt;)",
     R"(正在玩命为您加载中，请稍后！)",
     R"(上一章)",
     true},
    {"紫幽阁", "http://www.ziyouge.example/",
     R"(&lt;li class=&quot;chapter&quot;&gt;&lt;a href=&quot;(.*?)&quot; title=&quot;.*?&quot;&gt;(.*?)&lt;/a&gt;&lt;/li&gt;)",
     R"(&lt;h1&gt;(.*?)&lt;/h1&gt;)" "\r",
     R"(author=(.*?)&quot;)",
     R"(&lt;div id=&quot;htmlContent&quot; class=&quot;contentbox&quot;&gt;)",
     R"(&lt;/div&gt;)",
     false},
    {"摘阅网", "http://www.zhaiyue.example/",
     R"(&lt;li&gt;&lt;a style=&quot;&quot; href=&quot;(.*?)&quot;&gt;(.*?)&lt;/a&gt;&lt;/li&gt;)",
     R"(&lt;h1&gt;&lt;a href=&quot;/&quot; title=&quot;(.*?)&quot;&gt;)",
     R"(&lt;span&gt;作者[:：]&lt;strong&gt;(.*?)&lt;/strong&gt;&lt;/span&gt;)" "\r",
     R"(&lt;div class=&quot;cont&quot;&gt;)",
     R"(&lt;script type)",
     false},
    {"52中文网", "http://www.zw52.example/",
     R"(&lt;li style=.*?&gt;&lt;a.*?href=[&apos;&quot;](.*?)[&quot;&apos;].*?&gt;(.*?)&lt;/a&gt;.*?&lt;a.*?href=[&apos;&quot;](.*?)[&apos;&quot;].*?&gt;(.*?)&lt;/a&gt;\s*?&lt;/li&gt;)",
     R"(&lt;h1.*?&gt;(.*?)&lt;/h1&gt;)" "\r",
     R"(author=(.*?)&quot;)",
     R"(&lt;div class=&quot;novel_content&quot;&gt;)",
     R"(&lt;/div&gt;)",
     false},
    {"燃文小说", "http://www.ranwen.example/",
     R"(&lt;td&gt;&lt;div class=&quot;dccss&quot;&gt;&lt;a href=&quot;(.*?)&quot; alt=&quot;.*?&quot;&gt;(.*?)&lt;/a&gt;&lt;/div&gt;&lt;/td&gt;)" "\r",
     R"(articlename=&apos;(.*?)&apos;)",
     R"(author=&apos;(.*?)&apos;)",
     R"(type=&quot;text/javascript&quot;&gt;&lt;/script&gt;&lt;/div&gt;)",
     R"(&lt;/script&gt;&lt;/div&gt;)",
     false},
    {"一本读全本小说网", "http://www.yibendu.example/",
     R"(&lt;li&gt;&lt;a href=&quot;(.*?)&quot;&gt;(.*?)&lt;/a&gt;&lt;/li&gt;)",
     R"(&lt;meta property=&quot;og:novel:book_name&quot; content=&quot;(.*?)&quot;/&gt;)",
     R"(&lt;meta property=&quot;og:novel:author&quot; content=&quot;(.*?)&quot;/&gt;)",
     R"(&lt;div id=&quot;htmlContent&quot; class=&quot;contentbox&quot;&gt;)",
     R"(&lt;div class=&quot;)",
     false},
    {"爪机书屋", "http://www.zhuaji.example/",
     R"(&lt;a href=&quot;(.*?)&quot;.*?&gt;（(.*?)）&lt;/a&gt;)",
     R"(&lt;h1&gt;《(.*?)》&lt;/h1&gt;)" "\r",
     R"(作者[:：](.*?)&lt;br /&gt;)" "\r",
     R"(&lt;div id=&quot;content&quot;&gt;)",
     R"(&lt;/div&gt;)",
     false},
    {"顶点小说", "http://www.dingdian.example/",
     R"(&lt;td class=&quot;L&quot;&gt;&lt;a href=&quot;(.*?)&quot;&gt;(.*?)&lt;/a&gt;&lt;/td&gt;)",
     R"(&lt;h3&gt;(.*?)作者.*?&lt;/h3&gt;)",
     R"(&lt;h3&gt;.*?作者[:：](.*?)&lt;/h3&gt;)",
     R"(&lt;dd id=&quot;contents&quot;&gt;)",
     R"(&lt;/dd&gt;)",
     false},
    {"梅语小说网", "http://www.meiyu.example/",
     R"(&lt;li class=&quot;list-group-item.*?&gt;&lt;a href=&quot;(.*?)&quot;.*?&gt;(.*?)&lt;/a&gt;&lt;/li&gt;)",
     R"(og:title&quot; content=&quot;(.*?)&quot;)",
     R"(novel:author&quot; content=&quot;(.*?)&quot;)",
     R"(&lt;div id=&quot;content&quot; class=&quot;panel-body&quot;&gt;)",
     R"(&lt;/div&gt;)",
     false},
};
// clang-format on

std::string composeUtf8()
{
    std::string out = "<?xml version=\"1.0\" encoding=\"gb18030\"?>\r\n<小说站点>";
    const auto attribute = [&out](const char* name, const char* value) {
        out += ' ';
        out += name;
        out += "=\"";
        out += value;
        out += '"';
    };
    for (const DefaultRule& rule : kDefaultRules) {
        out += "\r\n\t<";
        out += rule.name;
        attribute("网址", rule.siteAddress);
        attribute("章节列表正则表达式", rule.chapterListPattern);
        attribute("小说名正则表达式", rule.novelNamePattern);
        attribute("作者正则表达式", rule.authorPattern);
        attribute("章节内容左侧", rule.contentLeftMarker);
        attribute("章节内容右侧", rule.contentRightMarker);
        attribute("页面抓取", rule.pageCapture ? "真" : "假");
        out += "/>";
    }
    out += "\r\n</小说站点>";
    return out;
}

}  // namespace

const std::string& DefaultRulesText()
{
    static const std::string text = encoding::toGbk(composeUtf8());
    return text;
}

}  // namespace velmora
