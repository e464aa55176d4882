// Start-up and shutdown: the command line, the splash timing, the connection-wizard offer, the
// script bridge, the order of start-up in each mode, and, with the real program in further
// processes, the single-instance hand-over and the whole shutdown.

#include "app/tst_startup_env.h"

#include "app/common.h"
#include "app/mdiparnt.h"
#include "app/profile.h"
#include "app/splash.h"
#include "automation/bridge.h"
#include "automation/runningobject.h"
#include "common/busclient.h"
#include "dde/ddetopic.h"
#include "runtime/screen.h"
#include "runtime/timer.h"
#include "script/scripthost.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <QStandardPaths>
#include <QtTest>
#include <functional>

namespace {

using busclient::busMessage;
using busclient::nameHasOwner;

const QString kBusName = QStringLiteral("NVWin32.Norvalis");
const QString kWizardPrompt
    = QStringLiteral("Do you want to use the connection wizard to create a new session?");

QString iniFile()
{
    return Files::FindProgramFile(gAppDir, QStringLiteral("NVWIN.INI"));
}

void setWizard(const QString &command)
{
    Profile::PutIniString(
        QStringLiteral("Connection"), QStringLiteral("Wizard32"), command, QString(), iniFile());
}

// The main menu file NVWIN.INI names ("" for the default).
void setMenuFile(const QString &name)
{
    Profile::PutIniString(u"Options"_qs, u"MenuFileName"_qs, name, QString(), iniFile());
}

void setSingleInstance(const QString &value)
{
    Profile::PutRegString(
        Profile::HKCU, SettingsKey(QStringLiteral("SingleInstance")), value, QString());
}

// A call to the program running in another process: a plain blocking call (-1: the bus's
// default time-out of 25 s).
QDBusMessage callProgram(const QString &path, const QString &interface, const QString &member,
    const QVariantList &arguments = {}, int timeout = -1)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kBusName, path, interface, member);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, timeout);
}

QDBusMessage setProgramProperty(const QString &name, const QVariant &value)
{
    return callProgram(u"/Norvalis"_qs, u"org.freedesktop.DBus.Properties"_qs, u"Set"_qs,
        { kBusName, name, QVariant::fromValue(QDBusVariant(value)) }, 10000);
}

// A reply as one text: "ok", or the error's name and text.
// The processes below pid (its children, theirs, ...) whose command is name.
QList<qint64> descendantsNamed(qint64 pid, const QByteArray &name)
{
    QList<qint64> found;
    QList<qint64> parents { pid };
    const QStringList all = QDir(u"/proc"_qs).entryList(QDir::Dirs);
    while (!parents.isEmpty()) {
        const qint64 parent = parents.takeFirst();
        for (const QString &entry : all) {
            QFile stat(u"/proc/"_qs + entry + u"/stat"_qs);
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // pid (comm) state ppid ...
            const QByteArray line = stat.readAll();
            const qsizetype close = line.lastIndexOf(')');
            const QList<QByteArray> rest = line.mid(close + 2).split(' ');
            if (close < 0 || rest.size() < 2 || rest.at(1).toLongLong() != parent)
                continue;
            parents << entry.toLongLong();
            if (line.mid(line.indexOf('(') + 1, close - line.indexOf('(') - 1) == name)
                found << entry.toLongLong();
        }
    }
    return found;
}

// False once the process has gone (or is a zombie waiting for its parent).
bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

// What a download leaves in its folder while it runs: the receiving folders and XModem's file.
QStringList partialFiles(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = QFileInfo(it.next()).fileName();
        if (name.startsWith(u".receiving-"_qs) || name == u"xmodem.part"_qs)
            found << name;
    }
    return found;
}

QString replyText(const QDBusMessage &reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage)
        return reply.errorName() + u' ' + reply.errorMessage();
    return reply.type() == QDBusMessage::ReplyMessage ? u"ok"_qs : u"no reply"_qs;
}

// A running instance that answers on the bus but does not take the activation (as one whose main
// window is already gone at shutdown).
class RefusingInstance : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.Norvalis")
    Q_PROPERTY(rt::Int WindowState READ WindowState WRITE setWindowState)

public:
    rt::Int WindowState() const { return rt::vbMinimized; }
    void setWindowState(rt::Int state) { Q_UNUSED(state); }

