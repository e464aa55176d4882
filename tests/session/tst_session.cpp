// The session object inside the running program: birth and numbering, the session file (load,
// save, the six own keys, bad files), closing with its questions, the window verbs and
// properties, the mouse table and the session menu.

#include "app/tst_startup_env.h"

#include "app/files.h"
#include "app/norvalis.h"
#include "app/profile.h"
#include "commondlg/commondlg.h"
#include "emulator/emulator.h"
#include "platform/fakehost.h"
#include "session/hostfile.h"
#include "menus/menus.h"
#include "runtime/errnum.h"
#include "session/mdichild.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QElapsedTimer>
#include <QtTest>
#include <optional>

namespace {

std::shared_ptr<clsSession> asSession(const SessionPtr &session)
{
    return std::static_pointer_cast<clsSession>(session);
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

    StartupEnvironment m_env;
    QStringList m_errors;
    QStringList m_messages; // prompts the message box showed
    QList<rt::Int> m_flags; // and their flags
    QList<rt::Int> m_answers; // answers to give, in turn (No when none is left)
    QList<commondlg::Request> m_dialogs; // file dialogs asked
    std::optional<QString> m_dialogAnswer; // nothing: cancel

    QString home(const QString &name) const { return m_env.homeDir() + u'/' + name; }
    std::shared_ptr<clsSession> add(const QString &file = QString())
    {
        return asSession(gApp->ClsSessions().Add(file));
    }
    // Waits for the clean-up timer to take closed sessions out.
    bool settled() { return QTest::qWaitFor([] { return !gCleanupPending; }, 5000); }
    static QString ownKey(const QString &file, const QString &key)
    {
        return Profile::GetIniString(u"Norvalis"_qs, key, u"<none>"_qs, file);
    }

    void installHooks()
    {
        installTestHooks(m_errors);
        frmMsgBox::setAnswerHook([this](const QString &prompt, rt::Int flags) {
            m_messages << prompt;
            m_flags << flags;
            return m_answers.isEmpty() ? rt::Int(7) : m_answers.takeFirst();
        });
        commondlg::setHook([this](const commondlg::Request &request) {
            m_dialogs << request;
            return m_dialogAnswer;
        });
    }

private slots:
    void initTestCase()
    {
        m_env.setUp();
        installHooks();
    }
    void init()
    {
        m_errors.clear();
        m_messages.clear();
        m_flags.clear();
        m_answers.clear();
        m_dialogs.clear();
        m_dialogAnswer.reset();
        gSessionCounter = 0;
        startProgram({});
        QVERIFY(gApp);
    }
    void cleanup() { endProgram(); }

    // ---- Birth and numbering ----

    void firstAddMakesAndClosesAHiddenSession()
    {
        const auto first = add();
        QCOMPARE(first->ID(), u"1"_qs);
        QCOMPARE(gApp->ClsSessions().Count(), 2);
        const SessionPtr hidden = gApp->ClsSessions().clsItem(u"2"_qs);
        QVERIFY(hidden && hidden->Closing());
        QVERIFY(settled());
        QCOMPARE(gApp->ClsSessions().Count(), 1);
        const auto second = add();
        QCOMPARE(second->ID(), u"3"_qs);
        QCOMPARE(gApp->ClsSessions().Count(), 2);
        QCOMPARE(first->frmSession()->caption(), u"New Session (1)"_qs);
        QCOMPARE(first->frmSession()->LinkTopic(), u"Session_1"_qs);
        QCOMPARE(gSystemTopic->item(u"TOPICS"_qs), u"SYSTEM\tSession_1\tSession_3"_qs);
        QVERIFY(gSessionCreated);
    }

    // The counter: past the last number whose menu can hold tools (21473) it starts again at 1
    // and skips live sessions; every number's menu works.
    void counterWrap_data()
    {
        QTest::addColumn<int>("counter");
        QTest::addColumn<QString>("expected");
        QTest::newRow("below the top") << 21471 << "21472";
        QTest::newRow("the top") << 21472 << "21473";
        QTest::newRow("past the top skips live 1 and 2") << 21473 << "3";
        QTest::newRow("16-bit end") << 32767 << "3";
    }
    void counterWrap()
    {
        QFETCH(int, counter);
        add(); // sessions 1 (shown) and 2 (hidden, closing until the tick)
        gSessionCounter = rt::Int(counter);
        const auto session = add();
        QTEST(session->ID(), "expected");
        QVERIFY(gApp->ClsSessions().clsItem(u"1"_qs));
        QCOMPARE(gApp->ClsSessions().clsItem(session->ID()), SessionPtr(session));
        QVERIFY(session->Menu()->MnuBands(u"Status Line"_qs)->Count() > 0);
    }

    // ---- The session file ----

    void titleRules_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("caption");
        QTest::newRow("own title")
            << "alpha.nvcf" << QByteArray("[Norvalis]\nTermType=9\nSessionTitle=Alpha\n")
            << "Alpha (1)";
        QTest::newRow("file name before its first dot")
            << "my.host.nvcf" << QByteArray("[Norvalis]\nTermType=9\n") << "my (1)";
        QTest::newRow("name not found: defaults") << "" << QByteArray() << "New Session (1)";
    }
    void titleRules()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, contents);
        if (!file.isEmpty())
            writeBytes(home(file), contents);
        const auto session = add(file.isEmpty() ? home(u"missing.nvcf"_qs) : home(file));
        QTEST(session->frmSession()->caption(), "caption");
        QCOMPARE(session->Changed(), rt::False);
        QCOMPARE(session->FileName(), file.isEmpty() ? QString() : home(file));
    }

    void extensionOrder()
    {
        writeBytes(home(u"both.cfg"_qs), "[Norvalis]\nTermType=9\n");
        writeBytes(home(u"both.nvcf"_qs), "[Norvalis]\nTermType=9\n");
        const auto session = add(home(u"both"_qs));
        QCOMPARE(session->FileName(), home(u"both.nvcf"_qs));
        QCOMPARE(session->frmSession()->LinkTopic(), u"both"_qs);
    }

    void ownKeysRead()
    {
        writeBytes(home(u"keys.nvcf"_qs),
            "[Norvalis]\nTermType=9\nAutoClose=True\nSessionTitle=Keys\nShowErrs=1\n");
        const auto session = add(home(u"keys.nvcf"_qs));
        QCOMPARE(session->AutoClose(), rt::True);
        QCOMPARE(session->ShowErrs(), rt::True);
        QCOMPARE(session->Caption(), u"Keys"_qs);
        QCOMPARE(session->EmulatorSettings().TermType(), rt::Int(9));
    }

    // What Save writes of the own keys: defaults remove a key, True is "True".
    void ownKeysWritten_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("autoClose");
        QTest::addColumn<QString>("titleKey");
        QTest::addColumn<QString>("autoCloseKey");
        QTest::addColumn<QString>("mouseTable"); // the session's; "" keeps the application's
        QTest::addColumn<QString>("mouseKey");
        QTest::newRow("defaults write no own key")
            << "" << 0 << "<none>" << "<none>" << "" << "<none>";
        QTest::newRow("title and AutoClose")
            << "Beta" << -1 << "Beta" << "True" << "" << "<none>";
        QTest::newRow("a mouse table of its own")
            << "" << 0 << "<none>" << "<none>" << "own.txt" << "own.txt";
    }
    void ownKeysWritten()
    {
        QFETCH(QString, caption);
        QFETCH(int, autoClose);
        QFETCH(QString, mouseTable);
        const QString file = home(u"written.nvcf"_qs);
        writeBytes(file,
            "; kept\n[Norvalis]\nTermType=9\nSessionTitle=Old\nAutoClose=True\n[Other]\nx=1\n");
        writeBytes(home(u"app.txt"_qs), "1\tx\t^M\t\n");
        writeBytes(home(u"own.txt"_qs), "2\ty\t^M\t\n");
        gApp->setCustomMouseTable(home(u"app.txt"_qs));
        const auto session = add(file);
        gApp->setCustomMouseTable(home(u"app.txt"_qs));
        session->setCaption(caption);
        session->setAutoClose(rt::Int(autoClose));
        if (!mouseTable.isEmpty())
            session->setCustomMouseTable(home(mouseTable));
        QCOMPARE(session->Changed(), rt::True);
        session->Save();
        QCOMPARE(session->Changed(), rt::False);
        QTEST(ownKey(file, u"SessionTitle"_qs), "titleKey");
        QTEST(ownKey(file, u"AutoClose"_qs), "autoCloseKey");
        QFETCH(QString, mouseKey);
        QCOMPARE(QFileInfo(ownKey(file, u"CustomMouseTable"_qs)).fileName(), mouseKey);
        gApp->setCustomMouseTable(QString());
        QCOMPARE(ownKey(file, u"TermType"_qs), u"9"_qs);
        const QByteArray text = readBytes(file);
        QVERIFY(text.startsWith("; kept\n"));
        QVERIFY(text.contains("[Other]\nx=1"));
        QCOMPARE(gApp->Recent(0), file);
    }

    // A save that fails is reported, the file keeps its old bytes (not one key of the new ones),
    // Changed stays set; the caller gets the error when the answer is Fail (as an automation
    // client does).
    void failedSaveKeepsChanged_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("folderGone"); // else a title that no file can hold
        QTest::addColumn<int>("raised");
        QTest::addColumn<QString>("reported");
        QTest::newRow("folder gone, Ignore") << 2 << true << 0 << "75";
        QTest::newRow("folder gone, Fail") << 0 << true << int(rt::err::PathFileAccess) << "75";
        QTest::newRow("title with CR LF, Fail")
            << 0 << false << int(rt::err::InvalidPropertyValue) << "380";
    }
    void failedSaveKeepsChanged()
    {
        QFETCH(int, answer);
        QFETCH(bool, folderGone);
        ErrHndlr::SetDialogHook([&](const QString &report) {
            m_errors.append(report);
            return rt::Int(answer);
        });
        const QString dir = home(u"locked"_qs);
        QVERIFY(QDir().mkpath(dir));
        const QString file = dir + u"/locked.nvcf"_qs;
        writeBytes(file, "[Norvalis]\nTermType=9\n");
        const auto session = add(file);
        session->setNormCols(100);
        session->setCaption(folderGone ? u"Changed"_qs : u"two\r\nlines"_qs);
        // The folder moves away (a write there fails for every user, root included).
        const QString moved = home(u"moved"_qs);
        QDir(moved).removeRecursively();
        const QString kept = folderGone ? moved + u"/locked.nvcf"_qs : file;
        if (folderGone)
            QVERIFY(QDir().rename(dir, moved));
        const rt::Long number = errorOf([&] { session->Save(); });
        ErrHndlr::ResetForTests();
        installHooks();
        QTEST(int(number), "raised");
        QCOMPARE(m_errors.size(), 1);
        QFETCH(QString, reported);
        QVERIFY(m_errors.first().contains(reported));
        QCOMPARE(session->Changed(), rt::True);
        QCOMPARE(session->FileName(), file);
        QCOMPARE(QFileInfo::exists(dir), !folderGone);
        QCOMPARE(readBytes(kept), QByteArray("[Norvalis]\nTermType=9\n"));
        QDir(dir).removeRecursively();
    }

    // Save without a usable name asks; the dialog's answer decides.
    void saveAsDialog_data()
    {
        QTest::addColumn<QString>("saveName"); // "" for Save(""), "*" for SaveAs
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("offered"); // the name the dialog offered first
        QTest::addColumn<bool>("saved");
        QTest::newRow("no file, cancelled") << "" << false << "" << false;
        QTest::newRow("no file, chosen") << "" << true << "" << true;
        QTest::newRow("name that does not exist yet") << "new.nvcf" << true << "" << true;
        QTest::newRow("Save As cancelled") << "*" << false << "" << false;
        QTest::newRow("Save As chosen") << "*" << true << "" << true;
        QTest::newRow("Save As of a saved session") << "**" << true << "$HOME/sub/first.nvcf" << true;
    }
    // The dialog opens in the session file's folder, else in the folder the program started in
    // (not the home or program folder).
    void saveAsDialog()
    {
        QFETCH(QString, saveName);
        QFETCH(bool, answer);
        QFETCH(QString, offered);
        QFETCH(bool, saved);
        const QString chosen = home(u"chosen.nvcf"_qs);
        if (answer)
            m_dialogAnswer = chosen;
        QVERIFY(QDir().mkpath(home(u"start"_qs)) && QDir().mkpath(home(u"sub"_qs)));
        const QString startDir = std::exchange(gStartDir, home(u"start/"_qs));
        const QString lastDir = std::exchange(gLastDir, home(u"last"_qs));
        const auto restoreDirs = qScopeGuard([&] {
            gStartDir = startDir;
            gLastDir = lastDir;
        });
        const auto session = add();
        session->setCaption(u"Title"_qs);
        bool cancelled = false;
        offered.replace(u"$HOME"_qs, home(QString()).chopped(1));
        if (saveName == u"**"_qs) {
            // Saved once under offered, through the dialog.
            m_dialogAnswer = offered;
            QVERIFY(!session->SaveAs());
            QCOMPARE(session->FileName(), offered);
            m_dialogs.clear();
            m_dialogAnswer = chosen;
        }
        if (saveName.startsWith(u'*'))
            cancelled = session->SaveAs();
        else
            session->Save(saveName);
        QCOMPARE(m_dialogs.size(), 1);
        QCOMPARE(m_dialogs.first().title, u"Save As"_qs);
        QCOMPARE(m_dialogs.first().fileName, offered);
        QCOMPARE(m_dialogs.first().directory,
            offered.isEmpty() ? home(u"start"_qs) : home(u"sub"_qs));
        QCOMPARE(m_dialogs.first().defaultExtension, u"nvcf"_qs);
        QCOMPARE(session->FileName(), saved ? chosen : QString());
        QCOMPARE(session->Changed(), saved ? rt::False : rt::True);
        QCOMPARE(QFileInfo::exists(chosen), saved);
        if (saveName.startsWith(u'*'))
            QCOMPARE(cancelled, !saved);
        if (saved) {
            QCOMPARE(ownKey(chosen, u"SessionTitle"_qs), u"Title"_qs);
            QCOMPARE(session->frmSession()->LinkTopic(), u"chosen"_qs);
            QVERIFY(gSystemTopic->item(u"TOPICS"_qs).contains(u"\tchosen"_qs));
            QFile::remove(chosen);
        }
    }

    // Files that are not good session files open with defaults, nothing crashes, and loading
    // never writes them.
    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("readable");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe[Norvalis\x00\nTermType=\x01\x02", 18)
                                << true;
        QTest::newRow("half-written") << QByteArray("[Norvalis]\nTermType=9\nSessionTi") << true;
        QTest::newRow("huge") << QByteArray("[Norvalis]\nTermType=9\n")
                + QByteArray(8 * 1024 * 1024, 'x') << true;
        QTest::newRow("unreadable") << QByteArray("[Norvalis]\nTermType=9\nSessionTitle=S\n")
                                    << false;
    }
    // A FIFO named as a session file is not read (reading would wait for a writer for ever).
    void fifoIsNoSessionFile()
    {
        const QString file = home(u"fifo.nvcf"_qs);
        QVERIFY(QProcess::execute(u"mkfifo"_qs, { file }) == 0);
        const auto session = add(file);
        QCOMPARE(session->FileName(), QString());
        QCOMPARE(session->frmSession()->caption(), u"New Session (1)"_qs);
        QFile::remove(file);
    }
    void badFiles()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, readable);
        const QString file = home(u"bad.nvcf"_qs);
        writeBytes(file, contents);
        if (!readable) {
            QFile::setPermissions(file, QFile::WriteOwner);
            if (QFileInfo(file).isReadable())
                QSKIP("running as a user that reads unreadable files (root)");
        }
        const QDateTime written = QFileInfo(file).lastModified();
        const auto session = add(file);
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(session->FileName(), file);
        QCOMPARE(session->Changed(), rt::False);
        QCOMPARE(readBytes(file), contents);
        QCOMPARE(QFileInfo(file).lastModified(), written);
        QVERIFY(m_errors.isEmpty());
    }

    // Every member that takes a path of a file to read (or to capture into) refuses what is no
    // regular file, or one too large to read, at once: nothing waits for a writer, nothing reads
    // without end. A window icon that cannot be read leaves the program's own.
    void pathsThatAreNoFiles_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("path"); // FIFO, FOLDER, SPARSE or a path
        QTest::addColumn<int>("error");
        const int refused = int(rt::err::PathFileAccess);
        for (const char *member : { "Paste", "Capture", "Icon", "LoadImage", "MouseTableLoad" }) {
            for (const char *path : { "FIFO", "/dev/zero", "FOLDER", "SPARSE" }) {
                if (QByteArray(member) == "Capture" && QByteArray(path) == "SPARSE")
                    continue; // a regular file: it takes a capture
                QTest::addRow("%s %s", member, path)
                    << QString::fromLatin1(member) << QString::fromLatin1(path)
                    << (QByteArray(member) == "Icon" ? 0 : refused);
            }
        }
    }
    void pathsThatAreNoFiles()
    {
        QFETCH(QString, member);
        QFETCH(QString, path);
        if (path == u"FIFO"_qs) {
            path = home(u"fifo"_qs);
            QFile::remove(path);
            QVERIFY(QProcess::execute(u"mkfifo"_qs, { path }) == 0);
        } else if (path == u"FOLDER"_qs) {
            path = home(u"folder"_qs);
            QVERIFY(QDir().mkpath(path));
        } else if (path == u"SPARSE"_qs) {
            path = home(u"sparse.png"_qs);
            QFile sparse(path);
            QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(8) << 30));
        }
        const auto session = add();
        QElapsedTimer clock;
        clock.start();
        const rt::Long number = errorOf([&] {
            if (member == u"Paste"_qs)
                session->Paste(path);
            else if (member == u"Capture"_qs)
                session->Capture(path, 1, 1);
            else if (member == u"Icon"_qs)
                session->setIcon(path);
            else if (member == u"LoadImage"_qs)
                session->LoadImage(path);
            else
                session->MouseTableLoad(path);
        });
        const qint64 took = clock.elapsed();
        if (path.endsWith(u"sparse.png"_qs))
            QFile::remove(path);
        QTEST(int(number), "error");
        QVERIFY2(took < 1000, qPrintable(QString::number(took)));
        if (member == u"Icon"_qs) {
            QCOMPARE(session->Icon(), path); // kept as given
            // The program's own icon is one for all windows: a copy of it per window would
            // leave that window's pictures in the pixmap cache once it has gone.
            QCOMPARE(session->frmSession()->windowWidget()->windowIcon().cacheKey(),
                programIcon().cacheKey());
        }
        QCOMPARE(session->CaptureSource(), rt::Int(0));
        QVERIFY(m_errors.isEmpty());
    }

    // A new session takes the application's capture and transfer directories, with a session
    // file or without one, unless its file names its own; taking them is nothing to save.
    void applicationDirectories_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: no session file
        QTest::addColumn<QString>("capture");
        QTest::addColumn<QString>("transfer");
        QTest::newRow("no file") << QByteArray() << "/app/capture"
                                 << "/app/xfer";
        QTest::newRow("file without them")
            << QByteArray("[Norvalis]\nTermType=9\n") << "/app/capture"
            << "/app/xfer";
        QTest::newRow("file with its own capture directory")
            << QByteArray("[Norvalis]\nTermType=9\n[Transfer]\nDefaultCaptureDir=/own\n") << "/own"
            << "/app/xfer";
    }
    void applicationDirectories()
    {
        QFETCH(QByteArray, contents);
        gApp->setDefaultCaptureDir(u"/app/capture"_qs);
        gApp->setDefaultXferDir(u"/app/xfer"_qs);
        QString file;
        if (!contents.isNull()) {
            file = home(u"dirs.nvcf"_qs);
            writeBytes(file, contents);
        }
        const auto session = add(file);
        const QString capture = session->DefaultCaptureDir();
        const QString transfer = session->DefaultXferDir();
        const rt::Int changed = session->Changed();
        gApp->setDefaultCaptureDir(QString());
        gApp->setDefaultXferDir(QString());
        QTEST(capture, "capture");
        QTEST(transfer, "transfer");
        QCOMPARE(changed, rt::False);
    }

    // ---- Closing ----

    void terminatePrompts_data()
    {
        QTest::addColumn<int>("prompt");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QList<rt::Int>>("answers");
        QTest::addColumn<int>("questions");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("saveFails"); // its file's folder is gone
        QTest::newRow("0 on a changed session: no question") << 0 << true << QList<rt::Int> {} << 0
                                                           << true << false;
        QTest::newRow("1 on an unchanged session: no question")
            << 1 << false << QList<rt::Int> {} << 0 << true << false;
        QTest::newRow("1 changed, Cancel") << 1 << true << QList<rt::Int> { 2 } << 1 << false << false;
        QTest::newRow("1 changed, No") << 1 << true << QList<rt::Int> { 7 } << 1 << true << false;
        QTest::newRow("1 changed without file, Yes, Save As cancelled")
            << 1 << true << QList<rt::Int> { 6 } << 1 << false << false;
        QTest::newRow("2 on a session without link: no question")
            << 2 << true << QList<rt::Int> {} << 0 << true << false;
        QTest::newRow("1 changed, Yes, the save does not reach the file")
            << 1 << true << QList<rt::Int> { 6 } << 1 << false << true;
    }
    void terminatePrompts()
    {
        QFETCH(int, prompt);
        QFETCH(bool, changed);
        QFETCH(QList<rt::Int>, answers);
        QFETCH(bool, saveFails);
        QString file;
        if (saveFails) {
            file = home(u"gone/gone.nvcf"_qs);
            QVERIFY(QDir().mkpath(home(u"gone"_qs)));
            writeBytes(file, "[Norvalis]\nTermType=9\n");
        }
        const auto session = add(file);
        if (!file.isEmpty())
            QVERIFY(QDir(home(u"gone"_qs)).removeRecursively());
        QVERIFY(settled());
        if (changed)
            session->setCaption(u"Edited"_qs);
        m_answers = answers;
        session->Terminate(rt::Int(prompt));
        QTEST(int(m_messages.size()), "questions");
        QTEST(session->Closing(), "closed");
        QCOMPARE(session->frmSession()->IsClosing(), session->Closing());
        if (m_messages.size() == 1)
            QCOMPARE(m_messages.first(),
                u"Do you want to save your changes to \r\n\"Edited (1)\" ?"_qs);
        if (session->Closing()) {
            QVERIFY(!session->frmSession()->isVisible());
            QVERIFY(settled());
            QCOMPARE(gApp->ClsSessions().Count(), 0);
            session->Terminate(3); // closing already: nothing
            QCOMPARE(int(m_messages.size()), int(answers.size()));
        }
    }

    // The disconnect question of a connected session (a loopback host).
    void disconnectQuestion_data()
    {
        QTest::addColumn<bool>("shutdown"); // an application shutdown with two sessions
        QTest::addColumn<bool>("noWarning"); // NoCloseWarning set before
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("flags"); // asked with; 0 when not asked
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("noWarningAfter");
        QTest::newRow("Yes") << false << false << 6 << 292 << true << false;
        QTest::newRow("No") << false << false << 7 << 292 << false << false;
        QTest::newRow("No, don't ask again") << false << false << 7 + 256 << 292 << false << true;
        QTest::newRow("NoCloseWarning: not asked") << false << true << 7 << 0 << true << true;
        QTest::newRow("shutdown offers All") << true << false << 8 << 294 << true << false;
    }
    void disconnectQuestion()
    {
        QFETCH(bool, shutdown);
        QFETCH(bool, noWarning);
        QFETCH(int, answer);
        QFETCH(int, flags);
        FakeHost host;
        const QString file = home(u"linked.nvcf"_qs);
        writeBytes(file, hostSessionFile(host.port(), u"Linked"_qs));
        const auto session = add(file);
        add();
        QVERIFY(settled());
        QTRY_VERIFY(session->Emulator()->Connected() != 0);
        gApp->setNoCloseWarning(noWarning ? rt::True : rt::False);
        gTerminating = shutdown;
        gTerminatePrompt = 3;
        m_answers = { rt::Int(answer) };
        session->Terminate(2);
        gTerminating = false;
        QCOMPARE(m_flags.isEmpty() ? 0 : int(m_flags.first()), flags);
        if (flags)
            QCOMPARE(m_messages.first(),
                u"Do you want to disconnect session\r\n\"Linked (1)\" from 127.0.0.1 ?"_qs);
        QTEST(session->Closing(), "closed");
        QTEST(gApp->NoCloseWarning() != 0, "noWarningAfter");
        QCOMPARE(gTerminatePrompt, rt::Int(answer == 8 ? 0 : 3));
        gApp->setNoCloseWarning(rt::False);
    }

    // A transfer's file list from the dialogs (folder, NUL, names) is taken as it stands; a
    // list typed by a client with quotes is split at its blanks and quotes.
    void transferFileLists_data()
    {
        QTest::addColumn<QString>("list"); // HOME for the home folder, | for NUL
        QTest::newRow("from the dialogs, a name with a quote") << "HOME|say\"hi\".txt";
        QTest::newRow("typed with quotes") << "\"HOME/say\"\"hi\"\".txt\"";
    }
    void transferFileLists()
    {
        QFETCH(QString, list);
        writeBytes(home(u"say\"hi\".txt"_qs), "sent text\r");
        FakeHost host;
        const QString file = home(u"upload.nvcf"_qs);
        writeBytes(file, hostSessionFile(host.port()));
        const auto session = add(file);
        QTRY_VERIFY(session->Emulator()->Connected() != 0);
        list.replace(u"HOME"_qs, m_env.homeDir()).replace(u'|', QChar(0));
        QCOMPARE(session->Upload(list, 0, 0, 0, 1), rt::Int(0));
        QVERIFY(host.waitForReceived("sent text"));
    }

    // Yes saves under the session's own file before closing.
    void terminateSavesOnYes()
    {
        const QString file = home(u"yes.nvcf"_qs);
        writeBytes(file, "[Norvalis]\nTermType=9\n");
        const auto session = add(file);
        session->setCaption(u"Saved on close"_qs);
        m_answers = { 6 };
        session->Terminate(1);
        QVERIFY(session->Closing());
        QCOMPARE(ownKey(file, u"SessionTitle"_qs), u"Saved on close"_qs);
    }

    // ---- Properties and verbs ----

    void properties()
    {
        const auto session = add();
        QCOMPARE(session->ID(), u"1"_qs);
        session->setWindowState(2);
        QCOMPARE(session->WindowState(), rt::Int(2));
        session->setWindowState(3);
        session->setWindowState(-1);
        QCOMPARE(session->WindowState(), rt::Int(2));
        session->setCaption(session->Caption());
        QCOMPARE(session->Changed(), rt::False);
        session->EmulatorSettings().setFontSize(12);
        QCOMPARE(session->Changed(), rt::True);
        session->setChanged(rt::False);
        QCOMPARE(session->Changed(), rt::False);
        const auto other = add();
        session->setDialedNumber(u"555"_qs);
        QCOMPARE(other->DialedNumber(), u"555"_qs);
        session->setDDEResult(u"answer"_qs);
        QCOMPARE(session->frmSession()->topic()->item(u"Result"_qs), u"answer"_qs);
        session->Hide();
        QCOMPARE(session->Visible(), rt::False);
        session->setVisible(rt::True);
        QCOMPARE(session->Visible(), rt::True);
        // A title of 10 MB: the window shows what can be seen of it, at once; the property
        // keeps it whole.
        const QString huge(10 * 1024 * 1024, u'x');
        QElapsedTimer clock;
        clock.start();
        session->setCaption(huge);
        session->frmSession()->windowWidget()->repaint();
        QCoreApplication::processEvents();
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(session->Caption(), huge);
        QVERIFY(session->frmSession()->caption().size() < 100000);
        QVERIFY(session->frmSession()->caption().startsWith(u"xxxx"_qs));
    }

    void moveAndResize()
    {
        const auto session = add();
        session->setWindowState(0);
        session->Move(20, 30, 300, 200);
        QCOMPARE(session->Left(), 20);
        QCOMPARE(session->Top(), 30);
        QCOMPARE(session->Width(), 300);
        QCOMPARE(session->Height(), 200);
        session->Move(10);
        QCOMPARE(session->Left(), 10);
        QCOMPARE(session->Top(), 30);
        QCOMPARE(session->Width(), 300);
        session->Resize(250, 150);
        QCOMPARE(session->Width(), 250);
        QCOMPARE(session->Height(), 150);
        QCOMPARE(session->Left(), 10);
    }

    void mouseTable_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("error");
        QTest::newRow("comments only") << QByteArray("; one\n   ;two\n\n") << 0;
        QTest::newRow("entries") << QByteArray("1\tfoo*\tx^M\ty\n2\tbar\n") << 0;
        QTest::newRow("blank line is an entry") << QByteArray("1\ta\tb\tc\n   \n") << 13;
        QTest::newRow("button not a number") << QByteArray("left\ta\tb\tc\n") << 13;
    }
    void mouseTable()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, error);
        const QString file = home(u"mouse.txt"_qs);
        writeBytes(file, contents);
        const auto session = add();
        QCOMPARE(errorOf([&] { session->MouseTableLoad(file); }), error);
        QVERIFY(m_errors.isEmpty()); // reading errors go to the caller without a dialog
    }

    void missingMouseTableFile()
    {
        const auto session = add();
        QVERIFY_THROWS_EXCEPTION(rt::Error, session->MouseTableLoad(home(u"nothing.txt"_qs)));
    }

    void menu()
    {
        const auto session = add();
        QVERIFY(session->Menu());
        QVERIFY(session->Menu()->MnuBands(u"Status Line"_qs));
        QCOMPARE(session->MenuFileName(), QString());
        session->setMenuFileName(QString());
        QCOMPARE(session->Changed(), rt::False);
        session->setMenuFileName(u"nosuch.mnu"_qs);
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages.first().startsWith(u"The session menu file (nosuch.mnu) is missing"_qs));
        QCOMPARE(session->Changed(), rt::True);
        QCOMPARE(gMenus->ActiveMenu(), rt::Long(1));
    }
};

QTEST_MAIN(TestSession)
#include "tst_session.moc"
