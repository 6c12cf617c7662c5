// Inside the exact cut: the machine every codec shares (a re-encoded head, groups copied as
// they come, a re-encoded tail) and the hooks where a codec's own way comes in. Each codec's
// way is a class of its own in exact_cut_<codec>.cpp; only exact_cut.cpp and those include this.
#pragma once

#include "exact_cut.h"
#include "reference_rule.h"

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vorkast {

// Threads for the decoder and encoder of the frames at the cuts.
int cutThreads(const Options& options);
// A decoder for the source's video. Throws ConvertError when the libraries lack one.
CodecContextPtr openCutDecoder(const AVStream* in, const Options& options);
// An encoder of `codec` set up like the source's stream, not yet opened: size, pixel format,
// colours, interlacing, rate, no B-frames, threads, bit-exactness.
CodecContextPtr recoderLike(const AVStream* in, const AVCodec* codec, AVRational rate,
                            const Options& options);
// Opens an MPEG-1/2 or MPEG-4 Visual encoder with a fixed fine quantiser, in groups that need
// nothing before them; nullptr where it does not open.
CodecContextPtr openInClosedGroups(CodecContextPtr enc);
// Replaces a packet's data, keeping its properties.
void replaceData(AVPacket* packet, const std::vector<std::uint8_t>& bytes);
class ExactVideoCut::Impl {
public:
    using Writer = StreamRoute::Writer;
    virtual ~Impl() = default;

    // Describes the output stream; false when the frames cannot be encoded again with the
    // source's settings (the caller then makes the keyframe cut).
    virtual bool prepare(AVFormatContext* output) = 0;
    // Takes the source's packets in decode order, as read.
    virtual void accept(AVPacket* packet, const Writer& write) = 0;
    // The source has ended: passes on what the codec's ordering still holds, then finishes.
    virtual void finish(const Writer& write) = 0;
    virtual double shownLate() const { return 0; }

    bool finished() const { return m_done; }
    double progress() const { return m_progress; }

protected:
    // groupsCloseAtIdr: a copy may begin at any picture startsCopy() accepts and nothing after
    // it refers to a picture before it, nor is shown before it (H.264 IDR pictures). Otherwise
    // a group's first picture may be followed by pictures shown before it that refer to the
    // group before (MPEG open groups): those are encoded again with the head.
    Impl(const AVStream* in, AVStream* out, const Options& options, AVRational rate, Ticks absStart,
         Ticks absEnd, bool groupsCloseAtIdr);

    // Whether a copy can begin with this packet.
    virtual bool startsCopy(const AVPacket* packet) const = 0;
    // An encoder for frames at a cut, opened; nullptr where it cannot be.
    virtual CodecContextPtr openEncoder() const = 0;
    // Sets the coding type of the n-th frame given to an encoder (from 1).
    virtual void markPicture(AVFrame*, std::int64_t) const {}
    // Gives the re-encoded packets decode times that fit among the copied ones; afterDts is the
    // last copied packet's (min() for the head).
    virtual void fitDecodeTimes(std::int64_t) {}
    // Puts a packet's data the way the output stores it.
    virtual void repack(AVPacket*, bool /*recoded*/) {}
    // Times a packet as the output container counts them, before the section's start is taken
    // off.
    virtual void restamp(AVPacket*) {}

    // For codecs whose frames encoded again carry their own sequence headers: the stream is
    // described as the source's, with room in its stated rate for the finer frames. False when
    // no encoder opens.
    bool describeWithOwnHeaders();

    // The shared machine, in decode order with display times known.
    void acceptInOrder(AVPacket* packet, const Writer& write);
    void finishInOrder(const Writer& write);
    // MPEG: passes on each picture with the display time the reference rule gave it; a
    // reference picture is shown no earlier than it is decoded.
    HeldPictures::Pass acceptsShown(const Writer& write);
    void emit(AVPacket* packet, const Writer& write);

    const AVStream* m_in;
    AVStream* m_out;
    const Options& m_options;
    AVRational m_rate;
    const bool m_groupsCloseAtIdr;
    std::int64_t m_startTs = 0, m_endTs = 0, m_lastTs = 0, m_frameTs = 1;
    bool m_done = false;
    std::vector<PacketPtr> m_recoded; // encoded again, waiting to be written
    std::vector<PacketPtr> m_held;    // the group being copied

private:
    void hold(AVPacket* packet);
    // Decodes (packet nullptr: drains) and encodes the frames of the section it yields.
    void decode(CodecContextPtr& decoder, const AVPacket* packet);
    void recode(AVFrame* frame, std::int64_t pts);
    void receiveEncoded();
    // Drains the head's decoder and encoder and writes the head, decode times before the first
    // copied packet's.
    void endHead(const Writer& write);
    // Writes the encoded frames with decode times after afterDts (source time base, absolute).
    void writeRecoded(const Writer& write, std::int64_t afterDts);
    void copyHeld(std::size_t count, const Writer& write);

    bool m_copying = false;
    bool m_leading = false; // the first copied I-frame is held, frames shown before it follow
    std::int64_t m_recodeBefore = std::numeric_limits<std::int64_t>::max();
    std::int64_t m_maxCopiedPts = std::numeric_limits<std::int64_t>::min();
    std::vector<PacketPtr> m_context; // the group copied last, where groups do not close
    double m_progress = 0;
    std::int64_t m_keyDelay = 0;
    std::int64_t m_lastCopiedDts = std::numeric_limits<std::int64_t>::min();
    std::int64_t m_recodeFrom = std::numeric_limits<std::int64_t>::min();
    std::int64_t m_lastRecodedPts = std::numeric_limits<std::int64_t>::min();
    CodecContextPtr m_headDecoder;
    CodecContextPtr m_encoder;
    std::int64_t m_frameCount = 0;
    std::map<std::int64_t, std::int64_t> m_recodedPts; // encoder's frame number -> source pts
};

// Each codec's way; nullptr where the codec has none.
std::unique_ptr<ExactVideoCut::Impl> makeH264Cut(const AVStream* in, AVStream* out,
                                                 const Options& options, AVRational rate,
                                                 Ticks absStart, Ticks absEnd);
std::unique_ptr<ExactVideoCut::Impl> makeHevcCut(const AVStream* in, AVStream* out,
                                                 const Options& options, AVRational rate,
                                                 Ticks absStart, Ticks absEnd);
std::unique_ptr<ExactVideoCut::Impl> makeMpeg12Cut(const AVStream* in, AVStream* out,
                                                   const Options& options, AVRational rate,
                                                   Ticks absStart, Ticks absEnd);
std::unique_ptr<ExactVideoCut::Impl> makeMpeg4Cut(const AVFormatContext* input, const AVStream* in,
                                                  AVStream* out, const Options& options,
                                                  AVRational rate, Ticks absStart, Ticks absEnd);

} // namespace vorkast
