#include "SpectroTestSupport.h"
#include "support/TestConsole.h"

namespace {

class Channel : public SpectroFixture
{
};

TEST_F(Channel, ConnectionSendsRequestModeFirstAndStopsTheRetries)
{
    window->console.Timer5->setEnabled(true);
    spectrometer->connectToServer(QStringLiteral("OPUS|System"));
    const QStringList lines = sim.receivedLines();
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("CONNECT OPUS|System"));
    // The reply timeout applied after connecting (1000 s) is the far end's too: a bridge's DDE calls wait
    // as long. The simulated software takes it.
    EXPECT_EQ(lines[1], QStringLiteral("TIMEOUT 1000000"));
    EXPECT_EQ(lines[2], QStringLiteral("ADVISE REQUEST_MODE"));
    const std::vector<SimSpectrometer::Exchange> exchanges = sim.log();
    ASSERT_GE(exchanges.size(), 4u);
    EXPECT_EQ(exchanges[3].bytes, "OK\n");
    EXPECT_FALSE(window->console.Timer5->isEnabled());
    // The health check ran to its end and handed over to the server calls.
    EXPECT_EQ(serverCalls, (QStringList{"Login", "ReadEnvironmentPage", "SendMachineStatus"}));
}

TEST_F(Channel, ConnectionRefusedTakesTheFailurePathAndKeepsRetrying)
{
    window->console.Timer5->setEnabled(true);
    sim.stop();
    spectrometer->connectToServer(QStringLiteral("OPUS|System"));
    EXPECT_EQ(window->model.msgText(), QStringLiteral("Machine Hardware Not Connected !!! "));
    EXPECT_FALSE(linkText().isEmpty());
    EXPECT_TRUE(window->console.Timer5->isEnabled());
    EXPECT_TRUE(serverCalls.isEmpty());
}

TEST_F(Channel, UnknownTopicIsRefused)
{
    window->console.Timer5->setEnabled(true);
    spectrometer->connectToServer(QStringLiteral("OPUS|Other"));
    EXPECT_EQ(window->model.msgText(), QStringLiteral("Machine Hardware Not Connected !!! "));
    EXPECT_EQ(linkText(), QStringLiteral("Unknown topic OPUS|Other"));
    EXPECT_TRUE(window->console.Timer5->isEnabled());
    EXPECT_EQ(sim.advisedItems(), QStringList());
}

TEST_F(Channel, TimerRetriesUntilTheSoftwareAnswers)
{
    sim.setRefuseItems(true);
    window->console.Timer5->setEnabled(true);
    // Timer5: 10 s nominal, 200 ms here.
    ASSERT_TRUE(waitUntil([&] { return sim.connectionCount() >= 2; }, 3000));
    EXPECT_EQ(window->model.msgText(), QStringLiteral("Machine Hardware Not Connected !!! "));
    sim.setRefuseItems(false);
    ASSERT_TRUE(waitUntil([&] { return !window->console.Timer5->isEnabled(); }, 3000));
    ASSERT_TRUE(waitUntil([&] { return serverCalls.size() == 3; }, 3000));
}

struct ReplyCase
{
    const char* name;
    QByteArray reply;
    QString field0;
    QString field1;
    QString field2;
};

class ReplyFields : public SpectroFixture, public ::testing::WithParamInterface<ReplyCase>
{
};

