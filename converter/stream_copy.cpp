// Choosing and re-timing the packets of a copied stream.
#include "stream_copy.h"

#include "convert_error.h"
#include "source.h"
#include "timestamps.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vorkast {

namespace {

// MPEG-1/2 video: the coding type of the packet's first picture (1 I, 2 P, 3 B), or 0.
int mpegPictureType(const AVPacket* packet) {
    for (int i = 0; i + 5 < packet->size; ++i)
        if (packet->data[i] == 0 && packet->data[i + 1] == 0 && packet->data[i + 2] == 1 &&
            packet->data[i + 3] == 0)
            return (packet->data[i + 5] >> 3) & 7;
    return 0;
}

// MPEG-1/2 video: whether the packet's group of pictures says it needs nothing before it.
bool opensClosedGroup(const AVPacket* packet) {
    for (int i = 0; i + 7 < packet->size; ++i)
        if (packet->data[i] == 0 && packet->data[i + 1] == 0 && packet->data[i + 2] == 1 &&
            packet->data[i + 3] == 0xB8)
            return (packet->data[i + 7] >> 6) & 1;
    return false;
}

// Uncompressed sound: the bytes of one sample of every channel, or 0 for other codecs (and for
// PCM kinds with headers of their own, which cannot be split anywhere).
int pcmSampleBytes(const AVCodecParameters* par) {
    if (par->codec_id < AV_CODEC_ID_PCM_S16LE || par->codec_id >= AV_CODEC_ID_ADPCM_IMA_QT)
        return 0;
    const int bits = av_get_exact_bits_per_sample(par->codec_id);
    const int channels = par->ch_layout.nb_channels;
    if (bits <= 0 || bits % 8 != 0 || channels <= 0)
        return 0;
    const int bytes = bits / 8 * channels;
    return par->block_align <= 0 || par->block_align == bytes ? bytes : 0;
}

// Leaves out the samples of an uncompressed sound packet that lie before fromTs, so the sound
// starts where the clip does rather than up to a whole packet earlier.
void trimPcmHead(AVPacket* packet, const AVStream* in, std::int64_t fromTs) {
    const int sampleBytes = pcmSampleBytes(in->codecpar);
    const int rate = in->codecpar->sample_rate;
    if (sampleBytes == 0 || rate <= 0 || packet->pts == AV_NOPTS_VALUE || packet->pts >= fromTs)
        return;
    const std::int64_t samples = av_rescale_q(fromTs - packet->pts, in->time_base, {1, rate});
    const std::int64_t bytes = samples * sampleBytes;
    if (samples <= 0 || bytes >= packet->size)
        return;
    const std::int64_t skipped = av_rescale_q(samples, {1, rate}, in->time_base);
    packet->data += bytes;
    packet->size -= static_cast<int>(bytes);
    packet->pts += skipped;
    if (packet->dts != AV_NOPTS_VALUE)
        packet->dts += skipped;
    if (packet->duration > 0)
        packet->duration = std::max<std::int64_t>(0, packet->duration - skipped);
}

} // namespace

StreamCopier::StreamCopier(const AVStream* in, AVStream* out, double absStart, double absEnd,
                           double copyFrom)
    : m_in(in), m_out(out), m_type(in->codecpar->codec_type),
      m_startTs(secondsToTs(absStart, in->time_base)), m_endTs(secondsToTs(absEnd, in->time_base)),
      m_fromTs(secondsToTs(copyFrom, in->time_base)) {}

void StreamCopier::convertToAnnexB(AVFormatContext* output) {
    const AVCodecParameters* par = m_in->codecpar;
    const char* name = par->codec_id == AV_CODEC_ID_H264   ? "h264_mp4toannexb"
                       : par->codec_id == AV_CODEC_ID_HEVC ? "hevc_mp4toannexb"
                                                           : nullptr;
    const bool mp4Style = par->extradata_size > 0 && par->extradata[0] == 1;
    if (!name || !mp4Style || (output->oformat->flags & AVFMT_GLOBALHEADER))
        return;
    const std::string failure = "cannot prepare the copied video for this container";
    AVBSFContext* raw = nullptr;
    check(av_bsf_alloc(av_bsf_get_by_name(name), &raw), failure);
    m_bsf.reset(raw);
    check(avcodec_parameters_copy(raw->par_in, par), failure);
    raw->time_base_in = m_in->time_base;
    check(av_bsf_init(raw), failure);
    check(avcodec_parameters_copy(m_out->codecpar, raw->par_out), failure);
    m_out->codecpar->codec_tag = 0;
}

void StreamCopier::accept(AVPacket* packet, const Writer& write) {
    if (m_type == AVMEDIA_TYPE_VIDEO && endsVideo(packet, write))
        return;
    const std::int64_t showTs = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    const std::int64_t duration = packet->duration;
    const bool wasStarted = m_started;
    if (!take(packet))
        return;
    if (m_type == AVMEDIA_TYPE_VIDEO && !keepsAfterStart(packet, wasStarted))
        return;
    if (m_type != AVMEDIA_TYPE_VIDEO || m_endTs == INT64_MAX) {
        out(packet, write);
        return;
    }
    writeHeld(write);
    av_packet_move_ref(m_held.get(), packet);
    m_holding = true;
    m_heldShowTs = showTs;
    m_heldDuration = duration;
    if (showTs != AV_NOPTS_VALUE)
        m_latestShowTs = std::max(m_latestShowTs, showTs);
}

