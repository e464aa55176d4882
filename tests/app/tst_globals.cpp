#include "app/globals.h"
#include "runtime/error.h"

#include <QtTest>

class tst_globals : public QObject
{
    Q_OBJECT
private slots:
    void loadResStr_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("product name") << 100 << "Norvalis 2000";
        QTest::newRow("first terminal type") << 1000 << "TTY Emulation";
        QTest::newRow("last terminal type") << 1017 << "Tektronix 4100";
        QTest::newRow("device") << 1603 << "Telnet";
        QTest::newRow("missing id") << 1018 << "";
        QTest::newRow("negative id") << -1 << "";
    }
    void loadResStr()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        const rt::Long nestBefore = rt::gErrNest;
        QCOMPARE(Globals::LoadResStr(rt::Int(id)), text);
        QCOMPARE(rt::gErrNest, nestBefore);
    }
};

QTEST_GUILESS_MAIN(tst_globals)
#include "tst_globals.moc"
