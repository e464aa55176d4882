#include "dialogs/xferstop.h"

#include "app/appglobals.h"
#include "dialogs/xferform.h"
#include "emulator/emulator.h"
#include "runtime/controls.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {

const char *const kModule = "xferstop";

QString sourceText(rt::Int source)
{
    switch (source) {
    case 1:
        return QStringLiteral("Received Data");
    case 2:
        return QStringLiteral("Printer Data");
    default:
        return QStringLiteral("Unknown");
    }
}

QString destinationText(const emu::nvEmulator &emulator)
{
    switch (emulator.CaptureMode()) {
    case 0:
    case 1:
    case 2:
        return emulator.CaptureFileName();
    case 3:
        return QStringLiteral("To Clipboard");
    default:
        return QStringLiteral("Unknown");
    }
}

} // namespace

frmXferStop::frmXferStop(QObject *parent)
    : rt::Form(QStringLiteral("frmXferStop"), parent)
{ }

frmXferStop &frmXferStop::instance()
{
    return ProgramObject<frmXferStop>();
}

QWidget *frmXferStop::createWidgets()
{
    auto *window = new QWidget(nullptr, Qt::Dialog);
    window->setWindowTitle(QStringLiteral("End Capture"));
    lblCaptureStatus = new QLabel(QStringLiteral("Now capturing:"), window);
    lblCaptureMode = new QLabel(window);
    Label1 = new QLabel(QStringLiteral("To:"), window);
    lblCaptureFile = new QLabel(window);
    lblCaptureFile->setTextFormat(Qt::PlainText);
    lblCaptureFile->setWordWrap(true);
    lblCaptureFile->setMinimumWidth(360);
    cmdStartCapture = new QPushButton(QStringLiteral("&End Capture"), window);
    cmdCancel = new QPushButton(QStringLiteral("&Continue"), window);

    auto *grid = new QGridLayout(window);
    grid->addWidget(lblCaptureStatus, 0, 0);
    grid->addWidget(lblCaptureMode, 0, 1);
    grid->addWidget(Label1, 1, 0, Qt::AlignTop);
    grid->addWidget(lblCaptureFile, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdStartCapture);
    buttons->addWidget(cmdCancel);
    grid->setRowMinimumHeight(2, 8);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    Xfer::DialogKeys(window, cmdStartCapture, cmdCancel);

    rt::onClick(cmdStartCapture, this, [this] { cmdStartCapture_Click(); });
    rt::onClick(cmdCancel, this, [this] { cmdCancel_Click(); });
    return window;
}

void frmXferStop::Form_Load()
{
    rt::Proc h(kModule, "Form_Load");
    emu::nvEmulator *emulator = nullptr;
    h([&] {
        if (Xfer::ActiveSession())
            emulator = &Xfer::ActiveEmulator();
    });
    rt::Int source = 0;
    h([&] { source = emulator ? emulator->CaptureSource() : rt::Int(0); });
    if (source == 0) {
        // Nothing to end.
        unload();
        return;
    }
    h([&] { lblCaptureMode->setText(sourceText(source)); });
    h([&] { lblCaptureFile->setText(destinationText(*emulator)); });
}

void frmXferStop::cmdStartCapture_Click()
{
    rt::ResumeNext quiet;
    quiet([&] { Xfer::ActiveEmulator().CaptureEnd(); });
    rt::debugSwallowed(lcDialogs(), quiet, "end capture");
    unload();
}

void frmXferStop::cmdCancel_Click()
{
    unload();
}
