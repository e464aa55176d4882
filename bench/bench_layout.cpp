// Layouts in the running program:
// - RestoreLayout20: a layout of 20 session windows (a 5 x 4 grid, one of them active) loaded
//   with no session open, timed until every window is shown and the events it caused have run;
//   the goal is under 1 s. The sessions are closed again between iterations.
// - SaveLayout20: the same 20 windows written to the layout file (each session saves its own
//   file first, and each save and the layout update the recent-file list and its registry copy,
//   every registry write synced to disk).
// The program runs in temporary folders with the menu files of the build; with a display
// (DISPLAY set, e.g. under xvfb-run) the windows are really drawn.

#include "benchprogram.h"

#include "session/sessionwindow.h"

#include <QApplication>
#include <QFile>

#include <benchmark/benchmark.h>

namespace {

constexpr int Sessions = 20;
QTemporaryDir *g_dir = nullptr;

QString dirPath(const QString &name)
{
    return g_dir->filePath(name);
}

// Twenty session files and a layout that tiles them 5 x 4 in twips, the eighth one active.
QString writeLayout()
{
    QByteArray layout
        = "[Norvalis Main]\nWindowState=0\nLeft=0\nTop=0\nWidth=19200\nHeight=14400\n";
    layout += "Files=" + QByteArray::number(Sessions) + "\n";
    for (int i = 0; i < Sessions; ++i) {
        const QString file = dirPath(QStringLiteral("s%1.nvcf").arg(i));
        writeFile(file,
            QStringLiteral("[Norvalis]\nTermType=12\nSessionTitle=Session %1\n").arg(i).toUtf8());
        layout += QStringLiteral("[File%1]\nFileName=%2\nLeft=%3\nTop=%4\nWidth=3600\n"
                                 "Height=3000\n")
                      .arg(i + 1)
                      .arg(file)
                      .arg((i % 5) * 3600)
                      .arg((i / 5) * 3000)
                      .toUtf8();
        if (i == 7)
            layout += "Active=True\n";
    }
    const QString path = dirPath(QStringLiteral("twenty.nvly"));
    writeFile(path, layout);
    return path;
}

bool allShown()
{
    const QList<SessionWindow *> windows = SessionWindow::all();
    int shown = 0;
    for (const SessionWindow *window : windows)
        shown += window->form().isVisible() ? 1 : 0;
    return shown >= Sessions;
}

void BM_RestoreLayout20(benchmark::State &state)
{
    const QString layout = writeLayout();
    for (auto _ : state) {
        closeAllSessions();
        QElapsedTimer timer;
        timer.start();
        Nvmain::LoadLayout(layout);
        const bool shown = waitFor(allShown, 30000);
        // The events the new windows caused (layout, paint, activation) run too.
        QCoreApplication::processEvents();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (!shown || gApp->ClsSessions().Count() < Sessions)
            state.SkipWithError("not every window was shown");
    }
    state.counters["sessions"] = Sessions;
    closeAllSessions();
}
BENCHMARK(BM_RestoreLayout20)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_SaveLayout20(benchmark::State &state)
{
    const QString layout = writeLayout();
    closeAllSessions();
    Nvmain::LoadLayout(layout);
    waitFor([] { return allShown() && !gCleanupPending; }, 30000);
    gLayoutFile = dirPath(QStringLiteral("saved.nvly"));
    for (auto _ : state)
        Nvmain::FileSaveLayout();
    closeAllSessions();
}
BENCHMARK(BM_SaveLayout20)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    startProgramIn(dir);
    runBenchmarks(argc, argv);
    endProgram();
    return 0;
}
