#include "WorkflowBench.h"

#include <QFile>
#include <QPushButton>

namespace {

class OfflineRunTest : public WorkflowBench
{
protected:
    // A lot code obtained through the service panel's "Generate" (a declined sequence keeps none)
    // and the six data point files measured earlier under its names.
    QString prepare()
    {
        if (w().Command18->isEnabled())
            driver->expect("Move Inside?", "Arm Moving Inside", Yes);
        selectMode(false, w().Rough1);
        w().Text8->setText(QStringLiteral("R-OFF"));
        w().Command14->click();
        EXPECT_EQ(driver->pending(), 0);
        EXPECT_TRUE(s().IdReady.equals(1));
        const QString lot = qs(bench->server().lastLotCode());
        for (int i = 0; i < 6; ++i) {
            QFile file(bench->dataFolder() + "/" + sampleName(lot, i, "-ROUGH").chopped(2) + ".dpt");
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(SimSpectrometer::spectrumFor(lot, i));
        }
        m_stage18 = w().Command18->isEnabled();
        m_stage19 = w().Command19->isEnabled();
        bench->clearRecords();
        return lot;
    }

    QStringList dptFiles(const QString& lot) const
    {
        QStringList files;
        for (int i = 0; i < 6; ++i)
            files << sampleName(lot, i, "-ROUGH").chopped(2) + ".dpt";
        return files;
    }

    void expectStageRestored()
    {
        EXPECT_EQ(w().Command18->isEnabled(), m_stage18);
        EXPECT_EQ(w().Command19->isEnabled(), m_stage19);
    }

    static QStringList finishedLines()
    {
        QStringList lines;
        for (int k = 1; k <= 6; ++k)
            lines << QStringLiteral("Finished .....%1...Process ").arg(k);
        return lines;
    }

    bool m_stage18 = false;
    bool m_stage19 = false;
};

TEST_F(OfflineRunTest, QueryUploadsTheSavedFilesAndPublishes)
{
    const QString lot = prepare();
    flows().RunOfflineQuery();

    EXPECT_TRUE(driver->asked().isEmpty());
    EXPECT_TRUE(driver->systemBoxes().isEmpty());
    QStringList paths{"/getServerStatus", "/api/account/velora-login"};
    for (int i = 0; i < 6; ++i)
        paths << "/diamond/addTransactionLog";
    paths << "/diamond/publishNewAddedTransactionIds";
    EXPECT_EQ(requestPaths(), paths);
    const auto transactions = bench->server().transactions();
    ASSERT_EQ(transactions.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(qs(transactions[i].name), dptFiles(lot)[i]);
        EXPECT_EQ(qs(transactions[i].lotCode), lot);
        EXPECT_EQ(transactions[i].stage, "ROUGH");
    }
    const QString queryId = qs(bench->server().queries().at(0).id);
    QStringList msgs{"Starting OffLine QUERY.."};
    msgs << finishedLines() << "All Data Captured and Uploaded..."
         << "Generating Query !!!"
         << "publish New Added TransactionIds.......= " + queryId << "All Done  - QUERY_ID =  " + queryId;
    EXPECT_TRUE(appearInOrder(bench->msgTexts(), msgs));
    EXPECT_EQ(bench->msgTexts().back(), "All Done  - QUERY_ID =  " + queryId);
    bench->pumpUntil([] { return false; }, 30);
    EXPECT_TRUE(controllerCommands().isEmpty());
    EXPECT_TRUE(spectrometerCommands().isEmpty());
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), dptFiles(lot));
    EXPECT_TRUE(s().IdReady.equals(0));
    EXPECT_EQ(w().Text6->text(), "6");
    EXPECT_EQ(w().Text1->text(), "67");
    expectStageRestored();
}

