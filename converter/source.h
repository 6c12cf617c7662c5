// The source file: opened with the watchdog's interrupt, its streams found, and positioned so
// reading starts at a keyframe at or before the section's start.
#pragma once

#include "libav_ptr.h"

#include <deque>
#include <functional>
#include <string>

namespace vorkast {

struct Source {
    InputContextPtr ctx;
    double startOffset = 0; // the source's first timestamp, seconds; the player counts from here
    double duration = -1;   // seconds, or negative when the container does not tell
    int videoIndex = -1;    // best video stream (cover pictures are not video), -1 if none
    int audioIndex = -1;    // best audio stream, -1 if none
};

// Throws ConvertError "cannot open the source ..." when the file is missing, unreadable or no
// media the libraries know.
Source openSource(const std::string& path, const AVIOInterruptCB& interrupt);

// Where reading starts after positionAt().
struct StartPoint {
    std::deque<PacketPtr> pending; // packets already read from there, to be handled first
    double keyframeTime = 0;       // absolute seconds of the anchor stream's first keyframe
    // With findShownFrame: absolute seconds of the anchor's picture on screen at absStart;
    // otherwise, or where it cannot be told, absStart itself.
    double shownTime = 0;
};

// Seeks so that the first keyframe of anchorStream (or the first packet of it, for audio) lies at
// or before absStart, stepping further back where a container's seek lands late. Streams that
// cannot seek are read from their beginning. anchorStream -1: no anchor, position at absStart.
// onRead is called for every packet read, to show the watchdog that work moves.
// leadIn: seconds before absStart to seek to, for demuxers that guess the timestamps after a
// seek until the stream states one again: those near absStart are then read in sequence.
using OnRead = std::function<void()>;
StartPoint positionAt(Source& source, double absStart, int anchorStream, bool findShownFrame,
                      const OnRead& onRead, double leadIn = 0);

// Goes back to the source's first packet: by bytes where the container allows it, else by time.
// positionAt() reads a start at the source's beginning from where reading is, without a seek.
void toBeginning(Source& source);

// Seconds of a timestamp in a stream's time base.
double seconds(std::int64_t ts, AVRational timeBase);

} // namespace vorkast
