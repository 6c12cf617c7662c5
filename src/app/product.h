// Names and fixed texts of the product.
#pragma once

#include <QString>

namespace segmora {

inline const QString kProductName = QStringLiteral("Segmora");
inline const QString kDefaultVersionText = QStringLiteral("1.8");
inline const QString kConverterFileName = QStringLiteral("vorkast");
inline const QString kPreferencesFileName = QStringLiteral("Preferences.ini");
inline const QString kProfilesFolderName = QStringLiteral("Profiles");
inline const QString kHelpFileName = QStringLiteral("Quillet.html");

} // namespace segmora
