// Choosing and re-timing the packets of a copied stream.
#include "stream_copy.h"

#include "subtitle_convert.h"

#include "bitstream_filter.h"
#include "codec_traits.h"
#include "convert_error.h"
#include "display_times.h"
#include "frame_duration.h"
#include "packed_pictures.h"
#include "source.h"
#include "timestamps.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vorkast {

namespace {

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
      m_family(m_type == AVMEDIA_TYPE_VIDEO ? codecFamily(in->codecpar->codec_id)
                                            : CodecFamily::Other),
      m_mpegVideo(m_family == CodecFamily::Mpeg12), m_startTs(secondsToTs(absStart, in->time_base)),
      m_endTs(secondsToTs(absEnd, in->time_base)), m_fromTs(secondsToTs(copyFrom, in->time_base)),
      // A frame starting within a rounding error of the end is on screen at the end; the end
      // is not rounded up into a coarse time base (1/25 s in AVI).
      m_lastShownTs(
          std::isfinite(absEnd)
              ? secondsToTs(std::floor((absEnd + 1e-4) / av_q2d(in->time_base)), AVRational{1, 1})
              : INT64_MAX),
      m_unpackedTimes(in->time_base), m_shownLater(in->time_base) {
    // Where the rate is unknown, packets without a duration last a tick.
    const MediaTime frame = frameDuration(in);
    m_frameTs = frame ? frame.ticks() : 1;
}

void StreamCopier::convertToAnnexB(AVFormatContext* output) {
    const AVCodecParameters* par = m_in->codecpar;
    const char* name = par->codec_id == AV_CODEC_ID_H264   ? "h264_mp4toannexb"
                       : par->codec_id == AV_CODEC_ID_HEVC ? "hevc_mp4toannexb"
                                                           : nullptr;
    const bool mp4Style = par->extradata_size > 0 && par->extradata[0] == 1;
    if (!name || !mp4Style || (output->oformat->flags & AVFMT_GLOBALHEADER))
        return;
    const char* failure = "cannot prepare the copied video for this container";
    m_bsf = openBitstreamFilter(name, par, m_in->time_base, failure);
    check(avcodec_parameters_copy(m_out->codecpar, m_bsf->par_out), failure);
    m_out->codecpar->codec_tag = 0;
}

void StreamCopier::unpackPictures(const AVFormatContext* input, const AVFormatContext* output) {
    if (!mayHoldPackedPictures(m_in, containerTraits(input->iformat)) ||
        containerTraits(output->oformat).packsBFrames)
        return;
    m_unpacker = std::make_unique<PictureUnpacker>(
        m_in, "cannot prepare the copied video for this container");
}

void StreamCopier::accept(AVPacket* packet, const Writer& write) {
    if (m_unpacker) {
        m_unpacker->take(packet, unpacked(write));
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

// The pictures taken apart are in decode order with the times AVI gives, one a frame: decode
// times. Each gets its display time by the reference rule.
PictureUnpacker::Take StreamCopier::unpacked(const Writer& write) {
    return [this, &write](PacketPtr packet) {
        const std::int64_t decodeTs = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (decodeTs == AV_NOPTS_VALUE ||
            (m_lastUnpackedDts != AV_NOPTS_VALUE && decodeTs <= m_lastUnpackedDts))
            return; // no place in the order: left out, as a decoder skips it
        m_lastUnpackedDts = decodeTs;
        packet->dts = decodeTs;
        packet->pts = AV_NOPTS_VALUE;
        const bool reference = timedByReferences(packet.get());
        if (reference && pictureType(m_family, packet.get()) == PictureType::I)
            packet->flags |= AV_PKT_FLAG_KEY;
        else
            packet->flags &= ~AV_PKT_FLAG_KEY;
        m_unpackedTimes.take(std::move(packet), reference, unpackedShown(write));
    };
}

HeldPictures::Pass StreamCopier::unpackedShown(const Writer& write) {
    return [this, &write](AVPacket* picture, std::int64_t shown, bool reference) {
        picture->pts = shown;
        passShown(picture, reference, write);
    };
}

void StreamCopier::passShown(AVPacket* picture, bool reference, const Writer& write) {
    // B-frames right after the clip's first keyframe are shown before it and refer to the
    // picture before it, which the clip does not hold.
    if (!reference) {
        if (!m_leadingB)
            acceptTimed(picture, write);
        return;
    }
    const bool wasStarted = m_started;
    acceptTimed(picture, write);
    m_leadingB = !wasStarted && m_started;
}

bool StreamCopier::timedByReferences(const AVPacket* packet) const {
    if (m_family == CodecFamily::Mpeg4Part2 &&
        (m_in->codecpar->video_delay <= 0 || isStandIn(m_family, packet)))
        return false;
    if (m_family != CodecFamily::Mpeg12 && m_family != CodecFamily::Mpeg4Part2)
        return false;
    return isReference(pictureType(m_family, packet));
}

void StreamCopier::acceptTimed(AVPacket* packet, const Writer& write) {
    if (m_type == AVMEDIA_TYPE_VIDEO && m_endTs != INT64_MAX) {
        if (m_finished)
            return;
        // Pictures without a display time wait for it: it decides where the video ends.
        m_shownLater.take(packet, timedByReferences(packet), endsVideo(write));
        return;
    }
    const bool wasStarted = m_started;
    if (!take(packet))
        return;
    if (m_type == AVMEDIA_TYPE_VIDEO && !keepsAfterStart(packet, wasStarted))
        return;
    out(packet, write);
}

HeldPictures::Pass StreamCopier::endsVideo(const Writer& write) {
    return [this, &write](AVPacket* picture, std::int64_t shown, bool) {
        acceptVideo(picture, shown, write);
    };
}

void StreamCopier::acceptVideo(AVPacket* packet, std::int64_t showTs, const Writer& write) {
    if (m_finished)
        return;
    // Containers without display times (AVI) stamp the decode order: with B-frames a decoder
    // shows each picture later (MPEG pictures are timed by the reference rule instead).
    if (packet->pts == AV_NOPTS_VALUE && m_family != CodecFamily::Mpeg12 &&
        m_family != CodecFamily::Mpeg4Part2 && showTs != AV_NOPTS_VALUE)
        showTs += reorderLead(m_in);
    const std::int64_t duration =
        packet->duration > 0 && seconds(packet->duration, m_in->time_base) <= 10 ? packet->duration
                                                                                 : m_frameTs;
    if (m_started && showTs != AV_NOPTS_VALUE && pastEnd(showTs, duration)) {
        endVideo();
        return;
    }
    // An MPEG-1/2 reference picture often comes without a display time, shown by the reference
    // rule: a program stream stamps a pack by its first picture, so a clip opening with one would
    // carry no times at all. It gets the time the rule gives it.
    if (m_mpegVideo && packet->pts == AV_NOPTS_VALUE && showTs != AV_NOPTS_VALUE &&
        (packet->dts == AV_NOPTS_VALUE || showTs >= packet->dts))
        packet->pts = showTs;
    const bool wasStarted = m_started;
    if (!take(packet) || !keepsAfterStart(packet, wasStarted))
        return;
    out(packet, write);
    // The first keyframe is on screen at the end already: it is all the clip has.
    if (!wasStarted && showTs != AV_NOPTS_VALUE && pastEnd(showTs, duration))
        m_finished = true;
}

bool StreamCopier::pastEnd(std::int64_t showTs, std::int64_t duration) const {
    // The next frame starts at or before the end when this one ends by then: this one is not
    // the frame on screen at the end. A frame that is on screen at the start stays, also when a
    // clip shorter than a frame has it on screen at the end as well.
    return m_lastShownTs != INT64_MAX && showTs > m_lastShownTs - duration && showTs > m_startTs;
}

void StreamCopier::endVideo() {
    m_finished = true;
    // The pictures left out before the end refer to one past it: the source did not end early,
    // the clip covers its section as far as a copy can.
    m_progress = std::max(m_progress, seconds(m_endTs - m_startTs, m_in->time_base));
}

bool StreamCopier::keepsAfterStart(const AVPacket* packet, bool wasStarted) {
    if (m_family != CodecFamily::Mpeg12)
        return true;
    // The B-pictures that follow the first keyframe of an open group are shown before it and
    // predicted from the group before, which the clip does not hold: a decoder could only
    // guess them. They lie before the clip's start anyway.
    if (!wasStarted) {
        m_leadingPictures =
            !packet->data || packet->size <= 0 ||
            !mpeg12::opensClosedGroup(packet->data, static_cast<std::size_t>(packet->size));
        return true;
    }
    if (!m_leadingPictures)
        return true;
    if (pictureType(m_family, packet) == PictureType::B)
        return false;
    m_leadingPictures = false;
    return true;
}

void StreamCopier::finish(const Writer& write) {
    dateUndated(AV_NOPTS_VALUE, write);
    if (m_unpacker) {
        m_unpacker->finish(unpacked(write));
        m_unpackedTimes.finish(m_frameTs, unpackedShown(write));
    }
    if (m_type == AVMEDIA_TYPE_VIDEO)
        m_shownLater.finish(m_frameTs, endsVideo(write));
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
