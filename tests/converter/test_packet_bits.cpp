// The packet library's readers without media files: bits and Exp-Golomb codes, start codes, the
// picture headers of MPEG-1/2, MPEG-4 Visual and H.264, and the one time type's rounding.
#include "bit_reader.h"
#include "codec_traits.h"
#include "h264_units.h"
#include "hevc_units.h"
#include "media_time.h"
#include "packet_bytes.h"

#include <QTest>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

using namespace vorkast;
using namespace vorkast::test;

Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(std::optional<unsigned>)
Q_DECLARE_METATYPE(std::optional<std::size_t>)
Q_DECLARE_METATYPE(vorkast::PictureType)

namespace {

// An H.264 slice NAL unit (header byte included): first macroblock 0 and the slice type.
Bytes h264Slice(int nalType, unsigned sliceType) {
    return cat({{static_cast<std::uint8_t>(0x60 | nalType)},
                BitWriter().ue(0).ue(sliceType).ue(0).bits(1, 1).bits(0, 7).done()});
}

Bytes annexB(std::initializer_list<Bytes> units) {
    Bytes out;
    for (const Bytes& unit : units)
        out = cat({out, {0, 0, 0, 1}, unit});
    return out;
}

Bytes lengthPrefixed(std::initializer_list<Bytes> units) {
    Bytes out;
    for (const Bytes& unit : units) {
        const auto n = static_cast<std::uint32_t>(unit.size());
        out = cat(
            {out,
             {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)},
             unit});
    }
    return out;
}

} // namespace

class TestPacketBits : public QObject {
    Q_OBJECT
private slots:
    void bitsAreReadMostSignificantFirst() {
        const Bytes data{0xA5, 0x0F};
        BitReader bits(data.data(), data.size());
        QCOMPARE(bits.read(3), 5u);    // 101
        QCOMPARE(bits.read(6), 0x0Au); // 0 0101 0
        bits.skip(3);
        QCOMPARE(bits.read(4), 0xFu);
        QVERIFY(!bits.past());
        QCOMPARE(bits.read(4), 0u); // past the end reads zeros and says so
        QVERIFY(bits.past());
    }

    void expGolombCodes_data() {
        QTest::addColumn<Bytes>("data");
        QTest::addColumn<bool>("emulation");
        QTest::addColumn<std::optional<unsigned>>("value");
        QTest::newRow("0: 1") << Bytes{0x80} << false << std::optional<unsigned>(0);
        QTest::newRow("1: 010") << Bytes{0x40} << false << std::optional<unsigned>(1);
        QTest::newRow("2: 011") << Bytes{0x60} << false << std::optional<unsigned>(2);
        QTest::newRow("7: 0001000") << Bytes{0x10} << false << std::optional<unsigned>(7);
        QTest::newRow("runs past the end") << Bytes{0x00} << false << std::optional<unsigned>();
        QTest::newRow("rest cut off") << Bytes{0x01} << false << std::optional<unsigned>();
        QTest::newRow("33 zeros: too long")
            << Bytes{0, 0, 0, 0, 0x00, 0x80, 0, 0, 0, 0} << false << std::optional<unsigned>();
        // 00 00 03 01: the 03 is no payload, so the code is 23 zeros, a 1 and 23 bits.
        QTest::newRow("emulation byte skipped")
            << Bytes{0x00, 0x00, 0x03, 0x01, 0x00, 0x00, 0x02} << true
            << std::optional<unsigned>((1u << 23) - 1 + 1);
    }
    void expGolombCodes() {
        QFETCH(Bytes, data);
        QFETCH(bool, emulation);
        QFETCH(std::optional<unsigned>, value);
        BitReader bits(data.data(), data.size(), emulation);
        QCOMPARE(bits.readUe(), value);
    }

