#include "session/sessions.h"

#include "app/norvalis.h"
#include "emulator/emulator.h"
#include "menus/menus.h"
#include "runtime/errnum.h"
#include "runtime/values.h"
#include "session/mdichild.h"
#include "session/session.h"

#include <QCoreApplication>

namespace {
constexpr const char *kModule = "sessions";
}

clsSessions::clsSessions(QObject *parent)
    : QObject(parent)
{ }

// Each session goes on its own, so that its destructor still finds the collection whole.
clsSessions::~clsSessions()
{
    while (m_sessions.Count() > 0) {
        SessionPtr session = m_sessions.Item(1);
        m_sessions.Remove(1);
        session.reset();
    }
}

SessionPtr clsSessions::Add(const QString &fileName, rt::Int state, rt::Int mode, rt::Int hidden)
{
    if (state < 0) {
        if (!gApp)
            rt::raise(rt::err::ObjectNotSet);
        state = gApp->InitChildWindowState();
    }
    std::shared_ptr<clsSession> session = clsSession::create();
    try {
        session->setWindowState(state);
        session->Emulator()->setInputMode(mode);
        session->setFileName(fileName);
        if (!hidden) {
            session->Show();
            session->frmSession()->Form_Activate();
        }
    } catch (...) {
        // A session that could not be opened does not stay behind half-made.
        rt::ResumeNext quiet;
        quiet([&] { session->Terminate(0); });
        throw;
    }
    if (m_sessions.Count() == 1) {
        SessionPtr spare = Add(QString(), -1, 0, 1);
        QCoreApplication::processEvents();
        spare->Terminate(1);
    }
    return session;
}

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
                rt::raise(rt::err::ObjectNotSet);
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
