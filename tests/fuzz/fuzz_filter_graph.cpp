// -vf and -af text from a shared profile: the check never crashes, and whatever it lets through,
// libavfilter itself reads into filters the check allows. A difference in how the two read a
// graph (quotes, escapes, labels, instance names) would show as a refused filter created here.
#include "convert_error.h"
#include "filter_policy.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavutil/log.h>
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string graph(reinterpret_cast<const char*>(data), size);
    if (graph.find('\0') != std::string::npos)
        return 0; // an argument never holds one
    try {
        vorkast::checkFilterGraph(graph, "-vf");
    } catch (const vorkast::ConvertError&) {
        return 0;
    }
    AVFilterGraph* parsed = avfilter_graph_alloc();
    AVFilterInOut* inputs = nullptr;
    AVFilterInOut* outputs = nullptr;
    // Parsing creates (and sets up) every filter it reads: the ones the check would have seen.
    avfilter_graph_parse2(parsed, graph.c_str(), &inputs, &outputs);
    for (unsigned i = 0; parsed && i < parsed->nb_filters; ++i) {
        const char* name = parsed->filters[i]->filter->name;
        if (!vorkast::filterMayBeUsed(name)) {
            std::fprintf(stderr, "the check let \"%s\" through in \"%s\"\n", name, graph.c_str());
            std::abort();
        }
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    avfilter_graph_free(&parsed);
    return 0;
}
