// The main window: its close request becoming the application's shutdown, its unload from code,
// the menu it shows while minimized or restored, its window messages, the routing of tool
// clicks and band openings, and the command table clicked through real tools with two sessions.

#include "app/files.h"
#include "app/tst_startup_env.h"

#include "app/about.h"
#include "app/common.h"
#include "app/msgbox.h"
#include "app/profile.h"
#include "app/splash.h"
#include "commondlg/commondlg.h"
#include "common/modal.h"
#include "commondlg/helpwindow.h"
#include "dialogs/download.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/upload.h"
#include "emulator/emulator.h"
#include "menus/menus.h"
#include "menus/mnuband.h"
#include "menus/mnutool.h"
#include "platform/fakehost.h"
#include "print/spooler.h"
#include "runtime/interaction.h"
#include "runtime/messages.h"
#include "runtime/timer.h"
#include "session/mdichild.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiArea>
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
    void dynamicLists_data();
    void dynamicLists();
    void bandList();
    void bandWithoutMenuNumber();
    void pasteFromFileWithoutSession();
    void settingsCommands_data();
    void settingsCommands();
    void settingsConnect_data();
    void settingsConnect();
    void commandTable_data();
    void commandTable();
    void runScriptFolder_data();
    void runScriptFolder();

private:
    QString home(const QString &name) const { return m_env.homeDir() + u'/' + name; }
    // Two sessions: "first" without a device, "second" on the loopback host (active).
    void openTwoSessions();
    void prepare(const QString &step);
    QString observe(const QString &what) const;
    std::shared_ptr<clsSession> session(const QString &name) const;
    bar::ToolPtr toolOf(rt::Long menuNo, rt::Long command) const;

    StartupEnvironment m_env;
    QStringList m_errors;
    std::unique_ptr<FakeHost> m_host;
    QStringList m_asked; // titles of the file dialogs asked, and "script file"
    commondlg::Answer m_answer;
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

void TestMdiParent::dynamicLists_data()
{
    QTest::addColumn<QString>("band");
    QTest::addColumn<QStringList>("recent");
    QTest::addColumn<QStringList>("toolBars"); // added to the main window's menu, in order
    QTest::addColumn<QStringList>("tools"); // the band from the placeholder on

    QTest::newRow("empty list: placeholder hidden")
        << u"File"_qs << QStringList { QString(), QString(), QString(), QString() } << QStringList()
        << QStringList { u"113 Recent Files -"_qs, u"|"_qs, u"110 E&xit"_qs };
    QTest::newRow("entry 2 empty: entries keep their digits and positions")
        << u"File"_qs << QStringList { u"/a.nvcf"_qs, u"/b.nvcf"_qs, QString(), u"/d.nvcf"_qs }
        << QStringList()
        << QStringList { u"113 &1  /a.nvcf"_qs, u"114 &2  /b.nvcf"_qs, u"|"_qs,
               u"116 &4  /d.nvcf"_qs, u"110 E&xit"_qs };
    QTest::newRow("tool bars listed in the menu's order")
        << u"View"_qs << QStringList() << QStringList { u"Lower"_qs, u"Side"_qs }
        << QStringList { u"1200 &Toolbar"_qs, u"1201 Lower"_qs, u"1202 Side"_qs };
}

