#include "registry/regstore.h"

#include <algorithm>

namespace registry {

namespace {

const QString Separator = QStringLiteral("\\");
const char Title[] = "; Norvalis settings: [key path], then @=\"default value\" and "
                     "\"name\"=\"value\" lines\n";

// Characters that must not stand as they are in the file: line breaks and other controls, and
// halves of surrogate pairs with no other half (UTF-8 cannot carry those).
bool needsEscape(const QString &text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0))
        return true;
    if (c.isHighSurrogate())
        return i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate();
    if (c.isLowSurrogate())
        return i == 0 || !text.at(i - 1).isHighSurrogate();
    return false;
}

QString hex4(QChar c)
{
    return QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
}

// Reads four hex digits at i; -1 when they are not there.
int readHex4(const QString &text, qsizetype i)
{
    if (i + 4 > text.size())
        return -1;
    bool ok = false;
    const int code = QStringView(text).mid(i, 4).toInt(&ok, 16);
    return ok ? code : -1;
}

QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    out.reserve(text.size() + 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\' || c == u'"')
            out += u'\\' + QString(c);
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (needsEscape(text, i))
            out += QStringLiteral("\\u") + hex4(c);
        else
            out += c;
    }
    return out + u'"';
}

// Reads a quoted text starting at text[i] == '"'; i ends after the closing quote. False when the
// text has no closing quote.
bool readQuoted(const QString &text, qsizetype &i, QString &out)
{
    out.clear();
    for (++i; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'"') {
            ++i;
            return true;
        }
        if (c != u'\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const QChar e = text.at(++i);
        const int code = e == u'u' ? readHex4(text, i + 1) : -1;
        if (e == u'n')
            out += u'\n';
        else if (e == u'r')
            out += u'\r';
        else if (e == u't')
            out += u'\t';
        else if (e == u'\\' || e == u'"')
            out += e;
        else if (code >= 0) {
            out += QChar(char16_t(code));
            i += 4;
        } else {
            // Not one of ours: kept as it stands.
            out += u'\\';
            out += e;
        }
    }
    return false;
}

QString escapedName(const QString &name)
{
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name.at(i) == u'%' || needsEscape(name, i))
            out += u'%' + hex4(name.at(i));
        else
            out += name.at(i);
    }
    return out;
}

QString unescapedName(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int code = text.at(i) == u'%' ? readHex4(text, i + 1) : -1;
        if (code >= 0) {
            out += QChar(char16_t(code));
            i += 4;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

QString headerPath(const QString &line)
{
    const qsizetype close = line.lastIndexOf(u']');
    const QStringList names = line.mid(1, close - 1).split(u'\\', Qt::SkipEmptyParts);
    QStringList path;
    for (const QString &name : names)
        path.append(unescapedName(name));
    return path.join(Separator);
}

// A value line: @="text" or "name"="text". False when the line is not one.
bool parseValueLine(const QString &line, QString &name, QString &text)
{
    qsizetype i = 0;
    name.clear();
    if (line.startsWith(u'@'))
        i = 1;
    else if (!line.startsWith(u'"') || !readQuoted(line, i, name))
        return false;
    while (i < line.size() && line.at(i).isSpace())
        ++i;
    if (i >= line.size() || line.at(i) != u'=')
        return false;
    ++i;
    while (i < line.size() && line.at(i).isSpace())
        ++i;
    return i < line.size() && line.at(i) == u'"' && readQuoted(line, i, text);
}

} // namespace

const QString *RegStore::Key::value(const QString &name) const
{
    for (const auto &[n, text] : values) {
        if (fold(n) == fold(name))
            return &text;
    }
    return nullptr;
}

void RegStore::Key::setValue(const QString &name, const QString &text)
{
    for (auto &[n, t] : values) {
        if (fold(n) == fold(name)) {
            t = text;
            return;
        }
    }
    values.append({ name, text });
}

bool RegStore::Key::removeValue(const QString &name)
{
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (fold(values.at(i).first) == fold(name)) {
            values.removeAt(i);
            return true;
        }
    }
    return false;
}

