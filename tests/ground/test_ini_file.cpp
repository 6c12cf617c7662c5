// The INI layer: reading rules, bad files, line-preserving writes and refused writes.
#include "ground/app_error.h"
#include "ground/ini_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace segmora;

namespace {

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeBytes(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

// Writes one key and returns the error text; empty when the write went through.
QString writeError(const QString& path) {
    try {
        IniFile(path).writeString(QStringLiteral("Main"), QStringLiteral("Key"),
                                  QStringLiteral("v"));
    } catch (const AppError& error) {
        return error.message();
    }
    return {};
}

} // namespace

class TestIniFile : public QObject {
    Q_OBJECT
private slots:
    void reads_data();
    void reads();
    void writes_data();
    void writes();
    void readsEveryTimeFromTheFile();
    void keepsPermissionsAndLeavesNoTemporaryFile();
    void writesThroughSymbolicLinks();
    void refusedWrites_data();
    void refusedWrites();
    void injectedWriterFailure();

private:
    QTemporaryDir m_dir;
};

void TestIniFile::reads_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("kind"); // text, int (default 77) or bool (default true)
    QTest::addColumn<QString>("expected");

    const QByteArray hugeLine(1024 * 1024, 'x');
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 37 + 11) % 256);

    QTest::newRow("text") << QByteArray("[Main]\nName=Fast\n") << "Main"
                          << "Name"
                          << "text"
                          << "Fast";
    QTest::newRow("names without case") << QByteArray("[mAIN]\nnAmE=Fast\n") << "Main"
                                        << "NAME"
                                        << "text"
                                        << "Fast";
    QTest::newRow("value trimmed, inner blanks kept")
        << QByteArray("[Main]\n  Name \t=  a  b \t\n") << "Main"
        << "Name"
        << "text"
        << "a  b";
    QTest::newRow("second = belongs to the value") << QByteArray("[Main]\ncmd=-vf a=b\n") << "Main"
                                                   << "cmd"
                                                   << "text"
                                                   << "-vf a=b";
    QTest::newRow("section header with blanks") << QByteArray("[ Main ]\nA=1\n") << "Main"
                                                << "A"
                                                << "text"
                                                << "1";
    QTest::newRow("missing key gives default") << QByteArray("[Main]\nA=1\n") << "Main"
                                               << "B"
                                               << "text"
                                               << "DEF";
    QTest::newRow("missing file gives default") << QByteArray() << "Main"
                                                << "A"
                                                << "text"
                                                << "DEF";
    QTest::newRow("key before any section is no key") << QByteArray("A=1\n[Main]\n") << "Main"
                                                      << "A"
                                                      << "text"
                                                      << "DEF";
    QTest::newRow("CRLF line ends") << QByteArray("[Main]\r\nA=x\r\nB=y\r\n") << "Main"
                                    << "A"
                                    << "text"
                                    << "x";
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[Main]\nA=x\n") << "Main"
                                     << "A"
                                     << "text"
                                     << "x";
    QTest::newRow("no final newline") << QByteArray("[Main]\nA=last") << "Main"
                                      << "A"
                                      << "text"
                                      << "last";
    QTest::newRow("line without =") << QByteArray("[Main]\njunk line\n;comment\nA=1\n") << "Main"
                                    << "A"
                                    << "text"
                                    << "1";
    QTest::newRow("section twice: first wins")
        << QByteArray("[Main]\nA=first\n[Other]\n[MAIN]\nA=second\nB=only second\n") << "Main"
        << "A"
        << "text"
        << "first";
    QTest::newRow("section twice: second section's keys unseen")
        << QByteArray("[Main]\nA=first\n[MAIN]\nB=only second\n") << "Main"
        << "B"
        << "text"
        << "DEF";
    QTest::newRow("key twice: first wins") << QByteArray("[Main]\nA=1\na=2\n") << "Main"
                                           << "A"
                                           << "text"
                                           << "1";
    QTest::newRow("value cut to 2047") << QByteArray("[Main]\nA=" + hugeLine + "\n") << "Main"
                                       << "A"
                                       << "text" << QString(2047, QLatin1Char('x'));
    QTest::newRow("1 MB line without =") << QByteArray("[Main]\n" + hugeLine + "\nA=ok\n") << "Main"
                                         << "A"
                                         << "text"
                                         << "ok";
    QTest::newRow("binary garbage around a section")
        << QByteArray(garbage + "\n[Main]\nA=ok\n" + garbage) << "Main"
        << "A"
        << "text"
        << "ok";
    QByteArray manyKeys = "[Main]\n";
    for (int i = 0; i < 200000; ++i)
        manyKeys += "k" + QByteArray::number(i) + "=" + QByteArray::number(i) + "\n";
    QTest::newRow("200 000 keys parse in linear time") << manyKeys << "Main"
                                                       << "K199999"
                                                       << "text"
                                                       << "199999";
    QTest::newRow("UTF-8 text") << QByteArray("[Main]\nA=Größe\n") << "Main"
                                << "A"
                                << "text"
                                << "Größe";

    QTest::newRow("decimal") << QByteArray("[P]\nN=42\n") << "P"
                             << "N"
                             << "int"
                             << "42";
    QTest::newRow("negative") << QByteArray("[P]\nN=-1\n") << "P"
                              << "N"
                              << "int"
                              << "-1";
    QTest::newRow("plus sign") << QByteArray("[P]\nN=+3\n") << "P"
                               << "N"
                               << "int"
                               << "3";
    QTest::newRow("hex") << QByteArray("[P]\nN=0x1F\n") << "P"
                         << "N"
                         << "int"
                         << "31";
    QTest::newRow("hex upper X") << QByteArray("[P]\nN=0X1f\n") << "P"
                                 << "N"
                                 << "int"
                                 << "31";
    QTest::newRow("hex all ones is -1") << QByteArray("[P]\nN=0xFFFFFFFF\n") << "P"
                                        << "N"
                                        << "int"
                                        << "-1";
    QTest::newRow("0x alone is no number") << QByteArray("[P]\nN=0x\n") << "P"
                                           << "N"
                                           << "int"
                                           << "77";
    QTest::newRow("hex with bad digit") << QByteArray("[P]\nN=0x1G\n") << "P"
                                        << "N"
                                        << "int"
                                        << "77";
    QTest::newRow("leading zeros decimal") << QByteArray("[P]\nN=010\n") << "P"
                                           << "N"
                                           << "int"
                                           << "10";
    QTest::newRow("number then letters") << QByteArray("[P]\nN=12abc\n") << "P"
                                         << "N"
                                         << "int"
                                         << "77";
    QTest::newRow("empty value") << QByteArray("[P]\nN=\n") << "P"
                                 << "N"
                                 << "int"
                                 << "77";
    QTest::newRow("beyond 32 bits") << QByteArray("[P]\nN=4294967296\n") << "P"
                                    << "N"
                                    << "int"
                                    << "77";
    QTest::newRow("fraction") << QByteArray("[P]\nN=1.5\n") << "P"
                              << "N"
                              << "int"
                              << "77";

    QTest::newRow("bool 0") << QByteArray("[P]\nB=0\n") << "P"
                            << "B"
                            << "bool"
                            << "false";
    QTest::newRow("bool any non-zero") << QByteArray("[P]\nB=2\n") << "P"
                                       << "B"
                                       << "bool"
                                       << "true";
    QTest::newRow("bool hex zero") << QByteArray("[P]\nB=0x0\n") << "P"
                                   << "B"
                                   << "bool"
                                   << "false";
    QTest::newRow("bool word gives default") << QByteArray("[P]\nB=false\n") << "P"
                                             << "B"
                                             << "bool"
                                             << "true";
    QTest::newRow("bool empty gives default") << QByteArray("[P]\nB=\n") << "P"
                                              << "B"
                                              << "bool"
                                              << "true";
    // Found by fuzzing: only the file's first bytes may be a byte order mark.
    QTest::newRow("value beginning with U+FEFF keeps it")
        << QByteArray("[Main]\nName=\xEF\xBB\xBFx\n") << "Main"
        << "Name"
        << "text" << QString(QChar(0xFEFF)) + QLatin1Char('x');
}

