#pragma once
// The ADDS Viewpoint family: the Viewpoint A2, the Viewpoint 60 (and a PC program's emulation
// of it, which behaves the same), and the A2 with its enhanced mode on.
//
// All of them: addressing by ESC Y row column (each plus 32), ^Z up (from the top row to the
// bottom row), line feed down, ^F right, ^H and ^U left, ^L clears the screen, ESC K and ESC k
// erase to the end of the line and of the screen, ESC M and ESC l insert and delete a line,
// ESC 0 x chooses an attribute (x: 0x40 plus 1 half intensity, 2 blink, 4 blank, 16 reverse,
// 32 underline). ^A goes to the bottom row on the A2 and the 60 (their "home down"), to the top
// row in enhanced mode. ESC ? answers the cursor address as row and column characters and CR.
//
// The A2 applies the attribute to the characters written while the tag is on (^N on, ^O off);
// the 60 keeps it on the screen as an attribute cell ("magic cookie"). Enhanced mode adds the
// editing and protection sequences of its native command set: ESC W delete character,
// ESC q / ESC r insert mode, ESC = addressing, ESC E, R, Q insert line, delete line, insert
// character, ESC T, y erase, ESC j reverse line feed, ESC I back tab, ESC ) ( & ' protection,
// ESC G attributes, ESC ` screen features.
//
// Keys: arrows ^Z line feed ^F ^U, Home ^A, function keys ^B and a digit (the A2) or ^B, a digit
// and CR (the 60); shifted function keys send the shifted digit (^B !).

#include "emulator/charemulation.h"

namespace emu {

class ViewpointEmulation : public CharEmulation
{
public:
    enum class Model { A2, Viewpoint60, A2Enhanced };

    ViewpointEmulation(Model model, int rows, int cols, EmulationSink *sink);

protected:
    QByteArray functionKey(int n, bool shifted) const override;
    void resetFamily() override;

private:
    void doAttribute(const SequenceArgs &a, int);
    void doTag(const SequenceArgs &, int param);
    void doWyseAttribute(const SequenceArgs &a, int);
    void doScreenFeature(const SequenceArgs &a, int);
    void doReportCursor(const SequenceArgs &, int);

    Model m_model;
    int m_tagLook = 0;
    bool m_tag = false;
};

} // namespace emu
