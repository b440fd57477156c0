#pragma once

#include <QObject>

#include <memory>
#include <string>

class QWidget;

namespace velmora {

struct CapturedDocument;
class WebView;

// The embedded browser of the main window, used to read pages whose text is
// built by script. The web view is made on first use, so the web engine and
// its helper processes start only for a user who needs them. It stays hidden
// and disabled: it loads pages, it is never shown.
class PageBrowser : public QObject {
    Q_OBJECT

public:
    explicit PageBrowser(QWidget* host);
    ~PageBrowser() override;

    // Whether the web view (and with it the engine) has been made.
    bool started() const { return view_ != nullptr; }

    // Loads `gbkAddress`; false when the web view cannot be made.
    bool navigate(const std::string& gbkAddress);
    // Stops the current navigation; nothing when the engine never started.
    void stop();

    // The rendered text of the whole page shown now (what the page shows,
    // not its source), in GBK; it also becomes the text of `document`.
    // Waits, keeping the window's events flowing, up to `timeoutMs` for the
    // page to answer; empty when it does not.
    std::string CapturePageText(CapturedDocument& document, int timeoutMs = 5000);

signals:
    // The current page finished loading, successfully or not.
    void pageLoaded();

private:
    QWidget* host_;
    std::unique_ptr<WebView> view_;
};

// What the web engine needs before the application object is made: shared
// OpenGL contexts, and, when running as root (where its sandbox cannot
// start), the sandbox turned off.
void prepareWebEngine();

} // namespace velmora
