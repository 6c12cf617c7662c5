// Checking a clip against its source, from outside, after it was written.
#include "clip_check.h"

#include "decoded_times.h"
#include "engine.h"
#include "messages.h"
#include "packet_timeline.h"
#include "source.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace vorkast {

namespace {

// An encoded first picture this far below the source's (luma PSNR, dB) is not the same picture
// any more: the exact cut's head is encoded near 50 dB, a profile's default near 35 dB.
constexpr double kEncodedBound = 28.0;
// Above this two pictures count as one: still scenes repeat a picture, and a finding of "late"
// between two equal pictures would be none.
constexpr double kSamePicture = 60.0;
// No picture of the clip this close to any of the source's near the start: not its source.
constexpr double kUnrelated = 18.0;
// A timestamp's rounding into a coarse time base.
constexpr Ticks kSlackTicks = 1000;

// A decoded picture's brightness at a fixed size, to compare pictures of any format and size.
struct Luma {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};

Luma lumaOf(const AVFrame* frame, int width, int height) {
    Luma luma;
    luma.width = width;
    luma.height = height;
    luma.pixels.resize(static_cast<std::size_t>(width) * height);
    ScalerPtr scaler(sws_getContext(frame->width, frame->height,
                                    static_cast<AVPixelFormat>(frame->format), width, height,
                                    AV_PIX_FMT_GRAY8, SWS_AREA, nullptr, nullptr, nullptr));
    if (!scaler)
        throw ConvertError("cannot compare the pictures: no scaler for their format");
    std::uint8_t* planes[4] = {luma.pixels.data(), nullptr, nullptr, nullptr};
    int strides[4] = {width, 0, 0, 0};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    return luma;
}

double psnr(const Luma& a, const Luma& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        const double d = double(a.pixels[i]) - double(b.pixels[i]);
        sum += d * d;
    }
    if (sum == 0)
        return INFINITY;
    return 10 * std::log10(255.0 * 255.0 * double(a.pixels.size()) / sum);
}

