// Exact cuts of copied video: the machine every codec shares. A re-encoded head, groups of
// pictures copied as they come, a re-encoded tail; each codec's own way is in
// exact_cut_h264.cpp, exact_cut_hevc.cpp, exact_cut_mpeg12.cpp and exact_cut_mpeg4.cpp.
#include "exact_cut_core.h"

#include "codec_traits.h"
#include "convert_error.h"
#include "cut_rule.h"
#include "frame_duration.h"

#include <algorithm>
#include <cstring>

namespace vorkast {

VideoFamily videoFamily(const AVCodecParameters* codec) {
    if (!codec || codec->codec_type != AVMEDIA_TYPE_VIDEO)
        return VideoFamily::None;
    const AVCodecDescriptor* desc = avcodec_descriptor_get(codec->codec_id);
    switch (exactCutWayOf(avcodec_get_name(codec->codec_id),
                          desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY))) {
    case ExactCutWay::ByCopy:
        return VideoFamily::IntraOnly;
    case ExactCutWay::Unsupported:
        return VideoFamily::Other;
    case ExactCutWay::ByRecoding:
        break;
    }
    switch (codec->codec_id) {
    case AV_CODEC_ID_H264:
        return VideoFamily::H264;
    case AV_CODEC_ID_HEVC:
        return VideoFamily::Hevc;
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
    return rescaleTicks(ticks, AV_TIME_BASE_Q, timeBase);
}

} // namespace

// Threads for the decoder and encoder of the frames at the cuts. Those frames are few (a group
// of pictures at most at each end), and threads of their own cost more to start and keep in
// step than they save there: one each, unless -threads asks for more.
int cutThreads(const Options& options) {
    return options.threads > 0 ? options.threads : 1;
}

CodecContextPtr openCutDecoder(const AVStream* in, const Options& options) {
    const AVCodec* codec = avcodec_find_decoder(in->codecpar->codec_id);
    if (!codec)
        throw ConvertError(std::string("the libraries cannot decode the source's video (") +
                           avcodec_get_name(in->codecpar->codec_id) + ")");
    CodecContextPtr dec(avcodec_alloc_context3(codec));
    if (!dec)
        throw std::bad_alloc();
    check(avcodec_parameters_to_context(dec.get(), in->codecpar), "cannot set up the decoder");
    dec->pkt_timebase = in->time_base;
    dec->thread_count = cutThreads(options);
    check(avcodec_open2(dec.get(), codec, nullptr), "cannot open the video decoder");
    return dec;
}

CodecContextPtr recoderLike(const AVStream* in, const AVCodec* codec, AVRational rate,
                            const Options& options) {
    const AVCodecParameters* par = in->codecpar;
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
    enc->thread_count = cutThreads(options);
    if (options.bitexact)
        enc->flags |= AV_CODEC_FLAG_BITEXACT;
    return enc;
}

CodecContextPtr openInClosedGroups(CodecContextPtr enc) {
    // The copied group after the head loses the frames that referred back into it: the frames
    // encoded again must not refer to it either.
    enc->gop_size = 600;
    enc->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_CLOSED_GOP;
    enc->global_quality = FF_QP2LAMBDA * 2;
    Dictionary settings;
    av_dict_set(&settings.dict, "sc_threshold", "1000000000", 0); // closed groups need it
    if (avcodec_open2(enc.get(), enc->codec, &settings.dict) < 0)
        return nullptr;
    return enc;
}

void replaceData(AVPacket* packet, const std::vector<std::uint8_t>& bytes) {
    PacketPtr fresh = makePacket();
    check(av_new_packet(fresh.get(), static_cast<int>(bytes.size())), "cannot repack the video");
    std::memcpy(fresh->data, bytes.data(), bytes.size());
    check(av_packet_copy_props(fresh.get(), packet), "cannot repack the video");
    av_packet_unref(packet);
    av_packet_move_ref(packet, fresh.get());
}

