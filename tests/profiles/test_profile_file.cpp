// Loading profiles into their values, saving the values back and copying under a new name.
#include "ground/app_error.h"
#include "ground/ini_file.h"
#include "profile_test_util.h"
#include "profiles/profile_file.h"
#include "test_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace segmora;

namespace {

// A profile whose parameters cover a list, an editable text and a read-only text.
const QByteArray kProfile = "[Main]\n"
                            "Type=avi\n"
                            "Para=4\n"
                            "0=Quality\n"
                            "1=Bit Rate\n"
                            "2=Audio Codec\n"
                            "3=Deinterlace\n"
                            "\n"
                            "[Quality]\n"
                            "Sort=1\n"
                            "List=1\n"
                            "cmd=-q\n"
                            "Caption=Low,High,\n"
                            "Value=5,1,\n"
                            "Index=1\n"
                            "\n"
                            "[Bit Rate]\n"
                            "Sort=1\n"
                            "List=0\n"
                            "cmd=-b:v\n"
                            "Caption=800k\n"
                            "Value=800k\n"
                            "\n"
                            "[Audio Codec]\n"
                            "Sort=2\n"
                            "List=0\n"
                            "ReadOnly=1\n"
                            "cmd=-c:a\n"
                            "Caption=AAC\n"
                            "Value=aac\n"
                            "\n"
                            "[Deinterlace]\n"
                            "Sort=3\n"
                            "ReadOnly=1\n"
                            "cmd=-deinterlace\n"
                            "Caption=No,Yes,\n"
                            "Value=,\\,\n";

} // namespace

class TestProfileFile : public QObject {
    Q_OBJECT
private slots:
    void load_data();
    void load();
    void missingFileLeavesGridsAlone();
    void save_data();
    void save();
    void customSize_data();
    void customSize();
    void saveAs();
    void failedSaveRaises();
    void fullDiskKeepsTheFiles_data();
    void fullDiskKeepsTheFiles();
    void whatIsAProfile_data();
    void whatIsAProfile();

private:
    QString profile(const QByteArray& content) {
        const QString path = m_dir.filePath(QStringLiteral("p.apf"));
        QFile::remove(path);
        [&] { QVERIFY(test::writeText(path, content)); }();
        return path;
    }
    QTemporaryDir m_dir;
};

