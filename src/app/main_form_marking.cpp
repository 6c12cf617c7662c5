// The main window's range marking: the marking buttons, the start and end time fields, the
// mark labels under the position bar, and the keys of the preview.
#include "app/main_form.h"

#include "ground/error_guard.h"
#include "ground/rounding.h"
#include "ground/time_text.h"
#include "media/filter_graph.h"
#include "media/marking_keys.h"
#include "media/range_marks.h"
#include "media/track_bar.h"
#include "media/video_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace segmora {
namespace {

// The field's own text in canonical form ("1:2:3" becomes "01:02:03").
void canonicalise(QLineEdit* field) {
    field->setText(SecondsToTimeText(TimeTextToSeconds(field->text())));
}

// The start mark's label, captioned from the Start Time field, and the length sentence.
void showStartMark(TMainForm* form) {
    form->labStart->setText(QStringLiteral("[ ") + form->edtStart->text());
    form->labStart->adjustSize();
    form->labStart->show();
    form->PlaceMarkLabels();
    const TDSTrackBar* bar = form->tkbProgress;
    form->labLength->show();
    form->labLength->setText(
        LengthLine(bar->SelStart(), bar->SelEnd(), bar->SelEnd() - bar->SelStart()));
}

// The same for the end mark; the length sentence counts up to endSeconds.
void showEndMark(TMainForm* form, double endSeconds) {
    form->labEnd->setText(form->edtEnd->text() + QStringLiteral(" ]"));
    form->labEnd->adjustSize();
    form->labEnd->show();
    form->PlaceMarkLabels();
    const TDSTrackBar* bar = form->tkbProgress;
    form->labLength->show();
    form->labLength->setText(
        LengthLine(bar->SelStart(), bar->SelEnd(), endSeconds - bar->SelStart()));
}

void pressMarkingKey(TMainForm* form, MarkingKey key) {
    FilterGraph* graph = form->filterGraph;
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
    default:
        break;
    }
    if (!graph->HasMedia())
        return;
    const qint64 target = KeySeekTarget(key, graph->CurrentPosition(), graph->Duration());
    graph->SeekTo(target);
    // The thumb and the current-position label follow at once, also while paused, so a mark
    // set right after the seek takes the new place.
    TDSTrackBar* bar = form->tkbProgress;
    bar->SetPosition(int(target / qMax<qint64>(1, bar->TimerInterval())));
    form->tkbProgressTimer();
}

} // namespace

void TMainForm::PlaceMarkLabels() {
    // The labels share the panel's width under the bar: the start label's left edge at the start
    // mark, the end label's right edge at the end mark, never over each other or the edge.
    const TDSTrackBar* bar = tkbProgress;
    const int top = bar->geometry().bottom() + 4;
    const MarkLabelRoom room{2, panLeft->width() - 2, top, labStart->height()};
    const MarkLabelPlaces places = segmora::PlaceMarkLabels(
        StartLabelLeft(bar->SelStart(), bar->Max(), bar->x(), bar->width()), labStart->width(),
        EndLabelLeft(bar->SelEnd(), bar->Max(), bar->x(), bar->width(), 0), labEnd->width(),
        !labStart->isHidden() && !labEnd->isHidden(), room);
    labStart->move(places.startLeft, top);
    labEnd->move(places.endLeft, places.endTop);
}

void TMainForm::SetMarkStart(double seconds) {
    if (!SourceLoaded)
        return;
    const double x = ClampMark(seconds, filterGraph->Duration());
    tkbProgress->SetSelStart(int(RoundHalfEven(x)));
    // The field keeps what was typed (canonical), even beyond the end: the split job judges it.
    canonicalise(edtStart);
    showStartMark(this);
}

void TMainForm::SetMarkEnd(double seconds) {
    if (!SourceLoaded)
        return;
    const double x = ClampMark(seconds, filterGraph->Duration());
    tkbProgress->SetSelEnd(int(RoundHalfEven(x)));
    canonicalise(edtEnd);
    // The unrounded end: 90.4 s from the start shows 00:01:30 even though the mark is at 90.
    showEndMark(this, x);
}

void TMainForm::imgSelStartClick() {
    if (!SourceLoaded)
        return;
    tkbProgress->SetSelStart(tkbProgress->Position());
    edtStart->setText(SecondsToTimeText(tkbProgress->Position()));
    showStartMark(this);
}

void TMainForm::imgSelEndClick() {
    if (!SourceLoaded)
        return;
    tkbProgress->SetSelEnd(tkbProgress->Position());
    edtEnd->setText(SecondsToTimeText(tkbProgress->Position()));
    showEndMark(this, tkbProgress->SelEnd());
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
    // The keys without a button of their own are told where the picture is.
    const QString keys = QStringLiteral(
        "Space: play or pause. I / O: set the Start / End Time. Left / Right: one second back / "
        "forward (with Shift: ten seconds). Home / End: go to the start / end.");
    imgScreen->setToolTip(keys);
    videoWindow->setToolTip(keys);
    new MarkingKeyFilter(this, [this](MarkingKey key) {
        // Keys act like the buttons: not before a source is open, and not while a job runs
        // (its buttons and bar are disabled then).
        if (!SourceLoaded || JobState != JobIdle || key == MarkingKey::None)
            return false;
        guarded(this, [&] { pressMarkingKey(this, key); });
        return true;
    });
}

} // namespace segmora
