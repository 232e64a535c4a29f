// The station's own time per scan of a registration: the processor time of the station's thread
// across whole rough registrations on the simulated bench, divided by the scans. The simulated peers
// run on threads of their own and the scaled waits sleep, so neither is counted; what remains is the
// console, the command building, the link and HTTP client work, the file handling and the backup.
#include "bench/DialogDriver.h"
#include "bench/SimBench.h"

#include "SimController.h"
#include "SimServer.h"
#include "SimSpectrometer.h"
#include "ui/Frmgrading.h"
#include "app/Station.h"
#include "workflows/StoneWorkflows.h"

#include "core/StationState.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

constexpr int kRoughScans = 8;

void runRoughRegistrations(benchmark::State& state, int compression)
{
    // Time compressed 1000 or 100 times: the processor time should not depend on it much, since
    // the waits sleep; what differs is the timer wake-ups inside the waits.
    SimBench::Options options;
    options.timeScale = 1.0 / static_cast<double>(compression);
    SimBench bench(options);
    if (!bench.start()) {
        state.SkipWithError(bench.error().toStdString().c_str());
        return;
    }
    DialogDriver driver(false); // no system box is expected; its poll would cost the thread time
    driver.setUnexpectedAnswer(DialogDriver::Yes); // placed, move inside, turned over
    Frmgrading& w = bench.window();
    emit w.Register->clicked();
    emit w.Rough1->clicked();
    if (!stationState().BackgroundDone) {
        state.SkipWithError("no background");
        return;
    }

    double wallMs = 0;
    int stone = 0;
    for (auto _ : state) {
        bench.clearRecords();
        w.Text8->setText(QStringLiteral("LOT%1-01#1-1").arg(++stone));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QElapsedTimer wall;
        wall.start();
        const double cpu = threadCpuSeconds();
        QCoreApplication::sendEvent(w.Text8, &enter);
        state.SetIterationTime((threadCpuSeconds() - cpu) / kRoughScans);
        wallMs += static_cast<double>(wall.elapsed());
        if (bench.server().requestsTo("/diamond/submitMainFiles").size() != 1) {
            state.SkipWithError("the registration did not complete");
            return;
        }
    }
    state.counters["wall_ms_per_registration"] =
        benchmark::Counter(wallMs / static_cast<double>(state.iterations()));
    state.counters["scans"] = kRoughScans;
}
void RoughRegistrationStationTimePerScan_Scale1000(benchmark::State& state)
{
    runRoughRegistrations(state, 1000);
}
BENCHMARK(RoughRegistrationStationTimePerScan_Scale1000)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

void RoughRegistrationStationTimePerScan_Scale100(benchmark::State& state)
{
    runRoughRegistrations(state, 100);
}
BENCHMARK(RoughRegistrationStationTimePerScan_Scale100)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
