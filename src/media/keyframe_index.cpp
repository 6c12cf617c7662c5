// Finding a source's keyframes from its packets, on a thread of its own.
#include "media/keyframe_index.h"

#include <QFile>
#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace segmora {
namespace {

constexpr double kTolerance = 0.001;

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;

int interrupted(void* stop) {
    return stop && static_cast<const std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

} // namespace

QVector<double> ScanKeyframes(const QString& path, const std::atomic<bool>* stop) {
    QVector<double> keyframes;
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return keyframes;
    // Every read of the file asks this first, so a stop is felt at once.
    raw->interrupt_callback.callback = interrupted;
    raw->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(stop);
    const QByteArray file = QFile::encodeName(path);
    if (avformat_open_input(&raw, file.constData(), nullptr, nullptr) < 0)
        return keyframes; // the context is freed on failure
    InputPtr input(raw);
    // The stream information gives the start offset the player also takes away.
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return keyframes;
    const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0)
        return keyframes;
    // Every packet of the picture is read (a keyframe's time may need the packet after it; and
    // skipping the others upsets the MP4 reader's times), none of the other streams.
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (int(i) != video)
            input->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVStream* stream = input->streams[video];
    const double offset =
        input->start_time == AV_NOPTS_VALUE ? 0.0 : double(input->start_time) / AV_TIME_BASE;
    const double unit = av_q2d(stream->time_base);
    PacketPtr packet(av_packet_alloc());
    if (!packet)
        return keyframes;
    // A keyframe without a presentation time in a stream with reordered frames (MPEG program
    // streams, AVI) is shown when the next reference frame is decoded: that packet's decoding
    // time. Frames shown in decoding order carry equal times or none.
    const bool reordered = stream->codecpar->video_delay > 0;
    qsizetype waiting = -1;
    while (!(stop && stop->load()) && av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == video) {
            const bool reference = packet->pts == AV_NOPTS_VALUE || packet->pts != packet->dts;
            if (waiting >= 0 && reference && packet->dts != AV_NOPTS_VALUE) {
                keyframes[waiting] = std::max(0.0, double(packet->dts) * unit - offset);
                waiting = -1;
            }
            if (packet->flags & AV_PKT_FLAG_KEY) {
                const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
                if (ts != AV_NOPTS_VALUE) {
                    keyframes.append(std::max(0.0, double(ts) * unit - offset));
                    if (packet->pts == AV_NOPTS_VALUE && reordered)
                        waiting = keyframes.size() - 1;
                }
            }
        }
        av_packet_unref(packet.get());
    }
    std::sort(keyframes.begin(), keyframes.end());
    keyframes.erase(std::unique(keyframes.begin(), keyframes.end(),
                                [](double a, double b) { return b - a < kTolerance; }),
                    keyframes.end());
    return keyframes;
}

double PreviousKeyframe(const QVector<double>& keyframes, double seconds) {
    const auto it = std::lower_bound(keyframes.begin(), keyframes.end(), seconds - kTolerance);
    return it == keyframes.begin() ? -1 : *(it - 1);
}

double NextKeyframe(const QVector<double>& keyframes, double seconds) {
    const auto it = std::upper_bound(keyframes.begin(), keyframes.end(), seconds + kTolerance);
    return it == keyframes.end() ? -1 : *it;
}

bool IsKeyframeTime(const QVector<double>& keyframes, double seconds) {
    const auto it = std::lower_bound(keyframes.begin(), keyframes.end(), seconds - kTolerance);
    return it != keyframes.end() && *it <= seconds + kTolerance;
}

KeyframeIndex::KeyframeIndex(QObject* parent) : QObject(parent) {}

KeyframeIndex::~KeyframeIndex() {
    stopThread();
}

void KeyframeIndex::Open(const QString& path) {
    Abandon();
    const quint64 generation = m_generation;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_stop = stop;
    KeyframeIndex* self = this;
    m_thread = std::thread([self, stop, generation, path] {
        // Below the player's threads: the scan takes what the preview leaves.
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
        QVector<double> keyframes = ScanKeyframes(path, stop.get());
        if (stop->load())
            return;
        // Only posts: the index takes the result on its own thread if it is still waiting for
        // this scan. The object outlives the thread (its destructor joins), and a call posted
        // to it is dropped with it.
        QMetaObject::invokeMethod(
            self,
            [self, generation, keyframes = std::move(keyframes)] {
                self->take(generation, keyframes);
            },
            Qt::QueuedConnection);
    });
}

void KeyframeIndex::Abandon() {
    stopThread();
    ++m_generation;
    m_ready = false;
    m_keyframes.clear();
}

void KeyframeIndex::stopThread() {
    if (m_stop)
        m_stop->store(true);
    // The stop interrupts the reading at once, so the join waits for one packet at most.
    if (m_thread.joinable())
        m_thread.join();
    m_stop.reset();
}

void KeyframeIndex::take(quint64 generation, const QVector<double>& keyframes) {
    if (generation != m_generation)
        return;
    m_keyframes = keyframes;
    m_ready = true;
    emit ready();
}

} // namespace segmora
