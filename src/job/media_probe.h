// The length and frame duration of a media file, read with the FFmpeg libraries, for splitting
// without a player.
//
// Threading: any thread; no state.
#pragma once

#include <QString>

namespace segmora {

// What the FFmpeg libraries make of a source file.
struct MediaFacts {
    bool opened = false;      // a demuxer took the file and found a picture or sound in it
    long long durationMs = 0; // the container's duration; 0 when unknown or not opened
    double frameSeconds = 0;  // one frame of the first video stream; 0 without a picture
};

// How long opening and reading a source's headers may take before it counts as unreadable:
// a source on a stalled network folder must not hold a batch for ever.
inline constexpr int kProbeDeadlineMs = 20000;

// Reads the facts of a regular file. Anything else (a FIFO, a device, a folder, a missing
// path) is never opened and gives opened == false, so a FIFO nobody writes to cannot block;
// reading a regular file gives up after deadlineMs.
MediaFacts ProbeMedia(const QString& path, int deadlineMs = kProbeDeadlineMs);

// The container's duration in milliseconds, or 0 when the file cannot be opened, is no media
// or does not know its length (what the player reports when no media is open).
long long ProbeDurationMs(const QString& path);

} // namespace segmora