void TestProfileFile::load_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("values");
    QTest::addColumn<QString>("extension");

    QTest::newRow("list, text and read-only parameters")
        << kProfile
        << "Quality=High![Low/High]; Bit Rate=800k | Audio Codec=AAC! | "
           "Deinterlace=No![No/Yes]"
        << ".avi";
    QTest::newRow("no Type gives mp4") << QByteArray("[Main]\nPara=0\n") << " |  | "
                                       << ".mp4";
    QTest::newRow("empty Type gives a lone dot") << QByteArray("[Main]\nType=\n") << " |  | "
                                                 << ".";
    QTest::newRow("no Para empties the grids") << QByteArray("[Main]\nType=mov\n") << " |  | "
                                               << ".mov";
    QTest::newRow("unknown keys and sections ignored")
        << QByteArray("[Main]\nPara=1\n0=A\nExtra=1\n[A]\nSort=2\nList=0\nCaption=x\n[B]\n")
        << " | A=x | "
        << ".mp4";
    QTest::newRow("Index in hexadecimal") << QByteArray("[Main]\nPara=1\n0=A\n[A]\nSort=1\n"
                                                        "Caption=a,b,\nValue=1,2,\nIndex=0x1\n")
                                          << "A=b![a/b] |  | "
                                          << ".mp4";
    // A custom video size stands beside the list's choice; only a size is taken from it.
    const QByteArray sized = "[Main]\nPara=1\n0=A\n[A]\nSort=1\nCaption=a,b,\nValue=1,2,\n"
                             "Index=1\nCustom=";
    QTest::newRow("custom size shown in place of the choice") << sized + "641x361\n"
                                                              << "A=641x361![a/b] |  | "
                                                              << ".mp4";
    QTest::newRow("custom that is no size ignored") << sized + "-5x0\n"
                                                    << "A=b![a/b] |  | "
                                                    << ".mp4";
    QTest::newRow("custom with a blank ignored") << sized + "640 x480\n"
                                                 << "A=b![a/b] |  | "
                                                 << ".mp4";
    QTest::newRow("empty custom ignored") << sized + "\n"
                                          << "A=b![a/b] |  | "
                                          << ".mp4";
    QTest::newRow("names and keys without case")
        << QByteArray("[MAIN]\npara=1\n0=Size\n[size]\nSORT=1\nlist=0\ncaption=x\n")
        << "Size=x |  | "
        << ".mp4";
    QTest::newRow("Para beyond the keys present")
        << QByteArray("[Main]\nPara=2147483647\n0=A\n[A]\nSort=1\nList=0\nCaption=x\n")
        << "A=x |  | "
        << ".mp4";
    QTest::newRow("negative Para") << QByteArray("[Main]\nPara=-3\n0=A\n[A]\nSort=1\n") << " |  | "
                                   << ".mp4";

    // Broken parameters are left out; the others load.
    const QByteArray good = "[G]\nSort=1\nList=0\nCaption=ok\n";
    auto broken = [&](const QByteArray& section) {
        return QByteArray("[Main]\nPara=2\n0=B\n1=G\n[B]\n") + section + good;
    };
    QTest::newRow("Sort missing") << broken("List=0\n") << "G=ok |  | "
                                  << ".mp4";
    QTest::newRow("Sort 0") << broken("Sort=0\nList=0\n") << "G=ok |  | "
                            << ".mp4";
    QTest::newRow("Sort 4") << broken("Sort=4\nList=0\n") << "G=ok |  | "
                            << ".mp4";
    QTest::newRow("Sort unreadable") << broken("Sort=video\nList=0\n") << "G=ok |  | "
                                     << ".mp4";
    QTest::newRow("list without choices") << broken("Sort=1\nCaption=\nValue=\n") << "G=ok |  | "
                                          << ".mp4";
    QTest::newRow("choices without terminating comma")
        << broken("Sort=1\nCaption=Only\nValue=x,\n") << "G=ok |  | "
        << ".mp4";
    QTest::newRow("Index past the choices")
        << broken("Sort=1\nCaption=a,b,\nValue=1,2,\nIndex=2\n") << "G=ok |  | "
        << ".mp4";
    QTest::newRow("negative Index")
        << broken("Sort=1\nCaption=a,b,\nValue=1,2,\nIndex=-1\n") << "G=ok |  | "
        << ".mp4";
    QTest::newRow("fewer values than choices")
        << broken("Sort=1\nCaption=a,b,\nValue=1,\n") << "G=ok |  | "
        << ".mp4";
    QTest::newRow("more values than choices is fine")
        << broken("Sort=2\nCaption=a,\nValue=1,2,\n") << "G=ok | B=a![a] | "
        << ".mp4";
    QTest::newRow("name missing from Main")
        << QByteArray("[Main]\nPara=2\n1=G\n") + good << "G=ok |  | "
        << ".mp4";
    QTest::newRow("binary garbage file")
        << QByteArray("\x00\xff\x01[Main\n=\n\x80\x81=\x82", 14) << " |  | "
        << ".mp4";
}

void TestProfileFile::load() {
    QFETCH(QByteArray, content);
    QFETCH(QString, values);
    QFETCH(QString, extension);
    ProfileValues owned;
    owned.append(ProfileValues::kVideo, {QStringLiteral("Design row"), QString()});
    const std::optional<QString> result = LoadProfile(profile(content), owned);
    QVERIFY(result.has_value());
    QCOMPARE(*result, extension);
    QCOMPARE(test::describe(owned), values);
}

