#pragma once
// What the main window, the clean-up timer and the script bridge need of a session window (the
// form whose Tag is its session's key). A session window registers itself with its form while
// it lives, so a form is recognised as a session window by that registration alone.

#include "runtime/error.h"

#include <QList>
#include <QString>

namespace rt {
class Form;
}

class SessionWindow
{
public:
    explicit SessionWindow(rt::Form *form);
    virtual ~SessionWindow();
    SessionWindow(const SessionWindow &) = delete;
    SessionWindow &operator=(const SessionWindow &) = delete;

    rt::Form &form() const { return *m_form; }

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