// Opening a band lists the recent files (or the tool bars) after their placeholder; opening it
// again leaves one copy.
void TestMdiParent::dynamicLists()
{
    QFETCH(QString, band);
    QFETCH(QStringList, recent);
    QFETCH(QStringList, toolBars);
    QFETCH(QStringList, tools);
    for (int i = 0; i < recent.size(); ++i)
        gApp->setRecent(rt::Int(i), recent.at(i));
    for (const QString &name : toolBars) {
        const MnuBandPtr added = gApp->Menu()->AddNew(name);
        QVERIFY(added);
        added->setBandType(bar::BandNormal);
        added->setCaption(name);
    }
    const bar::BandPtr opened = controlBand(band);
    for (int opening = 0; opening < 2; ++opening) {
        bool cancel = false;
        frmMdiParent::instance().TB_BandOpen(opened.get(), cancel);
        QVERIFY(!cancel);
        const QStringList list = toolList(*opened);
        const qsizetype from = list.indexOf(tools.first());
        QVERIFY2(from >= 0, qPrintable(list.join(u", "_qs)));
        QCOMPARE(list.mid(from), tools);
    }
    const bar::ToolPtr fourth = opened->tools().item(toolList(*opened).indexOf(tools.last()) - 1);
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
    QTest::newRow("705 on a session: the first page") << true << true << "705"
                                                      << "Connection" << 8;
    QTest::newRow("203: printer page") << true << true << "203"
                                       << "Printer" << 8;
    QTest::newRow("313: mouse page") << true << true << "313"
                                     << "Mouse" << 8;
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
        const auto session
            = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(QString()));
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
    QString shown;
    int shownPages = 0;
    {
        const ModalAnswer<SettingsWindow> answer([&](SettingsWindow &window) {
            shown = window.currentPageTitle();
            shownPages = int(window.pageTitles().size());
            window.cmdCancel->click();
        });
        frmMdiParent::instance().TB_ToolClick(tool->BarTool().get());
    }
    QCOMPARE(shown, page);
    QCOMPARE(shownPages, pages);
}

// OK in the settings window after a change of the connection: a session without a link connects
// at once (and shows what the host sends); a connected one is asked whether to connect again and
// does so only on Yes (after No the old link's text keeps showing); a change elsewhere leaves the
// link alone. Cancel connects nothing, even where an OK refused by a later field has written the
// connection already.
void TestMdiParent::settingsConnect_data()
{
    QTest::addColumn<bool>("connected"); // to the first host before the dialog opens
    QTest::addColumn<QString>("change"); // "port": to the second host; "rows": the screen's;
                                         // "port, refused": OK refused, then Cancel
    QTest::addColumn<int>("answer"); // to the question, when one is asked
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<int>("secondHost"); // connections the second host saw
    QTest::addColumn<int>("firstHost");
    const QStringList question { u"The connection settings have changed.\nDo you want to connect "
                                 "again with them now?"_qs };
    QTest::newRow("new session connects") << false << "port" << 0 << QStringList() << 1 << 0;
    QTest::newRow("connected, No keeps the link") << true << "port" << 7 << question << 0 << 1;
    QTest::newRow("connected, Yes connects again") << true << "port" << 6 << question << 1 << 1;
    QTest::newRow("other page: nothing asked") << true << "rows" << 6 << QStringList() << 0 << 1;
    QTest::newRow("new session, OK refused, Cancel")
        << false << "port, refused" << 0 << QStringList() << 0 << 0;
}

