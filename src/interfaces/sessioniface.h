#pragma once
// The automation interfaces of the sessions collection and of a session, as D-Bus clients and
// scripts see them:
// - /Norvalis/Sessions: NVWin32._clsSessions (Add, Count, Remove, item, NewEnum) and
//   NVWin32.Sessions (Add, Count, Remove, Item, NewEnum), one object with two interfaces;
// - /Sessions/<ID>: NVWin32._clsSession, the session's properties and verbs, and its events
//   Extension (a registered client may rewrite the command) and DataReady as signals.
// Each member is a one-line forwarder to the object's member of the same name and hands back its
// result and its error unchanged; a session comes back as its path ("/" for none). A session
// adapter does not keep its session alive: once the session is gone, every member raises 91.

#include "automation/guard.h"
#include "interfaces/menuiface.h"
#include "runtime/error.h"
#include "runtime/values.h"
#include "session/session.h"

#include <QObject>
#include <QVariantList>
#include <memory>

class clsSessions;

// The members both collection interfaces share (not published itself).
class SessionsAdapter : public QObject
{
public:
    SessionsAdapter(clsSessions *sessions, QObject *parent);

    QObject *Add(const QString &FileName, rt::Int State, rt::Int mode, rt::Int Hidden);
    rt::Long Count() const;
    void Remove(const QVariant &Index);
    QObject *item(const QVariant &Index) const;
    QVariantList NewEnum() const;

private:
    clsSessions *m_sessions;
};

// NVWin32._clsSessions
class SessionsDefaultIface : public SessionsAdapter
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32._clsSessions")
    Q_CLASSINFO("D-Bus Path", "/Norvalis/Sessions")
    Q_PROPERTY(rt::Long Count READ Count)
public:
    using SessionsAdapter::SessionsAdapter;

public slots:
    QObject *Add(const QString &FileName = QString(), rt::Int State = -1, rt::Int mode = 0,
        rt::Int Hidden = 0)
    {
        return SessionsAdapter::Add(FileName, State, mode, Hidden);
    }
    void Remove(const QVariant &Index) { SessionsAdapter::Remove(Index); }
    QObject *item(const QVariant &Index) const { return SessionsAdapter::item(Index); }
    QVariantList NewEnum() const { return SessionsAdapter::NewEnum(); }
};

// NVWin32.Sessions
class SessionsIface : public SessionsAdapter
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.Sessions")
    Q_CLASSINFO("D-Bus Path", "/Norvalis/Sessions")
    Q_PROPERTY(rt::Long Count READ Count)
public:
    using SessionsAdapter::SessionsAdapter;

public slots:
    QObject *Add(const QString &FileName = QString(), rt::Int State = -1, rt::Int mode = 0,
        rt::Int Hidden = 0)
    {
        return SessionsAdapter::Add(FileName, State, mode, Hidden);
    }
    void Remove(const QVariant &Index) { SessionsAdapter::Remove(Index); }
    QObject *Item(const QVariant &Index) const { return SessionsAdapter::item(Index); }
    QVariantList NewEnum() const { return SessionsAdapter::NewEnum(); }
};

// One-line forwarders to the session.
#define NV_SESSION_GET(Type, Name)                                                                 \
    Type Name() const                                                                              \
    {                                                                                              \
        return forward([](clsSession &s) { return s.Name(); });                                    \
    }
