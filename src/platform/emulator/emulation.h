#pragma once
// What the screen asks of a terminal emulation (the plain TTY, the VT family, the character
// terminals of the business hosts, the graphics terminals), and what an emulation tells the
// screen back. Host data is fed in pieces of any size: an emulation works through a burst of
// megabytes in bounded slices.

#include "emulator/cell.h"
#include "emulator/graphicslayer.h"
#include "emulator/hostencoding.h"

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <Qt>

#include <algorithm>
#include <limits>
#include <optional>

namespace emu {

class EmulationSink
{
public:
    virtual ~EmulationSink() = default;
    // Rows first..last (inclusive) changed their contents.
    virtual void rowsChanged(int first, int last) = 0;
    // A line leaves the top of the screen for the history.
    virtual void lineScrolledOff(const Cell *cells, int n) = 0;
    // The newest history line comes back (the screen grew taller); false when there is none.
    virtual bool lineScrolledBack(Cell *cells, int n) = 0;
    virtual void cursorMoved() = 0;
    virtual void bell() = 0;
    // Bytes the terminal answers to the host on its own (device attributes, status, answerback).
    virtual void answer(const QByteArray &bytes) = 0;
    // A media-copy request of the host other than the print controller (CSI i, CSI 0 i).
    virtual void printScreenRequested() = 0;
    // The status or label line, or the graphics layer, changed.
    virtual void statusLineChanged() { }
    virtual void graphicsChanged() { }
    // The host set basic colour index (0-15) to rgb (0xRRGGBB) for as long as the session
    // lasts; index -1: the host put the session's own colours back.
    virtual void paletteChanged(int index, quint32 rgb) { Q_UNUSED(index); Q_UNUSED(rgb); }
    // The host asked for 132 columns (wide) or 80: the session's extended or normal size.
    virtual void columnModeRequested(bool wide) { Q_UNUSED(wide); }
};

// The rows an emulation changed since it last told its sink, told as one span.
class ChangedRows
{
public:
    void mark(int first, int last)
    {
        m_first = std::min(m_first, first);
        m_last = std::max(m_last, last);
    }
    void mark(int row) { mark(row, row); }
    // Tells the sink the rows marked, if any, and starts over.
    void report(EmulationSink *sink)
    {
        if (m_first > m_last)
            return;
        sink->rowsChanged(m_first, m_last);
        *this = ChangedRows();
    }

private:
    int m_first = std::numeric_limits<int>::max();
    int m_last = -1;
};

// The keyboards of the VT family: what the editing and function keys send differs by type.
enum class VtKeyboard { Vt100, Vt220, Vt320, Vt420, Ansi, Sco, Linux };

// How the host's data is read (its text encoding, and the escape sequences that only some
// terminal types of the VT family know), and which keyboard the type has.
struct HostDialect
{
    HostEncoding encoding = HostEncoding::Utf8;
    // CSI s and CSI u save and restore the cursor (ANSI, SCO and Linux consoles).
    bool scoCursor = false;
    // The Linux console's palette sequences ESC ] P nrrggbb and ESC ] R (no terminator).
    bool linuxPalette = false;
    VtKeyboard keyboard = VtKeyboard::Vt100;

    bool operator==(const HostDialect &) const = default;
};

// What a plain keyboard sends for Return and Enter (CR), Tab, Backspace (BS) and Escape; empty
// for other keys.
inline QByteArray basicKeyBytes(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QByteArray(1, '\r');
    case Qt::Key_Tab:
        return QByteArray(1, '\t');
    case Qt::Key_Backspace:
        return QByteArray(1, '\b');
    case Qt::Key_Escape:
        return QByteArray(1, '\x1b');
    default:
        return QByteArray();
    }
}

