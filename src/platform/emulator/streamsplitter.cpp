#include "emulator/streamsplitter.h"

#include <algorithm>

namespace emu {

namespace {

// Length of the longest tail of data (from pos) that is a proper beginning of marker.
qsizetype partialTail(const QByteArray &data, qsizetype pos, const QByteArray &marker)
{
    const qsizetype avail = data.size() - pos;
    for (qsizetype n = std::min(avail, marker.size() - 1); n > 0; --n) {
        if (QByteArrayView(data).sliced(data.size() - n) == QByteArrayView(marker).first(n))
            return n;
    }
    return 0;
}

} // namespace

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

void StreamSplitter::emitPiece(QList<Piece> &out, Kind kind, const QByteArray &bytes) const
{
    if (bytes.isEmpty())
        return;
    if (!out.isEmpty() && out.last().kind == kind)
        out.last().bytes += bytes;
    else
        out.append({ kind, bytes });
}

QList<StreamSplitter::Piece> StreamSplitter::split(const QByteArray &chunk)
{
    QList<Piece> out;
    if (m_begin.isEmpty()) {
        emitPiece(out, Kind::Outside, chunk);
        return out;
    }
    const QByteArray data = m_held.isEmpty() ? chunk : m_held + chunk;
    m_held.clear();
    qsizetype pos = 0;
    for (;;) {
        const QByteArray &marker = m_inside ? m_end : m_begin;
        const Kind kind = m_inside ? Kind::Inside : Kind::Outside;
        if (marker.isEmpty()) { // inside for good: no end marker
            emitPiece(out, kind, data.mid(pos));
            return out;
        }
        const qsizetype hit = data.indexOf(marker, pos);
        if (hit >= 0) {
            emitPiece(out, kind, data.mid(pos, hit - pos));
            out.append({ m_inside ? Kind::End : Kind::Begin, QByteArray() });
            m_inside = !m_inside;
            pos = hit + marker.size();
            continue;
        }
        const qsizetype held = partialTail(data, pos, marker);
        emitPiece(out, kind, data.mid(pos, data.size() - pos - held));
        m_held = data.right(held);
        return out;
    }
}

QByteArray StreamSplitter::reset()
{
    m_inside = false;
    return std::exchange(m_held, QByteArray());
}

} // namespace emu