void TestMdiParent::settingsConnect()
{
    QFETCH(bool, connected);
    QFETCH(QString, change);
    QFETCH(int, answer);
    FakeHost first, second;
    QVERIFY(first.isListening() && second.isListening());
    QStringList asked;
    QList<rt::Int> flagsAsked;
    frmMsgBox::setAnswerHook([&](const QString &prompt, rt::Int flags) {
        asked << prompt;
        flagsAsked << flags;
        return rt::Int(answer);
    });
    QString file;
    if (connected) {
        file = home(u"linked.nvcf"_qs);
        writeBytes(file, "[Connection]\nDevice=2\nHostName=127.0.0.1\nHostPort="
                + first.portText().toUtf8() + "\n");
    }
    const auto session
        = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(file));
    QTRY_COMPARE(gApp->ActiveClsSession(), SessionPtr(session));
    if (connected)
        QVERIFY(first.waitForConnection(1, 10000));
    {
        const ModalAnswer<SettingsWindow> settings([&](SettingsWindow &window) {
            if (change == u"rows") {
                window.findChild<QLineEdit *>(u"emu:NormRows"_qs)->setText(u"30"_qs);
            } else {
                auto *device = window.findChild<QComboBox *>(u"emu:Device"_qs);
                device->setCurrentIndex(device->findText(u"TCP/IP"_qs));
                window.findChild<QLineEdit *>(u"emu:HostName"_qs)->setText(u"127.0.0.1"_qs);
                window.findChild<QLineEdit *>(u"emu:HostPort"_qs)->setText(second.portText());
            }
            if (change == u"port, refused") {
                // A mouse table the session refuses when it is stored, after the connection.
                const QString table = home(u"large.tbl"_qs);
                writeBytes(table, QByteArray(2 * 1024 * 1024, ';'));
                window.findChild<QLineEdit *>(u"session:MouseTable"_qs)->setText(table);
                window.cmdOK->click();
                QVERIFY(window.isVisible());
                window.cmdCancel->click();
            } else {
                window.cmdOK->click();
            }
        });
        const MnuToolPtr tool = session->Menu()->MnuBands(u"Tools"_qs)->MnuTools(u"705"_qs);
        frmMdiParent::instance().TB_ToolClick(tool->BarTool().get());
    }
    frmMsgBox::setAnswerHook(nullptr);
    QTEST(asked, "asked");
    for (rt::Int flags : flagsAsked) // No is the answer when nobody is there to give one
        QCOMPARE(flags & MsgBox::DefaultSecond, int(MsgBox::DefaultSecond));
    QFETCH(int, secondHost);
    if (secondHost > 0) {
        QVERIFY(second.waitForConnection(secondHost, 10000));
        second.send("login: ");
        QTRY_COMPARE(session->Emulator()->screen()->rowText(0).trimmed(), u"login:"_qs);
    } else {
        // A session without a link has none made.
        QCOMPARE(session->Emulator()->channel() != nullptr, connected);
        if (connected) {
            // The link to the first host is the one the session had (not one being made again); what
            // it sends is shown, and the status line names it and, when the settings name another
            // host, says how to change over.
            QVERIFY(session->Emulator()->Connected() != 0);
            first.send("Password: ");
            QTRY_COMPARE(session->Emulator()->screen()->rowText(0).trimmed(), u"Password:"_qs);
            const QString status
                = session->Menu()->MnuBands(u"Status Line"_qs)->MnuTools(u"1103"_qs)->Caption();
            QVERIFY2(status.contains(u"127.0.0.1:"_qs + first.portText()), qPrintable(status));
            QCOMPARE(status.endsWith(u"new settings wait for Tools > Reset Connection"_qs),
                change == u"port"_qs);
        }
    }
    QCOMPARE(second.connectionCount(), secondHost);
    QTEST(first.connectionCount(), "firstHost");
    QTRY_COMPARE(first.hasClient(), connected && secondHost == 0);
    session->setChanged(rt::False);
}

// ---- The command table through real tool clicks ----

std::shared_ptr<clsSession> TestMdiParent::session(const QString &name) const
{
    for (const SessionPtr &each : gApp->ClsSessions().NewEnum()) {
        if (QFileInfo(each->FileName()).baseName() == name)
            return std::static_pointer_cast<clsSession>(each);
    }
    return nullptr;
}

// The tool of a command in a menu; an entry of a dynamic list (recent files, session windows) is
// found in the band that holds its list after the band has opened.
bar::ToolPtr TestMdiParent::toolOf(rt::Long menuNo, rt::Long command) const
{
    const rt::Long placeholder = command > 514 && command < 600 ? 514 : command;
    for (const MnuBandPtr &band : gMenus->item(QVariant(menuNo))->NewEnum()) {
        for (const MnuToolPtr &each : band->NewEnum()) {
            if (each->ToolID() != placeholder)
                continue;
            if (placeholder == command)
                return each->BarTool();
            const bar::BandPtr barBand
                = TheActiveBar().bands().item(QString::number(menuNo) + kSep + band->Name());
            bool cancel = false;
            frmMdiParent::instance().TB_BandOpen(barBand.get(), cancel);
            for (const bar::ToolPtr &listed : barBand->tools()) {
                if (listed->toolId() == menuNo * 100000 + command)
                    return listed;
            }
        }
    }
    return nullptr;
}

