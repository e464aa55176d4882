// Sessions against real peers: the program itself in further processes driven over D-Bus (a
// session file on the command line, the single-instance hand-over, Save, DDE topics, Terminate),
// and hosts started by the test (a loopback TCP host, socat, telnetd through socat, sshd).

#include "app/tst_startup_env.h"

#include "app/profile.h"
#include "common/bursthost.h"
#include "common/testutil.h"
#include "automation/remote.h"
#include "emulator/emulator.h"
#include "platform/fakehost.h"
#include "platform/localpeers.h"
#include "session/hostfile.h"
#include "session/mdichild.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QDBusServiceWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QtTest>

namespace {

const QString kBusName = QStringLiteral("NVWin32.Norvalis");

std::shared_ptr<clsSession> sessionAt(int position)
{
    return std::static_pointer_cast<clsSession>(gApp->ClsSessions().clsItem(QVariant(position)));
}

// All text of a session's screen, rows joined by LF.
QString screenText(const clsSession &session)
{
    emu::nvEmulator *e = session.Emulator();
    QStringList rows;
    for (rt::Int row = 0; row < e->Rows(); ++row)
        rows << e->GetText(0, row, -1);
    return rows.join(u'\n');
}

QString toolCaption(const clsSession &session, rt::Long id)
{
    for (const MnuBandPtr &band : session.Menu()->NewEnum()) {
        for (const MnuToolPtr &tool : band->NewEnum()) {
            if (tool->ToolID() == id)
                return tool->Caption();
        }
    }
    return QString();
}

// A free loopback port (taken and given back at once).
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}


// A process the test started, ended when the test ends.
struct Peer
{
    QProcess process;
    ~Peer()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

bool portAnswers(quint16 port)
{
    return QTest::qWaitFor(
        [&] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            return probe.waitForConnected(200);
        },
        10000);
}

} // namespace

class TestSessionPeers : public QObject
{
    Q_OBJECT

    StartupEnvironment m_env;
    QStringList m_errors;

    QString home(const QString &name) const { return m_env.homeDir() + u'/' + name; }
    QProcess *startChild(const QStringList &arguments)
    {
        auto *process = new QProcess(this);
        process->setProgram(StartupEnvironment::executable());
        process->setArguments(arguments);
        process->setWorkingDirectory(m_env.homeDir());
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start();
        return process;
    }
    // Starts the program in a process of its own and waits until it owns the bus name; null when
    // it never does.
    QProcess *startRegisteredChild(const QStringList &arguments)
    {
        QDBusServiceWatcher watcher(kBusName, QDBusConnection::sessionBus());
        QSignalSpy registered(&watcher, &QDBusServiceWatcher::serviceRegistered);
        QProcess *process = startChild(arguments);
        return registered.wait(60000) ? process : nullptr;
    }

private slots:
    void initTestCase()
    {
        m_env.setUp();
        installTestHooks(m_errors);
    }
    void init() { gSessionCounter = 0; }
    // The program started in this process ends once the test has let go of its sessions.
    void cleanup() { endProgram(); }

