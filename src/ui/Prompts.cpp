#include "ui/Prompts.h"

#include "core/Text.h"
#include "ui/QtText.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

namespace velmora {
namespace {

std::mutex hookMutex;
MessageBoxHook messageHook;
InputBoxHook inputHook;

template <typename Hook>
Hook currentHook(const Hook& hook)
{
    std::lock_guard lock(hookMutex);
    return hook;
}

bool isWindowThread()
{
    return QCoreApplication::instance() != nullptr
           && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// The prompts tell the user which button to click by its Chinese caption, so
// the captions are set here rather than left to whatever translation the
// system has installed (usually none, leaving "Yes" and "No").
// Message boxes and button boxes number their standard buttons alike.
static_assert(int(QMessageBox::Yes) == int(QDialogButtonBox::Yes) && int(QMessageBox::No) == int(QDialogButtonBox::No)
              && int(QMessageBox::Cancel) == int(QDialogButtonBox::Cancel)
              && int(QMessageBox::Ok) == int(QDialogButtonBox::Ok));

template <typename Box>
void nameButtons(Box* box)
{
    static const std::pair<int, QString> kCaptions[] = {
        {QDialogButtonBox::Yes, QStringLiteral("是")},
        {QDialogButtonBox::No, QStringLiteral("否")},
        {QDialogButtonBox::Cancel, QStringLiteral("取消")},
        {QDialogButtonBox::Ok, QStringLiteral("确定")},
    };
    for (const auto& [which, caption] : kCaptions) {
        if (QAbstractButton* button = box->button(typename Box::StandardButton(which))) {
            button->setText(caption);
        }
    }
}

QMessageBox* makeBox(const QString& caption, const QString& text, int style, QWidget* owner)
{
    auto* box = new QMessageBox(owner);
    box->setWindowTitle(caption);
    box->setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    switch (style) {
    case styleYesNoCancel:
        box->setIcon(QMessageBox::Question);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case styleYesNo:
        box->setIcon(QMessageBox::Question);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case styleError:
        box->setIcon(QMessageBox::Critical);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    default:
        box->setIcon(QMessageBox::Information);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    }
    nameButtons(box);
    return box;
}

// The code a box's finish value stands for.
int resultCode(int finished)
{
    switch (finished) {
    case QMessageBox::Ok:
        return resultOk;
    case QMessageBox::Yes:
        return resultYes;
    case QMessageBox::No:
        return resultNo;
    case QMessageBox::Cancel:
        return resultCancel;
    case resultTimedOut:
        return resultTimedOut;
    default:
        return resultCancel;  // closed by its close button or Escape
    }
}

void closeAfter(QMessageBox* box, int timeoutMs)
{
    if (timeoutMs > 0) {
        QTimer::singleShot(timeoutMs, box, [box] { box->done(resultTimedOut); });
    }
}

// A box for another thread: shown on the window thread without owner or
// modality, its result handed back when it closes.
int boxFromOtherThread(const QString& caption, const QString& text, int timeoutMs, int style)
{
    auto result = std::make_shared<std::promise<int>>();
    std::future<int> answer = result->get_future();
    const bool posted = QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [=] {
            QMessageBox* box = makeBox(caption, text, style, nullptr);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::NonModal);
            QObject::connect(box, &QDialog::finished, box,
                             [result](int finished) { result->set_value(resultCode(finished)); });
            closeAfter(box, timeoutMs);
            box->show();
        },
        Qt::QueuedConnection);
    return posted ? answer.get() : resultCannotShow;
}

class InputDialog : public QDialog {
public:
    InputDialog(const QString& prompt, const QString& title, const QString& initialText, int mode, QWidget* owner)
        : QDialog(owner)
    {
        setWindowTitle(title);
        auto* layout = new QVBoxLayout(this);
        if (!prompt.isEmpty()) {
            layout->addWidget(new QLabel(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), this));
        }
        entry_ = new QLineEdit(initialText, this);
        entry_->setObjectName(QStringLiteral("entry"));
        if (mode == inputDigits) {
            entry_->setValidator(
                new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[-0-9]*")), entry_));
        }
        entry_->selectAll();
        layout->addWidget(entry_);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        nameButtons(buttons);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(buttons);
    }

    QString entry() const { return entry_->text(); }

private:
    QLineEdit* entry_;
};

std::optional<QString> askForText(const QString& prompt, const QString& title, const QString& initialText, int mode,
                                  QWidget* owner)
{
    if (const InputBoxHook hook = currentHook(inputHook)) {
        return hook(prompt, title, initialText, mode);
    }
    InputDialog dialog(prompt, title, initialText, mode, owner);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.entry();
}

}  // namespace

int TimedMessageBox(const QString& caption, const QString& text, int timeoutMs, int style)
{
    if (const MessageBoxHook hook = currentHook(messageHook)) {
        return hook(caption, text, timeoutMs, style);
    }
    if (QCoreApplication::instance() == nullptr) {
        return resultCannotShow;
    }
    if (!isWindowThread()) {
        return boxFromOtherThread(caption, text, timeoutMs, style);
    }
    QPointer<QMessageBox> box = makeBox(caption, text, style, QApplication::activeWindow());
    closeAfter(box, timeoutMs);
    const int finished = box->exec();
    delete box;
    return resultCode(finished);
}

bool InputBox(const QString& prompt, const QString& title, const QString& initialText, QString& result, int mode,
              QWidget* owner)
{
    const std::optional<QString> entry = askForText(prompt, title, initialText, mode, owner);
    if (entry) {
        result = *entry;
    }
    return entry.has_value();
}

bool InputBox(const QString& prompt, const QString& title, const QString& initialText, int& result, int mode,
              QWidget* owner)
{
    const std::optional<QString> entry = askForText(prompt, title, initialText, mode, owner);
    if (entry) {
        result = text::leadingInt(entry->toStdString());
    }
    return entry.has_value();
}

bool DelayPumping(int amount, int unit)
{
    static constexpr qint64 kUnitMs[] = {1, 1000, 60000, 3600000};
    const qint64 ms = std::max<qint64>(0, amount) * kUnitMs[std::clamp(unit, 0, 3)];
    if (QCoreApplication::instance() == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return true;
    }
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(ms), &loop, &QEventLoop::quit);
    loop.exec();
    return true;
}

void setMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard lock(hookMutex);
    messageHook = std::move(hook);
}

void setInputBoxHook(InputBoxHook hook)
{
    std::lock_guard lock(hookMutex);
    inputHook = std::move(hook);
}

}  // namespace velmora
