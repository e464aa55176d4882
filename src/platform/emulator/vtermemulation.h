#pragma once
// The VT and ANSI family (VT100, VT220, VT320, VT420, ANSI, SCO and Linux consoles) through
// libvterm's state layer: libvterm parses and keeps the terminal's modes, and draws through our
// callbacks into a grid of our own, which scrolls by turning a ring (libvterm's own screen layer
// moves every cell per line and could not keep up with heavy output).
//
// Lines of double width and height (ESC # 3, 4, 6) carry their size in their cells' flags. With
// more than one page (TerminalOptions::pages, the VT420's) the host moves between pages with
// NP and PP (CSI n U, CSI n V: to the home of the page) and PPA, PPR, PPB (CSI n SP P, Q, R: the
// cursor keeps its place); each page keeps its own text, and the page the cursor is on shows.
//
// The scanner also keeps what libvterm leaves out: half intensity and concealed text (SGR 2, 8)
// and the PC fonts of the ANSI, SCO and Linux consoles (SGR 11: bytes 0x80-0xFF in code page
// 437; SGR 12: the high bit turned over), the Linux console's arrows in its graphics set, the
// SCO console's cursor shape (CSI = start ; end C hides the cursor when start > end), and the
// keypad's mode for the Enter key.
//
// Host data reaches libvterm as UTF-8, in slices of a few kilobytes (libvterm 0.1 takes stack in
// proportion to what one call hands it). On the way the host's encoding is decoded (see
// hostencoding.h): a single-byte host's C1 controls become their 7-bit forms, other C1 code points
// are dropped. A small scanner follows the escape syntax far enough to give CSI s and CSI u their
// save and restore meaning (ANSI, SCO and Linux consoles: as ESC 7 and ESC 8, as xterm and the
// Linux console do) and to consume the Linux console's palette sequences (ESC ] P and seven hex
// digits, ESC ] R), which have no terminator and would otherwise hold up all later output.
//
// The scanner also takes what libvterm cannot do at all. The VT320's and VT420's status line:
// DECSSDT (CSI n $ ~: 0 none, 1 the terminal's indicator line, here an empty line, 2 written by
// the host) and DECSASD (CSI n $ }): from DECSASD 1 to DECSASD 0 the host's text goes to the
// host-writable status line and never reaches libvterm; printable characters go there at the
// status cursor, HPA (CSI n `) moves that cursor, EL (CSI n K) erases, anything else is dropped.
// And the keys the host programs on the VT220, VT320 and VT420 (DECUDK, DCS Pc ; Pl | key/hex
// ; ... ST): Shift+F6 ... Shift+F20 send the decoded bytes as the host gave them. Pc 0 forgets
// the keys programmed before, Pl 0 locks them against later programming; a key with a number or
// text that does not decode keeps what it had. LockFKeys refuses all programming; a reset (RIS,
// or the control's) forgets the keys and unlocks them.
//
// What reaches libvterm is well formed and within its limits, whatever the host sends:
// - a control sequence goes on whole when its final character arrives, with at most 16
//   parameters (sub-parameters count; more are left out) of at most 65535 each, one leader
//   character and at most four intermediates; a sequence with characters out of this order is
//   ignored, as the terminals ignore it;
// - REP (CSI n b) repeats the last printable character shown, at most a screenful of times
//   (rows x columns), and nothing when no character was shown since the start or a reset;
// - DECRQSS (DCS $ q setting ST) is answered here on the VT320 and VT420: the rendition (m), the
//   margins (r), the cursor style (SP q), the protection (" q) and the conformance level (" p)
//   with DCS 1 $ r setting ST, any other setting with DCS 0 $ r ST; the other types ignore it;
// - a resize puts the margins back to the whole screen (libvterm keeps the old ones), the
//   cursor staying where it is.

#include "emulator/emulation.h"
#include "emulator/grid.h"

#include <array>
#include <map>
#include <string>
#include <vector>

struct VTerm;
struct VTermState;

namespace emu {

class VtermEmulation : public Emulation
{
public:
    VtermEmulation(int rows, int cols, EmulationSink *sink);
    ~VtermEmulation() override;
    VtermEmulation(const VtermEmulation &) = delete;
    VtermEmulation &operator=(const VtermEmulation &) = delete;

