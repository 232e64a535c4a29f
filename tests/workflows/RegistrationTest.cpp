#include "WorkflowBench.h"

#include <QElapsedTimer>

#include <iostream>

namespace {

class RegistrationTest : public WorkflowBench
{
protected:
    static QString scanId(int n) { return QStringLiteral("S-%1").arg(n, 6, 10, QLatin1Char('0')); }

    // What Msg shows for one accepted measurement of the registration.
    QStringList scanMsgs(const QString& lot, int index, const QString& suffix, const QString& id) const
    {
        const QString sample = sampleName(lot, index, suffix);
        const QString dpt = sample.chopped(2) + QStringLiteral(".dpt");
        const QString k = QString::number(index + 1);
        return {QStringLiteral("Measuring .....Now.."),
                QStringLiteral("Saving ......") + dpt,
                QStringLiteral("File Saved..") + dpt,
                QStringLiteral("Unloading File ..") + data() + QLatin1Char('\\') + sample,
                QStringLiteral("Uploading on Server......."),
                QStringLiteral("Response: {\"id\":\"") + id + QStringLiteral("\"}\n"),
                QStringLiteral("Uploading ...[") + k + QStringLiteral("]....Done"),
                QStringLiteral("Diamond Uploaded.......= ") + id,
                QStringLiteral("Finished ...") + k + QStringLiteral("...Process ... ")};
    }

    void expectPlacedAndInside()
    {
        driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
            .expect("Move Inside?", "Moving Inside", Yes);
    }

    QStringList uploadedNames() const
    {
        QStringList names;
        for (const SimRecordedRequest& r : requestsTo("/diamond/UploadDiaMain")) {
            const QString body = qs(r.body);
            const qsizetype at = body.indexOf(QStringLiteral("\"name\":\"")) + 8;
            names << body.mid(at, body.indexOf(QLatin1Char('"'), at) - at);
        }
        return names;
    }

