#include "emulator/vtermemulation.h"

#include "emulator/emulog.h"

#include <vterm.h>

#include <QScopeGuard>

#include <algorithm>
#include <array>

namespace emu {

namespace {

// Bytes of host data handed on at a time: libvterm 0.1 puts a buffer of four bytes per byte of a
// text run on the stack.
constexpr qsizetype feedSlice = 4096;

constexpr char32_t BEL = 0x07;
constexpr char32_t CAN = 0x18;
constexpr char32_t SUB = 0x1A;
constexpr char32_t ESC = 0x1B;

// ESC P (DCS), ESC X (SOS), ESC ^ (PM) and ESC _ (APC) open a string that ends with ST or BEL.
bool isStringStart(char32_t ch)
{
    return ch == 'P' || ch == 'X' || ch == '^' || ch == '_';
}

bool isHexDigit(char32_t ch)
{
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

// The value of a hex digit (isHexDigit).
quint32 hexValue(char32_t ch)
{
    return ch <= '9' ? quint32(ch - '0') : quint32((ch | 0x20) - 'a' + 10);
}

// What libvterm 0.1 can hold of a control sequence: its argument array has 16 entries (one
// more overwrites the parser's callbacks), and it multiplies a parameter up without a bound.
constexpr int maxCsiFields = 16;
constexpr int maxCsiValue = 65535;
constexpr qsizetype maxCsiIntermediates = 4;

// The header of a device control string (parameters, intermediates) and a status request's
// setting: longer ones are no string any terminal takes.
constexpr qsizetype maxDcsHeader = 64;
constexpr qsizetype maxStatusRequest = 8;

// A character that takes a place on the screen: not a control, not a mark or format character
// that joins the one before it.
bool isShown(char32_t ch)
{
    if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0))
        return false;
    const QChar::Category c = QChar::category(char32_t(ch));
    return c != QChar::Mark_NonSpacing && c != QChar::Mark_Enclosing && c != QChar::Other_Format;
}

// The longest device control string taken in (DECUDK): the VT220 keeps 256 bytes of programmed
// keys, each byte two hex digits.
constexpr qsizetype maxDeviceControlString = 4096;

// The function keys F6-F20 by the number the host programs them under (DECUDK): the number in
// the key's own CSI n ~.
struct UserKey
{
    int number;
    int functionKey;
};
constexpr UserKey userKeys[] = {
    { 17, 6 },
    { 18, 7 },
    { 19, 8 },
    { 20, 9 },
    { 21, 10 },
    { 23, 11 },
    { 24, 12 },
    { 25, 13 },
    { 26, 14 },
    { 28, 15 },
    { 29, 16 },
    { 31, 17 },
    { 32, 18 },
    { 33, 19 },
    { 34, 20 },
};

// The function key programmed under a number; 0 for none.
int functionKeyOfUserKey(int number)
{
    for (const UserKey &k : userKeys) {
        if (k.number == number)
            return k.functionKey;
    }
    return 0;
}

// Pairs of hex digits as bytes; false for an odd count or a character that is not a hex digit.
bool decodeHex(QByteArrayView hex, QByteArray *out)
{
    if (hex.size() % 2 != 0
        || !std::all_of(hex.begin(), hex.end(), [](char c) { return isHexDigit(uchar(c)); }))
        return false;
    *out = QByteArray::fromHex(hex.toByteArray());
    return true;
}

// The character of a cell: a base character and its combining marks, composed when Unicode has
// one character for them.
char32_t composed(const uint32_t *chars)
{
    if (chars[0] == 0 || chars[1] == 0)
        return chars[0];
    char32_t marks[VTERM_MAX_CHARS_PER_CELL] = {};
    int count = 0;
    for (int i = 1; i < VTERM_MAX_CHARS_PER_CELL && chars[i] != 0; ++i)
        marks[count++] = char32_t(chars[i]);
    const char32_t one = composedChar(char32_t(chars[0]), marks, count);
    return one ? one : char32_t(chars[0]);
}

VtermEmulation *self(void *user)
{
    return static_cast<VtermEmulation *>(user);
}

int cbPutGlyph(VTermGlyphInfo *info, VTermPos pos, void *user)
{
    self(user)->onPutGlyph(info, pos.row, pos.col);
    return 1;
}

int cbMoveCursor(VTermPos pos, VTermPos, int visible, void *user)
{
    self(user)->onMoveCursor(pos.row, pos.col, visible != 0);
    return 1;
}

int cbScrollRect(VTermRect rect, int downward, int rightward, void *user)
{
    return self(user)->onScrollRect(
               rect.start_row, rect.end_row, rect.start_col, rect.end_col, downward, rightward)
        ? 1
        : 0;
}

int cbMoveRect(VTermRect dest, VTermRect src, void *user)
{
    self(user)->onMoveRect(dest.start_row, dest.start_col, src.start_row, src.start_col,
        src.end_row - src.start_row, src.end_col - src.start_col);
    return 1;
}

int cbErase(VTermRect rect, int selective, void *user)
{
    self(user)->onErase(rect.start_row, rect.end_row, rect.start_col, rect.end_col, selective != 0);
    return 1;
}

int cbInitPen(void *user)
{
    self(user)->onInitPen();
    return 1;
}

int cbSetPenAttr(VTermAttr attr, VTermValue *val, void *user)
{
    self(user)->onSetPenAttr(attr, val);
    return 1;
}

int cbSetTermProp(VTermProp prop, VTermValue *val, void *user)
{
    self(user)->onSetTermProp(prop, val);
    return 1;
}

int cbBell(void *user)
{
    self(user)->sink()->bell();
    return 1;
}

int cbResize(int rows, int cols, VTermPos *delta, void *user)
{
    self(user)->onResize(rows, cols, delta);
    return 1;
}

int cbSetLineInfo(int row, const VTermLineInfo *info, const VTermLineInfo *, void *user)
{
    self(user)->onLineInfo(row, info->doublewidth != 0, int(info->doubleheight));
    return 1;
}

void cbOutput(const char *s, size_t len, void *user)
{
    self(user)->onOutput(s, len);
}

int cbControl(unsigned char control, void *user)
{
    return self(user)->onControl(control) ? 1 : 0;
}

int cbCsi(const char *leader, const long args[], int argcount, const char *intermed, char command,
    void *user)
{
    return self(user)->onCsi(leader, args, argcount, intermed, command) ? 1 : 0;
}

const VTermStateCallbacks stateCallbacks = {
    cbPutGlyph,
    cbMoveCursor,
    cbScrollRect,
    cbMoveRect,
    cbErase,
    cbInitPen,
    cbSetPenAttr,
    cbSetTermProp,
    cbBell,
    cbResize,
    cbSetLineInfo,
};

const VTermParserCallbacks fallbacks = {
    nullptr, // text
    cbControl,
    nullptr, // escape
    cbCsi,
    nullptr, // osc
    nullptr, // dcs
    nullptr, // resize
};

// Nearest entry of the 6x6x6 colour cube for a true-colour request.
quint8 cubeIndex(const VTermColor &c)
{
    auto level = [](int v) { return v < 48 ? 0 : v < 115 ? 1 : (v - 35) / 40; };
    return quint8(16 + 36 * level(c.rgb.red) + 6 * level(c.rgb.green) + level(c.rgb.blue));
}

// A colour of the pen: the palette index, or the default flag.
void setColor(Cell &cell, const VTermColor &color, bool foreground)
{
    const quint8 defaultFlag = foreground ? AttrDefaultFg : AttrDefaultBg;
    const bool isDefault
        = foreground ? VTERM_COLOR_IS_DEFAULT_FG(&color) : VTERM_COLOR_IS_DEFAULT_BG(&color);
    const quint8 index = VTERM_COLOR_IS_INDEXED(&color) ? color.indexed.idx : cubeIndex(color);
    if (isDefault) {
        cell.attr |= defaultFlag;
        (foreground ? cell.fg : cell.bg) = foreground ? Cell().fg : Cell().bg;
    } else {
        cell.attr &= quint8(~defaultFlag);
        (foreground ? cell.fg : cell.bg) = index;
    }
}

void setFlag(Cell &cell, quint8 flag, bool on)
{
    cell.attr = on ? quint8(cell.attr | flag) : quint8(cell.attr & ~flag);
}

struct KeyMap
{
    int qtKey;
    VTermKey key;
};

const KeyMap keyMap[] = {
    { Qt::Key_Return, VTERM_KEY_ENTER },
    { Qt::Key_Enter, VTERM_KEY_ENTER },
    { Qt::Key_Tab, VTERM_KEY_TAB },
    { Qt::Key_Backtab, VTERM_KEY_TAB },
    { Qt::Key_Backspace, VTERM_KEY_BACKSPACE },
    { Qt::Key_Escape, VTERM_KEY_ESCAPE },
    { Qt::Key_Up, VTERM_KEY_UP },
    { Qt::Key_Down, VTERM_KEY_DOWN },
    { Qt::Key_Left, VTERM_KEY_LEFT },
    { Qt::Key_Right, VTERM_KEY_RIGHT },
    { Qt::Key_Insert, VTERM_KEY_INS },
    { Qt::Key_Delete, VTERM_KEY_DEL },
    { Qt::Key_Home, VTERM_KEY_HOME },
    { Qt::Key_End, VTERM_KEY_END },
    { Qt::Key_PageUp, VTERM_KEY_PAGEUP },
    { Qt::Key_PageDown, VTERM_KEY_PAGEDOWN },
};

// The keys of a VT-family keyboard where libvterm's choice is not the terminal's: by Qt key and
// modifiers (0 none, 1 Shift), and the function keys F1-F20 (nullptr: libvterm's; "": none).
struct OwnKey
{
    int qtKey;
    int shift;
    const char *bytes;
};
struct Keyboard
{
    std::array<const char *, 20> functionKeys;
    std::vector<OwnKey> keys;
};

// DEC's editing keypad: Find, Insert Here, Remove, Select, Prev and Next Screen.
const std::vector<OwnKey> decEditingKeys = {
    { Qt::Key_Home, 0, "\x1b[1~" },
    { Qt::Key_Insert, 0, "\x1b[2~" },
    { Qt::Key_Delete, 0, "\x1b[3~" },
    { Qt::Key_End, 0, "\x1b[4~" },
    { Qt::Key_PageUp, 0, "\x1b[5~" },
    { Qt::Key_PageDown, 0, "\x1b[6~" },
};

std::vector<OwnKey> withKeys(std::vector<OwnKey> keys, const std::vector<OwnKey> &more)
{
    keys.insert(keys.end(), more.begin(), more.end());
    return keys;
}

const Keyboard &keyboardOf(VtKeyboard id)
{
    // F11-F20 of the DEC keyboards (F15 Help, F16 Do).
#define DEC_UPPER                                                                                  \
    "\x1b[23~", "\x1b[24~", "\x1b[25~", "\x1b[26~", "\x1b[28~", "\x1b[29~", "\x1b[31~", "\x1b[32~",       \
        "\x1b[33~", "\x1b[34~"
    static const Keyboard vt100 = {
        { "\x1bOP", "\x1bOQ", "\x1bOR", "\x1bOS", "\x1bOt", "\x1bOu", "\x1bOv", "\x1bOl", "\x1bOw",
            "\x1bOx", "", "", "", "", "", "", "", "", "", "" },
        { { Qt::Key_Backspace, 0, "\b" } },
    };
    static const Keyboard vt220 = {
        { "\x1bOP", "\x1bOQ", "\x1bOR", "\x1bOS", "", "\x1b[17~", "\x1b[18~", "\x1b[19~", "\x1b[20~",
            "\x1b[21~", DEC_UPPER },
        withKeys({ { Qt::Key_Backspace, 0, "\b" } }, decEditingKeys),
    };
    static const Keyboard vt320 = {
        vt220.functionKeys,
        withKeys({ { Qt::Key_Backspace, 0, "\x7f" } }, decEditingKeys),
    };
    static const Keyboard vt420 = {
        { "\x1bOP", "\x1bOQ", "\x1bOR", "\x1bOS", "\x1b[17~", "\x1b[18~", "\x1b[19~", "\x1b[20~",
            "\x1b[21~", "\x1b[29~", DEC_UPPER },
        vt220.keys,
    };
    static const Keyboard ansi = {
        {},
        {
            { Qt::Key_Backspace, 0, "\b" },
            { Qt::Key_Home, 0, "\x1b[H" },
            { Qt::Key_Insert, 0, "\x1b[L" },
            { Qt::Key_Backtab, 1, "\x1b[Z" },
        },
    };
    static const Keyboard sco = {
        {},
        {
            { Qt::Key_Backspace, 0, "\b" },
            { Qt::Key_Home, 0, "\x1b[H" },
            { Qt::Key_End, 0, "\x1b[F" },
            { Qt::Key_PageUp, 0, "\x1b[I" },
            { Qt::Key_PageDown, 0, "\x1b[G" },
            { Qt::Key_Insert, 0, "\x1b[L" },
            { Qt::Key_Delete, 0, "\x7f" },
            { Qt::Key_Clear, 0, "\x1b[E" },
            { Qt::Key_Backtab, 1, "\x1b[Z" },
        },
    };
    static const Keyboard linuxConsole = {
        { "\x1b[[A", "\x1b[[B", "\x1b[[C", "\x1b[[D", "\x1b[[E", "\x1b[17~", "\x1b[18~", "\x1b[19~",
            "\x1b[20~", "\x1b[21~", "\x1b[23~", "\x1b[24~", "\x1b[25~", "\x1b[26~", "\x1b[28~",
            "\x1b[29~", "\x1b[31~", "\x1b[32~", "\x1b[33~", "\x1b[34~" },
        withKeys({ { Qt::Key_Backspace, 0, "\x7f" }, { Qt::Key_Backtab, 1, "\x1b\t" },
                     { Qt::Key_Clear, 0, "\x1b[G" } },
            decEditingKeys),
    };
#undef DEC_UPPER
    switch (id) {
    case VtKeyboard::Vt100:
        return vt100;
    case VtKeyboard::Vt220:
        return vt220;
    case VtKeyboard::Vt320:
        return vt320;
    case VtKeyboard::Vt420:
        return vt420;
    case VtKeyboard::Ansi:
        return ansi;
    case VtKeyboard::Sco:
        return sco;
    case VtKeyboard::Linux:
        return linuxConsole;
    }
    return vt100;
}

// The SCO console's function keys: F1-F12, then Shift, Ctrl and Ctrl+Shift with them, each
// ESC [ and one character.
QByteArray scoFunctionKey(int n, Qt::KeyboardModifiers mods)
{
    static constexpr char finals[] = "MNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz@[\\]^_`{";
    if (n > 12) // F13-F20 are the shifted F1-F8
        return n <= 20 ? QByteArray("\x1b[") + finals[12 + n - 13] : QByteArray();
    const int group = ((mods & Qt::ShiftModifier) ? 1 : 0) + ((mods & Qt::ControlModifier) ? 2 : 0);
    return QByteArray("\x1b[") + finals[group * 12 + n - 1];
}

// The keypad's keys as libvterm names them (libvterm follows the application keypad mode).
struct KeypadKey
{
    int qtKey;
    VTermKey key;
};
const KeypadKey keypadKeys[] = {
    { Qt::Key_0, VTERM_KEY_KP_0 },
    { Qt::Key_1, VTERM_KEY_KP_1 },
    { Qt::Key_2, VTERM_KEY_KP_2 },
    { Qt::Key_3, VTERM_KEY_KP_3 },
    { Qt::Key_4, VTERM_KEY_KP_4 },
    { Qt::Key_5, VTERM_KEY_KP_5 },
    { Qt::Key_6, VTERM_KEY_KP_6 },
    { Qt::Key_7, VTERM_KEY_KP_7 },
    { Qt::Key_8, VTERM_KEY_KP_8 },
    { Qt::Key_9, VTERM_KEY_KP_9 },
    { Qt::Key_Asterisk, VTERM_KEY_KP_MULT },
    { Qt::Key_Plus, VTERM_KEY_KP_PLUS },
    { Qt::Key_Comma, VTERM_KEY_KP_COMMA },
    { Qt::Key_Minus, VTERM_KEY_KP_MINUS },
    { Qt::Key_Period, VTERM_KEY_KP_PERIOD },
    { Qt::Key_Slash, VTERM_KEY_KP_DIVIDE },
    { Qt::Key_Equal, VTERM_KEY_KP_EQUAL },
    { Qt::Key_Enter, VTERM_KEY_KP_ENTER },
};

VTermModifier modifiers(Qt::KeyboardModifiers mods)
{
    int m = VTERM_MOD_NONE;
    if (mods & Qt::ShiftModifier)
        m |= VTERM_MOD_SHIFT;
    if (mods & Qt::ControlModifier)
        m |= VTERM_MOD_CTRL;
    if (mods & Qt::AltModifier)
        m |= VTERM_MOD_ALT;
    return VTermModifier(m);
}

} // namespace

