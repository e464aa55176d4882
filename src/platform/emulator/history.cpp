#include "emulator/history.h"

#include <algorithm>

namespace emu {

History::History(int capacity, int cols)
    : m_capacity(std::max(0, capacity))
    , m_cols(std::max(1, cols))
{ }

void History::grow()
{
    // Allocate in doubling steps so heavy output does not reallocate per line; the ring is
    // unwrapped into the new storage (oldest first).
    const int slots = std::min(m_capacity, std::max(64, m_slots * 2));
    std::vector<Cell> cells(size_t(slots) * size_t(m_cols));
    for (int i = 0; i < m_count; ++i)
        std::copy_n(line(i), m_cols, cells.begin() + ptrdiff_t(i) * m_cols);
    m_cells.swap(cells);
    m_slots = slots;
    m_first = 0;
}

void History::push(const Cell *cells, int n)
{
    if (m_capacity == 0)
        return;
    if (m_count == m_slots && m_slots < m_capacity)
        grow();
    int target;
    if (m_count < m_slots) {
        target = slot(m_count);
        ++m_count;
    } else {
        target = m_first;
        m_first = (m_first + 1) % m_slots;
    }
    Cell *dst = m_cells.data() + ptrdiff_t(target) * m_cols;
    const int take = std::min(n, m_cols);
    std::copy_n(cells, take, dst);
    std::fill(dst + take, dst + m_cols, Cell());
}

bool History::popNewest(Cell *out)
{
    if (m_count == 0)
        return false;
    std::copy_n(line(m_count - 1), m_cols, out);
    --m_count;
    return true;
}

const Cell *History::line(int i) const
{
    return m_cells.data() + ptrdiff_t(slot(i)) * m_cols;
}

void History::clear()
{
    m_cells = std::vector<Cell>();
    m_slots = m_first = m_count = 0;
}

void History::reshape(int capacity, int cols)
{
    capacity = std::max(0, capacity);
    cols = std::max(1, cols);
    if (capacity == m_capacity && cols == m_cols)
        return;
    History next(capacity, cols);
    for (int i = std::max(0, m_count - capacity); i < m_count; ++i)
        next.push(line(i), m_cols);
    *this = std::move(next);
}

} // namespace emu
