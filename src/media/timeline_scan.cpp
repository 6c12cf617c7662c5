// Reading a source's sound and pictures for the timeline, its cache files, and the threads the
// scans run on.
#include "media/timeline_scan.h"

#include "libav_owners.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <type_traits>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace segmora {
namespace {

constexpr double kTolerance = 0.001;
// A pixel this dark (of 255) is black; limited-range video's black is 16.
constexpr int kBlackPixel = 32;
// A picture is black when all but this share of its pixels are.
constexpr double kBlackAllowance = 0.02;

// The owners the packet library reads with; picture scaling is ours alone.
using InputPtr = vorkast::InputContextPtr;
using CodecPtr = vorkast::CodecContextPtr;
using PacketPtr = vorkast::PacketPtr;
using FramePtr = vorkast::FramePtr;
using ScalerPtr = vorkast::ScalerPtr;

int interrupted(void* stop) {
    return stop && static_cast<const std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

bool stopped(const std::atomic<bool>* stop) {
    return stop && stop->load();
}

// One stream of a source opened for decoding, the others discarded.
struct Opened {
    InputPtr input;
    CodecPtr decoder;
    int stream = -1;
    double offset = 0; // the source's start time, which the player counts from
    double unit = 0;   // seconds per tick of the stream's time base

    double secondsOf(int64_t ts) const {
        return ts == AV_NOPTS_VALUE ? -1 : std::max(0.0, double(ts) * unit - offset);
    }
};

bool openStream(const QString& path, AVMediaType type, const std::atomic<bool>* stop,
                Opened& opened, const std::function<void(AVCodecContext*)>& tune) {
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return false;
    raw->interrupt_callback.callback = interrupted;
    raw->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(stop);
    const QByteArray file = QFile::encodeName(path);
    if (avformat_open_input(&raw, file.constData(), nullptr, nullptr) < 0)
        return false; // the context is freed on failure
    opened.input.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return false;
    const AVCodec* codec = nullptr;
    opened.stream = av_find_best_stream(raw, type, -1, -1, &codec, 0);
    if (opened.stream < 0 || !codec)
        return false;
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        if (int(i) != opened.stream)
            raw->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVStream* stream = raw->streams[opened.stream];
    opened.offset =
        raw->start_time == AV_NOPTS_VALUE ? 0.0 : double(raw->start_time) / AV_TIME_BASE;
    opened.unit = av_q2d(stream->time_base);
    opened.decoder.reset(avcodec_alloc_context3(codec));
    if (!opened.decoder ||
        avcodec_parameters_to_context(opened.decoder.get(), stream->codecpar) < 0)
        return false;
    opened.decoder->pkt_timebase = stream->time_base;
    tune(opened.decoder.get());
    return avcodec_open2(opened.decoder.get(), codec, nullptr) >= 0;
}

// Feeds the chosen packets of the opened stream, from where it stands, to its decoder and hands
// each frame on until frameOut says it has had enough; at the end it flushes the decoder.
// take decides per packet whether it is decoded.
void decodeAll(Opened& opened, const std::atomic<bool>* stop,
               const std::function<bool(const AVPacket*)>& take,
               const std::function<bool(AVFrame*)>& frameOut) {
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame)
        return;
    bool more = true;
    auto drain = [&] {
        while (more && !stopped(stop) &&
               avcodec_receive_frame(opened.decoder.get(), frame.get()) >= 0) {
            more = frameOut(frame.get());
            av_frame_unref(frame.get());
        }
    };
    while (more && !stopped(stop) && av_read_frame(opened.input.get(), packet.get()) >= 0) {
        if (packet->stream_index == opened.stream && take(packet.get())) {
            // A damaged packet is skipped; the frames around it still count.
            if (avcodec_send_packet(opened.decoder.get(), packet.get()) == AVERROR(EAGAIN)) {
                drain();
                avcodec_send_packet(opened.decoder.get(), packet.get());
            }
            drain();
        }
        av_packet_unref(packet.get());
    }
    if (!more || stopped(stop))
        return;
    avcodec_send_packet(opened.decoder.get(), nullptr);
    drain();
}

double frameSeconds(const Opened& opened, const AVFrame* frame) {
    return opened.secondsOf(frame->best_effort_timestamp);
}

} // namespace