// Whether two decoded pictures hold the very same pixels.
bool samePixels(const AVFrame* a, const AVFrame* b) {
    if (a->width != b->width || a->height != b->height || a->format != b->format)
        return false;
    const auto format = static_cast<AVPixelFormat>(a->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (!desc)
        return false;
    int lineSizes[4] = {};
    if (av_image_fill_linesizes(lineSizes, format, a->width) < 0)
        return false;
    for (int plane = 0; plane < 4 && a->data[plane]; ++plane) {
        const int rows =
            plane == 1 || plane == 2 ? AV_CEIL_RSHIFT(a->height, desc->log2_chroma_h) : a->height;
        for (int y = 0; y < rows; ++y)
            if (std::memcmp(a->data[plane] + std::ptrdiff_t(y) * a->linesize[plane],
                            b->data[plane] + std::ptrdiff_t(y) * b->linesize[plane],
                            static_cast<std::size_t>(lineSizes[plane])) != 0)
                return false;
    }
    return true;
}

// A decoder that says which packets it found damaged: the errors it returns, the pictures it
// flags, and the errors it logs while it works.
class CheckedDecoder {
public:
    CheckedDecoder(const AVStream* stream, bool detectErrors) : m_timeBase(stream->time_base) {
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!codec)
            throw CheckInputError(std::string("no decoder for the video (") +
                                  avcodec_get_name(stream->codecpar->codec_id) + ")");
        m_ctx.reset(avcodec_alloc_context3(codec));
        if (!m_ctx)
            throw std::bad_alloc();
        check(avcodec_parameters_to_context(m_ctx.get(), stream->codecpar),
              "cannot set up the check's decoder");
        m_ctx->pkt_timebase = stream->time_base;
        m_ctx->thread_count = 0;
        if (detectErrors) {
            m_ctx->err_recognition = AV_EF_EXPLODE | AV_EF_CRCCHECK | AV_EF_BITSTREAM;
            // Slices, not frames, on threads: an error is then told with the packet it is in.
            m_ctx->thread_type = FF_THREAD_SLICE;
        }
        check(avcodec_open2(m_ctx.get(), codec, nullptr), "cannot open the check's decoder");
    }

    // Sends a packet (nullptr: the end) and hands out every picture ready.
    template <typename OnFrame> void send(const AVPacket* packet, OnFrame&& onFrame) {
        const int logged = loggedErrors();
        const int sent = avcodec_send_packet(m_ctx.get(), packet);
        if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF)
            damaged(packet);
        FramePtr frame = makeFrame();
        for (;;) {
            const int got = avcodec_receive_frame(m_ctx.get(), frame.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                break;
            if (got < 0) {
                damaged(packet);
                if (!packet)
                    break;
                continue;
            }
            ++m_pictures;
            if (frame->decode_error_flags || (frame->flags & AV_FRAME_FLAG_CORRUPT))
                damaged(frame->best_effort_timestamp);
            onFrame(frame.get());
            av_frame_unref(frame.get());
        }
        if (loggedErrors() != logged && !m_lastDamaged)
            damaged(packet);
        m_lastDamaged = false;
    }

    long errors() const { return m_errors; }
    std::optional<double> firstError() const { return m_firstError; }
    long pictures() const { return m_pictures; }
    AVRational timeBase() const { return m_timeBase; }

private:
    static int loggedErrors() { return decoderErrorsLogged(); }
    void damaged(const AVPacket* packet) {
        damaged(packet ? (packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts)
                       : AV_NOPTS_VALUE);
    }
    void damaged(std::int64_t stamp) {
        if (m_lastDamaged)
            return;
        m_lastDamaged = true;
        ++m_errors;
        if (!m_firstError && stamp != AV_NOPTS_VALUE)
            m_firstError = seconds(stamp, m_timeBase);
    }

    CodecContextPtr m_ctx;
    AVRational m_timeBase;
    long m_errors = 0;
    long m_pictures = 0;
    bool m_lastDamaged = false;
    std::optional<double> m_firstError;
};

// A picture with its time, seconds in its file's clock.
struct Picture {
    double time = 0;
    FramePtr frame;
};

double frameSeconds(FrameRate rate) {
    return toSeconds(frameTicks(rate));
}

// When a picture of the clip is shown, on its clock: the decoder's stamp; without one, a frame
// after the picture before, or for the first picture where the packet timeline shows the
// keyframe it starts with.
double pictureTime(const AVFrame* frame, AVRational timeBase, const std::optional<double>& before,
                   double frameLength, double keyShown) {
    if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
        return seconds(frame->best_effort_timestamp, timeBase);
    return before ? *before + frameLength : keyShown;
}

// The source's pictures around the one on screen at `at` (absolute seconds), and which of them
// that picture is.
struct SourcePictures {
    std::vector<Picture> pictures;
    std::size_t expected = 0;
    double shown = 0; // where the expected picture is shown, absolute seconds
    long decoded = 0;
    bool earliestKept = false;             // the first picture kept is the first one decoded
    std::optional<std::size_t> keyPicture; // the first keyframe's picture, among those kept
};