VtermEmulation::VtermEmulation(int rows, int cols, EmulationSink *sink)
    : m_sink(sink)
    , m_out(size_t(4 * feedSlice + 16))
    , m_main(rows, cols)
    , m_alt(rows, cols)
    , m_pages(1, Grid(rows, cols))
{
    m_vt = vterm_new(m_main.rows(), m_main.cols());
    // Whatever the host's encoding, libvterm is given UTF-8 (see feed).
    vterm_set_utf8(m_vt, 1);
    vterm_output_set_callback(m_vt, cbOutput, this);
    m_state = vterm_obtain_state(m_vt);
    vterm_state_set_callbacks(m_state, &stateCallbacks, this);
    vterm_state_set_unrecognised_fallbacks(m_state, &fallbacks, this);
    vterm_state_reset(m_state, 1);
}

VtermEmulation::~VtermEmulation()
{
    vterm_free(m_vt);
}

void VtermEmulation::setDialect(const HostDialect &dialect)
{
    if (dialect.encoding != m_decoder.encoding())
        m_decoder.setEncoding(dialect.encoding);
    const bool linuxNow = dialect.linuxPalette && !m_dialect.linuxPalette;
    m_dialect = dialect;
    if (linuxNow)
        useLinuxGraphics();
    // Another type of the family: what its keyboard and screen do not have goes.
    if (!statusLineKept())
        setStatusType(0);
    if (!userKeysKept()) {
        m_userKeys.clear();
        m_userKeysLocked = false;
    }
}

