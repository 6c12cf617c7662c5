// The frame on screen is the frame a clip starts with, in every container the program opens:
// seek, step and keyframe jumps in the player, the mark taken from the frame shown, a cut with
// the converter, and the clip's first frame compared with the frame shown. The fixtures paint
// their frame number in binary, so "the same frame" is read off the pictures
// (SEGMORA_NEEDS_MEDIA).
#include "ground/time_text.h"
#include "media/filter_graph.h"
#include "media/keyframe_index.h"
#include "media/video_window.h"
#include "test_support.h"
#include <cmath>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <functional>

using segmora::test::fixture;

namespace {

// The number a fixture frame paints: bits 0-5 in the upper half, 6-11 in the lower, each a
// block 16 pixels across, white when set. -1 for a picture that is not such a frame (missing,
// or a block neither dark nor light).
int frameNumber(const QImage& image) {
    if (image.width() != 96 || image.height() != 64)
        return -1;
    int number = 0;
    for (int bit = 0; bit < 12; ++bit) {
        const int gray = qGray(image.pixel(bit % 6 * 16 + 8, bit / 6 * 32 + 16));
        if (gray > 170)
            number |= 1 << bit;
        else if (gray > 80)
            return -1;
    }
    return number;
}

// Waits until the step or seek just asked for has reached its frame: the position moved, no
// seek is on its way, playback is paused and the picture can be read.
bool settle(FilterGraph& graph, QSignalSpy& moved) {
    if (moved.isEmpty() && !moved.wait(5000))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        if (!graph.Seeking() && !graph.IsPlaying() && frameNumber(graph.GrabFrame()) >= 0)
            return true;
        QTest::qWait(10);
    }
    return false;
}

// The first frame of a file as its number.
int firstFrameOf(const QString& path) {
    FilterGraph clip;
    clip.SetActive(true);
    clip.RenderFile(path);
    int number = -1;
    QElapsedTimer clock;
    clock.start();
    while (number < 0 && clock.elapsed() < 5000) {
        number = frameNumber(clip.GrabFrame());
        if (number < 0)
            QTest::qWait(10);
    }
    return number;
}

} // namespace

