// Layouts in the running program: saved, all sessions closed, loaded again (same sessions,
// places, states and active window, a window far beyond 2,200 pixels included); the layout file
// as written; layouts that load partly or not at all; Save Layout As through the dialog hook; a
// layout that cannot be written; and the recent-file list with its registry copy.

#include "app/tst_startup_env.h"

#include "app/mdiparnt.h"
#include "app/posform.h"
#include "app/profile.h"
#include "commondlg/commondlg.h"
#include "emulator/emulator.h"
#include "inifile/inidocument.h"
#include "menus/menus.h"
#include "menus/mnuband.h"
#include "runtime/screen.h"
#include "session/session.h"
#include "session/sessions.h"
#include "session/sessionwindow.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QScreen>
#include <QTimer>
#include <QtTest>

namespace {

// A session window as a test sets it up and finds it again: its file (by base name), window
// state and normal rectangle in pixels.
struct WindowSpec
{
    QString file;
    int state = 0;
    QRect rect;
};

QString describe(const WindowSpec &w)
{
    return QStringLiteral("%1 state %2 at %3,%4 %5x%6")
        .arg(w.file)
        .arg(w.state)
        .arg(w.rect.x())
        .arg(w.rect.y())
        .arg(w.rect.width())
        .arg(w.rect.height());
}

QString baseName(const QString &path)
{
    return QFileInfo(path).fileName();
}

rt::Form &formOf(const SessionPtr &session)
{
    return session->Window()->form();
}

void place(rt::Form &form, int state, const QRect &rect)
{
    WindowPlacement placement;
    placement.showCmd = state + 1;
    placement.left = rect.left();
    placement.top = rect.top();
    placement.right = rect.left() + rect.width();
    placement.bottom = rect.top() + rect.height();
    QVERIFY(Nvmain::SetWindowPlacement(form, placement));
}

// The session windows now: file, state and normal rectangle, in the collection's order.
QStringList windowList()
{
    QStringList list;
    for (const SessionPtr &session : gApp->ClsSessions().NewEnum()) {
        const rt::Form &form = formOf(session);
        list << describe(
            { baseName(session->FileName()), form.windowState(), form.normalGeometry() });
    }
    return list;
}

QString activeFile()
{
    const SessionPtr active = gApp->ActiveClsSession();
    return active ? baseName(active->FileName()) : QString();
}

QStringList recentList()
{
    QStringList list;
    for (rt::Int i = 0; i < gApp->RecentListSize(); ++i)
        list << gApp->Recent(i);
    return list;
}

// The registry copy of the recent-file list: File_1, File_2 ... until the first missing one,
// and whether any numbered key lies beyond it.
QStringList registryList()
{
    QStringList list;
    for (int number = 1; number <= 25; ++number) {
        const QString value = Profile::GetRegString(
            1, SettingsKey(u"RecentFiles\\File_"_qs + QString::number(number)), u"(none)"_qs);
        list << value;
    }
    while (!list.isEmpty() && list.last() == u"(none)"_qs)
        list.removeLast();
    return list;
}

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void roundTrip_data();
    void roundTrip();
    void layoutFile_data();
    void layoutFile();
    void partialLoad_data();
    void partialLoad();
    void saveLayoutAs_data();
    void saveLayoutAs();
    void unwritableLayout();
    void recentFiles_data();
    void recentFiles();
    void screenshotTiledLayout();
    void screenshotFileDialog_data();
    void screenshotFileDialog();

private:
    QString home(const QString &name) const { return m_env.homeDir() + u'/' + name; }
    // A session file (device None) in the home directory, opened in a shown session window.
    SessionPtr openSession(const QString &name);
    void closeAllSessions();

    StartupEnvironment m_env;
    QStringList m_errors;
    QStringList m_messages;
    QList<commondlg::Request> m_asked;
    commondlg::Answer m_dialogAnswer;
};

void TestLayout::initTestCase()
{
    m_env.setUp();
    installTestHooks(m_errors);
    frmMsgBox::setAnswerHook([this](const QString &prompt, rt::Int flags) {
        m_messages << prompt + u" | "_qs + QString::number(flags);
        return rt::Int(1);
    });
    commondlg::setHook([this](const commondlg::Request &request) {
        m_asked << request;
        return m_dialogAnswer;
    });
}

