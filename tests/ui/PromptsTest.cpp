#include "ui/Prompts.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <thread>

using namespace velmora;

namespace {

// Clicks the button of the first visible message box as soon as one is shown.
void answerNextBox(QMessageBox::StandardButton button)
{
    QTimer::singleShot(0, [button] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
                box->button(button)->click();
                return;
            }
        }
        answerNextBox(button);
    });
}

// Hands the first visible dialog to `use` as soon as one is shown.
void withNextDialog(std::function<void(QDialog*)> use)
{
    QTimer::singleShot(0, [use = std::move(use)]() mutable {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog != nullptr && dialog->isVisible()) {
                use(dialog);
                return;
            }
        }
        withNextDialog(std::move(use));
    });
}

// The captions of a dialog's shown buttons.
std::set<std::string> buttonCaptions(const QDialog* dialog)
{
    std::set<std::string> captions;
    for (const QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->isVisible()) {
            captions.insert(button->text().toStdString());
        }
    }
    return captions;
}

}  // namespace

// The prompts name the buttons to click in Chinese, so the buttons must carry
// those captions whatever translations the system has.
TEST(PromptsTest, ButtonsAreCaptionedInChinese)
{
    struct Case {
        int style;
        std::set<std::string> captions;
    };
    const Case cases[] = {
        {styleYesNoCancel, {"是", "否", "取消"}},
        {styleYesNo, {"是", "否"}},
        {styleError, {"确定"}},
        {styleInformation, {"确定"}},
    };
    for (const Case& c : cases) {
        std::set<std::string> seen;
        withNextDialog([&](QDialog* box) {
            seen = buttonCaptions(box);
            box->reject();
        });
        TimedMessageBox("c", "t", 10000, c.style);
        EXPECT_EQ(seen, c.captions) << c.style;
    }

    std::set<std::string> seen;
    withNextDialog([&](QDialog* dialog) {
        seen = buttonCaptions(dialog);
        dialog->reject();
    });
    QString text;
    EXPECT_FALSE(InputBox("p", "t", "x", text, inputAnyText, nullptr));
    EXPECT_EQ(seen, (std::set<std::string>{"确定", "取消"}));
}

TEST(PromptsTest, BoxClosesItselfAfterTimeout)
{
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(TimedMessageBox("c", "t", 200, styleInformation), resultTimedOut);
    EXPECT_GE(timer.elapsed(), 190);
}

TEST(PromptsTest, ButtonsMapToResultCodes)
{
    answerNextBox(QMessageBox::Yes);
    EXPECT_EQ(TimedMessageBox("c", "t", 0, styleYesNoCancel), resultYes);
    answerNextBox(QMessageBox::No);
    EXPECT_EQ(TimedMessageBox("c", "t", 5000, styleYesNo), resultNo);
    answerNextBox(QMessageBox::Cancel);
    EXPECT_EQ(TimedMessageBox("c", "t", 5000, styleYesNoCancel), resultCancel);
    answerNextBox(QMessageBox::Ok);
    EXPECT_EQ(TimedMessageBox("c", "t", 0, styleError), resultOk);
}

// From another thread the box has no owner and the window thread keeps
// running its events meanwhile.
TEST(PromptsTest, BoxFromOtherThreadLeavesWindowThreadFree)
{
    int result = -1;
    bool windowThreadRan = false;
    std::thread worker([&] { result = TimedMessageBox("c", "t", 300, styleError); });
    QTimer::singleShot(50, [&] { windowThreadRan = true; });
    while (result == -1) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    worker.join();
    EXPECT_EQ(result, resultTimedOut);
    EXPECT_TRUE(windowThreadRan);
}

TEST(PromptsTest, HookAnswersWithoutShowing)
{
    QString seen;
    setMessageBoxHook([&](const QString& caption, const QString& text, int timeout, int style) {
        seen = caption + "|" + text + "|" + QString::number(timeout) + "|" + QString::number(style);
        return int(resultNo);
    });
    EXPECT_EQ(TimedMessageBox("cap", "txt", 5000, styleYesNo), resultNo);
    EXPECT_EQ(seen, "cap|txt|5000|36");
    setMessageBoxHook(nullptr);
}

TEST(PromptsTest, InputBoxDigitsModeAndIntegerResult)
{
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog != nullptr && dialog->isVisible()) {
                auto* entry = dialog->findChild<QLineEdit*>("entry");
                EXPECT_EQ(entry->selectedText(), "1");
                entry->clear();
                entry->insert("x-3y7");  // letters are refused in digit mode
                EXPECT_EQ(entry->text(), "");
                entry->insert("12");
                dialog->accept();
            }
        }
    });
    int value = 0;
    EXPECT_TRUE(InputBox("p", "t", "1", value, inputDigits, nullptr));
    EXPECT_EQ(value, 12);

    setInputBoxHook([](const QString&, const QString&, const QString&, int) { return std::nullopt; });
    QString text = "unchanged";
    EXPECT_FALSE(InputBox("p", "t", "x", text, inputAnyText, nullptr));
    EXPECT_EQ(text, "unchanged");
    setInputBoxHook(nullptr);
}

TEST(PromptsTest, DelayPumpingKeepsEventsFlowing)
{
    bool ran = false;
    QTimer::singleShot(10, [&] { ran = true; });
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(DelayPumping(100, 0));
    EXPECT_TRUE(ran);
    EXPECT_GE(timer.elapsed(), 95);
}
