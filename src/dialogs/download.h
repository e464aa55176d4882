#pragma once
// frmDownload ("Norvalis File Download"): the user chooses a protocol, a mode, whether existing
// files are overwritten and where the file goes; Download hands that to the active session's
// window (XferForm) and unloads. Modeless; the choices stay for the run.
//
// Each protocol sets up the frames (protocolRules in download.cpp): ASCII text only, XModem,
// YModem binary only, Kermit either (binary when the kept mode is), ZModem hides mode and
// overwrite; Kermit and YModem always overwrite. A rule's change of the mode or of the box is
// kept as if the user had made it. ASCII and XModem need a file name, and refuse an existing file
// unless overwriting is chosen; the others receive into the directory under the host's names, so
// their file name box starts empty.

#include "dialogs/xferform.h"

class QCheckBox;

class frmDownload : public XferForm
{
    Q_OBJECT
public:
    explicit frmDownload(QObject *parent = nullptr);
    // The program's one download dialog (made on first use, owned by the application).
    static frmDownload &instance();

    // Command 602: shows the dialog, modeless and owned by the main window, for the active
    // session unless it is transferring; nothing without an active session.
    static void ShowDownload();

    void LoadControls() override;

    QCheckBox *chkOverwrite = nullptr;
    QPushButton *cmdDownload = nullptr;

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;

private:
    void optProtocol_Click(rt::Int index) override;
    void FileName_LostFocus() override;
    void chkOverwrite_Click();
    void cmdBrowse_Click();
    void cmdDownload_Click();
    // The message that refuses the download, or "" when it may start.
    QString refusal() const;
};
