#pragma once
// The DDE server over D-Bus: one object, /DDE, interface NVWin32.DDE:
//   Request(s topic, s item) -> s       the item's text
//   Poke(s topic, s item, s value)      sets the item's text, unless the topic refuses it
//   Execute(s topic, s command)         runs the topic's execute handler
//   Topics() -> as                      the topic names, in the order the topics were added
//   signal ItemChanged(s topic, s item, s value)   every change of an item's text, in place of
//                                      advise links
// Topic and item names compare without case. Errors: a refused execute or poke answers the D-Bus
// error "NVWin32.DDE.Refused"; an unknown topic "NVWin32.DDE.UnknownTopic"; an unknown item
// "NVWin32.DDE.UnknownItem"; an error raised by a handler travels as a numbered error
// ("NVWin32.Error.E<n>").
//
// The program adds its topics (the SYSTEM topic and one per session) and keeps them; a destroyed
// topic leaves the server. The SYSTEM topic's SYSITEMS and TOPICS items are the program's own
// items like any other: the server computes none of them.

#include "dde/ddetopic.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

namespace dde {

class Server : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.DDE")
    Q_CLASSINFO("D-Bus Path", "/DDE")

public:
    static Server &instance();
    explicit Server(QObject *parent = nullptr);

    void addTopic(Topic *topic);
    void removeTopic(Topic *topic);
    // The first topic of that name, or nullptr.
    Topic *topic(const QString &name) const;
    // Whether a topic other than `besides` has that name.
    bool nameTaken(const QString &name, const Topic *besides) const;

    // Puts the server on the session bus at /DDE.
    bool publish();

public slots:
    QString Request(const QString &topic, const QString &item);
    void Poke(const QString &topic, const QString &item, const QString &value);
    void Execute(const QString &topic, const QString &command);
    QStringList Topics() const;

signals:
    void ItemChanged(const QString &topic, const QString &item, const QString &value);

private:
    Topic &knownTopic(const QString &name) const;
    static void checkItem(const Topic &topic, const QString &item);

    QList<QPointer<Topic>> m_topics;
};

} // namespace dde
