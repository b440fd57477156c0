// Browser mode and the end of the program: the exit button ends the
// application's event loop, after which the web engine shuts down for the
// rest of the process, so these cases run in a program of their own.
#include "ui/BrowserTestFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

using namespace velmora;
using namespace velmora::test;

// Closing the window, or the exit button, ends a browser pass that is paused,
// and with it the program, instead of leaving it waiting unseen.
TEST_F(BrowserDownloadTest, CloseAndExitEndAPausedPass)
{
    for (const bool exitButton : {false, true}) {
        SCOPED_TRACE(exitButton ? "exit button" : "close");
        NovelSiteOptions options;
        options.chapters = 6;
        NovelSite site(options);
        listScriptNovel(site);
        bool downloadReturned = false;
        bool stuck = false;
        QElapsedTimer paused;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (!paused.isValid() && site.requestsFor(1) == 1) {
                button("按钮_暂停继续")->click();
                paused.start();
            } else if (paused.isValid() && paused.elapsed() > 300 && window().isVisible()) {
                exitButton ? button("按钮_退出")->click() : (void)window().close();
            } else if (paused.isValid() && paused.elapsed() > 30000 && !stuck) {
                stuck = true;  // free the pass so the test can report it
                button("按钮_暂停继续")->click();
            }
        });
        driver.start(10);
        int exitCode = -1;
        if (exitButton) {
            // As in the program: the download runs inside the application's loop,
            // which the exit button ends.
            QTimer::singleShot(0, [&] {
                button("按钮_下载章节内容")->click();
                downloadReturned = true;
            });
            exitCode = QCoreApplication::exec();
        } else {
            button("按钮_下载章节内容")->click();
            downloadReturned = true;
        }
        driver.stop();
        EXPECT_TRUE(downloadReturned);
        EXPECT_FALSE(stuck);
        EXPECT_FALSE(window().isVisible());
        EXPECT_LT(site.requestsFor(3), 1);
        if (exitButton) {
            EXPECT_EQ(exitCode, 0);
        }
        window_.reset();
    }
}

// Stop does not wait for a page that never finishes loading: the row under
// way goes back to waiting and the run ends.
