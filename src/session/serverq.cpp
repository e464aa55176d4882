#include "session/serverq.h"

#include "runtime/errnum.h"

#include <QLoggingCategory>
#include <QScopeGuard>

Q_DECLARE_LOGGING_CATEGORY(lcSession)

namespace {
constexpr const char *kModule = "Serverq";
}

ServerQueue::ServerQueue(Session session)
    : m_session(std::move(session))
{ }

// A queue that goes with its session leaves no request waiting for ever.
ServerQueue::~ServerQueue()
{
    rt::ResumeNext quiet;
    while (!m_requests.empty()) {
        const ServerPtr request = m_requests.front();
        m_requests.pop_front();
        quiet([&] {
            request->ReturnResult(QString(), rt::err::DdeShutdown,
                servererror::text(rt::err::DdeShutdown));
        });
        request->setState(serverstate::Ready);
    }
}

bool ServerQueue::AddRequest(const ServerPtr &request, const QString &text)
{
    const auto self = shared_from_this();
    bool ok = false;
    rt::ResumeNext quiet;
    quiet([&] {
        if (!m_session.serverMode())
            return;
        m_requests.push_back(request);
        request->setState(serverstate::Queued);
        request->setRequestText(text);
        StartNextRequest();
        ok = true;
    });
    if (quiet.failed())
        qCDebug(lcSession) << "request not queued:" << quiet.error().description;
    return ok;
}

void ServerQueue::StartNextRequest()
{
    // A completion's handlers that submit again come back here: the loop below takes their
    // requests in turn, so a host that refuses everything costs no stack.
    if (m_starting)
        return;
    m_starting = true;
    const auto done = qScopeGuard([this] { m_starting = false; });
    while (!m_requests.empty()) {
        const ServerPtr request = m_requests.front();
        if (request->RawState() != serverstate::Queued)
            return; // it is with the host already
        request->setState(serverstate::Running);
        rt::Int taken = 0;
        rt::ResumeNext quiet;
        quiet([&] { taken = m_session.toHost(request->RequestText()); });
        if (quiet.failed())
            qCDebug(lcSession) << "request" << request->ID()
                               << "not handed to the host:" << quiet.error().description;
        if (taken != 0)
            return;
        // Refused, or no host to take it: the request ends now and the next one is tried.
        if (!m_requests.empty() && m_requests.front() == request)
            completeFront(QString(), rt::err::DdeBusy, servererror::text(rt::err::DdeBusy));
    }
}

void ServerQueue::completeFront(const QString &result, rt::Long errNum, const QString &errMsg)
{
    const ServerPtr request = m_requests.front();
    m_requests.pop_front();
    const auto ready = qScopeGuard([&] { request->setState(serverstate::Ready); });
    request->ReturnResult(result, errNum, errMsg);
}

void ServerQueue::ReturnServerResult(const QString &result, rt::Long errNum, const QString &errMsg)
{
    const auto self = shared_from_this();
    rt::Proc h(kModule, "ReturnServerResult");
    h([&] {
        if (m_requests.empty() || m_requests.front()->RawState() != serverstate::Running) {
            qCDebug(lcSession) << "an answer of the host with no request at the host, dropped";
            return;
        }
        completeFront(result, errNum, errMsg);
    });
    h([&] { StartNextRequest(); });
}

void ServerQueue::Shutdown()
{
    const auto self = shared_from_this();
    rt::ResumeNext quiet;
    while (!m_requests.empty()) {
        quiet([&] {
            completeFront(QString(), rt::err::DdeShutdown, servererror::text(rt::err::DdeShutdown));
        });
    }
}
