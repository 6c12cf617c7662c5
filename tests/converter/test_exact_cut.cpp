// Exact cuts of copied video: the clip holds exactly the frames of the section, the frames
// around the cuts encoded again close to the source, every whole group of pictures in between
// decoding to the very same pixels, and the sound beside it.
#include "converter_harness.h"
#include "libav_owners.h"

#include "codec_traits.h"
#include "cut_notice.h"
#include "hevc_units.h"

#include <QDir>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include <mpv/client.h>

#include <cmath>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/md5.h>
#include <libavutil/pixdesc.h>
}

using namespace vorkast::test;

namespace {

// Every decoded picture of a file's video at full size, its time and a hash of all its planes.
struct Frame {
    double time = 0;
    bool key = false;
    QByteArray hash;
    std::vector<std::uint8_t> luma;
};
struct Video {
    std::vector<Frame> frames;
    int packets = 0;
    double frameDuration = 0;
    double origin = 0; // the file's start, where cut positions count from
};

Video decodeVideo(const QString& path) {
    Video video;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return video;
    vorkast::InputContextPtr input(raw);
    avformat_find_stream_info(raw, nullptr);
    if (raw->start_time != AV_NOPTS_VALUE)
        video.origin = double(raw->start_time) / AV_TIME_BASE;
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index < 0)
        return video;
    const AVStream* stream = raw->streams[index];
    video.frameDuration = av_q2d(av_inv_q(stream->avg_frame_rate));
    const vorkast::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), stream->codecpar);
    decoder->pkt_timebase = stream->time_base;
    decoder->thread_count = 1;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return video;
    const vorkast::PacketPtr packet = vorkast::makePacket();
    const vorkast::FramePtr frame = vorkast::makeFrame();
    auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            Frame f;
            // A decoder drained at the end may leave the last picture without a time: it
            // follows the one before, as players show it.
            if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
                f.time = double(frame->best_effort_timestamp) * av_q2d(stream->time_base);
            else if (!video.frames.empty())
                f.time = video.frames.back().time + video.frameDuration;
            f.key = frame->key_frame;
            // Samples deeper than 8 bits take two bytes; luma compares in their top 8 bits.
            const AVPixFmtDescriptor* format =
                av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
            const int depth = format->comp[0].depth;
            const int sampleBytes = depth > 8 ? 2 : 1;
            AVMD5* md5 = av_md5_alloc();
            av_md5_init(md5);
            for (int plane = 0; plane < 3 && frame->data[plane]; ++plane) {
                const int rows = plane == 0 ? frame->height
                                            : AV_CEIL_RSHIFT(frame->height, format->log2_chroma_h);
                const int width =
                    plane == 0 ? frame->width : AV_CEIL_RSHIFT(frame->width, format->log2_chroma_w);
                for (int y = 0; y < rows; ++y)
                    av_md5_update(md5, frame->data[plane] + y * frame->linesize[plane],
                                  width * sampleBytes);
            }
            std::uint8_t digest[16];
            av_md5_final(md5, digest);
            av_free(md5);
            f.hash = QByteArray(reinterpret_cast<const char*>(digest), 16);
            for (int y = 0; y < frame->height; ++y) {
                const std::uint8_t* row = frame->data[0] + y * frame->linesize[0];
                for (int x = 0; x < frame->width; ++x)
                    f.luma.push_back(sampleBytes == 1
                                         ? row[x]
                                         : std::uint8_t(AV_RL16(row + 2 * x) >> (depth - 8)));
            }
            video.frames.push_back(std::move(f));
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(raw, packet.get()) >= 0) {
        if (packet->stream_index == index) {
            ++video.packets;
            avcodec_send_packet(decoder.get(), packet.get());
            drain();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drain();
    return video;
}

double framePsnr(const Frame& a, const Frame& b) {
    if (a.luma.size() != b.luma.size() || a.luma.empty())
        return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.luma.size(); ++i) {
        const double d = double(a.luma[i]) - double(b.luma[i]);
        sum += d * d;
    }
    const double mse = sum / double(a.luma.size());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The clip's video sample description (parameter sets), as the container stores it.
QByteArray videoExtradata(const QString& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return {};
    vorkast::InputContextPtr input(raw);
    avformat_find_stream_info(raw, nullptr);
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0)
        return {};
    const AVCodecParameters* par = raw->streams[index]->codecpar;
    return QByteArray(reinterpret_cast<const char*>(par->extradata), par->extradata_size);
}

