// Putting the pieces together: source, section, streams, read loop, clip.
#include "engine.h"
#include "engine_steps.h"

#include "clip_check.h"
#include "clip_writer.h"
#include "container_traits.h"
#include "convert_error.h"
#include "cut_notice.h"
#include "cut_plan.h"
#include "exact_cut.h"
#include "join.h"
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

#include <sys/stat.h>

namespace vorkast {

// The steps of a cut, shared with the joined clip's run (engine_steps.h).
namespace steps {

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
    if (par->codec_type != AVMEDIA_TYPE_AUDIO || !containerTraits(format).countsSoundInBlocks ||
        !soundInFrames(par->codec_id))
        return;
    par->block_align = 0;
}

Wish wishOf(const StreamOptions& stream) {
    if (stream.disabled)
        return Wish::Off;
    if (stream.copy())
        return Wish::Copy;
    return stream.codec.empty() ? Wish::Default : Wish::Encode;
}

CutRequest requestOf(const Options& options) {
    CutRequest request;
    request.start = toTicks(options.start);
    if (options.length)
        request.length = toTicks(*options.length);
    request.video = wishOf(options.video);
    request.audio = wishOf(options.audio);
    request.exact = options.cut == CutMode::Exact;
    return request;
}

int anchorIndex(const CutPlan& plan, const Source& source) {
    switch (plan.anchor) {
    case Anchor::Video:
        return source.videoIndex;
    case Anchor::Audio:
        return source.audioIndex;
    case Anchor::None:
        break;
    }
    return -1;
}

Reading findStart(Source& source, const std::optional<MendedTimeline>& mended, const CutPlan& plan,
                  int anchor, const OnRead& alive) {
    Reading reading;
    if (!mended) {
        reading.start = positionAt(source, toSeconds(plan.readFrom), anchor, plan.findShownFrame,
                                   alive, toSeconds(plan.leadIn));
        return reading;
    }
    AVFormatContext* input = source.ctx.get();
    MendedTimeline::Start at = mended->startAt(input, anchor, toSeconds(plan.readFrom));
    if (at.pos >= 0 && av_seek_frame(input, -1, at.pos, AVSEEK_FLAG_BYTE) < 0)
        throw ConvertError("cannot find the start in the source");
    reading.start.keyframeTime = at.keyframeTime;
    reading.start.shownTime = plan.findShownFrame ? at.shownTime : toSeconds(plan.readFrom);
    reading.repair = std::move(at.repair);
    return reading;
}

// The anchor's first keyframe among the packets read, or nullptr.
const AVPacket* firstKeyframe(const StartPoint& start, int anchor) {
    for (const PacketPtr& p : start.pending)
        if (p->stream_index == anchor && (p->flags & AV_PKT_FLAG_KEY))
            return p.get();
    return nullptr;
}

// The keyframe at or before an exact cut's end, where a copy may stop without a re-encoded tail.
// Looking moves the reading on: the caller reads the start again.
EndFound keyframeAtEnd(Source& source, int anchor, Ticks end, const OnRead& alive) {
    EndFound found;
    const StartPoint at = positionAt(source, toSeconds(end), anchor, false, alive);
    if (const AVPacket* key = firstKeyframe(at, anchor)) {
        found.keyframe = toTicks(at.keyframeTime);
        found.startsCopy = opensGroup(source.ctx->streams[anchor], key);
    }
    return found;
}

StreamChoice chooseStreams(const CutPlan& plan, const Source& source, bool videoGone,
                           ClipWriter& writer, const Options& options, const Section& section,
                           std::vector<std::unique_ptr<StreamRoute>>& routes) {
    const AVFormatContext* input = source.ctx.get();
    const AVOutputFormat* format = writer.format();
    const bool clipHasVideo = plan.video != Way::Leave;
    StreamChoice choice;
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
            if (in->discard == AVDISCARD_ALL || !clipHasVideo || source.videoIndex < 0)
                continue;
            if (const std::string why = writer.keepCompanion(in); !why.empty())
                announceLeftOut(in, why);
            else if (type == AVMEDIA_TYPE_DATA)
                choice.copied.push_back(static_cast<int>(i));
            continue;
        }
        if (type == AVMEDIA_TYPE_SUBTITLE) {
            // Every clip keeps the source's subtitles where its container holds them, copied,
            // or as text in the container's own text codec; otherwise it says it left them out.
            // A clip of sound alone has no use for them.
            if (writer.canHold(in->codecpar))
                choice.copied.push_back(static_cast<int>(i));
            else if (isTextSubtitle(in->codecpar->codec_id) &&
                     containerTextSubtitles(format) != AV_CODEC_ID_NONE)
                choice.converted.push_back(static_cast<int>(i));
            else if (clipHasVideo)
                announceLeftOut(in, subtitlesMissingWhy(in, format));
            continue;
        }
        if (!plan.copyOnly) {
            // Every sound track is kept, each encoded with the same settings.
            if (isVideo && plan.video == Way::Encode) {
                routes[i] = Transcoder::forVideo(input, in, writer.context(), options, section);
            } else if (isAudio && plan.audio == Way::Encode) {
                if (static_cast<int>(i) == source.audioIndex) {
                    routes[i] = Transcoder::forAudio(in, writer.context(), options, section);
                    continue;
                }
                // A further track that cannot be encoded does not cost the clip its picture
                // and its main sound.
                try {
                    routes[i] = Transcoder::forAudio(in, writer.context(), options, section);
                } catch (const ConvertError& e) {
                    announceLeftOut(in, e.what());
                }
            } else if ((isVideo && plan.video == Way::Copy) ||
                       (isAudio && plan.audio == Way::Copy)) {
                choice.copied.push_back(static_cast<int>(i));
            }
            continue;
        }
        const bool wanted = (type == AVMEDIA_TYPE_VIDEO && plan.video != Way::Leave) ||
                            (isAudio && plan.audio != Way::Leave);
        if (!wanted)
            continue;
        if (videoGone && isVideo) {
            printMessage("left out the source's " + streamName(in) +
                         ": its pictures end before the start; the clip holds the sound alone");
            continue;
        }
        const bool anchor =
            isVideo ? plan.anchor == Anchor::Video
                    : static_cast<int>(i) == source.audioIndex && plan.anchor == Anchor::Audio;
        if (!describable(in->codecpar)) {
            if (anchor)
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
        choice.copied.push_back(static_cast<int>(i));
    }
    if (plan.copyOnly && choice.copied.empty())
        throw ConvertError("the source holds no stream that the output should keep");
    return choice;
}

