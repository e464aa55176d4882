#pragma once
// The main window as the rest of the program reaches it: its MDI frame form (caption, icon through
// its widget, state, geometry in twips, visibility, arrangement and the active session window)
// and whether its unload has begun. The main window registers itself when it loads and withdraws
// when its unload ends.

#include "runtime/form.h"

class MainWindow
{
public:
    virtual ~MainWindow() = default;
    virtual rt::MdiForm &form() = 0;
    // True once the window's unload has begun (it then neither shows nor hides on request).
    virtual bool isUnloading() const = 0;
    // Lets a close request through unasked (the clean-up timer sets it before hiding the window).
    virtual void setClosing(bool closing) = 0;
};

// The registered main window; nullptr before it loads, after it withdraws, or once its form is
// gone.
MainWindow *TheMainWindow();
// The registered main window's form; nullptr when TheMainWindow() is.
rt::MdiForm *TheMainForm();
// Registers the main window (nullptr withdraws it).
void setMainWindow(MainWindow *window);
