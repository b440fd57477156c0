#include "core/Settings.h"

#include "core/FileBytes.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

using namespace velmora;
namespace fs = std::filesystem;

// A file edited by hand, cut short or written by a later version still gives
// every setting it can.
TEST(SettingsTest, ReadingForgivesDamage)
{
    TempFolder folder("velmora-settings");
    const fs::path file = folder / "velmora.ini";
    ASSERT_TRUE(replaceFileContent(file, "# comment\r\n"
                                         "  NewChaptersOnly = yes \r\n"
                                         "garbage line\n"
                                         "=no key\n"
                                         "Later=x=y\n"
                                         "NewChaptersOnly=0\n"
                                         "\x01\xFF\n"
                                         "AlsoEpub=maybe\n"
                                         "Cut=sho"));
    const SettingsFile settings = SettingsFile::load(file);
    EXPECT_EQ(settings.value("NewChaptersOnly"), "yes");
    EXPECT_EQ(settings.value("Later"), "x=y");
    EXPECT_EQ(settings.value("Cut"), "sho");
    EXPECT_EQ(settings.value("garbage line"), std::nullopt);
    EXPECT_EQ(settings.value(""), std::nullopt);
    EXPECT_EQ(settings.text(), "NewChaptersOnly=yes\nLater=x=y\nAlsoEpub=maybe\nCut=sho\n");

    const DownloadOptions options = readDownloadOptions(file);
    EXPECT_TRUE(options.newChaptersOnly);
    EXPECT_FALSE(options.alsoEpub);  // "maybe" is no answer: the default holds

    EXPECT_FALSE(readDownloadOptions(folder / "missing.ini").newChaptersOnly);
    EXPECT_FALSE(readDownloadOptions(folder.path()).alsoEpub);  // a folder, not a file
}

TEST(SettingsTest, FlagsReadCommonSpellings)
{
    SettingsFile settings;
    const std::pair<std::string, bool> trueish[] = {{"1", true},  {"TRUE", true},   {"Yes", true}, {"on", true},
                                                    {"0", false}, {"false", false}, {"NO", false}, {"Off", false}};
    for (const auto& [text, on] : trueish) {
        ASSERT_TRUE(settings.set("K", text));
        EXPECT_EQ(settings.flag("K", !on), on) << text;
    }
    ASSERT_TRUE(settings.set("K", "2"));
    EXPECT_TRUE(settings.flag("K", true));
    EXPECT_FALSE(settings.flag("K", false));
    EXPECT_TRUE(settings.flag("absent", true));

    EXPECT_FALSE(settings.set("a=b", "1"));
    EXPECT_FALSE(settings.set("line\nbreak", "1"));
    EXPECT_FALSE(settings.set("#comment", "1"));
    EXPECT_FALSE(settings.set("K", "two\nlines"));
    EXPECT_FALSE(settings.set(" ", "1"));
    EXPECT_EQ(settings.value("K"), "2");
}

// Saving the window's options keeps every other setting where it was.
TEST(SettingsTest, SavingOptionsKeepsOtherSettings)
{
    TempFolder folder("velmora-settings");
    const fs::path file = folder / "velmora.ini";
    ASSERT_TRUE(replaceFileContent(file, "Before=1\nAlsoEpub=1\nAfter=2\n"));
    ASSERT_TRUE(writeDownloadOptions({true, false}, file));
    EXPECT_EQ(readFileBytes(file), "Before=1\nAlsoEpub=0\nAfter=2\nNewChaptersOnly=1\n");
    const DownloadOptions options = readDownloadOptions(file);
    EXPECT_TRUE(options.newChaptersOnly);
    EXPECT_FALSE(options.alsoEpub);

    ASSERT_TRUE(writeDownloadOptions({false, true}, folder / "new.ini"));
    EXPECT_EQ(readFileBytes(folder / "new.ini"), "NewChaptersOnly=0\nAlsoEpub=1\n");
    EXPECT_FALSE(writeDownloadOptions({}, folder / "missing" / "x.ini"));
}
