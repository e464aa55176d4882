#pragma once
// The character terminals of the business hosts (Wyse, ADDS Viewpoint, DEC VT52, the PC console
// of the Pick hosts) and the text side of the graphics terminals: one screen model driven by
// tables. A terminal family gives the table of its control characters and escape sequences
// (patterns as in sequencematcher.h, each with the operation it runs), its keys, and the few
// ways its screen behaves differently (does the cursor wrap at the margins, do attributes take a
// place on the screen, is there a status line); the operations themselves are shared here.
//
// The screen has no scrolling region: a line feed on the bottom row scrolls the whole screen,
// and the line that leaves the top goes to the history. A terminal with automatic margins
// moves to the next line as soon as its last column is written.
//
// Protected characters: written while write-protect is on, they show in the protect look
// (ProtectAttr, or the terminal's own choice); while protect mode is on, erasing leaves them as
// they are and text skips over them.
//
// Attributes that take a place on the screen ("magic cookies"): an attribute cell shows as a
// blank and gives its attributes to every cell after it, line after line, up to the next
// attribute cell; overwriting it removes it.
//
// Pages of display memory (a family that has them sets their number): each page keeps its own
// text, one shows at a time, and the cursor keeps its row and column when another page shows.

#include "emulator/emulation.h"
#include "emulator/grid.h"
#include "emulator/sequencematcher.h"

#include <array>
#include <functional>
#include <map>
#include <vector>

namespace emu {

class CharEmulation : public Emulation
{
public:
    CharEmulation(int rows, int cols, EmulationSink *sink);

    void feed(const char *data, qsizetype len) override;
    void setDialect(const HostDialect &dialect) override;
    int rows() const override { return m_grid.rows(); }
    int cols() const override { return m_grid.cols(); }
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
    bool hasStatusLine() const override { return m_behaviour.statusLine; }
    QString statusLine() const override;
    int page() const override { return m_page; }
    int pageCount() const override { return int(m_pages.size()); }
    void setPage(int page) override;

protected:
    using Handler = void (CharEmulation::*)(const SequenceArgs &, int);
    struct Sequence
    {
        const char *pattern;
        Handler handler;
        int param = 0;
    };
    // A family's own operation in a table.
    template<typename D> static Handler op(void (D::*fn)(const SequenceArgs &, int))
    {
        return static_cast<Handler>(fn);
    }

    struct Behaviour
    {
        bool autoWrap = true; // writing the last column moves to the next line
        bool backWrap = false; // cursor left from column 0 goes to the end of the line above
        bool upWraps = false; // cursor up from the top row goes to the bottom row
        bool rightWraps = true; // cursor right from the last column goes to the next line
        bool attributeCookies = false;
        bool statusLine = false;
        // Writing the last column leaves the cursor there until the next character (which
        // goes to the next line) or the next control.
        bool pendingWrap = false;
    };

    // Key modifiers as the key tables tell them apart.
    enum KeyMods { Plain = 0, Shift = 1, Ctrl = 2 };
    struct Key
    {
        int qtKey;
        int mods;
        const char *bytes;
    };

    // Attribute look codes shared by the families (see penLook): bits of the look a pen or an
    // attribute cell gives.
    enum Look {
        LookBlank = 0x01,
        LookBlink = 0x02,
        LookReverse = 0x04,
        LookUnderline = 0x08,
        LookDim = 0x10,
        LookBold = 0x20,
    };

    // ENQ (answerback), BEL, BS (left), HT, LF and CR as most of the terminals have them,
    // followed by a family's own sequences.
    static std::vector<Sequence> withBasicControls(const std::vector<Sequence> &more);
    void setSequences(const std::vector<Sequence> &table);
    // A family with more than one code (Tektronix and ANSI) keeps a table per code: addSequences
    // returns the table's number, useSequences switches to it.
    int addSequences(const std::vector<Sequence> &table);
    void useSequences(int table) { m_table = size_t(table); }
    void setKeys(std::vector<Key> keys) { m_keys = std::move(keys); }
    void setBehaviour(const Behaviour &behaviour) { m_behaviour = behaviour; }
    void setPageCount(int pages);
    // The characters of the bytes 0x80-0xFF a host sends as themselves (see HostDecoder).
    void setUpperHalf(const char16_t *table) { m_decoder.setUpperHalf(table); }
    const Behaviour &behaviour() const { return m_behaviour; }

