#include "emulator/channel.h"
#include "emulator/modemchannel.h"
#include "emulator/serialchannel.h"
#include "emulator/sshchannel.h"
#include "emulator/tcpchannel.h"
#include "emulator/answerbudget.h"
#include "emulator/telnetchannel.h"

#include "common/bursthost.h"
#include "platform/fakehost.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using emu::Channel;
using emu::TelnetCodec;
namespace ce = emu::channelerror;
namespace ds = emu::dialstatus;

namespace {

std::unique_ptr<emu::Settings> settingsFor(
    emu::Int device, const QString &host = QString(), const QString &port = QString())
{
    auto s = std::make_unique<emu::Settings>();
    s->setDevice(device);
    s->setHostName(host);
    s->setHostPort(port);
    return s;
}

// The signals of a channel, recorded.
struct Spies
{
    explicit Spies(Channel *c)
        : connected(c, &Channel::connected)
        , data(c, &Channel::dataReceived)
        , disconnected(c, &Channel::disconnected)
        , error(c, &Channel::error)
        , dialStatus(c, &Channel::dialStatusChanged)
    { }
    QByteArray received() const
    {
        QByteArray all;
        for (const QList<QVariant> &args : data)
            all += args.at(0).toByteArray();
        return all;
    }
    bool waitForData(const QByteArray &needle, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return received().contains(needle); }, ms);
    }
    int lastErrorCode() const { return error.isEmpty() ? 0 : error.last().at(0).toInt(); }
    int lastDisconnectCode() const
    {
        return disconnected.isEmpty() ? -1 : disconnected.last().at(0).toInt();
    }
    QSignalSpy connected;
    QSignalSpy data;
    QSignalSpy disconnected;
    QSignalSpy error;
    QSignalSpy dialStatus;
};

// A pseudo-terminal pair: the channel opens the slave side as its serial device, the test plays
// the device on the master side.
class PtyPair
{
public:
    PtyPair()
    {
        if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0)
            return;
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_name = QString::fromLocal8Bit(::ttyname(m_slave));
    }
    ~PtyPair()
    {
        closeMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    bool isValid() const { return m_master >= 0 && !m_name.isEmpty(); }
    int masterDescriptor() const { return m_master; }
    QString slaveName() const { return m_name; }
    emu::Int portNumber() const
    {
        return emu::Int(1000 + m_name.mid(m_name.lastIndexOf(u'/') + 1).toInt());
    }
    void send(const QByteArray &bytes)
    {
        QCOMPARE(::write(m_master, bytes.constData(), size_t(bytes.size())), bytes.size());
    }
    QByteArray received()
    {
        char buffer[1024];
        ssize_t n;
        while (m_master >= 0 && (n = ::read(m_master, buffer, sizeof buffer)) > 0)
            m_received.append(buffer, n);
        return m_received;
    }
    bool waitFor(const QByteArray &needle, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return received().contains(needle); }, ms);
    }
    void clear()
    {
        received();
        m_received.clear();
    }
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_name;
    QByteArray m_received;
};

// A modem on a pseudo-terminal: the test answers as the modem on the master side.
struct ModemRig
{
    PtyPair pty;
    emu::Settings settings;
    std::unique_ptr<emu::ModemChannel> modem;
    std::unique_ptr<Spies> spies;

    // Opens the modem with the settings as they are now (short guard times for tests).
    bool open()
    {
        if (!pty.isValid())
            return false;
        settings.setDevice(emu::device::Modem);
        settings.setPort(pty.portNumber());
        modem = std::make_unique<emu::ModemChannel>(settings);
        modem->setGuardTime(20);
        modem->setHangUpTimeout(1000);
        spies = std::make_unique<Spies>(modem.get());
        modem->open();
        return QTest::qWaitFor([&] { return modem->isOpen(); }, 5000);
    }
    // The modem answers the "AT" that opens every dial.
    bool answerProbe()
    {
        if (!pty.waitFor("AT\r"))
            return false;
        pty.send("AT\r\r\nOK\r\n"); // with its echo
        return true;
    }
    // Dials, and the modem reports the call through.
    bool call(const QByteArray &answer = "CONNECT\r\n")
    {
        if (modem->dial(QStringLiteral("5")) != 0 || !answerProbe())
            return false;
        pty.send(answer);
        return spies->connected.wait();
    }
};

QByteArray naws(int cols, int rows)
{
    QByteArray payload;
    for (int v : { cols, rows }) {
        for (unsigned char b : { uchar(v >> 8), uchar(v & 0xFF) }) {
            payload += char(b);
            if (b == 0xFF)
                payload += char(b);
        }
    }
    return FakeHost::subnegotiation(31, payload);
}

// A codec past its opening requests.
TelnetCodec startedCodec(bool binary, int cols = 80, int rows = 24)
{
    TelnetCodec codec("vt100", binary, cols, rows);
    codec.start();
    return codec;
}

// Opens a channel that must fail: error() with the code, from the event loop, and nothing else.
// Its text names the failure once.
void expectOpenFailure(Channel *channel, int code, int ms = 5000)
{
    Spies spies(channel);
    channel->open();
    QCOMPARE(spies.error.count(), 0); // never from inside open()
    QVERIFY(spies.error.wait(ms));
    QCOMPARE(spies.lastErrorCode(), code);
    const QString text = spies.error.last().at(1).toString();
    QVERIFY2(text.count(emu::channelErrorText(code), Qt::CaseInsensitive) == 1, qPrintable(text));
    QCOMPARE(channel->state(), Channel::State::Closed);
    QCoreApplication::processEvents();
    QCOMPARE(spies.connected.count(), 0);
    QCOMPARE(spies.disconnected.count(), 0);
}

// Opens, checks the link, closes, twice: a user reconnecting. close() reports before it returns.
void closeAndReopen(Channel *channel, const std::function<bool(Spies &, int round)> &linkWorks)
{
    Spies spies(channel);
    for (int round = 1; round <= 2; ++round) {
        channel->open();
        QVERIFY(spies.connected.wait());
        QVERIFY(linkWorks(spies, round));
        channel->holdInput(true); // a receiver that was behind: the next link is read again
        channel->close();
        QCOMPARE(spies.disconnected.count(), round);
        QCOMPARE(spies.lastDisconnectCode(), ce::None);
        QCOMPARE(channel->state(), Channel::State::Closed);
    }
    QCOMPARE(spies.connected.count(), 2);
    QCOMPARE(spies.error.count(), 0);
    channel->close(); // closing a closed channel says nothing
    QCOMPARE(spies.disconnected.count(), 2);
}

// What a started codec makes of the host's bytes, given in one piece or byte by byte.
struct Decoded
{
    QByteArray data;
    QByteArray reply;
};
Decoded decode(bool binary, const QByteArray &fromHost, bool byteByByte)
{
    TelnetCodec codec = startedCodec(binary);
    Decoded d;
    if (!byteByByte)
        d.data = codec.decode(fromHost, d.reply);
    for (qsizetype i = 0; byteByByte && i < fromHost.size(); ++i)
        d.data += codec.decode(fromHost.mid(i, 1), d.reply);
    return d;
}

} // namespace

class tst_Channels : public QObject
{
    Q_OBJECT

private slots:
    void factory_data();
    void factory();
    void serialDeviceNames_data();
    void serialDeviceNames();

