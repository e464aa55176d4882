// The terminal-emulator control against a fake host on a loopback TCP port: the Telnet link,
// data both ways, waits, captures, transfers, the host protocol and its events, printing,
// selection and copy, and the late-bound entry.

#include "common/testutil.h"
#include "emulator/answerbudget.h"
#include "emulator/block.h"
#include "emulator/dispatch.h"
#include "emulator/emulator.h"
#include "emulator/printerjob.h"
#include "emulator/screenview.h"
#include "platform/fakehost.h"
#include "platform/hayesmodem.h"
#include "runtime/errnum.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using emu::nvEmulator;

namespace {

constexpr int Tty = 0;
constexpr int Wyse50 = 5;
constexpr int Wyse60 = 6;
constexpr int Vt100 = 12;
constexpr int LinuxConsole = 16;

QByteArray request(emu::HostVerb verb, const QString &text = QString(), const QString &errNum = {},
    const QString &errMsg = QString(), bool async = false)
{
    emu::HostRequest r;
    r.verb = verb;
    r.text = text;
    r.errNum = errNum;
    r.errMsg = errMsg;
    r.async = async;
    return emu::HostProtocol::encode(r);
}

// Host text whose end is all a script can still read: lines of characters beyond ASCII, far
// more than the script input keeps, so that its oldest bytes go, often in the middle of a
// character.
QByteArray floodText()
{
    QByteArray text;
    for (int n = 0; text.size() < 8 * emu::ScriptInput::defaultLimit; ++n)
        text += "\xe2\x82\xac\xc3\xa9x\xe6\xbc\xa2 " + QByteArray::number(n) + "\r\n";
    return text;
}

} // namespace

class HayesModem;

class TestEmulator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void hostPalette_data();
    void hostPalette();

    void telnetDataBothWays();
    void loadingASessionFileConnects();
    void keysGoToTheHost();
    void waitFor_data();
    void waitFor();
    void waitForTimesOut();
    void waitIsBusyAndNests();
    void controlDeletedDuringWait();
    void controlDeletedByAHostRequest();
    void controlDeletedWhenATransferEnds();
    void readText_data();
    void readText();
    void capture_data();
    void capture();
    void captureNewFileRefusesExisting();
    void captureToClipboard();
    void hostTextEncoding_data();
    void hostTextEncoding();
    void asciiUpload_data();
    void asciiUpload();
    void longLineUpload_data();
    void longLineUpload();
    void asciiDownload();
    void transferErrors_data();
    void transferErrors();
    void hostProtocolEvents_data();
    void hostProtocolEvents();
    void serverRequest();
    void serverModeEndsWithTheLink();
    void extensionAnswer();
    void runawayExtensionIsShown();
    void hostDataSplitAnywhere_data();
    void hostDataSplitAnywhere();
    void disconnectAndReconnect();
    void noAnswerWhileTheHostDoesNotRead_data();
    void noAnswerWhileTheHostDoesNotRead();
    void newHostForgetsProgrammedKeys_data();
    void newHostForgetsProgrammedKeys();
    void newLinkReadsAfresh_data();
    void newLinkReadsAfresh();
    void vt100AnswersTheHost();
    void vt100PrintController();
    void printControllerSpellings_data();
    void printControllerSpellings();
    void hostPrintFlood_data();
    void hostPrintFlood();
    void ttyThroughTheControl();
    void selectionAndCopy();
    void screenMethods();
    void methodErrors_data();
    void methodErrors();
    void startupRaisesState();
    void invokeByName_data();
    void invokeByName();
    void dispatchTable();
    void historyPane();
    void historyWheel_data();
    void smallerThanScreen_data();
    void smallerThanScreen();
    void historyWheel();
    void mouseEvents();
    void alternateSink();
    void paste_data();
    void paste();
    void supplementaryInput_data();
    void supplementaryInput();
    void printerJobText_data();
    void printerJobText();
    void printScreenToPdf();
    void terminalResetKeepsTheLink();
    void dialThroughModem_data();
    void dialThroughModem();
    void modemAnswersCalls();
    void newCallReadsAfresh();
    void modemHangUpWaits_data();
    void modemHangUpWaits();
    void sshConnectsAfterLogin_data();
    void sshConnectsAfterLogin();
    void failedLinkNamesItsTarget_data();
    void failedLinkNamesItsTarget();
    void screenshot();

private:
    void connectControl(int termType = Tty, rt::Int device = emu::device::Telnet);
    void sendEarlyAndLate(const QByteArray &early, const QByteArray &late);
    // Settings that name another host, and Reset Connection: m_host is that host from now on.
    void changeHost();
    // The host sends bytes and then a line with `mark`, which the control has shown on return.
    void hostShows(const QByteArray &bytes, const QString &mark);
    // What the control sends its host for a key.
    QByteArray keySends(int key, Qt::KeyboardModifiers mods);
    void useModem(const HayesModem &modem);

    std::unique_ptr<FakeHost> m_host;
    std::unique_ptr<nvEmulator> m_control;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestEmulator::init()
{
    m_host = std::make_unique<FakeHost>();
    QVERIFY(m_host->isListening());
    m_control = std::make_unique<nvEmulator>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // Communication errors go to the window's handler only.
    connect(m_control.get(), &nvEmulator::CommError, this,
        [](rt::Long *code, const QString &, rt::Int) { *code = 0; });
}

void TestEmulator::cleanup()
{
    m_control.reset();
    m_host.reset();
    m_dir.reset();
}

void TestEmulator::hostPalette_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("index");
    QTest::addColumn<uint>("rgb"); // 0: the session's own colour
    QTest::newRow("entry 1") << LinuxConsole << QByteArray("\x1b]P1ff8000") << 1 << 0xff8000u;
    QTest::newRow("entry 10, capital hex digits")
        << LinuxConsole << QByteArray("\x1b]PAC0FFEE") << 10 << 0xc0ffeeu;
    QTest::newRow("others keep theirs") << LinuxConsole << QByteArray("\x1b]P1ff8000") << 2 << 0u;
    QTest::newRow("reset") << LinuxConsole << QByteArray("\x1b]P1ff8000\x1b]R") << 1 << 0u;
    QTest::newRow("cut short") << LinuxConsole << QByteArray("\x1b]P1ff80zz") << 1 << 0u;
    QTest::newRow("not a Linux console") << Vt100 << QByteArray("\x1b]P1ff8000") << 1 << 0u;
}

// The Linux console's palette sequences recolour the session's basic colours until the host
// puts them back, the terminal type changes or a new link comes up; the session's settings
// stay as they are.
void TestEmulator::hostPalette()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, input);
    QFETCH(int, index);
    QFETCH(uint, rgb);
    emu::Settings *settings = m_control->Settings();
    settings->setTermType(rt::Int(termType));
    const auto own = [&](int i) {
        const rt::Long bgr = settings->Palette(i);
        return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
    };
    const rt::Long before = settings->Palette(index);
    m_control->feedHostData(input);
    QCOMPARE(m_control->view()->color(index), rgb ? QColor(QRgb(rgb)) : own(index));
    QCOMPARE(settings->Palette(index), before);
    settings->setTermType(rt::Int(Tty));
    QCOMPARE(m_control->view()->color(index), own(index));
}

void TestEmulator::connectControl(int termType, rt::Int device)
{
    emu::Settings *settings = m_control->Settings();
    settings->setTermType(rt::Int(termType));
    settings->setDevice(device);
    settings->setHostName(QStringLiteral("127.0.0.1"));
    settings->setHostPort(m_host->portText());
    settings->setDefaultCaptureDir(m_dir->path());
    m_control->Reset(2);
    QVERIFY(m_host->waitForConnection());
    QTRY_COMPARE(m_control->Connected(), rt::True);
}

void TestEmulator::changeHost()
{
    auto next = std::make_unique<FakeHost>();
    QVERIFY(next->isListening());
    m_control->Settings()->setHostPort(next->portText());
    m_control->Reset(2);
    QVERIFY(next->waitForConnection());
    QTRY_COMPARE(m_control->Connected(), rt::True);
    m_host = std::move(next);
}

void TestEmulator::hostShows(const QByteArray &bytes, const QString &mark)
{
    m_host->send(bytes + "\r\n" + mark.toUtf8() + "\r\n");
    const auto shown = [&] {
        const emu::Screen &screen = *m_control->screen();
        for (int row = 0; row < screen.rows(); ++row) {
            if (screen.rowText(row).contains(mark))
                return true;
        }
        return false;
    };
    QTRY_VERIFY(shown());
}

QByteArray TestEmulator::keySends(int key, Qt::KeyboardModifiers mods)
{
    m_host->clearReceived();
    QKeyEvent press(QEvent::KeyPress, key, mods, QString());
    QApplication::sendEvent(m_control.get(), &press);
    // A plain key after it: what came before it is what the key sent.
    QTest::keyClick(m_control.get(), 'z');
    if (!m_host->waitForReceived("z"))
        return "(nothing)";
    return m_host->received().chopped(1);
}

// The host sends `early` now (the control has it when this returns) and `late` while the
// control waits.
void TestEmulator::sendEarlyAndLate(const QByteArray &early, const QByteArray &late)
{
    if (!early.isEmpty()) {
        QSignalSpy ready(m_control.get(), &nvEmulator::DataReady);
        m_host->send(early);
        QVERIFY(ready.wait());
    }
    if (!late.isEmpty())
        QTimer::singleShot(20, this, [this, late] { m_host->send(late); });
}

void TestEmulator::telnetDataBothWays()
{
    QSignalSpy ready(m_control.get(), &nvEmulator::DataReady);
    QSignalSpy location(m_control.get(), &nvEmulator::LocationChange);
    connectControl();
    m_host->send("hello\r\nw\xf6rld");
    QTRY_COMPARE(trimmedRight(m_control->screen()->rowText(1)), QStringLiteral("wörld"));
    QCOMPARE(trimmedRight(m_control->screen()->rowText(0)), QStringLiteral("hello"));
    QVERIFY(ready.count() >= 1);
    QCOMPARE(location.last(), (QVariantList { rt::Int(6), rt::Int(2), rt::Int(1) }));
    QVERIFY(m_control->BytesIn() >= 12);

    // Telnet sends a bare CR as CR NUL.
    m_control->Output(QStringLiteral("ls -l\r caf\u00e9 \u20ac"));
    QVERIFY(m_host->waitForReceived(QByteArray("ls -l\r\0 caf\xc3\xa9 \xe2\x82\xac", 17)));
    QVERIFY(m_control->BytesOut() >= 13);
    m_control->Break();
    QVERIFY(m_host->waitForReceived(FakeHost::iac(FakeHost::BRK)));
}

void TestEmulator::loadingASessionFileConnects()
{
    const QString file = m_dir->filePath(QStringLiteral("host.nvcf"));
    emu::Settings written;
    written.setTermType(Vt100);
    written.setDevice(emu::device::Telnet);
    written.setHostName(QStringLiteral("127.0.0.1"));
    written.setHostPort(m_host->portText());
    written.Save(file);
    QSignalSpy term(m_control.get(), &nvEmulator::TermChange);
    QSignalSpy device(m_control.get(), &nvEmulator::DeviceChange);
    m_control->Settings()->Load(file);
    QCOMPARE(term.count(), 1);
    QCOMPARE(term.first().at(0).value<rt::Int>(), rt::Int(Vt100));
    QCOMPARE(device.count(), 1);
    QVERIFY(m_host->waitForConnection());
    QTRY_COMPARE(m_control->Connected(), rt::True);
    // The same file again (the host asked for a reload): the link stays.
    m_control->Settings()->Load(file);
    QCoreApplication::processEvents();
    QCOMPARE(m_control->Connected(), rt::True);
    QCOMPARE(m_host->connectionCount(), 1);
}

void TestEmulator::keysGoToTheHost()
{
    connectControl(Vt100);
    QTest::keyClick(m_control.get(), Qt::Key_A);
    QTest::keyClick(m_control.get(), Qt::Key_Up);
    QTest::keyClick(m_control.get(), Qt::Key_Tab);
    QVERIFY(m_host->waitForReceived("a\x1b[A\t"));
    m_control->setFKeys(1, QStringLiteral("F2!"));
    QCOMPARE(m_control->KeyAssigned(113), rt::Int(1));
    QCOMPARE(m_control->KeyAssigned(2009), rt::Int(0));
    QTest::keyClick(m_control.get(), Qt::Key_F2);
    QVERIFY(m_host->waitForReceived("F2!"));

    QSignalSpy lock(m_control.get(), &nvEmulator::KeyboardLockChange);
    m_control->setLockKeyboard(rt::True);
    QCOMPARE(lock.count(), 1);
    m_host->clearReceived();
    QTest::keyClick(m_control.get(), Qt::Key_B);
    m_control->setLockKeyboard(rt::False);
    QTest::keyClick(m_control.get(), Qt::Key_C);
    QVERIFY(m_host->waitForReceived("c"));
    QVERIFY(!m_host->received().contains('b'));
}

