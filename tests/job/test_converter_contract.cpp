// The converter's report writer fed into the job's reader: what one side writes, the other
// reads the same way.
#include "converter_contract.h"
#include "job/progress_parser.h"
#include "job/section_plan.h"

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
        QCOMPARE(PartFilePath(QStringLiteral("/clips/a b_Clip1.mp4")),
                 QStringLiteral("/clips/.a b_Clip1.mp4.part"));
        QCOMPARE(QString::fromStdString(vorkast::contract::partFileName("x.avi")),
                 QStringLiteral(".x.avi.part"));
    }
};

QTEST_GUILESS_MAIN(TestConverterContract)
#include "test_converter_contract.moc"