    // The program in its own process, as a user and a client meet it.
    void commandLineSessionFile()
    {
        FakeHost host;
        QVERIFY(host.isListening());
        writeBytes(home(u"alpha.nvcf"_qs), hostSessionFile(host.port(), u"Alpha"_qs));
        writeBytes(home(u"beta.nvcf"_qs), hostSessionFile(host.port(), u"BetaFile"_qs));

        QProcess *program = startRegisteredChild({ u"alpha.nvcf"_qs });
        QVERIFY(program);
        QSignalSpy finished(program, &QProcess::finished);
        QVERIFY(host.waitForConnection(1, 30000));
        host.send("Welcome to the loopback host\r\n");

        const QDBusConnection bus = QDBusConnection::sessionBus();
        automation::Remote app(bus, kBusName, u"/Norvalis"_qs, u"NVWin32.Norvalis"_qs);
        automation::Remote sessions = app.object(app.get(u"Sessions"_qs), u"NVWin32.Sessions"_qs);
        QCOMPARE(sessions.path(), u"/Norvalis/Sessions"_qs);
        // After the clean-up tick only the user's session is left.
        QTRY_COMPARE_WITH_TIMEOUT(sessions.get(u"Count"_qs).toInt(), 1, 10000);
        automation::Remote alpha
            = sessions.object(sessions.call(u"Item"_qs, { QVariant(0) }), u"NVWin32._clsSession"_qs);
        QCOMPARE(alpha.path(), u"/Sessions/1"_qs);
        QCOMPARE(alpha.get(u"Caption"_qs).toString(), u"Alpha"_qs);
        QCOMPARE(alpha.get(u"FileName"_qs).toString(), home(u"alpha.nvcf"_qs));

        alpha.set(u"Caption"_qs, u"Beta"_qs);
        QCOMPARE(alpha.get(u"Changed"_qs).toInt(), -1);
        alpha.call(u"Save"_qs, { QString() });
        QCOMPARE(Profile::GetIniString(
                     u"Norvalis"_qs, u"SessionTitle"_qs, QString(), home(u"alpha.nvcf"_qs)),
            u"Beta"_qs);
        QCOMPARE(alpha.get(u"Changed"_qs).toInt(), 0);

        // A second start hands its file to the running instance and ends.
        QProcess *second = startChild({ u"beta.nvcf"_qs });
        QSignalSpy secondDone(second, &QProcess::finished);
        QVERIFY(secondDone.wait(60000));
        QCOMPARE(second->exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(sessions.get(u"Count"_qs).toInt(), 2, 10000);

        automation::Remote dde(bus, kBusName, u"/DDE"_qs, u"NVWin32.DDE"_qs);
        QCOMPARE(dde.call(u"Request"_qs, { u"SYSTEM"_qs, u"Topics"_qs }).toString(),
            u"SYSTEM\talpha\tbeta"_qs);
        const QStringList topics = dde.call(u"Topics"_qs).toStringList();
        QVERIFY(topics.contains(u"alpha"_qs, Qt::CaseInsensitive));
        QVERIFY(topics.contains(u"beta"_qs, Qt::CaseInsensitive));

        // Terminate with prompt 0 on a changed session asks nothing; the clean-up timer takes
        // it out of Sessions.
        alpha.set(u"Caption"_qs, u"Gamma"_qs);
        alpha.call(u"Terminate"_qs, { QVariant::fromValue(rt::Int(0)) });
        QTRY_COMPARE_WITH_TIMEOUT(sessions.get(u"Count"_qs).toInt(), 1, 10000);
        QCOMPARE(dde.call(u"Request"_qs, { u"SYSTEM"_qs, u"Topics"_qs }).toString(),
            u"SYSTEM\tbeta"_qs);
        QVERIFY(!dde.call(u"Topics"_qs).toStringList().contains(u"alpha"_qs, Qt::CaseInsensitive));
        QCOMPARE(Profile::GetIniString(
                     u"Norvalis"_qs, u"SessionTitle"_qs, QString(), home(u"alpha.nvcf"_qs)),
            u"Beta"_qs);

        app.call(u"Terminate"_qs, { QVariant::fromValue(rt::Int(0)) });
        QVERIFY(finished.count() > 0 || finished.wait(30000));
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->exitCode(), 0);
    }

