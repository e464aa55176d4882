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
    m_base += m_text.size();
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
        m_base += m_text.size() + text.size() - m_limit;
        m_text = text.right(m_limit);
        return;
    }
    m_text += text;
    if (m_text.size() > m_limit) {
        const qsizetype over = m_text.size() - m_limit;
        m_text.remove(0, over);
        m_base += over;
    }
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
    m_base += m_text.size();
    m_text.clear();
    m_unread = m_base;
    m_lfPendingAt = -1;
    m_decoder.reset();
    m_raw.clear();
    m_rawStart = 0;
    m_rawCount = 0;
}

ScriptInput::Reader ScriptInput::reader()
{
    decodePending();
    auto reader = std::make_shared<qint64>(std::max(m_unread, m_base));
    std::erase_if(m_readers, [](const std::weak_ptr<qint64> &r) { return r.expired(); });
    m_readers.push_back(reader);
    return reader;
}

qsizetype ScriptInput::offsetOf(const Reader &reader) const
{
    return qsizetype(std::clamp<qint64>(*reader - m_base, 0, m_text.size()));
}

void ScriptInput::moveTo(const Reader &reader, qint64 position)
{
    *reader = position;
    m_unread = std::max(m_unread, position);
    dropTaken();
}

// Text before every reader that runs and before the unread text is no one's any more.
void ScriptInput::dropTaken()
{
    qint64 first = m_unread;
    std::erase_if(m_readers, [&first](const std::weak_ptr<qint64> &r) {
        const Reader reader = r.lock();
        if (reader)
            first = std::min(first, *reader);
        return !reader;
    });
    if (first > m_base) {
        m_text.remove(0, qsizetype(std::min<qint64>(first - m_base, m_text.size())));
        m_base = std::max(m_base, first);
    }
}

qsizetype ScriptInput::size(const Reader &reader)
{
    decodePending();
    return m_text.size() - offsetOf(reader);
}

QString ScriptInput::text()
{
    decodePending();
    return m_text.mid(qsizetype(std::clamp<qint64>(m_unread - m_base, 0, m_text.size())));
}

int ScriptInput::takeThrough(
    const Reader &reader, const QStringList &targets, Qt::CaseSensitivity cs)
{
    decodePending();
    const qsizetype from = offsetOf(reader);
    int best = 0;
    qsizetype bestAt = -1;
    qsizetype bestEnd = 0;
    for (int i = 0; i < targets.size(); ++i) {
        const QString &target = targets.at(i);
        if (target.isEmpty())
            continue;
        const qsizetype at = m_text.indexOf(target, from, cs);
        if (at >= 0 && (bestAt < 0 || at < bestAt)) {
            best = i + 1;
            bestAt = at;
            bestEnd = at + target.size();
        }
    }
    if (best)
        moveTo(reader, m_base + bestEnd);
    return best;
}

QString ScriptInput::take(const Reader &reader, qsizetype n)
{
    decodePending();
    const qsizetype from = offsetOf(reader);
    const QString head = m_text.mid(from, n);
    moveTo(reader, m_base + from + head.size());
    return head;
}

bool ScriptInput::takeLine(const Reader &reader, QString *line, qsizetype maxLength)
{
    decodePending();
    qsizetype from = offsetOf(reader);
    // The LF of a CR LF whose CR ended the previous line.
    if (m_base + from == m_lfPendingAt && from < m_text.size() && m_text.at(from) == u'\n')
        ++from;
    qsizetype end = from;
    while (end < m_text.size() && m_text.at(end) != u'\r' && m_text.at(end) != u'\n')
        ++end;
    if (end == m_text.size() || end - from > maxLength) {
        if (m_text.size() - from < maxLength)
            return false;
        // A line longer than asked for comes in pieces of maxLength.
        *line = m_text.mid(from, maxLength);
        moveTo(reader, m_base + from + maxLength);
        return true;
    }
    *line = m_text.mid(from, end - from);
    qsizetype skip = end + 1;
    if (m_text.at(end) == u'\r') {
        if (skip < m_text.size() && m_text.at(skip) == u'\n')
            ++skip;
        else if (skip == m_text.size())
            m_lfPendingAt = m_base + skip;
    }
    moveTo(reader, m_base + skip);
    return true;
}

} // namespace emu
