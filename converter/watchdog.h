// Ends work that makes no progress: a stalled source, a blocked read, a decoder that never returns.
//
// Threading: alive() from the working thread; a background thread watches. After `limit` without
// alive() the watchdog expires: interrupt() then makes libav's blocking calls give up, and the
// working thread is expected to fail with a message. If it is still stuck `grace` later (a read
// that libav cannot interrupt), onStuck runs on the watchdog's thread; the program removes its
// part file and ends there.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

extern "C" {
#include <libavformat/avio.h>
}

namespace vorkast {

class Watchdog {
public:
    using Clock = std::chrono::steady_clock;
    Watchdog(Clock::duration limit, Clock::duration grace, std::function<void()> onStuck);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void start();
    void stop();
    void alive() { m_beats.fetch_add(1, std::memory_order_relaxed); }
    bool expired() const { return m_expired.load(); }
    Clock::duration limit() const { return m_limit; }
    // For AVFormatContext::interrupt_callback: non-zero once expired.
    AVIOInterruptCB interrupt();

private:
    Clock::duration m_limit;
    Clock::duration m_grace;
    std::function<void()> m_onStuck;
    std::atomic<unsigned long> m_beats{0};
    std::atomic<bool> m_expired{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace vorkast
