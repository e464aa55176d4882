#pragma once
// The host text that scripts read with ReadText and wait for with WaitFor: what arrived and no
// read has taken yet, at most `limit` characters (the oldest go first).

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

    void append(const QString &text);
    void clear()
    {
        m_text.clear();
        m_lfPending = false;
    }
    qsizetype size() const { return m_text.size(); }
    const QString &text() const { return m_text; }

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
    qsizetype m_limit;
    QString m_text;
    bool m_lfPending = false;
};

} // namespace emu
