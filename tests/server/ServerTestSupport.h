#pragma once

#include "SimServer.h"
#include "core/StationEnvironment.h"
#include "core/StationState.h"
#include "server/ServerClient.h"
#include "support/ConsoleEnvironment.h"
#include "support/TestConsole.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

// Three simulated peers (cloud, LAN, LAN login), a console wired to them and the client under
// test with short time-outs. The console's operator answers every question with OK.
class ServerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetStationState();
        ASSERT_TRUE(cloud.start(0));
        ASSERT_TRUE(lan.start(0));
        ASSERT_TRUE(lanLogin.start(0));
        StationEnvironment env = environment.make();
        env.cloudUrl = QString::fromStdString(cloud.baseUrl());
        env.lanUrl = QString::fromStdString(lan.baseUrl());
        env.lanLoginUrl = QString::fromStdString(lanLogin.baseUrl());
        env.stoneIdUrl = QString::fromStdString(cloud.baseUrl());
        env.diagPageUrl = QString::fromStdString(cloud.diagPageUrl());
        makeClient(env);

        StationState& s = stationState();
        s.UserName = QStringLiteral("VEL-07");
        s.CompanyCode = QStringLiteral("acme");
        s.ProgramVersion = QStringLiteral("2.4.1");
        s.OpusVersion = QStringLiteral("8.8.4");
        s.DataFolder = data.path();
    }

    void TearDown() override
    {
        client.reset();
        console.reset();
        cloud.stop();
        lan.stop();
        lanLogin.stop();
    }

    // A new console on env and a client on it, with the fixture's short time-outs.
    void makeClient(const StationEnvironment& env)
    {
        client.reset();
        console = std::make_unique<TestConsole>(env);
        client = std::make_unique<ServerClient>(console->console, console->op);
        HttpRequest::Limits limits;
        limits.connectTimeout = std::chrono::milliseconds(1000);
        limits.totalTimeout = std::chrono::milliseconds(1500);
        client->setLimits(limits);
    }

    // Logs in on the given server so that its authorised endpoints accept the token.
    void loginOn(SimServer& server)
    {
        stationState().ServerMode = &server == &lan ? 1 : 0;
        SimServer& loginServer = &server == &lan ? lanLogin : cloud;
        client->Login();
        // The LAN server trusts the tokens of its login address.
        if (&server == &lan)
            server.setRequireAuth(false);
        ASSERT_EQ(stationState().AuthToken.toStdString(), loginServer.lastToken());
    }

    void writeSpectrum(const QString& name, const QByteArray& bytes)
    {
        QFile file(data.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        stationState().SpectrumFileName = name;
    }

    QString spectrumPath(const QString& name) const { return data.path() + QStringLiteral("\\") + name; }

    ConsoleModel& model() { return console->model; }
    AnsweringOperator& op() { return console->op; }

    ConsoleEnvironment environment;
    QTemporaryDir data;
    SimServer cloud;
    SimServer lan;
    SimServer lanLogin;
    std::unique_ptr<TestConsole> console;
    std::unique_ptr<ServerClient> client;
};

// A reply with the given status and the usual body.
inline SimFault statusFault(int status)
{
    SimFault fault;
    fault.status = status;
    return fault;
}

// A reply with the given body and status.
inline SimFault bodyFault(const std::string& body, int status = 200)
{
    SimFault fault;
    fault.body = body;
    fault.status = status;
    return fault;
}

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

using Headers = std::vector<std::pair<std::string, std::string>>;