// The clip's streams for the copied ones, described as the source's.
std::vector<AVStream*> addCopiedStreams(const std::vector<int>& copied, const CutPlan& plan,
                                        const AVFormatContext* input, ClipWriter& writer,
                                        const Options& options) {
    std::vector<AVStream*> copyOut(input->nb_streams, nullptr);
    for (int i : copied) {
        const AVStream* in = input->streams[i];
        if (!plan.copyOnly && !writer.canHold(in->codecpar))
            throw cannotHold(in);
        AVStream* out = avformat_new_stream(writer.context(), nullptr);
        if (!out)
            throw std::bad_alloc();
        check(avcodec_parameters_copy(out->codecpar, in->codecpar),
              "cannot describe a copied stream");
        out->codecpar->codec_tag = 0;
        describeCopiedSound(writer.format(), out->codecpar);
        out->time_base = in->time_base;
        out->avg_frame_rate = in->avg_frame_rate;
        out->sample_aspect_ratio = in->sample_aspect_ratio;
        keepStreamProperties(in, out, true);
        if (options.bitexact)
            av_dict_set(&out->metadata, "encoder", nullptr, 0);
        copyOut[i] = out;
    }
    return copyOut;
}

// The frames before the start stay in a keyframe cut's clip: say how many seconds of them.
void sayStartsEarly(Placed& placed, Ticks early) {
    if (early >= 500) {
        printMessage(notice::keyframeCutText(toSeconds(early)));
        placed.saidEarly = early;
    }
}

