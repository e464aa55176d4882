#pragma once
// An automation client of the program's host request server, for tests and benchmarks that run
// the program in their own process: a D-Bus connection of its own (its own unique bus name),
// asynchronous calls to the program's objects (a synchronous call to one's own process would
// deadlock), and a log of the Notify signals of every request object. Header-only.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QStringList>

class ServerClient : public QObject
{
    Q_OBJECT
public:
    struct Note
    {
        QString path;
        qint32 code;
    };

    // A client of the program whose own connection is the session bus connection of this
    // process.
    explicit ServerClient(const QString &name)
        : m_name(name)
        , m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name))
        , m_program(QDBusConnection::sessionBus().baseService())
    {
        m_bus.connect(QString(), QString(), QStringLiteral("NVWin32.Server"),
            QStringLiteral("Notify"), this, SLOT(notified(QDBusMessage)));
    }
    ~ServerClient() override { leave(); }

    // Closes the connection: the client leaves the bus.
    void leave()
    {
        if (m_left)
            return;
        m_left = true;
        m_bus.disconnect(QString(), QString(), QStringLiteral("NVWin32.Server"),
            QStringLiteral("Notify"), this, SLOT(notified(QDBusMessage)));
        // The connection closes with its last reference.
        m_bus = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(m_name);
    }
    QString uniqueName() const { return m_bus.baseService(); }
    const QList<Note> &notes() const { return m_notes; }

    QDBusPendingCall callAsync(const QString &path, const QString &interface,
        const QString &method, const QVariantList &arguments = {}) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(m_program, path, interface, method);
        call.setArguments(arguments);
        return m_bus.asyncCall(call, 60000);
    }
    // Runs the event loop until every call has its answer (or the time is up).
    static bool waitAll(const QList<QDBusPendingCall> &calls, int ms = 60000)
    {
        QElapsedTimer timer;
        timer.start();
        for (const QDBusPendingCall &call : calls) {
            while (!call.isFinished()) {
                if (timer.elapsed() > ms)
                    return false;
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            }
        }
        return true;
    }
    QDBusMessage call(const QString &path, const QString &interface, const QString &method,
        const QVariantList &arguments = {}) const
    {
        const QDBusPendingCall pending = callAsync(path, interface, method, arguments);
        waitAll({ pending });
        return QDBusPendingReply<>(pending).reply();
    }

    // Session.Server: the path of a new request object.
    QString server(const QString &sessionPath) const
    {
        return call(sessionPath, QStringLiteral("NVWin32._clsSession"), QStringLiteral("Server"))
            .arguments()
            .value(0)
            .value<QDBusObjectPath>()
            .path();
    }
    // Server.Request: -1 queued, 0 refused (the reply's error text otherwise).
    QVariant request(const QString &path, const QString &text) const
    {
        const QDBusMessage reply = call(
            path, QStringLiteral("NVWin32.Server"), QStringLiteral("Request"), { text });
        return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0)
                                                          : QVariant(reply.errorName());
    }
    QVariant get(const QString &path, const QString &property) const
    {
        const QDBusMessage reply = call(path, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"), { QStringLiteral("NVWin32.Server"), property });
        if (reply.type() != QDBusMessage::ReplyMessage)
            return QVariant(reply.errorName());
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

private slots:
    void notified(const QDBusMessage &message)
    {
        m_notes.append(Note { message.path(), message.arguments().value(0).toInt() });
    }

private:
    QString m_name;
    QDBusConnection m_bus;
    QString m_program;
    QList<Note> m_notes;
    bool m_left = false;
};
