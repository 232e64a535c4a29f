#include "MotionTestSupport.h"

#include <QFileInfo>
#include <QPlainTextEdit>

#include <algorithm>

namespace {

using ControllerLink = LiveStage;

TEST_F(ControllerLink, Timer2DrainsTheControllersChatter)
{
    openPort();
    w->console.Timer2->setEnabled(false);
    stage->Command1_Click();
    stage->Command6_Click();
    // Without the drain the replies wait in the port.
    ASSERT_TRUE(pumpUntil([&] { return w->console.MSComm1->bytesAvailable() >= 8; }, 2000));
    w->console.Timer2->setEnabled(true);
    EXPECT_TRUE(pumpUntil([&] { return w->console.MSComm1->bytesAvailable() == 0; }, 200));
    // Later chatter (the report when the axes stop) is drained as well.
    const auto sent = sim.bytesSent();
    stage->Command2_Click();
    ASSERT_TRUE(pumpUntil([&] { return sim.bytesSent() > sent + 4; }, 2000));
    pumpFor(50);
    EXPECT_EQ(w->console.MSComm1->bytesAvailable(), 0);
}

TEST_F(ControllerLink, HandleInput1TakesEverythingWaitingAndChangesNothing)
{
    openPort();
    stage->Command1_Click();
    ASSERT_TRUE(pumpUntil([&] { return w->console.MSComm1->bytesAvailable() >= 4; }, 2000));
    w->model.setMsg(QStringLiteral("unchanged"));
    const StageRow row = StageRow::of(*w);

    QString text = QStringLiteral("previous");
    stage->HandleInput1(text);
    EXPECT_TRUE(text.startsWith(QStringLiteral("OK\r\n"))) << text.toStdString();
    EXPECT_EQ(w->console.MSComm1->bytesAvailable(), 0);

    pumpFor(20);
    text = QStringLiteral("previous");
    sim.setSilent(true);
    stage->HandleInput1(text);
    stage->HandleInput1(text);
    EXPECT_TRUE(text.isEmpty()) << text.toStdString();
    EXPECT_EQ(w->model.msgText(), QStringLiteral("unchanged"));
    EXPECT_EQ(StageRow::of(*w), row);
    stage->MSComm1_OnComm();
    EXPECT_EQ(w->model.msgText(), QStringLiteral("unchanged"));
}

// A controller that floods the line neither grows the station's buffer nor stalls its event loop,
// and commands still get through.
TEST_F(ControllerLink, FloodIsBoundedAndDoesNotHang)
{
    openPort();
    w->console.Timer2->setEnabled(false);
    sim.setFlood(true);
    qint64 largest = 0;
    const auto watch = [&] { largest = std::max(largest, w->console.MSComm1->bytesAvailable()); };
    pumpUntil(
        [&] {
            watch();
            return false;
        },
        100);
    EXPECT_GT(largest, 0);
    EXPECT_LE(largest, StageControl::kReceiveBufferBytes);

    w->console.Timer2->setEnabled(true);
    const auto sentBefore = sim.bytesSent();
    int ticks = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
    heartbeat.start(2);
    pumpUntil(
        [&] {
            watch();
            return false;
        },
        200);
    EXPECT_GT(ticks, 20);
    EXPECT_GT(sim.bytesSent() - sentBefore, 4 * StageControl::kReceiveBufferBytes);
    EXPECT_LE(largest, StageControl::kReceiveBufferBytes);

    EXPECT_TRUE(w->op.TimedWait(5));
    EXPECT_EQ(received([&] { stage->Command1_Click(); }, 1), QStringList{QStringLiteral("XF50")});
    sim.setFlood(false);
}

TEST_F(ControllerLink, WritesOnAClosedPortFailWithoutHarm)
{
    EXPECT_FALSE(w->console.MSComm1->isOpen());
    EXPECT_FALSE(stage->writeCommand(QStringLiteral("I")));
    stage->Command1_Click();
    stage->Command2_Click();
    // The stage operations go on as if the command went out.
    stage->Command18_Click();
    EXPECT_EQ(StageRow::of(*w), kRowInside);
    EXPECT_EQ(w->model.msgText(), QStringLiteral("Moving Inside...Stage should be Inside"));
    QString text = QStringLiteral("previous");
    stage->HandleInput1(text);
    EXPECT_TRUE(text.isEmpty());
    stage->Timer2_Timer();

    openPort();
    w->console.MSComm1->close();
    EXPECT_FALSE(stage->writeCommand(QStringLiteral("XF50")));
    pumpFor(30);
    EXPECT_TRUE(sim.commands().empty());
}

TEST_F(ControllerLink, WriteCommandRefusesAMoveWithoutCount)
{
    openPort();
    EXPECT_FALSE(stage->writeCommand(QStringLiteral("XF")));
    EXPECT_EQ(w->model.msgText(), QStringLiteral("Count out of range - command not sent: XF"));
    EXPECT_TRUE(stage->writeCommand(QStringLiteral("XF") + StageControl::countOf(w->model.Text1)));
    ASSERT_TRUE(sim.waitForCommands(1, 2000));
    pumpFor(30);
    EXPECT_EQ(sim.commandTexts(), QStringList{QStringLiteral("XF50")});
    EXPECT_TRUE(sim.rejectedTexts().isEmpty());
}

// Unplugging the controller closes the port promptly, so the watchdog ends the program.
TEST_F(ControllerLink, UnpluggedControllerIsFoundByTheWatchdog)
{
    openPort();
    w->console.Timer2->setEnabled(true);
    const QString device = sim.devicePath();
    sim.unplug();
    EXPECT_FALSE(QFileInfo::exists(device));
    EXPECT_TRUE(pumpUntil([&] { return !w->console.MSComm1->isOpen(); }, 100));
    w->console.CheckControllerPort();
    EXPECT_EQ(w->op.boxTitles(), QStringList{QStringLiteral("Controller ERROR")});
    EXPECT_EQ(terminations, QList<int>{1});
    EXPECT_TRUE(w->console.hasEnded());
}

TEST_F(ControllerLink, UnpluggedControllerIsFoundByTheNextWrite)
{
    openPort();
    sim.unplug();
    // No event loop ran since the unplugging: the write itself meets the dead line.
    stage->Command1_Click();
    EXPECT_TRUE(pumpUntil([&] { return !w->console.MSComm1->isOpen(); }, 100));
    EXPECT_FALSE(stage->writeCommand(QStringLiteral("XF50")));
}

TEST_F(ControllerLink, UnpluggedDuringInitialisationTheProgramEnds)
{
    openPort();
    QObject::connect(w->model.Msg, &ConsoleControl::changed, &w->model, [&] {
        if (sim.isPlugged() && w->model.msgText().contains(QStringLiteral("  5...")))
            sim.unplug();
    });
    stage->Command4_Click();
    EXPECT_FALSE(w->console.MSComm1->isOpen());
    EXPECT_EQ(sim.commandTexts(), QStringList{QStringLiteral("I")});
    EXPECT_EQ(StageRow::of(*w), kRowInitialised);
    EXPECT_EQ(connects, 1);
    w->console.Timer1->setEnabled(true);
    EXPECT_TRUE(pumpUntil([&] { return w->console.hasEnded(); }, 2000));
    EXPECT_EQ(terminations, QList<int>{1});
    EXPECT_EQ(w->op.boxTitles(), QStringList{QStringLiteral("Controller ERROR")});
}

// The watchdog ends the program in the middle of the initialisation (its tick runs nested in the
// wait): nothing after the wait runs.
TEST_F(ControllerLink, ProgramEndingDuringInitialisationStopsIt)
{
    openPort();
    QObject::connect(w->model.Msg, &ConsoleControl::changed, &w->model, [&] {
        const QString text = w->model.msgText();
        if (sim.isPlugged() && text.contains(QStringLiteral("  2...")))
            sim.unplug();
        if (!w->console.MSComm1->isOpen() && text.contains(QStringLiteral("  8...")))
            w->console.CheckControllerPort();
    });
    stage->Command4_Click();
    EXPECT_TRUE(w->console.hasEnded());
    EXPECT_EQ(terminations, QList<int>{1});
    EXPECT_EQ(connects, 0);
    EXPECT_NE(w->model.msgText(), QStringLiteral("Initialization Done !!!"));
    EXPECT_FALSE(stage->isInitialising());
}

} // namespace
