// Progress reports in converter output, the bars' percentages and the remaining-time estimate.
#include "job/progress_parser.h"

#include <QtTest>

using namespace segmora;

class TestProgressParser : public QObject {
    Q_OBJECT

private slots:
    void chunk_data() {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<double>("current");
        QTest::addColumn<double>("expected");

        QTest::newRow("a report") << QByteArray("frame=12 time=10.00 bitrate=1k\n") << 0.0 << 10.0;
        QTest::newRow("a smaller value is ignored") << QByteArray("time=9.50 ") << 10.0 << 10.0;
        QTest::newRow("an equal value changes nothing") << QByteArray("time=10 ") << 10.0 << 10.0;
        QTest::newRow("no blank after the number")
            << QByteArray("frame=3 time=10.00") << 0.0 << 0.0;
        QTest::newRow("line end is no blank") << QByteArray("time=10.00\n") << 0.0 << 0.0;
        QTest::newRow("only the first of two reports")
            << QByteArray("time=3.00 x\ntime=7.00 y\n") << 0.0 << 3.0;
        QTest::newRow("first report not a number, second ignored")
            << QByteArray("time=abc time=7.00 ") << 0.0 << 0.0;
        QTest::newRow("any separator character") << QByteArray("time:4.25 ") << 1.0 << 4.25;
        QTest::newRow("letter case matters") << QByteArray("TIME=4.00 ") << 0.0 << 0.0;
        QTest::newRow("without report the fifth character on is read")
            << QByteArray("abcd6.5 rest") << 0.0 << 6.5;
        QTest::newRow("comma is no decimal separator") << QByteArray("time=4,5 ") << 0.0 << 0.0;
        QTest::newRow("one billion is refused") << QByteArray("time=1000000000 ") << 0.0 << 0.0;
        QTest::newRow("just below one billion")
            << QByteArray("time=999999999 ") << 0.0 << 999999999.0;
        QTest::newRow("text after a zero byte is not seen")
            << QByteArray("abc\0time=5.00 ", 14) << 0.0 << 0.0;
        QTest::newRow("report at the very end") << QByteArray("xx time=") << 2.0 << 2.0;
        QTest::newRow("empty chunk") << QByteArray() << 2.0 << 2.0;
        QTest::newRow("nan is no number") << QByteArray("time=nan ") << 0.0 << 0.0;
    }

    void chunk() {
        QFETCH(QByteArray, chunk);
        QFETCH(double, current);
        QFETCH(double, expected);
        QCOMPARE(NextProgressTime(chunk, current), expected);
    }

    void percentages_data() {
        QTest::addColumn<double>("time");
        QTest::addColumn<double>("length");
        QTest::addColumn<int>("previous");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("total");

        QTest::newRow("half of section 2 of 4") << 5.0 << 10.0 << 0 << 2 << 4 << 50 << 38;
        QTest::newRow("half rounds to even below") << 1.25 << 10.0 << 0 << 1 << 1 << 12 << 12;
        QTest::newRow("half rounds to even above") << 27.0 << 200.0 << 0 << 1 << 1 << 14 << 14;
        QTest::newRow("beyond the section holds at 100")
            << 25.0 << 10.0 << 0 << 3 << 3 << 100 << 100;
        QTest::newRow("no length keeps the bar") << 5.0 << 0.0 << 42 << 1 << 2 << 42 << 21;
        QTest::newRow("start of the last section") << 0.0 << 10.0 << 0 << 4 << 4 << 0 << 75;
    }

    void percentages() {
        QFETCH(double, time);
        QFETCH(double, length);
        QFETCH(int, previous);
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(int, current);
        QFETCH(int, total);
        const int section = SectionPercent(time, length, previous);
        QCOMPARE(section, current);
        QCOMPARE(TotalPercent(section, index, count), total);
    }

    // The estimate and the two labels of the one-second timer.
    void remaining_data() {
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<int>("percent");
        QTest::addColumn<qint64>("expected");
        QTest::addColumn<QString>("elapsedText");
        QTest::addColumn<QString>("remainingText");
        QTest::newRow("first tick at 0%") << 1LL << 0 << 0LL << "00:00:01"
                                          << "00:00:00";
        QTest::newRow("nothing done after a while") << 75LL << 0 << 0LL << "00:01:15"
                                                    << "00:00:00";
        QTest::newRow("30 s at 20%") << 30LL << 20 << 120LL << "00:00:30"
                                     << "00:02:00";
        QTest::newRow("all done") << 95LL << 100 << 0LL << "00:01:35"
                                  << "00:00:00";
        QTest::newRow("half rounds down to even") << 3LL << 40 << 4LL << "00:00:03"
                                                  << "00:00:04";
        QTest::newRow("half rounds up to even") << 1LL << 40 << 2LL << "00:00:01"
                                                << "00:00:02";
        QTest::newRow("one third done") << 10LL << 33 << 20LL << "00:00:10"
                                        << "00:00:20";
        QTest::newRow("hours") << 3600LL << 25 << 10800LL << "01:00:00"
                               << "03:00:00";
    }

    void remaining() {
        QFETCH(qint64, elapsed);
        QFETCH(int, percent);
        QFETCH(qint64, expected);
        QFETCH(QString, elapsedText);
        QFETCH(QString, remainingText);
        QCOMPARE(RemainingSeconds(elapsed, percent), expected);
        const JobTimeTexts texts = ProcessTimerTexts(elapsed, percent);
        QCOMPARE(texts.elapsed, elapsedText);
        QCOMPARE(texts.remaining, remainingText);
    }

    // The bars over a job of two sections fed chunk by chunk.
    void jobProgress() {
        JobProgress progress(2);
        progress.beginSection(1, 10);
        progress.addChunk("time=10.00 ");
        QCOMPARE(progress.currentPercent(), 100);
        QCOMPARE(progress.totalPercent(), 50);
        progress.addChunk("time=9.50 ");
        QCOMPARE(progress.progressTime(), 10.0);

        progress.endSection();
        QCOMPARE(progress.currentPercent(), 0);
        QCOMPARE(progress.totalPercent(), 50); // kept until the next chunk

        progress.beginSection(2, 10);
        QCOMPARE(progress.progressTime(), 0.0);
        progress.addChunk("no report here");
        QCOMPARE(progress.currentPercent(), 0);
        QCOMPARE(progress.totalPercent(), 50);
        progress.addChunk("time=2.50 ");
        QCOMPARE(progress.currentPercent(), 25);
        QCOMPARE(progress.totalPercent(), 62); // 62.5 to even
    }
};

QTEST_GUILESS_MAIN(TestProgressParser)
#include "test_progress_parser.moc"
