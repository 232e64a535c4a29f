#include "quality/SpectrumCheck.h"

#include "quality/DataPointFile.h"
#include "quality/SpectrumMeasures.h"

#include <algorithm>
#include <cmath>
#include <functional>

using namespace SpectrumMeasures;
using Kind = SpectrumFinding::Kind;

namespace {

constexpr double GridStep = 2.0;
// A band's top is flat when it stays within this share of its height above the baseline...
constexpr double FlatTopTolerance = 0.02;
// ... and only a band this strong can be clipped by the detector (10 % of the light left).
constexpr double FlatTopFloor = 1.0;
// Half width of the running mean that keeps single noisy points from deciding a maximum.
constexpr double SmoothingHalfWidth = 4.0;
// Nitrogen-free stones have next to nothing in their one-phonon region: its differences are
// measured against this share of the two-phonon band rather than against their own noise.
constexpr double StoneFeatureFloor = 0.25;
constexpr double NoiseMargin = 1.5;

QString figure(double value, int decimals = 3)
{
    // No "-0.000" for a band that is not there.
    const double rounded = std::round(value * std::pow(10.0, decimals)) / std::pow(10.0, decimals);
    return QString::number(rounded == 0 ? 0.0 : rounded, 'f', decimals);
}

void sample(const Spectrum& s, const Region& region, const std::function<double(double)>& baseline,
            std::vector<double>& out)
{
    for (double x = region.from; x < region.to; x += GridStep)
        out.push_back(interpolate(s, x) - baseline(x));
}

double rms(const std::vector<double>& v)
{
    double sum = 0;
    for (double a : v)
        sum += a * a;
    return v.empty() ? 0 : std::sqrt(sum / double(v.size()));
}

// The difference that is the stones', not the detector's: the noise both scans bring is taken out,
// with a margin for how much a few hundred noisy values scatter.
double rmsDifference(const std::vector<double>& a, const std::vector<double>& b, double gain, double noise)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += (a[i] - gain * b[i]) * (a[i] - gain * b[i]);
    const double margin = NoiseMargin * noise;
    return a.empty() ? 0 : std::sqrt(std::max(0.0, sum / double(a.size()) - margin * margin));
}

// Width of the flat top of the strongest band in region, 0 when no band there is strong enough.
double flatTopWidth(const Spectrum& s, const Baseline& baseline, const Region& region, double* maximum)
{
    const std::vector<double> top = smoothed(s, region, SmoothingHalfWidth);
    if (top.empty())
        return 0;
    const size_t first = indicesIn(s, region).first;
    const size_t peak = size_t(std::max_element(top.begin(), top.end()) - top.begin());
    *maximum = std::max(*maximum, top[peak]);
    if (top[peak] < FlatTopFloor)
        return 0;
    const double height = top[peak] - baseline.at(s.wavenumber[first + peak]);
    const double level = top[peak] - FlatTopTolerance * height;
    size_t left = peak;
    size_t right = peak;
    while (left > 0 && top[left - 1] >= level)
        --left;
    while (right + 1 < top.size() && top[right + 1] >= level)
        ++right;
    return s.wavenumber[first + right] - s.wavenumber[first + left];
}

void compare(const ScanFeatures& scan, const std::vector<ScanFeatures>& earlier, const SpectrumLimits& limits,
             SpectrumVerdict& verdict)
{
    const ScanFeatures reference = ScanFeatures::mean(earlier);
    double dot = 0;
    double norm = 0;
    for (size_t i = 0; i < scan.twoPhonon.size(); ++i) {
        dot += scan.twoPhonon[i] * reference.twoPhonon[i];
        norm += reference.twoPhonon[i] * reference.twoPhonon[i];
    }
    if (!(norm > 0))
        return;
    // The same path through the stone first: turning a rough stone changes it, not the stone.
    const double gain = dot / norm;
    double earlierNoise = 0;
    for (const ScanFeatures& e : earlier)
        earlierNoise += e.noise * e.noise / double(earlier.size() * earlier.size());
    const double noise = std::sqrt(scan.noise * scan.noise + gain * gain * earlierNoise);
    const double twoScale = std::max(rms(scan.twoPhonon), gain * rms(reference.twoPhonon));
    const double twoPhonon = 1 - rmsDifference(scan.twoPhonon, reference.twoPhonon, gain, noise) / twoScale;
    const double stoneScale =
        std::max({rms(scan.stone), gain * rms(reference.stone), StoneFeatureFloor * twoScale});
    const double stone = 1 - rmsDifference(scan.stone, reference.stone, gain, noise) / stoneScale;
    const double similarity = std::clamp(std::min(twoPhonon, stone), 0.0, 1.0);
    verdict.figures.similarity = similarity;
    verdict.figures.bandChange = gain;
    const bool changed = !(gain <= limits.maxBandChange && gain >= 1 / limits.maxBandChange);
    if (similarity < limits.minSimilarity || changed)
        verdict.findings.push_back(
            {Kind::Disagrees, QStringLiteral("similarity %1 (at least %2), band %3 times the earlier scans' "
                                             "(at most %4 either way)")
                                  .arg(figure(similarity), figure(limits.minSimilarity, 2), figure(gain, 2),
                                       figure(limits.maxBandChange, 2))});
}

} // namespace