void TestIniFile::reads() {
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    const QString path = m_dir.filePath(QStringLiteral("read.ini"));
    QFile::remove(path);
    if (!content.isEmpty())
        writeBytes(path, content);
    const IniFile ini(path);
    QString result;
    if (kind == QLatin1String("text"))
        result = ini.readString(section, key, QStringLiteral("DEF"));
    else if (kind == QLatin1String("int"))
        result = QString::number(ini.readInteger(section, key, 77));
    else
        result =
            ini.readBool(section, key, true) ? QStringLiteral("true") : QStringLiteral("false");
    QCOMPARE(result, expected);
}

void TestIniFile::writes_data() {
    QTest::addColumn<QByteArray>("before"); // "<none>": no file
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("creates a missing file") << QByteArray("<none>") << "Main"
                                            << "Key"
                                            << "1" << QByteArray("[Main]\nKey=1\n");
    QTest::newRow("replaces in place, keeps the rest and the key's spelling")
        << QByteArray("; comment\n[Main]\nAptotic=1\nB=2\n[Other]\nAptotic=3\n") << "MAIN"
        << "aptotic"
        << "0" << QByteArray("; comment\n[Main]\nAptotic=0\nB=2\n[Other]\nAptotic=3\n");
    QTest::newRow("new key goes after the section's last entry")
        << QByteArray("[Main]\nA=1\n\n[Other]\nX=1\n") << "Main"
        << "B"
        << "5" << QByteArray("[Main]\nA=1\nB=5\n\n[Other]\nX=1\n");
    QTest::newRow("new section appended after a blank line")
        << QByteArray("[Main]\nA=1\n") << "New"
        << "K"
        << "v" << QByteArray("[Main]\nA=1\n\n[New]\nK=v\n");
    QTest::newRow("CRLF kept") << QByteArray("[Main]\r\nA=1\r\nB=2\r\n") << "Main"
                               << "A"
                               << "7" << QByteArray("[Main]\r\nA=7\r\nB=2\r\n");
    QTest::newRow("CRLF used for a new key") << QByteArray("[Main]\r\nA=1\r\n") << "Main"
                                             << "B"
                                             << "2" << QByteArray("[Main]\r\nA=1\r\nB=2\r\n");
    QTest::newRow("byte order mark kept") << QByteArray("\xEF\xBB\xBF[Main]\nA=1\n") << "Main"
                                          << "A"
                                          << "2" << QByteArray("\xEF\xBB\xBF[Main]\nA=2\n");
    QTest::newRow("missing final newline completed when appending")
        << QByteArray("[Main]\nA=1") << "Main"
        << "B"
        << "2" << QByteArray("[Main]\nA=1\nB=2\n");
    QTest::newRow("missing final newline left alone when replacing")
        << QByteArray("[Main]\nA=1") << "Main"
        << "A"
        << "2" << QByteArray("[Main]\nA=2");
    QTest::newRow("section named twice: the first is written")
        << QByteArray("[Main]\nA=1\n[Main]\nA=2\n") << "Main"
        << "A"
        << "9" << QByteArray("[Main]\nA=9\n[Main]\nA=2\n");
    QTest::newRow("line break in a value cannot add a line")
        << QByteArray("[Main]\nA=1\n") << "Main"
        << "A"
        << "x\n[Evil]\r\nB=1" << QByteArray("[Main]\nA=x [Evil]  B=1\n");
    QTest::newRow("empty value") << QByteArray("[Main]\nDir=/x/\n") << "Main"
                                 << "Dir"
                                 << "" << QByteArray("[Main]\nDir=\n");
    QTest::newRow("lines without = survive") << QByteArray("[Main]\ngarbage\nA=1\n") << "Main"
                                             << "A"
                                             << "2" << QByteArray("[Main]\ngarbage\nA=2\n");
}

