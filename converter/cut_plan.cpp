// Planning a cut from facts: no file is read here.
#include "cut_plan.h"

#include "convert_error.h"
#include "media_time.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vorkast {

namespace {

// How far before the start a re-encoded or copied MPEG-1/2 video is read from: longer than the
// groups of pictures such streams use.
constexpr Ticks kMpegLeadIn = 3 * kTicksPerSecond;
// A timestamp's rounding into a coarse time base.
constexpr Ticks kSlack = 1000;

} // namespace

FrameRate countingRate(FrameRate rate) {
    if (rate.num <= 0 || rate.den <= 0 || rate.num > 1000LL * rate.den)
        return {20, 1};
    return rate;
}

Ticks toTicks(double seconds) {
    return std::clamp(ticksFromSeconds(seconds, AVRational{1, kTicksPerSecond}), -kNoEnd, kNoEnd);
}

double toSeconds(Ticks ticks) {
    if (ticks >= kNoEnd)
        return INFINITY;
    return static_cast<double>(ticks) / kTicksPerSecond;
}

Ticks frameTicks(FrameRate rate) {
    return frameStart(0, 1, rate);
}

Ticks frameStart(Ticks from, std::int64_t n, FrameRate rate) {
    const FrameRate r = countingRate(rate);
    const long double ticks =
        static_cast<long double>(n) * kTicksPerSecond * r.den / static_cast<long double>(r.num);
    return from + std::llround(ticks);
}

bool recodesAtCuts(VideoFamily family) {
    return family == VideoFamily::H264 || family == VideoFamily::Hevc ||
           family == VideoFamily::Mpeg12 || family == VideoFamily::Mpeg4Part2;
}

CutPlan planCut(const SourceFacts& source, const CutRequest& request) {
    CutPlan plan;
    // A profile that names no video encoder takes the video the source has; one that names an
    // encoder asks for video, and a source without it is an error.
    const bool wantVideo =
        request.video == Wish::Copy || request.video == Wish::Encode ||
        (request.video == Wish::Default && source.outputHoldsVideo && source.hasVideo);
    const bool wantAudio = request.audio == Wish::Copy || request.audio == Wish::Encode ||
                           (request.audio == Wish::Default && source.outputHoldsAudio);
    plan.copyOnly =
        (!wantVideo || request.video == Wish::Copy) && (!wantAudio || request.audio == Wish::Copy);
    if (plan.copyOnly) {
        plan.anchor = wantVideo && source.hasVideo   ? Anchor::Video
                      : wantAudio && source.hasAudio ? Anchor::Audio
                                                     : Anchor::None;
    } else {
        if (wantVideo && !source.hasVideo)
            throw ConvertError("the source has no video stream, but the output asks for video (use "
                               "-vn for sound only)");
        if (!wantVideo && !source.hasAudio)
            throw ConvertError("the source has no audio stream, and the output takes sound only");
        plan.anchor = wantVideo ? Anchor::Video : Anchor::Audio;
    }
    const auto way = [](bool wanted, bool present, Wish wish) {
        return !wanted || !present ? Way::Leave : wish == Wish::Copy ? Way::Copy : Way::Encode;
    };
    plan.video = way(wantVideo, source.hasVideo, request.video);
    plan.audio = way(wantAudio, source.hasAudio, request.audio);

    plan.start = source.startOffset + request.start;
    plan.end = request.length ? std::min(kNoEnd, plan.start + *request.length) : kNoEnd;

    const bool mpeg = source.video == VideoFamily::Mpeg12;
    // A copied video cannot start between its pictures: the clip's time then counts from the
    // picture on screen at the start, for every stream, so sound stays with the picture.
    plan.findShownFrame = plan.anchor == Anchor::Video && plan.video == Way::Copy;
    if (plan.findShownFrame && request.exact)
        plan.cut = VideoCut::Exact;
    const bool exact = plan.cut == VideoCut::Exact;
    // MPEG-1/2 video leaves the display time out of its keyframes and may open a group with
    // pictures that refer back into the group before it: where a seek lands is not a safe
    // judge of whether the picture at the start can be decoded from there. A re-encoded clip
    // decodes from well before the start instead and drops what comes before.
    plan.soundFromStart = !plan.findShownFrame && plan.anchor == Anchor::Video && mpeg;
    plan.readFrom =
        plan.soundFromStart ? std::max(source.startOffset, plan.start - kMpegLeadIn) : plan.start;
    // MPEG program streams state a time only now and then and the demuxer counts on from the
    // last one; after a seek it guesses, a frame or more off until the next stated time, for
    // the sound packed with the pictures too. A copy of MPEG-1/2 video reads in sequence from
    // well before the start.
    plan.rereadForKeyframeCut = exact && mpeg;
    if (plan.findShownFrame && mpeg) {
        plan.leadIn = kMpegLeadIn;
    } else if (exact && source.stampsDecodeOrder && source.videoDelay > 0) {
        // AVI stores no display times: a keyframe followed by B-frames is shown as many frames
        // after it is decoded as B-frames follow it, more than the delay the decoder states. A
        // keyframe that seems shown at or just before the start may be shown after it, and the
        // picture on screen at the start then needs the group before: the most B-frames a
        // stream may hold in a row and the delay, at the stream's rate.
        constexpr int kMostBFrames = 16;
        plan.leadIn = frameStart(0, kMostBFrames + source.videoDelay + 1, source.rate);
    }
    plan.sharedOrigin = plan.video == Way::Encode && plan.audio == Way::Encode;
    return plan;
}

