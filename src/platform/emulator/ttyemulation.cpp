#include "emulator/ttyemulation.h"

#include <algorithm>

namespace emu {

namespace {

// C0, DEL and C1 are controls; every other character is shown.
inline bool printable(char32_t c)
{
    return (c >= 0x20 && c < 0x7F) || c >= 0xA0;
}

inline bool isAscii(char32_t c)
{
    return c >= 0x20 && c < 0x7F;
}

} // namespace

TtyEmulation::TtyEmulation(int rows, int cols, EmulationSink *sink)
    : m_sink(sink)
    , m_grid(rows, cols)
{ }

void TtyEmulation::setDialect(const HostDialect &dialect)
{
    if (dialect.encoding != m_decoder.encoding())
        m_decoder.setEncoding(dialect.encoding);
}

void TtyEmulation::feed(const char *data, qsizetype len)
{
    const char *p = data;
    const char *end = data + len;
    while (p < end) {
        if (!m_decoder.holding() && isAscii(uchar(*p))) {
            p = printAscii(p, end);
            continue;
        }
        // Through the decoder: a run of bytes above ASCII, or one byte.
        const char *next = p + 1;
        while (next < end && uchar(*p) >= 0x80 && uchar(*next) >= 0x80)
            ++next;
        m_decoder.decode(QByteArrayView(p, next), [this](char32_t ch) {
            if (printable(ch))
                print(ch);
            else
                control(ch);
        });
        p = next;
    }
    reportRows();
    if (len > 0)
        m_sink->cursorMoved();
}

// Printable ASCII, the bulk of most host output, a row at a time.
const char *TtyEmulation::printAscii(const char *p, const char *end)
{
    while (p < end && isAscii(uchar(*p))) {
        if (m_wrapPending) {
            m_col = 0;
            lineFeed();
        }
        const char *room = p + std::min<qsizetype>(end - p, cols() - m_col);
        const char *run = p;
        while (run < room && isAscii(uchar(*run)))
            ++run;
        m_grid.putAscii(m_row, m_col, p, int(run - p), Cell());
        m_printed.mark(m_row);
        const int next = m_col + int(run - p);
        m_wrapPending = next >= cols();
        m_col = m_wrapPending ? cols() - 1 : next;
        p = run;
    }
    return p;
}

void TtyEmulation::control(char32_t c)
{
    switch (c) {
    case '\r':
        m_col = 0;
        m_wrapPending = false;
        break;
    case '\n':
        lineFeed();
        break;
    case '\b':
        if (m_wrapPending)
            m_wrapPending = false;
        else if (m_col > 0)
            --m_col;
        break;
    case '\t':
        m_col = std::min(cols() - 1, (m_col / 8 + 1) * 8);
        m_wrapPending = false;
        break;
    case '\a':
        m_sink->bell();
        break;
    case '\f':
        clearScreen();
        break;
    case 0x05: // ENQ asks for the answerback text
        if (!m_answerBack.isEmpty())
            m_sink->answer(m_answerBack);
        break;
    default:
        break;
    }
}

void TtyEmulation::print(char32_t ch)
{
    const int width = charWidth(ch);
    if (width == 0) {
        // A combining mark has no cell of its own: it joins the character before the cursor.
        if (m_grid.combineBefore(m_row, m_wrapPending ? cols() : m_col, ch))
            m_printed.mark(m_row);
        return;
    }
    const bool wide = width == 2 && cols() > 1;
    if (m_wrapPending || (wide && m_col == cols() - 1)) {
        m_col = 0;
        lineFeed();
    }
    Cell cell;
    cell.ch = ch;
    m_grid.putChar(m_row, m_col, cell, wide);
    m_printed.mark(m_row);
    const int next = m_col + (wide ? 2 : 1);
    m_wrapPending = next >= cols();
    m_col = m_wrapPending ? cols() - 1 : next;
}

void TtyEmulation::reportRows()
{
    m_printed.report(m_sink);
}

void TtyEmulation::lineFeed()
{
    m_wrapPending = false;
    if (m_row < rows() - 1) {
        ++m_row;
        return;
    }
    reportRows(); // every row moves: all of them are reported below
    m_grid.scroll(
        0, rows(), 1, Cell(), [this](const Cell *line) { m_sink->lineScrolledOff(line, cols()); });
    m_sink->rowsChanged(0, rows() - 1);
}

void TtyEmulation::clearScreen()
{
    m_grid.fill(Cell());
    m_row = m_col = 0;
    m_wrapPending = false;
    m_sink->rowsChanged(0, rows() - 1);
}

void TtyEmulation::resize(int rows, int cols)
{
    rows = std::max(1, rows);
    cols = std::max(1, cols);
    if (rows == this->rows() && cols == this->cols())
        return;
    // The rows that no longer fit above the cursor go to the history.
    const int oldCols = this->cols();
    m_row -= m_grid.resizeKeeping(
        rows, cols, m_row, [this, oldCols](const Cell *line) { m_sink->lineScrolledOff(line, oldCols); });
    m_col = std::min(m_col, cols - 1);
    m_wrapPending = false;
    m_sink->rowsChanged(0, rows - 1);
    m_sink->cursorMoved();
}

void TtyEmulation::readRow(int row, Cell *out) const
{
    std::copy_n(m_grid.row(row), cols(), out);
}

void TtyEmulation::setCursor(int row, int col)
{
    const int oldRow = m_row;
    m_row = std::clamp(row, 0, rows() - 1);
    m_col = std::clamp(col, 0, cols() - 1);
    m_wrapPending = false;
    m_sink->rowsChanged(std::min(oldRow, m_row), std::max(oldRow, m_row));
    m_sink->cursorMoved();
}

void TtyEmulation::putCells(int row, int col, const Cell *cells, int n)
{
    if (m_grid.copyIn(row, col, cells, n))
        m_sink->rowsChanged(row, row);
}

void TtyEmulation::reset()
{
    clearScreen();
    m_sink->cursorMoved();
}

QByteArray TtyEmulation::key(int qtKey, Qt::KeyboardModifiers mods, const QString &text)
{
    if (const QByteArray basic = basicKeyBytes(qtKey); !basic.isEmpty())
        return basic;
    if (qtKey == Qt::Key_Delete)
        return QByteArray(1, '\x7f');
    // Ctrl+letter gives its control character in the key's text already; anything else is sent
    // in the host's encoding (a single-byte host has no byte for a character beyond Latin-1: it
    // is dropped).
    Q_UNUSED(mods);
    if (m_decoder.encoding() == HostEncoding::Utf8)
        return text.toUtf8();
    QByteArray bytes;
    for (const char32_t ch : text.toUcs4()) {
        if (ch <= 0xFF)
            bytes.append(char(ch));
    }
    return bytes;
}

} // namespace emu
