#pragma once

#include "SimSpectrometer.h"
#include "core/StationState.h"
#include "spectro/Spectrometer.h"
#include "spectro/TcpSpectrometerLink.h"
#include "support/ConsoleEnvironment.h"
#include "support/TestConsole.h"

#include <gtest/gtest.h>

#include <memory>

// A console in scaled time wired to the simulated spectrometer software over the real link.
class SpectroFixture : public ::testing::Test
{
protected:
    // 2 ticks of a timed wait last 40 ms: time enough for a loopback notification.
    static constexpr double TimeScale = 0.02;

    void SetUp() override
    {
        resetStationState();
        ASSERT_TRUE(sim.start());
        StationEnvironment env = console.make(TimeScale);
        const QString address = sim.address();
        env.makeSpectrometerLink = [address] { return std::make_unique<TcpSpectrometerLink>(address); };
        window = std::make_unique<TestConsole>(env);
        spectrometer = std::make_unique<Spectrometer>(
            window->console, window->op,
            Spectrometer::ServerCalls{[this] { serverCalls << QStringLiteral("Login"); },
                                      [this] { serverCalls << QStringLiteral("ReadEnvironmentPage"); },
                                      [this] { serverCalls << QStringLiteral("SendMachineStatus"); }});
        countNotifications();
    }

    void TearDown() override
    {
        spectrometer.reset();
        window.reset();
        sim.stop();
    }

    // Opens the conversation the way a connection attempt does, without the health check.
    void openLink()
    {
        QString error;
        ASSERT_TRUE(window->console.link()->openConversation(QStringLiteral("OPUS|System"), 100, &error))
            << error.toStdString();
        window->console.link()->setReplyTimeout(50);
    }

    // Sends a command and lets the event loop serve its notification.
    void sendAndServe(const QString& command)
    {
        ASSERT_TRUE(spectrometer->SendSpectrometerCommand(command))
            << spectrometer->lastSendError().toStdString();
        const int before = notifications;
        ASSERT_TRUE(waitUntil([&] { return notifications > before; }, 3000));
    }

    void countNotifications()
    {
        QObject::connect(window->console.link(), &SpectrometerLink::notified, &window->model,
                         [this] { ++notifications; });
    }

    QString linkText() const { return window->model.ddeLink->text(); }

    ConsoleEnvironment console;
    SimSpectrometer sim;
    std::unique_ptr<TestConsole> window;
    std::unique_ptr<Spectrometer> spectrometer;
    QStringList serverCalls;
    int notifications = 0;
};
