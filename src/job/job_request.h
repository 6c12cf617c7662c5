// The split request as read from the main window's controls, and its checks in their fixed order.
//
// Threading: any thread; the checks only look at the file system for the source and the folder.
#pragma once

#include "job/cut_list.h"

#include <QList>
#include <QString>

namespace segmora {

// One clip of the marked range, equal sections of it, or a clip per range of a cut list.
enum class JobMode { StartEnd, Equal, CutList };

// The controls a failed check sends the focus to.
enum class JobField { None, Source, SectionQty, Profile, OutputFolder, CutList };

// Everything a job needs from the window, read once when the Start button is pressed.
struct JobRequest {
    QString sourcePath; // edtSource
    QString startText;  // edtStart, a time text
    QString endText;    // edtEnd, a time text
    JobMode mode = JobMode::StartEnd;
    QString sectionQtyText; // edtSectionQty, read in equal mode only
    QString profileName;    // cmbProfile
    bool profileFileExists = false;
    QString outputFolderText;      // edtOutputDir
    long long durationMs = 0;      // the source's length as the player reports it; 0 when none
    double frameSeconds = 0;       // one frame of the source's picture; 0 when unknown (sound only)
    QString profileExtension = {}; // the extension of the profile loaded last (".mp4")
    bool sourceOpens = true;       // false once the player or the probe refused the file
    QString profileProblem{}; // ProfileFileProblem() of the chosen profile; empty when it is one
    // Cut-list mode only: the list's rows and what to do with them. The times stay numbers
    // from the list to the plan; no time text comes between.
    QList<CutRange> ranges{};
    CutListMode cutListMode = CutListMode::Keep;
    bool joinRanges = false; // one clip joining the ranges rather than one clip each
};

// The shortest section a plan may hold when the source's frame duration is unknown.
inline constexpr double kShortestSectionSeconds = 0.001;

// The first failing check (number 1..10 with its box), or success with the numbers the plan needs.
// Check 1 refuses a source that is no regular file or that was found to hold no media.
// Check 6 also refuses a section quantity of 0 or less; check 7 a profile file that is not a
// profile (profileProblem, whose text is the message), so no clip is made from its nonsense with
// the converter's defaults; check 9 refuses a plan whose sections are shorter than one frame of
// the source (kShortestSectionSeconds when that is unknown), as they would come out a whole frame
// long each. Check 10 refuses clip names longer than a file system holds (the last, longest one
// is named), before any work starts. In cut-list mode checks 2 to 6 give way to check 11, the
// list's: it must hold a range, be sound (CutRangesProblem, the row named), leave something
// when its ranges are removed, and hold no range shorter than one frame; the clips counted by
// checks 9 and 10 are those PlanCutListSections() makes.
struct JobCheckResult {
    int failedCheck = 0; // 0 when every check passed
    QString text;
    QString title;
    JobField focus = JobField::None;

    double start = 0;     // S in seconds, as typed (valid on success)
    double end = 0;       // E in seconds, as typed (valid on success)
    int sectionCount = 0; // 1 in start/end mode; the positive quantity in equal mode; the clips
                          // of a cut list

    bool passed() const { return failedCheck == 0; }
};

// True when the path names a regular file (or a link to one): a folder, a FIFO or a device
// is no source.
bool IsValidSource(const QString& path);
// True when the text names an existing folder.
bool IsExistingFolder(const QString& path);

// The shortest section the request's source allows: one frame, kShortestSectionSeconds when
// the frame is unknown.
double ShortestSection(const JobRequest& request);

// Runs the checks in order and stops at the first failure. Nothing is repaired: a time text is
// never normalised and the section quantity is never clamped.
JobCheckResult CheckJobRequest(const JobRequest& request);

} // namespace segmora
