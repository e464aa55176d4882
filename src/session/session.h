#pragma once
// clsSession: one terminal session. It owns its session window (frmMdiChild) with the emulator
// control inside, its menu (number = session number) and the name of its session file, and it is
// the automation object clients see at /Sessions/<ID>.
//
// Birth (create): the next session number, the window (its Tag the key), the entry in Sessions,
// the application's default directories and mouse table, the title, the activation list, the menu
// from dfltsess.mnu with the application's toolbar and status-line choice, the window's DDE
// topic "Session_<n>" and the SYSTEM topic list. Death (destructor, when the clean-up timer has
// taken the closed session out of Sessions): the window may unload and does, the menu goes, the
// topic list is rebuilt.
//
// Closing (Terminate) asks, by the prompt code, whether to disconnect a connected session and
// whether to save a changed one; a session that accepts is Closing from then on (window hidden,
// emulator shut down) and the clean-up timer removes it.
//
// Host requests (server.h, serverq.h): the session queues the requests of its request objects
// in its ServerQueue (made at the first request) while the host program keeps it in server mode,
// hands the host's answers to it, and ends server mode, completing every pending request with
// 291, when the host program leaves it, the link drops or the session closes.
//
// The session file: setting FileName resolves the name (extensions "nvcf;cfg") and loads the
// file, or the defaults for a name that is empty or cannot be found; loading never writes the
// file. Save writes the emulator's settings and the session's six own keys of [Norvalis]
// (AutoClose, SessionTitle, Icon, MenuFileName, CustomMouseTable, ShowErrs; a value equal to its
// default is removed), each write whole or not at all. A save that fails is reported (75) and
// leaves Changed set and FileName as it was.
//
// Session numbers are 16-bit, and a session's menu number is its session number: after 21473,
// the highest number whose menu tool IDs still fit 32 bits, the counter starts again at 1 and
// skips the numbers of sessions still in Sessions, so a new session never takes a live session's
// key; with every number in use a new session raises 6 (Overflow).

#include "menus/menu.h"
#include "runtime/error.h"
#include "runtime/values.h"
#include "session/sessionbase.h"
#include "session/sessionmembers.h"
#include "session/sessionsettings.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QString>
#include <memory>

// The sessions' logging category (norvalis.session).
Q_DECLARE_LOGGING_CATEGORY(lcSession)

class frmMdiChild;
class ServerQueue;
class SessionDefaultIface;
class SessionIface;
class SessionSettingsIface;
namespace inifile {
class IniFile;
}
namespace emu {
class Block;
class nvEmulator;
} // namespace emu

// The number the last session took (0 before the first).
extern rt::Int gSessionCounter;

class clsSession : public SessionBase, public std::enable_shared_from_this<clsSession>
{
public:
    // A new session, registered in the application's Sessions (91 without an application object
    // or a main window).
    static std::shared_ptr<clsSession> create();
    ~clsSession() override;
    clsSession(const clsSession &) = delete;
    clsSession &operator=(const clsSession &) = delete;

    // SessionBase
    QString ID() const override { return m_id; }
    // Prompt code: bit 1 asks to save a changed session, bit 2 to disconnect a connected one.
    void Terminate(rt::Int prompt = 1) override;
    bool Closing() const override { return m_closing; }
    emu::Settings &EmulatorSettings() const override;
    QObject *AutomationObject() override;
    SessionWindow *Window() const override;
    QString FileName() const override { return m_fileName; }
    void setFileName(const QString &fileName) override;
    void Save(const QString &fileName = QString()) override;
    rt::Int AutoClose() const override { return m_autoClose; }
    rt::Int ShowErrs() const override { return m_showErrs; }
    QString PasteFromFileName() const override;
    void Paste(const QString &fileName = QString()) override;
    rt::Int ServerMode() const override { return m_serverMode; }
    QString ServerName() const override { return m_serverName; }
    bool ServerRequest(const std::shared_ptr<clsServer> &request, const QString &text) override;
    // Off completes every pending request with 291.
    void setServerMode(rt::Int on) override;
    void setServerName(const QString &name) override;
    // The host's answer to the request at the host; an error number that does not convert to
    // 32 bits completes it with the conversion's error.
    void ServerResult(const QString &result, const QString &errNum, const QString &errMsg) override;
    void RaiseExtension(QString &cmd) override;
    void RaiseDataReady() override;
    SessionSettings &AsSessionSettings() override;

    // ---- Verbs ----
    void Show();
    void Hide();
    // Pixels.
    void Resize(rt::Long width, rt::Long height);
    void Move(rt::Long left, rt::Long top = rt::OmittedLong, rt::Long width = rt::OmittedLong,
        rt::Long height = rt::OmittedLong);
    void Delete() { Terminate(0); }
    void Activate();
    // Always asks for a name; true when the user cancelled.
    bool SaveAs() override;
    // Empties the emulator's mouse table and fills it from a text file ("" leaves it empty).
    void MouseTableLoad(const QString &fileName);

