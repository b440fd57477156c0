#include "core/EventPump.h"
#include "ui/PageBrowser.h"
#include "ui/WebView.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    velmora::prepareWebEngine();
    velmora::setWebViewModule(QStringLiteral(VELMORA_WEBVIEW_MODULE_FILE));
    QApplication app(argc, argv);
    velmora::setEventPump([] { QCoreApplication::processEvents(); });
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
