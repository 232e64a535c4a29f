#include "WorkflowBench.h"

#include <QPushButton>

namespace {

// Every stone is measured under the lot code obtained for it, or not at all.
class StaleLotCodeTest : public WorkflowBench
{
protected:
    // Whatever stone B's run would ask is answered Yes, so a sequence started by mistake measures.
    void expectNothingStartedFor(const QString& stone)
    {
        EXPECT_TRUE(driver->asked().isEmpty())
            << stone.toStdString() << ": " << driver->askedTitles().join(", ").toStdString();
        EXPECT_TRUE(requestsTo("/getServerStatus").empty()) << "no sequence started";
        EXPECT_TRUE(requestsTo("/diamond/addTransactionLog").empty());
        EXPECT_TRUE(requestsTo("/diamond/UploadDiaMain").empty());
        EXPECT_TRUE(spectrometerCommands().isEmpty());
        bench->pumpUntil([] { return false; }, 30);
        EXPECT_TRUE(controllerCommands().isEmpty());
        EXPECT_TRUE(s().IdReady.isZeroOrEmpty());
    }
};

TEST_F(StaleLotCodeTest, RefusedStoneThenDroppedLotCodeFilesNothingUnderTheFirstStone)
{
    selectMode(false, w().Polish1);
    driver->expect("Have you Placed the stone ?", "Place the Stone", No);
    scanStoneId(QStringLiteral("A-1"));
    ASSERT_EQ(driver->pending(), 0);
    const std::string lotA = bench->server().lastLotCode();
    EXPECT_TRUE(s().IdReady.isZeroOrEmpty()) << "a stone refused before any scan leaves no code ready";

    bench->clearRecords();
    driver.reset();
    driver = std::make_unique<DialogDriver>();
    driver->setUnexpectedAnswer(Yes);
    SimFault drop;
    drop.dropConnection = true;
    bench->server().setFault("/diamond/generateLotCode", drop);
    scanStoneId(QStringLiteral("B-2"));

    EXPECT_EQ(requestPaths(), QStringList({"/api/account/velora-login", "/diamond/generateLotCode"}));
    expectNothingStartedFor("B-2");
    EXPECT_TRUE(bench->server().transactions().empty()) << "nothing filed under " << lotA;
    EXPECT_TRUE(bench->msgTexts().back().startsWith("Error in LotCode: "))
        << bench->msgTexts().back().toStdString();
    EXPECT_EQ(w().Text8->text(), "B-2");
}

// A code made ready by the service panel's "Generate" is not used for the next scanned stone when
// that stone's own code fails or is refused; the failure stays readable.
TEST_F(StaleLotCodeTest, FailedOrRefusedLotCodeStartsNoSequence)
{
    selectMode(true, w().Polish1);
    SimFault drop;
    drop.dropConnection = true;
    SimFault unusable;
    unusable.body = R"({"status":"generated","Table":"../A-1"})";
    const std::vector<std::pair<SimFault, QString>> faults{
        {drop, "Error in LotCode: "},
        {unusable, R"(Error in LotCode: The lot code "../A-1" from the server cannot name a spectrum file)"}};
    for (const auto& [fault, told] : faults) {
        SCOPED_TRACE(told.toStdString());
        bench->server().clearFaults();
        w().Text8->setText(QStringLiteral("A-1"));
        w().Command14->click();
        ASSERT_TRUE(s().IdReady.equals(1));
        bench->clearRecords();
        driver.reset();
        driver = std::make_unique<DialogDriver>();
        driver->setUnexpectedAnswer(Yes);

        bench->server().setFault("/diamond/generateLotCode", fault);
        scanStoneId(QStringLiteral("B-2"));

        expectNothingStartedFor("B-2");
        EXPECT_TRUE(bench->msgTexts().back().startsWith(told)) << bench->msgTexts().back().toStdString();
        EXPECT_TRUE(bench->server().registrations().empty());
    }
}

class OzbLookupTest : public WorkflowBench
{
protected:
    void SetUp() override
    {
        SimBench::Options options;
        options.companyCode = QStringLiteral("ozb");
        startBench(options);
        selectMode(true, w().Polish1);
        driver->setUnexpectedAnswer(Yes);
    }

