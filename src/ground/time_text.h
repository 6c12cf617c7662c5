// Time texts (hh:mm:ss) in both directions and the small path operations used everywhere.
#pragma once

#include <QString>

namespace segmora {

// The time text of a number of seconds: hours, minutes and seconds joined by ":", each with at
// least two digits ("00:00:00"); hours have no upper limit. The fraction is dropped, never
// rounded (59.9 gives "00:00:59"). A negative value gives "-" before the text of its magnitude;
// NaN gives "00:00:00" and values beyond the 64-bit range are clamped to it.
QString SecondsToTimeText(double seconds);

// The time text of a mark: the seconds rounded to the nearest millisecond, written as
// SecondsToTimeText does, with ".mmm" after the seconds when the time is not a whole second
// (4.72 gives "00:00:04.720", 4.0 gives "00:00:04"). TimeTextToSeconds reads it back to the
// same millisecond.
QString SecondsToMarkText(double seconds);

// The time of a frame shown at frameSeconds as a whole number of milliseconds that still falls
// on that frame: the first millisecond at or after it, forgiving one microsecond of binary
// noise (4.7199999 gives 4.720, 4.7714333 gives 4.772). A cut that starts there begins with
// that frame, since a frame lasts far longer than a millisecond.
double FrameMarkSeconds(double frameSeconds);

// Seconds of a time text "H:M:S", or exactly -1 when the text is not a time text.
// H and M: 32-bit whole numbers (leading blanks and a sign allowed). S: a decimal number with
// "." or the locale's decimal separator (QLocale() default), an optional sign, and blanks
// before or after; it must not begin with a separator (".5" is refused). No range check:
// "00:90:00" is 5400 and "-1:00:00" is -3600. A third ":" lands in S and makes it invalid.
double TimeTextToSeconds(const QString& text);

// The folder path ending in exactly one "/": "/" is appended unless the text already ends in
// one. An empty text stays empty, so a path without a folder part never turns into the
// file-system root.
QString WithTrailingSeparator(const QString& folder);

// The name without its last extension (the text before the last "."); a name without "." is
// returned whole. Meant for file names: use BaseName for paths whose folders may hold dots.
QString StripExtension(const QString& fileName);

// StripExtension of the file-name part of a path (the text after the last "/").
QString BaseName(const QString& path);

} // namespace segmora
