#pragma once
// Splits a byte stream at a pair of markers (for example the print controller's ESC [ 5 i and
// ESC [ 4 i): bytes outside the markers, bytes between them, and the moments a marker passes.
// Markers may arrive split over any number of chunks; bytes that may begin a marker are held back
// until the next chunk decides. With an empty begin marker everything is outside.

#include <QByteArray>
#include <QList>

namespace emu {

class StreamSplitter
{
public:
    enum class Kind { Outside, Inside, Begin, End };
    struct Piece
    {
        Kind kind;
        QByteArray bytes; // empty for Begin and End
    };

    StreamSplitter() = default;
    StreamSplitter(QByteArray begin, QByteArray end);

    // Changing the markers forgets a half-seen marker and leaves the inside state.
    void setMarkers(QByteArray begin, QByteArray end);
    QByteArray beginMarker() const { return m_begin; }
    QByteArray endMarker() const { return m_end; }

    QList<Piece> split(const QByteArray &chunk);
    bool inside() const { return m_inside; }
    // Back to outside; returns the bytes held back.
    QByteArray reset();

private:
    void emitPiece(QList<Piece> &out, Kind kind, const QByteArray &bytes) const;

    QByteArray m_begin;
    QByteArray m_end;
    QByteArray m_held;
    bool m_inside = false;
};

} // namespace emu
