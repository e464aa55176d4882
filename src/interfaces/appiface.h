#pragma once
// The application object's automation interfaces, as D-Bus clients and scripts see it at
// /Norvalis:
// - NVWin32.Norvalis, the stable contract for clients and scripts;
// - NVWin32.GlobalSettings, the application-wide settings under the names the settings dialog
//   and the settings load and save routines use;
// - NVWin32._Norvalis, the application object's own default interface.
// Each member forwards to the application object's member of the same meaning and hands back its
// result and its error unchanged; an object comes back as that object's automation interface.
// The Norvalis interface's fifteen file-transfer settings act on the session of the active
// session window; with none active they raise rt::err::NoActiveSession.

#include "automation/guard.h"
#include "runtime/errnum.h"
#include "runtime/error.h"
#include "runtime/values.h"

#include <QObject>
#include <QString>
#include <memory>

class Norvalis;
class SessionBase;

// What the interfaces share: the forwarding of the members they have in common. Not published
// itself (its members are neither slots nor properties).
class NorvalisAdapter : public QObject
{
public:
    NorvalisAdapter(Norvalis *application, QObject *parent);

    QString ProductName() const;
    QString ProductRelease() const;
    QString DDEResult() const;
    void setDDEResult(const QString &value);
    QObject *Sessions() const;
    QObject *Common() const;
    QString MenuFileName() const;
    void setMenuFileName(const QString &value);
    void setInitChildWindowState(rt::Int value);
    rt::Int InitChildWindowState() const;
    QObject *ActiveSession() const;
    void setPhoneBookName(const QString &value);
    QString PhoneBookName() const;
    void setDefaultCaptureDir(const QString &value);
    QString DefaultCaptureDir() const;
    void setDefaultXferDir(const QString &value);
    QString DefaultXferDir() const;
    void setToolbarVisible(rt::Int value);
    rt::Int ToolbarVisible() const;
    void setStatusLineVisible(rt::Int value);
    rt::Int StatusLineVisible() const;
    void setWindowState(rt::Int value);
    rt::Int WindowState() const;
    void setSingleInstance(rt::Int value);
    rt::Int SingleInstance() const;
    void setTelnetHostsFile(const QString &value);
    QString TelnetHostsFile() const;
    void setAutoClose(rt::Int value);
    rt::Int AutoClose() const;
    QString CustomMouseTable() const;
    void setCustomMouseTable(const QString &value);
    rt::Int Visible() const;
    void setVisible(rt::Int value);
    rt::Long Left() const;
    void setLeft(rt::Long value);
    rt::Long Top() const;
    void setTop(rt::Long value);
    rt::Long Width() const;
    void setWidth(rt::Long value);
    rt::Long Height() const;
    void setHeight(rt::Long value);
    void setNoCloseWarning(rt::Int value);
    rt::Int NoCloseWarning() const;
    void setRecentListSize(rt::Int value);
    rt::Int RecentListSize() const;

protected:
    Norvalis &app() const { return *m_app; }
    // Runs a member's body as its caller needs it (automation/guard.h).
    template<class F> static auto call(F &&body)
    {
        return automation::guard(std::forward<F>(body));
    }
    // The main menu's automation object (its Menu interface); nullptr when there is none.
    QObject *menuObject() const;

private:
    Norvalis *m_app;
};

