#pragma once
// Real peers on loopback for the emulator's channels, started and stopped by their owner: raw TCP
// through socat, Telnet through the system's telnetd (socat starts one per connection, as inetd
// would) and SSH through sshd with keys of its own. For each connection the peer runs a shell
// command: the host's side of the session. For SSH the control finds a client wrapper named ssh
// first on PATH, which trusts the peer and logs in with the peer's key.
// Header-only, for the tests and the benchmarks.

#include "emulator/emusettings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <pwd.h>
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
        m_port = freePort();
        const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
        if (socat.isEmpty() && m_kind != Kind::Ssh)
            return fail(why, QStringLiteral("socat is not installed"));
        const QString session = writeScript(QStringLiteral("session"), m_command.toUtf8());
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
            if (!prepareSsh(session, why))
                return false;
            m_server.start(m_sshd,
                { QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"),
                    m_dir.filePath(QStringLiteral("sshd_config")) });
            break;
        }
        if (!m_server.waitForStarted())
            return fail(why, QStringLiteral("the server did not start"));
        // Both socat -d -d and sshd -e say so on stderr once they listen.
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
        settings->setHostPort(QString::number(m_port));
        switch (m_kind) {
        case Kind::RawTcp:
            settings->setDevice(emu::device::Tcp);
            settings->setHostName(QStringLiteral("127.0.0.1"));
            break;
        case Kind::Telnet:
            settings->setDevice(emu::device::Telnet);
            settings->setHostName(QStringLiteral("127.0.0.1"));
            break;
        case Kind::Ssh:
            settings->setDevice(emu::device::Ssh);
            settings->setHostName(userName() + QStringLiteral("@127.0.0.1"));
            const QByteArray bin = QFile::encodeName(m_dir.filePath(QStringLiteral("bin")));
            const QByteArray path = qgetenv("PATH");
            if (!path.startsWith(bin + ':'))
                qputenv("PATH", bin + ':' + path);
            break;
        }
    }

private:
    static bool fail(QString *why, const QString &reason)
    {
        *why = reason;
        return false;
    }

    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
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

    static QString userName()
    {
        const passwd *pw = getpwuid(getuid());
        return pw ? QString::fromLocal8Bit(pw->pw_name) : qEnvironmentVariable("USER");
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

    bool writeText(const QString &name, const QString &text)
    {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(text.toUtf8()) == text.toUtf8().size();
    }

    bool keygen(const QString &name)
    {
        QProcess keygen;
        keygen.start(QStringLiteral("ssh-keygen"),
            { QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                QStringLiteral("-N"), QString(), QStringLiteral("-f"), m_dir.filePath(name) });
        return keygen.waitForFinished() && keygen.exitStatus() == QProcess::NormalExit
            && keygen.exitCode() == 0;
    }

    bool prepareSsh(const QString &session, QString *why)
    {
        m_sshd = findSystemProgram({ "sshd" });
        const QString ssh = QStandardPaths::findExecutable(QStringLiteral("ssh"));
        if (m_sshd.isEmpty() || ssh.isEmpty())
            return fail(why, QStringLiteral("sshd or ssh is not installed"));
        // sshd started by root wants its privilege separation directory.
        if (getuid() == 0 && !QDir(QStringLiteral("/run/sshd")).exists()
            && !QDir().mkpath(QStringLiteral("/run/sshd")))
            return fail(why, QStringLiteral("/run/sshd is missing"));
        if (!keygen(QStringLiteral("host_key")) || !keygen(QStringLiteral("user_key")))
            return fail(why, QStringLiteral("ssh-keygen failed"));
        QFile::copy(m_dir.filePath(QStringLiteral("user_key.pub")),
            m_dir.filePath(QStringLiteral("authorized_keys")));
        const QString dir = m_dir.path();
        const bool written = writeText(QStringLiteral("sshd_config"),
                                 QStringLiteral("Port %1\nListenAddress 127.0.0.1\n"
                                                "HostKey %2/host_key\n"
                                                "AuthorizedKeysFile %2/authorized_keys\n"
                                                "PidFile none\nStrictModes no\nUsePAM no\n"
                                                "PasswordAuthentication no\n"
                                                "KbdInteractiveAuthentication no\n"
                                                "PermitRootLogin prohibit-password\n"
                                                "ForceCommand %3\n")
                                     .arg(m_port)
                                     .arg(dir, session))
            && writeText(QStringLiteral("ssh_config"),
                QStringLiteral("Host *\n  IdentityFile %1/user_key\n  IdentitiesOnly yes\n"
                               "  StrictHostKeyChecking no\n  UserKnownHostsFile /dev/null\n"
                               "  BatchMode yes\n  LogLevel ERROR\n")
                    .arg(dir));
        if (!written || !QDir(dir).mkpath(QStringLiteral("bin")))
            return fail(why, QStringLiteral("the SSH files could not be written"));
        writeScript(QStringLiteral("bin/ssh"),
            QStringLiteral("exec %1 -F %2/ssh_config \"$@\"").arg(ssh, dir).toUtf8());
        return true;
    }

    Kind m_kind;
    QString m_command;
    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_sshd;
    quint16 m_port = 0;
};
