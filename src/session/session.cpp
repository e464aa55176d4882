#include "session/session.h"

#include "app/appglobals.h"
#include "app/errhndlr.h"
#include "app/files.h"
#include "app/mainwindow.h"
#include "app/msgbox.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "app/profile.h"
#include "app/strfunc.h"
#include "automation/bridge.h"
#include "commondlg/commondlg.h"
#include "dde/ddetopic.h"
#include "emulator/emulator.h"
#include "inifile/inifile.h"
#include "interfaces/sessioniface.h"
#include "menus/menus.h"
#include "runtime/errnum.h"
#include "runtime/screen.h"
#include "runtime/values.h"
#include "runtime/wholefile.h"
#include "session/mdichild.h"
#include "session/serverq.h"
#include "session/sessions.h"

#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QLoggingCategory>
#include <QPixmap>
#include <QRegularExpression>
#include <QTextStream>
#include <initializer_list>
#include <limits>

Q_LOGGING_CATEGORY(lcSession, "norvalis.session", QtInfoMsg)

rt::Int gSessionCounter = 0;

namespace {

constexpr const char *kModule = "session";
// The highest session number whose menu can hold every command number: a tool's control ID is the
// menu number x MenuIdFactor + the command number, in 32 bits.
constexpr rt::Int MaxSessionNumber
    = rt::Int((std::numeric_limits<rt::Long>::max() - (MenuIdFactor - 1)) / MenuIdFactor);
const QString kDefaultSessionMenu = QStringLiteral("dfltsess.mnu");

const QChar Q = u'"';
const QString CRLF = QStringLiteral("\r\n");

// The main window's frame (91 when there is none).
rt::MdiForm &mainFrame()
{
    MainWindow *main = TheMainWindow();
    if (!main)
        rt::raise(rt::err::ObjectNotSet);
    return main->form();
}

Norvalis &application()
{
    if (!gApp)
        rt::raise(rt::err::ObjectNotSet);
    return *gApp;
}

// A procedure whose errors of the numbers given go back to the caller without a dialog; any
// other error goes through the error reporter.
template<class F>
void withSilentErrors(const char *procedure, std::initializer_list<rt::Long> silent, F &&body)
{
    rt::Proc h(kModule, procedure);
    h([&] {
        try {
            body();
        } catch (const rt::Error &error) {
            for (rt::Long number : silent) {
                if (error.number == number)
                    ErrHndlr::gErrReturn = true;
            }
            throw;
        }
    });
}

rt::Long toPixels(rt::Long twips, double twipsPerPixel)
{
    return rt::IntDiv(twips, twipsPerPixel);
}

rt::Long toTwips(rt::Long pixels, double twipsPerPixel)
{
    return rt::CLng(pixels * twipsPerPixel);
}

// The session file's own keys, in the order they are read and written.
constexpr const char *kSection = "Norvalis";
// Files the session reads whole, with their bounds: a larger one is refused.
constexpr qint64 kMaxMouseTableBytes = 1024 * 1024;
constexpr qint64 kMaxIconBytes = 8 * 1024 * 1024;

} // namespace

// The session's own settings as the SessionSettings interface sees them.
class clsSession::OwnSettings : public SessionSettings
{
public:
    explicit OwnSettings(clsSession &session)
        : m_session(session)
    { }

    QString Menu() const override { return m_session.MenuFileName(); }
    void setMenu(const QString &fileName) override { m_session.setMenuFileName(fileName); }
    QString Caption() const override { return m_session.Caption(); }
    void setCaption(const QString &caption) override { m_session.setCaption(caption); }
    QString Icon() const override { return m_session.Icon(); }
    void setIcon(const QString &fileName) override { m_session.setIcon(fileName); }
    rt::Int ShowErrs() const override { return m_session.ShowErrs(); }
    void setShowErrs(rt::Int on) override { m_session.setShowErrs(on); }
    rt::Int AutoClose() const override { return m_session.AutoClose(); }
    void setAutoClose(rt::Int on) override { m_session.setAutoClose(on); }
    QString MouseTable() const override { return m_session.CustomMouseTable(); }
    void setMouseTable(const QString &fileName) override
    {
        m_session.setCustomMouseTable(fileName);
    }

private:
    clsSession &m_session;
};

// ---- Birth and death ----

clsSession::clsSession()
    : m_ownSettings(std::make_unique<OwnSettings>(*this))
{ }

SessionSettings &clsSession::AsSessionSettings()
{
    return *m_ownSettings;
}

