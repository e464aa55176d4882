#include "automation/buserror.h"

#include "runtime/errnum.h"

#include <QDBusMessage>
#include <limits>

namespace automation {

namespace {

const QString Prefix = QStringLiteral("NVWin32.Error.E");

} // namespace

QString errorName(rt::Long number)
{
    if (number < 0)
        return Prefix + QLatin1Char('_') + QString::number(-qint64(number));
    return Prefix + QString::number(number);
}

std::optional<rt::Long> errorNumber(const QString &name)
{
    if (!name.startsWith(Prefix))
        return std::nullopt;
    QStringView digits = QStringView(name).mid(Prefix.size());
    const bool negative = digits.startsWith(u'_');
    if (negative)
        digits = digits.mid(1);
    bool ok = false;
    const qint64 magnitude = digits.toLongLong(&ok);
    if (!ok || digits.startsWith(u'+') || digits.startsWith(u'-'))
        return std::nullopt;
    const qint64 number = negative ? -magnitude : magnitude;
    if (number < std::numeric_limits<rt::Long>::min()
        || number > std::numeric_limits<rt::Long>::max())
        return std::nullopt;
    return rt::Long(number);
}

QDBusMessage errorReply(const QDBusMessage &call, const rt::Error &error)
{
    return call.createErrorReply(errorName(error.number), error.description);
}

rt::Error errorFromReply(const QDBusMessage &reply)
{
    if (const auto number = errorNumber(reply.errorName()))
        return rt::Error(*number, reply.errorMessage());
    return rt::Error(
        rt::err::Automation, reply.errorName() + QStringLiteral(": ") + reply.errorMessage());
}

} // namespace automation
