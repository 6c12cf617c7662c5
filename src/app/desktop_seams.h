// Puts the desktop's real dialogs, message boxes, desktop open and power-off behind the seams.
#pragma once

namespace segmora {

// Replaces every seam with its desktop implementation. Call once at start-up, after the
// QApplication exists and before any window is created. Tests never call it.
//
// Threading: UI thread.
void InstallDesktopSeams();

} // namespace segmora
