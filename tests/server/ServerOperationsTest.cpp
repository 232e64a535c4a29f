#include "ServerTestSupport.h"

#include <QJsonDocument>
#include <QLabel>

namespace {

const char* const uploadPath = "/diamond/UploadDiaMain";

SimFault statusFault(int status)
{
    SimFault fault;
    fault.status = status;
    return fault;
}

SimFault bodyFault(const std::string& body, int status = 200)
{
    SimFault fault;
    fault.body = body;
    fault.status = status;
    return fault;
}

} // namespace

class ServerStatus : public ServerFixture
{
};

TEST_F(ServerStatus, OnlyStatus200IsReachable)
{
    EXPECT_TRUE(client->CheckServerStatus());
    EXPECT_EQ(window->msgText(), QStringLiteral(R"(Response: {"status":"UP"})"));

    cloud.setFault("/getServerStatus", statusFault(201));
    EXPECT_FALSE(client->CheckServerStatus());
    EXPECT_EQ(window->msgText(),
              QStringLiteral("Error: - VELORA Server is not reacheable or Internet is Not working or "));
}

TEST_F(ServerStatus, ServerDownIsCritical)
{
    cloud.stop();
    EXPECT_FALSE(client->CheckServerStatus());
    EXPECT_EQ(window->msgText(),
              QStringLiteral(
                  "Critical Error: - Either Internet is Not working or VELORA Server is not reacheable"));
    EXPECT_FALSE(client->lastError().isEmpty());
}

TEST_F(ServerStatus, InternetButtonShowsTheConnectivityBoxOnlyOnFailure)
{
    SystemBoxCloser boxes;
    window->Command15->click();
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_TRUE(window->msgText().startsWith(QStringLiteral("Response: ")));

    cloud.setFault("/getServerStatus", statusFault(503));
    window->Command15->click();
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("INTERNET oR VELORA Server is not recheable"));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Connectivity Issue"));
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::NoIcon);
}

TEST_F(ServerStatus, GetRequestButtonShowsTheReplyOrNothing)
{
    window->cmdGetRequest->click();
    EXPECT_TRUE(window->msgText().startsWith(QStringLiteral("Response from GET request: ")));
    EXPECT_TRUE(window->msgText().endsWith(QStringLiteral(R"({"service":"VELORA","status":"UP"})")));
    cloud.stop();
    window->cmdGetRequest->click();
    EXPECT_EQ(window->msgText(), QString());
}

class LoginAndLotCode : public ServerFixture
{
};

TEST_F(LoginAndLotCode, TokenButtonLogsIn)
{
    window->cmdPostRequest->click();
    EXPECT_EQ(stationState().AuthToken, QStringLiteral("vt-000001"));
    EXPECT_EQ(window->Text20->text(), QStringLiteral("vt-000001"));
    EXPECT_EQ(window->Text10->text(), QStringLiteral(R"({"username":"auditor","Token":"vt-000001"})"));
}

TEST_F(LoginAndLotCode, FailedLoginKeepsTheTokenAndShowsTheReply)
{
    stationState().AuthToken = QStringLiteral("old");
    cloud.setFault("/api/account/velora-login", bodyFault("12345678"));
    client->Login();
    EXPECT_EQ(stationState().AuthToken, QStringLiteral("old"));
    EXPECT_EQ(window->msgText(), QStringLiteral("12345678"));

    cloud.stop();
    client->Login();
    EXPECT_EQ(stationState().AuthToken, QStringLiteral("old"));
    EXPECT_EQ(window->msgText(), QString());
}

