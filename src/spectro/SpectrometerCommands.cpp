#include "spectro/SpectrometerCommands.h"

#include "core/StationState.h"

namespace {

const QString FixedOpusFolder = QStringLiteral("OPUS_8.8.4");
const QString DocumentsFolder = QStringLiteral("C:\\Users\\Public\\Documents\\Bruker\\");

} // namespace

QString SpectrometerCommands::opusFolder(const StationState& s)
{
    if (s.OpusPathFromVersion == 1)
        return QStringLiteral("OPUS_") + s.OpusVersion.toText();
    return FixedOpusFolder;
}

QString SpectrometerCommands::spectrumBaseName(const StationState& s)
{
    return s.LotCode.toText() + QStringLiteral("-") + s.MachineNumber.plus(1).toText() +
           QStringLiteral("%1").arg(int(s.MeasurementIndex) + 1, 2, 10, QLatin1Char('0')) + s.FileSuffix;
}

QString SpectrometerCommands::measuredFile(const StationState& s)
{
    return s.DataFolder.toText() + QStringLiteral("\\") + s.SampleName.toText();
}

QString SpectrometerCommands::backgroundCommand(const StationState& s)
{
    return QStringLiteral("MeasureReference (0, {EXP='") + s.ExperimentFile.toText() +
           QStringLiteral("', XPP='") + DocumentsFolder + opusFolder(s) +
           QStringLiteral("\\Instruments\\Alpha II\\XPM' ,NSS=0})");
}

QString SpectrometerCommands::measureSampleCommand(const StationState& s)
{
    // This one has an apostrophe before XPP; the software accepts it as written.
    return QStringLiteral("MeasureSample (0, {EXP='") + s.ExperimentFile.toText() +
           QStringLiteral("', 'XPP='") + DocumentsFolder + opusFolder(s) +
           QStringLiteral("\\Instruments\\Alpha II\\XPM', NAM='") + s.SampleName.toText() +
           QStringLiteral("' ,PTH='") + s.DataFolder.toText() + QStringLiteral("'})");
}

QString SpectrometerCommands::saveCommand(const StationState& s)
{
    return QStringLiteral("SAVEAS ([\"") + s.MeasuredFile.toText() + QStringLiteral("\":AB],{DAP='") +
           s.DataFolder.toText() + QStringLiteral("', OEX='0', SAN='") + s.SpectrumBaseName.toText() +
           QStringLiteral(".dpt' , COF=64, INP='") + DocumentsFolder + opusFolder(s) +
           QStringLiteral("\\Methods' ,SEP=',', YON='0', ADP='1', X64='1'})");
}

QString SpectrometerCommands::unloadCommand(const QString& file)
{
    return QStringLiteral("UNLOAD_FILE ") + file;
}

QString SpectrometerCommands::testSaveCommand(const StationState& s)
{
    // The import folder stays 9.1.4 when the version names the folder.
    const QString importFolder = s.OpusPathFromVersion == 1 ? QStringLiteral("OPUS_9.1.4") : FixedOpusFolder;
    return QStringLiteral(
               "SaveAs ['c:\\test\\zenti.3':AB], {DAP='c:\\test', OEX='0', SAN='Zenti.dpt', COF=64, INP='") +
           DocumentsFolder + opusFolder(s) + QStringLiteral("\\METHODS', IFP='") + DocumentsFolder +
           importFolder +
           QStringLiteral(
               "\\METHODS', INM='DEFAULT', IFN='DEFAULT', DPA=5, DPO=5, SEP=',', YON='0', ADP='1', "
               "X64='1'});");
}

QString SpectrometerCommands::takeReferenceCommand()
{
    return QStringLiteral("TAKE_REFERENCE ROUGH.XPM");
}

QString SpectrometerCommands::backgroundFileCommand(const StationState& s, const QString& instrumentFolder)
{
    // Doubled separators: this command reads its path with escapes.
    return QStringLiteral("READ_FROM_FILE C:\\\\Users\\\\Public\\\\Documents\\\\Bruker\\\\") + opusFolder(s) +
           QStringLiteral("\\\\Instruments\\\\Alpha II\\\\BG\\\\") + instrumentFolder +
           QStringLiteral("\\\\opus.bg");
}

QString SpectrometerCommands::parameterBlockCommand()
{
    return QStringLiteral("READ_FROM_BLOCK Instrument Parameters");
}

QString SpectrometerCommands::peakAmplitudeCommand()
{
    return QStringLiteral("READ_PARAMETER PKA");
}

QString SpectrometerCommands::peakPositionCommand()
{
    return QStringLiteral("READ_PARAMETER ABP");
}

QString SpectrometerCommands::statusMessageCommand()
{
    return QStringLiteral("DIAG_STATUS MESSAGE");
}

QString SpectrometerCommands::statusCodeCommand()
{
    return QStringLiteral("DIAG_STATUS");
}

QString SpectrometerCommands::programFolder(const StationState& s)
{
    return QStringLiteral("C:\\Program Files\\Bruker\\") + opusFolder(s);
}