// Decodes the source's video from the keyframe `point` read from until `around` pictures past
// `shown`, keeping those within `around` pictures of it, timed as the packet timeline times
// them.
SourcePictures decodeAround(Source& source, StartPoint& point, double shown, int around,
                            double frame, bool atKeyframe, bool stopAtShown,
                            const CheckHooks& hooks) {
    SourcePictures found;
    found.shown = shown;
    const int video = source.videoIndex;
    const AVStream* stream = source.ctx->streams[video];
    CheckedDecoder decoder(stream, false);
    // The pictures are timed as the re-encoded clip times them.
    DecodedTimes times(source.ctx.get(), stream,
                       std::max<std::int64_t>(1, ticksFromSeconds(frame, stream->time_base)));
    const double from = shown - (around + 0.5) * frame;
    const double until = shown + (around + 0.5) * frame;
    bool anyTimed = false;
    int untimed = 0;
    bool done = false;
    const auto keep = [&](AVFrame* decoded) {
        // Pictures before the first with a time (Matroska gives none below zero) follow the
        // keyframe decoding starts at, a frame apart.
        const std::int64_t stamp = times.frameTime(decoded);
        if (stamp == AV_NOPTS_VALUE && anyTimed)
            return;
        anyTimed = anyTimed || stamp != AV_NOPTS_VALUE;
        const double time = stamp != AV_NOPTS_VALUE ? seconds(stamp, stream->time_base)
                                                    : point.keyframeTime + untimed++ * frame;
        if (time > until) {
            done = true;
            return;
        }
        if (time < from)
            return;
        if (found.pictures.empty())
            found.earliestKept = decoder.pictures() == 1;
        if (!found.keyPicture && decoded->key_frame)
            found.keyPicture = found.pictures.size();
        Picture picture{time, makeFrame()};
        check(av_frame_ref(picture.frame.get(), decoded), "cannot keep a picture");
        found.pictures.push_back(std::move(picture));
        if (stopAtShown && (time >= shown - 1e-4 || (atKeyframe && found.keyPicture)))
            done = true;
    };
    bool keyframeSeen = false;
    const auto feed = [&](const AVPacket* packet) {
        if (packet->stream_index != video)
            return;
        keyframeSeen = keyframeSeen || (packet->flags & AV_PKT_FLAG_KEY);
        if (!keyframeSeen)
            return;
        times.notePacket(packet);
        decoder.send(packet, keep);
    };
    for (const PacketPtr& packet : point.pending) {
        hooks.alive();
        if (!done)
            feed(packet.get());
    }
    PacketPtr packet = makePacket();
    while (!done && av_read_frame(source.ctx.get(), packet.get()) >= 0) {
        hooks.alive();
        feed(packet.get());
        av_packet_unref(packet.get());
    }
    if (!done)
        decoder.send(nullptr, keep);
    found.decoded = decoder.pictures();
    std::sort(found.pictures.begin(), found.pictures.end(),
              [](const Picture& a, const Picture& b) { return a.time < b.time; });
    if (atKeyframe && found.keyPicture) {
        // A keyframe cut starts with the keyframe's own picture.
        found.expected = *found.keyPicture;
        return found;
    }
    // The picture on screen at `shown`: the last one shown by then, else the nearest.
    double best = INFINITY;
    for (std::size_t i = 0; i < found.pictures.size(); ++i) {
        const double distance = std::fabs(found.pictures[i].time - found.shown);
        if (distance < best) {
            best = distance;
            found.expected = i;
        }
    }
    for (std::size_t i = 0; i < found.pictures.size(); ++i)
        if (found.pictures[i].time <= found.shown + 1e-4)
            found.expected = i;
    return found;
}

