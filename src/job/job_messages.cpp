// The split job's message boxes, with their exact texts.
#include "job/job_messages.h"

#include "ground/product.h"
#include "ground/seams.h"

namespace segmora {

void ShowCheckFailure(QWidget* owner, const JobCheckResult& result) {
    if (result.passed())
        return;
    showMessage(owner, MessageIcon::Information, result.title, result.text);
}

bool AskOverwrite(QWidget* owner) {
    return askYesNo(owner, QStringLiteral("Overwrite"),
                    QStringLiteral("The output file is existent. Overwrite it?"));
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
