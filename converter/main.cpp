// vorkast: cuts one section out of a video and converts it, for the split job and by hand.
#include "convert_error.h"
#include "converter_contract.h"
#include "engine.h"
#include "exit_status.h"
#include "messages.h"
#include "options.h"
#include "part_file.h"
#include "progress_reporter.h"
#include "watchdog.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavcodec/version.h>
#include <libavformat/version.h>
}

namespace {

// Tests shorten the 30 s stall limit through this variable to inject a stall quickly.
std::chrono::milliseconds stallLimit() {
    if (const char* text = std::getenv("VORKAST_STALL_LIMIT_MS")) {
        if (const auto ms = vorkast::parseDecimal(text); ms && *ms > 0)
            return std::chrono::milliseconds(static_cast<long long>(*ms));
    }
    return std::chrono::seconds(30);
}

std::string secondsText(std::chrono::milliseconds limit) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, double(limit.count()) / 1000.0);
    return ec == std::errc() ? std::string(text, end) : std::string("?");
}

std::string fixedText(double seconds) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 2);
    return ec == std::errc() ? std::string(text, end) : std::string("?");
}

} // namespace

int main(int argc, char** argv) {
    using namespace vorkast;
    installTerminationHandlers();
    installLibavLog();
    if (argc < 2) {
        // Started by hand with nothing to do: say how to ask for more.
        std::fputs("usage: vorkast [-y] -i SOURCE [-ss SECONDS] [-t SECONDS] [options] OUTPUT\n"
                   "Run 'vorkast --help' for the options.\n",
                   stderr);
        return 1;
    }
    try {
        Options options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (const char* other = std::getenv("VORKAST_CHECK_SOURCE"))
            options.checkSource = other;
        if (options.help) {
            std::fputs(helpText(), stdout);
            return exit_status::complete;
        }
        if (options.version) {
            std::printf("vorkast %s (libavformat %s, libavcodec %s)\n", contract::kVersion,
                        AV_STRINGIFY(LIBAVFORMAT_VERSION), AV_STRINGIFY(LIBAVCODEC_VERSION));
            return 0;
        }
        const auto limit = stallLimit();
        Watchdog watchdog(
            limit, std::min<std::chrono::milliseconds>(limit, std::chrono::seconds(5)), [limit] {
                // A read libav cannot interrupt: leave no part file behind and end here.
                removePartFileNow();
                printMessage("the work made no progress for " + secondsText(limit) +
                             " s and could not be stopped; giving up");
                ::_exit(exit_status::failed);
            });
        if (!options.checkClip.empty()) {
            watchdog.start();
            const bool holds = checkOnly(options, watchdog);
            watchdog.stop();
            return holds ? exit_status::complete : exit_status::checkFailed;
        }
        ProgressReporter reporter;
        watchdog.start();
        reporter.start();
        const ConvertResult result = convert(options, reporter, watchdog);
        watchdog.stop();
        if (result.shortClip)
            printMessage("the source ended early: the clip holds " + fixedText(result.seconds) +
                         " s of the " + fixedText(result.expected) + " s it should have");
        // The last report is the clip's real length.
        reporter.finish(result.seconds);
        if (result.checkFailed)
            return exit_status::checkFailed;
        return result.shortClip ? exit_status::shortClip : exit_status::complete;
    } catch (const CheckFailed& error) {
        printMessage(error.what());
        return exit_status::checkFailed;
    } catch (const ConvertError& error) {
        printMessage(error.what());
    } catch (const std::bad_alloc&) {
        printMessage("out of memory");
    } catch (const std::exception& error) {
        printMessage(std::string("unexpected failure: ") + error.what());
    }
    return exit_status::failed;
}
