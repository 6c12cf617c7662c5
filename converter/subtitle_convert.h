// Subtitles the clip's container cannot hold as they are: text subtitles written again in the
// text codec the container has (mov_text in MP4 and MOV, WebVTT in WebM), cut to the section.
// Whatever the container cannot hold either way is left out with a line saying so.
#pragma once

#include "libav_ptr.h"
#include "route.h"

#include <functional>
#include <memory>

namespace vorkast {

// Whether subtitles of this codec are text (SubRip, ASS, mov_text, WebVTT), not pictures.
bool isTextSubtitle(AVCodecID id);

// The text subtitle codec the container stores, or AV_CODEC_ID_NONE where it has none (AVI,
// MPEG, ASF).
AVCodecID containerTextSubtitles(const AVOutputFormat* format);

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
