#include "WineBridge.h"

#include "SimSpectrometer.h"
#include "spectro/TcpSpectrometerLink.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <vector>

namespace {

struct Timing
{
    double medianMs = 0;
    double p95Ms = 0;
};

// REQUEST round trips through the station's own link class; false when one failed.
bool measure(const QString& address, int count, Timing* timing)
{
    TcpSpectrometerLink link(address);
    QString error;
    if (!link.openConversation(QStringLiteral("OPUS|System"), 100, &error)) {
        ADD_FAILURE() << error.toStdString();
        return false;
    }
    link.setReplyTimeout(50);
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        QByteArray value;
        QElapsedTimer timer;
        timer.start();
        if (!link.request(QStringLiteral("READ_PARAMETER PKA"), &value, &error) ||
            value != "OK0.43829581\r\n") {
            ADD_FAILURE() << "request " << i << ": " << error.toStdString() << value.toStdString();
            return false;
        }
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    timing->medianMs = ms[ms.size() / 2];
    timing->p95Ms = ms[ms.size() * 95 / 100];
    return true;
}

TEST(RoundTripTest, RequestThroughBridgeBesideTheSimulatedSoftware)
{
    const QString reason = WineBridge::unavailableReason();
    if (!reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    constexpr int Count = 500;

    SimSpectrometer simulated;
    ASSERT_TRUE(simulated.start());
    Timing direct;
    ASSERT_TRUE(measure(simulated.address(), Count, &direct));

    WineBridge wine;
    ASSERT_TRUE(wine.startDouble()) << wine.error().toStdString();
    ASSERT_TRUE(wine.startBridge()) << wine.error().toStdString();
    Timing bridged;
    ASSERT_TRUE(measure(wine.address(), Count, &bridged));

    std::cout << "[ figures  ] REQUEST round trip over " << Count << " requests, median / 95th percentile:\n"
              << "[ figures  ]   simulated software (TCP):      " << direct.medianMs << " / " << direct.p95Ms
              << " ms\n"
              << "[ figures  ]   bridge + DDE double under Wine: " << bridged.medianMs << " / "
              << bridged.p95Ms << " ms\n";
    RecordProperty("simulated_median_us", int(direct.medianMs * 1000));
    RecordProperty("bridge_median_us", int(bridged.medianMs * 1000));
    // Far from the station's shortest reply time-out even on a loaded machine.
    EXPECT_LT(bridged.medianMs, 50.0);
}

} // namespace