    void expectConsoleReady()
    {
        EXPECT_TRUE(w().Text8->isEnabled());
        EXPECT_TRUE(w().Register->isEnabled());
        EXPECT_TRUE(w().Query->isEnabled());
        EXPECT_FALSE(flows().isRunning());
    }
};

TEST_F(RegistrationTest, RoughStoneWithoutFailures)
{
    selectMode(true, w().Rough1);
    expectPlacedAndInside();
    driver->expect("Have you moved the stone physically ?", "Arm Moving Outside", Yes);

    QElapsedTimer wall;
    wall.start();
    scanStoneId(QStringLiteral("LOT123-05#7-2"));
    const qint64 ms = wall.elapsed();
    std::cout << "[ figures  ] rough registration (8 scans) at time scale 1/1000: " << ms << " ms wall\n";
    RecordProperty("rough_registration_wall_ms", static_cast<int>(ms));
    EXPECT_LT(ms, 2000);

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
    EXPECT_TRUE(driver->systemBoxes().isEmpty());

    ASSERT_TRUE(controllerReceived(12));
    EXPECT_EQ(controllerCommands(), QStringList({"YF300", "XF100", "XF100", "XF100", "XF100", "YR300",
                                                 "YF300", "XF100", "XF100", "XF100", "XF100", "YR300"}));

    const QString lot = qs(bench->server().lastLotCode());
    ASSERT_EQ(lot, "VL000001");
    QStringList spectro;
    for (int i = 0; i < 8; ++i)
        spectro << measurementCommands(lot, i, "ROUGH.XPM", "-ROUGH");
    EXPECT_EQ(spectrometerCommands(), spectro);

    QStringList paths{"/api/account/velora-login", "/diamond/generateLotCode", "/getServerStatus",
                      "/api/account/velora-login"};
    for (int i = 0; i < 8; ++i)
        paths << "/diamond/UploadDiaMain";
    paths << "/diamond/submitMainFiles";
    EXPECT_EQ(requestPaths(), paths);
    EXPECT_EQ(requestsTo("/diamond/generateLotCode").at(0).body, R"({"lotCode":"LOT123-7.2"})");
    EXPECT_EQ(requestsTo("/getServerStatus").at(0).body, R"({"Status":"LOT123-7.2"})");
    QStringList names;
    for (int i = 0; i < 8; ++i)
        names << sampleName(lot, i, "-ROUGH").chopped(2) + ".dpt";
    EXPECT_EQ(uploadedNames(), names);
    EXPECT_EQ(
        requestsTo("/diamond/submitMainFiles").at(0).body,
        "{\r\n\"scanIds\":[\"S-000001\",\"S-000002\",\"S-000003\",\"S-000004\",\"S-000005\",\"S-000006\","
        "\"S-000007\",\"S-000008\"] }");

    QStringList msgs{"Code Generated: VL000001", "Response: {\"status\":\"UP\"}", "Place the Stone......",
                     "Moving Inside...Stage should be Inside", "Now Stage should be inside"};
    for (int i = 0; i < 4; ++i)
        msgs << scanMsgs(lot, i, "-ROUGH", scanId(i + 1));
    msgs << "Moving Outside...Please Check Stage..."
         << "Arm Moving ..Please wait ....   "
         << "Moving Inside...Stage should be Inside";
    for (int i = 4; i < 8; ++i)
        msgs << scanMsgs(lot, i, "-ROUGH", scanId(i + 1));
    msgs << "All Data Captured and Uploaded..."
         << "Stage should be outside .. Please check !!! "
         << "Moving Outside...Please Check Stage..."
         << "Arm Moving ..Please wait ...   "
         << "All Done....Finished !!!"
         << "Submitting Main Files !!!"
         << "Querying on Server......."
         << "Response: {\"message\":\"Main files submitted\",\"count\":8}";
    EXPECT_EQ(bench->msgTexts(), msgs);

    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), spectrumFiles(lot, 8, "-ROUGH"));
    EXPECT_TRUE(s().IdReady.equals(0));
    EXPECT_EQ(s().MeasurementIndex, 7) << "the submission reuses the loop counter";
    expectConsoleReady();
}

TEST_F(RegistrationTest, PolishStoneTakesSixScansTurnedBy67)
{
    selectMode(true, w().Polish1);
    EXPECT_EQ(s().ExperimentFile.toText(), "POLISH.XPM");
    expectPlacedAndInside();
    scanStoneId(QStringLiteral("P-77"));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
    ASSERT_TRUE(controllerReceived(8));
    EXPECT_EQ(controllerCommands(),
              QStringList({"YF300", "XF67", "XF67", "XF67", "XF67", "XF67", "XF67", "YR300"}));
    EXPECT_EQ(w().Text6->text(), "6");
    EXPECT_EQ(w().Text1->text(), "67");
    const QString lot = qs(bench->server().lastLotCode());
    QStringList spectro;
    for (int i = 0; i < 6; ++i)
        spectro << measurementCommands(lot, i, "POLISH.XPM", "-POLISH");
    EXPECT_EQ(spectrometerCommands(), spectro);
    EXPECT_EQ(requestsTo("/diamond/UploadDiaMain").size(), 6u);
    EXPECT_EQ(
        requestsTo("/diamond/submitMainFiles").at(0).body,
        "{\r\n\"scanIds\":[\"S-000001\",\"S-000002\",\"S-000003\",\"S-000004\",\"S-000005\",\"S-000006\"] }");
    EXPECT_FALSE(bench->msgTexts().contains("Arm Moving ..Please wait ....   ")) << "no turn-over";
    EXPECT_TRUE(
        appearInOrder(bench->msgTexts(), {"Finished ...1...Process ... ", "Finished ...6...Process ... ",
                                          "All Done....Finished !!!", "Submitting Main Files !!!"}));
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), spectrumFiles(lot, 6, "-POLISH"));
}