QVector<TimeSpan> FindSilences(const QVector<float>& peaks) {
    QVector<TimeSpan> silences;
    const int least = int(std::lround(kSilenceSeconds * SoundScan::kBucketsPerSecond));
    qsizetype runStart = -1;
    for (qsizetype i = 0; i <= peaks.size(); ++i) {
        const bool quiet = i < peaks.size() && peaks[i] < kSilenceLevel;
        if (quiet && runStart < 0)
            runStart = i;
        if (!quiet && runStart >= 0) {
            if (i - runStart >= least)
                silences.append({double(runStart) / SoundScan::kBucketsPerSecond,
                                 double(i) / SoundScan::kBucketsPerSecond});
            runStart = -1;
        }
    }
    return silences;
}

bool IsBlackPicture(const uchar* grey) {
    constexpr int pixels = kContentWidth * kContentHeight;
    int bright = 0;
    for (int i = 0; i < pixels; ++i)
        bright += grey[i] > kBlackPixel;
    return bright <= int(pixels * kBlackAllowance);
}

double PictureDifference(const uchar* grey, const uchar* before) {
    constexpr int pixels = kContentWidth * kContentHeight;
    long total = 0;
    for (int i = 0; i < pixels; ++i)
        total += std::abs(int(grey[i]) - int(before[i]));
    return double(total) / pixels;
}

namespace {

// The extremes of samples [from, to) of every channel of a frame, as a share of full scale.
template <typename Sample>
float loudestOf(const AVFrame* frame, int from, int to, bool planar, int channels) {
    Sample low = std::numeric_limits<Sample>::max();
    Sample high = std::numeric_limits<Sample>::lowest();
    const auto scan = [&](const Sample* data, int first, int end) {
        for (int i = first; i < end; ++i) {
            low = std::min(low, data[i]);
            high = std::max(high, data[i]);
        }
    };
    if (planar) {
        for (int channel = 0; channel < channels; ++channel)
            scan(reinterpret_cast<const Sample*>(frame->extended_data[channel]), from, to);
    } else {
        scan(reinterpret_cast<const Sample*>(frame->data[0]), from * channels, to * channels);
    }
    if (high < low)
        return 0;
    if constexpr (std::is_floating_point_v<Sample>) {
        return float(std::max(double(high), -double(low)));
    } else if constexpr (std::is_same_v<Sample, uint8_t>) {
        return float(std::max(int(high) - 128, 128 - int(low))) / 128.0f;
    } else {
        const double full = -double(std::numeric_limits<Sample>::lowest());
        return float(std::max(double(high), -double(low)) / full);
    }
}

float loudestOf(const AVFrame* frame, int from, int to) {
    const auto format = AVSampleFormat(frame->format);
    const bool planar = av_sample_fmt_is_planar(format);
    const int channels = std::max(1, frame->ch_layout.nb_channels);
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_FLT:
        return loudestOf<float>(frame, from, to, planar, channels);
    case AV_SAMPLE_FMT_DBL:
        return loudestOf<double>(frame, from, to, planar, channels);
    case AV_SAMPLE_FMT_S16:
        return loudestOf<int16_t>(frame, from, to, planar, channels);
    case AV_SAMPLE_FMT_S32:
        return loudestOf<int32_t>(frame, from, to, planar, channels);
    case AV_SAMPLE_FMT_S64:
        return loudestOf<int64_t>(frame, from, to, planar, channels);
    case AV_SAMPLE_FMT_U8:
        return loudestOf<uint8_t>(frame, from, to, planar, channels);
    default:
        return 0;
    }
}

// Sorts decoded sound into the peaks' hundredths straight from the decoder's planes: no mixing,
// no resampling, only the extremes of each hundredth.
class PeakCollector {
public:
    explicit PeakCollector(QVector<float>& peaks) : m_peaks(peaks) {}

