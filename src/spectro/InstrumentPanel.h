#pragma once

class ConsoleModel;
class Operator;
class StationConsole;
class SpectrometerChannel;

// The manual instrument buttons: background, sample measurement, save and unload of the measured
// spectrum, the test save, and starting the spectrometer software.
class InstrumentPanel
{
public:
    InstrumentPanel(StationConsole& console, Operator& op, SpectrometerChannel& channel);

    void Command5_Click();
    void BuildMeasureSampleCommand();
    void Command8_Click();
    void Sample_Click();
    void Reference_Click();
    void Command10_Click();
    void Command100_Click();
    void Command11_Click();
    void Command9_Click();
    void Command7_Click();

private:
    StationConsole& m_console;
    ConsoleModel& m_model;
    Operator& m_operator;
    SpectrometerChannel& m_channel;
};