// The picture on screen at `at` found as the cut finds it, then the pictures around it; quick:
// first only up to it, enough when same(pictures). An
// encoded clip's decoder read from readFrom, where it is given: the source is decoded from
// there too, so that its pictures are timed alike.
// wanted(pictures) tells whether those from its keyframe on are enough; when not, and pictures
// before that keyframe may lie within `around`, reading starts again at an earlier keyframe.
template <typename Enough, typename Same>
SourcePictures sourcePicturesAround(Source& source, double at, std::optional<double> readFrom,
                                    double leadIn, int around, double frame, bool atKeyframe,
                                    bool quick, const CheckHooks& hooks, Enough enough, Same same) {
    const auto read = [&] {
        return readFrom
                   ? positionAt(source, *readFrom, source.videoIndex, false, hooks.alive, leadIn)
                   : positionAt(source, at, source.videoIndex, true, hooks.alive, leadIn);
    };
    StartPoint point = read();
    const double shown = readFrom ? at : point.shownTime;
    long spent = 0;
    if (quick) {
        // A copied first picture is the expected one to the pixel: the pictures around it are
        // decoded only when it is not.
        SourcePictures first =
            decodeAround(source, point, shown, around, frame, atKeyframe, true, hooks);
        if (same(first))
            return first;
        spent = first.decoded;
        point = read();
    }
    SourcePictures found =
        decodeAround(source, point, shown, around, frame, atKeyframe, false, hooks);
    found.decoded += spent;
    const double earliest = shown - around * frame;
    if (enough(found) || !found.earliestKept || point.keyframeTime <= earliest + 1e-4 ||
        earliest <= source.startOffset)
        return found;
    StartPoint before = positionAt(source, earliest, source.videoIndex, false, hooks.alive, leadIn);
    SourcePictures wider =
        decodeAround(source, before, shown, around, frame, atKeyframe, false, hooks);
    wider.decoded += found.decoded;
    if (wider.pictures.empty())
        return found;
    return wider;
}

// Which of the source's pictures the clip's first one is: the best match; among equally good
// ones the expected picture, else the nearest to it. A picture that shows the same as the
// expected one is no other picture.
long bestMatch(const SourcePictures& found, const std::vector<double>& scores, int width,
               int height) {
    const auto expectedAt = static_cast<long>(found.expected);
    long best = expectedAt;
    for (long i = 0; i < static_cast<long>(scores.size()); ++i) {
        const double mine = scores[static_cast<std::size_t>(i)];
        const double held = scores[static_cast<std::size_t>(best)];
        const bool tie = mine >= kSamePicture && held >= kSamePicture;
        if (tie ? std::labs(i - expectedAt) < std::labs(best - expectedAt) : mine > held)
            best = i;
    }
    if (best != expectedAt &&
        psnr(lumaOf(found.pictures[found.expected].frame.get(), width, height),
             lumaOf(found.pictures[static_cast<std::size_t>(best)].frame.get(), width, height)) >=
            kSamePicture)
        best = expectedAt;
    return best;
}

// A packet's place on its stream's clock, seconds; the start the skip side data names taken off.
double packetStart(const AVPacket* packet, const AVStream* stream) {
    const std::int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    double at = seconds(stamp == AV_NOPTS_VALUE ? 0 : stamp, stream->time_base);
    std::size_t size = 0;
    const std::uint8_t* skip = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (skip && size >= 4 && stream->codecpar->sample_rate > 0) {
        const std::uint32_t samples =
            skip[0] | (skip[1] << 8) | (skip[2] << 16) | (std::uint32_t(skip[3]) << 24);
        at += double(samples) / stream->codecpar->sample_rate;
    }
    return at;
}

// One audio frame of a stream, seconds: what a copied sound may start off the picture by.
double audioFrame(const AVStream* stream, const AVPacket* first) {
    const AVCodecParameters* par = stream->codecpar;
    if (par->frame_size > 0 && par->sample_rate > 0)
        return double(par->frame_size) / par->sample_rate;
    if (first && first->duration > 0)
        return seconds(first->duration, stream->time_base);
    return 0.05;
}

// Whether a container's index lists every picture (MP4/MOV sample tables, AVI's index).
bool indexListsEveryPicture(const AVFormatContext* input) {
    const std::string name = input->iformat->name;
    return name.find("mov") != std::string::npos || name == "avi";
}

// The clip's pictures by its index: those an edit list hides do not count.
long picturesInIndex(const AVStream* stream) {
    long count = 0;
    const int entries = avformat_index_get_entries_count(stream);
    for (int i = 0; i < entries; ++i)
        if (!(avformat_index_get_entry(const_cast<AVStream*>(stream), i)->flags &
              AVINDEX_DISCARD_FRAME))
            ++count;
    return count;
}

