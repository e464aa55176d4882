#include "interfaces/appiface.h"

#include "app/norvalis.h"
#include "interfaces/commoniface.h"
#include "interfaces/menuiface.h"
#include "interfaces/sessioniface.h"
#include "session/sessions.h"

namespace {

[[noreturn]] void notImplemented()
{
    throw rt::Error(rt::err::NotImplemented, QStringLiteral("Not implemented"));
}

} // namespace

// The members the interfaces share.

NorvalisAdapter::NorvalisAdapter(Norvalis *application, QObject *parent)
    : QObject(parent)
    , m_app(application)
{ }

QObject *NorvalisAdapter::menuObject() const
{
    return MenuIface::of(app().Menu());
}

QString NorvalisAdapter::ProductName() const
{
    return call([&] { return app().ProductName(); });
}
QString NorvalisAdapter::ProductRelease() const
{
    return call([&] { return app().ProductRelease(); });
}
QString NorvalisAdapter::DDEResult() const
{
    return call([&] { return app().DDEResult(); });
}
void NorvalisAdapter::setDDEResult(const QString &value)
{
    call([&] { app().setDDEResult(value); });
}
QObject *NorvalisAdapter::Sessions() const
{
    return call([&]() -> QObject * { return app().SessionsDefault(); });
}
QObject *NorvalisIface::Sessions() const
{
    return call([&]() -> QObject * { return app().SessionsInterface(); });
}
QObject *NorvalisAdapter::Common() const
{
    return call([&]() -> QObject * { return app().Common(); });
}
QString NorvalisAdapter::MenuFileName() const
{
    return call([&] { return app().MenuFileName(); });
}
void NorvalisAdapter::setMenuFileName(const QString &value)
{
    call([&] { app().setMenuFileName(value); });
}
void NorvalisAdapter::setInitChildWindowState(rt::Int value)
{
    call([&] { app().setInitChildWindowState(value); });
}
rt::Int NorvalisAdapter::InitChildWindowState() const
{
    return call([&] { return app().InitChildWindowState(); });
}
QObject *NorvalisAdapter::ActiveSession() const
{
    return call([&]() -> QObject * {
        const SessionPtr session = app().ActiveSession();
        return session ? session->AutomationObject() : nullptr;
    });
}
void NorvalisAdapter::setPhoneBookName(const QString &value)
{
    call([&] { app().setPhoneBookName(value); });
}
QString NorvalisAdapter::PhoneBookName() const
{
    return call([&] { return app().PhoneBookName(); });
}
void NorvalisAdapter::setDefaultCaptureDir(const QString &value)
{
    call([&] { app().setDefaultCaptureDir(value); });
}
QString NorvalisAdapter::DefaultCaptureDir() const
{
    return call([&] { return app().DefaultCaptureDir(); });
}
void NorvalisAdapter::setDefaultXferDir(const QString &value)
{
    call([&] { app().setDefaultXferDir(value); });
}
QString NorvalisAdapter::DefaultXferDir() const
{
    return call([&] { return app().DefaultXferDir(); });
}
void NorvalisAdapter::setToolbarVisible(rt::Int value)
{
    call([&] { app().setToolbarVisible(value); });
}
rt::Int NorvalisAdapter::ToolbarVisible() const
{
    return call([&] { return app().ToolbarVisible(); });
}
void NorvalisAdapter::setStatusLineVisible(rt::Int value)
{
    call([&] { app().setStatusLineVisible(value); });
}
rt::Int NorvalisAdapter::StatusLineVisible() const
{
    return call([&] { return app().StatusLineVisible(); });
}
void NorvalisAdapter::setWindowState(rt::Int value)
{
    call([&] { app().setWindowState(value); });
}
rt::Int NorvalisAdapter::WindowState() const
{
    return call([&] { return app().WindowState(); });
}
void NorvalisAdapter::setSingleInstance(rt::Int value)
{
    call([&] { app().setSingleInstance(value); });
}
rt::Int NorvalisAdapter::SingleInstance() const
{
    return call([&] { return app().SingleInstance(); });
}
void NorvalisAdapter::setTelnetHostsFile(const QString &value)
{
    call([&] { app().setTelnetHostsFile(value); });
}
QString NorvalisAdapter::TelnetHostsFile() const
{
    return call([&] { return app().TelnetHostsFile(); });
}
void NorvalisAdapter::setAutoClose(rt::Int value)
{
    call([&] { app().setAutoClose(value); });
}
rt::Int NorvalisAdapter::AutoClose() const
{
    return call([&] { return app().AutoClose(); });
}
QString NorvalisAdapter::CustomMouseTable() const
{
    return call([&] { return app().CustomMouseTable(); });
}
void NorvalisAdapter::setCustomMouseTable(const QString &value)
{
    call([&] { app().setCustomMouseTable(value); });
}
rt::Int NorvalisAdapter::Visible() const
{
    return call([&] { return app().Visible(); });
}
void NorvalisAdapter::setVisible(rt::Int value)
{
    call([&] { app().setVisible(value); });
}
rt::Long NorvalisAdapter::Left() const
{
    return call([&] { return app().Left(); });
}
void NorvalisAdapter::setLeft(rt::Long value)
{
    call([&] { app().setLeft(value); });
}
rt::Long NorvalisAdapter::Top() const
{
    return call([&] { return app().Top(); });
}
void NorvalisAdapter::setTop(rt::Long value)
{
    call([&] { app().setTop(value); });
}
rt::Long NorvalisAdapter::Width() const
{
    return call([&] { return app().Width(); });
}
void NorvalisAdapter::setWidth(rt::Long value)
{
    call([&] { app().setWidth(value); });
}
rt::Long NorvalisAdapter::Height() const
{
    return call([&] { return app().Height(); });
}
void NorvalisAdapter::setHeight(rt::Long value)
{
    call([&] { app().setHeight(value); });
}
void NorvalisAdapter::setNoCloseWarning(rt::Int value)
{
    call([&] { app().setNoCloseWarning(value); });
}
rt::Int NorvalisAdapter::NoCloseWarning() const
{
    return call([&] { return app().NoCloseWarning(); });
}
void NorvalisAdapter::setRecentListSize(rt::Int value)
{
    call([&] { app().setRecentListSize(value); });
}
rt::Int NorvalisAdapter::RecentListSize() const
{
    return call([&] { return app().RecentListSize(); });
}

