// Which copied videos a lossless cut can start between keyframes: the converter decides its cut
// by it and the window shows, before a job runs, where such a clip will really start. Header
// only and free of libav: callers name the codec as libavcodec does (avcodec_get_name).
#pragma once

#include <string_view>

namespace vorkast {

// How a copied video of a codec is cut exactly.
enum class ExactCutWay {
    ByCopy,      // every frame stands alone: copying from the start frame is exact already
    ByRecoding,  // head and tail encoded again, the rest copied
    Unsupported, // the keyframe cut, with a warning
};

// codecName: libavcodec's short name ("h264", "mpeg2video", "wmv3"); intraOnly: whether the
// codec's descriptor says every frame is a keyframe.
inline ExactCutWay exactCutWayOf(std::string_view codecName, bool intraOnly) {
    if (intraOnly)
        return ExactCutWay::ByCopy;
    // MPEG-1 and MPEG-2 share picture headers, groups and program-stream timing: one way.
    for (std::string_view recoded : {"h264", "hevc", "mpeg1video", "mpeg2video", "mpeg4"}) {
        if (codecName == recoded)
            return ExactCutWay::ByRecoding;
    }
    return ExactCutWay::Unsupported;
}

// Whether a lossless cut of this video starts at the keyframe at or before the asked start
// rather than at the asked frame.
inline bool cutStartsAtKeyframe(std::string_view codecName, bool intraOnly) {
    return exactCutWayOf(codecName, intraOnly) == ExactCutWay::Unsupported;
}

} // namespace vorkast
