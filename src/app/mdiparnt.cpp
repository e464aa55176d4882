#include "app/mdiparnt.h"

#include "app/about.h"
#include "app/appglobals.h"
#include "app/files.h"
#include "app/lockupdate.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "app/posform.h"
#include "app/profile.h"
#include "app/splash.h"
#include "app/strfunc.h"
#include "commondlg/commondlg.h"
#include "commondlg/helpwindow.h"
#include "dialogs/capstart.h"
#include "dialogs/dial.h"
#include "dialogs/download.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/upload.h"
#include "menus/menus.h"
#include "runtime/errnum.h"
#include "runtime/messages.h"
#include "runtime/values.h"
#include "session/sessions.h"
#include "session/sessionwindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMainWindow>
#include <QMdiArea>
#include <QUrl>

namespace {

constexpr rt::Long CommandsPerMenu = 100000;

// Command numbers of the dynamic lists: the placeholder, and the range (exclusive) of the entries
// made after it on each opening.
constexpr rt::Long RecentPlaceholder = 113;
constexpr rt::Long RecentEnd = 150;
constexpr rt::Long WindowPlaceholder = 514;
constexpr rt::Long WindowEnd = 600;
constexpr rt::Long BandPlaceholder = 1200;
constexpr rt::Long BandEnd = 10000;

// Commands the click handler recognises by range.
constexpr rt::Long LastRecentCommand = 133;
constexpr rt::Long LastWindowCommand = 599;
constexpr rt::Long LastBandCommand = 9999;

// The main window's own commands (those that act on a session are the session window's).
enum Command : rt::Long {
    CmdNew = 101,
    CmdOpen = 103,
    CmdClose = 104,
    CmdSaveLayout = 108,
    CmdSaveLayoutAs = 109,
    CmdExit = 110,
    CmdPrinterSettings = 203,
    CmdPasteFromFile = 306,
    CmdMouseSettings = 313,
    CmdHelpContents = 400,
    CmdHelpIndex = 401,
    CmdHelpSearch = 404,
    CmdAbout = 405,
    CmdCascade = 501,
    CmdTileHorizontally = 502,
    CmdTileVertically = 503,
    CmdArrangeIcons = 504,
    CmdRunScript = 513,
    CmdUpload = 601,
    CmdDownload = 602,
    CmdCapture = 603,
    CmdDial = 704,
    CmdSettings = 705,
};

const QChar kNameSeparator = QChar(1);

QString toolName(rt::Long menuNo, const QString &bandName, rt::Long command)
{
    return QString::number(menuNo) + kNameSeparator + bandName + kNameSeparator
        + QString::number(command);
}

rt::Long commandOf(rt::Long toolId)
{
    return toolId % CommandsPerMenu;
}

// The first tool of a band with a command number, and its position; nullptr when none.
bar::ToolPtr findCommand(const bar::Band &band, rt::Long command, int &position)
{
    for (int i = 0; i < band.tools().count(); ++i) {
        bar::ToolPtr tool = band.tools().item(i);
        if (commandOf(tool->toolId()) == command) {
            position = i;
            return tool;
        }
    }
    return nullptr;
}

int positionOf(const bar::Band &band, const bar::Tool *tool)
{
    for (int i = 0; i < band.tools().count(); ++i) {
        if (band.tools().item(i).get() == tool)
            return i;
    }
    return -1;
}

// A dynamic entry made after a placeholder: it takes the placeholder's look.
bar::ToolPtr dynamicTool(const bar::Tool &placeholder, rt::Long menuNo, const QString &bandName,
    rt::Long command, const QString &caption)
{
    bar::ToolPtr tool = bar::Tool::create(
        menuNo * CommandsPerMenu + command, toolName(menuNo, bandName, command));
    tool->setTemplateValue(placeholder.templateValue());
    tool->setControlType(placeholder.controlType());
    tool->setCaption(caption);
    return tool;
}

QString numberedCaption(int number, const QString &text)
{
    return u'&' + QString::number(number) + QStringLiteral("  ") + text;
}

// The session at a position (from 0) of the collection, or null.
SessionPtr sessionAt(int position)
{
    return gApp ? gApp->ClsSessions().clsItem(QVariant(position)) : nullptr;
}

// The session window of a session.
rt::Form *windowForm(const SessionPtr &session)
{
    SessionWindow *window = session ? session->Window() : nullptr;
    return window ? &window->form() : nullptr;
}

void showHelpContents(frmMdiParent &main, rt::Long)
{
    commondlg::showHelp(main.mainWindow(), frmMdiParent::HelpFile());
}

// The built-in commands of the main window: what each does. Commands that act on a session are
// run by the session window that owns the menu (SessionWindow::SessionCommand); any number
// found in neither place does nothing.
struct BuiltInCommand
{
    rt::Long first;
    rt::Long last;
    void (*run)(frmMdiParent &main, rt::Long command);
};

const BuiltInCommand kBuiltInCommands[] = {
    { CmdNew, CmdNew, [](frmMdiParent &, rt::Long) { Nvmain::FileNew(); } },
    { CmdOpen, CmdOpen, [](frmMdiParent &, rt::Long) { Nvmain::FileOpen(); } },
    { CmdClose, CmdClose, [](frmMdiParent &, rt::Long) { Nvmain::FileClose(); } },
    { CmdSaveLayout, CmdSaveLayout,
        [](frmMdiParent &, rt::Long) {
            if (gLayoutFile.isEmpty())
                Nvmain::FileSaveLayoutAs();
            else
                Nvmain::FileSaveLayout();
        } },
    { CmdSaveLayoutAs, CmdSaveLayoutAs,
        [](frmMdiParent &, rt::Long) { Nvmain::FileSaveLayoutAs(); } },
    { CmdExit, CmdExit, [](frmMdiParent &, rt::Long) { Nvmain::FileExit(); } },
    { CmdPrinterSettings, CmdPrinterSettings,
        [](frmMdiParent &main, rt::Long) { ShowSettingsDialog(u"P"_qs, false, main.widget()); } },
    { CmdPasteFromFile, CmdPasteFromFile,
        [](frmMdiParent &main, rt::Long) { main.PasteFromFile(); } },
    { CmdMouseSettings, CmdMouseSettings,
        [](frmMdiParent &main, rt::Long) { ShowSettingsDialog(u"M"_qs, false, main.widget()); } },
    { CmdHelpContents, CmdHelpIndex, showHelpContents },
    { CmdHelpSearch, CmdHelpSearch, showHelpContents },
    { CmdAbout, CmdAbout, [](frmMdiParent &, rt::Long) { frmAboutBox::ShowAbout(0); } },
    { CmdCascade, CmdArrangeIcons,
        [](frmMdiParent &main, rt::Long command) { main.arrange(rt::Int(command - CmdCascade)); } },
    { CmdRunScript, CmdRunScript,
        [](frmMdiParent &, rt::Long) {
            if (!gScriptHost)
                rt::raise(rt::err::ObjectNotSet);
            const SessionPtr session = gApp ? gApp->ActiveClsSession() : nullptr;
            gScriptHost->ToolCommand(0, Files::SessionFolder(session ? session->FileName() : QString()));
        } },
    { CmdUpload, CmdUpload, [](frmMdiParent &, rt::Long) { frmUpload::ShowUpload(); } },
    { CmdDownload, CmdDownload, [](frmMdiParent &, rt::Long) { frmDownload::ShowDownload(); } },
    { CmdCapture, CmdCapture, [](frmMdiParent &, rt::Long) { frmCapStart::ShowCaptureDialog(); } },
    { CmdDial, CmdDial, [](frmMdiParent &main, rt::Long) { frmDial::ShowDialer(main.widget()); } },
    { CmdSettings, CmdSettings,
        [](frmMdiParent &main, rt::Long) { ShowSettingsDialog(QString(), true, main.widget()); } },
};

} // namespace

