// Exact cuts of H.264: copies begin at IDR pictures; the frames encoded again (by x264) get
// parameter sets with ids of their own, and the clip's sample description carries both kinds.
#include "exact_cut_core.h"

#include "codec_traits.h"
#include "h264_units.h"

#include <algorithm>
#include <cstring>

namespace vorkast {

namespace {

const char* x264Profile(int profile) {
    switch (profile) {
    case FF_PROFILE_H264_BASELINE:
    case FF_PROFILE_H264_CONSTRAINED_BASELINE:
        return "baseline";
    case FF_PROFILE_H264_MAIN:
        return "main";
    case FF_PROFILE_H264_HIGH:
        return "high";
    case FF_PROFILE_H264_HIGH_10:
        return "high10";
    case FF_PROFILE_H264_HIGH_422:
        return "high422";
    case FF_PROFILE_H264_HIGH_444_PREDICTIVE:
        return "high444";
    default:
        return nullptr;
    }
}

class H264Cut final : public ExactVideoCut::Impl {
public:
    H264Cut(const AVStream* in, AVStream* out, const Options& options, AVRational rate,
            Ticks absStart, Ticks absEnd)
        : Impl(in, out, options, rate, absStart, absEnd, true) {}

    // Chooses the ids of the re-encoded parameter sets and describes the output stream.
    bool prepare(AVFormatContext* output) override {
        const AVCodecParameters* par = m_in->codecpar;
        const auto config = h264::readConfig(par->extradata, par->extradata_size);
        if (!config)
            return false;
        m_source = *config;
        std::vector<bool> used(256, false);
        for (const auto* list : {&m_source.sps, &m_source.pps})
            for (const h264::Bytes& set : *list)
                if (auto id = h264::parameterSetId({set.data(), set.size()}); id && *id < 256)
                    used[*id] = true;
        m_spsId = 0;
        while (m_spsId < 32 && used[m_spsId])
            ++m_spsId;
        if (m_spsId == 32)
            return false;
        // The re-encoded frames' parameter sets, as an encoder with these settings writes them.
        CodecContextPtr probe = open(true);
        if (!probe)
            return false;
        const auto own = h264::readConfig(probe->extradata, probe->extradata_size);
        if (!own)
            return false;
        m_lengthPrefixed = (output->oformat->flags & AVFMT_GLOBALHEADER) != 0;
        h264::Config both = m_source;
        both.sps.insert(both.sps.end(), own->sps.begin(), own->sps.end());
        both.pps.insert(both.pps.end(), own->pps.begin(), own->pps.end());
        h264::Bytes extradata;
        if (m_lengthPrefixed) {
            if (m_source.lengthSize == 0)
                both.avccExtension.clear();
            extradata = h264::writeAvcc(both);
        } else {
            for (const auto* list : {&both.sps, &both.pps})
                for (const h264::Bytes& set : *list)
                    h264::appendAnnexB(extradata, {set.data(), set.size()});
        }
        AVCodecParameters* outPar = m_out->codecpar;
        av_freep(&outPar->extradata);
        outPar->extradata_size = 0;
        outPar->extradata =
            static_cast<std::uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!outPar->extradata)
            throw std::bad_alloc();
        std::memcpy(outPar->extradata, extradata.data(), extradata.size());
        outPar->extradata_size = static_cast<int>(extradata.size());
        outPar->codec_tag = 0;
        // Containers that count the reordering depth need the copied frames' depth.
        outPar->video_delay = par->video_delay;
        return true;
    }

    void accept(AVPacket* packet, const Writer& write) override {
        if (!m_done)
            acceptInOrder(packet, write);
    }

    void finish(const Writer& write) override { finishInOrder(write); }

private:
    bool startsCopy(const AVPacket* packet) const override {
        return canStartDecoding(CodecFamily::H264, packet, m_source.lengthSize);
    }

    CodecContextPtr openEncoder() const override { return open(false); }

    // globalHeader: the parameter sets go to the encoder's extradata rather than into the
    // stream.
    CodecContextPtr open(bool globalHeader) const {
        const AVCodecParameters* par = m_in->codecpar;
        CodecContextPtr enc =
            recoderLike(m_in, avcodec_find_encoder_by_name("libx264"), m_rate, m_options);
        if (!enc)
            return nullptr;
        enc->gop_size = 1 << 20;
        if (par->level > 0)
            enc->level = par->level;
        if (globalHeader)
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        Dictionary settings;
        // Chosen by measurement on 1.2 s cuts of 720p H.264 (bench/converter/short_sections.sh):
        // the fastest preset at this quality keeps the frames at the cuts near 56 dB from the
        // source (veryfast: 48 dB at 1.5 times the CPU), far above what the eye tells apart.
        av_dict_set(&settings.dict, "preset", "ultrafast", 0);
        av_dict_set(&settings.dict, "crf", "15", 0);
        if (const char* profile = x264Profile(par->profile))
            av_dict_set(&settings.dict, "profile", profile, 0);
        av_dict_set(&settings.dict, "x264-params", ("sps-id=" + std::to_string(m_spsId)).c_str(),
                    0);
        if (avcodec_open2(enc.get(), enc->codec, &settings.dict) < 0)
            return nullptr;
        return enc;
    }

    // Puts a packet's units the way the output stores them. Copied packets already stored so
    // keep their bytes; a copied keyframe in a start-code stream gets the source's parameter
    // sets when it has none, as a player tuning in needs them.
    void repack(AVPacket* packet, bool recoded) override {
        const int from = recoded ? 0 : m_source.lengthSize;
        if (!recoded && !m_options.bitexact && m_lengthPrefixed && from == 4)
            return;
        const auto units = h264::splitUnits(packet->data, packet->size, from);
        const bool idr = std::any_of(units.begin(), units.end(),
                                     [](const h264::Unit& u) { return u.type() == h264::kIdr; });
        const bool hasSets = std::any_of(
            units.begin(), units.end(), [](const h264::Unit& u) { return u.type() == h264::kSps; });
        h264::Bytes bytes;
        bytes.reserve(packet->size + 256);
        const auto append = [&](const h264::Unit& unit) {
            h264::appendUnit(bytes, unit, m_lengthPrefixed);
        };
        bool setsDue = !recoded && !m_lengthPrefixed && idr && !hasSets;
        for (const h264::Unit& unit : units) {
            if (recoded && m_options.bitexact && unit.type() == h264::kSei)
                continue; // the encoder's version text
            if (setsDue && unit.type() != h264::kAud) {
                for (const auto* list : {&m_source.sps, &m_source.pps})
                    for (const h264::Bytes& set : *list)
                        append({set.data(), set.size()});
                setsDue = false;
            }
            append(unit);
        }
        replaceData(packet, bytes);
    }

    h264::Config m_source;
    unsigned m_spsId = 0;
    bool m_lengthPrefixed = false;
};

} // namespace

std::unique_ptr<ExactVideoCut::Impl> makeH264Cut(const AVStream* in, AVStream* out,
                                                 const Options& options, AVRational rate,
                                                 Ticks absStart, Ticks absEnd) {
    return std::make_unique<H264Cut>(in, out, options, rate, absStart, absEnd);
}

} // namespace vorkast
