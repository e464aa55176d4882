// The splash window, the About box and the New Connection prompt: their timers, their buttons
// and keys, and the build number they show.

#include "app/about.h"
#include "app/splash.h"
#include "app/wizard.h"
#include "runtime/interaction.h"
#include "runtime/keyboard.h"
#include "runtime/timer.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestSplash : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void splashTime_data();
    void splashTime();
    void splashClosesItself();
    void buildSuffix();
    void aboutModal();
    void aboutTimed();
    void pictures();

    void wizardChoice_data();
    void wizardChoice();
    void wizardClosedOtherwise();

    void screenshot_data();
    void screenshot();

private:
    // Shows the prompt modally and does action once it is up; answers its Tag.
    QString runWizard(const std::function<void(frmWizard &)> &action);
};

void TestSplash::initTestCase()
{
    rt::setDialogsWaitOffscreen(true); // the About box and the wizard prompt are driven here
    QCoreApplication::setApplicationVersion(u"2.1.45"_qs);
}

void TestSplash::cleanup()
{
    frmSplash::instance().unload();
    frmAboutBox::instance().unload();
    frmWizard::instance().unload();
}

void TestSplash::splashTime_data()
{
    QTest::addColumn<int>("time");
    QTest::addColumn<int>("interval");

    QTest::newRow("15 s") << 15 << 15000;
    QTest::newRow("0: 5 s") << 0 << 5000;
    QTest::newRow("negative: 5 s") << -3 << 5000;
    QTest::newRow("32 s, the longest") << 32 << 32000;
    QTest::newRow("33 s overflows: the timer stays off") << 33 << 0;
}

void TestSplash::splashTime()
{
    QFETCH(int, time);
    frmSplash *splash = frmSplash::ShowSplash(rt::Int(time));
    QCOMPARE(splash, &frmSplash::instance());
    QVERIFY(splash->isVisible());
    QTEST(int(splash->Timer->interval()), "interval");
}

void TestSplash::splashClosesItself()
{
    frmSplash *splash = frmSplash::ShowSplash(1);
    QVERIFY(splash->isVisible());
    splash->Timer->setInterval(50);
    QTRY_VERIFY(!splash->isLoaded());
}

void TestSplash::buildSuffix()
{
    QCOMPARE(frmSplash::BuildSuffix(2, 1, 45), u"             (build 2.1.45)"_qs);
    frmSplash *splash = frmSplash::ShowSplash(15);
    QVERIFY(splash->lbNotice->text().endsWith(u"(build 2.1.45)"_qs));
}

// Help, About: a modal box with OK and no timer; OK closes it.
void TestSplash::aboutModal()
{
    bool modal = false;
    bool okVisible = false;
    bool timerOff = false;
    QString release;
    QTimer::singleShot(0, this, [&] {
        frmAboutBox &box = frmAboutBox::instance();
        modal = box.isModalShown();
        okVisible = box.cmdOK->isVisible();
        timerOff = box.Timer->interval() == 0;
        release = box.lbRelease->text();
        box.cmdOK->click();
    });
    frmAboutBox *box = frmAboutBox::ShowAbout(0);
    QCOMPARE(box, &frmAboutBox::instance());
    QVERIFY(modal);
    QVERIFY(okVisible);
    QVERIFY(timerOff);
    QCOMPARE(release, frmAboutBox::ReleaseLine(QString(), { 2, 1, 45 }));
    QVERIFY(release.startsWith(u"Release "_qs));
    QVERIFY(release.endsWith(u" (2.1.45) "_qs));
    QVERIFY(!box->isLoaded());
}

// A timed box has no OK button, does not block and closes itself.
void TestSplash::aboutTimed()
{
    frmAboutBox *box = frmAboutBox::ShowAbout(3);
    QVERIFY(box->isVisible());
    QVERIFY(!box->isModalShown());
    QVERIFY(!box->cmdOK->isVisible());
    QCOMPARE(box->Timer->interval(), rt::Long(3000));
    box->Timer->setInterval(50);
    QTRY_VERIFY(!box->isLoaded());
}