void VtermEmulation::useLinuxGraphics()
{
    // The Linux console's G1 is its graphics set from the start.
    write("\x1b)0");
    m_graphicsSet[1] = true;
}

void VtermEmulation::feed(const char *data, qsizetype len)
{
    for (qsizetype at = 0; at < len; at += feedSlice) {
        m_outEnd = m_out.data();
        translate(data + at, data + std::min(len, at + feedSlice));
        // At most two bytes per byte (a Latin-1 character, a C1 control) and the held ones.
        Q_ASSERT(m_outEnd - m_out.data() <= qsizetype(m_out.size()));
        flushOut();
    }
    flushGlyphRows();
}

void VtermEmulation::translate(const char *p, const char *end)
{
    while (p < end) {
        if (m_scan == Scan::Ground && !m_decoder.holding() && !remapping() && !m_statusActive) {
            // ASCII other than ESC, SO and SI goes through as it is: the bulk of most host output.
            const char *run = p;
            while (run < end && uchar(*run) < 0x80 && *run != '\x1b' && *run != '\x0e'
                && *run != '\x0f')
                ++run;
            m_outEnd = std::copy(p, run, m_outEnd);
            for (const char *last = run; last > p; --last) {
                if (isShown(uchar(last[-1]))) {
                    m_lastShown = uchar(last[-1]);
                    break;
                }
            }
            p = run;
            if (p == end)
                return;
        }
        // Through the decoder and the scanner: a run of bytes above ASCII, or one byte.
        const char *next = p + 1;
        while (next < end && uchar(*p) >= 0x80 && uchar(*next) >= 0x80)
            ++next;
        m_decoder.decode(QByteArrayView(p, next), [this](char32_t ch) { scan(ch); });
        p = next;
    }
}

bool VtermEmulation::remapping() const
{
    return m_font != 0 || (m_dialect.linuxPalette && m_graphicsSet[m_shifted ? 1 : 0]);
}

char32_t VtermEmulation::remapped(char32_t ch) const
{
    if (m_font == 12 && ch >= 0x20 && ch <= 0xFF && ch != 0x7F) {
        // The PC's font with the high bit turned over: ASCII shows the upper half of code
        // page 437, the upper half its lower one (control characters as their pictures).
        const uint flipped = uint(ch) ^ 0x80;
        return flipped >= 0x80 ? char32_t(cp437Upper[flipped - 0x80])
            : flipped < 0x20   ? char32_t(cp437Controls[flipped])
                               : char32_t(flipped);
    }
    if (m_font == 11 && ch >= 0x80 && ch <= 0xFF)
        return char32_t(cp437Upper[ch - 0x80]); // the bytes of the PC's own character set
    if (m_dialect.linuxPalette && m_graphicsSet[m_shifted ? 1 : 0]) {
        // The Linux console's graphics set: DEC's, and arrows and a block beyond it. All of it
        // is mapped here (libvterm reads the ASCII after a character it had to decode as UTF-8
        // as UTF-8 too, without its own graphics set).
        static constexpr char16_t dec[] = u" ◆▒␉␌␍␊°±␤␋┘┐┌└┼⎺⎻─⎼⎽├┤┴┬│≤≥π≠£·";
        if (ch >= 0x5F && ch <= 0x7E)
            return char32_t(dec[ch - 0x5F]);
        switch (ch) {
        case '+':
            return U'→';
        case ',':
            return U'←';
        case '-':
            return U'↑';
        case '.':
            return U'↓';
        case '0':
            return U'█';
        default:
            break;
        }
    }
    return ch;
}

