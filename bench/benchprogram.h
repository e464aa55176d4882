#pragma once
// The running program for benchmarks: started in this process in temporary folders with the menu
// files of the build and nobody to answer its questions (errors and messages are logged), the
// event loop run until a condition holds, and the sessions closed again.

#include "app/appglobals.h"
#include "app/errhndlr.h"
#include "app/files.h"
#include "app/msgbox.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "session/sessions.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

namespace benchprogram {

inline QTemporaryDir *&folder()
{
    static QTemporaryDir *dir = nullptr;
    return dir;
}

// A file or folder in the benchmark's temporary folder.
inline QString dirPath(const QString &name)
{
    return folder()->filePath(name);
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

// Runs the event loop until done() or the time is up.
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

inline void closeAll()
{
    for (const SessionPtr &session : gApp->ClsSessions().NewEnum())
        session->Terminate(0);
    waitFor([] { return gApp->ClsSessions().Count() == 0 && !gCleanupPending; }, 60000);
}

// Starts the program's entry point with its folders in dir (which outlives the program).
inline void startProgram(QTemporaryDir &dir)
{
    folder() = &dir;
    const QString appDir = dirPath(QStringLiteral("app")) + u'/';
    for (const char *sub : { "config", "data", "app", "home" })
        QDir().mkpath(dirPath(QLatin1String(sub)));
    qputenv("XDG_CONFIG_HOME", dirPath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", dirPath(QStringLiteral("data")).toUtf8());
    qputenv("NORVALIS_APPDIR", appDir.toUtf8());
    qputenv("NVWIN", dirPath(QStringLiteral("home")).toUtf8());
    Nvmain::InstallDefaultFiles(appDir, { QStringLiteral(NORVALIS_BIN_DIR) + u'/' });
    ErrHndlr::Install();
    ErrHndlr::SetDialogHook([](const QString &report) {
        qWarning("%s", qPrintable(report));
        return rt::Int(2);
    });
    frmMsgBox::setAnswerHook([](const QString &prompt, rt::Int) {
        qWarning("message: %s", qPrintable(prompt));
        return rt::Int(7);
    });
    Nvmain::SetArguments({});
    Nvmain::Main();
}

// Ends the program and waits until it is gone.
inline void endProgram()
{
    Nvmain::RequestShutdown(0);
    waitFor([] { return !gApp; }, 30000);
}

} // namespace benchprogram
