// Owners for the libav* objects that reading packets needs (no libavfilter), so every exit
// path frees them exactly once. libav_ptr.h adds the filter graph's.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace vorkast {

struct InputContextFree {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
// An output context owns its muxer state; the file (pb) is closed separately by the part file.
struct OutputContextFree {
    void operator()(AVFormatContext* ctx) const { avformat_free_context(ctx); }
};
struct CodecContextFree {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
// libav functions take AVDictionary** and may replace it, so the owner holds the pointer itself.
struct Dictionary {
    AVDictionary* dict = nullptr;
    Dictionary() = default;
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    ~Dictionary() { av_dict_free(&dict); }
};
// A channel layout with a custom order owns its channel map.
struct ChannelLayout {
    AVChannelLayout layout{};
    ChannelLayout() = default;
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;
    ~ChannelLayout() { av_channel_layout_uninit(&layout); }
};

struct BitstreamFilterFree {
    void operator()(AVBSFContext* bsf) const { av_bsf_free(&bsf); }
};

// Only its users link libswscale: the library itself scales nothing.
struct ScalerFree {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using BitstreamFilterPtr = std::unique_ptr<AVBSFContext, BitstreamFilterFree>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextFree>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextFree>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFree>;

// A new frame or packet; throws std::bad_alloc when libav cannot allocate one.
FramePtr makeFrame();
PacketPtr makePacket();

} // namespace vorkast
