// Scripts a host sends run only with the user's consent: the question and its answers, the
// remembered hosts (also after a restart, and through /ScriptHosts), nobody to answer, a script
// sequence inside a file a real host shows with cat, and the scripts users and clients start,
// which are not asked about.

#include "app/tst_startup_env.h"

#include "app/appglobals.h"
#include "app/common.h"
#include "common/busclient.h"
#include "common/testutil.h"
#include "emulator/emulator.h"
#include "platform/serverhost.h"
#include "registry/registry.h"
#include "runtime/interaction.h"
#include "session/hostfile.h"
#include "session/mdichild.h"
#include "session/scriptconsent.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTextDocument>
#include <QtTest>

namespace {

const QString kRan = QStringLiteral("ran");

// The host protocol's request to run text as a script.
QByteArray scriptSequence(const QString &text, bool async = false)
{
    emu::HostRequest r;
    r.verb = emu::HostVerb::Script;
    r.text = text;
    r.async = async;
    return emu::HostProtocol::encode(r);
}

// A script that counts its runs in the shared store.
QString countingScript(const QString &firstLine = QStringLiteral("// count a run"))
{
    return firstLine
        + u"\nNorvalis.Common.SetItem('ran', (Norvalis.Common.Item('ran') || 0) + 1);"_qs;
}

int runs()
{
    return gApp->ClsCommon().Common_Item(kRan).toInt();
}

QByteArray refusal(const QString &why)
{
    return emu::HostProtocol::encodeScriptError(70, why);
}

QDialog *question(const clsSession &session)
{
    QWidget *window = session.frmSession()->widget();
    return window ? window->findChild<QDialog *>(u"frmScriptConsent"_qs) : nullptr;
}

QPlainTextEdit *scriptShown(QDialog *box)
{
    return box->findChild<QPlainTextEdit *>(u"txtScript"_qs);
}

void answer(QDialog *box, const char *button)
{
    if (QString::fromLatin1(button) == u"close"_qs)
        box->close();
    else
        box->findChild<QPushButton *>(QLatin1String(button))->click();
}

} // namespace

class TestScriptConsent : public QObject
{
    Q_OBJECT

    StartupEnvironment m_env;
    QStringList m_errors;

    std::shared_ptr<clsSession> connectedTo(FakeHost &host, const QString &name = u"a"_qs,
        quint16 port = 0)
    {
        const int before = host.connectionCount();
        const auto session = openHostSession(
            m_env.homeDir() + u'/' + name + u".nvcf"_qs, port ? port : host.port());
        if (!port)
            host.waitForConnection(before + 1);
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
        rt::setDialogsWaitOffscreen(true);
        startProgram({});
        QVERIFY(gApp);
        gApp->setAutoClose(rt::False);
    }
    void cleanup()
    {
        rt::setDialogsWaitOffscreen(false);
        registry::deleteKey(registry::Root::CurrentUser, SettingsKey(u"ScriptHosts"_qs));
        for (const SessionPtr &session : gApp->ClsSessions().NewEnum())
            session->Terminate(0);
        endProgram();
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<int>("ran");
        QTest::addColumn<bool>("remembered");
        QTest::addColumn<QString>("refused");

        QTest::newRow("Run") << QByteArray("cmdRun") << 1 << false << "";
        QTest::newRow("Always for this host") << QByteArray("cmdAlways") << 1 << true << "";
        QTest::newRow("Don't run") << QByteArray("cmdDontRun") << 0 << false
                                   << "The user did not allow the script to run";
        QTest::newRow("question closed")
            << QByteArray("close") << 0 << false << "The user did not allow the script to run";
    }
    void answers()
    {
        QFETCH(QByteArray, button);
        QFETCH(bool, remembered);
        QFETCH(QString, refused);
        ServingHost host;
        const auto session = connectedTo(host);
        const QString hostName = u"tcp:127.0.0.1:"_qs + host.portText();
        // A harmless first line does not hide the rest: the whole script is shown, monospaced,
        // and scrolls.
        const QString script = countingScript(u"// first line shown"_qs + QString(u"\n//"_qs).repeated(60));
        host.send("before" + scriptSequence(script) + "after");
        QTRY_VERIFY(question(*session));
        QDialog *box = question(*session);
        QCOMPARE(box->findChild<QLabel *>(u"lblQuestion"_qs)->text(),
            u"The host wants to run a script in this session."_qs);
        QCOMPARE(scriptShown(box)->toPlainText(), script);
        QVERIFY(scriptShown(box)->isReadOnly());
        QVERIFY(QFontInfo(scriptShown(box)->font()).fixedPitch());
        QTRY_VERIFY(scriptShown(box)->verticalScrollBar()->maximum() > 0);
        QVERIFY(box->windowTitle().contains(hostName));
        const auto *asking = box->findChild<QLabel *>(u"lblHost"_qs);
        QVERIFY(asking);
        QCOMPARE(asking->text(), u"Host: "_qs + hostName); // the live link's name
        QCOMPARE(runs(), 0); // nothing runs before the answer, and nothing waited for it
        answer(box, button.constData());
        QTEST(runs(), "ran");
        QCOMPARE(ScriptConsent::IsAllowed(hostName), remembered);
        if (!refused.isEmpty())
            QVERIFY(host.waitForReceived(refusal(refused)));
        QTRY_VERIFY(!question(*session));

        // The next script of the host: asked again unless remembered.
        host.clearReceived();
        host.send(scriptSequence(countingScript()));
        if (remembered) {
            QTRY_COMPARE(runs(), 2);
            QVERIFY(!question(*session));
        } else {
            QTRY_VERIFY(question(*session));
            answer(question(*session), "cmdDontRun");
        }
    }

