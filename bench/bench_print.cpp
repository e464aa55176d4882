// A text job of the printer object on the PDF printer: 100 pages of 60 lines each (a host listing
// sent to the printer), written whole to the PDF file at EndDoc; the time per job and the pages per
// second. A second figure measures the drawing alone, with the job thrown away (AbortDoc).
//
// The host's print floods through the terminal control, with no printer (PDF files into a scratch
// folder): a burst of print controller jobs in one read (3000 VT jobs, 1000 Wyse 50 jobs), with
// the PDF files it made; and one job of 200,000 form feeds (a page of one character each), with
// the time the control is busy with it (the program's event loop waits that long), the PDF file's
// size and the process's peak memory.

#include "emulator/emulator.h"
#include "emulator/emusettings.h"
#include "print/spooler.h"
#include "printing/nvprinter.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cups/cups.h>
#include <sys/resource.h>

namespace {

constexpr int Pages = 100;
constexpr int LinesPerPage = 60;

QTemporaryDir *gScratch = nullptr;

QString line(int n)
{
    return QStringLiteral("%1  The quick brown fox jumps over the lazy dog 0123456789 ABCDEFGHIJ")
        .arg(n, 5);
}

void printJob(nvPrinter &printer)
{
    printer.SelectFont(QStringLiteral("Courier New"), 10, false, false);
    for (int page = 0; page < Pages; ++page) {
        for (int i = 0; i < LinesPerPage; ++i)
            printer.NVPrint(line(page * LinesPerPage + i), 3);
        printer.NVPrint(QString(), 4);
    }
}

void BM_TextJobToPdf(benchmark::State &state, bool end)
{
    const QString file = gScratch->filePath(QStringLiteral("bench.pdf"));
    print::addPdfPrinter(print::pdfPrinter(QStringLiteral("Bench"), file));
    for (auto _ : state) {
        nvPrinter printer;
        printer.setDeviceName(QStringLiteral("Bench"));
        printJob(printer);
        end ? printer.EndDoc() : printer.AbortDoc();
    }
    state.counters["pages/s"] = benchmark::Counter(
        double(Pages) * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_TextJobToPdf, EndDoc, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_TextJobToPdf, AbortDoc, false)->Unit(benchmark::kMillisecond)->UseRealTime();

// A control of the terminal type that prints into folder (no printer of that name).
void setUpControl(emu::nvEmulator &control, int termType, const QString &folder)
{
    emu::Settings &settings = *control.Settings();
    settings.setTermType(rt::Int(termType));
    settings.setPrinterName(QStringLiteral("nowhere"));
    settings.setDefaultCaptureDir(folder);
}

QFileInfoList printed(const QString &folder)
{
    return QDir(folder).entryInfoList({ QStringLiteral("norvalis-print-*") }, QDir::Files);
}

void BM_HostJobBurst(benchmark::State &state, int termType, const char *job)
{
    const int jobs = int(state.range(0));
    const QByteArray burst = QByteArray(job).repeated(jobs);
    qsizetype files = 0;
    for (auto _ : state) {
        QTemporaryDir folder;
        emu::nvEmulator control;
        setUpControl(control, termType, folder.path());
        control.feedHostData(burst);
        files += printed(folder.path()).size();
    }
    state.counters["jobs"] = jobs;
    state.counters["PDFs"] = double(files) / double(state.iterations());
}

BENCHMARK_CAPTURE(BM_HostJobBurst, VT, 12, "\x1b[5ijob\x1b[4i")
    ->Arg(3000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_HostJobBurst, Wyse50, 5, "\x18job\x14")
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_HostFormFeedJob(benchmark::State &state)
{
    const QByteArray job = "\x1b[5i" + QByteArray("x\f").repeated(state.range(0)) + "\x1b[4i";
    qint64 bytes = 0;
    for (auto _ : state) {
        QTemporaryDir folder;
        emu::nvEmulator control;
        setUpControl(control, 12, folder.path());
        control.feedHostData(job);
        for (const QFileInfo &file : printed(folder.path()))
            bytes += file.size();
    }
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["PDF_MB"] = double(bytes) / double(state.iterations()) / 1e6;
    state.counters["peak_MB"] = double(usage.ru_maxrss) / 1024.0;
}

BENCHMARK(BM_HostFormFeedJob)->Arg(200000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QTemporaryDir scratch;
    gScratch = &scratch;
    // The PDF printer alone: no print service is asked.
    const QByteArray nowhere = QFile::encodeName(scratch.filePath(QStringLiteral("no.sock")));
    qputenv("CUPS_SERVER", nowhere);
    cupsSetServer(nowhere.constData());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
