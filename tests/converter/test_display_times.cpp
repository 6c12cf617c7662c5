// When pictures are shown, from packets as demuxers hand them out: a table of packet sequences
// per codec and container, each packet with the display time, the keyframe's time and the
// earlier picture's time it reveals; and the same rule holding packets back until their display
// times are known. No media files: the packets carry just the picture headers.
#include "display_times.h"
#include "libav_owners.h"
#include "reference_rule.h"

#include <QTest>

#include <cstring>
#include <vector>

using namespace vorkast;

namespace {

constexpr std::int64_t F = 3600; // one frame at 25 fps in 90 kHz ticks
constexpr std::int64_t kNone = AV_NOPTS_VALUE;

enum Type { I = 1, P = 2, B = 3 };

struct In {
    Type type;
    int temporalReference; // MPEG-1/2 only
    std::int64_t dts;
    std::int64_t pts;
    bool key;
};

struct Out {
    std::int64_t display;  // kNone: waits for the next reference picture
    std::int64_t keyShown; // kNone for pictures that are no keyframes
    std::int64_t revealed; // kNone unless this one reveals the one waiting
};

struct Case {
    const char* name;
    AVCodecID codec;
    int delay;
    ContainerTraits container;
    std::vector<In> packets;
    std::vector<Out> expected;
    std::int64_t shownAtEnd; // what finish() says
};

ContainerTraits programStream() {
    ContainerTraits traits;
    traits.clockMayRestart = true;
    return traits;
}

ContainerTraits avi() {
    ContainerTraits traits;
    traits.storesDisplayTimes = false;
    traits.packsBFrames = true;
    traits.seeksEarly = true;
    return traits;
}

std::vector<std::uint8_t> pictureBytes(AVCodecID codec, Type type, int temporalReference) {
    if (codec == AV_CODEC_ID_MPEG2VIDEO) {
        const int bits = temporalReference << 6 | type << 3;
        return {0, 0, 1, 0, std::uint8_t(bits >> 8), std::uint8_t(bits), 0, 0};
    }
    if (codec == AV_CODEC_ID_MPEG4) // coding type in the top two bits: I 0, P 1, B 2
        return {0, 0, 1, 0xB6, std::uint8_t((type - 1) << 6), 0x40, 0, 0};
    return {0, 0, 0, 1, 0x09, 0xF0}; // an access unit delimiter only: read by its flags
}

PacketPtr packetOf(AVCodecID codec, const In& in) {
    PacketPtr packet = makePacket();
    const auto bytes = pictureBytes(codec, in.type, in.temporalReference);
    if (av_new_packet(packet.get(), static_cast<int>(bytes.size())) < 0)
        throw std::bad_alloc();
    std::memcpy(packet->data, bytes.data(), bytes.size());
    packet->dts = in.dts;
    packet->pts = in.pts;
    packet->flags = in.key ? AV_PKT_FLAG_KEY : 0;
    return packet;
}

QString ticks(std::int64_t value) {
    return value == kNone ? QStringLiteral("none") : QString::number(double(value) / F) + "F";
}

} // namespace

