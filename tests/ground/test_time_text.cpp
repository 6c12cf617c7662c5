// Time texts in both directions and the path operations, one table per function.
#include "ground/time_text.h"

#include <QLocale>
#include <QTest>
#include <limits>

using namespace segmora;

class TestTimeText : public QObject {
    Q_OBJECT
private slots:
    void secondsToText_data();
    void secondsToText();
    void textToSeconds_data();
    void textToSeconds();
    void localeSeparator_data();
    void localeSeparator();
    void roundTrip_data();
    void roundTrip();
    void markText_data();
    void markText();
    void markTextReadsBack_data();
    void markTextReadsBack();
    void frameMark_data();
    void frameMark();
    void trailingSeparator_data();
    void trailingSeparator();
    void stripExtension_data();
    void stripExtension();
    void baseName_data();
    void baseName();
};

void TestTimeText::secondsToText_data() {
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "00:00:00";
    QTest::newRow("fraction dropped, not rounded") << 59.9 << "00:00:59";
    QTest::newRow("one hour two minutes five") << 3725.0 << "01:02:05";
    QTest::newRow("hours grow past two digits") << 360000.0 << "100:00:00";
    QTest::newRow("just under a minute boundary") << 119.999 << "00:01:59";
    QTest::newRow("a day") << 86400.0 << "24:00:00";
    QTest::newRow("negative fraction truncates toward zero") << -0.5 << "00:00:00";
    QTest::newRow("negative keeps its sign in front") << -65.0 << "-00:01:05";
    QTest::newRow("NaN shows zero") << std::numeric_limits<double>::quiet_NaN() << "00:00:00";
    QTest::newRow("infinity is clamped, not undefined")
        << std::numeric_limits<double>::infinity() << "2555555555555555:33:20";
}

void TestTimeText::secondsToText() {
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(SecondsToTimeText(seconds), text);
}

void TestTimeText::textToSeconds_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("seconds");
    QTest::newRow("zero") << "00:00:00" << 0.0;
    QTest::newRow("single digits") << "0:0:0" << 0.0;
    QTest::newRow("long hours and a fraction") << "000:00:00.0" << 0.0;
    QTest::newRow("1:2:3") << "1:2:3" << 3723.0;
    QTest::newRow("fraction kept") << "00:01:02.25" << 62.25;
    QTest::newRow("separator after digits") << "00:00:5." << 5.0;
    QTest::newRow("minutes past sixty") << "00:90:00" << 5400.0;
    QTest::newRow("seconds past sixty") << "00:00:75" << 75.0;
    QTest::newRow("negative hours are valid") << "-1:00:00" << -3600.0;
    QTest::newRow("plus sign") << "+1:00:00" << 3600.0;
    QTest::newRow("leading blanks") << " 1: 2: 3" << 3723.0;
    QTest::newRow("hours beyond 32-bit product do not wrap") << "1000000:00:00" << 3.6e9;
    QTest::newRow("negative seconds -1 is the invalid mark") << "00:00:-1" << -1.0;
    QTest::newRow("negative seconds otherwise count") << "00:00:-2" << -2.0;
    QTest::newRow("no colon") << "1230" << -1.0;
    QTest::newRow("one colon") << "12:30" << -1.0;
    QTest::newRow("empty hours") << "::5" << -1.0;
    QTest::newRow("empty minutes") << "1::5" << -1.0;
    QTest::newRow("empty seconds") << "1:2:" << -1.0;
    QTest::newRow("seconds begin with a dot") << "00:00:.5" << -1.0;
    QTest::newRow("third colon lands in seconds") << "1:2:3:4" << -1.0;
    QTest::newRow("empty text") << "" << -1.0;
    QTest::newRow("letters") << "aa:bb:cc" << -1.0;
    QTest::newRow("trailing blank after seconds") << "0:1:2 " << 62.0;
    QTest::newRow("blank inside seconds") << "0:1:2 5" << -1.0;
    QTest::newRow("trailing blank in hours") << "1 :2:3" << -1.0;
    QTest::newRow("fraction in minutes") << "0:1.5:0" << -1.0;
    QTest::newRow("hours beyond 32 bits") << "2147483648:00:00" << -1.0;
    QTest::newRow("largest 32-bit hours") << "2147483647:00:00" << 2147483647.0 * 3600;
    QTest::newRow("two separators") << "0:0:1.2.3" << -1.0;
    QTest::newRow("exponent is no decimal number") << "0:0:1e2" << -1.0;
    QTest::newRow("sign alone") << "0:0:-" << -1.0;
    QTest::newRow("nan is no number") << "0:0:nan" << -1.0;
}

void TestTimeText::textToSeconds() {
    QFETCH(QString, text);
    QFETCH(double, seconds);
    QCOMPARE(TimeTextToSeconds(text), seconds);
}

void TestTimeText::localeSeparator_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("seconds");
    QTest::newRow("locale comma") << "00:00:01,5" << 1.5;
    QTest::newRow("dot still works") << "00:00:01.5" << 1.5;
    QTest::newRow("comma may not begin") << "00:00:,5" << -1.0;
}

void TestTimeText::localeSeparator() {
    QFETCH(QString, text);
    QFETCH(double, seconds);
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const double result = TimeTextToSeconds(text);
    QLocale::setDefault(previous);
    QCOMPARE(result, seconds);
}

