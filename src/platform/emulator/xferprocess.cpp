#include "emulator/xferprocess.h"

#include "emulator/xferengine.h"

#include <QFile>
#include <QPointer>
#include <QProcessEnvironment>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <utility>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/landlock.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

namespace emu {

namespace {

// Chunks read at one wake-up before the event loop gets its turn again.
constexpr int chunksPerWake = 4;
// LANDLOCK_ACCESS_FS_TRUNCATE of ABI 3, which older kernel headers lack.
constexpr quint64 accessTruncate = 1ULL << 14;
// The network rights of ABI 4 (TCP bind and connect) and the scopes of ABI 6 (abstract UNIX
// sockets and signals outside the process's own domain), and the ruleset that holds them.
constexpr long landlockNetAbi = 4;
constexpr long landlockScopeAbi = 6;
constexpr quint64 accessNetTcp = (1ULL << 0) | (1ULL << 1);
constexpr quint64 scopeAbstractUnixAndSignals = (1ULL << 0) | (1ULL << 1);
struct LandlockRuleset
{
    quint64 handledAccessFs = 0;
    quint64 handledAccessNet = 0;
    quint64 scoped = 0;
};

// What a transfer program gets of this process's environment; HOME is its own folder.
const char *const keptEnvironment[] = { "PATH", "LANG", "LC_ALL", "LC_CTYPE", "TZ" };

// No sockets at all (nor io_uring, which can make them): the program reaches no host, no
// session bus, no local service. A system call of another ABI ends the program.
#if defined(__x86_64__)
constexpr quint32 nativeAudit = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr quint32 nativeAudit = AUDIT_ARCH_AARCH64;
#else
constexpr quint32 nativeAudit = 0;
#endif
constexpr quint32 x32Syscalls = 0x40000000;
const sock_filter noSockets[] = {
    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, nativeAudit, 1, 0),
    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, x32Syscalls, 3, 0),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 2, 0),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_io_uring_setup, 1, 0),
    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
};
const sock_fprog noSocketsProgram { sizeof noSockets / sizeof noSockets[0],
    const_cast<sock_filter *>(noSockets) };

QProcessEnvironment programEnvironment(const QString &home)
{
    const QProcessEnvironment own = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment environment;
    for (const char *name : keptEnvironment) {
        if (own.contains(QLatin1String(name)))
            environment.insert(QLatin1String(name), own.value(QLatin1String(name)));
    }
    environment.insert(QStringLiteral("HOME"), home);
    return environment;
}

} // namespace

XferProcess::XferProcess(QObject *parent)
    : QObject(parent)
{
    m_killTimer.setSingleShot(true);
    connect(&m_killTimer, &QTimer::timeout, this, [this] {
        qCDebug(lcEmulator) << m_process.program() << "did not end when asked: killed";
        m_process.kill();
    });
    connect(&m_process, &QProcess::readyReadStandardError, this,
        [this] { emit messages(m_process.readAllStandardError()); });
    connect(&m_process, &QProcess::finished, this, &XferProcess::onFinished);
}

