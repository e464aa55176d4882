#include "dialogs/xferform.h"

#include "app/fileparts.h"
#include "app/files.h"
#include "app/mainwindow.h"
#include "app/mdiparnt.h"
#include "app/norvalis.h"
#include "app/strfunc.h"
#include "commondlg/helpwindow.h"
#include "dialogs/settingsdlg.h"
#include "emulator/emulator.h"
#include "runtime/controls.h"
#include "runtime/messages.h"
#include "session/sessionwindow.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWindow>

namespace Xfer {

SessionPtr ActiveSession()
{
    return gApp ? gApp->ActiveClsSession() : nullptr;
}

emu::nvEmulator &ActiveEmulator()
{
    const SessionPtr session = ActiveSession();
    SessionWindow *window = session ? session->Window() : nullptr;
    emu::nvEmulator *emulator = window ? window->ctlEmulator() : nullptr;
    if (!emulator)
        rt::raise(rt::err::ObjectNotSet);
    return *emulator;
}

QWidget *MainWidget()
{
    MainWindow *main = TheMainWindow();
    return main ? main->form().widget() : nullptr;
}

void ShowMainWindow()
{
    if (MainWindow *main = TheMainWindow())
        main->form().show();
}

void OwnWindow(QWidget *window, QWidget *owner)
{
    if (!owner || !window->isWindow())
        return;
    window->winId();
    if (QWindow *ownerWindow = owner->window()->windowHandle())
        window->windowHandle()->setTransientParent(ownerWindow);
}

void ShowHelp(QWidget *dialog, const QString &topic)
{
    commondlg::showHelp(dialog, frmMdiParent::HelpFile(), commondlg::HelpCommand::Context, topic);
}

void HelpKey(QWidget *dialog, QPushButton *help)
{
    QObject::connect(new QShortcut(QKeySequence::HelpContents, dialog), &QShortcut::activated,
        help, &QPushButton::click);
}

void DialogKeys(QWidget *window, QPushButton *defaultButton, QPushButton *cancelButton)
{
    defaultButton->setDefault(true);
    for (const QKeySequence &key : { QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter) })
        QObject::connect(new QShortcut(key, window), &QShortcut::activated, defaultButton,
            &QPushButton::click);
    QObject::connect(new QShortcut(QKeySequence(Qt::Key_Escape), window), &QShortcut::activated,
        cancelButton, &QPushButton::click);
}

QString AskFile(commondlg::Kind kind, const QString &title, const QString &directory,
    const QString &fileName, QWidget *owner, bool multiSelect)
{
    commondlg::Request request;
    request.kind = kind;
    request.title = title;
    request.directory = directory;
    request.fileName = fileName;
    request.filter = QStringLiteral("*.*|*.*");
    request.owner = owner;
    request.multiSelect = multiSelect;
    const commondlg::Answer answer = commondlg::chooseFile(request);
    if (!answer)
        rt::raise(rt::err::Cancelled);
    return *answer;
}

} // namespace Xfer

namespace {

const QString kNul(QChar(0));

} // namespace

XferForm::XferForm(const QString &name, const char *module, bool dropTilde, QObject *parent)
    : rt::Form(name, parent)
    , m_module(module)
    , m_dropTilde(dropTilde)
{ }

void XferForm::showForActiveSession(XferForm &form)
{
    if (!Xfer::ActiveSession() || Xfer::ActiveEmulator().XferStatus() == rt::True)
        return;
    form.load();
    if (!form.isLoaded())
        return;
    Xfer::OwnWindow(form.widget(), Xfer::MainWidget());
    form.show();
}

