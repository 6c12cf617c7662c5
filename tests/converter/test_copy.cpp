// Copy mode keeps every stream the output container can hold, the metadata and the chapters
// that fall in the section, and ends the picture at the section's end.
#include "converter_harness.h"

#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace vorkast::test;

namespace {

// The number a frames.* fixture paints into each of its 96x64 pictures: 12 bits, blocks of 16
// by 32 pixels, six to a row, white when set. -1 where a block is neither black nor white (a
// picture decoded against the wrong reference).
int paintedNumber(const Picture& picture) {
    int number = 0;
    for (int bit = 0; bit < 12; ++bit) {
        // Block centres, scaled from 96x64 to the 64x48 of a decoded picture.
        const int x = ((bit % 6) * 16 + 8) * 64 / 96;
        const int y = ((bit / 6) * 32 + 16) * 48 / 64;
        const int level = picture.luma[std::size_t(y) * 64 + x];
        if (level > 170)
            number |= 1 << bit;
        else if (level > 80)
            return -1;
    }
    return number;
}

struct Numbered {
    double time; // seconds from the file's start
    int number;
};

std::vector<Numbered> numbers(const QString& path) {
    std::vector<Numbered> all;
    for (const Picture& p : decodePictures(path))
        all.push_back({p.time, paintedNumber(p)});
    return all;
}

const std::vector<Numbered>& sourceNumbers(const QString& name) {
    static QMap<QString, std::vector<Numbered>> cache;
    if (!cache.contains(name))
        cache.insert(name, numbers(fixture(name)));
    return cache[name];
}

// The number of the source's picture on screen at t seconds from its start, or one past the last
// picture when t lies past the source's end.
int shownAt(const std::vector<Numbered>& source, double t) {
    if (t >= source.back().time + (source.back().time - source.front().time) /
                                      std::max<double>(1, double(source.size()) - 1))
        return source.back().number + 1;
    int shown = source.front().number;
    for (const Numbered& n : source)
        if (n.time <= t + 1e-4)
            shown = n.number;
    return shown;
}

// Runs a keyframe copy of the section; the clip's painted numbers in the order shown.
QList<int> copySection(const QString& name, const QString& output, double start, double length,
                       QString* failure) {
    const QStringList args{
        "-y", "-i",  fixture(name), "-ss", QString::number(start), "-t", QString::number(length),
        "-c", "copy"};
    const Run run =
        runVorkast(args + checkOffForKnownFault(name, args, output) + QStringList{output});
    if (run.exitCode != 0) {
        *failure = run.errorText;
        return {};
    }
    if (const QString errors = decoderErrors(output); !errors.isEmpty()) {
        *failure = "decoder: " + errors;
        return {};
    }
    QList<int> shown;
    for (const Numbered& n : numbers(output))
        shown.append(n.number);
    return shown;
}

// The length the first sound stream's header states, as a reader that trusts it takes it; -1
// when it states none.
double statedSoundSeconds(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {"-v", "error", "-select_streams", "a:0", "-show_entries", "stream=duration",
                   "-of", "default=noprint_wrappers=1:nokey=1", path});
    if (!ffprobe.waitForFinished(30000))
        return -1;
    bool ok = false;
    const double seconds =
        QString::fromUtf8(ffprobe.readAllStandardOutput()).trimmed().toDouble(&ok);
    return ok ? seconds : -1;
}

QString listed(const QList<int>& numbers) {
    QStringList text;
    for (int n : numbers)
        text << QString::number(n);
    return text.join(',');
}

} // namespace

