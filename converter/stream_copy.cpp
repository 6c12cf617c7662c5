// Choosing and re-timing the packets of a copied stream.
#include "stream_copy.h"

#include "subtitle_convert.h"

#include "convert_error.h"
#include "packed_pictures.h"
#include "source.h"
#include "timestamps.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

// MPEG-1/2 video: whether the packet's picture is an I- or P-picture, which later ones refer to.
bool isMpegReference(const AVPacket* packet) {
    const int type = mpegPictureType(packet);
    return type == 1 || type == 2;
}

// MPEG-4 Visual: whether the packet's first picture is one that later ones refer to (I, P or
// S). The few bytes of an empty picture that stand in for a B-frame packed into an earlier
// packet are not.
bool isMpeg4Reference(const AVPacket* packet) {
    if (packet->size <= 7)
        return false;
    const int type = mpeg4PictureType(packet);
    return type >= 0 && type != 2;
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
      m_mpegVideo(in->codecpar->codec_id == AV_CODEC_ID_MPEG2VIDEO ||
                  in->codecpar->codec_id == AV_CODEC_ID_MPEG1VIDEO),
      m_startTs(secondsToTs(absStart, in->time_base)), m_endTs(secondsToTs(absEnd, in->time_base)),
      m_fromTs(secondsToTs(copyFrom, in->time_base)),
      // A frame starting within a rounding error of the end is on screen at the end; the end
      // is not rounded up into a coarse time base (1/25 s in AVI).
      m_lastShownTs(
          std::isfinite(absEnd)
              ? secondsToTs(std::floor((absEnd + 1e-4) / av_q2d(in->time_base)), AVRational{1, 1})
              : INT64_MAX) {
    const AVRational rate = in->avg_frame_rate.num > 0 && in->avg_frame_rate.den > 0
                                ? in->avg_frame_rate
                                : in->r_frame_rate;
    m_frameTs = rate.num > 0 && rate.den > 0
                    ? std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), in->time_base))
                    : 1;
}

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

void StreamCopier::unpackPictures(const AVFormatContext* input, const AVFormatContext* output) {
    const AVCodecParameters* par = m_in->codecpar;
    if (par->codec_id != AV_CODEC_ID_MPEG4 || par->video_delay <= 0 ||
        std::strcmp(input->iformat->name, "avi") != 0 ||
        std::strcmp(output->oformat->name, "avi") == 0)
        return;
    const std::string failure = "cannot prepare the copied video for this container";
    AVBSFContext* raw = nullptr;
    check(av_bsf_alloc(av_bsf_get_by_name("mpeg4_unpack_bframes"), &raw), failure);
    m_unpack.reset(raw);
    check(avcodec_parameters_copy(raw->par_in, par), failure);
    raw->time_base_in = m_in->time_base;
    check(av_bsf_init(raw), failure);
    m_packed = std::make_unique<PackedPictures>(par);
}

void StreamCopier::accept(AVPacket* packet, const Writer& write) {
    if (m_packed) {
        acceptPacked(packet, write);
        return;
    }
    if (holdUndated(packet, write))
        return;
    acceptTimed(packet, write);
}

// Left without a decode time, a picture would get one the muxer makes up from its display time
// alone, which can lie after the decode time of the pictures that follow it (B-pyramids): the
// muxer then refuses them. The decode times before the next one known are one frame apart, as
// the reader would have given them.
// Matroska cannot store times below zero: a reader gives the pictures of a file that starts
// there no time at all. They are shown in the order they are decoded, before the first picture
// with a time. (MPEG-1/2 pictures without times are shown as the next reference is decoded.)
bool StreamCopier::holdUndated(AVPacket* packet, const Writer& write) {
    if (m_type != AVMEDIA_TYPE_VIDEO)
        return false;
    if (packet->dts != AV_NOPTS_VALUE) {
        dateUndated(packet->dts, write);
        m_lastSourceDts = packet->dts;
        return false;
    }
    if (packet->pts == AV_NOPTS_VALUE && m_mpegVideo)
        return false;
    // Far more than any reorder delay: a stream that never states a decode time goes on as it
    // is.
    constexpr std::size_t kMostUndated = 64;
    if (m_undated.size() >= kMostUndated) {
        for (PacketPtr& p : m_undated)
            acceptTimed(p.get(), write);
        m_undated.clear();
    }
    m_undated.push_back(makePacket());
    av_packet_move_ref(m_undated.back().get(), packet);
    return true;
}

