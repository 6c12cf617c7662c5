// Deciding which file a command line or a drop opens as the source.
#include "media/source_intake.h"

#include "ground/product.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

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

QString CommandLineProblem(const QString& argument, const QStringList& extensions) {
    if (argument.isEmpty())
        return {};
    const bool listFile = asciiLower(extensionOf(argument)) == QLatin1String(".tmp");
    if (listFile && !QFileInfo::exists(argument))
        return QStringLiteral("The file %1 does not exist.").arg(argument);
    const QString candidate = CommandLineCandidate(argument);
    if (candidate.isEmpty())
        return QStringLiteral("The list file %1 names no video.").arg(argument);
    if (IsOpenableSource(candidate, extensions))
        return {};
    const QFileInfo info(candidate);
    if (info.isDir())
        return QStringLiteral("%1 is a folder, not a video file.").arg(candidate);
    if (!info.exists())
        return QStringLiteral("The file %1 does not exist.").arg(candidate);
    QStringList types;
    for (const QString& extension : extensions)
        types.append(extension.mid(1).toUpper());
    return QStringLiteral("%1 is not a video type %2 opens. Open a file of one of these "
                          "types: %3.")
        .arg(candidate, kProductName, types.join(QStringLiteral(", ")));
}

QString TypedSourcePath(const QString& text) {
    QString path = text.trimmed();
    if (path.isEmpty())
        return {};
    if (path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        path = QUrl(path).toLocalFile();
    else if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace segmora
