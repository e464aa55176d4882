#pragma once
// The start-up module's routines that the rest of the program calls.

#include "runtime/error.h"

#include <QString>

class QWidget;

namespace Nvmain {

// Shows the program's own message window (frmMsgBox) and returns the code of the button chosen:
// OK 1, Cancel 2, Retry 4, Yes 6, No 7, Yes to All 8, plus 256 when flags carry 256 and the
// "do not show again" box was ticked. flags: bits 0-3 the button set, bits 4-7 the icon, 256 the
// check box. Without an owner the main window owns the message, when there is one.
rt::Int MessageBox(const QString &prompt, rt::Int flags = 0, QWidget *owner = nullptr);

} // namespace Nvmain
