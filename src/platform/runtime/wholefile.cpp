#include "runtime/wholefile.h"

#include "runtime/errnum.h"
#include "runtime/error.h"
#include "runtime/storeslog.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

// Debug lines only when asked for (QT_LOGGING_RULES="norvalis.stores.debug=true").
Q_LOGGING_CATEGORY(lcStores, "norvalis.stores", QtInfoMsg)

namespace rt {

namespace {

// Temporary files are "<name>.nvtmp-<pid>-<random>", so that a stale one can be told from a
// write in progress in another process: its process is gone. A long name is shortened so that
// the temporary name still fits the file system's limit.
constexpr char TempMarker[] = ".nvtmp-";
constexpr qsizetype TempSuffixRoom = 32; // marker, pid, "-" and eight hex digits, with room
constexpr qsizetype MaxNameBytes = 255;
constexpr char LockSuffix[] = ".nvlock";
constexpr int MaxLinkHops = 40;

QString errnoText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

WriteResult failure(int code, const QString &step, const QString &path, const QString &why = {})
{
    WriteResult r;
    r.errorCode = code;
    r.reason = QStringLiteral("%1 %2: %3").arg(step, path, why.isEmpty() ? errnoText(code) : why);
    qCWarning(lcStores).noquote() << r.reason;
    return r;
}

bool writeAll(int fd, const QByteArray &data)
{
    const char *p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::fsync(fd) != 0)
        qCDebug(lcStores) << "folder sync failed (ignored):" << folder << std::strerror(errno);
    ::close(fd);
}

bool processAlive(qint64 pid)
{
    return pid > 0 && pid <= 0x7fffffff && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

// The part of the target's name that its temporary files begin with: the whole name, or its
// beginning when the name is too long to take the suffix (cut between UTF-8 sequences).
QByteArray tempPrefix(const QByteArray &fileName)
{
    qsizetype keep = qMin(fileName.size(), MaxNameBytes - TempSuffixRoom);
    while (keep > 0 && keep < fileName.size() && (uchar(fileName.at(keep)) & 0xC0) == 0x80)
        --keep;
    return fileName.left(keep) + TempMarker;
}

// Removes temporary files of ours for this target whose writing process has ended.
void removeStaleTemporaries(const QByteArray &folder, const QByteArray &prefix)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(prefix))
            continue;
        bool numeric = false;
        const qint64 pid = name.mid(prefix.size()).split('-').value(0).toLongLong(&numeric);
        if (!numeric || processAlive(pid))
            continue;
        const QByteArray path = folder + '/' + name;
        struct stat st = {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (::unlink(path.constData()) == 0)
            qCDebug(lcStores) << "removed a stale temporary file:" << path;
        else
            qCDebug(lcStores) << "stale temporary file not removed (ignored):" << path
                              << std::strerror(errno);
    }
    ::closedir(dir);
}

