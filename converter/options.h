// The converter's command line: what a run is asked to do, parsed and checked before any work.
#pragma once

#include "join_ranges.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

namespace vorkast {

// Settings for one kind of stream. An empty codec means the container's default encoder;
// "copy" means the packets pass through untouched.
struct StreamOptions {
    bool disabled = false; // -vn / -an
    std::string codec;
    std::int64_t bitRate = 0; // bits per second, 0 = the encoder's default
    std::string filters;      // -vf / -af graph text
    std::vector<std::pair<std::string, std::string>> encoderOptions; // -crf, -preset, ...
    bool copy() const { return codec == "copy"; }
};

// Where a copied video may start: at the keyframe before the start (quick, up to a group of
// pictures early), or exactly at the start frame with the frames around the cuts encoded again.
enum class CutMode { Keyframe, Exact };

// Whether a clip is checked against its source before it is put in place (clip_check.h): On
// fails a clip that does not hold and removes it, Keep puts it in place all the same (and still
// fails the run), Off makes no check.
enum class CheckMode { On, Keep, Off };

struct Options {
    bool help = false;
    bool version = false;

    bool overwrite = false;             // -y
    std::optional<std::string> profile; // -profile: what follows, up to OUTPUT, came from it
    std::string input;                  // -i
    std::string output;                 // the last argument
    std::string format;                 // -f; empty = follows the output's extension
    double start = 0;                   // -ss, seconds from the source's beginning
    std::optional<double> length;       // -t, seconds; none = to the source's end
    // -range START:END[:LABEL], repeated: the clip joins these sections of the source in this
    // order, each cut as a single clip would be, one chapter each (join.h). Excludes -ss and -t.
    std::vector<contract::JoinRange> ranges;

    StreamOptions video;
    int width = 0, height = 0;  // -s
    AVRational frameRate{0, 1}; // -r
    AVRational aspect{0, 1};    // -aspect (display aspect ratio)
    bool deinterlace = false;
    std::string pixelFormat;       // -pix_fmt
    std::optional<double> quality; // -q:v
    int gop = 0;                   // -g

    StreamOptions audio;
    int sampleRate = 0; // -ar
    int channels = 0;   // -ac
    int volume = 256;   // -vol, 256 = unchanged

    CutMode cut = CutMode::Keyframe; // -cut; only copied video is affected
    // -tile: another clip starts where this one ends. Where -cut exact falls back to the
    // keyframe cut, this clip then ends where that one starts: at the keyframe at or before
    // the end.
    bool followed = false;
    bool bitexact = false;
    int threads = 0;                 // 0 = as many as the encoder likes
    CheckMode check = CheckMode::On; // -check

    // -check-clip CLIP: make no clip, check CLIP against -i SOURCE, -ss and -t instead.
    std::string checkClip;
    // Tests point the check at another source (VORKAST_CHECK_SOURCE) to make a clip fail it.
    std::string checkSource;
};

// Parses the arguments that follow the program name. Throws ConvertError with one line naming
// the first problem: an unknown option, a missing or malformed value, an encoder the libraries
// lack, a filter, size or rate asked together with copy for the same stream, -i, -ss or -t
// given twice (a second one would silently win), a filter graph that reaches outside the job
// (filter_policy.h).
//
// "-profile NAME" marks where the arguments of the output profile NAME begin: everything after
// it except the last argument, which is always OUTPUT, is the profile's. A profile only sets
// how the clip is converted, so there -i, -ss, -t, -y, another -profile, --help, --version and
// any argument that is no option or value are refused with a line naming the profile.
// -range may be repeated; it is refused beside -ss or -t, and ranges that are empty or overlap
// are refused naming the range.
Options parseOptions(const std::vector<std::string>& args);

// A decimal number with "." whatever the locale ("12.5", "3.33333333333333", "5e-05");
// nullopt for anything else, including infinities and NaN.
std::optional<double> parseDecimal(const std::string& text);

// "800k", "1.5M", "128000" in bits per second; nullopt when malformed or not positive.
std::optional<std::int64_t> parseBitRate(const std::string& text);

const char* helpText();

} // namespace vorkast
