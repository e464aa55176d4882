#include "app/msgbox.h"
#include "app/nvmain.h"
#include "common/testutil.h"
#include "runtime/interaction.h"
#include "runtime/screen.h"

#include <QCheckBox>
#include <QCursor>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

using namespace MsgBox;

namespace {

// Metrics of a classic dialog font and controls (15 twips to the pixel).
Metrics classicMetrics(int buttons)
{
    Metrics m;
    m.screenWidth = 19200;
    m.screenHeight = 14400;
    m.lineHeight = 195;
    m.messageLeft = 960;
    m.messageTop = 240;
    m.checkWidth = 3600;
    m.checkHeight = 255;
    m.buttonHeight = 375;
    m.buttonWidths = QList<rt::Long>(buttons, 650);
    return m;
}

QList<Line> lines(const QList<rt::Long> &widths)
{
    QList<Line> result;
    for (rt::Long w : widths)
        result.append(Line { w, 0 });
    return result;
}

// The captions of the shown buttons, left to right.
QStringList shownButtons(const frmMsgBox &form)
{
    QList<QPushButton *> shown;
    for (QPushButton *b :
        { form.cmdOK, form.cmdCancel, form.cmdRetry, form.cmdYes, form.cmdNo, form.cmdAll })
        if (!b->isHidden())
            shown.append(b);
    std::sort(
        shown.begin(), shown.end(), [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
    QStringList captions;
    for (QPushButton *b : shown)
        captions.append(b->text());
    return captions;
}

} // namespace

class tst_msgbox : public QObject
{
    Q_OBJECT

    frmMsgBox &form() { return frmMsgBox::instance(); }

    // Runs action on the message window once it is on screen, from the event loop that the
    // modal display runs.
    void whenShown(std::function<void(frmMsgBox &)> action)
    {
        auto *poll = new QTimer(this);
        poll->setInterval(5);
        connect(poll, &QTimer::timeout, this, [this, poll, action] {
            QWidget *w = form().widget();
            if (!w || !w->isVisible() || !form().isModalShown())
                return;
            poll->stop();
            poll->deleteLater();
            action(form());
            // A failed check must not leave the modal window waiting for an answer.
            if (QTest::currentTestFailed() && form().isVisible())
                form().hide();
        });
        poll->start();
    }

    // Types key into the window the way a user would: to the widget that has the focus.
    static void type(frmMsgBox &f, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = f.widget()->focusWidget() ? f.widget()->focusWidget() : f.widget();
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }

private slots:
    void initTestCase() { rt::setDialogsWaitOffscreen(true); } // the real window is driven here

    void init()
    {
        frmMsgBox::setAnswerHook(nullptr);
        rt::setMousePointer(rt::vbDefault);
    }

    // Button sets and icons: the set's buttons, order, default and escape codes, and the window
    // that shows them.
    void buttonSets_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<int>("minWidth");
        QTest::addColumn<int>("defaultCode");
        QTest::addColumn<int>("escapeCode");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<int>("icon");
        using Codes = QList<int>;
        using Captions = QStringList;
        const int info = int(Icon::Information), quest = int(Icon::Question);
        const int excl = int(Icon::Exclamation);
        const Captions ok { "&OK" };
        dataRow("0 OK", 0, Codes { OK }, 1440, 1, 1, ok, info);
        dataRow("1 OK only, 16", 1 + 16, Codes { OK }, 1440, 1, 1, ok, info);
        dataRow("2 OK only, 64", 2 + 64, Codes { OK }, 1440, 1, 1, ok, info);
        dataRow("3 Yes No Cancel", 3, Codes { Yes, No, Cancel }, 2880, 6, 2,
            Captions { "&Yes", "&No", "&Cancel" }, info);
        dataRow("4 Yes No, 32 question", 4 + 32, Codes { Yes, No }, 2160, 6, 7,
            Captions { "&Yes", "&No" }, quest);
        dataRow("4 Yes No, No the default", 4 + 32 + 512, Codes { Yes, No }, 2160, 7, 7,
            Captions { "&Yes", "&No" }, quest);
        dataRow("0 OK, no second button to be the default", 512, Codes { OK }, 1440, 1, 1, ok,
            info);
        dataRow("5 Retry Cancel, 48 exclamation", 5 + 48, Codes { Retry, Cancel }, 2160, 4, 2,
            Captions { "&Retry", "&Cancel" }, excl);
        dataRow("6 Yes All No", 6, Codes { Yes, All, No }, 2880, 6, 7,
            Captions { "&Yes", "Yes to &All", "&No" }, info);
        dataRow("7 Yes All No Cancel, check box", 7 + 256, Codes { Yes, All, No, Cancel }, 3600, 6,
            7, Captions { "&Yes", "Yes to &All", "&No", "&Cancel" }, info);
        dataRow("8 OK, 32", 8 + 32, Codes { OK }, 1440, 1, 1, ok, quest);
        dataRow("15 OK, 48", 15 + 48, Codes { OK }, 1440, 1, 1, ok, excl);
    }
    void buttonSets()
    {
        QFETCH(int, flags);
        QFETCH(QList<int>, codes);
        QFETCH(int, minWidth);
        QFETCH(int, defaultCode);
        QFETCH(int, escapeCode);
        QFETCH(QStringList, captions);
        QFETCH(int, icon);
        const ButtonSet set = buttonSet(rt::Int(flags));
        QCOMPARE(QList<int>(set.codes.begin(), set.codes.end()), codes);
        QCOMPARE(int(set.minWidth), minWidth);
        QCOMPARE(int(set.defaultCode), defaultCode);
        QCOMPARE(int(set.escapeCode), escapeCode);
        QCOMPARE(int(iconOf(rt::Int(flags))), icon);

        // The window shows that row, the default button as such, and one icon.
        whenShown([&](frmMsgBox &f) {
            QCOMPARE(shownButtons(f), captions);
            QCOMPARE(f.cmdYes->isDefault(), defaultCode == Yes);
            QCOMPARE(f.cmdNo->isDefault(), defaultCode == No);
            QCOMPARE(f.cmdOK->isDefault(), defaultCode == OK);
            QCOMPARE(!f.imgInfo->isHidden(), icon == int(Icon::Information));
            QCOMPARE(!f.imgQuest->isHidden(), icon == int(Icon::Question));
            QCOMPARE(!f.imgExcl->isHidden(), icon == int(Icon::Exclamation));
            QCOMPARE(!f.chkNotAgain->isHidden(), bool(flags & NotAgainFlag));
            f.chkNotAgain->setChecked(false);
            type(f, Qt::Key_Escape);
        });
        QCOMPARE(int(form().ShowMessage("Row", rt::Int(flags), nullptr)), escapeCode);
    }

    // Nobody to answer (offscreen): every set answers its default button at once, no window
    // opens and the check box counts as not ticked.
    void nobodyToAnswer_data() { buttonSets_data(); }
    void nobodyToAnswer()
    {
        QFETCH(int, flags);
        QFETCH(int, defaultCode);
        rt::setDialogsWaitOffscreen(false);
        const bool unattended = !rt::userCanAnswer();
        const rt::Int answer = unattended ? form().ShowMessage("Row", rt::Int(flags), nullptr) : 0;
        rt::setDialogsWaitOffscreen(true);
        if (!unattended)
            QSKIP("a display: someone can answer (run offscreen)");
        // Retry with nobody to mend the cause would ask for ever: Retry/Cancel answers Cancel.
        const int expected = defaultCode == MsgBox::Retry ? int(MsgBox::Cancel) : defaultCode;
        QCOMPARE(int(answer), expected);
        QVERIFY(!form().isVisible());
    }

    // Window and text sizes for classic metrics; -1 where the row does not care.
    void layout_data()
    {
        QTest::addColumn<QList<rt::Long>>("widths");
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("messageWidth");
        QTest::addColumn<int>("messageHeight");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        using Widths = QList<rt::Long>;
        dataRow("short line, OK", Widths { 300 }, 0, 1, 500, 200, 1760, 1550);
        dataRow("short line, set 7 minimum width", Widths { 300 }, 7, 1, 500, 200, 3600, 1550);
        dataRow("short line, set 3 minimum width", Widths { 300 }, 3, 1, 500, 200, 2880, 1550);
        dataRow("empty prompt has no lines", Widths {}, 0, 0, 500, 200, 1760, 1550);
        dataRow("one wide line wraps", Widths { 12000 }, 0, 2, 9600, 390, 10860, 1630);
        dataRow("three lines, one wider than half the screen", Widths { 2000, 12000, 1000 }, 4, 4,
            9600, 780, 10860, 2020);
        dataRow("exactly twice the limit counts three rows", Widths { 19200 }, 0, 3, 9600, 585,
            10860, 1825);
        dataRow("height limited to half the screen", Widths(60, 100), 0, 60, 500, 7200, 1760, 8440);
    }
    void layout()
    {
        QFETCH(QList<rt::Long>, widths);
        QFETCH(int, flags);
        QFETCH(int, rows);
        QFETCH(int, messageWidth);
        QFETCH(int, messageHeight);
        QFETCH(int, width);
        QFETCH(int, height);
        const int buttons = buttonSet(rt::Int(flags)).codes.size();
        const Layout l = computeLayout(classicMetrics(buttons), lines(widths), rt::Int(flags));
        QCOMPARE(l.rows, rows);
        QCOMPARE(int(l.messageWidth), messageWidth);
        QCOMPARE(int(l.messageHeight), messageHeight);
        QCOMPARE(int(l.width), width);
        QCOMPARE(int(l.height), height);
        QCOMPARE(int(l.buttonTop), height - 800);
        QVERIFY(!l.checkVisible);
    }

    void layoutButtonsCentred_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QList<rt::Long>>("buttonWidths");
        QTest::addColumn<QList<rt::Long>>("lefts");
        QTest::addColumn<int>("width");
        using Widths = QList<rt::Long>;
        // 2 x 1000 + 200 = 2200 in a 2600 window (the row and its margins).
        dataRow("two buttons", 4, Widths { 1000, 1000 }, Widths { 200, 1400 }, 2600);
        dataRow("one button in the minimum width", 0, Widths { 600 }, Widths { 580 }, 1760);
        // 4 x 1200 + 600 = 5400: wider than the set's 3600, so the window grows to hold it.
        dataRow("wide row widens the window", 7, Widths { 1200, 1200, 1200, 1200 },
            Widths { 200, 1600, 3000, 4400 }, 5800);
        dataRow("uneven widths", 5, Widths { 900, 1300 }, Widths { 250, 1350 }, 2900);
    }
    void layoutButtonsCentred()
    {
        QFETCH(int, flags);
        QFETCH(QList<rt::Long>, buttonWidths);
        QFETCH(QList<rt::Long>, lefts);
        QFETCH(int, width);
        Metrics m = classicMetrics(buttonWidths.size());
        m.buttonWidths = buttonWidths;
        const QList<rt::Long> line { flags == 5 ? 1640 : 300 };
        const Layout l = computeLayout(m, lines(line), rt::Int(flags));
        QCOMPARE(int(l.width), width);
        QCOMPARE(l.buttonLefts, lefts);
    }

