#include "app/lockupdate.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace modLockUpdate {

namespace {

constexpr int SafetyInterval = 400; // ms

struct LockState
{
    QPointer<QWidget> window;
    rt::Long count = 0;
    QPointer<QTimer> timer;
};

LockState &state()
{
    static LockState s;
    return s;
}

// The single-shot safety timer; it belongs to the application object so that it ends with it.
QTimer *safetyTimer()
{
    LockState &s = state();
    if (!s.timer) {
        s.timer = new QTimer(QCoreApplication::instance());
        s.timer->setSingleShot(true);
        s.timer->setInterval(SafetyInterval);
        QObject::connect(s.timer, &QTimer::timeout, [] { LockTimerProc(); });
    }
    return s.timer;
}

void freeze(bool frozen)
{
    if (QWidget *w = state().window)
        w->setUpdatesEnabled(!frozen);
}

void stopTimer()
{
    if (QTimer *t = state().timer)
        t->stop();
}

} // namespace

void SetWindow(QWidget *window)
{
    // A freeze in progress moves to the new window: the old one must not stay frozen.
    LockState &s = state();
    if (s.count > 0)
        freeze(false);
    s.window = window;
    if (s.count > 0)
        freeze(true);
}

QWidget *Window()
{
    return state().window;
}

void LockUpdate()
{
    LockState &s = state();
    if (!s.window)
        return;
    ++s.count;
    if (s.count == 1) {
        freeze(true);
        safetyTimer()->start();
    }
}

void UnlockUpdate()
{
    LockState &s = state();
    if (s.count < 0) {
        s.count = 0;
        return;
    }
    if (s.count == 0)
        return;
    --s.count;
    if (s.count == 0) {
        freeze(false);
        stopTimer();
    }
}

void LockTimerProc()
{
    LockState &s = state();
    stopTimer();
    if (s.count < 0) {
        s.count = 0;
    } else if (s.count > 0) {
        freeze(false);
        s.count = 0;
    }
}

rt::Long Count()
{
    return state().count;
}

bool TimerRunning()
{
    QTimer *t = state().timer;
    return t && t->isActive();
}

} // namespace modLockUpdate
