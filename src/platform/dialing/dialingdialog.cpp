#include "dialing/dialingdialog.h"

#include "runtime/controls.h"
#include "runtime/interaction.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace dialing {

namespace {

const QString Caption = QStringLiteral("Dialing Properties");
const QString NewName = QStringLiteral("New Location");

// "New Location", else "New Location 2", 3 ... whichever no location has yet.
QString freeName(const Properties &properties)
{
    for (int n = 1;; ++n) {
        const QString name = n == 1 ? NewName : NewName + u' ' + QString::number(n);
        bool taken = false;
        for (const Location &location : properties.locations)
            taken = taken || location.name.trimmed().compare(name, Qt::CaseInsensitive) == 0;
        if (!taken)
            return name;
    }
}

} // namespace

DialingPropertiesDialog::DialingPropertiesDialog(
    const QString &hostName, const QString &number, QWidget *parent)
    : QDialog(parent)
    , m_properties(load())
    , m_number(number.trimmed())
{
    setWindowTitle(hostName.isEmpty() ? Caption : Caption + QStringLiteral(" - ") + hostName);
    buildWidgets();
    rt::orderTabsAsShown(this);
    {
        const QSignalBlocker quiet(cboLocation);
        for (const Location &location : m_properties.locations)
            cboLocation->addItem(location.name);
        cboLocation->setCurrentIndex(m_properties.current);
    }
    showLocation();
    refresh();
}

void DialingPropertiesDialog::buildWidgets()
{
    cboLocation = new QComboBox(this);
    cmdNew = new QPushButton(QStringLiteral("Ne&w"), this);
    cmdRemove = new QPushButton(QStringLiteral("&Remove"), this);
    txName = new QLineEdit(this);
    txPrefix = new QLineEdit(this);
    optTone = new QRadioButton(QStringLiteral("&Tone"), this);
    optPulse = new QRadioButton(QStringLiteral("&Pulse"), this);
    lbDialString = new QLabel(this);
    lbDialString->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbProblem = new QLabel(this);
    lbProblem->setWordWrap(true);
    lbProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto *from = new QLabel(QStringLiteral("I am &dialing from:"), this);
    from->setBuddy(cboLocation);
    auto *fromRow = new QHBoxLayout;
    fromRow->addWidget(cboLocation, 1);
    fromRow->addWidget(cmdNew);
    fromRow->addWidget(cmdRemove);

    auto *frame = new QGroupBox(QStringLiteral("When dialing from this location"), this);
    auto *methodRow = new QHBoxLayout;
    methodRow->addWidget(optTone);
    methodRow->addWidget(optPulse);
    methodRow->addStretch();
    auto *form = new QFormLayout(frame);
    form->addRow(QStringLiteral("Location &name:"), txName);
    form->addRow(QStringLiteral("To reach an &outside line, first dial:"), txPrefix);
    form->addRow(QStringLiteral("Dial using:"), methodRow);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(from);
    layout->addLayout(fromRow);
    layout->addWidget(frame);
    layout->addWidget(lbDialString);
    layout->addWidget(lbProblem);
    layout->addStretch();
    layout->addWidget(buttons);

    connect(cboLocation, &QComboBox::currentIndexChanged, this,
        &DialingPropertiesDialog::locationChosen);
    connect(txName, &QLineEdit::textEdited, this, &DialingPropertiesDialog::nameEdited);
    connect(txPrefix, &QLineEdit::textEdited, this, &DialingPropertiesDialog::prefixEdited);
    connect(optTone, &QRadioButton::toggled, this, &DialingPropertiesDialog::methodChosen);
    connect(cmdNew, &QPushButton::clicked, this, &DialingPropertiesDialog::newLocation);
    connect(cmdRemove, &QPushButton::clicked, this, &DialingPropertiesDialog::removeLocation);
    connect(buttons, &QDialogButtonBox::accepted, this, &DialingPropertiesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DialingPropertiesDialog::reject);
}

Location &DialingPropertiesDialog::edited()
{
    return m_properties.locations[m_properties.current];
}

void DialingPropertiesDialog::locationChosen(int index)
{
    if (index < 0 || index >= m_properties.locations.size())
        return;
    m_properties.current = index;
    showLocation();
    refresh();
}

void DialingPropertiesDialog::showLocation()
{
    m_showing = true;
    const Location &location = edited();
    txName->setText(location.name);
    txPrefix->setText(location.prefix);
    (location.pulse ? optPulse : optTone)->setChecked(true);
    m_showing = false;
}

void DialingPropertiesDialog::nameEdited(const QString &name)
{
    edited().name = name;
    cboLocation->setItemText(m_properties.current, name);
    refresh();
}

void DialingPropertiesDialog::prefixEdited(const QString &prefix)
{
    edited().prefix = prefix;
    refresh();
}

void DialingPropertiesDialog::methodChosen()
{
    if (m_showing)
        return;
    edited().pulse = optPulse->isChecked();
    refresh();
}

void DialingPropertiesDialog::newLocation()
{
    const Location copy { freeName(m_properties), edited().prefix, edited().pulse };
    m_properties.locations.append(copy);
    cboLocation->addItem(copy.name);
    cboLocation->setCurrentIndex(int(m_properties.locations.size()) - 1);
    txName->setFocus();
    txName->selectAll();
}

void DialingPropertiesDialog::removeLocation()
{
    if (m_properties.locations.size() < 2)
        return;
    const int index = m_properties.current;
    m_properties.locations.removeAt(index);
    m_properties.current = std::min(index, int(m_properties.locations.size()) - 1);
    const QSignalBlocker quiet(cboLocation);
    cboLocation->removeItem(index);
    cboLocation->setCurrentIndex(m_properties.current);
    showLocation();
    refresh();
}

// The dial command line, the reason the properties cannot be stored, and what may be pressed.
void DialingPropertiesDialog::refresh()
{
    const Location &location = edited();
    const QString number = m_number.isEmpty() ? QStringLiteral("<number>") : m_number;
    lbDialString->setText(QStringLiteral("The modem is sent: ")
        + (location.pulse ? QStringLiteral("ATDP") : QStringLiteral("ATDT")) + location.prefix
        + number);
    const QString reason = problem(m_properties);
    lbProblem->setText(reason);
    lbProblem->setVisible(!reason.isEmpty());
    buttons->button(QDialogButtonBox::Ok)->setEnabled(reason.isEmpty());
    cmdRemove->setEnabled(m_properties.locations.size() > 1);
}

void DialingPropertiesDialog::accept()
{
    if (!problem(m_properties).isEmpty())
        return;
    if (!save(m_properties)) {
        lbProblem->setText(QStringLiteral("The dialing properties could not be stored."));
        lbProblem->setVisible(true);
        return;
    }
    QDialog::accept();
}

rt::Long NVDialingProperties(const QString &hostName, const QString &number, WId owner)
{
    if (!rt::userCanAnswer()) {
        rt::logUnanswered(QStringLiteral("dialog"), Caption, QStringLiteral("Cancel"));
        return 0;
    }
    DialingPropertiesDialog dialog(hostName, number, owner ? QWidget::find(owner) : nullptr);
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}

} // namespace dialing
