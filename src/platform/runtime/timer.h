#pragma once
// The timer control: ticks every Interval milliseconds while Enabled. An Interval of 0 turns it
// off; setting Enabled or Interval starts the count again. A tick never starts while the
// previous tick of the same timer is still running (a handler that pumps events, through a
// modal window or DoEvents, does not re-enter itself); such ticks are dropped, not queued.

#include "runtime/error.h"

#include <QObject>
#include <QTimer>

namespace rt {

class Timer : public QObject
{
    Q_OBJECT
public:
    // Enabled with Interval 0 (so not ticking), as a timer control is when it is created.
    explicit Timer(QObject *parent = nullptr);

    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    Long interval() const { return m_interval; }
    // Negative intervals raise 380.
    void setInterval(Long milliseconds);
    // True while a tick's handlers run.
    bool isTicking() const { return m_ticking; }
    // True while the count toward the next tick runs (enabled with an interval above 0).
    bool isCounting() const { return m_timer.isActive(); }

signals:
    // The Timer event; an error that leaves a handler meets the event boundary.
    void tick();

private:
    void restart();
    void fire();

    QTimer m_timer;
    bool m_enabled = true;
    Long m_interval = 0;
    bool m_ticking = false;
};

} // namespace rt
