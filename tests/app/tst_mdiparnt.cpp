// The main window: its close request becoming the application's shutdown, its unload from code,
// the menu it shows while minimized or restored, its window messages, and the routing of tool
// clicks and band openings.

#include "app/tst_startup_env.h"

#include "app/about.h"
#include "app/common.h"
#include "app/profile.h"
#include "app/splash.h"
#include "dialogs/settingsdlg.h"
#include "menus/mnutool.h"
#include "session/session.h"
#include "session/sessions.h"
#include "menus/menus.h"
#include "menus/mnuband.h"
#include "runtime/interaction.h"
#include "runtime/messages.h"
#include "runtime/timer.h"

#include <QMainWindow>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

const QChar kSep = QChar(1);

QString regValue(const QString &name)
{
    return Profile::GetRegString(Profile::HKCU, SettingsKey(name), u"(none)"_qs);
}

bar::BandPtr controlBand(const QString &bandName)
{
    return TheActiveBar().bands().item(u"0"_qs + kSep + bandName);
}

// The tools of a band: command number and caption, in order, with "-" for hidden tools.
QStringList toolList(const bar::Band &band)
{
    QStringList list;
    for (const bar::ToolPtr &tool : band.tools()) {
        if (tool->isSeparator())
            list << u"|"_qs;
        else
            list << QString::number(tool->toolId()) + u' ' + tool->caption()
                    + (tool->isVisible() ? QString() : u" -"_qs);
    }
    return list;
}

} // namespace

class TestMdiParent : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void closeRequest_data();
    void closeRequest();
    void unloadFromCode_data();
    void unloadFromCode();
    void activeMenuFollowsState();
    void activation();
    void colorChangeReachesEveryForm();

    void bandToggle_data();
    void bandToggle();
    void actionBeforeBuiltIn();
    void exitCommand();
    void aboutCommand();
    void recentFileList_data();
    void recentFileList();
    void bandList();
    void bandWithoutMenuNumber();
    void pasteFromFileWithoutSession();
    void settingsCommands_data();
    void settingsCommands();

private:
    StartupEnvironment m_env;
    QStringList m_errors;
};

void TestMdiParent::initTestCase()
{
    m_env.setUp();
    installTestHooks(m_errors);
}

void TestMdiParent::init()
{
    gStandalone = true;
    startProgram({});
    QVERIFY(gApp);
    QVERIFY(frmMdiParent::instance().isVisible());
}

void TestMdiParent::cleanup()
{
    endProgram();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
}

void TestMdiParent::closeRequest_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("close box") << -1;
    QTest::newRow("desktop session ends") << 2;
    QTest::newRow("task manager") << 3;
}

// A close by the user or the desktop never closes the window itself: it requests the
// application's shutdown with prompt mode 3.
void TestMdiParent::closeRequest()
{
    QFETCH(int, mode);
    frmMdiParent &main = frmMdiParent::instance();
    gTerminatePrompt = 0;
    if (mode < 0)
        main.mainWindow()->close();
    else
        QVERIFY(!main.unload(rt::Int(mode)));
    QVERIFY(main.isLoaded());
    QVERIFY(main.isVisible());
    QVERIFY(gTerminating);
    QCOMPARE(gTerminatePrompt, rt::Int(3));
    QVERIFY(gCleanupTimer->enabled());
    // The clean-up timer then unloads it from code.
    QSignalSpy ended(&frmDDE::instance(), &frmDDE::ended);
    QVERIFY(ended.wait(10000));
    QVERIFY(!main.isLoaded());
}

void TestMdiParent::unloadFromCode_data()
{
    QTest::addColumn<bool>("standalone");
    QTest::newRow("standalone") << true;
    QTest::newRow("started by automation") << false;
}

