// A 100 MB ZModem download over a loopback TCP link: the host's sz behind socat, received by the
// terminal-emulator control (its rz joined to the link, then the file moved into place), and
// beside it the same host received by rz behind a second socat, the programs' own rate on the
// same kind of link. The ratio of the two is the control's share (the goal is 80% or more).
// The same for an upload: the control's sz, held to what the link takes, against sz behind
// socat, both sending to the host's rz.

#include "emulator/emulator.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>
#include <functional>

namespace {

constexpr qint64 fileSize = 100 * 1024 * 1024;

struct Fixture
{
    QTemporaryDir dir;
    QString source;
    bool ready = false;

    Fixture()
    {
        for (const char *program : { "sz", "rz", "socat" }) {
            if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty())
                return;
        }
        source = dir.filePath(QStringLiteral("data.bin"));
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly))
            return;
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        quint32 state = 12345;
        for (qint64 written = 0; written < fileSize; written += block.size()) {
            for (char &c : block) {
                state = state * 1664525u + 1013904223u;
                c = char(state >> 24);
            }
            file.write(block);
        }
        ready = file.flush();
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

// Runs the event loop until the condition holds or the time is up.
bool waitUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString freshFolder(const QString &name)
{
    const QString path = fixture().dir.filePath(name);
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

// The host: socat listening on a loopback port, running the command (in the folder) for its one
// client. Returns when it listens (socat says so on its standard error).
quint16 startHost(QProcess *host, const QString &command, const QString &folder)
{
    const quint16 port = freePort();
    host->setWorkingDirectory(folder);
    host->start(QStringLiteral("socat"),
        { QStringLiteral("-d"), QStringLiteral("-d"),
            QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port),
            QStringLiteral("SYSTEM:%1").arg(command) });
    QByteArray said;
    waitUntil(
        [&] {
            said += host->readAllStandardError();
            return said.contains("listening on");
        },
        5000);
    return port;
}

// Each iteration: a host on a fresh port, sending the file with sz or (upload) receiving it
// with rz, and `transfer` (port, folder), which receives the file into the folder or sends it
// and says whether it succeeded. The rate (bytes_per_second) is of the time `transfer` took.
void measure(benchmark::State &state, const char *name, bool upload,
    const std::function<bool(quint16, const QString &)> &transfer)
{
    if (!fixture().ready) {
        state.SkipWithError("sz, rz or socat missing");
        return;
    }
    for (auto _ : state) {
        const QString into = freshFolder(QLatin1String(name));
        QProcess host;
        const quint16 port = upload
            ? startHost(&host, QStringLiteral("rz -q"), into)
            : startHost(&host, QStringLiteral("sz -q -b %1").arg(fixture().source), into);
        QElapsedTimer clock;
        clock.start();
        const bool ok = transfer(port, into);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        state.SetBytesProcessed(state.bytes_processed() + fileSize);
        host.waitForFinished(10000);
        if (!ok || QFileInfo(QDir(into).filePath("data.bin")).size() != fileSize)
            state.SkipWithError("the transfer did not complete");
    }
}

void connectControl(emu::nvEmulator *control, quint16 port)
{
    emu::Settings *settings = control->Settings();
    settings->setZModemAuto(0);
    settings->setDevice(emu::device::Tcp);
    settings->setHostName(QStringLiteral("127.0.0.1"));
    settings->setHostPort(QString::number(port));
    control->Reset(2);
    waitUntil([&] { return control->Connected() != 0; }, 5000);
}

// rz behind socat, connected to the host: the programs alone.
void BM_ZModemDownload_szrz(benchmark::State &state)
{
    measure(state, "reference", false, [](quint16 port, const QString &into) {
        QProcess receiver;
        receiver.setWorkingDirectory(into);
        receiver.start(QStringLiteral("socat"),
            { QStringLiteral("TCP:127.0.0.1:%1").arg(port), QStringLiteral("SYSTEM:rz -q") });
        return receiver.waitForFinished(600000) && receiver.exitCode() == 0;
    });
}
BENCHMARK(BM_ZModemDownload_szrz)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// The control, connected to the host over raw TCP, downloading with Wait.
void BM_ZModemDownload_control(benchmark::State &state)
{
    measure(state, "control", false, [](quint16 port, const QString &into) {
        emu::nvEmulator control;
        connectControl(&control, port);
        return control.Download(into + QChar(0), 4, 1, 1, 1) == 0;
    });
}
BENCHMARK(BM_ZModemDownload_control)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// sz behind socat, connected to the host's rz: the programs alone.
void BM_ZModemUpload_szrz(benchmark::State &state)
{
    measure(state, "reference-up", true, [](quint16 port, const QString &) {
        QProcess sender;
        sender.start(QStringLiteral("socat"),
            { QStringLiteral("TCP:127.0.0.1:%1").arg(port),
                QStringLiteral("SYSTEM:sz -q -b %1").arg(fixture().source) });
        return sender.waitForFinished(600000) && sender.exitCode() == 0;
    });
}
BENCHMARK(BM_ZModemUpload_szrz)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// The control, connected to the host over raw TCP, uploading with Wait.
void BM_ZModemUpload_control(benchmark::State &state)
{
    measure(state, "control-up", true, [](quint16 port, const QString &) {
        emu::nvEmulator control;
        connectControl(&control, port);
        return control.Upload(fixture().source, 4, 1, 1, 1) == 0;
    });
}
BENCHMARK(BM_ZModemUpload_control)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
