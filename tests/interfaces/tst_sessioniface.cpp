// The sessions collection and a session as D-Bus clients and scripts see them: published members
// in their order, paths handed out by Add and item, properties and verbs over the bus, the events
// as signals, errors as D-Bus errors, and the same objects in scripts.

#include "app/tst_startup_env.h"

#include "automation/bridge.h"
#include "automation/marshal.h"
#include "automation/members.h"
#include "common/busclient.h"
#include "emulator/emulator.h"
#include "interfaces/sessioniface.h"
#include "session/session.h"
#include "session/sessions.h"
#include "platform/fakehost.h"
#include "session/hostfile.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

namespace {

const QString SessionsIfc = u"NVWin32.Sessions"_qs;
const QString DefaultSessionsIfc = u"NVWin32._clsSessions"_qs;
const QString SessionIfc = u"NVWin32._clsSession"_qs;

using busclient::busCall;
using busclient::busGet;
using busclient::busSet;
using busclient::inVariant;
using busclient::Properties;

// A bus client of its own that counts the DataReady and Extension signals of /Sessions/1.
struct PacedClient
{
    PacedClient(QObject *receiver, const char *tag)
        : name(u"sessioniface-paced-"_qs + QString::fromLatin1(tag))
        , connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name))
        , dataReady(receiver, SIGNAL(busDataReady()))
        , extension(receiver, SIGNAL(busExtension()))
    {
        const QString service = automation::Bridge::instance().connection().baseService();
        connected = connection.connect(service, u"/Sessions/1"_qs, SessionIfc, u"DataReady"_qs,
                        receiver, SIGNAL(busDataReady()))
            && connection.connect(service, u"/Sessions/1"_qs, SessionIfc, u"Extension"_qs,
                receiver, SIGNAL(busExtension()));
    }
    ~PacedClient() { QDBusConnection::disconnectFromBus(name); }
    bool isConnected() const { return connected; }

    QString name;
    QDBusConnection connection;
    QSignalSpy dataReady;
    QSignalSpy extension;
    bool connected = false;
};

} // namespace

class TestSessionIface : public QObject
{
    Q_OBJECT

    StartupEnvironment m_env;
    QStringList m_errors;

    // Client n (a bus connection of its own) calls WaitFor(text) on the session at path; the
    // call is answered when the wait ends, and the wait is set when this returns.
    static QDBusPendingCall startWait(int n, const QString &path, const QString &text, int timeout)
    {
        QDBusConnection client = QDBusConnection::connectToBus(
            QDBusConnection::SessionBus, u"wait-client-%1"_qs.arg(n));
        QDBusMessage call = QDBusMessage::createMethodCall(
            QDBusConnection::sessionBus().baseService(), path, SessionIfc, u"WaitFor"_qs);
        call.setArguments({ QVariant::fromValue(rt::Int(0)), QVariant::fromValue(rt::Int(timeout)),
            inVariant(text) });
        QDBusPendingCall wait = client.asyncCall(call, 60000);
        // Calls of one client are served in order: this one answers once the wait is set.
        QDBusMessage ping = QDBusMessage::createMethodCall(
            QDBusConnection::sessionBus().baseService(), path, Properties, u"Get"_qs);
        ping.setArguments({ SessionIfc, u"ID"_qs });
        QDBusPendingCallWatcher pinged(client.asyncCall(ping, 20000));
        QSignalSpy done(&pinged, &QDBusPendingCallWatcher::finished);
        if (!pinged.isFinished())
            done.wait(20000);
        return wait;
    }

private slots:
    void initTestCase()
    {
        m_env.setUp();
        installTestHooks(m_errors);
    }
    void init()
    {
        gSessionCounter = 0;
        startProgram({});
        QVERIFY(gApp);
    }
    void cleanup() { endProgram(); }

