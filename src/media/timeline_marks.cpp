// Lossless cut starts and snapshot files.
#include "media/timeline_marks.h"

#include "cut_rule.h"
#include "ground/app_error.h"
#include "ground/time_text.h"
#include "media/keyframe_index.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cmath>

namespace segmora {

QVector<CutLanding> LosslessCutLandings(const QVector<double>& askedStarts,
                                        const QVector<double>& keyframes, const QString& codecName,
                                        bool intraOnly) {
    QVector<CutLanding> landings;
    if (keyframes.isEmpty() || !vorkast::cutStartsAtKeyframe(codecName.toStdString(), intraOnly))
        return landings;
    for (double asked : askedStarts) {
        if (IsKeyframeTime(keyframes, asked))
            continue;
        const double before = PreviousKeyframe(keyframes, asked);
        // Before the first keyframe the clip starts with the source.
        landings.append({asked, before < 0 ? 0.0 : before});
    }
    return landings;
}

QString CutLandingText(const CutLanding& landing) {
    return QStringLiteral("A lossless cut of this video starts at the keyframe before the Start "
                          "Time: the clip begins at %1, %2 s earlier.")
        .arg(SecondsToMarkText(landing.lands))
        .arg(landing.asked - landing.lands, 0, 'f', 3);
}

QString SnapshotPath(const QString& videoPath, double seconds) {
    const QFileInfo video(videoPath);
    const qint64 ms = qint64(std::llround(std::max(0.0, seconds) * 1000.0));
    const QString time = QStringLiteral("%1-%2-%3.%4")
                             .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
                             .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
                             .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                             .arg(ms % 1000, 3, 10, QLatin1Char('0'));
    const QString stem = video.absolutePath() + QLatin1Char('/') +
                         StripExtension(video.fileName()) + QLatin1Char('_') + time;
    QString path = stem + QStringLiteral(".png");
    for (int copy = 2; QFileInfo::exists(path); ++copy)
        path = stem + QLatin1Char('_') + QString::number(copy) + QStringLiteral(".png");
    return path;
}

void WriteSnapshot(const QImage& picture, const QString& path) {
    if (picture.isNull())
        throw AppError(QStringLiteral("There is no picture on screen to save yet."));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit())
        throw AppError(QStringLiteral("Unable to write to ") + path);
}

} // namespace segmora