    void startCodes_data() {
        QTest::addColumn<Bytes>("data");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("after");
        QTest::addColumn<std::optional<std::size_t>>("found");
        const auto at = [](std::size_t offset) { return std::optional<std::size_t>(offset); };
        QTest::newRow("first code") << Bytes{0, 0, 1, 0xB3, 9} << 0xB3 << 0xFF << 0 << at(3);
        QTest::newRow("after another code")
            << Bytes{0, 0, 1, 0xB5, 0, 0, 1, 0xB3} << 0xB3 << 0xFF << 0 << at(7);
        QTest::newRow("four-byte prefix")
            << Bytes{0, 0, 0, 1, 0x00, 8, 8} << 0x00 << 0xFF << 2 << at(4);
        QTest::newRow("masked: a range of codes")
            << Bytes{0, 0, 1, 0x2F, 1} << 0x20 << 0xF0 << 0 << at(3);
        QTest::newRow("code byte missing")
            << Bytes{0, 0, 1} << 0x00 << 0xFF << 0 << std::optional<std::size_t>();
        QTest::newRow("too few bytes behind")
            << Bytes{0, 0, 1, 0x00, 8} << 0x00 << 0xFF << 2 << std::optional<std::size_t>();
        QTest::newRow("no prefix")
            << Bytes{0, 1, 0, 1, 0xB3} << 0xB3 << 0xFF << 0 << std::optional<std::size_t>();
    }
    void startCodes() {
        QFETCH(Bytes, data);
        QFETCH(int, code);
        QFETCH(int, mask);
        QFETCH(int, after);
        QFETCH(std::optional<std::size_t>, found);
        QCOMPARE(findStartCode(data.data(), data.size(), static_cast<std::uint8_t>(code),
                               static_cast<std::uint8_t>(mask), static_cast<std::size_t>(after)),
                 found);
    }

    void mpeg12PictureHeaders_data() {
        QTest::addColumn<Bytes>("data");
        QTest::addColumn<int>("temporalReference");
        QTest::addColumn<PictureType>("type");
        QTest::newRow("I, leading two") << mpeg12Picture(2, 1) << 2 << PictureType::I;
        QTest::newRow("P") << mpeg12Picture(5, 2) << 5 << PictureType::P;
        QTest::newRow("B, largest reference") << mpeg12Picture(1023, 3) << 1023 << PictureType::B;
        QTest::newRow("D-picture: unknown") << mpeg12Picture(0, 4) << 0 << PictureType::Unknown;
        QTest::newRow("behind a sequence header")
            << cat({{0, 0, 1, 0xB3, 1, 2, 3}, mpeg12Picture(7, 1)}) << 7 << PictureType::I;
    }
    void mpeg12PictureHeaders() {
        QFETCH(Bytes, data);
        const auto header = mpeg12::pictureHeader(data.data(), data.size());
        QVERIFY(header);
        QTEST(header->temporalReference, "temporalReference");
        QTEST(header->type, "type");
    }

    void mpeg12GroupsAndSequences() {
        const Bytes closedGroup = {0, 0, 1, 0xB8, 0, 0, 0, 0x40};
        const Bytes openGroup = {0, 0, 1, 0xB8, 0, 0, 0, 0x00};
        const Bytes sequence = {0, 0, 1, 0xB3, 0x10};
        const Bytes picture = mpeg12Picture(0, 1);
        QVERIFY(mpeg12::opensClosedGroup(closedGroup.data(), closedGroup.size()));
        QVERIFY(!mpeg12::opensClosedGroup(openGroup.data(), openGroup.size()));
        QVERIFY(mpeg12::hasSequenceHeader(sequence.data(), sequence.size()));
        QVERIFY(!mpeg12::hasSequenceHeader(picture.data(), picture.size()));
        QVERIFY(!mpeg12::pictureHeader(sequence.data(), sequence.size()));
    }

    void mpeg4Pictures_data() {
        QTest::addColumn<Bytes>("data");
        QTest::addColumn<PictureType>("type");
        QTest::addColumn<int>("pictures");
        QTest::newRow("I") << mpeg4Vop(0, 5, true) << PictureType::I << 1;
        QTest::newRow("P") << mpeg4Vop(1, 5, true) << PictureType::P << 1;
        QTest::newRow("B") << mpeg4Vop(2, 5, true) << PictureType::B << 1;
        QTest::newRow("S") << mpeg4Vop(3, 5, true) << PictureType::S << 1;
        QTest::newRow("P with a B packed behind it")
            << cat({mpeg4Vop(1, 5, true), mpeg4Vop(2, 5, true)}) << PictureType::P << 2;
        QTest::newRow("layer header before the picture")
            << cat({mpeg4Vol(25), mpeg4Vop(0, 5, true)}) << PictureType::I << 1;
        QTest::newRow("no picture") << mpeg4Vol(25) << PictureType::Unknown << 0;
    }
    void mpeg4Pictures() {
        QFETCH(Bytes, data);
        QTEST(mpeg4::pictureType(data.data(), data.size()), "type");
        QTEST(mpeg4::pictureCount(data.data(), data.size(), 2), "pictures");
    }