std::string clockText(double seconds) {
    if (!(seconds >= 0))
        seconds = 0;
    const auto ms = static_cast<long long>(std::llround(seconds * 1000));
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return text;
}

std::string framesText(long count) {
    return std::to_string(count) + (count == 1 ? " frame" : " frames");
}

std::string fixed2(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// Everything read from the clip.
struct ClipReading {
    FramePtr first;                   // its first picture
    std::optional<double> soundStart; // on the clip's clock
    double soundFrame = 0.05;
    // Where the picture begins for the sound: where it is shown, or where the container states
    // decode times only, its first packet's place (each stream begins with its first packet).
    double pictureStart = 0;
    bool untimed = true; // no picture of the first group states a time
    long pictures = -1;  // -1 where not counted
    long errors = 0;
    std::optional<double> firstError;
    long decoded = 0;
};

ClipReading readClip(AVFormatContext* clip, int video, int audio, const ClipExpectation& expected,
                     const CheckHooks& hooks) {
    ClipReading reading;
    const AVStream* stream = clip->streams[video];
    CheckedDecoder decoder(stream, expected.seams);
    const double frame = frameSeconds(expected.rate);
    const ContainerTraits traits = containerTraits(clip->iformat);
    DisplayClock clock(stream, traits);
    double firstKeyShown = 0;           // where the timeline shows the first packet, if a keyframe
    std::optional<double> firstDecoded; // its place, where the container states no display times
    std::optional<double> last;
    const auto onFrame = [&](AVFrame* decoded) {
        last = pictureTime(decoded, stream->time_base, last, frame, firstKeyShown);
        if (!reading.first) {
            reading.first = makeFrame();
            check(av_frame_ref(reading.first.get(), decoded), "cannot keep a picture");
            reading.pictureStart = firstDecoded.value_or(*last);
        }
    };
    const bool byIndex = indexListsEveryPicture(clip);
    long packets = 0;
    int keyframes = 0;
    const int reorder = std::max(stream->codecpar->video_delay, 2);
    int afterSeam = 0;     // packets decoded from the first copied keyframe on
    bool headDone = false; // the first picture, and with seams the head and the seam, decoded
    std::deque<PacketPtr> lastGroup; // the packets from the last keyframe on
    PacketPtr packet = makePacket();
    const auto finishHead = [&] {
        decoder.send(nullptr, onFrame);
        headDone = true;
    };
    // Packets are counted where the index does not list them, and the last group is kept
    // where no index finds it; otherwise reading ends with the head and the first sound.
    const bool readAll = (expected.countPictures || expected.seams) && !byIndex;
    for (;;) {
        const bool soundKnown = audio < 0 || reading.soundStart;
        if (headDone && soundKnown && !readAll)
            break;
        if (av_read_frame(clip, packet.get()) < 0)
            break;
        hooks.alive();
        if (packet->stream_index == audio && !reading.soundStart &&
            !(packet->flags & AV_PKT_FLAG_DISCARD)) {
            reading.soundStart = packetStart(packet.get(), clip->streams[audio]);
            reading.soundFrame = audioFrame(clip->streams[audio], packet.get());
        }
        if (packet->stream_index != video) {
            av_packet_unref(packet.get());
            continue;
        }
        ++packets;
        const bool key = packet->flags & AV_PKT_FLAG_KEY;
        if (keyframes <= 1 && (packet->pts != AV_NOPTS_VALUE || packet->dts != AV_NOPTS_VALUE))
            reading.untimed = false;
        if (packets == 1) {
            const PacketFacts facts = clock.take(packet.get());
            if (facts.keyShown)
                firstKeyShown = facts.keyShown.seconds();
            if (facts.decode && !traits.storesDisplayTimes)
                firstDecoded = facts.decode.seconds();
        }
        if (key && expected.seams)
            ++keyframes;
        if (!headDone) {
            if (key && expected.seams && keyframes == 3)
                finishHead();
            else
                decoder.send(packet.get(), onFrame);
            // After the seam only the copied pictures that may still refer across it are
            // decoded: the first copied keyframe and those that come after it in decode order
            // but may be shown before it, no more than the stream's reorder delay.
            if (!headDone && expected.seams && keyframes == 2 && ++afterSeam > reorder + 2)
                finishHead();
            if (!headDone && !expected.seams && reading.first)
                finishHead();
        }
        if (headDone && expected.seams && !byIndex && keyframes >= 3) {
            if (key)
                lastGroup.clear();
            lastGroup.push_back(makePacket());
            av_packet_move_ref(lastGroup.back().get(), packet.get());
        }
        av_packet_unref(packet.get());
    }
    if (!headDone)
        finishHead();
    if (expected.seams && byIndex && keyframes >= 3) {
        // The last group, from the index's last keyframe.
        const int entries = avformat_index_get_entries_count(stream);
        for (int i = entries - 1; i >= 0; --i) {
            const AVIndexEntry* entry = avformat_index_get_entry(const_cast<AVStream*>(stream), i);
            if ((entry->flags & AVINDEX_KEYFRAME) && !(entry->flags & AVINDEX_DISCARD_FRAME)) {
                if (av_seek_frame(clip, video, entry->timestamp, AVSEEK_FLAG_BACKWARD) >= 0) {
                    while (av_read_frame(clip, packet.get()) >= 0) {
                        hooks.alive();
                        if (packet->stream_index == video) {
                            lastGroup.push_back(makePacket());
                            av_packet_move_ref(lastGroup.back().get(), packet.get());
                        }
                        av_packet_unref(packet.get());
                    }
                }
                break;
            }
        }
    }
    if (!lastGroup.empty() && keyframes >= 3) {
        CheckedDecoder tail(stream, true);
        for (const PacketPtr& held : lastGroup) {
            hooks.alive();
            tail.send(held.get(), [](AVFrame*) {});
        }
        tail.send(nullptr, [](AVFrame*) {});
        reading.errors += tail.errors();
        if (!reading.firstError)
            reading.firstError = tail.firstError();
        reading.decoded += tail.pictures();
    }
    reading.errors += decoder.errors();
    if (decoder.firstError())
        reading.firstError = decoder.firstError();
    reading.decoded += decoder.pictures();
    if (expected.countPictures)
        reading.pictures = byIndex ? picturesInIndex(stream) : packets;
    return reading;
}

// Whether the source's video ends at or before `at` (absolute seconds), where the source says.
bool videoEndsBefore(const Source& source, double at) {
    const AVStream* video = source.ctx->streams[source.videoIndex];
    return video->duration > 0 && video->start_time != AV_NOPTS_VALUE &&
           seconds(video->start_time + video->duration, video->time_base) <= at + 1e-3;
}

} // namespace

