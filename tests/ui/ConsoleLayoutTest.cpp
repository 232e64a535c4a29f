#include "UiTestSupport.h"

#include "ConsoleWindow.h"
#include "ui/CircleShape.h"
#include "ui/ClickableLabel.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"

#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

struct Placement
{
    const char* name;
    int left, top, width, height;
};

class ConsoleLayout : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetStationState();
        env.addPictures();
        window = std::make_unique<ConsoleWindow>(env.make());
    }

    QWidget* control(const char* name) const
    {
        auto* w = window->findChild<QWidget*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    ConsoleEnvironment env;
    std::unique_ptr<ConsoleWindow> window;
};

// Positions (twips) of the operator panel's controls, relative to the panel that holds them.
const Placement OperatorControls[] = {
    {"Frame3", -120, 120, 8115, 5205},  {"Image1", 240, 0, 1200, 330},    {"Label11", 1800, 120, 1095, 255},
    {"Register", 240, 480, 1530, 525},  {"Query", 1920, 480, 1290, 510},  {"Image2_1", 7010, 0, 375, 375},
    {"Image10", 7380, 0, 375, 375},     {"Image2_0", 7730, 0, 375, 375},  {"Text8", 480, 2760, 3255, 405},
    {"Image7", 4080, 2760, 1875, 465},  {"Text9", 6000, 3600, 1575, 315}, {"Msg", 360, 3960, 5535, 555},
    {"Text11", 6000, 4200, 1575, 315},  {"Shape1", 7680, 4275, 375, 375}, {"Msg1", 360, 4560, 5535, 555},
    {"Image6", 0, 3960, 8145, 4065},    {"Frame4", 3240, 0, 3735, 975},   {"Frame1", 7920, 120, 4935, 4455},
    {"Frame2", 13920, 240, 3615, 4575},
};

TEST_F(ConsoleLayout, ControlsSitWhereTheTwipsTablePutsThem)
{
    const Twips tw(window.get());
    for (const Placement& p : OperatorControls) {
        QWidget* w = control(p.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), tw.rect(p.left, p.top, p.width, p.height)) << p.name;
    }
    // Mode pictures: left column at 240, right column at 4320, with their tops.
    const std::pair<const char*, QPoint> modes[] = {{"Rough1", {240, 1200}},   {"Splits1", {240, 1695}},
                                                    {"Polish1", {240, 2205}},  {"Polish2", {4320, 1200}},
                                                    {"Polish3", {4320, 1680}}, {"Polish4", {4320, 2200}}};
    for (const auto& [name, pos] : modes)
        EXPECT_EQ(control(name)->pos(), QPoint(tw.x(pos.x()), tw.y(pos.y()))) << name;
}

TEST_F(ConsoleLayout, FifteenTwipsPerPixelAtNinetySixDpi)
{
    if (window->screen()->logicalDotsPerInchX() != 96)
        GTEST_SKIP() << "screen is not at 96 DPI";
    EXPECT_EQ(window->Msg->geometry(), QRect(24, 264, 369, 37));
    EXPECT_EQ(Twips(window.get()).x(1440), 96);
}

