// The "Video Size" rules on a profile's values.
#include "profiles/video_size.h"

#include "ground/rounding.h"
#include "ground/whole_number.h"
#include "profiles/profile_file.h"

#include <algorithm>
#include <limits>

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

std::optional<VideoSideLengths> ParseCustomSize(const QString& text) {
    const qsizetype x = text.indexOf(QLatin1Char('x'));
    if (x < 0)
        return std::nullopt;
    const QString width = text.left(x);
    const QString height = text.mid(x + 1);
    if (!IsProperSideLength(width) || !IsProperSideLength(height))
        return std::nullopt;
    return VideoSideLengths{width.toInt(), height.toInt()};
}

bool IsProperSideLength(const QString& text) {
    if (text.isEmpty() ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return false;
    const std::optional<int> value = ParseWholeNumber(text, {.plusSign = false});
    return value && *value >= 1;
}

std::optional<int> SideKeepingRatio(const QString& side, int ratioSide, int ratioOther) {
    if (!IsProperSideLength(side) || ratioSide < 1 || ratioOther < 1)
        return std::nullopt;
    const long long other =
        RoundHalfEven(static_cast<double>(side.toInt()) * ratioOther / ratioSide);
    return static_cast<int>(std::clamp<long long>(other, 1, std::numeric_limits<int>::max()));
}

} // namespace segmora
