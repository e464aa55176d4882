#include "automation/members.h"

#include "automation/marshal.h"
#include "runtime/errnum.h"
#include "runtime/error.h"

#include <QHash>
#include <QObject>
#include <vector>

namespace automation::members {

namespace {

// A value of a declared type and the pointer that a meta-call reads or writes it through.
struct Slot
{
    QMetaType type;
    QVariant value;

    explicit Slot(QMetaType type, QVariant initial = QVariant())
        : type(type)
        , value(std::move(initial))
    {
        if (!isVariant() && value.metaType() != type)
            value = QVariant(type);
    }
    bool isVariant() const { return type.id() == QMetaType::QVariant; }
    void *pointer() { return isVariant() ? static_cast<void *>(&value) : value.data(); }
};

bool isPublished(const QMetaMethod &method)
{
    return method.access() == QMetaMethod::Public
        && (method.methodType() == QMetaMethod::Slot || method.methodType() == QMetaMethod::Method);
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString argumentName(const QMetaMethod &method, int index)
{
    const QByteArray name = method.parameterNames().value(index);
    return name.isEmpty() ? QStringLiteral("arg%1").arg(index) : QString::fromLatin1(name);
}

QString argElement(const QString &name, const QString &signature, const char *direction)
{
    QString xml
        = QStringLiteral("      <arg name=\"%1\" type=\"%2\"").arg(escaped(name), signature);
    if (direction)
        xml += QStringLiteral(" direction=\"%1\"").arg(QLatin1String(direction));
    return xml + QStringLiteral("/>\n");
}

QString methodElement(const QMetaMethod &method)
{
    QString xml = QStringLiteral("    <method name=\"%1\">\n").arg(QLatin1String(method.name()));
    for (int i = 0; i < method.parameterCount(); ++i)
        xml += argElement(argumentName(method, i), signatureOf(parameterType(method, i)), "in");
    if (method.returnMetaType().isValid() && method.returnMetaType().id() != QMetaType::Void)
        xml += argElement(QStringLiteral("result"), signatureOf(method.returnMetaType()), "out");
    for (int i = 0; i < method.parameterCount(); ++i) {
        if (isByReference(method, i))
            xml += argElement(
                argumentName(method, i), signatureOf(parameterType(method, i)), "out");
    }
    return xml + QStringLiteral("    </method>\n");
}

QString signalElement(const QMetaMethod &event)
{
    QString xml = QStringLiteral("    <signal name=\"%1\">\n").arg(QLatin1String(event.name()));
    for (int i = 0; i < event.parameterCount(); ++i)
        xml += argElement(argumentName(event, i), signatureOf(parameterType(event, i)), nullptr);
    return xml + QStringLiteral("    </signal>\n");
}

QString propertyElement(const QMetaProperty &property)
{
    const char *access
        = property.isWritable() ? (property.isReadable() ? "readwrite" : "write") : "read";
    return QStringLiteral("    <property name=\"%1\" type=\"%2\" access=\"%3\"/>\n")
        .arg(QLatin1String(property.name()), signatureOf(property.metaType()),
            QLatin1String(access));
}

QHash<const QMetaObject *, QList<QByteArray>> &publishedOrders()
{
    static QHash<const QMetaObject *, QList<QByteArray>> orders;
    return orders;
}

} // namespace

void setPublishedOrder(const QMetaObject *meta, const QList<QByteArray> &names)
{
    if (!publishedOrders().contains(meta))
        publishedOrders().insert(meta, names);
}

QString classInfo(const QMetaObject *meta, const char *name)
{
    const int index = meta->indexOfClassInfo(name);
    return index < 0 ? QString() : QString::fromUtf8(meta->classInfo(index).value());
}

QString interfaceOf(const QMetaObject *meta)
{
    const QString name = classInfo(meta, "D-Bus Interface");
    if (!name.isEmpty())
        return name;
    return QStringLiteral("NVWin32.") + QLatin1String(meta->className());
}

QList<QMetaMethod> methods(const QMetaObject *meta)
{
    QList<QMetaMethod> list;
    for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
        if (isPublished(meta->method(i)))
            list << meta->method(i);
    }
    return list;
}

QList<QMetaMethod> events(const QMetaObject *meta)
{
    QList<QMetaMethod> list;
    for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
        if (meta->method(i).methodType() == QMetaMethod::Signal)
            list << meta->method(i);
    }
    return list;
}

QList<QMetaProperty> properties(const QMetaObject *meta)
{
    QList<QMetaProperty> list;
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i)
        list << meta->property(i);
    return list;
}

