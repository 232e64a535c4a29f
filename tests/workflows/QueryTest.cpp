#include "WorkflowBench.h"

namespace {

class QueryTest : public WorkflowBench
{
protected:
    void expectPlacedAndInside()
    {
        driver->expect("Have you Placed the stone ?", "Place the Stone", Yes)
            .expect("Move Inside?", "Arm Moving Inside", Yes);
    }

    // A polished stone registered first, so the query has something to meet on the server.
    QString registerPolishedStone(const QString& id)
    {
        selectMode(true, w().Polish1);
        driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
            .expect("Move Inside?", "Moving Inside", Yes);
        scanStoneId(id);
        EXPECT_EQ(driver->pending(), 0);
        const QString lot = qs(bench->server().lastLotCode());
        bench->clearRecords();
        return lot;
    }

    std::vector<std::string> uploadMembers(const char* member) const
    {
        std::vector<std::string> values;
        const std::string key = std::string("\"") + member + "\":";
        for (const SimRecordedRequest& r : requestsTo("/diamond/addTransactionLog")) {
            const size_t at = r.body.find(key) + key.size();
            values.push_back(r.body.substr(at, r.body.find_first_of(",}", at) - at));
        }
        return values;
    }
};

TEST_F(QueryTest, RegisteredStoneGetsItsQueryId)
{
    const QString registered = registerPolishedStone(QStringLiteral("P-100"));
    ASSERT_EQ(bench->server().registrations().size(), 1u);

    // The registration left the stage outside: the selection brings it in for the background.
    driver->expect("Move Inside?", "Arm Moving Inside", Yes);
    selectMode(false, w().Polish1);
    EXPECT_EQ(s().StageName, "POLISH-POLISH");
    expectPlacedAndInside();
    scanStoneId(QStringLiteral("P-100"));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
    EXPECT_TRUE(driver->systemBoxes().isEmpty());
    ASSERT_TRUE(controllerReceived(8));
    EXPECT_EQ(controllerCommands(),
              QStringList({"YF300", "XF67", "XF67", "XF67", "XF67", "XF67", "XF67", "YR300"}));

    const QString lot = qs(bench->server().lastLotCode());
    EXPECT_NE(lot, registered) << "a new lot code for the query";
    QStringList spectro;
    for (int i = 0; i < 6; ++i)
        spectro << measurementCommands(lot, i, "POLISH.XPM", "-POLISH");
    EXPECT_EQ(spectrometerCommands(), spectro);

    QStringList paths{"/api/account/velora-login", "/diamond/generateLotCode", "/getServerStatus",
                      "/api/account/velora-login"};
    for (int i = 0; i < 6; ++i)
        paths << "/diamond/addTransactionLog";
    paths << "/diamond/publishNewAddedTransactionIds";
    EXPECT_EQ(requestPaths(), paths);
    for (const std::string& stage : uploadMembers("stage"))
        EXPECT_EQ(stage, "\"POLISH-POLISH\"");
    for (const std::string& base : uploadMembers("base"))
        EXPECT_EQ(qs(base), "\"" + lot + "\"");
    const auto transactions = bench->server().transactions();
    ASSERT_EQ(transactions.size(), 6u);
    std::string ids;
    for (const auto& t : transactions)
        ids += (ids.empty() ? "\"" : ",\"") + t.id + "\"";
    EXPECT_EQ(
        requestsTo("/diamond/publishNewAddedTransactionIds").at(0).body,
        "{\"machineId\":\"ZENTI\",\"Product_Ver\":\"1-0-0\",\"Opus_Ver\":\"8.8.4\",\"transactionIds\":[" +
            ids + "],\r\n\"remark\":\"ZENTI\",\r\n\"expected_result\":\"NOT KNOW\"\r\n}");

    const auto queries = bench->server().queries();
    ASSERT_EQ(queries.size(), 1u);
    const QString queryId = qs(queries[0].id);
    EXPECT_TRUE(appearInOrder(
        bench->msgTexts(),
        {"Code Generated: " + lot, "Response: {\"status\":\"UP\"}", "Starting QUERY..",
         "Place the Stone......", "Moving Inside...Stage should be Inside",
         "Measuring Now .. Please wait !!! ", "Querying on Server....... = 0", "Finished .....1...Process ",
         "Querying on Server....... = 5", "Finished .....6...Process ", "All Data Captured and Uploaded...",
         "Moving Outside...Please Check Stage...", "Arm Moving ..Please wait ...   ", "Generating Query !!!",
         "publish New Added TransactionIds.......= " + queryId, "All Done  - QUERY_ID =  " + queryId}));
    EXPECT_EQ(bench->msgTexts().back(), "All Done  - QUERY_ID =  " + queryId);
    EXPECT_FALSE(bench->msgTexts().contains("Measuring .....Now..")) << "no registration texts";
    EXPECT_FALSE(bench->msgTexts().contains("Now Stage should be inside"));
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    QStringList backup = spectrumFiles(lot, 6, "-POLISH") + spectrumFiles(registered, 6, "-POLISH");
    backup.sort();
    EXPECT_EQ(bench->backupFiles(), backup);
    EXPECT_TRUE(s().IdReady.equals(0));
}

TEST_F(QueryTest, FailedUploadAnsweredNoLeavesTheStageOutAndPublishesNothing)
{
    selectMode(false, w().Polish3);
    EXPECT_EQ(s().FileSuffix, "-POLISH-AFTERSAWING");
    EXPECT_EQ(s().StageName, "POLISH");
    bench->server().setFault("/diamond/addTransactionLog", answerWith(503));
    const QString failure = "Error: 503 - {\"id\":\"T-000001\"}\n";
    expectPlacedAndInside();
    driver->expect(failure, "Data Not correct", Yes)
        .expect("Data Failed !!!. Continue ?", "Move Stone Postion Slightly !", No)
        .expect(failure, "Error Message", Yes);
    scanStoneId(QStringLiteral("Q-1"));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
    ASSERT_TRUE(controllerReceived(2));
    EXPECT_EQ(controllerCommands(), QStringList({"YF300", "YR300"}))
        << "the stage came out for the question and is not driven outwards again";
    const QString lot = qs(bench->server().lastLotCode());
    EXPECT_EQ(spectrometerCommands(), measurementCommands(lot, 0, "POLISH.XPM", "-POLISH-AFTERSAWING"));
    EXPECT_TRUE(requestsTo("/diamond/publishNewAddedTransactionIds").empty());
    EXPECT_EQ(bench->msgTexts().back(), failure);
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), spectrumFiles(lot, 1, "-POLISH-AFTERSAWING"));
    EXPECT_TRUE(s().IdReady.equals(0));
    EXPECT_TRUE(w().Text8->isEnabled());
}

