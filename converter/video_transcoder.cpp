// Video: from the frame on screen at the section's start to the one before the frame on screen
// at its end, encoded at a constant frame rate.
#include "clip_writer.h"
#include "container_traits.h"
#include "convert_error.h"
#include "filter_library.h"
#include "frame_duration.h"
#include "packed_pictures.h"
#include "timestamps.h"
#include "transcoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavutil/pixdesc.h>
}

namespace vorkast {

namespace {

AVRational clipFrameRate(const AVFormatContext* input, const AVStream* in, const AVCodec* encoder,
                         const Options& options) {
    AVRational rate = options.frameRate;
    if (rate.num <= 0)
        rate = av_guess_frame_rate(const_cast<AVFormatContext*>(input), const_cast<AVStream*>(in),
                                   nullptr);
    if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 1000)
        rate = AVRational{25, 1};
    if (encoder->supported_framerates)
        rate =
            encoder
                ->supported_framerates[av_find_nearest_q_idx(rate, encoder->supported_framerates)];
    return rate;
}

// -pix_fmt names a format the encoder cannot take: say so, and what it takes.
void refuseUnknownPixelFormat(const AVCodec* encoder, const std::string& name) {
    if (name.empty() || !encoder->pix_fmts)
        return;
    const AVPixelFormat wanted = av_get_pix_fmt(name.c_str());
    std::string takes;
    for (const AVPixelFormat* f = encoder->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
        if (*f == wanted)
            return;
        takes += std::string(takes.empty() ? "" : ", ") + av_get_pix_fmt_name(*f);
    }
    throw ConvertError("the encoder " + std::string(encoder->name) +
                       " cannot take the picture format " + name + " (-pix_fmt); it takes " +
                       takes);
}

class VideoTranscoder final : public Transcoder {
public:
    VideoTranscoder(const AVFormatContext* input, const AVStream* in, AVFormatContext* output,
                    const Options& options, const Section& section)
        : Transcoder(in, section) {
        const AVCodec* codec =
            chooseEncoder(options.video.codec, output->oformat, AVMEDIA_TYPE_VIDEO);
        refuseUnknownPixelFormat(codec, options.pixelFormat);
        openDecoder(0);
        const AVRational rate = clipFrameRate(input, in, codec, options);
        m_frameTs = ticksPerFrame(rate, in->time_base);
        m_tick = av_q2d(av_inv_q(rate));
        m_sourceRate = av_cmp_q(rate, av_guess_frame_rate(const_cast<AVFormatContext*>(input),
                                                          const_cast<AVStream*>(in), nullptr)) == 0;
        // The last tick at or before the start: in a coarse time base (AVI's frame rate) the
        // nearest one can be the next frame's, which is not yet on screen at the start.
        m_startTs = secondsToTs(section.start, in->time_base);
        if (m_startTs != INT64_MIN &&
            static_cast<double>(m_startTs) * av_q2d(in->time_base) > section.start + 1e-6)
            --m_startTs;
        // MPEG-4 Visual with B-frames in a container without display times (AVI): where the
        // B-frames are packed with the picture before them, the decoder stamps each picture a
        // frame after the time it is shown at.
        m_mayBePacked = mayHoldPackedPictures(in, containerTraits(input->iformat));
        // At least one tick: a length inside one picture still holds the picture on screen at
        // the start, also where a tick is a whole picture (AVI) and the length rounds to none.
        m_lengthTs = std::max<std::int64_t>(1, secondsToTs(section.length(), in->time_base));
        m_endTs = secondsToTs(section.end, in->time_base);

        m_filters = buildVideoFilters(m_decoder.get(), in->time_base, rate, codec, options);
        m_encoder.reset(avcodec_alloc_context3(codec));
        if (!m_encoder)
            throw std::bad_alloc();
        AVCodecContext* enc = m_encoder.get();
        enc->width = filters().av_buffersink_get_w(m_filters.sink);
        enc->height = filters().av_buffersink_get_h(m_filters.sink);
        enc->pix_fmt =
            static_cast<AVPixelFormat>(filters().av_buffersink_get_format(m_filters.sink));
        enc->sample_aspect_ratio = filters().av_buffersink_get_sample_aspect_ratio(m_filters.sink);
        enc->framerate = rate;
        enc->time_base = av_inv_q(rate);
        enc->thread_count = options.threads;
        if (options.video.bitRate > 0)
            enc->bit_rate = options.video.bitRate;
        if (options.gop > 0)
            enc->gop_size = options.gop;
        if (options.quality) {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = static_cast<int>(std::lround(FF_QP2LAMBDA * *options.quality));
        }
        if (output->oformat->flags & AVFMT_GLOBALHEADER)
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (options.bitexact)
            enc->flags |= AV_CODEC_FLAG_BITEXACT;
        describePicturesAsSource(in->codecpar, m_decoder->pix_fmt, enc);
        Dictionary settings;
        for (const auto& [key, value] : options.video.encoderOptions)
            av_dict_set(&settings.dict, key.c_str(), value.c_str(), 0);
        openEncoder(codec, &settings.dict, "the video options");
        createOutputStream(output, options.bitexact);
        m_out->avg_frame_rate = rate;
        m_out->sample_aspect_ratio = enc->sample_aspect_ratio;
    }

private:
    // The frame rule: the clip holds the frames whose display starts in [start of the frame
    // shown at the section's start, start of the frame shown at its end). Consecutive sections
    // then tile, each frame in exactly one clip. A frame is held back until the next one tells
    // whether it still lies before the frame shown at the end.
    void takeFrame(AVFrame* frame, const Writer& write) override {
        const std::int64_t pts = frameTime(frame);
        if (pts == AV_NOPTS_VALUE)
            return;
        if (pts <= m_startTs) {
            // Possibly the frame on screen at the start: later ones replace it.
            hold(frame, pts);
            return;
        }
        if (!m_emittedAny)
            tellOrigin(pts);
        if (pts <= m_endTs) {
            emitHeld(write);
            hold(frame, pts);
            return;
        }
        // The held frame is the one shown at the end: it opens the next section, unless the
        // section is shorter than a frame and it is all the clip has.
        if (!m_emittedAny)
            emitHeld(write);
        dropHeld();
        close(endOfFed(), write);
    }

