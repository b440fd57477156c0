#pragma once

#include "rules/RuleOptions.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace velmora {

// The optional settings of one rule, for sites that need more than the seven
// standard fields: encoding, repeated and reversed lists, next-page patterns,
// pace, block-page texts and texts to remove. Texts are GBK in and out.
class RuleOptionsDialog : public QDialog {
    Q_OBJECT

public:
    RuleOptionsDialog(const QString& ruleName, const RuleOptions& options, QWidget* parent = nullptr);

    // The settings as the dialog shows them now.
    RuleOptions options() const;

private:
    QComboBox* encoding_;
    QCheckBox* removeRepeats_;
    QCheckBox* reverseList_;
    QLineEdit* nextListPage_;
    QLineEdit* nextChapterPage_;
    QSpinBox* maxParallel_;
    QSpinBox* intervalMs_;
    QPlainTextEdit* blockTexts_;
    QPlainTextEdit* removeTexts_;
};

}  // namespace velmora
