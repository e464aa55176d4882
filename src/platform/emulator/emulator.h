#pragma once
// The terminal-emulator control: one per session window. It shows the character screen, holds
// the session's Settings object, connects to the host through a byte channel, reads the host
// protocol out of the data, prints, captures and transfers files, and raises its events as Qt
// signals. Its methods and properties carry the names and dispatch ids that the program calls
// them by (see dispatch.h for the table and the late-bound entry invoke()).
//
// Conventions
// - Screen positions count from 0 (column 0, row 0 is the top left cell); -1 for a position
//   means the cursor's, for a right or bottom edge the last column or row. Pages count from 0:
//   the screen has one, the VT420 as many as its Pages setting says; -1 for a page means the
//   current one.
// - A colour code is foreground + 16 * background, each one of the sixteen basic colours
//   (0 black, 1 red, 2 green, 3 yellow, 4 blue, 5 magenta, 6 cyan, 7 white, 8-15 the bright
//   forms); -1 means the `color` property.
// - Texts to and from the host are Latin-1: character n is byte n; characters without a
//   Latin-1 byte are sent as "?".
// - Timeouts of WaitFor and ReadText are in seconds: 0 checks what has arrived without waiting,
//   a negative value waits without limit (until the text comes, Abort, or the link ends).
// - Methods that wait (WaitFor, ReadText, and Upload, Download, Dial and HangUp with Wait) run a
//   nested event loop: the window stays alive, and Busy is non-zero meanwhile. Waits may run at
//   the same time (two clients each waiting for their own text): each ends with its own result
//   when its own condition is met or its own time is up. Each sees all the text that had not been
//   read when it began and all that comes after; a match takes the text through it for that wait
//   and for the reads and waits that begin later, never from another wait that runs. A D-Bus
//   client's WaitFor or ReadText is answered when its wait ends, without a nested loop, so that
//   it never waits for a wait that began after it; a client that leaves the bus ends its waits
//   at once, taking no text.
//
// Errors raised to callers (rt::Error), besides the runtime's own numbers (5 invalid argument,
// 9 index out of range, 13 type mismatch, 53 file not found, 58 file already exists, 75 path or
// file access error, 76 path not found, 380 invalid property value, 381 invalid property array
// index, 383 property is read-only, 438 unknown member, 449 argument not optional, 450 wrong
// number of arguments):
//
//   30001 "Not connected"                     Output, Break, Paste, Upload, Download without an
//                                             open channel
//   30002 "The control is busy"               a second transfer or capture while one runs
//   30003 "Transfer protocol not available"   Upload or Download by a protocol whose program
//                                             (kermit, or lrzsz's sx/sb/sz/rx/rb/rz) is not
//                                             installed or does not start
//   30004 "Not supported by this terminal"    a member this terminal type cannot do
//   30005 "Invalid capture source"            Capture with a source other than 1 or 2
//   30006 "Invalid screen position"           Locate, SetText, GetText ... outside the screen
//   30007 "The device cannot dial"            Dial on a session whose Device is not a modem
//   30008 "Print failed"                      the print job could not be written
//   30009 "Invalid page"                      a page the terminal does not have (other than -1)
//   30010 "No device"                         Reset of the connection with Device 0
//   30011 "No sound device"                   PlayWave, PlayMIDI on a machine without one
//   30012 "No sound font"                     PlayMIDI without a General MIDI sound font
//   30013 "Not a sound file of that kind"     PlayWave of no PCM WAV, PlayMIDI of no MIDI file
// LoadImage answers 481 for a file that is no picture.

#include "emulator/answerbudget.h"
#include "emulator/channel.h"
#include "emulator/emusettings.h"
#include "emulator/hostprotocol.h"
#include "emulator/screen.h"
#include "emulator/scriptinput.h"
#include "emulator/streamsplitter.h"
#include "emulator/xferengine.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QRgb>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <array>
#include <functional>
#include <list>
#include <memory>
#include <optional>

class QEventLoop;
class QScrollArea;
class QScrollBar;

namespace automation {
class LateReply;
}

