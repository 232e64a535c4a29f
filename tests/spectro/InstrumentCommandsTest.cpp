#include "SpectroTestSupport.h"
#include "support/TestConsole.h"

#include <QDir>
#include <QFile>

namespace {

class InstrumentCommands : public SpectroFixture
{
protected:
    void SetUp() override
    {
        SpectroFixture::SetUp();
        StationState& s = stationState();
        s.DataFolder = data.path();
        s.LotCode = "LC7781";
        s.MachineNumber = 0;
        s.MeasurementIndex = 0;
        s.ExperimentFile = "ROUGH.XPM";
        s.FileSuffix = "-ROUGH";
        s.OpusPathFromVersion = 0;
        openLink();
    }
    QTemporaryDir data;
};

TEST_F(InstrumentCommands, MeasureSaveAndUnloadLeaveTheDataPointFileInTheDataFolder)
{
    const QString folder = data.path();
    spectrometer->Command5_Click();
    EXPECT_EQ(window->model.msgText(), QStringLiteral("Taking Background....."));
    spectrometer->BuildMeasureSampleCommand();
    sendAndServe(stationState().SpectrometerCommand.toText());
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath(QStringLiteral("LC7781-101-ROUGH.0"))));
    EXPECT_EQ(window->model.Text7[2]->text(), folder + QStringLiteral("\\LC7781-101-ROUGH.0"));

    spectrometer->Command10_Click();
    EXPECT_EQ(stationState().SpectrumFileName, QStringLiteral("LC7781-101-ROUGH.dpt"));
    EXPECT_EQ(window->model.msgText(),
              QStringLiteral("Unloading File ..") + folder + QStringLiteral("\\LC7781-101-ROUGH.0"));
    QFile table(QDir(folder).filePath(QStringLiteral("LC7781-101-ROUGH.dpt")));
    ASSERT_TRUE(table.open(QIODevice::ReadOnly));
    const QByteArray content = table.readAll();
    EXPECT_TRUE(content.startsWith("4000.00000,"));
    EXPECT_TRUE(content.endsWith("\r\n"));
    EXPECT_EQ(content.count("\r\n"), 3601);

    spectrometer->Command11_Click();
    EXPECT_EQ(
        sim.advisedItems(),
        (QStringList{
            R"(MeasureReference (0, {EXP='ROUGH.XPM', XPP='C:\Users\Public\Documents\Bruker\OPUS_8.8.4\Instruments\Alpha II\XPM' ,NSS=0}))",
            R"(MeasureSample (0, {EXP='ROUGH.XPM', 'XPP='C:\Users\Public\Documents\Bruker\OPUS_8.8.4\Instruments\Alpha II\XPM', NAM='LC7781-101-ROUGH.0' ,PTH=')" +
                folder + "'})",
            R"(SAVEAS ([")" + folder + R"(\LC7781-101-ROUGH.0":AB],{DAP=')" + folder +
                R"(', OEX='0', SAN='LC7781-101-ROUGH.dpt' , COF=64, INP='C:\Users\Public\Documents\Bruker\OPUS_8.8.4\Methods' ,SEP=',', YON='0', ADP='1', X64='1'}))",
            "UNLOAD_FILE " + folder + "\\LC7781-101-ROUGH.0",
            "UNLOAD_FILE " + folder + "\\LC7781-101-ROUGH.0"}));
}

TEST_F(InstrumentCommands, RefusedSaveIsNotReportedAsSaved)
{
    sim.setRefuseItems(true);
    spectrometer->BuildMeasureSampleCommand();
    spectrometer->Command10_Click();
    EXPECT_EQ(window->model.msgText(),
              QStringLiteral("Unloading File ..") + data.path() + QStringLiteral("\\LC7781-101-ROUGH.0"));
    QStringList shown;
    QObject::connect(&window->model, &ConsoleModel::msgChanged, [&](const QString& t) { shown << t; });
    spectrometer->Command10_Click();
    EXPECT_FALSE(shown.contains(QStringLiteral("File Saved..LC7781-101-ROUGH.dpt")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Saving ......LC7781-101-ROUGH.dpt")));
}

TEST_F(InstrumentCommands, SampleButtonSendsTheCommandUnchangedAndReferenceTheRoughOne)
{
    stationState().SpectrometerCommand = "MeasureSample as built before";
    spectrometer->Sample_Click();
    spectrometer->Reference_Click();
    spectrometer->Command9_Click();
    EXPECT_EQ(
        sim.advisedItems(),
        (QStringList{
            "MeasureSample as built before", "TAKE_REFERENCE ROUGH.XPM",
            R"(SaveAs ['c:\test\zenti.3':AB], {DAP='c:\test', OEX='0', SAN='Zenti.dpt', COF=64, INP='C:\Users\Public\Documents\Bruker\OPUS_8.8.4\METHODS', IFP='C:\Users\Public\Documents\Bruker\OPUS_8.8.4\METHODS', INM='DEFAULT', IFN='DEFAULT', DPA=5, DPO=5, SEP=',', YON='0', ADP='1', X64='1'});)"}));
}

TEST_F(InstrumentCommands, OfflineNameStepSendsNothing)
{
    stationState().SampleName = "LC7781-101-ROUGH.0";
    stationState().MeasurementIndex = 4;
    spectrometer->Command100_Click();
    EXPECT_EQ(stationState().MeasuredFile.toText(), data.path() + QStringLiteral("\\LC7781-101-ROUGH.0"));
    EXPECT_EQ(stationState().SpectrumFileName, QStringLiteral("LC7781-105-ROUGH.dpt"));
    EXPECT_TRUE(sim.advisedItems().isEmpty());
}

TEST_F(InstrumentCommands, StartButtonStartsTheBatchFileBesideTheProgram)
{
    spectrometer->Command7_Click();
    EXPECT_EQ(console.started,
              QList<QStringList>{{QDir(console.folder.path()).filePath(QStringLiteral("VELORA1.bat"))}});
    EXPECT_EQ(window->model.msgText(), QStringLiteral("STARTING OPUS..Please confirm..."));
}

TEST_F(InstrumentCommands, MissingDataFolderStillSendsTheSave)
{
    stationState().DataFolder = data.filePath(QStringLiteral("missing"));
    spectrometer->BuildMeasureSampleCommand();
    sendAndServe(stationState().SpectrometerCommand.toText());
    EXPECT_TRUE(window->model.msg1Text().startsWith(QStringLiteral("ERROR Path not found")));
    spectrometer->Command10_Click();
    EXPECT_TRUE(sim.advisedItems().last().startsWith(QStringLiteral("UNLOAD_FILE ")));
    EXPECT_TRUE(sim.advisedItems()[1].startsWith(QStringLiteral("SAVEAS ([")));
}

} // namespace
