// The boxes a split job shows: failed checks, the overwrite, cancel and exit questions, and
// how a job that did not complete is reported.
//
// Threading: UI thread only. Every box goes through segmora::seams(), so tests see them.
#pragma once

#include "job/job_controller.h"
#include "job/job_request.h"
#include "job/split_job.h"

class QWidget;

namespace segmora {

// The information box of a failed check (its text and title, an OK button).
void ShowCheckFailure(QWidget* owner, const JobCheckResult& result);

// "The output file is existent. Overwrite it?" (title "Overwrite") with the file's path on a
// line of its own; Yes, No, Yes to all, No to all, No the default.
JobController::OverwriteAnswer AskOverwrite(QWidget* owner, const QString& outputPath);
// "Do you want to cancel the splitting?" (title "Query"); true for Yes.
bool AskCancelSplitting(QWidget* owner);
// "Do you want to cancel the splitting and exit?" (title "Exit Query"); true for Yes.
bool AskCancelAndExit(QWidget* owner);

// What the user is told when a job ends without completing: the re-install message in the
// plain box with the application's title when the converter could not start, the failure text
// in an error box when a converter failed. A completed, cancelled or refused job shows nothing
// here (completion has its own step).
void ShowJobEnd(QWidget* owner, const SplitJobResult& result);

} // namespace segmora
