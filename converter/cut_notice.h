// The one line vorkast prints when an exact cut of a copied video cannot be made and the clip
// starts at the keyframe before START instead. Header only and free of libav, so the split job
// reads the line with the same text the converter writes it with.
//
// The line on standard error reads, in full:
//   vorkast: warning: keyframe cut starts 1.240 s before START
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

} // namespace vorkast::notice
