#include "ui/PageBrowser.h"

#include "core/ProgramGlobals.h"
#include "ui/QtText.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>
#include <unistd.h>

namespace velmora {

void prepareWebEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
}

PageBrowser::PageBrowser(QWidget* host) : QObject(host), host_(host) {}

QWebEngineView* PageBrowser::view()
{
    if (view_ == nullptr) {
        view_ = new QWebEngineView(host_);
        view_->setObjectName(QStringLiteral("互联网浏览器1"));
        view_->setGeometry(112, 152, 56, 48);
        view_->setEnabled(false);
        view_->hide();
        connect(view_, &QWebEngineView::loadFinished, this, [this] { emit pageLoaded(); });
    }
    return view_;
}

void PageBrowser::navigate(const std::string& gbkAddress)
{
    view()->load(QUrl::fromUserInput(toQString(gbkAddress)));
}

void PageBrowser::stop()
{
    if (view_ != nullptr) {
        view_->stop();
    }
}

std::string CapturePageText(QWebEngineView* view, CapturedDocument& document, int timeoutMs)
{
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
    view->page()->runJavaScript(QStringLiteral("document.documentElement ? document.documentElement.innerText : ''"),
                                [answer](const QVariant& result) {
                                    answer->text = result.toString();
                                    answer->arrived = true;
                                    if (answer->waiting) {
                                        answer->waiting->quit();
                                    }
                                });
    if (!answer->arrived) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    document.text = answer->arrived ? toGbk(answer->text) : std::string();
    return document.text;
}

} // namespace velmora
