// Finding a source's keyframes from its packets, on a thread of its own.
#include "media/keyframe_index.h"

#include <QFile>
#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "packet_timeline.h"

namespace segmora {
namespace {

constexpr double kTolerance = 0.001;

int interrupted(void* stop) {
    return stop && static_cast<const std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

// The keyframe times, as the converter's packet timeline gives them: the cut of a section that
// starts on one of these begins with that keyframe.
QVector<double> readKeyframes(const QString& path, const std::atomic<bool>* stop) {
    QVector<double> keyframes;
    // Every read of the file asks this first, so a stop is felt at once.
    const AVIOInterruptCB interrupt{interrupted, const_cast<std::atomic<bool>*>(stop)};
    const vorkast::InputContextPtr input =
        vorkast::openInput(QFile::encodeName(path).toStdString(), interrupt);
    const int video = vorkast::chooseStreams(input.get()).video;
    if (video < 0)
        return keyframes;
    // Every packet of the picture is read (a keyframe's time may need the packets after it; and
    // skipping the others upsets the MP4 reader's times), none of the other streams.
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (int(i) != video)
            input->streams[i]->discard = AVDISCARD_ALL;
    }
    // Times count from the source's start, as the player counts.
    const double offset = vorkast::startSeconds(input.get());
    vorkast::PacketTimeline timeline(input.get());
    while (!(stop && stop->load())) {
        const std::optional<vorkast::TimedPacket> read = timeline.next();
        if (!read)
            break;
        if (read->packet->stream_index == video && read->facts.keyPicture && read->facts.keyShown)
            keyframes.append(std::max(0.0, read->facts.keyShown.seconds() - offset));
    }
    return keyframes;
}

} // namespace

QVector<double> ScanKeyframes(const QString& path, const std::atomic<bool>* stop) {
    QVector<double> keyframes;
    try {
        keyframes = readKeyframes(path, stop);
    } catch (const std::exception&) {
        return {}; // unreadable, or no media: no keyframes to show
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
