// The converter's command line for one section: as text (for tests and the log) and as the
// argument vector the process really gets.
//
// Threading: any thread; pure functions.
#pragma once

#include "job/cut_list.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace segmora {

// A number for the converter: up to 15 significant digits, no trailing zeros, no separator for
// a whole number, exponent only below 0.0001 or beyond 15 integer digits; always ".", whatever
// the locale. 10 / 3 gives "3.33333333333333", 12.5 gives "12.5", 10 gives "10".
QString FormatConverterNumber(double value);

// What one converter run is given.
struct ConverterCall {
    QString sourcePath;
    double start = 0;         // seconds from the source's beginning
    double length = 0;        // seconds
    QString profileArguments; // " flag value" pieces as the profile built them
    QString outputPath;
    QString profileName{}; // the profile the arguments came from, named in its refusals
    // Another section starts where this one ends (equal sections, all but the last): "-tile"
    // among the job's own options, so a clip that cannot be cut exactly ends where the next one
    // starts.
    bool followed = false;
    // A clip joining these ranges: "-range START:END[:LABEL]" for each, in place of -ss and -t
    // (start and length are then left out).
    QList<CutRange> joined{};
};

// ' -y -i "SOURCE" -ss START -t LENGTH [-tile] -profile "NAME"' + profile arguments +
// ' "OUTPUT"'; a joined clip has ' -range "START:END[:LABEL]"' per range in place of -ss and -t.
// Never parsed: paths and the name are quoted here only to be readable in a log.
QString ConverterCommandText(const ConverterCall& call);

// "-y", "-i", SOURCE, "-ss", START, "-t", LENGTH (or "-range", RANGE per joined range, times in
// full precision and the label cleaned as the converter takes it, join_ranges.h), ["-tile",]
// "-profile", NAME, the profile
// arguments split at runs of blanks (no quote handling, so one profile value may carry several
// tokens), OUTPUT. The paths and the name stay single arguments whatever characters they hold.
// "-profile" tells the converter that everything after NAME but OUTPUT is the profile's, so a
// profile can set how a clip is converted but never replace the job's source, range or output: the
// converter refuses -i, -ss, -t, -y or a stray argument there with a line naming the profile.
QStringList ConverterArguments(const ConverterCall& call);

} // namespace segmora
