#include "emulator/tcpchannel.h"

#include "emulator/emulog.h"

#include <QTcpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace emu {

namespace {

// The system takes more from us only while less than this waits unsent in its socket buffer
// (which it may otherwise let grow to megabytes): what is handed over is soon on the wire.
constexpr int unsentLowWater = 128 * 1024;
// What the system keeps for us of the host's bytes (it doubles the figure for its own use);
// left to itself it lets the buffer grow to tens of megabytes under a flood.
constexpr int receiveBuffer = 256 * 1024;

} // namespace

quint16 parsePort(const QString &text, quint16 defaultPort)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return defaultPort;
    bool ok = false;
    const uint port = trimmed.toUInt(&ok);
    return ok && port >= 1 && port <= 65535 ? quint16(port) : 0;
}

TcpChannel::TcpChannel(const Settings &settings, QObject *parent)
    : TcpChannel(settings, 0, parent)
{ }

TcpChannel::TcpChannel(const Settings &settings, quint16 defaultPort, QObject *parent)
    : Channel(parent)
    , m_socket(new QTcpSocket(this))
    , m_host(settings.HostName().trimmed())
    , m_portText(settings.HostPort())
    , m_port(parsePort(settings.HostPort(), defaultPort))
    , m_timeoutSeconds(settings.ConnectTimeout())
    , m_keepAlive(settings.TelnetKeepalive() != 0)
    , m_noDelay(settings.TelnetNoDelay() != 0)
{
    // What the socket holds for us beyond that waits in the system's buffer, and then the host.
    m_socket->setReadBufferSize(InputBufferSize);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TcpChannel::onTimeout);
    connect(m_socket, &QTcpSocket::connected, this, &TcpChannel::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &TcpChannel::inputReady);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &TcpChannel::onSocketError);
    connect(m_socket, &QTcpSocket::disconnected, this, &TcpChannel::onDisconnected);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &Channel::bytesWritten);
}

TcpChannel::~TcpChannel()
{
    // No signals from a channel being destroyed.
    m_socket->disconnect(this);
}

void TcpChannel::open()
{
    if (state() != State::Closed)
        return;
    if (m_host.isEmpty())
        return failOpenLater(channelerror::BadSetting, QStringLiteral("no host name"));
    if (m_port == 0)
        return failOpenLater(channelerror::BadSetting,
            m_portText.trimmed().isEmpty()
                ? QStringLiteral("no host port")
                : QStringLiteral("bad host port \"%1\"").arg(m_portText));
    setState(State::Opening);
    m_handedOver = 0;
    m_socket->connectToHost(m_host, m_port);
    if (m_timeoutSeconds > 0)
        m_timer.start(m_timeoutSeconds * 1000);
}

void TcpChannel::close()
{
    const State was = state();
    m_timer.stop();
    setState(State::Closed); // before abort(), whose signals then find the channel closed
    m_socket->abort();
    if (was == State::Open)
        emit disconnected(channelerror::None, QString());
}

bool TcpChannel::write(const QByteArray &data)
{
    if (!isOpen())
        return false;
    sendRaw(encode(data));
    return true;
}

qint64 TcpChannel::backlog() const
{
    return isOpen() ? m_socket->bytesToWrite() : 0;
}

QString TcpChannel::description() const
{
    return QStringLiteral("TCP %1:%2").arg(m_host).arg(m_port);
}

void TcpChannel::sendRaw(const QByteArray &bytes)
{
    if (!bytes.isEmpty() && m_socket->state() == QAbstractSocket::ConnectedState)
        m_handedOver += std::max<qint64>(0, m_socket->write(bytes));
}

void TcpChannel::onConnected()
{
    if (state() != State::Opening)
        return;
    m_timer.stop();
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, m_keepAlive ? 1 : 0);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, m_noDelay ? 1 : 0);
    m_socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBuffer);
    const int unsent = unsentLowWater;
    if (::setsockopt(int(m_socket->socketDescriptor()), IPPROTO_TCP, TCP_NOTSENT_LOWAT, &unsent,
            sizeof unsent)
        != 0)
        qCDebug(lcEmulator) << "no TCP_NOTSENT_LOWAT:" << strerror(errno);
    reportOpened();
    if (isOpen())
        linkUp();
    // Bytes that came with the connection are read now that the channel is open.
    if (m_socket->bytesAvailable() > 0)
        inputReady();
}

// A read that finds the socket's buffer short of max also lets the socket fetch more from the
// system again (it stops when its buffer is full).
bool TcpChannel::readInput(qsizetype max, QByteArray *bytes)
{
    const QByteArray raw = m_socket->read(max);
    if (raw.isEmpty())
        return false;
    *bytes = decode(raw);
    return true;
}

void TcpChannel::onSocketError(QAbstractSocket::SocketError socketError)
{
    const QString detail = m_socket->errorString();
    if (state() == State::Opening) {
        m_timer.stop();
        int code = channelerror::ConnectionLost;
        switch (socketError) {
        case QAbstractSocket::HostNotFoundError:
            code = channelerror::HostNotFound;
            break;
        case QAbstractSocket::ConnectionRefusedError:
            code = channelerror::Refused;
            break;
        case QAbstractSocket::SocketTimeoutError:
            code = channelerror::TimedOut;
            break;
        case QAbstractSocket::SocketAccessError:
            code = channelerror::PermissionDenied;
            break;
        default:
            break;
        }
        m_socket->abort();
        reportOpenFailed(code, detail);
    } else if (state() == State::Open) {
        if (socketError == QAbstractSocket::RemoteHostClosedError)
            onDisconnected();
        else {
            drainInput(); // what came before is passed on first
            if (isOpen())
                endLink(channelerror::ConnectionLost, detail);
        }
    }
}

void TcpChannel::onDisconnected()
{
    if (state() != State::Open)
        return;
    // What the host sent before it closed is still passed on (a handler may close us meanwhile).
    drainInput();
    if (isOpen())
        endLink(channelerror::ClosedByHost, QString());
}

void TcpChannel::onTimeout()
{
    if (state() != State::Opening)
        return;
    m_socket->abort();
    reportOpenFailed(channelerror::TimedOut,
        QStringLiteral("no answer from %1 within %2 seconds").arg(m_host).arg(m_timeoutSeconds));
}

void TcpChannel::endLink(int code, const QString &detail)
{
    setState(State::Closed);
    m_socket->abort();
    reportEnded(code, detail);
}

} // namespace emu
