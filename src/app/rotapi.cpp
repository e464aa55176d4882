#include "app/rotapi.h"

#include "automation/runningobject.h"

namespace ROTAPI {

rt::Long RegisterRunningObject(const QString &progId, QObject *object)
{
    rt::Long cookie = 0;
    rt::ResumeNext silently;
    silently([&] { cookie = automation::registerRunningObject(progId, object); });
    return cookie;
}

rt::Long RevokeRunningObject(rt::Long cookie)
{
    rt::ResumeNext silently;
    silently([&] { automation::revokeRunningObject(cookie); });
    return 0;
}

} // namespace ROTAPI