void TestIniFile::writes() {
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    const QString path = m_dir.filePath(QStringLiteral("write.ini"));
    QFile::remove(path);
    if (before != "<none>")
        writeBytes(path, before);
    IniFile(path).writeString(section, key, value);
    QCOMPARE(readBytes(path), after);
    if (!value.contains(QLatin1Char('\n')))
        QCOMPARE(IniFile(path).readString(section, key, QStringLiteral("DEF")), value);
}

void TestIniFile::readsEveryTimeFromTheFile() {
    const QString path = m_dir.filePath(QStringLiteral("fresh.ini"));
    const IniFile ini(path);
    ini.writeInteger(QStringLiteral("Main"), QStringLiteral("Profile"), 3);
    QCOMPARE(ini.readInteger(QStringLiteral("Main"), QStringLiteral("Profile"), -1), 3);
    writeBytes(path, "[Main]\nProfile=5\n");
    QCOMPARE(ini.readInteger(QStringLiteral("Main"), QStringLiteral("Profile"), -1), 5);
    ini.writeBool(QStringLiteral("Main"), QStringLiteral("Overwrite"), false);
    QCOMPARE(readBytes(path), QByteArray("[Main]\nProfile=5\nOverwrite=0\n"));
}

void TestIniFile::keepsPermissionsAndLeavesNoTemporaryFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("perm.ini"));
    writeBytes(path, "[Main]\nA=1\n");
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(path, mode));
    IniFile(path).writeString(QStringLiteral("Main"), QStringLiteral("A"), QStringLiteral("2"));
    QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), mode);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("perm.ini")});
}

