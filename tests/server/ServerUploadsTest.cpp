#include "ServerTestSupport.h"

// What the station sends about stones and about itself: registration and query scans, their
// submission and publication, the spectrometer's environment page and the machine status reports.

namespace {

const char* const uploadPath = "/diamond/UploadDiaMain";

} // namespace

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
    QObject::connect(&model(), &ConsoleModel::msgChanged, [&](const QString& text) { msgs << text; });
    model().Text8->setText(QStringLiteral("LOT1"));
    client->GenerateLotCode();
    msgs.clear();
    writeSpectrum(QStringLiteral("VL000001-3-01-ROUGH.dpt"), "1000,0.5\r\n1001,0.6\r\n");
    model().Command13->click();
    EXPECT_EQ(stationState().ScanIds[0], QStringLiteral("S-000001"));
    EXPECT_FALSE(stationState().DataFailed.toBool());
    EXPECT_EQ(model().msg1Text(), QStringLiteral("Uploading ...[1]....Done"));
    EXPECT_EQ(msgs, (QStringList{QStringLiteral("Uploading on Server......."),
                                 QStringLiteral("Response: {\"id\":\"S-000001\"}\n"),
                                 QStringLiteral("Uploading ...[1]....Done"),
                                 QStringLiteral("Diamond Uploaded.......= S-000001")}));
    const auto registrations = cloud.registrations();
    ASSERT_EQ(registrations.size(), 1u);
    EXPECT_EQ(registrations[0].lotCode, "VL000001");
    ASSERT_EQ(registrations[0].scans.size(), 1u);
    EXPECT_EQ(registrations[0].scans[0].points, "1000,0.5\r\n1001,0.6\r\n");
    EXPECT_TRUE(op().questions.isEmpty());
}

TEST_F(RegistrationUpload, RefusedUploadStillStoresTheIdButFails)
{
    cloud.setFault(uploadPath, statusFault(500));
    writeSpectrum(QStringLiteral("A-3-01-ROUGH.dpt"), "1,2\r\n");
    client->UploadRegistrationScan();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_EQ(stationState().ScanIds[0], QStringLiteral("S-000001"));
    EXPECT_EQ(model().msgText(), QStringLiteral("Diamond Uploaded.......= S-000001"));
    EXPECT_EQ(model().msg1Text().toStdString(), "Failed...[1]..500 - {\"id\":\"S-000001\"}\n");
    ASSERT_EQ(op().questions.size(), 1);
    EXPECT_EQ(op().questions[0].message, QStringLiteral("Failed...[1]..500 - {\"id\":\"S-000001\"}\n"));
    EXPECT_EQ(op().questions[0].title, QStringLiteral("Data Not correct"));
}

TEST_F(RegistrationUpload, RefusedWithAnEmptyReplyTakesTheErrorPathToo)
{
    stationState().ScanIds[0] = QStringLiteral("before");
    cloud.setFault(uploadPath, bodyFault("", 500));
    writeSpectrum(QStringLiteral("A-3-01-ROUGH.dpt"), "1,2\r\n");
    client->UploadRegistrationScan();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_EQ(stationState().ScanIds[0], QStringLiteral("before"));
    ASSERT_EQ(op().questions.size(), 2);
    EXPECT_EQ(op().questions[0].message, QStringLiteral("Failed...[1]..500 - "));
    EXPECT_TRUE(op().questions[1].message.startsWith(QStringLiteral("Error: Uploading ..[1]..")));
    EXPECT_EQ(model().msgText(), op().questions[1].message);
}

TEST_F(RegistrationUpload, MissingFileFailsSilently)
{
    stationState().SpectrumFileName = QStringLiteral("absent.dpt");
    cloud.clearRequests();
    client->UploadRegistrationScan();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_EQ(model().msgText(), QStringLiteral("Uploading on Server......."));
    EXPECT_TRUE(cloud.requestsTo(uploadPath).empty());
    EXPECT_TRUE(op().questions.isEmpty());
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
        EXPECT_FALSE(stationState().DataFailed.toBool()) << model().msgText().toStdString();
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
    EXPECT_EQ(model().msgText(), QStringLiteral("Error: Uploading ..[12]..Subscript out of range"));
    EXPECT_EQ(model().msg1Text(), model().msgText());
}