std::shared_ptr<clsSession> clsSession::create()
{
    std::shared_ptr<clsSession> session(new clsSession);
    session->Class_Initialize();
    return session;
}

rt::Int clsSession::nextNumber()
{
    for (int tried = 0; tried < MaxSessionNumber; ++tried) {
        gSessionCounter = gSessionCounter >= MaxSessionNumber ? rt::Int(1) : rt::Int(gSessionCounter + 1);
        if (!gApp || !gApp->ClsSessions().clsItem(QString::number(gSessionCounter)))
            return gSessionCounter;
    }
    rt::raise(rt::err::Overflow);
}

void clsSession::Class_Initialize()
{
    // A session that could not get its number, window or collection entry is no session: those
    // errors go to the caller.
    const rt::Int number = nextNumber();
    m_id = QString::number(number);
    m_iface = new SessionDefaultIface(weak_from_this());
    m_sessionIface = new SessionIface(weak_from_this());
    m_settingsIface = new SessionSettingsIface(weak_from_this());
    m_window = std::make_unique<frmMdiChild>(&mainFrame());
    m_window->load();
    m_window->Tag = m_id;
    m_emulator = m_window->ctlEmulator();
    application().ClsSessions().clsAdd(shared_from_this(), m_id);

    rt::Proc h(kModule, "Class_Initialize");
    h([&] { LoadGlobalSettings(); });
    h([&] { SetSessionTitle(); });
    h([&] {
        if (!gActivationList)
            rt::raise(rt::err::ObjectNotSet);
        gActivationList->Add(number);
    });
    h([&] {
        if (!gMenus)
            rt::raise(rt::err::ObjectNotSet);
        m_menu = gMenus->AddNew(number);
    });
    h([&] {
        m_menuFileName.clear();
        setMenuFileName(QString());
        m_changed = rt::False;
    });
    h([&] { showMenuBands(); });
    h([&] { m_window->setMenu(m_menu); });
    h([&] { m_window->UpdateStatus = true; });
    h([&] {
        m_window->setLinkTopic(Nvmain::MakeTopicName(QString(), number));
        Nvmain::UpdateTopicList();
        m_window->setLinkSource();
    });
    // Clients find the session at /Sessions/<ID> from its birth on (and hear its events there),
    // with its three interfaces.
    {
        rt::ResumeNext quiet;
        quiet([&] {
            automation::Bridge &bridge = automation::Bridge::instance();
            const QString path = bridge.pathOf(m_iface);
            bridge.exportObject(m_sessionIface, path);
            bridge.exportObject(m_settingsIface, path);
        });
        rt::debugSwallowed(lcSession(), quiet, "session not on the bus", m_id);
    }
    gSessionCreated = true;
}

clsSession::~clsSession()
{
    rt::ResumeNext quiet;
    m_emulator = nullptr;
    if (m_window) {
        quiet([&] {
            m_window->OkToUnload = true;
            m_window->unload(rt::vbFormCode);
        });
        // The window object may be in the middle of one of its own events: it goes once they end.
        m_window.release()->deleteLater();
    }
    m_menu.reset();
    quiet([&] {
        if (gMenus && !m_id.isEmpty())
            gMenus->Remove(QVariant(m_id));
    });
    quiet([&] { Nvmain::UpdateTopicList(); });
    delete m_settingsIface;
    delete m_sessionIface;
    delete m_iface;
}

// ---- SessionBase ----

emu::Settings &clsSession::EmulatorSettings() const
{
    if (!m_emulator)
        rt::raise(rt::err::ObjectNotSet);
    return *m_emulator->Settings();
}

QObject *clsSession::AutomationObject()
{
    return m_iface;
}

SessionWindow *clsSession::Window() const
{
    return m_window.get();
}

frmMdiChild *clsSession::frmSession() const
{
    if (!m_window)
        rt::raise(rt::err::ObjectNotSet);
    return m_window.get();
}

emu::nvEmulator *clsSession::Emulator() const
{
    if (!m_emulator)
        rt::raise(rt::err::ObjectNotSet);
    return m_emulator;
}

QString clsSession::PasteFromFileName() const
{
    return m_pasteFromFileName;
}

void clsSession::Paste(const QString &fileName)
{
    QString name = fileName;
    if (!name.isEmpty())
        m_pasteFromFileName = name;
    Emulator()->Paste(&name);
}