TEST_F(RegistrationTest, FailedUploadAnsweredYesMeasuresTheSameIndexAgain)
{
    selectMode(true, w().Polish1);
    bench->server().setFault("/diamond/UploadDiaMain", answerWith(500));
    expectPlacedAndInside();
    driver->expect("Failed...[1]..500 - {\"id\":\"S-000001\"}\n", "Data Not correct", Yes)
        .expect("Move Stone Postion Slightly !!!! Continue ?", "Data Failed", Yes,
                [this] { bench->server().clearFault("/diamond/UploadDiaMain"); });
    scanStoneId(QStringLiteral("P-78"));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
    ASSERT_TRUE(controllerReceived(10));
    EXPECT_EQ(controllerCommands(), QStringList({"YF300", "YR300", "YF300", "XF67", "XF67", "XF67", "XF67",
                                                 "XF67", "XF67", "YR300"}));
    const QString lot = qs(bench->server().lastLotCode());
    QStringList spectro = measurementCommands(lot, 0, "POLISH.XPM", "-POLISH");
    for (int i = 0; i < 6; ++i)
        spectro << measurementCommands(lot, i, "POLISH.XPM", "-POLISH");
    EXPECT_EQ(spectrometerCommands(), spectro) << "the first index is measured twice";
    const QString first = sampleName(lot, 0, "-POLISH").chopped(2) + ".dpt";
    EXPECT_EQ(uploadedNames().mid(0, 2), QStringList({first, first}));
    // The accepted attempt's id stands first; the refused one is not submitted.
    EXPECT_EQ(
        requestsTo("/diamond/submitMainFiles").at(0).body,
        "{\r\n\"scanIds\":[\"S-000002\",\"S-000003\",\"S-000004\",\"S-000005\",\"S-000006\",\"S-000007\"] }");
    EXPECT_TRUE(
        appearInOrder(bench->msgTexts(),
                      {"Failed...[1]..500 - {\"id\":\"S-000001\"}\n", "Diamond Uploaded.......= S-000001",
                       "Moving Outside...Please Check Stage...", "Arm Moving ..Please wait ....   ",
                       "Moving Inside...Stage should be Inside", "Measuring .....Now..",
                       "Uploading ...[1]....Done", "Finished ...1...Process ... "}));
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), spectrumFiles(lot, 6, "-POLISH"));
}

TEST_F(RegistrationTest, FailedUploadAnsweredNoTakesTheAbortPath)
{
    selectMode(true, w().Polish1);
    bench->server().setFault("/diamond/UploadDiaMain", answerWith(500));
    const QString failure = "Failed...[1]..500 - {\"id\":\"S-000001\"}\n";
    expectPlacedAndInside();
    driver->expect(failure, "Data Not correct", Yes)
        .expect("Move Stone Postion Slightly !!!! Continue ?", "Data Failed", No)
        .expect(failure, "Error Message", Yes);
    scanStoneId(QStringLiteral("P-79"));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
    ASSERT_TRUE(controllerReceived(2));
    EXPECT_EQ(controllerCommands(), QStringList({"YF300", "YR300"}))
        << "the stage is already out: no second retract";
    const QString lot = qs(bench->server().lastLotCode());
    EXPECT_EQ(spectrometerCommands(), measurementCommands(lot, 0, "POLISH.XPM", "-POLISH"));
    EXPECT_EQ(requestPaths(),
              QStringList({"/api/account/velora-login", "/diamond/generateLotCode", "/getServerStatus",
                           "/api/account/velora-login", "/diamond/UploadDiaMain"}))
        << "nothing submitted";
    EXPECT_EQ(bench->msgTexts().back(), failure);
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), spectrumFiles(lot, 1, "-POLISH"));
    EXPECT_TRUE(s().IdReady.equals(0));
    expectConsoleReady();
}