public slots:
    void Activate() { rt::raise(91); }
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commandLine_data();
    void commandLine();
    void commandLineFileName_data();
    void commandLineFileName();
    void splashInterval_data();
    void splashInterval();
    void installDefaultFiles();
    void wizardOffer_data();
    void wizardOffer();
    void topicName_data();
    void topicName();
    void ddeExecScript_data();
    void ddeExecScript();

    void startOrder_data();
    void startOrder();
    void splashTimerArmed_data();
    void splashTimerArmed();
    void missingMenuNoticeAfterStart();
    void embeddingClassFactory();
    void terminateTwice();

    void singleInstance_data();
    void singleInstance();
    void refusedHandOver();
    void wholeShutdown_data();
    void wholeShutdown();
    void endedBySignal_data();
    void endedBySignal();
    void clientErrorsAnswerAtOnce_data();
    void clientErrorsAnswerAtOnce();
    void badMenuFileNameHoldsNoStart();
    void terminateWithMessageOpen();
    void runawayScriptAnswered();

private:
    QProcess *makeChild(const QStringList &arguments);
    QProcess *startChild(const QStringList &arguments);
    // Starts the program and waits until it owns the bus name.
    QProcess *startOnBus(const QStringList &arguments);
    // Terminates the program through the bus and waits for its end with status 0.
    void terminate(QProcess *program);

    StartupEnvironment m_env;
    QStringList m_messages; // prompts the message box was asked to show
    rt::Int m_answer = 7; // No
    QStringList m_errors; // reports of the error reporter
    QStringList m_started; // programs the wizard offer started
    std::function<void()> m_whileAsked; // runs while the message box is open
    double m_clock = 0;
};

void TestStartup::initTestCase()
{
    m_env.setUp();
    installTestHooks(m_errors);
    frmMsgBox::setAnswerHook([this](const QString &prompt, rt::Int flags) {
        m_messages.append(prompt + QStringLiteral(" | ") + QString::number(flags));
        if (m_whileAsked)
            m_whileAsked();
        return m_answer;
    });
    Nvmain::SetProgramStarter([this](const QString &command) {
        m_started.append(command);
        return true;
    });
    Nvmain::SetClock([this] { return m_clock; });
}

void TestStartup::init()
{
    m_messages.clear();
    m_errors.clear();
    m_started.clear();
    m_answer = 7;
    m_whileAsked = nullptr;
    m_clock = 1000;
    gSessionCreated = false;
    gStandalone = true;
}

void TestStartup::cleanup()
{
    endProgram();
    setWizard(QString());
    setSingleInstance(QStringLiteral("1"));
    setMenuFile(QString());
    Profile::DeleteRegKey(1, SettingsKey(u"RecentFiles"_qs));
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
}

void TestStartup::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("standalone");
    QTest::addColumn<QString>("commandLine");

    QTest::newRow("none") << QStringList() << true << QString();
    QTest::newRow("file") << QStringList { u"host.nvcf"_qs } << true << u"host.nvcf"_qs;
    QTest::newRow("blank in file, more words") << QStringList { u"/tmp/my hosts/a.nvcf"_qs, u"x"_qs,
        u"y"_qs } << true << u"\"/tmp/my hosts/a.nvcf\" x y"_qs;
    QTest::newRow("automation") << QStringList { u"-Embedding"_qs } << false << u"-Embedding"_qs;
    QTest::newRow("automation, any case")
        << QStringList { u"-embedding"_qs } << false << u"-embedding"_qs;
}

void TestStartup::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, standalone);
    Nvmain::SetArguments(arguments);
    QCOMPARE(gStandalone, standalone);
    QTEST(Nvmain::CommandLine(), "commandLine");
    if (!arguments.isEmpty() && gStandalone)
        QCOMPARE(Nvmain::CommandLineFileName(Nvmain::CommandLine()), arguments.first());
}

void TestStartup::commandLineFileName_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("quoted path with a blank, then a word")
        << u"\"/home/u/my hosts/a.nvcf\" more"_qs << u"/home/u/my hosts/a.nvcf"_qs;
    QTest::newRow("unquoted: the first word only")
        << u"/home/u/my hosts/a.nvcf"_qs << u"/home/u/my"_qs;
    QTest::newRow("one word") << u"host"_qs << u"host"_qs;
    QTest::newRow("empty") << QString() << QString();
}

void TestStartup::commandLineFileName()
{
    QFETCH(QString, commandLine);
    QTEST(Nvmain::CommandLineFileName(commandLine), "fileName");
}

