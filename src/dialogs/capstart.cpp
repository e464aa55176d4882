#include "dialogs/capstart.h"

#include "app/appglobals.h"
#include "app/fileparts.h"
#include "app/files.h"
#include "app/msgbox.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "dialogs/xferform.h"
#include "dialogs/xferstop.h"
#include "emulator/emulator.h"
#include "runtime/controls.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const char *const kModule = "capstart";

const char *const sourceCaptions[] = { "Received data", "Printer data" };
const char *const modeCaptions[]
    = { "New file only", "Overwrite existing file", "Append existing file", "Capture To Clipboard" };

const QString kFileExists
    = QStringLiteral("The selected file already exists. Choose a different file\r\n"
                     "or select Overwrite or Append to update this file.");
const QString kCannotUpdate
    = QStringLiteral("The selected file cannot be updated. Please choose a different file.");

// A frame of option buttons, one above the other.
template<std::size_t N>
QGroupBox *optionFrame(const QString &caption, const char *const (&captions)[N],
    std::array<QRadioButton *, N> &options, const char *name, QWidget *parent)
{
    auto *frame = new QGroupBox(caption, parent);
    auto *column = new QVBoxLayout(frame);
    for (std::size_t i = 0; i < N; ++i) {
        options[i] = new QRadioButton(QLatin1String(captions[i]), frame);
        options[i]->setObjectName(QLatin1String(name) + QString::number(i));
        column->addWidget(options[i]);
    }
    column->addStretch(1);
    options[0]->setChecked(true);
    return frame;
}

} // namespace

frmCapStart::frmCapStart(QObject *parent)
    : rt::Form(QStringLiteral("frmCapStart"), parent)
{ }

frmCapStart &frmCapStart::instance()
{
    return ProgramObject<frmCapStart>();
}

void frmCapStart::ShowCaptureDialog()
{
    if (!Xfer::ActiveSession())
        return;
    rt::Form &form = Xfer::ActiveEmulator().CaptureSource() != 0
        ? static_cast<rt::Form &>(frmXferStop::instance())
        : static_cast<rt::Form &>(instance());
    form.showModal(Xfer::MainWidget());
}

QWidget *frmCapStart::createWidgets()
{
    auto *window = new QWidget(nullptr, Qt::Dialog);
    window->setWindowTitle(QStringLiteral("Begin Capture"));
    frSource = optionFrame(QStringLiteral("&Source"), sourceCaptions, optSource, "optSource", window);
    frMode = optionFrame(QStringLiteral("&Mode"), modeCaptions, optMode, "optMode", window);
    lblFile = new QLabel(QStringLiteral("Capture to &File:"), window);
    FileName = new QLineEdit(window);
    FileName->setMinimumWidth(360);
    lblFile->setBuddy(FileName);
    cmdBrowse = new QPushButton(QStringLiteral("&Browse..."), window);
    cmdStartCapture = new QPushButton(QStringLiteral("Start &Capture"), window);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), window);
    cmdHelp = new QPushButton(QStringLiteral("&Help"), window);

    auto *grid = new QGridLayout(window);
    grid->addWidget(frSource, 0, 0);
    grid->addWidget(frMode, 0, 1, 1, 2);
    grid->addWidget(lblFile, 1, 0, 1, 3);
    grid->addWidget(FileName, 2, 0, 1, 2);
    grid->addWidget(cmdBrowse, 2, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdStartCapture);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdHelp);
    grid->addLayout(buttons, 3, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    Xfer::DialogKeys(window, cmdStartCapture, cmdCancel);

    for (int i = 0; i < int(optSource.size()); ++i)
        rt::onClick(optSource[i], this, [this, i] { optSource_Click(rt::Int(i)); });
    for (int i = 0; i < int(optMode.size()); ++i)
        rt::onClick(optMode[i], this, [this, i] { optMode_Click(rt::Int(i)); });
    rt::onLostFocus(FileName, [this] { FileName_LostFocus(); });
    rt::onClick(cmdBrowse, this, [this] { cmdBrowse_Click(); });
    rt::onClick(cmdStartCapture, this, [this] { cmdStartCapture_Click(); });
    rt::onClick(cmdCancel, this, [this] { cmdCancel_Click(); });
    rt::onClick(cmdHelp, this, [this] { cmdHelp_Click(); });
    Xfer::HelpKey(window, cmdHelp);
    return window;
}

void frmCapStart::cmdHelp_Click()
{
    rt::Proc h(kModule, "cmdHelp_Click");
    h([&] { Xfer::ShowHelp(widget(), Xfer::CaptureHelpTopic); });
}

