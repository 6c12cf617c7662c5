// Between the demuxer and everything that reads packets (the cut, the preview's keyframe index,
// the job's probe): opens a source, reads its packets, mends its clock where asked, and hands
// out each packet with its facts (display_times.h) worked out once.
#pragma once

#include "container_traits.h"
#include "display_times.h"
#include "libav_owners.h"
#include "timestamp_repair.h"

#include <optional>
#include <string>
#include <vector>

namespace vorkast {

// Opens path with interrupt and reads its stream information. Throws ConvertError "cannot open
// the source file: ..." or "cannot read the source file: ...".
InputContextPtr openInput(const std::string& path, const AVIOInterruptCB& interrupt);

// The streams a cut and a preview go by: the best video (cover pictures, which come as
// one-frame video streams, never count; they are set to be discarded) and the best audio;
// -1 where there is none.
struct StreamChoice {
    int video = -1;
    int audio = -1;
};
StreamChoice chooseStreams(AVFormatContext* input);

// The source's first timestamp in seconds, which players count from; 0 when unknown.
double startSeconds(const AVFormatContext* input);

struct TimedPacket {
    PacketPtr packet;
    PacketFacts facts;
};

class PacketTimeline {
public:
    struct Options {
        // Mend clock leaps as the packets are read (TimestampRepair); packets it leaves out
        // are not handed out.
        bool repairClock = false;
    };

    // input stays the caller's and must outlive the timeline.
    explicit PacketTimeline(AVFormatContext* input);
    PacketTimeline(AVFormatContext* input, Options options);

    // The next packet of a stream that is not discarded; nullopt at the end or when reading
    // fails.
    std::optional<TimedPacket> next();
    // After a seek: nothing read before counts.
    void restart();

    const ContainerTraits& container() const { return m_container; }
    DisplayClock& clock(int stream) { return m_clocks[static_cast<std::size_t>(stream)]; }
    const AVStream* stream(int index) const { return m_input->streams[index]; }

private:
    AVFormatContext* m_input;
    Options m_options;
    ContainerTraits m_container;
    std::vector<DisplayClock> m_clocks;
    std::optional<TimestampRepair> m_repair;
};

} // namespace vorkast
