#pragma once
// The application object: the root of the automation object model and the keeper of the
// application-wide settings. It owns the sessions collection, the shared value store and the main
// window's menu; holds every application-wide setting in memory and writes a changed setting
// through at once to the registry (per-user settings) or to NVWIN.INI (installation settings),
// except while it reads them all (Loading); keeps the recent-file list; and gives automation
// clients the main window's state, position and size in pixels.
//
// Booleans are 16-bit integers here as on the automation interfaces: True -1, False 0 (a setter
// takes any value that is not 0 as True). A setting kept in NVWIN.INI (MenuFileName,
// TelnetHostsFile, CustomMouseTable, Icon, Caption) cannot hold CR or LF: such a value raises
// rt::err::InvalidPropertyValue and changes nothing. A changed setting that cannot be stored (the
// file is no text, no regular file, or cannot be written) raises rt::err::PathFileAccess with the
// file and the reason; the program goes on with the new value until it ends.

#include "menus/menu.h"
#include "runtime/error.h"
#include "runtime/values.h"
#include "session/sessionbase.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class clsCommon;
class clsSessions;
class CommonIface;
class GlobalSettingsIface;
class NorvalisDefaultIface;
class NorvalisIface;
class SessionsDefaultIface;
class SessionsIface;

constexpr rt::Int MaxRecentListSize = 20;

class Norvalis : public QObject
{
    Q_OBJECT
public:
    // Makes itself the global application object, reads every setting (loading the main menu
    // file), shows the main menu, registers itself for automation clients and hands itself to
    // the script host.
    explicit Norvalis(QObject *parent = nullptr);
    ~Norvalis() override;

    // The default interface's members, in their published order.
    clsSessions *Sessions() const { return m_sessions; }
    // The shared value store through its Common interface.
    CommonIface *Common() const { return m_commonIface; }
    MenuPtr Menu() const { return m_menu; }
    void setMenu(MenuPtr menu) { m_menu = std::move(menu); }
    QString MenuFileName() const { return m_menuFileName; }
    // Stores the name (and writes it through) and loads the main menu from it, or from
    // dfltmain.mnu when it is empty; a main menu file that cannot be found even by its name alone
    // is reported to the user once the caller has its answer (the message never holds a client's
    // call or the start-up). Fails only for a name holding CR or LF (rt::err::InvalidPropertyValue,
    // and nothing changes).
    void setMenuFileName(const QString &name);
    // 0 normal, 1 minimized, 2 maximized; other values are ignored.
    void setInitChildWindowState(rt::Int state);
    rt::Int InitChildWindowState() const { return m_initChildWindowState; }
    // The session of the active session window; null when none is active.
    SessionPtr ActiveSession() const { return ActiveClsSession(); }
    // 0 cascade, 1 tile horizontally, 2 tile vertically, 3 arrange icons.
    void Arrange(rt::Int style);
    void Activate();
    // Requests shutdown: records the prompt code and leaves the work to the clean-up timer. The
    // modal windows open now are closed as if cancelled, so that none of them holds the shutdown.
    void Terminate(rt::Int prompt = 0);
    void setPhoneBookName(const QString &name);
    QString PhoneBookName() const { return m_phoneBookName; }
    // A change is passed on to every open session whose own directory was the previous one.
    void setDefaultCaptureDir(const QString &directory);
    QString DefaultCaptureDir() const { return m_defaultCaptureDir; }
    void setDefaultXferDir(const QString &directory);
    QString DefaultXferDir() const { return m_defaultXferDir; }
    // Shows or hides the "ToolBar" band of every menu.
    void setToolbarVisible(rt::Int visible);
    rt::Int ToolbarVisible() const { return m_toolbarVisible; }
    // Shows or hides the "Status Line" band of every menu.
    void setStatusLineVisible(rt::Int visible);
    rt::Int StatusLineVisible() const { return m_statusLineVisible; }
    // The main window's state; values outside 0..2 are ignored.
    void setWindowState(rt::Int state);
    rt::Int WindowState() const;
    void setSingleInstance(rt::Int on);
    rt::Int SingleInstance() const { return m_singleInstance; }
    void setTelnetHostsFile(const QString &file);
    QString TelnetHostsFile() const { return m_telnetHostsFile; }
    void setAutoClose(rt::Int on);
    rt::Int AutoClose() const { return m_autoClose; }
    void setNoCloseWarning(rt::Int on);
    rt::Int NoCloseWarning() const { return m_noCloseWarning; }
    // 0..20 (rt::err::InvalidRecentListSize otherwise, nothing changes); the list keeps its
    // leading entries. With 0 the entries are kept but read as empty.
    void setRecentListSize(rt::Int size);
    rt::Int RecentListSize() const { return m_recentListSize; }
    // Reads every setting (errors ignored one setting at a time).
    void Load();
    // Writes every setting (RecentListSize, ToolBar and StatusLine excepted: their setters write
    // them) and rewrites the recent-file list in full.
    void Save();
    QString CustomMouseTable() const { return m_customMouseTable; }
    void setCustomMouseTable(const QString &file);
    // The main window's visibility; once its unload has begun (or without a main window) it
    // reads as False, and showing or hiding does nothing.
    rt::Int Visible() const;
    void setVisible(rt::Int visible);
    void Show();
    void Hide();
    // Main window geometry in pixels.
    void Resize(rt::Long width, rt::Long height);
    // A Top, Width or Height of rt::OmittedLong keeps the current value.
    void Move(rt::Long left, rt::Long top = rt::OmittedLong, rt::Long width = rt::OmittedLong,
        rt::Long height = rt::OmittedLong);
    rt::Long Left() const;
    void setLeft(rt::Long left);
    rt::Long Top() const;
    void setTop(rt::Long top);
    rt::Long Width() const;
    void setWidth(rt::Long width);
    rt::Long Height() const;
    void setHeight(rt::Long height);
    // The DDE SYSTEM topic's Result item.
    QString DDEResult() const;
    void setDDEResult(const QString &text);
    QString ProductName() const;
    QString ProductRelease() const;

