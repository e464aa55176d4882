// Sessions in the running program:
// - OpenClose100: the program of the build in a process of its own (offscreen, temporary
//   folders); a client opens 100 sessions over the session bus and closes them again, ten times.
//   The program's resident memory: at the start, per open session (first round), after the first
//   and after the last close (what a session leaves behind shows as growth between the two).
// - HostText100MB/ascii and /sgr_utf8: 100 MB of host text (plain lines; lines in SGR colours
//   with UTF-8 text) sent by a loopback TCP host into a visible 80x24 session window, timed until
//   the last line is on the screen. Meanwhile a client reads a property over the bus every 100 ms.
//   Reported: the rate, the frames the screen view painted per second, the longest time without
//   a frame, the slowest and the median read, and the peak resident memory during the flood. It
//   needs a display (bench/hosttext runs it under Xvfb beside the terminals it is compared with);
//   without one it is skipped.
// - LoadText: the program of the build in a process of its own; N sessions (50 and 200) linked to
//   loopback hosts that keep sending lines of text (200 a second each), while 8 clients, each on a bus connection of
//   its own, call the sessions' members in a loop (GetText, a property, WaitFor and ReadText with
//   short timeouts). The program's resident memory is sampled every 10 s for
//   NORVALIS_LOAD_SECONDS (300 unless set). Reported: memory before the sessions, per session
//   once opened, per session at the end, the history a session may hold (HistoryRows x Cols
//   cells of 8 bytes), the calls made, and the growth over the second half of the run (the
//   histories are full by then: it should be about nothing).
// Run it on a session bus (dbus-run-session; bench/hosttext does).

#include "benchprogram.h"
#include "hostlines.h"
#include "loopback.h"

#include "app/appglobals.h"
#include "app/norvalis.h"
#include "automation/remote.h"
#include "runtime/error.h"
#include "emulator/emulator.h"
#include "emulator/screenview.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

QTemporaryDir *g_dir = nullptr;
const QString BusName = QStringLiteral("NVWin32.Norvalis");
constexpr qint64 HostTextSize = 100 * 1000 * 1000;

QString dirPath(const QString &name)
{
    return g_dir->filePath(name);
}

// Resident memory of a process in MiB (VmRSS).
double residentMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

bool busNameTaken()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(BusName);
}

// --- Sessions opened and closed by a client ----------------------------------------------------

