// Opening the source and finding where to start reading.
#include "source.h"

#include "convert_error.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vorkast {

double seconds(std::int64_t ts, AVRational timeBase) {
    return static_cast<double>(ts) * av_q2d(timeBase);
}

namespace {

// Absolute seconds where the source's last packet ends, read from a second look at the file
// after absSeconds; NAN when nothing can be read there, or when a packet past notAfter shows the
// file goes on well beyond it.
double endAfter(const std::string& path, const AVIOInterruptCB& interrupt, double absSeconds,
                double notAfter) {
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw std::bad_alloc();
    raw->interrupt_callback = interrupt;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return NAN;
    InputContextPtr ctx(raw);
    const auto ts = static_cast<std::int64_t>(std::floor(absSeconds * AV_TIME_BASE));
    if (avformat_seek_file(raw, -1, INT64_MIN, ts, ts, 0) < 0)
        return NAN;
    double end = NAN;
    PacketPtr packet = makePacket();
    for (int budget = 20000; budget > 0 && av_read_frame(raw, packet.get()) >= 0; --budget) {
        const AVStream* stream = raw->streams[packet->stream_index];
        const std::int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (at != AV_NOPTS_VALUE) {
            const double until =
                seconds(at + std::max<std::int64_t>(packet->duration, 0), stream->time_base);
            if (until > notAfter)
                return NAN;
            if (std::isnan(end) || until > end)
                end = until;
        }
        av_packet_unref(packet.get());
    }
    return end;
}

} // namespace

Source openSource(const std::string& path, const AVIOInterruptCB& interrupt) {
    Source source;
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw std::bad_alloc();
    raw->interrupt_callback = interrupt;
    if (int err = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
        err < 0) // frees raw on failure
        throw ConvertError("cannot open the source file: " + avErrorText(err));
    source.ctx.reset(raw);
    if (int err = avformat_find_stream_info(raw, nullptr); err < 0)
        throw ConvertError("cannot read the source file: " + avErrorText(err));

    if (raw->start_time != AV_NOPTS_VALUE)
        source.startOffset = static_cast<double>(raw->start_time) / AV_TIME_BASE;
    if (raw->duration != AV_NOPTS_VALUE && raw->duration > 0)
        source.duration = static_cast<double>(raw->duration) / AV_TIME_BASE;
    // Some containers state their length counted from zero, not from the first timestamp: a
    // recording whose clock starts at an hour would claim an hour more than it holds. Where the
    // source ends right at the stated length, that is what happened.
    constexpr double kSlack = 2.0;
    if (source.startOffset > kSlack && source.duration > source.startOffset) {
        const double end =
            endAfter(path, interrupt, source.duration - kSlack, source.duration + kSlack);
        if (!std::isnan(end) && std::fabs(end - source.duration) < kSlack)
            source.duration = end - source.startOffset;
    }

    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        // Cover pictures come as one-frame video streams: they never count as the video.
        if (raw->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC)
            raw->streams[i]->discard = AVDISCARD_ALL;
    }
    source.videoIndex = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (source.videoIndex >= 0 &&
        (raw->streams[source.videoIndex]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        source.videoIndex = -1;
    source.audioIndex =
        av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, source.videoIndex, nullptr, 0);
    if (source.videoIndex < 0)
        source.videoIndex = -1;
    if (source.audioIndex < 0)
        source.audioIndex = -1;
    if (source.videoIndex < 0 && source.audioIndex < 0)
        throw ConvertError("the source file holds neither video nor audio the libraries can read");
    return source;
}

