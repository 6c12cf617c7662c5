// The converter's report writer fed into the job's reader: what one side writes, the other
// reads the same way.
#include "converter_contract.h"
#include "job/progress_parser.h"
#include "job/section_plan.h"

#include <QSet>
#include <QTest>

using namespace segmora;

class TestConverterContract : public QObject {
    Q_OBJECT
private slots:
    void reportReadsBack_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("read");
        QTest::newRow("zero") << 0.0 << 0.0;
        QTest::newRow("two decimals") << 12.4 << 12.4;
        QTest::newRow("rounded to hundredths") << 3.14159 << 3.14;
        QTest::newRow("negative reads zero") << -5.0 << 0.0;
        QTest::newRow("long job") << 86399.99 << 86399.99;
        QTest::newRow("held below the ceiling") << 5e12 << 999999999.0;
    }
    void reportReadsBack() {
        QFETCH(double, seconds);
        QFETCH(double, read);
        const std::string report = vorkast::contract::formatProgressReport(seconds);
        QVERIFY(vorkast::contract::isProgressReportLine(report));
        // The reader keeps only increases; start below every row so each one counts.
        const double got = NextProgressTime(QByteArrayView(report.data(), report.size()), -1);
        QCOMPARE(got, read);
    }

    void linesAreClassified_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("isReport");
        QTest::newRow("report") << QByteArray("time=1.00 ") << true;
        QTest::newRow("message") << QByteArray("vorkast: cannot open the source") << false;
        QTest::newRow("capitalised word") << QByteArray("vorkast: Time limit 5") << false;
        QTest::newRow("word without a number") << QByteArray("time is up") << false;
    }
    void linesAreClassified() {
        QFETCH(QByteArray, line);
        QFETCH(bool, isReport);
        QCOMPARE(vorkast::contract::isProgressReportLine(line.toStdString()), isReport);
    }

    void partFileSitsBesideTheClip() {
        QCOMPARE(PartFilePath(QStringLiteral("/clips/a b_Clip1.mp4"), 77),
                 QStringLiteral("/clips/.a b_Clip1.mp4.77.part"));
        QCOMPARE(QString::fromStdString(vorkast::contract::partFileName("x.avi", 4194304)),
                 QStringLiteral(".x.avi.4194304.part"));
    }

    // Every clip and every run has a part file of its own, within the file system's 255 bytes,
    // and its owner reads back from the name: also for names that must be cut to fit, where
    // the clips of one long-named source differ only at their ends.
    void partFileNamesAreDistinct_data() {
        QTest::addColumn<QString>("stem");
        QTest::newRow("short") << QStringLiteral("holiday");
        QTest::newRow("just fits") << QString(226, QLatin1Char('a'));
        QTest::newRow("one byte too many to fit") << QString(227, QLatin1Char('a'));
        QTest::newRow("250 bytes") << QString(240, QLatin1Char('b'));
        QTest::newRow("cut inside a character") << QString(120, QChar(0x00E9));
        QTest::newRow("full length") << QString(245, QLatin1Char('c'));
    }
    void partFileNamesAreDistinct() {
        QFETCH(QString, stem);
        using vorkast::contract::partFileName;
        using vorkast::contract::partFileOwner;
        QSet<QString> seen;
        for (const char* suffix : {"_Clip1.mp4", "_Clip2.mp4"}) {
            const std::string output = (stem + QLatin1String(suffix)).toStdString();
            for (const long owner : {1L, 4194304L, 9999999999L}) {
                const std::string part = partFileName(output, owner);
                QVERIFY2(part.size() <= vorkast::contract::kFileNameMax,
                         qPrintable(QString::number(part.size())));
                // Cut between characters: the name is still valid UTF-8.
                QVERIFY(QString::fromStdString(part).toStdString() == part);
                QCOMPARE(partFileOwner(part, output), owner);
                seen.insert(QString::fromStdString(part));
            }
        }
        QCOMPARE(seen.size(), 6);
        const std::string clip1 = (stem + QStringLiteral("_Clip1.mp4")).toStdString();
        const std::string clip2 = (stem + QStringLiteral("_Clip2.mp4")).toStdString();
        QCOMPARE(partFileOwner(partFileName(clip2, 42), clip1), 0L);
    }

    void onlyPartFilesHaveOwners_data() {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("the clip") << QStringLiteral("a.mp4");
        QTest::newRow("no owner") << QStringLiteral(".a.mp4.part");
        QTest::newRow("empty owner") << QStringLiteral(".a.mp4..part");
        QTest::newRow("not a number") << QStringLiteral(".a.mp4.x1.part");
        QTest::newRow("leading zero") << QStringLiteral(".a.mp4.012.part");
        QTest::newRow("zero") << QStringLiteral(".a.mp4.0.part");
        QTest::newRow("negative") << QStringLiteral(".a.mp4.-5.part");
        QTest::newRow("another clip's") << QStringLiteral(".a.mp4.1.mp4.12.part");
        QTest::newRow("too many digits") << QStringLiteral(".a.mp4.12345678901.part");
    }
    void onlyPartFilesHaveOwners() {
        QFETCH(QString, fileName);
        QCOMPARE(vorkast::contract::partFileOwner(fileName.toStdString(), "a.mp4"), 0L);
    }
};

QTEST_GUILESS_MAIN(TestConverterContract)
#include "test_converter_contract.moc"