// ---- frmMdiParent ----

frmMdiParent::frmMdiParent(QObject *parent)
    : rt::MdiForm(QStringLiteral("frmMdiParent"), parent)
{ }

frmMdiParent &frmMdiParent::instance()
{
    return ProgramObject<frmMdiParent>();
}

QMainWindow *frmMdiParent::mainWindow() const
{
    return qobject_cast<QMainWindow *>(widget());
}

QString frmMdiParent::HelpFile()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/nvwin2k.html");
}

QWidget *frmMdiParent::createWidgets()
{
    auto *window = new QMainWindow;
    window->setWindowTitle(ProductTitle());
    window->setCentralWidget(makeMdiArea(window));
    // The session windows cycle with Ctrl+Tab in their own activation order.
    setAreaCycling(false);
    window->resize(800, 560);
    return window;
}

void frmMdiParent::Form_Load()
{
    rt::Proc h("mdiparnt", "MDIForm_Load");
    h([&] { m_closing = false; });
    h([&] {
        const auto proc = [this](rt::Long message, rt::Long wParam, rt::Long lParam) {
            return WindowProc(message, wParam, lParam);
        };
        rt::attachMessage(this, rt::WM_ACTIVATE, proc);
        rt::attachMessage(this, rt::WM_SYSCOLORCHANGE, proc);
    });
    h([&] { modLockUpdate::SetWindow(widget()); });
    h([&] {
        bar::ActiveBar &control = TheActiveBar();
        control.attach(mainWindow());
        connect(&control, &bar::ActiveBar::toolClick, this,
            [this](bar::Tool *tool) { rt::event([&] { TB_ToolClick(tool); }); });
        connect(&control, &bar::ActiveBar::bandOpen, this, [this](bar::Band *band, bool &cancel) {
            rt::event([&] { TB_BandOpen(band, cancel); });
        });
    });
    h([&] { setMainWindow(this); });
}

