// The converter's command line for one section: as text (for tests and the log) and as the
// argument vector the process really gets.
//
// Threading: any thread; pure functions.
#pragma once

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
    // Another section starts where this one ends (equal sections, all but the last): " -tile"
    // before OUTPUT, so a clip that cannot be cut exactly ends where the next one starts.
    bool followed = false;
};

// ' -y -i "SOURCE" -ss START -t LENGTH' + profile arguments [+ ' -tile'] + ' "OUTPUT"'. Never
// parsed: paths are quoted here only to be readable in a log.
QString ConverterCommandText(const ConverterCall& call);

// "-y", "-i", SOURCE, "-ss", START, "-t", LENGTH, the profile arguments split at runs of blanks
// (no quote handling, so one profile value may carry several tokens), OUTPUT. The paths stay
// single arguments whatever characters they hold.
QStringList ConverterArguments(const ConverterCall& call);

} // namespace segmora
