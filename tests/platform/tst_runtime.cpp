#include "runtime/collection.h"
#include "runtime/controls.h"
#include "runtime/error.h"
#include "runtime/form.h"
#include "runtime/interaction.h"
#include "runtime/keyboard.h"
#include "runtime/messages.h"
#include "runtime/screen.h"
#include "runtime/timer.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>
#include <deque>

using namespace rt;

namespace {

// Runs one operation of the collection table: "add ITEM [KEY|-] [before|after POS]...",
// "remove POS", "item POS". A POS in quotes is a key, otherwise an index.
QVariant position(const QString &text)
{
    if (text.startsWith(u'\''))
        return text.mid(1, text.size() - 2);
    return text.toDouble();
}

void runOperation(Collection<QString> &c, const QString &op)
{
    const QStringList w = op.split(u' ');
    if (w[0] == QLatin1String("add")) {
        const QString key = w.size() > 2 && w[2] != QLatin1String("-") ? w[2] : QString();
        QVariant before, after;
        for (int i = 3; i + 1 < w.size(); i += 2)
            (w[i] == QLatin1String("before") ? before : after) = position(w[i + 1]);
        c.Add(w[1], key, before, after);
    } else if (w[0] == QLatin1String("remove")) {
        c.Remove(position(w[1]));
    } else {
        (void)c.Item(position(w[1]));
    }
}

QString contents(const Collection<QString> &c)
{
    QStringList items;
    for (const QString &item : c)
        items << item;
    return items.join(u',');
}

// A form with nothing on it, to count loaded forms.
class EmptyForm : public Form
{
public:
    using Form::Form;

protected:
    QWidget *createWidgets() override { return new QWidget; }
};

} // namespace