bool clsSession::ServerRequest(const std::shared_ptr<clsServer> &request, const QString &text)
{
    bool ok = false;
    rt::Proc h(kModule, "ServerRequest");
    h([&] {
        if (!m_serverQueue) {
            const std::weak_ptr<clsSession> self = weak_from_this();
            m_serverQueue = std::make_shared<ServerQueue>(ServerQueue::Session {
                [self] {
                    const auto session = self.lock();
                    return session && session->m_serverMode && !session->m_closing;
                },
                [self](const QString &text) {
                    const auto session = self.lock();
                    if (!session)
                        rt::raise(rt::err::ObjectNotSet);
                    return session->Emulator()->ServerRequest(text);
                } });
        }
        ok = m_serverQueue->AddRequest(request, text);
    });
    return ok;
}

void clsSession::setServerMode(rt::Int on)
{
    rt::Proc h(kModule, "Let ServerMode");
    h([&] {
        m_serverMode = on ? rt::True : rt::False;
        if (!m_serverMode && m_serverQueue)
            m_serverQueue->Shutdown();
    });
}

void clsSession::setServerName(const QString &name)
{
    m_serverName = name;
    SetSessionTitle();
}

void clsSession::ServerResult(const QString &result, const QString &errNum, const QString &errMsg)
{
    rt::Proc h(kModule, "ServerResult");
    h([&] {
        // Without a request queue there is nobody to hand the answer to.
        if (!m_serverQueue)
            return;
        const std::shared_ptr<ServerQueue> queue = m_serverQueue;
        rt::Long number = 0;
        try {
            // Val reads a number beyond the double's range as 0: one with more digits than any
            // 32-bit number is out of range whatever its digits say.
            static const QRegularExpression longNumber(QStringLiteral("^-?0*[1-9][0-9]{10}"));
            if (longNumber.match(errNum).hasMatch())
                rt::raise(rt::err::Overflow);
            number = rt::CLng(rt::Val(errNum));
        } catch (...) {
            // The answer still completes its request, with the error the number gave.
            const rt::Error error = rt::currentError();
            qCDebug(lcSession) << "host error number" << errNum.left(40) << "unusable:"
                               << error.description;
            queue->ReturnServerResult(QString(), error.number, error.description);
            return;
        }
        queue->ReturnServerResult(result, number, errMsg);
    });
}

void clsSession::RaiseExtension(QString &cmd)
{
    if (m_iface)
        m_iface->raiseExtension(cmd);
}

void clsSession::RaiseDataReady()
{
    if (m_iface)
        emit m_iface->DataReady();
}

// ---- Closing ----

void clsSession::Terminate(rt::Int prompt)
{
    if (m_closing)
        return;
    if ((prompt & 2) && !askToDisconnect())
        return;
    if ((prompt & 1) && !askToSave())
        return;
    closeNow();
}

// The disconnect question; false when the session stays open. Hanging up a modem may fail: that
// error goes to the caller and the session stays open.
bool clsSession::askToDisconnect()
{
    bool ask = false;
    QString title;
    rt::Int device = 0;
    QString host;
    {
        rt::Proc h(kModule, "Close");
        h([&] {
            title = m_window->caption();
            ask = Emulator()->Connected() != 0 && !application().NoCloseWarning();
        });
        if (!ask)
            return true;
        h([&] {
            device = EmulatorSettings().Device();
            host = EmulatorSettings().HostName();
        });
    }
    if (device == emu::device::Serial)
        return true;
    const bool modem = device == emu::device::Modem;
    QString question;
    rt::Int buttons = MsgBox::YesNo;
    if (modem) {
        question = QStringLiteral("Do you want to disconnect dial-up") + CRLF
            + QStringLiteral("connection for ") + Q + title + Q + QStringLiteral(" ?");
    } else {
        question = QStringLiteral("Do you want to disconnect session") + CRLF + Q + title + Q
            + QStringLiteral(" from ") + host + QStringLiteral(" ?");
        if (gTerminating && application().ClsSessions().Count() >= 2)
            buttons = MsgBox::YesAllNo;
    }
    rt::Int answer
        = Nvmain::MessageBox(question, buttons + MsgBox::Question + MsgBox::NotAgainFlag);
    if (answer & MsgBox::NotAgainFlag) {
        application().setNoCloseWarning(rt::True);
        answer = rt::Int(answer & ~MsgBox::NotAgainFlag);
    }
    if (modem) {
        if (answer != MsgBox::Yes)
            return false;
        Emulator()->HangUp(0);
        return true;
    }
    if (answer == MsgBox::All)
        gTerminatePrompt = 0;
    return answer == MsgBox::Yes || answer == MsgBox::All;
}

