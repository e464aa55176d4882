#pragma once
// The cells of a terminal screen as a ring of rows, so that scrolling the whole screen turns
// the ring instead of moving every cell. Row and column ranges are half-open: [first, end).
//
// Each row keeps notes that spare looking at its cells again: whether every cell is protected,
// whether the last fill left the whole row as it is (filling it again with the same cell does
// nothing), and which erase (a number the caller gives) left it so. A note holds until the row is
// written: any access to its cells that may change them forgets it.

#include "emulator/cell.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace emu {

// Cells [first, last) become `cell`, written as whole words (a Cell is eight bytes, which a
// plain std::fill writes field by field).
inline void fillCells(Cell *first, Cell *last, const Cell &cell)
{
    quint64 bits;
    std::memcpy(&bits, &cell, sizeof bits);
    for (Cell *c = first; c < last; ++c)
        std::memcpy(c, &bits, sizeof bits);
}

class Grid
{
public:
    Grid(int rows, int cols);

    int rows() const { return m_rows; }
    int cols() const { return m_cols; }
    Cell *row(int r)
    {
        const int p = physical(r);
        m_notes[size_t(p)] = RowNote();
        return m_cells.data() + ptrdiff_t(p) * m_cols;
    }
    const Cell *row(int r) const { return m_cells.data() + offset(r); }

    // Every cell of row r is protected (CellProtected).
    bool allProtected(int r) const;
    // Row r was last erased by the erase `token` (not 0) and not written since.
    bool erasedBy(int r, quint32 token) const { return m_notes[size_t(physical(r))].erasedBy == token; }
    void noteErased(int r, quint32 token) { m_notes[size_t(physical(r))].erasedBy = token; }

    // Writes a character one or two cells wide (a wide one needs col + 1 < cols()); the flags
    // of `cell` other than the wide ones are kept. The other half of a wide character it cuts in
    // two becomes a plain blank.
    void putChar(int row, int col, const Cell &cell, bool wide)
    {
        Cell *line = this->row(row);
        if (m_mayHaveWide)
            cutWideEdges(line, col, col + (wide ? 2 : 1));
        const quint8 flags = cell.flags & quint8(~(CellWide | CellWideTail));
        Cell &head = line[col];
        head = cell;
        if (!wide) {
            head.flags = flags;
            return;
        }
        head.flags = flags | CellWide;
        m_mayHaveWide = true;
        Cell &tail = line[col + 1];
        tail = cell;
        tail.ch = U' ';
        tail.flags = flags | CellWideTail;
    }
    // A combining mark joins the character that ends before col (the one before the cursor)
    // when Unicode has one character for the two; false when it has none (the mark is dropped:
    // a cell holds one character).
    bool combineBefore(int row, int col, char32_t mark);
    // Writes n ASCII characters, all looking like `look`, from col on (within the row).
    void putAscii(int row, int col, const char *chars, int n, const Cell &look)
    {
        Cell *line = this->row(row);
        if (m_mayHaveWide)
            cutWideEdges(line, col, col + n);
        const quint8 flags = look.flags & quint8(~(CellWide | CellWideTail));
        for (Cell *cell = line + col; cell < line + col + n; ++cell, ++chars) {
            *cell = look;
            cell->ch = char32_t(uchar(*chars));
            cell->flags = flags;
        }
    }
    // Writes n copies of a character one cell wide, looking like `look`, from col on (within the
    // row).
    void putRun(int row, int col, char32_t ch, int n, const Cell &look)
    {
        Cell *line = this->row(row);
        if (m_mayHaveWide)
            cutWideEdges(line, col, col + n);
        Cell cell = look;
        cell.ch = ch;
        cell.flags = look.flags & quint8(~(CellWide | CellWideTail));
        fillCells(line + col, line + col + n, cell);
    }
    // Copies cells put from outside (text and blocks from the API) to a place of the grid, cut
    // at the right edge; false (nothing copied) when the place is outside the grid.
    bool copyIn(int row, int col, const Cell *cells, int n)
    {
        if (row < 0 || row >= m_rows || col < 0 || col >= m_cols)
            return false;
        n = std::min(n, m_cols - col);
        noteCopiedCells(cells, n);
        std::copy_n(cells, n, this->row(row) + col);
        return true;
    }
    // A new size that keeps the cursor's row on the screen: the rows above it that no longer fit
    // are handed to `leaving` (may be empty) and dropped, rows below it are dropped, a larger grid
    // gets blank cells. Returns how many rows left the top.
    int resizeKeeping(int rows, int cols, int cursorRow,
        const std::function<void(const Cell *)> &leaving = {})
    {
        const int dropTop = std::max(0, cursorRow - (std::max(1, rows) - 1));
        for (int r = 0; r < dropTop && leaving; ++r)
            leaving(this->row(r));
        resize(rows, cols, dropTop);
        return dropTop;
    }
    // Cells copied in from outside (text and blocks put from the API) may hold wide characters.
    void noteCopiedCells(const Cell *cells, int n)
    {
        m_mayHaveWide = m_mayHaveWide
            || std::any_of(cells, cells + n, [](const Cell &c) { return c.flags & CellWide; });
    }
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
    // Cells [first, end) of a line are about to be written: a wide character reaching into them
    // from either side keeps its other half as a plain blank.
    void cutWideEdges(Cell *line, int first, int end);
    // r is within [0, rows), so one subtraction wraps the ring (no division per cell written).
    int physical(int r) const
    {
        const int p = m_top + r;
        return p >= m_rows ? p - m_rows : p;
    }
    ptrdiff_t offset(int r) const { return ptrdiff_t(physical(r)) * m_cols; }
    void forgetNotes() { m_notes.assign(size_t(m_rows), RowNote()); }

    // What is known of a row (by its place in the ring) until it is written.
    struct RowNote
    {
        quint32 erasedBy = 0;
        quint32 filledBy = 0; // m_fillNumber of the fill that left the row so, 0 none
        qint8 allProtected = -1; // -1 not known yet
    };
    // Fills whole row r (by its place in the ring) with m_fillCell unless it is so already.
    void fillRow(int physicalRow);
    // The fill cell becomes `blank` (the rows noted for another one are no longer known).
    void fillWith(const Cell &blank);

    int m_rows;
    int m_cols;
    int m_top = 0; // ring index of row 0
    // False while no wide character was written since the grid was last cleared: characters
    // written then need not look for wide ones they cut in two.
    bool m_mayHaveWide = false;
    std::vector<Cell> m_cells;
    mutable std::vector<RowNote> m_notes;
    Cell m_fillCell;
    quint32 m_fillNumber = 0;
};

} // namespace emu
