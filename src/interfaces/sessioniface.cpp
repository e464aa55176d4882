#include "interfaces/sessioniface.h"

#include "interfaces/serveriface.h"
#include "session/session.h"
#include "automation/members.h"
#include "emulator/settingsiface.h"
#include "session/sessions.h"

// ---- The collection ----

SessionsAdapter::SessionsAdapter(clsSessions *sessions, QObject *parent)
    : QObject(parent)
    , m_sessions(sessions)
{ }

QObject *SessionsAdapter::Add(const QString &FileName, rt::Int State, rt::Int mode, rt::Int Hidden)
{
    return automation::guard([&]() -> QObject * {
        const SessionPtr session = m_sessions->Add(FileName, State, mode, Hidden);
        return session ? session->AutomationObject() : nullptr;
    });
}

rt::Long SessionsAdapter::Count() const
{
    return automation::guard([&] { return m_sessions->Count(); });
}

void SessionsAdapter::Remove(const QVariant &Index)
{
    automation::guard([&] { m_sessions->Remove(Index); });
}

QObject *SessionsAdapter::item(const QVariant &Index) const
{
    return automation::guard([&] { return m_sessions->item(Index); });
}

QVariantList SessionsAdapter::NewEnum() const
{
    return automation::guard([&] {
        QVariantList list;
        for (const SessionPtr &session : m_sessions->NewEnum())
            list << QVariant::fromValue<QObject *>(session->AutomationObject());
        return list;
    });
}

// ---- A session ----

namespace sessioniface {

QObject *publish(const MenuPtr &menu)
{
    return MenuIface::of(menu);
}

QObject *publish(emu::Settings *settings)
{
    return emu::SettingsIface::of(settings);
}

QObject *publish(const std::shared_ptr<clsServer> &server)
{
    return ServerObjects::instance().handOut(server);
}

} // namespace sessioniface