// The save question; false when the session stays open (Cancel, a cancelled Save As, or a save
// that did not reach the file).
bool clsSession::askToSave()
{
    if (!Changed())
        return true;
    QString title;
    rt::Proc h(kModule, "Close");
    h([&] { title = m_window->caption(); });
    const rt::Int answer = Nvmain::MessageBox(QStringLiteral("Do you want to save your changes to ")
            + CRLF + Q + title + Q + QStringLiteral(" ?"),
        MsgBox::YesNoCancel + MsgBox::Question);
    if (answer == MsgBox::Cancel)
        return false;
    if (answer != MsgBox::Yes)
        return true;
    if (!m_fileName.isEmpty())
        Save(QString());
    else if (SaveAs())
        return false;
    return !Changed();
}

void clsSession::closeNow()
{
    rt::ResumeNext quiet;
    m_closing = true;
    quiet([&] { m_window->setIsClosing(true); });
    quiet([&] { m_window->hide(); });
    quiet([&] { Emulator()->Shutdown(); });
    // The host program goes with the session: its clients hear so at once.
    quiet([&] { setServerMode(rt::False); });
    gCleanupPending = true;
    quiet([&] {
        if (!gCleanupTimer)
            rt::raise(rt::err::ObjectNotSet);
        gCleanupTimer->setEnabled(true);
    });
    rt::debugSwallowed(lcSession(), quiet, "closing step failed");
}

// ---- Window verbs ----

void clsSession::Show()
{
    rt::Proc h(kModule, "Show");
    h([&] {
        if (!m_closing)
            m_window->show();
    });
}

void clsSession::Hide()
{
    rt::Proc h(kModule, "Hide");
    h([&] {
        if (!m_closing)
            m_window->hide();
    });
    rt::ResumeNext quiet;
    quiet([&] {
        const rt::Form *active = mainFrame().activeForm();
        gMenus->setActiveMenu(active ? rt::CLng(rt::Val(active->Tag)) : 0);
    });
    rt::debugSwallowed(lcSession(), quiet, "active menu not switched");
}

void clsSession::Resize(rt::Long width, rt::Long height)
{
    withSilentErrors("Resize", { rt::err::ObjectNotSet, rt::err::FormMinimizedOrMaximized }, [&] {
        m_window->move(m_window->left(), m_window->top(), toTwips(width, rt::TwipsPerPixelX()),
            toTwips(height, rt::TwipsPerPixelY()));
    });
}

void clsSession::Move(rt::Long left, rt::Long top, rt::Long width, rt::Long height)
{
    withSilentErrors("Move", { rt::err::ObjectNotSet, rt::err::FormMinimizedOrMaximized }, [&] {
        if (top == rt::OmittedLong)
            top = toPixels(m_window->top(), rt::TwipsPerPixelY());
        if (width == rt::OmittedLong)
            width = toPixels(m_window->width(), rt::TwipsPerPixelX());
        if (height == rt::OmittedLong)
            height = toPixels(m_window->height(), rt::TwipsPerPixelY());
        m_window->move(toTwips(left, rt::TwipsPerPixelX()), toTwips(top, rt::TwipsPerPixelY()),
            toTwips(width, rt::TwipsPerPixelX()), toTwips(height, rt::TwipsPerPixelY()));
    });
}

void clsSession::Activate()
{
    withSilentErrors("Activate", { rt::err::ObjectNotSet }, [&] {
        QWidget *window = m_window->windowWidget();
        if (!window)
            rt::raise(rt::err::ObjectNotSet);
        // In the main window the front session window is the one that takes the keys.
        auto *sub = qobject_cast<QMdiSubWindow *>(window);
        if (sub && sub->mdiArea() && !sub->isHidden())
            sub->mdiArea()->setActiveSubWindow(sub);
        else
            window->raise();
    });
}

// ---- Mouse table ----

void clsSession::MouseTableLoad(const QString &fileName)
{
    {
        rt::Proc h(kModule, "MouseTableLoad");
        h([&] { Emulator()->MouseTableReset(); });
    }
    if (fileName.isEmpty())
        return;
    // Reading errors go to the caller (without a dialog); the entries before stay.
    const QString text = QString::fromUtf8(rt::readNamedFile(fileName, kMaxMouseTableBytes));
    rt::Proc h(kModule, "MouseTableLoad");
    // Lines end in LF or CR LF; a lone CR belongs to the texts of the line.
    for (QString line : text.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.trimmed().startsWith(u';'))
            continue;
        const QStringList fields = line.split(u'\t');
        const rt::Int button = rt::CInt(QVariant(fields.value(0)));
        const QString pattern = fields.value(1);
        const QString click = Strfunc::ArrowToCtrl(fields.value(2));
        const QString doubleClick = Strfunc::ArrowToCtrl(fields.value(3));
        h([&] { Emulator()->MouseTableAdd(button, pattern, click, doubleClick); });
    }
}