TEST_F(RegistrationTest, EscapeDuringTheMeasurementWaitAborts)
{
    selectMode(true, w().Polish1);
    expectPlacedAndInside();
    int measuring = 0;
    QObject::connect(&w(), &ConsoleModel::msgChanged, &w(), [&](const QString& text) {
        if (text == "Measuring .....Now.." && ++measuring == 2)
            postEscape();
    });
    scanStoneId(QStringLiteral("P-80"));

    EXPECT_EQ(driver->pending(), 0);
    ASSERT_TRUE(controllerReceived(3));
    EXPECT_EQ(controllerCommands(), QStringList({"YF300", "XF67", "YR300"}));
    const QString lot = qs(bench->server().lastLotCode());
    QStringList spectro = measurementCommands(lot, 0, "POLISH.XPM", "-POLISH");
    spectro << measurementCommands(lot, 1, "POLISH.XPM", "-POLISH").at(0);
    EXPECT_EQ(spectrometerCommands(), spectro) << "the second measurement is neither saved nor uploaded";
    EXPECT_EQ(requestsTo("/diamond/UploadDiaMain").size(), 1u);
    EXPECT_TRUE(requestsTo("/diamond/submitMainFiles").empty());
    EXPECT_TRUE(appearInOrder(bench->msgTexts(),
                              {"Finished ...1...Process ... ", "Measuring .....Now..",
                               "Moving Outside...Please Check Stage...", "Arm Moving ..Please wait ...   ",
                               "You Pressed Escape...Abrupted Registration!!!"}));
    EXPECT_EQ(bench->msgTexts().back(), "You Pressed Escape...Abrupted Registration!!!");
    // The measurement let go may still write its file after the folder was emptied; it stays there.
    for (const QString& file : bench->dataFiles())
        EXPECT_EQ(file, sampleName(lot, 1, "-POLISH")) << "only the interrupted measurement may remain";
    const QStringList backup = bench->backupFiles();
    for (const QString& file : spectrumFiles(lot, 1, "-POLISH"))
        EXPECT_TRUE(backup.contains(file)) << file.toStdString();
    EXPECT_TRUE(s().IdReady.equals(0));
    expectConsoleReady();
}

TEST_F(RegistrationTest, ServerUnreachableAtTheStartLeavesEverythingAlone)
{
    selectMode(true, w().Polish1);
    QFile earlier(bench->dataFolder() + "/earlier-101-POLISH.dpt");
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("4000,0.1\r\n");
    earlier.close();
    SimFault down;
    down.dropConnection = true;
    bench->server().setFault("/getServerStatus", down);
    scanStoneId(QStringLiteral("P-81"));

    ASSERT_EQ(driver->systemBoxes().size(), 1);
    EXPECT_EQ(driver->systemBoxes()[0].text, "INTERNET oR VELORA Server is not recheable");
    EXPECT_EQ(driver->systemBoxes()[0].title, "Connectivity Issue");
    EXPECT_FALSE(driver->systemBoxes()[0].withIcon);
    EXPECT_TRUE(driver->asked().isEmpty());
    bench->pumpUntil([] { return false; }, 30);
    EXPECT_TRUE(controllerCommands().isEmpty());
    EXPECT_TRUE(spectrometerCommands().isEmpty());
    EXPECT_EQ(requestPaths(),
              QStringList({"/api/account/velora-login", "/diamond/generateLotCode", "/getServerStatus"}));
    EXPECT_EQ(bench->msgTexts().back(),
              "Critical Error: - Either Internet is Not working or VELORA Server is not reacheable");
    EXPECT_EQ(bench->dataFiles(), QStringList({"earlier-101-POLISH.dpt"}));
    EXPECT_TRUE(bench->backupFiles().isEmpty());
    EXPECT_TRUE(s().IdReady.isZeroOrEmpty()) << "the next try is a new scan with its own lot code";
}

