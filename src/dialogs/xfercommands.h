#pragma once
// The session commands that open the transfer and capture dialogs (Transfer menu: Upload File,
// Download File, Capture), as the session window that owns the menu runs them. The window has
// already made the checks of its emulator: no upload or download dialog while a transfer runs,
// and the end-capture dialog in place of the start-capture one while a capture runs.

#include "session/sessionbase.h"

class QWidget;

namespace XferCommands {

// Command 601: the upload dialog for session, modeless.
void ShowUpload(const SessionPtr &session);
// Command 602: the download dialog for session, modeless.
void ShowDownload(const SessionPtr &session);
// Command 603: the end-capture dialog when capturing, else the start-capture dialog; modal over
// owner (the main window).
void ShowCapture(const SessionPtr &session, bool capturing, QWidget *owner);

} // namespace XferCommands
