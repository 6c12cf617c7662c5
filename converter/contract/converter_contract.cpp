// The converter's side and the job's side of the report and part-file conventions.
#include "converter_contract.h"

#include "converter_version.h"

#include <algorithm>
#include <charconv>

namespace vorkast::contract {

const char* const kVersion = VORKAST_VERSION;

std::string formatProgressReport(double seconds) {
    if (!(seconds > 0))
        seconds = 0;
    seconds = std::min(seconds, 999999999.0);
    char number[32];
    // to_chars ignores the locale: the job always reads ".".
    auto [end, ec] =
        std::to_chars(number, number + sizeof number, seconds, std::chars_format::fixed, 2);
    (void)ec;
    std::string report(kReportKey);
    report += '=';
    report.append(number, end);
    report += " \n";
    return report;
}

bool isProgressReportLine(std::string_view line) {
    for (std::size_t at = line.find(kReportKey); at != std::string_view::npos;
         at = line.find(kReportKey, at + 1)) {
        const std::size_t digit = at + kReportKey.size() + 1;
        if (digit < line.size() && line[digit] >= '0' && line[digit] <= '9')
            return true;
    }
    return false;
}

std::string partFileName(std::string_view outputName) {
    // File systems hold names of up to 255 bytes: a long name is cut, at the first byte of a
    // UTF-8 character, so that ".NAME.part" still fits. The clip keeps its full name.
    constexpr std::size_t nameMax = 255;
    constexpr std::size_t added = 6; // "." and ".part"
    if (outputName.size() + added > nameMax) {
        std::size_t keep = nameMax - added;
        while (keep > 0 && (static_cast<unsigned char>(outputName[keep]) & 0xC0) == 0x80)
            --keep;
        outputName = outputName.substr(0, keep);
    }
    std::string name = ".";
    name += outputName;
    name += ".part";
    return name;
}

} // namespace vorkast::contract
