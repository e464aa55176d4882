// The upload dialog in the running program, driven through its widgets: the protocol rules and
// the overwrite options, the question about several files, typed and chosen lists (never cut),
// the hand-off to the session window, the choices kept for the run and the session's defaults,
// and a YModem upload of two files to a host running rb, started by the hand-off.

#include "dialogs/dialogtest.h"
#include "commondlg/helpwindow.h"
#include "dialogs/upload.h"
#include "menus/menus.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

namespace {

const QString kMultipleFiles = u"36|That protocol does not accept multiple file names.  Do you "
                               "want to discard the extra files?"_qs;

} // namespace

class tst_upload : public QObject, public TransferDialogTest<frmUpload>
{
    Q_OBJECT

    // Clicks options in turn: T text, B binary, 0-5 an overwrite option.
    void clickOptions(const QString &clicks)
    {
        for (QChar click : clicks) {
            if (click == u'T')
                DialogTest::clickMark(m_form->optText);
            else if (click == u'B')
                DialogTest::clickMark(m_form->optBinary);
            else
                DialogTest::clickMark(m_form->optOverwrite.at(click.digitValue()));
        }
    }
    // The overwrite options that can be chosen ("-" for a disabled one), and the chosen one.
    QString overwriteOptions() const
    {
        QString text;
        for (const QRadioButton *option : m_form->optOverwrite)
            text += option->isEnabled() ? (option->isChecked() ? u'*' : u'o') : u'-';
        return text;
    }

private slots:
    void initTestCase() { t.setUp(); }

    void init()
    {
        startWithDialog();
        m_session->setDefaultXferMode(1);
        for (const char *name : { "a.txt", "b.txt", "c.txt" })
            t.makeFile(u"xfer/"_qs + QLatin1String(name));
    }
    void cleanup()
    {
        endWithDialog();
    }

    // The mode frame shows for Kermit and ZModem, the overwrite frame for ZModem only, where
    // Resume needs binary; any other protocol sets the choice back to Never.
    void protocolRules_data()
    {
        QTest::addColumn<QList<int>>("protocols");
        QTest::addColumn<QString>("clicks"); // T text, B binary, 0-5 an overwrite option
        QTest::addColumn<bool>("modeShown");
        QTest::addColumn<bool>("overwriteShown");
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("overwrite");
        QTest::newRow("ASCII") << QList<int> { 0 } << "" << false << false << "*ooooo" << 0;
        QTest::newRow("Kermit") << QList<int> { 1 } << "" << true << false << "*ooooo" << 0;
        QTest::newRow("XModem") << QList<int> { 2 } << "" << false << false << "*ooooo" << 0;
        QTest::newRow("YModem") << QList<int> { 3 } << "" << false << false << "*ooooo" << 0;
        QTest::newRow("ZModem, text") << QList<int> { 4 } << "" << true << true << "*oooo-" << 0;
        QTest::newRow("ZModem, binary: Resume offered")
            << QList<int> { 4 } << "B5" << true << true << "ooooo*" << 5;
        QTest::newRow("ZModem, Resume, then text: still chosen")
            << QList<int> { 4 } << "B5T" << true << true << "ooooo-" << 5;
        QTest::newRow("ZModem, Newer, then Kermit: back to Never")
            << QList<int> { 4, 1 } << "3" << true << false << "*oooo-" << 0;
    }
    void protocolRules()
    {
        QFETCH(QList<int>, protocols);
        QFETCH(QString, clicks);
        m_session->setDefaultXferMode(1); // the upload starts in text
        open();
        clickProtocol(protocols.first());
        clickOptions(clicks);
        for (int protocol : protocols.mid(1))
            clickProtocol(protocol);
        QTEST(!m_form->frmMode->isHidden(), "modeShown");
        QTEST(!m_form->frmOverwrite->isHidden(), "overwriteShown");
        QTEST(overwriteOptions(), "options");
        QTEST(int(m_form->overwrite()), "overwrite");
    }

