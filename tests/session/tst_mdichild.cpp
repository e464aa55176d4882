// The session window inside the running program: the emulator's events turned into status tools,
// session events and host requests; the reconnect panel; the keys (Ctrl+Tab in activation order,
// Alt shortcuts, Scroll Lock); closing; and the session commands of its menu.

#include "app/tst_startup_env.h"

#include "app/profile.h"
#include "commondlg/commondlg.h"
#include "app/common.h"
#include "dde/ddetopic.h"
#include "emulator/emulator.h"
#include "emulator/hostprotocol.h"
#include "emulator/screen.h"
#include "platform/fakehost.h"
#include "session/hostfile.h"
#include "interfaces/sessioniface.h"
#include "menus/menus.h"
#include "runtime/keyboard.h"
#include "runtime/interaction.h"
#include "runtime/messages.h"
#include "session/mdichild.h"
#include "session/scriptconsent.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QDialog>
#include <QFileDialog>
#include <QPushButton>
#include <QtTest>

namespace {

std::shared_ptr<clsSession> asSession(const SessionPtr &session)
{
    return std::static_pointer_cast<clsSession>(session);
}

// The first tool of a menu with a command number, or null.
MnuToolPtr toolOf(const clsSession &session, rt::Long id)
{
    for (const MnuBandPtr &band : session.Menu()->NewEnum()) {
        for (const MnuToolPtr &tool : band->NewEnum()) {
            if (tool->ToolID() == id)
                return tool;
        }
    }
    return nullptr;
}

// Gives the session's emulator the focus and answers it: keys go to the focus widget.
QWidget *keyTarget(const clsSession &session)
{
    session.Emulator()->setFocus();
    return session.Emulator();
}

} // namespace

class TestMdiChild : public QObject
{
    Q_OBJECT

    StartupEnvironment m_env;
    QStringList m_errors;
    QStringList m_messages;
    QList<rt::Int> m_answers;

    std::shared_ptr<clsSession> add(const QString &file = QString())
    {
        return asSession(gApp->ClsSessions().Add(file));
    }
    QString caption(const clsSession &session, rt::Long id)
    {
        const MnuToolPtr tool = toolOf(session, id);
        return tool ? tool->Caption() : u"<no tool>"_qs;
    }
    std::shared_ptr<clsSession> withDevice(rt::Int device, rt::Int autoClose, rt::Int showErrs)
    {
        const auto session = add();
        session->EmulatorSettings().setDevice(device);
        session->setAutoClose(autoClose);
        session->setShowErrs(showErrs);
        return session;
    }

private slots:
    void initTestCase()
    {
        m_env.setUp();
        installTestHooks(m_errors);
        frmMsgBox::setAnswerHook([this](const QString &prompt, rt::Int) {
            m_messages << prompt;
            return m_answers.isEmpty() ? rt::Int(7) : m_answers.takeFirst();
        });
    }
    void init()
    {
        m_errors.clear();
        m_messages.clear();
        m_answers.clear();
        gSessionCounter = 0;
        startProgram({});
        QVERIFY(gApp);
    }
    void cleanup()
    {
        commondlg::setHook(nullptr);
        rt::setDialogsWaitOffscreen(false);
        gApp->setBlockedHotKeys(0);
        endProgram();
        QVERIFY(m_errors.isEmpty());
    }

    // ---- Status tools ----

