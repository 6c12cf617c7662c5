// The INI layer shared by the preferences and the output profiles: reads and writes one
// key at a time, straight from and to the file, with atomic replacement on every write.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace segmora {

// One parsed state of an INI file, for a caller that reads many keys in one operation (a
// profile load). It is never kept between operations.
//
// Reading rules: section and key names match without regard to letter case; a value is the
// text after the first "=" without surrounding blanks and tabs, cut to 2047 characters.
// A section named twice: the first one wins (its keys are the only ones seen, as are the
// writes); within a section the first line of a key wins. Lines without "=" (comments, garbage)
// are ignored, a UTF-8 byte order mark is skipped, CR LF and LF line ends both work.
class IniSnapshot {
public:
    static constexpr int kMaxValueLength = 2047;

    IniSnapshot() = default;
    static IniSnapshot parse(const QByteArray& content);

    QString readString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // Decimal with optional sign, or hexadecimal after "0x"/"0X" when the value is longer than
    // two characters; the whole value must be the number. Missing or unreadable: the default.
    int readInteger(const QString& section, const QString& key, int defaultValue) const;
    // An integer; non-zero is true.
    bool readBool(const QString& section, const QString& key, bool defaultValue) const;
    // The keys of a section, in file order (first section of that name only).
    QStringList keys(const QString& section) const;

    // Reads an integer by the rules above; false when the text is not one.
    static bool parseInteger(const QString& text, int* value);

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        std::vector<Entry> entries;
        QHash<QString, int> byKey; // case-folded key -> position in entries
    };
    const Section* findSection(const QString& name) const;
    const Entry* findEntry(const QString& section, const QString& key) const;

    std::vector<Section> m_sections;
    QHash<QString, int> m_byName; // case-folded section name -> position in m_sections
};

// An INI file by path. Nothing is cached: every read opens and parses the file, every write
// rewrites it.
//
// A write creates a missing file, keeps every other section, key, comment and line as it was
// (the file's line-end style is kept; a new file uses LF), and replaces the file atomically
// (temporary file in the same folder + rename) with its permissions kept. A symbolic link is
// written through to its target. A target that is a folder, or exists without the owner's write
// permission bit, is refused. Any refusal or failure raises AppError("Unable to write to " +
// path). Line breaks inside a written value or name are replaced by blanks, so a value cannot
// break the file's structure.
class IniFile {
public:
    explicit IniFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    // The file as it is now (an empty snapshot when it is missing or unreadable).
    IniSnapshot snapshot() const;

    QString readString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    int readInteger(const QString& section, const QString& key, int defaultValue) const;
    bool readBool(const QString& section, const QString& key, bool defaultValue) const;

    void writeString(const QString& section, const QString& key, const QString& value) const;
    void writeInteger(const QString& section, const QString& key, int value) const;
    void writeBool(const QString& section, const QString& key, bool value) const;

private:
    QString m_path;
};

// Replaces the file at path with content, by the write rules of IniFile (symbolic links
// followed, refusals, atomic replacement, permissions kept). Raises AppError("Unable to write
// to " + path) on any refusal or failure. Also used to copy profile files.
void ReplaceFileContents(const QString& path, const QByteArray& content);

// The last step of every write: puts content at targetPath (already resolved and checked) and
// returns false on failure. The default writes a temporary file in the same folder and renames
// it over the target. Tests swap it to simulate a failing disk; the setter returns the previous
// writer (an empty function restores the default).
using FileWriter = std::function<bool(const QString& targetPath, const QByteArray& content)>;
FileWriter SetFileWriterForTesting(FileWriter writer);

} // namespace segmora
