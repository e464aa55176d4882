#include "runtime/controls.h"
#include "runtime/form.h"
#include "runtime/interaction.h"
#include "runtime/screen.h"

#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QStyleOption>
#include <QtTest>
#include <functional>

using namespace rt;

namespace {

// A form whose handlers write to a shared log and can be told to cancel or swallow.
class LogForm : public Form
{
public:
    LogForm(const QString &name, QStringList *log)
        : Form(name)
        , log(log)
    { }

    QStringList *log;
    bool cancelQuery = false;
    bool cancelUnload = false;
    Int swallowKey = -1;
    QList<QPair<Int, Int>> keysDown;
    QList<QPair<Int, Int>> keysUp;
    QLineEdit *edit = nullptr;
    QMenu *fileMenu = nullptr;
    QLineEdit *other = nullptr; // made when secondBox is set
    bool secondBox = false;
    std::function<void()> onActivate;
    std::function<void()> onKeyDown;
    bool mainWindow = false;
    bool unloadOnLoad = false;

protected:
    QWidget *createWidgets() override
    {
        if (mainWindow) {
            auto *window = new QMainWindow;
            fileMenu = window->menuBar()->addMenu(QStringLiteral("&File"));
            fileMenu->addAction(QStringLiteral("&Open"));
            edit = new QLineEdit;
            window->setCentralWidget(edit);
            return window;
        }
        auto *widget = new QWidget;
        auto *layout = new QVBoxLayout(widget);
        edit = new QLineEdit;
        layout->addWidget(edit);
        if (secondBox) {
            other = new QLineEdit;
            layout->addWidget(other);
        }
        return widget;
    }
    void Form_Load() override
    {
        log->append(name() + QStringLiteral(" Load"));
        if (unloadOnLoad)
            unload();
    }
    void Form_Activate() override
    {
        log->append(name() + QStringLiteral(" Activate"));
        if (onActivate)
            onActivate();
    }
    void Form_Deactivate() override { log->append(name() + QStringLiteral(" Deactivate")); }
    void Form_QueryUnload(Int &cancel, Int mode) override
    {
        log->append(name() + QStringLiteral(" QueryUnload %1").arg(mode));
        if (cancelQuery)
            cancel = True;
    }
    void Form_Unload(Int &cancel) override
    {
        log->append(name() + QStringLiteral(" Unload"));
        if (cancelUnload)
            cancel = True;
    }
    void Form_KeyDown(Int &keyCode, Int shift) override
    {
        keysDown.append({ keyCode, shift });
        if (onKeyDown)
            onKeyDown();
        if (keyCode == swallowKey)
            keyCode = 0;
    }
    void Form_KeyUp(Int &keyCode, Int shift) override { keysUp.append({ keyCode, shift }); }
};

class LogFrame : public MdiForm
{
public:
    LogFrame(const QString &name, QStringList *log)
        : MdiForm(name)
        , log(log)
    { }
    QStringList *log;
    bool cancelQuery = false;

protected:
    QWidget *createWidgets() override
    {
        auto *window = new QMainWindow;
        window->setCentralWidget(makeMdiArea(window));
        window->resize(800, 600);
        return window;
    }
    void Form_QueryUnload(Int &cancel, Int mode) override
    {
        log->append(name() + QStringLiteral(" QueryUnload %1").arg(mode));
        if (cancelQuery)
            cancel = True;
    }
    void Form_Unload(Int &) override { log->append(name() + QStringLiteral(" Unload")); }
};

class LogChild : public MdiChildForm
{
public:
    LogChild(const QString &name, MdiForm *frame, QStringList *log)
        : MdiChildForm(name, frame)
        , log(log)
    { }
    QStringList *log;
    bool cancelQuery = false;
    Int swallowKey = -1;

protected:
    QWidget *createWidgets() override { return new QLineEdit; }
    void Form_KeyDown(Int &keyCode, Int shift) override
    {
        log->append(name() + QStringLiteral(" KeyDown %1 %2").arg(keyCode).arg(shift));
        if (keyCode == swallowKey)
            keyCode = 0;
    }
    void Form_Activate() override { log->append(name() + QStringLiteral(" Activate")); }
    void Form_Deactivate() override { log->append(name() + QStringLiteral(" Deactivate")); }
    void Form_QueryUnload(Int &cancel, Int mode) override
    {
        log->append(name() + QStringLiteral(" QueryUnload %1").arg(mode));
        if (cancelQuery)
            cancel = True;
    }
    void Form_Unload(Int &) override { log->append(name() + QStringLiteral(" Unload")); }
};

// Shows the form and puts the keyboard focus into its text box.
bool showWithFocus(LogForm &f)
{
    f.show();
    if (!QTest::qWaitForWindowActive(f.widget()))
        return false;
    f.edit->setFocus();
    return f.edit->hasFocus();
}

QStringList names(const QList<Form *> &forms)
{
    QStringList result;
    for (const Form *f : forms)
        result << f->name();
    return result;
}

} // namespace

