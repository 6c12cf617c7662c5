// The containers whose quirks matter.
#include "container_traits.h"

#include <cstring>

namespace vorkast {

namespace {

bool isAvi(const char* name) {
    return name && std::strcmp(name, "avi") == 0;
}

bool isAsf(const char* name) {
    return name && (std::strcmp(name, "asf") == 0 || std::strcmp(name, "asf_o") == 0);
}

ContainerTraits byName(const char* name) {
    ContainerTraits traits;
    if (isAvi(name)) {
        traits.storesDisplayTimes = false;
        traits.packsBFrames = true;
        traits.countsSoundInBlocks = true;
    }
    traits.seeksEarly = isAvi(name) || isAsf(name);
    return traits;
}

} // namespace

ContainerTraits containerTraits(const AVInputFormat* format) {
    if (!format)
        return {};
    ContainerTraits traits = byName(format->name);
    traits.clockMayRestart = (format->flags & AVFMT_TS_DISCONT) != 0;
    return traits;
}

ContainerTraits containerTraits(const AVOutputFormat* format) {
    if (!format)
        return {};
    ContainerTraits traits = byName(format->name);
    traits.clockMayRestart = (format->flags & AVFMT_TS_DISCONT) != 0;
    return traits;
}

} // namespace vorkast
