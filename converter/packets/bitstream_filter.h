// Setting up a bitstream filter for one stream, the one way every user of them does it.
#pragma once

#include "libav_owners.h"

#include <initializer_list>
#include <string_view>
#include <utility>

namespace vorkast {

// The filter named name, set up for a stream described by par in timeBase, with the filter's
// own options (name, value), initialised: its par_out describes what it hands out. Throws
// ConvertError("<failure>: <libav text>") where the libraries lack the filter or it cannot take
// the stream.
BitstreamFilterPtr
openBitstreamFilter(const char* name, const AVCodecParameters* par, AVRational timeBase,
                    std::string_view failure,
                    std::initializer_list<std::pair<const char*, const char*>> options = {});

} // namespace vorkast
