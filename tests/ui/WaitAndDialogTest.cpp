#include "UiTestSupport.h"

#include "ConsoleWindow.h"
#include "ui/MsgBox_.h"
#include "ui/Twips.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class WaitAndDialog : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetStationState();
        window = std::make_unique<ConsoleWindow>(env.make());
        window->show();
    }

    // Answers the next question by pressing a button once the dialog shows it.
    void answerNext(QPushButton* MsgBox_::*button)
    {
        QTimer::singleShot(0, [button] {
            waitUntil([] { return MsgBox_::instance().isVisible(); });
            (MsgBox_::instance().*button)->click();
        });
    }

    ConsoleEnvironment env;
    std::unique_ptr<ConsoleWindow> window;
};

TEST_F(WaitAndDialog, TimedWaitCountsTicksAndLeavesTheTimerStopped)
{
    QStringList shown;
    QObject::connect(&window->consoleModel, &ConsoleModel::msgChanged, [&](const QString& t) { shown << t; });
    EXPECT_TRUE(window->console.TimedWait(5, 1000, QStringLiteral("Arm Moving ..Please wait ...   ")));
    EXPECT_FALSE(window->console.Timer4->isEnabled());
    EXPECT_EQ(stationState().WaitTicks, 0);
    EXPECT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.last(), "Arm Moving ..Please wait ...   ");
}

TEST_F(WaitAndDialog, NestedWaitDoesNotCorruptTheOuterOne)
{
    StationState& s = stationState();
    int innerRuns = 0;
    int outerTicksWhenInnerStarted = -1;
    // A handler that runs during the outer wait's yield, once two of its ticks have passed, waits itself.
    const auto nestedWork = [&] {
        if (innerRuns > 0 || s.WaitTicks < 2)
            return;
        ++innerRuns;
        QTimer::singleShot(0, [&] {
            outerTicksWhenInnerStarted = s.WaitTicks;
            window->console.TimedWait(3, 2000);
            EXPECT_EQ(s.WaitTicks, outerTicksWhenInnerStarted) << "the outer count is back";
            EXPECT_EQ(window->console.Timer4->interval(), 1000);
            EXPECT_TRUE(window->console.Timer4->isEnabled());
        });
    };
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(window->console.TimedWait(6, 1000, QString(), nestedWork));
    EXPECT_EQ(innerRuns, 1);
    EXPECT_GE(outerTicksWhenInnerStarted, 2);
    EXPECT_LT(outerTicksWhenInnerStarted, 6);
    // 6 outer ticks plus the inner 3 x 2 ticks: the outer wait is paused, never shortened.
    EXPECT_GE(elapsed.elapsed(), window->console.clock().realMs(6000 + 6000) - 5);
    EXPECT_FALSE(window->console.Timer4->isEnabled());
    EXPECT_EQ(s.WaitTicks, 0);
}

TEST_F(WaitAndDialog, AbortConditionLeavesTheWaitEarly)
{
    int passes = 0;
    QTimer::singleShot(window->console.clock().realMs(3000), [] { stationState().EscapePressed = true; });
    const bool completed = window->console.TimedWait(
        12, 1000, QString(), [&] { ++passes; }, [] { return stationState().EscapePressed; });
    EXPECT_FALSE(completed);
    EXPECT_GT(passes, 0);
    EXPECT_FALSE(window->console.Timer4->isEnabled());
}

TEST_F(WaitAndDialog, QuestionsAnswerSixAndSevenAndShowBothTexts)
{
    MsgBox_& box = MsgBox_::instance();
    answerNext(&MsgBox_::cmdCancel);
    EXPECT_EQ(window->op.AskOperator("Move Inside?", "Arm Moving Inside"), 7);
    EXPECT_EQ(box.lblMessage->text(), "Move Inside?");
    EXPECT_EQ(box.Lbl_Msg2->text(), "Arm Moving Inside");
    EXPECT_FALSE(box.isVisible());

    answerNext(&MsgBox_::cmdOK);
    EXPECT_EQ(box.ShowMessage("Move Inside?", 0, ""), 6) << "buttons value is ignored";
    EXPECT_EQ(box.Lbl_Msg2->text(), "");
}

