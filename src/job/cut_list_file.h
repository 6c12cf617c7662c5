// A cut list written out and read back: CSV (start,end,label in seconds with a fraction, the
// layout other cutting tools read), our JSON (the ranges, the mode and the video they belong
// to), and the list kept for each video beside the program's settings.
//
// Threading: any thread; the store functions touch only their own folder.
#pragma once

#include "job/cut_list.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace segmora {

// Which video a list belongs to: the same path, size and modification time is the same video.
struct VideoIdentity {
    QString path;
    qint64 size = -1;
    qint64 modifiedMs = 0; // milliseconds since the epoch (UTC)

    bool operator==(const VideoIdentity&) const = default;
};

// The identity of the file at path now (size -1 when it cannot be read).
VideoIdentity IdentifyVideo(const QString& path);

struct CutListContent {
    QList<CutRange> ranges;
    CutListMode mode = CutListMode::Keep;
};

// A file read: the list, or the fault that refused it (naming the line or row), never both.
struct CutListReading {
    CutListContent content;
    QString problem;
    bool modeGiven = false; // the file said whether to keep or remove (JSON does)

    bool ok() const { return problem.isEmpty(); }
};

// "start,end,label" and a row per range; a label with a comma, quote or line break is quoted.
QByteArray CutListCsv(const QList<CutRange>& ranges);
// The JSON of a list for the video.
QByteArray CutListJson(const CutListContent& content, const VideoIdentity& video);

// Reads a CSV list: an optional "start,end[,label]" header, then a row per range whose times
// are CutTimeSeconds() texts; blank lines are skipped. A row with a time column that holds no
// time, or with fewer than two columns, refuses the file naming its line. The ranges then pass
// CutRangesProblem(durationSeconds).
CutListReading ReadCutListCsv(const QByteArray& data, double durationSeconds);
// Reads our JSON. Refused: what is no such list, a range without number times (named by row),
// a list whose video has another file name or size than video (when video.size >= 0), and the
// faults of CutRangesProblem(durationSeconds).
CutListReading ReadCutListJson(const QByteArray& data, const VideoIdentity& video,
                               double durationSeconds);
// Reads a file by its content: JSON when it starts with "{", CSV otherwise. A file that cannot
// be read is refused with its path.
CutListReading ReadCutListFile(const QString& path, const VideoIdentity& video,
                               double durationSeconds);

// The list kept for a video in folder (the program's cut-list folder): a file per video path,
// which names the size and time it was made for. An empty list removes the file. Raises
// AppError when the folder or file cannot be written.
void KeepCutList(const QString& folder, const VideoIdentity& video, const CutListContent& content);
// The list kept for the video: nothing when none was kept, when the file changed since (other
// size or time), or when what was kept no longer reads.
std::optional<CutListContent> KeptCutList(const QString& folder, const VideoIdentity& video);

} // namespace segmora
