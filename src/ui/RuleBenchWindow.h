#pragma once

#include "job/RuleSuggest.h"
#include "job/RuleTest.h"
#include "rules/RuleStore.h"

#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

class QCheckBox;
class QComboBox;
class QEventLoop;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace velmora {

struct CapturedDocument;
class PageBrowser;
class RuleEditor;
class RuleSettingsWindow;

// The rule test bench: runs the current rule's fields (as the rule settings
// window holds them) against a list address and shows, part by part, what
// retrieval and download would make of the site's pages, with the page
// source and the matches and markers marked in it. It also proposes a rule
// for a site without one. Tests and suggestions run on a thread of their
// own; this window only shows their results. It never writes the rules file,
// except to take a suggestion as a new rule, nor any chapter or novel file.
class RuleBenchWindow : public QWidget {
    Q_OBJECT

public:
    // What the bench reads and, to take a suggestion, writes: the main
    // window's address box and page-capture box, the rule settings window,
    // the embedded browser for page-capture rules.
    struct Sources {
        const RuleStore& rules;
        RuleSettingsWindow* settings;
        RuleEditor* editor;
        QLineEdit* listAddress;
        QCheckBox* pageCapture;
        PageBrowser* browser;
        CapturedDocument& document;
    };

    explicit RuleBenchWindow(const Sources& sources, QWidget* parent = nullptr);
    ~RuleBenchWindow() override;

    // Shows the bench with the main window's address and starts a test.
    void openAndTest();
    // Shows the bench with the main window's address and proposes a rule.
    void openAndSuggest();
    // "重新测试": reads the current fields and tests them.
    void runTest();
    // "建议规则": proposes a rule for the address and tries it.
    void runSuggestion();
    // "取消": ends the running test or suggestion.
    void cancel();
    // "采用": the suggestion as a new rule, appended to the rules file and
    // selected. False (nothing written) without a suggestion, during an
    // addition, or when the file refuses it.
    bool adoptSuggestion();

    bool busy() const { return worker_.joinable() && !finished_; }
    const RuleTestReport* report() const { return report_.get(); }
    const RuleSuggestion* suggestion() const { return suggestion_ ? &*suggestion_ : nullptr; }

signals:
    // A test or suggestion ended and its result is shown.
    void finished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    RuleUnderTest currentRule() const;
    std::string address() const;
    void start(bool suggest);
    void showResult(std::shared_ptr<RuleTestReport> report, std::optional<RuleSuggestion> suggestion);
    void captureChapter(const RuleUnderTest& rule);
    void showSource();
    void setBusy(bool busy);
    void joinWorker();

    Sources sources_;
    QLineEdit* address_;
    QSpinBox* row_;
    QPushButton* testButton_;
    QPushButton* cancelButton_;
    QPushButton* suggestButton_;
    QPushButton* adoptButton_;
    QLabel* state_;
    QPlainTextEdit* reportView_;
    QComboBox* sourceChoice_;
    QPlainTextEdit* sourceView_;

    std::thread worker_;
    QEventLoop* pageWait_ = nullptr;  // the wait for a page in the browser, while one runs
    std::atomic<bool> cancel_{false};
    bool finished_ = true;
    std::shared_ptr<RuleTestReport> report_;
    std::optional<RuleSuggestion> suggestion_;
    RuleUnderTest tested_;  // the rule the shown report was made with
};

// Adds the bench and rule sharing to the rule settings window without
// touching its controls: a context menu on the rule list (测试规则, 建议规则,
// 导出所选规则, 导出全部规则, 导入规则) and Ctrl+T on the settings and main
// windows. Returns the bench, owned by `mainWindow`.
RuleBenchWindow* installRuleBench(const RuleBenchWindow::Sources& sources, QWidget* mainWindow);

// Rule sharing from the window: the file is asked for with a file dialog;
// the rule list follows an import. Messages go through TimedMessageBox.
void exportRulesFromWindow(const RuleStore& rules, RuleSettingsWindow* settings, bool all, const QString& file);
void importRulesFromWindow(const RuleStore& rules, RuleSettingsWindow* settings, RuleEditor* editor,
                           const QString& file);

}  // namespace velmora