rt::Long frmMdiParent::WindowProc(rt::Long message, rt::Long wParam, rt::Long lParam)
{
    Q_UNUSED(lParam);
    rt::ResumeNext quiet;
    if (message == rt::WM_ACTIVATE && wParam != 0)
        quiet([&] { activated(); });
    else if (message == rt::WM_SYSCOLORCHANGE)
        quiet([&] { systemColorsChanged(); });
    return 0;
}

// The program came back to the foreground: the active session window gets the focus, its Paste
// tool and its pause state.
void frmMdiParent::activated()
{
    rt::ResumeNext quiet;
    gCtrlTabCycling = false;
    rt::Form *child = activeForm();
    SessionWindow *window = SessionWindow::of(child);
    if (!window)
        return;
    quiet([&] { child->widget()->setFocus(); });
    quiet([&] { window->UpdatePasteTool(); });
    quiet([&] { Nvmain::SetPauseState(window->PauseState()); });
}

void frmMdiParent::systemColorsChanged()
{
    rt::ResumeNext quiet;
    for (rt::Form *form : rt::Forms())
        quiet([&] { rt::sendMessage(form, rt::WM_SYSCOLORCHANGE, 0, 0); });
}

void frmMdiParent::Form_Resize()
{
    rt::ResumeNext quiet;
    quiet([&] {
        if (!gMenus)
            return;
        if (windowState() == rt::vbMinimized) {
            gMenus->setActiveMenu(-1);
            return;
        }
        rt::Form *child = activeForm();
        if (!SessionWindow::of(child))
            gMenus->setActiveMenu(0);
        else
            gMenus->setActiveMenu(rt::CLng(rt::Val(child->Tag)));
    });
}

void frmMdiParent::Form_QueryUnload(rt::Int &cancel, rt::Int unloadMode)
{
    rt::Proc h("mdiparnt", "MDIForm_QueryUnload");
    if (m_closing)
        return;
    if (unloadMode != rt::vbFormCode) {
        // A close by the user or the desktop becomes the application's orderly shutdown.
        h([&] { Nvmain::RequestShutdown(3); });
        cancel = 1;
        return;
    }
    h([&] {
        if (gStandalone)
            Nvmain::PosFormSave();
    });
    rt::ResumeNext quiet;
    quiet([&] {
        if (gApp)
            Profile::PutRegString(Profile::HKCU, SettingsKey(QStringLiteral("ChildWindowState")),
                QString::number(gApp->InitChildWindowState()), QStringLiteral("2"));
    });
    quiet([&] { frmSplash::instance().unload(); });
}

void frmMdiParent::Form_Unload(rt::Int &cancel)
{
    Q_UNUSED(cancel);
    rt::ResumeNext quiet;
    quiet([&] { gMenus.reset(); });
    quiet([&] {
        if (gApp)
            gApp->setMenu(nullptr);
    });
    m_closing = true;
    gCleanupPending = true;
    quiet([&] { rt::detachMessage(this, rt::WM_ACTIVATE); });
    quiet([&] { rt::detachMessage(this, rt::WM_SYSCOLORCHANGE); });
    quiet([&] {
        if (gCleanupTimer)
            gCleanupTimer->setEnabled(true);
    });
    quiet([&] { disconnect(&TheActiveBar(), nullptr, this, nullptr); });
    quiet([&] { modLockUpdate::SetWindow(nullptr); });
    quiet([&] { commondlg::showHelp(nullptr, HelpFile(), commondlg::HelpCommand::Quit); });
    setMainWindow(nullptr);
}

