#pragma once
// The terminal's character screen: rows x columns of cells, the history of lines that scrolled off
// the top, the cursor and the selection. Host bytes go through the emulation of the terminal
// type: our VT engine for the VT and ANSI family, the table-driven character terminals for Wyse,
// ADDS Viewpoint, VT52 and the Pick PC console, the Tektronix emulation (text and a graphics
// layer) for the Tektronix types, the plain TTY for TTY Emulation. They are UTF-8, or
// single-byte with 8-bit controls when the host encoding says so (see hostencoding.h).
//
// Text taken from the screen holds characters: the right half of a wide character is left out,
// and a range of columns that begins on it starts after it.
//
// Changes are not drawn here: the screen notes which rows changed and says so once (damaged())
// until a view takes the damage, so heavy output costs no repaint per byte.
//
// Host data from a link is fed within a time budget per turn of the event loop (feedWithin), so
// that no input, however costly each byte of it is, keeps the program busy for long: what does
// not fit waits, in order, and is fed on the following turns (behind(), then caughtUp()). Any
// other change from outside (type, options, size, text put from the API, reset) first feeds what
// waits, so it comes after the host's data as it would have without the budget.

#include "emulator/cell.h"
#include "emulator/emulation.h"
#include "emulator/history.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <limits>
#include <memory>
#include <vector>

namespace emu {

class Screen : public QObject
{
    Q_OBJECT

public:
    // A place in the text: lines are counted from the first line that ever entered the history,
    // so a place stays on its text while the screen scrolls.
    struct Pos
    {
        qint64 line = 0;
        int col = 0;
        auto operator<=>(const Pos &) const = default;
    };

    struct Damage
    {
        std::vector<bool> rows; // screen rows whose cells changed
        bool history = false; // lines entered or left the history
        bool cursor = false;
        bool statusLine = false;
        bool graphics = false;
    };

    Screen(int rows, int cols, int historyRows, QObject *parent = nullptr);
    ~Screen() override;

    // Terminal types (the TermType setting) of the VT family: ANSI, the DEC VT100 to VT420
    // and the SCO and Linux consoles.
    static bool isVtFamily(int termType);
    // A type that needs another emulation than the current one starts it afresh (the screen is
    // cleared, the history kept); within the VT family only the dialect changes.
    void setTerminalType(int termType);
    int terminalType() const { return m_termType; }
    bool vtFamily() const { return isVtFamily(m_termType); }
    // The host's encoding (Ansi8Bit: SingleByte); a sequence cut off in the old one is dropped.
    void setHostEncoding(HostEncoding encoding);
    HostEncoding hostEncoding() const { return m_encoding; }
    void setOptions(const TerminalOptions &options);
    const TerminalOptions &options() const { return m_options; }

    // Feeds everything at once (what waits first).
    void feed(const char *data, qsizetype len);
    void feed(QByteArrayView bytes) { feed(bytes.data(), bytes.size()); }
    // Feeds what fits in this turn's budget (feedBudgetMs); the rest waits for later turns.
    void feedWithin(QByteArrayView bytes);
    // Host data waits to be fed.
    bool behind() const { return !m_backlog.isEmpty(); }
    // What all the feeds of one turn of the event loop may take together.
    static constexpr int feedBudgetMs = 12;

    int rows() const { return m_emulation->rows(); }
    int cols() const { return m_emulation->cols(); }
    void resize(int rows, int cols);

    int historyCapacity() const { return m_history.capacity(); }
    int historyCount() const { return m_history.count(); }
    void setHistoryCapacity(int lines);
    void clearHistory();
    size_t historyBytes() const { return m_history.bytes(); }

    // Screen rows (0 = top) and history lines (0 = oldest); both cols() cells wide.
    void readRow(int row, Cell *out) const { m_emulation->readRow(row, out); }
    const Cell *historyLine(int i) const { return m_history.line(i); }
    // Text of columns [from, to] (to clamped to the width).
    QString rowText(int row, int from = 0, int to = std::numeric_limits<int>::max()) const;
    QString historyText(int i, int from = 0, int to = std::numeric_limits<int>::max()) const;

    qint64 firstLine() const { return m_pushed - m_history.count(); }
    qint64 screenLine(int row) const { return m_pushed + row; }
    qint64 endLine() const { return m_pushed + rows(); }
    // The text of a line (history or screen), full width; empty for a line that is gone.
    QString lineText(qint64 line, int from = 0, int to = std::numeric_limits<int>::max()) const;

    QPoint cursor() const { return m_emulation->cursor(); }
    bool cursorVisible() const { return m_emulation->cursorVisible(); }
    void setCursor(int row, int col)
    {
        catchUp();
        m_emulation->setCursor(row, col);
    }

