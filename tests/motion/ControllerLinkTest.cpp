#include "MotionTestSupport.h"

#include <QFileInfo>
#include <QPlainTextEdit>

#include <algorithm>

namespace {

using ControllerLink = LiveStage;

TEST_F(ControllerLink, Timer2DrainsTheControllersChatter)
{
    openPort();
    w->Timer2->setEnabled(false);
    stage->Command1_Click();
    stage->Command6_Click();
    // Without the drain the replies wait in the port.
    ASSERT_TRUE(pumpUntil([&] { return w->MSComm1->bytesAvailable() >= 8; }, 2000));
    w->Timer2->setEnabled(true);
    EXPECT_TRUE(pumpUntil([&] { return w->MSComm1->bytesAvailable() == 0; }, 200));
    // Later chatter (the report when the axes stop) is drained as well.
    const auto sent = sim.bytesSent();
    stage->Command2_Click();
    ASSERT_TRUE(pumpUntil([&] { return sim.bytesSent() > sent + 4; }, 2000));
    pumpFor(50);
    EXPECT_EQ(w->MSComm1->bytesAvailable(), 0);
}

TEST_F(ControllerLink, HandleInput1TakesEverythingWaitingAndChangesNothing)
{
    openPort();
    stage->Command1_Click();
    ASSERT_TRUE(pumpUntil([&] { return w->MSComm1->bytesAvailable() >= 4; }, 2000));
    w->setMsg(QStringLiteral("unchanged"));
    const StageRow row = StageRow::of(*w);

    QString text = QStringLiteral("previous");
    stage->HandleInput1(text);
    EXPECT_TRUE(text.startsWith(QStringLiteral("OK\r\n"))) << text.toStdString();
    EXPECT_EQ(w->MSComm1->bytesAvailable(), 0);

    pumpFor(20);
    text = QStringLiteral("previous");
    sim.setSilent(true);
    stage->HandleInput1(text);
    stage->HandleInput1(text);
    EXPECT_TRUE(text.isEmpty()) << text.toStdString();
    EXPECT_EQ(w->msgText(), QStringLiteral("unchanged"));
    EXPECT_EQ(StageRow::of(*w), row);
    stage->MSComm1_OnComm();
    EXPECT_EQ(w->msgText(), QStringLiteral("unchanged"));
}

// A controller that floods the line neither grows the station's buffer nor stalls its event loop,
// and commands still get through.
TEST_F(ControllerLink, FloodIsBoundedAndDoesNotHang)
{
    openPort();
    w->Timer2->setEnabled(false);
    sim.setFlood(true);
    qint64 largest = 0;
    const auto watch = [&] { largest = std::max(largest, w->MSComm1->bytesAvailable()); };
    pumpUntil(
        [&] {
            watch();
            return false;
        },
        100);
    EXPECT_GT(largest, 0);
    EXPECT_LE(largest, StageControl::kReceiveBufferBytes);

    w->Timer2->setEnabled(true);
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

    EXPECT_TRUE(w->TimedWait(5));
    EXPECT_EQ(received([&] { stage->Command1_Click(); }, 1), QStringList{QStringLiteral("XF50")});
    sim.setFlood(false);
}

TEST_F(ControllerLink, WritesOnAClosedPortFailWithoutHarm)
{
    EXPECT_FALSE(w->MSComm1->isOpen());
    EXPECT_FALSE(stage->writeCommand(QStringLiteral("I")));
    stage->Command1_Click();
    stage->Command2_Click();
    // The stage operations go on as if the command went out.
    stage->Command18_Click();
    EXPECT_EQ(StageRow::of(*w), kRowInside);
    EXPECT_EQ(w->msgText(), QStringLiteral("Moving Inside...Stage should be Inside"));
    QString text = QStringLiteral("previous");
    stage->HandleInput1(text);
    EXPECT_TRUE(text.isEmpty());
    stage->Timer2_Timer();

    openPort();
    w->MSComm1->close();
    EXPECT_FALSE(stage->writeCommand(QStringLiteral("XF50")));
    pumpFor(30);
    EXPECT_TRUE(sim.commands().empty());
}

TEST_F(ControllerLink, WriteCommandRefusesAMoveWithoutCount)
{
    openPort();
    EXPECT_FALSE(stage->writeCommand(QStringLiteral("XF")));
    EXPECT_EQ(w->msgText(), QStringLiteral("Count out of range - command not sent: XF"));
    EXPECT_TRUE(stage->writeCommand(QStringLiteral("XF") + StageControl::countOf(w->Text1)));
    ASSERT_TRUE(sim.waitForCommands(1, 2000));
    pumpFor(30);
    EXPECT_EQ(sim.commandTexts(), QStringList{QStringLiteral("XF50")});
    EXPECT_TRUE(sim.rejectedTexts().isEmpty());
}

// Unplugging the controller closes the port promptly, so the watchdog ends the program.
TEST_F(ControllerLink, UnpluggedControllerIsFoundByTheWatchdog)
{
    openPort();
    w->Timer2->setEnabled(true);
    const QString device = sim.devicePath();
    sim.unplug();
    EXPECT_FALSE(QFileInfo::exists(device));
    EXPECT_TRUE(pumpUntil([&] { return !w->MSComm1->isOpen(); }, 100));

    MessageBoxCloser closer;
    w->CheckControllerPort();
    EXPECT_EQ(closer.titles, QStringList{QStringLiteral("Controller ERROR")});
    EXPECT_EQ(terminations, QList<int>{1});
    EXPECT_TRUE(w->hasEnded());
}

TEST_F(ControllerLink, UnpluggedControllerIsFoundByTheNextWrite)
{
    openPort();
    sim.unplug();
    // No event loop ran since the unplugging: the write itself meets the dead line.
    stage->Command1_Click();
    EXPECT_TRUE(pumpUntil([&] { return !w->MSComm1->isOpen(); }, 100));
    EXPECT_FALSE(stage->writeCommand(QStringLiteral("XF50")));
}

TEST_F(ControllerLink, UnpluggedDuringInitialisationTheProgramEnds)
{
    openPort();
    QObject::connect(w->Msg, &QPlainTextEdit::textChanged, w.get(), [&] {
        if (sim.isPlugged() && w->msgText().contains(QStringLiteral("  5...")))
            sim.unplug();
    });
    stage->Command4_Click();
    EXPECT_FALSE(w->MSComm1->isOpen());
    EXPECT_EQ(sim.commandTexts(), QStringList{QStringLiteral("I")});
    EXPECT_EQ(StageRow::of(*w), kRowInitialised);
    EXPECT_EQ(connects, 1);

    MessageBoxCloser closer;
    w->Timer1->setEnabled(true);
    EXPECT_TRUE(pumpUntil([&] { return w->hasEnded(); }, 2000));
    EXPECT_EQ(terminations, QList<int>{1});
    EXPECT_EQ(closer.titles, QStringList{QStringLiteral("Controller ERROR")});
}

// The watchdog ends the program in the middle of the initialisation (its tick runs nested in the
// wait): nothing after the wait runs.
TEST_F(ControllerLink, ProgramEndingDuringInitialisationStopsIt)
{
    openPort();
    MessageBoxCloser closer;
    QObject::connect(w->Msg, &QPlainTextEdit::textChanged, w.get(), [&] {
        const QString text = w->msgText();
        if (sim.isPlugged() && text.contains(QStringLiteral("  2...")))
            sim.unplug();
        if (!w->MSComm1->isOpen() && text.contains(QStringLiteral("  8...")))
            w->CheckControllerPort();
    });
    stage->Command4_Click();
    EXPECT_TRUE(w->hasEnded());
    EXPECT_EQ(terminations, QList<int>{1});
    EXPECT_EQ(connects, 0);
    EXPECT_NE(w->msgText(), QStringLiteral("Initialization Done !!!"));
    EXPECT_FALSE(stage->isInitialising());
}

} // namespace