clipcheck::Figures checkClip(const ClipExpectation& expected, const CheckHooks& hooks) {
    const auto began = std::chrono::steady_clock::now();
    clipcheck::Figures figures;
    const auto finding = [&figures](std::string text) {
        figures.passed = false;
        figures.findings.push_back(std::move(text));
    };

    InputContextPtr clip;
    try {
        clip = openInput(expected.clip, hooks.interrupt);
    } catch (const ConvertError& e) {
        std::string why = e.what();
        if (const std::size_t colon = why.find(": "); colon != std::string::npos)
            why = why.substr(colon + 2);
        throw CheckInputError("cannot open the clip: " + why);
    }
    const StreamChoice streams = chooseStreams(clip.get());
    Source source = openSource(expected.source, hooks.interrupt);
    if (expected.video && source.videoIndex < 0)
        throw CheckInputError("the source holds no video");
    if (expected.video && streams.video < 0 &&
        !videoEndsBefore(source, toSeconds(expected.firstShown)))
        throw CheckInputError("the clip holds no video");
    if (expected.audio && streams.audio < 0)
        finding("holds no sound");

    const double frame = frameSeconds(expected.rate);
    if (streams.video >= 0) {
        const ClipReading reading =
            readClip(clip.get(), streams.video, streams.audio, expected, hooks);
        figures.decoded += reading.decoded;
        figures.errors = reading.errors;
        if (reading.errors > 0) {
            figures.firstError = reading.firstError.value_or(0) - startSeconds(clip.get());
            finding(std::to_string(reading.errors) +
                    (reading.errors == 1 ? " decoder error at " : " decoder errors from ") +
                    clockText(*figures.firstError));
        }
        if (!reading.first)
            throw CheckInputError("no picture of the clip decodes");

        if (expected.comparePictures) {
            const AVFrame* first = reading.first.get();
            const Luma firstLuma = lumaOf(first, first->width, first->height);
            std::vector<double> scores;
            long best = 0;
            // Scores the pictures found against the clip's first; enough when it is the expected
            // one to the pixel, or when it matches one that has a picture before it to lose to.
            const auto enough = [&](const SourcePictures& found) {
                scores.clear();
                for (const Picture& picture : found.pictures) {
                    hooks.alive();
                    scores.push_back(samePixels(first, picture.frame.get())
                                         ? INFINITY
                                         : psnr(firstLuma, lumaOf(picture.frame.get(), first->width,
                                                                  first->height)));
                }
                if (scores.empty())
                    return false;
                best = bestMatch(found, scores, first->width, first->height);
                return std::isinf(scores[found.expected]) ||
                       (best > 0 && scores[static_cast<std::size_t>(best)] >= kUnrelated);
            };
            const SourcePictures around = sourcePicturesAround(
                source, toSeconds(expected.firstShown),
                expected.readFrom ? std::optional<double>(toSeconds(*expected.readFrom))
                                  : std::nullopt,
                toSeconds(expected.leadIn), expected.searchFrames, frame, expected.startsAtKeyframe,
                expected.head == HeadWay::Copied, hooks, enough, [&](const SourcePictures& found) {
                    return enough(found) && std::isinf(scores[found.expected]);
                });
            figures.decoded += around.decoded;
            if (around.pictures.empty())
                throw CheckInputError("the source shows no picture at the start");
            if (scores.size() != around.pictures.size())
                enough(around);
            const auto expectedAt = static_cast<long>(around.expected);
            const double score = scores[static_cast<std::size_t>(best)];
            figures.psnr = scores[around.expected];
            figures.identical = std::isinf(scores[around.expected]);
            if (score < kUnrelated && figures.errors == 0L)
                throw CheckInputError("no picture of the clip's start is found near the start in "
                                      "the source: is it the clip's source?");
            if (score < kUnrelated) {
                finding("first picture is none of the source's near the start");
            } else {
                const long off = best - expectedAt;
                figures.firstOffset = off;
                if (off != 0)
                    finding("starts " + framesText(std::labs(off)) +
                            (off > 0 ? " late" : " early"));
                else if (expected.head == HeadWay::Copied && !*figures.identical)
                    finding("first picture differs from the source's (copied, yet " +
                            fixed2(*figures.psnr) + " dB)");
                else if (!*figures.identical && *figures.psnr < kEncodedBound)
                    finding("first picture is far from the source's (" + fixed2(*figures.psnr) +
                            " dB)");
            }
        }

        if (reading.pictures >= 0) {
            figures.pictures = reading.pictures;
            // Where the source's video ends is known to the picture where its index lists
            // every one; elsewhere its length is an estimate, and a section that reaches near
            // it is not counted.
            const AVStream* video = source.ctx->streams[source.videoIndex];
            double sourceEnd = NAN;
            if (indexListsEveryPicture(source.ctx.get()) && video->duration > 0 &&
                video->start_time != AV_NOPTS_VALUE)
                sourceEnd = seconds(video->start_time + video->duration, video->time_base);
            double end = toSeconds(expected.end);
            if (expected.end >= kNoEnd || (!std::isnan(sourceEnd) && end > sourceEnd))
                end = sourceEnd;
            else if (std::isnan(sourceEnd) && source.duration > 0 &&
                     end > source.startOffset + source.duration - 1.0)
                end = NAN;
            if (std::isfinite(end)) {
                const double span = (end - toSeconds(expected.firstShown)) / frame;
                const long planned = std::max(1L, static_cast<long>(std::ceil(span - 0.01)));
                figures.planned = planned;
                const long missing = planned - reading.pictures;
                if (missing > expected.endSlack)
                    finding(std::to_string(missing) + " of " + std::to_string(planned) +
                            " pictures missing");
                // From the source's very beginning a copy keeps pictures stamped below zero.
                else if (missing < -expected.endSlack &&
                         expected.firstShown > toTicks(source.startOffset) + kSlackTicks)
                    finding(std::to_string(-missing) + " pictures more than the " +
                            std::to_string(planned) + " planned");
            }
        }

        if (reading.untimed)
            finding("pictures carry no PTS or DTS stamps");
        else if (streams.audio >= 0 && reading.soundStart) {
            // Where the source's own sound begins after its picture (or, from before both,
            // before it), the clip's does as much.
            const auto streamStart = [&](int index) {
                const AVStream* stream = index >= 0 ? source.ctx->streams[index] : nullptr;
                return stream && stream->start_time != AV_NOPTS_VALUE
                           ? seconds(stream->start_time, stream->time_base)
                           : -INFINITY;
            };
            const double from = toSeconds(expected.firstShown);
            const double lead = std::max(from, streamStart(source.audioIndex)) -
                                std::max(from, streamStart(source.videoIndex));
            const double behind = *reading.soundStart - reading.pictureStart;
            figures.sound = behind;
            const double off = behind - (std::isfinite(lead) ? lead : 0.0);
            if (std::fabs(off) > reading.soundFrame + 1e-3)
                finding("sound " + fixed2(std::fabs(off)) + " s " + (off > 0 ? "behind" : "ahead"));
        }
    }
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return figures;
}