void TestEmulator::waitFor_data()
{
    QTest::addColumn<QByteArray>("early");
    QTest::addColumn<QByteArray>("late");
    QTest::addColumn<int>("compare");
    QTest::addColumn<QVariantList>("targets");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("rest");

    QTest::newRow("already there") << QByteArray("login: ") << QByteArray() << 0
                                   << QVariantList { "password", "login" } << 2 << ": ";
    QTest::newRow("arrives later") << QByteArray() << QByteArray("Password:") << 0
                                   << QVariantList { "Password", "login" } << 1 << ":";
    QTest::newRow("split over two reads") << QByteArray("pass") << QByteArray("word? x") << 0
                                          << QVariantList { "password?" } << 1 << " x";
    QTest::newRow("earliest target wins") << QByteArray("b then a") << QByteArray() << 0
                                          << QVariantList { "a", "b" } << 2 << " then a";
    QTest::newRow("without case") << QByteArray("LOGIN:") << QByteArray() << 1
                                  << QVariantList { "login:" } << 1 << "";
    QTest::newRow("case matters") << QByteArray("LOGIN:") << QByteArray("login:") << 0
                                  << QVariantList { "login:" } << 1 << "";
    QTest::newRow("empty targets skipped") << QByteArray("$ ") << QByteArray() << 0
                                           << QVariantList { QVariant(), "", "#", "$" } << 4 << " ";
}

void TestEmulator::waitFor()
{
    QFETCH(QByteArray, early);
    QFETCH(QByteArray, late);
    QFETCH(int, compare);
    QFETCH(QVariantList, targets);
    QFETCH(int, result);
    QFETCH(QString, rest);
    connectControl();
    sendEarlyAndLate(early, late);
    QCOMPARE(int(m_control->WaitFor(rt::Int(compare), 10, targets)), result);
    QCOMPARE(m_control->ReadText(2, 100), rest);
}

void TestEmulator::waitForTimesOut()
{
    connectControl();
    m_host->send("nothing here");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(m_control->WaitFor(0, 1, { "prompt>" }), rt::Int(0));
    QVERIFY(clock.elapsed() >= 900);
    // Timeout 0 looks at what arrived and returns at once.
    QCOMPARE(m_control->WaitFor(0, 0, { "here" }), rt::Int(1));
    // No link: nothing can arrive, so no wait either.
    m_control->HangUp();
    clock.restart();
    QCOMPARE(m_control->WaitFor(0, 30, { "never" }), rt::Int(0));
    QVERIFY(clock.elapsed() < 5000);
}

// A wait started during another one runs to its own end (its own match or time), and the outer
// wait gets its own result however the inner one ended.
void TestEmulator::waitIsBusyAndNests()
{
    connectControl();
    QCOMPARE(m_control->Busy(), rt::Int(0));
    rt::Int busyDuring = 0;
    rt::Int inner = -1;
    QTimer::singleShot(20, this, [&] {
        busyDuring = m_control->Busy();
        m_host->send("outer inner");
        inner = m_control->WaitFor(0, 5, { "inner" });
    });
    QCOMPARE(m_control->WaitFor(0, 10, { "outer" }), rt::Int(1));
    QCOMPARE(busyDuring, rt::True);
    QCOMPARE(inner, rt::Int(1));
    QCOMPARE(m_control->Busy(), rt::Int(0));
    QCOMPARE(m_control->ReadText(2, 100), QString());
}

void TestEmulator::controlDeletedDuringWait()
{
    connectControl();
    nvEmulator *control = m_control.get();
    QTimer::singleShot(20, this, [this] { m_control.reset(); });
    QCOMPARE(control->WaitFor(0, 10, { "never" }), rt::Int(0));
    QVERIFY(!m_control);
}

void TestEmulator::controlDeletedByAHostRequest()
{
    connectControl();
    // A window that closes its session at once when the host asks for it: the request comes
    // from inside the channel's own signal, so the channel must outlive the control.
    QPointer<emu::Channel> channel = m_control->channel();
    bool channelSurvived = false;
    connect(m_control.get(), &nvEmulator::CloseSession, this, [&] {
        m_control.reset();
        channelSurvived = !channel.isNull();
    });
    m_host->send("bye" + request(emu::HostVerb::CloseSession) + "after");
    QTRY_VERIFY(!m_control);
    QVERIFY(channelSurvived);
    QTRY_VERIFY(channel.isNull()); // and goes from the event loop
    QTRY_VERIFY(!m_host->hasClient());
}

void TestEmulator::controlDeletedWhenATransferEnds()
{
    connectControl(Tty, emu::device::Tcp);
    m_control->Settings()->setAsciiDelay(20); // one line per tick: the upload is still running
    QByteArray lines;
    for (int i = 0; i < 100; ++i)
        lines += "line " + QByteArray::number(i) + "\n";
    writeBytes(m_dir->filePath("long.txt"), lines);
    // A window that closes as soon as the transfer is over.
    connect(m_control.get(), &nvEmulator::StatusChange, this, [this](const QString &text) {
        if (text == QLatin1String("Upload aborted"))
            m_control.reset();
    });
    QCOMPARE(m_control->Upload(m_dir->filePath("long.txt"), 0, 0), rt::Int(0));
    QVERIFY(m_host->waitForReceived("line 1\r"));
    m_host->closeClient();
    QTRY_VERIFY(!m_control);
}

void TestEmulator::readText_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("early");
    QTest::addColumn<QString>("between"); // after early has come: "reset" or "8bit"
    QTest::addColumn<QByteArray>("late");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("rest");

    QTest::newRow("count, all there") << 0 << 3 << QByteArray("abcdef") << QString()
                                      << QByteArray() << "abc"
                                      << "def";
    QTest::newRow("count, waits for the rest")
        << 0 << 6 << QByteArray("abc") << QString() << QByteArray("defgh") << "abcdef"
        << "gh";
    QTest::newRow("line with CR LF")
        << 1 << 80 << QByteArray("first\r\nsecond") << QString() << QByteArray() << "first"
        << "second";
    QTest::newRow("line arrives later")
        << 1 << 80 << QByteArray("par") << QString() << QByteArray("tial\nx") << "partial"
        << "x";
    QTest::newRow("line longer than asked")
        << 1 << 4 << QByteArray("abcdefgh\r") << QString() << QByteArray() << "abcd"
        << "efgh\r";
    QTest::newRow("no wait") << 2 << 80 << QByteArray("abc") << QString() << QByteArray()
                             << "abc"
                             << "";
    QTest::newRow("character split over two reads")
        << 0 << 5 << QByteArray("caf\xc3") << QString() << QByteArray("\xa9 x")
        << QStringLiteral("caf\u00e9 ") << "x";
    // What came before the change is read in the old encoding.
    QTest::newRow("encoding changes between reads")
        << 0 << 8 << QByteArray("caf\xc3\xa9 ") << "8bit" << QByteArray("\xc3\xa9!")
        << QStringLiteral("caf\u00e9 \u00c3\u00a9!") << "";
    QTest::newRow("reset forgets what came")
        << 0 << 3 << QByteArray("old\r\n") << "reset" << QByteArray("new!") << "new"
        << "!";
    QTest::newRow("reset forgets half a character")
        << 0 << 4 << QByteArray("old\xc3") << "reset" << QByteArray("\xa9new")
        << QStringLiteral("\u00a9new") << "";
    const QString flood = QString::fromUtf8(floodText()).right(emu::ScriptInput::defaultLimit);
    QTest::newRow("more than is kept") << 2 << 100 << floodText() << QString() << QByteArray()
                                       << flood.left(100) << flood.mid(100);
}

void TestEmulator::readText()
{
    QFETCH(int, mode);
    QFETCH(int, length);
    QFETCH(QByteArray, early);
    QFETCH(QString, between);
    QFETCH(QByteArray, late);
    QFETCH(QString, result);
    QFETCH(QString, rest);
    connectControl();
    const qint64 before = m_control->BytesIn();
    sendEarlyAndLate(early, late);
    QTRY_VERIFY(m_control->BytesIn() >= before + early.size()); // in as many reads as it takes
    if (between == QLatin1String("reset"))
        m_control->Reset(1);
    else if (between == QLatin1String("8bit"))
        m_control->Settings()->setAnsi8Bit(1);
    QCOMPARE(m_control->ReadText(rt::Int(mode), rt::Int(length), 10), result);
    QString left;
    QTRY_COMPARE(left += m_control->ReadText(2, 32767), rest);
}

void TestEmulator::capture_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("new file") << 0 << false << QByteArray("caf\xc3\xa9 line\r\n");
    QTest::newRow("overwrite") << 1 << true << QByteArray("caf\xc3\xa9 line\r\n");
    QTest::newRow("append") << 2 << true << QByteArray("old\ncaf\xc3\xa9 line\r\n");
    QTest::newRow("append to a new file") << 2 << false << QByteArray("caf\xc3\xa9 line\r\n");
}

void TestEmulator::capture()
{
    QFETCH(int, mode);
    QFETCH(bool, exists);
    QFETCH(QByteArray, expected);
    connectControl();
    const QString name = m_dir->filePath(QStringLiteral("capture.txt"));
    if (exists)
        writeBytes(name, "old\n");
    QSignalSpy change(m_control.get(), &nvEmulator::CaptureChange);
    // A relative name is taken in the capture directory.
    m_control->Capture(QStringLiteral("capture.txt"), 1, rt::Int(mode));
    QCOMPARE(m_control->CaptureSource(), rt::Int(1));
    QCOMPARE(m_control->CaptureMode(), rt::Int(mode));
    QCOMPARE(m_control->CaptureFileName(), name);
    QCOMPARE(m_control->Busy(), rt::Int(0));
    m_host->send("caf\xe9 line\r\n");
    QTRY_COMPARE(readBytes(name), expected);
    m_control->CaptureEnd();
    QCOMPARE(change.count(), 2);
    QCOMPARE(change.at(0).at(0).value<rt::Int>(), rt::True);
    QCOMPARE(change.at(1).at(0).value<rt::Int>(), rt::False);
    QCOMPARE(m_control->CaptureSource(), rt::Int(0));
    m_host->send("after\r\n");
    QTRY_VERIFY(m_control->screen()->rowText(1).startsWith(QLatin1String("after")));
    QCOMPARE(readBytes(name), expected);
}

void TestEmulator::captureNewFileRefusesExisting()
{
    const QString name = m_dir->filePath(QStringLiteral("exists.txt"));
    writeBytes(name, "keep me");
    QCOMPARE(errorOf([&] { m_control->Capture(name, 1, 0); }), rt::Long(58));
    QCOMPARE(readBytes(name), QByteArray("keep me"));
    QCOMPARE(m_control->CaptureSource(), rt::Int(0));
    QCOMPARE(errorOf([&] { m_control->Capture(m_dir->filePath("no/such/dir/x.txt"), 1, 1); }),
        rt::Long(76));
    QCOMPARE(errorOf([&] { m_control->Capture(name, 3, 1); }), emu::emuerror::BadCaptureSource);
    QCOMPARE(errorOf([&] { m_control->Capture(name, 1, 7); }), rt::Long(5));
    m_control->Capture(name, 1, 2);
    QCOMPARE(errorOf([&] { m_control->Capture(name, 1, 2); }), emu::emuerror::Busy);
}

void TestEmulator::captureToClipboard()
{
    connectControl();
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    m_control->Capture(QString(), 1, 3);
    m_host->send("to the clipboard");
    QTRY_VERIFY(m_control->screen()->rowText(0).startsWith(QLatin1String("to the")));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    m_control->CaptureEnd();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("to the clipboard"));
}