// The methods the Norvalis and _Norvalis interfaces share.
#define NORVALIS_METHODS(Class)                                                                    \
    void Class::Arrange(rt::Int Style)                                                             \
    {                                                                                              \
        call([&] { app().Arrange(Style); });                                                       \
    }                                                                                              \
    void Class::Activate()                                                                         \
    {                                                                                              \
        call([&] { app().Activate(); });                                                           \
    }                                                                                              \
    void Class::Terminate(rt::Int Prompt)                                                          \
    {                                                                                              \
        call([&] { app().Terminate(Prompt); });                                                    \
    }                                                                                              \
    void Class::Load()                                                                             \
    {                                                                                              \
        call([&] { app().Load(); });                                                               \
    }                                                                                              \
    void Class::Save()                                                                             \
    {                                                                                              \
        call([&] { app().Save(); });                                                               \
    }                                                                                              \
    void Class::Show()                                                                             \
    {                                                                                              \
        call([&] { app().Show(); });                                                               \
    }                                                                                              \
    void Class::Hide()                                                                             \
    {                                                                                              \
        call([&] { app().Hide(); });                                                               \
    }                                                                                              \
    void Class::Resize(rt::Long Width, rt::Long Height)                                            \
    {                                                                                              \
        call([&] { app().Resize(Width, Height); });                                                \
    }                                                                                              \
    void Class::Move(rt::Long Left, rt::Long Top, rt::Long Width, rt::Long Height)                 \
    {                                                                                              \
        call([&] { app().Move(Left, Top, Width, Height); });                                       \
    }

// NVWin32.Norvalis

NorvalisIface::NorvalisIface(Norvalis *application, QObject *parent)
    : NorvalisAdapter(application, parent)
{ }

NORVALIS_METHODS(NorvalisIface)

void NorvalisIface::Close(rt::Int Prompt)
{
    Terminate(Prompt);
}