// nextDts: the decode time of the packet after them; unknown once the source has ended.
void StreamCopier::dateUndated(std::int64_t nextDts, const Writer& write) {
    if (m_undated.empty())
        return;
    const auto step = [&](const AVPacket* p) { return p->duration > 0 ? p->duration : m_frameTs; };
    if (nextDts != AV_NOPTS_VALUE) {
        std::int64_t after = nextDts;
        for (auto it = m_undated.rbegin(); it != m_undated.rend(); ++it) {
            AVPacket* p = it->get();
            p->dts = after - step(p);
            if (p->pts == AV_NOPTS_VALUE)
                p->pts = p->dts;
            p->dts = std::min(p->pts, p->dts);
            after = p->dts;
        }
    } else if (m_lastSourceDts != AV_NOPTS_VALUE) {
        // The source ended: each one a frame after the last decode time known.
        std::int64_t before = m_lastSourceDts;
        for (PacketPtr& p : m_undated) {
            p->dts = before + step(p.get());
            if (p->pts == AV_NOPTS_VALUE)
                p->pts = p->dts;
            p->dts = std::min(p->pts, p->dts);
            before = p->dts;
        }
    }
    std::deque<PacketPtr> undated;
    undated.swap(m_undated);
    for (PacketPtr& p : undated)
        acceptTimed(p.get(), write);
}

void StreamCopier::acceptPacked(AVPacket* packet, const Writer& write) {
    for (PacketPtr& single : m_packed->split(packet)) {
        if (av_bsf_send_packet(m_unpack.get(), single.get()) < 0)
            continue; // a packet the filter cannot read is left out, as a decoder skips it
        passUnpacked(write);
    }
    av_packet_unref(packet);
}

// The pictures taken apart are in decode order with the times AVI gives, one a frame. A
// B-frame is shown as it is decoded; a picture that others refer to is shown when the next
// such picture is decoded, so it waits for that one with the B-frames decoded after it.
void StreamCopier::passUnpacked(const Writer& write) {
    for (;;) {
        PacketPtr packet = makePacket();
        if (av_bsf_receive_packet(m_unpack.get(), packet.get()) < 0)
            return;
        const std::int64_t decodeTs = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (decodeTs == AV_NOPTS_VALUE ||
            (m_lastUnpackedDts != AV_NOPTS_VALUE && decodeTs <= m_lastUnpackedDts))
            continue; // no place in the order: left out, as a decoder skips it
        m_lastUnpackedDts = decodeTs;
        packet->dts = decodeTs;
        const bool reference = isMpeg4Reference(packet.get());
        if (reference && mpeg4PictureType(packet.get()) == 0)
            packet->flags |= AV_PKT_FLAG_KEY;
        else
            packet->flags &= ~AV_PKT_FLAG_KEY;
        if (!reference) {
            packet->pts = decodeTs;
            if (m_unshown)
                m_afterUnshown.push_back(std::move(packet));
            else
                acceptTimed(packet.get(), write);
            continue;
        }
        if (m_unshown) {
            m_unshown->pts = decodeTs;
            releaseUnshown(write);
        }
        packet->pts = AV_NOPTS_VALUE;
        m_unshown = std::move(packet);
    }
}

void StreamCopier::releaseUnshown(const Writer& write) {
    if (!m_unshown)
        return;
    const bool wasStarted = m_started;
    acceptTimed(m_unshown.get(), write);
    m_unshown.reset();
    // B-frames right after the clip's first keyframe are shown before it and refer to the
    // picture before it, which the clip does not hold.
    const bool leading = !wasStarted && m_started;
    for (PacketPtr& picture : m_afterUnshown)
        if (!leading)
            acceptTimed(picture.get(), write);
    m_afterUnshown.clear();
}

void StreamCopier::acceptTimed(AVPacket* packet, const Writer& write) {
    if (m_type == AVMEDIA_TYPE_VIDEO && m_endTs != INT64_MAX) {
        acceptVideo(packet, write);
        return;
    }
    const bool wasStarted = m_started;
    if (!take(packet))
        return;
    if (m_type == AVMEDIA_TYPE_VIDEO && !keepsAfterStart(packet, wasStarted))
        return;
    out(packet, write);
}

