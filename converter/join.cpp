// Joining ranges of one source into one clip: the order of a run, as engine.cpp's convert()
// has it for one range, then again for every further range into the same clip.
#include "join.h"

#include "clip_writer.h"
#include "convert_error.h"
#include "engine_steps.h"
#include "join_ranges.h"
#include "messages.h"
#include "part_file.h"
#include "progress_reporter.h"
#include "stream_copy.h"
#include "watchdog.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace vorkast {

using namespace steps;

namespace {

// Where a range starts or ends past the source's end, or the first problem with the ranges.
constexpr double kEndSlack = 0.05; // seconds a range may end after the stated end

void checkRanges(const Source& source, const std::vector<contract::JoinRange>& ranges) {
    if (const std::string problem = contract::joinRangesProblem(ranges); !problem.empty())
        throw ConvertError(problem);
    if (source.duration <= 0)
        return;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const auto& range = ranges[i];
        const std::string name = "range " + std::to_string(i + 1) + " (" + fmtSeconds(range.start) +
                                 " to " + fmtSeconds(range.end) + " s)";
        if (range.start >= source.duration)
            throw ConvertError(name + " starts at or past the end of the source (" +
                               fmtSeconds(source.duration) + " s)");
        if (range.end > source.duration + kEndSlack)
            throw ConvertError(name + " ends past the end of the source (" +
                               fmtSeconds(source.duration) + " s)");
    }
}

// Reading from a range's start finds it from the source's beginning: a start there is read
// without a seek, which takes for granted that nothing was read yet.
Reading findRangeStart(Source& source, const std::optional<MendedTimeline>& mended,
                       const CutPlan& plan, int anchor, const OnRead& alive) {
    toBeginning(source);
    return findStart(source, mended, plan, anchor, alive);
}

// One range, its section settled before the clip's header is written.
struct RangeCut {
    CutPlan plan;
    Ticks start = 0; // the section, absolute ticks
    Ticks end = 0;
    Ticks clipStart = 0; // where it begins in the clip
    std::string title;
};

// The request of one range: copied video is always cut exactly.
CutRequest rangeRequest(const Options& options, const contract::JoinRange& range) {
    Options one = options;
    one.ranges.clear();
    one.start = range.start;
    one.length = range.end - range.start;
    CutRequest request = requestOf(one);
    request.exact = true;
    return request;
}

// Each range's section as an exact cut settles it: from the picture on screen at its start to
// the frame before the one on screen at its end. Encoded video is cut there too, so its frames
// and the sound beside it fill whole frames of the clip and the ranges follow on frame by frame.
std::vector<RangeCut> settleRanges(Source& source, const std::optional<MendedTimeline>& mended,
                                   const SourceFacts& facts, const Options& options,
                                   const OnRead& alive) {
    std::vector<RangeCut> cuts;
    Ticks clip = 0;
    int n = 0;
    for (const contract::JoinRange& range : options.ranges) {
        RangeCut cut;
        const CutRequest request = rangeRequest(options, range);
        cut.plan = planCut(facts, request);
        cut.start = cut.plan.start;
        cut.end = cut.plan.end;
        if (cut.plan.video != Way::Leave) {
            CutRequest copied = request;
            copied.video = Wish::Copy;
            const CutPlan exact = planCut(facts, copied);
            const int anchor = anchorIndex(exact, source);
            if (exact.findShownFrame && anchor >= 0) {
                const Reading reading = findRangeStart(source, mended, exact, anchor, alive);
                const StartFound found = foundAt(reading.start, source.ctx.get(), anchor,
                                                 exact.start, mended.has_value());
                const SettledStart settled = settleStart(exact, facts, found);
                cut.start = settled.start;
                cut.end = settled.end;
            }
        }
        if (facts.duration)
            cut.end =
                std::min(cut.end, std::max(cut.start + 1, facts.startOffset + *facts.duration +
                                                              toTicks(kEndSlack)));
        cut.clipStart = clip;
        clip += cut.end - cut.start;
        ++n;
        cut.title = range.label.empty() ? contract::defaultChapterTitle(n) : range.label;
        cuts.push_back(std::move(cut));
    }
    return cuts;
}

// What the seams keep continuous, per stream of the clip.
struct Seam {
    std::int64_t lastDts = AV_NOPTS_VALUE;
    bool sound = false;                     // copied sound
    std::int64_t soundEnd = AV_NOPTS_VALUE; // where the last sound packet written ends
    std::int64_t soundFrame = 0;            // a packet's length where it states none
};

