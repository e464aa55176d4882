#pragma once
// The terminal-emulator control's Settings object: the session's terminal, connection, screen,
// printer, paste and transfer settings. One table (EMU_SETTINGS below) drives everything: the
// names callers use (without case), the types, the defaults, the indexed settings and where each
// one lives in the session file. Load and Save read and write that file through our INI engine;
// Save writes only the keys of this table, always including a non-empty TermType in [Norvalis],
// and leaves every other key of the file (the session's own keys among them) as it was.

#include "runtime/error.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

namespace inifile {
class IniFile;
}

namespace emu {

using rt::Int;
using rt::Long;

enum class SettingType { Int, Long, Boolean, String };

// The table: X(name, type, count, section, default).
// - count: 0 for a plain setting, n for a setting indexed 0 .. n-1.
// - section: the session-file section; the INI key is the name (indexed: name and index, e.g.
//   "Palette3"). An empty section marks a run-time value that is never saved (Changed).
// - default: the value as text; for an indexed setting one value per index, separated by blanks.
//   Every String default is empty: an empty text means "the built-in choice" where it is used
//   (HostPort: 23 for Telnet, 22 for SSH; HostTermType: the terminal type's own name; FontName
//   and PrinterFontName: the system's fixed-pitch font; PrinterName: the default printer;
//   the directories: the session's current directory).
//
// Codes the emulator itself gives a meaning to:
// - Device: 0 none, 1 serial port, 2 raw TCP, 3 Telnet, 4 modem, 5 SSH (6 reserved).
// - Port: 1-99 /dev/ttyS0.., 100-199 /dev/ttyUSB0.., 200-299 /dev/ttyACM0..,
//   1000 and above /dev/pts/0.. (see serialDeviceName in channel.h).
// - Baud: 0-14 a code into baudRates() (110 .. 921600); any other positive value is the rate
// itself.
// - Parity: 0 none, 1 odd, 2 even, 3 mark, 4 space.  DataBits: 5-8.
// - StopBits: 1 one, 2 two, 3 one and a half.  Handshake: 0 none, 1 XON/XOFF, 2 RTS/CTS.
// - TermType: the codes of terminalTypes() below.  ConnectTimeout: seconds, 0 = the system's own.
// - Palette: 16 colours (0-7 black, red, green, yellow, blue, magenta, cyan, white; 8-15 their
//   bright forms) as 0x00BBGGRR.
// - TelnetBinary: ask for binary mode both ways.  TelnetAltBreak: Break sends Interrupt Process
//   instead of Break.  TelnetKeepalive, TelnetNoDelay: the TCP socket options.
//   SSHKeepAlive: seconds between keep-alive probes of the ssh client (0 off).
//   SSHBreakCharacter: the byte sent for Break on SSH (0: the client's "~B" escape).
// - Timeouts of the transfer protocols and PrinterTimeout are in seconds, AsciiDelay in
//   milliseconds per line.
// - ProtectAttr: how protected characters show: 0 half intensity, 1 reverse, 2 underline,
//   3 half intensity and reverse, 4 like the rest.  GmodeEnable: Tektronix graphics are drawn
//   (0: taken in, not shown).  Pages: pages of display memory of the VT420 (1-6).
//   MapUpperFKeys: Shift+F1 ... Shift+F10 send F11 ... F20.  LockFKeys: the host cannot program
//   the function keys.  BkspSendsDel: Backspace sends DEL (0: what the terminal type's
//   Backspace sends: DEL on the VT320 and the Linux console, BS on the others).
// The others are kept for the screen, printing and transfer parts, which give them their meaning.
#define EMU_SETTINGS(X)                                                                            \
    X(Changed, Boolean, 0, "", "False")                                                            \
    X(Palette, Long, 16, "Colors",                                                                 \
        "0 128 32768 32896 8388608 8388736 8421376 12632256 "                                      \
        "8421504 255 65280 65535 16711680 16711935 16776960 16777215")                             \
    X(Device, Int, 0, "Connection", "3")                                                           \
    X(Port, Int, 0, "Connection", "1")                                                             \
    X(Baud, Int, 0, "Connection", "6")                                                             \
    X(Parity, Int, 0, "Connection", "0")                                                           \
    X(DataBits, Int, 0, "Connection", "8")                                                         \
    X(StopBits, Int, 0, "Connection", "1")                                                         \
    X(Handshake, Int, 0, "Connection", "0")                                                        \
    X(Duplex, Int, 0, "Connection", "0")                                                           \
    X(Strip8th, Int, 0, "Connection", "0")                                                         \
    X(HostName, String, 0, "Connection", "")                                                       \
    X(HostPort, String, 0, "Connection", "")                                                       \
    X(HostTermType, String, 0, "Connection", "")                                                   \
    X(TelnetBinary, Int, 0, "Connection", "0")                                                     \
    X(TelnetEcho, Int, 0, "Connection", "0")                                                       \
    X(TelnetBypass, Int, 0, "Connection", "0")                                                     \
    X(TelnetAltBreak, Int, 0, "Connection", "0")                                                   \
    X(ConnectTimeout, Int, 0, "Connection", "30")                                                  \
    X(AutoAnswer, Int, 0, "Connection", "0")                                                       \
    X(TermType, Int, 0, "Norvalis", "12")                                                          \
    X(AnswerBack, String, 0, "Terminal", "")                                                       \
    X(FontName, String, 0, "Screen", "")                                                           \
    X(FontSize, Int, 0, "Screen", "10")                                                            \
    X(ScaleFont, Int, 0, "Screen", "0")                                                            \
    X(BoldFont, Int, 0, "Screen", "0")                                                             \
    X(LegibleFont, Int, 0, "Screen", "0")                                                          \
    X(NormCols, Int, 0, "Screen", "80")                                                            \
    X(NormRows, Int, 0, "Screen", "24")                                                            \
    X(ExtCols, Int, 0, "Screen", "132")                                                            \
    X(ExtRows, Int, 0, "Screen", "24")                                                             \
    X(Pages, Int, 0, "Screen", "1")                                                                \
    X(GmodeEnable, Int, 0, "Screen", "1")                                                          \
    X(MouseEnable, Int, 0, "Screen", "0")                                                          \
    X(ScrAutoFwd, Int, 0, "Screen", "0")                                                           \
    X(ProtectAttr, Int, 0, "Screen", "0")                                                          \
    X(CursorType, Int, 0, "Screen", "0")                                                           \
    X(ScrMode, Int, 0, "Screen", "0")                                                              \
    X(HistoryRows, Int, 0, "Screen", "500")                                                        \
    X(PrinterName, String, 0, "Printer", "")                                                       \
    X(PrinterTimeout, Int, 0, "Printer", "15")                                                     \
    X(PrintJobEject, Int, 0, "Printer", "1")                                                       \
    X(PrintScreenEject, Int, 0, "Printer", "1")                                                    \
    X(PasteEOLMode, Int, 0, "Paste", "0")                                                          \
    X(PasteEOFMode, Int, 0, "Paste", "0")                                                          \
    X(PasteEOLChar, Int, 0, "Paste", "13")                                                         \
    X(PasteEOFChar, Int, 0, "Paste", "26")                                                         \
    X(MapUpperFKeys, Int, 0, "Terminal", "0")                                                      \
    X(DefaultCaptureDir, String, 0, "Transfer", "")                                                \
    X(DefaultXferDir, String, 0, "Transfer", "")                                                   \
    X(DefaultXferMode, Int, 0, "Transfer", "0")                                                    \
    X(DefaultXferOverwrite, Int, 0, "Transfer", "0")                                               \
    X(AsciiEOL, Int, 0, "Transfer", "0")                                                           \
    X(AsciiDelay, Int, 0, "Transfer", "0")                                                         \
    X(XModemTimeout, Int, 0, "Transfer", "10")                                                     \
    X(YModemTimeout, Int, 0, "Transfer", "10")                                                     \
    X(ZModemTimeout, Int, 0, "Transfer", "10")                                                     \
    X(ZModemAuto, Int, 0, "Transfer", "1")                                                         \
    X(KermitTimeout, Int, 0, "Transfer", "10")                                                     \
    X(KermitInitRetry, Int, 0, "Transfer", "10")                                                   \
    X(KermitErrRetry, Int, 0, "Transfer", "5")                                                     \
    X(KermitEOL, Int, 0, "Transfer", "13")                                                         \
    X(KermitQuote, Int, 0, "Transfer", "35")                                                       \
    X(KermitRept, Int, 0, "Transfer", "126")                                                       \
    X(KermitCRC, Int, 0, "Transfer", "0")                                                          \
    X(ScrollMode, Int, 0, "Screen", "0")                                                           \
    X(LockBaudRate, Int, 0, "Connection", "0")                                                     \
    X(OverrideModemConfig, Int, 0, "Connection", "0")                                              \
    X(Sound, String, 0, "Terminal", "")                                                            \
    X(ScreenPrintMode, Int, 0, "Printer", "0")                                                     \
    X(SlavePrintMode, Int, 0, "Printer", "0")                                                      \
    X(PrinterFontName, String, 0, "Printer", "")                                                   \
    X(PrinterFontSize, Int, 0, "Printer", "10")                                                    \
    X(PrinterFontItalic, Int, 0, "Printer", "0")                                                   \
    X(PrinterFontBold, Int, 0, "Printer", "0")                                                     \
    X(PrinterPaperSize, Int, 0, "Printer", "0")                                                    \
    X(PrinterPaperSource, Int, 0, "Printer", "0")                                                  \
    X(PrinterOrientation, Int, 0, "Printer", "1")                                                  \
    X(PrinterColorMode, Int, 0, "Printer", "1")                                                    \
    X(PrintScreenBackground, Int, 0, "Printer", "0")                                               \
    X(Ansi8Bit, Int, 0, "Terminal", "0")                                                           \
    X(AnsiAppKeypad, Int, 0, "Terminal", "0")                                                      \
    X(AnsiAppCursor, Int, 0, "Terminal", "0")                                                      \
    X(NoAutoWrap, Int, 0, "Terminal", "0")                                                         \
    X(BkspSendsDel, Int, 0, "Terminal", "0")                                                       \
    X(TelnetKeepalive, Int, 0, "Connection", "0")                                                  \
    X(TelnetNoDelay, Int, 0, "Connection", "1")                                                    \
    X(SSHKeepAlive, Int, 0, "Connection", "0")                                                     \
    X(SSHNoDelay, Int, 0, "Connection", "0")                                                       \
    X(SSHCipher, Int, 0, "Connection", "0")                                                        \
    X(SSHBreakCharacter, Int, 0, "Connection", "0")                                                \
    X(LockFKeys, Int, 0, "Terminal", "0")                                                          \
    X(U2DeviceLicensing, Int, 0, "Connection", "0")

// Setting ids in table order: Setting::Baud ...
enum class Setting : int {
#define EMU_SETTING_ID(name, type, count, section, deflt) name,
    EMU_SETTINGS(EMU_SETTING_ID)
#undef EMU_SETTING_ID
};

struct SettingDef
{
    Setting id;
    QString name;
    SettingType type;
    int count; // 0 plain, n indexed 0 .. n-1
    QString section; // empty: not saved
    QStringList defaults; // one text, or one per index
};

// The table, in order; find a row by name without case (nullptr when unknown).
const QList<SettingDef> &settingTable();
const SettingDef *findSetting(const QString &name);
const SettingDef &settingDef(Setting id);

// Device codes.
namespace device {
constexpr Int None = 0;
constexpr Int Serial = 1;
constexpr Int Tcp = 2;
constexpr Int Telnet = 3;
constexpr Int Modem = 4;
constexpr Int Ssh = 5;
} // namespace device

// Terminal types by TermType code. vtFamily: emulated through the VT/ANSI engine; otherwise the
// screen handles printable characters and the basic controls only. hostName: what the host is
// told (Telnet terminal type, TERM for SSH) unless HostTermType names something else.
struct TerminalType
{
    Int code;
    QString name;
    QString hostName;
    bool vtFamily;
};
const QList<TerminalType> &terminalTypes();
const TerminalType *findTerminalType(Int code); // nullptr when unknown

// Baud rates by Baud code; baudRate() also accepts a plain rate. 0 when the value means nothing.
const QList<qint32> &baudRates();
qint32 baudRate(Int baud);

class Settings : public QObject
{
    Q_OBJECT
public:
    explicit Settings(QObject *parent = nullptr);
    ~Settings() override;