// NVWin32.Norvalis
class NorvalisIface : public NorvalisAdapter
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.Norvalis")
    Q_CLASSINFO("D-Bus Path", "/Norvalis")
    Q_PROPERTY(QString ProductName READ ProductName)
    Q_PROPERTY(QString ProductRelease READ ProductRelease)
    Q_PROPERTY(QString DDEResult READ DDEResult WRITE setDDEResult)
    Q_PROPERTY(QObject *Sessions READ Sessions)
    Q_PROPERTY(QObject *Common READ Common)
    Q_PROPERTY(QObject *Menu READ Menu)
    Q_PROPERTY(QString MenuFileName READ MenuFileName WRITE setMenuFileName)
    Q_PROPERTY(rt::Int InitChildWindowState READ InitChildWindowState WRITE setInitChildWindowState)
    Q_PROPERTY(QObject *ActiveSession READ ActiveSession)
    Q_PROPERTY(QString PhoneBookName READ PhoneBookName WRITE setPhoneBookName)
    Q_PROPERTY(QString DefaultCaptureDir READ DefaultCaptureDir WRITE setDefaultCaptureDir)
    Q_PROPERTY(QString DefaultXferDir READ DefaultXferDir WRITE setDefaultXferDir)
    Q_PROPERTY(rt::Int DefaultXferMode READ DefaultXferMode WRITE setDefaultXferMode)
    Q_PROPERTY(rt::Int DefaultXferOverwrite READ DefaultXferOverwrite WRITE setDefaultXferOverwrite)
    Q_PROPERTY(rt::Int AsciiEOL READ AsciiEOL WRITE setAsciiEOL)
    Q_PROPERTY(rt::Int AsciiDelay READ AsciiDelay WRITE setAsciiDelay)
    Q_PROPERTY(rt::Int XmodemTimeout READ XmodemTimeout WRITE setXmodemTimeout)
    Q_PROPERTY(rt::Int YmodemTimeout READ YmodemTimeout WRITE setYmodemTimeout)
    Q_PROPERTY(rt::Int ZmodemTimeout READ ZmodemTimeout WRITE setZmodemTimeout)
    Q_PROPERTY(rt::Int KermitTimeout READ KermitTimeout WRITE setKermitTimeout)
    Q_PROPERTY(rt::Int KermitInitRetry READ KermitInitRetry WRITE setKermitInitRetry)
    Q_PROPERTY(rt::Int KermitErrRetry READ KermitErrRetry WRITE setKermitErrRetry)
    Q_PROPERTY(rt::Int KermitEOL READ KermitEOL WRITE setKermitEOL)
    Q_PROPERTY(rt::Int KermitQuote READ KermitQuote WRITE setKermitQuote)
    Q_PROPERTY(rt::Int KermitRept READ KermitRept WRITE setKermitRept)
    Q_PROPERTY(rt::Int KermitCRC READ KermitCRC WRITE setKermitCRC)
    Q_PROPERTY(rt::Int ToolbarVisible READ ToolbarVisible WRITE setToolbarVisible)
    Q_PROPERTY(rt::Int StatusLineVisible READ StatusLineVisible WRITE setStatusLineVisible)
    Q_PROPERTY(rt::Int WindowState READ WindowState WRITE setWindowState)
    Q_PROPERTY(rt::Int SingleInstance READ SingleInstance WRITE setSingleInstance)
    Q_PROPERTY(QString TelnetHostsFile READ TelnetHostsFile WRITE setTelnetHostsFile)
    Q_PROPERTY(rt::Int ZModemAuto READ ZModemAuto WRITE setZModemAuto)
    Q_PROPERTY(rt::Int AutoClose READ AutoClose WRITE setAutoClose)
    Q_PROPERTY(QString CustomMouseTable READ CustomMouseTable WRITE setCustomMouseTable)
    Q_PROPERTY(rt::Int Visible READ Visible WRITE setVisible)
    Q_PROPERTY(rt::Long Left READ Left WRITE setLeft)
    Q_PROPERTY(rt::Long Top READ Top WRITE setTop)
    Q_PROPERTY(rt::Long Width READ Width WRITE setWidth)
    Q_PROPERTY(rt::Long Height READ Height WRITE setHeight)
    Q_PROPERTY(rt::Int NoCloseWarning READ NoCloseWarning WRITE setNoCloseWarning)
    Q_PROPERTY(rt::Int RecentListSize READ RecentListSize WRITE setRecentListSize)

