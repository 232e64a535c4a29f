#include "quality/SpectrumMeasures.h"

#include <algorithm>
#include <cmath>

namespace SpectrumMeasures {

std::pair<size_t, size_t> indicesIn(const Spectrum& s, const Region& region)
{
    const auto& x = s.wavenumber;
    const auto first = std::lower_bound(x.begin(), x.end(), region.from);
    const auto last = std::upper_bound(first, x.end(), region.to);
    return {size_t(first - x.begin()), size_t(last - x.begin())};
}

namespace {

double median(std::vector<double>& values)
{
    if (values.empty())
        return 0;
    const size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(mid), values.end());
    double m = values[mid];
    if (values.size() % 2 == 0)
        m = (m + *std::max_element(values.begin(), values.begin() + std::ptrdiff_t(mid))) / 2;
    return m;
}

} // namespace

double medianIn(const Spectrum& s, const Region& region)
{
    const auto [first, last] = indicesIn(s, region);
    std::vector<double> values(s.absorbance.begin() + std::ptrdiff_t(first),
                               s.absorbance.begin() + std::ptrdiff_t(last));
    if (values.empty())
        return interpolate(s, region.centre());
    return median(values);
}

double largestGap(const Spectrum& s)
{
    double gap = 0;
    for (size_t i = 1; i < s.size(); ++i)
        gap = std::max(gap, s.wavenumber[i] - s.wavenumber[i - 1]);
    return gap;
}

Baseline::Baseline(const Spectrum& s)
{
    for (const Region& anchor : DiamondBands::Anchors)
        m_points.emplace_back(anchor.centre(), medianIn(s, anchor));
}

double Baseline::at(double wavenumber) const
{
    size_t i = 1;
    while (i + 1 < m_points.size() && wavenumber > m_points[i].first)
        ++i;
    const auto [x0, y0] = m_points[i - 1];
    const auto [x1, y1] = m_points[i];
    return y0 + (y1 - y0) * (wavenumber - x0) / (x1 - x0);
}

double interpolate(const Spectrum& s, double x)
{
    const auto& w = s.wavenumber;
    if (s.empty())
        return 0;
    const auto it = std::lower_bound(w.begin(), w.end(), x);
    if (it == w.begin())
        return s.absorbance.front();
    if (it == w.end())
        return s.absorbance.back();
    const size_t i = size_t(it - w.begin());
    const double t = (x - w[i - 1]) / (w[i] - w[i - 1]);
    return s.absorbance[i - 1] + t * (s.absorbance[i] - s.absorbance[i - 1]);
}

std::vector<double> smoothed(const Spectrum& s, const Region& region, double halfWidth)
{
    const auto [first, last] = indicesIn(s, region);
    std::vector<double> out;
    out.reserve(last - first);
    size_t lo = first;
    size_t hi = first;
    double sum = 0;
    for (size_t i = first; i < last; ++i) {
        while (hi < s.size() && s.wavenumber[hi] <= s.wavenumber[i] + halfWidth)
            sum += s.absorbance[hi++];
        while (s.wavenumber[lo] < s.wavenumber[i] - halfWidth)
            sum -= s.absorbance[lo++];
        out.push_back(sum / double(hi - lo));
    }
    return out;
}

double noiseIn(const Spectrum& s, const Region& region)
{
    const auto [first, last] = indicesIn(s, region);
    if (last < first + 4)
        return 0;
    std::vector<double> d;
    d.reserve(last - first - 3);
    const auto& y = s.absorbance;
    for (size_t i = first; i + 3 < last; ++i)
        d.push_back(std::abs(y[i] - 3 * y[i + 1] + 3 * y[i + 2] - y[i + 3]));
    // For white noise of deviation sigma a third difference has deviation sqrt(20) sigma, and the
    // median of its absolute value is 0.6745 of that.
    return median(d) / (0.6745 * std::sqrt(20.0));
}

} // namespace SpectrumMeasures
