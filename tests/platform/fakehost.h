#pragma once
// A fake host on a loopback TCP port for tests of the terminal emulator's connections: it accepts
// clients, sends bytes, collects what it receives and closes when told. Telnet helpers build the
// protocol's commands. Header-only, so any test can include it ("platform/fakehost.h").

#include "emulator/telnetchannel.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <initializer_list>
#include <memory>
#include <vector>

class FakeHost : public emu::Telnet
{
public:
    FakeHost()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] { acceptPending(); });
        m_listening = m_server.listen(QHostAddress::LocalHost, 0);
    }

    bool isListening() const { return m_listening; }
    quint16 port() const { return m_server.serverPort(); }
    QString portText() const { return QString::number(port()); }

    // Clients accepted so far (a closed one stays counted).
    int connectionCount() const { return m_connections; }
    // Waits until the count reaches n.
    bool waitForConnection(int n = 1, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return m_connections >= n; }, ms);
    }
    bool hasClient() const { return m_client && m_client->state() == QTcpSocket::ConnectedState; }

    void send(const QByteArray &bytes)
    {
        if (m_client) {
            m_client->write(bytes);
            m_client->flush();
        }
    }
    // Everything the current client sent since it connected (or since clearReceived()).
    QByteArray received() const { return m_received; }
    void clearReceived() { m_received.clear(); }
    bool waitForReceived(const QByteArray &needle, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return m_received.contains(needle); }, ms);
    }
    bool waitForReceivedSize(qsizetype size, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return m_received.size() >= size; }, ms);
    }
    // The host ends the connection.
    void closeClient()
    {
        if (m_client)
            m_client->disconnectFromHost();
    }
    void stopListening() { m_server.close(); }

    // Telnet commands (the constants come with emu::Telnet).
    static QByteArray bytes(std::initializer_list<unsigned char> list)
    {
        QByteArray out;
        for (unsigned char b : list)
            out += char(b);
        return out;
    }
    static QByteArray iac(unsigned char verb, unsigned char option)
    {
        return bytes({ IAC, verb, option });
    }
    static QByteArray iac(unsigned char command) { return bytes({ IAC, command }); }
    // IAC SB option payload IAC SE; the payload as it goes on the wire (IACs already doubled).
    static QByteArray subnegotiation(unsigned char option, const QByteArray &payload)
    {
        return bytes({ IAC, SB, option }) + payload + bytes({ IAC, SE });
    }

private:
    void acceptPending()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            ++m_connections;
            if (m_client)
                m_client->deleteLater();
            m_client = socket;
            m_received.clear();
            QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] {
                if (socket == m_client)
                    m_received += socket->readAll();
            });
        }
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_received;
    int m_connections = 0;
    bool m_listening = false;
};

// A loopback port that takes no connection: its listen queue is full and never served, so the
// kernel drops further connection requests and a client waits until its own time-out. (A closed
// port would refuse at once instead.)
class SilentPort
{
public:
    SilentPort()
    {
        m_server.setListenBacklogSize(0);
        if (!m_server.listen(QHostAddress::LocalHost, 0))
            return;
        m_server.pauseAccepting();
        // The queue holds one connection more than the backlog: fill it.
        for (int i = 0; i < 2; ++i) {
            auto filler = std::make_unique<QTcpSocket>();
            filler->connectToHost(QHostAddress::LocalHost, m_server.serverPort());
            m_fillers.push_back(std::move(filler));
        }
        m_ready = QTest::qWaitFor(
            [&] { return m_fillers.front()->state() == QTcpSocket::ConnectedState; }, 5000);
    }
    bool isReady() const { return m_ready; }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
    std::vector<std::unique_ptr<QTcpSocket>> m_fillers;
    bool m_ready = false;
};
