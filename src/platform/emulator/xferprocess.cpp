#include "emulator/xferprocess.h"

#include "emulator/xferengine.h"


#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

namespace emu {

namespace {

constexpr qsizetype readChunk = 64 * 1024;
// LANDLOCK_ACCESS_FS_TRUNCATE of ABI 3, which older kernel headers lack.
constexpr quint64 accessTruncate = 1ULL << 14;

} // namespace

XferProcess::XferProcess(QObject *parent)
    : QObject(parent)
{
    m_killTimer.setSingleShot(true);
    connect(&m_killTimer, &QTimer::timeout, this, [this] {
        qCDebug(lcEmulator) << m_process.program() << "did not end when asked: killed";
        m_process.kill();
    });
    connect(&m_process, &QProcess::readyReadStandardOutput, this,
        [this] { emit output(m_process.readAllStandardOutput()); });
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
    closeTerminal();
}

qint64 XferProcess::processId() const
{
    return m_process.processId();
}

bool XferProcess::start(const Spec &spec, QString *error)
{
    m_terminal = spec.terminal;
    if (m_terminal && !openTerminal(error))
        return false;
    QStringList writable = spec.writableFolders;
    // A terminal program opens its terminal (also by the name /dev/tty) for writing.
    if (m_terminal && !writable.isEmpty())
        writable << QString::fromLocal8Bit(m_slaveName) << QStringLiteral("/dev/tty");
    const int ruleset = writable.isEmpty() ? -1 : confinement(writable);
    if (m_terminal) {
        // The program's input and output are the terminal, set up by the child below.
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setStandardOutputFile(QProcess::nullDevice());
    }
    // In the child, between fork and exec: async-signal-safe calls only.
    const QByteArray slave = m_terminal ? m_slaveName : QByteArray();
    m_process.setChildProcessModifier([slave, ruleset] {
        if (!slave.isEmpty()) {
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
        if (ruleset >= 0
            && (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0
                || ::syscall(SYS_landlock_restrict_self, ruleset, 0) != 0))
            ::_exit(126); // never run unconfined when confinement was asked for and is there
    });
    m_process.setProgram(spec.program);
    m_process.setArguments(spec.arguments);
    m_process.setWorkingDirectory(spec.workingDirectory);
    m_process.start();
    const bool started = m_process.waitForStarted(10000);
    if (ruleset >= 0)
        ::close(ruleset);
    if (!started) {
        *error = m_process.errorString();
        closeTerminal();
        return false;
    }
    m_running = true;
    return true;
}

// A Landlock ruleset that lets a process write beneath the folders only; -1 when the kernel
// has no Landlock.
int XferProcess::confinement(const QStringList &folders) const
{
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0,
        LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) {
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
    landlock_ruleset_attr attr {};
    attr.handled_access_fs = writes;
    const int ruleset = int(::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0));
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
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0
        || ::ptsname_r(m_master, name, sizeof name) != 0) {
        *error = QStringLiteral("No pseudo-terminal: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        closeTerminal();
        return false;
    }
    m_slaveName = QByteArray(name);
    // The parent keeps the slave open: the terminal stays raw until the program sets it up, and
    // what the program wrote last can still be read after it has ended.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios modes {};
    if (m_slave < 0 || ::tcgetattr(m_slave, &modes) != 0) {
        *error = QStringLiteral("Cannot open %1").arg(QString::fromLocal8Bit(name));
        closeTerminal();
        return false;
    }
    ::cfmakeraw(&modes);
    ::tcsetattr(m_slave, TCSANOW, &modes);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_readable = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &XferProcess::readTerminal);
    m_writable = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Write);
    m_writable->setEnabled(false);
    connect(m_writable.get(), &QSocketNotifier::activated, this, &XferProcess::flushTerminal);
    return true;
}

void XferProcess::readTerminal()
{
    if (m_master < 0)
        return;
    QByteArray data;
    for (;;) {
        const qsizetype at = data.size();
        data.resize(at + readChunk);
        const ssize_t n = ::read(m_master, data.data() + at, readChunk);
        data.resize(at + std::max<ssize_t>(n, 0));
        if (n <= 0 || data.size() >= 4 * readChunk)
            break;
    }
    if (!data.isEmpty())
        emit output(data);
}

void XferProcess::write(const QByteArray &bytes)
{
    if (!m_running || bytes.isEmpty())
        return;
    if (!m_terminal) {
        m_process.write(bytes);
        return;
    }
    m_pending += bytes;
    flushTerminal();
}

void XferProcess::flushTerminal()
{
    qsizetype done = 0;
    while (m_master >= 0 && done < m_pending.size()) {
        const ssize_t n = ::write(m_master, m_pending.constData() + done, m_pending.size() - done);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            qCDebug(lcEmulator) << "terminal write failed:" << strerror(errno);
            done = m_pending.size(); // the program is gone; its end is reported by finished()
        }
        break;
    }
    m_pending.remove(0, done);
    if (m_writable)
        m_writable->setEnabled(!m_pending.isEmpty());
}

void XferProcess::stop(int graceMs)
{
    if (!m_running)
        return;
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_killTimer.isActive())
        m_killTimer.start(graceMs);
}

void XferProcess::onFinished(int exitCode, QProcess::ExitStatus status)
{
    m_killTimer.stop();
    readTerminal(); // what the program wrote last
    closeTerminal();
    m_running = false;
    emit finished(exitCode, status == QProcess::CrashExit);
}

void XferProcess::closeTerminal()
{
    m_readable.reset();
    m_writable.reset();
    m_pending.clear();
    for (int *fd : { &m_master, &m_slave }) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

} // namespace emu
