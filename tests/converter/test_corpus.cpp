// Sources as users have them (phones, cameras, joined and damaged recordings), cut and checked
// from the outside: the exit status, which pictures the clip holds (each source paints its
// frame index as a barcode), the streams and properties kept, and the last report.
// SEGMORA_NEEDS_MEDIA
#include "converter_harness.h"
#include "libav_owners.h"

#include "cut_notice.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

using namespace vorkast::test;

namespace {

// The rotation a player applies to the first video stream, in degrees; 0 when none is stored.
double rotation(const QString& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return 0;
    const vorkast::InputContextPtr input(raw);
    double degrees = 0;
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVStream* s = raw->streams[i];
        if (s->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
            continue;
        if (const auto* matrix = reinterpret_cast<const std::int32_t*>(
                av_stream_get_side_data(s, AV_PKT_DATA_DISPLAYMATRIX, nullptr)))
            degrees = av_display_rotation_get(matrix);
        break;
    }
    return degrees;
}

// How many packets the first video stream holds: a picture a decoder cannot make is dropped
// without a word, so these are counted against the pictures decoded.
int videoPackets(const QString& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return -1;
    const vorkast::InputContextPtr input(raw);
    avformat_find_stream_info(raw, nullptr);
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    int packets = 0;
    const vorkast::PacketPtr packet = vorkast::makePacket();
    while (index >= 0 && av_read_frame(raw, packet.get()) >= 0) {
        packets += packet->stream_index == index;
        av_packet_unref(packet.get());
    }
    return packets;
}

// A bit-flipped copy: one bit in a hundred, the same ones every run.
QByteArray flipped(QByteArray bytes) {
    quint32 x = 2463534242u;
    for (qsizetype n = bytes.size() * 8 / 100; n > 0; --n) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const quint32 bit = x % quint32(bytes.size() * 8);
        bytes[bit / 8] = char(bytes[bit / 8] ^ (1 << (bit % 8)));
    }
    return bytes;
}

} // namespace

class TestCorpus : public QObject {
    Q_OBJECT
private slots:
    void cut_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("damage"); // "", "flip"
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("firstFrame"); // -1: not checked
        QTest::addColumn<int>("lastFrame");  // -1: not checked
        QTest::addColumn<double>("maxSeconds");
        QTest::addColumn<QString>("expect"); // one more check, see below