void TestLayout::init()
{
    m_errors.clear();
    m_messages.clear();
    m_asked.clear();
    m_dialogAnswer.reset();
    gSessionCounter = 0;
    gLayoutFile.clear();
    Profile::DeleteRegKey(1, SettingsKey(u"RecentFiles"_qs));
    startProgram({});
    QVERIFY(gApp);
    frmMdiParent::instance().mainWindow()->resize(900, 700);
}

void TestLayout::cleanup()
{
    endProgram();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
}

SessionPtr TestLayout::openSession(const QString &name)
{
    writeBytes(home(name), "[Norvalis]\nTermType=9\n");
    const SessionPtr session = gApp->ClsSessions().Add(home(name));
    // The spare session made after the first one is gone before the test goes on.
    if (!QTest::qWaitFor([] { return !gCleanupPending; }))
        QTest::qFail("the spare session stayed", __FILE__, __LINE__);
    return session;
}

void TestLayout::closeAllSessions()
{
    for (const SessionPtr &session : gApp->ClsSessions().NewEnum())
        session->Terminate(0);
    QTRY_VERIFY(gApp->ClsSessions().Count() == 0 && !gCleanupPending);
}

void TestLayout::roundTrip_data()
{
    QTest::addColumn<QList<WindowSpec>>("windows");
    QTest::addColumn<QString>("active");

    const QRect a(10, 20, 300, 200);
    const QRect b(340, 30, 280, 190);
    const QRect c(60, 260, 500, 220);
    QTest::newRow("three normal windows, the second active") << QList<WindowSpec> {
        { u"a.nvcf"_qs, 0, a }, { u"b.nvcf"_qs, 0, b }, { u"c.nvcf"_qs, 0, c }
    } << u"b.nvcf"_qs;
    // The active window's state is every window's default on reading: a normal window beside a
    // minimized active one is written with its own state and comes back normal.
    QTest::newRow("minimized active window beside a normal one")
        << QList<WindowSpec> { { u"a.nvcf"_qs, 0, a }, { u"b.nvcf"_qs, 1, b } } << u"b.nvcf"_qs;
    QTest::newRow("maximized active window keeps its normal place")
        << QList<WindowSpec> { { u"a.nvcf"_qs, 2, a }, { u"b.nvcf"_qs, 0, b } } << u"a.nvcf"_qs;
    // 2,300 pixels are 34,500 twips at 96 dpi: beyond a 16-bit coordinate.
    QTest::newRow("window beyond 2,200 pixels") << QList<WindowSpec> {
        { u"far.nvcf"_qs, 0, QRect(2300, 2250, 400, 300) }, { u"near.nvcf"_qs, 0, a }
    } << u"far.nvcf"_qs;
}

// Save, close every session, load: the same sessions come back in the same order, places,
// states, and the same window is active; the main window gets its place back too.
void TestLayout::roundTrip()
{
    QFETCH(QList<WindowSpec>, windows);
    QFETCH(QString, active);
    // All windows open and placed first, the active window's state last: activating a window
    // while the active one is maximized maximizes it.
    QList<SessionPtr> sessions;
    for (const WindowSpec &spec : windows) {
        sessions << openSession(spec.file);
        place(formOf(sessions.last()), 0, spec.rect);
    }
    qsizetype activeAt = -1;
    for (qsizetype i = 0; i < windows.size(); ++i) {
        if (windows.at(i).file == active)
            activeAt = i;
        else
            formOf(sessions.at(i)).setWindowState(rt::Int(windows.at(i).state));
    }
    formOf(sessions.at(activeAt)).show();
    formOf(sessions.at(activeAt)).setWindowState(rt::Int(windows.at(activeAt).state));
    QTRY_COMPARE(activeFile(), active);
    QStringList expected;
    for (const WindowSpec &spec : windows)
        expected << describe(spec);
    QCOMPARE(windowList(), expected);
    rt::Form &main = frmMdiParent::instance();
    // Large enough for the window beyond 2,200 pixels to lie in its area.
    place(main, 0, QRect(40, 50, 2800, 2700));
    const QRect mainRect = main.normalGeometry();

    gLayoutFile = home(u"desk.nvly"_qs);
    Nvmain::FileSaveLayout();
    QVERIFY(QFileInfo::exists(gLayoutFile));
    closeAllSessions();
    place(main, 0, QRect(5, 5, 600, 400));
    gLayoutFile.clear();

    Nvmain::LoadLayout(home(u"desk.nvly"_qs));
    QTRY_VERIFY(!gCleanupPending);
    QCOMPARE(gLayoutFile, home(u"desk.nvly"_qs));
    QCOMPARE(windowList(), expected);
    QTRY_COMPARE(activeFile(), active);
    QCOMPARE(main.normalGeometry(), mainRect);
    QCOMPARE(gApp->Recent(0), home(u"desk.nvly"_qs));
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(u'\n')));
}

