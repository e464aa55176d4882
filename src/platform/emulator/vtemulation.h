#pragma once
// The VT and ANSI family (VT100, VT220, VT320, VT420, ANSI, SCO and Linux consoles) on our own
// screen model. One parser (vtparser.h) reads the escape syntax of every type; what a sequence
// does comes from per-type tables: each control sequence and escape sequence names the types
// that honour it, so the VT100 ignores what the VT220 and later add (selective erase, 8-bit
// controls, the programmable keys, the VT420's pages, margins and rectangles), and only the
// consoles know the PC's fonts and the SCO console's cursor commands. The editing functions of
// ECMA-48 (ICH, ECH, CHA, VPA, HPA, SU, SD, CBT, REP) are taken on every type: hosts send them
// whatever the type, as the terminals after these did.
//
// The screen: a grid of cells that scrolls by turning a ring (see grid.h), the alternate screen,
// and with more than one page (TerminalOptions::pages, the VT420's) the pages of display memory:
// NP and PP (CSI n U, CSI n V: to the home of the page) and PPA, PPR, PPB (CSI n SP P, Q, R: the
// cursor keeps its place); each page keeps its own text, the page the cursor is on shows. Lines
// of double width and height (ESC # 3, 4, 6) carry their size in their cells' flags and hold
// half as many characters. The reverse screen (DECSCNM) shows every cell in reverse.
//
// Cursor and margins as the DEC manuals have them: a character written in the last column
// leaves the cursor there until the next character (which wraps, with automatic wrap on) or a
// control; origin mode makes positions and reports relative to the scrolling region; a
// scrolling region of one line is refused; DECSC saves the position, the attributes, the
// character sets (G0-G3, which is in use, a single shift under way), origin mode and the wrap
// flag. The VT420's left and right margins (DECLRMM, DECSLRM) bound scrolling, insertion and
// deletion, and its rectangle operations (DECCRA, DECERA, DECSERA, DECFRA, DECCARA, DECRARA,
// with DECSACE's stream or rectangle extent) and DECBI, DECFI work within them.
//
// Reports: device attributes as the type is (the VT220 as a VT220 with its features, and so
// on), the secondary attributes with the model's number, DECREQTPARM on the VT100, the status
// reports of the cursor (origin-relative), the printer, the programmed keys and the keyboard,
// DECRQM and DECRQSS. Answers use 8-bit controls after S8C1T (VT220 and later).
//
// The VT320's and VT420's status line: DECSSDT (CSI n $ ~: 0 none, 1 the terminal's indicator
// line, here an empty line, 2 written by the host) and DECSASD (CSI n $ }): from DECSASD 1 to
// DECSASD 0 the host's text goes to the host-writable status line; printable characters go
// there at the status cursor, HPA (CSI n `) moves that cursor, EL (CSI n K) erases, RIS resets,
// anything else is dropped. The keys the host programs on the VT220, VT320 and VT420 (DECUDK,
// DCS Pc ; Pl | key/hex ; ... ST): Shift+F6 ... Shift+F20 send the decoded bytes as the host gave
// them. Pc 0 forgets the keys programmed before, Pl 0 locks them against later programming; a
// key with a number or text that does not decode keeps what it had. LockFKeys refuses all
// programming; a reset (RIS, or the control's) and a new link forget the keys and unlock them.
//
// The consoles: CSI s and CSI u save and restore the cursor (ANSI, SCO, Linux), SGR 10-12 choose
// the PC's fonts (11: bytes 0x80-0xFF in code page 437; 12: the high bit turned over), the SCO
// console's CSI = start ; end C hides the cursor when start > end, the Linux console's G1 is its
// graphics set (with arrows and a block beyond DEC's) and its palette sequences (ESC ] P nrrggbb,
// ESC ] R) reach the sink.
//
// Host data is decoded on the way (see hostencoding.h): 0x80-0x9F are the C1 controls from a
// single-byte host; from a UTF-8 host the VT220 and later take them as bytes of their own or
// UTF-8 encoded (and their 8-bit answers take the form last read), the others drop them. Plain ASCII text in the ground
// state is written a run at a time without going through the parser.

#include "emulator/emulation.h"
#include "emulator/grid.h"
#include "emulator/vtcharsets.h"
#include "emulator/vtparser.h"