void TestStartup::splashInterval_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("now");
    QTest::addColumn<int>("interval");

    QTest::newRow("shown at once") << 100.0 << 100.0 << 4000;
    QTest::newRow("after 1.25 s") << 100.0 << 101.25 << 2750;
    QTest::newRow("after exactly 3 s") << 100.0 << 103.0 << 1000;
    QTest::newRow("more than 3 s: at least 1 s more") << 100.0 << 110.0 << 1000;
    QTest::newRow("midnight passed") << 86399.5 << 0.5 << 4000;
}

void TestStartup::splashInterval()
{
    QFETCH(double, start);
    QFETCH(double, now);
    QTEST(int(Nvmain::SplashInterval(start, now)), "interval");
}

void TestStartup::installDefaultFiles()
{
    QTemporaryDir source;
    QTemporaryDir target;
    writeBytes(source.filePath(u"NVWIN.INI"_qs), "[Options]\n");
    writeBytes(source.filePath(u"dfltmain.mnu"_qs), "installed");
    writeBytes(source.filePath(u"stdsess.mnu"_qs), "installed");
    // The user's own files stay as they are, whatever their case.
    writeBytes(target.filePath(u"nvwin.ini"_qs), "[Mine]\n");
    writeBytes(target.filePath(u"dfltmain.mnu"_qs), "mine");
    const QString dir = target.path() + u'/';

    Nvmain::InstallDefaultFiles(dir, { u"/nonexistent/"_qs, source.path() + u'/' });

    const auto contents = [&](const QString &name) { return readBytes(dir + name); };
    QCOMPARE(contents(u"nvwin.ini"_qs), QByteArray("[Mine]\n"));
    QVERIFY(!QFile::exists(dir + u"NVWIN.INI"_qs));
    QCOMPARE(contents(u"dfltmain.mnu"_qs), QByteArray("mine"));
    QCOMPARE(contents(u"stdsess.mnu"_qs), QByteArray("installed"));
    QVERIFY(!QFile::exists(dir + u"dfltsess.mnu"_qs));
    QCOMPARE(QDir(dir).entryList(QDir::Files).size(), 3);
}

void TestStartup::wizardOffer_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QStringList>("started");

    QTest::newRow("no wizard") << QString() << 6 << false << QStringList();
    QTest::newRow("yes") << u"/opt/wizard --new"_qs << 6 << true
                         << QStringList { u"/opt/wizard --new"_qs };
    QTest::newRow("no") << u"/opt/wizard"_qs << 7 << true << QStringList();
}

void TestStartup::wizardOffer()
{
    QFETCH(QString, command);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    setWizard(command);
    m_answer = rt::Int(answer);
    Nvmain::OfferConnectionWizard();
    const QStringList expected
        = asked ? QStringList { kWizardPrompt + QStringLiteral(" | 36") } : QStringList();
    QCOMPARE(m_messages, expected);
    QTEST(m_started, "started");
}

void TestStartup::topicName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("sessionNo");
    QTest::addColumn<QString>("topic");

    QTest::newRow("file with two dots") << u"/srv/hosts/host.net.nvcf"_qs << 3 << u"host"_qs;
    QTest::newRow("file without extension") << u"/srv/plain"_qs << 3 << u"plain"_qs;
    QTest::newRow("no file") << QString() << 7 << u"Session_7"_qs;
}

void TestStartup::topicName()
{
    QFETCH(QString, fileName);
    QFETCH(int, sessionNo);
    QTEST(Nvmain::MakeTopicName(fileName, rt::Int(sessionNo)), "topic");
}

void TestStartup::ddeExecScript_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("async");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("errNum");

    QTest::newRow("one group") << u"[ran = 'x']"_qs << false << true << 0;
    QTest::newRow("two groups") << u"[ran = 'x'][ran += 'y']"_qs << false << true << 0;
    QTest::newRow("trailing &") << u"[ran = 'x']&"_qs << true << true << 0;
    QTest::newRow("& then blanks") << u"[ran = 'x']&   "_qs << true << true << 0;
    QTest::newRow("error 5") << u"[throw 5]"_qs << false << false << 5;
}

