// Time from nothing to a visible console, against a minimal Qt Widgets program that shows one empty
// window, both in this process on the same platform plugin; and time from a program's start to its
// first painted window, the station's start-up window against a bare Qt window, each in a process
// of its own (this program started again with --first-window bare|station).
#include "ui/Frmgrading.h"
#include "ui/StartupSplash.h"
#include "app/Station.h"
#include "core/StationConsole.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
        station.console().Timer7->setEnabled(false);
    }
}
BENCHMARK(StationConsoleToVisible)->Unit(benchmark::kMillisecond);

// In the started process: says "visible" on stdout when its first window is painted, then ends.
class FirstPaint : public QObject
{
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            std::fputs("visible\n", stdout);
            std::fflush(stdout);
            std::_Exit(0);
        }
        return false;
    }
};

int runFirstWindow(int argc, char** argv, const char* kind)
{
    QApplication app(argc, argv);
    FirstPaint probe;
    if (std::strcmp(kind, "station") == 0) {
        // As the station's main() starts.
        StartupSplash splash;
        splash.installEventFilter(&probe);
        splash.showNow();
        return app.exec();
    }
    QWidget window;
    window.resize(533, 353);
    window.installEventFilter(&probe);
    window.show();
    return app.exec();
}

void ProcessToFirstWindow(benchmark::State& state, const char* kind)
{
    const QString self = QCoreApplication::applicationFilePath();
    for (auto _ : state) {
        QProcess child;
        QElapsedTimer took;
        took.start();
        child.start(self, {QStringLiteral("--first-window"), QLatin1String(kind)});
        if (!child.waitForReadyRead(10000) || !child.readAll().startsWith("visible")) {
            state.SkipWithError("no window painted");
            break;
        }
        state.SetIterationTime(double(took.nsecsElapsed()) / 1e9);
        child.waitForFinished(5000);
    }
}
BENCHMARK_CAPTURE(ProcessToFirstWindow, bare_qt_window, "bare")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProcessToFirstWindow, station_startup_window, "station")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--first-window") == 0)
        return runFirstWindow(argc, argv, argv[2]);
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