// A token that would end the Authorization line and add headers of the server's choosing is
// refused like an unreadable reply; the next request carries the previous token.
TEST_F(LoginAndLotCode, TokenWithControlCharactersIsRefused)
{
    loginOn(cloud);
    const QString good = stationState().AuthToken;
    for (const std::string reply : {"{\"Token\":\"vt-000001\r\nX-Evil: 1\"}", "{\"Token\":\"vt-000001\nX\"}",
                                    "{\"Token\":\"vt\t1\"}", "{\"Token\":\"vt\u00851\"}"}) {
        SCOPED_TRACE(reply);
        cloud.setFault("/api/account/velora-login", bodyFault(reply));
        client->Login();
        EXPECT_EQ(stationState().AuthToken, good);
        EXPECT_TRUE(window->msgText().startsWith(QStringLiteral("{\"Token\":\"vt"))) << "the reply is shown";
    }
    cloud.clearFault("/api/account/velora-login");
    window->Text8->setText(QStringLiteral("LOT1"));
    cloud.clearRequests();
    client->GenerateLotCode();
    const auto lotRequests = cloud.requestsTo("/diamond/generateLotCode");
    ASSERT_EQ(lotRequests.size(), 1u);
    EXPECT_EQ(lotRequests[0].header("Authorization"), "Bearer " + good.toStdString());
    EXPECT_TRUE(stationState().IdReady.equals(1));
}

TEST_F(LoginAndLotCode, NineCharacterReplyGivesAnEmptyToken)
{
    stationState().AuthToken = QStringLiteral("old");
    cloud.setFault("/api/account/velora-login", bodyFault("123456789"));
    client->Login();
    EXPECT_EQ(stationState().AuthToken, QString());
}

TEST_F(LoginAndLotCode, GenerateButtonLogsInAndGetsALotCode)
{
    window->Text8->setText(QStringLiteral("LOT123-7.2"));
    window->Command14->click();
    EXPECT_EQ(stationState().LotCode.toText(), QStringLiteral("VL000001"));
    EXPECT_TRUE(stationState().IdReady.equals(1));
    EXPECT_EQ(window->msgText(), QStringLiteral("Code Generated: VL000001"));
    EXPECT_EQ(window->Text20->text(), QStringLiteral("VL000001"));
}

