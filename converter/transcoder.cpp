// What video and audio transcoding share: decoder, encoder, filter drain and packet output.
#include "transcoder.h"

#include "bitstream_filter.h"
#include "clip_writer.h"
#include "convert_error.h"

extern "C" {
#include <libavutil/pixdesc.h>
}
#include "filter_library.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace vorkast {

const AVCodec* chooseEncoder(const std::string& name, const AVOutputFormat* format,
                             AVMediaType type) {
    if (!name.empty())
        return avcodec_find_encoder_by_name(name.c_str()); // checked when the options were read
    const AVCodecID id = av_guess_codec(format, nullptr, nullptr, nullptr, type);
    if (id == AV_CODEC_ID_NONE)
        return nullptr;
    const AVCodec* codec = avcodec_find_encoder(id);
    if (!codec)
        throw ConvertError(std::string("this build has no encoder for the container's ") +
                           (type == AVMEDIA_TYPE_VIDEO ? "video" : "audio") + " codec " +
                           avcodec_get_name(id));
    return codec;
}

Transcoder::Transcoder(const AVStream* in, const Section& section) : m_in(in), m_section(section) {}

void Transcoder::openDecoder(int threads) {
    const char* kind = m_in->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? "video" : "audio";
    const AVCodec* codec = avcodec_find_decoder(m_in->codecpar->codec_id);
    if (!codec)
        throw ConvertError(std::string("the libraries cannot decode the source's ") + kind + " (" +
                           avcodec_get_name(m_in->codecpar->codec_id) + ")");
    m_decoder.reset(avcodec_alloc_context3(codec));
    if (!m_decoder)
        throw std::bad_alloc();
    check(avcodec_parameters_to_context(m_decoder.get(), m_in->codecpar),
          "cannot set up the decoder");
    m_decoder->pkt_timebase = m_in->time_base;
    m_decoder->thread_count = threads;
    check(avcodec_open2(m_decoder.get(), codec, nullptr),
          std::string("cannot open the ") + kind + " decoder");
}

void Transcoder::openEncoder(const AVCodec* codec, AVDictionary** settings,
                             const std::string& settingsOwner) {
    std::string asked; // what was asked of the encoder, to name in a failure
    for (const AVDictionaryEntry* e = nullptr;
         (e = av_dict_get(*settings, "", e, AV_DICT_IGNORE_SUFFIX));)
        asked += std::string(asked.empty() ? "" : ", ") + "-" + e->key + " " + e->value;
    const int err = avcodec_open2(m_encoder.get(), codec, settings);
    if (err < 0) {
        const AVCodecContext* enc = m_encoder.get();
        std::string what;
        if (enc->codec_type == AVMEDIA_TYPE_VIDEO) {
            const char* format = av_get_pix_fmt_name(enc->pix_fmt);
            what = std::to_string(enc->width) + "x" + std::to_string(enc->height) +
                   " pictures in " + (format ? format : "?");
        } else {
            what = std::to_string(enc->sample_rate) + " Hz, " +
                   std::to_string(enc->ch_layout.nb_channels) + " channels";
        }
        if (!asked.empty())
            what += ", " + asked;
        throw ConvertError(std::string("the encoder ") + codec->name +
                           " refuses what it was given (" + what + "): " + avErrorText(err));
    }
    if (const AVDictionaryEntry* left = av_dict_get(*settings, "", nullptr, AV_DICT_IGNORE_SUFFIX))
        throw ConvertError("the encoder " + std::string(codec->name) + " has no setting -" +
                           left->key + " (given by " + settingsOwner + ")");
}

void Transcoder::createOutputStream(AVFormatContext* output, bool bitexact) {
    m_out = avformat_new_stream(output, nullptr);
    if (!m_out)
        throw std::bad_alloc();
    check(avcodec_parameters_from_context(m_out->codecpar, m_encoder.get()),
          "cannot describe the clip's stream");
    m_out->time_base = m_encoder->time_base;
    keepStreamProperties(m_in, m_out, false);
    av_dict_set(&m_out->metadata, "encoder", nullptr, 0); // names the source's encoder, not ours
    const AVCodecID id = m_encoder->codec_id;
    if (bitexact && (id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC)) {
        // x264 and x265 write their version and settings into an SEI message of the first
        // picture; reproducible output leaves SEI messages out.
        const char* failure = "cannot prepare reproducible output";
        m_strip =
            openBitstreamFilter("filter_units", m_out->codecpar, m_encoder->time_base, failure,
                                {{"remove_types", id == AV_CODEC_ID_H264 ? "6" : "39|40"}});
        check(avcodec_parameters_copy(m_out->codecpar, m_strip->par_out), failure);
    }
}

