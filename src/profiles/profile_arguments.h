// The profile part of the converter's command line, built from a profile file and the grids.
#pragma once

#include <QString>

namespace segmora {

struct ProfileGrids;

// The argument text of the profile at path with the grids' current choices: one piece
// " " + cmd + " " + value per contributing parameter, in parameter order; empty when the file
// is missing or nothing contributes. A list parameter sends the value of the choice its grid
// value names (matched without regard to case), or the grid value itself when it is no choice
// (a custom size); a read-only non-list parameter sends the file's Value; any other sends its
// grid value. The value "\" gives the flag alone (" " + cmd + " "). Nothing is quoted. Broken
// parameters contribute nothing.
QString BuildProfileArguments(const QString& path, const ProfileGrids& grids);

// The same from the file alone, with every row as loading the profile fills it (a list
// parameter's chosen caption, any other its Caption): what a split without the window uses.
QString BuildSavedProfileArguments(const QString& path);

} // namespace segmora
