// Where the main window stands between runs: its last size and place, kept in Preferences.ini
// in a section of its own ("Window"), and how a remembered place is brought back on screen when
// the monitors have changed since.
//
// UI thread only (the file is shared with the rest of the program without locks).
#pragma once

#include "ground/program_context.h"

#include <QList>
#include <QRect>
#include <optional>

namespace segmora {

inline const QString kWindowSection = QStringLiteral("Window");

struct WindowPlacement {
    // The window's normal (not maximised) geometry, without the frame.
    QRect rect;
    bool maximized = false;

    bool operator==(const WindowPlacement&) const = default;
};

// The remembered placement; nothing when any of X, Y, Width and Height is missing or unreadable,
// or the size is not positive, so the window then keeps its default size and place.
std::optional<WindowPlacement> ReadWindowPlacement(const ProgramContext& context);

// Writes X, Y, Width, Height and Maximized ("1" or "0") to "Window"; no other section or key is
// touched. Raises AppError("Unable to write to <path>") when the file refuses.
void WriteWindowPlacement(const ProgramContext& context, const WindowPlacement& placement);

// The rect to use for a remembered one, given the available areas of the screens there are now
// (the first is the primary one). A rect that lies wholly inside one screen stays as it is.
// Otherwise it goes to the screen it overlaps most (the primary one when it overlaps none),
// shrinks to that screen's size when larger, and moves just far enough to lie wholly inside it.
// Without screens the rect is kept.
QRect PullOntoScreen(const QRect& saved, const QList<QRect>& screens);

} // namespace segmora
