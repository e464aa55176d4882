#include "dialogs/settingsfields.h"

#include "app/appglobals.h"
#include "app/norvalis.h"
#include "emulator/channel.h"
#include "emulator/emusettings.h"
#include "runtime/resstrings.h"
#include "runtime/values.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <algorithm>
#include <iterator>

namespace settingsdlg {

namespace {

constexpr Devices on(int device)
{
    return 1u << device;
}
constexpr Devices Network = on(emu::device::Tcp) | on(emu::device::Telnet) | on(emu::device::Ssh);
constexpr Devices SerialLine = on(emu::device::Serial) | on(emu::device::Modem);
constexpr const char *kDeviceGroup = "Link options";

// The port a network device takes when none is given; 0 when it has none.
struct DevicePort
{
    int device;
    int port;
};
constexpr DevicePort kDevicePorts[] = { { emu::device::Telnet, 23 }, { emu::device::Ssh, 22 } };

std::optional<int> ownPort(int device)
{
    for (const DevicePort &entry : kDevicePorts) {
        if (entry.device == device)
            return entry.port;
    }
    return std::nullopt;
}

// One row of the table, completed with the builder members below.
struct Row : Field
{
    Row(Page page, const char *group, const char *label, Store store, const char *name, Kind kind)
    {
        this->page = page;
        this->group = QString::fromUtf8(group);
        this->label = QString::fromUtf8(label);
        this->store = store;
        this->name = QString::fromLatin1(name);
        this->kind = kind;
    }
    Row &range(int lo, int hi)
    {
        min = lo;
        max = hi;
        return *this;
    }
    Row &with(QList<Choice> list)
    {
        choices = std::move(list);
        return *this;
    }
    Row &when(Devices list)
    {
        devices = list;
        return *this;
    }
    Row &empty(const char *meaning) { return empty(QString::fromUtf8(meaning)); }
    Row &empty(const QString &meaning)
    {
        hint = meaning;
        return *this;
    }
    Row &at(int i)
    {
        index = i;
        return *this;
    }
};

QList<Choice> choices(std::initializer_list<std::pair<int, const char *>> list)
{
    QList<Choice> result;
    for (const auto &[code, text] : list)
        result.append(Choice { code, QString::fromUtf8(text) });
    return result;
}

QList<Choice> deviceChoices()
{
    QList<Choice> result;
    for (int code = emu::device::None; code <= emu::device::Ssh; ++code)
        result.append(Choice { code, rt::findResString(1600 + code).value_or(QString::number(code)) });
    return result;
}

// Names in the order a reader expects: letters without regard to case, a run of digits by its
// value ("VT52" before "VT100").
bool nameLess(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype startA = i, startB = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            const qulonglong x = a.sliced(startA, i - startA).toULongLong();
            const qulonglong y = b.sliced(startB, j - startB).toULongLong();
            if (x != y)
                return x < y;
            continue;
        }
        const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// The terminal types by name, each with its stored code.
QList<Choice> terminalChoices()
{
    QList<Choice> result;
    for (const emu::TerminalType &type : emu::terminalTypes())
        result.append(Choice { type.code, type.name });
    std::stable_sort(result.begin(), result.end(),
        [](const Choice &a, const Choice &b) { return nameLess(a.text, b.text); });
    return result;
}

QList<Choice> baudChoices()
{
    QList<Choice> result;
    for (int code = 0; code < emu::baudRates().size(); ++code)
        result.append(Choice { code, QString::number(emu::baudRates().at(code)) });
    return result;
}

// Line ends of text sent to the host; mode 0 sends the character given beside it.
QList<Choice> lineEndChoices(const char *modeZero)
{
    return choices({ { 0, modeZero }, { 1, "CR LF" }, { 2, "LF" }, { 3, "As in the text" },
        { 4, "None (lines joined)" } });
}

const char *const ColorNames[] = { "Black", "Red", "Green", "Yellow", "Blue", "Magenta", "Cyan",
    "White" };

QList<Field> buildFields()
{
    using enum Page;
    using enum Kind;
    constexpr Store E = Store::Emulator;
    constexpr Store S = Store::Session;
    constexpr Store P = Store::Program;
    QList<Field> t;
    auto add = [&t](const Row &row) { t.append(row); };

    // Connection.
    add(Row(Connection, "Connection", "Connect through:", E, "Device", List)
            .with(deviceChoices()));
    add(Row(Connection, "Host", "Host name:", E, "HostName", HostName).when(Network));
    add(Row(Connection, "Host", "Port:", E, "HostPort", HostPort)
            .when(Network)
            .empty(hostPortHint(emu::device::Tcp))); // the longest: the box's width
    add(Row(Connection, kDeviceGroup, "Binary mode in both directions", E, "TelnetBinary", Check)
            .when(on(emu::device::Telnet)));
    add(Row(Connection, kDeviceGroup, "Break sends Interrupt Process", E, "TelnetAltBreak", Check)
            .when(on(emu::device::Telnet)));
    add(Row(Connection, kDeviceGroup, "Keep the link alive when idle", E, "TelnetKeepalive", Check)
            .when(on(emu::device::Tcp) | on(emu::device::Telnet)));
    add(Row(Connection, kDeviceGroup, "Send each key at once (no delay)", E, "TelnetNoDelay", Check)
            .when(on(emu::device::Tcp) | on(emu::device::Telnet)));
    add(Row(Connection, "SSH", "Keep-alive interval (seconds):", E, "SSHKeepAlive", Number)
            .range(0, 3600)
            .when(on(emu::device::Ssh)));
    add(Row(Connection, "SSH", "Break character code:", E, "SSHBreakCharacter", Number)
            .range(0, 255)
            .when(on(emu::device::Ssh)));
    add(Row(Connection, "SSH", "Break character code 0 sends the ssh escape ~B.", E, "", Note)
            .when(on(emu::device::Ssh)));
    add(Row(Connection, "Serial line", "Port:", E, "Port", SerialPort).when(SerialLine));
    add(Row(Connection, "Serial line", "Speed (baud):", E, "Baud", List)
            .with(baudChoices())
            .when(SerialLine));
    add(Row(Connection, "Serial line", "Data bits:", E, "DataBits", List)
            .with(choices({ { 5, "5" }, { 6, "6" }, { 7, "7" }, { 8, "8" } }))
            .when(SerialLine));
    add(Row(Connection, "Serial line", "Parity:", E, "Parity", List)
            .with(choices({ { 0, "None" }, { 1, "Odd" }, { 2, "Even" }, { 3, "Mark" },
                { 4, "Space" } }))
            .when(SerialLine));
    add(Row(Connection, "Serial line", "Stop bits:", E, "StopBits", List)
            .with(choices({ { 1, "1" }, { 3, "1.5" }, { 2, "2" } }))
            .when(SerialLine));
    add(Row(Connection, "Serial line", "Flow control:", E, "Handshake", List)
            .with(choices({ { 0, "None" }, { 1, "XON/XOFF" }, { 2, "RTS/CTS" } }))
            .when(SerialLine));
    add(Row(Connection, "Modem", "Answer incoming calls", E, "AutoAnswer", Check)
            .when(on(emu::device::Modem)));
    add(Row(Connection, "Modem", "Keep the port speed when connected", E, "LockBaudRate", Check)
            .when(on(emu::device::Modem)));
    add(Row(Connection, "Modem", "Numbers are dialled from the Dialer (Tools menu).", E, "", Note)
            .when(on(emu::device::Modem)));
    add(Row(Connection, "Time-outs", "Connect or dial time-out (seconds):", E, "ConnectTimeout",
        Number)
            .range(0, 3600)
            .when(Network | on(emu::device::Modem)));
    add(Row(Connection, "Time-outs", "0 waits as long as the system does (a modem: 60 seconds).", E,
        "", Note)
            .when(Network | on(emu::device::Modem)));
    add(Row(Connection, "Session", "Close the session when the host disconnects", S, "AutoClose",
        Check));
    add(Row(Connection, "Session", "Show communication errors", S, "ShowErrs", Check));

    // Terminal.
    add(Row(Terminal, "Terminal", "Terminal type:", E, "TermType", List).with(terminalChoices()));
    add(Row(Terminal, "Terminal", "Name sent to the host:", E, "HostTermType", Text)
            .empty("the terminal type's own"));
    add(Row(Terminal, "Terminal", "Answerback message:", E, "AnswerBack", Text));
    add(Row(Terminal, "Keyboard", "Backspace sends DEL", E, "BkspSendsDel", Check));
    add(Row(Terminal, "Keyboard", "Application cursor keys", E, "AnsiAppCursor", Check));
    add(Row(Terminal, "Keyboard", "Application keypad", E, "AnsiAppKeypad", Check));
    add(Row(Terminal, "Keyboard", "Shift+F1 to F10 send F11 to F20", E, "MapUpperFKeys", Check));
    add(Row(Terminal, "Keyboard", "Lock the function keys", E, "LockFKeys", Check));
    add(Row(Terminal, "Host data", "8-bit controls (single-byte host)", E, "Ansi8Bit", Check));
    add(Row(Terminal, "Host data", "Strip the 8th bit", E, "Strip8th", Check));
    add(Row(Terminal, "Host data", "No automatic wrap at the right margin", E, "NoAutoWrap", Check));
    add(Row(Terminal, "Host data", "Local echo (half duplex)", E, "Duplex", Check));

    // Screen.
    add(Row(Screen, "Font", "Font:", E, "FontName", Font));
    add(Row(Screen, "Font", "Size (points):", E, "FontSize", Number).range(4, 72));
    add(Row(Screen, "Font", "Bold", E, "BoldFont", Check));
    add(Row(Screen, "Font", "Scale the font to the window", E, "ScaleFont", Check));
    add(Row(Screen, "Size", "Rows:", E, "NormRows", Number).range(1, 256));
    add(Row(Screen, "Size", "Columns:", E, "NormCols", Number).range(2, 512));
    add(Row(Screen, "Size", "Rows in extended mode:", E, "ExtRows", Number).range(1, 256));
    add(Row(Screen, "Size", "Columns in extended mode:", E, "ExtCols", Number).range(2, 512));
    add(Row(Screen, "Size", "History (lines):", E, "HistoryRows", Number).range(0, 32767));
    add(Row(Screen, "Size", "Cursor:", E, "CursorType", List)
            .with(choices({ { 0, "Block" }, { 1, "Underline" }, { 2, "Vertical bar" },
                { 3, "Hidden" } })));
    for (int i = 0; i < 16; ++i) {
        const QString name = i < 8 ? QString::fromLatin1(ColorNames[i])
                                   : QStringLiteral("Bright ") + QString::fromLatin1(ColorNames[i - 8]).toLower();
        Row row(Screen, "Colours", "", E, "Palette", Color);
        row.label = name + u':';
        add(row.at(i));
    }
    add(Row(Screen, "Window", "Title:", S, "Caption", Text).empty("the session's own"));
    add(Row(Screen, "Window", "Icon:", S, "Icon", Picture).empty("the program's"));
    add(Row(Screen, "Window", "Menu file:", S, "Menu", MenuFile).empty("dfltsess.mnu"));

    // Printer.
    add(Row(Printer, "Printer", "Printer:", E, "PrinterName", PrinterName));
    add(Row(Printer, "Printer", "End a host print job after (idle seconds):", E, "PrinterTimeout",
        Number)
            .range(0, 3600));
    add(Row(Printer, "Printer", "Eject the page after a host print job", E, "PrintJobEject", Check));
    add(Row(Printer, "Printer", "Eject the page after a screen print", E, "PrintScreenEject",
        Check));
    add(Row(Printer, "Printer", "Print the screen's background colours", E,
        "PrintScreenBackground", Check));
    add(Row(Printer, "Font", "Font:", E, "PrinterFontName", Font));
    add(Row(Printer, "Font", "Size (points):", E, "PrinterFontSize", Number).range(4, 72));
    add(Row(Printer, "Font", "Bold", E, "PrinterFontBold", Check));
    add(Row(Printer, "Font", "Italic", E, "PrinterFontItalic", Check));
    add(Row(Printer, "Page", "Orientation:", E, "PrinterOrientation", List)
            .with(choices({ { 1, "Portrait" }, { 2, "Landscape" } })));
    add(Row(Printer, "Page", "Paper size:", E, "PrinterPaperSize", List)
            .with(choices({ { 0, "The printer's own" }, { 1, "Letter" }, { 5, "Legal" },
                { 8, "A3" }, { 9, "A4" }, { 11, "A5" } })));
    add(Row(Printer, "Page", "Paper source:", E, "PrinterPaperSource", List)
            .with(choices({ { 0, "The printer's own" }, { 1, "Upper tray" }, { 2, "Lower tray" },
                { 4, "Manual feed" }, { 7, "Automatic" } })));
    add(Row(Printer, "Page", "Colour:", E, "PrinterColorMode", List)
            .with(choices({ { 1, "Black and white" }, { 2, "Colour" } })));

    // Paste.
    add(Row(Paste, "Line ends", "Each line ends with:", E, "PasteEOLMode", List)
            .with(lineEndChoices("The character below")));
    add(Row(Paste, "Line ends", "Line-end character code:", E, "PasteEOLChar", Number)
            .range(0, 255));
    add(Row(Paste, "End of text", "Send a character after the text", E, "PasteEOFMode", Check));
    add(Row(Paste, "End of text", "End-of-text character code:", E, "PasteEOFChar", Number)
            .range(0, 255));
    add(Row(Paste, "End of text", "Character codes are decimal: 13 is CR, 10 LF, 26 Ctrl+Z.", E,
        "", Note));

    // Transfer.
    add(Row(Transfer, "Folders", "Capture folder:", E, "DefaultCaptureDir", Directory)
            .empty("the current folder"));
    add(Row(Transfer, "Folders", "Transfer folder:", E, "DefaultXferDir", Directory)
            .empty("the current folder"));
    add(Row(Transfer, "Defaults", "Transfer mode:", E, "DefaultXferMode", List)
            .with(choices({ { 0, "Text" }, { 1, "Binary" } })));
    add(Row(Transfer, "Defaults", "Overwrite existing files", E, "DefaultXferOverwrite", Check));
    add(Row(Transfer, "ASCII", "Each line ends with:", E, "AsciiEOL", List)
            .with(lineEndChoices("CR")));
    add(Row(Transfer, "ASCII", "Delay after each line (ms):", E, "AsciiDelay", Number)
            .range(0, 10000));
    add(Row(Transfer, "XMODEM, YMODEM, ZMODEM", "XMODEM time-out (seconds):", E, "XModemTimeout",
        Number)
            .range(1, 300));
    add(Row(Transfer, "XMODEM, YMODEM, ZMODEM", "YMODEM time-out (seconds):", E, "YModemTimeout",
        Number)
            .range(1, 300));
    add(Row(Transfer, "XMODEM, YMODEM, ZMODEM", "ZMODEM time-out (seconds):", E, "ZModemTimeout",
        Number)
            .range(1, 300));
    add(Row(Transfer, "XMODEM, YMODEM, ZMODEM", "Start ZMODEM downloads by themselves", E,
        "ZModemAuto", Check));
    add(Row(Transfer, "Kermit", "Time-out (seconds):", E, "KermitTimeout", Number).range(1, 94));
    add(Row(Transfer, "Kermit", "Retries to start:", E, "KermitInitRetry", Number).range(1, 99));
    add(Row(Transfer, "Kermit", "Retries after an error:", E, "KermitErrRetry", Number)
            .range(1, 99));
    add(Row(Transfer, "Kermit", "Packet end character code:", E, "KermitEOL", Number)
            .range(0, 31));
    add(Row(Transfer, "Kermit", "Control prefix character code:", E, "KermitQuote", Number)
            .range(33, 126));
    add(Row(Transfer, "Kermit", "Repeat prefix character code:", E, "KermitRept", Number)
            .range(32, 126));
    add(Row(Transfer, "Kermit", "A repeat prefix of 32 (blank) sends no repeat counts.", E, "",
        Note));
    add(Row(Transfer, "Kermit", "CRC block check", E, "KermitCRC", Check));

    // Mouse.
    add(Row(Mouse, "Mouse", "Use the mouse in the terminal", E, "MouseEnable", Check));
    add(Row(Mouse, "Mouse", "Mouse table:", S, "MouseTable", File).empty("none"));
    add(Row(Mouse, "Mouse",
        "A mouse table is a text file with one entry a line: the button (1 left, 2 right, "
        "4 middle), a pattern for the word clicked, the text sent for a click and the text "
        "sent for a double click, separated by tabs. Lines that start with ; are comments.",
        S, "", Note));

    // Program.
    add(Row(Program, "Window", "Title:", P, "Caption", Text).empty(ProductTitle()));
    add(Row(Program, "Window", "Icon:", P, "Icon", Picture).empty("the program's"));
    add(Row(Program, "Window", "Show the toolbar", P, "ToolbarVisible", Check));
    add(Row(Program, "Window", "Show the status line", P, "StatusLineVisible", Check));
    add(Row(Program, "Files", "Main menu file:", P, "Menu", MenuFile).empty("dfltmain.mnu"));
    add(Row(Program, "Files", "Phone book:", P, "PhoneBook", NewFile));
    add(Row(Program, "Files", "Telnet hosts file:", P, "HostFile", File).empty("none"));
    add(Row(Program, "Files", "Mouse table for new sessions:", P, "MouseTable", File)
            .empty("none"));
    add(Row(Program, "Folders", "Capture folder:", P, "DefaultCaptureDir", Directory)
            .empty("the current folder"));
    add(Row(Program, "Folders", "Transfer folder:", P, "DefaultXferDir", Directory)
            .empty("the current folder"));
    add(Row(Program, "Starting and closing", "Open files in the running Norvalis", P,
        "SingleInstance", Check));
    add(Row(Program, "Starting and closing", "End Norvalis when the last session closes", P,
        "AutoClose", Check));
    add(Row(Program, "Starting and closing", "Close sessions without asking", P, "NoCloseWarning",
        Check));
    add(Row(Program, "Starting and closing", "Recent files listed:", P, "RecentListSize", Number)
            .range(0, 20));
    add(Row(Program, "Starting and closing", "Blocked Alt+letter shortcuts:", P,
        "BlockedHotKeys", HotKeys)
            .empty("none"));
    return t;
}

bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.begin(), text.end(),
        [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

QString fileProblem(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return quoted(path) + QStringLiteral(" is a folder, not a file.");
    if (!info.exists())
        return QStringLiteral("there is no file ") + quoted(path) + u'.';
    if (!info.isFile())
        return quoted(path) + QStringLiteral(" is not an ordinary file.");
    return {};
}

QString numberProblem(const Field &field, const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (ok && value >= field.min && value <= field.max)
        return {};
    return QStringLiteral("enter a whole number from %1 to %2.").arg(field.min).arg(field.max);
}

QString hostNameProblem(const QString &text, int device)
{
    const QString host = text.trimmed();
    if (host.isEmpty() && device >= 0 && (Network & on(device)))
        return QStringLiteral("enter the host to connect to.");
    if (host.isEmpty())
        return {};
    const bool blank = std::any_of(host.begin(), host.end(), [](QChar c) { return c.isSpace(); });
    if (host.startsWith(u'-') || blank || hasControlCharacter(host))
        return QStringLiteral(
            "a host name cannot begin with \"-\" or hold blanks or control characters.");
    return {};
}

QString hostPortProblem(const QString &text, int device)
{
    const QString port = text.trimmed();
    bool ok = false;
    const uint value = port.toUInt(&ok);
    const bool hasOwn = device < 0 || ownPort(device);
    if ((ok && value >= 1 && value <= 65535) || (port.isEmpty() && hasOwn))
        return {};
    if (!hasOwn)
        return QStringLiteral("enter a port number from 1 to 65535 (the device has no port of "
                              "its own).");
    return QStringLiteral("enter a port number from 1 to 65535, or nothing for the device's own.");
}

const QRegularExpression &colorPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^#?([0-9A-Fa-f]{6})$"));
    return pattern;
}

bool isLetters(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        const QChar upper = c.toUpper();
        return upper >= u'A' && upper <= u'Z';
    });
}

} // namespace

