// A text job of the printer object on the PDF printer: 100 pages of 60 lines each (a host listing
// sent to the printer), written whole to the PDF file at EndDoc; the time per job and the pages per
// second. A second figure measures the drawing alone, with the job thrown away (AbortDoc).

#include "print/spooler.h"
#include "printing/nvprinter.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cups/cups.h>

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
