#include "ui/PageBrowser.h"

#include "core/ProgramGlobals.h"
#include "ui/Prompts.h"
#include "ui/QtText.h"
#include "ui/WebView.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstring>
#include <unistd.h>

namespace velmora {
namespace {

bool effectiveUserIsRoot()
{
    return ::geteuid() == 0;
}

RunningAsRootCheck runningAsRoot = &effectiveUserIsRoot;

}  // namespace

void applySandboxOption(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-sandbox") == 0) {
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        }
    }
}

bool sandboxTurnedOff()
{
    return qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")
           || qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS")
                  .split(QLatin1Char(' '))
                  .contains(QStringLiteral("--no-sandbox"));
}

void setRunningAsRootCheck(RunningAsRootCheck check)
{
    runningAsRoot = check != nullptr ? check : &effectiveUserIsRoot;
}

QUrl webAddress(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    return isWebAddress(url) ? url : QUrl();
}

PageBrowser::PageBrowser(QWidget* host) : QObject(host), host_(host) {}

PageBrowser::~PageBrowser() = default;

void PageBrowser::beginRun(const std::string& gbkListAddress, PageEncoding encoding)
{
    listAddress_ = webAddress(toQString(gbkListAddress));
    encoding_ = encoding;
    toldWhyNot_ = false;
    applyEncoding();
}

void PageBrowser::applyEncoding()
{
    if (view_) {
        const std::string_view name = pageEncodingName(encoding_);
        view_->setDefaultTextEncoding(encoding_ == PageEncoding::automatic
                                          ? QString()
                                          : QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
}

bool PageBrowser::makeView()
{
    if (toldWhyNot_) {
        return false;  // nothing has changed since the user was told
    }
    QString whyNot;
    if (runningAsRoot() && !sandboxTurnedOff()) {
        whyNot = QStringLiteral("以root身份运行时浏览器模式需要关闭沙箱：请设置环境变量 QTWEBENGINE_DISABLE_SANDBOX=1"
                                "（或加上启动参数 --no-sandbox）后重新启动");
    } else {
        view_ = makeWebView(
            host_,
            [self = QPointer<PageBrowser>(this)] {
                if (self) {
                    emit self->pageLoaded();
                }
            },
            whyNot);
        if (view_) {
            applyEncoding();
            return true;
        }
        whyNot = QStringLiteral("浏览器模式无法使用：网页组件加载失败。\r\n") + whyNot;
    }
    toldWhyNot_ = true;
    TimedMessageBox(QStringLiteral("提示"), whyNot, 0, styleError);
    return false;
}

bool PageBrowser::navigate(const std::string& gbkAddress)
{
    const QUrl address = webAddress(toQString(gbkAddress));
    if (address.isEmpty() || (!view_ && !makeView())) {
        return false;
    }
    QList<QUrl> alsoAllowed;
    if (!listAddress_.isEmpty()) {
        alsoAllowed << listAddress_;
    }
    view_->load(address, alsoAllowed);
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
    unrepresentable_ = 0;
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
        document.text = toGbk(answer->text, unrepresentable_);
    }
    return document.text;
}

}  // namespace velmora
