// Time of one automation property read from another process over the session bus: this program
// starts itself again as the server ("--serve"), then reads a property of the server's object
// through automation::Remote. Run it on a session bus (dbus-run-session -- bench_automation).
// Besides Google Benchmark's figures it reports median_us, the median of the single reads.

#include "automation/bridge.h"
#include "automation/remote.h"
#include "automation/runningobject.h"
#include "runtime/error.h"

#include <QCoreApplication>
#include <QProcess>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

const QString ServerName = QStringLiteral("NVWin32.BenchServer");

class BenchObject : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.Bench")
    Q_PROPERTY(rt::Int Count READ Count)

public:
    rt::Int Count() const { return 7; }
};

int serve(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    BenchObject object;
    if (!automation::Bridge::instance().exportObject(&object, QStringLiteral("/Bench"))
        || !automation::ownBusName(ServerName))
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    // The server ends with its parent, when its stdin closes.
    std::thread([&app] {
        while (std::getchar() != EOF) { }
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    }).detach();
    return app.exec();
}

void propertyRead(benchmark::State &state, const automation::Remote &remote)
{
    std::vector<double> reads;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(remote.get(QStringLiteral("Count")));
        reads.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::nth_element(reads.begin(), reads.begin() + reads.size() / 2, reads.end());
    state.counters["median_us"] = reads.empty() ? 0 : reads[reads.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--serve") == 0)
        return serve(argc, argv);
    QCoreApplication app(argc, argv);
    QProcess server;
    server.setProgram(QCoreApplication::applicationFilePath());
    server.setArguments({ QStringLiteral("--serve") });
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start();
    if (!server.waitForReadyRead(10000) || server.readLine().trimmed() != "ready") {
        std::fprintf(stderr, "the server did not start (is there a session bus?)\n");
        return 1;
    }
    const automation::Remote remote(automation::Bridge::instance().connection(), ServerName,
        QStringLiteral("/Bench"), QStringLiteral("NVWin32.Bench"));
    benchmark::RegisterBenchmark("automation/property_read_other_process", propertyRead, remote)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    server.closeWriteChannel();
    server.waitForFinished(5000);
    return 0;
}

#include "bench_automation.moc"
