#include "app/appglobals.h"
#include "app/files.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "app/profile.h"
#include "app/strfunc.h"
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

// The DDE topic currently set on a session's window ("" when it has no window).
QString windowTopic(const SessionPtr &session)
{
    SessionWindow *window = session->Window();
    return window ? window->LinkTopic() : QString();
}

} // namespace

bool DDEExecScript(
    const QString &command, const QString &sessionNo, rt::Long &errNum, QString &errMsg)
{
    bool result = false;
    errNum = 0;
    errMsg.clear();
    rt::Proc h("nvmain", "DDEExecScript");
    h([&] {
        const bool async = command.trimmed().endsWith(u'&');
        const QString text = Strfunc::XlateCmd(command);
        result = RunScript(rt::CInt(rt::Val(sessionNo)), text, async, errNum, errMsg);
    });
    return result;
}

bool RunScript(
    rt::Int sessionNo, const QString &text, bool async, rt::Long &errNum, QString &errMsg)
{
    rt::ResumeNext quiet;
    quiet([&] {
        if (!gScriptHost)
            rt::raise(91);
        QVariant unused;
        gScriptHost->RunText(text, async ? -1 : 0, sessionNo, unused);
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

void MenuToolAction(const QString &sessionNo, const QString &action)
{
    rt::Proc h("nvmain", "MenuToolAction");
    if (action.startsWith(u'[')) {
        h([&] {
            rt::Long errNum = 0;
            QString errMsg;
            DDEExecScript(action, sessionNo, errNum, errMsg);
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
            rt::raise(91);
        gSystemTopic->setItem(kTopicsItem, list);
    });
}

void UpdateRecentFileList(const QString &file, bool remove)
{
    rt::ResumeNext quiet;
    if (file.isEmpty() || !gApp)
        return;
    if (!remove && !QFileInfo(file).isFile())
        return;
    Norvalis &app = *gApp;
    const rt::Int size = app.RecentListSize();
    QStringList entries;
    for (rt::Int i = 0; i < size; ++i)
        entries << app.Recent(i);
    qsizetype found = -1;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries.at(i) == file && (remove || QFileInfo(entries.at(i)).isFile())) {
            found = i;
            break;
        }
    }
    if (found >= 0) {
        entries.removeAt(found);
        entries.append(QString());
    } else if (remove) {
        return;
    }
    if (!remove) {
        entries.prepend(file);
        entries.removeLast();
    }
    for (rt::Int i = 0; i < size; ++i)
        quiet([&] { app.setRecent(i, entries.value(i)); });
    quiet([&] {
        Profile::DeleteRegKey(1, SettingsKey(QStringLiteral("RecentFiles")));
        int number = 0;
        for (const QString &entry : entries) {
            if (!entry.isEmpty())
                Profile::PutRegString(1,
                    SettingsKey(QStringLiteral("RecentFiles\\File_%1").arg(++number)), entry,
                    QString());
        }
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
