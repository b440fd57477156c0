#pragma once

#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// Small makers for controls placed at fixed positions, each named after its
// role so tests and tools can find it by object name.
namespace velmora::controls {

QPushButton* button(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h);
QLabel* label(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h);
QLineEdit* edit(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h);
QPlainTextEdit* multiLineEdit(QWidget* parent, const char* name, int x, int y, int w, int h);
QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h);
QGroupBox* group(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h);

// A one-line, centred box holding a 16-bit whole number: only digits and "-"
// can be typed, values beyond -32768..32767 become the nearer bound when the
// box loses focus or Enter is pressed, and 0 shows as an empty box.
QLineEdit* numberEdit(QWidget* parent, const char* name, int value, int x, int y, int w, int h);

// The value of a number box (text that is not a number counts as 0), and
// writing one back in the box's form.
int numberValue(const QLineEdit* edit);
void setNumberValue(QLineEdit* edit, int value);

}  // namespace velmora::controls
