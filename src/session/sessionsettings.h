#pragma once
// SessionSettings: a session's own settings, the keys it keeps in its session file beside the
// emulator's settings. The session reads and writes its own keys through it, the settings
// dialog is opened on it, and clients reach it as NVWin32.SessionSettings. A session implements
// it (clsSession::AsSessionSettings); each setter does what the session's own property does (a
// different value marks the session changed; the title re-titles the window, the icon is
// applied, the menu file and the mouse table are loaded) and raises the session's error when
// that fails. Booleans are 16-bit: True -1, False 0.

#include "runtime/errnum.h"
#include "runtime/error.h"

#include <QString>

class SessionSettings
{
public:
    virtual ~SessionSettings() = default;

    // Nothing to apply: every setting takes effect as it is set.
    void Apply() { }
    // The session menu file ("" for the default menu).
    virtual QString Menu() const = 0;
    virtual void setMenu(const QString &fileName) = 0;
    // The window title the user gave ("" for the session's own).
    virtual QString Caption() const = 0;
    virtual void setCaption(const QString &caption) = 0;
    // A picture file for the window's icon ("" for the program's).
    virtual QString Icon() const = 0;
    virtual void setIcon(const QString &fileName) = 0;
    // Show communication errors in a message.
    virtual rt::Int ShowErrs() const = 0;
    virtual void setShowErrs(rt::Int on) = 0;
    // Close the session when the host disconnects.
    virtual rt::Int AutoClose() const = 0;
    virtual void setAutoClose(rt::Int on) = 0;
    // Not kept by a session: both accessors raise rt::err::NotImplemented and store nothing.
    QString Script() const { notImplemented(); }
    void setScript(const QString &) { notImplemented(); }
    // The mouse-table file in force ("" for none). A different name is loaded first; only a
    // table that loaded becomes the session's (and marks it changed).
    virtual QString MouseTable() const = 0;
    virtual void setMouseTable(const QString &fileName) = 0;
    // Not kept by a session, as Script.
    QString MousePatterns() const { notImplemented(); }
    void setMousePatterns(const QString &) { notImplemented(); }

private:
    [[noreturn]] static void notImplemented() { rt::raise(rt::err::NotImplemented); }
};
