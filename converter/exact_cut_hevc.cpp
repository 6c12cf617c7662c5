// Exact cuts of HEVC: copies begin at random access points (IDR, CRA, BLA pictures). x265
// encodes the frames at the cuts with the source's size, chroma, bit depth, aspect and colours,
// its parameter sets in the stream before its pictures; the source's sets are sent again before
// the first copied picture, so a decoder switches back. A CRA copied after frames encoded again
// becomes a BLA picture: its leading pictures (RASL ones refer to pictures before it, which the
// clip no longer holds) are left out of the copy and encoded again with the head, and the BLA
// tells decoders a new sequence starts there, its picture order counted afresh.
#include "exact_cut_core.h"

#include "codec_traits.h"
#include "hevc_units.h"

#include <algorithm>

namespace vorkast {

namespace {

class HevcCut final : public ExactVideoCut::Impl {
public:
    HevcCut(const AVStream* in, AVStream* out, const Options& options, AVRational rate,
            Ticks absStart, Ticks absEnd)
        : Impl(in, out, options, rate, absStart, absEnd, false) {}

    bool prepare(AVFormatContext* output) override {
        const AVCodecParameters* par = m_in->codecpar;
        if (const auto config = hevc::readConfig(par->extradata, par->extradata_size))
            m_source = *config;
        else if (par->extradata_size > 0 && par->extradata[0] == 1)
            return false; // an hvcC record that does not read
        // Checked without opening an encoder, which a cut from one random access point to
        // another never needs.
        if (!recoderLike(m_in, x265(), m_rate, m_options))
            return false;
        // The clip stores units behind lengths where its container and the source do (MP4,
        // Matroska); an output with start codes in its sample description gets start codes,
        // which the muxer turns into lengths itself.
        m_lengthPrefixed =
            m_source.lengthSize > 0 && (output->oformat->flags & AVFMT_GLOBALHEADER) != 0;
        AVCodecParameters* outPar = m_out->codecpar;
        if (m_lengthPrefixed && m_source.lengthSize != 4 && outPar->extradata_size > 21)
            outPar->extradata[21] = static_cast<std::uint8_t>(outPar->extradata[21] | 3);
        // The parameter sets change within the stream: MP4 and QuickTime then take the sample
        // entry that allows it (hev1, the muxer's choice for HEVC), not hvc1.
        outPar->codec_tag = 0;
        outPar->video_delay = par->video_delay;
        return true;
    }

    void accept(AVPacket* packet, const Writer& write) override {
        // A transport stream may bring its parameter sets only with its pictures.
        if (m_source.sets.empty() && packet->data)
            for (const hevc::Unit& unit :
                 h264::splitUnits(packet->data, std::size_t(packet->size), m_source.lengthSize))
                if (hevc::isParameterSet(hevc::unitType(unit)))
                    m_source.sets.emplace_back(unit.data, unit.data + unit.size);
        if (!m_done)
            acceptInOrder(packet, write);
    }

    void finish(const Writer& write) override { finishInOrder(write); }

private:
    bool startsCopy(const AVPacket* packet) const override {
        return canStartDecoding(CodecFamily::Hevc, packet, m_source.lengthSize);
    }

    // libx265, where it encodes the source's pixel format (builds differ in the bit depths they
    // take); nullptr otherwise.
    const AVCodec* x265() const {
        const AVCodec* codec = avcodec_find_encoder_by_name("libx265");
        for (const AVPixelFormat* f = codec ? codec->pix_fmts : nullptr; f && *f != AV_PIX_FMT_NONE;
             ++f)
            if (*f == m_in->codecpar->format)
                return codec;
        return nullptr;
    }

    CodecContextPtr openEncoder() const override {
        CodecContextPtr enc = recoderLike(m_in, x265(), m_rate, m_options);
        if (!enc)
            return nullptr;
        enc->gop_size = 1 << 20;
        Dictionary settings;
        av_dict_set(&settings.dict, "preset", "ultrafast", 0);
        av_dict_set(&settings.dict, "crf", "16", 0);
        // Parameter sets before each keyframe, the same PPS throughout (x265 otherwise tunes
        // it per group under the same id), keyframes only where asked, no version text in the
        // stream, nothing on the terminal but errors, and the threads asked for.
        const int threads = cutThreads(m_options);
        const std::string params =
            "repeat-headers=1:opt-qp-pps=0:opt-ref-list-length-pps=0:scenecut=0:open-gop=0:"
            "info=0:log-level=error:frame-threads=1:pools=" +
            std::to_string(threads);
        av_dict_set(&settings.dict, "x265-params", params.c_str(), 0);
        if (avcodec_open2(enc.get(), enc->codec, &settings.dict) < 0)
            return nullptr;
        return enc;
    }

    // Puts a packet's units the way the output stores them. The first picture copied after
    // frames encoded again gets the source's parameter sets, a CRA among its units turned into
    // a BLA; in a start-code stream every copied random access point brings the sets it needs.
    void repack(AVPacket* packet, bool recoded) override {
        const bool firstCopied = !recoded && !m_copied;
        const bool afterHead = firstCopied && m_recodedBefore;
        m_recodedBefore = m_recodedBefore || recoded;
        m_copied = m_copied || !recoded;
        const int from = recoded ? 0 : m_source.lengthSize;
        const auto units = h264::splitUnits(packet->data, std::size_t(packet->size), from);
        const bool irap = std::any_of(units.begin(), units.end(), [](const hevc::Unit& u) {
            return hevc::isIrap(hevc::unitType(u));
        });
        const bool hasSets = std::any_of(units.begin(), units.end(), [](const hevc::Unit& u) {
            return hevc::isParameterSet(hevc::unitType(u));
        });
        bool setsDue = !recoded && irap && !hasSets && (afterHead || !m_lengthPrefixed);
        if (!recoded && !setsDue && !afterHead && m_lengthPrefixed && from == 4)
            return;
        hevc::Bytes bytes;
        bytes.reserve(std::size_t(packet->size) + 512);
        const auto append = [&](const hevc::Unit& unit) {
            h264::appendUnit(bytes, unit, m_lengthPrefixed);
        };
        for (const hevc::Unit& unit : units) {
            const int type = hevc::unitType(unit);
            if (setsDue && type != hevc::kAud) {
                for (const hevc::Bytes& set : m_source.sets)
                    append({set.data(), set.size()});
                setsDue = false;
            }
            if (afterHead && type == hevc::kCra) {
                // Its leading pictures were left out of the copy.
                hevc::Bytes bla(unit.data, unit.data + unit.size);
                bla[0] = hevc::withType(bla[0], hevc::kBlaNLp);
                append({bla.data(), bla.size()});
                continue;
            }
            append(unit);
        }
        replaceData(packet, bytes);
    }

    hevc::Config m_source;
    bool m_lengthPrefixed = false;
    bool m_recodedBefore = false; // frames encoded again have been written
    bool m_copied = false;        // a copied packet has been written
};

} // namespace

std::unique_ptr<ExactVideoCut::Impl> makeHevcCut(const AVStream* in, AVStream* out,
                                                 const Options& options, AVRational rate,
                                                 Ticks absStart, Ticks absEnd) {
    return std::make_unique<HevcCut>(in, out, options, rate, absStart, absEnd);
}

} // namespace vorkast
