#include "dialogs/upload.h"

#include "app/appglobals.h"
#include "app/msgbox.h"
#include "app/nvmain.h"
#include "app/strfunc.h"
#include "emulator/emulator.h"
#include "runtime/controls.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

const char *const kModule = "upload";

const char *const overwriteCaptions[frmUpload::OverwriteCount]
    = { "Never", "Always", "Append", "Newer", "Update", "Resume" };

const QString kMultipleFiles = QStringLiteral("That protocol does not accept multiple file names.  ")
    + QStringLiteral("Do you want to discard the extra files?");

const QString kMissingFile = QStringLiteral("There is no file \"%1\" to upload.");

// ASCII and XModem send one file; the others take a list.
bool sendsOneFile(rt::Int protocol)
{
    return protocol == Xfer::Ascii || protocol == Xfer::XModem;
}

} // namespace

frmUpload::frmUpload(QObject *parent)
    : XferForm(QStringLiteral("frmUpload"), kModule, false, parent)
{ }

frmUpload &frmUpload::instance()
{
    return ProgramObject<frmUpload>();
}

void frmUpload::ShowUpload()
{
    showForActiveSession(instance());
}

QWidget *frmUpload::createWidgets()
{
    auto *overwrite = new QGridLayout;
    for (int i = 0; i < OverwriteCount; ++i) {
        optOverwrite[i] = new QRadioButton(QLatin1String(overwriteCaptions[i]));
        optOverwrite[i]->setObjectName(QStringLiteral("optOverwrite%1").arg(i));
        overwrite->addWidget(optOverwrite[i], i % 3, i / 3);
    }
    optOverwrite[0]->setChecked(true);
    cmdUpload = new QPushButton(QStringLiteral("&Upload"));
    QWidget *window = buildWindow(
        QStringLiteral("Norvalis File Upload"), QStringLiteral("Upload"), cmdUpload, overwrite);
    frmOverwrite->setTitle(QStringLiteral("&Overwrite"));
    for (int i = 0; i < OverwriteCount; ++i)
        rt::onClick(optOverwrite[i], this, [this, i] { optOverwrite_Click(rt::Int(i)); });
    rt::onClick(cmdBrowse, this, [this] { cmdBrowse_Click(); });
    rt::onClick(cmdUpload, this, [this] { cmdUpload_Click(); });
    return window;
}

void frmUpload::Form_Load()
{
    rt::Proc h(kModule, "Form_Load");
    SessionPtr session;
    h([&] { session = Xfer::ActiveSession(); });
    if (!session)
        return;
    h([&] {
        if (takeDefaults(session))
            m_mode = session->DefaultXferMode() == 0 ? 1 : 0;
    });
    h([&] { rewriteDirectory(); });
    h([&] { LoadControls(); });
    h([&] { optProtocol.at(m_protocol)->setChecked(true); });
    h([&] { (m_mode != 0 ? optBinary : optText)->setChecked(true); });
    h([&] { optOverwrite.at(m_overwrite)->setChecked(true); });
}

void frmUpload::optProtocol_Click(rt::Int index)
{
    rt::Proc h(kModule, "optProtocol_Click");
    h([&] { frmMode->setVisible(index == Xfer::Kermit || index == Xfer::ZModem); });
    h([&] {
        if (index != Xfer::ZModem) {
            frmOverwrite->hide();
            optOverwrite[0]->setChecked(true);
        } else {
            frmOverwrite->show();
            optOverwrite[Resume]->setEnabled(optBinary->isChecked());
        }
    });
    bool keep = true;
    h([&] { keep = !sendsOneFile(index) || fileCount() <= 1 || keepFirstFileOnly(); });
    if (!keep) {
        // Back to the protocol the list was chosen for.
        h([&] { optProtocol.at(m_protocol)->setChecked(true); });
        return;
    }
    h([&] { m_protocol = index; });
}

bool frmUpload::keepFirstFileOnly()
{
    const rt::Int answer
        = Nvmain::MessageBox(kMultipleFiles, MsgBox::YesNo | MsgBox::Question, widget());
    if (answer != MsgBox::Yes)
        return false;
    m_fileList = Strfunc::Field(m_fileList, QString(QChar(0)), 1);
    LoadControls();
    return true;
}

void frmUpload::modeChanged()
{
    if (optProtocol[Xfer::ZModem]->isChecked())
        optOverwrite[Resume]->setEnabled(m_mode != 0);
}

void frmUpload::optOverwrite_Click(rt::Int index)
{
    rt::Proc h(kModule, "optOverwrite_Click");
    h([&] { m_overwrite = index; });
}

void frmUpload::LoadControls()
{
    rt::Proc h(kModule, "LoadControls");
    h([&] { DirName->setText(m_directory); });
    h([&] { FileName->setText(Strfunc::UnParseFiles(m_fileList)); });
}

void frmUpload::FileName_LostFocus()
{
    rt::Proc h(kModule, "FileName_LostFocus");
    QString list;
    h([&] { list = Strfunc::ParseFiles(FileName->text()); });
    h([&] {
        if (!list.isEmpty() && !list.contains(QChar(0)))
            SplitFile(list);
        else
            m_fileList = list;
    });
    h([&] { LoadControls(); });
}

void frmUpload::cmdBrowse_Click()
{
    rt::ResumeNext quiet;
    quiet([&] {
        const bool oneFile = sendsOneFile(m_protocol);
        QString chosen = Xfer::AskFile(commondlg::Kind::OpenFile,
            oneFile ? QStringLiteral("Select File to Upload")
                    : QStringLiteral("Select Files to Upload"),
            m_directory, fileCount() == 1 ? m_fileList : QString(), widget(), !oneFile);
        const qsizetype nul = chosen.indexOf(QChar(0));
        if (nul >= 0) {
            // Several files of one directory: the whole list, however long.
            m_directory = chosen.left(nul);
            m_fileList = chosen.mid(nul + 1);
            rewriteDirectory();
        } else {
            SplitFile(chosen);
        }
        LoadControls();
    });
    rt::debugSwallowed(lcDialogs(), quiet, "upload browse");
}

// The first named file that is not there to be sent, or "".
QString frmUpload::missingFile() const
{
    if (m_fileList.isEmpty())
        return QString();
    for (const QString &name : m_fileList.split(QChar(0))) {
        const QString path = name.startsWith(u'/') ? name : m_directory + name;
        if (!QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

void frmUpload::cmdUpload_Click()
{
    rt::ResumeNext quiet;
    quiet([&] {
        takeEditedFileName();
        // A file that is not there is named, and the dialog stays for another choice.
        const QString missing = missingFile();
        if (!missing.isEmpty()) {
            Nvmain::MessageBox(kMissingFile.arg(missing), MsgBox::OKOnly | MsgBox::Exclamation,
                widget());
            FileName->setFocus(Qt::OtherFocusReason);
            return;
        }
        handOff(Xfer::Upload, m_mode);
        unload();
    });
    rt::debugSwallowed(lcDialogs(), quiet, "upload");
}