    void feed(const char *data, qsizetype len) override;
    void setDialect(const HostDialect &dialect) override;
    int rows() const override { return m_main.rows(); }
    int cols() const override { return m_main.cols(); }
    void resize(int rows, int cols) override;
    void readRow(int row, Cell *out) const override;
    QPoint cursor() const override { return m_cursor; }
    bool cursorVisible() const override { return m_cursorVisible; }
    void setCursor(int row, int col) override;
    void putCells(int row, int col, const Cell *cells, int n) override;
    void reset() override;
    QByteArray key(int qtKey, Qt::KeyboardModifiers mods, const QString &text) override;
    void setAnswerBack(const QByteArray &text) override { m_answerBack = text; }
    void setOptions(const TerminalOptions &options) override;
    int page() const override { return m_page; }
    int pageCount() const override { return int(m_pages.size()); }
    void setPage(int page) override;
    bool hasStatusLine() const override { return m_statusType != StatusType::None; }
    QString statusLine() const override;

    // libvterm's callbacks (public so the C callback tables can reach them); the arguments are
    // libvterm's types, passed as opaque pointers to keep <vterm.h> out of this header.
    void onPutGlyph(const void *info, int row, int col);
    bool onScrollRect(int top, int bottom, int left, int right, int downward, int rightward);
    void onMoveRect(int destTop, int destLeft, int srcTop, int srcLeft, int rows, int cols);
    void onErase(int top, int bottom, int left, int right, bool selective);
    void onInitPen();
    void onSetPenAttr(int attr, const void *value);
    void onSetTermProp(int prop, const void *value);
    void onMoveCursor(int row, int col, bool visible);
    void onResize(int rows, int cols, void *delta);
    // A line's size: doubleHeight 1 the upper half, 2 the lower half.
    void onLineInfo(int row, bool doubleWidth, int doubleHeight);
    void onOutput(const char *bytes, size_t len);
    bool onControl(unsigned char control);
    bool onCsi(
        const char *leader, const long *args, int argCount, const char *intermed, char command);
    EmulationSink *sink() const { return m_sink; }

private:
    // DECSSDT's status line: none, the terminal's indicator line, or written by the host.
    enum class StatusType { None, Indicator, Host };

    // Where the scanner stands in the escape syntax. Escape, CsiStart and OscStart hold back
    // "ESC", "ESC [" and "ESC ]" until the next character decides.
    // DcsHeader holds back a device control string until its header decides whether it is a
    // status request (StatusRequest, answered here); DropString swallows a string libvterm must
    // not see.
    enum class Scan {
        Ground,
        Escape,
        CsiStart,
        Csi,
        Designate,
        OscStart,
        Palette,
        String,
        DcsHeader,
        StatusRequest,
        DropString
    };

    // Appends one slice of host data to m_out as libvterm takes it.
    void translate(const char *p, const char *end);
    void scan(char32_t ch);
    // A character shown other than libvterm would: the PC fonts of SGR 11 and 12 (ANSI, SCO
    // and Linux consoles), the Linux console's arrows in its graphics set.
    bool remapping() const;
    char32_t remapped(char32_t ch) const;
    void rendition();
    void cursorShape();
    void resetScanner();
    void useLinuxGraphics();
    // Hands a character on to libvterm; nothing while the host writes the status line.
    void put(char32_t ch)
    {
        if (!m_statusActive)
            m_outEnd = appendUtf8(m_outEnd, ch);
    }
    // Room for n more bytes in m_out: what it holds goes to libvterm first when it is short.
    void reserve(qsizetype n);
    void flushOut();
    // The parts of a control sequence as they arrive, and its end (see the contract above).
    void csiCharacter(char32_t ch);
    void csiParameter(char ch);
    void endCsi(char32_t final);
    void passCsi(char32_t final);
    // The host's settings that libvterm keeps no account of for us: margins, protection.
    void noteSetting(char32_t final);
    void repeatShown(int count);
    void deviceControlHeader(char32_t ch);
    void statusRequest(char32_t ch);
    void answerStatusRequest();
    QByteArray statusReport(const QByteArray &setting) const;
    QByteArray renditionReport() const;
    Grid &grid() { return m_altActive ? m_alt : m_main; }
    const Grid &grid() const { return m_altActive ? m_alt : m_main; }
    Cell eraseCell() const;
    void markRows(int first, int end);
    void flushGlyphRows();
    void write(const QByteArray &bytes);
    // The keys the terminal type sends itself (see the keyboards in the .cpp); false when
    // libvterm's choice fits.
    bool ownKey(int qtKey, Qt::KeyboardModifiers mods, QByteArray *out) const;
    // The page movements of the VT420: NP, PP (to the home of the page), PPA, PPR, PPB.
    bool pageSequence(long count, const char *intermed, char command);
    // Parameter i of the control sequence the scanner ended; fallback when it is missing.
    int csiParam(int i, int fallback) const;
    // The status line (VT320, VT420): DECSSDT and DECSASD, and HPA and EL while the host writes
    // the status line; false for another sequence.
    bool statusSequence(char32_t final);
    bool statusLineKept() const;
    void setStatusType(int type);
    void putStatus(char32_t ch);
    void eraseStatus(int mode);
    // Keys the host programs (VT220, VT320, VT420). deviceControlString takes the string
    // between DCS and ST (m_dcs) when it is DECUDK's: its parameters (header) and its keys.
    bool userKeysKept() const;
    void deviceControlString();
    void programUserKeys(const QByteArray &header, const QByteArray &keys);
    // What a reset takes back of what the host set up: the status line, the programmed keys.
    void forgetHostSetup();

