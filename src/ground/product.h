// Names and fixed texts of the product.
#pragma once

#include "converter_contract.h"

#include <QString>

namespace segmora {

inline const QString kProductName = QStringLiteral("Segmora");
// The project's version, shared with the converter; "1.8" today.
inline const QString kDefaultVersionText = QString::fromLatin1(vorkast::contract::kVersion);
inline const QString kConverterFileName = QStringLiteral("vorkast");
inline const QString kPreferencesFileName = QStringLiteral("Preferences.ini");
inline const QString kProfilesFolderName = QStringLiteral("Profiles");
inline const QString kHelpFileName = QStringLiteral("Quillet.html");

} // namespace segmora
