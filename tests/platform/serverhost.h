#pragma once
// A loopback host program in server mode, for tests and benchmarks of the host request server:
// a FakeHost that speaks the host protocol. It enters and leaves server mode when told, notes
// every request the emulator hands it (in order) and answers each at once through answerer
// ("OK:" and the text by default); a null answerer leaves requests unanswered until answer() is
// called. Header-only ("platform/serverhost.h").

#include "emulator/hostprotocol.h"
#include "platform/fakehost.h"

#include <QStringList>
#include <functional>

class ServingHost : public FakeHost
{
public:
    struct Answer
    {
        Answer(QString result = {}, QString errNum = QStringLiteral("0"), QString errMsg = {})
            : result(std::move(result))
            , errNum(std::move(errNum))
            , errMsg(std::move(errMsg))
        { }
        QString result;
        QString errNum;
        QString errMsg;
    };
    using Answerer = std::function<Answer(const QString &request)>;

    ServingHost()
    {
        answerer = [](const QString &request) { return Answer { u"OK:"_qs + request }; };
        setReceiver([this](const QByteArray &piece) { take(piece); });
    }

    Answerer answerer;

    void startServer(const QString &name) { send(sequence(emu::HostVerb::ServerStart, name)); }
    void exitServer() { send(sequence(emu::HostVerb::ServerExit)); }
    void answer(const Answer &a) { send(result(a)); }
    static QByteArray result(const Answer &a)
    {
        emu::HostRequest r;
        r.verb = emu::HostVerb::Result;
        r.text = a.result;
        r.errNum = a.errNum;
        r.errMsg = a.errMsg;
        return emu::HostProtocol::encode(r);
    }
    static QByteArray sequence(emu::HostVerb verb, const QString &text = QString())
    {
        emu::HostRequest r;
        r.verb = verb;
        r.text = text;
        return emu::HostProtocol::encode(r);
    }

    // The request texts received so far, in order.
    const QStringList &requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }
    bool waitForRequests(qsizetype count, int ms = 10000)
    {
        return QTest::qWaitFor([&] { return m_requests.size() >= count; }, ms);
    }

private:
    void take(const QByteArray &piece)
    {
        static const QByteArray intro("\x1b]7701;request;");
        m_pending += piece;
        QByteArray answers;
        for (;;) {
            const qsizetype start = m_pending.indexOf(intro);
            const qsizetype end = start < 0 ? -1 : m_pending.indexOf('\x07', start);
            if (end < 0)
                break;
            const qsizetype body = start + intro.size();
            const QString text
                = QString::fromUtf8(QByteArray::fromBase64(m_pending.mid(body, end - body)));
            m_pending.remove(0, end + 1);
            m_requests << text;
            if (answerer)
                answers += result(answerer(text));
        }
        if (m_pending.indexOf('\x1b') < 0)
            m_pending.clear(); // the CRs after requests
        if (!answers.isEmpty())
            send(answers);
    }

    QByteArray m_pending;
    QStringList m_requests;
};
