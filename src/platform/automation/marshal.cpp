#include "automation/marshal.h"

#include "runtime/errnum.h"
#include "runtime/values.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusSignature>
#include <QDateTime>
#include <QObject>
#include <limits>

namespace automation {

namespace {

const QString EmptySignature = QStringLiteral("ag");

bool isDateOrTime(int id)
{
    return id == QMetaType::QDateTime || id == QMetaType::QDate || id == QMetaType::QTime;
}

QString dateText(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    case QMetaType::QTime:
        return value.toTime().toString(Qt::ISODateWithMs);
    default:
        return value.toDateTime().toString(Qt::ISODateWithMs);
    }
}

QString pathOf(QObject *object, ObjectMap *objects)
{
    if (!object)
        return nothingPath();
    if (!objects)
        rt::raise(rt::err::TypeMismatch);
    return objects->pathOf(object);
}

QVariant objectFromPath(const QDBusObjectPath &path, const ObjectMap *objects)
{
    if (path.path() == nothingPath())
        return QVariant::fromValue<QObject *>(nullptr);
    if (objects) {
        if (QObject *object = objects->objectAt(path.path()))
            return QVariant::fromValue(object);
    }
    return QVariant::fromValue(path);
}

QVariant demarshal(const QDBusArgument &argument, const ObjectMap *objects);

QVariant demarshalArray(const QDBusArgument &argument, const ObjectMap *objects)
{
    const bool signatures = argument.currentSignature() == EmptySignature;
    QVariantList items;
    argument.beginArray();
    while (!argument.atEnd())
        items << variantFromBus(argument.asVariant(), objects);
    argument.endArray();
    if (signatures && items.isEmpty())
        return QVariant();
    return items;
}

QVariant demarshalMap(const QDBusArgument &argument, const ObjectMap *objects)
{
    QVariantMap map;
    argument.beginMap();
    while (!argument.atEnd()) {
        argument.beginMapEntry();
        const QVariant key = variantFromBus(argument.asVariant(), objects);
        const QVariant value = variantFromBus(argument.asVariant(), objects);
        argument.endMapEntry();
        map.insert(key.toString(), value);
    }
    argument.endMap();
    return map;
}

QVariant demarshalStructure(const QDBusArgument &argument, const ObjectMap *objects)
{
    QVariantList fields;
    argument.beginStructure();
    while (!argument.atEnd())
        fields << variantFromBus(argument.asVariant(), objects);
    argument.endStructure();
    return fields;
}

QVariant demarshal(const QDBusArgument &argument, const ObjectMap *objects)
{
    switch (argument.currentType()) {
    case QDBusArgument::ArrayType:
        return demarshalArray(argument, objects);
    case QDBusArgument::MapType:
        return demarshalMap(argument, objects);
    case QDBusArgument::StructureType:
        return demarshalStructure(argument, objects);
    case QDBusArgument::BasicType:
    case QDBusArgument::VariantType:
        return variantFromBus(argument.asVariant(), objects);
    default:
        return QVariant();
    }
}

// A whole number of a declared width from any received value (6 when out of range). The upper
// bound is exclusive and one above the largest value: the largest 64-bit value has no exact
// double, and the double it rounds to is already out of range.
template<class T> QVariant wholeNumber(const QVariant &value)
{
    const double d = rt::CDbl(value);
    if (!(d >= double(std::numeric_limits<T>::min())
            && d < double(std::numeric_limits<T>::max()) + 1.0))
        rt::raise(rt::err::Overflow);
    return QVariant::fromValue(T(d));
}

QVariant objectPointer(const QVariant &value, QMetaType declared)
{
    QObject *object = nullptr;
    if (holdsObject(value))
        object = objectOf(value);
    else if (value.isValid() && value.metaType().id() != QMetaType::Nullptr)
        rt::raise(rt::err::TypeMismatch);
    if (object && declared.metaObject() && !object->metaObject()->inherits(declared.metaObject()))
        rt::raise(rt::err::TypeMismatch);
    return QVariant(declared, &object);
}

QVariant listFromBus(const QVariant &value, QMetaType declared)
{
    if (!value.isValid())
        return QVariant(declared);
    QVariant converted = value;
    if (!converted.convert(declared))
        rt::raise(rt::err::TypeMismatch);
    return converted;
}

} // namespace

QVariant emptyOnBus()
{
    return QVariant::fromValue(QList<QDBusSignature>());
}

bool holdsObject(const QVariant &value)
{
    return value.metaType().flags().testFlag(QMetaType::PointerToQObject);
}

QObject *objectOf(const QVariant &value)
{
    return holdsObject(value) ? *static_cast<QObject *const *>(value.constData()) : nullptr;
}

QString signatureOf(QMetaType type)
{
    switch (type.id()) {
    case QMetaType::Bool:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return QStringLiteral("n");
    case QMetaType::UShort:
        return QStringLiteral("q");
    case QMetaType::Int:
        return QStringLiteral("i");
    case QMetaType::UInt:
        return QStringLiteral("u");
    case QMetaType::LongLong:
    case QMetaType::Long:
        return QStringLiteral("x");
    case QMetaType::ULongLong:
    case QMetaType::ULong:
        return QStringLiteral("t");
    case QMetaType::Double:
    case QMetaType::Float:
        return QStringLiteral("d");
    case QMetaType::UChar:
        return QStringLiteral("y");
    case QMetaType::QString:
    case QMetaType::QDateTime:
    case QMetaType::QDate:
    case QMetaType::QTime:
        return QStringLiteral("s");
    case QMetaType::QByteArray:
        return QStringLiteral("ay");
    case QMetaType::QStringList:
        return QStringLiteral("as");
    case QMetaType::QVariant:
        return QStringLiteral("v");
    case QMetaType::QVariantList:
        return QStringLiteral("av");
    case QMetaType::QVariantMap:
        return QStringLiteral("a{sv}");
    default:
        break;
    }
    if (type == QMetaType::fromType<QDBusObjectPath>()
        || type.flags() & QMetaType::PointerToQObject)
        return QStringLiteral("o");
    if (const char *signature = QDBusMetaType::typeToSignature(type))
        return QString::fromLatin1(signature);
    return QStringLiteral("v");
}

