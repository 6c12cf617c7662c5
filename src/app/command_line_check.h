// `segmora check CLIP --source SOURCE --start TIME [--end TIME] [--json]`: the converter's check
// of a clip against its source, on any clip, including clips other tools made. It runs the
// converter (vorkast -check-clip) and reports what it found.
//
// Threading: main thread, inside RunSubcommand's application object.
#pragma once

#include <QString>
#include <QStringList>

namespace segmora {

// Exit statuses of `segmora check`.
enum CheckExit : int {
    kCheckHolds = 0,    // the clip is the section of the source, as checked
    kCheckFindings = 1, // it is not: the findings say how
    kCheckUsage = 2,    // a usage error, or a clip or source that cannot be checked
};

struct CheckOptions {
    QString clip;
    QString source;
    double start = -1;
    double end = -1; // negative: to the source's end
    bool json = false;
    QString programFolder;
    QString error; // a usage error, when not empty
};

// Parses the arguments after "check".
CheckOptions ParseCheckOptions(const QStringList& arguments);

// Runs the check the arguments ask for and returns the exit status.
int RunCheck(const QStringList& arguments);

} // namespace segmora
