// The engine: one section of one source, cut and converted into one clip.
#pragma once

#include "options.h"

namespace vorkast {

class ProgressReporter;
class Watchdog;

struct ConvertResult {
    double seconds = 0; // the clip's length, counted from the start asked for
    // The source ended or broke before the clip reached the length it should have (what was
    // asked, up to the source's stated end), by more than a frame. The clip is kept.
    bool shortClip = false;
    double expected = 0; // the length the clip should have had, when shortClip
};

// Runs the whole conversion of options: the clip is written to ".NAME.PID.part" beside OUTPUT and
// renamed over OUTPUT only when written through. Progress goes to reporter; the watchdog must
// be running and is fed as work moves. Throws ConvertError with a readable sentence on any
// failure, after removing the part file; nothing is written when OUTPUT is SOURCE itself.
ConvertResult convert(const Options& options, ProgressReporter& reporter, Watchdog& watchdog);

} // namespace vorkast