bool opensGroup(const AVStream* video, const AVPacket* packet) {
    if (video->codecpar->codec_id != AV_CODEC_ID_H264)
        return false;
    const AVCodecParameters* par = video->codecpar;
    return canStartDecoding(
        CodecFamily::H264, packet,
        nalLengthSize(CodecFamily::H264, par->extradata, std::size_t(par->extradata_size)));
}

ExactVideoCut::Impl::Impl(const AVStream* in, AVStream* out, const Options& options,
                          AVRational rate, Ticks absStart, Ticks absEnd, bool groupsCloseAtIdr)
    : m_in(in), m_out(out), m_options(options), m_rate(rate), m_groupsCloseAtIdr(groupsCloseAtIdr) {
    m_startTs = toTs(absStart, in->time_base);
    m_frameTs = ticksPerFrame(rate, in->time_base);
    m_endTs = toTs(absEnd, in->time_base);
    // Frames starting within a quarter frame of the end belong after it (rounding).
    m_lastTs = m_endTs - std::max<std::int64_t>(1, m_frameTs / 4);
}

bool ExactVideoCut::Impl::describeWithOwnHeaders() {
    const AVCodecParameters* par = m_in->codecpar;
    m_out->codecpar->video_delay = par->video_delay;
    // The frames encoded again are finer than the source's: program streams size their pack
    // rate from the stream's rate, which then needs room for them.
    const std::int64_t room = std::int64_t(par->width) * par->height * 25 * 4;
    m_out->codecpar->bit_rate = std::max(par->bit_rate, std::int64_t(0)) + room;
    if (auto* cpb = reinterpret_cast<AVCPBProperties*>(
            av_stream_get_side_data(m_out, AV_PKT_DATA_CPB_PROPERTIES, nullptr))) {
        cpb->max_bitrate += room;
        cpb->buffer_size = std::max<std::int64_t>(cpb->buffer_size, 224 * 1024 * 8);
    }
    return openEncoder() != nullptr;
}

HeldPictures::Pass ExactVideoCut::Impl::acceptsShown(const Writer& write) {
    return [this, &write](AVPacket* packet, std::int64_t shown, bool reference) {
        packet->pts = shown;
        if (reference && shown != AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE &&
            shown < packet->dts)
            packet->pts = packet->dts;
        acceptInOrder(packet, write);
    };
}

void ExactVideoCut::Impl::acceptInOrder(AVPacket* packet, const Writer& write) {
    if (m_done)
        return;
    const bool idr = startsCopy(packet);
    // An H.264 IDR shown past the end ends the section; an MPEG-1/2 I-frame may still be
    // followed by frames of the section shown before it.
    const bool pastEnd =
        (packet->dts != AV_NOPTS_VALUE && packet->dts > m_lastTs) ||
        (m_groupsCloseAtIdr && idr && packet->pts != AV_NOPTS_VALUE && packet->pts > m_lastTs);
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
            if (!m_groupsCloseAtIdr) {
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

void ExactVideoCut::Impl::finishInOrder(const Writer& write) {
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
    CodecContextPtr decoder = openCutDecoder(m_in, m_options);
    for (const PacketPtr& p : m_context)
        decode(decoder, p.get());
    for (const PacketPtr& p : rest)
        decode(decoder, p.get());
    decode(decoder, nullptr);
    writeRecoded(write, m_lastCopiedDts);
}

void ExactVideoCut::Impl::hold(AVPacket* packet) {
    PacketPtr held = makePacket();
    av_packet_move_ref(held.get(), packet);
    m_held.push_back(std::move(held));
}

// Decodes (packet nullptr: drains) and encodes the frames of the section it yields.
void ExactVideoCut::Impl::decode(CodecContextPtr& decoder, const AVPacket* packet) {
    if (!decoder)
        decoder = openCutDecoder(m_in, m_options);
    if (avcodec_send_packet(decoder.get(), packet) < 0 && packet)
        return; // a damaged packet: the decoder carries on without it
    FramePtr frame = makeFrame();
    while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
        const std::int64_t pts = frame->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE && pts >= std::max(m_startTs, m_recodeFrom) && pts <= m_lastTs &&
            pts < m_recodeBefore && pts > m_lastRecodedPts)
            recode(frame.get(), pts);
        av_frame_unref(frame.get());
    }
}

