// The cut list: several ranges of one video, each cut as a clip of its own ("keep these ranges")
// or left out of the video ("remove these ranges"), with the marks that make a range and the
// undo history of every change.
//
// Threading: UI thread for CutList (a QObject); the free functions are pure, any thread.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

namespace segmora {

// One range of the list, in seconds from the video's beginning; the label is the user's name
// for it (may be empty).
struct CutRange {
    double start = 0;
    double end = 0;
    QString label{};

    double length() const { return end - start; }
    bool operator==(const CutRange&) const = default;
};

// What a job does with the ranges of the list.
enum class CutListMode {
    Keep,   // one clip per range, in the list's order
    Remove, // one clip per stretch of the video between the ranges, in time order
};

// The first fault of a list, as a sentence naming its row (rows count from 1 in the list's
// order): a range whose end is not after its start, a range that begins before the video or
// ends past its end (when durationSeconds > 0), or two ranges sharing a stretch of the video
// (touching at one instant is no overlap). Empty when the list is sound.
QString CutRangesProblem(const QList<CutRange>& ranges, double durationSeconds);

// The stretches of [0, durationSeconds] that no range covers, in time order, without those
// shorter than shortestSeconds (a sliver left between two touching marks is no clip). The
// ranges may come in any order; they are assumed sound (CutRangesProblem).
QList<CutRange> InvertCutRanges(const QList<CutRange>& ranges, double durationSeconds,
                                double shortestSeconds);

// The ranges a job cuts: the list's own in its order when keeping, the stretches between them
// when removing.
QList<CutRange> RangesToCut(const QList<CutRange>& ranges, CutListMode mode, double durationSeconds,
                            double shortestSeconds);

// A time of a range as a user types it: seconds ("90", "90.5"), minutes and seconds ("1:30.5")
// or hours, minutes and seconds ("0:01:30.5"); never negative. nullopt for anything else.
std::optional<double> CutTimeSeconds(const QString& text);

// "START-END" with each side a CutTimeSeconds() text ("1:00-1:30"); nullopt when it is not.
std::optional<CutRange> ParseRangeText(const QString& text);

// Everything the list holds at one moment: one step of its history.
struct CutListState {
    QList<CutRange> ranges;
    int selected = -1; // the row the marks edit; -1 when none
    double markStart = 0;
    double markEnd = 0;

    bool operator==(const CutListState&) const = default;
};

// The list the window shows. Every change below but select() is one step that undo() takes
// back and redo() does again; a change that changes nothing is no step. While a row is
// selected, the marks are that row's: setting them moves the row.
class CutList : public QObject {
    Q_OBJECT
public:
    explicit CutList(QObject* parent = nullptr);

    const CutListState& state() const { return m_current; }
    const QList<CutRange>& ranges() const { return m_current.ranges; }
    int selected() const { return m_current.selected; }
    double markStart() const { return m_current.markStart; }
    double markEnd() const { return m_current.markEnd; }

    // A new start: these ranges, no row selected, these marks, and no history.
    void reset(const QList<CutRange>& ranges, double markStart, double markEnd);

    // The marks (and the selected row's times).
    void setMarks(double start, double end);
    // The marks back to nothing and no row selected ("Remove the selection").
    void clearMarks();
    // The marked range as a new last row, unless it would make the list unsound: then the list
    // stays as it is and the fault is returned (CutRangesProblem of the grown list). No row is
    // selected afterwards, so the next marks start a new range.
    QString addMarkedRange(const QString& label, double durationSeconds);
    // Out of range rows are ignored.
    void removeRow(int row);
    // The row moves to the place to (clamped to the list); the selection moves with it.
    void moveRow(int row, int to);
    void setLabel(int row, const QString& label);
    // Replaces every row (an imported list); no row selected.
    void replaceRanges(const QList<CutRange>& ranges);

    // Selects a row (-1: none); the marks become its times. Not a step of the history.
    void select(int row);

    bool canUndo() const { return !m_past.empty(); }
    bool canRedo() const { return !m_future.empty(); }
    void undo();
    void redo();

signals:
    // After every change, undo and redo included.
    void changed();
    // After a change of the rows (not of marks or selection alone): the list to keep.
    void rangesChanged();

private:
    void step(const CutListState& next);
    void restore(const CutListState& state);

    CutListState m_current;
    std::vector<CutListState> m_past;
    std::vector<CutListState> m_future;
};

} // namespace segmora
