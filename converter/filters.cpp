// Building the filter graphs as text and wiring them between buffer source and sink.
#include "filters.h"

#include "convert_error.h"
#include "filter_library.h"
#include "filter_policy.h"

#include <string>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
}

namespace vorkast {

namespace {

std::string rational(AVRational q) {
    return std::to_string(q.num) + "/" + std::to_string(q.den);
}

// One more name for a "a|b|c" list.
void addFormat(std::string& formats, const char* name) {
    if (!formats.empty())
        formats += '|';
    formats += name;
}

void append(std::string& chain, const std::string& filter) {
    if (filter.empty())
        return;
    if (!chain.empty())
        chain += ",";
    chain += filter;
}

// userGraph: what -vf or -af gave, named in failures instead of the whole chain around it.
FilterChain wire(const char* sourceName, const std::string& sourceArgs, const char* sinkName,
                 const std::string& chain, const char* kind, const std::string& userGraph) {
    FilterChain result;
    result.graph.reset(filters().avfilter_graph_alloc());
    if (!result.graph)
        throw std::bad_alloc();
    AVFilterGraph* graph = result.graph.get();
    check(filters().avfilter_graph_create_filter(&result.source,
                                                 filters().avfilter_get_by_name(sourceName), "in",
                                                 sourceArgs.c_str(), nullptr, graph),
          std::string("cannot feed the ") + kind + " filters");
    check(filters().avfilter_graph_create_filter(&result.sink,
                                                 filters().avfilter_get_by_name(sinkName), "out",
                                                 nullptr, nullptr, graph),
          std::string("cannot drain the ") + kind + " filters");

    FilterInOutPtr outputs(filters().avfilter_inout_alloc());
    FilterInOutPtr inputs(filters().avfilter_inout_alloc());
    if (!outputs || !inputs)
        throw std::bad_alloc();
    outputs->name = av_strdup("in");
    outputs->filter_ctx = result.source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = result.sink;
    AVFilterInOut* outs = outputs.release();
    AVFilterInOut* ins = inputs.release();
    const std::string text =
        chain.empty() ? (std::string(kind) == "video" ? "null" : "anull") : chain;
    // The user's graph was checked on its own when the options were read; the whole text is
    // checked again here, as libavfilter will read it, so nothing in how the pieces join can
    // slip a filter past the check. Parsing creates the filters, and that opens their files.
    checkFilterGraph(text, std::string(kind) == "video" ? "-vf" : "-af");
    const int err = filters().avfilter_graph_parse_ptr(graph, text.c_str(), &ins, &outs, nullptr);
    filters().avfilter_inout_free(&ins);
    filters().avfilter_inout_free(&outs);
    const std::string named =
        userGraph.empty() ? std::string("the ") + kind + " filters \"" + text + "\""
                          : std::string("the ") + kind + " filters given (\"" + userGraph + "\")";
    if (err < 0)
        check(err, named + " do not build");
    const int configured = filters().avfilter_graph_config(graph, nullptr);
    if (configured < 0)
        check(configured, named + " do not fit together");
    return result;
}

} // namespace

FilterChain buildVideoFilters(const AVCodecContext* decoder, AVRational inputTimeBase,
                              AVRational frameRate, const AVCodec* encoder,
                              const Options& options) {
    const char* pixFmt = av_get_pix_fmt_name(decoder->pix_fmt);
    if (!pixFmt)
        throw ConvertError("the source's video has no picture format the libraries know");
    AVRational sar =
        decoder->sample_aspect_ratio.num > 0 ? decoder->sample_aspect_ratio : AVRational{1, 1};
    const std::string args =
        "video_size=" + std::to_string(decoder->width) + "x" + std::to_string(decoder->height) +
        ":pix_fmt=" + pixFmt + ":time_base=" + rational(inputTimeBase) +
        ":pixel_aspect=" + rational(sar) + ":frame_rate=" + rational(frameRate);

    std::string chain;
    if (options.deinterlace)
        append(chain, "yadif=mode=send_frame:deint=all");
    append(chain, options.video.filters);
    if (options.width > 0)
        append(chain,
               "scale=" + std::to_string(options.width) + ":" + std::to_string(options.height));
    if (options.aspect.num > 0)
        append(chain, "setdar=dar=" + rational(options.aspect));
    // Rounding up gives each output frame the source frame shown at that instant, so the first
    // frame is the one on screen at the section's start.
    append(chain, "fps=fps=" + rational(frameRate) + ":round=up");
    if (!options.pixelFormat.empty()) {
        append(chain, "format=pix_fmts=" + options.pixelFormat);
    } else if (encoder->pix_fmts) {
        std::string formats;
        for (const AVPixelFormat* f = encoder->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
            // Motion JPEG takes limited-range YUV only as a non-standard extension: offer it
            // the full-range formats, and the filters convert the range.
            const bool jpegOnly = encoder->id == AV_CODEC_ID_MJPEG;
            if (jpegOnly && *f != AV_PIX_FMT_YUVJ420P && *f != AV_PIX_FMT_YUVJ422P &&
                *f != AV_PIX_FMT_YUVJ444P)
                continue;
            addFormat(formats, av_get_pix_fmt_name(*f));
        }
        append(chain, "format=pix_fmts=" + formats);
    }
    FilterChain result = wire("buffer", args, "buffersink", chain, "video", options.video.filters);

    // Chroma shared between neighbouring pixels needs an even size; a custom size such as
    // 641x481 (or an odd source) loses its last row or column rather than failing the encoder.
    const auto* format = av_pix_fmt_desc_get(
        static_cast<AVPixelFormat>(filters().av_buffersink_get_format(result.sink)));
    const int w = filters().av_buffersink_get_w(result.sink);
    const int h = filters().av_buffersink_get_h(result.sink);
    const int evenW = format && format->log2_chroma_w ? w & ~1 : w;
    const int evenH = format && format->log2_chroma_h ? h & ~1 : h;
    if ((evenW != w || evenH != h) && evenW > 0 && evenH > 0) {
        const std::string even = "scale=" + std::to_string(evenW) + ":" + std::to_string(evenH);
        const std::size_t at = chain.find("fps=");
        chain.insert(at, even + ",");
        result = wire("buffer", args, "buffersink", chain, "video", options.video.filters);
    }
    return result;
}

FilterChain buildAudioFilters(const AVCodecContext* decoder, const AVCodec* encoder, int sampleRate,
                              const AVChannelLayout& layout, const Options& options) {
    char layoutText[128] = {};
    av_channel_layout_describe(&decoder->ch_layout, layoutText, sizeof layoutText);
    const std::string args = "time_base=1/" + std::to_string(decoder->sample_rate) +
                             ":sample_rate=" + std::to_string(decoder->sample_rate) +
                             ":sample_fmt=" + av_get_sample_fmt_name(decoder->sample_fmt) +
                             ":channel_layout=" + layoutText;

    std::string chain;
    if (options.volume != 256)
        append(chain, "volume=volume=" + std::to_string(options.volume) + "/256");
    append(chain, options.audio.filters);
    if (sampleRate != decoder->sample_rate)
        append(chain, "aresample=" + std::to_string(sampleRate));
    std::string formats;
    if (encoder->sample_fmts)
        for (const AVSampleFormat* f = encoder->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            addFormat(formats, av_get_sample_fmt_name(*f));
    char targetLayout[128] = {};
    av_channel_layout_describe(&layout, targetLayout, sizeof targetLayout);
    append(chain, "aformat=" + (formats.empty() ? std::string() : "sample_fmts=" + formats + ":") +
                      "sample_rates=" + std::to_string(sampleRate) +
                      ":channel_layouts=" + targetLayout);
    return wire("abuffer", args, "abuffersink", chain, "audio", options.audio.filters);
}

} // namespace vorkast