// A range's own route of a copied stream: its packets moved to the range's place in the clip.
class RangeRoute final : public StreamRoute {
public:
    RangeRoute(std::unique_ptr<StreamRoute> inner, const AVFormatContext* output, Ticks clipStart,
               std::vector<Seam>& seams)
        : m_inner(std::move(inner)), m_output(output), m_clipStart(clipStart), m_seams(seams) {
        m_shifted = [this](AVPacket* packet) {
            if (place(packet))
                (*m_write)(packet);
            else
                av_packet_unref(packet);
        };
    }

    void accept(AVPacket* packet, const Writer& write) override {
        m_write = &write;
        m_inner->accept(packet, m_shifted);
    }
    void finish(const Writer& write) override {
        m_write = &write;
        m_inner->finish(m_shifted);
    }
    bool finished() const override { return m_inner->finished(); }
    double progress() const override { return toSeconds(m_clipStart) + m_inner->progress(); }
    bool holdsClipOpen() const override { return m_inner->holdsClipOpen(); }

private:
    // Moves a packet to the clip's time; false to leave it out.
    bool place(AVPacket* packet) {
        const AVStream* out = m_output->streams[packet->stream_index];
        Seam& seam = m_seams[static_cast<std::size_t>(packet->stream_index)];
        const std::int64_t offset = av_rescale_q(m_clipStart, AV_TIME_BASE_Q, out->time_base);
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts += offset;
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts += offset;
        if (seam.sound && packet->pts != AV_NOPTS_VALUE) {
            const std::int64_t length = packet->duration > 0 ? packet->duration : seam.soundFrame;
            if (!m_soundPlaced) {
                if (seam.soundEnd != AV_NOPTS_VALUE) {
                    // Sound the range before already played: the packet is left out when more
                    // than half of it overlaps, otherwise it follows on from there.
                    const std::int64_t overlap = seam.soundEnd - packet->pts;
                    if (2 * overlap > length)
                        return false;
                    if (std::llabs(overlap) <= std::max<std::int64_t>(length, 1))
                        m_soundShift = overlap;
                }
                m_soundPlaced = true;
            }
            packet->pts += m_soundShift;
            if (packet->dts != AV_NOPTS_VALUE)
                packet->dts += m_soundShift;
            seam.soundEnd = packet->pts + length;
        }
        const AVMediaType type = out->codecpar->codec_type;
        if (packet->dts != AV_NOPTS_VALUE &&
            (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO)) {
            if (type == AVMEDIA_TYPE_VIDEO)
                spreadDecodeTimes(packet, seam, out);
            if (seam.lastDts != AV_NOPTS_VALUE && packet->dts <= seam.lastDts) {
                packet->dts = seam.lastDts + 1;
                if (packet->pts != AV_NOPTS_VALUE && packet->pts < packet->dts)
                    return false;
            }
            seam.lastDts = packet->dts;
        }
        return true;
    }

    // A range's first pictures are decoded ahead of their display by the reordering depth,
    // which the last pictures of the range before may not leave room for: the decode times
    // below the first free one after the range before are spread evenly over the room there
    // is, in order, so readers that tell a picture's length from decode times (MPEG streams)
    // see no picture of almost none.
    void spreadDecodeTimes(AVPacket* packet, const Seam& seam, const AVStream* out) {
        if (!m_spreadSet) {
            m_spreadSet = true;
            if (seam.lastDts == AV_NOPTS_VALUE || packet->dts > seam.lastDts)
                return;
            const AVRational rate =
                out->avg_frame_rate.num > 0 ? out->avg_frame_rate : AVRational{25, 1};
            const std::int64_t frame = std::max<std::int64_t>(
                1, packet->duration > 0 ? packet->duration
                                        : av_rescale_q(1, av_inv_q(rate), out->time_base));
            m_spreadFrom = packet->dts;
            const std::int64_t colliding = (seam.lastDts - packet->dts) / frame + 1;
            m_spreadTo = packet->dts + colliding * frame; // the first decode time left as it is
            m_spreadAfter = seam.lastDts;
            m_spreadSteps = colliding + 1;
        }
        if (m_spreadSteps == 0 || packet->dts >= m_spreadTo || packet->dts < m_spreadFrom)
            return;
        const long double at =
            static_cast<long double>(packet->dts - m_spreadFrom) / (m_spreadTo - m_spreadFrom);
        const std::int64_t room = m_spreadTo - m_spreadAfter;
        packet->dts = m_spreadAfter +
                      std::max<std::int64_t>(
                          1, std::llround((at * (m_spreadSteps - 1) + 1) * room / m_spreadSteps));
        if (packet->pts != AV_NOPTS_VALUE)
            packet->dts = std::min(packet->dts, packet->pts);
    }

