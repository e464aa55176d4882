#pragma once
// The running-object registration over the session bus. A class name such as "NVWin32.Norvalis"
// is both the bus name that the registered instance owns and the interface its object answers;
// the object lives at "/" and the class name's last element ("/Norvalis").
// - Registering exports the object there (automation::Bridge) and takes the bus name (refused
//   when another process owns it). Owning a name does not keep the process alive.
// - Revoking releases the name; the object stays on the bus for the clients that hold it.
// - The lookup finds the registered instance of another process: the name's owner, if it is not
//   this process and answers the interface at the object's path.

#include "automation/remote.h"
#include "runtime/error.h"

class QObject;

namespace automation {

QString objectPathOf(const QString &className);

// Takes a well-known bus name for this process (already owning it counts); false when another
// process owns it or there is no bus. releaseBusName gives it back.
bool ownBusName(const QString &name);
void releaseBusName(const QString &name);
// The unique name of the process that owns a bus name, "" when nobody does (or no bus).
QString busNameOwner(const QString &name);

// The registration's cookie (not 0), or 0 when it failed.
rt::Long registerRunningObject(const QString &className, QObject *object);
// Always answers 0, which the caller stores back as its cookie; unknown cookies are ignored.
rt::Long revokeRunningObject(rt::Long cookie);

// The running instance of className in another process, or Nothing.
Remote runningObject(const QString &className);

} // namespace automation
