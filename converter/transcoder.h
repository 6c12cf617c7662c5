// One stream decoded, cut to the section, filtered and encoded into the clip.
//
// The section is cut on decoded frames: video keeps the frame on screen at the start and every
// frame shown before the end; audio is cut to the sample. Both count their time from the start;
// where the frame clock moves the pictures later, the sound starts that much earlier (see
// ClipOrigin), so the clip plays picture and sound in the source's step.
#pragma once

#include "filters.h"
#include "libav_ptr.h"
#include "options.h"
#include "route.h"

#include <functional>
#include <memory>
#include <optional>

namespace vorkast {

// Where encoded sound starts in the source, absolute seconds, once the video knows it: the
// section's start less as much as the frame clock moves the pictures later (less than a
// frame). The sound waits for it, so picture and sound keep the source's step.
struct ClipOrigin {
    std::optional<double> seconds;
};

// The section in absolute source seconds; end is +infinity when it runs to the source's end.
struct Section {
    double start = 0;
    double end = 0;
    double length() const { return end - start; }
    // Shared by encoded video and sound; none where only one of them is encoded.
    std::shared_ptr<ClipOrigin> origin;
};

class Transcoder : public StreamRoute {
public:
    // The encoder's settings are checked and the encoder opened here, before any file exists.
    static std::unique_ptr<Transcoder> forVideo(const AVFormatContext* input, const AVStream* in,
                                                AVFormatContext* output, const Options& options,
                                                const Section& section);
    static std::unique_ptr<Transcoder> forAudio(const AVStream* in, AVFormatContext* output,
                                                const Options& options, const Section& section);

    // Decodes a packet of the source stream; finished frames go to the writer.
    void accept(AVPacket* packet, const Writer& write) override { decode(packet, write); }
    // Drains decoder, filters and encoder at the end of the section or of the source.
    void finish(const Writer& write) override;
    bool finished() const override { return m_closed || m_sectionDone; }
    // Seconds of the clip encoded so far, to the end of the last frame.
    double progress() const override { return m_progress; }
    AVStream* outputStream() const { return m_out; }

    // A joined clip (join.h) goes on with `following` more sections of the source after this
    // one, through the same encoder: the end of a section then leaves it open.
    void joinSections(int following) { m_sectionsLeft = following; }
    // Moves on to the next section, its first frame placed at clipStart seconds of the clip:
    // drains what the decoder still holds of the section before and cuts anew. Call once the
    // reading has moved to the next section's start.
    void nextSection(const Section& next, double clipStart, const Writer& write);

protected:
    Transcoder(const AVStream* in, const Section& section);
    // Takes a decoded frame: cuts it to the section and feeds the filters via push().
    virtual void takeFrame(AVFrame* frame, const Writer& write) = 0;
    // Sees each source packet before it is decoded.
    virtual void notePacket(const AVPacket*) {}
    // Feeds anything still held back, before the filters close.
    virtual void flushHeld(const Writer&) {}
    // Where the clip ends, in the filter input's time base, when the source ends first.
    virtual std::int64_t endOfFed() const = 0;

    // The section's end is reached: closes the filter input at pts (see close()), or, while
    // sections follow in a joined clip, waits for the next one.
    void endSection(std::int64_t pts, const Writer& write);
    bool sectionDone() const { return m_sectionDone; }
    // Cuts m_section from its start again, its frames placed from clipStart seconds on in the
    // clip. The decoder has been drained and flushed.
    virtual void beginSection(double clipStart) = 0;

    void openDecoder(int threads);
    void openEncoder(const AVCodec* codec, AVDictionary** settings,
                     const std::string& settingsOwner);
    // bitexact: also strip the encoder's own version text from the stream (x264, x265 SEI).
    void createOutputStream(AVFormatContext* output, bool bitexact);
    // Hands frame to the filters, leaving it blank, and encodes what they give back.
    void push(AVFrame* frame, const Writer& write);
    // Ends the filter input at pts (filter input time base) and drains everything.
    void close(std::int64_t pts, const Writer& write);

    const AVStream* m_in;
    Section m_section;
    CodecContextPtr m_decoder;
    CodecContextPtr m_encoder;
    FilterChain m_filters;
    AVStream* m_out = nullptr;

private:
    // packet nullptr: drains the decoder.
    void decode(const AVPacket* packet, const Writer& write);
    void drainFilters(const Writer& write);
    void encode(AVFrame* frame, const Writer& write);
    void emit(AVPacket* packet, const Writer& write);

    FramePtr m_decoded = makeFrame();
    FramePtr m_filtered = makeFrame();
    PacketPtr m_encoded = makePacket();
    BitstreamFilterPtr m_strip; // removes SEI messages for -bitexact
    bool m_closed = false;
    int m_sectionsLeft = 0;     // joined sections still to come
    bool m_sectionDone = false; // this section has ended, a further one follows
    double m_progress = 0;
    std::int64_t m_lastDts = AV_NOPTS_VALUE; // of the last packet written, output time base
};

// The container's own encoder for a kind of stream, or the one named; nullptr when the
// container holds no such stream.
const AVCodec* chooseEncoder(const std::string& name, const AVOutputFormat* format,
                             AVMediaType type);

} // namespace vorkast