QString pageTitle(Page page)
{
    static const char *const titles[PageCount] = { "Connection", "Terminal", "Screen", "Printer",
        "Paste", "Transfer", "Mouse", "Program" };
    return QString::fromLatin1(titles[int(page)]);
}

QString Field::key() const
{
    static const char *const prefixes[] = { "emu:", "session:", "app:" };
    QString result = QString::fromLatin1(prefixes[int(store)]) + name;
    if (kind == Kind::Color)
        result += QString::number(index);
    return result;
}

QString Field::title() const
{
    QString text = label;
    if (text.endsWith(u':'))
        text.chop(1);
    return text;
}

const QList<Field> &fields()
{
    static const QList<Field> table = buildFields();
    return table;
}

QString textOf(const Field &field, const QVariant &value)
{
    switch (field.kind) {
    case Kind::Number:
        return QString::number(value.toLongLong());
    case Kind::SerialPort:
        return emu::serialDeviceName(rt::Int(value.toInt()));
    case Kind::Color: {
        const qint64 bgr = value.toLongLong();
        return QStringLiteral("#%1%2%3")
            .arg(bgr & 0xFF, 2, 16, QChar(u'0'))
            .arg((bgr >> 8) & 0xFF, 2, 16, QChar(u'0'))
            .arg((bgr >> 16) & 0xFF, 2, 16, QChar(u'0'))
            .toUpper();
    }
    case Kind::HotKeys:
        return Norvalis::HotKeysToText(rt::Long(value.toLongLong()));
    default:
        return value.toString();
    }
}

