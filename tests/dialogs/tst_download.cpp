// The download dialog in the running program, driven through its widgets: the protocol rules,
// the hand-off to the session window, the refusals, the typed and chosen paths, the choices kept
// for the run, the session's defaults, the command that opens it, the settings and help buttons,
// and a Kermit download from a host running kermit -s, started by the hand-off.

#include "dialogs/dialogtest.h"
#include "common/modal.h"
#include "commondlg/helpwindow.h"
#include "dialogs/download.h"
#include "dialogs/settingsdlg.h"
#include "runtime/interaction.h"
#include "menus/menus.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

namespace {

const QString kNoFileName
    = u"48|You must specify a destination filename for ASCII or XMODEM download!"_qs;
const QString kFileExists = u"48|The destination filename already exists, but you have not "
                            "enabled overwriting existing files!"_qs;

// The mode and overwrite frames as the user sees them.
QString frames(const frmDownload &form)
{
    auto onOff = [](bool on, const char *yes, const char *no) {
        return QLatin1String(on ? yes : no);
    };
    return u"mode: "_qs + onOff(!form.frmMode->isHidden(), "shown", "hidden") + u", "_qs
        + onOff(form.frmMode->isEnabled() && form.optText->isEnabled(), "enabled", "disabled")
        + u", "_qs + onOff(form.optBinary->isChecked(), "Binary", "Text") + u"; overwrite: "_qs
        + onOff(!form.frmOverwrite->isHidden(), "shown", "hidden") + u", "_qs
        + onOff(form.frmOverwrite->isEnabled(), "enabled", "disabled") + u", box "_qs
        + onOff(form.chkOverwrite->isEnabledTo(form.frmOverwrite), "enabled", "disabled")
        + u", "_qs + onOff(form.chkOverwrite->isChecked(), "checked", "unchecked");
}

} // namespace

class tst_download : public QObject, public TransferDialogTest<frmDownload>
{
    Q_OBJECT

    void setDefaults(rt::Int mode, rt::Int overwrite)
    {
        m_session->setDefaultXferMode(mode);
        m_session->setDefaultXferOverwrite(overwrite);
    }
    void clickDownload()
    {
        QPointer<QPushButton> button = m_form->cmdDownload;
        QTest::mouseClick(button, Qt::LeftButton);
    }

private slots:
    void initTestCase() { t.setUp(); }

    void init()
    {
        startWithDialog();
        setDefaults(0, 0);
        t.makeFile(u"xfer/exists.txt"_qs);
        t.makeDir(u"other"_qs);
    }
    void cleanup()
    {
        endWithDialog();
    }

    // Each protocol sets up the mode and overwrite frames; a change a rule makes is kept as the
    // user's own.
    void protocolRules_data()
    {
        QTest::addColumn<int>("defaultMode");
        QTest::addColumn<int>("defaultOverwrite");
        QTest::addColumn<QList<int>>("protocols");
        QTest::addColumn<QString>("frames");
        QTest::newRow("ASCII") << 1 << 0 << QList<int> { 0 }
                               << "mode: shown, disabled, Text; overwrite: shown, enabled, box "
                                  "enabled, unchecked";
        QTest::newRow("ASCII, overwrite by default")
            << 0 << 1 << QList<int> { 0 }
            << "mode: shown, disabled, Text; overwrite: shown, enabled, box enabled, checked";
        QTest::newRow("Kermit, binary by default")
            << 1 << 0 << QList<int> { 1 }
            << "mode: shown, enabled, Binary; overwrite: shown, enabled, box disabled, checked";
        QTest::newRow("Kermit, text by default")
            << 0 << 0 << QList<int> { 1 }
            << "mode: shown, enabled, Text; overwrite: shown, enabled, box disabled, checked";
        QTest::newRow("XModem")
            << 0 << 0 << QList<int> { 2 }
            << "mode: shown, disabled, Binary; overwrite: shown, enabled, box enabled, unchecked";
        QTest::newRow("YModem")
            << 0 << 0 << QList<int> { 3 }
            << "mode: shown, disabled, Binary; overwrite: shown, disabled, box disabled, checked";
        QTest::newRow("ZModem after XModem")
            << 0 << 0 << QList<int> { 2, 4 }
            << "mode: hidden, disabled, Binary; overwrite: hidden, enabled, box enabled, unchecked";
        QTest::newRow("ZModem, then ASCII")
            << 0 << 0 << QList<int> { 2, 4, 0 }
            << "mode: shown, disabled, Text; overwrite: shown, enabled, box enabled, unchecked";
        QTest::newRow("YModem, then ASCII: YModem kept the box checked")
            << 0 << 0 << QList<int> { 3, 0 }
            << "mode: shown, disabled, Text; overwrite: shown, enabled, box enabled, checked";
        QTest::newRow("XModem, then Kermit: XModem kept binary")
            << 0 << 0 << QList<int> { 2, 1 }
            << "mode: shown, enabled, Binary; overwrite: shown, enabled, box disabled, checked";
    }
    void protocolRules()
    {
        QFETCH(int, defaultMode);
        QFETCH(int, defaultOverwrite);
        QFETCH(QList<int>, protocols);
        setDefaults(rt::Int(defaultMode), rt::Int(defaultOverwrite));
        open();
        for (int protocol : protocols)
            clickProtocol(protocol);
        QTEST(frames(*m_form), "frames");
        QCOMPARE(m_form->protocol(), rt::Int(protocols.last()));
    }

