#include "ui/ProgramStart.h"
#include "ui/WebView.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    velmora::setWebViewModule(QStringLiteral(VELMORA_WEBVIEW_MODULE_FILE));
    velmora::ProgramStart start(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