    void publishedMembers_data()
    {
        QTest::addColumn<const QMetaObject *>("meta");
        QTest::addColumn<QString>("members");
        QTest::newRow("_clsSessions") << &SessionsDefaultIface::staticMetaObject
                                      << "NVWin32._clsSessions Add Remove item NewEnum | Count";
        QTest::newRow("Sessions") << &SessionsIface::staticMetaObject
                                  << "NVWin32.Sessions Add Remove Item NewEnum | Count";
    }
    void publishedMembers()
    {
        QFETCH(const QMetaObject *, meta);
        QStringList names { automation::members::interfaceOf(meta) };
        for (const QMetaMethod &method : automation::members::methods(meta)) {
            // Optional arguments make one method of several signatures.
            if (names.last() != QLatin1String(method.name()))
                names << QString::fromLatin1(method.name());
        }
        names << u"|"_qs;
        for (const QMetaProperty &property : automation::members::properties(meta))
            names << QString::fromLatin1(property.name());
        const QList<QMetaMethod> events = automation::members::events(meta);
        if (!events.isEmpty()) {
            names << u"|"_qs;
            for (const QMetaMethod &event : events)
                names << QString::fromLatin1(event.name());
        }
        QTEST(names.join(u' '), "members");
    }

    // Both collection interfaces at one path; Add and item answer the session's path.
    void collectionOverTheBus_data()
    {
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("itemName");
        QTest::newRow("_clsSessions") << DefaultSessionsIfc << "item";
        QTest::newRow("Sessions") << SessionsIfc << "Item";
    }
    void collectionOverTheBus()
    {
        QFETCH(QString, interface);
        QFETCH(QString, itemName);
        const QString sessions
            = busGet(u"/Norvalis"_qs, u"NVWin32.Norvalis"_qs, u"Sessions"_qs).toString();
        QCOMPARE(sessions, u"/Norvalis/Sessions"_qs);
        QCOMPARE(busGet(u"/Norvalis"_qs, u"NVWin32._Norvalis"_qs, u"Sessions"_qs).toString(),
            sessions);
        const QString file = m_env.homeDir() + u"/bus.nvcf"_qs;
        writeBytes(file, "[Norvalis]\nTermType=9\nSessionTitle=Bus\n");
        QCOMPARE(busCall(sessions, interface, u"Add"_qs, { file }), u"/Sessions/1"_qs);
        QCOMPARE(busCall(sessions, interface, u"Add"_qs), u"/Sessions/3"_qs);
        QTRY_COMPARE(gApp->ClsSessions().Count(), 2);
        QCOMPARE(busGet(sessions, interface, u"Count"_qs), QVariant(qint32(2)));
        QCOMPARE(busCall(sessions, interface, itemName, { inVariant(u"3"_qs) }),
            u"/Sessions/3"_qs);
        QCOMPARE(busCall(sessions, interface, itemName, { inVariant(0) }), u"/Sessions/1"_qs);
        QCOMPARE(busCall(sessions, interface, itemName, { inVariant(5) }), u"/"_qs);
        const QVariantList all = busCall(sessions, interface, u"NewEnum"_qs).toList();
        QCOMPARE(all.size(), 2);
        QCOMPARE(busGet(u"/Sessions/1"_qs, SessionIfc, u"Caption"_qs), u"Bus"_qs);
        QCOMPARE(busCall(sessions, interface, u"Remove"_qs, { inVariant(u"1"_qs) }), QVariant());
        QCOMPARE(gApp->ClsSessions().Count(), 1);
        QCOMPARE(busGet(sessions, interface, u"Count"_qs), QVariant(qint32(1)));
    }

    void sessionOverTheBus()
    {
        const QString path = busCall(u"/Norvalis/Sessions"_qs, SessionsIfc, u"Add"_qs).toString();
        QCOMPARE(path, u"/Sessions/1"_qs);
        QCOMPARE(busGet(path, SessionIfc, u"ID"_qs), u"1"_qs);
        QCOMPARE(busSet(path, SessionIfc, u"Caption"_qs, u"Beta"_qs), QVariant());
        QCOMPARE(busGet(path, SessionIfc, u"Changed"_qs), QVariant::fromValue(rt::True));
        QCOMPARE(gApp->ClsSessions().clsItem(u"1"_qs)->Window()->form().caption(),
            u"Beta (1)"_qs);
        QCOMPARE(busGet(path, SessionIfc, u"ServerMode"_qs), QVariant::fromValue(rt::False));
        QCOMPARE(busSet(path, SessionIfc, u"WindowState"_qs, QVariant::fromValue(rt::Int(2))),
            QVariant());
        QCOMPARE(busGet(path, SessionIfc, u"WindowState"_qs), QVariant::fromValue(rt::Int(2)));
        // An error of the session reaches the client by its number.
        QCOMPARE(busCall(path, SessionIfc, u"MouseTableLoad"_qs,
                     { m_env.homeDir() + u"/no-such-table.txt"_qs }),
            u"NVWin32.Error.E53"_qs);
        QCOMPARE(busCall(path, SessionIfc, u"Terminate"_qs, { QVariant::fromValue(rt::Int(0)) }),
            QVariant());
        QTRY_COMPARE(gApp->ClsSessions().Count(), 0);
        QVERIFY(busCall(path, SessionIfc, u"Show"_qs).toString().startsWith(
            u"org.freedesktop.DBus.Error"_qs));
    }