TEST_F(OfflineRunTest, RegistrationUploadsAndSubmitsTheScans)
{
    const QString lot = prepare();
    flows().RunOfflineRegistration();

    EXPECT_TRUE(driver->asked().isEmpty());
    QStringList paths{"/getServerStatus", "/api/account/velora-login"};
    for (int i = 0; i < 6; ++i)
        paths << "/diamond/UploadDiaMain";
    paths << "/diamond/submitMainFiles";
    EXPECT_EQ(requestPaths(), paths);
    EXPECT_EQ(
        requestsTo("/diamond/submitMainFiles").at(0).body,
        "{\r\n\"scanIds\":[\"S-000001\",\"S-000002\",\"S-000003\",\"S-000004\",\"S-000005\",\"S-000006\"] }");
    QStringList msgs{"Starting OffLine Registration.."};
    msgs << finishedLines() << "All Data Captured and Uploaded..."
         << "Generating Registration !!!"
         << "All Done  - Registration Done =  ";
    EXPECT_TRUE(appearInOrder(bench->msgTexts(), msgs));
    EXPECT_EQ(bench->msgTexts().back(), "All Done  - Registration Done =  ");
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), dptFiles(lot));
    expectStageRestored();
}

// The submission's failure is the run's last word, not "All Done".
TEST_F(OfflineRunTest, RegistrationSubmissionFailureStaysInMsg)
{
    const QString lot = prepare();
    SimFault drop;
    drop.dropConnection = true;
    bench->server().setFault("/diamond/submitMainFiles", drop);
    flows().RunOfflineRegistration();

    EXPECT_EQ(requestsTo("/diamond/submitMainFiles").size(), 1u);
    const QString last = bench->msgTexts().back();
    EXPECT_TRUE(last.startsWith("Registration NOT submitted - Error:  ")) << last.toStdString();
    EXPECT_GT(last.size(), QStringLiteral("Registration NOT submitted - Error:  ").size())
        << "with the reason";
    EXPECT_FALSE(bench->msgTexts().contains("All Done  - Registration Done =  "));
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), dptFiles(lot));
    EXPECT_TRUE(s().IdReady.equals(0));

    // Refused by the server: the status and its reply.
    const QString lot2 = prepare();
    SimFault refused;
    refused.status = 500;
    bench->server().setFault("/diamond/submitMainFiles", refused);
    driver->setUnexpectedAnswer(Yes);
    flows().RunOfflineRegistration();
    EXPECT_TRUE(bench->msgTexts().back().startsWith("Registration NOT submitted - Error: 500 - "))
        << bench->msgTexts().back().toStdString();
    EXPECT_NE(lot2, lot);
}

// A publication lost on the way ends with its failure, never with another stone's query id.
TEST_F(OfflineRunTest, QueryPublicationFailureShowsNoQueryId)
{
    prepare();
    s().QueryId = QStringLiteral("Q-OLD-7");
    SimFault drop;
    drop.dropConnection = true;
    bench->server().setFault("/diamond/publishNewAddedTransactionIds", drop);
    flows().RunOfflineQuery();

    const QString last = bench->msgTexts().back();
    EXPECT_TRUE(last.startsWith("Query NOT published - Error: NewTransactionIDS ")) << last.toStdString();
    for (const QString& text : bench->msgTexts())
        EXPECT_FALSE(text.contains("Q-OLD-7")) << text.toStdString();
    EXPECT_TRUE(s().QueryId.isEmpty());
}

TEST_F(OfflineRunTest, RegistrationWithAFailedUploadGoesOnButDoesNotSubmit)
{
    const QString lot = prepare();
    QObject::connect(&w(), &ConsoleModel::msgChanged, &w(), [this](const QString& text) {
        if (text == "Finished .....2...Process ")
            bench->server().setFault("/diamond/UploadDiaMain", answerWith(500));
        if (text == "Finished .....3...Process ")
            bench->server().clearFault("/diamond/UploadDiaMain");
    });
    driver->expect("Failed...[3]..500 - {\"id\":\"S-000003\"}\n", "Data Not correct", Yes);
    flows().RunOfflineRegistration();

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_EQ(requestsTo("/diamond/UploadDiaMain").size(), 6u) << "the run goes on with the next index";
    EXPECT_TRUE(requestsTo("/diamond/submitMainFiles").empty());
    EXPECT_EQ(bench->msgTexts().back(), "Registration NOT submitted - failed uploads: 3");
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), dptFiles(lot));
}

