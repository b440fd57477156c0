#pragma once

#include "rules/RuleStore.h"

#include <QWidget>

#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace velmora {

class ChapterListTools;
class NovelJob;
class PageBrowser;
class ProgramGlobals;
class RuleBenchWindow;
class RuleEditor;
class RuleSettingsWindow;

// The program's main window: the chapter-list address, the chapter list with
// its per-row check boxes and status, the novel's name and author, and the
// download, list and merge controls. It owns the rule settings window that
// sits beside it.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    explicit MainWindow(ProgramGlobals& globals);
    ~MainWindow() override;

    RuleSettingsWindow* ruleSettings() const { return ruleSettings_; }
    NovelJob& job() const { return *job_; }
    ChapterListTools& listTools() const { return *listTools_; }
    RuleEditor& ruleEditor() const { return *ruleEditor_; }
    PageBrowser& browser() const { return *browser_; }
    RuleBenchWindow& ruleBench() const { return *ruleBench_; }

    // Finds the rule of the address box's host and makes it the current rule.
    void ruleLookup();
    // Loads every field of the selected rule into the rule settings window and
    // the page-capture box; with no rule selected they all become empty.
    void refreshRuleFields();
    // Opens the selected rule's further settings and saves what the user set.
    void editRuleOptions();

protected:
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void startUp();
    void setStatus(const QString& text);
    void placeRuleSettings();
    void toggleRuleSettings();
    void openChapter(int row, int column);
    void exitProgram();
    void saveDownloadOptions();

    RuleStore rules_;
    PageBrowser* browser_ = nullptr;
    NovelJob* job_ = nullptr;
    ChapterListTools* listTools_ = nullptr;
    RuleEditor* ruleEditor_ = nullptr;
    RuleSettingsWindow* ruleSettings_ = nullptr;
    RuleBenchWindow* ruleBench_ = nullptr;

    QLineEdit* listAddress_ = nullptr;
    QLabel* status_ = nullptr;
    QTreeWidget* chapters_ = nullptr;
    QPushButton* chooseRuleButton_ = nullptr;
    QPushButton* fetchListButton_ = nullptr;
    QLabel* novelName_ = nullptr;
    QLabel* author_ = nullptr;
    QPushButton* downloadButton_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QCheckBox* autoMerge_ = nullptr;
    QCheckBox* pageCapture_ = nullptr;
    QCheckBox* newChaptersOnly_ = nullptr;
    QCheckBox* alsoEpub_ = nullptr;
    QLineEdit* firstRow_ = nullptr;
    QLineEdit* interval_ = nullptr;
    QLineEdit* lastRow_ = nullptr;
    QPushButton* mergeButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QLineEdit* relativeAddress_ = nullptr;
    QWidget* rowToolsPanel_ = nullptr;
};

}  // namespace velmora
