#include "session/mdichild.h"

#include "app/appglobals.h"
#include "app/globals.h"
#include "app/mainwindow.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "dde/ddeserver.h"
#include "dialogs/capstart.h"
#include "dde/ddetopic.h"
#include "emulator/emulator.h"
#include "menus/menus.h"
#include "runtime/errnum.h"
#include "runtime/interaction.h"
#include "runtime/keyboard.h"
#include "runtime/messages.h"
#include "runtime/values.h"
#include "session/scriptconsent.h"
#include "session/server.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include <algorithm>

namespace {

constexpr const char *kModule = "mdichild";
// One frame of a 60 Hz screen: how often the location field may change.
constexpr qint64 LocationPeriodMs = 16;

// Status tools of a session menu.
enum StatusTool : rt::Long {
    ToolPrinterToggle = 201,
    ToolNormMode = 505,
    ToolExtMode = 506,
    ToolLockHistory = 507,
    ToolUnlockHistory = 508,
    ToolHistory = 509,
    ToolPaste = 305,
    ToolDial = 704,
    ToolTermType = 1101,
    ToolDevice = 1102,
    ToolStatus = 1103,
    ToolScreen = 1104,
    ToolPrinter = 1105,
    ToolCapture = 1106,
    ToolLocation = 1107,
    ToolKeyboardLock = 1108,
};

// Commands of a session menu that act on the window's session.
enum SessionCommandNo : rt::Long {
    CmdSave = 105,
    CmdSaveAs = 106,
    CmdPrinterToggle = 201,
    CmdPrintScreen = 202,
    CmdCopy = 303,
    CmdCopyHistory = 304,
    CmdPaste = 305,
    CmdNormMode = 505,
    CmdExtMode = 506,
    CmdLockHistory = 507,
    CmdUnlockHistory = 508,
    CmdHistoryOff = 510,
    CmdHistoryHalf = 511,
    CmdHistoryFull = 512,
    CmdResetTerm = 707,
    CmdResetComm = 708,
};

// The clipboard keys of the desktop: Ctrl+Insert copies, Shift+Insert pastes.
struct ClipboardKey
{
    rt::Int shift;
    rt::Long command;
};
constexpr ClipboardKey ClipboardKeys[] = {
    { rt::vbCtrlMask, CmdCopy },
    { rt::vbShiftMask, CmdPaste },
};
// The Alt+letter shortcuts of a session window (BlockedHotKeys may block each).
constexpr rt::Int AltShortcutKeys[] = { 'C', 'G', 'L', 'P' };
// Ctrl+Tab as a key code of the emulator's keyboard map.
constexpr rt::Int CtrlTabKey = 2009;
// Connection errors that a session which closes or offers to reconnect does not show.
constexpr rt::Long ErrConnectionLost[] = { 206662, 206665, 206666 };
constexpr int DeviceCaptionLength = 25;

const QString kResult = QStringLiteral("Result");
const QString kErrNum = QStringLiteral("ErrNum");
const QString kErrMsg = QStringLiteral("ErrMsg");
const QString kBusy = QStringLiteral("Busy");
const QString kNotConnected = QStringLiteral("Not connected: Tools > Settings sets the host");
const QString kSettingsWait = QStringLiteral("; new settings wait for Tools > Reset Connection");
const QString kNotDialled = QStringLiteral("Not connected: Tools > Dial dials the number");

// The session of a key, or null; never fails.
SessionPtr sessionOf(const QString &key)
{
    if (!gApp || key.isEmpty())
        return nullptr;
    return gApp->ClsSessions().clsItem(QVariant(key));
}

QVariant flag(bool on)
{
    return QVariant(rt::BoolToInt(on));
}

// Names a host may not serve under, and why. A name is one topic's alone (SYSTEM's, another
// session's or another server's, compared without case): an execute for that topic must not reach
// another host. The topic list (SYSTEM's TOPICS item) separates names by TAB.
struct ServerNameRule
{
    bool (*refuses)(const QString &name, const dde::Topic *own);
    const char *why;
};
const ServerNameRule kServerNameRules[] = {
    { [](const QString &name, const dde::Topic *) { return name.isEmpty(); }, "the name is empty" },
    { [](const QString &name, const dde::Topic *) {
          return std::any_of(name.cbegin(), name.cend(),
              [](QChar c) { return c.category() == QChar::Other_Control; });
      },
        "the name holds a control character" },
    { [](const QString &name, const dde::Topic *own) {
          return dde::Server::instance().nameTaken(name, own);
      },
        "another DDE topic has that name" },
};

} // namespace

frmMdiChild::frmMdiChild(rt::MdiForm *frame, QObject *parent)
    : rt::MdiChildForm(QStringLiteral("frmMdiChild"), frame, parent)
    , SessionWindow(this)
    , m_topic(new dde::Topic(QString(), this))
{
    m_topic->setItem(kResult, QString());
    m_topic->setItem(kErrNum, QStringLiteral("0"));
    m_topic->setItem(kErrMsg, QString());
    m_topic->setItem(kBusy, QStringLiteral("0"));
    m_locationTimer.setSingleShot(true);
    connect(&m_locationTimer, &QTimer::timeout, this, [this] { rt::event([this] { showLocation(); }); });
    m_topic->setExecuteHandler([this](const QString &command) {
        bool accepted = false;
        rt::event([&] { accepted = DDEExecCmd(command); });
        return accepted;
    });
}

