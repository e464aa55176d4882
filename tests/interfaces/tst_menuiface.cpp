#include "app/files.h"
#include "app/norvalis.h"
#include "app/tst_norvalis_fakes.h"
#include "automation/bridge.h"
#include "automation/marshal.h"
#include "automation/members.h"
#include "common/busclient.h"
#include "common/testutil.h"
#include "interfaces/appiface.h"
#include "interfaces/commoniface.h"
#include "interfaces/menuiface.h"
#include "menus/menus.h"
#include "registry/registry.h"
#include "script/scripthost.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QtTest>

namespace {

const QString MenuIfc = u"NVWin32.Menu"_qs;
const QString BandIfc = u"NVWin32.MnuBand"_qs;
const QString ToolIfc = u"NVWin32.MnuTool"_qs;

using busclient::busCall;
using busclient::busGet;
using busclient::busSet;
using busclient::inVariant;
using busclient::objectPath;

QString menuPath()
{
    return busGet(u"/Norvalis"_qs, u"NVWin32.Norvalis"_qs, u"Menu"_qs).toString();
}
QString bandPath(const QString &band)
{
    return busCall(menuPath(), MenuIfc, u"MnuBands"_qs, { inVariant(band) }).toString();
}
QString toolPath(const QString &band, const QString &key)
{
    return busCall(bandPath(band), BandIfc, u"MnuTools"_qs, { inVariant(key) }).toString();
}

MnuToolPtr modelTool(const QString &band, const QString &key)
{
    return gApp->Menu()->MnuBands(band)->MnuTools(key);
}

} // namespace

class tst_menuiface : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestMainWindow> m_main;

    // The main menu file: File (101 Open, 110 Exit), Edit (303 Copy, 305 Paste), Toolbar (101).
    void writeMenuFile(const QString &path)
    {
        clsMenu menu(&TheActiveBar());
        const auto add = [&](const QString &band, const QList<std::pair<int, QString>> &tools) {
            const MnuBandPtr made = menu.AddNew(band);
            for (const auto &[id, caption] : tools)
                made->AddNew(id)->setCaption(caption);
        };
        add(u"File"_qs, { { 101, u"Open"_qs }, { 110, u"Exit"_qs } });
        add(u"Edit"_qs, { { 303, u"Copy"_qs }, { 305, u"Paste"_qs } });
        add(u"Toolbar"_qs, { { 101, u"Open"_qs } });
        menu.Save(path);
    }