void TestEmulator::hostTextEncoding_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<int>("ansi8Bit");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("typed"); // what Output("é”") sends

    const QByteArray mixed("\xe2\x95\x90 caf\xc3\xa9 caf\xe9 \xe2\x80\x9dq\xe2\x80\x9d tail\r\n");
    const QString shown = QStringLiteral("\u2550 caf\u00e9 caf\u00e9 \u201dq\u201d tail");
    const QByteArray utf8("\xc3\xa9\xe2\x80\x9d");
    QTest::newRow("UTF-8 host, VT100") << Vt100 << 0 << mixed << shown << utf8;
    QTest::newRow("UTF-8 host, ANSI") << 9 << 0 << mixed << shown << utf8;
    QTest::newRow("UTF-8 host, Linux Console") << 16 << 0 << mixed << shown << utf8;
    QTest::newRow("UTF-8 host, TTY") << Tty << 0 << mixed << shown << utf8;
    QTest::newRow("wide characters") << Vt100 << 0 << QByteArray("\xe6\xbc\xa2\xe5\xad\x97 ok\r\n")
                                     << QStringLiteral("\u6f22\u5b57 ok") << utf8;
    const QByteArray astral("\xf0\x9f\x98\x80 \xf0\xa0\x80\x80 \xf0\x90\x8d\x88 ok\r\n");
    const QString astralShown = QStringLiteral("\U0001F600 \U00020000 \U00010348 ok");
    QTest::newRow("beyond the Basic Multilingual Plane, VT100")
        << Vt100 << 0 << astral << astralShown << utf8;
    QTest::newRow("beyond the Basic Multilingual Plane, TTY")
        << Tty << 0 << astral << astralShown << utf8;
    QTest::newRow("beyond the Basic Multilingual Plane, Wyse 60")
        << Wyse60 << 0 << astral << astralShown << utf8;
    QTest::newRow("single-byte host (Ansi8Bit)")
        << Vt100 << 1 << QByteArray("caf\xe9 \xc3\xa9\r\n")
        << QStringLiteral("caf\u00e9 \u00c3\u00a9") << QByteArray("\xe9?");
}

// Host text in its encoding, split inside a sequence: the screen, GetText, ReadText and a
// capture see the characters; text for the host goes out in the same encoding.
void TestEmulator::hostTextEncoding()
{
    QFETCH(int, termType);
    QFETCH(int, ansi8Bit);
    QFETCH(QByteArray, host);
    QFETCH(QString, line);
    QFETCH(QByteArray, typed);
    m_control->Settings()->setAnsi8Bit(rt::Int(ansi8Bit));
    connectControl(termType, emu::device::Tcp);
    const QString name = m_dir->filePath(QStringLiteral("capture.txt"));
    m_control->Capture(name, 1, 0);
    sendEarlyAndLate(host.left(2), {});
    sendEarlyAndLate(host.mid(2), {});
    QTRY_COMPARE(trimmedRight(m_control->GetText(0, 0, -1)), line);
    QCOMPARE(m_control->ReadText(1, 80, 0), line);
    m_control->CaptureEnd();
    QCOMPARE(QString::fromUtf8(readBytes(name)), line + "\r\n");
    std::unique_ptr<emu::Block> block(m_control->GetBlock(0, 0, 3, 0));
    QCOMPARE(block->Line(0), m_control->GetText(0, 0, 4));
    m_host->clearReceived();
    m_control->Output(QStringLiteral("\u00e9\u201d"));
    QVERIFY(m_host->waitForReceivedSize(typed.size()));
    QCOMPARE(m_host->received(), typed);
}

void TestEmulator::asciiUpload_data()
{
    QTest::addColumn<int>("eol");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("sent");
    const QByteArray file("one\ntwo\r\ncaf\xc3\xa9");
    QTest::newRow("CR line ends") << 0 << 0 << 0 << QByteArray("one\rtwo\rcaf\xc3\xa9");
    QTest::newRow("CR LF line ends") << 1 << 0 << 0 << QByteArray("one\r\ntwo\r\ncaf\xc3\xa9");
    QTest::newRow("LF, with a delay per line")
        << 2 << 5 << 0 << QByteArray("one\ntwo\ncaf\xc3\xa9");
    QTest::newRow("binary as it is") << 0 << 0 << 1 << file;
}

void TestEmulator::asciiUpload()
{
    QFETCH(int, eol);
    QFETCH(int, delay);
    QFETCH(int, mode);
    QFETCH(QByteArray, sent);
    connectControl(Tty, emu::device::Tcp); // raw TCP: the bytes as they are sent
    m_control->Settings()->setAsciiEOL(rt::Int(eol));
    m_control->Settings()->setAsciiDelay(rt::Int(delay));
    writeBytes(m_dir->filePath("up.txt"), "one\ntwo\r\ncaf\xc3\xa9");
    writeBytes(m_dir->filePath("second.txt"), "2nd");
    m_host->clearReceived();
    // The way the upload dialog names files: directory, NUL, names separated by NULs.
    const QString spec = m_dir->path() + QChar(0) + "up.txt" + QChar(0) + "second.txt";
    QCOMPARE(m_control->Upload(spec, 0, rt::Int(mode), 0, 1), rt::Int(0));
    QVERIFY2(m_host->waitForReceived(sent + "2nd"), m_host->received().toHex(' ').constData());
    QCOMPARE(m_control->XferFiles(), rt::Int(2));
    QCOMPARE(m_control->XferBytes(), rt::Long(sent.size() + 3));
    QCOMPARE(m_control->XferStatus(), rt::Int(0));
}

void TestEmulator::longLineUpload_data()
{
    QTest::addColumn<bool>("abort");
    QTest::newRow("sent whole") << false;
    QTest::newRow("aborted halfway") << true;
}

// A 40 MB file without a line end goes in pieces: the program answers within 100 ms all along,
// the host gets every byte, and Abort ends the upload at once.
void TestEmulator::longLineUpload()
{
    QFETCH(bool, abort);
    const qsizetype size = 40 * 1024 * 1024;
    connectControl(Tty, emu::device::Tcp);
    writeBytes(m_dir->filePath("line.txt"), QByteArray(size, 'x'));
    m_host->clearReceived();
    // The event loop runs freely (no polling sleeps) until the host has what it waits for.
    const qsizetype awaited = abort ? size / 2 : size;
    QEventLoop loop;
    QElapsedTimer sinceLastTurn;
    qint64 slowestTurn = 0;
    QTimer turns;
    connect(&turns, &QTimer::timeout, this, [&] {
        slowestTurn = std::max(slowestTurn, sinceLastTurn.restart());
        if (m_host->received().size() >= awaited)
            loop.quit();
    });
    QCOMPARE(m_control->Upload(m_dir->filePath("line.txt"), 0, 0, 0, 0), rt::Int(0));
    sinceLastTurn.start();
    turns.start(10);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    turns.stop();
    QCOMPARE(m_host->received().size() >= awaited, true);
    if (abort) {
        QVERIFY(m_control->XferStatus() != 0);
        m_control->Abort();
        QCOMPARE(m_control->XferStatus(), rt::Int(0));
    } else {
        QTRY_COMPARE(m_control->XferStatus(), rt::Int(0));
        QCOMPARE(m_host->received().size(), size);
        QCOMPARE(m_control->XferBytes(), rt::Long(size));
    }
    QVERIFY2(slowestTurn < 100, qPrintable(QString::number(slowestTurn)));
}

void TestEmulator::asciiDownload()
{
    connectControl();
    const QString name = m_dir->filePath(QStringLiteral("down.txt"));
    QSignalSpy notify(m_control.get(), &nvEmulator::StateNotify);
    QCOMPARE(m_control->Download(m_dir->path() + QChar(0) + "down.txt", 0, 0, 0, 0), rt::Int(0));
    QCOMPARE(m_control->XferStatus(), rt::True);
    QCOMPARE(m_control->Busy(), rt::True);
    m_host->send("first\r\nsecond\rthird\xe9\r\n");
    QTRY_COMPARE(m_control->XferBytes(), rt::Long(22));
    QVERIFY(!QFile::exists(name)); // written whole when it ends
    m_control->Abort();
    QCOMPARE(m_control->XferStatus(), rt::Int(0));
    QCOMPARE(readBytes(name), QByteArray("first\nsecond\nthird\xc3\xa9\n"));
    // The host going quiet ends a download too; an existing file is kept unless overwritten.
    QCOMPARE(errorOf([&] { m_control->Download(name, 0, 0, 0, 0); }), rt::Long(58));
    m_control->setDownloadIdleTime(100);
    QCOMPARE(m_control->Download(name, 0, 1, 1, 1), rt::Int(0));
    QCOMPARE(readBytes(name), QByteArray());
}

void TestEmulator::transferErrors_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("error");
    QTest::newRow("Kermit, missing file") << 1 << true << "missing.txt" << 53;
    QTest::newRow("ZModem, no file named") << 4 << true << "" << 5;
    QTest::newRow("unknown protocol") << 9 << true << "up.txt" << 5;
    QTest::newRow("negative protocol") << -1 << true << "up.txt" << 5;
    QTest::newRow("no link") << 0 << false << "up.txt" << int(emu::emuerror::NotConnected);
    QTest::newRow("missing file") << 0 << true << "missing.txt" << 53;
    QTest::newRow("no file named") << 0 << true << "" << 5;
    // Nothing would ever write to it: the upload would wait on it for good.
    QTest::newRow("a FIFO") << 0 << true << "fifo" << 75;
    QTest::newRow("ZModem, a FIFO") << 4 << true << "fifo" << 75;
    QTest::newRow("a folder") << 0 << true << "sub" << 75;
    QTest::newRow("ZModem, a folder") << 4 << true << "sub" << 75;
    QTest::newRow("a device") << 0 << true << "/dev/zero" << 75;
}

void TestEmulator::transferErrors()
{
    QFETCH(int, protocol);
    QFETCH(bool, connected);
    QFETCH(QString, file);
    QFETCH(int, error);
    if (connected)
        connectControl();
    writeBytes(m_dir->filePath("up.txt"), "x");
    QCOMPARE(::mkfifo(QFile::encodeName(m_dir->filePath("fifo")).constData(), 0600), 0);
    QVERIFY(QDir(m_dir->path()).mkdir("sub"));
    const QString spec = file.startsWith(u'/') ? file : m_dir->path() + QChar(0) + file;
    QCOMPARE(int(errorOf([&] { m_control->Upload(spec, rt::Int(protocol), 0, 0, 1); })), error);
    QCOMPARE(m_control->XferStatus(), rt::Int(0));
}

void TestEmulator::hostProtocolEvents_data()
{
    using emu::HostVerb;
    QTest::addColumn<QByteArray>("sequence");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<QVariantList>("arguments");

    QTest::newRow("server-start") << request(HostVerb::ServerStart, "Orders")
                                  << QByteArray(SIGNAL(ServerStart(QString)))
                                  << QVariantList { "Orders" };
    QTest::newRow("server-exit") << request(HostVerb::ServerExit)
                                 << QByteArray(SIGNAL(ServerExit())) << QVariantList {};
    QTest::newRow("result") << request(HostVerb::Result, "42 rows", "7", "partial")
                            << QByteArray(SIGNAL(ServerResult(QString, QString, QString)))
                            << QVariantList { "42 rows", "7", "partial" };
    QTest::newRow("script") << request(HostVerb::Script, "Norvalis.Beep()", {}, {}, true)
                            << QByteArray(SIGNAL(ExecScript(QString, rt::Int)))
                            << QVariantList { "Norvalis.Beep()", QVariant::fromValue(rt::True) };
    QTest::newRow("save-settings")
        << request(HostVerb::SaveSettings) << QByteArray(SIGNAL(SaveSettings())) << QVariantList {};
    QTest::newRow("load-settings")
        << request(HostVerb::LoadSettings) << QByteArray(SIGNAL(LoadSettings())) << QVariantList {};
    QTest::newRow("close-session")
        << request(HostVerb::CloseSession) << QByteArray(SIGNAL(CloseSession())) << QVariantList {};
}

void TestEmulator::hostProtocolEvents()
{
    QFETCH(QByteArray, sequence);
    QFETCH(QByteArray, signal);
    QFETCH(QVariantList, arguments);
    connectControl();
    QSignalSpy spy(m_control.get(), signal.constData());
    // The request sits between text and is not shown.
    m_host->send("before " + sequence + "after");
    QVERIFY(spy.wait());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first(), arguments);
    QTRY_COMPARE(trimmedRight(m_control->screen()->rowText(0)), QStringLiteral("before after"));
}

void TestEmulator::serverRequest()
{
    connectControl();
    QCOMPARE(m_control->ServerRequest(QStringLiteral("too early")), rt::Int(0));
    QSignalSpy start(m_control.get(), &nvEmulator::ServerStart);
    m_host->send(request(emu::HostVerb::ServerStart, QStringLiteral("Stock")));
    QVERIFY(start.wait());
    m_host->clearReceived();
    QCOMPARE(m_control->ServerRequest(QStringLiteral("count widgets")), rt::Int(1));
    QVERIFY(m_host->waitForReceived(
        emu::HostProtocol::encodeServerRequest(QStringLiteral("count widgets"))));
    QSignalSpy exit(m_control.get(), &nvEmulator::ServerExit);
    m_host->send(request(emu::HostVerb::ServerExit));
    QVERIFY(exit.wait());
    QCOMPARE(m_control->ServerRequest(QStringLiteral("too late")), rt::Int(0));
}