class TestCopy : public QObject {
    Q_OBJECT
private slots:
    void keepsStreamsAndChapters_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QStringList>("subtitles");
        QTest::addColumn<QStringList>("chapters"); // "title start end" in clip seconds
        QTest::newRow("mp4, across chapters")
            << "mp4"
            << "1.3"
            << "3" << QStringList{"mov_text"}
            << QStringList{"One 0 0.7", "Two 0.7 2.7", "Three 2.7 3"};
        QTest::newRow("mov, inside one chapter")
            << "mov"
            << "4.5"
            << "1" << QStringList{"mov_text"} << QStringList{"Three 0 1"};
        // AVI has no place for text subtitles or chapters; the rest is kept.
        QTest::newRow("avi") << "avi"
                             << "1.3"
                             << "3" << QStringList{} << QStringList{};
    }
    void keepsStreamsAndChapters() {
        QFETCH(QString, extension);
        QFETCH(QString, start);
        QFETCH(QString, length);
        QFETCH(QStringList, subtitles);
        QFETCH(QStringList, chapters);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip." + extension);
        const Run run = runVorkast(
            {"-y", "-i", fixture("rich.mp4"), "-ss", start, "-t", length, "-c", "copy", output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        QVERIFY2(run.contractBreach().isEmpty(), qPrintable(run.contractBreach()));

        const ProbeInfo info = probe(output);
        QCOMPARE(info.codecs("video"), QStringList{"h264"});
        QCOMPARE(info.codecs("audio"), (QStringList{"aac", "aac"}));
        QCOMPARE(info.codecs("subtitle"), subtitles);
        QStringList languages;
        for (const StreamInfo& s : info.streams)
            if (s.type == "audio")
                languages << s.language;
        if (extension != "avi") {
            QCOMPARE(languages, (QStringList{"eng", "ger"}));
            QCOMPARE(info.title, QStringLiteral("Rich fixture"));
        }

        QCOMPARE(info.chapters.size(), chapters.size());
        for (int i = 0; i < chapters.size(); ++i) {
            const QStringList want = chapters[i].split(' ');
            const ChapterInfo& got = info.chapters[i];
            QCOMPARE(got.title, want[0]);
            // The clip counts from the picture on screen at the start: up to a frame earlier.
            QVERIFY2(
                std::fabs(got.start - want[1].toDouble()) <= 0.05 &&
                    std::fabs(got.end - want[2].toDouble()) <= 0.05,
                qPrintable(QStringLiteral("%1 %2 %3").arg(got.title).arg(got.start).arg(got.end)));
        }
    }

    // AVI states a sound stream's length in its header; players that trust it show it and seek
    // by it. Sound in frames of its own (MP3, MP2, AC-3, AAC) is counted in frames. A copied
    // MP3 may begin with frames that need the bytes of one before them: those are not heard.
    void aviStatesTheSoundsLength_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("mode");
        QTest::newRow("mp3") << "six.avi" << QStringList{};
        QTest::newRow("mp3, exact cut") << "exact_mpeg4.avi" << QStringList{"-cut", "exact"};
        QTest::newRow("mp2 from a program stream") << "six.mpg" << QStringList{};
        QTest::newRow("ac-3 from dvd video") << "six.vob" << QStringList{};
        QTest::newRow("aac from mp4") << "six.mp4" << QStringList{};
    }
    void aviStatesTheSoundsLength() {
        QFETCH(QString, name);
        QFETCH(QStringList, mode);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip.avi");
        const Run run = runVorkast(
            QStringList{"-y", "-i", fixture(name), "-ss", "1.3", "-t", "2", "-c", "copy"} + mode +
            QStringList{output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        const double stated = statedSoundSeconds(output);
        const double heard = decodeSound(output).seconds();
        QVERIFY2(heard > 1.9 && std::fabs(stated - heard) < 0.1,
                 qPrintable(QStringLiteral("states %1 s, holds %2 s").arg(stated).arg(heard)));
    }

    void videoOrAudioAlone_data() {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<int>("videoCount");
        QTest::addColumn<int>("audioCount");
        QTest::newRow("no video") << "-vn" << 0 << 2;
        QTest::newRow("no audio") << "-an" << 1 << 0;
    }
    void videoOrAudioAlone() {
        QFETCH(QString, flag);
        QFETCH(int, videoCount);
        QFETCH(int, audioCount);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip.mp4");
        const Run run = runVorkast(
            {"-i", fixture("rich.mp4"), "-ss", "2", "-t", "2", "-c", "copy", flag, output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        const ProbeInfo info = probe(output);
        QCOMPARE(int(info.codecs("video").size()), videoCount);
        QCOMPARE(int(info.codecs("audio").size()), audioCount);
    }

    // A keyframe copy may start at the keyframe before the start, but shows nothing at or past
    // the end, even where B-pictures shown before the end come after a later picture in decode
    // order: those are left out with it. Every picture the clip holds decodes cleanly.
    void keyframeCopyEndsAtTheEnd_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("length");
        // Keyframes every 12 pictures at 25 fps, two B-pictures between the others; the
        // program streams start at 0.5 s, where their first picture shows a frame later.
        // MPEG-4 Visual from AVI, whose B-frames are packed with the picture before them, is
        // copied into other containers one picture to a packet.
        const struct {
            const char* name;
            const char* container;
        } sources[] = {{"frames.mpg", "mpg"}, {"frames.vob", "vob"}, {"frames.mpeg", "mpeg"},
                       {"frames.mp4", "mp4"}, {"frames.mov", "mov"}, {"frames.avi", "avi"},
                       {"frames.avi", "mp4"}, {"frames.avi", "mkv"}, {"frames.avi", "mov"}};
        const struct {
            const char* label;
            double start, length;
        } cuts[] = {
            {"one second", 1.0, 1.0},
            {"end mid-frame", 0.3, 1.53},
            {"end on a frame edge", 1.5, 1.32},
            {"end on a keyframe", 0.6, 1.32},
            {"past the source's end", 3.1, 5.0},
        };
        for (const auto& source : sources)
            for (const auto& cut : cuts)
                QTest::addRow("%s to %s, %s", source.name, source.container, cut.label)
                    << QString(source.name) << QString(source.container) << cut.start << cut.length;
    }
    void keyframeCopyEndsAtTheEnd() {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(double, start);
        QFETCH(double, length);
        const std::vector<Numbered>& source = sourceNumbers(name);
        QVERIFY(source.size() >= 90);
        QTemporaryDir dir;
        QString failure;
        const QList<int> clip =
            copySection(name, dir.filePath("clip." + container), start, length, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY(!clip.isEmpty());

        const int first = shownAt(source, start);
        const int end = shownAt(source, start + length);
        // In display order, every picture readable, none twice, none at or past the end.
        for (int i = 0; i < clip.size(); ++i)
            QVERIFY2(
                clip[i] >= 0 && (i == 0 || clip[i] > clip[i - 1]) && clip[i] < end,
                qPrintable(
                    QStringLiteral("frame %1 of %2 (end %3)").arg(i).arg(listed(clip)).arg(end)));
        QVERIFY2(clip.front() <= first && clip.contains(first), qPrintable(listed(clip)));
        // At most the two B-pictures before the end that refer to a picture past it are missing.
        QVERIFY2(clip.back() >= end - 3, qPrintable(listed(clip)));
    }

    // Consecutive keyframe copies of a range: each starts up to a group early, but from its own
    // start on no picture is in two clips, and only pictures just before a section's end that
    // refer past it are missing.
    void keyframeCopiesTile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<double>>("marks");
        QTest::newRow("mpg") << "frames.mpg" << QList<double>{0.2, 1.0, 1.77, 2.0, 3.3};
        QTest::newRow("vob") << "frames.vob" << QList<double>{0.5, 1.3, 2.42, 3.0};
        QTest::newRow("mp4") << "frames.mp4" << QList<double>{0.2, 1.0, 1.77, 2.0, 3.3};
        QTest::newRow("avi") << "frames.avi" << QList<double>{0.5, 1.3, 2.42, 3.0};
    }
    void keyframeCopiesTile() {
        QFETCH(QString, name);
        QFETCH(QList<double>, marks);
        const std::vector<Numbered>& source = sourceNumbers(name);
        QTemporaryDir dir;
        QSet<int> seen;
        for (int i = 0; i + 1 < marks.size(); ++i) {
            QString failure;
            const QList<int> clip = copySection(
                name,
                dir.filePath(QStringLiteral("clip%1.%2").arg(i).arg(QFileInfo(name).suffix())),
                marks[i], marks[i + 1] - marks[i], &failure);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            const int first = shownAt(source, marks[i]);
            const int end = shownAt(source, marks[i + 1]);
            for (int n = first; n < end; ++n) {
                const bool held = clip.contains(n);
                QVERIFY2(!held || !seen.contains(n),
                         qPrintable(QStringLiteral("frame %1 twice: %2").arg(n).arg(listed(clip))));
                QVERIFY2(
                    held || n >= end - 2,
                    qPrintable(QStringLiteral("frame %1 missing: %2").arg(n).arg(listed(clip))));
                seen.insert(n);
            }
            for (int n : clip)
                QVERIFY2(n < end, qPrintable(QStringLiteral("frame %1 past the end %2: %3")
                                                 .arg(n)
                                                 .arg(end)
                                                 .arg(listed(clip))));
        }
    }
};

QTEST_GUILESS_MAIN(TestCopy)
#include "test_copy.moc"
