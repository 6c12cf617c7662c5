// Reading and saving Preferences.ini: defaults, unreadable values, the two sections, save order
// and refused writes.
#include "ground/app_error.h"
#include "ground/ini_file.h"
#include "ground/preferences.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace segmora;

namespace {

// Stands for the program folder in the expected "Output Dir" of a table row.
const QString kProgramFolderToken = QStringLiteral("<program folder>");
// Stands for "no Preferences.ini at all" in the content column.
const QByteArray kNoFile = QByteArrayLiteral("<no file>");

// Every case says exactly what the file holds: the shipped file is replaced or removed.
void putPreferences(const test::TempProgramFolder& folder, const QByteArray& content) {
    const QString path = folder.context().preferencesPath();
    QFile::remove(path);
    if (content != kNoFile)
        folder.writeFile(QStringLiteral("Preferences.ini"), content);
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The check boxes as six characters, in the order Preview, Overwrite, Aptotic, Auto Open Dir,
// Auto Exit, Auto Turn Off ("1" ticked, "0" not).
PreferenceValues expected(const QString& flags, const QString& outputDir,
                          const QString& programFolder) {
    Q_ASSERT(flags.size() == 6);
    PreferenceValues values;
    values.preview = flags[0] == QLatin1Char('1');
    values.overwrite = flags[1] == QLatin1Char('1');
    values.aptotic = flags[2] == QLatin1Char('1');
    values.autoOpenDir = flags[3] == QLatin1Char('1');
    values.autoExit = flags[4] == QLatin1Char('1');
    values.autoTurnOff = flags[5] == QLatin1Char('1');
    values.outputDir = outputDir == kProgramFolderToken ? programFolder : outputDir;
    return values;
}

QString describe(const PreferenceValues& v) {
    return QStringLiteral("preview=%1 overwrite=%2 aptotic=%3 dir='%4' open=%5 exit=%6 off=%7")
        .arg(v.preview)
        .arg(v.overwrite)
        .arg(v.aptotic)
        .arg(v.outputDir)
        .arg(v.autoOpenDir)
        .arg(v.autoExit)
        .arg(v.autoTurnOff);
}

const QByteArray kAllOffMain =
    "[Main]\nPreview=0\nOverwrite=0\nAptotic=0\nOutput Dir=/videos/out/\n"
    "Auto Open Dir=0\nAuto Exit=0\nAuto Turn Off=0\nProfile=2\n";

} // namespace

class TestPreferences : public QObject {
    Q_OBJECT

private slots:
    void readsValues_data();
    void readsValues();
    void readsProfileIndexFromMainOnly_data();
    void readsProfileIndexFromMainOnly();
    void readsAptoticNow_data();
    void readsAptoticNow();
    void savesToMainInOrder();
    void saveKeepsEverythingElseAndReadsBack();
    void refusedWriteRaisesWithThePath();
    void refusedWriteStopsAtThatKey();
    void fullDiskKeepsTheOldFile();
    void savedProfileChoice_data();
    void savedProfileChoice();
};

void TestPreferences::readsValues_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("loadDefaults");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("outputDir");