void VtermEmulation::scan(char32_t ch)
{
    if (m_scan == Scan::Ground && m_font != 0 && ch >= 0x80 && ch <= 0xFF) {
        m_lastShown = remapped(ch);
        put(m_lastShown);
        return;
    }
    if (ch >= 0x80 && ch < 0xA0) {
        // A C1 control: from a single-byte host its 7-bit form (ESC and 0x40-0x5F), which is
        // what it means to a VT terminal; from a UTF-8 host not recognised, and not shown.
        if (m_dialect.encoding == HostEncoding::SingleByte) {
            scan(ESC);
            scan(ch - 0x40);
        }
        return;
    }
    switch (m_scan) {
    case Scan::Ground:
        if (ch == ESC) {
            m_scan = Scan::Escape;
            return;
        }
        if (m_statusActive) {
            putStatus(ch);
            return;
        }
        if (ch == 0x0E || ch == 0x0F) // SO and SI: the graphics set G1 or back to G0
            m_shifted = ch == 0x0E;
        ch = remapped(ch);
        if (isShown(ch))
            m_lastShown = ch;
        put(ch);
        return;
    case Scan::Escape:
        if (m_collectingDcs) {
            m_collectingDcs = false;
            if (ch == '\\') // ST
                deviceControlString();
        }
        if (m_requestEnding) {
            m_requestEnding = false;
            if (ch == '\\') {
                answerStatusRequest();
                m_scan = Scan::Ground;
                return;
            }
        }
        // The keypad's mode: DECKPAM, DECKPNM, and a full reset (which libvterm must see).
        if (ch == 'c') {
            m_keypadApplication = false;
            resetScanner();
            forgetHostSetup();
        } else if ((ch == '=' || ch == '>') && !m_statusActive) {
            m_keypadApplication = ch == '=';
        }
        if (ch == '(' || ch == ')') {
            m_designating = ch == '(' ? 0 : 1;
            m_scan = Scan::Designate;
            put(ESC);
            put(ch);
            return;
        }
        m_scan = ch == '['      ? Scan::CsiStart
            : ch == ']'         ? Scan::OscStart
            : ch == ESC         ? Scan::Escape
            : isStringStart(ch) ? Scan::String
                                : Scan::Ground;
        if (m_scan == Scan::CsiStart || m_scan == Scan::OscStart)
            return;
        if (ch == 'P') {
            // Held back until its header shows what it is.
            m_scan = Scan::DcsHeader;
            m_dcs.clear();
            return;
        }
        put(ESC);
        if (ch != ESC) // a second ESC starts afresh and is held in turn
            put(ch);
        return;
    case Scan::Designate:
        m_graphicsSet[m_designating] = ch == '0';
        m_scan = Scan::Ground;
        put(ch);
        return;
    case Scan::CsiStart:
        m_scan = Scan::Ground;
        if (m_dialect.scoCursor && (ch == 's' || ch == 'u')) {
            put(ESC);
            put(ch == 's' ? '7' : '8');
            return;
        }
        m_scan = Scan::Csi;
        m_csiParams.clear();
        m_csiIntermediates.clear();
        m_csiLeader = 0;
        m_csiFields = 1;
        m_csiFieldStart = 0;
        m_csiValue = 0;
        m_csiMalformed = false;
        scan(ch);
        return;
    case Scan::Csi:
        csiCharacter(ch);
        return;
    case Scan::OscStart:
        if (m_dialect.linuxPalette && (ch == 'P' || ch == 'R')) {
            m_scan = ch == 'P' ? Scan::Palette : Scan::Ground;
            m_paletteDigits = 0;
            m_paletteValue = 0;
            if (ch == 'R')
                m_sink->paletteChanged(-1, 0);
            return;
        }
        put(ESC);
        put(']');
        m_scan = Scan::String;
        scan(ch);
        return;
    case Scan::Palette:
        // Seven hex digits; as on the console, another printable character ends the sequence
        // and goes with it, control characters act meanwhile.
        if (isHexDigit(ch)) {
            // n rr gg bb: the colour index, then its red, green and blue.
            m_paletteValue = m_paletteValue << 4 | hexValue(ch);
            if (++m_paletteDigits == 7) {
                m_scan = Scan::Ground;
                m_sink->paletteChanged(int(m_paletteValue >> 24), m_paletteValue & 0xFFFFFF);
            }
        } else if (ch == ESC) {
            m_scan = Scan::Escape;
        } else if (ch == CAN || ch == SUB) {
            m_scan = Scan::Ground;
        } else if (ch < 0x20) {
            put(ch);
        } else {
            m_scan = Scan::Ground;
        }
        return;
    case Scan::DcsHeader:
        deviceControlHeader(ch);
        return;
    case Scan::StatusRequest:
        statusRequest(ch);
        return;
    case Scan::DropString:
        if (ch == ESC)
            m_scan = Scan::Escape;
        else if (ch == BEL || ch == CAN || ch == SUB)
            m_scan = Scan::Ground;
        return;
    case Scan::String:
        if (ch == ESC) {
            m_scan = Scan::Escape;
            return;
        }
        if (ch == BEL || ch == CAN || ch == SUB) {
            m_scan = Scan::Ground;
            m_collectingDcs = false;
        } else if (m_collectingDcs) {
            if (m_dcs.size() >= maxDeviceControlString) {
                qCDebug(lcEmulator) << "a device control string longer than"
                                    << maxDeviceControlString << "characters is not taken";
                m_collectingDcs = false;
            } else {
                m_dcs += ch < 0x80 ? char(ch) : '\x01'; // no part of a key's definition
            }
        }
        put(ch);
        return;
    }
}

// --- What libvterm is given of control sequences and strings --------------------------------

void VtermEmulation::reserve(qsizetype n)
{
    if (m_out.data() + m_out.size() - m_outEnd < n)
        flushOut();
}

void VtermEmulation::flushOut()
{
    vterm_input_write(m_vt, m_out.data(), size_t(m_outEnd - m_out.data()));
    m_outEnd = m_out.data();
}

void VtermEmulation::csiCharacter(char32_t ch)
{
    if (ch == ESC) {
        m_scan = Scan::Escape; // the sequence is abandoned before libvterm saw any of it
        return;
    }
    if (ch < 0x20) {
        // A control acts in the middle of a sequence; CAN and SUB end the sequence.
        if (ch == CAN || ch == SUB)
            m_scan = Scan::Ground;
        put(ch);
        return;
    }
    if (ch >= 0x40 && ch <= 0x7E) {
        endCsi(ch);
        return;
    }
    if (ch == 0x7F)
        return; // DEL is ignored
    if (ch >= '<' && ch <= '?') {
        const bool first
            = m_csiParams.isEmpty() && m_csiLeader == 0 && m_csiIntermediates.isEmpty();
        if (first)
            m_csiLeader = char(ch);
        m_csiMalformed |= !first;
    } else if (ch >= '0' && ch <= ';') {
        if (m_csiIntermediates.isEmpty())
            csiParameter(char(ch));
        else
            m_csiMalformed = true; // a parameter after an intermediate
    } else if (ch >= 0x20 && ch < 0x30 && m_csiIntermediates.size() < maxCsiIntermediates) {
        m_csiIntermediates += char(ch);
    } else {
        m_csiMalformed = true; // too many intermediates, or no character of a sequence
    }
}

void VtermEmulation::csiParameter(char ch)
{
    if (m_csiFields > maxCsiFields)
        return; // parameters beyond what the terminal takes are left out
    if (ch == ';' || ch == ':') {
        if (++m_csiFields > maxCsiFields)
            return;
        m_csiParams += ch;
        m_csiFieldStart = m_csiParams.size();
        m_csiValue = 0;
        return;
    }
    if (m_csiParams.size() - m_csiFieldStart == 1 && m_csiParams.back() == '0') {
        m_csiParams.back() = ch; // a leading zero goes
        m_csiValue = ch - '0';
        return;
    }
    const int value = m_csiValue * 10 + (ch - '0');
    if (value <= maxCsiValue) {
        m_csiParams += ch;
        m_csiValue = value;
    } else if (m_csiValue != maxCsiValue) {
        m_csiParams.truncate(m_csiFieldStart);
        m_csiParams += QByteArray::number(maxCsiValue);
        m_csiValue = maxCsiValue;
    }
}

void VtermEmulation::endCsi(char32_t final)
{
    m_scan = Scan::Ground;
    if (m_csiMalformed) {
        qCDebug(lcEmulator) << "a control sequence with characters out of order is ignored";
        return;
    }
    if (statusSequence(final) || m_statusActive)
        return;
    const bool plain = m_csiIntermediates.isEmpty() && m_csiLeader == 0;
    if (final == 'b' && plain) {
        repeatShown(csiParam(0, 1));
        return;
    }
    noteSetting(final);
    passCsi(final);
    if (final == 'm' && plain)
        rendition();
    else if (final == 'C' && m_csiIntermediates.isEmpty() && m_csiLeader == '='
        && m_dialect.scoCursor)
        cursorShape();
}