void TestLayout::layoutFile_data()
{
    QTest::addColumn<QStringList>("sessions"); // files; "" for a session without one
    QTest::addColumn<QStringList>("sections");
    QTest::addColumn<QStringList>("mainKeys");

    QTest::newRow("no sessions: the main window alone")
        << QStringList() << QStringList { u"Norvalis Main"_qs }
        << QStringList { u"WindowState"_qs, u"Top"_qs, u"Left"_qs, u"Height"_qs, u"Width"_qs };
    QTest::newRow("a session without a file takes no section number")
        << QStringList { u"one.nvcf"_qs, QString(), u"two.nvcf"_qs }
        << QStringList { u"Norvalis Main"_qs, u"File1"_qs, u"File2"_qs }
        << QStringList { u"WindowState"_qs, u"Top"_qs, u"Left"_qs, u"Height"_qs, u"Width"_qs,
               u"Files"_qs };
}

// What the writer puts into the file: [Norvalis Main] (Files after the sections it counts) and
// one numbered section per session window with a file.
void TestLayout::layoutFile()
{
    QFETCH(QStringList, sessions);
    QFETCH(QStringList, sections);
    QFETCH(QStringList, mainKeys);
    QStringList named;
    for (const QString &file : sessions) {
        if (file.isEmpty()) {
            // The session without a file is asked for one when the sessions are saved: cancelled.
            gApp->ClsSessions().Add();
            QTRY_VERIFY(!gCleanupPending);
        } else {
            openSession(file);
            named << home(file);
        }
    }
    place(frmMdiParent::instance(), 0, QRect(30, 40, 800, 600));
    gLayoutFile = home(u"written.nvly"_qs);
    Nvmain::FileSaveLayout();

    QFile file(gLayoutFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const inifile::IniDocument doc = inifile::IniDocument::parse(file.readAll());
    QCOMPARE(doc.sections(), sections);
    QCOMPARE(doc.keys(u"Norvalis Main"_qs), mainKeys);
    QCOMPARE(doc.value(u"Norvalis Main"_qs, u"Left"_qs), std::optional(u"450"_qs));
    for (int k = 1; k <= named.size(); ++k)
        QCOMPARE(doc.value(u"File%1"_qs.arg(k), u"FileName"_qs), std::optional(named.at(k - 1)));
    // Every session was saved first; the one without a file was asked for a name.
    QCOMPARE(m_asked.size(), int(sessions.count(QString())));
    QCOMPARE(gApp->Recent(0), gLayoutFile);
}

void TestLayout::partialLoad_data()
{
    QTest::addColumn<QByteArray>("layout");
    QTest::addColumn<bool>("loaded"); // gLayoutFile set and the layout in the recent list
    QTest::addColumn<QStringList>("opened"); // sessions' files, by base name
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("active"); // the active window and its state; "" not looked at

    QTest::newRow("no WindowState: no layout")
        << QByteArray("[Norvalis Main]\nFiles=1\n[File1]\nFileName=HOME/a.nvcf\n") << false
        << QStringList() << QStringList() << QString();
    QTest::newRow("a missing file and a text file are named, the rest opens")
        << QByteArray("[Norvalis Main]\nWindowState=0\nFiles=3\n[File1]\nFileName=HOME/gone.nvcf\n"
                      "[File2]\nFileName=HOME/notes.txt\n[File3]\nFileName=HOME/a.nvcf\n")
        << true << QStringList { u"a.nvcf"_qs }
        << QStringList { u"Unable to open HOME/gone.nvcf | 48"_qs,
               u"Unable to open HOME/notes.txt | 48"_qs } << QString();
    QTest::newRow("a section missing in between gives an empty name")
        << QByteArray("[Norvalis Main]\nWindowState=0\nFiles=3\n[File1]\nFileName=HOME/a.nvcf\n"
                      "[File3]\nFileName=HOME/b.nvcf\n")
        << true << QStringList { u"a.nvcf"_qs, u"b.nvcf"_qs }
        << QStringList { u"Unable to open  | 48"_qs } << QString();
    // A count far beyond the sections the file holds asks nothing for the sections it lacks.
    QTest::newRow("a count beyond the sections")
        << QByteArray("[Norvalis Main]\nWindowState=0\nFiles=2000000000\n[File1]\n"
                      "FileName=HOME/a.nvcf\n")
        << true << QStringList { u"a.nvcf"_qs } << QStringList() << QString();
    QTest::newRow("a window without a size keeps its own")
        << QByteArray("[Norvalis Main]\nWindowState=0\nFiles=1\n[File1]\nFileName=HOME/a.nvcf\n"
                      "Left=1500\nTop=1500\n")
        << true << QStringList { u"a.nvcf"_qs } << QStringList() << QString();
    QTest::newRow("windows placed where nobody can reach them come back within reach")
        << QByteArray("[Norvalis Main]\nWindowState=0\nTop=150000\nLeft=150000\nWidth=9000\n"
                      "Height=7000\nFiles=2\n[File1]\nFileName=HOME/a.nvcf\nLeft=150000\n"
                      "Top=150000\nWidth=3000\nHeight=2000\n[File2]\nFileName=HOME/b.nvcf\n"
                      "Left=-90000\nTop=-4000\nWidth=3000\nHeight=2000\n")
        << true << QStringList { u"a.nvcf"_qs, u"b.nvcf"_qs } << QStringList() << QString();
    QTest::newRow("a window beyond the screen without a width comes back")
        << QByteArray("[Norvalis Main]\nWindowState=0\nFiles=3\n[File1]\nFileName=HOME/a.nvcf\n"
                      "Left=300000\nTop=1500\n[File2]\nFileName=HOME/b.nvcf\nLeft=300000\n"
                      "Top=1500\nWidth=0\nHeight=0\n[File3]\nFileName=HOME/a.nvcf\n"
                      "Left=300000\nTop=300000\nWidth=-3000\nHeight=-3000\n")
        << true << QStringList { u"a.nvcf"_qs, u"b.nvcf"_qs, u"a.nvcf"_qs } << QStringList()
        << QString();
    QTest::newRow("the largest numbers give a window within reach and bounds")
        << QByteArray("[Norvalis Main]\nWindowState=0\nLeft=2147483647\nTop=2147483647\n"
                      "Width=2147483647\nHeight=2147483647\nFiles=2\n[File1]\n"
                      "FileName=HOME/a.nvcf\nLeft=2147483647\nTop=2147483647\n[File2]\n"
                      "FileName=HOME/b.nvcf\nLeft=-2147483648\nTop=0\nWidth=2147483647\n"
                      "Height=2147483647\n")
        << true << QStringList { u"a.nvcf"_qs, u"b.nvcf"_qs } << QStringList() << QString();
    // The windows shown after the active one may take its normal state over (the last one
    // here is maximized): it is given back.
    QTest::newRow("the active window's normal state is given back")
        << QByteArray("[Norvalis Main]\nWindowState=0\nFiles=2\n[File1]\nFileName=HOME/a.nvcf\n"
                      "WindowState=0\nActive=True\n[File2]\nFileName=HOME/b.nvcf\n"
                      "WindowState=2\n")
        << true << QStringList { u"a.nvcf"_qs, u"b.nvcf"_qs } << QStringList()
        << u"a.nvcf 0"_qs;
}

void TestLayout::partialLoad()
{
    QFETCH(QByteArray, layout);
    QFETCH(bool, loaded);
    QFETCH(QStringList, messages);
    writeBytes(home(u"a.nvcf"_qs), "[Norvalis]\nTermType=9\n");
    writeBytes(home(u"b.nvcf"_qs), "[Norvalis]\nTermType=9\n");
    writeBytes(home(u"notes.txt"_qs), "just some text\n");
    layout.replace("HOME", m_env.homeDir().toUtf8());
    writeBytes(home(u"part.nvly"_qs), layout);

    Nvmain::LoadLayout(home(u"part.nvly"_qs));
    QTRY_VERIFY(!gCleanupPending);
    QCOMPARE(gLayoutFile.isEmpty(), !loaded);
    QCOMPARE(gApp->Recent(0).isEmpty(), !loaded);
    QStringList opened;
    for (const SessionPtr &session : gApp->ClsSessions().NewEnum()) {
        opened << baseName(session->FileName());
        const QRect rect = formOf(session).normalGeometry();
        QVERIFY2(rect.width() > 50 && rect.height() > 50, qPrintable(describe({ {}, 0, rect })));
        // Every window starts in the main window's area, where the user can take hold of it.
        const QRect area = frmMdiParent::instance().mdiArea()->viewport()->rect();
        QVERIFY2(area.contains(rect.topLeft()), qPrintable(describe({ {}, 0, rect })));
        const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
        QVERIFY2(rect.width() <= rt::DesktopMultiple * desktop.width()
                && rect.height() <= rt::DesktopMultiple * desktop.height(),
            qPrintable(describe({ {}, 0, rect })));
    }
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect main = frmMdiParent::instance().normalGeometry();
    QVERIFY2(screen.contains(main.topLeft()), qPrintable(describe({ {}, 0, main })));
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    QVERIFY2(main.width() <= rt::DesktopMultiple * desktop.width()
            && main.height() <= rt::DesktopMultiple * desktop.height(),
        qPrintable(describe({ {}, 0, main })));
    QTEST(opened, "opened");
    for (QString &message : messages)
        message.replace(u"HOME"_qs, m_env.homeDir());
    QCOMPARE(m_messages, messages);
    QFETCH(QString, active);
    if (!active.isEmpty()) {
        const SessionPtr session = gApp->ActiveClsSession();
        QVERIFY(session);
        QCOMPARE(baseName(session->FileName()) + u' '
                + QString::number(formOf(session).windowState()),
            active);
    }
}

void TestLayout::saveLayoutAs_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("answer"); // "" cancels
    QTest::addColumn<QString>("layoutFile");

    QTest::newRow("a new name") << u"old.nvly"_qs << u"new.nvly"_qs << u"new.nvly"_qs;
    QTest::newRow("cancelled: the old name stays and comes back to the top")
        << u"old.nvly"_qs << QString() << u"old.nvly"_qs;
    QTest::newRow("first time, cancelled") << QString() << QString() << QString();
}

