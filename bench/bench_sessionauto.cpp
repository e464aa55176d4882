// A session's automation from another process: the program runs in its own process (the
// norvalis of the build, offscreen, in temporary folders) with one session whose screen is
// full, and this program reads it over the session bus.
// - bus_GetId: the bus's own round trip (org.freedesktop.DBus.GetId), the yardstick;
// - session_property_read: one property of the session (NVWin32.Session TermType), whose median
//   should stay within twice the yardstick's (ratio_to_GetId);
// - session_GetText_80x24: the whole 80x24 screen, one GetText per row.
// Run it on a session bus: dbus-run-session -- bench_sessionauto (bench/run does).

#include "automation/remote.h"
#include "runtime/error.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QString BusName = QStringLiteral("NVWin32.Norvalis");
double g_getIdMedian = 0;

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Times each run of body; reports the median in microseconds.
double timed(benchmark::State &state, const std::function<void()> &body)
{
    std::vector<double> runs;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        body();
        runs.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    const double m = median(runs);
    state.counters["median_us"] = m;
    return m;
}

void busGetId(benchmark::State &state)
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    g_getIdMedian = timed(state, [&] { benchmark::DoNotOptimize(bus->call(QStringLiteral("GetId"))); });
}

void propertyRead(benchmark::State &state, const automation::Remote &session)
{
    const double m = timed(state,
        [&] { benchmark::DoNotOptimize(session.get(QStringLiteral("TermType"))); });
    if (g_getIdMedian > 0)
        state.counters["ratio_to_GetId"] = m / g_getIdMedian;
}

void screenText(benchmark::State &state, const automation::Remote &session)
{
    timed(state, [&] {
        for (int row = 0; row < 24; ++row)
            benchmark::DoNotOptimize(session.call(QStringLiteral("GetText"),
                { QVariant::fromValue(rt::Int(0)), QVariant::fromValue(rt::Int(row)),
                    QVariant::fromValue(rt::Int(-1)), QVariant::fromValue(rt::Int(0)) }));
    });
}

bool waitForName(int ms)
{
    for (int waited = 0; waited < ms; waited += 50) {
        if (QDBusConnection::sessionBus().interface()->isServiceRegistered(BusName))
            return true;
        QThread::msleep(50);
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    for (const char *sub : { "config", "data", "home" })
        QDir().mkpath(dir.filePath(QLatin1String(sub)));
    const QString file = dir.filePath(QStringLiteral("home/bench.nvcf"));
    QFile session(file);
    if (!session.open(QIODevice::WriteOnly)
        || session.write("[Norvalis]\nTermType=12\n[Connection]\nDevice=0\n") <= 0)
        return 1;
    session.close();

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("NVWIN"), dir.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.setProgram(QStringLiteral(NORVALIS_BIN_DIR "/norvalis"));
    program.setArguments({ file });
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start();
    if (!program.waitForStarted() || !waitForName(30000)) {
        std::fprintf(stderr, "the program did not start (is there a session bus?)\n");
        return 1;
    }
    const automation::Remote target(QDBusConnection::sessionBus(), BusName,
        QStringLiteral("/Sessions/1"), QStringLiteral("NVWin32.Session"));
    // A full screen: 24 rows of 80 characters.
    QString text;
    for (int row = 0; row < 24; ++row)
        text += QString(80, QChar(u'A' + row % 26)).left(row == 23 ? 79 : 80);
    try {
        target.call(QStringLiteral("Emulate"), { text });
    } catch (...) {
        std::fprintf(stderr, "no session at /Sessions/1: %s\n", rt::currentError().what());
        return 1;
    }

    benchmark::RegisterBenchmark("bus_GetId", busGetId)->Iterations(2000);
    benchmark::RegisterBenchmark("session_property_read", propertyRead, target)->Iterations(2000);
    benchmark::RegisterBenchmark("session_GetText_80x24", screenText, target)->Iterations(200);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    automation::Remote(QDBusConnection::sessionBus(), BusName, QStringLiteral("/Norvalis"),
        QStringLiteral("NVWin32.Norvalis"))
        .call(QStringLiteral("Terminate"), { QVariant::fromValue(rt::Int(0)) });
    program.waitForFinished(30000);
    return 0;
}
