#pragma once
// For benchmarks that run the whole program in their own process: the program started in folders
// of a temporary directory (settings, data, program directory with the menu files of the build,
// home), with nobody to answer its questions (errors are printed and ignored, message boxes
// answer No); writing its set-up files; and waiting for a condition while the event loop runs.

#include "app/appglobals.h"
#include "app/errhndlr.h"
#include "app/msgbox.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "session/sessions.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <functional>

// Runs the event loop until done() or the time is up; false when the time ran out.
inline bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// A file of the benchmark's own (its set-up, not the program's data).
inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

inline void startProgramIn(const QTemporaryDir &dir)
{
    const auto path = [&](const char *name) { return dir.filePath(QLatin1String(name)); };
    const QString appDir = path("app") + u'/';
    for (const char *sub : { "config", "data", "app", "home" })
        QDir().mkpath(path(sub));
    qputenv("XDG_CONFIG_HOME", path("config").toUtf8());
    qputenv("XDG_DATA_HOME", path("data").toUtf8());
    qputenv("NORVALIS_APPDIR", appDir.toUtf8());
    qputenv("NVWIN", path("home").toUtf8());
    Nvmain::InstallDefaultFiles(appDir, { QStringLiteral(NORVALIS_BIN_DIR) + u'/' });
    ErrHndlr::Install();
    ErrHndlr::SetDialogHook([](const QString &report) {
        qWarning("%s", qPrintable(report));
        return rt::Int(2);
    });
    frmMsgBox::setAnswerHook([](const QString &, rt::Int) { return rt::Int(7); });
    Nvmain::SetArguments({});
    Nvmain::Main();
}

// Closes every session without questions and waits until they are gone.
inline void closeAllSessions()
{
    for (const SessionPtr &session : gApp->ClsSessions().NewEnum())
        session->Terminate(0);
    waitFor([] { return gApp->ClsSessions().Count() == 0 && !gCleanupPending; }, 60000);
}

// Runs the benchmarks that the command line selects.
inline void runBenchmarks(int &argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}

// Ends the program started by startProgramIn and waits until it has gone.
inline void endProgram()
{
    Nvmain::RequestShutdown(0);
    waitFor([] { return !gApp; }, 30000);
}
