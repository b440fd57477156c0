#pragma once

#include "rules/RuleStore.h"

#include <QWidget>

#include <array>
#include <string>

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace velmora {

// The rule list and the fields of the selected rule, shown beside the main
// window. Its fields are the current rule that retrieval and download read.
// It never closes on request: the main window shows, hides and destroys it.
class RuleSettingsWindow : public QWidget {
    Q_OBJECT

public:
    RuleSettingsWindow();

    QListWidget* ruleList() const { return ruleList_; }
    QPushButton* renameButton() const { return renameButton_; }
    QPushButton* addButton() const { return addButton_; }
    QPushButton* deleteButton() const { return deleteButton_; }

    // The selected rule's index in the list, or -1.
    int selectedIndex() const;
    // Selects a rule without running the user's selection handler.
    void selectQuietly(int index);

    // The six fields, in GBK.
    std::string siteAddress() const;
    std::string chapterListPattern() const;
    std::string novelNamePattern() const;
    std::string authorPattern() const;
    std::string contentLeftMarker() const;
    std::string contentRightMarker() const;

    // Fills the six fields without running their change handlers.
    void setFields(const std::string& siteAddress, const std::string& chapterListPattern,
                   const std::string& novelNamePattern, const std::string& authorPattern,
                   const std::string& contentLeftMarker, const std::string& contentRightMarker);
    // Sets the site address field alone, likewise.
    void setSiteAddress(const std::string& siteAddress);

    // The selected rule's optional settings, as last read from the file.
    const RuleOptions& ruleOptions() const { return options_; }
    void setRuleOptions(const RuleOptions& options) { options_ = options; }

signals:
    // The user picked a rule in the list.
    void ruleSelectedByUser(int index);
    // The user changed one of the six fields.
    void fieldEdited(RuleField field);
    // The user asked for the selected rule's further settings ("更多设置..."
    // in the rule list's context menu, or Ctrl+M).
    void moreSettingsRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QListWidget* ruleList_;
    QLineEdit* siteAddress_;
    QPlainTextEdit* chapterListPattern_;
    QPlainTextEdit* novelNamePattern_;
    QPlainTextEdit* authorPattern_;
    QLineEdit* contentLeftMarker_;
    QLineEdit* contentRightMarker_;
    // The values last put into the fields, byte for byte: the widgets turn
    // CR LF and lone CR into their own line breaks, and patterns that end in
    // one must reach the engine and the file unchanged, edited or not.
    std::array<std::string, 6> shown_;
    RuleOptions options_;
    QPushButton* renameButton_;
    QPushButton* addButton_;
    QPushButton* deleteButton_;
};

}  // namespace velmora