class tst_form : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { setDialogsWaitOffscreen(true); } // modal forms are driven here

    void cleanup()
    {
        for (Form *f : Forms())
            f->unload();
        QVERIFY(Forms().isEmpty());
    }

    void unload_data()
    {
        QTest::addColumn<bool>("cancelQuery");
        QTest::addColumn<bool>("cancelUnload");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("from code")
            << false << false << 1 << true << QStringList { "f QueryUnload 1", "f Unload" };
        QTest::newRow("query cancels")
            << true << false << 0 << false << QStringList { "f QueryUnload 0" };
        QTest::newRow("unload cancels")
            << false << true << 3 << false << QStringList { "f QueryUnload 3", "f Unload" };
    }
    void unload()
    {
        QFETCH(bool, cancelQuery);
        QFETCH(bool, cancelUnload);
        QFETCH(int, mode);
        QFETCH(bool, result);
        QFETCH(QStringList, events);
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.cancelQuery = cancelQuery;
        f.cancelUnload = cancelUnload;
        f.show();
        log.clear();
        QCOMPARE(f.unload(Int(mode)), result);
        QCOMPARE(log, events);
        QCOMPARE(f.isLoaded(), !result);
        QCOMPARE(f.isVisible(), !result);
        QCOMPARE(Forms().contains(&f), !result);
        // Unloading a form that is not loaded asks nothing.
        if (result) {
            log.clear();
            QVERIFY(f.unload());
            QVERIFY(log.isEmpty());
        }
    }

    void closeBoxUnloadsWithModeZero_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled close stays open") << true;
        QTest::newRow("close unloads") << false;
    }
    void closeBoxUnloadsWithModeZero()
    {
        QFETCH(bool, cancel);
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.cancelQuery = cancel;
        f.show();
        QPointer<QWidget> window = f.widget();
        window->close();
        QVERIFY(log.contains(QStringLiteral("f QueryUnload 0")));
        QCOMPARE(f.isLoaded(), cancel);
        QCOMPARE(window->isVisible(), cancel);
        if (!cancel)
            QTRY_VERIFY(window.isNull());
    }

    void reloadAfterUnload()
    {
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.Tag = QStringLiteral("7");
        f.load();
        f.load();
        QCOMPARE(log.count(QStringLiteral("f Load")), 1);
        QVERIFY(f.unload());
        f.show();
        QCOMPARE(log.count(QStringLiteral("f Load")), 2);
        QVERIFY(f.isVisible());
        QCOMPARE(f.Tag, QStringLiteral("7"));
    }

    void formsInLoadOrder()
    {
        QStringList log;
        LogForm a(QStringLiteral("a"), &log), b(QStringLiteral("b"), &log),
            c(QStringLiteral("c"), &log);
        a.load();
        b.show();
        c.load();
        QCOMPARE(names(Forms()), (QStringList { "a", "b", "c" }));
        QVERIFY(b.unload());
        QCOMPARE(names(Forms()), (QStringList { "a", "c" }));
        b.load();
        QCOMPARE(names(Forms()), (QStringList { "a", "c", "b" }));
        {
            LogForm d(QStringLiteral("d"), &log);
            d.load();
            QCOMPARE(Forms().size(), 4);
        }
        QCOMPARE(names(Forms()), (QStringList { "a", "c", "b" }));
    }

    void mdiFrameAsksChildren_data()
    {
        QTest::addColumn<int>("cancelling"); // child index that cancels, -1 none
        QTest::addColumn<bool>("frameCancels");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("all agree")
            << -1 << false
            << QStringList { "frame QueryUnload 1", "c0 QueryUnload 4", "c1 QueryUnload 4",
                   "c2 QueryUnload 4", "c0 Unload", "c1 Unload", "c2 Unload", "frame Unload" };
        QTest::newRow("second child cancels")
            << 1 << false
            << QStringList { "frame QueryUnload 1", "c0 QueryUnload 4", "c1 QueryUnload 4" };
        QTest::newRow("frame cancels") << -1 << true << QStringList { "frame QueryUnload 1" };
    }
    void mdiFrameAsksChildren()
    {
        QFETCH(int, cancelling);
        QFETCH(bool, frameCancels);
        QFETCH(QStringList, events);
        QStringList log;
        LogFrame frame(QStringLiteral("frame"), &log);
        frame.cancelQuery = frameCancels;
        LogChild c0(QStringLiteral("c0"), &frame, &log), c1(QStringLiteral("c1"), &frame, &log),
            c2(QStringLiteral("c2"), &frame, &log);
        LogChild *children[] = { &c0, &c1, &c2 };
        for (LogChild *c : children)
            c->show();
        if (cancelling >= 0)
            children[cancelling]->cancelQuery = true;
        QVERIFY(frame.isLoaded());
        log.clear();
        const bool ok = frame.unload();
        QCOMPARE(log, events);
        const bool expectUnloaded = cancelling < 0 && !frameCancels;
        QCOMPARE(ok, expectUnloaded);
        QCOMPARE(frame.isLoaded(), !expectUnloaded);
        for (LogChild *c : children)
            QCOMPARE(c->isLoaded(), !expectUnloaded);
    }

    void mdiChildCloseBox()
    {
        QStringList log;
        LogFrame frame(QStringLiteral("frame"), &log);
        LogChild child(QStringLiteral("c"), &frame, &log);
        child.show();
        QVERIFY(child.subWindow());
        QCOMPARE(child.windowWidget(), child.subWindow());
        QVERIFY(!frame.isVisible()); // loading a child loads its frame without showing it
        child.cancelQuery = true;
        child.subWindow()->close();
        QCOMPARE(log.last(), QStringLiteral("c QueryUnload 0"));
        QVERIFY(child.isLoaded());
        QVERIFY(child.isVisible());
        child.cancelQuery = false;
        QPointer<QMdiSubWindow> sub = child.subWindow();
        sub->close();
        QVERIFY(!child.isLoaded());
        QVERIFY(frame.mdiArea()->subWindowList().isEmpty());
        QTRY_VERIFY(sub.isNull());
    }

    void destroyingALoadedChildRemovesItsWindow()
    {
        QStringList log;
        LogFrame frame(QStringLiteral("frame"), &log);
        auto *child = new LogChild(QStringLiteral("c"), &frame, &log);
        child->show();
        QPointer<QMdiSubWindow> sub = child->subWindow();
        delete child;
        QVERIFY(frame.mdiArea()->subWindowList().isEmpty());
        QCOMPARE(names(Forms()), QStringList { "frame" });
        QTRY_VERIFY(sub.isNull());
    }

    // A hidden child takes its window state without showing up, and shows in it later.
    void mdiChildStateWhileHidden()
    {
        QStringList log;
        LogFrame frame(QStringLiteral("frame"), &log);
        frame.show();
        LogChild child(QStringLiteral("c"), &frame, &log);
        child.load();
        child.setWindowState(vbMaximized);
        QVERIFY(!child.isVisible());
        child.show();
        QTRY_COMPARE(int(child.windowState()), int(vbMaximized));
        QVERIFY(child.subWindow()->isMaximized());
        child.setWindowState(vbNormal);
        QTRY_COMPARE(int(child.windowState()), int(vbNormal));
    }

    void mdiActiveFormAndActivation()
    {
        QStringList log;
        LogFrame frame(QStringLiteral("frame"), &log);
        frame.show();
        QVERIFY(QTest::qWaitForWindowActive(frame.widget()));
        LogChild a(QStringLiteral("a"), &frame, &log), b(QStringLiteral("b"), &frame, &log);
        a.show();
        QTRY_COMPARE(frame.activeForm(), &a);
        b.show();
        QTRY_COMPARE(frame.activeForm(), &b);
        const QStringList expected { "a Activate", "a Deactivate", "b Activate" };
        QTRY_VERIFY(log.join('|').contains(expected.join('|')));
        QVERIFY(b.unload());
        QTRY_COMPARE(frame.activeForm(), &a);
        QCOMPARE(log.last(), QStringLiteral("a Activate"));
    }

    // The child sees Ctrl+Tab before the area's own window cycling.
    void mdiChildSeesCtrlTabFirst_data()
    {
        QTest::addColumn<bool>("swallow");
        QTest::newRow("swallowed: the child stays active") << true;
        QTest::newRow("passed on: the area cycles") << false;
    }
    void mdiChildSeesCtrlTabFirst()
    {
        QFETCH(bool, swallow);
        QStringList log;
        LogFrame frame(QStringLiteral("frame"), &log);
        frame.show();
        QVERIFY(QTest::qWaitForWindowActive(frame.widget()));
        LogChild a(QStringLiteral("a"), &frame, &log), b(QStringLiteral("b"), &frame, &log);
        a.keyPreview = b.keyPreview = true;
        a.show();
        b.show();
        QTRY_COMPARE(frame.activeForm(), &b);
        b.swallowKey = swallow ? Int(vbKeyTab) : Int(-1);
        b.widget()->setFocus();
        QTRY_VERIFY(b.widget()->hasFocus());
        QTest::keyClick(b.widget(), Qt::Key_Tab, Qt::ControlModifier);
        QVERIFY(log.contains(QStringLiteral("b KeyDown 9 2")));
        if (swallow)
            QCOMPARE(frame.activeForm(), &b);
        else
            QTRY_COMPARE(frame.activeForm(), &a);
    }

    void mdiArrange_data()
    {
        QTest::addColumn<int>("arrangement");
        QTest::addColumn<bool>("sameWidth"); // all windows as wide as the area
        QTest::addColumn<bool>("sameHeight");
        QTest::newRow("tile horizontally") << 1 << true << false;
        QTest::newRow("tile vertically") << 2 << false << true;
    }
    void mdiArrange()
    {
        QFETCH(int, arrangement);
        QFETCH(bool, sameWidth);
        QFETCH(bool, sameHeight);
        QStringList log;
        LogFrame frame(QStringLiteral("frame"), &log);
        frame.show();
        LogChild a(QStringLiteral("a"), &frame, &log), b(QStringLiteral("b"), &frame, &log);
        a.show();
        b.show();
        frame.arrange(Int(arrangement));
        const QRect area = frame.mdiArea()->viewport()->rect();
        const QRect ra = a.subWindow()->geometry();
        const QRect rb = b.subWindow()->geometry();
        QCOMPARE(ra.width() == area.width(), sameWidth);
        QCOMPARE(ra.height() == area.height(), sameHeight);
        QVERIFY(!ra.intersects(rb));
        QVERIFY_THROWS_EXCEPTION(Error, frame.arrange(4));
    }

    // Cascading four windows, one of them maximized and the active one not the last made: every
    // title bar shows (no window in front covers it), every window stays in the area, and the
    // active window stays active and in front.
    void mdiCascadeShowsEveryTitleBar()
    {
        QStringList log;
        LogFrame frame(QStringLiteral("frame"), &log);
        frame.show();
        std::vector<std::unique_ptr<LogChild>> children;
        for (const char *name : { "a", "b", "c", "d" }) {
            children.push_back(std::make_unique<LogChild>(QLatin1String(name), &frame, &log));
            children.back()->show();
        }
        children.at(2)->subWindow()->showMaximized();
        children.at(0)->show();
        QTRY_COMPARE(frame.activeForm(), children.at(0).get());
        frame.arrange(0);
        const QList<QMdiSubWindow *> stack
            = frame.mdiArea()->subWindowList(QMdiArea::StackingOrder);
        QCOMPARE(stack.size(), 4);
        const QRect area = frame.mdiArea()->viewport()->rect();
        for (int i = 0; i < stack.size(); ++i) {
            const QRect window = stack.at(i)->geometry();
            QVERIFY(area.contains(window));
            QVERIFY(!stack.at(i)->isMaximized());
            QStyleOptionTitleBar option;
            option.initFrom(stack.at(i));
            const int height
                = stack.at(i)->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, stack.at(i));
            const QRect titleBar(window.topLeft(), QSize(window.width(), height));
            for (int j = i + 1; j < stack.size(); ++j)
                QVERIFY2(!stack.at(j)->geometry().intersects(titleBar), qPrintable(
                    QString::number(i) + u" under "_qs + QString::number(j)));
        }
        QCOMPARE(frame.activeForm(), children.at(0).get());
        QCOMPARE(stack.last(), children.at(0)->subWindow());
    }

    // A modal form shown from a timer while another modal form is up runs in a nested loop;
    // hiding the inner one ends only its loop, and the outer one ends when it is hidden.
    void modalReentry()
    {
        QStringList log;
        LogForm outer(QStringLiteral("outer"), &log), inner(QStringLiteral("inner"), &log);
        QStringList order;
        int errorOnSecondShow = 0;
        QTimer::singleShot(0, this, [&] {
            QVERIFY(outer.isModalShown());
            try {
                outer.showModal();
            } catch (const Error &e) {
                errorOnSecondShow = e.number;
            }
            QTimer::singleShot(0, this, [&] {
                QVERIFY(inner.isModalShown());
                inner.hide();
            });
            inner.showModal(outer.widget());
            order << QStringLiteral("inner returned");
            QVERIFY(outer.isModalShown());
            QTimer::singleShot(0, this, [&] { outer.hide(); });
        });
        outer.showModal();
        order << QStringLiteral("outer returned");
        QCOMPARE(order, (QStringList { "inner returned", "outer returned" }));
        QCOMPARE(errorOnSecondShow, 400);
        QVERIFY(!outer.isModalShown());
        QVERIFY(outer.isLoaded());
        QVERIFY(!outer.isVisible());
        QCOMPARE(outer.widget()->windowModality(), Qt::NonModal);
        // The same form can be shown modally again after it was hidden.
        QTimer::singleShot(0, this, [&] { outer.unload(); });
        outer.showModal();
        QVERIFY(!outer.isLoaded());
    }

    // Nobody to answer: a modal form is closed at once as by its close box, without waiting; a
    // form that refuses stays loaded and hidden.
    void modalWithNobodyToAnswer_data()
    {
        QTest::addColumn<bool>("refuses");
        QTest::newRow("closes") << false;
        QTest::newRow("refuses to close") << true;
    }
    void modalWithNobodyToAnswer()
    {
        QFETCH(bool, refuses);
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.cancelQuery = refuses;
        setDialogsWaitOffscreen(false);
        const bool unattended = !userCanAnswer();
        if (unattended)
            f.showModal();
        setDialogsWaitOffscreen(true);
        if (!unattended)
            QSKIP("a display: someone can answer (run offscreen)");
        QCOMPARE(log.value(1), QStringLiteral("f QueryUnload 0"));
        QCOMPARE(f.isLoaded(), refuses);
        QVERIFY(!f.isVisible());
        QVERIFY(!f.isModalShown());
    }

    // The program told to end closes every modal window open, innermost first, as its user
    // would: a form through its close box (it may answer and hide instead), a dialog rejected, a
    // box without an escape button hidden.
    void cancelModalWindows()
    {
        QStringList log;
        LogForm outer(QStringLiteral("outer"), &log), inner(QStringLiteral("inner"), &log);
        inner.cancelQuery = true; // refuses to unload
        QStringList order;
        int dialogResult = -1;
        QTimer::singleShot(0, this, [&] {
            QTimer::singleShot(0, this, [&] {
                QTimer::singleShot(0, this, [&] {
                    QTimer::singleShot(0, this, [&] { rt::cancelModalWindows(); });
                    QMessageBox box(QMessageBox::Question, QStringLiteral("box"),
                        QStringLiteral("Sure?"), QMessageBox::Yes | QMessageBox::No);
                    box.setEscapeButton(static_cast<QAbstractButton *>(nullptr));
                    box.exec();
                    order << QStringLiteral("box");
                });
                QDialog dialog;
                dialogResult = dialog.exec();
                order << QStringLiteral("dialog");
            });
            inner.showModal(outer.widget());
            order << QStringLiteral("inner");
        });
        outer.showModal();
        order << QStringLiteral("outer");
        QCOMPARE(order, (QStringList { "box", "dialog", "inner", "outer" }));
        QCOMPARE(dialogResult, int(QDialog::Rejected));
        QVERIFY(inner.isLoaded()); // it refused to unload: hidden instead
        QVERIFY(!inner.isVisible());
        QVERIFY(!outer.isLoaded());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void modalEndsWhenHiddenByItsOwnActivate()
    {
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.onActivate = [&] { f.hide(); };
        f.showModal();
        QVERIFY(!f.isVisible());
        QVERIFY(!f.isModalShown());
    }

    void keyPreview_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("keyCode");
        QTest::addColumn<int>("shift");
        QTest::newRow("Tab") << int(Qt::Key_Tab) << 0 << 9 << 0;
        QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << 9 << 1;
        QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << 13 << 0;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 13 << 0;
        QTest::newRow("Esc") << int(Qt::Key_Escape) << 0 << 27 << 0;
        QTest::newRow("Shift") << int(Qt::Key_Shift) << 0 << 16 << 1;
        QTest::newRow("Ctrl") << int(Qt::Key_Control) << 0 << 17 << 2;
        QTest::newRow("Alt") << int(Qt::Key_Alt) << 0 << 18 << 4;
        QTest::newRow("Scroll Lock") << int(Qt::Key_ScrollLock) << 0 << 145 << 0;
        QTest::newRow("a") << int(Qt::Key_A) << 0 << 65 << 0;
        QTest::newRow("Shift+z") << int(Qt::Key_Z) << int(Qt::ShiftModifier) << 90 << 1;
        QTest::newRow("Ctrl+Alt+C")
            << int(Qt::Key_C) << int(Qt::ControlModifier | Qt::AltModifier) << 67 << 6;
        QTest::newRow("0") << int(Qt::Key_0) << 0 << 48 << 0;
        QTest::newRow("Shift+1 is the 1 key")
            << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << 49 << 1;
        QTest::newRow("keypad 5") << int(Qt::Key_5) << int(Qt::KeypadModifier) << 101 << 0;
        QTest::newRow("F1") << int(Qt::Key_F1) << 0 << 112 << 0;
        QTest::newRow("F12") << int(Qt::Key_F12) << 0 << 123 << 0;
        QTest::newRow("Left") << int(Qt::Key_Left) << 0 << 37 << 0;
        QTest::newRow("Down") << int(Qt::Key_Down) << 0 << 40 << 0;
        QTest::newRow("Delete") << int(Qt::Key_Delete) << 0 << 46 << 0;
        QTest::newRow("semicolon") << int(Qt::Key_Semicolon) << 0 << 186 << 0;
    }
    void keyPreview()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, keyCode);
        QFETCH(int, shift);
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.keyPreview = true;
        QVERIFY(showWithFocus(f));
        // The modifier keys go down first, then the key; the key comes up first.
        QTest::keyPress(f.edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(f.keysDown.size(), qPopulationCount(uint(modifiers & ~Qt::KeypadModifier)) + 1);
        QCOMPARE(f.keysDown.last(), qMakePair(Int(keyCode), Int(shift)));
        QTest::keyRelease(f.edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(f.keysUp.size(), f.keysDown.size());
        QCOMPARE(f.keysUp.first().first, Int(keyCode));
    }

    // A KeyDown that moves the focus to a parent of the key's receiver (as a dialog it opens
    // does when it closes): Qt hands the key on to that parent, and the form sees it once.
    void keyPreviewOnceWhenTheFocusMoves_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("a") << int(Qt::Key_A) << 0;
        QTest::newRow("Alt+C") << int(Qt::Key_C) << int(Qt::AltModifier);
        QTest::newRow("F5") << int(Qt::Key_F5) << 0;
    }
    void keyPreviewOnceWhenTheFocusMoves()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.keyPreview = true;
        QVERIFY(showWithFocus(f));
        f.onKeyDown = [&] { f.widget()->setFocus(); };
        QTest::keyPress(f.edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(f.keysDown.size(), qPopulationCount(uint(modifiers)) + 1);
        // The next key, at the parent now, is the form's again.
        f.keysDown.clear();
        f.onKeyDown = nullptr;
        QTest::keyClick(f.widget(), Qt::Key_B);
        QCOMPARE(f.keysDown.size(), 1);
    }

    void keyPreviewOffPassesControlKeys()
    {
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        QVERIFY(showWithFocus(f));
        QTest::keyClick(f.edit, Qt::Key_A);
        QVERIFY(f.keysDown.isEmpty());
        QCOMPARE(f.edit->text(), QStringLiteral("a"));
    }

    void swallowedKeyNeverReachesControl_data()
    {
        QTest::addColumn<int>("swallow");
        QTest::addColumn<QString>("text");
        QTest::newRow("swallow b") << 66 << "ac";
        QTest::newRow("swallow nothing") << -1 << "abc";
    }
    void swallowedKeyNeverReachesControl()
    {
        QFETCH(int, swallow);
        QFETCH(QString, text);
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.keyPreview = true;
        f.swallowKey = Int(swallow);
        QVERIFY(showWithFocus(f));
        QTest::keyClicks(f.edit, QStringLiteral("abc"));
        QCOMPARE(f.edit->text(), text);
        QCOMPARE(f.keysDown.size(), 3); // each key reaches the form once
    }

    // Alt+letter and Ctrl shortcuts reach the form before the menu bar and the window's actions.
    void formSeesShortcutsFirst_data()
    {
        QTest::addColumn<bool>("swallow");
        QTest::newRow("swallowed: no shortcut") << true;
        QTest::newRow("not swallowed: shortcut runs") << false;
    }
    void formSeesShortcutsFirst()
    {
        QFETCH(bool, swallow);
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.mainWindow = true;
        f.keyPreview = true;
        f.swallowKey = swallow ? Int(75) : Int(-1);
        QVERIFY(showWithFocus(f));
        int triggered = 0;
        auto *action = new QAction(f.widget());
        action->setShortcut(QKeySequence(QStringLiteral("Ctrl+K")));
        f.widget()->addAction(action);
        connect(action, &QAction::triggered, this, [&] { ++triggered; });
        QTest::keyClick(f.edit, Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(f.keysDown.last(), qMakePair(Int(75), Int(vbCtrlMask)));
        QCOMPARE(triggered, swallow ? 0 : 1);

        f.keysDown.clear();
        f.swallowKey = swallow ? Int(70) : Int(-1);
        QTest::keyClick(f.edit, Qt::Key_F, Qt::AltModifier);
        QCOMPARE(f.keysDown.last(), qMakePair(Int(70), Int(vbAltMask)));
        if (swallow)
            QVERIFY(!f.fileMenu->isVisible());
        else
            QTRY_VERIFY(f.fileMenu->isVisible());
        f.fileMenu->hide();
    }

    void geometryInTwips()
    {
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(f.widget()));
        const double tppX = TwipsPerPixelX();
        const double tppY = TwipsPerPixelY();
        QCOMPARE(tppX, 1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInchX());
        const Long left = Long(qRound(50 * tppX)), top = Long(qRound(40 * tppY));
        const Long width = Long(qRound(300 * tppX)), height = Long(qRound(200 * tppY));
        f.move(left, top, width, height);
        QTRY_COMPARE(f.widget()->frameGeometry().size(), QSize(300, 200));
        QTRY_COMPARE(f.left(), left);
        QCOMPARE(f.top(), top);
        QCOMPARE(f.width(), width);
        QCOMPARE(f.height(), height);
        QCOMPARE(f.scaleWidth(), Long(qRound(f.widget()->width() * tppX)));
        QCOMPARE(f.scaleHeight(), Long(qRound(f.widget()->height() * tppY)));
        QCOMPARE(ScreenWidth(),
            Long(qRound(QGuiApplication::primaryScreen()->geometry().width() * tppX)));
        f.setWidth(Long(qRound(320 * tppX)));
        QTRY_COMPARE(f.widget()->frameGeometry().width(), 320);
        QCOMPARE(f.height(), height);
    }

    void windowState_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("expected");
        QTest::newRow("maximized") << 2 << 2;
        QTest::newRow("normal") << 0 << 0;
        QTest::newRow("out of range ignored") << 3 << 2;
        QTest::newRow("negative ignored") << -1 << 2;
    }
    void windowState()
    {
        QFETCH(int, state);
        QFETCH(int, expected);
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.show();
        f.setWindowState(vbMaximized);
        f.setWindowState(Int(state));
        QCOMPARE(int(f.windowState()), expected);
        if (expected == vbMaximized) {
            QVERIFY_THROWS_EXCEPTION(Error, f.move(0, 0));
        }
    }
    // A form whose Form_Load unloads it again is not shown, by show or showModal.
    void unloadedByItsOwnLoad_data()
    {
        QTest::addColumn<bool>("modal");
        QTest::newRow("show") << false;
        QTest::newRow("showModal") << true;
    }
    void unloadedByItsOwnLoad()
    {
        QFETCH(bool, modal);
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.unloadOnLoad = true;
        if (modal)
            f.showModal();
        else
            f.show();
        QVERIFY(!f.isLoaded());
        QCOMPARE(log, QStringList({ u"f Load"_qs, u"f QueryUnload 1"_qs, u"f Unload"_qs }));
    }

    // LostFocus: the user moving the focus to another control raises it; code moving the
    // focus, or another window becoming active, does not.
    void lostFocus_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("raised");
        QTest::newRow("Tab") << "tab" << 1;
        QTest::newRow("Shift+Tab") << "backtab" << 1;
        QTest::newRow("a click on another control") << "click" << 1;
        QTest::newRow("code") << "code" << 0;
        QTest::newRow("another window") << "window" << 0;
    }
    void lostFocus()
    {
        QFETCH(QString, how);
        QStringList log;
        LogForm f(QStringLiteral("f"), &log);
        f.secondBox = true;
        QVERIFY(showWithFocus(f));
        int raised = 0;
        rt::onLostFocus(f.edit, [&] { ++raised; });
        LogForm second(QStringLiteral("second"), &log);
        if (how == u"tab")
            QTest::keyClick(f.edit, Qt::Key_Tab);
        else if (how == u"backtab")
            QTest::keyClick(f.edit, Qt::Key_Backtab, Qt::ShiftModifier);
        else if (how == u"click")
            QTest::mouseClick(f.other, Qt::LeftButton);
        else if (how == u"code")
            f.other->setFocus();
        else
            QVERIFY(showWithFocus(second));
        QTRY_VERIFY(!f.edit->hasFocus());
        QTEST(raised, "raised");
    }

};

QTEST_MAIN(tst_form)
#include "tst_form.moc"