void StreamCopier::acceptVideo(AVPacket* packet, const Writer& write) {
    if (m_finished)
        return;
    const AVCodecID codec = m_in->codecpar->codec_id;
    const int delay = m_in->codecpar->video_delay;
    // MPEG-4 Visual with B-frames shows its I- and P-pictures as MPEG-1/2 does.
    const bool reference = codec == AV_CODEC_ID_MPEG4 ? delay > 0 && isMpeg4Reference(packet)
                                                      : m_mpegVideo && isMpegReference(packet);
    const bool shownLater = reference && packet->pts == AV_NOPTS_VALUE;
    const std::int64_t decodeTs = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    std::int64_t showTs = shownLater                      ? AV_NOPTS_VALUE
                          : packet->pts != AV_NOPTS_VALUE ? packet->pts
                                                          : packet->dts;
    // Containers without display times (AVI) stamp the decode order: with B-frames a decoder
    // shows each picture as many frames later as it holds pictures back, and one more.
    if (packet->pts == AV_NOPTS_VALUE && !m_mpegVideo && codec != AV_CODEC_ID_MPEG4 && delay > 0 &&
        showTs != AV_NOPTS_VALUE)
        showTs += (delay + 1) * m_frameTs;
    const std::int64_t duration =
        packet->duration > 0 && seconds(packet->duration, m_in->time_base) <= 10 ? packet->duration
                                                                                 : m_frameTs;
    if (m_started) {
        if (reference && !m_waiting.empty() && decodeTs != AV_NOPTS_VALUE) {
            settleWaiting(decodeTs, write);
            if (m_finished)
                return;
        }
        if (showTs != AV_NOPTS_VALUE && pastEnd(showTs, duration)) {
            endVideo(write);
            return;
        }
    }
    const bool wasStarted = m_started;
    if (!take(packet) || !keepsAfterStart(packet, wasStarted))
        return;
    if (!wasStarted && showTs != AV_NOPTS_VALUE && pastEnd(showTs, duration)) {
        // The first keyframe is on screen at the end already: it is all the clip has.
        out(packet, write);
        m_wroteVideo = true;
        m_finished = true;
        return;
    }
    if (shownLater && decodeTs != AV_NOPTS_VALUE) {
        m_waiting.push_back(makePacket());
        av_packet_move_ref(m_waiting.back().get(), packet);
        m_waitingDts = decodeTs;
        m_waitingDuration = duration;
        m_waitingLatestShown = AV_NOPTS_VALUE;
        return;
    }
    if (!m_waiting.empty()) {
        m_waiting.push_back(makePacket());
        av_packet_move_ref(m_waiting.back().get(), packet);
        if (showTs != AV_NOPTS_VALUE &&
            (m_waitingLatestShown == AV_NOPTS_VALUE || showTs > m_waitingLatestShown))
            m_waitingLatestShown = showTs;
        return;
    }
    out(packet, write);
    m_wroteVideo = true;
}

bool StreamCopier::pastEnd(std::int64_t showTs, std::int64_t duration) const {
    // The next frame starts at or before the end when this one ends by then: this one is not
    // the frame on screen at the end. A frame that is on screen at the start stays, also when a
    // clip shorter than a frame has it on screen at the end as well.
    return m_lastShownTs != INT64_MAX && showTs > m_lastShownTs - duration && showTs > m_startTs;
}

void StreamCopier::settleWaiting(std::int64_t showTs, const Writer& write) {
    if (pastEnd(showTs, m_waitingDuration)) {
        endVideo(write);
        return;
    }
    flushWaiting(write);
}

void StreamCopier::flushWaiting(const Writer& write) {
    if (m_waiting.empty())
        return;
    for (PacketPtr& waiting : m_waiting)
        out(waiting.get(), write);
    m_waiting.clear();
    m_wroteVideo = true;
}

void StreamCopier::endVideo(const Writer& write) {
    m_finished = true;
    // The pictures left out before the end refer to one past it: the source did not end early,
    // the clip covers its section as far as a copy can.
    m_progress = std::max(m_progress, seconds(m_endTs - m_startTs, m_in->time_base));
    if (!m_wroteVideo && !m_waiting.empty()) {
        out(m_waiting.front().get(), write);
        m_wroteVideo = true;
    }
    m_waiting.clear();
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

void StreamCopier::finish(const Writer& write) {
    dateUndated(AV_NOPTS_VALUE, write);
    if (m_packed) {
        av_bsf_send_packet(m_unpack.get(), nullptr);
        passUnpacked(write);
        if (m_unshown) // the last picture: shown a frame after it is decoded
            m_unshown->pts = m_lastUnpackedDts + m_frameTs;
        releaseUnshown(write);
    }
    if (m_waiting.empty())
        return;
    // The source ended: the waiting picture is shown after the B-pictures that follow it, or
    // one frame after it is decoded when none does.
    const std::int64_t showTs = m_waitingLatestShown != AV_NOPTS_VALUE
                                    ? m_waitingLatestShown + m_frameTs
                                    : m_waitingDts + m_frameTs;
    settleWaiting(showTs, write);
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
    if (m_type == AVMEDIA_TYPE_SUBTITLE && showTs != AV_NOPTS_VALUE && showTs < m_fromTs &&
        isTextSubtitle(m_in->codecpar->codec_id)) {
        // A line shown across the clip's first picture keeps the part from there on. Left
        // before it, a container that stores no times before zero (Matroska) moves every
        // stream later by as much, the picture too.
        if (packet->duration > 0)
            packet->duration = std::max<std::int64_t>(1, packet->duration - (m_fromTs - showTs));
        packet->pts = m_fromTs;
        packet->dts = m_fromTs;
        showTs = m_fromTs;
    }
    // A line shown across the end keeps the part before it, so it does not make the clip longer.
    if (m_type == AVMEDIA_TYPE_SUBTITLE && showTs != AV_NOPTS_VALUE && m_endTs != INT64_MAX &&
        packet->duration > 0 && showTs + packet->duration > m_endTs &&
        isTextSubtitle(m_in->codecpar->codec_id))
        packet->duration = std::max<std::int64_t>(1, m_endTs - showTs);
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
