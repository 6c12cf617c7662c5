// Audio: cut to the sample at the section's start and end, then filter and encode.
#include "convert_error.h"
#include "filter_library.h"
#include "timestamps.h"
#include "transcoder.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace vorkast {

namespace {

int chooseSampleRate(const AVCodec* encoder, int wanted) {
    if (!encoder->supported_samplerates)
        return wanted;
    int best = 0;
    for (const int* r = encoder->supported_samplerates; *r; ++r) {
        if (*r == wanted)
            return wanted;
        // The nearest rate at or above what is wanted, else the highest there is.
        const bool haveAbove = best > wanted;
        if (*r > wanted ? !haveAbove || *r < best : !haveAbove && *r > best)
            best = *r;
    }
    return best > 0 ? best : wanted;
}

void chooseLayout(const AVCodec* encoder, const AVChannelLayout& wanted, AVChannelLayout* chosen) {
    const AVChannelLayout* pick = &wanted;
    if (encoder->ch_layouts) {
        const AVChannelLayout* sameCount = nullptr;
        const AVChannelLayout* fewer = nullptr;
        pick = nullptr;
        for (const AVChannelLayout* l = encoder->ch_layouts; l->nb_channels; ++l) {
            if (!av_channel_layout_compare(l, &wanted)) {
                pick = l;
                break;
            }
            if (!sameCount && l->nb_channels == wanted.nb_channels)
                sameCount = l;
            if (l->nb_channels < wanted.nb_channels &&
                (!fewer || l->nb_channels > fewer->nb_channels))
                fewer = l;
        }
        if (!pick)
            pick = sameCount ? sameCount : fewer ? fewer : encoder->ch_layouts;
    }
    check(av_channel_layout_copy(chosen, pick), "cannot choose the audio channels");
}

class AudioTranscoder final : public Transcoder {
public:
    AudioTranscoder(const AVStream* in, AVFormatContext* output, const Options& options,
                    const Section& section)
        : Transcoder(in, section) {
        const AVCodec* codec =
            chooseEncoder(options.audio.codec, output->oformat, AVMEDIA_TYPE_AUDIO);
        openDecoder(0);
        AVCodecContext* dec = m_decoder.get();
        if (dec->sample_rate <= 0 || dec->ch_layout.nb_channels <= 0)
            throw ConvertError(
                "the source's audio has no sample rate or channels the libraries can tell");
        if (dec->ch_layout.order != AV_CHANNEL_ORDER_NATIVE) {
            const int count = dec->ch_layout.nb_channels;
            av_channel_layout_uninit(&dec->ch_layout);
            av_channel_layout_default(&dec->ch_layout, count);
        }
        m_rate = dec->sample_rate;
        m_sampleFormat = dec->sample_fmt;
        m_channels = dec->ch_layout.nb_channels;
        m_startSample = secondsToTs(section.start, AVRational{1, m_rate});
        m_lengthSamples = secondsToTs(section.length(), AVRational{1, m_rate});

        ChannelLayout wanted;
        if (options.channels > 0)
            av_channel_layout_default(&wanted.layout, options.channels);
        else
            check(av_channel_layout_copy(&wanted.layout, &dec->ch_layout),
                  "cannot read the audio channels");
        ChannelLayout layout;
        chooseLayout(codec, wanted.layout, &layout.layout);
        const int rate =
            chooseSampleRate(codec, options.sampleRate > 0 ? options.sampleRate : m_rate);
        m_filters = buildAudioFilters(dec, codec, rate, layout.layout, options);

        m_encoder.reset(avcodec_alloc_context3(codec));
        if (!m_encoder)
            throw std::bad_alloc();
        AVCodecContext* enc = m_encoder.get();
        enc->sample_fmt =
            static_cast<AVSampleFormat>(filters().av_buffersink_get_format(m_filters.sink));
        enc->sample_rate = filters().av_buffersink_get_sample_rate(m_filters.sink);
        check(filters().av_buffersink_get_ch_layout(m_filters.sink, &enc->ch_layout),
              "cannot read the audio channels");
        enc->time_base = AVRational{1, enc->sample_rate};
        enc->thread_count = options.threads;
        if (options.audio.bitRate > 0)
            enc->bit_rate = options.audio.bitRate;
        if (output->oformat->flags & AVFMT_GLOBALHEADER)
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (options.bitexact)
            enc->flags |= AV_CODEC_FLAG_BITEXACT;
        Dictionary settings;
        openEncoder(codec, &settings.dict, "the audio options");
        if (!(codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) && enc->frame_size > 0)
            filters().av_buffersink_set_frame_size(m_filters.sink,
                                                   static_cast<unsigned>(enc->frame_size));
        createOutputStream(output, options.bitexact);
        m_primingLead = primingLead(output->oformat);
    }

private:
    // Most encoders begin with sound of their own (the priming: LAME's and AAC's delay, WMA's
    // first block), which they stamp before the frames they are given, below zero. A container
    // that keeps times below zero (MP4's edit list) hides it. In any other the muxer would move
    // every stream later by that much, so the clip's pictures would start that far after its
    // zero and after the start (AVI, whose clock counts whole pictures, even a whole picture,
    // with a gap after the first). There the sound is taken from that much after the clip's
    // start instead, at its own time: its first packet lands on zero, the priming plays in
    // place of the samples left out, and every picture and every sample keeps its time.
    // Source samples to leave out.
    std::int64_t primingLead(const AVOutputFormat* format) const {
        const AVCodecContext* enc = m_encoder.get();
        if ((format->flags & (AVFMT_TS_NEGATIVE | AVFMT_NOTIMESTAMPS)) ||
            enc->initial_padding <= 0 || enc->sample_rate <= 0)
            return 0;
        // Rounded up: a sample too few left out would still put the first packet below zero.
        return av_rescale_rnd(enc->initial_padding, m_rate, enc->sample_rate, AV_ROUND_UP);
    }

