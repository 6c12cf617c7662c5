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
    std::string name = ".";
    name += outputName;
    name += ".part";
    return name;
}

} // namespace vorkast::contract