    // Telnet protocol without sockets.
    void telnetStart();
    void telnetNegotiation_data();
    void telnetNegotiation();
    void telnetDecode_data();
    void telnetDecode();
    void telnetEncode_data();
    void telnetEncode();
    void telnetWindowSizeEscapes();

    // Connections to the fake host.
    void telnetSession();
    void telnetCloseAndReopen();
    void connectFailures_data();
    void connectFailures();
    void rawTcpPassesBytesUnchanged();

    // Serial port and modem on a pseudo-terminal.
    void serialSession();
    void serialDeviceGone();
    void serialBadSettings_data();
    void serialBadSettings();
    void serialPortInUse();
    void modemDial_data();
    void modemDial();
    void modemDialTimeout();
    void modemNotThere();
    void modemDialRefused();
    void modemHangUp_data();
    void modemHangUp();
    void modemHangUpWithoutCommandMode();
    void modemCarrierLost();
    void modemAnswersCall();
    void dialableNumbers_data();
    void dialableNumbers();

    // The ssh client on a pseudo-terminal (a stand-in script plays the client).
    void sshSession();
    void sshClose();
    void sshRefusedSettings_data();
    void sshRefusedSettings();

    void backlogWhilePeerIsSlow_data();
    void backlogWhilePeerIsSlow();
    void telnetRepliesBounded_data();
    void telnetRepliesBounded();
    void floodIsReadInSlices_data();
    void floodIsReadInSlices();
    void ptyFloodInLargePieces_data();
    void ptyFloodInLargePieces();

    // The system's ssh client against a local sshd.
    void sshLinkUpAfterLogin();
    void sshPromptIsNoLink();
    void sshFailures_data();
    void sshFailures();

private:
    QString fakeSsh(const QByteArray &body);
    struct FloodLink;
    void openFloodLink(FloodLink &link, int device, const QString &name);

    QTemporaryDir m_dir;
};

void tst_Channels::factory_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<bool>("made");

    for (int device = 0; device <= 6; ++device)
        QTest::addRow("device %d", device) << device << (device >= 1 && device <= 5);
}

void tst_Channels::factory()
{
    QFETCH(int, device);
    QFETCH(bool, made);
    const auto settings = settingsFor(emu::Int(device), "h", "1");
    std::unique_ptr<Channel> channel(emu::createChannel(*settings));
    QCOMPARE(bool(channel), made);
    if (channel) {
        QCOMPARE(int(channel->device()), device);
        QCOMPARE(channel->state(), Channel::State::Closed);
        QVERIFY(!channel->write("x"));
    }
}

void tst_Channels::serialDeviceNames_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("name");

    QTest::newRow("0") << 0 << QString();
    QTest::newRow("COM1") << 1 << "/dev/ttyS0";
    QTest::newRow("99") << 99 << "/dev/ttyS98";
    QTest::newRow("USB") << 101 << "/dev/ttyUSB1";
    QTest::newRow("ACM") << 200 << "/dev/ttyACM0";
    QTest::newRow("gap") << 500 << QString();
    QTest::newRow("pts") << 1007 << "/dev/pts/7";
    QTest::newRow("negative") << -3 << QString();
}

void tst_Channels::serialDeviceNames()
{
    QFETCH(int, port);
    QFETCH(QString, name);
    QCOMPARE(emu::serialDeviceName(emu::Int(port)), name);
}

void tst_Channels::telnetStart()
{
    TelnetCodec plain("vt100", false, 80, 24);
    QCOMPARE(plain.start(),
        FakeHost::iac(FakeHost::WILL, 24) + FakeHost::iac(FakeHost::WILL, 31)
            + FakeHost::iac(FakeHost::DO, 3));
    TelnetCodec binary("vt100", true, 80, 24);
    QVERIFY(
        binary.start().endsWith(FakeHost::iac(FakeHost::WILL, 0) + FakeHost::iac(FakeHost::DO, 0)));
}

void tst_Channels::telnetNegotiation_data()
{
    QTest::addColumn<bool>("binary");
    QTest::addColumn<QByteArray>("fromHost");
    QTest::addColumn<QByteArray>("reply");

    using H = FakeHost;
    QTest::newRow("DO TTYPE acknowledges our offer") << false << H::iac(H::DO, 24) << QByteArray();
    QTest::newRow("TTYPE SEND") << false << H::iac(H::DO, 24) + H::subnegotiation(24, "\x01")
                                << H::subnegotiation(24, QByteArray("\x00vt100", 6));
    QTest::newRow("DO NAWS reports the size") << false << H::iac(H::DO, 31) << naws(80, 24);
    QTest::newRow("DO NAWS twice reports once")
        << false << H::iac(H::DO, 31) + H::iac(H::DO, 31) << naws(80, 24);
    QTest::newRow("DONT NAWS after DO")
        << false << H::iac(H::DO, 31) + H::iac(H::DONT, 31) << naws(80, 24) + H::iac(H::WONT, 31);
    QTest::newRow("WILL ECHO accepted") << false << H::iac(H::WILL, 1) << H::iac(H::DO, 1);
    QTest::newRow("WILL ECHO twice answered once")
        << false << H::iac(H::WILL, 1) + H::iac(H::WILL, 1) << H::iac(H::DO, 1);
    QTest::newRow("WONT ECHO after WILL") << false << H::iac(H::WILL, 1) + H::iac(H::WONT, 1)
                                          << H::iac(H::DO, 1) + H::iac(H::DONT, 1);
    QTest::newRow("WILL SGA acknowledges our request")
        << false << H::iac(H::WILL, 3) << QByteArray();
    QTest::newRow("WONT SGA refuses our request") << false << H::iac(H::WONT, 3) << QByteArray();
    QTest::newRow("DO SGA accepted") << false << H::iac(H::DO, 3) << H::iac(H::WILL, 3);
    QTest::newRow("DO BINARY accepted") << false << H::iac(H::DO, 0) << H::iac(H::WILL, 0);
    QTest::newRow("binary requests acknowledged")
        << true << H::iac(H::DO, 0) + H::iac(H::WILL, 0) << QByteArray();
    QTest::newRow("unknown DO refused") << false << H::iac(H::DO, 99) << H::iac(H::WONT, 99);
    QTest::newRow("unknown WILL refused") << false << H::iac(H::WILL, 5) << H::iac(H::DONT, 5);
    QTest::newRow("unknown DONT ignored") << false << H::iac(H::DONT, 99) << QByteArray();
    QTest::newRow("unknown WONT ignored") << false << H::iac(H::WONT, 99) << QByteArray();
    QTest::newRow("DO LINEMODE refused") << false << H::iac(H::DO, 34) << H::iac(H::WONT, 34);
    QTest::newRow("other subnegotiation ignored")
        << false << H::subnegotiation(32, "\x01") << QByteArray();
}

void tst_Channels::telnetNegotiation()
{
    QFETCH(bool, binary);
    QFETCH(QByteArray, fromHost);
    QFETCH(QByteArray, reply);

    for (bool byteByByte : { false, true }) {
        const Decoded d = decode(binary, fromHost, byteByByte);
        QVERIFY(d.data.isEmpty());
        QCOMPARE(d.reply, reply);
    }
}