void TestMdiParent::openTwoSessions()
{
    m_host = std::make_unique<FakeHost>();
    QVERIFY(m_host->isListening());
    writeBytes(home(u"first.nvcf"_qs), "[Norvalis]\nTermType=9\n");
    writeBytes(home(u"second.nvcf"_qs),
        "[Norvalis]\nTermType=9\n[Connection]\nDevice=2\nHostName=127.0.0.1\nHostPort="
            + m_host->portText().toUtf8() + "\n");
    writeBytes(home(u"third.nvcf"_qs), "[Norvalis]\nTermType=9\n");
    gApp->setInitChildWindowState(0);
    gApp->ClsSessions().Add(home(u"first.nvcf"_qs));
    gApp->ClsSessions().Add(home(u"second.nvcf"_qs));
    QVERIFY(m_host->waitForConnection(1, 10000));
    QTRY_VERIFY(!gCleanupPending);
    QCOMPARE(gApp->ActiveClsSession(), SessionPtr(session(u"second"_qs)));
    // Help commands that no default menu carries.
    gApp->Menu()->MnuBands(u"Help"_qs)->AddNew(401);
    gApp->Menu()->MnuBands(u"Help"_qs)->AddNew(404);
}

void TestMdiParent::prepare(const QString &step)
{
    emu::nvEmulator &first = *session(u"first"_qs)->Emulator();
    if (step.startsWith(u"answer "_qs)) {
        m_answer = home(step.mid(7));
    } else if (step == u"arrange tiled"_qs) {
        frmMdiParent::instance().arrange(1);
    } else if (step == u"arrange cascaded"_qs) {
        frmMdiParent::instance().arrange(0);
    } else if (step == u"minimize both"_qs) {
        for (const char *name : { "first", "second" })
            session(QLatin1String(name))->frmSession()->setWindowState(rt::vbMinimized);
    } else if (step == u"extended both"_qs) {
        for (const char *name : { "first", "second" })
            session(QLatin1String(name))->Emulator()->setExtendedMode(1);
    } else if (step == u"full history both"_qs) {
        for (const char *name : { "first", "second" }) {
            rt::Int percent = 100;
            session(QLatin1String(name))->Emulator()->setHistoryVisible(&percent);
        }
    } else if (step == u"retitle first"_qs) {
        session(u"first"_qs)->setCaption(u"Retitled"_qs);
    } else if (step == u"text on first"_qs) {
        first.Emulate(u"hello world\r\n"_qs);
    } else if (step == u"select on first"_qs) {
        first.Emulate(u"hello world\r\n"_qs);
        first.SetSelection(0, 0, 4, 0);
    } else if (step == u"history on first"_qs) {
        for (int i = 0; i < 40; ++i)
            first.Emulate(u"line %1\r\n"_qs.arg(i));
    } else if (step == u"clipboard"_qs) {
        QGuiApplication::clipboard()->setText(u"pasted text"_qs);
    } else if (step == u"recent first"_qs) {
        for (rt::Int i = 0; i < gApp->RecentListSize(); ++i)
            gApp->setRecent(i, i == 0 ? home(u"first.nvcf"_qs) : QString());
    } else if (step == u"recent third"_qs) {
        gApp->setRecent(0, home(u"third.nvcf"_qs));
    } else if (step == u"layout current"_qs) {
        gLayoutFile = home(u"current.nvly"_qs);
    } else if (step == u"capture folder"_qs) {
        QDir(home(u"prints"_qs)).removeRecursively();
        QVERIFY(QDir().mkpath(home(u"prints"_qs)));
        session(u"first"_qs)->setDefaultCaptureDir(home(u"prints"_qs));
    } else {
        QFAIL(qPrintable(u"unknown step "_qs + step));
    }
}