TEST_F(RegistrationUpload, SubmitSendsTheFirstNIds)
{
    QStringList msgs;
    stationState().ScanIds[0] = QStringLiteral("S-000001");
    writeSpectrum(QStringLiteral("A-3-01-ROUGH.dpt"), "1,2\r\n");
    client->UploadRegistrationScan();
    model().Text6->setText(QStringLiteral("1"));
    client->SubmitMainFiles();
    EXPECT_EQ(cloud.requestsTo("/diamond/submitMainFiles").back().body, "{\r\n\"scanIds\":[\"S-000001\"] }");
    EXPECT_FALSE(stationState().DataFailed.toBool());
    EXPECT_EQ(stationState().MeasurementIndex, 0);
    EXPECT_EQ(cloud.registrations().back().submittedIds, std::vector<std::string>{"S-000001"});
}

TEST_F(RegistrationUpload, SubmitOfTwelveFailsOnIndexEleven)
{
    stationState().DataFailed = true;
    model().Text6->setText(QStringLiteral("12"));
    cloud.clearRequests();
    client->SubmitMainFiles();
    EXPECT_EQ(model().msgText(), QStringLiteral("Error:  Subscript out of range"));
    EXPECT_EQ(stationState().MeasurementIndex, 11);
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_TRUE(cloud.requests().empty());
}

TEST_F(RegistrationUpload, RefusedSubmitShowsTheReply)
{
    stationState().ScanIds[0] = QStringLiteral("S-404");
    model().Text6->setText(QStringLiteral("1"));
    client->SubmitMainFiles();
    EXPECT_EQ(model().msgText(), QStringLiteral(R"(Error: 400 - {"message":"Unknown scan S-404"})"));
    EXPECT_EQ(model().msg1Text(), QStringLiteral(R"({"message":"Unknown scan S-404"})"));
    EXPECT_TRUE(stationState().DataFailed.toBool());
    ASSERT_EQ(op().questions.size(), 1);
    EXPECT_EQ(op().questions[0].message, model().msg1Text());
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
    QObject::connect(&model(), &ConsoleModel::msgChanged, [&](const QString& text) { msgs << text; });
    for (int i = 0; i < 2; ++i) {
        stationState().MeasurementIndex = qint16(i);
        writeSpectrum(QStringLiteral("VL9-3-0%1-ROUGH.dpt").arg(i + 1), "1,2\r\n");
        client->UploadQueryScan();
    }
    EXPECT_EQ(msgs.first(), QStringLiteral("Querying on Server....... = 0"));
    EXPECT_EQ(msgs.last(), QStringLiteral("Query Uploaded.......= T-000002"));
    EXPECT_EQ(cloud.transactions().front().points, "1,2\r\n\r");
    EXPECT_EQ(cloud.transactions().front().lotCode, "VL9");
    model().Text6->setText(QStringLiteral("2"));
    client->PublishTransactionIds();
    EXPECT_EQ(stationState().QueryId, QStringLiteral("Q-000001"));
    EXPECT_EQ(model().msgText(), QStringLiteral("publish New Added TransactionIds.......= Q-000001"));
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
    EXPECT_EQ(model().msg1Text(),
              QStringLiteral("File not found: ") + spectrumPath(QStringLiteral("absent.dpt")));
    ASSERT_EQ(op().questions.size(), 1);
    EXPECT_EQ(op().questions[0].title, QStringLiteral("Data Not correct"));
}

TEST_F(QueryUpload, TransportFailureTakesTheErrorPath)
{
    writeSpectrum(QStringLiteral("VL9-3-01-ROUGH.dpt"), "1,2\r\n");
    SimFault drop;
    drop.dropConnection = true;
    cloud.setFault("/diamond/addTransactionLog", drop);
    client->UploadQueryScan();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_TRUE(model().msgText().startsWith(QStringLiteral("Error: Query-Diamond ")));
    EXPECT_EQ(model().msg1Text(), model().msgText());
    ASSERT_EQ(op().questions.size(), 1);
}

TEST_F(QueryUpload, PublishOfNoneFailsOnIndexMinusOneWithoutTouchingDataFailed)
{
    stationState().DataFailed = false;
    model().Text6->setText(QStringLiteral("0"));
    client->PublishTransactionIds();
    EXPECT_EQ(model().msgText(), QStringLiteral("Error: NewTransactionIDS Subscript out of range"));
    EXPECT_FALSE(stationState().DataFailed.toBool());
    EXPECT_EQ(stationState().MeasurementIndex, 0);
}

TEST_F(QueryUpload, RefusedPublishStillCutsTheId)
{
    cloud.setFault("/diamond/publishNewAddedTransactionIds", bodyFault(R"({"id":"Q-42"})", 500));
    model().Text6->setText(QStringLiteral("1"));
    client->PublishTransactionIds();
    EXPECT_EQ(stationState().QueryId, QStringLiteral("Q-42"));
    EXPECT_TRUE(stationState().DataFailed.toBool());
    ASSERT_EQ(op().questions.size(), 1);
    EXPECT_EQ(op().questions[0].message, QStringLiteral(R"(Error: 500 - {"id":"Q-42"})"));
}

