// The capture dialogs in the running program, driven through their widgets: what Start Capture
// asks the session's control for in each mode, the refusals that keep the dialog open, the
// clipboard mode, the choices kept for the run and their first defaults, Browse, the end-capture
// dialog, the command that opens one or the other modally, and a capture of what a loopback host
// sends until End Capture.

#include "dialogs/capstart.h"
#include "dialogs/dialogtest.h"
#include "dialogs/xferstop.h"
#include "menus/menus.h"
#include "runtime/interaction.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {

const QString kFileExists = u"0|The selected file already exists. Choose a different file\r\n"
                            "or select Overwrite or Append to update this file."_qs;
const QString kCannotUpdate
    = u"0|The selected file cannot be updated. Please choose a different file."_qs;

} // namespace

class tst_capstart : public QObject
{
    Q_OBJECT

    DialogTest t;
    std::shared_ptr<clsSession> m_session;
    std::unique_ptr<frmCapStart> m_form;

    // $S the start directory, $C the session's capture directory, $H the test's home.
    QString expand(QString text) const
    {
        return text.replace(u"$S"_qs, t.startDir())
            .replace(u"$C"_qs, t.homeDir() + u"/captures/"_qs)
            .replace(u"$H"_qs, t.homeDir());
    }
    emu::nvEmulator &emulator() const { return *m_session->Emulator(); }
    void open() { DialogTest::open(*m_form); }
    void startCapture(int source, int mode, const QString &typed)
    {
        DialogTest::clickMark(m_form->optSource.at(source));
        DialogTest::clickMark(m_form->optMode.at(mode));
        if (m_form->FileName->isEnabled())
            DialogTest::typeAndLeave(m_form->FileName, typed);
        QTest::mouseClick(m_form->cmdStartCapture, Qt::LeftButton);
    }

private slots:
    void initTestCase() { t.setUp(); }

    void init()
    {
        t.start();
        m_session = t.addSession();
        m_session->setDefaultCaptureDir(t.makeDir(u"captures"_qs));
        m_form = std::make_unique<frmCapStart>();
        t.makeFile(u"start/exists.log"_qs);
        t.makeFile(u"captures/exists.log"_qs);
    }
    void cleanup()
    {
        m_form->unload();
        m_form.reset();
        if (emulator().CaptureSource() != 0)
            emulator().CaptureEnd();
        m_session.reset();
        t.end();
    }

