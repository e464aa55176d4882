#include "runtime/wholefile.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcWholeFile, "norvalis.stores")

namespace rt {

namespace {

// Temporary files are "<name>.nvtmp-<pid>-<random>", so that a stale one can be told from a
// write in progress in another process: its process is gone.
const QString TempMarker = QStringLiteral(".nvtmp-");
constexpr int MaxLinkHops = 16;

WriteResult failure(int code, const QString &step, const QString &path)
{
    WriteResult r;
    r.errorCode = code;
    r.reason = QStringLiteral("%1 %2: %3").arg(step, path, QString::fromLocal8Bit(std::strerror(code)));
    qCWarning(lcWholeFile).noquote() << r.reason;
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

void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::fsync(fd) != 0)
        qCDebug(lcWholeFile) << "folder sync failed (ignored):" << folder << std::strerror(errno);
    ::close(fd);
}

bool processAlive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

// Removes temporary files of ours for this target whose writing process has ended.
void removeStaleTemporaries(const QFileInfo &target)
{
    QDir folder = target.absoluteDir();
    const QString prefix = target.fileName() + TempMarker;
    const QStringList names = folder.entryList({ prefix + QLatin1Char('*') },
        QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString &name : names) {
        const QString rest = name.mid(prefix.size());
        bool numeric = false;
        const qint64 pid = rest.section(QLatin1Char('-'), 0, 0).toLongLong(&numeric);
        if (!numeric || processAlive(pid))
            continue;
        if (!folder.remove(name))
            qCDebug(lcWholeFile) << "stale temporary file not removed (ignored):" << name;
    }
}

} // namespace

QString resolvedWriteTarget(const QString &path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        const QByteArray encoded = QFile::encodeName(current);
        char buffer[4096];
        const ssize_t n = ::readlink(encoded.constData(), buffer, sizeof buffer - 1);
        if (n <= 0)
            return current;
        const QString target = QFile::decodeName(QByteArray(buffer, n));
        current = QDir::cleanPath(QDir::isAbsolutePath(target)
                ? target
                : info.absolutePath() + QLatin1Char('/') + target);
    }
    return current;
}

WriteResult writeWholeFile(const QString &path, const QByteArray &data)
{
    const QFileInfo target(resolvedWriteTarget(path));
    const QString finalPath = target.absoluteFilePath();
    const QString tempPath = finalPath + TempMarker
        + QStringLiteral("%1-%2").arg(::getpid()).arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    const QByteArray tempName = QFile::encodeName(tempPath);

    struct stat old {};
    const bool existed = ::stat(QFile::encodeName(finalPath).constData(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode))
        return failure(EISDIR, QStringLiteral("Cannot replace"), finalPath);

    const int fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return failure(errno, QStringLiteral("Cannot create a temporary file for"), finalPath);

    auto abandon = [&](const QString &step) {
        const int code = errno;
        ::close(fd);
        ::unlink(tempName.constData());
        return failure(code, step, finalPath);
    };
    if (!writeAll(fd, data))
        return abandon(QStringLiteral("Cannot write"));
    if (existed && ::fchmod(fd, old.st_mode & 07777) != 0)
        return abandon(QStringLiteral("Cannot keep the permissions of"));
    if (::fsync(fd) != 0)
        return abandon(QStringLiteral("Cannot flush"));
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(tempName.constData());
        return failure(code, QStringLiteral("Cannot write"), finalPath);
    }
    if (::rename(tempName.constData(), QFile::encodeName(finalPath).constData()) != 0) {
        const int code = errno;
        ::unlink(tempName.constData());
        return failure(code, QStringLiteral("Cannot replace"), finalPath);
    }
    syncFolder(target.absolutePath());
    removeStaleTemporaries(target);
    WriteResult ok;
    ok.ok = true;
    return ok;
}

} // namespace rt
