#include "web/Url.h"

#include <gtest/gtest.h>

using namespace velmora;

struct UrlCase {
    std::string address;
    std::string host;
    std::string hostWithPort;
    int port;
    std::string path;
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << testing::PrintToString(c.address); }


class UrlTest : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlTest, SplitsAddress)
{
    const UrlCase& c = GetParam();
    EXPECT_EQ(UrlHost(c.address), c.host);
    EXPECT_EQ(UrlHost(c.address, true), c.hostWithPort);
    EXPECT_EQ(UrlPort(c.address), c.port);
    EXPECT_EQ(UrlPath(c.address), c.path);
}

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
