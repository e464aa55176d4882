// The script host: runs, errors and their numbers, globals, shutdown and the watchdog.

#include "automation/guard.h"
#include "common/testutil.h"
#include "runtime/errnum.h"
#include "script/scripthost.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The application object that scripts see as `Norvalis`.
class ScriptApp : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name)

public:
    explicit ScriptApp(const QString &name, QObject *parent = nullptr)
        : QObject(parent)
        , m_name(name)
    { }

    QString Name() const { return m_name; }
    // Runs while a script waits in Wait().
    std::function<void()> whileWaiting;
    int marks = 0;

public slots:
    int Add(int a, int b) { return a + b; }
    void Fail(int number)
    {
        automation::guard([&] { rt::raise(number); });
    }
    // An object without parent, as members hand out: C++ keeps it, the script must not.
    QObject *Made(const QString &name)
    {
        return automation::guard([&]() -> QObject * {
            m_made.push_back(std::make_unique<ScriptApp>(name));
            return m_made.back().get();
        });
    }
    // Waits in an event loop, as a script does that waits for host data.
    void Wait()
    {
        automation::guard([&] {
            if (whileWaiting)
                whileWaiting();
        });
    }
    void Mark() { ++marks; }

private:
    QString m_name;
    std::vector<std::unique_ptr<ScriptApp>> m_made;
};

} // namespace

class tst_scripthost : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<script::ScriptHost> m_host;
    std::unique_ptr<ScriptApp> m_app;
    std::unique_ptr<ScriptApp> m_session;

    // Runs a text synchronously: its value, or the error number it failed with.
    QVariant run(const QString &text, rt::Int sessionNo = 0)
    {
        QVariant result;
        m_host->RunText(text, rt::False, sessionNo, result);
        return result;
    }
    rt::Error failure(const QString &text)
    {
        try {
            run(text);
        } catch (const rt::Error &error) {
            return error;
        }
        return rt::Error();
    }

