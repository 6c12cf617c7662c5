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

// A typed size such as "640x480" is none of the row's choices, so the file cannot store it:
// the value of the video group's row "Video Size" when it is no choice of that row (without
// regard to case), which a save stores as "Original Size"; nullopt when the row holds a choice
// or there is no such row.
std::optional<QString> UnstorableVideoSize(const ProfileValues& values);

} // namespace segmora
