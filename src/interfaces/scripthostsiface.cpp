#include "interfaces/scripthostsiface.h"

#include "app/norvalis.h"
#include "automation/guard.h"
#include "runtime/errnum.h"
#include "session/scriptconsent.h"
#include "session/sessionwindow.h"
#include "session/sessions.h"

bool ScriptHostsIface::Allow(const QString &host)
{
    return automation::guard([&] { return ScriptConsent::Allow(host); });
}

bool ScriptHostsIface::Revoke(const QString &host)
{
    return automation::guard([&] { return ScriptConsent::Revoke(host); });
}

bool ScriptHostsIface::IsAllowed(const QString &host)
{
    return automation::guard([&] { return ScriptConsent::IsAllowed(host); });
}

QStringList ScriptHostsIface::Hosts()
{
    return automation::guard([] { return ScriptConsent::AllowedHosts(); });
}

QString ScriptHostsIface::SessionHost(const QString &id)
{
    return automation::guard([&] {
        const SessionPtr session = gApp ? gApp->ClsSessions().clsItem(QVariant(id)) : nullptr;
        if (!session)
            rt::raise(rt::err::ObjectNotSet);
        // The host of the link that is up; before it is, the one the settings will connect to.
        const SessionWindow *window = session->Window();
        const emu::nvEmulator *emulator = window ? window->ctlEmulator() : nullptr;
        const QString live = emulator ? ScriptConsent::LinkHostOf(*emulator) : QString();
        return !live.isEmpty() && live != QLatin1String("none")
            ? live
            : ScriptConsent::HostOf(session->EmulatorSettings());
    });
}
