// The rules of the "Video Size" parameter that the profile editor and the custom size dialog
// share, on the profile's values.
#pragma once

#include "profiles/profile_values.h"

#include <QString>
#include <optional>

namespace segmora {

inline const QString kVideoSize = QStringLiteral("Video Size");
inline const QString kCustomSize = QStringLiteral("Custom Size");
inline const QString kOriginalSize = QStringLiteral("Original Size");

// Whether a change of the video group's current row asks for the custom size dialog: that row
// is "Video Size" (as spelt here) and now reads "Custom Size".
bool AsksForCustomSize(const ProfileValues& values, const QString& currentVideoRow);

// The text a custom size gives the row: "640x480" from "640" and "480".
QString CustomSizeText(const QString& width, const QString& height);

// Whether the custom size dialog, closing, finds the row "Video Size" of the video group still
// reading "Custom Size" (no size was given), which then becomes "Original Size".
bool CustomSizeUnanswered(const ProfileValues& values);

// The width and height of a size text as the custom size dialog writes it: digits, "x",
// digits, each side at least 1 ("641x361"); nullopt for anything else ("Original Size",
// "-5x0", "640 x 480").
struct VideoSideLengths {
    int width = 0;
    int height = 0;
};
std::optional<VideoSideLengths> ParseCustomSize(const QString& text);

// Whether text is a side length the custom size dialog accepts: decimal digits only (no sign,
// blank or prefix, since the text goes to the converter as typed), at least 1, within 32 bits.
bool IsProperSideLength(const QString& text);

// The other side of a size kept at the aspect ratio ratioSide : ratioOther when one side
// becomes side, rounded to the nearest whole number (halves to even), at least 1; nullopt when
// side is no proper side length or the ratio has a side below 1.
std::optional<int> SideKeepingRatio(const QString& side, int ratioSide, int ratioOther);

} // namespace segmora
