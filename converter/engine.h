// The engine: one section of one source, cut and converted into one clip.
#pragma once

#include "convert_error.h"
#include "cut_plan.h"
#include "options.h"
#include "source.h"

namespace vorkast {

class ProgressReporter;
class Watchdog;

// The facts the plan goes by, read from the opened source and the clip's container (nullptr:
// one that holds every kind of stream).
SourceFacts factsOf(const Source& source, const AVOutputFormat* format);

// What reading from the start found about the anchor, for the plan.
StartFound foundAt(const StartPoint& start, const AVFormatContext* input, int anchor,
                   Ticks absStart, bool mended);

struct ConvertResult {
    double seconds = 0; // the clip's length, counted from the start asked for
    // The source ended or broke before the clip reached the length it should have (what was
    // asked, up to the source's stated end), by more than a frame. The clip is kept.
    bool shortClip = false;
    double expected = 0; // the length the clip should have had, when shortClip
    // The clip failed its check and was put in place all the same (-check keep).
    bool checkFailed = false;
};

// The clip failed its check (-check on): the part file is removed. The text names the findings.
class CheckFailed : public ConvertError {
public:
    using ConvertError::ConvertError;
};

// Runs the whole conversion of options: the clip is written to ".NAME.PID.part" beside OUTPUT and
// renamed over OUTPUT only when written through. Progress goes to reporter; the watchdog must
// be running and is fed as work moves. Throws ConvertError with a readable sentence on any
// failure, after removing the part file; nothing is written when OUTPUT is SOURCE itself.
// Unless -check off, the clip is checked against the source before it is put in place, the
// line "check passed/failed ..." printed; a clip that fails throws CheckFailed (-check on).
ConvertResult convert(const Options& options, ProgressReporter& reporter, Watchdog& watchdog);

// -check-clip: checks options.checkClip against the source, start and length of options and
// prints the line. Returns whether it holds; throws CheckInputError when it cannot be checked.
bool checkOnly(const Options& options, Watchdog& watchdog);

} // namespace vorkast
