#include "menus/menus.h"
#include "session/sessions.h"
#include "session/tst_sessions_fakes.h"

#include <QtTest>

class tst_sessions : public QObject
{
    Q_OBJECT

    std::unique_ptr<clsSessions> m_sessions;
    QList<std::shared_ptr<FakeSession>> m_added;

    // Adds sessions under their numbers, in order.
    void add(const QStringList &ids)
    {
        for (const QString &id : ids) {
            auto session = makeSession(id);
            m_sessions->clsAdd(session, id);
            m_added << session;
        }
    }
    QStringList ids() const
    {
        QStringList list;
        for (const SessionPtr &session : m_sessions->NewEnum())
            list << session->ID();
        return list;
    }

private slots:
    void init()
    {
        m_sessions = std::make_unique<clsSessions>();
        m_added.clear();
        gMenus = std::make_unique<Menus>();
        gMenus->AddNew(0);
        gMenus->AddNew(1);
        gMenus->AddNew(2);
    }
    void cleanup()
    {
        m_sessions.reset();
        gMenus.reset();
        QCOMPARE(rt::gErrNest, 0);
    }

    void indexRule_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QVariant>("index");
        QTest::addColumn<QString>("found"); // the session's ID, "" for none

        const QStringList three { u"1"_qs, u"3"_qs, u"7"_qs };
        QTest::newRow("position 0 is the first added") << three << QVariant(0) << "1";
        QTest::newRow("position 2 is the third") << three << QVariant(2) << "7";
        QTest::newRow("position past the end") << three << QVariant(3) << "";
        QTest::newRow("negative position") << three << QVariant(-1) << "";
        QTest::newRow("text is a key") << three << QVariant(u"7"_qs) << "7";
        QTest::newRow("text that is no key") << three << QVariant(u"2"_qs) << "";
        QTest::newRow("text 0 is a key, not a position") << three << QVariant(u"0"_qs) << "";
        QTest::newRow("long position") << three << QVariant(qint32(1)) << "3";
        QTest::newRow("double position rounds") << three << QVariant(1.6) << "7";
        QTest::newRow("item(1) with one session") << QStringList { u"1"_qs } << QVariant(1) << "";
        QTest::newRow("item(\"1\") with one session")
            << QStringList { u"1"_qs } << QVariant(u"1"_qs) << "1";
        QTest::newRow("empty collection") << QStringList {} << QVariant(0) << "";
        QTest::newRow("huge position") << three << QVariant(1e12) << "";
    }
    void indexRule()
    {
        QFETCH(QStringList, ids);
        QFETCH(QVariant, index);
        QFETCH(QString, found);
        add(ids);
        const SessionPtr session = m_sessions->clsItem(index);
        QCOMPARE(session ? session->ID() : QString(), found);
        QObject *object = m_sessions->item(index);
        QCOMPARE(object ? object->objectName() : QString(), found);
    }

    void remove_data()
    {
        QTest::addColumn<QVariant>("index");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<int>("terminated"); // which added session was closed, -1 none

        QTest::newRow("by position") << QVariant(1) << QStringList { u"1"_qs, u"7"_qs } << 1;
        QTest::newRow("by key") << QVariant(u"7"_qs) << QStringList { u"1"_qs, u"3"_qs } << 2;
        QTest::newRow("no such session")
            << QVariant(u"9"_qs) << QStringList { u"1"_qs, u"3"_qs, u"7"_qs } << -1;
        QTest::newRow("not a number")
            << QVariant(u"x"_qs) << QStringList { u"1"_qs, u"3"_qs, u"7"_qs } << -1;
    }
    void remove()
    {
        QFETCH(QVariant, index);
        QFETCH(QStringList, left);
        QFETCH(int, terminated);
        add({ u"1"_qs, u"3"_qs, u"7"_qs });
        gMenus->setActiveMenu(2);
        m_sessions->Remove(index);
        QCOMPARE(ids(), left);
        QCOMPARE(m_sessions->Count(), rt::Long(left.size()));
        for (int i = 0; i < m_added.size(); ++i)
            QCOMPARE(m_added.at(i)->terminated, i == terminated ? QList<int> { 0 } : QList<int> {});
        QCOMPARE(gMenus->ActiveMenu(), 2); // sessions remain: the active menu stays
    }

    void removeReleasesTheSession()
    {
        add({ u"1"_qs });
        std::weak_ptr<FakeSession> watch = m_added.takeFirst();
        m_sessions->Remove(0);
        QVERIFY(watch.expired());
    }

    void removingTheLastSessionShowsTheMainMenu_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("last session") << QStringList { u"1"_qs };
        QTest::newRow("already empty") << QStringList {};
    }
    void removingTheLastSessionShowsTheMainMenu()
    {
        QFETCH(QStringList, ids);
        add(ids);
        gMenus->setActiveMenu(1);
        m_sessions->Remove(0);
        QCOMPARE(m_sessions->Count(), 0);
        QCOMPARE(gMenus->ActiveMenu(), 0);
    }

    void removeWithoutMenusFailsQuietly()
    {
        add({ u"1"_qs });
        gMenus.reset();
        m_sessions->Remove(0);
        QCOMPARE(m_sessions->Count(), 0);
    }

    void addTakenKeyRaises457()
    {
        add({ u"1"_qs });
        try {
            m_sessions->clsAdd(makeSession(u"1"_qs), u"1"_qs);
            QFAIL("a taken key was accepted");
        } catch (const rt::Error &error) {
            QCOMPARE(error.number, 457);
        }
        QCOMPARE(m_sessions->Count(), 1);
    }
};

QTEST_MAIN(tst_sessions)
#include "tst_sessions.moc"
