// Settings stores: one key read from and written to a 5,000-key INI file, and one value read
// from and written to the settings store. Every file lives in a temporary folder.

#include "inifile/inifile.h"
#include "registry/registry.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int Sections = 50;
constexpr int KeysPerSection = 100;
const QString Section = QStringLiteral("Section25");
const QString Key = QStringLiteral("Key050");
const QString RegKey = QStringLiteral("Software\\Dremo\\Nvwin2k\\ChildWindowState");

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

QByteArray bigIniText()
{
    QByteArray text;
    for (int s = 0; s < Sections; ++s) {
        text += "[Section" + QByteArray::number(s) + "]\r\n";
        for (int k = 0; k < KeysPerSection; ++k)
            text += QStringLiteral("Key%1=Value of key %2 in section %3\r\n")
                        .arg(k, 3, 10, QLatin1Char('0'))
                        .arg(k)
                        .arg(s)
                        .toUtf8();
        text += "\r\n";
    }
    return text;
}

QString bigIni()
{
    const QString path = workDir().filePath(QStringLiteral("big.ini"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bigIniText());
    return path;
}

void useTemporaryStore()
{
    registry::setStoreFile(
        registry::Root::CurrentUser, workDir().filePath(QStringLiteral("user.registry")));
    for (int i = 0; i < 200; ++i)
        registry::setValue(registry::Root::CurrentUser,
            QStringLiteral("Software\\Dremo\\Nvwin2k\\Setting%1").arg(i), QString::number(i));
    registry::setValue(registry::Root::CurrentUser, RegKey, QStringLiteral("2"));
}

void BM_IniReadKey(benchmark::State &state)
{
    const QString path = bigIni();
    for (auto _ : state)
        benchmark::DoNotOptimize(inifile::readString(path, Section, Key));
}
BENCHMARK(BM_IniReadKey)->Unit(benchmark::kMicrosecond);

// The first read after someone else changed the file: the whole file is parsed again.
void BM_IniReadKeyUncached(benchmark::State &state)
{
    const QString path = bigIni();
    const QByteArray text = bigIniText();
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text + QByteArray(++n % 2, ' '));
        file.close();
        state.ResumeTiming();
        benchmark::DoNotOptimize(inifile::readString(path, Section, Key));
    }
}
BENCHMARK(BM_IniReadKeyUncached)->Unit(benchmark::kMicrosecond);

void BM_IniWriteKey(benchmark::State &state)
{
    const QString path = bigIni();
    int n = 0;
    for (auto _ : state)
        inifile::writeString(path, Section, Key, QString::number(++n));
}
BENCHMARK(BM_IniWriteKey)->Unit(benchmark::kMicrosecond);

void BM_RegistryRead(benchmark::State &state)
{
    useTemporaryStore();
    for (auto _ : state)
        benchmark::DoNotOptimize(registry::value(registry::Root::CurrentUser, RegKey));
}
BENCHMARK(BM_RegistryRead)->Unit(benchmark::kMicrosecond);

void BM_RegistryWrite(benchmark::State &state)
{
    useTemporaryStore();
    int n = 0;
    for (auto _ : state)
        registry::setValue(registry::Root::CurrentUser, RegKey, QString::number(++n % 3));
}
BENCHMARK(BM_RegistryWrite)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
