// Opening the source and finding where to start reading.
#include "source.h"

#include "convert_error.h"
#include "packet_timeline.h"

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
    source.ctx = openInput(path, interrupt);
    AVFormatContext* raw = source.ctx.get();
    source.startOffset = startSeconds(raw);
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

    const StreamChoice streams = chooseStreams(raw);
    source.videoIndex = streams.video;
    source.audioIndex = streams.audio;
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

// Reads from the current position until the anchor's first keyframe; keeps what it read.
bool readToKeyframe(PacketTimeline& timeline, int anchor, StartPoint& point, const OnRead& onRead) {
    for (int budget = 20000; budget > 0; --budget) {
        std::optional<TimedPacket> read = timeline.next();
        if (!read)
            return false;
        onRead();
        const bool isKey = read->packet->stream_index == anchor && read->facts.keyframe;
        const double at = isKey ? read->facts.keyShown.seconds() : NAN;
        point.pending.push_back(std::move(read->packet));
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
void readPastStart(PacketTimeline& timeline, int anchor, double absStart, bool fromLastKeyframe,
                   std::size_t budget, StartPoint& point, const OnRead& onRead) {
    // The keyframe read before has its display time already: a reference picture waiting for
    // the next one counts from here on.
    timeline.clock(anchor).restart();
    const auto note = [&](double shown) {
        if (shown <= absStart + 1e-4 && shown > point.shownTime)
            point.shownTime = shown;
    };
    // Where pictures are shown in the order they are decoded, a keyframe's time is its own.
    // Elsewhere the packets flagged as keyframes are not all places to start from (packed
    // B-frames in AVI), so the seek's keyframe stays.
    const bool inOrder = timeline.stream(anchor)->codecpar->video_delay == 0;
    for (; budget > 0; --budget) {
        std::optional<TimedPacket> read = timeline.next();
        if (!read)
            return;
        onRead();
        const PacketFacts& facts = read->facts;
        const bool isAnchor = read->packet->stream_index == anchor;
        double shown = isAnchor ? facts.display.seconds() : NAN;
        const bool decodeKnown = facts.decode.known();
        const double decoded = isAnchor && decodeKnown ? facts.decode.seconds() : shown;
        if (isAnchor && facts.keyframe) {
            const double keyShown = facts.keyShown.seconds();
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
        if (isAnchor && facts.revealed)
            note(facts.revealed.seconds());
        point.pending.push_back(std::move(read->packet));
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
void readForward(PacketTimeline& timeline, int anchor, double absStart, StartPoint& point,
                 const OnRead& onRead) {
    point.shownTime = absStart;
    readPastStart(timeline, anchor, absStart, true, SIZE_MAX, point, onRead);
}

} // namespace

void toBeginning(Source& source) {
    if (av_seek_frame(source.ctx.get(), -1, 0, AVSEEK_FLAG_BYTE) < 0)
        seekTo(source.ctx.get(), source.startOffset);
}

StartPoint positionAt(Source& source, double absStart, int anchorStream, bool findShownFrame,
                      const OnRead& onRead, double leadIn) {
    AVFormatContext* ctx = source.ctx.get();
    PacketTimeline timeline(ctx);
    StartPoint point;
    point.keyframeTime = source.startOffset;
    point.shownTime = absStart;
    const bool seekable = ctx->pb == nullptr || (ctx->pb->seekable & AVIO_SEEKABLE_NORMAL);
    if (absStart <= source.startOffset)
        return point;
    if (!seekable) {
        // The demuxer hands out what it buffered from the beginning first.
        if (anchorStream >= 0)
            readForward(timeline, anchorStream, absStart, point, onRead);
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
        timeline.restart();
        // A little slack for timestamps rounded into the stream's time base.
        if (readToKeyframe(timeline, anchorStream, point, onRead) &&
            point.keyframeTime <= absStart + 1e-4) {
            if (findShownFrame) {
                point.shownTime = point.keyframeTime;
                // MPEG program streams are sought by the times they state now and then, and a
                // seek (or the lead-in) lands groups early: reading then starts at the last
                // keyframe shown at or before the start.
                const DisplayClock& clock = timeline.clock(anchorStream);
                const bool toLastKeyframe =
                    clock.family() == CodecFamily::Mpeg12 && clock.reorders();
                readPastStart(timeline, anchorStream, absStart, toLastKeyframe, 20000, point,
                              onRead);
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
    toBeginning(source);
    timeline.restart();
    readForward(timeline, anchorStream, absStart, point, onRead);
    if (!findShownFrame)
        point.shownTime = absStart;
    return point;
}

} // namespace vorkast