    void take(const AVFrame* frame, double frameSeconds) {
        if (frame->sample_rate <= 0 || frame->nb_samples <= 0)
            return;
        if (frame->sample_rate != m_rate) {
            // The first sound's time; later frames follow on without gaps of their own. A
            // change of rate counts on from where the sound had got to.
            m_origin = m_rate == 0
                           ? std::max(0.0, frameSeconds) * SoundScan::kBucketsPerSecond
                           : m_origin + double(m_counted) * SoundScan::kBucketsPerSecond / m_rate;
            m_rate = frame->sample_rate;
            m_counted = 0;
        }
        const double perSample = double(SoundScan::kBucketsPerSecond) / m_rate;
        int done = 0;
        while (done < frame->nb_samples) {
            const qsizetype bucket =
                qsizetype(m_origin + double(m_counted + done) * perSample + 1e-9);
            // Up to the first sample of the next hundredth.
            const qint64 next =
                qint64(std::ceil((double(bucket + 1) - m_origin) / perSample - 1e-9)) - m_counted;
            const int end = int(std::clamp<qint64>(next, done + 1, frame->nb_samples));
            if (bucket >= m_peaks.size())
                m_peaks.resize(bucket + 1, 0.0f);
            m_peaks[bucket] =
                std::max(m_peaks[bucket], std::min(1.0f, loudestOf(frame, done, end)));
            done = end;
        }
        m_counted += frame->nb_samples;
    }

private:
    QVector<float>& m_peaks;
    int m_rate = 0;
    double m_origin = 0;  // in hundredths
    qint64 m_counted = 0; // samples at m_rate since m_origin
};

} // namespace

SoundScan ScanSound(const QString& path, const std::atomic<bool>* stop) {
    SoundScan scan;
    Opened opened;
    if (!openStream(path, AVMEDIA_TYPE_AUDIO, stop, opened, [](AVCodecContext*) {})) {
        scan.complete = !stopped(stop) && opened.input && opened.stream < 0;
        return scan;
    }
    if (opened.input->duration > 0)
        scan.peaks.reserve(qsizetype(double(opened.input->duration) / AV_TIME_BASE *
                                     SoundScan::kBucketsPerSecond) +
                           16);
    PeakCollector peaks(scan.peaks);
    decodeAll(
        opened, stop, [](const AVPacket*) { return true; },
        [&](AVFrame* frame) {
            peaks.take(frame, frameSeconds(opened, frame));
            return true;
        });
    scan.silences = FindSilences(scan.peaks);
    scan.complete = !stopped(stop);
    return scan;
}

