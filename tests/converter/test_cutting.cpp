// Cutting sections in both modes, checked by probing and decoding the clips: codecs, size,
// length, the first picture against the source, and picture against sound.
#include "converter_harness.h"
#include "cut_notice.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <map>

using namespace vorkast::test;

namespace {

// Decoded sources, shared by the rows that use them.
const std::vector<Picture>& sourcePictures(const QString& name) {
    static std::map<QString, std::vector<Picture>> cache;
    auto it = cache.find(name);
    if (it == cache.end())
        it = cache.emplace(name, decodePictures(fixture(name))).first;
    return it->second;
}

// Index of the source picture on screen at t.
int shownAt(const std::vector<Picture>& pictures, double t) {
    int index = 0;
    for (int i = 0; i < int(pictures.size()); ++i)
        if (pictures[i].time <= t + 1e-6)
            index = i;
    return index;
}

int bestMatch(const std::vector<Picture>& pictures, const Picture& picture) {
    int best = 0;
    for (int i = 1; i < int(pictures.size()); ++i)
        if (psnr(pictures[i], picture) > psnr(pictures[best], picture))
            best = i;
    return best;
}

} // namespace

class TestCutting : public QObject {
    Q_OBJECT
private slots:
    void cut_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QStringList>("profile");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("videoCodec");
        QTest::addColumn<QString>("audioCodec");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("minFrames");
        QTest::addColumn<int>("maxFrames");
        QTest::addColumn<double>("soundSeconds"); // -1: not checked
        QTest::addColumn<bool>("exactStart");     // first picture is the one shown at the start;
                                                  // otherwise one shown at or before it

        const QStringList encode;
        const QStringList copy{"-c", "copy"};
        const QSize counter(160, 120), six(96, 64);
        QTest::newRow("encode: start 0") << "counter.mp4"
                                         << "0"
                                         << "2" << encode << "mp4"
                                         << "h264"
                                         << "aac" << counter << 50 << 50 << 2.0 << true;
        QTest::newRow("encode: start inside a group of pictures")
            << "counter.mp4"
            << "3.33"
            << "2.5" << encode << "mp4"
            << "h264"
            << "aac" << counter << 62 << 62 << 2.5 << true;
        QTest::newRow("encode: length past the end") << "counter.mp4"
                                                     << "8.5"
                                                     << "5" << encode << "mp4"
                                                     << "h264"
                                                     << "aac" << counter << 37 << 38 << 1.5 << true;
        QTest::newRow("encode: shorter than one frame")
            << "counter.mp4"
            << "4.01"
            << "0.01" << encode << "mp4"
            << "h264"
            << "aac" << counter << 1 << 1 << -1.0 << true;
        QTest::newRow("encode: size, rate and aspect")
            << "counter.mp4"
            << "1"
            << "2" << QStringList{"-s", "80x60", "-r", "10", "-aspect", "16:9", "-vcodec", "mpeg4"}
            << "avi"
            << "mpeg4"
            << "mp3" << QSize(80, 60) << 20 << 20 << 2.0 << true;
        // 4:2:0 needs even sizes: an odd custom size loses a row and a column.
        QTest::newRow("encode: odd size") << "counter.mp4"
                                          << "1"
                                          << "2" << QStringList{"-s", "81x61"} << "mp4"
                                          << "h264"
                                          << "aac" << QSize(80, 60) << 50 << 50 << 2.0 << true;
        QTest::newRow("encode: motion jpeg, odd size")
            << "counter.mp4"
            << "1"
            << "2" << QStringList{"-vcodec", "mjpeg", "-s", "81x61"} << "avi"
            << "mjpeg"
            << "mp3" << QSize(80, 60) << 50 << 50 << 2.0 << true;
        QTest::newRow("encode: the job's 15 digits")
            << "counter.mp4"
            << "3.33333333333333"
            << "3.33333333333333" << encode << "mp4"
            << "h264"
            << "aac" << counter << 83 << 83 << 3.3333 << true;

        QTest::newRow("copy: start 0") << "counter.mp4"
                                       << "0"
                                       << "2" << copy << "mp4"
                                       << "h264"
                                       << "aac" << counter << 50 << 55 << -1.0 << true;
        QTest::newRow("copy: start inside a group of pictures")
            << "counter.mp4"
            << "3.33"
            << "2.5" << copy << "mp4"
            << "h264"
            << "aac" << counter << 62 << 67 << -1.0 << true;
        QTest::newRow("copy: length past the end") << "counter.mp4"
                                                   << "8.5"
                                                   << "5" << copy << "mp4"
                                                   << "h264"
                                                   << "aac" << counter << 37 << 38 << -1.0 << true;
        QTest::newRow("copy: shorter than one frame") << "counter.mp4"
                                                      << "4.01"
                                                      << "0.01" << copy << "mp4"
                                                      << "h264"
                                                      << "aac" << counter << 1 << 5 << -1.0 << true;

