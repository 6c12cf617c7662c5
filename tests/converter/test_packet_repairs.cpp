// What the packet library mends before anyone reads the packets, without media files: MPEG-4
// Visual pictures packed two to a packet taken apart, and clock leaps moved back or left out.
#include "libav_owners.h"
#include "packed_pictures.h"
#include "packet_bytes.h"
#include "timestamp_repair.h"

#include <QTest>

#include <cmath>
#include <cstring>
#include <vector>

using namespace vorkast;
using namespace vorkast::test;

namespace {

constexpr std::int64_t F = 3600; // one frame at 25 fps in 90 kHz ticks
constexpr std::int64_t kNone = AV_NOPTS_VALUE;
constexpr int kIncrementBits = 5; // a time resolution of 25

PacketPtr packetOf(const Bytes& bytes, std::int64_t dts, std::int64_t pts = kNone) {
    PacketPtr packet = makePacket();
    if (av_new_packet(packet.get(), static_cast<int>(bytes.size())) < 0)
        throw std::bad_alloc();
    std::memcpy(packet->data, bytes.data(), bytes.size());
    packet->dts = dts;
    packet->pts = pts;
    packet->duration = F;
    return packet;
}

// A context that only describes streams: freed without a demuxer's closing.
OutputContextPtr describedInput(const char* format, std::initializer_list<AVMediaType> types) {
    OutputContextPtr context(avformat_alloc_context());
    context->iformat = av_find_input_format(format);
    for (const AVMediaType type : types) {
        AVStream* stream = avformat_new_stream(context.get(), nullptr);
        stream->codecpar->codec_type = type;
        stream->time_base = AVRational{1, 90000};
    }
    return context;
}

} // namespace

class TestPacketRepairs : public QObject {
    Q_OBJECT
private slots:
    void packedPicturesComeApart_data() {
        QTest::addColumn<bool>("layerHeader");
        QTest::newRow("increment read from the layer header") << true;
        QTest::newRow("stand-ins told by their size") << false;
    }
    void packedPicturesComeApart() {
        QFETCH(bool, layerHeader);
        const Bytes vol = mpeg4Vol(25);
        AVCodecParameters* par = avcodec_parameters_alloc();
        if (layerHeader) {
            par->extradata =
                static_cast<std::uint8_t*>(av_mallocz(vol.size() + AV_INPUT_BUFFER_PADDING_SIZE));
            std::memcpy(par->extradata, vol.data(), vol.size());
            par->extradata_size = static_cast<int>(vol.size());
        }
        PackedPictures pictures(par);
        avcodec_parameters_free(&par);
        // As AVI stores I P B B P: the first B packed behind P, the stand-in where it was.
        const Bytes i = mpeg4Vop(0, kIncrementBits, true);
        const Bytes p = cat({mpeg4Vop(1, kIncrementBits, true), Bytes(8, 0x55)});
        const Bytes b = cat({mpeg4Vop(2, kIncrementBits, true), Bytes(6, 0x66)});
        const Bytes standIn = {0, 0, 1, 0xB6, 0x40, 0x48, 0x00}; // P, not coded: 7 bytes
        const Bytes standInCoded = cat({mpeg4Vop(1, kIncrementBits, false), Bytes(4, 0)});
        struct Step {
            Bytes in;
            std::vector<Bytes> out;
            std::vector<std::int64_t> outDts;
        };
        const Bytes& placeHolder = layerHeader ? standInCoded : standIn;
        const std::vector<Step> steps = {
            {i, {i}, {0}},
            {cat({p, b}), {p}, {F}},
            // The stand-in only held the place: the B-frame is decoded there.
            {placeHolder, {b}, {2 * F}},
            {b, {b}, {3 * F}},
            {p, {p}, {4 * F}},
        };
        std::int64_t dts = 0;
        for (const Step& step : steps) {
            PacketPtr packet = packetOf(step.in, dts);
            const std::vector<PacketPtr> out = pictures.split(packet.get());
            QCOMPARE(out.size(), step.out.size());
            for (std::size_t k = 0; k < out.size(); ++k) {
                QCOMPARE(Bytes(out[k]->data, out[k]->data + out[k]->size), step.out[k]);
                QCOMPARE(out[k]->dts, step.outDts[k]);
            }
            dts += F;
        }
        // The end passes as it is.
        PacketPtr end = makePacket();
        const std::vector<PacketPtr> out = pictures.split(end.get());
        QCOMPARE(out.size(), std::size_t(1));
        QVERIFY(!out[0]->data);
    }

