// The DDE form: the SYSTEM topic as DDE clients see it over the bus, and the clean-up timer's
// passes: removing closed sessions, AutoClose, waiting for session windows, and the order of the
// final steps of a shutdown.

#include "app/tst_startup_env.h"

#include "app/common.h"
#include "automation/bridge.h"
#include "automation/runningobject.h"
#include "common/busclient.h"
#include "runtime/interaction.h"
#include "runtime/timer.h"
#include "script/scripthost.h"
#include "session/sessions.h"

#include <QDBusConnection>
#include <QTimer>
#include <QtTest>

namespace {

using busclient::busMessage;
using busclient::nameHasOwner;

const QString kBusName = QStringLiteral("NVWin32.Norvalis");

// A call to this process's DDE server through the bus.
QDBusMessage callDde(const QString &method, const QVariantList &arguments)
{
    return busMessage(u"/DDE"_qs, u"NVWin32.DDE"_qs, method, arguments);
}

QString request(const QString &item)
{
    return callDde(u"Request"_qs, { u"system"_qs, item }).arguments().value(0).toString();
}

// A form that notes, when the clean-up timer unloads it (pass 4), what the earlier passes did.
class ProbeForm : public rt::Form
{
public:
    ProbeForm()
        : rt::Form(u"frmProbe"_qs)
    { }
    bool unloaded = false;
    QVariant common;
    rt::Long cookie = -1;
    bool registered = true;
    bool mainLoaded = true;

protected:
    QWidget *createWidgets() override { return new QWidget; }
    void Form_Unload(rt::Int &cancel) override
    {
        Q_UNUSED(cancel);
        unloaded = true;
        common = gApp ? gApp->ClsCommon().Common_Item(u"kept"_qs) : QVariant(u"no app"_qs);
        cookie = gROTCookie;
        registered = nameHasOwner(kBusName);
        mainLoaded = frmMdiParent::instance().isLoaded();
    }
};

} // namespace

class TestDde : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void systemItems();
    void execute_data();
    void execute();
    void topicList();

    void closedSessionsRemoved();
    void autoClose_data();
    void autoClose();
    void idleTimerStops();
    void windowNotClosingHoldsShutdown();
    void finalStepsInOrder();
    void openMessageHoldsEnd();
    void messageOpenAtTerminate_data();
    void messageOpenAtTerminate();
    void pokes_data();
    void pokes();
    void asyncExecute_data();
    void asyncExecute();

private:
    std::shared_ptr<FakeSession> addSession(int number);

    StartupEnvironment m_env;
    QStringList m_errors;
};

void TestDde::initTestCase()
{
    m_env.setUp();
    installTestHooks(m_errors);
}

void TestDde::init()
{
    gStandalone = true;
    startProgram({});
    QVERIFY(gApp);
    gApp->setAutoClose(rt::False);
}

void TestDde::cleanup()
{
    if (gApp) {
        for (const SessionPtr &session : gApp->ClsSessions().NewEnum())
            session->Terminate(0);
        gCleanupPending = true;
    }
    endProgram();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
}

std::shared_ptr<FakeSession> TestDde::addSession(int number)
{
    auto session = makeSession(QString::number(number));
    gApp->ClsSessions().clsAdd(session, session->ID());
    return session;
}

void TestDde::systemItems()
{
    QCOMPARE(request(u"sysitems"_qs), u"SYSITEMS\tTOPICS\tRESULT\tERRNUM\tERRMSG\tBUSY"_qs);
    QCOMPARE(request(u"Topics"_qs), u"SYSTEM"_qs);
    QCOMPARE(request(u"ERRNUM"_qs), u"0"_qs);
    QCOMPARE(request(u"ErrMsg"_qs), QString());
    QCOMPARE(request(u"busy"_qs), u"0"_qs);
    QCOMPARE(callDde(u"Topics"_qs, {}).arguments().value(0).toStringList().value(0), u"SYSTEM"_qs);
    // The application's DDEResult is the RESULT item.
    gApp->setDDEResult(u"answer"_qs);
    QCOMPARE(request(u"result"_qs), u"answer"_qs);
}

