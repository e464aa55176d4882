#pragma once
// The error dialog: the report of an unanticipated error and the choice of what to do about it,
// Fail (give up), Retry (run the failing statement again) or Ignore (go on with the next one).

#include "runtime/form.h"

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

class frmErrHndlr : public rt::Form
{
    Q_OBJECT
public:
    // The choices, as the dialog leaves them.
    enum Choice : rt::Int { Fail = 0, Retry = 1, Ignore = 2 };

    explicit frmErrHndlr(QObject *parent = nullptr);

    // The button pressed last; Fail when the dialog was closed any other way.
    rt::Int choice() const { return lblReturn; }

    QGroupBox *fraDetails = nullptr;
    QPlainTextEdit *txDetails = nullptr;
    QPushButton *cmdResumeNext = nullptr; // Ignore
    QPushButton *cmdResume = nullptr; // Retry
    QPushButton *cmdEnd = nullptr; // Fail

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;
    void Form_KeyDown(rt::Int &keyCode, rt::Int shift) override;
    void Form_KeyPress(rt::Int &keyAscii) override;

private:
    void cmdResumeNext_Click() { choose(Ignore); }
    void cmdResume_Click() { choose(Retry); }
    void cmdEnd_Click() { choose(Fail); }
    void choose(rt::Int choice);
    void setTabStops();

    rt::Int lblReturn = Fail;
};
