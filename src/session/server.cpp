#include "session/server.h"

#include "app/norvalis.h"
#include "emulator/hostprotocol.h"
#include "runtime/errnum.h"
#include "session/sessions.h"

#include <QLoggingCategory>
#include <limits>

Q_DECLARE_LOGGING_CATEGORY(lcSession)

namespace {

constexpr const char *kModule = "server";

rt::Long gServerCounter = 0;
qsizetype gServerCount = 0;

// The session of a request, or null; never fails.
SessionPtr sessionOf(rt::Int number)
{
    if (!gApp)
        return nullptr;
    return gApp->ClsSessions().clsItem(QVariant(QString::number(number)));
}

} // namespace

namespace servererror {

QString text(rt::Long number)
{
    switch (number) {
    case rt::err::DdeBusy:
        return QStringLiteral("Server busy");
    case rt::err::DdeNotRunning:
        return QStringLiteral("Server not running");
    case rt::err::DdeRejected:
        return QStringLiteral("Request rejected");
    case rt::err::DdeShutdown:
        return QStringLiteral("Server shutdown");
    default:
        return rt::errorText(number);
    }
}

QString tooLongText()
{
    return text(rt::err::DdeRejected)
        + QStringLiteral(": longer than the host protocol's limit of %1 bytes (1 MiB)")
              .arg(emu::HostProtocol::maxRequestSize);
}

} // namespace servererror

ServerPtr SessionBase::Server() const
{
    return clsServer::create(rt::Int(ID().toInt()));
}

clsServer::clsServer(rt::Long id, rt::Int sessionNo)
    : m_id(id)
    , m_sessionNo(sessionNo)
{
    ++gServerCount;
}

clsServer::~clsServer()
{
    --gServerCount;
}

std::shared_ptr<clsServer> clsServer::create(rt::Int sessionNo)
{
    return std::shared_ptr<clsServer>(new clsServer(nextId(), sessionNo));
}

// The counter goes round after the highest 32-bit number, so a long-running program never
// overflows it; IDs are unique among the objects alive at any time.
rt::Long clsServer::nextId()
{
    if (gServerCounter == std::numeric_limits<rt::Long>::max())
        gServerCounter = 0;
    return ++gServerCounter;
}

qsizetype clsServer::Count()
{
    return gServerCount;
}

QString clsServer::Description() const
{
    QString name;
    rt::ResumeNext quiet;
    quiet([&] {
        if (const SessionPtr session = sessionOf(m_sessionNo))
            name = session->ServerName();
    });
    return name;
}

rt::Int clsServer::State() const
{
    bool serving = false;
    rt::ResumeNext quiet;
    quiet([&] {
        const SessionPtr session = sessionOf(m_sessionNo);
        serving = session && session->ServerMode();
    });
    return serving ? m_state : serverstate::NotServing;
}

bool clsServer::SubmitRequest(const QString &text)
{
    if (m_state != serverstate::Ready) {
        refuse(rt::err::DdeBusy);
        return false;
    }
    bool serving = false;
    bool fits = true;
    bool ok = false;
    rt::ResumeNext quiet;
    quiet([&] {
        const SessionPtr session = sessionOf(m_sessionNo);
        if (!session || !session->ServerMode())
            return;
        serving = true;
        fits = emu::HostProtocol::requestFits(text);
        if (fits)
            ok = session->ServerRequest(shared_from_this(), text);
    });
    rt::debugSwallowed(lcSession(), quiet, "request not queued", QString::number(m_id));
    if (!serving)
        refuse(rt::err::DdeNotRunning);
    else if (!fits)
        refuse(rt::err::DdeRejected, servererror::tooLongText());
    else if (!ok)
        refuse(rt::err::DdeRejected);
    return ok;
}

void clsServer::refuse(rt::Long errNum, const QString &errMsg)
{
    m_errNum = errNum;
    m_errMsg = errMsg.isEmpty() ? servererror::text(errNum) : errMsg;
}

void clsServer::ReturnResult(const QString &result, rt::Long errNum, const QString &errMsg)
{
    rt::Proc h(kModule, "ReturnResult");
    h([&] {
        m_result = result;
        m_errNum = errNum;
        m_errMsg = errMsg;
        emit Notify(errNum);
    });
}
