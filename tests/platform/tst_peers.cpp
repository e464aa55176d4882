// The terminal-emulator control against real peers on loopback: socat for raw TCP, the system's
// telnetd and sshd. A host that sends megabytes as fast as it can reaches the screen whole through
// every channel.

#include "common/testutil.h"
#include "emulator/emulator.h"
#include "platform/localpeers.h"

#include <QtTest>

using emu::nvEmulator;

namespace {

constexpr int Vt100 = 12;
constexpr qsizetype burstSize = 8 * 1024 * 1024;

} // namespace

class TestPeers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void burstReachesTheScreen_data();
    void burstReachesTheScreen();

private:
    QTemporaryDir m_dir;
    QString m_burst; // a file of lines, with "the end" last
};

void TestPeers::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_burst = m_dir.filePath(QStringLiteral("burst.txt"));
    QFile file(m_burst);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray line("plain text to fill the line 0123456789 abcdefghijklmnopqrstuvwxyz\r\n");
    QByteArray chunk;
    while (chunk.size() < 64 * 1024)
        chunk += line;
    for (qsizetype n = 0; n < burstSize; n += chunk.size())
        file.write(chunk);
    file.write("\xe2\x95\x90 caf\xc3\xa9 \xe2\x80\x9dquoted\xe2\x80\x9d\r\nthe end\r\n");
}

void TestPeers::burstReachesTheScreen_data()
{
    QTest::addColumn<LocalPeer::Kind>("kind");
    for (const LocalPeer::Kind kind :
        { LocalPeer::Kind::RawTcp, LocalPeer::Kind::Telnet, LocalPeer::Kind::Ssh })
        QTest::newRow(LocalPeer::kindName(kind)) << kind;
}

void TestPeers::burstReachesTheScreen()
{
    QFETCH(LocalPeer::Kind, kind);
    // telnetd loses what a session wrote last when the session ends at once: it lingers.
    LocalPeer peer(kind, QStringLiteral("cat '%1'; sleep 1").arg(m_burst));
    QString why;
    if (!peer.start(&why))
        QSKIP(qPrintable(why));
    nvEmulator control;
    control.Settings()->setTermType(Vt100);
    peer.configure(control.Settings());
    control.Reset(2);
    QTRY_VERIFY_WITH_TIMEOUT(control.BytesIn() >= burstSize, 120000);
    auto endRow = [&control] {
        for (int row = control.Rows() - 1; row > 0; --row) {
            if (trimmedRight(control.screen()->rowText(row)) == QLatin1String("the end"))
                return row;
        }
        return -1;
    };
    QTRY_VERIFY(endRow() > 0);
    QCOMPARE(trimmedRight(control.screen()->rowText(endRow() - 1)),
        QStringLiteral("\u2550 caf\u00e9 \u201dquoted\u201d"));
}

QTEST_MAIN(TestPeers)
#include "tst_peers.moc"
