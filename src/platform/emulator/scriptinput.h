#pragma once
// The host text that scripts read with ReadText and wait for with WaitFor: what arrived and no
// read has taken yet, at most `limit` characters (the oldest go first).
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

namespace emu {

class ScriptInput
{
public:
    static constexpr qsizetype defaultLimit = 64 * 1024;

    explicit ScriptInput(qsizetype limit = defaultLimit)
        : m_limit(limit)
    { }

    // Host bytes, in the encoding set last.
    void append(QByteArrayView bytes);
    void setEncoding(HostEncoding encoding);
    // Forgets the text, the bytes not decoded yet and a sequence the decoder holds.
    void clear();
    // The stream starts afresh (a new link): the text stays, a sequence that the bytes so far
    // left unfinished is given up.
    void restart();
    qsizetype size();
    const QString &text();

    // The target found earliest in the text (the first of the list when two start at the same
    // place); everything up to its end is taken. Returns its index in the list + 1, or 0 (nothing
    // taken). Empty targets never match.
    int takeThrough(const QStringList &targets, Qt::CaseSensitivity cs);
    // Up to n characters from the front.
    QString take(qsizetype n);
    // A line: the text before the first CR or LF, which is taken with it (CR LF counts as one).
    // False when no complete line is there.
    bool takeLine(QString *line, qsizetype maxLength);

private:
    // Bytes kept undecoded: a sequence cut off at the front decodes to at most 3 stray
    // characters, which the slack covers.
    qsizetype rawCapacity() const { return 4 * m_limit + 16; }
    void appendText(const QString &text);
    void decodePending();
    void dropOldest(qsizetype count);

    qsizetype m_limit;
    QString m_text;
    bool m_lfPending = false;
    HostDecoder m_decoder;
    // The bytes not decoded yet: m_rawCount of them from m_rawStart, wrapping around the end
    // of m_raw once it has grown to rawCapacity() (until then they start at 0).
    QByteArray m_raw;
    qsizetype m_rawStart = 0;
    qsizetype m_rawCount = 0;
};

} // namespace emu