void VtermEmulation::passCsi(char32_t final)
{
    // With room for what rendition and cursorShape add after it.
    reserve(32 + m_csiParams.size() + m_csiIntermediates.size());
    put(ESC);
    put('[');
    if (m_csiLeader)
        put(char32_t(m_csiLeader));
    for (const char c : m_csiParams)
        put(char32_t(c));
    for (const char c : m_csiIntermediates)
        put(char32_t(c));
    put(final);
}

void VtermEmulation::noteSetting(char32_t final)
{
    if (m_csiLeader != 0)
        return;
    if (final == 'r' && m_csiIntermediates.isEmpty()) {
        // DECSTBM as libvterm takes it: a bottom of 0 or not below the top is the whole screen.
        const int top = std::max(1, csiParam(0, 1));
        const int bottom = std::min(rows(), csiParam(1, rows()));
        const bool whole = top >= bottom || (top == 1 && bottom == rows());
        m_marginTop = whole ? 0 : top;
        m_marginBottom = whole ? 0 : bottom;
    } else if (final == 'q' && m_csiIntermediates == "\"") {
        const int protection = csiParam(0, 0); // DECSCA: 1 on, 0 and 2 off
        if (protection >= 0 && protection <= 2)
            m_protecting = protection == 1;
    } else if (final == 'p' && m_csiIntermediates == "!") {
        m_marginTop = m_marginBottom = 0; // DECSTR
        m_protecting = false;
    }
}

void VtermEmulation::repeatShown(int count)
{
    if (m_lastShown == 0) {
        qCDebug(lcEmulator) << "REP without a character shown before it is ignored";
        return;
    }
    const int times = std::clamp(count, 1, rows() * cols());
    for (int i = 0; i < times; ++i) {
        reserve(4);
        put(m_lastShown);
    }
}

void VtermEmulation::deviceControlHeader(char32_t ch)
{
    if (ch == ESC) {
        m_scan = Scan::Escape; // abandoned before libvterm saw any of it
        return;
    }
    if (ch == BEL || ch == CAN || ch == SUB) {
        m_scan = Scan::Ground;
        return;
    }
    if (ch < 0x20)
        return; // other controls are ignored in a device control string
    if (ch < 0x40) {
        if (m_dcs.size() < maxDcsHeader) {
            m_dcs += char(ch);
        } else {
            qCDebug(lcEmulator) << "a device control string with a header over" << maxDcsHeader
                                << "characters is ignored";
            m_scan = Scan::DropString;
        }
        return;
    }
    if (m_dcs == "$" && ch == 'q') {
        m_scan = Scan::StatusRequest;
        m_request.clear();
        return;
    }
    // Another string: on to libvterm, and to the reading of DECUDK.
    reserve(8 + m_dcs.size());
    put(ESC);
    put('P');
    for (const char c : m_dcs)
        put(char32_t(c));
    m_collectingDcs = userKeysKept();
    if (!m_collectingDcs)
        m_dcs.clear();
    m_scan = Scan::String;
    scan(ch);
}

void VtermEmulation::statusRequest(char32_t ch)
{
    if (ch == ESC) {
        m_requestEnding = true; // ST answers it
        m_scan = Scan::Escape;
        return;
    }
    if (ch == BEL || ch == CAN || ch == SUB) {
        m_scan = Scan::Ground;
        return;
    }
    if (m_request.size() <= maxStatusRequest) // longer is no setting: answered as invalid
        m_request += ch < 0x80 ? char(ch) : '\x01';
}

void VtermEmulation::answerStatusRequest()
{
    // The VT320 brought DECRQSS; the VT100 and VT220 (and the consoles) do not know it.
    if (m_dialect.keyboard != VtKeyboard::Vt320 && m_dialect.keyboard != VtKeyboard::Vt420) {
        qCDebug(lcEmulator) << "a status request is not answered by this terminal type";
        return;
    }
    flushOut(); // what came before the request acts, and answers, first
    const QByteArray report = statusReport(m_request);
    m_sink->answer(
        report.isEmpty() ? QByteArray("\x1bP0$r\x1b\\") : "\x1bP1$r" + report + "\x1b\\");
}

QByteArray VtermEmulation::statusReport(const QByteArray &setting) const
{
    if (setting == "m")
        return renditionReport() + 'm';
    if (setting == "r") {
        const bool whole = m_marginTop == 0;
        return QByteArray::number(whole ? 1 : m_marginTop) + ';'
            + QByteArray::number(whole ? rows() : m_marginBottom) + 'r';
    }
    if (setting == " q") // DECSCUSR: 1, 2 block, 3, 4 underline, 5, 6 bar; odd blinking
        return QByteArray::number(std::clamp(m_cursorShape, 1, 3) * 2 - (m_cursorBlink ? 1 : 0))
            + " q";
    if (setting == "\"q")
        return m_protecting ? "1\"q" : "0\"q";
    if (setting == "\"p") // the terminal's level, 7-bit controls
        return m_dialect.keyboard == VtKeyboard::Vt420 ? "64;1\"p" : "63;1\"p";
    return {};
}

QByteArray VtermEmulation::renditionReport() const
{
    QByteArray sgr = "0";
    const struct
    {
        bool on;
        const char *code;
    } looks[] = {
        { (m_pen.attr & AttrBold) != 0, ";1" },
        { (m_pen.flags & CellDim) != 0, ";2" },
        { (m_pen.attr & AttrItalic) != 0, ";3" },
        { (m_pen.attr & AttrUnderline) != 0, ";4" },
        { (m_pen.attr & AttrBlink) != 0, ";5" },
        { (m_pen.attr & AttrReverse) != 0, ";7" },
        { (m_pen.flags & CellConcealed) != 0, ";8" },
        { (m_pen.attr & AttrStrike) != 0, ";9" },
    };
    for (const auto &look : looks) {
        if (look.on)
            sgr += look.code;
    }
    // Colours: the eight basic ones (30-37, 40-47), their bright forms (90-97, 100-107), others
    // from the palette (38;5;n, 48;5;n).
    auto color = [&sgr](int index, int base, int brightBase, const char *extended) {
        sgr += ';';
        if (index < 8)
            sgr += QByteArray::number(base + index);
        else if (index < 16)
            sgr += QByteArray::number(brightBase + index - 8);
        else
            sgr += extended + QByteArray::number(index);
    };
    if (!(m_pen.attr & AttrDefaultFg))
        color(m_pen.fg, 30, 90, "38;5;");
    if (!(m_pen.attr & AttrDefaultBg))
        color(m_pen.bg, 40, 100, "48;5;");
    return sgr;
}

// SGR as libvterm does not keep it: half intensity (2, 22), concealed (8, 28) and the PC fonts
// (10-12). The state reaches the pen through a private sequence that libvterm hands back in its
// place in the stream (see onCsi).
void VtermEmulation::rendition()
{
    const bool faint = m_faint;
    const bool conceal = m_conceal;
    const QList<QByteArray> params = m_csiParams.split(';');
    if (m_csiParams.isEmpty())
        m_faint = m_conceal = false;
    for (qsizetype i = 0; i < params.size(); ++i) {
        const qsizetype colon = params[i].indexOf(':'); // sub-parameters are left out
        const QByteArray field = colon < 0 ? params[i] : params[i].first(colon);
        const int p = field.isEmpty() ? 0 : field.toInt();
        if (p == 38 || p == 48) {
            // Extended colours: their own parameters follow (5;n or 2;r;g;b).
            if (i + 1 < params.size())
                i += params[i + 1].toInt() == 5 ? 2 : 4;
            continue;
        }
        if (p == 0)
            m_faint = m_conceal = false;
        else if (p == 2)
            m_faint = true;
        else if (p == 22)
            m_faint = false;
        else if (p == 8)
            m_conceal = true;
        else if (p == 28)
            m_conceal = false;
        if ((p == 0 || (p >= 10 && p <= 12)) && m_dialect.scoCursor)
            m_font = p == 0 ? 0 : p == 10 ? 0 : p;
    }
    if (faint != m_faint || conceal != m_conceal) {
        const char marker[] = { '\x1b', '[', '7', '7', '0', '1', ';',
            char('0' + (m_faint ? 1 : 0) + (m_conceal ? 2 : 0)), 'w' };
        m_outEnd = std::copy(marker, marker + sizeof marker, m_outEnd);
    }
}

