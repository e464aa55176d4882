#include "emulator/pcmonitoremulation.h"

namespace emu {

PcMonitorEmulation::PcMonitorEmulation(int rows, int cols, EmulationSink *sink)
    : CharEmulation(rows, cols, sink)
{
    Behaviour b;
    b.autoWrap = true;
    b.rightWraps = false;
    setBehaviour(b);

    using C = PcMonitorEmulation;
    std::vector<Sequence> table
        = withBasicControls({ { "\x0c", &C::doEraseScreen, EraseAll | EraseHome } });
    const std::vector<Sequence> &ansi = ansiSequences();
    table.insert(table.end(), ansi.begin(), ansi.end());
    setSequences(table);
    setUpperHalf(cp437Upper);

    setKeys({
        { Qt::Key_Up, Plain, "\x1b[A" },
        { Qt::Key_Down, Plain, "\x1b[B" },
        { Qt::Key_Right, Plain, "\x1b[C" },
        { Qt::Key_Left, Plain, "\x1b[D" },
        { Qt::Key_Home, Plain, "\x1b[H" },
        { Qt::Key_End, Plain, "\x1b[F" },
        { Qt::Key_PageUp, Plain, "\x1b[I" },
        { Qt::Key_PageDown, Plain, "\x1b[G" },
        { Qt::Key_Insert, Plain, "\x1b[L" },
        { Qt::Key_Delete, Plain, "\x7f" },
        { Qt::Key_Backtab, Shift, "\x1b[Z" },
        { Qt::Key_Backtab, Plain, "\x1b[Z" },
    });
}

QByteArray PcMonitorEmulation::functionKey(int n, bool shifted) const
{
    static constexpr char finals[] = "MNOPQRSTUVWXYZabcdefghij";
    if (n < 1 || n > 12)
        return QByteArray();
    return QByteArray("\x1b[") + finals[(shifted ? 12 : 0) + n - 1];
}

} // namespace emu
