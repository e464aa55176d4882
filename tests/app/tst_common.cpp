// The shared value store: directly, over D-Bus from another process, and from a script.

#include "platform/tst_automation_client.h"

#include "app/common.h"
#include "interfaces/commoniface.h"
#include "script/scripthost.h"

#include <QtTest>

class tst_common : public QObject
{
    Q_OBJECT

    busclient::Client m_client;
    clsCommon m_store;
    CommonIface *m_iface = nullptr;

    QString itemCall(const QStringList &memberAndArguments)
    {
        return m_client
            .request(QStringList { QStringLiteral("call"), QStringLiteral("."),
                         QStringLiteral("/Common"), QStringLiteral("NVWin32.Common") }
                + memberAndArguments)
            .join(u'\t');
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_client.start());
        m_iface = new CommonIface(&m_store, this);
        // The class names its own path.
        QCOMPARE(automation::Bridge::instance().pathOf(m_iface), QStringLiteral("/Common"));
    }

    void init() { m_store.Common_Clear(); }

    void missingKeyIsEmpty() { QVERIFY(!m_store.Common_Item(QStringLiteral("never")).isValid()); }

    void keysWithoutCase_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("read");
        QTest::newRow("capitals, then lower case") << "KEY"
                                                   << "key";
        QTest::newRow("mixed") << "MiXeD"
                               << "mIxEd";
        QTest::newRow("non-ASCII") << "ÄRGER"
                                   << "ärger";
        QTest::newRow("empty key") << ""
                                   << "";
    }
    void keysWithoutCase()
    {
        QFETCH(QString, stored);
        QFETCH(QString, read);
        m_store.Common_Item(stored, 1);
        m_store.Common_Item(stored, QStringLiteral("second"));
        QCOMPARE(m_store.Common_Item(read), QVariant(QStringLiteral("second")));
    }

    void clearEmptiesEveryKey()
    {
        m_store.Common_Item(QStringLiteral("a"), 1);
        m_store.Common_Item(QStringLiteral("b"), 2);
        m_store.Common_Clear();
        QVERIFY(!m_store.Common_Item(QStringLiteral("a")).isValid());
        QVERIFY(!m_store.Common_Item(QStringLiteral("b")).isValid());
    }

    void objectReferences()
    {
        auto *object = new QObject;
        m_store.Common_Item(QStringLiteral("obj"), QVariant::fromValue(object));
        QCOMPARE(m_store.Common_Item(QStringLiteral("OBJ")).value<QObject *>(), object);
        // A reference whose object is gone reads as Nothing, not as a dangling pointer.
        delete object;
        const QVariant gone = m_store.Common_Item(QStringLiteral("obj"));
        QVERIFY(automation::holdsObject(gone));
        QCOMPARE(gone.value<QObject *>(), nullptr);
    }

    void overTheBus_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("read");
        QTest::newRow("number") << "i:1"
                                << "ok\tv:i:1";
        QTest::newRow("text") << "s:two"
                              << "ok\tv:s:two";
        QTest::newRow("Empty") << "v:E"
                               << "ok\tv:ag[]";
        QTest::newRow("our object") << "o:/Common"
                                    << "ok\tv:o:/Common";
        QTest::newRow("a client's object") << "o:/client/thing"
                                           << "ok\tv:o:/client/thing";
        QTest::newRow("Nothing") << "o:/"
                                 << "ok\tv:o:/";
    }
    void overTheBus()
    {
        QFETCH(QString, value);
        QFETCH(QString, read);
        QCOMPARE(itemCall({ "SetItem", "s:Key", "s:old" }), QStringLiteral("ok"));
        QCOMPARE(itemCall({ "SetItem", "s:KEY", value }), QStringLiteral("ok"));
        QCOMPARE(itemCall({ "Item", "s:key" }), read);
    }

    void overTheBusMissingAndCleared()
    {
        QCOMPARE(itemCall({ "Item", "s:never" }), QStringLiteral("ok\tv:ag[]"));
        QCOMPARE(itemCall({ "SetItem", "s:a", "i:1" }), QStringLiteral("ok"));
        QCOMPARE(itemCall({ "Clear" }), QStringLiteral("ok"));
        QCOMPARE(itemCall({ "Item", "s:A" }), QStringLiteral("ok\tv:ag[]"));
    }

    void objectStoredOverTheBusIsTheSameObject()
    {
        QCOMPARE(itemCall({ "SetItem", "s:self", "o:/Common" }), QStringLiteral("ok"));
        QCOMPARE(m_store.Common_Item(QStringLiteral("self")).value<QObject *>(), m_iface);
    }

    void sharedWithScripts()
    {
        script::ScriptHost host;
        QWidget *window = nullptr;
        QObject app;
        host.Initialize(QString(), QString(), QString(), window, &app);
        host.engine().globalObject().setProperty(
            QStringLiteral("Common"), host.engine().newQObject(m_iface));
        QVariant result;
        host.RunText(QStringLiteral("Common.SetItem('Shared', 5); Common.Item('SHARED')"),
            rt::False, 0, result);
        QCOMPARE(result.toInt(), 5);
        QCOMPARE(itemCall({ "Item", "s:shared" }), QStringLiteral("ok\tv:i:5"));
        host.RunText(QStringLiteral("Common.Item('missing') === undefined"), rt::False, 0, result);
        QCOMPARE(result, QVariant(true));
    }
};

BUS_CLIENT_TEST_MAIN(tst_common, nullptr)

#include "tst_common.moc"