// Gives the new file the old one's owner and group where we may (root, or a group we are in);
// the rest stays ours, as with any file we create.
void keepOwner(int fd, const struct stat &old)
{
    if (old.st_uid == ::geteuid() && old.st_gid == ::getegid())
        return;
    if (::fchown(fd, old.st_uid, old.st_gid) == 0)
        return;
    if (old.st_gid != ::getegid() && ::fchown(fd, uid_t(-1), old.st_gid) == 0)
        return;
    qCDebug(lcStores) << "owner of the replaced file not kept (ignored):" << std::strerror(errno);
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

QString resolvedWriteTarget(const QString &path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
        const QByteArray encoded = QFile::encodeName(current);
        struct stat st = {};
        if (::lstat(encoded.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        QByteArray target(qMax<qsizetype>(st.st_size, 255) + 1, Qt::Uninitialized);
        const ssize_t n = ::readlink(encoded.constData(), target.data(), size_t(target.size()));
        if (n <= 0 || n >= target.size())
            return QString(); // changed while it was read
        target.truncate(n);
        const QString decoded = QFile::decodeName(target);
        current = QDir::cleanPath(QDir::isAbsolutePath(decoded)
                ? decoded
                : QFileInfo(current).absolutePath() + QLatin1Char('/') + decoded);
    }
    return QString();
}

WholeFileWriter::~WholeFileWriter()
{
    cancel();
}

WriteResult WholeFileWriter::begin(const QString &path)
{
    cancel();
    if (path.isEmpty())
        return failure(ENOENT, QStringLiteral("Cannot write"), path);
    const QString finalPath = resolvedWriteTarget(path);
    if (finalPath.isEmpty())
        return failure(ELOOP, QStringLiteral("Cannot write"), path);
    const QFileInfo target(finalPath);
    const QByteArray finalName = QFile::encodeName(finalPath);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    const QByteArray prefix = tempPrefix(QFile::encodeName(target.fileName()));

    struct stat old = {};
    const bool existed = ::stat(finalName.constData(), &old) == 0;
    if (!existed && errno != ENOENT)
        return failure(errno, QStringLiteral("Cannot look at"), finalPath);
    if (existed && S_ISDIR(old.st_mode))
        return failure(EISDIR, QStringLiteral("Cannot replace"), finalPath);
    if (existed && !S_ISREG(old.st_mode))
        return failure(EINVAL, QStringLiteral("Cannot replace"), finalPath,
            QStringLiteral("not a regular file"));
    // A file we may not write is not replaced behind its back, though its folder would allow it.
    if (existed && ::access(finalName.constData(), W_OK) != 0)
        return failure(errno, QStringLiteral("Cannot write"), finalPath);

    const QByteArray tempName = folder + '/' + prefix + QByteArray::number(::getpid()) + '-'
        + QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0');
    const int fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return failure(errno, QStringLiteral("Cannot create a temporary file for"), finalPath);
    m_fd = fd;
    m_finalPath = finalPath;
    m_tempName = tempName;
    m_folder = folder;
    m_prefix = prefix;
    m_existed = existed;
    m_old = old;
    return succeeded();
}

WriteResult WholeFileWriter::write(const QByteArray &data)
{
    if (m_fd < 0)
        return failure(EBADF, QStringLiteral("Cannot write"), m_finalPath);
    if (!writeAll(m_fd, data))
        return abandon(QStringLiteral("Cannot write"));
    return succeeded();
}

WriteResult WholeFileWriter::commit()
{
    if (m_fd < 0)
        return failure(EBADF, QStringLiteral("Cannot write"), m_finalPath);
    if (m_existed) {
        keepOwner(m_fd, m_old);
        if (::fchmod(m_fd, m_old.st_mode & 07777) != 0)
            return abandon(QStringLiteral("Cannot keep the permissions of"));
    }
    if (::fdatasync(m_fd) != 0)
        return abandon(QStringLiteral("Cannot flush"));
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(m_tempName.constData());
        return failure(code, QStringLiteral("Cannot write"), m_finalPath);
    }
    if (::rename(m_tempName.constData(), QFile::encodeName(m_finalPath).constData()) != 0) {
        const int code = errno;
        ::unlink(m_tempName.constData());
        return failure(code, QStringLiteral("Cannot replace"), m_finalPath);
    }
    syncFolder(m_folder);
    removeStaleTemporaries(m_folder, m_prefix);
    return succeeded();
}

void WholeFileWriter::cancel()
{
    if (m_fd < 0)
        return;
    ::close(std::exchange(m_fd, -1));
    ::unlink(m_tempName.constData());
}

WriteResult WholeFileWriter::abandon(const QString &step)
{
    const int code = errno;
    cancel();
    return failure(code, step, m_finalPath);
}

WriteResult WholeFileWriter::succeeded()
{
    WriteResult ok;
    ok.ok = true;
    return ok;
}

WriteResult writeWholeFile(const QString &path, const QByteArray &data)
{
    WholeFileWriter writer;
    if (WriteResult r = writer.begin(path); !r)
        return r;
    if (WriteResult r = writer.write(data); !r)
        return r;
    return writer.commit();
}

OpenStatus openRegularFile(QFile &file, const QString &path)
{
    file.close();
    file.setFileName(path);
    const QByteArray name = QFile::encodeName(path);
    struct stat st = {};
    if (path.isEmpty() || ::stat(name.constData(), &st) != 0)
        return path.isEmpty() || errno == ENOENT || errno == ENOTDIR ? OpenStatus::Missing
                                                                     : OpenStatus::Failed;
    if (!S_ISREG(st.st_mode))
        return OpenStatus::NotRegular;
    // The file may have been swapped for a FIFO since: the open does not wait for a writer, and
    // what was opened is looked at again.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? OpenStatus::Missing : OpenStatus::Failed;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return OpenStatus::NotRegular;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return OpenStatus::Failed;
    }
    return OpenStatus::Opened;
}