void TestEmulator::serverModeEndsWithTheLink()
{
    connectControl();
    QSignalSpy start(m_control.get(), &nvEmulator::ServerStart);
    m_host->send(request(emu::HostVerb::ServerStart, QStringLiteral("Stock")));
    QVERIFY(start.wait());
    QSignalSpy exit(m_control.get(), &nvEmulator::ServerExit);
    QSignalSpy disconnect(m_control.get(), &nvEmulator::Disconnect);
    m_host->closeClient();
    QVERIFY(disconnect.wait());
    QCOMPARE(exit.count(), 1);
    QCOMPARE(m_control->ServerRequest(QStringLiteral("x")), rt::Int(0));
}

void TestEmulator::extensionAnswer()
{
    connectControl();
    QStringList seen;
    connect(m_control.get(), &nvEmulator::Extension, this, [&seen](QString *command) {
        seen << *command;
        if (*command == QLatin1String("version?"))
            *command = QStringLiteral("v1\r");
    });
    QString leadIn = QStringLiteral("\x1b_");
    QString terminator = QStringLiteral("\x1b\\");
    m_control->SetExtension(&leadIn, &terminator);
    QVERIFY(leadIn.isEmpty());
    m_host->send("a\x1b_vers");
    m_host->send("ion?\x1b\\b\x1b_quiet\x1b\\c");
    QVERIFY(m_host->waitForReceived("v1\r"));
    QTRY_COMPARE(trimmedRight(m_control->screen()->rowText(0)), QStringLiteral("abc"));
    // The host protocol's own form of an extension.
    m_host->send(request(emu::HostVerb::Extension, QStringLiteral("ping")));
    QTRY_COMPARE(seen, (QStringList { "version?", "quiet", "ping" }));
    m_control->SetExtension(&leadIn, &terminator);
    QCOMPARE(leadIn, QStringLiteral("\x1b_"));
}

void TestEmulator::runawayExtensionIsShown()
{
    connectControl();
    QStringList seen;
    connect(m_control.get(), &nvEmulator::Extension, this,
        [&seen](QString *command) { seen << *command; });
    QString leadIn = QStringLiteral("\x1b_");
    QString terminator = QStringLiteral("\x1b\\");
    m_control->SetExtension(&leadIn, &terminator);
    // A lead-in whose terminator never comes holds the text back only up to a limit.
    m_host->send("\x1b_" + QByteArray(70000, 'x') + " tail");
    QTRY_VERIFY(
        trimmedRight(m_control->screen()->rowText(m_control->Rows() - 1)).endsWith("x tail"));
    QVERIFY(seen.isEmpty());
    // Later extensions work as before.
    m_host->send("\r\n\x1b_ok\x1b\\shown");
    QTRY_COMPARE(seen, QStringList { "ok" });
    QTRY_VERIFY(m_control->screen()->rowText(m_control->Rows() - 1).startsWith("shown"));
}

void TestEmulator::hostDataSplitAnywhere_data()
{
    using emu::HostVerb;
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("shown"); // the first row of the screen
    QTest::addColumn<QStringList>("events"); // extensions and requests, in order
    QTest::addColumn<QByteArray>("read"); // what a script reads

    QTest::newRow("request in SGR text")
        << "\x1b[1;31mred\x1b[0m " + request(HostVerb::ServerStart, "S")
            + "\x1b[32mgr\xc3\xbcn\x1b[m"
        << QStringLiteral("red gr\u00fcn") << QStringList { "start S" }
        << QByteArray("\x1b[1;31mred\x1b[0m \x1b[32mgr\xc3\xbcn\x1b[m");
    QTest::newRow("extension in SGR text")
        << QByteArray("\x1b[1ma\x1b_ext one\x1b\\\x1b[0mb\x1b_") << QStringLiteral("ab")
        << QStringList { "ext one" } << QByteArray("\x1b[1ma\x1b[0mb");
    QTest::newRow("title, request and extension")
        << "\x1b]0;title\x07x" + request(HostVerb::Extension, "p") + "\x1b_q\x1b\\y\x1b[m\x1b]77"
        << QStringLiteral("xy") << QStringList { "p", "q" }
        << QByteArray("\x1b]0;title\x07xy\x1b[m");
}

// Two reads split anywhere, even inside a request or a marker: the same screen, events and
// script input as in one read.
void TestEmulator::hostDataSplitAnywhere()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, shown);
    QFETCH(QStringList, events);
    QFETCH(QByteArray, read);
    for (qsizetype at = 0; at <= stream.size(); ++at) {
        nvEmulator control;
        control.Settings()->setTermType(Vt100);
        QString leadIn = QStringLiteral("\x1b_");
        QString terminator = QStringLiteral("\x1b\\");
        control.SetExtension(&leadIn, &terminator);
        QStringList seen;
        connect(&control, &nvEmulator::Extension, this,
            [&seen](QString *command) { seen << *command; });
        connect(&control, &nvEmulator::ServerStart, this,
            [&seen](const QString &name) { seen << "start " + name; });
        control.feedHostData(stream.left(at));
        control.feedHostData(stream.mid(at));
        QCOMPARE(trimmedRight(control.screen()->rowText(0)), shown);
        QCOMPARE(seen, events);
        QCOMPARE(control.ReadText(2, 100), QString::fromUtf8(read));
    }
}

// The host of the link (LinkPeer) is known only while that link is up: not after the host
// closed it, nor while a new link is being made, nor after our own hang-up.
void TestEmulator::disconnectAndReconnect()
{
    const QString none = QStringLiteral("none");
    const QString peer = QStringLiteral("telnet:127.0.0.1:") + m_host->portText();
    connectControl();
    QCOMPARE(m_control->LinkPeer(), peer);
    QSignalSpy disconnect(m_control.get(), &nvEmulator::Disconnect);
    QSignalSpy status(m_control.get(), &nvEmulator::StatusChange);
    m_host->closeClient();
    QVERIFY(disconnect.wait());
    QCOMPARE(m_control->Connected(), rt::Int(0));
    QCOMPARE(m_control->LinkPeer(), none);
    QVERIFY(!status.isEmpty());
    QCOMPARE(errorOf([&] { m_control->Output(QStringLiteral("x")); }), emu::emuerror::NotConnected);
    m_control->Reset(2);
    QVERIFY(m_host->waitForConnection(2));
    QTRY_COMPARE(m_control->Connected(), rt::True);
    QCOMPARE(m_control->LinkPeer(), peer);
    m_control->Output(QStringLiteral("again"));
    QVERIFY(m_host->waitForReceived("again"));
    // A new link for the one that is up.
    m_control->Reset(2);
    QCOMPARE(m_control->LinkPeer(), none);
    QVERIFY(m_host->waitForConnection(3));
    QTRY_COMPARE(m_control->Connected(), rt::True);
    // Our own hang-up is no disconnection by the host.
    m_control->HangUp(1);
    QCOMPARE(m_control->Connected(), rt::Int(0));
    QCOMPARE(m_control->LinkPeer(), none);
    QCOMPARE(disconnect.count(), 1);
}

void TestEmulator::noAnswerWhileTheHostDoesNotRead_data()
{
    QTest::addColumn<QByteArray>("request"); // from the host; empty: a script's refusal
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("backlogged");
    const QByteArray report("\x1b[c");
    const QByteArray reportAnswer("\x1b[?1;2c");
    const QByteArray extension("\x1b_ping\x1b\\");
    const QByteArray refusal
        = emu::HostProtocol::encodeScriptError(rt::err::PermissionDenied, QStringLiteral("no"));
    QTest::newRow("terminal report") << report << reportAnswer << false;
    QTest::newRow("terminal report, backlogged") << report << reportAnswer << true;
    QTest::newRow("extension") << extension << QByteArray("pong") << false;
    QTest::newRow("extension, backlogged") << extension << QByteArray("pong") << true;
    QTest::newRow("script refused") << QByteArray() << refusal << false;
    QTest::newRow("script refused, backlogged") << QByteArray() << refusal << true;
}

// While more than the answers' backlog waits for a host that does not read, what the host asks
// is not answered (an extension is not even raised); else the answer is queued at once.
void TestEmulator::noAnswerWhileTheHostDoesNotRead()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(bool, backlogged);
    connectControl(Vt100);
    QString leadIn = QStringLiteral("\x1b_");
    QString terminator = QStringLiteral("\x1b\\");
    m_control->SetExtension(&leadIn, &terminator);
    int extensions = 0;
    connect(m_control.get(), &nvEmulator::Extension, this, [&extensions](QString *command) {
        ++extensions;
        *command = QStringLiteral("pong");
    });
    // Nothing goes out until the event loop runs: what waits stays there.
    emu::Channel *channel = m_control->channel();
    const qint64 waiting = backlogged ? emu::AnswerBudget::maxBacklog + 1 : 0;
    QVERIFY(channel->write(QByteArray(waiting, 'w')));
    const qint64 before = channel->backlog();
    QVERIFY(before >= waiting);
    if (request.isEmpty())
        QCOMPARE(m_control->ScriptError(rt::err::PermissionDenied, QStringLiteral("no")),
            rt::Int(backlogged ? 0 : 1));
    else
        m_control->feedHostData(request);
    QCOMPARE(channel->backlog() > before, !backlogged); // (as the link carries it)
    QCOMPARE(extensions, request.startsWith("\x1b_") && !backlogged ? 1 : 0);
    if (!backlogged)
        QVERIFY(m_host->waitForReceived(answer));
}

void TestEmulator::newHostForgetsProgrammedKeys_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QByteArray>("program"); // the first host programs the key (and locks it)
    QTest::addColumn<QByteArray>("sends"); // what the key sends then
    QTest::addColumn<QByteArray>("reprogram"); // the next host programs it

    const int shift = Qt::ShiftModifier;
    QTest::newRow("VT220 DECUDK, locked")
        << 8 << int(Qt::Key_F6) << shift << QByteArray("\x1bP1;0|17/6C730D\x1b\\")
        << QByteArray("ls\r") << QByteArray("\x1bP1;1|17/42\x1b\\");
    QTest::newRow("VT420 DECUDK, two keys")
        << 14 << int(Qt::Key_F20) << shift << QByteArray("\x1bP1;1|17/41;34/6C730D\x1b\\")
        << QByteArray("ls\r") << QByteArray("\x1bP1;1|34/42\x1b\\");
    QTest::newRow("Wyse 60 function key")
        << Wyse60 << int(Qt::Key_F3) << 0 << QByteArray("\x1bZ1BLIST\r\x7f")
        << QByteArray("LIST\r") << QByteArray("\x1bZ1BB\x7f");
}

// Keys a host programmed (and their lock) are its own: after Reset Connection to another host
// they send what the terminal's keys send, and the new host may program them.
void TestEmulator::newHostForgetsProgrammedKeys()
{
    QFETCH(int, termType);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    const auto mods = Qt::KeyboardModifiers(modifiers);
    connectControl(termType, emu::device::Tcp);
    const QByteArray plain = keySends(key, mods);
    QFETCH(QByteArray, program);
    hostShows(program, u"first host"_qs);
    QTEST(keySends(key, mods), "sends");

    changeHost();
    QCOMPARE(keySends(key, mods), plain);
    QFETCH(QByteArray, reprogram);
    hostShows(reprogram, u"next host"_qs);
    QCOMPARE(keySends(key, mods), QByteArray("B"));
}

void TestEmulator::newLinkReadsAfresh_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("cut"); // the last bytes of the first host

    QTest::newRow("inside OSC") << Vt100 << QByteArray("\x1b]0;title");
    QTest::newRow("inside DCS") << 8 << QByteArray("\x1bP1;1|17/41");
    QTest::newRow("inside CSI") << Vt100 << QByteArray("\x1b[1;");
    QTest::newRow("UTF-8 lead byte") << Vt100 << QByteArray("\xe2\x82");
    QTest::newRow("ESC alone") << Vt100 << QByteArray("\x1b");
    QTest::newRow("single shift") << 8 << QByteArray("\x1b*0\x1bN");
    QTest::newRow("host protocol lead-in") << Vt100 << QByteArray("\x1b]77");
    QTest::newRow("host protocol request") << Vt100 << QByteArray("\x1b]7701;script;0;");
    QTest::newRow("print-controller job") << Vt100 << QByteArray("\x1b[5iprinted");
    QTest::newRow("print-controller end marker") << Vt100 << QByteArray("\x1b[5iprinted\x1b[4");
    QTest::newRow("TTY: UTF-8 lead byte") << Tty << QByteArray("\xc3");
    QTest::newRow("Wyse: ESC alone") << Wyse60 << QByteArray("\x1b");
    QTest::newRow("Wyse: cursor address") << Wyse60 << QByteArray("\x1b=");
    QTest::newRow("Wyse: UTF-8 lead byte") << Wyse60 << QByteArray("\xf0\x9f");
    QTest::newRow("Viewpoint: cursor address") << 1 << QByteArray("\x1bY");
    QTest::newRow("PC monitor: ESC alone") << 10 << QByteArray("\x1b");
}

