// Text subtitles decoded to their lines and encoded again in the container's text codec.
#include "subtitle_convert.h"

#include "clip_writer.h"
#include "convert_error.h"
#include "timestamps.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace vorkast {

namespace {

// A decoded subtitle owns memory of its own.
struct DecodedSubtitle {
    AVSubtitle sub{};
    ~DecodedSubtitle() { avsubtitle_free(&sub); }
};

std::int64_t usOrLimit(double seconds) {
    const std::int64_t ts = secondsToTs(seconds, AV_TIME_BASE_Q);
    return std::clamp<std::int64_t>(ts, std::numeric_limits<std::int64_t>::min() / 4,
                                    std::numeric_limits<std::int64_t>::max() / 4);
}

} // namespace

bool isTextSubtitle(AVCodecID id) {
    const AVCodecDescriptor* desc = avcodec_descriptor_get(id);
    return desc && (desc->props & AV_CODEC_PROP_TEXT_SUB);
}

AVCodecID containerTextSubtitles(const AVOutputFormat* format) {
    if (format->subtitle_codec != AV_CODEC_ID_NONE && isTextSubtitle(format->subtitle_codec))
        return format->subtitle_codec;
    // MP4 and MOV name no subtitle codec of their own, but store mov_text.
    if (avformat_query_codec(format, AV_CODEC_ID_MOV_TEXT, FF_COMPLIANCE_NORMAL) == 1)
        return AV_CODEC_ID_MOV_TEXT;
    return AV_CODEC_ID_NONE;
}

void LinesAcrossStart::want(const AVStream* stream, double absFrom) {
    if (!isTextSubtitle(stream->codecpar->codec_id) || !std::isfinite(absFrom))
        return;
    m_wanted.push_back(Wanted{stream->index, stream->codecpar->codec_id, stream->time_base,
                              secondsToTs(absFrom, stream->time_base)});
}

const LinesAcrossStart::Wanted* LinesAcrossStart::wanted(int index) const {
    for (const Wanted& w : m_wanted)
        if (w.index == index)
            return &w;
    return nullptr;
}

bool LinesAcrossStart::repeats(const AVPacket* packet) const {
    const Wanted* w = wanted(packet->stream_index);
    return w && packet->pts != AV_NOPTS_VALUE && packet->pts < w->fromTs;
}

