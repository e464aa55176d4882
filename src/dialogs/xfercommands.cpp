// The transfer and capture dialogs come with their own forms; until then the commands open
// nothing.

#include "dialogs/xfercommands.h"

namespace XferCommands {

void ShowUpload(const SessionPtr &session)
{
    Q_UNUSED(session);
}

void ShowDownload(const SessionPtr &session)
{
    Q_UNUSED(session);
}

void ShowCapture(const SessionPtr &session, bool capturing, QWidget *owner)
{
    Q_UNUSED(session);
    Q_UNUSED(capturing);
    Q_UNUSED(owner);
}

} // namespace XferCommands
