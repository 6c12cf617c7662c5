// The main window's range marking: the marking buttons, the start and end time fields, the
// mark labels under the position bar, and the keys of the preview.
#include "app/main_form.h"

#include "ground/error_guard.h"
#include "ground/time_text.h"
#include "job/cut_list.h"
#include "media/filter_graph.h"
#include "media/keyframe_index.h"
#include "media/marking_keys.h"
#include "media/range_marks.h"
#include "media/track_bar.h"
#include "media/video_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <cmath>
#include <utility>

namespace segmora {
namespace {

// The field's own text in canonical form ("1:2:3" becomes "01:02:03", "0:0:3.5" becomes
// "00:00:03.500").
void canonicalise(QLineEdit* field) {
    field->setText(SecondsToMarkText(TimeTextToSeconds(field->text())));
}

// Where a time stands on the bar, in its units with their fraction: a zoomed bar spreads its
// view over its whole range, a time outside it stands at the nearer end.
double barUnits(const TDSTrackBar* bar, double seconds) {
    if (bar->Zoomed()) {
        const double fraction = (seconds - bar->ViewFrom()) / (bar->ViewTo() - bar->ViewFrom());
        return bar->Min() + qBound(0.0, fraction, 1.0) * (bar->Max() - bar->Min());
    }
    return seconds * 1000.0 / double(qMax(1u, bar->TimerInterval()));
}

// Whether the start mark sits on a keyframe, told by the start label's tool tip and to
// assistive technology; nothing while the keyframes are not known yet.
void describeStartMark(TMainForm* form) {
    QString text;
    const KeyframeIndex* index = form->keyframeIndex;
    if (index && index->Ready() && !index->Keyframes().isEmpty()) {
        text = IsKeyframeTime(index->Keyframes(), form->tkbProgress->SelStartSeconds())
                   ? QStringLiteral("The Start Time is on a keyframe: a cut without re-encoding "
                                    "starts exactly here.")
                   : QStringLiteral("The Start Time is between keyframes.");
    }
    form->labStart->setToolTip(text);
    form->labStart->setAccessibleDescription(text);
}

// The start mark's label, captioned from the Start Time field, and the length sentence.
void showStartMark(TMainForm* form) {
    form->labStart->setText(QStringLiteral("[ ") + form->edtStart->text());
    form->labStart->adjustSize();
    form->labStart->show();
    form->PlaceMarkLabels();
    const TDSTrackBar* bar = form->tkbProgress;
    form->labLength->show();
    form->labLength->setText(LengthLine(bar->SelStartSeconds(), bar->SelEndSeconds(),
                                        bar->SelEndSeconds() - bar->SelStartSeconds()));
    describeStartMark(form);
}

// The same for the end mark; the length sentence counts up to endSeconds.
void showEndMark(TMainForm* form, double endSeconds) {
    form->labEnd->setText(form->edtEnd->text() + QStringLiteral(" ]"));
    form->labEnd->adjustSize();
    form->labEnd->show();
    form->PlaceMarkLabels();
    const TDSTrackBar* bar = form->tkbProgress;
    form->labLength->show();
    form->labLength->setText(LengthLine(bar->SelStartSeconds(), bar->SelEndSeconds(),
                                        endSeconds - bar->SelStartSeconds()));
}

// The keyframe before or after the frame on screen: from the index once it is built, from
// libmpv's own index until then.
void goToKeyframe(TMainForm* form, bool forward) {
    FilterGraph* graph = form->filterGraph;
    const KeyframeIndex* index = form->keyframeIndex;
    if (!index->Ready() || index->Keyframes().isEmpty()) {
        graph->SeekKeyframe(forward);
        return;
    }
    const double here = graph->ExactPosition();
    const double target = forward ? NextKeyframe(index->Keyframes(), here)
                                  : PreviousKeyframe(index->Keyframes(), here);
    if (target >= 0) {
        graph->SeekToSeconds(target);
        form->FollowPicture(target);
    }
}

void pressMarkingKey(TMainForm* form, MarkingKey key) {
    FilterGraph* graph = form->filterGraph;
    TDSTrackBar* bar = form->tkbProgress;
    switch (key) {
    case MarkingKey::None:
        return;
    case MarkingKey::PlayPause:
        if (graph->IsPlaying())
            form->imgPauseClick();
        else
            form->imgPlayClick();
        return;
    case MarkingKey::MarkStart:
        form->imgSelStartClick();
        return;
    case MarkingKey::MarkEnd:
        form->imgSelEndClick();
        return;
    case MarkingKey::AddRange:
        form->btnAddRangeClick();
        return;
    default:
        break;
    }
    if (!graph->HasMedia())
        return;
    switch (key) {
    case MarkingKey::FrameBack:
    case MarkingKey::FrameForward:
        // The label and the thumb follow once the frame is shown (FollowPicture).
        graph->StepFrame(key == MarkingKey::FrameForward);
        return;
    case MarkingKey::KeyframeBack:
    case MarkingKey::KeyframeForward:
        goToKeyframe(form, key == MarkingKey::KeyframeForward);
        return;
    case MarkingKey::ToMarkStart:
    case MarkingKey::ToMarkEnd: {
        const double target =
            key == MarkingKey::ToMarkStart ? bar->SelStartSeconds() : bar->SelEndSeconds();
        graph->SeekToSeconds(target);
        form->FollowPicture(target);
        return;
    }
    default:
        break;
    }
    const qint64 target = KeySeekTarget(key, graph->CurrentPosition(), graph->Duration());
    graph->SeekTo(target);
    // The thumb and the current-position label follow at once, also while paused, so a mark
    // set right after the seek takes the new place.
    form->FollowPicture(double(target) / 1000.0);
}

} // namespace

void TMainForm::FollowPicture(double seconds) {
    // While a job runs the label shows the job's values; while the thumb is held it is the
    // user's.
    if (JobState != JobIdle || tkbProgress->Tracking())
        return;
    const qint64 unit = qMax<qint64>(1, tkbProgress->TimerInterval());
    tkbProgress->SetPosition(
        int(qBound<double>(0, std::floor(seconds * 1000.0 / double(unit)), tkbProgress->Max())));
    tkbProgress->SetShownSeconds(seconds);
    labCurrent->setText(PositionText(seconds, filterGraph->IsPlaying()));
}

void TMainForm::StartKeyframeIndex(const QString& path) {
    tkbProgress->SetKeyframes({});
    keyframeIndex->Open(path);
}

void TMainForm::PlaceMarkLabels() {
    // The labels share the panel's width under the bar: the start label's left edge at the start
    // mark, the end label's right edge at the end mark, never over each other or the edge. The
    // marks stand at their exact times, fractions included.
    const TDSTrackBar* bar = tkbProgress;
    const int top = bar->geometry().bottom() + 4;
    const MarkLabelRoom room{2, panLeft->width() - 2, top, labStart->height()};
    const MarkLabelPlaces places = segmora::PlaceMarkLabels(
        StartLabelLeft(barUnits(bar, bar->SelStartSeconds()), bar->Max(), bar->x(), bar->width()),
        labStart->width(),
        EndLabelLeft(barUnits(bar, bar->SelEndSeconds()), bar->Max(), bar->x(), bar->width(), 0),
        labEnd->width(), !labStart->isHidden() && !labEnd->isHidden(), room);
    labStart->move(places.startLeft, top);
    labEnd->move(places.endLeft, places.endTop);
}

void TMainForm::SetMarkStart(double seconds) {
    if (!SourceLoaded)
        return;
    const double x = ClampMark(seconds, filterGraph->Duration());
    tkbProgress->SetSelStartSeconds(x);
    // The field keeps what was typed (canonical), even beyond the end: the split job judges it.
    canonicalise(edtStart);
    showStartMark(this);
    RecordMarks();
}

void TMainForm::SetMarkEnd(double seconds) {
    if (!SourceLoaded)
        return;
    const double x = ClampMark(seconds, filterGraph->Duration());
    tkbProgress->SetSelEndSeconds(x);
    canonicalise(edtEnd);
    // The unclamped end: 90.4 s from the start shows 00:01:30 even though the mark is at 90.
    showEndMark(this, x);
    RecordMarks();
}

void TMainForm::MarkWholeSource() {
    ShowMarks(0, double(filterGraph->Duration()) / 1000.0);
}

void TMainForm::imgSelStartClick() {
    if (!SourceLoaded)
        return;
    // The frame on screen, playing or paused; its time as the mark, so the clip starts with it.
    const double seconds = FrameMarkSeconds(filterGraph->ExactPosition());
    tkbProgress->SetSelStartSeconds(seconds);
    edtStart->setText(SecondsToMarkText(seconds));
    showStartMark(this);
    RecordMarks();
}

void TMainForm::imgSelEndClick() {
    if (!SourceLoaded)
        return;
    // The frame on screen as the end; at the last frame, the end of the source, which holds it.
    const double frameRate = filterGraph->FrameRate();
    const double seconds = EndMarkSeconds(
        filterGraph->ExactPosition(), frameRate > 0 ? 1.0 / frameRate : 0, filterGraph->Duration());
    tkbProgress->SetSelEndSeconds(seconds);
    edtEnd->setText(SecondsToMarkText(seconds));
    showEndMark(this, seconds);
    RecordMarks();
}

void TMainForm::imgEraseClick() {
    if (!SourceLoaded)
        return;
    tkbProgress->SetSelStart(0);
    tkbProgress->SetSelEnd(0);
    edtStart->setText(SecondsToTimeText(0));
    edtEnd->setText(SecondsToTimeText(0));
    labStart->hide();
    labEnd->hide();
    // labLength keeps its last sentence and stays visible.
    if (!m_showingCutList)
        cutList->clearMarks();
}

void TMainForm::ShowMarks(double start, double end) {
    if (start == 0 && end == 0) {
        const bool showing = std::exchange(m_showingCutList, true);
        imgEraseClick();
        m_showingCutList = showing;
        return;
    }
    tkbProgress->SetSelStartSeconds(start);
    tkbProgress->SetSelEndSeconds(end);
    edtStart->setText(SecondsToMarkText(start));
    edtEnd->setText(SecondsToMarkText(end));
    // The end label first, so the start label's length sentence already counts to the end.
    labEnd->setText(edtEnd->text() + QStringLiteral(" ]"));
    labEnd->adjustSize();
    labEnd->show();
    showStartMark(this);
}

void TMainForm::edtStartExit() {
    if (!SourceLoaded)
        return;
    const double seconds = TimeTextToSeconds(edtStart->text());
    // An invalid text stays as typed; the split job refuses it when it starts.
    if (seconds != -1)
        SetMarkStart(seconds);
}

void TMainForm::edtEndExit() {
    if (!SourceLoaded)
        return;
    const double seconds = TimeTextToSeconds(edtEnd->text());
    if (seconds != -1)
        SetMarkEnd(seconds);
}

void TMainForm::edtStartKeyPress() {
    edtStartExit();
}

void TMainForm::edtEndKeyPress() {
    edtEndExit();
}

void TMainForm::edtSectionQtyClick() {
    rdbEqual->setChecked(true);
}

void TMainForm::InstallMarkingKeys() {
    // The keys without a button of their own are told where the picture is and on the bar.
    const QString keys = QStringLiteral(
        "Space: play or pause. I / O: set the Start / End Time (with Shift: go to it). Left / "
        "Right: one second back / forward (with Shift: ten seconds, with Ctrl: the keyframe "
        "before / after). , / .: one frame back / forward. Home / End: go to the start / end.");
    imgScreen->setToolTip(keys);
    videoWindow->setToolTip(keys);
    tkbProgress->setToolTip(keys);
    tkbProgress->setAccessibleDescription(keys);

    // The position label and the thumb follow the picture, also while paused and after a seek
    // or a step.
    connect(filterGraph, &FilterGraph::positionChanged, this,
            [this](double seconds) { FollowPicture(seconds); });
    keyframeIndex = new KeyframeIndex(this);
    keyframeIndex->setObjectName(QStringLiteral("KeyframeIndex"));
    connect(keyframeIndex, &KeyframeIndex::ready, this, [this] {
        tkbProgress->SetKeyframes(keyframeIndex->Keyframes());
        describeStartMark(this);
        ShowCutLandings();
    });
    new MarkingKeyFilter(this, [this](MarkingKey key) {
        // Keys act like the buttons: not before a source is open, and not while a job runs
        // (its buttons and bar are disabled then).
        if (!SourceLoaded || JobState != JobIdle || key == MarkingKey::None)
            return false;
        guarded(this, [&] {
            if (!PressTimelineKey(key))
                pressMarkingKey(this, key);
        });
        return true;
    });
}

} // namespace segmora
