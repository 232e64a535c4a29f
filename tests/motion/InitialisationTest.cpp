#include "MotionTestSupport.h"

#include <QFrame>
#include <QPlainTextEdit>

#include <chrono>

namespace {

const QString kPassPrefix = QStringLiteral(" Intialising ....  ");
const QString kPassSuffix = QStringLiteral("...!!!");

// Records the progress line and the indicator on every pass of the initialisation.
class Initialisation : public LiveStage
{
protected:
    void SetUp() override
    {
        LiveStage::SetUp();
        if (HasFatalFailure())
            return;
        QObject::connect(w->model.Msg, &ConsoleControl::changed, &w->model, [this] {
            const QString text = w->model.msgText();
            messages << text;
            if (text.startsWith(kPassPrefix)) {
                rowsDuringWait << StageRow::of(*w);
                command4DuringWait &= !w->model.Command4->isEnabled();
                command7DuringWait &= !w->model.Command7->isEnabled();
                if (onPass)
                    onPass(text);
            }
        });
        onConnect = [this] {
            msgAtConnect = w->model.msgText();
            rowAtConnect = StageRow::of(*w);
            if (w->console.MSComm1->isOpen() && sim.waitForCommands(2, 2000))
                commandsAtConnect = sim.commandTexts();
        };
    }

    QList<int> passNumbers() const
    {
        QList<int> numbers;
        for (const QString& m : messages) {
            if (!m.startsWith(kPassPrefix) || !m.endsWith(kPassSuffix))
                continue;
            const int n =
                m.mid(kPassPrefix.size(), m.size() - kPassPrefix.size() - kPassSuffix.size()).toInt();
            if (numbers.isEmpty() || numbers.back() != n)
                numbers << n;
        }
        return numbers;
    }

    static QList<int> zeroTo14()
    {
        QList<int> v;
        for (int i = 0; i < 15; ++i)
            v << i;
        return v;
    }

