#pragma once

#include "SimServer.h"
#include "core/StationState.h"
#include "server/ServerClient.h"
#include "ui/CircleShape.h"
#include "ui/Frmgrading.h"
#include "ui/MsgBox_.h"
#include "ui/TextBox.h"
#include "ui/UiTestSupport.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Answers every question of the station's dialog with OK, recording message and title.
class DataDialogAnswerer : public QObject
{
public:
    struct Shown
    {
        QString message;
        QString title;
    };
    QList<Shown> shown;

    DataDialogAnswerer()
    {
        connect(&MsgBox_::instance(), &MsgBox_::questionShown, this,
                [this](const QString& message, const QString& title) {
                    shown.push_back({message, title});
                    QTimer::singleShot(0, MsgBox_::instance().cmdOK,
                                       [] { MsgBox_::instance().cmdOK->click(); });
                });
    }
};

// Three simulated peers (cloud, LAN, LAN login), a console window wired to them and the client
// under test with short time-outs.
class ServerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetStationState();
        ASSERT_TRUE(cloud.start(0));
        ASSERT_TRUE(lan.start(0));
        ASSERT_TRUE(lanLogin.start(0));
        StationEnvironment env = console.make();
        env.cloudUrl = QString::fromStdString(cloud.baseUrl());
        env.lanUrl = QString::fromStdString(lan.baseUrl());
        env.lanLoginUrl = QString::fromStdString(lanLogin.baseUrl());
        env.stoneIdUrl = QString::fromStdString(cloud.baseUrl());
        env.diagPageUrl = QString::fromStdString(cloud.diagPageUrl());
        window = std::make_unique<Frmgrading>(env);
        client = std::make_unique<ServerClient>(*window);
        HttpRequest::Limits limits;
        limits.connectTimeout = std::chrono::milliseconds(1000);
        limits.totalTimeout = std::chrono::milliseconds(1500);
        client->setLimits(limits);

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
        window.reset();
        cloud.stop();
        lan.stop();
        lanLogin.stop();
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

    ConsoleEnvironment console;
    QTemporaryDir data;
    SimServer cloud;
    SimServer lan;
    SimServer lanLogin;
    std::unique_ptr<Frmgrading> window;
    std::unique_ptr<ServerClient> client;
    DataDialogAnswerer dialogs;
};

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

using Headers = std::vector<std::pair<std::string, std::string>>;
