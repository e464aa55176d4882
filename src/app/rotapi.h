#pragma once
// The running-object registration of the application object: the object answers automation
// clients under its class name (the bus name it owns) until the registration is revoked. The
// registration is weak: it does not keep the object or the process alive.

#include "runtime/error.h"

#include <QString>

class QObject;

namespace ROTAPI {

// Registers object under the class of progId and answers the registration's cookie; 0 on any
// failure (no object, no bus, or another process holds the registration).
rt::Long RegisterRunningObject(const QString &progId, QObject *object);
// Revokes the registration of cookie (an unknown cookie is ignored) and answers 0, which the
// caller stores back as its cookie.
rt::Long RevokeRunningObject(rt::Long cookie);

} // namespace ROTAPI
