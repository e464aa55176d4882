#include "app/lockupdate.h"

#include <QElapsedTimer>
#include <QWidget>
#include <QtTest>

// Sequences of L (lock) and U (unlock) with the nesting depth and the window's drawing state
// expected after each step.
class tst_lockupdate : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        modLockUpdate::SetWindow(&m_window);
        while (modLockUpdate::Count() > 0)
            modLockUpdate::UnlockUpdate();
        QVERIFY(m_window.updatesEnabled());
    }

    void nesting_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("counts");
        QTest::addColumn<QString>("frozen"); // F frozen, - drawing, after each step
        QTest::newRow("lock unlock") << "LU" << QList<int> { 1, 0 } << "F-";
        QTest::newRow("nested twice") << "LLUU" << QList<int> { 1, 2, 1, 0 } << "FFF-";
        QTest::newRow("unlock without lock") << "U" << QList<int> { 0 } << "-";
        QTest::newRow("extra unlock") << "LUU" << QList<int> { 1, 0, 0 } << "F--";
        QTest::newRow("relock") << "LULU" << QList<int> { 1, 0, 1, 0 } << "F-F-";
    }
    void nesting()
    {
        QFETCH(QString, steps);
        QFETCH(QList<int>, counts);
        QFETCH(QString, frozen);
        for (int i = 0; i < steps.size(); ++i) {
            if (steps[i] == u'L')
                modLockUpdate::LockUpdate();
            else
                modLockUpdate::UnlockUpdate();
            QCOMPARE(int(modLockUpdate::Count()), counts[i]);
            QCOMPARE(!m_window.updatesEnabled(), frozen[i] == u'F');
            QCOMPARE(modLockUpdate::TimerRunning(), counts[i] > 0);
        }
    }

    void noWindowNoLock()
    {
        modLockUpdate::SetWindow(nullptr);
        modLockUpdate::LockUpdate();
        QCOMPARE(int(modLockUpdate::Count()), 0);
        QVERIFY(!modLockUpdate::TimerRunning());
        QVERIFY(m_window.updatesEnabled());
    }

    void newWindowTakesOverFreeze()
    {
        QWidget other;
        modLockUpdate::LockUpdate();
        modLockUpdate::SetWindow(&other);
        QVERIFY(m_window.updatesEnabled());
        QVERIFY(!other.updatesEnabled());
        modLockUpdate::UnlockUpdate();
        QVERIFY(other.updatesEnabled());
        modLockUpdate::SetWindow(&m_window);
    }

    void safetyRelease()
    {
        QElapsedTimer clock;
        clock.start();
        modLockUpdate::LockUpdate();
        modLockUpdate::LockUpdate();
        QVERIFY(!m_window.updatesEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(m_window.updatesEnabled(), 3000);
        QVERIFY(clock.elapsed() >= 390);
        QCOMPARE(int(modLockUpdate::Count()), 0);
        QVERIFY(!modLockUpdate::TimerRunning());
        // A late unlock finds nothing to release.
        modLockUpdate::UnlockUpdate();
        QCOMPARE(int(modLockUpdate::Count()), 0);
        QVERIFY(m_window.updatesEnabled());
    }

private:
    QWidget m_window;
};

QTEST_MAIN(tst_lockupdate)
#include "tst_lockupdate.moc"