// The SCO console's CSI = start ; end C: a start line below the end line hides the cursor.
// libvterm drops sequences with this leader: the cursor mode goes to it as DECTCEM.
void VtermEmulation::cursorShape()
{
    const QList<QByteArray> params = m_csiParams.split(';');
    if (params.size() < 2)
        return;
    const char *mode = params[0].toInt() > params[1].toInt() ? "\x1b[?25l" : "\x1b[?25h";
    m_outEnd = std::copy(mode, mode + 6, m_outEnd);
}

void VtermEmulation::resetScanner()
{
    m_lastShown = 0;
    m_marginTop = m_marginBottom = 0;
    m_protecting = false;
    m_faint = m_conceal = false;
    m_font = 0;
    m_shifted = false;
    m_graphicsSet = { false, m_dialect.linuxPalette };
}

void VtermEmulation::flushGlyphRows()
{
    m_glyphRows.report(m_sink);
}

void VtermEmulation::write(const QByteArray &bytes)
{
    // Our own sequences: past the host's decoder and scanner, whose state belongs to the host.
    vterm_input_write(m_vt, bytes.constData(), size_t(bytes.size()));
    flushGlyphRows();
}

void VtermEmulation::resize(int rows, int cols)
{
    rows = std::max(1, rows);
    cols = std::max(1, cols);
    if (rows == this->rows() && cols == this->cols())
        return;
    // libvterm calls back onResize, which reshapes the grids.
    vterm_set_size(m_vt, rows, cols);
    // libvterm keeps margins beyond a smaller screen and would scroll outside its rows: the
    // margins go back to the whole screen (as on a terminal whose page size changes), the
    // cursor stays where it is (with the whole screen as margins, CUP is absolute in origin
    // mode too). DECSLRM (CSI s) does nothing while left and right margins are off.
    VTermPos at;
    vterm_state_get_cursorpos(m_state, &at);
    m_marginTop = m_marginBottom = 0;
    write("\x1b[r\x1b[s\x1b[" + QByteArray::number(at.row + 1) + ';'
        + QByteArray::number(at.col + 1) + 'H');
}

void VtermEmulation::onResize(int rows, int cols, void *delta)
{
    // The cursor row stays on screen: rows above it that no longer fit go to the history (from
    // the main screen), rows below it are dropped.
    const int dropTop = std::max(0, m_cursor.y() - (rows - 1));
    if (!m_altActive) {
        for (int r = 0; r < dropTop; ++r)
            m_sink->lineScrolledOff(m_main.row(r), m_main.cols());
    }
    m_main.resize(rows, cols, m_altActive ? 0 : dropTop);
    m_alt.resize(rows, cols, m_altActive ? dropTop : 0);
    for (Grid &page : m_pages)
        page.resize(rows, cols, 0);
    if (m_status.size() > size_t(cols))
        m_status.resize(size_t(cols));
    m_statusCol = std::min(m_statusCol, cols - 1);
    static_cast<VTermPos *>(delta)->row = -dropTop;
    m_sink->rowsChanged(0, rows - 1);
}

void VtermEmulation::readRow(int row, Cell *out) const
{
    std::copy_n(grid().row(row), cols(), out);
}

void VtermEmulation::setCursor(int row, int col)
{
    row = std::clamp(row, 0, rows() - 1);
    col = std::clamp(col, 0, cols() - 1);
    write("\x1b[" + QByteArray::number(row + 1) + ';' + QByteArray::number(col + 1) + 'H');
}

void VtermEmulation::putCells(int row, int col, const Cell *cells, int n)
{
    // Straight into the grid: the terminal's own modes (insert mode, margins, origin) must not
    // bend text put from the API, and the host's cursor and pen stay as they are.
    if (grid().copyIn(row, col, cells, n))
        m_sink->rowsChanged(row, row);
}

void VtermEmulation::reset()
{
    m_altActive = false;
    m_keypadApplication = false;
    resetScanner();
    forgetHostSetup();
    m_collectingDcs = false;
    m_requestEnding = false;
    m_scan = Scan::Ground;
    vterm_state_reset(m_state, 1);
    setPage(0);
    m_main.fill(eraseCell());
    m_alt.fill(eraseCell());
    for (Grid &page : m_pages)
        page.fill(eraseCell());
    if (m_dialect.linuxPalette)
        useLinuxGraphics();
    m_sink->rowsChanged(0, rows() - 1);
    m_sink->cursorMoved();
}

QByteArray VtermEmulation::key(int qtKey, Qt::KeyboardModifiers mods, const QString &text)
{
    QByteArray out;
    m_keyOut = &out;
    const auto done = qScopeGuard([this] { m_keyOut = nullptr; });
    if (ownKey(qtKey, mods, &out))
        return out;
    const VTermModifier mod = modifiers(mods);
    const bool alt = mods & Qt::AltModifier;
    if ((mods & Qt::ControlModifier) && !(mods & Qt::KeypadModifier)) {
        // Control characters as the key makes them: Ctrl+I is TAB, Ctrl+M CR (libvterm would
        // send its CSI u forms for them).
        const int code = controlCodeOfKey(qtKey);
        if (code >= 0)
            return (alt ? QByteArray("\x1b") : QByteArray()) + char(code);
    }
    if (mods & Qt::KeypadModifier) {
        for (const KeypadKey &k : keypadKeys) {
            if (k.qtKey != qtKey)
                continue;
            // Enter in numeric mode is the Return key (CR, CR LF in new-line mode).
            const bool numericEnter = k.key == VTERM_KEY_KP_ENTER && !m_keypadApplication;
            vterm_keyboard_key(m_vt, numericEnter ? VTERM_KEY_ENTER : k.key, VTERM_MOD_NONE);
            return out;
        }
    }
    for (const KeyMap &k : keyMap) {
        if (k.qtKey == qtKey) {
            vterm_keyboard_key(m_vt, k.key,
                qtKey == Qt::Key_Backtab ? VTermModifier(mod | VTERM_MOD_SHIFT) : mod);
            return out;
        }
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F35) {
        vterm_keyboard_key(m_vt, VTermKey(VTERM_KEY_FUNCTION(qtKey - Qt::Key_F1 + 1)), mod);
        return out;
    }
    const bool singleByte = m_dialect.encoding == HostEncoding::SingleByte;
    for (const char32_t ch : text.toUcs4()) {
        if (ch < 0x20 || ch == 0x7F) {
            out += char(ch); // a control character the keyboard already made
        } else if (ch < 0x80) {
            vterm_keyboard_unichar(m_vt, ch, alt ? VTERM_MOD_ALT : VTERM_MOD_NONE);
        } else if (!singleByte || ch <= 0xFF) {
            // In the host's encoding (libvterm would put Alt's ESC before a cut-off byte); a
            // single-byte host has no byte for a character beyond Latin-1 (the control refuses
            // such a key before it comes here).
            char bytes[4];
            const char *end = singleByte ? std::fill_n(bytes, 1, char(ch)) : appendUtf8(bytes, ch);
            if (alt)
                out += '\x1b';
            out.append(bytes, end - bytes);
        }
    }
    return out;
}

