#pragma once
// The cells of a terminal screen as a ring of rows, so that scrolling the whole screen turns
// the ring instead of moving every cell. Row and column ranges are half-open: [first, end).

#include "emulator/cell.h"

#include <functional>
#include <vector>

namespace emu {

class Grid
{
public:
    Grid(int rows, int cols);

    int rows() const { return m_rows; }
    int cols() const { return m_cols; }
    Cell *row(int r) { return m_cells.data() + offset(r); }
    const Cell *row(int r) const { return m_cells.data() + offset(r); }

    // Writes a character one or two cells wide (a wide one needs col + 1 < cols()). The other
    // half of a wide character it cuts in two becomes a plain blank.
    void putChar(int row, int col, Cell cell, bool wide);
    void fill(const Cell &blank);
    void fillRect(int top, int left, int bottom, int right, const Cell &blank);
    // Rows [top, bottom) move up by n lines (down for a negative n); the rows left behind are
    // blank. Moving up, each row that leaves the top is first handed to `leaving` (may be empty).
    void scroll(int top, int bottom, int n, const Cell &blank,
        const std::function<void(const Cell *)> &leaving = {});
    // Copies a rectangle of cells (the areas may overlap).
    void moveRect(int destTop, int destLeft, int srcTop, int srcLeft, int rows, int cols);
    // The new grid holds rows [firstKept, firstKept + rows) of the old one, cut or padded to the
    // new width; rows beyond the old grid are blank.
    void resize(int rows, int cols, int firstKept);

private:
    // r is within [0, rows), so one subtraction wraps the ring (no division per cell written).
    ptrdiff_t offset(int r) const
    {
        const int physical = m_top + r;
        return ptrdiff_t(physical >= m_rows ? physical - m_rows : physical) * m_cols;
    }

    int m_rows;
    int m_cols;
    int m_top = 0; // ring index of row 0
    std::vector<Cell> m_cells;
};

} // namespace emu