bool frmCapStart::takeDefaults()
{
    m_setUp = true;
    rt::ResumeNext quiet;
    QString path;
    quiet([&] {
        const SessionPtr session = Xfer::ActiveSession();
        if (!session)
            rt::raise(rt::err::ObjectNotSet);
        path = session->DefaultCaptureDir();
        if (path.isEmpty() && gApp)
            path = gApp->DefaultCaptureDir();
        if (path.isEmpty())
            path = gStartDir;
    });
    rt::debugSwallowed(lcDialogs(), quiet, "capture defaults");
    if (quiet.failed())
        return false;
    m_capturePath = path;
    m_modeIndex = NewFileOnly;
    m_sourceIndex = 0;
    return true;
}

void frmCapStart::Form_Load()
{
    if (!m_setUp && !takeDefaults()) {
        unload();
        return;
    }
    rt::Proc h(kModule, "Form_Load");
    h([&] {
        QString drive, dir, name;
        FileSpec::ParseDirectory(m_capturePath, drive, dir, name);
    });
    h([&] { FileName->setText(m_capturePath); });
    h([&] { optMode.at(m_modeIndex)->setChecked(true); });
    h([&] { optSource.at(m_sourceIndex)->setChecked(true); });
}

void frmCapStart::Form_Activate()
{
    rt::ResumeNext quiet;
    quiet([&] {
        FileName->setCursorPosition(int(FileName->text().size()));
        FileName->setFocus(Qt::OtherFocusReason);
    });
}

void frmCapStart::FileName_LostFocus()
{
    m_capturePath = FileName->text();
}

void frmCapStart::optSource_Click(rt::Int index)
{
    m_sourceIndex = index;
}

void frmCapStart::optMode_Click(rt::Int index)
{
    rt::Proc h(kModule, "optMode_Click");
    h([&] {
        const bool toClipboard = index == Clipboard && optMode[Clipboard]->isChecked();
        if (toClipboard == FileName->isEnabled()) {
            for (QWidget *widget : { static_cast<QWidget *>(lblFile),
                     static_cast<QWidget *>(FileName), static_cast<QWidget *>(cmdBrowse) })
                widget->setEnabled(!toClipboard);
        }
    });
    h([&] { m_modeIndex = index; });
}

void frmCapStart::cmdBrowse_Click()
{
    rt::ResumeNext quiet;
    quiet([&] {
        if (m_capturePath.isEmpty())
            return;
        QString path = m_capturePath;
        QString drive, dir, name;
        FileSpec::ParseDirectory(path, drive, dir, name);
        m_capturePath = Xfer::AskFile(commondlg::Kind::SaveFile, QStringLiteral("File Capture"),
            drive + dir, name, widget());
        FileName->setText(m_capturePath);
    });
    rt::debugSwallowed(lcDialogs(), quiet, "capture browse");
}

bool frmCapStart::captureFile(QString &name)
{
    name.clear();
    if (m_modeIndex == Clipboard)
        return true;
    m_capturePath = FileName->text();
    name = m_capturePath;
    // Every file mode takes a name without a directory in the start directory.
    QString drive, dir, file;
    const rt::Int kind = FileSpec::ParseDirectory(name, drive, dir, file);
    if (m_modeIndex == NewFileOnly && kind == FileSpec::PathFile) {
        Nvmain::MessageBox(kFileExists, MsgBox::OKOnly, widget());
        return false;
    }
    return true;
}

void frmCapStart::cmdStartCapture_Click()
{
    rt::Int busy = 0;
    {
        rt::ResumeNext quiet;
        quiet([&] { busy = Xfer::ActiveEmulator().Busy(); });
    }
    if (busy != 0)
        return;
    rt::Proc h(kModule, "cmdStartCapture_Click");
    QString name;
    bool go = false;
    h([&] { go = captureFile(name); });
    QPointer<emu::nvEmulator> emulator;
    h([&] { emulator = &Xfer::ActiveEmulator(); });
    if (!go || !emulator)
        return;
    {
        // A capture the control refuses leaves its source 0, which the user is told below.
        rt::ResumeNext refused;
        refused([&] { emulator->Capture(name, rt::Int(m_sourceIndex + 1), m_modeIndex); });
        rt::debugSwallowed(lcDialogs(), refused, "capture");
    }
    rt::Int source = 0;
    h([&] { source = emulator ? emulator->CaptureSource() : rt::Int(0); });
    if (source == 0) {
        h([&] { Nvmain::MessageBox(kCannotUpdate, MsgBox::OKOnly, widget()); });
        return;
    }
    h([&] { m_capturePath = FileName->text(); });
    h([&] { close(); });
}

void frmCapStart::cmdCancel_Click()
{
    close();
}

void frmCapStart::close()
{
    hide();
    Xfer::ShowMainWindow();
    unload();
}
