// The DDE server over D-Bus, driven by a client in another process.

#include "platform/tst_automation_client.h"

#include "dde/ddeserver.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

const QString DdePath = QStringLiteral("/DDE");
const QString DdeInterface = QStringLiteral("NVWin32.DDE");

} // namespace

class tst_dde : public QObject
{
    Q_OBJECT

    busclient::Client m_client;
    dde::Topic *m_system = nullptr;
    dde::Topic *m_session = nullptr;
    QStringList m_executed;
    QList<QDBusMessage> m_received;

    QString ddeCall(const QStringList &memberAndArguments)
    {
        return m_client
            .request(
                QStringList { QStringLiteral("call"), QStringLiteral("."), DdePath, DdeInterface }
                + memberAndArguments)
            .join(u'\t');
    }

public slots:
    void busSignal(const QDBusMessage &message) { m_received << message; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_client.start());
        dde::Server &server = dde::Server::instance();
        QVERIFY(server.publish());
        m_system = new dde::Topic(QStringLiteral("SYSTEM"), this);
        m_system->setItem(QStringLiteral("SysItems"), QStringLiteral("SYSITEMS\tTOPICS"));
        m_system->setItem(QStringLiteral("ErrNum"), QStringLiteral("0"));
        m_system->setItem(QStringLiteral("Result"), QString());
        m_system->setPokeHandler([](const QString &item, const QString &) {
            return item.compare(QLatin1String("ErrNum"), Qt::CaseInsensitive) != 0;
        });
        m_system->setExecuteHandler([this](const QString &command) {
            m_executed << command;
            if (command == QLatin1String("raise"))
                rt::raise(5);
            return command.startsWith(u'[');
        });
        m_session = new dde::Topic(QStringLiteral("Session_1"), this);
        m_session->setItem(QStringLiteral("Busy"), QStringLiteral("0"));
        server.addTopic(m_system);
        server.addTopic(m_session);

        QDBusConnection listener = QDBusConnection::connectToBus(
            QDBusConnection::SessionBus, QStringLiteral("listener"));
        QVERIFY(listener.connect(QDBusConnection::sessionBus().baseService(), DdePath, DdeInterface,
            QStringLiteral("ItemChanged"), this, SLOT(busSignal(QDBusMessage))));
    }

    void requests_data()
    {
        QTest::addColumn<QStringList>("call");
        QTest::addColumn<QString>("reply");
        QTest::newRow("item") << QStringList { "Request", "s:SYSTEM", "s:SysItems" }
                              << "ok\ts:SYSITEMS\\tTOPICS";
        QTest::newRow("names without case")
            << QStringList { "Request", "s:system", "s:SYSITEMS" } << "ok\ts:SYSITEMS\\tTOPICS";
        QTest::newRow("session topic")
            << QStringList { "Request", "s:session_1", "s:busy" } << "ok\ts:0";
        QTest::newRow("unknown topic") << QStringList { "Request", "s:Nowhere", "s:Busy" }
                                       << "error\tNVWin32.DDE.UnknownTopic\tNo topic Nowhere";
        QTest::newRow("unknown item") << QStringList { "Request", "s:SYSTEM",
            "s:Busy" } << "error\tNVWin32.DDE.UnknownItem\tNo item Busy in topic SYSTEM";
        QTest::newRow("topics") << QStringList { "Topics" } << "ok\tas[SYSTEM,Session_1]";
    }
    void requests()
    {
        QFETCH(QStringList, call);
        QFETCH(QString, reply);
        QCOMPARE(ddeCall(call), reply);
    }

    void executes_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reply");
        QTest::newRow("accepted") << "[run]"
                                  << "ok";
        QTest::newRow("refused") << "plain"
                                 << "error\tNVWin32.DDE.Refused\tThe execute was refused";
        QTest::newRow("handler fails")
            << "raise"
            << "error\tNVWin32.Error.E5\tInvalid procedure call or argument";
    }
    void executes()
    {
        QFETCH(QString, command);
        QFETCH(QString, reply);
        m_executed.clear();
        QCOMPARE(ddeCall({ "Execute", "s:System", "s:" + command }), reply);
        QCOMPARE(m_executed, QStringList { command });
    }

    void topicWithoutHandlerRefuses()
    {
        QCOMPARE(ddeCall({ "Execute", "s:Session_1", "s:anything" }),
            QStringLiteral("error\tNVWin32.DDE.Refused\tThe execute was refused"));
    }

    void changesAreSignalled()
    {
        m_received.clear();
        QCOMPARE(ddeCall({ "Poke", "s:SESSION_1", "s:BUSY", "s:1" }), QStringLiteral("ok"));
        QCOMPARE(m_session->item(QStringLiteral("Busy")), QStringLiteral("1"));
        m_session->setItem(QStringLiteral("busy"), QStringLiteral("1")); // no change, no signal
        m_session->setItem(QStringLiteral("Busy"), QStringLiteral("0"));
        QTRY_COMPARE(m_received.size(), 2);
        QCOMPARE(m_received.at(0).arguments(),
            (QVariantList {
                QStringLiteral("Session_1"), QStringLiteral("Busy"), QStringLiteral("1") }));
        QCOMPARE(m_received.at(1).arguments().value(2), QVariant(QStringLiteral("0")));
        QCOMPARE(ddeCall({ "Poke", "s:Session_1", "s:Nothing", "s:1" }),
            QStringLiteral("error\tNVWin32.DDE.UnknownItem\tNo item Nothing in topic Session_1"));
    }

    // The topic's poke handler decides; a refused poke leaves the item as it was, unannounced.
    void pokes_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("stored");
        QTest::newRow("item refused")
            << "ERRNUM"
            << "5"
            << "error\tNVWin32.DDE.Refused\tThe item ErrNum of topic SYSTEM cannot be set"
            << "0";
        QTest::newRow("accepted") << "result"
                                  << "done"
                                  << "ok"
                                  << "done";
    }
    void pokes()
    {
        QFETCH(QString, item);
        QFETCH(QString, value);
        QFETCH(QString, stored);
        m_received.clear();
        QTEST(ddeCall({ "Poke", "s:system", "s:" + item, "s:" + value }), "reply");
        QCOMPARE(m_system->item(item), stored);
        if (stored != value)
            QVERIFY(m_received.isEmpty());
        else
            QTRY_COMPARE(m_received.size(), 1);
    }

    void renamedAndRemovedTopics()
    {
        m_session->setName(QStringLiteral("host"));
        QCOMPARE(ddeCall({ "Request", "s:HOST", "s:Busy" }), QStringLiteral("ok\ts:0"));
        m_received.clear();
        m_session->setItem(QStringLiteral("Busy"), QStringLiteral("1"));
        QTRY_COMPARE(m_received.size(), 1);
        QCOMPARE(m_received.at(0).arguments().value(0), QVariant(QStringLiteral("host")));

        delete m_session;
        m_session = nullptr;
        QCOMPARE(ddeCall({ "Topics" }), QStringLiteral("ok\tas[SYSTEM]"));
        QCOMPARE(dde::Server::instance().topic(QStringLiteral("host")), nullptr);
    }
};

BUS_CLIENT_TEST_MAIN(tst_dde, nullptr)

#include "tst_dde.moc"