TEST_F(LoginAndLotCode, ALotCodeThatCannotNameAFileIsRefused)
{
    loginOn(cloud);
    stationState().LotCode = QStringLiteral("PREV");
    for (const std::string reply :
         {R"({"Table":"../etc"})", R"({"Table":"a\b"})", R"({"Table":"x'y"})", R"({"Table":""})"}) {
        SCOPED_TRACE(reply);
        cloud.setFault("/diamond/generateLotCode", bodyFault(reply));
        stationState().IdReady = 1;
        EXPECT_FALSE(client->GenerateLotCode());
        EXPECT_TRUE(window->msgText().startsWith(QStringLiteral("Error in LotCode: ")));
        EXPECT_EQ(stationState().LotCode.toText(), QStringLiteral("PREV"));
        EXPECT_TRUE(stationState().IdReady.equals(0));
    }
}

TEST_F(LoginAndLotCode, LotCodeTransportFailureIsReported)
{
    stationState().LotCode = QStringLiteral("PREV");
    stationState().IdReady = 1;
    cloud.stop();
    EXPECT_FALSE(client->GenerateLotCode());
    EXPECT_TRUE(window->msgText().startsWith(QStringLiteral("Error in LotCode: Couldn't connect")))
        << window->msgText().toStdString();
    EXPECT_EQ(stationState().LotCode.toText(), QStringLiteral("PREV"));
    EXPECT_TRUE(stationState().IdReady.equals(0)) << "the previous stone's code is no longer ready";
}

TEST_F(LoginAndLotCode, LotCodeReplyWithoutTableStillYieldsAValue)
{
    loginOn(cloud);
    cloud.setFault("/diamond/generateLotCode", bodyFault("Lot no VL-77\r\n"));
    client->GenerateLotCode();
    EXPECT_EQ(stationState().LotCode.toText(), QStringLiteral("VL-77"));
    EXPECT_TRUE(stationState().IdReady.equals(1));

    // The usual JSON reply without the member cuts to a text with quotes, which names no file.
    SimFault fault;
    fault.missingMember = true;
    cloud.setFault("/diamond/generateLotCode", fault);
    client->GenerateLotCode();
    EXPECT_EQ(stationState().LotCode.toText(), QStringLiteral("VL-77"));
    EXPECT_EQ(
        window->msgText(),
        QStringLiteral(
            R"(Error in LotCode: The lot code "s":"generated" from the server cannot name a spectrum file)"));
}

using Answer = ServerClient::StoneIdAnswer;

TEST_F(LoginAndLotCode, StoneIdLookup)
{
    cloud.setStoneId("123", "LOT123-05#7-2");
    window->Text8->setText(QStringLiteral("123"));
    EXPECT_EQ(client->LookUpStoneId(), Answer::Found);
    EXPECT_EQ(window->Text8->text(), QStringLiteral("LOT123-05#7-2"));

    // No identifier is no answer: the scan stays and the service's reply is kept for the operator.
    window->Text8->setText(QStringLiteral("123"));
    cloud.setFault("/ords/morvex14/morvexapp/get_stoneid", bodyFault(R"({"stoneId":""})"));
    EXPECT_EQ(client->LookUpStoneId(), Answer::NoStoneId);
    EXPECT_EQ(window->Text8->text(), QStringLiteral("123"));
    EXPECT_EQ(client->lastError(), QStringLiteral(R"(200 - {"stoneId":""})"));

    SimFault missing;
    missing.missingMember = true;
    cloud.setFault("/ords/morvex14/morvexapp/get_stoneid", missing);
    EXPECT_EQ(client->LookUpStoneId(), Answer::NoStoneId);
    EXPECT_EQ(window->Text8->text(), QStringLiteral("123"));
    EXPECT_EQ(client->lastError(), QStringLiteral(R"(200 - {"result":"none"})"));
}

TEST_F(LoginAndLotCode, StoneIdTokenRefusedOrUnusableSendsNoLookup)
{
    window->Text8->setText(QStringLiteral("123"));
    struct Case
    {
        SimFault fault;
        QString error;
    };
    SimFault refused;
    refused.status = 401;
    refused.body = R"({"error":"invalid_client"})";
    const std::vector<Case> cases{
        {refused, QStringLiteral(R"(401 - {"error":"invalid_client"})")},
        {bodyFault(R"({"access_token":"","token_type":"bearer"})"),
         QStringLiteral(R"(200 - {"access_token":"","token_type":"bearer"})")},
        {bodyFault("{\"access_token\":\"sat-1\r\nX-Injected: 1\"}"),
         QStringLiteral("200 - an access token with control characters, refused")},
        {bodyFault("{\"access_token\":\"sat\u00852\"}"),
         QStringLiteral("200 - an access token with control characters, refused")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error.toStdString());
        cloud.setFault("/ords/morvex14/oauth/token", c.fault);
        EXPECT_EQ(client->LookUpStoneId(), Answer::NoStoneId);
        EXPECT_EQ(client->lastError(), c.error);
        EXPECT_EQ(window->Text8->text(), QStringLiteral("123"));
    }
    EXPECT_TRUE(cloud.requestsTo("/ords/morvex14/morvexapp/get_stoneid").empty());
}

TEST_F(LoginAndLotCode, StoneIdServiceDownLeavesTheBox)
{
    window->Text8->setText(QStringLiteral("123"));
    cloud.stop();
    EXPECT_EQ(client->LookUpStoneId(), Answer::Unreachable);
    EXPECT_EQ(window->Text8->text(), QStringLiteral("123"));
    EXPECT_TRUE(client->lastError().startsWith(QStringLiteral("Couldn't connect")));
}

class RegistrationUpload : public ServerFixture
{
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        loginOn(cloud);
        stationState().MeasurementIndex = 0;
        stationState().DataFailed = false;
    }
};

