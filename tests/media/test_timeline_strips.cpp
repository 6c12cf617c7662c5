// The strips along the position bar painted offscreen from made-up scans: where the sound,
// the silences, the pictures, the black frames and the scene changes land at zoom 1 and
// zoomed, the tool tips, and the bar's zoom limits and painted stretches.
#include "media/timeline_scan.h"
#include "media/timeline_strips.h"
#include "media/track_bar.h"

#include <QHBoxLayout>
#include <QTest>
#include <QVBoxLayout>

using namespace segmora;

namespace {

// A bar of 12 s over a strip of each kind, the strips under the bar's channel.
struct Timeline {
    QWidget window;
    TDSTrackBar* bar = new TDSTrackBar;
    TimelineStrip* wave = new TimelineStrip(TimelineStrip::Kind::Waveform, bar);
    TimelineStrip* pictures = new TimelineStrip(TimelineStrip::Kind::Thumbnails, bar);

    Timeline() {
        auto* rows = new QVBoxLayout(&window);
        rows->setContentsMargins(0, 0, 0, 0);
        rows->addWidget(pictures);
        rows->addWidget(wave);
        rows->addWidget(bar);
        window.resize(400, 100);
        bar->setRange(0, 12);
        bar->SetFrameSeconds(0.04);
        rows->activate();
    }
    QImage paint(TimelineStrip* strip) const { return strip->grab().toImage(); }
};

// Sound at half scale for 12 s, quiet 3-5 s.
std::shared_ptr<SoundScan> tone() {
    auto sound = std::make_shared<SoundScan>();
    sound->peaks = QVector<float>(1200, 0.5f);
    std::fill(sound->peaks.begin() + 300, sound->peaks.begin() + 500, 0.0f);
    sound->silences = FindSilences(sound->peaks);
    sound->complete = true;
    return sound;
}

// A red keyframe at 0 s, a blue one at 6 s, black 4-5 s, a scene change at 6 s.
std::shared_ptr<PictureScan> twoScenes() {
    auto scan = std::make_shared<PictureScan>();
    QImage red(48, kThumbnailHeight, QImage::Format_RGB888);
    red.fill(QColor(220, 0, 0));
    QImage blue = red;
    blue.fill(QColor(0, 0, 220));
    scan->thumbnails = {{0.0, red}, {6.0, blue}};
    scan->blackFrames = {{4.0, 5.0}};
    scan->sceneChanges = {6.0};
    scan->thumbnailsComplete = scan->contentComplete = true;
    return scan;
}

// Whether a column of the picture holds a pixel near colour.
bool columnHas(const QImage& picture, int x, const QColor& colour, int rows = -1) {
    const int last = rows < 0 ? picture.height() : rows;
    for (int y = 0; y < last; ++y) {
        const QColor c = picture.pixelColor(x, y);
        if (qAbs(c.red() - colour.red()) < 40 && qAbs(c.green() - colour.green()) < 40 &&
            qAbs(c.blue() - colour.blue()) < 40)
            return true;
    }
    return false;
}

const QColor kWaveColour(96, 200, 140);

} // namespace

class TestTimelineStrips : public QObject {
    Q_OBJECT
private slots:
    void waveformFollowsTheView_data() {
        QTest::addColumn<double>("zoom"); // around 4 s
        QTest::addColumn<double>("loud");
        QTest::addColumn<double>("quiet");
        QTest::newRow("whole") << 1.0 << 1.0 << 4.0;
        QTest::newRow("zoomed four times") << 4.0 << 5.5 << 3.5;
        QTest::newRow("down to frames") << 100.0 << 5.1 << 4.98;
    }
    void waveformFollowsTheView() {
        QFETCH(double, zoom);
        QFETCH(double, loud);
        QFETCH(double, quiet);
        Timeline timeline;
        if (zoom > 1)
            timeline.bar->ZoomBy(zoom, zoom > 50 ? 5.0 : 4.0);
        // Before the scan has come: the empty background only.
        QImage empty = timeline.paint(timeline.wave);
        QVERIFY(!columnHas(empty, timeline.wave->XOfSeconds(loud), kWaveColour));
        timeline.wave->SetSound(tone());
        const QImage painted = timeline.paint(timeline.wave);
        QVERIFY(columnHas(painted, timeline.wave->XOfSeconds(loud), kWaveColour));
        QVERIFY(!columnHas(painted, timeline.wave->XOfSeconds(quiet), kWaveColour));
        QVERIFY(timeline.wave->TipAt(timeline.wave->XOfSeconds(quiet))
                    .endsWith(QLatin1String(": silence")));
        QVERIFY(!timeline.wave->TipAt(timeline.wave->XOfSeconds(loud))
                     .contains(QLatin1String("silence")));
    }

    void playheadMovesOverTheDrawnStrip() {
        // The strip is drawn once per view; the playhead is painted over it on every tick.
        const QColor playhead(255, 70, 70);
        const auto playheadAt = [&](const QImage& picture) {
            for (int x = 0; x < picture.width(); ++x) {
                if (columnHas(picture, x, playhead))
                    return x;
            }
            return -1;
        };
        Timeline timeline;
        timeline.wave->SetSound(tone());
        timeline.bar->setValue(1);
        const QImage first = timeline.paint(timeline.wave);
        const int was = playheadAt(first);
        QVERIFY(was >= 0);
        timeline.bar->setValue(8);
        const QImage second = timeline.paint(timeline.wave);
        const int now = playheadAt(second);
        QVERIFY(now > was);
        // Where it was, the sound shows again; where it is, it alone.
        QVERIFY(!columnHas(second, was, playhead) && columnHas(second, was, kWaveColour));
        QVERIFY(columnHas(first, now, kWaveColour));
    }

