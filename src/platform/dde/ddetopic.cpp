#include "dde/ddetopic.h"

namespace dde {

Topic::Topic(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{ }

void Topic::setName(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    emit nameChanged(name);
}

qsizetype Topic::find(const QString &item) const
{
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).name.compare(item, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool Topic::hasItem(const QString &item) const
{
    return find(item) >= 0;
}

QString Topic::item(const QString &item) const
{
    const qsizetype at = find(item);
    return at < 0 ? QString() : m_items.at(at).value;
}

QString Topic::itemName(const QString &item) const
{
    const qsizetype at = find(item);
    return at < 0 ? QString() : m_items.at(at).name;
}

QStringList Topic::itemNames() const
{
    QStringList names;
    for (const Item &i : m_items)
        names << i.name;
    return names;
}

void Topic::setItem(const QString &item, const QString &value)
{
    const qsizetype at = find(item);
    if (at < 0) {
        m_items.append(Item { item, value });
        emit itemChanged(item, value);
        return;
    }
    if (m_items.at(at).value == value)
        return;
    m_items[at].value = value;
    emit itemChanged(m_items.at(at).name, value);
}

bool Topic::execute(const QString &command)
{
    // A copy: the handler may end the topic (its session) while it runs.
    const ExecuteHandler handler = m_execute;
    return handler && handler(command);
}

bool Topic::poke(const QString &item, const QString &value)
{
    const PokeHandler handler = m_poke;
    if (handler && !handler(item, value))
        return false;
    setItem(item, value);
    return true;
}

} // namespace dde
