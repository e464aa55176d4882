#pragma once
// Where the program's files are: the directories fixed at start-up, resolving a typed file name
// against default extensions and directories, backup names, and recognising the program's three
// file kinds (session file, layout file, script) by their contents. POSIX paths (see fileparts.h).

#include "runtime/error.h"

#include <QString>

// Set by Files::GetIniDir at start-up.
// The current directory at start, always ending with "/".
extern QString gStartDir;
// The program directory (Files::ProgramDir()), always ending with "/"; holds NVWIN.INI and the
// error log.
extern QString gAppDir;
// The home directory at start, later the directory last used in an open or save dialog; no
// trailing "/" except for the root "/".
extern QString gLastDir;

namespace Files {

// File kinds answered by GetFileType.
enum : rt::Int { KindOther = 0, KindSession = 1, KindLayout = 2, KindScript = 3 };

// Sets gStartDir, gAppDir and gLastDir. The home directory (gLastDir) is the NVWIN environment
// variable, else the local-machine registry value Software\Dremo\Nvwin2k\HomePath, else WIN.INI
// ($XDG_CONFIG_HOME/norvalis/win.ini) [NVWIN] HomePath; a registry or WIN.INI value beginning with
// "My Documents/" or "My Documents\" (any case) lies in the XDG Documents folder. A relative home
// is taken relative to the program directory; a home that is not an existing directory falls back
// to the program directory.
void GetIniDir();

// The program directory, ending with "/": the environment variable NORVALIS_APPDIR when it is set
// and not empty (tests point it at a temporary folder); else the executable's directory when it is
// writable; else $XDG_DATA_HOME/norvalis/, created when missing (start-up fills it with the
// installed default files).
QString ProgramDir();

// The WIN.INI stand-in: $XDG_CONFIG_HOME/norvalis/win.ini.
QString WinIniPath();

// Where a session's Save As and Run Script start: the folder of the session's file, else the
// folder the program was started in (without a trailing "/").
QString SessionFolder(const QString &sessionFile);

// Full path of an existing file, or "". extensions: without dots, separated by ";". A name without
// "." is tried with each extension in turn in gStartDir, then with the first extension in
// gLastDir (the bare name is never accepted); a name with "." in gStartDir, then in gLastDir.
QString GetFilePath(const QString &name, const QString &extensions);

// drive & directory without the directory's trailing "/" (the root "/" stays).
QString MakePath(const QString &drive, const QString &directory);

// The backup name: the extension (after the last "." of the last component) becomes ".bak", or
// ".~ak" when it is exactly "bak"; a name without extension gets ".bak" appended.
QString FileNameBak(const QString &name);

// The last component of a path (name and extension).
QString GetFileName(const QString &path);

// 1 session file, 2 layout file, 3 script, 0 anything else; tested in that order. Only regular
// files are read (a FIFO or a device is 0 at once), and only a bounded part of them.
rt::Int GetFileType(const QString &path);
// [Norvalis] TermType is not empty.
bool IsConfigFile(const QString &path);
// [Norvalis Main] WindowState is 0 or more.
bool IsLayoutFile(const QString &path);
// An existing file (resolved against the program directory) with a line, after leading blanks and
// lowered, that begins with a script keyword ("sub ", "function ", "dim ", ..., "rem", and for
// the JavaScript script host also "var ", "let ", "const "). Empty lines and comment lines ("'" or
// "//") are skipped. False on any read error, for anything but a regular file, and when no such
// line stands in the first MiB.
bool IsScriptFile(const QString &path);

// A file the program itself names (NVWIN.INI, PHONE.DAT, menu files) in directory: the exact name
// when it exists, else the one entry whose name matches without case; else directory/name as
// given (so a new file gets the program's own spelling).
QString FindProgramFile(const QString &directory, const QString &name);

} // namespace Files
