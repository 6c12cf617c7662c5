// Writing the progress report at a steady pace from its own thread.
#include "progress_reporter.h"

#include "converter_contract.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <unistd.h>

namespace vorkast {

std::string formatReport(double seconds) {
    return contract::formatProgressReport(seconds);
}

ProgressReporter::ProgressReporter(Writer writer, int intervalMs)
    : m_writer(std::move(writer)), m_intervalMs(intervalMs) {
    if (!m_writer)
        m_writer = [](const std::string& report) {
            [[maybe_unused]] auto written = ::write(STDERR_FILENO, report.data(), report.size());
        };
}

ProgressReporter::~ProgressReporter() {
    stop();
}

void ProgressReporter::start() {
    // The first report goes out at once, so even the quickest section shows a start and an end.
    m_writer(formatReport(m_seconds.load()));
    m_thread = std::thread([this] {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_wake.wait_for(lock, std::chrono::milliseconds(m_intervalMs),
                                [this] { return m_stopping; }))
                break;
            m_writer(formatReport(m_seconds.load()));
        }
    });
}

void ProgressReporter::set(double seconds) {
    double current = m_seconds.load();
    while (seconds > current && !m_seconds.compare_exchange_weak(current, seconds)) {
    }
}

void ProgressReporter::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ProgressReporter::finish(double seconds) {
    stop();
    m_writer(formatReport(seconds));
}

} // namespace vorkast
