// The job controller on its own, without a window: its clock and estimate, holding still while
// a question is open, a cancel that comes after the last clip, clips that come out short,
// several converters at once, and failures that end the job or let the rest run.
#include "job/job_controller.h"

#include "converter_contract.h"
#include "exit_status.h"
#include "job/converter_process.h"

#include "fake_converter.h"
#include "run_job.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <sys/wait.h>

using namespace segmora;
using segmora::test::readAll;
using segmora::test::runJob;
using segmora::test::writeAll;
using segmora::test::writeFakeConverter;

using Indexes = QList<int>;

namespace {

// The fake converter: $5 is the start, the last argument the output. It writes its clip
// through the part file like the real one; behaviour runs before the report.
QByteArray body(const QByteArray& behaviour) {
    return "for out; do :; done\n"
           "part=\"$(dirname \"$out\")/.$(basename \"$out\").$$.part\"\n"
           "ss=\"$5\"\n"
           "dir=\"$(dirname \"$0\")\"\n" +
           behaviour +
           "\n"
           "echo \"clip $ss\" > \"$part\"\n"
           "echo 'frame=1 time=10.00 '\n"
           "mv \"$part\" \"$out\"\n";
}

// Waits in the script until the test creates the file "go" beside it (at most about 20 s).
const QByteArray kWaitForGo = "i=0\n"
                              "while [ ! -e \"$dir/go\" ] && [ $i -lt 1000 ]; do\n"
                              "  sleep 0.02; i=$((i+1))\ndone";

// Converter behaviours for stopping: one that ends on SIGTERM, and one that ignores it (it must
// be killed when the grace period is over). Each writes its part file and reports first.
const QByteArray kEndsOnTerm = "echo partial > \"$part\"\necho 'frame=1 time=1.00 '\n"
                               "exec sleep 30";
const QByteArray kIgnoresTerm = "trap '' TERM\necho partial > \"$part\"\n"
                                "echo 'frame=1 time=1.00 '\nwhile :; do sleep 1; done";

} // namespace