public:
    NorvalisIface(Norvalis *application, QObject *parent);

    // The sessions collection through its Sessions interface.
    QObject *Sessions() const;
    QObject *Menu() const;

    void setDefaultXferMode(rt::Int value);
    rt::Int DefaultXferMode() const;
    void setDefaultXferOverwrite(rt::Int value);
    rt::Int DefaultXferOverwrite() const;
    void setAsciiEOL(rt::Int value);
    rt::Int AsciiEOL() const;
    void setAsciiDelay(rt::Int value);
    rt::Int AsciiDelay() const;
    void setXmodemTimeout(rt::Int value);
    rt::Int XmodemTimeout() const;
    void setYmodemTimeout(rt::Int value);
    rt::Int YmodemTimeout() const;
    void setZmodemTimeout(rt::Int value);
    rt::Int ZmodemTimeout() const;
    void setKermitTimeout(rt::Int value);
    rt::Int KermitTimeout() const;
    void setKermitInitRetry(rt::Int value);
    rt::Int KermitInitRetry() const;
    void setKermitErrRetry(rt::Int value);
    rt::Int KermitErrRetry() const;
    void setKermitEOL(rt::Int value);
    rt::Int KermitEOL() const;
    void setKermitQuote(rt::Int value);
    rt::Int KermitQuote() const;
    void setKermitRept(rt::Int value);
    rt::Int KermitRept() const;
    void setKermitCRC(rt::Int value);
    rt::Int KermitCRC() const;
    void setZModemAuto(rt::Int value);
    rt::Int ZModemAuto() const;

public slots:
    // Reserved places of the interface; each raises rt::err::NotImplemented.
    void Reserved9();
    void Reserved10();
    void Reserved11();
    void Reserved12();
    void Reserved13();
    void Arrange(rt::Int Style);
    void Activate();
    // Close and Terminate are two names of the shutdown request.
    void Close(rt::Int Prompt = 0);
    void Terminate(rt::Int Prompt = 0);
    void Load();
    void Save();
    void Show();
    void Hide();
    void Resize(rt::Long Width, rt::Long Height);
    void Move(rt::Long Left, rt::Long Top = rt::OmittedLong, rt::Long Width = rt::OmittedLong,
        rt::Long Height = rt::OmittedLong);

private:
    // The session of the active session window (rt::err::NoActiveSession when none is active).
    std::shared_ptr<SessionBase> activeSession() const;
};

// NVWin32.GlobalSettings
class GlobalSettingsIface : public NorvalisAdapter
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.GlobalSettings")
    Q_PROPERTY(QString Menu READ Menu WRITE setMenu)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(QString Icon READ Icon WRITE setIcon)
    Q_PROPERTY(QString PhoneBook READ PhoneBook WRITE setPhoneBook)
    Q_PROPERTY(rt::Int AutoClose READ AutoClose WRITE setAutoClose)
    Q_PROPERTY(QString MouseTable READ MouseTable WRITE setMouseTable)
    Q_PROPERTY(rt::Long BlockedHotKeys READ BlockedHotKeys WRITE setBlockedHotKeys)
    Q_PROPERTY(rt::Int ToolbarVisible READ ToolbarVisible WRITE setToolbarVisible)
    Q_PROPERTY(rt::Int StatusLineVisible READ StatusLineVisible WRITE setStatusLineVisible)
    Q_PROPERTY(rt::Int SingleInstance READ SingleInstance WRITE setSingleInstance)
    Q_PROPERTY(QString HostFile READ HostFile WRITE setHostFile)
    Q_PROPERTY(rt::Int NoCloseWarning READ NoCloseWarning WRITE setNoCloseWarning)
    Q_PROPERTY(rt::Int RecentListSize READ RecentListSize WRITE setRecentListSize)
    Q_PROPERTY(QString DefaultCaptureDir READ DefaultCaptureDir WRITE setDefaultCaptureDir)
    Q_PROPERTY(QString DefaultXferDir READ DefaultXferDir WRITE setDefaultXferDir)
    Q_PROPERTY(rt::Long CustomMode READ CustomMode WRITE setCustomMode)