    void layoutCheckBox()
    {
        // 1550 + 2 x 255; top = height - 1.5 x 255 - 800; the box stands under the text, so
        // the width holds the text's left margin, the box and the right margin: 960 + 3600 + 300.
        const Layout l = computeLayout(classicMetrics(2), lines({ 300 }), 4 + NotAgainFlag);
        QVERIFY(l.checkVisible);
        QCOMPARE(int(l.height), 2060);
        QCOMPARE(int(l.checkTop), 2060 - 382 - 800);
        QCOMPARE(int(l.width), 4860);
        QCOMPARE(int(l.buttonTop), 2060 - 800);
    }

    // Taller buttons and a window frame push the buttons up instead of cutting them off.
    void layoutTallButtons()
    {
        Metrics m = classicMetrics(1);
        m.buttonHeight = 600;
        m.buttonReserve = 450 + 600 + 120; // frame, button, margin
        const Layout l = computeLayout(m, lines({ 300 }), 0);
        // The minimum height grows with the reserve, keeping the icon (240 + 480) above the row.
        QCOMPARE(int(l.height), 1550 + 1170 - 800);
        QCOMPARE(int(l.buttonTop), 750);
        QVERIFY(l.buttonTop + m.buttonHeight + 120 <= l.height - 450);
        QVERIFY(l.buttonTop >= m.messageTop + l.messageHeight + 200);
    }

