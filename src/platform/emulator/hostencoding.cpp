#include "emulator/hostencoding.h"

#include <QChar>
#include <QString>

#include <algorithm>
#include <iterator>

namespace emu {

namespace {

struct Range
{
    char32_t first;
    char32_t last;
};

// East Asian wide and full-width characters (Unicode's East Asian Width W and F), emoji with
// them, as the host's own character width tables count them. Sorted, without overlaps.
constexpr Range wideRanges[] = {
    { 0x1100, 0x115F }, // Hangul Jamo initial consonants
    { 0x231A, 0x231B }, // watch, hourglass
    { 0x2329, 0x232A }, // angle brackets
    { 0x2E80, 0x303E }, // CJK radicals ... CJK symbols and punctuation
    { 0x3040, 0xA4CF }, // Hiragana ... Yi
    { 0xAC00, 0xD7A3 }, // Hangul syllables
    { 0xF900, 0xFAFF }, // CJK compatibility ideographs
    { 0xFE10, 0xFE19 }, // vertical forms
    { 0xFE30, 0xFE6F }, // CJK compatibility forms
    { 0xFF00, 0xFF60 }, // full-width forms
    { 0xFFE0, 0xFFE6 },
    { 0x16FE0, 0x16FE4 }, // ideographic symbols and punctuation
    { 0x16FF0, 0x16FF1 },
    { 0x17000, 0x187F7 }, // Tangut
    { 0x18800, 0x18CD5 }, // Tangut components, Khitan small script
    { 0x18D00, 0x18D08 },
    { 0x1AFF0, 0x1AFF3 }, // Kana extended-B
    { 0x1AFF5, 0x1AFFB },
    { 0x1AFFD, 0x1AFFE },
    { 0x1B000, 0x1B122 }, // Kana supplement, Kana extended-A
    { 0x1B150, 0x1B152 }, // small Kana extension
    { 0x1B164, 0x1B167 },
    { 0x1B170, 0x1B2FB }, // Nushu
    { 0x1F004, 0x1F004 }, // mahjong tile red dragon
    { 0x1F0CF, 0x1F0CF }, // playing card black joker
    { 0x1F18E, 0x1F18E }, // enclosed alphanumerics: squared AB, CL ... VS
    { 0x1F191, 0x1F19A },
    { 0x1F200, 0x1F202 }, // enclosed ideographic supplement
    { 0x1F210, 0x1F23B },
    { 0x1F240, 0x1F248 },
    { 0x1F250, 0x1F251 },
    { 0x1F260, 0x1F265 },
    { 0x1F300, 0x1F320 }, // pictographs: the ones shown as emoji by default
    { 0x1F32D, 0x1F335 },
    { 0x1F337, 0x1F37C },
    { 0x1F37E, 0x1F393 },
    { 0x1F3A0, 0x1F3CA },
    { 0x1F3CF, 0x1F3D3 },
    { 0x1F3E0, 0x1F3F0 },
    { 0x1F3F4, 0x1F3F4 },
    { 0x1F3F8, 0x1F43E },
    { 0x1F440, 0x1F440 },
    { 0x1F442, 0x1F4FC },
    { 0x1F4FF, 0x1F53D },
    { 0x1F54B, 0x1F54E },
    { 0x1F550, 0x1F567 },
    { 0x1F57A, 0x1F57A },
    { 0x1F595, 0x1F596 },
    { 0x1F5A4, 0x1F5A4 },
    { 0x1F5FB, 0x1F64F }, // ... emoticons
    { 0x1F680, 0x1F6C5 }, // transport and map symbols
    { 0x1F6CC, 0x1F6CC },
    { 0x1F6D0, 0x1F6D2 },
    { 0x1F6D5, 0x1F6D7 },
    { 0x1F6DD, 0x1F6DF },
    { 0x1F6EB, 0x1F6EC },
    { 0x1F6F4, 0x1F6FC },
    { 0x1F7E0, 0x1F7EB }, // geometric shapes extended: large circles and squares
    { 0x1F7F0, 0x1F7F0 },
    { 0x1F90C, 0x1F93A }, // supplemental symbols and pictographs
    { 0x1F93C, 0x1F945 },
    { 0x1F947, 0x1F9FF },
    { 0x1FA70, 0x1FA74 }, // symbols and pictographs extended-A
    { 0x1FA78, 0x1FA7C },
    { 0x1FA80, 0x1FA86 },
    { 0x1FA90, 0x1FAAC },
    { 0x1FAB0, 0x1FABA },
    { 0x1FAC0, 0x1FAC5 },
    { 0x1FAD0, 0x1FAD9 },
    { 0x1FAE0, 0x1FAE7 },
    { 0x1FAF0, 0x1FAF6 },
    { 0x20000, 0x2FFFD }, // CJK extension planes
    { 0x30000, 0x3FFFD },
};

// Characters that join the one before them or take no cell; the general categories below
// cover the rest.
constexpr Range zeroWidthRanges[] = {
    { 0x1160, 0x11FF }, // Hangul Jamo medial vowels and final consonants
    { 0x200B, 0x200B }, // zero-width space
};

constexpr bool sortedApart(const Range *begin, const Range *end)
{
    return std::adjacent_find(begin, end, [](const Range &a, const Range &b) {
        return a.first > a.last || a.last >= b.first;
    }) == end;
}
static_assert(sortedApart(std::begin(wideRanges), std::end(wideRanges)));
static_assert(sortedApart(std::begin(zeroWidthRanges), std::end(zeroWidthRanges)));

// A binary search: the first range that ends at ch or after it.
bool inRanges(char32_t ch, const Range *begin, const Range *end)
{
    const Range *r = std::lower_bound(
        begin, end, ch, [](const Range &range, char32_t c) { return range.last < c; });
    return r != end && ch >= r->first;
}

// An OR of all bytes, which compilers turn into wide loads.
bool isAscii(QByteArrayView bytes)
{
    uchar any = 0;
    for (const char c : bytes)
        any |= uchar(c);
    return any < 0x80;
}

} // namespace

const char16_t cp437Upper[129] = u"ÇüéâäàåçêëèïîìÄÅ"
                                 u"ÉæÆôöòûùÿÖÜ¢£¥₧ƒ"
                                 u"áíóúñÑªº¿⌐¬½¼¡«»"
                                 u"░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
                                 u"└┴┬├─┼╞╟╚╔╩╦╠═╬╧"
                                 u"╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
                                 u"αßΓπΣσµτΦΘΩδ∞φε∩"
                                 u"≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0";
const char16_t cp437Controls[33] = u" ☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼";

int utf8Sequence(const uchar *p, const uchar *end, char32_t *ch)
{
    // The well-formed sequences: the lead byte fixes the length and the range of the second
    // byte (no overlong forms, no surrogates, nothing above U+10FFFF).
    const uchar lead = p[0];
    int length = 0;
    char32_t value = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return -1;
    }
    for (int i = 1; i < length; ++i) {
        if (p + i >= end)
            return 0;
        const uchar b = p[i];
        if (b < low || b > high)
            return -1;
        low = 0x80;
        high = 0xBF;
        value = (value << 6) | (b & 0x3F);
    }
    *ch = value;
    return length;
}

