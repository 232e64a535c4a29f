#include "ServerTestSupport.h"
#include "support/TestCertificates.h"

#include <cstdlib>

namespace {

// One throw-away authority for the whole suite; certificates take a moment to make.
TestCertificates* certificates = nullptr;

class Https : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        certificates = new TestCertificates;
        if (!certificates->makeAuthority() ||
            !certificates->makeServer(QStringLiteral("localhost"),
                                      QStringLiteral("DNS:localhost,IP:127.0.0.1")) ||
            !certificates->makeServer(QStringLiteral("other"), QStringLiteral("DNS:velora.example.com")))
            ADD_FAILURE() << certificates->error().toStdString();
    }
    static void TearDownTestSuite()
    {
        delete certificates;
        certificates = nullptr;
    }

    void SetUp() override
    {
        resetStationState();
        StationState& s = stationState();
        s.UserName = QStringLiteral("VEL-07");
        s.CompanyCode = QStringLiteral("acme");
        s.DataFolder = data.path();
        s.MeasurementIndex = 0;
        s.DataFailed = false;
    }

    void TearDown() override
    {
        client.reset();
        console.reset();
        server.stop();
    }

    void startServer(const QString& certificateName)
    {
        server.setTls(certificates->certificate(certificateName).toStdString(),
                      certificates->key(certificateName).toStdString());
        ASSERT_TRUE(server.start(0));
        ASSERT_EQ(server.baseUrl().rfind("https://", 0), 0u);
    }

    // The station's client as a site configures it: every address on the HTTPS server.
    void makeClient(const QString& caBundle)
    {
        StationEnvironment env = environment.make();
        const QString base = QString::fromStdString(server.baseUrl());
        env.cloudUrl = base;
        env.lanUrl = base;
        env.lanLoginUrl = base;
        env.stoneIdUrl = base;
        env.diagPageUrl = QString::fromStdString(server.baseUrl() + "/config/diag_scan.htm");
        env.caBundle = caBundle;
        env.connectTimeout = std::chrono::milliseconds(3000);
        env.requestTimeout = std::chrono::milliseconds(5000);
        console = std::make_unique<TestConsole>(env);
        client = std::make_unique<ServerClient>(console->console, console->op);
    }

    void writeSpectrum(const QString& name, const QByteArray& bytes)
    {
        QFile file(data.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        stationState().SpectrumFileName = name;
    }

    ConsoleEnvironment environment;
    QTemporaryDir data;
    SimServer server;
    std::unique_ptr<TestConsole> console;
    std::unique_ptr<ServerClient> client;
};

TEST_F(Https, TheSitesAuthorityCarriesLoginUploadsAndMachineStatus)
{
    startServer(QStringLiteral("localhost"));
    makeClient(certificates->authority());

    client->Login();
    ASSERT_FALSE(server.lastToken().empty()) << client->lastError().toStdString();
    EXPECT_EQ(stationState().AuthToken.toStdString(), server.lastToken());

    console->model.Text8->setText(QStringLiteral("LOT1"));
    client->GenerateLotCode();
    EXPECT_EQ(stationState().LotCode.toText(), QStringLiteral("VL000001"));
    writeSpectrum(QStringLiteral("VL000001-3-01-ROUGH.dpt"), "1000,0.5\r\n1001,0.6\r\n");
    client->UploadRegistrationScan();
    EXPECT_FALSE(stationState().DataFailed.toBool());
    const auto registrations = server.registrations();
    ASSERT_EQ(registrations.size(), 1u);
    ASSERT_EQ(registrations[0].scans.size(), 1u);
    EXPECT_EQ(registrations[0].scans[0].points, "1000,0.5\r\n1001,0.6\r\n");

    stationState().StageName = QStringLiteral("ROUGH");
    client->UploadQueryScan();
    EXPECT_FALSE(stationState().DataFailed.toBool());
    EXPECT_EQ(server.transactions().size(), 1u);

    server.setDiagValues("25.1", "40", "8.2");
    client->ReadEnvironmentPage();
    EXPECT_EQ(console->model.Label23->text(), QStringLiteral("Temp  = 25.1"));
    client->SendMachineStatus();
    const auto reports = server.statusReports();
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports[0].machineId, "VEL-07");
    EXPECT_EQ(reports[1].valueJson, "25.1");
    EXPECT_EQ(server.failedHandshakes(), 0);
}

