// The check of a clip against its source: before a clip is put in place, and on its own for a
// clip of any maker (vorkast -check-clip, `segmora check`).
//
// It reads the source again through the packet timeline, as the cut does, and looks at the
// clip from outside: that it opens and holds the planned streams; that its first picture is
// the source's picture on screen at the start (the very same pixels where the head was copied,
// within a quality bound and closer to it than to either neighbour where it was encoded again);
// that it holds the planned number of pictures (counted from the container's index where it has
// one, else from its packets, without decoding); that the pictures encoded again and the group
// after each seam decode without a decoder error; and that the sound starts within one audio
// frame of the picture.
//
// Threading: one check at a time per process (decoder errors are counted from libav's log).
#pragma once

#include "clip_check_report.h"
#include "convert_error.h"
#include "cut_plan.h"

#include <functional>
#include <optional>
#include <string>

extern "C" {
#include <libavformat/avio.h>
}

namespace vorkast {

// A clip or source the check cannot work with: not a video, not readable, or not the clip's
// source. The command-line check says so with a usage-like exit status.
class CheckInputError : public ConvertError {
public:
    using ConvertError::ConvertError;
};

// How the clip's first pictures were made.
enum class HeadWay {
    Unknown, // a clip of any maker: copied or encoded again, either may hold
    Copied,  // copied packets: the first picture decodes to the source's very pixels
    Encoded, // encoded again: within a quality bound
};

// What the clip should be, as its cut planned it, in the source's absolute ticks.
struct ClipExpectation {
    std::string clip;
    std::string source;
    Ticks firstShown = 0; // where the source shows the picture the clip starts with
    Ticks leadIn = 0;     // how far before it the source is read (cut_plan.h)
    // Where an encoded clip's decoder read the source from, when before firstShown.
    std::optional<Ticks> readFrom;
    Ticks end = kNoEnd; // the section's end; kNoEnd: the source's end
    FrameRate rate;     // the clip's pictures a second
    bool video = true;  // planned streams
    bool audio = false;
    HeadWay head = HeadWay::Unknown;
    // A keyframe cut: the clip starts with the picture of the keyframe at firstShown.
    bool startsAtKeyframe = false;
    // Pictures the clip may lack before its end: a copy that ends by display time leaves out
    // the B-pictures that refer to a picture past the end.
    int endSlack = 1;
    // Pictures encoded again may lie at the head and the tail, each followed by a seam: the
    // clip's first two groups and its last one are decoded with errors detected. Otherwise only
    // its first picture is decoded.
    bool seams = true;
    bool comparePictures = true; // false where filters change what a picture shows
    bool countPictures = true;   // false where the source ended early (the clip is short)
    // How many pictures either side of the expected one the first picture is looked for among.
    int searchFrames = 3;
};

struct CheckHooks {
    AVIOInterruptCB interrupt{};
    std::function<void()> alive = [] {};
};

// Checks the clip. Findings go into the figures; a clip or source that cannot be worked with
// throws CheckInputError.
clipcheck::Figures checkClip(const ClipExpectation& expected, const CheckHooks& hooks);

// The expectation for a clip of any maker that should hold the section from start (seconds from
// the source's beginning, as -ss) for length (none: to the source's end), planned as a lossless
// exact cut of the source is.
ClipExpectation expectationFor(const std::string& clip, const std::string& source, double start,
                               std::optional<double> length, const CheckHooks& hooks);

} // namespace vorkast
