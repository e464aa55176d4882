#include "automation/bridge.h"

#include "automation/buserror.h"
#include "automation/guard.h"
#include "automation/latereply.h"
#include "automation/log.h"
#include "automation/members.h"
#include "automation/signalrelay.h"
#include "runtime/errnum.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QRegularExpression>
#include <QTimer>

namespace automation {

// Sends an event through send() at most once per PacedEventMs (see bridge.h).
class EventPacer : public QObject
{
public:
    EventPacer(std::function<void()> send, QObject *parent)
        : QObject(parent)
        , m_send(std::move(send))
    {
        m_interval.setInterval(PacedEventMs);
        m_interval.callOnTimeout(this, [this] {
            if (!std::exchange(m_pending, false))
                return m_interval.stop();
            m_send();
        });
    }

    void raise()
    {
        if (m_interval.isActive()) {
            m_pending = true;
            return;
        }
        m_interval.start();
        m_send();
    }

private:
    std::function<void()> m_send;
    QTimer m_interval;
    bool m_pending = false;
};

namespace {

const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString EventsInterface = QStringLiteral("NVWin32.Events");
const QString CallbackInterface = QStringLiteral("NVWin32.Callback");

NamedError busError(const char *name, const QString &message)
{
    return NamedError(QStringLiteral("org.freedesktop.DBus.Error.") + QLatin1String(name), message);
}

bool isValidPath(const QString &path)
{
    static const QRegularExpression pattern(QStringLiteral("^/([A-Za-z0-9_]+(/[A-Za-z0-9_]+)*)?$"));
    return pattern.match(path).hasMatch();
}

// A text as one path element: characters a path cannot hold become "_".
QString pathElement(const QString &text)
{
    QString element = text;
    for (QChar &c : element) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_')
            c = u'_';
    }
    return element;
}

QString eventsIntrospection()
{
    return QStringLiteral("  <interface name=\"%1\">\n"
                          "    <method name=\"RegisterCallback\">\n"
                          "      <arg name=\"event\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"path\" type=\"o\" direction=\"in\"/>\n"
                          "    </method>\n"
                          "    <method name=\"UnregisterCallback\">\n"
                          "      <arg name=\"event\" type=\"s\" direction=\"in\"/>\n"
                          "      <arg name=\"path\" type=\"o\" direction=\"in\"/>\n"
                          "    </method>\n"
                          "  </interface>\n")
        .arg(EventsInterface);
}

// A signal argument as a value (args point to the emitter's own variables).
QVariant argumentValue(QMetaType type, void *arg)
{
    if (type.id() == QMetaType::QVariant)
        return *static_cast<QVariant *>(arg);
    return QVariant(type, arg);
}

void assignArgument(QMetaType type, void *arg, const QVariant &value)
{
    if (type.id() == QMetaType::QVariant) {
        *static_cast<QVariant *>(arg) = value;
        return;
    }
    type.destruct(arg);
    type.construct(arg, value.constData());
}

QString textArgument(const QVariant &value)
{
    const QVariant plain = variantFromBus(value, nullptr);
    if (plain.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return plain.value<QDBusObjectPath>().path();
    return plain.toString();
}

} // namespace

Bridge &Bridge::instance()
{
    static QPointer<Bridge> bridge;
    if (!bridge)
        bridge = new Bridge(QDBusConnection::sessionBus(), QCoreApplication::instance());
    return *bridge;
}

Bridge::Bridge(const QDBusConnection &connection, QObject *parent)
    : QDBusVirtualObject(parent)
    , m_connection(connection)
    , m_watcher(new QDBusServiceWatcher(
          QString(), connection, QDBusServiceWatcher::WatchForUnregistration, this))
{
    // By-reference parameters are looked up by their type's name.
    static const bool typedefs = [] {
        QMetaType::registerNormalizedTypedef("rt::Int", QMetaType::fromType<rt::Int>());
        QMetaType::registerNormalizedTypedef("rt::Long", QMetaType::fromType<rt::Long>());
        return true;
    }();
    Q_UNUSED(typedefs)
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, &Bridge::dropService);
}

Bridge::~Bridge()
{
    const QList<QObject *> objects = m_paths.keys();
    for (QObject *object : objects)
        unexportObject(object);
}