void TestTimeText::roundTrip_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("written");
    QTest::newRow("padded again") << "1:2:3"
                                  << "01:02:03";
    QTest::newRow("fraction dropped") << "0:0:9.99"
                                      << "00:00:09";
    QTest::newRow("minutes carried") << "0:61:0"
                                     << "01:01:00";
}

void TestTimeText::roundTrip() {
    QFETCH(QString, text);
    QFETCH(QString, written);
    QCOMPARE(SecondsToTimeText(TimeTextToSeconds(text)), written);
}

void TestTimeText::markText_data() {
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole second keeps the short look") << 4.0 << "00:00:04";
    QTest::newRow("zero") << 0.0 << "00:00:00";
    QTest::newRow("milliseconds") << 4.72 << "00:00:04.720";
    QTest::newRow("one millisecond") << 0.001 << "00:00:00.001";
    QTest::newRow("binary noise below") << 4.7199999999 << "00:00:04.720";
    QTest::newRow("rounded to the nearest millisecond") << 3.5004 << "00:00:03.500";
    QTest::newRow("rounding up carries into the second") << 59.9996 << "00:01:00";
    QTest::newRow("hours and a fraction") << 3725.04 << "01:02:05.040";
    QTest::newRow("negative fraction keeps its sign") << -0.25 << "-00:00:00.250";
    QTest::newRow("negative whole") << -65.0 << "-00:01:05";
    QTest::newRow("NaN shows zero") << std::numeric_limits<double>::quiet_NaN() << "00:00:00";
}

void TestTimeText::markText() {
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(SecondsToMarkText(seconds), text);
}

void TestTimeText::markTextReadsBack_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<double>("seconds");
    QTest::newRow("half a second") << "00:00:03.5"
                                   << "00:00:03.500" << 3.5;
    QTest::newRow("short form") << "0:0:4.72"
                                << "00:00:04.720" << 4.72;
    QTest::newRow("beyond milliseconds is rounded") << "0:0:1.23456"
                                                    << "00:00:01.235" << 1.235;
    QTest::newRow("zero fraction is a whole second") << "0:1:2.000"
                                                     << "00:01:02" << 62.0;
    QTest::newRow("carried minutes") << "0:61:0.25"
                                     << "01:01:00.250" << 3660.25;
}

void TestTimeText::markTextReadsBack() {
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(double, seconds);
    const QString text = SecondsToMarkText(TimeTextToSeconds(typed));
    QCOMPARE(text, written);
    QCOMPARE(TimeTextToSeconds(text), seconds);
    QCOMPARE(SecondsToMarkText(TimeTextToSeconds(text)), text);
}

void TestTimeText::frameMark_data() {
    QTest::addColumn<double>("frame");
    QTest::addColumn<double>("mark");
    QTest::newRow("exact millisecond") << 4.72 << 4.72;
    QTest::newRow("noise just below") << 4.7199999 << 4.72;
    QTest::newRow("noise just above") << 4.7200000001 << 4.72;
    QTest::newRow("NTSC frame rounds up, never before the frame") << 4.771433 << 4.772;
    QTest::newRow("whole second") << 2.0 << 2.0;
    QTest::newRow("start") << 0.0 << 0.0;
}

void TestTimeText::frameMark() {
    QFETCH(double, frame);
    QFETCH(double, mark);
    QCOMPARE(FrameMarkSeconds(frame), mark);
    QVERIFY(FrameMarkSeconds(frame) >= frame - 1e-6);
}

void TestTimeText::trailingSeparator_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("result");
    QTest::newRow("root unchanged") << "/"
                                    << "/";
    QTest::newRow("one added") << "/home/u/Out"
                               << "/home/u/Out/";
    QTest::newRow("already there") << "/home/u/Out/"
                                   << "/home/u/Out/";
    QTest::newRow("only the last is looked at") << "/a//"
                                                << "/a//";
    QTest::newRow("relative") << "Out"
                              << "Out/";
    QTest::newRow("empty stays empty, never the root") << ""
                                                       << "";
}

void TestTimeText::trailingSeparator() {
    QFETCH(QString, folder);
    QFETCH(QString, result);
    QCOMPARE(WithTrailingSeparator(folder), result);
}

void TestTimeText::stripExtension_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("result");
    QTest::newRow("no extension") << "clip"
                                  << "clip";
    QTest::newRow("last extension only") << "a.b.avi"
                                         << "a.b";
    QTest::newRow("upper-case extension") << "Fast.APF"
                                          << "Fast";
    QTest::newRow("final full stop kept in display name") << "Settings of the source file..apf"
                                                          << "Settings of the source file.";
    QTest::newRow("trailing dot") << "name."
                                  << "name";
    QTest::newRow("dot first") << ".hidden"
                               << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestTimeText::stripExtension() {
    QFETCH(QString, name);
    QFETCH(QString, result);
    QCOMPARE(StripExtension(name), result);
}

void TestTimeText::baseName_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("result");
    QTest::newRow("plain path") << "/videos/holiday.mp4"
                                << "holiday";
    QTest::newRow("dotted folder is not an extension") << "/my.videos/clip"
                                                       << "clip";
    QTest::newRow("several dots") << "/v/a.b.avi"
                                  << "a.b";
    QTest::newRow("no folder") << "clip.MOV"
                               << "clip";
    QTest::newRow("folder only") << "/videos/"
                                 << "";
}

void TestTimeText::baseName() {
    QFETCH(QString, path);
    QFETCH(QString, result);
    QCOMPARE(BaseName(path), result);
}

QTEST_APPLESS_MAIN(TestTimeText)
#include "test_time_text.moc"
