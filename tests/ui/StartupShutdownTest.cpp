#include "UiTestSupport.h"

#include "ConsoleWindow.h"
#include "core/SpectrometerLink.h"
#include "ui/ClickableLabel.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

// 26 values as the program writes them.
QByteArray configLines(const QList<QByteArray>& lines)
{
    QByteArray out;
    for (const QByteArray& line : lines)
        out += line + "\r\n";
    return out;
}

QList<QByteArray> typicalLines()
{
    return {"\"3\"",  "\"300\"", "\"300\"",     "\"50\"",   "\"320\"",        "\"320\"",  "\"50\"",
            "\"15\"", "\"6\"",   "\"/data\"",   "2",        "\"POLISH.XPM\"", "\"LOT9\"", "1200",
            "900",    "4",       "\"BENCH-7\"", "\"acme\"", "8000",           "5300",     "1",
            "1",      "0",       "\"212030\"",  "2",        "\"8.8.4\""};
}

class FakeLink : public SpectrometerLink
{
public:
    explicit FakeLink(QStringList& executed)
        : executed(executed)
    {
    }
    bool acceptClose = true;
    QStringList& executed;
    bool openConversation(const QString&, int, QString*) override { return true; }
    void setReplyTimeout(int) override {}
    bool advise(const QString&, QString*) override { return true; }
    bool request(const QString&, QByteArray*, QString*) override { return true; }
    bool execute(const QString& command, QString* error) override
    {
        executed << command;
        if (!acceptClose && error)
            *error = QStringLiteral("software gone");
        return acceptClose;
    }
    bool isConnected() const override { return true; }
};

class StartupShutdown : public ::testing::Test
{
protected:
    void SetUp() override { resetStationState(); }

    ConsoleWindow& start(StationEnvironment e)
    {
        window = std::make_unique<ConsoleWindow>(std::move(e));
        window->console.Form_Load();
        return *window;
    }

    ConsoleEnvironment env;
    std::unique_ptr<ConsoleWindow> window;
};

TEST_F(StartupShutdown, WithoutConfigurationFileTheDefaultsApplyAndNothingIsWritten)
{
    ConsoleWindow& w = start(env.make());
    const StationState& s = stationState();
    EXPECT_TRUE(s.ComPort.equals(3));
    EXPECT_EQ(s.UserName, "");
    EXPECT_EQ(s.CompanyCode, "");
    EXPECT_EQ(w.Label41->text(), "001");
    EXPECT_EQ(w.Label18->text(), "");
    EXPECT_EQ(w.Label9->text(), "Folder Path");
    EXPECT_EQ(w.console.Timer8->interval(), 0);
    EXPECT_EQ(w.console.msgText(), "VELORA ");
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint) << "layout mode 0 is topmost";
    EXPECT_FALSE(w.mask().isEmpty()) << "layout mode 0 has a rounded shape";
    const QRect screen = w.screen()->geometry();
    EXPECT_NEAR(w.frameGeometry().center().x(), screen.center().x(), 2);
    EXPECT_NEAR(w.frameGeometry().center().y(), screen.center().y(), 2);

    SystemBoxCloser closer;
    w.close();
    EXPECT_FALSE(QFile::exists(env.folder.filePath("d_VELORA.txt"))) << "the program never creates the file";
    ASSERT_EQ(closer.shown.size(), 1) << "no link: the closing error is reported";
    EXPECT_EQ(closer.shown[0].text, "ERROR CLOSING or PROGRAM ALREADY CLOSED !!!");
    EXPECT_EQ(closer.shown[0].title, "VELORA");
    EXPECT_TRUE(w.console.hasEnded());
}

TEST_F(StartupShutdown, ConfigurationFillsFieldsBoxesAndLabels)
{
    env.writeConfig(configLines(typicalLines()));
    ConsoleWindow& w = start(env.make());
    const StationState& s = stationState();
    EXPECT_EQ(s.ComPort.toText(), "3");
    EXPECT_EQ(w.Text6->text(), "6");
    EXPECT_EQ(s.DataFolder.toText(), "/data");
    EXPECT_TRUE(s.ModeIndex.isNumber());
    EXPECT_EQ(s.ExperimentFile.toText(), "ROUGH.XPM") << "field 12 has no effect at start";
    EXPECT_EQ(w.Text8->text(), "LOT9");
    EXPECT_EQ(w.Label41->text(), "005");
    EXPECT_EQ(w.Label18->text(), "BENCH-7");
    EXPECT_EQ(w.Label22->text(), "acme");
    EXPECT_EQ(s.OpusPathFromVersion, 1);
    EXPECT_EQ(s.ServerMode, 0);
    EXPECT_EQ(s.InstrumentFolder, "212030");
    EXPECT_EQ(s.CheckIntervalMinutes, 2);
    EXPECT_EQ(s.OpusVersion.toText(), "8.8.4");
    EXPECT_EQ(s.ProgramVersion.toText(), "1-0-0");
    EXPECT_EQ(w.Label11->text(), "1-0-0");
    EXPECT_EQ(w.Label9->text(), "/data");
    EXPECT_EQ(w.console.Timer8->interval(), 60000);
    EXPECT_TRUE(w.Frame1->isVisible()) << "layout mode 1 shows the motion parameter panel";
    EXPECT_EQ(w.pos(), QPoint(Twips(&w).x(1200), Twips(&w).y(900)));
}

