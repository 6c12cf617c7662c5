// The ranges of a joined clip, as the split job hands them to the converter: one "-range"
// argument per range, "START:END" or "START:END:LABEL", seconds from the source's beginning
// written with "." and as many digits as it takes to read back the very same number. The label
// (a chapter's name in the clip) comes from the user's cut list or a stranger's file: it is data,
// kept to one line of printable text of a bounded length on both sides.
//
// Threading: pure functions; any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorkast::contract {

// The converter's option that gives one range of a joined clip; repeated, in the clip's order.
inline constexpr std::string_view kRangeOption = "-range";
// The longest label kept, in bytes of UTF-8.
inline constexpr std::size_t kRangeLabelMax = 200;

struct JoinRange {
    double start = 0; // seconds from the source's beginning
    double end = 0;
    std::string label; // clean (cleanRangeLabel); empty: the chapter gets defaultChapterTitle
};

// "12.5:30:Opening": the value of one -range argument. The label is cleaned first.
std::string formatJoinRange(const JoinRange& range);

// The range a -range value gives; nullopt with problem set when the text is no range: a time
// that is no plain decimal number of seconds (no sign, no locale's comma, no infinity), an end
// not after the start, or a label that is not clean. Overlaps are the caller's to check.
std::optional<JoinRange> parseJoinRange(std::string_view text, std::string* problem = nullptr);

// A label as both sides keep it: invalid UTF-8 dropped, control characters (line breaks, tabs,
// escapes) turned into blanks, runs of blanks and blanks at the ends taken out, cut to
// kRangeLabelMax bytes between characters.
std::string cleanRangeLabel(std::string_view label);

// The chapter title of the n-th range (from 1) that has no label: "Range n".
std::string defaultChapterTitle(int n);

// The first problem with a joined clip's ranges in the order given, naming the range by its
// place (from 1) as "range N": one ending before it starts or lasting nothing, one overlapping
// an earlier one. Empty when there is none.
std::string joinRangesProblem(const std::vector<JoinRange>& ranges);

} // namespace vorkast::contract