namespace {

bool seekTo(AVFormatContext* ctx, double absSeconds) {
    const auto ts = static_cast<std::int64_t>(std::floor(absSeconds * AV_TIME_BASE));
    if (avformat_seek_file(ctx, -1, INT64_MIN, ts, ts, 0) >= 0)
        return true;
    return av_seek_frame(ctx, -1, ts, AVSEEK_FLAG_BACKWARD) >= 0;
}

double packetSeconds(const AVPacket* packet, AVRational timeBase) {
    const std::int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    return ts == AV_NOPTS_VALUE ? NAN : seconds(ts, timeBase);
}

// MPEG-1/2 video with B-pictures, whose pictures are shown in another order than they are
// decoded.
bool reordersMpeg(const AVStream* stream) {
    const AVCodecID id = stream->codecpar->codec_id;
    return (id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MPEG2VIDEO) &&
           stream->codecpar->video_delay > 0;
}

// MPEG-1/2: the packet's first picture header, or nullptr. Its temporal reference (the
// picture's place in display order within its group) takes ten bits, its coding type (1 I,
// 2 P, 3 B) the three after.
const std::uint8_t* mpegPictureHeader(const AVPacket* packet) {
    for (int i = 0; i + 5 < packet->size; ++i)
        if (packet->data[i] == 0 && packet->data[i + 1] == 0 && packet->data[i + 2] == 1 &&
            packet->data[i + 3] == 0x00)
            return packet->data + i + 4;
    return nullptr;
}

// MPEG-1/2: whether the packet holds an I- or P-picture, which B-pictures are predicted from.
bool isMpegReference(const AVPacket* packet) {
    const std::uint8_t* header = mpegPictureHeader(packet);
    const int type = header ? (header[1] >> 3) & 7 : -1;
    return type == 1 || type == 2;
}

// MPEG-1/2 video with B-pictures: an I-picture without a display time opens its group, but the
// B-pictures decoded after it that its temporal reference counts (an open group's leading
// pictures) are shown before it, each as it is decoded: it is shown one frame after the last of
// them. NAN where that cannot be told.
double mpegKeyframeShown(const AVPacket* packet, const AVStream* stream, double decoded) {
    if (!reordersMpeg(stream) || packet->dts == AV_NOPTS_VALUE)
        return NAN;
    const AVRational rate =
        stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    const std::uint8_t* header = mpegPictureHeader(packet);
    if (rate.num <= 0 || rate.den <= 0 || !header)
        return NAN;
    const int temporalReference = (header[0] << 2) | (header[1] >> 6);
    return decoded + (temporalReference + 1) * av_q2d(av_inv_q(rate));
}

// When a keyframe is shown. Containers without display times (AVI) give only the decode time,
// and with B-frames the picture is shown later than it is decoded, by up to the reorder delay.
// MPEG program streams leave display times out of most I- and P-pictures; there the picture
// header tells how many pictures of the group are shown before the keyframe.
double keyframeShown(const AVFormatContext* ctx, const AVPacket* packet, const AVStream* stream) {
    const double at = packetSeconds(packet, stream->time_base);
    if (packet->pts == AV_NOPTS_VALUE && !std::isnan(at))
        if (const double shown = mpegKeyframeShown(packet, stream, at); !std::isnan(shown))
            return shown;
    if (packet->pts != AV_NOPTS_VALUE || std::isnan(at) || (ctx->iformat->flags & AVFMT_TS_DISCONT))
        return at;
    const AVRational rate =
        stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    if (stream->codecpar->video_delay <= 0 || rate.num <= 0 || rate.den <= 0)
        return at;
    // One frame more than the delay: the decoder's own stamps run a frame behind as well.
    return at + (stream->codecpar->video_delay + 1) * av_q2d(av_inv_q(rate));
}

// Reads from the current position until the anchor's first keyframe; keeps what it read.
bool readToKeyframe(AVFormatContext* ctx, int anchor, StartPoint& point, const OnRead& onRead) {
    for (int budget = 20000; budget > 0; --budget) {
        PacketPtr packet = makePacket();
        if (av_read_frame(ctx, packet.get()) < 0)
            return false;
        onRead();
        const bool isKey = packet->stream_index == anchor && (packet->flags & AV_PKT_FLAG_KEY);
        const double at = isKey ? keyframeShown(ctx, packet.get(), ctx->streams[anchor]) : NAN;
        point.pending.push_back(std::move(packet));
        if (isKey && !std::isnan(at)) {
            point.keyframeTime = at;
            return true;
        }
    }
    return false;
}

// Drops the anchor's packets read so far: a later keyframe at or before the start opens the
// clip. The other streams' packets stay; their copies leave out what lies before it by time.
void dropAnchorPackets(std::deque<PacketPtr>& pending, int anchor) {
    pending.erase(
        std::remove_if(pending.begin(), pending.end(),
                       [anchor](const PacketPtr& p) { return p->stream_index == anchor; }),
        pending.end());
}

// Reads on until no later anchor packet can be shown at or before absStart (decode times only
// grow, and nothing is shown before it is decoded), noting the latest picture shown by then.
// Where it can, reading restarts at the anchor's last keyframe at or before absStart: a seek
// may land a group or more early (AVI and ASF indexes), and every picture before that keyframe
// lies before the start. fromLastKeyframe: read without a seek, so the other streams' packets
// before that keyframe are dropped too.
void readPastStart(AVFormatContext* ctx, int anchor, double absStart, bool fromLastKeyframe,
                   std::size_t budget, StartPoint& point, const OnRead& onRead) {
    const AVStream* stream = ctx->streams[anchor];
    const bool mpeg = reordersMpeg(stream);
    // MPEG-1/2: the decode time of the last I- or P-picture read without a display time. It is
    // shown when the next such picture is decoded, the B-pictures between shown before it.
    double referenceDecoded = NAN;
    const auto note = [&](double shown) {
        if (shown <= absStart + 1e-4 && shown > point.shownTime)
            point.shownTime = shown;
    };
    // Where pictures are shown in the order they are decoded, a keyframe's time is its own.
    // Elsewhere the packets flagged as keyframes are not all places to start from (packed
    // B-frames in AVI), so the seek's keyframe stays.
    const bool inOrder = stream->codecpar->video_delay == 0;
    for (; budget > 0; --budget) {
        PacketPtr packet = makePacket();
        if (av_read_frame(ctx, packet.get()) < 0)
            return;
        onRead();
        const bool isAnchor = packet->stream_index == anchor;
        double shown = isAnchor ? packetSeconds(packet.get(), stream->time_base) : NAN;
        const bool decodeKnown = packet->dts != AV_NOPTS_VALUE;
        const double decoded =
            isAnchor && decodeKnown ? seconds(packet->dts, stream->time_base) : shown;
        if (isAnchor && (packet->flags & AV_PKT_FLAG_KEY)) {
            double keyShown = shown;
            if (packet->pts == AV_NOPTS_VALUE && mpeg)
                if (const double t = mpegKeyframeShown(packet.get(), stream, decoded);
                    !std::isnan(t))
                    keyShown = t;
            if (keyShown <= absStart + 1e-4) {
                if (fromLastKeyframe) {
                    point.pending.clear();
                    point.keyframeTime = keyShown;
                    point.shownTime = keyShown;
                } else if (inOrder && keyShown > point.keyframeTime) {
                    dropAnchorPackets(point.pending, anchor);
                    point.keyframeTime = keyShown;
                    point.shownTime = keyShown;
                }
            }
        }
        if (isAnchor && mpeg && decodeKnown && isMpegReference(packet.get())) {
            if (!std::isnan(referenceDecoded))
                note(decoded);
            referenceDecoded = packet->pts == AV_NOPTS_VALUE ? decoded : NAN;
            if (packet->pts == AV_NOPTS_VALUE)
                shown = NAN; // not known before the next one comes
        }
        point.pending.push_back(std::move(packet));
        if (!isAnchor || std::isnan(decoded))
            continue;
        if (!std::isnan(shown))
            note(shown);
        // Matroska leaves out the decode time of some packets; their picture may still be shown
        // before a later one, so only a picture well past the start ends the search there.
        if (decoded > absStart && (decodeKnown || shown > absStart + 1.0))
            return;
    }
}

// For sources that cannot seek, or where seeking fails.
void readForward(AVFormatContext* ctx, int anchor, double absStart, StartPoint& point,
                 const OnRead& onRead) {
    point.shownTime = absStart;
    readPastStart(ctx, anchor, absStart, true, SIZE_MAX, point, onRead);
}

} // namespace