namespace emu {

class AsciiDownload;
class AsciiUpload;
class Block;
class CaptureFile;
class PrinterJob;
class ScreenView;
class XferProgress;
struct PrintOptions;

namespace emuerror {
constexpr Long NotConnected = 30001;
constexpr Long Busy = 30002;
constexpr Long ProtocolNotAvailable = 30003;
constexpr Long NotSupported = 30004;
constexpr Long BadCaptureSource = 30005;
constexpr Long BadPosition = 30006;
constexpr Long CannotDial = 30007;
constexpr Long PrintFailed = 30008;
constexpr Long BadPage = 30009;
constexpr Long NoDevice = 30010;
constexpr Long NoSoundDevice = 30011;
constexpr Long NoSoundFont = 30012;
constexpr Long BadSoundFile = 30013;
QString text(Long number);
} // namespace emuerror

// PrinterChange states.
namespace printerstate {
constexpr Int Off = -1; // printer mode off, no job open
constexpr Int Idle = 0; // printer mode off, a job waits for its close or time-out
constexpr Int On = 1; // printer mode or the host's print controller on
} // namespace printerstate

// The codes of the StateNotify event: the state that changed.
namespace statecode {
constexpr Int Connected = 1;
constexpr Int Busy = 2;
constexpr Int XferStatus = 3;
} // namespace statecode

class nvEmulator : public QWidget
{
    Q_OBJECT

public:
    explicit nvEmulator(QWidget *parent = nullptr);
    ~nvEmulator() override;

    // The Settings object (the argument is accepted for callers that pass it before a save; it
    // changes nothing).
    emu::Settings *Settings(bool beforeSave = false);
    emu::Screen *screen() const { return m_screen; }
    ScreenView *view() const { return m_view; }
    Channel *channel() const { return m_channel; }

