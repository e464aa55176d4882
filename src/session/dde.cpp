#include "session/dde.h"

#include "app/appglobals.h"
#include "app/common.h"
#include "app/mainwindow.h"
#include "session/sessionwindow.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "app/rotapi.h"
#include "interfaces/scripthostsiface.h"
#include "automation/bridge.h"
#include "automation/log.h"
#include "dde/ddeserver.h"
#include "dde/ddetopic.h"
#include "runtime/timer.h"
#include "script/scripthost.h"
#include "session/sessions.h"

#include <QWidget>

namespace {

// The list of hosts allowed to run scripts goes on the bus beside the DDE topics; without a bus
// it stays off.
void publishScriptHosts()
{
    rt::ResumeNext quiet;
    quiet([] { automation::Bridge::instance().pathOf(&ProgramObject<ScriptHostsIface>()); });
    if (quiet.failed())
        qCDebug(automation::lcAutomation)
            << "the script hosts stay off the bus:" << quiet.error().description;
}

constexpr rt::Long CleanupInterval = 100;
constexpr rt::Long ErrInvalidCommand = 285;

const QString kSysItems = QStringLiteral("SYSITEMS");
const QString kTopics = QStringLiteral("TOPICS");
const QString kResult = QStringLiteral("RESULT");
const QString kErrNum = QStringLiteral("ERRNUM");
const QString kErrMsg = QStringLiteral("ERRMSG");
const QString kBusy = QStringLiteral("BUSY");

// The items the program keeps itself: a client's poke may set only the others (Result).
const QStringList kKeptItems { kSysItems, kTopics, kErrNum, kErrMsg, kBusy };

bool clientMaySet(const QString &item)
{
    return !kKeptItems.contains(item, Qt::CaseInsensitive);
}

bool isClosing(const SessionPtr &session)
{
    return session && session->Closing();
}

// The main window while it is loaded, else nullptr.
MainWindow *loadedMainWindow()
{
    MainWindow *main = TheMainWindow();
    return main && main->form().isLoaded() ? main : nullptr;
}

} // namespace

frmDDE::frmDDE(QObject *parent)
    : rt::Form(QStringLiteral("frmDDE"), parent)
{ }

frmDDE &frmDDE::instance()
{
    return ProgramObject<frmDDE>();
}

QString frmDDE::SysItems()
{
    return QStringList { kSysItems, kTopics, kResult, kErrNum, kErrMsg, kBusy }.join(u'\t');
}

QWidget *frmDDE::createWidgets()
{
    auto *window = new QWidget;
    window->setWindowTitle(QStringLiteral("DDE"));
    CleanupTimer = new rt::Timer(window);
    CleanupTimer->setEnabled(false);
    CleanupTimer->setInterval(CleanupInterval);
    // The timer's tick is an event boundary already.
    connect(CleanupTimer, &rt::Timer::tick, this, &frmDDE::CleanupTimer_Timer);
    SystemTopic = new dde::Topic(QStringLiteral("SYSTEM"), window);
    return window;
}

void frmDDE::Form_Load()
{
    rt::Proc h("dde", "Form_Load");
    h([&] {
        SystemTopic->setItem(kSysItems, SysItems());
        SystemTopic->setItem(kTopics, QStringLiteral("SYSTEM"));
        SystemTopic->setItem(kResult, QString());
        SystemTopic->setItem(kErrNum, QStringLiteral("0"));
        SystemTopic->setItem(kErrMsg, QString());
        SystemTopic->setItem(kBusy, QStringLiteral("0"));
    });
    h([&] {
        SystemTopic->setExecuteHandler(
            [this](const QString &command) { return Form_LinkExecute(command); });
        SystemTopic->setPokeHandler(
            [](const QString &item, const QString &) { return clientMaySet(item); });
        dde::Server &server = dde::Server::instance();
        server.addTopic(SystemTopic);
        server.publish();
        publishScriptHosts();
    });
    gSystemTopic = SystemTopic;
    gCleanupTimer = CleanupTimer;
}

