// The checks of a split request: their order, texts, titles and focus.
#include "job/job_request.h"
#include "profiles/profile_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace segmora;

Q_DECLARE_METATYPE(segmora::JobMode)
Q_DECLARE_METATYPE(segmora::JobField)

class TestJobRequest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // "file", "refused" (a file no demuxer took), "fifo", "folder", "missing" or "" mapped into
    // the temporary folder.
    QString place(const QString& kind) const {
        if (kind == QLatin1String("file") || kind == QLatin1String("refused"))
            return m_dir.filePath(QStringLiteral("holiday.avi"));
        if (kind == QLatin1String("fifo"))
            return m_dir.filePath(QStringLiteral("pipe.avi"));
        if (kind == QLatin1String("folder"))
            return m_dir.filePath(QStringLiteral("out"));
        if (kind == QLatin1String("missing"))
            return m_dir.filePath(QStringLiteral("nothing here"));
        return QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QFile source(m_dir.filePath(QStringLiteral("holiday.avi")));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("x");
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("out")));
        QCOMPARE(::mkfifo(QFile::encodeName(place(QStringLiteral("fifo"))).constData(), 0600), 0);
    }

    void checks_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<JobMode>("mode");
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<bool>("profileExists");
        QTest::addColumn<QString>("outputDir");
        QTest::addColumn<qint64>("durationMs");
        QTest::addColumn<int>("failedCheck");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<JobField>("focus");

        const auto se = JobMode::StartEnd;
        const auto eq = JobMode::Equal;
        const QString ok = QStringLiteral("folder");
        const QString src = QStringLiteral("file");
        const QString badSource = QStringLiteral("Please specify a valid input video file.");
        const QString badStart = QStringLiteral("Please varify the Start Time you selected.");
        const QString badEnd = QStringLiteral("Please varify the End Time you selected.");
        const QString badOrder =
            QStringLiteral("The End Time should be later than the Start Time.");
        const QString badQty = QStringLiteral("Please specify a valid section quantity.");
        const QString badProfile = QStringLiteral("Please select a valid output profile.");
        const QString badFolder = QStringLiteral("Please specify a valid output path.");
        const QString pathTitle = QStringLiteral("Invalid Output Path");
        const QString startTitle = QStringLiteral("Invalid Start Time");

        // clang-format off
        QTest::newRow("source missing") << "missing" << "00:00:10" << "00:00:20" << se << "" << true << ok << 60000LL
            << 1 << badSource << "Invalid File" << JobField::Source;
        QTest::newRow("source is a folder") << "folder" << "00:00:10" << "00:00:20" << se << "" << true << ok << 60000LL
            << 1 << badSource << "Invalid File" << JobField::Source;
        // Opening a FIFO waits for a writer; it is no file to cut.
        QTest::newRow("source is a FIFO") << "fifo" << "00:00:10" << "00:00:20" << se << "" << true << ok << 60000LL
            << 1 << badSource << "Invalid File" << JobField::Source;
        // Refused by the player or the probe: not blamed on the start time.
        QTest::newRow("source holds no media") << "refused" << "00:00:00" << "00:00:10" << se << "" << true << ok << 0LL
            << 1 << badSource << "Invalid File" << JobField::Source;
        QTest::newRow("source empty") << "" << "00:00:10" << "00:00:20" << se << "" << true << ok << 60000LL
            << 1 << badSource << "Invalid File" << JobField::Source;
        QTest::newRow("everything wrong reports the source") << "missing" << "x" << "y" << eq << "z" << false << "missing" << 0LL
            << 1 << badSource << "Invalid File" << JobField::Source;
        QTest::newRow("start not a time text") << src << "ten" << "00:00:20" << se << "" << true << ok << 60000LL
            << 2 << badStart << startTitle << JobField::None;
        QTest::newRow("start equal to the duration") << src << "00:01:00" << "00:01:10" << se << "" << true << ok << 60000LL
            << 3 << badStart << startTitle << JobField::None;
        QTest::newRow("nothing open, start 0") << src << "00:00:00" << "00:00:10" << se << "" << true << ok << 0LL
            << 3 << badStart << startTitle << JobField::None;
        QTest::newRow("end not a time text") << src << "00:00:10" << "soon" << se << "" << true << ok << 60000LL
            << 4 << badEnd << "Invalid End Time" << JobField::None;
        QTest::newRow("end zero") << src << "-1:00:00" << "00:00:00" << se << "" << true << ok << 60000LL
            << 4 << badEnd << "Invalid End Time" << JobField::None;
        QTest::newRow("start equal to end") << src << "00:00:10" << "00:00:10" << se << "" << true << ok << 60000LL
            << 5 << badOrder << "Invalid Time" << JobField::None;
        QTest::newRow("end before start") << src << "00:00:30" << "00:00:10" << se << "" << true << ok << 60000LL
            << 5 << badOrder << "Invalid Time" << JobField::None;
        QTest::newRow("quantity not a number") << src << "00:00:10" << "00:00:40" << eq << "three" << true << ok << 60000LL
            << 6 << badQty << "Invalid Section" << JobField::SectionQty;
        QTest::newRow("quantity with a fraction") << src << "00:00:10" << "00:00:40" << eq << "3.5" << true << ok << 60000LL
            << 6 << badQty << "Invalid Section" << JobField::SectionQty;
        QTest::newRow("quantity beyond 32 bits") << src << "00:00:10" << "00:00:40" << eq << "2147483648" << true << ok << 60000LL
            << 6 << badQty << "Invalid Section" << JobField::SectionQty;
        QTest::newRow("quantity empty") << src << "00:00:10" << "00:00:40" << eq << "" << true << ok << 60000LL
            << 6 << badQty << "Invalid Section" << JobField::SectionQty;
        // A plan of no sections would write nothing and still report success.
        QTest::newRow("quantity 0") << src << "00:00:10" << "00:00:40" << eq << "0" << true << ok << 60000LL
            << 6 << badQty << "Invalid Section" << JobField::SectionQty;
        QTest::newRow("negative quantity") << src << "00:00:10" << "00:00:40" << eq << "-2" << true << ok << 60000LL
            << 6 << badQty << "Invalid Section" << JobField::SectionQty;
        QTest::newRow("quantity -0") << src << "00:00:10" << "00:00:40" << eq << "-0" << false << "missing" << 60000LL
            << 6 << badQty << "Invalid Section" << JobField::SectionQty;
        QTest::newRow("profile file missing") << src << "00:00:10" << "00:00:40" << se << "" << false << ok << 60000LL
            << 7 << badProfile << pathTitle << JobField::Profile;
        QTest::newRow("output folder missing") << src << "00:00:10" << "00:00:40" << se << "" << true << "missing" << 60000LL
            << 8 << badFolder << pathTitle << JobField::OutputFolder;
        QTest::newRow("output folder is a file") << src << "00:00:10" << "00:00:40" << se << "" << true << "file" << 60000LL
            << 8 << badFolder << pathTitle << JobField::OutputFolder;
        QTest::newRow("output folder empty") << src << "00:00:10" << "00:00:40" << se << "" << true << "" << 60000LL
            << 8 << badFolder << pathTitle << JobField::OutputFolder;
        // clang-format on
    }

    // A file named like a profile but holding something else made clips with the converter's
    // own defaults and exit 0; now check 7 refuses it, naming the file, before the output
    // folder is looked at.
    void refusesAFileThatIsNoProfile_data() {
        QTest::addColumn<QString>("outputDir");
        QTest::newRow("everything else right") << "folder";
        QTest::newRow("output folder missing too") << "missing";
    }
    void refusesAFileThatIsNoProfile() {
        QFETCH(QString, outputDir);
        const QString path = m_dir.filePath(QStringLiteral("Shared.apf"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18));
        file.close();
        JobRequest request{
            place("file"), "00:00:10",       "00:00:40", JobMode::StartEnd, "", "Shared",
            true,          place(outputDir), 60000};
        request.profileProblem = ProfileFileProblem(path);
        const JobCheckResult result = CheckJobRequest(request);
        QCOMPARE(result.failedCheck, 7);
        QVERIFY2(result.text.contains(path), qPrintable(result.text));
        QCOMPARE(result.title, QStringLiteral("Invalid Output Profile"));
        QCOMPARE(result.focus, JobField::Profile);
    }

    void checks() {
        QFETCH(QString, source);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(JobMode, mode);
        QFETCH(QString, quantity);
        QFETCH(bool, profileExists);
        QFETCH(QString, outputDir);
        QFETCH(qint64, durationMs);
        QFETCH(int, failedCheck);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(JobField, focus);

        JobRequest request{
            place(source),    start,     end, mode, quantity, QStringLiteral("Fast"), profileExists,
            place(outputDir), durationMs};
        request.sourceOpens = source != QLatin1String("refused");
        const JobCheckResult result = CheckJobRequest(request);
        QCOMPARE(result.failedCheck, failedCheck);
        QCOMPARE(result.passed(), false);
        QCOMPARE(result.text, text);
        QCOMPARE(result.title, title);
        QCOMPARE(result.focus, focus);
    }

    void passes_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<JobMode>("mode");
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<double>("expectedStart");
        QTest::addColumn<double>("expectedEnd");
        QTest::addColumn<int>("sectionCount");

        const auto se = JobMode::StartEnd;
        const auto eq = JobMode::Equal;
        QTest::newRow("start/end mode") << "00:00:10"
                                        << "00:00:40" << se << "" << 10.0 << 40.0 << 1;
        QTest::newRow("start/end ignores the quantity")
            << "00:00:10"
            << "00:00:40" << se << "x" << 10.0 << 40.0 << 1;
        QTest::newRow("equal mode") << "00:00:10"
                                    << "00:00:40" << eq << "3" << 10.0 << 40.0 << 3;
        QTest::newRow("leading blanks and sign") << "00:00:10"
                                                 << "00:00:40" << eq << "  +4" << 10.0 << 40.0 << 4;
        QTest::newRow("end beyond the source") << "00:00:10"
                                               << "02:00:00" << se << "" << 10.0 << 7200.0 << 1;
        QTest::newRow("negative start") << "-1:00:00"
                                        << "00:00:10" << se << "" << -3600.0 << 10.0 << 1;
    }

    void passes() {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(JobMode, mode);
        QFETCH(QString, quantity);
        QFETCH(double, expectedStart);
        QFETCH(double, expectedEnd);
        QFETCH(int, sectionCount);

        const JobRequest request{place(QStringLiteral("file")),
                                 start,
                                 end,
                                 mode,
                                 quantity,
                                 QStringLiteral("Fast"),
                                 true,
                                 place(QStringLiteral("folder")),
                                 60000};
        const JobCheckResult result = CheckJobRequest(request);
        QVERIFY2(result.passed(), qPrintable(result.text));
        QCOMPARE(result.start, expectedStart);
        QCOMPARE(result.end, expectedEnd);
        QCOMPARE(result.sectionCount, sectionCount);
    }

    // Sections shorter than one frame would each come out a whole frame long; the frame is the
    // source's (1/25 s here), or a millisecond when the source has no picture.
    void sectionsShorterThanAFrame_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<JobMode>("mode");
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<qint64>("durationMs");
        QTest::addColumn<double>("frameSeconds");
        QTest::addColumn<QString>("title"); // empty: the request passes

        const auto se = JobMode::StartEnd;
        const auto eq = JobMode::Equal;
        const double pal = 0.04;
        const double ntsc = 1001.0 / 30000.0;
        const QString section = QStringLiteral("Invalid Section");
        const QString time = QStringLiteral("Invalid Time");
        // clang-format off
        QTest::newRow("a frame each") << "00:00:10" << "00:00:11" << eq << "25" << 60000LL << pal << "";
        QTest::newRow("under a frame each") << "00:00:10" << "00:00:11" << eq << "26" << 60000LL << pal << section;
        QTest::newRow("200 sections of a second") << "00:00:10" << "00:00:11" << eq << "200" << 60000LL << pal << section;
        QTest::newRow("30 sections of a second at 29.97") << "00:00:10" << "00:00:11" << eq << "30" << 60000LL << ntsc << section;
        QTest::newRow("29 sections of a second at 29.97") << "00:00:10" << "00:00:11" << eq << "29" << 60000LL << ntsc << "";
        QTest::newRow("the range ends with the source") << "00:00:59" << "00:01:30" << eq << "26" << 60000LL << pal << section;
        QTest::newRow("the range begins at 0") << "-1:00:00" << "00:00:01" << eq << "26" << 60000LL << pal << section;
        QTest::newRow("start/end: the last 20 ms") << "00:00:59" << "00:01:30" << se << "" << 59020LL << pal << time;
        QTest::newRow("start/end: the last frame") << "00:00:59" << "00:01:30" << se << "" << 59040LL << pal << "";
        QTest::newRow("no picture: a millisecond each") << "00:00:10" << "00:00:11" << eq << "1000" << 60000LL << 0.0 << "";
        QTest::newRow("no picture: under a millisecond") << "00:00:10" << "00:00:11" << eq << "1001" << 60000LL << 0.0 << section;
        QTest::newRow("largest quantity") << "00:00:00" << "00:01:00" << eq << "2147483647" << 60000LL << 0.0 << section;
        // clang-format on
    }
    void sectionsShorterThanAFrame() {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(JobMode, mode);
        QFETCH(QString, quantity);
        QFETCH(qint64, durationMs);
        QFETCH(double, frameSeconds);
        QFETCH(QString, title);

        const JobRequest request{place(QStringLiteral("file")),
                                 start,
                                 end,
                                 mode,
                                 quantity,
                                 QStringLiteral("Fast"),
                                 true,
                                 place(QStringLiteral("folder")),
                                 durationMs,
                                 frameSeconds};
        const JobCheckResult result = CheckJobRequest(request);
        QCOMPARE(result.title, title);
        if (title.isEmpty())
            return;
        QVERIFY(result.text.contains(QStringLiteral("shorter than one frame")));
        QCOMPARE(result.focus, mode == JobMode::Equal ? JobField::SectionQty : JobField::None);

        // The profile and folder checks come after it.
        JobRequest noProfile = request;
        noProfile.profileFileExists = false;
        QCOMPARE(CheckJobRequest(noProfile).title, title);
    }

    // A clip's name (the source's, "_Clip" and its number, the extension) must fit the file
    // system's 255 bytes; the last section's is the longest. Refused before any work, named.
    void clipNamesTheFileSystemHolds_data() {
        QTest::addColumn<QString>("stem");
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<bool>("fits");
        QTest::newRow("255 bytes") << QString(245, QLatin1Char('a')) << "9" << true;
        QTest::newRow("the tenth clip's name is 256 bytes")
            << QString(245, QLatin1Char('a')) << "10" << false;
        QTest::newRow("bytes, not characters: fits") << QString(122, QChar(0x00E9)) << "1" << true;
        QTest::newRow("bytes, not characters: too long")
            << QString(123, QChar(0x00E9)) << "1" << false;
    }
    void clipNamesTheFileSystemHolds() {
        QFETCH(QString, stem);
        QFETCH(QString, quantity);
        QFETCH(bool, fits);
        const QString source = m_dir.filePath(stem + QStringLiteral(".avi"));
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        JobRequest request{source,
                           QStringLiteral("00:00:00"),
                           QStringLiteral("00:00:40"),
                           JobMode::Equal,
                           quantity,
                           QStringLiteral("MP4"),
                           true,
                           place(QStringLiteral("folder")),
                           60000};
        request.profileExtension = QStringLiteral(".mp4");
        const JobCheckResult result = CheckJobRequest(request);
        QCOMPARE(result.passed(), fits);
        if (fits)
            return;
        QCOMPARE(result.failedCheck, 10);
        QVERIFY2(result.text.contains(stem + QStringLiteral("_Clip") + quantity +
                                      QStringLiteral(".mp4")),
                 qPrintable(result.text));
        QVERIFY(result.text.contains(QStringLiteral("too long")));
    }
};

QTEST_GUILESS_MAIN(TestJobRequest)
#include "test_job_request.moc"