    // The real window: text and check box fit, nothing is cut off, and the window does what the
    // layout says.
    void windowFitsText_data()
    {
        QTest::addColumn<QString>("prompt");
        QTest::newRow("two lines") << QStringLiteral("First line of the message\nSecond, longer "
                                                     "line of the message that the window has to hold");
        QTest::newRow("short question, the check box wider")
            << QStringLiteral("Do you want to disconnect session\r\n\"A\"?");
    }
    void windowFitsText()
    {
        QFETCH(QString, prompt);
        whenShown([&](frmMsgBox &f) {
            QWidget *w = f.widget();
            const QRect text = f.lbMessage->geometry();
            const QFontMetricsF fm(f.lbMessage->font());
            for (const QString &line : prompt.split(u'\n'))
                QVERIFY(fm.horizontalAdvance(line.trimmed()) <= text.width());
            QVERIFY(text.height() >= (prompt.count(u'\n') + 1) * fm.height());
            QVERIFY(w->rect().contains(f.cmdYes->geometry()));
            QVERIFY(w->rect().contains(f.chkNotAgain->geometry()));
            QVERIFY(f.chkNotAgain->width() >= f.chkNotAgain->sizeHint().width());
            QVERIFY(f.chkNotAgain->geometry().bottom() < f.cmdYes->geometry().top());
            QVERIFY(text.bottom() < f.chkNotAgain->geometry().top());
            QCOMPARE(w->windowTitle(), QStringLiteral("Norvalis"));
            type(f, Qt::Key_N);
        });
        QCOMPARE(int(form().ShowMessage(prompt, 4 + 32 + NotAgainFlag, nullptr)) & 255, 7);
    }

