// What a clip keeps besides its picture and main sound, copied, copied exactly and encoded:
// every sound and subtitle track with its language, title and kind, subtitle lines and chapters
// cut to the clip, attachments, the creation time, a phone's rotation, uneven frame rate and HDR
// colours; and what a container cannot hold is named, never dropped without a word.
// SEGMORA_NEEDS_MEDIA
#include "converter_harness.h"
#include "libav_owners.h"

#include "cut_notice.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <memory>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mastering_display_metadata.h>
}

using namespace vorkast::test;

namespace {

const QStringList kCopy{"-c", "copy"};
const QStringList kExact{"-c", "copy", "-cut", "exact"};

// The streams a run names as left out.
QStringList leftOut(const Run& run) {
    QStringList streams;
    for (const QString& line : run.otherLines)
        if (const auto stream = vorkast::notice::parseLeftOut(line.toStdString()))
            streams << QString::fromStdString(*stream);
    return streams;
}

// A copy of source whose video track states HDR mastering and light levels, as a phone's or a
// grading tool's files do; the ffmpeg tool has no way to write them.
bool withHdrLevels(const QString& source, const QString& target) {
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, source.toUtf8().constData(), nullptr, nullptr) < 0)
        return false;
    vorkast::InputContextPtr input(in);
    if (avformat_find_stream_info(in, nullptr) < 0)
        return false;
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, nullptr, target.toUtf8().constData()) < 0)
        return false;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> output(
        out, [](AVFormatContext* c) {
            avio_closep(&c->pb);
            avformat_free_context(c);
        });
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        AVStream* s = avformat_new_stream(out, nullptr);
        if (!s || avcodec_parameters_copy(s->codecpar, in->streams[i]->codecpar) < 0)
            return false;
        s->codecpar->codec_tag = 0;
        s->time_base = in->streams[i]->time_base;
        for (int k = 0; k < in->streams[i]->nb_side_data; ++k) {
            const AVPacketSideData& side = in->streams[i]->side_data[k];
            if (std::uint8_t* data = av_stream_new_side_data(s, side.type, side.size))
                std::memcpy(data, side.data, side.size);
        }
        if (s->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
            continue;
        auto* mastering = reinterpret_cast<AVMasteringDisplayMetadata*>(av_stream_new_side_data(
            s, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, sizeof(AVMasteringDisplayMetadata)));
        auto* light = reinterpret_cast<AVContentLightMetadata*>(av_stream_new_side_data(
            s, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, sizeof(AVContentLightMetadata)));
        if (!mastering || !light)
            return false;
        *mastering = AVMasteringDisplayMetadata{};
        const AVRational primaries[3][2] = {{{34000, 50000}, {16000, 50000}},
                                            {{13250, 50000}, {34500, 50000}},
                                            {{7500, 50000}, {3000, 50000}}};
        for (int c = 0; c < 3; ++c) {
            mastering->display_primaries[c][0] = primaries[c][0];
            mastering->display_primaries[c][1] = primaries[c][1];
        }
        mastering->white_point[0] = {15635, 50000};
        mastering->white_point[1] = {16450, 50000};
        mastering->min_luminance = {50, 10000};
        mastering->max_luminance = {1000, 1};
        mastering->has_primaries = mastering->has_luminance = 1;
        light->MaxCLL = 1000;
        light->MaxFALL = 400;
    }
    if (avio_open(&out->pb, target.toUtf8().constData(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(out, nullptr) < 0)
        return false;
    const vorkast::PacketPtr packet = vorkast::makePacket();
    bool written = true;
    while (written && av_read_frame(in, packet.get()) >= 0) {
        av_packet_rescale_ts(packet.get(), in->streams[packet->stream_index]->time_base,
                             out->streams[packet->stream_index]->time_base);
        packet->pos = -1;
        written = av_interleaved_write_frame(out, packet.get()) >= 0;
        av_packet_unref(packet.get());
    }
    return written && av_write_trailer(out) >= 0;
}

} // namespace