    void thumbnailsBlackFramesAndSceneChanges() {
        Timeline timeline;
        timeline.pictures->SetPictures(twoScenes());
        const QImage whole = timeline.paint(timeline.pictures);
        TimelineStrip* strip = timeline.pictures;
        // Red before 6 s, blue after, in the middle rows.
        const int middle = whole.height() / 2;
        QCOMPARE(whole.pixelColor(strip->XOfSeconds(1.5), middle).red() > 150, true);
        QCOMPARE(whole.pixelColor(strip->XOfSeconds(10.5), middle).blue() > 150, true);
        // The black frames along the bottom edge, nowhere else.
        QCOMPARE(whole.pixelColor(strip->XOfSeconds(4.5), whole.height() - 2), QColor(Qt::black));
        QVERIFY(whole.pixelColor(strip->XOfSeconds(2.0), whole.height() - 2) != QColor(Qt::black));
        QVERIFY(strip->TipAt(strip->XOfSeconds(4.5)).endsWith(QLatin1String(": black frames")));
        // The scene change: a notch from the top.
        QVERIFY(columnHas(whole, strip->XOfSeconds(6.0), QColor(255, 170, 40), 5));
        QVERIFY(!columnHas(whole, strip->XOfSeconds(3.0), QColor(255, 170, 40), 5));

        // Zoomed into 5.5-6.5 s, the cut is in the middle of the strip.
        timeline.bar->ZoomBy(12.0, 6.0);
        QVERIFY(qAbs(timeline.bar->ViewFrom() - 5.5) < 1e-6);
        const QImage zoomed = timeline.paint(strip);
        const int cut = strip->XOfSeconds(6.0);
        QVERIFY(qAbs(cut - strip->width() / 2) < 10);
        QVERIFY(columnHas(zoomed, cut, QColor(255, 170, 40), 5));
        QVERIFY(zoomed.pixelColor(cut - 30, middle).red() > 150);
        QVERIFY(zoomed.pixelColor(cut + 30, middle).blue() > 150);
    }

    void zoomLimitsAndScrolling() {
        Timeline timeline;
        TDSTrackBar* bar = timeline.bar;
        QVERIFY(!bar->Zoomed());
        QCOMPARE(bar->ViewTo(), 12.0);
        // The anchor keeps its place on the bar.
        const int before = bar->XOfSeconds(3.0);
        bar->ZoomBy(2.0, 3.0);
        QVERIFY(bar->Zoomed());
        QVERIFY(qAbs(bar->XOfSeconds(3.0) - before) <= 1);
        QCOMPARE(bar->ViewTo() - bar->ViewFrom(), 6.0);
        // Never past the ends of the source when scrolling.
        bar->ScrollView(-100);
        QCOMPARE(bar->ViewFrom(), 0.0);
        bar->ScrollView(100);
        QCOMPARE(bar->ViewTo(), 12.0);
        // Never fewer than a few frames.
        bar->ZoomBy(1e6, 10.0);
        QVERIFY(qAbs(bar->ViewTo() - bar->ViewFrom() - TDSTrackBar::kLeastFramesInView * 0.04) <
                1e-9);
        // Widened to the source or past it: zoom 1 again.
        bar->ZoomBy(1e-6, 10.0);
        QVERIFY(!bar->Zoomed());
        // A frame shown outside a zoomed view brings the view to it.
        bar->ZoomBy(4.0, 1.0);
        bar->SetShownSeconds(9.0);
        QVERIFY(bar->ViewFrom() <= 9.0 && bar->ViewTo() >= 9.0);
        // A new length is a new source: the whole of it.
        bar->setRange(0, 60);
        QVERIFY(!bar->Zoomed());
    }

    void paintedRangesShowAndTellTheirTip() {
        Timeline timeline;
        TDSTrackBar* bar = timeline.bar;
        const QColor orange(230, 120, 20);
        bar->SetPaintedRanges(QStringLiteral("a"), {{2.0, 4.0, orange, QStringLiteral("early")}});
        bar->SetPaintedRanges(QStringLiteral("b"), {{8.0, 9.0, Qt::darkGreen, QString()}});
        QCOMPARE(bar->PaintedRanges(QStringLiteral("a")).size(), 1);
        const QImage painted = bar->grab().toImage();
        const QRect channel = bar->ChannelRect();
        const int y = channel.bottom() - 1;
        QCOMPARE(painted.pixelColor(bar->XOfSeconds(3.0), y), orange);
        QCOMPARE(painted.pixelColor(bar->XOfSeconds(8.5), y), QColor(Qt::darkGreen));
        QVERIFY(painted.pixelColor(bar->XOfSeconds(6.0), y) != orange);
        // Each layer is its own: clearing one keeps the other.
        bar->SetPaintedRanges(QStringLiteral("a"), {});
        QVERIFY(bar->PaintedRanges(QStringLiteral("a")).isEmpty());
        QCOMPARE(bar->PaintedRanges(QStringLiteral("b")).size(), 1);
    }
};

QTEST_MAIN(TestTimelineStrips)
#include "test_timeline_strips.moc"