void TestProfileFile::missingFileLeavesGridsAlone() {
    ProfileValues owned;
    owned.append(ProfileValues::kVideo, {QStringLiteral("Video Size"), QStringLiteral("640x480")});
    QVERIFY(!LoadProfile(m_dir.filePath(QStringLiteral("none.apf")), owned));
    QVERIFY(!LoadProfile(m_dir.path(), owned)); // a folder is no profile
    QCOMPARE(test::describe(owned), QStringLiteral("Video Size=640x480 |  | "));
}

void TestProfileFile::save_data() {
    QTest::addColumn<QString>("edits");
    QTest::addColumn<QStringList>("changedLines"); // "old line -> new line"

    QTest::newRow("nothing edited: the file stays the same") << "" << QStringList{};
    QTest::newRow("picked choice stored as Index")
        << "Quality=Low" << QStringList{"Index=1 -> Index=0"};
    QTest::newRow("choice matched without case")
        << "Quality=LOW" << QStringList{"Index=1 -> Index=0"};
    QTest::newRow("value that is no choice nor size keeps Index")
        << "Quality=Medium" << QStringList{};
    QTest::newRow("text stored as Caption and Value")
        << "Bit Rate=1200k -maxrate 2M"
        << QStringList{"Caption=800k -> Caption=1200k -maxrate 2M",
                       "Value=800k -> Value=1200k -maxrate 2M"};
    QTest::newRow("read-only parameters never written")
        << "Audio Codec=MP3|Deinterlace=Yes" << QStringList{};
}

void TestProfileFile::save() {
    QFETCH(QString, edits);
    QFETCH(QStringList, changedLines);
    const QString path = profile(kProfile);
    ProfileValues owned;
    QVERIFY(LoadProfile(path, owned));
    test::applyEdits(owned, edits);
    const QString shown = test::describe(owned);
    SaveProfile(path, owned);

    QString expected = QString::fromUtf8(kProfile);
    for (const QString& change : changedLines) {
        const QStringList parts = change.split(QStringLiteral(" -> "));
        const qsizetype at = expected.indexOf(QLatin1Char('\n') + parts.at(0) + QLatin1Char('\n'));
        QVERIFY2(at >= 0, qPrintable(parts.at(0)));
        expected.replace(at + 1, parts.at(0).size(), parts.at(1));
    }
    QCOMPARE(QString::fromUtf8(test::readText(path)), expected);

    // Loading again shows what was saved (a value that is no choice falls back to the file's).
    ProfileValues reloaded;
    LoadProfile(path, reloaded);
    if (!edits.contains(QLatin1String("Medium")) && !edits.contains(QLatin1String("Audio")))
        QCOMPARE(test::describe(reloaded).toLower(), shown.toLower());
}

void TestProfileFile::customSize_data() {
    QTest::addColumn<QByteArray>("custom"); // the key Custom of Quality before the save; null: none
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("storedCustom"); // "<none>": no key written
    QTest::addColumn<int>("storedIndex");
    QTest::addColumn<QString>("reloaded");

    QTest::newRow("a custom size is kept beside the earlier choice") << QByteArray() << "641x361"
                                                                     << "641x361" << 1 << "641x361";
    QTest::newRow("another custom size replaces it") << QByteArray("641x361") << "320x180"
                                                     << "320x180" << 1 << "320x180";
    QTest::newRow("a choice empties it") << QByteArray("641x361") << "Low"
                                         << "" << 0 << "Low";
    QTest::newRow("a choice writes no key where there was none") << QByteArray() << "Low"
                                                                 << "<none>" << 0 << "Low";
    QTest::newRow("a text that is no size is not kept") << QByteArray() << "huge"
                                                        << "<none>" << 1 << "High";
}