bool StreamCopier::keepsAfterStart(const AVPacket* packet, bool wasStarted) {
    const AVCodecID codec = m_in->codecpar->codec_id;
    if (codec != AV_CODEC_ID_MPEG2VIDEO && codec != AV_CODEC_ID_MPEG1VIDEO)
        return true;
    // The B-pictures that follow the first keyframe of an open group are shown before it and
    // predicted from the group before, which the clip does not hold: a decoder could only
    // guess them. They lie before the clip's start anyway.
    if (!wasStarted) {
        m_leadingPictures = !opensClosedGroup(packet);
        return true;
    }
    if (!m_leadingPictures)
        return true;
    if (mpegPictureType(packet) == 3)
        return false;
    m_leadingPictures = false;
    return true;
}

bool StreamCopier::endsVideo(const AVPacket* packet, const Writer& write) {
    if (m_finished)
        return true;
    const std::int64_t showTs = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (showTs == AV_NOPTS_VALUE || showTs <= m_endTs || !m_started)
        return false;
    m_finished = true;
    // The held picture is the one on screen at the end when no later one was taken: it opens
    // the next section, unless it is all this clip has. Held back at the end of decode order,
    // nothing kept refers to it.
    if (m_holding && (m_heldShowTs != m_latestShowTs || !m_wroteVideo))
        writeHeld(write);
    m_holding = false;
    av_packet_unref(m_held.get());
    return true;
}

void StreamCopier::finish(const Writer& write) {
    if (!m_holding)
        return;
    // The source ended: its last picture stays unless it is still on screen at the end.
    const bool shownAtEnd = m_heldShowTs != AV_NOPTS_VALUE &&
                            m_heldShowTs + std::max<std::int64_t>(m_heldDuration, 1) > m_endTs &&
                            m_heldShowTs == m_latestShowTs;
    if (!shownAtEnd || !m_wroteVideo)
        writeHeld(write);
    m_holding = false;
    av_packet_unref(m_held.get());
}

void StreamCopier::writeHeld(const Writer& write) {
    if (!m_holding)
        return;
    m_holding = false;
    m_wroteVideo = true;
    out(m_held.get(), write);
    av_packet_unref(m_held.get());
}

void StreamCopier::out(AVPacket* packet, const Writer& write) {
    if (!m_bsf) {
        write(packet);
        return;
    }
    if (av_bsf_send_packet(m_bsf.get(), packet) < 0)
        return; // a packet the filter cannot read is left out, as a decoder would skip it
    while (av_bsf_receive_packet(m_bsf.get(), packet) >= 0)
        write(packet);
}

bool StreamCopier::take(AVPacket* packet) {
    if (m_finished)
        return false;
    // Damage can leave a packet claiming to last for hours: that would be the clip's length.
    if (packet->duration < 0 || seconds(packet->duration, m_in->time_base) > 10)
        packet->duration = 0;
    const std::int64_t decodeTs = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    std::int64_t showTs = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    // Decode order decides the end, so no frame that an earlier one refers to is cut away.
    if (m_type != AVMEDIA_TYPE_VIDEO && decodeTs != AV_NOPTS_VALUE && decodeTs >= m_endTs) {
        if (holdsClipOpen())
            m_finished = true;
        return false;
    }
    if (!m_started) {
        if (m_type == AVMEDIA_TYPE_VIDEO && !(packet->flags & AV_PKT_FLAG_KEY))
            return false;
        if (m_type != AVMEDIA_TYPE_VIDEO && showTs != AV_NOPTS_VALUE &&
            showTs + std::max<std::int64_t>(packet->duration, 0) <= m_fromTs)
            return false;
        if (showTs == AV_NOPTS_VALUE && m_type != AVMEDIA_TYPE_VIDEO)
            return false;
        if (m_type == AVMEDIA_TYPE_AUDIO && packet->pts != AV_NOPTS_VALUE) {
            trimPcmHead(packet, m_in, m_fromTs);
            showTs = packet->pts;
        }
        m_started = true;
    }
    if (showTs != AV_NOPTS_VALUE) {
        const std::int64_t end = showTs + std::max<std::int64_t>(packet->duration, 0);
        const double done = static_cast<double>(end - m_startTs) * av_q2d(m_in->time_base);
        if (done > m_progress)
            m_progress = done;
    }
    if (packet->pts != AV_NOPTS_VALUE)
        packet->pts -= m_startTs;
    if (packet->dts != AV_NOPTS_VALUE)
        packet->dts -= m_startTs;
    av_packet_rescale_ts(packet, m_in->time_base, m_out->time_base);
    // A damaged source can hand out times that run backwards; the muxer refuses those, so such
    // packets are left out as a decoder would skip them.
    if (packet->dts != AV_NOPTS_VALUE) {
        const bool strict = m_type != AVMEDIA_TYPE_SUBTITLE;
        if ((packet->pts != AV_NOPTS_VALUE && packet->pts < packet->dts) ||
            (m_lastDts != AV_NOPTS_VALUE &&
             (packet->dts < m_lastDts || (strict && packet->dts == m_lastDts))))
            return false;
        m_lastDts = packet->dts;
    }
    packet->stream_index = m_out->index;
    packet->pos = -1;
    return true;
}

} // namespace vorkast
