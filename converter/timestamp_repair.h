// Mending the source's timestamps before the cut sees them: joined recordings whose clock leaps
// and damaged files whose timestamps jump by hours.
#pragma once

#include <cstdint>
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

} // namespace vorkast
