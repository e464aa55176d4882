#include "app/files.h"
#include "app/posform.h"
#include "app/tst_norvalis_fakes.h"
#include "registry/registry.h"
#include "runtime/screen.h"

#include <QtTest>

namespace {

// "name=text" entries into the registry.
void putRegistry(const QStringList &entries)
{
    for (const QString &entry : entries)
        putRegistry(entry.section(u'=', 0, 0), entry.section(u'=', 1));
}

QRect normalRect(const WindowPlacement &placement)
{
    return QRect(
        QPoint(placement.left, placement.top), QPoint(placement.right - 1, placement.bottom - 1));
}

} // namespace

class tst_posform : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestMainWindow> m_main;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        registry::setStoreFile(registry::Root::CurrentUser, m_dir->filePath(u"user.reg"_qs));
        gAppDir = m_dir->path() + u'/';
        m_main = registeredMainWindow();
    }
    void cleanup()
    {
        dropMainWindow(m_main);
        QCOMPARE(rt::gErrNest, 0);
    }
    void cleanupTestCase() { registry::setStoreFile(registry::Root::CurrentUser, QString()); }

    // A screen of 19200 x 14400 twips.
    void storedPlacement_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<double>("twipsPerPixel");
        QTest::addColumn<QRect>("normal"); // pixels
        QTest::addColumn<int>("showCmd");

        const QRect standard(QPoint(160, 120), QPoint(1119, 839));
        QTest::newRow("nothing stored") << QStringList {} << 15.0 << standard << 1;
        QTest::newRow("at 120 DPI")
            << QStringList {} << 12.0 << QRect(QPoint(200, 150), QPoint(1399, 1049)) << 1;
        QTest::newRow("left beyond 90% of the screen")
            << QStringList { u"MainLeft=18000"_qs } << 15.0 << standard << 1;
        QTest::newRow("left at 90% exactly")
            << QStringList { u"MainLeft=17280"_qs } << 15.0 << standard << 1;
        QTest::newRow("left just inside stays, and the window reaches past the edge")
            << QStringList { u"MainLeft=17265"_qs } << 15.0
            << QRect(QPoint(1151, 120), QPoint(2110, 839)) << 1;
        QTest::newRow("negative left") << QStringList { u"MainLeft=-300"_qs } << 15.0
                                       << QRect(QPoint(0, 120), QPoint(959, 839)) << 1;
        QTest::newRow("top beyond 90%")
            << QStringList { u"MainTop=13000"_qs } << 15.0 << standard << 1;
        QTest::newRow("width past the right edge")
            << QStringList { u"MainLeft=2400"_qs, u"MainWidth=19000"_qs } << 15.0 << standard << 1;
        QTest::newRow("width that fits") << QStringList { u"MainLeft=1500"_qs, u"MainTop=0"_qs,
            u"MainWidth=3000"_qs, u"MainHeight=1500"_qs }
                                         << 15.0 << QRect(QPoint(100, 0), QPoint(299, 99)) << 1;
        QTest::newRow("height past the bottom edge")
            << QStringList { u"MainTop=0"_qs, u"MainHeight=15000"_qs } << 15.0
            << QRect(QPoint(160, 0), QPoint(1119, 719)) << 1;
        QTest::newRow("width that is no number")
            << QStringList { u"MainLeft=2400"_qs, u"MainWidth=wide"_qs } << 15.0 << standard << 1;
        QTest::newRow("height 0") << QStringList { u"MainHeight=0"_qs } << 15.0 << standard << 1;
        QTest::newRow("negative width")
            << QStringList { u"MainWidth=-50"_qs } << 15.0 << standard << 1;
        QTest::newRow("left that is no number") << QStringList { u"MainLeft=x"_qs } << 15.0
                                                << QRect(QPoint(0, 120), QPoint(959, 839)) << 1;
        QTest::newRow("halves round to even")
            << QStringList { u"MainLeft=1537.5"_qs, u"MainTop=1522.5"_qs } << 15.0
            << QRect(QPoint(102, 101), QPoint(1061, 820)) << 1;
        QTest::newRow("maximized")
            << QStringList { u"MainWindowState=2"_qs } << 15.0 << standard << 3;
        QTest::newRow("minimized")
            << QStringList { u"MainWindowState=1"_qs } << 15.0 << standard << 2;
        QTest::newRow("state 5 restores normal")
            << QStringList { u"MainWindowState=5"_qs } << 15.0 << standard << 1;
        QTest::newRow("state -1 restores normal")
            << QStringList { u"MainWindowState=-1"_qs } << 15.0 << standard << 1;
    }
    void storedPlacement()
    {
        QFETCH(QStringList, stored);
        QFETCH(double, twipsPerPixel);
        QFETCH(QRect, normal);
        QFETCH(int, showCmd);
        putRegistry(stored);
        WindowPlacement current;
        current.flags = 7;
        const WindowPlacement placement
            = Nvmain::StoredPlacement(current, 19200, 14400, twipsPerPixel, twipsPerPixel);
        QCOMPARE(normalRect(placement), normal);
        QCOMPARE(placement.showCmd, showCmd);
        QCOMPARE(placement.flags, 7); // the fields the store does not hold stay as read
    }

    // The offscreen screen: 800 x 800 pixels at 96 DPI, 12000 x 12000 twips.
    void posFormGet_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QRect>("normal"); // the client area, pixels
        QTest::addColumn<int>("state");
        QTest::newRow("nothing stored") << QStringList {} << QRect(100, 100, 600, 600) << 0;
        QTest::newRow("stored rectangle") << QStringList { u"MainLeft=750"_qs, u"MainTop=900"_qs,
            u"MainWidth=6000"_qs, u"MainHeight=4500"_qs }
                                          << QRect(50, 60, 400, 300) << 0;
        QTest::newRow("maximized keeps its normal rectangle")
            << QStringList { u"MainLeft=750"_qs, u"MainTop=900"_qs, u"MainWidth=6000"_qs,
                   u"MainHeight=4500"_qs, u"MainWindowState=2"_qs }
            << QRect(50, 60, 400, 300) << 2;
    }
    void posFormGet()
    {
        QFETCH(QStringList, stored);
        QFETCH(QRect, normal);
        QFETCH(int, state);
        if (rt::ScreenWidth() != 12000 || rt::ScreenHeight() != 12000)
            QSKIP("the screen is not the offscreen platform's 800 x 800 at 96 DPI");
        putRegistry(stored);
        Nvmain::PosFormGet(*m_main);
        m_main->show();
        QTRY_COMPARE(m_main->windowState(), rt::Int(state));
        WindowPlacement placement;
        QVERIFY(Nvmain::GetWindowPlacement(*m_main, placement));
        QCOMPARE(normalRect(placement), normal);
        QCOMPARE(placement.showCmd, state + 1);
        if (state == 0)
            QCOMPARE(m_main->widget()->geometry(), normal);
    }

    void posFormSave_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("normal") << 0;
        QTest::newRow("maximized") << 2;
    }
    void posFormSave()
    {
        QFETCH(int, state);
        m_main->show();
        WindowPlacement placement;
        placement.showCmd = state + 1;
        placement.left = 50;
        placement.top = 60;
        placement.right = 450;
        placement.bottom = 360;
        QVERIFY(Nvmain::SetWindowPlacement(*m_main, placement));
        QTRY_COMPARE(m_main->windowState(), rt::Int(state));
        Nvmain::PosFormSave();
        const QStringList names { u"MainLeft"_qs, u"MainTop"_qs, u"MainWidth"_qs, u"MainHeight"_qs,
            u"MainWindowState"_qs };
        QStringList values;
        for (const QString &name : names)
            values << registryValue(name).value_or(u"<none>"_qs);
        QCOMPARE(values,
            (QStringList { u"750"_qs, u"900"_qs, u"6000"_qs, u"4500"_qs, QString::number(state) }));

        // The next start restores the same window.
        m_main->unload();
        m_main->load();
        Nvmain::PosFormGet(*m_main);
        m_main->show();
        QTRY_COMPARE(m_main->windowState(), rt::Int(state));
        placement = WindowPlacement();
        QVERIFY(Nvmain::GetWindowPlacement(*m_main, placement));
        QCOMPARE(normalRect(placement), QRect(50, 60, 400, 300));
    }

    void posFormSaveOnlyWhenVisible()
    {
        Nvmain::PosFormSave();
        QVERIFY(!registryValue(u"MainLeft"_qs));
        setMainWindow(nullptr);
        Nvmain::PosFormSave();
        QVERIFY(!registryValue(u"MainLeft"_qs));
    }

    void migration_data()
    {
        QTest::addColumn<QStringList>("before"); // registry entries before
        QTest::addColumn<QByteArray>("ini"); // the old NVWIN.INI (null: none)
        QTest::addColumn<QStringList>("after"); // "name=text", or "name!" for no value

        QTest::newRow("window position")
            << QStringList {} << QByteArray("[Settings]\nPos=100,200,9000,7000,2\n")
            << QStringList { u"MainLeft=100"_qs, u"MainTop=200"_qs, u"MainWidth=9000"_qs,
                   u"MainHeight=7000"_qs, u"MainWindowState=2"_qs, u"X34=1"_qs };
        QTest::newRow("no position") << QStringList {} << QByteArray("[Settings]\n")
                                     << QStringList { u"MainLeft!"_qs, u"MainWindowState!"_qs };
        QTest::newRow("state with trailing text")
            << QStringList {} << QByteArray("[Settings]\nPos=1,2,3,4,1x\n")
            << QStringList { u"MainWindowState=1"_qs };
        QTest::newRow("phone book by name lies in the program directory")
            << QStringList {} << QByteArray("[Path]\nPhone=PHONE.DAT\n")
            << QStringList { u"PhoneBook=$APPPHONE.DAT"_qs };
        QTest::newRow("phone book with a directory")
            << QStringList {} << QByteArray("[Path]\nPhone=/data/phone.dat\n")
            << QStringList { u"PhoneBook=/data/phone.dat"_qs };
        QTest::newRow("recent files close up")
            << QStringList {}
            << QByteArray("[RecentFile]\nFile_1=\nFile_2=/b\nFile_3=\nFile_4=/d\n")
            << QStringList { u"RecentFiles\\File_1=/b"_qs, u"RecentFiles\\File_2=/d"_qs,
                   u"RecentFiles\\File_3!"_qs };
        QTest::newRow("options")
            << QStringList {}
            << QByteArray("[Options]\nToolBar=False\nStatusLine=0\nSingleInstance=True\n"
                          "AutoClose=True\nNoCloseWarning=1\nRecentListSize=9\n"
                          "[Settings]\nInitSessionState=1\nScriptEditorFontName=Courier New\n"
                          "ScriptEditorFontSize=10\n[Path]\nCapture=/cap\n[Xfer]\nDefaultDir=/x\n")
            << QStringList { u"ToolBar=0"_qs, u"StatusLine=0"_qs, u"SingleInstance=1"_qs,
                   u"AutoClose=1"_qs, u"NoCloseWarning=1"_qs, u"RecentListSize=9"_qs,
                   u"ChildWindowState=1"_qs, u"ScriptEditor\\FontName=Courier New"_qs,
                   u"ScriptEditor\\FontSize=10"_qs, u"CapturePath=/cap"_qs, u"XferPath=/x"_qs };
        QTest::newRow("no old file writes every default")
            << QStringList {} << QByteArray()
            << QStringList { u"ToolBar=1"_qs, u"StatusLine=1"_qs, u"SingleInstance=1"_qs,
                   u"AutoClose=0"_qs, u"NoCloseWarning=0"_qs, u"ChildWindowState=0"_qs,
                   u"RecentListSize=4"_qs, u"PhoneBook="_qs, u"CapturePath="_qs, u"XferPath="_qs,
                   u"ScriptEditor\\FontName="_qs, u"ScriptEditor\\FontSize="_qs, u"X34=1"_qs,
                   u"MainLeft!"_qs, u"RecentFiles\\File_1!"_qs };
        QTest::newRow("runs once")
            << QStringList { u"X34=1"_qs, u"ToolBar=0"_qs }
            << QByteArray("[Settings]\nPos=100,200,9000,7000,2\n")
            << QStringList { u"MainLeft!"_qs, u"ToolBar=0"_qs, u"SingleInstance!"_qs };
        QTest::newRow("a marker of 0 has not run")
            << QStringList { u"X34=0"_qs } << QByteArray("[Settings]\nPos=5,6,7,8,0\n")
            << QStringList { u"MainLeft=5"_qs, u"X34=1"_qs };
    }
    void migration()
    {
        QFETCH(QStringList, before);
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, after);
        putRegistry(before);
        if (!ini.isNull()) {
            QFile file(m_dir->filePath(u"NVWIN.INI"_qs));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ini);
        }
        Nvmain::MigrateIniSettings();
        for (QString entry : after) {
            entry.replace(u"$APP"_qs, gAppDir);
            if (entry.endsWith(u'!'))
                QCOMPARE(registryValue(entry.chopped(1)), std::nullopt);
            else
                QCOMPARE(registryValue(entry.section(u'=', 0, 0)),
                    std::optional<QString>(entry.section(u'=', 1)));
        }
    }
};

QTEST_MAIN(tst_posform)
#include "tst_posform.moc"