// The keyframe cut of a copied video: the end moved to the keyframe the next clip will start at
// (reading the start again, which sets the keyframe and copyFrom anew), and the notice of how
// early the clip starts.
void keyframeCut(Source& source, bool mended, const CutPlan& plan, const SourceFacts& facts,
                 Placed& placed, int anchor, const Options& options, const OnRead& alive,
                 Ticks& keyframe, Ticks& copyFrom) {
    const Ticks frame = anchorFrame(plan, facts);
    if (options.followed && !mended && !placed.settled.videoGone && options.length &&
        facts.duration && plan.end < facts.startOffset + *facts.duration - frame) {
        // The clip that follows starts at the keyframe at or before this one's end, found as its
        // own start will be: this one ends there, so no frame is in both. The last clip of a
        // source ends at the source's end as asked.
        const Ticks keyEnd = toTicks(
            positionAt(source, toSeconds(plan.end), anchor, true, alive, toSeconds(plan.leadIn))
                .keyframeTime);
        // The same start again: the search for the end moved the reading on.
        placed.start = plan.rereadForKeyframeCut
                           ? positionAt(source, placed.section.start, anchor, true, alive)
                           : positionAt(source, toSeconds(plan.readFrom), anchor, true, alive,
                                        toSeconds(plan.leadIn));
        keyframe = copyFrom = toTicks(placed.start.keyframeTime);
        // Both in one group: the next clip starts where this one does, and this one keeps its
        // length rather than holding nothing.
        if (keyEnd > copyFrom + frame / 2 && keyEnd < placed.settled.end) {
            placed.settled.end = keyEnd;
            placed.section.end = toSeconds(keyEnd);
            placed.asked = toSeconds(keyEnd - plan.start);
        }
    }
    sayStartsEarly(placed, plan.start - copyFrom);
}

// An exact cut starts every stream at the frame on screen at the start; a keyframe cut at the
// keyframe before it. An exact cut that would encode nothing again is a plain copy, and one
// that cannot encode falls back to the keyframe cut. Sets up the exact cut's route.
CopyStart placeCopies(Source& source, bool mended, const CutPlan& plan, const SourceFacts& facts,
                      const StartFound& found, Placed& placed, int anchor, AVStream* anchorOut,
                      ClipWriter& writer, const Options& options,
                      std::vector<std::unique_ptr<StreamRoute>>& routes, const OnRead& alive) {
    AVFormatContext* input = source.ctx.get();
    const SettledStart& settled = placed.settled;
    CopyStart copies;
    copies.from = settled.copyFrom;
    Ticks keyframe = settled.copyFrom;
    const bool exactCut = plan.cut == VideoCut::Exact && anchorOut;
    bool plainCopy = false;
    if (exactCut && !mended && settled.end < kNoEnd &&
        exactCutIsPlainCopy(plan, facts, found, settled, EndFound{settled.end, true})) {
        // The start allows it: whether the end does is worth a look.
        const EndFound end = keyframeAtEnd(source, anchor, settled.end, alive);
        plainCopy = exactCutIsPlainCopy(plan, facts, found, settled, end);
        placed.start = positionAt(source, toSeconds(plan.readFrom), anchor, true, alive,
                                  toSeconds(plan.leadIn)); // the same start again
    } else if (exactCut) {
        plainCopy = exactCutIsPlainCopy(plan, facts, found, settled, EndFound{});
    }
    if (plainCopy) {
        copies.from = settled.start;
        return copies;
    }
    if (exactCut) {
        copies.headHeld = true;
        auto cut = ExactVideoCut::create(input, input->streams[anchor], anchorOut, writer.context(),
                                         options, settled.start, settled.end);
        copies.exact = cut.get();
        routes[anchor] = std::move(cut);
        if (!copies.exact && plan.rereadForKeyframeCut && !mended) {
            // No encoder for the cut: the keyframe cut starts at the keyframe before the start,
            // not at the one read from.
            placed.start = positionAt(source, placed.section.start, anchor, true, alive);
            keyframe = copies.from = toTicks(placed.start.keyframeTime);
        }
        if (copies.exact)
            copies.from = settled.start;
        else if (facts.video == VideoFamily::IntraOnly)
            copies.from = settled.start; // every frame is a keyframe: the copy is exact
        else
            keyframeCut(source, mended, plan, facts, placed, anchor, options, alive, keyframe,
                        copies.from);
    } else if (anchorOut && anchorOut->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
               !(writer.format()->flags & AVFMT_TS_NEGATIVE)) {
        // A keyframe cut asked for says how far before START the clip starts too. One in a
        // container that keeps times below zero starts on time: MP4's edit list hides the
        // pictures before START.
        sayStartsEarly(placed, plan.start - copies.from);
    }
    // AVI keeps no start time per stream: each one begins with its first packet, the picture at
    // the keyframe's place in decode order, which comes before it is shown where B-frames are
    // decoded ahead. The other streams then start from that place too, so the sound heard with
    // each picture is the one heard with it in the source.
    if (plan.findShownFrame && !copies.exact &&
        !containerTraits(writer.format()).storesDisplayTimes && copies.from == keyframe) {
        const AVPacket* key = firstKeyframe(placed.start, anchor);
        if (key && key->dts != AV_NOPTS_VALUE)
            copies.from = std::min(copies.from,
                                   toTicks(seconds(key->dts, input->streams[anchor]->time_base)));
    }
    return copies;
}

