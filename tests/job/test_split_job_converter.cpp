// Whole splits with our real converter on generated media (SEGMORA_NEEDS_MEDIA): the clips it
// writes, the lossless profile, and a cancel that leaves nothing behind.
#include "job/job_controller.h"

#include "fake_converter.h"
#include "run_job.h"
#include "test_support.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

using namespace segmora;
using segmora::test::fixture;
using segmora::test::processGroupGone;
using segmora::test::readAll;
using segmora::test::runJob;
using segmora::test::writeAll;

namespace {

// One ffprobe entry of a media file ("format=duration", "stream=codec_name"), one value a line.
QStringList probe(const QString& path, const QString& entries) {
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                   entries, QStringLiteral("-of"), QStringLiteral("default=nw=1:nk=1"), path});
    if (!ffprobe.waitForFinished(20000))
        return {};
    return QString::fromUtf8(ffprobe.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

double durationOf(const QString& path) {
    const QStringList values = probe(path, QStringLiteral("format=duration"));
    return values.isEmpty() ? -1 : values.first().toDouble();
}

} // namespace

class TestSplitJobConverter : public QObject {
    Q_OBJECT

    segmora::test::TempProgramFolder m_program;
    QTemporaryDir m_out;

    SplitJobPlan plan(const QString& source, const QString& profileName,
                      const QString& profileArguments, JobMode mode, const QString& start,
                      const QString& end, const QString& quantity, long long durationMs) {
        const JobRequest request{source,
                                 start,
                                 end,
                                 mode,
                                 quantity,
                                 profileName,
                                 true,
                                 m_out.path(),
                                 durationMs,
                                 0,
                                 QStringLiteral(".mp4")};
        const JobCheckResult checked = CheckJobRequest(request);
        if (!checked.passed())
            qWarning("check %d failed: %s", checked.failedCheck, qPrintable(checked.text));
        return MakeSplitJobPlan(request, checked, m_program.context().converterPath(),
                                profileArguments, true);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_out.isValid());
        QVERIFY(QFileInfo(m_program.context().converterPath()).isExecutable());
        QVERIFY(QFileInfo::exists(fixture(QStringLiteral("job45.mp4"))));
    }

    void equalSectionsAreRealClips() {
        JobController job(plan(fixture(QStringLiteral("job45.mp4")), QStringLiteral("MP4"),
                               QString(), JobMode::Equal, QStringLiteral("00:00:10"),
                               QStringLiteral("00:00:40"), QStringLiteral("3"), 45000));
        QList<int> lastCurrent;
        int lastTotal = -1;
        connect(&job, &JobController::progressChanged, &job, [&](int, int current, int total) {
            lastTotal = total;
            if (!lastCurrent.isEmpty())
                lastCurrent.last() = current;
        });
        connect(&job, &JobController::sectionStarted, &job, [&] { lastCurrent.append(-1); });
        const SplitJobResult result = runJob(job);
        QCOMPARE(result.end, SplitJobEnd::Completed);
        for (int i = 1; i <= 3; ++i) {
            const QString clip = m_out.filePath(QStringLiteral("job45_Clip%1.mp4").arg(i));
            const double duration = durationOf(clip);
            QVERIFY2(qAbs(duration - 10) < 0.25,
                     qPrintable(clip + ": " + QString::number(duration)));
        }
        QCOMPARE(lastCurrent, (QList<int>{100, 100, 100}));
        QCOMPARE(lastTotal, 100);
        QCOMPARE(
            QDir(m_out.path()).entryList({QStringLiteral(".*.part")}, QDir::Hidden | QDir::Files),
            QStringList());
    }

    void losslessKeepsTheSourceType() {
        const QString source = fixture(QStringLiteral("six.avi"));
        JobController job(plan(source, QStringLiteral("Settings of the source file."),
                               QStringLiteral(" -c copy"), JobMode::StartEnd,
                               QStringLiteral("00:00:01"), QStringLiteral("00:00:05"), QString(),
                               6000));
        QCOMPARE(runJob(job).end, SplitJobEnd::Completed);
        const QString clip = m_out.filePath(QStringLiteral("six_Clip1.avi"));
        QVERIFY(QFileInfo::exists(clip));
        QCOMPARE(probe(clip, QStringLiteral("stream=codec_name")),
                 probe(source, QStringLiteral("stream=codec_name")));
    }

    // Cancelled at its first report, the converter and all it started are gone at once, no
    // temporary file is left and the clip it would have replaced is untouched.
    void cancelLeavesNothingBehind() {
        const QString clip = m_out.filePath(QStringLiteral("job45_Clip1.mp4"));
        QVERIFY(writeAll(clip, "earlier clip"));
        JobController job(plan(fixture(QStringLiteral("job45.mp4")), QStringLiteral("MP4"),
                               QStringLiteral(" -s 1280x720"), JobMode::StartEnd,
                               QStringLiteral("00:00:00"), QStringLiteral("00:00:45"), QString(),
                               45000));
        qint64 pid = 0;
        connect(&job, &JobController::converterStarted, &job,
                [&](int, qint64 started) { pid = started; });
        connect(&job, &JobController::progressChanged, &job, [&] { job.cancel(); });
        QCOMPARE(runJob(job).end, SplitJobEnd::Cancelled);
        QVERIFY(pid > 0);
        QTRY_VERIFY(processGroupGone(static_cast<pid_t>(pid)));
        QCOMPARE(readAll(clip), QByteArray("earlier clip"));
        QCOMPARE(
            QDir(m_out.path()).entryList({QStringLiteral(".*.part")}, QDir::Hidden | QDir::Files),
            QStringList());
    }
};

QTEST_GUILESS_MAIN(TestSplitJobConverter)
#include "test_split_job_converter.moc"