bool Bridge::exportObject(QObject *object, const QString &path)
{
    if (!object || !isValidPath(path))
        return false;
    if (m_paths.contains(object))
        return m_paths.value(object) == path;
    const QString interface = members::interfaceOf(object->metaObject());
    QList<QObject *> &adapters = m_byPath[path];
    for (QObject *other : std::as_const(adapters)) {
        if (members::interfaceOf(other->metaObject()) == interface)
            return false;
    }
    if (adapters.isEmpty()
        && !m_connection.registerVirtualObject(path, this, QDBusConnection::SingleNode)) {
        m_byPath.remove(path);
        return false;
    }
    adapters.append(object);
    m_paths.insert(object, path);
    m_relays.insert(
        object, new SignalRelay(object, [this, object](const QMetaMethod &signal, void **args) {
            relay(object, signal, args);
        }));
    addPacers(object);
    connect(object, &QObject::destroyed, this, [this, object] { forget(object); });
    return true;
}

void Bridge::addPacers(QObject *object)
{
    const QStringList paced
        = members::classInfo(object->metaObject(), "D-Bus Paced Events").split(u',');
    for (const QMetaMethod &signal : members::events(object->metaObject())) {
        if (signal.parameterCount() != 0 || !paced.contains(QString::fromLatin1(signal.name())))
            continue;
        m_pacers.insert({ object, signal.methodIndex() },
            new EventPacer([this, object, signal] { sendEvent(object, signal, nullptr); }, this));
    }
}

void Bridge::unexportObject(QObject *object)
{
    if (!m_paths.contains(object))
        return;
    disconnect(object, &QObject::destroyed, this, nullptr);
    forget(object);
}

void Bridge::forget(QObject *object)
{
    const QString path = m_paths.take(object);
    if (path.isEmpty())
        return;
    if (SignalRelay *relay = m_relays.take(object))
        relay->release();
    for (auto it = m_pacers.begin(); it != m_pacers.end();) {
        if (it.key().first != object) {
            ++it;
            continue;
        }
        it.value()->deleteLater(); // it may be sending now
        it = m_pacers.erase(it);
    }
    QList<QObject *> &adapters = m_byPath[path];
    adapters.removeAll(object);
    if (adapters.isEmpty()) {
        m_byPath.remove(path);
        m_connection.unregisterObject(path);
    }
    m_callbacks.removeIf([object](const Callback &c) { return c.source == object; });
}

QString Bridge::exportedPath(QObject *object) const
{
    return m_paths.value(object);
}

QString Bridge::automaticPath(QObject *object)
{
    const QMetaObject *meta = object->metaObject();
    const QString fixed = members::classInfo(meta, "D-Bus Path");
    if (!fixed.isEmpty())
        return fixed;
    QString prefix = members::classInfo(meta, "D-Bus Path Prefix");
    if (prefix.isEmpty())
        prefix = QStringLiteral("/Objects");
    const auto keyProperty = members::property(meta, members::classInfo(meta, "D-Bus Path Key"));
    if (keyProperty) {
        QString key;
        try {
            key = members::read(object, *keyProperty).toString();
        } catch (...) {
            rt::debugSwallowed(
                lcAutomation(), rt::currentError(), "no path key now, the object is numbered");
            key.clear();
        }
        const QString path = prefix + u'/' + pathElement(key);
        if (!key.isEmpty() && !m_byPath.contains(path))
            return path;
    }
    int &number = m_lastNumber[prefix];
    QString path;
    do {
        path = prefix + u'/' + QString::number(++number);
    } while (m_byPath.contains(path));
    return path;
}

QString Bridge::pathOf(QObject *object)
{
    if (!object)
        return nothingPath();
    const QString known = m_paths.value(object);
    if (!known.isEmpty())
        return known;
    const QString path = automaticPath(object);
    if (!exportObject(object, path))
        rt::raise(
            rt::err::Automation, QStringLiteral("The object cannot be put on the bus at ") + path);
    return path;
}

QObject *Bridge::objectAt(const QString &path) const
{
    return m_byPath.value(path).value(0);
}

