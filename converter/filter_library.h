// libavfilter, loaded on first use rather than at program start.
//
// Lossless cuts never filter, and loading libavfilter with everything it depends on costs more
// than a whole lossless section; so the engine reaches its functions through filters(), which
// opens the library the first time a graph is built.
#pragma once

#include <cstdint> // before libavutil, which needs UINT64_C in C++

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace vorkast {

#define VORKAST_FILTER_FUNCTIONS(X)                                                                \
    X(avfilter_get_by_name)                                                                        \
    X(avfilter_graph_alloc)                                                                        \
    X(avfilter_graph_free)                                                                         \
    X(avfilter_graph_create_filter)                                                                \
    X(avfilter_graph_parse_ptr)                                                                    \
    X(avfilter_graph_config)                                                                       \
    X(avfilter_inout_alloc)                                                                        \
    X(avfilter_inout_free)                                                                         \
    X(av_buffersrc_add_frame_flags)                                                                \
    X(av_buffersrc_close)                                                                          \
    X(av_buffersink_get_frame)                                                                     \
    X(av_buffersink_set_frame_size)                                                                \
    X(av_buffersink_get_time_base)                                                                 \
    X(av_buffersink_get_format)                                                                    \
    X(av_buffersink_get_w)                                                                         \
    X(av_buffersink_get_h)                                                                         \
    X(av_buffersink_get_sample_aspect_ratio)                                                       \
    X(av_buffersink_get_sample_rate)                                                               \
    X(av_buffersink_get_ch_layout)

struct FilterLibrary {
#define VORKAST_FILTER_POINTER(name) decltype(&::name) name = nullptr;
    VORKAST_FILTER_FUNCTIONS(VORKAST_FILTER_POINTER)
#undef VORKAST_FILTER_POINTER
};

// The loaded library; thread-safe. Throws ConvertError when it cannot be loaded.
const FilterLibrary& filters();

} // namespace vorkast
