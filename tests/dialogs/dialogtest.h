#pragma once
// What the tests of the capture and transfer dialogs share: the program started in-process with
// real sessions, the answers to message boxes and file dialogs given without windows (and noted),
// and the transfers a dialog hands to a session window, noted instead of started.

#include "app/tst_startup_env.h"
#include "common/testutil.h"
#include "commondlg/commondlg.h"
#include "platform/fakehost.h"
#include "platform/tst_transfers_host.h"
#include "session/hostfile.h"
#include "emulator/emulator.h"
#include "runtime/messages.h"
#include "session/mdichild.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QWidget>
#include <QtTest>

// A transfer as the session window received it.
struct HandedTransfer
{
    rt::Long wParam = 0;
    QString fileName;
    rt::Int protocol = -1;
    rt::Int mode = -1;
    rt::Int overwrite = -1;
};

class DialogTest
{
public:
    QStringList errors;
    // "flags|prompt" of each message shown; answers are taken in order (OK when none is left).
    QStringList messages;
    QList<rt::Int> answers;
    // The file dialogs asked for; answers are taken in order (cancel when none is left).
    QList<commondlg::Request> requests;
    QList<commondlg::Answer> fileAnswers;

    // The start directory (gStartDir) is the folder "start" of the test's home.
    void setUp()
    {
        m_env.setUp();
        QVERIFY(QDir::setCurrent(makeDir(u"start"_qs)));
        Files::GetIniDir();
        installTestHooks(errors);
    }
    QString startDir() const { return homeDir() + u"/start/"_qs; }
    QString homeDir() const { return m_env.homeDir(); }

    // Starts the program with every hook set.
    void start()
    {
        errors.clear();
        messages.clear();
        answers.clear();
        requests.clear();
        fileAnswers.clear();
        frmMsgBox::setAnswerHook([this](const QString &prompt, rt::Int flags) {
            messages << QString::number(flags) + u'|' + prompt;
            return answers.isEmpty() ? rt::Int(1) : answers.takeFirst();
        });
        commondlg::setHook([this](const commondlg::Request &request) {
            requests << request;
            return fileAnswers.isEmpty() ? commondlg::Answer() : fileAnswers.takeFirst();
        });
        gSessionCounter = 0;
        startProgram({});
        QVERIFY(gApp);
    }
    void end()
    {
        commondlg::setHook(nullptr);
        endProgram();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u'\n')));
    }

    // A new session (the active one), optionally from a session file.
    std::shared_ptr<clsSession> addSession(const QString &file = QString())
    {
        return std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(file));
    }
    // A session connected to a host on a loopback port.
    std::shared_ptr<clsSession> connectedSession(quint16 port)
    {
        const QString file = homeDir() + u"/host.nvcf"_qs;
        writeBytes(file, hostSessionFile(port));
        const auto session = addSession(file);
        if (!QTest::qWaitFor([&] { return session->Emulator()->Connected() != 0; }, 5000))
            qWarning("the session did not connect");
        return session;
    }

    // Notes each transfer the session's window is handed, instead of starting it.
    void noteTransfers(const clsSession &session)
    {
        frmMdiChild *window = session.frmSession();
        rt::attachMessage(window, WM_STARTTRANSFER, [this, window](rt::Long, rt::Long wParam,
                                                        rt::Long) {
            transfers << HandedTransfer { wParam, window->xfrFileName, window->xfrProtocol,
                window->xfrMode, window->xfrOverwrite };
            return rt::Long(0);
        });
    }
    QList<HandedTransfer> transfers;

    // Shows a dialog and waits until it is the active window.
    static void open(rt::Form &form)
    {
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(form.widget()));
    }

    // Clicks an option button or a check box on its mark (a wide one's middle is no hit).
    static void clickMark(QAbstractButton *button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
    }

    // Types text into a box as a user does and leaves it with Tab.
    static void typeAndLeave(QLineEdit *box, const QString &text)
    {
        box->window()->activateWindow();
        box->setFocus(Qt::MouseFocusReason);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Tab);
    }

    // Skips the test when one of the host's transfer programs is missing.
    static bool haveTransferPrograms(std::initializer_list<const char *> programs)
    {
        for (const char *program : programs) {
            if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty())
                return false;
        }
        return true;
    }

    // Bytes of every value, for a binary file.
    static QByteArray binaryData(int size)
    {
        QByteArray data(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            data[i] = char((i * 7 + i / 251) & 0xff);
        return data;
    }
    // Ends a transfer that hangs, so that the test fails instead of waiting for ever.
    static void guardTransfer(QTimer &guard, emu::nvEmulator *emulator)
    {
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, emulator, &emu::nvEmulator::Abort);
        guard.start(60000);
    }

    // A directory or file under the test's home folder, made when asked.
    QString makeDir(const QString &name) const
    {
        const QString path = homeDir() + u'/' + name;
        QDir().mkpath(path);
        return path + u'/';
    }
    QString makeFile(const QString &name, const QByteArray &contents = "x") const
    {
        const QString path = homeDir() + u'/' + name;
        writeBytes(path, contents);
        return path;
    }

private:
    StartupEnvironment m_env;
};

// The frame of the upload and download tests: a session whose transfer directory is $X and whose
// transfers are noted, and a dialog of the test's own (so that each test sees a first load).
template<class Dialog> class TransferDialogTest
{
protected:
    DialogTest t;
    std::shared_ptr<clsSession> m_session;
    std::unique_ptr<Dialog> m_form;
    QString m_xferDir;

    void startWithDialog()
    {
        t.start();
        m_session = t.addSession();
        m_xferDir = t.makeDir(u"xfer"_qs);
        m_session->setDefaultXferDir(m_xferDir);
        t.noteTransfers(*m_session);
        m_form = std::make_unique<Dialog>();
    }
    void endWithDialog()
    {
        m_form->unload();
        m_form.reset();
        m_session.reset();
        t.transfers.clear();
        t.end();
    }
    // $X the session's transfer directory, $H the test's home, "|" a NUL.
    QString expand(QString text) const
    {
        return text.replace(u"$X"_qs, m_xferDir)
            .replace(u"$H"_qs, t.homeDir())
            .replace(u'|', QChar(0));
    }
    void open() { DialogTest::open(*m_form); }
    // The one transfer the session window was handed: its wParam, file name and protocol, and
    // the mode and overwrite choice of the test's columns "mode" and "overwrite".
    void checkHandedTransfer(rt::Long wParam, const QString &fileName, int protocol)
    {
        QTRY_COMPARE(t.transfers.size(), 1);
        const HandedTransfer &handed = t.transfers.first();
        QCOMPARE(handed.wParam, wParam);
        QCOMPARE(handed.fileName, expand(fileName));
        QCOMPARE(handed.protocol, rt::Int(protocol));
        QTEST(int(handed.mode), "mode");
        QTEST(int(handed.overwrite), "overwrite");
    }
    void clickProtocol(int protocol)
    {
        DialogTest::clickMark(m_form->optProtocol.at(protocol));
        QVERIFY(m_form->optProtocol.at(protocol)->isChecked() || !t.messages.isEmpty());
    }
};
