#pragma once
// The main window: the MDI frame that holds the session windows and draws every menu, tool bar
// and status line of the toolbar control. Closing it starts an orderly shutdown of the whole
// application (the clean-up timer unloads it from code in the end); minimizing it hides all
// bands; its tool clicks and band openings are dispatched here.

#include "app/mainwindow.h"
#include "bar/bar.h"
#include "runtime/form.h"
#include "session/sessionbase.h"
#include "session/sessionwindow.h"

class QMainWindow;

class frmMdiParent : public rt::MdiForm, public MainWindow
{
    Q_OBJECT
public:
    explicit frmMdiParent(QObject *parent = nullptr);
    // The program's one main window (made on first use, owned by the application).
    static frmMdiParent &instance();

    // MainWindow
    rt::MdiForm &form() override { return *this; }
    bool isUnloading() const override { return m_closing; }
    void setClosing(bool closing) override { m_closing = closing; }

    QMainWindow *mainWindow() const;

    // Command 306: pastes a text file the user chooses into the active session.
    void PasteFromFile();

    // The toolbar control's events.
    void TB_ToolClick(bar::Tool *tool);
    void TB_BandOpen(bar::Band *band, bool &cancel);

    // The help file beside the program (an HTML page); the help commands open it when it exists.
    static QString HelpFile();

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;
    void Form_Resize() override;
    void Form_QueryUnload(rt::Int &cancel, rt::Int unloadMode) override;
    void Form_Unload(rt::Int &cancel) override;

private:
    rt::Long WindowProc(rt::Long message, rt::Long wParam, rt::Long lParam);
    void activated();
    void systemColorsChanged();
    void dispatchCommand(rt::Long menuNo, rt::Long command, bar::Tool *tool);
    void toggleBand(rt::Long menuNo, bar::Tool *tool);
    void runBuiltInCommand(rt::Long command);
    // A command of a session menu goes to the session window that owns the menu (the main
    // window's own menu: the active session window); false when it is no session command.
    bool runSessionCommand(rt::Long menuNo, rt::Long command);
    void removeDynamicTools(bar::Band &band);
    void listRecentFiles(bar::Band &band, rt::Long menuNo);
    bool listSessionWindows(bar::Band &band, rt::Long menuNo);
    void listBands(bar::Band &band, rt::Long menuNo);

    bool m_closing = false;
};