TEST_F(StartupShutdown, RewriteKeepsEveryValueButTheGeometryAndExperimentFile)
{
    QList<QByteArray> lines = typicalLines();
    env.writeConfig(configLines(lines));
    QStringList executed;
    StationEnvironment e = env.make();
    e.makeSpectrometerLink = [&executed] { return std::make_unique<FakeLink>(executed); };
    ConsoleWindow& w = start(std::move(e));
    w.close();
    EXPECT_EQ(executed, QStringList{"CLOSE_OPUS"});

    const QList<QByteArray> written = env.readConfig().split('\n');
    ASSERT_GE(written.size(), 26);
    for (int i = 0; i < 26; ++i) {
        const QByteArray line = written[i].chopped(1); // drop CR
        if (i == 11)
            EXPECT_EQ(line, "\"ROUGH.XPM\"");
        else if (i == 13 || i == 14 || i == 18 || i == 19)
            EXPECT_FALSE(line.startsWith('"')) << "geometry is written as a number: " << line.constData();
        else
            EXPECT_EQ(line, lines[i]) << "field " << i + 1;
    }
}

// A site that types its paths in UTF-8 keeps them in UTF-8; a Windows-1252 file stays Windows-1252.
TEST_F(StartupShutdown, RewriteKeepsTheFileEncoding)
{
    for (const QByteArray& folder :
         {QByteArray("\"/srv/Donn\xc3\xa9\x65s \xe2\x82\xac\""), QByteArray("\"C:\\Donn\xe9\x65s \x80\"")}) {
        resetStationState();
        QList<QByteArray> lines = typicalLines();
        lines[9] = folder;
        env.writeConfig(configLines(lines));
        QStringList executed;
        StationEnvironment e = env.make();
        e.makeSpectrometerLink = [&executed] { return std::make_unique<FakeLink>(executed); };
        ConsoleWindow& w = start(std::move(e));
        EXPECT_TRUE(w.Label9->text().endsWith(QStringLiteral(u"Données €")))
            << w.Label9->text().toStdString();
        w.close();
        EXPECT_EQ(env.readConfig().split('\n').value(9), folder + '\r');
    }
}

TEST_F(StartupShutdown, OddValuesStartWithTheRulesDefaults)
{
    QList<QByteArray> lines = typicalLines();
    lines[0] = "3";        // bare number: written back quoted
    lines[13] = "-500";    // clamped to 0
    lines[14] = "100";     // clamped to 400
    lines[16] = "";        // user name default
    lines[17] = "\" \"";   // a blank stays a blank
    lines[21] = "40000";   // out of 16-bit range: field unchanged
    lines[22] = "\"abc\""; // not a number: field unchanged
    lines[24] = "2.5";     // rounds half to even
    lines[25] = "";        // version default
    env.writeConfig(configLines(lines));
    ConsoleWindow& w = start(env.make());
    StationState& s = stationState();
    EXPECT_TRUE(s.WindowLeft.equals(0));
    EXPECT_TRUE(s.WindowTop.equals(400));
    EXPECT_EQ(s.UserName, "ZENTI");
    EXPECT_EQ(s.CompanyCode, " ");
    EXPECT_EQ(s.OpusPathFromVersion, 0);
    EXPECT_EQ(s.ServerMode, 0);
    EXPECT_EQ(s.CheckIntervalMinutes, 2);
    EXPECT_EQ(s.OpusVersion.toText(), "9.1.4");

    w.move(w.x(), 0); // a window at the very top is written as 400
    SystemBoxCloser closer;
    w.close();
    const QList<QByteArray> written = env.readConfig().split('\n');
    EXPECT_EQ(written[0], "\"3\"\r");
    EXPECT_EQ(written[14], "400\r");
}

TEST_F(StartupShutdown, DamagedFilesNeverStopTheStart)
{
    const QByteArray cases[] = {
        QByteArray(),                              // empty
        QByteArray("\"3\"\r\n\"30"),               // truncated inside a quote
        QByteArray(10 * 1024 * 1024, '\x01'),      // 10 MB of binary
        QByteArray(100000, '7') + "\r\n\"x\"\r\n", // a line of 100 000 characters
        configLines(typicalLines().mid(0, 20)),    // only 20 lines
    };
    for (const QByteArray& content : cases) {
        resetStationState();
        env.writeConfig(content);
        ConsoleWindow w(env.make());
        w.console.Form_Load();
        EXPECT_TRUE(w.isVisible());
        SystemBoxCloser closer;
        w.close();
        const QByteArray written = env.readConfig();
        EXPECT_EQ(written.count("\r\n"), 26) << "rewritten sanely";
    }
}

