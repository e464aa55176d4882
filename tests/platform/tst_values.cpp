#include "runtime/values.h"

#include <QtTest>

using namespace rt;

class tst_values : public QObject
{
    Q_OBJECT
private slots:
    void val_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << "12" << 12.0;
        QTest::newRow("leading blanks") << "  7abc" << 7.0;
        QTest::newRow("decimal point") << "3.5x" << 3.5;
        QTest::newRow("negative") << "-4" << -4.0;
        QTest::newRow("none") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("hex") << "&H10" << 16.0;
        QTest::newRow("blanks inside") << "1 2" << 12.0;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("e without digits") << "2east" << 2.0;
    }
    void val()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(Val(text), expected);
    }

    void conversions_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("cint"); // expected CInt, or -100000 - error number
        QTest::newRow("half to even down") << QVariant(2.5) << 2;
        QTest::newRow("half to even up") << QVariant(3.5) << 4;
        QTest::newRow("negative half") << QVariant(-2.5) << -2;
        QTest::newRow("numeric text") << QVariant(QStringLiteral(" 42 ")) << 42;
        QTest::newRow("max") << QVariant(32767) << 32767;
        QTest::newRow("overflow") << QVariant(32768) << -100006;
        QTest::newRow("type mismatch") << QVariant(QStringLiteral("abc")) << -100013;
        QTest::newRow("empty text mismatch") << QVariant(QStringLiteral("")) << -100013;
        QTest::newRow("Empty is 0") << QVariant() << 0;
        QTest::newRow("True") << QVariant(true) << -1;
        QTest::newRow("True text") << QVariant(QStringLiteral("true")) << -1;
    }
    void conversions()
    {
        QFETCH(QVariant, value);
        QFETCH(int, cint);
        try {
            const Int r = CInt(value);
            QCOMPARE(int(r), cint);
        } catch (const Error &e) {
            QCOMPARE(-100000 - e.number, cint);
        }
    }

    void clngRange()
    {
        QCOMPARE(CLng(2147483647.4), 2147483647);
        QVERIFY_THROWS_EXCEPTION(Error, CLng(2147483648.0));
        QCOMPARE(CLng(QVariant(QStringLiteral("-12.5"))), -12);
    }

    void cstr_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole double") << QVariant(12.0) << "12";
        QTest::newRow("fraction") << QVariant(1.5) << "1.5";
        QTest::newRow("negative") << QVariant(-3) << "-3";
        QTest::newRow("bool") << QVariant(false) << "False";
        QTest::newRow("empty") << QVariant() << "";
    }
    void cstr()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        QCOMPARE(CStr(value), text);
    }

    void integerDivision_data()
    {
        QTest::addColumn<double>("a");
        QTest::addColumn<double>("b");
        QTest::addColumn<int>("result");
        QTest::newRow("exact") << 10.0 << 2.0 << 5;
        QTest::newRow("truncates") << 7.0 << 2.0 << 3;
        QTest::newRow("toward zero") << -7.0 << 2.0 << -3;
        QTest::newRow("operands rounded") << 7.5 << 1.5 << 4; // 8 \ 2
    }
    void integerDivision()
    {
        QFETCH(double, a);
        QFETCH(double, b);
        QFETCH(int, result);
        QCOMPARE(IntDiv(a, b), result);
    }

    void checkedArithmetic()
    {
        QCOMPARE(AddInt(32766, 1), Int(32767));
        QVERIFY_THROWS_EXCEPTION(Error, AddInt(32767, 1));
        QVERIFY_THROWS_EXCEPTION(Error, MulLong(65536, 65536));
        QVERIFY_THROWS_EXCEPTION(Error, IntDiv(1, 0));
        try {
            AddInt(32767, 1);
        } catch (const Error &e) {
            QCOMPARE(e.number, 6);
            QCOMPARE(e.description, QStringLiteral("Overflow"));
        }
    }
};

QTEST_GUILESS_MAIN(tst_values)
#include "tst_values.moc"