// ---- Properties ----

rt::Int clsSession::Visible() const
{
    return rt::BoolToInt(frmSession()->isVisible());
}

void clsSession::setVisible(rt::Int visible)
{
    rt::Proc h(kModule, "Let Visible");
    h([&] {
        if (m_closing)
            return;
        if (visible)
            Show();
        else
            Hide();
    });
}

#define SESSION_POSITION(Name, Axis, Getter)                                                       \
    rt::Long clsSession::Name() const                                                              \
    {                                                                                              \
        rt::Long value = 0;                                                                        \
        withSilentErrors("Get " #Name, { rt::err::ObjectNotSet },                                  \
            [&] { value = toPixels(frmSession()->Getter(), rt::TwipsPerPixel##Axis()); });         \
        return value;                                                                              \
    }
SESSION_POSITION(Left, X, left)
SESSION_POSITION(Top, Y, top)
SESSION_POSITION(Width, X, width)
SESSION_POSITION(Height, Y, height)
#undef SESSION_POSITION

void clsSession::setLeft(rt::Long value)
{
    withSilentErrors("Let Left", { rt::err::ObjectNotSet }, [&] {
        frmMdiChild *w = frmSession();
        w->move(toTwips(value, rt::TwipsPerPixelX()), w->top());
    });
}

void clsSession::setTop(rt::Long value)
{
    withSilentErrors("Let Top", { rt::err::ObjectNotSet }, [&] {
        frmMdiChild *w = frmSession();
        w->move(w->left(), toTwips(value, rt::TwipsPerPixelY()));
    });
}

void clsSession::setWidth(rt::Long value)
{
    withSilentErrors("Let Width", { rt::err::ObjectNotSet },
        [&] { frmSession()->setWidth(toTwips(value, rt::TwipsPerPixelX())); });
}

void clsSession::setHeight(rt::Long value)
{
    withSilentErrors("Let Height", { rt::err::ObjectNotSet },
        [&] { frmSession()->setHeight(toTwips(value, rt::TwipsPerPixelY())); });
}

void clsSession::setCaption(const QString &caption)
{
    rt::Proc h(kModule, "Let Caption");
    h([&] {
        if (caption == m_caption)
            return;
        m_caption = caption;
        m_changed = rt::True;
        SetSessionTitle();
    });
}

void clsSession::setIcon(const QString &icon)
{
    rt::Proc h(kModule, "Let Icon");
    h([&] {
        if (icon == m_icon)
            return;
        m_icon = icon;
        m_changed = rt::True;
        ApplyIcon();
    });
}

void clsSession::setAutoClose(rt::Int on)
{
    rt::Proc h(kModule, "Let AutoClose");
    h([&] {
        const rt::Int value = on ? rt::True : rt::False;
        if (value == m_autoClose)
            return;
        m_autoClose = value;
        m_changed = rt::True;
    });
}

void clsSession::setShowErrs(rt::Int on)
{
    rt::Proc h(kModule, "Let ShowErrs");
    h([&] {
        const rt::Int value = on ? rt::True : rt::False;
        if (value == m_showErrs)
            return;
        m_showErrs = value;
        m_changed = rt::True;
    });
}

rt::Int clsSession::WindowState() const
{
    return frmSession()->windowState();
}

void clsSession::setWindowState(rt::Int state)
{
    frmSession()->setWindowState(state);
}

rt::Int clsSession::Changed() const
{
    if (!m_changed && EmulatorSettings().Changed())
        m_changed = rt::True;
    return m_changed;
}

void clsSession::setChanged(rt::Int changed)
{
    if (changed) {
        m_changed = rt::True;
        return;
    }
    m_changed = rt::False;
    EmulatorSettings().setChanged(false);
}

QString clsSession::DialedNumber() const
{
    return application().DialedNumber();
}

void clsSession::setDialedNumber(const QString &number)
{
    application().setDialedNumber(number);
}

QString clsSession::DialedName() const
{
    return application().DialedName();
}

void clsSession::setDialedName(const QString &name)
{
    application().setDialedName(name);
}

QString clsSession::PhoneBookName() const
{
    return application().PhoneBookName();
}

void clsSession::setPhoneBookName(const QString &name)
{
    application().setPhoneBookName(name);
}

QString clsSession::DDEResult() const
{
    return frmSession()->topic()->item(QStringLiteral("Result"));
}

void clsSession::setDDEResult(const QString &text)
{
    frmSession()->topic()->setItem(QStringLiteral("Result"), text);
}

rt::Long clsSession::hWnd() const
{
    return Emulator()->hWnd();
}

emu::Settings *clsSession::Settings() const
{
    return &EmulatorSettings();
}

// ---- Title, global settings, menu ----

void clsSession::SetSessionTitle()
{
    rt::Proc h(kModule, "SetSessionTitle");
    h([&] {
        QString title;
        if (m_serverMode)
            title = m_serverName;
        else if (!m_caption.isEmpty())
            title = m_caption;
        else if (!m_fileName.isEmpty())
            title = Strfunc::Field(Files::GetFileName(m_fileName), QStringLiteral("."), 1);
        else
            title = QStringLiteral("New Session");
        const QString caption = title + QStringLiteral(" (") + m_id + u')';
        frmSession()->setCaption(caption);
        Emulator()->setCaption(caption);
    });
}

void clsSession::LoadGlobalSettings()
{
    rt::Proc h(kModule, "LoadGlobalSettings");
    h([&] { takeApplicationDirectories(); });
    rt::ResumeNext quiet;
    quiet([&] {
        m_customMouseTable = application().CustomMouseTable();
        MouseTableLoad(m_customMouseTable);
    });
    rt::debugSwallowed(lcSession(), quiet, "mouse table not loaded", m_customMouseTable);
}

// The Settings object's defaults and a session file's values replace the directories, so a
// session takes the application's again after each load: for each one it has none of. Taking
// them is no change to save.
void clsSession::takeApplicationDirectories()
{
    emu::Settings &settings = EmulatorSettings();
    const bool changed = settings.Changed();
    if (settings.DefaultCaptureDir().isEmpty())
        settings.setDefaultCaptureDir(application().DefaultCaptureDir());
    if (settings.DefaultXferDir().isEmpty())
        settings.setDefaultXferDir(application().DefaultXferDir());
    settings.setChanged(changed);
}

void clsSession::setMenu(MenuPtr menu)
{
    m_menu = std::move(menu);
    frmSession()->setMenu(m_menu);
}

void clsSession::setMenuFileName(const QString &name)
{
    rt::ResumeNext quiet;
    if (name == m_menuFileName && m_menuLoaded)
        return;
    m_changed = rt::True;
    m_menuFileName = name;
    quiet([&] { loadMenuFile(name.isEmpty() ? kDefaultSessionMenu : name); });
    if (m_menuLoaded) {
        quiet([&] { showMenuBands(); });
        quiet([&] { frmSession()->UpdateStatus = true; });
    }
    m_menuLoaded = true;
}

// A file that is not found is tried once more by its name alone; only when that fails too does
// the user hear of it.
void clsSession::loadMenuFile(const QString &name)
{
    if (!m_menu)
        rt::raise(rt::err::ObjectNotSet);
    try {
        m_menu->Load(name);
        return;
    } catch (const rt::Error &error) {
        if (error.number != rt::err::FileNotFound) {
            rt::debugSwallowed(lcSession(), error, "session menu not loaded", name);
            return;
        }
    }
    try {
        m_menu->Load(Files::GetFileName(name));
    } catch (const rt::Error &) {
        Nvmain::MessageBox(QStringLiteral("The session menu file (") + name
                + QStringLiteral(") is missing or corrupt. To restore the menu file to its "
                                 "original state, copy the stdsess.mnu file over dfltsess.mnu "
                                 "and remove the MenuFileName item from the ")
                + m_fileName + QStringLiteral(" file."),
            MsgBox::Exclamation);
    }
}

void clsSession::showMenuBands()
{
    rt::ResumeNext quiet;
    quiet([&] { m_menu->MnuBands(QStringLiteral("Toolbar"))->setVisible(application().ToolbarVisible()); });
    quiet([&] {
        m_menu->MnuBands(QStringLiteral("Status Line"))
            ->setVisible(application().StatusLineVisible());
    });
}

// Only a table that loaded becomes the session's: a table that fails to load leaves the name,
// the changed flag and (as far as it loads again) the table in force as they were.
void clsSession::setCustomMouseTable(const QString &file)
{
    if (file == m_customMouseTable)
        return;
    try {
        MouseTableLoad(file);
    } catch (...) {
        const rt::Error error = rt::currentError();
        rt::ResumeNext quiet;
        quiet([&] { MouseTableLoad(m_customMouseTable); });
        rt::debugSwallowed(
            lcSession(), quiet, "previous mouse table not reloaded", m_customMouseTable);
        throw error;
    }
    m_customMouseTable = file;
    m_changed = rt::True;
}

void clsSession::ApplyTopicName()
{
    frmSession()->setLinkTopic(Nvmain::MakeTopicName(m_fileName, rt::CInt(rt::Val(m_id))));
    Nvmain::UpdateTopicList();
}

// ---- The session file ----

void clsSession::setFileName(const QString &fileName)
{
    rt::Proc h(kModule, "Let FileName");
    QString resolved;
    h([&] {
        if (!fileName.isEmpty())
            resolved = Files::GetFilePath(fileName, QStringLiteral("nvcf;cfg"));
        // Only a regular file is read (a FIFO or a device must not hold the program up).
        if (!resolved.isEmpty() && !QFileInfo(resolved).isFile())
            resolved.clear();
        if (!fileName.isEmpty() && resolved.isEmpty())
            qCWarning(lcSession) << "no session file of that name, defaults used:" << fileName;
    });
    h([&] { LoadSessionFile(resolved); });
}

void clsSession::LoadSessionFile(const QString &name)
{
    rt::setMousePointer(rt::vbHourglass);
    {
        rt::ResumeNext quiet;
        m_fileName = name;
        m_menuFileName.clear();
        m_caption.clear();
        m_icon.clear();
        m_customMouseTable.clear();
        m_autoClose = rt::False;
        m_showErrs = rt::False;
        if (!name.isEmpty()) {
            quiet([&] { ReadSessionSettings(name); });
            quiet([&] { EmulatorSettings().Load(name); });
            if (quiet.failed())
                qCWarning(lcSession) << "session file read with defaults:" << name
                                     << quiet.error().description;
            quiet([&] {
                const QFileInfo info(name);
                if (!info.path().isEmpty() && info.path() != QStringLiteral("."))
                    gLastDir = info.absolutePath();
            });
        } else {
            quiet([&] { EmulatorSettings().LoadDefaults(); });
        }
        quiet([&] { takeApplicationDirectories(); });
        m_changed = rt::False;
        quiet([&] { SetSessionTitle(); });
        quiet([&] { ApplyIcon(); });
        quiet([&] { ApplyTopicName(); });
    }
    rt::setMousePointer(rt::vbDefault);
}

// Each key is taken on its own: one that cannot be applied (a mouse table that does not load)
// leaves the others to be read.
void clsSession::ReadSessionSettings(const QString &file)
{
    const QString section = QLatin1String(kSection);
    SessionSettings &own = AsSessionSettings();
    rt::ResumeNext quiet;
    quiet([&] {
        own.setAutoClose(rt::BoolToInt(Profile::GetIniBool(section, u"AutoClose"_qs, false, file)));
    });
    quiet([&] { own.setCaption(Profile::GetIniString(section, u"SessionTitle"_qs, QString(), file)); });
    quiet([&] { own.setIcon(Profile::GetIniString(section, u"Icon"_qs, QString(), file)); });
    quiet([&] { own.setMenu(Profile::GetIniString(section, u"MenuFileName"_qs, QString(), file)); });
    quiet([&] {
        own.setMouseTable(Profile::GetIniString(
            section, u"CustomMouseTable"_qs, application().CustomMouseTable(), file));
    });
    quiet([&] {
        own.setShowErrs(rt::BoolToInt(Profile::GetIniBool(section, u"ShowErrs"_qs, false, file)));
    });
    rt::debugSwallowed(lcSession(), quiet, "own key not applied from", file);
}

void clsSession::WriteSessionSettings(inifile::IniFile &ini)
{
    const QString section = QLatin1String(kSection);
    const auto put = [&](const QString &key, const QString &value, const QString &dflt) {
        if (value.isEmpty() || value == dflt)
            ini.removeKey(section, key);
        else if (!ini.setValue(section, key, value))
            rt::raise(rt::err::InvalidPropertyValue);
    };
    const auto flag = [](rt::Int on) { return on ? QStringLiteral("True") : QString(); };
    put(u"AutoClose"_qs, flag(m_autoClose), QString());
    put(u"SessionTitle"_qs, m_caption, QString());
    put(u"Icon"_qs, m_icon, QString());
    put(u"MenuFileName"_qs, m_menuFileName, QString());
    put(u"CustomMouseTable"_qs, m_customMouseTable, application().CustomMouseTable());
    put(u"ShowErrs"_qs, flag(m_showErrs), QString());
}

// The whole new file is put together first (the terminal's settings, then the session's own
// keys) and written once: a value that cannot be stored leaves the old file as it was.
void clsSession::writeSessionFile(const QString &file)
{
    const auto notWritten = [&file] {
        rt::raise(rt::err::PathFileAccess,
            rt::errorText(rt::err::PathFileAccess) + QStringLiteral(": ") + file);
    };
    inifile::IniFile ini(file);
    if (!ini.load())
        notWritten();
    emu::Settings &settings = EmulatorSettings();
    settings.SaveInto(ini);
    WriteSessionSettings(ini);
    if (!ini.save())
        notWritten();
    settings.setChanged(rt::False);
}

void clsSession::Save(const QString &fileName)
{
    bool cancelled = false;
    SaveSessionFile(fileName, false, cancelled);
}

bool clsSession::SaveAs()
{
    bool cancelled = false;
    rt::Proc h(kModule, "SaveAs");
    h([&] { SaveSessionFile(QString(), true, cancelled); });
    return cancelled;
}

void clsSession::SaveSessionFile(const QString &fileName, bool forceDialog, bool &cancelled)
{
    const QString oldName = m_fileName;
    QString name = fileName.trimmed();
    if (!name.isEmpty()) {
        name = Files::GetFilePath(name, QStringLiteral("nvcf;cfg"));
        m_fileName = name;
    } else if (!forceDialog) {
        name = m_fileName;
    }
    if (name.isEmpty()) {
        const QString chosen = askSaveName();
        if (chosen.isEmpty()) {
            // A cancelled question leaves the session as it was.
            m_fileName = oldName;
            cancelled = true;
            return;
        }
        m_fileName = chosen;
    }
    rt::setMousePointer(rt::vbHourglass);
    bool written = false;
    {
        // A failed write reaches the user (or the automation client): nothing is cleared.
        rt::Proc h(kModule, "Save");
        try {
            h([&] {
                writeSessionFile(m_fileName);
                written = true;
            });
        } catch (...) {
            rt::setMousePointer(rt::vbDefault);
            m_fileName = oldName;
            throw;
        }
    }
    if (!written) {
        rt::setMousePointer(rt::vbDefault);
        m_fileName = oldName;
        cancelled = true;
        return;
    }
    rt::ResumeNext quiet;
    quiet([&] { setChanged(rt::False); });
    quiet([&] { ApplyTopicName(); });
    quiet([&] { SetSessionTitle(); });
    quiet([&] { Nvmain::UpdateRecentFileList(oldName, true); });
    quiet([&] { Nvmain::UpdateRecentFileList(m_fileName, false); });
    rt::setMousePointer(rt::vbDefault);
}

QString clsSession::askSaveName() const
{
    rt::ResumeNext quiet;
    commondlg::Answer answer;
    quiet([&] {
        commondlg::Request request;
        request.kind = commondlg::Kind::SaveFile;
        request.title = QStringLiteral("Save As");
        request.directory = Files::SessionFolder(m_fileName);
        request.fileName = m_fileName;
        request.defaultExtension = QStringLiteral("nvcf");
        request.filter
            = QStringLiteral("Norvalis Session (*.nvcf,*.cfg)|*.nvcf;*.cfg|All Files (*.*)|*.*");
        request.owner = mainFrame().widget();
        answer = commondlg::chooseFile(request);
    });
    return answer ? *answer : QString();
}

void clsSession::ApplyIcon()
{
    QIcon icon;
    if (!m_icon.isEmpty()) {
        // Read as any file a user names (a FIFO must not hold the program up); a file that is
        // no picture leaves the program's icon.
        QPixmap picture;
        try {
            picture.loadFromData(rt::readNamedFile(m_icon, kMaxIconBytes));
        } catch (...) {
            rt::debugSwallowed(lcSession(), rt::currentError(), "icon not applied", m_icon);
        }
        if (!picture.isNull())
            icon = QIcon(picture);
    }
    if (icon.isNull())
        icon = programIcon();
    if (QWidget *window = frmSession()->windowWidget())
        window->setWindowIcon(icon);
}
