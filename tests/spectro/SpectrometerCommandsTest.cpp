#include "spectro/SpectrometerCommands.h"
#include "core/StationState.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// Both folder forms: the version form with OpusVersion "9.2" and the fixed form.
struct CommandCase
{
    const char* name;
    std::function<QString(StationState&)> build;
    const char* withVersion;
    const char* fixed;
};

StationState measuringState(qint16 opusPathFromVersion)
{
    StationState s;
    s.OpusPathFromVersion = opusPathFromVersion;
    s.OpusVersion = "9.2";
    s.ExperimentFile = "POLISH.XPM";
    s.FileSuffix = "-POLISHED";
    s.LotCode = "LC2291";
    s.MachineNumber = 0;
    s.MeasurementIndex = 2;
    s.DataFolder = "D:\\Spectra";
    s.InstrumentFolder = "300117";
    s.SampleName = "LC2291-103-POLISHED.0";
    s.MeasuredFile = "D:\\Spectra\\LC2291-103-POLISHED.0";
    s.SpectrumBaseName = "LC2291-103-POLISHED";
    return s;
}

class CommandTexts : public ::testing::TestWithParam<CommandCase>
{
};

TEST_P(CommandTexts, MatchCharacterForCharacterInBothFolderForms)
{
    const CommandCase& c = GetParam();
    StationState versioned = measuringState(1);
    StationState fixed = measuringState(0);
    EXPECT_EQ(c.build(versioned).toStdString(), c.withVersion);
    EXPECT_EQ(c.build(fixed).toStdString(), c.fixed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandTexts,
    ::testing::Values(
        CommandCase{
            "background", SpectrometerCommands::backgroundCommand,
            R"(MeasureReference (0, {EXP='POLISH.XPM', XPP='C:\Users\Public\Documents\Bruker\OPUS_9.2\Instruments\Alpha II\XPM' ,NSS=0}))",
            R"(MeasureReference (0, {EXP='POLISH.XPM', XPP='C:\Users\Public\Documents\Bruker\OPUS_8.8.4\Instruments\Alpha II\XPM' ,NSS=0}))"},
        CommandCase{
            "measure_sample", SpectrometerCommands::measureSampleCommand,
            R"(MeasureSample (0, {EXP='POLISH.XPM', 'XPP='C:\Users\Public\Documents\Bruker\OPUS_9.2\Instruments\Alpha II\XPM', NAM='LC2291-103-POLISHED.0' ,PTH='D:\Spectra'}))",
            R"(MeasureSample (0, {EXP='POLISH.XPM', 'XPP='C:\Users\Public\Documents\Bruker\OPUS_8.8.4\Instruments\Alpha II\XPM', NAM='LC2291-103-POLISHED.0' ,PTH='D:\Spectra'}))"},
        CommandCase{
            "save", SpectrometerCommands::saveCommand,
            R"(SAVEAS (["D:\Spectra\LC2291-103-POLISHED.0":AB],{DAP='D:\Spectra', OEX='0', SAN='LC2291-103-POLISHED.dpt' , COF=64, INP='C:\Users\Public\Documents\Bruker\OPUS_9.2\Methods' ,SEP=',', YON='0', ADP='1', X64='1'}))",
            R"(SAVEAS (["D:\Spectra\LC2291-103-POLISHED.0":AB],{DAP='D:\Spectra', OEX='0', SAN='LC2291-103-POLISHED.dpt' , COF=64, INP='C:\Users\Public\Documents\Bruker\OPUS_8.8.4\Methods' ,SEP=',', YON='0', ADP='1', X64='1'}))"},
        CommandCase{
            "test_save", SpectrometerCommands::testSaveCommand,
            R"(SaveAs ['c:\test\zenti.3':AB], {DAP='c:\test', OEX='0', SAN='Zenti.dpt', COF=64, INP='C:\Users\Public\Documents\Bruker\OPUS_9.2\METHODS', IFP='C:\Users\Public\Documents\Bruker\OPUS_9.1.4\METHODS', INM='DEFAULT', IFN='DEFAULT', DPA=5, DPO=5, SEP=',', YON='0', ADP='1', X64='1'});)",
            R"(SaveAs ['c:\test\zenti.3':AB], {DAP='c:\test', OEX='0', SAN='Zenti.dpt', COF=64, INP='C:\Users\Public\Documents\Bruker\OPUS_8.8.4\METHODS', IFP='C:\Users\Public\Documents\Bruker\OPUS_8.8.4\METHODS', INM='DEFAULT', IFN='DEFAULT', DPA=5, DPO=5, SEP=',', YON='0', ADP='1', X64='1'});)"},
        CommandCase{
            "amplitude_background_file",
            [](StationState& s) {
                return SpectrometerCommands::backgroundFileCommand(s, s.InstrumentFolder);
            },
            R"(READ_FROM_FILE C:\\Users\\Public\\Documents\\Bruker\\OPUS_9.2\\Instruments\\Alpha II\\BG\\300117\\opus.bg)",
            R"(READ_FROM_FILE C:\\Users\\Public\\Documents\\Bruker\\OPUS_8.8.4\\Instruments\\Alpha II\\BG\\300117\\opus.bg)"},
        CommandCase{"program_folder", SpectrometerCommands::programFolder,
                    R"(C:\Program Files\Bruker\OPUS_9.2)", R"(C:\Program Files\Bruker\OPUS_8.8.4)"}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

TEST(CommandTexts, TestSaveWithVersionEightEightFourStillImportsFromNineOneFour)
{
    StationState s;
    s.OpusPathFromVersion = 1;
    s.OpusVersion = "8.8.4";
    EXPECT_TRUE(SpectrometerCommands::testSaveCommand(s).contains(
        QStringLiteral(R"(IFP='C:\Users\Public\Documents\Bruker\OPUS_9.1.4\METHODS')")));
}

TEST(CommandTexts, FolderFormIsChosenOnlyByOne)
{
    StationState s;
    s.OpusVersion = "9.2";
    s.OpusPathFromVersion = 2;
    EXPECT_EQ(SpectrometerCommands::opusFolder(s), QStringLiteral("OPUS_8.8.4"));
    s.OpusPathFromVersion = 1;
    EXPECT_EQ(SpectrometerCommands::opusFolder(s), QStringLiteral("OPUS_9.2"));
}

struct NameCase
{
    const char* lotCode;
    int machineNumber;
    int measurementIndex;
    const char* suffix;
    const char* base;
};

class SpectrumFileNames : public ::testing::TestWithParam<NameCase>
{
};

TEST_P(SpectrumFileNames, StationUnpaddedIndexAtLeastTwoDigits)
{
    const NameCase& c = GetParam();
    StationState s;
    s.LotCode = c.lotCode;
    s.MachineNumber = c.machineNumber;
    s.MeasurementIndex = qint16(c.measurementIndex);
    s.FileSuffix = c.suffix;
    s.DataFolder = "/data/spectra";
    s.SampleName = SpectrometerCommands::sampleName(s);
    EXPECT_EQ(SpectrometerCommands::spectrumBaseName(s).toStdString(), c.base);
    EXPECT_EQ(s.SampleName.toText().toStdString(), std::string(c.base) + ".0");
    EXPECT_EQ(SpectrometerCommands::spectrumFileName(s).toStdString(), std::string(c.base) + ".dpt");
    EXPECT_EQ(SpectrometerCommands::measuredFile(s).toStdString(),
              "/data/spectra\\" + std::string(c.base) + ".0");
}

INSTANTIATE_TEST_SUITE_P(Table, SpectrumFileNames,
                         ::testing::Values(NameCase{"L", 0, 0, "-ROUGH", "L-101-ROUGH"},
                                           NameCase{"L", 9, 0, "-ROUGH", "L-1001-ROUGH"},
                                           NameCase{"L", 0, 99, "-ROUGH", "L-1100-ROUGH"},
                                           NameCase{"L", 0, 9, "-SPLITS", "L-110-SPLITS"},
                                           NameCase{"", 0, 0, "-ROUGH", "-101-ROUGH"},
                                           NameCase{"AB-7", 41, 5, "", "AB-7-4206"}));

} // namespace
