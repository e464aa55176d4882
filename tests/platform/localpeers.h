#pragma once
// Real peers on loopback for the emulator's channels, started and stopped by their owner: raw TCP
// through socat, Telnet through the system's telnetd (socat starts one per connection, as inetd
// would) and SSH through LocalSshd. For each connection the peer runs a shell command: the host's
// side of the session. For SSH the control finds LocalSshd's client wrapper first on PATH.
// Header-only, for the tests and the benchmarks.

#include "emulator/emusettings.h"
#include "platform/fakehost.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

class LocalPeer
{
public:
    enum class Kind { RawTcp, Telnet, Ssh };

    LocalPeer(Kind kind, QString command)
        : m_kind(kind)
        , m_command(std::move(command))
    {
        // The server goes with its owner, even one that crashes.
        m_server.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    }
    ~LocalPeer() { stop(); }
    LocalPeer(const LocalPeer &) = delete;
    LocalPeer &operator=(const LocalPeer &) = delete;

    static const char *kindName(Kind kind)
    {
        return kind == Kind::RawTcp ? "raw TCP" : kind == Kind::Telnet ? "Telnet" : "SSH";
    }

    // Starts the server and waits until it listens; false with the reason when a program is
    // missing or the server does not come up.
    bool start(QString *why)
    {
        if (!m_dir.isValid())
            return fail(why, QStringLiteral("no temporary directory"));
        m_port = closedLoopbackPort(); // free: the server takes it next
        const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
        const QString session = writeScript(QStringLiteral("session"), m_command.toUtf8());
        if (socat.isEmpty() && m_kind != Kind::Ssh)
            return fail(why, QStringLiteral("socat is not installed"));
        const QString listen
            = QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork").arg(m_port);
        switch (m_kind) {
        case Kind::RawTcp:
            m_server.start(socat,
                { QStringLiteral("-d"), QStringLiteral("-d"), listen,
                    QStringLiteral("EXEC:%1,nofork").arg(session) });
            break;
        case Kind::Telnet: {
            const QString telnetd = findSystemProgram({ "telnetd", "in.telnetd" });
            if (telnetd.isEmpty())
                return fail(why, QStringLiteral("telnetd is not installed"));
            // -h: no banner before the session; -E: the session instead of login.
            m_server.start(socat,
                { QStringLiteral("-d"), QStringLiteral("-d"), listen,
                    QStringLiteral("EXEC:%1 -h -E %2,nofork").arg(telnetd, session) });
            break;
        }
        case Kind::Ssh:
            m_sshd = std::make_unique<LocalSshd>(session);
            if (!m_sshd->isRunning())
                return fail(why, QString::fromUtf8(m_sshd->skipReason()));
            m_port = m_sshd->port();
            return true;
        }
        if (!m_server.waitForStarted())
            return fail(why, QStringLiteral("the server did not start"));
        // socat -d -d says so on stderr once it listens.
        QByteArray log;
        const bool listening = QTest::qWaitFor(
            [&] {
                log += m_server.readAllStandardError();
                return log.contains("istening on") || m_server.state() == QProcess::NotRunning;
            },
            10000);
        if (!listening || m_server.state() != QProcess::Running)
            return fail(
                why, QStringLiteral("the server did not listen: ") + QString::fromUtf8(log));
        return true;
    }

    void stop()
    {
        if (m_server.state() == QProcess::NotRunning)
            return;
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
        m_server.waitForFinished();
    }

    quint16 port() const { return m_port; }

    // Device, host and port of the peer (and the SSH client wrapper on PATH).
    void configure(emu::Settings *settings) const
    {
        settings->setHostName(QStringLiteral("127.0.0.1"));
        settings->setHostPort(QString::number(m_port));
        settings->setDevice(m_kind == Kind::RawTcp ? emu::device::Tcp
                : m_kind == Kind::Telnet           ? emu::device::Telnet
                                                   : emu::device::Ssh);
        if (m_kind != Kind::Ssh)
            return;
        const QByteArray bin = QFile::encodeName(m_sshd->clientDir(LocalSshd::Login::AcceptedKey));
        const QByteArray path = qgetenv("PATH");
        if (!path.startsWith(bin + ':'))
            qputenv("PATH", bin + ':' + path);
    }

private:
    static bool fail(QString *why, const QString &reason)
    {
        *why = reason;
        return false;
    }

    static QString findSystemProgram(std::initializer_list<const char *> names)
    {
        const QStringList dirs { QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
            QStringLiteral("/usr/local/sbin"), QStringLiteral("/usr/bin") };
        for (const char *name : names) {
            const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name), dirs);
            if (!found.isEmpty())
                return found;
        }
        return QString();
    }

    QString writeScript(const QString &name, const QByteArray &body)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write("#!/bin/sh\n" + body + '\n');
            file.close();
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        return path;
    }

    Kind m_kind;
    QString m_command;
    QTemporaryDir m_dir;
    QProcess m_server;
    std::unique_ptr<LocalSshd> m_sshd;
    quint16 m_port = 0;
};
