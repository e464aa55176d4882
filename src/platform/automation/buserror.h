#pragma once
// Errors as they cross the session bus.
//
// A numbered error (rt::Error) travels as a D-Bus error named "NVWin32.Error.E<number>", the
// number in decimal as the signed 32-bit value; D-Bus names may hold neither a leading digit nor
// a minus sign, so the element starts with "E" and a negative number is written "E_" and its
// magnitude: error 5 is "NVWin32.Error.E5", 0x80004001 (-2147467263) is
// "NVWin32.Error.E_2147467263". The reply's body is the error's description alone (one string),
// so that every client (gdbus, busctl, Python) shows it.

#include "runtime/error.h"

#include <QString>
#include <exception>
#include <optional>

class QDBusMessage;

namespace automation {

QString errorName(rt::Long number);
// The number a name of the form above carries; nothing for any other name.
std::optional<rt::Long> errorNumber(const QString &name);

// An error that travels under a D-Bus name of its own instead of a number
// ("NVWin32.DDE.Refused"). Only for members that D-Bus clients alone call.
struct NamedError : std::exception
{
    QString name;
    QString message;
    NamedError(QString name, QString message)
        : name(std::move(name))
        , message(std::move(message))
    { }
    const char *what() const noexcept override { return "named bus error"; }
};

// The reply to a failed call: the error's name and its description.
QDBusMessage errorReply(const QDBusMessage &call, const rt::Error &error);

// A received error reply as an rt::Error: a numbered error keeps its number and text; any other
// D-Bus error becomes 440 ("Automation error") with the D-Bus name and text as its description.
rt::Error errorFromReply(const QDBusMessage &reply);

} // namespace automation