class TestDisplayTimes : public QObject {
    Q_OBJECT
private slots:
    void packetSequences() {
        const AVCodecID mpeg2 = AV_CODEC_ID_MPEG2VIDEO;
        const AVCodecID mpeg4 = AV_CODEC_ID_MPEG4;
        const AVCodecID h264 = AV_CODEC_ID_H264;
        const std::vector<Case> cases = {
            {"MPEG-2 program stream, open group: the I-picture after its two leading B-pictures",
             mpeg2,
             1,
             programStream(),
             {{I, 2, 0, kNone, true},
              {B, 0, F, F, false},
              {B, 1, 2 * F, 2 * F, false},
              {P, 5, 3 * F, kNone, false},
              {B, 3, 4 * F, kNone, false},
              {B, 4, 5 * F, 5 * F, false},
              {P, 8, 6 * F, kNone, false}},
             {{kNone, 3 * F, kNone},
              {F, kNone, kNone},
              {2 * F, kNone, kNone},
              {kNone, kNone, 3 * F},
              {4 * F, kNone, kNone},
              {5 * F, kNone, kNone},
              {kNone, kNone, 6 * F}},
             7 * F},
            {"MPEG-2 with display times: nothing to work out",
             mpeg2,
             1,
             programStream(),
             {{I, 2, 0, 3 * F, true}, {B, 0, F, F, false}, {P, 5, 3 * F, 6 * F, false}},
             {{3 * F, 3 * F, kNone}, {F, kNone, kNone}, {6 * F, kNone, kNone}},
             kNone},
            {"MPEG-2 closed group: the keyframe is shown first",
             mpeg2,
             1,
             programStream(),
             {{I, 0, 0, kNone, true}, {P, 3, F, kNone, false}, {B, 1, 2 * F, 2 * F, false}},
             {{kNone, F, kNone}, {kNone, kNone, F}, {2 * F, kNone, kNone}},
             3 * F},
            {"MPEG-2 without B-pictures: shown as decoded",
             mpeg2,
             0,
             programStream(),
             {{I, 0, 0, kNone, true}, {P, 1, F, kNone, false}},
             {{0, 0, kNone}, {F, kNone, kNone}},
             kNone},
            {"MPEG-4 Visual in AVI, still packed: the keyframe a delay and a frame late",
             mpeg4,
             1,
             avi(),
             {{I, 0, 0, kNone, true}, {P, 0, F, kNone, false}, {B, 0, 2 * F, kNone, false}},
             {{0, 2 * F, kNone}, {F, kNone, kNone}, {2 * F, kNone, kNone}},
             kNone},
            {"MPEG-4 Visual in a container that does not pack: reference pictures wait",
             mpeg4,
             1,
             ContainerTraits{},
             {{I, 0, 0, kNone, true},
              {P, 0, F, kNone, false},
              {B, 0, 2 * F, kNone, false},
              {P, 0, 3 * F, kNone, false}},
             {{kNone, 2 * F, kNone},
              {kNone, kNone, F},
              {2 * F, kNone, kNone},
              {kNone, kNone, 3 * F}},
             4 * F},
            {"H.264 in AVI with B-frames: the keyframe a delay and a frame late",
             h264,
             2,
             avi(),
             {{I, 0, 0, kNone, true}, {P, 0, F, kNone, false}},
             {{0, 3 * F, kNone}, {F, kNone, kNone}},
             kNone},
            {"H.264 in a transport stream without a display time: the clock may restart",
             h264,
             2,
             programStream(),
             {{I, 0, 5 * F, kNone, true}},
             {{5 * F, 5 * F, kNone}},
             kNone},
            {"a packet without any time",
             h264,
             0,
             ContainerTraits{},
             {{I, 0, kNone, kNone, true}},
             {{kNone, kNone, kNone}},
             kNone},
        };
        for (const Case& c : cases) {
            InputContextPtr context(avformat_alloc_context());
            AVStream* stream = avformat_new_stream(context.get(), nullptr);
            QVERIFY(stream);
            stream->time_base = AVRational{1, 90000};
            stream->avg_frame_rate = AVRational{25, 1};
            stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
            stream->codecpar->codec_id = c.codec;
            stream->codecpar->video_delay = c.delay;
            DisplayClock clock(stream, c.container);
            QCOMPARE(c.packets.size(), c.expected.size());
            for (std::size_t i = 0; i < c.packets.size(); ++i) {
                const PacketPtr packet = packetOf(c.codec, c.packets[i]);
                const PacketFacts facts = clock.take(packet.get());
                const Out& want = c.expected[i];
                const Out got{facts.display.stamp(), facts.keyShown.stamp(),
                              facts.revealed.stamp()};
                QVERIFY2(got.display == want.display && got.keyShown == want.keyShown &&
                             got.revealed == want.revealed,
                         qPrintable(QStringLiteral("%1, packet %2: shown %3 (want %4), keyframe "
                                                   "%5 (want %6), reveals %7 (want %8)")
                                        .arg(c.name)
                                        .arg(i)
                                        .arg(ticks(got.display), ticks(want.display),
                                             ticks(got.keyShown), ticks(want.keyShown),
                                             ticks(got.revealed), ticks(want.revealed))));
                QCOMPARE(facts.displayPending, want.display == kNone && facts.decode.known());
            }
            QVERIFY2(
                clock.finish().stamp() == c.shownAtEnd,
                qPrintable(QStringLiteral("%1: at the end %2, want %3")
                               .arg(c.name, ticks(clock.finish().stamp()), ticks(c.shownAtEnd))));
        }
    }

