#include "emulator/cell.h"

#include <QString>

#include <algorithm>

namespace emu {

QString cellsText(const Cell *cells, int from, int end)
{
    QString text;
    text.reserve(std::max(0, end - from));
    for (int col = std::max(0, from); col < end; ++col) {
        if (!isWideTail(cells, col))
            text += QChar(cells[col].ch);
    }
    return text;
}

} // namespace emu
