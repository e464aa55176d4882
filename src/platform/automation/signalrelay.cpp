#include "automation/signalrelay.h"

#include "automation/members.h"

namespace automation {

SignalRelay::SignalRelay(QObject *source, Handler handler)
    : m_signals(members::events(source->metaObject()))
    , m_handler(std::move(handler))
{
    const int firstSlot = QObject::staticMetaObject.methodCount();
    for (int i = 0; i < m_signals.size(); ++i) {
        QMetaObject::connect(source, m_signals.at(i).methodIndex(), this, firstSlot + i,
            Qt::DirectConnection, nullptr);
    }
}

void SignalRelay::release()
{
    if (m_depth == 0)
        delete this;
    else
        m_released = true;
}

int SignalRelay::qt_metacall(QMetaObject::Call call, int id, void **args)
{
    id = QObject::qt_metacall(call, id, args);
    if (id < 0 || call != QMetaObject::InvokeMetaMethod)
        return id;
    if (id < m_signals.size() && !m_released) {
        ++m_depth;
        m_handler(m_signals.at(id), args);
        --m_depth;
        if (m_released && m_depth == 0) {
            delete this;
            return -1;
        }
    }
    return -1;
}

} // namespace automation
