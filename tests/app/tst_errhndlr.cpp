#include "app/errdlg.h"
#include "app/errhndlr.h"
#include "app/files.h"
#include "automation/guard.h"
#include "common/testutil.h"
#include "runtime/interaction.h"

#include <QApplication>
#include <QGroupBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <optional>

using namespace ErrHndlr;

namespace {

const QString Title = QStringLiteral("Norvalis unanticipated error");

QWidget *shownWindow(const QString &title)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title)
            return w;
    return nullptr;
}

} // namespace

class tst_errhndlr : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_reports; // what the dialog hook was shown

    QString log() const
    {
        QFile file(LogFileName());
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(file.readAll());
    }

    void answerWith(rt::Int choice)
    {
        SetDialogHook([this, choice](const QString &report) {
            m_reports.append(report);
            return choice;
        });
    }

    // Runs action on the window titled title once it is on screen.
    void whenShown(const QString &title, std::function<void(QWidget *)> action)
    {
        auto *poll = new QTimer(this);
        poll->setInterval(5);
        connect(poll, &QTimer::timeout, this, [poll, title, action] {
            QWidget *w = shownWindow(title);
            if (!w || !QApplication::activeModalWidget())
                return;
            poll->stop();
            poll->deleteLater();
            action(w);
            if (QTest::currentTestFailed() && w->isVisible())
                w->hide();
        });
        poll->start();
    }

    static void type(QWidget *window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = window->focusWidget() ? window->focusWidget() : window;
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }

    // Runs a procedure with an error handler whose first statement fails once with error; the
    // second statement records that it ran. Returns the error that left the procedure, if any.
    rt::Error runProcedure(const rt::Error &error, int &firstRuns, bool &secondRan)
    {
        firstRuns = 0;
        secondRan = false;
        try {
            rt::Proc h("session", "Let Baud");
            h([&] {
                if (++firstRuns == 1)
                    throw error;
            });
            h([&] { secondRan = true; });
        } catch (const rt::Error &e) {
            return e;
        }
        return rt::Error();
    }