    // --- What a family adds -------------------------------------------------------------
    // The character shown for ch while the graphics set is selected (ch itself by default).
    virtual char32_t graphicChar(char32_t ch) const { return ch; }
    // The bytes of function key n (1-based), empty when the terminal has no such key.
    virtual QByteArray functionKey(int n, bool shifted) const;
    // A key the tables do not cover (keypad modes and the like); empty when not taken. keypad:
    // the key is on the numeric keypad.
    virtual QByteArray specialKey(int qtKey, int mods, bool keypad, const QString &text);
    // Called by reset() after the shared state is back to its power-on values.
    virtual void resetFamily() { }
    // A character that the sequence tables do not take while `intercepting` is on (a graphics
    // mode in which printable characters are coordinates); true when taken.
    virtual bool intercept(char32_t) { return false; }
    void setIntercepting(bool on) { m_intercepting = on; }

    // --- Shared operations, for the tables ----------------------------------------------
    void doIgnore(const SequenceArgs &, int) { }
    void doBell(const SequenceArgs &, int);
    void doAnswerBack(const SequenceArgs &, int);
    void doCarriageReturn(const SequenceArgs &, int);
    void doLineFeed(const SequenceArgs &, int);
    void doNewLine(const SequenceArgs &, int);
    void doCursorLeft(const SequenceArgs &, int);
    void doCursorRight(const SequenceArgs &, int);
    void doCursorUp(const SequenceArgs &, int);
    // Down one row, staying on the bottom row.
    void doCursorDown(const SequenceArgs &, int);
    // param 0: top left; 1: bottom row, first column.
    void doHome(const SequenceArgs &, int param);
    // Row and column as two characters offset by 32; param 1: column first.
    void doAddress(const SequenceArgs &a, int param);
    // Row and column as decimal numbers from 1.
    void doAddressDecimal(const SequenceArgs &a, int);
    void doTab(const SequenceArgs &, int);
    void doBackTab(const SequenceArgs &, int);
    void doSetTab(const SequenceArgs &, int);
    void doClearTab(const SequenceArgs &, int);
    void doClearAllTabs(const SequenceArgs &, int);
    // param: Erase bits.
    void doEraseLine(const SequenceArgs &, int param);
    void doEraseScreen(const SequenceArgs &, int param);
    void doInsertLine(const SequenceArgs &, int);
    void doDeleteLine(const SequenceArgs &, int);
    void doInsertChar(const SequenceArgs &, int);
    void doDeleteChar(const SequenceArgs &, int);
    // param 1 on, 0 off.
    void doInsertMode(const SequenceArgs &, int param);
    void doReverseIndex(const SequenceArgs &, int);
    void doWriteProtect(const SequenceArgs &, int param);
    void doProtectMode(const SequenceArgs &, int param);
    void doCursorVisible(const SequenceArgs &, int param);
    void doGraphics(const SequenceArgs &, int param);
    // One character of the graphics set: the argument.
    void doGraphicChar(const SequenceArgs &a, int);
    void doSaveCursor(const SequenceArgs &, int);
    void doRestoreCursor(const SequenceArgs &, int);
    // The status line message: the text argument (empty clears it).
    void doStatusText(const SequenceArgs &a, int);

    // --- The ANSI control sequences of the PC consoles (CSI ... final) ------------------
    void doCsiPosition(const SequenceArgs &a, int);
    // param: 'A' up, 'B' down, 'C' right, 'D' left.
    void doCsiMove(const SequenceArgs &a, int param);
    void doCsiColumn(const SequenceArgs &a, int);
    void doCsiRow(const SequenceArgs &a, int);
    void doCsiEraseScreen(const SequenceArgs &a, int);
    void doCsiEraseLine(const SequenceArgs &a, int);
    void doCsiEraseChars(const SequenceArgs &a, int);
    void doCsiInsertLines(const SequenceArgs &a, int);
    void doCsiDeleteLines(const SequenceArgs &a, int);
    void doCsiInsertChars(const SequenceArgs &a, int);
    void doCsiDeleteChars(const SequenceArgs &a, int);
    // param 1 up, -1 down.
    void doCsiScroll(const SequenceArgs &a, int param);
    void doCsiRendition(const SequenceArgs &a, int);
    // param 1 set, 0 reset.
    void doCsiMode(const SequenceArgs &a, int param);
    void doCsiStatus(const SequenceArgs &a, int);
    static const std::vector<Sequence> &ansiSequences();