    void heldPicturesPassInDecodeOrder() {
        // Each packet: whether it is a reference picture, its decode and display times. Each
        // pass: after how many packets taken (the packet count: at the end), which packet, and
        // the display time it is passed with.
        struct Held {
            bool reference;
            std::int64_t dts;
            std::int64_t pts;
        };
        struct Pass {
            std::size_t after;
            std::size_t packet;
            std::int64_t shown;
            bool operator==(const Pass& o) const {
                return after == o.after && packet == o.packet && shown == o.shown;
            }
        };
        struct HeldCase {
            const char* name;
            std::vector<Held> packets;
            std::vector<Pass> passes;
        };
        const std::vector<HeldCase> cases = {
            {"program stream: the I-picture waits for the P-picture, the B-pictures behind it",
             {{true, 0, kNone},
              {false, F, F},
              {false, 2 * F, kNone},
              {true, 3 * F, kNone},
              {false, 4 * F, kNone}},
             {{4, 0, 3 * F}, {4, 1, F}, {4, 2, 2 * F}, {5, 3, 5 * F}, {5, 4, 4 * F}}},
            {"display times of their own: nothing waits",
             {{true, 0, 3 * F}, {false, F, F}, {true, 3 * F, 6 * F}},
             {{1, 0, 3 * F}, {2, 1, F}, {3, 2, 6 * F}}},
            {"a picture without a decode time neither waits nor reveals",
             {{true, 0, kNone}, {true, kNone, kNone}, {true, 2 * F, kNone}},
             {{3, 0, 2 * F}, {3, 1, kNone}, {3, 2, 3 * F}}},
            {"no reordering: every picture is shown as it is decoded",
             {{false, 0, kNone}, {false, F, kNone}},
             {{1, 0, 0}, {2, 1, F}}},
        };
        for (const HeldCase& c : cases) {
            HeldPictures held(AVRational{1, 90000});
            std::vector<Pass> got;
            std::size_t taken = 0;
            // Each packet carries its index as its position.
            const HeldPictures::Pass pass = [&](AVPacket* packet, std::int64_t shown, bool) {
                got.push_back({taken, static_cast<std::size_t>(packet->pos), shown});
            };
            for (const Held& in : c.packets) {
                PacketPtr packet = makePacket();
                packet->dts = in.dts;
                packet->pts = in.pts;
                packet->pos = static_cast<std::int64_t>(taken);
                ++taken;
                held.take(std::move(packet), in.reference, pass);
            }
            held.finish(F, pass);
            QVERIFY2(!held.holding(), c.name);
            QString text;
            for (const Pass& p : got)
                text += QStringLiteral(" %1:%2@%3").arg(p.after).arg(p.packet).arg(ticks(p.shown));
            QVERIFY2(got == c.passes, qPrintable(QStringLiteral("%1:%2").arg(c.name, text)));
        }
    }

    void picturesAndStartingPoints() {
        // The facts the cut decides by: the picture's type, and whether a decoder can begin.
        InputContextPtr context(avformat_alloc_context());
        AVStream* stream = avformat_new_stream(context.get(), nullptr);
        stream->time_base = AVRational{1, 90000};
        stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        stream->codecpar->codec_id = AV_CODEC_ID_MPEG2VIDEO;
        DisplayClock clock(stream, programStream());
        const PacketPtr plain = packetOf(AV_CODEC_ID_MPEG2VIDEO, {I, 0, 0, 0, true});
        PacketFacts facts = clock.take(plain.get());
        QCOMPARE(facts.type, PictureType::I);
        QVERIFY(!facts.canStart); // no sequence header before it
        const std::uint8_t withSequence[] = {0, 0, 1, 0xB3, 1, 2, 0, 0, 1, 0, 0, 0x08, 0, 0};
        PacketPtr packet = makePacket();
        QVERIFY(av_new_packet(packet.get(), sizeof withSequence) >= 0);
        std::memcpy(packet->data, withSequence, sizeof withSequence);
        packet->flags = AV_PKT_FLAG_KEY;
        facts = clock.take(packet.get());
        QCOMPARE(facts.type, PictureType::I);
        QVERIFY(facts.canStart);
        // One frame's duration where the packet states none, from the stream's rate.
        stream->avg_frame_rate = AVRational{25, 1};
        DisplayClock timed(stream, programStream());
        QCOMPARE(timed.take(plain.get()).duration.stamp(), F);
    }
};

QTEST_GUILESS_MAIN(TestDisplayTimes)
#include "test_display_times.moc"