QVariant contentToBus(const QVariant &value, ObjectMap *objects)
{
    const int id = value.metaType().id();
    if (!value.isValid() || id == QMetaType::Nullptr)
        return emptyOnBus();
    if (holdsObject(value))
        return QVariant::fromValue(QDBusObjectPath(pathOf(objectOf(value), objects)));
    if (isDateOrTime(id))
        return dateText(value);
    switch (id) {
    case QMetaType::Bool:
        return QVariant::fromValue(rt::BoolToInt(value.toBool()));
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::Char:
    case QMetaType::SChar:
        return QVariant::fromValue(qint16(value.toInt()));
    case QMetaType::Long:
        return QVariant::fromValue(value.toLongLong());
    case QMetaType::ULong:
        return QVariant::fromValue(value.toULongLong());
    case QMetaType::QVariantList: {
        QVariantList items;
        for (const QVariant &item : value.toList())
            items << contentToBus(item, objects);
        return items;
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        QVariantMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.cbegin(); it != source.cend(); ++it)
            map.insert(it.key(), contentToBus(it.value(), objects));
        return map;
    }
    default:
        break;
    }
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return contentToBus(value.value<QDBusVariant>().variant(), objects);
    if (QDBusMetaType::typeToSignature(value.metaType()))
        return value;
    if (value.canConvert<QString>())
        return value.toString();
    rt::raise(rt::err::TypeMismatch);
}

QVariant toBus(const QVariant &value, QMetaType declared, ObjectMap *objects)
{
    if (declared.flags() & QMetaType::PointerToQObject)
        return QVariant::fromValue(QDBusObjectPath(pathOf(objectOf(value), objects)));
    switch (declared.id()) {
    case QMetaType::QVariant:
        return QVariant::fromValue(QDBusVariant(contentToBus(value, objects)));
    case QMetaType::QVariantList:
    case QMetaType::QVariantMap:
    case QMetaType::Bool:
    case QMetaType::Float:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::QDateTime:
    case QMetaType::QDate:
    case QMetaType::QTime:
        return contentToBus(value, objects);
    default:
        return value;
    }
}

QVariant variantFromBus(const QVariant &argument, const ObjectMap *objects)
{
    const QMetaType type = argument.metaType();
    if (type == QMetaType::fromType<QDBusVariant>())
        return variantFromBus(argument.value<QDBusVariant>().variant(), objects);
    if (type == QMetaType::fromType<QDBusArgument>())
        return demarshal(argument.value<QDBusArgument>(), objects);
    if (type == QMetaType::fromType<QDBusObjectPath>())
        return objectFromPath(argument.value<QDBusObjectPath>(), objects);
    if (type == QMetaType::fromType<QList<QDBusSignature>>()) {
        const auto signatures = argument.value<QList<QDBusSignature>>();
        if (signatures.isEmpty())
            return QVariant();
        QStringList texts;
        for (const QDBusSignature &signature : signatures)
            texts << signature.signature();
        return texts;
    }
    if (type == QMetaType::fromType<QDBusSignature>())
        return argument.value<QDBusSignature>().signature();
    return argument;
}

QVariant fromBus(const QVariant &argument, QMetaType declared, const ObjectMap *objects)
{
    const QVariant value = variantFromBus(argument, objects);
    if (declared.flags() & QMetaType::PointerToQObject)
        return objectPointer(value, declared);
    switch (declared.id()) {
    case QMetaType::QVariant:
        return value;
    case QMetaType::Bool:
        return rt::CBool(value);
    case QMetaType::Short:
        return QVariant::fromValue(rt::CInt(value));
    case QMetaType::Int:
        return QVariant::fromValue(rt::CLng(value));
    case QMetaType::UShort:
        return wholeNumber<quint16>(value);
    case QMetaType::UInt:
        return wholeNumber<quint32>(value);
    case QMetaType::LongLong:
        return wholeNumber<qint64>(value);
    case QMetaType::UChar:
        return wholeNumber<uchar>(value);
    case QMetaType::Double:
        return rt::CDbl(value);
    case QMetaType::Float:
        return float(rt::CDbl(value));
    case QMetaType::QString:
        if (holdsObject(value) || value.metaType() == QMetaType::fromType<QDBusObjectPath>())
            rt::raise(rt::err::TypeMismatch);
        return rt::CStr(value);
    case QMetaType::QDateTime: {
        const QDateTime when = QDateTime::fromString(rt::CStr(value), Qt::ISODateWithMs);
        if (!when.isValid())
            rt::raise(rt::err::TypeMismatch);
        return when;
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList:
    case QMetaType::QVariantMap:
    case QMetaType::QByteArray:
        return listFromBus(value, declared);
    default:
        break;
    }
    if (declared == QMetaType::fromType<QDBusObjectPath>()) {
        if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
            return value;
        rt::raise(rt::err::TypeMismatch);
    }
    QVariant converted = value;
    if (!converted.convert(declared))
        rt::raise(rt::err::TypeMismatch);
    return converted;
}

} // namespace automation