QObject *Bridge::adapterFor(const QString &path, const QString &interface) const
{
    for (QObject *adapter : m_byPath.value(path)) {
        if (interface.isEmpty() || members::interfaceOf(adapter->metaObject()) == interface)
            return adapter;
    }
    return nullptr;
}

QString Bridge::introspect(const QString &path) const
{
    QString xml;
    bool events = false;
    for (QObject *adapter : m_byPath.value(path)) {
        xml += members::introspect(adapter->metaObject());
        events = events || !members::events(adapter->metaObject()).isEmpty();
    }
    if (events)
        xml += eventsIntrospection();
    return xml;
}

bool Bridge::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    if (!m_byPath.contains(message.path()) || message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString interface = message.interface();
    if (interface == QLatin1String("org.freedesktop.DBus.Introspectable")
        || interface == QLatin1String("org.freedesktop.DBus.Peer"))
        return false;
    QDBusMessage reply;
    {
        CallerScope scope(Caller::Bus, nullptr, message.service());
        try {
            reply = dispatch(message);
        } catch (const NamedError &e) {
            reply = message.createErrorReply(e.name, e.message);
        } catch (...) {
            reply = errorReply(message, rt::currentError());
        }
    }
    if (reply.type() == QDBusMessage::ErrorMessage) {
        qCDebug(lcAutomation).noquote()
            << message.interface() + u'.' + message.member() << "from" << message.service() << "at"
            << message.path() << "->" << reply.errorName() << reply.errorMessage();
    }
    // An invalid reply: the member answers later (latereply.h).
    if (message.isReplyRequired() && reply.type() != QDBusMessage::InvalidMessage)
        connection.send(reply);
    return true;
}

QDBusMessage Bridge::dispatch(const QDBusMessage &message)
{
    if (message.interface() == PropertiesInterface)
        return propertyCall(message);
    if (message.interface() == EventsInterface)
        return callbackCall(message);
    return callMethod(message);
}

QDBusMessage Bridge::callMethod(const QDBusMessage &message)
{
    const QVariantList arguments = message.arguments();
    QObject *target = nullptr;
    std::optional<QMetaMethod> method;
    for (QObject *adapter : m_byPath.value(message.path())) {
        if (!message.interface().isEmpty()
            && members::interfaceOf(adapter->metaObject()) != message.interface())
            continue;
        method = members::findMethod(adapter->metaObject(), message.member(), arguments.size());
        if (method) {
            target = adapter;
            break;
        }
    }
    if (!method) {
        throw busError("UnknownMethod",
            QStringLiteral("No method %1 taking %2 arguments at %3")
                .arg(message.member())
                .arg(arguments.size())
                .arg(message.path()));
    }
    QVariantList converted;
    for (int i = 0; i < arguments.size(); ++i)
        converted << fromBus(arguments.at(i), members::parameterType(*method, i), this);
    QList<QMetaType> resultTypes;
    if (method->returnMetaType().isValid() && method->returnMetaType().id() != QMetaType::Void)
        resultTypes << method->returnMetaType();
    for (int i = 0; i < method->parameterCount(); ++i) {
        if (members::isByReference(*method, i))
            resultTypes << members::parameterType(*method, i);
    }
    // A member may answer later (latereply.h) when the call wants an answer and nothing comes
    // back by reference.
    const bool byReference
        = resultTypes.size() > (method->returnMetaType().id() != QMetaType::Void ? 1 : 0);
    QVariantList results;
    if (byReference || !message.isReplyRequired()) {
        results = members::invoke(target, *method, converted);
    } else {
        LateReplyOffer offer(message.member(),
            [this, message, resultTypes] { return lateReply(message, resultTypes.value(0)); });
        results = members::invoke(target, *method, converted);
        if (offer.taken())
            return QDBusMessage();
    }
    QVariantList out;
    for (int i = 0; i < results.size(); ++i)
        out << toBus(results.at(i), resultTypes.at(i), this);
    return message.createReply(out);
}

