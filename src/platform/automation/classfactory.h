#pragma once
// The class factory of a process started by an automation client (with -Embedding): the object
// "/" with interface NVWin32.ClassFactory and one method, CreateObject(s className) -> o, which
// makes an object of a class the program registered and answers its path (the bridge exports it,
// see bridge.h for the path rules). Class names compare without case; an unknown class raises
// 429 ("Automation server can't create object"). The program keeps the objects it creates.

#include <QHash>
#include <QObject>
#include <functional>

namespace automation {

class ClassFactory : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.ClassFactory")

public:
    using Creator = std::function<QObject *()>;

    static ClassFactory &instance();

    void registerClass(const QString &className, Creator creator);
    // Puts the factory at "/" and takes busName; false when either fails.
    bool publish(const QString &busName);

public slots:
    QObject *CreateObject(const QString &className);

private:
    using QObject::QObject;
    QHash<QString, Creator> m_creators; // by lower-case class name
};

} // namespace automation