// The first host's link ends in the middle of something; after Reset Connection the next host's
// first text shows whole, where the cursor was.
void TestEmulator::newLinkReadsAfresh()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, cut);
    m_control->Settings()->setPrinterName(QStringLiteral("no such printer here"));
    connectControl(termType, emu::device::Tcp);
    hostShows("first host", u"cut below"_qs);
    const int row = m_control->screen()->cursor().y();
    m_host->send(cut);
    m_host->closeClient();
    QTRY_COMPARE(m_control->Connected(), rt::Int(0));
    m_control->ReadText(2, 32767); // what a script could read of the first host

    changeHost();
    m_host->send("login:");
    QTRY_COMPARE(trimmedRight(m_control->screen()->rowText(row)), u"login:"_qs);
    // A script reads it whole too.
    QCOMPARE(m_control->ReadText(2, 32767), u"login:"_qs);
}

void TestEmulator::vt100AnswersTheHost()
{
    connectControl(Vt100);
    m_host->clearReceived();
    m_host->send("\x1b[2J\x1b[5;10H\x1b[1;31mX\x1b[0m\x1b[c\x1b[6n");
    QVERIFY(m_host->waitForReceived("\x1b[?1;2c\x1b[5;11R"));
    const QString row = m_control->screen()->rowText(4);
    QCOMPARE(row.indexOf(u'X'), 9);
    QCOMPARE(m_control->Row(), rt::Int(4));
    QCOMPARE(m_control->Col(), rt::Int(10));
    QCOMPARE(m_control->GetText(9, 4, 1), QStringLiteral("X"));
}

void TestEmulator::vt100PrintController()
{
    connectControl(Vt100);
    m_control->Settings()->setPrinterName(QStringLiteral("no such printer here"));
    QSignalSpy printer(m_control.get(), &nvEmulator::PrinterChange);
    m_host->send("shown\x1b[5iprinted line\r\n\x1b[4i more");
    QTRY_VERIFY(!m_control->lastPrintTarget().isEmpty());
    QTRY_COMPARE(trimmedRight(m_control->screen()->rowText(0)), QStringLiteral("shown more"));
    const QString pdf = m_control->lastPrintTarget();
    QVERIFY(pdf.startsWith(m_dir->path() + "/norvalis-print-"));
    QVERIFY(pdf.endsWith(QLatin1String(".pdf")));
    QVERIFY(readBytes(pdf).startsWith("%PDF"));
    QCOMPARE(printer.count(), 2);
    QCOMPARE(printer.at(0).at(0).value<rt::Int>(), emu::printerstate::On);
    QCOMPARE(printer.at(1).at(0).value<rt::Int>(), emu::printerstate::Off);

    // Printer mode: shown and printed; the job waits for PrinterClose.
    m_control->PrinterOn();
    QCOMPARE(m_control->PrinterMode(), rt::Int(1));
    m_host->send("\r\nboth");
    QTRY_VERIFY(m_control->screen()->rowText(1).startsWith(QLatin1String("both")));
    m_control->PrinterOff();
    QCOMPARE(printer.last().at(0).value<rt::Int>(), emu::printerstate::Idle);
    m_control->PrinterClose();
    QCOMPARE(printer.last().at(0).value<rt::Int>(), emu::printerstate::Off);
    QVERIFY(m_control->lastPrintTarget() != pdf);
}

void TestEmulator::printControllerSpellings_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<int>("ansi8Bit");
    QTest::addColumn<QByteArray>("begin");
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<bool>("printed");
    QTest::newRow("7-bit") << Vt100 << 0 << QByteArray("\x1b[5i") << QByteArray("\x1b[4i") << true;
    QTest::newRow("leading zeros")
        << Vt100 << 0 << QByteArray("\x1b[05i") << QByteArray("\x1b[004i") << true;
    QTest::newRow("8-bit CSI, 8-bit controls read")
        << Vt100 << 1 << QByteArray("\x9b" "5i") << QByteArray("\x9b" "04i") << true;
    QTest::newRow("7-bit, 8-bit controls read")
        << LinuxConsole << 1 << QByteArray("\x1b[5i") << QByteArray("\x1b[4i") << true;
    // A UTF-8 host's 0x9B is a character, not CSI.
    QTest::newRow("8-bit CSI, UTF-8 host")
        << Vt100 << 0 << QByteArray("\x9b" "5i") << QByteArray("\x9b" "4i") << false;
    QTest::newRow("Wyse 50") << Wyse50 << 0 << QByteArray("\x18") << QByteArray("\x14") << true;
}

// The print controller in each spelling the terminal reads: the data between goes to the
// printer, not to the screen.
void TestEmulator::printControllerSpellings()
{
    QFETCH(int, termType);
    QFETCH(int, ansi8Bit);
    QFETCH(QByteArray, begin);
    QFETCH(QByteArray, end);
    QFETCH(bool, printed);
    connectControl(termType);
    m_control->Settings()->setAnsi8Bit(rt::Int(ansi8Bit));
    m_control->Settings()->setPrinterName(QStringLiteral("no such printer here"));
    m_host->send("shown" + begin + "printed" + end + " more");
    QTRY_VERIFY(m_control->screen()->rowText(0).contains(QLatin1String("more")));
    const QString row = trimmedRight(m_control->screen()->rowText(0));
    if (printed) {
        QCOMPARE(row, QStringLiteral("shown more"));
        QVERIFY(readBytes(m_control->lastPrintTarget()).startsWith("%PDF"));
    } else {
        QVERIFY2(row.contains(QLatin1String("printed")), qPrintable(row));
        QCOMPARE(m_control->lastPrintTarget(), QString());
    }
}

void TestEmulator::hostPrintFlood_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<QByteArray>("job");
    QTest::newRow("print controller") << Vt100 << QByteArray("\x1b[5ijob\f\x1b[4i");
    QTest::newRow("print controller and print screen")
        << Vt100 << QByteArray("\x1b[5ijob\x1b[4i\x1b[i");
    QTest::newRow("Wyse 50 print controller") << Wyse50 << QByteArray("\x18job\x14");
}

// Host print jobs of every kind start at most once a second: a burst of jobs prints about one
// a second, the rest is logged, and the data of a dropped job is not shown either.
void TestEmulator::hostPrintFlood()
{
    QFETCH(int, termType);
    QFETCH(QByteArray, job);
    constexpr int jobs = 300;
    connectControl(termType);
    m_control->Settings()->setPrinterName(QStringLiteral("no such printer here"));
    const auto printed = [this] {
        return QDir(m_dir->path()).entryList({ u"norvalis-print-*"_qs }, QDir::Files).size();
    };
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression(u"print jobs within a second"_qs));
    QElapsedTimer clock;
    clock.start();
    m_host->send(job.repeated(jobs) + "end");
    QTRY_COMPARE(trimmedRight(m_control->screen()->rowText(0)), QStringLiteral("end"));
    QVERIFY2(printed() >= 1 && printed() <= 1 + clock.elapsed() / 1000,
        qPrintable(QString::number(printed())));
    // A job a second after the last prints again.
    const qsizetype before = printed();
    QTRY_VERIFY_WITH_TIMEOUT((m_host->send(job), printed() > before), 5000);
}

void TestEmulator::ttyThroughTheControl()
{
    connectControl(Tty);
    m_host->send("a\x1b[1mb\tc\r\nd\be");
    QTRY_COMPARE(trimmedRight(m_control->screen()->rowText(1)), QStringLiteral("e"));
    QCOMPARE(trimmedRight(m_control->screen()->rowText(0)), QStringLiteral("a[1mb   c"));
}

void TestEmulator::selectionAndCopy()
{
    m_control->Settings()->setTermType(Tty);
    m_control->Emulate(QStringLiteral("first line\r\nsecond line\r\nthird"));
    m_control->SetSelection(6, 0, 5, 1);
    QCOMPARE(m_control->Selection(), QStringLiteral("line\nsecond"));
    m_control->Copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("line\nsecond"));
    m_control->Copy(0, 1, 5, 2);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("second\nthird"));
    m_control->ClearSelection();
    QCOMPARE(m_control->Selection(), QString());
    m_control->SetSelection();
    QVERIFY(m_control->Selection().startsWith(QLatin1String("first line\nsecond line\nthird")));

    // History: the lines that scrolled off the top.
    m_control->Settings()->setNormRows(2);
    QCOMPARE(m_control->Rows(), rt::Int(2));
    m_control->CopyHistory();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("first line"));
    m_control->Emulate(QStringLiteral("\r\nfourth"));
    m_control->CopyHistory(0, 1, 2, 1);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("sec"));
}

void TestEmulator::screenMethods()
{
    m_control->Settings()->setTermType(Vt100);
    m_control->Emulate(QStringLiteral("hello world"));
    m_control->SetText(QStringLiteral("XY"), 2, 1, 0x17);
    QCOMPARE(m_control->GetText(0, 1, 5), QStringLiteral("  XY "));
    QCOMPARE(
        m_control->GetText(6, 0), QStringLiteral("world") + QString(m_control->Cols() - 11, u' '));
    std::unique_ptr<emu::Block> block(m_control->GetBlock(0, 0, 4, 1));
    QCOMPARE(block->Text(), QStringLiteral("hello\n  XY "));
    m_control->SetBlock(block.get(), 10, 3);
    QCOMPARE(m_control->GetText(10, 4, 5), QStringLiteral("  XY "));
    m_control->Clear(0, 0, 4, 0);
    QCOMPARE(m_control->GetText(0, 0, 11), QStringLiteral("      world"));
    m_control->Locate(3, 2);
    QCOMPARE(m_control->Row(), rt::Int(2));
    QCOMPARE(m_control->Col(), rt::Int(3));
    m_control->setRow(5);
    QCOMPARE(m_control->Row(), rt::Int(5));
    m_control->Clear();
    QCOMPARE(trimmedRight(m_control->GetText(0, 4)), QString());
    QCOMPARE(m_control->Row(), rt::Int(0));
    QSignalSpy screen(m_control.get(), &nvEmulator::ScreenChange);
    m_control->setExtendedMode(1);
    QCOMPARE(m_control->Cols(), rt::Int(132));
    QCOMPARE(screen.last(), (QVariantList { rt::Int(132), rt::Int(24), rt::Int(1), rt::True }));
}

void TestEmulator::methodErrors_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<int>("error");
    QTest::newRow("LoadImage") << "LoadImage" << QVariantList { "a.png", 0, 0 }
                               << int(rt::err::FileNotFound);
    QTest::newRow("PlayWave") << "PlayWave" << QVariantList { "a.wav" }
                              << int(rt::err::FileNotFound);
    QTest::newRow("Locate off screen")
        << "Locate" << QVariantList { 80, 0 } << int(emu::emuerror::BadPosition);
    QTest::newRow("another page") << "Locate" << QVariantList { 0, 0, 2 }
                                  << int(emu::emuerror::BadPage);
    QTest::newRow("Output without link")
        << "Output" << QVariantList { "x" } << int(emu::emuerror::NotConnected);
    QTest::newRow("Dial on Telnet")
        << "Dial" << QVariantList { "555" } << int(emu::emuerror::CannotDial);
    QTest::newRow("bad colour") << "SetText" << QVariantList { "x", 0, 0, 300 } << 380;
    QTest::newRow("FKeys index") << "FKeys" << QVariantList { 48 } << 381;
    QTest::newRow("read-only") << "Rows" << QVariantList { 5 } << 383;
    QTest::newRow("unknown member") << "Frobnicate" << QVariantList {} << 438;
    QTest::newRow("missing argument") << "Emulate" << QVariantList {} << 449;
    QTest::newRow("too many arguments") << "Break" << QVariantList { 1 } << 450;
    QTest::newRow("reset mode") << "Reset" << QVariantList { 3 } << 5;
}

void TestEmulator::methodErrors()
{
    QFETCH(QString, member);
    QFETCH(QVariantList, args);
    QFETCH(int, error);
    QCOMPARE(int(errorOf([&] { m_control->invoke(member, args); })), error);
}