// Sets up the routes of the copied streams that have none yet (an exact cut has its own) and
// of the text subtitles written again, and asks for the lines shown across the start.
void routeCopies(const StreamChoice& streams, const CutPlan& plan, const AVFormatContext* input,
                 const std::vector<AVStream*>& copyOut, const Section& section, Ticks copiesFrom,
                 double late, ClipWriter& writer, LinesAcrossStart& linesAcross,
                 std::vector<std::unique_ptr<StreamRoute>>& routes) {
    for (int i : streams.copied) {
        if (routes[i])
            continue;
        // Subtitles begin with the clip's first picture: an encoded one is the section's start.
        const bool subtitles = input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE;
        const double from =
            subtitles && !plan.findShownFrame ? section.start : toSeconds(copiesFrom);
        auto copier = std::make_unique<StreamCopier>(
            input->streams[i], copyOut[i], section.start - late, section.end, from - late);
        if (subtitles)
            linesAcross.want(input->streams[i], from - late);
        copier->convertToAnnexB(writer.context());
        copier->unpackPictures(input, writer.context());
        routes[i] = std::move(copier);
    }
    for (int i : streams.converted) {
        const AVStream* in = input->streams[i];
        routes[i] =
            SubtitleConverter::create(in, writer.context(), section.start - late, section.end);
        if (!routes[i] && plan.video != Way::Leave)
            announceLeftOut(in, subtitlesMissingWhy(in, writer.format()));
        else if (routes[i])
            linesAcross.want(in, section.start - late);
    }
}

