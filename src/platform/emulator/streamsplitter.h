#pragma once
// Splits a byte stream at a pair of markers (for example the print controller's ESC [ 5 i and
// ESC [ 4 i): bytes outside the markers, bytes between them, and the moments a marker passes.
// Markers may arrive split over any number of chunks; bytes that may begin a marker are held back
// until the next chunk decides. With an empty begin marker everything is outside.
//
// A marker that is a control sequence (ESC [ parameter final, as the print controller's) is also
// found in the other spellings a terminal reads as the same sequence: with leading zeros in its
// parameter ("ESC [ 05 i", up to Marker::maxLeadingZeros of them, so that what is held back stays
// small) and, where the host's 8-bit controls are read, with the one byte CSI (0x9B) for ESC [.
//
// The pieces are views into the chunk split, so a chunk without markers passes as one view of
// itself; only the few bytes held back across chunks are copied, and pieces made of them are
// views into the caller's Pieces, which owns them from then on.

#include <QByteArray>
#include <QByteArrayView>
#include <QVarLengthArray>

namespace emu {

// Where marker (not empty) is in data from `from` on, or -1. It is found by its first byte,
// which is rare in text (an ESC, a "*"), so text without that byte is passed over at memchr's
// pace.
qsizetype findMarker(QByteArrayView data, QByteArrayView marker, qsizetype from = 0);

struct Marker
{
    static constexpr int maxLeadingZeros = 16;

    QByteArray bytes; // its 7-bit spelling; a control sequence's parameter has no leading zero
    bool controlSequence = false; // other spellings of ESC [ parameter final are taken too
    bool eightBit = false; // CSI (0x9B) stands for ESC [ (control sequences only)
};

class StreamSplitter
{
public:
    enum class Kind { Outside, Inside, Begin, End };
    struct Piece
    {
        Kind kind;
        QByteArrayView bytes; // empty for Begin and End
    };
    // The pieces of one chunk, and the bytes held back before it that some of them view.
    struct Pieces
    {
        QVarLengthArray<Piece, 4> list;
        QByteArray held;

        auto begin() const { return list.begin(); }
        auto end() const { return list.end(); }
    };

    StreamSplitter() = default;
    StreamSplitter(QByteArray begin, QByteArray end);

    // Changing the markers forgets a half-seen marker and leaves the inside state.
    void setMarkers(QByteArray begin, QByteArray end);
    void setMarkers(Marker begin, Marker end);
    // Their 7-bit spellings.
    QByteArray beginMarker() const { return m_begin.bytes; }
    QByteArray endMarker() const { return m_end.bytes; }

    // The pieces of chunk go into out (which is cleared first); they stay valid as long as both
    // the chunk and out do.
    void split(QByteArrayView chunk, Pieces &out);
    bool inside() const { return m_inside; }
    // Back to outside; returns the bytes held back.
    QByteArray reset();

private:
    const Marker &marker() const { return m_inside ? m_end : m_begin; }
    Kind kind() const { return m_inside ? Kind::Inside : Kind::Outside; }
    void passMarker(Pieces &out);
    qsizetype splitSeam(QByteArrayView chunk, Pieces &out);
    void splitFrom(QByteArrayView chunk, qsizetype pos, Pieces &out);

    Marker m_begin;
    Marker m_end;
    QByteArray m_held; // a proper beginning of marker(), held back from the last chunk
    bool m_inside = false;
};

} // namespace emu
