// Muxing the clip into its part file.
#include "clip_writer.h"

#include "convert_error.h"
#include "media_time.h"
#include "messages.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/opt.h>
}

namespace vorkast {

std::string writeFailureText(int code) {
    if (code == AVERROR(ENOSPC))
        return "cannot write the clip: the disk is full";
    if (code == AVERROR(EFBIG))
        return "cannot write the clip: it grows past the largest file this system allows";
    if (code == AVERROR(EACCES) || code == AVERROR(EROFS) || code == AVERROR(EPERM))
        return "cannot write to the output folder: " + avErrorText(code);
    return "cannot write the clip: " + avErrorText(code);
}

namespace {

// Muxers that write files of their own (numbered pictures, playlists, nothing at all) cannot
// go through the part file, so the clip could never be put in place.
void refuseFileless(const AVOutputFormat* format) {
    const std::string name = format->name;
    if (name == "image2" || name == "image2pipe")
        throw ConvertError("the output names a still picture format (" + name +
                           "); vorkast writes video and sound files: give OUTPUT a video or "
                           "sound extension");
    if (format->flags & AVFMT_NOFILE)
        throw ConvertError("the container " + name +
                           " writes no single output file; give OUTPUT a video or sound "
                           "extension");
}

} // namespace

void keepStreamProperties(const AVStream* in, AVStream* out, bool copied) {
    av_dict_copy(&out->metadata, in->metadata, 0);
    out->disposition = in->disposition;
    for (int i = 0; i < in->nb_side_data; ++i) {
        const AVPacketSideData& side = in->side_data[i];
        const bool describesPictures = side.type == AV_PKT_DATA_DISPLAYMATRIX ||
                                       side.type == AV_PKT_DATA_MASTERING_DISPLAY_METADATA ||
                                       side.type == AV_PKT_DATA_CONTENT_LIGHT_LEVEL;
        if (!copied && !describesPictures)
            continue;
        std::uint8_t* data = av_stream_new_side_data(out, side.type, side.size);
        if (!data)
            throw std::bad_alloc();
        std::memcpy(data, side.data, side.size);
    }
}

void describePicturesAsSource(const AVCodecParameters* source, AVPixelFormat decoded,
                              AVCodecContext* encoder) {
    encoder->color_primaries = source->color_primaries;
    encoder->color_trc = source->color_trc;
    encoder->colorspace = source->color_space;
    encoder->chroma_sample_location = source->chroma_location;
    // Pictures converted to another format on the way come out in the limited range; those
    // passed on as decoded keep the source's.
    if (source->color_range != AVCOL_RANGE_JPEG || encoder->pix_fmt == decoded)
        encoder->color_range = source->color_range;
}

namespace {

// The containers of the QuickTime family: they name a track by its handler.
bool namesTracksByHandler(const AVOutputFormat* format) {
    static const char* const kNames[] = {"mov", "mp4", "ipod", "3gp", "3g2", "psp", "ismv", "f4v"};
    return std::any_of(std::begin(kNames), std::end(kNames),
                       [&](const char* name) { return std::strcmp(format->name, name) == 0; });
}

// Whether the output's name asks for a transport stream of 192-byte packets, each with its
// arrival time, as disc and camera recordings (.m2ts, .mts) are.
bool isRecorderStream(const std::string& output) {
    const std::size_t dot = output.rfind('.');
    if (dot == std::string::npos || output.find('/', dot) != std::string::npos)
        return false;
    std::string extension = output.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == "m2ts" || extension == "mts";
}

// Only the QuickTime family stores a display matrix in these libraries: elsewhere a phone's
// turned pictures are shown as stored, which the user hears of.
void sayWhereTurnsAreLost(const AVFormatContext* clip) {
    if (namesTracksByHandler(clip->oformat))
        return;
    for (unsigned i = 0; i < clip->nb_streams; ++i) {
        const auto* matrix = reinterpret_cast<const std::int32_t*>(
            av_stream_get_side_data(clip->streams[i], AV_PKT_DATA_DISPLAYMATRIX, nullptr));
        if (!matrix)
            continue;
        const double degrees = av_display_rotation_get(matrix);
        if (std::isnan(degrees) || std::lround(degrees) % 360 == 0)
            continue;
        printMessage("the clip's container (" + std::string(clip->oformat->name) +
                     ") cannot store the source's rotation of " +
                     std::to_string(std::lround(degrees)) +
                     " degrees; players show its pictures as stored");
        return;
    }
}

// After the container refused its header: the first stream it refuses on its own, named.
std::string refusedStream(const AVFormatContext* clip) {
    for (unsigned i = 0; i < clip->nb_streams; ++i) {
        const AVCodecParameters* par = clip->streams[i]->codecpar;
        AVFormatContext* raw = nullptr;
        if (avformat_alloc_output_context2(&raw, clip->oformat, nullptr, nullptr) < 0)
            return {};
        OutputContextPtr trial(raw);
        AVStream* stream = avformat_new_stream(raw, nullptr);
        if (!stream || avcodec_parameters_copy(stream->codecpar, par) < 0 ||
            avio_open_dyn_buf(&raw->pb) < 0)
            return {};
        stream->time_base = clip->streams[i]->time_base;
        const int err = avformat_write_header(raw, nullptr);
        std::uint8_t* buffer = nullptr;
        avio_close_dyn_buf(raw->pb, &buffer);
        av_free(buffer);
        raw->pb = nullptr;
        if (err < 0)
            return std::string(av_get_media_type_string(par->codec_type)) + " (" +
                   avcodec_get_name(par->codec_id) + ")";
    }
    return {};
}

} // namespace

ClipWriter::ClipWriter(const Options& options, const std::string& partPath)
    : m_partPath(partPath), m_bitexact(options.bitexact) {
    const AVOutputFormat* format = options.format.empty()
                                       ? av_guess_format(nullptr, options.output.c_str(), nullptr)
                                       : av_guess_format(options.format.c_str(), nullptr, nullptr);
    if (!format)
        throw ConvertError(
            "cannot tell the container from the output file's extension; give -f NAME");
    refuseFileless(format);
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, format, nullptr, partPath.c_str()),
          "cannot set up the container");
    m_ctx.reset(raw);
    if (m_bitexact)
        raw->flags |= AVFMT_FLAG_BITEXACT;
    // The muxer would tell that from the file name, but it writes into the part file.
    if (std::strcmp(format->name, "mpegts") == 0 && isRecorderStream(options.output))
        check(av_opt_set(raw->priv_data, "mpegts_m2ts_mode", "1", 0),
              "cannot set up the transport stream");
}

