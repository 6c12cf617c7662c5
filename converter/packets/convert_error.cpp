// Turning libav error codes into readable failures.
#include "convert_error.h"

#include "libav_owners.h"

#include <new>

extern "C" {
#include <libavutil/error.h>
}

namespace vorkast {

std::string avErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int check(int code, std::string_view what) {
    if (code < 0)
        throw ConvertError(std::string(what) + ": " + avErrorText(code));
    return code;
}

FramePtr makeFrame() {
    FramePtr frame(av_frame_alloc());
    if (!frame)
        throw std::bad_alloc();
    return frame;
}

PacketPtr makePacket() {
    PacketPtr packet(av_packet_alloc());
    if (!packet)
        throw std::bad_alloc();
    return packet;
}

} // namespace vorkast
