// The countdown dialog: ten seconds, then exit or power-off, unless the user cancels.
#include "job/count_down_form.h"

#include "ground/error_guard.h"
#include "job/power_off.h"

#include <QHideEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>

namespace segmora {
namespace {

constexpr int kClientWidth = 376;
constexpr int kClientHeight = 106;
constexpr int kCountdownSeconds = 10;
constexpr int kTickMs = 1000;

} // namespace

TCountDownForm::TCountDownForm(QWidget* mainWindow, CountDownHooks hooks)
    : QDialog(mainWindow), m_mainWindow(mainWindow), m_hooks(std::move(hooks)) {
    setObjectName(QStringLiteral("CountDownForm"));
    setWindowTitle(QStringLiteral("Countdown"));
    setFixedSize(kClientWidth, kClientHeight);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(237, 237, 237));
    setPalette(background);
    setAutoFillBackground(true);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 16, 32, 32);
    Image1->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(32, 32));

    labMessage = new QLabel(this);
    labMessage->setObjectName(QStringLiteral("labMessage"));
    // 265 wide and never resized, but two lines high: with common desktop fonts the turn-off
    // sentence is wider than that, and a one-line label would cut off the seconds.
    labMessage->setGeometry(64, 10, 265, 46);
    labMessage->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    labMessage->setWordWrap(true);

    btnDoNow = new QPushButton(QStringLiteral("Now"), this);
    btnDoNow->setObjectName(QStringLiteral("btnDoNow"));
    btnDoNow->setGeometry(kClientWidth - 12 - 75 - 8 - 95, kClientHeight - 12 - 25, 95, 25);

    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(kClientWidth - 12 - 75, kClientHeight - 12 - 25, 75, 25);
    // Enter must never power the machine off by accident: Cancel is the default button.
    btnCancel->setDefault(true);

    tmrCountdown = new QTimer(this);
    tmrCountdown->setObjectName(QStringLiteral("tmrCountdown"));
    tmrCountdown->setInterval(kTickMs);

    connect(tmrCountdown, &QTimer::timeout, this, [this] { tmrCountdownTimer(); });
    connect(btnDoNow, &QPushButton::clicked, this, [this] { btnDoNowClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

void TCountDownForm::FormShow() {
    guarded(this, [&] {
        if (m_mainWindow) {
            m_mainWindow->setEnabled(false);
            // Disabling a window disables its child windows too; this one must stay usable.
            setEnabled(true);
        }
        SecondsLeft = kCountdownSeconds;
        showSecondsLeft();
        tmrCountdown->start();
    });
}

void TCountDownForm::tmrCountdownTimer() {
    guarded(this, [&] {
        --SecondsLeft;
        showSecondsLeft();
        if (SecondsLeft <= 0) {
            tmrCountdown->stop();
            // Pressing the button, called straight so that nothing about the button's own
            // state can swallow the action.
            btnDoNowClick();
        }
    });
}

void TCountDownForm::btnDoNowClick() {
    guarded(this, [&] {
        switch (CountdownAction) {
        case ExitProgram:
            if (m_hooks.closeMainWindow)
                m_hooks.closeMainWindow();
            else if (m_mainWindow)
                m_mainWindow->close();
            break;
        case TurnOffComputer:
            PowerOffComputer();
            break;
        default:
            break;
        }
    });
}

void TCountDownForm::btnCancelClick() {
    guarded(this, [&] {
        if (m_hooks.leaveJobState)
            m_hooks.leaveJobState();
    });
    // Closed even when leaving the job state failed: a dialog that stays up would keep the
    // main window disabled.
    QDialog::reject();
}

void TCountDownForm::reject() {
    // Every other way of closing counts as Cancel, so the main window returns to its idle
    // look instead of keeping the running look with nothing running.
    btnCancelClick();
}

void TCountDownForm::FormClose() {
    guarded(this, [&] {
        tmrCountdown->stop();
        if (m_mainWindow)
            m_mainWindow->setEnabled(true);
    });
}

void TCountDownForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // the window system re-showing it (e.g. after minimising) starts nothing
    centreOnMainWindow();
    btnCancel->setFocus();
    FormShow();
}

void TCountDownForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        FormClose();
}

void TCountDownForm::centreOnMainWindow() {
    if (!m_mainWindow)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(m_mainWindow->window()->frameGeometry().center());
    move(frame.topLeft());
}

void TCountDownForm::showSecondsLeft() {
    // "within 1 second.", "within 0 seconds.", "within 2 seconds.".
    labMessage->setText(
        MessagePrefix + QLatin1Char(' ') + QString::number(SecondsLeft) +
        (SecondsLeft == 1 ? QStringLiteral(" second.") : QStringLiteral(" seconds.")));
    // Screen readers announce the dialog with its description, so it carries the message.
    setAccessibleDescription(labMessage->text());
}

} // namespace segmora
