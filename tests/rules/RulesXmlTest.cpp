#include "rules/RulesXml.h"

#include "core/Encoding.h"
#include "support/Gbk.h"

#include <gtest/gtest.h>

#include <random>

using namespace velmora;

namespace {

using velmora::test::gbk;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"gb18030\"?>\r\n";

struct BrokenCase {
    std::string label;
    std::string bytes;
};

void PrintTo(const BrokenCase& c, std::ostream* os)
{
    *os << c.label;
}

}  // namespace

class BrokenDocumentTest : public testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenDocumentTest, DoesNotLoad)
{
    EXPECT_FALSE(parseXmlDocument(GetParam().bytes));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, BrokenDocumentTest, testing::Values(
    BrokenCase{"empty", ""},
    BrokenCase{"only declaration", kDeclaration},
    BrokenCase{"not xml", "just some text"},
    BrokenCase{"missing root end tag", "<r>\r\n\t<a x=\"1\"/>"},
    BrokenCase{"truncated in a tag", "<r>\r\n\t<a x=\"1\""},
    BrokenCase{"truncated in a value", "<r><a x=\"1/></r>"},
    BrokenCase{"unterminated start tag", "<r><a x=\"1\"</r>"},
    BrokenCase{"unquoted attribute", "<r><a x=1/></r>"},
    BrokenCase{"attribute without value", "<r><a x/></r>"},
    BrokenCase{"attributes not separated", "<r><a x=\"1\"y=\"2\"/></r>"},
    BrokenCase{"unknown entity", "<r><a x=\"&nbsp;\"/></r>"},
    BrokenCase{"bare ampersand", "<r><a x=\"a & b\"/></r>"},
    BrokenCase{"less-than in value", "<r><a x=\"a<b\"/></r>"},
    BrokenCase{"unknown entity in text", "<r>&copy;</r>"},
    BrokenCase{"character GBK cannot hold", "<r><a x=\"&#x1F600;\"/></r>"},
    BrokenCase{"NUL character reference", "<r><a x=\"&#0;\"/></r>"},
    BrokenCase{"mismatched end tag", "<r><a></b></r>"},
    BrokenCase{"text after root", "<r/>trailing"},
    BrokenCase{"text before root", "x<r/>"},
    BrokenCase{"second root", "<r/><r/>"},
    BrokenCase{"unterminated comment", "<r/><!-- no end"},
    BrokenCase{"doctype", "<!DOCTYPE r><r/>"},
    BrokenCase{"empty name", "<r>< x=\"1\"/></r>"},
    BrokenCase{"unknown entity in a name", "<r><a&nbsp;b/></r>"},
    BrokenCase{"less-than in a name", "<r><a<b/></r>"},
    BrokenCase{"utf-8 byte order mark", "\xEF\xBB\xBF<r/>"}
));
// clang-format on

TEST(RulesXmlTest, NestingBeyondLimitDoesNotLoad)
{
    std::string deep;
    for (int i = 0; i < 100; ++i) {
        deep += "<a>";
    }
    for (int i = 0; i < 100; ++i) {
        deep += "</a>";
    }
    EXPECT_FALSE(parseXmlDocument(deep));
}

TEST(RulesXmlTest, RandomBytesNeverLoad)
{
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(1 + random() % 300, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random());
        }
        EXPECT_FALSE(parseXmlDocument(bytes));
    }
}

TEST(RulesXmlTest, WritesExactLayoutWithEscapes)
{
    XmlElement root{gbk("小说站点"), {}, {}, {}};
    root.children.push_back({gbk("52中文网"), {{"a", "x&<>\"'y"}, {"b", "line\r\n"}, {"c", "cr\r"}}, {}, {}});
    root.children.push_back({gbk("2345小说（仅测试）"), {}, {}, {}});
    const std::string expected = kDeclaration + gbk("<小说站点>\r\n\t<52中文网")
                                 + " a=\"x&amp;&lt;&gt;&quot;&apos;y\" b=\"line\r\n\" c=\"cr\r\"/>\r\n\t"
                                 + gbk("<2345小说（仅测试）/>\r\n</小说站点>");
    const std::string written = writeXmlDocument(root);
    EXPECT_EQ(written, expected);
    EXPECT_EQ(parseXmlDocument(written), root);
}

TEST(RulesXmlTest, EmptyRootKeepsItsEndTag)
{
    const XmlElement root{"r", {}, {}, {}};
    EXPECT_EQ(writeXmlDocument(root), kDeclaration + "<r>\r\n</r>");
    EXPECT_EQ(parseXmlDocument(writeXmlDocument(root)), root);
}

TEST(RulesXmlTest, ReadsHandWrittenForms)
{
    const std::string doc = "<?xml version='1.0'?>\n<!-- head -->\n<r>\n"
                            "  <!-- a comment -->\n"
                            "  <b z = 'single \"q\"' a=\"&#65;&#x42;&#13;&#x4e2d;\"></b>\n"
                            "  <c>t<![CDATA[<raw&>]]>&amp;</c>\n"
                            "</r >\n<!-- tail -->\n";
    const std::optional<XmlElement> root = parseXmlDocument(doc);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 2u);
    const XmlElement& b = root->children[0];
    EXPECT_EQ(b.attributes, (std::vector<XmlAttribute>{{"z", "single \"q\""}, {"a", "AB\r" + gbk("中")}}));
    EXPECT_EQ(root->children[1].text, "t<raw&>&");
    EXPECT_EQ(writeXmlDocument(*root), kDeclaration + "<r>\r\n\t<b z=\"single &quot;q&quot;\" a=\"AB\r" + gbk("中")
                                           + "\"/>\r\n\t<c>t&lt;raw&amp;&gt;&amp;</c>\r\n</r>");
}

