// The converter's side and the job's side of the report and part-file conventions.
#include "converter_contract.h"

#include "converter_version.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

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

namespace {

constexpr std::string_view kPartSuffix = ".part";
// Process ids are held below 2^22 on Linux; room is kept for ten digits all the same, so whether
// a name is cut never depends on the owner.
constexpr std::size_t kOwnerDigits = 10;
constexpr std::size_t kHashDigits = 16;

// FNV-1a: stable across builds and platforms, which std::hash is not.
std::uint64_t nameHash(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

// ".NAME." with NAME cut and hashed where the whole part file name would not fit.
std::string partFilePrefix(std::string_view outputName) {
    const std::size_t room = kFileNameMax - 2 - kOwnerDigits - kPartSuffix.size();
    std::string prefix = ".";
    if (outputName.size() <= room) {
        prefix += outputName;
    } else {
        std::size_t keep = room - 1 - kHashDigits;
        while (keep > 0 && (static_cast<unsigned char>(outputName[keep]) & 0xC0) == 0x80)
            --keep; // not inside a UTF-8 character
        prefix += outputName.substr(0, keep);
        char hash[kHashDigits + 1];
        const std::uint64_t value = nameHash(outputName);
        for (std::size_t i = 0; i < kHashDigits; ++i)
            hash[i] = "0123456789abcdef"[(value >> (4 * (kHashDigits - 1 - i))) & 0xF];
        prefix += '~';
        prefix.append(hash, kHashDigits);
    }
    prefix += '.';
    return prefix;
}

} // namespace

std::string partFileName(std::string_view outputName, long owner) {
    std::string name = partFilePrefix(outputName);
    name += std::to_string(owner);
    name += kPartSuffix;
    return name;
}

long partFileOwner(std::string_view fileName, std::string_view outputName) {
    const std::string prefix = partFilePrefix(outputName);
    if (fileName.size() <= prefix.size() + kPartSuffix.size() ||
        fileName.substr(0, prefix.size()) != prefix ||
        fileName.substr(fileName.size() - kPartSuffix.size()) != kPartSuffix)
        return 0;
    const std::string_view digits =
        fileName.substr(prefix.size(), fileName.size() - prefix.size() - kPartSuffix.size());
    if (digits.size() > kOwnerDigits || digits.front() == '0')
        return 0;
    long owner = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), owner);
    if (ec != std::errc() || end != digits.data() + digits.size() || owner <= 0)
        return 0;
    return owner;
}

} // namespace vorkast::contract
