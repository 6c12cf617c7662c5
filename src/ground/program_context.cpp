// Paths of the program folder, of an installation and of the user's folders.
#include "ground/program_context.h"

#include "ground/app_error.h"
#include "ground/ini_file.h"
#include "ground/product.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

#ifndef SEGMORA_INSTALLED_DATA_RELATIVE
#define SEGMORA_INSTALLED_DATA_RELATIVE "../share/segmora"
#endif

namespace segmora {
namespace {

QString withSeparator(QString folder) {
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString absoluteFolder(const QString& folder) {
    return withSeparator(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
}

// The file of wanted in folder: exactly so named, or one that differs only in letter case.
QString findIgnoringCase(const QString& folder, const QString& wanted) {
    const QString exact = folder + wanted;
    if (QFileInfo(exact).isFile())
        return exact;
    const QStringList entries = QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.compare(wanted, Qt::CaseInsensitive) == 0)
            return folder + entry;
    }
    return {};
}

void makeFolder(const QString& folder) {
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable())
        throw AppError(QStringLiteral("Unable to write to ") + folder);
}

} // namespace

QString ProgramContext::ExecutableFolder() {
    const QString executable = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return absoluteFolder(QFileInfo(executable).absolutePath());
}

QString ProgramContext::InstalledDataFolderFor(const QString& executableFolder) {
    return absoluteFolder(withSeparator(executableFolder) +
                          QStringLiteral(SEGMORA_INSTALLED_DATA_RELATIVE));
}

ProgramMode ProgramContext::DetectMode(const QString& executableFolder) {
    if (!QFileInfo(executableFolder).isWritable())
        return ProgramMode::Installed;
    const bool ownProfiles =
        QFileInfo(withSeparator(executableFolder) + kProfilesFolderName).isDir();
    const bool installedData = QFileInfo(InstalledDataFolderFor(executableFolder)).isDir();
    return !ownProfiles && installedData ? ProgramMode::Installed : ProgramMode::Portable;
}

InstalledFolders ProgramContext::UserFolders(const QString& dataFolder) {
    const QString folder = QStringLiteral("segmora");
    InstalledFolders folders;
    folders.dataFolder = dataFolder;
    folders.userConfigFolder =
        withSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)) +
        folder;
    folders.userProfileFolder =
        withSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)) +
        folder + QLatin1Char('/') + kProfilesFolderName;
    folders.userCacheFolder =
        withSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)) +
        folder;
    return folders;
}

ProgramContext ProgramContext::fromExecutable(bool forceInstalled) {
    const QString folder = ExecutableFolder();
    if (!forceInstalled && DetectMode(folder) == ProgramMode::Portable)
        return forFolder(folder);
    return installed(folder, UserFolders(InstalledDataFolderFor(folder)));
}

ProgramContext ProgramContext::forFolder(const QString& folder) {
    ProgramContext context;
    context.m_programFolder = withSeparator(QFileInfo(folder).absoluteFilePath());
    return context;
}

ProgramContext ProgramContext::installed(const QString& executableFolder,
                                         const InstalledFolders& folders) {
    ProgramContext context = forFolder(executableFolder);
    context.m_mode = ProgramMode::Installed;
    context.m_installed.dataFolder = absoluteFolder(folders.dataFolder);
    context.m_installed.userConfigFolder = absoluteFolder(folders.userConfigFolder);
    context.m_installed.userProfileFolder = absoluteFolder(folders.userProfileFolder);
    if (!folders.userCacheFolder.isEmpty())
        context.m_installed.userCacheFolder = absoluteFolder(folders.userCacheFolder);
    return context;
}

QString ProgramContext::converterPath() const {
    return m_programFolder + kConverterFileName;
}

QString ProgramContext::preferencesPath() const {
    return m_mode == ProgramMode::Installed ? m_installed.userConfigFolder + kPreferencesFileName
                                            : m_programFolder + kPreferencesFileName;
}

QString ProgramContext::shippedPreferencesPath() const {
    return m_mode == ProgramMode::Installed ? m_installed.dataFolder + kPreferencesFileName
                                            : m_programFolder + kPreferencesFileName;
}

QString ProgramContext::profilesFolder() const {
    return m_mode == ProgramMode::Installed
               ? m_installed.userProfileFolder
               : m_programFolder + kProfilesFolderName + QLatin1Char('/');
}

QStringList ProgramContext::profileFolders() const {
    if (m_mode == ProgramMode::Portable)
        return {profilesFolder()};
    return {m_installed.dataFolder + kProfilesFolderName + QLatin1Char('/'),
            m_installed.userProfileFolder};
}

QString ProgramContext::cutListsFolder() const {
    const QString name = QStringLiteral("CutLists/");
    if (m_mode == ProgramMode::Portable)
        return m_programFolder + name;
    return withSeparator(QDir::cleanPath(m_installed.userProfileFolder + QStringLiteral("/.."))) +
           name;
}

QString ProgramContext::helpPath() const {
    return (m_mode == ProgramMode::Installed ? m_installed.dataFolder : m_programFolder) +
           kHelpFileName;
}

QString ProgramContext::cacheFolder() const {
    if (m_mode == ProgramMode::Installed)
        return m_installed.userCacheFolder;
    return m_programFolder + QStringLiteral("Cache/");
}

QString ProgramContext::defaultOutputFolder() const {
    return m_mode == ProgramMode::Installed ? withSeparator(QDir::homePath()) : m_programFolder;
}

QString ProgramContext::profilePath(const QString& displayName) const {
    // File names match without regard to case, as on the platform the format comes from:
    // Fast.APF is found again under the name Fast.
    const QString wanted = displayName + QStringLiteral(".apf");
    QStringList folders = profileFolders();
    // The user's own folder first: their profile wins over a shipped one of the same name.
    std::reverse(folders.begin(), folders.end());
    for (const QString& folder : folders) {
        const QString found = findIgnoringCase(folder, wanted);
        if (!found.isEmpty())
            return found;
    }
    return profilesFolder() + wanted;
}

QString ProgramContext::profileSavePath(const QString& displayName) const {
    const QString wanted = displayName + QStringLiteral(".apf");
    const QString found = findIgnoringCase(profilesFolder(), wanted);
    return found.isEmpty() ? profilesFolder() + wanted : found;
}

void ProgramContext::PrepareUserFolders() const {
    if (m_mode != ProgramMode::Installed)
        return;
    makeFolder(m_installed.userConfigFolder);
    makeFolder(m_installed.userProfileFolder);
    const QString preferences = preferencesPath();
    if (QFileInfo::exists(preferences))
        return;
    QFile shipped(shippedPreferencesPath());
    // Without shipped preferences the user starts from the built-in defaults.
    if (shipped.open(QIODevice::ReadOnly))
        ReplaceFileContents(preferences, shipped.readAll());
}

} // namespace segmora
