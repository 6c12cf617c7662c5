// The plan of a split, and the texts that tell how it ended.
#include "job/split_job.h"

#include "ground/product.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include <cmath>
#include <csignal>
#include <cstring>

namespace segmora {

QString ConverterProfileArguments(const QString& profileName, const QString& profileArguments) {
    if (profileName != kSourceSettingsProfileName ||
        profileArguments.split(QLatin1Char(' '), Qt::SkipEmptyParts)
            .contains(QLatin1String("-cut")))
        return profileArguments;
    return profileArguments + QStringLiteral(" -cut exact");
}

bool AsksExactCut(const QString& converterArguments) {
    const QStringList tokens = converterArguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    // The converter takes the last -cut given.
    const qsizetype cut = tokens.lastIndexOf(QStringLiteral("-cut"));
    return cut >= 0 && tokens.value(cut + 1) == QLatin1String("exact");
}

SplitJobPlan MakeSplitJobPlan(const JobRequest& request, const JobCheckResult& checked,
                              const QString& converterPath, const QString& profileArguments,
                              bool overwriteExisting) {
    SplitJobPlan plan;
    plan.converterPath = converterPath;
    plan.sourcePath = request.sourcePath;
    plan.profileArguments = ConverterProfileArguments(request.profileName, profileArguments);
    plan.profileName = request.profileName;
    plan.mode = request.mode;
    plan.sectionCount = checked.sectionCount;
    plan.sections =
        request.mode == JobMode::CutList
            ? PlanCutListSections(request.ranges, request.cutListMode, request.durationMs,
                                  ShortestSection(request), request.joinRanges)
            : PlanSections(checked.start, checked.end, checked.sectionCount, request.durationMs);
    plan.outputFolder = request.outputFolderText;
    plan.outputExtension = OutputExtension(request.sourcePath, request.profileExtension,
                                           KeepsSourceContainer(request.profileName));
    plan.overwriteExisting = overwriteExisting;
    return plan;
}

QString ShownConverterLine(const QString& line, const QString& outputPath) {
    // The user started Segmora, not the converter: its name in front of a line says nothing.
    QString shown = line;
    const QString ownName = kConverterFileName + QStringLiteral(": ");
    if (shown.startsWith(ownName))
        shown.remove(0, ownName.size());
    // The converter names no folder; the job knows which one it is.
    const QString refused = QStringLiteral("cannot write to the output folder");
    if (shown.startsWith(refused) && !outputPath.isEmpty())
        shown.insert(refused.size(), QLatin1Char(' ') + QDir::toNativeSeparators(
                                                            QFileInfo(outputPath).absolutePath()));
    return shown;
}

QString ConverterFailureText(int exitCode, int signal, const QString& lastLine,
                             const QString& outputPath) {
    QString detail = ShownConverterLine(lastLine, outputPath);
    if (signal != 0) {
        const char* name = sigabbrev_np(signal);
        detail =
            QStringLiteral("The converter was stopped by signal %1%2.")
                .arg(signal)
                .arg(name ? QStringLiteral(" (SIG%1)").arg(QString::fromLatin1(name)) : QString());
    } else if (detail.isEmpty()) {
        detail = QStringLiteral("The converter ended with exit code %1.").arg(exitCode);
    }
    return QStringLiteral("Splitting failed.\n") + detail;
}

QString ProcessingText(const SplitJobPlan& plan, int index) {
    if (plan.mode == JobMode::StartEnd)
        return QStringLiteral("Splitting: ") + QFileInfo(plan.sourcePath).fileName();
    const QString clip =
        QFileInfo(OutputPath(plan.outputFolder, plan.sourcePath, index, plan.outputExtension))
            .fileName();
    return QStringLiteral("Splitting: Section %1 of %2 (%3)")
        .arg(index)
        .arg(plan.sectionCount)
        .arg(clip);
}

QString CompletedText(const SplitJobResult& result) {
    if (result.skipped.isEmpty())
        return QStringLiteral("Splitting is completed successfully.");
    const auto clips = [](qsizetype count, const char* one, const char* many) {
        return QString::number(count) + QLatin1Char(' ') +
               QString::fromLatin1(count == 1 ? one : many);
    };
    // "successfully" would hide that nothing, or not everything, was written.
    return QStringLiteral("Splitting is completed: %1 made, %2 kept.")
        .arg(clips(result.made.size(), "clip", "clips"),
             clips(result.skipped.size(), "existing clip", "existing clips"));
}

namespace {

// A box listing clips: the heading, then "Section N (NAME): " and what detail says of each.
// Empty when there are none.
template <typename Clip, typename Detail>
QString ClipListText(const QList<Clip>& clips, const QString& heading, Detail detail) {
    if (clips.isEmpty())
        return QString();
    QString text = heading;
    for (const Clip& clip : clips)
        text += QStringLiteral("\nSection %1 (%2): %3")
                    .arg(clip.index)
                    .arg(QFileInfo(clip.outputPath).fileName(), detail(clip));
    return text;
}

} // namespace

QString ShortClipsText(const QList<ShortClip>& clips) {
    return ClipListText(clips,
                        QStringLiteral("These clips are shorter than asked (the source ended "
                                       "first); they are kept:"),
                        [](const ShortClip& clip) {
                            return QStringLiteral("%1 s of %2 s")
                                .arg(QString::number(clip.made, 'f', 2),
                                     QString::number(clip.asked, 'f', 2));
                        });
}

QString FailedChecksText(const QList<CheckedClip>& clips) {
    return ClipListText(
        clips, QStringLiteral("These clips failed their check against the source:"),
        [](const CheckedClip& clip) {
            return QString::fromStdString(vorkast::clipcheck::findingsText(clip.figures)) +
                   (clip.figures.kept ? QStringLiteral(" (kept)") : QStringLiteral(" (not kept)"));
        });
}

QJsonObject CheckJson(const vorkast::clipcheck::Figures& figures) {
    QJsonObject json{{"passed", figures.passed}, {"kept", figures.kept}};
    QJsonArray findings;
    for (const std::string& finding : figures.findings)
        findings.append(QString::fromStdString(finding));
    json.insert(QStringLiteral("findings"), findings);
    const auto put = [&json](const char* key, const auto& value) {
        if (value)
            json.insert(QLatin1String(key), static_cast<double>(*value));
    };
    put("first picture offset", figures.firstOffset);
    if (figures.identical)
        json.insert(QStringLiteral("first picture identical"), *figures.identical);
    if (figures.psnr && std::isfinite(*figures.psnr))
        json.insert(QStringLiteral("first picture psnr"), *figures.psnr);
    put("pictures", figures.pictures);
    put("pictures planned", figures.planned);
    put("sound offset", figures.sound);
    put("decoder errors", figures.errors);
    put("first decoder error", figures.firstError);
    json.insert(QStringLiteral("pictures decoded"), static_cast<double>(figures.decoded));
    json.insert(QStringLiteral("check seconds"), figures.seconds);
    return json;
}

QString LeftOutStreamsText(const QList<LeftOutStream>& streams) {
    return ClipListText(streams,
                        QStringLiteral("These clips leave out streams of the source that their "
                                       "format cannot hold:"),
                        [](const LeftOutStream& left) { return left.stream; });
}

QString KeyframeCutsText(const QList<KeyframeCut>& cuts, bool asked) {
    return ClipListText(cuts,
                        asked ? QStringLiteral("These clips were copied from the key frame before "
                                               "their start time:")
                              : QStringLiteral("These clips could not be cut exactly; each starts "
                                               "at the key frame before its start time:"),
                        [](const KeyframeCut& cut) {
                            return QString::number(cut.secondsEarly, 'f', 2) +
                                   QStringLiteral(" s earlier");
                        });
}

} // namespace segmora
