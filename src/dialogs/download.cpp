#include "dialogs/download.h"

#include "app/appglobals.h"
#include "app/browsefolder.h"
#include "app/fileparts.h"
#include "app/msgbox.h"
#include "app/nvmain.h"
#include "app/strfunc.h"
#include "emulator/emulator.h"
#include "runtime/controls.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const char *const kModule = "download";

// A control's state under a protocol: set one way, or left as it is.
enum class Tri : char { No, Yes, Keep };
enum class ModeChoice : char { Text, Binary, Kept, Keep };
enum class BoxChoice : char { Kept, Checked, Keep };

struct ProtocolRule
{
    bool modeVisible;
    Tri modeEnabled; // the frame and both options
    ModeChoice mode; // Kept: binary when the kept mode is, else text
    bool overwriteVisible;
    Tri frameEnabled;
    Tri boxEnabled;
    BoxChoice box; // Kept: checked when the kept overwrite is not 0
    bool namesFile; // the user names the file (and Download checks it)
};

using enum Tri;
constexpr ProtocolRule protocolRules[Xfer::ProtocolCount] = {
    /* ASCII  */ { true, No, ModeChoice::Text, true, Yes, Yes, BoxChoice::Kept, true },
    /* Kermit */ { true, Yes, ModeChoice::Kept, true, Yes, No, BoxChoice::Checked, false },
    /* XModem */ { true, No, ModeChoice::Binary, true, Yes, Yes, BoxChoice::Kept, true },
    /* YModem */ { true, No, ModeChoice::Binary, true, No, No, BoxChoice::Checked, false },
    /* ZModem */ { false, Keep, ModeChoice::Keep, false, Keep, Keep, BoxChoice::Keep, false },
};

void apply(Tri state, QWidget *widget)
{
    if (state != Keep)
        widget->setEnabled(state == Yes);
}

const QString kNoFileName
    = QStringLiteral("You must specify a destination filename for ASCII or XMODEM download!");
const QString kFileExists = QStringLiteral("The destination filename already exists, but you have "
                                           "not enabled overwriting existing files!");

} // namespace

frmDownload::frmDownload(QObject *parent)
    : XferForm(QStringLiteral("frmDownload"), kModule, true, parent)
{ }

frmDownload &frmDownload::instance()
{
    return ProgramObject<frmDownload>();
}

void frmDownload::ShowDownload()
{
    showForActiveSession(instance());
}

QWidget *frmDownload::createWidgets()
{
    chkOverwrite = new QCheckBox(QStringLiteral("&Overwrite existing files"));
    auto *overwrite = new QVBoxLayout;
    overwrite->addWidget(chkOverwrite);
    cmdDownload = new QPushButton(QStringLiteral("Down&load"));
    QWidget *window = buildWindow(QStringLiteral("Norvalis File Download"),
        QStringLiteral("Download"), cmdDownload, overwrite);
    rt::onClick(chkOverwrite, this, [this] { chkOverwrite_Click(); });
    rt::onClick(cmdBrowse, this, [this] { cmdBrowse_Click(); });
    rt::onClick(cmdDownload, this, [this] { cmdDownload_Click(); });
    return window;
}

void frmDownload::Form_Load()
{
    rt::Proc h(kModule, "Form_Load");
    SessionPtr session;
    h([&] { session = Xfer::ActiveSession(); });
    if (!session)
        return;
    h([&] {
        if (takeDefaults(session)) {
            m_mode = session->DefaultXferMode();
            m_overwrite = session->DefaultXferOverwrite();
        }
    });
    h([&] { rewriteDirectory(); });
    h([&] { LoadControls(); });
    h([&] { optProtocol.at(m_protocol)->setChecked(true); });
}

void frmDownload::optProtocol_Click(rt::Int index)
{
    rt::Proc h(kModule, "optProtocol_Click");
    const ProtocolRule &rule = protocolRules[index];
    h([&] {
        frmMode->setVisible(rule.modeVisible);
        for (QWidget *widget : { static_cast<QWidget *>(frmMode), static_cast<QWidget *>(optText),
                 static_cast<QWidget *>(optBinary) })
            apply(rule.modeEnabled, widget);
    });
    h([&] {
        switch (rule.mode) {
        case ModeChoice::Text:
            optText->setChecked(true);
            break;
        case ModeChoice::Binary:
            optBinary->setChecked(true);
            break;
        case ModeChoice::Kept:
            (m_mode != 0 ? optBinary : optText)->setChecked(true);
            break;
        case ModeChoice::Keep:
            break;
        }
    });
    h([&] {
        frmOverwrite->setVisible(rule.overwriteVisible);
        apply(rule.frameEnabled, frmOverwrite);
        apply(rule.boxEnabled, chkOverwrite);
        if (rule.box == BoxChoice::Checked)
            rt::setCheckValue(chkOverwrite, 1);
        else if (rule.box == BoxChoice::Kept)
            rt::setCheckValue(chkOverwrite, m_overwrite != 0 ? 1 : 0);
    });
    h([&] { m_protocol = index; });
}

void frmDownload::chkOverwrite_Click()
{
    m_overwrite = rt::checkValue(chkOverwrite);
}

void frmDownload::LoadControls()
{
    rt::Proc h(kModule, "LoadControls");
    h([&] { DirName->setText(m_directory); });
    h([&] {
        FileName->setText(protocolRules[m_protocol].namesFile ? Strfunc::UnParseFiles(m_fileList)
                                                              : QString());
    });
}

void frmDownload::FileName_LostFocus()
{
    rt::Proc h(kModule, "FileName_LostFocus");
    QString list;
    h([&] { list = Strfunc::ParseFiles(FileName->text()); });
    h([&] { SplitFile(list); });
    h([&] { LoadControls(); });
}

void frmDownload::cmdBrowse_Click()
{
    rt::ResumeNext quiet;
    quiet([&] {
        QString chosen = protocolRules[m_protocol].namesFile
            ? Xfer::AskFile(commondlg::Kind::SaveFile, QStringLiteral("Select Destination File"),
                  m_directory, m_fileList, widget())
            : modBrowseForFolder::BrowseForFolder(
                  QStringLiteral("Select Destination Folder"), m_directory, widget());
        SplitFile(chosen);
        LoadControls();
    });
    rt::debugSwallowed(lcDialogs(), quiet, "download browse");
}

QString frmDownload::refusal() const
{
    if (!protocolRules[m_protocol].namesFile)
        return QString();
    if (m_fileList.isEmpty())
        return kNoFileName;
    QString path = m_fileList;
    QString drive, dir, name;
    if (m_overwrite == 0
        && FileSpec::ParseDirectory(path, drive, dir, name, m_directory) == FileSpec::PathFile)
        return kFileExists;
    return QString();
}

void frmDownload::cmdDownload_Click()
{
    rt::ResumeNext quiet;
    quiet([&] {
        takeEditedFileName();
        const QString message = refusal();
        if (!message.isEmpty()) {
            Nvmain::MessageBox(message, MsgBox::OKOnly | MsgBox::Exclamation, widget());
            return;
        }
        handOff(Xfer::Download, optBinary->isChecked() ? 1 : 0);
        unload();
    });
    rt::debugSwallowed(lcDialogs(), quiet, "download");
}
