#include "emulator/grid.h"

#include "emulator/hostencoding.h"

#include <algorithm>

namespace emu {

bool Grid::combineBefore(int row, int col, char32_t mark)
{
    if (row < 0 || row >= m_rows)
        return false;
    col = std::min(col, m_cols) - 1;
    Cell *line = this->row(row);
    if (col > 0 && (line[col].flags & CellWideTail))
        --col;
    if (col < 0)
        return false;
    const char32_t one = composedChar(line[col].ch, &mark, 1);
    if (!one)
        return false;
    line[col].ch = one;
    return true;
}

Grid::Grid(int rows, int cols)
    : m_rows(std::max(1, rows))
    , m_cols(std::max(1, cols))
    , m_cells(size_t(m_rows) * size_t(m_cols))
    , m_notes(size_t(m_rows))
{ }

bool Grid::allProtected(int r) const
{
    RowNote &note = m_notes[size_t(physical(r))];
    if (note.allProtected < 0) {
        const Cell *line = row(r);
        note.allProtected = std::all_of(line, line + m_cols,
                                [](const Cell &cell) { return cell.flags & CellProtected; })
            ? 1
            : 0;
    }
    return note.allProtected > 0;
}

void Grid::cutWideEdges(Cell *line, int first, int end)
{
    if (isWideTail(line, first)) {
        line[first - 1].ch = U' ';
        line[first - 1].flags &= quint8(~CellWide);
    }
    if (end < m_cols && isWideTail(line, end))
        line[end].flags &= quint8(~CellWideTail);
}

void Grid::fillWith(const Cell &blank)
{
    if (m_fillNumber != 0 && blank == m_fillCell)
        return;
    m_fillCell = blank;
    if (++m_fillNumber == 0)
        m_fillNumber = 1;
}

void Grid::fillRow(int physicalRow)
{
    RowNote &note = m_notes[size_t(physicalRow)];
    if (note.filledBy == m_fillNumber)
        return;
    Cell *line = m_cells.data() + ptrdiff_t(physicalRow) * m_cols;
    fillCells(line, line + m_cols, m_fillCell);
    note = RowNote();
    note.filledBy = m_fillNumber;
}

void Grid::fill(const Cell &blank)
{
    // All rows alike: the ring may start anywhere.
    fillWith(blank);
    for (int p = 0; p < m_rows; ++p)
        fillRow(p);
    m_top = 0;
    m_mayHaveWide = false;
}

void Grid::fillRect(int top, int left, int bottom, int right, const Cell &blank)
{
    top = std::max(0, top);
    left = std::max(0, left);
    bottom = std::min(m_rows, bottom);
    right = std::min(m_cols, right);
    if (left == 0 && right == m_cols && top < bottom) {
        fillWith(blank);
        for (int r = top; r < bottom; ++r)
            fillRow(physical(r));
        return;
    }
    for (int r = top; r < bottom && left < right; ++r)
        std::fill(row(r) + left, row(r) + right, blank);
}

void Grid::scroll(
    int top, int bottom, int n, const Cell &blank, const std::function<void(const Cell *)> &leaving)
{
    top = std::max(0, top);
    bottom = std::min(m_rows, bottom);
    const int height = bottom - top;
    if (n == 0 || height <= 0)
        return;
    if (n > 0) {
        n = std::min(n, height);
        if (leaving) {
            for (int r = top; r < top + n; ++r)
                leaving(row(r));
        }
        if (top == 0 && bottom == m_rows) {
            m_top = (m_top + n) % m_rows;
        } else {
            for (int r = top; r < bottom - n; ++r)
                std::copy_n(row(r + n), m_cols, row(r));
        }
        fillRect(bottom - n, 0, bottom, m_cols, blank);
    } else {
        n = std::min(-n, height);
        if (top == 0 && bottom == m_rows) {
            m_top = (m_top + m_rows - n) % m_rows;
        } else {
            for (int r = bottom - 1; r >= top + n; --r)
                std::copy_n(row(r - n), m_cols, row(r));
        }
        fillRect(top, 0, top + n, m_cols, blank);
    }
}

void Grid::moveRect(int destTop, int destLeft, int srcTop, int srcLeft, int rows, int cols)
{
    auto copyRow = [&](int r) {
        const Cell *src = row(srcTop + r) + srcLeft;
        Cell *dst = row(destTop + r) + destLeft;
        if (dst < src)
            std::copy_n(src, cols, dst);
        else
            std::copy_backward(src, src + cols, dst + cols);
    };
    if (destTop <= srcTop) {
        for (int r = 0; r < rows; ++r)
            copyRow(r);
    } else {
        for (int r = rows - 1; r >= 0; --r)
            copyRow(r);
    }
}

void Grid::resize(int rows, int cols, int firstKept)
{
    rows = std::max(1, rows);
    cols = std::max(1, cols);
    std::vector<Cell> cells(size_t(rows) * size_t(cols));
    for (int r = 0; r < rows && firstKept + r < m_rows; ++r) {
        if (firstKept + r >= 0)
            std::copy_n(
                row(firstKept + r), std::min(cols, m_cols), cells.begin() + ptrdiff_t(r) * cols);
    }
    m_cells.swap(cells);
    m_rows = rows;
    m_cols = cols;
    m_top = 0;
    forgetNotes();
}

} // namespace emu
