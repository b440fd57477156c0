#include "ui/PageBrowser.h"

#include "core/ProgramGlobals.h"
#include "ui/QtText.h"
#include "ui/WebView.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

namespace velmora {

void prepareWebEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The engine prints its start-up settings on every run, and pages their
    // script console: noise in the terminal a user started Velmora from.
    // QT_LOGGING_RULES still turns them back on.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\njs=false"));
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
}

PageBrowser::PageBrowser(QWidget* host) : QObject(host), host_(host) {}

PageBrowser::~PageBrowser() = default;

bool PageBrowser::navigate(const std::string& gbkAddress)
{
    if (!view_) {
        view_ = makeWebView(host_, [self = QPointer<PageBrowser>(this)] {
            if (self) {
                emit self->pageLoaded();
            }
        });
    }
    if (!view_) {
        return false;
    }
    view_->load(toQString(gbkAddress));
    return true;
}

void PageBrowser::stop()
{
    if (view_) {
        view_->stop();
    }
}

std::string PageBrowser::CapturePageText(CapturedDocument& document, int timeoutMs)
{
    document.text.clear();
    if (!view_) {
        return {};
    }
    // The answer comes back through the event loop; a shared slot lets a late
    // answer land harmlessly after this routine has given up.
    struct Answer {
        bool arrived = false;
        QString text;
        QPointer<QEventLoop> waiting;
    };
    auto answer = std::make_shared<Answer>();
    QEventLoop loop;
    answer->waiting = &loop;
    view_->renderedText([answer](const QString& text) {
        answer->text = text;
        answer->arrived = true;
        if (answer->waiting) {
            answer->waiting->quit();
        }
    });
    if (!answer->arrived) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (answer->arrived) {
        document.text = toGbk(answer->text);
    }
    return document.text;
}

} // namespace velmora
