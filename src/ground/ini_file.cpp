// The INI layer: tolerant parsing, line-preserving edits and atomic replacement of the file.
#include "ground/ini_file.h"

#include "ground/app_error.h"
#include "ground/whole_number.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace segmora {
namespace {

const QByteArray kBom("\xEF\xBB\xBF");

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimBlanks(const QByteArray& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (isBlank(text.at(begin)) || text.at(begin) == '\r'))
        ++begin;
    while (end > begin && (isBlank(text.at(end - 1)) || text.at(end - 1) == '\r'))
        --end;
    return text.mid(begin, end - begin);
}

// Each name and value is decoded on its own; a value that begins with U+FEFF keeps it (only the
// file's own byte order mark, handled where the file is read, is dropped).
QString trimmedText(const QByteArray& bytes) {
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decode(trimBlanks(bytes));
}

// What one raw line of the file is: a section header, a key line, or anything else.
struct LineInfo {
    enum Kind { Other, Section, Key } kind = Other;
    QString name; // section name or key
};

LineInfo classify(const QByteArray& rawLine) {
    LineInfo info;
    const QByteArray line = trimBlanks(rawLine);
    if (line.startsWith('[')) {
        const qsizetype close = line.indexOf(']');
        info.kind = LineInfo::Section;
        info.name = trimmedText(line.mid(1, close < 0 ? -1 : close - 1));
        return info;
    }
    const qsizetype equals = line.indexOf('=');
    if (equals > 0) {
        info.kind = LineInfo::Key;
        info.name = trimmedText(line.left(equals));
    }
    return info;
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Names and values are single-line text in the file; a line break would start a new entry.
QByteArray oneLine(const QString& text) {
    QString cleaned = text;
    cleaned.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    return cleaned.toUtf8();
}

QByteArray readAll(const QString& path, bool* ok) {
    QFile file(path);
    struct stat status {};
    // stat follows links: a link whose target is missing reads as a missing file.
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 && errno == ENOENT) {
        *ok = true;
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *ok = false;
        return {};
    }
    *ok = true;
    return file.readAll();
}

bool writeAllFd(int fd, const QByteArray& content) {
    const char* data = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Temporary file beside the target, permissions (and, for root, ownership) of the target,
// flushed to disk, then renamed over it: a reader sees the old file or the new one, never half.
bool atomicReplace(const QString& targetPath, const QByteArray& content) {
    const QByteArray target = QFile::encodeName(targetPath);
    const QFileInfo info(targetPath);
    QByteArray pattern =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    struct stat existing {};
    const bool exists = ::stat(target.constData(), &existing) == 0;
    mode_t mode = 0;
    if (exists) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, mode) == 0;
    if (ok && exists && ::geteuid() == 0 &&
        (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
        // Best effort: root editing a user's file leaves it owned by that user.
        (void)!::fchown(fd, existing.st_uid, existing.st_gid);
    }
    ok = ok && writeAllFd(fd, content) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(pattern.constData(), target.constData()) == 0;
    if (!ok)
        ::unlink(pattern.constData());
    return ok;
}

FileWriter& currentWriter() {
    static FileWriter writer = atomicReplace;
    return writer;
}

// The target of a symbolic link as an absolute path (relative targets count from the link's
// folder); empty when the link cannot be read. Also works for a link whose target is missing.
QString linkTarget(const QString& link) {
    QByteArray buffer(4096, '\0');
    const ssize_t length =
        ::readlink(QFile::encodeName(link).constData(), buffer.data(), buffer.size());
    if (length <= 0 || length >= buffer.size())
        return {};
    const QString target = QFile::decodeName(buffer.left(length));
    if (target.startsWith(QLatin1Char('/')))
        return target;
    return QFileInfo(link).absolutePath() + QLatin1Char('/') + target;
}

[[noreturn]] void refuse(const QString& path) {
    throw AppError(QStringLiteral("Unable to write to ") + path);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Reading

IniSnapshot IniSnapshot::parse(const QByteArray& raw) {
    IniSnapshot snapshot;
    QByteArray content = raw;
    if (content.startsWith(kBom))
        content.remove(0, kBom.size());
    // Look-ups go through hashes of the case-folded names, so a hostile file with a huge number
    // of keys or sections still parses in linear time.
    Section* current = nullptr;
    qsizetype start = 0;
    while (start <= content.size()) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0)
            end = content.size();
        const QByteArray line = content.mid(start, end - start);
        start = end + 1;
        const LineInfo info = classify(line);
        if (info.kind == LineInfo::Section) {
            // A section named twice: only the first is seen, so later duplicates are skipped.
            const QString folded = info.name.toCaseFolded();
            if (snapshot.m_byName.contains(folded)) {
                current = nullptr;
            } else {
                snapshot.m_byName.insert(folded, int(snapshot.m_sections.size()));
                snapshot.m_sections.push_back({info.name, {}, {}});
                current = &snapshot.m_sections.back();
            }
        } else if (info.kind == LineInfo::Key && current) {
            const QString folded = info.name.toCaseFolded();
            if (current->byKey.contains(folded))
                continue;
            const QByteArray trimmed = trimBlanks(line);
            QString value = trimmedText(trimmed.mid(trimmed.indexOf('=') + 1));
            value.truncate(kMaxValueLength);
            current->byKey.insert(folded, int(current->entries.size()));
            current->entries.push_back({info.name, value});
        }
    }
    return snapshot;
}

