#pragma once
// One character cell of the terminal screen: the character and how it is drawn. A wide (East
// Asian) character takes two cells: its own, flagged CellWide, and a blank one after it flagged
// CellWideTail, which text taken from the screen leaves out. A cell holds a whole code point, so
// a character beyond the Basic Multilingual Plane (most emoji, the CJK extension planes) is kept
// as it came and becomes a surrogate pair in text taken from the screen. A line shown at double
// width or height carries its size in the flags of every one of its cells, so that it keeps its
// size wherever the line moves.

#include <QtGlobal>

QT_BEGIN_NAMESPACE
class QString;
QT_END_NAMESPACE

namespace emu {

enum CellAttr : quint8 {
    AttrBold = 0x01,
    AttrUnderline = 0x02,
    AttrBlink = 0x04,
    AttrReverse = 0x08,
    AttrItalic = 0x10,
    AttrStrike = 0x20,
    // The colour indexes are ignored in favour of the view's default colours.
    AttrDefaultFg = 0x40,
    AttrDefaultBg = 0x80,
};

enum CellFlag : quint8 {
    // Kept by a selective erase (the host's protected characters).
    CellProtected = 0x01,
    // The left cell of a wide character.
    CellWide = 0x02,
    // The right cell of a wide character: no character of its own.
    CellWideTail = 0x04,
    // Half intensity.
    CellDim = 0x08,
    // Shown as a blank (the terminals' "blank" or "invisible" attribute).
    CellConcealed = 0x10,
    // An attribute cell of a terminal whose attributes take a place on the screen: it shows as a
    // blank and gives its attributes to the cells after it, up to the next one.
    CellCookie = 0x20,
    // The size of the line the cell is on.
    LineDoubleWidth = 0x40,
    LineDoubleTop = 0x80,
    LineDoubleBottom = 0xC0,
    LineSizeMask = 0xC0,
};

// Eight bytes per cell (a code point and four bytes of looks, no padding) keeps a full history
// small; colours index the 256-colour palette.
struct Cell
{
    char32_t ch = U' ';
    quint8 fg = 7;
    quint8 bg = 0;
    quint8 attr = AttrDefaultFg | AttrDefaultBg;
    quint8 flags = 0;

    bool operator==(const Cell &other) const = default;
};
static_assert(sizeof(Cell) == 8, "a cell is a code point and four bytes, without padding");

// A right half whose wide character is still there (a character written over either half
// leaves a plain blank or a lone left half, which show as they are).
inline bool isWideTail(const Cell *cells, int col)
{
    return (cells[col].flags & CellWideTail) && col > 0 && (cells[col - 1].flags & CellWide);
}

// The characters of cells [from, end) of a row, the right halves of wide characters left out.
// A character beyond the Basic Multilingual Plane becomes its surrogate pair.
QString cellsText(const Cell *cells, int from, int end);

// A cell erased with a pen: the pen's colours, none of its other attributes.
inline Cell erasedCell(const Cell &pen)
{
    Cell blank;
    blank.fg = pen.fg;
    blank.bg = pen.bg;
    blank.attr = pen.attr & (AttrDefaultFg | AttrDefaultBg);
    return blank;
}

// A colour code as the automation members pass it: foreground + 16 * background, both from the
// sixteen basic colours; -1 (or any negative value) means the terminal's default colours.
inline Cell blankCell(int colorCode)
{
    Cell c;
    if (colorCode >= 0) {
        c.fg = quint8(colorCode & 15);
        c.bg = quint8((colorCode >> 4) & 15);
        c.attr = 0;
    }
    return c;
}

} // namespace emu
