#include "menus/menu.h"
#include "menutest.h"

#include <QtTest>

namespace {

const QString Header = QStringLiteral("Norvalis 2000 Menu");

QString rows(const QStringList &list)
{
    return list.join(QStringLiteral("\r\n"));
}

QString tool(int id, const QString &caption = QString(), int controlType = 0)
{
    return QStringLiteral("Tool\t%1\t%2\t0\t%3\t-1\t0\t\t0\t\t\t-1\t0\t0")
        .arg(id)
        .arg(caption)
        .arg(controlType);
}

} // namespace

class tst_menutext : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_menu = std::make_unique<clsMenu>(&m_bar);
        m_menu->setMenuNo(2);
    }
    void cleanup() { m_menu.reset(); }

    void emptyMenuIsHeaderAlone() { QCOMPARE(m_menu->MenuText(), Header + QStringLiteral("\r\n")); }

    void roundTrip()
    {
        // A menu with every kind of value, strings holding the table's own delimiters.
        const MnuBandPtr bar = m_menu->AddNew(QStringLiteral("Toolbar"));
        bar->setBandType(0);
        bar->setCaption(QStringLiteral("Tab\there, line\r\nthere, back\\slash"));
        bar->setDockingArea(8);
        bar->setVisible(rt::True);
        const MnuToolPtr open = bar->AddNew(103);
        open->setCaption(QStringLiteral("&Open\t..."));
        open->setChecked(rt::True);
        open->setEnabled(rt::False);
        open->setImageNo(2);
        open->setAction(QStringLiteral("Session.Send \"x\"\n"));
        open->setStyle(3);
        open->setSubBand(QStringLiteral("Popup"));
        open->setToolTipText(QStringLiteral("Öffnen"));
        open->setVisible(rt::False);
        open->setHeight(20);
        open->setWidth(40);
        bar->AddNew(105);
        const MnuToolPtr separator = bar->InsertSeparator(103);
        QVERIFY(separator);
        const MnuBandPtr popup = m_menu->AddNew(QStringLiteral("Popup"));
        popup->setBandType(2);
        popup->setDockingArea(32);
        popup->AddNew(1);

        const QString text = m_menu->MenuText();
        clsMenu copy(&m_bar);
        copy.setMenuNo(5);
        copy.setMenuText(text);
        QCOMPARE(copy.MenuText(), text);
        QCOMPARE(shape(copy), QStringLiteral("Toolbar:103,|,105 Popup:1"));
        const MnuToolPtr back = copy.MnuBands(QStringLiteral("Toolbar"))->MnuTools(2);
        QCOMPARE(back->ToolID(), separator->ToolID());
        QCOMPARE(copy.MnuBands(QStringLiteral("Toolbar"))->Caption(), bar->Caption());
        QCOMPARE(copy.MnuBands(QStringLiteral("Toolbar"))->MnuTools(1)->Action(), open->Action());
    }

    void let_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("shapeAfter"); // "Old:" = unchanged
        QTest::newRow("header only removes all") << Header << 0 << "";
        QTest::newRow("header with row end") << Header + "\r\n" << 0 << "";
        QTest::newRow("LF rows") << Header + "\nBand\tA\t0\t\t1\t-1\n" + tool(7) << 0 << "A:7";
        QTest::newRow("empty text") << QString() << 3182 << "Old:";
        QTest::newRow("other header") << QStringLiteral("Norvalis 2000 menu") << 3182 << "Old:";
        QTest::newRow("header with more cells") << Header + "\tx" << 3182 << "Old:";
        QTest::newRow("lower-case band")
            << rows({ Header, "Band\tA\t0\t\t1\t-1", tool(1), "band\tB\t0\t\t1\t-1", tool(2) })
            << 3182 << "A:1";
        QTest::newRow("unknown row")
            << rows({ Header, "Band\tA\t0\t\t1\t-1", "Toolbar" }) << 3182 << "A:";
        QTest::newRow("empty row") << rows({ Header, "", "Band\tA\t0\t\t1\t-1" }) << 3182 << "";
        QTest::newRow("tool before any band")
            << rows({ Header, tool(1), "Band\tA\t0\t\t1\t-1", tool(2) }) << 0 << "A:2";
        QTest::newRow("duplicate band skipped with tools")
            << rows({ Header, "Band\tA\t0\t\t1\t-1", tool(1), "Band\ta\t0\t\t1\t-1", tool(2) }) << 0
            << "A:1";
        QTest::newRow("duplicate tool skipped")
            << rows({ Header, "Band\tA\t0\t\t1\t-1", tool(1, "x"), tool(1, "y") }) << 0 << "A:1";
        QTest::newRow("non-numeric cell")
            << rows({ Header, "Band\tA\tnone\t\t1\t-1" }) << 13 << "A:";
        QTest::newRow("non-numeric tool ID")
            << rows({ Header, "Band\tA\t0\t\t1\t-1", "Tool\tx" }) << 13 << "A:";
        // Menu 2's tool IDs are 200000 + the command number.
        QTest::newRow("command number past this menu's tool IDs")
            << rows({ Header, "Band\tA\t0\t\t1\t-1", tool(1), tool(2147483647 - 199999), tool(3) })
            << 3182 << "A:1";
        QTest::newRow("largest command number of this menu")
            << rows({ Header, "Band\tA\t0\t\t1\t-1", tool(2147483647 - 200000) }) << 0
            << "A:2147283647";
    }
    void let()
    {
        QFETCH(QString, text);
        QFETCH(int, error);
        QFETCH(QString, shapeAfter);
        m_menu->AddNew(QStringLiteral("Old"));
        QCOMPARE(errorOf([&] { m_menu->setMenuText(text); }), error);
        QCOMPARE(shape(*m_menu), shapeAfter);
    }

    void errorText()
    {
        try {
            m_menu->setMenuText(QStringLiteral("x"));
            QFAIL("no error");
        } catch (const rt::Error &e) {
            QCOMPARE(e.number, 3182);
            QCOMPARE(e.description, QStringLiteral("Invalid menu format!"));
        }
    }

    void bandVisibleIsKeptAsItIs()
    {
        m_menu->setMenuText(rows({ Header, "Band\tA\t3\tCap\t2\t0", "Band\tB\t0\t\t4\t1" }));
        const MnuBandPtr a = m_menu->MnuBands(QStringLiteral("A"));
        QCOMPARE(a->Visible(), rt::Int(0));
        QCOMPARE(a->BandType(), rt::Int(3));
        QCOMPARE(a->Caption(), QStringLiteral("Cap"));
        QCOMPARE(a->DockingArea(), rt::Int(2));
        QCOMPARE(m_menu->MnuBands(QStringLiteral("B"))->Visible(), rt::Int(1));
        QVERIFY(m_menu->MenuText().contains(QStringLiteral("Band\tB\t0\t\t4\t1\r\n")));
    }

private:
    bar::ActiveBar m_bar;
    std::unique_ptr<clsMenu> m_menu;
};

QTEST_MAIN(tst_menutext)
#include "tst_menutext.moc"
