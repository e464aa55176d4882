// The request queue of a session on its own: first in first out, one request at the host, every
// request completed exactly once (by the host's answer, a refusal or shutdown), and completion
// handlers that submit again or end server mode.

#include "runtime/errnum.h"
#include "session/serverq.h"

#include <QtTest>

namespace {

// A queue with a scripted host; notes every completion as "name:code:result:state", the state
// being the one the request has while Notify runs.
struct Harness
{
    enum class Host { Takes, Refuses, Fails };
    bool serving = true;
    Host host = Host::Takes;
    QStringList sent;
    QStringList notes;
    QMap<QString, ServerPtr> requests;
    QMap<QString, std::function<void()>> onNotify;
    std::shared_ptr<ServerQueue> queue = std::make_shared<ServerQueue>(ServerQueue::Session {
        [this] { return serving; },
        [this](const QString &text) -> rt::Int {
            if (host == Host::Fails)
                rt::raise(rt::err::ObjectNotSet);
            sent << text;
            return host == Host::Takes ? 1 : 0;
        } });

    void add(const QString &name)
    {
        ServerPtr request = clsServer::create(1);
        requests.insert(name, request);
        QObject::connect(request.get(), &clsServer::Notify, [this, name, r = request.get()](rt::Long code) {
            notes << u"%1:%2:%3:%4"_qs.arg(name).arg(code).arg(r->Result()).arg(r->RawState());
            if (const auto handler = onNotify.value(name))
                handler();
        });
        if (!queue->AddRequest(request, name))
            notes << name + u":not queued"_qs;
    }

    void step(const QString &line)
    {
        const QStringList w = line.split(u' ');
        if (w.at(0) == u"add"_qs)
            add(w.at(1));
        else if (w.at(0) == u"takes"_qs)
            host = Host::Takes;
        else if (w.at(0) == u"refuses"_qs)
            host = Host::Refuses;
        else if (w.at(0) == u"fails"_qs)
            host = Host::Fails;
        else if (w.at(0) == u"result"_qs)
            queue->ReturnServerResult(w.at(1), w.at(2).toInt(), u"msg"_qs);
        else if (w.at(0) == u"shutdown"_qs)
            queue->Shutdown();
        else if (w.at(0) == u"off"_qs)
            serving = false;
        else if (w.at(0) == u"on"_qs) // on <name> add <name> | on <name> shutdown
            onNotify.insert(w.at(1), [this, rest = w.mid(2).join(u' ')] { step(rest); });
        else
            QFAIL(qPrintable(u"unknown step "_qs + line));
    }
};

} // namespace

class TestServerQueue : public QObject
{
    Q_OBJECT

private slots:
    void completions_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("notes");
        QTest::addColumn<QStringList>("sent");

        QTest::newRow("first in, first out")
            << QStringList { "add A", "add B", "result a 0", "result b 7" }
            << QStringList { "A:0:a:3", "B:7:b:3" } << QStringList { "A", "B" };
        QTest::newRow("an answer with nothing at the host is dropped")
            << QStringList { "result x 0", "add A", "result a 0", "result y 0" }
            << QStringList { "A:0:a:3" } << QStringList { "A" };
        QTest::newRow("a refused request ends with 288, the next goes on")
            << QStringList { "refuses", "add A", "takes", "add B", "result b 0" }
            << QStringList { "A:288::3", "B:0:b:3" } << QStringList { "A", "B" };
        QTest::newRow("a host that cannot be reached ends each at once")
            << QStringList { "fails", "add A", "add B" } << QStringList { "A:288::3", "B:288::3" }
            << QStringList {};
        QTest::newRow("waiting requests refused in turn after an answer")
            << QStringList { "add A", "add B", "add C", "refuses", "result a 0" }
            << QStringList { "A:0:a:3", "B:288::3", "C:288::3" } << QStringList { "A", "B", "C" };
        QTest::newRow("shutdown ends all in order; the late answer finds nothing")
            << QStringList { "add A", "add B", "add C", "shutdown", "result late 0" }
            << QStringList { "A:291::3", "B:291::2", "C:291::2" } << QStringList { "A" };
        QTest::newRow("not in server mode: not queued")
            << QStringList { "off", "add A" } << QStringList { "A:not queued" } << QStringList {};
        QTest::newRow("a completion handler submits again: each sent once")
            << QStringList { "on A add B", "add A", "result a 0", "result b 0" }
            << QStringList { "A:0:a:3", "B:0:b:3" } << QStringList { "A", "B" };
        QTest::newRow("a completion handler ends server mode")
            << QStringList { "on A shutdown", "add A", "add B", "result a 0", "result b 0" }
            << QStringList { "A:0:a:3", "B:291::2" } << QStringList { "A" };
        // An answer that comes while the next request still waits to be handed over is no
        // answer to it.
        QTest::newRow("an answer before the next request is at the host")
            << QStringList { "add A", "add B", "on A result early 0", "result a 0", "result b 0" }
            << QStringList { "A:0:a:3", "B:0:b:3" } << QStringList { "A", "B" };
        QTest::newRow("a refusal's handler submits again")
            << QStringList { "refuses", "on A add B", "add A" }
            << QStringList { "A:288::3", "B:288::3" } << QStringList { "A", "B" };
    }
    void completions()
    {
        QFETCH(QStringList, steps);
        Harness h;
        for (const QString &step : std::as_const(steps))
            h.step(step);
        QTEST(h.notes, "notes");
        QTEST(h.sent, "sent");
        QCOMPARE(h.queue->Count(), 0);
        for (const ServerPtr &request : std::as_const(h.requests))
            QCOMPARE(request->RawState(), serverstate::Ready);
    }

    // A host that refuses everything and a handler that keeps trying: the queue works through
    // them one after the other, without the stack growing with each.
    void refusalsDoNotNest()
    {
        Harness h;
        h.host = Harness::Host::Refuses;
        const int tries = 20000;
        int done = 0;
        ServerPtr request = clsServer::create(1);
        std::function<void()> again = [&] {
            if (++done < tries) {
                ServerPtr next = clsServer::create(1);
                QObject::connect(next.get(), &clsServer::Notify, again);
                h.queue->AddRequest(next, u"again"_qs);
            }
        };
        QObject::connect(request.get(), &clsServer::Notify, again);
        h.queue->AddRequest(request, u"first"_qs);
        QCOMPARE(done, tries);
        QCOMPARE(h.queue->Count(), 0);
    }

    // A queue that goes (its session closed) leaves nobody waiting.
    void destroyedQueueCompletesRequests()
    {
        Harness h;
        h.step(u"add A"_qs);
        h.step(u"add B"_qs);
        h.queue.reset();
        QCOMPARE(h.notes, QStringList({ "A:291::3", "B:291::2" }));
        QCOMPARE(h.requests.value(u"B"_qs)->RawState(), serverstate::Ready);
    }

    void idsAreSerial()
    {
        const ServerPtr a = clsServer::create(1);
        const ServerPtr b = clsServer::create(2);
        QCOMPARE(b->ID(), a->ID() + 1);
        QCOMPARE(a->RawState(), serverstate::Ready);
    }
};

QTEST_GUILESS_MAIN(TestServerQueue)
#include "tst_serverq.moc"
