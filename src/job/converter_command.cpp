// Building the converter's command line from a section and the profile's arguments.
#include "job/converter_command.h"

#include "join_ranges.h"

#include <charconv>
#include <cmath>
#include <iterator>

namespace segmora {

QString FormatConverterNumber(double value) {
    if (!std::isfinite(value))
        return QStringLiteral("0");
    if (value == 0)
        value = 0; // no "-0"
    // to_chars never consults the locale, unlike printf.
    char buffer[64];
    const auto result =
        std::to_chars(std::begin(buffer), std::end(buffer), value, std::chars_format::general, 15);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

namespace {

// The -ss and -t of a clip of one range, or a -range for each range a clip joins.
QStringList RangeArguments(const ConverterCall& call) {
    if (call.joined.isEmpty())
        return {QStringLiteral("-ss"), FormatConverterNumber(call.start), QStringLiteral("-t"),
                FormatConverterNumber(call.length)};
    QStringList arguments;
    for (const CutRange& range : call.joined)
        arguments << QString::fromUtf8(vorkast::contract::kRangeOption.data(),
                                       qsizetype(vorkast::contract::kRangeOption.size()))
                  << QString::fromStdString(vorkast::contract::formatJoinRange(
                         {range.start, range.end, range.label.toStdString()}));
    return arguments;
}

} // namespace

QString ConverterCommandText(const ConverterCall& call) {
    QString range;
    const QStringList ranges = RangeArguments(call);
    for (qsizetype i = 0; i + 1 < ranges.size(); i += 2)
        range += QLatin1Char(' ') + ranges[i] +
                 (call.joined.isEmpty() ? QLatin1String(" ") : QLatin1String(" \"")) +
                 ranges[i + 1] + (call.joined.isEmpty() ? QString() : QStringLiteral("\""));
    return QStringLiteral(" -y -i \"") + call.sourcePath + QStringLiteral("\"") + range +
           (call.followed ? QStringLiteral(" -tile") : QString()) + QStringLiteral(" -profile \"") +
           call.profileName + QStringLiteral("\"") + call.profileArguments + QStringLiteral(" \"") +
           call.outputPath + QStringLiteral("\"");
}

QStringList ConverterArguments(const ConverterCall& call) {
    QStringList arguments{QStringLiteral("-y"), QStringLiteral("-i"), call.sourcePath};
    arguments += RangeArguments(call);
    if (call.followed)
        arguments.append(QStringLiteral("-tile"));
    arguments += {QStringLiteral("-profile"), call.profileName};
    arguments += call.profileArguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    arguments.append(call.outputPath);
    return arguments;
}

} // namespace segmora