bool VtermEmulation::ownKey(int qtKey, Qt::KeyboardModifiers mods, QByteArray *out) const
{
    const Keyboard &keyboard = keyboardOf(m_dialect.keyboard);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F20) {
        const int n = qtKey - Qt::Key_F1 + 1;
        if (m_dialect.keyboard == VtKeyboard::Sco) {
            *out = scoFunctionKey(n, mods);
            return true;
        }
        // Shift with a key the host programmed sends the host's bytes.
        const auto programmed = m_userKeys.find(n);
        if ((mods & Qt::ShiftModifier) && programmed != m_userKeys.end()) {
            *out = programmed->second;
            return true;
        }
        // The DEC keyboards send their function keys whatever the modifiers.
        const char *bytes = keyboard.functionKeys[size_t(n - 1)];
        if (!bytes)
            return false;
        *out = bytes;
        return true;
    }
    if (mods & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    const int shift = (mods & Qt::ShiftModifier) ? 1 : 0;
    for (const int wanted : { shift, 0 }) {
        for (const OwnKey &k : keyboard.keys) {
            if (k.qtKey == qtKey && k.shift == wanted) {
                *out = k.bytes;
                return true;
            }
        }
    }
    return false;
}

Cell VtermEmulation::eraseCell() const
{
    return erasedCell(m_pen);
}

void VtermEmulation::markRows(int first, int end)
{
    first = std::max(0, first);
    end = std::min(rows(), end);
    if (first < end)
        m_sink->rowsChanged(first, end - 1);
}

void VtermEmulation::onPutGlyph(const void *glyph, int row, int col)
{
    if (row < 0 || row >= rows() || col < 0 || col >= cols())
        return;
    const auto *info = static_cast<const VTermGlyphInfo *>(glyph);
    const char32_t ch = composed(info->chars);
    if (info->width == 0 && ch != 0)
        return; // a combining mark with no character before it
    Cell cell = m_pen;
    cell.ch = ch == 0 ? U' ' : ch;
    // The character takes the size of its line and the pen's intensity.
    cell.flags = quint8((info->protected_cell ? CellProtected : 0)
        | (grid().row(row)[0].flags & LineSizeMask) | (m_pen.flags & (CellDim | CellConcealed)));
    grid().putChar(row, col, cell, info->width == 2 && col + 1 < cols());
    // Rows written by characters are reported once per chunk of host data.
    m_glyphRows.mark(row);
}

bool VtermEmulation::onScrollRect(
    int top, int bottom, int left, int right, int downward, int rightward)
{
    // Whole lines only; sideways scrolls and parts of lines go through moves and erases.
    if (rightward != 0 || left != 0 || right != cols())
        return false;
    flushGlyphRows(); // the rows written so far are about to move
    std::function<void(const Cell *)> leaving;
    if (downward > 0 && top == 0 && !m_altActive)
        leaving = [this](const Cell *line) { m_sink->lineScrolledOff(line, cols()); };
    grid().scroll(top, bottom, downward, eraseCell(), leaving);
    markRows(top, bottom);
    return true;
}

void VtermEmulation::onMoveRect(
    int destTop, int destLeft, int srcTop, int srcLeft, int rows, int cols)
{
    flushGlyphRows();
    grid().moveRect(destTop, destLeft, srcTop, srcLeft, rows, cols);
    markRows(destTop, destTop + rows);
}

void VtermEmulation::onErase(int top, int bottom, int left, int right, bool selective)
{
    for (int r = std::max(0, top); r < std::min(rows(), bottom); ++r) {
        Cell *line = grid().row(r);
        // Erased cells keep the size of their line.
        Cell blank = eraseCell();
        blank.flags = line[0].flags & LineSizeMask;
        for (int c = std::max(0, left); c < std::min(cols(), right); ++c) {
            if (!selective || !(line[c].flags & CellProtected))
                line[c] = blank;
        }
    }
    markRows(top, bottom);
}

void VtermEmulation::onLineInfo(int row, bool doubleWidth, int doubleHeight)
{
    if (row < 0 || row >= rows())
        return;
    const quint8 size = doubleHeight == 1 ? LineDoubleTop
        : doubleHeight == 2               ? LineDoubleBottom
        : doubleWidth                     ? LineDoubleWidth
                                          : 0;
    flushGlyphRows();
    Cell *line = grid().row(row);
    for (int c = 0; c < cols(); ++c)
        line[c].flags = quint8((line[c].flags & ~LineSizeMask) | size);
    markRows(row, row + 1);
}

void VtermEmulation::setOptions(const TerminalOptions &options)
{
    m_lockFunctionKeys = options.lockFunctionKeys;
    const size_t pages = size_t(std::clamp(options.pages, 1, 6));
    if (pages == m_pages.size())
        return;
    if (m_page >= int(pages))
        setPage(0);
    m_pages.resize(pages, Grid(rows(), cols()));
    for (Grid &page : m_pages) {
        if (page.rows() != rows() || page.cols() != cols())
            page.resize(rows(), cols(), 0);
    }
}

void VtermEmulation::setPage(int page)
{
    if (page < 0 || page >= pageCount() || page == m_page || m_altActive)
        return;
    flushGlyphRows();
    std::swap(m_main, m_pages[size_t(m_page)]);
    std::swap(m_main, m_pages[size_t(page)]);
    m_page = page;
    m_sink->rowsChanged(0, rows() - 1);
    m_sink->cursorMoved();
}

bool VtermEmulation::pageSequence(long count, const char *intermed, char command)
{
    const bool space = intermed && intermed[0] == ' ' && !intermed[1];
    const bool none = !intermed || !intermed[0];
    const int n = int(std::max(1L, count));
    const int last = pageCount() - 1;
    if (none && (command == 'U' || command == 'V')) {
        // NP and PP: n pages on or back, to the home position.
        setPage(std::clamp(m_page + (command == 'U' ? n : -n), 0, last));
        write("\x1b[H");
        return true;
    }
    if (space && command == 'P') {
        setPage(std::clamp(n - 1, 0, last)); // PPA: pages count from 1
        return true;
    }
    if (space && (command == 'Q' || command == 'R')) {
        setPage(std::clamp(m_page + (command == 'Q' ? n : -n), 0, last));
        return true;
    }
    return false;
}

// --- The status line (VT320, VT420) ---------------------------------------------------------

bool VtermEmulation::statusLineKept() const
{
    return m_dialect.keyboard == VtKeyboard::Vt320 || m_dialect.keyboard == VtKeyboard::Vt420;
}

int VtermEmulation::csiParam(int i, int fallback) const
{
    const QList<QByteArray> params = m_csiParams.split(';');
    bool ok = false;
    const int value = i < params.size() ? params[i].toInt(&ok) : 0;
    return ok ? value : fallback;
}

bool VtermEmulation::statusSequence(char32_t final)
{
    if (!statusLineKept() || m_csiLeader != 0)
        return false;
    if (m_csiIntermediates == "$" && final == '~') { // DECSSDT
        setStatusType(csiParam(0, 0));
        return true;
    }
    if (m_csiIntermediates == "$" && final == '}') { // DECSASD
        const int display = csiParam(0, 0);
        if (display == 0 || display == 1)
            m_statusActive = display == 1 && m_statusType == StatusType::Host;
        return true;
    }
    if (!m_statusActive || !m_csiIntermediates.isEmpty())
        return false;
    if (final == '`') { // HPA
        m_statusCol = std::clamp(csiParam(0, 1) - 1, 0, cols() - 1);
        return true;
    }
    if (final == 'K') {
        eraseStatus(csiParam(0, 0));
        return true;
    }
    return false;
}

