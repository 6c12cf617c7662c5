// The lines vorkast prints about a clip it made other than asked, which the split job lists
// after the completion message. Header only and free of libav, so the job reads each line with
// the same text the converter writes it with.
//
// An exact cut of a copied video that cannot be made, so the clip starts at the keyframe
// before START instead:
//   vorkast: warning: keyframe cut starts 1.240 s before START
// A stream of the source the clip's container cannot hold, left out (one line per stream):
//   vorkast: warning: left out subtitle stream 3 (subrip): avi holds no text subtitles
#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace vorkast::notice {

inline constexpr std::string_view kKeyframeCutLead = "warning: keyframe cut starts ";
inline constexpr std::string_view kKeyframeCutTail = " s before START";

// The message text without the "vorkast: " every message starts with; seconds with three
// decimals and "." whatever the locale.
inline std::string keyframeCutText(double secondsEarly) {
    char number[32];
    auto [end, ec] =
        std::to_chars(number, number + sizeof number, secondsEarly, std::chars_format::fixed, 3);
    return std::string(kKeyframeCutLead) + std::string(number, ec == std::errc() ? end : number) +
           std::string(kKeyframeCutTail);
}

// The seconds named by a line holding that text (with or without the program's prefix and
// line break); nullopt for any other line.
inline std::optional<double> parseKeyframeCut(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    const std::size_t lead = line.find(kKeyframeCutLead);
    if (lead == std::string_view::npos || line.size() < kKeyframeCutTail.size() ||
        line.substr(line.size() - kKeyframeCutTail.size()) != kKeyframeCutTail)
        return std::nullopt;
    const std::size_t from = lead + kKeyframeCutLead.size();
    const std::size_t to = line.size() - kKeyframeCutTail.size();
    if (to <= from)
        return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(line.data() + from, line.data() + to, value);
    if (ec != std::errc() || end != line.data() + to || value < 0)
        return std::nullopt;
    return value;
}

inline constexpr std::string_view kLeftOutLead = "warning: left out ";

// The message text without the "vorkast: " prefix. stream names it as a user finds it
// ("subtitle stream 3 (subrip)"); why says what the container lacks.
inline std::string leftOutText(std::string_view stream, std::string_view why) {
    return std::string(kLeftOutLead) + std::string(stream) + ": " + std::string(why);
}

// The stream named by a line holding that text ("subtitle stream 3 (subrip)"), with or without
// the program's prefix and line break; nullopt for any other line.
inline std::optional<std::string> parseLeftOut(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    const std::size_t lead = line.find(kLeftOutLead);
    if (lead == std::string_view::npos || (lead != 0 && line.substr(0, lead) != "vorkast: "))
        return std::nullopt;
    const std::string_view rest = line.substr(lead + kLeftOutLead.size());
    const std::size_t colon = rest.find(": ");
    if (colon == 0 || colon == std::string_view::npos)
        return std::nullopt;
    return std::string(rest.substr(0, colon));
}

} // namespace vorkast::notice
