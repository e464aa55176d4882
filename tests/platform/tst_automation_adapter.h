#pragma once
// Adapters that the automation tests put on the bus.

#include "automation/guard.h"
#include "runtime/error.h"
#include "runtime/values.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QVariant>

// An object that members hand out: its path is /Children/<Key>.
class ChildAdapter : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.TestChild")
    Q_CLASSINFO("D-Bus Path Prefix", "/Children")
    Q_CLASSINFO("D-Bus Path Key", "Key")
    Q_PROPERTY(QString Key READ Key CONSTANT)

public:
    ChildAdapter(const QString &key, QObject *parent)
        : QObject(parent)
        , m_key(key)
    { }
    QString Key() const { return m_key; }

private:
    QString m_key;
};

// The same interface twice would clash on one path; this one adds a second interface.
class ExtraAdapter : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.TestExtra")

public slots:
    QString Hello() { return QStringLiteral("extra"); }
};

class TestAdapter : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.Test")
    Q_PROPERTY(QString Name READ Name WRITE setName)
    Q_PROPERTY(rt::Int Count READ Count WRITE setCount)
    Q_PROPERTY(rt::Int Flag READ Flag WRITE setFlag)
    Q_PROPERTY(QVariant Value READ Value WRITE setValue)
    Q_PROPERTY(rt::Long Serial READ Serial)
    Q_PROPERTY(rt::Int Broken READ Broken)

public:
    using QObject::QObject;

    QString Name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    rt::Int Count() const { return m_count; }
    void setCount(rt::Int count) { m_count = count; }
    rt::Int Flag() const { return m_flag; }
    void setFlag(rt::Int flag) { m_flag = rt::BoolToInt(flag != 0); }
    QVariant Value() const { return m_value; }
    void setValue(const QVariant &value) { m_value = value; }
    rt::Long Serial() const { return 42; }
    rt::Int Broken() const
    {
        return automation::guard([]() -> rt::Int { rt::raise(380); });
    }

    ChildAdapter *child(const QString &key)
    {
        ChildAdapter *found = findChild<ChildAdapter *>(key, Qt::FindDirectChildrenOnly);
        if (!found) {
            found = new ChildAdapter(key, this);
            found->setObjectName(key);
        }
        return found;
    }

public slots:
    rt::Long Add(rt::Long a, rt::Long b)
    {
        return automation::guard([&] { return rt::AddLong(a, b); });
    }
    QObject *Child(const QString &key)
    {
        return automation::guard([&] { return child(key); });
    }
    QObject *Nothing() { return nullptr; }
    QObject *Echo(QObject *object) { return object; }
    void Fail(rt::Long number)
    {
        automation::guard([&] { rt::raise(number); });
    }
    rt::Int Terminate(rt::Int prompt = 0) { return prompt; }
    void Swap(QString &a, QString &b) { std::swap(a, b); }

signals:
    void Changed(const QString &name, rt::Int count);
    void Extension(QString &cmd);
    void Created(QObject *child);

private:
    QString m_name;
    rt::Int m_count = 0;
    rt::Int m_flag = 0;
    QVariant m_value;
};

// The object a test process registers as its running instance (class NVWin32.TestApp).
class TestApp : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.TestApp")
    Q_CLASSINFO("D-Bus Path", "/TestApp")
    Q_PROPERTY(QString Caption READ Caption)

public:
    using QObject::QObject;
    QString Caption() const { return QStringLiteral("test app"); }

public slots:
    QString Where() { return QString::number(QCoreApplication::applicationPid()); }
    void Fail(rt::Long number)
    {
        automation::guard([&] { rt::raise(number); });
    }
};
