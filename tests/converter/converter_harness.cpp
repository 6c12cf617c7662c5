// Running vorkast as the split job does, and probing its clips with libavformat.
#include "converter_harness.h"

#include "libav_owners.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <cmath>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace vorkast::test {

QString programPath() {
    return QStringLiteral(VORKAST_PROGRAM);
}
QString fixture(const QString& name) {
    return QStringLiteral(SEGMORA_FIXTURE_DIR "/") + name;
}

QString Run::contractBreach() const {
    static const QRegularExpression report(QStringLiteral("^time=\\d+\\.\\d\\d $"));
    for (const QString& line : errorText.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("time=")) && !report.match(line).hasMatch())
            return QStringLiteral("malformed report \"%1\"").arg(line);
        if (!line.startsWith(QLatin1String("time=")) && line.contains(QLatin1String("time")))
            return QStringLiteral("a message holds the word: \"%1\"").arg(line);
    }
    for (int i = 1; i < reports.size(); ++i)
        if (reports[i] < reports[i - 1])
            return QStringLiteral("reports fall from %1 to %2").arg(reports[i - 1]).arg(reports[i]);
    return {};
}

QStringList checkOffForKnownFault(const QString& sourceName, const QStringList& args,
                                  const QString& output) {
    const QString source = QFileInfo(sourceName).fileName();
    const QString to = QFileInfo(output).suffix();
    const bool copied = args.contains(QLatin1String("copy"));
    const bool exact = args.contains(QLatin1String("exact"));
    const bool fault =
        (copied && !exact && source == QLatin1String("frames.avi") &&
         (to == QLatin1String("mp4") || to == QLatin1String("mov"))) ||
        (!copied && source.startsWith(QLatin1String("chirp_mpeg2."))) ||
        (!copied && source == QLatin1String("chirp_mpeg4.avi") && to == QLatin1String("mp4"));
    return fault ? QStringList{"-check", "off"} : QStringList{};
}

QString decoderErrors(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-hide_banner", "-nostdin", "-v", "error", "-xerror",
                                            "-i", path, "-f", "null", "-"});
    if (!ffmpeg.waitForFinished(30000))
        return QStringLiteral("ffmpeg did not finish");
    return QString::fromUtf8(ffmpeg.readAllStandardError()).trimmed();
}

Run runVorkast(const QStringList& args, int timeoutMs, const QStringList& extraEnv) {
    QProcess process;
    auto env = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : extraEnv)
        env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(programPath(), args);
    Run run;
    run.finished = process.waitForFinished(timeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errorText = QString::fromUtf8(process.readAllStandardError());
    for (const QString& line : run.errorText.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("time=")))
            run.reports.append(line.mid(5).trimmed().toDouble());
        else if (line.startsWith(QLatin1String("vorkast: check ")))
            run.checkLine = line;
        else
            run.otherLines.append(line);
    }
    return run;
}

