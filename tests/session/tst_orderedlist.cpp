#include "session/orderedlist.h"

#include <QtTest>

namespace {

// Runs a script of operations on a list: "A5" Add 5, "R5" Remove 5, "T5" SetTop 5, "X" Reset,
// "N" NextKey (its answer is collected).
QList<int> run(OrderedList &list, const QString &script)
{
    QList<int> answers;
    for (const QString &op : script.split(u' ', Qt::SkipEmptyParts)) {
        const rt::Int key = rt::Int(op.mid(1).toInt());
        switch (op.at(0).unicode()) {
        case 'A':
            list.Add(key);
            break;
        case 'R':
            list.Remove(key);
            break;
        case 'T':
            list.SetTop(key);
            break;
        case 'X':
            list.Reset();
            break;
        case 'N':
            answers << list.NextKey();
            break;
        default:
            qFatal("bad operation");
        }
    }
    return answers;
}

QList<int> order(const OrderedList &list)
{
    QList<int> keys;
    for (rt::Int i = 0; i < list.Count(); ++i)
        keys << list.Key(i);
    return keys;
}

} // namespace

class tst_orderedlist : public QObject
{
    Q_OBJECT

private slots:
    void operations_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QList<int>>("keys"); // front first, after the script

        QTest::newRow("empty list answers -1") << "N N" << QList<int> { -1, -1 } << QList<int> {};
        QTest::newRow("one key every time")
            << "A7 N N N" << QList<int> { 7, 7, 7 } << QList<int> { 7 };
        QTest::newRow("walk back in activation order and round")
            << "A1 A3 A5 N N N N" << QList<int> { 3, 1, 5, 3 } << QList<int> { 5, 3, 1 };
        QTest::newRow("activation restarts the walk")
            << "A1 A2 A3 N N T1 N" << QList<int> { 2, 1, 3 } << QList<int> { 1, 3, 2 };
        QTest::newRow("set top of a missing key changes nothing")
            << "A1 A2 N T9 N" << QList<int> { 1, 2 } << QList<int> { 2, 1 };
        QTest::newRow("remove of a missing key changes nothing")
            << "A1 A2 R9 N" << QList<int> { 1 } << QList<int> { 2, 1 };
        QTest::newRow("add keeps a duplicate") << "A4 A4" << QList<int> {} << QList<int> { 4, 4 };
        QTest::newRow("remove takes the first occurrence only")
            << "A4 A2 A4 R4" << QList<int> {} << QList<int> { 2, 4 };
        QTest::newRow("remove keeps the cursor")
            << "A1 A2 A3 N N R3 N" << QList<int> { 2, 1, 2 } << QList<int> { 2, 1 };
        QTest::newRow("reset empties") << "A1 A2 X N" << QList<int> { -1 } << QList<int> {};
        QTest::newRow("add after reset")
            << "A1 A2 X A8 A9 N" << QList<int> { 8 } << QList<int> { 9, 8 };
        QTest::newRow("negative keys") << "A-3 A0 N" << QList<int> { -3 } << QList<int> { 0, -3 };
    }
    void operations()
    {
        QFETCH(QString, script);
        QFETCH(QList<int>, answers);
        QFETCH(QList<int>, keys);
        OrderedList list;
        QCOMPARE(run(list, script), answers);
        QCOMPARE(order(list), keys);
    }

    void holdsAtMost32767Keys()
    {
        OrderedList list;
        for (int key = 1; key <= 32767; ++key)
            list.Add(rt::Int(key));
        QCOMPARE(list.Count(), rt::Int(32767));
        QCOMPARE(list.Key(0), rt::Int(32767));
        QCOMPARE(list.Key(32766), rt::Int(1));
        try {
            list.Add(1);
            QFAIL("the 32768th key was taken");
        } catch (const rt::Error &error) {
            QCOMPARE(error.number, 6);
        }
        QCOMPARE(list.Count(), rt::Int(32767));
        QCOMPARE(list.Key(0), rt::Int(32767));
        QCOMPARE(list.NextKey(), rt::Int(32766));
    }
};

QTEST_APPLESS_MAIN(tst_orderedlist)
#include "tst_orderedlist.moc"
