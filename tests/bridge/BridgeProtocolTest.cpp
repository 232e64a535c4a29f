#include "WineBridge.h"

#include "spectro/TcpSpectrometerLink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <iostream>

namespace {

// The bridge and the double under Wine, spoken to from Linux over TCP as the station does.
class BridgeProtocolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString reason = WineBridge::unavailableReason();
        if (!reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
    }

    void start(const QStringList& doubleSwitches = {}, const QStringList& bridgeOptions = {})
    {
        ASSERT_TRUE(wine.startDouble(doubleSwitches)) << wine.error().toStdString();
        ASSERT_TRUE(wine.startBridge(bridgeOptions)) << wine.error().toStdString();
        ASSERT_TRUE(client.connectTo(wine.port()));
    }
    void startConnected(const QStringList& doubleSwitches = {}, const QStringList& bridgeOptions = {})
    {
        start(doubleSwitches, bridgeOptions);
        ASSERT_EQ(client.transact("CONNECT OPUS|System"), "OK\n");
    }
    QString dataFolder() const
    {
        const QString folder = wine.folder() + QStringLiteral("/data");
        QDir().mkpath(folder);
        return folder;
    }

    WineBridge wine;
    LinkClient client;
};

TEST_F(BridgeProtocolTest, ConversationAdviseRequestAndExecute)
{
    startConnected();

    // Every item runs as a command; its result is announced after the answer and then requested. The
    // link is warm: the double records a hot one as such.
    EXPECT_EQ(client.transact("ADVISE READ_PARAMETER PKA"), "OK\n");
    EXPECT_EQ(client.take(), "NOTIFY READ_PARAMETER PKA\n");
    EXPECT_EQ(client.transact("REQUEST READ_PARAMETER PKA"), "OK 14\nOK0.43829581\r\n");

    // The next advise replaces the link: the double sees the previous item's link stopped first.
    EXPECT_EQ(client.transact("ADVISE DIAG_STATUS MESSAGE"), "OK\n");
    EXPECT_EQ(client.take(), "NOTIFY DIAG_STATUS MESSAGE\n");
    EXPECT_EQ(client.transact("REQUEST DIAG_STATUS MESSAGE"), "OK 14\nOK0         \r\n");

    // A measurement writes its file where the command says and answers with its path.
    const QString folder = dataFolder();
    const QByteArray measure =
        "MeasureSample (0, {EXP='ROUGH.XPM', NAM='LOT7-101.0' ,PTH='" + folder.toUtf8() + "'})";
    EXPECT_EQ(client.transact("ADVISE " + measure), "OK\n");
    EXPECT_EQ(client.take(), "NOTIFY " + measure + "\n");
    const QByteArray reply = "OK\r\n1\r\n" + folder.toUtf8() + "\\LOT7-101.0, 1 AB\r\n";
    EXPECT_EQ(client.transact("REQUEST " + measure), "OK " + QByteArray::number(reply.size()) + "\n" + reply);
    QFile measured(folder + QStringLiteral("/LOT7-101.0"));
    ASSERT_TRUE(measured.open(QIODevice::ReadOnly));
    EXPECT_TRUE(measured.readAll().startsWith("VELORA-SIM-OPUS\nLOT7\n0\n4000.00000,"));

    EXPECT_EQ(client.transact("REQUEST NO_SUCH_COMMAND"), "OK 23\nERROR Unknown command\r\n");
    EXPECT_EQ(client.transact("EXECUTE CLOSE_OPUS"), "OK\n");

    EXPECT_EQ(wine.recorded(),
              QStringList({"CONNECT OPUS|System", "ADVISE READ_PARAMETER PKA", "REQUEST READ_PARAMETER PKA",
                           "UNADVISE READ_PARAMETER PKA", "ADVISE DIAG_STATUS MESSAGE",
                           "REQUEST DIAG_STATUS MESSAGE", "UNADVISE DIAG_STATUS MESSAGE",
                           "ADVISE " + QString::fromUtf8(measure), "REQUEST " + QString::fromUtf8(measure),
                           "REQUEST NO_SUCH_COMMAND", "EXECUTE CLOSE_OPUS"}));

    // Every exchange is in the log, with its date and time.
    const QString log = QString::fromUtf8(wine.log());
    EXPECT_TRUE(log.contains(QRegularExpression(QStringLiteral(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} <- REQUEST READ_PARAMETER PKA\r\n"))))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("-> OK 14\\nOK0.43829581\\r\\n")));
    EXPECT_TRUE(log.contains(QStringLiteral("-> NOTIFY DIAG_STATUS MESSAGE\\n")));
}

TEST_F(BridgeProtocolTest, BadInputIsAnsweredAndTheBridgeCarriesOn)
{
    start({}, {QStringLiteral("--max-line"), QStringLiteral("100")});

    EXPECT_EQ(client.transact("REQUEST DIAG_STATUS"), "ERROR No conversation\n");
    EXPECT_EQ(client.transact("CONNECT OPUS"), "ERROR CONNECT needs service|topic\n");
    const QByteArray noServer = client.transact("CONNECT NOSUCHSERVER|System", 15000);
    EXPECT_TRUE(
        noServer.startsWith("ERROR No conversation with NOSUCHSERVER|System: DMLERR_NO_CONV_ESTABLISHED"))
        << noServer.toStdString();
    EXPECT_EQ(client.transact("CONNECT OPUS|System"), "OK\n");
    EXPECT_EQ(client.transact("HELLO there"), "ERROR Unknown request\n");
    EXPECT_EQ(client.transact("ADVISE"), "ERROR ADVISE needs an item\n");
    EXPECT_EQ(client.transact("REQUEST " + QByteArray(99 - 8, 'x')), "OK 23\nERROR Unknown command\r\n");
    // An oversized line is refused once and the stream is read in step again after its LF.
    EXPECT_EQ(client.transact("REQUEST " + QByteArray(200, 'x')), "ERROR Line too long\n");
    EXPECT_EQ(client.transact("REQUEST DIAG_STATUS\r"), "OK 14\nOK0         \r\n");
    for (const char* timeout : {"TIMEOUT", "TIMEOUT 0", "TIMEOUT 3600001", "TIMEOUT 5s", "TIMEOUT -5"})
        EXPECT_EQ(client.transact(timeout), "ERROR TIMEOUT needs milliseconds from 1 to 3600000\n")
            << timeout;
    EXPECT_EQ(client.transact("TIMEOUT 3600000"), "OK\n");
}

TEST_F(BridgeProtocolTest, ItemLongerThanADdeNameIsRefused)
{
    startConnected();
    EXPECT_EQ(client.transact("ADVISE " + QByteArray(256, 'y')),
              "ERROR Item longer than 255 characters: not a DDE item name\n");
    EXPECT_EQ(client.transact("ADVISE " + QByteArray(255, 'y')), "OK\n");
}

TEST_F(BridgeProtocolTest, RefusedConversation)
{
    start({QStringLiteral("--refuse-conversation")});
    const QByteArray answer = client.transact("CONNECT OPUS|System", 15000);
    EXPECT_EQ(answer, "ERROR No conversation with OPUS|System: DMLERR_NO_CONV_ESTABLISHED\n");
    EXPECT_EQ(client.transact("REQUEST DIAG_STATUS"), "ERROR No conversation\n");
}

TEST_F(BridgeProtocolTest, RefusedItems)
{
    startConnected({QStringLiteral("--refuse-items")});
    EXPECT_EQ(client.transact("ADVISE DIAG_STATUS"), "ERROR Advise failed: DMLERR_NOTPROCESSED\n");
    EXPECT_EQ(client.transact("REQUEST DIAG_STATUS"), "ERROR Request failed: DMLERR_NOTPROCESSED\n");
    // A refusal is an answer: the conversation stands.
    EXPECT_EQ(client.transact("EXECUTE CLOSE_OPUS"), "OK\n");
}

TEST_F(BridgeProtocolTest, TimedOutCallIsAnsweredAndTheLinkStays)
{
    // The station's TIMEOUT, not the bridge's longer --timeout, bounds the wait.
    startConnected({QStringLiteral("--never-answer")}, {QStringLiteral("--timeout"), QStringLiteral("8000")});
    EXPECT_EQ(client.transact("TIMEOUT 400"), "OK\n");
    for (const QByteArray& line : {QByteArray("REQUEST DIAG_STATUS"), QByteArray("ADVISE DIAG_STATUS"),
                                   QByteArray("EXECUTE CLOSE_OPUS")}) {
        QElapsedTimer timer;
        timer.start();
        const QByteArray answer = client.transact(line, 6000);
        EXPECT_TRUE(answer.startsWith("ERROR ") && answer.endsWith("TIMEOUT\n")) << answer.toStdString();
        EXPECT_GE(timer.elapsed(), 350) << line.toStdString();
        EXPECT_LT(timer.elapsed(), 4000) << line.toStdString();
    }
    EXPECT_FALSE(client.closedWithin(500));
    EXPECT_TRUE(wine.log().contains("time-out: the conversation is opened afresh before the next call"));
}

TEST_F(BridgeProtocolTest, LateAnswers)
{
    // Late but within the bridge's time-out: answered as usual.
    startConnected({QStringLiteral("--answer-delay"), QStringLiteral("300")},
                   {QStringLiteral("--timeout"), QStringLiteral("3000")});
    EXPECT_EQ(client.transact("EXECUTE CLOSE_OPUS"), "OK\n");
    EXPECT_EQ(client.transact("REQUEST DIAG_STATUS"), "OK 14\nOK0         \r\n");

    // Later than the time-out: an error on that call only; its late answer is not taken for the next.
    ASSERT_TRUE(wine.startDouble({QStringLiteral("--answer-delay"), QStringLiteral("1200"),
                                  QStringLiteral("--delay-on"), QStringLiteral("READ_PARAMETER PKA")}));
    LinkClient late;
    ASSERT_TRUE(late.connectTo(wine.port()));
    EXPECT_EQ(late.transact("CONNECT OPUS|System"), "OK\n");
    EXPECT_EQ(late.transact("TIMEOUT 300"), "OK\n");
    EXPECT_EQ(late.transact("REQUEST READ_PARAMETER PKA"), "ERROR Request failed: DMLERR_DATAACKTIMEOUT\n");
    EXPECT_EQ(late.transact("TIMEOUT 5000"), "OK\n");
    EXPECT_EQ(late.transact("REQUEST READ_PARAMETER ABP", 8000), "OK 14\nOK14512.0000\r\n");
    EXPECT_EQ(late.transact("ADVISE DIAG_STATUS"), "OK\n");
    EXPECT_EQ(late.take(), "NOTIFY DIAG_STATUS\n");
    // The conversation that fell out of step was ended and a fresh one opened for the next call.
    const QStringList recorded = wine.recorded();
    const qsizetype timedOut = recorded.lastIndexOf(QStringLiteral("REQUEST READ_PARAMETER PKA"));
    ASSERT_GE(timedOut, 0);
    EXPECT_EQ(recorded.mid(timedOut + 1, 3),
              (QStringList{"TERMINATE", "CONNECT OPUS|System", "REQUEST READ_PARAMETER ABP"}));
}

TEST_F(BridgeProtocolTest, StationReplyTimeoutReachesTheBridge)
{
    // The station's own link class: its reply timeout travels as TIMEOUT, and the bridge's DDE time-out
    // comes back as that call's error with the link still up.
    start({QStringLiteral("--answer-delay"), QStringLiteral("3000"), QStringLiteral("--delay-on"),
           QStringLiteral("READ_PARAMETER PKA")},
          {QStringLiteral("--timeout"), QStringLiteral("20000")});
    TcpSpectrometerLink link(wine.address());
    QString error;
    ASSERT_TRUE(link.openConversation(QStringLiteral("OPUS|System"), 100, &error)) << error.toStdString();
    link.setReplyTimeout(4);
    QByteArray value;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(link.request(QStringLiteral("READ_PARAMETER PKA"), &value, &error));
    EXPECT_EQ(error, QStringLiteral("Request failed: DMLERR_DATAACKTIMEOUT"));
    EXPECT_LT(timer.elapsed(), 1400);
    EXPECT_TRUE(link.isConnected());
    link.setReplyTimeout(80);
    EXPECT_TRUE(link.request(QStringLiteral("READ_PARAMETER ABP"), &value, &error)) << error.toStdString();
    EXPECT_EQ(value, "OK14512.0000\r\n");
    const QByteArray log = wine.log();
    EXPECT_TRUE(log.contains("<- TIMEOUT 400\r\n") && log.contains("<- TIMEOUT 8000\r\n"))
        << log.toStdString();
}

TEST_F(BridgeProtocolTest, DroppedConversationClosesTheStationLink)
{
    startConnected({QStringLiteral("--drop-on"), QStringLiteral("MeasureSample")});
    EXPECT_EQ(client.transact("REQUEST DIAG_STATUS"), "OK 14\nOK0         \r\n");
    const QByteArray answer = client.transact("ADVISE MeasureSample (0, {})", 15000);
    EXPECT_TRUE(answer.isEmpty() || answer.startsWith("ERROR Advise failed: ")) << answer.toStdString();
    EXPECT_TRUE(client.closedWithin(5000));
}

TEST_F(BridgeProtocolTest, SoftwareGoneWhileIdleClosesTheStationLink)
{
    startConnected();
    EXPECT_EQ(client.transact("ADVISE DIAG_STATUS"), "OK\n");
    EXPECT_EQ(client.take(), "NOTIFY DIAG_STATUS\n");
    // Nothing is outstanding: only the bridge's poll of the conversation can notice.
    wine.stopDouble();
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(client.closedWithin(10000));
    std::cout << "[ figures  ] link closed " << timer.elapsed() << " ms after the software ended\n";
    EXPECT_TRUE(wine.log().contains("the spectrometer software ended the conversation"));
}

TEST_F(BridgeProtocolTest, OptionsAndLogRotation)
{
    int exitCode = -1;
    const QByteArray help =
        WineBridge::runToEnd(WineBridge::bridgeExe(), {QStringLiteral("--help")}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    for (const char* option : {"--listen HOST:PORT", "--allow ADDRESS[/BITS]", "--timeout MS", "--log FILE",
                               "--log-size KB", "--log-keep N"})
        EXPECT_TRUE(help.contains(option)) << option;
    const QByteArray badRange = WineBridge::runToEnd(
        WineBridge::bridgeExe(), {QStringLiteral("--allow"), QStringLiteral("192.168.1.0/33")}, &exitCode);
    EXPECT_EQ(exitCode, 2);
    EXPECT_TRUE(
        badRange.contains("--allow needs ADDRESS or ADDRESS/BITS (IPv4 or IPv6), not \"192.168.1.0/33\""))
        << badRange.toStdString();
    const QByteArray bad = WineBridge::runToEnd(
        WineBridge::bridgeExe(), {QStringLiteral("--listen"), QStringLiteral("nowhere")}, &exitCode);
    EXPECT_EQ(exitCode, 2);
    EXPECT_TRUE(bad.contains("--listen needs HOST:PORT")) << bad.toStdString();
    WineBridge::runToEnd(WineBridge::bridgeExe(), {QStringLiteral("--verbose")}, &exitCode);
    EXPECT_EQ(exitCode, 2);

    startConnected({}, {QStringLiteral("--log-size"), QStringLiteral("1"), QStringLiteral("--log-keep"),
                        QStringLiteral("2")});
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(client.transact("REQUEST READ_PARAMETER ABP"), "OK 14\nOK14512.0000\r\n");
    EXPECT_TRUE(QFile::exists(wine.logPath() + QStringLiteral(".1")));
    EXPECT_TRUE(QFile::exists(wine.logPath() + QStringLiteral(".2")));
    EXPECT_FALSE(QFile::exists(wine.logPath() + QStringLiteral(".3")));
    EXPECT_LE(QFileInfo(wine.logPath() + QStringLiteral(".1")).size(), 1024 + 200);
}

} // namespace
