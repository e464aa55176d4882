#include "emulator/sshchannel.h"

#include "emulator/emulog.h"
#include "emulator/tcpchannel.h"

#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace emu {

namespace {

// A host name the client can only take as a destination: no option ("-..."), no blanks or
// control characters that would split or bend the command.
bool isSafeHost(const QString &host)
{
    if (host.isEmpty() || host.startsWith(u'-'))
        return false;
    for (QChar c : host) {
        if (c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

winsize windowSize(int cols, int rows)
{
    winsize ws {};
    ws.ws_col = ushort(qBound(1, cols, 0xFFFF));
    ws.ws_row = ushort(qBound(1, rows, 0xFFFF));
    return ws;
}

void setCloseOnExec(int fd)
{
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

void setNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

constexpr qsizetype maxClientLine = 4096; // longer error output is shown in pieces
constexpr qsizetype keptClientMessages = 8;

// What the client says when it fails to connect, and the code a network channel gives the same
// failure. The texts are the client's own; they have been the same for many releases.
struct ClientFailure
{
    const char *text;
    int code;
};
constexpr ClientFailure clientFailures[] = {
    { "Could not resolve hostname", channelerror::HostNotFound },
    { "Name or service not known", channelerror::HostNotFound },
    { "Connection refused", channelerror::Refused },
    { "timed out", channelerror::TimedOut },
    { "Permission denied", channelerror::PermissionDenied },
    { "Too many authentication failures", channelerror::PermissionDenied },
    { "Host key verification failed", channelerror::PermissionDenied },
    { "No more authentication methods", channelerror::PermissionDenied },
};

} // namespace

SshChannel::SshChannel(const Settings &settings, QObject *parent)
    : Channel(parent)
    , m_host(settings.HostName().trimmed())
    , m_portText(settings.HostPort())
    , m_port(parsePort(settings.HostPort(), 22))
    , m_terminalName(settings.hostTerminalName().toLatin1())
    , m_timeoutSeconds(settings.ConnectTimeout())
    , m_keepAliveSeconds(settings.SSHKeepAlive())
    , m_breakCharacter(settings.SSHBreakCharacter())
    , m_cols(settings.NormCols())
    , m_rows(settings.NormRows())
{ }

SshChannel::~SshChannel()
{
    releaseTerminal();
    discardProcess();
}

// Options on the command line take precedence over the user's configuration. The local command
// goes through the user's shell; it hands the marker to /bin/sh, whose syntax we know. A client
// that joins a shared (multiplexed) connection runs no local command: ours connect themselves.
QStringList SshChannel::arguments() const
{
    QStringList args { QStringLiteral("-p"), QString::number(m_port) };
    if (m_timeoutSeconds > 0)
        args << QStringLiteral("-o") << QStringLiteral("ConnectTimeout=%1").arg(m_timeoutSeconds);
    if (m_keepAliveSeconds > 0)
        args << QStringLiteral("-o")
             << QStringLiteral("ServerAliveInterval=%1").arg(m_keepAliveSeconds);
    args << QStringLiteral("-o") << QStringLiteral("PermitLocalCommand=yes") << QStringLiteral("-o")
         << QStringLiteral("LocalCommand=/bin/sh -c \"echo %1 >&2\"")
                .arg(QString::fromLatin1(m_marker))
         << QStringLiteral("-o") << QStringLiteral("ControlMaster=no") << QStringLiteral("-o")
         << QStringLiteral("ControlPath=none");
    args << QStringLiteral("--") << m_host;
    return args;
}

int SshChannel::failureCode(const QString &clientMessage)
{
    for (const ClientFailure &failure : clientFailures) {
        if (clientMessage.contains(QLatin1String(failure.text), Qt::CaseInsensitive))
            return failure.code;
    }
    return channelerror::None;
}

bool SshChannel::isConnected() const
{
    return isOpen() && m_linkUp;
}

void SshChannel::open()
{
    if (state() != State::Closed)
        return;
    if (!isSafeHost(m_host))
        return failOpenLater(channelerror::BadSetting,
            m_host.isEmpty() ? QStringLiteral("no host name")
                             : QStringLiteral("bad host name \"%1\"").arg(m_host));
    if (m_port == 0)
        return failOpenLater(
            channelerror::BadSetting, QStringLiteral("bad host port \"%1\"").arg(m_portText));
    const QString program
        = m_program.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("ssh")) : m_program;
    if (program.isEmpty())
        return failOpenLater(channelerror::StartFailed, QStringLiteral("no ssh client found"));

    int master = -1;
    int slave = -1;
    winsize ws = windowSize(m_cols, m_rows);
    if (::openpty(&master, &slave, nullptr, nullptr, &ws) != 0)
        return failOpenLater(channelerror::StartFailed, QString::fromLocal8Bit(strerror(errno)));
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(master);
        ::close(slave);
        return failOpenLater(channelerror::StartFailed, QString::fromLocal8Bit(strerror(error)));
    }
    setCloseOnExec(master);
    setCloseOnExec(slave); // the child's copies on 0, 1 and 2 stay open
    setNonBlocking(master);
    setNonBlocking(errorPipe[0]);
    m_master = master;
    m_errorPipe = errorPipe[0];
    const int errorWriter = errorPipe[1];
    m_linkUp = false;
    m_errorLine.clear();
    m_clientMessages.clear();
    m_marker = "nv-link-up-" + QByteArray::number(QRandomGenerator::system()->generate64(), 16);

    m_process = new QProcess(this);
    m_process->setProgram(program);
    m_process->setArguments(arguments());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TERM"), QString::fromLatin1(m_terminalName));
    m_process->setProcessEnvironment(env);
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    m_process->setInputChannelMode(QProcess::ForwardedInputChannel);
    // In the child: a session of its own with the pseudo-terminal as its controlling terminal.
    m_process->setChildProcessModifier([slave, errorWriter] {
        ::setsid();
        ::ioctl(slave, TIOCSCTTY, 0);
        ::dup2(slave, STDIN_FILENO);
        ::dup2(slave, STDOUT_FILENO);
        ::dup2(errorWriter, STDERR_FILENO);
    });
    connect(m_process, &QProcess::started, this, [this] {
        if (state() != State::Opening)
            return;
        m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &SshChannel::onReadable);
        m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
        m_writeNotifier->setEnabled(false);
        connect(m_writeNotifier, &QSocketNotifier::activated, this, &SshChannel::flush);
        m_errorNotifier = new QSocketNotifier(m_errorPipe, QSocketNotifier::Read, this);
        connect(m_errorNotifier, &QSocketNotifier::activated, this, &SshChannel::onErrorOutput);
        reportOpened(); // open, not yet connected: the client has yet to log in
    });
    connect(m_process, &QProcess::finished, this, &SshChannel::onFinished);
    connect(m_process, &QProcess::errorOccurred, this, &SshChannel::onProcessError);

    setState(State::Opening);
    m_process->start();
    ::close(slave); // the child has its own; the terminal must have no other writer
    ::close(errorWriter); // likewise: the pipe ends with the client
}

void SshChannel::close()
{
    const bool wasConnected = isConnected();
    setState(State::Closed);
    releaseTerminal(); // the client gets SIGHUP, as from a terminal that goes away
    discardProcess();
    if (wasConnected)
        emit disconnected(channelerror::None, QString());
}

bool SshChannel::write(const QByteArray &data)
{
    if (!isOpen() || m_master < 0)
        return false;
    m_pending += data;
    flush();
    return true;
}

// Writes what the terminal takes now; the rest waits for the client to read (never blocking).
void SshChannel::flush()
{
    qsizetype done = 0;
    while (m_master >= 0 && done < m_pending.size()) {
        const ssize_t n
            = ::write(m_master, m_pending.constData() + done, size_t(m_pending.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // The client has gone: finished() ends the link.
            qCDebug(lcEmulator) << "ssh terminal write failed:" << strerror(errno);
            break;
        } else {
            break; // full for now: the write notifier says when it takes more
        }
    }
    m_pending.remove(0, done);
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_pending.isEmpty());
    if (done > 0)
        emit bytesWritten(done);
}

bool SshChannel::sendBreak()
{
    if (m_breakCharacter <= 0 || m_breakCharacter > 255)
        return false;
    return write(QByteArray(1, char(m_breakCharacter)));
}

void SshChannel::setWindowSize(int cols, int rows)
{
    m_cols = cols;
    m_rows = rows;
    applyWindowSize();
}

void SshChannel::applyWindowSize()
{
    if (m_master < 0)
        return;
    const winsize ws = windowSize(m_cols, m_rows);
    ::ioctl(m_master, TIOCSWINSZ, &ws);
}

QString SshChannel::description() const
{
    return QStringLiteral("SSH %1:%2").arg(m_host).arg(m_port);
}

bool SshChannel::readInput(qsizetype max, QByteArray *bytes)
{
    if (m_master < 0)
        return false;
    char buffer[4096];
    bool watch = false;
    while (bytes->size() < max) {
        const ssize_t n = ::read(
            m_master, buffer, size_t(std::min<qsizetype>(sizeof buffer, max - bytes->size())));
        if (n > 0) {
            bytes->append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: nothing more now; 0 or EIO: no writer left on the terminal's other side.
        watch = n < 0 && errno == EAGAIN;
        break;
    }
    if (bytes->isEmpty() && watch && m_notifier)
        m_notifier->setEnabled(true);
    return !bytes->isEmpty();
}

// The terminal is read from the event loop, a slice at a time; it is not watched meanwhile.
void SshChannel::onReadable()
{
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (isOpen() && m_master >= 0)
        inputReady();
}

void SshChannel::onErrorOutput()
{
    if (!isOpen())
        return;
    drainErrorOutput(false);
}

void SshChannel::drainErrorOutput(bool final)
{
    char buffer[4096];
    bool open = true;
    while (open && m_errorPipe >= 0 && isOpen()) {
        const ssize_t n = ::read(m_errorPipe, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        open = n > 0;
        if (n == 0 && m_errorNotifier)
            m_errorNotifier->setEnabled(false); // the client has closed it
        if (n > 0)
            m_errorLine.append(buffer, n);
        qsizetype end;
        while (isOpen() && (end = m_errorLine.indexOf('\n')) >= 0) {
            const QByteArray line = m_errorLine.left(end);
            m_errorLine.remove(0, end + 1);
            clientLine(line);
        }
        if (isOpen() && m_errorLine.size() >= maxClientLine)
            clientLine(std::exchange(m_errorLine, QByteArray()));
    }
    if (final && isOpen() && !m_errorLine.isEmpty())
        clientLine(std::exchange(m_errorLine, QByteArray()));
}

// A line of the client's error output: the marker brings the link up, the rest is shown.
void SshChannel::clientLine(const QByteArray &line)
{
    QByteArray text = line;
    while (text.endsWith('\r'))
        text.chop(1);
    if (!m_linkUp && text == m_marker) {
        linkUp();
        return;
    }
    if (!m_linkUp) {
        m_clientMessages << QString::fromLocal8Bit(text).trimmed();
        if (m_clientMessages.size() > keptClientMessages)
            m_clientMessages.removeFirst();
    }
    emit dataReceived(text + "\r\n");
}

void SshChannel::linkUp()
{
    m_linkUp = true;
    m_clientMessages.clear();
    emit connected();
}

void SshChannel::onFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    if (state() == State::Opening) {
        releaseTerminal();
        discardProcess();
        failOpenLater(channelerror::StartFailed, QString());
        return;
    }
    if (!isOpen())
        return;
    // The client is gone: what it left, on the terminal and in its error output.
    drainInput();
    drainErrorOutput(true);
    if (!isOpen())
        return; // a handler of the last data closed the channel
    if (!m_linkUp)
        return failBeforeLink(exitCode, exitStatus);
    releaseTerminal();
    discardProcess();
    reportEnded(channelerror::ClosedByHost,
        exitStatus == QProcess::CrashExit
            ? QStringLiteral("the ssh client crashed")
            : QStringLiteral("the ssh client ended with status %1").arg(exitCode));
}

// The client ended before it logged in: open failed, for the reason its last words give.
void SshChannel::failBeforeLink(int exitCode, QProcess::ExitStatus exitStatus)
{
    int code = channelerror::ConnectionLost;
    QString detail = exitStatus == QProcess::CrashExit
        ? QStringLiteral("the ssh client crashed")
        : QStringLiteral("the ssh client ended with status %1").arg(exitCode);
    for (qsizetype i = m_clientMessages.size() - 1; i >= 0; --i) {
        if (const int found = failureCode(m_clientMessages.at(i))) {
            code = found;
            detail = m_clientMessages.at(i);
            break;
        }
    }
    if (code == channelerror::ConnectionLost && !m_clientMessages.isEmpty())
        detail = m_clientMessages.last();
    if (detail.startsWith(QLatin1String("ssh: ")))
        detail.remove(0, 5);
    qCDebug(lcEmulator) << "ssh client ended before the login:" << m_clientMessages;
    releaseTerminal();
    discardProcess();
    reportOpenFailed(code, detail);
}

void SshChannel::onProcessError(QProcess::ProcessError processError)
{
    if (processError != QProcess::FailedToStart || state() != State::Opening) {
        // A crash or a lost pipe of a running client: finished() tells the rest.
        qCDebug(lcEmulator) << "ssh client:" << m_process->errorString();
        return;
    }
    const QString detail = m_process->errorString();
    releaseTerminal();
    discardProcess();
    failOpenLater(channelerror::StartFailed, detail); // start() may report it from inside open()
}

void SshChannel::releaseTerminal()
{
    delete m_notifier;
    m_notifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    delete m_errorNotifier;
    m_errorNotifier = nullptr;
    m_pending.clear();
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
    if (m_errorPipe >= 0)
        ::close(m_errorPipe);
    m_errorPipe = -1;
}

void SshChannel::discardProcess()
{
    if (!m_process)
        return;
    QProcess *process = m_process;
    m_process = nullptr;
    process->disconnect(this);
    if (process->state() != QProcess::NotRunning) {
        // SIGKILL ends the client at once; reaping it here leaves no zombie and no running
        // process behind a channel that is destroyed next.
        process->kill();
        process->waitForFinished(1000);
    }
    process->deleteLater();
}

} // namespace emu
