#include "emulator/serialchannel.h"

#include "emulator/emulog.h"

#include <QFile>
#include <QTimer>

#include <algorithm>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace emu {

namespace {

constexpr int kBreakMs = 250;
// One read of the device: what a terminal hands over at most at once.
constexpr qsizetype kDeviceReadSize = 4096;

// The serial port reports a device that another program holds (its lock file, or the
// terminal's exclusive mode: EBUSY) as a permission error too. A device we may read and write
// is busy, not forbidden.
int permissionOrBusy(const QString &device)
{
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0
        ? channelerror::DeviceBusy
        : channelerror::PermissionDenied;
}

} // namespace

SerialChannel::SerialChannel(const Settings &settings, QObject *parent)
    : Channel(parent)
    , m_port(new QSerialPort(this))
    , m_portName(serialDeviceName(settings.Port()))
    , m_portNumber(settings.Port())
    , m_baud(baudRate(settings.Baud()))
    , m_parity(settings.Parity())
    , m_dataBits(settings.DataBits())
    , m_stopBits(settings.StopBits())
    , m_handshake(settings.Handshake())
{
    // What the port holds for us beyond that waits in the system's buffer (and the handshake, when
    // there is one, holds the host back).
    m_port->setReadBufferSize(InputBufferSize);
    connect(m_port, &QSerialPort::readyRead, this, &SerialChannel::inputReady);
    connect(m_port, &QSerialPort::errorOccurred, this, &SerialChannel::onError);
    connect(m_port, &QSerialPort::bytesWritten, this, &Channel::bytesWritten);
}

SerialChannel::~SerialChannel()
{
    m_port->disconnect(this);
}

QString SerialChannel::configure()
{
    static const QSerialPort::Parity parities[] = { QSerialPort::NoParity, QSerialPort::OddParity,
        QSerialPort::EvenParity, QSerialPort::MarkParity, QSerialPort::SpaceParity };
    if (m_baud <= 0 || !m_port->setBaudRate(m_baud))
        return QStringLiteral("baud rate %1").arg(m_baud);
    if (m_parity < 0 || m_parity > 4 || !m_port->setParity(parities[m_parity]))
        return QStringLiteral("parity %1").arg(m_parity);
    if (m_dataBits < 5 || m_dataBits > 8 || !m_port->setDataBits(QSerialPort::DataBits(m_dataBits)))
        return QStringLiteral("data bits %1").arg(m_dataBits);
    if (m_stopBits < 1 || m_stopBits > 3 || !m_port->setStopBits(QSerialPort::StopBits(m_stopBits)))
        return QStringLiteral("stop bits %1").arg(m_stopBits);
    static const QSerialPort::FlowControl flows[] = { QSerialPort::NoFlowControl,
        QSerialPort::SoftwareControl, QSerialPort::HardwareControl };
    if (m_handshake < 0 || m_handshake > 2 || !m_port->setFlowControl(flows[m_handshake]))
        return QStringLiteral("handshake %1").arg(m_handshake);
    return {};
}

void SerialChannel::open()
{
    if (state() != State::Closed)
        return;
    if (m_portName.isEmpty())
        return failOpenLater(channelerror::BadSetting, QStringLiteral("port %1").arg(m_portNumber));
    m_port->setPortName(m_portName);
    if (const QString bad = configure(); !bad.isEmpty())
        return failOpenLater(channelerror::BadSetting, bad);
    if (!m_port->open(QIODevice::ReadWrite)) {
        int code = channelerror::DeviceError;
        switch (m_port->error()) {
        case QSerialPort::DeviceNotFoundError:
            code = channelerror::DeviceNotFound;
            break;
        case QSerialPort::PermissionError:
            code = permissionOrBusy(m_portName);
            break;
        case QSerialPort::OpenError:
            code = channelerror::DeviceBusy;
            break;
        default:
            break;
        }
        const QString detail = m_port->portName() + QStringLiteral(": ") + m_port->errorString();
        m_port->clearError();
        return failOpenLater(code, detail);
    }
    setState(State::Opening);
    QTimer::singleShot(0, this, [this] {
        if (state() != State::Opening)
            return;
        reportOpened();
        if (m_port->bytesAvailable() > 0)
            inputReady();
    });
}