TEST(RulesXmlTest, NestedElementsAndTextSurviveRewrite)
{
    const std::string doc = "<r>top <a k=\"v\"> inner <b>leaf text</b> tail </a><c> </c></r>";
    const std::optional<XmlElement> root = parseXmlDocument(doc);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->text, "top");
    EXPECT_EQ(root->children[0].text, "innertail");
    EXPECT_EQ(root->children[0].children[0].text, "leaf text");
    EXPECT_EQ(root->children[1].text, "");
    const std::string once = writeXmlDocument(*root);
    EXPECT_EQ(parseXmlDocument(once), root);
    EXPECT_EQ(writeXmlDocument(*parseXmlDocument(once)), once);
}

struct NameCase {
    std::string name;
    bool usable;
    bool readsBack = true;  // only no name and a name ending in half a character cannot be written
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.name);
}

class UsableNameTest : public testing::TestWithParam<NameCase> {};

// Only usable names may be created, yet every name a file can hold, usable
// or not, is written so that it reads back as it was.
TEST_P(UsableNameTest, OnlyUsableNamesMayBeCreatedButEveryNameReadsBack)
{
    const NameCase& c = GetParam();
    EXPECT_EQ(isUsableXmlName(c.name), c.usable);
    XmlElement root{"r", {}, {{c.name, {{"k", "v"}}, {}, {}}}, {}};
    const std::string written = writeXmlDocument(root);
    const std::optional<XmlElement> reread = parseXmlDocument(written);
    if (c.readsBack) {
        ASSERT_TRUE(reread);
        EXPECT_EQ(reread->children.at(0), root.children[0]);
        EXPECT_EQ(writeXmlDocument(*reread), written);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, UsableNameTest, testing::Values(
    NameCase{gbk("52中文网"), true},
    NameCase{gbk("2345小说（仅测试）"), true},
    NameCase{"Freexs", true},
    // A lead byte takes the next byte with it, whatever that byte is.
    NameCase{"a\x81>b", true},
    NameCase{"a\x81 b", true},
    NameCase{"", false, false},
    NameCase{"a b", false},
    NameCase{"a\tb", false},
    NameCase{"a\r\nb", false},
    NameCase{"a/b", false},
    NameCase{"a>b", false},
    NameCase{"a<b", false},
    NameCase{"a&b", false},
    NameCase{"a=b", false},
    NameCase{"a\"b", false},
    NameCase{"a'b", false},
    NameCase{"a\x01" "b", false},
    NameCase{"a\x7F", false},
    NameCase{gbk("新　规则"), false},
    NameCase{"!a", false},
    NameCase{"?a", false},
    NameCase{"ab\xD6", false, false}
));
// clang-format on

struct HandWrittenNameCase {
    std::string tag;   // as it stands in the file
    std::string name;  // as read
    std::string rewritten;
};

void PrintTo(const HandWrittenNameCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.tag);
}

class HandWrittenNameTest : public testing::TestWithParam<HandWrittenNameCase> {};

// A rule's name is the element's name: whatever runs up to white space, "/"
// or ">" is the name, entities resolved, and the rules around it still load.
TEST_P(HandWrittenNameTest, ReadsWholeAndSurvivesARewrite)
{
    const HandWrittenNameCase& c = GetParam();
    const std::string doc = "<r>\r\n\t<first k=\"1\"/>\r\n\t<" + c.tag + " k=\"2\"/>\r\n\t<last k=\"3\"/>\r\n</r>";
    const std::optional<XmlElement> root = parseXmlDocument(doc);
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 3u);
    EXPECT_EQ(root->children[1].name, c.name);
    EXPECT_EQ(root->children[1].attributes, (std::vector<XmlAttribute>{{"k", "2"}}));
    const std::string rewritten = writeXmlDocument(*root);
    EXPECT_NE(rewritten.find("\t<" + c.rewritten + " k=\"2\"/>"), std::string::npos) << rewritten;
    EXPECT_EQ(parseXmlDocument(rewritten), root);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, HandWrittenNameTest, testing::Values(
    HandWrittenNameCase{"a=b", "a=b", "a=b"},
    HandWrittenNameCase{"Tom&amp;Jerry", "Tom&Jerry", "Tom&amp;Jerry"},
    HandWrittenNameCase{"&lt;b&gt;", "<b>", "&lt;b&gt;"},
    HandWrittenNameCase{"say\"hi'", "say\"hi'", "say&quot;hi&apos;"},
    HandWrittenNameCase{"a&#47;b&#32;c", "a/b c", "a&#47;b&#32;c"},
    HandWrittenNameCase{"&#33;x", "!x", "&#33;x"},
    HandWrittenNameCase{gbk("甲　乙"), gbk("甲　乙"), gbk("甲　乙")}
));
// clang-format on

TEST(RulesXmlTest, EndTagMatchesTheNameAsRead)
{
    const std::optional<XmlElement> root = parseXmlDocument("<r><a&amp;b>t</a&#38;b></r>");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->children.at(0).name, "a&b");
    EXPECT_FALSE(parseXmlDocument("<r><a&amp;b>t</a&amp;c></r>"));
}

TEST(RulesXmlTest, LargeDocumentLoads)
{
    const std::string rule = "\r\n\t<" + gbk("规则") + " a=\"" + std::string(900, 'x') + "&amp;\" b=\"y\"/>";
    std::string doc = kDeclaration + "<r>";
    for (int i = 0; i < 5000; ++i) {
        doc += rule;
    }
    doc += "\r\n</r>";
    ASSERT_GT(doc.size(), 4'000'000u);
    const std::optional<XmlElement> root = parseXmlDocument(doc);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->children.size(), 5000u);
    EXPECT_EQ(writeXmlDocument(*root), doc);
}
