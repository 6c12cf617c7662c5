// The checks of a split request: their order, texts, titles and focus.
#include "job/job_request.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace segmora;

Q_DECLARE_METATYPE(segmora::JobMode)
Q_DECLARE_METATYPE(segmora::JobField)

class TestJobRequest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // "file", "folder", "missing" or "" mapped into the temporary folder.
    QString place(const QString& kind) const {
        if (kind == QLatin1String("file"))
            return m_dir.filePath(QStringLiteral("holiday.avi"));
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

        const JobRequest request{
            place(source),    start,     end, mode, quantity, QStringLiteral("Fast"), profileExists,
            place(outputDir), durationMs};
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
        QTest::newRow("quantity 0 is not refused") << "00:00:10"
                                                   << "00:00:40" << eq << "0" << 10.0 << 40.0 << 0;
        QTest::newRow("negative quantity is not refused")
            << "00:00:10"
            << "00:00:40" << eq << "-2" << 10.0 << 40.0 << -2;
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
};

QTEST_GUILESS_MAIN(TestJobRequest)
#include "test_job_request.moc"