    void clockLeaps_data() {
        QTest::addColumn<QString>("format");
        // Decode times of the video packets, in frames; the mended ones (kNone: left out).
        QTest::addColumn<std::vector<std::int64_t>>("read");
        QTest::addColumn<std::vector<std::int64_t>>("mended");
        QTest::addColumn<int>("leaps");
        const std::int64_t hour = 3600 * 25;
        QTest::newRow("transport stream restarting its clock an hour on: moved back")
            << "mpegts" << std::vector<std::int64_t>{0, 1, 2, hour, hour + 1}
            << std::vector<std::int64_t>{0, 1, 2, 3, 4} << 1;
        QTest::newRow("transport stream jumping back to zero: moved on")
            << "mpegts" << std::vector<std::int64_t>{hour, hour + 1, 0, 1}
            << std::vector<std::int64_t>{hour, hour + 1, hour + 2, hour + 3} << 1;
        QTest::newRow("Matroska with one damaged time: left out")
            << "matroska" << std::vector<std::int64_t>{0, 1, hour, 3, 4}
            << std::vector<std::int64_t>{0, 1, kNone, 3, 4} << 1;
        QTest::newRow("Matroska with a real gap: taken after eight in a row")
            << "matroska"
            << std::vector<std::int64_t>{0,        hour,     hour + 1, hour + 2, hour + 3,
                                         hour + 4, hour + 5, hour + 6, hour + 7, hour + 8}
            << std::vector<std::int64_t>{0,     kNone, kNone, kNone,    kNone,
                                         kNone, kNone, kNone, hour + 7, hour + 8}
            << 1;
        QTest::newRow("small steps are no leaps")
            << "mpegts" << std::vector<std::int64_t>{0, 100, 200}
            << std::vector<std::int64_t>{0, 100, 200} << 0;
    }
    void clockLeaps() {
        QFETCH(QString, format);
        QFETCH(std::vector<std::int64_t>, read);
        QFETCH(std::vector<std::int64_t>, mended);
        const OutputContextPtr input =
            describedInput(format.toLatin1().constData(), {AVMEDIA_TYPE_VIDEO});
        QVERIFY(input->iformat);
        TimestampRepair repair(input.get());
        for (std::size_t k = 0; k < read.size(); ++k) {
            PacketPtr packet = packetOf({0, 0, 1}, read[k] * F, read[k] * F);
            const bool kept = repair.repair(packet.get());
            const std::int64_t got = kept ? packet->dts / F : kNone;
            QVERIFY2(
                got == mended[k],
                qPrintable(
                    QStringLiteral("packet %1: %2 instead of %3").arg(k).arg(got).arg(mended[k])));
            if (kept)
                QCOMPARE(packet->pts, packet->dts);
        }
        QTEST(repair.leaps(), "leaps");
    }

    void damagedDisplayTimesAndNewStreams() {
        const OutputContextPtr input =
            describedInput("mpegts", {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO});
        TimestampRepair repair(input.get());
        // A display time hours from its decode time is damage: the decode time stands.
        PacketPtr video = packetOf({0, 0, 1}, 0, 3600 * 90000LL);
        QVERIFY(repair.repair(video.get()));
        QCOMPARE(video->pts, std::int64_t{0});
        // A stream whose first packet lies an hour from the others is damage too.
        PacketPtr sound = packetOf({1}, 3600 * 90000LL);
        sound->stream_index = 1;
        QVERIFY(!repair.repair(sound.get()));
        QCOMPARE(repair.leaps(), 1);
        // Moving the clock back shortens the stated length by as much.
        PacketPtr later = packetOf({0, 0, 1}, 7200 * 90000LL);
        QVERIFY(repair.repair(later.get()));
        QCOMPARE(later->dts, F);
        QVERIFY(std::abs(repair.removedSeconds() - (7200 - 1.0 / 25)) < 1e-6);
    }
};

QTEST_GUILESS_MAIN(TestPacketRepairs)
#include "test_packet_repairs.moc"
