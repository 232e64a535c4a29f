#include "WorkflowBench.h"

#include <QFile>
#include <QTimer>

namespace {

class CloseDuringSequenceTest : public WorkflowBench
{
protected:
    static inline const QString kQuestion =
        QStringLiteral("A measurement is running. Stop it safely and close the program ?");

    // The close picture pressed while the second measurement is being taken.
    void closeDuringSecondMeasurement()
    {
        auto measuring = std::make_shared<int>(0);
        QObject::connect(&w(), &ConsoleModel::msgChanged, &w(), [this, measuring](const QString& text) {
            if (text == "Measuring .....Now.." && ++*measuring == 2)
                QTimer::singleShot(0, &w(), [this] { emit w().Image2[0]->clicked(); });
        });
    }
};

TEST_F(CloseDuringSequenceTest, YesFinishesTheMeasurementAbortsThenCloses)
{
    selectMode(true, w().Polish1);
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes)
        .expect(kQuestion, "Close Program", Yes);
    closeDuringSecondMeasurement();
    scanStoneId(QStringLiteral("P-90"));
    EXPECT_FALSE(console().hasEnded()) << "the window waits for the sequence to unwind";
    ASSERT_TRUE(bench->pumpUntil([this] { return console().hasEnded(); }, 3000));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
    ASSERT_TRUE(controllerReceived(3));
    EXPECT_EQ(controllerCommands(), QStringList({"YF300", "XF67", "YR300"})) << "the stage is brought out";
    const QString lot = qs(bench->server().lastLotCode());
    QStringList spectro = measurementCommands(lot, 0, "POLISH.XPM", "-POLISH");
    spectro << measurementCommands(lot, 1, "POLISH.XPM", "-POLISH");
    EXPECT_EQ(spectrometerCommands(), spectro) << "the measurement under way is saved";
    EXPECT_EQ(bench->spectrometer().executedCommands(), QStringList({"CLOSE_OPUS"}));
    EXPECT_EQ(requestsTo("/diamond/UploadDiaMain").size(), 2u);
    EXPECT_TRUE(requestsTo("/diamond/submitMainFiles").empty());
    EXPECT_TRUE(appearInOrder(bench->msgTexts(),
                              {"Uploading ...[2]....Done", "Moving Outside...Please Check Stage...",
                               "Arm Moving ..Please wait ...   ",
                               "Stopped for closing the program...Stage outside, data backed up"}));
    EXPECT_FALSE(bench->msgTexts().contains("Finished ...2...Process ... ")) << "no rotation after the close";
    EXPECT_TRUE(bench->dataFiles().isEmpty());
    EXPECT_EQ(bench->backupFiles(), spectrumFiles(lot, 2, "-POLISH"));
}

TEST_F(CloseDuringSequenceTest, NoLetsTheSequenceFinishAndKeepsTheWindow)
{
    selectMode(true, w().Polish1);
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes)
        .expect(kQuestion, "Close Program", No);
    closeDuringSecondMeasurement();
    scanStoneId(QStringLiteral("P-91"));
    bench->pumpUntil([] { return false; }, 50);

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_FALSE(console().hasEnded());
    EXPECT_EQ(requestsTo("/diamond/submitMainFiles").size(), 1u);
    EXPECT_TRUE(bench->spectrometer().executedCommands().isEmpty());

    // Idle, the close picture closes at once, without a question.
    emit w().Image2[0]->clicked();
    EXPECT_TRUE(bench->pumpUntil([this] { return console().hasEnded(); }, 3000));
    EXPECT_EQ(driver->asked().size(), 3);
}

using BackupFailureTest = WorkflowBench;

TEST_F(BackupFailureTest, SpectraThatCouldNotBeBackedUpStayInTheDataFolder)
{
    selectMode(true, w().Polish1);
    // The backup folder cannot be created: a file stands where it should be.
    QFile blocker(bench->backupFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes);
    scanStoneId(QStringLiteral("P-92"));

    EXPECT_EQ(driver->pending(), 0);
    const QString lot = qs(bench->server().lastLotCode());
    EXPECT_EQ(bench->dataFiles(), spectrumFiles(lot, 6, "-POLISH")) << "nothing deleted without its copy";
    ASSERT_EQ(driver->systemBoxes().size(), 1);
    EXPECT_EQ(driver->systemBoxes()[0].title, "Backup Failed");
    EXPECT_TRUE(
        driver->systemBoxes()[0].text.startsWith("Backup failed - these files stay in the data folder: "));
    EXPECT_TRUE(driver->systemBoxes()[0].text.contains(sampleName(lot, 5, "-POLISH")));
    EXPECT_EQ(requestsTo("/diamond/submitMainFiles").size(), 1u) << "the uploads themselves succeeded";
}

} // namespace
