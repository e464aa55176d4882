#pragma once
// frmXferStop ("End Capture"): tells what the active session is capturing and where to; End
// Capture ends the capture, Continue leaves it running. Modal, owned by the main window (see
// frmCapStart::ShowCaptureDialog). With no capture to end it unloads itself as it loads, and
// nothing is shown.

#include "runtime/form.h"

class QLabel;
class QPushButton;

class frmXferStop : public rt::Form
{
    Q_OBJECT
public:
    explicit frmXferStop(QObject *parent = nullptr);
    // The program's one end-capture dialog (made on first use, owned by the application).
    static frmXferStop &instance();

    QLabel *lblCaptureStatus = nullptr;
    QLabel *lblCaptureMode = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *lblCaptureFile = nullptr;
    QPushButton *cmdStartCapture = nullptr;
    QPushButton *cmdCancel = nullptr;

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;

private:
    void cmdStartCapture_Click();
    void cmdCancel_Click();
};
