// Mending the source's timestamps before the cut sees them: joined recordings whose clock leaps
// and damaged files whose timestamps jump by hours.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

namespace vorkast {

// A leap is a video or audio packet more than 10 s away from where its stream should continue.
// Where the container allows its clock to restart (transport and program streams), the packet
// and all after it are moved back onto the timeline, as players do. Elsewhere a leaping packet
// is dropped; a new timeline that holds for several packets in a row is taken as the stream's
// own (a real gap).
class TimestampRepair {
public:
    explicit TimestampRepair(const AVFormatContext* input);

    // Adjusts the packet's timestamps in place; false when it is to be left out.
    bool repair(AVPacket* packet);
    // How many leaps were mended or dropped.
    int leaps() const { return m_leaps; }
    // Seconds the timeline was shortened by (a leap forward moved back), so the source's stated
    // length overstates what it holds by this much.
    double removedSeconds() const;

private:
    struct Track {
        std::int64_t next = AV_NOPTS_VALUE; // where the stream continues, in AV_TIME_BASE
        int dropped = 0;                    // leaping packets dropped in a row
    };
    const AVFormatContext* m_input;
    bool m_restartingClock;
    std::vector<Track> m_tracks;
    std::int64_t m_offset = 0;             // added to every timestamp, in AV_TIME_BASE
    std::int64_t m_clock = AV_NOPTS_VALUE; // the latest video or audio time, in AV_TIME_BASE
    int m_leaps = 0;
};

// A source whose clock restarts, read through once: the timestamps a seek goes by are the
// unmended ones, so a start on the mended timeline is found here instead, with the repair's
// state at that point for reading on from it.
class MendedTimeline {
public:
    // Where reading starts: the byte position of the chosen keyframe (-1: the file's start),
    // the repair as it stood just before it, and the times a start point needs.
    struct Start {
        std::int64_t pos = -1;
        TimestampRepair repair;
        double keyframeTime = 0; // absolute seconds of the keyframe, mended
        double shownTime = 0;    // absolute seconds of the anchor's frame on screen at the start
    };

    // Whether the clock of a source that may restart it seems to leap: times sampled across
    // the file that do not grow with its bytes. Cheap: a few seeks by bytes. Leaves the
    // position anywhere.
    static bool mayLeap(AVFormatContext* input);
    // Reads every packet once; nullopt when the clock never leaps after all. onRead shows the
    // watchdog that work moves.
    static std::optional<MendedTimeline> scan(AVFormatContext* input, int video, int audio,
                                              const std::function<void()>& onRead);

    int leaps() const { return m_leaps; }
    // Seconds from the first timestamp to the end of the last packet, on the mended timeline.
    double duration() const { return m_duration; }
    // The last keyframe of anchor at or before absStart (absolute, mended seconds) and the
    // frame on screen there; the file's start when none is.
    Start startAt(const AVFormatContext* input, int anchor, double absStart) const;

private:
    struct Keyframe {
        int stream;
        double shown;
        std::int64_t pos;
        TimestampRepair repair;
    };
    std::vector<Keyframe> m_keyframes;             // in file order
    std::vector<std::vector<double>> m_shownTimes; // per stream, sorted; video and audio only
    int m_leaps = 0;
    double m_duration = -1;
};

} // namespace vorkast
