#include "automation/latereply.h"

#include <QThread>
#include <exception>

namespace automation {

namespace {

thread_local LateReplyOffer *currentOffer = nullptr;

int loopLevel()
{
    return QThread::currentThread()->loopLevel();
}

} // namespace

LateReply::LateReply(Answer answer, Failure failure)
    : m_answer(std::move(answer))
    , m_failure(std::move(failure))
{ }

LateReply::~LateReply()
{
    answer(QVariant());
}

void LateReply::answer(const QVariant &value)
{
    Answer send = std::exchange(m_answer, nullptr);
    m_failure = nullptr;
    if (send)
        send(value);
}

void LateReply::fail(const rt::Error &error)
{
    Failure send = std::exchange(m_failure, nullptr);
    m_answer = nullptr;
    if (send)
        send(error);
}

void LateReply::drop()
{
    m_answer = nullptr;
    m_failure = nullptr;
}

void LateReply::clientGone()
{
    drop();
    if (const std::function<void()> gone = std::exchange(m_gone, nullptr))
        gone();
}

LateReplyOffer::LateReplyOffer(QString member, std::function<std::shared_ptr<LateReply>()> make)
    : m_member(std::move(member))
    , m_make(std::move(make))
    , m_outer(currentOffer)
    , m_loopLevel(loopLevel())
    , m_exceptions(std::uncaught_exceptions())
{
    currentOffer = this;
}

LateReplyOffer::~LateReplyOffer()
{
    currentOffer = m_outer;
    // The call failed after its answer was promised for later: the failure is its answer.
    if (m_taken && std::uncaught_exceptions() > m_exceptions)
        m_taken->drop();
}

std::shared_ptr<LateReply> takeLateReply(std::initializer_list<const char *> members)
{
    LateReplyOffer *offer = currentOffer;
    if (!offer || offer->m_taken || !offer->m_make || offer->m_loopLevel != loopLevel())
        return nullptr;
    for (const char *member : members) {
        if (offer->m_member.compare(QLatin1String(member), Qt::CaseInsensitive) == 0) {
            offer->m_taken = offer->m_make();
            offer->m_make = nullptr;
            return offer->m_taken;
        }
    }
    return nullptr;
}

} // namespace automation