QString hostPortHint(int device)
{
    if (const std::optional<int> port = ownPort(device))
        return QStringLiteral("%1 when empty").arg(*port);
    return QStringLiteral("required: a TCP port");
}

QString deviceGroup()
{
    return QString::fromLatin1(kDeviceGroup);
}

QString problemOf(const Field &field, const QString &text, int device)
{
    switch (field.kind) {
    case Kind::Number:
        return numberProblem(field, text);
    case Kind::Text:
        return hasControlCharacter(text)
            ? QStringLiteral("the text cannot hold control characters.")
            : QString();
    case Kind::HostName:
        return hostNameProblem(text, device);
    case Kind::HostPort:
        return hostPortProblem(text, device);
    case Kind::SerialPort:
        return serialPort(text) ? QString()
                                : QStringLiteral("enter a serial device such as /dev/ttyS0, "
                                                 "/dev/ttyUSB0, /dev/ttyACM0 or /dev/pts/3.");
    case Kind::Color:
        return colorPattern().match(text.trimmed()).hasMatch()
            ? QString()
            : QStringLiteral("enter the colour as #RRGGBB (six hexadecimal digits).");
    case Kind::File:
        return text.isEmpty() ? QString() : fileProblem(text);
    case Kind::Picture:
        if (text.isEmpty())
            return {};
        if (const QString problem = fileProblem(text); !problem.isEmpty())
            return problem;
        return QImageReader(text).canRead()
            ? QString()
            : quoted(text) + QStringLiteral(" is not a picture Norvalis can read.");
    case Kind::MenuFile:
        return text.contains(u'/') ? fileProblem(text) : QString();
    case Kind::NewFile: {
        if (text.isEmpty())
            return {};
        const QFileInfo info(text);
        if (info.isDir())
            return quoted(text) + QStringLiteral(" is a folder, not a file.");
        if (!info.absoluteDir().exists())
            return QStringLiteral("there is no folder ") + quoted(info.absolutePath()) + u'.';
        return {};
    }
    case Kind::Directory:
        return text.isEmpty() || QFileInfo(text).isDir()
            ? QString()
            : QStringLiteral("there is no folder ") + quoted(text) + u'.';
    case Kind::HotKeys:
        return isLetters(text) ? QString() : QStringLiteral("enter letters from A to Z only.");
    default:
        return {};
    }
}

