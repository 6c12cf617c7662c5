// What the converter and the split job agree on, in one place and without Qt: the progress
// report's format and how a line of the converter's output is classified, the name of the
// part file a clip is written to, and the version both programs print.
//
// Threading: pure functions and constants; any thread, async-signal-safe where noted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorkast::contract {

// The version of the program and its converter, from the project's version.
extern const char* const kVersion;

// The word that opens a progress report. No other text the converter prints may contain it in
// lower case, so the job never takes a message for a report.
inline constexpr std::string_view kReportKey = "time";

// "time=12.40 \n": two decimals, always ".", a blank after the number; negative values read 0,
// values are held below 1 000 000 000.
std::string formatProgressReport(double seconds);

// True when the line is a progress report rather than a message: the report key, one
// separator character and a digit appear in it.
bool isProgressReportLine(std::string_view line);

// The longest file name the file systems we write to hold, in bytes.
inline constexpr std::size_t kFileNameMax = 255;

// The file name a clip named outputName is written to, by the converter whose process id is
// owner, until it is complete: ".NAME.OWNER.part" in the same folder. Every run has a name of its
// own, so two runs making the same clip never write into one file. Where that would pass
// kFileNameMax, NAME is cut (between characters) and followed by "~" and a hash of the whole
// name, so that different long names keep different part files.
std::string partFileName(std::string_view outputName, long owner);

// The owner of fileName when it is the part file of a clip named outputName (for any owner);
// 0 when it is not.
long partFileOwner(std::string_view fileName, std::string_view outputName);

} // namespace vorkast::contract
