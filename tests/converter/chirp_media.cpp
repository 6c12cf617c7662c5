#include "chirp_media.h"

#include <QMap>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>

namespace vorkast::test {

double tonePhase(double t) {
    return kStartPitch * t + kPitchRise * t * t / 2; // in turns
}

int paintedNumber(const Picture& picture) {
    int number = 0;
    for (int bit = 0; bit < 12; ++bit) {
        const int x = (16 * (bit % 6) + 8) * 64 / 96, y = (32 * (bit / 6) + 16) * 48 / 64;
        if (picture.luma.size() == 64 * 48 && picture.luma[std::size_t(y * 64 + x)] > 128)
            number |= 1 << bit;
    }
    return number;
}

namespace {

// How well the samples from first on match the tone from instant tau: 1 for a perfect match
// whatever its phase, near 0 for another instant or another sound.
double match(const Sound& sound, std::size_t first, std::size_t count, double tau) {
    std::complex<double> sum;
    double energy = 0;
    for (std::size_t n = 0; n < count; ++n) {
        const double x = sound.samples[first + n];
        const double phase = 2 * M_PI * tonePhase(tau + double(n) / sound.sampleRate);
        sum += x * std::complex<double>(std::cos(phase), -std::sin(phase));
        energy += x * x;
    }
    return energy > 0 ? std::abs(sum) / std::sqrt(energy * double(count) / 2) : 0;
}

// The instant of the tone in the window of samples from first on, read roughly from how often
// the sound crosses zero, then to a fraction of a millisecond by matching the tone itself; none
// when the window holds something else (silence, the edge of an encoder's delay).
std::optional<double> toneIn(const Sound& sound, std::size_t first, std::size_t window) {
    const double windowSeconds = double(window) / sound.sampleRate;
    int crossings = 0;
    for (std::size_t n = first + 1; n < first + window; ++n)
        crossings += (sound.samples[n - 1] < 0) != (sound.samples[n] < 0);
    const double pitch = crossings / (2 * windowSeconds);
    double best = (pitch - kStartPitch) / kPitchRise - windowSeconds / 2, bestMatch = -1;
    // Coarse steps across the rough reading's uncertainty, then fine ones around the best.
    for (const auto& [span, step] : {std::pair{0.015, 2.5e-4}, std::pair{3e-4, 1e-5}}) {
        const double centre = best;
        for (double tau = centre - span; tau <= centre + span; tau += step)
            if (const double m = match(sound, first, window, tau); m > bestMatch) {
                bestMatch = m;
                best = tau;
            }
    }
    if (bestMatch < 0.9)
        return std::nullopt;
    return best;
}

} // namespace

std::optional<double> toneAt(const Sound& sound, double at) {
    const std::size_t window = 2048;
    if (sound.sampleRate <= 0 || sound.samples.size() < window)
        return std::nullopt;
    const double last = double(sound.samples.size() - window);
    const double wanted = (at - sound.startTime) * sound.sampleRate;
    for (int shift : {0, 512, -512, 1024, -1024, 2048, -2048, 3072, -3072, 4096, -4096}) {
        const auto first = std::size_t(std::clamp(std::floor(wanted) + shift, 0.0, last));
        if (const auto tone = toneIn(sound, first, window))
            return *tone + (at - (sound.startTime + double(first) / sound.sampleRate));
    }
    return std::nullopt;
}

Media decodeMedia(const QString& path) {
    return {decodePictures(path), decodeSound(path)};
}

const Media& decodedFixture(const QString& name) {
    static QMap<QString, std::shared_ptr<Media>> cache;
    if (!cache.contains(name))
        cache.insert(name, std::make_shared<Media>(decodeMedia(fixture(name))));
    return *cache.value(name);
}

std::optional<double> shownAt(const Media& media, int number) {
    for (const Picture& p : media.pictures)
        if (paintedNumber(p) == number)
            return p.time;
    return std::nullopt;
}

} // namespace vorkast::test
