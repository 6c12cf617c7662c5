// The chirp sources (tests/fixtures: chirp_*): each picture paints its number, and the sound is
// a tone whose pitch rises evenly, so the instant of the sound heard at any time of a clip, and
// the picture shown, can be read back from the content. Shared by the tests of sound in step
// with the picture and of joined clips.
#pragma once

#include "converter_harness.h"

#include <optional>

namespace vorkast::test {

// The sources' tone: 0.5 sin(2 pi (f0 t + k t^2 / 2)), its pitch f0 + k t.
constexpr double kStartPitch = 200;    // Hz
constexpr double kPitchRise = 2000;    // Hz per second
constexpr double kFrameSeconds = 0.04; // 25 fps

// The phase of the tone at instant t, in turns.
double tonePhase(double t);

// The number a source paints: bit b in the block of 16x32 pixels at column b % 6, row b / 6 of
// its 96x64 picture, white when set. Pictures come reduced to 64x48.
int paintedNumber(const Picture& picture);

// The instant of the tone heard at time `at` of a file (seconds from its start). Read from the
// nearest window of samples that holds the tone and carried over along the sound's timeline,
// so a sound that starts a little late (an encoder's delay) but at its right time counts as in
// step.
std::optional<double> toneAt(const Sound& sound, double at);

struct Media {
    std::vector<Picture> pictures;
    Sound sound;
};
Media decodeMedia(const QString& path);
// A fixture decoded once per test program.
const Media& decodedFixture(const QString& name);

// The time the source shows its picture with this number, if it does.
std::optional<double> shownAt(const Media& media, int number);

} // namespace vorkast::test
