#pragma once
// The Wyse 50 and Wyse 60 in their own personality: addressing by ESC = row column, editing by
// ESC E, R, Q, W, erasing by ESC T, Y, +, *, protected fields (ESC ) and ESC ( write them,
// ESC & and ESC ' switch protect mode; they show dim, or reverse after ESC ` 6), attributes by
// ESC G, the line graphics (ESC H on the 50, ESC c E on the 60 with the PC's character set), the
// host message and the function-key labels of the 25th line (ESC F, ESC z), host-programmed
// function keys (ESC z, ESC Z), and the reports: ESC ? answers the cursor address as row and
// column characters and CR, ESC space the model ("50" or "60", then CR). Display memory holds
// two pages: ESC w 0 and ESC w 1 show one of them (what terminfo's wy60 enters and leaves
// full-screen programs with), ESC J and ESC K the previous and the next.
//
// The Wyse 50 keeps attributes on the screen: ESC G takes a place and reaches up to the next
// attribute ("magic cookie"); the Wyse 60 applies them to the characters that follow. The
// cursor wraps at all four edges: left from column 0 to the line above, up from the top row to
// the bottom row, right from the last column to the next line.
//
// The keys send what the terminal's keyboard sends: arrows ^K ^J ^H ^L, Home ^^ (Shift: ESC {),
// Insert ESC Q (Shift: insert line ESC E), Delete ESC W (Shift: delete line ESC R), Page Up and
// Down ESC J and ESC K, End clears the line (ESC T; Shift: the page, ESC Y), Shift+Tab ESC I,
// Print ESC P, F1-F16 ^A @ ... ^A O CR, shifted ^A ` ... ^A o CR.

#include "emulator/charemulation.h"

namespace emu {

class WyseEmulation : public CharEmulation
{
public:
    enum class Model { Wyse50, Wyse60 };

    WyseEmulation(Model model, int rows, int cols, EmulationSink *sink);

protected:
    char32_t graphicChar(char32_t ch) const override;
    QByteArray functionKey(int n, bool shifted) const override;
    void resetFamily() override;

private:
    void doAttribute(const SequenceArgs &a, int);
    void doScreenFeature(const SequenceArgs &a, int);
    void doLineGraphics(const SequenceArgs &, int param);
    void doPcGraphics(const SequenceArgs &, int param);
    void doReportCursor(const SequenceArgs &, int);
    void doIdentify(const SequenceArgs &, int);
    void doLabel(const SequenceArgs &a, int param);
    void doFunctionKey(const SequenceArgs &a, int);
    void doProgramKey(const SequenceArgs &a, int);
    void doLineAttribute(const SequenceArgs &a, int);
    void doShowPage(const SequenceArgs &a, int);
    // step -1: the previous page, 1: the next.
    void doNextPage(const SequenceArgs &, int step);

    Model m_model;
    bool m_pcSet = false; // ESC c E: the PC's character set for graphics
};

} // namespace emu
