#pragma once
// A client's view of an automation object in another process: calls go over the session bus
// synchronously (the calling thread waits; call no object of your own process this way), values
// travel as marshal.h says, and an error answer is raised as an rt::Error (buserror.h: a numbered
// error keeps its number and text, any other D-Bus error is 440).

#include "runtime/error.h"

#include <QDBusConnection>
#include <QString>
#include <QVariant>

namespace automation {

class Remote
{
public:
    // Nothing.
    Remote() = default;
    Remote(const QDBusConnection &connection, QString service, QString path, QString interface);

    bool isNothing() const { return m_path.isEmpty(); }
    const QString &service() const { return m_service; }
    const QString &path() const { return m_path; }
    const QString &interface() const { return m_interface; }

    // Received values are plain Variants: Empty, numbers (16-bit values stay 16-bit), texts, lists;
    // an object comes back as its QDBusObjectPath, Nothing as a null QObject pointer.
    QVariant get(const QString &property) const;
    void set(const QString &property, const QVariant &value) const;
    // The method's first result (Empty when it has none).
    QVariant call(const QString &method, const QVariantList &arguments = {}) const;
    // All results: the return value, then each by-reference argument.
    QVariantList callAll(const QString &method, const QVariantList &arguments = {}) const;

    // An object that a member of this one answered (a QDBusObjectPath), seen through interface;
    // Nothing for Nothing or Empty. Any other value raises 13.
    Remote object(const QVariant &reference, const QString &interface) const;

    // Milliseconds a call may take (-1: the bus default of 25 s).
    void setTimeout(int milliseconds) { m_timeout = milliseconds; }

private:
    QVariantList send(
        const QString &interface, const QString &member, const QVariantList &arguments) const;

    QDBusConnection m_connection { QString() };
    QString m_service;
    QString m_path;
    QString m_interface;
    int m_timeout = -1;
};

} // namespace automation