QString TestMdiParent::observe(const QString &what) const
{
    const auto both = [this](const std::function<int(emu::nvEmulator &)> &value) {
        return QString::number(value(*session(u"first"_qs)->Emulator())) + u' '
            + QString::number(value(*session(u"second"_qs)->Emulator()));
    };
    if (what == u"sessions"_qs) {
        QStringList names;
        for (const SessionPtr &each : gApp->ClsSessions().NewEnum())
            names << (each->FileName().isEmpty() ? u"-"_qs
                                                 : QFileInfo(each->FileName()).baseName());
        return names.join(u',');
    }
    if (what == u"active"_qs) {
        const SessionPtr active = gApp->ActiveClsSession();
        return active ? QFileInfo(active->FileName()).baseName() : QString();
    }
    if (what == u"asked"_qs)
        return m_asked.join(u',');
    if (what == u"recent"_qs) {
        QStringList names;
        for (rt::Int i = 0; i < gApp->RecentListSize(); ++i) {
            if (!gApp->Recent(i).isEmpty())
                names << QFileInfo(gApp->Recent(i)).baseName();
        }
        return names.join(u',');
    }
    if (what == u"reported"_qs) {
        const QString wanted = u"gone/renamed.nvcf"_qs;
        return m_errors.size() == 1 && m_errors.first().contains(u"75"_qs)
                && m_errors.first().contains(wanted)
            ? u"75 "_qs + wanted
            : m_errors.join(u" | "_qs);
    }
    if (what == u"saved title"_qs)
        return Profile::GetIniString(
            u"Norvalis"_qs, u"SessionTitle"_qs, QString(), home(u"first.nvcf"_qs));
    if (what == u"layout"_qs)
        return QFileInfo(gLayoutFile).fileName()
            + (Files::IsLayoutFile(gLayoutFile) ? u" written"_qs : u" missing"_qs);
    if (what == u"shutdown"_qs)
        return gTerminating ? u"prompt "_qs + QString::number(gTerminatePrompt) : u"none"_qs;
    if (what == u"printer"_qs)
        return both([](emu::nvEmulator &e) { return e.PrinterMode(); });
    if (what == u"extended"_qs)
        return both([](emu::nvEmulator &e) { return e.ExtendedMode(); });
    if (what == u"locked"_qs)
        return both([](emu::nvEmulator &e) { return e.LockHistory(); });
    if (what == u"history"_qs)
        return both([](emu::nvEmulator &e) { return e.HistoryVisible(); });
    if (what == u"pdf files"_qs)
        return QString::number(QDir(home(u"prints"_qs)).entryList({ u"*.pdf"_qs }).size());
    if (what == u"clipboard"_qs)
        return QGuiApplication::clipboard()->text().trimmed().section(u'\n', 0, 0);
    if (what == u"host received"_qs)
        return QString::fromUtf8(m_host->received());
    if (what == u"connections"_qs)
        return QString::number(m_host->connectionCount());
    if (what == u"first screen"_qs)
        return session(u"first"_qs)->Emulator()->screen()->rowText(0).trimmed();
    if (what == u"transfer dialog"_qs) {
        QStringList shown;
        if (frmUpload::instance().isLoaded() && frmUpload::instance().isVisible())
            shown << u"upload"_qs;
        if (frmDownload::instance().isLoaded() && frmDownload::instance().isVisible())
            shown << u"download"_qs;
        return shown.join(u',');
    }
    if (what == u"help"_qs)
        return commondlg::HelpWindow::current() && commondlg::HelpWindow::current()->isVisible()
            ? u"shown"_qs
            : u"hidden"_qs;
    if (what == u"arrangement"_qs) {
        QList<QRect> frames;
        bool minimized = true;
        for (const char *name : { "first", "second" }) {
            const QWidget *frame = session(QLatin1String(name))->frmSession()->windowWidget();
            frames << frame->geometry();
            minimized = minimized && frame->isMinimized();
        }
        const QRect area = frmMdiParent::instance().mdiArea()->viewport()->rect();
        const auto all = [&](const std::function<bool(const QRect &)> &test) {
            return std::all_of(frames.cbegin(), frames.cend(), test);
        };
        if (minimized && all([&](const QRect &r) { return r.bottom() == area.bottom(); }))
            return u"along the bottom"_qs;
        if (all([&](const QRect &r) { return r.x() == 0 && r.width() == area.width(); }))
            return u"one above the other"_qs;
        if (all([&](const QRect &r) { return r.y() == 0 && r.height() == area.height(); }))
            return u"side by side"_qs;
        const QPoint step = frames.at(1).topLeft() - frames.at(0).topLeft();
        if (step.x() > 0 && step.y() > 0)
            return u"cascaded"_qs;
        return u"elsewhere"_qs;
    }
    return u"?"_qs + what;
}

