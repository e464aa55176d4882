#pragma once
// Whole files, read and written.
//
// The one whole-file writer: every file the program writes (settings, session files, layouts,
// menu files, the phone book) is written whole or not at all. The bytes go to a temporary file in
// the target's own directory, are flushed and synced, and the temporary file is renamed over the
// target. The target keeps its permission bits (and its owner and group where the process may
// keep them); a new file gets the mode the umask leaves. A symbolic link is written through to
// the file it names (the link stays a link). Only a regular file is ever replaced. On any failure
// the temporary file is removed, the old file is untouched and the reason is given. A file this
// process may not write is not replaced, though its folder would allow it. Temporary
// files left by a writer that was killed are removed by the next successful write of the same
// file.
//
// Reading: a file named by a user, a client or a setting is opened only when it is a regular
// file (a link to one counts). A FIFO, a device or a folder is refused without being waited on.
//
// Sharing: a file that other running instances edit too (the settings stores) is changed under
// an exclusive lock held from the re-read to the rename, so two writers never lose each other's
// change. The lock is a file of our own naming beside the target, removed again on release.

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

class QFile;

namespace rt {

struct WriteResult
{
    bool ok = false;
    int errorCode = 0; // errno of the step that failed
    QString reason;    // a sentence for the user or the log

    explicit operator bool() const { return ok; }
};

WriteResult writeWholeFile(const QString &path, const QByteArray &data);

// The same writer for a file that arrives in pieces (a download): begin() checks the target and
// opens the temporary file, write() adds to it, commit() puts it in place. A writer that is
// destroyed or cancelled before its commit leaves the target as it was and no temporary file.
class WholeFileWriter
{
public:
    WholeFileWriter() = default;
    ~WholeFileWriter();
    WholeFileWriter(const WholeFileWriter &) = delete;
    WholeFileWriter &operator=(const WholeFileWriter &) = delete;

    WriteResult begin(const QString &path);
    WriteResult write(const QByteArray &data);
    WriteResult commit();
    void cancel();
    bool isOpen() const { return m_fd >= 0; }

private:
    WriteResult abandon(const QString &step);
    static WriteResult succeeded();

    int m_fd = -1;
    QString m_finalPath;
    QByteArray m_tempName;
    QByteArray m_folder;
    QByteArray m_prefix;
    bool m_existed = false;
    struct stat m_old = {};
};

// The name of the file that a write of path replaces: path itself, or the file a symbolic link
// at path leads to (relative link targets are taken from the link's folder). Empty when the links
// go round in a loop or change while they are read.
QString resolvedWriteTarget(const QString &path);

enum class OpenStatus { Opened, Missing, NotRegular, Failed };

// Opens file (its name set to path) for reading when path is a regular file. A missing file or a
// missing folder on the way is Missing; a FIFO, a device or a folder is NotRegular, found without
// opening it for good (an open never waits for a writer).
OpenStatus openRegularFile(QFile &file, const QString &path);

// Reads the rest of an open file into data, at most maxBytes of it (a file that grows while it is
// read is read no further). False (data empty) when the file holds more or a read fails.
bool readAtMost(QFile &file, qint64 maxBytes, QByteArray &data);

// The whole of a file named by a user, a client or a setting (a file to paste, a picture, a
// table): opened only when it is a regular file, read only when it holds at most maxBytes.
// Raises 53 when it is missing, 75 when it is no regular file, cannot be read or is larger; the
// text names the file and the reason.
QByteArray readNamedFile(const QString &path, qint64 maxBytes);
// Opens such a file for reading, with the same errors (53 missing, 75 no regular file or not
// readable).
void openNamedFile(QFile &file, const QString &path);

// An exclusive lock for editing the file at path, shared with every process that edits the file
// through this lock. Waits at most timeoutMs for another holder; locked() says whether it got it.
// The lock file is made with mode (less the umask): 0600 keeps other users out of a private
// file's lock.
class FileEditLock
{
public:
    static constexpr int DefaultTimeoutMs = 5000;

    explicit FileEditLock(
        const QString &path, int timeoutMs = DefaultTimeoutMs, mode_t mode = 0666);
    ~FileEditLock();
    FileEditLock(const FileEditLock &) = delete;
    FileEditLock &operator=(const FileEditLock &) = delete;

    bool locked() const { return m_fd >= 0; }

private:
    QByteArray m_lockName;
    int m_fd = -1;
};

} // namespace rt