TEST_F(RegistrationUpload, StoresTheScanIdAndTheServerKeepsThePoints)
{
    QStringList msgs;
    QObject::connect(window.get(), &Frmgrading::msgChanged, [&](const QString& text) { msgs << text; });
    window->Text8->setText(QStringLiteral("LOT1"));
    client->GenerateLotCode();
    msgs.clear();
    writeSpectrum(QStringLiteral("VL000001-3-01-ROUGH.dpt"), "1000,0.5\r\n1001,0.6\r\n");
    window->Command13->click();
    EXPECT_EQ(stationState().ScanIds[0], QStringLiteral("S-000001"));
    EXPECT_FALSE(stationState().DataFailed.toBool());
    EXPECT_EQ(window->msg1Text(), QStringLiteral("Uploading ...[1]....Done"));
    EXPECT_EQ(msgs, (QStringList{QStringLiteral("Uploading on Server......."),
                                 QStringLiteral("Response: {\"id\":\"S-000001\"}\n"),
                                 QStringLiteral("Uploading ...[1]....Done"),
                                 QStringLiteral("Diamond Uploaded.......= S-000001")}));
    const auto registrations = cloud.registrations();
    ASSERT_EQ(registrations.size(), 1u);
    EXPECT_EQ(registrations[0].lotCode, "VL000001");
    ASSERT_EQ(registrations[0].scans.size(), 1u);
    EXPECT_EQ(registrations[0].scans[0].points, "1000,0.5\r\n1001,0.6\r\n");
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(RegistrationUpload, RefusedUploadStillStoresTheIdButFails)
{
    cloud.setFault(uploadPath, statusFault(500));
    writeSpectrum(QStringLiteral("A-3-01-ROUGH.dpt"), "1,2\r\n");
    client->UploadRegistrationScan();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_EQ(stationState().ScanIds[0], QStringLiteral("S-000001"));
    EXPECT_EQ(window->msgText(), QStringLiteral("Diamond Uploaded.......= S-000001"));
    EXPECT_EQ(window->msg1Text().toStdString(), "Failed...[1]..500 - {\"id\":\"S-000001\"}\n");
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].message, QStringLiteral("Failed...[1]..500 - {\"id\":\"S-000001\"}\n"));
    EXPECT_EQ(dialogs.shown[0].title, QStringLiteral("Data Not correct"));
}

TEST_F(RegistrationUpload, RefusedWithAnEmptyReplyTakesTheErrorPathToo)
{
    stationState().ScanIds[0] = QStringLiteral("before");
    cloud.setFault(uploadPath, bodyFault("", 500));
    writeSpectrum(QStringLiteral("A-3-01-ROUGH.dpt"), "1,2\r\n");
    client->UploadRegistrationScan();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_EQ(stationState().ScanIds[0], QStringLiteral("before"));
    ASSERT_EQ(dialogs.shown.size(), 2);
    EXPECT_EQ(dialogs.shown[0].message, QStringLiteral("Failed...[1]..500 - "));
    EXPECT_TRUE(dialogs.shown[1].message.startsWith(QStringLiteral("Error: Uploading ..[1]..")));
    EXPECT_EQ(window->msgText(), dialogs.shown[1].message);
}