void TestStartup::ddeExecScript()
{
    QFETCH(QString, command);
    QFETCH(bool, async);
    QFETCH(int, errNum);
    script::ScriptHost host;
    QPointer<script::ScriptHost> previous = gScriptHost;
    gScriptHost = &host;
    host.engine().globalObject().setProperty(u"ran"_qs, QString());
    QSignalSpy finished(&host, &script::ScriptHost::runFinished);

    rt::Long number = -1;
    QString text = u"old"_qs;
    const bool ok = Nvmain::DDEExecScript(command, u"0"_qs, number, text);
    gScriptHost = previous;

    QVERIFY2(number == errNum, qPrintable(text));
    QTEST(ok, "ok");
    QCOMPARE(text, errNum ? rt::errorText(errNum) : QString());
    const auto ran = [&] { return host.engine().globalObject().property(u"ran"_qs).toString(); };
    if (async) {
        QVERIFY(ran().isEmpty()); // not run yet
        QVERIFY(finished.wait());
    }
    if (ok)
        QVERIFY(ran().startsWith(u'x'));
}

// Start-up in each mode: which windows it shows, whether it makes the application object, what
// it does with the file on the command line and whether it offers the connection wizard.
void TestStartup::startOrder_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file"); // written to the home directory when not empty
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("splash");
    QTest::addColumn<bool>("application");
    QTest::addColumn<int>("windowState");
    QTest::addColumn<bool>("wizardOffered");
    QTest::addColumn<QString>("scriptResult");

    const QByteArray script = "var n = 'ran';\nNorvalis.Common.SetItem('script', n);\n";
    QTest::newRow("standalone") << QStringList() << QString() << QByteArray() << true << true << 0
                                << true << QString();
    QTest::newRow("automation") << QStringList { u"-Embedding"_qs } << QString() << QByteArray()
                                << false << false << 1 << false << QString();
    QTest::newRow("script file") << QStringList { u"start.js"_qs } << u"start.js"_qs << script
                                 << true << true << 0 << true << u"ran"_qs;
    QTest::newRow("script named without extension, not found")
        << QStringList { u"start"_qs } << u"start.js"_qs << script << true << true << 0 << true
        << QString();
    // The layout enters the recent-file list: a user who has one is not offered the wizard.
    QTest::newRow("layout file") << QStringList { u"desk.nvly"_qs } << u"desk.nvly"_qs
                                 << QByteArray("[Norvalis Main]\nWindowState=0\n") << true << true
                                 << 0 << false << QString();
    QTest::newRow("name that does not resolve")
        << QStringList { u"nosuch"_qs, u"more"_qs } << QString() << QByteArray() << true << true
        << 0 << true << QString();
}

void TestStartup::startOrder()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    QFETCH(bool, application);
    QFETCH(QString, scriptResult);
    QFETCH(QByteArray, contents);
    QFETCH(bool, wizardOffered);
    if (!file.isEmpty())
        writeBytes(m_env.homeDir() + u'/' + file, contents);
    setWizard(u"/opt/wizard"_qs);

    startProgram(arguments);

    QVERIFY(!Nvmain::HandedOver());
    QVERIFY(frmDDE::instance().isLoaded());
    QVERIFY(gSystemTopic);
    QVERIFY(frmMdiParent::instance().isVisible());
    QTEST(frmMdiParent::instance().windowState() + 0, "windowState");
    QTEST(frmSplash::instance().isVisible(), "splash");
    QCOMPARE(!gApp.isNull(), application);
    QVERIFY(gActivationList);
    QVERIFY(gScriptHost);
    QCOMPARE(rt::mousePointer(), rt::Int(rt::vbDefault));
    QCOMPARE(!m_messages.isEmpty(), wizardOffered);
    if (application) {
        QVERIFY(nameHasOwner(kBusName));
        QVERIFY(gROTCookie != 0);
    }
    if (!scriptResult.isEmpty())
        QTRY_COMPARE(gApp->ClsCommon().Common_Item(u"script"_qs).toString(), scriptResult);
    else if (gApp)
        QCOMPARE(gApp->ClsCommon().Common_Item(u"script"_qs), QVariant());
}

void TestStartup::splashTimerArmed_data()
{
    QTest::addColumn<double>("elapsed"); // from the recorded start to the main window shown
    QTest::addColumn<int>("interval");

    QTest::newRow("quick start") << 0.5 << 3500;
    QTest::newRow("slow start") << 7.0 << 1000;
}

// The splash closes 4 s after the start and at least 1 s after the main window was shown.
void TestStartup::splashTimerArmed()
{
    QFETCH(double, elapsed);
    int reads = 0;
    Nvmain::SetClock([&] { return ++reads == 1 ? 500.0 : 500.0 + elapsed; });
    startProgram({});
    Nvmain::SetClock([this] { return m_clock; });
    QVERIFY(frmSplash::instance().isVisible());
    rt::Timer *timer = frmSplash::instance().Timer;
    QTEST(int(timer->interval()), "interval");
    QVERIFY(timer->enabled());
}

