#include "inifile/storedfile.h"

#include "runtime/storeslog.h"
#include "runtime/wholefile.h"

#include <QFile>

#include <sys/stat.h>

namespace inifile {

namespace {

// Settings files are small; anything near this size is not one and is not read into memory.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

FileStamp fromStat(const struct stat &st)
{
    FileStamp s;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

} // namespace

FileStamp stampOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return fromStat(st);
}

ReadStatus readWhole(const QString &path, QByteArray &data, FileStamp &stamp, QString *reason)
{
    data.clear();
    stamp = {};
    const auto failed = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return ReadStatus::Failed;
    };
    QFile file;
    switch (rt::openRegularFile(file, path)) {
    case rt::OpenStatus::Opened:
        break;
    case rt::OpenStatus::Missing:
        return ReadStatus::Missing;
    case rt::OpenStatus::NotRegular:
        qCDebug(lcStores) << "not a regular file, not read:" << path;
        return failed(QStringLiteral("not a regular file"));
    case rt::OpenStatus::Failed:
        return failed(QStringLiteral("cannot be opened: ") + file.errorString());
    }
    struct stat st;
    if (::fstat(file.handle(), &st) != 0)
        return failed(QStringLiteral("cannot be read"));
    if (!rt::readAtMost(file, MaxFileSize, data)) {
        return failed(file.error() != QFileDevice::NoError
                ? QStringLiteral("cannot be read: ") + file.errorString()
                : QStringLiteral("too large for a settings file"));
    }
    stamp = fromStat(st);
    // A file that grew or shrank while it was read gets a stamp that cannot match it again.
    if (data.size() != stamp.size)
        stamp.size = -2;
    return ReadStatus::Ok;
}

bool writeWhole(const QString &path, const QByteArray &data, FileStamp *stamp, QString *reason)
{
    if (const rt::WriteResult result = rt::writeWholeFile(path, data); !result) {
        if (reason)
            *reason = result.reason;
        return false;
    }
    if (stamp)
        *stamp = stampOf(path);
    return true;
}

} // namespace inifile