class TestFrameMarks : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        std::setlocale(LC_NUMERIC, "C");
        qputenv("SEGMORA_AUDIO_OUTPUT", "null");
        QVERIFY2(QFile::exists(fixture("frames.mp4")), "run make_fixtures.sh first");
        QVERIFY(QFile::exists(converter()));
    }

    void clipStartsWithTheFrameShown_data() {
        QTest::addColumn<QString>("file");
        // Where the converter is known to start elsewhere than the player shows; empty when
        // they agree.
        QTest::addColumn<QString>("converterDisagrees");
        // Also cut as "Settings of the source file." does, a lossless exact copy (not for the
        // codecs that fall back to a keyframe cut).
        QTest::addColumn<bool>("exactCopy");
        // Where that copy is known to start elsewhere; empty when it agrees.
        QTest::addColumn<QString>("copyDisagrees");
        QTest::newRow("mp4") << "frames.mp4" << QString() << true << QString();
        QTest::newRow("mov") << "frames.mov" << QString() << true << QString();
        QTest::newRow("avi, packed B-frames") << "frames.avi" << QString() << true << QString();
        QTest::newRow("mpg, starts at 0.5 s") << "frames.mpg" << QString() << true << QString();
        QTest::newRow("mpeg, picture only") << "frames.mpeg" << QString() << true << QString();
        QTest::newRow("vob") << "frames.vob" << QString() << true << QString();
        QTest::newRow("wmv") << "frames.wmv" << QString() << false << QString();
        QTest::newRow("asf") << "frames.asf" << QString() << false << QString();
    }

    void clipStartsWithTheFrameShown() {
        QFETCH(QString, file);
        QFETCH(bool, exactCopy);
        const QString source = fixture(file);
        // Drawn as in the program's window: what is on screen is what counts.
        QWidget host;
        host.resize(192, 128);
        auto* window = new VideoWindow(&host);
        window->resize(host.size());
        FilterGraph graph;
        graph.SetVideoWindow(window);
        host.show();
        graph.SetActive(true);
        graph.RenderFile(source);
        QSignalSpy moved(&graph, &FilterGraph::positionChanged);
        const QVector<double> keyframes = segmora::ScanKeyframes(source);
        QVERIFY(keyframes.size() >= 3);

        // Each step is done in the player; then the frame shown must be the clip's first.
        struct Step {
            const char* what;
            std::function<void()> act;
            int expectedChange; // frames from the previous one; 0 when not fixed
        };
        const Step steps[] = {
            {"seek between frames", [&] { graph.SeekToSeconds(1.23); }, 0},
            {"step forward", [&] { graph.StepFrame(true); }, 1},
            {"seek to a frame boundary", [&] { graph.SeekToSeconds(2.0); }, 0},
            {"keyframe", [&] { graph.SeekToSeconds(keyframes.at(2)); }, 0},
            // Back from a keyframe needs the group of pictures before it.
            {"step back across a keyframe", [&] { graph.StepFrame(false); }, -1},
        };
        QTemporaryDir dir;
        QStringList disagreements;
        QStringList copyDisagreements;
        int previous = -1;
        for (const Step& step : steps) {
            moved.clear();
            step.act();
            QVERIFY2(settle(graph, moved), step.what);
            const int shown = frameNumber(graph.GrabFrame());
            if (step.expectedChange != 0)
                QCOMPARE(shown - previous, step.expectedChange);
            previous = shown;

            // The mark as the time field shows it, read back as the job reads it.
            const QString text =
                segmora::SecondsToMarkText(segmora::FrameMarkSeconds(graph.ExactPosition()));
            const double start = segmora::TimeTextToSeconds(text);
            // Cuts from the mark with the given output options; first is the clip's first frame.
            const auto cut = [&](const QStringList& how, const QString& clip, int& first) {
                QProcess process;
                process.start(converter(), QStringList{"-y", "-i", source, "-ss",
                                                       QString::number(start, 'f', 3)} +
                                               how + QStringList{clip});
                QVERIFY(process.waitForFinished(20000));
                QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
                first = firstFrameOf(clip);
            };
            const auto disagreement = [&](const char* clip, int first) {
                return QStringLiteral("%1 at %2: shown %3, %4 starts with %5")
                    .arg(QLatin1String(step.what), text)
                    .arg(shown)
                    .arg(QLatin1String(clip))
                    .arg(first);
            };
            int first = -1;
            cut({"-t", "0.2", "-vcodec", "mjpeg", "-an"},
                dir.filePath(QStringLiteral("clip%1.avi").arg(shown)), first);
            if (QTest::currentTestFailed())
                return;
            QVERIFY(first >= 0);
            if (first != shown)
                disagreements.append(disagreement("clip", first));
            if (!exactCopy)
                continue;
            // As "Settings of the source file." cuts: the source's own codecs and container.
            int copiedFirst = -1;
            cut({"-t", "0.4", "-c", "copy", "-cut", "exact"},
                dir.filePath(
                    QStringLiteral("copy%1.%2").arg(shown).arg(QFileInfo(source).suffix())),
                copiedFirst);
            if (QTest::currentTestFailed())
                return;
            if (copiedFirst != shown)
                copyDisagreements.append(disagreement("exact copy", copiedFirst));
        }
        QFETCH(QString, converterDisagrees);
        if (!converterDisagrees.isEmpty())
            QEXPECT_FAIL("", qPrintable(converterDisagrees), Continue);
        QVERIFY2(disagreements.isEmpty(), qPrintable(disagreements.join(QStringLiteral("; "))));
        QFETCH(QString, copyDisagrees);
        if (!copyDisagrees.isEmpty())
            QEXPECT_FAIL("", qPrintable(copyDisagrees), Continue);
        QVERIFY2(copyDisagreements.isEmpty(),
                 qPrintable(copyDisagreements.join(QStringLiteral("; "))));
    }

    void keyframeJumpsLandOnKeyframes() {
        // frames.mp4 has a keyframe every 12 frames (0.48 s).
        const QString source = fixture("frames.mp4");
        FilterGraph graph;
        graph.SetActive(true);
        graph.RenderFile(source);
        QSignalSpy moved(&graph, &FilterGraph::positionChanged);
        const QVector<double> keyframes = segmora::ScanKeyframes(source);
        graph.SeekToSeconds(1.1);
        QVERIFY(settle(graph, moved));
        const int expected[] = {36, 48, 36, 24};
        const bool forward[] = {true, true, false, false};
        for (int i = 0; i < 4; ++i) {
            const double here = graph.ExactPosition();
            const double target = forward[i] ? segmora::NextKeyframe(keyframes, here)
                                             : segmora::PreviousKeyframe(keyframes, here);
            moved.clear();
            graph.SeekToSeconds(target);
            QVERIFY(settle(graph, moved));
            // A position report of the previous seek can still come in after the spy was
            // cleared: wait for the keyframe itself, then for the position to follow it.
            QTRY_COMPARE_WITH_TIMEOUT(frameNumber(graph.GrabFrame()), expected[i], 5000);
            QTRY_VERIFY_WITH_TIMEOUT(std::abs(graph.ExactPosition() - target) < 0.02, 5000);
        }
        // The player's own keyframe seek, used until the index is built.
        moved.clear();
        graph.SeekKeyframe(false);
        QVERIFY(settle(graph, moved));
        QCOMPARE(frameNumber(graph.GrabFrame()), 12);
    }

private:
    static QString converter() { return QStringLiteral(SEGMORA_PROGRAM_DIR "/vorkast"); }
};

QTEST_MAIN(TestFrameMarks)
#include "test_frame_marks.moc"
