// Owners for the libav* objects the engine holds, so every exit path frees them exactly once:
// those of reading packets (libav_owners.h) and the filter graph's.
#pragma once

#include "libav_owners.h"

extern "C" {
#include <libavfilter/avfilter.h>
}

#include "filter_library.h"

#include <memory>

namespace vorkast {

struct FilterGraphFree {
    void operator()(AVFilterGraph* graph) const { filters().avfilter_graph_free(&graph); }
};
struct FilterInOutFree {
    void operator()(AVFilterInOut* io) const { filters().avfilter_inout_free(&io); }
};

using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphFree>;
using FilterInOutPtr = std::unique_ptr<AVFilterInOut, FilterInOutFree>;

} // namespace vorkast
