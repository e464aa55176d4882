#pragma once
// What the settings dialog needs of a session's own settings: the keys the session keeps in its
// session file beside the emulator's settings. The session implements it; each setter does what
// the session's own property does (a different value marks the session changed; the title
// re-titles the window, the icon is applied, the menu file and the mouse table are loaded) and
// raises the session's error when that fails. Booleans are 16-bit: True -1, False 0.

#include "runtime/error.h"

#include <QString>

class SessionSettings
{
public:
    virtual ~SessionSettings() = default;

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
    // The mouse-table file in force ("" for none).
    virtual QString MouseTable() const = 0;
    virtual void setMouseTable(const QString &fileName) = 0;
};
