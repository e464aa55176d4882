#pragma once
// Answering a D-Bus client later.
//
// A member that waits for something outside the program (text from the host) would wait in a
// nested event loop, and nested loops end in the reverse order of their start: a client whose
// wait is over would still wait for every wait that began after its own. So, while the bridge
// serves a client's call of a method, it offers to answer that call later. A waiting member that
// finds an offer for its own method name takes it, returns at once (what it returns is not sent)
// and answers through the LateReply when its wait ends. The offer is for that member alone: a
// script the call runs, a nested call or an event handler finds none and waits as before.
//
// A LateReply answers once; later answers, and answers after its client's call failed, are
// dropped. A reply that is never answered is answered with the default value when it goes away,
// so that no client waits for ever. When the client leaves the bus first, nothing can be sent:
// the reply is dropped and the member is told (whenClientGone), so that it stops waiting for
// someone who is no longer there.

#include "runtime/error.h"

#include <QString>
#include <QVariant>
#include <functional>
#include <initializer_list>
#include <memory>

namespace automation {

class LateReply
{
public:
    using Answer = std::function<void(const QVariant &value)>;
    using Failure = std::function<void(const rt::Error &error)>;

    LateReply(Answer answer, Failure failure);
    ~LateReply();
    LateReply(const LateReply &) = delete;
    LateReply &operator=(const LateReply &) = delete;

    void answer(const QVariant &value);
    void fail(const rt::Error &error);
    // The call was answered another way: nothing is sent.
    void drop();
    // Nothing was sent yet, nor dropped.
    bool pending() const { return m_answer != nullptr; }

    // What to do when the client leaves the bus before the answer (once).
    void whenClientGone(std::function<void()> gone) { m_gone = std::move(gone); }
    // The client left: the reply is dropped and the member told.
    void clientGone();

private:
    Answer m_answer;
    Failure m_failure;
    std::function<void()> m_gone;
};

// The offer, made by the bridge for the length of one call of the method member.
class LateReplyOffer
{
public:
    LateReplyOffer(QString member, std::function<std::shared_ptr<LateReply>()> make);
    ~LateReplyOffer();
    LateReplyOffer(const LateReplyOffer &) = delete;
    LateReplyOffer &operator=(const LateReplyOffer &) = delete;

    // A member took the offer: the answer comes later.
    bool taken() const { return m_taken != nullptr; }

private:
    friend std::shared_ptr<LateReply> takeLateReply(std::initializer_list<const char *>);
    QString m_member;
    std::function<std::shared_ptr<LateReply>()> m_make;
    std::shared_ptr<LateReply> m_taken;
    LateReplyOffer *m_outer;
    int m_loopLevel;
    int m_exceptions;
};

// The offer of the call being served now, when it is a call of one of members (compared without
// case) and no event loop has started since; null otherwise. Taking it withdraws it.
std::shared_ptr<LateReply> takeLateReply(std::initializer_list<const char *> members);

} // namespace automation