void tst_Channels::telnetDecode_data()
{
    QTest::addColumn<bool>("binary");
    QTest::addColumn<QByteArray>("fromHost");
    QTest::addColumn<QByteArray>("data");

    using H = FakeHost;
    QTest::newRow("plain") << false << QByteArray("login: ") << QByteArray("login: ");
    QTest::newRow("IAC IAC") << false
                             << QByteArray("a\xff\xff"
                                           "b")
                             << QByteArray("a\xff"
                                           "b");
    QTest::newRow("CR NUL") << false << QByteArray("a\r\0b", 4) << QByteArray("a\rb");
    QTest::newRow("CR LF") << false << QByteArray("a\r\nb") << QByteArray("a\r\nb");
    QTest::newRow("NUL alone") << false << QByteArray("a\0b", 3) << QByteArray("a\0b", 3);
    QTest::newRow("CR NUL in binary")
        << true << H::iac(H::WILL, 0) + QByteArray("a\r\0b", 4) << QByteArray("a\r\0b", 4);
    QTest::newRow("commands removed")
        << false << "a" + H::iac(241) + "b" + H::iac(H::WILL, 1) + "c" + H::iac(249)
        << QByteArray("abc");
    QTest::newRow("subnegotiation removed")
        << false << "a" + H::subnegotiation(24, "\x01\xff\xff") + "b" << QByteArray("ab");
    QTest::newRow("unterminated subnegotiation")
        << false << "a" + QByteArray("\xff\xfa\x18\x01\xff\xff") + H::iac(241) + "b"
        << QByteArray("ab");
    QTest::newRow("8-bit data") << false << QByteArray("\x80\xfe") << QByteArray("\x80\xfe");
}

void tst_Channels::telnetDecode()
{
    QFETCH(bool, binary);
    QFETCH(QByteArray, fromHost);
    QFETCH(QByteArray, data);

    for (bool byteByByte : { false, true })
        QCOMPARE(decode(binary, fromHost, byteByByte).data, data);
}

void tst_Channels::telnetEncode_data()
{
    QTest::addColumn<bool>("binary");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("plain") << false << QByteArray("abc") << QByteArray("abc");
    QTest::newRow("IAC doubled") << false << QByteArray("x\xffy") << QByteArray("x\xff\xffy");
    QTest::newRow("CR alone") << false << QByteArray("ls\r") << QByteArray("ls\r\0", 4);
    QTest::newRow("CR then text") << false << QByteArray("a\rb") << QByteArray("a\r\0b", 4);
    QTest::newRow("CR LF") << false << QByteArray("a\r\nb") << QByteArray("a\r\nb");
    QTest::newRow("CR in binary") << true << QByteArray("ls\r") << QByteArray("ls\r");
    QTest::newRow("IAC in binary") << true << QByteArray("\xff") << QByteArray("\xff\xff");
}

void tst_Channels::telnetEncode()
{
    QFETCH(bool, binary);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, wire);

    TelnetCodec codec = startedCodec(false);
    QByteArray reply;
    if (binary)
        codec.decode(FakeHost::iac(FakeHost::DO, 0), reply);
    QCOMPARE(codec.localEnabled(TelnetCodec::BINARY), binary);
    QCOMPARE(codec.encode(data), wire);
}

void tst_Channels::telnetWindowSizeEscapes()
{
    TelnetCodec codec = startedCodec(false, 255, 24);
    QVERIFY(codec.setWindowSize(255, 511).isEmpty()); // NAWS not yet agreed
    QByteArray reply;
    codec.decode(FakeHost::iac(FakeHost::DO, 31), reply);
    QCOMPARE(reply, QByteArray("\xff\xfa\x1f\x00\xff\xff\x01\xff\xff\xff\xf0", 11));
    QCOMPARE(codec.setWindowSize(132, 43), naws(132, 43));
}

void tst_Channels::telnetSession()
{
    FakeHost host;
    QVERIFY(host.isListening());
    auto settings = settingsFor(emu::device::Telnet, "127.0.0.1", host.portText());
    settings->setTermType(8); // VT220
    settings->setTelnetAltBreak(1);
    emu::TelnetChannel channel(*settings);
    Spies spies(&channel);
    QCOMPARE(channel.description(), QStringLiteral("Telnet 127.0.0.1:%1").arg(host.port()));

    channel.open();
    QCOMPARE(channel.state(), Channel::State::Opening);
    QVERIFY(spies.connected.wait());
    QVERIFY(channel.isOpen());
    QVERIFY(host.waitForReceived(FakeHost::iac(FakeHost::DO, 3)));

    host.clearReceived();
    host.send(FakeHost::iac(FakeHost::DO, 24) + FakeHost::subnegotiation(24, "\x01")
        + FakeHost::iac(FakeHost::DO, 31) + FakeHost::iac(FakeHost::WILL, 1) + "login: ");
    QVERIFY(spies.waitForData("login: "));
    QCOMPARE(spies.received(), QByteArray("login: "));
    QVERIFY(host.waitForReceived(FakeHost::iac(FakeHost::DO, 1)));
    QCOMPARE(host.received(),
        FakeHost::subnegotiation(24, QByteArray("\x00vt220", 6)) + naws(80, 24)
            + FakeHost::iac(FakeHost::DO, 1));

    host.clearReceived();
    QVERIFY(channel.write("root\r"));
    channel.setWindowSize(100, 30);
    QVERIFY(channel.sendBreak());
    const QByteArray expected
        = QByteArray("root\r\0", 6) + naws(100, 30) + FakeHost::iac(FakeHost::IP);
    QVERIFY(host.waitForReceivedSize(expected.size()));
    QCOMPARE(host.received(), expected);

    // The host logs out: an ordinary end, no error.
    host.send("bye\r\n");
    host.closeClient();
    QVERIFY(spies.disconnected.wait());
    QCOMPARE(spies.lastDisconnectCode(), ce::ClosedByHost);
    QVERIFY(spies.received().endsWith("bye\r\n"));
    QCOMPARE(spies.error.count(), 0);
    QCOMPARE(channel.state(), Channel::State::Closed);
    QVERIFY(!channel.write("x"));
}

void tst_Channels::telnetCloseAndReopen()
{
    FakeHost host;
    auto settings = settingsFor(emu::device::Telnet, "localhost", host.portText());
    std::unique_ptr<Channel> channel(emu::createChannel(*settings));
    closeAndReopen(channel.get(), [&](Spies &, int round) {
        if (!host.waitForConnection(round))
            return false;
        host.clearReceived();
        return channel->write("hello") && host.waitForReceived("hello");
    });
}

void tst_Channels::connectFailures_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("code");

    const quint16 closedPort = closedLoopbackPort();
    const QString local = QStringLiteral("127.0.0.1");
    auto row = [&](const char *name, int device, const QString &host, const char *port, int code) {
        QTest::newRow(name) << device << host << QString::fromLatin1(port) << code;
    };
    row("refused", 3, local, QByteArray::number(closedPort).constData(), ce::Refused);
    row("no host name", 3, QString(), "23", ce::BadSetting);
    row("port out of range", 3, local, "70000", ce::BadSetting);
    row("port not a number", 3, local, "telnet", ce::BadSetting);
    row("raw TCP needs a port", 2, local, "", ce::BadSetting);
    row("timeout", 3, local, "silent", ce::TimedOut);
}

void tst_Channels::connectFailures()
{
    QFETCH(int, device);
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(int, code);

    std::optional<SilentPort> silent;
    if (port == QLatin1String("silent")) {
        silent.emplace();
        QVERIFY(silent->isReady());
        port = QString::number(silent->port());
    }
    auto settings = settingsFor(emu::Int(device), host, port);
    settings->setConnectTimeout(1);
    std::unique_ptr<Channel> channel(emu::createChannel(*settings));
    QElapsedTimer clock;
    clock.start();
    expectOpenFailure(channel.get(), code, 10000);
    if (code == ce::TimedOut)
        QVERIFY(clock.elapsed() >= 900);
}

