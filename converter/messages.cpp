// Readable, report-safe messages on standard error.
#include "messages.h"

#include "converter_contract.h"

#include <atomic>
#include <cstdio>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace vorkast {

std::string readableLine(const std::string& text) {
    std::string line;
    line.reserve(text.size() + 1);
    for (char c : text)
        line.push_back(c == '\n' || c == '\r' ? ' ' : c);
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    for (std::size_t at = line.find(contract::kReportKey); at != std::string::npos;
         at = line.find(contract::kReportKey, at + contract::kReportKey.size()))
        line[at] = 'T';
    line.push_back('\n');
    return line;
}

void printMessage(const std::string& text) {
    const std::string line = readableLine("vorkast: " + text);
    // One write keeps a message whole in the pipe, between progress reports from another thread.
    [[maybe_unused]] auto written = ::write(STDERR_FILENO, line.data(), line.size());
}

namespace {

std::atomic<int> libavLinesLeft{40};
std::atomic<int> decoderErrors{0};

void libavLog(void* avcl, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR)
        return;
    // Decoders complain about every damaged packet, and right after a seek about packets cut in
    // half; the engine skips those and says itself what it could not read.
    if (avcl) {
        const AVClass* cls = *static_cast<AVClass**>(avcl);
        const AVClassCategory category = cls && cls->get_category ? cls->get_category(avcl)
                                         : cls                    ? cls->category
                                                                  : AV_CLASS_CATEGORY_NA;
        if (category == AV_CLASS_CATEGORY_DECODER) {
            decoderErrors.fetch_add(1);
            return;
        }
        if (category == AV_CLASS_CATEGORY_BITSTREAM_FILTER)
            return;
    }
    char line[1024];
    int printPrefix = 1;
    av_log_format_line2(avcl, level, format, args, line, sizeof line, &printPrefix);
    if (libavLinesLeft.fetch_sub(1) > 0)
        printMessage(line);
}

} // namespace

int decoderErrorsLogged() {
    return decoderErrors.load();
}

void installLibavLog() {
    av_log_set_level(AV_LOG_ERROR);
    av_log_set_callback(libavLog);
}

} // namespace vorkast