void TestProfileFile::customSize() {
    QFETCH(QByteArray, custom);
    QFETCH(QString, edit);
    QFETCH(QString, storedCustom);
    QFETCH(int, storedIndex);
    QFETCH(QString, reloaded);
    QByteArray content = kProfile;
    if (!custom.isNull())
        content.replace("Index=1\n", "Index=1\nCustom=" + custom + "\n");
    const QString path = profile(content);
    ProfileValues owned;
    QVERIFY(LoadProfile(path, owned));
    owned.setValue(QStringLiteral("Quality"), edit);

    SaveProfile(path, owned);
    const IniFile file(path);
    QCOMPARE(file.readString(QStringLiteral("Quality"), QStringLiteral("Custom"),
                             QStringLiteral("<none>")),
             storedCustom);
    QCOMPARE(file.readInteger(QStringLiteral("Quality"), QStringLiteral("Index"), -1), storedIndex);
    ProfileValues again;
    QVERIFY(LoadProfile(path, again));
    QCOMPARE(again.value(QStringLiteral("Quality")), reloaded);
}

void TestProfileFile::saveAs() {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("Fast.apf"));
    const QString target = dir.filePath(QStringLiteral("Mine.apf"));
    QVERIFY(test::writeText(source, kProfile));
    QVERIFY(test::writeText(target, "[Main]\nType=old\n"));
    ProfileValues owned;
    QVERIFY(LoadProfile(source, owned));
    owned.setValue(QStringLiteral("Quality"), QStringLiteral("Low"));

    SaveProfileAs(source, target, owned);
    QCOMPARE(test::readText(source), kProfile);      // the source keeps its choices
    QCOMPARE(ProfileFileProblem(target), QString()); // the editor writes profiles
    const IniFile copy(target);
    QCOMPARE(copy.readString(QStringLiteral("Main"), QStringLiteral("Type"), QString()),
             QStringLiteral("avi"));
    QCOMPARE(copy.readInteger(QStringLiteral("Quality"), QStringLiteral("Index"), -1), 0);

    // No source: nothing at all happens.
    const QString untouched = dir.filePath(QStringLiteral("Other.apf"));
    SaveProfileAs(dir.filePath(QStringLiteral("Missing.apf")), untouched, owned);
    QVERIFY(!QFile::exists(untouched));

    // Saving onto itself saves in place.
    SaveProfileAs(source, source, owned);
    QCOMPARE(IniFile(source).readInteger(QStringLiteral("Quality"), QStringLiteral("Index"), -1),
             0);
}

void TestProfileFile::failedSaveRaises() {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("Fast.apf"));
    QVERIFY(test::writeText(source, kProfile));
    ProfileValues owned;
    QVERIFY(LoadProfile(source, owned));
    owned.setValue(QStringLiteral("Quality"), QStringLiteral("Low"));

    // The copy cannot be made: the target's folder is a file.
    QVERIFY(test::writeText(dir.filePath(QStringLiteral("file")), "x"));
    const QString badTarget = dir.filePath(QStringLiteral("file/Mine.apf"));
    QString error;
    try {
        SaveProfileAs(source, badTarget, owned);
    } catch (const AppError& e) {
        error = e.message();
    }
    QCOMPARE(error, QStringLiteral("Unable to write to ") + badTarget);

    // The disk refuses the write: the profile stays as it was.
    const FileWriter previous =
        SetFileWriterForTesting([](const QString&, const QByteArray&) { return false; });
    error.clear();
    try {
        SaveProfile(source, owned);
    } catch (const AppError& e) {
        error = e.message();
    }
    SetFileWriterForTesting(previous);
    QCOMPARE(error, QStringLiteral("Unable to write to ") + source);
    QCOMPARE(test::readText(source), kProfile);
}

// Writes that fail as on a full disk (the process may not grow any file past a few bytes): the
// error names the file written, and every profile keeps what it held.
void TestProfileFile::fullDiskKeepsTheFiles_data() {
    QTest::addColumn<QString>("target"); // empty: OK saves in place
    QTest::addColumn<QByteArray>("targetBefore");
    QTest::newRow("save") << "" << QByteArray();
    QTest::newRow("save as a new profile") << "Mine.apf" << QByteArray();
    QTest::newRow("save as over another profile")
        << "Other.apf" << QByteArray("[Main]\nType=mkv\n");
}