void tst_Channels::rawTcpPassesBytesUnchanged()
{
    FakeHost host;
    auto settings = settingsFor(emu::device::Tcp, "127.0.0.1", host.portText());
    emu::TcpChannel channel(*settings);
    Spies spies(&channel);
    channel.open();
    QVERIFY(spies.connected.wait());
    const QByteArray bytes("\xff\xfd\x18\r\0\r\n\x1b]7701;x\x07", 14);
    QVERIFY(channel.write(bytes));
    QVERIFY(host.waitForReceivedSize(bytes.size()));
    QCOMPARE(host.received(), bytes); // no negotiation, no escaping
    host.send(bytes);
    QVERIFY(spies.waitForData(bytes));
    QCOMPARE(spies.received(), bytes);
    QVERIFY(!channel.sendBreak());
}

void tst_Channels::serialSession()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    auto settings = settingsFor(emu::device::Serial);
    settings->setPort(pty.portNumber());
    settings->setBaud(8);
    std::unique_ptr<Channel> channel(emu::createChannel(*settings));
    QCOMPARE(static_cast<emu::SerialChannel *>(channel.get())->portName(), pty.slaveName());
    Spies spies(channel.get());
    channel->open();
    QVERIFY(spies.connected.wait());
    QCOMPARE(spies.error.count(), 0);

    QVERIFY(channel->write("ATZ\r\xff"));
    QVERIFY(pty.waitFor("ATZ\r\xff"));
    pty.send("OK\r\n\x80");
    QVERIFY(spies.waitForData("OK\r\n\x80"));
    QVERIFY(channel->sendBreak());

    channel->close();
    QCOMPARE(spies.lastDisconnectCode(), ce::None);
    channel->open(); // the same device again
    QVERIFY(spies.connected.wait());
    channel->close();
}

void tst_Channels::serialDeviceGone()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    auto settings = settingsFor(emu::device::Serial);
    emu::SerialChannel channel(*settings);
    channel.setPortName(pty.slaveName());
    Spies spies(&channel);
    channel.open();
    QVERIFY(spies.connected.wait());
    pty.closeMaster(); // the other side hangs up
    QVERIFY(spies.disconnected.wait());
    QCOMPARE(spies.lastDisconnectCode(), ce::ConnectionLost);
    QCOMPARE(spies.lastErrorCode(), ce::ConnectionLost);
    QCOMPARE(channel.state(), Channel::State::Closed);
}

void tst_Channels::serialBadSettings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("code");

    // A device number of this process's own: serial ports are locked by name, and a run of this
    // test in another process must not hold the lock.
    const int absent = 20000 + int(QCoreApplication::applicationPid() % 12000);
    QTest::newRow("no such device") << "Port" << absent << ce::DeviceNotFound;
    QTest::newRow("port 0") << "Port" << 0 << ce::BadSetting;
    QTest::newRow("baud negative") << "Baud" << -1 << ce::BadSetting;
    QTest::newRow("parity 5") << "Parity" << 5 << ce::BadSetting;
    QTest::newRow("data bits 9") << "DataBits" << 9 << ce::BadSetting;
    QTest::newRow("stop bits 0") << "StopBits" << 0 << ce::BadSetting;
    QTest::newRow("handshake 3") << "Handshake" << 3 << ce::BadSetting;
}

void tst_Channels::serialBadSettings()
{
    QFETCH(QString, name);
    QFETCH(int, value);
    QFETCH(int, code);

    PtyPair pty;
    QVERIFY(pty.isValid());
    auto settings = settingsFor(emu::device::Serial);
    settings->setPort(pty.portNumber());
    settings->setValue(name, value);
    std::unique_ptr<Channel> channel(emu::createChannel(*settings));
    expectOpenFailure(channel.get(), code);
}

// A port another program holds is busy, not forbidden.
void tst_Channels::serialPortInUse()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    auto settings = settingsFor(emu::device::Serial);
    settings->setPort(pty.portNumber());
    std::unique_ptr<Channel> first(emu::createChannel(*settings));
    Spies spies(first.get());
    first->open();
    QVERIFY(spies.connected.wait());
    std::unique_ptr<Channel> second(emu::createChannel(*settings));
    expectOpenFailure(second.get(), ce::DeviceBusy);
    QVERIFY(first->isOpen());
}

void tst_Channels::modemDial_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("code");

    QTest::newRow("CONNECT") << QByteArray("\r\nCONNECT 9600/ARQ\r\n") << 0;
    QTest::newRow("connect lower case") << QByteArray("connect\r") << 0;
    QTest::newRow("BUSY") << QByteArray("\r\nBUSY\r\n") << ce::DialBusy;
    QTest::newRow("NO CARRIER") << QByteArray("\r\nNO CARRIER\r\n") << ce::DialNoCarrier;
    QTest::newRow("NO DIALTONE") << QByteArray("\r\nNO DIALTONE\r\n") << ce::DialNoDialtone;
    QTest::newRow("NO DIAL TONE") << QByteArray("NO DIAL TONE\n") << ce::DialNoDialtone;
    QTest::newRow("NO ANSWER") << QByteArray("\r\nNO ANSWER\r\n") << ce::DialNoAnswer;
    QTest::newRow("ERROR") << QByteArray("\r\nERROR\r\n") << ce::DialError;
    QTest::newRow("echo and progress first")
        << QByteArray("ATDT5551234\r\r\nRINGING\r\n\r\nBUSY\r\n") << ce::DialBusy;
    QTest::newRow("answer in pieces") << QByteArray("\r\nCONN") << 0;
}

void tst_Channels::modemDial()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, code);

    ModemRig rig;
    QVERIFY(rig.open());
    QVERIFY(!rig.modem->isConnected());
    QCOMPARE(rig.spies->connected.count(), 0); // an open modem has no call yet

    QCOMPARE(rig.modem->dial(QStringLiteral(" 555-1234 ")), 0);
    QCOMPARE(rig.modem->dialStatus(), ds::Dialing);
    QVERIFY(rig.answerProbe());
    QVERIFY(rig.pty.waitFor("ATDT555-1234\r"));
    rig.pty.send(answer);
    if (answer.endsWith("CONN"))
        rig.pty.send("ECT 33600\r\n");
    if (code == 0) {
        QVERIFY(rig.spies->connected.wait());
        QCOMPARE(rig.modem->dialStatus(), ds::Connected);
        QVERIFY(rig.modem->isConnected());
        QCOMPARE(rig.spies->error.count(), 0);
    } else {
        QVERIFY(rig.spies->error.wait());
        QCOMPARE(rig.spies->lastErrorCode(), code);
        QCOMPARE(rig.modem->dialStatus(), ds::Failed);
        QVERIFY(rig.modem->isOpen()); // ready for the next dial
        QCOMPARE(rig.modem->dial(QStringLiteral("1")), 0);
    }
    QCOMPARE(rig.spies->disconnected.count(), 0);
    // The user sees what the modem said.
    QVERIFY(rig.spies->waitForData(answer));
}

