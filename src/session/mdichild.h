#pragma once
// frmMdiChild: the MDI child window of one session. It hosts the emulator control over its whole
// client area, keeps the session topic's DDE items, turns the control's events into status tools,
// session events and host requests (a script of the host runs only with the user's consent,
// scriptconsent.h; the dialogs of host requests open one at a time; a server name is one DDE
// topic's alone), handles the session-window keys (Ctrl+Tab cycling in activation order,
// Scroll Lock pause, Ctrl+Insert and Shift+Insert for Copy and Paste, the Alt letter shortcuts
// that BlockedHotKeys does not block, which use their key), shows the reconnect panel when a
// Telnet or SSH connection drops, starts a transfer that
// a dialog prepared (message 1830) and takes part in the orderly closing of its session.
//
// The window never keeps its session: every handler looks it up in Sessions by the key in Tag
// and does nothing further when there is none. Closing: a close request asks the session to
// Terminate (prompt 3, or the shutdown's prompt when the main window closes); a session that
// accepted leaves its window loaded but closing (out of the Ctrl+Tab cycle) until its destructor
// sets OkToUnload and unloads it.

#include "emulator/emulator.h"
#include "menus/menu.h"
#include "runtime/form.h"
#include "session/scriptconsent.h"
#include "session/sessionwindow.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

class QFrame;
class QLabel;
class clsServer;
class SessionBase;
class QPushButton;
namespace dde {
class Topic;
}

class frmMdiChild : public rt::MdiChildForm, public SessionWindow
{
    Q_OBJECT
public:
    explicit frmMdiChild(rt::MdiForm *frame, QObject *parent = nullptr);
    ~frmMdiChild() override;

    // The window may really unload (set by its session's destructor only).
    bool OkToUnload = false;
    // Refresh the status tools at the next activation.
    bool UpdateStatus = false;
    // SessionWindow
    bool IsClosing() const override { return m_isClosing; }
    bool PauseState() const override { return m_pauseState; }
    void UpdatePasteTool() override;
    QString LinkTopic() const override;
    bool SessionCommand(rt::Long command) override;

    // The session has accepted to close.
    void setIsClosing(bool closing) { m_isClosing = closing; }
    // The session's menu (nullptr drops it).
    void setMenu(MenuPtr menu) { m_menu = std::move(menu); }
    MenuPtr menu() const { return m_menu; }
    void setLinkTopic(const QString &topic);
    // Makes the window's topic a DDE source (link mode 1).
    void setLinkSource();
    dde::Topic *topic() const { return m_topic; }
    emu::nvEmulator *ctlEmulator() const override { return m_emulator; }
    void ForceResize() { Form_Resize(); }
    // Activation handling, also called by Sessions.Add after showing a new window.
    void Form_Activate() override;

    // The reconnect panel (shown after a Telnet or SSH connection dropped).
    bool reconnectShown() const;
    void cmdOKRecon_Click();
    void cmdCancelRecon_Click();

    // A DDE execute on the session's topic: a bracketed script runs for this session; other text
    // is a host request, submitted through the topic's request object (DDEServer) while the
    // topic is not Busy. False refuses it.
    bool DDEExecCmd(const QString &command);
    // The topic's request object, taken from the session at the first host request and kept for
    // the window's life; its completion sets Result, ErrNum, ErrMsg and then Busy "0".
    std::shared_ptr<clsServer> DDEServer;

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;
    void Form_Resize() override;
    void Form_KeyDown(rt::Int &keyCode, rt::Int shift) override;
    void Form_KeyUp(rt::Int &keyCode, rt::Int shift) override;
    void Form_QueryUnload(rt::Int &cancel, rt::Int unloadMode) override;
    void Form_Unload(rt::Int &cancel) override;

private:
    rt::Long WindowProc(rt::Long message, rt::Long wParam, rt::Long lParam);
    void connectEmulator();
    void showReconnectPanel();
    void hideReconnectPanel();
    void placeReconnectPanel();
    bool isActiveChild() const;
    // An Alt+letter with a command that BlockedHotKeys does not block.
    static bool isFreeAltShortcut(rt::Int keyCode);
    void altShortcut(rt::Int keyCode);

    // The emulator control's events.
    void ctlEmulator_ButtonPress(rt::Int *button);
    void ctlEmulator_CaptureChange(rt::Int capturing);
    void ctlEmulator_CloseSession();
    void ctlEmulator_CommError(rt::Long *code, rt::Int show);
    void ctlEmulator_ContextMenu(rt::Int kind, const QString &bandName);
    void ctlEmulator_DataReady();
    void ctlEmulator_DeviceChange(rt::Int device, QString *name);
    void ctlEmulator_Disconnect();
    void ctlEmulator_ExecScript(const QString &script, rt::Int asynchronous);
    void ctlEmulator_Extension(QString *command);
    void ctlEmulator_HistoryChange(rt::Int shown, rt::Int locked);
    void ctlEmulator_KeyboardLockChange(rt::Int locked);
    void ctlEmulator_LoadSettings();
    void ctlEmulator_LocationChange(rt::Int col, rt::Int row, rt::Int page);
    void showLocation();
    void ctlEmulator_PrinterChange(rt::Int state);
    void ctlEmulator_SaveSettings();
    void ctlEmulator_ScreenChange(rt::Int cols, rt::Int rows, rt::Int pages, rt::Int extended);
    void ctlEmulator_ServerExit();
    void ctlEmulator_ServerResult(
        const QString &result, const QString &errNum, const QString &errMsg);
    void ctlEmulator_ServerStart(const QString &name);
    void ctlEmulator_StatusChange(const QString &text);
    void showStatus(rt::Int device);
    void ctlEmulator_TermChange(rt::Int termType);
    void DDEServer_Notify(rt::Long code);
    // Scripts of the host: run, or answered to the host with the reason they did not run.
    void scriptQuestionAnswered(
        ScriptConsent::Answer answer, const QString &host, const QString &script, bool async);
    void runHostScript(const QString &script, bool async);
    void refuseHostScript(const QString &host, const QString &why);
    // The dialogs of host requests (the question to run a script; the Save As question or an
    // error report of save-settings and load-settings) open one at a time: a host that floods
    // requests gets one dialog, not one per request. Why the next one cannot open ("" when it
    // can).
    QString hostDialogOpen() const;
    // Runs the work of a host request that may open a dialog, or drops the request (and logs it)
    // while another dialog of the host is open. Work that asks the user for sure runs once the
    // host's data read so far is handled (`later`): the session's output does not wait behind
    // the question, and the rest of that data finds the question open.
    void runDialogRequest(const char *request, const char *procedure, bool later,
        std::function<void(SessionBase &session)> work);

    // Sets a property of a status tool; nothing without a menu.
    void setTool(rt::Long tool, rt::Long property, const QVariant &value);
    void recalcLayout();

    bool m_isClosing = false;
    QString m_status; // the emulator's last status text ("" before it tried to connect)
    bool m_pauseState = false;
    MenuPtr m_menu;
    QPointer<emu::nvEmulator> m_emulator;
    QPointer<QFrame> m_reconnect;
    QPointer<QPushButton> m_okRecon;
    dde::Topic *m_topic = nullptr;
    bool m_linkSource = false;
    QPointer<QWidget> m_scriptQuestion; // open while the user decides on a script of the host
    bool m_requestDialog = false; // a save-settings or load-settings runs or waits to run
    // The location field: the newest caption, when it was last shown, and the timer that shows
    // one that came too soon after it.
    QString m_location;
    QElapsedTimer m_locationShown;
    QTimer m_locationTimer;
};
