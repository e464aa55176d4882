#pragma once
// frmDDE: the hidden form that serves the DDE topic SYSTEM (a client may poke its Result item;
// the items the program keeps refuse a poke) and carries the clean-up timer. The
// timer does the deferred work of closing: it removes closed sessions from the collection and,
// during shutdown, unloads the main window and the other forms in order, revokes the running-object
// registration, stops the script host, empties the shared store, and finally releases the
// application object and unloads itself (ended() then tells the program to leave its event loop).

#include "runtime/form.h"

namespace dde {
class Topic;
}
namespace rt {
class Timer;
}

class frmDDE : public rt::Form
{
    Q_OBJECT
public:
    explicit frmDDE(QObject *parent = nullptr);
    // The program's one DDE form (made on first use, owned by the application).
    static frmDDE &instance();

    // The SYSTEM topic's item names, in this order, TAB-separated.
    static QString SysItems();

    rt::Timer *CleanupTimer = nullptr;
    dde::Topic *SystemTopic = nullptr;

    // One tick of the clean-up timer.
    void CleanupTimer_Timer();

signals:
    // The last tick of a shutdown released the application object and unloaded this form.
    void ended();

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;
    void Form_Unload(rt::Int &cancel) override;

private:
    // An execute on SYSTEM: a bracketed script, else refused with error 285.
    bool Form_LinkExecute(const QString &command);

    void removeClosedSessions();
    // False when the tick must end here (a session window is not closing yet, or the script
    // host is still busy).
    bool finishShutdown();
    void unloadOtherForms();
    void end();
};
