#pragma once
// The "New Connection" prompt: open a blank new session, start the connection wizard, or
// neither. The dialog only records the choice in its Tag ("N", "W" or "C"; empty when it was
// closed any other way); the caller shows it modally, reads Tag and unloads it.

#include "runtime/form.h"

class QLabel;
class QPushButton;

class frmWizard : public rt::Form
{
    Q_OBJECT
public:
    explicit frmWizard(QObject *parent = nullptr);
    // The program's one prompt (made on first use, owned by the application).
    static frmWizard &instance();

    QPushButton *cmdNew = nullptr;
    QPushButton *cmdWizard = nullptr;
    QPushButton *cmdCancel = nullptr;
    QLabel *lblNew = nullptr;
    QLabel *lblWizard = nullptr;

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;
    // N presses cmdNew, W presses cmdWizard, whatever the shift state.
    void Form_KeyDown(rt::Int &keyCode, rt::Int shift) override;

private:
    void cmdNew_Click();
    void cmdWizard_Click();
    void cmdCancel_Click();
    // Records the choice and hides the dialog, which ends the caller's modal show.
    void choose(const char *handler, const QString &letter);
};