// Save Layout As asks with the layout filter; a cancel leaves the current name, which returns to
// the top of the recent-file list.
void TestLayout::saveLayoutAs()
{
    QFETCH(QString, current);
    QFETCH(QString, answer);
    openSession(u"a.nvcf"_qs);
    writeBytes(home(u"other.nvcf"_qs), "[Norvalis]\nTermType=9\n");
    if (!current.isEmpty()) {
        writeBytes(home(current), "[Norvalis Main]\nWindowState=0\n");
        gLayoutFile = home(current);
    }
    Nvmain::UpdateRecentFileList(home(u"other.nvcf"_qs), false);
    if (!answer.isEmpty())
        m_dialogAnswer = home(answer);

    Nvmain::FileSaveLayoutAs();
    QCOMPARE(m_asked.size(), 1);
    const commondlg::Request &request = m_asked.first();
    QCOMPARE(request.kind, commondlg::Kind::SaveFile);
    QCOMPARE(request.title, u"Save As"_qs);
    QCOMPARE(request.defaultExtension, u"nvly"_qs);
    QCOMPARE(request.filter, u"Norvalis Layout (*.nvly,*.lyt)|*.nvly;*.lyt|All Files (*.*)|*.*"_qs);
    QCOMPARE(request.directory, gLastDir);
    QCOMPARE(request.fileName, current.isEmpty() ? QString() : home(current));

    QFETCH(QString, layoutFile);
    QCOMPARE(gLayoutFile, layoutFile.isEmpty() ? QString() : home(layoutFile));
    const QStringList recent = recentList();
    if (layoutFile.isEmpty()) {
        QCOMPARE(recent.first(), home(u"other.nvcf"_qs));
        return;
    }
    QCOMPARE(recent.first(), home(layoutFile));
    QVERIFY(recent.contains(home(u"other.nvcf"_qs)));
    QVERIFY(Files::IsLayoutFile(home(layoutFile)));
    if (!answer.isEmpty())
        QVERIFY(!recent.contains(home(current))); // the old name left the list
}