void TestDde::execute_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("errNum");
    QTest::addColumn<QString>("errMsg");

    QTest::newRow("script") << u"[Norvalis.Common.SetItem('dde', 'ran')]"_qs << true << u"0"_qs
                            << QString();
    QTest::newRow("failing script") << u"[throw 5]"_qs << false << u"5"_qs << rt::errorText(5);
    QTest::newRow("not a script") << u"LIST FILES"_qs << false << u"285"_qs << u"Invaid command"_qs;
}

void TestDde::execute()
{
    QFETCH(QString, command);
    QFETCH(bool, accepted);
    gSystemTopic->setItem(u"ErrNum"_qs, u"-1"_qs);
    const QDBusMessage reply = callDde(u"Execute"_qs, { u"SYSTEM"_qs, command });
    QCOMPARE(reply.type() == QDBusMessage::ReplyMessage, accepted);
    if (!accepted)
        QCOMPARE(reply.errorName(), u"NVWin32.DDE.Refused"_qs);
    QTEST(request(u"ErrNum"_qs), "errNum");
    QTEST(request(u"ErrMsg"_qs), "errMsg");
    if (accepted)
        QCOMPARE(gApp->ClsCommon().Common_Item(u"dde"_qs).toString(), u"ran"_qs);
}

// Sessions 1 (no file) and 2 (file host.nvcf): SYSTEM, Session_1 and host.
void TestDde::topicList()
{
    addSession(1);
    addSession(2);
    FakeSessionWindow first(
        u"1"_qs, Nvmain::MakeTopicName(QString(), 1), &frmMdiParent::instance());
    FakeSessionWindow second(
        u"2"_qs, Nvmain::MakeTopicName(u"/data/host.nvcf"_qs, 2), &frmMdiParent::instance());
    first.load();
    second.load();
    Nvmain::UpdateTopicList();
    QCOMPARE(request(u"TOPICS"_qs), u"SYSTEM\tSession_1\thost"_qs);
    first.closing = second.closing = true;
    first.unload();
    second.unload();
}

// Two sessions closed in the same moment are both removed in one tick.
void TestDde::closedSessionsRemoved()
{
    auto one = addSession(1);
    auto two = addSession(2);
    auto three = addSession(3);
    one->closing = true;
    three->closing = true;
    gCleanupPending = true;
    frmDDE::instance().CleanupTimer_Timer();
    QCOMPARE(gApp->ClsSessions().Count(), rt::Long(1));
    QCOMPARE(gApp->ClsSessions().clsItem(QVariant(0)), SessionPtr(two));
    QVERIFY(!gCleanupPending);
    QVERIFY(!gTerminating);
}

void TestDde::autoClose_data()
{
    QTest::addColumn<bool>("autoClose");
    QTest::newRow("AutoClose on: the application ends") << true;
    QTest::newRow("AutoClose off: it stays") << false;
}

void TestDde::autoClose()
{
    QFETCH(bool, autoClose);
    gApp->setAutoClose(autoClose ? rt::True : rt::False);
    addSession(1)->closing = true;
    QSignalSpy ended(&frmDDE::instance(), &frmDDE::ended);
    gCleanupPending = true;
    gCleanupTimer->setEnabled(true);
    if (autoClose) {
        QVERIFY(ended.wait(10000));
        QVERIFY(!gApp);
    } else {
        QTRY_VERIFY(!gCleanupTimer->enabled());
        QCOMPARE(gApp->ClsSessions().Count(), rt::Long(0));
        QVERIFY(frmMdiParent::instance().isVisible());
        QVERIFY(ended.isEmpty());
    }
}

