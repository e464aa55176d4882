// Throughput of host text into the terminal (the screen alone, and the whole host-data path of
// the control) for the plain TTY, the VT100 and every other terminal type, and the cost of one control: construction time and
// the memory it takes with the default history.
//
// End to end, channelRate: a peer on loopback (socat for raw TCP, the system's telnetd, sshd)
// cats a 100 MB file of text lines, some of them beyond ASCII, to a shown control (VT100). The
// time runs from the first byte that arrives to the last line on the screen. A channel whose peer
// cannot run here is skipped with the reason.
//
// telnetNegotiationFlood: a Telnet host on loopback that never reads sends 200 MB of
// negotiation (terminal-type requests, NAWS asked on and off, an option we refuse) and then a
// line; the program's resident memory before, after and at its peak.

#include "hostlines.h"

#include "emulator/emulator.h"
#include "emulator/screen.h"
#include "platform/localpeers.h"

#include <QApplication>
#include <QString>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>

#include "common/bursthost.h"

#include <benchmark/benchmark.h>
#include <functional>
#include <malloc.h>
#include <sys/socket.h>

namespace {

constexpr int Tty = 0;
constexpr int ViewpointA2 = 1;
constexpr int Viewpoint60 = 2;
constexpr int ProcommVp60 = 3;
constexpr int ViewpointEnhanced = 4;
constexpr int Wyse50 = 5;
constexpr int Wyse60 = 6;
constexpr int Vt52 = 7;
constexpr int PcMonitor = 10;
constexpr int Tek4014 = 11;
constexpr int Vt100 = 12;
constexpr int Tek4100 = 17;

// 64 KiB of printable lines of varying length, ending in CR LF, like a listing from a host.
QByteArray plainText()
{
    QByteArray text;
    const QByteArray words("The quick brown fox jumps over the lazy dog 0123456789 ");
    int n = 0;
    while (text.size() < 64 * 1024) {
        const int len = 20 + (n * 37) % 58;
        QByteArray line;
        while (line.size() < len)
            line += words;
        line.truncate(len);
        text += line + "\r\n";
        ++n;
    }
    return text;
}

// 64 KiB of what a host floods a session with: plain listing lines, or lines of words each in
// its own SGR colours with a character beyond ASCII after every word (as the end-to-end
// benchmark's host text).
QByteArray hostText(bool sgr)
{
    QByteArray text;
    for (int n = 0; text.size() < 64 * 1024; ++n)
        text += hostTextLine(n, sgr);
    return text;
}

QByteArray plainHostText()
{
    return hostText(false);
}

QByteArray colouredHostText()
{
    return hostText(true);
}

// Feeds the text to `sink` once per iteration and counts the bytes.
void measure(benchmark::State &state, const std::function<void(const QByteArray &)> &sink,
    QByteArray (*make)() = plainText)
{
    const QByteArray text = make();
    for (auto _ : state)
        sink(text);
    state.SetBytesProcessed(qint64(state.iterations()) * text.size());
}

void feedScreen(benchmark::State &state, int termType)
{
    emu::Screen screen(24, 80, 500);
    screen.setTerminalType(termType);
    measure(state, [&screen](const QByteArray &text) {
        screen.feed(text);
        // A view takes the damage once per frame; taking it per chunk is the worst case.
        benchmark::DoNotOptimize(screen.takeDamage());
    });
}

// Coloured text as ls --color and compilers write it: every word in its own colour and weight,
// the look reset after it (64 KiB, a sequence every few characters).
void feedScreenColoured(benchmark::State &state)
{
    QByteArray text;
    const char *words[] = { "main.cpp", "build", "src", "README", "error:", "warning:", "ok" };
    int n = 0;
    while (text.size() < 64 * 1024) {
        for (int w = 0; w < 6; ++w, ++n) {
            text += "\x1b[" + QByteArray::number(n % 2) + ';' + QByteArray::number(31 + n % 7)
                + 'm' + words[n % 7] + "\x1b[0m ";
        }
        text += "\r\n";
    }
    emu::Screen screen(24, 80, 500);
    screen.setTerminalType(Vt100);
    for (auto _ : state) {
        screen.feed(text);
        benchmark::DoNotOptimize(screen.takeDamage());
    }
    state.SetBytesProcessed(qint64(state.iterations()) * text.size());
}
BENCHMARK(feedScreenColoured);

BENCHMARK_CAPTURE(feedScreen, Tty, Tty);
BENCHMARK_CAPTURE(feedScreen, Vt100, Vt100);
BENCHMARK_CAPTURE(feedScreen, ViewpointA2, ViewpointA2);
BENCHMARK_CAPTURE(feedScreen, Viewpoint60, Viewpoint60);
BENCHMARK_CAPTURE(feedScreen, ProcommVp60, ProcommVp60);
BENCHMARK_CAPTURE(feedScreen, ViewpointEnhanced, ViewpointEnhanced);
BENCHMARK_CAPTURE(feedScreen, Wyse50, Wyse50);
BENCHMARK_CAPTURE(feedScreen, Wyse60, Wyse60);
BENCHMARK_CAPTURE(feedScreen, Vt52, Vt52);
BENCHMARK_CAPTURE(feedScreen, PcMonitor, PcMonitor);
BENCHMARK_CAPTURE(feedScreen, Tek4014, Tek4014);
BENCHMARK_CAPTURE(feedScreen, Tek4100, Tek4100);

// --- Hostile host input ---------------------------------------------------------------------
// What a hostile host sends to make each byte cost the most: per terminal type the inputs that
// reach its costly paths (line feeds on the bottom row, a flood of ESC that starts sequences,
// whole-screen clears, text on a protected screen, repeats and column changes). feedHostile gives
// the rate of each at 80x24; the slowest input of a type is its worst case.

struct HostileInput
{
    const char *name;
    QByteArray unit; // repeated to 64 KiB
    QByteArray prefix = {}; // sent once before (not counted)
};

struct HostileType
{
    const char *name;
    int termType;
    std::vector<HostileInput> inputs;
};

// The screen but its last cell written while write-protect is on (`on`/`off` the type's own
// sequences), every cell or every other one.
QByteArray protectedScreen(const QByteArray &on, const QByteArray &off, int cells, bool everyOther)
{
    QByteArray text = on;
    for (int i = 0; i < cells - 1; ++i) {
        if (everyOther)
            text += i % 2 ? off + 'u' + on : QByteArray("P");
        else
            text += 'P';
    }
    return text + off;
}

// A byte of every value, in a scrambled order.
QByteArray everyByte()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes += char((i * 167 + 13) & 0xFF);
    return bytes;
}

