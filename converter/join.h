// A clip joining several ranges of one source (-range, repeated): each range is cut as a single
// clip would be, by the same plan (cut_plan.h) and routes, and the ranges follow each other in
// one clip, one chapter each, written through one part file.
//
// - Copied streams get routes of their own per range (a lossless profile's exact cut: frames at
//   both ends of each range encoded again, whole groups copied between), whose packets are moved
//   to the range's place in the clip. Decode times stay rising across a seam; copied sound
//   leaves out a range's first packets where they would overlap the range before by more than
//   half a packet, and follows on from the last one written, so no gap or overlap comes in and
//   the sound stays within half a packet of the picture.
// - Encoded streams keep one decoder and one encoder for the whole clip (Transcoder::
//   nextSection): every range's frames are decoded and given to the same encoder at times that
//   follow on, never encoded parts put together.
// - Each range's section is the one an exact cut settles (the picture on screen at its start to
//   the frame before the one on screen at its end), found before the clip's header is written,
//   so the clip's chapters and every range's place are known from the start; copied video is
//   always cut exactly.
#pragma once

#include "engine.h"

namespace vorkast {

// Like convert(), for options with ranges. Throws ConvertError, with nothing written, when a
// range starts or ends past the source's end, naming it ("range 2 (...)").
ConvertResult convertJoined(const Options& options, ProgressReporter& reporter, Watchdog& watchdog);

} // namespace vorkast