void ExactVideoCut::Impl::recode(AVFrame* frame, std::int64_t pts) {
    if (!m_encoder) {
        m_encoder = openEncoder();
        if (!m_encoder)
            throw ConvertError("cannot start the encoder for the frames at the cut");
        m_frameCount = 0;
    }
    m_lastRecodedPts = pts;
    m_recodedPts[m_frameCount] = pts;
    frame->pts = m_frameCount++;
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    markPicture(frame, m_frameCount);
    check(avcodec_send_frame(m_encoder.get(), frame), "the encoder for the cut failed");
    receiveEncoded();
}

void ExactVideoCut::Impl::receiveEncoded() {
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
void ExactVideoCut::Impl::endHead(const Writer& write) {
    if (m_headDecoder)
        decode(m_headDecoder, nullptr);
    m_headDecoder.reset();
    m_recodeBefore = std::numeric_limits<std::int64_t>::max();
    writeRecoded(write, std::numeric_limits<std::int64_t>::min());
}

// Writes the encoded frames with decode times after afterDts (source time base, absolute).
void ExactVideoCut::Impl::writeRecoded(const Writer& write, std::int64_t afterDts) {
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
    fitDecodeTimes(afterDts);
    for (PacketPtr& packet : m_recoded) {
        packet->flags &= ~AV_PKT_FLAG_DISPOSABLE;
        repack(packet.get(), true);
        emit(packet.get(), write);
    }
    m_recoded.clear();
}

void ExactVideoCut::Impl::copyHeld(std::size_t count, const Writer& write) {
    // Without IDRs, frames encoded again at the end may refer to the group copied last: it
    // is kept to decode them.
    if (!m_groupsCloseAtIdr && count > 0)
        m_context.clear();
    for (std::size_t i = 0; i < count && i < m_held.size(); ++i) {
        AVPacket* packet = m_held[i].get();
        m_lastCopiedDts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (packet->pts != AV_NOPTS_VALUE)
            m_maxCopiedPts = std::max(m_maxCopiedPts, packet->pts);
        if (!m_groupsCloseAtIdr) {
            PacketPtr copy = makePacket();
            check(av_packet_ref(copy.get(), packet), "cannot hold a video packet");
            m_context.push_back(std::move(copy));
        }
        repack(packet, false);
        emit(packet, write);
    }
    m_held.clear();
}

void ExactVideoCut::Impl::emit(AVPacket* packet, const Writer& write) {
    restamp(packet);
    if (packet->pts != AV_NOPTS_VALUE)
        packet->pts -= m_startTs;
    if (packet->dts != AV_NOPTS_VALUE)
        packet->dts -= m_startTs;
    if (packet->pts != AV_NOPTS_VALUE) {
        const double done = static_cast<double>(packet->pts + m_frameTs) * av_q2d(m_in->time_base);
        m_progress = std::max(m_progress, done);
    }
    av_packet_rescale_ts(packet, m_in->time_base, m_out->time_base);
    packet->stream_index = m_out->index;
    packet->pos = -1;
    write(packet);
}

std::unique_ptr<ExactVideoCut> ExactVideoCut::create(const AVFormatContext* input,
                                                     const AVStream* in, AVStream* out,
                                                     AVFormatContext* output,
                                                     const Options& options, Ticks absStart,
                                                     Ticks absEnd) {
    const AVRational rate = streamRate(input, in);
    std::unique_ptr<Impl> impl;
    switch (videoFamily(in->codecpar)) {
    case VideoFamily::H264:
        impl = makeH264Cut(in, out, options, rate, absStart, absEnd);
        break;
    case VideoFamily::Hevc:
        impl = makeHevcCut(in, out, options, rate, absStart, absEnd);
        break;
    case VideoFamily::Mpeg12:
        impl = makeMpeg12Cut(in, out, options, rate, absStart, absEnd);
        break;
    case VideoFamily::Mpeg4Part2:
        impl = makeMpeg4Cut(input, in, out, options, rate, absStart, absEnd);
        break;
    default:
        return nullptr;
    }
    if (!impl || !impl->prepare(output))
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
