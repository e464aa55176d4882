#pragma once
// The collection of open sessions, keyed by session number text. Callers count positions from 0:
// an index that is a text is a session's key, any other index a position (position p is the
// collection's item p + 1). Its automation interfaces (_clsSessions and Sessions, at
// /Norvalis/Sessions) are adapters over it (interfaces/sessioniface.h).

#include "runtime/collection.h"
#include "session/sessionbase.h"

#include <QObject>
#include <QVariant>
#include <vector>

class clsSessions : public QObject
{
    Q_OBJECT
public:
    explicit clsSessions(QObject *parent = nullptr);
    ~clsSessions() override;

    // Opens a new session: window state State (negative: the application's
    // InitChildWindowState), input mode, then its file (resolved; "" or a name not found gives
    // the defaults). Unless Hidden the window is shown and activated. The first session of an
    // empty collection is followed by a hidden, empty session that is made and closed at once,
    // so the next session a user opens has the number after it. An error ends Add without a
    // message and reaches the caller; a half-made session is closed again.
    SessionPtr Add(const QString &fileName = QString(), rt::Int state = -1, rt::Int mode = 0,
        rt::Int hidden = 0);

    rt::Long Count() const;
    // Closes the session an index names (without questions) and takes it out of the collection;
    // when the collection is then empty the main window's menu becomes the active one. Never
    // fails: an index that names no session changes nothing else.
    void Remove(const QVariant &index);
    // The session's automation object, or nullptr when the index names no session.
    QObject *item(const QVariant &index) const;
    // The sessions in the order they were added.
    std::vector<SessionPtr> NewEnum() const;

    // Program only. The session an index names, or null; never fails.
    SessionPtr clsItem(const QVariant &index) const;
    // Adds a session under its key (457 when the key is taken); the session's constructor calls it.
    void clsAdd(const SessionPtr &session, const QString &key);

private:
    // The 1-based collection index of the entry an index names, 0 when none.
    rt::Long entryOf(const QVariant &index) const;
    rt::Long entryHolding(const SessionPtr &session) const;

    rt::Collection<SessionPtr> m_sessions;
};
