// The plan of a cut, from facts alone: which way each stream goes, where reading starts, the
// section's frames and when an exact cut is a plain copy. No media: every case is a row.
#include "convert_error.h"
#include "cut_plan.h"

#include <QtTest>

#include <cmath>

using namespace vorkast;

Q_DECLARE_METATYPE(vorkast::SourceFacts)
Q_DECLARE_METATYPE(vorkast::CutRequest)
Q_DECLARE_METATYPE(vorkast::StartFound)
Q_DECLARE_METATYPE(vorkast::FrameRate)

namespace {

constexpr Ticks kSecond = kTicksPerSecond;

QString ways(Way way) {
    switch (way) {
    case Way::Leave:
        return "leave";
    case Way::Copy:
        return "copy";
    case Way::Encode:
        return "encode";
    }
    return "?";
}

// What a plan decides, in a fixed order: the ways, the anchor, then only what differs from a
// plain keyframe copy read from the start.
QString describe(const CutPlan& p) {
    QStringList d{"video " + ways(p.video), "audio " + ways(p.audio)};
    d << (p.anchor == Anchor::Video   ? "anchor video"
          : p.anchor == Anchor::Audio ? "anchor audio"
                                      : "no anchor");
    if (!p.copyOnly)
        d << "not copy only";
    if (p.cut == VideoCut::Exact)
        d << "exact";
    if (p.findShownFrame)
        d << "shown frame";
    if (p.readFrom != p.start)
        d << QString("read from %1").arg(p.readFrom);
    if (p.leadIn != 0)
        d << QString("lead-in %1").arg(p.leadIn);
    if (p.soundFromStart)
        d << "sound from start";
    if (p.rereadForKeyframeCut)
        d << "reread";
    if (p.sharedOrigin)
        d << "shared origin";
    return d.join(", ");
}

SourceFacts h264Mp4() {
    SourceFacts f;
    f.startOffset = 0;
    f.duration = 120 * kSecond;
    f.hasVideo = f.hasAudio = true;
    f.video = VideoFamily::H264;
    f.rate = {30, 1};
    f.videoDelay = 2;
    f.outputHoldsVideo = f.outputHoldsAudio = true;
    return f;
}

SourceFacts with(SourceFacts f, VideoFamily family, bool avi = false) {
    f.video = family;
    f.stampsDecodeOrder = avi;
    return f;
}

CutRequest request(Wish video, Wish audio, bool exact = false, Ticks start = 10 * kSecond) {
    CutRequest r;
    r.start = start;
    r.length = 5 * kSecond;
    r.video = video;
    r.audio = audio;
    r.exact = exact;
    return r;
}

} // namespace

class TestCutPlan : public QObject {
    Q_OBJECT
private slots:
    void roundsSecondsOneWay_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<qlonglong>("ticks");
        QTest::newRow("a decimal") << 1.2 << qlonglong(1'200'000);
        QTest::newRow("to the nearest tick") << 1.0000004 << qlonglong(1'000'000);
        QTest::newRow("before the container's zero") << -0.0333 << qlonglong(-33'300);
        QTest::newRow("infinity is to the end") << double(INFINITY) << qlonglong(kNoEnd);
        QTest::newRow("a length too long to count") << 1e15 << qlonglong(kNoEnd);
        QTest::newRow("minus infinity") << double(-INFINITY) << qlonglong(-kNoEnd);
        QTest::newRow("not a number") << double(NAN) << qlonglong(0);
    }
    void roundsSecondsOneWay() {
        QFETCH(double, seconds);
        QFETCH(qlonglong, ticks);
        QCOMPARE(qlonglong(toTicks(seconds)), ticks);
    }

