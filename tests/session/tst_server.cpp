// The host request server in the running program: request objects refused and completed, a host
// that misbehaves, a request through the session's DDE topic (tst_mdichild has its refusals),
// request objects of D-Bus clients (answers, Notify, when they leave the bus), the whole story
// with the shipped host helper (tools/nvserve) behind socat, and four clients with 2,500
// requests each against one session.

#include "app/tst_startup_env.h"

#include "app/common.h"
#include "automation/bridge.h"
#include "common/busclient.h"
#include "common/testutil.h"
#include "dde/ddeserver.h"
#include "emulator/emulator.h"
#include "emulator/screen.h"
#include "interfaces/serveriface.h"
#include "platform/serverhost.h"
#include "runtime/errnum.h"
#include "session/hostfile.h"
#include "session/mdichild.h"
#include "session/server.h"
#include "session/session.h"
#include "session/sessions.h"
#include "session/tst_server_client.h"

#include <QDBusObjectPath>
#include <QStandardPaths>
#include <QtTest>

namespace {

const QString kSessionPath = QStringLiteral("/Sessions/1");
const QString kServerIface = QStringLiteral("NVWin32.Server");

QString topicItem(const QString &topic, const QString &item)
{
    return busclient::busMessage(u"/DDE"_qs, u"NVWin32.DDE"_qs, u"Request"_qs, { topic, item })
        .arguments()
        .value(0)
        .toString();
}

QDBusMessage execute(const QString &topic, const QString &command)
{
    return busclient::busMessage(u"/DDE"_qs, u"NVWin32.DDE"_qs, u"Execute"_qs, { topic, command });
}

// The codes of each completion of a request object, in order.
struct Completions
{
    QList<int> codes;
    QObject context;
    explicit Completions(const ServerPtr &request)
    {
        QObject::connect(request.get(), &clsServer::Notify, &context,
            [this](rt::Long code) { codes << int(code); });
    }
};

QString screenText(const clsSession &session)
{
    const emu::Screen &screen = *session.Emulator()->screen();
    QString text;
    for (int row = 0; row < screen.rows(); ++row)
        text += screen.rowText(row) + u'\n';
    return text;
}

bool onBus(const QString &path)
{
    return automation::Bridge::instance().objectAt(path) != nullptr;
}

} // namespace

class TestServer : public QObject
{
    Q_OBJECT

    StartupEnvironment m_env;
    QStringList m_errors;

    QString home(const QString &name) const { return m_env.homeDir() + u'/' + name; }

    // A session connected over raw TCP to a loopback port.
    std::shared_ptr<clsSession> sessionTo(quint16 port)
    {
        return openHostSession(home(u"srv.nvcf"_qs), port);
    }
    std::shared_ptr<clsSession> connectedTo(FakeHost &host)
    {
        const auto session = sessionTo(host.port());
        host.waitForConnection();
        return session;
    }
    // The same session with its host in server mode.
    std::shared_ptr<clsSession> serving(ServingHost &host, const QString &name = u"SRV"_qs)
    {
        const auto session = connectedTo(host);
        host.startServer(name);
        if (!QTest::qWaitFor([&] { return session->ServerMode() != 0; }, 10000))
            qWarning("no server mode");
        return session;
    }

private slots:
    void initTestCase()
    {
        m_env.setUp();
        installTestHooks(m_errors);
    }
    void init()
    {
        m_errors.clear();
        gSessionCounter = 0;
        startProgram({});
        QVERIFY(gApp);
        gApp->setAutoClose(rt::False);
    }
    void cleanup()
    {
        ServerObjects::instance().setTimes(30000, 600000);
        for (const SessionPtr &session : gApp->ClsSessions().NewEnum())
            session->Terminate(0);
        endProgram();
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    }

    // ---- Request objects ----

    void submissions_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("queued");
        QTest::addColumn<int>("errNum");
        QTest::addColumn<QString>("errMsg");
        QTest::addColumn<QList<int>>("notified");
        QTest::addColumn<int>("state");

