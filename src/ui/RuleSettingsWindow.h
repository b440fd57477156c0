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

    // The six text fields of kRuleAttributes, in GBK: the text the user left
    // in the field, or the value last put there, byte for byte.
    std::string fieldText(RuleField field) const;
    std::string siteAddress() const { return fieldText(RuleField::siteAddress); }
    std::string chapterListPattern() const { return fieldText(RuleField::chapterListPattern); }
    std::string novelNamePattern() const { return fieldText(RuleField::novelNamePattern); }
    std::string authorPattern() const { return fieldText(RuleField::authorPattern); }
    std::string contentLeftMarker() const { return fieldText(RuleField::contentLeftMarker); }
    std::string contentRightMarker() const { return fieldText(RuleField::contentRightMarker); }

    // Fills the six fields from `rule` without running their change handlers.
    void setFields(const SiteRule& rule);
    // Sets one text field alone, likewise.
    void setFieldText(RuleField field, const std::string& value);

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
    // One text field's box, one-line or several-line, and the value last put
    // into it, byte for byte: the widgets turn CR LF and lone CR into their
    // own line breaks, and patterns that end in one must reach the engine and
    // the file unchanged, edited or not.
    struct FieldBox {
        QLineEdit* line = nullptr;
        QPlainTextEdit* lines = nullptr;
        std::string shown{};
    };
    FieldBox& box(RuleField field);
    const FieldBox& box(RuleField field) const;

    std::array<FieldBox, kRuleTextFieldCount> boxes_;
    RuleOptions options_;
    QPushButton* renameButton_;
    QPushButton* addButton_;
    QPushButton* deleteButton_;
};

}  // namespace velmora
