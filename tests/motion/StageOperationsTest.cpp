#include "MotionTestSupport.h"
#include "support/TestConsole.h"

#include <QFrame>

namespace {

struct OperationCase
{
    const char* name;
    ConsoleControl* ConsoleModel::*box;
    const char* boxText;
    void (StageControl::*operation)();
    const char* expected;
};

class StageOperation : public LiveStage, public ::testing::WithParamInterface<OperationCase>
{
};

// The controller sees exactly one command of exactly these characters: no line end, no blank.
TEST_P(StageOperation, ControllerReceivesExactlyTheCommand)
{
    openPort();
    const OperationCase& c = GetParam();
    ((w->model).*(c.box))->setText(QString::fromUtf8(c.boxText));
    const QStringList got = received([&] { ((*stage).*(c.operation))(); }, 1);
    pumpFor(30); // anything trailing would arrive as text that is no command
    EXPECT_EQ(sim.commandTexts(), QStringList{QString::fromLatin1(c.expected)});
    EXPECT_TRUE(sim.rejectedTexts().isEmpty()) << sim.rejectedTexts().join(u'|').toStdString();
}

const OperationCase kOperations[] = {
    {"RotateForwardDesign", &ConsoleModel::Text1, "50", &StageControl::Command1_Click, "XF50"},
    {"RotateForwardFraction", &ConsoleModel::Text1, "12.5", &StageControl::Command1_Click, "XF12.5"},
    {"RotateForwardLetters", &ConsoleModel::Text1, "abc", &StageControl::Command1_Click, "XF0"},
    {"RotateForwardEmpty", &ConsoleModel::Text1, "", &StageControl::Command1_Click, "XF0"},
    {"RotateForwardNegative", &ConsoleModel::Text1, "-50", &StageControl::Command1_Click, "XF-50"},
    {"RotateForwardLongDigits", &ConsoleModel::Text1, "123456789012345678901234567890",
     &StageControl::Command1_Click, "XF1.2345678901234568E+29"},
    {"RotateForwardUnderflow", &ConsoleModel::Text1, "1e-400", &StageControl::Command1_Click, "XF0"},
    {"RotateBackBlanksInside", &ConsoleModel::Text4, " 1 2", &StageControl::Command6_Click, "XR12"},
    {"RotateBackLeadingDot", &ConsoleModel::Text4, ".5", &StageControl::Command6_Click, "XR0.5"},
    {"RotateBackTrailingDot", &ConsoleModel::Text4, "1.", &StageControl::Command6_Click, "XR1"},
    {"InsideDesign", &ConsoleModel::Text12, "300", &StageControl::Command18_Click, "YF300"},
    {"InsideTrailingWords", &ConsoleModel::Text12, "300 counts", &StageControl::Command18_Click, "YF300"},
    {"OutsideSignedExponent", &ConsoleModel::Text13, "+2.5e2", &StageControl::Command19_Click, "YR250"},
    {"OutsideSecondPoint", &ConsoleModel::Text13, "1.5.6", &StageControl::Command19_Click, "YR1.5"},
    {"UpDesign", &ConsoleModel::Text2, "320", &StageControl::Command2_Click, "ZF320"},
    {"DownLeadingZeros", &ConsoleModel::Text3, "0320.50", &StageControl::Command3_Click, "ZR320.5"},
    {"DownDoubleSign", &ConsoleModel::Text3, "--5", &StageControl::Command3_Click, "ZR0"},
    {"Image8MovesInside", &ConsoleModel::Text12, "301", &StageControl::Image8_Click, "YF301"},
    {"Image5Retracts", &ConsoleModel::Text13, "299", &StageControl::Image5_Click, "YR299"},
};

INSTANTIATE_TEST_SUITE_P(Counts, StageOperation, ::testing::ValuesIn(kOperations),
                         [](const auto& info) { return std::string(info.param.name); });

// Counts beyond the number range are refused: nothing is written, the operator is told, the
// indicator keeps telling where the stage really is.
struct RefusedCase
{
    const char* name;
    ConsoleControl* ConsoleModel::*box;
    const char* boxText;
    void (StageControl::*operation)();
    const char* letters;
};

class RefusedCount : public LiveStage, public ::testing::WithParamInterface<RefusedCase>
{
};

TEST_P(RefusedCount, NothingIsWrittenAndMsgSaysWhy)
{
    openPort();
    const RefusedCase& c = GetParam();
    ((w->model).*(c.box))->setText(QString::fromLatin1(c.boxText));
    const StageRow before = StageRow::of(*w);
    ((*stage).*(c.operation))();
    EXPECT_EQ(w->model.msgText(),
              QStringLiteral("Count out of range - command not sent: ") + QLatin1String(c.letters));
    EXPECT_EQ(StageRow::of(*w), before);
    // A marker command shows the line carried nothing before it.
    w->model.Text1->setText(QStringLiteral("7"));
    EXPECT_EQ(received([&] { stage->Command1_Click(); }, 1), QStringList{QStringLiteral("XF7")});
    EXPECT_TRUE(sim.rejectedTexts().isEmpty());
}

const RefusedCase kRefused[] = {
    {"HugeExponent", &ConsoleModel::Text4, "1e400", &StageControl::Command6_Click, "XR"},
    {"NegativeHuge", &ConsoleModel::Text3, "-1e400", &StageControl::Command3_Click, "ZR"},
    {"FourHundredDigits", &ConsoleModel::Text12,
     "9999999999999999999999999999999999999999999999999999999999999999999999"
     "9999999999999999999999999999999999999999999999999999999999999999999999"
     "9999999999999999999999999999999999999999999999999999999999999999999999"
     "9999999999999999999999999999999999999999999999999999999999999999999999"
     "9999999999999999999999999999999999999999999999999999999999999999999999",
     &StageControl::Command18_Click, "YF"},
    {"RetractHuge", &ConsoleModel::Text13, "2e308", &StageControl::Command19_Click, "YR"},
};

INSTANTIATE_TEST_SUITE_P(OutOfRange, RefusedCount, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

using StageIndicator = LiveStage;

TEST_F(StageIndicator, FollowsTheStageMovesOnly)
{
    openPort();
    EXPECT_EQ(StageRow::of(*w), kRowStart);

    stage->Command18_Click();
    EXPECT_EQ(StageRow::of(*w), kRowInside);
    EXPECT_EQ(w->model.msgText(), QStringLiteral("Moving Inside...Stage should be Inside"));

    stage->Command1_Click();
    stage->Command6_Click();
    stage->Command2_Click();
    stage->Command3_Click();
    EXPECT_EQ(StageRow::of(*w), kRowInside);

    stage->Command19_Click();
    EXPECT_EQ(StageRow::of(*w), kRowOutside);
    EXPECT_EQ(w->model.msgText(), QStringLiteral("Moving Outside...Please Check Stage..."));
    ASSERT_TRUE(sim.waitForCommands(6, 2000));
    EXPECT_EQ(sim.commandTexts(), (QStringList{"YF300", "XF50", "XR50", "ZF320", "ZR320", "YR300"}));
}

TEST_F(StageIndicator, MovingInsideTwiceWritesTwoCommands)
{
    openPort();
    const QStringList got = received(
        [&] {
            stage->Command18_Click();
            stage->Command18_Click();
        },
        2);
    EXPECT_EQ(got, (QStringList{"YF300", "YF300"}));
    EXPECT_EQ(StageRow::of(*w), kRowInside);
}

TEST_F(StageIndicator, ClickedControlsRunTheirOperations)
{
    openPort();
    const QStringList got = received(
        [&] {
            w->model.Command1->click();
            w->model.Command6->click();
            w->model.Command2->click();
            w->model.Command3->click();
            w->model.Command18->click();
            emit w->model.Image5->clicked();
        },
        6);
    EXPECT_EQ(got, (QStringList{"XF50", "XR50", "ZF320", "ZR320", "YF300", "YR300"}));
    EXPECT_EQ(StageRow::of(*w), kRowOutside);
}

using SettingsStrip = LiveStage;

TEST_F(SettingsStrip, Image2OneTogglesTheStripAndUpDownControls)
{
    const auto shown = [&] {
        QList<bool> v;
        for (const ConsoleControl* c :
             {w->model.Frame4, w->model.Text2, w->model.Text3, w->model.Command2, w->model.Command3})
            v << !c->isHidden();
        return v;
    };
    w->model.Frame4->hide();
    stage->Image2_Click(1);
    EXPECT_EQ(shown(), (QList<bool>{true, true, true, true, true}));
    emit w->model.Image2[1]->clicked();
    EXPECT_EQ(shown(), (QList<bool>{false, false, false, false, false}));
    // The strip alone decides: a shown up/down box does not keep the strip open.
    w->model.Text2->show();
    stage->Image2_Click(1);
    EXPECT_EQ(shown(), (QList<bool>{true, true, true, true, true}));
}

TEST_F(SettingsStrip, Image2ZeroUnloadsTheWindow)
{ // no spectrometer link: the closing error is shown and answered
    stage->Image2_Click(0);
    EXPECT_TRUE(pumpUntil([&] { return w->console.hasEnded(); }, 2000));
    EXPECT_TRUE(terminations.isEmpty());
    EXPECT_EQ(w->op.boxTitles(), QStringList{QStringLiteral("VELORA")});
}

} // namespace

namespace {

TEST(CountOf, ShortestFormOrNothingWhenOutOfRange)
{
    ConsoleControl box(QStringLiteral("Text1"));
    const std::pair<const char*, const char*> cases[] = {
        {"300", "300"}, {"12.5", "12.5"}, {"abc", "0"}, {" 1 2", "12"}, {"1e3", "1000"},
        {"1e400", ""},  {"-1e400", ""},   {"1.", "1"},  {".5", "0.5"},  {"-0", "0"},
    };
    for (const auto& [text, count] : cases) {
        box.setText(QString::fromLatin1(text));
        EXPECT_EQ(StageControl::countOf(&box), QString::fromLatin1(count)) << text;
    }
    EXPECT_EQ(StageControl::countOf(nullptr), QStringLiteral("0"));
}

} // namespace
