// Small rules of the timeline that need no window: where a lossless cut of a clip really
// starts, and where a snapshot of the picture goes.
//
// Threading: pure functions, any thread (WriteSnapshot writes a file).
#pragma once

#include <QImage>
#include <QString>
#include <QVector>

namespace segmora {

// A clip asked to start at asked that a lossless cut starts at lands (the keyframe at or
// before it).
struct CutLanding {
    double asked = 0;
    double lands = 0;
    bool operator==(const CutLanding& other) const = default;
};

// For a copied video of codecName (libavcodec's name) with the given sorted keyframes: where
// each of the asked starts really begins, for the starts that do not fall on a keyframe. Empty
// when the codec is cut exactly between keyframes, or when no keyframe is known.
QVector<CutLanding> LosslessCutLandings(const QVector<double>& askedStarts,
                                        const QVector<double>& keyframes, const QString& codecName,
                                        bool intraOnly);

// The sentence the Start Time's tool tip gives for the first landing.
QString CutLandingText(const CutLanding& landing);

// Beside the video: its name without extension, "_", the frame's time as HH-MM-SS.mmm and
// ".png"; a file already there is never replaced: "_2", "_3", ... go before the extension.
QString SnapshotPath(const QString& videoPath, double seconds);

// Writes picture as PNG to path, whole or not at all. Raises AppError("Unable to write to
// <path>") when it cannot, and AppError when there is no picture to save.
void WriteSnapshot(const QImage& picture, const QString& path);

} // namespace segmora
