#pragma once
// Receives every signal of one object, whatever its arguments, and hands the raw argument
// pointers to a handler; a by-reference argument can thus be rewritten before the emitter reads
// it back. The class has no Q_OBJECT on purpose: it answers the calls of its connections itself
// in qt_metacall.

#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <functional>

namespace automation {

class SignalRelay : public QObject
{
public:
    // args[0] is the return slot, args[1..n] point to the signal's arguments.
    using Handler = std::function<void(const QMetaMethod &signal, void **args)>;

    SignalRelay(QObject *source, Handler handler);
    // Deletes the relay now, or when the signal it is handling returns (a handler may run a
    // nested event loop in which the source goes away).
    void release();

    int qt_metacall(QMetaObject::Call call, int id, void **args) override;

private:
    ~SignalRelay() override = default;

    QList<QMetaMethod> m_signals;
    Handler m_handler;
    int m_depth = 0;
    bool m_released = false;
};

} // namespace automation
