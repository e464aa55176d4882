// The host request server in the running program: N requests queued at once on one session and
// served one at a time by a loopback host program (a thread of its own that answers each request
// as soon as it reads it), timed until the last completion. Per request: the wall time, and the
// processor time of the program's own thread (the program's overhead: emulator, host protocol,
// queue, completion and the socket calls; the host's work is on the other thread). N = 1,000
// and 10,000 show whether the cost per request stays the same as the queue grows; the summary
// at the end prints the ratio. Goal: the program's overhead below 0.2 ms per request.

#include "benchprogram.h"
#include "loopback.h"

#include "app/appglobals.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "emulator/emulator.h"
#include "session/server.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <ctime>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

QTemporaryDir *g_dir = nullptr;
QMap<int, double> g_cpuPerRequest; // N -> program thread µs per request

QString dirPath(const QString &name)
{
    return g_dir->filePath(name);
}

double threadCpuNs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

// The host program: enters server mode as "BENCH" and answers each request "OK:<text>".
class ServingLoopbackHost
{
public:
    ServingLoopbackHost()
    {
        m_thread = std::thread([this] { serve(); });
    }
    ~ServingLoopbackHost()
    {
        m_listener.close();
        if (m_thread.joinable())
            m_thread.join();
    }
    int port() const { return m_listener.port(); }

private:
    void serve()
    {
        const int client = m_listener.accept();
        if (client < 0)
            return;
        const int one = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        writeAll(client, QByteArray("\x1b]7701;server-start;") + QByteArray("BENCH").toBase64() + '\x07');
        static const QByteArray intro("\x1b]7701;request;");
        QByteArray pending;
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(client, buffer, sizeof buffer);
            if (n <= 0)
                break;
            pending.append(buffer, n);
            QByteArray answers;
            qsizetype from = 0;
            for (;;) {
                const qsizetype start = pending.indexOf(intro, from);
                const qsizetype end = start < 0 ? -1 : pending.indexOf('\x07', start);
                if (end < 0)
                    break;
                const qsizetype body = start + intro.size();
                const QByteArray text = QByteArray::fromBase64(pending.mid(body, end - body));
                answers += "\x1b]7701;result;0;" + ("OK:" + text).toBase64() + ";\x07";
                from = end + 1;
            }
            pending.remove(0, from);
            if (!answers.isEmpty() && !writeAll(client, answers))
                break;
        }
        close(client);
    }

    LoopbackListener m_listener;
    std::thread m_thread;
};

void BM_QueuedRequests(benchmark::State &state)
{
    const int count = int(state.range(0));
    ServingLoopbackHost host;
    const QString file = dirPath(QStringLiteral("serving.nvcf"));
    QFile out(file);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(QStringLiteral("[Norvalis]\nTermType=9\n[Connection]\nDevice=2\n"
                                 "HostName=127.0.0.1\nHostPort=%1\n")
                      .arg(host.port())
                      .toUtf8());
    out.close();
    auto session = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(file, 0, 0, 1));
    if (!waitFor([&] { return session->ServerMode() != 0; }, 20000)) {
        state.SkipWithError("the host did not enter server mode");
        return;
    }
    for (auto _ : state) {
        std::vector<ServerPtr> requests;
        requests.reserve(size_t(count));
        int completed = 0;
        int failed = 0;
        for (int i = 0; i < count; ++i) {
            requests.push_back(session->Server());
            QObject::connect(requests.back().get(), &clsServer::Notify, [&](rt::Long code) {
                ++completed;
                failed += code != 0;
            });
        }
        const double cpuBefore = threadCpuNs();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < count; ++i)
            requests[size_t(i)]->SubmitRequest(QStringLiteral("request %1").arg(i));
        const bool done = waitFor([&] { return completed == count; }, 600000);
        const double wallNs = double(timer.nsecsElapsed());
        const double cpuNs = threadCpuNs() - cpuBefore;
        state.SetIterationTime(wallNs / 1e9);
        state.counters["wall_us_per_request"] = wallNs / count / 1000;
        state.counters["program_cpu_us_per_request"] = cpuNs / count / 1000;
        g_cpuPerRequest[count] = cpuNs / count / 1000;
        if (!done || failed)
            state.SkipWithError("not every request was answered");
    }
    session->Terminate(0);
    session.reset();
    waitFor([] { return gApp->ClsSessions().Count() == 0 && !gCleanupPending; }, 30000);
}
BENCHMARK(BM_QueuedRequests)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    startProgramIn(dir);
    runBenchmarks(argc, argv);
    if (g_cpuPerRequest.contains(1000) && g_cpuPerRequest.contains(10000))
        printf("program cpu per request: %.1f us at 1,000, %.1f us at 10,000 (ratio %.2f)\n",
            g_cpuPerRequest.value(1000), g_cpuPerRequest.value(10000),
            g_cpuPerRequest.value(10000) / g_cpuPerRequest.value(1000));
    endProgram();
    return 0;
}
