#include "dialogs/dial.h"

#include "app/appglobals.h"
#include "app/fileparts.h"
#include "app/files.h"
#include "app/mainwindow.h"
#include "app/mdiparnt.h"
#include "app/msgbox.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "app/strfunc.h"
#include "commondlg/commondlg.h"
#include "commondlg/helpwindow.h"
#include "dialing/dialingdialog.h"
#include "dialogs/dialogslog.h"
#include "dialogs/phonebook.h"
#include "dialogs/xferform.h"
#include "runtime/controls.h"
#include "runtime/errnum.h"
#include "runtime/wholefile.h"
#include "vplist/vplistbox.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>
#include <array>
#include <optional>

namespace {

constexpr const char *kModule = "dial";
const QString kTab = QStringLiteral("\t");
const QString kCaption = QStringLiteral("Norvalis Dialer");
const QString kDefaultBook = QStringLiteral("PHONE.DAT");
const QString kHelpTopic = QStringLiteral("dialing"); // the guide's anchor

// The button table: what the state of the fields, the selection and the link enables.
// State: 1 description given, 2 number given, 4 a line selected, 8 the fields make the
// selected line, 16 connected.
enum class Default { Close, Dial, Disc };

struct ButtonRow
{
    Default defaultButton;
    bool dial;
    bool add;
    bool remove;
    bool update;
};

constexpr ButtonRow row(Default d, bool dial, bool add, bool remove, bool update)
{
    return { d, dial, add, remove, update };
}

using Row = std::optional<ButtonRow>;
constexpr bool Y = true;
constexpr bool N = false;
constexpr Default C = Default::Close;
constexpr Default D = Default::Dial;
constexpr Default H = Default::Disc;

// States 8 to 11 and 24 to 27 cannot occur: the fields cannot make a line when none is
// selected. They change nothing.
const std::array<Row, 32> kButtonTable = {
    row(C, N, N, N, N), row(C, N, Y, N, N), row(D, Y, Y, N, N), row(D, Y, Y, N, N), // 0-3
    row(C, N, N, Y, N), row(C, N, Y, Y, Y), row(D, Y, Y, Y, Y), row(D, Y, Y, Y, Y), // 4-7
    Row(), Row(), Row(), Row(), // 8-11
    row(C, N, N, Y, N), row(C, N, N, Y, N), row(D, Y, N, Y, N), row(D, Y, N, Y, N), // 12-15
    row(H, N, N, N, N), row(H, N, N, N, N), row(H, Y, Y, N, N), row(H, Y, Y, N, N), // 16-19
    row(H, N, N, Y, N), row(H, N, Y, Y, Y), row(H, Y, Y, Y, Y), row(H, Y, Y, Y, Y), // 20-23
    Row(), Row(), Row(), Row(), // 24-27
    row(H, N, N, Y, N), row(H, N, Y, Y, Y), row(H, Y, N, Y, N), row(H, Y, N, Y, N), // 28-31
};

Norvalis &application()
{
    if (!gApp)
        rt::raise(rt::err::ObjectNotSet);
    return *gApp;
}

// A button whose default state only the button table sets.
QPushButton *button(const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setAutoDefault(false);
    return b;
}

// Runs events until a dialog that is open now has been answered (a failed dial's message, say),
// so that the dialer does not come back on top of it and block it.
void waitForOpenDialog()
{
    auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible())
        return;
    QEventLoop loop;
    QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(dialog, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

frmDial::frmDial(QObject *parent)
    : rt::Form(QStringLiteral("frmDial"), parent)
{ }

frmDial &frmDial::instance()
{
    return ProgramObject<frmDial>();
}

void frmDial::ShowDialer(QWidget *owner)
{
    frmDial &form = instance();
    form.load();
    for (;;) {
        if (!form.isLoaded())
            return; // not for this session
        form.m_freshShow = true;
        // Back after a failed dial: the phone book in use stays (one picked with Change Directory
        // need not be the default).
        form.m_keepBook = std::exchange(form.m_showAgain, false);
        form.showModal(owner);
        if (!form.isLoaded() || !form.m_showAgain)
            break;
        waitForOpenDialog();
    }
    form.unload();
}

// ---- Widgets ----

QWidget *frmDial::createWidgets()
{
    auto *dialog = new QDialog;
    dialog->setWindowTitle(kCaption);

    frPhoneEntry = new QGroupBox(dialog);
    txName = new QLineEdit(frPhoneEntry);
    txNumber = new QLineEdit(frPhoneEntry);
    lbName = new QLabel(QStringLiteral("De&scription"), frPhoneEntry);
    lbNumber = new QLabel(QStringLiteral("Nu&mber"), frPhoneEntry);
    lbName->setBuddy(txName);
    lbNumber->setBuddy(txNumber);
    auto *entry = new QGridLayout(frPhoneEntry);
    entry->addWidget(lbName, 0, 0);
    entry->addWidget(txName, 0, 1);
    entry->addWidget(lbNumber, 1, 0);
    entry->addWidget(txNumber, 1, 1);

    frPhoneBk = new QGroupBox(QStringLiteral("&Phone directory"), dialog);
    phonebk = new vplist::VPListBox(frPhoneBk);
    phonebk->setHeadings(QStringLiteral("Description"), QStringLiteral("Number"));
    phonebk->setMinimumSize(360, 200);
    auto *book = new QVBoxLayout(frPhoneBk);
    book->addWidget(phonebk);

    cmdDial = button(QStringLiteral("&Dial"), dialog);
    cmdDisc = button(QStringLiteral("Hang &Up"), dialog);
    cmdNew = button(QStringLiteral("&New"), dialog);
    cmdAdd = button(QStringLiteral("&Add"), dialog);
    cmdDelete = button(QStringLiteral("Dele&te"), dialog);
    cmdUpdate = button(QStringLiteral("Updat&e"), dialog);
    cmdOptions = button(QStringLiteral("Dialing &Options"), dialog);
    cmdChangeDir = button(QStringLiteral("Change Director&y"), dialog);
    cmdHelp = button(QStringLiteral("&Help"), dialog);
    cmdClose = button(QStringLiteral("&Close"), dialog);

    // The call buttons beside the entry, the phone book's own beside the list.
    auto *callButtons = new QVBoxLayout;
    for (QPushButton *b : { cmdDial, cmdDisc, cmdClose })
        callButtons->addWidget(b);
    callButtons->addStretch();
    auto *bookButtons = new QVBoxLayout;
    for (QPushButton *b : { cmdNew, cmdAdd, cmdDelete, cmdUpdate })
        bookButtons->addWidget(b);
    bookButtons->addStretch();
    for (QPushButton *b : { cmdOptions, cmdChangeDir, cmdHelp })
        bookButtons->addWidget(b);

    auto *layout = new QGridLayout(dialog);
    layout->addWidget(frPhoneEntry, 0, 0);
    layout->addLayout(callButtons, 0, 1);
    layout->addWidget(frPhoneBk, 1, 0);
    layout->addLayout(bookButtons, 1, 1);
    layout->setRowStretch(1, 1);
    layout->setColumnStretch(0, 1);

    QWidget::setTabOrder(txName, txNumber);
    QWidget::setTabOrder(txNumber, cmdDial);
    QWidget::setTabOrder(cmdDial, cmdDisc);
    QWidget::setTabOrder(cmdDisc, cmdClose);
    QWidget::setTabOrder(cmdClose, phonebk);
    QWidget::setTabOrder(phonebk, cmdNew);
    connectControls();
    return dialog;
}

void frmDial::connectControls()
{
    const std::pair<QPushButton *, void (frmDial::*)()> clicks[] = {
        { cmdDial, &frmDial::cmdDial_Click },
        { cmdDisc, &frmDial::cmdDisc_Click },
        { cmdNew, &frmDial::cmdNew_Click },
        { cmdAdd, &frmDial::cmdAdd_Click },
        { cmdDelete, &frmDial::cmdDelete_Click },
        { cmdUpdate, &frmDial::cmdUpdate_Click },
        { cmdOptions, &frmDial::cmdOptions_Click },
        { cmdChangeDir, &frmDial::cmdChangeDir_Click },
        { cmdHelp, &frmDial::cmdHelp_Click },
        { cmdClose, &frmDial::cmdClose_Click },
    };
    for (const auto &[control, handler] : clicks)
        rt::onClick(control, this, [this, handler = handler] { (this->*handler)(); });
    Xfer::HelpKey(cmdHelp->window(), cmdHelp);
    rt::onChange(txName, this, [this] { txName_Change(); });
    rt::onChange(txNumber, this, [this] { txNumber_Change(); });
    connect(phonebk, &vplist::VPListBox::Click, this, [this] { rt::event([&] { phonebk_Click(); }); });
    connect(phonebk, &vplist::VPListBox::DblClick, this,
        [this] { rt::event([&] { phonebk_DblClick(); }); });
}

// ---- Life cycle ----

void frmDial::Form_Load()
{
    rt::Proc h(kModule, "Form_Load");
    h([&] {
        const SessionPtr active = application().ActiveClsSession();
        if (active && active->EmulatorSettings().Device() != emu::device::Modem)
            unload();
    });
}

void frmDial::Form_Activate()
{
    rt::Proc h(kModule, "Form_Activate");
    h([&] {
        m_session = application().ActiveClsSession();
        if (m_session) {
            if (m_session->EmulatorSettings().Device() != emu::device::Modem)
                hide();
            else
                m_connected = m_session->Connected();
        }
    });
    if (!isLoaded())
        return;
    if (m_freshShow) {
        m_freshShow = false;
        // A phone book named meanwhile is taken up even so.
        if (!m_keepBook || application().PhoneBookName() != m_bookSetting)
            h([&] { takePhoneBook(); });
        h([&] {
            m_filling = true;
            txName->setText(application().DialedName());
            txNumber->setText(application().DialedNumber());
            m_filling = false;
        });
    }
    h([&] { InfoChanged(); });
    rt::ResumeNext quiet;
    quiet([&] { txNumber->setFocus(); });
}

void frmDial::takePhoneBook()
{
    m_shownPath = m_bookPath;
    m_bookSetting = application().PhoneBookName();
    m_bookPath = m_bookSetting;
    QString path = m_bookPath;
    QString drive;
    QString directory;
    QString name;
    switch (FileSpec::ParseDirectory(path, drive, directory, name, gStartDir)) {
    case FileSpec::PathInvalid:
        m_bookDir = gStartDir;
        break;
    case FileSpec::PathDirectory:
        m_bookDir = Files::MakePath(drive, directory);
        break;
    case FileSpec::PathNew:
        // The program's own name also finds a file spelt in another case.
        if (name.compare(kDefaultBook, Qt::CaseInsensitive) == 0)
            path = Files::FindProgramFile(directory, name);
        [[fallthrough]];
    default:
        m_bookPath = path;
        m_bookDir = Files::MakePath(drive, directory);
        break;
    }
    if (m_shownPath != m_bookPath)
        DialReadBook();
}

void frmDial::Form_Deactivate()
{
    m_session.reset();
}

void frmDial::Form_Unload(rt::Int &cancel)
{
    Q_UNUSED(cancel);
    m_session.reset();
    m_shownPath.clear();
    m_bookPath.clear();
}

SessionPtr frmDial::session() const
{
    if (!m_session)
        rt::raise(rt::err::NoActiveSession, QStringLiteral("No active session"));
    return m_session;
}

// ---- Calls ----

void frmDial::storeAndLeave()
{
    application().setDialedNumber(txNumber->text());
    application().setDialedName(txName->text());
    hide();
    if (MainWindow *main = TheMainWindow())
        main->form().show();
}

void frmDial::cmdDial_Click()
{
    rt::Proc h(kModule, "cmdDial_Click");
    if (txNumber->text().isEmpty()) {
        h([&] {
            Nvmain::MessageBox(QStringLiteral("Enter number to dial or select entry from the "
                                              "directory, then press dial!"),
                MsgBox::Exclamation, widget());
        });
        return;
    }
    h([&] {
        // The session is let go when the dialog hides: keep it for the call.
        const SessionPtr dialling = session();
        const QString number = txNumber->text();
        storeAndLeave();
        const rt::Int result = dialling->Dial(number, 1);
        m_showAgain = result != 0;
        if (result != 0)
            qCDebug(lcDialogs) << "dial failed with" << result << "- the dialer comes back";
    });
}

void frmDial::cmdDisc_Click()
{
    rt::Proc h(kModule, "cmdDisc_Click");
    h([&] {
        try {
            const SessionPtr hangingUp = session();
            storeAndLeave();
            hangingUp->HangUp(1);
        } catch (...) {
            hide(); // the error is reported with the dialog out of the way
            throw;
        }
    });
}

void frmDial::cmdClose_Click()
{
    rt::Proc h(kModule, "cmdClose_Click");
    h([&] { storeAndLeave(); });
}

void frmDial::cmdOptions_Click()
{
    // The dialing properties belong to the user, not to a session: without one they are shown
    // all the same.
    rt::Proc h(kModule, "cmdOptions_Click");
    h([&] {
        const QString host = m_session ? m_session->EmulatorSettings().HostName() : QString();
        dialing::NVDialingProperties(host, txNumber->text(), widget()->winId());
    });
}

void frmDial::cmdHelp_Click()
{
    rt::Proc h(kModule, "cmdHelp_Click");
    h([&] {
        commondlg::showHelp(
            widget(), frmMdiParent::HelpFile(), commondlg::HelpCommand::Context, kHelpTopic);
    });
}

// ---- The entry fields and the list ----

void frmDial::cmdNew_Click()
{
    rt::Proc h(kModule, "cmdNew_Click");
    h([&] { phonebk->setListIndex(-1); });
    h([&] { txName->clear(); });
    h([&] { txNumber->clear(); });
    h([&] { txName->setFocus(); });
}

void frmDial::phonebk_Click()
{
    if (m_filling)
        return;
    rt::Proc h(kModule, "phonebk_Click");
    h([&] {
        const int index = phonebk->ListIndex();
        if (index < 0)
            return;
        const QString line = phonebk->List(index);
        const bool saved = std::exchange(m_filling, false);
        txName->setText(Strfunc::Field(line, kTab, 1));
        txNumber->setText(Strfunc::Field(line, kTab, 2));
        m_filling = saved;
    });
    h([&] { InfoChanged(); });
}

void frmDial::SetListIndex(const QString &text)
{
    rt::Proc h(kModule, "SetListIndex");
    const bool saved = std::exchange(m_filling, false);
    h([&] {
        int found = -1;
        if (text.size() > 1) {
            for (int i = 0; i < phonebk->ListCount() && found < 0; ++i) {
                if (phonebk->List(i) == text)
                    found = i;
            }
        }
        phonebk->setListIndex(found);
    });
    m_filling = saved;
}

void frmDial::InfoChanged()
{
    if (m_filling)
        return;
    rt::Proc h(kModule, "InfoChanged");
    h([&] {
        const int selected = phonebk->ListIndex();
        int state = 0;
        if (!txName->text().isEmpty())
            state += 1;
        if (!txNumber->text().isEmpty())
            state += 2;
        if (selected >= 0) {
            state += 4;
            if (PhoneBook::entryLine(txName->text(), txNumber->text()) == phonebk->List(selected))
                state += 8;
        }
        if (m_connected != 0)
            state += 16;
        const Row &row = kButtonTable.at(state);
        if (!row)
            return;
        QPushButton *defaults[] = { cmdClose, cmdDial, cmdDisc };
        for (QPushButton *b : defaults)
            b->setDefault(false);
        defaults[int(row->defaultButton)]->setDefault(true);
        cmdDial->setEnabled(row->dial);
        cmdAdd->setEnabled(row->add);
        cmdDelete->setEnabled(row->remove);
        cmdUpdate->setEnabled(row->update);
    });
}

// ---- The phone book ----

void frmDial::DialReadBook()
{
    readBook();
    // The buttons follow the book now shown (an empty one leaves nothing selected).
    InfoChanged();
}

void frmDial::readBook()
{
    rt::Proc h(kModule, "DialReadBook");
    h([&] { phonebk->Clear(); });
    if (m_bookPath.isEmpty()) {
        m_shownPath.clear();
        h([&] { setCaption(kCaption); });
        return;
    }
    h([&] {
        setCaption(kCaption + QStringLiteral(" [") + Files::GetFileName(m_bookPath) + u']');
    });
    const PhoneBook::Contents contents = PhoneBook::read(m_bookPath);
    if (!contents.opened)
        return; // tried again at the next showing
    h([&] {
        for (const PhoneBook::Line &line : contents.lines)
            phonebk->AddItem(line.text);
    });
    h([&] {
        SetListIndex(PhoneBook::entryLine(application().DialedName(), application().DialedNumber()));
    });
    m_shownPath = m_bookPath;
}

bool frmDial::entryAccepted(const QString &name, const QString &number)
{
    const QString problem = PhoneBook::entryProblem(name, number);
    if (problem.isEmpty())
        return true;
    Nvmain::MessageBox(problem, MsgBox::Exclamation, widget());
    return false;
}

void frmDial::reportUpdateError()
{
    Nvmain::MessageBox(
        QStringLiteral("Error updating phone directory file!"), MsgBox::Exclamation, widget());
}

void frmDial::DialAddEntry(const QString &name, const QString &number)
{
    rt::Proc h(kModule, "DialAddEntry");
    if (!entryAccepted(name, number))
        return;
    const QString line = PhoneBook::entryLine(name, number);
    if (!PhoneBook::append(m_bookPath, line)) {
        reportUpdateError();
        return;
    }
    h([&] { phonebk->AddItem(line); });
    h([&] { SetListIndex(line); });
    h([&] { InfoChanged(); });
}

void frmDial::DialDeleteEntry(const QString &name, const QString &number)
{
    rt::Proc h(kModule, "DialDeleteEntry");
    const int index = phonebk->ListIndex();
    if (index < 0)
        return;
    if (!PhoneBook::remove(m_bookPath, phonebk->List(index))) {
        reportUpdateError();
        return;
    }
    h([&] { phonebk->RemoveItem(index); });
    h([&] { SetListIndex(PhoneBook::entryLine(name, number)); });
    h([&] { InfoChanged(); });
}

void frmDial::DialUpdateEntry(const QString &name, const QString &number)
{
    const int index = phonebk->ListIndex();
    if (index < 0) {
        DialAddEntry(name, number);
        return;
    }
    rt::Proc h(kModule, "DialUpdateEntry");
    if (!entryAccepted(name, number))
        return;
    const QString line = PhoneBook::entryLine(name, number);
    const PhoneBook::Result result = PhoneBook::replace(m_bookPath, phonebk->List(index), line);
    if (!result) {
        reportUpdateError();
        return;
    }
    h([&] {
        if (result.found)
            phonebk->setList(index, line);
        else
            phonebk->AddItem(line);
    });
    h([&] { SetListIndex(line); });
    h([&] { InfoChanged(); });
}

void frmDial::editBook(void (frmDial::*change)(const QString &, const QString &))
{
    rt::ResumeNext quiet;
    quiet([&] { (this->*change)(txName->text(), txNumber->text()); });
    quiet([&] { txNumber->setFocus(); });
    rt::debugSwallowed(lcDialogs(), quiet, "phone book change");
}

void frmDial::cmdChangeDir_Click()
{
    // A cancel, or any failure on the way, ends the command silently.
    rt::ResumeNext quiet;
    quiet([&] {
        commondlg::Request request;
        request.kind = commondlg::Kind::OpenOrNewFile;
        request.directory = m_bookDir;
        request.title = QStringLiteral("Open Phone Directory File");
        request.defaultExtension = QStringLiteral("dat");
        request.filter = QStringLiteral("data files (*.dat)|*.dat|All Files (*.*)|*.*");
        request.filterIndex = 1;
        request.owner = widget();
        const commondlg::Answer chosen = commondlg::chooseFile(request);
        if (!chosen)
            rt::raise(rt::err::Cancelled);
        QString path = *chosen;
        QString drive;
        QString directory;
        QString name;
        rt::Int kind = FileSpec::ParseDirectory(path, drive, directory, name);
        if (kind == FileSpec::PathNew) {
            if (const rt::WriteResult made = rt::writeWholeFile(path, QByteArray()); !made)
                rt::raise(rt::err::PathFileAccess, made.reason);
            kind = FileSpec::PathFile;
        }
        if (kind != FileSpec::PathFile)
            return;
        m_bookPath = path;
        if (m_bookPath != application().PhoneBookName()) {
            const QString question = QStringLiteral("Change default phone directory to ") + u'"'
                + m_bookPath + u'"' + u'?';
            if (Nvmain::MessageBox(question, MsgBox::YesNo + MsgBox::Question, widget())
                == MsgBox::Yes)
                application().setPhoneBookName(m_bookPath);
        }
        DialReadBook();
    });
    rt::debugSwallowed(lcDialogs(), quiet, "phone directory not changed");
}