void TestIniFile::writesThroughSymbolicLinks() {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("real")));
    const QString target = dir.filePath(QStringLiteral("real/target.ini"));
    const QString link = dir.filePath(QStringLiteral("link.ini"));
    const QString dangling = dir.filePath(QStringLiteral("dangling.ini"));
    writeBytes(target, "[Main]\nA=1\n");
    QVERIFY(QFile::link(QStringLiteral("real/target.ini"), link));
    QVERIFY(QFile::link(QStringLiteral("real/new.ini"), dangling));

    IniFile(link).writeString(QStringLiteral("Main"), QStringLiteral("A"), QStringLiteral("2"));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readBytes(target), QByteArray("[Main]\nA=2\n"));

    IniFile(dangling).writeString(QStringLiteral("Main"), QStringLiteral("A"), QStringLiteral("3"));
    QVERIFY(QFileInfo(dangling).isSymLink());
    QCOMPARE(readBytes(dir.filePath(QStringLiteral("real/new.ini"))), QByteArray("[Main]\nA=3\n"));
}

void TestIniFile::refusedWrites_data() {
    QTest::addColumn<QString>("setup");
    QTest::newRow("target is a folder") << "folder";
    QTest::newRow("parent is a file") << "parent-file";
    QTest::newRow("parent is missing") << "parent-missing";
    QTest::newRow("no owner write bit") << "read-only";
    QTest::newRow("link to a write-protected file") << "link-read-only";
    QTest::newRow("symbolic link loop") << "loop";
}

void TestIniFile::refusedWrites() {
    QFETCH(QString, setup);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("p.ini"));
    QByteArray before;
    if (setup == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (setup == QLatin1String("parent-file")) {
        writeBytes(dir.filePath(QStringLiteral("file")), "x");
        path = dir.filePath(QStringLiteral("file/p.ini"));
    } else if (setup == QLatin1String("parent-missing")) {
        path = dir.filePath(QStringLiteral("none/p.ini"));
    } else if (setup == QLatin1String("read-only") || setup == QLatin1String("link-read-only")) {
        before = "[Main]\nKey=old\n";
        const QString real = dir.filePath(QStringLiteral("real.ini"));
        writeBytes(real, before);
        QVERIFY(QFile::setPermissions(real, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        if (setup == QLatin1String("read-only"))
            path = real;
        else
            QVERIFY(QFile::link(real, path));
    } else if (setup == QLatin1String("loop")) {
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("q.ini")), path));
        QVERIFY(QFile::link(path, dir.filePath(QStringLiteral("q.ini"))));
    }
    QCOMPARE(writeError(path), QStringLiteral("Unable to write to ") + path);
    if (!before.isEmpty())
        QCOMPARE(readBytes(path), before);
}

void TestIniFile::injectedWriterFailure() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.ini"));
    writeBytes(path, "[Main]\nKey=old\n");
    QStringList targets;
    const FileWriter previous =
        SetFileWriterForTesting([&](const QString& target, const QByteArray&) {
            targets.append(target);
            return false;
        });
    const QString error = writeError(path);
    SetFileWriterForTesting(previous);
    QCOMPARE(error, QStringLiteral("Unable to write to ") + path);
    QCOMPARE(targets, QStringList{QFileInfo(path).absoluteFilePath()});
    QCOMPARE(readBytes(path), QByteArray("[Main]\nKey=old\n"));
    // The default writer is back.
    QVERIFY(writeError(path).isEmpty());
}

QTEST_APPLESS_MAIN(TestIniFile)
#include "test_ini_file.moc"