void TestEmulator::startupRaisesState()
{
    QSignalSpy term(m_control.get(), &nvEmulator::TermChange);
    QSignalSpy device(m_control.get(), &nvEmulator::DeviceChange);
    QSignalSpy status(m_control.get(), &nvEmulator::StatusChange);
    QSignalSpy screen(m_control.get(), &nvEmulator::ScreenChange);
    QSignalSpy location(m_control.get(), &nvEmulator::LocationChange);
    QSignalSpy printer(m_control.get(), &nvEmulator::PrinterChange);
    QSignalSpy capture(m_control.get(), &nvEmulator::CaptureChange);
    QSignalSpy lock(m_control.get(), &nvEmulator::KeyboardLockChange);
    QSignalSpy history(m_control.get(), &nvEmulator::HistoryChange);
    QString renamed;
    connect(m_control.get(), &nvEmulator::DeviceChange, this, [&renamed](rt::Int, QString *name) {
        renamed = *name;
        *name = QStringLiteral("changed by the window");
    });
    m_control->Startup();
    for (QSignalSpy *spy :
        { &term, &device, &status, &screen, &location, &printer, &capture, &lock, &history })
        QCOMPARE(spy->count(), 1);
    QCOMPARE(term.first().at(0).value<rt::Int>(), m_control->Settings()->TermType());
    QCOMPARE(renamed, QStringLiteral("Telnet"));
    QCOMPARE(screen.first(), (QVariantList { rt::Int(80), rt::Int(24), rt::Int(1), rt::False }));
    QCOMPARE(location.first(), (QVariantList { rt::Int(1), rt::Int(1), rt::Int(1) }));
    QCOMPARE(printer.first().at(0).value<rt::Int>(), emu::printerstate::Off);
}

void TestEmulator::invokeByName_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QVariant>("result");
    QTest::addColumn<QVariantList>("argsAfter");
    QTest::newRow("get without case")
        << "ROWS" << QVariantList {} << QVariant(rt::Int(24)) << QVariantList {};
    QTest::newRow("let") << "CycleMode" << QVariantList { 3 } << QVariant(rt::Int(3))
                         << QVariantList { 3 };
    QTest::newRow("indexed let") << "colors" << QVariantList { 2, 0x1F } << QVariant(rt::Int(0x1F))
                                 << QVariantList { 2, 0x1F };
    QTest::newRow("by reference, clamped")
        << "HistoryVisible" << QVariantList { 150 } << QVariant(rt::Int(100))
        << QVariantList { QVariant(rt::Int(100)) };
    QTest::newRow("method with defaults")
        << "GetText" << QVariantList { 0, 0, 3 } << QVariant(QStringLiteral("abc"))
        << QVariantList { 0, 0, 3 };
    QTest::newRow("Empty takes the default")
        << "GetText" << QVariantList { QVariant(), 0, 2 } << QVariant(QStringLiteral("de"))
        << QVariantList { QVariant(), 0, 2 };
    QTest::newRow("server request refused")
        << "serverrequest" << QVariantList { "x" } << QVariant(rt::Int(0)) << QVariantList { "x" };
}

void TestEmulator::invokeByName()
{
    QFETCH(QString, member);
    QFETCH(QVariantList, args);
    QFETCH(QVariant, result);
    QFETCH(QVariantList, argsAfter);
    m_control->Emulate(QStringLiteral("abcdefg"));
    m_control->Locate(3, 0);
    QCOMPARE(m_control->invokeRef(member, args), result);
    QCOMPARE(args, argsAfter);
}

void TestEmulator::dispatchTable()
{
    const QList<emu::DispatchEntry> &table = emu::dispatchTable();
    QSet<rt::Long> ids;
    QSet<QString> names;
    for (const emu::DispatchEntry &e : table) {
        QVERIFY2(!ids.contains(e.id), e.name);
        QVERIFY2(!names.contains(QString::fromLatin1(e.name).toLower()), e.name);
        ids.insert(e.id);
        names.insert(QString::fromLatin1(e.name).toLower());
        if (e.kind == emu::DispatchEntry::Kind::Method)
            QVERIFY2((e.id >= 0x60030041 && e.id <= 0x6003006A) || e.id == 0x60030095, e.name);
        else
            QVERIFY2(e.id >= 0x6803001C && e.id <= 0x6803003B, e.name);
        QCOMPARE(emu::findDispatch(e.id)->name, e.name);
    }
    // The ids the program calls by.
    QCOMPARE(emu::findDispatch(QStringLiteral("upload"))->id, rt::Long(0x60030060));
    QCOMPARE(emu::findDispatch(QStringLiteral("Paste"))->id, rt::Long(0x60030049));
    QCOMPARE(emu::findDispatch(QStringLiteral("Settings"))->id, rt::Long(0x6003005F));
    QCOMPARE(emu::findDispatch(QStringLiteral("Shutdown"))->id, rt::Long(0x60030095));
    QCOMPARE(emu::findDispatch(QStringLiteral("Caption"))->id, rt::Long(0x68030029));
    QCOMPARE(emu::findDispatch(QStringLiteral("hWnd"))->id, rt::Long(0x68030027));
    QCOMPARE(emu::findDispatch(QStringLiteral("ExtendedMode"))->id, rt::Long(0x68030034));
    QCOMPARE(emu::findDispatch(QStringLiteral("CaptureSource"))->id, rt::Long(0x6803003B));
    QVERIFY(!emu::findDispatch(QStringLiteral("nothing")));
}

void TestEmulator::historyPane()
{
    QSignalSpy history(m_control.get(), &nvEmulator::HistoryChange);
    m_control->resize(640, 480);
    m_control->show();
    for (int i = 0; i < 60; ++i)
        m_control->Emulate(QStringLiteral("line %1\r\n").arg(i));
    rt::Int half = 50;
    m_control->setHistoryVisible(&half);
    QCOMPARE(history.last(), (QVariantList { rt::True, rt::False }));
    m_control->view()->flushDamage();
    const auto *bar = m_control->findChild<QScrollBar *>(u"historyBar"_qs);
    QVERIFY(bar && bar->isVisible());
    QCOMPARE(bar->value(), bar->maximum());
    m_control->setLockHistory(rt::True);
    QCOMPARE(history.last(), (QVariantList { rt::True, rt::True }));
    const int kept = bar->value();
    m_control->Emulate(QStringLiteral("more\r\nand more\r\n"));
    m_control->view()->flushDamage();
    QCOMPARE(bar->value(), kept);
    rt::Int none = 0;
    m_control->setHistoryVisible(&none);
    QVERIFY(!bar->isVisible());
    // At the size it asks for without the history, the control shows the history's every
    // column beside the scroll bar.
    m_control->resize(m_control->sizeHint());
    m_control->setHistoryVisible(&half);
    m_control->layout()->activate();
    for (auto *view : m_control->findChildren<emu::ScreenView *>()) {
        if (view->mode() == emu::ScreenView::Mode::History)
            QCOMPARE(view->width(), view->sizeHint().width());
    }
}

// The wheel over the screen scrolls back into the history (three lines a notch) and forward
// again; reaching the screen, typing or new lines show the screen again. A pane the user opened
// just scrolls.
void TestEmulator::historyWheel_data()
{
    QTest::addColumn<int>("pane"); // HistoryVisible before
    QTest::addColumn<QList<int>>("notches"); // 1 away from the user (back), -1 towards
    QTest::addColumn<QString>("then"); // "key", "output" or nothing
    QTest::addColumn<int>("visible"); // HistoryVisible after
    QTest::addColumn<int>("back"); // lines the pane is scrolled back from its end
    QTest::addColumn<QString>("top"); // the pane's first line, when shown

    const QList<int> up { 1 }, down { -1 };
    QTest::newRow("back from the screen") << 0 << up << "" << 100 << 3 << "line 34";
    QTest::newRow("back twice, forward once")
        << 0 << QList<int> { 1, 1, -1 } << "" << 100 << 3 << "line 34";
    QTest::newRow("forward to the screen") << 0 << QList<int> { 1, -1 } << "" << 0 << 0 << "";
    QTest::newRow("forward on the screen") << 0 << down << "" << 0 << 0 << "";
    QTest::newRow("typing shows the screen") << 0 << up << "key" << 0 << 0 << "";
    QTest::newRow("new lines show the screen") << 0 << up << "output" << 0 << 0 << "";
    QTest::newRow("open pane scrolls") << 50 << up << "" << 50 << 3 << "";
    QTest::newRow("open pane stays at its end") << 50 << down << "" << 50 << 0 << "";
}

void TestEmulator::historyWheel()
{
    QFETCH(int, pane);
    QFETCH(QList<int>, notches);
    QFETCH(QString, then);
    m_control->resize(640, 480);
    m_control->show();
    for (int i = 0; i < 60; ++i)
        m_control->Emulate(QStringLiteral("line %1\r\n").arg(i));
    m_control->view()->flushDamage();
    rt::Int percent = rt::Int(pane);
    m_control->setHistoryVisible(&percent);
    for (int notch : notches) {
        QWheelEvent wheel(QPointF(10, 10), m_control->mapToGlobal(QPointF(10, 10)), QPoint(),
            QPoint(0, notch * 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_control.get(), &wheel);
    }
    if (then == u"key"_qs)
        QTest::keyClick(m_control.get(), Qt::Key_A);
    else if (then == u"output"_qs)
        m_control->Emulate(QStringLiteral("more\r\n"));
    m_control->view()->flushDamage();
    QTEST(int(m_control->HistoryVisible()), "visible");
    const auto *bar = m_control->findChild<QScrollBar *>(u"historyBar"_qs);
    if (m_control->HistoryVisible() == 0)
        return;
    QTEST(bar->maximum() - bar->value(), "back");
    QFETCH(QString, top);
    if (top.isEmpty())
        return;
    emu::ScreenView *history = nullptr;
    for (auto *view : m_control->findChildren<emu::ScreenView *>()) {
        if (view->mode() == emu::ScreenView::Mode::History)
            history = view;
    }
    QCOMPARE(m_control->screen()->lineText(history->topLine()).trimmed(), top);
}

// A control smaller than its screen: with a fixed font it shows the cursor's row, and scroll
// bars reach the last row and column; with ScaleFont the font shrinks until the whole screen fits.
void TestEmulator::smallerThanScreen_data()
{
    QTest::addColumn<int>("scaleFont");
    QTest::addColumn<bool>("scrolls");
    QTest::newRow("fixed font: scroll bars") << 0 << true;
    QTest::newRow("ScaleFont: the font fits") << 1 << false;
}

void TestEmulator::smallerThanScreen()
{
    QFETCH(int, scaleFont);
    m_control->Settings()->setScaleFont(rt::Int(scaleFont));
    m_control->resize(420, 260);
    m_control->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_control.get()));
    m_control->layout()->activate();
    auto *area = m_control->findChild<QScrollArea *>();
    QVERIFY(area);
    QFETCH(bool, scrolls);
    QTRY_COMPARE(area->verticalScrollBar()->maximum() > 0, scrolls);
    QCOMPARE(area->horizontalScrollBar()->maximum() > 0, scrolls);
    // The host's prompt on the last row is in view by itself.
    for (int i = 1; i < m_control->screen()->rows(); ++i)
        m_control->Emulate(QStringLiteral("line %1\r\n").arg(i));
    m_control->Emulate(QStringLiteral("$ "));
    emu::ScreenView *view = m_control->view();
    const QSize cell = view->cellSize();
    const QPoint cursor = m_control->screen()->cursor();
    const QRect prompt(view->mapTo(area->viewport(),
                           QPoint(cursor.x() * cell.width(), cursor.y() * cell.height())),
        cell);
    QVERIFY(area->viewport()->rect().contains(prompt));
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
    const QPoint lastCell(
        (m_control->screen()->cols() - 1) * cell.width(), (m_control->screen()->rows() - 1) * cell.height());
    const QRect shown(view->mapTo(area->viewport(), lastCell), cell);
    QVERIFY2(area->viewport()->rect().contains(shown),
        qPrintable(u"%1,%2 %3x%4"_qs.arg(shown.x()).arg(shown.y()).arg(shown.width()).arg(shown.height())));
}

