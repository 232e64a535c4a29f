#pragma once

class Frmgrading;
class SpectrometerChannel;

// The manual instrument buttons: background, sample measurement, save and unload of the measured
// spectrum, the test save, and starting the spectrometer software.
class InstrumentPanel
{
public:
    InstrumentPanel(Frmgrading& w, SpectrometerChannel& channel);

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
    Frmgrading& m_w;
    SpectrometerChannel& m_channel;
};
