// What a video packet's own bytes tell, per codec family: the picture's coding type, whether a
// decoder can begin there, and the headers a cut needs. Other codecs (HEVC, MJPEG, ...) are
// read by the container's keyframe flag alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavcodec/packet.h>
}

namespace vorkast {

enum class CodecFamily { H264, Hevc, Mpeg12, Mpeg4Part2, Other };
CodecFamily codecFamily(AVCodecID id);

// H.264 and HEVC: the size of the lengths before each NAL unit of a packet, as the stream's
// extradata (avcC, hvcC) states it; 0 when the units follow start codes, and for other codecs.
int nalLengthSize(CodecFamily family, const std::uint8_t* extradata, std::size_t size);

// S: an MPEG-4 sprite picture, predicted like a P-picture.
enum class PictureType { Unknown, I, P, B, S };

// Whether later pictures are predicted from a picture of this type (B-pictures never are).
inline bool isReference(PictureType type) {
    return type == PictureType::I || type == PictureType::P || type == PictureType::S;
}

namespace mpeg12 {
// The first picture header: its temporal reference (its place in display order within its
// group of pictures, ten bits) and its coding type.
struct PictureHeader {
    int temporalReference = 0;
    PictureType type = PictureType::Unknown;
};
std::optional<PictureHeader> pictureHeader(const std::uint8_t* data, std::size_t size);
// Whether the data holds a sequence header, which a decoder needs before its first picture.
bool hasSequenceHeader(const std::uint8_t* data, std::size_t size);
// Whether the first group-of-pictures header says the group needs nothing before it.
bool opensClosedGroup(const std::uint8_t* data, std::size_t size);
} // namespace mpeg12

namespace mpeg4 {
// The coding type of the first picture (VOP).
PictureType pictureType(const std::uint8_t* data, std::size_t size);
// Whether the data holds a video object layer header, which a decoder needs before the first
// picture.
bool hasVolHeader(const std::uint8_t* data, std::size_t size);
// The bits of a picture's time increment, read from the first video object layer header, or
// 0 when there is none.
int timeIncrementBits(const std::uint8_t* data, std::size_t size);
// Whether the picture starting at data (its start code) is coded; one that is not stands in for
// a frame, as the packet after one with a B-frame packed into it does.
bool vopCoded(const std::uint8_t* data, std::size_t size, int incrementBits);
// Pictures (VOP start codes) in data, counting up to most.
int pictureCount(const std::uint8_t* data, std::size_t size, int most);
} // namespace mpeg4

namespace h264 {
// The coding type of the first slice of an access unit with start codes or lengthSize-byte
// lengths: I for I and SI slices, P for P and SP, B; Unknown without a slice.
PictureType pictureType(const std::uint8_t* data, std::size_t size, int lengthSize);
// Whether the access unit holds an IDR slice, where a decoder can begin.
bool hasIdr(const std::uint8_t* data, std::size_t size, int lengthSize);
} // namespace h264

// The coding type of a packet's first picture in a stream of family; Unknown where the codec's
// headers are not read or not found. lengthSize: H.264's or HEVC's NAL length size (0 start
// codes).
PictureType pictureType(CodecFamily family, const AVPacket* packet, int lengthSize = 0);

// MPEG-4 Visual: the few bytes of a picture that is not coded, standing in for a B-frame packed
// into the packet before it (AVI). Such a packet is no picture of its own, whatever its type.
bool isStandIn(CodecFamily family, const AVPacket* packet);

// Whether decoding can begin with this packet: a keyframe that brings what a decoder needs
// (an IDR picture for H.264, a random access point for HEVC, a sequence header with an I-picture
// for MPEG-1/2, an I-picture for MPEG-4 Visual); elsewhere the keyframe flag.
bool canStartDecoding(CodecFamily family, const AVPacket* packet, int lengthSize = 0);

} // namespace vorkast