private slots:
    void init()
    {
        m_host = std::make_unique<script::ScriptHost>();
        m_app = std::make_unique<ScriptApp>(QStringLiteral("app"));
        m_session = std::make_unique<ScriptApp>(QStringLiteral("session 7"));
        QWidget *window = nullptr;
        m_host->Initialize(m_dir.path() + u'/', m_dir.path() + QStringLiteral("/home"),
            QStringLiteral("file.nvcf -x"), window, m_app.get());
        m_host->setSessionLookup(
            [this](rt::Int no) -> QObject * { return no == 7 ? m_session.get() : nullptr; });
        m_host->setFileChooser([](QWidget *, const QString &) { return QString(); });
        m_host->setUserReport([](QWidget *, const rt::Error &) { QFAIL("unexpected report"); });
    }

    void cleanup() { m_host.reset(); }

    void results_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("sessionNo");
        QTest::addColumn<QVariant>("result");
        QTest::newRow("last statement") << "var a = 2; a * 21" << 0 << QVariant(42);
        QTest::newRow("method of a global") << "Norvalis.Add(2, 3)" << 0 << QVariant(5);
        QTest::newRow("property of a global") << "Norvalis.Name" << 0 << QVariant("app");
        QTest::newRow("command line") << "CommandLine" << 0 << QVariant("file.nvcf -x");
        QTest::newRow("session") << "Session.Name" << 7 << QVariant("session 7");
        QTest::newRow("no session") << "Session === null" << 0 << QVariant(true);
        QTest::newRow("unknown session") << "Session === null" << 3 << QVariant(true);
        QTest::newRow("object returned") << "Norvalis.Made('x').Name" << 0 << QVariant("x");
        QTest::newRow("error caught by the script")
            << "try { Norvalis.Fail(9); 0 } catch (e) { e.number + ':' + e.description }" << 0
            << QVariant("9:Subscript out of range");
        QTest::newRow("nothing") << "undefined" << 0 << QVariant();
    }
    void results()
    {
        QFETCH(QString, text);
        QFETCH(int, sessionNo);
        QFETCH(QVariant, result);
        QCOMPARE(run(text, rt::Int(sessionNo)), result);
        QCOMPARE(m_host->lastError().number, 0);
    }

    void errors_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::newRow("member raises")
            << "Norvalis.Fail(5)" << 5 << "Invalid procedure call or argument";
        QTest::newRow("not implemented") << "Norvalis.Fail(-2147467263)" << -2147467263
                                         << "Application-defined or object-defined error";
        QTest::newRow("number thrown") << "throw 6" << 6 << "Overflow";
        QTest::newRow("object with number")
            << "throw { number: 1234, description: 'own text' }" << 1234 << "own text";
        QTest::newRow("syntax") << "x(" << int(script::ErrSyntax)
                                << "SyntaxError: Expected token `)' (line 1)";
        QTest::newRow("run-time") << "\nnull.foo" << int(script::ErrScript)
                                  << "TypeError: Cannot read property 'foo' of null (line 2)";
        QTest::newRow("text thrown") << "throw 'bad'" << int(script::ErrScript) << "bad";
    }
    void errors()
    {
        QFETCH(QString, text);
        QFETCH(int, number);
        QFETCH(QString, description);
        QSignalSpy finished(m_host.get(), &script::ScriptHost::runFinished);
        const rt::Error error = failure(text);
        QCOMPARE(error.number, number);
        QCOMPARE(error.description, description);
        QCOMPARE(m_host->lastError().number, number);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), number);
    }

    void returnedObjectsStayAlive()
    {
        run(QStringLiteral("var kept = Norvalis.Made('kept'); Norvalis.Made('dropped'); 0"));
        m_host->engine().collectGarbage();
        QCOMPARE(run(QStringLiteral("kept.Name")), QVariant("kept"));
    }

    void asynchronous()
    {
        QSignalSpy finished(m_host.get(), &script::ScriptHost::runFinished);
        QVariant result(QStringLiteral("untouched"));
        m_host->RunText(QStringLiteral("Norvalis.Mark()"), rt::True, 0, result);
        m_host->RunText(QStringLiteral("Norvalis.Fail(11)"), rt::True, 0, result);
        QCOMPARE(m_app->marks, 0);
        QCOMPARE(result, QVariant(QStringLiteral("untouched")));
        QTRY_COMPARE(finished.size(), 2);
        QCOMPARE(m_app->marks, 1);
        QCOMPARE(finished.at(0).at(0).toInt(), 0);
        QCOMPARE(finished.at(1).at(0).toInt(), 11);
        QCOMPARE(m_host->lastError().number, 11);
    }

    // An asynchronous run tells how it ended to the caller that asked for it.
    void asynchronousCompletion_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("shutDownFirst");
        QTest::addColumn<int>("number");
        QTest::newRow("fails") << "Norvalis.Fail(11)" << false << 11;
        QTest::newRow("host shut down before it starts")
            << "Norvalis.Mark()" << true << int(script::ErrShutDown);
    }
    void asynchronousCompletion()
    {
        QFETCH(QString, text);
        QFETCH(bool, shutDownFirst);
        QList<rt::Long> ended;
        QVariant result;
        m_host->RunText(
            text, rt::True, 0, result, [&](const rt::Error &error) { ended << error.number; });
        if (shutDownFirst)
            QCOMPARE(m_host->Shutdown(), false);
        QVERIFY(ended.isEmpty());
        QTRY_COMPARE(ended.size(), 1);
        QTEST(int(ended.first()), "number");
    }

    void files()
    {
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("home")));
        writeBytes(m_dir.filePath(QStringLiteral("home/mark.js")), "Norvalis.Mark();\n");
        writeBytes(m_dir.filePath(QStringLiteral("broken.js")), "\n\nnull.x;\n");
        m_host->RunFile(QStringLiteral("mark.js"), rt::False, 0);
        QCOMPARE(m_app->marks, 1);
        QString layout;
        m_host->LayoutScript(0, layout);
        QCOMPARE(layout, m_dir.filePath(QStringLiteral("home/mark.js")));

        // Queued: nothing runs before the event loop does.
        m_host->RunFile(m_dir.filePath(QStringLiteral("home/mark.js")), rt::True, 0);
        QCOMPARE(m_app->marks, 1);
        QTRY_COMPARE(m_app->marks, 2);

        try {
            m_host->RunFile(QStringLiteral("broken.js"), rt::False, 0);
            QFAIL("no error");
        } catch (const rt::Error &error) {
            QCOMPARE(error.number, script::ErrScript);
            QVERIFY2(error.description.endsWith(QStringLiteral("(broken.js line 3)")),
                qPrintable(error.description));
        }
        try {
            m_host->RunFile(QStringLiteral("missing.js"), rt::False, 0);
            QFAIL("no error");
        } catch (const rt::Error &error) {
            QCOMPARE(error.number, rt::err::FileNotFound);
        }
        QVERIFY_THROWS_EXCEPTION(rt::Error, m_host->LayoutScript(1, layout));
    }

    void shutdown()
    {
        QCOMPARE(m_host->Shutdown(), false);
        QCOMPARE(failure(QStringLiteral("1")).number, script::ErrShutDown);
    }

    void shutdownWhileRunning()
    {
        m_host->setShutdownGrace(0);
        QList<bool> answers;
        m_app->whileWaiting = [&] { answers << m_host->Shutdown() << m_host->Shutdown(); };
        QSignalSpy finished(m_host.get(), &script::ScriptHost::runFinished);
        QVariant result;
        m_host->RunText(QStringLiteral("Norvalis.Wait(); Norvalis.Mark()"), rt::True, 0, result);
        m_host->RunText(QStringLiteral("Norvalis.Mark()"), rt::True, 0, result);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(answers, (QList<bool> { true, true }));
        QCOMPARE(finished.at(0).at(0).toInt(), script::ErrInterrupted);
        QCOMPARE(m_app->marks, 0);
        QCOMPARE(m_host->Shutdown(), false);
        // The queued run was dropped.
        QTest::qWait(0);
        QCOMPARE(m_app->marks, 0);
    }

    void watchdog()
    {
        m_host->setWatchdogLimit(200);
        QCOMPARE(failure(QStringLiteral("for (;;) {}")).number, script::ErrInterrupted);
        // A script that waits in an event loop longer than the limit is left alone.
        m_app->whileWaiting = [] {
            QElapsedTimer clock;
            clock.start();
            QVERIFY(QTest::qWaitFor([&] { return clock.elapsed() > 400; }, 1000));
        };
        QCOMPARE(run(QStringLiteral("Norvalis.Wait(); 3")), QVariant(3));
    }

    void nestedRuns()
    {
        m_app->whileWaiting = [&] {
            QVariant inner;
            m_host->RunText(QStringLiteral("Session.Name"), rt::False, 7, inner);
            QCOMPARE(inner, QVariant(QStringLiteral("session 7")));
        };
        QCOMPARE(run(QStringLiteral("Norvalis.Wait(); Session === null")), QVariant(true));
    }

    void toolCommand()
    {
        writeBytes(m_dir.filePath(QStringLiteral("user.js")), "Norvalis.Fail(13);\n");
        m_host->setFileChooser([this](QWidget *, const QString &) {
            return m_dir.filePath(QStringLiteral("user.js"));
        });
        QList<rt::Long> reported;
        m_host->setUserReport([&](QWidget *, const rt::Error &error) { reported << error.number; });
        m_host->ToolCommand(0);
        QTRY_COMPARE(reported, QList<rt::Long> { 13 });

        m_host->setFileChooser(
            [](QWidget *, const QString &) { return QStringLiteral("/no/such.js"); });
        m_host->ToolCommand(0);
        QCOMPARE(reported, (QList<rt::Long> { 13, 53 }));
        QVERIFY_THROWS_EXCEPTION(rt::Error, m_host->ToolCommand(1));
    }
};

QTEST_MAIN(tst_scripthost)
#include "tst_scripthost.moc"