std::vector<HostileInput> commonHostile()
{
    return {
        { "Text", plainText() },
        { "LineFeeds", "\n" },
        { "CrLf", "x\r\n" },
        { "Escapes", "\x1b" },
        { "EveryByte", everyByte() },
    };
}

std::vector<HostileType> hostileTypes(int rows, int cols)
{
    const int cells = rows * cols;
    auto with = [](std::vector<HostileInput> more) {
        std::vector<HostileInput> inputs = commonHostile();
        inputs.insert(inputs.end(), more.begin(), more.end());
        return inputs;
    };
    // Wyse: ESC , fills the screen with protected blanks.
    const QByteArray wyseProtect = "\x1b,\x1b&";
    const QByteArray viewpointProtect = protectedScreen("\x1b)", "\x1b(", cells, false) + "\x1b&";
    const QByteArray wyseHalf = protectedScreen("\x1b)", "\x1b(", cells, true) + "\x1b&";
    const std::vector<HostileInput> wyse = {
        { "Clears", "\x1b*" },
        { "TextClears", "x\x1b*" },
        { "Protected", "x", wyseProtect },
        { "HalfProtected", "x", wyseHalf },
        { "ProtectedClears", "x\x1b+", wyseHalf },
        { "ProtectedLineFeeds", "x\n", wyseHalf },
    };
    const std::vector<HostileInput> viewpoint60 = {
        { "Clears", "\x0c" },
        { "TextClears", "x\x0c" },
        { "Protected", "x", viewpointProtect },
        { "HalfProtected", "x", wyseHalf },
        { "ProtectedClears", "x\x1b+", wyseHalf },
    };
    const std::vector<HostileInput> viewpoint = { { "Clears", "\x0c" }, { "TextClears", "x\x0c" } };
    const std::vector<HostileInput> vt52 = { { "Clears", "\x1bH\x1bJ" },
        { "TextClears", "x\x1bH\x1bJ" }, { "Addresses", "\x1bY  x" } };
    const std::vector<HostileInput> pick = { { "Clears", "\x0c" }, { "TextClears", "x\x0c" },
        { "Csi", "\x1b[1;1H\x1b[2J" } };
    const std::vector<HostileInput> tek = { { "Clears", "\x1b\x0c" }, { "TextClears", "x\x1b\x0c" } };
    const std::vector<HostileInput> vt = { { "Clears", "\x1b[2J" }, { "TextClears", "x\x1b[2J" },
        { "Aligns", "\x1b#8" }, { "Repeats", "x\x1b[65535b" },
        { "ScrollRegion", "\x1b[2;23r\x1b[23H\n\n\n" }, { "Columns", "\x1b[?3h\x1b[?3l" } };
    return {
        { "Tty", Tty, with({ { "FormFeeds", "\x0c" } }) },
        { "Vt100", Vt100, with(vt) },
        { "ViewpointA2", ViewpointA2, with(viewpoint) },
        { "Viewpoint60", Viewpoint60, with(viewpoint60) },
        { "ViewpointEnhanced", ViewpointEnhanced, with(viewpoint) },
        { "Wyse50", Wyse50, with(wyse) },
        { "Wyse60", Wyse60, with(wyse) },
        { "Vt52", Vt52, with(vt52) },
        { "PcMonitor", PcMonitor, with(pick) },
        { "Tek4014", Tek4014, with(tek) },
        { "Tek4100", Tek4100, with(tek) },
    };
}