// A question asked from a handler that runs while another question waits.
TEST_F(WaitAndDialog, NestedQuestionReturnsOnlyItsOwnAnswer)
{
    MsgBox_& box = MsgBox_::instance();
    int inner = 0;
    QString shownAfterInner;
    bool outerStillShown = false;
    QTimer::singleShot(0, [&] {
        waitUntil([&] { return box.isVisible(); });
        QTimer::singleShot(0, [&] {
            waitUntil([&] { return box.lblMessage->text() == "Inner?"; });
            box.cmdOK->click();
        });
        inner = box.ShowMessage("Inner?", 4, "Inner title");
        shownAfterInner = box.lblMessage->text() + " | " + box.Lbl_Msg2->text();
        outerStillShown = box.isVisible();
        QTimer::singleShot(0, [&] { box.cmdCancel->click(); });
    });
    EXPECT_EQ(window->op.AskOperator("Outer?", "Outer title"), 7);
    EXPECT_EQ(inner, 6);
    EXPECT_EQ(shownAfterInner, "Outer? | Outer title");
    EXPECT_TRUE(outerStillShown);
    EXPECT_FALSE(box.isVisible());
}

TEST_F(WaitAndDialog, DialogGeometryAndCentring)
{
    MsgBox_& box = MsgBox_::instance();
    const Twips tw(&box);
    EXPECT_EQ(box.size(), QSize(tw.x(4785), tw.y(1875)));
    EXPECT_EQ(box.cmdOK->geometry(), tw.rect(840, 720, 1125, 375));
    EXPECT_EQ(box.cmdCancel->geometry(), tw.rect(2640, 720, 1485, 375));
    EXPECT_EQ(box.lblMessage->geometry(), tw.rect(360, 240, 3975, 255));
    EXPECT_EQ(box.Lbl_Msg2->geometry(), tw.rect(360, 1440, 3975, 255));
    EXPECT_EQ(box.cmdOK->text(), "OK - YES");
    EXPECT_EQ(box.cmdCancel->text(), "Cancel - NO");
    EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);

    window->move(100, 80);
    QRect placed;
    QTimer::singleShot(0, [&] {
        waitUntil([&] { return box.isVisible(); });
        placed = box.frameGeometry();
        box.cmdOK->click();
    });
    window->op.AskOperator("Is the Stone correctly Placed?", "Put the Stone/Diamond");
    const QRect main = window->frameGeometry();
    EXPECT_EQ(placed.left(), main.left() + (main.width() - box.width()) / 2);
    EXPECT_EQ(placed.top(), main.top() + (main.height() - box.height()) / 2);
}

TEST_F(WaitAndDialog, EscapeAndCloseAnswerNoEnterPressesTheFocusedButton)
{
    MsgBox_& box = MsgBox_::instance();
    QTimer::singleShot(0, [&] {
        waitUntil([&] { return box.isVisible(); });
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&box, &escape);
    });
    EXPECT_EQ(box.ShowMessage("Move Inside?", 4, "Arm Moving Inside"), 7);
    EXPECT_FALSE(stationState().EscapePressed) << "the dialog's Escape is not the console's";

    QTimer::singleShot(0, [&] {
        waitUntil([&] { return box.isVisible(); });
        box.close();
    });
    EXPECT_EQ(box.ShowMessage("Move Inside?", 4, "Arm Moving Inside"), 7);

    QTimer::singleShot(0, [&] {
        waitUntil([&] { return box.isVisible(); });
        box.cmdOK->setFocus();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box.cmdOK, &enter);
    });
    EXPECT_EQ(box.ShowMessage("Move Inside?", 4, "Arm Moving Inside"), 6);
}

TEST_F(WaitAndDialog, TimersKeepTickingWhileAQuestionWaits)
{
    StationState& s = stationState();
    window->console.Timer4->setInterval(1000);
    window->console.Timer4->setEnabled(true);
    // Yes once three ticks were counted during the question; No if they never come.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (s.WaitTicks >= 3 && MsgBox_::instance().isVisible())
            MsgBox_::instance().cmdOK->click();
    });
    poll.start(1);
    QTimer::singleShot(3000, [] { MsgBox_::instance().cmdCancel->click(); });
    EXPECT_EQ(MsgBox_::instance().ShowMessage("Move Inside?", 4, "Arm Moving Inside"), 6);
    window->console.Timer4->setEnabled(false);
}

} // namespace
