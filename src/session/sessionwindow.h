#pragma once
// What the main window, the clean-up timer, the script bridge and the transfer and capture
// dialogs need of a session window (the form whose Tag is its session's key). A session window
// registers itself with its form while it lives, so a form is recognised as a session window by
// that registration alone.
//
// A transfer dialog hands its transfer over by filling the four xfr members and posting the
// window WM_STARTTRANSFER (wParam 1 upload, 2 download); the window starts it when the message
// arrives, after the dialog has gone.

#include "runtime/error.h"

#include <QList>
#include <QString>

namespace emu {
class nvEmulator;
}
namespace rt {
class Form;
}

// The message a transfer dialog posts after filling the xfr members: wParam 1 upload, 2 download.
constexpr rt::Long WM_STARTTRANSFER = 1830;

class SessionWindow
{
public:
    explicit SessionWindow(rt::Form *form);
    virtual ~SessionWindow();
    SessionWindow(const SessionWindow &) = delete;
    SessionWindow &operator=(const SessionWindow &) = delete;

    rt::Form &form() const { return *m_form; }

    // The transfer a dialog prepared: the directory, a NUL and the file names separated by NULs;
    // protocol (0 ASCII, 1 Kermit, 2 XModem, 3 YModem, 4 ZModem); mode (0 text, 1 binary);
    // overwrite (a download's 0 or 1, an upload's choice 0 to 5).
    QString xfrFileName;
    rt::Int xfrProtocol = 0;
    rt::Int xfrMode = 0;
    rt::Int xfrOverwrite = 0;

    // The window's terminal-emulator control (nullptr once it is gone).
    virtual emu::nvEmulator *ctlEmulator() const = 0;

    // Set once its session has accepted to close.
    virtual bool IsClosing() const = 0;
    // The pause state recorded for the window (applied when it becomes active again).
    virtual bool PauseState() const = 0;
    // Enables the Paste tool when the clipboard holds text.
    virtual void UpdatePasteTool() = 0;
    // The DDE topic set on the window.
    virtual QString LinkTopic() const = 0;
    // Runs a command of the window's menu that acts on its session; false when the command is
    // none of those (the main window runs it then).
    virtual bool SessionCommand(rt::Long command) = 0;

    // The session window of a form, or nullptr when the form is none.
    static SessionWindow *of(const rt::Form *form);
    // The loaded session window whose Tag is key, or nullptr.
    static SessionWindow *ofSession(const QString &key);
    // The session windows in the order they were made.
    static QList<SessionWindow *> all();

private:
    rt::Form *m_form;
};
