// Puts the desktop's real dialogs, message boxes, desktop open and power-off behind the seams.
#pragma once

#include "ground/seams.h"

#include <QIcon>

namespace segmora {

// The picture a message box shows: the desktop theme's icon where the theme has one
// ("dialog-information", "dialog-question", "dialog-error"), else the program's own drawing,
// which stays sharp at any scale. A null icon for MessageIcon::None.
QIcon MessageBoxIcon(MessageIcon icon);

// Replaces every seam with its desktop implementation. Call once at start-up, after the
// QApplication exists and before any window is created. Tests never call it.
//
// Threading: UI thread.
void InstallDesktopSeams();

} // namespace segmora