    QStringList messages;
    QList<StageRow> rowsDuringWait;
    bool command4DuringWait = true;
    bool command7DuringWait = true;
    std::function<void(const QString&)> onPass;
    QString msgAtConnect;
    StageRow rowAtConnect;
    QStringList commandsAtConnect;
};

TEST_F(Initialisation, RunsFifteenTicksThenMovesUpAndConnects)
{
    openPort();
    w->model.Text8->show();
    w->model.Image7->show();
    ASSERT_EQ(StageRow::of(*w), kRowStart);

    const auto started = std::chrono::steady_clock::now();
    stage->Command4_Click();
    const double elapsedMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();

    ASSERT_TRUE(sim.waitForCommands(2, 2000));
    const auto commands = sim.commands();
    ASSERT_EQ(sim.commandTexts(), (QStringList{"I", "ZF320"}));
    // The move up follows the 15 scaled ticks of 1 ms, not the "I" at once.
    const double gapMs = commands[1].elapsedMs - commands[0].elapsedMs;
    EXPECT_GE(gapMs, 12.0);
    EXPECT_GE(elapsedMs, 14.0);
    EXPECT_LT(elapsedMs, 1000.0);

    ASSERT_FALSE(messages.isEmpty());
    EXPECT_EQ(messages.front(), QStringLiteral("Intitalising ..Please wait for few seconds......"));
    EXPECT_EQ(passNumbers(), zeroTo14());
    EXPECT_EQ(messages.back(), QStringLiteral("Initialization Done !!!"));

    ASSERT_FALSE(rowsDuringWait.isEmpty());
    for (const StageRow& row : rowsDuringWait)
        EXPECT_EQ(row, kRowBusy);
    EXPECT_TRUE(command4DuringWait);
    EXPECT_TRUE(command7DuringWait);

    EXPECT_EQ(StageRow::of(*w), kRowInitialised);
    EXPECT_TRUE(w->model.Command4->isEnabled());
    EXPECT_TRUE(w->model.Command7->isEnabled());
    EXPECT_TRUE(w->model.Text8->isHidden());
    EXPECT_TRUE(w->model.Image7->isHidden());
    EXPECT_EQ(stationState().WaitTicks, 0);
    EXPECT_FALSE(w->console.Timer4->isEnabled());

    EXPECT_EQ(connects, 1);
    EXPECT_EQ(msgAtConnect, QStringLiteral("Initialization Done !!!"));
    EXPECT_EQ(rowAtConnect, kRowInitialised);
    EXPECT_EQ(commandsAtConnect, (QStringList{"I", "ZF320"}));
}

// A port that is closed, or a controller that never answers, changes nothing in the sequence.
TEST_F(Initialisation, WithoutControllerStillTakesFifteenTicks)
{
    stage->Command4_Click();
    EXPECT_EQ(passNumbers(), zeroTo14());
    EXPECT_EQ(messages.back(), QStringLiteral("Initialization Done !!!"));
    EXPECT_EQ(StageRow::of(*w), kRowInitialised);
    EXPECT_EQ(connects, 1);
    EXPECT_TRUE(sim.commands().empty());
}

TEST_F(Initialisation, SilentControllerChangesNothing)
{
    sim.setSilent(true);
    openPort();
    stage->Command4_Click();
    ASSERT_TRUE(sim.waitForCommands(2, 2000));
    EXPECT_EQ(sim.commandTexts(), (QStringList{"I", "ZF320"}));
    EXPECT_EQ(sim.bytesSent(), 0);
    EXPECT_EQ(passNumbers(), zeroTo14());
    EXPECT_EQ(StageRow::of(*w), kRowInitialised);
    EXPECT_EQ(connects, 1);
}

TEST_F(Initialisation, NestedRequestsDoNotStartASecondOne)
{
    openPort();
    w->model.Frame4->show();
    bool nested = false;
    onPass = [&](const QString& text) {
        if (nested || !text.contains(QStringLiteral("  3...")))
            return;
        nested = true;
        stage->Command4_Click();
        stage->Image9_Click();
    };
    stage->Command4_Click();
    ASSERT_TRUE(nested);
    ASSERT_TRUE(sim.waitForCommands(2, 2000));
    pumpFor(30);
    EXPECT_EQ(sim.commandTexts(), (QStringList{"I", "ZF320"}));
    EXPECT_EQ(passNumbers(), zeroTo14());
    EXPECT_EQ(connects, 1);
    // Image9 still hides the strip after its (refused) initialisation.
    EXPECT_TRUE(w->model.Frame4->isHidden());
    EXPECT_FALSE(stage->isInitialising());
}

TEST_F(Initialisation, Image9InitialisesThenHidesTheStripEvenWhenHidden)
{
    openPort();
    w->model.Frame4->hide();
    stage->Image9_Click();
    ASSERT_TRUE(sim.waitForCommands(2, 2000));
    EXPECT_EQ(sim.commandTexts(), (QStringList{"I", "ZF320"}));
    EXPECT_TRUE(w->model.Frame4->isHidden());
    EXPECT_EQ(connects, 1);
}

// A tick of Timer7 while its initialisation yields (the timer restarted meanwhile, so it can fire
// nested) does not start a second one.
TEST_F(Initialisation, Timer7RunsOnceWithTheBannerShown)
{
    openPort();
    int timer7Ticks = 0;
    QObject::connect(w->console.Timer7, &StationTimer::timeout, &w->model, [&] { ++timer7Ticks; });
    QList<bool> bannerShown;
    QList<int> bannerTop;
    onPass = [&](const QString& text) {
        bannerShown << !w->model.Image6->isHidden();
        bannerTop << w->model.Image6->top().value_or(-1);
        if (text.contains(QStringLiteral("  3..."))) {
            w->console.Timer7->setEnabled(false);
            w->console.Timer7->setEnabled(true);
        }
    };
    w->console.Timer7->setEnabled(true);
    ASSERT_TRUE(pumpUntil([&] { return connects > 0; }, 3000));
    pumpFor(30);

    EXPECT_GT(timer7Ticks, 1);
    EXPECT_FALSE(w->console.Timer7->isEnabled());
    EXPECT_TRUE(w->model.Image6->isHidden());
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(sim.commandTexts(), (QStringList{"I", "ZF320"}));
    EXPECT_EQ(passNumbers(), zeroTo14());
    ASSERT_FALSE(bannerShown.isEmpty());
    EXPECT_FALSE(bannerShown.contains(false));
    EXPECT_EQ(bannerTop.front(), 400) << "twips from the top of its frame";
}

// The whole start-up: the console opens the port and one second (scaled) later the motors are
// initialised through the simulated controller.
TEST_F(Initialisation, StartsOneSecondAfterLoad)
{
    w->console.Form_Load();
    ASSERT_TRUE(w->console.MSComm1->isOpen());
    ASSERT_TRUE(pumpUntil([&] { return connects > 0; }, 3000));
    ASSERT_TRUE(sim.waitForCommands(2, 2000));
    EXPECT_EQ(sim.commandTexts(), (QStringList{"I", "ZF320"}));
    EXPECT_FALSE(w->console.Timer7->isEnabled());
    EXPECT_EQ(StageRow::of(*w), kRowInitialised);
    EXPECT_TRUE(w->op.boxTitles().isEmpty()) << w->op.boxTitles().join(u',').toStdString();
}

} // namespace