void TestEmulator::mouseEvents()
{
    connectControl(Tty);
    m_control->resize(800, 500);
    m_control->show();
    m_control->Emulate(QStringLiteral("open docs/file.txt now"));
    emu::ScreenView *view = m_control->view();
    const QSize cell = view->cellSize();
    auto at = [&cell](int col) { return QPoint(col * cell.width() + 1, cell.height() / 2); };
    QSignalSpy press(m_control.get(), &nvEmulator::ButtonPress);
    QSignalSpy menu(m_control.get(), &nvEmulator::ContextMenu);

    QTest::mouseClick(view, Qt::RightButton, Qt::ShiftModifier, at(1));
    QCOMPARE(press.count(), 1);
    QCOMPARE(
        press.last().mid(1), (QVariantList { rt::Int(1), rt::Int(at(1).x()), rt::Int(at(1).y()) }));
    QCOMPARE(menu.count(), 1);
    QCOMPARE(menu.last(),
        (QVariantList { rt::Int(2), rt::Int(at(1).x()), rt::Int(at(1).y()), QString() }));

    // The mouse table: a text for the host, or a popup band for the window. "*" takes in the
    // "/" of a path.
    m_control->MouseTableAdd(1, QStringLiteral("*.TXT"), QStringLiteral("cat "), QString());
    m_control->MouseTableAdd(2, QStringLiteral("n?w"), QStringLiteral("menu:Tools"), QString());
    m_host->clearReceived();
    QTest::mouseClick(view, Qt::LeftButton, {}, at(9));
    QVERIFY(m_host->waitForReceived("cat "));
    QVERIFY(!m_control->screen()->hasSelection());
    QTest::mouseClick(view, Qt::RightButton, {}, at(20));
    QCOMPARE(menu.last().at(0).value<rt::Int>(), rt::Int(3));
    QCOMPARE(menu.last().at(3).toString(), QStringLiteral("Tools"));
    m_control->MouseTableReset();

    // A press the window takes for itself does not start a selection.
    connect(m_control.get(), &nvEmulator::ButtonPress, this,
        [](rt::Int *button, rt::Int, rt::Int, rt::Int) { *button = 0; });
    QTest::mousePress(view, Qt::LeftButton, {}, at(0));
    QTest::mouseMove(view, at(4));
    QTest::mouseRelease(view, Qt::LeftButton, {}, at(4));
    QVERIFY(!m_control->screen()->hasSelection());
}

void TestEmulator::alternateSink()
{
    connectControl(Tty);
    nvEmulator sink;
    m_control->AttachAlternateSink(&sink, 1, 4);
    QCOMPARE(m_control->AttachState(), rt::Int(1));
    QCOMPARE(sink.AttachState(), rt::Int(2));
    m_host->send("to the sink");
    QTRY_COMPARE(trimmedRight(sink.screen()->rowText(0)), QStringLiteral("to the sink"));
    QCOMPARE(trimmedRight(m_control->screen()->rowText(0)), QString());
    // Keys typed in the sink go to the host whose data it shows.
    QTest::keyClick(&sink, Qt::Key_X);
    QVERIFY(m_host->waitForReceived("x"));
    // The exit byte ends the attachment and is not shown.
    m_host->send("!\x04"
                 "back home");
    QTRY_COMPARE(trimmedRight(m_control->screen()->rowText(0)), QStringLiteral("back home"));
    QCOMPARE(trimmedRight(sink.screen()->rowText(0)), QStringLiteral("to the sink!"));
    QCOMPARE(m_control->AttachState(), rt::Int(0));
    QCOMPARE(sink.AttachState(), rt::Int(0));

    // A sink shows one source: a second one takes it over from the first.
    nvEmulator other;
    m_control->AttachAlternateSink(&sink);
    other.AttachAlternateSink(&sink);
    QCOMPARE(m_control->AttachState(), rt::Int(0));
    QCOMPARE(other.AttachState(), rt::Int(1));
    m_control->DetachAlternateSink(); // no longer attached: changes nothing
    QCOMPARE(sink.AttachState(), rt::Int(2));
    other.DetachAlternateSink();
    QCOMPARE(sink.AttachState(), rt::Int(0));
}

void TestEmulator::paste_data()
{
    QTest::addColumn<int>("eolMode");
    QTest::addColumn<int>("eofMode");
    QTest::addColumn<bool>("fromFile");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("line ends as Enter") << 0 << 0 << false << QByteArray("a\rb\rc\xc3\xa9");
    QTest::newRow("CR LF") << 1 << 0 << false << QByteArray("a\r\nb\r\nc\xc3\xa9");
    QTest::newRow("LF") << 2 << 0 << false << QByteArray("a\nb\nc\xc3\xa9");
    QTest::newRow("as they are") << 3 << 0 << false << QByteArray("a\nb\r\nc\xc3\xa9");
    QTest::newRow("left out") << 4 << 0 << false << QByteArray("abc\xc3\xa9");
    QTest::newRow("end character") << 0 << 1 << false << QByteArray("a\rb\rc\xc3\xa9\x1a");
    QTest::newRow("from a file") << 0 << 0 << true << QByteArray("a\rb\rc\xc3\xa9");
}

void TestEmulator::paste()
{
    QFETCH(int, eolMode);
    QFETCH(int, eofMode);
    QFETCH(bool, fromFile);
    QFETCH(QByteArray, sent);
    connectControl(Tty, emu::device::Tcp);
    m_control->Settings()->setPasteEOLMode(rt::Int(eolMode));
    m_control->Settings()->setPasteEOFMode(rt::Int(eofMode));
    QString fileName;
    if (fromFile) {
        fileName = m_dir->filePath(QStringLiteral("paste.txt"));
        writeBytes(fileName, "a\nb\r\nc\xc3\xa9");
    } else {
        QGuiApplication::clipboard()->setText(QStringLiteral("a\nb\r\nc\u00e9"));
    }
    m_host->clearReceived();
    m_control->Paste(&fileName);
    QVERIFY(m_host->waitForReceived(sent));
    QCOMPARE(m_host->received(), sent);
}

void TestEmulator::supplementaryInput_data()
{
    QTest::addColumn<int>("termType");
    QTest::addColumn<int>("ansi8Bit");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QByteArray>("sent");
    const QByteArray grin("\xf0\x9f\x98\x80");
    QTest::newRow("typed, TTY") << Tty << 0 << false << grin;
    QTest::newRow("typed, VT100") << Vt100 << 0 << false << grin;
    QTest::newRow("typed, Wyse 60") << Wyse60 << 0 << false << grin;
    QTest::newRow("pasted, TTY") << Tty << 0 << true << grin;
    QTest::newRow("pasted, VT100") << Vt100 << 0 << true << grin;
    // A single-byte host has no byte for it: the key is refused, a paste carries one "?".
    QTest::newRow("typed, single-byte host") << Vt100 << 1 << false << QByteArray();
    QTest::newRow("pasted, single-byte host") << Vt100 << 1 << true << QByteArray("?");
}

// U+1F600 typed (one key event with its surrogate pair) or pasted reaches the host as its four
// UTF-8 bytes; a key that follows shows where the input ends.
void TestEmulator::supplementaryInput()
{
    QFETCH(int, termType);
    QFETCH(int, ansi8Bit);
    QFETCH(bool, pasted);
    QFETCH(QByteArray, sent);
    m_control->Settings()->setAnsi8Bit(rt::Int(ansi8Bit));
    connectControl(termType, emu::device::Tcp);
    m_host->clearReceived();
    const QString grin = QStringLiteral("\U0001F600");
    if (pasted) {
        QGuiApplication::clipboard()->setText(grin);
        QString fromClipboard;
        m_control->Paste(&fromClipboard);
    } else {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, grin);
        QCoreApplication::sendEvent(m_control.get(), &press);
    }
    QTest::keyClick(m_control.get(), Qt::Key_Z);
    QVERIFY(m_host->waitForReceived(sent + 'z'));
    QCOMPARE(m_host->received(), sent + 'z');
}

void TestEmulator::printerJobText_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<QStringList>>("pages");
    QTest::newRow("lines") << QByteArray("one\r\ntwo\r\n")
                           << QList<QStringList> { { "one", "two" } };
    QTest::newRow("CR overprints") << QByteArray("abc\rX\n") << QList<QStringList> { { "Xbc" } };
    QTest::newRow("form feed") << QByteArray("p1\fp2") << QList<QStringList> { { "p1" }, { "p2" } };
    QTest::newRow("tab") << QByteArray("a\tb") << QList<QStringList> { { "a       b" } };
    QTest::newRow("printer escapes left out") << QByteArray("\x1b[1mbold\x1b(B \x1b"
                                                            "Eplain\x07")
                                              << QList<QStringList> { { "bold plain" } };
    QTest::newRow("Latin-1 byte") << QByteArray("na\xefve") << QList<QStringList> { { "naïve" } };
    QTest::newRow("UTF-8") << QByteArray("\xe2\x80\x9dna\xc3\xafve\xe2\x80\x9d")
                           << QList<QStringList> { { "\u201dnaïve\u201d" } };
    QTest::newRow("beyond the Basic Multilingual Plane")
        << QByteArray("\xf0\x9f\x98\x80 \xf0\xa0\x80\x80!")
        << QList<QStringList> { { QStringLiteral("\U0001F600 \U00020000!") } };
    // A column holds a character, whatever its UTF-16 length.
    QTest::newRow("CR overprints beyond the plane")
        << QByteArray("\xf0\x9f\x98\x80\xf0\x9f\x98\x80"
                      "ab\rX\xf0\x90\x8d\x88")
        << QList<QStringList> { { QStringLiteral("X\U00010348ab") } };
    QTest::newRow("trailing form feed") << QByteArray("end\f") << QList<QStringList> { { "end" } };
    const QString widest(emu::PrinterJob::maxColumns, u'x');
    QTest::newRow("endless line cut") << QByteArray(5000, 'x') << QList<QStringList> { { widest } };
    QList<QStringList> pages(emu::PrinterJob::maxPages, QStringList { u"page"_qs });
    QTest::newRow("form feeds past the page limit")
        << QByteArray("page\f").repeated(emu::PrinterJob::maxPages + 10) << pages;
    const QStringList lines(emu::PrinterJob::maxLines, u"line"_qs);
    QTest::newRow("lines past the line limit")
        << QByteArray("line\r\n").repeated(emu::PrinterJob::maxLines + 10) + "\fnext"
        << QList<QStringList> { lines };
    QTest::newRow("tabs past the edge")
        << QByteArray(emu::PrinterJob::maxColumns - 3, 'x') + "\t\t\tz\r\nnext"
        << QList<QStringList> { { QString(emu::PrinterJob::maxColumns - 3, u'x') + "   ",
               "next" } };
}

void TestEmulator::printerJobText()
{
    QFETCH(QByteArray, data);
    QFETCH(QList<QStringList>, pages);
    emu::PrinterJob job;
    QVERIFY(job.isEmpty());
    // Byte by byte: sequences split over reads.
    for (char c : data)
        job.add(QByteArray(1, c));
    QCOMPARE(job.pages(), pages);
}

void TestEmulator::printScreenToPdf()
{
    m_control->Settings()->setPrinterName(QStringLiteral("no such printer here"));
    m_control->Settings()->setDefaultCaptureDir(m_dir->path());
    m_control->Emulate(QStringLiteral("screen to print"));
    m_control->PrintScreen();
    const QString pdf = m_control->lastPrintTarget();
    QCOMPARE(QFileInfo(pdf).absolutePath(), QFileInfo(m_dir->path()).absoluteFilePath());
    QVERIFY(readBytes(pdf).startsWith("%PDF"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList { QFileInfo(pdf).fileName() });

    // The host prints at most once a second: 300 requests, each for a changed screen, print
    // once; a request a second later prints again.
    m_control->Settings()->setTermType(Vt100);
    QElapsedTimer clock;
    clock.start();
    QByteArray burst;
    for (int i = 0; i < 300; ++i)
        burst += "line " + QByteArray::number(i) + "\r\n\x1b[i";
    m_control->feedHostData(burst);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);
    QTRY_VERIFY_WITH_TIMEOUT((m_control->feedHostData("\x1b[0i"),
                                 QDir(m_dir->path()).entryList(QDir::Files).size() == 3),
        5000);
    QVERIFY(clock.elapsed() >= 1000);

    // Without a printer, PDF files go into the capture folder or nowhere.
    for (const QString &folder : { QString(), m_dir->filePath(u"missing"_qs) }) {
        m_control->Settings()->setDefaultCaptureDir(folder);
        try {
            m_control->PrintScreen();
            QFAIL("printed without a capture folder");
        } catch (const rt::Error &error) {
            QCOMPARE(error.number, emu::emuerror::PrintFailed);
        }
    }
    QCOMPARE(QDir::home().entryList({ u"norvalis-print-*"_qs }, QDir::Files), QStringList());
}

