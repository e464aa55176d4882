#include "runtime/memory.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

#include <malloc.h>

namespace rt {

namespace {

Q_LOGGING_CATEGORY(lcMemory, "norvalis.runtime.memory", QtInfoMsg)

void releaseFreedMemory()
{
    const int released = ::malloc_trim(0);
    qCDebug(lcMemory) << "freed heap pages returned:" << (released != 0);
}

} // namespace

void releaseFreedMemorySoon()
{
    auto *app = QCoreApplication::instance();
    if (!app)
        return;
    static QPointer<QTimer> timer; // goes with the application
    if (!timer) {
        timer = new QTimer(app);
        timer->setSingleShot(true);
        timer->setInterval(releaseSettleMs);
        QObject::connect(timer, &QTimer::timeout, timer, &releaseFreedMemory);
    }
    timer->start();
}

} // namespace rt
