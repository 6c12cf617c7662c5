// The "Video Size" parameter's names that the profile editor and the custom size dialog share.
#pragma once

#include <QString>

namespace segmora {

inline const QString kVideoSize = QStringLiteral("Video Size");
inline const QString kCustomSize = QStringLiteral("Custom Size");
inline const QString kOriginalSize = QStringLiteral("Original Size");

} // namespace segmora
