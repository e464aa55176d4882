#include "runtime/values.h"

#include <cmath>
#include <limits>

namespace rt {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Parses a whole text as a number, as the runtime's conversions do: blanks around it allowed,
// "&H"/"&O" prefixes, a leading sign, decimal point and exponent.
bool parseNumber(const QString &text, double &out)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    if (t.startsWith(u'&') && t.size() > 2) {
        const QChar k = t.at(1).toUpper();
        bool ok = false;
        qint64 v = 0;
        if (k == u'H')
            v = t.mid(2).toLongLong(&ok, 16);
        else if (k == u'O')
            v = t.mid(2).toLongLong(&ok, 8);
        if (!ok)
            return false;
        // Hexadecimal literals of up to 4 digits are 16-bit, of up to 8 digits 32-bit.
        if (v <= 0xFFFF && t.size() - 2 <= 4)
            v = qint16(quint16(v));
        else if (v <= 0xFFFFFFFFLL)
            v = qint32(quint32(v));
        out = double(v);
        return true;
    }
    bool ok = false;
    out = t.toDouble(&ok);
    return ok && std::isfinite(out);
}

double roundHalfEven(double v)
{
    return std::nearbyint(v); // the default rounding mode is to nearest, ties to even
}

} // namespace

double Val(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && isBlank(text.at(i)))
            ++i;
    };
    skipBlanks();
    if (i + 1 < n && text.at(i) == u'&') {
        const QChar k = text.at(i + 1).toUpper();
        const int base = k == u'H' ? 16 : k == u'O' ? 8 : 0;
        if (base) {
            qsizetype j = i + 2;
            QString digits;
            while (j < n) {
                const QChar c = text.at(j);
                const int d = c.isDigit() ? c.digitValue()
                    : (base == 16 && c.toUpper() >= u'A' && c.toUpper() <= u'F')
                    ? c.toUpper().unicode() - 'A' + 10
                    : -1;
                if (d < 0 || d >= base)
                    break;
                digits += c;
                ++j;
            }
            double v = 0;
            parseNumber(QStringLiteral("&") + k + digits, v);
            return v;
        }
    }
    // Val ignores blanks inside the number too ("1 2" is 12).
    QString number;
    bool seenDigit = false, seenPoint = false, seenExp = false;
    if (i < n && (text.at(i) == u'-' || text.at(i) == u'+'))
        number += text.at(i++);
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (isBlank(c))
            continue;
        if (c.isDigit() && c.unicode() < 128) {
            number += c;
            seenDigit = true;
        } else if (c == u'.' && !seenPoint && !seenExp) {
            number += c;
            seenPoint = true;
        } else if ((c == u'e' || c == u'E' || c == u'd' || c == u'D') && seenDigit && !seenExp) {
            // Only an exponent when digits follow (optionally signed).
            qsizetype j = i + 1;
            QString exp = QStringLiteral("e");
            if (j < n && (text.at(j) == u'-' || text.at(j) == u'+'))
                exp += text.at(j++);
            if (j < n && text.at(j).isDigit()) {
                number += exp;
                seenExp = true;
                i = j - 1;
            } else {
                break;
            }
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0;
    bool ok = false;
    const double v = number.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

bool IsNumeric(const QVariant &value)
{
    if (!value.isValid())
        return true;
    switch (value.metaType().id()) {
    case QMetaType::QString: {
        double d;
        return parseNumber(value.toString(), d);
    }
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

double CDbl(const QVariant &value)
{
    if (!value.isValid())
        return 0;
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? -1 : 0;
    case QMetaType::QString: {
        const QString t = value.toString();
        const QString trimmed = t.trimmed();
        if (trimmed.compare(u"true", Qt::CaseInsensitive) == 0)
            return -1;
        if (trimmed.compare(u"false", Qt::CaseInsensitive) == 0)
            return 0;
        double d = 0;
        if (!parseNumber(t, d))
            raise(err::TypeMismatch);
        return d;
    }
    default:
        if (!IsNumeric(value))
            raise(err::TypeMismatch);
        return value.toDouble();
    }
}

Int CInt(double value)
{
    if (std::isnan(value))
        raise(err::Overflow);
    const double r = roundHalfEven(value);
    if (r < std::numeric_limits<Int>::min() || r > std::numeric_limits<Int>::max())
        raise(err::Overflow);
    return Int(r);
}

Int CInt(const QVariant &value)
{
    return CInt(CDbl(value));
}

Long CLng(double value)
{
    if (std::isnan(value))
        raise(err::Overflow);
    const double r = roundHalfEven(value);
    if (r < std::numeric_limits<Long>::min() || r > std::numeric_limits<Long>::max())
        raise(err::Overflow);
    return Long(r);
}

Long CLng(const QVariant &value)
{
    return CLng(CDbl(value));
}

bool CBool(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::Bool)
        return value.toBool();
    return CDbl(value) != 0;
}

QString CStr(double value)
{
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(qint64(value));
    QString s = QString::number(value, 'g', 15);
    return s;
}

QString CStr(const QVariant &value)
{
    if (!value.isValid())
        return QString();
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float:
        return CStr(value.toDouble());
    case QMetaType::QString:
        return value.toString();
    default:
        if (IsNumeric(value))
            return QString::number(value.toLongLong());
        if (value.canConvert<QString>())
            return value.toString();
        raise(err::TypeMismatch);
    }
}

Long IntDiv(double a, double b)
{
    const Long x = CLng(a);
    const Long y = CLng(b);
    if (y == 0)
        raise(err::DivisionByZero);
    if (x == std::numeric_limits<Long>::min() && y == -1)
        raise(err::Overflow);
    return x / y;
}

Long Mod(double a, double b)
{
    const Long x = CLng(a);
    const Long y = CLng(b);
    if (y == 0)
        raise(err::DivisionByZero);
    if (y == -1)
        return 0;
    return x % y;
}

namespace {
template<class T>
T checked(qint64 r)
{
    if (r < std::numeric_limits<T>::min() || r > std::numeric_limits<T>::max())
        raise(err::Overflow);
    return T(r);
}
} // namespace

Int AddInt(Int a, Int b) { return checked<Int>(qint64(a) + b); }
Int SubInt(Int a, Int b) { return checked<Int>(qint64(a) - b); }
Int MulInt(Int a, Int b) { return checked<Int>(qint64(a) * b); }
Long AddLong(Long a, Long b) { return checked<Long>(qint64(a) + b); }
Long SubLong(Long a, Long b) { return checked<Long>(qint64(a) - b); }
Long MulLong(Long a, Long b) { return checked<Long>(qint64(a) * b); }

} // namespace rt
