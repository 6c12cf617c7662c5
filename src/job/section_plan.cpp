// The section plan and the names of the clips it produces.
#include "job/section_plan.h"

#include "converter_contract.h"

#include "ground/time_text.h"

#include <algorithm>

namespace segmora {

const QString kSourceSettingsProfileName = QStringLiteral("Settings of the source file.");

QList<Section> PlanSections(double start, double end, int count, long long durationMs) {
    QList<Section> sections;
    if (count <= 0)
        return sections;
    const double first = std::max(start, 0.0);
    const double last =
        durationMs > 0 ? std::min(end, static_cast<double>(durationMs) / 1000.0) : end;
    const double length = (last - first) / count;
    sections.reserve(count);
    for (int i = 1; i <= count; ++i)
        sections.append(Section{i, (i - 1) * length + first, length});
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

QString PartFilePath(const QString& outputPath) {
    const qsizetype slash = outputPath.lastIndexOf(QLatin1Char('/'));
    const QString name = outputPath.mid(slash + 1);
    return outputPath.left(slash + 1) +
           QString::fromStdString(vorkast::contract::partFileName(name.toStdString()));
}

} // namespace segmora