namespace {

// The thumbnail's width for a picture of this size and sample aspect.
int thumbnailWidth(const AVFrame* frame) {
    double aspect = double(frame->width) / std::max(1, frame->height);
    if (frame->sample_aspect_ratio.num > 0 && frame->sample_aspect_ratio.den > 0)
        aspect *= av_q2d(frame->sample_aspect_ratio);
    return std::clamp(int(std::lround(kThumbnailHeight * aspect)), 8, 4 * kThumbnailHeight);
}

// Decoding for small pictures: the loop filter's finish is not worth its time, and decoders
// that can (MPEG-1/2/4, JPEG) hand out pictures already reduced, still twice the size asked.
void decodeSmall(AVCodecContext* codec, int width, int height) {
    codec->skip_loop_filter = AVDISCARD_ALL;
    int lowres = 0;
    while (lowres < codec->codec->max_lowres && (codec->width >> (lowres + 1)) >= 2 * width &&
           (codec->height >> (lowres + 1)) >= 2 * height)
        ++lowres;
    codec->lowres = lowres;
}

QImage thumbnailOf(const AVFrame* frame, ScalerPtr& scaler) {
    const int width = thumbnailWidth(frame);
    scaler.reset(sws_getCachedContext(scaler.release(), frame->width, frame->height,
                                      AVPixelFormat(frame->format), width, kThumbnailHeight,
                                      AV_PIX_FMT_RGB24, SWS_AREA, nullptr, nullptr, nullptr));
    if (!scaler)
        return {};
    QImage picture(width, kThumbnailHeight, QImage::Format_RGB888);
    uint8_t* planes[] = {picture.bits()};
    const int strides[] = {int(picture.bytesPerLine())};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    return picture;
}

void sortThumbnails(QVector<Thumbnail>& thumbnails) {
    std::sort(thumbnails.begin(), thumbnails.end(),
              [](const Thumbnail& a, const Thumbnail& b) { return a.seconds < b.seconds; });
    thumbnails.erase(std::unique(thumbnails.begin(), thumbnails.end(),
                                 [](const Thumbnail& a, const Thumbnail& b) {
                                     return std::abs(a.seconds - b.seconds) < kTolerance;
                                 }),
                     thumbnails.end());
}

// Decodes one keyframe's packet on its own into frame.
bool decodeAlone(AVCodecContext* decoder, const AVPacket* packet, AVFrame* frame) {
    avcodec_flush_buffers(decoder);
    if (avcodec_send_packet(decoder, packet) < 0)
        return false;
    avcodec_send_packet(decoder, nullptr); // only this picture: out with it
    const bool got = avcodec_receive_frame(decoder, frame) >= 0;
    avcodec_flush_buffers(decoder);
    return got;
}

// How many packets after a seek may go by before its keyframe (the sound and other streams
// are discarded already).
constexpr int kPacketsToKeyframe = 1000;

// The keyframe at or before the middle of each stretch of spacing seconds, each sought and
// decoded alone; false when the source cannot be sought (the caller reads it through then).
bool seekThumbnails(Opened& opened, double length, double spacing, PictureScan& scan,
                    const std::atomic<bool>* stop) {
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    ScalerPtr scaler;
    if (!packet || !frame)
        return false;
    std::set<int64_t> taken;
    const int stretches = std::max(1, int(std::ceil(length / spacing - 1e-9)));
    for (int slot = 0; slot < stretches && !stopped(stop); ++slot) {
        const double middle = std::min(length, (slot + 0.5) * spacing);
        const auto ts = int64_t(std::floor((middle + opened.offset) / opened.unit));
        if (av_seek_frame(opened.input.get(), opened.stream, ts, AVSEEK_FLAG_BACKWARD) < 0) {
            if (slot == 0)
                return false;
            continue;
        }
        bool found = false;
        for (int read = 0; read < kPacketsToKeyframe; ++read) {
            if (av_read_frame(opened.input.get(), packet.get()) < 0)
                break;
            if (packet->stream_index == opened.stream && (packet->flags & AV_PKT_FLAG_KEY)) {
                found = true;
                break;
            }
            av_packet_unref(packet.get());
        }
        if (!found)
            continue;
        const int64_t key = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        // Stretches shorter than the keyframes' spacing share their keyframe.
        if (taken.insert(key).second &&
            decodeAlone(opened.decoder.get(), packet.get(), frame.get())) {
            QImage picture = thumbnailOf(frame.get(), scaler);
            if (!picture.isNull())
                scan.thumbnails.append({std::max(0.0, frameSeconds(opened, frame.get())), picture});
            av_frame_unref(frame.get());
        }
        av_packet_unref(packet.get());
    }
    return true;
}

// Whether a picture is its source's next thumbnail after the last one at spacing.
struct ThumbnailSpacing {
    double spacing;
    double last = -1e9;
    bool due(double seconds) {
        if (seconds >= 0 && seconds - last < spacing - kTolerance)
            return false;
        last = seconds;
        return true;
    }
};

} // namespace

