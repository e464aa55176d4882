// The transfer programs' runner on its own: all of a program's output arrives, before finished(),
// whether it was read as it came or held until after the program had ended, through a socket
// pair or a pseudo-terminal; a held program that is stopped still ends; writing to a program
// that has gone does not take this process with it. A program reaches no socket and sees little
// of this process's environment. Each layer of the confinement is seen on its own: this test
// runs itself as the program (--probe), making one attempt that only that layer refuses.

#include "emulator/xferprocess.h"

#include "common/testutil.h"

#include <QLocalServer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/landlock.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

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

// The probe: this test run as a transfer program, making one attempt and printing "ok" or the
// name of the error it met.
constexpr char probeFlag[] = "--probe";

// What a row needs of the kernel: the Landlock ABI (files 1, network 4, scopes 6), or x32 calls.
constexpr long landlockFs = 1;
constexpr long landlockNet = 4;
constexpr long landlockScope = 6;
constexpr long noLandlock = 0;
constexpr long x32Calls = -1;

long landlockAbi()
{
    const long abi
        = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi > 0 ? abi : 0;
}

// Listens on, or connects fd to, the abstract UNIX socket of that name.
int abstractSocket(int fd, const QByteArray &name, bool listening)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    const auto *at = reinterpret_cast<const sockaddr *>(&address);
    const auto size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (!listening)
        return ::connect(fd, at, size);
    return ::bind(fd, at, size) == 0 && ::listen(fd, 1) == 0 ? 0 : -1;
}

// The attempt, its target (a path, a port, a socket name or a process) and a socket made before
// the confinement, for the attempts to connect.
[[noreturn]] void probe(const QByteArray &attempt, const char *target, int fd)
{
    int result = -1;
    if (attempt == "socket") {
        result = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    } else if (attempt == "x32 socket") {
#if defined(__x86_64__)
        result = int(::syscall(__X32_SYSCALL_BIT | __NR_socket, AF_INET, SOCK_STREAM, 0));
#endif
    } else if (attempt == "write") {
        result = ::open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    } else if (attempt == "connect TCP") {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(std::atoi(target)));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        result = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    } else if (attempt == "connect abstract") {
        result = abstractSocket(fd, target, false);
    } else if (attempt == "signal") {
        result = ::kill(pid_t(std::atoi(target)), 0);
    }
    std::fputs(result >= 0 ? "ok" : strerrorname_np(errno), stdout);
    std::fflush(stdout);
    ::_exit(0); // nothing of the test's own ending (the leak check) runs confined
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
    void confinementLayers_data();
    void confinementLayers();
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

void TestXferProcess::confinementLayers_data()
{
    QTest::addColumn<QString>("attempt");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("receiver"); // given a writable folder; else a sender (no folders)
    QTest::addColumn<long>("needs");
    QTest::addColumn<QString>("expected"); // "ok" or the error's name
    // The seccomp filter.
    dataRow("socket", "socket", "", false, noLandlock, "EACCES");
    dataRow("socket, x32 call", "x32 socket", "", false, x32Calls, "EACCES");
    // Landlock's file rules.
    dataRow("write in its folder", "write", "@FOLDER@/f", true, landlockFs, "ok");
    dataRow("write beside its folder", "write", "@DIR@/f", true, landlockFs, "EACCES");
    // Landlock's network rules, on a socket made before (which the filter does not see).
    dataRow("TCP, receiver", "connect TCP", "@PORT@", true, landlockNet, "EACCES");
    dataRow("TCP, sender", "connect TCP", "@PORT@", false, landlockNet, "EACCES");
    // Landlock's scopes.
    dataRow("abstract socket", "connect abstract", "@ABSTRACT@", false, landlockScope, "EPERM");
    dataRow("signal to this process", "signal", "@PID@", false, landlockScope, "EPERM");
}

// Each layer of a program's confinement refuses what it is there for, whatever the others do:
// the program is this test, making one attempt that gets past every other layer.
void TestXferProcess::confinementLayers()
{
    QFETCH(QString, attempt);
    QFETCH(QString, target);
    QFETCH(bool, receiver);
    QFETCH(long, needs);
#if !defined(__x86_64__) && !defined(__aarch64__)
    QSKIP("no socket filter for this processor");
#endif
#if !defined(__x86_64__)
    if (needs == x32Calls)
        QSKIP("x32 system calls are an x86-64 matter");
#endif
    if (landlockAbi() < needs)
        QSKIP(qPrintable(
            u"Landlock ABI %1 in this kernel, %2 needed"_qs.arg(landlockAbi()).arg(needs)));
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"folder"_qs);
    QVERIFY(QDir().mkpath(folder));
    QTcpServer tcp;
    QVERIFY(tcp.listen(QHostAddress::LocalHost, 0));
    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QByteArray abstract = "norvalis-probe-" + pid.toLatin1();
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Made here, left to the program (no close-on-exec).
    const int socket = ::socket(attempt == u"connect TCP" ? AF_INET : AF_UNIX, SOCK_STREAM, 0);
    const auto closeSockets = qScopeGuard([&] {
        ::close(socket);
        ::close(listener);
    });
    QCOMPARE(abstractSocket(listener, abstract, true), 0);
    target.replace(u"@FOLDER@"_qs, folder)
        .replace(u"@DIR@"_qs, dir.path())
        .replace(u"@PORT@"_qs, QString::number(tcp.serverPort()))
        .replace(u"@ABSTRACT@"_qs, QString::fromLatin1(abstract))
        .replace(u"@PID@"_qs, pid);
    XferProcess process;
    QByteArray received;
    connect(&process, &XferProcess::output, this, [&](const QByteArray &out) { received += out; });
    QSignalSpy finished(&process, &XferProcess::finished);
    const QStringList arguments { QString::fromLatin1(probeFlag), attempt, target,
        QString::number(socket) };
    QString error;
    QVERIFY2(process.start({ QCoreApplication::applicationFilePath(), arguments, dir.path(), false,
                               receiver ? QStringList { folder } : QStringList() },
                 &error),
        qPrintable(error));
    QVERIFY(finished.wait(20000));
    QTEST(QString::fromLatin1(received), "expected");
}

int main(int argc, char **argv)
{
    if (argc == 5 && qstrcmp(argv[1], probeFlag) == 0)
        probe(argv[2], argv[3], std::atoi(argv[4]));
    QCoreApplication app(argc, argv);
    TestXferProcess test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_xferprocess.moc"
