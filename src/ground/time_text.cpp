// Time texts and path operations.
#include "ground/time_text.h"

#include "ground/whole_number.h"

#include <QLocale>
#include <cmath>
#include <cstdint>

namespace segmora {
namespace {

QString twoDigits(std::int64_t value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// A 32-bit whole number: leading blanks, an optional sign, at least one digit, nothing after.
bool readWhole(const QString& text, std::int64_t* result) {
    const std::optional<int> value = ParseWholeNumber(text, {.leadingBlanks = true});
    if (value)
        *result = *value;
    return value.has_value();
}

// A decimal number: leading and trailing blanks, an optional sign, digits, optionally a separator
// ("." or the locale's) and more digits. It must start with a digit after the sign, so ".5" is
// refused.
bool readDecimal(const QString& text, double* result) {
    const QChar localeSeparator =
        QLocale().decimalPoint().isEmpty() ? QLatin1Char('.') : QLocale().decimalPoint().at(0);
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    QString normalised;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        normalised += text.at(i);
        ++i;
    }
    bool digits = false;
    bool separator = false;
    qsizetype end = text.size();
    while (end > i && text.at(end - 1) == QLatin1Char(' '))
        --end; // a blank typed after the seconds is forgiven
    for (; i < end; ++i) {
        const QChar c = text.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digits = true;
            normalised += c;
        } else if ((c == QLatin1Char('.') || c == localeSeparator) && digits && !separator) {
            separator = true;
            normalised += QLatin1Char('.');
        } else {
            return false;
        }
    }
    if (!digits)
        return false;
    bool ok = false;
    *result = QLocale::c().toDouble(normalised, &ok);
    return ok;
}

} // namespace

QString SecondsToTimeText(double seconds) {
    if (std::isnan(seconds))
        seconds = 0;
    // Clamp before converting: a double beyond the 64-bit range has no whole-number value.
    constexpr double limit = 9.2e18;
    const double clamped = std::fmax(-limit, std::fmin(limit, seconds));
    const std::int64_t whole = static_cast<std::int64_t>(std::trunc(clamped));
    const std::int64_t magnitude = whole < 0 ? -whole : whole;
    const std::int64_t hours = magnitude / 3600;
    const std::int64_t minutes = (magnitude - hours * 3600) / 60;
    const std::int64_t rest = magnitude - hours * 3600 - minutes * 60;
    const QString text = twoDigits(hours) + QLatin1Char(':') + twoDigits(minutes) +
                         QLatin1Char(':') + twoDigits(rest);
    return whole < 0 ? QLatin1Char('-') + text : text;
}

QString SecondsToMarkText(double seconds) {
    if (!std::isfinite(seconds))
        return SecondsToTimeText(seconds);
    const double ms = std::round(seconds * 1000.0);
    const double whole = std::trunc(ms / 1000.0);
    const auto fraction = static_cast<std::int64_t>(std::fabs(ms - whole * 1000.0));
    if (fraction == 0)
        return SecondsToTimeText(whole);
    // -0.25 has no whole seconds to carry the sign.
    const QString text = SecondsToTimeText(std::fabs(whole)) + QLatin1Char('.') +
                         QStringLiteral("%1").arg(fraction, 3, 10, QLatin1Char('0'));
    return ms < 0 ? QLatin1Char('-') + text : text;
}

double FrameMarkSeconds(double frameSeconds) {
    if (!std::isfinite(frameSeconds))
        return 0;
    return std::ceil(frameSeconds * 1000.0 - 0.001) / 1000.0;
}

double TimeTextToSeconds(const QString& text) {
    const qsizetype first = text.indexOf(QLatin1Char(':'));
    if (first < 0)
        return -1;
    const qsizetype second = text.indexOf(QLatin1Char(':'), first + 1);
    if (second < 0)
        return -1;
    std::int64_t hours = 0;
    std::int64_t minutes = 0;
    double seconds = 0;
    if (!readWhole(text.left(first), &hours) ||
        !readWhole(text.mid(first + 1, second - first - 1), &minutes) ||
        !readDecimal(text.mid(second + 1), &seconds))
        return -1;
    // 64-bit arithmetic: large hour counts must not wrap around.
    return static_cast<double>(hours * 3600 + minutes * 60) + seconds;
}

QString WithTrailingSeparator(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

QString StripExtension(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

QString BaseName(const QString& path) {
    return StripExtension(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
}

} // namespace segmora
