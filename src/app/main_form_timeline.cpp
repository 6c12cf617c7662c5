// The main window's timeline: the waveform and thumbnail strips along the position bar, its
// zoom and the labels that follow it, the jumps to scene changes, black frames and silences,
// where a lossless cut really starts, and the snapshot of the picture shown.
#include "app/main_form.h"

#include "ground/error_guard.h"
#include "ground/object_names.h"
#include "ground/time_text.h"
#include "job/section_plan.h"
#include "media/filter_graph.h"
#include "media/keyframe_index.h"
#include "media/marking_keys.h"
#include "media/timeline_marks.h"
#include "media/timeline_scan.h"
#include "media/timeline_strips.h"
#include "media/track_bar.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QToolTip>

#include <cmath>

namespace segmora {
namespace {

const QString kLandingLayer = QStringLiteral("lossless start");
const QColor kLandingColor(230, 120, 20);
constexpr int kThumbnailStripHeight = 30;
constexpr int kWaveformStripHeight = 18;

// The next (or previous) of sorted times from the frame on screen; -1 when there is none.
double jumpTarget(const QVector<double>& times, double here, bool forward) {
    return forward ? NextTime(times, here) : PreviousTime(times, here);
}

} // namespace

void TMainForm::createTimelinePanel() {
    panTimeline = named(new QWidget(panLeft), "panTimeline");
    stripThumbnails =
        named(new TimelineStrip(TimelineStrip::Kind::Thumbnails, tkbProgress, panTimeline),
              "stripThumbnails");
    stripThumbnails->setFixedHeight(kThumbnailStripHeight);
    stripWaveform =
        named(new TimelineStrip(TimelineStrip::Kind::Waveform, tkbProgress, panTimeline),
              "stripWaveform");
    stripWaveform->setFixedHeight(kWaveformStripHeight);
    btnSnapshot = named(new QToolButton(panTimeline), "btnSnapshot");
    btnSnapshot->setText(QStringLiteral("Snapshot"));
    btnSnapshot->setToolTip(
        QStringLiteral("Save the picture shown as PNG beside the video (Ctrl+S)"));
    btnSnapshot->setAccessibleName(QStringLiteral("Snapshot"));
    btnSnapshot->setAccessibleDescription(btnSnapshot->toolTip());
    // Under the position label's column, so the strips are as wide as the bar.
    btnSnapshot->setFixedWidth(76);
    btnSnapshot->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

    auto* grid = new QGridLayout(panTimeline);
    grid->setContentsMargins(4, 3, 0, 0);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(1);
    grid->addWidget(stripThumbnails, 0, 0);
    grid->addWidget(stripWaveform, 1, 0);
    grid->addWidget(btnSnapshot, 0, 1, 2, 1);
    grid->setColumnStretch(0, 1);
    panTimeline->hide();
}

void TMainForm::InstallTimeline() {
    timelineScans = new TimelineScans(this);
    timelineScans->setObjectName(QStringLiteral("TimelineScans"));
    connect(timelineScans, &TimelineScans::soundReady, this,
            [this] { stripWaveform->SetSound(timelineScans->Sound()); });
    connect(timelineScans, &TimelineScans::thumbnailsReady, this, guardedSlot(this, [this] {
                stripThumbnails->SetPictures(timelineScans->Pictures());
                ShowCutLandings();
            }));
    const auto seek = [this](double seconds) {
        guarded(this, [&] {
            if (!SourceLoaded || JobState != JobIdle || !filterGraph->HasMedia())
                return;
            filterGraph->SeekToSeconds(seconds);
            FollowPicture(seconds);
        });
    };
    stripThumbnails->SetSeekHandler(seek);
    stripWaveform->SetSeekHandler(seek);
    connect(tkbProgress, &TDSTrackBar::viewChanged, this,
            guardedSlot(this, &TMainForm::ShowViewTimes));
    connect(tkbProgress, &TDSTrackBar::viewChanged, this,
            guardedSlot(this, &TMainForm::PlaceMarkLabels));
    connect(tkbProgress, &TDSTrackBar::selectionChanged, this,
            guardedSlot(this, &TMainForm::ShowCutLandings));
    connect(cmbProfile, &QComboBox::currentIndexChanged, this,
            guardedSlot(this, &TMainForm::ShowCutLandings));
    connect(rdbEqual, &QRadioButton::toggled, this, guardedSlot(this, &TMainForm::ShowCutLandings));
    connect(edtSectionQty, &QLineEdit::textChanged, this,
            guardedSlot(this, &TMainForm::ShowCutLandings));
    connect(btnSnapshot, &QToolButton::clicked, this,
            guardedSlot(this, &TMainForm::btnSnapshotClick));
}

void TMainForm::StartTimelineScans(const QString& path) {
    stripThumbnails->Clear();
    stripWaveform->Clear();
    tkbProgress->SetPaintedRanges(kLandingLayer, {});
    const double frameRate = filterGraph->FrameRate();
    tkbProgress->SetFrameSeconds(frameRate > 0 ? 1.0 / frameRate : 0);
    tkbProgress->ZoomWhole();
    ShowViewTimes();
    // The preview gives up what the strips take at the default size.
    imgScreen->setMinimumHeight(
        qMax(0, imgScreen->sizeHint().height() - panTimeline->sizeHint().height()));
    panTimeline->show();
    timelineScans->Open(path, double(filterGraph->Duration()) / 1000.0, m_context.cacheFolder());
}

void TMainForm::ShowViewTimes() {
    if (!SourceLoaded)
        return;
    if (!tkbProgress->Zoomed()) {
        // The source's start, half and length, as before any zoom.
        const qint64 duration = filterGraph->Duration();
        labLeft->setText(SecondsToTimeText(0));
        labMiddle->setText(SecondsToTimeText(double(duration) / 2000.0));
        labRight->setText(SecondsToTimeText(double(duration) / 1000.0));
        return;
    }
    // A zoomed view can be shorter than a second: its ends to the millisecond.
    const double from = tkbProgress->ViewFrom();
    const double to = tkbProgress->ViewTo();
    const auto text = [](double seconds) {
        return SecondsToMarkText(std::round(seconds * 1000.0) / 1000.0);
    };
    labLeft->setText(text(from));
    labMiddle->setText(text((from + to) / 2));
    labRight->setText(text(to));
}

void TMainForm::ShowCutLandings() {
    QVector<CutLanding> landings;
    const std::shared_ptr<const PictureScan> pictures = timelineScans->Pictures();
    if (SourceLoaded && pictures && keyframeIndex->Ready() &&
        cmbProfile->currentText() == kSourceSettingsProfileName) {
        // The start of every clip the job would make: the range's, or each equal section's.
        const double start = tkbProgress->SelStartSeconds();
        const double end = tkbProgress->SelEndSeconds();
        QVector<double> starts{start};
        bool counted = false;
        const int sections = edtSectionQty->text().toInt(&counted);
        if (rdbEqual->isChecked() && counted && sections > 1 && sections <= 1000) {
            starts.clear();
            for (const Section& section :
                 PlanSections(start, end, sections, filterGraph->Duration()))
                starts.append(section.start);
        }
        landings = LosslessCutLandings(starts, keyframeIndex->Keyframes(), pictures->codecName,
                                       pictures->intraOnly);
    }
    QVector<PaintedRange> ranges;
    for (const CutLanding& landing : landings)
        ranges.append({landing.lands, landing.asked, kLandingColor, CutLandingText(landing)});
    tkbProgress->SetPaintedRanges(kLandingLayer, ranges);
    const QString text = landings.isEmpty() ? QString() : CutLandingText(landings.first());
    for (QLineEdit* field : {edtStart, edtEnd}) {
        field->setToolTip(text);
        field->setAccessibleDescription(text);
    }
}

QString TMainForm::SaveSnapshot() {
    if (!SourceLoaded || !filterGraph->HasMedia())
        return {};
    const double seconds = filterGraph->ExactPosition();
    const QString path = SnapshotPath(m_openSource, seconds);
    WriteSnapshot(filterGraph->GrabFrame(), path);
    return path;
}

void TMainForm::btnSnapshotClick() {
    const QString path = SaveSnapshot();
    if (path.isEmpty())
        return;
    // Said where the button is, and to assistive technology; no box to dismiss.
    const QString saved = QStringLiteral("Saved ") + path;
    btnSnapshot->setAccessibleDescription(saved);
    QToolTip::showText(btnSnapshot->mapToGlobal(QPoint(0, btnSnapshot->height())), saved,
                       btnSnapshot);
}

bool TMainForm::PressTimelineKey(MarkingKey key) {
    const double here = filterGraph->ExactPosition();
    const std::shared_ptr<const SoundScan> sound = timelineScans->Sound();
    const std::shared_ptr<const PictureScan> pictures = timelineScans->Pictures();
    QVector<double> times;
    bool forward = false;
    switch (key) {
    case MarkingKey::ZoomIn:
    case MarkingKey::ZoomOut:
        tkbProgress->ZoomBy(key == MarkingKey::ZoomIn ? 2.0 : 0.5, here);
        return true;
    case MarkingKey::ZoomWhole:
        tkbProgress->ZoomWhole();
        return true;
    case MarkingKey::Snapshot:
        btnSnapshotClick();
        return true;
    case MarkingKey::SceneForward:
        forward = true;
        [[fallthrough]];
    case MarkingKey::SceneBack:
        if (pictures)
            times = pictures->sceneChanges;
        break;
    case MarkingKey::BlackForward:
        forward = true;
        [[fallthrough]];
    case MarkingKey::BlackBack:
        if (pictures)
            times = SpanStarts(pictures->blackFrames);
        break;
    case MarkingKey::SilenceForward:
        forward = true;
        [[fallthrough]];
    case MarkingKey::SilenceBack:
        if (sound)
            times = SpanStarts(sound->silences);
        break;
    default:
        return false;
    }
    // Until the scan has found them there is nowhere to go; the key does nothing.
    const double target = jumpTarget(times, here, forward);
    if (target >= 0 && filterGraph->HasMedia()) {
        filterGraph->SeekToSeconds(target);
        FollowPicture(target);
    }
    return true;
}

} // namespace segmora