    void mpeg4TimeIncrementAndCodedPictures_data() {
        QTest::addColumn<unsigned>("resolution");
        QTest::addColumn<int>("incrementBits");
        QTest::newRow("25 per second: 5 bits") << 25u << 5;
        QTest::newRow("30000: 15 bits") << 30000u << 15;
        QTest::newRow("2: 1 bit") << 2u << 1;
        QTest::newRow("1: still 1 bit") << 1u << 1;
        QTest::newRow("zero: no header to go by") << 0u << 0;
    }
    void mpeg4TimeIncrementAndCodedPictures() {
        QFETCH(unsigned, resolution);
        QFETCH(int, incrementBits);
        const Bytes vol = mpeg4Vol(resolution);
        QCOMPARE(mpeg4::timeIncrementBits(vol.data(), vol.size()), incrementBits);
        QVERIFY(mpeg4::hasVolHeader(vol.data(), vol.size()));
        if (incrementBits == 0)
            return;
        // A stand-in picture reads as not coded only with the right increment length.
        for (const bool coded : {true, false}) {
            const Bytes vop = mpeg4Vop(1, incrementBits, coded);
            QCOMPARE(mpeg4::vopCoded(vop.data(), vop.size(), incrementBits), coded);
        }
    }

    void h264SliceTypes_data() {
        QTest::addColumn<Bytes>("data");
        QTest::addColumn<int>("lengthSize");
        QTest::addColumn<PictureType>("type");
        QTest::addColumn<bool>("idr");
        const Bytes sps = {0x67, 0x64, 0, 0x1E, 0xAC};
        QTest::newRow("IDR, start codes")
            << annexB({sps, h264Slice(5, 7)}) << 0 << PictureType::I << true;
        QTest::newRow("P, start codes")
            << annexB({h264Slice(1, 5)}) << 0 << PictureType::P << false;
        QTest::newRow("B, lengths")
            << lengthPrefixed({h264Slice(1, 6)}) << 4 << PictureType::B << false;
        QTest::newRow("I without IDR, lengths (open group)")
            << lengthPrefixed({{0x06, 5, 1, 0x80}, h264Slice(1, 2)}) << 4 << PictureType::I
            << false;
        QTest::newRow("SP counts as P")
            << annexB({h264Slice(1, 3)}) << 0 << PictureType::P << false;
        QTest::newRow("parameter sets only") << annexB({sps}) << 0 << PictureType::Unknown << false;
        QTest::newRow("lengths past the data")
            << Bytes{0, 0, 0, 9, 0x65, 0x88} << 4 << PictureType::Unknown << false;
    }
    void h264SliceTypes() {
        QFETCH(Bytes, data);
        QFETCH(int, lengthSize);
        QTEST(h264::pictureType(data.data(), data.size(), lengthSize), "type");
        QTEST(h264::hasIdr(data.data(), data.size(), lengthSize), "idr");
    }