QWidget *XferForm::buildWindow(
    const QString &caption, const QString &fileFrame, QPushButton *start, QLayout *overwriteLayout)
{
    auto *window = new QWidget(nullptr, Qt::Dialog);
    window->setWindowTitle(caption);

    frmFile = new QGroupBox(fileFrame, window);
    DirName = new QLineEdit(frmFile);
    // The directory comes with a chosen or typed file name: the box only shows it, and looks so.
    DirName->setReadOnly(true);
    QPalette readOnly = DirName->palette();
    readOnly.setColor(QPalette::Base, readOnly.color(QPalette::Window));
    DirName->setPalette(readOnly);
    DirName->setMinimumWidth(320);
    FileName = new QLineEdit(frmFile);
    lblDirectory = new QLabel(QStringLiteral("&Directory"), frmFile);
    lblDirectory->setBuddy(DirName);
    lblFileName = new QLabel(QStringLiteral("&File name"), frmFile);
    lblFileName->setBuddy(FileName);
    cmdBrowse = new QPushButton(QStringLiteral("&Browse..."), frmFile);
    auto *fileGrid = new QGridLayout(frmFile);
    fileGrid->addWidget(lblDirectory, 0, 0);
    fileGrid->addWidget(DirName, 0, 1, 1, 2);
    fileGrid->addWidget(lblFileName, 1, 0);
    fileGrid->addWidget(FileName, 1, 1);
    fileGrid->addWidget(cmdBrowse, 1, 2);

    frmProtocol = new QGroupBox(QStringLiteral("&Protocol"), window);
    auto *protocols = new QVBoxLayout(frmProtocol);
    const char *const names[Xfer::ProtocolCount] = { "ASCII", "Kermit", "XModem", "YModem", "ZModem" };
    for (int i = 0; i < Xfer::ProtocolCount; ++i) {
        optProtocol[i] = new QRadioButton(QLatin1String(names[i]), frmProtocol);
        optProtocol[i]->setObjectName(QStringLiteral("optProtocol%1").arg(i));
        protocols->addWidget(optProtocol[i]);
    }
    protocols->addStretch(1);

    frmMode = new QGroupBox(QStringLiteral("&Mode"), window);
    optText = new QRadioButton(QStringLiteral("Text"), frmMode);
    optBinary = new QRadioButton(QStringLiteral("Binary"), frmMode);
    optText->setChecked(true);
    auto *modes = new QVBoxLayout(frmMode);
    modes->addWidget(optText);
    modes->addWidget(optBinary);

    frmOverwrite = new QGroupBox(window);
    frmOverwrite->setLayout(overwriteLayout);

    cmdSetup = new QPushButton(QStringLiteral("&Xfer Settings..."), window);
    cmdHelp = new QPushButton(QStringLiteral("&Help"), window);
    cmdOK = new QPushButton(QStringLiteral("O&K"), window);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), window);
    start->setParent(window);

    auto *options = new QGridLayout;
    options->addWidget(frmProtocol, 0, 0, 3, 1);
    options->addWidget(frmMode, 0, 1);
    options->addWidget(frmOverwrite, 1, 1);
    options->setRowStretch(2, 1);
    options->setColumnStretch(1, 1);
    auto *left = new QVBoxLayout;
    left->addWidget(frmFile);
    left->addLayout(options);
    auto *buttons = new QVBoxLayout;
    for (QPushButton *button : { start, cmdSetup, cmdHelp })
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *all = new QHBoxLayout(window);
    all->addLayout(left, 1);
    all->addLayout(buttons);
    all->setSizeConstraint(QLayout::SetFixedSize);

    Xfer::DialogKeys(window, start, cmdCancel);
    for (int i = 0; i < Xfer::ProtocolCount; ++i)
        rt::onClick(optProtocol[i], this, [this, i] { optProtocol_Click(rt::Int(i)); });
    rt::onClick(optText, this, [this] { optText_Click(); });
    rt::onClick(optBinary, this, [this] { optBinary_Click(); });
    rt::onLostFocus(FileName, [this] { FileName_LostFocus(); });
    rt::onClick(cmdSetup, this, [this] { cmdSetup_Click(); });
    rt::onClick(cmdHelp, this, [this] { cmdHelp_Click(); });
    Xfer::HelpKey(window, cmdHelp);
    rt::onClick(cmdOK, this, [this] { cmdOK_Click(); });
    rt::onClick(cmdCancel, this, [this] { cmdCancel_Click(); });
    return window;
}

bool XferForm::takeDefaults(const SessionPtr &session)
{
    if (m_setUp)
        return false;
    m_setUp = true;
    m_directory = session->DefaultXferDir();
    if (m_directory.isEmpty() && gApp)
        m_directory = gApp->DefaultXferDir();
    if (m_directory.isEmpty())
        m_directory = gStartDir;
    m_fileList.clear();
    return true;
}

void XferForm::rewriteDirectory()
{
    QString drive, dir, name;
    FileSpec::ParseDirectory(m_directory, drive, dir, name);
}

int XferForm::fileCount() const
{
    return m_fileList.isEmpty() ? 0 : int(m_fileList.count(QChar(0))) + 1;
}

void XferForm::SplitFile(QString &path)
{
    rt::Proc h(m_module, "SplitFile");
    if (m_dropTilde && path.endsWith(QStringLiteral("/~")))
        path.chop(2);
    if (path.isEmpty())
        return;
    QString drive, dir, name;
    rt::Int kind = FileSpec::PathInvalid;
    h([&] { rewriteDirectory(); });
    h([&] { kind = FileSpec::ParseDirectory(path, drive, dir, name, m_directory); });
    h([&] {
        switch (kind) {
        case FileSpec::PathDirectory:
            m_directory = drive + dir;
            break;
        case FileSpec::PathFile:
        case FileSpec::PathNew:
            m_directory = drive + dir;
            m_fileList = name;
            break;
        default:
            break;
        }
    });
}

void XferForm::takeEditedFileName()
{
    if (FileName->isModified())
        FileName_LostFocus();
}

void XferForm::handOff(Xfer::Direction direction, rt::Int mode)
{
    const SessionPtr session = Xfer::ActiveSession();
    SessionWindow *window = session ? session->Window() : nullptr;
    if (!window)
        return;
    window->xfrFileName = m_directory + kNul + m_fileList;
    window->xfrMode = mode;
    window->xfrOverwrite = m_overwrite;
    window->xfrProtocol = m_protocol;
    rt::postMessage(&window->form(), WM_STARTTRANSFER, direction, 0);
}

void XferForm::Form_Activate()
{
    rt::ResumeNext quiet;
    quiet([&] { FileName->setFocus(Qt::OtherFocusReason); });
}

void XferForm::optText_Click()
{
    rt::Proc h(m_module, "optText_Click");
    h([&] { m_mode = 0; });
    h([&] { modeChanged(); });
}

void XferForm::optBinary_Click()
{
    rt::Proc h(m_module, "optBinary_Click");
    h([&] { m_mode = 1; });
    h([&] { modeChanged(); });
}

void XferForm::cmdSetup_Click()
{
    rt::Proc h(m_module, "cmdSetup_Click");
    h([&] { ShowSettingsDialog(QStringLiteral("X"), false, nullptr); });
}

void XferForm::cmdHelp_Click()
{
    rt::Proc h(m_module, "cmdHelp_Click");
    h([&] {
        Xfer::ShowHelp(widget(), Xfer::HelpTopic);
    });
}

void XferForm::cmdOK_Click()
{
    unload();
}

void XferForm::cmdCancel_Click()
{
    unload();
}
