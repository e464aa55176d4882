#include "app/wizard.h"

#include "app/appglobals.h"
#include "bar/bar.h"
#include "runtime/controls.h"
#include "runtime/keyboard.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>

namespace {

// Picture numbers of the tool pictures the two choices show.
constexpr int NewPicture = 30;
constexpr int WizardPicture = 8;
// Virtual-key codes of the letters N and W.
constexpr rt::Int KeyN = 78;
constexpr rt::Int KeyW = 87;

QPushButton *pictureButton(QWidget *parent, int imageNo)
{
    auto *button = new QPushButton(parent);
    button->setIcon(bar::picture(imageNo));
    button->setIconSize(QSize(32, 32));
    button->setFixedSize(48, 48);
    return button;
}

} // namespace

frmWizard::frmWizard(QObject *parent)
    : rt::Form(QStringLiteral("frmWizard"), parent)
{
    keyPreview = true;
}

frmWizard &frmWizard::instance()
{
    return ProgramObject<frmWizard>();
}

QWidget *frmWizard::createWidgets()
{
    auto *window = new QWidget(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    window->setWindowTitle(QStringLiteral("New Connection"));
    cmdNew = pictureButton(window, NewPicture);
    cmdWizard = pictureButton(window, WizardPicture);
    lblNew = new QLabel(QStringLiteral("&New Connection"), window);
    lblNew->setBuddy(cmdNew);
    lblWizard = new QLabel(QStringLiteral("Connection &Wizard"), window);
    lblWizard->setBuddy(cmdWizard);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), window);
    // The cancel button: Escape presses it.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    connect(escape, &QShortcut::activated, cmdCancel, &QPushButton::click);

    auto *grid = new QGridLayout(window);
    grid->setContentsMargins(16, 16, 16, 12);
    grid->setHorizontalSpacing(12);
    grid->addWidget(cmdNew, 0, 0);
    grid->addWidget(lblNew, 0, 1);
    grid->addWidget(cmdWizard, 1, 0);
    grid->addWidget(lblWizard, 1, 1);
    grid->addWidget(cmdCancel, 2, 1, Qt::AlignRight);
    grid->setColumnMinimumWidth(1, 180);
    window->setFixedSize(window->sizeHint());

    rt::onClick(cmdNew, this, [this] { cmdNew_Click(); });
    rt::onClick(cmdWizard, this, [this] { cmdWizard_Click(); });
    rt::onClick(cmdCancel, this, [this] { cmdCancel_Click(); });
    return window;
}

void frmWizard::Form_Load()
{
    Tag.clear();
}

void frmWizard::choose(const char *handler, const QString &letter)
{
    rt::Proc h("wizard", handler);
    h([&] { Tag = letter; });
    h([&] { hide(); });
}

void frmWizard::cmdNew_Click()
{
    choose("cmdNew_Click", QStringLiteral("N"));
}

void frmWizard::cmdWizard_Click()
{
    choose("cmdWizard_Click", QStringLiteral("W"));
}

void frmWizard::cmdCancel_Click()
{
    choose("cmdCancel_Click", QStringLiteral("C"));
}

void frmWizard::Form_KeyDown(rt::Int &keyCode, rt::Int shift)
{
    Q_UNUSED(shift);
    rt::Proc h("wizard", "Form_KeyDown");
    h([&] {
        if (keyCode == KeyN)
            cmdNew->click();
        else if (keyCode == KeyW)
            cmdWizard->click();
    });
}