void tst_Channels::modemDialTimeout()
{
    ModemRig rig;
    rig.settings.setConnectTimeout(1);
    QVERIFY(rig.open());
    QCOMPARE(rig.modem->dial(QStringLiteral("123")), 0);
    QVERIFY(rig.answerProbe());
    QVERIFY(rig.pty.waitFor("ATDT123\r"));
    rig.pty.clear();
    QVERIFY(rig.spies->error.wait(5000));
    QCOMPARE(rig.spies->lastErrorCode(), ce::TimedOut);
    QCOMPARE(rig.modem->dialStatus(), ds::Failed);
    QVERIFY(rig.pty.waitFor("\r")); // the dial was stopped
}

// A port where nothing answers "AT" fails the dial within the probe time, long before the dial
// time-out, and the number is never sent.
void tst_Channels::modemNotThere()
{
    ModemRig rig;
    rig.settings.setConnectTimeout(30);
    QVERIFY(rig.open());
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(rig.modem->dial(QStringLiteral("123")), 0);
    QVERIFY(rig.spies->error.wait(10000));
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(rig.spies->lastErrorCode(), ce::DialError);
    QVERIFY2(rig.spies->error.last().at(1).toString().contains(u"no modem answers on /dev/pts/"),
        qPrintable(rig.spies->error.last().at(1).toString()));
    QCOMPARE(rig.modem->dialStatus(), ds::Failed);
    QCOMPARE(rig.pty.received(), QByteArray("AT\r"));
}

void tst_Channels::modemDialRefused()
{
    ModemRig rig;
    emu::ModemChannel closed(rig.settings);
    QCOMPARE(closed.dial(QStringLiteral("123")), ce::NotOpen);

    QVERIFY(rig.open());
    QCOMPARE(rig.modem->dial(QString()), ce::BadSetting);
    QCOMPARE(rig.modem->dial(QStringLiteral("123\rATH")), ce::BadSetting);
    QCOMPARE(rig.modem->dial(QStringLiteral("123")), 0);
    QCOMPARE(rig.modem->dial(QStringLiteral("456")), ce::Busy);
    QVERIFY(rig.answerProbe());
    QVERIFY(rig.pty.waitFor("ATDT123\r"));
    QVERIFY(!rig.pty.received().contains("ATH"));
    QVERIFY(!rig.pty.received().contains("456"));

    // Hanging up while dialling stops the dial.
    rig.pty.clear();
    QCOMPARE(rig.modem->hangUp(), 0);
    QCOMPARE(rig.modem->dialStatus(), ds::Idle);
    QVERIFY(rig.pty.waitFor("\r"));
}

void tst_Channels::modemHangUp_data()
{
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("OK") << QByteArray("\r\nOK\r\n");
    QTest::newRow("NO CARRIER") << QByteArray("\r\nNO CARRIER\r\n");
    QTest::newRow("silent modem") << QByteArray();
}

void tst_Channels::modemHangUp()
{
    QFETCH(QByteArray, answer);

    ModemRig rig;
    QVERIFY(rig.open());
    QVERIFY(rig.call());

    rig.pty.clear();
    QCOMPARE(rig.modem->hangUp(), 0);
    QCOMPARE(rig.modem->dialStatus(), ds::HangingUp);
    QCOMPARE(rig.modem->dial(QStringLiteral("5")), ce::Busy);
    QVERIFY(rig.pty.waitFor("+++"));
    rig.pty.send("\r\nOK\r\n"); // the modem is in command mode: not yet hung up
    QVERIFY(rig.pty.waitFor("+++ATH0\r"));
    QCOMPARE(rig.spies->disconnected.count(), 0);
    rig.pty.send(answer);
    QVERIFY(rig.spies->disconnected.wait());
    QCOMPARE(rig.spies->lastDisconnectCode(), ce::None);
    QCOMPARE(rig.spies->error.count(), 0);
    QCOMPARE(rig.modem->dialStatus(), ds::Idle);
    QVERIFY(rig.modem->isOpen());
    QCOMPARE(rig.modem->dial(QStringLiteral("6")), 0);
}

void tst_Channels::modemHangUpWithoutCommandMode()
{
    ModemRig rig;
    QVERIFY(rig.open());
    QVERIFY(rig.call());
    rig.pty.clear();
    QCOMPARE(rig.modem->hangUp(), 0);
    QVERIFY(rig.pty.waitFor("+++"));
    // No OK: the modem is still passing data, so "ATH0" would go to the host; DTR hangs up.
    QVERIFY(rig.spies->disconnected.wait());
    QCOMPARE(rig.spies->lastDisconnectCode(), ce::None);
    QCOMPARE(rig.modem->dialStatus(), ds::Idle);
    QVERIFY(!rig.pty.received().contains("ATH"));
}

void tst_Channels::modemCarrierLost()
{
    ModemRig rig;
    QVERIFY(rig.open());
    QVERIFY(rig.call("CONNECT 2400\r\nWelcome\r\n"));
    rig.pty.send("data NO CARRIER in a line is data\r\n\r\nNO CARRIER\r\n");
    QVERIFY(rig.spies->disconnected.wait());
    QCOMPARE(rig.spies->lastDisconnectCode(), ce::CarrierLost);
    QCOMPARE(rig.spies->lastErrorCode(), ce::CarrierLost);
    QCOMPARE(rig.spies->disconnected.count(), 1);
    QCOMPARE(rig.modem->dialStatus(), ds::Idle);
    QVERIFY(rig.modem->isOpen());

    // Closing the port with a call up ends the call too.
    QVERIFY(rig.call());
    rig.modem->close();
    QCOMPARE(rig.spies->lastDisconnectCode(), ce::None);
    QCOMPARE(rig.modem->dialStatus(), ds::Idle);
}

void tst_Channels::modemAnswersCall()
{
    ModemRig rig;
    rig.settings.setAutoAnswer(1);
    QVERIFY(rig.open());
    QVERIFY(rig.pty.waitFor("ATS0=1\r"));
    rig.pty.send("\r\nRING\r\n\r\nCONNECT 14400\r\n");
    QVERIFY(rig.spies->connected.wait());
    QCOMPARE(rig.modem->dialStatus(), ds::Connected);
}

void tst_Channels::dialableNumbers_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("ok");

    QTest::newRow("digits") << "5551234" << true;
    QTest::newRow("written") << "+1 (555) 123-4567" << true;
    QTest::newRow("modifiers") << "9W,,5551234*#" << true;
    QTest::newRow("pulse") << "P123" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blank") << "   " << false;
    QTest::newRow("CR") << "123\r" << false;
    QTest::newRow("second command") << "123;H" << false;
    QTest::newRow("letters") << "ATZ" << false;
}

void tst_Channels::dialableNumbers()
{
    QFETCH(QString, number);
    QFETCH(bool, ok);
    QCOMPARE(emu::ModemChannel::isDialable(number), ok);
}

