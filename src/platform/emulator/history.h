#pragma once
// The lines that scrolled off the top of the screen, oldest first, kept in a ring of at most
// `capacity` lines of one width. Storage grows with use, so an idle control costs little.

#include "emulator/cell.h"

#include <vector>

namespace emu {

class History
{
public:
    History(int capacity, int cols);

    int capacity() const { return m_capacity; }
    int cols() const { return m_cols; }
    int count() const { return m_count; }

    // Appends a line (cut or padded to the width); the oldest line goes when the ring is full.
    void push(const Cell *cells, int n);
    // Removes the newest line into out (cols() cells); false when empty.
    bool popNewest(Cell *out);
    // Line i, 0 the oldest; cols() cells.
    const Cell *line(int i) const;

    void clear();
    // Changes capacity and width, keeping the newest lines that still fit.
    void reshape(int capacity, int cols);

    // Bytes held by the ring (for the memory figures).
    size_t bytes() const { return m_cells.capacity() * sizeof(Cell); }

private:
    int slot(int i) const { return (m_first + i) % m_slots; }
    void grow();

    int m_capacity;
    int m_cols;
    int m_slots = 0; // lines allocated so far (up to capacity)
    int m_first = 0; // slot of the oldest line
    int m_count = 0;
    std::vector<Cell> m_cells;
};

} // namespace emu
