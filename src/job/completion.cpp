// The completion step after the last section of a split job.
#include "job/completion.h"

#include "ground/seams.h"
#include "job/count_down_form.h"

#include <QPushButton>
#include <QUrl>

namespace segmora {
namespace {

constexpr int kJobIdle = 0;

void call(const std::function<void()>& callback) {
    if (callback)
        callback();
}

void countDownTo(const CompletionContext& context, int action, const QString& doNowCaption,
                 const QString& messagePrefix) {
    // Idle already, so closing the window at the end of the countdown asks nothing; the
    // running look stays until the countdown ends or is cancelled.
    if (context.setJobState)
        context.setJobState(kJobIdle);
    if (context.countDown)
        StartCountdown(*context.countDown, action, doNowCaption, messagePrefix);
}

} // namespace

void StartCountdown(TCountDownForm& countDown, int action, const QString& doNowCaption,
                    const QString& messagePrefix) {
    countDown.CountdownAction = action;
    countDown.btnDoNow->setText(doNowCaption);
    countDown.MessagePrefix = messagePrefix;
    countDown.show();
}

void RunCompletionStep(const CompletionContext& context) {
    call(context.stopJobTimers);

    if (context.turnOffTicked) {
        countDownTo(context, TurnOffComputer, QStringLiteral("Turn off Now"),
                    QStringLiteral("The computer will be turned off within"));
        return;
    }
    if (context.exitTicked) {
        countDownTo(context, ExitProgram, QStringLiteral("Exit Now"),
                    QStringLiteral("The program will exit within"));
        return;
    }

    showMessage(context.mainWindow, MessageIcon::Information, QStringLiteral("Completed"),
                context.completedText.isEmpty()
                    ? QStringLiteral("Splitting is completed successfully.")
                    : context.completedText);
    // Short clips are kept, and said so right after, so success never hides them.
    if (!context.shortClipsText.isEmpty())
        showMessage(context.mainWindow, MessageIcon::Information, QStringLiteral("Completed"),
                    context.shortClipsText);
    if (!context.failedChecksText.isEmpty())
        showMessage(context.mainWindow, MessageIcon::Information, QStringLiteral("Completed"),
                    context.failedChecksText);
    if (!context.keyframeCutsText.isEmpty())
        showMessage(context.mainWindow, MessageIcon::Information, QStringLiteral("Completed"),
                    context.keyframeCutsText);
    if (!context.leftOutText.isEmpty())
        showMessage(context.mainWindow, MessageIcon::Information, QStringLiteral("Completed"),
                    context.leftOutText);
    if (context.openDirTicked)
        seams().openUrl(QUrl::fromLocalFile(context.outputFolderText));
    call(context.leaveJobState);
}

} // namespace segmora