QString HostDecoder::decode(QByteArrayView bytes)
{
    // Latin-1 is the single-byte encoding, and ASCII reads the same in both.
    if (m_encoding == HostEncoding::SingleByte || (!holding() && isAscii(bytes)))
        return QString::fromLatin1(bytes);
    // No character takes more UTF-16 units than bytes, but the held ones may come in addition.
    QString text(bytes.size() + 4, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    decode(bytes, [&out](char32_t ch) {
        if (ch < 0x10000) {
            *out++ = char16_t(ch);
        } else {
            *out++ = QChar::highSurrogate(ch);
            *out++ = QChar::lowSurrogate(ch);
        }
    });
    text.truncate(out - reinterpret_cast<char16_t *>(text.data()));
    return text;
}

QString HostDecoder::flush()
{
    QString text;
    flush([&text](char32_t ch) { text += QChar(char16_t(ch)); });
    return text;
}

QString decodeHostText(QByteArrayView bytes, HostEncoding encoding)
{
    HostDecoder decoder(encoding);
    return decoder.decode(bytes) + decoder.flush();
}

QByteArray encodeHostText(QStringView text, HostEncoding encoding)
{
    if (encoding == HostEncoding::Utf8)
        return text.toUtf8();
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const char32_t ch : text.toUcs4())
        bytes += ch <= 0xFF ? char(ch) : '?';
    return bytes;
}

char *appendUtf8(char *out, char32_t ch)
{
    if (ch < 0x80) {
        *out++ = char(ch);
    } else if (ch < 0x800) {
        *out++ = char(0xC0 | (ch >> 6));
        *out++ = char(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        *out++ = char(0xE0 | (ch >> 12));
        *out++ = char(0x80 | ((ch >> 6) & 0x3F));
        *out++ = char(0x80 | (ch & 0x3F));
    } else {
        *out++ = char(0xF0 | (ch >> 18));
        *out++ = char(0x80 | ((ch >> 12) & 0x3F));
        *out++ = char(0x80 | ((ch >> 6) & 0x3F));
        *out++ = char(0x80 | (ch & 0x3F));
    }
    return out;
}

int charWidth(char32_t ch)
{
    if (ch < 0x300)
        return 1;
    if (inRanges(ch, std::begin(zeroWidthRanges), std::end(zeroWidthRanges)))
        return 0;
    switch (QChar::category(ch)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
        return 0;
    default:
        break;
    }
    return inRanges(ch, std::begin(wideRanges), std::end(wideRanges)) ? 2 : 1;
}

char32_t composedChar(char32_t base, const char32_t *marks, int count)
{
    QString text = QString::fromUcs4(&base, 1);
    text += QString::fromUcs4(marks, count);
    const QList<uint> nfc = text.normalized(QString::NormalizationForm_C).toUcs4();
    return nfc.size() == 1 ? char32_t(nfc.first()) : char32_t(0);
}

} // namespace emu