    // Program only.
    SessionPtr ActiveClsSession() const;
    clsSessions &ClsSessions() const { return *m_sessions; }
    clsCommon &ClsCommon() const { return *m_common; }
    // A picture file for the main window's icon ("" or a file that does not load: the program's
    // own icon).
    QString Icon() const { return m_icon; }
    void setIcon(const QString &file);
    // The main window's title ("Norvalis 2000" when empty).
    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption);
    // Customisation bits; only bit 0 is stored (NVWIN.INI [Custom] Torvik).
    rt::Long CustomMode() const { return m_customMode; }
    void setCustomMode(rt::Long mode) { m_customMode = mode; }
    // Bit n blocks the letter shortcut of letter A + n in session windows.
    rt::Long BlockedHotKeys() const { return m_blockedHotKeys; }
    void setBlockedHotKeys(rt::Long keys) { m_blockedHotKeys = keys; }
    QString IniFile() const { return m_iniFile; }
    void setIniFile(const QString &file) { m_iniFile = file; }
    QString DialedNumber() const { return m_dialedNumber; }
    void setDialedNumber(const QString &number);
    QString DialedName() const { return m_dialedName; }
    void setDialedName(const QString &name);
    // The recent-file list, entry 0 the most recent; "" for an index outside the list (and for
    // every index while RecentListSize is 0). Setting an index outside the list is ignored.
    QString Recent(rt::Int index) const;
    void setRecent(rt::Int index, const QString &file);
    bool Loading() const { return m_loading; }

    // The automation interfaces of this object.
    NorvalisIface *AsNorvalis() const { return m_norvalisIface; }
    GlobalSettingsIface *AsGlobalSettings() const { return m_globalSettingsIface; }
    NorvalisDefaultIface *AsDefault() const { return m_defaultIface; }
    // The sessions collection's automation interfaces (_clsSessions and Sessions).
    SessionsDefaultIface *SessionsDefault() const { return m_sessionsDefault; }
    SessionsIface *SessionsInterface() const { return m_sessionsIface; }

    // BlockedHotKeys from and to the text NVWIN.INI keeps: the capital letters A to Z whose bits
    // are set, in alphabetical order (other characters of a stored text are skipped).
    static rt::Long HotKeysFromText(const QString &text);
    static QString HotKeysToText(rt::Long keys);

private:
    void LoadGlobalSettings(const QString &iniFile);
    void SaveGlobalSettings(const QString &iniFile);
    void loadRecentFiles();
    void loadMainMenu(const QString &fileName);
    void registerForAutomation();
    void initializeScriptHost();
    // Writes a setting through unless the settings are being loaded.
    void writeRegistry(const QString &name, const QString &text) const;
    void writeIni(const QString &section, const QString &key, const QString &text) const;
    static void sayRunningAlone();
    // Stores a setting's new value; false when it equals the held one (nothing to write).
    static bool changeFlag(rt::Int &flag, rt::Int value);
    static bool changeText(QString &text, const QString &value);
    // A default directory of the application and the sessions' own setting that follows it.
    struct DirectorySetting
    {
        const char *procedure;
        const char *registryName;
        QString Norvalis::*field;
        QString (SessionBase::*get)() const;
        void (SessionBase::*set)(const QString &);
    };
    void setDefaultDirectory(const DirectorySetting &setting, const QString &directory);
    // Shows or hides the band of that name in every menu.
    static void showBands(const QString &bandName, rt::Int visible);

    clsSessions *m_sessions = nullptr;
    std::unique_ptr<clsCommon> m_common;
    CommonIface *m_commonIface = nullptr;
    QString m_iniFile;
    QString m_menuFileName;
    MenuPtr m_menu;
    QString m_defaultCaptureDir;
    QString m_defaultXferDir;
    rt::Int m_initChildWindowState = 0;
    QString m_phoneBookName;
    QString m_telnetHostsFile;
    rt::Int m_autoClose = rt::False;
    rt::Int m_noCloseWarning = rt::False;
    QString m_customMouseTable;
    rt::Long m_customMode = 0;
    rt::Int m_singleInstance = rt::False;
    rt::Int m_recentListSize = 0;
    QList<QString> m_recent;
    QString m_icon;
    QString m_caption;
    rt::Long m_blockedHotKeys = 0;
    rt::Int m_toolbarVisible = rt::False;
    rt::Int m_statusLineVisible = rt::False;
    QString m_dialedNumber;
    QString m_dialedName;
    bool m_loading = false;
    bool m_mainMenuLoaded = false;

    NorvalisIface *m_norvalisIface = nullptr;
    GlobalSettingsIface *m_globalSettingsIface = nullptr;
    NorvalisDefaultIface *m_defaultIface = nullptr;
    SessionsDefaultIface *m_sessionsDefault = nullptr;
    SessionsIface *m_sessionsIface = nullptr;
};

// The application object (set by its constructor; null once it is gone).
extern QPointer<Norvalis> gApp;

// The program's own icon, for every window without an icon of its own. It is one icon for all of
// them: the pictures a window draws of it are cached for that icon, and an icon made anew for each
// session window would leave its pictures in the cache after the window has gone.
const QIcon &programIcon();
