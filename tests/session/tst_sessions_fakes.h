#pragma once
// A session for tests of the sessions collection, the application object and the clean-up timer:
// its own emulator Settings object, a plain automation object, a record of Terminate calls (a
// terminated session is closing, and the clean-up timer removes it) and of what it was sent.

#include "session/dde.h"
#include "session/sessionbase.h"
#include "session/sessionsettings.h"
#include "session/sessionwindow.h"

#include <QList>
#include <QObject>
#include <memory>

class FakeSession : public SessionBase
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
    // The window whose Tag is the session's key (tests make them apart).
    SessionWindow *Window() const override { return SessionWindow::ofSession(m_id); }
    QString FileName() const override { return fileName; }
    void setFileName(const QString &name) override { fileName = name; }
    void Save(const QString &name) override { saved << name; }
    bool SaveAs() override { return true; }
    rt::Int AutoClose() const override { return rt::False; }
    rt::Int ShowErrs() const override { return rt::False; }
    QString PasteFromFileName() const override { return pasted.isEmpty() ? QString() : pasted.last(); }
    void Paste(const QString &name) override { pasted << name; }
    void Output(const QString &text) override { output += text; }
    rt::Int Dial(const QString &number, rt::Int) override
    {
        dialled << number;
        return 0;
    }
    rt::Int HangUp(rt::Int) override { return 0; }
    rt::Int Connected() const override { return rt::False; }
    void setServerMode(rt::Int) override { }
    void setServerName(const QString &) override { }
    void ServerResult(const QString &, const QString &, const QString &) override { }
    void RaiseExtension(QString &) override { }
    void RaiseDataReady() override { }
    SessionSettings &AsSessionSettings() override { return m_own; }

    QList<int> terminated; // the prompt codes Terminate was called with
    bool closing = false;
    QString fileName;
    QStringList saved;
    QStringList pasted;
    QString output;
    QStringList dialled;

private:
    // Own settings that keep what they are given.
    class OwnSettings : public SessionSettings
    {
    public:
        QString Menu() const override { return menu; }
        void setMenu(const QString &v) override { menu = v; }
        QString Caption() const override { return caption; }
        void setCaption(const QString &v) override { caption = v; }
        QString Icon() const override { return icon; }
        void setIcon(const QString &v) override { icon = v; }
        rt::Int ShowErrs() const override { return showErrs; }
        void setShowErrs(rt::Int v) override { showErrs = v; }
        rt::Int AutoClose() const override { return autoClose; }
        void setAutoClose(rt::Int v) override { autoClose = v; }
        QString MouseTable() const override { return mouseTable; }
        void setMouseTable(const QString &v) override { mouseTable = v; }

    private:
        QString menu, caption, icon, mouseTable;
        rt::Int showErrs = rt::False, autoClose = rt::False;
    };

    QString m_id;
    OwnSettings m_own;
    mutable emu::Settings m_settings;
    QObject m_object;
};

inline std::shared_ptr<FakeSession> makeSession(const QString &id)
{
    return std::make_shared<FakeSession>(id);
}
