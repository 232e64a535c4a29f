#pragma once

#include "quality/Spectrum.h"

#include <cstddef>
#include <utility>
#include <vector>

// The measures the checks are built from, on an ascending spectrum.
namespace SpectrumMeasures {

// Indices [first, last) of the points inside region.
std::pair<size_t, size_t> indicesIn(const Spectrum& s, const Region& region);
double medianIn(const Spectrum& s, const Region& region);
double largestGap(const Spectrum& s);

// The baseline under the one- and two-phonon regions: a line through the medians of the anchors.
class Baseline
{
public:
    explicit Baseline(const Spectrum& s);
    double at(double wavenumber) const;

private:
    std::vector<std::pair<double, double>> m_points;
};

// The spectrum at x, linear between its points.
double interpolate(const Spectrum& s, double x);
// Mean of the points within halfWidth of each point of region (a running mean).
std::vector<double> smoothed(const Spectrum& s, const Region& region, double halfWidth);
// Standard deviation of the point-to-point noise, from third differences (which take out a
// sloped or curved baseline and broad bands) through their median (which passes over a few sharp
// lines such as water vapour).
double noiseIn(const Spectrum& s, const Region& region);

} // namespace SpectrumMeasures
