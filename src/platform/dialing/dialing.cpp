#include "dialing/dialing.h"

#include "bar/delimitedtable.h"
#include "dialing/dialinglog.h"
#include "registry/registry.h"

#include <QSet>

Q_LOGGING_CATEGORY(lcDialing, "norvalis.dialing", QtInfoMsg)

namespace dialing {

namespace {

const QString StoreKey = QStringLiteral("Software\\Telephony");
const QString StoreValue = QStringLiteral("Locations");
const QString Tone = QStringLiteral("Tone");
const QString Pulse = QStringLiteral("Pulse");
const QString InUse = QStringLiteral("*");

// Cells of a stored row.
enum Cell { NameCell = 1, PrefixCell, MethodCell, InUseCell };

} // namespace

bool onlyDialCharacters(const QString &text)
{
    static const QString allowed = QStringLiteral("0123456789,WwPpTt!@*#+AaBbCcDd -()");
    for (QChar c : text) {
        if (!allowed.contains(c))
            return false;
    }
    return true;
}

QString problem(const Properties &properties)
{
    if (properties.locations.isEmpty())
        return QStringLiteral("There is no location to dial from.");
    QSet<QString> names;
    for (const Location &location : properties.locations) {
        const QString name = location.name.trimmed();
        if (name.isEmpty())
            return QStringLiteral("Every location needs a name.");
        if (names.contains(name.toCaseFolded()))
            return QStringLiteral("There are two locations named \"%1\".").arg(name);
        names.insert(name.toCaseFolded());
        if (!onlyDialCharacters(location.prefix))
            return QStringLiteral("The outside-line prefix of \"%1\" may hold only digits, blanks, "
                                  "- ( ) and the dial characters , W P T ! @ * # + A B C D.")
                .arg(name);
    }
    return QString();
}

Properties defaults()
{
    return { { { QStringLiteral("Default Location"), QString(), false } }, 0 };
}

QString toText(const Properties &properties)
{
    bar::DelimitedTable table;
    for (int i = 0; i < properties.locations.size(); ++i) {
        const Location &location = properties.locations.at(i);
        table.setItem(i + 1, NameCell, location.name);
        table.setItem(i + 1, PrefixCell, location.prefix);
        table.setItem(i + 1, MethodCell, location.pulse ? Pulse : Tone);
        table.setItem(i + 1, InUseCell, i == properties.current ? InUse : QString());
    }
    return table.getItem();
}

Properties fromText(const QString &text)
{
    bar::DelimitedTable table;
    table.init(text, bar::DelimitedTableGlobal::Delimiters());
    Properties properties;
    properties.locations.clear();
    QSet<QString> names;
    for (int row = 1; row <= table.count(); ++row) {
        Location location { table.getItem(row, NameCell).trimmed(),
            table.getItem(row, PrefixCell),
            table.getItem(row, MethodCell).compare(Pulse, Qt::CaseInsensitive) == 0 };
        if (location.name.isEmpty() || names.contains(location.name.toCaseFolded())
            || !onlyDialCharacters(location.prefix)) {
            qCDebug(lcDialing) << "stored location passed over, row" << row;
            continue;
        }
        names.insert(location.name.toCaseFolded());
        if (table.getItem(row, InUseCell) == InUse)
            properties.current = int(properties.locations.size());
        properties.locations.append(location);
    }
    return properties.locations.isEmpty() ? defaults() : properties;
}

Properties load()
{
    const std::optional<QString> text
        = registry::value(registry::Root::CurrentUser, StoreKey, StoreValue);
    return text ? fromText(*text) : defaults();
}

bool save(const Properties &properties)
{
    if (properties.current < 0 || properties.current >= properties.locations.size()
        || !problem(properties).isEmpty())
        return false;
    return registry::setValue(
        registry::Root::CurrentUser, StoreKey, toText(properties), StoreValue);
}

QByteArray dialCommand(const Location &location, const QString &number)
{
    const QString digits = number.trimmed();
    if (digits.isEmpty() || !onlyDialCharacters(digits) || !onlyDialCharacters(location.prefix))
        return {};
    return (location.pulse ? "ATDP" : "ATDT") + location.prefix.toLatin1() + digits.toLatin1()
        + '\r';
}

QByteArray dialCommand(const QString &number)
{
    return dialCommand(load().currentLocation(), number);
}

} // namespace dialing