    // --- Methods ---------------------------------------------------------------------------
    // Printer mode: host data also goes to the printer; Transparent non-zero sends it to the
    // printer only (not shown). The job prints at PrinterClose, or when no print data came for
    // PrinterTimeout seconds.
    void PrinterOn(Int transparent = 0);
    void PrinterOff();
    void PrinterClose();
    // Prints the screen as a job of its own. The host's own print-screen request (VT family)
    // does the same. The host's print jobs (print-screen requests and the print controller's
    // jobs) start at most once a second: the others are logged and dropped, the data of a
    // dropped controller job too (not shown). A job is cut at PrinterJob's limits.
    void PrintScreen();
    // Source 1 received data, 2 printer data; mode 0 new file only, 1 overwrite, 2 append,
    // 3 clipboard. A relative file name is taken in DefaultCaptureDir.
    void Capture(const QString &fileName, Int source, Int mode);
    void CaptureEnd();
    // All four 0: the selection (nothing when there is none); else the screen's rectangle.
    void Copy(Int left = 0, Int top = 0, Int right = 0, Int bottom = 0);
    // All four 0: the whole history; else a rectangle of it (row 0 the oldest line).
    void CopyHistory(Int left = 0, Int top = 0, Int right = 0, Int bottom = 0);
    // Sends the clipboard's text (fileName empty) or a text file, with the line ends of
    // PasteEOLMode/PasteEOLChar (see asciitransfer.h) and, when PasteEOFMode is non-zero,
    // PasteEOFChar at the end. The file name is by reference and comes back unchanged.
    void Paste(QString *fileName = nullptr);
    // Mode 0 resets the terminal and the connection, 1 the terminal only, 2 the connection only
    // (closes it and connects again with the current settings; a modem's port opens then only
    // when AutoAnswer is on, else at the next Dial).
    void Reset(Int mode = 0);
    // Shows text as if the host had sent it (it goes to the terminal emulation only).
    void Emulate(const QString &text);
    void SetText(const QString &text, Int col = -1, Int row = -1, Int color = -1);
    void SetBlock(Block *block, Int left, Int top, Int page = -1);
    void Break();
    // Blanks a rectangle in a colour; with no arguments the whole screen, cursor to the top left.
    void Clear(Int left = -1, Int top = -1, Int right = -1, Int bottom = -1, Int color = -1);
    void SetSelection(Int left = 0, Int top = 0, Int right = -1, Int bottom = -1);
    void ClearSelection();
    void Locate(Int col, Int row, Int page = -1);
    // A picture file over the screen from a cell: Width x Height cells (0: the picture's own
    // size), PreserveAspect non-zero keeps its proportions inside them, BorderStyle non-zero
    // draws a line around it. It stays with its text while the screen scrolls.
    void LoadImage(const QString &fileName, Int col, Int row, Int width = 0, Int height = 0,
        Int preserveAspect = 0, Int borderStyle = 0);
    // Removes the pictures of a file, or every picture ("").
    void UnloadImage(const QString &fileName = QString());
    // Plays a MIDI file or a WAV file through the desktop's sound output; a new sound ends the
    // one playing.
    void PlayMIDI(const QString &fileName);
    void PlayWave(const QString &fileName);
    // The mouse table: a click of Button (1 left, 2 right, 4 middle) on a word matching
    // Pattern (wildcards * and ?, without case) sends RClick (single click) or RDblClk (double
    // click) to the host. A text "menu:<band>" instead asks the window for the popup band of
    // that name (ContextMenu kind 3).
    void MouseTableReset();
    void MouseTableAdd(
        Int button, const QString &pattern, const QString &rClick, const QString &rDblClk);
    // Ends a running transfer, wait or dial.
    void Abort();
    // The host data of this control is shown by the sink control instead (and keys typed
    // there go to this control's host) until DetachAlternateSink, or, with ExitMode 1, until the
    // host sends the byte ExitCode.
    void AttachAlternateSink(nvEmulator *sink, Int exitMode = 0, Int exitCode = 0);
    void DetachAlternateSink();
    // Protocol 0 ASCII, 1 Kermit, 2 XModem, 3 YModem, 4 ZModem (see xferplan.h for how the
    // transfer settings reach the programs); mode 0 text, 1 binary. FileName is a path, or a
    // directory, a NUL and file names separated by NULs (relative names are taken in
    // DefaultXferDir). Upload: Overwrite is the ZModem choice 0-5 of xferplan.h. Download:
    // Overwrite 0 keeps an existing file; ASCII writes the one file named and ends when the host
    // has been idle downloadIdleMs or at Abort; XModem writes the one file named; Kermit, YModem
    // and ZModem receive into the directory under the names the host gives (see xferengine.h).
    // While a protocol transfer runs, host data goes to its program instead of the screen, and
    // a small window shows its progress. With ZModemAuto on, a ZModem start from the host begins
    // a download into DefaultXferDir by itself.
    // Result: 0 completed (or started, without Wait), 1 aborted, 2 failed.
    Int Upload(const QString &fileName, Int protocol, Int mode, Int overwrite = 0, Int wait = 0);
    Int Download(const QString &fileName, Int protocol, Int mode, Int overwrite = 0, Int wait = 0);
    // Result: 0 dialled (or started, without Wait), else the channel's error code.
    Int Dial(const QString &phoneNumber, Int wait = 0);
    // With Wait, returns once the call is down (a modem's hang-up takes seconds).
    Int HangUp(Int wait = 0);
    // Cols characters from a position (-1: the cursor's; Cols -1 to the end of the row).
    QString GetText(Int col = -1, Int row = -1, Int cols = -1, Int noProtect = 0);
    // The caller owns the block.
    Block *GetBlock(Int left, Int top, Int right, Int bottom, Int page = -1);
    // Mode 0: waits for Length characters; 1: for a line (the text before CR or LF, which is
    // taken too); 2: takes what has arrived without waiting. On time-out returns what there is.
    QString ReadText(Int mode = 0, Int length = 80, Int timeout = 30);
    void Output(const QString &text);
    // Compare 0 exact, non-zero without case. Empty targets are skipped. Returns the number
    // (1-10) of the target met, 0 on time-out, Abort or the end of the link.
    Int WaitFor(Int compare, Int timeout, const QVariantList &targets);
    // Host text LeadIn ... Terminator raises Extension with what is between (an empty LeadIn
    // turns this off). The arguments come back holding the previous lead-in and terminator.
    void SetExtension(QString *leadIn, QString *terminator);
    // Raises the change events that describe the current state.
    void Startup();
    // Ends waits, transfers and the capture, prints a pending job, closes the link without
    // events; the control stays inert afterwards.
    void Shutdown();
    // Hands a request to the host program: 1 sent, 0 refused (not in server mode, no link).
    Int ServerRequest(const QString &text);
    // Tells the host program that a script it sent (ExecScript) was not run, and why: 1 sent,
    // 0 without a link.
    Int ScriptError(rt::Long errNum, const QString &errMsg);

