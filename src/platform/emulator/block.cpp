#include "emulator/block.h"

#include <QStringList>

#include <algorithm>

namespace emu {

Block::Block(int rows, int cols, QObject *parent)
    : QObject(parent)
    , m_rows(std::max(0, rows))
    , m_cols(std::max(0, cols))
    , m_cells(size_t(m_rows) * size_t(m_cols))
{ }

QString Block::Line(int r) const
{
    if (r < 0 || r >= m_rows)
        return QString();
    return cellsText(row(r), 0, m_cols);
}

QString Block::Text() const
{
    QStringList lines;
    for (int r = 0; r < m_rows; ++r)
        lines << Line(r);
    return lines.join(u'\n');
}

} // namespace emu