namespace {

// Blocks an adapter keeps for its clients; older ones are let go.
constexpr qsizetype KeptBlocks = 64;

// Type checks of the session's own members against their rows.
#define NV_CHECK_OWN(Target, Access, Type, Name)                                                   \
    static_assert(std::is_same_v<std::decay_t<decltype(std::declval<const clsSession &>().Name())>, Type>, \
        #Name " has the type its row gives");
SESSION_OWN_PROPERTIES(NV_CHECK_OWN)
SESSION_INTERFACE_ONLY_PROPERTIES(NV_CHECK_OWN)
#undef NV_CHECK_OWN

// The names of the default interface, in its order.
QList<QByteArray> defaultOrder()
{
    QList<QByteArray> names;
#define NV_ORDER_VERB(Result, Name, ...) names << #Name;
#define NV_ORDER_PROPERTY(Target, Access, Type, Name)                                              \
    names << #Name;                                                                                \
    if (QByteArrayLiteral(#Access) == "Indexed")                                                   \
        names << "Set" #Name;
    SESSION_OWN_VERBS(NV_ORDER_VERB)
    SESSION_EMULATOR_VERBS(NV_ORDER_VERB)
    SESSION_OWN_PROPERTIES(NV_ORDER_PROPERTY)
    SESSION_TERMINAL_SETTINGS(NV_ORDER_PROPERTY)
#undef NV_ORDER_VERB
#undef NV_ORDER_PROPERTY
    return names;
}

} // namespace

QList<SessionIface::Slot> SessionIface::slotLayout()
{
    QList<Slot> layout;
    auto add = [&](const char *name, const char *member, const char *accessor) {
        layout << Slot { int(layout.size()), QByteArray(name), QByteArray(member),
            QByteArray(accessor) };
    };
#define NV_SLOT_VERB(Name) add(#Name, #Name, "Call");
#define NV_SLOT_VERB_AS(Name, Result, Member, Params, Args) add(#Name, #Member, "Call");
#define NV_SLOT_PROPERTY(Name, Member, Accessors) NV_SLOT_ACCESSORS_##Accessors(#Name, #Member)
#define NV_SLOT_ACCESSORS_Get(Name, Member) add(Name, Member, "Get");
#define NV_SLOT_ACCESSORS_GetLet(Name, Member)                                                     \
    add(Name, Member, "Get");                                                                      \
    add(Name, Member, "Let");
#define NV_SLOT_ACCESSORS_IndexedGetLet(Name, Member) NV_SLOT_ACCESSORS_GetLet(Name, Member)
#define NV_SLOT_ACCESSORS_LetGet(Name, Member)                                                     \
    add(Name, Member, "Let");                                                                      \
    add(Name, Member, "Get");
#define NV_SLOT_ACCESSORS_GetLetLater(Name, Member) add(Name, Member, "Get");
#define NV_SLOT_LATER(Name) add(#Name, #Name, "Let");
    SESSION_INTERFACE_LAYOUT(NV_SLOT_VERB, NV_SLOT_VERB_AS, NV_SLOT_PROPERTY, NV_SLOT_LATER)
#undef NV_SLOT_VERB
#undef NV_SLOT_VERB_AS
#undef NV_SLOT_PROPERTY
#undef NV_SLOT_LATER
    return layout;
}

namespace {

// The names of the Session interface, in its slot order.
QList<QByteArray> sessionOrder()
{
    QList<QByteArray> names;
    for (const SessionIface::Slot &slot : SessionIface::slotLayout()) {
        if (!names.contains(slot.name))
            names << slot.name;
    }
    // A property with an Index is the pair of methods Name and SetName.
    for (const SessionIface::Slot &slot : SessionIface::slotLayout()) {
        if (slot.accessor == "Let" && SessionIface::staticMetaObject.indexOfProperty(slot.name) < 0
            && !names.contains("Set" + slot.name))
            names.insert(names.indexOf(slot.name) + 1, "Set" + slot.name);
    }
    return names;
}

} // namespace

SessionAdapter::SessionAdapter(std::weak_ptr<clsSession> session)
    : m_session(std::move(session))
{ }

std::shared_ptr<clsSession> SessionAdapter::sessionOf(QObject *object)
{
    const auto *adapter = qobject_cast<const SessionAdapter *>(object);
    return adapter ? adapter->m_session.lock() : nullptr;
}

emu::Block *SessionAdapter::adopt(emu::Block *block)
{
    if (!block)
        return nullptr;
    block->setParent(this);
    m_blocks.removeAll(nullptr);
    m_blocks << block;
    while (m_blocks.size() > KeptBlocks) {
        // A block still in a call's hands leaves once that call is over.
        if (emu::Block *old = m_blocks.takeFirst())
            old->deleteLater();
    }
    return block;
}

void SessionAdapter::publishOrder(const QMetaObject *meta, const QList<QByteArray> &names)
{
    automation::members::setPublishedOrder(meta, names);
}

SessionDefaultIface::SessionDefaultIface(std::weak_ptr<clsSession> session)
    : SessionAdapter(std::move(session))
{
    static const bool ordered = (publishOrder(&staticMetaObject, defaultOrder()), true);
    Q_UNUSED(ordered)
}

SessionIface::SessionIface(std::weak_ptr<clsSession> session)
    : SessionAdapter(std::move(session))
{
    static const bool ordered = (publishOrder(&staticMetaObject, sessionOrder()), true);
    Q_UNUSED(ordered)
}

SessionSettingsIface::SessionSettingsIface(std::weak_ptr<clsSession> session)
    : SessionAdapter(std::move(session))
{
    static const bool ordered = (publishOrder(&staticMetaObject,
                                     { "Apply", "Menu", "Caption", "Icon", "ShowErrs", "AutoClose",
                                         "Script", "MouseTable", "MousePatterns" }),
        true);
    Q_UNUSED(ordered)
}
