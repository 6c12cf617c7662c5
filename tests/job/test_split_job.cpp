// Whole splits run by the job controller against a small fake converter: sections in order,
// progress, the overwrite rule, failures that end the job, and cancelling.
#include "job/job_controller.h"

#include "job/converter_command.h"

#include "fake_converter.h"
#include "run_job.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <sys/wait.h>

using namespace segmora;
using segmora::test::processGone;
using segmora::test::readAll;
using segmora::test::runJob;
using segmora::test::writeAll;
using segmora::test::writeFakeConverter;

using Indexes = QList<int>;
using Answers = QList<segmora::JobController::OverwriteAnswer>;
Q_DECLARE_METATYPE(Answers)
Q_DECLARE_METATYPE(segmora::JobMode)
Q_DECLARE_METATYPE(segmora::SplitJobEnd)

namespace {

// Behaves like the converter as far as the job can tell: writes the clip under its temporary
// name, reports progress, then renames it. $5 is the start, the last argument the output.
QByteArray converterBody(const QString& log, const QByteArray& behaviour) {
    return "log='" + log.toUtf8() +
           "'\n"
           "for out; do :; done\n"
           "printf '%s\\n' \"$*\" >> \"$log\"\n"
           "part=\"$(dirname \"$out\")/.$(basename \"$out\").$$.part\"\n"
           "ss=\"$5\"\n" +
           behaviour +
           "\n"
           "echo \"clip $ss\" > \"$part\"\n"
           "echo 'frame=1 time=5.00 '\n"
           "mv \"$part\" \"$out\"\n";
}

struct Recorder {
    Indexes started;
    QStringList processingTexts;
    QStringList commandTexts;
    QList<QPair<int, int>> progress;
    Indexes ended;
    QList<qint64> pids;

    void watch(JobController& job) {
        QObject::connect(
            &job, &JobController::sectionStarted, &job,
            [this](int index, const QString& text, const QString&, const QString& command) {
                started.append(index);
                processingTexts.append(text);
                commandTexts.append(command);
            });
        QObject::connect(&job, &JobController::progressChanged, &job,
                         [this](int, int current, int total) {
                             progress.append({current, total});
                         });
        QObject::connect(&job, &JobController::sectionEnded, &job,
                         [this](int index) { ended.append(index); });
        QObject::connect(&job, &JobController::converterStarted, &job,
                         [this](int, qint64 pid) { pids.append(pid); });
    }
};

} // namespace

