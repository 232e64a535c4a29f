#pragma once

#include <QString>

#include <span>

// The limits of the spectrum checks, each with its station.ini key in [quality]. The defaults come
// from diamond's own bands and hold for the thinnest and thickest stones the bench measures.
struct SpectrumLimits
{
    // Mean absorbance of the strongest two-phonon stretch (1950-2250 cm-1) above the baseline. A
    // 0.2 mm path through diamond gives about 0.06; an empty stage or a stone beside the beam 0.02
    // at most.
    double minBandHeight = 0.05;
    // Highest (lightly smoothed) absorbance in the checked bands: above 3 less than 0.1 % of the
    // light reaches the detector and the value is stray light and noise, not the stone.
    double maxAbsorbance = 3.0;
    // Width of the band's top within 2 % of its maximum, for a maximum above 1: a clipped band is
    // flat over 60 cm-1 and more, diamond's own peaks over less than 30 cm-1.
    double flatTopWidthCm = 45;
    // Point-to-point noise in 3750-3950 cm-1, where a diamond absorbs almost nothing; a healthy
    // bench shows 0.001 to 0.003.
    double maxNoise = 0.01;
    // Shape similarity (1 = identical) of this scan's baseline-corrected one- and two-phonon
    // regions with the earlier scans of the sequence, after scaling to the same path through the
    // stone; turning the stone keeps it above 0.97.
    double minSimilarity = 0.9;
    // How many times stronger or weaker this scan's two-phonon band may be than the earlier scans':
    // turning changes the path through a rough stone, seldom by half.
    double maxBandChange = 1.5;
    // Largest gap between neighbouring wavenumbers: data coarser than 8 cm-1, or with holes, cannot
    // show the bands.
    double maxSpacingCm = 8;
};

// The [quality] section: whether the sequences check each scan, and the limits.
struct SpectrumCheckSettings
{
    enum class Mode { Off, Ask };
    Mode mode = Mode::Off;
    SpectrumLimits limits;

    bool isOn() const { return mode == Mode::Ask; }
};

// One key of [quality] that holds a limit: its name, the member, and the range a site may set.
struct SpectrumLimitKey
{
    const char* name;
    double SpectrumLimits::*member;
    double minimum;
    double maximum;
};

std::span<const SpectrumLimitKey> spectrumLimitKeys();