TEST_F(RegistrationUpload, MissingFileFailsSilently)
{
    stationState().SpectrumFileName = QStringLiteral("absent.dpt");
    cloud.clearRequests();
    client->UploadRegistrationScan();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_EQ(window->msgText(), QStringLiteral("Uploading on Server......."));
    EXPECT_TRUE(cloud.requestsTo(uploadPath).empty());
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(RegistrationUpload, OddFilesAreSentAsValidJson)
{
    // About content, not speed: a 20 MB body gets the production time limit (instrumented builds are slow).
    client->setLimits(HttpLimits{});
    const QByteArray withNul("1,2\r\n\0\0\"x\\\r3\n", 13);
    const QByteArray big = QByteArray("1000.123456,0.000123456789\r\n").repeated(20 * 1024 * 1024 / 28);
    for (const QByteArray& bytes : {QByteArray(), withNul, big}) {
        SCOPED_TRACE(bytes.size());
        writeSpectrum(QStringLiteral("A-3-01-ROUGH.dpt"), bytes);
        client->UploadRegistrationScan();
        EXPECT_FALSE(stationState().DataFailed.toBool()) << window->msgText().toStdString();
        const auto scans = cloud.registrations().back().scans;
        EXPECT_EQ(scans.back().points, bytes.toStdString());
    }
}

TEST_F(RegistrationUpload, IndexBeyondTheArrayTakesTheErrorPath)
{
    stationState().MeasurementIndex = 11;
    writeSpectrum(QStringLiteral("A-3-12-ROUGH.dpt"), "1,2\r\n");
    client->UploadRegistrationScan();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_EQ(window->msgText(), QStringLiteral("Error: Uploading ..[12]..Subscript out of range"));
    EXPECT_EQ(window->msg1Text(), window->msgText());
}

TEST_F(RegistrationUpload, SubmitSendsTheFirstNIds)
{
    QStringList msgs;
    stationState().ScanIds[0] = QStringLiteral("S-000001");
    writeSpectrum(QStringLiteral("A-3-01-ROUGH.dpt"), "1,2\r\n");
    client->UploadRegistrationScan();
    window->Text6->setText(QStringLiteral("1"));
    client->SubmitMainFiles();
    EXPECT_EQ(cloud.requestsTo("/diamond/submitMainFiles").back().body, "{\r\n\"scanIds\":[\"S-000001\"] }");
    EXPECT_FALSE(stationState().DataFailed.toBool());
    EXPECT_EQ(stationState().MeasurementIndex, 0);
    EXPECT_EQ(cloud.registrations().back().submittedIds, std::vector<std::string>{"S-000001"});
}

TEST_F(RegistrationUpload, SubmitOfTwelveFailsOnIndexEleven)
{
    stationState().DataFailed = true;
    window->Text6->setText(QStringLiteral("12"));
    cloud.clearRequests();
    client->SubmitMainFiles();
    EXPECT_EQ(window->msgText(), QStringLiteral("Error:  Subscript out of range"));
    EXPECT_EQ(stationState().MeasurementIndex, 11);
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_TRUE(cloud.requests().empty());
}

TEST_F(RegistrationUpload, RefusedSubmitShowsTheReply)
{
    stationState().ScanIds[0] = QStringLiteral("S-404");
    window->Text6->setText(QStringLiteral("1"));
    client->SubmitMainFiles();
    EXPECT_EQ(window->msgText(), QStringLiteral(R"(Error: 400 - {"message":"Unknown scan S-404"})"));
    EXPECT_EQ(window->msg1Text(), QStringLiteral(R"({"message":"Unknown scan S-404"})"));
    EXPECT_TRUE(stationState().DataFailed.toBool());
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].message, window->msg1Text());
}

class QueryUpload : public ServerFixture
{
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        loginOn(cloud);
        stationState().MeasurementIndex = 0;
        stationState().LotCode = QStringLiteral("VL9");
        stationState().StageName = QStringLiteral("ROUGH");
    }
};