XferProcess::~XferProcess()
{
    if (m_running) {
        disconnect(&m_process, nullptr, this, nullptr);
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    closeStreams();
}

qint64 XferProcess::processId() const
{
    return m_process.processId();
}

bool XferProcess::start(const Spec &spec, QString *error)
{
    m_terminal = spec.terminal;
    if (!(m_terminal ? openTerminal(error) : openSocketPair(error)))
        return false;
    QStringList writable = spec.writableFolders;
    // A terminal program opens its terminal (also by the name /dev/tty) for writing.
    if (m_terminal && !writable.isEmpty())
        writable << QString::fromLocal8Bit(m_slaveName) << QStringLiteral("/dev/tty");
    const int ruleset = confinement(writable);
    const bool filtered = nativeAudit != 0;
    if (!filtered)
        qCDebug(lcEmulator) << "no socket filter for this processor: the program may use the network";
    // The program's input and output are ours, set up by the child below; QProcess keeps only
    // its standard error.
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    // In the child, between fork and exec: async-signal-safe calls only.
    const QByteArray slave = m_terminal ? m_slaveName : QByteArray();
    const int childFd = m_childFd;
    m_process.setChildProcessModifier([slave, childFd, ruleset, filtered] {
        if (childFd >= 0) {
            ::dup2(childFd, STDIN_FILENO);
            ::dup2(childFd, STDOUT_FILENO);
        } else if (!slave.isEmpty()) {
            // The terminal becomes the controlling terminal, on descriptors 0 and 1.
            ::setsid();
            const int fd = ::open(slave.constData(), O_RDWR);
            if (fd < 0)
                ::_exit(127);
            ::ioctl(fd, TIOCSCTTY, 0);
            ::dup2(fd, STDIN_FILENO);
            ::dup2(fd, STDOUT_FILENO);
            if (fd > STDERR_FILENO)
                ::close(fd);
        }
        // Never run unconfined where the confinement is there.
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
            ::_exit(126);
        if (ruleset >= 0 && ::syscall(SYS_landlock_restrict_self, ruleset, 0) != 0)
            ::_exit(126);
        if (filtered && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &noSocketsProgram) != 0)
            ::_exit(126);
    });
    m_process.setProcessEnvironment(programEnvironment(spec.workingDirectory));
    m_process.setProgram(spec.program);
    m_process.setArguments(spec.arguments);
    m_process.setWorkingDirectory(spec.workingDirectory);
    m_process.start();
    const bool started = m_process.waitForStarted(10000);
    if (ruleset >= 0)
        ::close(ruleset);
    // The program has its own copy: the stream ends when the program closes it.
    if (m_childFd >= 0)
        ::close(m_childFd);
    m_childFd = -1;
    if (!started) {
        *error = m_process.errorString();
        closeStreams();
        return false;
    }
    m_running = true;
    return true;
}

// A Landlock ruleset that lets a process write beneath the folders only (none given: anywhere),
// with no TCP and no abstract UNIX socket or signal outside itself where the kernel has those
// rules; -1 when the kernel has nothing of it.
int XferProcess::confinement(const QStringList &folders) const
{
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0,
        LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1 || (folders.isEmpty() && abi < landlockNetAbi)) {
        if (!folders.isEmpty())
            qCDebug(lcEmulator) << "no Landlock in this kernel: the receiver runs unconfined";
        return -1;
    }
    quint64 writes = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR
        | LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR
        | LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK
        | LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK
        | LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2)
        writes |= LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3)
        writes |= accessTruncate;
    LandlockRuleset attr;
    attr.handledAccessFs = folders.isEmpty() ? 0 : writes;
    size_t size = sizeof attr.handledAccessFs;
    if (abi >= landlockNetAbi) {
        attr.handledAccessNet = accessNetTcp;
        size = offsetof(LandlockRuleset, scoped);
    }
    if (abi >= landlockScopeAbi) {
        attr.scoped = scopeAbstractUnixAndSignals;
        size = sizeof attr;
    }
    const int ruleset = int(::syscall(SYS_landlock_create_ruleset, &attr, size, 0));
    if (ruleset < 0)
        return -1;
    ::fcntl(ruleset, F_SETFD, FD_CLOEXEC);
    for (const QString &folder : folders) {
        const int fd = ::open(QFile::encodeName(folder).constData(), O_PATH | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info {};
        landlock_path_beneath_attr rule {};
        // A file (the terminal) takes only the rights that apply to files.
        rule.allowed_access = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)
            ? writes
            : writes & (LANDLOCK_ACCESS_FS_WRITE_FILE | (abi >= 3 ? accessTruncate : 0));
        rule.parent_fd = fd;
        ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
        ::close(fd);
    }
    return ruleset;
}

bool XferProcess::openTerminal(QString *error)
{
    m_fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (m_fd < 0 || ::grantpt(m_fd) != 0 || ::unlockpt(m_fd) != 0
        || ::ptsname_r(m_fd, name, sizeof name) != 0) {
        *error = QStringLiteral("No pseudo-terminal: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        closeStreams();
        return false;
    }
    m_slaveName = QByteArray(name);
    // The parent keeps the slave open: the terminal stays raw until the program sets it up, and
    // what the program wrote last can still be read after it has ended.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios modes {};
    if (m_slave < 0 || ::tcgetattr(m_slave, &modes) != 0) {
        *error = QStringLiteral("Cannot open %1").arg(QString::fromLocal8Bit(name));
        closeStreams();
        return false;
    }
    ::cfmakeraw(&modes);
    ::tcsetattr(m_slave, TCSANOW, &modes);
    watch();
    return true;
}

// A socket pair rather than QProcess's pipes: QProcess reads a pipe into memory as fast as the
// program fills it, where a descriptor of our own is read only as fast as we pass it on.
bool XferProcess::openSocketPair(QString *error)
{
    int ends[2] = { -1, -1 };
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        *error = QStringLiteral("No socket pair: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    m_fd = ends[0];
    m_childFd = ends[1];
    watch();
    return true;
}

void XferProcess::watch()
{
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_readable = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &XferProcess::readOutput);
    m_writable = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Write);
    m_writable->setEnabled(false);
    connect(m_writable.get(), &QSocketNotifier::activated, this, &XferProcess::flushInput);
}

