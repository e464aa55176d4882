#pragma once
// A fake host on a loopback TCP port for tests of the terminal emulator's connections: it accepts
// clients, sends bytes, collects what it receives and closes when told. Telnet helpers build the
// protocol's commands. A silent port lets a client time out; LocalSshd is a real sshd on a free
// loopback port. Header-only, so any test can include it ("platform/fakehost.h").

#include "emulator/telnetchannel.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

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
    // Called with each piece the current client sends, after it was added to received().
    void setReceiver(std::function<void(const QByteArray &)> receiver)
    {
        m_receiver = std::move(receiver);
    }
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
                if (socket != m_client)
                    return;
                const QByteArray piece = socket->readAll();
                m_received += piece;
                if (m_receiver)
                    m_receiver(piece);
            });
        }
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_received;
    std::function<void(const QByteArray &)> m_receiver;
    int m_connections = 0;
    bool m_listening = false;
};

// A loopback port that was free a moment ago and has no listener now: a client is refused at
// once. (0 if no port could be had.)
inline quint16 closedLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

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

// The system's sshd on a free loopback port, run by the test with a throwaway host key and
// configuration in a temporary folder; it lets in the current user with one key and no other.
// clientDir() is a folder holding "ssh", a wrapper around the system client with a configuration
// of its own (that key or another, or password login; its own known-hosts file), to put first on
// PATH or give to SshChannel::setProgram. A command given runs for every login in place of the
// user's shell. When the server cannot run, skipReason() tells why.
class LocalSshd
{
public:
    enum class Login { AcceptedKey, RefusedKey, Password };

    explicit LocalSshd(const QString &command = QString())
    {
        const QString sshd = QStandardPaths::findExecutable(
            QStringLiteral("sshd"), { "/usr/sbin", "/usr/local/sbin", "/sbin" });
        const QString client = QStandardPaths::findExecutable(QStringLiteral("ssh"));
        const QString keygen = QStandardPaths::findExecutable(QStringLiteral("ssh-keygen"));
        if (sshd.isEmpty() || client.isEmpty() || keygen.isEmpty()) {
            m_skipReason = "sshd, ssh or ssh-keygen is not installed (scripts/setup installs them)";
            return;
        }
        if (!m_dir.isValid() || !makeKey(keygen, "host") || !makeKey(keygen, "accepted")
            || !makeKey(keygen, "refused"))
            return;
        QFile::copy(path("accepted.pub"), path("authorized_keys"));
        // Run by root, sshd wants its privilege-separation folder, which its service would make.
        if (::geteuid() == 0)
            QDir().mkpath(QStringLiteral("/run/sshd"));
        m_port = closedLoopbackPort(); // free: the server takes it next
        write("sshd_config",
            QStringLiteral("ListenAddress 127.0.0.1\nPort %1\nHostKey %2\n"
                           "AuthorizedKeysFile %3\nPidFile none\nStrictModes no\nUsePAM no\n"
                           "PasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
                           "PermitRootLogin yes\nMaxStartups 50\n")
                    .arg(m_port)
                    .arg(path("host"), path("authorized_keys"))
                + (command.isEmpty() ? QString()
                                     : QStringLiteral("ForceCommand %1\n").arg(command)));
        for (Login login : { Login::AcceptedKey, Login::RefusedKey, Login::Password })
            writeClient(client, login);
        m_server.setProgram(sshd);
        m_server.setArguments({ "-D", "-e", "-f", path("sshd_config") });
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start();
        const bool up = m_server.waitForStarted(5000)
            && QTest::qWaitFor(
                [&] { return m_server.state() != QProcess::Running || answers(); }, 10000);
        if (!up || m_server.state() != QProcess::Running) {
            m_skipReason = "sshd cannot run here: "
                + m_server.readAll().simplified().left(300).toStdString();
            return;
        }
        m_running = true;
    }
    ~LocalSshd()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.kill();
            m_server.waitForFinished(5000);
        }
    }
    bool isRunning() const { return m_running; }
    const char *skipReason() const { return m_skipReason.c_str(); }
    quint16 port() const { return m_port; }
    QString portText() const { return QString::number(m_port); }
    QString clientDir(Login login) const { return path(clientName(login)); }
    QString clientProgram(Login login) const
    {
        return QDir(clientDir(login)).filePath(QStringLiteral("ssh"));
    }

private:
    static QString clientName(Login login)
    {
        switch (login) {
        case Login::AcceptedKey:
            return QStringLiteral("accepted-client");
        case Login::RefusedKey:
            return QStringLiteral("refused-client");
        case Login::Password:
            return QStringLiteral("password-client");
        }
        return {};
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    void write(const QString &name, const QString &text)
    {
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8());
    }
    bool makeKey(const QString &keygen, const QString &name)
    {
        QProcess process;
        process.start(keygen, { "-q", "-t", "ed25519", "-N", "", "-f", path(name) });
        if (process.waitForFinished(30000) && process.exitCode() == 0)
            return true;
        m_skipReason = "ssh-keygen failed";
        return false;
    }
    // The server greets a client with its version line.
    bool answers() const
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        return socket.waitForConnected(500) && socket.waitForReadyRead(2000)
            && socket.readAll().startsWith("SSH-");
    }
    void writeClient(const QString &client, Login login)
    {
        const QString name = clientName(login);
        QDir(m_dir.path()).mkpath(name);
        QString config = QStringLiteral("Host *\n  UserKnownHostsFile %1\n"
                                        "  GlobalKnownHostsFile /dev/null\n"
                                        "  StrictHostKeyChecking accept-new\n"
                                        "  NumberOfPasswordPrompts 1\n")
                             .arg(path("known_hosts"));
        if (login == Login::Password)
            config += QStringLiteral("  PreferredAuthentications password\n");
        else
            config += QStringLiteral("  PreferredAuthentications publickey\n  IdentitiesOnly yes\n"
                                     "  IdentityFile %1\n")
                          .arg(path(login == Login::AcceptedKey ? "accepted" : "refused"));
        write(name + "/config", config);
        const QString wrapper = name + "/ssh";
        write(wrapper,
            QStringLiteral("#!/bin/sh\nexec %1 -F %2 \"$@\"\n")
                .arg(client, path(name + "/config")));
        QFile::setPermissions(
            path(wrapper), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QTemporaryDir m_dir;
    QProcess m_server;
    quint16 m_port = 0;
    bool m_running = false;
    std::string m_skipReason = "sshd did not start";
};