frmMdiChild::~frmMdiChild()
{
    if (m_linkSource)
        dde::Server::instance().removeTopic(m_topic);
}

QWidget *frmMdiChild::createWidgets()
{
    auto *window = new QWidget;
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    m_emulator = new emu::nvEmulator(window);
    layout->addWidget(m_emulator);

    m_reconnect = new QFrame(window);
    m_reconnect->setObjectName(QStringLiteral("pnlReconnect"));
    m_reconnect->setFrameShape(QFrame::StyledPanel);
    m_reconnect->setAutoFillBackground(true);
    auto *panel = new QVBoxLayout(m_reconnect);
    auto *message = new QHBoxLayout;
    auto *picIcon = new QLabel(m_reconnect);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(
        window->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    auto *lbReconnect
        = new QLabel(QStringLiteral("The connection to the host has been terminated."), m_reconnect);
    lbReconnect->setObjectName(QStringLiteral("lbReconnect"));
    lbReconnect->setWordWrap(true);
    message->addWidget(picIcon);
    message->addWidget(lbReconnect, 1);
    panel->addLayout(message);
    auto *buttons = new QHBoxLayout;
    m_okRecon = new QPushButton(QStringLiteral("&Reconnect"), m_reconnect);
    m_okRecon->setObjectName(QStringLiteral("cmdOKRecon"));
    auto *cancel = new QPushButton(QStringLiteral("&Cancel"), m_reconnect);
    cancel->setObjectName(QStringLiteral("cmdCancelRecon"));
    buttons->addStretch(1);
    buttons->addWidget(m_okRecon);
    buttons->addWidget(cancel);
    panel->addLayout(buttons);
    m_reconnect->hide();
    // The window's keyboard focus is its terminal's (the reconnect panel's while it shows), also
    // when a caller focuses the window itself.
    window->setFocusProxy(m_emulator);
    connect(m_okRecon, &QPushButton::clicked, this, [this] { rt::event([&] { cmdOKRecon_Click(); }); });
    connect(cancel, &QPushButton::clicked, this,
        [this] { rt::event([&] { cmdCancelRecon_Click(); }); });
    return window;
}

void frmMdiChild::Form_Load()
{
    rt::Proc h(kModule, "Form_Load");
    h([&] {
        OkToUnload = false;
        m_isClosing = false;
    });
    h([&] { m_emulator->move(0, 0); });
    h([&] {
        rt::attachMessage(this, WM_STARTTRANSFER, [this](rt::Long message, rt::Long wParam,
                                                      rt::Long lParam) {
            return WindowProc(message, wParam, lParam);
        });
    });
    h([&] {
        if (gApp)
            setWindowState(gApp->InitChildWindowState());
    });
    h([&] { connectEmulator(); });
    keyPreview = true;
}

void frmMdiChild::Form_Resize()
{
    if (m_isClosing)
        return;
    rt::Proc h(kModule, "Form_Resize");
    h([&] { placeReconnectPanel(); });
    h([&] {
        if (gApp)
            gApp->setInitChildWindowState(windowState());
    });
}

// ---- Activation ----

void frmMdiChild::Form_Activate()
{
    rt::Proc h(kModule, "Form_Activate");
    if (UpdateStatus) {
        UpdateStatus = false;
        h([&] { m_emulator->Startup(); });
    }
    h([&] {
        if (gMenus)
            gMenus->setActiveMenu(rt::CLng(rt::Val(Tag)));
    });
    if (!gCtrlTabCycling) {
        h([&] {
            if (gActivationList)
                gActivationList->SetTop(rt::CInt(rt::Val(Tag)));
        });
    }
    // Typing goes to the window that became active.
    h([&] { widget()->setFocus(); });
    h([&] { UpdatePasteTool(); });
    h([&] { Nvmain::SetPauseState(m_pauseState); });
}

void frmMdiChild::UpdatePasteTool()
{
    const QMimeData *data = QApplication::clipboard()->mimeData();
    setTool(ToolPaste, PropEnabled, flag(data && data->hasText()));
}

// ---- Keys ----

void frmMdiChild::Form_KeyDown(rt::Int &keyCode, rt::Int shift)
{
    rt::Proc h(kModule, "Form_KeyDown");
    if ((shift & 7) == rt::vbCtrlMask && keyCode == rt::vbKeyTab) {
        rt::Int assigned = 0;
        h([&] { assigned = m_emulator->KeyAssigned(CtrlTabKey); });
        if (assigned == 0) {
            h([&] {
                gCtrlTabCycling = true;
                const rt::Int key = gActivationList ? gActivationList->NextKey() : rt::Int(-1);
                if (key <= 0)
                    return;
                const SessionPtr session = sessionOf(QString::number(key));
                SessionWindow *window = session ? session->Window() : nullptr;
                if (!window || !window->form().isVisible())
                    return;
                auto *sub = qobject_cast<QMdiSubWindow *>(window->form().windowWidget());
                if (sub && sub->mdiArea())
                    sub->mdiArea()->setActiveSubWindow(sub);
            });
            keyCode = 0;
            return;
        }
    } else if (keyCode == rt::vbKeyInsert) {
        for (const ClipboardKey &key : ClipboardKeys) {
            if ((shift & 7) != key.shift)
                continue;
            keyCode = 0;
            h([&] { SessionCommand(key.command); });
            return;
        }
    } else if (keyCode == rt::vbKeyScrollLock) {
        h([&] {
            rt::setPauseState(!rt::pauseState());
            m_pauseState = rt::pauseState();
        });
    }
    if ((shift & rt::vbAltMask) && isFreeAltShortcut(keyCode)) {
        // The shortcut's command uses the key (even when it fails): the host does not get it.
        const rt::Int letter = keyCode;
        keyCode = 0;
        h([&] { altShortcut(letter); });
    }
}

bool frmMdiChild::isFreeAltShortcut(rt::Int keyCode)
{
    if (keyCode < rt::vbKeyA || keyCode > rt::vbKeyZ
        || std::find(std::begin(AltShortcutKeys), std::end(AltShortcutKeys), keyCode)
            == std::end(AltShortcutKeys))
        return false;
    const rt::Long blocked = gApp ? gApp->BlockedHotKeys() : 0;
    return !(blocked & (rt::Long(1) << (keyCode - rt::vbKeyA)));
}

void frmMdiChild::altShortcut(rt::Int keyCode)
{
    switch (keyCode) {
    case 'C':
        frmCapStart::ShowCaptureDialog();
        break;
    case 'G':
        m_emulator->PrintScreen();
        break;
    case 'L': {
        rt::Int mode = rt::Int(m_emulator->CycleMode() + 1);
        if (mode == 1)
            mode = 2;
        else if (mode == 4)
            mode = 0;
        m_emulator->setCycleMode(mode);
        break;
    }
    case 'P':
        if (m_emulator->PrinterMode() != 0)
            m_emulator->PrinterOff();
        else
            m_emulator->PrinterOn(0);
        break;
    default:
        break;
    }
}

void frmMdiChild::Form_KeyUp(rt::Int &keyCode, rt::Int shift)
{
    Q_UNUSED(shift);
    rt::Proc h(kModule, "Form_KeyUp");
    if (keyCode == rt::vbKeyControl && gCtrlTabCycling) {
        gCtrlTabCycling = false;
        h([&] {
            if (gActivationList)
                gActivationList->SetTop(rt::CInt(rt::Val(Tag)));
        });
    }
}

// ---- Closing ----

void frmMdiChild::Form_QueryUnload(rt::Int &cancel, rt::Int unloadMode)
{
    if (OkToUnload || m_isClosing)
        return;
    rt::Proc h(kModule, "Form_QueryUnload");
    h([&] {
        if (m_emulator && m_emulator->Busy() != 0) {
            cancel = 1;
            QApplication::beep();
            return;
        }
        const rt::Int prompt = unloadMode == rt::vbFormMDIForm ? gTerminatePrompt : rt::Int(3);
        const SessionPtr session = sessionOf(Tag);
        if (!session)
            return;
        // A shutdown requested while the session asks its questions closes them as cancelled:
        // that refusal must not stop the shutdown, only a refusal of one already under way.
        const bool shutdownUnderWay = gTerminating;
        session->Terminate(prompt);
        if (!m_isClosing) {
            cancel = 1;
            if (shutdownUnderWay)
                gTerminating = false;
        }
    });
}

void frmMdiChild::Form_Unload(rt::Int &cancel)
{
    rt::Proc h(kModule, "Form_Unload");
    if (OkToUnload) {
        h([&] { rt::detachMessage(this, WM_STARTTRANSFER); });
        h([&] {
            // The topic leaves the DDE server with the window.
            if (m_linkSource)
                dde::Server::instance().removeTopic(m_topic);
            m_linkSource = false;
        });
    } else {
        cancel = 1;
    }
    h([&] {
        if (gActivationList)
            gActivationList->Remove(rt::CInt(rt::Val(Tag)));
    });
    m_menu.reset();
}

// ---- Transfers prepared by a dialog ----

rt::Long frmMdiChild::WindowProc(rt::Long message, rt::Long wParam, rt::Long lParam)
{
    Q_UNUSED(lParam);
    if (message != WM_STARTTRANSFER)
        return 0;
    rt::ResumeNext quiet;
    quiet([&] {
        if (!sessionOf(Tag))
            return;
        if (wParam == 1)
            m_emulator->Upload(xfrFileName, xfrProtocol, xfrMode, xfrOverwrite, 1);
        else if (wParam == 2)
            m_emulator->Download(xfrFileName, xfrProtocol, xfrMode, xfrOverwrite, 1);
    });
    rt::debugSwallowed(lcSession(), quiet, "prepared transfer not started");
    return 0;
}

// ---- Reconnect panel ----

bool frmMdiChild::reconnectShown() const
{
    return m_reconnect && m_reconnect->isVisible();
}

void frmMdiChild::placeReconnectPanel()
{
    if (!m_reconnect || !widget())
        return;
    const QSize area = widget()->size();
    const QSize hint = m_reconnect->sizeHint();
    const int width = qMin(qMax(hint.width(), 360), area.width());
    const int height = qMin(hint.height(), area.height());
    m_reconnect->setGeometry(
        (area.width() - width) / 2, (area.height() - height) / 2, width, height);
}

void frmMdiChild::showReconnectPanel()
{
    placeReconnectPanel();
    m_emulator->setEnabled(false);
    m_reconnect->show();
    m_reconnect->raise();
    widget()->setFocusProxy(m_okRecon);
}

void frmMdiChild::hideReconnectPanel()
{
    rt::ResumeNext quiet;
    quiet([&] { m_emulator->setEnabled(true); });
    quiet([&] { m_reconnect->hide(); });
    quiet([&] { widget()->setFocusProxy(m_emulator); });
    quiet([&] {
        if (isActiveChild())
            m_emulator->setFocus();
    });
}

void frmMdiChild::cmdCancelRecon_Click()
{
    hideReconnectPanel();
}

void frmMdiChild::cmdOKRecon_Click()
{
    hideReconnectPanel();
    rt::ResumeNext quiet;
    quiet([&] {
        if (sessionOf(Tag))
            m_emulator->Reset(2);
    });
    rt::debugSwallowed(lcSession(), quiet, "reconnect failed");
}

bool frmMdiChild::isActiveChild() const
{
    MainWindow *main = TheMainWindow();
    return main && main->form().activeForm() == this;
}

// ---- DDE ----

QString frmMdiChild::LinkTopic() const
{
    return m_topic->name();
}

void frmMdiChild::setLinkTopic(const QString &topic)
{
    m_topic->setName(topic);
}

void frmMdiChild::setLinkSource()
{
    if (m_linkSource)
        return;
    dde::Server::instance().addTopic(m_topic);
    m_linkSource = true;
}

bool frmMdiChild::DDEExecCmd(const QString &command)
{
    bool result = false;
    rt::Proc h(kModule, "DDEExecCmd");
    h([&] {
        if (command.startsWith(u'[')) {
            rt::Long errNum = 0;
            QString errMsg;
            result = Nvmain::DDEExecScript(command, Tag, errNum, errMsg);
            m_topic->setItem(kErrNum, QString::number(errNum));
            m_topic->setItem(kErrMsg, errMsg);
            return;
        }
        if (rt::Val(m_topic->item(kBusy)) != 0) {
            m_topic->setItem(kErrNum, QString::number(rt::err::DdeBusy));
            m_topic->setItem(kErrMsg, QStringLiteral("Destination is busy"));
            return;
        }
        const SessionPtr session = sessionOf(Tag);
        if (!session) {
            m_topic->setItem(kErrNum, QString::number(rt::err::DdeNotRunning));
            m_topic->setItem(kErrMsg, servererror::text(rt::err::DdeNotRunning));
            return;
        }
        if (!DDEServer) {
            DDEServer = session->Server();
            if (!DDEServer)
                return;
            connect(DDEServer.get(), &clsServer::Notify, this,
                [this](rt::Long code) { rt::event([&] { DDEServer_Notify(code); }); });
        }
        m_topic->setItem(kBusy, QStringLiteral("1"));
        // The object stays held while it answers: a completion may close the window.
        const std::shared_ptr<clsServer> request = DDEServer;
        if (!request->SubmitRequest(command)) {
            m_topic->setItem(kBusy, QStringLiteral("0"));
            m_topic->setItem(kErrNum, QString::number(request->ErrNum()));
            m_topic->setItem(kErrMsg, request->ErrMsg());
            return;
        }
        result = true;
    });
    return result;
}

// Busy changes last: a client that waits for it finds the answer in the other items.
void frmMdiChild::DDEServer_Notify(rt::Long code)
{
    Q_UNUSED(code);
    rt::Proc h(kModule, "DDEServer_Notify");
    h([&] {
        m_topic->setItem(kResult, DDEServer->Result());
        m_topic->setItem(kErrNum, QString::number(DDEServer->ErrNum()));
        m_topic->setItem(kErrMsg, DDEServer->ErrMsg());
        m_topic->setItem(kBusy, QStringLiteral("0"));
    });
}

// ---- Session commands of the window's menu ----

bool frmMdiChild::SessionCommand(rt::Long command)
{
    const SessionPtr session = sessionOf(Tag);
    if (!session)
        return false;
    emu::nvEmulator &emulator = *m_emulator;
    switch (command) {
    case CmdSave:
        session->Save(QString());
        break;
    case CmdSaveAs:
        session->SaveAs();
        break;
    case CmdPrinterToggle:
        if (emulator.PrinterMode() != 0)
            emulator.PrinterOff();
        else
            emulator.PrinterOn(0);
        break;
    case CmdPrintScreen:
        emulator.PrintScreen();
        break;
    case CmdCopy:
    case CmdCopyHistory: {
        rt::ResumeNext quiet;
        quiet([&] {
            if (command == CmdCopy)
                emulator.Copy(0, 0, 0, 0);
            else
                emulator.CopyHistory(0, 0, 0, 0);
        });
        quiet([&] { UpdatePasteTool(); });
        break;
    }
    case CmdPaste:
        session->Paste(QString());
        break;
    case CmdNormMode:
        emulator.setExtendedMode(0);
        break;
    case CmdExtMode:
        emulator.setExtendedMode(1);
        break;
    case CmdLockHistory:
    case CmdUnlockHistory:
        emulator.setLockHistory(emulator.LockHistory() ? rt::False : rt::True);
        break;
    case CmdHistoryOff:
    case CmdHistoryHalf:
    case CmdHistoryFull: {
        rt::Int percent
            = command == CmdHistoryOff ? rt::Int(0) : (command == CmdHistoryHalf ? rt::Int(50) : rt::Int(100));
        emulator.setHistoryVisible(&percent);
        break;
    }
    case CmdResetTerm:
        emulator.Reset(1);
        break;
    case CmdResetComm:
        emulator.Reset(2);
        break;
    default:
        return false;
    }
    return true;
}

// ---- The emulator control's events ----

void frmMdiChild::connectEmulator()
{
    emu::nvEmulator *e = m_emulator;
    connect(e, &emu::nvEmulator::ButtonPress, this,
        [this](rt::Int *button, rt::Int, rt::Int, rt::Int) { ctlEmulator_ButtonPress(button); });
    connect(e, &emu::nvEmulator::CaptureChange, this,
        [this](rt::Int capturing) { rt::event([&] { ctlEmulator_CaptureChange(capturing); }); });
    connect(e, &emu::nvEmulator::CloseSession, this,
        [this] { rt::event([&] { ctlEmulator_CloseSession(); }); });
    connect(e, &emu::nvEmulator::CommError, this,
        [this](rt::Long *code, const QString &, rt::Int show) {
            rt::event([&] { ctlEmulator_CommError(code, show); });
        });
    connect(e, &emu::nvEmulator::ContextMenu, this,
        [this](rt::Int kind, rt::Int, rt::Int, const QString &band) {
            ctlEmulator_ContextMenu(kind, band);
        });
    connect(e, &emu::nvEmulator::DataReady, this,
        [this] { rt::event([&] { ctlEmulator_DataReady(); }); });
    connect(e, &emu::nvEmulator::DeviceChange, this, [this](rt::Int device, QString *name) {
        rt::event([&] { ctlEmulator_DeviceChange(device, name); });
    });
    connect(e, &emu::nvEmulator::Disconnect, this,
        [this] { rt::event([&] { ctlEmulator_Disconnect(); }); });
    connect(e, &emu::nvEmulator::ExecScript, this, [this](const QString &script, rt::Int async) {
        rt::event([&] { ctlEmulator_ExecScript(script, async); });
    });
    connect(e, &emu::nvEmulator::Extension, this,
        [this](QString *command) { rt::event([&] { ctlEmulator_Extension(command); }); });
    connect(e, &emu::nvEmulator::HistoryChange, this, [this](rt::Int shown, rt::Int locked) {
        rt::event([&] { ctlEmulator_HistoryChange(shown, locked); });
    });
    connect(e, &emu::nvEmulator::KeyboardLockChange, this,
        [this](rt::Int locked) { rt::event([&] { ctlEmulator_KeyboardLockChange(locked); }); });
    connect(e, &emu::nvEmulator::LoadSettings, this,
        [this] { rt::event([&] { ctlEmulator_LoadSettings(); }); });
    connect(e, &emu::nvEmulator::LocationChange, this, [this](rt::Int a, rt::Int b, rt::Int c) {
        rt::event([&] { ctlEmulator_LocationChange(a, b, c); });
    });
    connect(e, &emu::nvEmulator::PrinterChange, this,
        [this](rt::Int state) { rt::event([&] { ctlEmulator_PrinterChange(state); }); });
    connect(e, &emu::nvEmulator::SaveSettings, this,
        [this] { rt::event([&] { ctlEmulator_SaveSettings(); }); });
    connect(e, &emu::nvEmulator::ScreenChange, this,
        [this](rt::Int a, rt::Int b, rt::Int c, rt::Int extended) {
            rt::event([&] { ctlEmulator_ScreenChange(a, b, c, extended); });
        });
    connect(e, &emu::nvEmulator::ServerExit, this,
        [this] { rt::event([&] { ctlEmulator_ServerExit(); }); });
    connect(e, &emu::nvEmulator::ServerResult, this,
        [this](const QString &result, const QString &errNum, const QString &errMsg) {
            rt::event([&] { ctlEmulator_ServerResult(result, errNum, errMsg); });
        });
    connect(e, &emu::nvEmulator::ServerStart, this,
        [this](const QString &name) { rt::event([&] { ctlEmulator_ServerStart(name); }); });
    connect(e, &emu::nvEmulator::StatusChange, this,
        [this](const QString &text) { rt::event([&] { ctlEmulator_StatusChange(text); }); });
    connect(e, &emu::nvEmulator::TermChange, this,
        [this](rt::Int type) { rt::event([&] { ctlEmulator_TermChange(type); }); });
    // StateNotify: nothing to do.
}

void frmMdiChild::setTool(rt::Long tool, rt::Long property, const QVariant &value)
{
    if (m_menu)
        m_menu->SetTool(tool, property, value);
}

void frmMdiChild::recalcLayout()
{
    if (m_menu)
        m_menu->RecalcLayout();
}

void frmMdiChild::ctlEmulator_ButtonPress(rt::Int *button)
{
    if (*button == 2 && widget())
        widget()->setFocus();
}

void frmMdiChild::ctlEmulator_CaptureChange(rt::Int capturing)
{
    rt::Proc h(kModule, "ctlEmulator_CaptureChange");
    h([&] {
        setTool(ToolCapture, PropCaption,
            capturing ? QStringLiteral("Capture On") : QStringLiteral("Capture Off"));
        recalcLayout();
    });
}

void frmMdiChild::ctlEmulator_CloseSession()
{
    rt::Proc h(kModule, "ctlEmulator_CloseSession");
    h([&] {
        if (const SessionPtr session = sessionOf(Tag))
            session->Terminate(0);
    });
}

void frmMdiChild::ctlEmulator_CommError(rt::Long *code, rt::Int show)
{
    rt::Proc h(kModule, "ctlEmulator_CommError");
    h([&] {
        const SessionPtr session = sessionOf(Tag);
        if (!session)
            return;
        const rt::Int device = session->EmulatorSettings().Device();
        if (session->AutoClose() || device == emu::device::Telnet || device == emu::device::Ssh) {
            for (rt::Long lost : ErrConnectionLost) {
                if (*code == lost)
                    *code = 0;
            }
        }
        if (!session->ShowErrs() && show == 0)
            *code = 0;
    });
}

void frmMdiChild::ctlEmulator_ContextMenu(rt::Int kind, const QString &bandName)
{
    rt::ResumeNext quiet;
    quiet([&] {
        if (!m_menu)
            return;
        const QString name
            = kind == 3 && !bandName.isEmpty() ? bandName : QStringLiteral("ContextMenu");
        m_menu->MnuBands(name)->MousePopup();
    });
    rt::debugSwallowed(lcSession(), quiet, "no popup band", bandName);
}

void frmMdiChild::ctlEmulator_DataReady()
{
    rt::Proc h(kModule, "ctlEmulator_DataReady");
    h([&] {
        if (const SessionPtr session = sessionOf(Tag))
            session->RaiseDataReady();
    });
}

void frmMdiChild::ctlEmulator_DeviceChange(rt::Int device, QString *name)
{
    rt::Proc h(kModule, "ctlEmulator_DeviceChange");
    h([&] {
        if (name->isEmpty())
            *name = QStringLiteral("No Device");
        setTool(ToolDial, PropEnabled, flag(device == emu::device::Modem));
        setTool(ToolDevice, PropCaption, name->left(DeviceCaptionLength));
        if (m_status.isEmpty())
            showStatus(device);
        recalcLayout();
    });
}

void frmMdiChild::ctlEmulator_Disconnect()
{
    rt::Proc h(kModule, "ctlEmulator_Disconnect");
    h([&] {
        const SessionPtr session = sessionOf(Tag);
        if (!session)
            return;
        if (session->AutoClose()) {
            session->Terminate(1);
            return;
        }
        const rt::Int device = session->EmulatorSettings().Device();
        if ((device != emu::device::Telnet && device != emu::device::Ssh) || m_isClosing)
            return;
        showReconnectPanel();
        rt::ResumeNext quiet;
        quiet([&] {
            if (isActiveChild())
                m_okRecon->setFocus();
        });
        QApplication::beep();
    });
}

// A script from the host runs when the user allows it (scriptconsent.h); a script that does not
// run is answered to the host with the reason.
void frmMdiChild::ctlEmulator_ExecScript(const QString &script, rt::Int asynchronous)
{
    rt::Proc h(kModule, "ctlEmulator_ExecScript");
    h([&] {
        const SessionPtr session = sessionOf(Tag);
        if (!session)
            return;
        const QString host = ScriptConsent::LinkHostOf(*m_emulator);
        const bool async = asynchronous != 0;
        if (ScriptConsent::IsAllowed(host)) {
            runHostScript(script, async);
        } else if (!rt::userCanAnswer()) {
            rt::logUnanswered(QStringLiteral("question to run a script of ") + host,
                ScriptConsent::FirstLine(script), QStringLiteral("Don't run"));
            refuseHostScript(host, QStringLiteral("Nobody can allow the script to run"));
        } else if (const QString open = hostDialogOpen(); !open.isEmpty()) {
            refuseHostScript(host, open);
        } else {
            m_scriptQuestion = ScriptConsent::Ask(widget(), host, script,
                [this, host, script, async](ScriptConsent::Answer answer) {
                    m_scriptQuestion = nullptr; // answered: the host may ask again
                    rt::event([&] { scriptQuestionAnswered(answer, host, script, async); });
                });
        }
    });
}

void frmMdiChild::scriptQuestionAnswered(
    ScriptConsent::Answer answer, const QString &host, const QString &script, bool async)
{
    rt::Proc h(kModule, "ctlEmulator_ExecScript");
    h([&] {
        if (m_isClosing || !sessionOf(Tag))
            return;
        if (answer == ScriptConsent::Answer::DontRun) {
            refuseHostScript(host, QStringLiteral("The user did not allow the script to run"));
            return;
        }
        if (ScriptConsent::LinkHostOf(*m_emulator) != host) {
            refuseHostScript(host, QStringLiteral("The link to the host changed meanwhile"));
            return;
        }
        if (answer == ScriptConsent::Answer::Always && !ScriptConsent::Allow(host))
            qCWarning(lcSession) << "scripts of" << host << "allowed this time only:"
                                 << "the settings store cannot be written";
        runHostScript(script, async);
    });
}

QString frmMdiChild::hostDialogOpen() const
{
    if (m_scriptQuestion)
        return QStringLiteral("Another script of the host awaits the user's answer");
    if (m_requestDialog)
        return QStringLiteral("Another request of the host awaits the user's answer");
    return QString();
}

void frmMdiChild::runDialogRequest(const char *request, const char *procedure, bool later,
    std::function<void(SessionBase &session)> work)
{
    if (!sessionOf(Tag))
        return;
    if (const QString open = hostDialogOpen(); !open.isEmpty()) {
        qCInfo(lcSession).noquote() << request << "of" << ScriptConsent::LinkHostOf(*m_emulator)
                                    << "dropped:" << open;
        return;
    }
    m_requestDialog = true;
    const auto run = [this, procedure, work = std::move(work)] {
        const auto done = qScopeGuard([this] { m_requestDialog = false; });
        rt::Proc h(kModule, procedure);
        h([&] {
            if (const SessionPtr session = sessionOf(Tag))
                work(*session);
        });
    };
    if (later)
        QMetaObject::invokeMethod(this, [run] { rt::event(run); }, Qt::QueuedConnection);
    else
        run();
}

void frmMdiChild::runHostScript(const QString &script, bool async)
{
    rt::Long errNum = 0;
    QString errMsg;
    Nvmain::RunScript(rt::CInt(rt::Val(Tag)), script, async, errNum, errMsg);
}

void frmMdiChild::refuseHostScript(const QString &host, const QString &why)
{
    qCInfo(lcSession).noquote() << "script of" << host << "not run:" << why;
    m_emulator->ScriptError(rt::err::PermissionDenied, why);
}

void frmMdiChild::ctlEmulator_Extension(QString *command)
{
    rt::Proc h(kModule, "ctlEmulator_Extension");
    h([&] {
        if (const SessionPtr session = sessionOf(Tag))
            session->RaiseExtension(*command);
    });
}

void frmMdiChild::ctlEmulator_HistoryChange(rt::Int shown, rt::Int locked)
{
    rt::Proc h(kModule, "ctlEmulator_HistoryChange");
    h([&] {
        if (shown) {
            setTool(ToolLockHistory, PropVisible, flag(true));
            setTool(ToolUnlockHistory, PropVisible, flag(true));
            setTool(ToolLockHistory, PropEnabled, flag(locked == 0));
            setTool(ToolUnlockHistory, PropEnabled, flag(locked != 0));
            setTool(ToolHistory, PropVisible, flag(true));
        } else {
            setTool(ToolLockHistory, PropVisible, flag(false));
            setTool(ToolUnlockHistory, PropVisible, flag(false));
            setTool(ToolHistory, PropVisible, flag(false));
        }
        recalcLayout();
    });
}

void frmMdiChild::ctlEmulator_KeyboardLockChange(rt::Int locked)
{
    rt::Proc h(kModule, "ctlEmulator_KeyboardLockChange");
    h([&] {
        setTool(ToolKeyboardLock, PropVisible, flag(locked != 0));
        recalcLayout();
    });
}

void frmMdiChild::ctlEmulator_LoadSettings()
{
    runDialogRequest("load-settings", "ctlEmulator_LoadSettings", false,
        [](SessionBase &session) { session.setFileName(session.FileName()); });
}

// The location field follows the cursor at most once a frame: under a flood of host text the
// cursor moves with every read, and each new caption lays the status band out again. A location
// that comes sooner is shown when the frame is over (the newest one only).
void frmMdiChild::ctlEmulator_LocationChange(rt::Int col, rt::Int row, rt::Int page)
{
    m_location = QString::number(col) + u',' + QString::number(row) + u',' + QString::number(page);
    if (m_locationTimer.isActive())
        return;
    const qint64 since = m_locationShown.isValid() ? m_locationShown.elapsed() : LocationPeriodMs;
    if (since >= LocationPeriodMs)
        showLocation();
    else
        m_locationTimer.start(int(LocationPeriodMs - since));
}

void frmMdiChild::showLocation()
{
    rt::Proc h(kModule, "ctlEmulator_LocationChange");
    h([&] {
        m_locationShown.start();
        setTool(ToolLocation, PropCaption, m_location);
        recalcLayout();
    });
}

void frmMdiChild::ctlEmulator_PrinterChange(rt::Int state)
{
    rt::Proc h(kModule, "ctlEmulator_PrinterChange");
    h([&] {
        setTool(ToolPrinterToggle, PropChecked, flag(state == emu::printerstate::On));
        QString caption;
        if (state == emu::printerstate::Off)
            caption = QStringLiteral("Off");
        else if (state == emu::printerstate::Idle)
            caption = QStringLiteral("Idle");
        else if (state == emu::printerstate::On)
            caption = QStringLiteral("On");
        setTool(ToolPrinter, PropCaption, caption);
        recalcLayout();
    });
}

// A session without a file asks for one (Save As).
void frmMdiChild::ctlEmulator_SaveSettings()
{
    const SessionPtr session = sessionOf(Tag);
    const bool asks = session && session->FileName().isEmpty();
    runDialogRequest("save-settings", "ctlEmulator_SaveSettings", asks,
        [](SessionBase &session) { session.Save(QString()); });
}

void frmMdiChild::ctlEmulator_ScreenChange(rt::Int cols, rt::Int rows, rt::Int pages, rt::Int extended)
{
    rt::Proc h(kModule, "ctlEmulator_ScreenChange");
    h([&] {
        setTool(ToolScreen, PropCaption,
            QString::number(cols) + u',' + QString::number(rows) + u',' + QString::number(pages));
        setTool(ToolNormMode, PropEnabled, flag(extended != 0));
        setTool(ToolExtMode, PropEnabled, flag(extended == 0));
        recalcLayout();
    });
}

void frmMdiChild::ctlEmulator_ServerExit()
{
    rt::Proc h(kModule, "ctlEmulator_ServerExit");
    h([&] {
        const SessionPtr session = sessionOf(Tag);
        if (!session)
            return;
        session->setServerMode(rt::False);
        session->setServerName(QString());
        setLinkTopic(Nvmain::MakeTopicName(session->FileName(), rt::CInt(rt::Val(session->ID()))));
        Nvmain::UpdateTopicList();
    });
}

void frmMdiChild::ctlEmulator_ServerResult(
    const QString &result, const QString &errNum, const QString &errMsg)
{
    rt::Proc h(kModule, "ctlEmulator_ServerResult");
    h([&] {
        if (const SessionPtr session = sessionOf(Tag))
            session->ServerResult(result, errNum, errMsg);
    });
}

void frmMdiChild::ctlEmulator_ServerStart(const QString &name)
{
    rt::Proc h(kModule, "ctlEmulator_ServerStart");
    h([&] {
        const SessionPtr session = sessionOf(Tag);
        if (!session)
            return;
        for (const ServerNameRule &rule : kServerNameRules) {
            if (rule.refuses(name, m_topic)) {
                qCInfo(lcSession).noquote()
                    << "server-start of" << ScriptConsent::LinkHostOf(*m_emulator) << "refused:"
                    << QLatin1String(rule.why) + QStringLiteral(": ") + QDebug::toString(name);
                return;
            }
        }
        session->setServerMode(rt::True);
        session->setServerName(name);
        setLinkTopic(name);
        Nvmain::UpdateTopicList();
    });
}

// A session that has not tried to connect yet says how it connects: a modem by dialling, other
// devices by the host set in the settings.
void frmMdiChild::showStatus(rt::Int device)
{
    // A session that has not tried to connect yet says where its connection is set; one whose
    // link is not the one its settings name says how to change over.
    QString caption = m_status;
    if (caption.isEmpty())
        caption = device == emu::device::Modem ? kNotDialled : kNotConnected;
    if (m_emulator->Connected() != 0 && !m_emulator->LinkFollowsSettings())
        caption += kSettingsWait;
    setTool(ToolStatus, PropCaption, caption);
    recalcLayout();
}

void frmMdiChild::ctlEmulator_StatusChange(const QString &text)
{
    rt::Proc h(kModule, "ctlEmulator_StatusChange");
    h([&] {
        m_status = text;
        const SessionPtr session = sessionOf(Tag);
        showStatus(session ? session->EmulatorSettings().Device() : emu::device::None);
    });
}

void frmMdiChild::ctlEmulator_TermChange(rt::Int termType)
{
    rt::Proc h(kModule, "ctlEmulator_TermChange");
    h([&] { setTool(ToolTermType, PropCaption, Globals::LoadResStr(rt::Int(1000 + termType))); });
}