    const QString program = kProgramFolderToken;
    // A lost file must never turn the machine off: five boxes ticked, "Auto Turn Off" not.
    QTest::newRow("no file") << kNoFile << false << "111110" << program;
    QTest::newRow("no file, defaults") << kNoFile << true << "111110" << program;
    QTest::newRow("empty file") << QByteArray() << false << "111110" << program;
    QTest::newRow("all off") << kAllOffMain << false << "000000"
                             << "/videos/out/";
    QTest::newRow("all on") << QByteArray("[Main]\nPreview=1\nOverwrite=1\nAptotic=1\n"
                                          "Auto Open Dir=1\nAuto Exit=1\nAuto Turn Off=1\n")
                            << false << "111111" << program;
    QTest::newRow("any non-zero integer is on")
        << QByteArray("[Main]\nOverwrite=-7\nAuto Turn Off=0x10\n") << false << "111111" << program;
    QTest::newRow("yes reads as the default")
        << QByteArray("[Main]\nAuto Exit=yes\n") << false << "111110" << program;
    QTest::newRow("false reads as the default")
        << QByteArray("[Main]\nAuto Exit=false\n") << false << "111110" << program;
    QTest::newRow("empty value reads as the default")
        << QByteArray("[Main]\nAuto Exit=\n") << false << "111110" << program;
    QTest::newRow("0 is off") << QByteArray("[Main]\nAuto Exit=0\n") << false << "111100"
                              << program;
    QTest::newRow("0x0 is off") << QByteArray("[Main]\nAuto Exit=0x0\n") << false << "111100"
                                << program;
    QTest::newRow("turn off unreadable stays off")
        << QByteArray("[Main]\nAuto Turn Off=yes\n") << false << "111110" << program;
    QTest::newRow("names ignore letter case")
        << QByteArray("[MAIN]\nauto exit=0\nOUTPUT DIR=/v/\n") << false << "111100"
        << "/v/";
    QTest::newRow("present empty folder stays empty")
        << QByteArray("[Main]\nOutput Dir=\n") << false << "111110"
        << "";
    QTest::newRow("folder kept as written")
        << QByteArray("[Main]\nOutput Dir=/videos/no separator\n") << false << "111110"
        << "/videos/no separator";
    QTest::newRow("main ignores the factory values")
        << QByteArray("[Default]\nPreview=0\nOverwrite=0\nOutput Dir=/factory/\n") << false
        << "111110" << program;
    QTest::newRow("factory values")
        << QByteArray(kAllOffMain + "[Default]\nPreview=1\nOverwrite=0\nAptotic=1\n"
                                    "Output Dir=/factory/\nAuto Open Dir=0\nAuto Exit=1\n"
                                    "Auto Turn Off=1\n")
        << true << "101011"
        << "/factory/";
    QTest::newRow("no factory section gives the defaults")
        << kAllOffMain << true << "111110" << program;
    QTest::newRow("factory section without turn off")
        << QByteArray("[Default]\nOverwrite=0\n") << true << "101110" << program;
}

void TestPreferences::readsValues() {
    QFETCH(QByteArray, content);
    QFETCH(bool, loadDefaults);
    QFETCH(QString, flags);
    QFETCH(QString, outputDir);

    test::TempProgramFolder folder;
    putPreferences(folder, content);
    const PreferenceValues read = ReadPreferenceValues(folder.context(), loadDefaults);
    const PreferenceValues want = expected(flags, outputDir, folder.path());
    QVERIFY2(read == want, qPrintable(describe(read) + QStringLiteral(" != ") + describe(want)));
}

void TestPreferences::readsProfileIndexFromMainOnly_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("index");

    QTest::newRow("no file") << kNoFile << 0;
    QTest::newRow("saved") << QByteArray("[Main]\nProfile=3\n") << 3;
    QTest::newRow("none selected") << QByteArray("[Main]\nProfile=-1\n") << -1;
    QTest::newRow("hexadecimal") << QByteArray("[Main]\nProfile=0x10\n") << 16;
    QTest::newRow("unreadable") << QByteArray("[Main]\nProfile=second\n") << 0;
    QTest::newRow("factory section is never read") << QByteArray("[Default]\nProfile=4\n") << 0;
}

void TestPreferences::readsProfileIndexFromMainOnly() {
    QFETCH(QByteArray, content);
    QFETCH(int, index);

    test::TempProgramFolder folder;
    putPreferences(folder, content);
    QCOMPARE(ReadSavedProfileIndex(folder.context()), index);
}

