#include "emulator/ttyemulation.h"

#include <algorithm>

namespace emu {

namespace {

// Latin-1: 0x20-0x7E and 0xA0-0xFF are characters; C0, DEL and C1 are controls.
inline bool printable(uchar c)
{
    return (c >= 0x20 && c < 0x7F) || c >= 0xA0;
}

} // namespace

TtyEmulation::TtyEmulation(int rows, int cols, EmulationSink *sink)
    : m_sink(sink)
    , m_grid(rows, cols)
{ }

void TtyEmulation::feed(const char *data, qsizetype len)
{
    const char *p = data;
    const char *end = data + len;
    while (p < end) {
        const uchar c = uchar(*p);
        if (printable(c)) {
            p = printRun(p, end);
            continue;
        }
        ++p;
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
    if (len > 0)
        m_sink->cursorMoved();
}

const char *TtyEmulation::printRun(const char *p, const char *end)
{
    while (p < end && printable(uchar(*p))) {
        if (m_wrapPending) {
            m_wrapPending = false;
            m_col = 0;
            lineFeed();
        }
        Cell *line = m_grid.row(m_row);
        const int cols = m_grid.cols();
        int col = m_col;
        while (p < end && col < cols) {
            const uchar c = uchar(*p);
            if (!printable(c))
                break;
            Cell &cell = line[col++];
            cell = Cell();
            cell.ch = char16_t(c);
            ++p;
        }
        m_sink->rowsChanged(m_row, m_row);
        if (col == cols) {
            m_col = cols - 1;
            m_wrapPending = true;
        } else {
            m_col = col;
        }
    }
    return p;
}

void TtyEmulation::lineFeed()
{
    m_wrapPending = false;
    if (m_row < rows() - 1) {
        ++m_row;
        return;
    }
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
    // The cursor row stays on screen: rows above it that no longer fit go to the history, rows
    // below it are dropped; a wider or taller screen gets blank cells.
    const int dropTop = std::max(0, m_row - (rows - 1));
    for (int r = 0; r < dropTop; ++r)
        m_sink->lineScrolledOff(m_grid.row(r), this->cols());
    m_grid.resize(rows, cols, dropTop);
    m_row -= dropTop;
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
    if (row < 0 || row >= rows() || col < 0 || col >= cols())
        return;
    std::copy_n(cells, std::min(n, cols() - col), m_grid.row(row) + col);
    m_sink->rowsChanged(row, row);
}

void TtyEmulation::reset()
{
    clearScreen();
    m_sink->cursorMoved();
}

QByteArray TtyEmulation::key(int qtKey, Qt::KeyboardModifiers mods, const QString &text)
{
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QByteArray(1, '\r');
    case Qt::Key_Backspace:
        return QByteArray(1, '\b');
    case Qt::Key_Tab:
        return QByteArray(1, '\t');
    case Qt::Key_Escape:
        return QByteArray(1, '\x1b');
    case Qt::Key_Delete:
        return QByteArray(1, '\x7f');
    default:
        break;
    }
    if (text.isEmpty())
        return QByteArray();
    // Ctrl+letter gives its control character in the key's text already; anything else is sent
    // as Latin-1 (characters outside it have no byte and are dropped).
    Q_UNUSED(mods);
    QByteArray bytes;
    for (QChar ch : text) {
        if (ch.unicode() <= 0xFF)
            bytes.append(char(ch.unicode()));
    }
    return bytes;
}

} // namespace emu