ScanFeatures ScanFeatures::of(const Spectrum& s)
{
    ScanFeatures f;
    const Baseline baseline(s);
    const auto under = [&baseline](double x) { return baseline.at(x); };
    sample(s, DiamondBands::OnePhonon, under, f.stone);
    // The hydrogen line sits on the three-phonon slope: its own line through its neighbours.
    const Region lo = DiamondBands::HydrogenAnchors[0];
    const Region hi = DiamondBands::HydrogenAnchors[1];
    const double y0 = medianIn(s, lo);
    const double y1 = medianIn(s, hi);
    sample(
        s, DiamondBands::Hydrogen,
        [&](double x) { return y0 + (y1 - y0) * (x - lo.centre()) / (hi.centre() - lo.centre()); }, f.stone);
    sample(s, DiamondBands::TwoPhonon, under, f.twoPhonon);
    f.noise = noiseIn(s, DiamondBands::NoiseWindow);
    return f;
}

ScanFeatures ScanFeatures::mean(const std::vector<ScanFeatures>& scans)
{
    ScanFeatures m;
    if (scans.empty())
        return m;
    double variance = 0;
    for (const ScanFeatures& scan : scans)
        variance += scan.noise * scan.noise;
    m.noise = std::sqrt(variance) / double(scans.size());
    m.stone.assign(scans.front().stone.size(), 0.0);
    m.twoPhonon.assign(scans.front().twoPhonon.size(), 0.0);
    for (const ScanFeatures& scan : scans) {
        for (size_t i = 0; i < m.stone.size(); ++i)
            m.stone[i] += scan.stone[i] / double(scans.size());
        for (size_t i = 0; i < m.twoPhonon.size(); ++i)
            m.twoPhonon[i] += scan.twoPhonon[i] / double(scans.size());
    }
    return m;
}

SpectrumVerdict checkSpectrum(const Spectrum& s, const SpectrumLimits& limits,
                              const std::vector<ScanFeatures>& earlier)
{
    SpectrumVerdict verdict;
    SpectrumFigures& f = verdict.figures;
    f.points = int(s.size());
    f.from = s.empty() ? 0 : s.wavenumber.front();
    f.to = s.empty() ? 0 : s.wavenumber.back();
    f.largestGap = largestGap(s);
    const Region needed = DiamondBands::Needed;
    if (s.size() < 2 || f.from > needed.from || f.to < needed.to || f.largestGap > limits.maxSpacingCm) {
        verdict.findings.push_back(
            {Kind::Truncated, QStringLiteral("%1 points from %2 to %3 cm-1, largest gap %4 cm-1 (needs %5 to "
                                             "%6 cm-1, gaps of at most %7)")
                                  .arg(f.points)
                                  .arg(figure(f.from, 1), figure(f.to, 1), figure(f.largestGap, 1))
                                  .arg(needed.from)
                                  .arg(needed.to)
                                  .arg(limits.maxSpacingCm)});
        return verdict;
    }

    const Baseline baseline(s);
    const auto [first, last] = indicesIn(s, DiamondBands::TwoPhononStrong);
    double height = 0;
    for (size_t i = first; i < last; ++i)
        height += s.absorbance[i] - baseline.at(s.wavenumber[i]);
    f.bandHeight = last > first ? height / double(last - first) : 0;
    const bool band = f.bandHeight >= limits.minBandHeight;
    if (!band)
        verdict.findings.push_back(
            {Kind::NoDiamondBand, QStringLiteral("band %1 above baseline (at least %2)")
                                      .arg(figure(f.bandHeight), figure(limits.minBandHeight))});

    double maximum = -HUGE_VAL;
    f.flatTopWidth = std::max(flatTopWidth(s, baseline, DiamondBands::TwoPhonon, &maximum),
                              flatTopWidth(s, baseline, DiamondBands::OnePhonon, &maximum));
    for (double a : smoothed(s, DiamondBands::Hydrogen, SmoothingHalfWidth))
        maximum = std::max(maximum, a);
    f.maxAbsorbance = maximum;
    if (f.maxAbsorbance > limits.maxAbsorbance || f.flatTopWidth > limits.flatTopWidthCm)
        verdict.findings.push_back(
            {Kind::Saturated,
             QStringLiteral("absorbance up to %1 (at most %2), flat top %3 cm-1 wide (at most %4)")
                 .arg(figure(f.maxAbsorbance, 2), figure(limits.maxAbsorbance, 2), figure(f.flatTopWidth, 0),
                      figure(limits.flatTopWidthCm, 0))});

    f.noise = noiseIn(s, DiamondBands::NoiseWindow);
    if (f.noise > limits.maxNoise)
        verdict.findings.push_back(
            {Kind::Noisy,
             QStringLiteral("noise %1 (at most %2)").arg(figure(f.noise, 4), figure(limits.maxNoise, 4))});

    // Without its band a scan has nothing to compare.
    if (band && !earlier.empty())
        compare(ScanFeatures::of(s), earlier, limits, verdict);
    return verdict;
}

SpectrumVerdict checkDataPointFile(const QString& path, const SpectrumLimits& limits,
                                   const std::vector<ScanFeatures>& earlier, Spectrum* spectrum)
{
    DataPointReading reading = readDataPointFile(path);
    if (!reading.ok()) {
        SpectrumVerdict verdict;
        verdict.problem = reading.problem;
        verdict.findings.push_back({Kind::Unreadable, reading.problem});
        if (spectrum)
            *spectrum = Spectrum{};
        return verdict;
    }
    SpectrumVerdict verdict = checkSpectrum(reading.spectrum, limits, earlier);
    if (spectrum)
        *spectrum = std::move(reading.spectrum);
    return verdict;
}
