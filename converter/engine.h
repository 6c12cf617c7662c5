// The engine: one section of one source, cut and converted into one clip.
#pragma once

#include "options.h"

namespace vorkast {

class ProgressReporter;
class Watchdog;

// Runs the whole conversion of options: the clip is written to ".NAME.part" beside OUTPUT and
// renamed over OUTPUT only when complete. Progress goes to reporter; the watchdog must be
// running and is fed as work moves. Returns the seconds of the clip. Throws ConvertError with a
// readable sentence on any failure, after removing the part file.
double convert(const Options& options, ProgressReporter& reporter, Watchdog& watchdog);

} // namespace vorkast
