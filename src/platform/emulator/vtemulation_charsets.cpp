// The VT family's character sets: designation, invocation and what a character shows as (see
// vtemulation.h and vtcharsets.h).

#include "emulator/vtemulation.h"

namespace emu {

namespace {

constexpr quint8 level3Types = (1 << int(VtKeyboard::Vt320)) | (1 << int(VtKeyboard::Vt420));
constexpr quint8 level2Types = 1 << int(VtKeyboard::Vt220);

// The G set an intermediate designates, and the size of the sets it takes; -1 for none.
struct Designator
{
    char inter;
    int set;
    int size;
};
constexpr Designator designators[] = {
    { '(', 0, 94 }, { ')', 1, 94 }, { '*', 2, 94 }, { '+', 3, 94 },
    { '-', 1, 96 }, { '.', 2, 96 }, { '/', 3, 96 },
};

} // namespace

void VtEmulation::resetCharsets()
{
    m_g = { Charset::Ascii, Charset::Ascii, Charset::Latin1Supplemental,
        Charset::Latin1Supplemental };
    m_gl = 0;
    m_gr = 2;
    m_singleShift = -1;
    if (m_dialect.linuxPalette)
        useLinuxGraphics();
}

CharsetScope VtEmulation::charsetScope() const
{
    CharsetScope scope;
    scope.level = (m_typeBit & level3Types) ? 3 : (m_typeBit & level2Types) ? 2 : 1;
    scope.national = m_national && scope.level >= 2;
    return scope;
}

bool VtEmulation::designation(const VtSequence &seq)
{
    if (seq.interCount == 0)
        return false;
    const Designator *d = nullptr;
    for (const Designator &one : designators) {
        if (one.inter == seq.inter[0])
            d = &one;
    }
    if (!d)
        return false;
    const CharsetScope scope = charsetScope();
    // G2 and G3 from the VT220 on (the sets each level knows: designatedCharset).
    if (d->set >= 2 && scope.level < 2)
        return false;
    const char mark = seq.interCount == 2 ? seq.inter[1] : 0;
    if (const auto set = designatedCharset(d->size, mark, seq.final, scope))
        m_g[size_t(d->set)] = *set;
    return true;
}

void VtEmulation::doLockingShiftRight(const VtSequence &, int set)
{
    m_gr = set;
}

char32_t VtEmulation::charsetMapped(char32_t ch)
{
    // GR is read only where the host's bytes are 8-bit data; from a UTF-8 host a character is
    // what it says.
    const bool gr = ch >= 0xA0 && ch <= 0xFF && m_dialect.encoding == HostEncoding::SingleByte;
    const int set = m_singleShift >= 0 ? m_singleShift : gr ? m_gr : m_gl;
    m_singleShift = -1;
    if (ch < 0x20 || (ch >= 0x7F && !gr))
        return ch;
    return charsetChar(m_g[size_t(set)], gr ? ch - 0x80 : ch, gr, m_dialect.linuxPalette);
}

} // namespace emu
