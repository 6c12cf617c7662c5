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

// Left edge of the start label: selStart / max of the bar's width from the bar's left edge,
// rounded halves to even. With max 0 or less (a source shorter than one unit) it is the bar's
// left edge.
int StartLabelLeft(double selStart, int max, int barLeft, int barWidth);

// Left edge of the end label, whose right edge stands at selEnd / max of the bar's width,
// rounded halves to even. With max 0 or less the label's left edge is the bar's left edge, so
// it stays on screen; a label wider than the room left of its mark starts at 0, the left edge
// of the labels' parent.
int EndLabelLeft(double selEnd, int max, int barLeft, int barWidth, int labelWidth);

// The end label's top: on the start label's line when the two labels neither overlap nor touch
// (a gap of at least one pixel), otherwise 10 pixels lower.
int EndLabelTop(int startLeft, int startWidth, int endLeft, int endWidth, int startTop);

// "The length of the marked rang is " and the time text of lengthSeconds when selStart is
// before selEnd; otherwise the sentence that asks for an end after the start.
QString LengthLine(double selStart, double selEnd, double lengthSeconds);

inline const QString kLengthPrefix = QStringLiteral("The length of the marked rang is ");
inline const QString kEndBeforeStart =
    QStringLiteral("The End Time should be later than the Start Time.");

} // namespace segmora
