#pragma once
// Process-wide state of the running program: how it was started, the shutdown request and the
// clean-up work it leaves for the DDE form's timer, the session windows' activation state, and the
// application object's running-object registration. Start-up sets the first values.

#include "dde/ddetopic.h"
#include "runtime/error.h"
#include "runtime/timer.h"
#include "script/scripthost.h"
#include "session/orderedlist.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <memory>

// The application core's logging category ("norvalis.app"; debug lines are off unless
// QT_LOGGING_RULES turns them on).
Q_DECLARE_LOGGING_CATEGORY(lcApp)

// A debug line when a procedure that runs with errors suppressed skipped a failing step (the
// last error skipped).
inline void logSkippedStep(const rt::ResumeNext &quiet, const char *procedure)
{
    if (quiet.failed())
        qCDebug(lcApp).noquote() << procedure << "skipped a failing step:"
                                 << quiet.error().description;
}

// The main window's title when the settings give none.
QString ProductTitle();

// True when the user started the program, false when an automation client did.
extern bool gStandalone;
// Shutdown requested (by the application's Terminate, or by the clean-up timer when the last
// session has gone and AutoClose is on); a session that declines to close clears it again.
extern bool gTerminating;
// The prompt code the shutdown closes sessions with: bit 1 asks to save a changed session, bit 2
// asks to disconnect a connected one.
extern rt::Int gTerminatePrompt;
// Closed sessions await removal by the clean-up timer.
extern bool gCleanupPending;
// Ctrl+Tab cycling through the session windows is in progress (the activation list keeps its
// order until Ctrl is released).
extern bool gCtrlTabCycling;
// A session has been created during this run.
extern bool gSessionCreated;
// The application object's running-object registration; 0 when not registered.
extern rt::Long gROTCookie;
// Session numbers in window-activation order, most recent first (made at start-up).
extern std::unique_ptr<OrderedList> gActivationList;
// The script host (made at start-up, owned by the application).
extern QPointer<script::ScriptHost> gScriptHost;
// The DDE form's clean-up timer and SYSTEM topic: the form sets them when it loads. Shutdown
// requests and closed sessions enable the timer; it does the deferred work of closing.
extern QPointer<rt::Timer> gCleanupTimer;
extern QPointer<dde::Topic> gSystemTopic;

// The current layout file: set by loading a layout and by Save Layout As; "" at start.
extern QString gLayoutFile;

// The registry key of one per-user setting under the current user's root:
// Software\Dremo\Nvwin2k\<name> (the setting is the key's default value).
QString SettingsKey(const QString &name);

// The program's one object of class T (a form that lives as long as the program): made on first
// use, owned by the application.
template<class T> T &ProgramObject()
{
    static QPointer<T> object;
    if (!object)
        object = new T(QCoreApplication::instance());
    return *object;
}
