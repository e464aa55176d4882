#pragma once
// The environment of the start-up tests: temporary XDG folders and a temporary program directory
// that holds the built menu files, so that nothing touches the user's own settings; and the
// program started in-process by its entry point and shut down again through its clean-up timer.

#include "app/appglobals.h"
#include "app/errhndlr.h"
#include "app/files.h"
#include "app/mdiparnt.h"
#include "app/msgbox.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "common/testutil.h"
#include "session/dde.h"
#include "session/tst_sessions_fakes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class StartupEnvironment
{
public:
    ~StartupEnvironment()
    {
        m_bus.terminate();
        m_bus.waitForFinished();
    }

    // Starts a session bus of the test's own (tests that run side by side must not meet on the
    // program's bus name; the program's processes that a test starts use it too), points the XDG
    // folders and the program directory into a temporary folder and puts the menu files of the
    // build there. Call it before anything uses the bus.
    void setUp()
    {
        m_bus.start(QStringLiteral("dbus-daemon"),
            { QStringLiteral("--session"), QStringLiteral("--nofork"),
                QStringLiteral("--print-address") });
        QVERIFY(m_bus.waitForReadyRead(10000));
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());
        QVERIFY(m_dir.isValid());
        for (const char *sub : { "config", "data", "machine", "app", "home" })
            QVERIFY(QDir().mkpath(path(sub)));
        qputenv("XDG_CONFIG_HOME", path("config").toUtf8());
        qputenv("XDG_DATA_HOME", path("data").toUtf8());
        qputenv("XDG_CONFIG_DIRS", path("machine").toUtf8());
        qputenv("NORVALIS_APPDIR", appDir().toUtf8());
        qputenv("NVWIN", path("home").toUtf8());
        Nvmain::InstallDefaultFiles(appDir(), { binDir() });
        QVERIFY2(QFile::exists(appDir() + QStringLiteral("dfltmain.mnu")),
            "the menu files of the build are missing (NORVALIS_BIN_DIR)");
        Files::GetIniDir();
    }

    QString path(const char *sub) const { return m_dir.filePath(QLatin1String(sub)); }
    QString appDir() const { return path("app") + u'/'; }
    QString homeDir() const { return path("home"); }
    static QString binDir() { return qEnvironmentVariable("NORVALIS_BIN_DIR") + u'/'; }
    static QString executable() { return binDir() + QStringLiteral("norvalis"); }

private:
    QProcess m_bus;
    QTemporaryDir m_dir;
};

// Answers the error dialog (noting each report in errors) and every message box (with No)
// without windows, and keeps the test runner alive when the program ends.
inline void installTestHooks(QStringList &errors)
{
    ErrHndlr::Install();
    ErrHndlr::SetDialogHook([&errors](const QString &report) {
        errors.append(report);
        return rt::Int(2);
    });
    frmMsgBox::setAnswerHook([](const QString &, rt::Int) { return rt::Int(7); });
    QCoreApplication::setQuitLockEnabled(false);
}

// Runs the program's entry point in this process with arguments; the clock is left as the test
// set it. The program is ended again by endProgram.
inline void startProgram(const QStringList &arguments)
{
    Nvmain::SetArguments(arguments);
    Nvmain::Main();
}

// Requests shutdown and waits until the clean-up timer has unloaded the last form.
inline void endProgram()
{
    if (!frmDDE::instance().isLoaded())
        return;
    QSignalSpy ended(&frmDDE::instance(), &frmDDE::ended);
    Nvmain::RequestShutdown(0);
    QVERIFY(ended.wait(10000));
    QVERIFY(!gApp);
    QVERIFY(!frmDDE::instance().isLoaded());
}

// A stand-in for a session window until the real one exists: enough for the main window's and
// the clean-up timer's dealings with it (the session's stand-in is FakeSession).
class FakeSessionWindow : public rt::MdiChildForm, public SessionWindow
{
public:
    FakeSessionWindow(const QString &key, const QString &topic, rt::MdiForm *frame)
        : rt::MdiChildForm(QStringLiteral("frmMdiChild"), frame)
        , SessionWindow(this)
        , m_topic(topic)
    {
        Tag = key;
    }
    bool IsClosing() const override { return closing; }
    bool PauseState() const override { return paused; }
    void UpdatePasteTool() override { ++pasteToolUpdates; }
    QString LinkTopic() const override { return m_topic; }
    emu::nvEmulator *ctlEmulator() const override { return nullptr; }
    bool SessionCommand(rt::Long command) override
    {
        commands << command;
        return true;
    }

    bool closing = false;
    bool paused = false;
    bool refuseUnload = false;
    int pasteToolUpdates = 0;
    QList<rt::Long> commands;

protected:
    QWidget *createWidgets() override { return new QWidget; }
    void Form_QueryUnload(rt::Int &cancel, rt::Int unloadMode) override
    {
        Q_UNUSED(unloadMode);
        if (refuseUnload)
            cancel = 1;
    }

private:
    QString m_topic;
};
