// Reading a decimal whole number by one set of rules.
#include "ground/whole_number.h"

#include <limits>

namespace segmora {

std::optional<int> ParseWholeNumber(QStringView text, WholeNumberRules rules) {
    qsizetype i = 0;
    if (rules.leadingBlanks) {
        while (i < text.size() && text.at(i) == QLatin1Char(' '))
            ++i;
    }
    bool negative = false;
    if (i < text.size() &&
        (text.at(i) == QLatin1Char('-') || (rules.plusSign && text.at(i) == QLatin1Char('+')))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulated as a magnitude in 64 bits so that -2147483648 is still in range.
    constexpr long long kMaxMagnitude = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
    long long magnitude = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        magnitude = magnitude * 10 + (c.unicode() - '0');
        if (magnitude > kMaxMagnitude)
            return std::nullopt;
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace segmora