// A main menu file that cannot be found holds no start-up: the program is on the bus and the
// splash timer armed before the message about it shows, from the event loop.
void TestStartup::missingMenuNoticeAfterStart()
{
    const QString missing = m_env.path("nosuch") + u"/missing.mnu"_qs;
    setMenuFile(missing);
    bool startedWhenAsked = false;
    m_whileAsked = [&] {
        startedWhenAsked = nameHasOwner(kBusName) && frmSplash::instance().isLoaded()
            && frmSplash::instance().Timer->enabled();
    };
    startProgram({});

    QVERIFY(m_messages.isEmpty());
    QTRY_COMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.value(0).contains(missing));
    QVERIFY(startedWhenAsked);
    QVERIFY(frmMdiParent::instance().isVisible());
}

// A process started by an automation client makes the application object only when the client
// asks the class factory for it.
void TestStartup::embeddingClassFactory()
{
    startProgram({ u"-Embedding"_qs });
    QVERIFY(!gApp);
    QVERIFY(nameHasOwner(kBusName));

    const QDBusMessage reply = busMessage(
        u"/"_qs, u"NVWin32.ClassFactory"_qs, u"CreateObject"_qs, { u"nvwin32.norvalis"_qs });
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reply.arguments().value(0).value<QDBusObjectPath>().path(), u"/Norvalis"_qs);
    QVERIFY(gApp);
    QVERIFY(gROTCookie != 0);

    const QDBusMessage state = busMessage(
        u"/Norvalis"_qs, busclient::Properties, u"Get"_qs, { kBusName, u"WindowState"_qs });
    QCOMPARE(state.arguments().value(0).value<QDBusVariant>().variant().toInt(), 1);
    QCOMPARE(busMessage(u"/Common"_qs, u"NVWin32.Common"_qs, u"Item"_qs, { u"none"_qs }).type(),
        QDBusMessage::ReplyMessage);
    QVERIFY(m_messages.isEmpty());
}

void TestStartup::terminateTwice()
{
    startProgram({});
    gApp->Terminate(1);
    gApp->Terminate(3);
    QCOMPARE(gTerminatePrompt, rt::Int(3));
    QVERIFY(gTerminating);
    QVERIFY(gCleanupTimer->enabled());
}

QProcess *TestStartup::makeChild(const QStringList &arguments)
{
    auto *process = new QProcess(this);
    process->setProgram(StartupEnvironment::executable());
    process->setArguments(arguments);
    process->setWorkingDirectory(m_env.homeDir());
    return process;
}

QProcess *TestStartup::startChild(const QStringList &arguments)
{
    QProcess *process = makeChild(arguments);
    process->start();
    return process;
}

// A second standalone start hands over to the running instance (this process) and ends, unless
// single-instance mode is off; a script is never handed over.
void TestStartup::singleInstance_data()
{
    QTest::addColumn<QString>("singleInstance");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("handedOver");

    const QByteArray script = "var m = 'second instance ran';\nconsole.log(m);\n"
                              "Norvalis.Terminate(0);\n";
    QTest::newRow("on, session file")
        << u"1"_qs << u"host.nvcf"_qs << QByteArray("[Norvalis]\nTermType=VT100\n") << true;
    QTest::newRow("on, script") << u"1"_qs << u"second.js"_qs << script << true;
    QTest::newRow("off") << u"0"_qs << u"second.js"_qs << script << false;
}

void TestStartup::singleInstance()
{
    QFETCH(QString, file);
    QFETCH(bool, handedOver);
    QFETCH(QString, singleInstance);
    QFETCH(QByteArray, contents);
    setSingleInstance(singleInstance);
    writeBytes(m_env.homeDir() + u'/' + file, contents);
    startProgram({});
    QVERIFY(nameHasOwner(kBusName));
    frmMdiParent::instance().setWindowState(rt::vbMinimized);

    QProcess *second = startChild({ file });
    QSignalSpy finished(second, &QProcess::finished);
    QVERIFY(finished.wait(60000));
    const QByteArray output = second->readAllStandardError();
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(output.contains("second instance ran"), !handedOver);
    QCOMPARE(frmMdiParent::instance().windowState(),
        handedOver ? rt::Int(rt::vbNormal) : rt::Int(rt::vbMinimized));
    QVERIFY(gApp); // this instance goes on
}

