// The automation bridge, the running-object registration and the class factory, driven by a
// client in another process (tst_automation_client.h).

#include "platform/tst_automation_adapter.h"
#include "platform/tst_automation_client.h"

#include "automation/bridge.h"
#include "automation/buserror.h"
#include "automation/classfactory.h"
#include "automation/guard.h"
#include "automation/marshal.h"
#include "automation/remote.h"
#include "automation/runningobject.h"
#include "common/testutil.h"

#include <QDBusConnection>
#include <QEventLoop>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

const QString TestPath = QStringLiteral("/Test");
const QString TestInterface = QStringLiteral("NVWin32.Test");
const QString AppClass = QStringLiteral("NVWin32.TestApp");

QString joined(const QStringList &fields)
{
    return fields.join(u'\t');
}

QObject *serveTestApp(const QString &)
{
    return new TestApp(QCoreApplication::instance());
}

} // namespace

class tst_automation : public QObject
{
    Q_OBJECT

    busclient::Client m_client;
    TestAdapter *m_adapter = nullptr;
    QList<QDBusMessage> m_received;

    QStringList callTest(const QStringList &memberAndArguments)
    {
        return m_client.request(
            QStringList { QStringLiteral("call"), QStringLiteral("."), TestPath, TestInterface }
            + memberAndArguments);
    }

public slots:
    void busSignal(const QDBusMessage &message) { m_received << message; }

private slots:
    void initTestCase()
    {
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QVERIFY(m_client.start());
        m_adapter = new TestAdapter(this);
        QVERIFY(automation::Bridge::instance().exportObject(m_adapter, TestPath));
    }

    void init()
    {
        m_adapter->setName(QStringLiteral("first"));
        m_adapter->setCount(7);
        m_adapter->setFlag(rt::True);
        m_adapter->setValue(QVariant());
    }

    // A received number for a whole-number argument of a declared width: in range it converts,
    // out of range it raises 6 (the largest 64-bit value has no exact double: 2^63 is out).
    void wholeNumbers_data()
    {
        QTest::addColumn<double>("received");
        QTest::addColumn<int>("declared");
        QTest::addColumn<QVariant>("expected"); // Empty: error 6

        const double two63 = 9223372036854775808.0;
        QTest::newRow("64-bit, largest double below 2^63")
            << 9223372036854774784.0 << int(QMetaType::LongLong)
            << QVariant::fromValue(qint64(9223372036854774784LL));
        QTest::newRow("64-bit, 2^63") << two63 << int(QMetaType::LongLong) << QVariant();
        QTest::newRow("64-bit, -2^63") << -two63 << int(QMetaType::LongLong)
                                       << QVariant::fromValue(std::numeric_limits<qint64>::min());
        QTest::newRow("16-bit unsigned, largest")
            << 65535.0 << int(QMetaType::UShort) << QVariant::fromValue(quint16(65535));
        QTest::newRow("16-bit unsigned, one more")
            << 65536.0 << int(QMetaType::UShort) << QVariant();
        QTest::newRow("16-bit unsigned, negative") << -1.0 << int(QMetaType::UShort) << QVariant();
        QTest::newRow("byte, 256") << 256.0 << int(QMetaType::UChar) << QVariant();
    }
    void wholeNumbers()
    {
        QFETCH(double, received);
        QFETCH(int, declared);
        QFETCH(QVariant, expected);
        QVariant converted;
        const rt::Long error = errorOf([&] {
            converted = automation::fromBus(QVariant(received), QMetaType(declared), nullptr);
        });
        QCOMPARE(error, expected.isValid() ? 0 : 6);
        if (expected.isValid())
            QCOMPARE(converted, expected);
    }

