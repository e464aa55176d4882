#include "app/lockupdate.h"
#include "menus/menus.h"
#include "menutest.h"

#include <QMainWindow>
#include <QToolBar>
#include <QtTest>

namespace {

// Records every show and hide of a tool bar, and whether the main window could draw then.
class ToolBarWatcher : public QObject
{
public:
    QList<bool> drawingAllowed;
    QWidget *window = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if ((event->type() == QEvent::Show || event->type() == QEvent::Hide)
            && qobject_cast<QToolBar *>(watched))
            drawingAllowed << window->updatesEnabled();
        return false;
    }
};

} // namespace

class tst_menus : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_window = std::make_unique<QMainWindow>();
        m_bar = std::make_unique<bar::ActiveBar>();
        m_bar->attach(m_window.get());
        m_menus = std::make_unique<Menus>(m_bar.get());
        modLockUpdate::SetWindow(m_window.get());
        // Menus 0, 1 and 2, each with a visible tool bar "Toolbar" and a hidden band "Extra".
        for (rt::Long n : { 0, 1, 2 }) {
            const MenuPtr menu = m_menus->AddNew(n);
            menu->AddNew(QStringLiteral("Toolbar"))->setVisible(rt::True);
            menu->AddNew(QStringLiteral("Extra"));
        }
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup()
    {
        m_menus.reset();
        m_bar.reset();
        modLockUpdate::SetWindow(nullptr);
        while (modLockUpdate::Count() > 0)
            modLockUpdate::UnlockUpdate();
        m_window.reset();
    }

    void startsWithNoActiveMenu()
    {
        Menus menus(m_bar.get());
        QCOMPARE(menus.ActiveMenu(), rt::Long(-1));
        QCOMPARE(menus.Count(), rt::Long(0));
    }

    void addNewTwiceKeepsFirst()
    {
        const MenuPtr first = m_menus->item(1);
        QCOMPARE(errorOf([&] { m_menus->AddNew(1); }), 457);
        QCOMPARE(m_menus->item(1), first);
        QCOMPARE(m_menus->Count(), rt::Long(3));
        QCOMPARE(first->MenuNo(), rt::Long(1));
    }

    void itemAndRemove_data()
    {
        QTest::addColumn<QVariant>("index");
        QTest::addColumn<int>("error");
        QTest::addColumn<QList<int>>("left"); // menu numbers left, in order
        QTest::newRow("key text") << QVariant(QStringLiteral("2")) << 0 << QList<int> { 0, 1 };
        QTest::newRow("position 1 is the first added") << QVariant(1) << 0 << QList<int> { 1, 2 };
        QTest::newRow("position 3") << QVariant(3) << 0 << QList<int> { 0, 1 };
        QTest::newRow("missing key")
            << QVariant(QStringLiteral("7")) << 5 << QList<int> { 0, 1, 2 };
        QTest::newRow("position 0") << QVariant(0) << 5 << QList<int> { 0, 1, 2 };
    }
    void itemAndRemove()
    {
        QFETCH(QVariant, index);
        QFETCH(int, error);
        QFETCH(QList<int>, left);
        const int bandsBefore = m_bar->bands().count();
        QCOMPARE(errorOf([&] { m_menus->Remove(index); }), error);
        QList<int> numbers;
        for (const MenuPtr &menu : m_menus->NewEnum())
            numbers << menu->MenuNo();
        QCOMPARE(numbers, left);
        QCOMPARE(m_bar->bands().count(), bandsBefore - (error ? 0 : 2));
    }

    void itemByNumber()
    {
        QCOMPARE(m_menus->item(0)->MenuNo(), rt::Long(0));
        QCOMPARE(m_menus->item(QStringLiteral("2"))->MenuNo(), rt::Long(2));
        QCOMPARE(errorOf([&] { m_menus->item(5); }), 5);
    }

    void switching_data()
    {
        QTest::addColumn<QList<int>>("steps");
        QTest::addColumn<QString>("shown"); // the menu whose tool bar shows after the last step
        QTest::newRow("first") << QList<int> { 0 } << "0";
        QTest::newRow("switch") << QList<int> { 0, 1 } << "1";
        QTest::newRow("switch twice") << QList<int> { 0, 1, 2 } << "2";
        QTest::newRow("none") << QList<int> { 1, -1 } << "";
        QTest::newRow("none and back") << QList<int> { 1, -1, 1 } << "1";
        QTest::newRow("same again") << QList<int> { 2, 2 } << "2";
    }
    void switching()
    {
        QFETCH(QList<int>, steps);
        QFETCH(QString, shown);
        for (int step : steps)
            m_menus->setActiveMenu(step);
        QCOMPARE(m_menus->ActiveMenu(), rt::Long(steps.last()));
        for (rt::Long n : { 0, 1, 2 }) {
            const MenuPtr menu = m_menus->item(n);
            const bool active = QString::number(n) == shown;
            QCOMPARE(menu->Active(), rt::BoolToInt(active));
            const MnuBandPtr toolbar = menu->MnuBands(QStringLiteral("Toolbar"));
            QCOMPARE(toolbar->BarBand()->isVisible(), active);
            QToolBar *drawn = m_bar->toolBarFor(toolbar->BarBand().get());
            QCOMPARE(drawn && drawn->isVisible(), active);
            QVERIFY(!menu->MnuBands(QStringLiteral("Extra"))->BarBand()->isVisible());
        }
        QCOMPARE(int(modLockUpdate::Count()), 0);
        QVERIFY(m_window->updatesEnabled());
    }

    void switchIsDrawnInOneLock()
    {
        ToolBarWatcher watcher;
        watcher.window = m_window.get();
        qApp->installEventFilter(&watcher);
        m_menus->setActiveMenu(1);
        m_menus->setActiveMenu(2);
        qApp->removeEventFilter(&watcher);
        // Tool bars 1 shown; 1 hidden and 2 shown: all while the window could not draw.
        QVERIFY(watcher.drawingAllowed.size() >= 3);
        QVERIFY(!watcher.drawingAllowed.contains(true));
        QVERIFY(m_window->updatesEnabled());
        QVERIFY(!modLockUpdate::TimerRunning());
    }

    void sameNumberDoesNotRelayout()
    {
        m_menus->setActiveMenu(1);
        const bar::Band *band
            = m_menus->item(1)->MnuBands(QStringLiteral("Toolbar"))->BarBand().get();
        QToolBar *drawn = m_bar->toolBarFor(band);
        QVERIFY(drawn && drawn->isVisible());
        // Hidden in the control only: a layout pass would hide the tool bar.
        m_menus->item(1)->MnuBands(QStringLiteral("Toolbar"))->BarBand()->setVisible(false);
        ToolBarWatcher watcher;
        watcher.window = m_window.get();
        qApp->installEventFilter(&watcher);
        m_menus->setActiveMenu(1);
        qApp->removeEventFilter(&watcher);
        QVERIFY(drawn->isVisible());
        QVERIFY(watcher.drawingAllowed.isEmpty());
    }

    void removedActiveMenu()
    {
        m_menus->setActiveMenu(1);
        m_menus->Remove(QStringLiteral("1"));
        QCOMPARE(m_menus->ActiveMenu(), rt::Long(1));
        QCOMPARE(errorOf([&] { m_menus->setActiveMenu(2); }), 0);
        QCOMPARE(m_menus->ActiveMenu(), rt::Long(2));
        QVERIFY(m_menus->item(2)->MnuBands(QStringLiteral("Toolbar"))->BarBand()->isVisible());
        QCOMPARE(int(modLockUpdate::Count()), 0);
    }

    void missingMenuReleasedBySafetyTimer()
    {
        m_menus->setActiveMenu(0);
        QCOMPARE(errorOf([&] { m_menus->setActiveMenu(9); }), 5);
        // The old menu was hidden inside the lock that the failure left behind.
        QVERIFY(!m_window->updatesEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(m_window->updatesEnabled(), 3000);
        QCOMPARE(int(modLockUpdate::Count()), 0);
    }

    void withoutWindowNoLock()
    {
        modLockUpdate::SetWindow(nullptr);
        m_menus->setActiveMenu(1);
        QCOMPARE(int(modLockUpdate::Count()), 0);
        QVERIFY(m_menus->item(1)->MnuBands(QStringLiteral("Toolbar"))->BarBand()->isVisible());
    }

    void recalcLayoutOnlyWhenActive()
    {
        m_menus->setActiveMenu(1);
        const MenuPtr inactive = m_menus->item(2);
        const MnuBandPtr band = inactive->MnuBands(QStringLiteral("Toolbar"));
        band->BarBand()->setVisible(true); // shown in the control, not yet laid out
        inactive->RecalcLayout();
        QVERIFY(!m_bar->toolBarFor(band->BarBand().get()));
        m_menus->item(1)->RecalcLayout();
        QVERIFY(m_bar->toolBarFor(band->BarBand().get()));
    }

private:
    std::unique_ptr<QMainWindow> m_window;
    std::unique_ptr<bar::ActiveBar> m_bar;
    std::unique_ptr<Menus> m_menus;
};

QTEST_MAIN(tst_menus)
#include "tst_menus.moc"
