// The plan of one cut, made before a packet is written: which way each kind of stream goes
// into the clip, where reading starts, the first and last frame kept and where the sound
// starts. Everything here is a pure function of facts about the source and of what was asked,
// in whole ticks, so it is tested by tables without media; engine.cpp gathers the facts and runs
// the plan.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>

namespace vorkast {

// Time inside the plan: microseconds (libavformat's AV_TIME_BASE). Absolute positions count from
// the container's zero, as the source's timestamps do, not from its first packet.
using Ticks = std::int64_t;
constexpr Ticks kTicksPerSecond = 1'000'000;
// "To the source's end" as a section's end; far enough from the limit to add a frame to it.
constexpr Ticks kNoEnd = std::numeric_limits<Ticks>::max() / 4;

// The one rounding rule from seconds to ticks: to the nearest tick, saturating at kNoEnd and
// -kNoEnd (so infinity is "to the end"); NaN counts as 0.
Ticks toTicks(double seconds);
double toSeconds(Ticks ticks);

// A video's frame rate as the reader guesses it; 0/0 where it cannot.
struct FrameRate {
    int num = 0;
    int den = 0;
};

// The rate frames are counted at: the stream's own up to 1000 frames a second, 20 a second
// where there is none or it is a clock's tick rather than a picture's.
FrameRate countingRate(FrameRate rate);
// The one frame-duration rule: a frame of the rate, for rates up to 1000 frames a second;
// otherwise (no rate, a rate that is a clock's tick rather than a picture's) 1/20 s.
Ticks frameTicks(FrameRate rate);
// The start of frame n after a frame starting at from, at that rate (or frameTicks' fallback),
// to the nearest tick: frames do not drift from a rate that does not divide a second.
Ticks frameStart(Ticks from, std::int64_t n, FrameRate rate);

// How a copied video of a codec family is cut at a frame that is no keyframe.
enum class VideoFamily {
    None,       // no video
    IntraOnly,  // every frame stands alone: copying from the start frame is exact already
    H264,       // head and tail encoded again around copied groups that start at IDR pictures
    Hevc,       // the same, groups opened by random access points (IDR, CRA, BLA pictures)
    Mpeg12,     // MPEG-1/2: the same, groups opened by a sequence header
    Mpeg4Part2, // MPEG-4 Visual: the same, groups opened by I-pictures
    Other,      // no exact cut: the keyframe cut, with a notice
};
bool recodesAtCuts(VideoFamily family);

// What the source and the output container are, as far as the plan needs to know.
struct SourceFacts {
    Ticks startOffset = 0;         // the source's first timestamp
    std::optional<Ticks> duration; // as stated, counted from startOffset; none when unknown
    bool hasVideo = false;         // a video stream (cover pictures are not video)
    bool hasAudio = false;         // a sound stream
    VideoFamily video = VideoFamily::None;
    FrameRate rate;                 // the video's
    int videoDelay = 0;             // pictures the video's decoder holds back (B-frames)
    bool stampsDecodeOrder = false; // the container gives decode times only (AVI)
    bool outputHoldsVideo = false;  // the output container plays video (cover art is none)
    bool outputHoldsAudio = false;
};

// Which way one kind of stream is asked to go.
enum class Wish {
    Default, // what the output container takes, copied or encoded by its own codec
    Copy,    // -c copy
    Encode,  // an encoder named
    Off,     // -vn / -an
};

struct CutRequest {
    Ticks start = 0;             // from the source's beginning (startOffset), not absolute
    std::optional<Ticks> length; // none: to the source's end
    Wish video = Wish::Default;
    Wish audio = Wish::Default;
    bool exact = false; // -cut exact
};

// How one kind of stream goes into the clip.
enum class Way { Leave, Copy, Encode };
// Whose keyframes decide where reading starts.
enum class Anchor { None, Video, Audio };
// How a copied video is cut.
enum class VideoCut {
    Keyframe, // from the keyframe at or before the start: a notice says how early
    Exact,    // the picture on screen at the start, frames encoded again where needed
};

struct CutPlan {
    Way video = Way::Leave;
    Way audio = Way::Leave;
    Anchor anchor = Anchor::None;
    // Every stream copied: streams the container cannot hold are an error rather than left out,
    // and there is no need for both kinds to exist.
    bool copyOnly = false;
    VideoCut cut = VideoCut::Keyframe; // for copied video
    // The section asked for, absolute.
    Ticks start = 0;
    Ticks end = kNoEnd;
    // Reading looks for the anchor's keyframe at or before readFrom, seeking leadIn before it
    // first: readers that guess the times of the packets after a seek until the stream states
    // one again then reach the start reading in sequence.
    Ticks readFrom = 0;
    Ticks leadIn = 0;
    // The video is copied: the picture on screen at the start is looked for, and the clip's
    // time counts from it for every stream.
    bool findShownFrame = false;
    // An encoded video decoded from well before the start: copied sound still starts at the
    // start, not where reading did.
    bool soundFromStart = false;
    // An exact cut of MPEG-1/2 read from before the start: when the copy falls back to a
    // keyframe cut, reading starts again at the keyframe before the start itself.
    bool rereadForKeyframeCut = false;
    // Encoded picture and sound start together at the first frame's start.
    bool sharedOrigin = false;
};

// The streams' ways, the anchor and where reading starts. Throws ConvertError when the output
// asks for a kind of stream the source lacks.
CutPlan planCut(const SourceFacts& source, const CutRequest& request);

// What reading from the plan's start found about the anchor video.
struct StartFound {
    Ticks keyframe = 0; // where the first keyframe read is shown
    Ticks shown = 0;    // the picture on screen at the start, or the start where unknown
    // A copy can begin with the keyframe read from: it needs nothing before it (an H.264 IDR
    // picture).
    bool keyframeStartsCopy = false;
    bool pictureAfterStart = false; // a picture was read that lies after the start
    bool mended = false;            // the timeline was mended (leaps taken out)
};

// The section as the copied video allows, in absolute ticks.
struct SettledStart {
    Ticks start = 0;        // the clip's zero: the picture on screen at the start, for copied video
    Ticks end = kNoEnd;     // exact cuts: by the frame rule from start
    Ticks copyFrom = 0;     // where copied streams begin (the keyframe, for a keyframe cut)
    bool videoGone = false; // the video ends before the start: the clip holds the sound alone
};
// How much shorter than asked a clip may come out: a frame of the anchor (1/20 s for sound).
Ticks anchorFrame(const CutPlan& plan, const SourceFacts& source);

SettledStart settleStart(const CutPlan& plan, const SourceFacts& source, const StartFound& found);

// The section's end by the frame rule: the start of the frame on screen at askedEnd, for frames
// following each other at the rate from shownStart; at least one frame past shownStart.
Ticks frameRuleEnd(Ticks shownStart, Ticks askedEnd, FrameRate rate);

// Whether an exact cut encodes nothing again and is a plain copy: its start is a keyframe a copy
// can begin with, and its end is the source's end or a keyframe that begins a group (given as
// where that keyframe is shown, and whether a copy can begin there).
struct EndFound {
    std::optional<Ticks> keyframe; // the keyframe at or before the end, where it is shown
    bool startsCopy = false;
};
bool exactCutIsPlainCopy(const CutPlan& plan, const SourceFacts& source, const StartFound& found,
                         const SettledStart& settled, const EndFound& end);

} // namespace vorkast