const IniSnapshot::Section* IniSnapshot::findSection(const QString& name) const {
    const auto found = m_byName.constFind(name.toCaseFolded());
    return found == m_byName.constEnd() ? nullptr : &m_sections.at(size_t(*found));
}

const IniSnapshot::Entry* IniSnapshot::findEntry(const QString& sectionName,
                                                 const QString& key) const {
    const Section* section = findSection(sectionName);
    if (!section)
        return nullptr;
    const auto found = section->byKey.constFind(key.toCaseFolded());
    return found == section->byKey.constEnd() ? nullptr : &section->entries.at(size_t(*found));
}

QString IniSnapshot::readString(const QString& section, const QString& key,
                                const QString& defaultValue) const {
    const Entry* entry = findEntry(section, key);
    return entry ? entry->value : defaultValue;
}

bool IniSnapshot::parseInteger(const QString& text, int* value) {
    bool ok = false;
    qlonglong number = 0;
    if (text.size() > 2 &&
        (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X")))) {
        const QString digits = text.mid(2);
        // toLongLong would accept a sign or blanks after the prefix; hex digits only here.
        for (const QChar c : digits) {
            if (!isxdigit(c.toLatin1()) || c.unicode() > 127)
                return false;
        }
        number = digits.toLongLong(&ok, 16);
        // Hexadecimal spells the 32-bit pattern: 0xFFFFFFFF is -1.
        if (ok && number <= 0xFFFFFFFFLL)
            number = static_cast<qlonglong>(static_cast<qint32>(static_cast<quint32>(number)));
        else
            ok = false;
    } else {
        const std::optional<int> decimal = ParseWholeNumber(text);
        ok = decimal.has_value();
        number = decimal.value_or(0);
    }
    if (!ok)
        return false;
    *value = static_cast<int>(number);
    return true;
}

int IniSnapshot::readInteger(const QString& section, const QString& key, int defaultValue) const {
    const Entry* entry = findEntry(section, key);
    int value = 0;
    if (entry && parseInteger(entry->value, &value))
        return value;
    return defaultValue;
}

bool IniSnapshot::readBool(const QString& section, const QString& key, bool defaultValue) const {
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

QStringList IniSnapshot::keys(const QString& sectionName) const {
    QStringList result;
    if (const Section* section = findSection(sectionName)) {
        for (const Entry& entry : section->entries)
            result.append(entry.key);
    }
    return result;
}

IniSnapshot IniFile::snapshot() const {
    bool ok = false;
    return IniSnapshot::parse(readAll(m_path, &ok));
}

QString IniFile::readString(const QString& section, const QString& key,
                            const QString& defaultValue) const {
    return snapshot().readString(section, key, defaultValue);
}

int IniFile::readInteger(const QString& section, const QString& key, int defaultValue) const {
    return snapshot().readInteger(section, key, defaultValue);
}

bool IniFile::readBool(const QString& section, const QString& key, bool defaultValue) const {
    return snapshot().readBool(section, key, defaultValue);
}

// ---------------------------------------------------------------------------------------------
// Writing

void IniFile::writeString(const QString& section, const QString& key, const QString& value) const {
    bool ok = false;
    QByteArray content = readAll(m_path, &ok);
    if (!ok)
        refuse(m_path);
    QByteArray bom;
    if (content.startsWith(kBom)) {
        bom = kBom;
        content.remove(0, kBom.size());
    }
    const QByteArray eol = content.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");

    // Lines without their "\n"; a final line without a line end is flagged.
    QList<QByteArray> lines = content.split('\n');
    bool lastHasEnd = true;
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    else if (!lines.isEmpty())
        lastHasEnd = false;

    const QByteArray newValue = oneLine(value);
    qsizetype sectionLine = -1;
    qsizetype insertAt = -1; // after the section's last non-blank line
    qsizetype keyLine = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const LineInfo info = classify(lines.at(i));
        if (sectionLine < 0) {
            if (info.kind == LineInfo::Section && sameName(info.name, section)) {
                sectionLine = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (info.kind == LineInfo::Section)
            break;
        if (info.kind == LineInfo::Key && sameName(info.name, key)) {
            keyLine = i;
            break;
        }
        if (!trimBlanks(lines.at(i)).isEmpty())
            insertAt = i + 1;
    }

    if (keyLine >= 0) {
        const QByteArray old = lines.at(keyLine);
        const QByteArray keepCr = old.endsWith('\r') ? QByteArray("\r") : QByteArray();
        const QByteArray trimmed = trimBlanks(old);
        const QByteArray oldKey = trimBlanks(trimmed.left(trimmed.indexOf('=')));
        lines[keyLine] = oldKey + '=' + newValue + keepCr;
    } else {
        const QByteArray keepCr = eol == "\r\n" ? QByteArray("\r") : QByteArray();
        const QByteArray entry = oneLine(key) + '=' + newValue + keepCr;
        if (sectionLine >= 0) {
            lines.insert(insertAt, entry);
        } else {
            if (!lines.isEmpty() && !trimBlanks(lines.last()).isEmpty())
                lines.append(keepCr);
            lines.append('[' + oneLine(section) + ']' + keepCr);
            lines.append(entry);
        }
        if (insertAt == lines.size() - 1 || sectionLine < 0)
            lastHasEnd = true;
    }

    QByteArray result = bom;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        result += lines.at(i);
        if (i + 1 < lines.size() || lastHasEnd)
            result += '\n';
    }
    ReplaceFileContents(m_path, result);
}

void IniFile::writeInteger(const QString& section, const QString& key, int value) const {
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value) const {
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void ReplaceFileContents(const QString& path, const QByteArray& content) {
    if (path.isEmpty())
        refuse(path);
    // Follow symbolic links so the link stays a link and its target gets the new content.
    QString target = QFileInfo(path).absoluteFilePath();
    int hops = 0;
    while (QFileInfo(target).isSymLink()) {
        if (++hops > 40)
            refuse(path);
        target = linkTarget(target);
        if (target.isEmpty())
            refuse(path);
    }
    struct stat status {};
    if (::stat(QFile::encodeName(target).constData(), &status) == 0) {
        // Root ignores permission bits, so a write-protected file is refused by its mode, and
        // anything but a regular file (folder, device, pipe) is never replaced.
        if (!S_ISREG(status.st_mode) || (status.st_mode & S_IWUSR) == 0)
            refuse(path);
    } else if (errno != ENOENT) {
        refuse(path);
    }
    const FileWriter& writer = currentWriter();
    if (!writer(target, content))
        refuse(path);
}

FileWriter SetFileWriterForTesting(FileWriter writer) {
    FileWriter previous = currentWriter();
    currentWriter() = writer ? std::move(writer) : FileWriter(atomicReplace);
    return previous;
}

} // namespace segmora
