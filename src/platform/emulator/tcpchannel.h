#pragma once
// Raw TCP connections (Device 2), and the socket handling that Telnet builds on: connect to
// HostName:HostPort within ConnectTimeout, pass bytes both ways, tell how the link ended. The
// system keeps little unsent data for the socket, so that the backlog (what waits in the
// socket's buffer here) tells how far the host is behind.

#include "emulator/channel.h"

#include <QAbstractSocket>
#include <QTimer>

class QTcpSocket;

namespace emu {

class TcpChannel : public Channel
{
    Q_OBJECT
public:
    explicit TcpChannel(const Settings &settings, QObject *parent = nullptr);
    ~TcpChannel() override;

    Int device() const override { return device::Tcp; }
    void open() override;
    void close() override;
    bool write(const QByteArray &data) override;
    qint64 backlog() const override;
    QString description() const override;

    QString hostName() const { return m_host; }
    // The port HostPort names (the default port when empty), 0 when it names none.
    quint16 port() const { return m_port; }

protected:
    // For Telnet: the port when HostPort is empty (0: a port is required).
    TcpChannel(const Settings &settings, quint16 defaultPort, QObject *parent);
    // Hooks of the protocol on top: the connection is up; bytes came in (returns the bytes to
    // pass on); bytes go out (returns the bytes to send).
    virtual void linkUp() { }
    virtual QByteArray decode(const QByteArray &received) { return received; }
    virtual QByteArray encode(const QByteArray &data) { return data; }
    // Sends bytes as they are (protocol replies).
    void sendRaw(const QByteArray &bytes);
    // The bytes given to the socket since the link was opened; the last backlog() of them have
    // not gone out yet.
    qint64 handedOver() const { return m_handedOver; }
    bool readInput(qsizetype max, QByteArray *bytes) override;

private:
    void onConnected();
    void onSocketError(QAbstractSocket::SocketError socketError);
    void onDisconnected();
    void onTimeout();
    void endLink(int code, const QString &detail);

    QTcpSocket *m_socket;
    QTimer m_timer;
    QString m_host;
    QString m_portText;
    quint16 m_port = 0;
    qint64 m_handedOver = 0;
    int m_timeoutSeconds = 0;
    bool m_keepAlive = false;
    bool m_noDelay = false;
};

// A HostPort text as a port number: the default when empty, 0 when it is not 1-65535.
quint16 parsePort(const QString &text, quint16 defaultPort);

} // namespace emu
