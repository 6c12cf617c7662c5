// The length of a media file, read with the FFmpeg libraries, for splitting without a player.
//
// Threading: any thread; no state.
#pragma once

#include <QString>

namespace segmora {

// The container's duration in milliseconds, or 0 when the file cannot be opened, is no media
// or does not know its length (what the player reports when no media is open).
long long ProbeDurationMs(const QString& path);

} // namespace segmora
