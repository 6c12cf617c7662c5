// The progress report the split job parses, the words the converter may use, and the watchdog.
#include "messages.h"
#include "progress_reporter.h"
#include "watchdog.h"

#include <QtTest>

#include <atomic>
#include <mutex>

using namespace std::chrono_literals;

class TestReporting : public QObject {
    Q_OBJECT
private slots:
    void reportFormat_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("report");
        QTest::newRow("start") << 0.0 << "time=0.00 \n";
        QTest::newRow("two decimals") << 12.4 << "time=12.40 \n";
        QTest::newRow("rounded") << 10.0 / 3.0 << "time=3.33 \n";
        QTest::newRow("rounds up into the next second") << 59.999 << "time=60.00 \n";
        QTest::newRow("never negative") << -0.5 << "time=0.00 \n";
        QTest::newRow("below the job's limit") << 5e12 << "time=999999999.00 \n";
    }
    void reportFormat() {
        QFETCH(double, seconds);
        QFETCH(QString, report);
        QCOMPARE(QString::fromStdString(vorkast::formatReport(seconds)), report);
    }

    void messagesNeverSayTheWord_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
        QTest::newRow("libav wording") << "non monotonic timestamps"
                                       << "non monotonic Timestamps\n";
        QTest::newRow("inside a word") << "runtime and time=3 "
                                       << "runTime and Time=3\n";
        QTest::newRow("one line") << "first\nsecond\r"
                                  << "first second\n";
    }
    void messagesNeverSayTheWord() {
        QFETCH(QString, text);
        QFETCH(QString, line);
        QCOMPARE(QString::fromStdString(vorkast::readableLine(text.toStdString())), line);
    }

    void reporterWritesSteadilyAndEndsWithTheTotal() {
        std::mutex mutex;
        QStringList reports;
        {
            vorkast::ProgressReporter reporter(
                [&](const std::string& r) {
                    std::lock_guard lock(mutex);
                    reports << QString::fromStdString(r);
                },
                50);
            reporter.start();
            reporter.set(1.5);
            reporter.set(0.5); // a slower stream must not pull the report back
            const auto reported = [&] {
                std::lock_guard lock(mutex);
                return reports.size();
            };
            // The one of start() and two more from the thread.
            QTRY_VERIFY_WITH_TIMEOUT(reported() >= 3, 5000);
            QCOMPARE(reporter.value(), 1.5);
            reporter.finish(2.0);
        }
        // One at the start, several from the thread, one at the end.
        QVERIFY2(reports.size() >= 4, qPrintable(reports.join('|')));
        QCOMPARE(reports.last(), QStringLiteral("time=2.00 \n"));
        QVERIFY(!reports.contains(QStringLiteral("time=0.50 \n")));
    }

    void watchdogEndsWorkThatStalls() {
        std::atomic<bool> stuck{false};
        vorkast::Watchdog watchdog(100ms, 100ms, [&] { stuck = true; });
        const AVIOInterruptCB interrupt = watchdog.interrupt();
        watchdog.start();
        QCOMPARE(interrupt.callback(interrupt.opaque), 0);
        QTRY_VERIFY_WITH_TIMEOUT(watchdog.expired(), 2000);
        QCOMPARE(interrupt.callback(interrupt.opaque), 1);
        QTRY_VERIFY_WITH_TIMEOUT(stuck.load(), 2000);
    }

    void watchdogLeavesMovingWorkAlone() {
        std::atomic<bool> stuck{false};
        vorkast::Watchdog watchdog(500ms, 100ms, [&] { stuck = true; });
        watchdog.start();
        for (int i = 0; i < 40; ++i) { // twice the limit, with a beat every 20 ms
            watchdog.alive();
            std::this_thread::sleep_for(20ms);
        }
        QVERIFY(!watchdog.expired());
        QVERIFY(!stuck.load());
    }
};

QTEST_APPLESS_MAIN(TestReporting)
#include "test_reporting.moc"
