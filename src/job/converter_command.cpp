// Building the converter's command line from a section and the profile's arguments.
#include "job/converter_command.h"

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

QString ConverterCommandText(const ConverterCall& call) {
    return QStringLiteral(" -y -i \"") + call.sourcePath + QStringLiteral("\" -ss ") +
           FormatConverterNumber(call.start) + QStringLiteral(" -t ") +
           FormatConverterNumber(call.length) +
           (call.followed ? QStringLiteral(" -tile") : QString()) + QStringLiteral(" -profile \"") +
           call.profileName + QStringLiteral("\"") + call.profileArguments + QStringLiteral(" \"") +
           call.outputPath + QStringLiteral("\"");
}

QStringList ConverterArguments(const ConverterCall& call) {
    QStringList arguments{QStringLiteral("-y"),
                          QStringLiteral("-i"),
                          call.sourcePath,
                          QStringLiteral("-ss"),
                          FormatConverterNumber(call.start),
                          QStringLiteral("-t"),
                          FormatConverterNumber(call.length)};
    if (call.followed)
        arguments.append(QStringLiteral("-tile"));
    arguments += {QStringLiteral("-profile"), call.profileName};
    arguments += call.profileArguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    arguments.append(call.outputPath);
    return arguments;
}

} // namespace segmora
