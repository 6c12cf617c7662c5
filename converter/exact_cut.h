// An exact cut of a copied video: the frames from the section's start up to the first point
// where copying can begin are decoded and encoded again with the source's codec and settings,
// the frames after it are copied packet for packet, and frames at the end that would need a
// frame past the section are encoded again too. The clip holds no frame outside the section.
#pragma once

#include "cut_rule.h"
#include "libav_ptr.h"
#include "options.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vorkast {

// How a copied video of this codec is cut exactly (the shared rule of cut_rule.h).
ExactCutWay exactCutWay(const AVCodecParameters* codec);

// The section's end in absolute seconds by the frame rule: the start of the frame on screen at
// askedEnd, for a stream whose frames follow each other at its frame rate from shownStart; at
// least one frame past shownStart.
double frameRuleEnd(const AVFormatContext* input, const AVStream* video, double shownStart,
                    double askedEnd);

class ExactVideoCut {
public:
    using Writer = std::function<void(AVPacket*)>;

    // absStart: the frame on screen at the start; absEnd: the section's end by the frame rule.
    // Sets up the output stream (for H.264 in containers with a global header, a sample
    // description carrying the source's parameter sets and those of the re-encoded frames).
    // Returns nullptr when the source's video cannot be encoded again with its own settings;
    // the caller then makes the keyframe cut.
    static std::unique_ptr<ExactVideoCut> create(const AVFormatContext* input, const AVStream* in,
                                                 AVStream* out, AVFormatContext* output,
                                                 const Options& options, double absStart,
                                                 double absEnd);
    ~ExactVideoCut();

    // Takes the source's video packets in decode order, from a keyframe at or before the start.
    void accept(AVPacket* packet, const Writer& write);
    // The source has ended: writes what is still held.
    void finish(const Writer& write);
    bool finished() const;
    double progress() const;
    // Seconds by which the clip's first picture is shown after the start of its stream: a
    // container without display times (AVI) holding video that reorders is decoded a picture
    // late, which the stream's time stamps cannot express.
    double shownLate() const;

    class Impl;

private:
    explicit ExactVideoCut(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace vorkast
