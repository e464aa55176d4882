#pragma once
// clsServer: one request of a client for the host program of a session (the host request
// server). A client takes a request object from its session (SessionBase::Server, a new one on
// every call), submits a text with SubmitRequest and hears the answer through Notify; the object
// may then submit the next text. The session's ServerQueue hands the texts to the host program one
// at a time, first in first out, and completes each request with the host's result, error number
// and error text (ReturnResult), which raises Notify with the error number (0 on success).
//
// State: 1 ready (new, or the last request completed), 2 queued, 3 with the host. Clients read
// State as 0 while the session is not in server mode. A submission is refused, with ErrNum and
// ErrMsg telling why, while the object still has a request pending (288 "Server busy"), while the
// session is not in server mode or is gone (289 "Server not running"), or when the session's queue
// declines it (290 "Request rejected"; also for a text longer than the host protocol carries,
// with a text that names the limit); server mode ending completes every pending request with
// 291 "Server shutdown". A refusal of a second submission overwrites the error fields of the
// request still pending; Result, ErrNum and ErrMsg otherwise change only at completion.
//
// Every request object takes the next number of one process-wide counter as its ID. The object
// lives as long as something holds it: a client (interfaces/serveriface.h), the session window's
// DDE topic, or the queue while the request is pending.

#include "runtime/error.h"

#include <QObject>
#include <QString>
#include <memory>

class ServerQueue;

class clsServer : public QObject, public std::enable_shared_from_this<clsServer>
{
    Q_OBJECT
public:
    // A new request object of a session (State 1, the next ID).
    static std::shared_ptr<clsServer> create(rt::Int sessionNo);
    ~clsServer() override;
    clsServer(const clsServer &) = delete;
    clsServer &operator=(const clsServer &) = delete;

    // Request objects alive now (for diagnostics).
    static qsizetype Count();

    // ---- The Server interface ----
    rt::Long ErrNum() const { return m_errNum; }
    QString ErrMsg() const { return m_errMsg; }
    QString Result() const { return m_result; }
    // The name the host program gave when it started server mode; "" without the session.
    QString Description() const;
    // Submits text for the host program; true when it was queued.
    bool SubmitRequest(const QString &text);
    // State while the session is in server mode, else 0 (also when the session is gone).
    rt::Int State() const;

    // ---- Program only ----
    rt::Long ID() const { return m_id; }
    rt::Int SessionNo() const { return m_sessionNo; }
    // The state itself, whatever the session's mode.
    rt::Int RawState() const { return m_state; }
    void setState(rt::Int state) { m_state = state; }
    // The text of the current or last request.
    QString RequestText() const { return m_request; }
    void setRequestText(const QString &text) { m_request = text; }
    // Completes the request: the three fields, then Notify (State is still the pending one while
    // its handlers run).
    void ReturnResult(const QString &result, rt::Long errNum, const QString &errMsg);

signals:
    void Notify(rt::Long Code);

private:
    clsServer(rt::Long id, rt::Int sessionNo);
    static rt::Long nextId();
    // A refused submission: the error number and its text (the number's own when empty).
    void refuse(rt::Long errNum, const QString &errMsg = QString());

    rt::Long m_id;
    rt::Int m_sessionNo;
    rt::Int m_state = 1;
    QString m_request;
    QString m_result;
    rt::Long m_errNum = 0;
    QString m_errMsg;
};

using ServerPtr = std::shared_ptr<clsServer>;

// States of a request object and the texts of the request errors.
namespace serverstate {
constexpr rt::Int NotServing = 0;
constexpr rt::Int Ready = 1;
constexpr rt::Int Queued = 2;
constexpr rt::Int Running = 3;
} // namespace serverstate

namespace servererror {
QString text(rt::Long number);
// ErrMsg of a request refused for its length.
QString tooLongText();
} // namespace servererror