void TestEmulator::terminalResetKeepsTheLink()
{
    connectControl(Vt100);
    m_host->send("text\x1b[?1h");
    QTRY_COMPARE(trimmedRight(m_control->screen()->rowText(0)), QStringLiteral("text"));
    m_control->Reset(1);
    QCOMPARE(trimmedRight(m_control->screen()->rowText(0)), QString());
    QCOMPARE(m_control->Connected(), rt::True);
    QCOMPARE(m_host->connectionCount(), 1);
    // The cursor keys are back in their normal mode.
    m_host->clearReceived();
    QTest::keyClick(m_control.get(), Qt::Key_Up);
    QVERIFY(m_host->waitForReceived("\x1b[A"));
}

void TestEmulator::dialThroughModem_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("connected");
    QTest::newRow("call goes through") << QByteArray("CONNECT 9600") << 0 << true;
    QTest::newRow("line busy") << QByteArray("BUSY") << int(emu::channelerror::DialBusy) << false;
    QTest::newRow("no carrier") << QByteArray("NO CARRIER") << int(emu::channelerror::DialNoCarrier)
                                << false;
}

// A modem session (plain terminal) on the modem's port.
void TestEmulator::useModem(const HayesModem &modem)
{
    m_control->Settings()->setTermType(Tty);
    m_control->Settings()->setDevice(emu::device::Modem);
    m_control->Settings()->setPort(modem.port());
}

// The control dials and waits for the modem's answer.
void TestEmulator::dialThroughModem()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    QFETCH(bool, connected);
    HayesModem modem;
    if (!modem.isValid())
        QSKIP("no pseudo-terminal");
    useModem(modem);
    modem.setDialResult(answer);
    QCOMPARE(int(m_control->Dial(QStringLiteral("5551234"), 1)), result);
    QCOMPARE(modem.commands(), (QList<QByteArray> { "AT", "ATDT5551234" }));
    QCOMPARE(m_control->Connected() != 0, connected);
    QCOMPARE(int(m_control->DialStatus()),
        connected ? emu::dialstatus::Connected : emu::dialstatus::Failed);
    if (connected) {
        // The modem's answers take rows 0 to 3 ("\r\nOK\r\n\r\nCONNECT 9600\r\n").
        modem.send("hello");
        QTRY_VERIFY(m_control->screen()->rowText(4).startsWith(QLatin1String("hello")));
    }
    m_control.reset();
}

// With AutoAnswer the modem's port opens with the connection and a call that comes in connects.
void TestEmulator::modemAnswersCalls()
{
    HayesModem modem;
    if (!modem.isValid())
        QSKIP("no pseudo-terminal");
    useModem(modem);
    m_control->Settings()->setAutoAnswer(1);
    m_control->Reset(2);
    QTRY_VERIFY(modem.heard().contains("ATS0=1\r"));
    QCOMPARE(m_control->Connected(), rt::Int(0));
    modem.send("\r\nRING\r\n\r\nCONNECT 9600\r\n");
    QTRY_COMPARE(m_control->Connected(), rt::True);
    m_control.reset();
}

// A modem's calls come and go on one open port: a print-controller job that one caller left
// open takes nothing of the next caller's text.
void TestEmulator::newCallReadsAfresh()
{
    HayesModem modem;
    if (!modem.isValid())
        QSKIP("no pseudo-terminal");
    useModem(modem);
    m_control->Settings()->setTermType(Vt100);
    m_control->Settings()->setPrinterName(QStringLiteral("no such printer here"));
    m_control->Settings()->setAutoAnswer(1);
    m_control->Reset(2);
    QTRY_VERIFY(modem.heard().contains("ATS0=1\r"));
    modem.send("\r\nRING\r\n\r\nCONNECT 9600\r\n");
    QTRY_COMPARE(m_control->Connected(), rt::True);
    modem.send("\x1b[5iprinted");
    modem.send("\r\nNO CARRIER\r\n");
    QTRY_COMPARE(m_control->Connected(), rt::Int(0));
    modem.send("\r\nRING\r\n\r\nCONNECT 9600\r\n");
    QTRY_COMPARE(m_control->Connected(), rt::True);
    const int row = m_control->screen()->cursor().y();
    modem.send("login:");
    QTRY_COMPARE(trimmedRight(m_control->screen()->rowText(row)), u"login:"_qs);
    m_control.reset();
}

void TestEmulator::modemHangUpWaits_data()
{
    QTest::addColumn<bool>("answers");
    QTest::newRow("modem answers") << true;
    QTest::newRow("silent modem: time-out, DTR") << false;
}

// HangUp with Wait returns once the modem is back on hook, not while it is hanging up.
void TestEmulator::modemHangUpWaits()
{
    QFETCH(bool, answers);
    HayesModem modem;
    if (!modem.isValid())
        QSKIP("no pseudo-terminal");
    useModem(modem);
    QCOMPARE(int(m_control->Dial(QStringLiteral("5"), 1)), 0);
    modem.setSilent(!answers);
    QCOMPARE(m_control->Connected(), rt::True);
    QSignalSpy state(m_control.get(), &nvEmulator::StateNotify);
    QCOMPARE(int(m_control->HangUp(1)), 0);
    QCOMPARE(int(m_control->DialStatus()), emu::dialstatus::Idle);
    QCOMPARE(m_control->Connected(), rt::Int(0));
    QVERIFY(state.contains(QVariantList { rt::Int(1), rt::False }));
    QCOMPARE(modem.heard().contains("+++ATH0\r"), answers);
    m_control.reset();
}

void TestEmulator::failedLinkNamesItsTarget_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port"); // "closed": a loopback port nobody listens on
    QTest::addColumn<QString>("target"); // the message's start ("<port>": the closed port)
    QTest::addColumn<int>("code");
    QTest::newRow("TCP/IP refused") << int(emu::device::Tcp) << "127.0.0.1" << "closed"
                                    << "127.0.0.1 port <port>: " << emu::channelerror::Refused;
    QTest::newRow("Telnet refused") << int(emu::device::Telnet) << "127.0.0.1" << "closed"
                                    << "127.0.0.1 port <port>: " << emu::channelerror::Refused;
    QTest::newRow("Telnet host not found")
        << int(emu::device::Telnet) << "nosuch.invalid" << "" << "nosuch.invalid port 23: "
        << emu::channelerror::HostNotFound;
}

// A link that does not come up says where it was going, in the box and on the status line.
void TestEmulator::failedLinkNamesItsTarget()
{
    QFETCH(int, device);
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, target);
    QFETCH(int, code);
    if (port == u"closed") {
        port = QString::number(closedLoopbackPort());
        target.replace(QStringLiteral("<port>"), port);
    }
    disconnect(m_control.get(), &nvEmulator::CommError, this, nullptr);
    QList<std::pair<rt::Long, QString>> errors;
    connect(m_control.get(), &nvEmulator::CommError, this,
        [&](rt::Long *error, const QString &text, rt::Int) {
            errors.append({ *error, text });
            *error = 0;
        });
    emu::Settings *settings = m_control->Settings();
    settings->setDevice(rt::Int(device));
    settings->setHostName(host);
    settings->setHostPort(port);
    m_control->Reset(2);
    QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 20000);
    QCOMPARE(errors.first().first, rt::Long(emu::commErrorBase + code));
    QVERIFY2(errors.first().second.startsWith(target), qPrintable(errors.first().second));
    QVERIFY2(errors.first().second.contains(emu::channelErrorText(code)),
        qPrintable(errors.first().second));
}

void TestEmulator::sshConnectsAfterLogin_data()
{
    QTest::addColumn<int>("login");
    QTest::addColumn<bool>("closedPort");
    QTest::addColumn<int>("code"); // 0: the login succeeds
    QTest::newRow("login") << int(LocalSshd::Login::AcceptedKey) << false << 0;
    QTest::newRow("key refused") << int(LocalSshd::Login::RefusedKey) << false
                                 << emu::channelerror::PermissionDenied;
    QTest::newRow("port refused") << int(LocalSshd::Login::AcceptedKey) << true
                                  << emu::channelerror::Refused;
    QTest::newRow("wrong password from a script") << int(LocalSshd::Login::Password) << false
                                                  << emu::channelerror::PermissionDenied;
}

// An SSH session counts as connected once the login has succeeded; a failure to get there is a
// communication error with the network's code, shown, and no disconnection.
void TestEmulator::sshConnectsAfterLogin()
{
    QFETCH(int, login);
    QFETCH(bool, closedPort);
    QFETCH(int, code);
    LocalSshd sshd;
    if (!sshd.isRunning())
        QSKIP(sshd.skipReason());
    const quint16 port = closedPort ? closedLoopbackPort() : sshd.port();
    // The control starts the ssh found on PATH: the wrapper with the test's keys.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(sshd.clientDir(LocalSshd::Login(login))) + ':' + path);
    const auto restorePath = qScopeGuard([&] { qputenv("PATH", path); });

    disconnect(m_control.get(), &nvEmulator::CommError, this, nullptr);
    QList<rt::Long> errors;
    QList<rt::Int> shown;
    connect(m_control.get(), &nvEmulator::CommError, this,
        [&](rt::Long *error, const QString &, rt::Int show) {
            errors << *error;
            shown << show;
            *error = 0;
        });
    QSignalSpy state(m_control.get(), &nvEmulator::StateNotify);
    QSignalSpy disconnected(m_control.get(), &nvEmulator::Disconnect);
    emu::Settings *settings = m_control->Settings();
    settings->setTermType(Tty);
    settings->setDevice(emu::device::Ssh);
    settings->setHostName(QStringLiteral("127.0.0.1"));
    settings->setHostPort(QString::number(port));
    settings->setConnectTimeout(10);
    m_control->Reset(2);
    QCOMPARE(m_control->Connected(), rt::Int(0)); // the client has only just been started
    if (code == 0) {
        QTRY_COMPARE_WITH_TIMEOUT(m_control->Connected(), rt::True, 20000);
        QCOMPARE(state, (QList<QVariantList> { { rt::Int(1), rt::True } }));
        m_control->Output(QStringLiteral("echo sum-$((6*7))\r"));
        QCOMPARE(m_control->WaitFor(0, 10, { "sum-42" }), rt::Int(1));
        QVERIFY(errors.isEmpty());
    } else {
        if (LocalSshd::Login(login) == LocalSshd::Login::Password) {
            // A script answers the prompt: the channel is open, though the link is not up.
            QTRY_VERIFY(m_control->channel() && m_control->channel()->isOpen());
            QCOMPARE(m_control->WaitFor(0, 20, { "password:" }), rt::Int(1));
            QCOMPARE(m_control->Connected(), rt::Int(0));
            m_control->Output(QStringLiteral("not the password\r"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 20000);
        QCOMPARE(errors.first(), rt::Long(emu::commErrorBase + code));
        QCOMPARE(shown.first(), rt::True);
        QCOMPARE(m_control->Connected(), rt::Int(0));
        QVERIFY(!state.contains(QVariantList { rt::Int(1), rt::True }));
        QCOMPARE(disconnected.count(), 0);
    }
    m_control.reset();
}

// A window with the control connected to the fake host, for tests/screenshot.sh.
void TestEmulator::screenshot()
{
    const QByteArray out = qgetenv("NORVALIS_SCREENSHOT");
    if (out.isEmpty())
        QSKIP("set NORVALIS_SCREENSHOT to take the screenshot");
    connectControl(Vt100);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Session 1"));
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    m_control->setParent(&window);
    layout->addWidget(m_control.get());
    window.resize(m_control->view()->sizeHint() + QSize(0, 4));
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    m_control->setFocus();
    m_host->send("\x1b[1;34mNorvalis\x1b[0m test host (VT100)\r\n\r\n"
                 "login: \x1b[1mguest\x1b[0m\r\n"
                 "Last login: Mon Dec  4 09:12:45 on ttyS0\r\n\r\n"
                 "\x1b[32m$\x1b[0m ls -l\r\n"
                 "-rw-r--r--  1 guest  users   2048 caf\xe9.txt\r\n"
                 "-rw-r--r--  1 guest  users  10240 \x1b[7mreport.pdf\x1b[0m\r\n"
                 "drwxr-xr-x  2 guest  users   4096 \x1b[1;36mprojects\x1b[0m\r\n"
                 "\x1b[32m$\x1b[0m \x1b[31mcat\x1b[0m notes");
    QTRY_VERIFY(m_control->screen()->rowText(9).contains(QLatin1String("notes")));
    m_control->view()->flushDamage();
    QCoreApplication::processEvents();
    QVERIFY(window.grab().save(QString::fromLocal8Bit(out)));
    m_control->setParent(nullptr);
}

QTEST_MAIN(TestEmulator)
#include "tst_emulator.moc"
