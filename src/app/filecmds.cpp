// The File menu's commands that open and close sessions: New, Open, the recent files, Close, and
// the saving of every session before a layout is written.

#include "app/appglobals.h"
#include "app/fileparts.h"
#include "app/files.h"
#include "app/mainwindow.h"
#include "app/msgbox.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "app/profile.h"
#include "app/wizard.h"
#include "commondlg/commondlg.h"
#include "runtime/errnum.h"
#include "session/sessions.h"
#include "session/sessionwindow.h"

namespace Nvmain {

namespace {

const QString kOpenFilter = QStringLiteral(
    "Norvalis Files (*.nvcf,*.nvly,*.cfg,*.lyt)|*.nvcf;*.nvly;*.cfg;*.lyt|All Files (*.*)|*.*");

// The window that owns the program's questions: the active session window, else the main window.
QWidget *questionOwner()
{
    rt::MdiForm *main = TheMainForm();
    if (!main)
        return nullptr;
    rt::Form *active = main->activeForm();
    return SessionWindow::of(active) ? active->widget() : main->widget();
}

// A new session from a session file ("" for a blank one), shown in the window state new session
// windows start in; null when none resulted.
SessionPtr addSession(const QString &fileName)
{
    if (!gApp)
        rt::raise(rt::err::ObjectNotSet);
    return gApp->ClsSessions().Add(fileName, gApp->InitChildWindowState(), 0, 0);
}

void tellUnableToOpen(const QString &name)
{
    MessageBox(u"Unable to open "_qs + name, MsgBox::Exclamation);
}

// Opens a session file in a new session and puts it at the top of the recent-file list; false
// when the file gave no session.
bool openSessionFile(const QString &name)
{
    SessionPtr session;
    rt::ResumeNext quiet;
    quiet([&] { session = addSession(name); });
    if (!session) {
        qCDebug(lcApp).noquote() << "no session from" << name << quiet.error().description;
        return false;
    }
    UpdateRecentFileList(name, false);
    return true;
}

} // namespace

void FileNew()
{
    rt::Proc h("nvmain", "FileNew");
    QString wizard;
    h([&] {
        wizard = Profile::GetIniString(u"Connection"_qs, u"Wizard32"_qs, QString(),
            Files::FindProgramFile(gAppDir, u"NVWIN.INI"_qs));
    });
    if (wizard.isEmpty()) {
        h([&] { addSession(QString()); });
        return;
    }
    QWidget *owner = questionOwner();
    QString answer;
    h([&] {
        frmWizard &prompt = frmWizard::instance();
        prompt.showModal(owner);
        answer = prompt.Tag;
        prompt.unload();
    });
    if (answer == u"N"_qs) {
        h([&] { addSession(QString()); });
    } else if (answer == u"W"_qs) {
        bool started = false;
        {
            rt::ResumeNext quiet;
            quiet([&] { started = StartProgram(wizard); });
        }
        if (!started)
            h([&] {
                MessageBox(u"Unable to start Connection Wizard"_qs, MsgBox::Exclamation, owner);
            });
    }
}

QString AskFileName(bool saving, const QString &title, const QString &fileName,
    const QString &extension, const QString &filter)
{
    commondlg::Request request;
    request.kind = saving ? commondlg::Kind::SaveFile : commondlg::Kind::OpenFile;
    request.title = title;
    request.directory = gLastDir;
    request.fileName = fileName;
    request.defaultExtension = extension;
    request.filter = filter;
    request.filterIndex = 1;
    rt::MdiForm *main = TheMainForm();
    request.owner = main ? main->widget() : nullptr;
    return commondlg::chooseFile(request).value_or(QString());
}

void FileOpen()
{
    rt::ResumeNext quiet;
    QString name;
    quiet([&] { name = AskFileName(false, u"Open"_qs, QString(), u"nvcf"_qs, kOpenFilter); });
    if (name.isEmpty())
        return;
    if (Files::IsLayoutFile(name)) {
        quiet([&] { LoadLayout(name); });
        return;
    }
    bool opened = false;
    if (Files::IsConfigFile(name))
        quiet([&] { opened = openSessionFile(name); });
    if (!opened)
        quiet([&] { tellUnableToOpen(name); });
    logSkippedStep(quiet, "FileOpen");
}

void FileOpenRecent(rt::Int index)
{
    rt::Proc h("nvmain", "FileOpenRecent");
    QString name;
    h([&] {
        if (gApp)
            name = gApp->Recent(index);
    });
    if (name.isEmpty())
        return;
    QString path = name;
    QString drive, directory, fileName;
    if (FileSpec::ParseDirectory(path, drive, directory, fileName, gStartDir)
        == FileSpec::PathFile) {
        if (Files::IsLayoutFile(path)) {
            h([&] { LoadLayout(path); });
            return;
        }
        // A session file that gives no session says nothing; the entry stays.
        if (Files::IsConfigFile(path)) {
            h([&] { openSessionFile(path); });
            return;
        }
    }
    h([&] { tellUnableToOpen(name); });
}

void FileClose()
{
    rt::ResumeNext quiet;
    quiet([&] {
        rt::MdiForm *main = TheMainForm();
        rt::Form *active = main ? main->activeForm() : nullptr;
        if (active)
            active->unload();
    });
    logSkippedStep(quiet, "FileClose");
}

void SaveAllSessions()
{
    rt::ResumeNext quiet;
    if (!gApp)
        return;
    for (const SessionPtr &session : gApp->ClsSessions().NewEnum()) {
        if (!quiet([&] { session->Save(QString()); }))
            qCDebug(lcApp).noquote()
                << "session" << session->ID() << "not saved:" << quiet.error().description;
    }
}

} // namespace Nvmain