// A running instance that refuses the activation cannot take the file either: the second start
// goes on by itself instead of ending with nothing done.
void TestStartup::refusedHandOver()
{
    RefusingInstance running;
    QVERIFY(automation::Bridge::instance().exportObject(&running, u"/Norvalis"_qs));
    QVERIFY(automation::ownBusName(kBusName));
    writeBytes(m_env.homeDir() + u"/second.js"_qs,
        "var m = 'second instance ran';\nconsole.log(m);\nNorvalis.Terminate(0);\n");

    QProcess *second = startChild({ u"second.js"_qs });
    QSignalSpy finished(second, &QProcess::finished);
    const bool ended = finished.wait(60000);
    automation::releaseBusName(kBusName);
    QVERIFY(ended);
    QCOMPARE(second->exitCode(), 0);
    const QByteArray said = second->readAllStandardError();
    QVERIFY(said.contains("second instance ran"));
    // It owns no bus name, and says why.
    QVERIFY2(said.contains("owns the bus name NVWin32.Norvalis: this one runs alone"),
        said.constData());
}

// The real program, started alone: after Terminate the clean-up passes run, the bus name is
// released and the process ends with status 0.
void TestStartup::wholeShutdown_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("standalone") << QStringList();
    QTest::newRow("automation") << QStringList { u"-Embedding"_qs };
}

void TestStartup::wholeShutdown()
{
    QFETCH(QStringList, arguments);
    QProcess *program = startOnBus(arguments);
    QVERIFY(nameHasOwner(kBusName));
    if (arguments.contains(u"-Embedding"_qs)) {
        QCOMPARE(callProgram(u"/"_qs, u"NVWin32.ClassFactory"_qs, u"CreateObject"_qs, { kBusName })
                     .arguments()
                     .value(0)
                     .value<QDBusObjectPath>()
                     .path(),
            u"/Norvalis"_qs);
    }
    const QDBusMessage read = callProgram(u"/Norvalis"_qs, u"org.freedesktop.DBus.Properties"_qs,
        u"Get"_qs, { kBusName, u"ProductName"_qs });
    QCOMPARE(
        read.arguments().value(0).value<QDBusVariant>().variant().toString(), u"NORVALIS/WIN32"_qs);
    terminate(program);
}

void TestStartup::endedBySignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("downloading"); // a session receives a file meanwhile
    QTest::addColumn<int>("protocol"); // ... by this protocol (sx on the host for XModem)
    QTest::newRow("SIGTERM") << int(SIGTERM) << false << 0;
    QTest::newRow("SIGINT") << int(SIGINT) << false << 0;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false << 0;
    QTest::newRow("SIGTERM during a download") << int(SIGTERM) << true << 0;
    QTest::newRow("SIGTERM during an XModem download") << int(SIGTERM) << true << 2;
}

