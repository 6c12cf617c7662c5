// Where each section of a split starts, how long it is, and what its output file is called.
//
// Threading: any thread; pure functions.
#pragma once

#include "job/cut_list.h"

#include <QList>
#include <QString>

namespace segmora {

// One output clip: index from 1, start and length in seconds from the source's beginning.
struct Section {
    int index = 0;
    double start = 0;
    double length = 0;
    QString label{}; // the cut list's label of its range; empty for a marked range
    // A clip joining ranges of a cut list: the ranges in the clip's order (start is the first
    // one's, length their sum). Empty for a clip of one range.
    QList<CutRange> joined{};
};

// The sections of a range [start, end] cut into count equal parts (start/end mode passes 1).
// The plan keeps to the source: a start before 0 begins at 0 and, when the duration is known
// (durationMs > 0), an end beyond it ends there, so every section is a real clip. A count of 0
// or less plans nothing. The caller has checked end > start and, for a known duration, that
// start lies before its end.
QList<Section> PlanSections(double start, double end, int count, long long durationMs);

// The sections of a cut list: one per range RangesToCut() gives, numbered from 1 in that order,
// each carrying its range's label; with join, one section (numbered 1, named as a single clip
// is) joining those ranges in that order.
QList<Section> PlanCutListSections(const QList<CutRange>& ranges, CutListMode mode,
                                   long long durationMs, double shortestSeconds, bool join = false);

// The length of each section PlanSections makes (the same for all); 0 for a count of 0 or less.
double PlannedSectionLength(double start, double end, int count, long long durationMs);

// The shipped profile that copies every stream and cuts frame-exact (the job adds -cut exact).
extern const QString kSourceSettingsProfileName;
// The shipped profile that copies every stream from the keyframe at or before each start.
extern const QString kKeyframeCopyProfileName;
// Whether a profile's clips keep the source's own container: those of the two shipped copying
// profiles, which would otherwise put the copied streams into a container that may not hold them.
bool KeepsSourceContainer(const QString& profileName);

// The extension of every clip of a job: the profile's own (".mp4"), or, when keepSourceExtension
// is set, the source's extension (falling back to the profile's when the source has none).
QString OutputExtension(const QString& sourcePath, const QString& profileExtension,
                        bool keepSourceExtension);

// Output folder (a trailing separator is added when missing) + base name of the source +
// "_Clip" + index + extension.
QString OutputPath(const QString& outputFolder, const QString& sourcePath, int index,
                   const QString& extension);

// The temporary file the converter whose process id is owner writes before it renames it over
// outputPath: ".NAME.OWNER.part" in the same folder. The converter itself removes the part files
// that runs killed outright left behind.
QString PartFilePath(const QString& outputPath, qint64 owner);

} // namespace segmora