    // --- Pieces for the families' own operations ------------------------------------------
    enum Erase {
        EraseToEnd = 0,
        EraseToStart = 1,
        EraseAll = 2,
        EraseHome = 4, // then the cursor goes home
        EraseProtectedToo = 8, // protected characters go as well, whatever the protect mode
        EraseProtectedFill = 16, // the erased cells become protected blanks
    };
    void moveTo(int row, int col);
    void scrollUp(int n = 1);
    void scrollDown(int n = 1);
    void print(char32_t ch);
    // The pen's look (Look bits) for the characters that follow; colours stay.
    void setPenLook(int look);
    int penLook() const;
    // An attribute cell with the Look bits at the cursor; the cursor moves past it.
    void putCookie(int look);
    void answer(const QByteArray &bytes) { m_sink->answer(bytes); }
    // Text in the host's encoding (a character a single-byte host has no byte for is left out).
    QByteArray encodeText(const QString &text) const;
    void markRows(int first, int last);
    void setStatusMessage(const QString &text);
    void setLabel(int index, const QString &text);
    void setLabelsShown(bool shown);
    // A function key the host programmed: n from 1, empty text forgets it (LockFKeys refuses).
    void programKey(int n, bool shifted, const QByteArray &bytes);
    void setProtectLook(int look) { m_protectLook = look; markRows(0, rows() - 1); }
    Cell &pen() { return m_pen; }
    int row() const { return m_row; }
    int col() const { return m_col; }
    bool protectMode() const { return m_protectMode; }
    bool graphicsSet() const { return m_graphics; }
    HostEncoding encoding() const { return m_decoder.encoding(); }
    EmulationSink *sink() const { return m_sink; }
    const TerminalOptions &options() const { return m_options; }

private:
    struct Saved
    {
        int row = 0;
        int col = 0;
        Cell pen;
    };

    void process(char32_t ch);
    void flushRows();
    void clearRows(int first, int end, int fromCol, int toCol, int erase);
    void eraseCells(Cell *line, int from, int end, int erase);
    // The number of an erase by its outcome (the blank, what it keeps): rows erased by the same
    // number look alike until written (see Grid::erasedBy).
    quint32 eraseToken(int erase);
    bool skipProtected();
    Cell blankCell() const;
    static Cell lookCell(Cell cell, int look);
    void resolveRow(int row, Cell *out) const;
    int lookBefore(int row) const;
    void lineLeaving(const Cell *line);

    struct Table
    {
        SequenceMatcher matcher;
        std::vector<Handler> handlers;
        std::vector<int> params;
    };

    EmulationSink *m_sink;
    Grid m_grid; // the page shown
    std::vector<Grid> m_pages; // the pages not shown (the place of the one shown is unused)
    int m_page = 0;
    Behaviour m_behaviour;
    HostDecoder m_decoder;
    std::vector<Table> m_tables;
    size_t m_table = 0;
    std::vector<Key> m_keys;
    std::vector<char32_t> m_chars; // one slice of host data, decoded
    TerminalOptions m_options;
    QByteArray m_answerBack;

    int m_row = 0;
    int m_col = 0;
    Cell m_pen;
    Saved m_saved;
    bool m_cursorVisible = true;
    bool m_wrapPending = false;
    bool m_insertMode = false;
    bool m_writeProtect = false;
    bool m_protectMode = false;
    bool m_graphics = false;
    bool m_intercepting = false;
    int m_protectLook = -1; // set by the host; -1: the ProtectAttr setting's
    std::vector<bool> m_tabs;

    QString m_statusMessage;
    std::array<QString, 16> m_labels;
    bool m_labelsShown = true;
    std::map<std::pair<int, bool>, QByteArray> m_programmed;

    ChangedRows m_changed;

    struct EraseWay
    {
        Cell blank;
        bool keepProtected = false;
        bool protectedFill = false;
        bool operator==(const EraseWay &) const = default;
    };
    EraseWay m_eraseWay;
    quint32 m_eraseToken = 0;
    std::function<void(const Cell *)> m_toHistory; // lineLeaving, made once
    std::vector<Cell> m_leaving; // the line that leaves, as shown
};

// The upper half of the IBM PC character set (code page 437), for graphics sets and PC hosts:
// the character of byte 0x80 + i.
char32_t pcGraphic(int i);

} // namespace emu
