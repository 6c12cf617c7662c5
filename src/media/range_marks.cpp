// Clamping marks, placing the mark labels and the length sentence.
#include "media/range_marks.h"

#include "ground/rounding.h"
#include "ground/time_text.h"

#include <cmath>

namespace segmora {
namespace {

int roundedPixel(double value) {
    return int(RoundHalfEven(value));
}

} // namespace

double ClampMark(double seconds, qint64 durationMs) {
    const double length = double(durationMs) / 1000.0;
    if (!(length >= seconds))
        seconds = length;
    // A negative time is a valid time text, yet no place on the bar: the mark stays at the
    // start and the field keeps the text for the split job to refuse.
    return seconds < 0 ? 0.0 : seconds;
}

double EndMarkSeconds(double frameSeconds, double frameDuration, qint64 durationMs) {
    const double length = double(durationMs) / 1000.0;
    const double mark = FrameMarkSeconds(frameSeconds);
    // A frame's time is where it starts: marking the last one by its time would leave it out.
    const bool lastFrame =
        mark >= length || (frameDuration > 0 && frameSeconds + 1.5 * frameDuration >= length);
    return length > 0 && lastFrame ? length : mark;
}

int StartLabelLeft(double selStart, int max, int barLeft, int barWidth) {
    if (max <= 0)
        return barLeft;
    return roundedPixel(selStart / double(max) * double(barWidth) + double(barLeft));
}

int EndLabelLeft(double selEnd, int max, int barLeft, int barWidth, int labelWidth) {
    if (max <= 0)
        return barLeft;
    // An end mark near the bar's left edge would push the label's start past the window's edge
    // and cut its time off; it stops at the edge instead.
    return qMax(0, roundedPixel(selEnd / double(max) * double(barWidth) + double(barLeft) -
                                double(labelWidth)));
}

MarkLabelPlaces PlaceMarkLabels(int startLeft, int startWidth, int endRight, int endWidth,
                                bool bothShown, const MarkLabelRoom& room) {
    // Inside the room; a label wider than the room starts at its left edge.
    const auto inside = [&room](int left, int width) {
        return qMax(room.left, qMin(left, room.right - width));
    };
    MarkLabelPlaces places{inside(startLeft, startWidth), inside(endRight - endWidth, endWidth),
                           room.top};
    if (!bothShown)
        return places;
    const bool apart = places.startLeft + startWidth + kMarkLabelGap <= places.endLeft ||
                       places.endLeft + endWidth + kMarkLabelGap <= places.startLeft;
    if (apart)
        return places;
    const int pairWidth = startWidth + kMarkLabelGap + endWidth;
    if (pairWidth <= room.right - room.left) {
        // Side by side around the middle of the marks, so both still point at the range.
        const double middle = (double(startLeft) + double(endRight)) / 2.0;
        const int pairLeft = inside(roundedPixel(middle - pairWidth / 2.0), pairWidth);
        places.startLeft = pairLeft;
        places.endLeft = pairLeft + startWidth + kMarkLabelGap;
        return places;
    }
    places.endTop = room.top + room.lineHeight;
    return places;
}

QString PositionText(double seconds, bool playing) {
    return playing ? SecondsToTimeText(seconds) : SecondsToMarkText(FrameMarkSeconds(seconds));
}

QString LengthLine(double selStart, double selEnd, double lengthSeconds) {
    if (selStart < selEnd)
        // To the millisecond, as the time fields show the marks: 89.7 s is not 00:01:29.
        return kLengthPrefix + SecondsToMarkText(lengthSeconds);
    return kEndBeforeStart;
}

} // namespace segmora
