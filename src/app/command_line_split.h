// Splitting without the window: `segmora split SOURCE...` and `segmora profiles`, run on a
// QCoreApplication (no display, no player) through the same checks, plan and job controller
// as the Start button.
//
// Threading: main thread; RunSubcommand() owns the application object and its event loop.
#pragma once

#include "ground/program_context.h"
#include "job/cut_list.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace segmora {

// Exit statuses of `segmora split`.
enum SplitExit : int {
    kSplitAllMade = 0,       // every clip of every source was made
    kSplitSomeFailed = 1,    // a check, a converter or an existing clip stopped at least one clip
    kSplitUsage = 2,         // the command line itself is wrong
    kSplitInterrupted = 130, // SIGINT: converters ended, no part file left
};

struct SplitOptions {
    QStringList sources;
    QList<qsizetype> sourceArguments; // where each source stands among the arguments
    QString start = QStringLiteral("00:00:00");
    QString end;       // empty: the source's own end
    QString sections;  // null: one clip from start to end
    QString profile;   // empty: the saved choice
    QString outputDir; // empty: the saved output-folder rule
    QString programFolder;
    bool overwrite = false;
    QList<CutRange> ranges; // --range, in the order given
    QString cutsFile;       // --cuts: a CSV or JSON cut list
    bool remove = false;    // --remove: the ranges are cut away, what lies between is kept
    bool join = false;      // --join: one clip joining the ranges (one chapter each)
    int jobs = 0;           // 0: the default for the profile
    bool json = false;
    bool help = false;
    QString error; // a usage error, when not empty
};

// True when word is a subcommand ("split", "profiles" or "check") rather than a video to open.
bool IsSubcommand(const char* word);

// Parses the arguments after "split".
SplitOptions ParseSplitOptions(const QStringList& arguments);

// "segmora: TEXT" on standard error; a JSON object as one line on standard output.
void PrintCommandLineError(const QString& text);
void EmitJsonLine(const QJsonObject& object);
// The program's folders for a subcommand: --program-folder, else SEGMORA_PROGRAM_FOLDER, else
// the executable's own.
ProgramContext CommandLineContext(const QString& programFolder);

// The usage lines of the subcommands, for `segmora --help`.
QString SubcommandUsage();

// Runs `segmora split ...` or `segmora profiles` (argv[1] is the subcommand) and returns the
// exit status.
int RunSubcommand(int argc, char* argv[]);

} // namespace segmora
