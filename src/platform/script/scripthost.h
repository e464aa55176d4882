#pragma once
// The script host: runs JavaScript (QJSEngine) with the program's automation objects as globals:
// `Norvalis`, the application object given to Initialize, and `Session`, the session a text or
// file runs for (null when it runs for none). `CommandLine` holds the program's command line text
// and `console.log` writes to the program's debug output. Scripts call the same adapters that
// D-Bus clients call (a member that returns an object gives the script the object itself); an
// error such a member raises reaches the script as an exception with `number` and `description`
// (automation/guard.h).
//
// Runs: synchronous (the call returns when the script has ended) or asynchronous (queued behind
// the events waiting now, run from the event loop). Runs may nest: a script that waits in an
// event loop lets other runs start. A failing run leaves its error: a synchronous call raises it,
// every run's end is announced by runFinished and remembered in lastError. Error numbers:
// - an error raised by an object the script called, and not caught, keeps its number and text;
// - `throw n` with a number: error n with the runtime's text for it; a thrown object that has a
//   numeric `number` property: that number, with its `description` (else `message`);
// - ErrSyntax (32001) for a script that does not parse; ErrScript (32002) for every other
//   JavaScript error (the engine's own text and line); ErrInterrupted (32003) for a run stopped
//   by Shutdown or the watchdog; ErrShutDown (32004) for a run asked for after Shutdown;
//   53 for a script file that does not exist.
//
// A script cannot hold the user interface forever: a watchdog (watchdog.h) interrupts the engine
// when the user-interface thread has not run its event loop for watchdogLimit ms (20 s by
// default: a D-Bus client that started the run, waiting with the bus's default 25 s timeout, gets
// the run's error rather than a time-out); Shutdown interrupts runs that are still active
// shutdownGrace ms (2 s by default) after its first call.

#include "runtime/error.h"

#include <QElapsedTimer>
#include <QJSEngine>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace script {

class Watchdog;

enum : rt::Long {
    ErrSyntax = 32001,
    ErrScript = 32002,
    ErrInterrupted = 32003,
    ErrShutDown = 32004,
};

class ScriptHost : public QObject
{
    Q_OBJECT

public:
    explicit ScriptHost(QObject *parent = nullptr);
    ~ScriptHost() override;

    // Once, from the application object: the program and home directories (where RunFile looks
    // for a file named without a directory), the command line, the main window (owner of the
    // host's dialogs; the reference is left as it is) and the application object.
    void Initialize(const QString &programDir, const QString &homeDir, const QString &commandLine,
        QWidget *&mainWindow, QObject *application);

    // Runs a script file: async -1 (any value but 0) queues the run, 0 runs it now; sessionNo is
    // the session it runs for (0: none). A name without a directory is looked for as given, then
    // in the home and in the program directory. The file becomes the layout script.
    void RunFile(const QString &fileName, rt::Int async, rt::Int sessionNo);
    // Runs a text: async and sessionNo as for RunFile. A synchronous run leaves the value of the
    // script's last statement in result; an asynchronous one leaves result unchanged.
    void RunText(const QString &text, rt::Int async, rt::Int sessionNo, QVariant &result);
    // The same; when the run is asynchronous, done learns how it ended (number 0 when it
    // succeeded; ErrShutDown when the host was shut down before the run could start).
    using Completion = std::function<void(const rt::Error &error)>;
    void RunText(
        const QString &text, rt::Int async, rt::Int sessionNo, QVariant &result, Completion done);
    // Stops the host: queued runs are dropped and no new run starts. Answers true (busy) while a
    // run is still active; call it again later (runs still active after the grace time are
    // interrupted).
    bool Shutdown();
    // which 0: the layout script, the file that RunFile ran last ("" when none). Other values
    // raise 5.
    void LayoutScript(rt::Int which, QString &fileName);
    // command 0 (Run Script...): asks the user for a script file (starting in directory, else the
    // home directory) and runs it asynchronously for no session; a failed run is shown to the
    // user. Other commands raise 5.
    void ToolCommand(rt::Int command, const QString &directory = QString());

    // How a session number becomes the `Session` object (the program's sessions collection).
    using SessionLookup = std::function<QObject *(rt::Int sessionNo)>;
    void setSessionLookup(SessionLookup lookup) { m_sessionLookup = std::move(lookup); }
    // The file question of ToolCommand (tests answer it); answers "" when cancelled.
    using FileChooser = std::function<QString(QWidget *owner, const QString &directory)>;
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    // How a failed run that the user started is shown (tests replace the message box).
    using UserReport = std::function<void(QWidget *owner, const rt::Error &error)>;
    void setUserReport(UserReport report) { m_reportToUser = std::move(report); }

    bool isBusy() const { return m_depth > 0; }
    const rt::Error &lastError() const { return m_lastError; }
    void setWatchdogLimit(int milliseconds);
    void setShutdownGrace(int milliseconds) { m_shutdownGrace = milliseconds; }
    QJSEngine &engine() { return m_engine; }

signals:
    // A run has ended: number 0 and an empty text when it succeeded.
    void runFinished(rt::Long number, const QString &description);

private:
    struct Job
    {
        QString program;
        QString fileName; // "" for a text
        rt::Int sessionNo = 0;
        bool fromUser = false;
        Completion done; // asynchronous runs: told how the run ended
    };

    void startFile(const QString &fileName, bool async, rt::Int sessionNo, bool fromUser);
    QJSValue run(const Job &job);
    void queue(const Job &job);
    void refuseAfterShutdown() const;
    QJSValue sessionObject(rt::Int sessionNo);
    QString findFile(const QString &fileName) const;
    rt::Error errorOf(const QJSValue &exception, const Job &job) const;
    void interrupt();

    QJSEngine m_engine;
    Watchdog *m_watchdog;
    QString m_programDir;
    QString m_homeDir;
    QPointer<QWidget> m_mainWindow;
    QString m_layoutScript;
    SessionLookup m_sessionLookup;
    FileChooser m_chooseFile;
    UserReport m_reportToUser;
    rt::Error m_lastError;
    int m_depth = 0;
    bool m_interrupted = false;
    bool m_shutDown = false;
    QElapsedTimer m_shutdownClock;
    int m_shutdownGrace = 2000;
};

} // namespace script
