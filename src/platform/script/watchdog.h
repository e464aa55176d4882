#pragma once
// Stops a script that holds the user-interface thread too long. While armed, the user-interface
// thread beats (a timer that runs only when its event loop runs); a helper thread interrupts the
// engine when no beat came for the limit. A script that waits in an event loop (for host data,
// a dialog) keeps beating and is left alone; one that computes without end is stopped at most
// CheckInterval ms after the limit.

#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class QJSEngine;

namespace script {

class Watchdog : public QObject
{
public:
    // The limit a new watchdog has, and the most it can be late in noticing it.
    static constexpr int DefaultLimit = 20000;
    static constexpr int CheckInterval = 250;

    explicit Watchdog(QJSEngine *engine, QObject *parent = nullptr);
    ~Watchdog() override;

    // Milliseconds without a beat before the engine is interrupted; 0 switches the watch off.
    void setLimit(int milliseconds);
    int limit() const { return m_limit; }

    void arm();
    void disarm();
    // Whether the watchdog interrupted the engine since it was last armed.
    bool fired() const { return m_fired; }

private:
    using Clock = std::chrono::steady_clock;
    void beat();
    void watch();

    QJSEngine *m_engine;
    QTimer m_beat;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_armed = false;
    Clock::time_point m_lastBeat;
    std::atomic<int> m_limit { DefaultLimit };
    std::atomic<bool> m_fired { false };
};

} // namespace script