    void countsFramesByOneRule_data() {
        QTest::addColumn<FrameRate>("rate");
        QTest::addColumn<qlonglong>("frame");
        QTest::addColumn<qlonglong>("thousandth"); // where frame 1000 starts
        QTest::newRow("30 fps") << FrameRate{30, 1} << qlonglong(33'333) << qlonglong(33'333'333);
        // Frames do not drift from a rate that does not divide a second.
        QTest::newRow("NTSC") << FrameRate{30000, 1001} << qlonglong(33'367)
                              << qlonglong(33'366'667);
        QTest::newRow("a slide every two seconds")
            << FrameRate{1, 2} << qlonglong(2'000'000) << qlonglong(2'000'000'000);
        QTest::newRow("no rate") << FrameRate{0, 0} << qlonglong(50'000) << qlonglong(50'000'000);
        QTest::newRow("a clock's tick, no picture rate")
            << FrameRate{90000, 1} << qlonglong(50'000) << qlonglong(50'000'000);
    }
    void countsFramesByOneRule() {
        QFETCH(FrameRate, rate);
        QFETCH(qlonglong, frame);
        QFETCH(qlonglong, thousandth);
        QCOMPARE(qlonglong(frameTicks(rate)), frame);
        QCOMPARE(qlonglong(frameStart(0, 1000, rate)), thousandth);
    }

    void endsAtTheFrameOnScreen_data() {
        QTest::addColumn<FrameRate>("rate");
        QTest::addColumn<qlonglong>("shownStart");
        QTest::addColumn<qlonglong>("askedEnd");
        QTest::addColumn<qlonglong>("end");
        const FrameRate fps25{25, 1};
        QTest::newRow("on a frame's start")
            << fps25 << qlonglong(0) << qlonglong(1'000'000) << qlonglong(1'000'000);
        QTest::newRow("inside a frame: that frame is not kept")
            << fps25 << qlonglong(0) << qlonglong(1'030'000) << qlonglong(1'000'000);
        QTest::newRow("a rounding error before a frame's start keeps it")
            << fps25 << qlonglong(0) << qlonglong(1'039'950) << qlonglong(1'040'000);
        QTest::newRow("counted from the picture on screen at the start")
            << fps25 << qlonglong(10'020'000) << qlonglong(11'000'000) << qlonglong(10'980'000);
        QTest::newRow("a range inside one frame holds that frame")
            << fps25 << qlonglong(5'000'000) << qlonglong(5'010'000) << qlonglong(5'040'000);
        QTest::newRow("NTSC, far in") << FrameRate{30000, 1001} << qlonglong(0)
                                      << qlonglong(3600 * kSecond) << qlonglong(3'599'996'400);
        QTest::newRow("to the end")
            << fps25 << qlonglong(0) << qlonglong(kNoEnd) << qlonglong(kNoEnd);
    }
    void endsAtTheFrameOnScreen() {
        QFETCH(FrameRate, rate);
        QFETCH(qlonglong, shownStart);
        QFETCH(qlonglong, askedEnd);
        QFETCH(qlonglong, end);
        QCOMPARE(qlonglong(frameRuleEnd(shownStart, askedEnd, rate)), end);
    }

    void choosesWaysAndReading_data() {
        QTest::addColumn<SourceFacts>("facts");
        QTest::addColumn<CutRequest>("request");
        QTest::addColumn<QString>("plan");
        const SourceFacts mp4 = h264Mp4();
        QTest::newRow("keyframe copy") << mp4 << request(Wish::Copy, Wish::Copy)
                                       << "video copy, audio copy, anchor video, shown frame";
        QTest::newRow("exact copy") << mp4 << request(Wish::Copy, Wish::Copy, true)
                                    << "video copy, audio copy, anchor video, exact, shown frame";
        QTest::newRow("exact copy of AVI with B-frames: 16 + 2 + 1 frames of lead-in")
            << with(mp4, VideoFamily::H264, true) << request(Wish::Copy, Wish::Copy, true)
            << "video copy, audio copy, anchor video, exact, shown frame, lead-in 633333";
        QTest::newRow("keyframe copy of AVI needs no lead-in")
            << with(mp4, VideoFamily::H264, true) << request(Wish::Copy, Wish::Copy)
            << "video copy, audio copy, anchor video, shown frame";
        QTest::newRow("copy of MPEG-2 reads in sequence from 3 s before")
            << with(mp4, VideoFamily::Mpeg12) << request(Wish::Copy, Wish::Copy)
            << "video copy, audio copy, anchor video, shown frame, lead-in 3000000";
        QTest::newRow("exact copy of MPEG-2 reads the start again for a keyframe cut")
            << with(mp4, VideoFamily::Mpeg12) << request(Wish::Copy, Wish::Copy, true)
            << "video copy, audio copy, anchor video, exact, shown frame, lead-in 3000000, "
               "reread";
        QTest::newRow("encoded MPEG-2 decodes from 3 s before, copied sound from the start")
            << with(mp4, VideoFamily::Mpeg12) << request(Wish::Encode, Wish::Copy)
            << "video encode, audio copy, anchor video, not copy only, read from 7000000, "
               "sound from start";
        QTest::newRow("encoded MPEG-2 near the beginning reads from the first timestamp")
            <<
            [] {
                SourceFacts f = with(h264Mp4(), VideoFamily::Mpeg12);
                f.startOffset = 500'000;
                return f;
            }()
            << request(Wish::Encode, Wish::Encode, false, 1 * kSecond)
            << "video encode, audio encode, anchor video, not copy only, read from 500000, "
               "sound from start, shared origin";
        QTest::newRow("-cut exact does nothing for encoded video")
            << mp4 << request(Wish::Encode, Wish::Copy, true)
            << "video encode, audio copy, anchor video, not copy only";
        QTest::newRow("the container's own codecs are encoded together")
            << mp4 << request(Wish::Default, Wish::Default)
            << "video encode, audio encode, anchor video, not copy only, shared origin";
        QTest::newRow("-vn copy: sound anchors")
            << mp4 << request(Wish::Off, Wish::Copy) << "video leave, audio copy, anchor audio";
        QTest::newRow("a sound container takes no video")
            <<
            [] {
                SourceFacts f = h264Mp4();
                f.outputHoldsVideo = false;
                return f;
            }()
            << request(Wish::Default, Wish::Default)
            << "video leave, audio encode, anchor audio, not copy only";
        QTest::newRow("copy of a source with sound alone") << [] {
            SourceFacts f = h264Mp4();
            f.hasVideo = false;
            f.video = VideoFamily::None;
            return f;
        }() << request(Wish::Copy, Wish::Copy) << "video leave, audio copy, anchor audio";
    }
    void choosesWaysAndReading() {
        QFETCH(SourceFacts, facts);
        QFETCH(CutRequest, request);
        QFETCH(QString, plan);
        const CutPlan made = planCut(facts, request);
        QCOMPARE(describe(made), plan);
        QCOMPARE(made.start, facts.startOffset + request.start);
        QCOMPARE(made.end, made.start + *request.length);
    }

    void refusesWhatTheSourceLacks_data() {
        QTest::addColumn<bool>("hasVideo");
        QTest::addColumn<bool>("hasAudio");
        QTest::addColumn<int>("video"); // Wish
        QTest::addColumn<QString>("error");
        QTest::newRow("video asked of a sound file")
            << false << true << int(Wish::Encode) << "the source has no video stream";
        QTest::newRow("sound asked of a silent film")
            << true << false << int(Wish::Off) << "the source has no audio stream";
    }
    void refusesWhatTheSourceLacks() {
        QFETCH(bool, hasVideo);
        QFETCH(bool, hasAudio);
        QFETCH(int, video);
        QFETCH(QString, error);
        SourceFacts facts = h264Mp4();
        facts.hasVideo = hasVideo;
        facts.hasAudio = hasAudio;
        try {
            planCut(facts, request(static_cast<Wish>(video), Wish::Encode));
            QFAIL("no error");
        } catch (const ConvertError& e) {
            QVERIFY2(QString(e.what()).startsWith(error), e.what());
        }
    }

    void settlesTheStart_data() {
        QTest::addColumn<bool>("copy");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<StartFound>("found");
        QTest::addColumn<QString>("settled"); // start end copyFrom [gone]
        // Asked: 10 s to 11 s of 25 fps video.
        QTest::newRow("keyframe copy: the clip counts from the picture on screen")
            << true << false << StartFound{9'000'000, 9'980'000, false, true, false}
            << "9980000 11000000 9000000";
        QTest::newRow("exact copy: the end by the frame rule from that picture")
            << true << true << StartFound{9'000'000, 9'980'000, false, true, false}
            << "9980000 10980000 9000000";
        QTest::newRow("video ended long before: sound alone from the start")
            << true << true << StartFound{5'000'000, 8'000'000, false, false, false}
            << "10000000 11000000 10000000 gone";
        QTest::newRow("video ended before but goes on after a gap")
            << true << false << StartFound{5'000'000, 8'000'000, false, true, false}
            << "10000000 11000000 10000000";
        QTest::newRow("a mended timeline is never taken for ended video")
            << true << false << StartFound{5'000'000, 8'000'000, false, false, true}
            << "10000000 11000000 10000000";
        QTest::newRow("two frames late is still the picture on screen")
            << true << false << StartFound{9'000'000, 9'920'000, false, false, false}
            << "9920000 11000000 9000000";
        QTest::newRow("encoded: the section as asked")
            << false << false << StartFound{9'000'000, 9'980'000, false, true, false}
            << "10000000 11000000 9000000";
    }
    void settlesTheStart() {
        QFETCH(bool, copy);
        QFETCH(bool, exact);
        QFETCH(StartFound, found);
        QFETCH(QString, settled);
        SourceFacts facts = h264Mp4();
        facts.rate = {25, 1};
        const CutPlan plan = planCut(facts, [&] {
            CutRequest r = request(copy ? Wish::Copy : Wish::Encode, Wish::Copy, exact);
            r.length = 1 * kSecond;
            return r;
        }());
        const SettledStart s = settleStart(plan, facts, found);
        QCOMPARE(QString("%1 %2 %3%4")
                     .arg(s.start)
                     .arg(s.end)
                     .arg(s.copyFrom)
                     .arg(s.videoGone ? " gone" : ""),
                 settled);
    }

    // An exact cut that needs no frame encoded again opens no decoder and no encoder.
    void copiesPlainlyWhereNothingIsEncoded_data() {
        QTest::addColumn<int>("family");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<qlonglong>("keyframe");    // where reading found the first keyframe
        QTest::addColumn<bool>("startOpensGroup");  // and whether a copy can begin with it
        QTest::addColumn<qlonglong>("length");      // asked
        QTest::addColumn<qlonglong>("endKeyframe"); // at or before the end; -1 none
        QTest::addColumn<bool>("endOpensGroup");
        QTest::addColumn<bool>("plain");
        const int h264 = int(VideoFamily::H264);
        // Asked from 10 s, 30 fps, groups of 2 s.
        QTest::newRow("both ends on IDR pictures")
            << h264 << true << qlonglong(10 * kSecond) << true << qlonglong(4 * kSecond)
            << qlonglong(14 * kSecond) << true << true;
        QTest::newRow("to the source's end") << h264 << true << qlonglong(10 * kSecond) << true
                                             << qlonglong(kNoEnd) << qlonglong(-1) << false << true;
        QTest::newRow("past the source's end")
            << h264 << true << qlonglong(10 * kSecond) << true << qlonglong(200 * kSecond)
            << qlonglong(118 * kSecond) << true << true;
        QTest::newRow("the end inside a group needs a tail")
            << h264 << true << qlonglong(10 * kSecond) << true << qlonglong(3 * kSecond)
            << qlonglong(12 * kSecond) << true << false;
        QTest::newRow("the end on a keyframe that is no IDR picture")
            << h264 << true << qlonglong(10 * kSecond) << true << qlonglong(4 * kSecond)
            << qlonglong(14 * kSecond) << false << false;
        QTest::newRow("the start inside a group needs a head")
            << h264 << true << qlonglong(8 * kSecond) << true << qlonglong(4 * kSecond)
            << qlonglong(14 * kSecond) << true << false;
        QTest::newRow("the start on a keyframe that is no IDR picture")
            << h264 << true << qlonglong(10 * kSecond) << false << qlonglong(4 * kSecond)
            << qlonglong(14 * kSecond) << true << false;
        QTest::newRow("MPEG-2 keeps the exact cut's headers")
            << int(VideoFamily::Mpeg12) << true << qlonglong(10 * kSecond) << true
            << qlonglong(4 * kSecond) << qlonglong(14 * kSecond) << true << false;
        QTest::newRow("a keyframe cut is no exact cut")
            << h264 << false << qlonglong(10 * kSecond) << true << qlonglong(4 * kSecond)
            << qlonglong(14 * kSecond) << true << false;
    }
    void copiesPlainlyWhereNothingIsEncoded() {
        QFETCH(int, family);
        QFETCH(bool, exact);
        QFETCH(qlonglong, keyframe);
        QFETCH(bool, startOpensGroup);
        QFETCH(qlonglong, length);
        QFETCH(qlonglong, endKeyframe);
        QFETCH(bool, endOpensGroup);
        QFETCH(bool, plain);
        const SourceFacts facts = with(h264Mp4(), static_cast<VideoFamily>(family));
        CutRequest r = request(Wish::Copy, Wish::Copy, exact);
        r.length = length == kNoEnd ? std::nullopt : std::optional<Ticks>(length);
        const CutPlan plan = planCut(facts, r);
        const StartFound found{keyframe, 10 * kSecond, startOpensGroup, true, false};
        const SettledStart settled = settleStart(plan, facts, found);
        EndFound end;
        if (endKeyframe >= 0)
            end = {endKeyframe, endOpensGroup};
        QCOMPARE(exactCutIsPlainCopy(plan, facts, found, settled, end), plain);
    }
};

QTEST_APPLESS_MAIN(TestCutPlan)
#include "test_cut_plan.moc"