void TestDde::idleTimerStops()
{
    gCleanupTimer->setEnabled(true);
    frmDDE::instance().CleanupTimer_Timer();
    QVERIFY(!gCleanupTimer->enabled());
    QVERIFY(frmDDE::instance().isLoaded());
}

// A session window that is not closing (its emulator is busy) keeps the shutdown at pass 3:
// nothing is revoked until it closes.
void TestDde::windowNotClosingHoldsShutdown()
{
    FakeSessionWindow window(u"1"_qs, u"Session_1"_qs, &frmMdiParent::instance());
    window.refuseUnload = true;
    window.show();
    gTerminating = true;
    frmDDE::instance().CleanupTimer_Timer();
    QVERIFY(frmMdiParent::instance().isLoaded());
    QVERIFY(gROTCookie != 0);
    QVERIFY(nameHasOwner(kBusName));

    window.refuseUnload = false;
    window.closing = true;
    QSignalSpy ended(&frmDDE::instance(), &frmDDE::ended);
    gCleanupTimer->setEnabled(true);
    QVERIFY(ended.wait(10000));
    QVERIFY(!window.isLoaded());
}

// After the main window, the registration is revoked and Common emptied before the other forms
// go; the last tick releases the application object and unloads the DDE form.
void TestDde::finalStepsInOrder()
{
    ProbeForm probe;
    probe.load();
    gApp->ClsCommon().Common_Item(u"kept"_qs, 42);
    // The objects of the application that clients can reach.
    const QDBusMessage sessions = busMessage(u"/Norvalis"_qs, busclient::Properties, u"Get"_qs,
        { u"NVWin32.Norvalis"_qs, u"Sessions"_qs });
    const QStringList handedOut { u"/Norvalis"_qs, u"/Common"_qs,
        sessions.arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant()
            .value<QDBusObjectPath>()
            .path() };
    QCOMPARE(handedOut.last(), u"/Norvalis/Sessions"_qs);
    QVERIFY(nameHasOwner(kBusName));
    QSignalSpy ended(&frmDDE::instance(), &frmDDE::ended);
    gApp->Terminate(0);
    QVERIFY(ended.wait(10000));
    QVERIFY(probe.unloaded);
    QCOMPARE(probe.common, QVariant());
    QCOMPARE(probe.cookie, rt::Long(0));
    QVERIFY(!probe.registered);
    QVERIFY(!probe.mainLoaded);
    QVERIFY(!gApp);
    QVERIFY(!frmDDE::instance().isLoaded());
    QVERIFY(rt::Forms().isEmpty());
    // The application's objects have left the bus with it.
    for (const QString &path : handedOut)
        QVERIFY2(!automation::Bridge::instance().objectAt(path), qPrintable(path));
}

// A message box opened while the shutdown runs holds its end: the caller waits for the answer,
// so the objects under it must outlive it. Once the box is answered the shutdown ends.
void TestDde::openMessageHoldsEnd()
{
    frmMsgBox::setAnswerHook(nullptr);
    rt::setDialogsWaitOffscreen(true);
    QSignalSpy ended(&frmDDE::instance(), &frmDDE::ended);
    int ticksAfterMainWindow = 0;
    bool heldWhileOpen = false;
    connect(gCleanupTimer, &rt::Timer::tick, this, [&] {
        if (frmMdiParent::instance().isLoaded() || ++ticksAfterMainWindow != 3)
            return;
        heldWhileOpen = ended.isEmpty() && gApp && frmMsgBox::instance().isModalShown();
        frmMsgBox::instance().hide(); // the user answers
    });
    gApp->Terminate(0);
    Nvmain::MessageBox(u"Asked while ending"_qs, MsgBox::YesNo);
    rt::setDialogsWaitOffscreen(false);
    frmMsgBox::setAnswerHook([](const QString &, rt::Int) { return rt::Int(7); });

    QVERIFY(heldWhileOpen);
    QVERIFY(!ended.isEmpty() || ended.wait(10000));
    QVERIFY(!gApp);
}

