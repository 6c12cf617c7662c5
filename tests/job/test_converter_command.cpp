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
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");

        QTest::newRow("holiday clip")
            << "D:\\Video\\holiday.avi" << 10.0 << 12.5 << ""
            << "E:\\Out\\holiday_Clip1.mp4"
            << "MP4"
            << " -y -i \"D:\\Video\\holiday.avi\" -ss 10 -t 12.5 -profile \"MP4\" "
               "\"E:\\Out\\holiday_Clip1.mp4\"";
        QTest::newRow("start keeps its precision")
            << "/v/a.avi" << 10.0 / 3 << 10.0 / 3 << " -vcodec libx264"
            << "/o/a_Clip2.mp4"
            << "Settings of the source file."
            << " -y -i \"/v/a.avi\" -ss 3.33333333333333 -t 3.33333333333333 -profile \"Settings "
               "of the source file.\" -vcodec libx264 \"/o/a_Clip2.mp4\"";
    }

    void commandText() {
        QFETCH(QString, source);
        QFETCH(double, start);
        QFETCH(double, length);
        QFETCH(QString, profile);
        QFETCH(QString, output);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(ConverterCommandText({source, start, length, profile, output, name}), expected);
    }

    // Everything the profile gives comes after "-profile NAME", so the converter can tell the
    // job's own source, range and output from the profile's and refuse a profile that names
    // them again.
    void arguments_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("followed"); // another section starts where this one ends
        QTest::addColumn<QStringList>("expected");

        const QStringList job{"-y", "-i", "/v/a.avi", "-ss", "10", "-t", "12.5", "-profile"};
        QTest::newRow("no profile arguments")
            << "/v/holiday.avi"
            << "MP4"
            << ""
            << "/o/holiday_Clip1.mp4" << false
            << QStringList{"-y", "-i",   "/v/holiday.avi", "-ss", "10",
                           "-t", "12.5", "-profile",       "MP4", "/o/holiday_Clip1.mp4"};
        QTest::newRow("blanks, quotes and non-ASCII stay in one path argument")
            << "/v/my \"best\" Ürlaub.avi"
            << "MP4"
            << " -b:v 800k"
            << "/o dir/it's_Clip1.mp4" << false
            << QStringList{"-y",   "-i",       "/v/my \"best\" Ürlaub.avi",
                           "-ss",  "10",       "-t",
                           "12.5", "-profile", "MP4",
                           "-b:v", "800k",     "/o dir/it's_Clip1.mp4"};
        QTest::newRow("a profile name with blanks is one argument")
            << "/v/a.avi"
            << "Settings of the source file."
            << " -c copy"
            << "/o/a_Clip1.mp4" << false
            << job + QStringList{"Settings of the source file.", "-c", "copy", "/o/a_Clip1.mp4"};
        QTest::newRow("runs of blanks and a value with several tokens")
            << "/v/a.avi"
            << "MP4"
            << " -vf  scale=320:240   -an  -x264opts a=1 b=2 "
            << "/o/a_Clip1.mp4" << false
            << job + QStringList{"MP4",       "-vf", "scale=320:240", "-an",
                                 "-x264opts", "a=1", "b=2",           "/o/a_Clip1.mp4"};
        QTest::newRow("quotes in the profile are not interpreted")
            << "/v/a.avi"
            << "MP4"
            << " -metadata title=\"My clip\""
            << "/o/a_Clip1.mp4" << false
            << job + QStringList{"MP4", "-metadata", "title=\"My", "clip\"", "/o/a_Clip1.mp4"};
        QTest::newRow("a flag without value")
            << "/v/a.avi"
            << "MP4"
            << " -an "
            << "/o/a_Clip1.mp4" << false << job + QStringList{"MP4", "-an", "/o/a_Clip1.mp4"};
        QTest::newRow("a profile's own -i stays behind the marker")
            << "/v/a.avi"
            << "Shared"
            << " -i other.mp4 -ss 5"
            << "/o/a_Clip1.mp4" << false
            << job + QStringList{"Shared", "-i", "other.mp4", "-ss", "5", "/o/a_Clip1.mp4"};
        // A clip of a codec without an exact cut then ends where the next one starts; the job
        // says so among its own options, before the profile's.
        QTest::newRow("followed by another section")
            << "/v/a.avi"
            << "Settings of the source file."
            << " -c copy -cut exact"
            << "/o/a_Clip1.avi" << true
            << QStringList{"-y", "-i",   "/v/a.avi", "-ss",      "10",
                           "-t", "12.5", "-tile",    "-profile", "Settings of the source file.",
                           "-c", "copy", "-cut",     "exact",    "/o/a_Clip1.avi"};
    }

    void arguments() {
        QFETCH(QString, source);
        QFETCH(QString, name);
        QFETCH(QString, profile);
        QFETCH(QString, output);
        QFETCH(bool, followed);
        QFETCH(QStringList, expected);
        const ConverterCall call{source, 10, 12.5, profile, output, name, followed};
        QCOMPARE(ConverterArguments(call), expected);
    }

    // A clip joining a cut list's ranges: each range an argument of its own, in full precision,
    // its label cleaned to one line, and neither -ss nor -t.
    void joinedArguments() {
        ConverterCall call{"/v/a.mp4", 1, 2, " -c copy", "/o/a_Clip1.mp4", "MP4"};
        call.joined = {{10.0 / 3, 12.5, QStringLiteral("Intro: \"hall\"\nand stairs")},
                       {60, 90, QString()}};
        QCOMPARE(ConverterArguments(call),
                 (QStringList{"-y", "-i", "/v/a.mp4", "-range",
                              "3.3333333333333335:12.5:Intro: \"hall\" and stairs", "-range",
                              "60:90", "-profile", "MP4", "-c", "copy", "/o/a_Clip1.mp4"}));
        QCOMPARE(ConverterCommandText(call),
                 QStringLiteral(" -y -i \"/v/a.mp4\" -range \"3.3333333333333335:12.5:Intro: "
                                "\"hall\" and stairs\" -range \"60:90\" -profile \"MP4\" -c copy "
                                "\"/o/a_Clip1.mp4\""));
    }
};

QTEST_GUILESS_MAIN(TestConverterCommand)
#include "test_converter_command.moc"
