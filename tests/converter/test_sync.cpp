// Sound in step with the picture after a cut, read from what is seen and heard rather than from
// the container's start times: the sources paint each picture's number and play a tone whose
// pitch rises evenly, so the instant of the sound heard with any picture can be read back from
// the samples. A clip is in step when the sound heard with its first and its last picture is the
// sound heard with those pictures in the source.
#include "chirp_media.h"
#include "converter_harness.h"

#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <complex>
#include <optional>
#include <utility>

using namespace vorkast::test;

namespace {

// Cuts known to put the sound out of step with the picture, and why.
const std::pair<const char*, const char*> knownFaults[] = {
    {"chirp_mpeg4.avi, encoded again, start on a keyframe",
     "re-encoded MPEG-4 Visual with B-frames from AVI: the seek lands on the keyframe, which is "
     "shown a frame after the start, so the picture on screen at the start is missing and AVI "
     "puts the next one in its place"},
    {"chirp_mpeg2.vob, encoded again, start late, to the end",
     "the sound heard with the DVD source's last picture reads one AC-3 frame off"},
    {"chirp_mpeg2.vob, copied, start late, to the end",
     "the sound heard with the DVD source's last picture reads one AC-3 frame off"},
    {"chirp_mpeg2.vob, exact copy, start late, to the end",
     "the sound heard with the DVD source's last picture reads one AC-3 frame off"},
};

// Clips whose sound starts later than one of its frames after the first picture, and why.
const std::pair<const char*, const char*> lateSound[] = {
    {"chirp_h264.mp4, encoded again into wmv, start mid-group",
     "the WMA decoder gives nothing for the first two packets"},
    {"chirp_h264.mp4, encoded again into wmv, start on a keyframe",
     "the WMA decoder gives nothing for the first two packets"},
    {"chirp_h264.mp4, encoded again into wmv, start late, to the end",
     "the WMA decoder gives nothing for the first two packets"},
    {"chirp_mpeg4.avi, encoded again into wmv, start mid-group",
     "the WMA decoder gives nothing for the first two packets"},
    {"chirp_mpeg4.avi, encoded again into wmv, start on a keyframe",
     "the WMA decoder gives nothing for the first two packets"},
    {"chirp_mpeg4.avi, encoded again into wmv, start late, to the end",
     "the WMA decoder gives nothing for the first two packets"},
};

} // namespace

