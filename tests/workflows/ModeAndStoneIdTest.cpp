#include "WorkflowBench.h"
#include "ui/Frmgrading.h"
#include "ui/MsgBox_.h"
#include "ui/TextBox.h"

#include "ui/ClickableLabel.h"

namespace {

using ModeSelectionTest = WorkflowBench;

TEST_F(ModeSelectionTest, TakesTheBackgroundInsideAndOpensTheIdBox)
{
    chooseRegister();
    driver->expect("Move Inside?", "Arm Moving Inside", Yes); // not asked: the stage is inside after init
    emit w().Splits1->clicked();

    EXPECT_EQ(driver->pending(), 1) << "the stage was inside: no question";
    EXPECT_EQ(s().ExperimentFile.toText(), "AFTERSAWING.XPM");
    EXPECT_EQ(s().FileSuffix, "-AFTERSAWING");
    EXPECT_EQ(s().StageName, "AFTERSAWING");
    EXPECT_TRUE(s().ModeSelected.equals(1));
    EXPECT_TRUE(s().ModeIndex.equals(2));
    EXPECT_TRUE(s().BackgroundDone);
    EXPECT_TRUE(s().BackgroundAgeMinutes.equals(0));
    EXPECT_TRUE(console().Timer8->isEnabled());
    EXPECT_FALSE(w().Text8->isHidden());
    EXPECT_TRUE(w().Text8->isEnabled());
    EXPECT_EQ(w().Label14[2]->colour(), std::optional<quint32>(0x00FF00));
    EXPECT_EQ(w().Label14[0]->colour(), std::optional<quint32>(0xFFFFFF));
    EXPECT_FALSE(w().Splits1->isHidden());
    EXPECT_TRUE(w().Rough1->isHidden());
    EXPECT_FALSE(w().Query_1->isEnabled());

    ASSERT_TRUE(controllerReceived(1));
    EXPECT_EQ(controllerCommands(), QStringList({"YR300"}));
    EXPECT_EQ(spectrometerCommands(), QStringList({backgroundCommand("AFTERSAWING.XPM")}));
    EXPECT_EQ(requestPaths(), QStringList(6, "/diamond/machineStatus"));
    EXPECT_TRUE(
        appearInOrder(bench->msgTexts(), {"Taking Background...Please wait...", "Taking Background.....",
                                          "Background Done !!!", "Moving Outside...Please Check Stage...",
                                          "Arm Moving ..Please wait ...   ", "Background Done ..  !!!"}));
}

TEST_F(ModeSelectionTest, StageOutsideAnsweredNoChangesNothing)
{
    selectMode(true, w().Rough1); // leaves the stage outside
    s().IdReady = 1;
    driver->expect("Move Inside?", "Arm Moving Inside", No);
    emit w().Label14[1]->clicked();

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_EQ(s().ExperimentFile.toText(), "ROUGH.XPM");
    EXPECT_TRUE(s().ModeIndex.equals(0));
    EXPECT_TRUE(s().IdReady.equals(1));
    bench->pumpUntil([] { return false; }, 30);
    EXPECT_TRUE(controllerCommands().isEmpty());
    EXPECT_TRUE(spectrometerCommands().isEmpty());
}

TEST_F(ModeSelectionTest, RegistrationIndexBeyondTheTableKeepsTheMode)
{
    chooseRegister();
    emit w().Label14[4]->clicked();
    EXPECT_EQ(s().ExperimentFile.toText(), "ROUGH.XPM") << "the previous experiment file";
    EXPECT_TRUE(s().ModeIndex.equals(4));
    EXPECT_FALSE(w().Polish3->isHidden());
    EXPECT_EQ(spectrometerCommands().value(0), backgroundCommand("ROUGH.XPM"));
}

TEST_F(ModeSelectionTest, MotorsNotInitialisedStartsTheInitialisationOnly)
{
    w().Command18->setEnabled(true);
    w().Command19->setEnabled(true);
    chooseQuery();
    emit w().Polish4->clicked();
    EXPECT_TRUE(s().ModeSelected.isEmpty());
    EXPECT_TRUE(driver->asked().isEmpty());
    EXPECT_TRUE(spectrometerCommands().isEmpty());
    ASSERT_TRUE(controllerReceived(1));
    EXPECT_EQ(controllerCommands().value(0), "I") << "the initialisation ran";
}

using StoneIdEntryTest = WorkflowBench;

TEST_F(StoneIdEntryTest, ExpiredBackgroundRefusesEnter)
{
    selectMode(true, w().Polish1);
    // At the limit the background is still fresh; the next Timer8 minute makes it stale.
    s().BackgroundAgeMinutes = s().CheckIntervalMinutes;
    EXPECT_TRUE(s().BackgroundDone);
    ASSERT_TRUE(bench->pumpUntil([this] { return !s().BackgroundDone; }, 3000));
    driver->expect(" Please take background once again !!!", "Data Not correct", Yes);
    scanStoneId(QStringLiteral("P-1"));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_EQ(w().msg1Text(), " Please take background once again !!!");
    EXPECT_TRUE(requestPaths().isEmpty());
    EXPECT_TRUE(spectrometerCommands().isEmpty());
    EXPECT_TRUE(controllerCommands().isEmpty());
    EXPECT_TRUE(s().IdReady.isZeroOrEmpty());
}

// Keys as the operator types them into the window's stone box.
class WindowKeysTest : public WorkflowBench
{
protected:
    WindowKeysTest() { windowed = true; }

