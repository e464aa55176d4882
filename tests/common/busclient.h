#pragma once
// A D-Bus client for tests of the program's own automation objects: calls from a second bus
// connection to this process, answered while the event loop runs (a synchronous call to the own
// process would wait for itself). busMessage answers the reply as it came; busCall answers the
// value plain: a path as its text, Nothing as "/", an error as its name. nameHasOwner tells
// whether a bus name is taken.

#include "automation/marshal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QSignalSpy>

namespace busclient {

inline const QString Properties = QStringLiteral("org.freedesktop.DBus.Properties");

inline QVariant inVariant(const QVariant &value)
{
    return QVariant::fromValue(QDBusVariant(value));
}

inline QVariant objectPath(const QString &path)
{
    return QVariant::fromValue(QDBusObjectPath(path));
}

inline QDBusMessage busMessage(const QString &path, const QString &interface, const QString &member,
    const QVariantList &arguments = {})
{
    QDBusConnection client = QDBusConnection::connectToBus(
        QDBusConnection::SessionBus, QStringLiteral("test-bus-client"));
    QDBusMessage message = QDBusMessage::createMethodCall(
        QDBusConnection::sessionBus().baseService(), path, interface, member);
    message.setArguments(arguments);
    QDBusPendingCall pending = client.asyncCall(message, 20000);
    QDBusPendingCallWatcher watcher(pending);
    QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
    if (!watcher.isFinished())
        finished.wait(20000);
    return pending.reply();
}

// The value of a reply as busCall answers it.
inline QVariant variantOf(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage)
        return reply.errorName();
    QVariant value = automation::variantFromBus(reply.arguments().value(0), nullptr);
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (automation::holdsObject(value)) // Nothing
        return QStringLiteral("/");
    return value;
}

inline QVariant busCall(const QString &path, const QString &interface, const QString &member,
    const QVariantList &arguments = {})
{
    return variantOf(busMessage(path, interface, member, arguments));
}

inline QVariant busGet(const QString &path, const QString &interface, const QString &property)
{
    return busCall(path, Properties, QStringLiteral("Get"), { interface, property });
}

inline QVariant busSet(
    const QString &path, const QString &interface, const QString &property, const QVariant &value)
{
    return busCall(
        path, Properties, QStringLiteral("Set"), { interface, property, inVariant(value) });
}

inline bool nameHasOwner(const QString &name)
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

} // namespace busclient
