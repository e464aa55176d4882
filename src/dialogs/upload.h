#pragma once
// frmUpload ("Norvalis File Upload"): the user chooses one or more files, a protocol, a mode and,
// for ZModem, what the host does with a file it has ("Never", "Always", "Append", "Newer",
// "Update", "Resume"; Resume only in binary mode); Upload hands that to the active session's
// window (XferForm) and unloads. Modeless; the choices, a list of several files included, stay
// for the run.
//
// The mode frame shows for Kermit and ZModem, the overwrite frame for ZModem; any other protocol
// sets the overwrite choice back to "Never". ASCII and XModem send one file: choosing them with
// several files asks whether to drop all but the first, and No goes back to the protocol before.
// The file list is never cut.

#include "dialogs/xferform.h"

class frmUpload : public XferForm
{
    Q_OBJECT
public:
    explicit frmUpload(QObject *parent = nullptr);
    // The program's one upload dialog (made on first use, owned by the application).
    static frmUpload &instance();

    // Command 601: shows the dialog, modeless and owned by the main window, for the active
    // session unless it is transferring; nothing without an active session.
    static void ShowUpload();

    void LoadControls() override;

    static constexpr int OverwriteCount = 6;
    static constexpr rt::Int Resume = 5;
    std::array<QRadioButton *, OverwriteCount> optOverwrite {};
    QPushButton *cmdUpload = nullptr;

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;

private:
    void optProtocol_Click(rt::Int index) override;
    void modeChanged() override;
    void optOverwrite_Click(rt::Int index);
    void FileName_LostFocus() override;
    void cmdBrowse_Click();
    void cmdUpload_Click();
    // ASCII and XModem with several files: asks to keep the first; false when the user declines.
    bool keepFirstFileOnly();
    QString missingFile() const;
};