void VtermEmulation::setStatusType(int type)
{
    if (type < 0 || type > 2)
        return;
    const auto status = StatusType(type);
    if (status != StatusType::Host)
        m_statusActive = false;
    if (status == m_statusType)
        return;
    m_statusType = status;
    m_status.clear();
    m_statusCol = 0;
    m_sink->statusLineChanged();
}

void VtermEmulation::putStatus(char32_t ch)
{
    if (ch < 0x20 || ch == 0x7F)
        return; // controls do nothing on the status line
    // The last column is written over, as without automatic wrap.
    const int col = std::min(m_statusCol, cols() - 1);
    if (m_status.size() <= size_t(col))
        m_status.resize(size_t(col) + 1, U' ');
    m_status[size_t(col)] = ch;
    m_statusCol = std::min(col + 1, cols() - 1);
    m_sink->statusLineChanged();
}

void VtermEmulation::eraseStatus(int mode)
{
    const size_t col = size_t(m_statusCol);
    if (mode == 0 && col < m_status.size())
        m_status.resize(col);
    else if (mode == 1)
        std::fill_n(m_status.begin(), std::min(col + 1, m_status.size()), U' ');
    else if (mode == 2)
        m_status.clear();
    m_sink->statusLineChanged();
}

QString VtermEmulation::statusLine() const
{
    // The indicator line shows nothing of the terminal's own: it is an empty line.
    if (m_statusType != StatusType::Host)
        return QString();
    size_t end = m_status.size();
    while (end > 0 && m_status[end - 1] == U' ')
        --end;
    return QString::fromUcs4(m_status.data(), qsizetype(end));
}

// --- Keys the host programs (VT220, VT320, VT420) -------------------------------------------

bool VtermEmulation::userKeysKept() const
{
    return m_dialect.keyboard == VtKeyboard::Vt220 || statusLineKept();
}

void VtermEmulation::deviceControlString()
{
    // DECUDK: parameters, "|", then the keys; other strings are not ours.
    const qsizetype bar = m_dcs.indexOf('|');
    if (bar < 0)
        return;
    const QByteArray header = m_dcs.first(bar);
    if (std::all_of(header.begin(), header.end(),
            [](char c) { return (c >= '0' && c <= '9') || c == ';'; }))
        programUserKeys(header, m_dcs.mid(bar + 1));
}

void VtermEmulation::programUserKeys(const QByteArray &header, const QByteArray &keys)
{
    if (m_lockFunctionKeys || m_userKeysLocked) {
        qCDebug(lcEmulator) << "function keys are locked: the host's key definitions are not taken";
        return;
    }
    const QList<QByteArray> params = header.split(';');
    // Pc: 0 (or none) forgets every key first, 1 only the keys given. Pl: 0 (or none) locks.
    if (params.value(0).toInt() != 1)
        m_userKeys.clear();
    for (const QByteArray &definition : keys.split(';')) {
        const qsizetype slash = definition.indexOf('/');
        bool numbered = false;
        const int key
            = slash < 0 ? 0 : functionKeyOfUserKey(definition.first(slash).toInt(&numbered));
        QByteArray bytes;
        if (!numbered || key == 0
            || !decodeHex(QByteArrayView(definition).sliced(slash + 1), &bytes)) {
            if (!definition.isEmpty())
                qCDebug(lcEmulator) << "the host's key definition" << definition << "is not taken";
            continue;
        }
        if (bytes.isEmpty())
            m_userKeys.erase(key);
        else
            m_userKeys[key] = bytes;
    }
    m_userKeysLocked = params.value(1).toInt() != 1;
}

void VtermEmulation::forgetHostSetup()
{
    setStatusType(0);
    m_userKeys.clear();
    m_userKeysLocked = false;
}

void VtermEmulation::onInitPen()
{
    m_pen = Cell();
}

void VtermEmulation::onSetPenAttr(int attr, const void *value)
{
    const auto *val = static_cast<const VTermValue *>(value);
    switch (attr) {
    case VTERM_ATTR_BOLD:
        setFlag(m_pen, AttrBold, val->boolean);
        break;
    case VTERM_ATTR_UNDERLINE:
        setFlag(m_pen, AttrUnderline, val->number != 0);
        break;
    case VTERM_ATTR_ITALIC:
        setFlag(m_pen, AttrItalic, val->boolean);
        break;
    case VTERM_ATTR_BLINK:
        setFlag(m_pen, AttrBlink, val->boolean);
        break;
    case VTERM_ATTR_REVERSE:
        setFlag(m_pen, AttrReverse, val->boolean);
        break;
    case VTERM_ATTR_STRIKE:
        setFlag(m_pen, AttrStrike, val->boolean);
        break;
    case VTERM_ATTR_FOREGROUND:
        setColor(m_pen, val->color, true);
        break;
    case VTERM_ATTR_BACKGROUND:
        setColor(m_pen, val->color, false);
        break;
    default:
        break;
    }
}

void VtermEmulation::onSetTermProp(int prop, const void *value)
{
    const auto *val = static_cast<const VTermValue *>(value);
    switch (prop) {
    case VTERM_PROP_CURSORVISIBLE:
        m_cursorVisible = val->boolean;
        m_sink->cursorMoved();
        break;
    case VTERM_PROP_CURSORSHAPE:
        m_cursorShape = val->number;
        break;
    case VTERM_PROP_CURSORBLINK:
        m_cursorBlink = val->boolean;
        break;
    case VTERM_PROP_ALTSCREEN:
        if (m_altActive != bool(val->boolean)) {
            m_altActive = val->boolean;
            if (m_altActive)
                m_alt.fill(eraseCell());
            markRows(0, rows());
        }
        break;
    default:
        break;
    }
}

void VtermEmulation::onMoveCursor(int row, int col, bool visible)
{
    m_cursor = QPoint(col, row);
    m_cursorVisible = visible;
    m_sink->cursorMoved();
}

void VtermEmulation::onOutput(const char *bytes, size_t len)
{
    if (m_keyOut)
        m_keyOut->append(bytes, qsizetype(len));
    else
        m_sink->answer(QByteArray(bytes, qsizetype(len)));
}

bool VtermEmulation::onControl(unsigned char control)
{
    if (control != 0x05) // ENQ asks for the answerback text
        return false;
    if (!m_answerBack.isEmpty())
        m_sink->answer(m_answerBack);
    return true;
}

bool VtermEmulation::onCsi(
    const char *leader, const long *args, int argCount, const char *intermed, char command)
{
    // Our own marker for half intensity and concealed text (see rendition).
    if ((!leader || !leader[0]) && (!intermed || !intermed[0]) && command == 'w' && argCount == 2
        && CSI_ARG(args[0]) == 7701) {
        const long n = CSI_ARG_IS_MISSING(args[1]) ? 0 : CSI_ARG(args[1]);
        m_pen.flags = quint8((m_pen.flags & ~(CellDim | CellConcealed)) | ((n & 1) ? CellDim : 0)
            | ((n & 2) ? CellConcealed : 0));
        return true;
    }
    if ((!leader || !leader[0]) && pageCount() > 1
        && pageSequence(argCount > 0 && !CSI_ARG_IS_MISSING(args[0]) ? CSI_ARG(args[0]) : 1,
            intermed, command))
        return true;
    // Media copy: "print screen" (no parameter or 0). The print controller (4 and 5) is taken
    // out of the stream before it reaches the terminal.
    if (command != 'i' || (leader && leader[0]) || (intermed && intermed[0]))
        return false;
    const long p = argCount > 0 ? CSI_ARG(args[0]) : 0;
    if (argCount == 0 || p == 0 || CSI_ARG_IS_MISSING(args[0]))
        m_sink->printScreenRequested();
    return true;
}

} // namespace emu
