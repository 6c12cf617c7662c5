// The last step of a split job: a countdown to power-off or exit, or the success message with
// the optional opening of the output folder.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace segmora {

class TCountDownForm;

// What the completion step reads and does on the main window and the Settings dialog, handed
// in by the job so that this step depends on neither class. The three choices are the check
// boxes' state at the moment the job ends, saved or not.
struct CompletionContext {
    QWidget* mainWindow = nullptr; // owner of the success message
    TCountDownForm* countDown = nullptr;

    bool turnOffTicked = false; // chkTurnoff
    bool exitTicked = false;    // chkExit
    bool openDirTicked = false; // chkOpenDir
    QString outputFolderText;   // edtOutputDir, exactly as typed
    QString completedText;    // the success message; empty: "Splitting is completed successfully."
    QString shortClipsText;   // clips that came out shorter than asked; empty when none
    QString keyframeCutsText; // clips that start at the key frame before their start; or empty
    QString leftOutText;      // clips that leave out streams of the source; or empty
    QString failedChecksText; // clips that failed their check against the source; or empty

    std::function<void()> stopJobTimers;  // tmrPreview and tmrProcess
    std::function<void(int)> setJobState; // JobState = value
    std::function<void()> leaveJobState;  // idle look, JobState 0
};

// Runs after the last section. Turning off wins over exiting, and either replaces the success
// message and the opening of the output folder:
// - turn off / exit: JobState becomes idle while the window keeps its running look, and the
//   countdown dialog is shown without waiting; the countdown's Cancel (or its close box)
//   brings back the idle look.
// - otherwise: the modal message "Splitting is completed successfully." (or completedText, which
//   says how many clips were made and kept when existing ones were kept), then, once it is
//   closed, a box naming the clips that came out short (if any), then one naming the clips
//   that failed their check against the source (if any), then one naming the clips that
//   could not be cut exactly (if any), then, if chosen, the output folder is opened on the
//   desktop (a folder that cannot be opened is not reported), then the idle look.
// Threading: UI thread, called from inside the job's guarded handler.
void RunCompletionStep(const CompletionContext& context);

// Prepares the countdown dialog for one action and shows it without waiting.
void StartCountdown(TCountDownForm& countDown, int action, const QString& doNowCaption,
                    const QString& messagePrefix);

} // namespace segmora
