#include "app/files.h"

#include "app/fileparts.h"
#include "app/profile.h"
#include "app/strfunc.h"
#include "runtime/storeslog.h"
#include "runtime/wholefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString gStartDir;
QString gAppDir;
QString gLastDir;

namespace Files {

namespace {

const char *const kModule = "files";

QString withSlash(QString dir)
{
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

QString withoutSlash(QString dir)
{
    if (dir.size() > 1 && dir.endsWith(u'/'))
        dir.chop(1);
    return dir;
}

QString executableDir()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

// A home text from the settings that begins with "My Documents" followed by a separator (or
// nothing) lies in the user's Documents folder. Unchanged when there is no Documents folder.
QString mapMyDocuments(const QString &home)
{
    static const QLatin1String prefix("my documents");
    if (!home.startsWith(prefix, Qt::CaseInsensitive))
        return home;
    QString rest = home.mid(prefix.size());
    if (!rest.isEmpty() && rest.at(0) != u'\\' && rest.at(0) != u'/')
        return home;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        return home;
    if (!rest.isEmpty())
        rest.remove(0, 1);
    return withSlash(documents) + rest;
}

// The home directory as configured, before it is checked.
QString configuredHome()
{
    QString home = qEnvironmentVariable("NVWIN");
    if (!home.isEmpty())
        return home; // taken as it stands
    home = Profile::GetRegString(
        Profile::HKLM, QStringLiteral("Software\\Dremo\\Nvwin2k\\HomePath"), QString());
    if (home.isEmpty())
        home = Profile::GetIniString(
            QStringLiteral("NVWIN"), QStringLiteral("HomePath"), QString(), WinIniPath());
    return mapMyDocuments(home);
}

// The configured home resolved against the program directory; the program directory when it is
// not an existing directory. No trailing "/" except for the root.
QString resolvedHome(const QString &configured, const QString &appDir)
{
    QString home = configured.isEmpty() ? withoutSlash(appDir) : configured;
    QString drive, directory, name;
    if (FileSpec::ParseDirectory(home, drive, directory, name, appDir) != FileSpec::PathDirectory)
        home = appDir;
    return withoutSlash(home);
}

// Resolves a name and answers its full path when it is an existing file, else "".
QString existingFile(const QString &name, const QString &base)
{
    QString path = name, drive, directory, last;
    if (FileSpec::ParseDirectory(path, drive, directory, last, base) == FileSpec::PathFile)
        return path;
    return QString();
}

// The beginning of a line, leading blanks dropped: true when it begins with a script keyword.
bool isScriptLine(QByteArray start)
{
    static const char *const keywords[]
        = { "sub ", "function ", "dim ", "global ", "static ", "public ", "private ", "begin ",
              "option ", "type ", "declare sub ", "declare function ", "rem",
              // The script host runs JavaScript.
              "var ", "let ", "const " };
    start = start.toLower();
    if (start.isEmpty() || start.startsWith('\'') || start.startsWith("//"))
        return false;
    for (const char *keyword : keywords) {
        if (start.startsWith(keyword))
            return true;
    }
    return false;
}

// How much of a file the script probe reads: a script shows what it is in its first lines.
constexpr qint64 ScriptProbeBytes = 1024 * 1024;

// Reads the beginning of a regular file in pieces and tests the beginning of each line (ended by
// LF, CR LF or CR). Only as much of a line as the longest keyword is kept, so a huge file, or one
// without line ends, costs no more memory than one piece and no more reading than the probe's
// bound; a FIFO or a device is not read at all.
bool containsScriptLine(const QString &path)
{
    constexpr qsizetype LongestKeyword = 17; // "declare function "
    QFile file;
    if (rt::openRegularFile(file, path) != rt::OpenStatus::Opened)
        return false;
    if (file.peek(3) == "\xEF\xBB\xBF")
        file.skip(3); // the UTF-8 byte-order mark
    QByteArray start; // of the current line, leading blanks dropped
    bool tested = false; // the current line's start has been looked at
    char piece[16 * 1024];
    qint64 count = 0;
    qint64 left = ScriptProbeBytes;
    while (left > 0 && (count = file.read(piece, qMin<qint64>(sizeof piece, left))) > 0) {
        left -= count;
        for (const char c : QByteArrayView(piece, count)) {
            if (c == '\n' || c == '\r') {
                if (!tested && isScriptLine(start))
                    return true;
                start.clear();
                tested = false;
            } else if (!tested && !(start.isEmpty() && (c == ' ' || c == '\t'))) {
                start += c;
                if (start.size() == LongestKeyword) {
                    if (isScriptLine(start))
                        return true;
                    tested = true;
                }
            }
        }
    }
    // The last line, unended, is tested only when the whole file was read.
    return (count == 0 || file.atEnd()) && !tested && isScriptLine(start);
}

} // namespace

QString ProgramDir()
{
    const QString configured = qEnvironmentVariable("NORVALIS_APPDIR");
    if (!configured.isEmpty())
        return withSlash(QDir(configured).absolutePath());
    const QString exeDir = executableDir();
    if (!exeDir.isEmpty() && QFileInfo(exeDir).isWritable())
        return withSlash(exeDir);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QLatin1String("/norvalis");
    QDir().mkpath(data);
    return withSlash(data);
}

QString WinIniPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QLatin1String("/norvalis/win.ini");
}

void GetIniDir()
{
    rt::Proc h(kModule, "GetIniDir");
    QString home;
    h([&] { gStartDir = withSlash(QDir::currentPath()); });
    h([&] { gAppDir = ProgramDir(); });
    h([&] { home = configuredHome(); });
    h([&] { gLastDir = resolvedHome(home, gAppDir); });
}

QString SessionFolder(const QString &sessionFile)
{
    if (sessionFile.isEmpty())
        return withoutSlash(gStartDir);
    return QFileInfo(sessionFile).absolutePath();
}

QString GetFilePath(const QString &name, const QString &extensions)
{
    rt::Proc h(kModule, "GetFilePath");
    const QString separator = QStringLiteral(";");
    QString found;
    bool hasExtension = false;
    // The name as typed when its last component has an extension, else with extension i.
    const auto candidate = [&](rt::Int i) {
        return hasExtension ? name : name + u'.' + Strfunc::Field(extensions, separator, i);
    };
    h([&] { hasExtension = GetFileName(name).contains(u'.'); });
    h([&] {
        const rt::Int n = Strfunc::Dcount(extensions, separator);
        const rt::Int tries = hasExtension ? qMin<rt::Int>(n, 1) : n; // the same name each time
        for (rt::Int i = 1; i <= tries && found.isEmpty(); ++i)
            found = existingFile(candidate(i), gStartDir);
    });
    if (found.isEmpty())
        h([&] { found = existingFile(candidate(1), gLastDir); });
    return found;
}

QString MakePath(const QString &drive, const QString &directory)
{
    rt::Proc h(kModule, "MakePath");
    QString path;
    h([&] { path = drive + withoutSlash(directory); });
    return path;
}

QString FileNameBak(const QString &name)
{
    rt::Proc h(kModule, "FileNameBak");
    QString result;
    h([&] {
        // The extension follows the last "." of the last component; a leading "." (a hidden
        // file) is part of the name, so ".nvrc" and ".phone" keep backups of their own.
        const qsizetype slash = name.lastIndexOf(u'/');
        const qsizetype dot = name.lastIndexOf(u'.');
        const bool hasExtension = dot > slash + 1;
        const QString base = hasExtension ? name.left(dot) : name;
        const bool isBak = hasExtension && QStringView(name).mid(dot + 1) == u"bak";
        result = base + QLatin1String(isBak ? ".~ak" : ".bak");
    });
    return result;
}

QString GetFileName(const QString &path)
{
    QString drive, directory, base, extension;
    FileSpec::ParseFileName(path, drive, directory, base, extension);
    return base + extension;
}

rt::Int GetFileType(const QString &path)
{
    // Something under that name that is not a regular file (a FIFO, a device, a folder) is none
    // of the program's files and is not read.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return KindOther;
    if (IsConfigFile(path))
        return KindSession;
    if (IsLayoutFile(path))
        return KindLayout;
    if (IsScriptFile(path))
        return KindScript;
    return KindOther;
}

bool IsConfigFile(const QString &path)
{
    rt::Proc h(kModule, "IsConfigFile");
    bool result = false;
    h([&] {
        result = !Profile::GetIniString(
            QStringLiteral("Norvalis"), QStringLiteral("TermType"), QString(), path)
                      .isEmpty();
    });
    return result;
}

bool IsLayoutFile(const QString &path)
{
    rt::Proc h(kModule, "IsLayoutFile");
    bool result = false;
    h([&] {
        result = Profile::GetIniLong(
                     QStringLiteral("Norvalis Main"), QStringLiteral("WindowState"), -1, path)
            >= 0;
    });
    return result;
}

bool IsScriptFile(const QString &path)
{
    try {
        const QString file = existingFile(path, gAppDir.isEmpty() ? ProgramDir() : gAppDir);
        return !file.isEmpty() && containsScriptLine(file);
    } catch (...) {
        rt::debugSwallowed(
            lcStores(), rt::currentError(), "IsScriptFile: probe failed, taken as no script", path);
        return false;
    }
}

QString FindProgramFile(const QString &directory, const QString &name)
{
    const QDir dir(directory);
    if (dir.exists(name))
        return dir.filePath(name);
    const QStringList entries
        = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QString match;
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (!match.isEmpty())
            return dir.filePath(name); // not unique
        match = entry;
    }
    return dir.filePath(match.isEmpty() ? name : match);
}

} // namespace Files