    // --- Properties ------------------------------------------------------------------------
    Int Connected() const;
    // The host of the link that is up (Channel::peerName), fixed when it connected; "none"
    // while no link is up. The link stays, and what it brings is shown, when the settings change
    // to name another host: the new settings wait for Reset.
    QString LinkPeer() const;
    // False while a channel is there whose host the settings no longer name; StatusChange
    // (with the same text) tells of each change.
    bool LinkFollowsSettings() const { return !m_linkStale; }
    // The screen's text with room at its side for the history's scroll bar, so that the bar
    // never covers the last columns.
    QSize sizeHint() const override;
    Int Cols() const;
    Int Rows() const;
    Int Col() const;
    void setCol(Int col);
    Int Row() const;
    void setRow(Int row);
    Int Page() const;
    void setPage(Int page);
    Int color() const { return m_color; }
    void setcolor(Int color);
    // The mode Sessions.Add gives a new session; kept for the program (typed keys go to the
    // host in every mode).
    Int InputMode() const { return m_inputMode; }
    void setInputMode(Int mode);
    Int LockKeyboard() const { return m_lockKeyboard; }
    void setLockKeyboard(Int locked);
    Int LockHistory() const { return m_lockHistory; }
    void setLockHistory(Int locked);
    // Percentage of the control's height given to the history pane (0-100); the value is taken
    // by reference and comes back as it was kept.
    Int HistoryVisible() const { return m_historyVisible; }
    void setHistoryVisible(Int *percent);
    // 0 off, 1 on, 2 transparent. Writing calls PrinterOff or PrinterOn.
    Int PrinterMode() const { return m_printerMode; }
    void setPrinterMode(Int mode);
    Int XferStatus() const;
    Int XferFiles() const;
    Long XferBytes() const;
    Int DialStatus() const;
    QString Selection() const;
    // 0 not attached, 1 this control's host data goes to a sink, 2 this control is a sink.
    Int AttachState() const;
    Long BytesIn() const;
    Long BytesOut() const;
    // Text sent by a function key instead of its usual sequence: index 0-11 F1-F12, 12-23 with
    // Shift, 24-35 with Ctrl, 36-47 with Ctrl+Shift; empty for the usual sequence.
    QString FKeys(Int index) const;
    void setFKeys(Int index, const QString &text);
    // The colour code (0-255) of text without colours of its own, by attribute set: index 0-15,
    // bit 0 bold, bit 1 underline, bit 2 reverse, bit 3 blink.
    Int Colors(Int index) const;
    void setColors(Int index, Int code);
    // 0 the normal screen size (NormCols x NormRows), 1 the extended one (ExtCols x ExtRows).
    Int ExtendedMode() const { return m_extendedMode; }
    void setExtendedMode(Int mode);
    Int CaptureMode() const;
    Int CaptureSource() const;
    QString CaptureFileName() const;
    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption) { m_caption = caption; }
    Long hWnd() const;
    // Non-zero while a transfer runs or a method waits.
    Int Busy() const;
    // Above 0 when the control uses the key itself (key code: Windows virtual-key code plus
    // 1000 Shift, 2000 Ctrl, 4000 Alt): the function keys that have an FKeys text.
    Int KeyAssigned(Int keyCode) const;
    // The state the window steps with Alt+L; kept for the program.
    Int CycleMode() const { return m_cycleMode; }
    void setCycleMode(Int mode);

    // --- Late-bound access -----------------------------------------------------------------
    // Methods and properties by name (without case): a property is read with no argument (or
    // its index) and written with one more; by-reference arguments are written back into args.
    QVariant invoke(const QString &name, const QVariantList &args = {});
    QVariant invokeRef(const QString &name, QVariantList &args);

    // Host bytes as if the link had brought them: the host protocol, extensions, the print
    // controller, capture, the scripts' input and the screen.
    void feedHostData(const QByteArray &bytes);