Ticks frameRuleEnd(Ticks shownStart, Ticks askedEnd, FrameRate rate) {
    if (askedEnd >= kNoEnd)
        return kNoEnd;
    const FrameRate r = countingRate(rate);
    // A frame starting within a rounding error of the end is on screen at the end; a range
    // inside one frame still holds that frame: the one on screen at the start.
    const long double frames =
        std::floor(static_cast<long double>(askedEnd - shownStart + 100) * r.num /
                   (static_cast<long double>(kTicksPerSecond) * r.den));
    return frameStart(shownStart, std::max<std::int64_t>(1, static_cast<std::int64_t>(frames)), r);
}

Ticks anchorFrame(const CutPlan& plan, const SourceFacts& source) {
    return frameTicks(plan.anchor == Anchor::Video ? source.rate : FrameRate{});
}

SettledStart settleStart(const CutPlan& plan, const SourceFacts& source, const StartFound& found) {
    SettledStart settled;
    settled.start = plan.start;
    settled.end = plan.end;
    settled.copyFrom = plan.soundFromStart ? std::max(found.keyframe, plan.start) : found.keyframe;
    if (plan.findShownFrame) {
        if (plan.start - found.shown > 2 * frameTicks(source.rate) + kSlack) {
            // The picture stopped before the start (video shorter than sound): the sound is not
            // pulled back to the last picture, the clip starts where asked. Without a picture
            // after the start either, an exact cut would hold none and a keyframe copy only
            // pictures from before the start.
            settled.copyFrom = plan.start;
            settled.videoGone = !found.mended && !found.pictureAfterStart;
        } else {
            settled.start = std::min(plan.start, found.shown);
        }
    }
    if (plan.cut == VideoCut::Exact && !settled.videoGone)
        settled.end = frameRuleEnd(settled.start, settled.end, source.rate);
    return settled;
}

bool exactCutIsPlainCopy(const CutPlan& plan, const SourceFacts& source, const StartFound& found,
                         const SettledStart& settled, const EndFound& end) {
    // MPEG-1/2 and MPEG-4 groups may be open or packed, and their copies carry headers of their
    // own: those keep the exact cut's way.
    if (plan.cut != VideoCut::Exact || source.video != VideoFamily::H264 || settled.videoGone)
        return false;
    const Ticks quarter = frameTicks(source.rate) / 4;
    if (!found.keyframeStartsCopy || std::llabs(found.keyframe - settled.start) > kSlack)
        return false;
    if (settled.end >= kNoEnd ||
        (source.duration && settled.end >= source.startOffset + *source.duration))
        return true;
    return end.keyframe && end.startsCopy && std::llabs(*end.keyframe - settled.end) < quarter;
}

} // namespace vorkast
