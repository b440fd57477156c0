#include "ui/WebView.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace velmora {

std::unique_ptr<WebView> makeWebView(QWidget* host, std::function<void()> onLoaded)
{
    // Beside the program first; a build tree also knows where it made the module.
    static QLibrary module;
    if (!module.isLoaded()) {
        for (const QString& candidate :
             {QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(VELMORA_WEBVIEW_MODULE_NAME)),
              QStringLiteral(VELMORA_WEBVIEW_MODULE_PATH)}) {
            module.setFileName(candidate);
            if (module.load()) {
                break;
            }
        }
    }
    const auto make = reinterpret_cast<MakeWebViewFunction>(module.resolve(kMakeWebViewSymbol));
    return std::unique_ptr<WebView>(make != nullptr ? make(host, std::move(onLoaded)) : nullptr);
}

} // namespace velmora
