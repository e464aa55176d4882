#include "app/appglobals.h"
#include "app/files.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "app/profile.h"
#include "app/strfunc.h"
#include "dde/ddeserver.h"
#include "runtime/errnum.h"
#include "runtime/keyboard.h"
#include "runtime/values.h"
#include "script/scripthost.h"
#include "session/sessions.h"
#include "session/sessionwindow.h"

#include <QApplication>
#include <QFileInfo>

namespace Nvmain {

namespace {

const QString kTopicsItem = QStringLiteral("TOPICS");
const QString kErrNumItem = QStringLiteral("ERRNUM");
const QString kErrMsgItem = QStringLiteral("ERRMSG");

using Completion = script::ScriptHost::Completion;

// The DDE topic currently set on a session's window ("" when it has no window).
QString windowTopic(const SessionPtr &session)
{
    SessionWindow *window = session->Window();
    return window ? window->LinkTopic() : QString();
}

// The DDE topic an execute for a session came through: SYSTEM for none (0), else the topic set
// on the session's window; nullptr when there is none.
dde::Topic *executeTopic(rt::Int sessionNo)
{
    if (sessionNo == 0)
        return gSystemTopic;
    SessionWindow *window = SessionWindow::ofSession(QString::number(sessionNo));
    return window ? dde::Server::instance().topic(window->LinkTopic()) : nullptr;
}

// An asynchronous execute that fails after its execute was answered leaves its error in the
// ErrNum and ErrMsg items of its topic, as a synchronous one does at once.
Completion recordFailureIn(dde::Topic *topic)
{
    return [topic = QPointer<dde::Topic>(topic)](const rt::Error &error) {
        if (!topic || error.number == 0)
            return;
        topic->setItem(kErrNumItem, QString::number(error.number));
        topic->setItem(kErrMsgItem, error.description);
    };
}

bool runScript(rt::Int sessionNo, const QString &text, bool async, rt::Long &errNum,
    QString &errMsg, const Completion &done)
{
    rt::ResumeNext quiet;
    quiet([&] {
        if (!gScriptHost)
            rt::raise(rt::err::ObjectNotSet);
        QVariant unused;
        gScriptHost->RunText(text, async ? -1 : 0, sessionNo, unused, done);
    });
    if (quiet.failed()) {
        errNum = quiet.error().number;
        errMsg = quiet.error().description;
        return false;
    }
    errNum = 0;
    errMsg.clear();
    return true;
}

// Runs the bracketed groups of an execute string; with recordLateFailure, an asynchronous run
// that fails later leaves its error in its DDE topic.
bool execScript(const QString &command, const QString &sessionNo, rt::Long &errNum, QString &errMsg,
    bool recordLateFailure)
{
    bool result = false;
    errNum = 0;
    errMsg.clear();
    rt::Proc h("nvmain", "DDEExecScript");
    h([&] {
        const bool async = command.trimmed().endsWith(u'&');
        const QString text = Strfunc::XlateCmd(command);
        const rt::Int session = rt::CInt(rt::Val(sessionNo));
        const Completion done
            = async && recordLateFailure ? recordFailureIn(executeTopic(session)) : Completion();
        result = runScript(session, text, async, errNum, errMsg, done);
    });
    return result;
}

} // namespace

bool DDEExecScript(
    const QString &command, const QString &sessionNo, rt::Long &errNum, QString &errMsg)
{
    return execScript(command, sessionNo, errNum, errMsg, true);
}

bool RunScript(
    rt::Int sessionNo, const QString &text, bool async, rt::Long &errNum, QString &errMsg)
{
    return runScript(sessionNo, text, async, errNum, errMsg, Completion());
}

void MenuToolAction(const QString &sessionNo, const QString &action)
{
    rt::Proc h("nvmain", "MenuToolAction");
    if (action.startsWith(u'[')) {
        h([&] {
            rt::Long errNum = 0;
            QString errMsg;
            execScript(action, sessionNo, errNum, errMsg, false);
        });
        return;
    }
    if (rt::Val(sessionNo) <= 0)
        return;
    rt::ResumeNext quiet;
    quiet([&] {
        if (!gApp)
            return;
        const SessionPtr session = gApp->ClsSessions().clsItem(sessionNo);
        if (session)
            session->Output(Strfunc::ArrowToCtrl(action));
    });
}

QString MakeTopicName(const QString &fileName, rt::Int sessionNo)
{
    QString topic;
    rt::Proc h("nvmain", "MakeTopicName");
    h([&] {
        if (!fileName.isEmpty())
            topic = Strfunc::Field(Files::GetFileName(fileName), QStringLiteral("."), 1);
        else
            topic = QStringLiteral("Session_") + QString::number(sessionNo);
    });
    return topic;
}

void UpdateTopicList()
{
    rt::Proc h("nvmain", "UpdateTopicList");
    QString list = QStringLiteral("SYSTEM");
    h([&] {
        if (!gApp)
            return;
        for (const SessionPtr &session : gApp->ClsSessions().NewEnum())
            list += u'\t' + windowTopic(session);
    });
    h([&] {
        if (!gSystemTopic)
            rt::raise(rt::err::ObjectNotSet);
        gSystemTopic->setItem(kTopicsItem, list);
    });
}

bool GetPauseState()
{
    bool on = false;
    rt::Proc h("nvmain", "GetPauseState");
    h([&] { on = rt::pauseState(); });
    return on;
}

void SetPauseState(bool state)
{
    rt::Proc h("nvmain", "SetPauseState");
    h([&] {
        if (rt::pauseState() != state)
            rt::setPauseState(state);
    });
}

bool IAmActive()
{
    bool active = false;
    rt::Proc h("nvmain", "IAmActive");
    h([&] { active = QApplication::applicationState() == Qt::ApplicationActive; });
    return active;
}

} // namespace Nvmain
