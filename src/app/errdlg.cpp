#include "app/errdlg.h"

#include "runtime/keyboard.h"

#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Tab stops every 88 dialog units line the values up after the labels.
constexpr int TabStopDialogUnits = 88;

// The horizontal dialog base unit of a font: the average width of the Latin letters, rounded
// as the classic dialog manager does. One dialog unit is a quarter of it.
double dialogBaseUnitX(const QFont &font)
{
    static const QString letters
        = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int width = QFontMetrics(font).horizontalAdvance(letters);
    return (width / 26 + 1) / 2;
}

} // namespace

frmErrHndlr::frmErrHndlr(QObject *parent)
    : rt::Form(QStringLiteral("frmErrHndlr"), parent)
{
    keyPreview = true;
}

QWidget *frmErrHndlr::createWidgets()
{
    auto *dialog = new QDialog;
    dialog->resize(520, 280);

    fraDetails = new QGroupBox(QStringLiteral("Error details"), dialog);
    txDetails = new QPlainTextEdit(fraDetails);
    txDetails->setReadOnly(true);
    txDetails->setLineWrapMode(QPlainTextEdit::NoWrap);
    txDetails->setFocusPolicy(Qt::ClickFocus);
    auto *frameLayout = new QVBoxLayout(fraDetails);
    frameLayout->addWidget(txDetails);

    cmdResumeNext = new QPushButton(QStringLiteral("&Ignore"), dialog);
    cmdResume = new QPushButton(QStringLiteral("&Retry"), dialog);
    cmdEnd = new QPushButton(QStringLiteral("&Fail"), dialog);
    cmdEnd->setDefault(true);
    QWidget::setTabOrder(cmdEnd, cmdResume);
    QWidget::setTabOrder(cmdResume, cmdResumeNext);
    connect(cmdResumeNext, &QPushButton::clicked, this, &frmErrHndlr::cmdResumeNext_Click);
    connect(cmdResume, &QPushButton::clicked, this, &frmErrHndlr::cmdResume_Click);
    connect(cmdEnd, &QPushButton::clicked, this, &frmErrHndlr::cmdEnd_Click);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(cmdResumeNext);
    buttonRow->addWidget(cmdResume);
    buttonRow->addWidget(cmdEnd);
    buttonRow->addStretch();

    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(fraDetails, 1);
    layout->addLayout(buttonRow);
    return dialog;
}

void frmErrHndlr::Form_Load()
{
    setCaption(QStringLiteral("Norvalis unanticipated error"));
    lblReturn = Fail;
    setTabStops();
    // Unlike other dialogs, Tab goes from the safe answer to the others: Fail, Retry, Ignore.
    QWidget::setTabOrder(cmdEnd, cmdResume);
    QWidget::setTabOrder(cmdResume, cmdResumeNext);
    cmdEnd->setFocus();
}

// The distance follows the box's font only, so the stops need setting once, not on each resize.
void frmErrHndlr::setTabStops()
{
    txDetails->setTabStopDistance(TabStopDialogUnits * dialogBaseUnitX(txDetails->font()) / 4);
}

void frmErrHndlr::Form_KeyDown(rt::Int &keyCode, rt::Int shift)
{
    Q_UNUSED(shift);
    // Escape is the cancel button's key: Retry, not the dialog's own rejection.
    if (keyCode == rt::vbKeyEscape) {
        keyCode = 0;
        cmdResume->click();
    }
}

void frmErrHndlr::Form_KeyPress(rt::Int &keyAscii)
{
    switch (keyAscii) {
    case 'F':
    case 'f':
        cmdEnd->click();
        break;
    case 'R':
    case 'r':
        cmdResume->click();
        break;
    case 'I':
    case 'i':
        cmdResumeNext->click();
        break;
    default:
        return;
    }
    keyAscii = 0;
}

void frmErrHndlr::choose(rt::Int choice)
{
    lblReturn = choice;
    hide();
}