TEST_F(Https, WithoutTheAuthorityNothingIsSentAndTheErrorSaysCertificate)
{
    startServer(QStringLiteral("localhost"));
    makeClient(QString());

    stationState().AuthToken = QStringLiteral("old");
    client->Login();
    EXPECT_EQ(stationState().AuthToken, QStringLiteral("old"));
    EXPECT_TRUE(client->lastError().contains(QStringLiteral("certificate"), Qt::CaseInsensitive))
        << client->lastError().toStdString();

    writeSpectrum(QStringLiteral("A-3-01-ROUGH.dpt"), "1,2\r\n");
    client->UploadRegistrationScan();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    ASSERT_EQ(console->op.questions.size(), 1);
    EXPECT_TRUE(console->op.questions[0].message.startsWith(QStringLiteral("Error: Uploading ..[1]..")));
    EXPECT_TRUE(console->op.questions[0].message.contains(QStringLiteral("certificate"), Qt::CaseInsensitive))
        << console->op.questions[0].message.toStdString();

    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(server.registrations().empty());
    EXPECT_GE(server.failedHandshakes(), 2);
}

TEST_F(Https, ACertificateForAnotherHostIsRefused)
{
    startServer(QStringLiteral("other"));
    makeClient(certificates->authority());

    client->Login();
    EXPECT_TRUE(stationState().AuthToken.isEmpty());
    EXPECT_TRUE(client->lastError().contains(QStringLiteral("localhost")))
        << client->lastError().toStdString();
    stationState().AuthToken = QStringLiteral("t");
    client->SendMachineStatus();
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(server.statusReports().empty());
}

// Sets process environment variables for one test and restores them after it.
class ScopedEnvironment
{
public:
    void set(const char* name, const std::string& value)
    {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

class Proxy : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetStationState();
        stationState().CompanyCode = QStringLiteral("acme");
        ASSERT_TRUE(server.start(0));
        ASSERT_TRUE(proxy.start(0));
    }

    void makeClient(const QString& base, const QString& proxyUrl)
    {
        StationEnvironment env = environment.make();
        env.cloudUrl = base;
        env.lanLoginUrl = base;
        env.proxy = proxyUrl;
        env.connectTimeout = std::chrono::milliseconds(2000);
        env.requestTimeout = std::chrono::milliseconds(3000);
        console = std::make_unique<TestConsole>(env);
        client = std::make_unique<ServerClient>(console->console, console->op);
    }

    ConsoleEnvironment environment;
    SimServer server;
    SimServer proxy; // records what a proxy would be asked
    std::unique_ptr<TestConsole> console;
    std::unique_ptr<ServerClient> client;
};

TEST_F(Proxy, TheSitesProxyCarriesTheRequestsWhateverNoProxySays)
{
    ScopedEnvironment environment;
    environment.set("no_proxy", "*");
    environment.set("NO_PROXY", "*");
    makeClient(QStringLiteral("http://velora-cloud.invalid"), QString::fromStdString(proxy.baseUrl()));
    client->Login();
    const auto requests = proxy.requests();
    ASSERT_EQ(requests.size(), 1u) << client->lastError().toStdString();
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "http://velora-cloud.invalid/api/account/velora-login");
    const std::vector<std::pair<std::string, std::string>> headers{
        {"Host", "velora-cloud.invalid"},
        {"Content-Type", "application/json"},
        {"Accept", "application/json"},
        {"Content-Length", std::to_string(requests[0].body.size())}};
    EXPECT_EQ(requests[0].headers, headers) << "the operation's headers and no Proxy-Connection";
    EXPECT_NE(requests[0].body.find("\"companyName\""), std::string::npos);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(Proxy, TheEnvironmentsProxyIsIgnored)
{
    ScopedEnvironment environment;
    for (const char* name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        environment.set(name, proxy.baseUrl());
    makeClient(QString::fromStdString(server.baseUrl()), QString());
    client->Login();
    EXPECT_EQ(stationState().AuthToken.toStdString(), server.lastToken());
    EXPECT_EQ(server.requestsTo("/api/account/velora-login").size(), 1u);
    EXPECT_TRUE(proxy.requests().empty());
}

} // namespace
