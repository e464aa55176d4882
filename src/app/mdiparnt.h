#pragma once
// The main window: the MDI frame that holds the session windows and draws every menu, tool bar
// and status line of the toolbar control. Closing it starts an orderly shutdown of the whole
// application (the clean-up timer unloads it from code in the end); minimizing it hides all
// bands; its tool clicks and band openings are dispatched here.

#include "app/mainwindow.h"
#include "bar/bar.h"
#include "runtime/form.h"
#include "session/sessionbase.h"

class QMainWindow;

// What the main window, the clean-up timer and the script bridge need of a session window (the
// form whose Tag is its session's key).
class SessionWindow
{
public:
    virtual ~SessionWindow() = default;
    // Set once its session has been told to terminate.
    virtual bool IsClosing() const = 0;
    // The pause state recorded for the window (applied when it becomes active again).
    virtual bool PauseState() const = 0;
    // Enables the Paste tool when the clipboard holds text.
    virtual void UpdatePasteTool() = 0;
    // The DDE topic set on the window.
    virtual QString LinkTopic() const = 0;

    // The session window of a form, or nullptr when the form is none.
    static SessionWindow *of(rt::Form *form);
    // The loaded session window whose Tag is key, or nullptr.
    static SessionWindow *ofSession(const QString &key);
};

// What the paste-file command needs of a session.
class PasteSource
{
public:
    virtual ~PasteSource() = default;
    // The file pasted last ("" when none).
    virtual QString PasteFromFileName() const = 0;
    // Pastes a text file into the session and remembers its name.
    virtual void Paste(const QString &fileName) = 0;
};

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
    // Lets a close request through unasked (the clean-up timer sets it before hiding the window).
    void setClosing(bool closing) { m_closing = closing; }

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
    void removeDynamicTools(bar::Band &band);
    void listRecentFiles(bar::Band &band, rt::Long menuNo);
    bool listSessionWindows(bar::Band &band, rt::Long menuNo);
    void listBands(bar::Band &band, rt::Long menuNo);

    bool m_closing = false;
};
