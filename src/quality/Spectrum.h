#pragma once

#include <cstddef>
#include <vector>

// One absorbance spectrum, wavenumbers ascending (cm-1).
struct Spectrum
{
    std::vector<double> wavenumber;
    std::vector<double> absorbance;

    size_t size() const { return wavenumber.size(); }
    bool empty() const { return wavenumber.empty(); }
};

// A stretch of wavenumbers, from < to.
struct Region
{
    double from;
    double to;

    double centre() const { return (from + to) / 2; }
};

// Where diamond shows itself, and the stretches around the bands that give their baseline.
namespace DiamondBands {

// Nitrogen one-phonon features (A, B centres, platelets) and hydrogen: the stone's own.
constexpr Region OnePhonon{1000, 1400};
constexpr Region Hydrogen{3080, 3130};
// Intrinsic two-phonon absorption, in every diamond; strongest from 1950 to 2250 (the CO2 of the
// air begins near 2290).
constexpr Region TwoPhonon{1800, 2700};
constexpr Region TwoPhononStrong{1950, 2250};
// Baseline anchors: below the one-phonon region, between the regions, above the two-phonon band,
// and on either side of the hydrogen line.
constexpr Region Anchors[] = {{850, 950}, {1500, 1700}, {2700, 2800}};
constexpr Region HydrogenAnchors[] = {{3040, 3070}, {3140, 3170}};
// Above the three-phonon absorption and the hydrogen lines: nearly flat in every diamond.
constexpr Region NoiseWindow{3750, 3950};
// What a file must cover for the checks.
constexpr Region Needed{850, 3950};

} // namespace DiamondBands
