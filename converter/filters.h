// The libavfilter graphs between decoder and encoder: scale, rate, aspect, deinterlace, volume,
// resampling, channel count, the user's own graph, and the formats the encoder takes.
#pragma once

#include "libav_ptr.h"
#include "options.h"

namespace vorkast {

struct FilterChain {
    FilterGraphPtr graph;
    AVFilterContext* source = nullptr; // buffer / abuffer
    AVFilterContext* sink = nullptr;   // buffersink / abuffersink
};

// decoder: the opened video decoder; inputTimeBase: the time base of the frames fed in.
// frameRate: the clip's constant rate. Throws ConvertError on a graph that does not build.
FilterChain buildVideoFilters(const AVCodecContext* decoder, AVRational inputTimeBase,
                              AVRational frameRate, const AVCodec* encoder, const Options& options);

// Frames are fed with time base 1/decoder->sample_rate. sampleRate and layout: what the
// encoder gets.
FilterChain buildAudioFilters(const AVCodecContext* decoder, const AVCodec* encoder, int sampleRate,
                              const AVChannelLayout& layout, const Options& options);

} // namespace vorkast