    // The Enter handling stopped: the scan stays, no login, no lot code, no sequence.
    void expectStoppedWith(const QString& barcode, const QString& answer)
    {
        EXPECT_EQ(bench->msgTexts().back(),
                  "No stone ID for barcode " + barcode + " - the stone ID service answered: " + answer);
        EXPECT_EQ(w().Text8->text(), barcode);
        EXPECT_TRUE(requestsTo("/api/account/velora-login").empty());
        EXPECT_TRUE(requestsTo("/diamond/generateLotCode").empty());
        EXPECT_TRUE(driver->asked().isEmpty());
        EXPECT_TRUE(s().IdReady.isZeroOrEmpty());
    }
};

TEST_F(OzbLookupTest, RefusedCredentialsStopTheEntry)
{
    SimFault refused;
    refused.status = 401;
    refused.body = R"({"error":"invalid_client"})";
    bench->server().setFault("/ords/morvex14/oauth/token", refused);
    scanStoneId(QStringLiteral("BC-0044"));

    expectStoppedWith("BC-0044", R"(401 - {"error":"invalid_client"})");
    EXPECT_EQ(requestPaths(), QStringList({"/ords/morvex14/oauth/token"}));
}

TEST_F(OzbLookupTest, UnknownBarcodeStopsTheEntry)
{
    SimFault noStone;
    noStone.missingMember = true;
    bench->server().setFault("/ords/morvex14/morvexapp/get_stoneid", noStone);
    scanStoneId(QStringLiteral("BC-0045"));

    expectStoppedWith("BC-0045", R"(200 - {"result":"none"})");
    EXPECT_EQ(requestPaths(),
              QStringList({"/ords/morvex14/oauth/token", "/ords/morvex14/morvexapp/get_stoneid"}));
}

// An access token that would add header lines never reaches a request.
TEST_F(OzbLookupTest, AccessTokenWithLineBreaksIsRefused)
{
    SimFault injected;
    injected.body = "{\"access_token\":\"sat-1\r\nX-Injected: 1\",\"token_type\":\"bearer\"}";
    bench->server().setFault("/ords/morvex14/oauth/token", injected);
    scanStoneId(QStringLiteral("BC-0046"));

    expectStoppedWith("BC-0046", "200 - an access token with control characters, refused");
    EXPECT_EQ(requestPaths(), QStringList({"/ords/morvex14/oauth/token"}));
}

// A login token that would add header lines is refused; the lot code request goes out with the
// token the station already held, and no request carries the injected line.
TEST_F(StaleLotCodeTest, LoginTokenWithLineBreaksIsNeverSent)
{
    selectMode(true, w().Polish1);
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", No);
    const QString held = s().AuthToken;
    ASSERT_FALSE(held.isEmpty()) << "the start-up health check logged in";
    SimFault injected;
    injected.body = "{\"username\":\"auditor\",\"Token\":\"vt-evil\r\nX-Injected: 1\"}";
    bench->server().setFault("/api/account/velora-login", injected);
    scanStoneId(QStringLiteral("P-9"));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_EQ(s().AuthToken, held);
    ASSERT_FALSE(requestsTo("/diamond/generateLotCode").empty());
    for (const SimRecordedRequest& r : bench->server().requests()) {
        SCOPED_TRACE(r.path);
        EXPECT_FALSE(r.hasHeader("X-Injected"));
        if (r.hasHeader("Authorization") && r.header("Authorization").rfind("Bearer ", 0) == 0) {
            EXPECT_EQ(r.header("Authorization"), "Bearer " + held.toStdString());
        }
    }
}

} // namespace