TEST_F(QueryUpload, UploadsAndPublishes)
{
    QStringList msgs;
    QObject::connect(window.get(), &Frmgrading::msgChanged, [&](const QString& text) { msgs << text; });
    for (int i = 0; i < 2; ++i) {
        stationState().MeasurementIndex = qint16(i);
        writeSpectrum(QStringLiteral("VL9-3-0%1-ROUGH.dpt").arg(i + 1), "1,2\r\n");
        client->UploadQueryScan();
    }
    EXPECT_EQ(msgs.first(), QStringLiteral("Querying on Server....... = 0"));
    EXPECT_EQ(msgs.last(), QStringLiteral("Query Uploaded.......= T-000002"));
    EXPECT_EQ(cloud.transactions().front().points, "1,2\r\n\r");
    EXPECT_EQ(cloud.transactions().front().lotCode, "VL9");
    window->Text6->setText(QStringLiteral("2"));
    client->PublishTransactionIds();
    EXPECT_EQ(stationState().QueryId, QStringLiteral("Q-000001"));
    EXPECT_EQ(window->msgText(), QStringLiteral("publish New Added TransactionIds.......= Q-000001"));
    EXPECT_EQ(stationState().MeasurementIndex, 1);
    const auto queries = cloud.queries();
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].transactionIds, (std::vector<std::string>{"T-000001", "T-000002"}));
    EXPECT_EQ(queries[0].transactions.size(), 2u);
}

TEST_F(QueryUpload, MissingFileIsShown)
{
    stationState().SpectrumFileName = QStringLiteral("absent.dpt");
    client->UploadQueryScan();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_EQ(window->msg1Text(),
              QStringLiteral("File not found: ") + spectrumPath(QStringLiteral("absent.dpt")));
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].title, QStringLiteral("Data Not correct"));
}

TEST_F(QueryUpload, TransportFailureTakesTheErrorPath)
{
    writeSpectrum(QStringLiteral("VL9-3-01-ROUGH.dpt"), "1,2\r\n");
    SimFault drop;
    drop.dropConnection = true;
    cloud.setFault("/diamond/addTransactionLog", drop);
    client->UploadQueryScan();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_TRUE(window->msgText().startsWith(QStringLiteral("Error: Query-Diamond ")));
    EXPECT_EQ(window->msg1Text(), window->msgText());
    ASSERT_EQ(dialogs.shown.size(), 1);
}

TEST_F(QueryUpload, PublishOfNoneFailsOnIndexMinusOneWithoutTouchingDataFailed)
{
    stationState().DataFailed = false;
    window->Text6->setText(QStringLiteral("0"));
    client->PublishTransactionIds();
    EXPECT_EQ(window->msgText(), QStringLiteral("Error: NewTransactionIDS Subscript out of range"));
    EXPECT_FALSE(stationState().DataFailed.toBool());
    EXPECT_EQ(stationState().MeasurementIndex, 0);
}

TEST_F(QueryUpload, RefusedPublishStillCutsTheId)
{
    cloud.setFault("/diamond/publishNewAddedTransactionIds", bodyFault(R"({"id":"Q-42"})", 500));
    window->Text6->setText(QStringLiteral("1"));
    client->PublishTransactionIds();
    EXPECT_EQ(stationState().QueryId, QStringLiteral("Q-42"));
    EXPECT_TRUE(stationState().DataFailed.toBool());
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].message, QStringLiteral(R"(Error: 500 - {"id":"Q-42"})"));
}

TEST_F(QueryUpload, MatcherMembersComeBeforeTheQueryId)
{
    cloud.setQueryMatcher([](const SimServer::PublishedQuery& query, const auto&) {
        return "\"verdict\":\"" + std::string(query.transactions.empty() ? "NONE" : "MATCH") + "\",";
    });
    writeSpectrum(QStringLiteral("VL9-3-01-ROUGH.dpt"), "1,2\r\n");
    client->UploadQueryScan();
    window->Text6->setText(QStringLiteral("1"));
    client->PublishTransactionIds();
    EXPECT_EQ(stationState().QueryId, QStringLiteral("Q-000001"));
    EXPECT_EQ(window->Text10->text(), QStringLiteral(R"({"verdict":"MATCH","id":"Q-000001"})"));
}

class EnvironmentAndTelemetry : public ServerFixture
{
};

