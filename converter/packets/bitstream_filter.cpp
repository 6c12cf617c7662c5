// Bitstream filters, allocated, described and initialised.
#include "bitstream_filter.h"

#include "convert_error.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace vorkast {

BitstreamFilterPtr
openBitstreamFilter(const char* name, const AVCodecParameters* par, AVRational timeBase,
                    std::string_view failure,
                    std::initializer_list<std::pair<const char*, const char*>> options) {
    const AVBitStreamFilter* filter = av_bsf_get_by_name(name);
    if (!filter)
        check(AVERROR_BSF_NOT_FOUND, failure);
    AVBSFContext* raw = nullptr;
    check(av_bsf_alloc(filter, &raw), failure);
    BitstreamFilterPtr owned(raw);
    for (const auto& [option, value] : options)
        check(av_opt_set(raw->priv_data, option, value, 0), failure);
    check(avcodec_parameters_copy(raw->par_in, par), failure);
    raw->time_base_in = timeBase;
    check(av_bsf_init(raw), failure);
    return owned;
}

} // namespace vorkast