void TestMdiParent::commandTable_data()
{
    QTest::addColumn<QString>("menu"); // "main", or the session whose menu it is
    QTest::addColumn<int>("command");
    QTest::addColumn<QStringList>("steps"); // prepared before the click
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char *name, const char *menu, int command, QStringList steps,
                         const char *what, const QString &expected) {
        QTest::newRow(name) << QString::fromLatin1(menu) << command << steps
                            << QString::fromLatin1(what) << expected;
    };
    row("101 new session", "main", 101, {}, "sessions", u"first,second,-"_qs);
    row("103 open", "main", 103, { u"answer third.nvcf"_qs }, "sessions", u"first,second,third"_qs);
    row("103 open asks", "main", 103, {}, "asked", u"Open"_qs);
    row("104 close the active window", "second", 104, {}, "sessions", u"first"_qs);
    row("105 save the menu's own session", "first", 105, { u"retitle first"_qs }, "saved title",
        u"Retitled"_qs);
    row("106 save as", "first", 106, { u"answer renamed.nvcf"_qs }, "sessions",
        u"renamed,second"_qs);
    row("106 save as takes the old name off the recent list", "first", 106,
        { u"recent first"_qs, u"answer renamed.nvcf"_qs }, "recent", u"renamed"_qs);
    row("106 save as into a folder that cannot be written tells why", "first", 106,
        { u"answer gone/renamed.nvcf"_qs }, "reported", u"75 gone/renamed.nvcf"_qs);
    row("108 save layout without a name asks", "main", 108, { u"answer desk.nvly"_qs }, "layout",
        u"desk.nvly written"_qs);
    row("108 save layout under its name", "main", 108, { u"layout current"_qs }, "asked",
        QString());
    row("109 save layout as", "second", 109, { u"answer other.nvly"_qs }, "layout",
        u"other.nvly written"_qs);
    row("110 exit", "main", 110, {}, "shutdown", u"prompt 3"_qs);
    row("113 recent file", "main", 113, { u"recent third"_qs }, "sessions",
        u"first,second,third"_qs);
    row("201 printer logging on", "second", 201, {}, "printer", u"0 1"_qs);
    row("202 print screen", "first", 202, { u"capture folder"_qs, u"text on first"_qs },
        "pdf files", u"1"_qs);
    row("303 copy", "first", 303, { u"select on first"_qs }, "clipboard", u"hello"_qs);
    row("304 copy history", "first", 304, { u"history on first"_qs }, "clipboard", u"line 0"_qs);
    row("305 paste", "second", 305, { u"clipboard"_qs }, "host received", u"pasted text"_qs);
    row("306 paste from file asks", "second", 306, {}, "asked", u"Select File to Paste"_qs);
    row("400 help contents", "main", 400, {}, "help", u"shown"_qs);
    row("401 help index", "main", 401, {}, "help", u"shown"_qs);
    row("404 help search", "main", 404, {}, "help", u"shown"_qs);
    row("501 cascade", "main", 501, { u"arrange tiled"_qs }, "arrangement", u"cascaded"_qs);
    row("502 tile horizontally", "main", 502, { u"arrange cascaded"_qs }, "arrangement",
        u"one above the other"_qs);
    row("503 tile vertically", "first", 503, { u"arrange cascaded"_qs }, "arrangement",
        u"side by side"_qs);
    row("504 arrange icons", "main", 504, { u"minimize both"_qs }, "arrangement",
        u"along the bottom"_qs);
    row("505 normal screen", "second", 505, { u"extended both"_qs }, "extended", u"1 0"_qs);
    row("506 extended screen of the menu's session", "first", 506, {}, "extended", u"1 0"_qs);
    row("507 lock history", "second", 507, {}, "locked", u"0 -1"_qs);
    row("508 unlock history toggles too", "first", 508, {}, "locked", u"-1 0"_qs);
    row("509 history status tool does nothing", "first", 509, { u"full history both"_qs },
        "history", u"100 100"_qs);
    row("510 history off", "first", 510, { u"full history both"_qs }, "history", u"0 100"_qs);
    row("511 history half", "first", 511, {}, "history", u"50 0"_qs);
    row("512 history full", "second", 512, {}, "history", u"0 100"_qs);
    row("513 run script asks for the file", "main", 513, {}, "asked", u"script file"_qs);
    row("514 first session window", "main", 514, {}, "active", u"first"_qs);
    row("515 second session window", "first", 515, {}, "active", u"second"_qs);
    row("601 upload", "second", 601, {}, "transfer dialog", u"upload"_qs);
    row("602 download", "first", 602, {}, "transfer dialog", u"download"_qs);
    row("707 reset terminal", "first", 707, { u"text on first"_qs }, "first screen", QString());
    row("708 reset connection", "second", 708, {}, "connections", u"2"_qs);
}