// ---- Tool dispatch ----

void frmMdiParent::TB_ToolClick(bar::Tool *tool)
{
    // An error that leaves a command ends the click quietly; the command's own handlers still
    // report theirs (a failed save tells the user why).
    try {
        const rt::Long id = tool->toolId();
        dispatchCommand(id / CommandsPerMenu, commandOf(id), tool);
    } catch (...) {
        rt::debugSwallowed(lcApp(), rt::currentError(), "tool click ended");
    }
}

void frmMdiParent::dispatchCommand(rt::Long menuNo, rt::Long command, bar::Tool *tool)
{
    if (command >= RecentPlaceholder && command <= LastRecentCommand) {
        Nvmain::FileOpenRecent(rt::Int(command - RecentPlaceholder));
        return;
    }
    if (command >= WindowPlaceholder && command <= LastWindowCommand) {
        if (rt::Form *form = windowForm(sessionAt(int(command - WindowPlaceholder))))
            form->show();
        return;
    }
    if (command >= BandPlaceholder && command <= LastBandCommand) {
        toggleBand(menuNo, tool);
        return;
    }
    const QString bandName = Strfunc::Field(tool->name(), kNameSeparator, 2);
    MnuToolPtr modelTool;
    {
        rt::ResumeNext lookup;
        lookup([&] {
            modelTool = gMenus->item(QVariant(menuNo))
                            ->MnuBands(bandName)
                            ->MnuTools(QString::number(command));
        });
    }
    if (!modelTool)
        return;
    if (!modelTool->Action().isEmpty()) {
        Nvmain::MenuToolAction(QString::number(menuNo), modelTool->Action());
        return;
    }
    if (runSessionCommand(menuNo, command))
        return;
    runBuiltInCommand(command);
}

bool frmMdiParent::runSessionCommand(rt::Long menuNo, rt::Long command)
{
    SessionWindow *window = menuNo != 0 ? SessionWindow::ofSession(QString::number(menuNo))
                                        : SessionWindow::of(activeForm());
    return window && window->SessionCommand(command);
}

void frmMdiParent::toggleBand(rt::Long menuNo, bar::Tool *tool)
{
    const QString bandName = Strfunc::Field(tool->name(), kNameSeparator, 2);
    const MnuBandPtr band = gMenus->item(QVariant(menuNo))->MnuBands(bandName);
    const rt::Int shown = rt::BoolToInt(band->Visible() == 0);
    if (bandName.compare(QStringLiteral("Toolbar"), Qt::CaseInsensitive) == 0 && gApp)
        gApp->setToolbarVisible(shown);
    else if (bandName.compare(QStringLiteral("Status Line"), Qt::CaseInsensitive) == 0 && gApp)
        gApp->setStatusLineVisible(shown);
    else
        band->setVisible(shown);
    TheActiveBar().recalcLayout();
}

void frmMdiParent::runBuiltInCommand(rt::Long command)
{
    for (const BuiltInCommand &entry : kBuiltInCommands) {
        if (command >= entry.first && command <= entry.last) {
            entry.run(*this, command);
            return;
        }
    }
}

void frmMdiParent::PasteFromFile()
{
    rt::ResumeNext quiet;
    quiet([&] {
        const SessionPtr session = gApp ? gApp->ActiveClsSession() : nullptr;
        if (!session)
            return;
        commondlg::Request request;
        request.kind = commondlg::Kind::OpenFile;
        const QString last = session->PasteFromFileName();
        request.directory = last.isEmpty() ? gStartDir : QFileInfo(last).path();
        request.fileName = last;
        request.title = QStringLiteral("Select File to Paste");
        request.defaultExtension = QStringLiteral("txt");
        request.filter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*");
        request.owner = widget();
        const commondlg::Answer file = commondlg::chooseFile(request);
        if (!file)
            rt::raise(rt::err::Cancelled);
        session->Paste(*file);
    });
}

// ---- Band opening ----

void frmMdiParent::TB_BandOpen(bar::Band *band, bool &cancel)
{
    const QString number = Strfunc::Field(band->name(), kNameSeparator, 1);
    if (!rt::IsNumeric(number)) {
        cancel = true;
        return;
    }
    rt::Proc h("mdiparnt", "TB_BandOpen");
    rt::Long menuNo = 0;
    h([&] { menuNo = rt::CLng(QVariant(number)); });
    h([&] { removeDynamicTools(*band); });
    h([&] { listRecentFiles(*band, menuNo); });
    bool goOn = true;
    h([&] { goOn = listSessionWindows(*band, menuNo); });
    if (!goOn)
        return;
    h([&] { listBands(*band, menuNo); });
    h([&] { TheActiveBar().recalcLayout(); });
}

