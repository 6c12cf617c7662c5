// The arithmetic of the marked range: clamping a typed mark, where the two mark labels stand
// under the position bar, and the sentence that tells the range's length.
//
// Pure functions: no widgets. Positions are in pixels of the labels' parent, marks in bar units
// (seconds), with their fractions: a mark stands where its exact time is.
#pragma once

#include <QString>
#include <QtGlobal>

namespace segmora {

// The mark a typed time may set: at most the source's length (durationMs / 1000 seconds; a
// value that is not a number becomes the length too) and never before the start of the source.
double ClampMark(double seconds, qint64 durationMs);

// The End Time a mark at the frame on screen sets: the frame's own time (FrameMarkSeconds), so
// a clip ends before it, except for the last frame of the source, which gives the source's
// length (durationMs / 1000 s), so that a range marked at the end holds the last frame. The
// frame shown at frameSeconds is the last when the end comes before the middle of the frame
// after it (frameDuration seconds a frame; 0 when not known: only a frame at the very end).
double EndMarkSeconds(double frameSeconds, double frameDuration, qint64 durationMs);

// Left edge of the start label: selStart / max of the bar's width from the bar's left edge,
// rounded halves to even. With max 0 or less (a source shorter than one unit) it is the bar's
// left edge.
int StartLabelLeft(double selStart, int max, int barLeft, int barWidth);

// Left edge of the end label, whose right edge stands at selEnd / max of the bar's width,
// rounded halves to even. With max 0 or less the label's left edge is the bar's left edge, so
// it stays on screen; a label wider than the room left of its mark starts at 0, the left edge
// of the labels' parent.
int EndLabelLeft(double selEnd, int max, int barLeft, int barWidth, int labelWidth);

// The room the two mark labels share under the bar: the pixels from left up to (not including)
// right, their first line's top and the height of one line.
struct MarkLabelRoom {
    int left = 0;
    int right = 0;
    int top = 0;
    int lineHeight = 0;
};

// Where the two mark labels stand: their left edges and the end label's top (the start label
// always stays on the first line).
struct MarkLabelPlaces {
    int startLeft = 0;
    int endLeft = 0;
    int endTop = 0;

    bool operator==(const MarkLabelPlaces&) const = default;
};

// Places the labels so that they never overlap and never leave the room. startLeft is where the
// start label's left edge wants to be (StartLabelLeft), endRight where the end label's right edge
// wants to be (its mark). Each label first stays at its mark, moved only as far as needed to
// stay inside the room. When both are shown and they would then overlap or come closer than a
// small gap (a short range), they stand side by side on the first line, start first, centred on
// the middle of the two marks as far as the room allows; only a room too narrow for both puts
// the end label on a second line. A hidden label does not push the other one.
MarkLabelPlaces PlaceMarkLabels(int startLeft, int startWidth, int endRight, int endWidth,
                                bool bothShown, const MarkLabelRoom& room);

inline constexpr int kMarkLabelGap = 4;

// The current-position label's time of the frame shown at seconds: while playing in whole
// seconds (it changes too fast to read more), paused or stepping to the millisecond, the same
// text a mark set there puts into a time field.
QString PositionText(double seconds, bool playing);

// "The length of the marked rang is " and the time text of lengthSeconds, to the millisecond
// as the time fields write marks, when selStart is before selEnd; otherwise the sentence that asks
// for an end after the start.
QString LengthLine(double selStart, double selEnd, double lengthSeconds);

inline const QString kLengthPrefix = QStringLiteral("The length of the marked rang is ");
inline const QString kEndBeforeStart =
    QStringLiteral("The End Time should be later than the Start Time.");

} // namespace segmora
