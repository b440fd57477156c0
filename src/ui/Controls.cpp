#include "ui/Controls.h"

#include "core/Text.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <algorithm>

namespace velmora::controls {
namespace {

template <typename Widget>
Widget* place(Widget* widget, const char* name, int x, int y, int w, int h)
{
    widget->setObjectName(QString::fromUtf8(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

}  // namespace

QPushButton* button(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h)
{
    return place(new QPushButton(caption, parent), name, x, y, w, h);
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h)
{
    auto* l = place(new QLabel(caption, parent), name, x, y, w, h);
    l->setTextFormat(Qt::PlainText);  // names from remote pages are shown, never interpreted
    return l;
}

QLineEdit* edit(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h)
{
    return place(new QLineEdit(text, parent), name, x, y, w, h);
}

QPlainTextEdit* multiLineEdit(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    auto* e = place(new QPlainTextEdit(parent), name, x, y, w, h);
    e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    e->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    return e;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h)
{
    return place(new QCheckBox(caption, parent), name, x, y, w, h);
}

QGroupBox* group(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h)
{
    auto* g = place(new QGroupBox(caption, parent), name, x, y, w, h);
    // The fixed positions inside a group count from a frame whose top line
    // runs through the caption, half a line below the group's top. Most
    // styles draw the caption above the frame instead, which pushes the
    // frame below controls placed near the top and leaves them poking out.
    g->setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
                                    "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
    return g;
}

QLineEdit* numberEdit(QWidget* parent, const char* name, int value, int x, int y, int w, int h)
{
    auto* e = edit(parent, name, QString(), x, y, w, h);
    e->setAlignment(Qt::AlignCenter);
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[-0-9]*")), e));
    setNumberValue(e, value);
    QObject::connect(e, &QLineEdit::editingFinished, e, [e] { setNumberValue(e, numberValue(e)); });
    return e;
}

int numberValue(const QLineEdit* edit)
{
    return std::clamp(text::leadingInt(edit->text().toStdString()), -32768, 32767);
}

void setNumberValue(QLineEdit* edit, int value)
{
    value = std::clamp(value, -32768, 32767);
    edit->setText(value == 0 ? QString() : QString::number(value));
}

}  // namespace velmora::controls
