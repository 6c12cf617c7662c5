// The position bar bound to a real media graph: refresh, units, seeking and the keyboard
// (SEGMORA_NEEDS_MEDIA).
#include "media/filter_graph.h"
#include "media/track_bar.h"
#include "test_support.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QSignalSpy>
#include <QTest>
#include <clocale>

using segmora::test::fixture;

namespace {

// A bar 220 pixels wide bound to an active graph holding file, paused at its start.
struct Bound {
    explicit Bound(const QString& file) {
        graph.SetActive(true);
        bar.SetFilterGraph(&graph);
        bar.resize(220, bar.sizeHint().height());
        if (!file.isEmpty())
            graph.RenderFile(fixture(file));
    }
    FilterGraph graph;
    TDSTrackBar bar;
};

// The middle of the stretch of the channel where a click gives value (found by clicking, so the
// test does not restate the bar's geometry); -1 when no click gives it.
int xFor(const TDSTrackBar& bar, int value) {
    TDSTrackBar probe;
    probe.resize(bar.size());
    probe.SetThumbLength(bar.ThumbLength());
    probe.setRange(bar.Min(), bar.Max());
    int first = -1, last = -1;
    for (int x = 0; x < bar.width(); ++x) {
        QTest::mousePress(&probe, Qt::LeftButton, {}, QPoint(x, bar.height() / 2));
        QTest::mouseRelease(&probe, Qt::LeftButton, {}, QPoint(x, bar.height() / 2));
        if (probe.Position() == value) {
            if (first < 0)
                first = x;
            last = x;
        }
    }
    return first < 0 ? -1 : (first + last) / 2;
}

} // namespace

