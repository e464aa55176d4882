#pragma once
// The character sets of the DEC terminals, as a G0-G3 designation names them and as a position
// of a set shows. 94-character sets (ESC ( ) * + and the set's final, some with % before it):
// ASCII (B), DEC Special Graphics (0), the British set (A) on every type; DEC Supplemental
// Graphics (<, and % 5 from the VT320 on) from the VT220 on; the national replacement sets
// (Dutch 4; Finnish C 5; French R, f; French Canadian Q, 9; German K; Italian Y; Norwegian and
// Danish ` E 6; Portuguese % 6; Spanish Z; Swedish H 7; Swiss =) from the VT220 on, and only
// while the host has national mode on (DECNRCM); any other 94-character set named is ASCII.
// 96-character sets (ESC - . / and the final): ISO Latin-1 Supplemental (A) on the VT320 and
// VT420; any other 96-character set named leaves the set as it was.
//
// A position is the 7-bit code of a character, 0x20-0x7F: a GL byte as it is, a GR byte less
// 0x80. In a 94-character set the space and DEL positions are not part of the set: from GL they
// stay themselves, from GR they show as the Latin-1 characters of the byte (callers pass `gr`).
// The positions DEC left unassigned in its supplemental set show as a reversed question mark,
// as the terminal shows them.

#include <QtGlobal>

#include <optional>

namespace emu {

enum class Charset : quint8 {
    Ascii,
    DecGraphics,
    Uk,
    DecSupplemental,
    Latin1Supplemental,
    Dutch,
    Finnish,
    French,
    FrenchCanadian,
    German,
    Italian,
    Norwegian,
    Portuguese,
    Spanish,
    Swedish,
    Swiss,
};

// What a terminal's designations can reach: its level (1 the VT100 and the consoles, 2 the
// VT220, 3 the VT320 and VT420) and whether national mode is on.
struct CharsetScope
{
    int level = 1;
    bool national = false;
};

// The set a designation names: `size` 94 or 96, `mark` the intermediate before the final (0,
// '%'). nullopt when the designation changes nothing.
std::optional<Charset> designatedCharset(int size, char mark, char32_t final, CharsetScope scope);

// The character at `position` (0x20-0x7F) of the set; `gr` when the byte came as GR.
// `linuxGraphics`: the Linux console's graphics set, with arrows and a block beyond DEC's.
char32_t charsetChar(Charset set, char32_t position, bool gr, bool linuxGraphics = false);

} // namespace emu
