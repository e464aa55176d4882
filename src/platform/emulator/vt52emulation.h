#pragma once
// The DEC VT52: ESC A B C D move the cursor (stopping at the edges), ESC H home, ESC Y row
// column addressing (each plus 32), ESC I reverse line feed, ESC J and ESC K erase to the end of
// the screen and of the line, ESC F and ESC G select and leave the graphics set (fractions,
// arrows, scan lines, subscripts), ESC = and ESC > the alternate and numeric keypad, ESC Z asks
// for the identity (answered ESC / K), ESC ] prints the screen. No automatic margins: text at
// the last column stays there.
//
// Keys: arrows ESC A-D, PF1-PF4 on F1-F4 (ESC P-S); F5-F10 send the alternate-keypad codes of
// 4 to 9 (ESC ? t ... ESC ? y) as the terminal's entries have them; in alternate keypad mode the
// keypad's digits, point and Enter send ESC ? p ... y, ESC ? n and ESC ? M.

#include "emulator/charemulation.h"

namespace emu {

class Vt52Emulation : public CharEmulation
{
public:
    Vt52Emulation(int rows, int cols, EmulationSink *sink);

protected:
    char32_t graphicChar(char32_t ch) const override;
    QByteArray functionKey(int n, bool shifted) const override;
    QByteArray specialKey(int qtKey, int mods, bool keypad, const QString &text) override;
    void resetFamily() override { m_keypadApplication = false; }

private:
    void doAddress(const SequenceArgs &a, int);
    void doKeypad(const SequenceArgs &, int param);
    void doIdentify(const SequenceArgs &, int);
    void doPrintScreen(const SequenceArgs &, int);

    bool m_keypadApplication = false;
};

} // namespace emu
