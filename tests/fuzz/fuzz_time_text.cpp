// Time texts typed by the user (the start, end and length fields) and the texts the program
// writes itself: reading never fails badly, and what is written reads back as written.
#include "ground/time_text.h"

#include "fuzz_support.h"

#include <cmath>

using namespace segmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const double given = bytes.number();
    const QString typed = QString::fromUtf8(bytes.rest());

    // Whatever was typed: a number of seconds or exactly -1, never NaN or infinite.
    const double seconds = TimeTextToSeconds(typed);
    FUZZ_CHECK(seconds == -1 || std::isfinite(seconds), typed);

    // A time the program writes reads back as its whole seconds, as long as the hours fit the
    // 32 bits the reader allows. Negative times are never written into a field.
    const double hourLimit = 2147483647.0 * 3600.0;
    for (const double value : {given, seconds}) {
        const QString text = SecondsToTimeText(value);
        FUZZ_CHECK(!text.isEmpty(), QString::number(value));
        if (value >= 0 && value < hourLimit) {
            const double back = TimeTextToSeconds(text);
            FUZZ_CHECK(back == std::trunc(value), QString::number(value, 'g', 17) + " -> " + text);
        }
    }

    // The path helpers never grow a name and never leave a folder in the base name.
    const QString base = BaseName(typed);
    FUZZ_CHECK(!base.contains(QLatin1Char('/')), typed);
    FUZZ_CHECK(typed.startsWith(StripExtension(typed)), typed);
    const QString folder = WithTrailingSeparator(typed);
    FUZZ_CHECK(typed.isEmpty() ? folder.isEmpty() : folder.endsWith(QLatin1Char('/')), typed);
    return 0;
}
