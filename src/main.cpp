// Norvalis: a desktop terminal application and automation server.
//
//   norvalis [FILE [TEXT...]]   FILE: a session file, a layout file or a script to open; the
//                               further arguments are the command line text scripts see.
//   norvalis -Embedding         started by an automation client (D-Bus activation): the main
//                               window stays minimized and the application object is made when
//                               the client asks the class factory at "/" for it.

#include "app/errhndlr.h"
#include "app/files.h"
#include "app/nvmain.h"
#include "runtime/endsignals.h"
#include "session/dde.h"

#include <QApplication>
#include <QDir>

#ifndef NORVALIS_VERSION
#define NORVALIS_VERSION "0.1.0"
#endif

namespace {

// An installed program keeps its default files beside the executable or in ../share/norvalis;
// a program directory elsewhere (the user's data folder) gets copies at its first start.
void setUpProgramDirectory()
{
    const QString programDir = Files::ProgramDir();
    const QString exeDir = QDir(QCoreApplication::applicationDirPath()).absolutePath() + u'/';
    if (QDir(programDir) == QDir(exeDir))
        return;
    Nvmain::InstallDefaultFiles(programDir,
        { exeDir, QDir::cleanPath(exeDir + QStringLiteral("../share/norvalis")) + u'/' });
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvalis"));
    QApplication::setApplicationVersion(QStringLiteral(NORVALIS_VERSION));
    // Hidden forms and a minimized or hidden main window must not end the program: it ends when
    // the clean-up timer has unloaded the last form.
    QApplication::setQuitOnLastWindowClosed(false);
    // A shutdown can also end while start-up still runs (in an event loop of its own, before
    // exec() runs): there is then no loop to leave.
    bool ended = false;
    QObject::connect(&frmDDE::instance(), &frmDDE::ended, &app, [&ended] { ended = true; });
    QObject::connect(
        &frmDDE::instance(), &frmDDE::ended, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    ErrHndlr::Install();
    // Asked to end by a signal (kill, Ctrl+C, the terminal gone): transfers and waits end, then
    // the program ends as a client's Terminate without a prompt ends it, its stores written.
    rt::onEndSignals([](int) { Nvmain::EndOnSignal(); });
    Nvmain::SetArguments(QApplication::arguments().mid(1));
    setUpProgramDirectory();
    Nvmain::Main();
    if (Nvmain::HandedOver() || ended)
        return 0;
    return app.exec();
}
