// The converter's command line for one section: the logged text and the real argument vector.
#include "job/converter_command.h"

#include <QLocale>
#include <QtTest>
#include <clocale>

using namespace segmora;

class TestConverterCommand : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Numbers for the converter must not follow the user's locale.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        std::setlocale(LC_ALL, "de_DE.UTF-8");
    }

    void number_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << 10.0 << "10";
        QTest::newRow("fraction") << 12.5 << "12.5";
        QTest::newRow("a third of 10") << 10.0 / 3 << "3.33333333333333";
        QTest::newRow("two thirds of 10") << 20.0 / 3 << "6.66666666666667";
        QTest::newRow("start of a rounding-error section") << (3 - 1) * 0.1 + 0.1 << "0.3";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("just above the exponent limit") << 0.0001 << "0.0001";
        QTest::newRow("below 0.0001 uses an exponent") << 0.00001 << "1e-05";
        QTest::newRow("long but whole") << 123456789012345.0 << "123456789012345";
    }

    void number() {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(FormatConverterNumber(value), expected);
    }

    void commandText_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("length");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("expected");

        QTest::newRow("holiday clip")
            << "D:\\Video\\holiday.avi" << 10.0 << 12.5 << ""
            << "E:\\Out\\holiday_Clip1.mp4"
            << " -y -i \"D:\\Video\\holiday.avi\" -ss 10 -t 12.5 \"E:\\Out\\holiday_Clip1.mp4\"";
        QTest::newRow("start keeps its precision")
            << "/v/a.avi" << 10.0 / 3 << 10.0 / 3 << " -vcodec libx264"
            << "/o/a_Clip2.mp4"
            << " -y -i \"/v/a.avi\" -ss 3.33333333333333 -t 3.33333333333333 -vcodec libx264 "
               "\"/o/a_Clip2.mp4\"";
    }

    void commandText() {
        QFETCH(QString, source);
        QFETCH(double, start);
        QFETCH(double, length);
        QFETCH(QString, profile);
        QFETCH(QString, output);
        QFETCH(QString, expected);
        QCOMPARE(ConverterCommandText({source, start, length, profile, output}), expected);
    }

    void arguments_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("followed"); // another section starts where this one ends

        QTest::newRow("no profile arguments")
            << "/v/holiday.avi"
            << ""
            << "/o/holiday_Clip1.mp4"
            << QStringList{"-y", "-i", "/v/holiday.avi", "-ss",
                           "10", "-t", "12.5",           "/o/holiday_Clip1.mp4"}
            << false;
        QTest::newRow("blanks, quotes and non-ASCII stay in one path argument")
            << "/v/my \"best\" Ürlaub.avi"
            << " -b:v 800k"
            << "/o dir/it's_Clip1.mp4"
            << QStringList{"-y",   "-i",   "/v/my \"best\" Ürlaub.avi", "-ss", "10", "-t", "12.5",
                           "-b:v", "800k", "/o dir/it's_Clip1.mp4"}
            << false;
        QTest::newRow("runs of blanks and a value with several tokens")
            << "/v/a.avi"
            << " -vf  scale=320:240   -an  -x264opts a=1 b=2 "
            << "/o/a_Clip1.mp4"
            << QStringList{"-y",        "-i",   "/v/a.avi", "-ss",           "10",
                           "-t",        "12.5", "-vf",      "scale=320:240", "-an",
                           "-x264opts", "a=1",  "b=2",      "/o/a_Clip1.mp4"}
            << false;
        QTest::newRow("quotes in the profile are not interpreted")
            << "/v/a.avi"
            << " -metadata title=\"My clip\""
            << "/o/a_Clip1.mp4" << QStringList{"-y",         "-i",     "/v/a.avi",      "-ss",
                                               "10",         "-t",     "12.5",          "-metadata",
                                               "title=\"My", "clip\"", "/o/a_Clip1.mp4"}
            << false;
        QTest::newRow("a flag without value")
            << "/v/a.avi"
            << " -an "
            << "/o/a_Clip1.mp4" << QStringList{"-y", "-i",   "/v/a.avi", "-ss",           "10",
                                               "-t", "12.5", "-an",      "/o/a_Clip1.mp4"}
            << false;
        // A clip of a codec without an exact cut then ends where the next one starts.
        QTest::newRow("followed by another section")
            << "/v/a.wmv"
            << " -c copy -cut exact"
            << "/o/a_Clip1.wmv" << QStringList{"-y",
                                               "-i",
                                               "/v/a.wmv",
                                               "-ss",
                                               "10",
                                               "-t",
                                               "12.5",
                                               "-c",
                                               "copy",
                                               "-cut",
                                               "exact",
                                               "-tile",
                                               "/o/a_Clip1.wmv"}
            << true;
    }

    void arguments() {
        QFETCH(QString, source);
        QFETCH(QString, profile);
        QFETCH(QString, output);
        QFETCH(QStringList, expected);
        QFETCH(bool, followed);
        QCOMPARE(ConverterArguments({source, 10, 12.5, profile, output, followed}), expected);
    }
};

QTEST_GUILESS_MAIN(TestConverterCommand)
#include "test_converter_command.moc"
