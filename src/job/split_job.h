// What a split job runs on and how it ended: the plan made from a checked request, the way the
// job ended, clips that came out short, and the failure text. JobController runs the plan.
//
// Threading: any thread; plain values and pure functions.
#pragma once

#include "job/job_request.h"
#include "job/progress_parser.h"
#include "job/section_plan.h"

#include "clip_check_report.h"

#include <QJsonObject>
#include <QList>
#include <QString>

namespace segmora {

// Everything a job runs on, fixed when it starts.
struct SplitJobPlan {
    QString converterPath;
    QString sourcePath;
    QString profileArguments;
    QString profileName; // named by the converter when it refuses one of the arguments
    JobMode mode = JobMode::StartEnd;
    int sectionCount = 0; // as checked; the total bar divides by it
    QList<Section> sections;
    QString outputFolder;           // a trailing separator is added when missing
    QString outputExtension;        // ".mp4"; the source's own for the source-settings profile
    bool overwriteExisting = false; // the "Overwrite existent output files." preference
};

// The profile's arguments as the converter gets them. The source-settings profile copies every
// stream and cuts frame-exact (" -cut exact" added): only the frames at the cut points are
// re-encoded. A profile that names its own cut, and every other profile, is passed unchanged.
QString ConverterProfileArguments(const QString& profileName, const QString& profileArguments);

// The plan of a request that passed its checks. The clips take the request's profile extension;
// the source-settings profile keeps the source's extension instead, and its arguments become
// ConverterProfileArguments().
SplitJobPlan MakeSplitJobPlan(const JobRequest& request, const JobCheckResult& checked,
                              const QString& converterPath, const QString& profileArguments,
                              bool overwriteExisting);

enum class SplitJobEnd {
    Completed,        // every section ran or was skipped: the completion actions follow
    Cancelled,        // requestCancel(): converter ended, no further message
    OverwriteRefused, // start/end mode, overwrite answered No: no further message
    StartFailed,      // the converter could not be started: message() in the plain dialog
    Failed,           // a converter failed or died: message() in an information box
};

// A clip the converter wrote whole but shorter than its section (the source ended first).
struct ShortClip {
    int index = 0;
    QString outputPath;
    double asked = 0; // seconds
    double made = 0;  // seconds, from the converter's last progress report
};

// A clip that starts at the key frame before its start: its video could not be cut exactly, or
// the profile asked for a keyframe cut.
struct KeyframeCut {
    int index = 0;
    QString outputPath;
    double secondsEarly = 0; // how long before the section's start the clip begins
};

// A stream of the source a clip leaves out, its container having no place for it.
struct LeftOutStream {
    int index = 0;
    QString outputPath;
    QString stream; // as the converter names it: "subtitle stream 3 (subrip)"
};

// What the converter's check of a clip found before it put the clip in place
// (clip_check_report.h).
struct CheckedClip {
    int index = 0;
    QString outputPath;
    vorkast::clipcheck::Figures figures;
};

// A section whose converter failed or could not start.
struct SectionFailure {
    int index = 0;
    QString message;
};

struct SplitJobResult {
    SplitJobEnd end = SplitJobEnd::Completed;
    QString message; // StartFailed and Failed only: the first failure's text
    int section = 0; // the section that ended the job (StartFailed, Failed, Cancelled, refused)
    QList<ShortClip> shortClips;     // made, but shorter than asked; in section order
    QList<KeyframeCut> keyframeCuts; // made, but starting before their start; in section order
    bool keyframeCutsAsked = false;  // the profile asked for keyframe cuts: no exact cut failed
    QList<LeftOutStream> leftOut;    // made without some of the source's streams; section order
    QList<CheckedClip> checks;       // every clip the converter checked, in section order
    // Clips that failed their check, in section order: removed, or kept (figures.kept) where
    // the profile asked for it (-check keep).
    QList<CheckedClip> failedChecks;
    QList<SectionFailure> failures; // every failed section, in the order they failed
    QList<int> made;                // sections whose clip was written, in section order
    QList<int> skipped;             // sections whose existing clip was kept
};

// "Splitting: " + the source's file name in start/end mode; otherwise which section of how
// many and the clip it makes: "Splitting: Section 2 of 3 (holiday_Clip2.mp4)".
QString ProcessingText(const SplitJobPlan& plan, int index);

// The box that follows the completion message when clips came out short: which sections, and
// how long each is against what was asked. Empty when there are none.
QString ShortClipsText(const QList<ShortClip>& clips);

// The box that follows the completion message when clips start at the key frame before their
// start: which sections, and how much earlier each starts; asked tells that the profile asked
// for keyframe cuts rather than an exact cut failing. Empty when there are none.
QString KeyframeCutsText(const QList<KeyframeCut>& cuts, bool asked = false);
// Whether converter arguments ask for frame-exact cuts ("-cut exact"); without, a copied video
// starts at the key frame before each start.
bool AsksExactCut(const QString& converterArguments);

// A line of the converter as the user reads it: without the converter's name in front, and a
// refused output folder named (the converter only says "the output folder"; outputPath is the
// clip it was to write).
QString ShownConverterLine(const QString& line, const QString& outputPath);

// The text of the box shown when a converter failed: "Splitting failed." and what went wrong,
// its last line shown through ShownConverterLine().
QString ConverterFailureText(int exitCode, int signal, const QString& lastLine,
                             const QString& outputPath);

// The completion message: "Splitting is completed successfully." when every section was made;
// when existing clips were kept (overwrite answered No), how many were made and how many kept.
QString CompletedText(const SplitJobResult& result);

// The box that follows the completion message when clips failed their check: which sections,
// what differs, and whether each clip was removed or kept. Empty when there are none.
QString FailedChecksText(const QList<CheckedClip>& clips);

// A check's figures as members of a JSON event (`segmora split --json`, `segmora check --json`):
// passed, kept, findings, and each figure measured.
QJsonObject CheckJson(const vorkast::clipcheck::Figures& figures);

// The box that follows the completion message when clips leave out streams of the source
// (subtitles in a container without them): which sections and which streams. Empty when none.
QString LeftOutStreamsText(const QList<LeftOutStream>& streams);

} // namespace segmora