    // Idle time that ends an ASCII download, in milliseconds (10 s by default).
    void setDownloadIdleTime(int ms) { m_downloadIdleMs = ms; }
    // Where the last print job went (a printer's name or a PDF file).
    QString lastPrintTarget() const { return m_lastPrintTarget; }

signals:
    // By-reference arguments are pointers: handlers connected directly may change the value,
    // and the control goes on with what they leave there.
    void ExecScript(const QString &script, rt::Int asynchronous);
    void Disconnect();
    // Code: commErrorBase + the channel's code; when it comes back 0 the error is not shown.
    // Show non-zero: the control shows the error whatever the window's own setting.
    void CommError(rt::Long *code, const QString &detail, rt::Int show);
    // Device code and its name ("" for no device); a handler may rename it.
    void DeviceChange(rt::Int device, QString *name);
    void StatusChange(const QString &text);
    void TermChange(rt::Int termType);
    void PrinterChange(rt::Int state);
    void CaptureChange(rt::Int capturing);
    // Columns, rows, pages, and the extended mode.
    void ScreenChange(rt::Int cols, rt::Int rows, rt::Int pages, rt::Int extended);
    // The cursor for display: column, row and page, counted from 1.
    void LocationChange(rt::Int col, rt::Int row, rt::Int page);
    void KeyboardLockChange(rt::Int locked);
    // History pane shown, and LockHistory.
    void HistoryChange(rt::Int shown, rt::Int locked);
    void ServerStart(const QString &name);
    void ServerExit();
    void ServerResult(const QString &result, const QString &errNum, const QString &errMsg);
    void SaveSettings();
    void LoadSettings();
    void CloseSession();
    // A handler may rewrite the command; a changed text is sent back to the host as its answer.
    void Extension(QString *command);
    void DataReady();
    // Button 1 left, 2 right, 4 middle; shift 1 Shift, 2 Ctrl, 4 Alt; x, y in pixels of the
    // control. A handler that sets the button to 0 keeps the control from handling the press.
    void ButtonPress(rt::Int *button, rt::Int shift, rt::Int x, rt::Int y);
    // Kind 2 the right button, 3 a popup band named by the mouse table; x, y in pixels.
    void ContextMenu(rt::Int kind, rt::Int x, rt::Int y, const QString &bandName);
    // The state statecode names (Connected, Busy, XferStatus) changed to value.
    void StateNotify(rt::Int code, rt::Int value);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    // The wheel scrolls back through the history and forward again to the screen.
    void wheelEvent(QWheelEvent *event) override;

private:
    // The width the text may take: the control's less the history's scroll bar.
    int textWidth() const;
    // A control smaller than its screen scrolls to the cursor (the host's prompt).
    void showCursorCell();

    struct MouseEntry
    {
        Int button;
        QString pattern;
        QString click;
        QString doubleClick;
    };
    class BusyScope;
    friend class BusyScope;

    // Runs the steps in order while this control exists: each may raise events, and a handler
    // may delete the control (close the window). True when the control is still there after
    // the last step; false as soon as it is gone, and the remaining steps are skipped.
    template<class... Steps> bool survives(Steps &&...steps);

    // Settings
    void applySettings();
    void applyTerminalType();
    void applyPrintController();
    // ProtectAttr, LockFKeys, GmodeEnable and Pages, for the screen.
    void applyTerminalOptions();
    // The host's encoding follows Ansi8Bit (see hostencoding.h); text for the host goes out in it.
    HostEncoding hostEncoding() const;
    QByteArray toHost(const QString &text, int eolMode = 3, char eolChar = '\r') const;
    void applyHostEncoding();
    void raiseDeviceChange();
    void onSettingChanged(int id, int index);
    void onSettingsReloaded();
    void applyScreenSize();
    void applyFont();
    void applyColors();
    // A basic colour the host set (Linux console palette), over the session's own for as long
    // as the link and the terminal type last; index -1 drops them all.
    void setHostColor(int index, quint32 rgb);
    void applyTerminalModes();

