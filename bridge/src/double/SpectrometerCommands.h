#pragma once

#include <map>
#include <string>

// What the double's spectrometer software does with a command: measurements write their files where
// the command names them, parameters and states read as fixed values, the rest answers OK or an
// error. The same results, files and spectra as the station's simulated software.
class SpectrometerCommands
{
public:
    // Drive paths ("C:\x") lie under dataRoot ("<root>\C\x") when it is set; others stay as written.
    explicit SpectrometerCommands(std::string dataRoot);

    std::string run(const std::string& command);

    // "wavenumber,absorbance" lines with CR LF from 4000 down to 400 cm-1, deterministic for
    // (stoneKey, scanIndex).
    static std::string spectrumFor(const std::string& stoneKey, int scanIndex);
    // The name up to its first "-" followed by a digit, else up to its last ".".
    static std::string stoneKeyFor(const std::string& sampleName);
    std::string localPath(const std::string& commandPath) const;

private:
    std::string measureSample(const std::string& command);
    std::string saveAs(const std::string& command);

    std::string m_dataRoot;
    std::map<std::string, int> m_scanCounts;
};