    // HEVC: random access points read as I, others by the first slice's type; the hvcC record
    // gives its length size and the parameter sets, VPS first, other arrays left out.
    void hevcSliceTypes_data() {
        QTest::addColumn<Bytes>("data");
        QTest::addColumn<int>("lengthSize");
        QTest::addColumn<PictureType>("type");
        QTest::addColumn<bool>("irap");
        const auto slice = [](int nalType, unsigned sliceType) {
            BitWriter header;
            header.bits(1, 1); // the picture's first slice
            if (hevc::isIrap(nalType))
                header.bits(0, 1);
            return cat({{std::uint8_t(nalType << 1), 1},
                        header.ue(0).ue(sliceType).bits(1, 1).bits(0, 7).done()});
        };
        const Bytes vps = {0x40, 0x01, 0x0c};
        QTest::newRow("CRA after a VPS, start codes")
            << annexB({vps, slice(hevc::kCra, 2)}) << 0 << PictureType::I << true;
        QTest::newRow("BLA, lengths")
            << lengthPrefixed({slice(hevc::kBlaNLp, 2)}) << 4 << PictureType::I << true;
        QTest::newRow("RASL B, lengths")
            << lengthPrefixed({slice(hevc::kRaslR, 0)}) << 4 << PictureType::B << false;
        QTest::newRow("trailing P, start codes")
            << annexB({slice(1, 1)}) << 0 << PictureType::P << false;
        QTest::newRow("parameter sets only") << annexB({vps}) << 0 << PictureType::Unknown << false;
    }
    void hevcSliceTypes() {
        QFETCH(Bytes, data);
        QFETCH(int, lengthSize);
        QTEST(hevc::pictureType(data.data(), data.size(), lengthSize), "type");
        QTEST(hevc::hasIrap(data.data(), data.size(), lengthSize), "irap");
    }

    void hevcConfig() {
        const Bytes vps = {0x40, 0x01, 0x0c}, sps = {0x42, 0x01, 0x01}, pps = {0x44, 0x01, 0xc1};
        const Bytes sei = {0x4e, 0x01, 0x05};
        Bytes hvcc(21, 0);
        hvcc[0] = 1;
        // Length size 2; arrays out of order, with an SEI one.
        hvcc = cat({hvcc, {0xfd, 4}});
        for (const Bytes& unit : {pps, sei, sps, vps})
            hvcc =
                cat({hvcc, {std::uint8_t(unit[0] >> 1), 0, 1, 0, std::uint8_t(unit.size())}, unit});
        const auto config = hevc::readConfig(hvcc.data(), hvcc.size());
        QVERIFY(config);
        QCOMPARE(config->lengthSize, 2);
        QVERIFY(config->sets == (std::vector<Bytes>{vps, sps, pps}));
        const Bytes annex = annexB({vps, sps, pps});
        const auto fromStream = hevc::readConfig(annex.data(), annex.size());
        QVERIFY(fromStream);
        QCOMPARE(fromStream->lengthSize, 0);
        QVERIFY(fromStream->sets == config->sets);
        QVERIFY(!hevc::readConfig(hvcc.data(), 30)); // cut short
    }

    void h264ParameterSetsAndUnits() {
        const Bytes sps = cat({{0x67, 0x64, 0, 0x1E}, BitWriter().ue(3).bits(1, 1).done()});
        const Bytes pps = cat({{0x68}, BitWriter().ue(2).ue(0).bits(1, 1).done()});
        QCOMPARE(h264::parameterSetId(h264::Unit{sps.data(), sps.size()}),
                 std::optional<unsigned>(3));
        QCOMPARE(h264::parameterSetId(h264::Unit{pps.data(), pps.size()}),
                 std::optional<unsigned>(2));
        // Trailing zero bytes before the next start code belong to no unit.
        const Bytes stream = cat({{0, 0, 1}, sps, {0, 0}, {0, 0, 0, 1}, pps});
        const auto units = h264::splitUnits(stream.data(), stream.size(), 0);
        QCOMPARE(units.size(), std::size_t(2));
        QCOMPARE(units[0].size, sps.size());
        QCOMPARE(units[1].type(), int(h264::kPps));
        // The avcC record written from them reads back the same sets.
        h264::Config config;
        config.sps.push_back(sps);
        config.pps.push_back(pps);
        const Bytes avcc = h264::writeAvcc(config);
        const auto back = h264::readConfig(avcc.data(), avcc.size());
        QVERIFY(back);
        QCOMPARE(back->lengthSize, 4);
        QVERIFY(back->sps == config.sps);
        QVERIFY(back->pps == config.pps);
    }

