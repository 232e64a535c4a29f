// Registration upload costs: building the body from a typical data point file, and a whole upload
// to the simulated server on loopback next to the curl command-line tool posting the same body.
#include "SimServer.h"
#include "server/HttpRequest.h"
#include "server/RequestBodies.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// About 3600 lines, 100 kB: wavenumber and absorbance, comma-separated, CR LF.
QByteArray typicalDataPoints()
{
    QByteArray table;
    for (int i = 0; i < 3600; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%.6f,%.12f\r\n", 4000.0 - i * 0.96435, 0.1 + (i % 97) * 0.00123);
        table.append(line);
    }
    return table;
}

const RequestBodies::Station station{"VEL-07", "2.4.1", "8.8.4"};

void BM_BuildRegistrationBody(benchmark::State& state)
{
    const QByteArray points = typicalDataPoints();
    for (auto _ : state) {
        QByteArray body = RequestBodies::registrationScan(station, "VL000001-3-01-ROUGH.dpt", points);
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * points.size());
    state.counters["fileBytes"] = double(points.size());
}
BENCHMARK(BM_BuildRegistrationBody);

void BM_MemcpySameBytes(benchmark::State& state)
{
    const QByteArray points = typicalDataPoints();
    std::vector<char> target(size_t(points.size()));
    for (auto _ : state) {
        std::memcpy(target.data(), points.constData(), size_t(points.size()));
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * points.size());
}
BENCHMARK(BM_MemcpySameBytes);

struct UploadSetup
{
    SimServer server;
    QTemporaryDir folder;
    QString dataFile;
    QString bodyFile;
    QString url;

    UploadSetup()
    {
        server.setRequireAuth(false);
        server.start(0);
        url = QString::fromStdString(server.baseUrl()) + "/diamond/UploadDiaMain";
        const QByteArray points = typicalDataPoints();
        dataFile = folder.filePath("VL000001-3-01-ROUGH.dpt");
        QFile data(dataFile);
        data.open(QIODevice::WriteOnly);
        data.write(points);
        bodyFile = folder.filePath("body.json");
        QFile body(bodyFile);
        body.open(QIODevice::WriteOnly);
        body.write(RequestBodies::registrationScan(station, "VL000001-3-01-ROUGH.dpt", points));
    }
};

UploadSetup& uploadSetup()
{
    static UploadSetup setup;
    return setup;
}

// What one registration upload does: read the file, build the body, a fresh request object.
void BM_UploadToSimServer(benchmark::State& state)
{
    UploadSetup& setup = uploadSetup();
    for (auto _ : state) {
        QFile file(setup.dataFile);
        file.open(QIODevice::ReadOnly);
        const QByteArray body =
            RequestBodies::registrationScan(station, "VL000001-3-01-ROUGH.dpt", file.readAll());
        HttpRequest request;
        const HttpReply reply = request.send(
            "POST", setup.url, {{"Authorization", "Bearer x"}, {"Content-Type", "application/json"}}, body);
        if (!reply.completed || reply.status != 201)
            state.SkipWithError("upload failed");
    }
}
BENCHMARK(BM_UploadToSimServer)->Iterations(300)->Unit(benchmark::kMillisecond);

void BM_CurlToolToSimServer(benchmark::State& state)
{
    UploadSetup& setup = uploadSetup();
    const QByteArray command = "curl -s -o /dev/null -w '' -X POST -H 'Authorization: Bearer x' "
                               "-H 'Content-Type: application/json' --data-binary @" +
                               setup.bodyFile.toLocal8Bit() + " " + setup.url.toLocal8Bit();
    for (auto _ : state) {
        if (std::system(command.constData()) != 0)
            state.SkipWithError("curl failed");
    }
}
BENCHMARK(BM_CurlToolToSimServer)->Iterations(300)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
