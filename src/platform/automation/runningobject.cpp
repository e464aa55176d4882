#include "automation/runningobject.h"

#include "automation/bridge.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QHash>

namespace automation {

namespace {

QHash<rt::Long, QString> &registrations()
{
    static QHash<rt::Long, QString> names;
    return names;
}

// Whether the object at path of service says it has interface.
bool answersInterface(const QDBusConnection &bus, const QString &service, const QString &path,
    const QString &interface)
{
    const QDBusMessage call = QDBusMessage::createMethodCall(service, path,
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return false;
    const QString xml = reply.arguments().value(0).toString();
    return xml.contains(QStringLiteral("<interface name=\"%1\">").arg(interface));
}

} // namespace

QString objectPathOf(const QString &className)
{
    return u'/' + className.section(u'.', -1);
}

bool ownBusName(const QString &name)
{
    QDBusConnectionInterface *bus = Bridge::instance().connection().interface();
    if (!bus)
        return false;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
        = bus->registerService(name, QDBusConnectionInterface::DontQueueService,
            QDBusConnectionInterface::DontAllowReplacement);
    return reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
}

void releaseBusName(const QString &name)
{
    if (QDBusConnectionInterface *bus = Bridge::instance().connection().interface())
        bus->unregisterService(name);
}

QString busNameOwner(const QString &name)
{
    QDBusConnectionInterface *bus = Bridge::instance().connection().interface();
    if (!bus)
        return QString();
    const QDBusReply<QString> owner = bus->serviceOwner(name);
    return owner.isValid() ? owner.value() : QString();
}

rt::Long registerRunningObject(const QString &className, QObject *object)
{
    static rt::Long lastCookie = 0;
    if (!object)
        return 0;
    Bridge &bridge = Bridge::instance();
    const QString path = objectPathOf(className);
    if (bridge.exportedPath(object) != path && !bridge.exportObject(object, path))
        return 0;
    if (!ownBusName(className))
        return 0;
    const rt::Long cookie = ++lastCookie;
    registrations().insert(cookie, className);
    return cookie;
}

rt::Long revokeRunningObject(rt::Long cookie)
{
    const QString name = registrations().take(cookie);
    if (!name.isEmpty())
        releaseBusName(name);
    return 0;
}

Remote runningObject(const QString &className)
{
    const QDBusConnection bus = Bridge::instance().connection();
    if (!bus.interface())
        return Remote();
    const QDBusReply<QString> owner = bus.interface()->serviceOwner(className);
    if (!owner.isValid() || owner.value().isEmpty() || owner.value() == bus.baseService())
        return Remote();
    const QString path = objectPathOf(className);
    if (!answersInterface(bus, owner.value(), path, className))
        return Remote();
    return Remote(bus, owner.value(), path, className);
}

} // namespace automation
