#include "inifile/inidocument.h"

#include <QStringDecoder>

namespace inifile {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

bool isQuote(QChar c)
{
    return c == u'"' || c == u'\'';
}

bool isBlankByte(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

void trimBytes(const QByteArray &bytes, qsizetype &begin, qsizetype &end)
{
    while (begin < end && isBlankByte(bytes.at(begin)))
        ++begin;
    while (end > begin && isBlankByte(bytes.at(end - 1)))
        --end;
}

// UTF-8 as it stands: a byte-order mark at the start of a name or value is a character of it
// (QString::fromUtf8 would drop it, and the name would no longer be the one written).
QString decoded(const char *bytes, qsizetype size)
{
    QStringDecoder utf8(QStringDecoder::Utf8,
        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return utf8.decode(QByteArrayView(bytes, size));
}

QString decodedName(const QByteArray &bytes, qsizetype begin, qsizetype end)
{
    trimBytes(bytes, begin, end);
    return decoded(bytes.constData() + begin, end - begin);
}

// The text to store so that reading gives the value back whole: it is quoted when a reader would
// otherwise trim its outer blanks or take its own outer quotes away.
QString storedValue(const QString &value)
{
    if (value.isEmpty())
        return value;
    const bool quote = isBlank(value.front()) || isBlank(value.back())
        || (value.size() >= 2 && isQuote(value.front()) && value.back() == value.front());
    return quote ? QLatin1Char('"') + value + QLatin1Char('"') : value;
}

bool hasLineBreak(const QString &text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

// A key name that a reader would take for something else cannot be written.
bool isWritableKey(const QString &key)
{
    return !key.isEmpty() && !key.contains(u'=') && key.front() != u';' && key.front() != u'['
        && !hasLineBreak(key);
}

// The key line with its value replaced; the name, the blanks around "=" and the line's own
// spelling are kept.
QByteArray withValue(const QByteArray &raw, const QByteArray &stored)
{
    const qsizetype eq = raw.indexOf('=');
    if (eq < 0) {
        qsizetype begin = 0, end = raw.size();
        trimBytes(raw, begin, end);
        return raw.left(end) + '=' + stored;
    }
    qsizetype start = eq + 1;
    while (start < raw.size() && isBlankByte(raw.at(start)))
        ++start;
    return raw.left(start) + stored;
}

} // namespace

IniDocument IniDocument::parse(const QByteArray &bytes)
{
    IniDocument doc;
    // UTF-32 and most UTF-16 text hold NUL bytes; UTF-16 of other scripts has its mark.
    doc.m_text
        = !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF") && !bytes.contains('\0');
    const qsizetype n = bytes.size();
    qsizetype pos = 0;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        doc.m_bom = bytes.left(3);
        pos = 3;
    }
    doc.m_lines.reserve(bytes.count('\n') + 1);
    bool eolSeen = false;
    while (pos < n) {
        qsizetype end = pos;
        while (end < n && bytes.at(end) != '\n' && bytes.at(end) != '\r')
            ++end;
        qsizetype next = end;
        if (end < n) {
            ++next;
            if (bytes.at(end) == '\r' && next < n && bytes.at(next) == '\n')
                ++next;
        }
        QByteArray eol = bytes.mid(end, next - end);
        if (!eolSeen && !eol.isEmpty()) {
            doc.m_eol = eol;
            eolSeen = true;
        }
        doc.m_lines.append(classify(bytes.mid(pos, end - pos), std::move(eol)));
        pos = next;
    }
    doc.reindex();
    return doc;
}

QByteArray IniDocument::serialize() const
{
    qsizetype size = m_bom.size();
    for (const Line &line : m_lines)
        size += line.raw.size() + line.eol.size();
    QByteArray out;
    out.reserve(size);
    out += m_bom;
    for (const Line &line : m_lines) {
        out += line.raw;
        out += line.eol;
    }
    return out;
}

IniDocument::Line IniDocument::classify(QByteArray raw, QByteArray eol)
{
    // Blanks, quotes, "[", "]", ";" and "=" are ASCII and never part of a UTF-8 sequence, so the
    // line is taken apart as bytes and only the names are decoded.
    Line line;
    line.raw = std::move(raw);
    line.eol = std::move(eol);
    const QByteArray &b = line.raw;
    qsizetype begin = 0, end = b.size();
    trimBytes(b, begin, end);
    if (begin == end) {
        line.kind = Kind::Blank;
        return line;
    }
    if (b.at(begin) == ';') {
        line.kind = Kind::Comment;
        return line;
    }
    if (b.at(begin) == '[') {
        const qsizetype close = b.lastIndexOf(']', end - 1);
        if (close > begin) {
            line.kind = Kind::Section;
            line.name = decodedName(b, begin + 1, close);
            line.folded = fold(line.name);
        }
        return line;
    }
    // A line without "=" is a key without a value.
    const qsizetype eq = b.indexOf('=', begin);
    const qsizetype nameEnd = eq < 0 || eq >= end ? end : eq;
    line.name = decodedName(b, begin, nameEnd);
    if (line.name.isEmpty())
        return line;
    line.kind = Kind::Key;
    line.folded = fold(line.name);
    if (nameEnd < end) {
        qsizetype vb = nameEnd + 1, ve = end;
        trimBytes(b, vb, ve);
        // A matching pair of quotes around a value is not part of it.
        if (ve - vb >= 2 && (b.at(vb) == '"' || b.at(vb) == '\'') && b.at(ve - 1) == b.at(vb)) {
            ++vb;
            --ve;
        }
        line.valueBegin = vb;
        line.valueEnd = ve;
    }
    return line;
}

void IniDocument::reindex()
{
    m_sections.clear();
    m_sectionOrder.clear();
    Section *current = nullptr; // keys before the first section header belong to none
    for (int i = 0; i < m_lines.size(); ++i) {
        const Line &line = m_lines.at(i);
        if (line.kind == Kind::Section) {
            auto it = m_sections.find(line.folded);
            if (it == m_sections.end()) {
                it = m_sections.insert(line.folded, Section { line.name, {}, {}, {} });
                m_sectionOrder.append(line.name);
            }
            it->blocks.append(Block { i, i });
            current = &*it;
        } else if (line.kind == Kind::Key && current) {
            current->blocks.last().lastKey = i;
            if (!current->firstKey.contains(line.folded)) {
                current->firstKey.insert(line.folded, i);
                current->keyOrder.append(line.name);
            }
        }
    }
}

const IniDocument::Section *IniDocument::findSection(const QString &section) const
{
    const auto it = m_sections.constFind(fold(trimBlanks(section)));
    return it == m_sections.cend() ? nullptr : &*it;
}

std::optional<QString> IniDocument::value(const QString &section, const QString &key) const
{
    const Section *s = findSection(section);
    if (!s)
        return std::nullopt;
    const auto it = s->firstKey.constFind(fold(trimBlanks(key)));
    if (it == s->firstKey.cend())
        return std::nullopt;
    const Line &line = m_lines.at(*it);
    if (line.valueBegin == line.valueEnd)
        return std::nullopt;
    return decoded(line.raw.constData() + line.valueBegin, line.valueEnd - line.valueBegin);
}

bool IniDocument::hasKey(const QString &section, const QString &key) const
{
    const Section *s = findSection(section);
    return s && s->firstKey.contains(fold(trimBlanks(key)));
}

IniDocument::Edit IniDocument::setValue(
    const QString &section, const QString &key, const QString &value)
{
    const QString sectionName = trimBlanks(section);
    const QString keyName = trimBlanks(key);
    if (hasLineBreak(value) || hasLineBreak(sectionName) || !isWritableKey(keyName))
        return Edit::Refused;
    const QByteArray stored = storedValue(value).toUtf8();
    const Section *s = findSection(sectionName);
    if (!s) {
        appendSection(sectionName, keyName.toUtf8() + '=' + stored);
        return Edit::Changed;
    }
    const auto it = s->firstKey.constFind(fold(keyName));
    if (it == s->firstKey.cend()) {
        insertLine(appendPosition(s->blocks.first()), keyName.toUtf8() + '=' + stored);
        return Edit::Changed;
    }
    Line &line = m_lines[*it];
    QByteArray raw = withValue(line.raw, stored);
    if (raw == line.raw)
        return Edit::Unchanged;
    line = classify(std::move(raw), line.eol);
    return Edit::Changed;
}

IniDocument::Edit IniDocument::removeKey(const QString &section, const QString &key)
{
    if (!hasKey(section, key))
        return Edit::Unchanged;
    const Section *s = findSection(section);
    const QString folded = fold(trimBlanks(key));
    QList<bool> drop(m_lines.size(), false);
    for (const Block &block : s->blocks) {
        for (int i = block.header + 1; i <= block.lastKey; ++i) {
            const Line &line = m_lines.at(i);
            if (line.kind == Kind::Key && line.folded == folded)
                drop[i] = true;
        }
    }
    removeMarked(drop);
    return Edit::Changed;
}

IniDocument::Edit IniDocument::removeSection(const QString &section)
{
    const Section *s = findSection(section);
    if (!s)
        return Edit::Unchanged;
    // A block goes from its header to its last key with the blank lines after it; comments
    // between its last key and the next header usually speak of that next section and stay.
    QList<bool> drop(m_lines.size(), false);
    const int last = int(m_lines.size()) - 1;
    for (const Block &block : s->blocks) {
        int from = block.header, to = block.lastKey;
        while (to < last && m_lines.at(to + 1).kind == Kind::Blank)
            ++to;
        if (to == last) {
            while (from > 0 && m_lines.at(from - 1).kind == Kind::Blank)
                --from;
        }
        for (int i = from; i <= to; ++i)
            drop[i] = true;
    }
    removeMarked(drop);
    return Edit::Changed;
}

QStringList IniDocument::sections() const
{
    return m_sectionOrder;
}

QStringList IniDocument::keys(const QString &section) const
{
    const Section *s = findSection(section);
    return s ? s->keyOrder : QStringList();
}

int IniDocument::appendPosition(const Block &block) const
{
    // After the last key; in a section without keys after the comments that open it.
    int at = block.lastKey + 1;
    if (block.lastKey == block.header) {
        while (at < m_lines.size() && m_lines.at(at).kind == Kind::Comment)
            ++at;
    }
    return at;
}

void IniDocument::insertLine(int at, const QByteArray &raw)
{
    // Only the last line can lack a line ending; a line that gets a follower needs one.
    if (at > 0 && m_lines.at(at - 1).eol.isEmpty())
        m_lines[at - 1].eol = m_eol;
    m_lines.insert(at, classify(raw, m_eol));
    reindex();
}

void IniDocument::removeMarked(const QList<bool> &drop)
{
    QList<Line> kept;
    kept.reserve(m_lines.size());
    for (int i = 0; i < m_lines.size(); ++i) {
        if (!drop.at(i))
            kept.append(std::move(m_lines[i]));
    }
    m_lines = std::move(kept);
    reindex();
}

void IniDocument::appendSection(const QString &section, const QByteArray &keyLine)
{
    if (!m_lines.isEmpty()) {
        if (m_lines.last().eol.isEmpty())
            m_lines.last().eol = m_eol;
        if (m_lines.last().kind != Kind::Blank)
            m_lines.append(classify(QByteArray(), m_eol));
    }
    m_lines.append(classify('[' + section.toUtf8() + ']', m_eol));
    m_lines.append(classify(keyLine, m_eol));
    reindex();
}

} // namespace inifile
