// An exact cut of a copied video: the frames from the section's start up to the first point
// where copying can begin are decoded and encoded again with the source's codec and settings,
// the frames after it are copied packet for packet, and frames at the end that would need a
// frame past the section are encoded again too. The clip holds no frame outside the section.
#pragma once

#include "cut_plan.h"
#include "libav_ptr.h"
#include "options.h"
#include "route.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vorkast {

// How a copied video of this codec is cut exactly: which codecs are cut by encoding again is
// cut_rule.h's to say, the family says how.
VideoFamily videoFamily(const AVCodecParameters* codec);

// The rate the reader guesses for a video, as the plan counts frames.
FrameRate guessedRate(const AVFormatContext* input, const AVStream* video);

// Whether a copy of the video can begin with this packet: it needs nothing before it (an H.264
// IDR picture). False for other codecs, whose copies the exact cut begins itself: an HEVC
// random access point may be followed by pictures shown before it, MPEG groups may be open.
bool opensGroup(const AVStream* video, const AVPacket* packet);

class ExactVideoCut : public StreamRoute {
public:
    // absStart: the frame on screen at the start; absEnd: the section's end by the frame rule
    // (kNoEnd: to the source's end).
    // Sets up the output stream (for H.264 in containers with a global header, a sample
    // description carrying the source's parameter sets and those of the re-encoded frames).
    // Returns nullptr when the source's video cannot be encoded again with its own settings;
    // the caller then makes the keyframe cut.
    static std::unique_ptr<ExactVideoCut> create(const AVFormatContext* input, const AVStream* in,
                                                 AVStream* out, AVFormatContext* output,
                                                 const Options& options, Ticks absStart,
                                                 Ticks absEnd);
    ~ExactVideoCut() override;

    // Takes the source's video packets in decode order, from a keyframe at or before the start.
    void accept(AVPacket* packet, const Writer& write) override;
    // The source has ended: writes what is still held.
    void finish(const Writer& write) override;
    bool finished() const override;
    double progress() const override;
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
