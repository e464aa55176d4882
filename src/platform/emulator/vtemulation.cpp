#include "emulator/vtemulation.h"

#include "emulator/controls.h"
#include "emulator/emulog.h"

#include <algorithm>
#include <array>

namespace emu {

namespace {

// The types of the family as bits of a table entry (by VtKeyboard).
constexpr quint8 bit(VtKeyboard k)
{
    return quint8(1u << int(k));
}
constexpr quint8 V1 = bit(VtKeyboard::Vt100);
constexpr quint8 V2 = bit(VtKeyboard::Vt220);
constexpr quint8 V3 = bit(VtKeyboard::Vt320);
constexpr quint8 V4 = bit(VtKeyboard::Vt420);
constexpr quint8 AN = bit(VtKeyboard::Ansi);
constexpr quint8 SC = bit(VtKeyboard::Sco);
constexpr quint8 LX = bit(VtKeyboard::Linux);
constexpr quint8 Dec = V1 | V2 | V3 | V4;
constexpr quint8 Dec2 = V2 | V3 | V4; // the VT220 and later
constexpr quint8 Dec3 = V3 | V4;
constexpr quint8 Consoles = AN | SC | LX;
constexpr quint8 All = Dec | Consoles;

// The longest device control string taken in (DECUDK): the VT220 keeps 256 bytes of programmed
// keys, each byte two hex digits.
constexpr size_t maxDeviceControlString = 4096;

// Page movements (doPage).
enum PageMove { NextPage, PrevPage, PageAbsolute, PageForward, PageBackward };

// The index of a sequence in the dispatch arrays: leader (5), intermediate (17), final (64 for
// CSI, 80 for ESC).
int leaderIndex(char leader)
{
    return leader == 0 ? 0 : leader - '<' + 1;
}
int interIndex(const VtSequence &seq)
{
    if (seq.interCount == 0)
        return 0;
    return seq.interCount == 1 ? seq.inter[0] - 0x20 + 1 : -1;
}
constexpr int csiKeys = 5 * 17 * 64;
constexpr int escKeys = 17 * 80;
int csiKey(char leader, int inter, char32_t final)
{
    return (leaderIndex(leader) * 17 + inter) * 64 + int(final - 0x40);
}
int escKey(int inter, char32_t final)
{
    return inter * 80 + int(final - 0x30);
}

// The function keys F6-F20 by the number the host programs them under (DECUDK): the number in
// the key's own CSI n ~.
struct UserKey
{
    int number;
    int functionKey;
};
constexpr UserKey userKeys[] = {
    { 17, 6 }, { 18, 7 }, { 19, 8 }, { 20, 9 }, { 21, 10 }, { 23, 11 }, { 24, 12 }, { 25, 13 },
    { 26, 14 }, { 28, 15 }, { 29, 16 }, { 31, 17 }, { 32, 18 }, { 33, 19 }, { 34, 20 },
};

int functionKeyOfUserKey(int number)
{
    for (const UserKey &k : userKeys) {
        if (k.number == number)
            return k.functionKey;
    }
    return 0;
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Pairs of hex digits as bytes; false for an odd count or a character that is not a hex digit.
bool decodeHex(QByteArrayView hex, QByteArray *out)
{
    if (hex.size() % 2 != 0 || !std::all_of(hex.begin(), hex.end(), isHexDigit))
        return false;
    *out = QByteArray::fromHex(hex.toByteArray());
    return true;
}

// Nearest entry of the 6x6x6 colour cube for a true-colour request.
quint8 cubeIndex(int r, int g, int b)
{
    auto level = [](int v) { return v < 48 ? 0 : v < 115 ? 1 : std::min(5, (v - 35) / 40); };
    return quint8(16 + 36 * level(r) + 6 * level(g) + level(b));
}

void setFlag(quint8 &bits, quint8 flag, bool on)
{
    bits = on ? quint8(bits | flag) : quint8(bits & ~flag);
}

// --- Keys ---------------------------------------------------------------------------------------

// Modifiers as the sequences number them (1 + the sum).
constexpr int ModShift = 1;
constexpr int ModAlt = 2;
constexpr int ModCtrl = 4;

// How a key of the common keyboard is sent: as its character, Tab and Enter with their own
// rules, after SS3 or CSI, CSI with a number, the cursor keys (SS3 in application mode), the
// keypad (SS3 and its own letter in application mode).
enum class KeyKind { Literal, Tab, Enter, Ss3, Csi, CsiCursor, CsiNumber, Keypad };
struct KeyCode
{
    int qtKey;
    KeyKind kind;
    char literal;
    int number; // CsiNumber: the number; Keypad: the application letter
};

const KeyCode keyCodes[] = {
    { Qt::Key_Return, KeyKind::Enter, '\r', 0 },
    { Qt::Key_Enter, KeyKind::Enter, '\r', 0 },
    { Qt::Key_Tab, KeyKind::Tab, '\t', 0 },
    { Qt::Key_Backtab, KeyKind::Tab, '\t', 0 },
    { Qt::Key_Backspace, KeyKind::Literal, '\x7f', 0 },
    { Qt::Key_Escape, KeyKind::Literal, '\x1b', 0 },
    { Qt::Key_Up, KeyKind::CsiCursor, 'A', 0 },
    { Qt::Key_Down, KeyKind::CsiCursor, 'B', 0 },
    { Qt::Key_Left, KeyKind::CsiCursor, 'D', 0 },
    { Qt::Key_Right, KeyKind::CsiCursor, 'C', 0 },
    { Qt::Key_Insert, KeyKind::CsiNumber, '~', 2 },
    { Qt::Key_Delete, KeyKind::CsiNumber, '~', 3 },
    { Qt::Key_Home, KeyKind::CsiCursor, 'H', 0 },
    { Qt::Key_End, KeyKind::CsiCursor, 'F', 0 },
    { Qt::Key_PageUp, KeyKind::CsiNumber, '~', 5 },
    { Qt::Key_PageDown, KeyKind::CsiNumber, '~', 6 },
};

// F1-F12 of the common keyboard.
const KeyCode functionCodes[] = {
    { Qt::Key_F1, KeyKind::Ss3, 'P', 0 },
    { Qt::Key_F2, KeyKind::Ss3, 'Q', 0 },
    { Qt::Key_F3, KeyKind::Ss3, 'R', 0 },
    { Qt::Key_F4, KeyKind::Ss3, 'S', 0 },
    { Qt::Key_F5, KeyKind::CsiNumber, '~', 15 },
    { Qt::Key_F6, KeyKind::CsiNumber, '~', 17 },
    { Qt::Key_F7, KeyKind::CsiNumber, '~', 18 },
    { Qt::Key_F8, KeyKind::CsiNumber, '~', 19 },
    { Qt::Key_F9, KeyKind::CsiNumber, '~', 20 },
    { Qt::Key_F10, KeyKind::CsiNumber, '~', 21 },
    { Qt::Key_F11, KeyKind::CsiNumber, '~', 23 },
    { Qt::Key_F12, KeyKind::CsiNumber, '~', 24 },
};

const KeyCode keypadCodes[] = {
    { Qt::Key_0, KeyKind::Keypad, '0', 'p' },
    { Qt::Key_1, KeyKind::Keypad, '1', 'q' },
    { Qt::Key_2, KeyKind::Keypad, '2', 'r' },
    { Qt::Key_3, KeyKind::Keypad, '3', 's' },
    { Qt::Key_4, KeyKind::Keypad, '4', 't' },
    { Qt::Key_5, KeyKind::Keypad, '5', 'u' },
    { Qt::Key_6, KeyKind::Keypad, '6', 'v' },
    { Qt::Key_7, KeyKind::Keypad, '7', 'w' },
    { Qt::Key_8, KeyKind::Keypad, '8', 'x' },
    { Qt::Key_9, KeyKind::Keypad, '9', 'y' },
    { Qt::Key_Asterisk, KeyKind::Keypad, '*', 'j' },
    { Qt::Key_Plus, KeyKind::Keypad, '+', 'k' },
    { Qt::Key_Comma, KeyKind::Keypad, ',', 'l' },
    { Qt::Key_Minus, KeyKind::Keypad, '-', 'm' },
    { Qt::Key_Period, KeyKind::Keypad, '.', 'n' },
    { Qt::Key_Slash, KeyKind::Keypad, '/', 'o' },
    { Qt::Key_Equal, KeyKind::Keypad, '=', 'X' },
    { Qt::Key_Enter, KeyKind::Keypad, '\r', 'M' },
};

int modifierBits(Qt::KeyboardModifiers mods)
{
    return ((mods & Qt::ShiftModifier) ? ModShift : 0) | ((mods & Qt::AltModifier) ? ModAlt : 0)
        | ((mods & Qt::ControlModifier) ? ModCtrl : 0);
}

// The keys of a VT-family keyboard that are the terminal's own: by Qt key and modifiers (0
// none, 1 Shift), and the function keys F1-F20 (nullptr: the common keyboard's; "": none).
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
    "\x1b[23~", "\x1b[24~", "\x1b[25~", "\x1b[26~", "\x1b[28~", "\x1b[29~", "\x1b[31~", "\x1b[32~", \
        "\x1b[33~", "\x1b[34~"
    static const Keyboard vt100 = {
        { "\x1bOP", "\x1bOQ", "\x1bOR", "\x1bOS", "\x1bOt", "\x1bOu", "\x1bOv", "\x1bOl", "\x1bOw",
            "\x1bOx", "", "", "", "", "", "", "", "", "", "" },
        { { Qt::Key_Backspace, 0, "\b" } },
    };
    static const Keyboard vt220 = {
        { "\x1bOP", "\x1bOQ", "\x1bOR", "\x1bOS", "", "\x1b[17~", "\x1b[18~", "\x1b[19~",
            "\x1b[20~", "\x1b[21~", DEC_UPPER },
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

// DECRQM's answers.
enum ModeAnswer { ModeUnknown = 0, ModeSet = 1, ModeReset = 2, ModePermanentlySet = 3,
    ModePermanentlyReset = 4 };

// Modes a type has that the host cannot change, and how they stay.
struct FixedMode
{
    int mode;
    bool isPrivate;
    quint8 types;
    ModeAnswer answer;
};
constexpr FixedMode fixedModes[] = {
    { 2, false, Dec3, ModePermanentlyReset }, // KAM: the keyboard is never locked
    { 4, true, Dec3, ModePermanentlyReset }, // DECSCLM: jump scrolling
    { 8, true, Dec3, ModePermanentlySet }, // DECARM: keys repeat
    { 67, true, V4, ModePermanentlySet }, // DECBKM: Backspace sends BS
};

} // namespace

// A control sequence or escape sequence, the types that honour it and what it does.
struct VtEmulation::Entry
{
    char leader; // CSI only: < = > ?, 0 none
    char inter; // 0 none
    char final;
    quint8 types;
    Handler handler;
    int param;
};

// --- Tables -------------------------------------------------------------------------------------

void VtEmulation::buildTables()
{
    using V = VtEmulation;
    // Control sequences: CSI [leader] params [intermediate] final.
    static const Entry csi[] = {
        { 0, 0, '@', All, &V::doInsertChars, 0 },
        { 0, 0, 'A', All, &V::doCursorUp, 0 },
        { 0, 0, 'B', All, &V::doCursorDown, 0 },
        { 0, 0, 'C', All, &V::doCursorRight, 0 },
        { 0, 0, 'D', All, &V::doCursorLeft, 0 },
        { 0, 0, 'E', All, &V::doNextLines, 1 },
        { 0, 0, 'F', All, &V::doNextLines, 0 },
        { 0, 0, 'G', All, &V::doColumn, 0 },
        { 0, 0, 'H', All, &V::doPosition, 0 },
        { 0, 0, 'I', All, &V::doTab, 1 },
        { 0, 0, 'J', All, &V::doEraseDisplay, 0 },
        { '?', 0, 'J', Dec2, &V::doEraseDisplay, 1 },
        { 0, 0, 'K', All, &V::doEraseLine, 0 },
        { '?', 0, 'K', Dec2, &V::doEraseLine, 1 },
        { 0, 0, 'L', All, &V::doInsertLines, 0 },
        { 0, 0, 'M', All, &V::doDeleteLines, 0 },
        { 0, 0, 'P', All, &V::doDeleteChars, 0 },
        { 0, 0, 'S', All, &V::doScroll, 1 },
        { 0, 0, 'T', All, &V::doScroll, 0 },
        { 0, 0, 'X', All, &V::doEraseChars, 0 },
        { 0, 0, 'Z', All, &V::doTab, 0 },
        { 0, 0, '`', All, &V::doColumn, 0 },
        { 0, 0, 'a', All, &V::doColumnRelative, 0 },
        { 0, 0, 'b', All, &V::doRepeat, 0 },
        { 0, 0, 'c', All, &V::doAttributes, 0 },
        { '>', 0, 'c', Dec2, &V::doSecondaryAttributes, 0 },
        { 0, 0, 'd', All, &V::doRow, 0 },
        { 0, 0, 'e', All, &V::doRowRelative, 0 },
        { 0, 0, 'f', All, &V::doPosition, 0 },
        { 0, 0, 'g', All, &V::doTabClear, 0 },
        { 0, 0, 'h', All, &V::doMode, 1 },
        { '?', 0, 'h', All, &V::doPrivateMode, 1 },
        { 0, 0, 'i', All, &V::doMediaCopy, 0 },
        { 0, 0, 'l', All, &V::doMode, 0 },
        { '?', 0, 'l', All, &V::doPrivateMode, 0 },
        { 0, 0, 'm', All, &V::doRendition, 0 },
        { 0, 0, 'n', All, &V::doStatusReport, 0 },
        { '?', 0, 'n', Dec2, &V::doPrivateStatusReport, 0 },
        { 0, 0, 'r', All, &V::doMargins, 0 },
        { 0, 0, 's', V4, &V::doSideMargins, 0 },
        { 0, 0, 's', Consoles, &V::doScoSave, 0 },
        { 0, 0, 'u', Consoles, &V::doScoRestore, 0 },
        { '=', 0, 'C', SC | AN | LX, &V::doScoCursorShape, 0 },
        { 0, 0, 'x', V1, &V::doTerminalParameters, 0 },
        { 0, '"', 'q', Dec2, &V::doProtection, 0 },
        { 0, '"', 'p', Dec2, &V::doConformance, 0 },
        { 0, '!', 'p', Dec2, &V::doSoftReset, 0 },
        { 0, '$', 'p', Dec3, &V::doRequestMode, 0 },
        { '?', '$', 'p', Dec3, &V::doRequestMode, 1 },
        { 0, ' ', 'q', All, &V::doCursorStyle, 0 },
        { 0, '$', '~', Dec3, &V::doStatusType, 0 },
        { 0, '$', '}', Dec3, &V::doStatusDisplay, 0 },
        { 0, 0, 'U', V4, &V::doPage, NextPage },
        { 0, 0, 'V', V4, &V::doPage, PrevPage },
        { 0, ' ', 'P', V4, &V::doPage, PageAbsolute },
        { 0, ' ', 'Q', V4, &V::doPage, PageForward },
        { 0, ' ', 'R', V4, &V::doPage, PageBackward },
        { 0, '$', 'v', V4, &V::doCopyRect, 0 },
        { 0, '$', 'z', V4, &V::doEraseRect, 0 },
        { 0, '$', '{', V4, &V::doEraseRect, 1 },
        { 0, '$', 'x', V4, &V::doFillRect, 0 },
        { 0, '$', 'r', V4, &V::doChangeAttributesRect, 0 },
        { 0, '$', 't', V4, &V::doChangeAttributesRect, 1 },
        { 0, '*', 'x', V4, &V::doAttributeExtent, 0 },
        { 0, '\'', '}', V4, &V::doColumns, 1 },
        { 0, '\'', '~', V4, &V::doColumns, 0 },
    };
    // Escape sequences: ESC [intermediate] final.
    static const Entry esc[] = {
        { 0, 0, '7', All, &V::doSaveCursor, 0 },
        { 0, 0, '8', All, &V::doRestoreCursor, 0 },
        { 0, 0, 'D', All, &V::doIndex, 0 },
        { 0, 0, 'E', All, &V::doNextLine, 0 },
        { 0, 0, 'H', All, &V::doTabSet, 0 },
        { 0, 0, 'M', All, &V::doReverseIndex, 0 },
        { 0, 0, 'N', Dec2, &V::doSingleShift, 2 },
        { 0, 0, 'O', Dec2, &V::doSingleShift, 3 },
        { 0, 0, 'n', Dec2, &V::doLockingShift, 2 },
        { 0, 0, 'o', Dec2, &V::doLockingShift, 3 },
        { 0, 0, '~', Dec2, &V::doLockingShiftRight, 1 },
        { 0, 0, '}', Dec2, &V::doLockingShiftRight, 2 },
        { 0, 0, '|', Dec2, &V::doLockingShiftRight, 3 },
        { 0, 0, 'c', All, &V::doFullReset, 0 },
        { 0, 0, '=', All, &V::doKeypad, 1 },
        { 0, 0, '>', All, &V::doKeypad, 0 },
        { 0, 0, 'Z', Dec, &V::doIdentify, 0 },
        { 0, 0, '6', V4, &V::doBackIndex, 0 },
        { 0, 0, '9', V4, &V::doForwardIndex, 0 },
        { 0, '#', '3', Dec, &V::doLineSize, LineDoubleTop },
        { 0, '#', '4', Dec, &V::doLineSize, LineDoubleBottom },
        { 0, '#', '5', Dec, &V::doLineSize, 0 },
        { 0, '#', '6', Dec, &V::doLineSize, LineDoubleWidth },
        { 0, '#', '8', Dec, &V::doAlignment, 0 },
        { 0, ' ', 'F', Dec2, &V::doControls8, 0 },
        { 0, ' ', 'G', Dec2, &V::doControls8, 1 },
    };
    m_csiIndex.assign(size_t(csiKeys), 0);
    m_escIndex.assign(size_t(escKeys), 0);
    for (size_t i = 0; i < std::size(csi); ++i) {
        const Entry &e = csi[i];
        if (e.types & m_typeBit)
            m_csiIndex[size_t(csiKey(e.leader, e.inter ? e.inter - 0x20 + 1 : 0, char32_t(e.final)))]
                = quint8(i + 1);
    }
    for (size_t i = 0; i < std::size(esc); ++i) {
        const Entry &e = esc[i];
        if (e.types & m_typeBit)
            m_escIndex[size_t(escKey(e.inter ? e.inter - 0x20 + 1 : 0, char32_t(e.final)))]
                = quint8(i + 1);
    }
    m_csiTable = csi;
    m_escTable = esc;
}

// --- Life cycle -------------------------------------------------------------------------------

VtEmulation::VtEmulation(int rows, int cols, EmulationSink *sink)
    : m_sink(sink)
    , m_parser(this)
    , m_main(rows, cols)
    , m_alt(rows, cols)
    , m_pages(1, Grid(rows, cols))
{
    m_dcsText.reserve(maxDeviceControlString);
    buildTables();
    fullReset();
}

void VtEmulation::setDialect(const HostDialect &dialect)
{
    if (dialect.encoding != m_decoder.encoding())
        m_decoder.setEncoding(dialect.encoding);
    const bool linuxNow = dialect.linuxPalette && !m_dialect.linuxPalette;
    const bool typeChanged = dialect.keyboard != m_dialect.keyboard;
    m_dialect = dialect;
    m_parser.setLinuxPalette(dialect.linuxPalette);
    if (typeChanged) {
        m_typeBit = bit(dialect.keyboard);
        buildTables();
    }
    if (linuxNow)
        useLinuxGraphics();
    // Another type of the family: what its keyboard and screen do not have goes.
    if (!statusLineKept())
        setStatusType(0);
    if (!userKeysKept()) {
        m_userKeys.clear();
        m_userKeysLocked = false;
    }
    if (!(m_typeBit & Dec2))
        m_controls8 = false;
    if (!(m_typeBit & Dec))
        setVt52(false); // the consoles have no VT52 mode
}

void VtEmulation::useLinuxGraphics()
{
    // The Linux console's G1 is its graphics set from the start.
    m_g[1] = Charset::DecGraphics;
}

void VtEmulation::setOptions(const TerminalOptions &options)
{
    m_lockFunctionKeys = options.lockFunctionKeys;
    m_printer = options.printer;
    const size_t pages = size_t(std::clamp(options.pages, 1, 6));
    if (pages == m_pages.size())
        return;
    // The page in use goes with the memory: the first page is shown instead, under the
    // alternate screen too (a full-screen program keeps its screen and finds page 1 when it
    // leaves it).
    if (m_page >= int(pages))
        showPage(0);
    m_pages.resize(pages, Grid(rows(), cols()));
    for (Grid &page : m_pages) {
        if (page.rows() != rows() || page.cols() != cols())
            page.resize(rows(), cols(), 0);
    }
}

void VtEmulation::fullReset()
{
    m_parser.reset();
    m_altActive = false;
    m_row = m_col = 0;
    m_wrapPending = false;
    m_pen = Cell();
    m_cursorVisible = true;
    m_insert = m_newLine = m_origin = m_appCursor = m_appKeypad = false;
    m_autoWrap = true;
    m_sideMargins = false;
    m_controls8 = false;
    m_rectExtent = false;
    m_cursorStyle = 1;
    m_font = 0;
    m_lastChar = 0;
    if (m_reverseScreen) {
        m_reverseScreen = false;
    }
    resetCharsets();
    m_national = false;
    setVt52(false);
    m_saved = {};
    resetMargins();
    m_tabs.assign(size_t(cols()), false);
    for (int c = 8; c < cols(); c += 8)
        m_tabs[size_t(c)] = true;
    forgetHostSetup();
    m_dcs = Dcs::None;
}

void VtEmulation::forgetHostSetup()
{
    setStatusType(0);
    m_userKeys.clear();
    m_userKeysLocked = false;
}

void VtEmulation::newLink()
{
    m_parser.reset();
    m_decoder.reset();
    m_singleShift = -1;
    m_vt52State = Vt52State::Ground;
    m_userKeys.clear();
    m_userKeysLocked = false;
}

void VtEmulation::reset()
{
    fullReset();
    setPage(0);
    m_main.fill(eraseCell());
    m_alt.fill(eraseCell());
    for (Grid &page : m_pages)
        page.fill(eraseCell());
    m_changed = ChangedRows();
    m_sink->rowsChanged(0, rows() - 1);
    m_sink->cursorMoved();
}

void VtEmulation::softReset()
{
    m_cursorVisible = true;
    m_insert = false;
    m_origin = false;
    m_autoWrap = false;
    m_appCursor = false;
    m_appKeypad = false;
    m_wrapPending = false;
    resetMargins();
    resetCharsets();
    m_pen = Cell();
    m_saved[m_altActive ? 1 : 0] = Saved();
}

void VtEmulation::resetMargins()
{
    m_top = 0;
    m_bottom = rows() - 1;
    m_left = 0;
    m_right = cols() - 1;
}

// --- Host data ----------------------------------------------------------------------------------

bool VtEmulation::plainText() const
{
    return m_parser.inGround() && !m_decoder.holding() && m_g[size_t(m_gl)] == Charset::Ascii
        && m_singleShift < 0 && m_font == 0 && !m_statusActive && !m_vt52;
}

void VtEmulation::feed(const char *data, qsizetype len)
{
    const QPoint cursorBefore(m_col, m_row);
    const bool visibleBefore = m_cursorVisible;
    const char *p = data;
    const char *end = data + len;
    while (p < end) {
        const uchar byte = uchar(*p);
        if (byte >= 0x20 && byte < 0x7F && plainText()) {
            // A run of printable ASCII: the bulk of most host output.
            const char *run = p + 1;
            while (run < end && uchar(*run) >= 0x20 && uchar(*run) < 0x7F)
                ++run;
            putAscii(p, int(run - p));
            p = run;
            continue;
        }
        if (byte == ESC && m_parser.inGround() && !m_decoder.holding() && !m_vt52) {
            if (const char *after = quickControlSequence(p, end)) {
                p = after;
                continue;
            }
        }
        if (byte < 0x80 && !m_decoder.holding()) {
            take(byte);
            ++p;
            continue;
        }
        if (byte < 0xA0 && !m_decoder.holding() && m_dialect.encoding == HostEncoding::Utf8) {
            // No UTF-8 sequence starts with this byte: a C1 control sent as a byte of its own.
            m_c1Utf8 = false;
            take(byte);
            ++p;
            continue;
        }
        // Through the decoder: a run of bytes above ASCII, or one byte.
        const char *next = p + 1;
        while (next < end && byte >= 0x80 && uchar(*next) >= 0x80)
            ++next;
        m_decoder.decode(QByteArrayView(p, next), [this](char32_t ch) {
            if (ch >= 0x80 && ch < 0xA0)
                m_c1Utf8 = true; // a C1 control in its UTF-8 form
            take(ch);
        });
        p = next;
    }
    flush();
    if (cursorBefore != QPoint(m_col, m_row) || visibleBefore != m_cursorVisible)
        m_sink->cursorMoved();
}

// A control sequence of the usual shape, ESC [ with an optional leader, numeric parameters
// separated by semicolons and a final character, all in this read: read straight from the bytes,
// as the parser would read it (the same parameters, clamped alike), and carried out. Returns the
// byte after it, or nullptr for any other shape (sub-parameters, intermediates, a control inside,
// more parameters than the parser keeps, the end of the read), which the parser reads instead.
const char *VtEmulation::quickControlSequence(const char *p, const char *end)
{
    const char *q = p + 1;
    if (q == end || *q != '[')
        return nullptr;
    ++q;
    VtSequence seq;
    seq.count = 0;
    if (q < end && *q >= 0x3C && *q <= 0x3F)
        seq.leader = *q++;
    for (; q < end; ++q) {
        const uchar c = uchar(*q);
        if (c >= '0' && c <= '9') {
            if (seq.count == 0)
                seq.params[seq.count++] = VtSequence::Missing;
            int &value = seq.params[seq.count - 1];
            value = std::min(VtSequence::MaxValue, std::max(value, 0) * 10 + int(c - '0'));
        } else if (c == ';') {
            if (seq.count == 0)
                seq.params[seq.count++] = VtSequence::Missing;
            if (seq.count == VtSequence::MaxParams)
                return nullptr;
            seq.params[seq.count++] = VtSequence::Missing;
        } else if (c >= 0x40 && c <= 0x7E) {
            seq.final = c;
            controlSequence(seq);
            return q + 1;
        } else {
            return nullptr;
        }
    }
    return nullptr;
}

void VtEmulation::flush()
{
    m_changed.report(m_sink);
}

void VtEmulation::take(char32_t ch)
{
    if (m_vt52) {
        takeVt52(ch);
        return;
    }
    if (m_font != 0 && ch >= 0x80 && ch <= 0xFF && m_parser.inGround()) {
        print(ch); // a byte of the PC's own character set
        return;
    }
    if (ch >= 0x80 && ch < 0xA0) {
        // A C1 control: its 7-bit form (ESC and 0x40-0x5F), which is what it means to a VT
        // terminal. From a UTF-8 host only the terminals with 8-bit controls (the VT220 and
        // later) take it; the others neither take nor show it.
        if (m_dialect.encoding == HostEncoding::SingleByte || (m_typeBit & Dec2)) {
            m_parser.put(ESC);
            m_parser.put(ch - 0x40);
        }
        return;
    }
    m_parser.put(ch);
}

void VtEmulation::execute(char32_t control)
{
    if (m_statusActive)
        return; // controls do nothing on the status line
    switch (control) {
    case 0x05: // ENQ: the answerback text
        if (!m_answerBack.isEmpty())
            m_sink->answer(m_answerBack);
        return;
    case 0x07:
        m_sink->bell();
        return;
    case 0x08: // BS
        m_wrapPending = false;
        if (m_col > (insideColumns() ? m_left : 0))
            --m_col;
        return;
    case 0x09: {
        VtSequence one;
        one.count = 0;
        doTab(one, 1);
        return;
    }
    case 0x0A:
    case 0x0B:
    case 0x0C:
        lineFeed();
        if (m_newLine)
            m_col = insideColumns() ? m_left : 0;
        return;
    case 0x0D:
        m_wrapPending = false;
        m_col = m_col >= m_left ? m_left : 0;
        return;
    case 0x0E: // SO: G1
        m_gl = 1;
        return;
    case 0x0F: // SI: G0
        m_gl = 0;
        return;
    default:
        return;
    }
}

void VtEmulation::escape(const VtSequence &seq)
{
    if (m_statusActive && seq.final != 'c')
        return;
    const int inter = interIndex(seq);
    if (designation(seq))
        return;
    if (inter < 0 || seq.final < 0x30 || seq.final > 0x7E)
        return;
    const quint8 index = m_escIndex[size_t(escKey(inter, seq.final))];
    if (index == 0)
        return;
    const Entry &e = m_escTable[index - 1];
    (this->*e.handler)(seq, e.param);
}

void VtEmulation::controlSequence(const VtSequence &seq)
{
    const int inter = interIndex(seq);
    if (inter < 0)
        return;
    if (m_statusActive) {
        if (!statusSequence(seq))
            return; // other sequences do nothing while the host writes the status line
        return;
    }
    const quint8 index = m_csiIndex[size_t(csiKey(seq.leader, inter, seq.final))];
    if (index == 0)
        return;
    const Entry &e = m_csiTable[index - 1];
    (this->*e.handler)(seq, e.param);
}

void VtEmulation::linuxPalette(int index, quint32 rgb)
{
    m_sink->paletteChanged(index, rgb);
}

// --- Device control strings: DECUDK, DECRQSS --------------------------------------------------

void VtEmulation::dcsStart(const VtSequence &seq)
{
    m_dcs = Dcs::None;
    m_dcsText.clear();
    if (seq.leader != 0)
        return;
    // On the status line only a status request is taken: it asks, and writes to no display.
    if (seq.final == '|' && seq.interCount == 0 && userKeysKept() && !m_statusActive) {
        m_dcs = Dcs::UserKeys;
        m_dcsParams[0] = std::max(0, seq.raw(0));
        m_dcsParams[1] = std::max(0, seq.raw(1));
    } else if (seq.final == 'q' && seq.intermediate() == '$' && (m_typeBit & Dec3)) {
        m_dcs = Dcs::StatusRequest;
    }
}

void VtEmulation::dcsPut(char32_t ch)
{
    if (m_dcs == Dcs::None)
        return;
    if (m_dcsText.size() >= maxDeviceControlString) {
        qCDebug(lcEmulator) << "a device control string longer than" << maxDeviceControlString
                            << "characters is not taken";
        m_dcs = Dcs::None;
        return;
    }
    m_dcsText += ch < 0x80 ? char(ch) : '\x01'; // no part of a key's definition
}

void VtEmulation::dcsEnd(bool complete)
{
    const Dcs kind = std::exchange(m_dcs, Dcs::None);
    if (!complete)
        return;
    if (kind == Dcs::UserKeys)
        programUserKeys(m_dcsParams[0], m_dcsParams[1], m_dcsText);
    else if (kind == Dcs::StatusRequest)
        requestStatusString();
}

// --- Writing ------------------------------------------------------------------------------------

char32_t VtEmulation::mapped(char32_t ch)
{
    if (m_font == 12 && ch >= 0x20 && ch <= 0xFF && ch != 0x7F) {
        // The PC's font with the high bit turned over: ASCII shows the upper half of code
        // page 437, the upper half its lower one (control characters as their pictures).
        const uint flipped = uint(ch) ^ 0x80;
        return flipped >= 0x80 ? char32_t(cp437Upper[flipped - 0x80])
            : flipped < 0x20   ? char32_t(cp437Controls[flipped])
            : flipped == 0x7F  ? char32_t(cp437Delete)
                               : char32_t(flipped);
    }
    if (m_font == 11 && ch >= 0x80 && ch <= 0xFF)
        return char32_t(cp437Upper[ch - 0x80]); // the bytes of the PC's own character set
    return charsetMapped(ch);
}

void VtEmulation::print(char32_t ch)
{
    if (m_statusActive)
        putStatus(ch);
    else
        putChar(mapped(ch));
}

Cell VtEmulation::look() const
{
    Cell cell = m_pen;
    cell.flags = quint8((m_pen.flags & (CellDim | CellConcealed | CellProtected))
        | (grid().row(m_row)[0].flags & LineSizeMask));
    return cell;
}

Cell VtEmulation::eraseCell() const
{
    return erasedCell(m_pen);
}

Cell VtEmulation::blankFor(int row) const
{
    Cell blank = eraseCell();
    blank.flags = grid().row(row)[0].flags & LineSizeMask;
    return blank;
}

int VtEmulation::lineEnd(int row) const
{
    return (grid().row(row)[0].flags & LineSizeMask) ? std::max(1, cols() / 2) : cols();
}

int VtEmulation::rightEdge() const
{
    const int end = m_col <= m_right ? m_right + 1 : cols();
    return std::min(end, lineEnd(m_row));
}

void VtEmulation::wrapIfPending()
{
    if (!m_wrapPending)
        return;
    m_wrapPending = false;
    if (!m_autoWrap)
        return;
    m_col = insideColumns() ? m_left : 0;
    lineFeed();
}

void VtEmulation::putChar(char32_t ch)
{
    int width = ch < 0x300 ? 1 : charWidth(ch);
    if (width == 0) {
        // A combining mark joins the character before the cursor (the one under it while the
        // cursor waits in the last column).
        if (grid().combineBefore(m_row, m_wrapPending ? m_col + 1 : m_col, ch))
            mark(m_row, m_row);
        return;
    }
    wrapIfPending();
    int end = rightEdge();
    if (m_col >= end)
        m_col = end - 1;
    if (width == 2 && m_col + 1 >= end) {
        // A wide character that does not fit starts the next line.
        if (m_autoWrap && m_col > (insideColumns() ? m_left : 0)) {
            m_col = insideColumns() ? m_left : 0;
            lineFeed();
            end = rightEdge();
        }
        if (m_col + 1 >= end) {
            // Still no room (no automatic wrap, or a line that narrow): the last two columns.
            if (end >= 2)
                m_col = end - 2;
            else
                width = 1;
        }
    }
    if (m_insert) {
        const int n = std::min(width, end - m_col);
        grid().moveRect(m_row, m_col + n, m_row, m_col, 1, end - m_col - n);
    }
    Cell cell = look();
    cell.ch = ch;
    grid().putChar(m_row, m_col, cell, width == 2);
    mark(m_row, m_row);
    m_lastChar = ch;
    if (m_col + width >= end) {
        m_col = end - 1;
        m_wrapPending = m_autoWrap;
    } else {
        m_col += width;
    }
}

void VtEmulation::putAscii(const char *p, int n)
{
    if (m_insert) {
        for (int i = 0; i < n; ++i)
            putChar(char32_t(uchar(p[i])));
        return;
    }
    m_lastChar = char32_t(uchar(p[n - 1]));
    while (n > 0) {
        wrapIfPending();
        const int end = rightEdge();
        if (m_col >= end)
            m_col = end - 1;
        const int chunk = std::min(n, end - m_col);
        const Cell cell = look();
        grid().putAscii(m_row, m_col, p, chunk, cell);
        mark(m_row, m_row);
        p += chunk;
        n -= chunk;
        if (m_col + chunk < end) {
            m_col += chunk;
            continue;
        }
        m_col = end - 1;
        if (m_autoWrap) {
            m_wrapPending = true;
        } else if (n > 0) {
            // Without automatic wrap the last column takes what is left: its last character.
            grid().putAscii(m_row, m_col, p + n - 1, 1, cell);
            n = 0;
        }
    }
}

// --- Cursor and scrolling ---------------------------------------------------------------------

void VtEmulation::moveTo(int row, int col)
{
    m_row = std::clamp(row, 0, rows() - 1);
    m_col = std::clamp(col, 0, lineEnd(m_row) - 1);
    m_wrapPending = false;
}

void VtEmulation::moveToOrigin(int row, int col)
{
    if (m_origin)
        moveTo(std::clamp(row + m_top, m_top, m_bottom), std::clamp(col + m_left, m_left, m_right));
    else
        moveTo(row, col);
}

void VtEmulation::homeCursor()
{
    moveToOrigin(0, 0);
}

void VtEmulation::lineFeed()
{
    m_wrapPending = false;
    if (m_row == m_bottom) {
        if (insideColumns())
            scrollUp(m_top, m_bottom, 1);
    } else if (m_row < rows() - 1) {
        ++m_row;
    }
}

void VtEmulation::reverseIndex()
{
    m_wrapPending = false;
    if (m_row == m_top) {
        if (insideColumns())
            scrollDown(m_top, m_bottom, 1);
    } else if (m_row > 0) {
        --m_row;
    }
}

void VtEmulation::scrollUp(int top, int bottom, int n)
{
    n = std::min(n, bottom - top + 1);
    if (n <= 0)
        return;
    if (fullWidth()) {
        // Lines that leave the top of the main screen go to the history.
        static const std::function<void(const Cell *)> none;
        const std::function<void(const Cell *)> toHistory
            = top == 0 && !m_altActive ? std::function<void(const Cell *)>(
                  [this](const Cell *line) { m_sink->lineScrolledOff(line, cols()); })
                                       : none;
        grid().scroll(top, bottom + 1, n, eraseCell(), toHistory);
    } else {
        const int width = m_right - m_left + 1;
        grid().moveRect(top, m_left, top + n, m_left, bottom - top + 1 - n, width);
        grid().fillRect(bottom - n + 1, m_left, bottom + 1, m_right + 1, eraseCell());
    }
    mark(top, bottom);
}

void VtEmulation::scrollDown(int top, int bottom, int n)
{
    n = std::min(n, bottom - top + 1);
    if (n <= 0)
        return;
    if (fullWidth()) {
        grid().scroll(top, bottom + 1, -n, eraseCell());
    } else {
        const int width = m_right - m_left + 1;
        grid().moveRect(top + n, m_left, top, m_left, bottom - top + 1 - n, width);
        grid().fillRect(top, m_left, top + n, m_right + 1, eraseCell());
    }
    mark(top, bottom);
}

void VtEmulation::saveCursor()
{
    Saved &s = m_saved[m_altActive ? 1 : 0];
    s.valid = true;
    s.row = m_row;
    s.col = m_col;
    s.pen = m_pen;
    s.g = m_g;
    s.gl = m_gl;
    s.gr = m_gr;
    s.singleShift = m_singleShift;
    s.origin = m_origin;
    s.wrapPending = m_wrapPending;
}

void VtEmulation::restoreCursor()
{
    const Saved &s = m_saved[m_altActive ? 1 : 0];
    if (!s.valid) {
        // Nothing saved: home, with the power-on attributes and character sets.
        m_pen = Cell();
        resetCharsets();
        m_origin = false;
        moveTo(0, 0);
        return;
    }
    m_pen = s.pen;
    m_g = s.g;
    m_gl = s.gl;
    m_gr = s.gr;
    m_singleShift = s.singleShift;
    m_origin = s.origin;
    moveTo(s.row, s.col);
    m_wrapPending = s.wrapPending && m_col == lineEnd(m_row) - 1;
}

void VtEmulation::setAltScreen(bool on, bool withCursor)
{
    if (on == m_altActive)
        return;
    if (on) {
        if (withCursor)
            saveCursor();
        m_altActive = true;
        m_alt.fill(eraseCell());
    } else {
        m_altActive = false;
        if (withCursor)
            restoreCursor();
    }
    markAll();
}

// --- Erasing ------------------------------------------------------------------------------------

void VtEmulation::eraseCells(int row, int from, int end, bool selective)
{
    from = std::max(0, from);
    end = std::min(cols(), end);
    if (from >= end)
        return;
    Cell *line = grid().row(row);
    const Cell blank = blankFor(row);
    for (int c = from; c < end; ++c) {
        if (!selective || !(line[c].flags & CellProtected))
            line[c] = blank;
    }
    // A wide character cut in two keeps its other half as a plain blank.
    if (from > 0 && (line[from - 1].flags & CellWide) && !(line[from].flags & CellWideTail)) {
        line[from - 1].ch = U' ';
        line[from - 1].flags &= quint8(~CellWide);
    }
    if (end < cols() && (line[end].flags & CellWideTail))
        line[end].flags &= quint8(~CellWideTail);
    mark(row, row);
}

void VtEmulation::eraseRows(int first, int end, bool selective)
{
    first = std::max(0, first);
    end = std::min(rows(), end);
    if (first >= end)
        return;
    if (!selective) {
        // Whole lines erased go back to single size.
        grid().fillRect(first, 0, end, cols(), eraseCell());
        mark(first, end - 1);
        return;
    }
    for (int r = first; r < end; ++r)
        eraseCells(r, 0, cols(), true);
}

void VtEmulation::eraseDisplay(int mode, bool selective)
{
    switch (mode) {
    case 0:
        eraseCells(m_row, m_col, cols(), selective);
        eraseRows(m_row + 1, rows(), selective);
        break;
    case 1:
        eraseRows(0, m_row, selective);
        eraseCells(m_row, 0, m_col + 1, selective);
        break;
    case 2:
        eraseRows(0, rows(), selective);
        break;
    default:
        break;
    }
}

void VtEmulation::eraseLine(int mode, bool selective)
{
    switch (mode) {
    case 0:
        eraseCells(m_row, m_col, cols(), selective);
        break;
    case 1:
        eraseCells(m_row, 0, m_col + 1, selective);
        break;
    case 2:
        eraseCells(m_row, 0, cols(), selective);
        break;
    default:
        break;
    }
}

// --- Escape sequences -----------------------------------------------------------------------

void VtEmulation::doIndex(const VtSequence &, int)
{
    lineFeed();
}

void VtEmulation::doNextLine(const VtSequence &, int)
{
    lineFeed();
    m_col = insideColumns() ? m_left : 0;
}

void VtEmulation::doReverseIndex(const VtSequence &, int)
{
    reverseIndex();
}

void VtEmulation::doTabSet(const VtSequence &, int)
{
    if (m_col < int(m_tabs.size()))
        m_tabs[size_t(m_col)] = true;
}

void VtEmulation::doSaveCursor(const VtSequence &, int)
{
    saveCursor();
}

void VtEmulation::doRestoreCursor(const VtSequence &, int)
{
    restoreCursor();
}

void VtEmulation::doKeypad(const VtSequence &, int application)
{
    m_appKeypad = application != 0;
}

void VtEmulation::doFullReset(const VtSequence &, int)
{
    // RIS: the power-on state, 80 columns included.
    const bool wide = std::exchange(m_wideColumns, false);
    reset();
    if (wide)
        m_sink->columnModeRequested(false);
}

void VtEmulation::doSingleShift(const VtSequence &, int set)
{
    m_singleShift = set;
}

void VtEmulation::doLockingShift(const VtSequence &, int set)
{
    m_gl = set;
}

void VtEmulation::doLineSize(const VtSequence &, int size)
{
    Cell *line = grid().row(m_row);
    for (int c = 0; c < cols(); ++c)
        line[c].flags = quint8((line[c].flags & ~LineSizeMask) | size);
    m_col = std::min(m_col, lineEnd(m_row) - 1);
    mark(m_row, m_row);
}

void VtEmulation::doAlignment(const VtSequence &, int)
{
    // DECALN: the screen full of E, margins reset, the cursor home.
    Cell e;
    e.ch = U'E';
    grid().fillRect(0, 0, rows(), cols(), e);
    resetMargins();
    moveTo(0, 0);
    markAll();
}

void VtEmulation::doControls8(const VtSequence &, int on)
{
    m_controls8 = on != 0;
}

void VtEmulation::doIdentify(const VtSequence &seq, int)
{
    doAttributes(seq, 0);
}

void VtEmulation::doBackIndex(const VtSequence &, int)
{
    // DECBI: at the left margin the columns within the margins move right by one.
    m_wrapPending = false;
    if (m_col != m_left) {
        if (m_col > 0)
            --m_col;
        return;
    }
    if (m_row < m_top || m_row > m_bottom)
        return;
    const int width = m_right - m_left + 1;
    grid().moveRect(m_top, m_left + 1, m_top, m_left, m_bottom - m_top + 1, width - 1);
    grid().fillRect(m_top, m_left, m_bottom + 1, m_left + 1, eraseCell());
    mark(m_top, m_bottom);
}

void VtEmulation::doForwardIndex(const VtSequence &, int)
{
    // DECFI: at the right margin the columns within the margins move left by one.
    m_wrapPending = false;
    if (m_col != m_right) {
        if (m_col < cols() - 1)
            ++m_col;
        return;
    }
    if (m_row < m_top || m_row > m_bottom)
        return;
    const int width = m_right - m_left + 1;
    grid().moveRect(m_top, m_left, m_top, m_left + 1, m_bottom - m_top + 1, width - 1);
    grid().fillRect(m_top, m_right, m_bottom + 1, m_right + 1, eraseCell());
    mark(m_top, m_bottom);
}

// --- Cursor movement ----------------------------------------------------------------------------

void VtEmulation::doCursorUp(const VtSequence &seq, int)
{
    const int top = m_row >= m_top ? m_top : 0;
    moveTo(std::max(top, m_row - seq.arg(0)), m_col);
}

void VtEmulation::doCursorDown(const VtSequence &seq, int)
{
    const int bottom = m_row <= m_bottom ? m_bottom : rows() - 1;
    moveTo(std::min(bottom, m_row + seq.arg(0)), m_col);
}

void VtEmulation::doCursorRight(const VtSequence &seq, int)
{
    const int right = m_col <= m_right ? m_right : cols() - 1;
    moveTo(m_row, std::min(right, m_col + seq.arg(0)));
}

void VtEmulation::doCursorLeft(const VtSequence &seq, int)
{
    const int left = m_col >= m_left ? m_left : 0;
    moveTo(m_row, std::max(left, m_col - seq.arg(0)));
}

void VtEmulation::doNextLines(const VtSequence &seq, int down)
{
    if (down)
        doCursorDown(seq, 0);
    else
        doCursorUp(seq, 0);
    m_col = insideColumns() || m_col < m_left ? m_left : 0;
}

void VtEmulation::doColumn(const VtSequence &seq, int)
{
    const int col = seq.arg(0) - 1;
    moveTo(m_row, m_origin ? std::clamp(col + m_left, m_left, m_right) : col);
}

void VtEmulation::doColumnRelative(const VtSequence &seq, int)
{
    moveTo(m_row, m_col + seq.arg(0));
}

void VtEmulation::doPosition(const VtSequence &seq, int)
{
    moveToOrigin(seq.arg(0) - 1, seq.arg(1) - 1);
}

void VtEmulation::doRow(const VtSequence &seq, int)
{
    const int row = seq.arg(0) - 1;
    moveTo(m_origin ? std::clamp(row + m_top, m_top, m_bottom) : row, m_col);
}

void VtEmulation::doRowRelative(const VtSequence &seq, int)
{
    moveTo(m_row + seq.arg(0), m_col);
}

void VtEmulation::doTab(const VtSequence &seq, int forward)
{
    m_wrapPending = false;
    const int tabs = int(m_tabs.size());
    for (int n = std::min(seq.arg(0), cols()); n > 0; --n) {
        if (forward) {
            const int last = std::min(m_col <= m_right ? m_right : cols() - 1, lineEnd(m_row) - 1);
            int c = m_col + 1;
            while (c < last && !(c < tabs && m_tabs[size_t(c)]))
                ++c;
            m_col = std::min(c, last);
        } else {
            const int first = m_col >= m_left ? m_left : 0;
            int c = m_col - 1;
            while (c > first && !(c < tabs && m_tabs[size_t(c)]))
                --c;
            m_col = std::max(c, first);
        }
    }
}

void VtEmulation::doTabClear(const VtSequence &seq, int)
{
    const int mode = std::max(0, seq.raw(0));
    if (mode == 0 && m_col < int(m_tabs.size()))
        m_tabs[size_t(m_col)] = false;
    else if (mode == 3)
        std::fill(m_tabs.begin(), m_tabs.end(), false);
}

// --- Editing ------------------------------------------------------------------------------------

void VtEmulation::doEraseDisplay(const VtSequence &seq, int selective)
{
    eraseDisplay(std::max(0, seq.raw(0)), selective != 0);
}

void VtEmulation::doEraseLine(const VtSequence &seq, int selective)
{
    eraseLine(std::max(0, seq.raw(0)), selective != 0);
}

void VtEmulation::doEraseChars(const VtSequence &seq, int)
{
    eraseCells(m_row, m_col, m_col + seq.arg(0), false);
}

void VtEmulation::doInsertChars(const VtSequence &seq, int)
{
    if (!insideColumns())
        return;
    m_wrapPending = false;
    const int end = m_right + 1;
    const int n = std::min(seq.arg(0), end - m_col);
    grid().moveRect(m_row, m_col + n, m_row, m_col, 1, end - m_col - n);
    const Cell blank = blankFor(m_row);
    std::fill_n(grid().row(m_row) + m_col, n, blank);
    mark(m_row, m_row);
}

void VtEmulation::doDeleteChars(const VtSequence &seq, int)
{
    if (!insideColumns())
        return;
    m_wrapPending = false;
    const int end = m_right + 1;
    const int n = std::min(seq.arg(0), end - m_col);
    grid().moveRect(m_row, m_col, m_row, m_col + n, 1, end - m_col - n);
    const Cell blank = blankFor(m_row);
    std::fill_n(grid().row(m_row) + end - n, n, blank);
    mark(m_row, m_row);
}

void VtEmulation::doColumns(const VtSequence &seq, int insert)
{
    // DECIC and DECDC: the columns from the cursor's to the right margin, between the top and
    // bottom margins, move right (blank columns come in at the cursor) or left (at the margin).
    if (m_row < m_top || m_row > m_bottom || !insideColumns())
        return;
    const int end = m_right + 1;
    const int n = std::min(seq.arg(0), end - m_col);
    const int height = m_bottom - m_top + 1;
    if (insert) {
        grid().moveRect(m_top, m_col + n, m_top, m_col, height, end - m_col - n);
        grid().fillRect(m_top, m_col, m_bottom + 1, m_col + n, eraseCell());
    } else {
        grid().moveRect(m_top, m_col, m_top, m_col + n, height, end - m_col - n);
        grid().fillRect(m_top, end - n, m_bottom + 1, end, eraseCell());
    }
    mark(m_top, m_bottom);
}

void VtEmulation::doInsertLines(const VtSequence &seq, int)
{
    if (m_row < m_top || m_row > m_bottom || !insideColumns())
        return;
    scrollDown(m_row, m_bottom, seq.arg(0));
    m_col = m_left;
    m_wrapPending = false;
}

void VtEmulation::doDeleteLines(const VtSequence &seq, int)
{
    if (m_row < m_top || m_row > m_bottom || !insideColumns())
        return;
    // Deleted lines are gone: none of them goes to the history.
    const int n = std::min(seq.arg(0), m_bottom - m_row + 1);
    if (fullWidth()) {
        grid().scroll(m_row, m_bottom + 1, n, eraseCell());
    } else {
        const int width = m_right - m_left + 1;
        grid().moveRect(m_row, m_left, m_row + n, m_left, m_bottom - m_row + 1 - n, width);
        grid().fillRect(m_bottom - n + 1, m_left, m_bottom + 1, m_right + 1, eraseCell());
    }
    mark(m_row, m_bottom);
    m_col = m_left;
    m_wrapPending = false;
}

void VtEmulation::doScroll(const VtSequence &seq, int up)
{
    // SD with more than one parameter is a mouse report of another terminal: not ours.
    if (!up && seq.count > 1)
        return;
    if (up)
        scrollUp(m_top, m_bottom, seq.arg(0));
    else
        scrollDown(m_top, m_bottom, seq.arg(0));
}

void VtEmulation::doRepeat(const VtSequence &seq, int)
{
    // REP: the last character written again; nothing before any. A narrow character overwriting
    // comes out as the whole count would; otherwise at most a screenful is written.
    if (m_lastChar == 0)
        return;
    if (!m_insert && charWidth(m_lastChar) == 1) {
        putRun(m_lastChar, seq.arg(0));
        return;
    }
    const int n = std::min(seq.arg(0), rows() * cols());
    for (int i = 0; i < n; ++i)
        putChar(m_lastChar);
}

void VtEmulation::putRun(char32_t ch, int n)
{
    // Once wraps have left the cursor on its row a screenful of times (the region scrolls, or the
    // cursor is on the last row), every further line comes out alike: only the last one's length
    // matters, and the lines between are not written.
    int stayed = 0;
    while (n > 0) {
        const int rowBefore = m_row;
        const bool wraps = m_wrapPending && m_autoWrap;
        wrapIfPending();
        const int end = rightEdge();
        if (m_col >= end)
            m_col = end - 1;
        const int room = end - m_col;
        if (wraps && m_row == rowBefore && ++stayed >= rows() && n > room)
            n = (n - 1) % room + 1;
        const int chunk = std::min(n, room);
        grid().putRun(m_row, m_col, ch, chunk, look());
        mark(m_row, m_row);
        n -= chunk;
        if (m_col + chunk < end) {
            m_col += chunk;
            continue;
        }
        m_col = end - 1;
        if (m_autoWrap)
            m_wrapPending = true;
        else
            n = 0; // the last column keeps the character
    }
}

// --- Rendition and modes ------------------------------------------------------------------------

void VtEmulation::doRendition(const VtSequence &seq, int)
{
    auto setColor = [this](bool foreground, int index) {
        const quint8 defaultFlag = foreground ? AttrDefaultFg : AttrDefaultBg;
        quint8 &color = foreground ? m_pen.fg : m_pen.bg;
        if (index < 0) {
            m_pen.attr |= defaultFlag;
            color = foreground ? Cell().fg : Cell().bg;
        } else {
            m_pen.attr &= quint8(~defaultFlag);
            color = quint8(std::clamp(index, 0, 255));
        }
    };
    const int count = std::min(std::max(1, seq.count), int(VtSequence::MaxParams));
    for (int i = 0; i < count; ++i) {
        if (seq.isSub(i))
            continue; // a sub-parameter of an attribute that has none
        const int p = std::max(0, seq.raw(i));
        switch (p) {
        case 0:
            m_pen.attr = Cell().attr;
            m_pen.fg = Cell().fg;
            m_pen.bg = Cell().bg;
            m_pen.flags &= CellProtected;
            if (m_dialect.scoCursor)
                m_font = 0;
            break;
        case 1:
            setFlag(m_pen.attr, AttrBold, true);
            break;
        case 2:
            setFlag(m_pen.flags, CellDim, true);
            break;
        case 3:
            setFlag(m_pen.attr, AttrItalic, true);
            break;
        case 4:
            // 4:0 ends underlining, 4:n underlines in a style.
            setFlag(m_pen.attr, AttrUnderline, !(seq.isSub(i + 1) && seq.raw(i + 1) == 0));
            break;
        case 5:
        case 6:
            setFlag(m_pen.attr, AttrBlink, true);
            break;
        case 7:
            setFlag(m_pen.attr, AttrReverse, true);
            break;
        case 8:
            setFlag(m_pen.flags, CellConcealed, true);
            break;
        case 9:
            setFlag(m_pen.attr, AttrStrike, true);
            break;
        case 10:
        case 11:
        case 12:
            if (m_dialect.scoCursor)
                m_font = p == 10 ? 0 : p;
            break;
        case 21:
            setFlag(m_pen.attr, AttrUnderline, true);
            break;
        case 22:
            setFlag(m_pen.attr, AttrBold, false);
            setFlag(m_pen.flags, CellDim, false);
            break;
        case 23:
            setFlag(m_pen.attr, AttrItalic, false);
            break;
        case 24:
            setFlag(m_pen.attr, AttrUnderline, false);
            break;
        case 25:
            setFlag(m_pen.attr, AttrBlink, false);
            break;
        case 27:
            setFlag(m_pen.attr, AttrReverse, false);
            break;
        case 28:
            setFlag(m_pen.flags, CellConcealed, false);
            break;
        case 29:
            setFlag(m_pen.attr, AttrStrike, false);
            break;
        case 39:
            setColor(true, -1);
            break;
        case 49:
            setColor(false, -1);
            break;
        case 38:
        case 48: {
            // Extended colours: 5;n (an index) or 2;r;g;b, as parameters or sub-parameters.
            int values[6] = {};
            int n = 0;
            const bool colon = seq.isSub(i + 1);
            int j = i + 1;
            if (colon) {
                for (; j < count && seq.isSub(j) && n < 6; ++j)
                    values[n++] = std::max(0, seq.raw(j));
            } else {
                const int want = seq.raw(j) == 5 ? 2 : seq.raw(j) == 2 ? 4 : 1;
                for (; j < count && n < want; ++j)
                    values[n++] = std::max(0, seq.raw(j));
            }
            i = j - 1;
            if (n >= 2 && values[0] == 5) {
                setColor(p == 38, values[1]);
            } else if (values[0] == 2 && n >= 4) {
                // With sub-parameters a colour space may come before the components.
                const int *rgb = colon && n >= 5 ? values + 2 : values + 1;
                setColor(p == 38, cubeIndex(rgb[0], rgb[1], rgb[2]));
            }
            break;
        }
        default:
            if (p >= 30 && p <= 37)
                setColor(true, p - 30);
            else if (p >= 40 && p <= 47)
                setColor(false, p - 40);
            else if (p >= 90 && p <= 97)
                setColor(true, p - 90 + 8);
            else if (p >= 100 && p <= 107)
                setColor(false, p - 100 + 8);
            break;
        }
    }
}

void VtEmulation::doMode(const VtSequence &seq, int set)
{
    for (int i = 0; i < std::min(seq.count, int(VtSequence::MaxParams)); ++i) {
        switch (seq.raw(i)) {
        case 4:
            m_insert = set != 0;
            break;
        case 20:
            m_newLine = set != 0;
            break;
        default:
            break;
        }
    }
}

void VtEmulation::doPrivateMode(const VtSequence &seq, int set)
{
    const bool on = set != 0;
    for (int i = 0; i < std::min(seq.count, int(VtSequence::MaxParams)); ++i) {
        switch (seq.raw(i)) {
        case 1:
            m_appCursor = on;
            break;
        case 2: // DECANM: reset, VT52 mode
            if ((m_typeBit & Dec) && !on)
                setVt52(true);
            break;
        case 42: // DECNRCM: the national sets
            if (m_typeBit & Dec2)
                m_national = on;
            break;
        case 3:
            // DECCOLM: 132 or 80 columns, the screen cleared, margins reset, the cursor home.
            if (m_typeBit & Dec) {
                m_wideColumns = on;
                m_sideMargins = false;
                resetMargins();
                eraseRows(0, rows(), false);
                moveTo(0, 0);
                flush();
                m_sink->columnModeRequested(on);
            }
            break;
        case 5:
            if ((m_typeBit & (Dec | LX)) && m_reverseScreen != on) {
                m_reverseScreen = on;
                markAll();
            }
            break;
        case 6:
            m_origin = on;
            homeCursor();
            break;
        case 7:
            m_autoWrap = on;
            if (!on)
                m_wrapPending = false;
            break;
        case 25:
            m_cursorVisible = on;
            break;
        case 47:
        case 1047:
            setAltScreen(on, false);
            break;
        case 1048:
            if (on)
                saveCursor();
            else
                restoreCursor();
            break;
        case 1049:
            setAltScreen(on, true);
            break;
        case 66:
            if (m_typeBit & Dec2)
                m_appKeypad = on;
            break;
        case 69:
            if (m_typeBit & V4) {
                m_sideMargins = on;
                if (!on) {
                    m_left = 0;
                    m_right = cols() - 1;
                }
            }
            break;
        default:
            break;
        }
    }
}

int VtEmulation::modeValue(int mode, bool isPrivate) const
{
    auto value = [](bool on) { return on ? ModeSet : ModeReset; };
    for (const FixedMode &fixed : fixedModes) {
        if (fixed.mode == mode && fixed.isPrivate == isPrivate)
            return (m_typeBit & fixed.types) ? fixed.answer : ModeUnknown;
    }
    if (!isPrivate) {
        switch (mode) {
        case 4:
            return value(m_insert);
        case 20:
            return value(m_newLine);
        default:
            return ModeUnknown;
        }
    }
    switch (mode) {
    case 1:
        return value(m_appCursor);
    case 3:
        return value(m_wideColumns);
    case 5:
        return value(m_reverseScreen);
    case 6:
        return value(m_origin);
    case 7:
        return value(m_autoWrap);
    case 25:
        return value(m_cursorVisible);
    case 47:
    case 1047:
    case 1049:
        return value(m_altActive);
    case 66:
        return value(m_appKeypad);
    case 69:
        return (m_typeBit & V4) ? value(m_sideMargins) : ModeUnknown;
    default:
        return ModeUnknown;
    }
}

void VtEmulation::doRequestMode(const VtSequence &seq, int isPrivate)
{
    const int mode = std::max(0, seq.raw(0));
    reply((isPrivate ? "?" : "") + QByteArray::number(mode) + ';'
        + QByteArray::number(modeValue(mode, isPrivate != 0)) + "$y");
}

void VtEmulation::doMargins(const VtSequence &seq, int)
{
    const int top = seq.arg(0) - 1;
    const int bottom = std::min(seq.arg(1, rows()), rows()) - 1;
    // A region of one line (or none) is refused, as the VT100 does.
    if (top >= bottom)
        return;
    m_top = top;
    m_bottom = bottom;
    homeCursor();
}

void VtEmulation::doSideMargins(const VtSequence &seq, int)
{
    if (!m_sideMargins)
        return;
    const int left = seq.arg(0) - 1;
    const int right = std::min(seq.arg(1, cols()), cols()) - 1;
    if (left >= right)
        return;
    m_left = left;
    m_right = right;
    homeCursor();
}

void VtEmulation::doProtection(const VtSequence &seq, int)
{
    // DECSCA: 1 protects the characters that follow from selective erase; 0 and 2 do not.
    setFlag(m_pen.flags, CellProtected, seq.raw(0) == 1);
}

void VtEmulation::doCursorStyle(const VtSequence &seq, int)
{
    // DECSCUSR: the cursor shows in the session's style; the host's choice is kept for DECRQSS.
    const int style = std::max(0, seq.raw(0));
    if (style <= 6)
        m_cursorStyle = std::max(1, style);
}

void VtEmulation::doSoftReset(const VtSequence &, int)
{
    softReset();
}

void VtEmulation::doConformance(const VtSequence &seq, int)
{
    // DECSCL: 61 a VT100, 62 and above the type's own level; 8-bit controls unless Ps2 is 1.
    const int level = seq.raw(0);
    if (level < 61 || level > 65)
        return;
    softReset();
    m_controls8 = level > 61 && seq.raw(1) != 1;
}

void VtEmulation::doScoSave(const VtSequence &, int)
{
    saveCursor();
}

void VtEmulation::doScoRestore(const VtSequence &, int)
{
    restoreCursor();
}

void VtEmulation::doScoCursorShape(const VtSequence &seq, int)
{
    // CSI = start ; end C: a start line below the end line hides the cursor.
    if (seq.count >= 2)
        m_cursorVisible = !(std::max(0, seq.raw(0)) > std::max(0, seq.raw(1)));
}

void VtEmulation::doPage(const VtSequence &seq, int kind)
{
    if (pageCount() <= 1)
        return;
    const int n = seq.arg(0);
    const int last = pageCount() - 1;
    switch (kind) {
    case NextPage:
    case PrevPage:
        // NP and PP: n pages on or back, to the home position.
        setPage(std::clamp(m_page + (kind == NextPage ? n : -n), 0, last));
        homeCursor();
        break;
    case PageAbsolute:
        setPage(std::clamp(n - 1, 0, last)); // pages count from 1
        break;
    default:
        setPage(std::clamp(m_page + (kind == PageForward ? n : -n), 0, last));
        break;
    }
}

// --- Reports ------------------------------------------------------------------------------------

QByteArray VtEmulation::c1(char control) const
{
    if (!m_controls8)
        return QByteArray("\x1b") + control;
    const char32_t code = char32_t(uchar(control) + 0x40);
    if (m_dialect.encoding == HostEncoding::SingleByte || !m_c1Utf8)
        return QByteArray(1, char(code));
    char bytes[4];
    return QByteArray(bytes, appendUtf8(bytes, code) - bytes);
}

void VtEmulation::reply(const QByteArray &csiBody)
{
    m_sink->answer(c1('[') + csiBody);
}

void VtEmulation::doAttributes(const VtSequence &seq, int)
{
    if (seq.raw(0) > 0)
        return;
    // The type and its features: 1 132 columns, 2 printer, 6 selective erase, 8 programmable
    // keys, 9 national replacement character sets, 21 horizontal scrolling, 28 rectangle
    // operations.
    switch (m_dialect.keyboard) {
    case VtKeyboard::Vt220:
        reply("?62;1;2;6;8;9c");
        break;
    case VtKeyboard::Vt320:
        reply("?63;1;2;6;8;9c");
        break;
    case VtKeyboard::Vt420:
        reply("?64;1;2;6;8;9;21;28c");
        break;
    case VtKeyboard::Linux:
        reply("?6c");
        break;
    default:
        reply("?1;2c");
        break;
    }
}

void VtEmulation::doSecondaryAttributes(const VtSequence &seq, int)
{
    if (seq.raw(0) > 0)
        return;
    // The model's number, the firmware's version, the keyboard's options.
    const char *model = m_dialect.keyboard == VtKeyboard::Vt420 ? "41"
        : m_dialect.keyboard == VtKeyboard::Vt320               ? "24"
                                                                : "1";
    reply(QByteArray(">") + model + ";10;0c");
}

void VtEmulation::doStatusReport(const VtSequence &seq, int)
{
    switch (seq.raw(0)) {
    case 5:
        reply("0n");
        break;
    case 6: {
        // In origin mode the position is counted from the margins.
        const int row = m_row + 1 - (m_origin ? m_top : 0);
        const int col = m_col + 1 - (m_origin ? m_left : 0);
        reply(QByteArray::number(row) + ';' + QByteArray::number(col) + 'R');
        break;
    }
    default:
        break;
    }
}

void VtEmulation::doPrivateStatusReport(const VtSequence &seq, int)
{
    switch (seq.raw(0)) {
    case 6:
        if (m_typeBit & V4) {
            const int row = m_row + 1 - (m_origin ? m_top : 0);
            const int col = m_col + 1 - (m_origin ? m_left : 0);
            reply('?' + QByteArray::number(row) + ';' + QByteArray::number(col) + ';'
                + QByteArray::number(m_page + 1) + 'R');
        }
        break;
    case 15: // the printer: ready, or none
        reply(m_printer ? "?10n" : "?13n");
        break;
    case 25: // the programmable keys: unlocked, locked
        reply(m_lockFunctionKeys || m_userKeysLocked ? "?21n" : "?20n");
        break;
    case 26: // the keyboard: North American (and on the VT420 ready, an LK401)
        reply(m_dialect.keyboard == VtKeyboard::Vt420 ? "?27;1;0;0n" : "?27;1n");
        break;
    default:
        break;
    }
}

void VtEmulation::doTerminalParameters(const VtSequence &seq, int)
{
    // DECREQTPARM: no parity, 8 bits, 38400 baud both ways, clock 1, no flags.
    const int request = std::max(0, seq.raw(0));
    if (request <= 1)
        reply(QByteArray::number(request + 2) + ";1;1;128;128;1;0x");
}

void VtEmulation::doMediaCopy(const VtSequence &seq, int)
{
    // "Print screen" (no parameter or 0). The print controller (4 and 5) is taken out of the
    // stream before it reaches the terminal.
    if (seq.raw(0) <= 0)
        m_sink->printScreenRequested();
}

QByteArray VtEmulation::renditionString() const
{
    QByteArray s = "0";
    auto add = [&s](int n) { s += ';' + QByteArray::number(n); };
    if (m_pen.attr & AttrBold)
        add(1);
    if (m_pen.flags & CellDim)
        add(2);
    if (m_pen.attr & AttrItalic)
        add(3);
    if (m_pen.attr & AttrUnderline)
        add(4);
    if (m_pen.attr & AttrBlink)
        add(5);
    if (m_pen.attr & AttrReverse)
        add(7);
    if (m_pen.flags & CellConcealed)
        add(8);
    if (m_pen.attr & AttrStrike)
        add(9);
    auto color = [&](bool fg) {
        if (m_pen.attr & (fg ? AttrDefaultFg : AttrDefaultBg))
            return;
        const int c = fg ? m_pen.fg : m_pen.bg;
        if (c < 8)
            add((fg ? 30 : 40) + c);
        else if (c < 16)
            add((fg ? 90 : 100) + c - 8);
        else
            s += (fg ? ";38;5;" : ";48;5;") + QByteArray::number(c);
    };
    color(true);
    color(false);
    return s;
}

void VtEmulation::requestStatusString()
{
    const QByteArray what(m_dcsText.data(), qsizetype(m_dcsText.size()));
    QByteArray answer;
    if (what == "m")
        answer = renditionString() + 'm';
    else if (what == "r")
        answer = QByteArray::number(m_top + 1) + ';' + QByteArray::number(m_bottom + 1) + 'r';
    else if (what == "s" && (m_typeBit & V4))
        answer = QByteArray::number(m_left + 1) + ';' + QByteArray::number(m_right + 1) + 's';
    else if (what == "\"q")
        answer = (m_pen.flags & CellProtected) ? "1\"q" : "0\"q";
    else if (what == "\"p")
        answer = (m_dialect.keyboard == VtKeyboard::Vt420 ? "64" : "63")
            + QByteArray(m_controls8 ? ";0" : ";1") + "\"p";
    else if (what == " q")
        answer = QByteArray::number(m_cursorStyle) + " q";
    else if (what == "*x" && (m_typeBit & V4))
        answer = m_rectExtent ? "2*x" : "1*x";
    else if (what == "$}" && (m_typeBit & Dec3))
        answer = m_statusActive ? "1$}" : "0$}";
    else if (what == "$~" && (m_typeBit & Dec3))
        answer = QByteArray::number(int(m_statusType)) + "$~";
    else if (what == "t" && (m_typeBit & V4))
        answer = QByteArray::number(rows()) + 't';
    else if (what == "$|" && (m_typeBit & V4))
        answer = QByteArray::number(cols()) + "$|";
    else if (what == "*|" && (m_typeBit & V4))
        answer = QByteArray::number(rows()) + "*|";
    const QByteArray dcs = c1('P');
    const QByteArray st = c1('\\');
    m_sink->answer(dcs + (answer.isEmpty() ? "0$r" : "1$r" + answer) + st);
}

// --- The VT420's rectangles ---------------------------------------------------------------------

bool VtEmulation::rectOf(const VtSequence &seq, int first, Rect *rect) const
{
    // Top, left, bottom, right from 1; bottom and right default to the last row and column. In
    // origin mode they count from the margins and stay within them.
    int top = seq.arg(first) - 1;
    int left = seq.arg(first + 1) - 1;
    int bottom = seq.arg(first + 2, m_origin ? m_bottom - m_top + 1 : rows()) - 1;
    int right = seq.arg(first + 3, m_origin ? m_right - m_left + 1 : cols()) - 1;
    const int minRow = m_origin ? m_top : 0;
    const int maxRow = m_origin ? m_bottom : rows() - 1;
    const int minCol = m_origin ? m_left : 0;
    const int maxCol = m_origin ? m_right : cols() - 1;
    if (m_origin) {
        top += m_top;
        bottom += m_top;
        left += m_left;
        right += m_left;
    }
    rect->top = std::clamp(top, minRow, maxRow);
    rect->bottom = std::clamp(bottom, minRow, maxRow);
    rect->left = std::clamp(left, minCol, maxCol);
    rect->right = std::clamp(right, minCol, maxCol);
    return top <= maxRow && left <= maxCol && rect->top <= rect->bottom
        && rect->left <= rect->right;
}

void VtEmulation::doCopyRect(const VtSequence &seq, int)
{
    // DECCRA: source top, left, bottom, right, page; destination top, left, page. Pages other
    // than the one shown are not copied from or to.
    Rect src;
    if (!rectOf(seq, 0, &src))
        return;
    const int srcPage = seq.arg(4) - 1;
    const int destPage = seq.arg(7) - 1;
    if ((srcPage != m_page && srcPage < pageCount()) || (destPage != m_page && destPage < pageCount()))
        return;
    const int maxRow = m_origin ? m_bottom : rows() - 1;
    const int maxCol = m_origin ? m_right : cols() - 1;
    const int destTop = seq.arg(5) - 1 + (m_origin ? m_top : 0);
    const int destLeft = seq.arg(6) - 1 + (m_origin ? m_left : 0);
    if (destTop > maxRow || destLeft > maxCol)
        return;
    const int height = std::min(src.bottom - src.top + 1, maxRow - destTop + 1);
    const int width = std::min(src.right - src.left + 1, maxCol - destLeft + 1);
    grid().moveRect(destTop, destLeft, src.top, src.left, height, width);
    mark(destTop, destTop + height - 1);
}

void VtEmulation::doEraseRect(const VtSequence &seq, int selective)
{
    // DECERA erases every character of the rectangle, DECSERA the unprotected ones.
    Rect r;
    if (!rectOf(seq, 0, &r))
        return;
    for (int row = r.top; row <= r.bottom; ++row) {
        Cell *line = grid().row(row);
        const Cell blank = blankFor(row);
        for (int c = r.left; c <= r.right; ++c) {
            if (!selective || !(line[c].flags & CellProtected))
                line[c] = blank;
        }
    }
    mark(r.top, r.bottom);
}

void VtEmulation::doFillRect(const VtSequence &seq, int)
{
    // DECFRA: the character (a printable one of GL or GR) in the rectangle, with the pen.
    const int ch = seq.raw(0);
    if (!((ch >= 32 && ch <= 126) || (ch >= 160 && ch <= 255)))
        return;
    Rect r;
    if (!rectOf(seq, 1, &r))
        return;
    Cell cell = m_pen;
    cell.ch = char32_t(ch);
    for (int row = r.top; row <= r.bottom; ++row) {
        Cell *line = grid().row(row);
        cell.flags = quint8((m_pen.flags & (CellDim | CellConcealed | CellProtected))
            | (line[0].flags & LineSizeMask));
        std::fill(line + r.left, line + r.right + 1, cell);
    }
    mark(r.top, r.bottom);
}

void VtEmulation::changeAttributes(Cell &cell, const VtSequence &seq, bool reverse) const
{
    // DECCARA sets and resets, DECRARA turns over: bold, underline, blink, reverse (0 all).
    const int count = std::min(std::max(5, seq.count), int(VtSequence::MaxParams));
    for (int i = 4; i < count; ++i) {
        const int p = std::max(0, seq.raw(i));
        quint8 flag = 0;
        bool on = true;
        switch (p) {
        case 0:
            flag = AttrBold | AttrUnderline | AttrBlink | AttrReverse;
            on = false;
            break;
        case 1:
        case 4:
        case 5:
        case 7:
            flag = p == 1 ? AttrBold : p == 4 ? AttrUnderline : p == 5 ? AttrBlink : AttrReverse;
            break;
        case 22:
        case 24:
        case 25:
        case 27:
            if (reverse)
                continue;
            flag = p == 22 ? AttrBold : p == 24 ? AttrUnderline : p == 25 ? AttrBlink : AttrReverse;
            on = false;
            break;
        default:
            continue;
        }
        if (reverse)
            cell.attr ^= flag;
        else
            setFlag(cell.attr, flag, on);
    }
}

void VtEmulation::doChangeAttributesRect(const VtSequence &seq, int reverse)
{
    Rect r;
    if (!rectOf(seq, 0, &r))
        return;
    for (int row = r.top; row <= r.bottom; ++row) {
        // As a stream (DECSACE 0, 1) the first and last lines run from and to the corners.
        int from = r.left;
        int to = r.right;
        if (!m_rectExtent) {
            const int minCol = m_origin ? m_left : 0;
            const int maxCol = m_origin ? m_right : cols() - 1;
            from = row == r.top ? r.left : minCol;
            to = row == r.bottom ? r.right : maxCol;
        }
        Cell *line = grid().row(row);
        for (int c = from; c <= to; ++c)
            changeAttributes(line[c], seq, reverse != 0);
    }
    mark(r.top, r.bottom);
}

void VtEmulation::doAttributeExtent(const VtSequence &seq, int)
{
    m_rectExtent = seq.raw(0) == 2;
}

// --- The status line (VT320, VT420) ---------------------------------------------------------

bool VtEmulation::statusLineKept() const
{
    return m_dialect.keyboard == VtKeyboard::Vt320 || m_dialect.keyboard == VtKeyboard::Vt420;
}

void VtEmulation::doStatusType(const VtSequence &seq, int)
{
    setStatusType(std::max(0, seq.raw(0)));
}

void VtEmulation::doStatusDisplay(const VtSequence &seq, int)
{
    const int display = std::max(0, seq.raw(0));
    if (display == 0 || display == 1)
        m_statusActive = display == 1 && m_statusType == StatusType::Host;
}

bool VtEmulation::statusSequence(const VtSequence &seq)
{
    if (seq.leader != 0)
        return false;
    if (seq.intermediate() == '$' && seq.final == '~') {
        doStatusType(seq, 0);
        return true;
    }
    if (seq.intermediate() == '$' && seq.final == '}') {
        doStatusDisplay(seq, 0);
        return true;
    }
    if (seq.interCount != 0)
        return false;
    if (seq.final == '`') { // HPA
        m_statusCol = std::clamp(seq.arg(0) - 1, 0, cols() - 1);
        return true;
    }
    if (seq.final == 'K') {
        eraseStatus(std::max(0, seq.raw(0)));
        return true;
    }
    return false;
}

void VtEmulation::setStatusType(int type)
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

void VtEmulation::putStatus(char32_t ch)
{
    if (ch < 0x20 || ch == 0x7F)
        return;
    // The last column is written over, as without automatic wrap.
    const int col = std::min(m_statusCol, cols() - 1);
    if (m_status.size() <= size_t(col))
        m_status.resize(size_t(col) + 1, U' ');
    m_status[size_t(col)] = ch;
    m_statusCol = std::min(col + 1, cols() - 1);
    m_sink->statusLineChanged();
}

void VtEmulation::eraseStatus(int mode)
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

QString VtEmulation::statusLine() const
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

bool VtEmulation::userKeysKept() const
{
    return m_dialect.keyboard == VtKeyboard::Vt220 || statusLineKept();
}

void VtEmulation::programUserKeys(int clear, int lock, const std::string &keys)
{
    if (m_lockFunctionKeys || m_userKeysLocked) {
        qCDebug(lcEmulator) << "function keys are locked: the host's key definitions are not taken";
        return;
    }
    // Pc: 0 (or none) forgets every key first, 1 only the keys given. Pl: 0 (or none) locks.
    if (clear != 1)
        m_userKeys.clear();
    const QByteArray all(keys.data(), qsizetype(keys.size()));
    for (const QByteArray &definition : all.split(';')) {
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
    m_userKeysLocked = lock != 1;
}

// --- Keys ---------------------------------------------------------------------------------------

bool VtEmulation::ownKey(int qtKey, Qt::KeyboardModifiers mods, QByteArray *out) const
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

QByteArray VtEmulation::key(int qtKey, Qt::KeyboardModifiers mods, const QString &text)
{
    const QByteArray ansi = ansiKey(qtKey, mods, text);
    return m_vt52 ? vt52Key(ansi) : ansi;
}

QByteArray VtEmulation::ansiKey(int qtKey, Qt::KeyboardModifiers mods, const QString &text)
{
    QByteArray out;
    if (ownKey(qtKey, mods, &out))
        return out;
    const int mod = modifierBits(mods);
    const bool alt = mods & Qt::AltModifier;
    if ((mods & Qt::ControlModifier) && !(mods & Qt::KeypadModifier)) {
        // Control characters as the key makes them: Ctrl+I is TAB, Ctrl+M CR.
        const int code = controlCodeOfKey(qtKey);
        if (code >= 0)
            return (alt ? QByteArray("\x1b") : QByteArray()) + char(code);
    }
    const QByteArray csi = c1('[');
    const QByteArray ss3 = c1('O');
    auto send = [&](const KeyCode &k, int m) -> QByteArray {
        const QByteArray number = QByteArray::number(m + 1);
        KeyKind kind = k.kind;
        char literal = k.literal;
        if (kind == KeyKind::CsiCursor)
            kind = m_appCursor ? KeyKind::Ss3 : KeyKind::Csi;
        if (kind == KeyKind::Keypad) {
            if (m_appKeypad)
                return ss3 + char(k.number);
            kind = KeyKind::Literal;
        }
        if (kind == KeyKind::Tab) {
            if (m == ModShift)
                return csi + 'Z';
            if (m & ModShift)
                return csi + "1;" + number + 'Z';
            kind = KeyKind::Literal;
        }
        if (kind == KeyKind::Enter) {
            if (m_newLine)
                return "\r\n";
            kind = KeyKind::Literal;
        }
        switch (kind) {
        case KeyKind::Literal:
            if (m & (ModShift | ModCtrl))
                return csi + QByteArray::number(int(uchar(literal))) + ';' + number + 'u';
            return (m & ModAlt) ? QByteArray("\x1b") + literal : QByteArray(1, literal);
        case KeyKind::Ss3:
            if (m == 0)
                return ss3 + literal;
            return csi + "1;" + number + literal;
        case KeyKind::Csi:
            return m == 0 ? csi + literal : csi + "1;" + number + literal;
        case KeyKind::CsiNumber:
            return csi + QByteArray::number(k.number) + (m == 0 ? QByteArray() : ';' + number)
                + literal;
        default:
            return QByteArray();
        }
    };
    if (mods & Qt::KeypadModifier) {
        for (const KeyCode &k : keypadCodes) {
            if (k.qtKey != qtKey)
                continue;
            // Enter in numeric mode is the Return key (CR, CR LF in new-line mode).
            if (k.qtKey == Qt::Key_Enter && !m_appKeypad)
                return send(keyCodes[0], 0);
            return send(k, 0);
        }
    }
    for (const KeyCode &k : keyCodes) {
        if (k.qtKey == qtKey)
            return send(k, qtKey == Qt::Key_Backtab ? mod | ModShift : mod);
    }
    for (const KeyCode &k : functionCodes) {
        if (k.qtKey == qtKey)
            return send(k, mod);
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F35)
        return QByteArray();
    const bool singleByte = m_dialect.encoding == HostEncoding::SingleByte;
    for (const char32_t ch : text.toUcs4()) {
        if (ch < 0x20 || ch == 0x7F) {
            out += char(ch); // a control character the keyboard already made
        } else if (!singleByte || ch <= 0xFF) {
            // In the host's encoding; a single-byte host has no byte for a character beyond
            // Latin-1 (the control refuses such a key before it comes here).
            char bytes[4];
            const char *end = singleByte ? std::fill_n(bytes, 1, char(ch)) : appendUtf8(bytes, ch);
            if (alt)
                out += '\x1b';
            out.append(bytes, end - bytes);
        }
    }
    return out;
}

// --- The screen from outside --------------------------------------------------------------------

void VtEmulation::resize(int rows, int cols)
{
    rows = std::max(1, rows);
    cols = std::max(1, cols);
    const int oldRows = this->rows();
    const int oldCols = this->cols();
    if (rows == oldRows && cols == oldCols)
        return;
    flush();
    // The cursor row stays on screen: rows above it that no longer fit go to the history (from
    // the main screen), rows below it are dropped.
    const int dropTop = std::max(0, m_row - (rows - 1));
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
    // Margins that took the whole screen still do; others are cut to the new size.
    const bool allRows = m_top == 0 && m_bottom == oldRows - 1;
    const bool allCols = m_left == 0 && m_right == oldCols - 1;
    m_bottom = allRows ? rows - 1 : std::min(m_bottom, rows - 1);
    m_right = allCols ? cols - 1 : std::min(m_right, cols - 1);
    if (m_top >= m_bottom) {
        m_top = 0;
        m_bottom = rows - 1;
    }
    if (m_left >= m_right) {
        m_left = 0;
        m_right = cols - 1;
    }
    m_tabs.resize(size_t(cols), false);
    for (int c = oldCols; c < cols; ++c)
        m_tabs[size_t(c)] = c % 8 == 0;
    for (Saved &s : m_saved) {
        s.row = std::clamp(s.row - dropTop, 0, rows - 1);
        s.col = std::min(s.col, cols - 1);
    }
    const bool pending = m_wrapPending && m_col == cols - 1;
    moveTo(m_row - dropTop, m_col);
    m_wrapPending = pending;
    m_sink->rowsChanged(0, rows - 1);
    m_sink->cursorMoved();
}

void VtEmulation::readRow(int row, Cell *out) const
{
    std::copy_n(grid().row(row), cols(), out);
    if (m_reverseScreen) {
        // The reverse screen: dark on light.
        for (Cell *cell = out; cell < out + cols(); ++cell)
            cell->attr ^= AttrReverse;
    }
}

void VtEmulation::setCursor(int row, int col)
{
    moveTo(row, col);
    m_sink->cursorMoved();
}

void VtEmulation::putCells(int row, int col, const Cell *cells, int n)
{
    // Straight into the grid: the terminal's own modes (insert mode, margins, origin) must not
    // bend text put from the API, and the host's cursor and pen stay as they are.
    if (grid().copyIn(row, col, cells, n))
        m_sink->rowsChanged(row, row);
}

void VtEmulation::setPage(int page)
{
    // A full-screen program's alternate screen has no pages: it stays where it is.
    if (page < 0 || page >= pageCount() || page == m_page || m_altActive)
        return;
    showPage(page);
}

void VtEmulation::showPage(int page)
{
    if (page == m_page)
        return;
    flush();
    std::swap(m_main, m_pages[size_t(m_page)]);
    std::swap(m_main, m_pages[size_t(page)]);
    m_page = page;
    m_sink->rowsChanged(0, rows() - 1);
    m_sink->cursorMoved();
}

} // namespace emu
