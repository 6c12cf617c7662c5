// The preview's media graph and video widget against real generated media (SEGMORA_NEEDS_MEDIA).
#include "ground/app_error.h"
#include "media/filter_graph.h"
#include "media/video_window.h"
#include "test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <clocale>

using segmora::test::failOnPlayerErrors;
using segmora::test::fixture;

namespace {

// A graph bound to a shown video window inside a top-level widget of the given size.
struct Preview {
    explicit Preview(QSize size = {320, 240}) {
        host.resize(size);
        auto* layout = new QVBoxLayout(&host);
        layout->setContentsMargins(0, 0, 0, 0);
        window = new VideoWindow(&host);
        layout->addWidget(window);
        graph.SetVideoWindow(window);
        // The only widget of its window would take the focus, and its focus mark lights the
        // edges these tests expect black; the mark has tests of its own.
        window->setFocusPolicy(Qt::NoFocus);
        window->setVisible(true);
        host.show();
    }
    QWidget host;
    VideoWindow* window = nullptr;
    FilterGraph graph;
};

// Counts the paint events a widget receives.
struct PaintCounter : QObject {
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
    int count = 0;
};

// Share of pixels that are not (nearly) black.
double litShare(const QImage& image, QRect area) {
    qint64 lit = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) > 24)
                ++lit;
    return double(lit) / double(area.width() * area.height());
}

} // namespace

