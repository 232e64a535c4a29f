#include "ServerTestSupport.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

struct FaultCase
{
    const char* name;
    SimFault fault;
    bool stopServer;
    const char* description; // how the error description starts
};

SimFault makeFault(const std::function<void(SimFault&)>& set)
{
    SimFault fault;
    set(fault);
    return fault;
}

} // namespace

// Each transport failure of a registration upload takes its error path with a description of what
// happened, within the time-outs.
class UploadTransportFault : public ServerFixture, public ::testing::WithParamInterface<FaultCase>
{
};

TEST_P(UploadTransportFault, TakesTheErrorPath)
{
    const FaultCase& c = GetParam();
    loginOn(cloud);
    stationState().MeasurementIndex = 2;
    stationState().ScanIds[2] = QStringLiteral("before");
    writeSpectrum(QStringLiteral("A-3-03-ROUGH.dpt"), "1,2\r\n");
    cloud.setFault("/diamond/UploadDiaMain", c.fault);
    if (c.stopServer)
        cloud.stop();
    QElapsedTimer elapsed;
    elapsed.start();
    client->UploadRegistrationScan();
    EXPECT_LT(elapsed.elapsed(), 1500 + 1000);
    const QString prefix = QStringLiteral("Error: Uploading ..[3]..");
    EXPECT_TRUE(model().msgText().startsWith(prefix + QString::fromUtf8(c.description)))
        << model().msgText().toStdString();
    EXPECT_EQ(model().msg1Text(), model().msgText());
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_EQ(stationState().ScanIds[2], QStringLiteral("before"));
    ASSERT_EQ(op().questions.size(), 1);
    EXPECT_EQ(op().questions[0].message, model().msgText());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UploadTransportFault,
    ::testing::Values(FaultCase{"ServerDown", {}, true, "Couldn't connect to server"},
                      FaultCase{"SlowPastTheTimeout", makeFault([](SimFault& f) { f.delayMs = 4000; }), false,
                                "No complete reply from 127.0.0.1 within 1500 ms"},
                      FaultCase{"DroppedConnection", makeFault([](SimFault& f) { f.dropConnection = true; }),
                                false, "Server returned nothing"},
                      FaultCase{"ResetMidReply", makeFault([](SimFault& f) { f.resetMidReply = true; }),
                                false, "Failure when receiving data from the peer"},
                      FaultCase{"FiftyMegabyteReply",
                                makeFault([](SimFault& f) { f.oversizedBytes = 50u << 20; }), false,
                                "The reply is larger than 16777216 bytes"},
                      FaultCase{"EmptyReply", makeFault([](SimFault& f) {
                                    f.body = "";
                                    f.status = 201;
                                }),
                                false, "The reply is too short to hold a value after \"id\""},
                      FaultCase{"KeyAtTheVeryEnd", makeFault([](SimFault& f) {
                                    f.body = "{\"x\":1,\"id";
                                    f.status = 201;
                                }),
                                false, "The reply is too short"}),
    [](const auto& info) { return std::string(info.param.name); });

class OtherOperationFaults : public ServerFixture
{
};

TEST_F(OtherOperationFaults, ResetMidReplyIsReportedNotHalfRead)
{
    SimFault reset;
    reset.resetMidReply = true;
    cloud.setFault("/api/account/velora-login", reset);
    stationState().AuthToken = QStringLiteral("old");
    client->Login();
    EXPECT_EQ(stationState().AuthToken, QStringLiteral("old"));
    EXPECT_EQ(model().msgText(), QString());
    EXPECT_FALSE(client->lastError().isEmpty());
}

TEST_F(OtherOperationFaults, SlowStatusIsCriticalWithinTheTimeout)
{
    SimFault slow;
    slow.delayMs = 4000;
    cloud.setFault("/getServerStatus", slow);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(client->CheckServerStatus());
    EXPECT_LT(elapsed.elapsed(), 2500);
    EXPECT_TRUE(model().msgText().startsWith(QStringLiteral("Critical Error: ")));
}

TEST_F(OtherOperationFaults, OversizedPageIsAConnectionError)
{
    SimFault big;
    big.oversizedBytes = 20u << 20;
    cloud.setFault("/config/diag_scan.htm", big);
    client->ReadEnvironmentPage();
    EXPECT_EQ(model().msg1Text(), QStringLiteral("Scanner Connection Error."));
}

TEST_F(OtherOperationFaults, MalformedPublishReplyStillGivesAQueryIdByTheCut)
{
    loginOn(cloud);
    SimFault malformed;
    malformed.malformedReply = true; // status 500, "<html><body>Internal error"
    cloud.setFault("/diamond/publishNewAddedTransactionIds", malformed);
    stationState().ScanIds[0] = QStringLiteral("T-1");
    model().Text6->setText(QStringLiteral("1"));
    client->PublishTransactionIds();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_EQ(stationState().QueryId, QStringLiteral("l><body>Internal err"));
    ASSERT_EQ(op().questions.size(), 1);
}

TEST_F(OtherOperationFaults, PublishTransportFailureLeavesDataFailed)
{
    SimFault drop;
    drop.dropConnection = true;
    cloud.setFault("/diamond/publishNewAddedTransactionIds", drop);
    stationState().DataFailed = false;
    model().Text6->setText(QStringLiteral("1"));
    client->PublishTransactionIds();
    EXPECT_TRUE(
        model().msgText().startsWith(QStringLiteral("Error: NewTransactionIDS Server returned nothing")));
    EXPECT_FALSE(stationState().DataFailed.toBool());
    EXPECT_TRUE(op().questions.isEmpty());
}

TEST_F(OtherOperationFaults, SubmitTransportFailureLeavesDataFailed)
{
    cloud.stop();
    stationState().DataFailed = true;
    model().Text6->setText(QStringLiteral("1"));
    client->SubmitMainFiles();
    EXPECT_TRUE(model().msgText().startsWith(QStringLiteral("Error:  Couldn't connect to server")));
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_TRUE(op().questions.isEmpty());
}

// A server that closes a connection without answering may have acted on the request already: the
// station must never send it again by itself, only report the failure.
TEST_F(OtherOperationFaults, ARequestClosedWithoutAnswerIsSentOnceAndReported)
{
    loginOn(cloud);
    SimFault closeSecond;
    closeSecond.dropConnection = true;
    closeSecond.dropOnlyRequest = 2;
    cloud.setFault("/diamond/machineStatus", closeSecond);
    client->SendMachineStatus();
    const auto seen = cloud.requestsTo("/diamond/machineStatus");
    const auto closedOne = std::count_if(seen.begin(), seen.end(), [](const SimRecordedRequest& r) {
        return r.body.find("\"Temperature\"") != std::string::npos;
    });
    EXPECT_EQ(closedOne, 1) << "the closed report reached the server once";
    EXPECT_EQ(seen.size(), 2u) << "no report follows the closed one";
    EXPECT_TRUE(client->lastError().startsWith(QStringLiteral("Server returned nothing")))
        << client->lastError().toStdString();
    EXPECT_EQ(cloud.statusReports().size(), 1u);
}
