// The progress report the split job reads: "time=SS.SS " on standard error.
//
// Threading: set() may be called from any thread; a background thread writes the report four
// times a second from start() until finish(), which writes the final one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vorkast {

// "time=12.40 \n": two decimals, always ".", a blank after the number; negative values read 0.
std::string formatReport(double seconds);

class ProgressReporter {
public:
    using Writer = std::function<void(const std::string&)>;
    // writer gets each report whole; the default writes it to standard error in one write.
    explicit ProgressReporter(Writer writer = {}, int intervalMs = 250);
    ~ProgressReporter();
    ProgressReporter(const ProgressReporter&) = delete;
    ProgressReporter& operator=(const ProgressReporter&) = delete;

    void start();
    // Seconds of the section done so far; only increases are kept.
    void set(double seconds);
    double value() const { return m_seconds.load(); }
    // Stops the thread and writes one last report of seconds.
    void finish(double seconds);

private:
    void stop();
    Writer m_writer;
    int m_intervalMs;
    std::atomic<double> m_seconds{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace vorkast
