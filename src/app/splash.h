#pragma once
// The splash window: the product's picture with a notice and the build number, shown at a
// standalone start without a frame and closed by its own timer (start-up shortens the time).

#include "runtime/form.h"

class QLabel;

namespace rt {
class Timer;
}

class frmSplash : public rt::Form
{
    Q_OBJECT
public:
    explicit frmSplash(QObject *parent = nullptr);
    // The program's one splash window (made on first use, owned by the application).
    static frmSplash &instance();

    // Loads and shows the window without blocking, closing after time seconds (5 when time is
    // below 1), lets pending events run once and answers the window.
    static frmSplash *ShowSplash(rt::Int time);

    // What the notice label gets after its text: blanks, "(build ", the build number and ")".
    static QString BuildSuffix(rt::Int major, rt::Int minor, rt::Int revision);

    QLabel *picBackground = nullptr;
    QLabel *lbNotice = nullptr;
    rt::Timer *Timer = nullptr;

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;

private:
    void Timer_Timer();
};