    // A save that cannot write reaches the client as error 75, and the session stays changed.
    void failedSaveReachesClient()
    {
        const QString dir = m_env.homeDir() + u"/gone"_qs;
        QDir(dir).removeRecursively();
        QVERIFY(QDir().mkpath(dir));
        const QString file = dir + u"/gone.nvcf"_qs;
        writeBytes(file, "[Norvalis]\nTermType=9\n");
        const QString path
            = busCall(u"/Norvalis/Sessions"_qs, SessionsIfc, u"Add"_qs, { file }).toString();
        QCOMPARE(busSet(path, SessionIfc, u"Caption"_qs, u"Unsaved"_qs), QVariant());
        QVERIFY(QDir(dir).removeRecursively());
        QCOMPARE(busCall(path, SessionIfc, u"Save"_qs, { QString() }), u"NVWin32.Error.E75"_qs);
        QCOMPARE(busGet(path, SessionIfc, u"Changed"_qs), QVariant::fromValue(rt::True));
        QCOMPARE(busGet(path, SessionIfc, u"FileName"_qs), file);
    }

    // Clients waiting at once: each gets its own match at its own time, the one whose text never
    // comes gets 0 when its own time is up, and text goes only to the wait that matched it.
    void parallelWaits()
    {
        FakeHost host;
        const auto session = openHostSession(m_env.homeDir() + u"/waits.nvcf"_qs, host.port());
        QVERIFY(session->Emulator()->Connected() != 0);
        const QString path = u"/Sessions/1"_qs;
        const QStringList targets { u"ALPHA"_qs, u"BRAVO"_qs, u"never"_qs, u"CHARLIE"_qs };
        const int neverTimeout = 6;
        QList<QDBusPendingCall> waits;
        for (int i = 0; i < targets.size(); ++i) {
            const int timeout = targets.at(i) == u"never"_qs ? neverTimeout : 30;
            waits << startWait(i, path, targets.at(i), timeout);
        }
        const auto answer = [&](int i) {
            return waits[i].isFinished() ? busclient::variantOf(waits[i].reply()) : QVariant();
        };
        QElapsedTimer clock;
        clock.start();
        host.send("xx BRAVO yy");
        QTRY_VERIFY(waits[1].isFinished());
        QCOMPARE(answer(1), QVariant::fromValue(rt::Int(1)));
        QVERIFY(!waits[0].isFinished() && !waits[2].isFinished() && !waits[3].isFinished());
        host.send("ALPHA CHARLIE tail");
        QTRY_VERIFY(waits[0].isFinished() && waits[3].isFinished());
        QCOMPARE(answer(0), QVariant::fromValue(rt::Int(1)));
        QCOMPARE(answer(3), QVariant::fromValue(rt::Int(1)));
        if (clock.elapsed() < (neverTimeout - 1) * 1000)
            QVERIFY(!waits[2].isFinished());
        QTRY_VERIFY_WITH_TIMEOUT(waits[2].isFinished(), 20000);
        QCOMPARE(answer(2), QVariant::fromValue(rt::Int(0)));
        QVERIFY(clock.elapsed() >= (neverTimeout - 1) * 1000);
        QCOMPARE(busCall(path, SessionIfc, u"ReadText"_qs,
                     { QVariant::fromValue(rt::Int(2)), QVariant::fromValue(rt::Int(80)),
                         QVariant::fromValue(rt::Int(0)) }),
            QVariant(u" tail"_qs));
        QCOMPARE(session->Emulator()->Busy(), rt::False);
    }