class TestTrackBar : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // libmpv reads numbers in the C locale; tests must never make a sound.
        std::setlocale(LC_NUMERIC, "C");
        qputenv("SEGMORA_AUDIO_OUTPUT", "null");
    }

    void init() { segmora::test::failOnPlayerErrors(); }

    void startsAsTheFormExpects() {
        TDSTrackBar bar;
        QCOMPARE(bar.Max(), 10);
        QCOMPARE(bar.TimerInterval(), 1000u);
        QVERIFY(!bar.Refreshing());
        bar.RefreshTick(); // no graph: nothing happens
        QCOMPARE(bar.Max(), 10);
    }

    void refreshTakesWholeUnitsTruncated_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("seekMs");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("position");
        QTest::newRow("59.9 s gives 59") << "len59_9.mp4" << qint64(0) << 59 << 0;
        QTest::newRow("under a second gives 0") << "short0_6.mp4" << qint64(0) << 0 << 0;
        QTest::newRow("4.95 s is 4") << "counter.mp4" << qint64(4950) << 10 << 4;
        QTest::newRow("last frame of 59.9 s is 59") << "len59_9.mp4" << qint64(59900) << 59 << 59;
    }
    void refreshTakesWholeUnitsTruncated() {
        QFETCH(QString, file);
        QFETCH(qint64, seekMs);
        QFETCH(int, max);
        QFETCH(int, position);
        Bound bound(file);
        QSignalSpy ticks(&bound.bar, &TDSTrackBar::OnTimer);
        if (seekMs > 0) {
            bound.graph.SeekTo(seekMs);
            QTRY_VERIFY_WITH_TIMEOUT(bound.graph.CurrentPosition() > seekMs - 200, 3000);
        }
        bound.bar.SetMin(3);
        bound.bar.RefreshTick();
        QCOMPARE(bound.bar.Min(), 0);
        QCOMPARE(bound.bar.Max(), max);
        QCOMPARE(bound.bar.Position(), position);
        QCOMPARE(ticks.size(), 1);
        QCOMPARE(ticks.at(0).at(0).toLongLong(), bound.graph.CurrentPosition());
        QCOMPARE(ticks.at(0).at(1).toLongLong(), bound.graph.Duration());
    }

    void refreshNeedsAGraphWithAFile() {
        Bound bound{QString()};
        QSignalSpy ticks(&bound.bar, &TDSTrackBar::OnTimer);
        bound.bar.RefreshTick();
        bound.graph.RenderFile(fixture("short0_6.mp4"));
        bound.graph.SetActive(false); // the bar drops its seeking
        bound.bar.RefreshTick();
        QCOMPARE(ticks.size(), 0);
        QCOMPARE(bound.bar.Max(), 10);
    }

    void refreshFollowsPlayPauseStop_data() {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("actions");
        QTest::addColumn<bool>("refreshing");
        QTest::newRow("play") << true << "P" << true;
        QTest::newRow("play, pause") << true << "Pp" << false;
        QTest::newRow("play, stop") << true << "Ps" << false;
        QTest::newRow("pause, play") << true << "pP" << true;
        QTest::newRow("disabled at play") << false << "P" << false;
    }
    void refreshFollowsPlayPauseStop() {
        QFETCH(bool, enabled);
        QFETCH(QString, actions);
        QFETCH(bool, refreshing);
        Bound bound("counter.mp4");
        bound.bar.SetEnabled(enabled);
        for (QChar action : actions) {
            if (action == 'P')
                bound.graph.Play();
            else if (action == 'p')
                bound.graph.Pause();
            else
                bound.graph.Stop();
        }
        QCOMPARE(bound.bar.Refreshing(), refreshing);
        // Enabling the bar later does not start a refresh that Play did not start.
        bound.bar.SetEnabled(true);
        QCOMPARE(bound.bar.Refreshing(), refreshing);
    }

    void timerRefreshesWhilePlaying() {
        Bound bound("counter.mp4");
        bound.bar.SetTimerInterval(100); // one unit is 100 ms here
        QSignalSpy ticks(&bound.bar, &TDSTrackBar::OnTimer);
        bound.graph.Play();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 3, 3000);
        QCOMPARE(bound.bar.Max(), 100);
        QVERIFY(bound.bar.Position() > 0);
        bound.graph.Pause();
        const auto count = ticks.size();
        QTest::qWait(250);
        QCOMPARE(ticks.size(), count);
    }

    void releaseSeeksToTheThumb_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("thumb");
        QTest::addColumn<qint64>("expectedMs");
        QTest::newRow("middle of 10 s") << "counter.mp4" << 5 << qint64(5000);
        QTest::newRow("start") << "counter.mp4" << 0 << qint64(0);
        // The bar's end is the file's end: 59.9 s * 30 / 59.
        QTest::newRow("30 of 59") << "len59_9.mp4" << 30 << qint64(59900 * 30 / 59);
        QTest::newRow("Max 0 seeks to the start") << "short0_6.mp4" << 0 << qint64(0);
    }
    void releaseSeeksToTheThumb() {
        QFETCH(QString, file);
        QFETCH(int, thumb);
        QFETCH(qint64, expectedMs);
        Bound bound(file);
        const qint64 away = bound.graph.Duration() / 4 + 150;
        bound.graph.SeekTo(away);
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(bound.graph.CurrentPosition() - away) <= 100, 3000);
        bound.bar.RefreshTick();
        const int x = xFor(bound.bar, thumb);
        QVERIFY(x >= 0);
        const int y = bound.bar.height() / 2;

        QTest::mousePress(&bound.bar, Qt::LeftButton, {}, QPoint(x, y));
        QVERIFY(bound.bar.Tracking());
        QCOMPARE(bound.bar.Position(), thumb);
        // While held, a refresh leaves the thumb where the user put it.
        bound.bar.RefreshTick();
        QCOMPARE(bound.bar.Position(), thumb);

        // The seek is announced at once, paused as here too, so the position label follows.
        QSignalSpy announced(&bound.bar, &TDSTrackBar::OnTimer);
        QTest::mouseRelease(&bound.bar, Qt::LeftButton, {}, QPoint(x, y));
        QVERIFY(!bound.bar.Tracking());
        QCOMPARE(announced.size(), 1);
        QCOMPARE(announced.at(0).at(0).toLongLong(), expectedMs);
        QCOMPARE(announced.at(0).at(1).toLongLong(), bound.graph.Duration());
        // Exact seeks land on the first frame at or after the target (10 or 25 frames a second).
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(bound.graph.CurrentPosition() - expectedMs) <= 100, 3000);
    }

    // Dragging shows the picture and tells the time as the thumb moves: the keyframe at or
    // before it at once, further moves at most once per throttle tick (the latest wins), and the
    // exact frame on release. frames.mp4 has a keyframe every 0.48 s.
    void dragShowsKeyframesThenTheExactFrame_data() {
        QTest::addColumn<QList<int>>("thumbs");  // pressed at the first, moved to the others
        QTest::addColumn<bool>("tick");          // the throttle's tick comes before the release
        QTest::addColumn<QList<qint64>>("told"); // Scrubbed's times
        QTest::addColumn<double>("shown");       // the keyframe shown before the release
        QTest::newRow("press: its keyframe at once")
            << QList<int>{1} << false << QList<qint64>{1000} << 0.96;
        QTest::newRow("moves wait for the tick")
            << QList<int>{1, 2, 3} << false << QList<qint64>{1000} << 0.96;
        QTest::newRow("the tick takes the latest move")
            << QList<int>{1, 2, 3} << true << QList<qint64>{1000, 3000} << 2.88;
        QTest::newRow("a tick with no move seeks nothing")
            << QList<int>{2} << true << QList<qint64>{2000} << 1.92;
    }
    void dragShowsKeyframesThenTheExactFrame() {
        QFETCH(QList<int>, thumbs);
        QFETCH(bool, tick);
        QFETCH(QList<qint64>, told);
        QFETCH(double, shown);
        Bound bound("frames.mp4");
        bound.bar.RefreshTick();
        QSignalSpy scrubbed(&bound.bar, &TDSTrackBar::Scrubbed);
        const int y = bound.bar.height() / 2;
        QTest::mousePress(&bound.bar, Qt::LeftButton, {}, QPoint(xFor(bound.bar, thumbs[0]), y));
        for (int thumb : thumbs.mid(1)) {
            const QPointF at(xFor(bound.bar, thumb), y);
            QMouseEvent move(QEvent::MouseMove, at, bound.bar.mapToGlobal(at), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&bound.bar, &move);
            QCOMPARE(bound.bar.Position(), thumb);
        }
        if (tick)
            bound.bar.ScrubTick();
        QList<qint64> times;
        for (const QList<QVariant>& call : scrubbed)
            times.append(call.at(0).toLongLong());
        QCOMPARE(times, told);
        QTRY_VERIFY(!bound.graph.Seeking() && qAbs(bound.graph.ExactPosition() - shown) < 1e-3);

        const int last = thumbs.last();
        QTest::mouseRelease(&bound.bar, Qt::LeftButton, {}, QPoint(xFor(bound.bar, last), y));
        QVERIFY(!bound.bar.ScrubPending());
        QTRY_VERIFY(!bound.graph.Seeking() && qAbs(bound.graph.ExactPosition() - last) < 1e-3);
    }

    void otherButtonsDoNotSeek() {
        Bound bound("counter.mp4");
        bound.bar.RefreshTick();
        const QPoint at(xFor(bound.bar, 8), bound.bar.height() / 2);
        QTest::mousePress(&bound.bar, Qt::RightButton, {}, at);
        QVERIFY(!bound.bar.Tracking());
        QTest::mouseRelease(&bound.bar, Qt::RightButton, {}, at);
        QTest::qWait(100);
        QCOMPARE(bound.graph.CurrentPosition(), 0);
        // Any release ends the tracking, but only the left one seeks to the exact frame (the
        // left press has shown the keyframe already).
        QSignalSpy exact(&bound.bar, &TDSTrackBar::OnTimer);
        QTest::mousePress(&bound.bar, Qt::LeftButton, {}, at);
        QTest::mouseRelease(&bound.bar, Qt::RightButton, {}, at);
        QVERIFY(!bound.bar.Tracking());
        QVERIFY(!bound.bar.ScrubPending());
        QVERIFY(exact.isEmpty());
    }

    // The thumb moved by the keyboard takes the picture along, so a mark set next agrees with
    // the picture.
    void keyboardMovesSeek_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("position");
        QTest::newRow("right") << int(Qt::Key_Right) << 4;
        QTest::newRow("left") << int(Qt::Key_Left) << 2;
        QTest::newRow("end") << int(Qt::Key_End) << 10;
        QTest::newRow("home") << int(Qt::Key_Home) << 0;
    }
    void keyboardMovesSeek() {
        QFETCH(int, key);
        QFETCH(int, position);
        Bound bound("counter.mp4");
        bound.graph.SeekTo(3000);
        QTRY_COMPARE_WITH_TIMEOUT(bound.graph.CurrentPosition(), 3000, 3000);
        bound.bar.RefreshTick();
        QCOMPARE(bound.bar.Position(), 3);
        QTest::keyClick(&bound.bar, Qt::Key(key));
        QCOMPARE(bound.bar.Position(), position);
        const qint64 target = bound.graph.Duration() * position / bound.bar.Max();
        QTRY_VERIFY(qAbs(bound.graph.CurrentPosition() - target) < 50);
        bound.bar.RefreshTick();
        QCOMPARE(bound.bar.Position(), position);
    }

    void keyframeTicksNeverCrowd_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("allShown");
        QTest::newRow("a keyframe every 10 s: every one shown") << 10 << true;
        QTest::newRow("one every 0.1 s: thinned") << 1000 << false;
    }
    void keyframeTicksNeverCrowd() {
        QFETCH(int, count);
        QFETCH(bool, allShown);
        TDSTrackBar bar;
        bar.resize(220, bar.sizeHint().height());
        bar.SetMax(100);
        QVector<double> keyframes;
        for (int i = 0; i < count; ++i)
            keyframes.append(100.0 * i / count);
        bar.SetKeyframes(keyframes);
        const QVector<int> xs = bar.KeyframeTickXs();
        QVERIFY(!xs.isEmpty());
        if (allShown)
            QCOMPARE(xs.size(), count);
        for (int i = 1; i < xs.size(); ++i)
            QVERIFY2(xs.at(i) - xs.at(i - 1) >= 3, qPrintable(QString::number(i)));
        // Thinned, the ticks still reach along the whole bar.
        QVERIFY(xs.last() - xs.first() > bar.width() * 3 / 4);
    }

    void exactMarksRoundOnTheBarButPaintWhereTheyAre() {
        TDSTrackBar bar;
        bar.resize(220, bar.sizeHint().height());
        bar.SetMax(10);
        bar.SetSelStartSeconds(3.5);
        bar.SetSelEndSeconds(4.72);
        QCOMPARE(bar.SelStart(), 4); // halves to even
        QCOMPARE(bar.SelEnd(), 5);
        QCOMPARE(bar.SelStartSeconds(), 3.5);
        // A band from 3.5 s differs from one from the rounded 4 s.
        const QImage exact = bar.grab().toImage();
        bar.SetSelStart(4);
        bar.SetSelEnd(5);
        QCOMPARE(bar.SelStartSeconds(), 4.0);
        QVERIFY(bar.grab().toImage() != exact);
    }

    void paintsTheSelection() {
        TDSTrackBar bar;
        bar.resize(220, bar.sizeHint().height());
        bar.SetPosition(0);
        const QImage plain = bar.grab().toImage();
        bar.SetSelStart(3);
        bar.SetSelEnd(6);
        const QImage marked = bar.grab().toImage();
        // Only the stretch between the marks changes.
        const int from = xFor(bar, 3), to = xFor(bar, 6);
        int changedInside = 0, changedOutside = 0;
        for (int x = 0; x < plain.width(); ++x) {
            for (int y = 0; y < plain.height(); ++y) {
                if (plain.pixel(x, y) == marked.pixel(x, y))
                    continue;
                if (x >= from - 1 && x <= to + 1)
                    ++changedInside;
                else
                    ++changedOutside;
            }
        }
        QVERIFY(changedInside > (to - from) * 2);
        QCOMPARE(changedOutside, 0);
    }

    // The cut list's ranges are painted each in its colour, where their times are, and nowhere
    // else.
    void paintsSegmentsInTheirColours() {
        TDSTrackBar bar;
        bar.resize(220, bar.sizeHint().height());
        bar.SetPosition(0);
        const QColor red(220, 30, 30), green(30, 200, 30);
        bar.SetPaintedRanges("cut list", {{1.5, 3, red, {}}, {6, 8, green, {}}});
        const QImage painted = bar.grab().toImage();
        QList<int> redXs, greenXs;
        for (int x = 0; x < painted.width(); ++x) {
            for (int y = 0; y < painted.height(); ++y) {
                if (painted.pixel(x, y) == red.rgb())
                    redXs.append(x);
                else if (painted.pixel(x, y) == green.rgb())
                    greenXs.append(x);
            }
        }
        QVERIFY(!redXs.isEmpty() && !greenXs.isEmpty());
        const auto within = [&](const QList<int>& xs, double from, double to) {
            const int left = int(xFor(bar, 0) + from / 10 * (xFor(bar, 10) - xFor(bar, 0)));
            const int right = int(xFor(bar, 0) + to / 10 * (xFor(bar, 10) - xFor(bar, 0)));
            return *std::min_element(xs.begin(), xs.end()) >= left - 1 &&
                   *std::max_element(xs.begin(), xs.end()) <= right + 1;
        };
        QVERIFY(within(redXs, 1.5, 3));
        QVERIFY(within(greenXs, 6, 8));
        // With a marked range under it, and then without it: none is left once it is removed.
        bar.SetSelStartSeconds(1);
        bar.SetSelEndSeconds(4);
        bar.SetPaintedRanges("cut list", bar.PaintedRanges("cut list").mid(1));
        const QImage cleared = bar.grab().toImage();
        for (int x = 0; x < cleared.width(); ++x)
            for (int y = 0; y < cleared.height(); ++y)
                QVERIFY(cleared.pixel(x, y) != red.rgb());
    }

    void assistiveTechnologySeesASlider() {
        TDSTrackBar bar;
        bar.SetPosition(7);
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&bar);
        QVERIFY(face);
        QCOMPARE(face->role(), QAccessible::Slider);
        QAccessibleValueInterface* value = face->valueInterface();
        QVERIFY(value);
        QCOMPARE(value->currentValue().toInt(), 7);
        QCOMPARE(value->maximumValue().toInt(), 10);
        QCOMPARE(face->text(QAccessible::Value), QStringLiteral("7"));
    }
};

QTEST_MAIN(TestTrackBar)
#include "test_track_bar.moc"
