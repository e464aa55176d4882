#pragma once
// frmCapStart ("Begin Capture"): the user chooses what to capture (received or printer data),
// how (a new file only, overwrite or append a file, or the clipboard) and the file; Start
// Capture starts the active session's capture and closes. Modal, owned by the main window.
//
// The capture path, the source and the mode are kept for the whole run (they outlive the
// window); the first load takes the active session's DefaultCaptureDir, else the program's, else
// the start directory. A name typed without a directory lies in the start directory, in every
// mode. "New file only" refuses an existing file, and a capture the control refuses shows a
// message; both keep the dialog open with the user's choices. While the control is busy Start
// Capture does nothing.

#include "runtime/form.h"

#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class frmCapStart : public rt::Form
{
    Q_OBJECT
public:
    // Capture modes (the index of optMode; the control's mode argument).
    enum Mode : rt::Int { NewFileOnly = 0, Overwrite = 1, Append = 2, Clipboard = 3 };

    explicit frmCapStart(QObject *parent = nullptr);
    // The program's one capture dialog (made on first use, owned by the application).
    static frmCapStart &instance();

    // Command 603 and Alt+C: with a capture running in the active session the end-capture
    // dialog (frmXferStop), otherwise this one; modal, owned by the main window. Nothing without
    // an active session.
    static void ShowCaptureDialog();

    // The choices kept for the run.
    QString capturePath() const { return m_capturePath; }
    rt::Int sourceIndex() const { return m_sourceIndex; }
    rt::Int modeIndex() const { return m_modeIndex; }

    QGroupBox *frSource = nullptr;
    std::array<QRadioButton *, 2> optSource {};
    QGroupBox *frMode = nullptr;
    std::array<QRadioButton *, 4> optMode {};
    QLabel *lblFile = nullptr;
    QLineEdit *FileName = nullptr;
    QPushButton *cmdBrowse = nullptr;
    QPushButton *cmdStartCapture = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdHelp = nullptr;

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;
    void Form_Activate() override;

private:
    // The first load of the run: the defaults; false when they cannot be read.
    bool takeDefaults();
    void FileName_LostFocus();
    void optSource_Click(rt::Int index);
    void optMode_Click(rt::Int index);
    void cmdBrowse_Click();
    void cmdStartCapture_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();
    // The file a mode captures into: the typed name as a full path ("" for the clipboard);
    // false, after telling the user, when "New file only" names an existing file.
    bool captureFile(QString &name);
    void close();

    QString m_capturePath;
    rt::Int m_sourceIndex = 0;
    rt::Int m_modeIndex = NewFileOnly;
    bool m_setUp = false;
};
