#include "runtime/interaction.h"

#include "runtime/form.h"

#include <QApplication>

namespace rt {

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

} // namespace rt
