#pragma once
// A main window for tests of the application object and the placement routines: an MDI frame
// that registers itself as the main window, and session windows that carry a session key in
// their Tag.

#include "app/mainwindow.h"
#include "runtime/form.h"

#include <QMainWindow>

class TestMainWindow : public rt::MdiForm, public MainWindow
{
public:
    TestMainWindow()
        : rt::MdiForm(QStringLiteral("frmMdiParent"))
    { }
    rt::MdiForm &form() override { return *this; }
    bool isUnloading() const override { return unloading; }
    void setClosing(bool closing) override { unloading = closing; }

    bool unloading = false;

protected:
    QWidget *createWidgets() override
    {
        auto *window = new QMainWindow;
        window->setCentralWidget(makeMdiArea(window));
        return window;
    }
};

class TestSessionWindow : public rt::MdiChildForm
{
public:
    TestSessionWindow(const QString &key, rt::MdiForm *frame)
        : rt::MdiChildForm(QStringLiteral("frmMdiChild"), frame)
    {
        Tag = key;
    }

protected:
    QWidget *createWidgets() override { return new QWidget; }
};
