#pragma once

// A fresh working folder, the process-wide objects and a main window shown on
// the offscreen platform, with message boxes answered at once and recorded.
#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "core/ProgramGlobals.h"
#include "job/ChapterFiles.h"
#include "support/NovelSite.h"
#include "ui/MainWindow.h"
#include "ui/Prompts.h"
#include "ui/RuleSettingsWindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <unistd.h>

namespace velmora::test {

namespace fs = std::filesystem;

struct Shown {
    QString caption;
    QString text;
    int timeoutMs;
    int style;
};

struct Asked {
    QString prompt;
    QString title;
    QString initialText;
    int mode;
};

// Processes events until `done` holds or `ms` pass.
template <typename Pred>
bool waitUntil(Pred done, int ms = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

class WindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        previous_ = fs::current_path();
        folder_ = fs::temp_directory_path()
                  / ("velmora-ui-" + std::to_string(::getpid()) + "-"
                     + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        fs::current_path(folder_);
        setMessageBoxHook([this](const QString& caption, const QString& text, int timeoutMs, int style) {
            std::lock_guard lock(shownMutex_);
            shown_.push_back({caption, text, timeoutMs, style});
            if (messageAnswers_.empty()) {
                return int(resultOk);
            }
            const int answer = messageAnswers_.front();
            messageAnswers_.erase(messageAnswers_.begin());
            return answer;
        });
        setInputBoxHook([this](const QString& prompt, const QString& title, const QString& initialText, int mode) {
            asked_.push_back({prompt, title, initialText, mode});
            if (inputAnswers_.empty()) {
                return std::optional<QString>();
            }
            const std::optional<QString> answer = inputAnswers_.front();
            inputAnswers_.erase(inputAnswers_.begin());
            return answer;
        });
        globals_ = ProgramGlobals::create();
    }

    void TearDown() override
    {
        window_.reset();
        globals_.reset();
        setMessageBoxHook(nullptr);
        setInputBoxHook(nullptr);
        fs::current_path(previous_);
        fs::remove_all(folder_);
    }

    MainWindow& window()
    {
        if (!window_) {
            window_ = std::make_unique<MainWindow>(*globals_);
            window_->show();
        }
        return *window_;
    }

    template <typename W>
    W* control(const char* name)
    {
        W* w = window().findChild<W*>(QString::fromUtf8(name));
        if (w == nullptr) {
            w = window().ruleSettings()->findChild<W*>(QString::fromUtf8(name));
        }
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    QPushButton* button(const char* name) { return control<QPushButton>(name); }
    QTreeWidget* list() { return control<QTreeWidget>("超级列表框1"); }
    QString status() { return control<QLabel>("标签4")->text(); }
    QString cell(int row, int column) { return list()->topLevelItem(row)->text(column); }
    bool checked(int row) { return list()->topLevelItem(row)->checkState(0) == Qt::Checked; }

    std::vector<Shown> shown()
    {
        std::lock_guard lock(shownMutex_);
        return shown_;
    }
    void forgetShown()
    {
        std::lock_guard lock(shownMutex_);
        shown_.clear();
    }

    // The answers of the next message boxes, in turn; once they run out, OK.
    void answerMessages(std::vector<int> answers)
    {
        std::lock_guard lock(shownMutex_);
        messageAnswers_ = std::move(answers);
    }

    // The entries of the next input boxes, in turn (nothing: Cancel); once
    // they run out, Cancel. Window thread only, as the boxes are.
    void answerInputs(std::vector<std::optional<QString>> answers) { inputAnswers_ = std::move(answers); }
    const std::vector<Asked>& asked() const { return asked_; }

    // Types the address and runs a retrieval to its end.
    void fetchList(const std::string& address)
    {
        control<QLineEdit>("编辑框_章节列表网址")->setText(QString::fromStdString(address));
        button("按钮_获取章节标题")->click();
        ASSERT_TRUE(waitUntil([&] { return button("按钮_获取章节标题")->isEnabled(); }));
    }

    std::string fileBytes(const fs::path& file) { return readFileBytes(file).value_or("<missing>"); }

    fs::path previous_;
    fs::path folder_;
    ProgramGlobals::Handle globals_;
    std::unique_ptr<MainWindow> window_;
    std::mutex shownMutex_;
    std::vector<Shown> shown_;
    std::vector<int> messageAnswers_;
    std::vector<std::optional<QString>> inputAnswers_;
    std::vector<Asked> asked_;
};

}  // namespace velmora::test
