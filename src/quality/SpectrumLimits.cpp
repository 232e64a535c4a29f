#include "quality/SpectrumLimits.h"

namespace {

constexpr SpectrumLimitKey Keys[] = {
    {"min_band_height", &SpectrumLimits::minBandHeight, 0.001, 5},
    {"max_absorbance", &SpectrumLimits::maxAbsorbance, 0.5, 10},
    {"flat_top_width", &SpectrumLimits::flatTopWidthCm, 5, 500},
    {"max_noise", &SpectrumLimits::maxNoise, 0.0001, 1},
    {"min_similarity", &SpectrumLimits::minSimilarity, 0, 1},
    {"max_band_change", &SpectrumLimits::maxBandChange, 1, 100},
    {"max_spacing", &SpectrumLimits::maxSpacingCm, 0.1, 64},
};

} // namespace

std::span<const SpectrumLimitKey> spectrumLimitKeys()
{
    return Keys;
}