// The clip's length as the streams wrote it, and whether that falls short of what the source
// should have given.
// removed: seconds of timestamp leaps taken out, which the source's stated length still counts.
ConvertResult measure(const std::vector<std::unique_ptr<StreamRoute>>& routes, const Source& source,
                      const Options& options, double asked, double frame, double removed) {
    ConvertResult result;
    double covered = 0;
    for (const auto& r : routes)
        if (r && r->holdsClipOpen())
            covered = std::max(covered, r->progress());
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

// Hands every packet read to its stream's route until no route that holds the clip open wants
// more, the source ends, or the watchdog expires. Returns false when the source broke off.
bool runRoutes(AVFormatContext* input, std::deque<PacketPtr>& pending, TimestampRepair& repair,
               const LinesAcrossStart& linesAcross,
               std::vector<std::unique_ptr<StreamRoute>>& routes, const StreamRoute::Writer& write,
               ProgressReporter& reporter, double asked, Watchdog& watchdog) {
    // Reports the progress of the streams still open; false once none is.
    const auto update = [&] {
        double done = std::numeric_limits<double>::infinity();
        bool any = false;
        for (const auto& r : routes)
            if (r && r->holdsClipOpen() && !r->finished()) {
                done = std::min(done, r->progress());
                any = true;
            }
        if (any)
            reporter.set(std::min(done, asked));
        return any;
    };
    PacketPtr packet = makePacket();
    while (!watchdog.expired()) {
        if (!pending.empty()) {
            av_packet_unref(packet.get());
            av_packet_move_ref(packet.get(), pending.front().get());
            pending.pop_front();
        } else {
            const int err = av_read_frame(input, packet.get());
            if (err == AVERROR_EOF)
                break;
            if (err < 0) {
                if (watchdog.expired())
                    break;
                // A damaged or truncated source: the clip keeps what could be read.
                printMessage("the source ends early or is damaged (" + avErrorText(err) +
                             "); the clip keeps what could be read");
                return false;
            }
        }
        watchdog.alive();
        if (!repair.repair(packet.get())) {
            av_packet_unref(packet.get());
            continue;
        }
        const int index = packet->stream_index;
        if (index >= 0 && index < static_cast<int>(routes.size()) && routes[index] &&
            !linesAcross.repeats(packet.get()))
            routes[index]->accept(packet.get(), write);
        av_packet_unref(packet.get());
        if (!update())
            break;
    }
    return true;
}

void closeClip(ClipWriter& writer, bool whole, const std::string& where) {
    if (writer.packetsWritten() == 0)
        throw ConvertError(!whole ? "the source is damaged: nothing could be read " + where
                                  : "nothing to cut: the source holds nothing " + where);
    writer.close();
}

void sayLeaps(int leaps) {
    if (leaps > 0)
        printMessage("the source's clock jumps at " + std::to_string(leaps) +
                     (leaps == 1 ? " point" : " points") +
                     " (joined recordings or damage); the clip runs on across the gaps");
}

[[noreturn]] void stalled(const Watchdog& watchdog) {
    char limit[32];
    const double limitSeconds = std::chrono::duration<double>(watchdog.limit()).count();
    auto [end, ec] = std::to_chars(limit, limit + sizeof limit, limitSeconds);
    throw ConvertError("the work made no progress for " + std::string(limit, end) +
                       " s; the source seems to have stalled");
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

} // namespace steps

using namespace steps;

SourceFacts factsOf(const Source& source, const AVOutputFormat* format) {
    const AVFormatContext* input = source.ctx.get();
    SourceFacts facts;
    facts.startOffset = toTicks(source.startOffset);
    if (source.duration > 0)
        facts.duration = toTicks(source.duration);
    facts.hasVideo = source.videoIndex >= 0;
    facts.hasAudio = source.audioIndex >= 0;
    if (facts.hasVideo) {
        const AVStream* video = input->streams[source.videoIndex];
        facts.video = videoFamily(video->codecpar);
        facts.rate = guessedRate(input, video);
        facts.videoDelay = video->codecpar->video_delay;
    }
    facts.stampsDecodeOrder = !containerTraits(input->iformat).storesDisplayTimes;
    facts.outputHoldsVideo = !format || containerHolds(format, AVMEDIA_TYPE_VIDEO);
    facts.outputHoldsAudio = !format || containerHolds(format, AVMEDIA_TYPE_AUDIO);
    return facts;
}

StartFound foundAt(const StartPoint& start, const AVFormatContext* input, int anchor,
                   Ticks absStart, bool mended) {
    StartFound found;
    found.keyframe = toTicks(start.keyframeTime);
    found.shown = toTicks(start.shownTime);
    found.mended = mended;
    if (anchor < 0)
        return found;
    const AVStream* stream = input->streams[anchor];
    const AVPacket* key = firstKeyframe(start, anchor);
    found.keyframeStartsCopy = key && opensGroup(stream, key);
    // Reading for the start point stops at the first picture after the start, or at the
    // source's end: whether it found one tells whether the video goes on past a gap.
    found.pictureAfterStart =
        std::any_of(start.pending.begin(), start.pending.end(), [&](const PacketPtr& p) {
            const std::int64_t ts = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
            return p->stream_index == anchor &&
                   (ts == AV_NOPTS_VALUE || toTicks(seconds(ts, stream->time_base)) > absStart);
        });
    return found;
}

ConvertResult convert(const Options& options, ProgressReporter& reporter, Watchdog& watchdog) {
    if (!options.ranges.empty())
        return convertJoined(options, reporter, watchdog); // join.h
    refuseOutputIsSource(options.input, options.output);
    Source source = openSource(options.input, watchdog.interrupt());
    const std::optional<MendedTimeline> mended = mendTimeline(source, watchdog);
    checkStart(source, options);

    PartFile part(options.output, options.overwrite);
    ClipWriter writer(options, part.path());
    AVFormatContext* input = source.ctx.get();
    const SourceFacts facts = factsOf(source, writer.format());
    const CutPlan plan = planCut(facts, requestOf(options));
    const int anchor = anchorIndex(plan, source);
    const Ticks frame = anchorFrame(plan, facts);
    const auto alive = [&] { watchdog.alive(); };

    Reading reading = findStart(source, mended, plan, anchor, alive);
    Placed placed;
    placed.start = std::move(reading.start);
    const StartFound found = foundAt(placed.start, input, anchor, plan.start, mended.has_value());
    placed.settled = settleStart(plan, facts, found);
    Section& section = placed.section;
    section.start = toSeconds(placed.settled.start);
    section.end = toSeconds(placed.settled.end);
    if (plan.sharedOrigin)
        section.origin = std::make_shared<ClipOrigin>();
    // What the reports count up to: the length asked for, whatever the clip's first picture.
    placed.asked = options.length ? *options.length : std::numeric_limits<double>::infinity();

    std::vector<std::unique_ptr<StreamRoute>> routes(input->nb_streams);
    const StreamChoice streams =
        chooseStreams(plan, source, placed.settled.videoGone, writer, options, section, routes);
    const std::vector<AVStream*> copyOut =
        addCopiedStreams(streams.copied, plan, input, writer, options);

    const CopyStart copies =
        placeCopies(source, mended.has_value(), plan, facts, found, placed, anchor,
                    anchor >= 0 ? copyOut[anchor] : nullptr, writer, options, routes, alive);
    // Where the clip's first picture shows later than its first packet is stored, the other
    // streams start as much earlier in the source, so they stay in step with the picture.
    const double late = copies.exact ? copies.exact->shownLate() : 0.0;
    LinesAcrossStart linesAcross;
    routeCopies(streams, plan, input, copyOut, section, copies.from, late, writer, linesAcross,
                routes);
    writer.copyMetadata(input, section.start, section.end,
                        plan.findShownFrame ? std::min(section.start, toSeconds(copies.from) - late)
                                            : section.start);
    if (copies.headHeld) // the re-encoded head is held back until the copy can begin
        writer.context()->max_interleave_delta = 60 * AV_TIME_BASE;
    writer.open(part.create());

    const StreamRoute::Writer write = [&](AVPacket* packet) {
        watchdog.alive();
        writer.write(packet);
    };
    if (!mended) {
        linesAcross.read(options.input, watchdog.interrupt(), alive);
        for (PacketPtr& line : linesAcross.take())
            if (auto& route = routes[line->stream_index])
                route->accept(line.get(), write);
    }
    TimestampRepair repair = reading.repair ? *reading.repair : TimestampRepair(input);
    const bool whole = runRoutes(input, placed.start.pending, repair, linesAcross, routes, write,
                                 reporter, placed.asked, watchdog);
    if (watchdog.expired())
        stalled(watchdog);
    for (auto& route : routes)
        if (route)
            route->finish(write);
    closeClip(writer, whole, "from the start on");
    sayLeaps(mended ? mended->leaps() : repair.leaps());
    ConvertResult result = measure(routes, source, options, placed.asked, toSeconds(frame),
                                   mended ? 0.0 : repair.removedSeconds());
    // A source that cannot be read again (a pipe) cannot be checked against.
    struct stat sourceFile {};
    const bool rereadable =
        ::stat(options.input.c_str(), &sourceFile) == 0 && S_ISREG(sourceFile.st_mode);
    if (options.check != CheckMode::Off && rereadable) {
        ClipExpectation expected;
        expected.clip = part.path();
        expected.source = options.checkSource.empty() ? options.input : options.checkSource;
        // A keyframe cut said to start early starts with the keyframe's picture.
        expected.firstShown =
            placed.saidEarly > 0 ? plan.start - placed.saidEarly : placed.settled.start;
        expected.leadIn = plan.leadIn;
        if (plan.video == Way::Encode)
            expected.readFrom = plan.readFrom;
        expected.end = placed.settled.end;
        expected.rate = options.frameRate.num > 0
                            ? FrameRate{options.frameRate.num, options.frameRate.den}
                            : facts.rate;
        expected.video = plan.video != Way::Leave && !placed.settled.videoGone;
        expected.audio = plan.audio != Way::Leave;
        expected.head = plan.video == Way::Encode ? HeadWay::Encoded
                        : copies.exact            ? HeadWay::Unknown
                                                  : HeadWay::Copied;
        // The seams of an exact cut, where encoded pictures meet copied ones. A clip encoded
        // whole has none: decoding all its pictures would cost a tenth of encoding them, so
        // only its first picture is decoded.
        expected.seams = copies.exact;
        expected.startsAtKeyframe = placed.saidEarly > 0;
        // A copy that ends by display time leaves out the B-pictures before the end that refer
        // to one past it; one that starts at a keyframe's place in decode order (AVI) may hold
        // as many more.
        if (plan.video == Way::Copy && !copies.exact)
            expected.endSlack = 2 + std::max(0, facts.videoDelay);
        // Filters change what a picture shows; a mended clock what "at START" means.
        expected.comparePictures = options.video.filters.empty() && !options.deinterlace && !mended;
        expected.countPictures = !result.shortClip && !mended;
        clipcheck::Figures figures;
        try {
            figures = checkClip(expected, CheckHooks{watchdog.interrupt(), alive});
        } catch (const CheckInputError& e) {
            // A part file taken away meanwhile is for commit() to name.
            struct stat written {};
            if (::stat(part.path().c_str(), &written) != 0)
                part.commit();
            figures.passed = false;
            figures.findings.push_back(std::string("cannot be checked: ") + e.what());
        }
        if (watchdog.expired())
            stalled(watchdog);
        figures.kept = !figures.passed && options.check == CheckMode::Keep;
        printMessage(clipcheck::formatLine(figures));
        if (!figures.passed && !figures.kept)
            throw CheckFailed("the clip failed its check (" + clipcheck::findingsText(figures) +
                              "); it is not kept");
        result.checkFailed = !figures.passed;
    }
    part.commit();
    return result;
}

bool checkOnly(const Options& options, Watchdog& watchdog) {
    const CheckHooks hooks{watchdog.interrupt(), [&] { watchdog.alive(); }};
    const ClipExpectation expected =
        expectationFor(options.checkClip, options.input, options.start, options.length, hooks);
    const clipcheck::Figures figures = checkClip(expected, hooks);
    printMessage(clipcheck::formatLine(figures));
    return figures.passed;
}

} // namespace vorkast
