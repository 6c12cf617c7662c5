// The clip's container: streams, metadata, chapters, and the muxer writing into the part file.
#pragma once

#include "libav_ptr.h"
#include "options.h"

#include <string>

namespace vorkast {

class ClipWriter {
public:
    // The container follows options.format, else OUTPUT's extension (not the part file's).
    // Throws ConvertError when neither names a container. Nothing is written yet.
    ClipWriter(const Options& options, const std::string& partPath);
    ~ClipWriter();
    ClipWriter(const ClipWriter&) = delete;
    ClipWriter& operator=(const ClipWriter&) = delete;

    AVFormatContext* context() const { return m_ctx.get(); }
    const AVOutputFormat* format() const { return m_ctx->oformat; }
    // Whether the container can hold a stream of this codec (unknown counts as yes for video
    // and audio, no for subtitles).
    bool canHold(const AVCodecParameters* codec) const;

    // A source stream that is neither picture, sound nor subtitles. An attachment (a film's
    // fonts) is added with the header where the container keeps attachments (Matroska); a data
    // track (timed metadata, camera telemetry, a timecode) is for the caller to copy where the
    // container takes its codec. Returns why the clip cannot keep it, empty when it does.
    std::string keepCompanion(const AVStream* in);

    // The source's metadata, and its chapters that overlap [absStart, absEnd), re-timed.
    // absFirst: where the clip's earliest packet lies in the source (a copy's keyframe before
    // absStart). A container that stores no times before zero moves every stream later by as
    // much, and the chapters with them.
    void copyMetadata(const AVFormatContext* input, double absStart, double absEnd,
                      double absFirst);

    // A joined clip's chapters are its ranges: the source's are taken out, and each range is
    // added, in seconds of the clip, with its title. Before open().
    void clearChapters();
    void addChapter(double start, double end, const std::string& title);

    // Writes the container's header into fd, the part file's descriptor (not taken over).
    void open(int fd);
    // Takes the packet's data (interleaved with the other streams).
    void write(AVPacket* packet);
    // Writes the trailer and closes the file, reporting a full disk or any write error.
    void close();
    long long packetsWritten() const { return m_packets; }

private:
    // Takes a chapter into the clip; throws std::bad_alloc, freeing it, when there is no room.
    void appendChapter(AVChapter* chapter);

    OutputContextPtr m_ctx;
    void freeFile();

    std::string m_partPath;
    int m_fd = -1;
    bool m_bitexact;
    long long m_packets = 0;
};

// What a clip's stream keeps of its source stream besides the codec: language, title and
// other tags, dispositions, and the side data players need, the display matrix (a phone's
// rotation) first. A copied stream keeps all side data; an encoded one (same pictures, new
// codec) the display matrix and the colour and HDR descriptions.
void keepStreamProperties(const AVStream* in, AVStream* out, bool copied);

// Sets an encoder of the source's pictures to describe them as the source does: primaries,
// transfer (PQ, HLG), matrix, chroma siting, and the range where the pictures keep theirs. A
// player needs these to show HDR and wide-gamut video in its colours. Call before opening it.
void describePicturesAsSource(const AVCodecParameters* source, AVPixelFormat decoded,
                              AVCodecContext* encoder);

// "the disk is full", "cannot write to the output folder ...", or libav's text.
std::string writeFailureText(int code);

} // namespace vorkast
