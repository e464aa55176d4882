#pragma once
// The hosts whose scripts run without a question (session/scriptconsent.h), for automation
// clients: NVWin32.ScriptHosts at /ScriptHosts.
//   Allow(s host) -> b        remembers the host (as the answer "Always for this host" does)
//   Revoke(s host) -> b       forgets it; false when it was not allowed
//   IsAllowed(s host) -> b
//   Hosts() -> as             the hosts allowed
//   SessionHost(s id) -> s    the host of the link of the session with that ID; without a link
//                             up, the one its settings connect to (91 when there is no such
//                             session)
// Booleans travel as 16-bit integers (True -1). A change is written at once to the per-user
// settings store.

#include <QObject>
#include <QStringList>

class ScriptHostsIface : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.ScriptHosts")
    Q_CLASSINFO("D-Bus Path", "/ScriptHosts")

public:
    using QObject::QObject;

public slots:
    bool Allow(const QString &host);
    bool Revoke(const QString &host);
    bool IsAllowed(const QString &host);
    QStringList Hosts();
    QString SessionHost(const QString &id);
};