    // ASCII and XModem send one file: with several chosen they ask; Yes keeps the first file,
    // No goes back to the protocol before with every file.
    void severalFiles_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<QString>("box");
        QTest::newRow("XModem, Yes") << 2 << int(MsgBox::Yes) << 2 << "a.txt";
        QTest::newRow("XModem, No") << 2 << int(MsgBox::No) << 1 << "a.txt b.txt c.txt";
        QTest::newRow("ASCII, Yes") << 0 << int(MsgBox::Yes) << 0 << "a.txt";
        QTest::newRow("ZModem: no question") << 4 << 0 << 4 << "a.txt b.txt c.txt";
    }
    void severalFiles()
    {
        QFETCH(int, protocol);
        QFETCH(int, answer);
        QFETCH(int, chosen);
        open();
        clickProtocol(1);
        DialogTest::typeAndLeave(m_form->FileName, u"a.txt b.txt c.txt"_qs);
        if (answer)
            t.answers << rt::Int(answer);
        clickProtocol(protocol);
        QCOMPARE(t.messages, answer ? QStringList { kMultipleFiles } : QStringList());
        QVERIFY(m_form->optProtocol.at(chosen)->isChecked());
        QCOMPARE(m_form->protocol(), rt::Int(chosen));
        QTEST(m_form->FileName->text(), "box");
        QCOMPARE(m_form->frmMode->isHidden(), chosen != 1 && chosen != 4);
    }

    // A typed list of several names keeps the directory; one name with a directory part moves
    // that directory into the directory box.
    void typedList_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("list");
        QTest::newRow("one name") << "a.txt" << "$X" << "a.txt";
        QTest::newRow("one name elsewhere") << "$H/other/d.txt" << "$H/other/" << "d.txt";
        QTest::newRow("several names") << "a.txt \"my b.txt\" $H/other/d.txt" << "$X"
                                       << "a.txt|my b.txt|$H/other/d.txt";
        QTest::newRow("nothing") << "" << "$X" << "";
        QTest::newRow("a name ~ is a name here") << "$H/other/~" << "$H/other/" << "~";
    }
    void typedList()
    {
        QFETCH(QString, typed);
        QFETCH(QString, directory);
        QFETCH(QString, list);
        t.makeDir(u"other"_qs);
        open();
        clickProtocol(4);
        DialogTest::typeAndLeave(m_form->FileName, u"x.txt"_qs);
        DialogTest::typeAndLeave(m_form->FileName, expand(typed));
        QCOMPARE(m_form->DirName->text(), expand(directory));
        QCOMPARE(m_form->fileList(), expand(list));
    }

    // Browse: one file for ASCII and XModem, several for the others; a list of several files is
    // taken whole, however long.
    void browse_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("multiSelect");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("list");
        QTest::newRow("ASCII: one file") << 0 << "$H/other/d.txt" << "Select File to Upload"
                                         << false << "$H/other/" << "d.txt";
        QTest::newRow("YModem: several files") << 3 << "$H/other|d.txt|e.txt"
                                               << "Select Files to Upload" << true << "$H/other/"
                                               << "d.txt|e.txt";
        QString many;
        for (int i = 0; i < 800; ++i)
            many += u"|file-number-%1.dat"_qs.arg(i, 4, 10, QChar(u'0'));
        QTest::newRow("ZModem: a list longer than 9999 characters")
            << 4 << "$H/other" + many << "Select Files to Upload" << true << "$H/other/"
            << many.mid(1);
        QTest::newRow("Kermit: cancelled") << 1 << "" << "Select Files to Upload" << true << "$X"
                                           << "";
    }
    void browse()
    {
        QFETCH(int, protocol);
        QFETCH(QString, answer);
        QFETCH(QString, directory);
        QFETCH(QString, list);
        t.makeDir(u"other"_qs);
        if (!answer.isEmpty())
            t.fileAnswers << expand(answer);
        open();
        clickProtocol(protocol);
        QTest::mouseClick(m_form->cmdBrowse, Qt::LeftButton);
        QCOMPARE(t.requests.size(), 1);
        QCOMPARE(int(t.requests.first().kind), int(commondlg::Kind::OpenFile));
        QTEST(t.requests.first().title, "title");
        QTEST(t.requests.first().multiSelect, "multiSelect");
        QCOMPARE(m_form->DirName->text(), expand(directory));
        QCOMPARE(m_form->fileList(), expand(list));
        QVERIFY(list.size() < 9999 || m_form->FileName->text().size() > 9999);
    }

    // Upload hands the directory, the names, protocol, mode and overwrite choice to the session
    // window (message 1830, wParam 1) and closes.
    void handOff_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("overwrite");
        QTest::newRow("ASCII") << 0 << "a.txt" << "" << "$X|a.txt" << 0 << 0;
        QTest::newRow("Kermit, two files, binary") << 1 << "a.txt b.txt" << "B" << "$X|a.txt|b.txt"
                                                   << 1 << 0;
        QTest::newRow("YModem, two files") << 3 << "a.txt c.txt" << "" << "$X|a.txt|c.txt" << 0
                                           << 0;
        QTest::newRow("ZModem, Resume, then text")
            << 4 << "c.txt" << "B5T" << "$X|c.txt" << 0 << 5;
        QTest::newRow("ZModem, Always") << 4 << "a.txt" << "1" << "$X|a.txt" << 0 << 1;
        QTest::newRow("XModem, nothing chosen") << 2 << "" << "" << "$X|" << 0 << 0;
    }
    void handOff()
    {
        QFETCH(int, protocol);
        QFETCH(QString, typed);
        QFETCH(QString, clicks);
        QFETCH(QString, fileName);
        open();
        clickProtocol(protocol);
        clickOptions(clicks);
        // Typed, not left: Upload takes the edited box itself.
        m_form->FileName->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(m_form->FileName, typed);
        QTest::keyClick(m_form->FileName, Qt::Key_Return);
        QVERIFY(!m_form->isLoaded());
        checkHandedTransfer(rt::Long(1), fileName, protocol);
    }

    // F1 presses Help: the guide opens over the dialog, which stays.
    void helpKey()
    {
        open();
        QTest::keyClick(m_form->FileName, Qt::Key_F1);
        QTRY_VERIFY(commondlg::HelpWindow::current());
        QVERIFY(m_form->isLoaded());
        commondlg::showHelp(nullptr, QString(), commondlg::HelpCommand::Quit);
        QTRY_VERIFY(!commondlg::HelpWindow::current());
    }

    // A named file that is not there: the box names it, the dialog stays and nothing is sent.
    void missingFile_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("missing");
        QTest::newRow("ASCII") << 0 << "gone.txt" << "gone.txt";
        QTest::newRow("YModem, the second of two") << 3 << "a.txt gone.txt" << "gone.txt";
        QTest::newRow("ZModem, a directory") << 4 << "a.txt sub" << "sub";
    }
    void missingFile()
    {
        QFETCH(int, protocol);
        QFETCH(QString, typed);
        QFETCH(QString, missing);
        QVERIFY(QDir().mkpath(expand(u"$X/sub"_qs)));
        open();
        clickProtocol(protocol);
        m_form->FileName->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(m_form->FileName, typed);
        QTest::keyClick(m_form->FileName, Qt::Key_Return);
        QCOMPARE(t.messages,
            QStringList { u"48|There is no file \""_qs + expand(u"$X"_qs) + missing + u"\" to upload."_qs });
        QVERIFY(m_form->isLoaded());
        QVERIFY(t.transfers.isEmpty());
    }

    // The first opening of a run turns the session's DefaultXferMode round (0 gives binary);
    // later openings keep the choices, several files and the overwrite choice included.
    void defaultsAndKeptChoices_data()
    {
        QTest::addColumn<int>("defaultMode");
        QTest::addColumn<bool>("binary");
        QTest::newRow("DefaultXferMode 0: binary") << 0 << true;
        QTest::newRow("DefaultXferMode 1: text") << 1 << false;
    }
    void defaultsAndKeptChoices()
    {
        QFETCH(int, defaultMode);
        QFETCH(bool, binary);
        m_session->setDefaultXferMode(rt::Int(defaultMode));
        open();
        QCOMPARE(m_form->optBinary->isChecked(), binary);
        QCOMPARE(m_form->mode(), rt::Int(binary ? 1 : 0));
        QCOMPARE(m_form->DirName->text(), m_xferDir);
        clickProtocol(4);
        DialogTest::clickMark(m_form->optOverwrite[3]);
        DialogTest::typeAndLeave(m_form->FileName, u"a.txt b.txt"_qs);
        QTest::mouseClick(m_form->cmdCancel, Qt::LeftButton);
        m_session->setDefaultXferMode(rt::Int(1 - defaultMode));
        m_session->setDefaultXferDir(t.makeDir(u"elsewhere"_qs));
        open();
        QCOMPARE(m_form->optBinary->isChecked(), binary);
        QVERIFY(m_form->optProtocol[4]->isChecked());
        QVERIFY(m_form->optOverwrite[3]->isChecked());
        QCOMPARE(m_form->FileName->text(), u"a.txt b.txt"_qs);
        QCOMPARE(m_form->DirName->text(), m_xferDir);
        QCOMPARE(m_form->optOverwrite[frmUpload::Resume]->isEnabled(), binary);
    }

    // The dialog's upload runs: two files by YModem to a host running rb.
    void sendsTwoFilesByYModem()
    {
        if (!DialogTest::haveTransferPrograms({ "rb" }))
            QSKIP("rb (lrzsz) is not installed; scripts/setup installs it");
        const QString remote = t.makeDir(u"remote"_qs);
        TransferHost host(remote);
        host.setCommand(u"rb"_qs, { u"-q"_qs, u"-b"_qs });
        const auto session = t.connectedSession(host.port());
        session->setDefaultXferDir(m_xferDir);
        session->setDefaultXferMode(0); // the upload starts in binary
        const QByteArray one = DialogTest::binaryData(70001);
        const QByteArray two = "the second file\r\n";
        t.makeFile(u"xfer/one.bin"_qs, one);
        t.makeFile(u"xfer/two.txt"_qs, two);
        open();
        clickProtocol(3);
        DialogTest::typeAndLeave(m_form->FileName, u"one.bin two.txt"_qs);
        QTimer guard;
        DialogTest::guardTransfer(guard, session->Emulator());
        QTest::mouseClick(m_form->cmdUpload, Qt::LeftButton);
        QVERIFY(host.programEnded());
        QCOMPARE(host.exitCode(), 0);
        QVERIFY(readBytes(remote + u"one.bin"_qs) == one);
        QCOMPARE(readBytes(remote + u"two.txt"_qs), two);
    }

    // tests/screenshot.sh dialogs_tst_upload screenshots out.png: ZModem with two files in
    // out.png, ASCII in out-ascii.png.
    void screenshots()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("NORVALIS_SCREENSHOT names no file");
        open();
        clickProtocol(4);
        DialogTest::clickMark(m_form->optBinary);
        DialogTest::clickMark(m_form->optOverwrite[3]);
        DialogTest::typeAndLeave(m_form->FileName, u"a.txt \"my b.txt\""_qs);
        QVERIFY(m_form->widget()->grab().save(out));
        t.answers << MsgBox::Yes;
        clickProtocol(0);
        QVERIFY(m_form->widget()->grab().save(out.chopped(4) + u"-ascii.png"_qs));
    }

};

QTEST_MAIN(tst_upload)
#include "tst_upload.moc"
