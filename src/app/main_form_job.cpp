// The main window's side of a split job: Start, the running look, the progress display and
// timer, Cancel, the close query and the hand-over to the completion step.
#include "app/main_form.h"

#include "app/picture_button.h"
#include "app/setting_form.h"
#include "ground/error_guard.h"
#include "job/completion.h"
#include "job/cut_list.h"
#include "job/job_controller.h"
#include "job/job_messages.h"
#include "job/job_request.h"
#include "job/progress_parser.h"
#include "job/split_job.h"
#include "media/filter_graph.h"
#include "media/track_bar.h"
#include "profiles/profile_arguments.h"
#include "profiles/profile_editor_form.h"
#include "profiles/profile_file.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <utility>

namespace segmora {
namespace {

// The extension clips get when no profile has been loaded into the editor yet.
const QString kDefaultOutputExtension = QStringLiteral(".mp4");

QString percentText(int percent) {
    return QString::number(percent) + QLatin1Char('%');
}

bool ticked(const QCheckBox* box) {
    return box && box->isChecked();
}

// The position bar and the playback and marking buttons, which a running job takes away.
void setPreviewControlsEnabled(TMainForm* form, bool enabled) {
    form->tkbProgress->setEnabled(enabled);
    for (PictureButton* button : {form->imgPlay, form->imgPause, form->imgStop, form->imgSelStart,
                                  form->imgSelEnd, form->imgErase})
        button->setEnabled(enabled);
    // The list and its history stay as they are while a job cuts them.
    form->panCutList->setEnabled(enabled);
    form->actUndo->setEnabled(enabled && form->cutList->canUndo());
    form->actRedo->setEnabled(enabled && form->cutList->canRedo());
}

} // namespace

void TMainForm::imgStartClick() {
    // The circle test is the button's own: a press outside it never reaches this handler, and a
    // press from the keyboard or assistive technology counts as one at the centre.
    const ProfileValues values = opSettingForm ? opSettingForm->values() : ProfileValues{};
    RunSplitJob(BuildProfileArguments(m_context.profilePath(cmbProfile->currentText()), values));
}

void TMainForm::RunSplitJob(const QString& profileArguments) {
    // Start is hidden while a job runs; this also keeps a direct call from nesting a second job.
    // While a source loads, the fields still hold the previous source's marks and the player
    // is busy: a press then starts nothing.
    if (m_runningJob || JobState != JobIdle || OpeningSource())
        return;

    JobRequest request;
    request.sourcePath = SourceToCut();
    request.startText = edtStart->text();
    request.endText = edtEnd->text();
    request.mode = rdbStartEnd->isChecked() ? JobMode::StartEnd
                   : rdbEqual->isChecked()  ? JobMode::Equal
                                            : JobMode::CutList;
    request.ranges = cutList->ranges();
    request.cutListMode =
        cmbCutListMode->currentIndex() == 1 ? CutListMode::Remove : CutListMode::Keep;
    request.joinRanges = chkJoinRanges->isChecked();
    request.sectionQtyText = edtSectionQty->text();
    request.profileName = cmbProfile->currentText();
    request.profileFileExists = QFileInfo(m_context.profilePath(request.profileName)).isFile();
    if (request.profileFileExists)
        request.profileProblem = ProfileFileProblem(m_context.profilePath(request.profileName));
    request.outputFolderText = edtOutputDir->text();
    request.profileExtension = opSettingForm ? opSettingForm->OutputExtension() : QString();
    if (request.profileExtension.isEmpty())
        request.profileExtension = kDefaultOutputExtension;
    request.durationMs = filterGraph ? filterGraph->Duration() : 0;
    const double frameRate = filterGraph ? filterGraph->FrameRate() : 0;
    request.frameSeconds = frameRate > 0 ? 1.0 / frameRate : 0;
    // Start refuses a source no demuxer took as an invalid file, not as a bad time.
    request.sourceOpens = m_refusedSource.isEmpty() || request.sourcePath != m_refusedSource;

    const JobCheckResult checked = CheckJobRequest(request);
    if (!checked.passed()) {
        ShowCheckFailure(this, checked);
        QWidget* field = nullptr;
        switch (checked.focus) {
        case JobField::Source:
            field = edtSource;
            break;
        case JobField::SectionQty:
            field = edtSectionQty;
            break;
        case JobField::Profile:
            field = cmbProfile;
            break;
        case JobField::OutputFolder:
            field = edtOutputDir;
            break;
        case JobField::CutList:
            ShowCutListPanel(true);
            field = grdCutList;
            break;
        case JobField::None:
            break;
        }
        if (field)
            field->setFocus(Qt::OtherFocusReason);
        return;
    }

    EnterJobState();
    JobState = JobRunning;
    m_closingDuringJob = false;

    // Owned by the window until its end has been shown; a window destroyed meanwhile ends its
    // converters with it.
    auto* job = new JobController(
        MakeSplitJobPlan(request, checked, ConverterPath(), profileArguments,
                         ticked(settingForm ? settingForm->chkOverwrite : nullptr)),
        this);
    job->confirmOverwrite = [this](const QString& output) { return AskOverwrite(this, output); };
    connect(job, &JobController::stateChanged, this,
            guardedSlot(this, [this](JobController::State state) {
                // The window stays "running" while the completion step runs; it goes idle itself.
                if (state == JobController::State::Running ||
                    state == JobController::State::CancelRequested)
                    JobState = static_cast<int>(state);
            }));
    connect(job, &JobController::sectionStarted, this,
            guardedSlot(this, [this](int, const QString& processingText) {
                // A long file name would run off the panel: it is shortened in the middle,
                // keeping its end and extension in view, and the whole line stays in the tip.
                labProcessing->setText(labProcessing->fontMetrics().elidedText(
                    processingText, Qt::ElideMiddle, labProcessing->width()));
                labProcessing->setToolTip(processingText);
                // A screen reader reads the whole line, not the shortened one.
                labProcessing->setAccessibleName(processingText);
            }));
    connect(job, &JobController::progressChanged, this,
            guardedSlot(this, [this](int, int current, int total) {
                pgbCurrent->setValue(current);
                pgbTotal->setValue(total);
                labCurProgress->setText(percentText(pgbCurrent->value()));
                labTotalProgress->setText(percentText(pgbTotal->value()));
            }));
    // The labels keep the finished section's figures until the next section reports.
    connect(job, &JobController::sectionEnded, this,
            guardedSlot(this, [this] { pgbCurrent->setValue(0); }));
    connect(job, &JobController::timesChanged, this,
            guardedSlot(this, [this](const QString& elapsed, const QString& remaining) {
                labElapsed->setText(elapsed);
                labRemaining->setText(remaining);
            }));
    // The end is shown from the event loop, once the handler that ended the job (a Cancel, the
    // close question, a converter's end) has returned.
    connect(job, &JobController::finished, this, guardedSlot(this, [this, job] {
                QMetaObject::invokeMethod(this,
                                          guardedSlot(this, [this, job] { ShowSplitJobEnd(job); }),
                                          Qt::QueuedConnection);
            }));

    // Start's handler returns now; Cancel, the close question and the timer find the job here.
    m_runningJob = job;
    job->start();
}

void TMainForm::ShowSplitJobEnd(JobController* job) {
    if (job != m_runningJob)
        return;
    m_runningJob = nullptr;
    job->deleteLater();
    const bool closeNow = std::exchange(m_closingDuringJob, false);
    const bool closeAfter = std::exchange(m_closeAfterJobEnd, false);
    if (closeNow) {
        // Closing was agreed during the job: its converters are gone, the window goes quietly.
        LeaveJobState();
        close();
        return;
    }
    ShowSplitJobResult(job->result());
    if (closeAfter)
        close();
}

void TMainForm::ShowSplitJobResult(const SplitJobResult& result) {
    switch (result.end) {
    case SplitJobEnd::Completed:
        break;
    case SplitJobEnd::Cancelled:
    case SplitJobEnd::OverwriteRefused:
        LeaveJobState();
        return;
    case SplitJobEnd::StartFailed:
    case SplitJobEnd::Failed:
        // A failed converter is never reported as success, and the sections after it do not run.
        ShowJobEnd(this, result);
        LeaveJobState();
        return;
    }

    CompletionContext completion;
    completion.mainWindow = this;
    completion.countDown = countDownForm;
    // Without a countdown dialog a countdown could never end, so only the message is left.
    if (countDownForm && settingForm) {
        completion.turnOffTicked = ticked(settingForm->chkTurnoff);
        completion.exitTicked = ticked(settingForm->chkExit);
    }
    completion.openDirTicked = ticked(settingForm ? settingForm->chkOpenDir : nullptr);
    completion.outputFolderText = edtOutputDir->text();
    completion.stopJobTimers = [this] {
        tmrPreview->stop();
        tmrProcess->stop();
    };
    completion.setJobState = [this](int state) { JobState = state; };
    completion.leaveJobState = [this] { LeaveJobState(); };
    completion.completedText = CompletedText(result);
    completion.shortClipsText = ShortClipsText(result.shortClips);
    completion.failedChecksText = FailedChecksText(result.failedChecks);
    completion.keyframeCutsText = KeyframeCutsText(result.keyframeCuts, result.keyframeCutsAsked);
    completion.leftOutText = LeftOutStreamsText(result.leftOut);
    RunCompletionStep(completion);
}

void TMainForm::EnterJobState() {
    if (filterGraph)
        filterGraph->Stop();
    ElapsedSeconds = 0;
    tmrPreview->start();
    tmrProcess->start();

    setPreviewControlsEnabled(this, false);

    imgStart->hide();
    imgCancel->ResetLook();
    imgCancel->show();

    tbtnOpen->setEnabled(false);
    tbtnSettings->setEnabled(false);

    pgbCurrent->setValue(0);
    pgbTotal->setValue(0);
    labCurProgress->setText(percentText(0));
    labTotalProgress->setText(percentText(0));
    labElapsed->clear();
    labRemaining->clear();

    panProgress->show();
}

void TMainForm::LeaveJobState() {
    tmrPreview->stop();
    tmrProcess->stop();

    setPreviewControlsEnabled(this, true);

    imgStart->ResetLook();
    imgStart->show();
    imgCancel->hide();

    tbtnOpen->setEnabled(true);
    tbtnSettings->setEnabled(true);

    panProgress->hide();
    JobState = JobIdle;
    // The job stopped the preview: the thumb and the label go back to the frame shown, so a
    // mark set next is that frame.
    FollowPicture(filterGraph->ExactPosition());
}

void TMainForm::tmrProcessTimer() {
    if (m_runningJob) {
        // The job counts its own seconds and sends the texts through timesChanged().
        m_runningJob->tick();
        ElapsedSeconds = static_cast<int>(m_runningJob->elapsedSeconds());
        return;
    }
    ++ElapsedSeconds;
    const JobTimeTexts texts = ProcessTimerTexts(ElapsedSeconds, pgbTotal->value());
    labElapsed->setText(texts.elapsed);
    labRemaining->setText(texts.remaining);
}

void TMainForm::imgCancelClick() {
    if (JobState != JobRunning)
        return;
    JobController* const job = m_runningJob;
    // A job that has just ended is about to show its end: there is nothing left to cancel.
    if (job && job->hasEnded())
        return;
    // While the question is open the job starts no section and does not end.
    if (job)
        job->hold();
    const bool yes = AskCancelSplitting(this);
    const bool sameJob = job && m_runningJob == job;
    if (sameJob)
        job->release();
    if (!yes || JobState != JobRunning)
        return;
    // Ends the converters, even one that is silent right now; when the last clip was finished
    // meanwhile, the job completes as usual instead. The job sets JobState.
    if (sameJob)
        job->cancel();
    else
        JobState = JobCancelRequested;
}

void TMainForm::FormCloseQuery(bool& canClose) {
    canClose = true;
    if (JobState != JobRunning)
        return;
    JobController* const job = m_runningJob;
    if (job && job->hasEnded()) {
        // The job has just ended: its end is shown first, then the window closes, as it would
        // for a close that came a moment later.
        m_closeAfterJobEnd = true;
        canClose = false;
        return;
    }
    if (job)
        job->hold();
    const bool yes = AskCancelAndExit(this);
    const bool sameJob = job && m_runningJob == job;
    if (sameJob)
        job->release();
    if (!yes) {
        canClose = false;
        return;
    }
    if (sameJob) {
        // The window stays until the job reports that its converters are ended and reaped and
        // their temporary files removed, so none outlives the program; then it closes itself.
        m_closingDuringJob = true;
        canClose = false;
        job->cancel();
    } else {
        JobState = JobCancelRequested;
    }
}

} // namespace segmora