// A signal that asks the program to end ends it as Terminate without a prompt does: a normal
// end, its main window's placement written, a running transfer no hindrance.
void TestStartup::endedBySignal()
{
    QFETCH(int, signal);
    QFETCH(bool, downloading);
    QFETCH(int, protocol);
    const bool xmodem = protocol == 2;
    if (xmodem && (QStandardPaths::findExecutable(u"sx"_qs).isEmpty()
                      || QStandardPaths::findExecutable(u"rx"_qs).isEmpty()))
        QSKIP("lrzsz's sx and rx are not installed");
    const QString placement = SettingsKey(u"MainWindowState"_qs);
    Profile::DeleteRegKey(1, placement);
    QProcess *program = startOnBus({});
    QVERIFY(nameHasOwner(kBusName));
    QTcpServer host;
    QTimer feed;
    QProcess sender;
    if (downloading) {
        QVERIFY(host.listen(QHostAddress::LocalHost));
        const QString file = m_env.homeDir() + u"/busy.nvcf"_qs;
        writeBytes(file,
            u"[Norvalis]\nTermType=9\n[Connection]\nDevice=2\nHostName=127.0.0.1\nHostPort=%1\n"_qs
                .arg(host.serverPort())
                .toUtf8());
        const QDBusMessage sessions = callProgram(u"/Norvalis"_qs,
            u"org.freedesktop.DBus.Properties"_qs, u"Get"_qs, { kBusName, u"Sessions"_qs }, 10000);
        const QDBusMessage added = callProgram(sessions.arguments()
                                                   .value(0)
                                                   .value<QDBusVariant>()
                                                   .variant()
                                                   .value<QDBusObjectPath>()
                                                   .path(),
            u"NVWin32.Sessions"_qs, u"Add"_qs, { file }, 10000);
        const QString session = added.arguments().value(0).value<QDBusObjectPath>().path();
        QVERIFY2(!session.isEmpty(), qPrintable(replyText(added)));
        QVERIFY(host.waitForNewConnection(20000));
        // The host keeps sending: the download never ends by itself.
        QTcpSocket *peer = host.nextPendingConnection();
        if (xmodem) {
            // The host's sx sends a file far longer than the test lasts.
            sender.setWorkingDirectory(m_env.homeDir());
            writeBytes(m_env.homeDir() + u"/long.bin"_qs, QByteArray(64 << 20, 'x'));
            connect(peer, &QTcpSocket::readyRead, &sender, [&sender, peer] { sender.write(peer->readAll()); });
            connect(&sender, &QProcess::readyReadStandardOutput, peer,
                [&sender, peer] { peer->write(sender.readAllStandardOutput()); });
            sender.start(u"sx"_qs, { u"-q"_qs, u"-b"_qs, u"long.bin"_qs });
            QVERIFY(sender.waitForStarted());
        } else {
            connect(&feed, &QTimer::timeout, peer, [peer] { peer->write("data "); });
            feed.start(100);
        }
        const QString target = m_env.homeDir() + u"/down.txt"_qs;
        QFile::remove(target);
        // Once the link is up the download starts (a second try finds it running).
        QString started;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (started = replyText(callProgram(session, u"NVWin32._clsSession"_qs, u"Download"_qs,
                 { target, QVariant::fromValue(rt::Int(protocol)), QVariant::fromValue(rt::Int(0)),
                     QVariant::fromValue(rt::Int(1)), QVariant::fromValue(rt::Int(0)) },
                 10000)))
                    == u"ok"_qs
                || started.startsWith(u"NVWin32.Error.E30002"_qs),
            qPrintable(started), 20000);
    }
    QList<qint64> receivers;
    if (xmodem) {
        // The receiver runs and has its partial file.
        QTRY_VERIFY_WITH_TIMEOUT(
            !(receivers = descendantsNamed(program->processId(), "rx")).isEmpty(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!partialFiles(m_env.homeDir()).isEmpty(), 20000);
    }
    QSignalSpy finished(program, &QProcess::finished);
    QCOMPARE(::kill(pid_t(program->processId()), signal), 0);
    QVERIFY(finished.count() > 0 || finished.wait(30000));
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);
    QVERIFY(!Profile::GetRegString(1, placement, QString()).isEmpty());
    for (qint64 receiver : receivers)
        QTRY_VERIFY2(!isRunning(receiver), "the transfer program outlived the program");
    QCOMPARE(partialFiles(m_env.homeDir()), QStringList());
    if (sender.state() != QProcess::NotRunning) {
        sender.kill();
        sender.waitForFinished();
    }
    QTRY_VERIFY(!nameHasOwner(kBusName));
}

QProcess *TestStartup::startOnBus(const QStringList &arguments)
{
    QDBusServiceWatcher watcher(kBusName, QDBusConnection::sessionBus());
    QSignalSpy registered(&watcher, &QDBusServiceWatcher::serviceRegistered);
    QProcess *program = startChild(arguments);
    if (!registered.wait(60000))
        qWarning("the program did not come onto the bus: %s",
            program->readAllStandardError().constData());
    return program;
}

void TestStartup::terminate(QProcess *program)
{
    QSignalSpy finished(program, &QProcess::finished);
    const QDBusMessage reply = callProgram(
        u"/Norvalis"_qs, kBusName, u"Terminate"_qs, { QVariant::fromValue(rt::Int(0)) }, 10000);
    QCOMPARE(replyText(reply), u"ok"_qs);
    QVERIFY(finished.count() > 0 || finished.wait(30000));
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);
    QTRY_VERIFY(!nameHasOwner(kBusName));
}

// With nobody to answer (offscreen), a client's bad value is answered at once: a message box
// takes its default answer, an error goes back as the call's error (logged, no dialog).
void TestStartup::clientErrorsAnswerAtOnce_data()
{
    QTest::addColumn<QString>("member"); // a property to set, or a method
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("procedure"); // the log's procedure line, "" for none

    QTest::newRow("missing menu file") << "MenuFileName" << QVariant(u"nosuch.mnu"_qs) << "ok"
                                       << "";
    QTest::newRow("Arrange(99)") << "Arrange" << QVariant::fromValue(rt::Int(99))
                                 << "NVWin32.Error.E5 Invalid procedure call or argument"
                                 << "Arrange (norvalis)";
    QTest::newRow("Left out of range")
        << "Left" << QVariant::fromValue(rt::Long(2147483647)) << "NVWin32.Error.E6 Overflow"
        << "Let Left (norvalis)";
    QTest::newRow("Width while minimized")
        << "Width" << QVariant::fromValue(rt::Long(500))
        << "NVWin32.Error.E384 A form can't be moved or sized while minimized or maximized"
        << "Let Width (norvalis)";
}

