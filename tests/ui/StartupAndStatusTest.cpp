#include "UiTestSupport.h"

#include "ConsoleWindow.h"
#include "core/BlockingCall.h"
#include "core/ConsoleStatus.h"
#include "ui/PictureBox.h"
#include "ui/StartupSplash.h"
#include "ui/TextBox.h"

#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <memory>

namespace {

class StartupAndStatusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetStationState();
        window = std::make_unique<ConsoleWindow>(console.make());
    }

    QString splashText(const char* name) const
    {
        return splash.findChild<QLabel*>(QLatin1String(name))->text();
    }

    ConsoleEnvironment console;
    std::unique_ptr<ConsoleWindow> window;
    StartupSplash splash;
};

TEST_F(StartupAndStatusTest, SplashShowsTheStartUntilTheConsoleShows)
{
    splash.showNow();
    ASSERT_TRUE(splash.isVisible());
    EXPECT_EQ(splashText("SplashTitle"), "VELORA");
    EXPECT_EQ(splashText("SplashStarting"), "Starting...");
    EXPECT_EQ(splashText("SplashStep"), "Loading the console");

    splash.follow(*window, window->console);
    QStringList stepsDuringLoad;
    bool splashVisibleInLoad = false;
    bool consoleVisibleInLoad = true;
    window->console.hooks().connectToServer = [&](const QString&) {
        splashVisibleInLoad = splash.isVisible();
        consoleVisibleInLoad = window->isVisible();
        window->console.setMsg(QStringLiteral("Machine Hardware Not Connected !!! "));
        stepsDuringLoad << splash.step();
        {
            BlockingCall call(QStringLiteral("Waiting for the spectrometer software"));
            stepsDuringLoad << splash.step();
        }
    };
    window->console.Form_Load();
    EXPECT_TRUE(splashVisibleInLoad);
    EXPECT_FALSE(consoleVisibleInLoad);
    EXPECT_EQ(stepsDuringLoad, QStringList({"Machine Hardware Not Connected !!!",
                                            "Waiting for the spectrometer software (0 s)"}));
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(splash.isVisible());
    // The console's own first line is untouched by the splash.
    EXPECT_EQ(window->console.msgText(), "VELORA ");
    window->console.Timer7->setEnabled(false);
}

TEST_F(StartupAndStatusTest, TitleFollowsTheSequenceAndTheWaitThenReturnsToTheCaption)
{
    ConsoleStatus& status = window->console.status();
    QLabel* line = window->WaitLine;
    EXPECT_EQ(window->windowTitle(), "VELORA ");
    {
        ActivityCaption caption(status, QStringLiteral("Registration"), QStringLiteral("LOT123-7.2"));
        EXPECT_EQ(window->windowTitle(), "VELORA - Registration - stone LOT123-7.2");
        caption.setScan(3, 8);
        EXPECT_EQ(window->windowTitle(), "VELORA - Registration - stone LOT123-7.2 - scan 3 of 8");

        // A short wait is not shown; from a second on it is, in the title and on the wait line.
        emit BlockingCall::monitor().waiting(QStringLiteral("Waiting for the server"), 0);
        EXPECT_FALSE(line->isVisibleTo(window.get()));
        emit BlockingCall::monitor().waiting(QStringLiteral("Waiting for the server"), 12);
        EXPECT_TRUE(line->isVisibleTo(window.get()));
        EXPECT_EQ(line->text(), "Waiting for the server (12 s)");
        EXPECT_EQ(window->windowTitle(),
                  "VELORA - Registration - stone LOT123-7.2 - scan 3 of 8 - Waiting for the server (12 s)");
        emit BlockingCall::monitor().finished();
        EXPECT_FALSE(line->isVisibleTo(window.get()));
        EXPECT_EQ(window->windowTitle(), "VELORA - Registration - stone LOT123-7.2 - scan 3 of 8");
    }
    EXPECT_EQ(window->windowTitle(), "VELORA ");
}

TEST_F(StartupAndStatusTest, WaitLineShowsAboveTheInitialisationBanner)
{
    ConsoleModel& m = window->consoleModel;
    // As the motor initialisation shows its banner over the lower half of the console.
    m.Image6->moveTop(400);
    m.Image6->raise();
    m.Image6->show();
    emit BlockingCall::monitor().waiting(QStringLiteral("Waiting for the server"), 3);
    QLabel* line = window->WaitLine;
    ASSERT_TRUE(window->Image6->geometry().contains(line->geometry()));
    EXPECT_EQ(window->Frame3->childAt(line->geometry().center()), line);
    emit BlockingCall::monitor().finished();
}

TEST_F(StartupAndStatusTest, WaitLineLiesOnNoDesignedControl)
{
    const QRect line = window->WaitLine->geometry();
    for (QWidget* control : std::initializer_list<QWidget*>{
             window->Label19, window->Label41, window->Label20, window->Label18, window->Label21,
             window->Label22, window->Text9, window->Msg, window->Text8, window->Image7})
        EXPECT_FALSE(line.intersects(control->geometry())) << control->objectName().toStdString();
}

} // namespace
