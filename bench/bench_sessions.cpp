// Sessions in the running program:
// - OpenClose100: 100 sessions opened from session files and closed again (total time, and the
//   heap and resident memory each open session takes with the default history);
// - HostText100MB: 100 MB of host text sent by a loopback TCP host into a visible 80x24 session
//   window, timed until the last line is on the screen. It needs a display (bench/hosttext runs
//   it under Xvfb beside xterm and Konsole); without one it is skipped.
// The program runs in temporary folders with the menu files of the build.

#include "benchprogram.h"
#include "loopback.h"

#include "app/appglobals.h"
#include "app/files.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "emulator/emulator.h"
#include "session/mdichild.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

QTemporaryDir *g_dir = nullptr;

QString dirPath(const QString &name)
{
    return g_dir->filePath(name);
}

// Resident memory of the process in KiB.
double residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / 1024;
}

void BM_OpenClose100(benchmark::State &state)
{
    constexpr int Sessions = 100;
    for (int i = 0; i < Sessions; ++i)
        writeFile(dirPath(QStringLiteral("s%1.nvcf").arg(i)),
            QStringLiteral("[Norvalis]\nTermType=12\nSessionTitle=Session %1\n").arg(i).toUtf8());
    for (auto _ : state) {
        malloc_trim(0);
        const size_t heapBefore = mallinfo2().uordblks;
        const double rssBefore = residentKiB();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < Sessions; ++i)
            gApp->ClsSessions().Add(dirPath(QStringLiteral("s%1.nvcf").arg(i)));
        waitFor([] { return !gCleanupPending; }, 10000);
        const qint64 opened = timer.elapsed();
        const size_t heapOpen = mallinfo2().uordblks;
        const double rssOpen = residentKiB();
        closeAllSessions();
        state.SetIterationTime(double(timer.elapsed()) / 1000);
        state.counters["open_ms"] = double(opened);
        state.counters["heap_per_session_KiB"]
            = double(heapOpen - heapBefore) / 1024 / Sessions;
        state.counters["rss_per_session_KiB"] = (rssOpen - rssBefore) / Sessions;
    }
}
BENCHMARK(BM_OpenClose100)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// 100 MB of host text: lines of varying length, the last one a marker.
QByteArray hostText(qsizetype size)
{
    QByteArray text;
    text.reserve(size + 64);
    const QByteArray words("The quick brown fox jumps over the lazy dog 0123456789 ");
    int n = 0;
    while (text.size() < size) {
        const int len = 20 + (n * 37) % 58;
        QByteArray line;
        while (line.size() < len)
            line += words;
        line.truncate(len);
        text += line + "\r\n";
        ++n;
    }
    text += "END-OF-HOST-TEXT";
    return text;
}

// A loopback host in a thread of its own: accepts one client and sends it everything.
class LoopbackHost
{
public:
    explicit LoopbackHost(QByteArray data)
        : m_data(std::move(data))
    {
        m_thread = std::thread([this] {
            const int client = m_listener.accept();
            if (client < 0)
                return;
            writeAll(client, m_data);
            // Keep the link open until the reader has taken everything.
            char byte;
            while (read(client, &byte, 1) > 0) { }
            close(client);
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
    QByteArray m_data;
    LoopbackListener m_listener;
    std::thread m_thread;
};

void BM_HostText100MB(benchmark::State &state)
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        state.SkipWithError("needs a display (run bench/hosttext)");
        return;
    }
    QByteArray text;
    if (const QString given = qEnvironmentVariable("NORVALIS_HOSTTEXT_FILE"); !given.isEmpty()) {
        QFile file(given);
        if (file.open(QIODevice::ReadOnly))
            text = file.readAll();
    }
    if (text.isEmpty())
        text = hostText(100 * 1024 * 1024);
    for (auto _ : state) {
        auto host = std::make_unique<LoopbackHost>(text);
        const QString file = dirPath(QStringLiteral("host.nvcf"));
        writeFile(file, QStringLiteral("[Norvalis]\nTermType=12\nSessionTitle=Bench\n"
                                       "[Connection]\nDevice=2\nHostName=127.0.0.1\nHostPort=%1\n")
                            .arg(host->port())
                            .toUtf8());
        QElapsedTimer timer;
        timer.start();
        auto session = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(file, 0));
        emu::nvEmulator *control = session->Emulator();
        const bool done = waitFor(
            [&] {
                if (control->BytesIn() < text.size())
                    return false;
                for (int row = control->Rows() - 1; row >= 0; --row) {
                    if (control->GetText(0, rt::Int(row), -1).contains(
                            QLatin1String("END-OF-HOST-TEXT")))
                        return true;
                }
                return false;
            },
            600000);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        state.counters["MB_per_s"] = double(text.size()) / 1e6 / seconds;
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
BENCHMARK(BM_HostText100MB)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// The program started in the temporary folders, with nobody to answer its questions.
void startProgram()
{
    startProgramIn(*g_dir);
    // Session windows open maximized in the main window, which takes 80x24 cells and its bands.
    gApp->setInitChildWindowState(0);
}

} // namespace

int main(int argc, char **argv)
{
    // --write-host-text FILE: the host text the benchmark sends, for the terminals it is
    // compared with.
    if (argc == 3 && qstrcmp(argv[1], "--write-host-text") == 0) {
        QFile file(QString::fromLocal8Bit(argv[2]));
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                && file.write(hostText(100 * 1024 * 1024)) > 0
            ? 0
            : 1;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    startProgram();
    runBenchmarks(argc, argv);
    endProgram();
    return 0;
}
