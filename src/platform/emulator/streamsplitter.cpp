#include "emulator/streamsplitter.h"

#include <algorithm>
#include <cstring>

namespace emu {

namespace {

// Length of the longest tail of data (from pos) that is a proper beginning of marker.
qsizetype partialTail(QByteArrayView data, qsizetype pos, QByteArrayView marker)
{
    const qsizetype avail = data.size() - pos;
    for (qsizetype n = std::min(avail, marker.size() - 1); n > 0; --n) {
        if (data.last(n) == marker.first(n))
            return n;
    }
    return 0;
}

constexpr char esc = '\x1b';
constexpr char csi8 = char(0x9B);

// A spelling of a marker in data: where it starts and how long it is.
struct Found
{
    qsizetype at = -1;
    qsizetype length = 0;
};

// The most bytes a spelling of marker takes.
qsizetype longestSpelling(const Marker &marker)
{
    return marker.bytes.size() + (marker.controlSequence ? Marker::maxLeadingZeros : 0);
}

// Where the next byte that may begin a control sequence is, from `from` on, or -1: ESC (found at
// memchr's pace), and CSI where 8-bit controls are read. Each call reads only as far as the byte
// it finds.
qsizetype nextIntroducer(QByteArrayView data, qsizetype from, bool eightBit)
{
    if (from >= data.size())
        return -1;
    if (!eightBit) {
        const void *hit = std::memchr(data.data() + from, esc, size_t(data.size() - from));
        return hit ? static_cast<const char *>(hit) - data.data() : -1;
    }
    const auto *hit = std::find_if(
        data.begin() + from, data.end(), [](char c) { return c == esc || c == csi8; });
    return hit == data.end() ? -1 : hit - data.begin();
}

// How a control-sequence marker reads at data[at]: the length of the spelling of it there, 0
// when data ends in a beginning of one, -1 when there is none.
qsizetype spellingAt(QByteArrayView data, qsizetype at, const Marker &marker)
{
    qsizetype i = at;
    if (marker.eightBit && data[i] == csi8) {
        ++i;
    } else if (data[i] == esc) {
        if (++i == data.size())
            return 0;
        if (data[i++] != '[')
            return -1;
    } else {
        return -1;
    }
    for (int zeros = 0; i < data.size() && data[i] == '0'; ++i) {
        if (++zeros > Marker::maxLeadingZeros)
            return -1;
    }
    for (const char c : QByteArrayView(marker.bytes).sliced(2)) { // the parameter and final
        if (i == data.size())
            return 0;
        if (data[i++] != c)
            return -1;
    }
    return i - at;
}

Found findSpelling(QByteArrayView data, const Marker &marker, qsizetype from = 0)
{
    if (!marker.controlSequence)
        return { findMarker(data, marker.bytes, from), marker.bytes.size() };
    for (qsizetype at = nextIntroducer(data, from, marker.eightBit); at >= 0;
         at = nextIntroducer(data, at + 1, marker.eightBit)) {
        if (const qsizetype length = spellingAt(data, at, marker); length > 0)
            return { at, length };
    }
    return {};
}

// Length of the longest tail of data (from pos) that may begin a spelling of marker.
qsizetype partialSpelling(QByteArrayView data, qsizetype pos, const Marker &marker)
{
    if (!marker.controlSequence)
        return partialTail(data, pos, marker.bytes);
    const qsizetype from = std::max(pos, data.size() - longestSpelling(marker) + 1);
    for (qsizetype at = nextIntroducer(data, from, marker.eightBit); at >= 0;
         at = nextIntroducer(data, at + 1, marker.eightBit)) {
        if (spellingAt(data, at, marker) == 0)
            return data.size() - at;
    }
    return 0;
}

// Bytes of one kind; a stretch right after the last piece of the same kind joins it.
void add(StreamSplitter::Pieces &out, StreamSplitter::Kind kind, QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    if (!out.list.isEmpty()) {
        StreamSplitter::Piece &last = out.list.last();
        if (last.kind == kind && last.bytes.end() == bytes.begin()) {
            last.bytes = QByteArrayView(last.bytes.begin(), bytes.end());
            return;
        }
    }
    out.list.append({ kind, bytes });
}

} // namespace

qsizetype findMarker(QByteArrayView data, QByteArrayView marker, qsizetype from)
{
    const qsizetype lastStart = data.size() - marker.size();
    for (qsizetype at = from; at <= lastStart; ++at) {
        const void *first
            = std::memchr(data.data() + at, marker.front(), size_t(lastStart - at + 1));
        if (!first)
            return -1;
        at = static_cast<const char *>(first) - data.data();
        if (std::equal(marker.begin() + 1, marker.end(), data.begin() + at + 1))
            return at;
    }
    return -1;
}

StreamSplitter::StreamSplitter(QByteArray begin, QByteArray end)
{
    setMarkers(std::move(begin), std::move(end));
}

void StreamSplitter::setMarkers(QByteArray begin, QByteArray end)
{
    setMarkers(Marker { std::move(begin) }, Marker { std::move(end) });
}

void StreamSplitter::setMarkers(Marker begin, Marker end)
{
    m_begin = std::move(begin);
    m_end = std::move(end);
    m_held.clear();
    m_inside = false;
}

void StreamSplitter::split(QByteArrayView chunk, Pieces &out)
{
    out.list.clear();
    out.held = std::exchange(m_held, QByteArray());
    qsizetype pos = 0;
    if (!out.held.isEmpty()) {
        pos = splitSeam(chunk, out);
        if (pos < 0)
            return;
    }
    splitFrom(chunk, pos, out);
}

void StreamSplitter::passMarker(Pieces &out)
{
    out.list.append({ m_inside ? Kind::End : Kind::Begin, {} });
    m_inside = !m_inside;
}

// The bytes held back and the first bytes of chunk: a marker that began in the held bytes, or
// a longer beginning of one. Returns where in chunk the split goes on, -1 when all of it is held.
qsizetype StreamSplitter::splitSeam(QByteArrayView chunk, Pieces &out)
{
    const Marker &marker = this->marker();
    const QByteArrayView held = out.held;
    const qsizetype taken = std::min(chunk.size(), longestSpelling(marker) - 1);
    QVarLengthArray<char, 64> seam;
    seam.append(held.data(), held.size());
    seam.append(chunk.data(), taken);
    const QByteArrayView joined(seam.data(), seam.size());
    const Found hit = findSpelling(joined, marker);
    if (hit.at >= 0 && hit.at < held.size()) {
        add(out, kind(), held.first(hit.at));
        const qsizetype resume = hit.at + hit.length - held.size();
        passMarker(out);
        return resume;
    }
    if (taken == chunk.size()) {
        // The seam is all there is: it may end in a longer beginning of the marker.
        const qsizetype from = joined.size() - partialSpelling(joined, 0, marker);
        if (from < held.size()) {
            add(out, kind(), held.first(from));
            m_held = joined.sliced(from).toByteArray();
            return -1;
        }
    }
    add(out, kind(), held);
    return 0;
}

void StreamSplitter::splitFrom(QByteArrayView chunk, qsizetype pos, Pieces &out)
{
    for (;;) {
        const Marker &marker = this->marker();
        if (marker.bytes.isEmpty()) { // outside with no markers, or inside for good: no end marker
            add(out, kind(), chunk.sliced(pos));
            return;
        }
        const Found hit = findSpelling(chunk, marker, pos);
        if (hit.at >= 0) {
            add(out, kind(), chunk.sliced(pos, hit.at - pos));
            passMarker(out);
            pos = hit.at + hit.length;
            continue;
        }
        const qsizetype held = partialSpelling(chunk, pos, marker);
        add(out, kind(), chunk.sliced(pos, chunk.size() - pos - held));
        if (held > 0)
            m_held = chunk.last(held).toByteArray();
        return;
    }
}

QByteArray StreamSplitter::reset()
{
    m_inside = false;
    return std::exchange(m_held, QByteArray());
}

} // namespace emu
