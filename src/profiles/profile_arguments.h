// The profile part of the converter's command line, built from a profile file and its values.
#pragma once

#include <QString>

namespace segmora {

class ProfileValues;

// The argument text of the profile at path with the current values: one piece
// " " + cmd + " " + value per contributing parameter, in parameter order; empty when the file
// is missing or nothing contributes. A parameter's current value is that of its row in the
// group of its Sort (empty without one). A list parameter sends the converter value of the
// choice its current value names (matched without regard to case), or the current value itself
// when it is no choice (a custom size); a read-only non-list parameter sends the file's Value;
// any other sends its current value. The value "\" gives the flag alone (" " + cmd + " ").
// Nothing is quoted. Broken parameters contribute nothing.
QString BuildProfileArguments(const QString& path, const ProfileValues& values);

// The same from the file alone, with every value as loading the profile gives it (a list
// parameter's chosen caption, any other its Caption): what a split without the window uses.
QString BuildSavedProfileArguments(const QString& path);

} // namespace segmora
