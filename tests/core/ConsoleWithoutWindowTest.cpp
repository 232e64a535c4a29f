#include "core/ConsoleStatus.h"
#include "core/StationState.h"
#include "support/TestConsole.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class ConsoleWithoutWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        stationState() = StationState{};
        StationEnvironment env;
        env.programFolder = folder.path();
        env.timeScale = 0.001;
        env.resolveSerialPort = [](int) { return QString(); };
        env.terminate = [this](int code) { terminations << code; };
        t = std::make_unique<TestConsole>(env);
    }

    void writeConfig(const QByteArray& content) const
    {
        QFile file(folder.filePath(QStringLiteral("d_VELORA.txt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QTemporaryDir folder;
    QList<int> terminations;
    std::unique_ptr<TestConsole> t;
};

TEST_F(ConsoleWithoutWindow, LoadFillsTheModelAndUnloadWritesItBackWithTheDesignPlace)
{
    writeConfig(
        "3\r\n310\r\n290\r\n40\r\n320\r\n320\r\n45\r\n15\r\n4\r\n\"C:\\data\"\r\n2\r\n\"ROUGH.XPM\"\r\n"
        "\"LOT-1\"\r\n1200\r\n900\r\n6\r\n\"B7\"\r\n\"acme\"\r\n8000\r\n5300\r\n1\r\n0\r\n0\r\n\"\"\r\n30\r\n"
        "\"9.1.4\"\r\n");
    t->console.Form_Load();
    ConsoleModel& m = t->model;
    EXPECT_TRUE(m.isWindowShown());
    EXPECT_EQ(m.Text12->text(), "310");
    EXPECT_EQ(m.Text6->text(), "4");
    EXPECT_EQ(m.Text8->text(), "LOT-1");
    EXPECT_TRUE(m.Text8->isHidden()) << "the stone box waits for a mode";
    EXPECT_EQ(m.Label41->text(), "007");
    EXPECT_EQ(m.Label9->text(), "C:\\data");
    EXPECT_FALSE(m.Frame1->isHidden()) << "mode 1 shows the motion parameters";
    EXPECT_EQ(m.msgText(), "VELORA ");

    m.Text6->setText(QStringLiteral("5"));
    t->console.Form_Unload(); // no link: the closing error is shown, the file still written
    ASSERT_EQ(t->op.boxes.size(), 1);
    EXPECT_EQ(t->op.boxes[0].title, "VELORA");
    EXPECT_EQ(t->op.boxes[0].icon, Operator::Icon::Critical);
    EXPECT_TRUE(t->console.hasEnded());
    EXPECT_FALSE(m.isWindowShown());
    QFile file(folder.filePath(QStringLiteral("d_VELORA.txt")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GE(lines.size(), 20);
    EXPECT_EQ(lines[8], "\"5\"\r") << "a box is written as text";
    EXPECT_EQ(lines[13], "600\r") << "without a window the design place stands";
    EXPECT_EQ(lines[14], "600\r");
}

TEST_F(ConsoleWithoutWindow, ClosedControllerPortEndsWithoutUnloadAndNestedWaitsKeepTheirCount)
{
    t->console.CheckControllerPort();
    ASSERT_EQ(t->op.boxes.size(), 1);
    EXPECT_EQ(t->op.boxes[0].title, "Controller ERROR");
    EXPECT_EQ(terminations, QList<int>{1});
    EXPECT_TRUE(t->console.hasEnded());
    EXPECT_FALSE(t->op.TimedWait(3, 1000, QStringLiteral("never shown"), {}, {}))
        << "an ended program's wait returns at once";

    stationState() = StationState{};
    TestConsole fresh(t->console.environment());
    int innerRuns = 0;
    qint16 outerAfterInner = -1;
    const bool done =
        fresh.op.TimedWait(3, 1000, QString(),
                           [&] {
                               if (stationState().WaitTicks == 1 && innerRuns++ == 0) {
                                   EXPECT_TRUE(fresh.op.TimedWait(2, 500, QStringLiteral("inner"), {}, {}));
                                   outerAfterInner = stationState().WaitTicks;
                               }
                           },
                           {});
    EXPECT_TRUE(done);
    EXPECT_EQ(outerAfterInner, 1) << "the outer wait resumes its own count";
    EXPECT_EQ(fresh.model.msgText(), "inner");
    EXPECT_EQ(stationState().WaitTicks, 0);
}

TEST_F(ConsoleWithoutWindow, WaitLineAndCaptionFollowTheActivity)
{
    ConsoleStatus& status = t->console.status();
    status.beginActivity(QStringLiteral("Registration"), QStringLiteral("P-3"));
    status.setScan(2, 6);
    EXPECT_EQ(t->model.caption(), "VELORA - Registration - stone P-3 - scan 2 of 6");
    status.endActivity();
    EXPECT_EQ(t->model.caption(), "VELORA ");
    EXPECT_TRUE(t->model.WaitLine->isHidden());
}

} // namespace