    // A client drives a live session of the program in its own process: terminal settings
    // reach the status line and the screen and are saved, verbs reach the screen and the
    // capture, and a script run through the SYSTEM topic sees the same properties.
    void clientDrivesLiveSession()
    {
        FakeHost host;
        QVERIFY(host.isListening());
        const QString file = home(u"live.nvcf"_qs);
        writeBytes(file, hostSessionFile(host.port(), u"Live"_qs));
        QProcess *program = startRegisteredChild({ u"live.nvcf"_qs });
        QVERIFY(program);
        QSignalSpy finished(program, &QProcess::finished);
        QVERIFY(host.waitForConnection(1, 30000));

        const QDBusConnection bus = QDBusConnection::sessionBus();
        automation::Remote sessions(bus, kBusName, u"/Norvalis/Sessions"_qs, u"NVWin32.Sessions"_qs);
        QTRY_COMPARE_WITH_TIMEOUT(sessions.get(u"Count"_qs).toInt(), 1, 10000);
        const QVariant item = sessions.call(u"Item"_qs, { QVariant(0) });
        automation::Remote live = sessions.object(item, u"NVWin32._clsSession"_qs);
        automation::Remote contract = sessions.object(item, u"NVWin32.Session"_qs);
        QTRY_COMPARE_WITH_TIMEOUT(live.get(u"Connected"_qs).toInt(), -1, 10000);

        // Introspection lists the three interfaces.
        const QString xml = automation::Remote(bus, kBusName, live.path(),
            u"org.freedesktop.DBus.Introspectable"_qs)
                                .call(u"Introspect"_qs)
                                .toString();
        for (const char *interface : { "NVWin32._clsSession", "NVWin32.Session", "NVWin32.SessionSettings" })
            QVERIFY(xml.contains(u"<interface name=\""_qs + QLatin1String(interface)));

        live.set(u"TermType"_qs, QVariant::fromValue(rt::Int(12)));
        live.set(u"NormCols"_qs, QVariant::fromValue(rt::Int(132)));
        QCOMPARE(live.get(u"Changed"_qs).toInt(), -1);
        QCOMPARE(contract.get(u"Cols"_qs).toInt(), 132);
        QCOMPARE(live.call(u"GetText"_qs, { QVariant::fromValue(rt::Int(0)),
                               QVariant::fromValue(rt::Int(0)) })
                     .toString()
                     .size(),
            132);
        // The status line names the terminal type.
        automation::Remote menu = contract.object(contract.get(u"Menu"_qs), u"NVWin32.Menu"_qs);
        automation::Remote band
            = menu.object(menu.call(u"MnuBands"_qs, { u"Status Line"_qs }), u"NVWin32.MnuBand"_qs);
        automation::Remote tool
            = band.object(band.call(u"MnuTools"_qs, { u"1101"_qs }), u"NVWin32.MnuTool"_qs);
        QTRY_COMPARE_WITH_TIMEOUT(tool.get(u"Caption"_qs).toString(), u"DEC VT100"_qs, 10000);
        live.call(u"Save"_qs, { QString() });
        QCOMPARE(Profile::GetIniString(u"Norvalis"_qs, u"TermType"_qs, QString(), file), u"12"_qs);
        QCOMPARE(Profile::GetIniString(u"Screen"_qs, u"NormCols"_qs, QString(), file), u"132"_qs);
        QCOMPARE(live.get(u"Changed"_qs).toInt(), 0);

        live.call(u"Emulate"_qs, { u"\x1b[H\x1b[2Jhello"_qs });
        QCOMPARE(live.call(u"GetText"_qs, { QVariant::fromValue(rt::Int(0)),
                               QVariant::fromValue(rt::Int(0)), QVariant::fromValue(rt::Int(5)) })
                     .toString(),
            u"hello"_qs);

        // What the host sends while the capture runs goes into the file.
        const QString capture = home(u"capture.txt"_qs);
        contract.call(u"Capture"_qs,
            { capture, QVariant::fromValue(rt::Int(1)), QVariant::fromValue(rt::Int(1)) });
        QCOMPARE(contract.get(u"CaptureFileName"_qs).toString(), capture);
        host.send("\r\ncaptured line\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(
            live.call(u"GetText"_qs, { QVariant::fromValue(rt::Int(0)), QVariant::fromValue(rt::Int(1)),
                                          QVariant::fromValue(rt::Int(13)) })
                .toString(),
            u"captured line"_qs, 10000);
        contract.call(u"CaptureEnd"_qs);
        QFile captured(capture);
        QVERIFY(captured.open(QIODevice::ReadOnly));
        QVERIFY(captured.readAll().contains("captured line"));

        // A script through the SYSTEM topic reads and writes the same properties.
        automation::Remote dde(bus, kBusName, u"/DDE"_qs, u"NVWin32.DDE"_qs);
        dde.call(u"Execute"_qs, { u"SYSTEM"_qs,
            u"[var s = Norvalis.Sessions.Item(0); Norvalis.Common.SetItem('seen', "
            "s.TermType + ':' + s.NormCols + ':' + s.Changed); s.NormCols = 100]"_qs });
        automation::Remote common(bus, kBusName, u"/Common"_qs, u"NVWin32.Common"_qs);
        QCOMPARE(common.call(u"Item"_qs, { u"seen"_qs }).toString(), u"12:132:0"_qs);
        QCOMPARE(live.get(u"NormCols"_qs).toInt(), 100);

        automation::Remote(bus, kBusName, u"/Norvalis"_qs, u"NVWin32.Norvalis"_qs)
            .call(u"Terminate"_qs, { QVariant::fromValue(rt::Int(0)) });
        QVERIFY(finished.count() > 0 || finished.wait(30000));
        QCOMPARE(program->exitCode(), 0);
    }

