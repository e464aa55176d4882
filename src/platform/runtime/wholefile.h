#pragma once
// The one whole-file writer: every file the program writes (settings, session files, layouts,
// menu files, the phone book) is written whole or not at all. The bytes go to a temporary file in
// the target's own directory, are flushed and synced, and the temporary file is renamed over the
// target. The target keeps its permission bits; a symbolic link is written through to the file it
// names (the link stays a link). On any failure the temporary file is removed, the old file is
// untouched and the reason is given. Temporary files left by a writer that was killed are removed
// by the next successful write of the same file.

#include <QByteArray>
#include <QString>

namespace rt {

struct WriteResult
{
    bool ok = false;
    int errorCode = 0; // errno of the step that failed
    QString reason;    // a sentence for the user or the log

    explicit operator bool() const { return ok; }
};

WriteResult writeWholeFile(const QString &path, const QByteArray &data);

// The name of the file that a write of path replaces: path itself, or the file a symbolic link
// at path leads to (relative link targets are taken from the link's folder).
QString resolvedWriteTarget(const QString &path);

} // namespace rt