    void statusTools_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<int>("tool");
        QTest::addColumn<QString>("caption");
        QTest::newRow("terminal type 9") << "term9" << 1101 << "ANSI";
        QTest::newRow("terminal type 12") << "term12" << 1101 << "DEC VT100";
        QTest::newRow("no device name") << "device-empty" << 1102 << "No Device";
        QTest::newRow("device name cut to 25")
            << "device-long" << 1102 << "0123456789012345678901234";
        QTest::newRow("printer state 2") << "printer2" << 1105 << "";
        QTest::newRow("printer on") << "printer1" << 1105 << "On";
        QTest::newRow("printer off") << "printer-1" << 1105 << "Off";
        QTest::newRow("printer idle") << "printer0" << 1105 << "Idle";
        QTest::newRow("capture on") << "capture1" << 1106 << "Capture On";
        QTest::newRow("capture off") << "capture0" << 1106 << "Capture Off";
        QTest::newRow("location") << "location" << 1107 << "3,14,1";
        // A burst shows in the field at most once a frame; the last one is never lost.
        QTest::newRow("location burst") << "location-burst" << 1107 << "80,24,1";
        QTest::newRow("screen") << "screen" << 1104 << "80,24,1";
        QTest::newRow("status") << "status" << 1103 << "Connecting";
        const char *notConnected = "Not connected: Tools > Settings sets the host";
        QTest::newRow("no status yet") << "status-empty" << 1103 << notConnected;
        QTest::newRow("blank session") << "none" << 1103 << notConnected;
        const char *notDialled = "Not connected: Tools > Dial dials the number";
        QTest::newRow("modem chosen") << "device-modem" << 1103 << notDialled;
        QTest::newRow("modem chosen, then another device")
            << "device-modem-telnet" << 1103 << notConnected;
        QTest::newRow("modem chosen after a status") << "status-modem" << 1103 << "Connecting";
    }
    void statusTools()
    {
        QFETCH(QString, event);
        QFETCH(int, tool);
        const auto session = add();
        emu::nvEmulator *e = session->Emulator();
        QString name;
        if (event == u"term9"_qs)
            emit e->TermChange(9);
        else if (event == u"term12"_qs)
            emit e->TermChange(12);
        else if (event == u"device-empty"_qs)
            emit e->DeviceChange(3, &name);
        else if (event.contains(u"modem"_qs)) {
            if (event.startsWith(u"status"_qs))
                emit e->StatusChange(u"Connecting"_qs);
            emit e->DeviceChange(emu::device::Modem, &name);
            if (event.endsWith(u"telnet"_qs))
                emit e->DeviceChange(emu::device::Telnet, &name);
            name.clear();
        }
        else if (event == u"device-long"_qs) {
            name = u"0123456789012345678901234567890123456789"_qs;
            emit e->DeviceChange(3, &name);
        } else if (event.startsWith(u"printer"_qs))
            emit e->PrinterChange(rt::Int(event.mid(7).toInt()));
        else if (event.startsWith(u"capture"_qs))
            emit e->CaptureChange(rt::Int(event.mid(7).toInt()));
        else if (event == u"location"_qs)
            emit e->LocationChange(3, 14, 1);
        else if (event == u"location-burst"_qs) {
            for (rt::Int col = 1; col <= 80; ++col)
                emit e->LocationChange(col, 24, 1);
        }
        else if (event == u"screen"_qs)
            emit e->ScreenChange(80, 24, 1, 0);
        else if (event == u"status"_qs)
            emit e->StatusChange(u"Connecting"_qs);
        else if (event == u"status-empty"_qs)
            emit e->StatusChange(QString());
        QFETCH(QString, caption);
        QTRY_COMPARE(this->caption(*session, tool), caption);
        if (event == u"device-empty"_qs)
            QCOMPARE(name, u"No Device"_qs);
        if (event == u"printer2"_qs)
            QCOMPARE(toolOf(*session, 201) ? toolOf(*session, 201)->Checked() : rt::False,
                rt::False);
    }

    void flagsTools()
    {
        const auto session = add();
        emu::nvEmulator *e = session->Emulator();
        emit e->KeyboardLockChange(1);
        QCOMPARE(toolOf(*session, 1108)->Visible(), rt::True);
        emit e->KeyboardLockChange(0);
        QCOMPARE(toolOf(*session, 1108)->Visible(), rt::False);
        QString modem = u"Modem"_qs;
        emit e->DeviceChange(4, &modem);
        QCOMPARE(toolOf(*session, 704)->Enabled(), rt::True);
        emit e->DeviceChange(3, &modem);
        QCOMPARE(toolOf(*session, 704)->Enabled(), rt::False);
        emit e->ScreenChange(132, 24, 1, 1);
        QCOMPARE(toolOf(*session, 505)->Enabled(), rt::True);
        QCOMPARE(toolOf(*session, 506)->Enabled(), rt::False);
        emit e->HistoryChange(1, 1);
        QCOMPARE(toolOf(*session, 507)->Enabled(), rt::False);
        QCOMPARE(toolOf(*session, 508)->Enabled(), rt::True);
        emit e->HistoryChange(0, 0);
        QCOMPARE(toolOf(*session, 507)->Visible(), rt::False);
    }

    // ---- Connection trouble ----

    void commError_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("autoClose");
        QTest::addColumn<int>("showErrs");
        QTest::addColumn<int>("show");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("result");
        QTest::newRow("serial, ShowErrs: kept") << 1 << 0 << -1 << 0 << 206662 << 206662;
        QTest::newRow("telnet, ShowErrs: lost link cleared") << 3 << 0 << -1 << 0 << 206662 << 0;
        QTest::newRow("ssh: 206666 cleared") << 5 << 0 << -1 << 0 << 206666 << 0;
        QTest::newRow("telnet, other code kept") << 3 << 0 << -1 << 0 << 1000 << 1000;
        QTest::newRow("AutoClose serial: cleared") << 1 << -1 << -1 << 0 << 206665 << 0;
        QTest::newRow("ShowErrs off: cleared") << 1 << 0 << 0 << 0 << 1234 << 0;
        QTest::newRow("ShowErrs off, shown by control") << 1 << 0 << 0 << 1 << 1234 << 1234;
    }
    void commError()
    {
        QFETCH(int, device);
        QFETCH(int, autoClose);
        QFETCH(int, showErrs);
        QFETCH(int, show);
        QFETCH(int, code);
        const auto session = withDevice(rt::Int(device), rt::Int(autoClose), rt::Int(showErrs));
        rt::Long value = code;
        emit session->Emulator()->CommError(&value, u"detail"_qs, rt::Int(show));
        QTEST(int(value), "result");
    }

    void disconnect_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("autoClose");
        QTest::addColumn<bool>("closing");
        QTest::addColumn<bool>("panel");
        QTest::addColumn<bool>("closed");
        QTest::newRow("telnet: panel") << 3 << 0 << false << true << false;
        QTest::newRow("ssh: panel") << 5 << 0 << false << true << false;
        QTest::newRow("modem: nothing") << 4 << 0 << false << false << false;
        QTest::newRow("AutoClose: session closes") << 3 << -1 << false << false << true;
        QTest::newRow("telnet, window closing: no panel") << 3 << 0 << true << false << false;
    }
    void disconnect()
    {
        QFETCH(int, device);
        QFETCH(int, autoClose);
        QFETCH(bool, closing);
        const auto session = withDevice(rt::Int(device), rt::Int(autoClose), 0);
        session->setChanged(rt::False);
        frmMdiChild *window = session->frmSession();
        window->setIsClosing(closing);
        emit session->Emulator()->Disconnect();
        QTEST(window->reconnectShown(), "panel");
        QCOMPARE(session->Emulator()->isEnabled(), !window->reconnectShown());
        QTEST(session->Closing(), "closed");
        if (window->reconnectShown()) {
            window->cmdCancelRecon_Click();
            QVERIFY(!window->reconnectShown());
            QVERIFY(session->Emulator()->isEnabled());
        }
        window->setIsClosing(false);
    }

    // ---- Host requests ----

    void serverMode()
    {
        const auto session = add();
        emit session->Emulator()->ServerStart(u"Orders"_qs);
        QCOMPARE(session->ServerMode(), rt::True);
        QCOMPARE(session->frmSession()->LinkTopic(), u"Orders"_qs);
        QCOMPARE(session->frmSession()->caption(), u"Orders (1)"_qs);
        QVERIFY(gSystemTopic->item(u"TOPICS"_qs).contains(u"\tOrders"_qs));
        emit session->Emulator()->ServerExit();
        QCOMPARE(session->ServerMode(), rt::False);
        QCOMPARE(session->frmSession()->LinkTopic(), u"Session_1"_qs);
        QCOMPARE(session->frmSession()->caption(), u"New Session (1)"_qs);
    }

    void settingsRequests()
    {
        const QString file = m_env.homeDir() + u"/req.nvcf"_qs;
        writeBytes(file, "[Norvalis]\nTermType=9\n");
        const auto session = add(file);
        session->setCaption(u"From host"_qs);
        emit session->Emulator()->SaveSettings();
        QCOMPARE(Profile::GetIniString(u"Norvalis"_qs, u"SessionTitle"_qs, QString(), file),
            u"From host"_qs);
        Profile::PutIniString(u"Norvalis"_qs, u"SessionTitle"_qs, u"Reloaded"_qs, QString(), file);
        emit session->Emulator()->LoadSettings();
        QCOMPARE(session->Caption(), u"Reloaded"_qs);
        // A script of a host the user allowed runs for the session (tst_scriptconsent has the
        // rest of the consent).
        const QString host = ScriptConsent::LinkHostOf(*session->Emulator());
        QVERIFY(ScriptConsent::Allow(host));
        emit session->Emulator()->ExecScript(u"Norvalis.Common.SetItem('host', Session.ID)"_qs, 0);
        QCOMPARE(gApp->ClsCommon().Common_Item(u"host"_qs).toString(), session->ID());
        QVERIFY(ScriptConsent::Revoke(host));
        emit session->Emulator()->CloseSession();
        QVERIFY(session->Closing());
    }

    // A host's requests open their dialogs one at a time: of 20 requests in one read, the first
    // opens its dialog (the Save As of a session without a file, or the question to run a
    // script) and the others are dropped and logged (a script is refused to the host), as is one
    // that comes while the dialog is open. Once it is closed, the next request opens one again.
    void hostDialogsOneAtATime_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("logged");
        const QString request = u"Another request of the host awaits the user's answer"_qs;
        QTest::newRow("Save As, save-settings")
            << "save" << "save" << u"save-settings of none dropped: "_qs + request;
        QTest::newRow("Save As, script") << "save" << "script"
                                         << u"script of none not run: "_qs + request;
        QTest::newRow("script question, save-settings")
            << "script" << "save"
            << "save-settings of none dropped: Another script of the host awaits the user's answer";
    }
    void hostDialogsOneAtATime()
    {
        QFETCH(QString, first);
        QFETCH(QString, meanwhile);
        QFETCH(QString, logged);
        constexpr int Requests = 20;
        rt::setDialogsWaitOffscreen(true); // the question waits for its answer
        const auto session = add();
        const auto request = [&](const QString &kind) {
            if (kind == u"save"_qs)
                emit session->Emulator()->SaveSettings();
            else
                emit session->Emulator()->ExecScript(u"Norvalis.Common.SetItem('ran', 1)"_qs, 0);
        };
        QWidget *window = session->frmSession()->widget();
        const auto questions
            = [&] { return window->findChildren<QDialog *>(u"frmScriptConsent"_qs).size(); };
        int saveAs = 0;
        qsizetype questionsWhileSaveAs = -1;
        commondlg::setHook([&](const commondlg::Request &) -> commondlg::Answer {
            if (++saveAs == 1 && first == u"save"_qs) {
                request(meanwhile); // the host's data goes on while the dialog waits
                questionsWhileSaveAs = questions();
            }
            return std::nullopt;
        });
        for (int i = 0; i < Requests; ++i)
            QTest::ignoreMessage(QtInfoMsg, qPrintable(logged));
        request(first);
        for (int i = 1; i < Requests; ++i)
            request(meanwhile);
        if (first == u"save"_qs) {
            QTRY_COMPARE(saveAs, 1);
            QCOMPARE(questionsWhileSaveAs, 0);
        } else {
            QCOMPARE(questions(), 1);
            request(meanwhile);
            window->findChild<QDialog *>(u"frmScriptConsent"_qs)->close();
        }
        QCOMPARE(gApp->ClsCommon().Common_Item(u"ran"_qs).toInt(), 0);

        request(meanwhile);
        if (meanwhile == u"save"_qs) {
            QTRY_COMPARE(saveAs, first == u"save"_qs ? 2 : 1);
        } else {
            QCOMPARE(questions(), 1);
            window->findChild<QDialog *>(u"frmScriptConsent"_qs)->close();
        }
    }

    // The same over a link, the Save As a real window: the host's text after the requests is
    // shown while it is open, and the requests read meanwhile open no other window.
    void saveAsWhileHostFloods()
    {
        constexpr int Requests = 20;
        FakeHost host;
        const auto session = add();
        emu::Settings &settings = session->EmulatorSettings();
        settings.setDevice(emu::device::Tcp);
        settings.setHostName(u"127.0.0.1"_qs);
        settings.setHostPort(host.portText());
        session->Emulator()->Reset(2);
        QVERIFY(host.waitForConnection());
        QTRY_VERIFY(session->Emulator()->Connected() != 0);
        emu::HostRequest save;
        save.verb = emu::HostVerb::SaveSettings;
        const QByteArray request = emu::HostProtocol::encode(save);
        const qint64 total = session->Emulator()->BytesIn() + request.size() * Requests + 5;
        for (int i = 1; i < Requests; ++i)
            QTest::ignoreMessage(QtInfoMsg,
                QRegularExpression(u"^save-settings of tcp:127\\.0\\.0\\.1:\\d+ dropped: "_qs));
        // Once every byte is in, each Save As window is counted and cancelled.
        int dialogs = 0;
        bool shownWhileOpen = true;
        QTimer cancel;
        connect(&cancel, &QTimer::timeout, [&] {
            auto *open = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!open || session->Emulator()->BytesIn() < total)
                return;
            ++dialogs;
            shownWhileOpen = shownWhileOpen
                && session->Emulator()->screen()->rowText(0).trimmed() == u"after"_qs;
            open->reject();
        });
        cancel.start(5);
        rt::setDialogsWaitOffscreen(true);
        for (int i = 0; i < Requests; ++i)
            host.send(request);
        host.send("after");
        QTRY_VERIFY(dialogs > 0);
        QTRY_COMPARE(session->Emulator()->screen()->rowText(0).trimmed(), u"after"_qs);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(dialogs, 1);
        QVERIFY(shownWhileOpen);
    }

    // DDE executes on the session's topic: a bracketed script runs for the session whatever
    // Busy says; a host request is refused while Busy is 1, and by a session not in server mode
    // (tst_server has the host requests).
    void ddeExecute_data()
    {
        QTest::addColumn<QString>("busy");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("errNum");
        QTest::newRow("script") << "0" << "[Norvalis.Common.SetItem('dde', Session.ID)]" << true
                                << "0";
        QTest::newRow("script while busy")
            << "1" << "[Norvalis.Common.SetItem('dde', Session.ID)]" << true << "0";
        QTest::newRow("failing script") << "0" << "[nosuchname()]" << false << "*";
        QTest::newRow("request while busy") << "1" << "GET ORDERS" << false << "288";
        QTest::newRow("request, not in server mode") << "0" << "GET ORDERS" << false << "289";
    }
    void ddeExecute()
    {
        QFETCH(QString, busy);
        QFETCH(QString, command);
        QFETCH(QString, errNum);
        const auto session = add();
        dde::Topic *topic = session->frmSession()->topic();
        topic->setItem(u"Busy"_qs, busy);
        topic->setItem(u"ErrNum"_qs, u"7"_qs);
        QTEST(topic->execute(command), "accepted");
        if (errNum == u"*"_qs)
            QVERIFY(topic->item(u"ErrNum"_qs) != u"0"_qs && topic->item(u"ErrNum"_qs) != u"7"_qs);
        else
            QCOMPARE(topic->item(u"ErrNum"_qs), errNum);
        QCOMPARE(topic->item(u"Busy"_qs), busy);
        if (command.startsWith(u'[') && errNum == u"0"_qs)
            QCOMPARE(gApp->ClsCommon().Common_Item(u"dde"_qs).toString(), u"1"_qs);
    }

    void extensionRewritten()
    {
        const auto session = add();
        auto *iface = qobject_cast<SessionDefaultIface *>(session->AutomationObject());
        QVERIFY(iface);
        connect(iface, &SessionDefaultIface::Extension, this,
            [](QString &cmd) { cmd = u"answer to "_qs + cmd; });
        QSignalSpy ready(iface, &SessionDefaultIface::DataReady);
        QString command = u"ask"_qs;
        emit session->Emulator()->Extension(&command);
        QCOMPARE(command, u"answer to ask"_qs);
        emit session->Emulator()->DataReady();
        QCOMPARE(ready.count(), 1);
    }

    // ---- Keys ----

    // Ctrl held, Tab three times: the next three windows in activation order; the order changes
    // only when Ctrl is released, and then only the window reached moves to the front.
    void ctrlTabCycling()
    {
        QList<std::shared_ptr<clsSession>> sessions;
        for (int i = 0; i < 4; ++i)
            sessions << add();
        QTRY_VERIFY(!gCleanupPending); // the hidden second session has gone
        QStringList order;
        for (rt::Int i = 0; i < gActivationList->Count(); ++i)
            order << QString::number(gActivationList->Key(i));
        QCOMPARE(order, QStringList({ u"5"_qs, u"4"_qs, u"3"_qs, u"1"_qs }));
        const auto active = [] { return TheMainWindow()->form().activeForm()->Tag; };
        const auto activeSession = [&] {
            return asSession(gApp->ClsSessions().clsItem(QVariant(active())));
        };
        QCOMPARE(active(), u"5"_qs);
        for (const QString &expected : { u"4"_qs, u"3"_qs, u"1"_qs }) {
            QTest::keyPress(keyTarget(*activeSession()), Qt::Key_Tab, Qt::ControlModifier);
            QCOMPARE(active(), expected);
            QCOMPARE(gActivationList->Key(0), rt::Int(5));
        }
        QTest::keyRelease(keyTarget(*activeSession()), Qt::Key_Control);
        QCOMPARE(gActivationList->Key(0), rt::Int(1));
        QCOMPARE(gActivationList->Key(1), rt::Int(5));
        QVERIFY(!gCtrlTabCycling);
    }

    // Activate makes the session's window the active one, so that typing goes to it.
    void activateMakesActive()
    {
        QList<std::shared_ptr<clsSession>> sessions;
        for (const QString &name : { u"a"_qs, u"b"_qs }) {
            const QString file = m_env.homeDir() + u'/' + name + u".nvcf"_qs;
            writeBytes(file, "[Norvalis]\nTermType=9\n");
            sessions << add(file);
        }
        QTRY_VERIFY(!gCleanupPending);
        QCOMPARE(gApp->ActiveClsSession(), SessionPtr(sessions.at(1)));
        sessions.at(0)->Activate();
        QCOMPARE(gApp->ActiveClsSession(), SessionPtr(sessions.at(0)));
        QCOMPARE(TheMainWindow()->form().activeForm()->Tag, sessions.at(0)->ID());
        QCOMPARE(QString::number(gActivationList->Key(0)), sessions.at(0)->ID());
    }

    // Alt+L cycles the screen mode and uses the key; blocked, or any other Alt+letter, the key goes
    // to the host (ESC and the letter) and the mode stays.
    void altShortcuts_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("blocked");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QByteArray>("host");
        QTest::newRow("0 to 2") << int(Qt::Key_L) << 0 << 0 << 2 << QByteArray("x");
        QTest::newRow("1 to 2") << int(Qt::Key_L) << 1 << 0 << 2 << QByteArray("x");
        QTest::newRow("2 to 3") << int(Qt::Key_L) << 2 << 0 << 3 << QByteArray("x");
        QTest::newRow("3 to 0") << int(Qt::Key_L) << 3 << 0 << 0 << QByteArray("x");
        QTest::newRow("blocked L") << int(Qt::Key_L) << 1 << (1 << ('L' - 'A')) << 1
                                   << QByteArray("\x1blx");
        QTest::newRow("other letter blocked")
            << int(Qt::Key_L) << 1 << (1 << ('C' - 'A')) << 2 << QByteArray("x");
        QTest::newRow("no shortcut") << int(Qt::Key_K) << 1 << 0 << 1 << QByteArray("\x1bkx");
    }
    void altShortcuts()
    {
        QFETCH(int, key);
        QFETCH(int, start);
        QFETCH(int, blocked);
        FakeHost host;
        const auto session = openHostSession(m_env.homeDir() + u"/alt.nvcf"_qs, host.port());
        QVERIFY(host.waitForConnection());
        gApp->setBlockedHotKeys(blocked);
        session->Emulator()->setCycleMode(rt::Int(start));
        QTest::keyPress(keyTarget(*session), Qt::Key(key), Qt::AltModifier);
        QTest::keyPress(keyTarget(*session), Qt::Key_X);
        QVERIFY(host.waitForReceived("x"));
        QTEST(host.received(), "host");
        QTEST(int(session->Emulator()->CycleMode()), "expected");
    }

    void scrollLock()
    {
        const auto session = add();
        rt::setPauseState(false);
        QTest::keyPress(keyTarget(*session), Qt::Key_ScrollLock);
        QVERIFY(session->frmSession()->PauseState());
        QVERIFY(rt::pauseState());
        QTest::keyPress(keyTarget(*session), Qt::Key_ScrollLock);
        QVERIFY(!session->frmSession()->PauseState());
    }

    // ---- Closing ----

    // A session that declines to close keeps its window and stops a shutdown in progress.
    void closeDeclined()
    {
        const auto session = add();
        session->setCaption(u"Keep"_qs);
        gTerminating = true;
        m_answers = { 2 }; // Cancel
        QVERIFY(!session->frmSession()->unload(rt::vbFormControlMenu));
        QVERIFY(!gTerminating);
        QVERIFY(!session->Closing());
        QVERIFY(session->frmSession()->isLoaded());
        QCOMPARE(m_messages.size(), 1);
        session->setChanged(rt::False);
    }

    // A window whose control is busy (a wait is running) does not close: it only beeps.
    void closeWhileBusy()
    {
        FakeHost host;
        const QString file = m_env.homeDir() + u"/busy.nvcf"_qs;
        writeBytes(file, hostSessionFile(host.port()));
        const auto session = add(file);
        emu::nvEmulator *e = session->Emulator();
        QTRY_VERIFY(e->Connected() != 0);
        bool refused = false;
        QTimer::singleShot(0, this, [&] {
            QTimer::singleShot(50, this, [&] {
                refused = e->Busy() != 0 && !session->frmSession()->unload(rt::vbFormControlMenu);
                e->Abort();
            });
            e->WaitFor(0, 10, { u"never arrives"_qs });
        });
        QTRY_VERIFY(refused);
        QVERIFY(!session->Closing());
        QVERIFY(m_messages.isEmpty());
    }

    // A session that accepts leaves its window loaded but out of the Ctrl+Tab cycle until its
    // destructor unloads it.
    void closeAccepted()
    {
        std::weak_ptr<clsSession> session = add();
        QTRY_VERIFY(!gCleanupPending);
        QPointer<frmMdiChild> window = session.lock()->frmSession();
        QVERIFY(!window->unload(rt::vbFormControlMenu));
        QVERIFY(session.lock()->Closing());
        QVERIFY(window->isLoaded());
        for (rt::Int i = 0; i < gActivationList->Count(); ++i)
            QVERIFY(gActivationList->Key(i) != 1);
        QTRY_COMPARE(gApp->ClsSessions().Count(), 0);
        QVERIFY(session.expired());
        QVERIFY(!window || !window->isLoaded());
    }

    void transferMessageOtherWParam()
    {
        const auto session = add();
        rt::sendMessage(session->frmSession(), WM_STARTTRANSFER, 3, 0);
        QCOMPARE(session->Emulator()->XferStatus(), rt::Int(0));
    }

    // Paste from file: the file the user picks goes to the active session's host, and the next
    // question offers it again.
    void pasteFromFile()
    {
        FakeHost host;
        const QString file = m_env.homeDir() + u"/paste.nvcf"_qs;
        writeBytes(file, hostSessionFile(host.port()));
        const QString text = m_env.homeDir() + u"/pasted.txt"_qs;
        writeBytes(text, "first line\nsecond line\n");
        const auto session = add(file);
        QVERIFY(host.waitForConnection());
        QTRY_VERIFY(session->Emulator()->Connected() != 0);
        QList<commondlg::Request> asked;
        commondlg::setHook([&](const commondlg::Request &request) {
            asked << request;
            return std::optional<QString>(text);
        });
        frmMdiParent::instance().PasteFromFile();
        QVERIFY(host.waitForReceived("second line"));
        QCOMPARE(session->PasteFromFileName(), text);
        frmMdiParent::instance().PasteFromFile();
        commondlg::setHook(nullptr);
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked.at(0).title, u"Select File to Paste"_qs);
        QCOMPARE(asked.at(0).fileName, QString());
        QCOMPARE(asked.at(1).fileName, text);
    }

    // ---- Pictures (tests/screenshot.sh runs these under Xvfb) ----

    // The main window with two session windows, one maximized and one normal in front of it.
    void screenshotTwoWindows()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("screenshots only (tests/screenshot.sh)");
        QWidget *main = frmMdiParent::instance().widget();
        main->resize(1000, 720);
        const auto back = add();
        back->setCaption(u"Host A"_qs);
        back->Emulator()->Emulate(u"Welcome to host A\r\n\r\nlogin: operator\r\nPassword:\r\n"
                                  "$ ls -l\r\ntotal 8\r\n-rw-r--r-- 1 op op 120 report.txt\r\n$ "_qs);
        back->setWindowState(2);
        const auto front = add();
        front->setCaption(u"Host B"_qs);
        front->setWindowState(0);
        front->Move(40, 40, 560, 360);
        front->Emulator()->Emulate(u"\x1b[1mHost B\x1b[0m ready\r\n$ uptime\r\n"
                                   " 10:42:01 up 12 days,  3 users\r\n$ "_qs);
        // NORVALIS_SCREENSHOT_MAXIMIZED: the maximized window in front instead.
        if (qEnvironmentVariableIsSet("NORVALIS_SCREENSHOT_MAXIMIZED")) {
            back->frmSession()->show();
            back->setWindowState(2);
            QCOMPARE(front->WindowState(), rt::Int(0));
        }
        QTest::qWait(300);
        QVERIFY(main->grab().save(out));
    }

    // A new session (its status line says where the host is set) in front of three cascaded
    // sessions, each title bar showing; NORVALIS_SCREENSHOT_ALONE: the new session alone.
    void screenshotCascade()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("screenshots only (tests/screenshot.sh)");
        QWidget *main = frmMdiParent::instance().widget();
        main->resize(1000, 720);
        if (!qEnvironmentVariableIsSet("NORVALIS_SCREENSHOT_ALONE")) {
            for (const char *name : { "Host A", "Host B", "Host C" }) {
                const QString file = m_env.homeDir() + u'/' + QLatin1String(name) + u".nvcf"_qs;
                writeBytes(file, "[Norvalis]\nTermType=9\n");
                const auto session = add(file);
                session->setCaption(QLatin1String(name));
                session->Emulator()->Emulate(u"$ "_qs);
            }
        }
        add()->setCaption(u"New session"_qs);
        frmMdiParent::instance().arrange(0);
        QTest::qWait(300);
        QVERIFY(main->grab().save(out));
    }

    // The reconnect panel over a session whose Telnet connection dropped.
    void screenshotReconnect()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("screenshots only (tests/screenshot.sh)");
        QWidget *main = frmMdiParent::instance().widget();
        main->resize(900, 640);
        const auto session = withDevice(3, 0, 0);
        session->setCaption(u"Telnet host"_qs);
        session->setWindowState(2);
        session->Emulator()->Emulate(u"Connected to host.\r\n$ exit\r\nlogout\r\n"_qs);
        emit session->Emulator()->Disconnect();
        QVERIFY(session->frmSession()->reconnectShown());
        QTest::qWait(300);
        QVERIFY(main->grab().save(out));
        session->setChanged(rt::False);
    }

    // The history in half of a session window at its first size: 80-column lines, the last
    // columns beside the history's scroll bar, not under it.
    void screenshotHistory()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("screenshots only (tests/screenshot.sh)");
        QWidget *main = frmMdiParent::instance().widget();
        main->resize(1000, 720);
        const auto session = add();
        session->setCaption(u"History"_qs);
        const QString ruler = u"....+....1....+....2....+....3....+....4....+....5....+....6....+....7....+...80"_qs;
        for (int i = 0; i < 60; ++i)
            session->Emulator()->Emulate(ruler.left(76) + u"%1"_qs.arg(i, 4) + u"\r\n"_qs);
        rt::Int half = 50;
        session->Emulator()->setHistoryVisible(&half);
        QTest::qWait(300);
        QVERIFY(main->grab().save(out));
        session->setChanged(rt::False);
    }

    // Two sessions tiled one above the other: each window smaller than its screen scrolls to
    // its prompt row.
    void screenshotTiled()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("screenshots only (tests/screenshot.sh)");
        QWidget *main = frmMdiParent::instance().widget();
        main->resize(1000, 720);
        for (const char *name : { "Upper", "Lower" }) {
            const auto session = add();
            session->setCaption(QLatin1String(name));
            for (int i = 1; i < 24; ++i)
                session->Emulator()->Emulate(u"line %1\r\n"_qs.arg(i));
            session->Emulator()->Emulate(u"$ the prompt row"_qs);
            session->setChanged(rt::False);
        }
        frmMdiParent::instance().arrange(1);
        QTest::qWait(300);
        QVERIFY(main->grab().save(out));
    }

    // ---- Session commands ----

    // A tool of the session's menu runs on the session that owns the menu.
    void commandRouting()
    {
        const QString file = m_env.homeDir() + u"/routed.nvcf"_qs;
        writeBytes(file, "[Norvalis]\nTermType=9\n");
        const auto first = add(file);
        const auto second = add();
        first->setCaption(u"Routed"_qs);
        const MnuToolPtr save = toolOf(*first, 105);
        QVERIFY(save);
        frmMdiParent::instance().TB_ToolClick(save->BarTool().get());
        QCOMPARE(Profile::GetIniString(u"Norvalis"_qs, u"SessionTitle"_qs, QString(), file),
            u"Routed"_qs);
        QCOMPARE(first->Changed(), rt::False);
        const MnuToolPtr extMode = toolOf(*second, 506);
        frmMdiParent::instance().TB_ToolClick(extMode->BarTool().get());
        QCOMPARE(second->Emulator()->ExtendedMode(), rt::Int(1));
        QCOMPARE(first->Emulator()->ExtendedMode(), rt::Int(0));
    }
};

QTEST_MAIN(TestMdiChild)
#include "tst_mdichild.moc"