TEST_F(QueryUpload, MatcherMembersComeBeforeTheQueryId)
{
    cloud.setQueryMatcher([](const SimServer::PublishedQuery& query, const auto&) {
        return "\"verdict\":\"" + std::string(query.transactions.empty() ? "NONE" : "MATCH") + "\",";
    });
    writeSpectrum(QStringLiteral("VL9-3-01-ROUGH.dpt"), "1,2\r\n");
    client->UploadQueryScan();
    model().Text6->setText(QStringLiteral("1"));
    client->PublishTransactionIds();
    EXPECT_EQ(stationState().QueryId, QStringLiteral("Q-000001"));
    EXPECT_EQ(model().Text10->text(), QStringLiteral(R"({"verdict":"MATCH","id":"Q-000001"})"));
}

class EnvironmentAndTelemetry : public ServerFixture
{
};

TEST_F(EnvironmentAndTelemetry, PageValuesReachLabelsAndState)
{
    cloud.setDiagValues("25.1", "40", "8.2");
    client->ReadEnvironmentPage();
    EXPECT_EQ(model().Label23->text(), QStringLiteral("Temp  = 25.1"));
    EXPECT_EQ(model().Label24->text(), QStringLiteral("Rel-H = 40"));
    EXPECT_EQ(model().Label25->text(), QStringLiteral("Abs-H = 8.2"));
    EXPECT_EQ(stationState().Temperature.toText(), QStringLiteral("25.1"));
    EXPECT_EQ(stationState().AbsoluteHumidity, QStringLiteral("8.2"));
}

TEST_F(EnvironmentAndTelemetry, PageFailures)
{
    stationState().Temperature = QStringLiteral("20");
    const char* page = "/config/diag_scan.htm";
    cloud.setFault(page, statusFault(500));
    client->ReadEnvironmentPage();
    EXPECT_EQ(model().msg1Text(), QStringLiteral("Error: Scanner not available."));
    cloud.setFault(page, bodyFault(""));
    client->ReadEnvironmentPage();
    EXPECT_EQ(model().msg1Text(), QStringLiteral("Error: Page returned empty data."));
    cloud.setFault(page, bodyFault("<td ID=SCRTMPCORR>1</td><td id=scrhumrel>2</td><td ID=SCRHUMABS> 3"));
    client->ReadEnvironmentPage();
    EXPECT_EQ(model().msg1Text(), QStringLiteral("Scanner Connection Error."));
    EXPECT_EQ(stationState().Temperature.toText(), QStringLiteral("20"));
    cloud.stop();
    model().setMsg1(QString());
    client->ReadEnvironmentPage();
    EXPECT_EQ(model().msg1Text(), QStringLiteral("Scanner Connection Error."));
    EXPECT_EQ(stationState().Temperature.toText(), QStringLiteral("20"));
}

TEST_F(EnvironmentAndTelemetry, QuotedAttributesAreNotFoundAndSentAsNull)
{
    loginOn(cloud);
    cloud.setFault("/config/diag_scan.htm", bodyFault("<td ID=\"SCRTMPCORR\">1</td><td ID=SCRHUMREL>2</td>"
                                                      "<td ID=SCRHUMABS>3</td>"));
    client->ReadEnvironmentPage();
    EXPECT_EQ(model().Label23->text(), QStringLiteral("Temp  = Not Found"));
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
    model().Text11->setText(QStringLiteral("say \"ok\""));
    client->SendMachineStatus();
    auto reports = cloud.statusReports();
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports[0].valueJson, "null");
    EXPECT_EQ(reports[3].valueJson, "null");
    EXPECT_EQ(reports[4].valueJson, R"("say \"ok\"")");
    EXPECT_EQ(reports[5].valueJson, R"("MAGENTA")");
    EXPECT_EQ(model().msgText(), QStringLiteral(R"(Machine Status Uploaded {"message":"Status recorded"})"));

    model().Shape1->setColour(0x123456);
    client->SendMachineStatus();
    EXPECT_EQ(cloud.statusReports().back().valueJson, R"("")");
}

TEST_F(EnvironmentAndTelemetry, AFailedReportSkipsTheRest)
{
    SimFault drop;
    drop.dropConnection = true;
    cloud.setFault("/diamond/machineStatus", drop);
    model().setMsg(QStringLiteral("before"));
    client->SendMachineStatus();
    EXPECT_EQ(cloud.requestsTo("/diamond/machineStatus").size(), 1u);
    EXPECT_EQ(model().msgText(), QString());
}
