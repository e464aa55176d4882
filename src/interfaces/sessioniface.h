#pragma once
// The automation interfaces of the sessions collection and of a session, as D-Bus clients and
// scripts see them:
// - /Norvalis/Sessions: NVWin32._clsSessions (Add, Count, Remove, item, NewEnum) and
//   NVWin32.Sessions (Add, Count, Remove, Item, NewEnum), one object with two interfaces;
// - /Sessions/<ID>: three interfaces of one session, generated from the tables of
//   session/sessionmembers.h:
//   NVWin32._clsSession, the session's default interface (175 members in order), with its
//   events Extension (a registered client may rewrite the command) and DataReady as signals
//   (DataReady, raised on every read from the host, goes to the bus at most once a frame, the
//   last always; scripts get every one);
//   NVWin32.Session, the stable contract for clients and scripts (its verb slots, then its
//   property adapters, in slot order);
//   NVWin32.SessionSettings, the session's own settings (session/sessionsettings.h).
// Each member is a one-line forwarder to the session's member it names and hands back its result
// and its error unchanged; a session comes back as its path ("/" for none), its menu and its
// emulator's Settings object as their automation objects. A property that takes an Index is a
// pair of methods: Name(Index) and SetName(Index, value). A session adapter does not keep its
// session alive: once the session is gone, every member raises 91. Scripts see a session through
// its default interface, where its events are.

#include "automation/guard.h"
#include "emulator/block.h"
#include "interfaces/menuiface.h"
#include "runtime/error.h"
#include "runtime/values.h"
#include "session/session.h"
#include "session/sessionmembers.h"
#include "session/sessionsettings.h"

class clsServer;

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


namespace sessioniface {

// A value as clients see it: objects as their automation objects.
template<class T> T publish(T value)
{
    return value;
}
QObject *publish(const MenuPtr &menu);
QObject *publish(emu::Settings *settings);
QObject *publish(const std::shared_ptr<clsServer> &server);


} // namespace sessioniface

// The published type of each property, taken from the row that declares it.
namespace sessiontype {
#define NV_SESSION_TYPE(Target, Access, Type, Name)                                                \
    using Name = decltype(sessioniface::publish(std::declval<Type>()));
#define NV_SESSION_VERB_TYPE(Result, Name, Params, Args, Call, Rule) NV_SESSION_VERB_TYPE_##Rule(Result, Name)
#define NV_SESSION_VERB_TYPE_Get(Result, Name) using Name = Result;
#define NV_SESSION_VERB_TYPE_Plain(Result, Name)
#define NV_SESSION_VERB_TYPE_PasteTool(Result, Name)
#define NV_SESSION_VERB_TYPE_Quiet(Result, Name)
#define NV_SESSION_VERB_TYPE_Sink(Result, Name)
SESSION_OWN_PROPERTIES(NV_SESSION_TYPE)
SESSION_TERMINAL_SETTINGS(NV_SESSION_TYPE)
SESSION_TRANSFER_SETTINGS(NV_SESSION_TYPE)
SESSION_INTERFACE_ONLY_PROPERTIES(NV_SESSION_TYPE)
SESSION_EMULATOR_VERBS(NV_SESSION_VERB_TYPE)
} // namespace sessiontype


// What the three interfaces of a session share: the session they stand for. Not published
// itself.
class SessionAdapter : public QObject
{
    Q_OBJECT
public:
    explicit SessionAdapter(std::weak_ptr<clsSession> session);
    // The session an automation object of a session stands for; nullptr for any other object
    // and for a session that has gone.
    static std::shared_ptr<clsSession> sessionOf(QObject *object);

protected:
    // Runs body on the session as the caller needs it; 91 once the session is gone.
    template<class F> auto forward(F &&body) const
    {
        return automation::guard([&] {
            const std::shared_ptr<clsSession> session = m_session.lock();
            if (!session)
                rt::raise(rt::err::ObjectNotSet);
            return body(*session);
        });
    }
    // The result of a session member as the interface declares it: a C++ bool is a 16-bit
    // Boolean, and a block the session made is kept by the adapter (the newest ones, for the
    // clients and scripts that hold them).
    template<class Result, class F> Result answer(F &&call)
    {
        if constexpr (std::is_void_v<Result>)
            call();
        else if constexpr (std::is_same_v<Result, emu::Block *>)
            return adopt(call());
        else if constexpr (std::is_same_v<decltype(call()), bool>)
            return rt::BoolToInt(call());
        else
            return sessioniface::publish(call());
    }
    emu::Block *adopt(emu::Block *block);
    // Puts the introspection order of the interface on record, once per class.
    static void publishOrder(const QMetaObject *meta, const QList<QByteArray> &names);

private:
    std::weak_ptr<clsSession> m_session;
    QList<QPointer<emu::Block>> m_blocks;
};