void TestPreferences::readsAptoticNow_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("aptotic");

    QTest::newRow("no file") << kNoFile << true;
    QTest::newRow("off") << QByteArray("[Main]\nAptotic=0\n") << false;
    QTest::newRow("on") << QByteArray("[Main]\nAptotic=1\n") << true;
    QTest::newRow("unreadable") << QByteArray("[Main]\nAptotic=no\n") << true;
    QTest::newRow("factory section is never read") << QByteArray("[Default]\nAptotic=0\n") << true;
}

void TestPreferences::readsAptoticNow() {
    QFETCH(QByteArray, content);
    QFETCH(bool, aptotic);

    test::TempProgramFolder folder;
    putPreferences(folder, content);
    QCOMPARE(ReadAptoticNow(folder.context()), aptotic);
}

void TestPreferences::savesToMainInOrder() {
    test::TempProgramFolder folder;
    putPreferences(folder, kNoFile);
    PreferenceValues values;
    values.preview = true;
    values.overwrite = false;
    values.aptotic = true;
    values.outputDir = QStringLiteral("/videos/typed");
    values.autoOpenDir = false;
    values.autoExit = true;
    values.autoTurnOff = false;

    WritePreferenceValues(folder.context(), values, -1, QString());

    QStringList lines;
    for (const QByteArray& line : fileBytes(folder.context().preferencesPath()).split('\n')) {
        if (!line.trimmed().isEmpty())
            lines << QString::fromUtf8(line.trimmed());
    }
    const QStringList want = {QStringLiteral("[Main]"),
                              QStringLiteral("Preview=1"),
                              QStringLiteral("Overwrite=0"),
                              QStringLiteral("Aptotic=1"),
                              QStringLiteral("Output Dir=/videos/typed"),
                              QStringLiteral("Auto Open Dir=0"),
                              QStringLiteral("Auto Exit=1"),
                              QStringLiteral("Auto Turn Off=0"),
                              QStringLiteral("Profile=-1"),
                              QStringLiteral("Profile Name=")};
    QCOMPARE(lines, want);
}

void TestPreferences::saveKeepsEverythingElseAndReadsBack() {
    test::TempProgramFolder folder;
    putPreferences(folder, "[Main]\nVersion=2.0 beta\nAuto Turn Off=1\n"
                           "[Default]\nPreview=0\nOutput Dir=/factory/\n");
    PreferenceValues values;
    values.overwrite = false;
    values.outputDir = QString();
    values.autoTurnOff = false;

    WritePreferenceValues(folder.context(), values, 4, QStringLiteral("Fast"));

    const IniFile file(folder.context().preferencesPath());
    QCOMPARE(file.readString(QStringLiteral("Main"), QStringLiteral("Version"), QString()),
             QStringLiteral("2.0 beta"));
    QCOMPARE(file.readString(QStringLiteral("Default"), QStringLiteral("Output Dir"), QString()),
             QStringLiteral("/factory/"));
    QCOMPARE(file.readBool(QStringLiteral("Default"), QStringLiteral("Preview"), true), false);
    // An empty folder is saved as a present empty value, which reads back empty.
    QVERIFY(ReadPreferenceValues(folder.context(), false) == values);
    QCOMPARE(ReadSavedProfileIndex(folder.context()), 4);
    QCOMPARE(file.readString(QStringLiteral("Main"), QStringLiteral("Profile Name"), QString()),
             QStringLiteral("Fast"));
}

void TestPreferences::refusedWriteRaisesWithThePath() {
    test::TempProgramFolder folder;
    const QString path = folder.context().preferencesPath();
    putPreferences(folder, kNoFile);
    QVERIFY(QDir().mkdir(path));

    try {
        WritePreferenceValues(folder.context(), DefaultPreferenceValues(folder.context()), 0,
                              QString());
        QFAIL("the write was not refused");
    } catch (const AppError& error) {
        QCOMPARE(error.message(), QStringLiteral("Unable to write to ") + path);
    }
}

