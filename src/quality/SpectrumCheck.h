#pragma once

#include "quality/Spectrum.h"
#include "quality/SpectrumLimits.h"
#include "quality/SpectrumVerdict.h"

#include <QString>

#include <vector>

// A scan's baseline-corrected absorbance on a 2 cm-1 grid: the stone's own features (one-phonon
// region and hydrogen line) and the intrinsic two-phonon band. Scans of one stone compare on these.
struct ScanFeatures
{
    std::vector<double> stone;
    std::vector<double> twoPhonon;
    double noise = 0; // of one value, from the flat window

    bool empty() const { return twoPhonon.empty(); }
    static ScanFeatures of(const Spectrum& spectrum);
    static ScanFeatures mean(const std::vector<ScanFeatures>& scans);
};

// Checks one scan. earlier: the stone's scans of this sequence so far (none for the first).
SpectrumVerdict checkSpectrum(const Spectrum& spectrum, const SpectrumLimits& limits,
                              const std::vector<ScanFeatures>& earlier = {});
// The same on a data point file; a file that cannot be read is the finding "unreadable".
SpectrumVerdict checkDataPointFile(const QString& path, const SpectrumLimits& limits,
                                   const std::vector<ScanFeatures>& earlier = {},
                                   Spectrum* spectrum = nullptr);