    // Text and blanks put from the API, in a colour code (see blankCell); control characters show
    // as blanks, wide characters take two cells. Positions outside the screen are cut off; the
    // cursor and the terminal's modes stay as they are.
    void putText(int row, int col, const QString &text, int colorCode);
    void putCells(int row, int col, const Cell *cells, int n);
    void clearRect(int left, int top, int right, int bottom, int colorCode);
    // Power-on state of the terminal; the history stays.
    void reset();
    // Another link to a host begins (see Emulation::newLink): what the last link sent is shown
    // first, then the engine reads afresh.
    void newLink()
    {
        catchUp();
        m_emulation->newLink();
    }

    QByteArray key(int qtKey, Qt::KeyboardModifiers mods, const QString &text)
    {
        return m_emulation->key(qtKey, mods, text);
    }
    void setAnswerBack(const QByteArray &text);

    // The terminal's status or label line, shown below the rows (see Emulation).
    bool hasStatusLine() const { return m_emulation->hasStatusLine(); }
    QString statusLine() const { return m_emulation->statusLine(); }
    // The graphics over the characters; nullptr for a terminal without graphics.
    const GraphicsLayer *graphics() const { return m_emulation->graphics(); }
    // Pages of display memory (VT420, Wyse): the page shown, how many; setPage shows page n of them.
    int page() const { return m_emulation->page(); }
    int pageCount() const { return m_emulation->pageCount(); }
    void setPage(int page)
    {
        catchUp();
        m_emulation->setPage(page);
    }
    // Graphics input (see Emulation): the crosshair's place while the host waits for the user
    // to point at the graphics; moving it and picking a place with a character.
    std::optional<QPoint> graphicsInput() const { return m_emulation->graphicsInput(); }
    void moveGraphicsInput(QPoint point) { m_emulation->moveGraphicsInput(point); }
    void pickGraphicsInput(char ch) { m_emulation->pickGraphicsInput(ch); }

    // Stream selection from one place to another (both included, in either order).
    void setSelection(Pos from, Pos to);
    void clearSelection();
    bool hasSelection() const { return m_hasSelection; }
    Pos selectionStart() const { return std::min(m_selFrom, m_selTo); }
    Pos selectionEnd() const { return std::max(m_selFrom, m_selTo); }
    bool isSelected(qint64 line, int col) const;
    // The columns of the word (characters between blanks) at a place, both halves of a wide
    // character included; false on a blank.
    bool wordAt(Pos pos, int *from, int *to) const;
    // Lines joined by "\n", trailing blanks of each line removed.
    QString selectedText() const;
    QString text(Pos from, Pos to) const;

    Damage takeDamage();

signals:
    // The first change after the last takeDamage().
    void damaged();
    // Bytes the terminal answers to the host by itself.
    void answer(const QByteArray &bytes);
    void bell();
    void printScreenRequested();
    // The host changed basic colour index (0-15) to rgb (0xRRGGBB); index -1: the host put the
    // session's own colours back.
    void paletteChanged(int index, quint32 rgb);
    // The host asked for 132 columns (wide) or 80 (see EmulationSink).
    void columnModeRequested(bool wide);
    // The host data that waited has all been fed.
    void caughtUp();

private:
    class Sink; // the emulation's callbacks, forwarded to the screen
    friend class Sink;

    // Feeds bytes in pieces while the turn's budget lasts; how many were fed.
    qsizetype feedFor(QByteArrayView bytes);
    void feedPiece(const char *data, qsizetype len);
    // Feeds all that waits, now (not from inside a feed: what waits comes after it).
    void catchUp();
    // A turn of the event loop has passed: a new budget, and what waits is fed.
    void nextTurn();
    void onRowsChanged(int first, int last);
    void onLineScrolledOff(const Cell *cells, int n);
    bool onLineScrolledBack(Cell *cells, int n);
    void onCursorMoved();
    void signalDamage();
    void markAll();
    std::unique_ptr<Emulation> makeEmulation(int termType, int rows, int cols);
    void onStatusLineChanged();
    void onGraphicsChanged();
    HostDialect dialect() const;
    // The cells of a line (history or screen) into buffer; nullptr for a line that is gone.
    const Cell *lineCells(qint64 line, std::vector<Cell> &buffer) const;

    int m_termType = 0;
    HostEncoding m_encoding = HostEncoding::Utf8;
    TerminalOptions m_options;
    History m_history;
    qint64 m_pushed = 0; // lines that ever entered the history
    std::unique_ptr<Sink> m_sink;
    std::unique_ptr<Emulation> m_emulation;
    QByteArray m_answerBack;

    std::vector<bool> m_dirty;
    bool m_historyDirty = false;
    bool m_cursorDirty = false;
    bool m_statusDirty = false;
    bool m_graphicsDirty = false;
    bool m_damageSignalled = false;

    QByteArray m_backlog; // host data fed within a budget that waits
    QTimer *m_turnTimer; // fires once the turn of the event loop has passed
    QElapsedTimer m_turn; // since the first feed of this turn
    qsizetype m_piece; // bytes fed between looks at the clock
    bool m_feeding = false;

    bool m_hasSelection = false;
    Pos m_selFrom;
    Pos m_selTo;
};

} // namespace emu
