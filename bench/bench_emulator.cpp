// Throughput of host text into the terminal (the screen alone, and the whole host-data path of
// the control) for the plain TTY and VT100, and the cost of one control: construction time and
// the memory it takes with the default history.

#include "emulator/emulator.h"
#include "emulator/screen.h"

#include <QApplication>

#include <benchmark/benchmark.h>
#include <functional>
#include <malloc.h>

namespace {

constexpr int Tty = 0;
constexpr int Vt100 = 12;

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

// Feeds the text to `sink` once per iteration and counts the bytes.
void measure(benchmark::State &state, const std::function<void(const QByteArray &)> &sink)
{
    const QByteArray text = plainText();
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

BENCHMARK_CAPTURE(feedScreen, Tty, Tty);
BENCHMARK_CAPTURE(feedScreen, Vt100, Vt100);

// The control's whole path for host data, in chunks as a socket brings them; the repaint timer
// would run between chunks in the program, here only the damage is gathered.
void feedControl(benchmark::State &state, int termType)
{
    emu::nvEmulator control;
    control.Settings()->setTermType(rt::Int(termType));
    measure(state, [&control](const QByteArray &text) {
        for (qsizetype at = 0; at < text.size(); at += 4096)
            control.feedHostData(text.mid(at, 4096));
    });
}

BENCHMARK_CAPTURE(feedControl, Tty, Tty);
BENCHMARK_CAPTURE(feedControl, Vt100, Vt100);

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
