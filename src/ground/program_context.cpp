// Paths of the program folder.
#include "ground/program_context.h"

#include "ground/product.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace segmora {
namespace {

QString withSeparator(QString folder) {
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

} // namespace

ProgramContext ProgramContext::fromExecutable() {
    return forFolder(QCoreApplication::applicationDirPath());
}

ProgramContext ProgramContext::forFolder(const QString& folder) {
    ProgramContext context;
    context.m_programFolder = withSeparator(QFileInfo(folder).absoluteFilePath());
    return context;
}

QString ProgramContext::converterPath() const { return m_programFolder + kConverterFileName; }
QString ProgramContext::preferencesPath() const { return m_programFolder + kPreferencesFileName; }
QString ProgramContext::profilesFolder() const {
    return m_programFolder + kProfilesFolderName + QLatin1Char('/');
}
QString ProgramContext::helpPath() const { return m_programFolder + kHelpFileName; }

QString ProgramContext::profilePath(const QString& displayName) const {
    const QString folder = profilesFolder();
    const QString wanted = displayName + QStringLiteral(".apf");
    // File names match without regard to case, as on the platform the format comes from:
    // Fast.APF is found again under the name Fast.
    const QString exact = folder + wanted;
    if (QFileInfo(exact).isFile())
        return exact;
    const QStringList entries = QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.compare(wanted, Qt::CaseInsensitive) == 0)
            return folder + entry;
    }
    return exact;
}

} // namespace segmora
