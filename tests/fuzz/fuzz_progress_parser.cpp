// The converter's output as the job reads it: any bytes, cut into chunks anywhere, move the
// progress only forward and keep both bars and the estimate within their ranges.
#include "job/progress_parser.h"

#include "fuzz_support.h"

#include <cmath>

using namespace segmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const int count = 1 + bytes.byte() % 8;
    JobProgress progress(count);
    long long elapsed = 0;
    for (int index = 1; index <= count && !bytes.atEnd(); ++index) {
        // Lengths as a plan gives them: whole milliseconds, zero included.
        const double length = (bytes.byte() * 256 + bytes.byte()) / 10.0;
        progress.beginSection(index, length);
        double time = progress.progressTime();
        int total = progress.totalPercent();
        // Each zero byte ends a chunk as one read of the pipe would; the chunk keeps it.
        for (int chunks = 0; chunks < 16 && !bytes.atEnd(); ++chunks) {
            const QByteArray chunk = bytes.field() + '\0' + bytes.field();
            const double alone = NextProgressTime(chunk, time);
            FUZZ_CHECK(alone == time || (alone > time && alone < 1e9), QString::fromLatin1(chunk));
            progress.addChunk(chunk);
            FUZZ_CHECK(progress.progressTime() == alone, QString::fromLatin1(chunk));
            time = progress.progressTime();
            FUZZ_CHECK(progress.currentPercent() >= 0 && progress.currentPercent() <= 100,
                       QString::number(progress.currentPercent()));
            FUZZ_CHECK(progress.totalPercent() >= total && progress.totalPercent() <= 100,
                       QString::number(progress.totalPercent()));
            total = progress.totalPercent();

            elapsed += bytes.byte();
            const long long remaining = RemainingSeconds(elapsed, total);
            FUZZ_CHECK(remaining >= 0, QString::number(remaining));
            const JobTimeTexts texts = ProcessTimerTexts(elapsed, total);
            FUZZ_CHECK(!texts.elapsed.isEmpty() && !texts.remaining.isEmpty(), texts.elapsed);
        }
        progress.endSection();
        FUZZ_CHECK(progress.currentPercent() == 0, QString::number(progress.currentPercent()));
        FUZZ_CHECK(progress.totalPercent() == total, QString::number(progress.totalPercent()));
    }
    return 0;
}