TEST_F(EnvironmentAndTelemetry, PageValuesReachLabelsAndState)
{
    cloud.setDiagValues("25.1", "40", "8.2");
    client->ReadEnvironmentPage();
    EXPECT_EQ(window->Label23->text(), QStringLiteral("Temp  = 25.1"));
    EXPECT_EQ(window->Label24->text(), QStringLiteral("Rel-H = 40"));
    EXPECT_EQ(window->Label25->text(), QStringLiteral("Abs-H = 8.2"));
    EXPECT_EQ(stationState().Temperature.toText(), QStringLiteral("25.1"));
    EXPECT_EQ(stationState().AbsoluteHumidity, QStringLiteral("8.2"));
}

TEST_F(EnvironmentAndTelemetry, PageFailures)
{
    stationState().Temperature = QStringLiteral("20");
    const char* page = "/config/diag_scan.htm";
    cloud.setFault(page, statusFault(500));
    client->ReadEnvironmentPage();
    EXPECT_EQ(window->msg1Text(), QStringLiteral("Error: Scanner not available."));
    cloud.setFault(page, bodyFault(""));
    client->ReadEnvironmentPage();
    EXPECT_EQ(window->msg1Text(), QStringLiteral("Error: Page returned empty data."));
    cloud.setFault(page, bodyFault("<td ID=SCRTMPCORR>1</td><td id=scrhumrel>2</td><td ID=SCRHUMABS> 3"));
    client->ReadEnvironmentPage();
    EXPECT_EQ(window->msg1Text(), QStringLiteral("Scanner Connection Error."));
    EXPECT_EQ(stationState().Temperature.toText(), QStringLiteral("20"));
    cloud.stop();
    window->setMsg1(QString());
    client->ReadEnvironmentPage();
    EXPECT_EQ(window->msg1Text(), QStringLiteral("Scanner Connection Error."));
    EXPECT_EQ(stationState().Temperature.toText(), QStringLiteral("20"));
}

TEST_F(EnvironmentAndTelemetry, QuotedAttributesAreNotFoundAndSentAsNull)
{
    loginOn(cloud);
    cloud.setFault("/config/diag_scan.htm", bodyFault("<td ID=\"SCRTMPCORR\">1</td><td ID=SCRHUMREL>2</td>"
                                                      "<td ID=SCRHUMABS>3</td>"));
    client->ReadEnvironmentPage();
    EXPECT_EQ(window->Label23->text(), QStringLiteral("Temp  = Not Found"));
    client->SendMachineStatus();
    const auto reports = cloud.statusReports();
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports[1].action, "Temperature");
    EXPECT_EQ(reports[1].valueJson, "null");
    EXPECT_EQ(reports[2].valueJson, "2");
}

TEST_F(EnvironmentAndTelemetry, ValuesBeforeAnyReadAndLampColours)
{
    loginOn(cloud);
    window->Text11->setText(QStringLiteral("say \"ok\""));
    client->SendMachineStatus();
    auto reports = cloud.statusReports();
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports[0].valueJson, "null");
    EXPECT_EQ(reports[3].valueJson, "null");
    EXPECT_EQ(reports[4].valueJson, R"("say \"ok\"")");
    EXPECT_EQ(reports[5].valueJson, R"("MAGENTA")");
    EXPECT_EQ(window->msgText(), QStringLiteral(R"(Machine Status Uploaded {"message":"Status recorded"})"));

    window->Shape1->setFillColor(0x123456);
    client->SendMachineStatus();
    EXPECT_EQ(cloud.statusReports().back().valueJson, R"("")");
}

TEST_F(EnvironmentAndTelemetry, AFailedReportSkipsTheRest)
{
    SimFault drop;
    drop.dropConnection = true;
    cloud.setFault("/diamond/machineStatus", drop);
    window->setMsg(QStringLiteral("before"));
    client->SendMachineStatus();
    EXPECT_EQ(cloud.requestsTo("/diamond/machineStatus").size(), 1u);
    EXPECT_EQ(window->msgText(), QString());
}