void LinesAcrossStart::read(const std::string& path, const AVIOInterruptCB& interrupt,
                            const std::function<void()>& onRead) {
    if (m_wanted.empty())
        return;
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw std::bad_alloc();
    raw->interrupt_callback = interrupt;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return;
    InputContextPtr ctx(raw);
    // Streams found only while reading may come in another order than the clip's reading saw.
    if (raw->ctx_flags & AVFMTCTX_NOHEADER)
        return;
    double earliest = std::numeric_limits<double>::infinity();
    double latest = -earliest;
    for (const Wanted& w : m_wanted) {
        if (w.index >= static_cast<int>(raw->nb_streams) ||
            raw->streams[w.index]->codecpar->codec_id != w.codec)
            return;
        const double from = static_cast<double>(w.fromTs) * av_q2d(w.timeBase);
        earliest = std::min(earliest, from);
        latest = std::max(latest, from);
    }
    const std::int64_t target = secondsToTs(earliest - kLookBack, AV_TIME_BASE_Q);
    if (avformat_seek_file(raw, -1, INT64_MIN, target, target, 0) < 0 &&
        av_seek_frame(raw, -1, target, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(raw, -1, 0, AVSEEK_FLAG_BYTE);
    // The lines are stored where they start, so past the latest start by more than any
    // interleaving spreads the streams apart there is none left to find.
    constexpr double kPastLatest = 2.0;
    constexpr int kMostPackets = 200000;
    PacketPtr packet = makePacket();
    for (int budget = kMostPackets; budget > 0 && av_read_frame(raw, packet.get()) >= 0; --budget) {
        onRead();
        const AVStream* stream = raw->streams[packet->stream_index];
        const std::int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        const Wanted* w = wanted(packet->stream_index);
        if (w && packet->pts != AV_NOPTS_VALUE && packet->pts < w->fromTs &&
            packet->pts + std::max<std::int64_t>(packet->duration, 0) > w->fromTs) {
            PacketPtr line = makePacket();
            av_packet_move_ref(line.get(), packet.get());
            m_lines.push_back(std::move(line));
            continue;
        }
        const bool past =
            at != AV_NOPTS_VALUE &&
            static_cast<double>(at) * av_q2d(stream->time_base) > latest + kPastLatest;
        av_packet_unref(packet.get());
        if (past)
            break;
    }
}

std::unique_ptr<SubtitleConverter> SubtitleConverter::create(const AVStream* in,
                                                             AVFormatContext* output,
                                                             double absStart, double absEnd) {
    const AVCodecID target = containerTextSubtitles(output->oformat);
    if (!isTextSubtitle(in->codecpar->codec_id) || target == AV_CODEC_ID_NONE)
        return nullptr;
    const AVCodec* decoderCodec = avcodec_find_decoder(in->codecpar->codec_id);
    const AVCodec* encoderCodec = avcodec_find_encoder(target);
    if (!decoderCodec || !encoderCodec)
        return nullptr;

    CodecContextPtr decoder(avcodec_alloc_context3(decoderCodec));
    if (!decoder)
        throw std::bad_alloc();
    check(avcodec_parameters_to_context(decoder.get(), in->codecpar),
          "cannot set up the subtitle decoder");
    decoder->pkt_timebase = in->time_base;
    if (avcodec_open2(decoder.get(), decoderCodec, nullptr) < 0)
        return nullptr;

    CodecContextPtr encoder(avcodec_alloc_context3(encoderCodec));
    if (!encoder)
        throw std::bad_alloc();
    encoder->time_base = AVRational{1, 1000};
    // The styles the lines refer to, as the decoder describes them.
    if (decoder->subtitle_header && decoder->subtitle_header_size > 0) {
        encoder->subtitle_header =
            static_cast<std::uint8_t*>(av_mallocz(decoder->subtitle_header_size + 1));
        if (!encoder->subtitle_header)
            throw std::bad_alloc();
        std::memcpy(encoder->subtitle_header, decoder->subtitle_header,
                    decoder->subtitle_header_size);
        encoder->subtitle_header_size = decoder->subtitle_header_size;
    }
    if (output->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(encoder.get(), encoderCodec, nullptr) < 0)
        return nullptr;

    AVStream* out = avformat_new_stream(output, nullptr);
    if (!out)
        throw std::bad_alloc();
    check(avcodec_parameters_from_context(out->codecpar, encoder.get()),
          "cannot describe the clip's subtitles");
    out->time_base = encoder->time_base;
    keepStreamProperties(in, out, false);
    return std::unique_ptr<SubtitleConverter>(
        new SubtitleConverter(in, std::move(decoder), std::move(encoder), out, absStart, absEnd));
}

SubtitleConverter::SubtitleConverter(const AVStream* in, CodecContextPtr decoder,
                                     CodecContextPtr encoder, AVStream* out, double absStart,
                                     double absEnd)
    : m_in(in), m_decoder(std::move(decoder)), m_encoder(std::move(encoder)), m_out(out),
      m_startUs(usOrLimit(absStart)), m_endUs(usOrLimit(absEnd)) {}

SubtitleConverter::~SubtitleConverter() = default;

void SubtitleConverter::accept(AVPacket* packet, const Writer& write) {
    DecodedSubtitle decoded;
    int got = 0;
    // A line the decoder cannot read is left out, as a player skips it.
    if (avcodec_decode_subtitle2(m_decoder.get(), &decoded.sub, &got,
                                 const_cast<AVPacket*>(packet)) < 0 ||
        !got || decoded.sub.num_rects == 0 || decoded.sub.pts == AV_NOPTS_VALUE)
        return;
    AVSubtitle& sub = decoded.sub;
    const std::int64_t ms = AV_TIME_BASE / 1000;
    std::int64_t from = sub.pts + std::int64_t(sub.start_display_time) * ms;
    std::int64_t to = sub.pts + std::int64_t(sub.end_display_time) * ms;
    if (sub.end_display_time <= sub.start_display_time && packet->duration > 0)
        to = from + av_rescale_q(packet->duration, m_in->time_base, AV_TIME_BASE_Q);
    // Lines shown before the section or from its end on are not the clip's; a line shown
    // across a cut keeps the part inside.
    if (to <= m_startUs || from >= m_endUs || to <= from)
        return;
    from = std::max(from, m_startUs);
    to = std::min(to, m_endUs);
    sub.pts = from;
    sub.start_display_time = 0;
    sub.end_display_time = static_cast<std::uint32_t>((to - from) / ms);

    std::vector<std::uint8_t> buffer(1 << 16);
    const int size = avcodec_encode_subtitle(m_encoder.get(), buffer.data(),
                                             static_cast<int>(buffer.size()), &sub);
    if (size <= 0)
        return;
    PacketPtr out = makePacket();
    check(av_new_packet(out.get(), size), "out of memory for subtitles");
    std::memcpy(out->data, buffer.data(), static_cast<std::size_t>(size));
    out->pts = av_rescale_q(from - m_startUs, AV_TIME_BASE_Q, m_out->time_base);
    // Lines overlapping one another keep their order for the muxer.
    if (m_lastPts != AV_NOPTS_VALUE && out->pts < m_lastPts)
        out->pts = m_lastPts;
    m_lastPts = out->pts;
    out->dts = out->pts;
    out->duration = av_rescale_q(to - from, AV_TIME_BASE_Q, m_out->time_base);
    out->stream_index = m_out->index;
    write(out.get());
}

} // namespace vorkast
