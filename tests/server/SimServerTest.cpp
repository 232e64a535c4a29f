#include "SimServer.h"
#include "server/HttpRequest.h"

#include <QString>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>

// The simulated peers as a client other than the station sees them.
class SimPeers : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.start(0)); }

    HttpReply post(const std::string& path, const QByteArray& body,
                   std::vector<HttpRequest::Header> headers = {})
    {
        HttpRequest request;
        return request.send("POST", QString::fromStdString(server.baseUrl() + path), headers, body);
    }

    std::string login()
    {
        const HttpReply reply =
            post("/api/account/velora-login",
                 R"({"companyName":"c","password":"Pnk4Morvatel9##","username":"auditor" })",
                 {{"Content-Type", "application/json"}});
        EXPECT_EQ(reply.status, 200);
        return server.lastToken();
    }

    SimServer server;
};

TEST_F(SimPeers, LoginChecksTheFixedCredentials)
{
    const HttpReply wrong =
        post("/api/account/velora-login", R"({"companyName":"c","password":"x","username":"auditor" })");
    EXPECT_EQ(wrong.status, 401);
    EXPECT_TRUE(server.lastToken().empty());
    const std::string token = login();
    EXPECT_EQ(token, "vt-000001");
}

TEST_F(SimPeers, AuthorisedEndpointsRefuseUnknownTokens)
{
    EXPECT_EQ(
        post("/diamond/generateLotCode", R"({"lotCode":"x"})", {{"Authorization", "Bearer nope"}}).status,
        401);
    const std::string token = login();
    const HttpReply reply = post("/diamond/generateLotCode", R"({"lotCode":"x"})",
                                 {{"Authorization", QByteArray::fromStdString("Bearer " + token)}});
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.text(), QStringLiteral(R"({"status":"generated","Table":"VL000001"})"));
}

TEST_F(SimPeers, InvalidJsonIsRefused)
{
    server.setRequireAuth(false);
    const HttpReply reply = post("/diamond/UploadDiaMain", R"({"points":"1,2)"
                                                           "\r\n"
                                                           R"("})");
    EXPECT_EQ(reply.status, 400);
    EXPECT_TRUE(server.registrations().empty());
}

TEST_F(SimPeers, StoneIdServiceChecksClientCredentials)
{
    const HttpReply refused = post("/ords/morvex14/oauth/token", "grant_type=client_credentials",
                                   {{"Authorization", "Basic " + QByteArray("a:b").toBase64()}});
    EXPECT_EQ(refused.status, 401);
    const HttpReply granted =
        post("/ords/morvex14/oauth/token", "grant_type=client_credentials",
             {{"Authorization", "Basic " + QByteArray(SimServer::stoneIdCredentials).toBase64()}});
    EXPECT_EQ(granted.status, 200);
    EXPECT_TRUE(granted.text().startsWith(QStringLiteral(R"({"access_token":"sat-000001")")));
    const HttpReply lookup = post("/ords/morvex14/morvexapp/get_stoneid?p_brid=BR001&p_bcno=A%26B",
                                  QByteArray(), {{"Authorization", "Bearer sat-000001"}});
    EXPECT_EQ(lookup.text(), QStringLiteral(R"({"stoneId":"OZB-A&B"})"));
}

TEST_F(SimPeers, RegistrationsAreGroupedByLotCodeAndSubmitted)
{
    const std::string token = login();
    const QByteArray bearer = QByteArray::fromStdString("Bearer " + token);
    post("/diamond/generateLotCode", R"({"lotCode":"x"})", {{"Authorization", bearer}});
    for (const char* name : {"VL000001-3-01-ROUGH.dpt", "VL000001-3-02-ROUGH.dpt", "OTHER-3-01-ROUGH.dpt"})
        EXPECT_EQ(post("/diamond/UploadDiaMain",
                       QByteArray(R"({"machineId":"m","name":")") + name + R"(","points":"1,2\r\n"})",
                       {{"Authorization", bearer}})
                      .status,
                  201);
    EXPECT_EQ(post("/diamond/submitMainFiles", "{\r\n\"scanIds\":[\"S-000001\",\"S-000002\"] }",
                   {{"Authorization", bearer}})
                  .status,
              201);
    const auto registrations = server.registrations();
    ASSERT_EQ(registrations.size(), 2u);
    EXPECT_EQ(registrations[1].lotCode, "VL000001");
    EXPECT_EQ(registrations[1].scans.size(), 2u);
    EXPECT_EQ(registrations[1].scans[0].points, "1,2\r\n");
    EXPECT_EQ(registrations[1].submittedIds, (std::vector<std::string>{"S-000001", "S-000002"}));
    EXPECT_EQ(registrations[0].lotCode, "OTHER");
    EXPECT_TRUE(registrations[0].submittedIds.empty());
}

TEST_F(SimPeers, RequestsOfOneConnectionShareItsNumber)
{
    // By hand: the station's own client never sends two requests on one connection.
    auto connectToServer = [this] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(server.port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    };
    auto sendRequest = [](int fd, const std::string& body) {
        const std::string request =
            "GET /getServerStatus HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\n\r\n" + body;
        EXPECT_EQ(::send(fd, request.data(), request.size(), 0), ssize_t(request.size()));
    };
    const int first = connectToServer();
    sendRequest(first, "");
    ASSERT_TRUE(server.waitForRequests(1, std::chrono::seconds(5)));
    sendRequest(first, "{}");
    ASSERT_TRUE(server.waitForRequests(2, std::chrono::seconds(5)));
    const int second = connectToServer();
    sendRequest(second, "");
    ASSERT_TRUE(server.waitForRequests(3, std::chrono::seconds(5)));
    ::close(first);
    ::close(second);
    const auto seen = server.requests();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].connection, seen[1].connection);
    EXPECT_NE(seen[1].connection, seen[2].connection);
    EXPECT_EQ(seen[1].body, "{}");
}

// A listening socket whose queue is full never completes a connection.
TEST(HttpTimeouts, ConnectTimeoutSaysNoConnection)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(filler);
    }
    ::usleep(100 * 1000);

    HttpRequest::Limits limits;
    limits.connectTimeout = std::chrono::milliseconds(300);
    limits.totalTimeout = std::chrono::milliseconds(5000);
    HttpRequest request(limits);
    QElapsedTimer elapsed;
    elapsed.start();
    const HttpReply reply =
        request.send("GET", QStringLiteral("http://127.0.0.1:%1/").arg(ntohs(address.sin_port)), {});
    EXPECT_LT(elapsed.elapsed(), 2000);
    EXPECT_FALSE(reply.completed);
    EXPECT_EQ(reply.error, QStringLiteral("No connection to 127.0.0.1 within 300 ms"));
    for (const int fd : fillers)
        ::close(fd);
    ::close(listener);
}
