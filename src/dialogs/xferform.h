#pragma once
// What the capture, download and upload dialogs share. None of them keeps a session: each event
// asks the application object for the active session and reaches its emulator control through
// the session's window.
//
// XferForm is the frame of the two transfer dialogs (frmDownload, frmUpload): the file frame
// with its directory and file name boxes, the protocol, mode and overwrite frames and the
// buttons, and what the two do alike. Each keeps its choices for the whole run of the program
// (they outlive the window): the directory, the file list (names without directory, separated
// by NULs), protocol, mode and overwrite; the session's defaults are taken only at the first
// load. A transfer is handed to the active session's window: the four xfr members are set and
// WM_STARTTRANSFER is posted (wParam 1 upload, 2 download), so the window starts it after the
// dialog has gone. The directory box only shows the directory (it is read-only); the file name
// box is taken when the user leaves it, or when a transfer starts after it was edited.

#include "commondlg/commondlg.h"
#include "dialogs/dialogslog.h"
#include "runtime/form.h"
#include "session/sessionbase.h"

#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
namespace emu {
class nvEmulator;
}

namespace Xfer {

// Protocol codes (the index of optProtocol).
enum Protocol : rt::Int { Ascii = 0, Kermit = 1, XModem = 2, YModem = 3, ZModem = 4 };
constexpr int ProtocolCount = 5;
// wParam of WM_STARTTRANSFER.
enum Direction : rt::Long { Upload = 1, Download = 2 };
// The guide's topics (anchors) of the transfer and capture dialogs.
inline const QString HelpTopic = QStringLiteral("transfers");
inline const QString CaptureHelpTopic = QStringLiteral("capture");
// Opens the guide at a topic over a dialog.
void ShowHelp(QWidget *dialog, const QString &topic);
// F1 in a dialog presses its Help button.
void HelpKey(QWidget *dialog, QPushButton *help);

// The active session, or null when no session window is active.
SessionPtr ActiveSession();
// The emulator control of the active session's window; 91 when there is none.
emu::nvEmulator &ActiveEmulator();
// The main window's widget (nullptr without one): the dialogs' owner.
QWidget *MainWidget();
// Shows the main window (a dialog that closes hands the focus back to it).
void ShowMainWindow();
// Makes a dialog's window stay above its owner without being its child.
void OwnWindow(QWidget *window, QWidget *owner);
// Enter clicks the default button, Esc the cancel button.
void DialogKeys(QWidget *window, QPushButton *defaultButton, QPushButton *cancelButton);
// Asks for a file (any name: "*.*") of kind in directory, offering fileName, over owner; the
// chosen path (for several files the directory, a NUL and the names). 32755 when cancelled.
QString AskFile(commondlg::Kind kind, const QString &title, const QString &directory,
    const QString &fileName, QWidget *owner, bool multiSelect = false);

} // namespace Xfer

class XferForm : public rt::Form
{
    Q_OBJECT
public:
    // The choices kept for the run.
    QString directory() const { return m_directory; }
    QString fileList() const { return m_fileList; }
    rt::Int protocol() const { return m_protocol; }
    rt::Int mode() const { return m_mode; }
    rt::Int overwrite() const { return m_overwrite; }

    // Shows the kept directory and file list in the boxes.
    virtual void LoadControls() = 0;
    // Takes a typed or chosen path apart: an existing directory becomes the directory; an
    // existing file, or a new name in an existing directory, gives the directory and the file
    // list (that one name). A bare name lies in the kept directory; an invalid path changes
    // nothing.
    void SplitFile(QString &path);
    void cmdOK_Click();

    QGroupBox *frmFile = nullptr;
    QLabel *lblDirectory = nullptr;
    QLineEdit *DirName = nullptr;
    QLabel *lblFileName = nullptr;
    QLineEdit *FileName = nullptr;
    QPushButton *cmdBrowse = nullptr;
    QGroupBox *frmProtocol = nullptr;
    std::array<QRadioButton *, Xfer::ProtocolCount> optProtocol {};
    QGroupBox *frmMode = nullptr;
    QRadioButton *optText = nullptr;
    QRadioButton *optBinary = nullptr;
    QGroupBox *frmOverwrite = nullptr;
    QPushButton *cmdSetup = nullptr;
    QPushButton *cmdHelp = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

protected:
    // module names the dialog in error reports; dropTilde: SplitFile first drops a trailing "/~".
    XferForm(const QString &name, const char *module, bool dropTilde, QObject *parent);

    // Commands 601 and 602: shows form, modeless and owned by the main window, for the active
    // session unless it is transferring; nothing without an active session.
    static void showForActiveSession(XferForm &form);

    // The window: caption, the file frame's caption, the button that starts the transfer and
    // what the overwrite frame holds (laid out by the caller).
    QWidget *buildWindow(const QString &caption, const QString &fileFrame, QPushButton *start,
        QLayout *overwriteLayout);

    // The first load of the run takes the directory from the session (then the program, then
    // the start directory) and empties the file list; true when this was the first load.
    bool takeDefaults(const SessionPtr &session);
    // The directory as a full path (a directory ends with "/").
    void rewriteDirectory();
    // The number of names in the file list.
    int fileCount() const;
    // Hands the transfer to the active session's window; nothing without one.
    void handOff(Xfer::Direction direction, rt::Int mode);
    // A transfer starts: takes the file name box first when the user edited it.
    void takeEditedFileName();

    void Form_Activate() override;
    virtual void FileName_LostFocus() = 0;
    virtual void optProtocol_Click(rt::Int index) = 0;
    void optText_Click();
    void optBinary_Click();
    virtual void modeChanged() { }
    void cmdSetup_Click();
    void cmdHelp_Click();
    void cmdCancel_Click();

    const char *m_module;
    QString m_directory;
    QString m_fileList;
    rt::Int m_protocol = Xfer::Ascii;
    rt::Int m_mode = 0;
    rt::Int m_overwrite = 0;
    bool m_setUp = false;

private:
    bool m_dropTilde;
};