    void waitsSeeTheSameText_data()
    {
        QTest::addColumn<bool>("oneWrite");
        QTest::newRow("in one write") << true;
        QTest::newRow("in separate writes") << false;
    }
    // Four clients wait for four texts; the host sends them in every order. Each wait gets its
    // own match whatever came before it, and a read after them starts after the last match.
    void waitsSeeTheSameText()
    {
        QFETCH(bool, oneWrite);
        FakeHost host;
        const auto session = openHostSession(m_env.homeDir() + u"/shared.nvcf"_qs, host.port());
        QVERIFY(session->Emulator()->Connected() != 0);
        const QString path = u"/Sessions/1"_qs;
        const QByteArrayList texts { "AAA", "BBB", "CCC", "DDD" };
        QList<int> order { 0, 1, 2, 3 };
        do {
            QList<QDBusPendingCall> waits;
            for (int i = 0; i < texts.size(); ++i)
                waits << startWait(i, path, QString::fromLatin1(texts.at(i)), 20);
            QByteArray all;
            for (int i : order) {
                if (oneWrite) {
                    all += texts.at(i) + ' ';
                    continue;
                }
                host.send(texts.at(i) + ' ');
                QTRY_VERIFY(waits[i].isFinished());
            }
            if (oneWrite)
                host.send(all + "\r\n");
            for (int i = 0; i < texts.size(); ++i) {
                QTRY_VERIFY(waits[i].isFinished());
                QCOMPARE(busclient::variantOf(waits[i].reply()), QVariant::fromValue(rt::Int(1)));
            }
            QCOMPARE(busCall(path, SessionIfc, u"ReadText"_qs,
                         { QVariant::fromValue(rt::Int(2)), QVariant::fromValue(rt::Int(80)),
                             QVariant::fromValue(rt::Int(0)) }),
                QVariant(oneWrite ? u" \r\n"_qs : u" "_qs));
        } while (std::next_permutation(order.begin(), order.end()));
    }

    void leftClientsWaitEnds_data()
    {
        QTest::addColumn<QStringList>("call"); // member and arguments, as dbus-send takes them
        QTest::newRow("WaitFor without limit")
            << QStringList { u"WaitFor"_qs, u"int16:0"_qs, u"int16:-1"_qs, u"variant:string:TEXT"_qs };
        QTest::newRow("WaitFor with a limit")
            << QStringList { u"WaitFor"_qs, u"int16:0"_qs, u"int16:60"_qs, u"variant:string:TEXT"_qs };
        QTest::newRow("ReadText of a count")
            << QStringList { u"ReadText"_qs, u"int16:0"_qs, u"int16:4"_qs, u"int16:-1"_qs };
        QTest::newRow("ReadText of a line")
            << QStringList { u"ReadText"_qs, u"int16:1"_qs, u"int16:80"_qs, u"int16:-1"_qs };
    }
    // A client process that waits and is killed: its wait ends at once, and the text it waited
    // for stays for those who read later.
    void leftClientsWaitEnds()
    {
        QFETCH(QStringList, call);
        FakeHost host;
        const auto session = openHostSession(m_env.homeDir() + u"/left.nvcf"_qs, host.port());
        emu::nvEmulator *control = session->Emulator();
        QVERIFY(control->Connected() != 0);
        QProcess client;
        client.start(u"dbus-send"_qs,
            QStringList { u"--session"_qs, u"--print-reply"_qs, u"--reply-timeout=120000"_qs,
                u"--dest="_qs + QDBusConnection::sessionBus().baseService(), u"/Sessions/1"_qs,
                SessionIfc + u'.' + call.first() }
                + call.mid(1));
        if (!client.waitForStarted())
            QSKIP("dbus-send is not installed");
        QTRY_VERIFY(control->Busy() != 0);
        client.kill();
        QVERIFY(client.waitForFinished());
        QTRY_COMPARE(control->Busy(), rt::Int(0));
        host.send("TEXT\r\n");
        QString read;
        QTRY_COMPARE(read += control->ReadText(2, 80, 0), u"TEXT\r\n"_qs);
    }

    // A client may make a session of its own through the class factory.
    void createdByClient()
    {
        QCOMPARE(busCall(u"/"_qs, u"NVWin32.ClassFactory"_qs, u"CreateObject"_qs,
                     { u"NVWin32.clsSession"_qs }),
            u"/Sessions/1"_qs);
        QCOMPARE(gApp->ClsSessions().Count(), 1);
        QCOMPARE(busGet(u"/Sessions/1"_qs, SessionIfc, u"Visible"_qs), QVariant::fromValue(rt::False));
    }

