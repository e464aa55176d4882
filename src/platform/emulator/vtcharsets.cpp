#include "emulator/vtcharsets.h"

#include <array>
#include <iterator>

namespace emu {

namespace {

constexpr char16_t reservedMark = u'⸮'; // a position DEC left unassigned

// DEC Special Graphics, positions 0x5F-0x7E.
constexpr char16_t decGraphics[] = u" ◆▒␉␌␍␊°±␤␋┘┐┌└┼⎺⎻─⎼⎽├┤┴┬│≤≥π≠£·";
static_assert(std::size(decGraphics) == 0x7F - 0x5F + 1);

// DEC Supplemental Graphics, positions 0x20-0x7F (bytes 0xA0-0xFF): Latin-1 but for the
// positions marked and a few letters (the currency sign, OE, Y with diaeresis).
constexpr char16_t decSupplemental[] = u"\u00a0¡¢£⸮¥⸮§¤©ª«⸮⸮⸮⸮°±²³⸮µ¶·⸮¹º»¼½⸮¿"
                                       u"ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏ⸮ÑÒÓÔÕÖŒØÙÚÛÜŸ⸮ß"
                                       u"àáâãäåæçèéêëìíîï⸮ñòóôõöœøùúûüÿ⸮ÿ";
static_assert(std::size(decSupplemental) == 96 + 1);

// The national replacement sets: what each puts at # @ [ \ ] ^ _ ` { | } ~ (in that order),
// in the order of Charset from Dutch on.
constexpr char nationalPositions[] = "#@[\\]^_`{|}~";
constexpr const char16_t *national[] = {
    u"£¾ĳ½|^_`¨ƒ¼´", // Dutch
    u"#@ÄÖÅÜ_éäöåü", // Finnish
    u"£à°ç§^_`éùè¨", // French
    u"#àâçêî_ôéùèû", // French Canadian
    u"#§ÄÖÜ^_`äöüß", // German
    u"£§°çé^_ùàòèì", // Italian
    u"#ÄÆØÅÜ_äæøåü", // Norwegian and Danish
    u"#@ÃÇÕ^_`ãçõ~", // Portuguese
    u"£§¡Ñ¿^_`°ñç~", // Spanish
    u"#ÉÄÖÅÜ_éäöåü", // Swedish
    u"ùàéçêîèôäöüû", // Swiss
};
static_assert(std::size(national) == int(Charset::Swiss) - int(Charset::Dutch) + 1);

struct Designator
{
    int size; // 94 or 96
    char mark;
    char final;
    int level; // the first level that knows it
    bool national; // needs national mode
    Charset set;
};

constexpr Designator designators[] = {
    { 94, 0, 'B', 1, false, Charset::Ascii },
    { 94, 0, '0', 1, false, Charset::DecGraphics },
    { 94, 0, 'A', 1, false, Charset::Uk },
    { 94, 0, '<', 2, false, Charset::DecSupplemental },
    { 94, '%', '5', 3, false, Charset::DecSupplemental },
    { 94, 0, '4', 2, true, Charset::Dutch },
    { 94, 0, 'C', 2, true, Charset::Finnish },
    { 94, 0, '5', 2, true, Charset::Finnish },
    { 94, 0, 'R', 2, true, Charset::French },
    { 94, 0, 'f', 3, true, Charset::French },
    { 94, 0, 'Q', 2, true, Charset::FrenchCanadian },
    { 94, 0, '9', 3, true, Charset::FrenchCanadian },
    { 94, 0, 'K', 2, true, Charset::German },
    { 94, 0, 'Y', 2, true, Charset::Italian },
    { 94, 0, '`', 2, true, Charset::Norwegian },
    { 94, 0, 'E', 2, true, Charset::Norwegian },
    { 94, 0, '6', 2, true, Charset::Norwegian },
    { 94, '%', '6', 3, true, Charset::Portuguese },
    { 94, 0, 'Z', 2, true, Charset::Spanish },
    { 94, 0, 'H', 2, true, Charset::Swedish },
    { 94, 0, '7', 2, true, Charset::Swedish },
    { 94, 0, '=', 2, true, Charset::Swiss },
    { 96, 0, 'A', 3, false, Charset::Latin1Supplemental },
};

bool is96(Charset set)
{
    return set == Charset::Latin1Supplemental;
}

char32_t linuxGraphic(char32_t position)
{
    switch (position) {
    case '+':
        return U'→';
    case ',':
        return U'←';
    case '-':
        return U'↑';
    case '.':
        return U'↓';
    case '0':
        return U'█';
    default:
        return position;
    }
}

char32_t nationalChar(Charset set, char32_t position)
{
    for (int i = 0; nationalPositions[i]; ++i) {
        if (char32_t(uchar(nationalPositions[i])) == position)
            return char32_t(national[int(set) - int(Charset::Dutch)][i]);
    }
    return position;
}

} // namespace

std::optional<Charset> designatedCharset(int size, char mark, char32_t final, CharsetScope scope)
{
    for (const Designator &d : designators) {
        if (d.size == size && d.mark == mark && char32_t(uchar(d.final)) == final
            && d.level <= scope.level && (!d.national || scope.national))
            return d.set;
    }
    if (size == 94)
        return Charset::Ascii;
    return std::nullopt;
}

char32_t charsetChar(Charset set, char32_t position, bool gr, bool linuxGraphics)
{
    if (position < 0x20 || position > 0x7F)
        return position;
    // Space and DEL: in GL always themselves; in GR part of a 96-character set only.
    if ((position == 0x20 || position == 0x7F) && (!gr || !is96(set)))
        return gr ? position + 0x80 : position;
    switch (set) {
    case Charset::Ascii:
        return position;
    case Charset::Uk:
        return position == '#' ? U'£' : position;
    case Charset::DecGraphics:
        if (position >= 0x5F)
            return char32_t(decGraphics[position - 0x5F]);
        return linuxGraphics ? linuxGraphic(position) : position;
    case Charset::DecSupplemental:
        return char32_t(decSupplemental[position - 0x20]);
    case Charset::Latin1Supplemental:
        return position + 0x80;
    default:
        return nationalChar(set, position);
    }
}

} // namespace emu
