#include "ServerTestSupport.h"

// The spectrometer software runs on another machine: the data folder of the configuration is its
// Windows path, and this machine reads the same files through a mounted share.
class SplitDataFolder : public ServerFixture
{
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        StationEnvironment env = console->console.environment();
        env.localDataFolder = data.path();
        makeClient(env);
        loginOn(cloud);
        StationState& s = stationState();
        s.DataFolder = QStringLiteral("D:\\VeloraData");
        s.MeasurementIndex = 0;
        s.DataFailed = false;
    }
};

TEST_F(SplitDataFolder, UploadsReadTheSoftwaresFileThroughTheShare)
{
    writeSpectrum(QStringLiteral("A-3-01-ROUGH.dpt"), "1000,0.5\r\n");
    client->UploadRegistrationScan();
    EXPECT_FALSE(stationState().DataFailed.toBool());
    const auto registrations = cloud.registrations();
    ASSERT_EQ(registrations.size(), 1u);
    ASSERT_EQ(registrations[0].scans.size(), 1u);
    EXPECT_EQ(registrations[0].scans[0].points, "1000,0.5\r\n");

    writeSpectrum(QStringLiteral("A-3-01-ROUGH.dpt"), "2000,0.25\r\n");
    client->UploadQueryScan();
    EXPECT_FALSE(stationState().DataFailed.toBool());
    const auto transactions = cloud.transactions();
    ASSERT_EQ(transactions.size(), 1u);
    // The query's body carries the file's text (with its own line-end handling).
    EXPECT_EQ(transactions[0].points.rfind("2000,0.25\r\n", 0), 0u);
}

TEST_F(SplitDataFolder, AFileMissingOnTheShareIsReportedUnderTheSoftwaresName)
{
    stationState().SpectrumFileName = QStringLiteral("A-3-02-ROUGH.dpt");
    client->UploadQueryScan();
    EXPECT_TRUE(stationState().DataFailed.toBool());
    EXPECT_EQ(model().msg1Text(), QStringLiteral("File not found: D:\\VeloraData\\A-3-02-ROUGH.dpt"));
}
