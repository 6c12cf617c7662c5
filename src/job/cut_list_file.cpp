// Cut lists as CSV and JSON text, and the list kept for each video.
#include "job/cut_list_file.h"

#include "ground/app_error.h"
#include "ground/ini_file.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <tuple>

namespace segmora {

namespace {

// Seconds as the files write them: "." and no exponent (other tools read plain decimals), with
// the fewest digits that read back as the same time.
QByteArray secondsText(double seconds) {
    QByteArray text;
    for (int decimals = 0; decimals <= 40; ++decimals) {
        text = QByteArray::number(seconds, 'f', decimals);
        if (text.toDouble() == seconds)
            break;
    }
    return text;
}

QByteArray csvField(const QString& text) {
    QByteArray field = text.toUtf8();
    if (field.contains(',') || field.contains('"') || field.contains('\n') ||
        field.contains('\r')) {
        field.replace("\"", "\"\"");
        field = '"' + field + '"';
    }
    return field;
}

// One record of CSV text from position at: its fields, position moved past its line end.
// Quoted fields may hold commas, doubled quotes and line breaks.
QStringList csvRecord(const QByteArray& data, qsizetype& at) {
    QStringList fields;
    QByteArray field;
    bool quoted = false;
    while (at < data.size()) {
        const char c = data[at++];
        if (quoted) {
            if (c == '"' && at < data.size() && data[at] == '"') {
                field += '"';
                ++at;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.append(QString::fromUtf8(field));
            field.clear();
        } else if (c == '\n') {
            break;
        } else if (c != '\r') {
            field += c;
        }
    }
    fields.append(QString::fromUtf8(field));
    return fields;
}

CutListReading refused(const QString& problem) {
    return CutListReading{{}, problem, false};
}

CutListReading checked(CutListContent content, double durationSeconds) {
    const QString problem = CutRangesProblem(content.ranges, durationSeconds);
    if (!problem.isEmpty())
        return refused(problem);
    return CutListReading{std::move(content), QString(), false};
}

const QString kModeKeep = QStringLiteral("keep");
const QString kModeRemove = QStringLiteral("remove");

} // namespace

VideoIdentity IdentifyVideo(const QString& path) {
    const QFileInfo info(path);
    VideoIdentity video;
    video.path = info.absoluteFilePath();
    if (info.isFile()) {
        video.size = info.size();
        video.modifiedMs = info.lastModified().toMSecsSinceEpoch();
    }
    return video;
}

QByteArray CutListCsv(const QList<CutRange>& ranges) {
    QByteArray text = "start,end,label\n";
    for (const CutRange& range : ranges)
        text += secondsText(range.start) + ',' + secondsText(range.end) + ',' +
                csvField(range.label) + '\n';
    return text;
}

QByteArray CutListJson(const CutListContent& content, const VideoIdentity& video) {
    QJsonArray ranges;
    for (const CutRange& range : content.ranges)
        ranges.append(
            QJsonObject{{"start", range.start}, {"end", range.end}, {"label", range.label}});
    const QJsonObject source{{"name", QFileInfo(video.path).fileName()},
                             {"path", video.path},
                             {"size", double(video.size)},
                             {"modified", double(video.modifiedMs)}};
    const QJsonObject root{{"video", source},
                           {"mode", content.mode == CutListMode::Keep ? kModeKeep : kModeRemove},
                           {"ranges", ranges}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

CutListReading ReadCutListCsv(const QByteArray& data, double durationSeconds) {
    CutListContent content;
    qsizetype at = 0;
    qsizetype lineBreaks = 0;
    bool first = true;
    while (at < data.size()) {
        // A quoted line break belongs to its record; the line named is where the record began.
        const qsizetype line = lineBreaks + 1;
        const qsizetype begin = at;
        const QStringList fields = csvRecord(data, at);
        lineBreaks += data.mid(begin, at - begin).count('\n');
        if (fields.size() == 1 && fields[0].trimmed().isEmpty())
            continue;
        const bool header =
            first && fields[0].trimmed().compare(QLatin1String("start"), Qt::CaseInsensitive) == 0;
        first = false;
        if (header)
            continue;
        if (fields.size() < 2)
            return refused(QStringLiteral("Line %1 of the cut list has no end time.").arg(line));
        const std::optional<double> start = CutTimeSeconds(fields[0]);
        const std::optional<double> end = CutTimeSeconds(fields[1]);
        for (const auto& [value, column, name] :
             {std::tuple{start, 0, "start"}, std::tuple{end, 1, "end"}}) {
            if (!value)
                return refused(QStringLiteral("Line %1 of the cut list: the %2 \"%3\" is no time "
                                              "in seconds.")
                                   .arg(line)
                                   .arg(QLatin1String(name), fields[column].trimmed()));
        }
        content.ranges.append(CutRange{*start, *end, fields.value(2)});
    }
    return checked(std::move(content), durationSeconds);
}

CutListReading ReadCutListJson(const QByteArray& data, const VideoIdentity& video,
                               double durationSeconds) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    const QJsonObject root = document.object();
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        !root.value(QLatin1String("ranges")).isArray())
        return refused(QStringLiteral("The file is no cut list."));

    const QJsonObject source = root.value(QLatin1String("video")).toObject();
    if (video.size >= 0 && !source.isEmpty()) {
        const QString name = source.value(QLatin1String("name")).toString();
        const qint64 size = qint64(source.value(QLatin1String("size")).toDouble(-1));
        if (name != QFileInfo(video.path).fileName() || size != video.size)
            return refused(QStringLiteral("The cut list belongs to another video: %1 (%2 bytes).")
                               .arg(name)
                               .arg(size));
    }

    CutListContent content;
    const QString mode = root.value(QLatin1String("mode")).toString(kModeKeep);
    if (mode != kModeKeep && mode != kModeRemove)
        return refused(
            QStringLiteral("The cut list's mode \"%1\" is neither keep nor remove.").arg(mode));
    content.mode = mode == kModeKeep ? CutListMode::Keep : CutListMode::Remove;
    const QJsonArray ranges = root.value(QLatin1String("ranges")).toArray();
    for (qsizetype i = 0; i < ranges.size(); ++i) {
        const QJsonObject range = ranges[i].toObject();
        const QJsonValue start = range.value(QLatin1String("start"));
        const QJsonValue end = range.value(QLatin1String("end"));
        if (!start.isDouble() || !end.isDouble())
            return refused(
                QStringLiteral("Range %1 of the cut list has no start and end in seconds.")
                    .arg(i + 1));
        content.ranges.append(CutRange{start.toDouble(), end.toDouble(),
                                       range.value(QLatin1String("label")).toString()});
    }
    CutListReading reading = checked(std::move(content), durationSeconds);
    reading.modeGiven = reading.ok();
    return reading;
}

CutListReading ReadCutListFile(const QString& path, const VideoIdentity& video,
                               double durationSeconds) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refused(QStringLiteral("Unable to read %1").arg(QDir::toNativeSeparators(path)));
    const QByteArray data = file.readAll();
    if (data.trimmed().startsWith('{'))
        return ReadCutListJson(data, video, durationSeconds);
    return ReadCutListCsv(data, durationSeconds);
}

namespace {

QString keptPath(const QString& folder, const VideoIdentity& video) {
    const QByteArray key =
        QCryptographicHash::hash(video.path.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QDir(folder).filePath(QString::fromLatin1(key) + QStringLiteral(".json"));
}

} // namespace

void KeepCutList(const QString& folder, const VideoIdentity& video, const CutListContent& content) {
    const QString path = keptPath(folder, video);
    if (content.ranges.isEmpty()) {
        QFile::remove(path);
        return;
    }
    if (!QDir().mkpath(folder))
        throw AppError(QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(folder));
    ReplaceFileContents(path, CutListJson(content, video));
}

std::optional<CutListContent> KeptCutList(const QString& folder, const VideoIdentity& video) {
    QFile file(keptPath(folder, video));
    if (video.size < 0 || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.readAll();
    const QJsonObject source =
        QJsonDocument::fromJson(data).object().value(QLatin1String("video")).toObject();
    // Kept for this path, yet the file was replaced or changed since: its times may mean
    // other pictures now.
    if (source.value(QLatin1String("path")).toString() != video.path ||
        qint64(source.value(QLatin1String("modified")).toDouble(-1)) != video.modifiedMs)
        return std::nullopt;
    const CutListReading reading = ReadCutListJson(data, video, 0);
    if (!reading.ok())
        return std::nullopt;
    return reading.content;
}

} // namespace segmora