void TestSplash::pictures()
{
    QVERIFY(!ProductPicture(9001).isNull());
    QVERIFY(!ProductPicture(9002).isNull());
    QVERIFY(ProductPicture(1).isNull());
    frmSplash *splash = frmSplash::ShowSplash(15);
    QCOMPARE(splash->widget()->size(), ProductPicture(9002).size());
}

QString TestSplash::runWizard(const std::function<void(frmWizard &)> &action)
{
    frmWizard &wizard = frmWizard::instance();
    wizard.Tag = u"stale"_qs;
    QTimer::singleShot(0, this, [&] { action(wizard); });
    wizard.showModal();
    const QString tag = wizard.Tag;
    wizard.unload();
    return tag;
}

void TestSplash::wizardChoice_data()
{
    QTest::addColumn<QString>("input"); // a button, or a key with modifiers
    QTest::addColumn<QString>("tag");

    QTest::newRow("New button") << u"cmdNew"_qs << u"N"_qs;
    QTest::newRow("Wizard button") << u"cmdWizard"_qs << u"W"_qs;
    QTest::newRow("Cancel button") << u"cmdCancel"_qs << u"C"_qs;
    QTest::newRow("N") << u"key N"_qs << u"N"_qs;
    QTest::newRow("Shift+N") << u"key N shift"_qs << u"N"_qs;
    QTest::newRow("Ctrl+W") << u"key W ctrl"_qs << u"W"_qs;
    QTest::newRow("Escape") << u"key Escape"_qs << u"C"_qs;
    QTest::newRow("another key") << u"key X"_qs << QString();
}

void TestSplash::wizardChoice()
{
    QFETCH(QString, input);
    const QString tag = runWizard([&](frmWizard &wizard) {
        if (input == u"cmdNew"_qs)
            wizard.cmdNew->click();
        else if (input == u"cmdWizard"_qs)
            wizard.cmdWizard->click();
        else if (input == u"cmdCancel"_qs)
            wizard.cmdCancel->click();
        if (!input.startsWith(u"key "_qs))
            return;
        const QStringList parts = input.split(u' ');
        Qt::KeyboardModifiers modifiers;
        if (parts.contains(u"shift"_qs))
            modifiers |= Qt::ShiftModifier;
        if (parts.contains(u"ctrl"_qs))
            modifiers |= Qt::ControlModifier;
        const QString key = parts.at(1);
        const Qt::Key code = key == u"Escape"_qs ? Qt::Key_Escape : Qt::Key(key.at(0).unicode());
        QApplication::setActiveWindow(wizard.widget());
        wizard.cmdCancel->setFocus();
        QTest::keyClick(wizard.cmdCancel, code, modifiers);
        if (wizard.isVisible())
            wizard.unload(); // a key that chooses nothing: closed by other means
    });
    QTEST(tag, "tag");
}

// Closed by its close box, the prompt leaves no letter.
void TestSplash::wizardClosedOtherwise()
{
    const QString tag = runWizard([](frmWizard &wizard) { wizard.widget()->close(); });
    QCOMPARE(tag, QString());
}

void TestSplash::screenshot_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("about") << u"about"_qs;
    QTest::newRow("wizard") << u"wizard"_qs;
}

// tests/screenshot.sh app_tst_splash screenshot:about out.png (or screenshot:wizard)
void TestSplash::screenshot()
{
    const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
    if (out.isEmpty())
        QSKIP("only under tests/screenshot.sh");
    QFETCH(QString, window);
    rt::Form *form = &frmAboutBox::instance();
    if (window == u"about"_qs)
        frmAboutBox::ShowAbout(30);
    else
        (form = &frmWizard::instance())->show();
    QVERIFY(QTest::qWaitForWindowExposed(form->widget()));
    QVERIFY(form->widget()->grab().save(out));
}

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
