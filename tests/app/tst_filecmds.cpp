// The File commands in the running program: New with and without the connection-wizard prompt,
// Open through the dialog hook (session file, layout, other file, cancel), the recent files,
// Close, and the saving of every session.

#include "app/tst_startup_env.h"

#include "app/profile.h"
#include "app/wizard.h"
#include "commondlg/commondlg.h"
#include "runtime/interaction.h"
#include "session/session.h"
#include "session/sessions.h"
#include "session/sessionwindow.h"

#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

void setWizard(const QString &command)
{
    Profile::PutIniString(u"Connection"_qs, u"Wizard32"_qs, command, QString(),
        Files::FindProgramFile(gAppDir, u"NVWIN.INI"_qs));
}

// The sessions' files by base name ("-" for none), in the collection's order.
QStringList sessionFiles()
{
    QStringList files;
    for (const SessionPtr &session : gApp->ClsSessions().NewEnum()) {
        const QString file = session->FileName();
        files << (file.isEmpty() ? u"-"_qs : QFileInfo(file).fileName());
    }
    return files;
}

QStringList recentNames()
{
    QStringList names;
    for (rt::Int i = 0; i < gApp->RecentListSize(); ++i)
        names << QFileInfo(gApp->Recent(i)).fileName();
    return names;
}

} // namespace

class TestFileCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void open_data();
    void open();
    void openRecent_data();
    void openRecent();
    void newSession_data();
    void newSession();
    void close();
    void shutdownWhileCloseAsks();
    void saveAllSessions();

private:
    QString home(const QString &name) const { return m_env.homeDir() + u'/' + name; }
    void writeFiles();
    // Waits until closed sessions (and the spare one the first session brings) are gone.
    static void settle() { QTRY_VERIFY(!gCleanupPending); }

    StartupEnvironment m_env;
    QStringList m_errors;
    QStringList m_messages;
    QList<commondlg::Request> m_asked;
    commondlg::Answer m_answer;
    QStringList m_started;
    bool m_startWorks = true;
    std::function<rt::Int()> m_whileAsked; // runs while a message is open; its answer
};

void TestFileCommands::initTestCase()
{
    m_env.setUp();
    installTestHooks(m_errors);
    frmMsgBox::setAnswerHook([this](const QString &prompt, rt::Int flags) {
        m_messages << prompt + u" | "_qs + QString::number(flags);
        return m_whileAsked ? m_whileAsked() : rt::Int(1);
    });
    commondlg::setHook([this](const commondlg::Request &request) {
        m_asked << request;
        return m_answer;
    });
    Nvmain::SetProgramStarter([this](const QString &command) {
        m_started << command;
        return m_startWorks;
    });
}

void TestFileCommands::init()
{
    m_errors.clear();
    m_messages.clear();
    m_asked.clear();
    m_answer.reset();
    m_started.clear();
    m_startWorks = true;
    m_whileAsked = nullptr;
    gSessionCounter = 0;
    gLayoutFile.clear();
    Profile::DeleteRegKey(1, SettingsKey(u"RecentFiles"_qs));
    writeFiles();
    startProgram({});
    QVERIFY(gApp);
}

void TestFileCommands::cleanup()
{
    endProgram();
    setWizard(QString());
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
}

void TestFileCommands::writeFiles()
{
    writeBytes(home(u"a.nvcf"_qs), "[Norvalis]\nTermType=9\n");
    writeBytes(home(u"b.nvcf"_qs), "[Norvalis]\nTermType=9\n");
    writeBytes(home(u"notes.txt"_qs), "some text\n");
    writeBytes(home(u"desk.nvly"_qs),
        "[Norvalis Main]\nWindowState=0\nFiles=1\n[File1]\nFileName=" + home(u"b.nvcf"_qs).toUtf8()
            + "\n");
}

void TestFileCommands::open_data()
{
    QTest::addColumn<QString>("chosen"); // "" cancels
    QTest::addColumn<QStringList>("sessions");
    QTest::addColumn<QStringList>("recent");
    QTest::addColumn<QString>("message");

    QTest::newRow("session file") << u"a.nvcf"_qs << QStringList { u"a.nvcf"_qs }
                                  << QStringList { u"a.nvcf"_qs, {}, {}, {} } << QString();
    // The layout enters the list by itself; the session files it opens do not.
    QTest::newRow("layout") << u"desk.nvly"_qs << QStringList { u"b.nvcf"_qs }
                            << QStringList { u"desk.nvly"_qs, {}, {}, {} } << QString();
    QTest::newRow("neither") << u"notes.txt"_qs << QStringList() << QStringList { {}, {}, {}, {} }
                             << u"Unable to open HOME/notes.txt | 48"_qs;
    QTest::newRow("cancelled") << QString() << QStringList() << QStringList { {}, {}, {}, {} }
                               << QString();
}