#include <array>
#include <map>
#include <string>
#include <vector>

namespace emu {

class VtEmulation : public Emulation, private VtParserSink
{
public:
    VtEmulation(int rows, int cols, EmulationSink *sink);
    VtEmulation(const VtEmulation &) = delete;
    VtEmulation &operator=(const VtEmulation &) = delete;

    void feed(const char *data, qsizetype len) override;
    void setDialect(const HostDialect &dialect) override;
    int rows() const override { return m_main.rows(); }
    int cols() const override { return m_main.cols(); }
    void resize(int rows, int cols) override;
    void readRow(int row, Cell *out) const override;
    QPoint cursor() const override { return QPoint(m_col, m_row); }
    bool cursorVisible() const override { return m_cursorVisible; }
    void setCursor(int row, int col) override;
    void putCells(int row, int col, const Cell *cells, int n) override;
    void reset() override;
    void newLink() override;
    QByteArray key(int qtKey, Qt::KeyboardModifiers mods, const QString &text) override;
    void setAnswerBack(const QByteArray &text) override { m_answerBack = text; }
    void setOptions(const TerminalOptions &options) override;
    int page() const override { return m_page; }
    int pageCount() const override { return int(m_pages.size()); }
    void setPage(int page) override;
    bool hasStatusLine() const override { return m_statusType != StatusType::None; }
    QString statusLine() const override;

    using Handler = void (VtEmulation::*)(const VtSequence &, int);

private:
    // DECSSDT's status line: none, the terminal's indicator line, or written by the host.
    enum class StatusType { None, Indicator, Host };
    // What a device control string under way is.
    enum class Dcs { None, UserKeys, StatusRequest };

    struct Saved
    {
        bool valid = false;
        int row = 0;
        int col = 0;
        Cell pen;
        std::array<Charset, 4> g {};
        int gl = 0;
        int gr = 2;
        int singleShift = -1;
        bool origin = false;
        bool wrapPending = false;
    };

    // --- The parser's sink ---
    void print(char32_t ch) override;
    void execute(char32_t control) override;
    void escape(const VtSequence &seq) override;
    void controlSequence(const VtSequence &seq) override;
    void dcsStart(const VtSequence &seq) override;
    void dcsPut(char32_t ch) override;
    void dcsEnd(bool complete) override;
    void linuxPalette(int index, quint32 rgb) override;

    void take(char32_t ch);
    bool plainText() const;
    const char *quickControlSequence(const char *p, const char *end);
    void buildTables();

    // --- Writing ---
    char32_t mapped(char32_t ch);
    void putChar(char32_t ch);
    void putAscii(const char *p, int n);
    // n times a character one cell wide, a row's part at a time (as n putChar, outside insert mode).
    void putRun(char32_t ch, int n);
    void wrapIfPending();
    Cell look() const;
    Cell eraseCell() const;
    Cell blankFor(int row) const;

    // --- Cursor and margins ---
    Grid &grid() { return m_altActive ? m_alt : m_main; }
    const Grid &grid() const { return m_altActive ? m_alt : m_main; }
    int lineEnd(int row) const;
    int rightEdge() const;
    bool insideColumns() const { return m_col >= m_left && m_col <= m_right; }
    bool fullWidth() const { return m_left == 0 && m_right == cols() - 1; }
    void moveTo(int row, int col);
    void moveToOrigin(int row, int col);
    void lineFeed();
    void reverseIndex();
    void scrollUp(int top, int bottom, int n);
    void scrollDown(int top, int bottom, int n);
    void resetMargins();
    void homeCursor();
    void saveCursor();
    void restoreCursor();
    void setAltScreen(bool on, bool withCursor);
    // Swaps page `page` (one of m_pages) in as the main screen, the alternate screen or not.
    void showPage(int page);
    void softReset();
    void fullReset();
    void mark(int first, int last) { m_changed.mark(first, last); }
    void markAll() { m_changed.mark(0, rows() - 1); }
    void flush();

    // --- Erasing ---
    void eraseCells(int row, int from, int end, bool selective);
    void eraseRows(int first, int end, bool selective);
    void eraseDisplay(int mode, bool selective);
    void eraseLine(int mode, bool selective);

