#include "interfaces/menuiface.h"
#include "menus/menu.h"
#include "menutest.h"
#include "runtime/screen.h"

#include <QtTest>

namespace {

const QString Chr1 = QStringLiteral("\x01");

// Every property SetTool can change, as text, for comparing tools before and after.
QStringList properties(const clsMnuTool &t)
{
    return { QString::number(t.BeginGroup()), t.Caption(), QString::number(t.Checked()),
        QString::number(t.ControlType()), QString::number(t.Enabled()),
        QString::number(t.ImageNo()), t.Action(), QString::number(t.Style()), t.SubBand(),
        t.ToolTipText(), QString::number(t.Visible()) };
}

} // namespace

class tst_menu : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_menu = std::make_unique<clsMenu>(&m_bar);
        m_menu->setMenuNo(3);
    }
    void cleanup()
    {
        m_menu.reset();
        QCOMPARE(m_bar.bands().count(), 0);
    }

    void controlNames()
    {
        const MnuBandPtr band = m_menu->AddNew(QStringLiteral("Toolbar"));
        const MnuToolPtr tool = band->AddNew(305);
        QCOMPARE(band->BarBand()->name(), QStringLiteral("3") + Chr1 + "Toolbar");
        QCOMPARE(tool->BarTool()->name(), QStringLiteral("3") + Chr1 + "Toolbar" + Chr1 + "305");
        QCOMPARE(tool->BarTool()->toolId(), rt::Long(300305));
        QCOMPARE(band->Name(), QStringLiteral("Toolbar"));
        QCOMPARE(tool->Name(), QStringLiteral("305"));
        QCOMPARE(tool->ToolID(), rt::Long(305));
        tool->setToolID(17);
        QCOMPARE(tool->BarTool()->toolId(), rt::Long(300017));
        QCOMPARE(tool->ToolID(), rt::Long(17));
        // A new band is hidden, with the creation settings of the control.
        QVERIFY(!band->BarBand()->isVisible());
        QCOMPARE(band->BarBand()->flags(), rt::Long(512));
    }

    void setTool_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("changed"); // index in properties(), -1 for none
        QTest::addColumn<QString>("expected");
        QTest::newRow("1 BeginGroup does nothing") << 1 << QVariant(true) << -1 << "";
        QTest::newRow("2 Caption") << 2 << QVariant(QStringLiteral("Paste it")) << 1 << "Paste it";
        QTest::newRow("2 Caption from a number") << 2 << QVariant(12.5) << 1 << "12.5";
        QTest::newRow("3 Checked") << 3 << QVariant(true) << 2 << "-1";
        QTest::newRow("4 ControlType") << 4 << QVariant(5) << 3 << "5";
        QTest::newRow("5 Enabled off") << 5 << QVariant(false) << 4 << "0";
        QTest::newRow("6 ImageNo") << 6 << QVariant(QStringLiteral("6")) << 5 << "6";
        QTest::newRow("7 Action") << 7 << QVariant(QStringLiteral("Beep")) << 6 << "Beep";
        QTest::newRow("8 Style") << 8 << QVariant(2) << 7 << "2";
        QTest::newRow("9 SubBand") << 9 << QVariant(QStringLiteral("Edit")) << 8 << "Edit";
        QTest::newRow("10 ToolTipText") << 10 << QVariant(QStringLiteral("tip")) << 9 << "tip";
        QTest::newRow("11 Visible") << 11 << QVariant(0) << 10 << "0";
        QTest::newRow("0 unknown") << 0 << QVariant(1) << -1 << "";
        QTest::newRow("12 unknown") << 12 << QVariant(1) << -1 << "";
        QTest::newRow("bad value ignored") << 3 << QVariant(QStringLiteral("x")) << -1 << "";
    }
    void setTool()
    {
        QFETCH(int, code);
        QFETCH(QVariant, value);
        QFETCH(int, changed);
        QFETCH(QString, expected);
        const MnuBandPtr a = m_menu->AddNew(QStringLiteral("A"));
        const MnuBandPtr b = m_menu->AddNew(QStringLiteral("B"));
        const std::vector<MnuToolPtr> targets { a->AddNew(305), b->AddNew(305) };
        const std::vector<MnuToolPtr> others { a->AddNew(303), b->AddNew(306),
            b->InsertSeparator(306) };
        QVERIFY(others.back());
        std::vector<QStringList> before;
        for (const auto &t : others)
            before.push_back(properties(*t));
        QStringList expectedTarget = properties(*targets[0]);
        if (changed >= 0)
            expectedTarget[changed] = expected;

        m_menu->SetTool(305, code, value);

        for (const auto &t : targets)
            QCOMPARE(properties(*t), expectedTarget);
        for (size_t i = 0; i < others.size(); ++i)
            QCOMPARE(properties(*others[i]), before[i]);
    }

    void setToolReachesSeparatorsAndUnknownIds()
    {
        const MnuBandPtr a = m_menu->AddNew(QStringLiteral("A"));
        a->AddNew(1);
        const MnuToolPtr separator = a->InsertSeparator(1);
        m_menu->SetTool(separator->ToolID(), PropCaption, QStringLiteral("s"));
        QCOMPARE(separator->Caption(), QStringLiteral("s"));
        m_menu->SetTool(999, PropCaption, QStringLiteral("nobody"));
        QCOMPARE(a->MnuTools(1)->Caption(), QString());
    }

    void bandVisibility_data()
    {
        QTest::addColumn<QString>("steps"); // A activate, D deactivate, V<n> Visible let n
        QTest::addColumn<QString>("shown"); // control band drawn after each step: 1 / 0
        QTest::addColumn<QList<int>>("visible"); // Visible get after each step
        QTest::newRow("visible while inactive shows on activate")
            << "V-1 A D"
            << "010" << QList<int> { -1, -1, -1 };
        QTest::newRow("hide while active") << "A V-1 V0"
                                           << "010" << QList<int> { 0, -1, 0 };
        QTest::newRow("Visible 1 on active band shows") << "A V1"
                                                        << "01" << QList<int> { 0, 1 };
        QTest::newRow("Visible 1 is not visible for Activate") << "V1 A"
                                                               << "00" << QList<int> { 1, 1 };
        QTest::newRow("Visible 1 stays on Deactivate") << "A V1 D"
                                                       << "011" << QList<int> { 0, 1, 1 };
        QTest::newRow("inactive stays hidden") << "V-1 V0 V-1"
                                               << "000" << QList<int> { -1, 0, -1 };
    }
    void bandVisibility()
    {
        QFETCH(QString, steps);
        QFETCH(QString, shown);
        QFETCH(QList<int>, visible);
        const MnuBandPtr band = m_menu->AddNew(QStringLiteral("A"));
        const QStringList list = steps.split(u' ');
        for (int i = 0; i < list.size(); ++i) {
            const QString &step = list[i];
            if (step == u'A')
                band->Activate();
            else if (step == u'D')
                band->Deactivate();
            else
                band->setVisible(rt::Int(step.mid(1).toInt()));
            QCOMPARE(band->BarBand()->isVisible(), shown[i] == u'1');
            QCOMPARE(int(band->Visible()), visible[i]);
        }
    }

    void dockingArea_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("control");
        QTest::addColumn<int>("readBack");
        QTest::newRow("1") << 1 << 0 << 1;
        QTest::newRow("2") << 2 << 1 << 2;
        QTest::newRow("4") << 4 << 2 << 4;
        QTest::newRow("8") << 8 << 3 << 8;
        QTest::newRow("16") << 16 << 4 << 16;
        QTest::newRow("32") << 32 << 5 << 32;
        QTest::newRow("3 is no area") << 3 << 0 << 1;
        QTest::newRow("0") << 0 << 0 << 1;
    }
    void dockingArea()
    {
        QFETCH(int, value);
        QFETCH(int, control);
        QFETCH(int, readBack);
        const MnuBandPtr band = m_menu->AddNew(QStringLiteral("A"));
        band->setDockingArea(rt::Int(value));
        QCOMPARE(int(band->BarBand()->dockingArea()), control);
        QCOMPARE(int(band->DockingArea()), readBack);
    }

    void controlValueOutOfRangeReadsAsTop()
    {
        const MnuBandPtr band = m_menu->AddNew(QStringLiteral("A"));
        band->BarBand()->setDockingArea(9);
        QCOMPARE(band->DockingArea(), rt::Int(1));
    }

    void addNewTwice()
    {
        const MnuBandPtr band = m_menu->AddNew(QStringLiteral("A"));
        QVERIFY(band->AddNew(101));
        QVERIFY(!band->AddNew(101));
        QCOMPARE(band->Count(), rt::Int(1));
        QCOMPARE(band->BarBand()->tools().count(), 1);
        QVERIFY(!m_menu->AddNew(QStringLiteral("a")));
        QCOMPARE(m_menu->Count(), rt::Long(1));
        QCOMPARE(m_bar.bands().count(), 1);
    }

    void separators()
    {
        const MnuBandPtr band = m_menu->AddNew(QStringLiteral("A"));
        for (int id : { 1, 2, 3 })
            band->AddNew(id);
        QVERIFY(!band->InsertSeparator(99));
        QCOMPARE(band->Count(), rt::Int(3));
        const rt::Long before = clsMnuBand::SeparatorCounter();
        const MnuToolPtr first = band->InsertSeparator(1);
        clsMenu other(&m_bar);
        other.setMenuNo(4);
        const MnuBandPtr otherBand = other.AddNew(QStringLiteral("B"));
        otherBand->AddNew(1);
        const MnuToolPtr second = otherBand->InsertSeparator(1);
        QCOMPARE(first->ToolID(), before + 1);
        QCOMPARE(second->ToolID(), before + 2);
        QCOMPARE(second->BarTool()->toolId(), 4 * 100000 + before + 2);
        band->InsertSeparator(3);
        QCOMPARE(band->Count(), rt::Int(5));
        QCOMPARE(band->ToolCount(), rt::Int(3));
        QCOMPARE(band->MnuTools(2)->ToolID(), first->ToolID());
        QCOMPARE(band->BarBand()->tools().item(1), first->BarTool());
        QCOMPARE(band->MnuTools(5)->ControlType(), rt::Int(5));
    }

    void separatorNumbersSkipTheDynamicLists()
    {
        const MnuBandPtr band = m_menu->AddNew(QStringLiteral("A"));
        band->AddNew(1);
        while (clsMnuBand::SeparatorCounter() < 112)
            clsMnuBand::NextSeparatorNumber();
        QCOMPARE(band->InsertSeparator(1)->ToolID(), rt::Long(150));
    }

    void removeAndInsert()
    {
        const MnuBandPtr band = m_menu->AddNew(QStringLiteral("A"));
        for (int id : { 1, 2, 3 })
            band->AddNew(id);
        const MnuToolPtr two = band->MnuTools(QStringLiteral("2"));
        band->Remove(2);
        QCOMPARE(band->Count(), rt::Int(2));
        QCOMPARE(band->BarBand()->tools().count(), 2);
        QCOMPARE(errorOf([&] { band->Remove(2); }), 5);
        band->Insert(two, 0);
        QCOMPARE(band->MnuTools(1)->ToolID(), rt::Long(2));
        band->Remove(2);
        band->Insert(two, 3);
        QCOMPARE(band->MnuTools(3)->ToolID(), rt::Long(2));
        QCOMPARE(band->BarBand()->tools().item(2), two->BarTool());
        band->Remove(2);
        band->Insert(two, 77); // no such tool: nothing happens
        QCOMPARE(band->Count(), rt::Int(2));
    }

    void insertIntoEmptyBand()
    {
        const MnuBandPtr a = m_menu->AddNew(QStringLiteral("A"));
        const MnuBandPtr b = m_menu->AddNew(QStringLiteral("B"));
        const MnuToolPtr tool = a->AddNew(5);
        b->Insert(tool, 0);
        QCOMPARE(b->Count(), rt::Int(1));
        QCOMPARE(b->BarBand()->tools().count(), 1);
    }

    void menuBands()
    {
        for (const char *name : { "One", "Two", "Three" })
            m_menu->AddNew(QLatin1String(name));
        QCOMPARE(m_menu->MnuBands(QStringLiteral("two"))->Name(), QStringLiteral("Two"));
        QCOMPARE(m_menu->MnuBands(3)->Name(), QStringLiteral("Three"));
        QCOMPARE(errorOf([&] { m_menu->MnuBands(QStringLiteral("Four")); }), 5);
        QCOMPARE(errorOf([&] { m_menu->MnuBands(4); }), 5);
        QCOMPARE(errorOf([&] { m_menu->Remove(0); }), 5);
        m_menu->Remove(QStringLiteral("TWO"));
        QCOMPARE(m_menu->Count(), rt::Long(2));
        QCOMPARE(m_bar.bands().count(), 2);
        m_menu->RemoveAll();
        QCOMPARE(m_menu->Count(), rt::Long(0));
        QCOMPARE(m_bar.bands().count(), 0);
    }

    void heldBandLeavesControlWithItsMenu()
    {
        // A band someone still holds is no longer drawn once it left its menu, and its name can
        // be used again at once.
        MnuBandPtr held = m_menu->AddNew(QStringLiteral("A"));
        held->AddNew(1);
        held->setVisible(rt::True);
        m_menu->Activate();
        m_menu->Remove(QStringLiteral("A"));
        QCOMPARE(held->Count(), rt::Int(0));
        QCOMPARE(m_bar.bands().count(), 0);
        QVERIFY(m_menu->AddNew(QStringLiteral("A")));
        held->AddNew(2);
        held.reset();
        QCOMPARE(m_bar.bands().count(), 1);
    }

    void activateAndRecalc()
    {
        const MnuBandPtr a = m_menu->AddNew(QStringLiteral("A"));
        const MnuBandPtr b = m_menu->AddNew(QStringLiteral("B"));
        a->setVisible(rt::True);
        m_menu->Activate();
        QCOMPARE(m_menu->Active(), rt::True);
        QCOMPARE(a->Active(), rt::True);
        QVERIFY(a->BarBand()->isVisible());
        QVERIFY(!b->BarBand()->isVisible());
        m_menu->Deactivate();
        QCOMPARE(m_menu->Active(), rt::False);
        QVERIFY(!a->BarBand()->isVisible());
    }

    void toolProperties()
    {
        clsMenu menu2(&m_bar);
        menu2.setMenuNo(2);
        const MnuToolPtr tool = menu2.AddNew(QStringLiteral("A"))->AddNew(7);
        tool->setBeginGroup(rt::True);
        QCOMPARE(tool->BeginGroup(), rt::Int(0));
        tool->setSubBand(QStringLiteral("Edit"));
        QCOMPARE(tool->BarTool()->subBand(), QStringLiteral("2") + Chr1 + "Edit");
        QCOMPARE(tool->SubBand(), QStringLiteral("Edit"));
        tool->setSubBand(QString());
        QCOMPARE(tool->BarTool()->subBand(), QString());
        tool->setImageNo(5);
        QCOMPARE(tool->BarTool()->imageNo(), rt::Int(5));
        tool->setImageNo(0);
        QCOMPARE(tool->ImageNo(), rt::Int(0));
        QCOMPARE(tool->BarTool()->imageNo(), rt::Int(5));
        tool->setImageNo(9000); // no picture: the old one stays
        QCOMPARE(tool->ImageNo(), rt::Int(9000));
        QCOMPARE(tool->BarTool()->imageNo(), rt::Int(5));
    }

    void toolSize_data()
    {
        QTest::addColumn<int>("pixels");
        QTest::addColumn<bool>("setsControl");
        QTest::newRow("0 keeps control") << 0 << false;
        QTest::newRow("negative keeps control") << -4 << false;
        QTest::newRow("24") << 24 << true;
    }
    void toolSize()
    {
        QFETCH(int, pixels);
        QFETCH(bool, setsControl);
        const MnuToolPtr tool = m_menu->AddNew(QStringLiteral("A"))->AddNew(7);
        tool->BarTool()->setWidth(111);
        tool->BarTool()->setHeight(222);
        tool->setWidth(pixels);
        tool->setHeight(pixels);
        QCOMPARE(int(tool->Width()), pixels);
        QCOMPARE(int(tool->Height()), pixels);
        QCOMPARE(tool->BarTool()->width(),
            setsControl ? rt::CLng(pixels * rt::TwipsPerPixelX()) : rt::Long(111));
        QCOMPARE(tool->BarTool()->height(),
            setsControl ? rt::CLng(pixels * rt::TwipsPerPixelY()) : rt::Long(222));
    }

    void move_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("after");
        QTest::newRow("tool onto tool") << "A|2"
                                        << "B|10"
                                        << "A:1,3 B:10,2,11";
        QTest::newRow("tool onto band") << "A|2"
                                        << "B"
                                        << "A:1,3 B:2,10,11";
        QTest::newRow("tool onto itself") << "A|2"
                                          << "A|2"
                                          << "A:1,2,3 B:10,11";
        QTest::newRow("band onto band") << "A"
                                        << "B"
                                        << "A:1,2,3 B:10,11";
        QTest::newRow("band onto tool") << "A"
                                        << "B|10"
                                        << "A:1,2,3 B:10,11";
        QTest::newRow("within a band") << "A|1"
                                       << "A|3"
                                       << "A:2,3,1 B:10,11";
    }
    void move()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, after);
        const MnuBandPtr a = m_menu->AddNew(QStringLiteral("A"));
        const MnuBandPtr b = m_menu->AddNew(QStringLiteral("B"));
        for (int id : { 1, 2, 3 })
            a->AddNew(id);
        for (int id : { 10, 11 })
            b->AddNew(id);
        const auto path = [](const QString &p) {
            return QStringLiteral("3") + Chr1 + QString(p).replace(u'|', Chr1);
        };
        m_menu->Move(path(source), path(target));
        QStringList bands;
        for (const MnuBandPtr &band : m_menu->NewEnum()) {
            QStringList ids;
            for (const MnuToolPtr &t : band->NewEnum())
                ids << QString::number(t->ToolID());
            bands << band->Name() + u':' + ids.join(u',');
            // The control shows what the model holds.
            QStringList controlIds;
            for (const bar::ToolPtr &t : band->BarBand()->tools())
                controlIds << QString::number(t->toolId() - 300000);
            QCOMPARE(controlIds, ids);
        }
        QCOMPARE(bands.join(u' '), after);
    }

    void adapters()
    {
        Menu menu(std::shared_ptr<clsMenu>(std::move(m_menu)));
        MnuBand band = menu.AddNew(QStringLiteral("Edit"));
        MnuBand other = menu.AddNew(QStringLiteral("Toolbar"));
        QVERIFY(menu.AddNew(QStringLiteral("edit")).isNothing());
        MnuTool tool = other.AddNew(303);
        tool.setSubBand(QStringLiteral("Edit"));
        QCOMPARE(tool.object()->BarTool()->subBand(), QStringLiteral("3") + Chr1 + "Edit");
        QCOMPARE(tool.SubBand(), QStringLiteral("Edit"));
        QCOMPARE(other.MnuTools(QStringLiteral("303")).object(), tool.object());
        QCOMPARE(other.NewEnum().size(), size_t(1));
        menu.Remove(QStringLiteral("Edit"));
        QCOMPARE(menu.Count(), rt::Long(1));
        QCOMPARE(errorOf([&] { menu.MnuBands(QStringLiteral("Edit")); }), 5);
        QCOMPARE(errorOf([&] { MnuTool().Caption(); }), 91);
        QCOMPARE(errorOf([&] { band.AddNew(1).Caption(); }), 0);
    }

private:
    bar::ActiveBar m_bar;
    std::unique_ptr<clsMenu> m_menu;
};

QTEST_MAIN(tst_menu)
#include "tst_menu.moc"
