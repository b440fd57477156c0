#pragma once

#include "rules/RuleStore.h"

#include <QObject>

class QCheckBox;

namespace velmora {

class RuleSettingsWindow;

// Rule editing from the rule settings window: every field the user changes
// is written to the rules file at once; rules are added in two steps (a name,
// then the fields and a confirmation), renamed and deleted. The add button's
// caption holds the state of an addition: "增加", or "确认增加" while a new
// rule, not yet in the file, waits as the last item of the rule list. A
// change the rules file cannot take is reported once, until a save succeeds.
class RuleEditor : public QObject {
    Q_OBJECT

public:
    RuleEditor(const RuleStore& rules, RuleSettingsWindow* window, QCheckBox* pageCapture, QObject* parent = nullptr);

    bool isAdding() const;

    // Click handlers.
    void add();
    void rename();
    void remove();
    // The page-capture box of the main window was clicked.
    void writePageCapture(bool checked);

signals:
    // The program selected another rule; the fields must be loaded from it.
    void selectionMoved();

private:
    void writeField(RuleField field);
    void askForNewName();
    void confirmNewRule();
    void dropNewRule();
    void setRuleControlsEnabled(bool enabled);
    void noteSave(RuleChange change);

    const RuleStore& rules_;
    RuleSettingsWindow* window_;
    QCheckBox* pageCapture_;
    // A failed save has been reported and no save has succeeded since:
    // every keystroke saves, and one message is enough.
    bool saveFailureShown_ = false;
};

}  // namespace velmora