class TestTracks : public QObject {
    Q_OBJECT
private slots:
    // film.mkv cut from 1.1 s for 2.5 s. Its first subtitle line runs from 0.5 s to 4.5 s,
    // across both cuts: the clip shows it from its first picture to its end and no longer (it
    // once stretched an exact 2.5 s clip to 3.5 s), and no line comes from past the end.
    // Clip time 0 is the source's 1.08 s in a copy (the picture on screen at 1.1 s; a keyframe
    // copy into Matroska, which has no edit lists, shows from its first keyframe at 1 s on)
    // and 1.1 s where the picture is encoded.
    void film_data() {
        QTest::addColumn<QStringList>("mode");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<double>("origin");
        QTest::addColumn<QString>("sound");      // the codec of both sound tracks
        QTest::addColumn<QString>("subtitles");  // the codec the clip holds them in
        QTest::addColumn<bool>("kinds");         // the container tells a commentary
        QTest::addColumn<QString>("attachment"); // "kept" or "left out"
        const struct {
            const char* name;
            QStringList mode;
            const char* extension;
            double origin;
            const char* sound;
            const char* subtitles;
            bool kinds;
            const char* attachment;
        } rows[] = {
            {"copied into mkv", kCopy, "mkv", 1.0, "pcm_s16le", "subrip", true, "kept"},
            {"copied exactly into mkv", kExact, "mkv", 1.08, "pcm_s16le", "subrip", true, "kept"},
            {"encoded into mkv", {}, "mkv", 1.1, "vorbis", "subrip", true, "kept"},
            // MOV and WebM have no track kinds.
            {"copied into mov", kCopy, "mov", 1.08, "pcm_s16le", "mov_text", false, "left out"},
            {"copied exactly into mov", kExact, "mov", 1.08, "pcm_s16le", "mov_text", false,
             "left out"},
            {"encoded into mp4", {}, "mp4", 1.1, "aac", "mov_text", true, "left out"},
            {"encoded into webm", {}, "webm", 1.1, "opus", "webvtt", false, "left out"},
        };
        for (const auto& row : rows)
            QTest::newRow(row.name) << row.mode << row.extension << row.origin << row.sound
                                    << row.subtitles << row.kinds << row.attachment;
    }
    void film() {
        QFETCH(QStringList, mode);
        QFETCH(QString, extension);
        QFETCH(double, origin);
        QFETCH(QString, sound);
        QFETCH(QString, subtitles);
        QFETCH(bool, kinds);
        QFETCH(QString, attachment);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip." + extension);
        const Run run =
            runVorkast(QStringList{"-i", fixture("film.mkv"), "-ss", "1.1", "-t", "2.5"} + mode +
                       QStringList{output});
        QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.errorText));
        const ProbeInfo info = probe(output);
        // The clip ends where the source's 3.6 s was.
        const double end = 3.6 - origin;
        QVERIFY2(info.duration <= end + 0.06, qPrintable(QString::number(info.duration)));

        QStringList languages, titles;
        QList<bool> commentary;
        for (const StreamInfo& s : info.streams)
            if (s.type == "audio") {
                languages << s.language;
                titles << s.title;
                commentary << bool(s.disposition & AV_DISPOSITION_COMMENT);
            }
        QCOMPARE(info.codecs("audio"), (QStringList{sound, sound}));
        QCOMPARE(languages, (QStringList{"eng", "ger"}));
        QCOMPARE(titles, (QStringList{"Main", "Kommentar"}));
        QCOMPARE(commentary, (QList<bool>{false, kinds}));

        QCOMPARE(info.codecs("subtitle"), QStringList{subtitles});
        const QList<SubtitleLine> lines = subtitleLines(output);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(std::fabs(lines[0].from) < 0.03 && std::fabs(lines[0].to - end) < 0.05,
                 qPrintable(
                     QStringLiteral("shown from %1 to %2 s").arg(lines[0].from).arg(lines[0].to)));

        // Chapter "One" ends at 2 s and "Two" at 4 s; "Three" starts past the clip.
        QCOMPARE(info.chapters.size(), 2);
        const double chapterEnds[] = {2.0 - origin, end};
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(info.chapters[i].title, QStringList({"One", "Two"})[i]);
            QVERIFY2(std::fabs(info.chapters[i].start - (i ? chapterEnds[0] : 0.0)) < 0.02 &&
                         std::fabs(info.chapters[i].end - chapterEnds[i]) < 0.02,
                     qPrintable(QStringLiteral("chapter %1 from %2 to %3")
                                    .arg(i)
                                    .arg(info.chapters[i].start)
                                    .arg(info.chapters[i].end)));
        }
        QCOMPARE(info.creationTime, QStringLiteral("2024-05-06T07:08:09.000000Z"));

        QStringList attached;
        for (const StreamInfo& s : info.streams)
            if (s.type == "attachment")
                attached << s.fileName;
        if (attachment == "kept") {
            QCOMPARE(attached, QStringList{"film_font.ttf"});
            QCOMPARE(leftOut(run), QStringList{});
        } else {
            QCOMPARE(attached, QStringList{});
            QCOMPARE(leftOut(run), QStringList{"attachment stream 4 (film_font.ttf)"});
        }
    }

    // A recording's sound tracks in a transport stream, each with its language.
    void transportStream_data() {
        QTest::addColumn<QStringList>("mode");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("sound");
        QTest::newRow("copied") << kCopy << "ts"
                                << "mp2";
        QTest::newRow("copied exactly") << kExact << "ts"
                                        << "mp2";
        QTest::newRow("copied into a recorder's stream") << kCopy << "m2ts"
                                                         << "mp2";
        QTest::newRow("encoded into mp4") << QStringList{} << "mp4"
                                          << "aac";
    }
    void transportStream() {
        QFETCH(QStringList, mode);
        QFETCH(QString, extension);
        QFETCH(QString, sound);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip." + extension);
        const Run run = runVorkast(QStringList{"-i", fixture("tv.ts"), "-ss", "1.3", "-t", "1.5"} +
                                   mode + QStringList{output});
        QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.errorText));
        const ProbeInfo info = probe(output);
        QCOMPARE(info.codecs("audio"), (QStringList{sound, sound}));
        QStringList languages;
        for (const StreamInfo& s : info.streams)
            if (s.type == "audio")
                languages << s.language;
        QCOMPARE(languages, (QStringList{"eng", "ger"}));
    }

    // A transport stream named .m2ts or .mts is written as discs and cameras write one: 192-byte
    // packets, each a 4-byte arrival time before the 0x47 that starts a 188-byte packet.
    void transportPacketSize_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("packetSize");
        QTest::newRow("ts") << "ts" << 188;
        QTest::newRow("m2ts") << "m2ts" << 192;
        QTest::newRow("mts, capitals") << "MTS" << 192;
    }
    void transportPacketSize() {
        QFETCH(QString, extension);
        QFETCH(int, packetSize);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip." + extension);
        const Run run = runVorkast(QStringList{"-i", fixture("tv.ts"), "-ss", "1", "-t", "1"} +
                                   kCopy + QStringList{output});
        QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.errorText));
        QFile clip(output);
        QVERIFY(clip.open(QIODevice::ReadOnly));
        const QByteArray bytes = clip.readAll();
        QCOMPARE(bytes.size() % packetSize, 0);
        const int sync = packetSize - 188;
        for (qsizetype at = sync; at < bytes.size(); at += packetSize)
            QVERIFY2(bytes[at] == 0x47, qPrintable(QStringLiteral("no packet at byte %1").arg(at)));
    }

    // A phone clip: 10-bit HLG in BT.2020 with mastering and light levels, turned a quarter,
    // pictures at an uneven rate. Cut from 1 s for 1 s, the clip's pictures are those whose
    // display starts in that second: 30 to 59. Encoded pictures are described as the source's;
    // a container that cannot store the rotation says so.
    void phone_data() {
        QTest::addColumn<QStringList>("mode");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("sameFrames"); // the source's pictures 30 to 59, each once
        QTest::addColumn<bool>("turned");     // the rotation stored, else a line saying not
        QTest::newRow("copied") << kCopy << "mp4" << true << true;
        QTest::newRow("copied exactly") << kExact << "mp4" << true << true;
        QTest::newRow("copied exactly into mov") << kExact << "mov" << true << true;
        QTest::newRow("encoded") << QStringList{} << "mp4" << false << true;
        QTest::newRow("copied exactly into mkv") << kExact << "mkv" << true << false;
        QTest::newRow("encoded into mkv") << QStringList{} << "mkv" << false << false;
    }
    void phone() {
        QFETCH(QStringList, mode);
        QFETCH(QString, extension);
        QFETCH(bool, sameFrames);
        QFETCH(bool, turned);
        QTemporaryDir dir;
        const QString source = dir.filePath("phone.mp4");
        QVERIFY(withHdrLevels(fixture("phone.mp4"), source));
        const QString output = dir.filePath("clip." + extension);
        const Run run = runVorkast(QStringList{"-i", source, "-ss", "1", "-t", "1"} + mode +
                                   QStringList{output});
        QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.errorText));
        const ProbeInfo info = probe(output);
        QVERIFY(!info.streams.isEmpty());
        const StreamInfo& video = info.streams[0];
        QCOMPARE(video.type, QStringLiteral("video"));
        QCOMPARE(video.pixelFormat, QStringLiteral("yuv420p10le"));
        QCOMPARE(video.primaries, QStringLiteral("bt2020"));
        QCOMPARE(video.transfer, QStringLiteral("arib-std-b67"));
        QCOMPARE(video.matrix, QStringLiteral("bt2020nc"));
        QCOMPARE(video.range, QStringLiteral("tv"));
        QVERIFY(video.masteringDisplay);
        QVERIFY(video.lightLevel);
        const bool toldNotTurned = run.errorText.contains("cannot store the source's rotation");
        QCOMPARE(video.rotation, turned ? 90.0 : 0.0);
        QCOMPARE(toldNotTurned, !turned);
        if (sameFrames) {
            std::vector<int> expected;
            for (int frame = 30; frame < 60; ++frame)
                expected.push_back(frame);
            QCOMPARE(barcodes(output), expected);
        }
    }

    // A track the clip's container cannot take is named, whichever way the clip is made.
    void dataTrackLeftOutWithANotice_data() {
        QTest::addColumn<QStringList>("mode");
        QTest::addColumn<QString>("extension");
        QTest::newRow("copied into mkv") << kCopy << "mkv";
        QTest::newRow("copied exactly into mov") << kExact << "mov";
        QTest::newRow("encoded into mp4") << QStringList{} << "mp4";
    }
    void dataTrackLeftOutWithANotice() {
        QFETCH(QStringList, mode);
        QFETCH(QString, extension);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip." + extension);
        const Run run =
            runVorkast(QStringList{"-i", fixture("timecode.mov"), "-ss", "1", "-t", "1"} + mode +
                       QStringList{output});
        QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.errorText));
        QCOMPARE(leftOut(run), QStringList{"data stream 1 (tmcd)"});
        QCOMPARE(probe(output).codecs("video"), QStringList{"h264"});
    }
};

QTEST_GUILESS_MAIN(TestTracks)
#include "test_tracks.moc"