// The answer of a call that its member gives later: the value (of type resultType, or nothing)
// or the error, sent when it comes.
std::shared_ptr<LateReply> Bridge::lateReply(const QDBusMessage &message, QMetaType resultType)
{
    const QPointer<Bridge> bridge(this);
    const QDBusConnection connection = m_connection;
    auto send
        = [connection](const QDBusMessage &reply) { QDBusConnection(connection).send(reply); };
    auto reply = std::make_shared<LateReply>(
        [bridge, message, resultType, send](const QVariant &value) {
            QVariantList out;
            try {
                if (resultType.isValid() && bridge)
                    out << toBus(value, resultType, bridge.data());
                send(message.createReply(out));
            } catch (...) {
                send(errorReply(message, rt::currentError()));
            }
        },
        [message, send](const rt::Error &error) { send(errorReply(message, error)); });
    watchCaller(message.service(), reply);
    return reply;
}

// The reply ends when its client leaves the bus. The watch is set before the bus is asked
// whether the client is still there, so that a client that left meanwhile is seen either way.
void Bridge::watchCaller(const QString &service, const std::shared_ptr<LateReply> &reply)
{
    if (service.isEmpty())
        return;
    m_lateReplies.removeIf([](const auto &entry) { return entry.second.expired(); });
    m_lateReplies.append({ service, reply });
    m_watcher->addWatchedService(service);
    QDBusMessage ask = QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_qs,
        u"/org/freedesktop/DBus"_qs, u"org.freedesktop.DBus"_qs, u"NameHasOwner"_qs);
    ask.setArguments({ service });
    auto *answer = new QDBusPendingCallWatcher(m_connection.asyncCall(ask), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this,
        [this, service](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            const QDBusPendingReply<bool> present = *call;
            if (present.isValid() && !present.value())
                dropService(service);
        });
}

QDBusMessage Bridge::propertyCall(const QDBusMessage &message)
{
    const QVariantList arguments = message.arguments();
    const QString member = message.member();
    const QString interface = textArgument(arguments.value(0));
    if (member == QLatin1String("GetAll") && arguments.size() == 1) {
        QVariantMap values;
        for (QObject *adapter : m_byPath.value(message.path())) {
            if (!interface.isEmpty() && members::interfaceOf(adapter->metaObject()) != interface)
                continue;
            for (const QMetaProperty &p : members::properties(adapter->metaObject())) {
                try {
                    values.insert(QLatin1String(p.name()),
                        toBus(members::read(adapter, p), p.metaType(), this));
                } catch (...) {
                    // A property that cannot be read now is left out of the list.
                    rt::debugSwallowed(lcAutomation(), rt::currentError(), "GetAll leaves out",
                        QString::fromLatin1(p.name()));
                }
            }
        }
        return message.createReply(QVariant(values));
    }
    if ((member != QLatin1String("Get") || arguments.size() != 2)
        && (member != QLatin1String("Set") || arguments.size() != 3))
        throw busError("UnknownMethod", QStringLiteral("No method ") + member);

    const QString name = textArgument(arguments.value(1));
    QObject *target = nullptr;
    std::optional<QMetaProperty> property;
    for (QObject *adapter : m_byPath.value(message.path())) {
        if (!interface.isEmpty() && members::interfaceOf(adapter->metaObject()) != interface)
            continue;
        property = members::property(adapter->metaObject(), name);
        if (property) {
            target = adapter;
            break;
        }
    }
    if (!property)
        throw busError("UnknownProperty", QStringLiteral("No property ") + name);
    if (member == QLatin1String("Get")) {
        const QVariant value = members::read(target, *property);
        return message.createReply(
            QVariant::fromValue(QDBusVariant(toBus(value, property->metaType(), this))));
    }
    if (!property->isWritable())
        throw busError("PropertyReadOnly", QStringLiteral("Property is read-only: ") + name);
    members::write(target, *property, fromBus(arguments.at(2), property->metaType(), this));
    return message.createReply();
}

