#include "emulator/cell.h"

#include <QString>

#include <algorithm>

namespace emu {

QString cellsText(const Cell *cells, int from, int end)
{
    QString text;
    text.reserve(std::max(0, end - from));
    for (int col = std::max(0, from); col < end; ++col) {
        if (isWideTail(cells, col))
            continue;
        const char32_t ch = cells[col].ch;
        if (QChar::requiresSurrogates(ch)) {
            text += QChar(QChar::highSurrogate(ch));
            text += QChar(QChar::lowSurrogate(ch));
        } else {
            text += QChar(char16_t(ch));
        }
    }
    return text;
}

} // namespace emu