void TestStartup::clientErrorsAnswerAtOnce()
{
    QFETCH(QString, member);
    QFETCH(QVariant, value);
    QFETCH(QString, answer);
    QFETCH(QString, procedure);
    const QString logFile = m_env.appDir() + u"norvalis.log"_qs; // the program's error log
    QFile::remove(logFile);
    QProcess *program = startOnBus({ u"-Embedding"_qs });
    QCOMPARE(
        callProgram(u"/"_qs, u"NVWin32.ClassFactory"_qs, u"CreateObject"_qs, { kBusName }).type(),
        QDBusMessage::ReplyMessage);

    const QDBusMessage reply = member == u"Arrange"_qs
        ? callProgram(u"/Norvalis"_qs, kBusName, member, { value }, 10000)
        : setProgramProperty(member, value);
    QCOMPARE(replyText(reply), answer);
    if (reply.type() == QDBusMessage::ErrorMessage)
        QCOMPARE(reply.signature(), u"s"_qs);
    terminate(program);
    if (!procedure.isEmpty()) {
        QFile file(logFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray log = file.readAll();
        QVERIFY(log.contains("Procedure:\t" + procedure.toUtf8()));
        QVERIFY(log.contains("Action:\tFail (automatic: an automation call)"));
    }
}

// A bad main menu file stored earlier (a client set it) is read again at the next start, which
// still comes onto the bus: the message about it waits for the event loop, and nobody answers it
// here.
void TestStartup::badMenuFileNameHoldsNoStart()
{
    setMenuFile(u"nosuch.mnu"_qs);
    QProcess *program = startOnBus({});
    QVERIFY2(nameHasOwner(kBusName), program->readAllStandardError().constData());
    terminate(program);
}

// With a display, a message box open in the program does not keep Terminate from ending it: the
// box closes as if cancelled.
void TestStartup::terminateWithMessageOpen()
{
    const QString xvfb = QStandardPaths::findExecutable(u"xvfb-run"_qs);
    if (xvfb.isEmpty())
        QSKIP("xvfb-run is not installed: no display to open a message box on");
    setMenuFile(u"nosuch.mnu"_qs);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_qs, u"xcb"_qs);
    environment.insert(u"QT_LOGGING_RULES"_qs, u"norvalis.app.debug=true"_qs);
    QProcess *program = makeChild({});
    program->setProcessEnvironment(environment);
    program->setProgram(xvfb);
    program->setArguments({ u"-a"_qs, StartupEnvironment::executable() });
    QByteArray output;
    connect(program, &QProcess::readyReadStandardError, this,
        [&] { output += program->readAllStandardError(); });
    program->start();
    QTRY_VERIFY_WITH_TIMEOUT(output.contains("message box shown: The main menu file"), 60000);
    QVERIFY(nameHasOwner(kBusName));
    terminate(program);
    QVERIFY2(output.contains("closing the modal window"), output.constData());
}

// A script that never ends is stopped before the client's default time-out: the client gets the
// execute's refusal, and the topic the error.
void TestStartup::runawayScriptAnswered()
{
    QProcess *program = startOnBus({});
    QElapsedTimer clock;
    clock.start();
    const QDBusMessage reply = callProgram(
        u"/DDE"_qs, u"NVWin32.DDE"_qs, u"Execute"_qs, { u"SYSTEM"_qs, u"[for (;;) {}]"_qs });
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(reply.errorName(), u"NVWin32.DDE.Refused"_qs);
    qInfo("runaway script answered after %lld ms", elapsed);
    QVERIFY(elapsed < 25000);
    const QDBusMessage errNum
        = callProgram(u"/DDE"_qs, u"NVWin32.DDE"_qs, u"Request"_qs, { u"SYSTEM"_qs, u"ErrNum"_qs });
    QCOMPARE(errNum.arguments().value(0).toString(), QString::number(script::ErrInterrupted));
    terminate(program);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
