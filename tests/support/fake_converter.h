// Small stand-in converters for the job tests: shell scripts written into a test's own
// temporary folder, and a check that a process has really gone.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <sys/types.h>

namespace segmora::test {

// Writes an executable "#!/bin/sh" script with body into dir and returns its path.
inline QString writeFakeConverter(const QTemporaryDir& dir, const QString& name,
                                  const QByteArray& body) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// True when no process pid runs any more: it does not exist, or it is a zombie left for a
// parent that is not us.
inline bool processGone(pid_t pid) {
    if (::kill(pid, 0) != 0)
        return errno == ESRCH;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && text.mid(close + 2, 1) == "Z";
}

// True when every process of group pgid is gone (zombies left for someone else count as gone).
inline bool processGroupGone(pid_t pgid) {
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        const pid_t pid = entry.toInt(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const qsizetype close = text.lastIndexOf(')');
        if (close < 0)
            continue;
        // After the name: state, parent, group.
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (fields.size() > 2 && fields[2].toInt() == pgid && fields[0] != "Z")
            return false;
    }
    return true;
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeAll(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

} // namespace segmora::test
