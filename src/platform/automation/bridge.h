#pragma once
// The automation bridge: automation objects on the D-Bus session bus.
//
// An automation object is a QObject "adapter": its public slots are the interface's methods, its
// Q_PROPERTYs the properties, its signals the events; Q_CLASSINFO("D-Bus Interface",
// "NVWin32.<Interface>") names the interface (members.h tells the order rules). Wrap the body of
// every member in automation::guard (guard.h). The bridge exports an adapter at an object path:
// - method calls reach the slots; a method takes its arguments in declared order and answers its
//   return value, followed by the final value of each by-reference (non-const "T &") argument;
//   methods of one name are told apart by their argument count (default arguments give shorter
//   forms), so optional arguments can be left out;
// - org.freedesktop.DBus.Properties Get, Set and GetAll reach the properties (a property of type
//   QVariant travels as a variant in the variant, as the D-Bus rules for a "v" property say);
// - every signal is sent as a D-Bus signal of the interface, from the object's path;
// - values travel as marshal.h says (Empty, Booleans, objects as paths, Nothing as "/");
// - an error a member raises is answered with the D-Bus error "NVWin32.Error.E<n>" (buserror.h)
//   and never leaves the bridge: the program goes on;
// - several adapters may share one path when their interfaces differ (an object with several
//   interfaces); a call that names no interface goes to the first adapter that has the member;
// - member names are matched exactly, else without case; an unknown member or a wrong number of
//   arguments is answered with org.freedesktop.DBus.Error.UnknownMethod, UnknownProperty or
//   PropertyReadOnly.
// A property with arguments is a pair of methods: <Name>(arguments) for its get accessor and
// Set<Name>(arguments, value) for its let or set accessor (Common: Item(key), SetItem(key,
// value)); scripts call the same two.
//
// Paths: exportObject puts an adapter at a path the program chooses. An object that a member
// returns and that has no path yet gets one when it is first handed out (pathOf):
// Q_CLASSINFO("D-Bus Path", "/Common") for an object of which there is one; otherwise
// Q_CLASSINFO("D-Bus Path Prefix", "/Servers") followed by "/" and the text of the property that
// Q_CLASSINFO("D-Bus Path Key", "ID") names, or by the next free number when the class names no
// key; a class with neither gets "/Objects/<n>". Characters that a path element cannot hold
// become "_". A destroyed object leaves the bus by itself; the bridge never owns the objects.
//
// Events with a by-reference argument (Extension(QString &cmd)): a client that wants to rewrite
// the argument registers a callback object of its own with the interface "NVWin32.Events" that
// every exported object with events answers:
//   RegisterCallback(s event, o path)    UnregisterCallback(s event, o path)
// When the event is raised, the bridge calls the method named like the event, interface
// "NVWin32.Callback", on that path of the registering client (its unique bus name), with the
// event's arguments, and waits for the answer at most callbackTimeout() ms (1000 by default);
// the answer's values, in order, replace the by-reference arguments (fewer values leave the rest
// unchanged). While the bridge waits, the event loop runs, so the client may call back into the
// program. A failed or late answer changes nothing; a client that leaves the bus loses its
// registrations. Callbacks may be registered for any event; the D-Bus signal is sent as well.
//
// A client that leaves the bus while a call of its waits for a late answer (latereply.h) has
// that call ended at once: the member is told and nothing is sent.
//
// Paced events: an event without arguments that the class names in
// Q_CLASSINFO("D-Bus Paced Events", "Name,Other") goes to the bus (signal and callbacks) at most
// once per PacedEventMs: the first at once, the ones raised in the same interval as one at its
// end, so that the last is always sent. The object's own connections (scripts, the program)
// still get every one.

#include "automation/marshal.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QHash>
#include <QList>
#include <QPointer>
#include <memory>

class QDBusServiceWatcher;

namespace automation {

class EventPacer;
class LateReply;
class SignalRelay;

// The shortest interval between two sends of a paced event: one frame.
inline constexpr int PacedEventMs = 16;

class Bridge : public QDBusVirtualObject, public ObjectMap
{
    Q_OBJECT

public:
    // The bridge of this process on the session bus (made on first use, after the application
    // object).
    static Bridge &instance();

    explicit Bridge(const QDBusConnection &connection, QObject *parent = nullptr);
    ~Bridge() override;

    QDBusConnection connection() const { return m_connection; }

    // Puts object on the bus at path; false when the path is not a valid object path, the object
    // already has another path, the path already holds an adapter of the same interface, or the
    // bus refuses it.
    bool exportObject(QObject *object, const QString &path);
    // Takes object off the bus (its callbacks go too).
    void unexportObject(QObject *object);
    // The object's path, or "" when it has none.
    QString exportedPath(QObject *object) const;

    // ObjectMap: the path of an object, exporting it first (see above); raises 440 when the bus
    // refuses the object.
    QString pathOf(QObject *object) override;
    QObject *objectAt(const QString &path) const override;

    int callbackTimeout() const { return m_callbackTimeout; }
    void setCallbackTimeout(int milliseconds) { m_callbackTimeout = milliseconds; }

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    struct Callback
    {
        QObject *source;
        QString event;
        QString service;
        QString path;
    };

    QString automaticPath(QObject *object);
    void forget(QObject *object);
    QObject *adapterFor(const QString &path, const QString &interface) const;

    QDBusMessage dispatch(const QDBusMessage &message);
    QDBusMessage callMethod(const QDBusMessage &message);
    std::shared_ptr<LateReply> lateReply(const QDBusMessage &message, QMetaType resultType);
    QDBusMessage propertyCall(const QDBusMessage &message);
    QDBusMessage callbackCall(const QDBusMessage &message);

    void relay(QObject *source, const QMetaMethod &signal, void **args);
    void sendEvent(QObject *source, const QMetaMethod &signal, void **args);
    void addPacers(QObject *object);
    void callBack(
        QObject *source, const QMetaMethod &signal, void **args, const QVariantList &arguments);
    void dropService(const QString &service);
    void watchCaller(const QString &service, const std::shared_ptr<LateReply> &reply);

    QDBusConnection m_connection;
    QHash<QString, QList<QObject *>> m_byPath; // adapters in the order they were exported
    QHash<QObject *, QString> m_paths;
    QHash<QObject *, SignalRelay *> m_relays;
    QHash<QPair<QObject *, int>, EventPacer *> m_pacers; // by object and signal index
    QHash<QString, int> m_lastNumber; // last number handed out under each prefix
    QList<Callback> m_callbacks;
    // Calls answered later, by the client that made them.
    QList<std::pair<QString, std::weak_ptr<LateReply>>> m_lateReplies;
    QDBusServiceWatcher *m_watcher;
    int m_callbackTimeout = 1000;
};

} // namespace automation
