// Subtitles the clip's container cannot hold as they are: text subtitles written again in the
// text codec the container has (mov_text in MP4 and MOV, WebVTT in WebM), cut to the section.
// Whatever the container cannot hold either way is left out with a line saying so.
#pragma once

#include "libav_ptr.h"
#include "route.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vorkast {

// Whether subtitles of this codec are text (SubRip, ASS, mov_text, WebVTT), not pictures.
bool isTextSubtitle(AVCodecID id);

// The text subtitle codec the container stores, or AV_CODEC_ID_NONE where it has none (AVI,
// MPEG, ASF).
AVCodecID containerTextSubtitles(const AVOutputFormat* format);

// Text subtitle lines already on screen where the clip's reading begins. Reading starts at a
// keyframe found by a seek, and a line stored before that point (Matroska keeps each line in
// the cluster where it starts) is never read there, though the clip should show the rest of it.
// Those lines come from a second look at the source, from a while before.
class LinesAcrossStart {
public:
    // A text subtitle stream of the clip whose lines are shown from absFrom (absolute source
    // seconds) on.
    void want(const AVStream* stream, double absFrom);
    bool empty() const { return m_wanted.empty(); }
    // Reads, from a second opening of the source at path, the wanted streams' lines that start
    // before their absFrom and are still shown then (up to kLookBack seconds before). onRead is
    // called for every packet read. A source that cannot be read so gives none.
    void read(const std::string& path, const AVIOInterruptCB& interrupt,
              const std::function<void()>& onRead);
    // The lines read, in the order stored, for the streams' routes before reading begins.
    std::vector<PacketPtr> take() { return std::move(m_lines); }
    // Whether the clip's own reading should leave the packet out: a line of a wanted stream
    // that starts before its absFrom was given by take(), or ends before it and is no use.
    bool repeats(const AVPacket* packet) const;

    // Seconds before a clip's start that a line may have begun and still be found.
    static constexpr double kLookBack = 30;

private:
    struct Wanted {
        int index;
        AVCodecID codec;
        AVRational timeBase;
        std::int64_t fromTs;
    };
    const Wanted* wanted(int index) const;
    std::vector<Wanted> m_wanted;
    std::vector<PacketPtr> m_lines;
};

class SubtitleConverter : public StreamRoute {
public:
    // absStart/absEnd: the section in absolute source seconds (absEnd +infinity to the end).
    // Returns nullptr when the source's subtitles are no text, the container has no text
    // subtitles, or the libraries lack the decoder or encoder; nothing is added then.
    static std::unique_ptr<SubtitleConverter> create(const AVStream* in, AVFormatContext* output,
                                                     double absStart, double absEnd);
    ~SubtitleConverter() override;

    // Takes a source packet of the stream: each line shown inside the section is written,
    // its time counted from the section's start and cut to the section.
    void accept(AVPacket* packet, const Writer& write) override;
    // Each line is written as it is read: nothing is held back.
    void finish(const Writer&) override {}
    bool finished() const override { return false; }
    double progress() const override { return 0; }
    bool holdsClipOpen() const override { return false; }

private:
    SubtitleConverter(const AVStream* in, CodecContextPtr decoder, CodecContextPtr encoder,
                      AVStream* out, double absStart, double absEnd);

    const AVStream* m_in;
    CodecContextPtr m_decoder;
    CodecContextPtr m_encoder;
    AVStream* m_out;
    std::int64_t m_startUs, m_endUs; // the section, AV_TIME_BASE units
    std::int64_t m_lastPts = AV_NOPTS_VALUE;
};

} // namespace vorkast
