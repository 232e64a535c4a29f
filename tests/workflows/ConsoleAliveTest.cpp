#include "WorkflowBench.h"

#include "app/Station.h"
#include "core/BlockingCall.h"
#include "core/SpectrometerLink.h"
#include "spectro/Spectrometer.h"

#include <QElapsedTimer>

namespace {

class ConsoleAliveTest : public WorkflowBench
{
};

TEST_F(ConsoleAliveTest, TitleShowsTheRegistrationScanByScanAndTheCaptionAfter)
{
    selectMode(true, w().Rough1);
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes)
        .expect("Have you moved the stone physically ?", "Arm Moving Outside", Yes);
    QStringList titles;
    QObject::connect(&w(), &ConsoleModel::captionChanged, &w(),
                     [&](const QString& title) { titles << title; });

    scanStoneId(QStringLiteral("LOT123-05#7-2"));

    ASSERT_EQ(driver->pending(), 0);
    QStringList expected{"VELORA - Registration - stone LOT123-7.2"};
    for (int k = 1; k <= 8; ++k)
        expected << QStringLiteral("VELORA - Registration - stone LOT123-7.2 - scan %1 of 8").arg(k);
    expected << "VELORA ";
    EXPECT_TRUE(appearInOrder(titles, expected));
    EXPECT_EQ(w().caption(), "VELORA ");
    EXPECT_EQ(requestsTo("/diamond/submitMainFiles").size(), 1u);
}

TEST_F(ConsoleAliveTest, NothingOfTheStationRunsInsideASlowRequest)
{
    SimFault slow;
    slow.delayMs = 5000;
    bench->server().setFault("/getServerStatus", slow);

    // Every station timer, the link's notifications and the console's message lines, counted by
    // whether a call was in flight when they ran.
    int inCall = 0;
    int outside = 0;
    auto count = [&] { ++(BlockingCall::inFlight() ? inCall : outside); };
    StationConsole& c = console();
    for (StationTimer* t : {c.Timer1, c.Timer2, c.Timer3, c.Timer4, c.Timer5, c.Timer7, c.Timer8})
        QObject::connect(t, &StationTimer::timeout, &w(), count);
    int notifications = 0;
    QObject::connect(console().link(), &SpectrometerLink::notified, &w(), [&] {
        ++notifications;
        count();
    });
    QObject::connect(&w(), &ConsoleModel::msg1Changed, &w(), count);
    // The wait tick runs at 1 ms in this scaled time: thousands of ticks would fall into 5 s.
    console().Timer4->setInterval(1000);
    console().Timer4->setEnabled(true);

    // A command whose notification arrives while the request is in flight.
    ASSERT_TRUE(bench->station().spectrometer().SendSpectrometerCommand(QStringLiteral("REQUEST_MODE")));
    const int before = outside;
    QElapsedTimer took;
    took.start();
    emit w().Command15->clicked();
    EXPECT_GE(took.elapsed(), 4900);
    EXPECT_EQ(inCall, 0);
    EXPECT_EQ(outside, before) << "nothing ran between the request's return and this line";
    EXPECT_EQ(w().msgText(), "Response: {\"status\":\"UP\"}");

    // The held notification and ticks come once the request has returned.
    EXPECT_EQ(notifications, 0);
    EXPECT_TRUE(SimBench::pumpUntil([&] { return notifications == 1; }, 2000));
    EXPECT_GT(outside, before);
    EXPECT_EQ(inCall, 0);
    console().Timer4->setEnabled(false);
}

} // namespace
