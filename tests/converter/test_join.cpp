// Joined clips (-range, repeated): at every seam the clip shows the range's first picture right
// after the last one of the range before, as single cuts of the ranges would; the sound follows
// on without a gap or an overlap and stays with the picture; each range is a chapter named by
// its label; and ranges that cannot be cut are refused before anything is written.
#include "chirp_media.h"
#include "converter_harness.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace vorkast::test;

namespace {

struct Range {
    double start, end;
};

} // namespace

Q_DECLARE_METATYPE(Range)

namespace {

// Keyframes every 12 frames (0.48 s): the first range starts inside a group and ends on a
// keyframe's frame, the second starts and ends inside groups, the third starts on a keyframe.
const QList<Range> kRanges = {{0.5, 1.44}, {2.17, 3.01}, {3.84, 4.5}};

QStringList rangeArguments(const QList<Range>& ranges, const QStringList& labels = {}) {
    QStringList args;
    for (int i = 0; i < ranges.size(); ++i) {
        QString value = QString::number(ranges[i].start, 'g', 17) + ":" +
                        QString::number(ranges[i].end, 'g', 17);
        if (i < labels.size())
            value += ":" + labels[i];
        args << "-range" << value;
    }
    return args;
}

// The source's picture on screen at t: the last one shown at or before it.
std::size_t shownIndex(const Media& media, double t) {
    std::size_t shown = 0;
    for (std::size_t i = 0; i < media.pictures.size(); ++i)
        if (media.pictures[i].time <= t + 1e-4)
            shown = i;
    return shown;
}

// The numbers of the pictures a join of the ranges shows: each range's own, from the one on
// screen at its start to the one before the picture on screen at its end.
QList<int> expectedNumbers(const Media& src, const QList<Range>& ranges,
                           QList<int>* seams = nullptr) {
    QList<int> expected;
    for (const Range& range : ranges) {
        if (seams)
            *seams << expected.size();
        // A range to the source's end holds its last picture, on screen at none later.
        const bool toTheEnd = range.end >= src.pictures.back().time + kFrameSeconds - 1e-4;
        const std::size_t end = toTheEnd ? src.pictures.size() : shownIndex(src, range.end);
        for (std::size_t i = shownIndex(src, range.start); i < end; ++i)
            expected << paintedNumber(src.pictures[i]);
    }
    return expected;
}

QList<int> numbersOf(const Media& clip) {
    QList<int> seen;
    for (const Picture& picture : clip.pictures)
        seen << paintedNumber(picture);
    return seen;
}

// Joins known to fail, the check that fails, and why.
struct KnownFault {
    const char* row;
    const char* check;
    const char* reason;
};
const KnownFault knownFaults[] = {
    {"MPEG-2 program stream, lossless", "decodes",
     "the program stream states decode times only now and then: the reader takes the squeezed "
     "decode times of a range's re-encoded head for display times and shows two pictures at once "
     "(the same clip in Matroska decodes cleanly)"},
    {"MPEG-2, encoded again into MP4", "pictures",
     "the MPEG-2 decoder stamps a picture read after a seek in a program stream a frame off, so "
     "a range's last picture is left out and the one before shown twice, as in single cuts"},
};

void expectKnownFault(const char* check) {
    for (const KnownFault& fault : knownFaults)
        if (qstrcmp(fault.row, QTest::currentDataTag()) == 0 && qstrcmp(fault.check, check) == 0)
            QEXPECT_FAIL("", fault.reason, Abort);
}

} // namespace