RegStore RegStore::parse(const QByteArray &bytes)
{
    RegStore store;
    Key *current = nullptr; // values before the first header belong to no key
    const QByteArray title = QByteArray(Title).trimmed();
    for (QByteArray raw : bytes.split('\n')) {
        while (raw.endsWith('\r')) // a line's end, whatever wrote it
            raw.chop(1);
        const QString line = QString::fromUtf8(raw).trimmed();
        QString name, text;
        if (line.isEmpty() || raw.trimmed() == title)
            continue; // written anew
        if (line.startsWith(u'[') && line.lastIndexOf(u']') > 0)
            current = &store.create(headerPath(line));
        else if (current && parseValueLine(line, name, text))
            current->setValue(name, text);
        else
            (current ? current->kept : store.m_leading).append(raw);
    }
    return store;
}

QByteArray RegStore::serialize() const
{
    QByteArray out = Title;
    for (const QByteArray &line : m_leading)
        out += line + '\n';
    for (const Key &key : m_keys) {
        if (key.path.isEmpty() && key.values.isEmpty() && key.kept.isEmpty())
            continue;
        QStringList names = splitPath(key.path);
        for (QString &name : names)
            name = escapedName(name);
        QString text = u'\n' + (u'[' + names.join(Separator) + u']') + u'\n';
        for (const auto &[name, value] : key.values)
            text += (name.isEmpty() ? QStringLiteral("@") : quoted(name)) + u'=' + quoted(value)
                + u'\n';
        out += text.toUtf8();
        for (const QByteArray &line : key.kept)
            out += line + '\n';
    }
    return out;
}

QStringList RegStore::splitPath(const QString &path)
{
    return path.split(u'\\', Qt::SkipEmptyParts);
}

QString RegStore::fold(const QString &name)
{
    // QString::toCaseFolded() turns an unpaired surrogate inside a text into U+FFFD, which would
    // make two different names one; here such a half stays as it is.
    const bool surrogates
        = std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.isSurrogate(); });
    if (!surrogates)
        return name.toCaseFolded();
    QString out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(c, name.at(++i)));
            out += QChar(QChar::highSurrogate(folded));
            out += QChar(QChar::lowSurrogate(folded));
        } else {
            out += c.isSurrogate() ? c : c.toCaseFolded();
        }
    }
    return out;
}

QString RegStore::fold(const QStringList &parts)
{
    return fold(parts.join(Separator));
}

const RegStore::Key *RegStore::find(const QString &path) const
{
    const auto it = m_keys.constFind(fold(splitPath(path)));
    return it == m_keys.cend() ? nullptr : &*it;
}

RegStore::Key &RegStore::create(const QString &path)
{
    const QStringList parts = splitPath(path);
    QString spelled;
    auto it = m_keys.find(QString());
    if (it == m_keys.end())
        it = m_keys.insert(QString(), Key());
    for (qsizetype n = 1; n <= parts.size(); ++n) {
        const QString folded = fold(parts.mid(0, n));
        const QString name = parts.at(n - 1);
        const QString candidate = n == 1 ? name : spelled + Separator + name;
        it = m_keys.find(folded);
        if (it == m_keys.end())
            it = m_keys.insert(folded, Key { candidate, {}, {} });
        spelled = it->path;
    }
    return *it;
}

bool RegStore::remove(const QString &path)
{
    const QStringList parts = splitPath(path);
    if (parts.isEmpty())
        return false;
    const QString folded = fold(parts);
    if (!m_keys.remove(folded))
        return false;
    const QString prefix = folded + Separator;
    auto it = m_keys.lowerBound(prefix);
    while (it != m_keys.end() && it.key().startsWith(prefix))
        it = m_keys.erase(it);
    return true;
}

QStringList RegStore::children(const QString &path) const
{
    const QStringList parts = splitPath(path);
    const QString prefix = parts.isEmpty() ? QString() : fold(parts) + Separator;
    QStringList names;
    for (auto it = m_keys.lowerBound(prefix); it != m_keys.cend() && it.key().startsWith(prefix);
         ++it) {
        const QString rest = it.key().mid(prefix.size());
        if (!rest.isEmpty() && !rest.contains(u'\\'))
            names.append(splitPath(it->path).last());
    }
    return names;
}

} // namespace registry
