#pragma once
// The start-up module's routines that the rest of the program calls: the program's message box;
// the entry point and its helpers (single-instance hand-over, splash timing, the
// connection-wizard offer, File Exit); the script bridge from DDE executes, tool actions and
// emulator requests to the script host; the DDE topic names; the pause state and the
// foreground test.

#include "runtime/error.h"

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace Nvmain {

// Shows the program's own message window (frmMsgBox) and returns the code of the button chosen:
// OK 1, Cancel 2, Retry 4, Yes 6, No 7, Yes to All 8, plus 256 when flags carry 256 and the
// "do not show again" box was ticked. flags: bits 0-3 the button set, bits 4-7 the icon, 256 the
// check box (MsgBox::Code and MsgBox::Style name them). Without an owner the main window owns the
// message, when there is one.
rt::Int MessageBox(const QString &prompt, rt::Int flags = 0, QWidget *owner = nullptr);

// ---- Start-up ----

// The program's arguments (without the program's own name): "-Embedding" marks a start by an
// automation client; otherwise the first argument is the file to open and the rest is the
// command line text. Sets gStandalone and the command line that Main reads.
void SetArguments(const QStringList &arguments);
// The command line as one text: the file (in double quotes when it holds a blank), a blank and
// the rest of the arguments.
QString CommandLine();
// The file a command line names: the text between the first two double quotes when it begins
// with one, else the text before the first blank.
QString CommandLineFileName(const QString &commandLine);

// Puts the installed default files (NVWIN.INI, the menu files) that programDir lacks into it,
// from the first of sourceDirs that has each. Existing files are never replaced.
void InstallDefaultFiles(const QString &programDir, const QStringList &sourceDirs);

// The entry point: directories, settings migration, single instance, splash, forms, the
// application object, the command-line file and the connection-wizard offer. Returns to the
// caller's event loop; HandedOver() tells when this process must end at once instead.
void Main();
bool HandedOver();

// True when a running instance took over (it was activated and given the session file).
bool CheckSingleInstance(const QString &fileName);
// Offers to start the connection wizard named in NVWIN.INI [Connection] Wizard32.
void OfferConnectionWizard();
// File Exit: the application's Terminate with prompt mode 3, errors ignored.
void FileExit();
// Requests shutdown with a prompt mode; without an application object it does what Terminate
// would (records the mode, sets the terminating flag, starts the clean-up timer, closes the modal
// windows open now as if cancelled).
void RequestShutdown(rt::Int prompt);
// A signal asks the program to end: what would hold the shutdown back (a transfer, a wait of a
// client or a script) is ended first, then the program ends as Terminate without a prompt does.
void EndOnSignal();

// The platform timer: seconds since midnight (single precision). Tests replace the clock.
double Timer();
using Clock = std::function<double()>;
void SetClock(Clock clock);
// The splash timer's interval (ms) when the main window has been shown at now for a start at
// startTime: the splash closes 4 s after the start and at least 1 s after now.
rt::Int SplashInterval(double startTime, double now);

// Starts a program (a command line: the program and its arguments) as a separate process, not
// watched; false when it cannot start. Tests replace the starter.
bool StartProgram(const QString &command);
using ProgramStarter = std::function<bool(const QString &command)>;
void SetProgramStarter(ProgramStarter starter);

// ---- File commands ----

// New: a blank session, or (when NVWIN.INI [Connection] Wizard32 names a wizard program) the
// "New Connection" prompt first, which may start the wizard instead.
void FileNew();
// Open: a session file (into a new session and the recent-file list) or a layout, chosen in the
// Open dialog; anything else gives "Unable to open " and the name.
void FileOpen();
// Opens recent-file entry index (from 0) by its kind; a file that is gone stays in the list.
void FileOpenRecent(rt::Int index);
// The main window's Open (saving false) or Save As dialog, opened in gLastDir on fileName with the
// filter (its first entry chosen) and the extension a name without one gets: the full name
// chosen, or "" when the user cancelled.
QString AskFileName(bool saving, const QString &title, const QString &fileName,
    const QString &extension, const QString &filter);
// Closes the active session window (nothing without one).
void FileClose();
// Saves every session under its own name (a session without a file asks for one); a session
// that fails is skipped.
void SaveAllSessions();

// ---- Layouts ----

// Writes the current layout to gLayoutFile (nothing when it is empty), whole or not at all,
// after saving every session. A failed write keeps the old file and tells the user.
void FileSaveLayout();
// Asks for a layout file name (Save As dialog) and writes the layout under it.
void FileSaveLayoutAs();
// Opens a layout: places the main window, opens each session file it names where it was (a file
// that gives no session: "Unable to open " and the name), activates the window it marks and runs
// its script. A file without [Norvalis Main] WindowState 0 or more is no layout: nothing happens.
void LoadLayout(const QString &file);

// ---- Script bridge ----

// Runs the bracketed groups of a DDE execute command as a script for a session ("" or "0": none);
// a trailing "&" runs it asynchronously. False with the error's number and text when it failed.
// An asynchronous run that fails later leaves its error in the ErrNum and ErrMsg items of the
// topic the execute came through (SYSTEM, or the session window's topic).
bool DDEExecScript(
    const QString &command, const QString &sessionNo, rt::Long &errNum, QString &errMsg);
// Runs text through the script host; a failure comes back as number and text, never raised.
bool RunScript(
    rt::Int sessionNo, const QString &text, bool async, rt::Long &errNum, QString &errMsg);
// A tool's Action: a bracketed script, or text (in caret notation) sent to the session.
void MenuToolAction(const QString &sessionNo, const QString &action);
// A session's DDE topic: its file's base name up to the first ".", else "Session_" and its number.
QString MakeTopicName(const QString &fileName, rt::Int sessionNo);
// Sets the SYSTEM topic's TOPICS item: "SYSTEM" and the topic of each session window.
void UpdateTopicList();
// The recent-file list: adding moves or puts an existing file at the top; removing takes the
// name out. Names keep their own spelling and compare exactly. The registry copy
// (RecentFiles\File_1, File_2 ...) is rewritten in list order without gaps.
void UpdateRecentFileList(const QString &file, bool remove);
// The pause state (the program's Scroll Lock).
bool GetPauseState();
void SetPauseState(bool state);
// The program is the active application.
bool IAmActive();

} // namespace Nvmain
