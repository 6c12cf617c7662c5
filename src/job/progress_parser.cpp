// Progress reports and percentages of a running split.
#include "job/progress_parser.h"

#include "ground/rounding.h"
#include "ground/time_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace segmora {

namespace {

int clampPercent(long long value) {
    return static_cast<int>(std::clamp(value, 0LL, 100LL));
}

// A plain "." decimal number filling the whole text: optional "-", digits with an optional
// fraction and exponent; no blanks, no "inf" or "nan".
bool readDecimal(QByteArrayView text, double* value) {
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const bool allowed =
            (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
        if (!allowed)
            return false;
    }
    const char* first = text.data();
    const char* last = first + text.size();
    const auto result = std::from_chars(first, last, *value, std::chars_format::general);
    return result.ec == std::errc() && result.ptr == last;
}

} // namespace

double NextProgressTime(QByteArrayView chunk, double current) {
    const qsizetype zero = chunk.indexOf('\0');
    if (zero >= 0)
        chunk = chunk.first(zero);
    const qsizetype found = chunk.indexOf(QByteArrayView("time"));
    // The candidate skips the four letters and one separator; without a report it starts at
    // the fifth character all the same.
    const qsizetype from = (found >= 0 ? found + 1 : 0) + 4;
    if (from >= chunk.size())
        return current;
    const QByteArrayView rest = chunk.sliced(from);
    const qsizetype blank = rest.indexOf(' ');
    if (blank < 0)
        return current;
    double value = 0;
    if (!readDecimal(rest.first(blank), &value))
        return current;
    if (value > current && value < 1e9)
        return value;
    return current;
}

int SectionPercent(double progressTime, double sectionLength, int previousPercent) {
    if (sectionLength == 0)
        return previousPercent;
    const double percent = progressTime / sectionLength * 100.0;
    if (std::isnan(percent))
        return previousPercent;
    return clampPercent(RoundHalfEven(std::clamp(percent, -1.0, 101.0)));
}

int TotalPercent(int sectionPercent, int index, int count) {
    if (count < 1)
        count = 1;
    const double total = (sectionPercent + (static_cast<double>(index) - 1) * 100.0) / count;
    return clampPercent(RoundHalfEven(std::clamp(total, -1.0, 101.0)));
}

long long RemainingSeconds(long long elapsedSeconds, int totalPercent) {
    if (totalPercent == 0)
        return 0;
    const double elapsed = static_cast<double>(elapsedSeconds);
    return RoundHalfEven(elapsed / (totalPercent / 100.0) - elapsed);
}

JobTimeTexts ProcessTimerTexts(long long elapsedSeconds, int totalPercent) {
    return {SecondsToTimeText(static_cast<double>(elapsedSeconds)),
            SecondsToTimeText(static_cast<double>(RemainingSeconds(elapsedSeconds, totalPercent)))};
}

void JobProgress::beginSection(int index, double length) {
    m_index = index;
    m_length = length;
    m_time = 0;
}

void JobProgress::addChunk(QByteArrayView chunk) {
    m_time = NextProgressTime(chunk, m_time);
    m_current = SectionPercent(m_time, m_length, m_current);
    m_total = TotalPercent(m_current, m_index, m_count);
}

void JobProgress::endSection() {
    m_current = 0;
    m_time = 0;
}

} // namespace segmora
