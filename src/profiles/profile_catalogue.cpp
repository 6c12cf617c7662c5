// Comma-terminated lists and the profile catalogue.
#include "profiles/profile_catalogue.h"

#include "ground/time_text.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <algorithm>

namespace segmora {

QStringList SplitCommaTerminatedList(const QString& text) {
    QStringList items = text.split(QLatin1Char(','));
    // The piece after the last comma is not an item (it is empty for a well-formed list).
    items.removeLast();
    return items;
}

namespace {

bool fileNameBefore(const QString& a, const QString& b) {
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

} // namespace

QStringList ListProfileFiles(const QString& folder, const QString& extension) {
    QString wanted = extension.toLower();
    if (!wanted.startsWith(QLatin1Char('.')))
        wanted.prepend(QLatin1Char('.'));
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return {};
    // Files only (links to files included, broken links not); hidden files are left out.
    QStringList names = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const QString& name) {
                                   const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
                                   return dot < 0 || name.mid(dot).toLower() != wanted;
                               }),
                names.end());
    std::sort(names.begin(), names.end(), fileNameBefore);
    return names;
}

QList<ProfileEntry> LoadProfileCatalogue(const QString& profilesFolder) {
    const QString folder = WithTrailingSeparator(profilesFolder);
    QList<ProfileEntry> catalogue;
    for (const QString& name : ListProfileFiles(folder, QStringLiteral(".apf")))
        catalogue.append({StripExtension(name), folder + name});
    return catalogue;
}

QList<ProfileEntry> LoadProfileCatalogue(const QStringList& profilesFolders) {
    QList<ProfileEntry> catalogue;
    QHash<QString, qsizetype> byName; // case-folded display name -> position in catalogue
    for (const QString& folder : profilesFolders) {
        for (const ProfileEntry& entry : LoadProfileCatalogue(folder)) {
            const QString folded = entry.displayName.toCaseFolded();
            if (const auto known = byName.constFind(folded); known != byName.cend()) {
                catalogue[*known] = entry;
            } else {
                byName.insert(folded, catalogue.size());
                catalogue.append(entry);
            }
        }
    }
    std::stable_sort(catalogue.begin(), catalogue.end(),
                     [](const ProfileEntry& a, const ProfileEntry& b) {
                         return fileNameBefore(QFileInfo(a.filePath).fileName(),
                                               QFileInfo(b.filePath).fileName());
                     });
    return catalogue;
}

QList<ProfileEntry> LoadProfileCatalogue(const ProgramContext& context) {
    return LoadProfileCatalogue(context.profileFolders());
}

QStringList DisplayNames(const QList<ProfileEntry>& catalogue) {
    QStringList names;
    for (const ProfileEntry& entry : catalogue)
        names.append(entry.displayName);
    return names;
}

} // namespace segmora
