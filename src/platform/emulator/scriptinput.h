#pragma once
// The host text that scripts read with ReadText and wait for with WaitFor: what arrived and no
// read has taken yet, at most `limit` characters (the oldest go first).
//
// Each wait or read looks at the text through its own Reader, which starts where the unread text
// begins when the wait starts and moves only when that wait takes text. So several waits see the
// same text, and one that matches takes it from its own view and from the reads that start after
// it (the unread text begins after the furthest text taken), never from another wait that runs.
// Text stays while a reader may still need it, within the limit.
//
// The host's bytes are kept as they came and decoded (hostencoding.h) only when a script looks
// at the text, so a session nobody reads from decodes nothing. The bytes kept are bounded: the
// last 4 x limit bytes and a little more always decode to at least the last `limit`
// characters, so when older bytes have to go, the text decoded before them goes too and the
// decoder starts afresh, and a read still sees exactly the characters it would have seen.
// Changing the encoding decodes what waits with the old one first.

#include "emulator/hostencoding.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace emu {

class ScriptInput
{
public:
    static constexpr qsizetype defaultLimit = 64 * 1024;

    explicit ScriptInput(qsizetype limit = defaultLimit)
        : m_limit(limit)
    { }

    // A place in the text, held by one wait or read while it runs.
    using Reader = std::shared_ptr<qint64>;

    // A reader at the start of the unread text.
    Reader reader();

    // Host bytes, in the encoding set last.
    void append(QByteArrayView bytes);
    void setEncoding(HostEncoding encoding);
    // Forgets the text, the bytes not decoded yet and a sequence the decoder holds.
    void clear();
    // The stream starts afresh (a new link): the text stays, a sequence that the bytes so far
    // left unfinished is given up.
    void restart();
    // The characters the reader has not taken yet.
    qsizetype size(const Reader &reader);
    // The unread text.
    QString text();

    // Each of these takes from the reader's place: the reader moves past what it takes, and the
    // unread text begins after it when it is further on.
    // The target found earliest (the first of the list when two start at the same place);
    // everything up to its end is taken. Returns its index in the list + 1, or 0 (nothing
    // taken). Empty targets never match.
    int takeThrough(const Reader &reader, const QStringList &targets, Qt::CaseSensitivity cs);
    // Up to n characters.
    QString take(const Reader &reader, qsizetype n);
    // A line: the text before the first CR or LF, which is taken with it (CR LF counts as one).
    // False when no complete line is there.
    bool takeLine(const Reader &reader, QString *line, qsizetype maxLength);

private:
    // Bytes kept undecoded: a sequence cut off at the front decodes to at most 3 stray
    // characters, which the slack covers.
    qsizetype rawCapacity() const { return 4 * m_limit + 16; }
    void appendText(const QString &text);
    void decodePending();
    void dropOldest(qsizetype count);
    // Where the reader is in m_text (text gone before it counts as taken).
    qsizetype offsetOf(const Reader &reader) const;
    void moveTo(const Reader &reader, qint64 position);
    void dropTaken();

    qsizetype m_limit;
    // The decoded text: m_text begins at position m_base of all text ever decoded; the unread
    // text begins at m_unread.
    QString m_text;
    qint64 m_base = 0;
    qint64 m_unread = 0;
    std::vector<std::weak_ptr<qint64>> m_readers;
    // The position of an LF that ends a line whose CR a line read took (-1: none).
    qint64 m_lfPendingAt = -1;
    HostDecoder m_decoder;
    // The bytes not decoded yet: m_rawCount of them from m_rawStart, wrapping around the end
    // of m_raw once it has grown to rawCapacity() (until then they start at 0).
    QByteArray m_raw;
    qsizetype m_rawStart = 0;
    qsizetype m_rawCount = 0;
};

} // namespace emu