    // --- Sequences ---
    void doIgnore(const VtSequence &, int) { }
    void doIndex(const VtSequence &, int);
    void doNextLine(const VtSequence &, int);
    void doReverseIndex(const VtSequence &, int);
    void doTabSet(const VtSequence &, int);
    void doSaveCursor(const VtSequence &, int);
    void doRestoreCursor(const VtSequence &, int);
    void doKeypad(const VtSequence &, int application);
    void doFullReset(const VtSequence &, int);
    void doSingleShift(const VtSequence &, int set);
    void doLockingShift(const VtSequence &, int set);
    void doLockingShiftRight(const VtSequence &, int set);
    void doLineSize(const VtSequence &, int size);
    void doAlignment(const VtSequence &, int);
    void doControls8(const VtSequence &, int on);
    void doIdentify(const VtSequence &, int);
    void doBackIndex(const VtSequence &, int);
    void doForwardIndex(const VtSequence &, int);

    void doCursorUp(const VtSequence &seq, int);
    void doCursorDown(const VtSequence &seq, int);
    void doCursorRight(const VtSequence &seq, int);
    void doCursorLeft(const VtSequence &seq, int);
    void doNextLines(const VtSequence &seq, int down);
    void doColumn(const VtSequence &seq, int);
    void doColumnRelative(const VtSequence &seq, int);
    void doPosition(const VtSequence &seq, int);
    void doRow(const VtSequence &seq, int);
    void doRowRelative(const VtSequence &seq, int);
    void doTab(const VtSequence &seq, int forward);
    void doTabClear(const VtSequence &seq, int);
    void doEraseDisplay(const VtSequence &seq, int selective);
    void doEraseLine(const VtSequence &seq, int selective);
    void doEraseChars(const VtSequence &seq, int);
    void doInsertChars(const VtSequence &seq, int);
    void doDeleteChars(const VtSequence &seq, int);
    void doColumns(const VtSequence &seq, int insert);
    void doInsertLines(const VtSequence &seq, int);
    void doDeleteLines(const VtSequence &seq, int);
    void doScroll(const VtSequence &seq, int up);
    void doRepeat(const VtSequence &seq, int);
    void doRendition(const VtSequence &seq, int);
    void doMode(const VtSequence &seq, int set);
    void doPrivateMode(const VtSequence &seq, int set);
    void doRequestMode(const VtSequence &seq, int isPrivate);
    void doMargins(const VtSequence &seq, int);
    void doSideMargins(const VtSequence &seq, int);
    void doAttributes(const VtSequence &seq, int);
    void doSecondaryAttributes(const VtSequence &seq, int);
    void doStatusReport(const VtSequence &seq, int);
    void doPrivateStatusReport(const VtSequence &seq, int);
    void doTerminalParameters(const VtSequence &seq, int);
    void doMediaCopy(const VtSequence &seq, int);
    void doProtection(const VtSequence &seq, int);
    void doCursorStyle(const VtSequence &seq, int);
    void doSoftReset(const VtSequence &seq, int);
    void doConformance(const VtSequence &seq, int);
    void doScoSave(const VtSequence &seq, int);
    void doScoRestore(const VtSequence &seq, int);
    void doScoCursorShape(const VtSequence &seq, int);
    void doPage(const VtSequence &seq, int kind);
    void doStatusType(const VtSequence &seq, int);
    void doStatusDisplay(const VtSequence &seq, int);

    // The VT420's rectangles.
    struct Rect
    {
        int top, left, bottom, right; // inclusive, absolute
    };
    bool rectOf(const VtSequence &seq, int first, Rect *rect) const;
    void doCopyRect(const VtSequence &seq, int);
    void doEraseRect(const VtSequence &seq, int selective);
    void doFillRect(const VtSequence &seq, int);
    void doChangeAttributesRect(const VtSequence &seq, int reverse);
    void doAttributeExtent(const VtSequence &seq, int);
    void changeAttributes(Cell &cell, const VtSequence &seq, bool reverse) const;

    // --- Answers ---
    void reply(const QByteArray &csiBody);
    QByteArray c1(char control) const;
    void requestStatusString();
    QByteArray renditionString() const;
    int modeValue(int mode, bool isPrivate) const;

