// The host request server in the running program: N requests queued at once on one session and
// served one at a time by a loopback host program (a thread of its own that answers each request
// as soon as it reads it), timed until the last completion. Per request: the wall time, and the
// processor time of the program's own thread (the program's overhead: emulator, host protocol,
// queue, completion and the socket calls; the host's work is on the other thread). N = 1,000
// and 10,000 show whether the cost per request stays the same as the queue grows; the summary
// at the end prints the ratio. Goal: the program's overhead below 0.2 ms per request.
// BM_NeverReadingHost: a host that floods 10,000,000 script requests and never reads keeps the
// program's resident memory under 100 MiB.

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

#include <algorithm>
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

// A host that floods script requests ("x()", 21 bytes each) and never reads: it writes them in
// 64 KiB pieces as fast as the program takes them, then waits (without reading) until it is
// closed.
class FloodingLoopbackHost
{
public:
    explicit FloodingLoopbackHost(qint64 count)
        : m_count(count)
    {
        m_thread = std::thread([this] { flood(); });
    }
    ~FloodingLoopbackHost()
    {
        m_listener.close();
        if (m_thread.joinable())
            m_thread.join();
    }
    int port() const { return m_listener.port(); }
    static QByteArray request() { return QByteArray("\x1b]7701;script;0;eCgp\x07"); }

private:
    void flood()
    {
        const int client = m_listener.accept();
        if (client < 0)
            return;
        const QByteArray piece = request().repeated(65536 / request().size());
        const qint64 perPiece = 65536 / request().size();
        qint64 left = m_count;
        while (left > 0) {
            const QByteArray bytes = left >= perPiece ? piece : request().repeated(left);
            if (!writeAll(client, bytes))
                break;
            left -= bytes.size() / request().size();
        }
        // Never reads: waits for the program to close the link.
        char byte;
        while (recv(client, &byte, 1, MSG_PEEK) > 0 && !m_listener.isClosed())
            usleep(100000);
        close(client);
    }

    qint64 m_count;
    LoopbackListener m_listener;
    std::thread m_thread;
};

// The highest resident memory since the last resetResidentPeak() (the kernel keeps it).
qint64 residentPeak()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

void resetResidentPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

// A host that never reads and floods N script requests: the program's resident memory (the
// kernel's high-water mark over the flood) stays bounded. Goal:
// under 100 MiB for 10,000,000 requests (210 MB).
void BM_NeverReadingHost(benchmark::State &state)
{
    const qint64 count = state.range(0);
    for (auto _ : state) {
        FloodingLoopbackHost host(count);
        const QString file = dirPath(QStringLiteral("flooded.nvcf"));
        writeFile(file,
            QStringLiteral("[Norvalis]\nTermType=9\n[Connection]\nDevice=2\n"
                           "HostName=127.0.0.1\nHostPort=%1\n")
                .arg(host.port())
                .toUtf8());
        const qint64 before = residentBytes();
        resetResidentPeak();
        auto session = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(file, 0, 0, 1));
        const qint64 total = count * FloodingLoopbackHost::request().size();
        qint64 peak = 0;
        QElapsedTimer timer;
        timer.start();
        const bool done = waitFor(
            [&] { return session->Emulator()->BytesIn() >= total; }, 1800000);
        peak = residentPeak();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        state.counters["rss_before_MiB"] = double(before) / (1 << 20);
        state.counters["rss_peak_MiB"] = double(peak) / (1 << 20);
        state.counters["rss_after_MiB"] = double(residentBytes()) / (1 << 20);
        printf("never-reading host, %lld requests: resident %.1f MiB before, %.1f MiB at most, "
               "%.1f MiB after\n",
            count, double(before) / (1 << 20), double(peak) / (1 << 20),
            double(residentBytes()) / (1 << 20));
        if (!done)
            state.SkipWithError("the flood did not arrive whole");
        session->Terminate(0);
        session.reset();
        waitFor([] { return gApp->ClsSessions().Count() == 0 && !gCleanupPending; }, 30000);
    }
}
BENCHMARK(BM_NeverReadingHost)
    ->Arg(10000000)
    ->UseManualTime()
    ->Iterations(1)
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
