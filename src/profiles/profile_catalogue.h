// Comma-terminated lists and the catalogue of output profiles in the Profiles folder.
#pragma once

#include "ground/program_context.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace segmora {

// The items of a comma-terminated list: every item, the last one included, is followed by a
// comma; text after the last comma is not an item; items are taken as they stand (no trimming).
// "Low,High," gives Low and High; "Low,High" gives Low; "," gives one empty item.
QStringList SplitCommaTerminatedList(const QString& text);
// The choices of a parameter's Caption and the converter values of its Value.
inline QStringList SplitCaptionList(const QString& text) {
    return SplitCommaTerminatedList(text);
}
inline QStringList SplitValueList(const QString& text) {
    return SplitCommaTerminatedList(text);
}

// Names (without folder) of the plain files in folder whose extension (from the last "." on)
// equals extension without regard to case, e.g. ".apf". Folders and hidden files are left out;
// a symbolic link to a file counts as a file. Sorted by name without regard to case. A missing
// or unreadable folder gives an empty list. The process's current folder is never changed.
QStringList ListProfileFiles(const QString& folder, const QString& extension);

// One entry of the profile lists: the name shown and the real file behind it (Fast.APF is
// shown as Fast and loaded from Fast.APF).
struct ProfileEntry {
    QString displayName;
    QString filePath;
};

// The catalogue of a profiles folder (with or without trailing "/"): every ".apf" file in the
// order of ListProfileFiles, shown under its name without extension.
QList<ProfileEntry> LoadProfileCatalogue(const QString& profilesFolder);
// The catalogue of several folders as one list in the same order: a profile of a later folder
// takes the place of one of the same display name (without regard to case) in an earlier one,
// so the user's own folder comes last.
QList<ProfileEntry> LoadProfileCatalogue(const QStringList& profilesFolders);
// The catalogue the program offers: every folder of the context (the shipped profiles and the
// user's own when installed). The window's lists and the command line both read this one.
QList<ProfileEntry> LoadProfileCatalogue(const ProgramContext& context);
QStringList DisplayNames(const QList<ProfileEntry>& catalogue);

} // namespace segmora
