#include "app/appglobals.h"
#include "app/files.h"
#include "app/mdiparnt.h"
#include "app/msgbox.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "app/posform.h"
#include "app/profile.h"
#include "app/splash.h"
#include "app/strfunc.h"
#include "automation/classfactory.h"
#include "automation/runningobject.h"
#include "emulator/emulator.h"
#include "interfaces/appiface.h"
#include "runtime/errnum.h"
#include "runtime/interaction.h"
#include "runtime/screen.h"
#include "runtime/storeslog.h"
#include "runtime/timer.h"
#include "runtime/values.h"
#include "runtime/wholefile.h"
#include "script/scripthost.h"
#include "session/dde.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTime>

namespace Nvmain {

namespace {

const QString kClassName = QStringLiteral("NVWin32.Norvalis");
// How long a call to the running instance may take before this start goes on by itself.
constexpr int HandOverTimeout = 10000;

struct StartState
{
    QString commandLine;
    bool handedOver = false;
    Clock clock;
    ProgramStarter starter;
};

StartState &state()
{
    static StartState s;
    return s;
}

bool startDetached(const QString &command)
{
    QStringList parts = QProcess::splitCommand(command);
    if (parts.isEmpty())
        return false;
    const QString program = parts.takeFirst();
    return QProcess::startDetached(program, parts);
}

// Copies an installed default file (a regular file, no larger than any of them can be) to target
// whole. A file that cannot be copied is left out: the program goes on without it.
void copyWhole(const QString &source, const QString &target)
{
    constexpr qint64 MaxDefaultFileBytes = 16 * 1024 * 1024;
    QFile file;
    QByteArray bytes;
    if (rt::openRegularFile(file, source) != rt::OpenStatus::Opened
        || !rt::readAtMost(file, MaxDefaultFileBytes, bytes)
        || !rt::writeWholeFile(target, bytes)) {
        qCDebug(lcStores) << "default file not copied (ignored):" << source << "to" << target;
    }
}

// The application object made by start-up or by an automation client (it puts itself on the
// bus).
QObject *createApplication()
{
    if (!gApp)
        new Norvalis(QCoreApplication::instance());
    return gApp ? gApp->AsNorvalis() : nullptr;
}

// The class factory at "/" makes the application object for a client that asks for it.
void publishClassFactory()
{
    automation::ClassFactory &factory = automation::ClassFactory::instance();
    factory.registerClass(kClassName, [] { return createApplication(); });
    // A client may make a session of its own: it is a session like any other, without a file
    // and not shown until the client shows it.
    factory.registerClass(QStringLiteral("NVWin32.clsSession"), []() -> QObject * {
        createApplication();
        return clsSession::create()->AutomationObject();
    });
    factory.publish(kClassName);
}

// The script host, with the sessions collection for a script's Session object.
void createScriptHost()
{
    auto *host = new script::ScriptHost(QCoreApplication::instance());
    host->setSessionLookup([](rt::Int sessionNo) -> QObject * {
        if (!gApp || sessionNo == 0)
            return nullptr;
        return gApp->ClsSessions().item(QString::number(sessionNo));
    });
    gScriptHost = host;
}

// Opens a session file named on the command line in a new session and puts it at the top of the
// recent-file list.
void openSessionFile(const QString &fileName)
{
    if (!gApp)
        rt::raise(rt::err::ObjectNotSet);
    const SessionPtr session
        = gApp->ClsSessions().Add(fileName, gApp->InitChildWindowState(), 0, 0);
    if (session)
        UpdateRecentFileList(fileName, false);
}

} // namespace

void SetArguments(const QStringList &arguments)
{
    const bool embedding = arguments.contains(QStringLiteral("-Embedding"), Qt::CaseInsensitive)
        || arguments.contains(QStringLiteral("/Embedding"), Qt::CaseInsensitive);
    gStandalone = !embedding;
    QString text;
    if (!arguments.isEmpty()) {
        const QString &file = arguments.first();
        text = file.contains(u' ') ? u'"' + file + u'"' : file;
        const QStringList rest = arguments.mid(1);
        if (!rest.isEmpty())
            text += u' ' + rest.join(u' ');
    }
    state().commandLine = text;
}

QString CommandLine()
{
    return state().commandLine;
}

QString CommandLineFileName(const QString &commandLine)
{
    if (commandLine.startsWith(u'"'))
        return Strfunc::Field(commandLine, QStringLiteral("\""), 2);
    return Strfunc::Field(commandLine, QStringLiteral(" "), 1);
}

void InstallDefaultFiles(const QString &programDir, const QStringList &sourceDirs)
{
    static const QStringList defaults = { QStringLiteral("NVWIN.INI"),
        QStringLiteral("dfltmain.mnu"), QStringLiteral("dfltsess.mnu"),
        QStringLiteral("stdmain.mnu"), QStringLiteral("stdsess.mnu") };
    if (!QDir().mkpath(programDir))
        return;
    for (const QString &name : defaults) {
        const QString target = Files::FindProgramFile(programDir, name);
        if (QFileInfo::exists(target))
            continue;
        for (const QString &dir : sourceDirs) {
            const QString source = Files::FindProgramFile(dir, name);
            if (QFileInfo(source).isFile()) {
                copyWhole(source, target);
                break;
            }
        }
    }
}

double Timer()
{
    if (state().clock)
        return state().clock();
    return float(QTime::currentTime().msecsSinceStartOfDay() / 1000.0);
}

void SetClock(Clock clock)
{
    state().clock = std::move(clock);
}

rt::Int SplashInterval(double startTime, double now)
{
    double elapsed = now - startTime;
    if (elapsed < 0)
        elapsed = 0; // midnight passed
    else if (elapsed > 3)
        elapsed = 3;
    return rt::CInt((4 - elapsed) * 1000);
}

bool StartProgram(const QString &command)
{
    if (state().starter)
        return state().starter(command);
    return startDetached(command);
}

void SetProgramStarter(ProgramStarter starter)
{
    state().starter = std::move(starter);
}

bool HandedOver()
{
    return state().handedOver;
}

void Main()
{
    rt::Proc h("nvmain", "Main");
    QString fileName;
    double startTime = 0;
    frmSplash *splash = nullptr;
    frmMdiParent &main = frmMdiParent::instance();
    state().handedOver = false;

    h([&] {
        gTerminating = false;
        gCleanupPending = false;
    });
    h([&] { Files::GetIniDir(); });
    h([&] { MigrateIniSettings(); });
    if (gStandalone) {
        h([&] { fileName = CommandLineFileName(CommandLine()); });
        h([&] {
            if (!fileName.isEmpty())
                fileName = Files::GetFilePath(fileName, QStringLiteral("nvcf"));
        });
        h([&] { state().handedOver = CheckSingleInstance(fileName); });
        if (state().handedOver)
            return;
        h([&] { startTime = Timer(); });
        h([&] { splash = frmSplash::ShowSplash(15); });
    }
    h([&] { rt::setMousePointer(rt::vbHourglass); });
    h([&] { gActivationList = std::make_unique<OrderedList>(); });
    h([&] { frmDDE::instance().load(); });
    h([&] { main.load(); });
    h([&] { createScriptHost(); });
    if (gStandalone) {
        h([&] { createApplication(); });
        h([&] { PosFormGet(main); });
        h([&] { main.show(); });
        h([&] {
            if (splash && splash->isLoaded())
                splash->widget()->raise();
        });
        h([&] { publishClassFactory(); });
    } else {
        h([&] { main.setWindowState(rt::vbMinimized); });
        h([&] { main.show(); });
        h([&] { publishClassFactory(); });
    }
    // The splash may have closed by its own timer meanwhile (a message held start-up): its timer is
    // gone with it.
    if (gStandalone && splash && splash->isLoaded()) {
        rt::ResumeNext quiet;
        quiet([&] {
            rt::Timer *timer = splash->Timer;
            timer->setEnabled(false);
            timer->setInterval(SplashInterval(startTime, Timer()));
            timer->setEnabled(true);
        });
    }
    if (!fileName.isEmpty()) {
        h([&] {
            switch (Files::GetFileType(fileName)) {
            case Files::KindSession:
                openSessionFile(fileName);
                break;
            case Files::KindLayout:
                LoadLayout(fileName);
                break;
            case Files::KindScript:
                rt::setMousePointer(rt::vbDefault);
                if (!gScriptHost)
                    rt::raise(rt::err::ObjectNotSet);
                gScriptHost->RunFile(fileName, -1, 0);
                break;
            default:
                break;
            }
        });
    }
    h([&] { rt::setMousePointer(rt::vbDefault); });
    h([&] {
        if (gStandalone && main.isVisible() && !gSessionCreated && gApp
            && gApp->Recent(0).isEmpty())
            OfferConnectionWizard();
    });
}

bool CheckSingleInstance(const QString &fileName)
{
    bool result = false;
    const bool singleInstance
        = rt::Val(Profile::GetRegString(
              Profile::HKCU, SettingsKey(QStringLiteral("SingleInstance")), QStringLiteral("1")))
        != 0;
    if (!singleInstance)
        return false;
    rt::ResumeNext quiet;
    automation::Remote app;
    quiet([&] { app = automation::runningObject(kClassName); });
    if (app.isNothing())
        return false;
    app.setTimeout(HandOverTimeout);
    quiet([&] {
        if (app.get(QStringLiteral("WindowState")).toInt() == rt::vbMinimized)
            app.set(QStringLiteral("WindowState"), QVariant::fromValue(rt::Int(rt::vbNormal)));
    });
    // An instance that does not take the activation (it is ending, or it does not answer) cannot
    // take the file either: this start then goes on by itself rather than lose the file.
    quiet([&] {
        app.call(QStringLiteral("Activate"));
        result = true;
    });
    if (result && !fileName.isEmpty() && Files::GetFileType(fileName) == Files::KindSession) {
        automation::Remote sessions;
        automation::Remote session;
        quiet([&] {
            sessions = app.object(
                app.get(QStringLiteral("Sessions")), QStringLiteral("NVWin32.Sessions"));
            sessions.setTimeout(HandOverTimeout);
        });
        quiet([&] {
            session = sessions.object(sessions.call(QStringLiteral("Add"), { fileName }),
                QStringLiteral("NVWin32._clsSession"));
            session.setTimeout(HandOverTimeout);
        });
        quiet([&] { session.call(QStringLiteral("Activate")); });
    }
    return result;
}

void OfferConnectionWizard()
{
    rt::ResumeNext quiet;
    QString command;
    quiet([&] {
        command = Profile::GetIniString(QStringLiteral("Connection"), QStringLiteral("Wizard32"),
            QString(), Files::FindProgramFile(gAppDir, QStringLiteral("NVWIN.INI")));
    });
    if (command.isEmpty())
        return;
    rt::Int answer = 0;
    quiet([&] {
        answer = MessageBox(
            QStringLiteral("Do you want to use the connection wizard to create a new session?"),
            MsgBox::YesNo | MsgBox::Question);
    });
    if (answer != MsgBox::Yes)
        return;
    quiet([&] { StartProgram(command); });
}

void RequestShutdown(rt::Int prompt)
{
    if (gApp) {
        gApp->Terminate(prompt);
        return;
    }
    gTerminatePrompt = prompt;
    gTerminating = true;
    if (gCleanupTimer)
        gCleanupTimer->setEnabled(true);
    rt::cancelModalWindows();
}

void EndOnSignal()
{
    rt::ResumeNext quiet;
    if (gApp) {
        for (const SessionPtr &each : gApp->ClsSessions().NewEnum()) {
            const auto session = std::static_pointer_cast<clsSession>(each);
            quiet([&] {
                if (emu::nvEmulator *emulator = session->Emulator())
                    emulator->Abort();
            });
        }
    }
    quiet([&] { RequestShutdown(0); });
}

void FileExit()
{
    rt::ResumeNext quiet;
    quiet([&] { RequestShutdown(3); });
}

} // namespace Nvmain