// ---- The generated members ----

// A property declared for moc: Published is its name, Member the session's member it forwards to.
#define NV_QPROPERTY_ReadWrite(Published, Member)                                                  \
    Q_PROPERTY(sessiontype::Member Published READ Published WRITE set##Published)
#define NV_QPROPERTY_ByRef(Published, Member) NV_QPROPERTY_ReadWrite(Published, Member)
#define NV_QPROPERTY_ReadOnly(Published, Member) Q_PROPERTY(sessiontype::Member Published READ Published)
#define NV_QPROPERTY_Indexed(Published, Member)

// Its accessors (an Indexed property's are the methods below).
#define NV_GETTER(Published, Member)                                                               \
    sessiontype::Member Published() const                                                          \
    {                                                                                              \
        return forward([](clsSession &s) { return sessioniface::publish(s.Member()); });           \
    }
#define NV_SETTER(Published, Member)                                                               \
    void set##Published(menuiface::In<sessiontype::Member> value)                                  \
    {                                                                                              \
        forward([&](clsSession &s) {                                                               \
            sessiontype::Member v = value;                                                         \
            s.set##Member(v);                                                                      \
        });                                                                                        \
    }
#define NV_ACCESS_ReadWrite(Published, Member) NV_GETTER(Published, Member) NV_SETTER(Published, Member)
#define NV_ACCESS_ByRef(Published, Member) NV_ACCESS_ReadWrite(Published, Member)
#define NV_ACCESS_ReadOnly(Published, Member) NV_GETTER(Published, Member)
#define NV_ACCESS_Indexed(Published, Member)

// The methods of a property with an Index.
#define NV_INDEXED_Indexed(Published, Member)                                                      \
    sessiontype::Member Published(rt::Int Index) const                                             \
    {                                                                                              \
        return forward([&](clsSession &s) { return s.Member(Index); });                            \
    }                                                                                              \
    void Set##Published(rt::Int Index, menuiface::In<sessiontype::Member> value)                   \
    {                                                                                              \
        forward([&](clsSession &s) { s.set##Member(Index, value); });                              \
    }
#define NV_INDEXED_ReadWrite(Published, Member)
#define NV_INDEXED_ByRef(Published, Member)
#define NV_INDEXED_ReadOnly(Published, Member)

// Table rows of properties (X(Target, Access, Type, Name)) in those three forms.
#define NV_ROW_QPROPERTY(Target, Access, Type, Name) NV_QPROPERTY_##Access(Name, Name)
#define NV_ROW_ACCESSORS(Target, Access, Type, Name) NV_ACCESS_##Access(Name, Name)
#define NV_ROW_INDEXED(Target, Access, Type, Name) NV_INDEXED_##Access(Name, Name)

// Table rows of verbs: Get rows are read-only properties, the others methods.
#define NV_VERB_QPROPERTY(Result, Name, Params, Args, Call, Rule) NV_VERB_QPROPERTY_##Rule(Name)
#define NV_VERB_ACCESSORS(Result, Name, Params, Args, Call, Rule) NV_VERB_ACCESSORS_##Rule(Name)
#define NV_VERB_SLOT(Result, Name, Params, Args, Call, Rule) NV_VERB_SLOT_##Rule(Result, Name, Params, Args)
#define NV_VERB_SLOT_CALL(Result, Name, Params, Args, Member)                                      \
    Result Name Params                                                                             \
    {                                                                                              \
        return forward([&](clsSession &s) {                                                        \
            return answer<Result>([&]() -> decltype(auto) { return s.Member Args; });              \
        });                                                                                        \
    }
#define NV_VERB_QPROPERTY_Get(Name) NV_QPROPERTY_ReadOnly(Name, Name)
#define NV_VERB_ACCESSORS_Get(Name) NV_GETTER(Name, Name)
#define NV_VERB_SLOT_Get(Result, Name, Params, Args)
#define NV_VERB_QPROPERTY_NotGet(Name)
#define NV_VERB_QPROPERTY_Own(Name)
#define NV_VERB_QPROPERTY_Plain(Name)
#define NV_VERB_QPROPERTY_PasteTool(Name)
#define NV_VERB_QPROPERTY_Quiet(Name)
#define NV_VERB_QPROPERTY_Sink(Name)
#define NV_VERB_ACCESSORS_Own(Name)
#define NV_VERB_ACCESSORS_Plain(Name)
#define NV_VERB_ACCESSORS_PasteTool(Name)
#define NV_VERB_ACCESSORS_Quiet(Name)
#define NV_VERB_ACCESSORS_Sink(Name)
#define NV_VERB_SLOT_Own(Result, Name, Params, Args) NV_VERB_SLOT_CALL(Result, Name, Params, Args, Name)
#define NV_VERB_SLOT_Plain(Result, Name, Params, Args) NV_VERB_SLOT_CALL(Result, Name, Params, Args, Name)
#define NV_VERB_SLOT_PasteTool(Result, Name, Params, Args) NV_VERB_SLOT_CALL(Result, Name, Params, Args, Name)
#define NV_VERB_SLOT_Sink(Result, Name, Params, Args) NV_VERB_SLOT_CALL(Result, Name, Params, Args, Name)
#define NV_VERB_SLOT_Quiet(Result, Name, Params, Args) NV_VERB_SLOT_CALL(Result, Name, Params, Args, Name)

// Rows of the Session interface's layout in those forms.
#define NV_LAYOUT_VERB_NONE(Name)
#define NV_LAYOUT_VERB_AS_NONE(Name, Result, Member, Params, Args)
#define NV_LAYOUT_VERB_AS_SLOT(Name, Result, Member, Params, Args)                                 \
    NV_VERB_SLOT_CALL(Result, Name, Params, Args, Member)
#define NV_LAYOUT_PROPERTY_NONE(Name, Member, Accessors)
#define NV_LAYOUT_LATER_NONE(Name)
#define NV_LAYOUT_QPROPERTY(Name, Member, Accessors) NV_QPROPERTY_##Accessors(Name, Member)
#define NV_LAYOUT_ACCESSORS(Name, Member, Accessors) NV_ACCESS_##Accessors(Name, Member)
#define NV_LAYOUT_INDEXED(Name, Member, Accessors) NV_INDEXED_##Accessors(Name, Member)
#define NV_QPROPERTY_Get(Published, Member) NV_QPROPERTY_ReadOnly(Published, Member)
#define NV_QPROPERTY_GetLet(Published, Member) NV_QPROPERTY_ReadWrite(Published, Member)
#define NV_QPROPERTY_LetGet(Published, Member) NV_QPROPERTY_ReadWrite(Published, Member)
#define NV_QPROPERTY_GetLetLater(Published, Member) NV_QPROPERTY_ReadWrite(Published, Member)
#define NV_QPROPERTY_IndexedGetLet(Published, Member)
#define NV_ACCESS_Get(Published, Member) NV_ACCESS_ReadOnly(Published, Member)
#define NV_ACCESS_GetLet(Published, Member) NV_ACCESS_ReadWrite(Published, Member)
#define NV_ACCESS_LetGet(Published, Member) NV_ACCESS_ReadWrite(Published, Member)
#define NV_ACCESS_GetLetLater(Published, Member) NV_ACCESS_ReadWrite(Published, Member)
#define NV_ACCESS_IndexedGetLet(Published, Member)
#define NV_INDEXED_Get(Published, Member)
#define NV_INDEXED_GetLet(Published, Member)
#define NV_INDEXED_LetGet(Published, Member)
#define NV_INDEXED_GetLetLater(Published, Member)
#define NV_INDEXED_IndexedGetLet(Published, Member) NV_INDEXED_Indexed(Published, Member)

// NVWin32._clsSession
class SessionDefaultIface : public SessionAdapter
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32._clsSession")
    Q_CLASSINFO("D-Bus Path Prefix", "/Sessions")
    Q_CLASSINFO("D-Bus Path Key", "ID")
    Q_CLASSINFO("D-Bus Paced Events", "DataReady")
    SESSION_EMULATOR_VERBS(NV_VERB_QPROPERTY)
    SESSION_OWN_PROPERTIES(NV_ROW_QPROPERTY)
    SESSION_TERMINAL_SETTINGS(NV_ROW_QPROPERTY)

public:
    explicit SessionDefaultIface(std::weak_ptr<clsSession> session);

    SESSION_EMULATOR_VERBS(NV_VERB_ACCESSORS)
    SESSION_OWN_PROPERTIES(NV_ROW_ACCESSORS)
    SESSION_TERMINAL_SETTINGS(NV_ROW_ACCESSORS)

    // Raises Extension; handlers (and registered clients) may rewrite cmd.
    void raiseExtension(QString &cmd) { emit Extension(cmd); }

public slots:
    SESSION_OWN_VERBS(NV_VERB_SLOT)
    SESSION_EMULATOR_VERBS(NV_VERB_SLOT)
    SESSION_TERMINAL_SETTINGS(NV_ROW_INDEXED)

signals:
    void Extension(QString &cmd);
    void DataReady();
};

// NVWin32.Session
class SessionIface : public SessionAdapter
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.Session")
    Q_CLASSINFO("D-Bus Path Prefix", "/Sessions")
    Q_CLASSINFO("D-Bus Path Key", "ID")
    SESSION_INTERFACE_LAYOUT(NV_LAYOUT_VERB_NONE, NV_LAYOUT_VERB_AS_NONE, NV_LAYOUT_QPROPERTY,
        NV_LAYOUT_LATER_NONE)

public:
    explicit SessionIface(std::weak_ptr<clsSession> session);

    // One entry of the interface: its slot (from 0, Show), the published name, the session's
    // member it reaches and the accessor ("Call", "Get" or "Let").
    struct Slot
    {
        int slot;
        QByteArray name;
        QByteArray member;
        QByteArray accessor;
    };
    static QList<Slot> slotLayout();

    SESSION_INTERFACE_LAYOUT(NV_LAYOUT_VERB_NONE, NV_LAYOUT_VERB_AS_NONE, NV_LAYOUT_ACCESSORS,
        NV_LAYOUT_LATER_NONE)

public slots:
    SESSION_OWN_VERBS(NV_VERB_SLOT)
    SESSION_EMULATOR_VERBS(NV_VERB_SLOT)
    SESSION_INTERFACE_LAYOUT(NV_LAYOUT_VERB_NONE, NV_LAYOUT_VERB_AS_SLOT, NV_LAYOUT_INDEXED,
        NV_LAYOUT_LATER_NONE)
};

// NVWin32.SessionSettings
#define SESSION_SETTINGS_PROPERTIES(X)                                                             \
    X(QString, Menu)                                                                               \
    X(QString, Caption)                                                                            \
    X(QString, Icon)                                                                               \
    X(rt::Int, ShowErrs)                                                                           \
    X(rt::Int, AutoClose)                                                                          \
    X(QString, Script)                                                                             \
    X(QString, MouseTable)                                                                         \
    X(QString, MousePatterns)

class SessionSettingsIface : public SessionAdapter
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.SessionSettings")
    Q_CLASSINFO("D-Bus Path Prefix", "/Sessions")
    Q_CLASSINFO("D-Bus Path Key", "ID")
#define NV_SETTINGS_QPROPERTY(Type, Name) Q_PROPERTY(Type Name READ Name WRITE set##Name)
    SESSION_SETTINGS_PROPERTIES(NV_SETTINGS_QPROPERTY)

public:
    explicit SessionSettingsIface(std::weak_ptr<clsSession> session);

#define NV_SETTINGS_ACCESSORS(Type, Name)                                                          \
    Type Name() const                                                                              \
    {                                                                                              \
        return forward([](clsSession &s) { return s.AsSessionSettings().Name(); });                \
    }                                                                                              \
    void set##Name(menuiface::In<Type> value)                                                      \
    {                                                                                              \
        forward([&](clsSession &s) { s.AsSessionSettings().set##Name(value); });                   \
    }
    SESSION_SETTINGS_PROPERTIES(NV_SETTINGS_ACCESSORS)

public slots:
    void Apply()
    {
        forward([](clsSession &s) { s.AsSessionSettings().Apply(); });
    }
};