void frmMdiParent::removeDynamicTools(bar::Band &band)
{
    QList<rt::Long> ids;
    for (const bar::ToolPtr &tool : band.tools()) {
        const rt::Long command = commandOf(tool->toolId());
        if ((command > RecentPlaceholder && command < RecentEnd)
            || (command > WindowPlaceholder && command < WindowEnd)
            || (command > BandPlaceholder && command < BandEnd))
            ids.append(tool->toolId());
    }
    for (rt::Long id : ids)
        band.tools().remove(QString::number(id));
}

void frmMdiParent::listRecentFiles(bar::Band &band, rt::Long menuNo)
{
    int position = 0;
    const bar::ToolPtr placeholder = findCommand(band, RecentPlaceholder, position);
    if (!placeholder || !gApp)
        return;
    const QString first = gApp->Recent(0);
    placeholder->setVisible(!first.isEmpty());
    if (!first.isEmpty())
        placeholder->setCaption(numberedCaption(1, first));
    const QString bandName = Strfunc::Field(placeholder->name(), kNameSeparator, 2);
    for (rt::Int i = 1; i < gApp->RecentListSize(); ++i) {
        const QString file = gApp->Recent(i);
        if (file.isEmpty())
            continue;
        band.tools().insert(position + i,
            dynamicTool(*placeholder, menuNo, bandName, RecentPlaceholder + i,
                numberedCaption(i + 1, file)));
    }
}

bool frmMdiParent::listSessionWindows(bar::Band &band, rt::Long menuNo)
{
    int position = 0;
    const bar::ToolPtr placeholder = findCommand(band, WindowPlaceholder, position);
    if (!placeholder || !gApp)
        return true;
    const rt::Long count = gApp->ClsSessions().Count();
    if (count == 0) {
        placeholder->setVisible(false);
        return true;
    }
    placeholder->setVisible(true);
    const SessionPtr active = gApp->ActiveClsSession();
    if (!active)
        return false;
    const rt::Long activeNo = rt::CLng(rt::Val(active->ID()));
    const auto windowCaption = [](const SessionPtr &session) {
        rt::Form *form = windowForm(session);
        return form ? form->caption() : QString();
    };
    const auto isActive = [&](const SessionPtr &session) {
        return session && rt::CLng(rt::Val(session->ID())) == activeNo;
    };
    const SessionPtr first = sessionAt(0);
    placeholder->setCaption(numberedCaption(1, windowCaption(first)));
    placeholder->setChecked(isActive(first));
    const QString bandName = Strfunc::Field(placeholder->name(), kNameSeparator, 2);
    for (int i = 1; i < count; ++i) {
        const SessionPtr session = sessionAt(i);
        bar::ToolPtr tool = dynamicTool(*placeholder, menuNo, bandName, WindowPlaceholder + i,
            numberedCaption(i + 1, windowCaption(session)));
        tool->setChecked(isActive(session));
        band.tools().insert(position + i, tool);
    }
    return true;
}

void frmMdiParent::listBands(bar::Band &band, rt::Long menuNo)
{
    std::vector<bar::ToolPtr> placeholders;
    for (const bar::ToolPtr &tool : band.tools()) {
        if (commandOf(tool->toolId()) == BandPlaceholder)
            placeholders.push_back(tool);
    }
    if (placeholders.empty() || !gMenus)
        return;
    const MenuPtr menu = gMenus->item(QVariant(menuNo));
    for (const bar::ToolPtr &placeholder : placeholders) {
        rt::Long k = 0;
        for (const MnuBandPtr &listed : menu->NewEnum()) {
            if (listed->BandType() != bar::BandNormal)
                continue;
            if (k == 0) {
                placeholder->setCaption(listed->Caption());
                placeholder->setChecked(listed->Visible() != 0);
                placeholder->setName(toolName(menuNo, listed->Name(), BandPlaceholder));
            } else {
                bar::ToolPtr tool = dynamicTool(
                    *placeholder, menuNo, listed->Name(), BandPlaceholder + k, listed->Caption());
                tool->setChecked(listed->Visible() != 0);
                band.tools().insert(positionOf(band, placeholder.get()) + int(k), tool);
            }
            ++k;
        }
    }
}