TEST_F(StartupShutdown, TwentyLineFileLeavesTheLastSixEmpty)
{
    env.writeConfig(configLines(typicalLines().mid(0, 20)));
    start(env.make());
    const StationState& s = stationState();
    EXPECT_TRUE(s.WindowMode.isEmpty());
    EXPECT_EQ(s.OpusPathFromVersion, 0);
    EXPECT_EQ(s.CheckIntervalMinutes, 0);
    EXPECT_EQ(s.InstrumentFolder, "");
    EXPECT_EQ(s.OpusVersion.toText(), "9.1.4");
}

TEST_F(StartupShutdown, ClosedControllerPortEndsTheProgramWithoutSaving)
{
    env.writeConfig(configLines(typicalLines()));
    const QByteArray before = env.readConfig();
    ConsoleWindow& w = start(env.make());
    bool ended = false;
    QObject::connect(&w.console, &StationConsole::ended, [&] { ended = true; });
    SystemBoxCloser closer;
    ASSERT_TRUE(waitUntil([&] { return ended; }, 5000)) << "Timer1 (50 s scaled) must fire";
    ASSERT_EQ(closer.shown.size(), 1);
    EXPECT_EQ(closer.shown[0].title, "Controller ERROR");
    EXPECT_EQ(
        closer.shown[0].text,
        "USB Controller Comport Error \r\nPlease check Com Port or USB Cables and Restart the Program !!!");
    EXPECT_EQ(closer.shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(env.terminations, QList<int>{1});
    EXPECT_EQ(env.readConfig(), before) << "no unload, no save";
}

TEST_F(StartupShutdown, CommandLineRunsAtStart)
{
    StationEnvironment e = env.make();
    // Word for word, Qt's own options and blanks inside an argument included.
    e.commandLine = QStringList{"opus.exe", "/quiet", "with space", "-platform", "offscreen", "-style", "x"};
    start(std::move(e));
    EXPECT_EQ(env.started, (QList<QStringList>{{"opus.exe", "/quiet", "with space", "-platform", "offscreen",
                                                "-style", "x"}}));
}

TEST_F(StartupShutdown, StationNumberFollowsTheThreeDigitPattern)
{
    const std::pair<QByteArray, QString> cases[] = {{"-5", "-004"}, {"-1", "000"},  {"-101", "-100"},
                                                    {"8", "009"},   {"998", "999"}, {"1234", "1235"}};
    for (const auto& [field, shown] : cases) {
        resetStationState();
        QList<QByteArray> lines = typicalLines();
        lines[15] = field;
        env.writeConfig(configLines(lines));
        EXPECT_EQ(start(env.make()).Label41->text(), shown) << field.constData();
    }
}

TEST_F(StartupShutdown, LayoutModesTwoAndOther)
{
    QList<QByteArray> lines = typicalLines();
    lines[20] = "2";
    env.writeConfig(configLines(lines));
    ConsoleWindow& full = start(env.make());
    const QRect screen = full.screen()->geometry();
    EXPECT_EQ(full.geometry().width(), screen.width());
    EXPECT_EQ(full.geometry().height(), screen.height() - Twips(&full).y(100));
    EXPECT_EQ(full.pos(), screen.topLeft());
    EXPECT_NEAR(full.Frame3->geometry().center().y(), screen.height() / 2, 1) << "centred on the screen";
    EXPECT_NEAR(full.Frame3->geometry().center().x(), screen.width() / 2, 1);

    resetStationState();
    lines[20] = "5";
    env.writeConfig(configLines(lines));
    ConsoleWindow& other = start(env.make());
    EXPECT_FALSE(other.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(other.size(), QSize(Twips(&other).x(8000), Twips(&other).y(5300)));
}

TEST_F(StartupShutdown, MinuteCountersOfHealthCheckAndBackground)
{
    ConsoleWindow& w = start(env.make());
    StationState& s = stationState();
    int checks = 0;
    w.console.hooks().Image1_Click = [&] { ++checks; };
    s.CheckIntervalMinutes = 2;
    for (int minute = 0; minute < 6; ++minute)
        w.console.Timer3_Timer();
    EXPECT_EQ(checks, 2) << "every N + 1 minutes";
    w.model().Image1->setEnabled(false);
    w.console.Timer3_Timer();
    w.console.Timer3_Timer();
    w.console.Timer3_Timer();
    EXPECT_EQ(checks, 2) << "paused while the picture is disabled";

    s.BackgroundDone = true;
    s.BackgroundAgeMinutes = StoredValue();
    w.console.Timer8_Timer();
    w.console.Timer8_Timer();
    EXPECT_TRUE(s.BackgroundDone) << "age equal to the interval keeps the background fresh";
    w.console.Timer8_Timer();
    EXPECT_FALSE(s.BackgroundDone);
    EXPECT_TRUE(s.BackgroundAgeMinutes.equals(0));
}

} // namespace