    // ---- Verbs forwarded to the emulator control (sessionmembers.h) ----
    // Upload and Download take one path, the "directory NUL names" list, or the same list in the
    // blank-separated form of Strfunc::ParseFiles (D-Bus texts cannot hold NUL): a text without
    // NUL that holds a double quote is such a list ("/home/me/in" a.txt "b c.txt").
    SESSION_EMULATOR_VERBS(NV_DECLARE_VERB)

    // ---- Properties ----
    rt::Int Visible() const;
    void setVisible(rt::Int visible);
    // Window position and size in pixels.
    rt::Long Left() const;
    void setLeft(rt::Long value);
    rt::Long Top() const;
    void setTop(rt::Long value);
    rt::Long Width() const;
    void setWidth(rt::Long value);
    rt::Long Height() const;
    void setHeight(rt::Long value);
    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption);
    QString Icon() const { return m_icon; }
    void setIcon(const QString &icon);
    void setAutoClose(rt::Int on);
    void setShowErrs(rt::Int on);
    // 0 normal, 1 minimized, 2 maximized; other values are ignored.
    rt::Int WindowState() const;
    void setWindowState(rt::Int state);
    // The own flag, or the emulator settings' Changed while the own flag is clear.
    rt::Int Changed() const;
    void setChanged(rt::Int changed);
    // Shared by all sessions: the application's.
    QString DialedNumber() const;
    void setDialedNumber(const QString &number);
    QString DialedName() const;
    void setDialedName(const QString &name);
    QString PhoneBookName() const;
    void setPhoneBookName(const QString &name);
    // The window's DDE item Result.
    QString DDEResult() const;
    void setDDEResult(const QString &text);
    // The emulator control's window handle.
    rt::Long hWnd() const;
    emu::Settings *Settings() const;

    // ---- Settings and run-time state (sessionmembers.h) ----
    SESSION_TERMINAL_SETTINGS(NV_DECLARE_PROPERTY)

    // ---- Program only ----
    frmMdiChild *frmSession() const;
    emu::nvEmulator *Emulator() const;
    MenuPtr Menu() const { return m_menu; }
    void setMenu(MenuPtr menu);
    // "" while the default dfltsess.mnu is in use. The let loads the menu file unless that name
    // is loaded already; an empty name loads dfltsess.mnu and stays empty.
    QString MenuFileName() const { return m_menuFileName; }
    void setMenuFileName(const QString &name);
    // The mouse table in force; a different one is loaded and sets Changed.
    QString CustomMouseTable() const { return m_customMouseTable; }
    void setCustomMouseTable(const QString &file);
    // title (caption, server name, file's base name or "New Session") and " (<ID>)".
    void SetSessionTitle();
    void LoadGlobalSettings();
    // The window's DDE topic follows the file name, then the SYSTEM topic lists it.
    void ApplyTopicName();

private:
    class OwnSettings;

    clsSession();
    void Class_Initialize();
    static rt::Int nextNumber();

    void LoadSessionFile(const QString &name);
    // The application's capture and transfer directories where the session has none.
    void takeApplicationDirectories();
    // Saves under name (resolved; "" the session's own), asking for one when there is none or
    // when forced; cancelled tells the caller that no file was written.
    void SaveSessionFile(const QString &name, bool forceDialog, bool &cancelled);
    // Writes the emulator's settings and the own keys; 75 (nothing cleared) when a write fails.
    void writeSessionFile(const QString &file);
    void ReadSessionSettings(const QString &file);
    void WriteSessionSettings(inifile::IniFile &ini);
    void ApplyIcon();
    // Asks for the file name to save under; "" when cancelled.
    QString askSaveName() const;
    void loadMenuFile(const QString &name);
    void showMenuBands();
    bool askToDisconnect();
    bool askToSave();
    void closeNow();
    // The file list of a transfer as the control takes it (see Upload).
    static QString transferFiles(const QString &fileName);
    // The object as a block (13 when it is none).
    static emu::Block *asBlock(QObject *object);
    // The control of the session an automation object stands for; nullptr when it is none.
    static emu::nvEmulator *sinkOf(QObject *object);
    void updatePasteTool();

    QString m_id;
    std::unique_ptr<frmMdiChild> m_window;
    QPointer<emu::nvEmulator> m_emulator;
    rt::Int m_serverMode = rt::False;
    QString m_serverName;
    // Made at the first request; shared, so that a completion that closes the session finishes.
    std::shared_ptr<ServerQueue> m_serverQueue;
    QString m_caption;
    QString m_fileName;
    QString m_icon;
    QString m_pasteFromFileName;
    rt::Int m_autoClose = rt::False;
    mutable rt::Int m_changed = rt::False; // reading Changed takes the emulator's flag over
    bool m_closing = false;
    rt::Int m_showErrs = rt::False;
    MenuPtr m_menu;
    QString m_menuFileName;
    QString m_customMouseTable;
    bool m_menuLoaded = false;
    SessionDefaultIface *m_iface = nullptr;
    SessionIface *m_sessionIface = nullptr;
    SessionSettingsIface *m_settingsIface = nullptr;
    std::unique_ptr<OwnSettings> m_ownSettings;
};
