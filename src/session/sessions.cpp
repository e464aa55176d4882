#include "session/sessions.h"

#include "menus/menus.h"
#include "runtime/values.h"

namespace {
constexpr const char *kModule = "sessions";
}

clsSessions::clsSessions(QObject *parent)
    : QObject(parent)
{ }

clsSessions::~clsSessions() = default;

rt::Long clsSessions::Count() const
{
    rt::Long count = 0;
    rt::Proc h(kModule, "Count");
    h([&] { count = m_sessions.Count(); });
    return count;
}

void clsSessions::Remove(const QVariant &index)
{
    rt::ResumeNext quiet;
    SessionPtr session;
    quiet([&] { session = clsItem(index); });
    if (session) {
        quiet([&] { session->Terminate(0); });
        // Closing may have changed the collection: the entry is found again by its session.
        quiet([&] {
            if (const rt::Long entry = entryHolding(session))
                m_sessions.Remove(entry);
        });
    }
    quiet([&] {
        if (m_sessions.Count() == 0) {
            if (!gMenus)
                rt::raise(91);
            gMenus->setActiveMenu(0);
        }
    });
}

QObject *clsSessions::item(const QVariant &index) const
{
    const SessionPtr session = clsItem(index);
    return session ? session->AutomationObject() : nullptr;
}

std::vector<SessionPtr> clsSessions::NewEnum() const
{
    std::vector<SessionPtr> sessions;
    rt::Proc h(kModule, "NewEnum");
    h([&] {
        for (const SessionPtr &session : m_sessions)
            sessions.push_back(session);
    });
    return sessions;
}

SessionPtr clsSessions::clsItem(const QVariant &index) const
{
    const rt::Long entry = entryOf(index);
    return entry ? m_sessions.Item(entry) : nullptr;
}

void clsSessions::clsAdd(const SessionPtr &session, const QString &key)
{
    rt::Proc h(kModule, "clsAdd");
    h([&] { m_sessions.Add(session, key); });
}

rt::Long clsSessions::entryOf(const QVariant &index) const
{
    try {
        if (index.typeId() == QMetaType::QString)
            return m_sessions.indexOf(index.toString());
        const rt::Long entry = rt::AddLong(rt::CLng(index), 1);
        return entry >= 1 && entry <= m_sessions.Count() ? entry : 0;
    } catch (const rt::Error &) {
        return 0; // an index that is no number names no session
    }
}

rt::Long clsSessions::entryHolding(const SessionPtr &session) const
{
    for (rt::Long entry = 1; entry <= m_sessions.Count(); ++entry) {
        if (m_sessions.Item(entry) == session)
            return entry;
    }
    return 0;
}