// The clean-up timer's unload saves the placement (standalone starts only) and the session
// windows' state, unloads the splash and releases the menus.
void TestMdiParent::unloadFromCode()
{
    QFETCH(bool, standalone);
    Profile::DeleteRegKey(Profile::HKCU, SettingsKey(u"MainLeft"_qs));
    Profile::DeleteRegKey(Profile::HKCU, SettingsKey(u"ChildWindowState"_qs));
    gStandalone = standalone;
    gApp->setInitChildWindowState(1);
    QVERIFY(frmSplash::instance().isLoaded());

    endProgram();
    QCOMPARE(regValue(u"ChildWindowState"_qs), u"1"_qs);
    QCOMPARE(regValue(u"MainLeft"_qs) != u"(none)"_qs, standalone);
    QVERIFY(!frmSplash::instance().isLoaded());
    QVERIFY(!gMenus);
    QVERIFY(!TheMainWindow());
    QVERIFY(!rt::isMessageAttached(&frmMdiParent::instance(), rt::WM_ACTIVATE));
    QVERIFY(!rt::isMessageAttached(&frmMdiParent::instance(), rt::WM_SYSCOLORCHANGE));
}

// Minimized, the window shows no menu; restored without session windows, the main menu.
void TestMdiParent::activeMenuFollowsState()
{
    frmMdiParent &main = frmMdiParent::instance();
    QCOMPARE(gMenus->ActiveMenu(), rt::Long(0));
    main.setWindowState(rt::vbMinimized);
    QTRY_COMPARE(gMenus->ActiveMenu(), rt::Long(-1));
    main.setWindowState(rt::vbNormal);
    QTRY_COMPARE(gMenus->ActiveMenu(), rt::Long(0));
    main.setWindowState(rt::vbMinimized);
    QTRY_COMPARE(gMenus->ActiveMenu(), rt::Long(-1));
    main.setWindowState(rt::vbNormal);
    QTRY_COMPARE(gMenus->ActiveMenu(), rt::Long(0));
}

// Coming back to the foreground gives the active session window its pause state and Paste tool.
void TestMdiParent::activation()
{
    frmMdiParent &main = frmMdiParent::instance();
    FakeSessionWindow window(u"1"_qs, u"Session_1"_qs, &main);
    window.paused = true;
    window.show();
    QTRY_COMPARE(main.activeForm(), static_cast<rt::Form *>(&window));
    rt::setPauseState(false);
    gCtrlTabCycling = true;
    const int updates = window.pasteToolUpdates;

    rt::sendMessage(&main, rt::WM_ACTIVATE, 0, 0);
    QVERIFY(gCtrlTabCycling); // becoming inactive changes nothing
    rt::sendMessage(&main, rt::WM_ACTIVATE, 1, 0);
    QVERIFY(!gCtrlTabCycling);
    QVERIFY(rt::pauseState());
    QCOMPARE(window.pasteToolUpdates, updates + 1);
    window.closing = true;
    window.unload();
    rt::setPauseState(false);
}

void TestMdiParent::colorChangeReachesEveryForm()
{
    int received = 0;
    rt::attachMessage(
        &frmDDE::instance(), rt::WM_SYSCOLORCHANGE, [&](rt::Long, rt::Long, rt::Long) {
            ++received;
            return 0;
        });
    rt::sendMessage(&frmMdiParent::instance(), rt::WM_SYSCOLORCHANGE, 0, 0);
    rt::detachMessage(&frmDDE::instance(), rt::WM_SYSCOLORCHANGE);
    QCOMPARE(received, 1);
}

void TestMdiParent::bandToggle_data()
{
    QTest::addColumn<QString>("bandName");
    QTest::addColumn<QString>("setting"); // the registry value that follows, or ""

    QTest::newRow("tool bar: the application setting") << u"Toolbar"_qs << u"ToolBar"_qs;
    QTest::newRow("other band: the band alone") << u"Help"_qs << QString();
}

