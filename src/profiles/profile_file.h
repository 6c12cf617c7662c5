// Moving an output profile between its .apf file and its values.
#pragma once

#include "profiles/profile_values.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace segmora {

class IniSnapshot;

// One parameter of a profile file as written there (keys and defaults of its section).
struct ProfileParameter {
    QString name;
    int sort = -1;
    bool readOnly = false;
    QString cmd;
    bool list = true;
    QString caption;
    QString value;
    int index = 0;
    // List parameter: a value none of its choices offer (a custom video size, "641x361"),
    // shown in place of the Index choice; empty when there is none.
    QString custom;
    QStringList captions; // list parameter: SplitCaptionList(caption)
    QStringList values;   // list parameter: SplitValueList(value)
};

// The position of text among a list parameter's choices, without regard to case; -1 when it is
// none of them.
int IndexWithoutCase(const QStringList& list, const QString& text);

// The parameters of a profile, in file order (Main keys 0 .. Para - 1), read in one pass.
// A parameter that breaks the rules (Sort outside 1..3; for a list parameter: no choices, an
// Index outside the choices or fewer values than choices) is left out; its name goes to
// brokenNames when given. Keys of Main beyond the highest numeric key present are not visited,
// so a huge Para costs nothing.
std::vector<ProfileParameter> ReadProfileParameters(const IniSnapshot& file,
                                                    QStringList* brokenNames = nullptr);

// Why the file at path is not an output profile, as a sentence naming the file; empty when it
// is one. A profile is a readable file of at most kLargestProfileBytes with a [Main] section
// whose Para is a whole number from 0 up: every shipped profile and every file the editor
// writes (a copy of one) has it, while random bytes, another INI file or a renamed video do
// not. Loading stays lenient (LoadProfile fills the grids from whatever it finds); a job
// refuses to run from a file this names.
inline constexpr qint64 kLargestProfileBytes = 1024 * 1024;
QString ProfileFileProblem(const QString& path);

// The output extension of a profile: "." + Main/Type (default "mp4"; an empty Type gives ".").
QString ProfileOutputExtension(const IniSnapshot& file);

// The value a parameter shows right after loading: a list parameter's custom size when it has
// one, else its chosen caption; any other its Caption.
QString LoadedValue(const ProfileParameter& parameter);

// The settings the parameters give, each in the group of its Sort and in file order: a list
// parameter offers its captions, shows its chosen one and is read-only (it is picked, never
// typed); any other shows its Caption and keeps the file's ReadOnly.
ProfileValues ProfileValuesOf(const std::vector<ProfileParameter>& parameters);

// Replaces values by the profile's settings and returns the output extension; nullopt (values
// untouched) when no file exists at path. Broken parameters give no row.
std::optional<QString> LoadProfile(const QString& path, ProfileValues& values);

// Writes the values into the file at path, which supplies the structure: a list parameter gets
// Index (the position of its row's value among the row's choices, without regard to case), and
// a custom size (ParseCustomSize) that is none of its choices goes into the key Custom with
// Index left as it was, so a reader that knows no Custom falls back to the earlier choice; a
// choice empties a Custom the file holds. Any other parameter gets its value as Caption and
// Value. Read-only and broken parameters, and parameters without a row in the group
// of their Sort, are never written. Nothing happens when no file exists at path. Raises AppError
// on a failed write; the save stops there.
void SaveProfile(const QString& path, const ProfileValues& values);

// Copies source to target (replacing it) and saves the values into the copy; nothing happens
// when no file exists at source. A failed copy raises AppError("Unable to write to " + target)
// rather than saving into whatever target held before.
void SaveProfileAs(const QString& source, const QString& target, const ProfileValues& values);

} // namespace segmora
