#pragma once
// Values between automation objects and the session bus.
//
// Conventions every client sees:
// - Empty (an invalid QVariant, a Variant nobody set) travels as a variant holding an empty array
//   of signatures (D-Bus type "ag", no elements); nothing else is sent that way, so a client tests
//   "variant signature is ag and the array is empty". D-Bus has no empty value of its own (empty
//   structures are not allowed). A JavaScript null travels as Empty too.
// - Booleans are 16-bit integers (D-Bus "n"), True -1 and False 0, in both directions a member
//   declared bool or rt::Int.
// - An object reference is its object path ("o"); Nothing (no object) is the path "/".
// - Dates and times travel as ISO 8601 text.
// - Arguments are converted to the declared type of the member the way late-bound calls coerce
//   them (a number for a text argument and so on); what cannot be converted raises 13.

#include "runtime/error.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMetaType>
#include <QString>
#include <QVariant>

class QObject;

namespace automation {

// The path of no object.
inline QString nothingPath()
{
    return QStringLiteral("/");
}

// How values that name objects are resolved: the bridge maps objects to the paths it exported
// them at; a client keeps the paths it receives (QDBusObjectPath).
class ObjectMap
{
public:
    virtual ~ObjectMap() = default;
    // The path of an object (exporting it first when it has none); "/" for nullptr.
    virtual QString pathOf(QObject *object) = 0;
    // The object exported at a path, or nullptr.
    virtual QObject *objectAt(const QString &path) const = 0;
};

// Empty as it travels: the content of a variant (an empty "ag" array).
QVariant emptyOnBus();

// The D-Bus signature of a declared type (for introspection and signals).
QString signatureOf(QMetaType type);

// A value of a declared type, ready to append to a message. objects may be nullptr (client side:
// an object pointer cannot be sent and raises 13).
QVariant toBus(const QVariant &value, QMetaType declared, ObjectMap *objects);
// A Variant's content as it travels inside a D-Bus variant (Empty, objects and lists converted).
QVariant contentToBus(const QVariant &value, ObjectMap *objects);

// A received argument converted to a declared type (13 when it does not convert). objects may be
// nullptr: received paths then stay QDBusObjectPath values.
QVariant fromBus(const QVariant &argument, QMetaType declared, const ObjectMap *objects);
// A received value as a plain Variant: variants unwrapped, the Empty marker as Empty, "/" as
// Nothing, paths of exported objects as the objects, arrays as lists, dictionaries as maps.
QVariant variantFromBus(const QVariant &argument, const ObjectMap *objects);

// A QVariant holding an object pointer (of any QObject class), or nullptr.
bool holdsObject(const QVariant &value);
QObject *objectOf(const QVariant &value);

} // namespace automation