    void pressKey(QWidget* target, int key, const QString& text = QString())
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(target, &press);
    }
};

TEST_F(WindowKeysTest, OtherKeysStartNothing)
{
    selectMode(true, w().Polish1);
    TextBox* box = bench->window().Text8;
    box->setText(QStringLiteral("P-2"));
    pressKey(box, Qt::Key_Escape);
    pressKey(box, Qt::Key_A, QStringLiteral("a"));
    EXPECT_EQ(w().Text8->text(), "P-2a");
    EXPECT_TRUE(s().EscapePressed) << "Escape reaches the window's key handler";
    EXPECT_TRUE(requestPaths().isEmpty());
    EXPECT_TRUE(driver->asked().isEmpty());
}

// Unlike every other question, the background refusal is not placed over the console.
TEST_F(WindowKeysTest, BackgroundRefusalOpensWhereTheDialogWasLastShown)
{
    selectMode(true, w().Rough1); // leaves the stage outside, so the next mode asks to move inside
    MsgBox_& box = MsgBox_::instance();
    QList<QPoint> shownAt;
    QObject watching;
    QObject::connect(&box, &MsgBox_::questionShown, &watching, [&] { shownAt << box.pos(); });
    driver->expect("Move Inside?", "Arm Moving Inside", No);
    emit w().Label14[1]->clicked();
    Frmgrading& window = bench->window();
    window.move(window.pos() + QPoint(150, 90));
    s().BackgroundDone = false;
    driver->expect(" Please take background once again !!!", "Data Not correct", Yes);
    scanStoneId(QStringLiteral("P-1"));

    EXPECT_EQ(driver->pending(), 0);
    ASSERT_EQ(shownAt.size(), 2);
    const QRect main = window.frameGeometry();
    EXPECT_EQ(shownAt[0] + QPoint(150, 90), QPoint(main.left() + (main.width() - box.width()) / 2,
                                                   main.top() + (main.height() - box.height()) / 2))
        << "the stage question is centred over the console";
    EXPECT_EQ(shownAt[1], shownAt[0]);
}

class OzbStoneIdTest : public WorkflowBench
{
protected:
    void SetUp() override
    {
        SimBench::Options options;
        options.companyCode = QStringLiteral("ozb");
        startBench(options);
    }
};

TEST_F(OzbStoneIdTest, LooksTheBarcodeUpThenReshapes)
{
    bench->server().setStoneId("BC-0042", "OZ77-01#5-3");
    selectMode(true, w().Polish1);
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", No);
    scanStoneId(QStringLiteral("BC-0042"));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_EQ(w().Text8->text(), "OZ77-5.3");
    EXPECT_EQ(requestPaths(),
              QStringList({"/ords/morvex14/oauth/token", "/ords/morvex14/morvexapp/get_stoneid",
                           "/api/account/velora-login", "/diamond/generateLotCode", "/getServerStatus",
                           "/api/account/velora-login"}));
    EXPECT_EQ(requestsTo("/ords/morvex14/morvexapp/get_stoneid").at(0).query, "p_brid=BR001&p_bcno=BC-0042");
    EXPECT_EQ(requestsTo("/diamond/generateLotCode").at(0).body, R"({"lotCode":"OZ77-5.3"})");
}

TEST_F(OzbStoneIdTest, UnreachableServiceStopsBeforeTheLogin)
{
    SimFault down;
    down.dropConnection = true;
    bench->server().setFault("/ords/morvex14/oauth/token", down);
    selectMode(true, w().Polish1);
    scanStoneId(QStringLiteral("BC-0043"));

    EXPECT_TRUE(bench->msgTexts().back().startsWith("Stone ID service not reachable - "))
        << bench->msgTexts().back().toStdString();
    EXPECT_EQ(w().Text8->text(), "BC-0043") << "the scan stays for another try";
    EXPECT_EQ(requestPaths(), QStringList({"/ords/morvex14/oauth/token"}));
    EXPECT_TRUE(driver->asked().isEmpty());
    EXPECT_TRUE(s().IdReady.isZeroOrEmpty());
}

} // namespace
