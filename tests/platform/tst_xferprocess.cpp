// The transfer programs' runner on its own: all of a program's output arrives, before finished(),
// whether it was read as it came or held until after the program had ended, through a socket
// pair or a pseudo-terminal; a held program that is stopped still ends; writing to a program
// that has gone does not take this process with it. A program reaches no socket and sees little
// of this process's environment.

#include "emulator/xferprocess.h"

#include "common/testutil.h"

#include <QLocalServer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
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
    void confinement_data();
    void confinement();
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

void TestXferProcess::confinement_data()
{
    QTest::addColumn<QString>("command"); // for sh -c
    QTest::addColumn<QString>("output"); // a pattern for all of it
    QTest::newRow("no TCP, loopback neither")
        << "echo ran | socat - TCP:127.0.0.1:@PORT@ 2>/dev/null || echo refused" << "refused\n";
    QTest::newRow("no UNIX socket")
        << "echo ran | socat - UNIX-CONNECT:@SOCKET@ 2>/dev/null || echo refused" << "refused\n";
    QTest::newRow("no session bus, no display")
        << "echo \"[$DBUS_SESSION_BUS_ADDRESS][$DISPLAY][$XDG_RUNTIME_DIR]\"" << "\\[\\]\\[\\]\\[\\]\n";
    QTest::newRow("its own folder for HOME") << "echo \"$HOME\"" << "@DIR@\n";
    // (sh adds PWD of its own.)
    QTest::newRow("a small environment")
        << "env" << "((PATH|LANG|LC_ALL|LC_CTYPE|TZ|PWD)=[^\n]*\n|HOME=@DIR@\n)+";
}

// What a transfer program could reach if a host made it run a command: sockets are refused, and
// of this process's environment it sees the little it needs.
void TestXferProcess::confinement()
{
    QFETCH(QString, command);
    QFETCH(QString, output);
    if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
        QSKIP("socat is not installed (scripts/setup installs it)");
    QTemporaryDir dir;
    QTcpServer tcp;
    QVERIFY(tcp.listen(QHostAddress::LocalHost, 0));
    QLocalServer local;
    QVERIFY(local.listen(dir.filePath(QStringLiteral("listener"))));
    qputenv("DISPLAY", ":99");
    command.replace(QStringLiteral("@PORT@"), QString::number(tcp.serverPort()))
        .replace(QStringLiteral("@SOCKET@"), local.fullServerName());
    output.replace(QStringLiteral("@DIR@"), QRegularExpression::escape(dir.path()));
    XferProcess process;
    QByteArray received;
    connect(&process, &XferProcess::output, this, [&](const QByteArray &bytes) { received += bytes; });
    QSignalSpy finished(&process, &XferProcess::finished);
    QString error;
    QVERIFY2(process.start({ QStringLiteral("sh"), { QStringLiteral("-c"), command }, dir.path(),
                               false, { dir.path() } },
                 &error),
        qPrintable(error));
    QVERIFY(finished.wait(20000));
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(output));
    QVERIFY2(pattern.match(QString::fromLocal8Bit(received)).hasMatch(), received.constData());
    QVERIFY(!tcp.hasPendingConnections() && !tcp.waitForNewConnection(0));
    QVERIFY(!local.hasPendingConnections() && !local.waitForNewConnection(0));
}

QTEST_MAIN(TestXferProcess)
#include "tst_xferprocess.moc"