void frmDDE::Form_Unload(rt::Int &cancel)
{
    Q_UNUSED(cancel);
    rt::ResumeNext quiet;
    quiet([&] { dde::Server::instance().removeTopic(SystemTopic); });
}

bool frmDDE::Form_LinkExecute(const QString &command)
{
    bool accepted = false;
    rt::Proc h("dde", "Form_LinkExecute");
    h([&] {
        if (!command.startsWith(u'[')) {
            SystemTopic->setItem(kErrNum, QString::number(ErrInvalidCommand));
            SystemTopic->setItem(kErrMsg, QStringLiteral("Invaid command"));
            return;
        }
        rt::Long errNum = 0;
        QString errMsg;
        accepted = Nvmain::DDEExecScript(command, QString(), errNum, errMsg);
        SystemTopic->setItem(kErrNum, QString::number(errNum));
        SystemTopic->setItem(kErrMsg, errMsg);
    });
    return accepted;
}

void frmDDE::CleanupTimer_Timer()
{
    rt::Proc h("dde", "CleanupTimer_Timer");
    if (gCleanupPending)
        h([&] { removeClosedSessions(); });
    if (gTerminating) {
        h([&] {
            if (MainWindow *main = loadedMainWindow())
                main->form().unload(rt::vbFormCode);
        });
    }
    if (gTerminating) {
        bool goOn = false;
        h([&] { goOn = finishShutdown(); });
        if (!goOn)
            return;
    }
    if (gTerminating)
        unloadOtherForms();
    h([&] { end(); });
}

// Pass 1: a closing session is removed, then the walk starts again, until a walk finds none.
void frmDDE::removeClosedSessions()
{
    if (gApp) {
        clsSessions &sessions = gApp->ClsSessions();
        bool removed = true;
        while (removed) {
            removed = false;
            for (rt::Long position = 0; position < sessions.Count(); ++position) {
                if (isClosing(sessions.clsItem(QVariant(position)))) {
                    sessions.Remove(QVariant(position));
                    removed = true;
                    break;
                }
            }
        }
    }
    gCleanupPending = false;
    if (gApp && gApp->AutoClose() && gApp->ClsSessions().Count() == 0)
        gTerminating = true;
}

// Pass 3: once every session window is closing, the main window is hidden, the registration
// revoked, the script host stopped and the shared store emptied.
bool frmDDE::finishShutdown()
{
    for (rt::Form *form : rt::Forms()) {
        SessionWindow *window = SessionWindow::of(form);
        if (window && !window->IsClosing())
            return false;
    }
    if (MainWindow *main = loadedMainWindow()) {
        rt::ResumeNext quiet;
        quiet([&] { main->setClosing(true); });
        quiet([&] { main->form().hide(); });
    }
    gROTCookie = ROTAPI::RevokeRunningObject(gROTCookie);
    if (gScriptHost && gScriptHost->Shutdown())
        return false;
    if (gApp)
        gApp->ClsCommon().Common_Clear();
    return true;
}

// Pass 4: every other form but the session windows, the main window and the error dialog. A
// form shown modally stays too: its caller (an automation call into the application object, for
// one) waits for the answer, so the last pass must not release the objects under it; the form
// goes on a later tick, once answered.
void frmDDE::unloadOtherForms()
{
    rt::ResumeNext quiet;
    const QList<rt::Form *> forms = rt::Forms();
    for (rt::Form *form : forms) {
        MainWindow *main = loadedMainWindow();
        if (form == this || SessionWindow::of(form) || (main && form == &main->form())
            || form->name() == QLatin1String("frmErrHndlr") || form->isModalShown())
            continue;
        quiet([&] { form->unload(rt::vbFormCode); });
    }
}

// Pass 5: the last form releases the application object and goes; otherwise the timer rests
// when there is nothing left to do.
void frmDDE::end()
{
    const QList<rt::Form *> forms = rt::Forms();
    if (forms.size() == 1 && forms.first() == this) {
        delete gApp.data();
        gApp = nullptr;
        unload(rt::vbFormCode);
        emit ended();
        return;
    }
    if (!gCleanupPending && !gTerminating)
        CleanupTimer->setEnabled(false);
}
