#include "web/Url.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

using namespace velmora;

struct UrlCase {
    std::string address;
    std::string host;
    std::string hostWithPort;
    int port;
    std::string path;
};

void PrintTo(const UrlCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.address);
}

class UrlTest : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlTest, SplitsAddress)
{
    const UrlCase& c = GetParam();
    EXPECT_EQ(UrlHost(c.address), c.host);
    EXPECT_EQ(UrlHost(c.address, true), c.hostWithPort);
    EXPECT_EQ(UrlPort(c.address), c.port);
    EXPECT_EQ(UrlPath(c.address), c.path);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, UrlTest, testing::Values(
    UrlCase{"Book.Site.EXAMPLE", "book.site.example", "book.site.example", 80, "/"},
    UrlCase{"Book.Site.EXAMPLE/list/1.html", "book.site.example", "book.site.example", 80, "/list/1.html"},
    UrlCase{"HTTPS://WWW.Example.COM:8443/A/b.html?x=1#f", "www.example.com", "www.example.com:8443", 8443,
            "/A/b.html?x=1#f"},
    UrlCase{"https://secure.example/", "secure.example", "secure.example", 443, "/"},
    UrlCase{"http://plain.example:80", "plain.example", "plain.example:80", 80, "/"},
    UrlCase{"http://book.site.example:8080/", "book.site.example", "book.site.example:8080", 8080, "/"},
    UrlCase{"http://odd.example:abc/x", "odd.example", "odd.example:abc", 0, "/x"},
    UrlCase{"", "", "", 80, "/"}
));
// clang-format on

struct ParseCase {
    std::string address;
    std::string host;
    int port;
    std::string path;
    std::optional<std::string> query;
    std::optional<std::string> fragment;
    std::string text;  // written out again
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.address);
}

class ParseHttpAddressTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseHttpAddressTest, TakesAddressApart)
{
    const ParseCase& c = GetParam();
    const std::optional<HttpAddress> address = parseHttpAddress(c.address);
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(address->host, c.host);
    EXPECT_EQ(address->port, c.port);
    EXPECT_EQ(address->path, c.path);
    EXPECT_EQ(address->query, c.query);
    EXPECT_EQ(address->fragment, c.fragment);
    EXPECT_EQ(address->text(), c.text);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, ParseHttpAddressTest, testing::Values(
    ParseCase{"HTTP://Book.Example", "book.example", 80, "/", std::nullopt, std::nullopt, "http://book.example/"},
    ParseCase{"https://book.example:8443/a/./b?x=1&y=%20#f", "book.example", 8443, "/a/./b", "x=1&y=%20", "f",
              "https://book.example:8443/a/./b?x=1&y=%20#f"},
    ParseCase{"https://book.example:/x", "book.example", 443, "/x", std::nullopt, std::nullopt,
              "https://book.example/x"},
    ParseCase{"http://book.example?q", "book.example", 80, "/", "q", std::nullopt, "http://book.example/?q"},
    ParseCase{"http://book.example/#", "book.example", 80, "/", std::nullopt, "", "http://book.example/#"},
    ParseCase{"http://[::1]:8080/\xD5\xC2 1", "[::1]", 8080, "/\xD5\xC2 1", std::nullopt, std::nullopt,
              "http://[::1]:8080/\xD5\xC2 1"},
    ParseCase{"http://a_b.example:80/", "a_b.example", 80, "/", std::nullopt, std::nullopt,
              "http://a_b.example:80/"}
));
// clang-format on

class RefusedHttpAddressTest : public testing::TestWithParam<std::string> {};

TEST_P(RefusedHttpAddressTest, IsNoHttpAddress)
{
    EXPECT_EQ(parseHttpAddress(GetParam()), std::nullopt);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, RefusedHttpAddressTest, testing::Values(
    "", "book.example/x", "//book.example/x", "ftp://book.example/", "file:///etc/passwd", "javascript:alert(1)",
    "http:book.example", "http:/book.example", " http://book.example/", "http://", "http:///x",
    "http://user@book.example/", "http://good.example@evil.example/", "http://book.example:0/",
    "http://book.example:65536/", "http://book.example:8o/", "http://book example/", "http://book.example\r\n/",
    "http://%62ook.example/", "http://\xD5\xC2.example/", "http://[::1/", "http://[::1]x/", "http://[zz]/"
));
// clang-format on

struct ResolveCase {
    std::string base;
    std::string link;
    std::string resolved;  // empty: no address
};

void PrintTo(const ResolveCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.link) << " on " << testing::PrintToString(c.base);
}

class ResolveAddressTest : public testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveAddressTest, ResolvesAsABrowser)
{
    EXPECT_EQ(resolveAddress(GetParam().base, GetParam().link), GetParam().resolved);
}