class TestSync : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // The measure itself, on the sources: the sound heard with each picture is the tone of
        // the picture's number over 25 s, shifted by the same amount all along, and by little:
        // the AVI, without display times, shows its pictures a frame late for the B-frames,
        // less the 24 ms its MP3 sound starts late.
        for (const char* name :
             {"chirp_h264.mp4", "chirp_pcm.mov", "chirp_mpeg2.mpg", "chirp_mpeg4.avi"}) {
            const Media& src = decodedFixture(name);
            QVERIFY2(src.pictures.size() >= 140, name);
            double least = 1, most = -1;
            for (std::size_t i = 0; i < src.pictures.size(); i += 7) {
                const Picture& p = src.pictures[i];
                const auto heard = toneAt(src.sound, p.time);
                QVERIFY2(heard,
                         qPrintable(QStringLiteral("%1: no tone at %2 s").arg(name).arg(p.time)));
                const double offset = *heard - paintedNumber(p) * kFrameSeconds;
                least = std::min(least, offset);
                most = std::max(most, offset);
            }
            qInfo("%s: sound %+.1f to %+.1f ms from the picture", name, least * 1000, most * 1000);
            QVERIFY2(std::fabs(least) < 0.025 && std::fabs(most) < 0.025, name);
            QVERIFY2(most - least < 0.002, name);
        }
    }

    void soundStaysWithThePicture_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("codecs");
        QTest::addColumn<QString>("container"); // the clip's extension
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("length");
        QTest::addColumn<int>("soundFrame"); // samples in one frame of the clip's sound
        // Keyframes every 12 frames: at 0.48 s, 0.96 s, 1.44 s, 1.92 s, ...
        const struct {
            const char* label;
            double start, length;
        } cuts[] = {
            {"start mid-group", 1.29, 2.5},
            {"start on a keyframe", 1.92, 2.0},
            {"start late, to the end", 4.13, 5.0},
        };
        const struct {
            const char* name;
            int soundFrame;
            QStringList encode; // the container's usual codecs when encoding again
            int encodedSoundFrame;
        } sources[] = {
            {"chirp_h264.mp4", 1024, {"-vcodec", "libx264", "-acodec", "aac"}, 1024},
            {"chirp_pcm.mov", 1024, {"-vcodec", "libx264", "-acodec", "aac"}, 1024},
            {"chirp_mpeg2.mpg", 1152, {"-vcodec", "mpeg2video", "-acodec", "mp2"}, 1152},
            {"chirp_mpeg2.vob", 1536, {"-vcodec", "mpeg2video", "-acodec", "ac3"}, 1536},
            {"chirp_mpeg4.avi", 1152, {"-vcodec", "mpeg4", "-acodec", "libmp3lame"}, 1152},
        };
        for (const auto& src : sources)
            for (const auto& cut : cuts) {
                const QString container = QFileInfo(src.name).suffix();
                QTest::addRow("%s, encoded again, %s", src.name, cut.label)
                    << QString(src.name) << src.encode << container << cut.start << cut.length
                    << src.encodedSoundFrame;
                QTest::addRow("%s, copied, %s", src.name, cut.label)
                    << QString(src.name) << QStringList{"-c", "copy"} << container << cut.start
                    << cut.length << src.soundFrame;
                QTest::addRow("%s, exact copy, %s", src.name, cut.label)
                    << QString(src.name) << QStringList{"-c", "copy", "-cut", "exact"} << container
                    << cut.start << cut.length << src.soundFrame;
            }
        // Into other containers, with each container's own codecs or the source's.
        const struct {
            const char* name;
            const char* how;
            QStringList codecs;
            const char* container;
            int soundFrame;
        } crossings[] = {
            {"chirp_h264.mp4", "encoded again", {}, "avi", 1152},
            {"chirp_h264.mp4", "encoded again", {}, "wmv", 2048},
            {"chirp_h264.mp4", "encoded again", {"-acodec", "aac"}, "mkv", 1024},
            {"chirp_mpeg4.avi", "encoded again", {}, "wmv", 2048},
            {"chirp_mpeg4.avi", "encoded again", {}, "mp4", 1024},
            {"chirp_mpeg4.avi", "exact copy", {"-c", "copy", "-cut", "exact"}, "mkv", 1152},
            {"chirp_mpeg2.vob", "exact copy", {"-c", "copy", "-cut", "exact"}, "mkv", 1536},
            {"chirp_hevc.mkv", "exact copy", {"-c", "copy", "-cut", "exact"}, "mkv", 1024},
            {"chirp_hevc.mkv", "exact copy", {"-c", "copy", "-cut", "exact"}, "ts", 1024},
        };
        for (const auto& into : crossings)
            for (const auto& cut : cuts)
                QTest::addRow("%s, %s into %s, %s", into.name, into.how, into.container, cut.label)
                    << QString(into.name) << into.codecs << QString(into.container) << cut.start
                    << cut.length << into.soundFrame;
    }
    void soundStaysWithThePicture() {
        QFETCH(QString, name);
        QFETCH(QStringList, codecs);
        QFETCH(QString, container);
        QFETCH(double, start);
        QFETCH(double, length);
        QFETCH(int, soundFrame);
        const Media& src = decodedFixture(name);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip." + container);
        const Run run =
            runVorkast(QStringList{"-y", "-i", fixture(name), "-ss", QString::number(start), "-t",
                                   QString::number(length)} +
                       codecs + checkOffForKnownFault(name, codecs, output) + QStringList{output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        const Media clip = decodeMedia(output);
        QVERIFY(clip.pictures.size() > 10);
        QVERIFY(clip.sound.sampleRate > 0);
        const double slack = double(soundFrame) / clip.sound.sampleRate;

        // The sound heard with the first and the last picture, against the source's.
        QString verdict;
        bool inStep = true;
        for (const Picture* picture : {&clip.pictures.front(), &clip.pictures.back()}) {
            const int number = paintedNumber(*picture);
            const auto inSource = shownAt(src, number);
            QVERIFY2(inSource,
                     qPrintable(QStringLiteral("picture %1 not in the source").arg(number)));
            const auto heard = toneAt(clip.sound, picture->time);
            const auto heardInSource = toneAt(src.sound, *inSource);
            QVERIFY2(heardInSource,
                     qPrintable(QStringLiteral("no tone with source picture %1").arg(number)));
            if (!heard) {
                inStep = false;
                verdict += QStringLiteral("no sound with picture %1 at %2 s; ")
                               .arg(number)
                               .arg(picture->time, 0, 'f', 3);
                continue;
            }
            const double offset = *heard - *heardInSource;
            inStep = inStep && std::fabs(offset) <= slack;
            verdict += QStringLiteral("picture %1 at %2 s: sound %3 ms from the source's; ")
                           .arg(number)
                           .arg(picture->time, 0, 'f', 3)
                           .arg(offset * 1000, 0, 'f', 1);
        }
        verdict += QStringLiteral("%1 ms allowed").arg(slack * 1000, 0, 'f', 1);
        qInfo("%s", qPrintable(verdict));
        for (const auto& [row, reason] : knownFaults)
            if (qstrcmp(row, QTest::currentDataTag()) == 0)
                QEXPECT_FAIL("", reason, Abort);
        QVERIFY2(inStep, qPrintable(verdict));

        // An encoded or exact clip starts on the start: each picture shows where the source
        // shows it, counted from the start (the first one, on screen there, at the clip's zero),
        // whatever the container and its codecs delay. A frame clock started at the start may
        // move the later ones on to its next tick, by less than a frame.
        // Copied sound starts with its frame that holds the start, kept whole: the pictures
        // may come as much after the clip's zero. AVI keeps no display times: a reader
        // shows copied pictures with B-frames a frame after their place, in the clip as in the
        // source, whose first picture shows that late.
        const bool copiesSound = codecs.contains("copy");
        const double containerDelay =
            container == "avi" && copiesSound ? src.pictures.front().time : 0.0;
        for (const Picture* picture : {&clip.pictures.front(), &clip.pictures.back()}) {
            if (codecs == QStringList{"-c", "copy"})
                break; // a keyframe copy starts before the start
            const int number = paintedNumber(*picture);
            const double due = std::max(0.0, *shownAt(src, number) - start) + containerDelay;
            const double late = picture->time - due;
            const double allowed = (picture == &clip.pictures.front() ? 0.0015 : kFrameSeconds) +
                                   (copiesSound ? slack : 0.0);
            QVERIFY2(late > -0.0015 && late < allowed,
                     qPrintable(QStringLiteral("picture %1 at %2 s, due at %3 s")
                                    .arg(number)
                                    .arg(picture->time, 0, 'f', 3)
                                    .arg(due, 0, 'f', 3)));
        }

        // And the sound is there to be heard from the first picture to the end of the last,
        // give or take one of its frames (and a millisecond for times rounded to a clock).
        const double soundEnd = clip.sound.startTime + clip.sound.seconds();
        const double pictureEnd = clip.pictures.back().time + kFrameSeconds;
        qInfo("sound %.3f-%.3f s, pictures %.3f-%.3f s", clip.sound.startTime, soundEnd,
              clip.pictures.front().time, pictureEnd);
        for (const auto& [row, reason] : lateSound)
            if (qstrcmp(row, QTest::currentDataTag()) == 0)
                QEXPECT_FAIL("", reason, Abort);
        QVERIFY2(clip.sound.startTime - clip.pictures.front().time <= slack + 0.001,
                 qPrintable(QStringLiteral("sound from %1 s, picture from %2 s")
                                .arg(clip.sound.startTime)
                                .arg(clip.pictures.front().time)));
        QVERIFY2(
            pictureEnd - soundEnd <= slack + 0.001,
            qPrintable(
                QStringLiteral("sound to %1 s, picture to %2 s").arg(soundEnd).arg(pictureEnd)));
    }
};

QTEST_GUILESS_MAIN(TestSync)
#include "test_sync.moc"
