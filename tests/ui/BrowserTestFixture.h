#pragma once

// The window on the offscreen platform with the script-built novel listed
// under the page-capture rule, for the browser-mode tests.
#include "ui/WindowTestFixture.h"

#include <QCheckBox>
#include <QListWidget>

// Under the sanitizers: the web engine's own libraries free some objects
// through a base type of another size and keep some allocations until exit.
// Those reports come from inside the engine, so this program skips exactly
// those checks for the engine's libraries; everything else stays checked.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt6WebEngineCore.so\nleak:libfontconfig.so\n";
}

class BrowserDownloadTest : public velmora::test::WindowTest {
protected:
    // Lists the script-built novel under the page-capture rule, selected by
    // hand since a loopback address matches no rule.
    void listScriptNovel(velmora::test::NovelSite& site)
    {
        control<QListWidget>("列表框1")->setCurrentRow(7);
        ASSERT_TRUE(control<QCheckBox>("选择框_页面抓取")->isChecked());
        fetchList(site.scriptListUrl());
        ASSERT_EQ(list()->topLevelItemCount(), site.chapterCount());
    }
};