    // Connection
    void connectHost();
    // A new link: nothing the last host set up stays for the next one.
    void forgetLastHost();
    void restartHostStream();
    void dropChannel();
    void onConnected();
    void onChannelData(const QByteArray &data);
    void onChannelError(int code, const QString &text);
    void showErrorBox(const QString &text);
    void onChannelDisconnected(int code, const QString &text);
    QString connectionKey() const;
    // Sets LinkFollowsSettings after a change of the settings.
    void noteLinkPeer();
    bool sendToHost(const QByteArray &bytes);
    // Whether a request of kind is served now (answerbudget.h).
    bool admitAnswer(AnswerKind kind);
    // Bytes can go to the host and come from it: the channel is open. That is so before the
    // link counts as up (Connected) while an SSH client asks for the login or a modem is in
    // command mode, so that scripts can answer prompts.
    bool linkOpen() const;
    // Raises NotConnected unless linkOpen().
    void requireConnection() const;

    // Host data
    void processHostData(QByteArrayView data);
    void handleHostRequest(const HostRequest &request);
    void processDisplay(QByteArrayView bytes);
    void abandonExtension(
        QByteArrayView inside, const StreamSplitter::Pieces &pieces, qsizetype rest);
    void processExtensionFree(QByteArrayView bytes);
    void processPrinterFree(QByteArrayView data);
    void displayBytes(QByteArrayView bytes);
    void raiseExtension(const QString &command);
    void afterHostData();
    void reportLocation(bool force = false);

    // Printer
    void printData(QByteArrayView bytes);
    void closePrintJob(bool raiseErrors);
    QStringList screenLines() const;
    bool admitHostPrint(const char *what);
    void beginControllerJob();
    void controllerData(QByteArrayView bytes);
    void endControllerJob();
    void onHostPrintScreen();
    void updatePrinterState();
    PrintOptions printOptions() const;

    // Capture
    // Received (1) or printer (2) data into the capture; false when a handler of the events of
    // a failed capture closed the control.
    bool captureData(int source, QByteArrayView bytes);
    void stopCapture();

    // Waits
    struct Waiter;
    int runWait(int timeoutSeconds, const std::function<bool()> &done);
    // Starts a wait that ends by calling finish with 1 (done), 0 (time up, Abort, link lost) or
    // -1 (the control is going away); a negative timeout has no limit.
    Waiter *startWait(
        int timeoutSeconds, std::function<bool()> done, std::function<void(int)> finish);
    void endWait(Waiter *waiter, int result);
    // Ends every wait: with 1 where judge is set and its condition is met, else 0.
    // Runs fn on every wait still running, from a copy of the list (fn may end waits, and the
    // emulator may go meanwhile).
    void forEachWait(const std::function<void(Waiter *)> &fn);
    void endWaits(bool judge);
    bool waiting(const Waiter *waiter) const;
    void whileClientWaits(const std::shared_ptr<automation::LateReply> &late, Waiter *waiter);
    void wakeWaiter();

    // Transfers
    QStringList transferFiles(const QString &fileName) const;
    void checkTransfer(Int protocol, bool upload) const;
    bool transferRunning() const;
    template<class Transfer> bool beginTransfer(Transfer *transfer, const QString &status);
    bool endTransfer(int result);
    void onTransferProgress();
    void onTransferFinished(int result);
    Int waitTransfer(Int wait);
    XferSettings transferSettings(Int protocol) const;
    bool runProtocolTransfer(Int protocol, bool upload, Int mode, Int overwrite,
        const QStringList &files, const QString &directory);
    // Host data for a running protocol transfer, or the start of a ZModem download; what is
    // left in data goes on to the screen. False when the control was closed meanwhile.
    bool divertToTransfer(QByteArrayView *data);
    void holdForTransfer();
    // The link is held while a transfer program or the screen is behind.
    void holdHostInput();
    bool startAutoDownload(const QByteArray &start);

    // Screen helpers
    int checkedRow(Int row) const;
    int checkedCol(Int col) const;
    void checkPage(Int page) const;
    // Runs `work` with `page` shown (-1: the current one), then shows the page shown before.
    void onPage(Int page, const std::function<void()> &work);
    // lineText(line, from, to): the text of columns [from, to] of a line.
    QString rectangleText(const std::function<QString(int, int, int)> &lineText, int lines,
        Int left, Int top, Int right, Int bottom) const;
    void setClipboardText(const QString &text);
    // A finished selection becomes the desktop's primary selection (where it has one).
    void offerSelection();
    // The middle button pastes the primary selection to the host (when a link is open).
    void pasteSelection();
    // Sends text as Paste does: the paste line ends, the end-of-file character, the echo.
    void pasteToHost(const QString &text);
    void historyPaneChanged();
    void updateHistoryPane();
    // Leaves the history the wheel opened (the screen shows again).
    void endWheelHistory();