    // A joined clip's next section: its sound follows on from clipStart in the clip.
    void beginSection(double clipStart) override {
        m_startSample = secondsToTs(m_section.start, AVRational{1, m_rate});
        m_lengthSamples = secondsToTs(m_section.length(), AVRational{1, m_rate});
        m_offset = std::llround(clipStart * m_rate);
        m_nextSample = AV_NOPTS_VALUE;
        m_waiting.clear();
        m_waitingSamples = 0;
    }

    void takeFrame(AVFrame* frame, const Writer& write) override {
        if (sectionDone())
            return;
        // A change of rate, sample format or channel count mid-stream (damage, mostly): such
        // frames are skipped rather than played at the wrong speed or refused by the filters.
        if (frame->sample_rate != m_rate || frame->nb_samples <= 0 ||
            frame->format != m_sampleFormat || frame->ch_layout.nb_channels != m_channels)
            return;
        std::int64_t first = m_nextSample;
        if (frame->best_effort_timestamp != AV_NOPTS_VALUE) {
            const std::int64_t stamped =
                av_rescale_q(frame->best_effort_timestamp, m_in->time_base, AVRational{1, m_rate});
            // Containers round audio times to their clock; a frame that follows on within a
            // few milliseconds is taken as seamless, so no click or overlap enters the clip.
            // Sound stamped back over what was already taken (damage) is left out: played
            // twice it would overlap itself.
            if (first != AV_NOPTS_VALUE && stamped < first - m_rate / 200)
                return;
            if (first == AV_NOPTS_VALUE || std::llabs(stamped - first) > m_rate / 200)
                first = stamped;
        } else if (first == AV_NOPTS_VALUE) {
            return;
        }
        m_nextSample = first + frame->nb_samples;
        if (waitsForOrigin() && m_section.origin->seconds)
            startAt(secondsToTs(*m_section.origin->seconds, AVRational{1, m_rate}), write);
        if (waitsForOrigin()) {
            // Kept until the video tells where the clip starts: at most a frame before the
            // section's start, so sound from further back is not needed.
            if (m_nextSample + m_rate < m_startSample)
                return;
            FramePtr kept = makeFrame();
            check(av_frame_ref(kept.get(), frame), "out of memory for audio");
            m_waiting.emplace_back(std::move(kept), first);
            m_waitingSamples += frame->nb_samples;
            // Video that never shows a frame must not keep the sound waiting without bound.
            if (m_waitingSamples > std::int64_t{m_rate} * kLongestWait)
                startAt(m_startSample, write);
            return;
        }
        cut(frame, first, write);
    }

