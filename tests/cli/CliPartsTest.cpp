// The command line's pieces that need no process: the JSON escaper (checked
// with a real JSON parser), row selections and argument parsing.
#include "cli/Arguments.h"
#include "cli/Json.h"
#include "cli/RowSelection.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace velmora::cli;

TEST(JsonStringTest, EveryTextParsesBackToItselfOrWithReplacementCharacters)
{
    const struct {
        std::string in;
        std::string parsed;  // what a JSON parser must read back
    } cases[] = {
        {"plain", "plain"},
        {"第1章 \"山门\" \\ /", "第1章 \"山门\" \\ /"},
        {"tab\tline\nreturn\r bell\x07 nul" + std::string(1, '\0') + " del\x7F",
         "tab\tline\nreturn\r bell\x07 nul" + std::string(1, '\0') + " del\x7F"},
        {"emoji \xF0\x9F\x93\x96", "emoji \xF0\x9F\x93\x96"},
        {"stray \x80 cut \xE5\xB1", "stray \xEF\xBF\xBD cut \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"overlong \xC0\xAF surrogate \xED\xA0\x80", "overlong \xEF\xBF\xBD\xEF\xBF\xBD surrogate "
                                                     "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"gbk \xB5\xDA", "gbk \xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        const std::string json = jsonString(c.in);
        EXPECT_EQ(json.find_first_of(std::string("\n\r\0", 3)), std::string::npos) << json;
        EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), c.parsed) << json;
    }
    const nlohmann::json object = nlohmann::json::parse(
        JsonObject().add("event", "saved").add("row", 3).add("ok", true).add("seconds", 1.25).text());
    EXPECT_EQ(object, nlohmann::json::parse(R"({"event":"saved","row":3,"ok":true,"seconds":1.25})"));
}

TEST(RowSelectionTest, ParsesListsRangesAndOpenEnds)
{
    const struct {
        const char* text;
        std::vector<int> in;
        std::vector<int> out;
    } accepted[] = {
        {"1-50,60", {1, 25, 50, 60}, {51, 59, 61}},
        {"7", {7}, {6, 8}},
        {"100-", {100, 1000000}, {99}},
        {"3-3,1", {1, 3}, {2, 4}},
    };
    for (const auto& c : accepted) {
        const auto selection = RowSelection::parse(c.text);
        ASSERT_TRUE(selection) << c.text;
        for (int n : c.in) {
            EXPECT_TRUE(selection->contains(n)) << c.text << " " << n;
        }
        for (int n : c.out) {
            EXPECT_FALSE(selection->contains(n)) << c.text << " " << n;
        }
    }
    for (const char* text : {"", "0", "5-2", "1,,2", "a", "1-2-3", "-4", "1, 2", "99999999999"}) {
        EXPECT_FALSE(RowSelection::parse(text)) << text;
    }
    EXPECT_EQ(RowSelection::format({1, 2, 3, 5, 7, 8}), "1-3,5,7-8");
}

TEST(ArgumentsTest, OptionsInAnyOrderAndUsageErrors)
{
    const auto parse = [](std::vector<std::string> words) { return parseArguments(words); };
    const ParsedArguments get =
        parse({"--no-merge", "get", "-r", "2-3", "http://a/", "--dir=out", "--json", "--", "--odd-address"});
    ASSERT_TRUE(get.arguments) << get.error;
    EXPECT_EQ(get.arguments->command, Command::get);
    EXPECT_EQ(get.arguments->addresses, (std::vector<std::string>{"http://a/", "--odd-address"}));
    EXPECT_EQ(*get.arguments->dir, "out");
    EXPECT_FALSE(get.arguments->merge);
    EXPECT_TRUE(get.arguments->json);
    EXPECT_TRUE(get.arguments->rows.contains(3) && !get.arguments->rows.contains(4));
    EXPECT_EQ(parse({"get", "-h"}).arguments->command, Command::help);

    for (const std::vector<std::string>& words :
         std::vector<std::vector<std::string>>{{},
                                               {"fetch", "http://a/"},
                                               {"get"},
                                               {"get", "--dir"},
                                               {"get", "--bogus", "http://a/"},
                                               {"list", "http://a/", "http://b/"},
                                               {"rules", "http://a/"},
                                               {"get", "--rows", "x", "http://a/"},
                                               {"get", "--json=yes", "http://a/"},
                                               {"list", "--json", "http://a/"}}) {
        EXPECT_FALSE(parse(words).arguments) << testing::PrintToString(words);
        EXPECT_NE(parse(words).error.find("--help"), std::string::npos);
    }
}

TEST(ArgumentsTest, AddressFileSkipsCommentsAndBlankLines)
{
    EXPECT_EQ(addressesFromText("# novels\r\nhttp://a/1/\r\n\n   \n  http://b/2/  \n\t# later\nhttp://c/3/"),
              (std::vector<std::string>{"http://a/1/", "http://b/2/", "http://c/3/"}));
}