void ScanThumbnails(const QString& path, double minSpacingSeconds, PictureScan& scan,
                    const std::atomic<bool>* stop) {
    Opened opened;
    const bool ok = openStream(path, AVMEDIA_TYPE_VIDEO, stop, opened, [](AVCodecContext* codec) {
        // Keyframes, each decoded on its own: slices in parallel, no frame queue.
        codec->skip_frame = AVDISCARD_NONKEY;
        codec->thread_type = FF_THREAD_SLICE;
        codec->thread_count = 2;
        decodeSmall(codec, kThumbnailHeight * 16 / 9, kThumbnailHeight);
    });
    if (opened.stream >= 0) {
        const AVCodecID id = opened.input->streams[opened.stream]->codecpar->codec_id;
        scan.codecName = QString::fromLatin1(avcodec_get_name(id));
        const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
        scan.intraOnly = descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
    }
    if (!ok) {
        scan.thumbnailsComplete = !stopped(stop) && opened.input && opened.stream < 0;
        return;
    }
    const double length =
        opened.input->duration > 0 ? double(opened.input->duration) / AV_TIME_BASE : 0.0;
    const double spacing = std::max(minSpacingSeconds, 0.01);
    if (length <= 0 || !seekThumbnails(opened, length, spacing, scan, stop)) {
        // Not to be sought: read through, decoding the keyframes far enough apart.
        scan.thumbnails.clear();
        av_seek_frame(opened.input.get(), opened.stream, 0, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(opened.decoder.get());
        ScalerPtr scaler;
        ThumbnailSpacing spaced{spacing};
        decodeAll(
            opened, stop,
            [&](const AVPacket* packet) {
                return (packet->flags & AV_PKT_FLAG_KEY) &&
                       spaced.due(opened.secondsOf(packet->pts != AV_NOPTS_VALUE ? packet->pts
                                                                                 : packet->dts));
            },
            [&](AVFrame* frame) {
                QImage picture = thumbnailOf(frame, scaler);
                if (!picture.isNull())
                    scan.thumbnails.append({std::max(0.0, frameSeconds(opened, frame)), picture});
                return true;
            });
    }
    sortThumbnails(scan.thumbnails);
    scan.thumbnailsComplete = !stopped(stop);
}

namespace {

// What the content pass saw of one picture.
struct Seen {
    double seconds = 0;
    bool black = false;
    bool changed = false; // unlike the picture seen before it
};

// Small grey pictures of decoded frames, compared one after the other.
class ContentReader {
public:
    // Reads one frame; false when it cannot be scaled.
    bool read(const AVFrame* frame) {
        m_scaler.reset(sws_getCachedContext(m_scaler.release(), frame->width, frame->height,
                                            AVPixelFormat(frame->format), kContentWidth,
                                            kContentHeight, AV_PIX_FMT_GRAY8, SWS_FAST_BILINEAR,
                                            nullptr, nullptr, nullptr));
        if (!m_scaler)
            return false;
        std::swap(m_grey, m_before);
        uint8_t* planes[] = {m_grey.data()};
        const int strides[] = {kContentWidth};
        sws_scale(m_scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
        m_haveBefore = m_haveGrey;
        m_haveGrey = true;
        return true;
    }
    bool black() const { return IsBlackPicture(m_grey.data()); }
    bool changed() const {
        return m_haveBefore &&
               PictureDifference(m_grey.data(), m_before.data()) >= kSceneChangeDifference;
    }
    // The next picture is compared with none.
    void forget() { m_haveGrey = m_haveBefore = false; }

private:
    ScalerPtr m_scaler;
    std::vector<uchar> m_grey = std::vector<uchar>(size_t(kContentWidth * kContentHeight));
    std::vector<uchar> m_before = std::vector<uchar>(m_grey.size());
    bool m_haveGrey = false;
    bool m_haveBefore = false;
};

// Decodes the pictures from keyframe from.seconds up to and including keyframe to.seconds
// (those others refer to, with the decoder's skip_frame), each compared with the one before;
// empty when the stretch cannot be sought or read.
QVector<Seen> readBetween(Opened& opened, const Seen& from, const Seen& to,
                          const std::atomic<bool>* stop) {
    QVector<Seen> seen;
    const auto ts = int64_t(std::llround((from.seconds + opened.offset) / opened.unit));
    if (av_seek_frame(opened.input.get(), opened.stream, ts, AVSEEK_FLAG_BACKWARD) < 0)
        return seen;
    avcodec_flush_buffers(opened.decoder.get());
    ContentReader reader;
    decodeAll(
        opened, stop, [](const AVPacket*) { return true; },
        [&](AVFrame* frame) {
            const double seconds = std::max(0.0, frameSeconds(opened, frame));
            if (seconds < from.seconds - kTolerance)
                return true; // before the keyframe the seek landed short of
            if (!reader.read(frame))
                return false;
            seen.append({seconds, reader.black(), reader.changed()});
            return seconds < to.seconds - kTolerance;
        });
    // Both keyframes, or the stretch was not read as it should have been.
    if (seen.size() < 2 || std::abs(seen.first().seconds - from.seconds) > kTolerance ||
        std::abs(seen.last().seconds - to.seconds) > kTolerance)
        seen.clear();
    return seen;
}

} // namespace

void ScanPictureContent(const QString& path, double thumbnailSpacing, PictureScan& scan,
                        const std::atomic<bool>* stop) {
    scan.blackFrames.clear();
    scan.sceneChanges.clear();
    Opened opened;
    if (!openStream(path, AVMEDIA_TYPE_VIDEO, stop, opened, [](AVCodecContext* codec) {
            codec->skip_frame = AVDISCARD_NONKEY;
            codec->thread_count = 2;
            decodeSmall(codec, kContentWidth, kContentHeight);
        })) {
        scan.contentComplete = !stopped(stop) && opened.input && opened.stream < 0;
        return;
    }
    // First every keyframe: its grey picture and, far enough apart, its thumbnail. Containers
    // that can leave the other pictures unread do.
    AVStream* stream = opened.input->streams[opened.stream];
    stream->discard = AVDISCARD_NONKEY;
    QVector<Seen> keys;
    ContentReader reader;
    ScalerPtr scaler;
    ThumbnailSpacing spaced{std::max(thumbnailSpacing, 0.01)};
    QVector<Thumbnail> thumbnails;
    decodeAll(
        opened, stop, [](const AVPacket* packet) { return (packet->flags & AV_PKT_FLAG_KEY) != 0; },
        [&](AVFrame* frame) {
            const double seconds = std::max(0.0, frameSeconds(opened, frame));
            if (!keys.isEmpty() && seconds <= keys.last().seconds)
                return true; // a damaged time: keep the row in order
            if (!reader.read(frame))
                return true;
            keys.append({seconds, reader.black(), reader.changed()});
            if (thumbnailSpacing > 0 && spaced.due(seconds)) {
                QImage picture = thumbnailOf(frame, scaler);
                if (!picture.isNull())
                    thumbnails.append({seconds, picture});
            }
            return true;
        });
    if (stopped(stop))
        return;
    // Then, where two keyframes differ, the pictures between them that others refer to (the
    // rest are skipped: a change shows in them a frame or two later at most), to find the
    // frame where it happens.
    stream->discard = AVDISCARD_DEFAULT;
    opened.decoder->skip_frame = AVDISCARD_NONREF;
    QVector<Seen> seen;
    seen.reserve(keys.size());
    for (qsizetype i = 0; i < keys.size() && !stopped(stop); ++i) {
        const bool differ =
            i > 0 && (keys[i].black != keys[i - 1].black || (!keys[i].black && keys[i].changed));
        QVector<Seen> between;
        if (differ)
            between = readBetween(opened, keys[i - 1], keys[i], stop);
        if (between.isEmpty())
            seen.append(keys[i]); // the change is placed at the keyframe
        else
            seen.append(between.mid(1)); // from the picture after the earlier keyframe
    }
    if (stopped(stop))
        return;
    double blackFrom = -1;
    for (qsizetype i = 0; i < seen.size(); ++i) {
        if (seen[i].black && blackFrom < 0)
            blackFrom = seen[i].seconds;
        if (!seen[i].black && blackFrom >= 0) {
            scan.blackFrames.append({blackFrom, seen[i].seconds});
            blackFrom = -1;
        }
        // A cut into or out of black is told by the black frames already.
        if (i > 0 && seen[i].changed && !seen[i].black && !seen[i - 1].black)
            scan.sceneChanges.append(seen[i].seconds);
    }
    if (blackFrom >= 0) {
        // Black to the end: to the source's end, or a frame past the last keyframe.
        const double frame =
            stream->avg_frame_rate.num > 0 ? av_q2d(av_inv_q(stream->avg_frame_rate)) : 0.04;
        const double length =
            opened.input->duration > 0 ? double(opened.input->duration) / AV_TIME_BASE : 0.0;
        scan.blackFrames.append({blackFrom, std::max(seen.last().seconds + frame, length)});
    }
    scan.thumbnails.append(thumbnails);
    sortThumbnails(scan.thumbnails);
    scan.contentComplete = true;
}

double BarThumbnailSpacing(double lengthSeconds) {
    // The widest bar, on a screen four thousand pixels wide, shows about a hundred tiles.
    return std::max(1.0, lengthSeconds / 128.0);
}

double ZoomThumbnailSpacing(double lengthSeconds) {
    return std::max(1.0, lengthSeconds / 1000.0);
}

double PreviousTime(const QVector<double>& times, double seconds) {
    const auto it = std::lower_bound(times.begin(), times.end(), seconds - kTolerance);
    return it == times.begin() ? -1 : *(it - 1);
}

double NextTime(const QVector<double>& times, double seconds) {
    const auto it = std::upper_bound(times.begin(), times.end(), seconds + kTolerance);
    return it == times.end() ? -1 : *it;
}

QVector<double> SpanStarts(const QVector<TimeSpan>& spans) {
    QVector<double> starts;
    starts.reserve(spans.size());
    for (const TimeSpan& span : spans)
        starts.append(span.from);
    return starts;
}

// ---- the cache ----

namespace {

constexpr quint32 kCacheMagic = 0x53474d54; // "SGMT"
constexpr quint16 kCacheVersion = 1;
enum CacheKind : quint8 { SoundKind = 1, PictureKind = 2 };

void writeSpans(QDataStream& out, const QVector<TimeSpan>& spans) {
    out << quint32(spans.size());
    for (const TimeSpan& span : spans)
        out << span.from << span.to;
}

void readSpans(QDataStream& in, QVector<TimeSpan>& spans) {
    quint32 count = 0;
    in >> count;
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        TimeSpan span;
        in >> span.from >> span.to;
        spans.append(span);
    }
}

bool writeCache(const QString& path, CacheKind kind,
                const std::function<void(QDataStream&)>& body) {
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setVersion(QDataStream::Qt_6_4);
    out << kCacheMagic << kCacheVersion << quint8(kind);
    body(out);
    return out.status() == QDataStream::Ok && file.commit();
}

bool readCache(const QString& path, CacheKind kind, const std::function<void(QDataStream&)>& body) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    quint16 version = 0;
    quint8 stored = 0;
    in >> magic >> version >> stored;
    if (in.status() != QDataStream::Ok || magic != kCacheMagic || version != kCacheVersion ||
        stored != kind)
        return false;
    body(in);
    return in.status() == QDataStream::Ok && in.atEnd();
}

} // namespace