TEST_F(ConsoleLayout, DesignTextsTooltipsAndStartStates)
{
    EXPECT_EQ(window->Text8->text(), "StoneId");
    EXPECT_EQ(window->Text8->toolTip(), "Enter Stone_ID or Scan via Barcode");
    EXPECT_EQ(window->Msg->toPlainText(), "Message");
    EXPECT_EQ(window->Msg1->toPlainText(), "Message");
    EXPECT_EQ(window->Msg->toolTip(), "Messagebox");
    EXPECT_EQ(window->Label11->toolTip(), "File Version - Click to check Latest Version");
    EXPECT_EQ(window->Register->toolTip(), "Click here to Register");
    EXPECT_EQ(window->Query->toolTip(), "Click here to Query");
    EXPECT_EQ(window->Image2[0]->toolTip(), "Close or End the Session");
    EXPECT_EQ(window->Image2[1]->toolTip(), "Open Settings to Start Machine");
    EXPECT_EQ(window->Text9->toolTip(), "Peak Value");
    EXPECT_EQ(window->Text11->toolTip(), "Status of Humidity control etc");
    EXPECT_EQ(window->Label19->text(), "Mc_ No :=");
    EXPECT_EQ(window->Label20->text(), "Mc_ID :=");
    EXPECT_EQ(window->Label21->text(), "Comp:=");
    EXPECT_EQ(window->Command18->toolTip(), "MoveInside Forward");
    EXPECT_EQ(window->Command19->toolTip(), "Retract Back Outside");
    EXPECT_EQ(window->Command4->text(), "INIT");
    EXPECT_EQ(window->Command4->toolTip(), "INIT All Motors");
    EXPECT_EQ(window->Exit->text(), "Connect");
    EXPECT_EQ(window->Command7->text(), "START");
    EXPECT_EQ(window->Label9->text(), "Folder Path");
    EXPECT_EQ(window->Label9->toolTip(), "Click to select Path");
    EXPECT_EQ(window->Query_1->text(), "Query OffLine");
    EXPECT_EQ(window->Register_1->toolTip(), "Offline_query - Uploading");
    EXPECT_EQ(window->Label_R[0]->text(), "Register");
    EXPECT_EQ(window->Label_Q[0]->text(), "Query");
    const std::pair<TextBox*, const char*> boxes[] = {
        {window->Text12, "300"}, {window->Text13, "300"}, {window->Text1, "50"}, {window->Text2, "320"},
        {window->Text3, "320"},  {window->Text4, "50"},   {window->Text5, "15"}, {window->Text6, "6"}};
    for (const auto& [box, text] : boxes)
        EXPECT_EQ(box->text(), text) << box->objectName().toStdString();
    EXPECT_EQ(window->Shape1->fillColor(), 16711935u);

    window->console.Form_Load();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->Text8->isVisible());
    EXPECT_FALSE(window->Image7->isVisible());
    EXPECT_FALSE(window->Frame4->isVisible());
    EXPECT_FALSE(window->Frame2->isVisible());
    EXPECT_FALSE(window->Image6->isVisible());
    for (QWidget* mode : {static_cast<QWidget*>(window->Rough1), static_cast<QWidget*>(window->Polish4)})
        EXPECT_FALSE(mode->isVisible());
    EXPECT_TRUE(window->Register->isVisible());
    EXPECT_EQ(window->Msg->toPlainText(), "VELORA ");
    EXPECT_TRUE(window->console.Timer7->isEnabled());
    EXPECT_TRUE(window->console.Timer1->isEnabled());
    EXPECT_TRUE(window->console.Timer5->isEnabled());
    EXPECT_FALSE(window->console.Timer8->isEnabled());
}

TEST_F(ConsoleLayout, ActivityPicturesChooseTheModePictures)
{
    const Twips tw(window.get());
    window->console.Form_Load();
    window->console.Query_Click();
    StationState& s = stationState();
    EXPECT_EQ(s.ActivitySuffix, "_Q");
    EXPECT_EQ(s.QueryActivity, 1);
    EXPECT_TRUE(s.RegisterActivity.equals(0));
    for (PictureBox* p : {window->Rough1, window->Splits1, window->Polish1, window->Polish2, window->Polish3,
                          window->Polish4}) {
        EXPECT_TRUE(p->isVisible());
        EXPECT_TRUE(p->isEnabled());
    }
    EXPECT_EQ(window->Rough1->x(), tw.x(100));
    EXPECT_EQ(window->Polish2->x(), tw.x(4320));
    EXPECT_TRUE(window->Polish2->pictureFile().endsWith("/Polish_Rough.jpg"));
    EXPECT_TRUE(window->Polish4->pictureFile().endsWith("/Splits_Rough.jpg"));
    EXPECT_TRUE(window->Query->pictureFile().endsWith("/Query1.jpg"));
    EXPECT_TRUE(window->Register->pictureFile().endsWith("/register.jpg"));

    window->console.Register_Click();
    EXPECT_EQ(s.ActivitySuffix, "_R");
    EXPECT_TRUE(s.RegisterActivity.equals(1));
    EXPECT_EQ(s.QueryActivity, 0);
    for (PictureBox* p : {window->Rough1, window->Splits1, window->Polish1}) {
        EXPECT_TRUE(p->isVisible());
        EXPECT_EQ(p->x(), tw.x(2000));
    }
    for (PictureBox* p : {window->Polish2, window->Polish3, window->Polish4}) {
        EXPECT_FALSE(p->isVisible());
        EXPECT_FALSE(p->isEnabled());
    }
    EXPECT_TRUE(window->Rough1->pictureFile().endsWith("/rough.jpg"));
    EXPECT_TRUE(window->Register->pictureFile().endsWith("/register1.jpg"));
    EXPECT_TRUE(window->Query->pictureFile().endsWith("/Query.jpg"));
}

TEST_F(ConsoleLayout, ClickingThePicturesAtTheirPositionsChoosesTheActivity)
{
    window->console.Form_Load();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), window->Query->mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->Query, &press);
    EXPECT_EQ(stationState().ActivitySuffix, "_Q");
    // The picture under the Register position is the Register picture.
    const QPoint registerCentre = window->Register->geometry().center();
    EXPECT_EQ(window->Frame3->childAt(registerCentre), window->Register);
}

