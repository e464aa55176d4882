#include "script/watchdog.h"

#include <QJSEngine>
#include <algorithm>

namespace script {

namespace {

int beatInterval(int limit)
{
    return std::max(10, limit / 4);
}

// How often the watching thread looks: often enough to stop a run soon after the limit.
int checkInterval(int limit)
{
    return std::clamp(limit / 4, 10, Watchdog::CheckInterval);
}

} // namespace

Watchdog::Watchdog(QJSEngine *engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
    m_beat.setInterval(beatInterval(m_limit));
    connect(&m_beat, &QTimer::timeout, this, &Watchdog::beat);
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void Watchdog::setLimit(int milliseconds)
{
    m_limit = std::max(0, milliseconds);
    m_beat.setInterval(beatInterval(m_limit));
    m_wake.notify_all();
}

void Watchdog::arm()
{
    {
        std::lock_guard lock(m_mutex);
        m_armed = true;
        m_lastBeat = Clock::now();
    }
    m_fired = false;
    m_beat.start();
    if (!m_thread.joinable())
        m_thread = std::thread([this] { watch(); });
    m_wake.notify_all();
}

void Watchdog::disarm()
{
    m_beat.stop();
    std::lock_guard lock(m_mutex);
    m_armed = false;
}

void Watchdog::beat()
{
    std::lock_guard lock(m_mutex);
    m_lastBeat = Clock::now();
}

void Watchdog::watch()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        m_wake.wait_for(
            lock, std::chrono::milliseconds(checkInterval(m_limit > 0 ? m_limit.load() : 1000)));
        const int limit = m_limit;
        if (m_stop || !m_armed || limit <= 0)
            continue;
        if (Clock::now() - m_lastBeat > std::chrono::milliseconds(limit)) {
            m_armed = false;
            m_fired = true;
            m_engine->setInterrupted(true);
        }
    }
}

} // namespace script
