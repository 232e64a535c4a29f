#include "core/BlockingCall.h"
#include "core/Clock.h"
#include "core/StationTimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Records the keys it receives and whether a call was in flight then.
class KeyRecorder : public QObject
{
public:
    QList<int> keys;
    int duringCall = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress)
            return QObject::event(e);
        keys << static_cast<QKeyEvent*>(e)->key();
        if (BlockingCall::inFlight())
            ++duringCall;
        return true;
    }
};

void pumpFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Holds a call for ms of real time, polling like the request loops do; during runs on each poll.
void holdCall(int ms, const std::function<void()>& during = {})
{
    BlockingCall call(QStringLiteral("Waiting for the test"));
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (during)
            during();
        call.pump();
    }
}

TEST(BlockingCallTest, StationTimerTicksAreHeldAndDeliveredOnceAfterTheCall)
{
    Clock clock(1.0);
    StationTimer timer(clock, 10, true);
    int ticks = 0;
    int ticksDuringCall = 0;
    QObject::connect(&timer, &StationTimer::timeout, [&] {
        ++ticks;
        if (BlockingCall::inFlight())
            ++ticksDuringCall;
    });
    pumpFor(60);
    EXPECT_GT(ticks, 0) << "the timer ticks outside a call";

    ticks = 0;
    holdCall(200);
    EXPECT_EQ(ticks, 0);
    // The held tick comes first, once, then the timer goes on at its pace.
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 1);
    pumpFor(60);
    EXPECT_GT(ticks, 1);
    EXPECT_EQ(ticksDuringCall, 0);
}

TEST(BlockingCallTest, StoppedTimerDropsItsHeldTick)
{
    Clock clock(1.0);
    StationTimer timer(clock, 10, true);
    int ticks = 0;
    QObject::connect(&timer, &StationTimer::timeout, [&] { ++ticks; });
    holdCall(100);
    // Stopped before the held tick was delivered (as a sequence stopping its timer would).
    timer.setEnabled(false);
    pumpFor(50);
    EXPECT_EQ(ticks, 0);
}

TEST(BlockingCallTest, WorkWaitsForTheCallAndKeepsItsOrder)
{
    QObject context;
    QStringList done;
    BlockingCall::whenFree(&context, [&] { done << "first"; });
    int duringCall = 0;
    holdCall(50, [&] {
        static bool posted = false;
        if (!posted) {
            posted = true;
            BlockingCall::whenFree(&context, [&] { done << "second"; });
        }
        duringCall += done.size();
    });
    EXPECT_EQ(duringCall, 0);
    EXPECT_TRUE(done.isEmpty());
    BlockingCall::whenFree(&context, [&] { done << "third"; });
    pumpFor(20);
    EXPECT_EQ(done, QStringList({"first", "second", "third"}));
}

TEST(BlockingCallTest, WorkForAContextGoneMeanwhileIsDropped)
{
    auto context = std::make_unique<QObject>();
    bool ran = false;
    {
        BlockingCall call(QStringLiteral("Waiting for the test"));
        BlockingCall::whenFree(context.get(), [&] { ran = true; });
        call.pump();
        context.reset();
    }
    pumpFor(20);
    EXPECT_FALSE(ran);
}

TEST(BlockingCallTest, PostedKeysReachTheirReceiverAfterTheCallInOrder)
{
    KeyRecorder recorder;
    holdCall(80, [&] {
        static int sent = 0;
        if (sent < 2)
            QCoreApplication::postEvent(
                &recorder, new QKeyEvent(QEvent::KeyPress, sent++ ? Qt::Key_B : Qt::Key_A, Qt::NoModifier));
    });
    EXPECT_TRUE(recorder.keys.isEmpty());
    pumpFor(20);
    EXPECT_EQ(recorder.keys, QList<int>({Qt::Key_A, Qt::Key_B}));
    EXPECT_EQ(recorder.duringCall, 0);
}

TEST(BlockingCallTest, MonitorReportsTheWaitBySecondsAndItsEnd)
{
    QStringList reports;
    int finished = 0;
    QObject guard;
    QObject::connect(
        &BlockingCall::monitor(), &BlockingCallMonitor::waiting, &guard,
        [&](const QString& what, int seconds) { reports << QStringLiteral("%1 %2").arg(what).arg(seconds); });
    QObject::connect(&BlockingCall::monitor(), &BlockingCallMonitor::finished, &guard, [&] { ++finished; });
    holdCall(2100);
    EXPECT_EQ(reports,
              QStringList({"Waiting for the test 0", "Waiting for the test 1", "Waiting for the test 2"}));
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(BlockingCall::inFlight());
}

} // namespace
