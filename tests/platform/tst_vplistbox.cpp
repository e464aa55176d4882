// The two-column list: lines split at the first TAB for display and kept whole, the list-box
// operations, and when Click and DblClick are raised.

#include "runtime/errnum.h"
#include "vplist/vplistbox.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QtTest>

using vplist::VPListBox;

class TestVPListBox : public QObject
{
    Q_OBJECT

    static VPListBox *filled(VPListBox &list, const QStringList &lines)
    {
        for (const QString &line : lines)
            list.AddItem(line);
        return &list;
    }

private slots:
    void columns_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("entry") << "Office\t5551234" << "Office" << "5551234";
        QTest::newRow("no TAB: all in the first") << "Office" << "Office" << "";
        QTest::newRow("empty") << "" << "" << "";
        QTest::newRow("TAB first") << "\t5551234" << "" << "5551234";
        QTest::newRow("second TAB stays in the second column") << "a\tb\tc" << "a" << "b\uFFFDc";
        QTest::newRow("control characters shown") << QString::fromLatin1("a\x01\tb\x00", 5)
                                                  << "a\uFFFD" << "b\uFFFD";
        QTest::newRow("a long line shows its start")
            << QString(3000, u'x') + u'\t' + QString(3000, u'9') << QString(1000, u'x')
            << QString(1000, u'9');
    }
    void columns()
    {
        QFETCH(QString, line);
        VPListBox list;
        list.AddItem(line);
        QCOMPARE(list.List(0), line);
        QTEST(list.topLevelItem(0)->text(0), "first");
        QTEST(list.topLevelItem(0)->text(1), "second");
    }

    void operations()
    {
        VPListBox list;
        list.setHeadings(u"Description"_qs, u"Number"_qs);
        QCOMPARE(list.headerItem()->text(1), u"Number"_qs);
        filled(list, { u"a\t1"_qs, u"b\t2"_qs, u"c\t3"_qs });
        list.AddItem(u"z\t0"_qs, 0);
        QCOMPARE(list.ListCount(), 4);
        QCOMPARE(list.List(0), u"z\t0"_qs);
        QCOMPARE(list.ListIndex(), -1);
        list.setList(2, u"B\t22"_qs);
        QCOMPARE(list.List(2), u"B\t22"_qs);
        QCOMPARE(list.topLevelItem(2)->text(1), u"22"_qs);
        list.Clear();
        QCOMPARE(list.ListCount(), 0);
        QCOMPARE(list.ListIndex(), -1);
    }

    void badIndex_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("List(3)") << 0;
        QTest::newRow("RemoveItem(-1)") << 1;
        QTest::newRow("ListIndex := 3") << 2;
        QTest::newRow("ListIndex := -2") << 3;
        QTest::newRow("AddItem at 4") << 4;
    }
    void badIndex()
    {
        QFETCH(int, which);
        VPListBox list;
        filled(list, { u"a"_qs, u"b"_qs, u"c"_qs });
        const std::function<void()> calls[] = {
            [&] { list.List(3); },
            [&] { list.RemoveItem(-1); },
            [&] { list.setListIndex(3); },
            [&] { list.setListIndex(-2); },
            [&] { list.AddItem(u"d"_qs, 4); },
        };
        try {
            calls[which]();
            QFAIL("no error");
        } catch (const rt::Error &error) {
            QCOMPARE(error.number, rt::err::InvalidCall);
        }
        QCOMPARE(list.ListCount(), 3);
    }

    // Click when a line becomes the selected one, from code as from the user (also when code
    // selects the selected line again); none for -1, nor for removing the selected line, which
    // leaves nothing selected.
    void clickEvents()
    {
        VPListBox list;
        filled(list, { u"a"_qs, u"b"_qs, u"c"_qs });
        QSignalSpy clicks(&list, &VPListBox::Click);
        list.setListIndex(1);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(list.ListIndex(), 1);
        list.setListIndex(1);
        QCOMPARE(clicks.count(), 2);
        list.setListIndex(-1);
        QCOMPARE(list.ListIndex(), -1);
        QCOMPARE(clicks.count(), 2);
        list.setListIndex(2);
        QCOMPARE(clicks.count(), 3);
        list.RemoveItem(2);
        QCOMPARE(list.ListIndex(), -1);
        QCOMPARE(list.ListCount(), 2);
        QCOMPARE(clicks.count(), 3);
        list.setListIndex(0);
        list.RemoveItem(1); // another line: the selection stays
        QCOMPARE(list.ListIndex(), 0);
    }

    void mouse()
    {
        VPListBox list;
        filled(list, { u"a\t1"_qs, u"b\t2"_qs });
        list.resize(300, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QSignalSpy clicks(&list, &VPListBox::Click);
        QSignalSpy doubles(&list, &VPListBox::DblClick);
        const QPoint second = list.visualItemRect(list.topLevelItem(1)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(list.ListIndex(), 1);
        QCOMPARE(clicks.count(), 1);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(doubles.count(), 1);
    }
};

QTEST_MAIN(TestVPListBox)
#include "tst_vplistbox.moc"