// What the preview's player (libmpv, decoding as the window does, without showing anything)
// reports as errors while playing a file through; empty when it plays cleanly.
QString playerErrors(const QString& path) {
    std::unique_ptr<mpv_handle, void (*)(mpv_handle*)> player(mpv_create(), &mpv_terminate_destroy);
    if (!player)
        return QStringLiteral("libmpv does not start");
    for (const auto& [name, value] :
         {std::pair{"vo", "null"}, std::pair{"ao", "null"}, std::pair{"untimed", "yes"},
          std::pair{"ao-null-untimed", "yes"}, std::pair{"config", "no"},
          std::pair{"load-scripts", "no"}, std::pair{"ytdl", "no"}})
        mpv_set_option_string(player.get(), name, value);
    if (mpv_initialize(player.get()) < 0)
        return QStringLiteral("libmpv does not start");
    mpv_request_log_messages(player.get(), "error");
    const QByteArray file = path.toUtf8();
    const char* load[] = {"loadfile", file.constData(), nullptr};
    mpv_command(player.get(), load);
    QString errors;
    for (;;) {
        const mpv_event* event = mpv_wait_event(player.get(), 30);
        if (event->event_id == MPV_EVENT_NONE)
            return errors + QStringLiteral("playback did not end");
        if (event->event_id == MPV_EVENT_LOG_MESSAGE) {
            const auto* message = static_cast<const mpv_event_log_message*>(event->data);
            errors += QString::fromUtf8(message->prefix) + ": " + QString::fromUtf8(message->text);
        }
        if (event->event_id == MPV_EVENT_END_FILE) {
            if (static_cast<const mpv_event_end_file*>(event->data)->reason ==
                MPV_END_FILE_REASON_ERROR)
                errors += QStringLiteral("playback failed");
            return errors.trimmed();
        }
    }
}

// HEVC: where a clip's sequence parameter set changes (frames encoded again beside copied
// ones), a new coded sequence must begin, with an IDR or BLA picture: decoders take up a new
// SPS only there and count picture order afresh. Names each picture that breaks it; empty for
// other codecs.
QString sequenceFaults(const QString& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return QStringLiteral("cannot open");
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> input(
        raw, [](AVFormatContext* c) { avformat_close_input(&c); });
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0 || raw->streams[index]->codecpar->codec_id != AV_CODEC_ID_HEVC)
        return {};
    using namespace vorkast;
    const AVCodecParameters* par = raw->streams[index]->codecpar;
    const auto size = std::size_t(par->extradata_size);
    const int lengthSize = nalLengthSize(CodecFamily::Hevc, par->extradata, size);
    hevc::Bytes active;
    if (const auto config = hevc::readConfig(par->extradata, size))
        for (const hevc::Bytes& set : config->sets)
            if (hevc::unitType({set.data(), set.size()}) == hevc::kSps)
                active = set;
    bool changed = false;
    QString faults;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(raw, packet) >= 0) {
        if (packet->stream_index == index)
            for (const hevc::Unit& unit :
                 h264::splitUnits(packet->data, std::size_t(packet->size), lengthSize)) {
                const int type = hevc::unitType(unit);
                if (type == hevc::kSps && hevc::Bytes(unit.data, unit.data + unit.size) != active) {
                    changed = !active.empty();
                    active.assign(unit.data, unit.data + unit.size);
                } else if (type >= 0 && type < hevc::kVps) {
                    if (changed && (type < hevc::kBlaWLp || type > hevc::kIdrNLp))
                        faults += QStringLiteral("new SPS before a picture of type %1 at %2; ")
                                      .arg(type)
                                      .arg(packet->pts);
                    changed = false;
                }
            }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return faults;
}