// A band toggle (commands 1200-9999) turns the band named in the tool's name over.
void TestMdiParent::bandToggle()
{
    QFETCH(QString, bandName);
    QFETCH(QString, setting);
    const MnuBandPtr band = gApp->Menu()->MnuBands(bandName);
    const rt::Int before = band->Visible();
    const bar::ToolPtr tool
        = bar::Tool::create(1201, u"0"_qs + kSep + bandName + kSep + u"1201"_qs);

    frmMdiParent::instance().TB_ToolClick(tool.get());
    QCOMPARE(band->Visible(), rt::BoolToInt(!before));
    if (!setting.isEmpty()) {
        QCOMPARE(gApp->ToolbarVisible(), rt::BoolToInt(!before));
        QCOMPARE(regValue(setting), before ? u"0"_qs : u"1"_qs);
    }
    frmMdiParent::instance().TB_ToolClick(tool.get());
    QCOMPARE(band->Visible(), before);
}

// A tool with an Action runs the Action, not the built-in command of its number.
void TestMdiParent::actionBeforeBuiltIn()
{
    const MnuToolPtr exitTool = gApp->Menu()->MnuBands(u"File"_qs)->MnuTools(u"110"_qs);
    exitTool->setAction(u"[Norvalis.Common.SetItem('clicked', 'yes')]"_qs);
    frmMdiParent::instance().TB_ToolClick(exitTool->BarTool().get());
    QCOMPARE(gApp->ClsCommon().Common_Item(u"clicked"_qs).toString(), u"yes"_qs);
    QVERIFY(!gTerminating);
    exitTool->setAction(QString());
}

void TestMdiParent::exitCommand()
{
    const MnuToolPtr exitTool = gApp->Menu()->MnuBands(u"File"_qs)->MnuTools(u"110"_qs);
    gTerminatePrompt = 0;
    frmMdiParent::instance().TB_ToolClick(exitTool->BarTool().get());
    QVERIFY(gTerminating);
    QCOMPARE(gTerminatePrompt, rt::Int(3));
}

// About (405) shows the box modally with its OK button.
void TestMdiParent::aboutCommand()
{
    const MnuToolPtr about = gApp->Menu()->MnuBands(u"Help"_qs)->MnuTools(u"405"_qs);
    rt::setDialogsWaitOffscreen(true);
    bool shown = false;
    bool okVisible = false;
    QTimer::singleShot(0, this, [&] {
        frmAboutBox &box = frmAboutBox::instance();
        shown = box.isModalShown();
        okVisible = box.cmdOK->isVisible();
        box.cmdOK->click();
    });
    frmMdiParent::instance().TB_ToolClick(about->BarTool().get());
    rt::setDialogsWaitOffscreen(false);
    QVERIFY(shown);
    QVERIFY(okVisible);
    QVERIFY(!frmAboutBox::instance().isLoaded());
}

void TestMdiParent::recentFileList_data()
{
    QTest::addColumn<QStringList>("recent");
    QTest::addColumn<QStringList>("tools"); // the File band from the placeholder on

    QTest::newRow("empty list: placeholder hidden")
        << QStringList { QString(), QString(), QString(), QString() }
        << QStringList { u"113 Recent Files -"_qs, u"|"_qs, u"110 E&xit"_qs };
    QTest::newRow("entry 2 empty: entries keep their digits and positions")
        << QStringList { u"/a.nvcf"_qs, u"/b.nvcf"_qs, QString(), u"/d.nvcf"_qs }
        << QStringList { u"113 &1  /a.nvcf"_qs, u"114 &2  /b.nvcf"_qs, u"|"_qs,
               u"116 &4  /d.nvcf"_qs, u"110 E&xit"_qs };
}

// Opening the File band lists the recent files after their placeholder; opening it again
// leaves one copy.
void TestMdiParent::recentFileList()
{
    QFETCH(QStringList, recent);
    QFETCH(QStringList, tools);
    for (int i = 0; i < recent.size(); ++i)
        gApp->setRecent(rt::Int(i), recent.at(i));
    const bar::BandPtr band = controlBand(u"File"_qs);
    for (int opening = 0; opening < 2; ++opening) {
        bool cancel = false;
        frmMdiParent::instance().TB_BandOpen(band.get(), cancel);
        QVERIFY(!cancel);
        const QStringList list = toolList(*band);
        const qsizetype from = list.indexOf(tools.first());
        QVERIFY2(from >= 0, qPrintable(list.join(u", "_qs)));
        QCOMPARE(list.mid(from), tools);
    }
    const bar::ToolPtr fourth = band->tools().item(toolList(*band).indexOf(tools.last()) - 1);
    if (fourth->toolId() == 116)
        QCOMPARE(fourth->name(), u"0"_qs + kSep + u"File"_qs + kSep + u"116"_qs);
}