class TestJobController : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_source;
    QString m_out;

    SplitJobPlan plan(int count, const QByteArray& behaviour = QByteArray(),
                      const QString& source = QString()) const {
        SplitJobPlan plan;
        plan.converterPath = writeFakeConverter(*m_dir, QStringLiteral("vorkast"), body(behaviour));
        plan.sourcePath = source.isEmpty() ? m_source : source;
        plan.mode = JobMode::Equal;
        plan.sectionCount = count;
        plan.sections = PlanSections(0, 10.0 * count, count, 0);
        plan.outputFolder = m_out;
        plan.outputExtension = QStringLiteral(".mp4");
        return plan;
    }

    QString clip(int index, const QString& base = QStringLiteral("talk")) const {
        return m_out + QStringLiteral("/%1_Clip%2.mp4").arg(base).arg(index);
    }

    void go() const { QVERIFY(writeAll(m_dir->filePath(QStringLiteral("go")), "")); }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_source = m_dir->filePath(QStringLiteral("talk.mp4"));
        QVERIFY(writeAll(m_source, "source"));
        m_out = m_dir->filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(m_out));
    }
    void cleanup() { m_dir.reset(); }

    // The tick counts seconds only while the job runs; the estimate is the rest at the average
    // speed so far, and once the total reaches 100 % it reads zero at once rather than keeping
    // the second it showed before.
    void clockAndEstimate() {
        JobController job(plan(2, "echo 'time=5.00 '\n" + kWaitForGo));
        QSignalSpy times(&job, &JobController::timesChanged);
        job.tick();
        QCOMPARE(job.elapsedSeconds(), 0);
        QVERIFY(times.isEmpty());

        QSignalSpy progress(&job, &JobController::progressChanged);
        job.start();
        QVERIFY(progress.wait(10000));
        QCOMPARE(job.totalPercent(), 25);
        for (int i = 0; i < 30; ++i)
            job.tick();
        QCOMPARE(job.elapsedSeconds(), 30);
        QCOMPARE(times.last().value(0).toString(), QStringLiteral("00:00:30"));
        QCOMPARE(times.last().value(1).toString(), QStringLiteral("00:01:30"));

        QSignalSpy ended(&job, &JobController::finished);
        go();
        QVERIFY(ended.wait(20000));
        job.tick(); // ended: nothing counts any more
        QCOMPARE(job.elapsedSeconds(), 30);
    }

    // While held no section starts and the job does not end; releasing goes on.
    void holdKeepsTheJobStill() {
        JobController job(plan(2));
        QSignalSpy started(&job, &JobController::sectionStarted);
        QSignalSpy ended(&job, &JobController::sectionEnded);
        // After section 1, section 2 waits.
        connect(&job, &JobController::sectionEnded, &job, [&](int index) {
            if (index == 1)
                job.hold();
        });
        job.hold();
        job.start();
        QTest::qWait(0);
        QVERIFY(started.isEmpty());
        job.release();
        QVERIFY(ended.wait(10000));
        QTest::qWait(50);
        QCOMPARE(started.size(), 1);
        QVERIFY(job.isRunning());
        job.release();
        QSignalSpy finished(&job, &JobController::finished);
        QVERIFY(finished.wait(10000));
        QCOMPARE(started.size(), 2);
        QCOMPARE(job.result().end, SplitJobEnd::Completed);
    }

    // Cancel answered Yes just after the last converter ended: every clip is complete, so the
    // job completes (the window then shows its success message) rather than ending quietly.
    // Earlier, a cancel is a cancel.
    void cancelAfterTheLastClip_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("cancelAfterSection");
        QTest::addColumn<int>("end"); // SplitJobEnd
        QTest::newRow("after the last section") << 2 << 2 << int(SplitJobEnd::Completed);
        QTest::newRow("after the first of two") << 2 << 1 << int(SplitJobEnd::Cancelled);
    }
    void cancelAfterTheLastClip() {
        QFETCH(int, count);
        QFETCH(int, cancelAfterSection);
        QFETCH(int, end);
        JobController job(plan(count));
        // The question opens while the section runs; its converter ends meanwhile.
        connect(&job, &JobController::sectionStarted, &job, [&](int index) {
            if (index == cancelAfterSection)
                job.hold();
        });
        QSignalSpy ended(&job, &JobController::sectionEnded);
        job.start();
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), cancelAfterSection, 10000);
        QTest::qWait(20);
        QVERIFY(job.isRunning());
        job.release();
        job.cancel();
        QVERIFY(job.hasEnded());
        QCOMPARE(int(job.result().end), end);
        for (int i = 1; i <= count; ++i)
            QCOMPARE(QFile::exists(clip(i)), i <= cancelAfterSection);
    }

    // A cancel returns at once and gives each running converter SIGTERM and the grace period
    // on a timer before SIGKILL: the event loop runs meanwhile, a converter that ends on
    // SIGTERM ends at once, one that ignores it is killed when the grace is over. Either way
    // the job ends cancelled with every converter reaped and no part file left.
    void cancelGivesEachConverterItsGrace_data() {
        QTest::addColumn<QByteArray>("behaviour");
        QTest::addColumn<bool>("needsKill");
        QTest::newRow("ends on SIGTERM") << kEndsOnTerm << false;
        QTest::newRow("ignores SIGTERM") << kIgnoresTerm << true;
    }
    void cancelGivesEachConverterItsGrace() {
        QFETCH(QByteArray, behaviour);
        QFETCH(bool, needsKill);
        ConverterSlots pool(2);
        JobController job(plan(3, behaviour));
        job.setConverterSlots(&pool);
        QList<qint64> pids;
        connect(&job, &JobController::converterStarted, &job,
                [&](int, qint64 pid) { pids.append(pid); });
        QSignalSpy progress(&job, &JobController::progressChanged);
        QSignalSpy ended(&job, &JobController::sectionEnded);
        QSignalSpy finished(&job, &JobController::finished);
        job.start();
        // Both converters have their trap set and their part file written.
        QTRY_COMPARE_WITH_TIMEOUT(progress.size(), 2, 10000);

        QElapsedTimer clock;
        clock.start();
        job.cancel();
        QVERIFY(clock.elapsed() < 500);
        QCOMPARE(job.state(), JobController::State::CancelRequested);
        job.cancel(); // already stopping: nothing starts over
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, &job, [&] { ++ticks; });
        ticker.start(20);
        QVERIFY(finished.wait(ConverterProcess::kTerminateGraceMs + 5000));
        const qint64 took = clock.elapsed();

        QCOMPARE(finished.size(), 1);
        QCOMPARE(job.result().end, SplitJobEnd::Cancelled);
        QCOMPARE(job.result().section, 1);
        QCOMPARE(ended.size(), 2);
        QCOMPARE(pids.size(), 2); // the third section never started
        if (needsKill) {
            QVERIFY(took >= ConverterProcess::kTerminateGraceMs - 100);
            // Some 2 s of 20 ms ticks; a blocked loop would have seen none.
            QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        } else {
            QVERIFY(took < ConverterProcess::kTerminateGraceMs);
        }
        for (const qint64 pid : std::as_const(pids)) {
            QCOMPARE(::waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG), -1);
            QTRY_VERIFY(segmora::test::processGroupGone(static_cast<pid_t>(pid)));
        }
        QCOMPARE(QDir(m_out).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // Destroyed while its converters run (the window or program going), the job ends them at
    // once, SIGTERM ignored or not: nothing is left running or waiting, no part file stays.
    void destroyedJobEndsItsConvertersAtOnce() {
        auto job = std::make_unique<JobController>(plan(2, kIgnoresTerm));
        qint64 pid = 0;
        connect(job.get(), &JobController::converterStarted, job.get(),
                [&](int, qint64 started) { pid = started; });
        QSignalSpy progress(job.get(), &JobController::progressChanged);
        job->start();
        QVERIFY(progress.wait(10000));
        job->cancel(); // within the grace period
        QVERIFY(pid > 0);

        job.reset();
        QCOMPARE(::waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG), -1);
        QTRY_VERIFY(segmora::test::processGroupGone(static_cast<pid_t>(pid)));
        QCOMPARE(QDir(m_out).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // A converter that ends with the short-clip status made its clip: the clip stays, the job
    // completes, and the result says how long each short clip is against what was asked.
    void shortClipsCountAsMade() {
        const int shortStatus = vorkast::exit_status::shortClip;
        JobController job(plan(3, "if [ \"$ss\" = 10 ]; then echo 'clip' > \"$out\"; "
                                  "echo 'time=4.00 '; echo 'time=7.25 '; exit " +
                                      QByteArray::number(shortStatus) + "; fi"));
        QSignalSpy made(&job, &JobController::sectionMade);
        const SplitJobResult result = runJob(job);
        QCOMPARE(result.end, SplitJobEnd::Completed);
        QCOMPARE(made.size(), 3);
        QCOMPARE(result.shortClips.size(), 1);
        QCOMPARE(result.shortClips[0].index, 2);
        QCOMPARE(result.shortClips[0].asked, 10.0);
        QCOMPARE(result.shortClips[0].made, 7.25);
        for (int i = 1; i <= 3; ++i)
            QVERIFY(QFile::exists(clip(i)));
        QCOMPARE(ShortClipsText(result.shortClips),
                 QStringLiteral("These clips are shorter than asked (the source ended first); "
                                "they are kept:\nSection 2 (talk_Clip2.mp4): 7.25 s of 10.00 s"));
    }

    // A converter that ends with the failed-check status made its clip only where it kept it;
    // either way the job completes, and every check's figures and the failed ones are listed.
    void failedChecksAreListed_data() {
        QTest::addColumn<bool>("kept");
        QTest::newRow("removed") << false;
        QTest::newRow("kept") << true;
    }
    void failedChecksAreListed() {
        QFETCH(bool, kept);
        const int status = vorkast::exit_status::checkFailed;
        const QByteArray figures = kept ? " kept=1" : "";
        JobController job(plan(
            3, "if [ \"$ss\" = 10 ]; then " + QByteArray(kept ? "echo 'clip' > \"$out\"; " : "") +
                   "echo 'vorkast: check failed: starts 1 frame late [first=1 decoded=4 took=0.1" +
                   figures + "]' >&2; exit " + QByteArray::number(status) +
                   "; fi; echo 'vorkast: check passed [first=0 decoded=2 took=0.1]' >&2"));
        QSignalSpy made(&job, &JobController::sectionMade);
        const SplitJobResult result = runJob(job);
        QCOMPARE(result.end, SplitJobEnd::Completed);
        QCOMPARE(made.size(), kept ? 3 : 2);
        QCOMPARE(result.checks.size(), 3);
        QCOMPARE(result.failedChecks.size(), 1);
        QCOMPARE(result.failedChecks[0].index, 2);
        QCOMPARE(result.failedChecks[0].figures.firstOffset.value_or(0), 1L);
        QCOMPARE(FailedChecksText(result.failedChecks),
                 QStringLiteral("These clips failed their check against the source:\n"
                                "Section 2 (talk_Clip2.mp4): starts 1 frame late (%1)")
                     .arg(kept ? "kept" : "not kept"));
    }

    // Up to the pool's number of converters run at once, shared by every job given the pool,
    // and the same clips come out as one at a time.
    void convertersAtOnce_data() {
        QTest::addColumn<int>("slotCount");
        QTest::addColumn<int>("jobs");
        QTest::newRow("one at a time") << 1 << 1;
        QTest::newRow("two at once") << 2 << 1;
        QTest::newRow("two at once across two sources") << 2 << 2;
        QTest::newRow("three for two sources of four") << 3 << 2;
    }
    void convertersAtOnce() {
        QFETCH(int, slotCount);
        QFETCH(int, jobs);
        ConverterSlots pool(slotCount);
        std::vector<std::unique_ptr<JobController>> controllers;
        int running = 0;
        int most = 0;
        int finished = 0;
        const QStringList bases{QStringLiteral("talk"), QStringLiteral("walk")};
        for (int j = 0; j < jobs; ++j) {
            const QString source = m_dir->filePath(bases[j] + QStringLiteral(".mp4"));
            QVERIFY(writeAll(source, "source"));
            auto job = std::make_unique<JobController>(plan(4, "sleep 0.2", source));
            job->setConverterSlots(&pool);
            connect(job.get(), &JobController::converterStarted, this,
                    [&] { most = std::max(most, ++running); });
            connect(job.get(), &JobController::sectionEnded, this, [&] { --running; });
            connect(job.get(), &JobController::finished, this, [&] { ++finished; });
            controllers.push_back(std::move(job));
        }
        for (const auto& job : controllers)
            job->start();
        QTRY_COMPARE_WITH_TIMEOUT(finished, jobs, 30000);
        QCOMPARE(most, std::min(slotCount, 4 * jobs));
        for (int j = 0; j < jobs; ++j) {
            QCOMPARE(controllers[j]->result().end, SplitJobEnd::Completed);
            QCOMPARE(controllers[j]->totalPercent(), 100);
            for (int i = 1; i <= 4; ++i)
                QCOMPARE(readAll(clip(i, bases[j])),
                         QByteArray("clip ") + QByteArray::number((i - 1) * 10) + "\n");
        }
    }

    // A failed section ends the job, ending the converters beside it; with continuing on, the
    // other sections are still made and every failure is named.
    void failures_data() {
        QTest::addColumn<bool>("continueOn");
        QTest::addColumn<int>("slotCount");
        QTest::addColumn<Indexes>("made");
        QTest::newRow("stops, one at a time") << false << 1 << Indexes{1};
        QTest::newRow("stops, beside a slow one") << false << 2 << Indexes{};
        QTest::newRow("continues") << true << 2 << Indexes{1, 3, 4};
    }
    void failures() {
        QFETCH(bool, continueOn);
        QFETCH(int, slotCount);
        QFETCH(Indexes, made);
        ConverterSlots pool(slotCount);
        // Section 1 is slow when two run at once, so section 2 fails beside it.
        JobController job(plan(4, "if [ \"$ss\" = 10 ]; then echo 'no codec' >&2; exit 1; fi\n"
                                  "if [ \"$ss\" = 0 ] && [ " +
                                      QByteArray::number(slotCount) + " = 2 ]; then sleep 1; fi"));
        job.setConverterSlots(&pool);
        job.setContinueAfterFailure(continueOn);
        const SplitJobResult result = runJob(job);
        QCOMPARE(result.end, SplitJobEnd::Failed);
        QCOMPARE(result.section, 2);
        QCOMPARE(result.message, QStringLiteral("Splitting failed.\nno codec"));
        QCOMPARE(result.failures.size(), 1);
        QCOMPARE(result.failures[0].index, 2);
        for (int i = 1; i <= 4; ++i)
            QCOMPARE(QFile::exists(clip(i)), made.contains(i));
        QCOMPARE(QDir(m_out).entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    // A section whose converter fell back to a keyframe cut says so in one line; the job keeps
    // each such made clip with how much earlier it starts, in section order, and lists them
    // after the clips. A failed section, an unreadable or look-alike line and a line for
    // another section name nothing. Where the profile asked for no exact cut, the list says the
    // clips were copied so rather than that they could not be cut exactly.
    void keyframeCutsAreCollected_data() {
        QTest::addColumn<QString>("arguments");    // the profile's
        QTest::addColumn<QByteArray>("behaviour"); // $ss is 0, 10, 20 or 30
        QTest::addColumn<int>("slotCount");
        QTest::addColumn<bool>("continueOn");
        QTest::addColumn<QStringList>("cuts"); // "index seconds"
        QTest::addColumn<QString>("text");

        const QByteArray warn = "echo 'vorkast: warning: keyframe cut starts ";
        const QByteArray tail = " s before START' >&2";
        const QString exact = QStringLiteral(" -c copy -cut exact");
        QTest::newRow("some sections, one at a time")
            << exact
            << QByteArray("case $ss in 10) " + warn + "1.240" + tail + ";; 30) " + warn + "0.040" +
                          tail + ";; esac")
            << 1 << false << QStringList{"2 1.24", "4 0.04"}
            << QStringLiteral("These clips could not be cut exactly; each starts at the key frame "
                              "before its start time:\nSection 2 (talk_Clip2.mp4): 1.24 s "
                              "earlier\nSection 4 (talk_Clip4.mp4): 0.04 s earlier");
        QTest::newRow("two at once, the later section first")
            << exact
            << QByteArray("case $ss in 0) sleep 0.5; " + warn + "0.500" + tail + ";; 20) " + warn +
                          "2.000" + tail + ";; esac")
            << 2 << false << QStringList{"1 0.5", "3 2"}
            << QStringLiteral("These clips could not be cut exactly; each starts at the key frame "
                              "before its start time:\nSection 1 (talk_Clip1.mp4): 0.50 s "
                              "earlier\nSection 3 (talk_Clip3.mp4): 2.00 s earlier");
        QTest::newRow("a failed section is no clip")
            << exact
            << QByteArray("if [ \"$ss\" = 10 ]; then " + warn + "1.000" + tail +
                          "; exit 1; fi\nif [ \"$ss\" = 20 ]; then " + warn + "3.000" + tail +
                          "; fi")
            << 1 << true << QStringList{"3 3"}
            << QStringLiteral("These clips could not be cut exactly; each starts at the key frame "
                              "before its start time:\nSection 3 (talk_Clip3.mp4): 3.00 s earlier");
        QTest::newRow("other lines name nothing")
            << exact
            << QByteArray("echo 'vorkast: warning: keyframe cut starts 1,240 s before START' >&2\n"
                          "echo 'keyframe cut starts 1.2 s before START: not ours' >&2\n"
                          "echo 'time=1.00 keyframe cut starts'")
            << 1 << false << QStringList{} << QString();
        QTest::newRow("the last line without its line break")
            << exact
            << QByteArray("if [ \"$ss\" = 30 ]; then echo 'time=10.00 '; echo 'clip' > \"$out\"; "
                          "printf 'vorkast: warning: keyframe cut starts 0.120 s before START'; "
                          "exit 0; fi")
            << 1 << false << QStringList{"4 0.12"}
            << QStringLiteral("These clips could not be cut exactly; each starts at the key frame "
                              "before its start time:\nSection 4 (talk_Clip4.mp4): 0.12 s earlier");
        QTest::newRow("a keyframe copy asked for")
            << QStringLiteral(" -c copy")
            << QByteArray("[ \"$ss\" = 10 ] && " + warn + "1.240" + tail) << 1 << false
            << QStringList{"2 1.24"}
            << QStringLiteral("These clips were copied from the key frame before their start "
                              "time:\nSection 2 (talk_Clip2.mp4): 1.24 s earlier");
    }

    void keyframeCutsAreCollected() {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, behaviour);
        QFETCH(int, slotCount);
        QFETCH(bool, continueOn);
        QFETCH(QStringList, cuts);
        QFETCH(QString, text);
        ConverterSlots pool(slotCount);
        SplitJobPlan asked = plan(4, behaviour);
        asked.profileArguments = arguments;
        JobController job(asked);
        job.setConverterSlots(&pool);
        job.setContinueAfterFailure(continueOn);
        const SplitJobResult result = runJob(job);
        QCOMPARE(result.end, continueOn ? SplitJobEnd::Failed : SplitJobEnd::Completed);
        QStringList seen;
        for (const KeyframeCut& cut : result.keyframeCuts) {
            seen.append(QStringLiteral("%1 %2").arg(cut.index).arg(cut.secondsEarly));
            QCOMPARE(cut.outputPath, clip(cut.index));
            QVERIFY(QFile::exists(cut.outputPath));
        }
        QCOMPARE(seen, cuts);
        QCOMPARE(KeyframeCutsText(result.keyframeCuts, result.keyframeCutsAsked), text);
    }

    // A clip whose container cannot hold some of the source's streams says so, a line per
    // stream; the job lists them after the clips in section order, with no line for a failed
    // section or for a line that only looks alike.
    void leftOutStreamsAreCollected_data() {
        QTest::addColumn<QByteArray>("behaviour"); // $ss is 0, 10, 20 or 30
        QTest::addColumn<QString>("text");
        const QByteArray say = "echo 'vorkast: warning: left out ";
        QTest::newRow("two streams of one section, one of another")
            << QByteArray("case $ss in 20) " + say + "subtitle stream 3 (subrip): avi holds no " +
                          "text subtitles' >&2; " + say + "subtitle stream 4 (ass): avi holds " +
                          "no text subtitles' >&2;; 0) " + say +
                          "subtitle stream 2 (dvd_subtitle): avi cannot hold these picture " +
                          "subtitles' >&2;; esac")
            << QStringLiteral("These clips leave out streams of the source that their format "
                              "cannot hold:\nSection 1 (talk_Clip1.mp4): subtitle stream 2 "
                              "(dvd_subtitle)\nSection 3 (talk_Clip3.mp4): subtitle stream 3 "
                              "(subrip)\nSection 3 (talk_Clip3.mp4): subtitle stream 4 (ass)");
        QTest::newRow("a failed section is no clip")
            << QByteArray("if [ \"$ss\" = 10 ]; then " + say +
                          "subtitle stream 3 (subrip): " + "no' >&2; exit 1; fi")
            << QString();
        QTest::newRow("other lines name nothing")
            << QByteArray("echo 'vorkast: left out the video stream 0 (h264): gone' "
                          ">&2\necho 'vorkast: warning: left out subtitle stream 3' >&2")
            << QString();
    }
    void leftOutStreamsAreCollected() {
        QFETCH(QByteArray, behaviour);
        QFETCH(QString, text);
        JobController job(plan(4, behaviour));
        job.setContinueAfterFailure(true);
        const SplitJobResult result = runJob(job);
        QCOMPARE(LeftOutStreamsText(result.leftOut), text);
        for (const LeftOutStream& left : result.leftOut)
            QCOMPARE(left.outputPath, clip(left.index));
    }
};

QTEST_GUILESS_MAIN(TestJobController)
#include "test_job_controller.moc"