class tst_runtime : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        setFatalHandler([this](const Error &e) { fatalErrors << e.number; });
        fatalErrors.clear();
        setReporter(nullptr);
    }

    // ---- handler protocol ----

    void handlerProtocol_data()
    {
        QTest::addColumn<int>("failures"); // times the first statement fails
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QString>("trace");
        QTest::addColumn<int>("escaped"); // error number that leaves the procedure, 0 none
        QTest::newRow("no error") << 0 << QList<int> {} << "try ok next" << 0;
        QTest::newRow("retry runs the statement again")
            << 1 << QList<int> { 1 } << "try fail try ok next" << 0;
        QTest::newRow("retry twice")
            << 2 << QList<int> { 1, 1 } << "try fail try fail try ok next" << 0;
        QTest::newRow("continue goes on with the next statement")
            << 1 << QList<int> { 2 } << "try fail next" << 0;
        QTest::newRow("give up raises again") << 1 << QList<int> { 0 } << "try fail" << 11;
        QTest::newRow("retry then give up")
            << 3 << QList<int> { 1, 0 } << "try fail try fail" << 11;
        QTest::newRow("unknown answer gives up") << 1 << QList<int> { 7 } << "try fail" << 11;
    }
    void handlerProtocol()
    {
        QFETCH(int, failures);
        QFETCH(QList<int>, answers);
        QFETCH(QString, trace);
        QFETCH(int, escaped);
        std::deque<int> pending(answers.begin(), answers.end());
        QStringList reports;
        setReporter([&](Error &error, const QString &module, const QString &procedure) {
            reports << QStringLiteral("%1.%2 %3").arg(module, procedure).arg(error.number);
            const int answer = pending.front();
            pending.pop_front();
            return answer;
        });
        QStringList log;
        int escapedNumber = 0;
        try {
            Proc h("strfunc", "Field");
            h([&] {
                log << QStringLiteral("try");
                if (failures-- > 0) {
                    log << QStringLiteral("fail");
                    raise(11);
                }
                log << QStringLiteral("ok");
            });
            h([&] { log << QStringLiteral("next"); });
        } catch (const Error &e) {
            escapedNumber = e.number;
        }
        QCOMPARE(log.join(u' '), trace);
        QCOMPARE(escapedNumber, escaped);
        QVERIFY(pending.empty());
        for (const QString &r : reports)
            QCOMPARE(r, QStringLiteral("strfunc.Field 11"));
    }

    // Giving up raises the error the reporter saved, which may be another than the one caught.
    void giveUpRaisesTheSavedError()
    {
        setReporter([](Error &error, const QString &, const QString &) {
            error = Error(53, QStringLiteral("saved"), QStringLiteral("files"));
            return 0;
        });
        try {
            Proc("nvmain", "Main")([] { raise(5); });
            QFAIL("no error escaped");
        } catch (const Error &e) {
            QCOMPARE(e.number, Long(53));
            QCOMPARE(e.description, QStringLiteral("saved"));
            QCOMPARE(e.source, QStringLiteral("files"));
        }
    }

    // Inside a silent region a reporter that follows the nesting counter asks nothing and gives
    // up; the region swallows the error. The counter is back when the regions end.
    void silentRegionsNest()
    {
        int asked = 0;
        QList<Long> nestSeen;
        setReporter([&](Error &, const QString &, const QString &) {
            nestSeen << gErrNest;
            if (gErrNest > 0)
                return 0;
            ++asked;
            return 2;
        });
        const Long before = gErrNest;
        {
            ResumeNext outer;
            QCOMPARE(gErrNest, before + 1);
            {
                ResumeNext inner;
                QCOMPARE(gErrNest, before + 2);
                QVERIFY(!inner([] { Proc("session", "Baud")([] { raise(380); }); }));
                QCOMPARE(inner.error().number, Long(380));
            }
            QCOMPARE(gErrNest, before + 1);
            QVERIFY(outer([] {}));
            QVERIFY(!outer([] { throw std::runtime_error("boom"); }));
            QCOMPARE(outer.error().number, Long(51));
            QVERIFY(outer.failed());
            outer.clear();
            QCOMPARE(outer.error().number, Long(0));
        }
        QCOMPARE(gErrNest, before);
        QCOMPARE(asked, 0);
        QCOMPARE(nestSeen, QList<Long> { before + 2 });
        // Outside any region the same procedure reports and continues.
        Proc("session", "Baud")([] { raise(380); });
        QCOMPARE(asked, 1);
    }

    // A swallowed error leaves one debug line in its category, and only when that category's
    // debug lines are on; a region that swallowed nothing leaves none.
    void debugSwallowed_data()
    {
        QTest::addColumn<bool>("debugOn");
        QTest::addColumn<bool>("fails");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("expected"); // empty: no line
        QTest::newRow("swallowed")
            << true << true << QString() << "probe - error 53 File not found (ignored)";
        QTest::newRow("with detail") << true << true << "/x y"
                                     << "probe /x y - error 53 File not found (ignored)";
        QTest::newRow("nothing swallowed") << true << false << QString() << QString();
        QTest::newRow("debug lines off") << false << true << QString() << QString();
    }
    void debugSwallowed()
    {
        QFETCH(bool, debugOn);
        QFETCH(bool, fails);
        QFETCH(QString, detail);
        static QStringList lines;
        lines.clear();
        QLoggingCategory category("norvalis.test", debugOn ? QtDebugMsg : QtInfoMsg);
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &text) {
                if (type == QtDebugMsg && qstrcmp(context.category, "norvalis.test") == 0)
                    lines << text;
            });
        ResumeNext quiet;
        quiet([&] {
            if (fails)
                raise(rt::err::FileNotFound);
        });
        rt::debugSwallowed(category, quiet, "probe", detail);
        qInstallMessageHandler(previous);
        QTEST(lines.join(u'|'), "expected");
    }

    // An event handled while a silent region waits (a modal window opened inside it) reports
    // its own errors; the region is silent again afterwards.
    void eventsInsideSilentRegionsReport()
    {
        QList<Long> nestSeen;
        setReporter([&](Error &, const QString &, const QString &) {
            nestSeen << gErrNest;
            return gErrNest > 0 ? 0 : 2;
        });
        const Long before = gErrNest;
        bool went = false;
        {
            ResumeNext region;
            QVERIFY(region([&] {
                rt::event([&] {
                    Proc("dial", "cmdDial_Click")([] { raise(91); });
                    went = true;
                });
            }));
            QCOMPARE(gErrNest, before + 1);
        }
        QVERIFY(went);
        QCOMPARE(nestSeen, QList<Long> { 0 });
        QVERIFY(fatalErrors.isEmpty());
    }

    // ---- event boundary ----

    void eventBoundaryReportsOnce()
    {
        int after = 0;
        rt::event([] { raise(11); });
        rt::event([] { raise(13); });
        rt::event([&] { ++after; });
        QCOMPARE(fatalErrors, QList<Long> { 11 });
        QCOMPARE(after, 1);
        setFatalHandler([this](const Error &e) { fatalErrors << e.number; });
        rt::event([] { throw std::bad_alloc(); });
        QCOMPARE(fatalErrors, (QList<Long> { 11, 7 }));
    }

    // Without a handler of its own the program ends, once, with the runtime's message.
    void defaultFatalHandlerEndsTheProcess()
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("RT_FATAL_CHILD"), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(child.readAllStandardError());
        QCOMPARE(child.exitCode(), 1);
        QCOMPARE(err.count(QStringLiteral("Run-time error")), 1);
        QVERIFY(err.contains(QStringLiteral("Run-time error '11':\n\nDivision by zero")));
        QVERIFY(!child.readAllStandardOutput().contains("after"));
    }

    // ---- timers ----

    void timerCounting_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("counting");
        QTest::newRow("enabled with interval") << true << 50 << true;
        QTest::newRow("interval 0 is off") << true << 0 << false;
        QTest::newRow("disabled") << false << 50 << false;
    }
    void timerCounting()
    {
        QFETCH(bool, enabled);
        QFETCH(int, interval);
        QFETCH(bool, counting);
        Timer t;
        QVERIFY(t.enabled());
        QCOMPARE(t.interval(), Long(0));
        QVERIFY(!t.isCounting());
        t.setInterval(Long(interval));
        t.setEnabled(enabled);
        QCOMPARE(t.isCounting(), counting);
        QVERIFY_THROWS_EXCEPTION(Error, t.setInterval(-1));
    }

    void timerTicks()
    {
        Timer t;
        QSignalSpy ticks(&t, &Timer::tick);
        t.setInterval(5);
        QTRY_VERIFY(ticks.count() >= 2);
        t.setEnabled(false);
        QVERIFY(!t.isCounting());
    }

    // A tick that pumps events (as a modal window does) is not entered again by its own timer,
    // even when it restarts the count; other timers keep ticking meanwhile, and the timer ticks
    // again once the tick has ended.
    void timerTickIsNotReentered()
    {
        Timer slow, other;
        int entered = 0, depth = 0, maxDepth = 0, otherTicks = 0;
        connect(&other, &Timer::tick, this, [&] { ++otherTicks; });
        connect(&slow, &Timer::tick, this, [&] {
            ++entered;
            maxDepth = qMax(maxDepth, ++depth);
            if (depth == 1) {
                QVERIFY(slow.isTicking());
                slow.setEnabled(true); // starts the count again from inside the tick
                const int start = otherTicks;
                while (otherTicks < start + 5)
                    DoEvents();
            }
            --depth;
        });
        other.setInterval(1);
        slow.setInterval(1);
        QTRY_VERIFY(entered >= 2);
        QCOMPARE(maxDepth, 1);
        QVERIFY(otherTicks >= 5);
    }

    void timerErrorMeetsTheBoundaryAndTicksGoOn()
    {
        Timer t;
        int ticks = 0;
        connect(&t, &Timer::tick, this, [&] {
            ++ticks;
            raise(6);
        });
        t.setInterval(1);
        QTRY_VERIFY(ticks >= 2);
        QCOMPARE(fatalErrors, QList<Long> { 6 });
        QVERIFY(!t.isTicking());
    }

    // ---- collections ----

    void collection_data()
    {
        QTest::addColumn<QStringList>("operations");
        QTest::addColumn<QString>("items");
        QTest::addColumn<int>("error"); // raised by the last operation, 0 none
        QTest::newRow("append") << QStringList { "add a", "add b", "add c" } << "a,b,c" << 0;
        QTest::newRow("before index 1")
            << QStringList { "add a", "add b - before 1" } << "b,a" << 0;
        QTest::newRow("after key without case")
            << QStringList { "add a K1", "add b", "add c - after 'k1'" } << "a,c,b" << 0;
        QTest::newRow("after last")
            << QStringList { "add a", "add b", "add c - after 2" } << "a,b,c" << 0;
        QTest::newRow("duplicate key in another case")
            << QStringList { "add a Key", "add b KEY" } << "a" << 457;
        QTest::newRow("no key twice is fine") << QStringList { "add a", "add b -" } << "a,b" << 0;
        QTest::newRow("missing key") << QStringList { "add a k", "item 'x'" } << "a" << 5;
        QTest::newRow("key lookup without case")
            << QStringList { "add a Alpha", "item 'ALPHA'" } << "a" << 0;
        QTest::newRow("index 0") << QStringList { "add a", "item 0" } << "a" << 5;
        QTest::newRow("index past the end") << QStringList { "add a", "item 2" } << "a" << 5;
        QTest::newRow("empty collection") << QStringList { "item 1" } << "" << 5;
        QTest::newRow("remove by index shifts")
            << QStringList { "add a", "add b", "add c", "remove 2" } << "a,c" << 0;
        QTest::newRow("removed key can be added again")
            << QStringList { "add a k", "remove 'K'", "add b k" } << "b" << 0;
        QTest::newRow("remove missing key") << QStringList { "add a k", "remove 'j'" } << "a" << 5;
        QTest::newRow("before and after both")
            << QStringList { "add a", "add b - before 1 after 1" } << "a" << 5;
        QTest::newRow("before a missing position")
            << QStringList { "add a", "add b - before 2" } << "a" << 5;
        QTest::newRow("duplicate key with a position")
            << QStringList { "add a k", "add b K before 1" } << "a" << 457;
        QTest::newRow("numeric text is a key")
            << QStringList { "add a 2", "add b", "item '2'" } << "a,b" << 0;
    }
    void collection()
    {
        QFETCH(QStringList, operations);
        QFETCH(QString, items);
        QFETCH(int, error);
        Collection<QString> c;
        int raised = 0;
        for (const QString &op : operations) {
            try {
                runOperation(c, op);
            } catch (const Error &e) {
                raised = e.number;
                QCOMPARE(op, operations.last());
            }
        }
        QCOMPARE(raised, error);
        QCOMPARE(contents(c), items);
        QCOMPARE(c.Count(), Long(items.isEmpty() ? 0 : items.count(u',') + 1));
    }

    void collectionItemsByKeyAndIndex()
    {
        Collection<int> c;
        c.Add(10, QStringLiteral("Ten"));
        c.Add(20);
        c.Item(QStringLiteral("tEN")) += 1;
        QCOMPARE(c.Item(1), 11);
        QCOMPARE(c.Item(QVariant(2.4)), 20);
        QCOMPARE(c.keyAt(1), QStringLiteral("Ten"));
        QCOMPARE(c.indexOf(QStringLiteral("TEN")), Long(1));
        QCOMPARE(c.indexOf(QStringLiteral("none")), Long(0));
        QVERIFY(c.Exists(QStringLiteral("ten")));
        QVERIFY(!c.Exists(QString()));
    }

    // ---- window messages ----

    void postedMessages_data()
    {
        QTest::addColumn<bool>("attached");
        QTest::addColumn<int>("message");
        QTest::addColumn<int>("handled");
        QTest::newRow("attached message") << true << 1830 << 1;
        QTest::newRow("other message") << true << 1831 << 0;
        QTest::newRow("nothing attached") << false << 1830 << 0;
    }
    void postedMessages()
    {
        QFETCH(bool, attached);
        QFETCH(int, message);
        QFETCH(int, handled);
        QObject target;
        QList<QList<Long>> calls;
        if (attached) {
            attachMessage(&target, WM_USER + 806, [&](Long m, Long w, Long l) {
                calls.append({ m, w, l });
                return 0;
            });
        }
        postMessage(&target, Long(message), 2, 0);
        QVERIFY(calls.isEmpty()); // queued, not run at once
        QObject fence;
        int fenceRan = 0;
        attachMessage(&fence, 1, [&](Long, Long, Long) { return ++fenceRan; });
        postMessage(&fence, 1);
        QTRY_COMPARE(fenceRan, 1); // posted later, so the first one has been delivered
        QCOMPARE(calls.size(), handled);
        if (handled)
            QCOMPARE(calls.first(), (QList<Long> { Long(message), 2, 0 }));
    }

    void sentMessages()
    {
        QObject target;
        int depth = 0, calls = 0;
        attachMessage(&target, WM_SYSCOLORCHANGE, [&](Long, Long w, Long) -> Long {
            ++calls;
            ++depth;
            // A broadcast that reaches its own sender is dropped instead of recursing.
            const Long inner = sendMessage(&target, WM_SYSCOLORCHANGE, w + 1, 0);
            --depth;
            return 40 + w + inner;
        });
        QVERIFY(isMessageAttached(&target, WM_SYSCOLORCHANGE));
        QCOMPARE(sendMessage(&target, WM_SYSCOLORCHANGE, 1, 0), Long(41));
        QCOMPARE(calls, 1);
        QCOMPARE(depth, 0);
        detachMessage(&target, WM_SYSCOLORCHANGE);
        QVERIFY(!isMessageAttached(&target, WM_SYSCOLORCHANGE));
        QCOMPARE(sendMessage(&target, WM_SYSCOLORCHANGE, 1, 0), Long(0));
    }

    void postedMessageErrorMeetsTheBoundary()
    {
        QObject target;
        attachMessage(&target, 1830, [](Long, Long, Long) -> Long { raise(9); });
        postMessage(&target, 1830, 1, 0);
        QCOMPARE(DoEvents(), Int(Forms().size()));
        QTRY_COMPARE(fatalErrors, QList<Long> { 9 });
    }

    void formWindowSendsActivate()
    {
        EmptyForm f(QStringLiteral("f"));
        f.load();
        QList<Long> states;
        attachMessage(&f, WM_ACTIVATE, [&](Long, Long w, Long) {
            states << w;
            return 0;
        });
        f.show();
        QTRY_COMPARE(states.value(0, -1), Long(1));
        QCOMPARE(DoEvents(), Int(1));
        f.unload();
        QCOMPARE(DoEvents(), Int(0));
    }

    // ---- screen, pointer, keyboard ----

    void mousePointer_data()
    {
        QTest::addColumn<QList<int>>("pointers");
        QTest::addColumn<int>("shape"); // -1 for no override cursor
        QTest::newRow("hourglass") << QList<int> { 11 } << int(Qt::WaitCursor);
        QTest::newRow("hourglass twice, one override") << QList<int> { 11, 11, 0 } << -1;
        QTest::newRow("back to default") << QList<int> { 11, 0 } << -1;
        QTest::newRow("default when default") << QList<int> { 0, 0 } << -1;
        QTest::newRow("other pointer shows the arrow")
            << QList<int> { 11, 1 } << int(Qt::ArrowCursor);
    }
    void mousePointer()
    {
        QFETCH(QList<int>, pointers);
        QFETCH(int, shape);
        for (int p : pointers)
            setMousePointer(Int(p));
        QCOMPARE(int(rt::mousePointer()), pointers.last());
        const QCursor *cursor = QGuiApplication::overrideCursor();
        QCOMPARE(cursor ? int(cursor->shape()) : -1, shape);
        setMousePointer(0);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void twipsFollowTheScreen()
    {
        const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
        QCOMPARE(TwipsPerPixelY(), 1440.0 / dpi);
        QCOMPARE(twipsToPixelsY(pixelsToTwipsY(123)), 123);
        QCOMPARE(ScreenHeight(),
            Long(qRound(QGuiApplication::primaryScreen()->geometry().height() * 1440.0 / dpi)));
    }

    // A text is cut to what the screens could show (a pixel a character), never inside a
    // character of two UTF-16 units. Lengths count from that limit.
    void visibleText_data()
    {
        QTest::addColumn<int>("lead"); // the text: limit + lead x's, then the tail
        QTest::addColumn<QString>("tail");
        QTest::addColumn<int>("kept"); // when cut: limit + kept units of it, then an ellipsis
        QTest::addColumn<bool>("cut");
        const QString pair = QString::fromUcs4(U"\U0001F600");
        QTest::newRow("shorter") << -1 << QString() << 0 << false;
        QTest::newRow("exactly the limit") << 0 << QString() << 0 << false;
        QTest::newRow("one more") << 1 << QString() << 0 << true;
        QTest::newRow("a pair across the cut") << -1 << pair << -1 << true;
        QTest::newRow("a pair before the cut") << -2 << pair + u'y' << 0 << true;
    }
    void visibleText()
    {
        QFETCH(int, lead);
        QFETCH(QString, tail);
        QFETCH(int, kept);
        QFETCH(bool, cut);
        int limit = 0;
        for (const QScreen *screen : QGuiApplication::screens())
            limit += screen->geometry().width();
        QVERIFY(limit > 2);
        const QString text = QString(limit + lead, u'x') + tail;
        QCOMPARE(rt::visibleText(text), cut ? text.left(limit + kept) + QChar(0x2026) : text);
    }

    // A window inside another (a 400 x 300 room) keeps its place while its top left corner and
    // a grip of 48 pixels beside and below it (all of a smaller window) lie in the room; else it
    // comes wholly into the room where it fits, or to the room's start.
    void keptOnScreen_data()
    {
        QTest::addColumn<QRect>("given");
        QTest::addColumn<QPoint>("kept");
        QTest::newRow("inside") << QRect(10, 20, 100, 100) << QPoint(10, 20);
        QTest::newRow("a grip inside") << QRect(352, 252, 100, 100) << QPoint(352, 252);
        QTest::newRow("less than a grip") << QRect(353, 253, 100, 100) << QPoint(300, 200);
        QTest::newRow("small, all of it inside") << QRect(370, 270, 20, 20) << QPoint(370, 270);
        QTest::newRow("small, past the edge") << QRect(381, 281, 20, 20) << QPoint(380, 280);
        QTest::newRow("before the start") << QRect(-5, -1, 100, 100) << QPoint(0, 0);
        QTest::newRow("larger than the room") << QRect(390, 290, 500, 400) << QPoint(0, 0);
    }
    void keptOnScreen()
    {
        QFETCH(QRect, given);
        QFETCH(QPoint, kept);
        QWidget room;
        room.resize(400, 300);
        QWidget window(&room);
        QCOMPARE(rt::keptOnScreen(given, &window), QRect(kept, given.size()));
    }

    void pauseState()
    {
        setPauseState(true);
        QVERIFY(rt::pauseState());
        setPauseState(false);
        QVERIFY(!rt::pauseState());
    }

    // ---- control events ----

    void valuesSetByCodeRaiseEvents()
    {
        QWidget parent;
        auto *one = new QRadioButton(&parent);
        auto *two = new QRadioButton(&parent);
        auto *check = new QCheckBox(&parent);
        auto *edit = new QLineEdit(&parent);
        auto *list = new QListWidget(&parent);
        list->addItems({ QStringLiteral("a"), QStringLiteral("b") });
        QStringList events;
        onClick(one, this, [&] { events << QStringLiteral("one"); });
        onClick(two, this, [&] { events << QStringLiteral("two"); });
        onClick(check, this, [&] { events << QStringLiteral("check"); });
        onChange(edit, this, [&] { events << QStringLiteral("edit"); });
        onClick(list, this, [&] { events << QStringLiteral("list"); });
        one->setChecked(true);
        two->setChecked(true); // clears one, which raises nothing
        setCheckValue(check, 1);
        setCheckValue(check, 1); // no change, no event
        edit->setText(QStringLiteral("x"));
        list->setCurrentRow(1);
        list->clear();
        QCOMPARE(events, (QStringList { "one", "two", "check", "edit", "list" }));
        QVERIFY(!one->isChecked());
        QCOMPARE(checkValue(check), Int(1));
        QVERIFY_THROWS_EXCEPTION(Error, setCheckValue(check, 3));
    }

private:
    QList<Long> fatalErrors;
};

// With RT_FATAL_CHILD set the program plays an application whose event handler fails.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("RT_FATAL_CHILD")) {
        QApplication app(argc, argv);
        rt::event([] { raise(11); });
        std::printf("after\n");
        return 0;
    }
    QApplication app(argc, argv);
    tst_runtime test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_runtime.moc"