QString tst_Channels::fakeSsh(const QByteArray &body)
{
    const QString path = m_dir.filePath(QStringLiteral("fake-ssh-%1").arg(qHash(body)));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    // Like the real client after a login: the local command first.
    file.write("#!/bin/sh\n"
               "for a; do case \"$a\" in LocalCommand=*) /bin/sh -c \"${a#LocalCommand=}\";; "
               "esac; done\n"
        + body);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

void tst_Channels::sshSession()
{
    const QString program = fakeSsh("printf 'ARGS:%s|\\n' \"$*\"\n"
                                    "printf 'TERM:%s|\\n' \"$TERM\"\n"
                                    "printf 'SIZE:%s|\\n' \"$(stty size)\"\n"
                                    "IFS= read -r line\n"
                                    "printf 'GOT:%s|\\n' \"$line\"\n"
                                    "IFS= read -r line\n"
                                    "printf 'SIZE:%s|\\n' \"$(stty size)\"\n"
                                    "exit 3\n");
    QVERIFY(!program.isEmpty());
    auto settings = settingsFor(emu::device::Ssh, "user@example.org", "");
    settings->setConnectTimeout(7);
    settings->setSSHKeepAlive(30);
    settings->setNormCols(100);
    settings->setNormRows(30);
    settings->setTermType(16);
    std::unique_ptr<Channel> channel(emu::createChannel(*settings));
    static_cast<emu::SshChannel *>(channel.get())->setProgram(program);
    Spies spies(channel.get());

    channel->open();
    QVERIFY(spies.connected.wait());
    QVERIFY(spies.waitForData("SIZE:30 100|"));
    QVERIFY(spies.received().contains("ARGS:-p 22 -o ConnectTimeout=7 -o ServerAliveInterval=30 "
                                      "-o PermitLocalCommand=yes -o LocalCommand="));
    QVERIFY(spies.received().contains(
        " -o ControlMaster=no -o ControlPath=none -- user@example.org|"));
    QVERIFY(spies.received().contains("TERM:linux|"));

    QVERIFY(channel->write("secret \xe9\r"));
    QVERIFY(spies.waitForData("GOT:secret \xe9|"));
    channel->setWindowSize(132, 43);
    QVERIFY(channel->write("\r"));
    QVERIFY(spies.waitForData("SIZE:43 132|"));

    QTRY_COMPARE(spies.disconnected.count(), 1); // the client may have ended already
    QCOMPARE(spies.lastDisconnectCode(), ce::ClosedByHost);
    QVERIFY(spies.disconnected.last().at(1).toString().contains(QLatin1String("status 3")));
    QCOMPARE(spies.error.count(), 0);
    QCOMPARE(channel->state(), Channel::State::Closed);
}

// A channel of a device to a host that floods it: TCP and Telnet reach the host's port, SSH a
// client that copies a FIFO the host writes, serial and modem a pty whose other side it writes.
struct tst_Channels::FloodLink
{
    explicit FloodLink(const QByteArray &data)
        : host(data)
    { }
    // The host sends into the FIFO or the pty from now on (a TCP host sends to its client).
    void aim()
    {
        if (device == emu::device::Ssh)
            host.sendTo(fifo);
        else if (device == emu::device::Serial || device == emu::device::Modem)
            host.sendTo(pty.masterDescriptor());
    }

    BurstHost host;
    PtyPair pty;
    int device = 0;
    QByteArray fifo;
    std::unique_ptr<emu::Settings> settings;
    std::unique_ptr<Channel> channel;
    std::unique_ptr<Spies> spies;
};

void tst_Channels::openFloodLink(FloodLink &link, int device, const QString &name)
{
    link.device = device;
    link.fifo = QFile::encodeName(m_dir.filePath(QStringLiteral("%1-%2").arg(name).arg(device)));
    if (device == emu::device::Tcp || device == emu::device::Telnet) {
        link.settings = settingsFor(emu::Int(device), "127.0.0.1", link.host.listen());
    } else if (device == emu::device::Ssh) {
        QVERIFY(::mkfifo(link.fifo.constData(), 0600) == 0);
        link.settings = settingsFor(emu::device::Ssh, "user@example.org", "");
    } else {
        QVERIFY(link.pty.isValid());
        link.settings = settingsFor(emu::Int(device));
        link.settings->setPort(link.pty.portNumber());
        link.settings->setAutoAnswer(1);
    }
    link.channel.reset(emu::createChannel(*link.settings));
    if (device == emu::device::Ssh)
        static_cast<emu::SshChannel *>(link.channel.get())
            ->setProgram(fakeSsh("stty raw -echo\nexec cat '" + link.fifo + "'\n"));
    link.spies = std::make_unique<Spies>(link.channel.get());
    link.channel->open();
    QTRY_VERIFY(link.channel->isOpen());
    QVERIFY(link.spies->connected.count() > 0 || device == emu::device::Modem
        || link.spies->connected.wait());
    QTest::qWait(0);
}

void tst_Channels::floodIsReadInSlices_data()
{
    QTest::addColumn<int>("device");
    QTest::newRow("raw TCP") << int(emu::device::Tcp);
    QTest::newRow("Telnet") << int(emu::device::Telnet);
    QTest::newRow("serial") << int(emu::device::Serial);
    QTest::newRow("modem") << int(emu::device::Modem);
    QTest::newRow("ssh") << int(emu::device::Ssh);
}

// A host that sends without pause: while input is held nothing comes and the link's flow control
// holds the host back; then every byte comes in order, in bounded slices, with the event loop
// turning between a few of them (a receiver that takes time for each slice).
void tst_Channels::floodIsReadInSlices()
{
    QFETCH(int, device);
    const QByteArray data = numberedRecords(2 * 1024 * 1024);
    FloodLink link(data);
    openFloodLink(link, device, QStringLiteral("burst"));
    if (QTest::currentTestFailed())
        return;
    BurstHost &host = link.host;
    Channel *channel = link.channel.get();
    link.spies->data.clear();
    channel->holdInput(true);
    link.aim();
    host.go();
    QTRY_VERIFY_WITH_TIMEOUT(host.heldBack(), 20000);
    QVERIFY(!host.done());
    QCOMPARE(link.spies->data.count(), 0);

    QByteArray received;
    qsizetype largest = 0;
    qsizetype thisTurn = 0;
    qsizetype mostInATurn = 0;
    QTimer turns;
    connect(&turns, &QTimer::timeout, &turns, [&] { thisTurn = 0; });
    turns.start(0);
    int whileHeld = 0;
    int slices = 0;
    connect(channel, &Channel::dataReceived, &turns, [&](const QByteArray &bytes) {
        whileHeld += channel->isInputHeld();
        received += bytes;
        largest = std::max(largest, bytes.size());
        thisTurn += bytes.size();
        mostInATurn = std::max(mostInATurn, thisTurn);
        QElapsedTimer busy; // a screen that takes its time
        busy.start();
        while (busy.nsecsElapsed() < 500000) { }
        // Now and then it falls behind and holds the link until the next turn.
        if (++slices % 3 == 0) {
            channel->holdInput(true);
            QTimer::singleShot(0, channel, [&] { channel->holdInput(false); });
        }
    });
    channel->holdInput(false);
    QTRY_VERIFY_WITH_TIMEOUT(received.size() >= data.size(), 60000);
    QCOMPARE(received.size(), data.size());
    QVERIFY(received == data);
    QCOMPARE(whileHeld, 0);
    QVERIFY2(largest <= emu::InputSlice, qPrintable(QString::number(largest)));
    QVERIFY2(mostInATurn <= 16 * emu::InputSlice, qPrintable(QString::number(mostInATurn)));
    channel->close();
}

void tst_Channels::ptyFloodInLargePieces_data()
{
    QTest::addColumn<int>("device");
    QTest::newRow("ssh") << int(emu::device::Ssh);
    QTest::newRow("serial") << int(emu::device::Serial);
    QTest::newRow("modem") << int(emu::device::Modem);
}

// A host that writes a lot at once through a terminal, read by a quick receiver: what the
// terminal holds comes in large pieces, not a signal for each of its small reads.
void tst_Channels::ptyFloodInLargePieces()
{
    QFETCH(int, device);
    const QByteArray data = numberedRecords(8 * 1024 * 1024);
    FloodLink link(data);
    openFloodLink(link, device, QStringLiteral("pieces"));
    if (QTest::currentTestFailed())
        return;
    Channel *channel = link.channel.get();
    QByteArray received;
    int pieces = 0;
    qsizetype largest = 0;
    connect(channel, &Channel::dataReceived, this, [&](const QByteArray &bytes) {
        received += bytes;
        ++pieces;
        largest = std::max(largest, bytes.size());
    });
    link.aim();
    QElapsedTimer clock;
    clock.start();
    link.host.go();
    QTRY_VERIFY_WITH_TIMEOUT(received.size() >= data.size(), 60000);
    const qint64 ms = std::max<qint64>(1, clock.elapsed());
    QCOMPARE(received.size(), data.size());
    QVERIFY(received == data);
    const qsizetype mean = received.size() / pieces;
    qInfo().noquote() << QStringLiteral("%1 bytes in %2 pieces (mean %3) in %4 ms: %5 MB/s")
                             .arg(received.size())
                             .arg(pieces)
                             .arg(mean)
                             .arg(ms)
                             .arg(double(received.size()) / 1000.0 / double(ms), 0, 'f', 1);
    QVERIFY2(mean >= emu::InputSlice / 2, qPrintable(QString::number(mean)));
    QVERIFY2(largest <= emu::InputSlice, qPrintable(QString::number(largest)));
    channel->close();
}

void tst_Channels::backlogWhilePeerIsSlow_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<qint64>("size");
    QTest::newRow("raw TCP") << int(emu::device::Tcp) << qint64(16 * 1024 * 1024);
    QTest::newRow("serial") << int(emu::device::Serial) << qint64(1024 * 1024);
    QTest::newRow("ssh") << int(emu::device::Ssh) << qint64(1024 * 1024);
}

