// Putting the pieces together: source, section, streams, read loop, clip.
#include "engine.h"

#include "clip_writer.h"
#include "convert_error.h"
#include "cut_notice.h"
#include "exact_cut.h"
#include "messages.h"
#include "part_file.h"
#include "progress_reporter.h"
#include "source.h"
#include "stream_copy.h"
#include "subtitle_convert.h"
#include "timestamp_repair.h"
#include "transcoder.h"
#include "watchdog.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace vorkast {

namespace {

// What becomes of one source stream.
struct Route {
    std::unique_ptr<StreamCopier> copier;
    std::unique_ptr<Transcoder> transcoder;
    std::unique_ptr<ExactVideoCut> exact;
    std::unique_ptr<SubtitleConverter> subtitles; // text subtitles in the container's codec
    // False for a stream left out of the clip, and for subtitles.
    bool holdsClipOpen() const {
        return transcoder || exact || (copier && copier->holdsClipOpen());
    }
    bool finished() const {
        return transcoder ? transcoder->finished() : exact ? exact->finished() : copier->finished();
    }
    double progress() const {
        return transcoder ? transcoder->progress() : exact ? exact->progress() : copier->progress();
    }
};

std::string fmtSeconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

void checkStart(const Source& source, const Options& options) {
    if (source.duration > 0 && options.start >= source.duration)
        throw ConvertError("the start (" + fmtSeconds(options.start) +
                           " s) lies at or past the end of the source (" +
                           fmtSeconds(source.duration) + " s)");
}

// "audio stream 2 (pcm_s16le)": a stream as a user finds it in a player's list. An attachment
// goes by its file name, a data track of no codec the libraries know by its container's tag
// ("data stream 3 (gpmd)").
std::string streamName(const AVStream* stream) {
    const AVCodecParameters* par = stream->codecpar;
    char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
    const AVDictionaryEntry* file = av_dict_get(stream->metadata, "filename", nullptr, 0);
    const char* codec = par->codec_type == AVMEDIA_TYPE_ATTACHMENT && file ? file->value
                        : par->codec_id == AV_CODEC_ID_NONE && par->codec_tag
                            ? av_fourcc_make_string(tag, par->codec_tag)
                            : avcodec_get_name(par->codec_id);
    return std::string(av_get_media_type_string(par->codec_type)) + " stream " +
           std::to_string(stream->index) + " (" + codec + ")";
}

// Says that a stream is left out of the clip, in the line the split job lists after the
// completion message.
void announceLeftOut(const AVStream* stream, const std::string& why) {
    printMessage(notice::leftOutText(streamName(stream), why));
}

// Why the container cannot take a source's subtitles, copied or converted.
std::string subtitlesMissingWhy(const AVStream* stream, const AVOutputFormat* format) {
    const std::string container = format->name;
    if (!isTextSubtitle(stream->codecpar->codec_id))
        return container + " cannot hold these picture subtitles";
    if (containerTextSubtitles(format) == AV_CODEC_ID_NONE)
        return container + " holds no text subtitles";
    return "the libraries cannot convert them for " + container;
}

ConvertError cannotHold(const AVStream* stream) {
    return ConvertError("the output container cannot hold the source's " + streamName(stream) +
                        " without encoding it; name an encoder for it, leave it out (-vn, -an) "
                        "or choose a container that holds it");
}

// Whether the container plays a stream of this kind. Sound containers name a picture codec
// as their video, for cover art: that is no video.
bool containerHolds(const AVOutputFormat* format, AVMediaType type) {
    const AVCodecID id = av_guess_codec(format, nullptr, nullptr, nullptr, type);
    if (type == AVMEDIA_TYPE_VIDEO && id == AV_CODEC_ID_PNG &&
        format->audio_codec != AV_CODEC_ID_NONE)
        return false;
    return id != AV_CODEC_ID_NONE;
}

// Whether a copied stream's header can be written: damage can leave a stream without a size
// or a sample rate.
bool describable(const AVCodecParameters* codec) {
    if (codec->codec_type == AVMEDIA_TYPE_VIDEO)
        return codec->width > 0 && codec->height > 0;
    if (codec->codec_type == AVMEDIA_TYPE_AUDIO)
        return codec->sample_rate > 0 && codec->ch_layout.nb_channels > 0;
    return true;
}

// Sound whose packets are whole frames that say their own length, of any size, rather than
// blocks of the stream's block size.
bool soundInFrames(AVCodecID id) {
    switch (id) {
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_AAC:
    case AV_CODEC_ID_AAC_LATM:
    case AV_CODEC_ID_AC3:
    case AV_CODEC_ID_EAC3:
    case AV_CODEC_ID_DTS:
    case AV_CODEC_ID_VORBIS:
    case AV_CODEC_ID_OPUS:
    case AV_CODEC_ID_FLAC:
    case AV_CODEC_ID_AMR_NB:
    case AV_CODEC_ID_AMR_WB:
    case AV_CODEC_ID_SPEEX:
        return true;
    default:
        return false;
    }
}

// AVI counts a sound stream's length in units of its sample size: the block size for sound
// stored in blocks, or whole packets where the size is 0. A source's block size for sound in
// frames (MP3 often states 1152, its samples a frame) would make a reader take the bytes for
// blocks: the stated length then comes out a fraction of the real one.
void describeCopiedSound(const AVOutputFormat* format, AVCodecParameters* par) {
    if (par->codec_type != AVMEDIA_TYPE_AUDIO || std::strcmp(format->name, "avi") != 0 ||
        !soundInFrames(par->codec_id))
        return;
    par->block_align = 0;
}

// How far before the start a re-encoded MPEG-1/2 video is decoded from, seconds: longer than
// the groups of pictures such streams use.
constexpr double kMpegSeekMargin = 3.0;

bool isMpegVideo(AVCodecID id) {
    return id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MPEG2VIDEO;
}

// One frame of the anchor stream, in seconds: how much shorter than asked a clip may be.
double frameSeconds(const AVFormatContext* input, int anchor) {
    if (anchor < 0)
        return 0.05;
    AVStream* stream = input->streams[anchor];
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        return 0.05;
    const AVRational rate =
        av_guess_frame_rate(const_cast<AVFormatContext*>(input), stream, nullptr);
    return rate.num > 0 && rate.den > 0 ? std::min(1.0, av_q2d(av_inv_q(rate))) : 0.05;
}

// AVI stores no display times: a keyframe followed by B-frames is shown as many frames after it
// is decoded as B-frames follow it, more than the delay the decoder states. A keyframe that
// seems shown at or just before the start may be shown after it, and the picture on screen at
// the start then needs the group before. Seconds to seek back for that: the most B-frames a
// stream may hold in a row, and the delay, at the stream's rate.
double reorderLeadIn(const AVFormatContext* input, int anchor) {
    if (anchor < 0 || std::strcmp(input->iformat->name, "avi") != 0)
        return 0;
    const AVStream* video = input->streams[anchor];
    if (video->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || video->codecpar->video_delay <= 0)
        return 0;
    constexpr int kMostBFrames = 16;
    return (kMostBFrames + video->codecpar->video_delay + 1) * frameSeconds(input, anchor);
}

// Whether the picture on screen at absStart went off before it: nothing shows there any more.
bool videoEndedBefore(const StartPoint& start, double absStart, double frame) {
    return absStart - start.shownTime > 2 * frame + 1e-3;
}

// Whether a packet of the anchor was read that lies after absStart: the video goes on past a
// gap. Reading for the start point stops at the first such packet, or at the source's end.
bool anyPictureAfter(const StartPoint& start, int anchor, const AVStream* stream, double absStart) {
    return std::any_of(start.pending.begin(), start.pending.end(), [&](const PacketPtr& p) {
        const std::int64_t ts = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
        return p->stream_index == anchor &&
               (ts == AV_NOPTS_VALUE || seconds(ts, stream->time_base) > absStart);
    });
}

// The clip's length as the streams wrote it, and whether that falls short of what the source
// should have given.
// removed: seconds of timestamp leaps taken out, which the source's stated length still counts.
ConvertResult measure(const std::vector<Route>& routes, const Source& source,
                      const Options& options, double asked, double frame, double removed) {
    ConvertResult result;
    double covered = 0;
    for (const Route& r : routes)
        if (r.holdsClipOpen())
            covered = std::max(covered, r.progress());
    covered = std::min(covered, asked);
    double expected = asked;
    if (source.duration > 0)
        expected = std::min(expected, source.duration - removed - options.start);
    if (std::isfinite(expected) && covered < expected - frame - 1e-3) {
        result.seconds = covered;
        result.shortClip = true;
        result.expected = expected;
        return result;
    }
    // The last frame ends the clip within a frame of what was asked: report all of it.
    result.seconds = std::isfinite(expected) ? expected : covered;
    return result;
}

// A source whose clock may restart (transport and program streams) is sampled for leaps, and
// read through once where it has them: its length and every seek then go by the mended
// timeline. Otherwise reading goes back to the beginning.
std::optional<MendedTimeline> mendTimeline(Source& source, Watchdog& watchdog) {
    AVFormatContext* input = source.ctx.get();
    if (!(input->iformat->flags & AVFMT_TS_DISCONT) || !input->pb ||
        !(input->pb->seekable & AVIO_SEEKABLE_NORMAL))
        return std::nullopt;
    std::optional<MendedTimeline> mended;
    if (MendedTimeline::mayLeap(input))
        mended = MendedTimeline::scan(input, source.videoIndex, source.audioIndex,
                                      [&] { watchdog.alive(); });
    if (mended && mended->duration() > 0)
        source.duration = mended->duration();
    av_seek_frame(input, -1, 0, AVSEEK_FLAG_BYTE);
    return mended;
}

} // namespace