class TestJoin : public QObject {
    Q_OBJECT
private slots:
    void seamsJoinTheRanges_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("codecs");
        QTest::addColumn<QString>("container");
        QTest::addColumn<int>("soundFrame"); // samples in one frame of the clip's sound
        const QStringList lossless{"-c", "copy", "-cut", "exact"};
        QTest::newRow("H.264 in MP4, lossless") << "chirp_h264.mp4" << lossless << "mp4" << 1024;
        QTest::newRow("H.264 in MP4, lossless into Matroska")
            << "chirp_h264.mp4" << lossless << "mkv" << 1024;
        QTest::newRow("H.264 and PCM in MOV, lossless")
            << "chirp_pcm.mov" << lossless << "mov" << 1024;
        QTest::newRow("MPEG-2 program stream, lossless")
            << "chirp_mpeg2.mpg" << lossless << "mpg" << 1152;
        QTest::newRow("MPEG-2 program stream, lossless into Matroska")
            << "chirp_mpeg2.mpg" << lossless << "mkv" << 1152;
        QTest::newRow("MPEG-4 Visual in AVI, lossless into Matroska")
            << "chirp_mpeg4.avi" << lossless << "mkv" << 1152;
        QTest::newRow("H.264 in MP4, encoded again into Matroska")
            << "chirp_h264.mp4" << QStringList{"-c:v", "libx264", "-c:a", "aac"} << "mkv" << 1024;
        QTest::newRow("H.264 and PCM in MOV, encoded again into MP4")
            << "chirp_pcm.mov" << QStringList{"-c:v", "libx264", "-c:a", "aac"} << "mp4" << 1024;
        QTest::newRow("H.264 in MP4, encoded again into WebM")
            << "chirp_h264.mp4" << QStringList{"-c:v", "libvpx", "-c:a", "libvorbis"} << "webm"
            << 1024;
        QTest::newRow("MPEG-2, encoded again into MP4")
            << "chirp_mpeg2.mpg" << QStringList{"-c:v", "libx264", "-c:a", "aac"} << "mp4" << 1024;
    }
    void seamsJoinTheRanges() {
        QFETCH(QString, name);
        QFETCH(QStringList, codecs);
        QFETCH(QString, container);
        QFETCH(int, soundFrame);
        const Media& src = decodedFixture(name);
        QTemporaryDir dir;
        const QString output = dir.filePath("joined." + container);
        const Run run = runVorkast(QStringList{"-y", "-i", fixture(name)} +
                                   rangeArguments(kRanges) + codecs + QStringList{output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        QVERIFY2(run.contractBreach().isEmpty(), qPrintable(run.contractBreach()));
        const QString errors = decoderErrors(output);
        expectKnownFault("decodes");
        QVERIFY2(errors.isEmpty(), qPrintable(errors));

        // The pictures: each range's own, from the one on screen at its start to the one
        // before the picture on screen at its end, and nothing between.
        const Media clip = decodeMedia(output);
        QList<int> seams; // the clip's picture that opens each range
        const QList<int> expected = expectedNumbers(src, kRanges, &seams);
        const QList<int> seen = numbersOf(clip);
        expectKnownFault("pictures");
        QCOMPARE(seen, expected);
        // Times rise by one frame across every seam as within the ranges.
        for (std::size_t i = 1; i < clip.pictures.size(); ++i)
            QVERIFY2(std::fabs(clip.pictures[i].time - clip.pictures[i - 1].time - kFrameSeconds) <
                         0.002,
                     qPrintable(QStringLiteral("picture %1 at %2 s after one at %3 s")
                                    .arg(seen[int(i)])
                                    .arg(clip.pictures[i].time)
                                    .arg(clip.pictures[i - 1].time)));

        // The sound heard with the pictures around each seam is the sound heard with them in
        // the source, within a frame of the clip's sound: a gap or an overlap at a seam would
        // move the sound after it. Copied sound that is cut into frames which overlap their
        // neighbours (AAC) cannot be heard clean in the first frame after a seam, so the
        // pictures are taken three frames (120 ms) from it.
        const double slack = double(soundFrame) / clip.sound.sampleRate;
        QVERIFY(clip.sound.sampleRate > 0);
        QString verdict;
        bool inStep = true;
        QList<int> checked;
        for (int seam : seams)
            checked << std::max(0, seam - 3) << seam + 3;
        checked << int(clip.pictures.size()) - 1;
        for (int at : checked) {
            const Picture& picture = clip.pictures[std::size_t(at)];
            const auto inSource = shownAt(src, paintedNumber(picture));
            QVERIFY(inSource);
            const auto heard = toneAt(clip.sound, picture.time);
            const auto heardInSource = toneAt(src.sound, *inSource);
            QVERIFY(heardInSource);
            const double offset = heard ? *heard - *heardInSource : 1.0;
            inStep = inStep && std::fabs(offset) <= slack;
            verdict += QStringLiteral("picture %1: sound %2 ms from the source's; ")
                           .arg(paintedNumber(picture))
                           .arg(offset * 1000, 0, 'f', 1);
        }
        qInfo("%s %.1f ms allowed", qPrintable(verdict), slack * 1000);
        QVERIFY2(inStep, qPrintable(verdict));
        // And it lasts as long as the pictures, give or take one of its frames.
        const double pictureEnd = clip.pictures.back().time + kFrameSeconds;
        const double soundEnd = clip.sound.startTime + clip.sound.seconds();
        QVERIFY2(std::fabs(soundEnd - pictureEnd) <= slack + 0.001,
                 qPrintable(QStringLiteral("sound ends at %1 s, pictures at %2 s")
                                .arg(soundEnd)
                                .arg(pictureEnd)));
    }

    // Ranges at the source's very start and end, in either order: reading goes back to the
    // start for a range there, whatever the container allows.
    void rangesInAnyOrder_data() {
        QTest::addColumn<QList<Range>>("ranges");
        QTest::addColumn<QStringList>("codecs");
        const QStringList lossless{"-c", "copy", "-cut", "exact"};
        const QStringList encoded{"-c:v", "libx264", "-c:a", "aac"};
        const QList<Range> fromStartFirst{{0, 1}, {4.1, 6}}, fromStartLast{{4.1, 6}, {0, 1}};
        QTest::newRow("from the start first, to the end, lossless") << fromStartFirst << lossless;
        QTest::newRow("to the end first, from the start, lossless") << fromStartLast << lossless;
        QTest::newRow("from the start first, to the end, encoded") << fromStartFirst << encoded;
        QTest::newRow("to the end first, from the start, encoded") << fromStartLast << encoded;
    }
    void rangesInAnyOrder() {
        QFETCH(QList<Range>, ranges);
        QFETCH(QStringList, codecs);
        QTemporaryDir dir;
        const QString output = dir.filePath("joined.mp4");
        const Run run = runVorkast(QStringList{"-y", "-i", fixture("chirp_h264.mp4")} +
                                   rangeArguments(ranges) + codecs + QStringList{output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        const Media& src = decodedFixture("chirp_h264.mp4");
        QCOMPARE(numbersOf(decodeMedia(output)), expectedNumbers(src, ranges));
    }

    void chaptersNameTheRanges_data() {
        QTest::addColumn<QString>("container");
        QTest::addColumn<QStringList>("codecs");
        const QStringList lossless{"-c", "copy", "-cut", "exact"};
        QTest::newRow("Matroska, lossless") << "mkv" << lossless;
        QTest::newRow("MP4, lossless") << "mp4" << lossless;
        QTest::newRow("MOV, lossless") << "mov" << lossless;
        QTest::newRow("Matroska, encoded again") << "mkv" << QStringList{"-c:v", "libx264"};
    }
    void chaptersNameTheRanges() {
        QFETCH(QString, container);
        QFETCH(QStringList, codecs);
        QTemporaryDir dir;
        const QString output = dir.filePath("joined." + container);
        // A range without a label is named by its place.
        const QStringList labels{"Opening: the hall", "", "Schluss – Ünïcode"};
        const Run run = runVorkast(QStringList{"-y", "-i", fixture("chirp_h264.mp4")} +
                                   rangeArguments(kRanges, labels) + codecs + QStringList{output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        const ProbeInfo info = probe(output);
        QCOMPARE(info.chapters.size(), kRanges.size());
        const QStringList titles{"Opening: the hall", "Range 2", "Schluss – Ünïcode"};
        double at = 0;
        for (int i = 0; i < kRanges.size(); ++i) {
            const ChapterInfo& chapter = info.chapters[i];
            QCOMPARE(chapter.title, titles[i]);
            QVERIFY2(
                std::fabs(chapter.start - at) < 0.002,
                qPrintable(QStringLiteral("chapter %1 at %2 s").arg(i + 1).arg(chapter.start)));
            at = chapter.end;
        }
        QVERIFY(std::fabs(at - info.duration) < 0.05);
    }

    // Ranges that cannot be cut are refused, naming the range, and nothing is written.
    void refusesRangesItCannotCut_data() {
        QTest::addColumn<QStringList>("ranges");
        QTest::addColumn<QString>("message");
        QTest::newRow("overlapping") << QStringList{"-range", "1:2", "-range", "1.5:3"}
                                     << "range 2 (1.500 to 3.000 s) overlaps range 1";
        QTest::newRow("inside another") << QStringList{"-range", "1:4", "-range", "2:3"}
                                        << "range 2 (2.000 to 3.000 s) overlaps range 1";
        QTest::newRow("empty") << QStringList{"-range", "1:2", "-range", "3:3"}
                               << "the range \"3:3\" is empty";
        QTest::newRow("backwards") << QStringList{"-range", "4:3"} << "the range \"4:3\" is empty";
        QTest::newRow("ends past the end")
            << QStringList{"-range", "1:2", "-range", "5:7.5"}
            << "range 2 (5.000 to 7.500 s) ends past the end of the source (6.000 s)";
        QTest::newRow("starts past the end")
            << QStringList{"-range", "6.5:7"} << "range 1 (6.500 to 7.000 s) starts at or past";
        QTest::newRow("a time with a comma")
            << QStringList{"-range", "1,5:2"} << "must be seconds like 12.5";
        QTest::newRow("a negative time") << QStringList{"-range", "-1:2"} << "must be seconds";
        QTest::newRow("a label with a line break")
            << QStringList{"-range", "1:2:two\nlines"} << "the label of the range \"1:2\" holds";
        QTest::newRow("beside -ss")
            << QStringList{"-ss", "1", "-range", "2:3"} << "cannot go with -ss or -t";
    }
    void refusesRangesItCannotCut() {
        QFETCH(QStringList, ranges);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString output = dir.filePath("joined.mp4");
        const Run run = runVorkast(QStringList{"-y", "-i", fixture("chirp_h264.mp4")} + ranges +
                                   QStringList{"-c", "copy", "-cut", "exact", output});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.lastLine().contains(message), qPrintable(run.lastLine()));
        QVERIFY2(QDir(dir.path())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                     .isEmpty(),
                 "something was written");
    }
};

QTEST_GUILESS_MAIN(TestJoin)
#include "test_join.moc"
