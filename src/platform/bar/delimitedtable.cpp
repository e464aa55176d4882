// A two-level delimited table with escaped cells.

#include "bar/delimitedtable.h"

#include <algorithm>

namespace bar {

namespace {

constexpr QChar kEscape = QLatin1Char('\\');
// Far more than any menu text needs; keeps a stray index from taking all memory.
constexpr int kMaxIndex = 1000000;

// Every delimiter character in a cell is written as an escape, so a delimiter turns up in the
// text only where it is a piece of an escape: one made of escape characters alone ("r", "}",
// "7b") would split cells inside their escapes.
bool usable(const QString &delimiter)
{
    static const QString escapeCharacters = QStringLiteral("rntu{}0123456789abcdef");
    if (delimiter.isEmpty() || delimiter.contains(kEscape))
        return false;
    return std::any_of(delimiter.cbegin(), delimiter.cend(),
        [](QChar c) { return !escapeCharacters.contains(c); });
}

bool shareCharacters(const QString &a, const QString &b)
{
    for (const QChar c : a) {
        if (b.contains(c))
            return true;
    }
    return false;
}

} // namespace

void DelimitedTable::init(const QString &text, const QStringList &delimiters)
{
    if (delimiters.size() < 2 || !usable(delimiters[0]) || !usable(delimiters[1])
        || shareCharacters(delimiters[0], delimiters[1]))
        rt::raise(rt::err::InvalidCall);
    m_rowDelimiter = delimiters[0];
    m_cellDelimiter = delimiters[1];
    m_rows.clear();

    const bool anyLineEnd = m_rowDelimiter == QLatin1String("\r\n");
    qsizetype start = 0;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype ending = 0;
        if (anyLineEnd && (text[pos] == QLatin1Char('\r') || text[pos] == QLatin1Char('\n'))) {
            ending = text[pos] == QLatin1Char('\r') && pos + 1 < text.size()
                    && text[pos + 1] == QLatin1Char('\n')
                ? 2
                : 1;
        } else if (!anyLineEnd && QStringView(text).sliced(pos).startsWith(m_rowDelimiter)) {
            ending = m_rowDelimiter.size();
        }
        if (ending == 0) {
            ++pos;
            continue;
        }
        m_rows.append(parseRow(QStringView(text).sliced(start, pos - start)));
        pos += ending;
        start = pos;
    }
    if (start < text.size())
        m_rows.append(parseRow(QStringView(text).sliced(start)));
}

void DelimitedTable::checkIndex(int index)
{
    if (index < 1 || index > kMaxIndex)
        rt::raise(rt::err::SubscriptOutOfRange);
}

void DelimitedTable::setItem(int row, const QString &rowText)
{
    checkIndex(row);
    if (row > m_rows.size())
        m_rows.resize(row);
    m_rows[row - 1] = parseRow(rowText);
}

void DelimitedTable::setItem(int row, int cell, const QString &value)
{
    checkIndex(row);
    checkIndex(cell);
    if (row > m_rows.size())
        m_rows.resize(row);
    QStringList &cells = m_rows[row - 1];
    if (cell > cells.size())
        cells.resize(cell);
    cells[cell - 1] = value;
}

QString DelimitedTable::getItem() const
{
    QString text;
    for (const QStringList &cells : m_rows) {
        text += rowText(cells);
        text += m_rowDelimiter;
    }
    return text;
}

QString DelimitedTable::getItem(int row) const
{
    checkIndex(row);
    return row <= m_rows.size() ? rowText(m_rows[row - 1]) : QString();
}

QString DelimitedTable::getItem(int row, int cell) const
{
    checkIndex(row);
    checkIndex(cell);
    if (row > m_rows.size() || cell > m_rows[row - 1].size())
        return QString();
    return m_rows[row - 1][cell - 1];
}

int DelimitedTable::count(int row) const
{
    checkIndex(row);
    return row <= m_rows.size() ? int(m_rows[row - 1].size()) : 0;
}

QStringList DelimitedTable::parseRow(QStringView text) const
{
    QStringList cells;
    if (text.isEmpty())
        return cells;
    for (const QStringView cell : text.split(m_cellDelimiter))
        cells.append(unescape(cell));
    return cells;
}

QString DelimitedTable::rowText(const QStringList &cells) const
{
    QString text;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            text += m_cellDelimiter;
        text += escape(cells[i]);
    }
    return text;
}

QString DelimitedTable::escape(const QString &cell) const
{
    QString out;
    out.reserve(cell.size());
    for (const QChar c : cell) {
        if (c == kEscape)
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else if (m_rowDelimiter.contains(c) || m_cellDelimiter.contains(c))
            out += QStringLiteral("\\u{%1}").arg(c.unicode(), 0, 16);
        else
            out += c;
    }
    return out;
}

QString DelimitedTable::unescape(QStringView text) const
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != kEscape || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const QChar next = text[++i];
        if (next == QLatin1Char('r')) {
            out += QLatin1Char('\r');
        } else if (next == QLatin1Char('n')) {
            out += QLatin1Char('\n');
        } else if (next == QLatin1Char('t')) {
            out += QLatin1Char('\t');
        } else if (next == QLatin1Char('u') && i + 1 < text.size()
            && text[i + 1] == QLatin1Char('{')) {
            const qsizetype close = text.indexOf(QLatin1Char('}'), i + 2);
            bool ok = false;
            const uint code = close > i + 2 && close - i <= 6
                ? text.sliced(i + 2, close - i - 2).toUInt(&ok, 16)
                : 0;
            if (ok && code <= 0xFFFF) {
                out += QChar(char16_t(code));
                i = close;
            } else {
                out += kEscape;
                out += next;
            }
        } else if (next == kEscape) {
            out += kEscape;
        } else {
            // Not an escape of ours (typed by hand): keep the text as it stands.
            out += kEscape;
            out += next;
        }
    }
    return out;
}

} // namespace bar