    // By name, without case. Unknown name: 438. Index outside an indexed setting's range, or an
    // index given to a plain setting: 9. A value that does not convert to the setting's type:
    // 13 or 6 (overflow). A String holding CR, LF or NUL: 380 (it could not be saved).
    QVariant value(const QString &name, int index = 0) const;
    void setValue(const QString &name, const QVariant &value, int index = 0);
    QVariant value(Setting id, int index = 0) const;
    void setValue(Setting id, const QVariant &value, int index = 0);

    // Typed access; the id's type must match (checked in debug builds).
    Int intValue(Setting id, int index = 0) const;
    Long longValue(Setting id, int index = 0) const;
    QString stringValue(Setting id, int index = 0) const;

    // Compact typed accessors for C++ callers: Baud(), setBaud(v), Palette(i), setPalette(i, v) ...
#define EMU_TYPE_Int Int
#define EMU_TYPE_Long Long
#define EMU_TYPE_String QString
#define EMU_TYPE_Boolean bool
#define EMU_SETTING_ACCESSORS(name, type, count, section, deflt)                                   \
    EMU_TYPE_##type name(int index = 0) const                                                      \
    {                                                                                              \
        return value(Setting::name, index).value<EMU_TYPE_##type>();                               \
    }                                                                                              \
    void set##name(const EMU_TYPE_##type &v, int index = 0)                                        \
    {                                                                                              \
        setValue(Setting::name, QVariant::fromValue(v), index);                                    \
    }
    EMU_SETTINGS(EMU_SETTING_ACCESSORS)
#undef EMU_SETTING_ACCESSORS
#undef EMU_TYPE_Int
#undef EMU_TYPE_Long
#undef EMU_TYPE_String
#undef EMU_TYPE_Boolean

    // Every setting to its default; clears Changed.
    void LoadDefaults();
    // Defaults first, then every setting the file holds; a value that does not read as its type
    // keeps its default. Clears Changed; reloaded() follows once. A missing file raises 53, an
    // unreadable one 75 (the defaults stay).
    void Load(const QString &fileName);
    // Writes every saved setting into the file in one atomic write; keys that are not ours stay
    // as they were. Clears Changed on success; a failure raises 75 and changes nothing.
    void Save(const QString &fileName);
    // Puts every saved setting into file (not yet written), for a caller that adds keys of its
    // own and writes the file once. A value the file refuses raises 75; Changed stays as it is.
    void SaveInto(inifile::IniFile &file) const;

    // The terminal type's host name: HostTermType, or the TermType's own.
    QString hostTerminalName() const;

signals:
    // A write that changed a value (Changed itself included); id is int(Setting).
    void settingChanged(int id, int index);
    // Load or LoadDefaults replaced the values.
    void reloaded();

private:
    void setDefaults();

    struct Data;
    Data *d;
};

} // namespace emu
