// The cut engine on damaged media: any bytes, taken as a source file, are cut by copying
// (keyframe and exact) and by encoding again, and each run either writes a clip or fails with
// a sentence; it never crashes, leaves no part file, and a copy writes no more than the source
// could give.
#include "convert_error.h"
#include "engine.h"
#include "options.h"
#include "progress_reporter.h"
#include "watchdog.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace fs = std::filesystem;

namespace {

#define ENGINE_CHECK(condition, detail)                                                            \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: %s failed: %s\n", __FILE__, __LINE__, #condition,         \
                         std::string(detail).c_str());                                             \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// A folder of its own for the run, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "fuzz_cut_engine.XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// One cut of source into output; false when the engine refused it with a message.
bool cut(const std::vector<std::string>& args) {
    const vorkast::Options options = vorkast::parseOptions(args);
    // A stall is a finding: the watchdog gives up quickly and the run ends there.
    vorkast::Watchdog watchdog(std::chrono::seconds(3), std::chrono::seconds(2),
                               [] { ENGINE_CHECK(false, "the engine stalled"); });
    vorkast::ProgressReporter reporter([](const std::string&) {}, 1000);
    watchdog.start();
    reporter.start();
    bool written = true;
    try {
        const vorkast::ConvertResult result = vorkast::convert(options, reporter, watchdog);
        ENGINE_CHECK(result.seconds >= 0 && result.seconds < 1e6, std::to_string(result.seconds));
    } catch (const vorkast::ConvertError& error) {
        ENGINE_CHECK(error.what()[0] != '\0', "a failure without a message");
        written = false;
    }
    watchdog.stop();
    reporter.finish(0);
    return written;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 256 * 1024)
        return -1; // sources stay small, so every run stays quick
    TempFolder folder;
    const std::string source = (folder.path() / "source").string();
    {
        std::ofstream file(source, std::ios::binary);
        file.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    // The section moves with the input, so damage meets cut points anywhere in the file.
    const std::string start = std::to_string((size % 8) / 10.0);
    const std::string length = "0.6";
    struct Case {
        const char* output;
        std::vector<std::string> settings;
        bool copies;
    } cases[] = {
        {"keyframe.mkv", {"-c", "copy"}, true},
        {"exact.mkv", {"-c", "copy", "-cut", "exact"}, true},
        {"exact.avi", {"-c", "copy", "-cut", "exact", "-an"}, true},
        {"encoded.mkv", {"-c:v", "mpeg4", "-s", "32x24", "-c:a", "mp2", "-ar", "8000"}, false},
    };
    for (const Case& c : cases) {
        const fs::path output = folder.path() / c.output;
        std::vector<std::string> args{"-y",  "-threads", "1",  "-i",  source,
                                      "-ss", start,      "-t", length};
        args.insert(args.end(), c.settings.begin(), c.settings.end());
        args.push_back(output.string());
        const bool written = cut(args);
        ENGINE_CHECK(written == fs::exists(output), c.output);
        // Only the clip is left: no part file, nothing else.
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.path()))
            ++entries;
        ENGINE_CHECK(entries == (written ? 2u : 1u), c.output);
        if (!written)
            continue;
        // Copying never multiplies the source: frames are not repeated without bound.
        if (c.copies)
            ENGINE_CHECK(fs::file_size(output) <= 2 * size + 64 * 1024,
                         std::to_string(fs::file_size(output)));
        fs::remove(output);
    }
    return 0;
}
