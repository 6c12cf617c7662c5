// Cut lists read from files (CSV or JSON, written by other tools or by hand): reading never fails
// badly, what is taken is a sound list, and a sound list written out reads back as it was.
#include "job/cut_list_file.h"

#include "fuzz_support.h"

using namespace segmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const double duration = bytes.number();
    const QByteArray text = bytes.rest();
    const VideoIdentity video{QStringLiteral("/videos/holiday.avi"), 1234, 0};

    for (const CutListReading& reading :
         {ReadCutListCsv(text, duration), ReadCutListJson(text, video, duration)}) {
        // A list is taken whole and sound, or refused with a reason; never both, never neither.
        FUZZ_CHECK(reading.ok() == reading.problem.isEmpty(), QString::fromUtf8(text));
        if (!reading.ok()) {
            FUZZ_CHECK(reading.content.ranges.isEmpty(), reading.problem);
            continue;
        }
        FUZZ_CHECK(CutRangesProblem(reading.content.ranges, duration).isEmpty(),
                   QString::fromUtf8(text));
        const CutListReading csv = ReadCutListCsv(CutListCsv(reading.content.ranges), duration);
        FUZZ_CHECK(csv.ok() && csv.content.ranges == reading.content.ranges,
                   QString::fromUtf8(CutListCsv(reading.content.ranges)));
        const CutListReading json =
            ReadCutListJson(CutListJson(reading.content, video), video, duration);
        FUZZ_CHECK(json.ok() && json.content.ranges == reading.content.ranges &&
                       json.content.mode == reading.content.mode,
                   QString::fromUtf8(CutListJson(reading.content, video)));
    }
    return 0;
}
