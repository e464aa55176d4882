#include "session/sessionwindow.h"

#include "runtime/form.h"

namespace {

QList<SessionWindow *> &windows()
{
    static QList<SessionWindow *> list;
    return list;
}

} // namespace

SessionWindow::SessionWindow(rt::Form *form)
    : m_form(form)
{
    windows().append(this);
}

SessionWindow::~SessionWindow()
{
    windows().removeOne(this);
}

SessionWindow *SessionWindow::of(const rt::Form *form)
{
    if (!form)
        return nullptr;
    for (SessionWindow *window : windows()) {
        if (window->m_form == form)
            return window;
    }
    return nullptr;
}

SessionWindow *SessionWindow::ofSession(const QString &key)
{
    for (SessionWindow *window : windows()) {
        if (window->m_form->isLoaded() && window->m_form->Tag == key)
            return window;
    }
    return nullptr;
}

QList<SessionWindow *> SessionWindow::all()
{
    return windows();
}