// Open asks with the program's file kinds and opens the chosen file by its kind.
void TestFileCommands::open()
{
    QFETCH(QString, chosen);
    QFETCH(QString, message);
    if (!chosen.isEmpty())
        m_answer = home(chosen);
    Nvmain::FileOpen();
    settle();

    QCOMPARE(m_asked.size(), 1);
    const commondlg::Request &request = m_asked.first();
    QCOMPARE(request.kind, commondlg::Kind::OpenFile);
    QCOMPARE(request.title, u"Open"_qs);
    QCOMPARE(request.filter,
        u"Norvalis Files (*.nvcf,*.nvly,*.cfg,*.lyt)|*.nvcf;*.nvly;*.cfg;*.lyt|All Files (*.*)|*.*"_qs);
    QCOMPARE(request.filterIndex, 1);
    QCOMPARE(request.defaultExtension, u"nvcf"_qs);
    QCOMPARE(request.directory, gLastDir);
    QCOMPARE(request.fileName, QString());
    QTEST(sessionFiles(), "sessions");
    QTEST(recentNames(), "recent");
    message.replace(u"HOME"_qs, m_env.homeDir());
    QCOMPARE(m_messages, message.isEmpty() ? QStringList() : QStringList { message });
}

void TestFileCommands::openRecent_data()
{
    QTest::addColumn<QStringList>("recent"); // the list before, size 4
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("sessions");
    QTest::addColumn<QStringList>("recentAfter");
    QTest::addColumn<QString>("message");

    const QStringList list { u"a.nvcf"_qs, u"desk.nvly"_qs, u"gone.nvcf"_qs, u"notes.txt"_qs };
    QTest::newRow("first entry, a session file")
        << list << 0 << QStringList { u"a.nvcf"_qs } << list << QString();
    QTest::newRow("a layout moves to the top")
        << list << 1 << QStringList { u"b.nvcf"_qs }
        << QStringList { u"desk.nvly"_qs, u"a.nvcf"_qs, u"gone.nvcf"_qs, u"notes.txt"_qs }
        << QString();
    QTest::newRow("a file that is gone stays in the list")
        << list << 2 << QStringList() << list << u"Unable to open HOME/gone.nvcf | 48"_qs;
    QTest::newRow("a file of another kind")
        << list << 3 << QStringList() << list << u"Unable to open HOME/notes.txt | 48"_qs;
    QTest::newRow("an empty entry")
        << QStringList { u"a.nvcf"_qs, {}, {}, {} } << 2 << QStringList()
        << QStringList { u"a.nvcf"_qs, {}, {}, {} } << QString();
    QTest::newRow("beyond the list") << list << 20 << QStringList() << list << QString();
    QTest::newRow("the last entry")
        << QStringList { u"a.nvcf"_qs, u"desk.nvly"_qs, u"gone.nvcf"_qs, u"b.nvcf"_qs } << 3
        << QStringList { u"b.nvcf"_qs }
        << QStringList { u"b.nvcf"_qs, u"a.nvcf"_qs, u"desk.nvly"_qs, u"gone.nvcf"_qs }
        << QString();
    // "=" keeps a name as it stands: relative, taken in the start folder (not the working one);
    // the full name of what opened goes on top.
    QTest::newRow("a relative name is taken in the start folder")
        << QStringList { u"=b.nvcf"_qs, {}, {}, {} } << 0 << QStringList { u"b.nvcf"_qs }
        << QStringList { u"b.nvcf"_qs, u"b.nvcf"_qs, {}, {} } << QString();
}

void TestFileCommands::openRecent()
{
    QFETCH(QStringList, recent);
    QFETCH(int, index);
    QFETCH(QString, message);
    for (int i = 0; i < recent.size(); ++i) {
        const QString &name = recent.at(i);
        gApp->setRecent(rt::Int(i),
            name.isEmpty()              ? QString()
                : name.startsWith(u'=') ? name.mid(1)
                                        : home(name));
    }
    const QString startDir = gStartDir;
    gStartDir = m_env.homeDir() + u'/';
    Nvmain::FileOpenRecent(rt::Int(index));
    gStartDir = startDir;
    settle();
    QTEST(sessionFiles(), "sessions");
    QTEST(recentNames(), "recentAfter");
    message.replace(u"HOME"_qs, m_env.homeDir());
    QCOMPARE(m_messages, message.isEmpty() ? QStringList() : QStringList { message });
}