void SerialChannel::close()
{
    const bool wasConnected = isConnected();
    setState(State::Closed);
    m_port->close();
    if (wasConnected)
        emit disconnected(channelerror::None, QString());
}

bool SerialChannel::write(const QByteArray &data)
{
    if (!isOpen())
        return false;
    return m_port->write(data) == data.size();
}

qint64 SerialChannel::backlog() const
{
    return isOpen() ? m_port->bytesToWrite() : 0;
}

bool SerialChannel::sendBreak()
{
    if (!isOpen() || !m_port->setBreakEnabled(true))
        return false;
    QTimer::singleShot(kBreakMs, m_port, [port = m_port] {
        if (port->isOpen())
            port->setBreakEnabled(false);
    });
    return true;
}

QString SerialChannel::description() const
{
    return QStringLiteral("Serial %1 %2").arg(m_portName).arg(m_baud);
}

// What the port fetched first, then what the system holds for the device, up to max: the port
// itself fetches one terminal read (a few KiB) per wake-up. The device is non-blocking; a read
// that finds nothing, the end of the line or an error stops here and leaves the port's own
// watch to see it (a line that ended is reported through onError()). A read that finds the
// port's buffer short of max lets the port fetch from the system again.
bool SerialChannel::readInput(qsizetype max, QByteArray *bytes)
{
    *bytes = m_port->read(max);
    const int fd = int(m_port->handle());
    char buffer[kDeviceReadSize];
    while (fd >= 0 && bytes->size() < max) {
        const ssize_t n = ::read(
            fd, buffer, size_t(std::min<qsizetype>(sizeof buffer, max - bytes->size())));
        if (n > 0)
            bytes->append(buffer, n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return !bytes->isEmpty();
}

void SerialChannel::onError(QSerialPort::SerialPortError serialError)
{
    if (!isOpen() || serialError == QSerialPort::NoError)
        return;
    const QString detail = m_port->errorString();
    switch (serialError) {
    case QSerialPort::ReadError: // what a pseudo-terminal whose other side closed reports
        if (!lineEnded()) {
            // The port's watch woke for bytes that readInput() had already taken.
            qCDebug(lcEmulator) << m_portName << "read found nothing, the line is up:" << detail;
            m_port->clearError();
            break;
        }
        [[fallthrough]];
    case QSerialPort::ResourceError:
        drainInput(); // what came before is passed on first
        if (isOpen())
            endLink(channelerror::ConnectionLost, detail);
        break;
    case QSerialPort::WriteError:
        endLink(channelerror::DeviceError, detail);
        break;
    default:
        // A refused setting or a timeout of a blocking call: the port still works.
        qCDebug(lcEmulator) << m_portName << "error passed over:" << detail;
        break;
    }
}

// The device reports a hang-up or an error (the other side of a pseudo-terminal closed, the
// adapter was unplugged); a device with nothing to read does not.
bool SerialChannel::lineEnded() const
{
    pollfd watch{ int(m_port->handle()), POLLIN, 0 };
    if (watch.fd < 0)
        return true;
    int ready;
    do
        ready = ::poll(&watch, 1, 0);
    while (ready < 0 && errno == EINTR);
    return ready < 0 || (watch.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void SerialChannel::endLink(int code, const QString &detail)
{
    const bool wasConnected = isConnected();
    setState(State::Closed);
    m_port->close();
    if (wasConnected)
        reportEnded(code, detail);
    else
        reportOpenFailed(code, detail); // a modem without a call: there is no link to end
}

} // namespace emu
