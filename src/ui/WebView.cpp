#include "ui/WebView.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QStringList>

namespace velmora {
namespace {

QString& chosenModule()
{
    static QString path;
    return path;
}

QStringList moduleCandidates()
{
    if (!chosenModule().isEmpty()) {
        return {chosenModule()};
    }
    const QString name = QStringLiteral(VELMORA_WEBVIEW_MODULE_NAME);
    return {QDir(QCoreApplication::applicationDirPath()).filePath(name),
            QDir(QStringLiteral(VELMORA_WEBVIEW_INSTALL_DIR)).filePath(name)};
}

}  // namespace

void setWebViewModule(const QString& path)
{
    chosenModule() = path;
}

std::unique_ptr<WebView> makeWebView(QWidget* host, std::function<void()> onLoaded, QString& whyNot)
{
    // A fresh QLibrary per try: loading a library already loaded only counts
    // it again, and a module that failed once is tried again next time.
    QStringList reasons;
    for (const QString& candidate : moduleCandidates()) {
        QLibrary module(candidate);
        if (!module.load()) {
            reasons << module.errorString();
            continue;
        }
        const auto make = reinterpret_cast<MakeWebViewFunction>(module.resolve(kMakeWebViewSymbol));
        if (make == nullptr) {
            reasons << module.errorString();
            continue;
        }
        whyNot.clear();
        return std::unique_ptr<WebView>(make(host, std::move(onLoaded)));
    }
    whyNot = reasons.join(QStringLiteral("\r\n"));
    return nullptr;
}

}  // namespace velmora
