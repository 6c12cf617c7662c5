// The section plan of a split and the names of the clips it writes.
#include "job/section_plan.h"

#include <QtTest>

using namespace segmora;

using Sections = QList<Section>;
Q_DECLARE_METATYPE(Sections)

class TestSectionPlan : public QObject {
    Q_OBJECT

private slots:
    void plan_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<int>("count");
        QTest::addColumn<qint64>("durationMs");
        QTest::addColumn<Sections>("expected");

        QTest::newRow("start/end mode is one section")
            << 10.0 << 22.5 << 1 << 60000LL << Sections{{1, 10, 12.5}};
        QTest::newRow("three sections over 10..40")
            << 10.0 << 40.0 << 3 << 60000LL << Sections{{1, 10, 10}, {2, 20, 10}, {3, 30, 10}};
        QTest::newRow("end beyond the source ends at the source's end")
            << 10.0 << 100.0 << 2 << 50000LL << Sections{{1, 10, 20}, {2, 30, 20}};
        QTest::newRow("unknown duration keeps the end")
            << 10.0 << 100.0 << 1 << 0LL << Sections{{1, 10, 90}};
        QTest::newRow("start before the source begins at 0")
            << -3600.0 << 10.0 << 2 << 60000LL << Sections{{1, 0, 5}, {2, 5, 5}};
        QTest::newRow("count 0 plans nothing") << 10.0 << 40.0 << 0 << 60000LL << Sections{};
        QTest::newRow("negative count plans nothing")
            << 10.0 << 40.0 << -2 << 60000LL << Sections{};
    }

    void plan() {
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(int, count);
        QFETCH(qint64, durationMs);
        QFETCH(Sections, expected);

        const Sections actual = PlanSections(start, end, count, durationMs);
        QCOMPARE(actual.size(), expected.size());
        for (qsizetype i = 0; i < actual.size(); ++i) {
            QCOMPARE(actual[i].index, expected[i].index);
            QCOMPARE(actual[i].start, expected[i].start);
            QCOMPARE(actual[i].length, expected[i].length);
        }
    }

    // Equal sections of a range that does not divide evenly still follow one another without
    // gap or overlap and end where the range ends.
    void unevenSectionsTile_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<int>("count");
        QTest::newRow("10 s in 3") << 0.0 << 10.0 << 3;
        QTest::newRow("offset range in 7") << 3.3 << 61.7 << 7;
    }

    void unevenSectionsTile() {
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(int, count);
        const Sections sections = PlanSections(start, end, count, 3600000);
        QCOMPARE(sections.size(), count);
        QCOMPARE(sections.first().start, start);
        for (qsizetype i = 1; i < sections.size(); ++i) {
            QCOMPARE(sections[i].length, sections[0].length);
            QVERIFY(qAbs(sections[i - 1].start + sections[i - 1].length - sections[i].start) <
                    1e-9);
        }
        QVERIFY(qAbs(sections.last().start + sections.last().length - end) < 1e-9);
    }

    void outputPath_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("expected");

        QTest::newRow("folder without separator") << "/out"
                                                  << "/video/holiday.avi" << 1 << ".mp4"
                                                  << "/out/holiday_Clip1.mp4";
        QTest::newRow("folder with separator") << "/out/"
                                               << "/video/holiday.avi" << 12 << ".mp4"
                                               << "/out/holiday_Clip12.mp4";
        QTest::newRow("source without extension") << "/out"
                                                  << "/video/clip" << 2 << ".mp4"
                                                  << "/out/clip_Clip2.mp4";
        QTest::newRow("only the last extension goes") << "/out"
                                                      << "/video/a.b.avi" << 3 << ".mkv"
                                                      << "/out/a.b_Clip3.mkv";
        QTest::newRow("dot in a folder name") << "/out"
                                              << "/my.videos/clip" << 1 << ".mp4"
                                              << "/out/clip_Clip1.mp4";
        QTest::newRow("blanks and non-ASCII kept") << "/Ausgabe Ordner"
                                                   << "/Fotos/Ürlaub 2024.mov" << 1 << ".mp4"
                                                   << "/Ausgabe Ordner/Ürlaub 2024_Clip1.mp4";
    }

    void outputPath() {
        QFETCH(QString, folder);
        QFETCH(QString, source);
        QFETCH(int, index);
        QFETCH(QString, extension);
        QFETCH(QString, expected);
        QCOMPARE(OutputPath(folder, source, index, extension), expected);
    }

    void outputExtension_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("profileExtension");
        QTest::addColumn<bool>("keepSource");
        QTest::addColumn<QString>("expected");

        QTest::newRow("profile's extension") << "/v/holiday.avi"
                                             << ".mp4" << false << ".mp4";
        QTest::newRow("source settings keep the source's") << "/v/holiday.avi"
                                                           << ".mp4" << true << ".avi";
        QTest::newRow("only the last extension") << "/v/a.b.mov"
                                                 << ".mp4" << true << ".mov";
        QTest::newRow("source without extension falls back") << "/v.d/clip"
                                                             << ".mp4" << true << ".mp4";
    }

    void outputExtension() {
        QFETCH(QString, source);
        QFETCH(QString, profileExtension);
        QFETCH(bool, keepSource);
        QFETCH(QString, expected);
        QCOMPARE(OutputExtension(source, profileExtension, keepSource), expected);
    }

    void partFileSitsBesideTheClip() {
        QCOMPARE(PartFilePath(QStringLiteral("/out/holiday_Clip1.mp4"), 4242),
                 QStringLiteral("/out/.holiday_Clip1.mp4.4242.part"));
    }
};

QTEST_GUILESS_MAIN(TestSectionPlan)
#include "test_section_plan.moc"