TEST_F(RegistrationTest, NoAtTheTurnOverEndsCleanly)
{
    selectMode(true, w().Rough1);
    expectPlacedAndInside();
    driver->expect("Have you moved the stone physically ?", "Arm Moving Outside", No);
    scanStoneId(QStringLiteral("R-1"));

    EXPECT_EQ(driver->pending(), 0);
    ASSERT_TRUE(controllerReceived(6));
    EXPECT_EQ(controllerCommands(), QStringList({"YF300", "XF100", "XF100", "XF100", "XF100", "YR300"}))
        << "the stage came out for the turn-over and stays out";
    const QString lot = qs(bench->server().lastLotCode());
    EXPECT_EQ(requestsTo("/diamond/UploadDiaMain").size(), 4u);
    EXPECT_TRUE(requestsTo("/diamond/submitMainFiles").empty()) << "an incomplete set is not submitted";
    EXPECT_EQ(bench->msgTexts().back(),
              "Registration Stopped...Stone not turned over - nothing submitted !!!");
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), spectrumFiles(lot, 4, "-ROUGH"));
    EXPECT_TRUE(s().IdReady.equals(0));
    expectConsoleReady();
}

TEST_F(RegistrationTest, NoSecondSequenceStartsDuringTheClosingWait)
{
    selectMode(true, w().Polish1);
    expectPlacedAndInside();
    bool tried = false;
    QObject::connect(&w(), &ConsoleModel::msgChanged, &w(), [&](const QString& text) {
        if (text == "Arm Moving ..Please wait ...   " && !tried && !w().Text8->isEnabled())
            ADD_FAILURE() << "the console is unlocked before the closing retract";
        if (text == "Arm Moving ..Please wait ...   " && !tried) {
            tried = true;
            // The console is ready again here: the operator scans the next stone and clicks a mode.
            QCoreApplication::postEvent(w().Text8,
                                        new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
            QTimer::singleShot(0, &w(), [this] { emit w().Rough1->clicked(); });
        }
    });
    scanStoneId(QStringLiteral("P-82"));
    EXPECT_TRUE(tried);

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
    EXPECT_EQ(requestsTo("/diamond/generateLotCode").size(), 1u);
    EXPECT_EQ(requestsTo("/getServerStatus").size(), 1u);
    EXPECT_EQ(requestsTo("/diamond/submitMainFiles").size(), 1u);
    const QStringList spectro = spectrometerCommands();
    EXPECT_FALSE(spectro.filter("MeasureReference").size()) << "no background inside the sequence";
    EXPECT_EQ(bench->msgTexts().back(), "Response: {\"message\":\"Main files submitted\",\"count\":6}");
    EXPECT_EQ(s().WaitTicks, 0);
}

TEST_F(RegistrationTest, StartChecksRefuseWithoutModeOrId)
{
    // Straight after start: no mode selected.
    flows().Label_R_Click(0);
    ASSERT_EQ(driver->systemBoxes().size(), 1);
    EXPECT_EQ(driver->systemBoxes()[0].text, "Select Rough or Splits or Polish First");
    EXPECT_EQ(driver->systemBoxes()[0].title, "Select Mode First");
    EXPECT_FALSE(driver->systemBoxes()[0].withIcon);

    selectMode(true, w().Polish1);
    flows().Label_R_Click(0);
    ASSERT_EQ(driver->systemBoxes().size(), 2);
    EXPECT_EQ(driver->systemBoxes()[1].text, "Enter ID in Scanbar & Press enter and generate Code first");
    EXPECT_EQ(driver->systemBoxes()[1].title, "Generate ID First");
    EXPECT_EQ(requestPaths(), QStringList({"/getServerStatus"}));

    // No to the placement question: the login is made, nothing else happens.
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", No);
    scanStoneId(QStringLiteral("P-83"));
    EXPECT_EQ(driver->pending(), 0);
    EXPECT_EQ(bench->msgTexts().back(), "Place the Stone......");
    EXPECT_TRUE(controllerCommands().isEmpty());
    EXPECT_TRUE(spectrometerCommands().isEmpty());
    EXPECT_TRUE(s().IdReady.isZeroOrEmpty()) << "the stone was refused: its lot code is not kept";
}

} // namespace