    // The session's events reach clients as signals.
    void eventsAsSignals()
    {
        const auto session
            = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(QString()));
        QDBusConnection client
            = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"sessioniface-client"_qs);
        QSignalSpy received(this, &TestSessionIface::busSignal);
        QVERIFY(client.connect(automation::Bridge::instance().connection().baseService(),
            u"/Sessions/1"_qs, SessionIfc, u"DataReady"_qs, this, SIGNAL(busSignal())));
        QVERIFY(client.connect(automation::Bridge::instance().connection().baseService(),
            u"/Sessions/1"_qs, SessionIfc, u"Extension"_qs, this, SIGNAL(busSignal())));
        emit session->Emulator()->DataReady();
        QString command = u"cmd"_qs;
        emit session->Emulator()->Extension(&command);
        QTRY_COMPARE(received.count(), 2);
    }

    // DataReady comes with every read from the host: the bus gets the first at once and the rest
    // of a burst as one more once the frame is over; scripts still get every one. Extension,
    // raised after the burst, comes after anything the burst still sends.
    void dataReadyPacedOnTheBus_data()
    {
        QTest::addColumn<int>("raised");
        QTest::addColumn<int>("onBus");
        QTest::newRow("one") << 1 << 1;
        QTest::newRow("two: the second at the frame's end") << 2 << 2;
        QTest::newRow("a flood: the first and the last") << 5000 << 2;
    }
    void dataReadyPacedOnTheBus()
    {
        QFETCH(int, raised);
        QFETCH(int, onBus);
        const auto session
            = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(QString()));
        PacedClient client(this, QTest::currentDataTag());
        QVERIFY(client.isConnected());
        QSignalSpy inProcess(session->AutomationObject(), SIGNAL(DataReady()));
        for (int i = 0; i < raised; ++i)
            emit session->Emulator()->DataReady();
        QCOMPARE(inProcess.count(), raised);
        QTRY_COMPARE(client.dataReady.count(), onBus);
        QString command = u"cmd"_qs;
        emit session->Emulator()->Extension(&command);
        QTRY_COMPARE(client.extension.count(), 1);
        QCOMPARE(client.dataReady.count(), onBus);
    }

    // A steady flow reaches the bus about once a frame.
    void dataReadyFlowOncePerFrame()
    {
        const auto session
            = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(QString()));
        PacedClient client(this, "flow");
        QVERIFY(client.isConnected());
        QElapsedTimer clock;
        clock.start();
        int raised = 0;
        while (clock.elapsed() < 20 * automation::PacedEventMs) {
            emit session->Emulator()->DataReady();
            ++raised;
            QCoreApplication::processEvents();
        }
        const qint64 frames = clock.elapsed() / automation::PacedEventMs + 2;
        QString command = u"cmd"_qs;
        emit session->Emulator()->Extension(&command);
        QTRY_COMPARE(client.extension.count(), 1);
        QVERIFY2(raised > 4 * frames, "too slow a machine to flood");
        QVERIFY2(client.dataReady.count() >= 2 && client.dataReady.count() <= frames,
            qPrintable(u"%1 signals in %2 frames"_qs.arg(client.dataReady.count()).arg(frames)));
    }

    // Scripts reach the same objects.
    void scriptsSeeTheSameObjects()
    {
        QVariant result;
        gScriptHost->RunText(
            u"var s = Norvalis.Sessions.Add(''); s.Caption = 'From script'; "
            "Norvalis.Sessions.Count + ':' + Norvalis.Sessions.Item(0).ID;"_qs,
            0, 0, result);
        QCOMPARE(result.toString(), u"2:1"_qs);
        QCOMPARE(gApp->ClsSessions().clsItem(u"1"_qs)->Window()->form().caption(),
            u"From script (1)"_qs);
        gScriptHost->RunText(u"Session.Caption"_qs, 0, 1, result);
        QCOMPARE(result.toString(), u"From script"_qs);
    }

signals:
    void busSignal();
    void busDataReady();
    void busExtension();
};

QTEST_MAIN(TestSessionIface)
#include "tst_sessioniface.moc"
