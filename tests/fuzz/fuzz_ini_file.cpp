// Preferences and profile files as any editor may leave them: reading never fails badly, and
// a write changes the one key it names and nothing else a reader can see.
#include "ground/app_error.h"
#include "ground/ini_file.h"

#include "fuzz_support.h"

#include <QFile>
#include <QTemporaryDir>

using namespace segmora;

namespace {

// Names a caller may pass: one line, no blanks around it, a key without "=" that does not look
// like a section header, a section without "]".
bool usableName(const QString& name, bool isSection) {
    if (name.isEmpty() || name.trimmed() != name || name.contains(QLatin1Char('\n')) ||
        name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\t')))
        return false;
    if (isSection)
        return !name.contains(QLatin1Char(']'));
    return !name.contains(QLatin1Char('=')) && !name.startsWith(QLatin1Char('['));
}

// What a reader gets back for a written value: line breaks as blanks, no blanks or tabs around
// it, at most the longest value a reader keeps.
QString readBack(const QString& value) {
    QString text = value;
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto blank = [&](qsizetype i) {
        return text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t');
    };
    while (begin < end && blank(begin))
        ++begin;
    while (end > begin && blank(end - 1))
        --end;
    return text.mid(begin, end - begin).left(IniSnapshot::kMaxValueLength);
}

const QStringList kSections{QStringLiteral("Main"), QStringLiteral("main"),
                            QStringLiteral("Video Size"), QStringLiteral("0")};
const QStringList kKeys{QStringLiteral("Para"), QStringLiteral("para"), QStringLiteral("0"),
                        QStringLiteral("Index"), QStringLiteral("Caption")};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetFileWriterForTesting(fuzz::writeWithoutSync);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    fuzz::Bytes bytes(data, size);
    const std::uint8_t choice = bytes.byte();
    const QString ownSection = QString::fromUtf8(bytes.field());
    const QString ownKey = QString::fromUtf8(bytes.field());
    const QString value = QString::fromUtf8(bytes.field());
    const QByteArray content = bytes.rest();

    // Reading: any content parses; every listed key reads as itself.
    const IniSnapshot before = IniSnapshot::parse(content);
    QStringList sections = kSections;
    QStringList keys = kKeys;
    if (usableName(ownSection, true))
        sections.append(ownSection);
    if (usableName(ownKey, false))
        keys.append(ownKey);
    for (const QString& section : sections) {
        for (const QString& key : before.keys(section)) {
            const QString read = before.readString(section, key, QStringLiteral("\x01"));
            FUZZ_CHECK(read != QStringLiteral("\x01"), section + QLatin1Char('/') + key);
            FUZZ_CHECK(read.size() <= IniSnapshot::kMaxValueLength, key);
            keys.append(key);
        }
        for (const QString& key : keys) {
            int number = 0;
            if (IniSnapshot::parseInteger(before.readString(section, key, {}), &number))
                FUZZ_CHECK(before.readInteger(section, key, number + 1) == number, key);
        }
    }

    // Writing one key into that content, through the file as the program does.
    const QString path = dir.filePath(QStringLiteral("fuzz.ini"));
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate), path);
        FUZZ_CHECK(file.write(content) == content.size(), path);
    }
    const QString section = sections.at(choice % sections.size());
    const QString key = keys.at((choice / 16) % keys.size());
    if (!usableName(key, false))
        return 0; // a key found in the file may hold blanks inside a name a caller never passes
    try {
        IniFile(path).writeString(section, key, value);
    } catch (const AppError& error) {
        FUZZ_CHECK(false, error.message());
    }
    const IniSnapshot after = IniFile(path).snapshot();
    FUZZ_CHECK(after.readString(section, key, QStringLiteral("\x01")) == readBack(value),
               section + QLatin1Char('/') + key);
    for (const QString& other : sections) {
        const bool sameSection = other.compare(section, Qt::CaseInsensitive) == 0;
        for (const QString& otherKey : keys) {
            if (sameSection && otherKey.compare(key, Qt::CaseInsensitive) == 0)
                continue;
            FUZZ_CHECK(after.readString(other, otherKey, QStringLiteral("\x01")) ==
                           before.readString(other, otherKey, QStringLiteral("\x01")),
                       other + QLatin1Char('/') + otherKey);
        }
    }
    return 0;
}
