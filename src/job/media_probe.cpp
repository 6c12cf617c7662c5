// Reading a media file's length and frame rate through libavformat.
#include "job/media_probe.h"

#include <QElapsedTimer>
#include <QFile>
#include <memory>
#include <sys/stat.h>

#include "frame_duration.h"
#include "packet_timeline.h"

namespace segmora {
namespace {

struct Deadline {
    QElapsedTimer clock;
    int limitMs = 0;
};

// libavformat asks this while it waits for data: non-zero abandons the read.
extern "C" int pastDeadline(void* opaque) {
    const auto* deadline = static_cast<const Deadline*>(opaque);
    return deadline->clock.hasExpired(deadline->limitMs) ? 1 : 0;
}

} // namespace

MediaFacts ProbeMedia(const QString& path, int deadlineMs) {
    MediaFacts facts;
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    // Only a regular file is opened: a FIFO would block the open until a writer came, a device
    // such as /dev/zero would be read for ever.
    if (name.isEmpty() || ::stat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return facts;

    // Why a file is no media is the caller's message; the demuxers' own notes would only
    // clutter standard error ("moov atom not found").
    av_log_set_level(AV_LOG_QUIET);
    Deadline deadline;
    deadline.limitMs = deadlineMs;
    deadline.clock.start();
    vorkast::InputContextPtr input;
    try {
        input = vorkast::openInput(name.toStdString(), AVIOInterruptCB{pastDeadline, &deadline});
    } catch (const std::exception&) {
        return facts; // no media, or past the deadline
    }
    // A text file may pass for subtitles; only a picture or sound makes a source.
    const vorkast::StreamChoice streams = vorkast::chooseStreams(input.get());
    facts.opened = streams.video >= 0 || streams.audio >= 0;
    // One frame of the picture the converter cuts by, as the converter counts it.
    if (streams.video >= 0)
        facts.frameSeconds = vorkast::frameSeconds(input->streams[streams.video]);
    if (facts.opened && input->duration != AV_NOPTS_VALUE && input->duration > 0)
        facts.durationMs = av_rescale(input->duration, 1000, AV_TIME_BASE);
    return facts;
}

long long ProbeDurationMs(const QString& path) {
    return ProbeMedia(path).durationMs;
}

} // namespace segmora
