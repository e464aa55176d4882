#pragma once
// The dialing-properties dialog: the locations the user dials from, with the outside-line
// prefix and the dialing method of each, and the location in use; a line shows what the modem
// will be sent for the number being dialled. OK stores the properties (dialing.h) and is
// disabled, with the reason shown, while they cannot be stored. Cancel stores nothing.
//
// NVDialingProperties is the entry the program calls: the session's host name (shown in the
// caption), the number to show the dial command for and the window handle of the owner window.
// It shows the dialog modally and answers 1 when the properties were stored, 0 otherwise. When
// nobody can answer a modal window (runtime/interaction.h) it shows nothing and answers 0.

#include "dialing/dialing.h"
#include "runtime/error.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace dialing {

class DialingPropertiesDialog : public QDialog
{
    Q_OBJECT
public:
    DialingPropertiesDialog(const QString &hostName, const QString &number, QWidget *parent = nullptr);

    // The properties as edited so far.
    const Properties &properties() const { return m_properties; }

    QComboBox *cboLocation = nullptr;
    QPushButton *cmdNew = nullptr;
    QPushButton *cmdRemove = nullptr;
    QLineEdit *txName = nullptr;
    QLineEdit *txPrefix = nullptr;
    QRadioButton *optTone = nullptr;
    QRadioButton *optPulse = nullptr;
    QLabel *lbDialString = nullptr;
    QLabel *lbProblem = nullptr;
    QDialogButtonBox *buttons = nullptr;

    void accept() override;

private:
    void buildWidgets();
    void locationChosen(int index);
    void nameEdited(const QString &name);
    void prefixEdited(const QString &prefix);
    void methodChosen();
    void newLocation();
    void removeLocation();
    void showLocation();
    void refresh();
    Location &edited();

    Properties m_properties;
    QString m_number;
    bool m_showing = false; // fields are being filled from a location
};

rt::Long NVDialingProperties(const QString &hostName, const QString &number, WId owner);

} // namespace dialing
