// Deciding which file a command line or a drop opens as the source.
#include "media/source_intake.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace segmora {
namespace {

// ASCII-only lower case: the extension test must not depend on the user's locale.
QString asciiLower(const QString& text) {
    QString lower = text;
    for (QChar& c : lower) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return lower;
}

QString extensionOf(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

// Longer than any line naming a video; a list file is never read whole.
constexpr qint64 kMaxLineBytes = 64 * 1024;

} // namespace

bool IsSupportedFile(const QString& path, const QStringList& extensions) {
    const QString extension = asciiLower(extensionOf(path));
    return !extension.isEmpty() && extensions.contains(extension);
}

bool IsOpenableSource(const QString& path, const QStringList& extensions) {
    if (path.isEmpty() || !IsSupportedFile(path, extensions))
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

QString ReadListFileFirstLine(const QString& listPath) {
    const QFileInfo info(listPath);
    if (!info.isFile())
        return {};
    QFile file(listPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray line = file.readLine(kMaxLineBytes);
    if (line.startsWith("\xEF\xBB\xBF"))
        line.remove(0, 3);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    const QString candidate = QString::fromUtf8(line);
    if (candidate.isEmpty())
        return {};
    if (QFileInfo(candidate).isAbsolute())
        return candidate;
    return QDir::cleanPath(QDir(info.absolutePath()).absoluteFilePath(candidate));
}

QString CommandLineCandidate(const QString& argument) {
    if (argument.isEmpty())
        return {};
    if (asciiLower(extensionOf(argument)) == QLatin1String(".tmp"))
        return ReadListFileFirstLine(argument);
    return argument;
}

} // namespace segmora