TEST_P(ReplyFields, AreCutFromTheRequestedReply)
{
    const ReplyCase& c = GetParam();
    openLink();
    window->model.Text7[0]->setText(QStringLiteral("old"));
    window->model.Text7[2]->setText(QStringLiteral("old"));
    sim.setReplyFor(QStringLiteral("PROBE"), c.reply);
    sendAndServe(QStringLiteral("PROBE"));
    EXPECT_EQ(window->model.Text7[0]->text(), c.field0);
    EXPECT_EQ(window->model.Text7[1]->text(), c.field1);
    EXPECT_EQ(window->model.Text7[2]->text(), c.field2);
    EXPECT_EQ(sim.receivedLines().last(), QStringLiteral("REQUEST PROBE"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReplyFields,
    ::testing::Values(
        ReplyCase{"empty", "", "", "", ""}, ReplyCase{"one", "X", "", "", ""},
        ReplyCase{"seven", "ABCDEFG", "EFG", "", ""}, ReplyCase{"eight", "ABCDEFGH", "EFGH", "H", ""},
        ReplyCase{"measurement", "OK\r\n1\r\n/data/x/L-101-ROUGH.0, 1 AB", "1\r\n/data/x/L-101-ROUGH.0, 1 AB",
                  "/data/x/L-101-ROUGH.0, 1 AB", "/data/x/L-101-ROUGH.0"},
        ReplyCase{"blank_at_nine", "1234567abcdefgh ijk", "567abcdefgh ijk", "abcdefgh ijk", ""},
        ReplyCase{"blank_at_ten", "1234567abcdefghi jk", "567abcdefghi jk", "abcdefghi jk", "abcdefgh"},
        ReplyCase{"no_blank", "OKabcdefghijklmnop", "cdefghijklmnop", "fghijklmnop", ""},
        ReplyCase{"nul_bytes", QByteArray("OK\0\0\0\0\0\0\0\0 x", 12), QString(QChar(0)).repeated(6) + " x",
                  QString(QChar(0)).repeated(3) + " x", ""},
        ReplyCase{"utf8",
                  "OK\r\n1\r\nC:\\Daten\\Pr\xc3\xbc"
                  "fung.0; 1",
                  "1\r\nC:\\Daten\\Prüfung.0; 1", "C:\\Daten\\Prüfung.0; 1", "C:\\Daten\\Prüfung.0"},
        ReplyCase{"latin1", "OK\xb0\xb0\xb0\xb0\xb0\xb0 \xe9t\xe9", "\u00b0\u00b0\u00b0\u00b0 \u00e9t\u00e9",
                  "\u00b0 \u00e9t\u00e9", ""}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

TEST_F(Channel, HundredThousandCharacterReplyIsKeptWhole)
{
    openLink();
    const QByteArray reply = "OK" + QByteArray(99998, 'x');
    sim.setReplyFor(QStringLiteral("BIG"), reply);
    sendAndServe(QStringLiteral("BIG"));
    EXPECT_EQ(window->model.msg1Text().size(), 100000);
    EXPECT_EQ(window->model.Text7[0]->text().size(), 99996);
    EXPECT_EQ(window->model.Text7[1]->text().size(), 99993);
    EXPECT_EQ(linkText().size(), 100000);
}

TEST_F(Channel, ReplyGoesToTheLinkTextAndMsg1)
{
    openLink();
    sim.setReplyFor(QStringLiteral("PROBE"), "OK reply text");
    sendAndServe(QStringLiteral("PROBE"));
    EXPECT_EQ(linkText(), QStringLiteral("OK reply text"));
    EXPECT_EQ(window->model.msg1Text(), QStringLiteral("OK reply text"));
}

struct DispatchCase
{
    int pending;
    const char* amplitude; // expected afterwards
    const char* position;
    int pendingAfter; // a code no branch knows is left alone
};

class PendingReplyDispatch : public SpectroFixture, public ::testing::WithParamInterface<DispatchCase>
{
};

TEST_P(PendingReplyDispatch, OneBranchTakesCharactersThreeToTwelve)
{
    const DispatchCase& c = GetParam();
    StationState& s = stationState();
    s.PeakAmplitude = "amp";
    s.PeakPosition = "pos";
    openLink();
    sim.setReplyFor(QStringLiteral("PROBE"), "OK1234567890tail");
    s.PendingReply = c.pending;
    sendAndServe(QStringLiteral("PROBE"));
    EXPECT_EQ(s.PeakAmplitude.toText().toStdString(), c.amplitude);
    EXPECT_EQ(s.PeakPosition.toStdString(), c.position);
    EXPECT_TRUE(s.PendingReply.equals(c.pendingAfter));
}

INSTANTIATE_TEST_SUITE_P(Table, PendingReplyDispatch,
                         ::testing::Values(DispatchCase{0, "amp", "pos", 0},
                                           DispatchCase{1, "1234567890", "pos", 0},
                                           DispatchCase{2, "amp", "1234567890", 0},
                                           DispatchCase{5, "amp", "pos", 5}));

TEST_F(Channel, ShortReplyGivesFewerCharacters)
{
    openLink();
    sim.setReplyFor(QStringLiteral("PROBE"), "OK12");
    stationState().PendingReply = 2;
    sendAndServe(QStringLiteral("PROBE"));
    EXPECT_EQ(stationState().PeakPosition, QStringLiteral("12"));
}

TEST_F(Channel, NotificationRequestsTheLastItemSent)
{
    openLink();
    sim.setReplyFor(QStringLiteral("FIRST"), "OKfirst");
    sim.setReplyFor(QStringLiteral("SECOND"), "OKsecond");
    stationState().PendingReply = 1;
    ASSERT_TRUE(spectrometer->SendSpectrometerCommand(QStringLiteral("FIRST")));
    ASSERT_TRUE(spectrometer->SendSpectrometerCommand(QStringLiteral("SECOND")));
    ASSERT_TRUE(waitUntil([&] { return notifications == 2; }, 3000));
    EXPECT_EQ(stationState().PeakAmplitude.toText(), QStringLiteral("second"));
    const QStringList lines = sim.receivedLines();
    EXPECT_EQ(lines.filter(QStringLiteral("REQUEST")), (QStringList{"REQUEST SECOND", "REQUEST SECOND"}));
}

TEST_F(Channel, LinkErrorCodes)
{
    window->model.ddeLink->setText(QStringLiteral("before"));
    spectrometer->ddeLink_LinkError(5);
    EXPECT_EQ(linkText(), QStringLiteral("before"));
    spectrometer->ddeLink_LinkError(1);
    EXPECT_EQ(linkText(), QStringLiteral("Data in wrong format."));
    spectrometer->ddeLink_LinkError(11);
    EXPECT_EQ(linkText(), QStringLiteral("Out of memory for DDE."));
}

TEST_F(Channel, RefusedItemFailsTheSendWithTheSoftwaresDescription)
{
    openLink();
    sim.setRefuseItems(true);
    EXPECT_FALSE(spectrometer->SendSpectrometerCommand(QStringLiteral("REQUEST_MODE")));
    EXPECT_EQ(spectrometer->lastSendError(), QStringLiteral("Item refused"));
    spectrometer->Sample_Click();
    EXPECT_EQ(linkText(), QStringLiteral("Item refused"));
}

TEST_F(Channel, ItemWithALineBreakIsNeverSent)
{
    openLink();
    EXPECT_FALSE(spectrometer->SendSpectrometerCommand(QStringLiteral("DIAG_STATUS\nEXECUTE CLOSE_OPUS")));
    EXPECT_FALSE(spectrometer->SendSpectrometerCommand(QStringLiteral("DIAG_STATUS\r")));
    EXPECT_TRUE(spectrometer->SendSpectrometerCommand(QStringLiteral("DIAG_STATUS")));
    EXPECT_EQ(sim.receivedLines(),
              (QStringList{"CONNECT OPUS|System", "TIMEOUT 5000", "ADVISE DIAG_STATUS"}));
}

TEST_F(Channel, SilentSoftwareFailsAfterTheReplyTimeoutAndEveryLaterSend)
{
    openLink();
    window->console.link()->setReplyTimeout(3);
    sim.setNeverAnswer(true);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(spectrometer->SendSpectrometerCommand(QStringLiteral("DIAG_STATUS")));
    EXPECT_GE(timer.elapsed(), 250);
    EXPECT_LT(timer.elapsed(), 2000);
    sim.setNeverAnswer(false);
    EXPECT_FALSE(spectrometer->SendSpectrometerCommand(QStringLiteral("DIAG_STATUS")));
    openLink();
    EXPECT_TRUE(spectrometer->SendSpectrometerCommand(QStringLiteral("DIAG_STATUS")));
}

TEST_F(Channel, DroppedLinkFailsEverySendUntilTheNextConnect)
{
    openLink();
    ASSERT_TRUE(spectrometer->SendSpectrometerCommand(QStringLiteral("REQUEST_MODE")));
    sim.dropConnections();
    EXPECT_FALSE(spectrometer->SendSpectrometerCommand(QStringLiteral("DIAG_STATUS")));
    EXPECT_FALSE(spectrometer->SendSpectrometerCommand(QStringLiteral("DIAG_STATUS")));
    EXPECT_FALSE(window->console.link()->isConnected());
    sim.clearLog();
    spectrometer->Exit_Click();
    EXPECT_TRUE(window->console.link()->isConnected());
    EXPECT_EQ(sim.connectionCount(), 2);
    // The new connection is told the timeout again, once.
    EXPECT_EQ(sim.receivedLines().mid(0, 3),
              (QStringList{"CONNECT OPUS|System", "TIMEOUT 1000000", "ADVISE REQUEST_MODE"}));
    EXPECT_EQ(window->model.msgText().left(17), QStringLiteral("Peak Amplitude = "));
}

TEST(ChannelWithoutLink, EverySendFailsAndTheConnectionReportsIt)
{
    resetStationState();
    ConsoleEnvironment console;
    TestConsole window(console.make(0.001));
    Spectrometer spectrometer(window.console, window.op, {});
    EXPECT_FALSE(spectrometer.SendSpectrometerCommand(QStringLiteral("REQUEST_MODE")));
    spectrometer.connectToServer(QStringLiteral("OPUS|System"));
    EXPECT_EQ(window.model.msgText(), QStringLiteral("Machine Hardware Not Connected !!! "));
    spectrometer.Image1_Click();
    EXPECT_EQ(window.model.msgText(), QStringLiteral("Machine Hardware Not Connected !!! "));
    EXPECT_TRUE(window.console.Timer5->isEnabled());
}

} // namespace
