#pragma once

// The main window shown on the offscreen platform, in a fresh working folder
// removed afterwards, with every message box answered at once: what the
// window benchmarks drive.
#include "core/ProgramGlobals.h"
#include "ui/MainWindow.h"
#include "ui/ProgramStart.h"
#include "ui/Prompts.h"
#include "ui/WebView.h"

#include <QCoreApplication>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace velmora::bench {

class BenchWindow {
public:
    BenchWindow(int& argc, char** argv)
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // The engine's sandbox cannot start as root; the benchmarks load only
        // their own loopback pages, so they turn it off as a user would.
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
        setWebViewModule(QStringLiteral(VELMORA_WEBVIEW_MODULE_FILE));
        folder_ = std::filesystem::temp_directory_path() / ("velmora-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        std::filesystem::current_path(folder_);
        globals_ = ProgramGlobals::create();
        start_ = std::make_unique<ProgramStart>(argc, argv);
        setMessageBoxHook([](const QString&, const QString&, int, int) { return int(resultOk); });
        window_ = std::make_unique<MainWindow>(*globals_);
        window_->show();
        QCoreApplication::processEvents();
    }

    ~BenchWindow()
    {
        window_.reset();
        globals_.reset();
        std::filesystem::current_path("/");
        std::filesystem::remove_all(folder_);
    }

    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;

    MainWindow& window() { return *window_; }

private:
    std::filesystem::path folder_;
    ProgramGlobals::Handle globals_;
    std::unique_ptr<ProgramStart> start_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace velmora::bench
