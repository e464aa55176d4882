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
    const QByteArray &marker = this->marker();
    const QByteArrayView held = out.held;
    const qsizetype taken = std::min(chunk.size(), marker.size() - 1);
    QVarLengthArray<char, 64> seam;
    seam.append(held.data(), held.size());
    seam.append(chunk.data(), taken);
    const QByteArrayView joined(seam.data(), seam.size());
    const qsizetype hit = findMarker(joined, marker);
    if (hit >= 0 && hit < held.size()) {
        add(out, kind(), held.first(hit));
        const qsizetype resume = hit + marker.size() - held.size();
        passMarker(out);
        return resume;
    }
    if (taken == chunk.size()) {
        // The seam is all there is: it may end in a longer beginning of the marker.
        const qsizetype from = joined.size() - partialTail(joined, 0, marker);
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
        const QByteArray &marker = this->marker();
        if (marker.isEmpty()) { // outside with no markers, or inside for good: no end marker
            add(out, kind(), chunk.sliced(pos));
            return;
        }
        const qsizetype hit = findMarker(chunk, marker, pos);
        if (hit >= 0) {
            add(out, kind(), chunk.sliced(pos, hit - pos));
            passMarker(out);
            pos = hit + marker.size();
            continue;
        }
        const qsizetype held = partialTail(chunk, pos, marker);
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
