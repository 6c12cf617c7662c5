// The line vorkast prints about the check of a clip it made (or of any clip, with -check-clip),
// which the split job and `segmora check` read back. Header only and free of libav, so both
// sides read the line with the text it is written with.
//
//   vorkast: check passed [first=0 same=1 psnr=inf pictures=250/250 sound=0.000 errors=0 ...]
//   vorkast: check failed: starts 1 frame late; sound 0.20 s behind [first=1 same=0 ...]
//
// The findings are sentences a user reads; the figures in brackets are what they were drawn
// from. A figure that could not be measured is left out of the brackets.
#pragma once

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorkast::clipcheck {

struct Figures {
    bool passed = true;
    bool kept = false; // failed, and put in place all the same (-check keep)
    std::vector<std::string> findings;
    // Pictures the first one lies from the one it should be (+ later, - earlier).
    std::optional<long> firstOffset;
    std::optional<bool> identical;    // the first picture decodes to the very same pixels
    std::optional<double> psnr;       // of the first picture against the source's, dB (inf: same)
    std::optional<long> pictures;     // the clip holds
    std::optional<long> planned;      // the clip should hold
    std::optional<double> sound;      // seconds the sound starts after the picture (- before)
    std::optional<long> errors;       // pictures the decoder found damaged
    std::optional<double> firstError; // where the first lies in the clip, seconds
    long decoded = 0;                 // pictures decoded for the check, both files
    double seconds = 0;               // how long the check took
};

inline constexpr std::string_view kPassed = "check passed";
inline constexpr std::string_view kFailed = "check failed: ";

namespace detail {

inline std::string number(double value, int decimals) {
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char text[48];
    auto [end, ec] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(text, end) : std::string("0");
}

inline std::optional<double> readNumber(std::string_view text) {
    if (text == "inf")
        return INFINITY;
    if (text == "-inf")
        return -INFINITY;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace detail

// The message text without the "vorkast: " prefix.
inline std::string formatLine(const Figures& f) {
    std::string line;
    if (f.passed) {
        line = std::string(kPassed);
    } else {
        line = std::string(kFailed);
        for (std::size_t i = 0; i < f.findings.size(); ++i) {
            if (i)
                line.append("; ");
            line.append(f.findings[i]);
        }
    }
    std::string figures;
    const auto add = [&figures](std::string_view key, const std::string& value) {
        if (!figures.empty())
            figures.push_back(' ');
        figures.append(key);
        figures.push_back('=');
        figures.append(value);
    };
    if (f.firstOffset)
        add("first", std::to_string(*f.firstOffset));
    if (f.identical)
        add("same", *f.identical ? "1" : "0");
    if (f.psnr)
        add("psnr", detail::number(*f.psnr, 1));
    if (f.pictures)
        add("pictures",
            std::to_string(*f.pictures) + "/" + (f.planned ? std::to_string(*f.planned) : "?"));
    if (f.sound)
        add("sound", detail::number(*f.sound, 3));
    if (f.errors)
        add("errors", std::to_string(*f.errors));
    if (f.firstError)
        add("error_at", detail::number(*f.firstError, 3));
    add("decoded", std::to_string(f.decoded));
    add("took", detail::number(f.seconds, 3));
    if (f.kept)
        add("kept", "1");
    return line + " [" + figures + "]";
}

// The figures of a line holding that text (with or without the program's prefix and line
// break); nullopt for any other line.
inline std::optional<Figures> parseLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.substr(0, 9) == "vorkast: ")
        line.remove_prefix(9);
    Figures f;
    std::string_view rest;
    if (line.substr(0, kFailed.size()) == kFailed) {
        f.passed = false;
        rest = line.substr(kFailed.size());
    } else if (line.substr(0, kPassed.size()) == kPassed) {
        rest = line.substr(kPassed.size());
    } else {
        return std::nullopt;
    }
    const std::size_t open = rest.rfind(" [");
    if (open == std::string_view::npos || rest.back() != ']')
        return std::nullopt;
    std::string_view findings = rest.substr(0, open);
    std::string_view figures = rest.substr(open + 2, rest.size() - open - 3);
    if (f.passed != findings.empty())
        return std::nullopt;
    while (!findings.empty()) {
        const std::size_t cut = findings.find("; ");
        f.findings.emplace_back(findings.substr(0, cut));
        findings = cut == std::string_view::npos ? std::string_view() : findings.substr(cut + 2);
    }
    while (!figures.empty()) {
        const std::size_t cut = figures.find(' ');
        const std::string_view pair = figures.substr(0, cut);
        figures = cut == std::string_view::npos ? std::string_view() : figures.substr(cut + 1);
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos)
            return std::nullopt;
        const std::string_view key = pair.substr(0, equals);
        std::string_view value = pair.substr(equals + 1);
        if (key == "pictures") {
            const std::size_t slash = value.find('/');
            if (slash == std::string_view::npos)
                return std::nullopt;
            const auto made = detail::readNumber(value.substr(0, slash));
            if (!made)
                return std::nullopt;
            f.pictures = static_cast<long>(*made);
            if (const auto planned = detail::readNumber(value.substr(slash + 1)))
                f.planned = static_cast<long>(*planned);
            continue;
        }
        const auto read = detail::readNumber(value);
        if (!read)
            return std::nullopt;
        if (key == "first")
            f.firstOffset = static_cast<long>(*read);
        else if (key == "same")
            f.identical = *read != 0;
        else if (key == "psnr")
            f.psnr = *read;
        else if (key == "sound")
            f.sound = *read;
        else if (key == "errors")
            f.errors = static_cast<long>(*read);
        else if (key == "error_at")
            f.firstError = *read;
        else if (key == "decoded")
            f.decoded = static_cast<long>(*read);
        else if (key == "took")
            f.seconds = *read;
        else if (key == "kept")
            f.kept = *read != 0;
    }
    return f;
}

// The findings as one sentence for a list: "starts 1 frame late; sound 0.20 s behind".
inline std::string findingsText(const Figures& f) {
    std::string text;
    for (const std::string& finding : f.findings) {
        if (!text.empty())
            text.append("; ");
        text.append(finding);
    }
    return text;
}

} // namespace vorkast::clipcheck
