#pragma once
// A DDE topic that the program serves: a name, items of text, an execute handler and a poke
// handler. Names of topics and items compare without case; an item keeps the spelling it was made
// with. Every change of an item's text is announced (itemChanged), whoever made it: the program
// through setItem, or a client's poke.

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

namespace dde {

class Topic : public QObject
{
    Q_OBJECT

public:
    // Answers whether the command is accepted; false refuses the execute.
    using ExecuteHandler = std::function<bool(const QString &command)>;
    // Answers whether a client may set the item to the value; false refuses the poke.
    using PokeHandler = std::function<bool(const QString &item, const QString &value)>;

    explicit Topic(const QString &name, QObject *parent = nullptr);

    const QString &name() const { return m_name; }
    void setName(const QString &name);

    bool hasItem(const QString &item) const;
    // The item's text ("" for an item the topic does not have).
    QString item(const QString &item) const;
    // The item's own spelling ("" when there is none).
    QString itemName(const QString &item) const;
    QStringList itemNames() const;
    // Sets an item's text, making the item when it is new.
    void setItem(const QString &item, const QString &value);

    void setExecuteHandler(ExecuteHandler handler) { m_execute = std::move(handler); }
    // Runs the handler; a topic without one refuses every command.
    bool execute(const QString &command);

    void setPokeHandler(PokeHandler handler) { m_poke = std::move(handler); }
    // A client's poke: sets the item when the handler accepts it (a topic without a handler
    // accepts every poke); false when refused, and the item keeps its text.
    bool poke(const QString &item, const QString &value);

signals:
    void itemChanged(const QString &item, const QString &value);
    void nameChanged(const QString &name);

private:
    struct Item
    {
        QString name;
        QString value;
    };
    qsizetype find(const QString &item) const;

    QString m_name;
    QList<Item> m_items;
    ExecuteHandler m_execute;
    PokeHandler m_poke;
};

} // namespace dde