    // Download hands the choices to the session window (message 1830, wParam 2) and closes.
    void handOff_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("click"); // "binary", "text", "overwrite" or ""
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("overwrite");
        QTest::newRow("ASCII") << 0 << "out.txt" << "" << "$X|out.txt" << 0 << 0;
        QTest::newRow("ASCII over an existing file, overwrite ticked")
            << 0 << "exists.txt" << "overwrite" << "$X|exists.txt" << 0 << 1;
        QTest::newRow("ASCII, a name in another directory")
            << 0 << "$H/other/o.txt" << "" << "$H/other/|o.txt" << 0 << 0;
        QTest::newRow("XModem") << 2 << "bin.dat" << "" << "$X|bin.dat" << 1 << 0;
        QTest::newRow("Kermit binary") << 1 << "" << "binary" << "$X|" << 1 << 1;
        QTest::newRow("Kermit text") << 1 << "" << "" << "$X|" << 0 << 1;
        QTest::newRow("YModem") << 3 << "" << "" << "$X|" << 1 << 1;
        QTest::newRow("ZModem keeps the mode option of ASCII") << 4 << "" << "" << "$X|" << 0 << 0;
    }
    void handOff()
    {
        QFETCH(int, protocol);
        QFETCH(QString, typed);
        QFETCH(QString, click);
        QFETCH(QString, fileName);
        open();
        clickProtocol(protocol);
        if (!typed.isEmpty())
            DialogTest::typeAndLeave(m_form->FileName, expand(typed));
        if (click == u"binary") {
            DialogTest::clickMark(m_form->optBinary);
            QVERIFY(m_form->optBinary->isChecked());
        }
        else if (click == u"overwrite")
            DialogTest::clickMark(m_form->chkOverwrite);
        clickDownload();
        QVERIFY(!m_form->isLoaded());
        checkHandedTransfer(rt::Long(2), fileName, protocol);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(t.messages.isEmpty());
    }

    // ASCII and XModem need a file name and refuse an existing file unless overwriting is
    // chosen: the dialog stays open and nothing starts.
    void refusals_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("ASCII without a name") << 0 << "" << kNoFileName;
        QTest::newRow("XModem without a name") << 2 << "" << kNoFileName;
        QTest::newRow("ASCII onto an existing file") << 0 << "exists.txt" << kFileExists;
        QTest::newRow("XModem onto an existing file") << 2 << "exists.txt" << kFileExists;
    }
    void refusals()
    {
        QFETCH(int, protocol);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        open();
        clickProtocol(protocol);
        if (!typed.isEmpty())
            DialogTest::typeAndLeave(m_form->FileName, typed);
        clickDownload();
        QCOMPARE(t.messages, QStringList { message });
        QVERIFY(m_form->isLoaded());
        QCoreApplication::processEvents();
        QVERIFY(t.transfers.isEmpty());
    }
    // A typed path is taken apart when the user leaves the box: its directory moves into the
    // directory box, an existing directory changes only the directory.
    void typedPath_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("box");
        QTest::newRow("a bare name") << "" << "a.txt" << "$X" << "a.txt";
        QTest::newRow("a name in another directory") << "" << "$H/other/b.txt" << "$H/other/"
                                                     << "b.txt";
        QTest::newRow("an existing directory") << "keep.txt" << "$H/other" << "$H/other/"
                                               << "keep.txt";
        QTest::newRow("a missing directory") << "keep.txt" << "$H/none/c.txt" << "$X"
                                             << "keep.txt";
        QTest::newRow("a directory and /~") << "" << "$H/other/~" << "$H/other/" << "";
        QTest::newRow("a name with a blank") << "" << "\"my file.txt\"" << "$X"
                                             << "\"my file.txt\"";
        QTest::newRow("an emptied box") << "keep.txt" << "" << "$X" << "keep.txt";
    }
    void typedPath()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        open();
        if (!before.isEmpty())
            DialogTest::typeAndLeave(m_form->FileName, before);
        DialogTest::typeAndLeave(m_form->FileName, expand(typed));
        QFETCH(QString, directory);
        QCOMPARE(m_form->DirName->text(), expand(directory));
        QCOMPARE(m_form->directory(), expand(directory));
        QTEST(m_form->FileName->text(), "box");
    }

    // The choices outlive the window: the next opening offers them, whatever the session's
    // defaults are now; with Kermit the file name box starts empty.
    void keptForTheRun()
    {
        open();
        clickProtocol(2);
        DialogTest::typeAndLeave(m_form->FileName, expand(u"$H/other/x.bin"_qs));
        QTest::mouseClick(m_form->cmdCancel, Qt::LeftButton);
        QVERIFY(!m_form->isLoaded());
        m_session->setDefaultXferDir(t.makeDir(u"elsewhere"_qs));
        setDefaults(0, 1);
        open();
        QVERIFY(m_form->optProtocol[2]->isChecked());
        QCOMPARE(m_form->DirName->text(), expand(u"$H/other/"_qs));
        QCOMPARE(m_form->FileName->text(), u"x.bin"_qs);
        QVERIFY(m_form->optBinary->isChecked());
        QVERIFY(!m_form->chkOverwrite->isChecked());
        clickProtocol(1);
        QTest::mouseClick(m_form->cmdOK, Qt::LeftButton);
        open();
        QVERIFY(m_form->optProtocol[1]->isChecked());
        QCOMPARE(m_form->FileName->text(), QString());
        QCOMPARE(m_form->fileList(), u"x.bin"_qs);
    }

    // The first load takes the session's transfer directory, else the program's, else the start
    // directory, and the session's mode and overwrite choice as they are.
    void firstLoadDefaults_data()
    {
        QTest::addColumn<QString>("sessionDir");
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<int>("defaultMode");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<bool>("kermitBinary");
        QTest::newRow("the session's") << "$H/s" << "$H/p" << 1 << "$H/s/" << true;
        QTest::newRow("the program's") << "" << "$H/p" << 0 << "$H/p/" << false;
        QTest::newRow("the start directory") << "" << "" << 1 << "$S" << true;
    }
    void firstLoadDefaults()
    {
        QFETCH(QString, sessionDir);
        QFETCH(QString, programDir);
        QFETCH(int, defaultMode);
        QFETCH(QString, directory);
        t.makeDir(u"s"_qs);
        t.makeDir(u"p"_qs);
        gApp->setDefaultXferDir(expand(programDir));
        m_session->setDefaultXferDir(expand(sessionDir));
        setDefaults(rt::Int(defaultMode), 0);
        open();
        QCOMPARE(m_form->DirName->text(), expand(directory).replace(u"$S"_qs, t.startDir()));
        QCOMPARE(m_form->mode(), rt::Int(defaultMode));
        clickProtocol(1);
        QTEST(m_form->optBinary->isChecked(), "kermitBinary");
    }

    // Browse asks for a destination file (ASCII, XModem) or folder (the others); the answer is
    // taken apart as a typed path is; cancelling changes nothing.
    void browse_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("box");
        const int save = int(commondlg::Kind::SaveFile);
        const int folder = int(commondlg::Kind::Folder);
        QTest::newRow("ASCII: a file") << 0 << "$H/other/pick.txt" << save
                                       << "Select Destination File" << "$H/other/" << "pick.txt";
        QTest::newRow("XModem: cancelled") << 2 << "" << save << "Select Destination File" << "$X"
                                           << "";
        QTest::newRow("Kermit: a folder") << 1 << "$H/other" << folder
                                          << "Select Destination Folder" << "$H/other/" << "";
        QTest::newRow("ZModem: cancelled") << 4 << "" << folder << "Select Destination Folder"
                                           << "$X" << "";
    }
    void browse()
    {
        QFETCH(int, protocol);
        QFETCH(QString, answer);
        QFETCH(QString, directory);
        if (!answer.isEmpty())
            t.fileAnswers << expand(answer);
        open();
        clickProtocol(protocol);
        QTest::mouseClick(m_form->cmdBrowse, Qt::LeftButton);
        QCOMPARE(t.requests.size(), 1);
        QTEST(int(t.requests.first().kind), "kind");
        QTEST(t.requests.first().title, "title");
        QCOMPARE(QDir(t.requests.first().directory), QDir(m_xferDir));
        QCOMPARE(m_form->DirName->text(), expand(directory));
        QTEST(m_form->FileName->text(), "box");
    }

    // Command 602 of the session's menu opens the dialog, unless the session is transferring.
    void command()
    {
        FakeHost host;
        const auto session = t.connectedSession(host.port());
        const MnuToolPtr tool = session->Menu()->MnuBands(u"Transfer"_qs)->MnuTools(u"602"_qs);
        frmMdiParent::instance().TB_ToolClick(tool->BarTool().get());
        QVERIFY(frmDownload::instance().isVisible());
        frmDownload::instance().cmdOK_Click();
        QVERIFY(!frmDownload::instance().isLoaded());
        session->Emulator()->Download(t.homeDir() + u"/busy.txt"_qs, 0, 0, 1, 0);
        QCOMPARE(session->Emulator()->XferStatus(), rt::True);
        frmMdiParent::instance().TB_ToolClick(tool->BarTool().get());
        QVERIFY(!frmDownload::instance().isLoaded());
        session->Emulator()->Abort();
    }

    // The dialog's download runs: Kermit fetches a file from a host running kermit -s.
    void fetchesByKermit()
    {
        if (!DialogTest::haveTransferPrograms({ "kermit", "socat" }))
            QSKIP("kermit or socat is not installed; scripts/setup installs them");
        const QString remote = t.makeDir(u"remote"_qs);
        const QByteArray data = DialogTest::binaryData(50000);
        const QString sent = t.makeFile(u"remote/fetched.bin"_qs, data);
        TransferHost host(remote);
        host.setCommand(u"kermit"_qs, { u"-Y"_qs, u"-q"_qs, u"-i"_qs, u"-s"_qs, sent }, true);
        const auto session = t.connectedSession(host.port());
        session->setDefaultXferDir(m_xferDir);
        open();
        clickProtocol(1);
        DialogTest::clickMark(m_form->optBinary);
        QTimer guard;
        DialogTest::guardTransfer(guard, session->Emulator());
        clickDownload();
        QVERIFY(host.programEnded());
        QTRY_COMPARE(session->Emulator()->XferStatus(), rt::False);
        QVERIFY(readBytes(m_xferDir + u"fetched.bin"_qs) == data);
    }

    // Xfer Settings opens the settings dialog on its Transfer page over the session's settings;
    // what it changes is the session's, and the download dialog stays.
    void xferSettings()
    {
        open();
        QString page;
        bool ownSettings = false;
        const ModalAnswer<SettingsWindow> answer([&](SettingsWindow &window) {
            page = window.currentPageTitle();
            ownSettings = window.findChild<QWidget *>(u"session:Caption"_qs) != nullptr;
            auto *timeout = window.findChild<QLineEdit *>(u"emu:KermitTimeout"_qs);
            QVERIFY(timeout);
            timeout->setText(u"33"_qs);
            QTest::mouseClick(window.cmdOK, Qt::LeftButton);
        });
        QTest::mouseClick(m_form->cmdSetup, Qt::LeftButton);
        QCOMPARE(page, u"Transfer"_qs);
        QVERIFY(ownSettings);
        QCOMPARE(m_session->KermitTimeout(), rt::Int(33));
        QVERIFY(m_form->isVisible());
    }

    // Help shows the program's help file; the dialog stays.
    void help()
    {
        open();
        QTest::mouseClick(m_form->cmdHelp, Qt::LeftButton);
        QVERIFY(commondlg::HelpWindow::current());
        QCOMPARE(commondlg::HelpWindow::current()->helpFile(), frmMdiParent::HelpFile());
        QVERIFY(m_form->isLoaded());
        commondlg::showHelp(nullptr, QString(), commondlg::HelpCommand::Quit);
    }

    // tests/screenshot.sh dialogs_tst_download screenshots out.png: XModem with a file name in
    // out.png, ZModem in out-zmodem.png.
    void screenshots()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("NORVALIS_SCREENSHOT names no file");
        open();
        clickProtocol(2);
        DialogTest::typeAndLeave(m_form->FileName, u"report.dat"_qs);
        QVERIFY(m_form->widget()->grab().save(out));
        clickProtocol(4);
        QVERIFY(m_form->widget()->grab().save(out.chopped(4) + u"-zmodem.png"_qs));
    }

};

QTEST_MAIN(tst_download)
#include "tst_download.moc"