ClipExpectation expectationFor(const std::string& clip, const std::string& source, double start,
                               std::optional<double> length, const CheckHooks& hooks) {
    Source opened = openSource(source, hooks.interrupt);
    if (opened.videoIndex < 0)
        throw CheckInputError("the source holds no video");
    if (opened.duration > 0 && start >= opened.duration)
        throw CheckInputError("the start lies at or past the end of the source");
    const SourceFacts facts = factsOf(opened, nullptr);
    CutRequest request;
    request.start = toTicks(start);
    if (length)
        request.length = toTicks(*length);
    request.video = Wish::Copy;
    request.audio = facts.hasAudio ? Wish::Copy : Wish::Off;
    request.exact = true;
    const CutPlan plan = planCut(facts, request);
    const StartPoint point = positionAt(opened, toSeconds(plan.readFrom), opened.videoIndex, true,
                                        hooks.alive, toSeconds(plan.leadIn));
    const StartFound found = foundAt(point, opened.ctx.get(), opened.videoIndex, plan.start, false);
    const SettledStart settled = settleStart(plan, facts, found);

    ClipExpectation expected;
    expected.clip = clip;
    expected.source = source;
    expected.firstShown = settled.start;
    expected.leadIn = plan.leadIn;
    expected.end = settled.end;
    expected.rate = facts.rate;
    expected.audio = false; // a clip of another maker may leave the sound out
    expected.head = HeadWay::Unknown;
    expected.seams = true;
    expected.searchFrames = 12;
    return expected;
}

} // namespace vorkast