    // Input
    void onMousePressed(QMouseEvent *event, bool *handled, bool doubleClick);
    bool mouseTableHit(QMouseEvent *event, Int button, bool doubleClick);
    void sendKeys(const QByteArray &bytes);
    static Int shiftMask(Qt::KeyboardModifiers mods);

    emu::Settings *m_settings;
    emu::Screen *m_screen;
    ScreenView *m_view;
    ScreenView *m_historyView;
    QScrollBar *m_historyBar;
    QScrollArea *m_viewArea;
    QWidget *m_historyPane;
    HostProtocol m_protocol;
    StreamSplitter m_extension;
    StreamSplitter m_printController;
    ScriptInput m_input;

    QPointer<Channel> m_channel;
    QString m_channelKey;
    QString m_linkPeer; // the host of the link that is up
    bool m_linkStale = false; // the settings name another host than the channel's
    AnswerBudget m_answers;
    QString m_statusText;
    QString m_pendingDial; // dialled once the modem's port is open
    bool m_linkUp = false;
    bool m_fromLink = false; // the host data being processed came from the link
    bool m_transferHolds = false; // the transfer program has too much of the host's data
    bool m_dialing = false;
    bool m_serverMode = false;
    bool m_shutdown = false;
    bool m_gotInput = false;
    qint64 m_bytesIn = 0;
    qint64 m_bytesOut = 0;
    QByteArray m_extensionCommand;

    // Printer
    Int m_printerMode = 0;
    bool m_controllerActive = false; // printing a job of the print controller
    qint64 m_controllerDropped = 0; // bytes of a job the rate refused
    Int m_printerState = printerstate::Off;
    std::unique_ptr<PrinterJob> m_printJob;
    QTimer m_printTimer;
    QString m_lastPrintTarget;
    QElapsedTimer m_hostPrintClock; // since the host's last print job
    int m_hostPrintsDropped = 0; // since then

    // Capture
    std::unique_ptr<CaptureFile> m_capture;
    Int m_captureSource = 0;

    // Waits and transfers
    std::list<std::shared_ptr<Waiter>> m_waiters; // in the order they began
    int m_busy = 0;
    QPointer<AsciiUpload> m_upload;
    QPointer<AsciiDownload> m_download;
    QPointer<XferEngine> m_xfer;
    QPointer<XferProgress> m_xferWindow;
    ZModemStartDetector m_zmodemStart;
    QElapsedTimer m_xferStatusClock;
    int m_transferResult = 0;
    int m_xferFiles = 0;
    qint64 m_xferBytes = 0;
    int m_downloadIdleMs = 10000;
    int m_dialResult = 0;

    // Alternate sink
    QPointer<nvEmulator> m_sink;
    QPointer<nvEmulator> m_source;
    Int m_sinkExitMode = 0;
    char m_sinkExitCode = 0;

    // Run-time properties
    Int m_color = 7;
    Int m_inputMode = 0;
    Int m_lockKeyboard = 0;
    Int m_lockHistory = 0;
    Int m_historyVisible = 0;
    // The history pane fills the control because the wheel opened it: it scrolls on through the
    // screen's rows, and reaching them, typing or new lines close it again.
    bool m_wheelHistory = false;
    int m_wheelDelta = 0; // eighths of a degree not yet scrolled
    Int m_extendedMode = 0;
    Int m_cycleMode = 0;
    QString m_caption;
    QStringList m_fkeys;
    QList<Int> m_colors;
    std::array<std::optional<QRgb>, 16> m_hostColors {};
    QList<MouseEntry> m_mouseTable;
    QPoint m_reportedLocation { -1, -1 };
    int m_reportedPage = -1;
};

template<class... Steps> bool nvEmulator::survives(Steps &&...steps)
{
    const QPointer<nvEmulator> self(this);
    return ((std::forward<Steps>(steps)(), !self.isNull()) && ...);
}

} // namespace emu
