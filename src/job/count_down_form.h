// The countdown dialog that runs for ten seconds before the program exits or the computer is
// turned off at the end of a job.
#pragma once

#include "ui/dialog_over_main_window.h"

#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;
class QTimer;

namespace segmora {

// What the countdown does when it reaches zero or "Now" is pressed. Any other value of
// TCountDownForm::CountdownAction makes the action do nothing.
enum CountdownActionCode : int { ExitProgram = 0, TurnOffComputer = 1 };

// What the dialog needs from the main window, handed in so it does not depend on its class.
struct CountDownHooks {
    // Switches the main window back to its idle look and sets the job state to idle.
    std::function<void()> leaveJobState;
    // Closes the main window, whose close saves the preferences and ends the program.
    // Empty: the dialog calls close() on the main window it was given.
    std::function<void()> closeMainWindow;
};

// Created once with the main window as parent and reused for every countdown. The caller sets
// CountdownAction, btnDoNow's caption and MessagePrefix, then calls show() (never exec()): the
// dialog lives on in the event loop while the caller returns.
//
// While showing, the main window is disabled (the dialog itself stays usable) and tmrCountdown
// ticks once a second; however the dialog is closed or hidden, the timer stops and the main
// window is enabled again. Closing by Cancel, Escape or the title-bar close box leaves the job
// state, so the main window never keeps its running look with nothing running.
//
// Threading: UI thread only. Every handler is entered through the error guard (its button or
// timer is connected with guardedSlot): an error is shown in the error box and the program
// carries on. Called directly, a handler may raise.
class TCountDownForm : public QDialog {
    Q_OBJECT

public:
    explicit TCountDownForm(QWidget* mainWindow, CountDownHooks hooks = {});

    void setHooks(CountDownHooks hooks) { m_hooks = std::move(hooks); }
    QWidget* mainWindow() const { return m_mainWindow; }

    // Whole seconds still to count.
    int SecondsLeft = 0;
    // The sentence before the number of seconds, set by the caller before each showing.
    QString MessagePrefix;
    // A CountdownActionCode, set by the caller before each showing.
    int CountdownAction = ExitProgram;

    QLabel* Image1 = nullptr;
    QLabel* labMessage = nullptr;
    QPushButton* btnDoNow = nullptr;
    QPushButton* btnCancel = nullptr;
    QTimer* tmrCountdown = nullptr;

    // Handlers; public so the main window and tests can drive them directly.
    void FormShow();
    // One second has passed: counts down and, at zero, stops the timer and presses btnDoNow.
    void tmrCountdownTimer();
    // Runs the action. Neither closes the dialog nor stops the timer, so a countdown whose
    // button was pressed early still presses it again at zero.
    void btnDoNowClick();
    void btnCancelClick();
    // Runs whenever the dialog stops showing.
    void FormClose();

    // Escape, the title-bar close box and the system's close command land here.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showSecondsLeft();

    QWidget* m_mainWindow;
    DialogOverMainWindow m_overMain{this};
    CountDownHooks m_hooks;
};

} // namespace segmora
