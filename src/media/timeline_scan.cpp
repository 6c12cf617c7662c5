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
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace segmora {
namespace {

constexpr double kTolerance = 0.001;
// The sound is mixed to one channel at this rate: enough for its loudness, and resampling to it
// costs little beside the decoding.
constexpr int kSoundRate = 8000;
// A pixel this dark (of 255) is black; limited-range video's black is 16.
constexpr int kBlackPixel = 32;
// A picture is black when all but this share of its pixels are.
constexpr double kBlackAllowance = 0.02;

// The owners the packet library reads with; sound and picture conversion are ours alone.
using InputPtr = vorkast::InputContextPtr;
using CodecPtr = vorkast::CodecContextPtr;
using PacketPtr = vorkast::PacketPtr;
using FramePtr = vorkast::FramePtr;
struct ResamplerFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;
struct ScalerFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

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

// Feeds the chosen packets of the opened stream to its decoder and hands each frame on, then
// flushes. take decides per packet whether it is decoded.
void decodeAll(Opened& opened, const std::atomic<bool>* stop,
               const std::function<bool(const AVPacket*)>& take,
               const std::function<void(AVFrame*)>& frameOut) {
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame)
        return;
    auto drain = [&] {
        while (!stopped(stop) && avcodec_receive_frame(opened.decoder.get(), frame.get()) >= 0) {
            frameOut(frame.get());
            av_frame_unref(frame.get());
        }
    };
    while (!stopped(stop) && av_read_frame(opened.input.get(), packet.get()) >= 0) {
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
    if (stopped(stop))
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

SoundScan ScanSound(const QString& path, const std::atomic<bool>* stop) {
    SoundScan scan;
    Opened opened;
    if (!openStream(path, AVMEDIA_TYPE_AUDIO, stop, opened, [](AVCodecContext*) {})) {
        scan.complete = !stopped(stop) && opened.input && opened.stream < 0;
        return scan;
    }
    ResamplerPtr resampler;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    std::vector<float> samples;
    double startSeconds = -1;
    qint64 produced = 0; // samples at kSoundRate since startSeconds
    auto collect = [&](const float* data, int count) {
        for (int i = 0; i < count; ++i, ++produced) {
            const qsizetype bucket = qsizetype((startSeconds + double(produced) / kSoundRate) *
                                               SoundScan::kBucketsPerSecond);
            if (bucket >= scan.peaks.size())
                scan.peaks.resize(bucket + 1, 0.0f);
            scan.peaks[bucket] = std::max(scan.peaks[bucket], std::min(1.0f, std::fabs(data[i])));
        }
    };
    auto resample = [&](const AVFrame* frame) {
        const int room =
            frame
                ? int(av_rescale_rnd(swr_get_delay(resampler.get(), kSoundRate) + frame->nb_samples,
                                     kSoundRate, frame->sample_rate, AV_ROUND_UP))
                : int(swr_get_delay(resampler.get(), kSoundRate)) + 64;
        samples.resize(size_t(std::max(room, 1)));
        uint8_t* out[] = {reinterpret_cast<uint8_t*>(samples.data())};
        const int got =
            swr_convert(resampler.get(), out, room,
                        frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                        frame ? frame->nb_samples : 0);
        if (got > 0)
            collect(samples.data(), got);
    };
    decodeAll(
        opened, stop, [](const AVPacket*) { return true; },
        [&](AVFrame* frame) {
            if (!resampler) {
                SwrContext* raw = nullptr;
                if (swr_alloc_set_opts2(&raw, &mono, AV_SAMPLE_FMT_FLT, kSoundRate,
                                        &frame->ch_layout, AVSampleFormat(frame->format),
                                        frame->sample_rate, 0, nullptr) < 0)
                    return;
                resampler.reset(raw);
                if (swr_init(raw) < 0) {
                    resampler.reset();
                    return;
                }
                // The first sound's time; later frames follow on without gaps of their own.
                startSeconds = std::max(0.0, frameSeconds(opened, frame));
            }
            resample(frame);
        });
    if (resampler && !stopped(stop))
        resample(nullptr);
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

} // namespace

void ScanThumbnails(const QString& path, double minSpacingSeconds, PictureScan& scan,
                    const std::atomic<bool>* stop) {
    Opened opened;
    const bool ok = openStream(path, AVMEDIA_TYPE_VIDEO, stop, opened, [](AVCodecContext* codec) {
        // Only keyframes, each decoded on its own: slices in parallel, no frame queue.
        codec->skip_frame = AVDISCARD_NONKEY;
        codec->thread_type = FF_THREAD_SLICE;
        codec->thread_count = 2;
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
    ScalerPtr scaler;
    double lastSent = -1e9;
    decodeAll(
        opened, stop,
        [&](const AVPacket* packet) {
            if (!(packet->flags & AV_PKT_FLAG_KEY))
                return false;
            const double at =
                opened.secondsOf(packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts);
            if (at >= 0 && at - lastSent < minSpacingSeconds)
                return false;
            lastSent = at;
            return true;
        },
        [&](AVFrame* frame) {
            const int width = thumbnailWidth(frame);
            scaler.reset(sws_getCachedContext(
                scaler.release(), frame->width, frame->height, AVPixelFormat(frame->format), width,
                kThumbnailHeight, AV_PIX_FMT_RGB24, SWS_AREA, nullptr, nullptr, nullptr));
            if (!scaler)
                return;
            QImage picture(width, kThumbnailHeight, QImage::Format_RGB888);
            uint8_t* planes[] = {picture.bits()};
            const int strides[] = {int(picture.bytesPerLine())};
            sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes,
                      strides);
            scan.thumbnails.append({std::max(0.0, frameSeconds(opened, frame)), picture});
        });
    std::sort(scan.thumbnails.begin(), scan.thumbnails.end(),
              [](const Thumbnail& a, const Thumbnail& b) { return a.seconds < b.seconds; });
    scan.thumbnailsComplete = !stopped(stop);
}

void ScanPictureContent(const QString& path, PictureScan& scan, const std::atomic<bool>* stop) {
    scan.blackFrames.clear();
    scan.sceneChanges.clear();
    Opened opened;
    if (!openStream(path, AVMEDIA_TYPE_VIDEO, stop, opened, [](AVCodecContext* codec) {
            // Small pictures only: the loop filter's finish is not worth its time here.
            codec->skip_loop_filter = AVDISCARD_ALL;
            codec->thread_count = 2;
        })) {
        scan.contentComplete = !stopped(stop) && opened.input && opened.stream < 0;
        return;
    }
    ScalerPtr scaler;
    std::vector<uchar> grey(size_t(kContentWidth * kContentHeight));
    std::vector<uchar> before(grey.size());
    bool haveBefore = false;
    bool beforeBlack = false;
    double blackFrom = -1;
    double lastSeconds = 0;
    double frameLength = 0;
    decodeAll(
        opened, stop, [](const AVPacket*) { return true; },
        [&](AVFrame* frame) {
            scaler.reset(sws_getCachedContext(scaler.release(), frame->width, frame->height,
                                              AVPixelFormat(frame->format), kContentWidth,
                                              kContentHeight, AV_PIX_FMT_GRAY8, SWS_FAST_BILINEAR,
                                              nullptr, nullptr, nullptr));
            if (!scaler)
                return;
            uint8_t* planes[] = {grey.data()};
            const int strides[] = {kContentWidth};
            sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes,
                      strides);
            const double seconds = std::max(0.0, frameSeconds(opened, frame));
            if (haveBefore && seconds > lastSeconds)
                frameLength = seconds - lastSeconds;
            const bool black = IsBlackPicture(grey.data());
            if (black && blackFrom < 0)
                blackFrom = seconds;
            if (!black && blackFrom >= 0) {
                scan.blackFrames.append({blackFrom, seconds});
                blackFrom = -1;
            }
            // A cut into or out of black is told by the black frames already.
            if (haveBefore && !black && !beforeBlack &&
                PictureDifference(grey.data(), before.data()) >= kSceneChangeDifference)
                scan.sceneChanges.append(seconds);
            std::swap(grey, before);
            haveBefore = true;
            beforeBlack = black;
            lastSeconds = seconds;
        });
    if (blackFrom >= 0)
        scan.blackFrames.append({blackFrom, lastSeconds + frameLength});
    std::sort(scan.sceneChanges.begin(), scan.sceneChanges.end());
    scan.contentComplete = !stopped(stop);
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

// About a thousand thumbnails over the whole source at most, a second apart at least.
double thumbnailSpacing(double lengthSeconds) {
    return std::max(1.0, lengthSeconds / 1000.0);
}

} // namespace

TimelineScans::TimelineScans(QObject* parent) : QObject(parent) {}

TimelineScans::~TimelineScans() {
    stopThreads();
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
            ScanThumbnails(path, thumbnailSpacing(lengthSeconds), scan, stop.get());
            if (stop->load()) {
                --*running;
                return;
            }
            if (!file.isEmpty())
                WritePictureCache(file, scan);
        }
        post();
        if (!scan.contentComplete) {
            ScanPictureContent(path, scan, stop.get());
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
    stopThreads();
    ++m_generation;
    m_source.clear();
    m_sound.reset();
    m_pictures.reset();
}

void TimelineScans::stopThreads() {
    if (m_stop)
        m_stop->store(true);
    // The stop interrupts the reading at once: each join waits for one packet's decoding.
    for (std::thread* thread : {&m_soundThread, &m_pictureThread}) {
        if (thread->joinable())
            thread->join();
    }
    m_stop.reset();
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