// The second stone's publication is lost on the way: the operator sees the failure, never the first
// stone's query id.
TEST_F(QueryTest, LostPublicationShowsTheFailureNotThePreviousQueryId)
{
    selectMode(false, w().Polish1);
    expectPlacedAndInside();
    scanStoneId(QStringLiteral("P-200"));
    ASSERT_EQ(bench->server().queries().size(), 1u);
    const QString previous = qs(bench->server().queries()[0].id);
    ASSERT_EQ(bench->msgTexts().back(), "All Done  - QUERY_ID =  " + previous);

    bench->clearRecords();
    SimFault drop;
    drop.dropConnection = true;
    bench->server().setFault("/diamond/publishNewAddedTransactionIds", drop);
    expectPlacedAndInside();
    scanStoneId(QStringLiteral("P-201"));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_EQ(requestsTo("/diamond/addTransactionLog").size(), 6u);
    EXPECT_EQ(requestsTo("/diamond/publishNewAddedTransactionIds").size(), 1u);
    const QString last = bench->msgTexts().back();
    EXPECT_TRUE(last.startsWith("Query NOT published - Error: NewTransactionIDS ")) << last.toStdString();
    for (const QString& text : bench->msgTexts())
        EXPECT_FALSE(text.contains(previous)) << text.toStdString();
    EXPECT_TRUE(s().QueryId.isEmpty());
    EXPECT_TRUE(bench->dataFiles().isEmpty()) << "the spectra are backed up as after any query";
    EXPECT_TRUE(s().IdReady.equals(0));
}