QString TimelineCachePath(const QString& folder, const QString& source) {
    if (folder.isEmpty())
        return {};
    const QFileInfo info(source);
    const QByteArray key = QFile::encodeName(info.absoluteFilePath()) + '\n' +
                           QByteArray::number(info.size()) + '\n' +
                           QByteArray::number(info.lastModified().toMSecsSinceEpoch());
    return QDir(folder).filePath(
        QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex()));
}

bool WriteSoundCache(const QString& path, const SoundScan& sound) {
    return writeCache(path, SoundKind, [&](QDataStream& out) {
        out << sound.peaks;
        writeSpans(out, sound.silences);
    });
}

bool ReadSoundCache(const QString& path, SoundScan& sound) {
    SoundScan read;
    if (!readCache(path, SoundKind, [&](QDataStream& in) {
            in >> read.peaks;
            readSpans(in, read.silences);
        }))
        return false;
    read.complete = true;
    sound = std::move(read);
    return true;
}

bool WritePictureCache(const QString& path, const PictureScan& pictures) {
    return writeCache(path, PictureKind, [&](QDataStream& out) {
        out << pictures.codecName << pictures.intraOnly << pictures.contentComplete
            << quint32(pictures.thumbnails.size());
        for (const Thumbnail& thumbnail : pictures.thumbnails)
            out << thumbnail.seconds << thumbnail.picture;
        writeSpans(out, pictures.blackFrames);
        out << pictures.sceneChanges;
    });
}

