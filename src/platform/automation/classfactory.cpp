#include "automation/classfactory.h"

#include "automation/bridge.h"
#include "automation/guard.h"
#include "automation/runningobject.h"
#include "runtime/errnum.h"
#include "runtime/error.h"

#include <QCoreApplication>
#include <QPointer>

namespace automation {

ClassFactory &ClassFactory::instance()
{
    static QPointer<ClassFactory> factory;
    if (!factory)
        factory = new ClassFactory(QCoreApplication::instance());
    return *factory;
}

void ClassFactory::registerClass(const QString &className, Creator creator)
{
    m_creators.insert(className.toLower(), std::move(creator));
}

bool ClassFactory::publish(const QString &busName)
{
    Bridge &bridge = Bridge::instance();
    if (bridge.exportedPath(this) != nothingPath() && !bridge.exportObject(this, nothingPath()))
        return false;
    return ownBusName(busName);
}

QObject *ClassFactory::CreateObject(const QString &className)
{
    return guard([&] {
        const Creator creator = m_creators.value(className.toLower());
        QObject *object = creator ? creator() : nullptr;
        if (!object)
            rt::raise(rt::err::CannotCreateObject,
                QStringLiteral("Automation server can't create object"));
        return object;
    });
}

} // namespace automation
