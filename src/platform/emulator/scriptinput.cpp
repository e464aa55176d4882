#include "emulator/scriptinput.h"

namespace emu {

void ScriptInput::append(const QString &text)
{
    if (text.size() >= m_limit) {
        m_text = text.right(m_limit);
        return;
    }
    m_text += text;
    if (m_text.size() > m_limit)
        m_text.remove(0, m_text.size() - m_limit);
}

int ScriptInput::takeThrough(const QStringList &targets, Qt::CaseSensitivity cs)
{
    int best = 0;
    qsizetype bestAt = -1;
    qsizetype bestEnd = 0;
    for (int i = 0; i < targets.size(); ++i) {
        const QString &target = targets.at(i);
        if (target.isEmpty())
            continue;
        const qsizetype at = m_text.indexOf(target, 0, cs);
        if (at >= 0 && (bestAt < 0 || at < bestAt)) {
            best = i + 1;
            bestAt = at;
            bestEnd = at + target.size();
        }
    }
    if (best)
        m_text.remove(0, bestEnd);
    return best;
}

QString ScriptInput::take(qsizetype n)
{
    const QString head = m_text.left(n);
    m_text.remove(0, head.size());
    return head;
}

bool ScriptInput::takeLine(QString *line, qsizetype maxLength)
{
    // The LF of a CR LF whose CR ended the previous line.
    if (m_lfPending && m_text.startsWith(u'\n'))
        m_text.remove(0, 1);
    if (!m_text.isEmpty())
        m_lfPending = false;
    qsizetype end = 0;
    while (end < m_text.size() && m_text.at(end) != u'\r' && m_text.at(end) != u'\n')
        ++end;
    if (end == m_text.size() || end > maxLength) {
        if (m_text.size() < maxLength)
            return false;
        // A line longer than asked for comes in pieces of maxLength.
        *line = take(maxLength);
        return true;
    }
    *line = m_text.left(end);
    qsizetype skip = end + 1;
    if (m_text.at(end) == u'\r') {
        if (skip < m_text.size() && m_text.at(skip) == u'\n')
            ++skip;
        else if (skip == m_text.size())
            m_lfPending = true;
    }
    m_text.remove(0, skip);
    return true;
}

} // namespace emu
