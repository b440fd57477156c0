#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// Message boxes that close themselves, the one-line input prompt, and the
// wait that keeps the window's events flowing.
namespace velmora {

// Message box styles: icon and buttons.
enum MessageStyle : int {
    styleError = 16,        // error icon, OK
    styleInformation = 64,  // information icon, OK
    styleYesNoCancel = 35,  // question icon, Yes, No, Cancel
    styleYesNo = 36,        // question icon, Yes, No
};

// Results of TimedMessageBox.
enum MessageResult : int {
    resultCannotShow = 0,
    resultOk = 1,
    resultCancel = 2,
    resultYes = 6,
    resultNo = 7,
    resultTimedOut = 32000,
};

// Shows a message box owned by the active window and returns the button
// pressed, or resultTimedOut when `timeoutMs` (above 0) passed first; 0
// waits for the user. Called from a thread other than the window thread, the
// box has no owner and blocks only the calling thread. Line breaks in `text`
// are written CR LF.
int TimedMessageBox(const QString& caption, const QString& text, int timeoutMs, int style);

// Input modes of InputBox.
enum InputMode : int {
    inputAnyText = 1,
    inputDigits = 2,  // only the digits and "-" can be typed
};

// Asks for one line of text in a modal dialog owned by `owner`, the initial
// text selected so typing replaces it. True on OK, with the entry in `result`;
// on Cancel `result` is left unchanged.
bool InputBox(const QString& prompt, const QString& title, const QString& initialText, QString& result, int mode,
              QWidget* owner);

// As above, with the entry's leading whole number (0 when there is none).
bool InputBox(const QString& prompt, const QString& title, const QString& initialText, int& result, int mode,
              QWidget* owner);

// Waits `amount` units (0 ms, 1 s, 2 min, 3 h) while the calling thread keeps
// processing its window events; returns true.
bool DelayPumping(int amount, int unit);

// Seams for headless runs: while a hook is set, no box or dialog is shown and
// the hook answers at once. An input hook returns the entry, or nothing for
// Cancel.
using MessageBoxHook = std::function<int(const QString& caption, const QString& text, int timeoutMs, int style)>;
using InputBoxHook = std::function<std::optional<QString>(const QString& prompt, const QString& title,
                                                          const QString& initialText, int mode)>;
void setMessageBoxHook(MessageBoxHook hook);
void setInputBoxHook(InputBoxHook hook);

}  // namespace velmora