QDBusMessage Bridge::callbackCall(const QDBusMessage &message)
{
    const QVariantList arguments = message.arguments();
    const QString member = message.member();
    const bool registering = member == QLatin1String("RegisterCallback");
    if ((!registering && member != QLatin1String("UnregisterCallback")) || arguments.size() != 2)
        throw busError("UnknownMethod", QStringLiteral("No method ") + member);
    const QString event = textArgument(arguments.at(0));
    const QString path = textArgument(arguments.at(1));
    QObject *source = nullptr;
    for (QObject *adapter : m_byPath.value(message.path())) {
        if (members::hasEvent(adapter->metaObject(), event)) {
            source = adapter;
            break;
        }
    }
    if (!source)
        throw busError("InvalidArgs", QStringLiteral("No event ") + event);
    if (!isValidPath(path))
        throw busError("InvalidArgs", QStringLiteral("Not an object path: ") + path);

    const QString service = message.service();
    auto same = [&](const Callback &c) {
        return c.source == source && c.event == event && c.service == service && c.path == path;
    };
    m_callbacks.removeIf(same);
    if (registering) {
        m_callbacks.append(Callback { source, event, service, path });
        m_watcher->addWatchedService(service);
    }
    return message.createReply();
}

void Bridge::dropService(const QString &service)
{
    m_callbacks.removeIf([&](const Callback &c) { return c.service == service; });
    m_watcher->removeWatchedService(service);
    std::vector<std::shared_ptr<LateReply>> gone;
    m_lateReplies.removeIf([&](const auto &entry) {
        if (entry.first != service)
            return false;
        if (const std::shared_ptr<LateReply> reply = entry.second.lock())
            gone.push_back(reply);
        return true;
    });
    for (const std::shared_ptr<LateReply> &reply : gone) {
        qCDebug(lcAutomation) << "client" << service << "left: its waiting call ends";
        reply->clientGone();
    }
}

void Bridge::relay(QObject *source, const QMetaMethod &signal, void **args)
{
    if (EventPacer *pacer = m_pacers.value({ source, signal.methodIndex() }))
        return pacer->raise();
    sendEvent(source, signal, args);
}

void Bridge::sendEvent(QObject *source, const QMetaMethod &signal, void **args)
{
    // An event that cannot travel is dropped: raising it must never fail in the program.
    try {
        const QString path = m_paths.value(source);
        if (path.isEmpty())
            return;
        QVariantList arguments;
        for (int i = 0; i < signal.parameterCount(); ++i) {
            const QMetaType type = members::parameterType(signal, i);
            arguments << toBus(argumentValue(type, args[i + 1]), type, this);
        }
        QDBusMessage message = QDBusMessage::createSignal(
            path, members::interfaceOf(source->metaObject()), QString::fromLatin1(signal.name()));
        message.setArguments(arguments);
        m_connection.send(message);
        callBack(source, signal, args, arguments);
    } catch (...) {
        rt::debugSwallowed(lcAutomation(), rt::currentError(), "event dropped",
            QString::fromLatin1(signal.name()));
    }
}

void Bridge::callBack(
    QObject *source, const QMetaMethod &signal, void **args, const QVariantList &arguments)
{
    const QString event = QString::fromLatin1(signal.name());
    QList<Callback> targets;
    for (const Callback &c : std::as_const(m_callbacks)) {
        if (c.source == source && c.event == event)
            targets << c;
    }
    QPointer<QObject> alive(source);
    for (const Callback &target : std::as_const(targets)) {
        QDBusMessage call
            = QDBusMessage::createMethodCall(target.service, target.path, CallbackInterface, event);
        call.setArguments(arguments);
        const QDBusMessage reply = m_connection.call(call, QDBus::BlockWithGui, m_callbackTimeout);
        if (!alive)
            return;
        if (reply.type() != QDBusMessage::ReplyMessage) {
            qCDebug(lcAutomation) << "callback" << event << "of" << target.service
                                  << "changed nothing:" << reply.errorName()
                                  << reply.errorMessage();
            continue;
        }
        const QVariantList values = reply.arguments();
        qsizetype next = 0;
        for (int i = 0; i < signal.parameterCount() && next < values.size(); ++i) {
            if (!members::isByReference(signal, i))
                continue;
            const QMetaType type = members::parameterType(signal, i);
            try {
                assignArgument(type, args[i + 1], fromBus(values.at(next), type, this));
            } catch (...) {
                // A value of the wrong kind leaves the argument as it was.
                rt::debugSwallowed(lcAutomation(), rt::currentError(),
                    "callback answered a value of the wrong kind", event);
            }
            ++next;
        }
    }
}

} // namespace automation
