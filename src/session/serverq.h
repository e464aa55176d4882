#pragma once
// ServerQueue: the pending requests of one session's host program, first in first out. The front
// request is the one with the host (State 3); the others wait (State 2). A request is handed to
// the host when it reaches the front; the host's answer (ReturnServerResult) completes the front
// request and hands over the next. A host that refuses a request, or that cannot be reached at
// all, completes it at once with 288 "Server busy" and the next one goes on, so the queue never
// stalls. Shutdown (server mode ended, the session closing) completes every pending request with
// 291 "Server shutdown", in queue order; a later answer of the host finds nothing and is dropped.
//
// Completion raises the request's Notify while the request is off the queue but still in its
// pending state. Its handlers may submit again, end server mode or close the session: the queue
// keeps itself alive for the call and never hands a request to the host twice.

#include "session/server.h"

#include <deque>
#include <functional>

class ServerQueue : public std::enable_shared_from_this<ServerQueue>
{
public:
    // What the queue needs of its session: whether it is in server mode, and handing a text to
    // its host program (non-zero when taken; an error counts as a refusal).
    struct Session
    {
        std::function<bool()> serverMode;
        std::function<rt::Int(const QString &text)> toHost;
    };

    explicit ServerQueue(Session session);
    ~ServerQueue();
    ServerQueue(const ServerQueue &) = delete;
    ServerQueue &operator=(const ServerQueue &) = delete;

    // Appends the request (State 2, its text kept) and starts it when it is the only one; false
    // when the session is not in server mode.
    bool AddRequest(const ServerPtr &request, const QString &text);
    // Completes the front request with the host's answer and starts the next; an answer with
    // nothing at the host is dropped.
    void ReturnServerResult(const QString &result, rt::Long errNum, const QString &errMsg);
    // Completes every pending request with 291.
    void Shutdown();

    qsizetype Count() const { return qsizetype(m_requests.size()); }

private:
    // Hands the front request to the host unless it is there already; a refusal completes it
    // and the next one is tried.
    void StartNextRequest();
    // Takes the front request off the queue and completes it.
    void completeFront(const QString &result, rt::Long errNum, const QString &errMsg);

    Session m_session;
    std::deque<ServerPtr> m_requests;
    bool m_starting = false; // StartNextRequest is on the stack
};