// A peer that takes nothing for a while: what the link cannot take waits as the channel's
// backlog; once the peer reads, bytesWritten() counts it all out and the backlog is empty.
void tst_Channels::backlogWhilePeerIsSlow()
{
    QFETCH(int, device);
    QFETCH(qint64, size);
    std::unique_ptr<emu::Settings> settings;
    std::function<void()> startReading;
    // Raw TCP: a server socket that reads nothing until told, with small buffers.
    QTcpServer server;
    QTcpSocket *peer = nullptr;
    // Serial: the device side of a pseudo-terminal, read when told.
    PtyPair pty;
    QTimer ptyReader;
    // SSH: a client that reads its terminal once a FIFO says so.
    const QString fifo = m_dir.filePath(QStringLiteral("go-%1").arg(QTest::currentDataTag()));
    if (device == emu::device::Tcp) {
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const int small = 64 * 1024;
        ::setsockopt(int(server.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        settings = settingsFor(emu::device::Tcp, "127.0.0.1", QString::number(server.serverPort()));
        startReading = [&] {
            connect(peer, &QTcpSocket::readyRead, peer, [&] { peer->readAll(); });
            peer->readAll();
        };
    } else if (device == emu::device::Serial) {
        QVERIFY(pty.isValid());
        settings = settingsFor(emu::device::Serial);
        settings->setPort(pty.portNumber());
        connect(&ptyReader, &QTimer::timeout, &ptyReader, [&] { pty.clear(); });
        startReading = [&] { ptyReader.start(1); };
    } else {
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        settings = settingsFor(emu::device::Ssh, "user@example.org", "");
        startReading = [&] {
            QFile go(fifo);
            QVERIFY(go.open(QIODevice::WriteOnly));
            go.write("go\n");
        };
    }
    std::unique_ptr<Channel> channel(emu::createChannel(*settings));
    if (device == emu::device::Ssh)
        static_cast<emu::SshChannel *>(channel.get())
            ->setProgram(fakeSsh("stty raw -echo\necho READY\nread go < '" + QFile::encodeName(fifo)
                + "'\nexec cat > /dev/null\n"));
    Spies spies(channel.get());
    QSignalSpy written(channel.get(), &Channel::bytesWritten);
    channel->open();
    QVERIFY(spies.connected.wait());
    if (device == emu::device::Tcp) {
        QTRY_VERIFY(server.hasPendingConnections());
        peer = server.nextPendingConnection();
        peer->setReadBufferSize(4096);
    }
    if (device == emu::device::Ssh)
        QVERIFY(spies.waitForData("READY"));
    QCOMPARE(channel->backlog(), 0);

    QVERIFY(channel->write(QByteArray(size, 'x')));
    // The link took what it could. A serial port reports a write only when the device can take
    // more, which a pseudo-terminal nobody reads may never do: look at the backlog instead.
    QTRY_VERIFY_WITH_TIMEOUT(channel->backlog() < size, 20000);
    QVERIFY2(channel->backlog() > size / 2, qPrintable(QString::number(channel->backlog())));
    startReading();
    QTRY_COMPARE_WITH_TIMEOUT(channel->backlog(), 0, 20000);
    // A serial port counts its last write out once the device can take more: soon after.
    const auto total = [&] {
        qint64 sum = 0;
        for (const QList<QVariant> &args : std::as_const(written))
            sum += args.at(0).toLongLong();
        return sum;
    };
    QTRY_COMPARE(total(), size);
    channel->close();
    QCOMPARE(channel->backlog(), 0);
}

void tst_Channels::telnetRepliesBounded_data()
{
    QTest::addColumn<QByteArray>("request"); // what the host sends again and again
    QTest::addColumn<int>("resizes"); // screen size changes (DECCOLM) meanwhile
    QTest::addColumn<qint64>("userData"); // written before, so that the backlog is over the cap
    QTest::addColumn<QByteArray>("replies"); // every reply the requests want, once each

    const QByteArray ttype = FakeHost::subnegotiation(24, "\x01");
    const QByteArray ttypeIs = FakeHost::subnegotiation(24, QByteArray("\x00vt100", 6));
    QTest::newRow("terminal type") << ttype << 0 << qint64(0) << ttypeIs;
    QTest::newRow("NAWS on and off")
        << FakeHost::iac(FakeHost::DO, 31) + FakeHost::iac(FakeHost::DONT, 31) << 0 << qint64(0)
        << FakeHost::iac(FakeHost::WILL, 31) + naws(80, 24) + FakeHost::iac(FakeHost::WONT, 31);
    QTest::newRow("options refused")
        << FakeHost::iac(FakeHost::DO, 99) + FakeHost::iac(FakeHost::WILL, 98) << 0 << qint64(0)
        << FakeHost::iac(FakeHost::WONT, 99) + FakeHost::iac(FakeHost::DONT, 98);
    QByteArray manyOptions;
    QByteArray manyRefusals;
    for (unsigned char option = 40; option < 100; ++option) {
        manyOptions += FakeHost::iac(FakeHost::DO, option);
        manyRefusals += FakeHost::iac(FakeHost::WONT, option);
    }
    QTest::newRow("sixty options refused") << manyOptions << 0 << qint64(0) << manyRefusals;
    QTest::newRow("column mode toggles")
        << ttype << 20000 << qint64(0) << ttypeIs + naws(132, 24) + naws(80, 24);
    // Over the cap nothing more is queued, not even a first reply.
    QTest::newRow("behind the user's data") << ttype << 2000 << qint64(8 * 1024 * 1024)
                                            << QByteArray();
}

// A Telnet host that never reads and negotiates without end: what waits for it stays small,
// since a reply that already waits is not queued again and nothing is queued over the cap.
void tst_Channels::telnetRepliesBounded()
{
    QFETCH(QByteArray, request);
    QFETCH(int, resizes);
    QFETCH(qint64, userData);
    QFETCH(QByteArray, replies);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const int small = 64 * 1024;
    ::setsockopt(int(server.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    auto settings = settingsFor(emu::device::Telnet, "127.0.0.1", QString::number(server.serverPort()));
    settings->setTermType(12); // VT100
    emu::TelnetChannel channel(*settings);
    Spies spies(&channel);
    channel.open();
    QVERIFY(spies.connected.wait());
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    peer->setReadBufferSize(4096); // and never read
    peer->write(FakeHost::iac(FakeHost::DO, 24) + FakeHost::iac(FakeHost::DO, 31));
    if (userData > 0) {
        QVERIFY(channel.write(QByteArray(userData, 'x')));
        QTRY_VERIFY(channel.backlog() < userData); // the system took what it could
        QVERIFY(emu::AnswerBudget::backlogged(channel.backlog()));
    }
    const qint64 before = channel.backlog();

    // Some megabytes of requests; then the size toggles, as DECCOLM does, and more requests.
    const QByteArray flood = request.repeated(4 * 1024 * 1024 / request.size());
    peer->write(flood + "half");
    QVERIFY(spies.waitForData("half", 60000));
    for (int i = 0; i < resizes; ++i)
        channel.setWindowSize(i % 2 ? 80 : 132, 24);
    peer->write(flood + "end");
    QVERIFY(spies.waitForData("end", 60000));
    qInfo() << "queued for the host after" << 2 * flood.size() << "bytes of requests:"
            << channel.backlog() << "bytes";
    // The report that answers DO NAWS may still wait as well.
    QVERIFY2(channel.backlog() - before <= replies.size() + naws(80, 24).size(),
        qPrintable(QString::number(channel.backlog() - before)));
}

void tst_Channels::sshClose()
{
    const QString program = fakeSsh("echo ready\nwhile :; do read -r line || exit 0; done\n");
    auto settings = settingsFor(emu::device::Ssh, "host", "2222");
    emu::SshChannel channel(*settings);
    channel.setProgram(program);
    closeAndReopen(&channel, [](Spies &spies, int) {
        const bool up = spies.waitForData("ready");
        spies.data.clear();
        return up;
    });
}

void tst_Channels::sshRefusedSettings_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("program");
    QTest::addColumn<int>("code");

    auto row
        = [](const char *name, const char *host, const char *port, const char *program, int code) {
              QTest::newRow(name) << QString::fromLatin1(host) << QString::fromLatin1(port)
                                  << QString::fromLatin1(program) << code;
          };
    row("no host", "", "", "", ce::BadSetting);
    row("option as host", "-oProxyCommand=touch x", "", "", ce::BadSetting);
    row("blank in host", "a b", "", "", ce::BadSetting);
    row("bad port", "host", "0", "", ce::BadSetting);
    row("no client", "host", "", "/nonexistent/ssh", ce::StartFailed);
}

void tst_Channels::sshRefusedSettings()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, program);
    QFETCH(int, code);

    auto settings = settingsFor(emu::device::Ssh, host, port);
    emu::SshChannel channel(*settings);
    channel.setProgram(program.isEmpty() ? fakeSsh("exit 0\n") : program);
    expectOpenFailure(&channel, code);
}

// The link is up once the server has let the client in, and the session works both ways.
void tst_Channels::sshLinkUpAfterLogin()
{
    LocalSshd sshd;
    if (!sshd.isRunning())
        QSKIP(sshd.skipReason());
    auto settings = settingsFor(emu::device::Ssh, "127.0.0.1", sshd.portText());
    settings->setConnectTimeout(10);
    emu::SshChannel channel(*settings);
    channel.setProgram(sshd.clientProgram(LocalSshd::Login::AcceptedKey));
    Spies spies(&channel);
    channel.open();
    QVERIFY(spies.connected.wait(20000));
    QVERIFY(channel.isConnected());
    QVERIFY(channel.write("echo sum-$((6*7))\r"));
    QVERIFY(spies.waitForData("sum-42", 10000));
    QVERIFY(!spies.received().contains("nv-link-up-"));
    QVERIFY(channel.write("exit\r"));
    QVERIFY(spies.disconnected.wait(10000));
    QCOMPARE(spies.lastDisconnectCode(), ce::ClosedByHost);
    QCOMPARE(spies.error.count(), 0);
}

// While the client asks for the password the channel is open (the answer goes through it) but
// not connected; a wrong password ends the open with the login refused.
void tst_Channels::sshPromptIsNoLink()
{
    LocalSshd sshd;
    if (!sshd.isRunning())
        QSKIP(sshd.skipReason());
    auto settings = settingsFor(emu::device::Ssh, "127.0.0.1", sshd.portText());
    emu::SshChannel channel(*settings);
    channel.setProgram(sshd.clientProgram(LocalSshd::Login::Password));
    Spies spies(&channel);
    channel.open();
    QVERIFY(spies.waitForData("password:", 20000));
    QVERIFY(channel.isOpen());
    QVERIFY(!channel.isConnected());
    QCOMPARE(spies.connected.count(), 0);
    QVERIFY(channel.write("not the password\r"));
    QVERIFY(spies.error.wait(20000));
    QCOMPARE(spies.lastErrorCode(), ce::PermissionDenied);
    QCoreApplication::processEvents();
    QCOMPARE(spies.connected.count(), 0);
    QCOMPARE(spies.disconnected.count(), 0);
    QCOMPARE(channel.state(), Channel::State::Closed);
}

void tst_Channels::sshFailures_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port"); // "server", "closed" or "silent"
    QTest::addColumn<int>("login");
    QTest::addColumn<int>("code");

    const QString local = QStringLiteral("127.0.0.1");
    const int accepted = int(LocalSshd::Login::AcceptedKey);
    QTest::newRow("refused") << local << "closed" << accepted << ce::Refused;
    QTest::newRow("unknown host") << "no-such-host.invalid" << "server" << accepted
                                  << ce::HostNotFound;
    QTest::newRow("timeout") << local << "silent" << accepted << ce::TimedOut;
    QTest::newRow("key refused") << local << "server" << int(LocalSshd::Login::RefusedKey)
                                 << ce::PermissionDenied;
}

// Each failure to connect fails the open with the code a network channel gives it.
void tst_Channels::sshFailures()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(int, login);
    QFETCH(int, code);

    LocalSshd sshd;
    if (!sshd.isRunning())
        QSKIP(sshd.skipReason());
    std::optional<SilentPort> silent;
    if (port == QLatin1String("silent")) {
        silent.emplace();
        QVERIFY(silent->isReady());
        port = QString::number(silent->port());
    } else if (port == QLatin1String("closed")) {
        port = QString::number(closedLoopbackPort());
    } else {
        port = sshd.portText();
    }
    auto settings = settingsFor(emu::device::Ssh, host, port);
    settings->setConnectTimeout(1);
    emu::SshChannel channel(*settings);
    channel.setProgram(sshd.clientProgram(LocalSshd::Login(login)));
    expectOpenFailure(&channel, code, 20000);
}

QTEST_GUILESS_MAIN(tst_Channels)
#include "tst_channels.moc"