    EmulationSink *m_sink;
    HostDialect m_dialect;
    HostDecoder m_decoder;
    Scan m_scan = Scan::Ground;
    int m_paletteDigits = 0;
    quint32 m_paletteValue = 0;
    QByteArray m_csiParams; // the parameters of the control sequence under way
    QByteArray m_csiIntermediates; // and its intermediates
    char m_csiLeader = 0; // < = > ? before the parameters, 0 when none
    int m_csiFields = 1; // parameters (and sub-parameters) begun, up to 16
    qsizetype m_csiFieldStart = 0; // where the last one begins in m_csiParams
    int m_csiValue = 0; // its value so far
    bool m_csiMalformed = false; // characters out of order: the sequence is ignored
    char32_t m_lastShown = 0; // what REP repeats; 0 when nothing was shown
    int m_marginTop = 0; // DECSTBM as the host set it, from 1; 0 the whole screen
    int m_marginBottom = 0;
    bool m_protecting = false; // DECSCA 1: characters written now are protected
    int m_cursorShape = 1; // libvterm's VTERM_PROP_CURSORSHAPE
    bool m_cursorBlink = true;
    QByteArray m_request; // the setting a status request (DECRQSS) asks for
    bool m_requestEnding = false; // its ESC came: ST answers it
    bool m_faint = false;
    bool m_conceal = false;
    int m_font = 0; // 11 or 12 while one of the PC fonts is chosen
    std::array<bool, 2> m_graphicsSet {}; // G0 and G1 designated DEC graphics
    int m_designating = 0;
    bool m_shifted = false; // SO: G1 in use
    std::vector<char> m_out; // one slice of host data as libvterm takes it
    char *m_outEnd = nullptr;
    VTerm *m_vt = nullptr;
    VTermState *m_state = nullptr;
    Grid m_main;
    Grid m_alt;
    // The pages of display memory: the one shown is m_main, its place here holds nothing.
    std::vector<Grid> m_pages;
    int m_page = 0;
    bool m_altActive = false;
    Cell m_pen;
    QPoint m_cursor;
    bool m_cursorVisible = true;
    QByteArray *m_keyOut = nullptr; // collects key bytes while a key is translated
    bool m_keypadApplication = false; // DECKPAM (ESC =) is in force
    QByteArray m_answerBack;
    ChangedRows m_glyphRows; // rows written by characters since the last report
    StatusType m_statusType = StatusType::None;
    bool m_statusActive = false; // DECSASD 1: host text goes to the status line
    std::u32string m_status; // the host-writable status line, up to cols() characters
    int m_statusCol = 0;
    bool m_collectingDcs = false; // a device control string (DECUDK) is under way
    QByteArray m_dcs;
    std::map<int, QByteArray> m_userKeys; // by function key, 6-20
    bool m_userKeysLocked = false;
    bool m_lockFunctionKeys = false; // LockFKeys
};

} // namespace emu
