// Converter arguments from a profile file and its current values.
#include "profile_test_util.h"
#include "profiles/profile_arguments.h"

#include <QTemporaryDir>
#include <QTest>

using namespace segmora;

namespace {

// Four parameters: a read-only codec, a size list, a typed bit rate and an audio switch.
const QByteArray kFourParameters = "[Main]\nPara=4\n0=Video Codec\n1=Video Size\n2=Bit Rate\n"
                                   "3=Disable Audio\n"
                                   "[Video Codec]\nSort=1\nList=0\nReadOnly=1\ncmd=E\nCaption=P\n"
                                   "Value=Q\n"
                                   "[Video Size]\nSort=1\nList=1\ncmd=F\n"
                                   "Caption=Original Size,Custom Size,\nValue=,,\n"
                                   "[Bit Rate]\nSort=1\nList=0\nReadOnly=0\ncmd=H\n"
                                   "[Disable Audio]\nSort=2\nList=1\ncmd=G\nCaption=No,Yes,\n"
                                   "Value=,\\,\n";

// A switch followed by another piece, a list with real values, a flag-less parameter, a
// parameter with several tokens in its flag and a broken one in between.
const QByteArray kMixed = "[Main]\nPara=6\n0=Disable Video\n1=Quality\n2=Broken\n3=Note\n"
                          "4=Volumn\n5=Deinterlace\n"
                          "[Disable Video]\nSort=1\ncmd=-vn\nCaption=No,Yes,\nValue=,\\,\n"
                          "Index=1\n"
                          "[Quality]\nSort=1\ncmd=-b:v\nCaption=Low,High,\nValue=500k,2M,\n"
                          "[Broken]\nSort=7\nList=0\ncmd=-x\nCaption=y\n"
                          "[Note]\nSort=3\nList=0\nCaption=shown only\n"
                          "[Volumn]\nSort=2\nList=0\ncmd=-af volume=2 -vol\nCaption=256\n"
                          "[Deinterlace]\nSort=3\nReadOnly=1\ncmd=-deinterlace\n"
                          "Caption=No,Yes,\nValue=,\\,\nIndex=1\n";

} // namespace

class TestProfileArguments : public QObject {
    Q_OBJECT
private slots:
    void arguments_data();
    void arguments();
    void missingFileGivesNothing();
    void structureFromFileValuesFromRows();
};

void TestProfileArguments::arguments_data() {
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<QString>("edits");
    QTest::addColumn<QString>("expected");

    QTest::newRow("four parameters as loaded") << kFourParameters << ""
                                               << " E Q";
    QTest::newRow("custom size, typed rate, audio off")
        << kFourParameters << "Video Size=640x480|Bit Rate=800|Disable Audio=Yes"
        << " E Q F 640x480 H 800 G ";
    QTest::newRow("Original Size sends nothing")
        << kFourParameters << "Video Size=Original Size|Bit Rate=800"
        << " E Q H 800";
    QTest::newRow("caption matched without case")
        << kFourParameters << "Video Size=ORIGINAL SIZE|Disable Audio=yes"
        << " E Q G ";
    QTest::newRow("read-only text sends Value, not the edited grid")
        << kFourParameters << "Video Codec=Z"
        << " E Q";
    QTest::newRow("typed value with blanks passes unquoted")
        << kFourParameters << "Bit Rate=800k -maxrate 1M"
        << " E Q H 800k -maxrate 1M";
    QTest::newRow("backslash value: flag alone, next piece after two blanks")
        << kMixed << "Quality=high"
        << " -vn  -b:v 2M -af volume=2 -vol 256 -deinterlace ";
    QTest::newRow("grid value that is no choice is sent itself")
        << kMixed << "Disable Video=No|Quality=900k|Volumn="
        << " -b:v 900k -deinterlace ";
    QTest::newRow("no parameters") << QByteArray("[Main]\nType=avi\n") << ""
                                   << "";
    QTest::newRow("only flag-less or value-less parameters")
        << QByteArray("[Main]\nPara=2\n0=A\n1=B\n[A]\nSort=1\nList=0\nCaption=x\n"
                      "[B]\nSort=1\nList=0\ncmd=-b\n")
        << ""
        << "";
}

void TestProfileArguments::arguments() {
    QFETCH(QByteArray, profile);
    QFETCH(QString, edits);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.apf"));
    QVERIFY(test::writeText(path, profile));
    ProfileValues owned;
    QVERIFY(LoadProfile(path, owned));
    test::applyEdits(owned, edits);
    QCOMPARE(BuildProfileArguments(path, owned), expected);
}

void TestProfileArguments::missingFileGivesNothing() {
    QTemporaryDir dir;
    ProfileValues owned;
    owned.append(ProfileValues::kVideo, {QStringLiteral("Bit Rate"), QStringLiteral("800")});
    QCOMPARE(BuildProfileArguments(dir.filePath(QStringLiteral("none.apf")), owned), QString());
}

// The values may hold another profile's rows (picked in the editor's own list): values are
// looked up by name, and a name without a row counts as empty.
void TestProfileArguments::structureFromFileValuesFromRows() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.apf"));
    QVERIFY(test::writeText(path, kFourParameters));
    ProfileValues owned;
    owned.append(ProfileValues::kVideo, {QStringLiteral("bit rate"), QStringLiteral("1500")});
    owned.append(ProfileValues::kAudio, {QStringLiteral("Other"), QStringLiteral("Yes")});
    QCOMPARE(BuildProfileArguments(path, owned), QStringLiteral(" E Q H 1500"));
}

QTEST_MAIN(TestProfileArguments)
#include "test_profile_arguments.moc"