    // The same start in this process: the window, the host's text on the screen, the status
    // line, and text a tool sends to the host.
    void sessionWindowMeetsHost()
    {
        FakeHost host;
        writeBytes(home(u"alpha.nvcf"_qs), hostSessionFile(host.port(), u"Alpha"_qs));
        startProgram({ home(u"alpha.nvcf"_qs) });
        QVERIFY(host.waitForConnection(1, 30000));
        host.send("Welcome to the loopback host\r\n");
        QTRY_COMPARE(gApp->ClsSessions().Count(), 1);
        const auto session = sessionAt(0);
        QCOMPARE(session->frmSession()->caption(), u"Alpha (1)"_qs);
        QTRY_VERIFY(screenText(*session).contains(u"Welcome to the loopback host"_qs));
        QTRY_COMPARE(toolCaption(*session, 1101), u"ANSI"_qs);
        QCOMPARE(gApp->Recent(0), home(u"alpha.nvcf"_qs));
        Nvmain::MenuToolAction(u"1"_qs, u"status^M"_qs);
        QVERIFY(host.waitForReceived("status\r"));
    }

    // A host that floods its session with 100 MB: meanwhile a client reads a property every
    // 100 ms and keys are typed. Every read is answered soon, the keys reach the host in order, and the
    // capture holds every byte of the host's in order.
    void floodKeepsProgramResponsive()
    {
        const QByteArray data = numberedRecords(100 * 1000 * 1000);
        BurstHost host(data);
        const quint16 port = host.listen().toUShort();
        startProgram({});
        const auto session = openHostSession(home(u"flood.nvcf"_qs), port);
        emu::nvEmulator *control = session->Emulator();
        QVERIFY(control->Connected() != 0);
        const QString capture = home(u"flood.txt"_qs);
        control->Capture(capture, 1, 1);

        QDBusConnection client = QDBusConnection::connectToBus(
            QDBusConnection::SessionBus, u"flood-client"_qs);
        QDBusMessage read = QDBusMessage::createMethodCall(QDBusConnection::sessionBus().baseService(),
            u"/Norvalis/Sessions"_qs, u"org.freedesktop.DBus.Properties"_qs, u"Get"_qs);
        read.setArguments({ u"NVWin32.Sessions"_qs, u"Count"_qs });
        qint64 slowest = 0;
        int answered = 0;
        int asked = 0;
        QByteArray typed;
        QTimer reader;
        connect(&reader, &QTimer::timeout, this, [&] {
            auto *watcher = new QDBusPendingCallWatcher(client.asyncCall(read, 60000), this);
            ++asked;
            QElapsedTimer clock;
            clock.start();
            connect(watcher, &QDBusPendingCallWatcher::finished, this, [&, watcher, clock] {
                watcher->deleteLater();
                slowest = std::max(slowest, clock.elapsed());
                if (!watcher->isError())
                    ++answered;
            });
            const char key = char('a' + typed.size() % 26);
            typed += key;
            QCoreApplication::postEvent(control,
                new QKeyEvent(QEvent::KeyPress, Qt::Key_A + (key - 'a'), Qt::NoModifier,
                    QString(QLatin1Char(key))));
        });
        reader.start(100);
        host.go();
        QTRY_VERIFY_WITH_TIMEOUT(control->BytesIn() >= data.size(), 240000);
        reader.stop();
        QTRY_COMPARE_WITH_TIMEOUT(answered, asked, 20000);
        QVERIFY(asked >= 3);
        qInfo("%d property reads during the flood, the slowest %lld ms", asked, slowest);
        QVERIFY2(slowest < 1000, qPrintable(QString::number(slowest)));
        QTRY_COMPARE(host.received(), typed);
        control->CaptureEnd();
        QFile captured(capture);
        QVERIFY(captured.open(QIODevice::ReadOnly));
        QVERIFY(captured.readAll() == data);
    }

