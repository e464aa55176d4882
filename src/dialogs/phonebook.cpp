#include "dialogs/phonebook.h"

#include "app/files.h"
#include "dialogs/dialogslog.h"
#include "runtime/wholefile.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace PhoneBook {

namespace {

const QByteArray CRLF = QByteArrayLiteral("\r\n");

Result failed(const QString &reason)
{
    qCWarning(lcDialogs).noquote() << reason;
    return { false, true, reason };
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

// Why the file cannot be changed ("" when it can): it must be a writable regular file, or
// not exist yet. Its write permission bits count even for a user whom the system would let
// write anyway.
QString unwritable(const QString &path)
{
    struct stat info {};
    const QByteArray name = QFile::encodeName(rt::resolvedWriteTarget(path));
    if (::stat(name.constData(), &info) != 0)
        return errno == ENOENT ? QString() : path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return path + QStringLiteral(" is not a regular file");
    if ((info.st_mode & 0222) == 0 || ::access(name.constData(), W_OK) != 0)
        return path + QStringLiteral(" is read-only");
    return QString();
}

// The file's current contents for a change: all of it, or a reason why it cannot be changed.
QString contentsForChange(const QString &path, Contents &contents)
{
    if (QString reason = unwritable(path); !reason.isEmpty())
        return reason;
    contents = read(path);
    if (contents.opened && !contents.whole)
        return path + QStringLiteral(" is too long to change (more than %1 bytes)").arg(MaxBytes);
    if (!contents.opened && QFile::exists(path))
        return path + QStringLiteral(" cannot be read");
    return QString();
}

// Keeps the old file under its backup name, then writes the new one.
Result writeWithBackup(const QString &path, const Contents &old, const QByteArray &bytes)
{
    if (old.opened) {
        const QString backup = Files::FileNameBak(path);
        if (const rt::WriteResult kept = rt::writeWholeFile(backup, old.bytes); !kept)
            return failed(kept.reason);
    }
    if (const rt::WriteResult written = rt::writeWholeFile(path, bytes); !written)
        return failed(written.reason);
    return { true, true, QString() };
}

QByteArray joined(const QList<Line> &lines)
{
    QByteArray bytes;
    for (const Line &line : lines)
        bytes += line.bytes + CRLF;
    return bytes;
}

qsizetype indexOf(const QList<Line> &lines, const QString &target)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).text == target)
            return i;
    }
    return -1;
}

} // namespace

QString entryLine(const QString &name, const QString &number)
{
    return name + u'\t' + number;
}

QString entryProblem(const QString &name, const QString &number)
{
    static const auto breaksLine = [](const QString &text) {
        return text.contains(u'\t') || text.contains(u'\r') || text.contains(u'\n');
    };
    if (breaksLine(name))
        return QStringLiteral("The description cannot hold a tab or a line break.");
    if (breaksLine(number))
        return QStringLiteral("The number cannot hold a tab or a line break.");
    return QString();
}

QList<Line> splitLines(const QByteArray &bytes)
{
    QList<Line> lines;
    qsizetype start = 0;
    const qsizetype size = bytes.size();
    while (start < size) {
        qsizetype end = start;
        while (end < size && bytes.at(end) != '\n' && bytes.at(end) != '\r')
            ++end;
        const QByteArray line = bytes.mid(start, end - start);
        lines.append({ decode(line), line });
        if (end < size && bytes.at(end) == '\r' && end + 1 < size && bytes.at(end + 1) == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

Contents read(const QString &path)
{
    Contents contents;
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0
        || !S_ISREG(info.st_mode))
        return contents;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcDialogs) << "phone book not read:" << path << file.errorString();
        return contents;
    }
    contents.opened = true;
    contents.bytes = file.read(MaxBytes + 1);
    contents.whole = contents.bytes.size() <= MaxBytes && file.error() == QFile::NoError;
    if (!contents.whole) {
        // Only whole lines of a file read in part.
        contents.bytes.truncate(std::min<qsizetype>(contents.bytes.size(), MaxBytes));
        const qsizetype end = std::max(contents.bytes.lastIndexOf('\n'), contents.bytes.lastIndexOf('\r'));
        contents.bytes.truncate(end + 1);
    }
    contents.lines = splitLines(contents.bytes);
    return contents;
}

Result append(const QString &path, const QString &line)
{
    Contents old;
    if (const QString reason = contentsForChange(path, old); !reason.isEmpty())
        return failed(reason);
    QByteArray bytes = old.bytes;
    if (!bytes.isEmpty() && !bytes.endsWith('\n') && !bytes.endsWith('\r'))
        bytes += CRLF;
    bytes += line.toUtf8() + CRLF;
    return writeWithBackup(path, old, bytes);
}

Result remove(const QString &path, const QString &target)
{
    Contents old;
    if (const QString reason = contentsForChange(path, old); !reason.isEmpty())
        return failed(reason);
    QList<Line> lines = old.lines;
    const qsizetype at = indexOf(lines, target);
    if (at < 0)
        return { true, false, QString() };
    lines.removeAt(at);
    return writeWithBackup(path, old, joined(lines));
}

Result replace(const QString &path, const QString &target, const QString &line)
{
    Contents old;
    if (const QString reason = contentsForChange(path, old); !reason.isEmpty())
        return failed(reason);
    QList<Line> lines = old.lines;
    const qsizetype at = indexOf(lines, target);
    const Line replacement { line, line.toUtf8() };
    if (at >= 0)
        lines[at] = replacement;
    else
        lines.append(replacement);
    Result result = writeWithBackup(path, old, joined(lines));
    result.found = at >= 0;
    return result;
}

} // namespace PhoneBook