        const QStringList copy{"-c", "copy"};
        auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };
        row("phone clip copied keeps its rotation")
            << "rotated.mp4"
            << "" << (QStringList{"-ss", "1", "-t", "1"} + copy) << "mp4" << 0 << 25 << 49 << 1.05
            << "rotation -90 language fra";
        row("phone clip encoded keeps its rotation")
            << "rotated.mp4"
            << "" << QStringList{"-ss", "1", "-t", "1"} << "mp4" << 0 << 25 << 49 << 1.05
            << "rotation -90 language fra";
        row("camera sound copied into its own container")
            << "pcm.mov"
            << "" << (QStringList{"-ss", "1", "-t", "1"} + copy) << "mov" << 0 << 25 << -1 << 1.05
            << "audio pcm_s16le";
        row("camera sound encoded into mp4") << "pcm.avi"
                                             << "" << QStringList{"-ss", "1", "-t", "1"} << "mp4"
                                             << 0 << 25 << 49 << 1.05 << "audio aac";
        row("joined recording encoded to the end")
            << "joined.ts"
            << "" << QStringList{"-ss", "1"} << "mp4" << 0 << -1 << 149 << 5.2 << "each frame once";
        // Without an edit list, a copy starts at the keyframe before the start: here 1 s early.
        row("joined recording copied to the end")
            << "joined.ts"
            << "" << (QStringList{"-ss", "1"} + copy) << "ts" << 0 << -1 << 149 << 6.2 << "";
        row("joined recording across the join") << "joined.ts"
                                                << "" << QStringList{"-ss", "2", "-t", "2"} << "mp4"
                                                << 0 << 49 << 98 << 2.05 << "each frame once";
        // The second recording's clock runs an hour ahead: seeks go by the mended timeline,
        // on which the source plays 6 s.
        row("joined recording copied from after the join")
            << "joined.ts"
            << "" << (QStringList{"-ss", "5.5", "-t", "5"} + copy) << "mp4" << 0 << 137 << 149
            << 0.55 << "each frame once";
        row("joined recording copied exactly from after the join")
            << "joined.ts"
            << "" << (QStringList{"-ss", "5.5", "-t", "5", "-cut", "exact"} + copy) << "ts" << 0
            << 137 << 149 << 0.55 << "each frame once";
        row("joined recording encoded from after the join")
            << "joined.ts"
            << "" << QStringList{"-ss", "5.5", "-t", "5"} << "mkv" << 0 << 137 << 149 << 0.55
            << "each frame once";
        row("joined recording, start past where it plays")
            << "joined.ts"
            << "" << (QStringList{"-ss", "11", "-t", "2"} + copy) << "ts" << 1 << -1 << -1 << 0.0
            << "";
        // A length inside one frame: the clip is that frame, the one on screen at the start.
        const struct {
            const char* name;
            const char* source;
            const char* length;
            QStringList mode;
            const char* extension;
        } shortCuts[] = {
            {"mp4 copied", "bars25.mp4", "0.01", copy, "mp4"},
            {"mp4 copied into mov", "bars25.mp4", "0.01", copy, "mov"},
            {"b-frames copied, one frame long", "bframes.mp4", "0.04", copy, "mp4"},
            {"mp4 copied exactly", "bars25.mp4", "0.01", copy + QStringList{"-cut", "exact"},
             "mp4"},
            {"program stream copied exactly", "bars.mpg", "0.01",
             copy + QStringList{"-cut", "exact"}, "mpg"},
            {"dvd video copied exactly", "bars.vob", "0.01", copy + QStringList{"-cut", "exact"},
             "vob"},
            {"transport stream copied exactly", "joined.ts", "0.01",
             copy + QStringList{"-cut", "exact"}, "ts"},
            {"mp4 encoded", "bars25.mp4", "0.01", {}, "mp4"},
        };
        for (const auto& cut : shortCuts)
            QTest::addRow("shorter than a frame: %s", cut.name)
                << cut.source << "" << (QStringList{"-ss", "1.5", "-t", cut.length} + cut.mode)
                << cut.extension << 0 << 37 << 37 << 0.05 << "one frame";
        row("clock from 3600 s, start counted from the source's start")
            << "late.ts"
            << "" << QStringList{"-ss", "1", "-t", "2"} << "mp4" << 0 << 24 << 73 << 2.05 << "";
        row("clock from 3600 s, to the end")
            << "late.ts"
            << "" << QStringList{"-ss", "1"} << "mp4" << 0 << 24 << 99 << 3.1 << "";
        for (const char* source : {"late.mkv", "late.mp4"})
            QTest::addRow("clock from 3600 s, length stated from zero, to the end: %s", source)
                << source << "" << QStringList{"-ss", "1"} << "mp4" << 0 << 24 << 99 << 3.1 << "";
        row("clock from 3600 s, start past the end")
            << "late.ts"
            << "" << QStringList{"-ss", "5", "-t", "1"} << "mp4" << 1 << -1 << -1 << 0.0 << "";
        row("length far past the end means to the end")
            << "bars25.mp4"
            << "" << QStringList{"-ss", "11", "-t", "1e15"} << "mp4" << 0 << 275 << 299 << 1.05
            << "";
        row("damaged program stream encoded to the end")
            << "bars.mpg"
            << "flip" << QStringList{"-ss", "1"} << "mp4" << -1 << -1 << -1 << 30.0 << "";
        row("damaged program stream copied to the end")
            << "bars.mpg"
            << "flip" << (QStringList{"-ss", "1"} + copy) << "mpg" << -1 << -1 << -1 << 30.0 << "";
        // Decode times only, B-frames: the keyframe near the start is shown three frames later.
        row("mpeg-4 visual avi with b-frames encoded from a keyframe")
            << "bframes.avi"
            << "" << QStringList{"-ss", "1.96", "-t", "1"} << "avi" << 0 << 48 << 72 << 1.05
            << "each frame once";
        row("hevc in matroska copied from inside")
            << "hevc.mkv"
            << "" << (QStringList{"-ss", "1", "-t", "1"} + copy) << "mkv" << 0 << 25 << 49 << 1.05
            << "";
        // B-pyramids: after the seek the first pictures come without decode times, which the
        // clip needs in order, so the muxer takes them. The clip starts at the keyframe at 1 s,
        // which MP4 hides before the start with an edit list; picture 61 refers to the one on
        // screen at the end and is left out. The exact cut holds the pictures on screen from
        // 1.5 s to 2.5 s, 61 encoded again.
        const struct {
            const char* name;
            const char* source;
            QStringList mode;
            const char* extension;
            int firstFrame, lastFrame;
        } pyramids[] = {
            {"8-bit into mkv", "hevc_pyramid8.mkv", copy, "mkv", 25, 60},
            {"8-bit into mp4", "hevc_pyramid8.mkv", copy, "mp4", 37, 60},
            {"10-bit into mkv", "hevc_pyramid10.mkv", copy, "mkv", 25, 60},
            {"10-bit into mp4", "hevc_pyramid10.mkv", copy, "mp4", 37, 60},
            {"8-bit, exact cut", "hevc_pyramid8.mkv", copy + QStringList{"-cut", "exact"}, "mkv",
             37, 61},
        };
        for (const auto& cut : pyramids)
            QTest::addRow("hevc with b-pyramids copied from inside a group: %s", cut.name)
                << cut.source << "" << (QStringList{"-ss", "1.5", "-t", "1"} + cut.mode)
                << cut.extension << 0 << cut.firstFrame << cut.lastFrame << 1.55
                << "each frame once";
        // Its first group has no times (they lie below zero): the copy starts with it, 0.6 s
        // before the first picture with a time, from which the source counts.
        row("matroska starting below zero copied from the start")
            << "negative.mkv"
            << "" << (QStringList{"-ss", "0", "-t", "1"} + copy) << "mkv" << 0 << 0 << -1 << 1.65
            << "each frame once";
        row("h.264 with b-frames copied ends at the end")
            << "bframes.mp4"
            << "" << (QStringList{"-ss", "1", "-t", "1"} + copy) << "mp4" << 0 << 25 << 49 << 1.05
            << "";
        // The sound starts 5 ms before the picture: picture 45, a keyframe, is shown from 1.805 s.
        row("dvd video copied from a keyframe")
            << "bars.vob"
            << "" << (QStringList{"-ss", "1.81", "-t", "1"} + copy) << "vob" << 0 << 45 << -1
            << 1.05 << "";
        // The first keyframe opens a group whose first B-pictures refer to the group before.
        row("dvd video copied from inside an open group")
            << "bars.vob"
            << "" << (QStringList{"-ss", "2.085", "-t", "1"} + copy) << "vob" << 0 << 45 << -1
            << 1.5 << "every packet a picture";
        row("video shorter than sound, copied past the picture")
            << "shortvideo.mp4"
            << "" << (QStringList{"-ss", "9.7", "-t", "5"} + copy) << "mp4" << 0 << -1 << -1 << 0.35
            << "sound 0.3";
        // A copy has no picture from there on: the clip is the sound alone.
        row("video shorter than sound, copied exactly past the picture, to the end")
            << "shortvideo.mp4"
            << "" << (QStringList{"-ss", "9.7", "-cut", "exact"} + copy) << "mkv" << 0 << -1 << -1
            << 0.35 << "sound alone 0.3";
        // Two sound tracks and SubRip subtitles: every track is kept, each encoded alike, and
        // the subtitles go as the container holds text (copied, or written again in its own
        // codec), cut to the section: the line shown at the start from the clip's start, the
        // next one 0.9 s in. A container without text subtitles leaves them out and says so.
        const struct {
            const char* extension;
            QStringList mode;
            int firstFrame;
            const char* kept; // "tracks AUDIO,AUDIO SUBTITLES", "-": none
        } tracks[] = {
            {"mp4", {}, 12, "tracks aac,aac mov_text"},
            {"mov", {}, 12, "tracks aac,aac mov_text"},
            {"mkv", {}, 12, "tracks vorbis,vorbis subrip"},
            {"webm", {}, 12, "tracks opus,opus webvtt"},
            {"avi", {}, 12, "tracks mp3,mp3 -"},
            {"mkv", copy, 0, "tracks vorbis,vorbis subrip"},
        };
        for (const auto& t : tracks)
            QTest::addRow("two sound tracks and subtitles %s into %s",
                          t.mode.isEmpty() ? "encoded" : "copied", t.extension)
                << "tracks.mkv"
                << "" << (QStringList{"-ss", "0.5", "-t", "2"} + t.mode) << t.extension << 0
                << t.firstFrame << 61 << 2.55 << t.kept;
        row("video shorter than sound, encoded past the picture")
            << "shortvideo.mp4"
            << "" << QStringList{"-ss", "9.7", "-t", "5"} << "mp4" << 0 << -1 << -1 << 0.35
            << "sound 0.3";
    }

    void cut() {
        QFETCH(QString, source);
        QFETCH(QString, damage);
        QFETCH(QStringList, args);
        QFETCH(QString, extension);
        QFETCH(int, exitCode);
        QFETCH(int, firstFrame);
        QFETCH(int, lastFrame);
        QFETCH(double, maxSeconds);
        QFETCH(QString, expect);
        if (!QFile::exists(fixture(source)))
            QSKIP("the ffmpeg tool here cannot make this source");
        QTemporaryDir dir;
        QString input = fixture(source);
        if (damage == "flip") {
            QFile original(input);
            QVERIFY(original.open(QIODevice::ReadOnly));
            input = dir.filePath("damaged." + QFileInfo(source).suffix());
            QFile out(input);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(flipped(original.readAll()));
        }
        const QString output = dir.filePath("clip." + extension);
        const Run run =
            runVorkast(QStringList{"-i", input} + args +
                           checkOffForKnownFault(source, args, output) + QStringList{output},
                       60000);
        QVERIFY2(run.finished, "the converter hung");
        if (exitCode >= 0)
            QVERIFY2(run.exitCode == exitCode, qPrintable(run.errorText));
        else
            QVERIFY2(run.exitCode == 0 || run.exitCode == 3, qPrintable(run.errorText));
        QVERIFY2(run.contractBreach().isEmpty(), qPrintable(run.contractBreach()));
        QVERIFY(QDir(dir.path()).entryList({"*.part"}, QDir::Files | QDir::Hidden).isEmpty());
        if (run.exitCode != 0 && run.exitCode != 3) {
            QVERIFY(!QFile::exists(output));
            return;
        }

        const ProbeInfo info = probe(output);
        QVERIFY(info.opened);
        QVERIFY2(info.duration <= maxSeconds + 0.05,
                 qPrintable(QStringLiteral("a clip of %1 s").arg(info.duration)));
        QVERIFY2(run.reports.last() <= maxSeconds + 0.05,
                 qPrintable(QStringLiteral("reported %1 s").arg(run.reports.last())));
        const std::vector<int> frames = barcodes(output);
        if (firstFrame >= 0) {
            QVERIFY(!frames.empty());
            QCOMPARE(frames.front(), firstFrame);
        }
        if (lastFrame >= 0) {
            QVERIFY(!frames.empty());
            QCOMPARE(frames.back(), lastFrame);
        }
        if (expect.startsWith("rotation")) {
            const QStringList words = expect.split(' ');
            QCOMPARE(rotation(output), words[1].toDouble());
            QCOMPARE(info.streams[0].language, words[3]);
        } else if (expect.startsWith("audio")) {
            QCOMPARE(info.codecs("audio"), QStringList{expect.section(' ', 1)});
        } else if (expect == "each frame once") {
            for (std::size_t i = 1; i < frames.size(); ++i)
                QVERIFY2(
                    frames[i] == frames[i - 1] + 1,
                    qPrintable(
                        QStringLiteral("frame %1 after %2").arg(frames[i]).arg(frames[i - 1])));
        } else if (expect == "one frame") {
            QCOMPARE(int(frames.size()), 1);
        } else if (expect == "every packet a picture") {
            QCOMPARE(videoPackets(output), int(frames.size()));
        } else if (expect.startsWith("sound alone")) {
            QVERIFY2(info.codecs("video").isEmpty(), qPrintable(info.codecs("video").join(',')));
            QVERIFY2(run.errorText.contains("left out the source's video"),
                     qPrintable(run.errorText));
            const Sound sound = decodeSound(output);
            QVERIFY2(std::fabs(sound.seconds() - expect.section(' ', 2).toDouble()) < 0.05,
                     qPrintable(QString::number(sound.seconds())));
        } else if (expect.startsWith("tracks")) {
            const QStringList words = expect.split(' ');
            QCOMPARE(info.codecs("audio"), words[1].split(','));
            if (extension != "avi") {
                QStringList languages;
                for (const StreamInfo& s : info.streams)
                    if (s.type == "audio")
                        languages << s.language;
                QCOMPARE(languages, (QStringList{"eng", "ger"}));
            }
            QList<double> lines;
            for (const SubtitleLine& line : subtitleLines(output))
                lines << line.from;
            QStringList leftOut;
            for (const QString& line : run.otherLines)
                if (const auto stream = vorkast::notice::parseLeftOut(line.toStdString()))
                    leftOut << QString::fromStdString(*stream);
            if (words[2] == "-") {
                QCOMPARE(info.codecs("subtitle"), QStringList{});
                QCOMPARE(leftOut, QStringList{"subtitle stream 3 (subrip)"});
            } else {
                QCOMPARE(info.codecs("subtitle"), QStringList{words[2]});
                QCOMPARE(leftOut, QStringList{});
                // From the clip's first picture: the keyframe copy starts at 0, 0.5 s early.
                const double early = args.contains("copy") ? 0.5 : 0.0;
                QCOMPARE(lines.size(), 2);
                QVERIFY2(
                    std::fabs(lines[0] - std::max(0.0, early - 0.3)) < 0.02 &&
                        std::fabs(lines[1] - (0.9 + early)) < 0.02,
                    qPrintable(QStringLiteral("lines at %1 and %2").arg(lines[0]).arg(lines[1])));
            }
        } else if (expect.startsWith("sound")) {
            const Sound sound = decodeSound(output);
            QVERIFY2(std::fabs(sound.seconds() - expect.section(' ', 1).toDouble()) < 0.05,
                     qPrintable(QString::number(sound.seconds())));
        }
    }
};

QTEST_GUILESS_MAIN(TestCorpus)
#include "test_corpus.moc"
