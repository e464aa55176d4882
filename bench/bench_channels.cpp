// End-to-end rate of host data through each channel to the screen: a peer on loopback (socat for
// raw TCP, the system's telnetd, sshd) cats a 100 MB file of text lines, some of them beyond
// ASCII, to a shown control (VT100). The time runs from the first byte that arrives to the last
// line on the screen. A channel whose peer cannot run here is skipped with the reason.

#include "emulator/emulator.h"
#include "platform/localpeers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

constexpr int Vt100 = 12;
constexpr qint64 fileSize = 100 * 1000 * 1000;

// The file the peers send, written once per run.
const QString &burstFile()
{
    static QTemporaryDir dir;
    static const QString name = [] {
        const QString path = dir.filePath(QStringLiteral("burst.txt"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        QByteArray chunk;
        for (int n = 0; chunk.size() < 1024 * 1024; ++n) {
            chunk += n % 10 == 0
                ? QByteArray("\xe2\x95\x90\xe2\x95\x90 caf\xc3\xa9 \xe2\x80\x9dquoted\xe2\x80\x9d ")
                : QByteArray("-rw-r--r--  1 guest users  2048 Jan  1 12:00 ");
            chunk += "line " + QByteArray::number(n) + "\r\n";
        }
        for (qint64 written = 0; written < fileSize; written += chunk.size())
            file.write(chunk.left(int(std::min<qint64>(chunk.size(), fileSize - written))));
        file.write("\r\nthe end\r\n");
        return path;
    }();
    return name;
}

bool showsTheEnd(emu::nvEmulator &control)
{
    for (int row = control.Rows() - 1; row >= 0; --row) {
        if (control.screen()->rowText(row).startsWith(QLatin1String("the end")))
            return true;
    }
    return false;
}

void channelRate(benchmark::State &state, LocalPeer::Kind kind)
{
    if (burstFile().isEmpty()) {
        state.SkipWithError("the file to send could not be written");
        return;
    }
    // telnetd loses what a session wrote last when the session ends at once: it lingers.
    LocalPeer peer(kind, QStringLiteral("cat '%1'; sleep 1").arg(burstFile()));
    QString why;
    if (!peer.start(&why)) {
        state.SkipWithError(why.toUtf8().constData());
        return;
    }
    qint64 bytes = 0;
    for (auto _ : state) {
        emu::nvEmulator control;
        control.Settings()->setTermType(Vt100);
        peer.configure(control.Settings());
        control.show();
        // The program's own event loop, woken by the data alone (a polling wait would sleep
        // between reads and measure itself).
        QEventLoop loop;
        QElapsedTimer clock;
        QObject::connect(&control, &emu::nvEmulator::DataReady, &loop, [&] {
            if (!clock.isValid())
                clock.start();
            if (showsTheEnd(control))
                loop.exit(0);
        });
        QTimer::singleShot(600000, &loop, [&loop] { loop.exit(1); });
        control.Reset(2);
        if (loop.exec() != 0) {
            state.SkipWithError("the end of the data did not reach the screen");
            return;
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        bytes += control.BytesIn();
    }
    state.SetBytesProcessed(bytes);
}

BENCHMARK_CAPTURE(channelRate, RawTcp, LocalPeer::Kind::RawTcp)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(channelRate, Telnet, LocalPeer::Kind::Telnet)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(channelRate, Ssh, LocalPeer::Kind::Ssh)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

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
