// Reading a media file's length through libavformat.
#include "job/media_probe.h"

#include <QFile>
#include <memory>

extern "C" {
#include <libavformat/avformat.h>
}

namespace segmora {
namespace {

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

} // namespace

long long ProbeDurationMs(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, name.constData(), nullptr, nullptr) < 0)
        return 0;
    const InputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return 0;
    if (input->duration == AV_NOPTS_VALUE || input->duration <= 0)
        return 0;
    return av_rescale(input->duration, 1000, AV_TIME_BASE);
}

} // namespace segmora