std::optional<QMetaMethod> findMethod(
    const QMetaObject *meta, const QString &name, qsizetype argumentCount)
{
    const QList<QMetaMethod> candidates = methods(meta);
    for (Qt::CaseSensitivity cs : { Qt::CaseSensitive, Qt::CaseInsensitive }) {
        for (const QMetaMethod &method : candidates) {
            if (method.parameterCount() == argumentCount
                && QString::fromLatin1(method.name()).compare(name, cs) == 0)
                return method;
        }
    }
    return std::nullopt;
}

std::optional<QMetaProperty> property(const QMetaObject *meta, const QString &name)
{
    const QList<QMetaProperty> candidates = properties(meta);
    for (Qt::CaseSensitivity cs : { Qt::CaseSensitive, Qt::CaseInsensitive }) {
        for (const QMetaProperty &p : candidates) {
            if (QString::fromLatin1(p.name()).compare(name, cs) == 0)
                return p;
        }
    }
    return std::nullopt;
}

bool hasEvent(const QMetaObject *meta, const QString &name)
{
    for (const QMetaMethod &event : events(meta)) {
        if (QString::fromLatin1(event.name()) == name)
            return true;
    }
    return false;
}

bool isByReference(const QMetaMethod &method, int index)
{
    return method.parameterTypeName(index).endsWith('&');
}

QMetaType parameterType(const QMetaMethod &method, int index)
{
    const QMetaType type = method.parameterMetaType(index);
    if (type.isValid())
        return type;
    // moc records no type for a non-const reference: look the plain type up by name.
    QByteArray name = method.parameterTypeName(index);
    if (name.endsWith('&'))
        name.chop(1);
    return QMetaType::fromName(name);
}

QVariantList invoke(QObject *object, const QMetaMethod &method, const QVariantList &arguments)
{
    const int count = method.parameterCount();
    std::vector<Slot> cells;
    cells.reserve(count + 1);
    const QMetaType returnType = method.returnMetaType();
    const bool hasResult = returnType.isValid() && returnType.id() != QMetaType::Void;
    cells.emplace_back(hasResult ? returnType : QMetaType::fromType<QVariant>());
    std::vector<void *> argv(count + 1, nullptr);
    if (hasResult)
        argv[0] = cells[0].pointer();
    for (int i = 0; i < count; ++i) {
        const QMetaType type = parameterType(method, i);
        if (!type.isValid())
            rt::raise(rt::err::TypeMismatch);
        cells.emplace_back(type, arguments.value(i));
        argv[i + 1] = cells.back().pointer();
    }
    object->qt_metacall(QMetaObject::InvokeMetaMethod, method.methodIndex(), argv.data());

    QVariantList results;
    if (hasResult)
        results << cells[0].value;
    for (int i = 0; i < count; ++i) {
        if (isByReference(method, i))
            results << cells[i + 1].value;
    }
    return results;
}

QVariant read(QObject *object, const QMetaProperty &property)
{
    if (!property.isReadable())
        rt::raise(rt::err::TypeMismatch);
    Slot slot(property.metaType());
    int status = -1;
    void *argv[] = { slot.pointer(), &slot.value, &status };
    object->qt_metacall(QMetaObject::ReadProperty, property.propertyIndex(), argv);
    return slot.value;
}

void write(QObject *object, const QMetaProperty &property, const QVariant &value)
{
    Slot slot(property.metaType(), value);
    int status = -1;
    int flags = 0;
    void *argv[] = { slot.pointer(), &slot.value, &status, &flags };
    object->qt_metacall(QMetaObject::WriteProperty, property.propertyIndex(), argv);
}

QString introspect(const QMetaObject *meta)
{
    QString xml = QStringLiteral("  <interface name=\"%1\">\n").arg(escaped(interfaceOf(meta)));
    QList<QMetaProperty> properties = members::properties(meta);
    QList<QMetaMethod> methods;
    for (const QMetaMethod &method : members::methods(meta)) {
        if (!(method.attributes() & QMetaMethod::Cloned))
            methods << method;
    }
    for (const QByteArray &name : publishedOrders().value(meta)) {
        for (qsizetype i = 0; i < properties.size(); ++i) {
            if (properties.at(i).name() == name)
                xml += propertyElement(properties.takeAt(i--));
        }
        for (qsizetype i = 0; i < methods.size(); ++i) {
            if (methods.at(i).name() == name)
                xml += methodElement(methods.takeAt(i--));
        }
    }
    for (const QMetaProperty &p : std::as_const(properties))
        xml += propertyElement(p);
    for (const QMetaMethod &method : std::as_const(methods))
        xml += methodElement(method);
    for (const QMetaMethod &event : events(meta))
        xml += signalElement(event);
    return xml + QStringLiteral("  </interface>\n");
}

} // namespace automation::members
