#include "interfaces/serveriface.h"

#include "automation/bridge.h"
#include "automation/log.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QPointer>

// ---- The adapter ----

ServerIface::ServerIface(ServerPtr server, ServerObjects &objects)
    : m_server(std::move(server))
    , m_objects(objects)
{
    connect(m_server.get(), &clsServer::Notify, this, &ServerIface::Notify);
}

// Runs a member for the current caller, who counts as holding the object from now on.
template<class F> auto ServerIface::forward(F &&body) const
{
    return automation::guard([&] {
        m_objects.touch(const_cast<ServerIface &>(*this));
        return body(*m_server);
    });
}

rt::Long ServerIface::ErrNum() const
{
    return forward([](clsServer &s) { return s.ErrNum(); });
}

QString ServerIface::ErrMsg() const
{
    return forward([](clsServer &s) { return s.ErrMsg(); });
}

QString ServerIface::Result() const
{
    return forward([](clsServer &s) { return s.Result(); });
}

QString ServerIface::Description() const
{
    return forward([](clsServer &s) { return s.Description(); });
}

rt::Int ServerIface::State() const
{
    return forward([](clsServer &s) { return s.State(); });
}

bool ServerIface::Request(const QString &text)
{
    return forward([&](clsServer &s) { return s.SubmitRequest(text); });
}

// ---- Who holds the objects ----

ServerObjects &ServerObjects::instance()
{
    static QPointer<ServerObjects> objects;
    if (!objects)
        objects = new ServerObjects(QCoreApplication::instance());
    return *objects;
}

ServerObjects::ServerObjects(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
    connect(&m_sweep, &QTimer::timeout, this, &ServerObjects::collect);
}

ServerObjects::~ServerObjects()
{
    const QSet<ServerIface *> objects = std::exchange(m_objects, {});
    qDeleteAll(objects);
}

QObject *ServerObjects::handOut(const ServerPtr &server)
{
    auto *object = new ServerIface(server, *this);
    object->setParent(this);
    m_objects.insert(object);
    touch(*object);
    // A completion is a use, and may be the last thing the object waited for.
    connect(server.get(), &clsServer::Notify, object, [this, object] {
        object->m_lastUse = m_clock.elapsed();
        if (releasable(*object, object->m_lastUse))
            release(object);
    });
    const QString path = QStringLiteral("/Servers/") + QString::number(server->ID());
    if (!automation::Bridge::instance().exportObject(object, path))
        qCDebug(automation::lcAutomation) << "request object not on the bus at" << path;
    restartSweep();
    return object;
}

void ServerObjects::touch(ServerIface &object)
{
    object.m_lastUse = m_clock.elapsed();
    const QString client = automation::currentCaller() == automation::Caller::Bus
        ? automation::currentClient()
        : QString();
    if (client.isEmpty())
        object.m_heldHere = true;
    else
        addHolder(object, client);
}

void ServerObjects::addHolder(ServerIface &object, const QString &client)
{
    if (object.m_holders.contains(client))
        return;
    object.m_holders.append(client);
    const QDBusConnection bus = automation::Bridge::instance().connection();
    if (!m_watcher) {
        m_watcher = new QDBusServiceWatcher(
            QString(), bus, QDBusServiceWatcher::WatchForUnregistration, this);
        connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &ServerObjects::holderLeft);
    }
    if (m_watcher->watchedServices().contains(client))
        return;
    m_watcher->addWatchedService(client);
    // A client that left before the watch began would never be heard leaving: ask once.
    if (!bus.interface())
        return;
    auto *call = new QDBusPendingCallWatcher(
        bus.interface()->asyncCall(QStringLiteral("NameHasOwner"), client), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, call, client] {
        call->deleteLater();
        const QDBusPendingReply<bool> reply = *call;
        if (reply.isValid() && !reply.value())
            holderLeft(client);
    });
}

void ServerObjects::holderLeft(const QString &client)
{
    if (m_watcher)
        m_watcher->removeWatchedService(client);
    const qint64 now = m_clock.elapsed();
    const QSet<ServerIface *> objects = m_objects;
    for (ServerIface *object : objects) {
        if (object->m_holders.removeOne(client) && releasable(*object, now))
            release(object);
    }
}

bool ServerObjects::releasable(const ServerIface &object, qint64 now) const
{
    const rt::Int state = object.m_server->RawState();
    if (state == serverstate::Queued || state == serverstate::Running)
        return false;
    const bool held = object.m_heldHere || !object.m_holders.isEmpty();
    return now - object.m_lastUse >= (held ? m_idleMs : m_graceMs);
}

void ServerObjects::release(ServerIface *object)
{
    if (!m_objects.remove(object))
        return;
    // Off the bus at once; the adapter itself may be inside one of its own signals.
    automation::Bridge::instance().unexportObject(object);
    object->deleteLater();
    if (m_objects.isEmpty())
        m_sweep.stop();
}

void ServerObjects::collect()
{
    const qint64 now = m_clock.elapsed();
    const QSet<ServerIface *> objects = m_objects;
    for (ServerIface *object : objects) {
        if (releasable(*object, now))
            release(object);
    }
}

void ServerObjects::setTimes(int graceMs, int idleMs)
{
    m_graceMs = graceMs;
    m_idleMs = idleMs;
    restartSweep();
    collect();
}

// The sweep looks often enough to keep each time within half of it.
void ServerObjects::restartSweep()
{
    const int interval = std::clamp(std::min(m_graceMs, m_idleMs) / 2, 50, 15000);
    if (m_sweep.interval() != interval || !m_sweep.isActive())
        m_sweep.start(interval);
}
