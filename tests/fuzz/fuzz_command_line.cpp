// The program's command line: any arguments give either an error to show with the usage or
// absolute paths to work with, never a relative one.
#include "app/application.h"

#include "fuzz_support.h"

#include <QDir>

using namespace segmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const QString environment = QString::fromUtf8(bytes.field());
    QStringList arguments;
    while (!bytes.atEnd())
        arguments.append(QString::fromUtf8(bytes.field()));
    const QString current = QStringLiteral("/home/user/videos");

    const StartOptions options = ParseStartOptions(arguments, current, environment);
    if (!options.error.isEmpty())
        return 0;
    for (const QString& path : {options.programFolder, options.source, options.screenshotPath})
        FUZZ_CHECK(path.isEmpty() || QDir::isAbsolutePath(path), path);
    // Without options every argument is a file: the first one is the source.
    if (!arguments.isEmpty() && !arguments.first().startsWith(QLatin1Char('-')) &&
        !arguments.first().isEmpty())
        FUZZ_CHECK(!options.source.isEmpty(), arguments.first());
    return 0;
}