QVariant valueOf(const Field &field, const QString &text)
{
    switch (field.kind) {
    case Kind::Number:
        return text.trimmed().toInt();
    case Kind::HostName:
    case Kind::HostPort:
        return text.trimmed();
    case Kind::SerialPort:
        return serialPort(text).value_or(0);
    case Kind::Color: {
        const uint rgb = colorPattern().match(text.trimmed()).captured(1).toUInt(nullptr, 16);
        return rt::Long(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
    }
    case Kind::HotKeys:
        return Norvalis::HotKeysFromText(text.toUpper());
    default:
        return text;
    }
}

QVariant checkValue(Store store, bool on)
{
    if (store == Store::Emulator)
        return rt::Int(on ? 1 : 0);
    return rt::BoolToInt(on);
}

std::optional<int> serialPort(const QString &device)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(?:/dev/)?(ttyS|ttyUSB|ttyACM|pts/)(\\d{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(device.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    struct Family
    {
        const char *prefix;
        int first; // the code of device 0
        int count;
    };
    static const Family families[]
        = { { "ttyS", 1, 99 }, { "ttyUSB", 100, 100 }, { "ttyACM", 200, 100 },
              { "pts/", 1000, 32767 - 1000 + 1 } };
    const int number = match.captured(2).toInt();
    for (const Family &family : families) {
        if (match.captured(1) == QLatin1String(family.prefix) && number < family.count)
            return family.first + number;
    }
    return std::nullopt;
}

std::optional<Page> startPage(const QString &name, bool withSession)
{
    const QString letter = name.trimmed().left(1).toUpper();
    if (letter == u"P")
        return withSession ? Page::Printer : Page::Program;
    if (!withSession)
        return std::nullopt;
    if (letter == u"X")
        return Page::Transfer;
    if (letter == u"M")
        return Page::Mouse;
    return std::nullopt;
}

} // namespace settingsdlg