ClipWriter::~ClipWriter() {
    freeFile();
}

void ClipWriter::freeFile() {
    if (m_ctx && m_ctx->pb) {
        av_freep(&m_ctx->pb->buffer);
        avio_context_free(&m_ctx->pb);
    }
}

bool ClipWriter::canHold(const AVCodecParameters* codec) const {
    const int known = avformat_query_codec(m_ctx->oformat, codec->codec_id, FF_COMPLIANCE_NORMAL);
    if (known >= 0)
        return known == 1;
    return codec->codec_type == AVMEDIA_TYPE_VIDEO || codec->codec_type == AVMEDIA_TYPE_AUDIO;
}

std::string ClipWriter::keepCompanion(const AVStream* in) {
    const std::string container = m_ctx->oformat->name;
    if (in->codecpar->codec_type == AVMEDIA_TYPE_DATA)
        return canHold(in->codecpar) ? std::string() : container + " cannot hold this data track";
    if (container != "matroska")
        return container + " holds no attachments";
    if (!in->codecpar->extradata || in->codecpar->extradata_size <= 0)
        return "the source's attachment is empty";
    AVStream* out = avformat_new_stream(m_ctx.get(), nullptr);
    if (!out)
        throw std::bad_alloc();
    check(avcodec_parameters_copy(out->codecpar, in->codecpar), "cannot describe an attachment");
    av_dict_copy(&out->metadata, in->metadata, 0);
    // Matroska stores an attachment under a file name; one the source left out is made up.
    if (!av_dict_get(out->metadata, "filename", nullptr, 0))
        av_dict_set(&out->metadata, "filename", ("attachment" + std::to_string(in->index)).c_str(),
                    0);
    return {};
}

