#include "emulator/scriptinput.h"

#include <algorithm>

namespace emu {

void ScriptInput::append(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    const qsizetype capacity = rawCapacity();
    if (bytes.size() >= capacity) {
        dropOldest(m_rawCount);
        bytes = bytes.last(capacity);
    }
    if (m_raw.size() < capacity && m_rawCount + bytes.size() > m_raw.size()) {
        // Still growing: the bytes start at 0.
        m_raw.resize(std::min(capacity, std::max(m_rawCount + bytes.size(), 2 * m_raw.size())));
    }
    if (m_rawCount + bytes.size() > m_raw.size())
        dropOldest(m_rawCount + bytes.size() - m_raw.size());
    const qsizetype at = (m_rawStart + m_rawCount) % m_raw.size();
    const qsizetype first = std::min(bytes.size(), m_raw.size() - at);
    std::copy_n(bytes.data(), first, m_raw.data() + at);
    std::copy_n(bytes.data() + first, bytes.size() - first, m_raw.data());
    m_rawCount += bytes.size();
}

// The oldest bytes go: what they and the text before them would have given is older than the
// last `limit` characters the bytes that stay decode to.
void ScriptInput::dropOldest(qsizetype count)
{
    m_text.clear();
    m_decoder.reset();
    m_rawCount -= count;
    m_rawStart = m_rawCount > 0 ? (m_rawStart + count) % m_raw.size() : 0;
}

void ScriptInput::decodePending()
{
    if (m_rawCount == 0)
        return;
    const qsizetype first = std::min(m_rawCount, m_raw.size() - m_rawStart);
    appendText(m_decoder.decode(QByteArrayView(m_raw).sliced(m_rawStart, first)));
    if (first < m_rawCount)
        appendText(m_decoder.decode(QByteArrayView(m_raw).first(m_rawCount - first)));
    m_rawStart = 0;
    m_rawCount = 0;
}

void ScriptInput::appendText(const QString &text)
{
    if (text.size() >= m_limit) {
        m_text = text.right(m_limit);
        return;
    }
    m_text += text;
    if (m_text.size() > m_limit)
        m_text.remove(0, m_text.size() - m_limit);
}

void ScriptInput::setEncoding(HostEncoding encoding)
{
    if (encoding == m_decoder.encoding())
        return;
    decodePending();
    m_decoder.setEncoding(encoding);
}

void ScriptInput::restart()
{
    decodePending();
    m_decoder.reset();
}

void ScriptInput::clear()
{
    m_text.clear();
    m_lfPending = false;
    m_decoder.reset();
    m_raw.clear();
    m_rawStart = 0;
    m_rawCount = 0;
}

qsizetype ScriptInput::size()
{
    decodePending();
    return m_text.size();
}

const QString &ScriptInput::text()
{
    decodePending();
    return m_text;
}

int ScriptInput::takeThrough(const QStringList &targets, Qt::CaseSensitivity cs)
{
    decodePending();
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
    decodePending();
    const QString head = m_text.left(n);
    m_text.remove(0, head.size());
    return head;
}

bool ScriptInput::takeLine(QString *line, qsizetype maxLength)
{
    decodePending();
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
