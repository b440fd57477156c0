#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QWidget;

namespace velmora {

// A hidden, disabled web view that loads pages and reads back their rendered
// text. It lives in a module of its own, loaded on first use, so the web
// engine's libraries are neither loaded nor started for a user who never
// needs them.
//
// The view is locked down, since the pages it loads are whatever a list page
// points at and the engine lags behind current browsers: a private profile
// that keeps nothing, no access to local files, no windows, no page dialogs,
// no permission granted, and no request to any site but the ones `load`
// names. The only navigation it makes is the one `load` starts (with the
// redirects that stay on its sites); every navigation a page starts itself
// is refused.
class WebView {
public:
    virtual ~WebView() = default;

    // Loads `address`, an absolute http or https address (anything else is
    // ignored). From now on the page may reach only the sites (host and port)
    // of `address` and of `alsoAllowed`.
    virtual void load(const QUrl& address, const QList<QUrl>& alsoAllowed) = 0;
    virtual void stop() = 0;
    // The encoding the engine assumes for pages that declare none (a name
    // the engine knows: "GBK", "UTF-8", "Big5"); empty puts the engine's own
    // default back. A byte-order mark, the HTTP charset and a <meta> charset
    // still come first. Applies from the next load.
    virtual void setDefaultTextEncoding(const QString& name) = 0;
    // Asks for the rendered text of the whole page (what it shows, not its
    // source); `done` receives it later, on the window thread.
    virtual void renderedText(std::function<void(const QString&)> done) = 0;
};

// Whether `url` is one the view may load: valid, absolute, http or https,
// with a host.
inline bool isWebAddress(const QUrl& url)
{
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
           && !url.host().isEmpty();
}

// Loads the web view module and makes a view inside `host`; `onLoaded` runs
// whenever a page finishes loading, successfully or not. Null when the
// module cannot be loaded, with the reason in `whyNot`.
//
// The module is looked for beside the program, then in the installed
// library folder; setWebViewModule names the one file to use instead.
std::unique_ptr<WebView> makeWebView(QWidget* host, std::function<void()> onLoaded, QString& whyNot);

// Makes makeWebView load exactly `path` (for programs that run from a build
// tree, such as the tests); empty restores the normal search.
void setWebViewModule(const QString& path);

// The module's entry point.
using MakeWebViewFunction = WebView* (*)(QWidget* host, std::function<void()> onLoaded);
inline constexpr const char* kMakeWebViewSymbol = "velmoraMakeWebView";

}  // namespace velmora
