// The steps of one cut that engine.cpp runs in order, for the joined clip (join.cpp) to run
// once per range into one clip. engine.cpp's convert() is the map of how they fit together.
#pragma once

#include "clip_writer.h"
#include "cut_plan.h"
#include "engine.h"
#include "exact_cut.h"
#include "options.h"
#include "route.h"
#include "source.h"
#include "subtitle_convert.h"
#include "timestamp_repair.h"
#include "transcoder.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorkast {

class PartFile;
class ProgressReporter;
class Watchdog;

namespace steps {

std::string fmtSeconds(double s);
// "audio stream 2 (pcm_s16le)".
std::string streamName(const AVStream* stream);
void announceLeftOut(const AVStream* stream, const std::string& why);
std::string subtitlesMissingWhy(const AVStream* stream, const AVOutputFormat* format);

CutRequest requestOf(const Options& options);
int anchorIndex(const CutPlan& plan, const Source& source);

// Where reading starts, and the timestamp repair that reading carries on with.
struct Reading {
    StartPoint start;
    std::optional<TimestampRepair> repair; // set where the timeline was mended
};
Reading findStart(Source& source, const std::optional<MendedTimeline>& mended, const CutPlan& plan,
                  int anchor, const OnRead& alive);

// The streams of a plan, before any is set up: copied ones, text subtitles written again in the
// container's codec, and the routes of encoded ones (already set up).
struct StreamChoice {
    std::vector<int> copied;
    std::vector<int> converted;
};
StreamChoice chooseStreams(const CutPlan& plan, const Source& source, bool videoGone,
                           ClipWriter& writer, const Options& options, const Section& section,
                           std::vector<std::unique_ptr<StreamRoute>>& routes);
// The clip's streams for the copied ones, described as the source's.
std::vector<AVStream*> addCopiedStreams(const std::vector<int>& copied, const CutPlan& plan,
                                        const AVFormatContext* input, ClipWriter& writer,
                                        const Options& options);

// What a run knows once its plan has met the source: where reading goes on and the section.
struct Placed {
    StartPoint start;
    SettledStart settled; // the section, absolute ticks
    Section section;      // the same in seconds, for the routes
    double asked = 0;     // what the reports count up to
    Ticks saidEarly = 0;  // a keyframe cut said to start this long before START
};

// Where the copied streams begin, and the exact cut's route where there is one.
struct CopyStart {
    Ticks from = 0;
    ExactVideoCut* exact = nullptr;
    bool headHeld = false; // an exact cut that may encode a head, held back until the copy begins
};
CopyStart placeCopies(Source& source, bool mended, const CutPlan& plan, const SourceFacts& facts,
                      const StartFound& found, Placed& placed, int anchor, AVStream* anchorOut,
                      ClipWriter& writer, const Options& options,
                      std::vector<std::unique_ptr<StreamRoute>>& routes, const OnRead& alive);

void routeCopies(const StreamChoice& streams, const CutPlan& plan, const AVFormatContext* input,
                 const std::vector<AVStream*>& copyOut, const Section& section, Ticks copiesFrom,
                 double late, ClipWriter& writer, LinesAcrossStart& linesAcross,
                 std::vector<std::unique_ptr<StreamRoute>>& routes);

bool runRoutes(AVFormatContext* input, std::deque<PacketPtr>& pending, TimestampRepair& repair,
               const LinesAcrossStart& linesAcross,
               std::vector<std::unique_ptr<StreamRoute>>& routes, const StreamRoute::Writer& write,
               ProgressReporter& reporter, double asked, Watchdog& watchdog);
[[noreturn]] void stalled(const Watchdog& watchdog);
// Writes the clip's end; the caller puts it in place. A clip of no packet is refused, as a
// damaged source where reading broke off (whole false); where: "from the start on".
void closeClip(ClipWriter& writer, bool whole, const std::string& where);
// Says that the source's clock jumps, and how often, where it does.
void sayLeaps(int leaps);
std::optional<MendedTimeline> mendTimeline(Source& source, Watchdog& watchdog);

} // namespace steps

} // namespace vorkast