// A layout that cannot be written tells the user, keeps whatever was there and does not enter
// the recent-file list.
void TestLayout::unwritableLayout()
{
    openSession(u"a.nvcf"_qs);
    writeBytes(home(u"plain"_qs), "a file, not a folder\n");
    gLayoutFile = home(u"plain/desk.nvly"_qs);
    Nvmain::FileSaveLayout();
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().startsWith(u"Unable to save "_qs + gLayoutFile + u'\n'),
        qPrintable(m_messages.first()));
    QVERIFY(m_messages.first().endsWith(u" | 48"_qs));
    QCOMPARE(recentList(), QStringList({ home(u"a.nvcf"_qs), {}, {}, {} }));
}

void TestLayout::recentFiles_data()
{
    QTest::addColumn<QStringList>("before"); // size 4
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("remove");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QStringList>("registry");

    const QString x = u"HOME/x.nvcf"_qs;
    const QString X = u"HOME/X.NVCF"_qs;
    const QString a = u"HOME/a.nvcf"_qs;
    const QString b = u"HOME/b.nvcf"_qs;
    const QString c = u"HOME/c.nvcf"_qs;
    QTest::newRow("an entry moves to the top, the last one stays") << QStringList { a, b, x,
        c } << x << false << QStringList { x, a, b, c } << QStringList { x, a, b, c };
    // Names keep their spelling: X.NVCF and x.nvcf are two files here.
    QTest::newRow("another spelling is another file")
        << QStringList { a, b, X, c } << x << false << QStringList { x, a, b, X }
        << QStringList { x, a, b, X };
    QTest::newRow("a new name pushes the last one out") << QStringList { a, b, c,
        X } << x << false << QStringList { x, a, b, c } << QStringList { x, a, b, c };
    QTest::newRow("into an empty list") << QStringList { {}, {}, {}, {} } << x << false
                                        << QStringList { x, {}, {}, {} } << QStringList { x };
    QTest::newRow("a name that is no file changes nothing")
        << QStringList { a, b, {}, {} } << u"HOME/none.nvcf"_qs << false
        << QStringList { a, b, {}, {} } << QStringList { u"stale"_qs };
    QTest::newRow("removing closes the gap: one numbered key fewer") << QStringList { a, x, b,
        c } << x << true << QStringList { a, b, c, {} } << QStringList { a, b, c };
    QTest::newRow("removing a name not in the list still rewrites the registry") << QStringList { a,
        b, {}, {} } << x << true << QStringList { a, b, {}, {} } << QStringList { a, b };
    QTest::newRow("empty entries between are kept out of the registry numbering")
        << QStringList { a, {}, b, {} } << c << false << QStringList { c, a, {}, b }
        << QStringList { c, a, b };
}