namespace {

using vorkast::CodecContextPtr;
using vorkast::FramePtr;
using vorkast::PacketPtr;
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
using Input = vorkast::InputContextPtr;

Input openInput(const QString& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return nullptr;
    Input input(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return nullptr;
    return input;
}

QString tag(AVDictionary* dict, const char* key) {
    const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, 0);
    return e ? QString::fromUtf8(e->value) : QString();
}

double fileStart(const AVFormatContext* c) {
    return c->start_time == AV_NOPTS_VALUE ? 0 : double(c->start_time) / AV_TIME_BASE;
}

// Decodes every frame of the best stream of a type, handing each to take.
template <typename Take>
void decodeAll(const QString& path, AVMediaType type, Take take, int maxFrames = -1) {
    Input input = openInput(path);
    if (!input)
        return;
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(input.get(), type, -1, -1, &codec, 0);
    if (index < 0 || !codec)
        return;
    AVStream* stream = input->streams[index];
    CodecContextPtr dec(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(dec.get(), stream->codecpar);
    dec->pkt_timebase = stream->time_base;
    if (avcodec_open2(dec.get(), codec, nullptr) < 0)
        return;
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    int count = 0;
    const double start = fileStart(input.get());
    const AVRational rate = av_guess_frame_rate(input.get(), stream, nullptr);
    const double step = type == AVMEDIA_TYPE_VIDEO && rate.num > 0 ? av_q2d(av_inv_q(rate)) : 0;
    double last = -step;
    auto drain = [&] {
        while (avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
            if (maxFrames < 0 || count < maxFrames) {
                // A picture without a time follows its predecessor.
                const double t =
                    frame->best_effort_timestamp == AV_NOPTS_VALUE
                        ? last + step
                        : double(frame->best_effort_timestamp) * av_q2d(stream->time_base) - start;
                last = t;
                take(frame.get(), t);
                ++count;
            }
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(input.get(), packet.get()) >= 0 && (maxFrames < 0 || count < maxFrames)) {
        if (packet->stream_index == index && avcodec_send_packet(dec.get(), packet.get()) >= 0)
            drain();
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(dec.get(), nullptr);
    drain();
}

} // namespace

QStringList ProbeInfo::codecs(const QString& type) const {
    QStringList names;
    for (const StreamInfo& s : streams)
        if (s.type == type)
            names.append(s.codec);
    return names;
}

ProbeInfo probe(const QString& path) {
    ProbeInfo info;
    Input input = openInput(path);
    if (!input)
        return info;
    info.opened = true;
    info.duration = input->duration == AV_NOPTS_VALUE ? 0 : double(input->duration) / AV_TIME_BASE;
    info.title = tag(input->metadata, "title");
    info.creationTime = tag(input->metadata, "creation_time");
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* s = input->streams[i];
        StreamInfo si;
        si.type = QString::fromUtf8(av_get_media_type_string(s->codecpar->codec_type));
        si.codec = QString::fromUtf8(avcodec_get_name(s->codecpar->codec_id));
        si.width = s->codecpar->width;
        si.height = s->codecpar->height;
        AVRational sar =
            s->sample_aspect_ratio.num ? s->sample_aspect_ratio : s->codecpar->sample_aspect_ratio;
        if (sar.num <= 0)
            sar = AVRational{1, 1};
        if (si.height > 0)
            si.displayAspect = double(si.width) * av_q2d(sar) / si.height;
        si.language = tag(s->metadata, "language");
        si.title = tag(s->metadata, "title");
        if (si.title.isEmpty() && QString::fromUtf8(input->iformat->name).startsWith("mov"))
            si.title = tag(s->metadata, "handler_name");
        si.disposition = s->disposition;
        si.fileName = tag(s->metadata, "filename");
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            const auto name = [](const char* text) { return QString::fromUtf8(text ? text : ""); };
            si.pixelFormat = name(av_get_pix_fmt_name(AVPixelFormat(s->codecpar->format)));
            si.primaries = name(av_color_primaries_name(s->codecpar->color_primaries));
            si.transfer = name(av_color_transfer_name(s->codecpar->color_trc));
            si.matrix = name(av_color_space_name(s->codecpar->color_space));
            si.range = name(av_color_range_name(s->codecpar->color_range));
            if (const auto* m = reinterpret_cast<const std::int32_t*>(
                    av_stream_get_side_data(s, AV_PKT_DATA_DISPLAYMATRIX, nullptr)))
                si.rotation = av_display_rotation_get(m);
            si.masteringDisplay =
                av_stream_get_side_data(s, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, nullptr);
            si.lightLevel = av_stream_get_side_data(s, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, nullptr);
        }
        si.sampleRate = s->codecpar->sample_rate;
        si.channels = s->codecpar->ch_layout.nb_channels;
        info.streams.append(si);
    }
    for (unsigned i = 0; i < input->nb_chapters; ++i) {
        const AVChapter* c = input->chapters[i];
        info.chapters.append({double(c->start) * av_q2d(c->time_base),
                              double(c->end) * av_q2d(c->time_base), tag(c->metadata, "title")});
    }
    return info;
}

QList<SubtitleLine> subtitleLines(const QString& path) {
    QList<SubtitleLine> lines;
    Input input = openInput(path);
    if (!input)
        return lines;
    AVFormatContext* raw = input.get();
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_SUBTITLE, -1, -1, nullptr, 0);
    const int video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0)
        return lines;
    const AVStream* picture = video >= 0 ? raw->streams[video] : nullptr;
    const double origin = picture && picture->start_time != AV_NOPTS_VALUE
                              ? double(picture->start_time) * av_q2d(picture->time_base)
                              : 0.0;
    const double base = av_q2d(raw->streams[index]->time_base);
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(raw, packet) >= 0) {
        if (packet->stream_index == index && packet->size > 2 && packet->pts != AV_NOPTS_VALUE)
            lines.append({double(packet->pts) * base - origin,
                          double(packet->pts + packet->duration) * base - origin});
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return lines;
}

