#pragma once

#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace velmora {

// A hidden, disabled web view that loads pages and reads back their rendered
// text. It lives in a module of its own, loaded on first use, so the web
// engine's libraries are neither loaded nor started for a user who never
// needs them.
class WebView {
public:
    virtual ~WebView() = default;

    virtual void load(const QString& url) = 0;
    virtual void stop() = 0;
    // Asks for the rendered text of the whole page (what it shows, not its
    // source); `done` receives it later, on the window thread.
    virtual void renderedText(std::function<void(const QString&)> done) = 0;
};

// Loads the web view module and makes a view inside `host`; `onLoaded` runs
// whenever a page finishes loading, successfully or not. Null when the
// module cannot be loaded.
std::unique_ptr<WebView> makeWebView(QWidget* host, std::function<void()> onLoaded);

// The module's entry point.
using MakeWebViewFunction = WebView* (*)(QWidget* host, std::function<void()> onLoaded);
inline constexpr const char* kMakeWebViewSymbol = "velmoraMakeWebView";

} // namespace velmora
