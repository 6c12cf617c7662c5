// The keyframe index: the keyframes of a fixture whose keyframes are known, the lookups of the
// keyframe keys, and a scan abandoned when another source is opened (SEGMORA_NEEDS_MEDIA).
#include "media/keyframe_index.h"
#include "test_support.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace segmora;
using segmora::test::fixture;

namespace {

// Keyframes every 12 frames at 25 fps over frames frames.
QVector<double> everyTwelfth(int frames) {
    QVector<double> times;
    for (int frame = 0; frame < frames; frame += 12)
        times.append(frame / 25.0);
    return times;
}

void compareTimes(const QVector<double>& actual, const QVector<double>& expected) {
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i)
        QVERIFY2(qAbs(actual.at(i) - expected.at(i)) < 0.002,
                 qPrintable(QStringLiteral("keyframe %1: %2 instead of %3")
                                .arg(i)
                                .arg(actual.at(i))
                                .arg(expected.at(i))));
}

} // namespace

class TestKeyframeIndex : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(QFile::exists(fixture("frames.mp4")), "run make_fixtures.sh first");
    }

    void knownKeyframes_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QVector<double>>("keyframes");
        QTest::newRow("mp4") << "frames.mp4" << everyTwelfth(100);
        QTest::newRow("mov") << "frames.mov" << everyTwelfth(100);
        // The program stream starts at 0.5 s: times count from there, as the player counts.
        QTest::newRow("mpeg program stream") << "frames.mpeg" << everyTwelfth(100);
        QTest::newRow("no video") << "soundonly.mp4" << QVector<double>{};
        QTest::newRow("not a video") << "notvideo.mp4" << QVector<double>{};
    }
    void knownKeyframes() {
        QFETCH(QString, file);
        QFETCH(QVector<double>, keyframes);
        compareTimes(ScanKeyframes(fixture(file)), keyframes);
    }

    void lookups_data() {
        QTest::addColumn<double>("here");
        QTest::addColumn<double>("previous");
        QTest::addColumn<double>("next");
        QTest::addColumn<bool>("onKeyframe");
        QTest::newRow("between") << 1.1 << 0.96 << 1.44 << false;
        QTest::newRow("on one: its neighbours") << 0.96 << 0.48 << 1.44 << true;
        QTest::newRow("a hair before one") << 0.9599999 << 0.48 << 1.44 << true;
        QTest::newRow("at the start") << 0.0 << -1.0 << 0.48 << true;
        QTest::newRow("after the last") << 3.9 << 3.84 << -1.0 << false;
    }
    void lookups() {
        QFETCH(double, here);
        const QVector<double> keyframes = everyTwelfth(100);
        QTEST(PreviousKeyframe(keyframes, here), "previous");
        QTEST(NextKeyframe(keyframes, here), "next");
        QTEST(IsKeyframeTime(keyframes, here), "onKeyframe");
    }

    void stoppedScanReadsNothing() {
        const std::atomic<bool> stop{true};
        QVERIFY(ScanKeyframes(fixture("long61_5.mp4"), &stop).isEmpty());
    }

    void openingAnotherSourceAbandonsTheScan() {
        KeyframeIndex index;
        QSignalSpy ready(&index, &KeyframeIndex::ready);
        index.Open(fixture("long61_5.mp4"));
        QVERIFY(index.Scanning());
        index.Open(fixture("frames.mp4"));
        QVERIFY(ready.wait(10000));
        compareTimes(index.Keyframes(), everyTwelfth(100));
        // The first source's result never arrives, not even late.
        QCoreApplication::processEvents();
        QCOMPARE(ready.count(), 1);
        compareTimes(index.Keyframes(), everyTwelfth(100));

        index.Abandon();
        QVERIFY(!index.Ready());
        QVERIFY(index.Keyframes().isEmpty());
    }

    void closingDuringAScanIsClean() {
        auto index = std::make_unique<KeyframeIndex>();
        index->Open(fixture("long61_5.mp4"));
        index.reset();
        QCoreApplication::processEvents(); // a result posted just before is dropped with it
    }
};

QTEST_MAIN(TestKeyframeIndex)
#include "test_keyframe_index.moc"
