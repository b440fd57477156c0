// The web view module: Qt WebEngine behind the WebView interface.
#include "ui/WebView.h"

#include <QPointer>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace velmora {
namespace {

class WebEngineView : public WebView {
public:
    WebEngineView(QWidget* host, std::function<void()> onLoaded) : view_(new QWebEngineView(host))
    {
        view_->setObjectName(QStringLiteral("互联网浏览器1"));
        view_->setGeometry(112, 152, 56, 48);
        view_->setEnabled(false);
        view_->hide();
        QObject::connect(view_, &QWebEngineView::loadFinished, view_, [onLoaded](bool) { onLoaded(); });
    }

    ~WebEngineView() override { delete view_.data(); }

    void load(const QString& url) override { view_->load(QUrl::fromUserInput(url)); }
    void stop() override { view_->stop(); }

    void renderedText(std::function<void(const QString&)> done) override
    {
        view_->page()->runJavaScript(
            QStringLiteral("document.documentElement ? document.documentElement.innerText : ''"),
            [done = std::move(done)](const QVariant& result) { done(result.toString()); });
    }

private:
    QPointer<QWebEngineView> view_;  // also owned by its host, which may go first
};

} // namespace
} // namespace velmora

extern "C" Q_DECL_EXPORT velmora::WebView* velmoraMakeWebView(QWidget* host, std::function<void()> onLoaded)
{
    return new velmora::WebEngineView(host, std::move(onLoaded));
}