    // Start Capture calls the control with the full path in every file mode (a bare name lies
    // in the start directory, never in the capture directory), an empty name for the clipboard,
    // and the source; "New file only" refuses an existing file and a refused capture is told.
    void startCapture_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("file"); // what the control captures into ("" none)
        QTest::newRow("new file, a bare name") << 0 << 0 << "new.log" << "" << "$S/new.log";
        QTest::newRow("new file, a full path") << 0 << 0 << "$H/full.log" << "" << "$H/full.log";
        QTest::newRow("new file, an existing file") << 0 << 0 << "exists.log" << kFileExists << "";
        QTest::newRow("overwrite, a bare name") << 0 << 1 << "exists.log" << "" << "$S/exists.log";
        QTest::newRow("append, a bare name") << 0 << 2 << "exists.log" << "" << "$S/exists.log";
        QTest::newRow("append, a new name") << 0 << 2 << "more.log" << "" << "$S/more.log";
        QTest::newRow("printer data") << 1 << 0 << "printer.log" << "" << "$S/printer.log";
        QTest::newRow("clipboard") << 0 << 3 << "" << "" << "";
        QTest::newRow("refused: no such directory")
            << 0 << 1 << "$H/none/x.log" << kCannotUpdate << "";
        QTest::newRow("refused: a directory") << 0 << 0 << "$H/captures" << kCannotUpdate << "";
    }
    void startCapture()
    {
        QFETCH(int, source);
        QFETCH(int, mode);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, file);
        open();
        startCapture(source, mode, expand(typed));
        QCOMPARE(t.messages, message.isEmpty() ? QStringList() : QStringList { message });
        QCOMPARE(m_form->isLoaded(), !message.isEmpty());
        if (!message.isEmpty()) {
            QCOMPARE(emulator().CaptureSource(), rt::Int(0));
            QCOMPARE(m_form->FileName->text(), expand(typed));
            QVERIFY(m_form->optMode.at(mode)->isChecked());
            return;
        }
        QCOMPARE(emulator().CaptureSource(), rt::Int(source + 1));
        QCOMPARE(emulator().CaptureMode(), rt::Int(mode));
        if (mode == 3)
            return;
        QCOMPARE(QDir::cleanPath(emulator().CaptureFileName()), QDir::cleanPath(expand(file)));
        // Never in the capture directory, whatever the mode.
        const QString name = QFileInfo(file).fileName();
        QVERIFY(!QFile::exists(expand(u"$C"_qs) + name) || name == u"exists.log"_qs);
    }

    // The clipboard mode disables the file name, its label and Browse; any other mode brings
    // them back.
    void clipboardMode()
    {
        open();
        auto enabled = [this] {
            return m_form->FileName->isEnabled() && m_form->cmdBrowse->isEnabled()
                && m_form->lblFile->isEnabled();
        };
        QVERIFY(enabled());
        DialogTest::clickMark(m_form->optMode[3]);
        QVERIFY(!m_form->FileName->isEnabled());
        QVERIFY(!m_form->cmdBrowse->isEnabled());
        QVERIFY(!m_form->lblFile->isEnabled());
        DialogTest::clickMark(m_form->optMode[2]);
        QVERIFY(enabled());
        QCOMPARE(m_form->modeIndex(), rt::Int(2));
    }

    // While the control is busy (a transfer runs) Start Capture does nothing.
    void busyControl()
    {
        FakeHost host;
        m_session = t.connectedSession(host.port());
        open();
        emulator().Download(t.homeDir() + u"/busy.txt"_qs, 0, 0, 1, 0);
        QVERIFY(emulator().Busy() != 0);
        startCapture(0, 0, u"busy.log"_qs);
        QVERIFY(m_form->isLoaded());
        QCOMPARE(emulator().CaptureSource(), rt::Int(0));
        QVERIFY(t.messages.isEmpty());
        emulator().Abort();
    }

    // The first load takes the session's capture directory, else the program's, else the start
    // directory; later loads, for any session, offer the last path, source and mode.
    void defaultsAndKeptChoices_data()
    {
        QTest::addColumn<QString>("sessionDir");
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<QString>("path");
        QTest::newRow("the session's") << "$H/s" << "$H/p" << "$H/s/";
        QTest::newRow("the program's") << "" << "$H/p" << "$H/p/";
        QTest::newRow("the start directory") << "" << "" << "$S";
    }
    void defaultsAndKeptChoices()
    {
        QFETCH(QString, sessionDir);
        QFETCH(QString, programDir);
        QFETCH(QString, path);
        t.makeDir(u"s"_qs);
        t.makeDir(u"p"_qs);
        gApp->setDefaultCaptureDir(expand(programDir));
        m_session->setDefaultCaptureDir(expand(sessionDir));
        open();
        QCOMPARE(m_form->FileName->text(), expand(path));
        QCOMPARE(m_form->FileName->cursorPosition(), int(m_form->FileName->text().size()));
        QVERIFY(m_form->optSource[0]->isChecked());
        QVERIFY(m_form->optMode[0]->isChecked());
        DialogTest::clickMark(m_form->optSource[1]);
        DialogTest::clickMark(m_form->optMode[3]);
        QTest::mouseClick(m_form->cmdCancel, Qt::LeftButton);
        QVERIFY(!m_form->isLoaded());
        const auto other = t.addSession();
        other->setDefaultCaptureDir(t.makeDir(u"elsewhere"_qs));
        open();
        QCOMPARE(m_form->FileName->text(), expand(path));
        QVERIFY(m_form->optSource[1]->isChecked());
        QVERIFY(m_form->optMode[3]->isChecked());
        QVERIFY(!m_form->FileName->isEnabled());
    }

    // Browse offers the path's directory and name in a save dialog and takes the answer; with
    // an empty path, or cancelled, it does nothing.
    void browse_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QString>("result");
        QTest::newRow("chosen") << "$C/old.log" << "$H/chosen.log" << 1 << "$H/chosen.log";
        QTest::newRow("cancelled") << "$C/old.log" << "" << 1 << "$C/old.log";
        QTest::newRow("empty path") << "" << "$H/chosen.log" << 0 << "";
    }
    void browse()
    {
        QFETCH(QString, path);
        QFETCH(QString, answer);
        QFETCH(int, asked);
        if (!answer.isEmpty())
            t.fileAnswers << expand(answer);
        open();
        DialogTest::typeAndLeave(m_form->FileName, expand(path));
        QTest::mouseClick(m_form->cmdBrowse, Qt::LeftButton);
        QCOMPARE(t.requests.size(), asked);
        if (asked) {
            const commondlg::Request &request = t.requests.first();
            QCOMPARE(request.kind, commondlg::Kind::SaveFile);
            QCOMPARE(request.title, u"File Capture"_qs);
            QCOMPARE(QDir(request.directory), QDir(expand(u"$C"_qs)));
            QCOMPARE(request.fileName, u"old.log"_qs);
        }
        QFETCH(QString, result);
        QCOMPARE(m_form->FileName->text(), expand(result));
        QCOMPARE(m_form->capturePath(), expand(result));
    }

    // The end-capture dialog names what is captured and where to; End Capture ends it,
    // Continue leaves it running; with nothing captured it does not load.
    void endCapture_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("where");
        QTest::newRow("received data to a file, ended")
            << 1 << 0 << "end" << "Received Data" << "$C/end.log";
        QTest::newRow("printer data to the clipboard, continued")
            << 2 << 3 << "continue" << "Printer Data" << "To Clipboard";
    }
    void endCapture()
    {
        QFETCH(int, source);
        QFETCH(int, mode);
        QFETCH(QString, button);
        QFETCH(QString, where);
        emulator().Capture(mode == 3 ? QString() : expand(u"$C/end.log"_qs), rt::Int(source),
            rt::Int(mode));
        frmXferStop form;
        form.show();
        QTEST(form.lblCaptureMode->text(), "what");
        QCOMPARE(form.lblCaptureFile->text(), expand(where));
        QTest::mouseClick(button == u"end" ? form.cmdStartCapture : form.cmdCancel, Qt::LeftButton);
        QVERIFY(!form.isLoaded());
        QCOMPARE(emulator().CaptureSource(), button == u"end" ? rt::Int(0) : rt::Int(source));
    }
    void endCaptureWithNothingCaptured()
    {
        frmXferStop form;
        form.load();
        QVERIFY(!form.isLoaded());
        form.show();
        QVERIFY(!form.isLoaded());
    }

    // Command 603 (and Alt+C) shows the capture dialog modally, or the end-capture dialog
    // while a capture runs.
    void commandShowsModally_data()
    {
        QTest::addColumn<bool>("capturing");
        QTest::addColumn<bool>("altC");
        QTest::addColumn<QString>("caption");
        QTest::newRow("command 603") << false << false << "Begin Capture";
        QTest::newRow("command 603 while capturing") << true << false << "End Capture";
        QTest::newRow("Alt+C") << false << true << "Begin Capture";
    }
    void commandShowsModally()
    {
        QFETCH(bool, capturing);
        QFETCH(bool, altC);
        if (capturing)
            emulator().Capture(QString(), 1, 3);
        rt::setDialogsWaitOffscreen(true);
        QString shown;
        int dialogs = 0; // each dialog that showed
        QWidget *current = nullptr;
        bool escaped = false;
        QElapsedTimer since; // since the dialog showed
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            if (modal != current) {
                current = modal;
                ++dialogs;
                shown = modal->windowTitle();
                escaped = false;
                since.start();
            }
            if (since.elapsed() > 5000) {
                // Esc reaches an active window only, and a busy machine may not have activated
                // it or delivered the key yet: close it as its user would, so the test goes on.
                qWarning("the dialog did not close on Esc within 5 s: cancelled");
                rt::cancelModalWindows();
            } else if (!modal->isActiveWindow()) {
                modal->activateWindow();
            } else if (!escaped) {
                escaped = true;
                QTest::keyClick(modal, Qt::Key_Escape);
            }
        });
        poll.start();
        if (altC) {
            m_session->Emulator()->setFocus();
            QTest::keyClick(m_session->Emulator(), Qt::Key_C, Qt::AltModifier);
        } else {
            const MnuToolPtr tool
                = m_session->Menu()->MnuBands(u"Transfer"_qs)->MnuTools(u"603"_qs);
            frmMdiParent::instance().TB_ToolClick(tool->BarTool().get());
        }
        poll.stop();
        rt::setDialogsWaitOffscreen(false);
        QTEST(shown, "caption");
        QCOMPARE(dialogs, 1);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(emulator().CaptureSource(), capturing ? rt::Int(1) : rt::Int(0));
    }

    // Capture, "New file only": what the host sends lands in the file until End Capture.
    void capturesWhatTheHostSends()
    {
        FakeHost host;
        m_session = t.connectedSession(host.port());
        m_session->setDefaultCaptureDir(expand(u"$C"_qs));
        open();
        startCapture(0, 0, expand(u"$C/host.log"_qs));
        QVERIFY(!m_form->isLoaded());
        QCOMPARE(emulator().CaptureSource(), rt::Int(1));
        host.send("first line\r\nsecond line\r\n");
        QTRY_VERIFY(emulator().GetText(0, 1).startsWith(u"second line"_qs));
        frmXferStop stop;
        stop.show();
        QTest::mouseClick(stop.cmdStartCapture, Qt::LeftButton);
        QCOMPARE(emulator().CaptureSource(), rt::Int(0));
        host.send("after the end\r\n");
        QTRY_VERIFY(emulator().GetText(0, 2).startsWith(u"after the end"_qs));
        const QByteArray captured = readBytes(expand(u"$C/host.log"_qs));
        QVERIFY2(captured.contains("first line") && captured.contains("second line"),
            captured.constData());
        QVERIFY(!captured.contains("after the end"));
    }
    // tests/screenshot.sh dialogs_tst_capstart screenshots out.png: Begin Capture in out.png,
    // its clipboard mode in out-clipboard.png, End Capture in out-end.png.
    void screenshots()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("NORVALIS_SCREENSHOT names no file");
        open();
        QVERIFY(m_form->widget()->grab().save(out));
        DialogTest::clickMark(m_form->optMode[3]);
        QVERIFY(m_form->widget()->grab().save(out.chopped(4) + u"-clipboard.png"_qs));
        DialogTest::clickMark(m_form->optMode[0]);
        startCapture(0, 0, expand(u"$Csession.log"_qs));
        frmXferStop stop;
        stop.show();
        QVERIFY(QTest::qWaitForWindowExposed(stop.widget()));
        QVERIFY(stop.widget()->grab().save(out.chopped(4) + u"-end.png"_qs));
        stop.unload();
        // The refusal of an existing file, in the program's message window.
        frmMsgBox::setAnswerHook({});
        QTimer::singleShot(300, this, [&] {
            QWidget *message = QApplication::activeModalWidget();
            QVERIFY(message);
            QVERIFY(message->grab().save(out.chopped(4) + u"-exists.png"_qs));
            QTest::keyClick(message, Qt::Key_Return);
        });
        open();
        startCapture(0, 0, expand(u"$Csession.log"_qs));
        m_form->unload();
    }

};

QTEST_MAIN(tst_capstart)
#include "tst_capstart.moc"