    void secondsToTicks_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("den");
        QTest::addColumn<qint64>("ticks");
        QTest::newRow("exact") << 1.5 << 90000 << qint64(135000);
        QTest::newRow("nearest, down") << 0.0133 << 100 << qint64(1);
        QTest::newRow("half away from zero") << 0.025 << 20 << qint64(1);
        QTest::newRow("negative half away from zero") << -0.025 << 20 << qint64(-1);
        QTest::newRow("nan is zero") << std::nan("") << 1000 << qint64(0);
        QTest::newRow("a length of 1e15 s saturates") << 1e15 << 90000 << qint64(INT64_MAX);
        QTest::newRow("infinity saturates")
            << std::numeric_limits<double>::infinity() << 25 << qint64(INT64_MAX);
        QTest::newRow("minus infinity saturates")
            << -std::numeric_limits<double>::infinity() << 25 << qint64(INT64_MIN);
    }
    void secondsToTicks() {
        QFETCH(double, seconds);
        QFETCH(int, den);
        QTEST(qint64(ticksFromSeconds(seconds, AVRational{1, den})), "ticks");
    }

    void timeBaseChanges_data() {
        QTest::addColumn<qint64>("ticks");
        QTest::addColumn<int>("fromDen");
        QTest::addColumn<int>("toDen");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("25 fps to 90 kHz") << qint64(3) << 25 << 90000 << qint64(10800);
        QTest::newRow("90 kHz to ms, nearest") << qint64(3003) << 90000 << 1000 << qint64(33);
        QTest::newRow("half a tick away from zero") << qint64(1) << 2 << 1 << qint64(1);
        QTest::newRow("minus half a tick away from zero") << qint64(-1) << 2 << 1 << qint64(-1);
        QTest::newRow("saturated stays saturated")
            << qint64(INT64_MAX) << 1000 << 90000 << qint64(INT64_MAX);
        QTest::newRow("overflow saturates")
            << qint64(int64_t(1) << 60) << 1 << 90000 << qint64(INT64_MAX);
        QTest::newRow("underflow saturates")
            << qint64(-(int64_t(1) << 60)) << 1 << 90000 << qint64(INT64_MIN);
    }
    void timeBaseChanges() {
        QFETCH(qint64, ticks);
        QFETCH(int, fromDen);
        QFETCH(int, toDen);
        QTEST(qint64(rescaleTicks(ticks, AVRational{1, fromDen}, AVRational{1, toDen})),
              "expected");
        const MediaTime time(ticks, AVRational{1, fromDen});
        QTEST(qint64(time.in(AVRational{1, toDen}).ticks()), "expected");
    }

    void mediaTimes() {
        const AVRational ms{1, 1000};
        const AVRational pal{1, 25};
        QVERIFY(!MediaTime().known());
        QVERIFY(std::isnan(MediaTime().seconds()));
        QCOMPARE(MediaTime::fromStamp(AV_NOPTS_VALUE, ms).stamp(), AV_NOPTS_VALUE);
        QVERIFY(!MediaTime::fromSeconds(std::nan(""), ms).known());
        // Compared exactly across bases; none is earlier than any time.
        QVERIFY(MediaTime(40, ms) == MediaTime(1, pal));
        QVERIFY(MediaTime(39, ms) < MediaTime(1, pal));
        QVERIFY(MediaTime() < MediaTime(INT64_MIN, ms));
        // Sums saturate, and a saturated time stays where it is.
        const MediaTime end(INT64_MAX, ms);
        QCOMPARE(end.plusTicks(-5).ticks(), INT64_MAX);
        QCOMPARE(MediaTime(3'999'999'999'999'999'999, ms).plusTicks(1).ticks(), INT64_MAX);
        QCOMPARE(MediaTime(-3'999'999'999'999'999'999, ms).plusTicks(-1).ticks(), INT64_MIN);
        QCOMPARE(MediaTime(10, ms).plus(MediaTime(1, pal)).ticks(), std::int64_t{50});
        QVERIFY(!MediaTime(10, ms).plus(MediaTime()).known());
        QCOMPARE(MediaTime(1'000'000'000'000, ms).times(10'000'000).ticks(), INT64_MAX);
        QCOMPARE(end.seconds(), std::numeric_limits<double>::infinity());
        QCOMPARE(MediaTime(INT64_MIN, ms).seconds(), -std::numeric_limits<double>::infinity());
    }
};

QTEST_GUILESS_MAIN(TestPacketBits)
#include "test_packet_bits.moc"