void Transcoder::decode(const AVPacket* packet, const Writer& write) {
    if (m_closed)
        return;
    if (packet)
        notePacket(packet);
    // A damaged packet is skipped; the clip keeps what decodes.
    if (avcodec_send_packet(m_decoder.get(), packet) < 0 && packet)
        return;
    while (!m_closed && avcodec_receive_frame(m_decoder.get(), m_decoded.get()) >= 0) {
        takeFrame(m_decoded.get(), write);
        av_frame_unref(m_decoded.get());
    }
}

void Transcoder::finish(const Writer& write) {
    if (m_closed)
        return;
    decode(nullptr, write);
    if (m_closed)
        return;
    flushHeld(write);
    close(endOfFed(), write);
}

void Transcoder::push(AVFrame* frame, const Writer& write) {
    // The filters take over the frame's data rather than a new reference to it: no caller
    // looks at a frame again once pushed, and this runs for every frame.
    check(filters().av_buffersrc_add_frame_flags(m_filters.source, frame, 0),
          "cannot pass a decoded frame to the filters");
    drainFilters(write);
}

void Transcoder::close(std::int64_t pts, const Writer& write) {
    if (m_closed)
        return;
    m_closed = true;
    check(filters().av_buffersrc_close(m_filters.source, pts, AV_BUFFERSRC_FLAG_PUSH),
          "cannot close the filters");
    drainFilters(write);
    encode(nullptr, write);
}

void Transcoder::drainFilters(const Writer& write) {
    const AVRational sinkBase = filters().av_buffersink_get_time_base(m_filters.sink);
    while (filters().av_buffersink_get_frame(m_filters.sink, m_filtered.get()) >= 0) {
        m_filtered->pts = av_rescale_q(m_filtered->pts, sinkBase, m_encoder->time_base);
        m_filtered->pict_type = AV_PICTURE_TYPE_NONE;
        encode(m_filtered.get(), write);
        av_frame_unref(m_filtered.get());
    }
}

void Transcoder::emit(AVPacket* packet, const Writer& write) {
    auto out = [&](AVPacket* p) {
        av_packet_rescale_ts(p, m_encoder->time_base, m_out->time_base);
        // Encoders follow the times they are given; a packet that would still step back after
        // the filters' mending is left out rather than failing the clip in the muxer.
        if (p->dts != AV_NOPTS_VALUE) {
            if (m_lastDts != AV_NOPTS_VALUE && p->dts <= m_lastDts)
                return;
            m_lastDts = p->dts;
        }
        p->stream_index = m_out->index;
        write(p);
    };
    if (!m_strip) {
        out(packet);
        return;
    }
    check(av_bsf_send_packet(m_strip.get(), packet), "cannot prepare reproducible output");
    while (av_bsf_receive_packet(m_strip.get(), packet) >= 0) {
        out(packet);
        av_packet_unref(packet);
    }
}

void Transcoder::encode(AVFrame* frame, const Writer& write) {
    if (frame) {
        // Up to the end of the frame: a video frame lasts one tick of the constant rate.
        const std::int64_t length =
            m_encoder->codec_type == AVMEDIA_TYPE_AUDIO ? frame->nb_samples : 1;
        const double end = static_cast<double>(frame->pts + length) * av_q2d(m_encoder->time_base);
        if (end > m_progress)
            m_progress = end;
    }
    // Runs for every frame: the message is put together only when there is a failure to name.
    const auto checkEncoder = [this](int err) {
        if (err < 0)
            check(err, std::string("the encoder ") + m_encoder->codec->name + " failed");
    };
    checkEncoder(avcodec_send_frame(m_encoder.get(), frame));
    for (;;) {
        const int err = avcodec_receive_packet(m_encoder.get(), m_encoded.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return;
        checkEncoder(err);
        emit(m_encoded.get(), write);
        av_packet_unref(m_encoded.get());
    }
}

} // namespace vorkast
