#include "emulator/channel.h"

#include "emulator/emulog.h"
#include "emulator/modemchannel.h"
#include "emulator/serialchannel.h"
#include "emulator/sshchannel.h"
#include "emulator/tcpchannel.h"
#include "emulator/telnetchannel.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

namespace emu {

Q_LOGGING_CATEGORY(lcEmulator, "norvalis.emulator", QtInfoMsg)

QString channelErrorText(int code)
{
    using namespace channelerror;
    switch (code) {
    case None:
        return {};
    case HostNotFound:
        return QStringLiteral("Host not found");
    case Refused:
        return QStringLiteral("Connection refused");
    case TimedOut:
        return QStringLiteral("Connection timed out");
    case DeviceNotFound:
        return QStringLiteral("Device not found");
    case DeviceBusy:
        return QStringLiteral("Device is busy");
    case ConnectionLost:
        return QStringLiteral("Connection lost");
    case PermissionDenied:
        return QStringLiteral("Permission denied");
    case DeviceError:
        return QStringLiteral("Device error");
    case ClosedByHost:
        return QStringLiteral("Connection closed by host");
    case CarrierLost:
        return QStringLiteral("Carrier lost");
    case DialBusy:
        return QStringLiteral("Busy");
    case DialNoCarrier:
        return QStringLiteral("No carrier");
    case DialNoDialtone:
        return QStringLiteral("No dial tone");
    case DialNoAnswer:
        return QStringLiteral("No answer");
    case DialError:
        return QStringLiteral("Dial failed");
    case BadSetting:
        return QStringLiteral("Invalid setting");
    case StartFailed:
        return QStringLiteral("Cannot start the connection program");
    case NotSupported:
        return QStringLiteral("Not supported by this device");
    case Busy:
        return QStringLiteral("A dial or hang-up is in progress");
    case NotOpen:
        return QStringLiteral("The connection is not open");
    }
    return QStringLiteral("Communication error %1").arg(code);
}

Channel::Channel(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<emu::Channel::State>();
}

Channel::~Channel() = default;

bool Channel::sendBreak()
{
    return false;
}

void Channel::setWindowSize(int, int) { }

qint64 Channel::backlog() const
{
    return 0;
}

int Channel::dial(const QString &)
{
    return channelerror::NotSupported;
}

int Channel::hangUp()
{
    close();
    return channelerror::None;
}

int Channel::dialStatus() const
{
    return dialstatus::Idle;
}

Channel::State Channel::state() const
{
    return m_state;
}

bool Channel::isConnected() const
{
    return isOpen();
}

void Channel::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    if (state == State::Closed)
        m_inputHeld = false;
    emit stateChanged(state);
}

// --- Reading -------------------------------------------------------------------------------

void Channel::holdInput(bool held)
{
    if (m_inputHeld == held)
        return;
    m_inputHeld = held;
    if (!held)
        inputReady();
}

void Channel::inputReady()
{
    if (m_pumpQueued || m_inputHeld)
        return;
    m_pumpQueued = true;
    QMetaObject::invokeMethod(this, &Channel::pumpInput, Qt::QueuedConnection);
}

void Channel::pumpInput()
{
    m_pumpQueued = false;
    QElapsedTimer clock;
    clock.start();
    QPointer<Channel> alive(this);
    bool more = true;
    while (more && !m_inputHeld && m_state == State::Open) {
        if (clock.elapsed() >= InputBudgetMs)
            return inputReady(); // the rest on the next turn
        if (!readSlice(&more) || !alive)
            return;
    }
}

void Channel::drainInput()
{
    QPointer<Channel> alive(this);
    bool more = true;
    while (more && m_state == State::Open) {
        if (!readSlice(&more) || !alive)
            return;
    }
}

// Reads and passes on one slice; *more says whether the device had one. False when the channel
// was deleted by a receiver.
bool Channel::readSlice(bool *more)
{
    QByteArray bytes;
    *more = readInput(InputSlice, &bytes);
    if (bytes.isEmpty())
        return true;
    QPointer<Channel> alive(this);
    passOn(bytes);
    return !alive.isNull();
}

void Channel::passOn(const QByteArray &bytes)
{
    emit dataReceived(bytes);
}