    // Whether the clip's start still waits for the video's first frame.
    bool waitsForOrigin() const { return m_section.origin && !m_originTaken; }

    void flushHeld(const Writer& write) override {
        if (!waitsForOrigin())
            return;
        const auto& origin = m_section.origin->seconds;
        startAt(origin ? secondsToTs(*origin, AVRational{1, m_rate}) : m_startSample, write);
    }

    // Starts the clip's sound at the sample `from` and passes on what waited for it.
    void startAt(std::int64_t from, const Writer& write) {
        m_originTaken = true;
        if (m_lengthSamples != INT64_MAX)
            m_lengthSamples += m_startSample - from;
        m_startSample = from;
        auto waiting = std::move(m_waiting);
        m_waiting.clear();
        for (auto& [frame, first] : waiting)
            if (!finished())
                cut(frame.get(), first, write);
    }

    // Cuts a frame whose first sample is `first` (source samples) to the section.
    void cut(AVFrame* frame, std::int64_t first, const Writer& write) {
        const std::int64_t rel = first - m_startSample;
        if (rel >= m_lengthSamples) {
            endSection(m_offset + m_lengthSamples, write);
            return;
        }
        // Samples before the section's start are left out, and, in the clip's first moments, the
        // encoder's priming (primingLead).
        const std::int64_t from = std::max({std::int64_t{0}, -rel, m_primingLead - m_offset - rel});
        const std::int64_t room =
            m_lengthSamples == INT64_MAX ? frame->nb_samples : m_lengthSamples - rel;
        const std::int64_t to = std::min<std::int64_t>(frame->nb_samples, room);
        if (to <= from)
            return;
        if (frame->ch_layout.order != AV_CHANNEL_ORDER_NATIVE) {
            av_channel_layout_uninit(&frame->ch_layout);
            check(av_channel_layout_copy(&frame->ch_layout, &m_decoder->ch_layout),
                  "cannot read the audio channels");
        }
        if (from == 0 && to == frame->nb_samples) {
            frame->pts = m_offset + rel;
            m_fedEnd = frame->pts + frame->nb_samples;
            push(frame, write);
            return;
        }
        // Part of the frame lies outside the section: pass on only the samples inside it.
        av_frame_unref(m_part.get());
        m_part->format = frame->format;
        m_part->sample_rate = frame->sample_rate;
        check(av_channel_layout_copy(&m_part->ch_layout, &frame->ch_layout),
              "cannot read the audio channels");
        m_part->nb_samples = static_cast<int>(to - from);
        check(av_frame_get_buffer(m_part.get(), 0), "out of memory for audio");
        av_samples_copy(m_part->extended_data, frame->extended_data, 0, static_cast<int>(from),
                        m_part->nb_samples, frame->ch_layout.nb_channels,
                        static_cast<AVSampleFormat>(frame->format));
        m_part->pts = m_offset + rel + from;
        m_fedEnd = m_part->pts + m_part->nb_samples;
        push(m_part.get(), write);
    }

    std::int64_t endOfFed() const override {
        return m_lengthSamples == INT64_MAX ? m_fedEnd
                                            : std::min(m_fedEnd, m_offset + m_lengthSamples);
    }

    // Seconds of sound kept at most while the video's first frame is awaited.
    static constexpr int kLongestWait = 10;

    FramePtr m_part = makeFrame();
    std::vector<std::pair<FramePtr, std::int64_t>> m_waiting; // frames and their first samples
    std::int64_t m_waitingSamples = 0;
    bool m_originTaken = false;
    int m_rate = 0; // what the filters take
    int m_sampleFormat = AV_SAMPLE_FMT_NONE;
    int m_channels = 0;
    std::int64_t m_startSample = 0;
    std::int64_t m_lengthSamples = 0;
    std::int64_t m_nextSample = AV_NOPTS_VALUE;
    std::int64_t m_fedEnd = 0;
    std::int64_t m_offset = 0;      // where the section starts in the clip (joined clips)
    std::int64_t m_primingLead = 0; // source samples after the clip's start left out
};

} // namespace

std::unique_ptr<Transcoder> Transcoder::forAudio(const AVStream* in, AVFormatContext* output,
                                                 const Options& options, const Section& section) {
    return std::make_unique<AudioTranscoder>(in, output, options, section);
}

} // namespace vorkast
