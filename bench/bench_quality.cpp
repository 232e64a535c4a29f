// One spectrum check of a simulated 4000-400 cm-1 data point file at 2 cm-1 spacing, beside just
// reading the file: the bytes alone, and the bytes parsed into points (what any use of the file
// costs). The check reads and parses too, then compares the scan with three earlier ones.
#include "SimSpectrometer.h"
#include "quality/DataPointFile.h"
#include "quality/SpectrumCheck.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// Every other line of the simulator's 1 cm-1 table: 1801 points, CR LF.
QByteArray tableAt2cm(int scan)
{
    const QList<QByteArray> lines = SimSpectrometer::spectrumFor(QStringLiteral("BENCH"), scan).split('\n');
    QByteArray table;
    for (qsizetype i = 0; i < lines.size(); i += 2)
        if (!lines[i].isEmpty())
            table += lines[i] + '\n';
    return table;
}

struct Files
{
    Files()
    {
        QFile file(dir.filePath(QStringLiteral("BENCH-104-ROUGH.dpt")));
        file.open(QIODevice::WriteOnly);
        file.write(tableAt2cm(3));
        path = file.fileName();
        for (int scan = 0; scan < 3; ++scan) {
            const QByteArray t = tableAt2cm(scan);
            earlier.push_back(ScanFeatures::of(
                parseDataPoints(std::string_view(t.constData(), size_t(t.size()))).spectrum));
        }
    }
    QTemporaryDir dir;
    QString path;
    std::vector<ScanFeatures> earlier;
};

Files& files()
{
    static Files f;
    return f;
}

void ReadBytes(benchmark::State& state)
{
    for (auto _ : state) {
        QFile file(files().path);
        file.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(file.readAll());
    }
}

void ReadDataPointFile(benchmark::State& state)
{
    for (auto _ : state) {
        const DataPointReading reading = readDataPointFile(files().path);
        benchmark::DoNotOptimize(reading.spectrum.absorbance.data());
        if (reading.spectrum.size() != 1801)
            state.SkipWithError("not 1801 points");
    }
}

void CheckDataPointFile(benchmark::State& state)
{
    const SpectrumLimits limits;
    for (auto _ : state) {
        const SpectrumVerdict verdict = checkDataPointFile(files().path, limits, files().earlier);
        if (!verdict.passed() || !verdict.figures.similarity)
            state.SkipWithError("the good scan did not pass, or was not compared");
        benchmark::DoNotOptimize(verdict.figures.noise);
    }
}

} // namespace

BENCHMARK(ReadBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadDataPointFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(CheckDataPointFile)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
