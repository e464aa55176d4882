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
    QString text(m_cols, Qt::Uninitialized);
    const Cell *cells = row(r);
    for (int c = 0; c < m_cols; ++c)
        text[c] = QChar(cells[c].ch);
    return text;
}

QString Block::Text() const
{
    QStringList lines;
    for (int r = 0; r < m_rows; ++r)
        lines << Line(r);
    return lines.join(u'\n');
}

} // namespace emu