class TestFilterGraph : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // libmpv reads numbers in the C locale; tests must never make a sound.
        std::setlocale(LC_NUMERIC, "C");
        qputenv("SEGMORA_AUDIO_OUTPUT", "null");
        QVERIFY2(QFile::exists(fixture("counter.mp4")), "run make_fixtures.sh first");
    }

    void init() {
        // Broken files make libmpv log errors on purpose.
        const QByteArray test = QTest::currentTestFunction();
        if (test != "badInputRaisesPlainReasonThenGoodFileOpens" &&
            test != "openFileReportsBySignal")
            failOnPlayerErrors();
    }

    void emptyGraphHasNoLength() {
        FilterGraph graph;
        QCOMPARE(graph.Duration(), 0);
        graph.RenderFile(fixture("counter.mp4")); // inactive: does nothing
        QVERIFY(!graph.Active());
        QCOMPARE(graph.Duration(), 0);
        QVERIFY(!graph.Play());

        graph.SetActive(true);
        QCOMPARE(graph.Duration(), 0);
        QCOMPARE(graph.CurrentPosition(), 0);
        graph.SeekTo(3000);
        QVERIFY(graph.Play());
        QCOMPARE(graph.Duration(), 0);
    }

    void durationKnownRightAfterRender_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("duration");
        QTest::newRow("10 s with sound") << "counter.mp4" << qint64(10000);
        QTest::newRow("61.5 s") << "long61_5.mp4" << qint64(61500);
        QTest::newRow("59.9 s") << "len59_9.mp4" << qint64(59900);
        QTest::newRow("under a second") << "short0_6.mp4" << qint64(600);
        QTest::newRow("2.01 s is not 2009 ms") << "len2_01.mp4" << qint64(2010);
    }
    void durationKnownRightAfterRender() {
        QFETCH(QString, file);
        QFETCH(qint64, duration);
        FilterGraph graph;
        graph.SetActive(true);
        graph.RenderFile(fixture(file));
        QCOMPARE(graph.Duration(), duration);
        QCOMPARE(graph.CurrentPosition(), 0);
        QVERIFY(!graph.IsPlaying());
        graph.ResetGraph();
        QCOMPARE(graph.Duration(), 0);
    }

    void badInputRaisesPlainReasonThenGoodFileOpens_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("text named .mp4") << fixture("notvideo.mp4") << "not recognised";
        QTest::newRow("truncated") << fixture("truncated.mp4") << "not recognised";
        QTest::newRow("zero bytes") << fixture("empty.mp4") << "is empty";
        QTest::newRow("vanished") << fixture("no_such_file.mp4") << "was not found";
        QTest::newRow("folder") << QStringLiteral(SEGMORA_FIXTURE_DIR) << "is a folder";
    }
    void badInputRaisesPlainReasonThenGoodFileOpens() {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        FilterGraph graph;
        graph.SetActive(true);
        graph.RenderFile(fixture("len59_9.mp4"));
        graph.Play();
        graph.ResetGraph();
        try {
            graph.RenderFile(path);
            QFAIL("no error raised");
        } catch (const segmora::AppError& error) {
            QVERIFY2(error.message().contains(reason), qPrintable(error.message()));
            QVERIFY2(error.message().contains(path), qPrintable(error.message()));
        }
        QCOMPARE(graph.Duration(), 0);
        QVERIFY(!graph.HasMedia());
        // The queued wakeups of the failed load find nothing to trip over.
        QTest::qWait(50);
        graph.RenderFile(fixture("counter.mp4"));
        QCOMPARE(graph.Duration(), 10000);
    }

    // Opening returns at once; the outcome arrives as exactly one signal from the event loop.
    void openFileReportsBySignal_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason"); // empty: opens
        QTest::newRow("plays") << fixture("counter.mp4") << QString();
        QTest::newRow("text named .mp4") << fixture("notvideo.mp4") << "not recognised";
        QTest::newRow("vanished") << fixture("no_such_file.mp4") << "was not found";
    }
    void openFileReportsBySignal() {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        FilterGraph graph;
        graph.SetActive(true);
        QSignalSpy opened(&graph, &FilterGraph::fileOpened);
        QSignalSpy failed(&graph, &FilterGraph::openFailed);
        graph.OpenFile(path);
        QVERIFY(!graph.HasMedia());
        QCOMPARE(opened.size() + failed.size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(opened.size() + failed.size(), 1, 10000);
        if (reason.isEmpty()) {
            QCOMPARE(opened.size(), 1);
            QVERIFY(graph.HasMedia());
            QCOMPARE(graph.Duration(), 10000);
        } else {
            const QString message = failed.value(0).value(0).toString();
            QVERIFY2(message.contains(reason) && message.contains(path), qPrintable(message));
            QVERIFY(!graph.HasMedia());
        }
        // A load given up by the next one reports nothing; the next one does.
        graph.OpenFile(fixture("no_such_file.mp4"));
        graph.OpenFile(fixture("short0_6.mp4"));
        QVERIFY(opened.wait(10000));
        QCOMPARE(graph.Duration(), 600);
        QCOMPARE(opened.size() + failed.size(), 2);
    }

    // Loading waits with the event loop running, and a player switched off meanwhile ends the
    // wait with an error instead of leaving it hanging.
    void renderFileKeepsTheLoopRunning() {
        FilterGraph graph;
        graph.SetActive(true);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] {
            if (++ticks == 1)
                graph.SetActive(false);
        });
        ticker.start(0);
        try {
            graph.RenderFile(fixture("counter.mp4"));
            QFAIL("no error raised");
        } catch (const segmora::AppError& error) {
            QCOMPARE(error.message(), QStringLiteral("The video player has shut down."));
        }
        QVERIFY(ticks >= 1);
        QVERIFY(!graph.HasMedia());
    }

    // Playing does not hold up the event loop: frames are rendered elsewhere and only handed
    // over. Were each render to wait for its frame's display time on this thread, the loop
    // would run once a frame (40 ms here) instead of every couple of milliseconds.
    void playingLeavesTheEventLoopFree() {
        Preview preview({640, 480});
        QVERIFY(QTest::qWaitForWindowExposed(&preview.host));
        preview.graph.SetActive(true);
        preview.graph.RenderFile(fixture("counter.mp4"));
        preview.graph.Play();
        QTRY_VERIFY_WITH_TIMEOUT(preview.window->framesPainted() >= 1, 5000);
        const quint64 framesBefore = preview.window->framesPainted();

        QList<qint64> gaps;
        QElapsedTimer clock;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        connect(&ticker, &QTimer::timeout, this, [&] { gaps.append(clock.restart()); });
        clock.start();
        ticker.start(2);
        QTest::qWait(1000);
        ticker.stop();

        QVERIFY(preview.window->framesPainted() >= framesBefore + 5); // it did play
        QVERIFY(!gaps.isEmpty());
        std::sort(gaps.begin(), gaps.end());
        const qint64 median = gaps.at(gaps.size() / 2);
        QVERIFY2(
            median < 20,
            qPrintable(QStringLiteral("median gap %1 ms, %2 ticks").arg(median).arg(gaps.size())));
    }

    void awkwardPathsOpen_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("blanks") << "my holiday clip.mp4";
        QTest::newRow("quotes") << "it's \"the\" clip.mp4";
        QTest::newRow("non-ASCII") << "Übersicht Ærø 片段.mp4";
        QTest::newRow("looks like an option") << "--vo=null.mp4";
        QTest::newRow("looks like a protocol") << "av:lavfi:testsrc.mp4";
    }
    void awkwardPathsOpen() {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(QFile::copy(fixture("short0_6.mp4"), path));
        FilterGraph graph;
        graph.SetActive(true);
        // A relative name too: the graph must not read it as anything but a file.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        try {
            graph.RenderFile(name);
        } catch (const segmora::AppError& error) {
            QDir::setCurrent(previous);
            QFAIL(qPrintable(error.message()));
        }
        QDir::setCurrent(previous);
        QCOMPARE(graph.Duration(), 600);
    }

    void stopReturnsToStartPaused() {
        Preview preview;
        preview.graph.SetActive(true);
        preview.graph.RenderFile(fixture("counter.mp4"));
        preview.graph.Play();
        QVERIFY(preview.graph.IsPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(preview.graph.CurrentPosition() >= 400, 5000);
        const quint64 framesBefore = preview.window->framesPainted();
        preview.graph.Stop();
        QVERIFY(!preview.graph.IsPlaying());
        QTRY_COMPARE_WITH_TIMEOUT(preview.graph.CurrentPosition(), 0, 3000);
        // The first frame is drawn again after the rewind.
        QTRY_VERIFY_WITH_TIMEOUT(preview.window->framesPainted() > framesBefore, 3000);
        const qint64 stoppedAt = preview.graph.CurrentPosition();
        QTest::qWait(300);
        QCOMPARE(preview.graph.CurrentPosition(), stoppedAt);
    }

    void playAtTheEndStartsOver() {
        FilterGraph graph;
        QSignalSpy ended(&graph, &FilterGraph::endOfMedia);
        graph.SetActive(true);
        graph.RenderFile(fixture("short0_6.mp4"));
        graph.Play();
        QTRY_VERIFY_WITH_TIMEOUT(ended.size() == 1, 3000);
        // The last frame (0.5 s at 10 frames a second) stays.
        QCOMPARE(graph.CurrentPosition(), 500);
        graph.Play();
        QTRY_VERIFY_WITH_TIMEOUT(graph.CurrentPosition() < 500, 3000);
        QVERIFY(graph.IsPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(ended.size() == 2, 3000);
    }

    void exactSeek() {
        FilterGraph graph;
        graph.SetActive(true);
        graph.RenderFile(fixture("counter.mp4"));
        graph.SeekTo(6040); // a frame boundary at 25 frames per second
        QTRY_COMPARE_WITH_TIMEOUT(graph.CurrentPosition(), 6040, 3000);
        QVERIFY(!graph.IsPlaying());
    }

    void frameIsPaintedWithAspectKept() {
        // The 4:3 source in a wide window: picture in the middle, black bars at the sides.
        Preview preview({480, 120});
        QVERIFY(QTest::qWaitForWindowExposed(&preview.host));
        preview.graph.SetActive(true);
        preview.graph.RenderFile(fixture("counter.mp4"));
        preview.graph.Play();
        QTRY_VERIFY_WITH_TIMEOUT(preview.window->framesPainted() >= 2, 5000);
        const QImage image = preview.window->grab().toImage();
        QCOMPARE(image.size(), QSize(480, 120));
        QVERIFY(litShare(image, QRect(180, 10, 120, 100)) > 0.5);
        QCOMPARE(litShare(image, QRect(0, 0, 150, 120)), 0.0);
        QCOMPARE(litShare(image, QRect(330, 0, 150, 120)), 0.0);
    }

    // An X window surface is RGB32 and takes the picture byte for byte; a pixel whose unused
    // fourth byte is not 0xff is shown as transparent there (a white preview on a desktop).
    // The bars beside or above a picture of another shape come from libmpv apart from it.
    void frameIsOpaqueOnAnRgb32Surface_data() {
        QTest::addColumn<QSize>("size"); // of the window; the source is 4:3
        QTest::newRow("the picture's shape") << QSize(320, 240);
        QTest::newRow("bars at the sides") << QSize(480, 120);
        QTest::newRow("bars above and below") << QSize(160, 300);
        QTest::newRow("odd sizes") << QSize(333, 201);
    }
    void frameIsOpaqueOnAnRgb32Surface() {
        QFETCH(QSize, size);
        Preview preview(size);
        QVERIFY(QTest::qWaitForWindowExposed(&preview.host));
        preview.graph.SetActive(true);
        preview.graph.RenderFile(fixture("counter.mp4"));
        preview.graph.Play();
        QTRY_VERIFY_WITH_TIMEOUT(preview.window->framesPainted() >= 2, 5000);
        QImage surface(preview.window->size(), QImage::Format_RGB32);
        surface.fill(Qt::white);
        preview.window->render(&surface);
        qint64 transparent = 0;
        for (int y = 0; y < surface.height(); ++y) {
            const auto* pixel = reinterpret_cast<const quint32*>(surface.constScanLine(y));
            for (int x = 0; x < surface.width(); ++x)
                transparent += (pixel[x] >> 24) != 0xff ? 1 : 0;
        }
        QCOMPARE(transparent, 0);
    }

    // A picture stored on its side is shown the way the file asks, as the ffmpeg tool shows it;
    // a quarter turn used to abort the whole program in libmpv's software renderer.
    void turnedPictureIsShownUpright_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("shown");    // the picture's size once turned
        QTest::addColumn<QString>("corner"); // where the white square is then
        QTest::newRow("not turned") << "turned0.mp4" << QSize(64, 48) << "top left";
        QTest::newRow("quarter turn") << "turned90.mp4" << QSize(48, 64) << "bottom left";
        QTest::newRow("half turn") << "turned180.mp4" << QSize(64, 48) << "bottom right";
        QTest::newRow("three quarters") << "turned270.mp4" << QSize(48, 64) << "top right";
    }
    void turnedPictureIsShownUpright() {
        QFETCH(QString, file);
        QFETCH(QSize, shown);
        QFETCH(QString, corner);
        Preview preview({320, 240});
        QVERIFY(QTest::qWaitForWindowExposed(&preview.host));
        preview.graph.SetActive(true);
        // A turned file after another one, and the other way round: no turn is left over.
        preview.graph.RenderFile(fixture("turned90.mp4"));
        preview.graph.ResetGraph();
        preview.graph.RenderFile(fixture(file));
        const quint64 before = preview.window->framesPainted();
        preview.graph.Play();
        QTRY_VERIFY_WITH_TIMEOUT(preview.window->framesPainted() >= before + 2, 5000);
        const QImage image = preview.window->grab().toImage();

        // The picture fills the window's height or width with its aspect kept.
        const QSize fitted = shown.scaled(image.size(), Qt::KeepAspectRatio);
        const QRect picture(
            QPoint((image.width() - fitted.width()) / 2, (image.height() - fitted.height()) / 2),
            fitted);
        // The middle of each corner's square (16 source pixels a side).
        const int side = picture.width() * 16 / shown.width();
        const auto cornerArea = [&](bool right, bool bottom) {
            const int x = right ? picture.right() - side + 1 : picture.left();
            const int y = bottom ? picture.bottom() - side + 1 : picture.top();
            return QRect(x, y, side, side).adjusted(side / 4, side / 4, -side / 4, -side / 4);
        };
        const QList<QPair<QString, QRect>> corners = {
            {QStringLiteral("top left"), cornerArea(false, false)},
            {QStringLiteral("top right"), cornerArea(true, false)},
            {QStringLiteral("bottom left"), cornerArea(false, true)},
            {QStringLiteral("bottom right"), cornerArea(true, true)}};
        for (const auto& [name, area] : corners) {
            const double lit = litShare(image, area);
            if (name == corner)
                QVERIFY2(lit > 0.9, qPrintable(name + QStringLiteral(": %1").arg(lit)));
            else
                QVERIFY2(lit < 0.1, qPrintable(name + QStringLiteral(": %1").arg(lit)));
        }
        if (picture.left() > 4)
            QCOMPARE(litShare(image, QRect(0, 0, picture.left() - 2, image.height())), 0.0);
    }

    void frameRate_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("rate");
        QTest::newRow("25 a second") << "counter.mp4" << 25.0;
        QTest::newRow("10 a second") << "long61_5.mp4" << 10.0;
        QTest::newRow("100 a second") << "len2_01.mp4" << 100.0;
        QTest::newRow("sound only") << "soundonly.mp4" << 0.0;
    }
    void frameRate() {
        QFETCH(QString, file);
        QFETCH(double, rate);
        FilterGraph graph;
        QCOMPARE(graph.FrameRate(), 0.0);
        graph.SetActive(true);
        graph.RenderFile(fixture(file));
        QCOMPARE(graph.FrameRate(), rate);
        graph.ResetGraph();
        QCOMPARE(graph.FrameRate(), 0.0);
    }

    void pausedPictureCausesNoRepaints() {
        Preview preview;
        QVERIFY(QTest::qWaitForWindowExposed(&preview.host));
        PaintCounter paints(preview.window);
        preview.graph.SetActive(true);
        preview.graph.RenderFile(fixture("counter.mp4"));
        QTRY_VERIFY_WITH_TIMEOUT(preview.window->framesPainted() >= 1, 3000);
        // Let a slow machine deliver whatever the paused load still sends.
        quint64 frames = 0;
        for (int i = 0; i < 10 && frames != preview.window->framesPainted(); ++i) {
            frames = preview.window->framesPainted();
            QTest::qWait(300);
        }
        // Paused: no new frame, so no paint at all.
        paints.count = 0;
        QTest::qWait(500);
        QCOMPARE(paints.count, 0);
        // A paint for other reasons shows the last picture again, not black.
        preview.window->repaint();
        QCOMPARE(preview.window->framesPainted(), frames);
        QVERIFY(litShare(preview.window->grab().toImage(), QRect(100, 60, 120, 120)) > 0.5);
        // Playing: repaints follow the frames (25 a second), not a busy loop.
        paints.count = 0;
        preview.graph.Play();
        QTest::qWait(1000);
        QVERIFY2(paints.count >= 3 && paints.count <= 30,
                 qPrintable(QString::number(paints.count)));
    }

    void secondFileKeepsTheVideoWindow() {
        Preview preview;
        QVERIFY(QTest::qWaitForWindowExposed(&preview.host));
        preview.graph.SetActive(true);
        for (const char* file : {"len59_9.mp4", "counter.mp4"}) {
            preview.graph.ResetGraph();
            preview.graph.RenderFile(fixture(file));
            preview.graph.Play();
            const quint64 before = preview.window->framesPainted();
            QTRY_VERIFY_WITH_TIMEOUT(preview.window->framesPainted() > before + 1, 5000);
            QCOMPARE(preview.graph.videoWindow(), preview.window);
        }
        QCOMPARE(preview.graph.Duration(), 10000);
    }

    void notificationsPrecedeTheirAction() {
        FilterGraph graph;
        QSignalSpy activation(&graph, &FilterGraph::activationChanged);
        QSignalSpy notes(&graph, &FilterGraph::controlNotification);
        bool playingAtPlayNote = true;
        connect(&graph, &FilterGraph::controlNotification, this, [&](int code) {
            if (code == 0)
                playingAtPlayNote = graph.IsPlaying();
        });
        graph.SetActive(true);
        graph.SetActive(true); // no change, no signal
        graph.RenderFile(fixture("short0_6.mp4"));
        graph.Play();
        graph.Pause();
        graph.Stop();
        graph.SetActive(false);
        QCOMPARE(activation.size(), 2);
        QCOMPARE(activation.at(0).at(0).toBool(), true);
        QCOMPARE(activation.at(1).at(0).toBool(), false);
        QCOMPARE(notes.size(), 3);
        for (int code = 0; code < 3; ++code)
            QCOMPARE(notes.at(code).at(0).toInt(), code);
        QVERIFY(!playingAtPlayNote);
    }

    void teardownWhilePlayingIsClean() {
        // Callbacks and queued calls in flight must not reach freed objects (ASan watches).
        auto preview = std::make_unique<Preview>();
        preview->graph.SetActive(true);
        preview->graph.RenderFile(fixture("counter.mp4"));
        preview->graph.Play();
        QTRY_VERIFY_WITH_TIMEOUT(preview->graph.CurrentPosition() > 0, 5000);
        preview->graph.SetActive(false);
        QTest::qWait(50);
        preview->graph.SetActive(true);
        preview->graph.RenderFile(fixture("counter.mp4"));
        preview->graph.Play();
        QTRY_VERIFY_WITH_TIMEOUT(preview->graph.CurrentPosition() > 0, 5000);
        // The window goes first while the graph still plays, then the graph.
        delete preview->window;
        QTest::qWait(100);
        preview.reset();
        QTest::qWait(50);
    }
};

QTEST_MAIN(TestFilterGraph)
#include "test_filter_graph.moc"
