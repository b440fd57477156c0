// The web view module: Qt WebEngine behind the WebView interface, locked
// down as WebView.h describes.
#include "ui/WebView.h"

#include <QAuthenticator>
#include <QPointer>
#include <QSet>
#include <QVariant>
#include <QWebEngineClientCertificateSelection>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineQuotaRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

namespace velmora {
namespace {

// The sites the page of the moment may reach: host and port (the scheme's
// own port when none is written), so another port on the same host is
// another site.
class Sites {
public:
    void reset(const QUrl& address, const QList<QUrl>& alsoAllowed)
    {
        keys_.clear();
        add(address);
        for (const QUrl& url : alsoAllowed) {
            add(url);
        }
    }

    void add(const QUrl& url)
    {
        if (isWebAddress(url)) {
            keys_.insert(key(url));
        }
    }

    bool allows(const QUrl& url) const { return isWebAddress(url) && keys_.contains(key(url)); }

    // Whether `url` is the https address of an allowed http site (same host,
    // both on their scheme's own port): where a site sends its visitors.
    bool allowsUpgrade(const QUrl& url) const
    {
        return isWebAddress(url) && url.scheme() == QLatin1String("https") && url.port(443) == 443
               && keys_.contains(url.host() + QLatin1String(" 80"));
    }

private:
    static QString key(const QUrl& url)
    {
        const int port = url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
        return url.host() + QLatin1Char(' ') + QString::number(port);  // no host holds a space
    }

    QSet<QString> keys_;
};

// Every request of the profile (pages, frames, images, scripts, fetches)
// goes to an allowed site or nowhere; this also keeps out ads and trackers.
class SiteGuard : public QWebEngineUrlRequestInterceptor {
public:
    explicit SiteGuard(const Sites& sites) : sites_(sites) {}

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (!sites_.allows(info.requestUrl())) {
            info.block(true);
        }
    }

private:
    const Sites& sites_;
};

// A page that navigates only where it is told, opens nothing and asks the
// user nothing: page dialogs are answered at once, without a word.
class GuardedPage : public QWebEnginePage {
public:
    GuardedPage(QWebEngineProfile* profile, Sites& sites) : QWebEnginePage(profile), sites_(sites)
    {
        connect(this, &QWebEnginePage::featurePermissionRequested, this, [this](const QUrl& origin, Feature feature) {
            setFeaturePermission(origin, feature, PermissionDeniedByUser);
        });
        connect(this, &QWebEnginePage::fullScreenRequested, this,
                [](QWebEngineFullScreenRequest request) { request.reject(); });
        connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
                [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
        connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
                [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        connect(this, &QWebEnginePage::quotaRequested, this, [](QWebEngineQuotaRequest request) { request.reject(); });
        QT_WARNING_POP
        connect(this, &QWebEnginePage::selectClientCertificate, this,
                [](QWebEngineClientCertificateSelection selection) { selection.selectNone(); });
        // An empty authenticator cancels the request instead of asking.
        connect(this, &QWebEnginePage::authenticationRequired, this,
                [](const QUrl&, QAuthenticator* authenticator) { *authenticator = QAuthenticator(); });
        connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
                [](const QUrl&, QAuthenticator* authenticator, const QString&) { *authenticator = QAuthenticator(); });
    }

    // The next main-frame load the view starts is ours; the page never
    // starts one of that kind.
    void expectLoad() { loadExpected_ = true; }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (!isMainFrame) {
            return sites_.allows(url);  // frames of the page, on its own sites only
        }
        const bool ours = type == NavigationTypeTyped && loadExpected_;
        if (ours) {
            loadExpected_ = false;
        }
        // A redirect carries a navigation on: the server's answer, or a page
        // sending itself on while it loads.
        const bool onward = type == NavigationTypeRedirect && (sites_.allows(url) || sites_.allowsUpgrade(url));
        if ((ours && sites_.allows(url)) || onward) {
            sites_.add(url);
            return true;
        }
        return false;  // links, forms, script, reloads, history, other sites: the page's own doing
    }

    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override { return {}; }
    void javaScriptAlert(const QUrl&, const QString&) override {}
    // Yes, so that a page asking before it is left never holds the next load.
    bool javaScriptConfirm(const QUrl&, const QString&) override { return true; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}

private:
    Sites& sites_;
    bool loadExpected_ = false;
};

void lockDown(QWebEngineSettings* settings)
{
    using S = QWebEngineSettings;
    // Script stays on: it is what builds the pages read here.
    for (const S::WebAttribute off : {S::JavascriptCanOpenWindows,
                                      S::JavascriptCanAccessClipboard,
                                      S::JavascriptCanPaste,
                                      S::LocalContentCanAccessRemoteUrls,
                                      S::LocalContentCanAccessFileUrls,
                                      S::PluginsEnabled,
                                      S::PdfViewerEnabled,
                                      S::FullScreenSupportEnabled,
                                      S::ScreenCaptureEnabled,
                                      S::WebGLEnabled,
                                      S::Accelerated2dCanvasEnabled,
                                      S::AllowRunningInsecureContent,
                                      S::AllowGeolocationOnInsecureOrigins,
                                      S::AllowWindowActivationFromJavaScript,
                                      S::HyperlinkAuditingEnabled,
                                      S::DnsPrefetchEnabled,
                                      S::AutoLoadIconsForPage,
                                      S::TouchIconsEnabled,
                                      S::NavigateOnDropEnabled,
                                      S::FocusOnNavigationEnabled,
                                      S::ErrorPageEnabled}) {
        settings->setAttribute(off, false);
    }
    settings->setUnknownUrlSchemePolicy(S::DisallowUnknownUrlSchemes);
}

// The view with its own private profile (kept in memory, gone with the
// view), guard and page. The page goes before its profile, as the engine
// requires, whoever deletes the view.
class GuardedView : public QWebEngineView {
public:
    explicit GuardedView(QWidget* host) : QWebEngineView(host), profile_(new QWebEngineProfile()), guard_(sites_)
    {
        profile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        profile_->setUrlRequestInterceptor(&guard_);
        lockDown(profile_->settings());
        page_ = new GuardedPage(profile_, sites_);
        setPage(page_);
        setContextMenuPolicy(Qt::NoContextMenu);
        setAcceptDrops(false);
    }

