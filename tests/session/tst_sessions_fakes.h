#pragma once
// A session for tests of the sessions collection, the application object and the clean-up timer:
// its own emulator Settings object, a plain automation object, and a record of Terminate calls
// (a terminated session is closing, and the clean-up timer removes it).

#include "session/dde.h"
#include "session/sessionbase.h"

#include <QList>
#include <QObject>
#include <memory>

class FakeSession : public SessionBase, public ClosingFlag
{
public:
    explicit FakeSession(QString id)
        : m_id(std::move(id))
    {
        m_object.setObjectName(m_id);
    }

    QString ID() const override { return m_id; }
    void Terminate(rt::Int prompt) override
    {
        terminated << prompt;
        closing = true;
    }
    emu::Settings &EmulatorSettings() const override { return m_settings; }
    QObject *AutomationObject() override { return &m_object; }
    bool Closing() const override { return closing; }

    QList<int> terminated; // the prompt codes Terminate was called with
    bool closing = false;

private:
    QString m_id;
    mutable emu::Settings m_settings;
    QObject m_object;
};

inline std::shared_ptr<FakeSession> makeSession(const QString &id)
{
    return std::make_shared<FakeSession>(id);
}
