#pragma once

#include "web/PageEncoding.h"

#include <QObject>
#include <QUrl>

#include <cstddef>
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

    // Begins a browser-mode run over the chapters of the list page at
    // `gbkListAddress`, whose site the pages may reach besides their own.
    // The engine reads pages that declare no encoding (no byte-order mark,
    // HTTP charset or <meta> charset: those still win) in `encoding`;
    // `automatic` leaves that to the engine's own default. When the browser
    // cannot be used, the user is told why once per run.
    void beginRun(const std::string& gbkListAddress, PageEncoding encoding = PageEncoding::automatic);

    // Loads `gbkAddress`, making the web view on first use. False, without
    // loading anything, when the address is not a well-formed absolute http
    // or https address (webAddress), or when the browser cannot be used:
    // as root with the engine's sandbox on (it cannot start there), or when
    // the web view module cannot be loaded.
    bool navigate(const std::string& gbkAddress);
    // Stops the current navigation; nothing when the engine never started.
    void stop();

    // The rendered text of the whole page shown now (what the page shows,
    // not its source), in GBK; it also becomes the text of `document`.
    // Waits, keeping the window's events flowing, up to `timeoutMs` for the
    // page to answer; empty when it does not.
    std::string CapturePageText(CapturedDocument& document, int timeoutMs = 5000);
    // How many characters of the last capture GBK cannot hold, each now "?"
    // in its text ("?" the page itself shows are not counted).
    std::size_t unrepresentable() const { return unrepresentable_; }

signals:
    // The current page finished loading, successfully or not.
    void pageLoaded();

private:
    // Makes the web view, or tells the user (once per run) why it cannot.
    bool makeView();
    // Gives the view the run's encoding for pages that declare none.
    void applyEncoding();

    QWidget* host_;
    std::unique_ptr<WebView> view_;
    QUrl listAddress_;
    PageEncoding encoding_ = PageEncoding::automatic;
    std::size_t unrepresentable_ = 0;
    bool toldWhyNot_ = false;
};

// `text` as an address the browser may load: parsed strictly (nothing is
// guessed or mended), absolute, http or https, with a host. Empty (not
// valid) otherwise.
QUrl webAddress(const QString& text);

// Turns the engine's sandbox off (QTWEBENGINE_DISABLE_SANDBOX=1) when the
// command line holds --no-sandbox; before the engine starts.
void applySandboxOption(int argc, char** argv);

// Whether the engine's sandbox has been turned off on purpose: by the
// QTWEBENGINE_DISABLE_SANDBOX environment variable (set to anything, as the
// engine reads it), by --no-sandbox in QTWEBENGINE_CHROMIUM_FLAGS, or by
// the program's --no-sandbox option.
bool sandboxTurnedOff();

// Whether the process runs as root (effective user 0), where the sandbox
// cannot start. Replaceable, so the refusal can be tried as any user;
// nullptr puts the real check back.
using RunningAsRootCheck = bool (*)();
void setRunningAsRootCheck(RunningAsRootCheck check);

}  // namespace velmora
