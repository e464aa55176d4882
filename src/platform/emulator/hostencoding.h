#pragma once
// The host's text encoding. A host talks UTF-8: its bytes are decoded as UTF-8, and a byte that
// neither starts nor continues a valid sequence stands for its Latin-1 character, so a
// single-byte host still shows its accented letters. A terminal that takes 8-bit controls
// (Ansi8Bit) talks to a single-byte host instead: each byte is one Latin-1 character, and
// 0x80-0x9F are the C1 controls. Text for the host goes out in the same encoding.
//
// A decoder keeps the state of one stream: a sequence cut off at the end of a read is held back
// until the next read completes it (at most three bytes).

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <utility>

namespace emu {

enum class HostEncoding { Utf8, SingleByte };

// Bytes taken by the UTF-8 sequence that starts at p: its length (2-4, ch set) when it is
// complete and valid, 0 when [p, end) is a valid but unfinished beginning, -1 when p does not
// start a valid sequence. p points at a byte of 0x80 or above.
int utf8Sequence(const uchar *p, const uchar *end, char32_t *ch);

class HostDecoder
{
public:
    explicit HostDecoder(HostEncoding encoding = HostEncoding::Utf8)
        : m_encoding(encoding)
    { }

    HostEncoding encoding() const { return m_encoding; }
    // A held sequence is given up with the old encoding (flush first to keep it).
    void setEncoding(HostEncoding encoding)
    {
        m_encoding = encoding;
        m_heldCount = 0;
    }
    bool holding() const { return m_heldCount > 0; }
    // Drops a held sequence (the stream starts afresh).
    void reset() { m_heldCount = 0; }
    // The characters of bytes 0x80-0xFF that stand for themselves (every byte of a single-byte
    // host, a byte that is not UTF-8): Latin-1, or the 128 characters of `table` (nullptr: back
    // to Latin-1). The table must outlive the decoder.
    void setUpperHalf(const char16_t *table) { m_upper = table; }

    // Calls out(char32_t) for each character of the bytes, in stream order.
    template<typename Sink> void decode(QByteArrayView bytes, Sink &&out);
    // The held bytes, as their Latin-1 characters (the stream ends or changes hands).
    template<typename Sink> void flush(Sink &&out);

    QString decode(QByteArrayView bytes);
    QString flush();

private:
    template<typename Sink> int step(const uchar *p, const uchar *end, Sink &out) const;
    char32_t single(uchar byte) const
    {
        return byte >= 0x80 && m_upper ? char32_t(m_upper[byte - 0x80]) : char32_t(byte);
    }

    HostEncoding m_encoding;
    const char16_t *m_upper = nullptr;
    uchar m_held[4] = {};
    int m_heldCount = 0;
};

// A whole piece of host text (nothing held back: a cut-off sequence shows as Latin-1).
QString decodeHostText(QByteArrayView bytes, HostEncoding encoding);
// Text for the host; with SingleByte a character beyond Latin-1 becomes "?".
QByteArray encodeHostText(QStringView text, HostEncoding encoding);
// Appends the UTF-8 form of ch to out and returns the byte after it.
char *appendUtf8(char *out, char32_t ch);
// Code page 437, the IBM PC's character set: the characters of bytes 0x80-0xFF, and the
// pictures the PC shows for the control codes 0x00-0x1F and for DEL.
extern const char16_t cp437Upper[129];
extern const char16_t cp437Controls[33];
constexpr char16_t cp437Delete = u'\u2302'; // a house

// Screen cells a character takes: 0 for combining marks and other zero-width characters, 2 for
// East Asian wide and full-width characters, 1 for the rest.
int charWidth(char32_t ch);

// The one character Unicode has for base followed by its combining marks (a + U+0301 is á), or
// 0 when it has none.
char32_t composedChar(char32_t base, const char32_t *marks, int count);

// --- Templates -------------------------------------------------------------------------------

template<typename Sink>
int HostDecoder::step(const uchar *p, const uchar *end, Sink &out) const
{
    char32_t ch = 0;
    const int n = utf8Sequence(p, end, &ch);
    if (n > 0)
        out(ch);
    else if (n < 0)
        out(single(*p)); // not UTF-8: the byte's own character
    return n < 0 ? 1 : n;
}

template<typename Sink> void HostDecoder::decode(QByteArrayView bytes, Sink &&out)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    const uchar *end = p + bytes.size();
    if (m_encoding == HostEncoding::SingleByte) {
        for (; p < end; ++p)
            out(single(*p));
        return;
    }
    if (m_heldCount > 0) {
        // The held beginning and the first bytes of this read, decoded until the read's own
        // bytes start.
        uchar joined[8];
        const int held = std::exchange(m_heldCount, 0);
        const int taken = int(std::min<qsizetype>(end - p, 4));
        std::copy_n(m_held, held, joined);
        std::copy_n(p, taken, joined + held);
        int at = 0;
        while (at < held) {
            if (joined[at] < 0x80) {
                out(char32_t(joined[at++]));
                continue;
            }
            const int n = step(joined + at, joined + held + taken, out);
            if (n == 0) { // still unfinished: the read was that short
                m_heldCount = held + taken - at;
                std::copy_n(joined + at, m_heldCount, m_held);
                return;
            }
            at += n;
        }
        p += at - held;
    }
    while (p < end) {
        while (p < end && *p < 0x80)
            out(char32_t(*p++));
        if (p == end)
            return;
        const int n = step(p, end, out);
        if (n == 0) {
            m_heldCount = int(end - p);
            std::copy(p, end, m_held);
            return;
        }
        p += n;
    }
}

template<typename Sink> void HostDecoder::flush(Sink &&out)
{
    const int held = std::exchange(m_heldCount, 0);
    for (int i = 0; i < held; ++i)
        out(single(m_held[i]));
}

} // namespace emu