TEST_F(QueryTest, EscapeTakesEffectAfterTheUpload)
{
    selectMode(false, w().Rough1);
    expectPlacedAndInside();
    // Escape reaches the window during the wait of the second measurement.
    int measured = 0;
    QObject::connect(&w(), &ConsoleModel::msgChanged, &w(), [&](const QString& text) {
        if (text.startsWith("Finished .....1") && ++measured == 1)
            postEscape();
    });
    scanStoneId(QStringLiteral("R-9"));

    ASSERT_TRUE(controllerReceived(3));
    EXPECT_EQ(controllerCommands(), QStringList({"YF300", "XF67", "YR300"}));
    const QString lot = qs(bench->server().lastLotCode());
    QStringList spectro = measurementCommands(lot, 0, "ROUGH.XPM", "-ROUGH");
    spectro << measurementCommands(lot, 1, "ROUGH.XPM", "-ROUGH");
    EXPECT_EQ(spectrometerCommands(), spectro) << "the query measures, saves and uploads before it looks";
    EXPECT_EQ(requestsTo("/diamond/addTransactionLog").size(), 2u);
    EXPECT_TRUE(requestsTo("/diamond/publishNewAddedTransactionIds").empty());
    EXPECT_EQ(bench->msgTexts().back(), "You Pressed Escape...Abrupted Query!!!");
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), spectrumFiles(lot, 2, "-ROUGH"));
}

TEST_F(QueryTest, RefusesWithoutAnId)
{
    selectMode(false, w().Polish2);
    EXPECT_EQ(s().FileSuffix, "-POLISH-ROUGH");
    flows().Label_Q_Click(0);
    ASSERT_EQ(driver->systemBoxes().size(), 1);
    EXPECT_EQ(driver->systemBoxes()[0].text, "Enter ID in Scanbar & Press ENTER and generate Code first");
    EXPECT_EQ(driver->systemBoxes()[0].title, "Generate ID First");
    EXPECT_FALSE(driver->systemBoxes()[0].withIcon);
    EXPECT_EQ(requestPaths(), QStringList({"/getServerStatus"}));
    EXPECT_TRUE(driver->asked().isEmpty());
}

} // namespace

namespace {

// Motors not initialised (both stage buttons enabled): the registration starts the initialisation
// and ends; the query does not look and asks to move inside as for a stage outside.
TEST_F(QueryTest, UninitialisedMotorsRegistrationInitialisesQueryAsks)
{
    selectMode(true, w().Polish1);
    s().IdReady = 1;
    w().Command18->setEnabled(true);
    w().Command19->setEnabled(true);
    flows().Label_R_Click(0);
    EXPECT_TRUE(driver->asked().isEmpty());
    EXPECT_EQ(requestPaths(), QStringList({"/getServerStatus"}))
        << "ended at the motor check, before the login";
    ASSERT_TRUE(controllerReceived(1));
    EXPECT_EQ(controllerCommands().value(0), "I");
    ASSERT_TRUE(
        bench->pumpUntil([this] { return w().Command19->isEnabled() && !w().Command18->isEnabled(); }, 3000));
    bench->pumpUntil([] { return false; }, 100);

    EXPECT_TRUE(s().IdReady.isZeroOrEmpty()) << "the next start is a new scan";
    bench->clearRecords();
    s().IdReady = 1;
    w().Command18->setEnabled(true);
    w().Command19->setEnabled(true);
    driver->expect("Have you Placed the stone ?", "Place the Stone", Yes)
        .expect("Move Inside?", "Arm Moving Inside", No);
    flows().Label_Q_Click(0);
    EXPECT_EQ(driver->pending(), 0);
    EXPECT_FALSE(console().Timer7->isEnabled());
    EXPECT_EQ(bench->msgTexts().back(), "Place the Stone......");
    EXPECT_TRUE(controllerCommands().isEmpty());
}

} // namespace
