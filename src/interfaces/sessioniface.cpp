#include "interfaces/sessioniface.h"

#include "interfaces/serveriface.h"
#include "session/session.h"
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

SessionDefaultIface::SessionDefaultIface(std::weak_ptr<clsSession> session)
    : m_session(std::move(session))
{ }

void SessionDefaultIface::Show()
{
    forward([](clsSession &s) { s.Show(); });
}
void SessionDefaultIface::Hide()
{
    forward([](clsSession &s) { s.Hide(); });
}
void SessionDefaultIface::Resize(rt::Long Width, rt::Long Height)
{
    forward([&](clsSession &s) { s.Resize(Width, Height); });
}
void SessionDefaultIface::Move(rt::Long Left, rt::Long Top, rt::Long Width, rt::Long Height)
{
    forward([&](clsSession &s) { s.Move(Left, Top, Width, Height); });
}
QObject *SessionDefaultIface::Server()
{
    return forward(
        [](clsSession &s) -> QObject * { return ServerObjects::instance().handOut(s.Server()); });
}
void SessionDefaultIface::Delete()
{
    forward([](clsSession &s) { s.Delete(); });
}
void SessionDefaultIface::Terminate(rt::Int Prompt)
{
    forward([&](clsSession &s) { s.Terminate(Prompt); });
}
void SessionDefaultIface::Paste(const QString &FileName)
{
    forward([&](clsSession &s) { s.Paste(FileName); });
}
void SessionDefaultIface::Activate()
{
    forward([](clsSession &s) { s.Activate(); });
}
void SessionDefaultIface::Save(const QString &FileName)
{
    forward([&](clsSession &s) { s.Save(FileName); });
}
rt::Int SessionDefaultIface::SaveAs()
{
    return forward([](clsSession &s) { return rt::BoolToInt(s.SaveAs()); });
}
void SessionDefaultIface::MouseTableLoad(const QString &FileName)
{
    forward([&](clsSession &s) { s.MouseTableLoad(FileName); });
}