        QTest::newRow("accepted") << "serving" << true << 0 << "" << QList<int> {} << 3;
        QTest::newRow("not in server mode")
            << "not serving" << false << 289 << "Server not running" << QList<int> {} << 0;
        QTest::newRow("session gone")
            << "gone" << false << 289 << "Server not running" << QList<int> {} << 0;
        // The refusal overwrites the fields of the request still pending.
        QTest::newRow("second submission while pending")
            << "twice" << false << 288 << "Server busy" << QList<int> {} << 3;
        QTest::newRow("the control refuses")
            << "control refuses" << true << 288 << "Server busy" << QList<int> { 288 } << 1;
        // Another object's request is at the host; this one waits behind it.
        QTest::newRow("submitted again while queued")
            << "queued twice" << false << 288 << "Server busy" << QList<int> {} << 2;
        QTest::newRow("longer than the host protocol carries")
            << "too long" << false << 290
            << "Request rejected: longer than the host protocol's limit of 1048576 bytes (1 MiB)"
            << QList<int> {} << 1;
    }
    void submissions()
    {
        QFETCH(QString, situation);
        ServingHost host;
        host.answerer = nullptr;
        const auto session = connectedTo(host);
        if (situation == u"control refuses"_qs)
            emit session->Emulator()->ServerStart(u"SRV"_qs); // the control never heard of it
        else if (situation != u"not serving"_qs)
            host.startServer(u"SRV"_qs);
        QTRY_COMPARE(session->ServerMode(), rt::Int(situation == u"not serving"_qs ? 0 : -1));
        const ServerPtr request = session->Server();
        Completions completions(request);
        if (situation == u"gone"_qs) {
            session->Terminate(0);
            QTRY_COMPARE(gApp->ClsSessions().Count(), 0);
        }
        if (situation == u"twice"_qs)
            QVERIFY(request->SubmitRequest(u"first"_qs));
        ServerPtr ahead;
        if (situation == u"queued twice"_qs) {
            ahead = session->Server();
            QVERIFY(ahead->SubmitRequest(u"ahead"_qs));
            QVERIFY(request->SubmitRequest(u"first"_qs));
        }
        // 768 KiB, 1 MiB in base64: with the sequence around it, over the limit.
        const QString text = situation == u"too long"_qs ? QString(768 * 1024, u'x') : u"text"_qs;

        QTEST(request->SubmitRequest(text), "queued");
        QTEST(int(request->ErrNum()), "errNum");
        QTEST(request->ErrMsg(), "errMsg");
        QTEST(completions.codes, "notified");
        QTEST(int(request->State()), "state");
        if (request->RawState() == serverstate::Running) {
            QVERIFY(host.waitForRequests(1));
            host.answer({ u"done"_qs });
            QTRY_COMPARE(completions.codes, QList<int> { 0 });
            QCOMPARE(request->Result(), u"done"_qs);
            QCOMPARE(request->ErrNum(), 0);
            QCOMPARE(request->ErrMsg(), QString());
            QCOMPARE(host.requests().first(), situation == u"twice"_qs ? u"first"_qs : u"text"_qs);
        }
    }

    // A host that misbehaves: three requests are pending (one at the host), the host does what
    // the row says, and then answers properly. Every request completes exactly once.
    void hostileHost_data()
    {
        QTest::addColumn<QByteArray>("action");
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<bool>("servingAfter");

        const auto result = [](const char *errNum) {
            return ServingHost::result({ u"x"_qs, QString::fromLatin1(errNum), u"m"_qs });
        };
        QTest::newRow("floods results") << result("0").repeated(20) << QList<int> { 0, 0, 0 } << true;
        // A malformed result ends the request at the host with 5, and the next one goes on.
        const int invalid = rt::err::InvalidCall;
        QTest::newRow("malformed results")
            << QByteArray("\x1b]7701;result;abc;;\x07\x1b]7701;result;0;!!!;\x07"
                          "\x1b]7701;result;0\x07\x1b]7701;result;1.5;;\x07\x1b]7701\x07")
            << QList<int> { invalid, invalid, invalid } << true;
        QTest::newRow("error number not a number")
            << QByteArray("\x1b]7701;result;x1;eA==;bQ==\x07") << QList<int> { invalid, 0, 0 }
            << true;
        QTest::newRow("result not base64")
            << QByteArray("\x1b]7701;result;0;eA=!;bQ==\x07") << QList<int> { invalid, 0, 0 } << true;
        QTest::newRow("too few fields")
            << QByteArray("\x1b]7701;result;0;eA==\x07") << QList<int> { invalid, 0, 0 } << true;
        // An answer over the protocol's limit ends its request with 6, shown nowhere.
        QTest::newRow("oversized sequence")
            << QByteArray("\x1b]7701;result;0;") + QByteArray(2 * 1024 * 1024, 'A')
            << QList<int> { rt::err::Overflow, 0, 0 } << true;
        QTest::newRow("oversized answer")
            << ServingHost::result({ QString(800 * 1024, u'A') })
            << QList<int> { rt::err::Overflow, 0, 0 } << true;
        QTest::newRow("error number beyond 32 bits")
            << result("99999999999999999999") << QList<int> { rt::err::Overflow, 0, 0 } << true;
        QTest::newRow("error number beyond the double's range")
            << result(QByteArray(309, '9').constData()) << QList<int> { rt::err::Overflow, 0, 0 }
            << true;
        QTest::newRow("lowest 32-bit error number")
            << result("-2147483648") << QList<int> { -2147483647 - 1, 0, 0 } << true;
        QTest::newRow("leaves server mode")
            << ServingHost::sequence(emu::HostVerb::ServerExit) << QList<int> { 291, 291, 291 }
            << false;
        QTest::newRow("drops the link") << QByteArray("drop") << QList<int> { 291, 291, 291 } << false;
        QTest::newRow("the session closes")
            << QByteArray("close") << QList<int> { 291, 291, 291 } << false;
    }
    void hostileHost()
    {
        QFETCH(QByteArray, action);
        QFETCH(bool, servingAfter);
        ServingHost host;
        host.answerer = nullptr;
        const auto session = serving(host);
        // Answers that arrive before there is a request change nothing.
        host.send(ServingHost::result({ u"early"_qs }).repeated(5) + "ready");
        QTRY_VERIFY(session->Emulator()->screen()->rowText(0).contains(u"ready"_qs));

        QList<ServerPtr> requests;
        QList<std::shared_ptr<Completions>> completions;
        for (int i = 0; i < 3; ++i) {
            requests << session->Server();
            completions << std::make_shared<Completions>(requests.last());
            QVERIFY(requests.last()->SubmitRequest(u"R%1"_qs.arg(i)));
        }
        QVERIFY(host.waitForRequests(1));
        if (action == "drop") {
            host.closeClient();
        } else if (action == "close") {
            session->Terminate(0);
        } else {
            host.send(action + "\r\nmark\r\n");
            QTRY_VERIFY(screenText(*session).contains(u"mark"_qs));
            QVERIFY(!screenText(*session).contains(u"AAAA"_qs));
        }
        // From now on the host answers properly (once it has what it was handed), the request
        // at the host too if it still waits.
        const auto handed = std::count_if(requests.cbegin(), requests.cend(),
            [](const ServerPtr &r) { return r->RawState() != serverstate::Queued; });
        if (servingAfter)
            QVERIFY(host.waitForRequests(handed));
        host.answerer = [](const QString &text) { return ServingHost::Answer { text }; };
        for (const ServerPtr &request : std::as_const(requests)) {
            if (servingAfter && request->RawState() == serverstate::Running)
                host.answer({ request->RequestText() });
        }
        QFETCH(QList<int>, codes);
        for (int i = 0; i < 3; ++i) {
            QTRY_COMPARE(completions.at(i)->codes.size(), 1);
            QCOMPARE(completions.at(i)->codes.first(), codes.at(i));
            QCOMPARE(requests.at(i)->RawState(), serverstate::Ready);
        }
        if (codes.first() == rt::err::Overflow)
            QVERIFY(requests.first()->ErrMsg().startsWith(u"Overflow"_qs));
        QCOMPARE(session->ServerMode(), rt::Int(servingAfter ? -1 : 0));
        if (!servingAfter) {
            QCOMPARE(requests.first()->State(), serverstate::NotServing);
            return;
        }
        // The queue goes on.
        const ServerPtr next = session->Server();
        Completions done(next);
        QVERIFY(next->SubmitRequest(u"after"_qs));
        QTRY_COMPARE(done.codes, QList<int> { 0 });
        QCOMPARE(next->Result(), u"after"_qs);
    }

    // ---- The session's DDE topic ----

    void ddeExecute()
    {
        ServingHost host;
        const auto session = serving(host);
        QCOMPARE(session->frmSession()->LinkTopic(), u"SRV"_qs);
        QSignalSpy changes(&dde::Server::instance(), &dde::Server::ItemChanged);
        QCOMPARE(execute(u"SRV"_qs, u"PING"_qs).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(topicItem(u"SRV"_qs, u"Busy"_qs), u"0"_qs);
        QCOMPARE(topicItem(u"SRV"_qs, u"Result"_qs), u"OK:PING"_qs);
        QCOMPARE(topicItem(u"SRV"_qs, u"ErrNum"_qs), u"0"_qs);
        // Busy went to "1" first and back to "0" last, after the answer was in place.
        QStringList order;
        for (const QList<QVariant> &change : std::as_const(changes))
            order << change.at(1).toString() + u'=' + change.at(2).toString();
        QCOMPARE(order.first(), u"Busy=1"_qs);
        QCOMPARE(order.last(), u"Busy=0"_qs);
        QVERIFY(order.indexOf(u"Result=OK:PING"_qs) > 0);
    }

    // A host names its server: a name is one topic's alone, so an execute meant for another
    // topic never reaches this host. Beside the host's session (file srv.nvcf, topic "srv")
    // there are a session without a file ("Session_2") and one whose host serves as "Other".
    void serverNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("SYSTEM") << "SYSTEM" << false;
        QTest::newRow("system") << "system" << false;
        QTest::newRow("another session's topic") << "Session_2" << false;
        QTest::newRow("another session's topic, other case") << "SESSION_2" << false;
        QTest::newRow("another server's name") << "other" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("a TAB, forging the topic list") << "A\tSYSTEM" << false;
        QTest::newRow("the session's own topic") << "SRV" << true;
        QTest::newRow("a name of its own") << "Orders" << true;
    }
    void serverNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        ServingHost host;
        const auto session = connectedTo(host);
        gApp->ClsSessions().Add(QString());
        const auto other = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(QString()));
        emit other->Emulator()->ServerStart(u"Other"_qs);
        QCOMPARE(other->ServerMode(), rt::True);
        if (!accepted)
            QTest::ignoreMessage(QtInfoMsg,
                QRegularExpression(u"^server-start of tcp:127\\.0\\.0\\.1:\\d+ refused: "_qs));
        host.send(ServingHost::sequence(emu::HostVerb::ServerStart, name) + "\r\nmark");
        QTRY_VERIFY(screenText(*session).contains(u"mark"_qs));

        QCOMPARE(session->ServerMode(), rt::Int(accepted ? -1 : 0));
        QCOMPARE(session->frmSession()->LinkTopic(), accepted ? name : u"srv"_qs);
        // An execute for the name reaches this session only when it took the name, and no two
        // topics share a name.
        QCOMPARE(dde::Server::instance().topic(name) == session->frmSession()->topic(), accepted);
        const QStringList topics = dde::Server::instance().Topics();
        QCOMPARE(QSet<QString>(topics.cbegin(), topics.cend()).size(), topics.size());
    }

    // ---- Request objects of D-Bus clients ----

    void objectRelease_data()
    {
        QTest::addColumn<QString>("story");
        QTest::newRow("the client leaves") << "leaves";
        QTest::newRow("the client leaves with a request pending") << "pending";
        QTest::newRow("the client stays and lets it idle") << "idle";
        QTest::newRow("another client uses it after the first left") << "handed on";
    }
    void objectRelease()
    {
        QFETCH(QString, story);
        ServingHost host;
        host.answerer = nullptr;
        serving(host);
        ServerObjects &objects = ServerObjects::instance();
        objects.setTimes(story == u"idle"_qs ? 600000 : (story == u"handed on"_qs ? 5000 : 0),
            story == u"idle"_qs ? 200 : 600000);
        const qsizetype before = objects.Count();
        ServerClient a(u"client-a"_qs);
        const QString path = a.server(kSessionPath);
        QVERIFY(path.startsWith(u"/Servers/"_qs));
        QVERIFY(onBus(path));
        QCOMPARE(objects.Count(), before + 1);

        if (story == u"leaves"_qs) {
            a.leave();
        } else if (story == u"pending"_qs) {
            QCOMPARE(a.request(path, u"HOLD"_qs).toInt(), -1);
            a.leave();
            // A second client that comes and goes: once its object is gone, the first
            // client's leaving has been heard too.
            ServerClient b(u"client-b"_qs);
            const QString other = b.server(kSessionPath);
            b.leave();
            QTRY_VERIFY(!onBus(other));
            QVERIFY(onBus(path));
            QVERIFY(host.waitForRequests(1));
            host.answer({ u"done"_qs });
        } else if (story == u"handed on"_qs) {
            a.leave();
            ServerClient b(u"client-b"_qs);
            QCOMPARE(b.request(path, u"X"_qs).toInt(), -1);
            QVERIFY(host.waitForRequests(1));
            host.answer({ u"done"_qs });
            QTRY_COMPARE(b.get(path, u"Result"_qs).toString(), u"done"_qs);
            objects.setTimes(0, 600000);
            QVERIFY(onBus(path)); // b holds it
            b.leave();
        }
        QTRY_COMPARE(objects.Count(), before);
        QTRY_VERIFY(!onBus(path));
    }

    // The host helper answers what it cannot serve with an error, and goes on with the next.
    void hostHelperRefusals_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("errNum");
        const QByteArray intro("\x1b]7701;request;");
        QTest::newRow("longer than 1 MiB, in one piece")
            << intro + QByteArray(800000, 'x').toBase64() + "\x07\r" << "6";
        QTest::newRow("longer than 1 MiB, never ended") << intro + QByteArray(1100000, 'A') << "6";
        QTest::newRow("not base64") << intro + "!!\x07\r" << "5";
    }
    void hostHelperRefusals()
    {
        QFETCH(QByteArray, sent);
        const QString python = QStandardPaths::findExecutable(u"python3"_qs);
        if (python.isEmpty())
            QSKIP("python3 is not installed");
        QProcess helper;
        helper.start(python,
            { qEnvironmentVariable("NORVALIS_SOURCE_DIR") + u"/tools/nvserve"_qs, u"SRV"_qs });
        QVERIFY(helper.waitForStarted());
        // In pieces, as a terminal hands them over.
        for (qsizetype at = 0; at < sent.size(); at += 65536) {
            helper.write(sent.mid(at, 65536));
            QVERIFY(helper.waitForBytesWritten());
        }
        helper.write("\x07\x1b]7701;request;" + QByteArray("next").toBase64() + "\x07\r");
        helper.closeWriteChannel();
        QVERIFY(helper.waitForFinished());
        QList<emu::HostRequest> results;
        emu::HostProtocol protocol;
        QObject::connect(&protocol, &emu::HostProtocol::requestReceived,
            [&](const emu::HostRequest &r) {
                if (r.verb == emu::HostVerb::Result)
                    results << r;
            });
        protocol.feed(helper.readAllStandardOutput());
        QCOMPARE(results.size(), 2);
        QTEST(results.at(0).errNum, "errNum");
        QVERIFY(!results.at(0).errMsg.isEmpty());
        QCOMPARE(results.at(1).text, u"OK:next"_qs);
    }

    // ---- The whole story, with the host helper behind a real TCP peer ----

    void withHostHelper()
    {
        const QString socat = QStandardPaths::findExecutable(u"socat"_qs);
        const QString python = QStandardPaths::findExecutable(u"python3"_qs);
        if (socat.isEmpty() || python.isEmpty())
            QSKIP("socat or python3 is not installed");
        const QString nvserve = qEnvironmentVariable("NORVALIS_SOURCE_DIR") + u"/tools/nvserve"_qs;
        QVERIFY(QFile::exists(nvserve));
        // The host program answers as the helper does by itself, and keeps "HOLD" at the host.
        const QString handler = home(u"handler.sh"_qs);
        writeBytes(handler,
            "#!/bin/sh\ncase \"$1\" in HOLD) exec sleep 300 ;; esac\necho \"OK:$1\"\n");
        QFile::setPermissions(handler, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        QProcess peer;
        peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        peer.start(socat,
            { u"TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork"_qs.arg(port),
                u"EXEC:%1 %2 SRV %3,pty,setsid,ctty,stderr"_qs.arg(python, nvserve, handler) });
        QVERIFY(peer.waitForStarted());
        QVERIFY(QTest::qWaitFor(
            [&] {
                QTcpSocket s;
                s.connectToHost(QHostAddress::LocalHost, port);
                return s.waitForConnected(200);
            },
            10000));
        const auto session = sessionTo(port);
        QVERIFY(session->Emulator()->Connected() != 0);

        // Server mode under the helper's name, and the topic follows it.
        QTRY_COMPARE_WITH_TIMEOUT(session->ServerName(), u"SRV"_qs, 20000);
        QCOMPARE(session->frmSession()->LinkTopic(), u"SRV"_qs);

        // DDE: the execute answers at once, Busy falls back when the answer is in.
        QCOMPARE(execute(u"SRV"_qs, u"PING"_qs).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE_WITH_TIMEOUT(topicItem(u"SRV"_qs, u"Busy"_qs), u"0"_qs, 20000);
        QCOMPARE(topicItem(u"SRV"_qs, u"Result"_qs), u"OK:PING"_qs);

        // Two clients, each with its own objects, get their own answers in order.
        ServerClient a(u"client-a"_qs);
        ServerClient b(u"client-b"_qs);
        const QStringList aPaths { a.server(kSessionPath), a.server(kSessionPath) };
        const QStringList bPaths { b.server(kSessionPath), b.server(kSessionPath) };
        QCOMPARE(a.request(aPaths.at(0), u"A1"_qs).toInt(), -1);
        QCOMPARE(b.request(bPaths.at(0), u"B1"_qs).toInt(), -1);
        QCOMPARE(a.request(aPaths.at(1), u"A2"_qs).toInt(), -1);
        QCOMPARE(b.request(bPaths.at(1), u"B2"_qs).toInt(), -1);
        QTRY_COMPARE_WITH_TIMEOUT(a.notes().size(), 4, 20000);
        const auto own = [](const ServerClient &c, const QStringList &paths) {
            QStringList seen;
            for (const ServerClient::Note &note : c.notes()) {
                if (paths.contains(note.path))
                    seen << note.path + u':' + QString::number(note.code);
            }
            return seen;
        };
        QCOMPARE(own(a, aPaths), QStringList({ aPaths.at(0) + u":0"_qs, aPaths.at(1) + u":0"_qs }));
        QTRY_COMPARE(own(b, bPaths), QStringList({ bPaths.at(0) + u":0"_qs, bPaths.at(1) + u":0"_qs }));
        QCOMPARE(a.get(aPaths.at(1), u"Result"_qs).toString(), u"OK:A2"_qs);
        QCOMPARE(b.get(bPaths.at(0), u"Result"_qs).toString(), u"OK:B1"_qs);
        QCOMPARE(a.get(aPaths.at(0), u"Description"_qs).toString(), u"SRV"_qs);

        // A second request on a busy object is refused with 288.
        const QStringList held { a.server(kSessionPath), a.server(kSessionPath), a.server(kSessionPath) };
        QCOMPARE(a.request(held.at(0), u"HOLD"_qs).toInt(), -1);
        QCOMPARE(a.request(held.at(0), u"again"_qs).toInt(), 0);
        QCOMPARE(a.get(held.at(0), u"ErrNum"_qs).toInt(), 288);
        QCOMPARE(a.get(held.at(0), u"State"_qs).toInt(), 3);
        QCOMPARE(a.request(held.at(1), u"Q2"_qs).toInt(), -1);
        QCOMPARE(a.request(held.at(2), u"Q3"_qs).toInt(), -1);
        QCOMPARE(a.get(held.at(2), u"State"_qs).toInt(), 2);

        // The user stops the helper (Ctrl+C): it leaves server mode, the three end with 291.
        const qsizetype seen = a.notes().size();
        session->Output(u"\x03"_qs);
        QTRY_COMPARE_WITH_TIMEOUT(a.notes().size(), seen + 3, 20000);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(a.notes().at(seen + i).path, held.at(i));
            QCOMPARE(a.notes().at(seen + i).code, 291);
        }
        QCOMPARE(session->ServerMode(), rt::False);
        for (const QString &path : held + aPaths)
            QCOMPARE(a.get(path, u"State"_qs).toInt(), 0);
        QCOMPARE(a.get(held.at(1), u"ErrMsg"_qs).toString(), u"Server shutdown"_qs);
        peer.kill();
        peer.waitForFinished();
    }

    // ---- Load ----

    // Four clients queue 2,500 requests each, all at once, against one session: every request
    // is handed to the host once, in the order it was queued, answered to its own object, and
    // no object is left once the clients have gone.
    void fourClientsLoad()
    {
        ServingHost host;
        serving(host);
        ServerObjects &objects = ServerObjects::instance();
        objects.setTimes(0, 600000);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const qsizetype objectsBefore = objects.Count();
        const qsizetype requestsBefore = clsServer::Count();
        constexpr int clients = 4;
        constexpr int perClient = 2500;
        std::vector<std::unique_ptr<ServerClient>> c;
        QList<QStringList> paths(clients);
        QList<QList<QDBusPendingCall>> calls(clients);
        for (int i = 0; i < clients; ++i) {
            c.push_back(std::make_unique<ServerClient>(u"load-%1"_qs.arg(i)));
            for (int n = 0; n < perClient; ++n)
                calls[i] << c[i]->callAsync(kSessionPath, u"NVWin32._clsSession"_qs, u"Server"_qs);
        }
        QHash<QString, QString> textOf;
        for (int i = 0; i < clients; ++i) {
            QVERIFY(ServerClient::waitAll(calls[i]));
            for (const QDBusPendingCall &call : std::as_const(calls[i])) {
                paths[i] << QDBusPendingReply<QDBusObjectPath>(call).value().path();
                textOf.insert(paths[i].last(), u"c%1-%2"_qs.arg(i).arg(paths[i].size()));
            }
            calls[i].clear();
        }
        QCOMPARE(textOf.size(), clients * perClient);
        // The clients' requests interleave: one from each in turn.
        for (int n = 0; n < perClient; ++n) {
            for (int i = 0; i < clients; ++i)
                calls[i] << c[i]->callAsync(paths[i].at(n), kServerIface, u"Request"_qs,
                    { textOf.value(paths[i].at(n)) });
        }
        for (int i = 0; i < clients; ++i) {
            QVERIFY(ServerClient::waitAll(calls[i]));
            for (const QDBusPendingCall &call : std::as_const(calls[i]))
                QCOMPARE(QDBusPendingReply<qint16>(call).value(), qint16(-1));
            calls[i].clear();
        }
        QTRY_COMPARE_WITH_TIMEOUT(c[0]->notes().size(), clients * perClient, 120000);

        // Each object completed once, in the order the host got the requests.
        const QStringList hostOrder = host.requests();
        QCOMPARE(hostOrder.size(), clients * perClient);
        QStringList notifyOrder;
        QSet<QString> notified;
        for (const ServerClient::Note &note : c[0]->notes()) {
            QCOMPARE(note.code, 0);
            QVERIFY2(!notified.contains(note.path), qPrintable(note.path));
            notified.insert(note.path);
            notifyOrder << textOf.value(note.path);
        }
        QCOMPARE(notifyOrder, hostOrder);
        // Each client's requests reached the host in the order it sent them.
        for (int i = 0; i < clients; ++i) {
            QStringList own;
            for (const QString &text : hostOrder) {
                if (text.startsWith(u"c%1-"_qs.arg(i)))
                    own << text;
            }
            QStringList sent;
            for (const QString &path : std::as_const(paths[i]))
                sent << textOf.value(path);
            QCOMPARE(own, sent);
        }
        // Each client reads its own answers.
        for (int i = 0; i < clients; ++i) {
            for (const QString &path : std::as_const(paths[i]))
                calls[i] << c[i]->callAsync(path, u"org.freedesktop.DBus.Properties"_qs,
                    u"Get"_qs, { kServerIface, u"Result"_qs });
        }
        for (int i = 0; i < clients; ++i) {
            QVERIFY(ServerClient::waitAll(calls[i]));
            for (int n = 0; n < perClient; ++n) {
                const QDBusPendingReply<QDBusVariant> reply(calls[i].at(n));
                QVERIFY2(reply.isValid(), qPrintable(reply.error().message()));
                QCOMPARE(reply.value().variant().toString(), u"OK:"_qs + textOf.value(paths[i].at(n)));
            }
        }
        // The clients leave: every object goes from the bus.
        for (auto &client : c)
            client->leave();
        QTRY_COMPARE_WITH_TIMEOUT(objects.Count(), objectsBefore, 30000);
        QTRY_COMPARE(clsServer::Count(), requestsBefore);
        for (int i = 0; i < clients; ++i)
            QVERIFY(!onBus(paths[i].first()) && !onBus(paths[i].last()));
        ServerClient observer(u"observer"_qs);
        const QString tree = observer
                                 .call(u"/Servers"_qs, u"org.freedesktop.DBus.Introspectable"_qs,
                                     u"Introspect"_qs)
                                 .arguments()
                                 .value(0)
                                 .toString();
        QVERIFY2(!tree.contains(u"<node name="_qs), qPrintable(tree.left(400)));
    }
};

QTEST_MAIN(TestServer)
#include "tst_server.moc"