    ~GuardedView() override
    {
        delete page_;
        delete profile_;
    }

    void load(const QUrl& address, const QList<QUrl>& alsoAllowed)
    {
        if (!isWebAddress(address)) {
            return;
        }
        sites_.reset(address, alsoAllowed);
        page_->expectLoad();
        requested_ = address;
        shownBefore_ = url();
        QWebEngineView::load(address);
    }

    // Whether the page now shown is the one the last load brought: the
    // address asked for, or (after a redirect) any page other than the one
    // shown when the load began. A load the page itself started and the
    // guard refused (a form sent, a link followed) also reports its end,
    // possibly after the next load began; the page still shown is then the
    // old one, and that report must not pass for the new page's.
    bool showsRequested() const
    {
        const QUrl::FormattingOptions same = QUrl::StripTrailingSlash | QUrl::NormalizePathSegments;
        const QUrl shown = url().adjusted(same);
        return shown == requested_.adjusted(same) || shown != shownBefore_.adjusted(same);
    }

private:
    Sites sites_;
    QUrl requested_;
    QUrl shownBefore_;  // the page shown when the last load began
    QWebEngineProfile* profile_;
    SiteGuard guard_;
    GuardedPage* page_ = nullptr;
};

class WebEngineView : public WebView {
public:
    WebEngineView(QWidget* host, std::function<void()> onLoaded) : view_(new GuardedView(host))
    {
        view_->setObjectName(QStringLiteral("互联网浏览器1"));
        view_->setGeometry(112, 152, 56, 48);
        view_->setEnabled(false);
        view_->hide();
        GuardedView* view = view_;
        QObject::connect(view_, &QWebEngineView::loadFinished, view_, [view, onLoaded](bool) {
            if (view->showsRequested()) {
                onLoaded();
            }
        });
        engineDefaultEncoding_ = view_->page()->settings()->defaultTextEncoding();
    }

    ~WebEngineView() override { delete view_.data(); }

    void load(const QUrl& address, const QList<QUrl>& alsoAllowed) override { view_->load(address, alsoAllowed); }
    void stop() override { view_->stop(); }

    void setDefaultTextEncoding(const QString& name) override
    {
        QWebEngineSettings* settings = view_->page()->settings();
        settings->setDefaultTextEncoding(name.isEmpty() ? engineDefaultEncoding_ : name);
    }

    void renderedText(std::function<void(const QString&)> done) override
    {
        // Read from a world of its own, so the page's script cannot change
        // what reading the text means.
        view_->page()->runJavaScript(
            // A document is read once: when a load's end was reported for the
            // page still shown (a refused navigation of that page), its text
            // was already taken, and reading it again would pass it off as the
            // next page's; it reads as empty, and the attempt fails.
            QStringLiteral("(function () { if (window.__velmoraRead) return ''; window.__velmoraRead = true;"
                           " return document.documentElement ? document.documentElement.innerText : ''; })()"),
            QWebEngineScript::ApplicationWorld,
            [done = std::move(done)](const QVariant& result) { done(result.toString()); });
    }

private:
    QPointer<GuardedView> view_;  // also owned by its host, which may go first
    QString engineDefaultEncoding_;
};

}  // namespace
}  // namespace velmora

extern "C" Q_DECL_EXPORT velmora::WebView* velmoraMakeWebView(QWidget* host, std::function<void()> onLoaded)
{
    return new velmora::WebEngineView(host, std::move(onLoaded));
}