ConvertResult convert(const Options& options, ProgressReporter& reporter, Watchdog& watchdog) {
    refuseOutputIsSource(options.input, options.output);
    Source source = openSource(options.input, watchdog.interrupt());
    const std::optional<MendedTimeline> mended = mendTimeline(source, watchdog);
    checkStart(source, options);
    Section section;
    section.start = source.startOffset + options.start;
    section.end =
        options.length ? section.start + *options.length : std::numeric_limits<double>::infinity();

    PartFile part(options.output, options.overwrite);
    ClipWriter writer(options, part.path());
    const AVOutputFormat* format = writer.format();
    // What the reports count up to: the length asked for, whatever the clip's first picture.
    double asked = options.length ? *options.length : std::numeric_limits<double>::infinity();
    AVFormatContext* input = source.ctx.get();

    // A profile that names no video encoder takes the video the source has; one that names an
    // encoder asks for video, and a source without it is an error.
    const bool wantVideo = !options.video.disabled &&
                           (options.video.copy() || !options.video.codec.empty() ||
                            (containerHolds(format, AVMEDIA_TYPE_VIDEO) && source.videoIndex >= 0));
    const bool wantAudio =
        !options.audio.disabled && (options.audio.copy() || !options.audio.codec.empty() ||
                                    containerHolds(format, AVMEDIA_TYPE_AUDIO));
    const bool copyOnly =
        (!wantVideo || options.video.copy()) && (!wantAudio || options.audio.copy());

    std::vector<Route> routes(input->nb_streams);
    int anchor = -1;
    if (copyOnly) {
        anchor = wantVideo ? source.videoIndex : -1;
        if (anchor < 0 && wantAudio)
            anchor = source.audioIndex;
    } else {
        if (wantVideo && source.videoIndex < 0)
            throw ConvertError("the source has no video stream, but the output asks for video (use "
                               "-vn for sound only)");
        anchor = wantVideo ? source.videoIndex : source.audioIndex;
        if (anchor < 0)
            throw ConvertError("the source has no audio stream, and the output takes sound only");
    }

    // A copied video cannot start between its pictures: the clip's time then counts from the
    // picture on screen at the start, for every stream, so sound stays with the picture.
    const bool copiesVideo =
        wantVideo && options.video.copy() && anchor >= 0 && anchor == source.videoIndex;
    // MPEG-1/2 video leaves the display time out of its keyframes and may open a group with
    // pictures that refer back into the group before it: where a seek lands is not a safe
    // judge of whether the picture at the start can be decoded from there. A re-encoded clip
    // decodes from well before the start instead and drops what comes before.
    const bool decodesFromEarlier = !copiesVideo && anchor >= 0 && anchor == source.videoIndex &&
                                    isMpegVideo(input->streams[anchor]->codecpar->codec_id);
    const double positionFrom = decodesFromEarlier
                                    ? std::max(source.startOffset, section.start - kMpegSeekMargin)
                                    : section.start;
    const bool exactCut = copiesVideo && options.cut == CutMode::Exact;
    // MPEG program streams state a time only now and then and the demuxer counts on from the
    // last one; after a seek it guesses, a frame or more off until the next stated time. An
    // exact copy of MPEG-1/2 video finds the picture on screen at the start by times read in
    // sequence from well before it; the frames before the start are dropped as it decodes.
    const bool exactMpeg = exactCut && isMpegVideo(input->streams[anchor]->codecpar->codec_id) &&
                           exactCutWay(input->streams[anchor]->codecpar) == ExactCutWay::ByRecoding;
    const auto alive = [&] { watchdog.alive(); };
    // A keyframe copy of MPEG-1/2 video reads from well before the start as well: after a seek
    // the demuxer guesses the times of the sound packed with it too, some frames off.
    const bool copiesMpeg = copiesVideo && isMpegVideo(input->streams[anchor]->codecpar->codec_id);
    const double leadIn = exactMpeg || copiesMpeg ? kMpegSeekMargin
                          : exactCut              ? reorderLeadIn(input, anchor)
                                                  : 0.0;
    StartPoint start;
    std::optional<TimestampRepair> repairFrom;
    if (mended) {
        MendedTimeline::Start at = mended->startAt(input, anchor, positionFrom);
        if (at.pos >= 0 && av_seek_frame(input, -1, at.pos, AVSEEK_FLAG_BYTE) < 0)
            throw ConvertError("cannot find the start in the source");
        start.keyframeTime = at.keyframeTime;
        start.shownTime = copiesVideo ? at.shownTime : positionFrom;
        repairFrom = std::move(at.repair);
    } else {
        start = positionAt(source, positionFrom, anchor, copiesVideo, alive, leadIn);
    }
    if (decodesFromEarlier) // copied sound still starts at the start, not at the earlier point
        start.keyframeTime = std::max(start.keyframeTime, section.start);
    // The source's video has no picture from the start on: an exact cut would hold none, a
    // keyframe copy only pictures from before the start.
    bool videoGone = false;
    if (copiesVideo && videoEndedBefore(start, section.start, frameSeconds(input, anchor))) {
        // The picture stopped before the start (video shorter than sound): the sound is not
        // pulled back to the last picture, the clip starts where asked.
        start.keyframeTime = section.start;
        videoGone =
            !mended && !anyPictureAfter(start, anchor, input->streams[anchor], section.start);
    } else if (copiesVideo) {
        section.start = std::min(section.start, start.shownTime);
    }
    if (exactCut && !videoGone)
        section.end = frameRuleEnd(input, input->streams[anchor], section.start, section.end);

    // Encoded picture and sound start together at the first frame's start.
    if (!copyOnly && wantVideo && !options.video.copy() && source.videoIndex >= 0 && wantAudio &&
        !options.audio.copy() && source.audioIndex >= 0)
        section.origin = std::make_shared<ClipOrigin>();
    std::vector<int> copied;
    std::vector<int> converted; // text subtitles written again in the container's codec
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* in = input->streams[i];
        const AVMediaType type = in->codecpar->codec_type;
        const bool isVideo = static_cast<int>(i) == source.videoIndex;
        const bool isAudio = type == AVMEDIA_TYPE_AUDIO;
        if (in->disposition & AV_DISPOSITION_ATTACHED_PIC)
            continue;
        if (type == AVMEDIA_TYPE_ATTACHMENT || type == AVMEDIA_TYPE_DATA) {
            // Fonts and other attachments, timed metadata and telemetry go where the container
            // takes them, or are named as left out. A reader's own helper tracks (MP4 chapter
            // titles) are none of the source's, and a clip of sound alone has no use for them.
            if (in->discard == AVDISCARD_ALL || !wantVideo || source.videoIndex < 0)
                continue;
            if (const std::string why = writer.keepCompanion(in); !why.empty())
                announceLeftOut(in, why);
            else if (type == AVMEDIA_TYPE_DATA)
                copied.push_back(static_cast<int>(i));
            continue;
        }
        if (type == AVMEDIA_TYPE_SUBTITLE) {
            // Every clip keeps the source's subtitles where its container holds them, copied,
            // or as text in the container's own text codec; otherwise it says it left them out.
            // A clip of sound alone has no use for them.
            if (writer.canHold(in->codecpar))
                copied.push_back(static_cast<int>(i));
            else if (isTextSubtitle(in->codecpar->codec_id) &&
                     containerTextSubtitles(format) != AV_CODEC_ID_NONE)
                converted.push_back(static_cast<int>(i));
            else if (wantVideo && source.videoIndex >= 0)
                announceLeftOut(in, subtitlesMissingWhy(in, format));
            continue;
        }
        if (!copyOnly) {
            // Every sound track is kept, each encoded with the same settings.
            if (isVideo && wantVideo && !options.video.copy()) {
                routes[i].transcoder =
                    Transcoder::forVideo(input, in, writer.context(), options, section);
            } else if (isAudio && wantAudio && !options.audio.copy()) {
                if (static_cast<int>(i) == source.audioIndex) {
                    routes[i].transcoder =
                        Transcoder::forAudio(in, writer.context(), options, section);
                    continue;
                }
                // A further track that cannot be encoded does not cost the clip its picture
                // and its main sound.
                try {
                    routes[i].transcoder =
                        Transcoder::forAudio(in, writer.context(), options, section);
                } catch (const ConvertError& e) {
                    announceLeftOut(in, e.what());
                }
            } else if ((isVideo && wantVideo) || (isAudio && wantAudio)) {
                copied.push_back(static_cast<int>(i));
            }
            continue;
        }
        const bool wanted = (type == AVMEDIA_TYPE_VIDEO && wantVideo) || (isAudio && wantAudio);
        if (!wanted)
            continue;
        if (videoGone && static_cast<int>(i) == anchor) {
            printMessage("left out the source's " + streamName(in) +
                         ": its pictures end before the start; the clip holds the sound alone");
            continue;
        }
        if (!describable(in->codecpar)) {
            if (static_cast<int>(i) == anchor)
                throw ConvertError("the source's " + streamName(in) +
                                   " has no size or sample rate the libraries can tell; it is "
                                   "too damaged to copy");
            printMessage("left out the source's " + streamName(in) +
                         ": it has no size or sample rate the libraries can tell");
            continue;
        }
        // Picture and sound are never left out without a word: the user asked to keep them.
        if (!writer.canHold(in->codecpar))
            throw cannotHold(in);
        copied.push_back(static_cast<int>(i));
    }
    if (copyOnly && copied.empty())
        throw ConvertError("the source holds no stream that the output should keep");

    std::vector<AVStream*> copyOut(input->nb_streams, nullptr);
    for (int i : copied) {
        const AVStream* in = input->streams[i];
        if (!copyOnly && !writer.canHold(in->codecpar))
            throw cannotHold(in);
        AVStream* out = avformat_new_stream(writer.context(), nullptr);
        if (!out)
            throw std::bad_alloc();
        check(avcodec_parameters_copy(out->codecpar, in->codecpar),
              "cannot describe a copied stream");
        out->codecpar->codec_tag = 0;
        describeCopiedSound(format, out->codecpar);
        out->time_base = in->time_base;
        out->avg_frame_rate = in->avg_frame_rate;
        out->sample_aspect_ratio = in->sample_aspect_ratio;
        keepStreamProperties(in, out, true);
        if (options.bitexact)
            av_dict_set(&out->metadata, "encoder", nullptr, 0);
        copyOut[i] = out;
    }

    // An exact cut starts every stream at the frame on screen at the start; a keyframe cut at
    // the keyframe before it.
    double copyFrom = start.keyframeTime;
    // A keyframe cut, asked for or fallen back to, says how far before START the clip starts. One
    // asked for in a container that keeps times below zero starts on time: MP4's edit list hides
    // the pictures before START.
    bool keyframeCut = !exactCut && copyOut[anchor] &&
                       input->streams[anchor]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                       !(format->flags & AVFMT_TS_NEGATIVE);
    if (exactCut && copyOut[anchor]) {
        const AVStream* video = input->streams[anchor];
        routes[anchor].exact = ExactVideoCut::create(
            input, video, copyOut[anchor], writer.context(), options, section.start, section.end);
        if (!routes[anchor].exact && exactMpeg && !mended) {
            // No encoder for the cut: the keyframe cut starts at the keyframe before the start,
            // not at the one read from.
            start = positionAt(source, section.start, anchor, true, alive);
            copyFrom = start.keyframeTime;
        }
        if (routes[anchor].exact || exactCutWay(video->codecpar) == ExactCutWay::ByCopy) {
            copyFrom = section.start;
        } else {
            if (options.followed && !mended && !videoGone && options.length) {
                // The clip that follows starts at the keyframe at or before this one's end,
                // found as its own start will be: this one ends there, so no frame is in both.
                // The last clip of a source ends at the source's end as asked.
                const double askedEnd = source.startOffset + options.start + *options.length;
                const double frame = frameSeconds(input, anchor);
                if (source.duration > 0 &&
                    askedEnd < source.startOffset + source.duration - frame) {
                    const double keyEnd =
                        positionAt(source, askedEnd, anchor, true, alive, leadIn).keyframeTime;
                    // The same start again: the search for the end moved the reading on.
                    start = exactMpeg
                                ? positionAt(source, section.start, anchor, true, alive)
                                : positionAt(source, positionFrom, anchor, true, alive, leadIn);
                    copyFrom = start.keyframeTime;
                    // Both in one group: the next clip starts where this one does, and this one
                    // keeps its length rather than holding nothing.
                    if (keyEnd > copyFrom + frame / 2 && keyEnd < section.end) {
                        section.end = keyEnd;
                        asked = keyEnd - (source.startOffset + options.start);
                    }
                }
            }
            keyframeCut = true;
        }
    }
    // The frames before the start stay in the clip: say how many seconds of them.
    if (const double early = source.startOffset + options.start - copyFrom;
        keyframeCut && early >= 5e-4)
        printMessage(notice::keyframeCutText(early));
    // AVI keeps no start time per stream: each one begins with its first packet, the picture
    // at the keyframe's place in decode order, which comes before it is shown where B-frames
    // are decoded ahead. The other streams then start from that place too, so the sound heard
    // with each picture is the one heard with it in the source.
    if (copiesVideo && !routes[anchor].exact && std::strcmp(format->name, "avi") == 0 &&
        copyFrom == start.keyframeTime) {
        const AVStream* video = input->streams[anchor];
        for (const PacketPtr& p : start.pending)
            if (p->stream_index == anchor && (p->flags & AV_PKT_FLAG_KEY)) {
                if (p->dts != AV_NOPTS_VALUE)
                    copyFrom = std::min(copyFrom, seconds(p->dts, video->time_base));
                break;
            }
    }
    // Where the clip's first picture shows later than its first packet is stored, the other
    // streams start as much earlier in the source, so they stay in step with the picture.
    const double late =
        anchor >= 0 && routes[anchor].exact ? routes[anchor].exact->shownLate() : 0.0;
    LinesAcrossStart linesAcross;
    for (int i : copied) {
        if (routes[i].exact)
            continue;
        // Subtitles begin with the clip's first picture: an encoded one is the section's start.
        const bool subtitles = input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE;
        const double from = subtitles && !copiesVideo ? section.start : copyFrom;
        routes[i].copier = std::make_unique<StreamCopier>(
            input->streams[i], copyOut[i], section.start - late, section.end, from - late);
        if (subtitles)
            linesAcross.want(input->streams[i], from - late);
        routes[i].copier->convertToAnnexB(writer.context());
        routes[i].copier->unpackPictures(input, writer.context());
    }
    for (int i : converted) {
        const AVStream* in = input->streams[i];
        routes[i].subtitles =
            SubtitleConverter::create(in, writer.context(), section.start - late, section.end);
        if (!routes[i].subtitles && wantVideo && source.videoIndex >= 0)
            announceLeftOut(in, subtitlesMissingWhy(in, format));
        else if (routes[i].subtitles)
            linesAcross.want(in, section.start - late);
    }
    writer.copyMetadata(input, section.start, section.end,
                        copiesVideo ? std::min(section.start, copyFrom - late) : section.start);
    if (exactCut) // the re-encoded head is held back until the copy can begin
        writer.context()->max_interleave_delta = 60 * AV_TIME_BASE;
    writer.open(part.create());

    const Transcoder::Writer write = [&](AVPacket* packet) {
        watchdog.alive();
        writer.write(packet);
    };
    // Reports the progress of the streams still open; false once none is.
    auto update = [&] {
        double done = std::numeric_limits<double>::infinity();
        bool any = false;
        for (const Route& r : routes)
            if (r.holdsClipOpen() && !r.finished()) {
                done = std::min(done, r.progress());
                any = true;
            }
        if (any)
            reporter.set(std::min(done, asked));
        return any;
    };

    if (!mended) {
        linesAcross.read(options.input, watchdog.interrupt(), alive);
        for (PacketPtr& line : linesAcross.take()) {
            Route& route = routes[line->stream_index];
            if (route.copier)
                route.copier->accept(line.get(), write);
            else if (route.subtitles)
                route.subtitles->accept(line.get(), write);
        }
    }
    PacketPtr packet = makePacket();
    TimestampRepair repair = repairFrom ? *repairFrom : TimestampRepair(input);
    bool damaged = false;
    for (;;) {
        if (watchdog.expired())
            break;
        if (!start.pending.empty()) {
            av_packet_unref(packet.get());
            av_packet_move_ref(packet.get(), start.pending.front().get());
            start.pending.pop_front();
        } else {
            const int err = av_read_frame(input, packet.get());
            if (err == AVERROR_EOF)
                break;
            if (err < 0) {
                if (watchdog.expired())
                    break;
                // A damaged or truncated source: the clip keeps what could be read.
                damaged = true;
                printMessage("the source ends early or is damaged (" + avErrorText(err) +
                             "); the clip keeps what could be read");
                break;
            }
        }
        watchdog.alive();
        if (!repair.repair(packet.get())) {
            av_packet_unref(packet.get());
            continue;
        }
        const int index = packet->stream_index;
        if (index >= 0 && index < static_cast<int>(routes.size()) &&
            !linesAcross.repeats(packet.get())) {
            Route& route = routes[index];
            if (route.transcoder) {
                route.transcoder->sendPacket(packet.get(), write);
            } else if (route.exact) {
                route.exact->accept(packet.get(), write);
            } else if (route.copier) {
                route.copier->accept(packet.get(), write);
            } else if (route.subtitles) {
                route.subtitles->accept(packet.get(), write);
            }
        }
        av_packet_unref(packet.get());
        if (!update())
            break;
    }
    if (watchdog.expired()) {
        char limit[32];
        const double limitSeconds = std::chrono::duration<double>(watchdog.limit()).count();
        auto [end, ec] = std::to_chars(limit, limit + sizeof limit, limitSeconds);
        throw ConvertError("the work made no progress for " + std::string(limit, end) +
                           " s; the source seems to have stalled");
    }
    for (Route& r : routes) {
        if (r.transcoder)
            r.transcoder->finish(write);
        else if (r.exact)
            r.exact->finish(write);
        else if (r.copier)
            r.copier->finish(write);
    }
    if (writer.packetsWritten() == 0)
        throw ConvertError(damaged
                               ? "the source is damaged: nothing could be read from the start on"
                               : "nothing to cut: the source holds nothing from the start on");
    writer.close();
    part.commit();

    const int leaps = mended ? mended->leaps() : repair.leaps();
    if (leaps > 0)
        printMessage("the source's clock jumps at " + std::to_string(leaps) +
                     (leaps == 1 ? " point" : " points") +
                     " (joined recordings or damage); the clip runs on across the gaps");
    return measure(routes, source, options, asked, frameSeconds(input, anchor),
                   mended ? 0.0 : repair.removedSeconds());
}

} // namespace vorkast