// A message box open when the program is told to end is closed as if cancelled (its escape
// answer), and the shutdown ends: Terminate from a client, File Exit from the menu.
void TestDde::messageOpenAtTerminate_data()
{
    QTest::addColumn<bool>("fileExit");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("answer");
    QTest::newRow("Terminate, Yes No") << false << int(MsgBox::YesNo) << int(MsgBox::No);
    QTest::newRow("File Exit, OK") << true << int(MsgBox::OKOnly) << int(MsgBox::OK);
}

void TestDde::messageOpenAtTerminate()
{
    QFETCH(bool, fileExit);
    QFETCH(int, flags);
    frmMsgBox::setAnswerHook(nullptr);
    rt::setDialogsWaitOffscreen(true);
    QSignalSpy ended(&frmDDE::instance(), &frmDDE::ended);
    QTimer::singleShot(0, this, [&] {
        QVERIFY(frmMsgBox::instance().isModalShown());
        if (fileExit)
            Nvmain::FileExit();
        else
            QCOMPARE(busMessage(u"/Norvalis"_qs, u"NVWin32.Norvalis"_qs, u"Terminate"_qs,
                         { QVariant::fromValue(rt::Int(0)) })
                         .type(),
                QDBusMessage::ReplyMessage);
    });
    const rt::Int answer = Nvmain::MessageBox(u"Open when told to end"_qs, rt::Int(flags));
    rt::setDialogsWaitOffscreen(false);
    frmMsgBox::setAnswerHook([](const QString &, rt::Int) { return rt::Int(7); });

    QTEST(int(answer), "answer");
    QVERIFY(!ended.isEmpty() || ended.wait(10000));
    QVERIFY(!gApp);
}

// A client may poke the Result item only; the items the program keeps refuse a poke.
void TestDde::pokes_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("Result") << u"result"_qs << true;
    QTest::newRow("Topics") << u"Topics"_qs << false;
    QTest::newRow("SysItems") << u"SYSITEMS"_qs << false;
    QTest::newRow("Busy") << u"busy"_qs << false;
    QTest::newRow("ErrNum") << u"ErrNum"_qs << false;
    QTest::newRow("ErrMsg") << u"errmsg"_qs << false;
}

void TestDde::pokes()
{
    QFETCH(QString, item);
    QFETCH(bool, accepted);
    const QString before = request(item);
    const QDBusMessage reply = callDde(u"Poke"_qs, { u"SYSTEM"_qs, item, u"poked"_qs });
    QCOMPARE(reply.type() == QDBusMessage::ReplyMessage, accepted);
    if (!accepted)
        QCOMPARE(reply.errorName(), u"NVWin32.DDE.Refused"_qs);
    QCOMPARE(request(item), accepted ? u"poked"_qs : before);
}

// An asynchronous execute is accepted at once; one whose script fails later leaves its error in
// ErrNum and ErrMsg, one that succeeds leaves "0".
void TestDde::asyncExecute_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("errNum");
    QTest::addColumn<QString>("errMsg");
    QTest::newRow("fails later") << u"[throw 5] &"_qs << u"5"_qs << rt::errorText(5);
    QTest::newRow("succeeds") << u"[Norvalis.Common.SetItem('async', 'ran')]&  "_qs << u"0"_qs
                              << QString();
}

void TestDde::asyncExecute()
{
    QFETCH(QString, command);
    QSignalSpy finished(gScriptHost.data(), &script::ScriptHost::runFinished);
    QCOMPARE(callDde(u"Execute"_qs, { u"SYSTEM"_qs, command }).type(), QDBusMessage::ReplyMessage);
    QVERIFY(!finished.isEmpty() || finished.wait(10000));
    QTEST(request(u"ErrNum"_qs), "errNum");
    QTEST(request(u"ErrMsg"_qs), "errMsg");
}

QTEST_MAIN(TestDde)
#include "tst_dde.moc"
