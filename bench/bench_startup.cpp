// Time from nothing to a visible console, against a minimal Qt Widgets program that shows one empty
// window, both in this process on the same platform plugin.
#include "ui/Frmgrading.h"
#include "workflows/Station.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

namespace {

void MinimalWindowToVisible(benchmark::State& state)
{
    for (auto _ : state) {
        QWidget window;
        window.resize(533, 353);
        window.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(window.isVisible());
    }
}
BENCHMARK(MinimalWindowToVisible)->Unit(benchmark::kMillisecond);

void StationConsoleToVisible(benchmark::State& state)
{
    QTemporaryDir folder;
    for (auto _ : state) {
        StationEnvironment env;
        env.programFolder = folder.path();
        env.resolveSerialPort = [](int) { return QString(); };
        env.timeScale = 1;
        Station station(env);
        station.start();
        QCoreApplication::processEvents();
        if (!station.window().isVisible())
            state.SkipWithError("console not visible");
        // Leave without the unload procedure's message box.
        station.window().Timer7->setEnabled(false);
    }
}
BENCHMARK(StationConsoleToVisible)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