// The list keeps at most RecentListSize full names, the most recent first; the registry copy
// holds the non-empty entries as File_1, File_2 ... without gaps.
void TestLayout::recentFiles()
{
    QFETCH(QStringList, before);
    QFETCH(QString, file);
    QFETCH(bool, remove);
    const auto expand = [this](QStringList list) {
        for (QString &name : list)
            name.replace(u"HOME"_qs, m_env.homeDir());
        return list;
    };
    for (const char *name : { "a.nvcf", "b.nvcf", "c.nvcf", "x.nvcf", "X.NVCF" })
        writeBytes(home(QLatin1String(name)), "[Norvalis]\nTermType=9\n");
    before = expand(before);
    for (int i = 0; i < before.size(); ++i)
        gApp->setRecent(rt::Int(i), before.at(i));
    // A value the update must clear when it rewrites the registry copy.
    Profile::PutRegString(1, SettingsKey(u"RecentFiles\\File_1"_qs), u"stale"_qs, QString());
    Profile::PutRegString(1, SettingsKey(u"RecentFiles\\File_9"_qs), u"stale"_qs, QString());

    Nvmain::UpdateRecentFileList(expand({ file }).first(), remove);
    QFETCH(QStringList, after);
    QFETCH(QStringList, registry);
    QCOMPARE(recentList(), expand(after));
    if (registry == QStringList { u"stale"_qs })
        QCOMPARE(registryList().last(), u"stale"_qs); // not rewritten
    else
        QCOMPARE(registryList(), expand(registry));
}

