// Exact cuts of MPEG-1 and MPEG-2 video: copies begin at I-pictures that bring a sequence
// header; the pictures of an open group shown before its I-picture are encoded again with the
// head. Program streams leave most display and decode times out, and both are worked out here.
#include "exact_cut_core.h"

#include "codec_traits.h"

#include <algorithm>

namespace vorkast {

namespace {

class Mpeg12Cut final : public ExactVideoCut::Impl {
public:
    Mpeg12Cut(const AVStream* in, AVStream* out, const Options& options, AVRational rate,
              Ticks absStart, Ticks absEnd)
        : Impl(in, out, options, rate, absStart, absEnd, false), m_shownLater(in->time_base) {}

    bool prepare(AVFormatContext*) override { return describeWithOwnHeaders(); }

    // Program streams leave the display time out of most I- and P-pictures: those wait for it.
    void accept(AVPacket* packet, const Writer& write) override {
        if (m_done)
            return;
        const bool reference = isReference(pictureType(CodecFamily::Mpeg12, packet));
        m_shownLater.take(packet, reference, acceptsShown(write));
    }

    void finish(const Writer& write) override {
        if (m_done)
            return;
        m_shownLater.finish(m_frameTs, acceptsShown(write));
        finishInOrder(write);
    }

private:
    // An I-picture that brings its sequence header, where a decoder can begin.
    bool startsCopy(const AVPacket* packet) const override {
        return (packet->flags & AV_PKT_FLAG_KEY) &&
               mpeg12::hasSequenceHeader(packet->data, static_cast<std::size_t>(packet->size));
    }

    CodecContextPtr openEncoder() const override {
        CodecContextPtr enc =
            recoderLike(m_in, avcodec_find_encoder(m_in->codecpar->codec_id), m_rate, m_options);
        if (!enc)
            return nullptr;
        return openInClosedGroups(std::move(enc));
    }

    // MPEG-1/2: a program stream keeps a time only for the first picture that starts in each of
    // its packets, and a reader gives an I- or P-picture without one the display time of the
    // picture before it as its decode time. The re-encoded pictures, all I or P, take those
    // decode times where the copied ones around them leave room.
    void fitDecodeTimes(std::int64_t afterDts) override {
        std::int64_t before = std::numeric_limits<std::int64_t>::max();
        if (afterDts == std::numeric_limits<std::int64_t>::min() && !m_held.empty() &&
            m_held.front()->dts != AV_NOPTS_VALUE)
            before = m_held.front()->dts; // the head: decoded before the first copied picture
        for (std::size_t k = m_recoded.size(); k-- > 0;) {
            AVPacket* packet = m_recoded[k].get();
            const std::int64_t wanted = k > 0 ? m_recoded[k - 1]->pts : packet->pts - m_frameTs;
            packet->dts = std::max(packet->dts, std::min(wanted, before - 1));
            before = packet->dts;
        }
    }

    HeldPictures m_shownLater;
};

} // namespace

std::unique_ptr<ExactVideoCut::Impl> makeMpeg12Cut(const AVStream* in, AVStream* out,
                                                   const Options& options, AVRational rate,
                                                   Ticks absStart, Ticks absEnd) {
    return std::make_unique<Mpeg12Cut>(in, out, options, rate, absStart, absEnd);
}

} // namespace vorkast
