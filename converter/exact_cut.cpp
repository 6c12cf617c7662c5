// Exact cuts of copied video: a re-encoded head, packets copied in between, a re-encoded tail.
#include "exact_cut.h"

#include "convert_error.h"
#include "h264_units.h"
#include "packed_pictures.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <string>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavutil/opt.h>
}

namespace vorkast {

VideoFamily videoFamily(const AVCodecParameters* codec) {
    if (!codec || codec->codec_type != AVMEDIA_TYPE_VIDEO)
        return VideoFamily::None;
    const AVCodecDescriptor* desc = avcodec_descriptor_get(codec->codec_id);
    if (desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY))
        return VideoFamily::IntraOnly;
    switch (codec->codec_id) {
    case AV_CODEC_ID_H264:
        return VideoFamily::H264;
    // MPEG-1 and MPEG-2 share picture headers, groups and program-stream timing: one way.
    case AV_CODEC_ID_MPEG1VIDEO:
    case AV_CODEC_ID_MPEG2VIDEO:
        return VideoFamily::Mpeg12;
    case AV_CODEC_ID_MPEG4:
        return VideoFamily::Mpeg4Part2;
    default:
        return VideoFamily::Other;
    }
}

FrameRate guessedRate(const AVFormatContext* input, const AVStream* video) {
    const AVRational rate = av_guess_frame_rate(const_cast<AVFormatContext*>(input),
                                                const_cast<AVStream*>(video), nullptr);
    return {rate.num, rate.den};
}