StartPoint positionAt(Source& source, double absStart, int anchorStream, bool findShownFrame,
                      const OnRead& onRead, double leadIn) {
    AVFormatContext* ctx = source.ctx.get();
    StartPoint point;
    point.keyframeTime = source.startOffset;
    point.shownTime = absStart;
    const bool seekable = ctx->pb == nullptr || (ctx->pb->seekable & AVIO_SEEKABLE_NORMAL);
    if (absStart <= source.startOffset)
        return point;
    if (!seekable) {
        // The demuxer hands out what it buffered from the beginning first.
        if (anchorStream >= 0)
            readForward(ctx, anchorStream, absStart, point, onRead);
        if (!findShownFrame)
            point.shownTime = absStart;
        return point;
    }
    if (anchorStream < 0) {
        seekTo(ctx, absStart);
        point.keyframeTime = absStart;
        return point;
    }
    double target = std::max(source.startOffset, absStart - leadIn);
    double step = 1;
    for (int attempt = 0; attempt < 8; ++attempt) {
        point.pending.clear();
        if (!seekTo(ctx, target))
            break;
        // A little slack for timestamps rounded into the stream's time base.
        if (readToKeyframe(ctx, anchorStream, point, onRead) &&
            point.keyframeTime <= absStart + 1e-4) {
            if (findShownFrame) {
                point.shownTime = point.keyframeTime;
                // MPEG program streams are sought by the times they state now and then, and a
                // seek (or the lead-in) lands groups early: reading then starts at the last
                // keyframe shown at or before the start.
                const bool toLastKeyframe = reordersMpeg(ctx->streams[anchorStream]);
                readPastStart(ctx, anchorStream, absStart, toLastKeyframe, 20000, point, onRead);
            }
            return point;
        }
        if (target <= source.startOffset)
            break;
        target = std::max(source.startOffset, target - step);
        step *= 2;
    }
    // Seeking does not land where it should: read from the very beginning instead.
    point.pending.clear();
    point.keyframeTime = source.startOffset;
    if (av_seek_frame(ctx, -1, 0, AVSEEK_FLAG_BYTE) < 0)
        seekTo(ctx, source.startOffset);
    readForward(ctx, anchorStream, absStart, point, onRead);
    if (!findShownFrame)
        point.shownTime = absStart;
    return point;
}

} // namespace vorkast
