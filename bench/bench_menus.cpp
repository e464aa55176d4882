// Menu benchmarks: loading the default session menu, and switching the active menu between two
// session menus drawn on a main window (what every activation of a session window costs), with
// and without painting the window afterwards.

#include "app/lockupdate.h"
#include "menus/menus.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QTemporaryDir *gScratch = nullptr;

// dfltsess.mnu beside the program (NORVALIS_BIN_DIR, or the build's bin folder); when it is not
// built, one made here from the menu text in the sources.
QString sessionMenuFile()
{
    QString bin = qEnvironmentVariable("NORVALIS_BIN_DIR");
    if (bin.isEmpty())
        bin = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../bin"));
    const QString built = QDir(bin).filePath(QStringLiteral("dfltsess.mnu"));
    if (QFile::exists(built))
        return built;

    QFile source(QFileInfo(QStringLiteral(__FILE__))
                     .dir()
                     .filePath(QStringLiteral("../resources/menus/session.txt")));
    if (!source.open(QIODevice::ReadOnly))
        return QString();
    QStringList rows;
    for (const QString &line : QString::fromUtf8(source.readAll()).split(u'\n')) {
        if (!line.isEmpty() && !line.startsWith(u'#'))
            rows << line;
    }
    bar::ActiveBar control;
    clsMenu menu(&control);
    menu.setMenuText(rows.join(QStringLiteral("\r\n")));
    const QString made = gScratch->filePath(QStringLiteral("dfltsess.mnu"));
    menu.Save(made);
    return made;
}

void BM_LoadSessionMenu(benchmark::State &state)
{
    const QString file = sessionMenuFile();
    bar::ActiveBar control;
    clsMenu menu(&control);
    menu.setMenuNo(1);
    for (auto _ : state)
        menu.Load(file);
    state.counters["tools"] = [&] {
        int tools = 0;
        for (const MnuBandPtr &band : menu.NewEnum())
            tools += band->Count();
        return double(tools);
    }();
}
BENCHMARK(BM_LoadSessionMenu)->Unit(benchmark::kMicrosecond);

void BM_SwitchActiveMenu(benchmark::State &state)
{
    QMainWindow window;
    window.setCentralWidget(new QPlainTextEdit);
    window.resize(900, 600);
    bar::ActiveBar control;
    control.attach(&window);
    modLockUpdate::SetWindow(&window);
    {
        const QString file = sessionMenuFile();
        Menus menus(&control);
        menus.AddNew(1)->Load(file);
        menus.AddNew(2)->Load(file);
        window.show();
        QCoreApplication::processEvents();
        menus.setActiveMenu(1);
        menus.setActiveMenu(2); // both drawn once: what follows is the steady state
        rt::Long next = 1;
        // With range 1 the window is painted after each switch, as the event loop would.
        const bool paint = state.range(0) != 0;
        for (auto _ : state) {
            menus.setActiveMenu(next);
            next = 3 - next;
            if (paint)
                window.repaint();
        }
    }
    modLockUpdate::SetWindow(nullptr);
}
BENCHMARK(BM_SwitchActiveMenu)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The offscreen platform's notes on what it cannot do would drown the figures.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QTemporaryDir scratch;
    gScratch = &scratch;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
