// The "Video Size" rules on a profile's values.
#include "profiles/video_size.h"

#include "profiles/profile_file.h"

namespace segmora {

bool AsksForCustomSize(const ProfileValues& values, const QString& currentVideoRow) {
    if (currentVideoRow != kVideoSize)
        return false;
    const ProfileSetting* row = values.setting(ProfileValues::kVideo, kVideoSize);
    return row && row->value == kCustomSize;
}

QString CustomSizeText(const QString& width, const QString& height) {
    return width + QLatin1Char('x') + height;
}

bool CustomSizeUnanswered(const ProfileValues& values) {
    const ProfileSetting* row = values.setting(ProfileValues::kVideo, kVideoSize);
    return row && row->value == kCustomSize;
}

std::optional<QString> UnstorableVideoSize(const ProfileValues& values) {
    const ProfileSetting* row = values.setting(ProfileValues::kVideo, kVideoSize);
    if (!row || IndexWithoutCase(row->choices, row->value) >= 0)
        return std::nullopt;
    return row->value;
}

} // namespace segmora