double Picture::mean() const {
    double sum = 0;
    for (auto v : luma)
        sum += v;
    return luma.empty() ? 0 : sum / double(luma.size());
}

std::vector<Picture> decodePictures(const QString& path, int maxFrames) {
    std::vector<Picture> pictures;
    std::unique_ptr<SwsContext, SwsFree> sws;
    decodeAll(
        path, AVMEDIA_TYPE_VIDEO,
        [&](AVFrame* frame, double t) {
            sws.reset(sws_getCachedContext(sws.release(), frame->width, frame->height,
                                           AVPixelFormat(frame->format), 64, 48, AV_PIX_FMT_GRAY8,
                                           SWS_BILINEAR, nullptr, nullptr, nullptr));
            Picture p;
            p.time = t;
            p.luma.resize(64 * 48);
            uint8_t* dst[4] = {p.luma.data(), nullptr, nullptr, nullptr};
            int dstStride[4] = {64, 0, 0, 0};
            sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride);
            pictures.push_back(std::move(p));
        },
        maxFrames);
    return pictures;
}

double psnr(const Picture& a, const Picture& b) {
    double mse = 0;
    for (std::size_t i = 0; i < a.luma.size() && i < b.luma.size(); ++i) {
        const double d = double(a.luma[i]) - double(b.luma[i]);
        mse += d * d;
    }
    mse /= double(std::max<std::size_t>(1, a.luma.size()));
    return mse <= 1e-9 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

int barcode(const Picture& picture) {
    int index = 0;
    for (int bit = 0; bit < 16; ++bit) {
        const int x = 16 * (bit % 4) + 8, y = 12 * (bit / 4) + 6;
        if (picture.luma.size() == 64 * 48 && picture.luma[std::size_t(y * 64 + x)] > 128)
            index |= 1 << bit;
    }
    return index;
}

std::vector<int> barcodes(const QString& path) {
    std::vector<int> indexes;
    for (const Picture& p : decodePictures(path))
        indexes.push_back(barcode(p));
    return indexes;
}

double Sound::firstLoud(float level) const {
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (std::fabs(samples[i]) > level)
            return startTime + double(i) / sampleRate;
    return -1;
}

double Sound::rms() const {
    double sum = 0;
    for (float v : samples)
        sum += double(v) * v;
    return samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
}

Sound decodeSound(const QString& path) {
    Sound sound;
    std::unique_ptr<SwrContext, SwrFree> swr;
    bool first = true;
    decodeAll(path, AVMEDIA_TYPE_AUDIO, [&](AVFrame* frame, double t) {
        if (first) {
            first = false;
            sound.sampleRate = frame->sample_rate;
            sound.startTime = t;
            AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
            SwrContext* raw = nullptr;
            swr_alloc_set_opts2(&raw, &mono, AV_SAMPLE_FMT_FLT, frame->sample_rate,
                                &frame->ch_layout, AVSampleFormat(frame->format),
                                frame->sample_rate, 0, nullptr);
            swr.reset(raw);
            swr_init(raw);
        }
        std::vector<float> out(std::size_t(frame->nb_samples) + 64);
        uint8_t* dst = reinterpret_cast<uint8_t*>(out.data());
        const int n =
            swr_convert(swr.get(), &dst, int(out.size()),
                        const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        if (n > 0)
            sound.samples.insert(sound.samples.end(), out.begin(), out.begin() + n);
    });
    return sound;
}

} // namespace vorkast::test
