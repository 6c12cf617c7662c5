// Exact cuts of MPEG-4 Visual: copies begin at I-pictures. From AVI, pictures may come packed
// two to a packet and without display times; they are taken apart and timed here, and an AVI
// clip gets one packet a frame with no holes.
#include "exact_cut_core.h"

#include "codec_traits.h"
#include "container_traits.h"
#include "packed_pictures.h"
#include "reference_rule.h"

#include <optional>

namespace vorkast {

namespace {

class Mpeg4Cut final : public ExactVideoCut::Impl {
public:
    Mpeg4Cut(const AVFormatContext* input, const AVStream* in, AVStream* out,
             const Options& options, AVRational rate, Ticks absStart, Ticks absEnd)
        : Impl(in, out, options, rate, absStart, absEnd, false),
          m_mayBePacked(mayHoldPackedPictures(in, containerTraits(input->iformat))),
          m_shownLater(in->time_base) {}

    bool prepare(AVFormatContext* output) override {
        const AVCodecParameters* par = m_in->codecpar;
        m_outputWithoutDisplayTimes = !containerTraits(output->oformat).storesDisplayTimes;
        if (m_outputWithoutDisplayTimes)
            m_out->time_base = av_inv_q(m_rate); // one step of its clock for each picture
        // Pictures packed two to a packet (B-frames stored with the picture before them) are
        // taken apart, so each packet holds one picture in decode order.
        m_unpacker.emplace(m_in, "cannot prepare the copied video for an exact cut");
        // The source's own tag where the container knows it, so decoders treat the copied
        // pictures as they treat the source's.
        if (output->oformat->codec_tag &&
            av_codec_get_id(output->oformat->codec_tag, par->codec_tag) == par->codec_id)
            m_out->codecpar->codec_tag = par->codec_tag;
        return describeWithOwnHeaders();
    }

    void accept(AVPacket* packet, const Writer& write) override {
        if (m_done)
            return;
        notePacked(packet);
        m_unpacker->take(packet, unpacked(write));
    }

    void finish(const Writer& write) override {
        if (m_done)
            return;
        m_unpacker->finish(unpacked(write));
        if (!m_done)
            m_shownLater.finish(m_frameTs, acceptsShown(write));
        finishInOrder(write);
    }

    double shownLate() const override {
        if (m_in->codecpar->video_delay <= 0 || !m_outputWithoutDisplayTimes)
            return 0;
        return static_cast<double>(m_frameTs) * av_q2d(m_in->time_base);
    }

private:
    // MPEG-4 Visual in AVI with B-frames packed two to a packet: a decoder stamps each picture
    // a frame after the time it is shown at, and the times given below are such stamps. The
    // section is moved a frame later to match, so the first picture kept is the one on screen
    // at the start. A stream tells it by its first packet with two pictures, which comes with
    // the first B-frames, before any picture has been given its time.
    void notePacked(const AVPacket* packet) {
        if (!m_mayBePacked || m_stampedLate || !holdsPackedPictures(packet))
            return;
        m_stampedLate = true;
        m_startTs += m_frameTs;
        m_endTs += m_frameTs;
        m_lastTs += m_frameTs;
    }

    // MPEG-4 Visual in containers without display times (AVI): pictures without one are timed
    // by the reference rule and passed on in decode order; packets that have one keep it.
    PictureUnpacker::Take unpacked(const Writer& write) {
        return [this, &write](PacketPtr packet) {
            if (m_done)
                return;
            const PictureType type = pictureType(CodecFamily::Mpeg4Part2, packet.get());
            if (type == PictureType::I)
                packet->flags |= AV_PKT_FLAG_KEY;
            else
                packet->flags &= ~AV_PKT_FLAG_KEY;
            // Without B-frames every picture is shown as it is decoded.
            const bool reference = type != PictureType::B && m_in->codecpar->video_delay > 0;
            m_shownLater.take(std::move(packet), reference, acceptsShown(write));
        };
    }

    bool startsCopy(const AVPacket* packet) const override {
        return (packet->flags & AV_PKT_FLAG_KEY) &&
               pictureType(CodecFamily::Mpeg4Part2, packet) == PictureType::I;
    }

    CodecContextPtr openEncoder() const override {
        CodecContextPtr enc =
            recoderLike(m_in, avcodec_find_encoder_by_name("mpeg4"), m_rate, m_options);
        if (!enc)
            return nullptr;
        // A stream that reorders is decoded a picture late throughout; the frames encoded again
        // must say they may reorder too (every picture is made I or P below), or a decoder shows
        // them a picture early and repeats one at the seam.
        if (m_in->codecpar->video_delay > 0)
            enc->max_b_frames = 1;
        return openInClosedGroups(std::move(enc));
    }

    void markPicture(AVFrame* frame, std::int64_t n) const override {
        frame->pict_type = n == 1 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_P;
    }

    // The frames encoded again bring their own layer header: the first copied picture needs
    // the source's back.
    void repack(AVPacket* packet, bool recoded) override {
        if (recoded || !m_volDue || !(packet->flags & AV_PKT_FLAG_KEY))
            return;
        m_volDue = false;
        const AVCodecParameters* par = m_in->codecpar;
        if (mpeg4::hasVolHeader(packet->data, static_cast<std::size_t>(packet->size)) ||
            par->extradata_size <= 0)
            return;
        std::vector<std::uint8_t> bytes(par->extradata, par->extradata + par->extradata_size);
        bytes.insert(bytes.end(), packet->data, packet->data + packet->size);
        replaceData(packet, bytes);
    }

    void restamp(AVPacket* packet) override {
        if (!m_outputWithoutDisplayTimes)
            return;
        // Such a container counts pictures, and a decoder shows a picture that others are
        // predicted from when the next one is decoded: pictures left out (before the start, not
        // coded) must leave no holes, or every picture after one shows a frame late.
        const std::int64_t late = m_in->codecpar->video_delay > 0 ? m_frameTs : 0;
        packet->dts = m_startTs - late + m_written++ * m_frameTs;
        if (packet->pts == AV_NOPTS_VALUE || packet->pts < packet->dts)
            packet->pts = packet->dts;
    }

    const bool m_mayBePacked;                  // with B-frames, read from AVI
    bool m_outputWithoutDisplayTimes = false;  // an AVI clip
    bool m_stampedLate = false;                // packed: pictures are stamped a frame after shown
    std::optional<PictureUnpacker> m_unpacker; // one picture per packet
    std::int64_t m_written = 0;                // video packets written
    bool m_volDue = true;      // the first copied picture still needs a layer header
    HeldPictures m_shownLater; // pictures waiting for their display times
};

} // namespace

std::unique_ptr<ExactVideoCut::Impl> makeMpeg4Cut(const AVFormatContext* input, const AVStream* in,
                                                  AVStream* out, const Options& options,
                                                  AVRational rate, Ticks absStart, Ticks absEnd) {
    return std::make_unique<Mpeg4Cut>(input, in, out, options, rate, absStart, absEnd);
}

} // namespace vorkast