bool ReadPictureCache(const QString& path, PictureScan& pictures) {
    PictureScan read;
    if (!readCache(path, PictureKind, [&](QDataStream& in) {
            quint32 count = 0;
            in >> read.codecName >> read.intraOnly >> read.contentComplete >> count;
            for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
                Thumbnail thumbnail;
                in >> thumbnail.seconds >> thumbnail.picture;
                read.thumbnails.append(thumbnail);
            }
            readSpans(in, read.blackFrames);
            in >> read.sceneChanges;
        }))
        return false;
    read.thumbnailsComplete = true;
    pictures = std::move(read);
    return true;
}

// ---- the threads ----

namespace {

void lowerPriority() {
    // Below the player's threads: the scans take what the preview leaves.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
}

} // namespace

TimelineScans::TimelineScans(QObject* parent) : QObject(parent) {}

TimelineScans::~TimelineScans() {
    stopThreads(true);
}

bool TimelineScans::Scanning() const {
    return m_running && m_running->load() > 0;
}

void TimelineScans::Open(const QString& path, double lengthSeconds, const QString& cacheFolder) {
    Abandon();
    m_source = path;
    const quint64 generation = m_generation;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    auto running = std::make_shared<std::atomic<int>>(2);
    m_stop = stop;
    m_running = running;
    const QString cache = TimelineCachePath(cacheFolder, path);
    TimelineScans* self = this;
    // Each thread only posts; the object outlives the threads (its destructor and Open join
    // them), and a call posted to it is dropped with it.
    m_soundThread = std::thread([self, stop, running, generation, path, cache] {
        lowerPriority();
        const QString file = cache.isEmpty() ? QString() : cache + QStringLiteral(".sound");
        auto sound = std::make_shared<SoundScan>();
        if (!ReadSoundCache(file, *sound)) {
            *sound = ScanSound(path, stop.get());
            if (sound->complete && !file.isEmpty())
                WriteSoundCache(file, *sound);
        }
        --*running;
        if (stop->load())
            return;
        QMetaObject::invokeMethod(
            self,
            [self, generation, sound = std::shared_ptr<const SoundScan>(std::move(sound))] {
                self->takeSound(generation, sound);
            },
            Qt::QueuedConnection);
    });
    m_pictureThread = std::thread([self, stop, running, generation, path, cache, lengthSeconds] {
        lowerPriority();
        const QString file = cache.isEmpty() ? QString() : cache + QStringLiteral(".pictures");
        PictureScan scan;
        auto post = [&] {
            QMetaObject::invokeMethod(
                self,
                [self, generation, pictures = std::make_shared<const PictureScan>(scan)] {
                    self->takePictures(generation, pictures);
                },
                Qt::QueuedConnection);
        };
        if (!ReadPictureCache(file, scan)) {
            scan = {};
            ScanThumbnails(path, BarThumbnailSpacing(lengthSeconds), scan, stop.get());
            if (stop->load()) {
                --*running;
                return;
            }
            if (!file.isEmpty())
                WritePictureCache(file, scan);
        }
        post();
        if (!scan.contentComplete) {
            ScanPictureContent(path, ZoomThumbnailSpacing(lengthSeconds), scan, stop.get());
            if (stop->load()) {
                --*running;
                return;
            }
            if (!file.isEmpty())
                WritePictureCache(file, scan);
            post();
        }
        --*running;
    });
}