    // Real peers that run a shell (socat for raw TCP; sshd on loopback with keys of its own, its
    // client wrapper first on PATH): the session reaches the host, and what it sends comes back.
    void echoHost_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("raw TCP (socat)") << int(LocalPeer::Kind::RawTcp);
        QTest::newRow("SSH (sshd)") << int(LocalPeer::Kind::Ssh);
    }
    void echoHost()
    {
        QFETCH(int, kind);
        LocalPeer peer(LocalPeer::Kind(kind), u"echo Echo host ready; exec cat"_qs);
        QString why;
        if (!peer.start(&why))
            QSKIP(qPrintable(why));
        emu::Settings settings;
        peer.configure(&settings);
        writeBytes(home(u"echo.nvcf"_qs),
            hostSessionFile(peer.port(), u"Echo"_qs, int(settings.Device())));
        startProgram({});
        const auto session
            = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(home(u"echo.nvcf"_qs)));
        QTRY_VERIFY_WITH_TIMEOUT(screenText(*session).contains(u"Echo host ready"_qs), 20000);
        session->Output(u"round trip\r"_qs);
        QTRY_VERIFY_WITH_TIMEOUT(screenText(*session).contains(u"round trip"_qs), 15000);
    }

    // A real Telnet server (telnetd on the socket socat accepted): its login prompt arrives.
    void telnetdLogin()
    {
        const QString socat = QStandardPaths::findExecutable(u"socat"_qs);
        QString telnetd = QStandardPaths::findExecutable(u"in.telnetd"_qs, { u"/usr/sbin"_qs });
        if (telnetd.isEmpty())
            telnetd = QStandardPaths::findExecutable(u"telnetd"_qs, { u"/usr/sbin"_qs });
        if (socat.isEmpty() || telnetd.isEmpty())
            QSKIP("socat or telnetd is not installed");
        const quint16 port = freePort();
        Peer peer;
        peer.process.start(socat,
            { u"TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork"_qs.arg(port),
                u"EXEC:%1,nofork"_qs.arg(telnetd) });
        QVERIFY(peer.process.waitForStarted());
        QVERIFY(portAnswers(port));
        writeBytes(home(u"telnet.nvcf"_qs), hostSessionFile(port, u"Telnet"_qs, 3));
        startProgram({});
        const auto session
            = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(home(u"telnet.nvcf"_qs)));
        const bool prompted = QTest::qWaitFor(
            [&] { return screenText(*session).contains(u"login"_qs, Qt::CaseInsensitive); }, 20000);
        const QString screen = screenText(*session);
        if (!prompted && peer.process.state() != QProcess::Running)
            QSKIP("telnetd did not run here (no login program or terminal)");
        QVERIFY2(prompted, qPrintable(screen));
    }
};

QTEST_MAIN(TestSessionPeers)
#include "tst_sessionpeers.moc"