    // A packet holding two pictures tells a packed stream.
    void notePacket(const AVPacket* packet) override {
        if (!m_mayBePacked || m_decodedLate)
            return;
        m_decodedLate = holdsPackedPictures(packet);
    }

    // The frame's time in the source's time base, or AV_NOPTS_VALUE for a frame to skip.
    std::int64_t frameTime(const AVFrame* frame) {
        std::int64_t pts = frame->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) {
            if (m_lastTs == AV_NOPTS_VALUE)
                return AV_NOPTS_VALUE;
            pts = m_lastTs + m_frameTs;
        }
        if (m_lastTs != AV_NOPTS_VALUE && pts <= m_lastTs)
            return AV_NOPTS_VALUE; // a repeated or backwards timestamp from a damaged source
        m_lastTs = pts;
        if (frame->pkt_duration > 0)
            m_frameTs = frame->pkt_duration;
        return m_decodedLate ? pts - m_frameTs : pts;
    }

    void hold(AVFrame* frame, std::int64_t pts) {
        av_frame_unref(m_held.get());
        av_frame_move_ref(m_held.get(), frame);
        m_heldTs = pts;
        m_heldDuration = m_frameTs;
    }

    void dropHeld() { av_frame_unref(m_held.get()); }

    // The clip's frames follow a clock started at the section's start, so a frame that began
    // between two of its ticks moves on to the next one, the whole picture as much later as
    // the first frame after the start (pts) moves. Encoded sound beside it starts that much
    // earlier in the source, so the sound heard with each picture stays the source's.
    // A clip at another frame rate than the source's samples the pictures at its own ticks
    // instead: it has no such constant lag, and its sound starts at the start.
    void tellOrigin(std::int64_t pts) {
        if (!m_section.origin || m_section.origin->seconds || !m_sourceRate)
            return;
        const double rel = static_cast<double>(pts - m_startTs) * av_q2d(m_in->time_base);
        const double moved = std::clamp(std::ceil(rel / m_tick - 1e-6) * m_tick - rel, 0.0, m_tick);
        m_section.origin->seconds =
            static_cast<double>(m_startTs) * av_q2d(m_in->time_base) - moved;
    }

    // Passes the held frame on, the one shown at the start at the clip's time 0.
    void emitHeld(const Writer& write) {
        if (!m_held->buf[0])
            return;
        const std::int64_t rel = std::max<std::int64_t>(0, m_heldTs - m_startTs);
        m_held->pts = rel;
        m_fedEnd = std::max(m_fedEnd, rel + m_heldDuration);
        m_emittedAny = true;
        push(m_held.get(), write);
        av_frame_unref(m_held.get());
    }

    // At the source's end the last frame is kept unless it is still on screen at the end.
    void flushHeld(const Writer& write) override {
        if (!m_held->buf[0])
            return;
        // A source that broke off before the start has no frame on screen there to give.
        const bool beforeStart = m_heldTs + m_heldDuration <= m_startTs;
        const bool shownAtEnd = m_endTs != INT64_MAX && m_heldTs + m_heldDuration > m_endTs;
        if (!beforeStart && (!m_emittedAny || !shownAtEnd))
            emitHeld(write);
        dropHeld();
    }

    std::int64_t endOfFed() const override { return std::min(m_fedEnd, m_lengthTs); }

    FramePtr m_held = makeFrame();
    std::int64_t m_heldTs = 0;
    std::int64_t m_heldDuration = 1;
    bool m_emittedAny = false;
    std::int64_t m_startTs = 0;
    std::int64_t m_endTs = INT64_MAX; // source time of the section's end
    std::int64_t m_lengthTs = 0;
    std::int64_t m_frameTs = 1;
    double m_tick = 0.04;      // seconds between the clip's frames
    bool m_sourceRate = false; // the clip keeps the source's frame rate
    std::int64_t m_lastTs = AV_NOPTS_VALUE;
    std::int64_t m_fedEnd = 0;
    bool m_mayBePacked = false;
    bool m_decodedLate = false; // packed: pictures are stamped a frame after they are shown
};

} // namespace

std::unique_ptr<Transcoder> Transcoder::forVideo(const AVFormatContext* input, const AVStream* in,
                                                 AVFormatContext* output, const Options& options,
                                                 const Section& section) {
    return std::make_unique<VideoTranscoder>(input, in, output, options, section);
}

} // namespace vorkast