namespace {

// The rate frames are encoded and counted at.
AVRational streamRate(const AVFormatContext* input, const AVStream* video) {
    const FrameRate rate = countingRate(guessedRate(input, video));
    return AVRational{rate.num, rate.den};
}

// Source time stamps of absolute ticks.
std::int64_t toTs(Ticks ticks, AVRational timeBase) {
    if (ticks >= kNoEnd)
        return kNoEnd;
    return av_rescale_q(ticks, AV_TIME_BASE_Q, timeBase);
}

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

// The encoder for re-encoded frames, set up like the source's stream. spsId gives H.264
// parameter sets ids the source does not use, so both kinds can live in one stream.
CodecContextPtr openRecoder(const AVStream* in, AVRational rate, unsigned spsId,
                            const Options& options, bool globalHeader) {
    const AVCodecParameters* par = in->codecpar;
    const bool h264 = par->codec_id == AV_CODEC_ID_H264;
    const AVCodec* codec = h264 ? avcodec_find_encoder_by_name("libx264")
                           : par->codec_id == AV_CODEC_ID_MPEG4
                               ? avcodec_find_encoder_by_name("mpeg4")
                               : avcodec_find_encoder(par->codec_id);
    if (!codec || par->width <= 0 || par->height <= 0 || par->format < 0)
        return nullptr;
    CodecContextPtr enc(avcodec_alloc_context3(codec));
    if (!enc)
        throw std::bad_alloc();
    enc->width = par->width;
    enc->height = par->height;
    enc->pix_fmt = static_cast<AVPixelFormat>(par->format);
    enc->sample_aspect_ratio =
        par->sample_aspect_ratio.num ? par->sample_aspect_ratio : in->sample_aspect_ratio;
    enc->color_range = par->color_range;
    enc->color_primaries = par->color_primaries;
    enc->color_trc = par->color_trc;
    enc->colorspace = par->color_space;
    enc->chroma_sample_location = par->chroma_location;
    enc->field_order = par->field_order;
    // MPEG-1 has no interlaced pictures.
    if (par->codec_id != AV_CODEC_ID_MPEG1VIDEO && par->field_order != AV_FIELD_UNKNOWN &&
        par->field_order != AV_FIELD_PROGRESSIVE)
        enc->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    enc->framerate = rate;
    enc->time_base = av_inv_q(rate);
    // No B-frames: the re-encoded frames then need no reordering, and decode times below the
    // copied ones' are easy to give.
    enc->max_b_frames = 0;
    // MPEG-4 Visual: a stream that reorders is decoded a picture late throughout; the frames
    // encoded again must say they may reorder too (every picture is made I or P below), or a
    // decoder shows them a picture early and repeats one at the seam.
    if (par->codec_id == AV_CODEC_ID_MPEG4 && par->video_delay > 0)
        enc->max_b_frames = 1;
    enc->thread_count = options.threads;
    if (options.bitexact)
        enc->flags |= AV_CODEC_FLAG_BITEXACT;
    if (!h264) {
        // A fixed fine quantiser, and groups that need nothing before them: the copied group
        // after the head loses the frames that referred back into it.
        enc->gop_size = 600;
        enc->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_CLOSED_GOP;
        enc->global_quality = FF_QP2LAMBDA * 2;
        Dictionary settings;
        av_dict_set(&settings.dict, "sc_threshold", "1000000000", 0); // closed groups need it
        if (avcodec_open2(enc.get(), codec, &settings.dict) < 0)
            return nullptr;
        return enc;
    }
    enc->gop_size = 1 << 20;
    if (par->level > 0)
        enc->level = par->level;
    if (globalHeader)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Dictionary settings;
    av_dict_set(&settings.dict, "preset", "veryfast", 0);
    av_dict_set(&settings.dict, "crf", "15", 0);
    if (const char* profile = x264Profile(par->profile))
        av_dict_set(&settings.dict, "profile", profile, 0);
    av_dict_set(&settings.dict, "x264-params", ("sps-id=" + std::to_string(spsId)).c_str(), 0);
    if (avcodec_open2(enc.get(), codec, &settings.dict) < 0)
        return nullptr;
    return enc;
}

CodecContextPtr openDecoder(const AVStream* in, int threads) {
    const AVCodec* codec = avcodec_find_decoder(in->codecpar->codec_id);
    if (!codec)
        throw ConvertError(std::string("the libraries cannot decode the source's video (") +
                           avcodec_get_name(in->codecpar->codec_id) + ")");
    CodecContextPtr dec(avcodec_alloc_context3(codec));
    if (!dec)
        throw std::bad_alloc();
    check(avcodec_parameters_to_context(dec.get(), in->codecpar), "cannot set up the decoder");
    dec->pkt_timebase = in->time_base;
    dec->thread_count = threads;
    check(avcodec_open2(dec.get(), codec, nullptr), "cannot open the video decoder");
    return dec;
}

bool isIdr(const AVPacket* packet, int lengthSize) {
    if (!(packet->flags & AV_PKT_FLAG_KEY))
        return false;
    for (const h264::Unit& unit : h264::splitUnits(packet->data, packet->size, lengthSize))
        if (unit.type() == h264::kIdr)
            return true;
    return false;
}

// MPEG-1/2: an I-frame that brings its sequence header, where a decoder can begin.
bool startsSequence(const AVPacket* packet) {
    if (!(packet->flags & AV_PKT_FLAG_KEY))
        return false;
    for (int i = 0; i + 3 < packet->size; ++i)
        if (packet->data[i] == 0 && packet->data[i + 1] == 0 && packet->data[i + 2] == 1 &&
            packet->data[i + 3] == 0xB3)
            return true;
    return false;
}

// MPEG-1/2: the coding type of the packet's first picture (1 I, 2 P, 3 B), or -1.
int pictureType(const AVPacket* packet) {
    for (int i = 0; i + 5 < packet->size; ++i)
        if (packet->data[i] == 0 && packet->data[i + 1] == 0 && packet->data[i + 2] == 1 &&
            packet->data[i + 3] == 0x00)
            return (packet->data[i + 5] >> 3) & 7;
    return -1;
}

// MPEG-4 Visual: whether the packet brings a video object layer header, which a decoder needs
// before the first picture.
bool hasVolHeader(const AVPacket* packet) {
    for (int i = 0; i + 3 < packet->size; ++i)
        if (packet->data[i] == 0 && packet->data[i + 1] == 0 && packet->data[i + 2] == 1 &&
            (packet->data[i + 3] & 0xF0) == 0x20)
            return true;
    return false;
}

void replaceData(AVPacket* packet, const h264::Bytes& bytes) {
    PacketPtr fresh = makePacket();
    check(av_new_packet(fresh.get(), static_cast<int>(bytes.size())), "cannot repack the video");
    std::memcpy(fresh->data, bytes.data(), bytes.size());
    check(av_packet_copy_props(fresh.get(), packet), "cannot repack the video");
    av_packet_unref(packet);
    av_packet_move_ref(packet, fresh.get());
}

} // namespace

