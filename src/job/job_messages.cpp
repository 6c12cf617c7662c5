// The split job's message boxes, with their exact texts.
#include "job/job_messages.h"

#include "ground/product.h"
#include "ground/seams.h"

#include <QDir>

namespace segmora {

void ShowCheckFailure(QWidget* owner, const JobCheckResult& result) {
    if (result.passed())
        return;
    showMessage(owner, MessageIcon::Information, result.title, result.text);
}

JobController::OverwriteAnswer AskOverwrite(QWidget* owner, const QString& outputPath) {
    using Answer = JobController::OverwriteAnswer;
    const QString text = QStringLiteral("The output file is existent. Overwrite it?\n\n") +
                         QDir::toNativeSeparators(outputPath);
    switch (showMessage(owner, MessageIcon::Question, QStringLiteral("Overwrite"), text,
                        MessageButtons::YesNoToAll)) {
    case MessageAnswer::Yes:
        return Answer::Yes;
    case MessageAnswer::YesToAll:
        return Answer::YesToAll;
    case MessageAnswer::NoToAll:
        return Answer::NoToAll;
    case MessageAnswer::Ok:
    case MessageAnswer::No:
        break;
    }
    return Answer::No;
}

bool AskCancelSplitting(QWidget* owner) {
    return askYesNo(owner, QStringLiteral("Query"),
                    QStringLiteral("Do you want to cancel the splitting?"));
}

bool AskCancelAndExit(QWidget* owner) {
    return askYesNo(owner, QStringLiteral("Exit Query"),
                    QStringLiteral("Do you want to cancel the splitting and exit?"));
}

void ShowJobEnd(QWidget* owner, const SplitJobResult& result) {
    switch (result.end) {
    case SplitJobEnd::StartFailed:
        showMessage(owner, MessageIcon::None, kProductName, result.message);
        break;
    case SplitJobEnd::Failed:
        showMessage(owner, MessageIcon::Error, kProductName, result.message);
        break;
    case SplitJobEnd::Completed:
    case SplitJobEnd::Cancelled:
    case SplitJobEnd::OverwriteRefused:
        break;
    }
}

} // namespace segmora