// The program of the build in a process of its own, in folders of the temporary directory.
class ProgramProcess
{
public:
    bool start()
    {
        const QString root = dirPath(QStringLiteral("program"));
        for (const char *sub : { "config", "data", "home" })
            QDir().mkpath(root + u'/' + QLatin1String(sub));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/data"));
        env.insert(QStringLiteral("NVWIN"), root + QStringLiteral("/home"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(env);
        m_process.setProgram(QStringLiteral(NORVALIS_BIN_DIR "/norvalis"));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        return m_process.waitForStarted() && waitFor(busNameTaken, 30000);
    }
    ~ProgramProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        try {
            automation::Remote(QDBusConnection::sessionBus(), BusName, QStringLiteral("/Norvalis"),
                QStringLiteral("NVWin32.Norvalis"))
                .call(QStringLiteral("Terminate"), { QVariant::fromValue(rt::Int(0)) });
        } catch (...) {
        }
        if (!m_process.waitForFinished(30000))
            m_process.kill();
    }
    double resident() const { return residentMiB(m_process.processId()); }

private:
    QProcess m_process;
};

// Rounds with the program's memory after each: 100 sessions opened over the bus, then closed.
void BM_OpenClose100(benchmark::State &state)
{
    constexpr int Sessions = 100;
    constexpr int Rounds = 10;
    ProgramProcess program;
    if (!program.start()) {
        state.SkipWithError("the program did not start (is there a session bus?)");
        return;
    }
    QStringList files;
    for (int i = 0; i < Sessions; ++i) {
        files << dirPath(QStringLiteral("s%1.nvcf").arg(i));
        writeFile(files.last(),
            QStringLiteral("[Norvalis]\nTermType=12\nSessionTitle=Session %1\n").arg(i).toUtf8());
    }
    const automation::Remote sessions(QDBusConnection::sessionBus(), BusName,
        QStringLiteral("/Norvalis/Sessions"), QStringLiteral("NVWin32.Sessions"));
    const auto count = [&] { return sessions.get(QStringLiteral("Count")).toInt(); };
    // Clean-up after a close runs from the program's timers (the last of them half a second after
    // the last session has gone): its memory is read after them, once it is still.
    const auto settled = [&] {
        QThread::msleep(1500);
        double last = program.resident();
        for (int i = 0; i < 20; ++i) {
            QThread::msleep(250);
            const double now = program.resident();
            if (std::abs(now - last) < 0.05)
                return now;
            last = now;
        }
        return last;
    };
    for (auto _ : state) {
        const double start = settled();
        double firstClose = 0;
        double lastClose = 0;
        double perSession = 0;
        QElapsedTimer timer;
        qint64 openMs = 0;
        for (int round = 0; round < Rounds; ++round) {
            timer.start();
            for (const QString &file : files)
                sessions.call(QStringLiteral("Add"), { file });
            if (round == 0) {
                openMs = timer.elapsed();
                perSession = (settled() - start) * 1024 / Sessions;
            }
            while (count() > 0)
                sessions.call(QStringLiteral("Remove"), { QVariant(0) });
            (round == 0 ? firstClose : lastClose) = settled();
        }
        state.SetIterationTime(double(openMs) / 1000);
        state.counters["open_ms"] = double(openMs);
        state.counters["rss_start_MiB"] = start;
        state.counters["per_session_KiB"] = perSession;
        state.counters["rss_first_close_MiB"] = firstClose;
        state.counters["rss_last_close_MiB"] = lastClose;
        state.counters["growth_MiB"] = lastClose - firstClose;
    }
}

// --- Sessions receiving text while clients call -------------------------------------------------

// Loopback hosts in two threads: one accepts every session that links, the other writes a line
// to each linked session every 50 ms, `lines` of them each time (NORVALIS_LOAD_LINES, 10 unless
// set; a marker line every 20th), skipping a session whose socket is full rather than waiting.
class TalkingHosts
{
public:
    explicit TalkingHosts(int lines)
    {
        m_acceptor = std::thread([this] {
            for (int fd; (fd = m_listener.accept()) >= 0;) {
                const std::lock_guard lock(m_mutex);
                m_clients.push_back(fd);
            }
        });
        m_writer = std::thread([this, lines] {
            for (int n = 0; !m_stop;) {
                QByteArray line;
                for (int i = 0; i < lines; ++i, ++n) {
                    line += n % 20 == 19
                        ? QByteArray("MARK ") + QByteArray::number(n) + "\r\n"
                        : QByteArray("line ") + QByteArray::number(n)
                            + " of the host text that keeps on coming, a little wider each time "
                            + QByteArray(n % 17, '.') + "\r\n";
                }
                {
                    const std::lock_guard lock(m_mutex);
                    for (int fd : m_clients)
                        send(fd, line.constData(), size_t(line.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
    ~TalkingHosts()
    {
        m_stop = true;
        m_listener.close();
        m_acceptor.join();
        m_writer.join();
        for (int fd : m_clients)
            ::close(fd);
    }
    int port() const { return m_listener.port(); }
    int linked() const
    {
        const std::lock_guard lock(m_mutex);
        return int(m_clients.size());
    }

private:
    LoopbackListener m_listener;
    std::atomic<bool> m_stop { false };
    mutable std::mutex m_mutex;
    std::vector<int> m_clients;
    std::thread m_acceptor;
    std::thread m_writer;
};

// Clients in threads of their own, each on a bus connection of its own, calling members of the
// sessions one after another until stopped; counts the calls and those that failed.
class CallingClients
{
public:
    CallingClients(int clients, const QStringList &sessions)
    {
        for (int c = 0; c < clients; ++c) {
            m_threads.emplace_back([this, c, sessions] {
                const QString name = QStringLiteral("client%1").arg(c);
                {
                    QDBusConnection bus
                        = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
                    run(bus, c, sessions);
                }
                QDBusConnection::disconnectFromBus(name);
            });
        }
    }
    ~CallingClients() { stop(); }
    void stop()
    {
        m_stop = true;
        for (std::thread &thread : m_threads) {
            if (thread.joinable())
                thread.join();
        }
    }
    qint64 calls() const { return m_calls; }
    qint64 failed() const { return m_failed; }

private:
    void run(const QDBusConnection &bus, int client, const QStringList &sessions)
    {
        const auto i = [](int v) { return QVariant::fromValue(rt::Int(v)); };
        for (int n = client; !m_stop; n += 7) {
            const automation::Remote session(
                bus, BusName, sessions.at(n % sessions.size()), QStringLiteral("NVWin32.Session"));
            const auto attempt = [&](const std::function<void()> &call) {
                try {
                    call();
                } catch (...) {
                    if (m_failed++ == 0)
                        std::fprintf(stderr, "  first failed call: %s\n", rt::currentError().what());
                }
                ++m_calls;
            };
            attempt([&] { session.call(QStringLiteral("GetText"), { i(0), i(n % 24), i(-1), i(0) }); });
            attempt([&] { session.get(QStringLiteral("TermType")); });
            attempt([&] { session.get(QStringLiteral("BytesIn")); });
            attempt([&] { session.call(QStringLiteral("WaitFor"), { i(0), i(1), QStringLiteral("MARK") }); });
            attempt([&] { session.call(QStringLiteral("ReadText"), { i(0), i(80), i(0) }); });
        }
    }

    std::atomic<bool> m_stop { false };
    std::atomic<qint64> m_calls { 0 };
    std::atomic<qint64> m_failed { 0 };
    std::vector<std::thread> m_threads;
};

void BM_LoadText(benchmark::State &state)
{
    const int sessionCount = int(state.range(0));
    constexpr int Clients = 8;
    const int seconds = qEnvironmentVariableIsSet("NORVALIS_LOAD_SECONDS")
        ? qEnvironmentVariableIntValue("NORVALIS_LOAD_SECONDS")
        : 300;
    ProgramProcess program;
    if (!program.start()) {
        state.SkipWithError("the program did not start (is there a session bus?)");
        return;
    }
    TalkingHosts hosts(qEnvironmentVariableIsSet("NORVALIS_LOAD_LINES")
            ? qEnvironmentVariableIntValue("NORVALIS_LOAD_LINES")
            : 10);
    QStringList files;
    for (int i = 0; i < sessionCount; ++i) {
        files << dirPath(QStringLiteral("load%1.nvcf").arg(i));
        writeFile(files.last(),
            QStringLiteral("[Norvalis]\nTermType=12\nSessionTitle=Load %1\n"
                           "[Connection]\nDevice=2\nHostName=127.0.0.1\nHostPort=%2\n")
                .arg(i)
                .arg(hosts.port())
                .toUtf8());
    }
    const automation::Remote sessions(QDBusConnection::sessionBus(), BusName,
        QStringLiteral("/Norvalis/Sessions"), QStringLiteral("NVWin32.Sessions"));
    for (auto _ : state) {
        QThread::msleep(1500);
        const double start = program.resident();
        QStringList paths;
        for (const QString &file : files)
            paths << sessions.call(QStringLiteral("Add"), { file }).value<QDBusObjectPath>().path();
        if (!waitFor([&] { return hosts.linked() >= sessionCount; }, 120000)) {
            state.SkipWithError("the sessions did not all link");
            return;
        }
        const double opened = program.resident();
        const automation::Remote first(
            QDBusConnection::sessionBus(), BusName, paths.first(), QStringLiteral("NVWin32.Session"));
        const double historyKiB = first.get(QStringLiteral("HistoryRows")).toDouble()
            * first.get(QStringLiteral("Cols")).toDouble() * 8 / 1024;
        CallingClients clients(Clients, paths);
        QElapsedTimer timer;
        timer.start();
        double half = 0;
        while (timer.elapsed() < qint64(seconds) * 1000) {
            QThread::msleep(10000);
            const double now = program.resident();
            std::fprintf(stderr, "  %3llds  %.1f MiB  %lld calls  %.0f MB in session 1\n",
                (long long)(timer.elapsed() / 1000), now, (long long)clients.calls(),
                first.get(QStringLiteral("BytesIn")).toDouble() / 1e6);
            if (half == 0 && timer.elapsed() >= qint64(seconds) * 500)
                half = now;
        }
        clients.stop();
        const double end = program.resident();
        state.SetIterationTime(double(timer.elapsed()) / 1000);
        state.counters["seconds"] = seconds;
        state.counters["rss_start_MiB"] = start;
        state.counters["opened_per_session_KiB"] = (opened - start) * 1024 / sessionCount;
        state.counters["end_per_session_KiB"] = (end - start) * 1024 / sessionCount;
        state.counters["history_max_per_session_KiB"] = historyKiB;
        state.counters["rss_end_MiB"] = end;
        state.counters["growth_second_half_MiB"] = end - half;
        state.counters["calls"] = double(clients.calls());
        state.counters["failed"] = double(clients.failed());
    }
}

// --- Host text into a visible window -----------------------------------------------------------

// Host text of about size bytes into a file, written a line at a time: plain lines of varying
// length, or lines whose words come in SGR colours and carry UTF-8 text. The last line is a
// marker.
bool writeHostText(const QString &path, qint64 size, bool sgr)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block;
    qint64 written = 0;
    for (int n = 0; written < size; ++n) {
        block += hostTextLine(n, sgr);
        if (block.size() >= 1 << 20) {
            written += file.write(block);
            block.clear();
        }
    }
    block += "END-OF-HOST-TEXT";
    return file.write(block) == block.size();
}

// A loopback host in a thread of its own: accepts one client and sends it the file, read a
// piece at a time (the text is not held in this process's memory).
class LoopbackHost
{
public:
    explicit LoopbackHost(QString path)
        : m_path(std::move(path))
    {
        m_thread = std::thread([this] {
            const int client = m_listener.accept();
            if (client < 0)
                return;
            QFile file(m_path);
            if (file.open(QIODevice::ReadOnly)) {
                while (!file.atEnd() && writeAll(client, file.read(1 << 20))) { }
            }
            // Keep the link open until the reader has taken everything.
            char byte;
            while (read(client, &byte, 1) > 0) { }
            ::close(client);
        });
    }
    ~LoopbackHost()
    {
        m_listener.close();
        if (m_thread.joinable())
            m_thread.join();
    }
    int port() const { return m_listener.port(); }

private:
    QString m_path;
    LoopbackListener m_listener;
    std::thread m_thread;
};

// A client of the program in a thread of its own: reads a property over the bus every 100 ms
// and keeps how long each read took.
class PropertyReader
{
public:
    PropertyReader()
    {
        const QString service = QDBusConnection::sessionBus().baseService();
        m_thread = std::thread([this, service] {
            QDBusConnection bus
                = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("reader"));
            QDBusMessage get = QDBusMessage::createMethodCall(service,
                QStringLiteral("/Norvalis/Sessions"),
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
            get.setArguments({ QStringLiteral("NVWin32.Sessions"), QStringLiteral("Count") });
            while (!m_stop) {
                const auto start = std::chrono::steady_clock::now();
                bus.call(get, QDBus::Block, 60000);
                const double ms = std::chrono::duration<double, std::milli>(
                    std::chrono::steady_clock::now() - start)
                                      .count();
                {
                    const std::lock_guard lock(m_mutex);
                    m_reads.push_back(ms);
                }
                std::this_thread::sleep_until(start + std::chrono::milliseconds(100));
            }
        });
    }
    ~PropertyReader() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    std::vector<double> reads() const
    {
        const std::lock_guard lock(m_mutex);
        return m_reads;
    }

private:
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    mutable std::mutex m_mutex;
    std::vector<double> m_reads;
};

// The resident memory of this process, sampled every 10 ms; the highest seen.
class PeakSampler
{
public:
    PeakSampler()
    {
        m_thread = std::thread([this] {
            while (!m_stop) {
                const double now = residentMiB(getpid());
                double peak = m_peak.load();
                while (now > peak && !m_peak.compare_exchange_weak(peak, now)) { }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~PeakSampler()
    {
        m_stop = true;
        m_thread.join();
    }
    double peak() const { return m_peak; }

private:
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<double> m_peak { 0 };
};

// The times the live screen view painted.
class FrameCounter : public QObject
{
public:
    explicit FrameCounter(QWidget *view)
    {
        view->installEventFilter(this);
        m_clock.start();
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_frames.push_back(m_clock.elapsed());
        return false;
    }
    // Frames per second and the longest time without one, from the start to until (ms).
    double perSecond(qint64 until) const
    {
        return until > 0 ? double(m_frames.size()) * 1000 / double(until) : 0;
    }
    qint64 longestStill(qint64 until) const
    {
        qint64 longest = 0;
        qint64 last = 0;
        for (qint64 at : m_frames) {
            longest = std::max(longest, at - last);
            last = at;
        }
        return std::max(longest, until - last);
    }

private:
    QElapsedTimer m_clock;
    std::vector<qint64> m_frames;
};

// The program started in this process (for the host text; the sessions' rounds run before, with
// the program of the build in its own process), with nobody to answer its questions.
bool g_started = false;
void startProgram()
{
    if (std::exchange(g_started, true))
        return;
    startProgramIn(*g_dir);
    // Session windows open maximized in the main window, which takes 80x24 cells and its bands.
    gApp->setInitChildWindowState(0);
}

void BM_HostText100MB(benchmark::State &state, bool sgr)
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        state.SkipWithError("needs a display (run bench/hosttext)");
        return;
    }
    const char *variable = sgr ? "NORVALIS_HOSTTEXT_SGR_FILE" : "NORVALIS_HOSTTEXT_FILE";
    QString path = qEnvironmentVariable(variable);
    if (path.isEmpty()) {
        path = dirPath(sgr ? QStringLiteral("sgr.txt") : QStringLiteral("ascii.txt"));
        writeHostText(path, HostTextSize, sgr);
    }
    const qint64 size = QFileInfo(path).size();
    startProgram();
    for (auto _ : state) {
        auto host = std::make_unique<LoopbackHost>(path);
        const QString file = dirPath(QStringLiteral("host.nvcf"));
        writeFile(file, QStringLiteral("[Norvalis]\nTermType=12\nSessionTitle=Bench\n"
                                       "[Connection]\nDevice=2\nHostName=127.0.0.1\nHostPort=%1\n")
                            .arg(host->port())
                            .toUtf8());
        PeakSampler memory;
        QElapsedTimer timer;
        timer.start();
        auto session = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(file, 0));
        emu::nvEmulator *control = session->Emulator();
        FrameCounter frames(control->view());
        PropertyReader reader;
        const bool done = waitFor(
            [&] {
                if (control->BytesIn() < size)
                    return false;
                for (int row = control->Rows() - 1; row >= 0; --row) {
                    if (control->GetText(0, rt::Int(row), -1).contains(
                            QLatin1String("END-OF-HOST-TEXT")))
                        return true;
                }
                return false;
            },
            600000);
        const qint64 elapsed = timer.elapsed();
        reader.stop();
        const std::vector<double> reads = reader.reads();
        state.SetIterationTime(double(elapsed) / 1000);
        state.counters["MB_per_s"] = double(size) / 1e6 / (double(elapsed) / 1000);
        state.counters["frames_per_s"] = frames.perSecond(elapsed);
        state.counters["longest_still_ms"] = double(frames.longestStill(elapsed));
        state.counters["read_max_ms"] = reads.empty() ? 0 : *std::max_element(reads.begin(), reads.end());
        state.counters["read_median_ms"] = median(reads);
        state.counters["peak_rss_MiB"] = memory.peak();
        state.counters["cols"] = control->Cols();
        state.counters["rows"] = control->Rows();
        if (!done)
            state.SkipWithError("the last line did not reach the screen");
        session->Terminate(0);
        session.reset();
        closeAllSessions();
        host.reset();
    }
}
BENCHMARK(BM_OpenClose100)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadText)
    ->Arg(50)
    ->Arg(200)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HostText100MB, ascii, false)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HostText100MB, sgr_utf8, true)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    // --write-host-text FILE [sgr]: the host text the benchmark sends, for the terminals it is
    // compared with.
    if (argc >= 3 && qstrcmp(argv[1], "--write-host-text") == 0)
        return writeHostText(QString::fromLocal8Bit(argv[2]), HostTextSize,
                   argc > 3 && qstrcmp(argv[3], "sgr") == 0)
            ? 0
            : 1;
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    runBenchmarks(argc, argv);
    if (g_started)
        endProgram();
    return 0;
}