bool opensGroup(const AVStream* video, const AVPacket* packet) {
    if (video->codecpar->codec_id != AV_CODEC_ID_H264)
        return false;
    const AVCodecParameters* par = video->codecpar;
    const auto config = h264::readConfig(par->extradata, par->extradata_size);
    return isIdr(packet, config ? config->lengthSize : 0);
}

class ExactVideoCut::Impl {
public:
    Impl(const AVFormatContext* input, const AVStream* in, AVStream* out, const Options& options,
         AVRational rate, Ticks absStart, Ticks absEnd)
        : m_in(in), m_out(out), m_options(options), m_rate(rate) {
        m_startTs = toTs(absStart, in->time_base);
        m_frameTs = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), in->time_base));
        m_endTs = toTs(absEnd, in->time_base);
        // Frames starting within a quarter frame of the end belong after it (rounding).
        m_lastTs = m_endTs - std::max<std::int64_t>(1, m_frameTs / 4);
        m_mayBePacked = in->codecpar->codec_id == AV_CODEC_ID_MPEG4 &&
                        in->codecpar->video_delay > 0 &&
                        std::strcmp(input->iformat->name, "avi") == 0;
    }

    // Chooses the ids of the re-encoded parameter sets and describes the output stream.
    bool prepare(AVFormatContext* output) {
        const AVCodecParameters* par = m_in->codecpar;
        m_h264 = par->codec_id == AV_CODEC_ID_H264;
        m_mpeg4 = par->codec_id == AV_CODEC_ID_MPEG4;
        m_outputWithoutDisplayTimes = std::strcmp(output->oformat->name, "avi") == 0;
        if (m_mpeg4 && m_outputWithoutDisplayTimes)
            m_out->time_base = av_inv_q(m_rate); // one step of its clock for each picture
        if (m_mpeg4) {
            m_splitter.emplace(par);
            // Pictures packed two to a packet (B-frames stored with the picture before them)
            // are taken apart, so each packet holds one picture in decode order.
            AVBSFContext* raw = nullptr;
            const std::string failure = "cannot prepare the copied video for an exact cut";
            check(av_bsf_alloc(av_bsf_get_by_name("mpeg4_unpack_bframes"), &raw), failure);
            m_unpack.reset(raw);
            check(avcodec_parameters_copy(raw->par_in, par), failure);
            raw->time_base_in = m_in->time_base;
            check(av_bsf_init(raw), failure);
            // The source's own tag where the container knows it, so decoders treat the copied
            // pictures as they treat the source's.
            if (output->oformat->codec_tag &&
                av_codec_get_id(output->oformat->codec_tag, par->codec_tag) == par->codec_id)
                m_out->codecpar->codec_tag = par->codec_tag;
        }
        if (!m_h264) {
            // The re-encoded frames carry their own sequence headers; the stream is described
            // as the source's.
            m_out->codecpar->video_delay = par->video_delay;
            // The frames encoded again are finer than the source's: program streams size their
            // pack rate from the stream's rate, which then needs room for them.
            const std::int64_t room = std::int64_t(par->width) * par->height * 25 * 4;
            m_out->codecpar->bit_rate = std::max(par->bit_rate, std::int64_t(0)) + room;
            if (auto* cpb = reinterpret_cast<AVCPBProperties*>(
                    av_stream_get_side_data(m_out, AV_PKT_DATA_CPB_PROPERTIES, nullptr))) {
                cpb->max_bitrate += room;
                cpb->buffer_size = std::max<std::int64_t>(cpb->buffer_size, 224 * 1024 * 8);
            }
            return openRecoder(m_in, m_rate, 0, m_options, false) != nullptr;
        }
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
        CodecContextPtr probe = openRecoder(m_in, m_rate, m_spsId, m_options, true);
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

    void accept(AVPacket* packet, const Writer& write) {
        if (m_done)
            return;
        if (!m_unpack && !m_h264) {
            acceptTimed(packet, write);
            return;
        }
        if (!m_unpack) {
            acceptInOrder(packet, write);
            return;
        }
        notePacked(packet);
        for (PacketPtr& single : m_splitter->split(packet)) {
            if (av_bsf_send_packet(m_unpack.get(), single.get()) < 0)
                continue; // a packet the filter cannot read is left out, as a decoder skips it
            receiveUnpacked(write);
        }
        av_packet_unref(packet);
    }

    void finish(const Writer& write) {
        if (m_done)
            return;
        if (m_unpack) {
            av_bsf_send_packet(m_unpack.get(), nullptr);
            receiveUnpacked(write);
            if (m_anchor && !m_done) {
                // The last picture shown: one frame after the last decoded.
                m_anchor->pts =
                    m_lastDecodeTs == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : m_lastDecodeTs + m_frameTs;
                passTimed(write);
            }
            m_anchor.reset();
            m_waiting.clear();
        } else if (m_anchor) {
            if (!m_done) {
                if (m_anchor->pts == AV_NOPTS_VALUE && m_lastDecodeTs != AV_NOPTS_VALUE)
                    m_anchor->pts = m_lastDecodeTs + m_frameTs;
                passTimed(write);
            }
            m_anchor.reset();
            m_waiting.clear();
        }
        finishInOrder(write);
    }

    bool finished() const { return m_done; }
    double progress() const { return m_progress; }
    double shownLate() const {
        if (!m_mpeg4 || m_in->codecpar->video_delay <= 0 || !m_outputWithoutDisplayTimes)
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
        if (!m_mayBePacked || m_stampedLate || !packet->data)
            return;
        int pictures = 0;
        for (int i = 0; i + 3 < packet->size && pictures < 2; ++i)
            if (packet->data[i] == 0 && packet->data[i + 1] == 0 && packet->data[i + 2] == 1 &&
                packet->data[i + 3] == 0xB6)
                ++pictures;
        if (pictures < 2)
            return;
        m_stampedLate = true;
        m_startTs += m_frameTs;
        m_endTs += m_frameTs;
        m_lastTs += m_frameTs;
    }

    // MPEG-4 Visual in containers without display times (AVI): a picture that others are
    // predicted from is shown when the next such picture is decoded, a B-frame as it is
    // decoded. Each packet without a display time gets that one and is passed on in decode
    // order; packets that have one keep it.
    void receiveUnpacked(const Writer& write) {
        for (;;) {
            PacketPtr packet = makePacket();
            if (av_bsf_receive_packet(m_unpack.get(), packet.get()) < 0)
                return;
            if (m_done)
                continue;
            const int type = mpeg4PictureType(packet.get());
            if (type == 0)
                packet->flags |= AV_PKT_FLAG_KEY;
            else
                packet->flags &= ~AV_PKT_FLAG_KEY;
            const std::int64_t decodeTs = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            if (decodeTs != AV_NOPTS_VALUE)
                m_lastDecodeTs = decodeTs;
            if (packet->pts != AV_NOPTS_VALUE && type != 2 && !m_anchor) {
                acceptInOrder(packet.get(), write); // the container gives display times
                continue;
            }
            if (type == 2 || m_in->codecpar->video_delay <= 0) {
                if (packet->pts == AV_NOPTS_VALUE)
                    packet->pts = decodeTs;
                if (m_anchor)
                    m_waiting.push_back(std::move(packet));
                else
                    acceptInOrder(packet.get(), write);
                continue;
            }
            if (m_anchor) {
                m_anchor->pts = decodeTs;
                passTimed(write);
            }
            m_anchor = std::move(packet);
        }
    }

    // MPEG-1/2 in program streams: pictures that others are predicted from often come without a
    // display time. Such a picture is shown when the next one of its kind is decoded (or one
    // frame after the last picture decoded), so it is held until then; the B-pictures decoded
    // meanwhile are shown as they are decoded and wait behind it, keeping the decode order.
    void acceptTimed(AVPacket* packet, const Writer& write) {
        const int type = pictureType(packet);
        const std::int64_t decodeTs = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (decodeTs != AV_NOPTS_VALUE)
            m_lastDecodeTs = decodeTs;
        if (type != 1 && type != 2) {
            if (packet->pts == AV_NOPTS_VALUE)
                packet->pts = decodeTs;
            if (m_anchor) {
                PacketPtr waiting = makePacket();
                av_packet_move_ref(waiting.get(), packet);
                m_waiting.push_back(std::move(waiting));
            } else {
                acceptInOrder(packet, write);
            }
            return;
        }
        if (m_anchor) {
            if (m_anchor->pts == AV_NOPTS_VALUE)
                m_anchor->pts = decodeTs;
            passTimed(write);
        }
        m_anchor = makePacket();
        av_packet_move_ref(m_anchor.get(), packet);
    }

    // Passes the held picture and the B-frames decoded after it.
    void passTimed(const Writer& write) {
        if (m_anchor->pts != AV_NOPTS_VALUE && m_anchor->dts != AV_NOPTS_VALUE &&
            m_anchor->pts < m_anchor->dts)
            m_anchor->pts = m_anchor->dts;
        acceptInOrder(m_anchor.get(), write);
        m_anchor.reset();
        for (PacketPtr& waiting : m_waiting)
            acceptInOrder(waiting.get(), write);
        m_waiting.clear();
    }

    bool startsCopy(const AVPacket* packet) const {
        if (m_h264)
            return isIdr(packet, m_source.lengthSize);
        if (m_mpeg4)
            return (packet->flags & AV_PKT_FLAG_KEY) && mpeg4PictureType(packet) == 0;
        return startsSequence(packet);
    }

    void acceptInOrder(AVPacket* packet, const Writer& write) {
        if (m_done)
            return;
        const bool idr = startsCopy(packet);
        // An H.264 IDR shown past the end ends the section; an MPEG-1/2 I-frame may still be
        // followed by frames of the section shown before it.
        const bool pastEnd =
            (packet->dts != AV_NOPTS_VALUE && packet->dts > m_lastTs) ||
            (m_h264 && idr && packet->pts != AV_NOPTS_VALUE && packet->pts > m_lastTs);
        if (pastEnd) {
            finishInOrder(write);
            return;
        }
        if (m_leading) {
            // Frames after the first copied I-frame shown before it refer to the group before:
            // the head encodes them again and the copy leaves them out.
            if (packet->pts != AV_NOPTS_VALUE && packet->pts < m_recodeBefore) {
                decode(m_headDecoder, packet);
                return;
            }
            m_leading = false;
            endHead(write);
            m_copying = true;
        } else if (!m_copying) {
            if (idr && packet->pts != AV_NOPTS_VALUE && packet->pts >= m_startTs) {
                m_keyDelay = packet->dts != AV_NOPTS_VALUE ? packet->pts - packet->dts : 0;
                if (!m_h264) {
                    m_recodeBefore = packet->pts;
                    decode(m_headDecoder, packet);
                    m_leading = true;
                    hold(packet);
                    return;
                }
                endHead(write);
                m_copying = true;
                hold(packet);
                return;
            }
            decode(m_headDecoder, packet);
            return;
        }
        if (idr)
            copyHeld(m_held.size(), write);
        hold(packet);
    }

    void finishInOrder(const Writer& write) {
        if (m_done)
            return;
        m_done = true;
        if (m_leading) {
            m_leading = false;
            endHead(write);
            m_copying = true;
        }
        if (!m_copying) {
            endHead(write);
            return;
        }
        // Copy the longest run of held packets, in decode order, that shows the earliest frames
        // of the group and none past the end; the frames after it are encoded again.
        std::size_t copyable = 0;
        std::int64_t shownUpTo = std::numeric_limits<std::int64_t>::min();
        for (std::size_t n = 1; n <= m_held.size(); ++n) {
            const AVPacket* p = m_held[n - 1].get();
            if (p->pts == AV_NOPTS_VALUE || p->pts > m_lastTs)
                break;
            shownUpTo = std::max(shownUpTo, p->pts);
            const auto earlier = std::count_if(m_held.begin(), m_held.end(), [&](const auto& h) {
                return h->pts != AV_NOPTS_VALUE && h->pts <= shownUpTo;
            });
            if (static_cast<std::size_t>(earlier) == n)
                copyable = n;
        }
        std::int64_t copiedUpTo = m_maxCopiedPts;
        for (std::size_t i = 0; i < copyable; ++i)
            copiedUpTo = std::max(copiedUpTo, m_held[i]->pts);
        const bool tail = std::any_of(m_held.begin(), m_held.end(), [&](const auto& h) {
            return h->pts != AV_NOPTS_VALUE && h->pts > copiedUpTo && h->pts <= m_lastTs;
        });
        std::vector<PacketPtr> rest;
        if (tail)
            for (const PacketPtr& p : m_held) {
                PacketPtr copy = makePacket();
                check(av_packet_ref(copy.get(), p.get()), "cannot hold a video packet");
                rest.push_back(std::move(copy));
            }
        copyHeld(copyable, write);
        if (!tail)
            return;
        if (copyable > 0)
            m_context.clear(); // the held group begins with its own I-frame
        m_recodeFrom = copiedUpTo + 1;
        CodecContextPtr decoder = openDecoder(m_in, m_options.threads);
        for (const PacketPtr& p : m_context)
            decode(decoder, p.get());
        for (const PacketPtr& p : rest)
            decode(decoder, p.get());
        decode(decoder, nullptr);
        writeRecoded(write, m_lastCopiedDts);
    }

    void hold(AVPacket* packet) {
        PacketPtr held = makePacket();
        av_packet_move_ref(held.get(), packet);
        m_held.push_back(std::move(held));
    }

    // Decodes (packet nullptr: drains) and encodes the frames of the section it yields.
    void decode(CodecContextPtr& decoder, const AVPacket* packet) {
        if (!decoder)
            decoder = openDecoder(m_in, m_options.threads);
        if (avcodec_send_packet(decoder.get(), packet) < 0 && packet)
            return; // a damaged packet: the decoder carries on without it
        FramePtr frame = makeFrame();
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            const std::int64_t pts = frame->best_effort_timestamp;
            if (pts != AV_NOPTS_VALUE && pts >= std::max(m_startTs, m_recodeFrom) &&
                pts <= m_lastTs && pts < m_recodeBefore && pts > m_lastRecodedPts)
                recode(frame.get(), pts);
            av_frame_unref(frame.get());
        }
    }

    void recode(AVFrame* frame, std::int64_t pts) {
        if (!m_encoder) {
            m_encoder = openRecoder(m_in, m_rate, m_spsId, m_options, false);
            if (!m_encoder)
                throw ConvertError("cannot start the encoder for the frames at the cut");
            m_frameCount = 0;
        }
        m_lastRecodedPts = pts;
        m_recodedPts[m_frameCount] = pts;
        frame->pts = m_frameCount++;
        frame->pict_type = !m_mpeg4            ? AV_PICTURE_TYPE_NONE
                           : m_frameCount == 1 ? AV_PICTURE_TYPE_I
                                               : AV_PICTURE_TYPE_P;
        check(avcodec_send_frame(m_encoder.get(), frame), "the encoder for the cut failed");
        receiveEncoded();
    }

    void receiveEncoded() {
        for (;;) {
            PacketPtr packet = makePacket();
            const int err = avcodec_receive_packet(m_encoder.get(), packet.get());
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
                return;
            check(err, "the encoder for the cut failed");
            const auto at = m_recodedPts.find(packet->pts);
            if (at == m_recodedPts.end())
                continue;
            packet->pts = at->second;
            packet->duration = m_frameTs;
            m_recoded.push_back(std::move(packet));
        }
    }

    // Drains the head's decoder and encoder and writes the head, decode times before the first
    // copied packet's.
    void endHead(const Writer& write) {
        if (m_headDecoder)
            decode(m_headDecoder, nullptr);
        m_headDecoder.reset();
        m_recodeBefore = std::numeric_limits<std::int64_t>::max();
        writeRecoded(write, std::numeric_limits<std::int64_t>::min());
    }

    // Writes the encoded frames with decode times after afterDts (source time base, absolute).
    void writeRecoded(const Writer& write, std::int64_t afterDts) {
        if (!m_encoder)
            return;
        check(avcodec_send_frame(m_encoder.get(), nullptr), "the encoder for the cut failed");
        receiveEncoded();
        m_encoder.reset();
        m_recodedPts.clear();
        std::int64_t delay = std::max<std::int64_t>(0, m_keyDelay);
        if (afterDts != std::numeric_limits<std::int64_t>::min() && !m_recoded.empty())
            delay = std::min(delay, m_recoded.front()->pts - afterDts - 1);
        for (PacketPtr& packet : m_recoded)
            packet->dts = packet->pts - delay;
        if (!m_h264 && !m_mpeg4)
            spreadDecodeTimes(afterDts);
        for (PacketPtr& packet : m_recoded) {
            packet->flags &= ~AV_PKT_FLAG_DISPOSABLE;
            repack(packet.get(), true);
            emit(packet.get(), write);
        }
        m_recoded.clear();
    }

    // MPEG-1/2: a program stream keeps a time only for the first picture that starts in each of
    // its packets, and a reader gives an I- or P-picture without one the display time of the
    // picture before it as its decode time. The re-encoded pictures, all I or P, take those
    // decode times where the copied ones around them leave room.
    void spreadDecodeTimes(std::int64_t afterDts) {
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

    void copyHeld(std::size_t count, const Writer& write) {
        // Without IDRs, frames encoded again at the end may refer to the group copied last: it
        // is kept to decode them.
        if (!m_h264 && count > 0)
            m_context.clear();
        for (std::size_t i = 0; i < count && i < m_held.size(); ++i) {
            AVPacket* packet = m_held[i].get();
            m_lastCopiedDts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            if (packet->pts != AV_NOPTS_VALUE)
                m_maxCopiedPts = std::max(m_maxCopiedPts, packet->pts);
            if (!m_h264) {
                PacketPtr copy = makePacket();
                check(av_packet_ref(copy.get(), packet), "cannot hold a video packet");
                m_context.push_back(std::move(copy));
            }
            repack(packet, false);
            emit(packet, write);
        }
        m_held.clear();
    }

    // Puts a packet's units the way the output stores them. Copied packets already stored so
    // keep their bytes; a copied keyframe in a start-code stream gets the source's parameter
    // sets when it has none, as a player tuning in needs them.
    void repack(AVPacket* packet, bool recoded) {
        if (m_mpeg4 && !recoded) {
            // The frames encoded again bring their own layer header: the first copied picture
            // needs the source's back.
            if (!m_volDue || !(packet->flags & AV_PKT_FLAG_KEY))
                return;
            m_volDue = false;
            const AVCodecParameters* par = m_in->codecpar;
            if (hasVolHeader(packet) || par->extradata_size <= 0)
                return;
            h264::Bytes bytes(par->extradata, par->extradata + par->extradata_size);
            bytes.insert(bytes.end(), packet->data, packet->data + packet->size);
            replaceData(packet, bytes);
            return;
        }
        if (!m_h264)
            return;
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
            if (m_lengthPrefixed)
                h264::appendLengthPrefixed(bytes, unit);
            else
                h264::appendAnnexB(bytes, unit);
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

    void emit(AVPacket* packet, const Writer& write) {
        if (m_mpeg4 && m_outputWithoutDisplayTimes) {
            // Such a container counts pictures, and a decoder shows a picture that others are
            // predicted from when the next one is decoded: pictures left out (before the start,
            // not coded) must leave no holes, or every picture after one shows a frame late.
            const std::int64_t late = m_in->codecpar->video_delay > 0 ? m_frameTs : 0;
            packet->dts = m_startTs - late + m_written++ * m_frameTs;
            if (packet->pts == AV_NOPTS_VALUE || packet->pts < packet->dts)
                packet->pts = packet->dts;
        }
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts -= m_startTs;
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts -= m_startTs;
        if (packet->pts != AV_NOPTS_VALUE) {
            const double done =
                static_cast<double>(packet->pts + m_frameTs) * av_q2d(m_in->time_base);
            m_progress = std::max(m_progress, done);
        }
        av_packet_rescale_ts(packet, m_in->time_base, m_out->time_base);
        packet->stream_index = m_out->index;
        packet->pos = -1;
        write(packet);
    }

    const AVStream* m_in;
    AVStream* m_out;
    const Options& m_options;
    AVRational m_rate;
    std::int64_t m_startTs = 0, m_endTs = 0, m_lastTs = 0, m_frameTs = 1;
    h264::Config m_source;
    unsigned m_spsId = 0;
    bool m_lengthPrefixed = false;
    bool m_h264 = true;
    bool m_mpeg4 = false;
    bool m_outputWithoutDisplayTimes = false;
    std::int64_t m_written = 0;               // video packets written
    BitstreamFilterPtr m_unpack;              // MPEG-4 Visual: one picture per packet
    bool m_mayBePacked = false;               // MPEG-4 Visual with B-frames read from AVI
    bool m_stampedLate = false;               // packed: pictures are stamped a frame after shown
    std::optional<PackedPictures> m_splitter; // MPEG-4 Visual: packets taken apart
    PacketPtr m_anchor;                       // waits for its display time
    std::vector<PacketPtr> m_waiting;         // B-frames decoded after it
    std::int64_t m_lastDecodeTs = AV_NOPTS_VALUE;
    bool m_volDue = true; // the first copied picture still needs a layer header

    bool m_copying = false;
    bool m_leading = false; // the first copied I-frame is held, frames shown before it follow
    std::int64_t m_recodeBefore = std::numeric_limits<std::int64_t>::max();
    std::int64_t m_maxCopiedPts = std::numeric_limits<std::int64_t>::min();
    std::vector<PacketPtr> m_context; // the group copied last (MPEG-1/2)
    bool m_done = false;
    double m_progress = 0;
    std::int64_t m_keyDelay = 0;
    std::int64_t m_lastCopiedDts = std::numeric_limits<std::int64_t>::min();
    std::int64_t m_recodeFrom = std::numeric_limits<std::int64_t>::min();
    std::int64_t m_lastRecodedPts = std::numeric_limits<std::int64_t>::min();
    std::vector<PacketPtr> m_held;
    CodecContextPtr m_headDecoder;
    CodecContextPtr m_encoder;
    std::int64_t m_frameCount = 0;
    std::map<std::int64_t, std::int64_t> m_recodedPts; // encoder's frame number -> source pts
    std::vector<PacketPtr> m_recoded;
};

std::unique_ptr<ExactVideoCut> ExactVideoCut::create(const AVFormatContext* input,
                                                     const AVStream* in, AVStream* out,
                                                     AVFormatContext* output,
                                                     const Options& options, Ticks absStart,
                                                     Ticks absEnd) {
    if (!recodesAtCuts(videoFamily(in->codecpar)))
        return nullptr;
    auto impl =
        std::make_unique<Impl>(input, in, out, options, streamRate(input, in), absStart, absEnd);
    if (!impl->prepare(output))
        return nullptr;
    return std::unique_ptr<ExactVideoCut>(new ExactVideoCut(std::move(impl)));
}

ExactVideoCut::ExactVideoCut(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
ExactVideoCut::~ExactVideoCut() = default;
void ExactVideoCut::accept(AVPacket* packet, const Writer& write) {
    m_impl->accept(packet, write);
}
void ExactVideoCut::finish(const Writer& write) {
    m_impl->finish(write);
}
bool ExactVideoCut::finished() const {
    return m_impl->finished();
}
double ExactVideoCut::progress() const {
    return m_impl->progress();
}
double ExactVideoCut::shownLate() const {
    return m_impl->shownLate();
}

} // namespace vorkast
