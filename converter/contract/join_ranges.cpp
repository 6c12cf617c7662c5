#include "join_ranges.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace vorkast::contract {

namespace {

// The shortest decimal text that reads back to value.
std::string exactText(double value) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::string("0");
}

std::optional<double> secondsOf(std::string_view text) {
    if (text.empty() || !(text[0] >= '0' && text[0] <= '9'))
        return std::nullopt; // no sign, no blank, no "inf" or "nan"
    double value = 0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The length of the UTF-8 character starting at text[at], or 0 when it is none.
std::size_t characterLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and code points past Unicode's end are no characters.
    static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    // C1 control characters (U+0080 to U+009F) count as control characters too.
    if (code >= 0x80 && code <= 0x9F)
        return 0;
    return length;
}

std::string rangeText(std::size_t n, const JoinRange& range) {
    char text[96];
    std::snprintf(text, sizeof text, "range %zu (%.3f to %.3f s)", n, range.start, range.end);
    return text;
}

} // namespace

std::string cleanRangeLabel(std::string_view label) {
    std::string clean;
    bool blank = false;
    for (std::size_t at = 0; at < label.size();) {
        const std::size_t length = characterLength(label, at);
        if (length == 0) {
            ++at; // not UTF-8: dropped
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(label[at]);
        const bool control = length == 1 && (c < 0x20 || c == 0x7F);
        if (control || c == ' ') {
            blank = !clean.empty();
            at += length;
            continue;
        }
        const std::size_t need = length + (blank ? 1 : 0);
        if (clean.size() + need > kRangeLabelMax)
            break;
        if (blank)
            clean += ' ';
        blank = false;
        clean.append(label.substr(at, length));
        at += length;
    }
    return clean;
}

std::string formatJoinRange(const JoinRange& range) {
    std::string text = exactText(range.start) + ":" + exactText(range.end);
    const std::string label = cleanRangeLabel(range.label);
    if (!label.empty())
        text += ":" + label;
    return text;
}

std::optional<JoinRange> parseJoinRange(std::string_view text, std::string* problem) {
    // The message around the range's text, put together by appending.
    const auto fail = [&](const char* before, std::string_view quoted,
                          const std::string& after) -> std::optional<JoinRange> {
        if (problem) {
            problem->assign(before);
            problem->append(1, '"').append(quoted).append(1, '"').append(after);
        }
        return std::nullopt;
    };
    const std::size_t first = text.find(':');
    if (first == std::string_view::npos)
        return fail("", text, " is no range START:END[:LABEL]");
    const std::size_t second = text.find(':', first + 1);
    const std::string_view startText = text.substr(0, first);
    const std::string_view endText = text.substr(
        first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1);
    const auto start = secondsOf(startText);
    const auto end = secondsOf(endText);
    if (!start || !end)
        return fail("the times of the range ", text, " must be seconds like 12.5 (with \".\")");
    JoinRange range;
    range.start = *start;
    range.end = *end;
    if (second != std::string_view::npos) {
        const std::string_view label = text.substr(second + 1);
        if (cleanRangeLabel(label) != label)
            return fail("the label of the range ", text.substr(0, second),
                        " holds control characters, invalid UTF-8, stray blanks or more than " +
                            std::to_string(kRangeLabelMax) + " bytes");
        range.label = std::string(label);
    }
    if (range.end <= range.start)
        return fail("the range ", text.substr(0, second),
                    " is empty: its end is not after its start");
    return range;
}

std::string defaultChapterTitle(int n) {
    return "Range " + std::to_string(n);
}

std::string joinRangesProblem(const std::vector<JoinRange>& ranges) {
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const JoinRange& range = ranges[i];
        if (!(range.end > range.start) || range.start < 0)
            return rangeText(i + 1, range) + " is empty: its end is not after its start";
        for (std::size_t j = 0; j < i; ++j)
            if (range.start < ranges[j].end && ranges[j].start < range.end)
                return rangeText(i + 1, range) + " overlaps " + rangeText(j + 1, ranges[j]);
    }
    return {};
}

} // namespace vorkast::contract
