#include "automation/remote.h"

#include "automation/buserror.h"
#include "automation/marshal.h"
#include "runtime/errnum.h"

#include <QDBusMessage>
#include <QDBusVariant>

namespace automation {

Remote::Remote(const QDBusConnection &connection, QString service, QString path, QString interface)
    : m_connection(connection)
    , m_service(std::move(service))
    , m_path(std::move(path))
    , m_interface(std::move(interface))
{ }

QVariantList Remote::send(
    const QString &interface, const QString &member, const QVariantList &arguments) const
{
    if (isNothing())
        rt::raise(rt::err::ObjectNotSet);
    QDBusMessage message = QDBusMessage::createMethodCall(m_service, m_path, interface, member);
    QVariantList busArguments;
    for (const QVariant &argument : arguments) {
        if (argument.metaType() == QMetaType::fromType<QDBusVariant>())
            busArguments << argument;
        else
            busArguments << contentToBus(argument, nullptr);
    }
    message.setArguments(busArguments);
    const QDBusMessage reply = m_connection.call(message, QDBus::Block, m_timeout);
    if (reply.type() != QDBusMessage::ReplyMessage)
        throw errorFromReply(reply);
    QVariantList results;
    for (const QVariant &value : reply.arguments())
        results << variantFromBus(value, nullptr);
    return results;
}

QVariant Remote::get(const QString &property) const
{
    return send(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
        { m_interface, property })
        .value(0);
}

void Remote::set(const QString &property, const QVariant &value) const
{
    send(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
        { m_interface, property, QVariant::fromValue(QDBusVariant(contentToBus(value, nullptr))) });
}

QVariant Remote::call(const QString &method, const QVariantList &arguments) const
{
    return callAll(method, arguments).value(0);
}

QVariantList Remote::callAll(const QString &method, const QVariantList &arguments) const
{
    return send(m_interface, method, arguments);
}

Remote Remote::object(const QVariant &reference, const QString &interface) const
{
    if (!reference.isValid() || (holdsObject(reference) && !objectOf(reference)))
        return Remote();
    if (reference.metaType() != QMetaType::fromType<QDBusObjectPath>())
        rt::raise(rt::err::TypeMismatch);
    return Remote(m_connection, m_service, reference.value<QDBusObjectPath>().path(), interface);
}

} // namespace automation