const std::string kList = "http://book.example/list/12/index.html?p=1#top";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, ResolveAddressTest, testing::Values(
    ResolveCase{kList, "https://Other.Example:8443/a/../b", "https://other.example:8443/b"},
    ResolveCase{kList, "//cdn.example/x.html", "http://cdn.example/x.html"},
    ResolveCase{kList, "/book/1.html", "http://book.example/book/1.html"},
    ResolveCase{kList, "1.html", "http://book.example/list/12/1.html"},
    ResolveCase{kList, "./1.html?x=2#y", "http://book.example/list/12/1.html?x=2#y"},
    ResolveCase{kList, "../13/1.html", "http://book.example/list/13/1.html"},
    ResolveCase{kList, "../../../../x", "http://book.example/x"},
    ResolveCase{kList, "sub/", "http://book.example/list/12/sub/"},
    ResolveCase{kList, "./", "http://book.example/list/12/"},
    ResolveCase{kList, "..", "http://book.example/list/"},
    ResolveCase{kList, "?p=2", "http://book.example/list/12/index.html?p=2"},
    ResolveCase{kList, "#part", "http://book.example/list/12/index.html?p=1#part"},
    ResolveCase{kList, "", "http://book.example/list/12/index.html?p=1"},
    // A list address without its final slash resolves against its parent; the
    // address it was redirected to, with the slash, against itself.
    ResolveCase{"http://book.example/book/12", "1.html", "http://book.example/book/1.html"},
    ResolveCase{"http://book.example/book/12/", "1.html", "http://book.example/book/12/1.html"},
    ResolveCase{"https://book.example", "1.html", "https://book.example/1.html"},
    // GBK bytes and percent escapes are kept; a GBK second byte 5C is no backslash.
    ResolveCase{kList, "\xB5\xDA%D5%C2 1.html", "http://book.example/list/12/\xB5\xDA%D5%C2 1.html"},
    ResolveCase{kList, "\x95\x5C" "1.html", "http://book.example/list/12/\x95\x5C" "1.html"},
    ResolveCase{kList, "\\\\cdn.example\\a\\b?c\\d", "http://cdn.example/a/b?c\\d"},
    ResolveCase{kList, " \t1.html\r\n ", "http://book.example/list/12/1.html"},
    ResolveCase{kList, "1\n.ht\tml", "http://book.example/list/12/1.html"},
    ResolveCase{kList, "http:2.html", "http://book.example/list/12/2.html"},
    // No host that neither the page nor the link names.
    ResolveCase{kList, "www.other.example/1.html", "http://book.example/list/12/www.other.example/1.html"},
    ResolveCase{kList, "https:2.html", ""},
    ResolveCase{kList, "javascript:void(0)", ""},
    ResolveCase{kList, "mailto:author@book.example", ""},
    ResolveCase{kList, "ftp://book.example/1.txt", ""},
    ResolveCase{kList, "//user@evil.example/", ""},
    ResolveCase{kList, "http://", ""},
    ResolveCase{"ftp://book.example/list/", "1.html", ""},
    ResolveCase{"book.example/list/", "1.html", ""}
));
// clang-format on

struct TypedCase {
    std::string typed;
    std::string address;
    bool fetchable;
};

void PrintTo(const TypedCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.typed);
}

class AddressFromTypingTest : public testing::TestWithParam<TypedCase> {};

TEST_P(AddressFromTypingTest, ReadsAsAnAddressBar)
{
    const TypedCase& c = GetParam();
    EXPECT_EQ(addressFromTyping(c.typed), c.address);
    EXPECT_EQ(parseHttpAddress(addressFromTyping(c.typed)).has_value(), c.fetchable);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, AddressFromTypingTest, testing::Values(
    TypedCase{" \tBook.Example/list/12/\r\n", "http://Book.Example/list/12/", true},
    TypedCase{"book.example:8080/x", "http://book.example:8080/x", true},
    TypedCase{"//book.example/x", "http://book.example/x", true},
    TypedCase{"HTTPS://book.example/x", "HTTPS://book.example/x", true},
    TypedCase{"javascript:alert(1)", "http://javascript:alert(1)", false},
    TypedCase{"file:///etc/passwd", "file:///etc/passwd", false},
    TypedCase{"   ", "", false}
));
// clang-format on

// RFC 3986 section 5.4: every example with an http result.
TEST(ResolveAddressRfcTest, GivesTheExamplesResults)
{
    const std::string base = "http://a/b/c/d;p?q";
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> examples = {
        {"g", "http://a/b/c/g"}, {"./g", "http://a/b/c/g"}, {"g/", "http://a/b/c/g/"}, {"/g", "http://a/g"},
        {"//g", "http://g/"}, {"?y", "http://a/b/c/d;p?y"}, {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"}, {"g#s", "http://a/b/c/g#s"}, {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"}, {"g;x", "http://a/b/c/g;x"}, {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"}, {".", "http://a/b/c/"}, {"./", "http://a/b/c/"}, {"..", "http://a/b/"},
        {"../", "http://a/b/"}, {"../g", "http://a/b/g"}, {"../..", "http://a/"}, {"../../", "http://a/"},
        {"../../g", "http://a/g"}, {"../../../g", "http://a/g"}, {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"}, {"/../g", "http://a/g"}, {"g.", "http://a/b/c/g."}, {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."}, {"..g", "http://a/b/c/..g"}, {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"}, {"g/./h", "http://a/b/c/g/h"}, {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"}, {"g;x=1/../y", "http://a/b/c/y"}, {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"}, {"g#s/./x", "http://a/b/c/g#s/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"}, {"http:g", "http://a/b/c/g"}, {"g:h", ""},
    };
    // clang-format on
    for (const auto& [link, resolved] : examples) {
        EXPECT_EQ(resolveAddress(base, link), resolved) << link;
    }
}
