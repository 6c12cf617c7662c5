// The preferences kept in Preferences.ini: their values, defaults, and how they are read and saved.
//
// Nothing is cached: every function opens the file, reads or writes key by key and lets it go.
// UI thread only (the file is shared with the rest of the program without locks).
#pragma once

#include "ground/program_context.h"

#include <QString>
#include <QStringList>

namespace segmora {

// Section of the saved values, the only one the program writes; also holds "Version",
// "Profile" and "Profile Name".
inline const QString kPreferencesMainSection = QStringLiteral("Main");
// Section of the factory values, read only by "Load Default".
inline const QString kPreferencesDefaultSection = QStringLiteral("Default");

// The values edited in the Settings dialog, in the order they are read and saved.
struct PreferenceValues {
    bool preview = true;
    bool overwrite = true;
    // Use the fixed output folder instead of the source's folder.
    bool aptotic = true;
    QString outputDir;
    bool autoOpenDir = true;
    bool autoExit = true;
    // Off unless the file says otherwise: a lost or damaged file must never power the
    // machine off after a job.
    bool autoTurnOff = false;

    bool operator==(const PreferenceValues&) const = default;
};

// What a read gives for every key that is missing or unreadable; "Output Dir" is the program
// folder with its trailing separator (the home folder when installed).
PreferenceValues DefaultPreferenceValues(const ProgramContext& context);

// Reads the seven values from "Default" when loadDefaults is true, from "Main" otherwise.
// A key present with an empty "Output Dir" stays empty; only a missing key takes the default.
PreferenceValues ReadPreferenceValues(const ProgramContext& context, bool loadDefaults);

// The saved position of the selected output profile ("Main"/"Profile", default 0). It may lie
// outside the current profile list; callers treat that as "no profile selected".
int ReadSavedProfileIndex(const ProgramContext& context);

// The saved choice of output profile among displayNames (the main list, in order): the position
// of "Main"/"Profile Name" when that names one of them exactly, so a profile added or removed
// since the save does not shift the choice; otherwise the saved position ("Profile"), which may
// lie outside the list.
int SavedProfileChoice(const ProgramContext& context, const QStringList& displayNames);

// "Main"/"Aptotic" as the file holds it right now (default on), for opening a source: a change
// in the Settings dialog counts only once it is saved.
bool ReadAptoticNow(const ProgramContext& context);

// Writes the values, the profile position (-1: none selected) and its display name (empty when
// none) to "Main", one key at a time in the order "Preview", "Overwrite", "Aptotic",
// "Output Dir" (as given, not normalised), "Auto Open Dir", "Auto Exit", "Auto Turn Off",
// "Profile", "Profile Name". Raises AppError("Unable to write to <path>") on the first refused
// write; keys written before it stay written.
void WritePreferenceValues(const ProgramContext& context, const PreferenceValues& values,
                           int profileIndex, const QString& profileName);

} // namespace segmora
