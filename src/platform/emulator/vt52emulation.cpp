#include "emulator/vt52emulation.h"

namespace emu {

namespace {

// The graphics set, characters '_' to '~'.
constexpr char16_t vt52Graphics[] = u" `█⅟³⁵⁷°±→…÷↓⎺⎺⎻⎻──⎼⎽₀₁₂₃₄₅₆₇₈₉¶";
static_assert(sizeof(vt52Graphics) / sizeof(char16_t) == 33);

} // namespace

Vt52Emulation::Vt52Emulation(int rows, int cols, EmulationSink *sink)
    : CharEmulation(rows, cols, sink)
{
    Behaviour b;
    b.autoWrap = false;
    b.backWrap = false;
    b.upWraps = false;
    b.rightWraps = false;
    setBehaviour(b);

    using C = Vt52Emulation;
    using V = Vt52Emulation;
    setSequences(withBasicControls({
        { "\x1b" "A", &C::doCursorUp },
        { "\x1b" "B", &C::doCursorDown },
        { "\x1b" "C", &C::doCursorRight },
        { "\x1b" "D", &C::doCursorLeft },
        { "\x1b" "F", &C::doGraphics, 1 },
        { "\x1bG", &C::doGraphics, 0 },
        { "\x1bH", &C::doHome },
        { "\x1bI", &C::doReverseIndex },
        { "\x1bJ", &C::doEraseScreen, EraseToEnd },
        { "\x1bK", &C::doEraseLine, EraseToEnd },
        { "\x1bY%c%c", op(&V::doAddress) },
        { "\x1bZ", op(&V::doIdentify) },
        { "\x1b=", op(&V::doKeypad), 1 },
        { "\x1b>", op(&V::doKeypad), 0 },
        { "\x1b]", op(&V::doPrintScreen) },
        { "\x1b<", &C::doIgnore },
        { "\x1b[", &C::doIgnore },
        { "\x1b\\", &C::doIgnore },
        { "\x1b^", &C::doIgnore },
        { "\x1b_", &C::doIgnore },
        { "\x1bV", &C::doIgnore },
        { "\x1bW", &C::doIgnore },
        { "\x1bX", &C::doIgnore },
    }));

    setKeys({
        { Qt::Key_Up, Plain, "\x1b" "A" },
        { Qt::Key_Down, Plain, "\x1b" "B" },
        { Qt::Key_Right, Plain, "\x1b" "C" },
        { Qt::Key_Left, Plain, "\x1b" "D" },
        { Qt::Key_Delete, Plain, "\x7f" },
    });
}

char32_t Vt52Emulation::graphicChar(char32_t ch) const
{
    return ch >= '_' && ch <= '~' ? char32_t(vt52Graphics[ch - '_']) : ch;
}

QByteArray Vt52Emulation::functionKey(int n, bool) const
{
    if (n >= 1 && n <= 4)
        return QByteArray("\x1b") + char('P' + n - 1);
    if (n >= 5 && n <= 10)
        return QByteArray("\x1b?") + char('t' + n - 5);
    return QByteArray();
}

QByteArray Vt52Emulation::specialKey(int qtKey, int, bool keypad, const QString &)
{
    if (!m_keypadApplication || !keypad)
        return QByteArray();
    if (qtKey == Qt::Key_Enter)
        return QByteArray("\x1b?M");
    if (qtKey == Qt::Key_Period)
        return QByteArray("\x1b?n");
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return QByteArray("\x1b?") + char('p' + (qtKey - Qt::Key_0));
    return QByteArray();
}

void Vt52Emulation::doAddress(const SequenceArgs &a, int)
{
    // A line out of range leaves the cursor on its line; a column out of range goes to the
    // right margin.
    const int line = a.value(0) - 32;
    const int column = a.value(1) - 32;
    moveTo(line >= 0 && line < rows() ? line : row(), column < 0 ? col() : column);
}

void Vt52Emulation::doKeypad(const SequenceArgs &, int param)
{
    m_keypadApplication = param != 0;
}

void Vt52Emulation::doIdentify(const SequenceArgs &, int)
{
    answer("\x1b/K");
}

void Vt52Emulation::doPrintScreen(const SequenceArgs &, int)
{
    sink()->printScreenRequested();
}

} // namespace emu
