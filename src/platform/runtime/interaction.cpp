#include "runtime/interaction.h"

#include "runtime/form.h"

#include <QApplication>
#include <QDialog>
#include <QLoggingCategory>
#include <QPointer>
#include <QSet>
#include <QThread>

namespace rt {

namespace {

// The runtime's own category: windows closed or answered without a user.
Q_LOGGING_CATEGORY(lcRuntime, "norvalis.runtime", QtInfoMsg)

bool &dialogsWaitOffscreen()
{
    static bool wait = false;
    return wait;
}

bool platformShowsWindows()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// The close box's way: a form is asked (it may answer and hide instead of unloading), a dialog
// rejects. A window that is still shown afterwards is hidden, which ends its modal loop too.
void closeAsCancelled(QWidget *window)
{
    QPointer<QWidget> alive(window);
    window->close();
    if (!alive || !alive->isVisible())
        return;
    if (auto *dialog = qobject_cast<QDialog *>(alive.data()))
        dialog->reject();
    if (alive && alive->isVisible())
        alive->hide();
}

} // namespace

Int DoEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return Int(Forms().size());
}

void Beep()
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        QApplication::beep();
}

bool userCanAnswer()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())
        || QThread::currentThread() != QCoreApplication::instance()->thread())
        return false;
    return platformShowsWindows() || dialogsWaitOffscreen();
}

void setDialogsWaitOffscreen(bool wait)
{
    dialogsWaitOffscreen() = wait;
}

void logUnanswered(const QString &window, const QString &text, const QString &answer)
{
    qCInfo(lcRuntime).noquote().nospace()
        << "nobody to answer the " << window << " \"" << text << "\": " << answer;
}

void cancelModalWindows()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    // The active modal window is the innermost; one that refuses to go is not asked twice.
    QSet<QWidget *> asked;
    while (QWidget *window = QApplication::activeModalWidget()) {
        if (asked.contains(window))
            break;
        asked.insert(window);
        qCInfo(lcRuntime).noquote()
            << "the program is ending: closing the modal window" << window->windowTitle();
        closeAsCancelled(window);
    }
}

} // namespace rt