// Each command of the table, clicked through the tool of a real menu (the main window's, or a
// session's, whose commands reach that session whichever window is active).
void TestMdiParent::commandTable()
{
    QFETCH(QString, menu);
    QFETCH(int, command);
    QFETCH(QStringList, steps);
    QFETCH(QString, what);
    QFETCH(QString, expected);
    m_asked.clear();
    m_answer.reset();
    commondlg::setHook([this](const commondlg::Request &request) {
        m_asked << request.title;
        return m_answer;
    });
    gScriptHost->setFileChooser([this](QWidget *, const QString &) {
        m_asked << u"script file"_qs;
        return QString();
    });
    // Closing the connected session asks whether to disconnect: yes.
    frmMsgBox::setAnswerHook([](const QString &, rt::Int) { return rt::Int(6); });
    openTwoSessions();
    if (command == 202 && !print::defaultPrinter().isEmpty())
        QSKIP("a default printer is installed: print screen would print on it");
    for (const QString &step : steps)
        prepare(step);
    const rt::Long menuNo = menu == u"main"_qs ? 0 : rt::CLng(rt::Val(session(menu)->ID()));
    const bar::ToolPtr tool = toolOf(menuNo, command);
    QVERIFY2(tool, "the menu has no such tool");

    frmMdiParent::instance().TB_ToolClick(tool.get());
    QTRY_COMPARE(observe(what), expected);
    if (what == u"reported"_qs)
        m_errors.clear();
    commondlg::setHook(nullptr);
    frmMsgBox::setAnswerHook([](const QString &, rt::Int) { return rt::Int(7); });
    if (commondlg::HelpWindow::current())
        commondlg::HelpWindow::current()->close();
}

void TestMdiParent::runScriptFolder_data()
{
    QTest::addColumn<bool>("withFile");
    QTest::newRow("session with a file") << true;
    QTest::newRow("session without a file") << false;
}

// Run Script asks for the script in the active session file's folder, else in the folder the
// program started in (not the home or program folder).
void TestMdiParent::runScriptFolder()
{
    QFETCH(bool, withFile);
    openTwoSessions();
    const SessionPtr active = gApp->ActiveClsSession();
    QVERIFY(active);
    if (!withFile)
        active->setFileName(QString());
    QVERIFY(QDir().mkpath(home(u"start"_qs)));
    const QString startDir = std::exchange(gStartDir, home(u"start/"_qs));
    const auto restore = qScopeGuard([&] {
        gStartDir = startDir;
        gScriptHost->setFileChooser([](QWidget *, const QString &) { return QString(); });
    });
    std::optional<QString> asked;
    gScriptHost->setFileChooser([&](QWidget *, const QString &directory) {
        asked = directory;
        return QString();
    });
    const bar::ToolPtr tool = toolOf(rt::CLng(rt::Val(active->ID())), 513);
    QVERIFY(tool);
    frmMdiParent::instance().TB_ToolClick(tool.get());
    QTRY_VERIFY(asked.has_value());
    QCOMPARE(*asked, withFile ? QFileInfo(home(u"second.nvcf"_qs)).absolutePath() : home(u"start"_qs));
}

QTEST_MAIN(TestMdiParent)
#include "tst_mdiparnt.moc"