    void errorNames_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("name");
        QTest::newRow("5") << 5 << "NVWin32.Error.E5";
        QTest::newRow("0") << 0 << "NVWin32.Error.E0";
        QTest::newRow("not implemented") << int(0x80004001) << "NVWin32.Error.E_2147467263";
        QTest::newRow("largest") << 2147483647 << "NVWin32.Error.E2147483647";
        QTest::newRow("smallest") << int(-2147483647 - 1) << "NVWin32.Error.E_2147483648";
    }
    void errorNames()
    {
        QFETCH(int, number);
        QFETCH(QString, name);
        QCOMPARE(automation::errorName(number), name);
        QCOMPARE(automation::errorNumber(name), std::optional<rt::Long>(number));
        const rt::Error error = automation::errorFromReply(
            QDBusMessage::createError(name, QStringLiteral("the text")));
        QCOMPARE(error.number, number);
        QCOMPARE(error.description, QStringLiteral("the text"));
    }

    void foreignErrorNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("dde") << "NVWin32.DDE.Refused";
        QTest::newRow("letters") << "NVWin32.Error.Efive";
        QTest::newRow("minus") << "NVWin32.Error.E-5";
        QTest::newRow("out of range") << "NVWin32.Error.E_2147483649";
        QTest::newRow("standard") << "org.freedesktop.DBus.Error.UnknownMethod";
    }
    void foreignErrorNames()
    {
        QFETCH(QString, name);
        QCOMPARE(automation::errorNumber(name), std::nullopt);
        const rt::Error error
            = automation::errorFromReply(QDBusMessage::createError(name, QStringLiteral("why")));
        QCOMPARE(error.number, 440);
        QCOMPARE(error.description, name + QStringLiteral(": why"));
    }

    // Whether a client's call is being served: a frame the bridge marks, at the running event-loop
    // level; a script the call runs belongs to it, an event of a modal loop inside it does not.
    void servingClient_data()
    {
        QTest::addColumn<QString>("frames"); // B bus call, S script, L a nested event loop
        QTest::addColumn<bool>("serving");
        QTest::newRow("nothing") << "" << false;
        QTest::newRow("a call") << "B" << true;
        QTest::newRow("a script the call runs") << "BS" << true;
        QTest::newRow("a script alone") << "S" << false;
        QTest::newRow("an event in a modal loop of the call") << "BL" << false;
        QTest::newRow("a call that arrives in that loop") << "BLB" << true;
    }
    void servingClient()
    {
        QFETCH(QString, frames);
        QFETCH(bool, serving);
        std::function<bool(QStringView)> within = [&](QStringView rest) -> bool {
            if (rest.isEmpty())
                return automation::servingClient();
            if (rest.front() == u'L') {
                bool inner = false;
                QEventLoop loop;
                QTimer::singleShot(0, &loop, [&] {
                    inner = within(rest.mid(1));
                    loop.quit();
                });
                loop.exec();
                return inner;
            }
            automation::CallerScope scope(
                rest.front() == u'B' ? automation::Caller::Bus : automation::Caller::Script);
            return within(rest.mid(1));
        };
        QCOMPARE(within(frames), serving);
    }

    void properties_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        auto get = [](const QString &name) {
            return QStringList { "get", ".", TestPath, TestInterface, name };
        };
        auto set = [](const QString &name, const QString &value) {
            return QStringList { "set", ".", TestPath, TestInterface, name, value };
        };
        const QVariant unchanged = QVariant::fromValue<rt::Int>(7);
        QTest::newRow("text") << get("Name") << "ok\tv:s:first"
                              << "" << QVariant();
        QTest::newRow("16-bit") << get("Count") << "ok\tv:n:7"
                                << "" << QVariant();
        QTest::newRow("Boolean") << get("Flag") << "ok\tv:n:-1"
                                 << "" << QVariant();
        QTest::newRow("Empty") << get("Value") << "ok\tv:v:ag[]"
                               << "" << QVariant();
        QTest::newRow("32-bit read-only") << get("Serial") << "ok\tv:i:42"
                                          << "" << QVariant();
        QTest::newRow("name without case") << get("count") << "ok\tv:n:7"
                                           << "" << QVariant();
        QTest::newRow("getter fails")
            << get("Broken") << "error\tNVWin32.Error.E380\tInvalid property value"
            << "" << QVariant();
        QTest::newRow("unknown") << get("Missing")
                                 << "error\torg.freedesktop.DBus.Error.UnknownProperty\tNo "
                                    "property Missing"
                                 << "" << QVariant();
        QTest::newRow("set 16-bit") << set("Count", "n:5") << "ok"
                                    << "Count" << QVariant::fromValue<rt::Int>(5);
        QTest::newRow("text coerced") << set("Count", "s:12") << "ok"
                                      << "Count" << QVariant::fromValue<rt::Int>(12);
        QTest::newRow("not a number")
            << set("Count", "s:abc") << "error\tNVWin32.Error.E13\tType mismatch"
            << "Count" << unchanged;
        QTest::newRow("overflow") << set("Count", "i:40000") << "error\tNVWin32.Error.E6\tOverflow"
                                  << "Count" << unchanged;
        QTest::newRow("D-Bus Boolean") << set("Flag", "b:true") << "ok"
                                       << "Flag" << QVariant::fromValue<rt::Int>(-1);
        QTest::newRow("False") << set("Flag", "n:0") << "ok"
                               << "Flag" << QVariant::fromValue<rt::Int>(0);
        QTest::newRow("set Empty") << set("Value", "E") << "ok"
                                   << "Value" << QVariant();
        QTest::newRow("set Variant") << set("Value", "s:x") << "ok"
                                     << "Value" << QVariant(QStringLiteral("x"));
        QTest::newRow("set Nothing") << set("Value", "o:/") << "ok"
                                     << "Value" << QVariant::fromValue<QObject *>(nullptr);
        QTest::newRow("foreign path")
            << set("Value", "o:/Elsewhere") << "ok"
            << "Value" << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/Elsewhere")));
        QTest::newRow("read-only")
            << set("Serial", "i:1")
            << "error\torg.freedesktop.DBus.Error.PropertyReadOnly\tProperty is read-only: Serial"
            << "" << QVariant();
    }
    void properties()
    {
        QFETCH(QStringList, command);
        QFETCH(QString, reply);
        QFETCH(QString, property);
        QFETCH(QVariant, value);
        QCOMPARE(joined(m_client.request(command)), reply);
        if (!property.isEmpty())
            QCOMPARE(m_adapter->property(property.toLatin1()), value);
    }

    void objectAsValue()
    {
        QCOMPARE(joined(m_client.request(
                     { "set", ".", TestPath, TestInterface, "Value", "o:" + TestPath })),
            QStringLiteral("ok"));
        QCOMPARE(m_adapter->Value().value<QObject *>(), m_adapter);
        QCOMPARE(joined(m_client.request({ "get", ".", TestPath, TestInterface, "Value" })),
            QStringLiteral("ok\tv:v:o:/Test"));
    }

    void methods_data()
    {
        QTest::addColumn<QStringList>("call");
        QTest::addColumn<QString>("reply");
        QTest::newRow("32-bit") << QStringList { "Add", "i:2", "i:3" } << "ok\ti:5";
        QTest::newRow("coerced") << QStringList { "Add", "s:2", "n:3" } << "ok\ti:5";
        QTest::newRow("name without case") << QStringList { "add", "i:1", "i:1" } << "ok\ti:2";
        QTest::newRow("overflow") << QStringList { "Add", "i:2147483647", "i:1" }
                                  << "error\tNVWin32.Error.E6\tOverflow";
        QTest::newRow("error") << QStringList { "Fail", "i:5" }
                               << "error\tNVWin32.Error.E5\tInvalid procedure call or "
                                  "argument";
        QTest::newRow("negative error")
            << QStringList { "Fail", "i:-2147467263" }
            << "error\tNVWin32.Error.E_2147467263\tApplication-defined or object-defined "
               "error";
        QTest::newRow("optional left out") << QStringList { "Terminate" } << "ok\tn:0";
        QTest::newRow("optional given") << QStringList { "Terminate", "n:3" } << "ok\tn:3";
        QTest::newRow("by reference") << QStringList { "Swap", "s:a", "s:b" } << "ok\ts:b\ts:a";
        QTest::newRow("Nothing returned") << QStringList { "Nothing" } << "ok\to:/";
        QTest::newRow("object argument") << QStringList { "Echo", "o:/Test" } << "ok\to:/Test";
        QTest::newRow("Nothing argument") << QStringList { "Echo", "o:/" } << "ok\to:/";
        QTest::newRow("not our object")
            << QStringList { "Echo", "o:/Unknown" } << "error\tNVWin32.Error.E13\tType mismatch";
        QTest::newRow("unknown method")
            << QStringList { "NoSuch" }
            << "error\torg.freedesktop.DBus.Error.UnknownMethod\tNo method NoSuch taking 0 "
               "arguments at /Test";
        QTest::newRow("wrong count")
            << QStringList { "Add", "i:1" }
            << "error\torg.freedesktop.DBus.Error.UnknownMethod\tNo method Add taking 1 "
               "arguments at /Test";
    }
    void methods()
    {
        QFETCH(QStringList, call);
        QFETCH(QString, reply);
        QCOMPARE(joined(callTest(call)), reply);
    }

    void returnedObjects()
    {
        QCOMPARE(joined(callTest({ "Child", "s:k1" })), QStringLiteral("ok\to:/Children/k1"));
        QCOMPARE(joined(callTest({ "Child", "s:k1" })), QStringLiteral("ok\to:/Children/k1"));
        QCOMPARE(automation::Bridge::instance().exportedPath(m_adapter->child("k1")),
            QStringLiteral("/Children/k1"));
        QCOMPARE(
            joined(m_client.request({ "get", ".", "/Children/k1", "NVWin32.TestChild", "Key" })),
            QStringLiteral("ok\tv:s:k1"));
        // A key that a path cannot hold as it stands.
        QCOMPARE(joined(callTest({ "Child", "s:a b" })), QStringLiteral("ok\to:/Children/a_b"));

        // A class that names no path gets a numbered one.
        ExtraAdapter extra;
        m_adapter->setValue(QVariant::fromValue<QObject *>(&extra));
        const QStringList reply
            = m_client.request({ "get", ".", TestPath, TestInterface, "Value" });
        QVERIFY2(joined(reply).startsWith(QStringLiteral("ok\tv:v:o:/Objects/")),
            qPrintable(joined(reply)));
        m_adapter->setValue(QVariant());

        // A destroyed object leaves the bus.
        delete m_adapter->child("k1");
        QCOMPARE(automation::Bridge::instance().objectAt(QStringLiteral("/Children/k1")), nullptr);
        QCOMPARE(
            m_client.request({ "get", ".", "/Children/k1", "NVWin32.TestChild", "Key" }).value(1),
            QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"));
    }

    void sharedPath()
    {
        automation::Bridge &bridge = automation::Bridge::instance();
        ExtraAdapter extra;
        QVERIFY(bridge.exportObject(&extra, TestPath));
        QCOMPARE(joined(m_client.request({ "call", ".", TestPath, "NVWin32.TestExtra", "Hello" })),
            QStringLiteral("ok\ts:extra"));
        QCOMPARE(joined(m_client.request({ "call", ".", TestPath, "", "Hello" })),
            QStringLiteral("ok\ts:extra"));
        TestAdapter second;
        QVERIFY(!bridge.exportObject(&second, TestPath));
        QVERIFY(!bridge.exportObject(m_adapter, QStringLiteral("/Elsewhere")));
        QVERIFY(!bridge.exportObject(&second, QStringLiteral("no/path")));
    }

    void introspection()
    {
        const QStringList reply = m_client.request(
            { "call", ".", TestPath, "org.freedesktop.DBus.Introspectable", "Introspect" });
        QCOMPARE(reply.value(0), QStringLiteral("ok"));
        const QString xml = reply.value(1);
        QVERIFY(xml.contains(QStringLiteral("<interface name=\"NVWin32.Test\">")));
        QVERIFY(xml.contains(
            QStringLiteral("<property name=\"Count\" type=\"n\" access=\"readwrite\"/>")));
        QVERIFY(xml.contains(
            QStringLiteral("<property name=\"Value\" type=\"v\" access=\"readwrite\"/>")));
        QVERIFY(
            xml.contains(QStringLiteral("<property name=\"Serial\" type=\"i\" access=\"read\"/>")));
        QVERIFY(
            xml.contains(QStringLiteral("<arg name=\"result\" type=\"o\" direction=\"out\"/>")));
        QVERIFY(xml.contains(QStringLiteral("<interface name=\"NVWin32.Events\">")));
        // Members in their declared order; a method with a default argument is listed once.
        const QStringList order { "\"Add\"", "\"Child\"", "\"Nothing\"", "\"Echo\"", "\"Fail\"",
            "\"Terminate\"", "\"Swap\"" };
        qsizetype at = 0;
        for (const QString &name : order) {
            const qsizetype next = xml.indexOf(QStringLiteral("<method name=") + name, at);
            QVERIFY2(next > at, qPrintable(name));
            at = next;
        }
        QCOMPARE(xml.count(QStringLiteral("<method name=\"Terminate\"")), 1);
        QCOMPARE(xml.count(QStringLiteral("<arg name=\"a\" type=\"s\"")), 2);
    }

    void signalsTravel()
    {
        QDBusConnection listener = QDBusConnection::connectToBus(
            QDBusConnection::SessionBus, QStringLiteral("listener"));
        const QString service = QDBusConnection::sessionBus().baseService();
        for (const char *name : { "Changed", "Created" }) {
            QVERIFY(listener.connect(service, TestPath, TestInterface, QLatin1String(name), this,
                SLOT(busSignal(QDBusMessage))));
        }
        m_received.clear();
        emit m_adapter->Changed(QStringLiteral("n"), 3);
        emit m_adapter->Created(m_adapter->child(QStringLiteral("made")));
        QTRY_COMPARE(m_received.size(), 2);
        QCOMPARE(m_received.at(0).member(), QStringLiteral("Changed"));
        QCOMPARE(m_received.at(0).arguments(),
            (QVariantList { QStringLiteral("n"), QVariant::fromValue<rt::Int>(3) }));
        QCOMPARE(m_received.at(1).arguments().value(0).value<QDBusObjectPath>().path(),
            QStringLiteral("/Children/made"));
        QDBusConnection::disconnectFromBus(QStringLiteral("listener"));
    }

    void callbacks_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("result");
        QTest::newRow("rewritten") << "s:rewritten"
                                   << "rewritten";
        QTest::newRow("no values") << "-"
                                   << "original";
        QTest::newRow("other type") << "n:5"
                                    << "5";
        QTest::newRow("no answer in time") << "none"
                                           << "original";
    }
    void callbacks()
    {
        QFETCH(QString, answer);
        QFETCH(QString, result);
        automation::Bridge::instance().setCallbackTimeout(300);
        QCOMPARE(joined(m_client.request({ "callback", ".", TestPath, "Extension", answer })),
            QStringLiteral("ok"));
        const qsizetype before = m_client.callbacks().size();
        QString cmd = QStringLiteral("original");
        emit m_adapter->Extension(cmd);
        QCOMPARE(cmd, result);
        QTRY_COMPARE(m_client.callbacks().size(), before + 1);
        QCOMPARE(m_client.callbacks().last(), QStringLiteral("callback\tExtension\ts:original"));
    }

    void callbackForUnknownEvent()
    {
        QCOMPARE(m_client.request({ "callback", ".", TestPath, "NoEvent", "-" }).value(1),
            QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    }

    void errorsReachCppCallers()
    {
        try {
            m_adapter->Fail(9);
            QFAIL("no error");
        } catch (const rt::Error &error) {
            QCOMPARE(error.number, 9);
        }
    }

    void registration()
    {
        TestApp app;
        const rt::Long cookie = automation::registerRunningObject(AppClass, &app);
        QVERIFY(cookie != 0);
        QCOMPARE(automation::Bridge::instance().exportedPath(&app), QStringLiteral("/TestApp"));
        const QString self = QDBusConnection::sessionBus().baseService();
        QCOMPARE(joined(m_client.request({ "lookup", AppClass })),
            QStringLiteral("ok\t%1\t/TestApp").arg(self));
        QCOMPARE(joined(m_client.request({ "call", AppClass, "/TestApp", AppClass, "Where" })),
            QStringLiteral("ok\ts:%1").arg(QCoreApplication::applicationPid()));
        // This process does not find itself.
        QVERIFY(automation::runningObject(AppClass).isNothing());

        QCOMPARE(automation::revokeRunningObject(cookie), 0);
        QCOMPARE(joined(m_client.request({ "lookup", AppClass })), QStringLiteral("ok\tnothing"));
        // The object stays on the bus for the clients that hold it.
        QCOMPARE(joined(m_client.request({ "call", ".", "/TestApp", AppClass, "Where" })),
            QStringLiteral("ok\ts:%1").arg(QCoreApplication::applicationPid()));
    }

    void instanceOfOtherProcess()
    {
        const QStringList served = m_client.request({ "serve", AppClass });
        QCOMPARE(served.value(0), QStringLiteral("ok"));
        QVERIFY(served.value(1).toInt() != 0);

        const automation::Remote other = automation::runningObject(AppClass);
        QVERIFY(!other.isNothing());
        QCOMPARE(other.path(), QStringLiteral("/TestApp"));
        QCOMPARE(other.get(QStringLiteral("Caption")), QVariant(QStringLiteral("test app")));
        QCOMPARE(
            other.call(QStringLiteral("Where")), QVariant(QString::number(m_client.processId())));
        try {
            other.call(QStringLiteral("Fail"), { QVariant::fromValue<rt::Long>(57) });
            QFAIL("no error");
        } catch (const rt::Error &error) {
            QCOMPARE(error.number, 57);
            QCOMPARE(error.description, QStringLiteral("Device I/O error"));
        }
        try {
            other.call(QStringLiteral("NoSuch"));
            QFAIL("no error");
        } catch (const rt::Error &error) {
            QCOMPARE(error.number, 440);
        }

        // The name belongs to the other process.
        TestApp mine;
        QCOMPARE(automation::registerRunningObject(AppClass, &mine), 0);

        QCOMPARE(joined(m_client.request({ "revoke", served.value(1) })), QStringLiteral("ok"));
        QTRY_VERIFY(automation::runningObject(AppClass).isNothing());
    }

    // A process started by a client: the factory owns the class's bus name, the client creates
    // the object, and the object's own registration then shares the name.
    void classFactory()
    {
        automation::ClassFactory &factory = automation::ClassFactory::instance();
        TestApp app;
        factory.registerClass(AppClass, [&app] { return &app; });
        factory.registerClass(QStringLiteral("NVWin32.Failing"), [] { return nullptr; });
        QVERIFY(factory.publish(AppClass));
        auto create = [&](const QString &className) {
            return joined(m_client.request({ "call", AppClass, "/", "NVWin32.ClassFactory",
                "CreateObject", "s:" + className }));
        };
        QCOMPARE(create(QStringLiteral("nvwin32.testapp")), QStringLiteral("ok\to:/TestApp"));
        QCOMPARE(joined(m_client.request({ "get", AppClass, "/TestApp", AppClass, "Caption" })),
            QStringLiteral("ok\tv:s:test app"));
        const QString refused
            = QStringLiteral("error\tNVWin32.Error.E429\tAutomation server can't create object");
        QCOMPARE(create(QStringLiteral("NVWin32.Unknown")), refused);
        QCOMPARE(create(QStringLiteral("NVWin32.Failing")), refused);

        const rt::Long cookie = automation::registerRunningObject(AppClass, &app);
        QVERIFY(cookie != 0);
        QCOMPARE(m_client.request({ "lookup", AppClass }).value(2), QStringLiteral("/TestApp"));
        automation::revokeRunningObject(cookie);
        QCOMPARE(joined(m_client.request({ "lookup", AppClass })), QStringLiteral("ok\tnothing"));
    }
};

BUS_CLIENT_TEST_MAIN(tst_automation, serveTestApp)

#include "tst_automation.moc"
