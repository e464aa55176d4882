#pragma once
// The published members of an adapter, read from its meta-object: public slots and invokable
// methods are its methods, Q_PROPERTYs its properties, signals its events, each in the order the
// class declares them (members of QObject itself are not published). Declare the methods of an
// interface as public slots in their published order: moc lists signals, slots and invokable
// methods in three separate groups.
//
// Calls go straight to the object's qt_metacall, so an error a member raises unwinds through
// code generated for our own classes only and reaches the caller of these functions.

#include <QList>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QString>
#include <QVariant>
#include <optional>

class QObject;

namespace automation::members {

// The D-Bus interface of an adapter class: its "D-Bus Interface" class info, else "NVWin32."
// and the class name.
QString interfaceOf(const QMetaObject *meta);
// A class info of the most derived class that has it, else "".
QString classInfo(const QMetaObject *meta, const char *name);

QList<QMetaMethod> methods(const QMetaObject *meta);
QList<QMetaMethod> events(const QMetaObject *meta);
QList<QMetaProperty> properties(const QMetaObject *meta);

// A method by name (exactly, else without case) taking argumentCount arguments; default
// arguments make a method callable with fewer.
std::optional<QMetaMethod> findMethod(
    const QMetaObject *meta, const QString &name, qsizetype argumentCount);
std::optional<QMetaProperty> property(const QMetaObject *meta, const QString &name);
bool hasEvent(const QMetaObject *meta, const QString &name);

// The declared type of a parameter ("QString &" by reference gives QString) and whether it is
// passed by reference (such a parameter is both an argument and a result).
QMetaType parameterType(const QMetaMethod &method, int index);
bool isByReference(const QMetaMethod &method, int index);

// Calls a method with arguments already of the declared types. Answers the results: the return
// value (unless void), then the final value of each by-reference argument.
QVariantList invoke(QObject *object, const QMetaMethod &method, const QVariantList &arguments);
QVariant read(QObject *object, const QMetaProperty &property);
void write(QObject *object, const QMetaProperty &property, const QVariant &value);

// The order in which introspection lists an adapter class's members, for an interface whose
// published order mixes properties and methods: by name, a property before the methods of the
// same name. Members the list does not name follow in their declared order. Call it before the
// first introspection (an adapter's constructor does); a later call for the class changes nothing.
void setPublishedOrder(const QMetaObject *meta, const QList<QByteArray> &names);

// The <interface> element of an adapter class for D-Bus introspection.
QString introspect(const QMetaObject *meta);

} // namespace automation::members