void TestProfileFile::fullDiskKeepsTheFiles() {
    QFETCH(QString, target);
    QFETCH(QByteArray, targetBefore);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("Fast.apf"));
    QVERIFY(test::writeText(source, kProfile));
    const QString targetPath = target.isEmpty() ? source : dir.filePath(target);
    if (!targetBefore.isEmpty())
        QVERIFY(test::writeText(targetPath, targetBefore));
    ProfileValues owned;
    QVERIFY(LoadProfile(source, owned));
    owned.setValue(QStringLiteral("Quality"), QStringLiteral("Low"));
    owned.setValue(QStringLiteral("Bit Rate"), QStringLiteral("999k"));

    bool limited = false;
    QString error;
    {
        const test::FileSizeLimit limit(16);
        limited = limit.active();
        try {
            if (target.isEmpty())
                SaveProfile(source, owned);
            else
                SaveProfileAs(source, targetPath, owned);
        } catch (const AppError& e) {
            error = e.message();
        }
    }
    QVERIFY(limited);
    QCOMPARE(error, QStringLiteral("Unable to write to ") + targetPath);
    QCOMPARE(test::readText(source), kProfile);
    if (!target.isEmpty())
        QCOMPARE(QFile::exists(targetPath), !targetBefore.isEmpty());
    if (!targetBefore.isEmpty())
        QCOMPARE(test::readText(targetPath), targetBefore);
    // No temporary file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{QStringLiteral("Fast.apf")} +
              (targetBefore.isEmpty() ? QStringList() : QStringList{target})));
}

// A job must not run from a file that only carries a profile's extension (random bytes made
// clips with the converter's own defaults); every file the editor or the program writes passes.
void TestProfileFile::whatIsAProfile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("profile");
    QByteArray random(4096, '\0');
    quint32 seed = 12345;
    for (char& byte : random) {
        seed = seed * 1664525u + 1013904223u;
        byte = char(seed >> 24);
    }
    QTest::newRow("random bytes") << random << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("the preferences") << QByteArray("[Main]\nPreview=1\nProfile=3\n") << false;
    QTest::newRow("Para that is no number") << QByteArray("[Main]\nPara=many\n0=A\n") << false;
    QTest::newRow("negative Para") << QByteArray("[Main]\nPara=-3\n") << false;
    QTest::newRow("Para outside Main") << QByteArray("[Other]\nPara=1\n") << false;
    QTest::newRow("a video's first bytes") << QByteArray("\0\0\0\x20"
                                                         "ftypisom\0\0\x02\0isomiso2avc1mp41",
                                                         32)
                                           << false;
    QTest::newRow("the profile the editor works on") << kProfile << true;
    QTest::newRow("no parameters") << QByteArray("[Main]\nPara=0\n") << true;
    QTest::newRow("names in another case, CR LF, byte order mark")
        << QByteArray("\xEF\xBB\xBF[MAIN]\r\npara=1\r\n0=A\r\n") << true;
}

void TestProfileFile::whatIsAProfile() {
    QFETCH(QByteArray, content);
    QFETCH(bool, profile);
    const QString path = m_dir.filePath(QStringLiteral("Shared.apf"));
    QFile::remove(path);
    QVERIFY(test::writeText(path, content));
    const QString problem = ProfileFileProblem(path);
    if (profile) {
        QCOMPARE(problem, QString());
    } else {
        QVERIFY2(problem.contains(QStringLiteral("\"") + path +
                                  QStringLiteral("\" is not an output "
                                                 "profile")),
                 qPrintable(problem));
    }
}

QTEST_MAIN(TestProfileFile)
#include "test_profile_file.moc"
