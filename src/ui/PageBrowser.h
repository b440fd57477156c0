#pragma once

#include <QObject>

#include <string>

class QWebEngineView;
class QWidget;

namespace velmora {

struct CapturedDocument;

// The embedded browser of the main window, used to read pages whose text is
// built by script. The web view is made on first use, so the web engine and
// its helper processes start only for a user who needs them. It stays hidden
// and disabled: it loads pages, it is never shown.
class PageBrowser : public QObject {
    Q_OBJECT

public:
    explicit PageBrowser(QWidget* host);

    // Whether the web view (and with it the engine) has been made.
    bool started() const { return view_ != nullptr; }
    QWebEngineView* view();

    void navigate(const std::string& gbkAddress);
    // Stops the current navigation; nothing when the engine never started.
    void stop();

signals:
    // The current page finished loading, successfully or not.
    void pageLoaded();

private:
    QWidget* host_;
    QWebEngineView* view_ = nullptr;
};

// What the web engine needs before the application object is made: shared
// OpenGL contexts, and, when running as root (where its sandbox cannot
// start), the sandbox turned off.
void prepareWebEngine();

// The rendered text of the whole page shown in `view` (what the page shows,
// not its source), in GBK. It also becomes the text of `document`. Waits,
// keeping the window's events flowing, up to `timeoutMs` for the page to
// answer; empty when it does not.
std::string CapturePageText(QWebEngineView* view, CapturedDocument& document, int timeoutMs = 5000);

} // namespace velmora
