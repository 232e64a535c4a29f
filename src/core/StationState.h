#pragma once

#include "core/StoredValue.h"

#include <QString>

#include <array>

// The one process-wide record of the station's working data. Every subsystem reads and writes
// its fields directly, under these names; all access happens on the event-loop thread.
struct StationState
{
    // Configuration fields
    StoredValue ComPort = 3;
    StoredValue DataFolder;
    StoredValue ModeIndex;
    StoredValue ExperimentFile = "ROUGH.XPM";
    StoredValue WindowLeft;
    StoredValue WindowTop;
    StoredValue WindowWidth;
    StoredValue WindowHeight;
    StoredValue MachineNumber;
    QString UserName;
    QString CompanyCode;
    StoredValue WindowMode;
    qint16 OpusPathFromVersion = 0;
    qint16 ServerMode = 0;
    QString InstrumentFolder;
    qint16 CheckIntervalMinutes = 0;
    StoredValue OpusVersion;
    StoredValue ProgramVersion;

    // Sequence fields
    QString FileSuffix = QStringLiteral("-ROUGH");
    QString StageName = QStringLiteral("ROUGH");
    StoredValue ModeSelected;
    StoredValue RegisterActivity;
    qint16 QueryActivity = 0;
    QString ActivitySuffix;
    bool BackgroundDone = false;
    StoredValue BackgroundAgeMinutes;
    qint16 HealthCheckMinutes = 0;
    qint16 WaitTicks = 0;
    StoredValue IdReady;
    StoredValue LotCode;
    qint16 MeasurementIndex = 0;
    std::array<QString, 11> ScanIds{};
    QString QueryId;
    StoredValue DataFailed = false;
    StoredValue PeakAmplitude;
    QString PeakPosition;
    StoredValue PendingReply;
    StoredValue SpectrometerCommand;
    StoredValue SampleName;
    StoredValue SpectrumBaseName;
    StoredValue MeasuredFile;
    StoredValue Temperature;
    StoredValue RelativeHumidity;
    QString AbsoluteHumidity;

    // Variables of the main window
    QString SpectrometerTopic = QStringLiteral("OPUS|System");
    qint16 SpectrometerTimeout = 10000;
    bool EscapePressed = false;
    QString AuthToken;
    QString SpectrumFileName;
};

// The record itself. Tests start from a fresh one with `stationState() = StationState{}`.
StationState& stationState();
