// A thread that notices when the work stops moving.
#include "watchdog.h"

#include <algorithm>

namespace vorkast {

Watchdog::Watchdog(Clock::duration limit, Clock::duration grace, std::function<void()> onStuck)
    : m_limit(limit), m_grace(grace), m_onStuck(std::move(onStuck)) {}

Watchdog::~Watchdog() {
    stop();
}

void Watchdog::start() {
    m_thread = std::thread([this] {
        const auto tick = std::clamp<Clock::duration>(m_limit / 8, std::chrono::milliseconds(10),
                                                      std::chrono::milliseconds(250));
        unsigned long seen = m_beats.load();
        auto lastMove = Clock::now();
        std::unique_lock lock(m_mutex);
        while (!m_stopping) {
            m_wake.wait_for(lock, tick, [this] { return m_stopping; });
            if (m_stopping)
                break;
            const auto now = Clock::now();
            if (const auto beats = m_beats.load(); beats != seen) {
                seen = beats;
                lastMove = now;
                continue;
            }
            if (now - lastMove >= m_limit)
                m_expired = true;
            if (now - lastMove >= m_limit + m_grace) {
                if (m_onStuck)
                    m_onStuck();
                break;
            }
        }
    });
}

void Watchdog::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

AVIOInterruptCB Watchdog::interrupt() {
    return AVIOInterruptCB{
        [](void* self) { return static_cast<Watchdog*>(self)->expired() ? 1 : 0; }, this};
}

} // namespace vorkast