// The control character Ctrl makes with a key (Ctrl+A 1 ... Ctrl+Z 26, Ctrl+[ ESC, Ctrl+Space
// and Ctrl+@ NUL, Ctrl+\ ] ^ _ 28-31); -1 when it makes none.
inline int controlCodeOfKey(int qtKey)
{
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return qtKey - Qt::Key_A + 1;
    switch (qtKey) {
    case Qt::Key_At:
    case Qt::Key_Space:
    case Qt::Key_2:
        return 0;
    case Qt::Key_BracketLeft:
        return 0x1B;
    case Qt::Key_Backslash:
        return 0x1C;
    case Qt::Key_BracketRight:
        return 0x1D;
    case Qt::Key_AsciiCircum:
    case Qt::Key_6:
        return 0x1E;
    case Qt::Key_Underscore:
    case Qt::Key_Minus:
        return 0x1F;
    default:
        return -1;
    }
}

// The session's settings that bend how a terminal behaves.
struct TerminalOptions
{
    // How protected characters show (ProtectAttr): 0 half intensity, 1 reverse, 2 underline,
    // 3 half intensity and reverse, 4 as other characters.
    int protectLook = 0;
    // The host may not program the function keys (LockFKeys).
    bool lockFunctionKeys = false;
    // Tektronix graphics are drawn (GmodeEnable); without, they are taken in and not shown.
    bool graphics = true;
    // Pages of display memory (Pages; VT420).
    int pages = 1;
    // A printer is there for the host to print on (the printer status report).
    bool printer = false;

    bool operator==(const TerminalOptions &) const = default;
};

class Emulation
{
public:
    virtual ~Emulation() = default;

    virtual void feed(const char *data, qsizetype len) = 0;
    virtual void setDialect(const HostDialect &dialect) = 0;
    virtual int rows() const = 0;
    virtual int cols() const = 0;
    virtual void resize(int rows, int cols) = 0;
    // Copies row `row` of the screen into out (cols() cells).
    virtual void readRow(int row, Cell *out) const = 0;
    // x is the column, y the row, both from 0.
    virtual QPoint cursor() const = 0;
    virtual bool cursorVisible() const = 0;
    virtual void setCursor(int row, int col) = 0;
    // Writes cells at a position without moving the cursor (text and blanks put from the API).
    virtual void putCells(int row, int col, const Cell *cells, int n) = 0;
    // Back to the power-on state: screen cleared, cursor home, modes reset.
    virtual void reset() = 0;
    // Another link to a host begins: the host's data is read from its start (a sequence or a
    // character the last host left unfinished is given up), and what the last host programmed
    // (function keys and their lock) is forgotten; the screen and the modes stay.
    virtual void newLink() = 0;
    // The bytes a key sends to the host, its characters in the host's encoding; empty when the
    // key sends nothing.
    virtual QByteArray key(int qtKey, Qt::KeyboardModifiers mods, const QString &text) = 0;
    virtual void setAnswerBack(const QByteArray &text) = 0;

    virtual void setOptions(const TerminalOptions &) { }
    // The terminal's status or function-key label line, shown below the screen; false when the
    // terminal has none.
    virtual bool hasStatusLine() const { return false; }
    virtual QString statusLine() const { return QString(); }
    // The graphics drawn over the characters; nullptr for a terminal without graphics.
    virtual const GraphicsLayer *graphics() const { return nullptr; }
    // Pages of display memory (the VT420's, see TerminalOptions::pages): the page shown and how
    // many there are; setPage shows another one, the cursor keeping its row and column.
    virtual int page() const { return 0; }
    virtual int pageCount() const { return 1; }
    virtual void setPage(int) { }
    // Graphics input: while the host waits for the user to point at the graphics, the
    // crosshair's place in the layer's points; nothing otherwise (and for a terminal without
    // graphics). Keys meanwhile go through key() as usual.
    virtual std::optional<QPoint> graphicsInput() const { return std::nullopt; }
    // The user moved the crosshair (clamped to the layer); the caller repaints.
    virtual void moveGraphicsInput(QPoint) { }
    // The user picked the crosshair's place with a character (a mouse button's): the terminal
    // reports it to the host through its sink and graphics input ends.
    virtual void pickGraphicsInput(char) { }
};

} // namespace emu
