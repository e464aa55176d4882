#pragma once
// Whole-file reads and atomic whole-file writes for the settings stores, with the stamp that
// tells whether a file changed since it was read: device, inode, size and modification time in
// nanoseconds. An atomic replacement always brings a new inode, an edit in place a new time or
// size, so a cached copy whose stamp still matches is the file's content. Only regular files are
// read; writes go through the runtime's whole-file writer. A writer that edits a file other
// instances edit too holds rt::FileEditLock from its re-read (readWhole, never the cache) to its
// write.

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>
#include <memory>

namespace inifile {

struct FileStamp
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1; // -1: no such file
    qint64 mtimeNs = 0;

    bool exists() const { return size >= 0; }
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

// The stamp of a file as it is now (the stamp of nothing when it cannot be looked at).
FileStamp stampOf(const QString &path);

enum class ReadStatus { Ok, Missing, Failed };

// Reads a whole regular file; the stamp belongs to the content read. A missing file is Missing
// with no data; one that exists but cannot be read, is not a regular file (a FIFO or a device is
// never waited on) or is larger than any settings file (64 MiB) is Failed, and reason (when
// asked for) says which.
ReadStatus readWhole(
    const QString &path, QByteArray &data, FileStamp &stamp, QString *reason = nullptr);

// Writes the bytes whole (rt::writeWholeFile). False (and the old file untouched) on any failure,
// with the writer's reason. The stamp, when asked for, is that of the new file.
bool writeWhole(const QString &path, const QByteArray &data, FileStamp *stamp = nullptr,
    QString *reason = nullptr);

// Parsed copies of files, each served while its file's stamp is unchanged, so that a read costs a
// stat and a lookup. Writers put in what they wrote with the stamp writeWhole() gave them.
template<class T> class StampedCache
{
public:
    using Shared = std::shared_ptr<T>;

    // The parsed file, parsed again when it changed (a missing file parses as no bytes);
    // nullptr when it exists but cannot be read.
    template<class Parse> Shared get(const QString &path, Parse &&parse)
    {
        const FileStamp now = stampOf(path);
        {
            QMutexLocker lock(&m_mutex);
            const auto it = m_entries.constFind(path);
            if (it != m_entries.cend() && it->stamp == now)
                return it->value;
        }
        QByteArray bytes;
        FileStamp stamp;
        if (readWhole(path, bytes, stamp) == ReadStatus::Failed)
            return nullptr;
        Shared value = std::make_shared<T>(parse(bytes));
        put(path, stamp, value);
        return value;
    }

    void put(const QString &path, const FileStamp &stamp, Shared value)
    {
        QMutexLocker lock(&m_mutex);
        if (m_entries.size() >= MaxFiles && !m_entries.contains(path))
            m_entries.clear();
        m_entries.insert(path, Entry { stamp, std::move(value) });
    }

private:
    static constexpr int MaxFiles = 64;
    struct Entry
    {
        FileStamp stamp;
        Shared value;
    };
    QMutex m_mutex;
    QHash<QString, Entry> m_entries;
};

} // namespace inifile
