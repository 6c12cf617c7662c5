// The main window's source intake, playback buttons, position display and dropped files.
#include "app/main_form.h"

#include "ground/app_error.h"
#include "ground/error_guard.h"
#include "ground/preferences.h"
#include "ground/rounding.h"
#include "ground/seams.h"
#include "ground/time_text.h"
#include "media/filter_graph.h"
#include "media/range_marks.h"
#include "media/source_intake.h"
#include "media/track_bar.h"
#include "media/video_window.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QScopeGuard>
#include <QUrl>

namespace segmora {

void TMainForm::TakeCommandLine(const QString& argument) {
    // A missing or unreadable list file, a file that is not there and an unsupported name all
    // open nothing: the error box says why, and start-up goes on with an empty window.
    const QString candidate = CommandLineCandidate(argument);
    if (IsOpenableSource(candidate, m_supportedExtensions))
        OpenSource(QFileInfo(candidate).absoluteFilePath());
    else if (const QString problem = CommandLineProblem(argument, m_supportedExtensions);
             !problem.isEmpty())
        showErrorBox(this, problem);
}

void TMainForm::OpenSource(const QString& path) {
    // What the window shows of the open video, put back when path cannot be played: Start
    // must never find a path in Source, or an output folder, other than the preview's.
    const QString previousSource = m_openSource;
    const QString previousOutputDir = edtOutputDir->text();
    const bool previouslyLoaded = SourceLoaded;
    const double previousPosition = filterGraph->ExactPosition();
    try {
        edtSource->setText(path);
        if (!ReadAptoticNow(m_context))
            edtOutputDir->setText(WithTrailingSeparator(QFileInfo(path).absolutePath()));
        SourceLoaded = true;
        if (!filterGraph->Active())
            filterGraph->SetActive(true);
        filterGraph->ResetGraph();
        // A file that cannot be played raises here; the labels, marks and fields keep what they
        // showed. While the player loads, events run; Start then waits (see RunSplitJob).
        ++m_sourcesOpening;
        const auto opened = qScopeGuard([this] { --m_sourcesOpening; });
        filterGraph->RenderFile(path);
    } catch (...) {
        m_refusedSource = path;
        edtSource->setText(previousSource);
        edtOutputDir->setText(previousOutputDir);
        SourceLoaded = previouslyLoaded;
        ReopenPreviousSource(previousPosition);
        throw;
    }
    m_openSource = path;
    m_refusedSource.clear();
    filterGraph->Play();

    const qint64 duration = filterGraph->Duration();
    labMiddle->setText(SecondsToTimeText(double(duration) / 2000.0));
    labRight->setText(SecondsToTimeText(double(duration) / 1000.0));
    // The bar's length in whole units now, as its first refresh a second later would set it:
    // a mark set in that second is placed against this source, not the previous one.
    tkbProgress->SetMin(0);
    tkbProgress->SetMax(int(duration / qMax<qint64>(1, tkbProgress->TimerInterval())));
    // A new video is marked whole, so Start right away cuts all of it.
    MarkWholeSource();
    TakeCutListOf(path);
    videoWindow->setVisible(true);
    JobState = JobIdle;
    // The new source's time at once, not the previous one's until the first refresh.
    FollowPicture(filterGraph->ExactPosition());
    // After the first frame is asked for: the scans only take what the preview leaves.
    StartKeyframeIndex(path);
    StartTimelineScans(path);
}

void TMainForm::ReopenPreviousSource(double position) {
    if (m_openSource.isEmpty())
        return;
    // The preview gave up the open video to load the refused one: it takes it back, paused
    // where it was, with its marks and keyframes as they were.
    try {
        ++m_sourcesOpening;
        const auto opened = qScopeGuard([this] { --m_sourcesOpening; });
        filterGraph->RenderFile(m_openSource);
        filterGraph->SeekToSeconds(position);
        FollowPicture(position);
    } catch (const AppError&) {
        // The open video has gone meanwhile too: nothing is open any more. The refusal of the
        // file asked for is the message the user sees.
        m_openSource.clear();
        edtSource->clear();
        SourceLoaded = false;
        videoWindow->hide();
    }
}

QString TMainForm::OpenSourcePath() const {
    return m_openSource;
}

bool TMainForm::sourceEdited() const {
    return edtSource->isModified() || (SourceLoaded && edtSource->text() != m_openSource);
}

QString TMainForm::SourceToCut() {
    // A path typed into Source and never confirmed is not the video on screen: the field shows
    // the open one again, and that is what is cut. Assistive technology sets the text without
    // marking it typed, so with a video open any other text counts as unconfirmed too.
    if (sourceEdited())
        edtSource->setText(m_openSource);
    return edtSource->text();
}

void TMainForm::edtSourceExit() {
    if (!sourceEdited())
        return;
    const QString path = TypedSourcePath(edtSource->text());
    if (path.isEmpty() || path == QDir::cleanPath(m_openSource) || JobState != JobIdle ||
        OpeningSource()) {
        edtSource->setText(m_openSource);
        return;
    }
    // As Open does: what cannot be played is reported and the field shows the open video.
    OpenSource(path);
}

void TMainForm::edtSourceKeyPress() {
    // Enter confirms whatever the field holds, however it got there.
    edtSource->setModified(true);
    edtSourceExit();
}

void TMainForm::tbtnOpenClick() {
    const std::optional<QString> chosen = seams().pickOpenFile(this, m_openDialogQtFilter);
    // The chosen file is opened as it is: what cannot be played is reported by the graph.
    if (chosen && !chosen->isEmpty())
        OpenSource(*chosen);
}

void TMainForm::imgPlayClick() {
    if (SourceLoaded)
        filterGraph->Play();
}

void TMainForm::imgPauseClick() {
    if (!SourceLoaded)
        return;
    // "Pause | Resume", as its hint says: a second click plays on from the frame shown.
    if (filterGraph->IsPlaying()) {
        filterGraph->Pause();
        // Paused, the label tells the frame to the millisecond.
        FollowPicture(filterGraph->ExactPosition());
    } else {
        filterGraph->Play();
    }
}

void TMainForm::imgStopClick() {
    if (!SourceLoaded)
        return;
    filterGraph->Stop();
    // Stop shows the first frame again. The bar no longer refreshes, so the thumb and the
    // position label go back with it here; otherwise they would keep the old time, and a mark
    // set next would land there instead of where the picture is.
    tkbProgress->SetPosition(0);
    labCurrent->setText(PositionText(0, false));
}

void TMainForm::tkbProgressTimer() {
    // Playing: the bar's whole seconds. Paused (after a seek by the bar, or Stop): the frame's
    // time, to the millisecond.
    if (filterGraph->IsPlaying())
        labCurrent->setText(SecondsToTimeText(tkbProgress->Position()));
    else
        labCurrent->setText(PositionText(filterGraph->ExactPosition(), false));
}

void TMainForm::tkbProgressScrub(qint64 thumbPos) {
    // The time under the thumb while it is dragged; the picture follows at keyframes.
    labCurrent->setText(PositionText(double(thumbPos) / 1000.0, filterGraph->IsPlaying()));
}

void TMainForm::tmrPreviewTimer() {
    // While a job runs the graph is stopped: the label shows the whole length and the thumb
    // stands at the end.
    const double seconds = double(filterGraph->Duration()) / 1000.0;
    labCurrent->setText(SecondsToTimeText(seconds));
    tkbProgress->SetPosition(int(RoundHalfEven(seconds)));
}

namespace {

// The action a drop of files is taken as: a copy, else a link. Never a move: the drag source
// (a file manager) would then delete the user's video once the drop is done.
Qt::DropAction fileDropAction(Qt::DropActions offered) {
    if (offered & Qt::CopyAction)
        return Qt::CopyAction;
    if (offered & Qt::LinkAction)
        return Qt::LinkAction;
    return Qt::IgnoreAction;
}

} // namespace

void TMainForm::FilesDropped(const QStringList& paths) {
    // During a job the progress panel is shown; a new source then would pull the file from
    // under the converter.
    if (!panProgress->isHidden() || JobState != JobIdle || paths.isEmpty())
        return;
    const QString& first = paths.first();
    if (IsOpenableSource(first, m_supportedExtensions))
        OpenSource(first);
}

bool TMainForm::acceptFileDrop(QDropEvent* event) {
    const Qt::DropAction action = fileDropAction(event->possibleActions());
    const bool jobShown = !panProgress->isHidden() || JobState != JobIdle;
    if (jobShown || action == Qt::IgnoreAction || !event->mimeData()->hasUrls()) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return false;
    }
    event->setDropAction(action);
    event->accept();
    return true;
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    acceptFileDrop(event);
}

void TMainForm::dragMoveEvent(QDragMoveEvent* event) {
    acceptFileDrop(event);
}

void TMainForm::dropEvent(QDropEvent* event) {
    if (!acceptFileDrop(event))
        return;
    QStringList paths;
    const QList<QUrl> urls = event->mimeData()->urls();
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    guarded(this, [&] { FilesDropped(paths); });
}

} // namespace segmora
