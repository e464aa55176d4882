#include "app/strfunc.h"

#include "runtime/errnum.h"

#include <QStringList>

namespace Strfunc {

namespace {

const char *const kModule = "strfunc";

// Runs one statement that yields the routine's result under the routine's error handler.
template<class R, class F> R handled(const char *procedure, F &&statement)
{
    R result {};
    rt::Proc h(kModule, procedure);
    h([&] { result = statement(); });
    return result;
}

QString field(const QString &text, const QString &delimiter, rt::Int n)
{
    if (n == 0)
        return text;
    if (n < 0)
        return QString();
    if (delimiter.isEmpty()) // nothing separates: the text is one field
        return n == 1 ? text : QString();
    qsizetype begin = 0;
    for (rt::Int k = 1;; ++k) {
        const qsizetype end = text.indexOf(delimiter, begin);
        if (end < 0)
            return k == n ? text.mid(begin) : QString();
        if (k == n)
            return text.mid(begin, end - begin);
        begin = end + delimiter.size();
    }
}

rt::Int dcount(const QString &text, const QString &delimiter)
{
    if (text.isEmpty())
        return 0;
    qsizetype count = 1;
    if (!delimiter.isEmpty()) {
        // Resume one character behind each occurrence's start, so overlapping occurrences count.
        for (qsizetype at = text.indexOf(delimiter); at >= 0; at = text.indexOf(delimiter, at + 1))
            ++count;
    }
    if (count > 32767)
        rt::raise(rt::err::Overflow);
    return rt::Int(count);
}

// The character a caret sequence ^c stands for.
char16_t caretCode(QChar c)
{
    if (c == u'?')
        return 127;
    if (c == u'^')
        return u'^';
    return c.unicode() % 32;
}

// The character a backslash-caret sequence \^c stands for.
char16_t highCaretCode(QChar c)
{
    switch (c.unicode()) {
    case u'<':
        return 220;
    case u'>':
        return 222;
    case u'?':
        return 255;
    default:
        return (c.unicode() & 31) | 128;
    }
}

QString arrowToCtrl(const QString &text)
{
    QString result;
    result.reserve(text.size());
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == u'^') {
            if (i + 1 >= n)
                break; // a lone caret at the end is dropped
            result += QChar(caretCode(text.at(i + 1)));
            i += 2;
        } else if (c == u'\\') {
            if (i + 1 >= n)
                break;
            const QChar d = text.at(i + 1);
            if (d == u'\\') {
                result += u'\\';
                i += 2;
            } else if (d == u'^') {
                if (i + 2 >= n)
                    break;
                result += QChar(highCaretCode(text.at(i + 2)));
                i += 3;
            } else {
                result += QChar(char16_t(d.unicode() | 128));
                i += 2;
            }
        } else {
            result += c;
            ++i;
        }
    }
    return result;
}

// Index of the "]" that ends the group opened at index open, or -1 when none does. Double quotes
// pair from the "[" onwards; a "]" inside a pair does not count. When a quote is left open, the
// first "]" after it ends the group.
qsizetype groupEnd(const QString &text, qsizetype open)
{
    qsizetype openQuote = -1;
    for (qsizetype j = open + 1; j < text.size(); ++j) {
        const QChar c = text.at(j);
        if (c == u'"')
            openQuote = openQuote < 0 ? j : -1;
        else if (c == u']' && openQuote < 0)
            return j;
    }
    return openQuote < 0 ? -1 : text.indexOf(u']', openQuote + 1);
}

QString xlateCmd(const QString &text)
{
    QString result;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype open = text.indexOf(u'[', pos);
        if (open < 0)
            break;
        qsizetype end = groupEnd(text, open);
        if (end < 0)
            end = text.size();
        result += QStringView(text).mid(open + 1, end - open - 1);
        result += QLatin1String("\r\n");
        pos = end + 1;
    }
    return result;
}

rt::Long findstr(const QString &text, const QString &set)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (set.contains(text.at(i)))
            return rt::Long(i + 1);
    }
    return 0;
}

// A name that holds a blank or a double quote is written in double quotes, with each double
// quote of its own doubled, so that parseFiles() gives it back whole.
QString unParseFiles(const QString &list)
{
    QStringList names;
    for (const QStringView name : QStringView(list).split(QChar(0), Qt::SkipEmptyParts)) {
        if (name.contains(u' ') || name.contains(u'"')) {
            QString quoted = name.toString();
            quoted.replace(u'"', QStringLiteral("\"\""));
            names << (u'"' + quoted + u'"');
        } else {
            names << name.toString();
        }
    }
    return names.join(u' ');
}

// A quoted name starting behind its opening quote at i: up to the next double quote that is not
// doubled (or to the end); i ends behind the closing quote.
QString quotedName(const QString &text, qsizetype &i)
{
    QString name;
    const qsizetype n = text.size();
    while (i < n) {
        const QChar c = text.at(i++);
        if (c != u'"') {
            name += c;
        } else if (i < n && text.at(i) == u'"') {
            name += c;
            ++i;
        } else {
            break;
        }
    }
    return name;
}

QString parseFiles(const QString &text)
{
    QStringList names;
    const qsizetype n = text.size();
    qsizetype i = 0;
    for (;;) {
        while (i < n && text.at(i) == u' ')
            ++i;
        if (i >= n)
            break;
        if (text.at(i) == u'"') {
            ++i;
            const QString name = quotedName(text, i);
            if (!name.isEmpty())
                names << name;
            continue;
        }
        // Only a blank or a double quote ends an unquoted name; the terminator is consumed.
        qsizetype end = i;
        while (end < n && text.at(end) != u' ' && text.at(end) != u'"')
            ++end;
        if (end > i)
            names << text.mid(i, end - i);
        i = end + 1;
    }
    return names.join(QChar(0));
}

} // namespace

QString Field(const QString &text, const QString &delimiter, rt::Int n)
{
    return handled<QString>("Field", [&] { return field(text, delimiter, n); });
}

rt::Int Dcount(const QString &text, const QString &delimiter)
{
    return handled<rt::Int>("Dcount", [&] { return dcount(text, delimiter); });
}

QString ArrowToCtrl(const QString &text)
{
    return handled<QString>("ArrowToCtrl", [&] { return arrowToCtrl(text); });
}

QString XlateCmd(const QString &text)
{
    return handled<QString>("XlateCmd", [&] { return xlateCmd(text); });
}

rt::Long Findstr(const QString &text, const QString &set)
{
    return handled<rt::Long>("Findstr", [&] { return findstr(text, set); });
}

QString UnParseFiles(const QString &list)
{
    return handled<QString>("UnParseFiles", [&] { return unParseFiles(list); });
}

QString ParseFiles(const QString &text)
{
    return handled<QString>("ParseFiles", [&] { return parseFiles(text); });
}

} // namespace Strfunc
