#include "inifile/storedfile.h"

#include <QFile>
#include <QSaveFile>

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

ReadStatus readWhole(const QString &path, QByteArray &data, FileStamp &stamp)
{
    data.clear();
    stamp = {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.exists() ? ReadStatus::Failed : ReadStatus::Missing;
    struct stat st;
    if (::fstat(file.handle(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MaxFileSize)
        return ReadStatus::Failed;
    data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ReadStatus::Failed;
    stamp = fromStat(st);
    // A file that grew or shrank while it was read gets a stamp that cannot match it again.
    if (data.size() != stamp.size)
        stamp.size = -2;
    return ReadStatus::Ok;
}

bool writeWhole(const QString &path, const QByteArray &data, FileStamp *stamp)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    // The temporary file becomes the file by a rename, which keeps its inode, size and time.
    struct stat st;
    const bool stamped = ::fstat(file.handle(), &st) == 0;
    if (!file.commit())
        return false;
    if (stamp)
        *stamp = stamped ? fromStat(st) : FileStamp { 0, 0, -2, 0 };
    return true;
}

} // namespace inifile
