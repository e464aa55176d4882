// The transfer programs' runner on its own: all of a program's output arrives, before finished(),
// whether it was read as it came or held until after the program had ended, through a socket
// pair or a pseudo-terminal; a held program that is stopped still ends; writing to a program
// that has gone does not take this process with it.

#include "emulator/xferprocess.h"

#include "common/testutil.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using emu::XferProcess;

namespace {

enum Reading { Free, HeldUntilEnded, HeldThenStopped };

QByteArray pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 7;
    for (char &c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = char(state >> 24);
    }
    return bytes;
}

} // namespace

class TestXferProcess : public QObject
{
    Q_OBJECT

private slots:
    void output_data();
    void output();
};

void TestXferProcess::output_data()
{
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<qint64>("size"); // of the output; 0: endless
    QTest::addColumn<int>("reading");
    // More than one read of each kind at the end, and more than the system buffers at once.
    QTest::newRow("pipe, read as it comes") << false << qint64(3 * 1024 * 1024 + 17) << int(Free);
    QTest::newRow("terminal, read as it comes") << true << qint64(1024 * 1024 + 3) << int(Free);
    // What fits in the system's buffer, so that the program ends while nothing is read.
    QTest::newRow("pipe, held until it ended") << false << qint64(60000) << int(HeldUntilEnded);
    QTest::newRow("terminal, held until it ended") << true << qint64(2000) << int(HeldUntilEnded);
    QTest::newRow("pipe, held and stopped") << false << qint64(0) << int(HeldThenStopped);
    QTest::newRow("terminal, held and stopped") << true << qint64(0) << int(HeldThenStopped);
}

void TestXferProcess::output()
{
    QFETCH(bool, terminal);
    QFETCH(qint64, size);
    QFETCH(int, reading);
    QTemporaryDir dir;
    const QByteArray data = pattern(size);
    const QString source = dir.filePath(QStringLiteral("source"));
    writeBytes(source, data);
    XferProcess process;
    QByteArray received;
    qint64 largest = 0;
    int finished = 0;
    qint64 receivedAtEnd = -1;
    connect(&process, &XferProcess::output, this, [&](const QByteArray &bytes) {
        received += bytes;
        largest = std::max(largest, qint64(bytes.size()));
    });
    connect(&process, &XferProcess::finished, this, [&] {
        ++finished;
        receivedAtEnd = received.size();
    });
    const QStringList arguments = size > 0
        ? QStringList { QStringLiteral("-c"), QString::number(size), source }
        : QStringList { QStringLiteral("-c"), QStringLiteral("100G"), QStringLiteral("/dev/zero") };
    QString error;
    QVERIFY2(process.start({ QStringLiteral("head"), arguments, dir.path(), terminal, {} }, &error),
        qPrintable(error));
    if (reading != Free)
        process.holdOutput(true);

    if (reading == HeldUntilEnded) {
        QTRY_COMPARE(process.processId(), qint64(0)); // the program has ended
        QCOMPARE(received.size(), 0);
        QCOMPARE(finished, 0);
        process.write("to a program that has gone"); // fails quietly
        process.holdOutput(false);
    } else if (reading == HeldThenStopped) {
        QVERIFY(QTest::qWaitFor([&] { return process.processId() > 0; }));
        process.stop(500);
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished, 1, 20000);
    QVERIFY(!process.isRunning());
    QVERIFY(largest <= XferProcess::readChunk);
    if (reading != HeldThenStopped) {
        QCOMPARE(receivedAtEnd, size); // all of it, before finished()
        QVERIFY(received == data);
    }
}

QTEST_MAIN(TestXferProcess)
#include "tst_xferprocess.moc"