    // Key, then the result; keys that do nothing are followed by Esc (the result is then the
    // escape code).
    void keys_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("result");
        const int none = Qt::NoModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
        dataRow("OK o", 0, int(Qt::Key_O), none, 1);
        dataRow("OK c does nothing", 1, int(Qt::Key_C), none, 1);
        dataRow("Yes No Enter", 4, int(Qt::Key_Return), none, 6);
        dataRow("Yes No y", 4, int(Qt::Key_Y), none, 6);
        dataRow("Yes No shift+N", 4, int(Qt::Key_N), shift, 7);
        dataRow("Yes No o does nothing", 4, int(Qt::Key_O), none, 7);
        dataRow("Yes No Cancel c", 3, int(Qt::Key_C), none, 2);
        dataRow("Retry Cancel Enter", 5, int(Qt::Key_Enter), none, 4);
        dataRow("Retry Cancel r", 5, int(Qt::Key_R), none, 4);
        dataRow("Yes All No a", 6, int(Qt::Key_A), none, 8);
        dataRow("Yes All No c does nothing", 6, int(Qt::Key_C), none, 7);
        dataRow("Yes All No Cancel c", 7, int(Qt::Key_C), none, 2);
        dataRow("Yes All No Cancel Alt+A", 7, int(Qt::Key_A), alt, 8);
        // Key 0: the window's close box, which gives the escape code.
        dataRow("Yes No Cancel close box", 3, 0, none, 2);
        dataRow("Yes No close box", 4, 0, none, 7);
    }
    void keys()
    {
        QFETCH(int, flags);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, result);
        whenShown([&](frmMsgBox &f) {
            if (key == 0)
                f.widget()->close();
            else
                type(f, key, Qt::KeyboardModifiers(modifiers));
            if (f.isVisible())
                type(f, Qt::Key_Escape);
        });
        QCOMPARE(int(Nvmain::MessageBox("Keys", rt::Int(flags))), result);
        QVERIFY(!form().isVisible());
        QVERIFY(form().isLoaded());
    }

    void focusedButtonTakesEnter()
    {
        whenShown([&](frmMsgBox &f) {
            QCOMPARE(f.widget()->focusWidget(), f.cmdYes);
            f.cmdNo->setFocus();
            type(f, Qt::Key_Return);
        });
        QCOMPARE(int(Nvmain::MessageBox("Delete it?", 4 + 32)), 7);
        // The next message starts on its default button again.
        whenShown([&](frmMsgBox &f) {
            QCOMPARE(f.widget()->focusWidget(), f.cmdYes);
            type(f, Qt::Key_Return);
        });
        QCOMPARE(int(Nvmain::MessageBox("Delete it?", 4 + 32)), 6);
    }

    // The box is ticked by the user; it keeps its state into the next message that shows it.
    void checkBox()
    {
        whenShown([](frmMsgBox &f) {
            QVERIFY(!f.chkNotAgain->isHidden());
            QTest::mouseClick(f.chkNotAgain, Qt::LeftButton);
            QTest::mouseClick(f.cmdYes, Qt::LeftButton);
        });
        QCOMPARE(int(Nvmain::MessageBox("Warn", 4 + NotAgainFlag)), 262);
        whenShown([](frmMsgBox &f) {
            QVERIFY(f.chkNotAgain->isHidden());
            type(f, Qt::Key_Y);
        });
        QCOMPARE(int(Nvmain::MessageBox("No box", 4)), 6);
        whenShown([](frmMsgBox &f) {
            QVERIFY(f.chkNotAgain->isChecked());
            type(f, Qt::Key_Escape);
        });
        QCOMPARE(int(Nvmain::MessageBox("Warn again", 4 + NotAgainFlag)), 7 + 256);
        whenShown([](frmMsgBox &f) {
            f.chkNotAgain->setChecked(false);
            type(f, Qt::Key_Y);
        });
        QCOMPARE(int(Nvmain::MessageBox("Warn", 4 + NotAgainFlag)), 6);
    }

    // An hourglass stays outside the window; over it the pointer is the default one.
    void mousePointer()
    {
        rt::setMousePointer(rt::vbHourglass);
        int insidePointer = -1;
        int outsidePointer = -1;
        bool watching = false;
        whenShown([&](frmMsgBox &f) {
            watching = f.Timer->isActive() && f.Timer->interval() == 100;
            const QRect frame = f.widget()->frameGeometry();
            QCursor::setPos(frame.center());
            QTRY_COMPARE(int(rt::mousePointer()), 0);
            insidePointer = rt::mousePointer();
            QCursor::setPos(frame.bottomRight() + QPoint(40, 40));
            QTRY_COMPARE(int(rt::mousePointer()), 11);
            outsidePointer = rt::mousePointer();
            QCursor::setPos(frame.center());
            QTRY_COMPARE(int(rt::mousePointer()), 0);
            type(f, Qt::Key_Return);
        });
        Nvmain::MessageBox("Busy", 0);
        QVERIFY(watching);
        QCOMPARE(insidePointer, 0);
        QCOMPARE(outsidePointer, 11);
        QCOMPARE(int(rt::mousePointer()), 11);
        QVERIFY(!form().Timer->isActive());
        rt::setMousePointer(rt::vbDefault);

        // With the default pointer there is nothing to watch.
        whenShown([&](frmMsgBox &f) {
            watching = f.Timer->isActive();
            type(f, Qt::Key_Return);
        });
        Nvmain::MessageBox("Idle", 0);
        QVERIFY(!watching);
        QCOMPARE(int(rt::mousePointer()), 0);
    }

    // A message asked for while one is on screen gets its escape code at once; the first one
    // stays and is answered normally.
    void secondMessageWhileShown_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("result");
        dataRow("Yes No", 4, 7);
        dataRow("check box not counted", 3 + 256, 2);
    }
    void secondMessageWhileShown()
    {
        QFETCH(int, flags);
        QFETCH(int, result);
        int second = -1;
        whenShown([&](frmMsgBox &f) {
            second = Nvmain::MessageBox("Second", rt::Int(flags));
            QVERIFY(f.isVisible());
            QCOMPARE(f.lbMessage->text(), QStringLiteral("First"));
            type(f, Qt::Key_Y);
        });
        QCOMPARE(int(Nvmain::MessageBox("First", 4)), 6);
        QCOMPARE(second, result);
    }

    // Unloaded from code while open (shutdown): the caller gets the safe answer, and the next
    // message loads the window again.
    void unloadedWhileShown()
    {
        whenShown([](frmMsgBox &f) { QVERIFY(f.unload(rt::vbFormCode)); });
        QCOMPARE(int(Nvmain::MessageBox("Going", 3)), 2);
        QVERIFY(!form().isLoaded());
        whenShown([](frmMsgBox &f) { type(f, Qt::Key_O); });
        QCOMPARE(int(Nvmain::MessageBox("Back", 0)), 1);
    }

    // Each message, of whatever size, is centred over its owner.
    void placedOverOwner()
    {
        QWidget owner;
        owner.setGeometry(120, 90, 600, 420);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        for (const QString &prompt : { QStringLiteral("Short"),
                 QStringLiteral("A much longer message\nover two lines of text") }) {
            QPoint centre;
            whenShown([&](frmMsgBox &f) {
                centre = f.widget()->geometry().center();
                type(f, Qt::Key_Escape);
            });
            Nvmain::MessageBox(prompt, 3, &owner);
            // Within the frame that the toolkit allows for when it cannot see one.
            QVERIFY2((centre - owner.geometry().center()).manhattanLength() <= 60,
                qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
        }
    }

    // tests/screenshot.sh app_tst_msgbox screenshot out.png: the disconnect question, whose
    // check box is wider than its text.
    void screenshot()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("NORVALIS_SCREENSHOT names no file");
        bool saved = false;
        whenShown([&](frmMsgBox &f) {
            QVERIFY(QTest::qWaitForWindowExposed(f.widget()));
            saved = f.widget()->grab().save(out);
            type(f, Qt::Key_Escape);
        });
        Nvmain::MessageBox(
            QStringLiteral("Do you want to disconnect session\r\n\"Host A\"?"), 3 + 32 + NotAgainFlag);
        QVERIFY(saved);
    }
};

QTEST_MAIN(tst_msgbox)
#include "tst_msgbox.moc"
