// Reading a media file's length and frame rate through libavformat.
#include "job/media_probe.h"

#include <QElapsedTimer>
#include <QFile>
#include <memory>
#include <sys/stat.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace segmora {
namespace {

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

struct Deadline {
    QElapsedTimer clock;
    int limitMs = 0;
};

// libavformat asks this while it waits for data: non-zero abandons the read.
extern "C" int pastDeadline(void* opaque) {
    const auto* deadline = static_cast<const Deadline*>(opaque);
    return deadline->clock.hasExpired(deadline->limitMs) ? 1 : 0;
}

double frameSecondsOf(const AVStream* stream) {
    for (const AVRational rate : {stream->avg_frame_rate, stream->r_frame_rate}) {
        if (rate.num > 0 && rate.den > 0)
            return av_q2d(av_inv_q(rate));
    }
    return 0;
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
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return facts;
    raw->interrupt_callback.callback = pastDeadline;
    raw->interrupt_callback.opaque = &deadline;
    // On failure avformat_open_input frees the context itself.
    if (avformat_open_input(&raw, name.constData(), nullptr, nullptr) < 0)
        return facts;
    const InputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return facts;
    // A text file may pass for subtitles; only a picture or sound makes a source.
    bool picture = false;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        const AVMediaType type = stream->codecpar->codec_type;
        facts.opened = facts.opened || type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO;
        if (!picture && type == AVMEDIA_TYPE_VIDEO &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            facts.frameSeconds = frameSecondsOf(stream);
            picture = true;
        }
    }
    if (facts.opened && input->duration != AV_NOPTS_VALUE && input->duration > 0)
        facts.durationMs = av_rescale(input->duration, 1000, AV_TIME_BASE);
    return facts;
}

long long ProbeDurationMs(const QString& path) {
    return ProbeMedia(path).durationMs;
}

} // namespace segmora