TEST_F(OfflineRunTest, EscapeBreaksOffBothRuns)
{
    for (const bool query : {false, true}) {
        SCOPED_TRACE(query ? "query" : "registration");
        const QString lot = prepare();
        const auto connection =
            QObject::connect(&w(), &ConsoleModel::msgChanged, &w(), [this](const QString& text) {
                if (text == "Finished .....2...Process ")
                    postEscape();
            });
        query ? flows().RunOfflineQuery() : flows().RunOfflineRegistration();
        QObject::disconnect(connection);

        // Escape is served in the wait after the third upload and seen before the fourth.
        EXPECT_EQ(requestsTo(query ? "/diamond/addTransactionLog" : "/diamond/UploadDiaMain").size(), 3u);
        EXPECT_TRUE(requestsTo("/diamond/publishNewAddedTransactionIds").empty());
        EXPECT_TRUE(requestsTo("/diamond/submitMainFiles").empty());
        EXPECT_EQ(bench->msgTexts().back(), "You Pressed Escape...Abrupted Query!!!");
        EXPECT_TRUE(bench->dataFiles().isEmpty());
        for (const QString& file : dptFiles(lot))
            EXPECT_TRUE(bench->backupFiles().contains(file)) << file.toStdString();
        EXPECT_TRUE(s().IdReady.equals(0));
        expectStageRestored();
    }
}

TEST_F(OfflineRunTest, QueryFailureAnsweredCancelShowsTheError)
{
    const QString lot = prepare();
    bench->server().setFault("/diamond/addTransactionLog", answerWith(500));
    const QString failure = "Error: 500 - {\"id\":\"T-000001\"}\n";
    driver->expect(failure, "Data Not correct", Yes)
        .expect("Move Stone Postion Slightly !!! Continue ?", "Data Failed", No)
        .expect(failure, "Error Message", Yes);
    flows().RunOfflineQuery();

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
    ASSERT_TRUE(controllerReceived(1));
    EXPECT_EQ(controllerCommands(), QStringList({"YR300"}));
    EXPECT_TRUE(appearInOrder(bench->msgTexts(),
                              {"Starting OffLine QUERY..", failure, "Moving Outside...Please Check Stage...",
                               "Arm Moving ..Please wait ....   ", failure}));
    EXPECT_EQ(bench->msgTexts().back(), failure);
    EXPECT_TRUE(requestsTo("/diamond/publishNewAddedTransactionIds").empty());
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), dptFiles(lot));
    expectStageRestored();
}

TEST_F(OfflineRunTest, RefusedWithoutServerOrLotCode)
{
    SimFault down;
    down.status = 503;
    bench->server().setFault("/getServerStatus", down);
    QFile kept(bench->dataFolder() + "/kept.dpt");
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();
    flows().RunOfflineQuery();
    bench->server().clearFault("/getServerStatus");
    flows().RunOfflineRegistration();

    ASSERT_EQ(driver->systemBoxes().size(), 2);
    EXPECT_EQ(driver->systemBoxes()[0].text, "INTERNET oR VELORA Server is not recheable");
    EXPECT_EQ(driver->systemBoxes()[0].title, "Connectivity Issue");
    EXPECT_EQ(driver->systemBoxes()[1].text, "Enter ID in Scanbar & Press ENTER and generate Code first");
    EXPECT_EQ(driver->systemBoxes()[1].title, "Generate ID First");
    EXPECT_EQ(requestPaths(), QStringList({"/getServerStatus", "/getServerStatus"}));
    EXPECT_EQ(bench->dataFiles(), QStringList({"kept.dpt"}));
}

} // namespace