QByteArray repeatedTo(const QByteArray &unit, qsizetype size)
{
    QByteArray text;
    text.reserve(size + unit.size());
    while (text.size() < size)
        text += unit;
    return text;
}

void feedHostile(benchmark::State &state, int termType, const HostileInput &input)
{
    const QByteArray text = repeatedTo(input.unit, 64 * 1024);
    emu::Screen screen(24, 80, 500);
    screen.setTerminalType(termType);
    screen.feed(input.prefix);
    for (auto _ : state) {
        screen.feed(text);
        benchmark::DoNotOptimize(screen.takeDamage());
    }
    state.SetBytesProcessed(qint64(state.iterations()) * text.size());
}

// The longest turn of the event loop while a hostile input arrives over a raw TCP link at a
// control of 255x255 (132 columns wide): a timer due every millisecond notes the longest gap
// between its runs, which is how long a D-Bus read or a key waited at worst. 1 MiB of the input
// (or what arrives in 10 s) per run.
void longestTurn(benchmark::State &state, int termType, const HostileInput &input)
{
    const QByteArray burst = input.prefix + repeatedTo(input.unit, 1024 * 1024);
    qint64 longest = 0;
    qint64 bytes = 0;
    for (auto _ : state) {
        BurstHost host(burst);
        const QString port = host.listen();
        emu::nvEmulator control;
        emu::Settings *settings = control.Settings();
        settings->setTermType(rt::Int(termType));
        settings->setNormRows(255);
        settings->setNormCols(255);
        settings->setExtRows(255);
        settings->setExtCols(132);
        settings->setHostName(QStringLiteral("127.0.0.1"));
        settings->setHostPort(port);
        settings->setDevice(emu::device::Tcp);
        control.Reset(2);
        QElapsedTimer clock;
        clock.start();
        while (control.Connected() == 0 && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (control.Connected() == 0) {
            state.SkipWithError("the control did not connect");
            return;
        }
        QEventLoop loop;
        QElapsedTimer last;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
            longest = std::max(longest, last.restart());
            if ((control.BytesIn() >= burst.size() && !control.screen()->behind())
                || clock.elapsed() > 10000)
                loop.exit(0);
        });
        host.go();
        clock.start();
        last.start();
        ticker.start(1);
        loop.exec();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        bytes += control.BytesIn();
    }
    state.counters["longest_turn_ms"] = double(longest);
    state.SetBytesProcessed(bytes);
}