private slots:
    void initTestCase()
    {
        rt::setDialogsWaitOffscreen(true); // the real dialog is driven here
        QVERIFY(m_dir.isValid());
        gAppDir = m_dir.path() + QLatin1Char('/');
        SetExeName(QStringLiteral("norvalis"));
        Install();
    }

    void init()
    {
        ResetForTests();
        SetDialogHook(nullptr);
        QFile::remove(LogFileName());
        m_reports.clear();
        QCOMPARE(int(gErrNest), 0);
    }

    void reportText_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("expected");
        const QString proc = "Procedure:\tLet Baud (session)\r\n";
        const QString desc = "Description:\tSomething broke\r\n";
        const QString other = "Source:\temulator\r\n";
        dataRow("positive number, other source", 5, "emulator", 0,
            proc + "Error:\t5\r\n" + desc + other);
        dataRow("negative number in hex", -2147219503, "emulator", 0,
            proc + "Error:\t0x800407D1\r\n" + desc + other);
        dataRow("minus one", -1, "norvalis", 0, proc + "Error:\t0xFFFFFFFF\r\n" + desc);
        dataRow("own source in another case", 53, "NorValis", 0, proc + "Error:\t53\r\n" + desc);
        dataRow("no source", 53, "", 0, proc + "Error:\t53\r\n" + desc);
        dataRow("line number", 9, "norvalis", 120,
            "Procedure:\tLet Baud (session) line 120\r\nError:\t9\r\n" + desc);
        dataRow("source that only starts with the name", 9, "norvalis2", 0,
            proc + "Error:\t9\r\n" + desc + "Source:\tnorvalis2\r\n");
    }
    void reportText()
    {
        QFETCH(int, number);
        QFETCH(QString, source);
        QFETCH(int, line);
        QFETCH(QString, expected);
        const rt::Error error(number, "Something broke", source, line);
        QCOMPARE(ReportText(error, "session", "Let Baud"), expected);
    }

    // The answer of the dialog decides what the procedure does next, and what the log says.
    void answers_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<int>("firstRuns");
        QTest::addColumn<bool>("secondRan");
        QTest::addColumn<bool>("raised");
        QTest::addColumn<QString>("action");
        dataRow("Fail raises", 0, 1, false, true, "Fail");
        dataRow("Retry runs the statement again", 1, 2, true, false, "Retry");
        dataRow("Ignore goes on", 2, 1, true, false, "Ignore");
        dataRow("unknown choice counts as Fail", 7, 1, false, true, "Fail");
    }
    void answers()
    {
        QFETCH(int, choice);
        QFETCH(int, firstRuns);
        QFETCH(bool, secondRan);
        QFETCH(bool, raised);
        QFETCH(QString, action);
        answerWith(rt::Int(choice));
        int runs = 0;
        bool ran = false;
        const rt::Error left = runProcedure(rt::Error(70, "Denied", "emulator"), runs, ran);
        QCOMPARE(runs, firstRuns);
        QCOMPARE(ran, secondRan);
        QCOMPARE(left.number != 0, raised);
        QCOMPARE(m_reports.size(), 1);
        QCOMPARE(m_reports[0],
            QStringLiteral(
                "Procedure:\tLet Baud (session)\r\nError:\t70\r\nDescription:\tDenied\r\n"
                "Source:\temulator\r\n"));
        QVERIFY(log().endsWith(m_reports[0] + "Action:\t" + action + "\r\n"));
        QCOMPARE(gErrFatal, raised);
        if (raised) {
            QCOMPARE(left.number, 70);
            QCOMPARE(left.description, QStringLiteral("Denied"));
            QCOMPARE(left.source, QStringLiteral("emulator"));
            QCOMPARE(gErrNumber, 70);
        }
    }

    // An entry starts with an empty line, then the date and time on a line of their own.
    void logEntryLayout()
    {
        answerWith(1);
        int runs = 0;
        bool ran = false;
        runProcedure(rt::Error(5, "Bad call", "norvalis"), runs, ran);
        const QString text = log();
        const QRegularExpression entry(
            "^\\r\\n([^\\r\\n]+)\\r\\nProcedure:\\tLet Baud \\(session\\)\\r\\nError:\\t5\\r\\n"
            "Description:\\tBad call\\r\\nAction:\\tRetry\\r\\n$");
        const auto match = entry.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        const QString stamp = match.captured(1);
        QVERIFY2(
            stamp.contains(QString::number(QDate::currentDate().year() % 100)), qPrintable(stamp));
        QVERIFY2(stamp.contains(QRegularExpression("\\d:\\d\\d:\\d\\d")), qPrintable(stamp));

        // A second entry is appended after the first.
        runProcedure(rt::Error(6), runs, ran);
        QVERIFY(log().startsWith(text));
        QCOMPARE(log().count("Procedure:"), 2);
    }

    void silentRegion()
    {
        answerWith(2);
        int runs = 0;
        bool ran = false;
        rt::Error left;
        {
            rt::ResumeNext quietly;
            QCOMPARE(int(gErrNest), 1);
            left = runProcedure(rt::Error(13, "Mismatch", "strfunc"), runs, ran);
        }
        QCOMPARE(int(gErrNest), 0);
        QCOMPARE(left.number, 13);
        QCOMPARE(left.source, QStringLiteral("strfunc"));
        QCOMPARE(gErrNumber, 13);
        QVERIFY(m_reports.isEmpty());
        QVERIFY(!QFile::exists(LogFileName()));
        QVERIFY(!gErrFatal);
    }

    void oneShotFlag()
    {
        answerWith(2);
        gErrReturn = true;
        int runs = 0;
        bool ran = false;
        rt::Error left = runProcedure(rt::Error(384), runs, ran);
        QCOMPARE(left.number, 384);
        QVERIFY(!gErrReturn);
        QVERIFY(m_reports.isEmpty());
        QVERIFY(!QFile::exists(LogFileName()));

        left = runProcedure(rt::Error(384), runs, ran);
        QCOMPARE(left.number, 0);
        QVERIFY(ran);
        QCOMPARE(m_reports.size(), 1);
    }

    // After Fail no dialog shows again: each handler the error passes logs its procedure line
    // and passes on the error saved at the Fail.
    void failMode()
    {
        answerWith(0);
        int runs = 0;
        bool ran = false;
        runProcedure(rt::Error(70, "Denied", "emulator"), runs, ran);
        QVERIFY(gErrFatal);
        const QString before = log();

        rt::Error left;
        try {
            rt::Proc outer("nvmain", "Main");
            outer([&] {
                rt::Proc inner("files", "GetFilePath");
                inner([&] { throw rt::Error(53, "Gone", "files"); });
            });
        } catch (const rt::Error &e) {
            left = e;
        }
        QCOMPARE(m_reports.size(), 1);
        QCOMPARE(left.number, 70);
        QCOMPARE(left.description, QStringLiteral("Denied"));
        QCOMPARE(log(),
            before + "Procedure:\tGetFilePath (files)\r\n\r\nProcedure:\tMain (nvmain)\r\n\r\n");
    }

    void failModeKeepsLaterSilentSave()
    {
        answerWith(0);
        int runs = 0;
        bool ran = false;
        runProcedure(rt::Error(70), runs, ran);
        {
            rt::ResumeNext quietly;
            runProcedure(rt::Error(9), runs, ran);
        }
        QCOMPARE(runProcedure(rt::Error(11), runs, ran).number, 9);
    }

    // A dialog that cannot be shown: the toolkit's box, "unrecoverable", and the fatal mode.
    void dialogCannotLoad()
    {
        SetDialogHook([](const QString &) -> rt::Int { throw rt::Error(7); });
        QString boxText;
        whenShown("Norvalis - unanticipated error", [&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
            boxText = box->text();
            box->button(QMessageBox::Cancel)->click();
        });
        int runs = 0;
        bool ran = false;
        const rt::Error left = runProcedure(rt::Error(5, "Bad", "emulator"), runs, ran);
        QCOMPARE(left.number, 5);
        QVERIFY(!ran);
        QVERIFY(gErrFatal);
        const QString report = ReportText(rt::Error(5, "Bad", "emulator"), "session", "Let Baud");
        QCOMPARE(boxText, report);
        QVERIFY2(log().endsWith(report + "\r\nunrecoverable\r\n"), qPrintable(log()));
        QVERIFY(log().startsWith("\r\n"));
    }

    void reportErrorInCatch()
    {
        answerWith(0);
        rt::Int answer = -1;
        try {
            throw rt::Error(6, "Too big", "values");
        } catch (...) {
            answer = ReportError("strfunc", "Field");
        }
        QCOMPARE(int(answer), 0);
        QCOMPARE(SavedError().number, 6);
        QVERIFY(m_reports.value(0).startsWith("Procedure:\tField (strfunc)\r\nError:\t6\r\n"));
    }

    void unwritableLogIsSkipped()
    {
        const QString dir = gAppDir;
        gAppDir = m_dir.path() + QStringLiteral("/missing/");
        answerWith(1);
        int runs = 0;
        bool ran = false;
        runProcedure(rt::Error(5), runs, ran);
        gAppDir = dir;
        QCOMPARE(runs, 2);
        QVERIFY(!QFile::exists(m_dir.path() + QStringLiteral("/missing")));
    }

    // The real dialog, answered from the keyboard.
    void dialogKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("action");
        QTest::newRow("Esc retries") << int(Qt::Key_Escape) << 0 << 1 << "Retry";
        QTest::newRow("Enter fails") << int(Qt::Key_Return) << 0 << 0 << "Fail";
        QTest::newRow("i ignores") << int(Qt::Key_I) << 0 << 2 << "Ignore";
        QTest::newRow("I ignores") << int(Qt::Key_I) << int(Qt::ShiftModifier) << 2 << "Ignore";
        QTest::newRow("r retries") << int(Qt::Key_R) << 0 << 1 << "Retry";
        QTest::newRow("F fails") << int(Qt::Key_F) << int(Qt::ShiftModifier) << 0 << "Fail";
        QTest::newRow("Alt+I ignores") << int(Qt::Key_I) << int(Qt::AltModifier) << 2 << "Ignore";
        QTest::newRow("close box fails") << 0 << 0 << 0 << "Fail"; // key 0: the close box
    }
    void dialogKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, answer);
        QFETCH(QString, action);
        whenShown(Title, [&](QWidget *w) {
            type(w, Qt::Key_X); // does nothing
            QVERIFY(w->isVisible());
            if (key == 0)
                w->close();
            else
                type(w, key, Qt::KeyboardModifiers(modifiers));
        });
        rt::Error error(5, "Bad", "emulator");
        QCOMPARE(int(ReportError(error, "session", "Let Baud")), answer);
        QVERIFY(log().endsWith("Action:\t" + action + "\r\n"));
        QCOMPARE(gErrFatal, answer == 0);
        QVERIFY(!shownWindow(Title));
    }

    // A report that arrives while the dialog is open (a timer, a DDE conversation) is logged and
    // its handler goes on as if Ignore had been chosen; the first report is not disturbed.
    void reportWhileRealDialogOpen()
    {
        int nestedRuns = 0;
        bool nestedSecondRan = false;
        rt::Error nestedLeft(-1);
        whenShown(Title, [&](QWidget *w) {
            nestedLeft = runProcedure(rt::Error(91, "Nothing", "dde"), nestedRuns, nestedSecondRan);
            QVERIFY(w->isVisible());
            type(w, Qt::Key_I);
        });
        rt::Error error(5, "Bad", "emulator");
        QCOMPARE(int(ReportError(error, "session", "Let Baud")), 2);
        QCOMPARE(nestedLeft.number, 0); // nothing left the nested procedure
        QCOMPARE(nestedRuns, 1);
        QVERIFY(nestedSecondRan);
        QVERIFY(log().contains("Procedure:\tLet Baud (session)\r\nError:\t91\r\n"
                               "Description:\tNothing\r\nSource:\tdde\r\n"
                               "Action:\tIgnore (automatic: another error was on screen)\r\n"));
        QVERIFY(log().endsWith("Action:\tIgnore\r\n"));
        QVERIFY(!gErrFatal);
    }

    // Reports nobody answers: the error goes back to its caller at once, logged with the reason,
    // no window opens and the fatal mode stays off.
    void unansweredReports_data()
    {
        QTest::addColumn<bool>("clientCall"); // else: offscreen, no hook
        QTest::addColumn<QString>("action");
        QTest::newRow("automation call") << true << "Fail (automatic: an automation call)";
        QTest::newRow("nobody to answer") << false << "Fail (automatic: nobody to answer)";
    }
    void unansweredReports()
    {
        QFETCH(bool, clientCall);
        QFETCH(QString, action);
        if (clientCall)
            answerWith(2); // the hook stands for a dialog: not asked
        rt::setDialogsWaitOffscreen(clientCall);
        const bool unattended = clientCall || !rt::userCanAnswer();
        int runs = 0;
        bool ran = false;
        rt::Error left;
        if (unattended) {
            std::optional<automation::CallerScope> call;
            if (clientCall)
                call.emplace(automation::Caller::Bus);
            left = runProcedure(rt::Error(380, "Bad value", "norvalis"), runs, ran);
        }
        rt::setDialogsWaitOffscreen(true);
        if (!unattended)
            QSKIP("a display: someone can answer (run offscreen)");
        QVERIFY(m_reports.isEmpty());
        QVERIFY(!shownWindow(Title));
        QVERIFY(!gErrFatal);
        QCOMPARE(left.number, 380);
        QVERIFY(!ran);
        QVERIFY2(log().endsWith("Description:\tBad value\r\nAction:\t" + action + "\r\n"),
            qPrintable(log()));
    }

    // The dialog's controls: caption, frame, report, buttons in their row and tab order.
    void dialogLayout()
    {
        rt::Error error(-2147219503, "Invalid RecentListSize setting", "Norvalis.Norvalis");
        const QString report = ReportText(error, "norvalis", "Let RecentListSize");
        whenShown(Title, [&](QWidget *w) {
            auto *frame = w->findChild<QGroupBox *>();
            QVERIFY(frame);
            QCOMPARE(frame->title(), QStringLiteral("Error details"));
            auto *details = frame->findChild<QPlainTextEdit *>();
            QVERIFY(details && details->isReadOnly());
            QCOMPARE(details->toPlainText(), QString(report).replace("\r\n", "\n"));
            // The values start at one tab stop, beyond the widest label.
            const QFontMetrics fm(details->font());
            QVERIFY(details->tabStopDistance() > fm.horizontalAdvance("Description:"));

            QList<QPushButton *> row = w->findChildren<QPushButton *>();
            std::sort(row.begin(), row.end(),
                [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
            QStringList captions;
            for (QPushButton *b : row)
                captions.append(b->text());
            QCOMPARE(captions, QStringList({ "&Ignore", "&Retry", "&Fail" }));
            QVERIFY(row[2]->isDefault());
            QCOMPARE(w->focusWidget(), row[2]);
            QVERIFY(frame->geometry().bottom() < row[0]->y());
            // Tab order: Fail, Retry, Ignore.
            QCOMPARE(row[2]->nextInFocusChain(), row[1]);
            QCOMPARE(row[1]->nextInFocusChain(), row[0]);
            row[1]->click();
        });
        QCOMPARE(int(ReportError(error, "norvalis", "Let RecentListSize")), 1);
    }

    // tests/screenshot.sh app_tst_errhndlr screenshot out.png
    void screenshot()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("NORVALIS_SCREENSHOT names no file");
        bool saved = false;
        whenShown(Title, [&](QWidget *w) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            saved = w->grab().save(out);
            type(w, Qt::Key_Escape);
        });
        rt::Error error(-2147219503, "Invalid RecentListSize setting", "Norvalis.Norvalis", 42);
        ReportError(error, "norvalis", "Let RecentListSize");
        QVERIFY(saved);
    }
};

QTEST_MAIN(tst_errhndlr)
#include "tst_errhndlr.moc"