// The code's text and the detail, saying nothing twice: a detail such as the system's own
// "Connection refused" often repeats the text, in whole or at its end.
QString Channel::errorMessage(int code, const QString &detail)
{
    const QString text = channelErrorText(code);
    const QString trimmed = detail.trimmed();
    if (trimmed.isEmpty() || trimmed.compare(text, Qt::CaseInsensitive) == 0)
        return text;
    if (text.isEmpty())
        return trimmed;
    const QString tail = QStringLiteral(": ") + text;
    if (trimmed.endsWith(tail, Qt::CaseInsensitive))
        return text + QStringLiteral(": ") + trimmed.chopped(tail.size());
    if (trimmed.contains(text, Qt::CaseInsensitive))
        return trimmed;
    return text + QStringLiteral(": ") + trimmed;
}

void Channel::reportOpened()
{
    setState(State::Open);
    if (isConnected())
        emit connected();
}

void Channel::reportOpenFailed(int code, const QString &detail)
{
    setState(State::Closed);
    emit error(code, errorMessage(code, detail));
}

void Channel::reportEnded(int code, const QString &detail)
{
    setState(State::Closed);
    const QString text = errorMessage(code, detail);
    if (code != channelerror::None && code != channelerror::ClosedByHost)
        emit error(code, text);
    emit disconnected(code, text);
}

void Channel::failOpenLater(int code, const QString &detail)
{
    setState(State::Opening);
    QTimer::singleShot(0, this, [this, code, detail] {
        if (state() == State::Opening)
            reportOpenFailed(code, detail);
    });
}

namespace {

Channel *newChannel(const Settings &settings, QObject *parent)
{
    switch (settings.Device()) {
    case device::Serial:
        return new SerialChannel(settings, parent);
    case device::Tcp:
        return new TcpChannel(settings, parent);
    case device::Telnet:
        return new TelnetChannel(settings, parent);
    case device::Modem:
        return new ModemChannel(settings, parent);
    case device::Ssh:
        return new SshChannel(settings, parent);
    default:
        return nullptr;
    }
}

struct NetworkDevice
{
    Int device;
    const char *scheme;
    quint16 defaultPort;
};
constexpr NetworkDevice networkDevices[] = {
    { device::Tcp, "tcp", 0 },
    { device::Telnet, "telnet", 23 },
    { device::Ssh, "ssh", 22 },
};

} // namespace

Channel *createChannel(const Settings &settings, QObject *parent)
{
    Channel *channel = newChannel(settings, parent);
    if (channel)
        channel->m_peerName = peerName(settings);
    return channel;
}

QString linkTarget(const Settings &settings)
{
    const Int device = settings.Device();
    for (const NetworkDevice &d : networkDevices) {
        if (d.device != device)
            continue;
        const quint16 port = parsePort(settings.HostPort(), d.defaultPort);
        return QStringLiteral("%1 port %2")
            .arg(settings.HostName().trimmed(),
                port ? QString::number(port) : settings.HostPort().trimmed());
    }
    if (device == device::Serial || device == device::Modem)
        return serialDeviceName(settings.Port());
    return {};
}

QString peerName(const Settings &settings)
{
    const Int device = settings.Device();
    for (const NetworkDevice &d : networkDevices) {
        if (d.device != device)
            continue;
        const quint16 port = parsePort(settings.HostPort(), d.defaultPort);
        return QStringLiteral("%1:%2:%3")
            .arg(QLatin1String(d.scheme), settings.HostName().trimmed().toLower(),
                port ? QString::number(port) : settings.HostPort().trimmed());
    }
    if (device == device::Serial)
        return QStringLiteral("serial:") + serialDeviceName(settings.Port());
    if (device == device::Modem)
        return QStringLiteral("modem:") + serialDeviceName(settings.Port());
    return QStringLiteral("none");
}

QString serialDeviceName(Int port)
{
    if (port >= 1 && port <= 99)
        return QStringLiteral("/dev/ttyS%1").arg(port - 1);
    if (port >= 100 && port <= 199)
        return QStringLiteral("/dev/ttyUSB%1").arg(port - 100);
    if (port >= 200 && port <= 299)
        return QStringLiteral("/dev/ttyACM%1").arg(port - 200);
    if (port >= 1000)
        return QStringLiteral("/dev/pts/%1").arg(port - 1000);
    return {};
}

} // namespace emu
