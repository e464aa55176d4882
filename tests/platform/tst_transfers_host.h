#pragma once
// A host for transfer tests: a loopback TCP port whose first client is joined to a real transfer
// program (lrzsz's, or kermit behind a pseudo-terminal made by socat), as if that program ran
// in the user's shell on the host. The connection stays open after the program ends, as a shell
// would keep it, unless the host is to close it then (a one-shot host); kill() makes the host
// go away. What goes to the client can be paced, so that a
// test can act in the middle of a transfer. A paced host also reads the client no faster than
// its pace, with small socket buffers, so that a client sending faster finds its link full.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <limits>

#include <sys/socket.h>

class TransferHost : public QObject
{
public:
    explicit TransferHost(const QString &workDir)
        : m_workDir(workDir)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        connect(&m_program, &QProcess::readyReadStandardOutput, this,
            [this] { toClient(m_program.readAllStandardOutput()); });
        m_program.setProcessChannelMode(QProcess::SeparateChannels);
        connect(&m_program, &QProcess::finished, this, [this] {
            if (!m_closeAtEnd || !m_client)
                return;
            toClient(m_program.readAllStandardOutput());
            m_client->disconnectFromHost(); // after what is still to be written
        });
        m_pace.setInterval(10);
        connect(&m_pace, &QTimer::timeout, this, [this] { flushPaced(); });
    }
    ~TransferHost() override { kill(); }

    quint16 port() const { return m_server.serverPort(); }

    // The program runs when the client connects, in the host's work folder. With terminal, it
    // gets a pseudo-terminal in raw mode (through socat) instead of pipes.
    void setCommand(const QString &program, const QStringList &arguments, bool terminal = false)
    {
        if (!terminal) {
            m_program.setProgram(program);
            m_program.setArguments(arguments);
        } else {
            // socat's EXEC takes no quoting: the command goes into a script file.
            const QString script = QDir(m_workDir).filePath(QStringLiteral(".host.sh"));
            QFile file(script);
            file.open(QIODevice::WriteOnly | QIODevice::Truncate);
            QByteArray text = "#!/bin/sh\nexec " + quoted(program);
            for (const QString &argument : arguments)
                text += ' ' + quoted(argument);
            file.write(text + '\n');
            file.close();
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
            m_program.setProgram(QStringLiteral("socat"));
            m_program.setArguments({ QStringLiteral("STDIO"),
                QStringLiteral("EXEC:%1,pty,raw,echo=0,setsid,ctty").arg(script) });
        }
        m_program.setWorkingDirectory(m_workDir);
    }
    // The host closes the link right after its program has ended (not with a pace).
    void setCloseAtEnd(bool close) { m_closeAtEnd = close; }
    // Text the host shows before the program starts (a shell's echo, say).
    void setGreeting(const QByteArray &text) { m_greeting = text; }
    // At most this many bytes each way every 10 ms (0: as they come). Before the client connects.
    void setPace(qsizetype bytesPerTick)
    {
        m_bytesPerTick = bytesPerTick;
        if (bytesPerTick > 0) {
            // Taken over by the accepted connection: the window the client sees stays small.
            const int size = int(16 * bytesPerTick);
            ::setsockopt(int(m_server.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        }
    }

    bool programEnded(int ms = 60000)
    {
        return QTest::qWaitFor([&] { return m_started && m_program.state() == QProcess::NotRunning; }, ms);
    }
    int exitCode() const { return m_program.exitStatus() == QProcess::NormalExit ? m_program.exitCode() : -1; }
    // The host goes away: its program is killed and the connection closes.
    void kill()
    {
        m_pace.stop();
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished(5000);
        }
        if (m_client)
            m_client->abort();
    }
    // Sends text to the client as the host's shell would, after the program.
    void send(const QByteArray &bytes) { toClient(bytes); }

private:
    static QByteArray quoted(const QString &word)
    {
        QByteArray bytes = QFile::encodeName(word);
        bytes.replace('\'', "'\\''");
        return '\'' + bytes + '\'';
    }

    void accept()
    {
        QTcpSocket *socket = m_server.nextPendingConnection();
        if (m_client || !socket) {
            delete socket;
            return;
        }
        m_client = socket;
        if (m_bytesPerTick > 0)
            socket->setReadBufferSize(m_bytesPerTick);
        connect(socket, &QTcpSocket::readyRead, this, [this] {
            if (m_bytesPerTick <= 0)
                flushPaced();
            else if (!m_pace.isActive())
                m_pace.start();
        });
        if (!m_greeting.isEmpty())
            toClient(m_greeting);
        m_started = true;
        m_program.start();
    }

    void toClient(const QByteArray &bytes)
    {
        m_toClient += bytes;
        if (m_bytesPerTick <= 0)
            flushPaced();
        else if (!m_pace.isActive())
            m_pace.start();
    }

    // Both ways: everything, or a tick's worth.
    void flushPaced()
    {
        const qsizetype n = m_bytesPerTick > 0 ? m_bytesPerTick : std::numeric_limits<qsizetype>::max();
        if (m_client)
            m_toProgram += m_bytesPerTick > 0 ? m_client->read(n) : m_client->readAll();
        if (m_client && !m_toClient.isEmpty())
            m_client->write(m_toClient.left(n));
        m_toClient.remove(0, std::min(n, m_toClient.size()));
        if (m_program.state() != QProcess::NotRunning && !m_toProgram.isEmpty())
            m_program.write(m_toProgram.left(n));
        m_toProgram.remove(0, std::min(n, m_toProgram.size()));
        if (m_toClient.isEmpty() && m_toProgram.isEmpty()
            && (!m_client || m_client->bytesAvailable() == 0))
            m_pace.stop();
    }

    QString m_workDir;
    QTcpServer m_server;
    QTcpSocket *m_client = nullptr;
    QProcess m_program;
    QByteArray m_greeting;
    QByteArray m_toClient;
    QByteArray m_toProgram;
    QTimer m_pace;
    qsizetype m_bytesPerTick = 0;
    bool m_started = false;
    bool m_closeAtEnd = false;
};