public:
    GlobalSettingsIface(Norvalis *application, QObject *parent);

    // The main menu file's name.
    QString Menu() const { return MenuFileName(); }
    void setMenu(const QString &value) { setMenuFileName(value); }
    QString Caption() const;
    void setCaption(const QString &value);
    QString Icon() const;
    void setIcon(const QString &value);
    void setPhoneBook(const QString &value) { setPhoneBookName(value); }
    QString PhoneBook() const { return PhoneBookName(); }
    QString MouseTable() const { return CustomMouseTable(); }
    void setMouseTable(const QString &value) { setCustomMouseTable(value); }
    rt::Long BlockedHotKeys() const;
    void setBlockedHotKeys(rt::Long value);
    void setHostFile(const QString &value) { setTelnetHostsFile(value); }
    QString HostFile() const { return TelnetHostsFile(); }
    rt::Long CustomMode() const;
    void setCustomMode(rt::Long value);

public slots:
    // Nothing to do: every setting is applied as it is set.
    void Apply() { }
};

// NVWin32._Norvalis
class NorvalisDefaultIface : public NorvalisAdapter
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32._Norvalis")
    Q_PROPERTY(QObject *Sessions READ Sessions)
    Q_PROPERTY(QObject *Common READ Common)
    Q_PROPERTY(QObject *Menu READ Menu WRITE setMenu)
    Q_PROPERTY(QString MenuFileName READ MenuFileName WRITE setMenuFileName)
    Q_PROPERTY(rt::Int InitChildWindowState READ InitChildWindowState WRITE setInitChildWindowState)
    Q_PROPERTY(QObject *ActiveSession READ ActiveSession)
    Q_PROPERTY(QString PhoneBookName READ PhoneBookName WRITE setPhoneBookName)
    Q_PROPERTY(QString DefaultCaptureDir READ DefaultCaptureDir WRITE setDefaultCaptureDir)
    Q_PROPERTY(QString DefaultXferDir READ DefaultXferDir WRITE setDefaultXferDir)
    Q_PROPERTY(rt::Int ToolbarVisible READ ToolbarVisible WRITE setToolbarVisible)
    Q_PROPERTY(rt::Int StatusLineVisible READ StatusLineVisible WRITE setStatusLineVisible)
    Q_PROPERTY(rt::Int WindowState READ WindowState WRITE setWindowState)
    Q_PROPERTY(rt::Int SingleInstance READ SingleInstance WRITE setSingleInstance)
    Q_PROPERTY(QString TelnetHostsFile READ TelnetHostsFile WRITE setTelnetHostsFile)
    Q_PROPERTY(rt::Int AutoClose READ AutoClose WRITE setAutoClose)
    Q_PROPERTY(rt::Int NoCloseWarning READ NoCloseWarning WRITE setNoCloseWarning)
    Q_PROPERTY(rt::Int RecentListSize READ RecentListSize WRITE setRecentListSize)
    Q_PROPERTY(QString CustomMouseTable READ CustomMouseTable WRITE setCustomMouseTable)
    Q_PROPERTY(rt::Int Visible READ Visible WRITE setVisible)
    Q_PROPERTY(rt::Long Left READ Left WRITE setLeft)
    Q_PROPERTY(rt::Long Top READ Top WRITE setTop)
    Q_PROPERTY(rt::Long Width READ Width WRITE setWidth)
    Q_PROPERTY(rt::Long Height READ Height WRITE setHeight)
    Q_PROPERTY(QString DDEResult READ DDEResult WRITE setDDEResult)
    Q_PROPERTY(QString ProductName READ ProductName)
    Q_PROPERTY(QString ProductRelease READ ProductRelease)

public:
    NorvalisDefaultIface(Norvalis *application, QObject *parent);

    QObject *Menu() const;
    // Replaces the application's menu object with the menu that menu stands for (Nothing for
    // nullptr; 13 for an object that is not a menu).
    void setMenu(QObject *menu);

public slots:
    void Arrange(rt::Int Style);
    void Activate();
    void Terminate(rt::Int Prompt = 0);
    void Load();
    void Save();
    void Show();
    void Hide();
    void Resize(rt::Long Width, rt::Long Height);
    void Move(rt::Long Left, rt::Long Top = rt::OmittedLong, rt::Long Width = rt::OmittedLong,
        rt::Long Height = rt::OmittedLong);
};