QObject *NorvalisIface::Menu() const
{
    return call([&] { return menuObject(); });
}

void NorvalisIface::Reserved9()
{
    call([&] { notImplemented(); });
}
void NorvalisIface::Reserved10()
{
    call([&] { notImplemented(); });
}
void NorvalisIface::Reserved11()
{
    call([&] { notImplemented(); });
}
void NorvalisIface::Reserved12()
{
    call([&] { notImplemented(); });
}
void NorvalisIface::Reserved13()
{
    call([&] { notImplemented(); });
}

SessionPtr NorvalisIface::activeSession() const
{
    SessionPtr session = app().ActiveClsSession();
    if (!session)
        throw rt::Error(rt::err::NoActiveSession, QStringLiteral("No active session"));
    return session;
}

// Each file-transfer setting reads or writes the setting of the active session.
#define TRANSFER_SETTING(Name, SessionMember)                                                      \
    void NorvalisIface::set##Name(rt::Int value)                                                   \
    {                                                                                              \
        call([&] { activeSession()->set##SessionMember(value); });                                 \
    }                                                                                              \
    rt::Int NorvalisIface::Name() const                                                            \
    {                                                                                              \
        return call([&] { return activeSession()->SessionMember(); });                             \
    }
TRANSFER_SETTING(DefaultXferMode, DefaultXferMode)
TRANSFER_SETTING(DefaultXferOverwrite, DefaultXferOverwrite)
TRANSFER_SETTING(AsciiEOL, AsciiEOL)
TRANSFER_SETTING(AsciiDelay, AsciiDelay)
TRANSFER_SETTING(XmodemTimeout, XModemTimeout)
TRANSFER_SETTING(YmodemTimeout, YModemTimeout)
TRANSFER_SETTING(ZmodemTimeout, ZModemTimeout)
TRANSFER_SETTING(KermitTimeout, KermitTimeout)
TRANSFER_SETTING(KermitInitRetry, KermitInitRetry)
TRANSFER_SETTING(KermitErrRetry, KermitErrRetry)
TRANSFER_SETTING(KermitEOL, KermitEOL)
TRANSFER_SETTING(KermitQuote, KermitQuote)
TRANSFER_SETTING(KermitRept, KermitRept)
TRANSFER_SETTING(KermitCRC, KermitCRC)
TRANSFER_SETTING(ZModemAuto, ZModemAuto)
#undef TRANSFER_SETTING

// NVWin32.GlobalSettings

GlobalSettingsIface::GlobalSettingsIface(Norvalis *application, QObject *parent)
    : NorvalisAdapter(application, parent)
{ }

QString GlobalSettingsIface::Caption() const
{
    return call([&] { return app().Caption(); });
}
void GlobalSettingsIface::setCaption(const QString &value)
{
    call([&] { app().setCaption(value); });
}
QString GlobalSettingsIface::Icon() const
{
    return call([&] { return app().Icon(); });
}
void GlobalSettingsIface::setIcon(const QString &value)
{
    call([&] { app().setIcon(value); });
}
rt::Long GlobalSettingsIface::BlockedHotKeys() const
{
    return call([&] { return app().BlockedHotKeys(); });
}
void GlobalSettingsIface::setBlockedHotKeys(rt::Long value)
{
    call([&] { app().setBlockedHotKeys(value); });
}
rt::Long GlobalSettingsIface::CustomMode() const
{
    return call([&] { return app().CustomMode(); });
}
void GlobalSettingsIface::setCustomMode(rt::Long value)
{
    call([&] { app().setCustomMode(value); });
}

// NVWin32._Norvalis

NorvalisDefaultIface::NorvalisDefaultIface(Norvalis *application, QObject *parent)
    : NorvalisAdapter(application, parent)
{ }

NORVALIS_METHODS(NorvalisDefaultIface)
#undef NORVALIS_METHODS

QObject *NorvalisDefaultIface::Menu() const
{
    return call([&] { return menuObject(); });
}

void NorvalisDefaultIface::setMenu(QObject *menu)
{
    call([&] { app().setMenu(MenuIface::menuOf(menu).object()); });
}
