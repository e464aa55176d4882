#include "app/fileparts.h"

#include "app/files.h"
#include "runtime/storeslog.h"

#include <QDir>
#include <QFileInfo>

namespace FileSpec {

namespace {

QString withSlash(QString dir)
{
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

// The directory relative paths are taken from: the given base, else the start directory, made
// absolute against the current directory, ending with "/".
QString baseDirectory(const QString &base)
{
    QString dir = base.isEmpty() ? gStartDir : base;
    if (!dir.startsWith(u'/'))
        dir = withSlash(QDir::currentPath()) + dir;
    return withSlash(dir);
}

bool isDirectory(const QString &path)
{
    return QFileInfo(path).isDir();
}

// Classifies drive & directory & name once the parts are known.
rt::Int classify(QString &directory, QString &name, QString &fullPath)
{
    if (!name.isEmpty()) {
        const QFileInfo info(fullPath);
        if (info.exists()) {
            if (!info.isDir())
                return PathFile;
            fullPath += u'/';
            directory += name + u'/';
            name.clear();
            return PathDirectory;
        }
    }
    // The directory without its trailing "/" (the root stays "/").
    QString dirPath = directory;
    if (dirPath.size() > 1)
        dirPath.chop(1);
    if (!isDirectory(dirPath))
        return PathInvalid;
    return name.isEmpty() ? PathDirectory : PathNew;
}

} // namespace

rt::Int ParseDirectory(
    QString &path, QString &drive, QString &directory, QString &name, const QString &base)
{
    try {
        QString dir = path.startsWith(u'/') ? path : baseDirectory(base) + path;
        QString last;
        if (!dir.endsWith(u'/')) {
            const qsizetype slash = dir.lastIndexOf(u'/');
            last = dir.mid(slash + 1);
            dir.truncate(slash + 1);
        }
        path = dir + last;
        const rt::Int result = classify(dir, last, path);
        if (result != PathInvalid) {
            drive.clear();
            directory = dir;
            name = last;
        }
        return result;
    } catch (...) {
        rt::debugSwallowed(lcStores(), rt::currentError(),
            "ParseDirectory: not classified, taken as invalid", path);
        return PathInvalid;
    }
}

void ParseFileName(
    const QString &path, QString &drive, QString &directory, QString &baseName, QString &extension)
{
    rt::Proc h("filespec", "ParseFileName");
    h([&] {
        drive.clear();
        QString name;
        const qsizetype slash = path.lastIndexOf(u'/');
        if (slash >= 0 && !path.endsWith(u'/')) {
            directory = path.left(slash + 1);
            name = path.mid(slash + 1);
        } else {
            directory.clear();
            name = path;
        }
        const qsizetype dot = name.lastIndexOf(u'.');
        baseName = dot < 0 ? name : name.left(dot);
        extension = dot < 0 ? QString() : name.mid(dot);
    });
}

} // namespace FileSpec