private slots:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus");
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        useProgramFolder(m_dir->path());
        writeMenuFile(m_dir->filePath(u"dfltmain.mnu"_qs));
        m_main = registeredMainWindow();
        new Norvalis;
        QCOMPARE(gApp->Menu()->Count(), rt::Long(3));
    }
    void cleanup()
    {
        delete gApp.data();
        dropMainWindow(m_main);
        qunsetenv("NORVALIS_APPDIR");
        resetStores();
        QCOMPARE(rt::gErrNest, 0);
    }

    // Methods and properties in their published order.
    void publishedMembers_data()
    {
        QTest::addColumn<const QMetaObject *>("meta");
        QTest::addColumn<QString>("members");
        QTest::newRow("Menu") << &MenuIface::staticMetaObject
                              << "NVWin32.Menu Activate Deactivate RecalcLayout NewEnum Count "
                                 "RemoveAll Remove MnuBands AddNew Load Save | MenuText";
        QTest::newRow("MnuBand") << &MnuBandIface::staticMetaObject
                                 << "NVWin32.MnuBand Activate Deactivate AddNew Count MnuTools "
                                    "Remove Insert NewEnum | Name Caption DockingArea BandType "
                                    "Visible";
        QTest::newRow("MnuTool") << &MnuToolIface::staticMetaObject
                                 << "NVWin32.MnuTool | ToolID Name Caption ToolTipText "
                                    "ControlType Style Enabled Visible Checked BeginGroup ImageNo "
                                    "Action SubBand Height Width ParentBandName";
    }
    void publishedMembers()
    {
        QFETCH(const QMetaObject *, meta);
        QFETCH(QString, members);
        QStringList names { automation::members::interfaceOf(meta) };
        for (const QMetaMethod &method : automation::members::methods(meta))
            names << QString::fromLatin1(method.name());
        names << u"|"_qs;
        for (const QMetaProperty &property : automation::members::properties(meta))
            names << QString::fromLatin1(property.name());
        QCOMPARE(names.join(u' '), members);
    }

    // A client walks from the application object to a tool and changes it; the same object is
    // always at the same path.
    void busWalk()
    {
        const QString menu = menuPath();
        QVERIFY(menu.startsWith(u"/Menus/"));
        QCOMPARE(busGet(u"/Norvalis"_qs, u"NVWin32._Norvalis"_qs, u"Menu"_qs).toString(), menu);
        const QString band = bandPath(u"File"_qs);
        QCOMPARE(busGet(band, BandIfc, u"Name"_qs), u"File"_qs);
        QCOMPARE(bandPath(u"file"_qs), band);
        QCOMPARE(busCall(menu, MenuIfc, u"MnuBands"_qs, { inVariant(1) }), band);

        const QString tool = toolPath(u"File"_qs, u"110"_qs);
        QVERIFY(tool.startsWith(u"/MnuTools/"));
        QCOMPARE(busGet(tool, ToolIfc, u"Caption"_qs), u"Exit"_qs);
        QCOMPARE(busSet(tool, ToolIfc, u"Caption"_qs, u"Quit"_qs), QVariant());
        QCOMPARE(busSet(tool, ToolIfc, u"Enabled"_qs, QVariant::fromValue(rt::False)), QVariant());
        QCOMPARE(modelTool(u"File"_qs, u"110"_qs)->Caption(), u"Quit"_qs);
        QCOMPARE(modelTool(u"File"_qs, u"110"_qs)->Enabled(), rt::False);
        QCOMPARE(busGet(tool, ToolIfc, u"Enabled"_qs), QVariant::fromValue(rt::False));
    }

    // Members that return a band or a tool hand out objects a client can go on with.
    void busObjectsReturned()
    {
        const QString band = busCall(menuPath(), MenuIfc, u"AddNew"_qs, { u"Extra"_qs }).toString();
        QCOMPARE(bandPath(u"Extra"_qs), band);
        QCOMPARE(busCall(menuPath(), MenuIfc, u"AddNew"_qs, { u"extra"_qs }), u"/"_qs);
        const QString tool = busCall(band, BandIfc, u"AddNew"_qs, { rt::Long(777) }).toString();
        QCOMPARE(busGet(tool, ToolIfc, u"ToolID"_qs).toInt(), 777);
        // SubBand names a band of the tool's own menu (menu 0).
        QCOMPARE(busSet(tool, ToolIfc, u"SubBand"_qs, u"Edit"_qs), QVariant());
        QCOMPARE(modelTool(u"Extra"_qs, u"777"_qs)->BarTool()->subBand(),
            u"0\x01"
            u"Edit"_qs);

        QStringList bands;
        for (const QVariant &each : busCall(menuPath(), MenuIfc, u"NewEnum"_qs).toList())
            bands << each.value<QDBusObjectPath>().path();
        QCOMPARE(bands,
            QStringList(
                { bandPath(u"File"_qs), bandPath(u"Edit"_qs), bandPath(u"Toolbar"_qs), band }));

        // Inserting the tool into a second band, then removing it from the first, moves it.
        const QString toolbar = bandPath(u"Toolbar"_qs);
        QCOMPARE(busCall(toolbar, BandIfc, u"Insert"_qs, { objectPath(tool), rt::Long(101) }),
            QVariant());
        QCOMPARE(busCall(band, BandIfc, u"Remove"_qs, { rt::Long(777) }), QVariant());
        QCOMPARE(toolPath(u"Toolbar"_qs, u"777"_qs), tool);
    }

    void busErrors_data()
    {
        QTest::addColumn<QString>("band"); // the band called, "" for the menu
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariantList>("arguments"); // "band:<name>" stands for a band's path
        QTest::addColumn<QString>("error");
        QTest::newRow("missing band")
            << ""
            << "MnuBands" << QVariantList { inVariant(u"Nope"_qs) } << "NVWin32.Error.E5";
        QTest::newRow("remove a missing band")
            << ""
            << "Remove" << QVariantList { inVariant(u"Nope"_qs) } << "NVWin32.Error.E5";
        QTest::newRow("remove a missing tool")
            << "File"
            << "Remove" << QVariantList { rt::Long(999) } << "NVWin32.Error.E5";
        QTest::newRow("insert a band as a tool")
            << "File"
            << "Insert" << QVariantList { u"band:Edit"_qs, rt::Long(0) } << "NVWin32.Error.E13";
        QTest::newRow("missing menu file")
            << ""
            << "Load" << QVariantList { u"/nonexistent/x.mnu"_qs } << "NVWin32.Error.E53";
    }
    void busErrors()
    {
        QFETCH(QString, band);
        QFETCH(QString, member);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, error);
        for (QVariant &argument : arguments) {
            if (argument.toString().startsWith(u"band:"))
                argument = objectPath(bandPath(argument.toString().mid(5)));
        }
        const QString before = gApp->Menu()->MenuText();
        const QVariant answer = band.isEmpty()
            ? busCall(menuPath(), MenuIfc, member, arguments)
            : busCall(bandPath(band), BandIfc, member, arguments);
        QCOMPARE(answer, error);
        QCOMPARE(gApp->Menu()->MenuText(), before);
    }

    // A band or tool that has gone answers 91, until its adapter is dropped.
    void busGoneObjects()
    {
        const QString band = bandPath(u"File"_qs);
        const QString tool = toolPath(u"File"_qs, u"110"_qs);
        QPointer<QObject> adapter = automation::Bridge::instance().objectAt(tool);
        QCOMPARE(busCall(menuPath(), MenuIfc, u"Remove"_qs, { inVariant(u"File"_qs) }), QVariant());
        QCOMPARE(gApp->Menu()->Count(), rt::Long(2));
        const QString gone = u"NVWin32.Error.E91"_qs;
        QCOMPARE(busGet(tool, ToolIfc, u"Caption"_qs), gone);
        QCOMPARE(busCall(band, BandIfc, u"Count"_qs), gone);
        QCOMPARE(
            busCall(bandPath(u"Edit"_qs), BandIfc, u"Insert"_qs, { objectPath(tool), rt::Long(0) }),
            gone);
        // A band of the same name made later is another object.
        const QString again = busCall(menuPath(), MenuIfc, u"AddNew"_qs, { u"File"_qs }).toString();
        QVERIFY(again != band);

        // Once many adapters have been made, the gone ones leave and the live ones stay.
        const QString toolbar = bandPath(u"Toolbar"_qs);
        const MnuBandPtr many = gApp->Menu()->MnuBands(u"File"_qs);
        for (rt::Long id = 1; id <= 300; ++id)
            QVERIFY(MnuToolIface::of(many->AddNew(id)));
        QTRY_VERIFY(!adapter);
        QVERIFY(!automation::Bridge::instance().objectAt(tool));
        QCOMPARE(bandPath(u"Toolbar"_qs), toolbar);
        QCOMPARE(bandPath(u"File"_qs), again);
    }

    // Setting _Norvalis.Menu replaces the application's menu object.
    void busSetMenu_data()
    {
        QTest::addColumn<QString>("value"); // "other" (a second menu), "nothing" or "common"
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("after"); // "other", "none" or "main"
        QTest::newRow("another menu") << "other" << QString() << "other";
        QTest::newRow("Nothing") << "nothing" << QString() << "none";
        QTest::newRow("not a menu") << "common"
                                    << "NVWin32.Error.E13"
                                    << "main";
    }
    void busSetMenu()
    {
        QFETCH(QString, value);
        QFETCH(QString, answer);
        QFETCH(QString, after);
        const MenuPtr main = gApp->Menu();
        const MenuPtr other = gMenus->AddNew(7);
        automation::Bridge &bridge = automation::Bridge::instance();
        const QString path = value == u"other" ? bridge.pathOf(MenuIface::of(other))
            : value == u"common"               ? bridge.pathOf(gApp->Common())
                                               : u"/"_qs;
        QCOMPARE(busSet(u"/Norvalis"_qs, u"NVWin32._Norvalis"_qs, u"Menu"_qs, objectPath(path))
                     .toString(),
            answer);
        const MenuPtr expected = after == u"other" ? other : after == u"main" ? main : nullptr;
        QCOMPARE(gApp->Menu(), expected);
        QCOMPARE(menuPath(), expected ? bridge.pathOf(MenuIface::of(expected)) : u"/"_qs);
    }

    // Scripts reach the same objects through the application object.
    void script_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result"); // the last value, or "error <number>"
        QTest::newRow("walk") << "Norvalis.Menu.MnuBands('File').MnuTools('110').Caption"
                              << "Exit";
        QTest::newRow("set") << "var t = Norvalis.Menu.MnuBands('Edit').MnuTools('305');"
                                "t.Caption = 'Insert'; t.Enabled = 0; t.Caption + t.Enabled"
                             << "Insert0";
        QTest::newRow("same object")
            << "Norvalis.Menu.MnuBands('File') === Norvalis.Menu.MnuBands(1)"
            << "true";
        QTest::newRow("enumerate") << "Norvalis.Menu.NewEnum().map(b => b.Name + b.Count()).join()"
                                   << "File2,Edit2,Toolbar1";
        QTest::newRow("caught error")
            << "try { Norvalis.Menu.MnuBands('Nope'); 'none' } catch (e) { e.number }"
            << "5";
        QTest::newRow("uncaught error") << "Norvalis.Menu.MnuBands('File').Remove(999)"
                                        << "error 5";
        QTest::newRow("gone band")
            << "var b = Norvalis.Menu.MnuBands('Edit'); Norvalis.Menu.Remove('Edit'); b.Caption"
            << "error 91";
    }
    void script()
    {
        QFETCH(QString, text);
        QFETCH(QString, result);
        script::ScriptHost host;
        QWidget *window = nullptr;
        host.Initialize(gAppDir, gAppDir, QString(), window, gApp->AsNorvalis());
        QVariant value;
        try {
            host.RunText(text, rt::False, 0, value);
            QCOMPARE(value.toString(), result);
        } catch (const rt::Error &error) {
            QCOMPARE(u"error "_qs + QString::number(error.number), result);
        }
        if (QTest::currentDataTag() == QLatin1String("set"))
            QCOMPARE(modelTool(u"Edit"_qs, u"305"_qs)->Caption(), u"Insert"_qs);
    }
};

QTEST_MAIN(tst_menuiface)
#include "tst_menuiface.moc"