TEST_F(ConsoleLayout, LockAndUnlockFollowTheChosenActivity)
{
    window->console.Form_Load();
    window->console.Register_Click();
    window->console.LockConsole();
    EXPECT_FALSE(window->Register->isEnabled());
    EXPECT_FALSE(window->Query->isEnabled());
    EXPECT_FALSE(window->Text8->isEnabled());
    EXPECT_FALSE(window->Rough1->isEnabled());
    EXPECT_TRUE(window->Register->pictureFile().endsWith("/register.jpg"));
    EXPECT_TRUE(window->Image2[0]->isEnabled());

    // The settings strip's pictures and the up/down buttons do nothing while locked.
    QStringList clicked;
    for (PictureBox* picture : {window->Image8, window->Image5, window->Image9, window->Image3})
        QObject::connect(picture, &PictureBox::clicked,
                         [&clicked, picture] { clicked << picture->objectName(); });
    for (QPushButton* button : {window->Command2, window->Command3})
        QObject::connect(button, &QPushButton::clicked,
                         [&clicked, button] { clicked << button->objectName(); });
    auto clickAll = [&] {
        window->model().Frame4->show();
        for (PictureBox* picture : {window->Image8, window->Image5, window->Image9, window->Image3}) {
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), picture->mapToGlobal(QPointF(5, 5)),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(picture, &press);
        }
        window->Command2->click();
        window->Command3->click();
    };
    clickAll();
    EXPECT_TRUE(clicked.isEmpty()) << clicked.join(' ').toStdString();

    window->console.UnlockConsole();
    clickAll();
    EXPECT_EQ(clicked, QStringList({"Image8", "Image5", "Image9", "Image3", "Command2", "Command3"}));
    EXPECT_TRUE(window->Register->isEnabled());
    EXPECT_TRUE(window->Text8->isEnabled());
    EXPECT_FALSE(window->Rough1->isEnabled()) << "mode pictures wait for the next activity choice";
    EXPECT_TRUE(window->Register->pictureFile().endsWith("/register1.jpg"));
    EXPECT_TRUE(window->Query->pictureFile().endsWith("/Query.jpg"));
}

TEST_F(ConsoleLayout, StartPictureRunsTheChosenSequence)
{
    QStringList ran;
    window->console.hooks().Label_R_Click = [&] {
        ran << "R";
        EXPECT_FALSE(window->Image1->isEnabled());
        EXPECT_FALSE(window->Image2[1]->isEnabled());
    };
    window->console.hooks().Label_Q_Click = [&] { ran << "Q"; };
    window->console.Form_Load();
    window->console.Image7_Click(); // no activity yet: registration
    window->console.Query_Click();
    window->console.Image7_Click();
    EXPECT_EQ(ran, QStringList({"R", "Q"}));
    EXPECT_TRUE(window->Image1->isEnabled());
    EXPECT_TRUE(window->Image2[1]->isEnabled());
    EXPECT_FALSE(window->Image7->isVisible());
}

TEST_F(ConsoleLayout, EscapeAnywhereInTheWindowIsNoted)
{
    window->console.Form_Load();
    window->Msg->setFocus();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window->Msg, &escape);
    EXPECT_TRUE(stationState().EscapePressed);
}

TEST_F(ConsoleLayout, ServiceActionsUseTheInjectedSystem)
{
    window->console.Form_Load();
    window->console.Label11_Click();
    EXPECT_EQ(env.openedUrls, QStringList{"http://example.invalid/download"});
    window->model().Frame4->show();
    window->console.Image3_Click();
    ASSERT_EQ(env.started.size(), 1);
    EXPECT_EQ(env.started[0], QStringList{QDir(env.folder.path()).filePath("VELORA1.bat")});
    EXPECT_FALSE(window->Frame4->isVisible());
    EXPECT_EQ(window->console.msgText(), "");

    // A batch file that cannot be started is reported; the console ends as after a start.
    env.startFails = true;
    window->model().Frame4->show();
    window->console.Image3_Click();
    EXPECT_EQ(window->console.msg1Text(), "Cannot start " + QDir(env.folder.path()).filePath("VELORA1.bat"));
    EXPECT_FALSE(window->Frame4->isVisible());
    EXPECT_EQ(window->console.msgText(), "");
}

} // namespace

namespace {

TEST(TextBoxTyping, TypedTextKeepsItsOrderAndProgramTextShowsFromItsStart)
{
    TextBox box;
    box.setShowStart(true);
    box.setText(QStringLiteral("old"));
    box.selectAll();
    for (const QChar c : QStringLiteral("LOT-7")) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&box, &key);
    }
    EXPECT_EQ(box.text(), "LOT-7");
    box.setText(QStringLiteral("Peak= 0.43829581"));
    EXPECT_EQ(box.cursorPosition(), 0);
}

} // namespace
