#include "SpectroTestSupport.h"

#include <QTcpSocket>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// What one command costs the station: send it and serve its notification (request, reply fields,
// Msg1), against the bare exchange with the simulator (ADVISE, NOTIFY, REQUEST) on a raw socket.
TEST_F(SpectroFixture, CommandRoundTripAgainstTheSimulatorsOwn)
{
    constexpr int Rounds = 200;
    openLink();
    std::vector<double> station;
    QElapsedTimer clock;
    for (int i = 0; i < Rounds; ++i) {
        clock.start();
        sendAndServe(QStringLiteral("DIAG_STATUS"));
        station.push_back(clock.nsecsElapsed() / 1000.0);
    }

    QTcpSocket raw;
    raw.connectToHost(QStringLiteral("127.0.0.1"), sim.port());
    ASSERT_TRUE(raw.waitForConnected(2000));
    raw.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    auto readUntil = [&](const QByteArray& end, QByteArray& buffer) {
        while (!buffer.contains(end))
            if (!raw.waitForReadyRead(2000))
                return false;
            else
                buffer += raw.readAll();
        return true;
    };
    QByteArray buffer;
    raw.write("CONNECT OPUS|System\n");
    ASSERT_TRUE(readUntil("OK\n", buffer));
    std::vector<double> bare;
    for (int i = 0; i < Rounds; ++i) {
        buffer.clear();
        clock.start();
        raw.write("ADVISE DIAG_STATUS\n");
        ASSERT_TRUE(readUntil("NOTIFY DIAG_STATUS\n", buffer));
        raw.write("REQUEST DIAG_STATUS\n");
        ASSERT_TRUE(readUntil("OK0         \r\n", buffer));
        bare.push_back(clock.nsecsElapsed() / 1000.0);
    }
    const double stationUs = median(station);
    const double bareUs = median(bare);
    std::printf(
        "[ timing ] station send+serve median %.0f us, simulator round trip median %.0f us (%d rounds)\n",
        stationUs, bareUs, Rounds);
    RecordProperty("station_us", int(stationUs));
    RecordProperty("simulator_us", int(bareUs));
    // Far below a timed-wait tick (1 s), so a reply is always served inside the wait after its send.
    EXPECT_LT(stationUs, 50000.0);
}

} // namespace