// Reads what the program wrote, a chunk at a time, until it is held, nothing more is there, or
// the event loop is due its turn. Once the program has ended, the end of its output finishes.
void XferProcess::readOutput()
{
    QPointer<XferProcess> self(this);
    for (int chunk = 0; chunk < chunksPerWake && m_running && !m_held && m_fd >= 0; ++chunk) {
        QByteArray data(readChunk, Qt::Uninitialized);
        const ssize_t n = ::read(m_fd, data.data(), size_t(readChunk));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // EAGAIN: nothing for now; else the program's side is closed (EOF, or EIO from a
            // terminal nobody holds open).
            if (n == 0 || errno != EAGAIN) {
                m_outputEnded = true;
                updateReading();
            }
            if (m_exited)
                finish();
            return;
        }
        data.truncate(n);
        emit output(data);
        if (!self)
            return;
    }
}

void XferProcess::holdOutput(bool held)
{
    if (m_held == held)
        return;
    m_held = held;
    updateReading();
    // An ended program's terminal gives no more wake-ups: the rest is read from here.
    if (!held && m_exited)
        QMetaObject::invokeMethod(this, &XferProcess::readOutput, Qt::QueuedConnection);
}

void XferProcess::updateReading()
{
    if (m_readable)
        m_readable->setEnabled(!m_held && !m_outputEnded);
}

void XferProcess::write(QByteArrayView bytes)
{
    if (!m_running || m_inputClosed || bytes.isEmpty() || m_fd < 0)
        return;
    m_pending += bytes;
    flushInput();
}

// Writes what the program takes now; the rest waits for the write notifier.
void XferProcess::flushInput()
{
    qsizetype done = 0;
    while (m_fd >= 0 && done < m_pending.size()) {
        const ssize_t n = writeSome(m_pending.constData() + done, m_pending.size() - done);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            qCDebug(lcEmulator) << "write to the program failed:" << strerror(errno);
            done = m_pending.size(); // the program is gone; its end is reported by finished()
        }
        break;
    }
    m_pending.remove(0, done);
    if (m_writable)
        m_writable->setEnabled(!m_pending.isEmpty());
    if (done > 0)
        emit inputTaken();
    if (m_inputClosed && m_pending.isEmpty() && !m_terminal && m_fd >= 0)
        ::shutdown(m_fd, SHUT_WR);
}

void XferProcess::closeInput()
{
    if (!m_running || std::exchange(m_inputClosed, true))
        return;
    flushInput();
}

// A socket whose program has gone must fail the write, not raise SIGPIPE in this process.
ssize_t XferProcess::writeSome(const char *data, qsizetype size)
{
    return m_terminal ? ::write(m_fd, data, size_t(size))
                      : ::send(m_fd, data, size_t(size), MSG_NOSIGNAL);
}

void XferProcess::stop(int graceMs)
{
    if (!m_running)
        return;
    m_stopping = true;
    holdOutput(false);
    if (m_exited)
        return; // what it wrote last is being read; finished() follows
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_killTimer.isActive())
        m_killTimer.start(graceMs);
}

void XferProcess::onFinished(int exitCode, QProcess::ExitStatus status)
{
    m_killTimer.stop();
    m_exited = true;
    m_exitCode = exitCode;
    m_crashed = status == QProcess::CrashExit;
    if (!m_held)
        readOutput(); // what the program wrote last; finishes once it has all been read
}

void XferProcess::finish()
{
    if (!m_running)
        return;
    closeStreams();
    m_running = false;
    emit finished(m_exitCode, m_crashed);
}

void XferProcess::closeStreams()
{
    m_readable.reset();
    m_writable.reset();
    m_pending.clear();
    for (int *fd : { &m_fd, &m_childFd, &m_slave }) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

} // namespace emu
