#include "dde/ddeserver.h"

#include "automation/bridge.h"
#include "automation/buserror.h"
#include "automation/log.h"

#include <QCoreApplication>

#include <algorithm>

namespace dde {

Server &Server::instance()
{
    static QPointer<Server> server;
    if (!server)
        server = new Server(QCoreApplication::instance());
    return *server;
}

Server::Server(QObject *parent)
    : QObject(parent)
{ }

void Server::addTopic(Topic *topic)
{
    if (!topic || m_topics.contains(topic))
        return;
    m_topics.append(topic);
    connect(
        topic, &Topic::itemChanged, this, [this, topic](const QString &item, const QString &value) {
            emit ItemChanged(topic->name(), item, value);
        });
    connect(topic, &QObject::destroyed, this, [this, topic] { m_topics.removeAll(topic); });
}

void Server::removeTopic(Topic *topic)
{
    if (!m_topics.contains(topic))
        return;
    m_topics.removeAll(topic);
    disconnect(topic, nullptr, this, nullptr);
}

Topic *Server::topic(const QString &name) const
{
    for (const QPointer<Topic> &topic : m_topics) {
        if (topic && topic->name().compare(name, Qt::CaseInsensitive) == 0)
            return topic;
    }
    return nullptr;
}

bool Server::nameTaken(const QString &name, const Topic *besides) const
{
    return std::any_of(m_topics.cbegin(), m_topics.cend(), [&](const QPointer<Topic> &topic) {
        return topic && topic != besides && topic->name().compare(name, Qt::CaseInsensitive) == 0;
    });
}

bool Server::publish()
{
    try {
        return automation::Bridge::instance().pathOf(this) == QLatin1String("/DDE");
    } catch (const rt::Error &error) {
        rt::debugSwallowed(automation::lcAutomation(), error, "the DDE server stays off the bus");
        return false;
    }
}

Topic &Server::knownTopic(const QString &name) const
{
    Topic *found = topic(name);
    if (!found)
        throw automation::NamedError(
            QStringLiteral("NVWin32.DDE.UnknownTopic"), QStringLiteral("No topic ") + name);
    return *found;
}

void Server::checkItem(const Topic &topic, const QString &item)
{
    if (!topic.hasItem(item))
        throw automation::NamedError(QStringLiteral("NVWin32.DDE.UnknownItem"),
            QStringLiteral("No item %1 in topic %2").arg(item, topic.name()));
}

QString Server::Request(const QString &topic, const QString &item)
{
    const Topic &t = knownTopic(topic);
    checkItem(t, item);
    return t.item(item);
}

void Server::Poke(const QString &topic, const QString &item, const QString &value)
{
    Topic &t = knownTopic(topic);
    checkItem(t, item);
    if (!t.poke(item, value))
        throw automation::NamedError(QStringLiteral("NVWin32.DDE.Refused"),
            QStringLiteral("The item %1 of topic %2 cannot be set")
                .arg(t.itemName(item), t.name()));
}

void Server::Execute(const QString &topic, const QString &command)
{
    if (!knownTopic(topic).execute(command))
        throw automation::NamedError(
            QStringLiteral("NVWin32.DDE.Refused"), QStringLiteral("The execute was refused"));
}

QStringList Server::Topics() const
{
    QStringList names;
    for (const QPointer<Topic> &topic : m_topics) {
        if (topic)
            names << topic->name();
    }
    return names;
}

} // namespace dde