const Video& source(const QString& name) {
    static QMap<QString, std::shared_ptr<Video>> cache;
    if (!cache.contains(name))
        cache.insert(name, std::make_shared<Video>(decodeVideo(fixture(name))));
    return *cache.value(name);
}

// The source's frames in the section by the frame rule: from the frame on screen at start to
// the one on screen at start + length, that one left out. stampedLate: how much later than it
// is shown the decoder stamps each picture (B-frames packed in AVI: a frame), as a player
// shows it.
std::pair<int, int> sectionFrames(const Video& src, double start, double length,
                                  double stampedLate) {
    auto shownAt = [&](double t) {
        int at = 0;
        for (int i = 0; i < int(src.frames.size()); ++i)
            if (src.frames[i].time - stampedLate - src.origin <= t + 1e-4)
                at = i;
        return at;
    };
    const double end = start + length;
    const int last = int(src.frames.size());
    const bool pastEnd =
        end >= src.frames.back().time - stampedLate - src.origin + src.frameDuration - 1e-4;
    return {shownAt(start), pastEnd ? last : shownAt(end)};
}

// The index of the source frame the picture is closest to.
int closestFrame(const Video& src, const Frame& picture) {
    int best = -1;
    double bestPsnr = -1;
    for (int i = 0; i < int(src.frames.size()); ++i)
        if (const double p = framePsnr(picture, src.frames[i]); p > bestPsnr) {
            bestPsnr = p;
            best = i;
        }
    return best;
}

} // namespace