    std::unique_ptr<StreamRoute> m_inner;
    const AVFormatContext* m_output;
    Ticks m_clipStart;
    std::vector<Seam>& m_seams;
    const Writer* m_write = nullptr;
    Writer m_shifted;
    bool m_soundPlaced = false;
    std::int64_t m_soundShift = 0;
    bool m_spreadSet = false; // decode times below m_spreadTo are spread over the seam's room
    std::int64_t m_spreadFrom = 0, m_spreadTo = 0, m_spreadAfter = 0, m_spreadSteps = 0;
};

// An encoded stream's route, shared by every range's run.
class SharedRoute final : public StreamRoute {
public:
    explicit SharedRoute(StreamRoute& route) : m_route(route) {}
    void accept(AVPacket* packet, const Writer& write) override { m_route.accept(packet, write); }
    void finish(const Writer&) override {} // at the clip's end, not the range's
    bool finished() const override { return m_route.finished(); }
    double progress() const override { return m_route.progress(); }
    bool holdsClipOpen() const override { return m_route.holdsClipOpen(); }

private:
    StreamRoute& m_route;
};

} // namespace

ConvertResult convertJoined(const Options& options, ProgressReporter& reporter,
                            Watchdog& watchdog) {
    refuseOutputIsSource(options.input, options.output);
    Source source = openSource(options.input, watchdog.interrupt());
    const std::optional<MendedTimeline> mended = mendTimeline(source, watchdog);
    checkRanges(source, options.ranges);

    PartFile part(options.output, options.overwrite);
    ClipWriter writer(options, part.path());
    AVFormatContext* input = source.ctx.get();
    const SourceFacts facts = factsOf(source, writer.format());
    const auto alive = [&] { watchdog.alive(); };
    std::vector<RangeCut> cuts = settleRanges(source, mended, facts, options, alive);
    const RangeCut& last = cuts.back();
    const double total = toSeconds(last.clipStart + last.end - last.start);

    const StreamRoute::Writer write = [&](AVPacket* packet) {
        watchdog.alive();
        writer.write(packet);
    };
    std::vector<std::unique_ptr<StreamRoute>> shared(input->nb_streams);
    std::vector<AVStream*> copyOut;
    StreamChoice streams;
    std::vector<Seam> seams;
    std::vector<std::uint8_t> description; // the exact cut's stream description in the header
    double covered = 0;
    bool whole = true;
    int leaps = 0;
    for (std::size_t k = 0; k < cuts.size(); ++k) {
        const RangeCut& cut = cuts[k];
        const CutPlan& plan = cut.plan;
        const int anchor = anchorIndex(plan, source);
        Reading reading = findRangeStart(source, mended, plan, anchor, alive);
        Placed placed;
        placed.start = std::move(reading.start);
        const StartFound found =
            foundAt(placed.start, input, anchor, plan.start, mended.has_value());
        placed.settled = settleStart(plan, facts, found);
        placed.settled.start = cut.start;
        placed.settled.end = cut.end;
        placed.section.start = toSeconds(cut.start);
        placed.section.end = toSeconds(cut.end);
        placed.asked = toSeconds(cut.end - cut.start);
        const Section& section = placed.section;

        std::vector<std::unique_ptr<StreamRoute>> routes(input->nb_streams);
        if (k == 0) {
            streams = chooseStreams(plan, source, placed.settled.videoGone, writer, options,
                                    section, routes);
            copyOut = addCopiedStreams(streams.copied, plan, input, writer, options);
            for (std::size_t i = 0; i < routes.size(); ++i)
                if (auto* encoded = dynamic_cast<Transcoder*>(routes[i].get())) {
                    encoded->joinSections(static_cast<int>(cuts.size()) - 1);
                    shared[i] = std::move(routes[i]);
                }
        } else {
            for (auto& route : shared)
                if (route)
                    static_cast<Transcoder&>(*route).nextSection(section, toSeconds(cut.clipStart),
                                                                 write);
        }
        if (k == 0 && plan.cut == VideoCut::Exact && anchor >= 0 && copyOut[anchor] &&
            recodesAtCuts(facts.video))
            // The header describes the frames encoded again at every range's cuts, also where
            // the first range needs none.
            ExactVideoCut::create(input, input->streams[anchor], copyOut[anchor], writer.context(),
                                  options, cut.start, cut.end);
        const CopyStart copies =
            placeCopies(source, mended.has_value(), plan, facts, found, placed, anchor,
                        anchor >= 0 ? copyOut[anchor] : nullptr, writer, options, routes, alive);
        const double late = copies.exact ? copies.exact->shownLate() : 0.0;
        LinesAcrossStart noLines; // lines across a range's start begin with the range
        routeCopies(streams, plan, input, copyOut, section, copies.from, late, writer, noLines,
                    routes);

        AVStream* exactOut = copies.exact && anchor >= 0 ? copyOut[anchor] : nullptr;
        if (k == 0) {
            const double first = plan.findShownFrame
                                     ? std::min(section.start, toSeconds(copies.from) - late)
                                     : section.start;
            writer.copyMetadata(input, section.start, section.end, first);
            // Where the container stores no times below zero, the muxer moves the clip later
            // by what the first range copies before its start, the chapters with it.
            const double lead = writer.format()->flags & AVFMT_TS_NEGATIVE
                                    ? 0.0
                                    : std::max(0.0, section.start - first);
            writer.clearChapters();
            for (const RangeCut& c : cuts)
                writer.addChapter(lead + toSeconds(c.clipStart),
                                  lead + toSeconds(c.clipStart + c.end - c.start), c.title);
            if (plan.cut == VideoCut::Exact)
                writer.context()->max_interleave_delta = 60 * AV_TIME_BASE;
            writer.open(part.create());
            seams.resize(writer.context()->nb_streams);
            for (int i : streams.copied)
                if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                    const AVCodecParameters* par = input->streams[i]->codecpar;
                    Seam& seam = seams[static_cast<std::size_t>(copyOut[i]->index)];
                    seam.sound = true;
                    if (par->frame_size > 0 && par->sample_rate > 0)
                        seam.soundFrame = av_rescale_q(par->frame_size, {1, par->sample_rate},
                                                       copyOut[i]->time_base);
                }
            if (const AVStream* video = anchor >= 0 ? copyOut[anchor] : nullptr)
                description.assign(video->codecpar->extradata,
                                   video->codecpar->extradata + video->codecpar->extradata_size);
        } else if (exactOut && (static_cast<std::size_t>(exactOut->codecpar->extradata_size) !=
                                    description.size() ||
                                !std::equal(description.begin(), description.end(),
                                            exactOut->codecpar->extradata))) {
            // The header already describes the frames at the first range's cuts.
            throw ConvertError("the frames at the cuts of range " + std::to_string(k + 1) +
                               " would need another stream description than the first range's");
        }
        for (std::size_t i = 0; i < routes.size(); ++i) {
            if (shared[i])
                routes[i] = std::make_unique<SharedRoute>(*shared[i]);
            else if (routes[i])
                routes[i] = std::make_unique<RangeRoute>(std::move(routes[i]), writer.context(),
                                                         cut.clipStart, seams);
        }

        TimestampRepair repair = reading.repair ? *reading.repair : TimestampRepair(input);
        whole = runRoutes(input, placed.start.pending, repair, noLines, routes, write, reporter,
                          total, watchdog) &&
                whole;
        if (watchdog.expired())
            stalled(watchdog);
        for (auto& route : routes)
            if (route)
                route->finish(write);
        if (k + 1 == cuts.size())
            for (auto& route : shared)
                if (route)
                    route->finish(write);
        double reached = 0;
        for (const auto& route : routes)
            if (route && route->holdsClipOpen())
                reached = std::max(reached, route->progress());
        const double wanted = toSeconds(cut.clipStart + cut.end - cut.start);
        covered += std::min(reached, wanted) - toSeconds(cut.clipStart);
        leaps += mended ? 0 : repair.leaps();
    }
    closeClip(writer, whole, "in the ranges");
    part.commit(); // a joined clip is put in place unchecked: the check knows one range
    sayLeaps(mended ? mended->leaps() : leaps);
    ConvertResult result;
    result.seconds = total;
    const double frame = toSeconds(frameTicks(facts.rate));
    if (covered < total - frame * static_cast<double>(cuts.size()) - 1e-3) {
        result.seconds = covered;
        result.shortClip = true;
        result.expected = total;
    }
    return result;
}

} // namespace vorkast