void TimelineScans::Abandon() {
    stopThreads(false);
    ++m_generation;
    m_source.clear();
    m_sound.reset();
    m_pictures.reset();
}

void TimelineScans::stopThreads(bool wait) {
    if (m_stop)
        m_stop->store(true);
    // The stop interrupts the reading at once, yet a low-priority thread on a busy machine
    // may take a while to see it: the window does not wait for that. Stopped threads are
    // joined once they have ended, at the latest by the destructor.
    for (std::thread* thread : {&m_soundThread, &m_pictureThread}) {
        if (thread->joinable())
            m_stopped.push_back({std::move(*thread), m_running});
    }
    m_stop.reset();
    m_running.reset();
    for (auto it = m_stopped.begin(); it != m_stopped.end();) {
        if (wait || it->running->load() == 0) {
            it->thread.join();
            it = m_stopped.erase(it);
        } else {
            ++it;
        }
    }
}

void TimelineScans::takeSound(quint64 generation, std::shared_ptr<const SoundScan> sound) {
    if (generation != m_generation)
        return;
    m_sound = std::move(sound);
    emit soundReady();
}

void TimelineScans::takePictures(quint64 generation, std::shared_ptr<const PictureScan> pictures) {
    if (generation != m_generation)
        return;
    const bool content = pictures->contentComplete;
    m_pictures = std::move(pictures);
    emit thumbnailsReady();
    if (content)
        emit contentReady();
}

} // namespace segmora