void registerHostile()
{
    for (const HostileType &type : hostileTypes(24, 80)) {
        for (const HostileInput &input : type.inputs) {
            const std::string name
                = std::string("feedHostile/") + type.name + '/' + input.name;
            benchmark::RegisterBenchmark(name.c_str(), feedHostile, type.termType, input);
        }
    }
    for (const HostileType &type : hostileTypes(255, 255)) {
        for (const HostileInput &input : type.inputs) {
            const std::string name
                = std::string("longestTurn/") + type.name + '/' + input.name;
            benchmark::RegisterBenchmark(name.c_str(), longestTurn, type.termType, input)
                ->UseManualTime()
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
        }
    }
}

// Vectors for the Tektronix 4014: 64 KiB of packed addresses in graph mode (a polyline over the
// whole screen), the screen erased before each pass as a plotting program does.
void plotTek4014(benchmark::State &state)
{
    emu::Screen screen(24, 80, 0);
    screen.setTerminalType(Tek4014);
    QByteArray plot = "\x1b\x0c\x1d";
    for (int i = 0; plot.size() < 64 * 1024; ++i) {
        const int x = (i * 7) % 1024;
        const int y = (i * 13) % 780;
        plot += char(0x20 | (y >> 5));
        plot += char(0x60 | (y & 31));
        plot += char(0x20 | (x >> 5));
        plot += char(0x40 | (x & 31));
    }
    for (auto _ : state) {
        screen.feed(plot);
        benchmark::DoNotOptimize(screen.takeDamage());
    }
    state.SetBytesProcessed(qint64(state.iterations()) * plot.size());
}
BENCHMARK(plotTek4014);

// The control's whole path for host data, in chunks as a socket brings them; the repaint timer
// would run between chunks in the program, here only the damage is gathered.
void feedControl(benchmark::State &state, int termType, QByteArray (*make)() = plainText,
    qsizetype chunk = 4096)
{
    emu::nvEmulator control;
    control.Settings()->setTermType(rt::Int(termType));
    measure(
        state,
        [&control, chunk](const QByteArray &text) {
            for (qsizetype at = 0; at < text.size(); at += chunk)
                control.feedHostData(text.mid(at, chunk));
        },
        make);
}

// A flood as the channel brings it: whole 64 KiB reads of host text into a VT100.
BENCHMARK_CAPTURE(feedControl, HostTextPlain, Vt100, plainHostText, 64 * 1024);
BENCHMARK_CAPTURE(feedControl, HostTextColoured, Vt100, colouredHostText, 64 * 1024);

BENCHMARK_CAPTURE(feedControl, Tty, Tty);
BENCHMARK_CAPTURE(feedControl, Vt100, Vt100);
BENCHMARK_CAPTURE(feedControl, ViewpointA2, ViewpointA2);
BENCHMARK_CAPTURE(feedControl, Viewpoint60, Viewpoint60);
BENCHMARK_CAPTURE(feedControl, ProcommVp60, ProcommVp60);
BENCHMARK_CAPTURE(feedControl, ViewpointEnhanced, ViewpointEnhanced);
BENCHMARK_CAPTURE(feedControl, Wyse50, Wyse50);
BENCHMARK_CAPTURE(feedControl, Wyse60, Wyse60);
BENCHMARK_CAPTURE(feedControl, Vt52, Vt52);
BENCHMARK_CAPTURE(feedControl, PcMonitor, PcMonitor);
BENCHMARK_CAPTURE(feedControl, Tek4014, Tek4014);
BENCHMARK_CAPTURE(feedControl, Tek4100, Tek4100);