#define NV_SESSION_PROPERTY(Type, Name)                                                            \
    NV_SESSION_GET(Type, Name)                                                                     \
    void set##Name(menuiface::In<Type> value)                                                      \
    {                                                                                              \
        forward([&](clsSession &s) { s.set##Name(value); });                                       \
    }

// NVWin32._clsSession
class SessionDefaultIface : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32._clsSession")
    Q_CLASSINFO("D-Bus Path Prefix", "/Sessions")
    Q_CLASSINFO("D-Bus Path Key", "ID")
    Q_PROPERTY(QString ID READ ID)
    Q_PROPERTY(rt::Int Visible READ Visible WRITE setVisible)
    Q_PROPERTY(rt::Long Left READ Left WRITE setLeft)
    Q_PROPERTY(rt::Long Top READ Top WRITE setTop)
    Q_PROPERTY(rt::Long Width READ Width WRITE setWidth)
    Q_PROPERTY(rt::Long Height READ Height WRITE setHeight)
    Q_PROPERTY(rt::Int ServerMode READ ServerMode)
    Q_PROPERTY(QString ServerName READ ServerName)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(QString Icon READ Icon WRITE setIcon)
    Q_PROPERTY(rt::Int AutoClose READ AutoClose WRITE setAutoClose)
    Q_PROPERTY(rt::Int ShowErrs READ ShowErrs WRITE setShowErrs)
    Q_PROPERTY(rt::Int WindowState READ WindowState WRITE setWindowState)
    Q_PROPERTY(rt::Int Changed READ Changed WRITE setChanged)
    Q_PROPERTY(QString DialedNumber READ DialedNumber WRITE setDialedNumber)
    Q_PROPERTY(QString DialedName READ DialedName WRITE setDialedName)
    Q_PROPERTY(QString PhoneBookName READ PhoneBookName WRITE setPhoneBookName)
    Q_PROPERTY(QString FileName READ FileName WRITE setFileName)
    Q_PROPERTY(QString DDEResult READ DDEResult WRITE setDDEResult)
    Q_PROPERTY(rt::Long hWnd READ hWnd)

private:
    // Runs body on the session as the caller needs it; 91 once the session is gone.
    template<class F> auto forward(F &&body) const
    {
        return automation::guard([&] {
            const std::shared_ptr<clsSession> session = m_session.lock();
            if (!session)
                rt::raise(91);
            return body(*session);
        });
    }

    std::weak_ptr<clsSession> m_session;

public:
    explicit SessionDefaultIface(std::weak_ptr<clsSession> session);

    NV_SESSION_GET(QString, ID)
    NV_SESSION_PROPERTY(rt::Int, Visible)
    NV_SESSION_PROPERTY(rt::Long, Left)
    NV_SESSION_PROPERTY(rt::Long, Top)
    NV_SESSION_PROPERTY(rt::Long, Width)
    NV_SESSION_PROPERTY(rt::Long, Height)
    NV_SESSION_GET(rt::Int, ServerMode)
    NV_SESSION_GET(QString, ServerName)
    NV_SESSION_PROPERTY(QString, Caption)
    NV_SESSION_PROPERTY(QString, Icon)
    NV_SESSION_PROPERTY(rt::Int, AutoClose)
    NV_SESSION_PROPERTY(rt::Int, ShowErrs)
    NV_SESSION_PROPERTY(rt::Int, WindowState)
    NV_SESSION_PROPERTY(rt::Int, Changed)
    NV_SESSION_PROPERTY(QString, DialedNumber)
    NV_SESSION_PROPERTY(QString, DialedName)
    NV_SESSION_PROPERTY(QString, PhoneBookName)
    NV_SESSION_PROPERTY(QString, FileName)
    NV_SESSION_PROPERTY(QString, DDEResult)
    NV_SESSION_GET(rt::Long, hWnd)

    // Raises Extension; handlers (and registered clients) may rewrite cmd.
    void raiseExtension(QString &cmd) { emit Extension(cmd); }

public slots:
    void Show();
    void Hide();
    void Resize(rt::Long Width, rt::Long Height);
    void Move(rt::Long Left, rt::Long Top = rt::OmittedLong, rt::Long Width = rt::OmittedLong,
        rt::Long Height = rt::OmittedLong);
    // A new request object for the session's host program (NVWin32.Server, serveriface.h).
    QObject *Server();
    void Delete();
    void Terminate(rt::Int Prompt = 1);
    void Paste(const QString &FileName = QString());
    void Activate();
    void Save(const QString &FileName = QString());
    rt::Int SaveAs();
    void MouseTableLoad(const QString &FileName);

signals:
    void Extension(QString &cmd);
    void DataReady();

};

#undef NV_SESSION_GET
#undef NV_SESSION_PROPERTY