void ClipWriter::copyMetadata(const AVFormatContext* input, double absStart, double absEnd,
                              double absFirst) {
    av_dict_copy(&m_ctx->metadata, input->metadata, 0);
    const double zero =
        m_ctx->oformat->flags & AVFMT_TS_NEGATIVE ? absStart : std::min(absStart, absFirst);
    if (m_bitexact)
        av_dict_set(&m_ctx->metadata, "encoder", nullptr, 0);
    for (unsigned i = 0; i < input->nb_chapters; ++i) {
        const AVChapter* in = input->chapters[i];
        const double tb = av_q2d(in->time_base);
        const double from = static_cast<double>(in->start) * tb;
        const double to = static_cast<double>(in->end) * tb;
        if (to <= absStart || from >= absEnd)
            continue;
        auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (!chapter)
            throw std::bad_alloc();
        chapter->id = in->id;
        chapter->time_base = in->time_base;
        chapter->start = ticksFromSeconds(std::max(from, zero) - zero, in->time_base);
        chapter->end = ticksFromSeconds(std::min(to, absEnd) - zero, in->time_base);
        av_dict_copy(&chapter->metadata, in->metadata, 0);
        if (av_dynarray_add_nofree(&m_ctx->chapters, reinterpret_cast<int*>(&m_ctx->nb_chapters),
                                   chapter) < 0) {
            av_dict_free(&chapter->metadata);
            av_free(chapter);
            throw std::bad_alloc();
        }
    }
}

namespace {

constexpr int kFileBufferSize = 1 << 16;

// The muxer writes through the descriptor of the part file this run created, never through a
// path opened anew, which could be another file by then.
int writeToFile(void* opaque, std::uint8_t* data, int size) {
    const int fd = *static_cast<int*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, data + done, static_cast<std::size_t>(size - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return AVERROR(errno);
        done += static_cast<int>(written);
    }
    return done;
}

std::int64_t seekInFile(void* opaque, std::int64_t offset, int whence) {
    const int fd = *static_cast<int*>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<std::int64_t>(at);
}

} // namespace

void ClipWriter::open(int fd) {
    m_fd = fd;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kFileBufferSize));
    if (!buffer)
        throw std::bad_alloc();
    m_ctx->pb =
        avio_alloc_context(buffer, kFileBufferSize, 1, &m_fd, nullptr, writeToFile, seekInFile);
    if (!m_ctx->pb) {
        av_free(buffer);
        throw std::bad_alloc();
    }
    m_ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    // A track's title (a sound track's language version, a commentary) is its handler's name
    // there; the muxer stores no other.
    if (namesTracksByHandler(m_ctx->oformat))
        for (unsigned i = 0; i < m_ctx->nb_streams; ++i)
            if (const AVDictionaryEntry* title =
                    av_dict_get(m_ctx->streams[i]->metadata, "title", nullptr, 0))
                av_dict_set(&m_ctx->streams[i]->metadata, "handler_name", title->value, 0);
    sayWhereTurnsAreLost(m_ctx.get());
    const int err = avformat_write_header(m_ctx.get(), nullptr);
    if (err < 0) {
        const std::string stream = refusedStream(m_ctx.get());
        if (!stream.empty())
            throw ConvertError(std::string("the output container (") + m_ctx->oformat->name +
                               ") cannot hold the source's " + stream +
                               "; name an encoder for it or choose another container");
        throw ConvertError("the container cannot take these streams: " + avErrorText(err));
    }
}

void ClipWriter::write(AVPacket* packet) {
    const int err = av_interleaved_write_frame(m_ctx.get(), packet);
    if (err < 0)
        throw ConvertError(writeFailureText(err));
    ++m_packets;
}

void ClipWriter::close() {
    int err = av_write_trailer(m_ctx.get());
    if (err < 0)
        throw ConvertError(writeFailureText(err));
    if (m_ctx->pb) {
        avio_flush(m_ctx->pb);
        err = m_ctx->pb->error;
        freeFile();
        if (err < 0)
            throw ConvertError(writeFailureText(err));
    }
}

} // namespace vorkast