void TestFileCommands::newSession_data()
{
    QTest::addColumn<QString>("wizard");
    QTest::addColumn<QString>("choice"); // the prompt's button, or "close"
    QTest::addColumn<bool>("startWorks");
    QTest::addColumn<QStringList>("sessions");
    QTest::addColumn<QStringList>("started");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("no wizard: a blank session at once")
        << QString() << QString() << true << QStringList { u"-"_qs } << QStringList()
        << QStringList();
    QTest::newRow("prompt: new connection")
        << u"/opt/wizard --new"_qs << u"new"_qs << true << QStringList { u"-"_qs } << QStringList()
        << QStringList();
    QTest::newRow("prompt: wizard")
        << u"/opt/wizard --new"_qs << u"wizard"_qs << true << QStringList()
        << QStringList { u"/opt/wizard --new"_qs } << QStringList();
    QTest::newRow("prompt: wizard that does not start")
        << u"/opt/wizard"_qs << u"wizard"_qs << false << QStringList()
        << QStringList { u"/opt/wizard"_qs }
        << QStringList { u"Unable to start Connection Wizard | 48"_qs };
    QTest::newRow("prompt: cancel") << u"/opt/wizard"_qs << u"cancel"_qs << true << QStringList()
                                    << QStringList() << QStringList();
    QTest::newRow("prompt closed") << u"/opt/wizard"_qs << u"close"_qs << true << QStringList()
                                   << QStringList() << QStringList();
}

// New opens a blank session, or asks first when a connection wizard is installed.
void TestFileCommands::newSession()
{
    QFETCH(QString, wizard);
    QFETCH(QString, choice);
    QFETCH(bool, startWorks);
    setWizard(wizard);
    m_startWorks = startWorks;
    bool prompted = false;
    rt::setDialogsWaitOffscreen(true);
    QTimer::singleShot(0, this, [&] {
        frmWizard &prompt = frmWizard::instance();
        prompted = prompt.isModalShown();
        if (!prompted)
            return;
        if (choice == u"new"_qs)
            prompt.cmdNew->click();
        else if (choice == u"wizard"_qs)
            prompt.cmdWizard->click();
        else if (choice == u"cancel"_qs)
            prompt.cmdCancel->click();
        else
            prompt.widget()->close();
    });
    gApp->setInitChildWindowState(rt::vbMaximized);
    Nvmain::FileNew();
    rt::setDialogsWaitOffscreen(false);
    settle();
    // A new session window opens in the state the last one was left in.
    for (const SessionPtr &session : gApp->ClsSessions().NewEnum())
        QCOMPARE(session->Window()->form().windowState(), rt::Int(rt::vbMaximized));
    QCOMPARE(prompted, !wizard.isEmpty());
    QVERIFY(!frmWizard::instance().isLoaded());
    QTEST(sessionFiles(), "sessions");
    QTEST(m_started, "started");
    QTEST(m_messages, "messages");
}

// Close closes the active session window only, and does nothing without one.
void TestFileCommands::close()
{
    Nvmain::FileClose();
    QCOMPARE(gApp->ClsSessions().Count(), rt::Long(0));
    gApp->ClsSessions().Add(home(u"a.nvcf"_qs));
    gApp->ClsSessions().Add(home(u"b.nvcf"_qs));
    settle();
    Nvmain::FileClose();
    settle();
    QCOMPARE(sessionFiles(), QStringList { u"a.nvcf"_qs });
    QVERIFY(m_messages.isEmpty());
}

// A shutdown requested while Close asks its question (the question then closes as cancelled)
// still ends the program: the refusal it causes is no refusal of the shutdown.
void TestFileCommands::shutdownWhileCloseAsks()
{
    std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(home(u"a.nvcf"_qs)))
        ->setCaption(u"Changed"_qs);
    settle();
    m_whileAsked = [] {
        Nvmain::RequestShutdown(0);
        return rt::Int(MsgBox::Cancel);
    };
    Nvmain::FileClose();
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(gTerminating);
    QSignalSpy ended(&frmDDE::instance(), &frmDDE::ended);
    QVERIFY(ended.wait(10000));
}

// Every session is saved under its own name; one without a name is asked for one, and its
// cancel keeps the others from nothing.
void TestFileCommands::saveAllSessions()
{
    const QList<SessionPtr> sessions { gApp->ClsSessions().Add(home(u"a.nvcf"_qs)),
        gApp->ClsSessions().Add(), gApp->ClsSessions().Add(home(u"b.nvcf"_qs)) };
    settle();
    for (const SessionPtr &session : sessions)
        std::static_pointer_cast<clsSession>(session)->setCaption(u"Saved"_qs);
    Nvmain::SaveAllSessions();
    QCOMPARE(m_asked.size(), 1);
    QCOMPARE(m_asked.first().title, u"Save As"_qs);
    for (const char *name : { "a.nvcf", "b.nvcf" })
        QCOMPARE(Profile::GetIniString(
                     u"Norvalis"_qs, u"SessionTitle"_qs, QString(), home(QLatin1String(name))),
            u"Saved"_qs);
}

QTEST_MAIN(TestFileCommands)
#include "tst_filecmds.moc"