void BM_ConstructControl(benchmark::State &state)
{
    delete new emu::nvEmulator; // fonts and shared tables are loaded once per process
    for (auto _ : state) {
        auto *control = new emu::nvEmulator;
        benchmark::DoNotOptimize(control);
        state.PauseTiming();
        delete control;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ConstructControl)->Unit(benchmark::kMicrosecond);

// Heap bytes of one control: just built, and with its history full (the default HistoryRows).
void BM_ControlMemory(benchmark::State &state)
{
    delete new emu::nvEmulator;
    const QByteArray text = plainText();
    for (auto _ : state) {
        malloc_trim(0);
        const size_t before = mallinfo2().uordblks;
        auto *control = new emu::nvEmulator;
        const size_t built = mallinfo2().uordblks;
        const int historyRows = control->Settings()->HistoryRows();
        while (control->screen()->historyCount() < historyRows)
            control->feedHostData(text);
        const size_t full = mallinfo2().uordblks;
        state.counters["built_KiB"] = double(built - before) / 1024;
        state.counters["full_history_KiB"] = double(full - before) / 1024;
        state.counters["history_rows"] = historyRows;
        delete control;
    }
}
BENCHMARK(BM_ControlMemory)->Iterations(3);

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

// A field of /proc/self/status (VmRSS, VmHWM) in MiB.
double statusMiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return -1;
}

void telnetNegotiationFlood(benchmark::State &state)
{
    constexpr int floodMiB = 200;
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost)) {
        state.SkipWithError("no loopback port");
        return;
    }
    const int small = 64 * 1024;
    ::setsockopt(int(server.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    const auto iac = [](std::initializer_list<unsigned char> bytes) {
        QByteArray out;
        for (unsigned char b : bytes)
            out += char(b);
        return out;
    };
    // IAC SB TTYPE SEND IAC SE, IAC DO NAWS, IAC DONT NAWS, IAC DO 99
    const QByteArray unit = iac({ 255, 250, 24, 1, 255, 240, 255, 253, 31, 255, 254, 31, 255, 253, 99 });
    const QByteArray chunk = unit.repeated(1024 * 1024 / unit.size());
    for (auto _ : state) {
        emu::nvEmulator control;
        control.Settings()->setTermType(Vt100);
        control.Settings()->setDevice(emu::device::Telnet);
        control.Settings()->setHostName(QStringLiteral("127.0.0.1"));
        control.Settings()->setHostPort(QString::number(server.serverPort()));
        control.show();
        malloc_trim(0);
        const double before = statusMiB("VmRSS");
        control.Reset(2);
        if (!QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 10000)) {
            state.SkipWithError("the control did not connect");
            return;
        }
        QTcpSocket *peer = server.nextPendingConnection();
        peer->setReadBufferSize(4096); // and never read
        QEventLoop loop;
        int sent = 0;
        // The host writes as fast as the control reads, holding little itself.
        const auto more = [&] {
            while (sent < floodMiB && peer->bytesToWrite() < chunk.size()) {
                peer->write(chunk);
                ++sent;
            }
            if (sent == floodMiB) {
                peer->write("\r\nthe end\r\n");
                ++sent;
            }
        };
        QObject::connect(peer, &QTcpSocket::bytesWritten, &loop, more);
        QObject::connect(&control, &emu::nvEmulator::DataReady, &loop, [&] {
            if (showsTheEnd(control))
                loop.exit(0);
        });
        QTimer::singleShot(600000, &loop, [&loop] { loop.exit(1); });
        more();
        if (loop.exec() != 0) {
            state.SkipWithError("the end of the flood did not reach the screen");
            return;
        }
        state.counters["flood_MB"] = floodMiB * 1.048576;
        state.counters["rss_before_MiB"] = before;
        state.counters["rss_after_MiB"] = statusMiB("VmRSS");
        state.counters["rss_peak_MiB"] = statusMiB("VmHWM");
        delete peer;
    }
}
BENCHMARK(telnetNegotiationFlood)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    registerHostile();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
