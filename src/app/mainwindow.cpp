#include "app/mainwindow.h"

#include <QPointer>

namespace {

struct Registration
{
    MainWindow *window = nullptr;
    QPointer<rt::MdiForm> form; // clears itself when the form is destroyed
};

Registration &registration()
{
    static Registration r;
    return r;
}

} // namespace

MainWindow *TheMainWindow()
{
    Registration &r = registration();
    return r.form ? r.window : nullptr;
}

rt::MdiForm *TheMainForm()
{
    MainWindow *main = TheMainWindow();
    return main ? &main->form() : nullptr;
}

void setMainWindow(MainWindow *window)
{
    Registration &r = registration();
    r.window = window;
    r.form = window ? &window->form() : nullptr;
}