    // "Always" holds after a restart; another host is asked again.
    void rememberedPerHost()
    {
        ServingHost first;
        auto session = connectedTo(first);
        first.send(scriptSequence(countingScript()));
        QTRY_VERIFY(question(*session));
        answer(question(*session), "cmdAlways");
        QCOMPARE(runs(), 1);
        session.reset();
        endProgram();

        startProgram({});
        session = connectedTo(first, u"again"_qs);
        first.send(scriptSequence(countingScript(), true));
        QTRY_COMPARE(runs(), 1); // a new program: the store starts empty, the run counts 1
        QVERIFY(!question(*session));

        ServingHost second;
        const auto other = connectedTo(second, u"other"_qs);
        second.send(scriptSequence(countingScript()));
        QTRY_VERIFY(question(*other));
        answer(question(*other), "cmdDontRun");
        QCOMPARE(runs(), 1);
    }

    // A script is asked about for the host of the link that is up, also once the settings name
    // another host (HostPort changed, a file loaded at the host's request) that is allowed: that
    // host's allowance is not the live link's.
    void liveConnection_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("toOther");
        QTest::addColumn<int>("ran");
        QTest::addColumn<bool>("asked");
        QTest::newRow("HostPort changed to an allowed host") << "port" << true << 0 << true;
        QTest::newRow("load-settings naming an allowed host, script in the same write")
            << "file" << true << 0 << true;
        QTest::newRow("load-settings naming the same host") << "file" << false << 1 << false;
    }
    void liveConnection()
    {
        QFETCH(QString, change);
        QFETCH(bool, toOther);
        QFETCH(bool, asked);
        ServingHost linked;
        ServingHost other;
        const auto session = connectedTo(linked);
        ServingHost &named = toOther ? other : linked;
        QVERIFY(ScriptConsent::Allow(u"tcp:127.0.0.1:"_qs + named.portText()));
        QByteArray bytes = scriptSequence(countingScript());
        if (change == u"port"_qs) {
            session->EmulatorSettings().setHostPort(other.portText());
        } else {
            writeBytes(session->FileName(), hostSessionFile(named.port()));
            bytes.prepend(ServingHost::sequence(emu::HostVerb::LoadSettings));
        }
        const qint64 expected = session->Emulator()->BytesIn() + bytes.size();
        linked.send(bytes);
        QTRY_COMPARE(qint64(session->Emulator()->BytesIn()), expected);
        QTEST(runs(), "ran");
        if (asked) {
            QTRY_VERIFY(question(*session));
            answer(question(*session), "cmdDontRun");
        }
        QTRY_VERIFY(!question(*session));
        QTEST(runs(), "ran");
        if (change == u"file"_qs && toOther) {
            // The new link: its host's scripts run.
            QVERIFY(other.waitForConnection());
            QTRY_COMPARE(session->Emulator()->LinkPeer(), u"tcp:127.0.0.1:"_qs + other.portText());
            other.send(scriptSequence(countingScript()));
            QTRY_COMPARE(runs(), 1);
        }
    }

    // The link drops while the question is open: the answer runs nothing and remembers
    // nothing, for the host it was about is no longer at the other end.
    void answerAfterTheLinkDropped_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::newRow("Run") << QByteArray("cmdRun");
        QTest::newRow("Always for this host") << QByteArray("cmdAlways");
    }
    void answerAfterTheLinkDropped()
    {
        QFETCH(QByteArray, button);
        ServingHost host;
        const auto session = connectedTo(host);
        host.send(scriptSequence(countingScript()));
        QTRY_VERIFY(question(*session));
        host.closeClient();
        QTRY_COMPARE(session->Emulator()->LinkPeer(), u"none"_qs);
        QVERIFY(question(*session));
        answer(question(*session), button.constData());
        QCOMPARE(runs(), 0);
        QCOMPARE(ScriptConsent::AllowedHosts(), QStringList());
    }

    // Before a link is up, /ScriptHosts names the host the session's settings connect to.
    void sessionHostBeforeTheLink()
    {
        const auto session
            = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(QString()));
        emu::Settings &settings = session->EmulatorSettings();
        settings.setDevice(emu::device::Tcp);
        settings.setHostName(u"127.0.0.1"_qs);
        settings.setHostPort(u"7"_qs);
        QCOMPARE(session->Emulator()->LinkPeer(), u"none"_qs);
        QCOMPARE(busclient::busMessage(u"/ScriptHosts"_qs, u"NVWin32.ScriptHosts"_qs,
                     u"SessionHost"_qs, { session->ID() })
                     .arguments()
                     .value(0)
                     .toString(),
            u"tcp:127.0.0.1:7"_qs);
        session->setChanged(rt::False);
    }

    // A host that floods script requests and never reads: the requests past the budget of a
    // second are dropped, so the answers waiting for the host stay few.
    void neverReadingHost()
    {
        rt::setDialogsWaitOffscreen(false);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const auto session = openHostSession(m_env.homeDir() + u"/flood.nvcf"_qs, server.serverPort());
        QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(5000));
        QTcpSocket *peer = server.nextPendingConnection();
        peer->setReadBufferSize(1); // takes nothing more from the system: a host that never reads
        QSignalSpy asked(session->Emulator(), &emu::nvEmulator::ExecScript);
        const QByteArray flood = scriptSequence(u"x()"_qs).repeated(100000);
        QElapsedTimer clock;
        clock.start();
        peer->write(flood);
        QTRY_VERIFY_WITH_TIMEOUT(session->Emulator()->BytesIn() >= flood.size(), 120000);
        const qint64 seconds = clock.elapsed() / 1000 + 1;
        QVERIFY2(asked.count() <= emu::AnswerBudget::perSecond(emu::AnswerKind::Script) * seconds,
            qPrintable(u"%1 scripts in %2 s"_qs.arg(asked.count()).arg(seconds)));
        QVERIFY(session->Emulator()->channel()->backlog() <= emu::AnswerBudget::maxBacklog);
        QCOMPARE(runs(), 0);
    }

    // Nobody to answer: the script never runs, the log and the host hear why; a host that an
    // automation client allowed runs its scripts all the same.
    void nobodyToAnswer()
    {
        rt::setDialogsWaitOffscreen(false);
        ServingHost host;
        const auto session = connectedTo(host);
        QTest::ignoreMessage(QtInfoMsg,
            QRegularExpression(u"nobody to answer the question to run a script of tcp:127.0.0.1:"
                               "\\d+ \"// count a run\": Don't run"_qs));
        host.send(scriptSequence(countingScript()));
        QVERIFY(host.waitForReceived(refusal(u"Nobody can allow the script to run"_qs)));
        QCOMPARE(runs(), 0);
        QVERIFY(!question(*session));

        const QString id = session->ID();
        const QString name = busclient::busMessage(u"/ScriptHosts"_qs, u"NVWin32.ScriptHosts"_qs,
            u"SessionHost"_qs, { id })
                                 .arguments()
                                 .value(0)
                                 .toString();
        QCOMPARE(name, u"tcp:127.0.0.1:"_qs + host.portText());
        const QDBusMessage allowed
            = busclient::busMessage(u"/ScriptHosts"_qs, u"NVWin32.ScriptHosts"_qs, u"Allow"_qs, { name });
        QCOMPARE(allowed.arguments().value(0).toInt(), -1);
        QCOMPARE(busclient::busMessage(u"/ScriptHosts"_qs, u"NVWin32.ScriptHosts"_qs, u"Hosts"_qs)
                     .arguments()
                     .value(0)
                     .toStringList(),
            QStringList { name });
        host.send(scriptSequence(countingScript()));
        QTRY_COMPARE(runs(), 1);
        busclient::busMessage(u"/ScriptHosts"_qs, u"NVWin32.ScriptHosts"_qs, u"Revoke"_qs, { name });
        QVERIFY(!ScriptConsent::IsAllowed(name));
    }

    // While a question is open, further scripts of the session are refused at once.
    void oneQuestionAtATime()
    {
        ServingHost host;
        const auto session = connectedTo(host);
        host.send(scriptSequence(countingScript()));
        QTRY_VERIFY(question(*session));
        host.send(scriptSequence(u"Norvalis.Common.SetItem('ran', 100);"_qs));
        QVERIFY(host.waitForReceived(
            refusal(u"Another script of the host awaits the user's answer"_qs)));
        answer(question(*session), "cmdRun");
        QCOMPARE(runs(), 1);
    }

    // A file with the script sequence, shown by cat on a real host, asks the same way; the host
    // gets the refusal.
    void catOfAFile()
    {
        const QString socat = QStandardPaths::findExecutable(u"socat"_qs);
        if (socat.isEmpty())
            QSKIP("socat is not installed");
        const QString file = m_env.homeDir() + u"/mail.txt"_qs;
        const QString received = m_env.homeDir() + u"/received"_qs;
        writeBytes(file,
            "Dear user,\r\nplease read this.\r\n"
                + scriptSequence(u"Norvalis.Common.SetItem('ran', 1); // <b>harmless</b>"_qs)
                + "\r\nRegards\r\n");
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        QProcess peer;
        peer.start(socat,
            { u"TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork"_qs.arg(port),
                u"SYSTEM:cat '%1'; exec cat >> '%2'"_qs.arg(file, received) });
        QVERIFY(peer.waitForStarted());
        QVERIFY(QTest::qWaitFor(
            [&] {
                QTcpSocket s;
                s.connectToHost(QHostAddress::LocalHost, port);
                return s.waitForConnected(200);
            },
            10000));
        FakeHost none;
        const auto session = connectedTo(none, u"cat"_qs, port);
        QVERIFY(session->Emulator()->Connected() != 0);
        QTRY_VERIFY_WITH_TIMEOUT(question(*session), 20000);
        // The script as it is, markup shown as text.
        QCOMPARE(scriptShown(question(*session))->toPlainText(),
            u"Norvalis.Common.SetItem('ran', 1); // <b>harmless</b>"_qs);
        answer(question(*session), "cmdDontRun");
        QCOMPARE(runs(), 0);
        const QByteArray expected = refusal(u"The user did not allow the script to run"_qs);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QFile f(received);
                return f.open(QIODevice::ReadOnly) && f.readAll().contains(expected);
            }(),
            10000);
        peer.kill();
        peer.waitForFinished();
    }

    // Scripts that the user or a client starts are not asked about.
    void userScriptsUnaffected()
    {
        rt::setDialogsWaitOffscreen(false);
        ServingHost host;
        const auto session = connectedTo(host);
        Nvmain::MenuToolAction(session->ID(), u"[Norvalis.Common.SetItem('ran', 1)]"_qs);
        QCOMPARE(runs(), 1);
        const QDBusMessage reply = busclient::busMessage(u"/DDE"_qs, u"NVWin32.DDE"_qs, u"Execute"_qs,
            { session->frmSession()->LinkTopic(), u"[Norvalis.Common.SetItem('ran', 5)]"_qs });
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(runs(), 5);
        QVERIFY(!host.received().contains("script-error"));
    }

    // The question shows every character that hides or reorders text as a visible escape, so
    // the script cannot look other than it runs; line ends stay where the engine sees them.
    void shownScript_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("shown");
        for (char16_t c : { 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069,
                 0x200E, 0x200F, 0x061C, 0x200B, 0xFEFF, 0x00AD }) {
            const QString escape
                = u"<U+%1>"_qs.arg(QString::number(c, 16).toUpper().rightJustified(4, u'0'));
            QTest::newRow(qPrintable(escape))
                << u"a"_qs + QChar(c) + u"b"_qs << u"a"_qs + escape + u"b"_qs;
        }
        dataRow("a bidirectional lie",
            "if (access != \"user\u202E \u2066// allowed\u2069 \u2066\") {",
            "if (access != \"user<U+202E> <U+2066>// allowed<U+2069> <U+2066>\") {");
        QTest::newRow("NUL, ESC, DEL, NEL") << u"a"_qs + QChar(0) + u"b\x1b[2Jc\x7f\u0085"_qs
                                            << u"a<U+0000>b<U+001B>[2Jc<U+007F><U+0085>"_qs;
        dataRow("LF and TAB as they are", "a\n\tb\n", "a\n\tb\n");
        dataRow("CR LF: a line end", "a\r\nb\r\n", "a\nb\n");
        dataRow("lone CR ends the line visibly", "// comment\rrun()", "// comment<U+000D>\nrun()");
        dataRow("CR CR LF", "a\r\r\nb", "a<U+000D>\n\nb");
        dataRow("line and paragraph separators", "// x\u2028run()\u2029y",
            "// x<U+2028>\nrun()<U+2029>\ny");
        dataRow("tag characters beyond the BMP", "a\U000E0041\U000E007Fb", "a<U+E0041><U+E007F>b");
        QTest::newRow("lone surrogate") << u"a"_qs + QChar(0xD800) + u"b"_qs << u"a<U+D800>b"_qs;
        dataRow("letters of any script", "h\u00e4\u20ac\U0001F600 \u05d0\u05d1 \u0627",
            "h\u00e4\u20ac\U0001F600 \u05d0\u05d1 \u0627");
    }
    void shownScript()
    {
        QFETCH(QString, script);
        QFETCH(QString, shown);
        const QString host = u"tcp:ex\u202Eample:23"_qs;
        std::optional<ScriptConsent::Answer> answered;
        QPointer<QWidget> box = ScriptConsent::Ask(
            nullptr, host, script, [&](ScriptConsent::Answer a) { answered = a; });
        QCOMPARE(box->findChild<QPlainTextEdit *>(u"txtScript"_qs)->toPlainText(), shown);
        // Above the script: the host that asks, escaped the same way.
        const auto *asking = box->findChild<QLabel *>(u"lblHost"_qs);
        QVERIFY(asking);
        QCOMPARE(asking->text(), u"Host: tcp:ex<U+202E>ample:23"_qs);
        box->close();
        QCOMPARE(answered, std::optional(ScriptConsent::Answer::DontRun));
        QTRY_VERIFY(!box);
    }

    void firstLine_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("line");
        QTest::newRow("one line") << "run()" << "run()";
        QTest::newRow("CR LF") << "a();\r\nb();" << "a();";
        QTest::newRow("blank lines first") << "\n  \r\n\tcapture();\nx" << "\tcapture();";
        QTest::newRow("long line cut") << QString(300, u'x') << QString(200, u'x') + u"..."_qs;
        QTest::newRow("empty") << "" << "";
    }
    void firstLine()
    {
        QFETCH(QString, script);
        QTEST(ScriptConsent::FirstLine(script), "line");
    }

    void hostNames_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<QString>("hostName");
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("serialPort");
        QTest::addColumn<QString>("expected");
        QTest::newRow("telnet, default port") << 3 << " Example.COM " << "" << 0 << "telnet:example.com:23";
        QTest::newRow("ssh, own port") << 5 << "h" << "2222" << 0 << "ssh:h:2222";
        QTest::newRow("raw tcp") << 2 << "10.0.0.1" << "7000" << 0 << "tcp:10.0.0.1:7000";
        QTest::newRow("bad port kept as written") << 2 << "h" << "x1" << 0 << "tcp:h:x1";
        QTest::newRow("serial port") << 1 << "" << "" << 2 << "serial:/dev/ttyS1";
        QTest::newRow("modem") << 4 << "" << "" << 101 << "modem:/dev/ttyUSB1";
        QTest::newRow("no device") << 0 << "h" << "1" << 0 << "none";
    }
    void hostNames()
    {
        QFETCH(int, device);
        QFETCH(QString, hostName);
        QFETCH(QString, port);
        QFETCH(int, serialPort);
        emu::Settings settings;
        settings.setDevice(emu::Int(device));
        settings.setHostName(hostName);
        settings.setHostPort(port);
        settings.setPort(emu::Int(serialPort));
        QTEST(ScriptConsent::HostOf(settings), "expected");
    }
};

QTEST_MAIN(TestScriptConsent)
#include "tst_scriptconsent.moc"
