#pragma once
// The Server interface of a request object (session/server.h) as D-Bus clients and scripts see
// it: NVWin32.Server at /Servers/<ID>, in its published order ErrNum, ErrMsg, Result, Description,
// Request(text) -> Boolean, State, and the event Notify(Code) as a signal from that path.
//
// D-Bus has no reference counts, so the program decides when a client has let go of a request
// object (ServerObjects). Its holders are the bus clients that obtained it (Session.Server) or
// called one of its members since; a script or the program itself holds it until it is idle. An
// object leaves the bus (and releases the request) once nothing is pending on it and
// - no holder is on the bus any more and it has been idle for the grace time (30 s; a client
//   that runs one command per call, such as gdbus, can go on using it meanwhile), or
// - it has been idle for the idle time (10 minutes) whoever holds it, so that a long-running
//   client that takes a new object for every request does not pile them up.
// Idle means no member called and no completion. A queued or running request keeps its object
// on the bus until it completes, whoever has left.

#include "automation/guard.h"
#include "session/server.h"

#include <QElapsedTimer>
#include <QSet>
#include <QObject>
#include <QStringList>
#include <QTimer>

class QDBusServiceWatcher;
class ServerObjects;

// NVWin32.Server
class ServerIface : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.Server")
    Q_PROPERTY(rt::Long ErrNum READ ErrNum)
    Q_PROPERTY(QString ErrMsg READ ErrMsg)
    Q_PROPERTY(QString Result READ Result)
    Q_PROPERTY(QString Description READ Description)
    Q_PROPERTY(rt::Int State READ State)

public:
    ServerIface(ServerPtr server, ServerObjects &objects);

    const ServerPtr &server() const { return m_server; }

    rt::Long ErrNum() const;
    QString ErrMsg() const;
    QString Result() const;
    QString Description() const;
    rt::Int State() const;

public slots:
    bool Request(const QString &text);

signals:
    void Notify(rt::Long Code);

private:
    friend class ServerObjects;
    template<class F> auto forward(F &&body) const;

    ServerPtr m_server;
    ServerObjects &m_objects;
    QStringList m_holders; // bus clients
    bool m_heldHere = false; // by a script or the program
    qint64 m_lastUse = 0; // ms on the registry's clock
};

class ServerObjects : public QObject
{
    Q_OBJECT
public:
    static ServerObjects &instance();
    explicit ServerObjects(QObject *parent = nullptr);
    ~ServerObjects() override;

    // The request object as the caller of the member running now gets it: its adapter, held by
    // that caller and on the bus at /Servers/<ID> (when there is a bus).
    QObject *handOut(const ServerPtr &server);
    // A member of the object was called (by the current caller).
    void touch(ServerIface &object);

    // Objects handed out and not yet released.
    qsizetype Count() const { return m_objects.size(); }
    // The grace and idle times in milliseconds (30 s and 10 min by default).
    void setTimes(int graceMs, int idleMs);
    // Releases every object that the rule lets go now.
    void collect();

private:
    void addHolder(ServerIface &object, const QString &client);
    void holderLeft(const QString &client);
    bool releasable(const ServerIface &object, qint64 now) const;
    void release(ServerIface *object);
    void restartSweep();

    QSet<ServerIface *> m_objects;
    QDBusServiceWatcher *m_watcher = nullptr;
    QElapsedTimer m_clock;
    QTimer m_sweep;
    int m_graceMs = 30 * 1000;
    int m_idleMs = 10 * 60 * 1000;
};
