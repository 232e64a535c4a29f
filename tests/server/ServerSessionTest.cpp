#include "ServerTestSupport.h"

// The server's status, the login token, lot codes and the stone-ID service.

class ServerStatus : public ServerFixture
{
};

TEST_F(ServerStatus, OnlyStatus200IsReachable)
{
    EXPECT_TRUE(client->CheckServerStatus());
    EXPECT_EQ(model().msgText(), QStringLiteral(R"(Response: {"status":"UP"})"));

    cloud.setFault("/getServerStatus", statusFault(201));
    EXPECT_FALSE(client->CheckServerStatus());
    EXPECT_EQ(model().msgText(),
              QStringLiteral("Error: - VELORA Server is not reacheable or Internet is Not working or "));
}

TEST_F(ServerStatus, ServerDownIsCritical)
{
    cloud.stop();
    EXPECT_FALSE(client->CheckServerStatus());
    EXPECT_EQ(model().msgText(),
              QStringLiteral(
                  "Critical Error: - Either Internet is Not working or VELORA Server is not reacheable"));
    EXPECT_FALSE(client->lastError().isEmpty());
}

TEST_F(ServerStatus, InternetButtonShowsTheConnectivityBoxOnlyOnFailure)
{
    model().Command15->click();
    EXPECT_TRUE(op().boxes.isEmpty());
    EXPECT_TRUE(model().msgText().startsWith(QStringLiteral("Response: ")));

    cloud.setFault("/getServerStatus", statusFault(503));
    model().Command15->click();
    ASSERT_EQ(op().boxes.size(), 1);
    EXPECT_EQ(op().boxes[0].text, QStringLiteral("INTERNET oR VELORA Server is not recheable"));
    EXPECT_EQ(op().boxes[0].title, QStringLiteral("Connectivity Issue"));
    EXPECT_EQ(op().boxes[0].icon, Operator::Icon::None);
}

TEST_F(ServerStatus, GetRequestButtonShowsTheReplyOrNothing)
{
    model().cmdGetRequest->click();
    EXPECT_TRUE(model().msgText().startsWith(QStringLiteral("Response from GET request: ")));
    EXPECT_TRUE(model().msgText().endsWith(QStringLiteral(R"({"service":"VELORA","status":"UP"})")));
    cloud.stop();
    model().cmdGetRequest->click();
    EXPECT_EQ(model().msgText(), QString());
}

class LoginAndLotCode : public ServerFixture
{
};

TEST_F(LoginAndLotCode, TokenButtonLogsIn)
{
    model().cmdPostRequest->click();
    EXPECT_EQ(stationState().AuthToken, QStringLiteral("vt-000001"));
    EXPECT_EQ(model().Text20->text(), QStringLiteral("vt-000001"));
    EXPECT_EQ(model().Text10->text(), QStringLiteral(R"({"username":"auditor","Token":"vt-000001"})"));
}

TEST_F(LoginAndLotCode, FailedLoginKeepsTheTokenAndShowsTheReply)
{
    stationState().AuthToken = QStringLiteral("old");
    cloud.setFault("/api/account/velora-login", bodyFault("12345678"));
    client->Login();
    EXPECT_EQ(stationState().AuthToken, QStringLiteral("old"));
    EXPECT_EQ(model().msgText(), QStringLiteral("12345678"));

    cloud.stop();
    client->Login();
    EXPECT_EQ(stationState().AuthToken, QStringLiteral("old"));
    EXPECT_EQ(model().msgText(), QString());
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
        EXPECT_EQ(model().Text20->text(), good) << "the value field shows the token taken";
        EXPECT_TRUE(model().msgText().startsWith(QStringLiteral("{\"Token\":\"vt"))) << "the reply is shown";
    }
    cloud.clearFault("/api/account/velora-login");
    model().Text8->setText(QStringLiteral("LOT1"));
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
    model().Text8->setText(QStringLiteral("LOT123-7.2"));
    model().Command14->click();
    EXPECT_EQ(stationState().LotCode.toText(), QStringLiteral("VL000001"));
    EXPECT_TRUE(stationState().IdReady.equals(1));
    EXPECT_EQ(model().msgText(), QStringLiteral("Code Generated: VL000001"));
    EXPECT_EQ(model().Text20->text(), QStringLiteral("VL000001"));
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
        EXPECT_TRUE(model().msgText().startsWith(QStringLiteral("Error in LotCode: ")));
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
    EXPECT_TRUE(model().msgText().startsWith(QStringLiteral("Error in LotCode: Couldn't connect")))
        << model().msgText().toStdString();
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
        model().msgText(),
        QStringLiteral(
            R"(Error in LotCode: The lot code "s":"generated" from the server cannot name a spectrum file)"));
}

using Answer = ServerClient::StoneIdAnswer;

TEST_F(LoginAndLotCode, StoneIdLookup)
{
    cloud.setStoneId("123", "LOT123-05#7-2");
    model().Text8->setText(QStringLiteral("123"));
    EXPECT_EQ(client->LookUpStoneId(), Answer::Found);
    EXPECT_EQ(model().Text8->text(), QStringLiteral("LOT123-05#7-2"));

    // No identifier is no answer: the scan stays and the service's reply is kept for the operator.
    model().Text8->setText(QStringLiteral("123"));
    cloud.setFault("/ords/morvex14/morvexapp/get_stoneid", bodyFault(R"({"stoneId":""})"));
    EXPECT_EQ(client->LookUpStoneId(), Answer::NoStoneId);
    EXPECT_EQ(model().Text8->text(), QStringLiteral("123"));
    EXPECT_EQ(client->lastError(), QStringLiteral(R"(200 - {"stoneId":""})"));

    SimFault missing;
    missing.missingMember = true;
    cloud.setFault("/ords/morvex14/morvexapp/get_stoneid", missing);
    EXPECT_EQ(client->LookUpStoneId(), Answer::NoStoneId);
    EXPECT_EQ(model().Text8->text(), QStringLiteral("123"));
    EXPECT_EQ(client->lastError(), QStringLiteral(R"(200 - {"result":"none"})"));
}

TEST_F(LoginAndLotCode, StoneIdTokenRefusedOrUnusableSendsNoLookup)
{
    model().Text8->setText(QStringLiteral("123"));
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
        EXPECT_EQ(model().Text8->text(), QStringLiteral("123"));
    }
    EXPECT_TRUE(cloud.requestsTo("/ords/morvex14/morvexapp/get_stoneid").empty());
}

TEST_F(LoginAndLotCode, StoneIdServiceDownLeavesTheBox)
{
    model().Text8->setText(QStringLiteral("123"));
    cloud.stop();
    EXPECT_EQ(client->LookUpStoneId(), Answer::Unreachable);
    EXPECT_EQ(model().Text8->text(), QStringLiteral("123"));
    EXPECT_TRUE(client->lastError().startsWith(QStringLiteral("Couldn't connect")));
}
