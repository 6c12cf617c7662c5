// The section plan and the names of the clips it produces.
#include "job/section_plan.h"

#include "converter_contract.h"

#include "ground/time_text.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace segmora {

const QString kSourceSettingsProfileName = QStringLiteral("Settings of the source file.");
const QString kKeyframeCopyProfileName = QStringLiteral("Keyframe copy (fast)");

bool KeepsSourceContainer(const QString& profileName) {
    return profileName == kSourceSettingsProfileName || profileName == kKeyframeCopyProfileName;
}

namespace {

// Where the planned range begins and ends within the source.
double rangeStart(double start) {
    return std::max(start, 0.0);
}

double rangeEnd(double end, long long durationMs) {
    return durationMs > 0 ? std::min(end, static_cast<double>(durationMs) / 1000.0) : end;
}

} // namespace

double PlannedSectionLength(double start, double end, int count, long long durationMs) {
    if (count <= 0)
        return 0;
    return (rangeEnd(end, durationMs) - rangeStart(start)) / count;
}

QList<Section> PlanSections(double start, double end, int count, long long durationMs) {
    QList<Section> sections;
    if (count <= 0)
        return sections;
    const double first = rangeStart(start);
    const double length = PlannedSectionLength(start, end, count, durationMs);
    sections.reserve(count);
    for (int i = 1; i <= count; ++i)
        sections.append(Section{i, (i - 1) * length + first, length});
    return sections;
}

QList<Section> PlanCutListSections(const QList<CutRange>& ranges, CutListMode mode,
                                   long long durationMs, double shortestSeconds, bool join) {
    QList<Section> sections;
    const QList<CutRange> cut =
        RangesToCut(ranges, mode, static_cast<double>(durationMs) / 1000.0, shortestSeconds);
    if (join && !cut.isEmpty()) {
        double length = 0;
        for (const CutRange& range : cut)
            length += range.length();
        sections.append(Section{1, cut.first().start, length, QString(), cut});
        return sections;
    }
    for (const CutRange& range : cut)
        sections.append(
            Section{int(sections.size()) + 1, range.start, range.length(), range.label});
    return sections;
}

QString OutputExtension(const QString& sourcePath, const QString& profileExtension,
                        bool keepSourceExtension) {
    if (!keepSourceExtension)
        return profileExtension;
    const QString fileName = sourcePath.mid(sourcePath.lastIndexOf(QLatin1Char('/')) + 1);
    const QString extension = fileName.mid(StripExtension(fileName).size());
    return extension.isEmpty() ? profileExtension : extension;
}

QString OutputPath(const QString& outputFolder, const QString& sourcePath, int index,
                   const QString& extension) {
    return WithTrailingSeparator(outputFolder) + BaseName(sourcePath) + QStringLiteral("_Clip") +
           QString::number(index) + extension;
}

QString PartFilePath(const QString& outputPath, qint64 owner) {
    const qsizetype slash = outputPath.lastIndexOf(QLatin1Char('/'));
    const QString name = outputPath.mid(slash + 1);
    return outputPath.left(slash + 1) + QString::fromStdString(vorkast::contract::partFileName(
                                            name.toStdString(), static_cast<long>(owner)));
}

} // namespace segmora