        // AVI counts time in frames: a start past the middle of a picture is nearer the next
        // one's tick, which is not yet on screen there.
        QTest::newRow("encode: avi, start late in a picture")
            << "six.avi"
            << "2.35"
            << "1.5" << encode << "avi"
            << "mpeg4"
            << "mp3" << six << 37 << 38 << 1.5 << true;
        QTest::newRow("encode: intra-only avi, start late in a picture")
            << "exact_mjpeg.avi"
            << "1.3"
            << "1" << QStringList{"-vcodec", "libx264", "-acodec", "aac"} << "mkv"
            << "h264"
            << "aac" << six << 25 << 25 << 1.0 << true;
        // A length inside one picture of a time base that counts whole pictures (AVI) is
        // still that picture.
        QTest::newRow("encode: intra-only avi, shorter than a frame")
            << "exact_mjpeg.avi"
            << "1.5"
            << "0.01" << QStringList{"-vcodec", "libx264", "-acodec", "aac"} << "mkv"
            << "h264"
            << "aac" << six << 1 << 1 << -1.0 << true;

        // One source per supported container, cut inside a group of pictures.
        struct Container {
            const char* ext;
            const char* video;
            const char* audio;
            const char* copyVideo;
            const char* copyAudio;
            bool editList;
        };
        const Container containers[] = {
            {"avi", "mpeg4", "mp3", "mpeg4", "mp3", false},
            {"mpg", "mpeg1video", "mp2", "mpeg2video", "mp2", false},
            {"mpeg", "mpeg1video", "mp2", "mpeg2video", "mp2", false},
            {"vob", "mpeg2video", "mp2", "mpeg2video", "ac3", false},
            {"mov", "h264", "aac", "h264", "aac", true},
            {"wmv", "msmpeg4v3", "wmav2", "wmv2", "wmav2", false},
            {"asf", "msmpeg4v3", "wmav2", "wmv2", "wmav2", false},
            {"mp4", "h264", "aac", "h264", "aac", true},
        };
        for (const Container& c : containers) {
            const QString source = QStringLiteral("six.") + c.ext;
            // Frames count from the picture on screen at the start up to the one on screen at
            // the end; where sound starts before the picture, that grid is shifted.
            QTest::addRow("encode %s", c.ext)
                << source << "2.3"
                << "1.5" << encode << c.ext << c.video << c.audio << six << 37 << 38 << 1.5 << true;
            // Without an edit list the clip starts at the keyframe before the start. The H.264
            // sources have up to three B-frames: those shown before the end but predicted from
            // a picture past it are left out with it.
            QTest::addRow("copy %s", c.ext)
                << source << "2.3"
                << "1.5" << copy << c.ext << c.copyVideo << c.copyAudio << six
                << (c.editList ? 35 : 38) << (c.editList ? 38 : 38 + 25) << -1.0 << c.editList;
        }
    }

    void cut() {
        QFETCH(QString, source);
        QFETCH(QString, start);
        QFETCH(QString, length);
        QFETCH(QStringList, profile);
        QFETCH(QString, extension);
        QFETCH(QString, videoCodec);
        QFETCH(QString, audioCodec);
        QFETCH(QSize, size);
        QFETCH(int, minFrames);
        QFETCH(int, maxFrames);
        QFETCH(double, soundSeconds);
        QFETCH(bool, exactStart);

        QTemporaryDir dir;
        const QString output = dir.filePath("clip." + extension);
        {
            QFile old(output); // an earlier clip of the same name is replaced
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old clip");
        }
        const Run run =
            runVorkast(QStringList{"-y", "-i", fixture(source), "-ss", start, "-t", length} +
                       profile + QStringList{output});
        QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.errorText));
        QVERIFY2(run.contractBreach().isEmpty(), qPrintable(run.contractBreach()));
        // A copy whose container shows the pictures before the start says how far before it
        // the clip starts, in one line (keyframeCutIsAnnounced checks the figure); nothing else
        // is said.
        const bool startsEarly = !exactStart && profile.contains(QStringLiteral("copy"));
        QVERIFY2(run.otherLines.size() == (startsEarly ? 1 : 0), qPrintable(run.errorText));
        if (startsEarly)
            QVERIFY2(vorkast::notice::parseKeyframeCut(run.otherLines[0].toStdString()),
                     qPrintable(run.otherLines[0]));
        QVERIFY(run.reports.size() >= 2);
        QVERIFY(QDir(dir.path()).entryList({"*.part"}, QDir::Files | QDir::Hidden).isEmpty());

        const ProbeInfo info = probe(output);
        QVERIFY(info.opened);
        QCOMPARE(info.codecs("video"), QStringList{videoCodec});
        QCOMPARE(info.codecs("audio"), QStringList{audioCodec});
        QCOMPARE(QSize(info.streams[0].width, info.streams[0].height), size);
        if (profile.contains("-aspect"))
            QVERIFY(std::fabs(info.streams[0].displayAspect - 16.0 / 9.0) < 0.01);

        const std::vector<Picture> clip = decodePictures(output);
        QVERIFY2(int(clip.size()) >= minFrames && int(clip.size()) <= maxFrames,
                 qPrintable(QString::number(clip.size())));
        // The final report is the length covered.
        double last = 0;
        for (const Picture& p : sourcePictures(source))
            last = std::max(last, p.time);
        const double available = last + 0.04 - start.toDouble();
        QVERIFY(std::fabs(run.reports.last() - std::min(length.toDouble(), available)) < 0.011);

        if (soundSeconds >= 0) {
            const Sound sound = decodeSound(output);
            QVERIFY2(std::fabs(sound.seconds() - soundSeconds) < 0.07,
                     qPrintable(QString::number(sound.seconds())));
        }

        const std::vector<Picture>& original = sourcePictures(source);
        const int wanted = shownAt(original, start.toDouble());
        const int got = bestMatch(original, clip.front());
        if (exactStart) {
            QCOMPARE(got, wanted);
            if (wanted > 0)
                QVERIFY(psnr(original[wanted], clip.front()) >
                        psnr(original[wanted - 1], clip.front()));
            QVERIFY(psnr(original[wanted], clip.front()) >
                    psnr(original[wanted + 1], clip.front()));
        } else {
            QVERIFY2(got <= wanted, "the clip starts late");
        }
    }

    // Equal sections of a source, as the split job asks for them (15 significant digits): every
    // picture lands in exactly one clip, in order, and none twice, whether or not a boundary
    // falls on a frame edge.
    void sectionsTile_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("sections");
        QTest::addColumn<int>("pictures");
        QTest::newRow("25 fps into 7") << "bars25.mp4" << 12.0 << 7 << 300;
        QTest::newRow("25 fps into 4, on frame edges") << "bars25.mp4" << 12.0 << 4 << 300;
        QTest::newRow("29.97 fps into 5") << "bars2997.mp4" << 6.006 << 5 << 180;
    }
    void sectionsTile() {
        QFETCH(QString, source);
        QFETCH(double, seconds);
        QFETCH(int, sections);
        QFETCH(int, pictures);
        QTemporaryDir dir;
        QList<int> all;
        for (int i = 0; i < sections; ++i) {
            const QString output = dir.filePath(QStringLiteral("clip%1.mp4").arg(i));
            const Run run = runVorkast({"-i", fixture(source), "-ss",
                                        QString::number(seconds * i / sections, 'g', 15), "-t",
                                        QString::number(seconds / sections, 'g', 15), output});
            QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
            for (int index : barcodes(output))
                all.append(index);
        }
        QList<int> expected;
        for (int i = 0; i < pictures; ++i)
            expected.append(i);
        QCOMPARE(all, expected);
    }

    // Sample rate, channel count and volume go through the audio filters.
    void soundSettings_data() {
        QTest::addColumn<QStringList>("profile");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("loudness"); // against the source's
        QTest::newRow("resampled to mono")
            << QStringList{"-ar", "22050", "-ac", "1"} << "mp4" << 22050 << 1 << 1.0;
        QTest::newRow("mono made stereo") << QStringList{"-ac", "2"} << "mp4" << 44100 << 2 << 1.0;
        QTest::newRow("half volume") << QStringList{"-vol", "128"} << "mp4" << 44100 << 1 << 0.5;
        QTest::newRow("double volume, mp2")
            << QStringList{"-vol", "512", "-acodec", "mp2"} << "mpg" << 44100 << 1 << 2.0;
        QTest::newRow("a rate mp2 lacks")
            << QStringList{"-ar", "11025", "-acodec", "mp2"} << "mpg" << 16000 << 1 << 1.0;
    }
    void soundSettings() {
        QFETCH(QStringList, profile);
        QFETCH(QString, extension);
        QFETCH(int, sampleRate);
        QFETCH(int, channels);
        QFETCH(double, loudness);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip." + extension);
        const Run run =
            runVorkast(QStringList{"-i", fixture("counter.mp4"), "-ss", "1", "-t", "2"} + profile +
                       QStringList{output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        const ProbeInfo info = probe(output);
        QCOMPARE(info.streams.last().sampleRate, sampleRate);
        QCOMPARE(info.streams.last().channels, channels);
        const double level = decodeSound(output).rms();
        const double original = decodeSound(fixture("counter.mp4")).rms();
        QVERIFY2(std::fabs(level / original - loudness) < 0.1 * loudness,
                 qPrintable(QStringLiteral("%1 against %2").arg(level).arg(original)));
    }

    // -bitexact: the same section twice gives the same bytes, with no library version inside.
    void reproducible_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QStringList>("profile");
        QTest::newRow("mp4, libx264 and aac") << "mp4" << QStringList{};
        QTest::newRow("avi, mpeg4 and mp3") << "avi" << QStringList{};
        QTest::newRow("mpg") << "mpg" << QStringList{};
        QTest::newRow("wmv") << "wmv" << QStringList{};
        QTest::newRow("webm, vp9 and opus")
            << "webm" << QStringList{"-vcodec",   "libvpx-vp9", "-deadline", "realtime",
                                     "-cpu-used", "8",          "-acodec",   "libopus"};
        QTest::newRow("mov copied") << "mov" << QStringList{"-c", "copy"};
    }
    void reproducible() {
        QFETCH(QString, extension);
        QFETCH(QStringList, profile);
        QTemporaryDir dir;
        QByteArray clips[2];
        for (QByteArray& clip : clips) {
            const QString output = dir.filePath("clip." + extension);
            const Run run = runVorkast(QStringList{"-y", "-i", fixture("counter.mp4"), "-ss", "1",
                                                   "-t", "2", "-bitexact"} +
                                       profile + QStringList{output});
            QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
            QFile file(output);
            QVERIFY(file.open(QIODevice::ReadOnly));
            clip = file.readAll();
        }
        QVERIFY(clips[0] == clips[1]);
        // LAME's own tag inside mp3 frames cannot be switched off and is not looked for.
        static const QRegularExpression version(QStringLiteral("Lavf[0-9]|Lavc[0-9]|x264 - core"));
        QVERIFY(!version.match(QString::fromLatin1(clips[0])).hasMatch());
    }

    // A white flash and a beep sound together once a second in the source; they must stay
    // together in the clip, wherever it starts.
    void pictureAndSoundStayTogether_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QStringList>("profile");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<double>("late"); // how much later than the start's instant the clip may
                                          // start: a copy, and an encoding at the source's frame
                                          // rate, start with the picture on screen there
        QTest::newRow("mp4, start between frames") << "1.31" << QStringList{} << "mp4" << 0.04;
        QTest::newRow("avi, mpeg4 and mp3") << "0.5" << QStringList{} << "avi" << 0.04;
        QTest::newRow("mpg, 30 fps") << "1.77" << QStringList{"-r", "30"} << "mpg" << 0.0;
        QTest::newRow("mp4 copied") << "1.31" << QStringList{"-c", "copy"} << "mp4" << 0.04;
    }
    void pictureAndSoundStayTogether() {
        QFETCH(QString, start);
        QFETCH(QStringList, profile);
        QFETCH(QString, extension);
        QFETCH(double, late);
        QTemporaryDir dir;
        const QString output = dir.filePath("sync." + extension);
        const Run run = runVorkast(QStringList{"-i", fixture("sync.mp4"), "-ss", start, "-t", "2"} +
                                   profile + QStringList{output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));

        const double expected = 1.0 - (start.toDouble() - std::floor(start.toDouble()));
        const Sound sound = decodeSound(output);
        const double beep = sound.firstLoud(0.3f);
        double flash = -1;
        for (const Picture& p : decodePictures(output))
            if (p.mean() > 128) {
                flash = p.time;
                break;
            }
        QVERIFY2(beep > expected - 0.03 && beep < expected + late + 0.03,
                 qPrintable(QString::number(beep)));
        QVERIFY2(std::fabs(flash - beep) < 0.045,
                 qPrintable(QStringLiteral("flash %1, beep %2").arg(flash).arg(beep)));
    }
};

QTEST_GUILESS_MAIN(TestCutting)
#include "test_cutting.moc"