class TestSplitJob : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_source;
    QString m_out;
    QString m_log;

    QString converter(const QByteArray& behaviour = QByteArray()) {
        return writeFakeConverter(*m_dir, QStringLiteral("vorkast"),
                                  converterBody(m_log, behaviour));
    }

    SplitJobPlan plan(JobMode mode, int count, double start, double end,
                      const QString& converterPath) const {
        SplitJobPlan plan;
        plan.converterPath = converterPath;
        plan.sourcePath = m_source;
        plan.profileArguments = QStringLiteral(" -vcodec copy  -acodec copy");
        plan.profileName = QStringLiteral("Copy");
        plan.mode = mode;
        plan.sectionCount = count;
        plan.sections = PlanSections(start, end, count, 3600000);
        plan.outputFolder = m_out;
        plan.outputExtension = QStringLiteral(".mp4");
        return plan;
    }

    QString clip(int index) const {
        return m_out + QStringLiteral("/holiday_Clip%1.mp4").arg(index);
    }

    QStringList partFiles() const {
        return QDir(m_out).entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden);
    }

    QStringList calls() const {
        return QString::fromUtf8(readAll(m_log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_source = m_dir->filePath(QStringLiteral("holiday.avi"));
        QVERIFY(writeAll(m_source, "source"));
        m_out = m_dir->filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(m_out));
        m_log = m_dir->filePath(QStringLiteral("calls.log"));
    }

    void cleanup() { m_dir.reset(); }

    void equalSectionsRunInOrder() {
        JobController job(plan(JobMode::Equal, 3, 10, 40, converter()));
        Recorder seen;
        seen.watch(job);
        const SplitJobResult result = runJob(job);

        QCOMPARE(result.end, SplitJobEnd::Completed);
        QCOMPARE(seen.started, (Indexes{1, 2, 3}));
        QCOMPARE(seen.ended, (Indexes{1, 2, 3}));
        // Which section of how many, and the clip it makes.
        QCOMPARE(seen.processingTexts,
                 (QStringList{"Splitting: Section 1 of 3 (holiday_Clip1.mp4)",
                              "Splitting: Section 2 of 3 (holiday_Clip2.mp4)",
                              "Splitting: Section 3 of 3 (holiday_Clip3.mp4)"}));
        // Each section but the last is told that another starts where it ends.
        QCOMPARE(seen.commandTexts.first(),
                 QStringLiteral(" -y -i \"%1\" -ss 10 -t 10 -tile -profile \"Copy\" -vcodec copy"
                                "  -acodec copy \"%2\"")
                     .arg(m_source, clip(1)));
        const QString args =
            QStringLiteral("-y -i %1 -ss %2 -t 10%3 -profile Copy -vcodec copy -acodec copy %4");
        QCOMPARE(calls(), (QStringList{args.arg(m_source, "10", " -tile", clip(1)),
                                       args.arg(m_source, "20", " -tile", clip(2)),
                                       args.arg(m_source, "30", "", clip(3))}));
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(readAll(clip(i)), QByteArray("clip ") + QByteArray::number(i * 10) + "\n");
        QVERIFY(!job.isRunning());
    }

    void startEndModeNamesTheSource() {
        JobController job(plan(JobMode::StartEnd, 1, 10, 22.5, converter()));
        Recorder seen;
        seen.watch(job);
        QCOMPARE(runJob(job).end, SplitJobEnd::Completed);
        QCOMPARE(seen.processingTexts, QStringList{"Splitting: holiday.avi"});
        QCOMPARE(calls().size(), 1);
        QVERIFY(calls().first().contains(QStringLiteral(" -ss 10 -t 12.5 ")));
    }

    // Each section's bar, and the job's total from it: 5 of 10 seconds in each of 4 sections.
    void progressOfEachSection() {
        JobController job(plan(JobMode::Equal, 4, 0, 40, converter()));
        Recorder seen;
        seen.watch(job);
        QCOMPARE(runJob(job).end, SplitJobEnd::Completed);
        QCOMPARE(seen.progress, (QList<QPair<int, int>>{{50, 12}, {50, 38}, {50, 62}, {50, 88}}));
        QCOMPARE(job.totalPercent(), 88);
    }

    void noSectionsCompleteAtOnce_data() {
        QTest::addColumn<int>("count");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -2;
    }

    void noSectionsCompleteAtOnce() {
        QFETCH(int, count);
        JobController job(plan(JobMode::Equal, count, 10, 40, converter()));
        Recorder seen;
        seen.watch(job);
        QCOMPARE(runJob(job).end, SplitJobEnd::Completed);
        QVERIFY(seen.started.isEmpty());
        QVERIFY(calls().isEmpty());
    }

    // The answers in the order the questions come; an answer "to all" stands for the rest of
    // the job. The completion message says what was kept.
    void overwriteRule_data() {
        QTest::addColumn<JobMode>("mode");
        QTest::addColumn<int>("count");
        QTest::addColumn<Indexes>("existing");
        QTest::addColumn<bool>("overwritePreference");
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<SplitJobEnd>("end");
        QTest::addColumn<Indexes>("run");
        QTest::addColumn<Indexes>("asked");
        QTest::addColumn<QString>("completed");

        using A = JobController::OverwriteAnswer;
        const auto eq = JobMode::Equal;
        const auto se = JobMode::StartEnd;
        const QString success = QStringLiteral("Splitting is completed successfully.");
        QTest::newRow("equal: No skips that section")
            << eq << 3 << Indexes{2} << false << Answers{A::No} << SplitJobEnd::Completed
            << Indexes{1, 3} << Indexes{2}
            << "Splitting is completed: 2 clips made, 1 existing clip kept.";
        QTest::newRow("equal: Yes replaces it")
            << eq << 3 << Indexes{2} << false << Answers{A::Yes} << SplitJobEnd::Completed
            << Indexes{1, 2, 3} << Indexes{2} << success;
        QTest::newRow("equal: refusing every clip says nothing was made")
            << eq << 2 << Indexes{1, 2} << false << Answers{A::No, A::No} << SplitJobEnd::Completed
            << Indexes{} << Indexes{1, 2}
            << "Splitting is completed: 0 clips made, 2 existing clips kept.";
        QTest::newRow("equal: Yes to all asks once")
            << eq << 3 << Indexes{1, 2, 3} << false << Answers{A::YesToAll}
            << SplitJobEnd::Completed << Indexes{1, 2, 3} << Indexes{1} << success;
        QTest::newRow("equal: No to all asks once")
            << eq << 3 << Indexes{1, 2, 3} << false << Answers{A::NoToAll} << SplitJobEnd::Completed
            << Indexes{} << Indexes{1}
            << "Splitting is completed: 0 clips made, 3 existing clips kept.";
        QTest::newRow("equal: Yes, then No to all")
            << eq << 4 << Indexes{1, 3, 4} << false << Answers{A::Yes, A::NoToAll}
            << SplitJobEnd::Completed << Indexes{1, 2} << Indexes{1, 3}
            << "Splitting is completed: 2 clips made, 2 existing clips kept.";
        QTest::newRow("equal: No, then Yes to all")
            << eq << 3 << Indexes{1, 2, 3} << false << Answers{A::No, A::YesToAll}
            << SplitJobEnd::Completed << Indexes{2, 3} << Indexes{1, 2}
            << "Splitting is completed: 2 clips made, 1 existing clip kept.";
        QTest::newRow("start/end: No ends the job")
            << se << 1 << Indexes{1} << false << Answers{A::No} << SplitJobEnd::OverwriteRefused
            << Indexes{} << Indexes{1} << QString();
        QTest::newRow("start/end: No to all ends the job")
            << se << 1 << Indexes{1} << false << Answers{A::NoToAll}
            << SplitJobEnd::OverwriteRefused << Indexes{} << Indexes{1} << QString();
        QTest::newRow("start/end: Yes replaces it")
            << se << 1 << Indexes{1} << false << Answers{A::Yes} << SplitJobEnd::Completed
            << Indexes{1} << Indexes{1} << success;
        QTest::newRow("preference replaces without asking")
            << eq << 3 << Indexes{1, 3} << true << Answers{} << SplitJobEnd::Completed
            << Indexes{1, 2, 3} << Indexes{} << success;
    }

    void overwriteRule() {
        QFETCH(JobMode, mode);
        QFETCH(int, count);
        QFETCH(Indexes, existing);
        QFETCH(bool, overwritePreference);
        QFETCH(Answers, answers);
        QFETCH(SplitJobEnd, end);
        QFETCH(Indexes, run);
        QFETCH(Indexes, asked);
        QFETCH(QString, completed);

        for (const int index : existing)
            QVERIFY(writeAll(clip(index), "old"));
        SplitJobPlan setup = plan(mode, count, 10, 40, converter());
        setup.overwriteExisting = overwritePreference;
        JobController job(setup);
        QStringList askedPaths;
        job.confirmOverwrite = [&](const QString& path) {
            askedPaths.append(path);
            return answers.value(askedPaths.size() - 1, JobController::OverwriteAnswer::No);
        };
        Recorder seen;
        seen.watch(job);

        const SplitJobResult result = runJob(job);
        QCOMPARE(result.end, end);
        QCOMPARE(seen.started, run);
        QStringList askedFor;
        for (const int index : asked)
            askedFor.append(clip(index));
        QCOMPARE(askedPaths, askedFor);
        QCOMPARE(result.made, run);
        for (const int index : existing) {
            if (run.contains(index))
                QVERIFY(readAll(clip(index)) != "old");
            else
                QCOMPARE(readAll(clip(index)), QByteArray("old"));
        }
        if (end == SplitJobEnd::Completed)
            QCOMPARE(CompletedText(result), completed);
    }

    // A failed or killed converter ends the job there: the failure is reported with what the
    // converter said, no later section runs and no partial clip is left.
    void failureEndsTheJob_data() {
        QTest::addColumn<QByteArray>("behaviour");
        QTest::addColumn<QString>("message");
        QTest::newRow("exit 1") << QByteArray("if [ \"$ss\" = 20 ]; then echo half > \"$part\"; "
                                              "echo 'vorkast: codec missing' >&2; exit 1; fi")
                                << "Splitting failed.\ncodec missing";
        // The converter cannot tell which folder it meant; the user must be told.
        QTest::newRow("read-only output folder")
            << QByteArray("if [ \"$ss\" = 20 ]; then echo 'vorkast: cannot write to the output "
                          "folder: Read-only file system' >&2; exit 1; fi")
            << "Splitting failed.\ncannot write to the output folder %1: Read-only file system";
        QTest::newRow("killed")
            << QByteArray("if [ \"$ss\" = 20 ]; then echo half > \"$part\"; kill -KILL $$; fi")
            << "Splitting failed.\nThe converter was stopped by signal 9 (SIGKILL).";
    }

    void failureEndsTheJob() {
        QFETCH(QByteArray, behaviour);
        QFETCH(QString, message);
        JobController job(plan(JobMode::Equal, 3, 10, 40, converter(behaviour)));
        Recorder seen;
        seen.watch(job);
        const SplitJobResult result = runJob(job);
        QCOMPARE(result.end, SplitJobEnd::Failed);
        QCOMPARE(result.section, 2);
        QCOMPARE(result.message,
                 message.contains(QLatin1String("%1")) ? message.arg(m_out) : message);
        QCOMPARE(seen.started, (Indexes{1, 2}));
        QVERIFY(QFile::exists(clip(1)));
        QVERIFY(!QFile::exists(clip(2)));
        QVERIFY(partFiles().isEmpty());
        QVERIFY(!QFile::exists(clip(3)));
    }

    // The temporary file of a converter that was killed outright (SIGKILL, a crash of the
    // machine) is never taken for a clip: no overwrite question, and the job leaves it to the
    // converter, which alone can tell whether its run is gone.
    void stalePartFileIsNoClip() {
        const QString stale = m_out + QStringLiteral("/.holiday_Clip2.mp4.1.part");
        QVERIFY(writeAll(stale, "half a clip from a killed run"));
        JobController job(plan(JobMode::Equal, 3, 10, 40, converter("")));
        int questions = 0;
        job.confirmOverwrite = [&](const QString&) {
            ++questions;
            return JobController::OverwriteAnswer::No;
        };
        QCOMPARE(runJob(job).end, SplitJobEnd::Completed);
        QCOMPARE(questions, 0);
        QCOMPARE(readAll(clip(2)), QByteArray("clip 20\n"));
        QCOMPARE(readAll(clip(3)), QByteArray("clip 30\n"));
    }

    void missingConverterFailsToStart() {
        JobController job(plan(JobMode::Equal, 2, 10, 40, m_dir->filePath(QStringLiteral("gone"))));
        Recorder seen;
        seen.watch(job);
        const SplitJobResult result = runJob(job);
        QCOMPARE(result.end, SplitJobEnd::StartFailed);
        QCOMPARE(result.section, 1);
        QCOMPARE(result.message, QStringLiteral("Error. Please re-install Segmora"));
        QVERIFY(seen.pids.isEmpty());
        QVERIFY(!job.isRunning());
    }

    // Cancelling on the first progress report ends the converter at once: nothing of it keeps
    // running, its temporary file goes, the clip it would have replaced stays, and no further
    // section starts.
    void cancelOnFirstReport() {
        QVERIFY(writeAll(clip(1), "earlier clip"));
        SplitJobPlan setup = plan(JobMode::Equal, 3, 10, 40,
                                  converter("echo partial > \"$part\"\n"
                                            "echo 'frame=1 time=1.00 '\n"
                                            "exec sleep 30"));
        setup.overwriteExisting = true;
        JobController job(setup);
        Recorder seen;
        seen.watch(job);
        connect(&job, &JobController::progressChanged, &job, [&] { job.cancel(); });
        QElapsedTimer clock;
        clock.start();
        const SplitJobResult result = runJob(job);

        QCOMPARE(result.end, SplitJobEnd::Cancelled);
        QCOMPARE(result.section, 1);
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(seen.started, Indexes{1});
        QCOMPARE(seen.pids.size(), 1);
        const pid_t pid = static_cast<pid_t>(seen.pids.first());
        QCOMPARE(::waitpid(pid, nullptr, WNOHANG), -1);
        QVERIFY(processGone(pid));
        QVERIFY(partFiles().isEmpty());
        QCOMPARE(readAll(clip(1)), QByteArray("earlier clip"));
        QCOMPARE(job.state(), JobController::State::Idle);
    }

    // A cancel from the event loop (a click, a timer) while the converter says nothing.
    void cancelWhileTheConverterIsSilent() {
        JobController job(plan(JobMode::Equal, 2, 10, 40, converter("exec sleep 30")));
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, &job, [&] {
            if (++ticks == 5)
                job.cancel();
        });
        ticker.start(20);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(runJob(job).end, SplitJobEnd::Cancelled);
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(calls().size(), 1);
    }

    void cancelDuringTheOverwriteQuestion() {
        QVERIFY(writeAll(clip(1), "old"));
        JobController job(plan(JobMode::Equal, 2, 10, 40, converter()));
        job.confirmOverwrite = [&](const QString&) {
            job.cancel(); // e.g. the window was closed meanwhile
            return JobController::OverwriteAnswer::Yes;
        };
        QCOMPARE(runJob(job).end, SplitJobEnd::Cancelled);
        QVERIFY(calls().isEmpty());
        QCOMPARE(readAll(clip(1)), QByteArray("old"));
    }

    void makePlan_data() {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<double>("lastSectionEnd");
        QTest::newRow("profile's extension") << "Fast"
                                             << "00:00:40"
                                             << ".mp4" << 40.0;
        QTest::newRow("source settings keep the source's extension")
            << "Settings of the source file."
            << "00:00:40"
            << ".avi" << 40.0;
        QTest::newRow("a keyframe copy keeps the source's extension") << "Keyframe copy (fast)"
                                                                      << "00:00:40"
                                                                      << ".avi" << 40.0;
        QTest::newRow("an end beyond the source stops at its end") << "Fast"
                                                                   << "00:10:00"
                                                                   << ".mp4" << 60.0;
    }

    void makePlan() {
        QFETCH(QString, profile);
        QFETCH(QString, end);
        QFETCH(QString, extension);
        QFETCH(double, lastSectionEnd);
        const JobRequest request{m_source,
                                 QStringLiteral("00:00:10"),
                                 end,
                                 JobMode::Equal,
                                 QStringLiteral("2"),
                                 profile,
                                 true,
                                 m_out,
                                 60000,
                                 0,
                                 QStringLiteral(".mp4")};
        const JobCheckResult checked = CheckJobRequest(request);
        QVERIFY(checked.passed());
        const SplitJobPlan made = MakeSplitJobPlan(request, checked, QStringLiteral("/p/vorkast"),
                                                   QStringLiteral(" -an"), true);
        QCOMPARE(made.outputExtension, extension);
        QCOMPARE(made.sectionCount, 2);
        QCOMPARE(made.sections.size(), 2);
        QCOMPARE(made.sections.last().start + made.sections.last().length, lastSectionEnd);
        QCOMPARE(made.converterPath, QStringLiteral("/p/vorkast"));
        QVERIFY(made.overwriteExisting);
    }

    // Whether a job's clips were asked to be cut exactly, which decides how the keyframe cuts
    // among them are worded.
    void asksExactCut_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<bool>("exact");
        QTest::newRow("lossless") << " -c copy -cut exact" << true;
        QTest::newRow("keyframe copy") << " -c copy" << false;
        QTest::newRow("keyframe cut named") << " -c copy -cut keyframe" << false;
        QTest::newRow("the last cut counts") << " -cut keyframe -c copy -cut exact" << true;
        QTest::newRow("a later keyframe cut wins") << " -cut exact -cut keyframe" << false;
        QTest::newRow("exact as another option's value") << " -c copy -x exact" << false;
        QTest::newRow("-cut last, without a value") << " -c copy -cut" << false;
    }
    void asksExactCut() {
        QFETCH(QString, arguments);
        QTEST(AsksExactCut(arguments), "exact");
    }

    // The argument vector each section's converter gets: the source-settings profile copies
    // and cuts frame-exact, every other profile goes as it was built, and a cut the profile
    // names itself is never doubled or overruled.
    void argumentVectorsOfAPlan_data() {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("profileArguments");
        QTest::addColumn<QStringList>("tokens"); // between "-t LENGTH" and the output
        const QString source = QStringLiteral("Settings of the source file.");
        QTest::newRow("source settings cut exact")
            << source << " -c copy" << QStringList{"-c", "copy", "-cut", "exact"};
        QTest::newRow("re-encoding profile unchanged")
            << "MP4"
            << " -c:v libx264 -preset veryfast -c:a aac"
            << QStringList{"-c:v", "libx264", "-preset", "veryfast", "-c:a", "aac"};
        QTest::newRow("the keyframe copy stays one") << "Keyframe copy (fast)"
                                                     << " -c copy" << QStringList{"-c", "copy"};
        QTest::newRow("another copying profile keeps the keyframe cut")
            << "My copy"
            << " -c copy" << QStringList{"-c", "copy"};
        QTest::newRow("a name that only looks alike") << "Settings of the source file"
                                                      << " -c copy" << QStringList{"-c", "copy"};
        QTest::newRow("source settings naming the exact cut already")
            << source << " -c copy -cut exact" << QStringList{"-c", "copy", "-cut", "exact"};
        QTest::newRow("source settings naming a keyframe cut")
            << source << " -c copy  -cut keyframe" << QStringList{"-c", "copy", "-cut", "keyframe"};
        QTest::newRow("source settings without arguments")
            << source << "" << QStringList{"-cut", "exact"};
    }
    void argumentVectorsOfAPlan() {
        QFETCH(QString, profile);
        QFETCH(QString, profileArguments);
        QFETCH(QStringList, tokens);
        const JobRequest request{m_source,
                                 QStringLiteral("00:00:10"),
                                 QStringLiteral("00:00:40"),
                                 JobMode::Equal,
                                 QStringLiteral("2"),
                                 profile,
                                 true,
                                 m_out,
                                 60000,
                                 0,
                                 QStringLiteral(".mp4")};
        const JobCheckResult checked = CheckJobRequest(request);
        QVERIFY(checked.passed());
        const SplitJobPlan made = MakeSplitJobPlan(request, checked, QStringLiteral("/p/vorkast"),
                                                   profileArguments, false);
        QCOMPARE(made.sections.size(), 2);
        const Section& second = made.sections[1];
        const QString output =
            OutputPath(made.outputFolder, made.sourcePath, second.index, made.outputExtension);
        const ConverterCall call{made.sourcePath,       second.start, second.length,
                                 made.profileArguments, output,       made.profileName};
        QCOMPARE(ConverterArguments(call),
                 QStringList({"-y", "-i", m_source, "-ss", "25", "-t", "15", "-profile", profile}) +
                     tokens + QStringList{output});
    }
};

QTEST_GUILESS_MAIN(TestSplitJob)
#include "test_split_job.moc"
