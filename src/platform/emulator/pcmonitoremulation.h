#pragma once
// The PC console as the Pick hosts drive it ("Pick PC Monitor"). The console's own control
// codes are not published; the emulation follows the PC console's documented ANSI dialect
// (cursor addressing ESC [ row ; column H, erasing ESC [ J and ESC [ K, line and character
// insert and delete, ESC [ m with the sixteen colours, ESC [ s and ESC [ u, ESC [ 6 n answered
// ESC [ row ; column R, form feed clears the screen) and shows the bytes 0x80-0xFF that stand
// for themselves (all of them from a single-byte host, those that are not UTF-8 from another)
// in the PC's character set (code page 437: accents, line drawing, blocks). The keys send what the SCO
// console sends, the nearest documented PC keyboard: arrows ESC [ A-D, Home ESC [ H, End ESC [ F,
// Page Up ESC [ I, Page Down ESC [ G, Insert ESC [ L, Delete DEL, F1-F12 ESC [ M ... ESC [ X,
// shifted ESC [ Y ... ESC [ j.

#include "emulator/charemulation.h"

namespace emu {

class PcMonitorEmulation : public CharEmulation
{
public:
    PcMonitorEmulation(int rows, int cols, EmulationSink *sink);

protected:
    QByteArray functionKey(int n, bool shifted) const override;
};

} // namespace emu