    // --- The status line (VT320, VT420) ---
    bool statusLineKept() const;
    bool statusSequence(const VtSequence &seq);
    void setStatusType(int type);
    void putStatus(char32_t ch);
    void eraseStatus(int mode);

    // --- Keys ---
    bool ownKey(int qtKey, Qt::KeyboardModifiers mods, QByteArray *out) const;
    bool userKeysKept() const;
    void programUserKeys(int clear, int lock, const std::string &keys);
    void forgetHostSetup();
    void useLinuxGraphics();

    // --- Character sets (vtemulation_charsets.cpp) ---
    void resetCharsets();
    CharsetScope charsetScope() const;
    char32_t charsetMapped(char32_t ch);
    // ESC and an intermediate naming G0-G3: the designation carried out.
    bool designation(const VtSequence &seq);

    // --- VT52 mode (vtemulation_vt52.cpp) ---
    void setVt52(bool on);
    void takeVt52(char32_t ch);
    void vt52Escape(char32_t final);
    QByteArray vt52Key(const QByteArray &ansi) const;
    QByteArray ansiKey(int qtKey, Qt::KeyboardModifiers mods, const QString &text);

    EmulationSink *m_sink;
    HostDialect m_dialect;
    int m_typeBit = 1;
    HostDecoder m_decoder;
    VtParser m_parser;
    // Per sequence key (leader, intermediate, final): 1 + the index of the table entry, 0 none.
    struct Entry;
    const Entry *m_csiTable = nullptr;
    const Entry *m_escTable = nullptr;
    std::vector<quint8> m_csiIndex;
    std::vector<quint8> m_escIndex;

    Grid m_main;
    Grid m_alt;
    // The pages of display memory: the one shown is m_main, its place here holds nothing.
    std::vector<Grid> m_pages;
    int m_page = 0;
    bool m_altActive = false;

    int m_row = 0;
    int m_col = 0;
    bool m_wrapPending = false;
    Cell m_pen;
    int m_top = 0;
    int m_bottom = 0;
    int m_left = 0;
    int m_right = 0;
    std::vector<bool> m_tabs;
    std::array<Charset, 4> m_g {};
    int m_gl = 0;
    int m_gr = 2;
    int m_singleShift = -1;
    bool m_national = false; // DECNRCM
    // VT52 mode: on, where a sequence is, the row of ESC Y, the graphics set.
    enum class Vt52State : quint8 { Ground, Escape, Row, Column };
    bool m_vt52 = false;
    Vt52State m_vt52State = Vt52State::Ground;
    int m_vt52Row = 0;
    bool m_vt52Graphics = false;
    std::array<Saved, 2> m_saved; // main and alternate screen
    char32_t m_lastChar = 0; // for REP: the last character written, 0 none

    bool m_cursorVisible = true;
    bool m_insert = false;
    bool m_newLine = false;
    bool m_autoWrap = true;
    bool m_origin = false;
    bool m_appCursor = false;
    bool m_appKeypad = false;
    bool m_reverseScreen = false;
    bool m_wideColumns = false; // DECCOLM: 132 columns asked for
    bool m_sideMargins = false; // DECLRMM
    bool m_controls8 = false; // S8C1T: answers with 8-bit controls
    bool m_c1Utf8 = false; // the host's last C1 control came UTF-8 encoded: answers' come so too
    bool m_rectExtent = false; // DECSACE 2: rectangles, not streams
    int m_font = 0; // 11 or 12 while one of the PC fonts is chosen
    int m_cursorStyle = 1; // DECSCUSR's last, for DECRQSS

    QByteArray m_answerBack;
    ChangedRows m_changed;

    StatusType m_statusType = StatusType::None;
    bool m_statusActive = false; // DECSASD 1: host text goes to the status line
    std::u32string m_status; // the host-writable status line, up to cols() characters
    int m_statusCol = 0;

    Dcs m_dcs = Dcs::None;
    std::string m_dcsText;
    int m_dcsParams[2] = {};
    std::map<int, QByteArray> m_userKeys; // by function key, 6-20
    bool m_userKeysLocked = false;
    bool m_lockFunctionKeys = false; // LockFKeys
    bool m_printer = false;
};

} // namespace emu