class TestExactCut : public QObject {
    Q_OBJECT
private slots:
    void holdsExactlyTheSection_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("length");
        QTest::addColumn<int>("soundFrame"); // samples in one frame of the source's sound
        // Seconds the first picture shows after its stream starts: AVI has no display times,
        // and a decoder shows video with B-frames a picture late there. The sound then starts
        // that much earlier in the source, so it stays in step.
        QTest::addColumn<double>("pictureLate");
        QTest::addColumn<double>("stampedLate");
        // Keyframes every second; B-frames between.
        const struct {
            const char* label;
            double start, length;
        } cuts[] = {
            {"start mid-group", 1.3, 2.5},
            {"start on a keyframe", 2.0, 1.5},
            {"start in the last group, to the end", 5.22, 3},
            {"end mid-group", 1.0, 2.37},
            {"inside one group", 3.12, 0.5},
        };
        const struct {
            const char* name;
            int soundFrame;
            double firstKey; // when the source's first keyframe is shown; the cuts follow it
            double pictureLate;
            double stampedLate;
        } sources[] = {
            {"exact_h264.mp4", 1024, 0, 0, 0},
            {"exact_h264.mov", 1024, 0, 0, 0},
            {"exact_h264.mkv", 1024, 0, 0, 0},
            {"exact_h264.ts", 1024, 0, 0, 0},
            {"exact_h264_10.ts", 1024, 0, 0, 0},   // High 10
            {"exact_h264_422.mkv", 1024, 0, 0, 0}, // High 4:2:2, 10-bit
            {"exact_mpeg2.mpg", 1152, 0, 0, 0},    // open groups: frames after the
                                                   // I-frame shown before it
            {"exact_mpeg2.vob", 1536, 0, 0, 0},
            {"exact_mpeg1.mpg", 1152, 0, 0, 0}, // the same groups in MPEG-1
            // Packed B-frames: the picture starts a frame after the sound, and the decoder
            // stamps each picture a frame after it is shown.
            {"exact_mpeg4.avi", 1152, 0.04, 0.04, 0.04},
            // HEVC in open groups with a B-pyramid: the first copied CRA's leading pictures
            // refer to the group before it.
            {"exact_hevc.mp4", 1024, 0, 0, 0},
            {"exact_hevc.mov", 1024, 0, 0, 0}, // the hev1 sample entry
            {"exact_hevc.mkv", 1024, 0, 0, 0},
            {"exact_hevc.ts", 1024, 0, 0, 0},
            {"exact_hevc10.mkv", 1024, 0, 0, 0}, // Main 10
        };
        for (const auto& src : sources)
            for (const auto& cut : cuts)
                QTest::addRow("%s, %s", src.name, cut.label)
                    << QString(src.name) << cut.start + src.firstKey << cut.length << src.soundFrame
                    << src.pictureLate << src.stampedLate;
        QTest::newRow("intra-only mov, start and end mid-frame")
            << "exact_mjpeg.mov" << 0.93 << 1.25 << 1024 << 0.0 << 0.0;
        // Small pictures: the program stream states a time only every 1.2 s or so, and after a
        // seek the demuxer guesses the others a frame or two early.
        QTest::newRow("sparse times mpg, start on a keyframe")
            << "frames.mpg" << 1.46 << 0.5 << 1152 << 0.0 << 0.0;
        QTest::newRow("sparse times mpg, start on the picture after a keyframe")
            << "frames.mpg" << 2.0 << 0.5 << 1152 << 0.0 << 0.0;
        QTest::newRow("sparse times vob, start on a keyframe")
            << "frames.vob" << 1.46 << 0.5 << 1536 << 0.0 << 0.0;
        // AVI's index lets a seek land a second or more before the start, and its sound comes in
        // packets that begin before the first picture.
        QTest::newRow("intra-only avi, start and end mid-frame")
            << "exact_mjpeg.avi" << 0.93 << 1.25 << 1024 << 0.0 << 0.0;
        QTest::newRow("intra-only avi, start a second in")
            << "exact_mjpeg.avi" << 1.3 << 1.25 << 1024 << 0.0 << 0.0;
        QTest::newRow("intra-only avi, start in the last second, to the end")
            << "exact_mjpeg.avi" << 3.21 << 2.0 << 1024 << 0.0 << 0.0;
    }
    void holdsExactlyTheSection() {
        QFETCH(QString, name);
        QFETCH(double, start);
        QFETCH(double, length);
        QFETCH(int, soundFrame);
        QFETCH(double, pictureLate);
        QFETCH(double, stampedLate);
        const Video& src = source(name);
        QVERIFY(src.frames.size() > 50);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip." + QFileInfo(name).suffix());
        const Run run =
            runVorkast({"-y", "-i", fixture(name), "-ss", QString::number(start), "-t",
                        QString::number(length), "-c", "copy", "-cut", "exact", output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        QVERIFY2(run.otherLines.isEmpty(), qPrintable(run.errorText));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"clip." + QFileInfo(name).suffix()});
        QCOMPARE(decoderErrors(output), QString());
        QCOMPARE(playerErrors(output), QString());
        QCOMPARE(sequenceFaults(output), QString());

        const auto [first, end] = sectionFrames(src, start, length, stampedLate);
        const Video clip = decodeVideo(output);
        QCOMPARE(int(clip.frames.size()), end - first);
        QCOMPARE(clip.packets, int(clip.frames.size())); // no hidden frames
        for (int i = 0; i < int(clip.frames.size()); ++i) {
            const Frame& got = clip.frames[i];
            const Frame& want = src.frames[first + i];
            QVERIFY2(
                framePsnr(got, want) >= 38,
                qPrintable(QStringLiteral("frame %1: %2 dB").arg(i).arg(framePsnr(got, want))));
            QVERIFY2(std::fabs((got.time - clip.frames[0].time) -
                               (want.time - src.frames[first].time)) < 0.002,
                     qPrintable(QStringLiteral("frame %1 at %2").arg(i).arg(got.time)));
        }
        // The ends are those frames and not their neighbours.
        for (const auto& [at, source] :
             {std::pair{0, first}, std::pair{int(clip.frames.size()) - 1, end - 1}})
            QCOMPARE(closestFrame(src, clip.frames[at]), source);
        // Whole groups of pictures inside the section are the source's own frames.
        for (int k = first; k < end; ++k) {
            if (!src.frames[k].key)
                continue;
            int next = k + 1;
            while (next < int(src.frames.size()) && !src.frames[next].key)
                ++next;
            if (next > end)
                break;
            for (int i = k; i < next; ++i)
                QVERIFY2(clip.frames[i - first].hash == src.frames[i].hash,
                         qPrintable(QStringLiteral("source frame %1 differs").arg(i)));
        }

        // Sound starts and ends with the picture, within one of its frames.
        const Sound sound = decodeSound(output);
        QVERIFY(sound.sampleRate > 0);
        const double soundSlack = double(soundFrame) / sound.sampleRate + 0.002;
        const double videoStart = clip.frames.front().time - clip.origin - pictureLate;
        double videoEnd = clip.frames.back().time - clip.origin + src.frameDuration;
        if (end == int(src.frames.size())) {
            // To the end: the sound the source goes on with after its last picture stays.
            const Sound whole = decodeSound(fixture(name));
            const double srcEnd =
                src.frames.back().time - stampedLate - src.origin + src.frameDuration;
            videoEnd += std::max(0.0, whole.startTime + whole.seconds() - srcEnd);
        }
        QVERIFY2(std::fabs(sound.startTime - videoStart) <= soundSlack,
                 qPrintable(QStringLiteral("sound from %1, picture from %2")
                                .arg(sound.startTime)
                                .arg(videoStart)));
        QVERIFY2(std::fabs(sound.startTime + sound.seconds() - videoEnd) <= soundSlack,
                 qPrintable(QStringLiteral("sound to %1, picture to %2")
                                .arg(sound.startTime + sound.seconds())
                                .arg(videoEnd)));
    }

    // Sections that follow each other cover the range once: no frame lost, none twice.
    void consecutiveCutsTile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<double>>("marks");
        QTest::addColumn<double>("stampedLate"); // as for holdsExactlyTheSection
        QTest::newRow("mp4, cuts mid-group")
            << "exact_h264.mp4" << QList<double>{0.7, 1.93, 3.5, 4.62} << 0.0;
        QTest::newRow("ts, cuts on and off keyframes")
            << "exact_h264.ts" << QList<double>{0.5, 2.0, 2.73, 5.0} << 0.0;
        QTest::newRow("mpg, open groups")
            << "exact_mpeg2.mpg" << QList<double>{0.3, 1.1, 2.07, 3.0, 4.9} << 0.0;
        // Three equal sections of MPEG-1, no boundary on a keyframe.
        QTest::newRow("mpeg-1 mpg, equal sections")
            << "exact_mpeg1.mpg" << QList<double>{0.4, 2.13, 3.86, 5.59} << 0.0;
        QTest::newRow("avi, packed B-frames")
            << "exact_mpeg4.avi" << QList<double>{0.45, 1.04, 2.5, 3.33, 5.1} << 0.04;
        // Equal HEVC sections, one boundary on a CRA whose leading pictures end the section
        // before it.
        QTest::newRow("hevc mkv, open groups")
            << "exact_hevc.mkv" << QList<double>{0.3, 1.65, 3.0, 4.35} << 0.0;
        // Still pictures between changes: B-frames of a few bytes, as small as the stand-ins
        // that follow packed ones.
        QTest::newRow("avi, packed B-frames of a few bytes")
            << "frames.avi" << QList<double>{0.2, 1.24, 2.0, 2.68} << 0.04;
    }
    void consecutiveCutsTile() {
        QFETCH(QString, name);
        QFETCH(QList<double>, marks);
        QFETCH(double, stampedLate);
        const Video& src = source(name);
        QTemporaryDir dir;
        const auto [rangeFirst, rangeEnd] =
            sectionFrames(src, marks.front(), marks.back() - marks.front(), stampedLate);
        int expectedFirst = rangeFirst;
        for (int i = 0; i + 1 < marks.size(); ++i) {
            const QString output =
                dir.filePath(QStringLiteral("clip%1.%2").arg(i).arg(QFileInfo(name).suffix()));
            const Run run = runVorkast({"-y", "-i", fixture(name), "-ss", QString::number(marks[i]),
                                        "-t", QString::number(marks[i + 1] - marks[i]), "-c",
                                        "copy", "-cut", "exact", output});
            QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
            const Video clip = decodeVideo(output);
            QVERIFY(!clip.frames.empty());
            QCOMPARE(closestFrame(src, clip.frames.front()), expectedFirst);
            expectedFirst += int(clip.frames.size());
        }
        QCOMPARE(expectedFirst, rangeEnd);
    }

    // An exact cut whose start is a keyframe a copy can begin with and whose end is another, or
    // the source's end, encodes nothing: every frame is the source's own and the clip's sample
    // description is the source's, without the parameter sets of frames encoded again. Where
    // one end falls inside a group, those frames are encoded again.
    void copiesWhereNothingNeedsEncoding_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("length"); // negative: to the end
        QTest::addColumn<bool>("plain");
        // The frames encoded again carry their parameter sets in the stream: the sample
        // description stays the source's either way.
        QTest::addColumn<bool>("setsInStream");
        // Keyframes (IDR pictures) every second.
        QTest::newRow("mp4, keyframe to keyframe")
            << "exact_h264.mp4" << 2.0 << 2.0 << true << false;
        // Matroska's video starts 23 ms after its sound, and its keyframes with it.
        QTest::newRow("mkv, keyframe to keyframe")
            << "exact_h264.mkv" << 1.023 << 3.0 << true << false;
        QTest::newRow("mov, keyframe to the end")
            << "exact_h264.mov" << 3.0 << -1.0 << true << false;
        QTest::newRow("mp4, keyframe to mid-group")
            << "exact_h264.mp4" << 2.0 << 1.5 << false << false;
        QTest::newRow("mp4, mid-group to keyframe")
            << "exact_h264.mp4" << 1.5 << 1.5 << false << false;
        // HEVC: the CRA's leading pictures, shown before the start, are left out; the clip
        // starts with the CRA as the source has it.
        QTest::newRow("hevc mkv, keyframe to the end")
            << "exact_hevc.mkv" << 3.023 << -1.0 << true << true;
        QTest::newRow("hevc mp4, mid-group to the end")
            << "exact_hevc.mp4" << 2.5 << -1.0 << false << true;
    }
    void copiesWhereNothingNeedsEncoding() {
        QFETCH(QString, name);
        QFETCH(double, start);
        QFETCH(double, length);
        QFETCH(bool, plain);
        QFETCH(bool, setsInStream);
        const Video& src = source(name);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip." + QFileInfo(name).suffix());
        QStringList args{"-y", "-i", fixture(name), "-ss", QString::number(start)};
        if (length > 0)
            args << "-t" << QString::number(length);
        const Run run = runVorkast(args << "-c"
                                        << "copy"
                                        << "-cut"
                                        << "exact" << output);
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        const auto [first, end] = sectionFrames(src, start, length > 0 ? length : 1e9, 0.0);
        const Video clip = decodeVideo(output);
        QCOMPARE(int(clip.frames.size()), end - first);
        int own = 0;
        for (int i = 0; i < int(clip.frames.size()); ++i)
            own += clip.frames[i].hash == src.frames[first + i].hash;
        QCOMPARE(own == end - first, plain);
        QCOMPARE(videoExtradata(output) == videoExtradata(fixture(name)), plain || setsInStream);
    }

    // A codec without an exact copy-cut makes the keyframe cut from the last keyframe at or
    // before START and says how much earlier the clip starts, in one line the split job reads;
    // so does a copy that asks for no exact cut, whatever the codec, where the container shows
    // the pictures before START (an MP4's edit list hides them: keyframeCopyIntoMp4StartsOnTime).
    void keyframeCutIsAnnounced_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("start");
        QTest::addColumn<QStringList>("cut"); // the cut options
        const QStringList exact{"-cut", "exact"};
        QTest::newRow("wmv, mid-group") << "six.wmv" << 1.3 << exact;
        QTest::newRow("wmv, early in a group") << "six.wmv" << 2.1 << exact;
        // Keyframes every 12 pictures: the index lets a seek land groups early.
        QTest::newRow("wmv, small groups") << "frames.wmv" << 1.3 << exact;
        QTest::newRow("asf, small groups") << "frames.asf" << 2.1 << exact;
        QTest::newRow("h264 copied from its keyframe into ts")
            << "exact_h264.ts" << 1.93 << QStringList{};
        QTest::newRow("keyframe cut named, matroska")
            << "exact_h264.mkv" << 2.73 << QStringList{"-cut", "keyframe"};
        QTest::newRow("wmv copied from its keyframe") << "six.wmv" << 1.3 << QStringList{};
    }
    void keyframeCutIsAnnounced() {
        QFETCH(QString, name);
        QFETCH(double, start);
        QFETCH(QStringList, cut);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip." + QFileInfo(name).suffix());
        const Run run = runVorkast(QStringList{"-y", "-i", fixture(name), "-ss",
                                               QString::number(start), "-t", "2", "-c", "copy"} +
                                   cut + QStringList{output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        QCOMPARE(run.otherLines.size(), 1);
        QVERIFY2(run.otherLines[0].startsWith("vorkast: "), qPrintable(run.otherLines[0]));
        const auto early = vorkast::notice::parseKeyframeCut(run.otherLines[0].toStdString());
        QVERIFY2(early, qPrintable(run.otherLines[0]));
        // The clip's first picture is the source's at START minus that many seconds.
        const Video& src = source(name);
        const Video clip = decodeVideo(output);
        QVERIFY(!clip.frames.empty());
        const int shown = closestFrame(src, clip.frames.front());
        QVERIFY2(std::fabs(src.frames[shown].time - src.origin - (start - *early)) < 0.001,
                 qPrintable(QStringLiteral("%1 s early, clip starts at source %2 s")
                                .arg(*early)
                                .arg(src.frames[shown].time)));
        // That picture is a keyframe, and no later one lies at or before START.
        QVERIFY(src.frames[shown].key);
        for (int i = shown + 1; i < int(src.frames.size()); ++i)
            QVERIFY2(!src.frames[i].key || src.frames[i].time - src.origin > start + 1e-4,
                     qPrintable(QStringLiteral("clip starts with source frame %1, keyframe %2 "
                                               "lies before START")
                                    .arg(shown)
                                    .arg(i)));
    }

    // A keyframe copy into MP4 holds the pictures from the keyframe on, but its edit list starts
    // the clip at the picture on screen at START: nothing to announce.
    void keyframeCopyIntoMp4StartsOnTime() {
        const QString name = QStringLiteral("exact_h264.mp4");
        const double start = 1.93;
        QTemporaryDir dir;
        const QString output = dir.filePath("clip.mp4");
        const Run run = runVorkast({"-y", "-i", fixture(name), "-ss", QString::number(start), "-t",
                                    "2", "-c", "copy", output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        QCOMPARE(run.otherLines, QStringList());
        const Video& src = source(name);
        const Video clip = decodeVideo(output);
        QVERIFY(!clip.frames.empty());
        const double shown = src.frames[closestFrame(src, clip.frames.front())].time - src.origin;
        QVERIFY2(shown <= start && shown > start - 0.04, qPrintable(QString::number(shown)));
    }

    // Equal sections of a codec without an exact cut, as the split job runs them: each but the
    // last is told another follows (-tile), and ends at the keyframe the next one starts at. The
    // clips together hold every picture from the keyframe before the range's start to the
    // range's end, each once.
    void keyframeCutsTile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<int>("sections");
        // Keyframes every 12 pictures (0.48 s); no boundary falls on one.
        QTest::newRow("wmv, three sections") << "frames.wmv" << 0.3 << 3.7 << 3;
        QTest::newRow("asf, three sections") << "frames.asf" << 0.3 << 3.7 << 3;
        // With sound beside the pictures, which ends with them.
        QTest::newRow("wmv with sound, three sections") << "six.wmv" << 1.0 << 4.0 << 3;
    }
    void keyframeCutsTile() {
        QFETCH(QString, name);
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(int, sections);
        const Video& src = source(name);
        QTemporaryDir dir;
        QList<int> all;
        QStringList clips;
        for (int i = 0; i < sections; ++i) {
            const double length = (to - from) / sections;
            QStringList args{"-y",
                             "-i",
                             fixture(name),
                             "-ss",
                             QString::number(from + length * i, 'g', 15),
                             "-t",
                             QString::number(length, 'g', 15),
                             "-c",
                             "copy",
                             "-cut",
                             "exact"};
            if (i + 1 < sections)
                args << "-tile";
            const QString output =
                dir.filePath(QStringLiteral("clip%1.%2").arg(i).arg(QFileInfo(name).suffix()));
            const Run run = runVorkast(args + QStringList{output});
            QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
            QString listed;
            for (const Frame& picture : decodeVideo(output).frames) {
                all.append(closestFrame(src, picture));
                listed += QString::number(all.back()) + ' ';
            }
            clips << listed;
        }
        // From the keyframe at or before the start to the picture before the one on screen at
        // the end.
        int first = 0, end = 0;
        for (int i = 0; i < int(src.frames.size()); ++i) {
            const double at = src.frames[i].time - src.origin;
            if (src.frames[i].key && at <= from + 1e-4)
                first = i;
            if (at <= to + 1e-4)
                end = i;
        }
        QList<int> expected;
        for (int i = first; i < end; ++i)
            expected.append(i);
        QVERIFY2(all == expected, qPrintable(clips.join("| ")));
    }

    void noticeLineReadsBack_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<double>("seconds"); // negative: not the line
        QTest::newRow("as printed")
            << "vorkast: warning: keyframe cut starts 1.240 s before START\n"
            << 1.24;
        QTest::newRow("without prefix")
            << "warning: keyframe cut starts 0.040 s before START" << 0.04;
        QTest::newRow("another message") << "vorkast: cannot open the source file" << -1.0;
        QTest::newRow("number missing")
            << "vorkast: warning: keyframe cut starts  s before START" << -1.0;
        QTest::newRow("comma decimal")
            << "warning: keyframe cut starts 1,240 s before START" << -1.0;
    }
    void noticeLineReadsBack() {
        QFETCH(QString, line);
        QFETCH(double, seconds);
        const auto read = vorkast::notice::parseKeyframeCut(line.toStdString());
        QCOMPARE(read.has_value(), seconds >= 0);
        if (read)
            QCOMPARE(*read, seconds);
        if (read)
            QCOMPARE(QString::fromStdString(vorkast::notice::keyframeCutText(seconds)),
                     line.mid(line.indexOf("warning")).trimmed());
    }
};

QTEST_GUILESS_MAIN(TestExactCut)
#include "test_exact_cut.moc"