bool readAtMost(QFile &file, qint64 maxBytes, QByteArray &data)
{
    constexpr qint64 Piece = 64 * 1024;
    data.clear();
    const qint64 expected = file.size() - file.pos();
    if (expected > maxBytes)
        return false;
    data.reserve(qMax<qint64>(expected, 0));
    for (;;) {
        const qint64 room = maxBytes + 1 - data.size();
        const qsizetype before = data.size();
        data.resize(before + qMin(Piece, room));
        const qint64 n = file.read(data.data() + before, data.size() - before);
        data.resize(before + qMax<qint64>(n, 0));
        if (n < 0 || data.size() > maxBytes) {
            data.clear();
            return false;
        }
        if (n == 0)
            return true;
    }
}

namespace {

Error refusedFile(Long number, const QString &path, const QString &why)
{
    return Error(
        number, errorText(number) + QStringLiteral(": ") + path + QStringLiteral(" (") + why + u')');
}

} // namespace

void openNamedFile(QFile &file, const QString &path)
{
    switch (openRegularFile(file, path)) {
    case OpenStatus::Opened:
        return;
    case OpenStatus::Missing:
        throw refusedFile(err::FileNotFound, path, QStringLiteral("no such file"));
    case OpenStatus::NotRegular:
        throw refusedFile(err::PathFileAccess, path, QStringLiteral("not a regular file"));
    case OpenStatus::Failed:
        throw refusedFile(err::PathFileAccess, path, QStringLiteral("cannot be opened"));
    }
}

QByteArray readNamedFile(const QString &path, qint64 maxBytes)
{
    const auto refused = [&path](Long number, const QString &why) {
        return refusedFile(number, path, why);
    };
    QFile file;
    openNamedFile(file, path);
    QByteArray data;
    if (!readAtMost(file, maxBytes, data)) {
        throw refused(err::PathFileAccess,
            file.error() != QFileDevice::NoError
                ? QStringLiteral("cannot be read")
                : QStringLiteral("larger than %1 bytes").arg(maxBytes));
    }
    return data;
}

FileEditLock::FileEditLock(const QString &path, int timeoutMs, mode_t mode)
{
    const QString target = resolvedWriteTarget(path);
    if (path.isEmpty() || target.isEmpty())
        return;
    m_lockName = QFile::encodeName(target) + LockSuffix;
    const QDeadlineTimer deadline(timeoutMs);
    // A short pause between tries: the holder may take the lock again soon after letting go.
    constexpr unsigned long PauseUs = 100;
    while (m_fd < 0) {
        int fd = ::open(m_lockName.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno == EACCES) // a lock file of another user: reading is enough to lock
            fd = ::open(m_lockName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            qCDebug(lcStores) << "cannot open the lock" << m_lockName << std::strerror(errno);
            return;
        }
        bool held = false;
        for (;;) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                held = true;
                break;
            }
            if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired())
                break;
            QThread::usleep(PauseUs);
        }
        // The holder before us removes the lock file as it lets go: a lock on a file that is no
        // longer the one under the name locks nothing, and we try again.
        struct stat mine = {};
        struct stat named = {};
        if (held && ::fstat(fd, &mine) == 0 && ::stat(m_lockName.constData(), &named) == 0
            && sameFile(mine, named)) {
            m_fd = fd;
            return;
        }
        ::close(fd);
        if (!held || deadline.hasExpired()) {
            qCDebug(lcStores) << "lock not taken:" << m_lockName;
            return;
        }
    }
}

FileEditLock::~FileEditLock()
{
    if (m_fd < 0)
        return;
    ::unlink(m_lockName.constData());
    ::close(m_fd);
}

} // namespace rt
