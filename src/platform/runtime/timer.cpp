#include "runtime/timer.h"

#include <QPointer>

namespace rt {

Timer::Timer(QObject *parent)
    : QObject(parent)
{
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Timer::fire);
}

void Timer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    restart();
}

void Timer::setInterval(Long milliseconds)
{
    if (milliseconds < 0)
        raise(err::InvalidPropertyValue);
    m_interval = milliseconds;
    restart();
}

void Timer::restart()
{
    m_timer.stop();
    if (m_enabled && m_interval > 0)
        m_timer.start(m_interval);
}

void Timer::fire()
{
    if (m_ticking)
        return;
    QPointer<Timer> self(this);
    m_ticking = true;
    rt::event([&] { emit tick(); });
    if (self)
        m_ticking = false;
}

} // namespace rt
