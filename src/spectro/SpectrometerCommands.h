#pragma once

#include <QString>

struct StationState;

// The command texts sent to the spectrometer software and the spectrum file names, built from the
// station state. Commands keep Windows paths exactly as the software expects them.
class SpectrometerCommands
{
public:
    // "OPUS_" + OpusVersion when OpusPathFromVersion is 1, otherwise "OPUS_8.8.4".
    static QString opusFolder(const StationState& s);

    // LotCode-<MachineNumber + 1><MeasurementIndex + 1, two digits at least><FileSuffix>
    static QString spectrumBaseName(const StationState& s);
    static QString sampleName(const StationState& s) { return spectrumBaseName(s) + QStringLiteral(".0"); }
    static QString spectrumFileName(const StationState& s)
    {
        return spectrumBaseName(s) + QStringLiteral(".dpt");
    }
    // DataFolder + "\" + SampleName, the measured file as the software names it.
    static QString measuredFile(const StationState& s);

    static QString backgroundCommand(const StationState& s);
    // Uses SampleName as it stands in the state.
    static QString measureSampleCommand(const StationState& s);
    // Uses MeasuredFile and SpectrumBaseName as they stand in the state.
    static QString saveCommand(const StationState& s);
    static QString unloadCommand(const QString& file);
    static QString testSaveCommand(const StationState& s);
    static QString takeReferenceCommand();
    // The stored background of an instrument folder.
    static QString backgroundFileCommand(const StationState& s, const QString& instrumentFolder);
    static QString parameterBlockCommand();
    static QString peakAmplitudeCommand();
    static QString peakPositionCommand();
    static QString statusMessageCommand();
    static QString statusCodeCommand();
    // Where the software is installed (made the current folder before starting it).
    static QString programFolder(const StationState& s);
};