// The band list (placeholder 1200) names each tool bar of the menu with its visibility, and the
// session-window placeholder hides while there is no session.
void TestMdiParent::bandList()
{
    const bar::BandPtr view = controlBand(u"View"_qs);
    bool cancel = false;
    frmMdiParent::instance().TB_BandOpen(view.get(), cancel);
    const bar::ToolPtr placeholder = view->tools().item(0);
    QCOMPARE(placeholder->caption(), gApp->Menu()->MnuBands(u"Toolbar"_qs)->Caption());
    QCOMPARE(placeholder->isChecked(), gApp->ToolbarVisible() != 0);
    QCOMPARE(placeholder->name(), u"0"_qs + kSep + u"Toolbar"_qs + kSep + u"1200"_qs);

    const bar::BandPtr window = controlBand(u"Window"_qs);
    frmMdiParent::instance().TB_BandOpen(window.get(), cancel);
    QVERIFY(!cancel);
    QVERIFY(toolList(*window).contains(u"514 Session Windows -"_qs));
}

void TestMdiParent::bandWithoutMenuNumber()
{
    bar::ActiveBar control;
    const bar::BandPtr band = control.bands().add(u"Loose"_qs);
    bool cancel = false;
    frmMdiParent::instance().TB_BandOpen(band.get(), cancel);
    QVERIFY(cancel);
}

void TestMdiParent::pasteFromFileWithoutSession()
{
    frmMdiParent::instance().PasteFromFile(); // no dialog, nothing happens
    QVERIFY(frmMdiParent::instance().isVisible());
}

void TestMdiParent::settingsCommands_data()
{
    QTest::addColumn<bool>("sessionMenu");
    QTest::addColumn<bool>("activeSession");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("page"); // the page shown first, "" when no dialog opens
    QTest::addColumn<int>("pages");
    QTest::newRow("705 without a session: the program's page") << false << false << "705"
                                                               << "Program" << 1;
    QTest::newRow("705 on a session: the first page") << true << true << "705" << "Connection" << 8;
    QTest::newRow("203: printer page") << true << true << "203" << "Printer" << 8;
    QTest::newRow("313: mouse page") << true << true << "313" << "Mouse" << 8;
}

// The settings commands open the settings dialog over the active session's settings on their
// start page.
void TestMdiParent::settingsCommands()
{
    QFETCH(bool, sessionMenu);
    QFETCH(bool, activeSession);
    QFETCH(QString, command);
    QFETCH(QString, page);
    QFETCH(int, pages);
    MenuPtr menu = gApp->Menu();
    if (sessionMenu) {
        const auto session = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(QString()));
        menu = session->Menu();
        if (activeSession) {
            session->Show();
            session->Activate();
            QTRY_VERIFY(gApp->ActiveClsSession());
        }
    }
    MnuToolPtr tool;
    for (const MnuBandPtr &band : menu->NewEnum()) {
        for (const MnuToolPtr &t : band->NewEnum()) {
            if (!tool && t->ToolID() % 100000 == command.toInt())
                tool = t;
        }
    }
    QVERIFY(tool);
    rt::setDialogsWaitOffscreen(true);
    QString shown;
    int shownPages = 0;
    QTimer::singleShot(0, this, [&] {
        if (auto *window = qobject_cast<SettingsWindow *>(QApplication::activeModalWidget())) {
            shown = window->currentPageTitle();
            shownPages = int(window->pageTitles().size());
            window->cmdCancel->click();
        }
    });
    frmMdiParent::instance().TB_ToolClick(tool->BarTool().get());
    rt::setDialogsWaitOffscreen(false);
    QCOMPARE(shown, page);
    QCOMPARE(shownPages, pages);
}

QTEST_MAIN(TestMdiParent)
#include "tst_mdiparnt.moc"
