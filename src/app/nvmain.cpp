#include "app/nvmain.h"

#include "app/msgbox.h"
#include "runtime/form.h"

namespace Nvmain {

namespace {

// The main window's widget while it is loaded.
QWidget *mainWindow()
{
    for (rt::Form *form : rt::Forms())
        if (form->name() == QLatin1String("frmMdiParent"))
            return form->widget();
    return nullptr;
}

} // namespace

rt::Int MessageBox(const QString &prompt, rt::Int flags, QWidget *owner)
{
    rt::Int result = 0;
    rt::Proc h("nvmain", "MessageBox");
    h([&] {
        if (!owner)
            owner = mainWindow();
    });
    h([&] { result = frmMsgBox::instance().ShowMessage(prompt, flags, owner); });
    return result;
}

} // namespace Nvmain