void TestPreferences::refusedWriteStopsAtThatKey() {
    test::TempProgramFolder folder;
    const QString path = folder.context().preferencesPath();
    putPreferences(folder, kAllOffMain);

    // The disk takes the first three keys and then refuses.
    int writes = 0;
    const FileWriter previous =
        SetFileWriterForTesting([&writes](const QString& target, const QByteArray& content) {
            if (++writes > 3)
                return false;
            QFile file(target);
            return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                   file.write(content) == content.size();
        });
    PreferenceValues values; // Preview, Overwrite and Aptotic on: all three differ from the file
    bool raised = false;
    try {
        WritePreferenceValues(folder.context(), values, 0, QString());
    } catch (const AppError&) {
        raised = true;
    }
    SetFileWriterForTesting(previous);

    QVERIFY(raised);
    const PreferenceValues read = ReadPreferenceValues(folder.context(), false);
    // Preview, Overwrite and Aptotic were written; the rest is as before.
    QVERIFY2(read ==
                 expected(QStringLiteral("111000"), QStringLiteral("/videos/out/"), folder.path()),
             qPrintable(describe(read)));
    QCOMPARE(ReadSavedProfileIndex(folder.context()), 2);
}

// Writes that fail as on a full disk (the process may not grow any file past a few bytes): the
// error names the file and the file keeps every byte it had.
void TestPreferences::fullDiskKeepsTheOldFile() {
    test::TempProgramFolder folder;
    const QString path = folder.context().preferencesPath();
    putPreferences(folder, kAllOffMain);
    const QByteArray before = fileBytes(path);
    PreferenceValues values; // differs from the file in every check box
    bool limited = false;
    QString error;
    {
        const test::FileSizeLimit limit(16);
        limited = limit.active();
        try {
            WritePreferenceValues(folder.context(), values, 1, QStringLiteral("Fast"));
        } catch (const AppError& raised) {
            error = raised.message();
        }
    }
    QVERIFY(limited);
    QCOMPARE(error, QStringLiteral("Unable to write to ") + path);
    QCOMPARE(fileBytes(path), before);
    // No temporary file is left beside it.
    QCOMPARE(QDir(folder.path())
                 .entryList({QStringLiteral(".Preferences.ini*")}, QDir::Files | QDir::Hidden),
             QStringList());
}

void TestPreferences::savedProfileChoice_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("choice");
    const QByteArray position = "[Main]\nProfile=1\n";
    QTest::newRow("position only") << position << 1;
    QTest::newRow("the name wins") << position + "Profile Name=Slow\n" << 2;
    QTest::newRow("the name of the profile at the position") << position + "Profile Name=Fast\n"
                                                             << 1;
    QTest::newRow("a profile added before it since the save")
        << QByteArray("[Main]\nProfile=0\nProfile Name=Fast\n") << 1;
    QTest::newRow("a name no longer in the list") << position + "Profile Name=Gone\n" << 1;
    QTest::newRow("name case differs") << position + "Profile Name=slow\n" << 1;
    QTest::newRow("empty name") << position + "Profile Name=\n" << 1;
    QTest::newRow("none selected") << QByteArray("[Main]\nProfile=-1\nProfile Name=\n") << -1;
    QTest::newRow("no file") << kNoFile << 0;
    QTest::newRow("factory section is never read")
        << QByteArray("[Default]\nProfile=2\nProfile Name=Slow\n") << 0;
}

void TestPreferences::savedProfileChoice() {
    QFETCH(QByteArray, content);
    QFETCH(int, choice);
    test::TempProgramFolder folder;
    putPreferences(folder, content);
    const QStringList names = {QStringLiteral("Copy"), QStringLiteral("Fast"),
                               QStringLiteral("Slow")};
    QCOMPARE(SavedProfileChoice(folder.context(), names), choice);
}

QTEST_GUILESS_MAIN(TestPreferences)
#include "test_preferences.moc"