// Three sessions from a layout, tiled side by side (tests/screenshot.sh).
void TestLayout::screenshotTiledLayout()
{
    const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
    if (out.isEmpty())
        QSKIP("screenshots only (tests/screenshot.sh)");
    const QStringList hosts { u"billing"_qs, u"stores"_qs, u"reports"_qs };
    QByteArray layout = "[Norvalis Main]\nWindowState=0\nLeft=1500\nTop=1500\nWidth=16500\n"
                        "Height=11250\nFiles=3\n";
    for (int i = 0; i < hosts.size(); ++i) {
        writeBytes(home(hosts.at(i) + u".nvcf"_qs),
            "[Norvalis]\nTermType=9\nSessionTitle=" + hosts.at(i).toUtf8() + " host\n");
        layout += "[File" + QByteArray::number(i + 1) + "]\nFileName="
            + home(hosts.at(i) + u".nvcf"_qs).toUtf8() + (i == 1 ? "\nActive=True\n" : "\n");
    }
    writeBytes(home(u"three.nvly"_qs), layout);
    Nvmain::LoadLayout(home(u"three.nvly"_qs));
    QTRY_VERIFY(!gCleanupPending);
    const std::vector<SessionPtr> sessions = gApp->ClsSessions().NewEnum();
    for (size_t n = 0; n < sessions.size(); ++n) {
        std::static_pointer_cast<clsSession>(sessions.at(n))
            ->Emulator()
            ->Emulate(u"Welcome to the %1 host\r\n\r\nlogin: operator\r\n$ uptime\r\n"
                      " 10:4%2:01 up 12 days,  3 users\r\n$ "_qs.arg(hosts.at(qsizetype(n)))
                          .arg(n));
    }
    frmMdiParent::instance().arrange(2);
    QTest::qWait(300);
    QVERIFY(frmMdiParent::instance().widget()->grab().save(out));
}

void TestLayout::screenshotFileDialog_data()
{
    QTest::addColumn<int>("command");
    QTest::newRow("open") << 103;
    QTest::newRow("save layout as") << 109;
}

// The Open and Save As dialogs over the main window, as the File commands show them: the whole
// screen is taken while the dialog waits for its user.
void TestLayout::screenshotFileDialog()
{
    const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
    if (out.isEmpty())
        QSKIP("screenshots only (tests/screenshot.sh)");
    QFETCH(int, command);
    for (const char *name : { "billing.nvcf", "stores.nvcf", "reports.nvcf" })
        writeBytes(home(QLatin1String(name)), "[Norvalis]\nTermType=9\n");
    writeBytes(home(u"desk.nvly"_qs), "[Norvalis Main]\nWindowState=0\n");
    writeBytes(home(u"notes.txt"_qs), "text\n");
    gLastDir = m_env.homeDir();
    openSession(u"billing.nvcf"_qs);
    commondlg::setHook(nullptr);
    bool saved = false;
    QTimer::singleShot(800, this, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        saved = QGuiApplication::primaryScreen()
                    ->grabWindow(0)
                    .copy(frmMdiParent::instance().widget()->frameGeometry().united(
                        dialog->frameGeometry()))
                    .save(out);
        dialog->close();
    });
    const bar::ToolPtr tool
        = gApp->Menu()->MnuBands(u"File"_qs)->MnuTools(QString::number(command))->BarTool();
    frmMdiParent::instance().TB_ToolClick(tool.get());
    commondlg::setHook([this](const commondlg::Request &request) {
        m_asked << request;
        return m_dialogAnswer;
    });
    QVERIFY(saved);
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
